// The log threshold handed from a parent process to its children through the environment.

#include <cstdlib>

#include "platform/log.h"

namespace {

constexpr const char* kThresholdVariable = "LUMIVOX_LOG_LEVEL";

}  // namespace

void handLogThresholdToChildren() {
    ::setenv(kThresholdVariable, logLevelName(logThreshold()), 1);
}

LogLevel logThresholdFromParent(LogLevel fallback) {
    const char* name = std::getenv(kThresholdVariable);
    if (name == nullptr) {
        return fallback;
    }
    return logLevelOfName(name).value_or(fallback);
}
