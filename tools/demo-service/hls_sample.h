#pragma once
// A video cut into HLS renditions the way the service delivers it: separate video and audio
// renditions, each an init section and fragmented-MP4 segments of about six seconds. The
// segments are held here in the clear; the delivery encrypts them. The files themselves stay in
// the sample's folder (see HlsSampleMaker), where a test can compare against them.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/result.h"

struct HlsRendition {
    std::string id;     // the service's name: "video-h264-360p", "audio-aac-128kbps"
    bool video = true;  // else audio
    int width = 0;      // pixels (video)
    int height = 0;
    long bitRate = 0;       // bits per second, as the watch data lists it
    std::string frameRate;  // "29.970" (video)
    std::string codecs;     // "avc1.64001e", "mp4a.40.2"
    std::string init;       // the init section
    std::vector<std::string> segments;
    std::vector<double> durations;  // seconds, one per segment

    // The largest bit rate of one segment, and the average over all (bits per second).
    long peakBitRate() const;
    long averageBitRate() const;
    size_t totalBytes() const;
};

class HlsSample {
public:
    // Reads the sample HlsSampleMaker left in `folder`: "renditions.txt" and a folder per
    // rendition with its "index.m3u8", init section and segments.
    static Result<HlsSample> load(const std::filesystem::path& folder);

    const std::filesystem::path& folder() const { return folder_; }
    const std::vector<HlsRendition>& renditions() const { return renditions_; }
    const HlsRendition* find(const std::string& id) const;
    // The length of the first video rendition, in whole seconds (rounded).
    int durationSeconds() const;

private:
    std::filesystem::path folder_;
    std::vector<HlsRendition> renditions_;
};
