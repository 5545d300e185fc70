#pragma once
// Downloads the renditions of an HLS video (the video and the audio of today's service): every
// segment fetched through libcurl with the job's cookie store, checked (status, length, a key of
// 16 bytes), decrypted (AES-128-CBC) and stored decrypted, one file per segment, in a folder of
// its own, so that a stopped or failed download keeps what it finished and the next download
// of the same renditions continues from there.
//
//  - at most kMaxParallel segments are in flight at once (one curl multi handle);
//  - a segment that fails (an error status, a cut transfer, a length that is not the declared
//    one, a decryption that fails) is tried again on its own, up to kSegmentAttempts times;
//  - 429 and 503 pause every new fetch for the Retry-After the answer asks for;
//  - 403 on a segment or key (the signed addresses expired) asks the caller for renewed
//    renditions (new access rights) and carries on with their addresses;
//  - a stop ends every transfer within a second.
//
// One thread makes and uses an object.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/result.h"
#include "service/cookie_store.h"
#include "service/hls_playlist.h"
#include "service/service_context.h"

struct HlsRendition {
    std::string name;  // "video", "audio": names its files in the segment folder
    MediaPlaylist playlist;
};

// Where a download stands. Bytes are the stored (decrypted) bytes.
struct SegmentProgress {
    int segmentsDone = 0;
    int segmentsTotal = 0;
    int64_t bytesDone = 0;      // resumed segments included
    double bytesPerSecond = 0;  // of this run's fetches
    double secondsLeft = -1;    // -1: not known yet
};

// New renditions for the same video and qualities (fresh access rights); the same names and
// segment counts as before.
using RenewRenditions = std::function<Result<std::vector<HlsRendition>>()>;

// How long a download with no transfer in flight waits before it looks at its queue again:
// not at all when a queued segment may start now (`notBefore` of each queued segment, and the
// busy host's pause); else until the earliest may start, at most `longest` so that Stop is seen
// promptly.
std::chrono::milliseconds hlsIdleWait(
    const std::vector<std::chrono::steady_clock::time_point>& notBefore,
    std::chrono::steady_clock::time_point now, std::chrono::steady_clock::time_point pausedUntil,
    std::chrono::milliseconds longest);

class HlsDownload {
public:
    static constexpr int kMaxParallel = 4;
    static constexpr int kSegmentAttempts = 4;
    // How often the renditions are renewed in a row without a segment stored in between.
    static constexpr int kMaxRenewals = 3;
    // The largest segment, key or init section taken.
    static constexpr size_t kMaxSegmentBytes = 256 * 1024 * 1024;

    // `context` and `cookies` must outlive the object. `segmentFolder` is created when missing.
    HlsDownload(const ServiceContext& context, CookieStore& cookies,
                std::filesystem::path segmentFolder);

    // Fetches every segment (and init section) of `renditions` not yet in the segment folder.
    // A folder that holds segments of other renditions (another video or quality) is emptied
    // first. `progress` is called after every stored segment, on this thread.
    Status fetchAll(std::vector<HlsRendition> renditions, const RenewRenditions& renew,
                    const std::function<void(const SegmentProgress&)>& progress);

    // Writes rendition `name`'s init section and segments, in order, into `output` (a playable
    // fragmented MP4). Only after fetchAll succeeded.
    Status assemble(const std::string& name, const std::filesystem::path& output) const;

    // Removes the segment folder and everything in it.
    void removeSegments() const;

    const std::filesystem::path& segmentFolder() const { return folder_; }

private:
    struct Task;
    struct Transfer;

    Status prepareFolder(const std::vector<HlsRendition>& renditions);
    Status fetchKeys(const std::vector<HlsRendition>& renditions);
    std::filesystem::path partFile(const std::string& name, int index) const;

    const ServiceContext& context_;
    CookieStore& cookies_;
    const std::filesystem::path folder_;
    std::vector<std::pair<std::string, int>> stored_;        // name, segment count (after fetchAll)
    std::vector<std::pair<std::string, std::string>> keys_;  // key URI, 16 bytes
};
