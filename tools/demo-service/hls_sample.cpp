#include "hls_sample.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/file_content.h"

namespace {

// "avc1.PPCCLL" from the avcC box of an init section (profile, constraints, level).
std::string avcCodecs(const std::string& init) {
    const size_t box = init.find("avcC");
    if (box == std::string::npos || box + 8 > init.size())
        return "avc1.640028";
    char text[16];
    std::snprintf(text, sizeof text, "avc1.%02x%02x%02x", static_cast<unsigned char>(init[box + 5]),
                  static_cast<unsigned char>(init[box + 6]),
                  static_cast<unsigned char>(init[box + 7]));
    return text;
}

// The init section's name and the segments with their durations, from ffmpeg's playlist.
Status readMediaPlaylist(const std::filesystem::path& folder, HlsRendition& rendition) {
    Result<std::string> playlist = readWholeFile(folder / "index.m3u8");
    if (!playlist)
        return playlist.failure();
    std::istringstream lines(*playlist);
    std::string initName;
    double pendingDuration = -1;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("#EXT-X-MAP:URI=\"", 0) == 0) {
            initName = line.substr(16, line.find('"', 16) - 16);
        } else if (line.rfind("#EXTINF:", 0) == 0) {
            pendingDuration = std::atof(line.c_str() + 8);
        } else if (!line.empty() && line[0] != '#' && pendingDuration >= 0) {
            Result<std::string> segment = readWholeFile(folder / line);
            if (!segment)
                return segment.failure();
            rendition.segments.push_back(std::move(*segment));
            rendition.durations.push_back(pendingDuration);
            pendingDuration = -1;
        }
    }
    if (initName.empty() || rendition.segments.empty())
        return Failure{(folder / "index.m3u8").string() + " lists no init section or no segment"};
    Result<std::string> init = readWholeFile(folder / initName);
    if (!init)
        return init.failure();
    rendition.init = std::move(*init);
    return {};
}

}  // namespace

long HlsRendition::peakBitRate() const {
    double peak = 0;
    for (size_t i = 0; i < segments.size(); ++i) {
        if (durations[i] > 0.5)  // a short last segment says little about the rate
            peak = std::max(peak, segments[i].size() * 8 / durations[i]);
    }
    return peak > 0 ? std::lround(peak) : averageBitRate();
}

long HlsRendition::averageBitRate() const {
    double seconds = 0;
    for (const double duration : durations)
        seconds += duration;
    return seconds > 0 ? std::lround(totalBytes() * 8 / seconds) : 0;
}

size_t HlsRendition::totalBytes() const {
    size_t bytes = 0;
    for (const std::string& segment : segments)
        bytes += segment.size();
    return bytes;
}

Result<HlsSample> HlsSample::load(const std::filesystem::path& folder) {
    Result<std::string> list = readWholeFile(folder / "renditions.txt");
    if (!list)
        return list.failure();
    HlsSample sample;
    sample.folder_ = folder;
    std::istringstream lines(*list);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        HlsRendition rendition;
        std::string kind;
        if (!(words >> rendition.id >> kind >> rendition.width >> rendition.height >>
              rendition.bitRate >> rendition.frameRate)) {
            continue;
        }
        rendition.video = kind == "video";
        if (Status read = readMediaPlaylist(folder / rendition.id, rendition); !read)
            return read.failure();
        rendition.codecs = rendition.video ? avcCodecs(rendition.init) : "mp4a.40.2";
        if (rendition.bitRate <= 0)  // a clip cut as it is: its own rate
            rendition.bitRate = rendition.averageBitRate();
        sample.renditions_.push_back(std::move(rendition));
    }
    const auto isVideo = [](const HlsRendition& r) { return r.video; };
    if (std::none_of(sample.renditions_.begin(), sample.renditions_.end(), isVideo) ||
        std::all_of(sample.renditions_.begin(), sample.renditions_.end(), isVideo)) {
        return Failure{folder.string() + " holds no video or no audio rendition"};
    }
    return sample;
}

const HlsRendition* HlsSample::find(const std::string& id) const {
    for (const HlsRendition& rendition : renditions_) {
        if (rendition.id == id)
            return &rendition;
    }
    return nullptr;
}

int HlsSample::durationSeconds() const {
    for (const HlsRendition& rendition : renditions_) {
        if (rendition.video) {
            double seconds = 0;
            for (const double duration : rendition.durations)
                seconds += duration;
            return static_cast<int>(std::lround(seconds));
        }
    }
    return 0;
}
