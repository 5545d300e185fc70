#pragma once
// A shared library loaded at run time (the frame-filter module). The platform's loader is
// behind this class; shared_library_posix.cpp holds the POSIX one.

#include <string>

#include "platform/result.h"

class SharedLibrary {
public:
    SharedLibrary() = default;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    ~SharedLibrary();  // unloads

    // Loads the library file at `path`, resolving all its symbols now. Fails with the loader's
    // reason.
    Status load(const std::string& path);
    // The address of an exported symbol, or null.
    void* symbol(const char* name) const;
    bool loaded() const { return handle_ != nullptr; }

    // The file name of a library called `baseName` on this platform ("velmora" -> "velmora.so").
    static std::string fileNameFor(const std::string& baseName);

private:
    void* handle_ = nullptr;
};
