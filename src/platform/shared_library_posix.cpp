#include "platform/shared_library.h"

#include <dlfcn.h>

SharedLibrary::~SharedLibrary() {
    if (handle_) {
        dlclose(handle_);
    }
}

Status SharedLibrary::load(const std::string& path) {
    if (handle_) {
        return Failure{"cannot load " + path + ": a library is loaded already"};
    }
    dlerror();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        return Failure{why ? std::string(why) : "cannot load " + path};
    }
    return {};
}

void* SharedLibrary::symbol(const char* name) const {
    return handle_ ? dlsym(handle_, name) : nullptr;
}

std::string SharedLibrary::fileNameFor(const std::string& baseName) {
    return baseName + ".so";
}
