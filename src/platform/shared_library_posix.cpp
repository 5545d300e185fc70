#include "platform/shared_library.h"

#include <dlfcn.h>

SharedLibrary::~SharedLibrary() {
    if (handle_) {
        dlclose(handle_);
    }
}

bool SharedLibrary::load(const std::string& path, std::string& error) {
    dlerror();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error = why ? why : ("cannot load " + path);
        return false;
    }
    return true;
}

void* SharedLibrary::symbol(const char* name) const {
    return handle_ ? dlsym(handle_, name) : nullptr;
}

std::string SharedLibrary::fileNameFor(const std::string& baseName) {
    return baseName + ".so";
}
