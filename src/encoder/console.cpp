#include "encoder/console.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex gMutex;
bool gStatusOpen = false;  // a status line ended in "\r" is on screen
int gLevel = AV_LOG_INFO;
}  // namespace

namespace console {

void setLevel(int level) {
    std::lock_guard lock(gMutex);
    gLevel = level;
}

void message(const std::string& text, int level) {
    std::lock_guard lock(gMutex);
    if (level > gLevel) {
        return;
    }
    // Start below a status line rather than writing over it.
    std::string out = gStatusOpen ? "\n" + text + "\n" : text + "\n";
    gStatusOpen = false;
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

void line(const std::string& text) {
    std::lock_guard lock(gMutex);
    std::string out = gStatusOpen ? "\n" + text + "\n" : text + "\n";
    gStatusOpen = false;
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

void status(const std::string& line, bool final) {
    std::lock_guard lock(gMutex);
    if (AV_LOG_INFO > gLevel) {
        return;
    }
    std::string out = line + (final ? "\n" : "\r");
    gStatusOpen = !final;
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

}  // namespace console
