#pragma once
// Helpers for the app tests: a temporary folder of the test's own, and environment variables
// set for the length of one test.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

class AppTempFolder {
public:
    AppTempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "lumivox-app-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        } else {
            ADD_FAILURE() << "cannot create a temporary folder";
        }
    }
    ~AppTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    AppTempFolder(const AppTempFolder&) = delete;
    AppTempFolder& operator=(const AppTempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

// Sets (or, with nothing, unsets) an environment variable and restores it afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::optional<std::string>& value)
        : name_(std::move(name)) {
        if (const char* old = ::getenv(name_.c_str())) {
            old_ = old;
        }
        apply(value);
    }
    ~ScopedEnvironment() { apply(old_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void apply(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
        if (name_ == "TZ") {
            ::tzset();
        }
    }

    std::string name_;
    std::optional<std::string> old_;
};

inline void writeText(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}
