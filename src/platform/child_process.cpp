#include "platform/child_process.h"

std::string describeExitStatus(const ChildProcess::ExitStatus& status) {
    return (status.signalled ? "signal " : "exit code ") + std::to_string(status.code);
}
