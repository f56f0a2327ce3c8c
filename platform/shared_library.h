// Loading a shared library at run time and resolving its entry points by
// name: the stand-in for the system's load-library calls.
#pragma once

#include <memory>

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

// The directory of the running program, with a trailing '/'; empty when it
// cannot be found.
const char* program_directory();
