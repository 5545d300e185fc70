#pragma once
// What names the user's session to programs that must find each other: a folder for runtime
// files (sockets, locks) and a text that tells users apart.

#include <string>

// $XDG_RUNTIME_DIR when it is an absolute path (a folder of the user's own, removed at logout),
// else the system's temporary folder. No trailing separator.
std::string runtimeFolder();

// A text that names the user running this process: the numeric user ID.
std::string userKey();
