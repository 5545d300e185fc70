#pragma once
// A test that needs a tool of the machine (Debian's ffmpeg, a built module) and does not find
// it: skipped on a developer's machine, a failure in CI (CI=true), where every tool is meant to
// be installed and a silent skip would hide a broken set-up.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

inline bool runningInCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string_view(ci) == "true";
}

// Use in a test body or SetUp(); returns from the function like GTEST_SKIP.
#define SKIP_FOR_MISSING_TOOL(what)                    \
    do {                                               \
        if (runningInCi()) {                           \
            GTEST_FAIL() << "missing in CI: " << what; \
        }                                              \
        GTEST_SKIP() << "needs " << what;              \
    } while (false)
