#pragma once
// The identity of the running process, for names that must differ between processes.

#include <cstdint>

// The process id of this process.
int64_t currentProcessId();
