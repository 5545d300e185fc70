#pragma once
// An environment variable set for the length of a scope.

#include <stdlib.h>
#include <time.h>

#include <optional>
#include <string>
#include <utility>

// Sets (or, with nothing, unsets) an environment variable and restores it afterwards. TZ takes
// effect at once (tzset).
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
