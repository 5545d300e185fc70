#include "queue/download_queue.h"

#include <algorithm>
#include <limits>

#include "platform/line_file.h"
#include "platform/log.h"
#include "platform/text_conv.h"

namespace {

// download.sav holds 32-bit times, as the "%d" of a 32-bit time_t wrote them.
int32_t clampToInt32(int64_t seconds) {
    return static_cast<int32_t>(std::clamp<int64_t>(seconds, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

std::string withoutLineBreaks(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        if (c != '\r' && c != '\n') {
            kept += c;
        }
    }
    return kept;
}

}  // namespace

Status DownloadQueue::load(const std::filesystem::path& file) {
    entries_.clear();
    if (isMissingFile(file)) {
        return {};
    }
    Result<std::vector<std::string>> lines = readLineFile(file);
    if (!lines) {
        return lines.failure();
    }
    // Lines come in pairs; a last URL without its time line is dropped.
    for (size_t i = 0; i + 1 < lines->size(); i += 2) {
        entries_.push_back({std::move((*lines)[i]), stringToInt32((*lines)[i + 1]), nextId_++});
    }
    return {};
}

Status DownloadQueue::save(const std::filesystem::path& file) const {
    if (entries_.empty()) {
        return deleteFileIfPresent(file);
    }
    std::vector<std::string> lines;
    lines.reserve(entries_.size() * 2);
    for (const DownloadEntry& entry : entries_) {
        lines.push_back(withoutLineBreaks(entry.url));
        lines.push_back(std::to_string(clampToInt32(entry.registered)));
    }
    return writeLineFile(file, lines);
}

int32_t DownloadQueue::addOrUpdate(std::string_view url, std::optional<int32_t> id, int64_t now) {
    if (id) {
        auto entry = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const DownloadEntry& e) { return e.id == *id; });
        if (entry != entries_.end()) {
            entry->url = url;
            return entry->id;
        }
    }
    return queueUrl(url, now);
}

int32_t DownloadQueue::queueUrl(std::string_view url, int64_t now) {
    entries_.push_back({std::string(url), now, nextId_});
    return nextId_++;
}

bool DownloadQueue::remove(int32_t id) {
    auto entry = std::find_if(entries_.begin(), entries_.end(),
                              [id](const DownloadEntry& e) { return e.id == id; });
    if (entry == entries_.end()) {
        return false;
    }
    entries_.erase(entry);
    return true;
}

std::optional<DownloadEntry> DownloadQueue::takeNext() {
    if (entries_.empty()) {
        return std::nullopt;
    }
    DownloadEntry head = std::move(entries_.front());
    entries_.erase(entries_.begin());
    return head;
}

const DownloadEntry* DownloadQueue::find(int32_t id) const {
    auto entry = std::find_if(entries_.begin(), entries_.end(),
                              [id](const DownloadEntry& e) { return e.id == id; });
    return entry == entries_.end() ? nullptr : &*entry;
}

bool loadQueueAtStartUp(DownloadQueue& queue, const std::filesystem::path& file,
                        bool jobStartedFromCommandLine) {
    logIfFailed(LogComponent::App, "the download list cannot be read", queue.load(file));
    return !jobStartedFromCommandLine && !queue.empty();
}
