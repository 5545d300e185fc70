#pragma once
// Interrupt and terminate signals ask the encoder to stop reading and finish the file it has
// (trailer written), as ffmpeg does; a second signal ends the process at once.

// Installs the handlers; also makes a broken output pipe an error rather than a signal.
void installStopHandlers();
// True once a stop was requested. Safe from any thread.
bool stopRequested();
