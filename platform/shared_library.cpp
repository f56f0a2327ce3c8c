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

const char* program_directory()
{
    static const std::string directory = [] {
        char path[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
        if (length <= 0)
            return std::string();
        std::string exe(path, static_cast<size_t>(length));
        const size_t slash = exe.rfind('/');
        return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
    }();
    return directory.c_str();
}
