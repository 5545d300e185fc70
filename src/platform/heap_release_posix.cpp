#include <malloc.h>

#include "platform/heap_release.h"

void returnFreedHeapToSystem() {
    // The C library keeps freed blocks for later allocations; whole free pages go back now.
    ::malloc_trim(0);
}
