// Loading a shared library at run time and resolving its entry points by
// name: the stand-in for the system's load-library calls.
#pragma once

#include <memory>
#include <mutex>
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
bool shared_library_bind(SharedLibraryHandle* library, const char* name, Function* slot, std::string* missing) {
  *slot = reinterpret_cast<Function>(shared_library_symbol(library, name));
  if (*slot == nullptr && missing->empty()) *missing = name;
  return *slot != nullptr;
}

// The entry points of a library loaded the first time they are asked for.
// The library then stays loaded until the process ends: caches inside it, and
// in the libraries it pulls in, point into it, and unloading it at exit would
// leave them as unowned blocks. `bind` fills the table with
// shared_library_bind (and may start the library once all are there). Null
// when the library cannot be loaded or lacks an entry point, with the reason
// in *why.
template <typename Api>
const Api* shared_library_load_once(const char* name, void (*bind)(SharedLibraryHandle*, Api*, std::string* missing),
                                    std::string* why) {
  struct Loaded {
    Api api{};
    std::string why;  // empty when complete
  };
  static std::once_flag once;
  static Loaded loaded;
  std::call_once(once, [&] {
    SharedLibraryHandle* library = shared_library_open(name).release();
    if (library == nullptr) {
      loaded.why = std::string("cannot load ") + name;
      return;
    }
    std::string missing;
    bind(library, &loaded.api, &missing);
    if (!missing.empty()) loaded.why = std::string(name) + " has no " + missing;
  });
  if (!loaded.why.empty()) {
    if (why != nullptr) *why = loaded.why;
    return nullptr;
  }
  return &loaded.api;
}

// The directory of the running program, with a trailing '/'; empty when it
// cannot be found.
const char* program_directory();

// The file this code was loaded from, as a real path: the shared library
// that carries the platform layer (the control module), or the program it
// is linked into. Empty when it cannot be found.
const char* code_file();
// The directory of that file, with a trailing '/'; empty when unknown.
const char* code_directory();
