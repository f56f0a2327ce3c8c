// Shared libraries through the dynamic loader; see shared_library.h.
#include "platform/shared_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

void SharedLibraryCloser::operator()(SharedLibraryHandle* handle) const
{
    if (handle != nullptr)
        dlclose(handle);
}

SharedLibrary shared_library_open(const char* name)
{
    if (name == nullptr || *name == '\0')
        return nullptr;
    return SharedLibrary(static_cast<SharedLibraryHandle*>(dlopen(name, RTLD_NOW | RTLD_LOCAL)));
}

void* shared_library_symbol(SharedLibraryHandle* library, const char* name)
{
    if (library == nullptr || name == nullptr)
        return nullptr;
    return dlsym(library, name);
}

namespace {

std::string directory_of(const std::string& file)
{
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

} // namespace

const char* program_directory()
{
    static const std::string directory = [] {
        char path[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
        if (length <= 0)
            return std::string();
        return directory_of(std::string(path, static_cast<size_t>(length)));
    }();
    return directory.c_str();
}

const char* code_directory()
{
    static const std::string directory = [] {
        Dl_info info{};
        // The main program is named as it was started, which need not be a
        // path from the root: its own directory is known better.
        if (dladdr(reinterpret_cast<void*>(&code_directory), &info) == 0 || info.dli_fname == nullptr ||
            info.dli_fname[0] != '/')
            return std::string(program_directory());
        return directory_of(info.dli_fname);
    }();
    return directory.c_str();
}
