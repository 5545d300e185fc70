#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/worker_thread.h"

void lowerCurrentThreadPriority() {
    // On Linux the nice value is per thread when addressed by the thread id.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    const int current = getpriority(PRIO_PROCESS, tid);
    setpriority(PRIO_PROCESS, tid, current + 5);
}
