#pragma once
// What names the user's session to programs that must find each other: a folder for runtime
// files (sockets, locks) and a text that tells users apart.

#include <string>

#include "platform/result.h"

// A folder for runtime files that only this user can reach. $XDG_RUNTIME_DIR when it is an
// absolute path (the session's own, made private by the system). Otherwise "lumivox-UID" in the
// system's temporary folder, created 0700 when missing and then checked for what it is, since
// anyone may have made that name first: a real folder (no link), owned by this user, with no
// access for group or others; anything else fails, and nothing of ours goes into it.
// No trailing separator.
Result<std::string> runtimeFolder();

// A text that names the user running this process: the numeric user ID.
std::string userKey();
