// Loading a shared library at run time and resolving its entry points by
// name: the stand-in for the system's load-library calls.
#pragma once

#include <memory>
#include <string>

struct SharedLibraryHandle;

// Unloads the library when the last reference goes.
struct SharedLibraryCloser {
    void operator()(SharedLibraryHandle* handle) const;
};
using SharedLibrary = std::unique_ptr<SharedLibraryHandle, SharedLibraryCloser>;

// Loads a library. A name with a '/' is a file; a bare name goes through the
// dynamic loader's normal search. Null when it cannot be loaded.
SharedLibrary shared_library_open(const char* name);

// The address of an exported symbol, null when the library has none.
void* shared_library_symbol(SharedLibraryHandle* library, const char* name);

// Resolves an entry point into a typed slot. The first name that cannot be
// found is kept in *missing, so one call per entry point reports the first
// gap.
template <typename Function>
bool shared_library_bind(SharedLibraryHandle* library, const char* name, Function* slot,
                         std::string* missing) {
    *slot = reinterpret_cast<Function>(shared_library_symbol(library, name));
    if (*slot == nullptr && missing->empty())
        *missing = name;
    return *slot != nullptr;
}

// The directory of the running program, with a trailing '/'; empty when it
// cannot be found.
const char* program_directory();
