// Shared libraries through the dynamic loader; see shared_library.h.
#include "platform/shared_library.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

void SharedLibraryCloser::operator()(SharedLibraryHandle* handle) const {
  if (handle != nullptr) dlclose(handle);
}

SharedLibrary shared_library_open(const char* name) {
  if (name == nullptr || *name == '\0') return nullptr;
  return SharedLibrary(static_cast<SharedLibraryHandle*>(dlopen(name, RTLD_NOW | RTLD_LOCAL)));
}

void* shared_library_symbol(SharedLibraryHandle* library, const char* name) {
  if (library == nullptr || name == nullptr) return nullptr;
  return dlsym(library, name);
}

namespace {

std::string real_path(const char* path) {
  char resolved[PATH_MAX];
  return realpath(path, resolved) != nullptr ? std::string(resolved) : std::string();
}

std::string directory_of(const std::string& file) {
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

}  // namespace

const char* program_directory() {
  static const std::string directory = [] {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return std::string();
    return directory_of(std::string(path, static_cast<size_t>(length)));
  }();
  return directory.c_str();
}

const char* code_file() {
  static const std::string file = [] {
    Dl_info info{};
    void* map = nullptr;
    if (dladdr1(reinterpret_cast<void*>(&code_file), &info, &map, RTLD_DL_LINKMAP) == 0 || map == nullptr)
      return std::string();
    // The loader's entry of the main program has no name (dladdr would
    // give the name it was started by, which need not be a path).
    const char* name = static_cast<const link_map*>(map)->l_name;
    if (name == nullptr || *name == '\0') return real_path("/proc/self/exe");
    return real_path(name);
  }();
  return file.c_str();
}

const char* code_directory() {
  static const std::string directory = directory_of(code_file());
  return directory.c_str();
}

namespace {

// A library loaded by a relative name is found from the working directory
// it was loaded in: its file is settled when it loads, before anyone can
// change directory.
[[maybe_unused]] const char* const settled_code_file = code_file();

}  // namespace
