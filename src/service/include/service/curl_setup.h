#pragma once
// libcurl's process-wide set-up, done once before the first handle is made.

// Calls curl_global_init once per process, whichever thread comes first (the others wait).
void initialiseCurlOnce();
