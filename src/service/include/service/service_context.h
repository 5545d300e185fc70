#pragma once
// What the service operations are given by the job that calls them: where the service is, the
// job's folders, how to learn of a stop and where to report, and the job state they read and
// write.

#include <cstdint>
#include <functional>
#include <string>

#include "service/service_endpoints.h"

class CookieStore;

// Limits that keep a dead or stalled server from holding a job.
struct ServiceTimeouts {
    long connectSeconds = 15;      // to open the connection (and finish a TLS handshake)
    long stallSeconds = 30;        // a transfer slower than stallBytesPerSecond for this long
    long stallBytesPerSecond = 1;  // ends with an error
};

struct ServiceContext {
    ServiceEndpoints endpoints;
    std::string workFolder;  // holds comment.xml and the cookie jar; may end in a separator
    std::string saveFolder;  // receives the video stream; no trailing separator needed
    // True when the job has been asked to stop; asked at least once a second during every
    // request, and before every piece of a download is written. Empty: never stopped.
    std::function<bool()> isCancelled;
    // The text of a failed HTTP operation (at most 1023 bytes), for the front end to show; must
    // not wait for it to be shown. Empty: errors are dropped.
    std::function<void(const std::string&)> reportError;
    // A download percentage to post. Empty: progress is dropped.
    std::function<void(int)> reportProgress;
    // A single stream's download in bytes (received, total), called instead of reportProgress
    // whenever the percentage changes. Empty: reportProgress is called.
    std::function<void(int64_t, int64_t)> reportBytes;
    // The cookie store to use. Null: the process's store, with its jar in `workFolder`.
    CookieStore* cookieStore = nullptr;
    ServiceTimeouts timeouts;
};

// The job state the operations read and write, as references to the job's own fields, so that
// the job keeps them as its members.
struct ServiceJobState {
    std::string& cookie;           // the service's cookie text after the login
    std::string& videoId;          // set by the lookup
    std::string& videoFile;        // set by the lookup, written by the download
    int32_t& lastDownloadPercent;  // last percentage posted; -1 when the job starts
};
