#pragma once
// Hands the heap's free pages back to the system, so that memory a long-running process has
// freed (a huge comment thread once it is written out) does not stay counted against it.

void returnFreedHeapToSystem();
