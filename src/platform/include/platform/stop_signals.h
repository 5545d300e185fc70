#pragma once
// Interrupt (Ctrl-C) and terminate requests for a program that ends its work cleanly itself:
// the signals only raise a flag that the program's loop looks at.

// What a second stop signal does once the first has been received.
enum class SecondStopSignal {
    RaisesFlagAgain,  // nothing more: the program is still finishing (it owns child processes)
    EndsProcess,      // the default action: a user who presses Ctrl-C twice means it
};

// Catches SIGINT and SIGTERM from now on. Call once, before any thread is started.
void installStopSignalHandlers(SecondStopSignal second = SecondStopSignal::RaisesFlagAgain);

// The number of the first stop signal received (SIGINT, SIGTERM), or 0 when none came.
// Safe from any thread.
int receivedStopSignal();

// Makes writing to a closed pipe or socket an error the writer sees, not a signal that ends
// the process.
void ignoreBrokenPipeSignal();
