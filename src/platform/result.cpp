#include "platform/result.h"

#include <system_error>

std::string systemErrorText(int errnum) {
    // std::error_code's message is thread-safe where strerror is not.
    return std::error_code(errnum, std::generic_category()).message();
}

Failure systemFailure(const std::string& what, int errnum) {
    return Failure{what + ": " + systemErrorText(errnum)};
}
