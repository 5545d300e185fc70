#pragma once
// Interrupt (Ctrl-C) and terminate requests for a program that ends its work cleanly itself:
// the signals only raise a flag that the program's loop looks at.

// Catches SIGINT and SIGTERM from now on. Call once, before any thread is started.
void installStopSignalHandlers();

// The number of the first stop signal received (SIGINT, SIGTERM), or 0 when none came.
// Safe from any thread.
int receivedStopSignal();
