#include <time.h>

#include "platform/local_time.h"

int localHourOf(int64_t unixTime) {
    const time_t time = static_cast<time_t>(unixTime);
    struct tm local {};
    if (localtime_r(&time, &local) == nullptr) {
        return -1;
    }
    return local.tm_hour;
}
