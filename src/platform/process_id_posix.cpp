#include <unistd.h>

#include "platform/process_id.h"

int64_t currentProcessId() {
    return static_cast<int64_t>(::getpid());
}
