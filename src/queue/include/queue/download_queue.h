#pragma once
// The download queue: video page URLs that the main window runs one job after another, shown in
// the download list window ("ダウンロードリスト") and kept between runs in download.sav.
//
// Each entry carries an id that is unique within the queue and ties it to its row in the window.
// The ids come from the queue's own counter, which starts at 0 and only grows while the program
// runs; ids are not saved. A row that holds no entry (its text does not begin with "http://")
// carries no id at all: see download_row.h.
//
// The URL of the running job is not in the queue: an entry leaves it (takeNext) when its job
// starts. Owned and used by the user-interface thread only; the worker never sees it.
//
// At start-up the main window always loads the queue, also when a URL from the command line has
// already started a job; it then shows the rows and only takes the head when no job was started
// (loadQueueAtStartUp). At closing it saves the queue back. A saved queue therefore survives a
// run started with a URL: its entries follow the command line's job, as URLs handed over while a
// job runs do, and whatever is still queued at closing goes back to download.sav.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

struct DownloadEntry {
    std::string url;         // the video page URL (UTF-8)
    int64_t registered = 0;  // when it was queued, seconds since 1970 UTC
    int32_t id = 0;          // unique within the queue; the item data of its row
};

class DownloadQueue {
public:
    // Replaces the entries with those of `file`: pairs of lines (CR LF or LF), the URL and then
    // the registration time, read as the C library's strtol reads a decimal number (leading
    // blanks and a sign, the digits up to the first other character, 0 without digits, clamped
    // to 32 bits). A URL left without its time line at the end is dropped. Ids come from the
    // counter. A missing file is an empty queue. A file that cannot be read leaves the queue
    // empty and fails.
    Status load(const std::filesystem::path& file);

    // With entries: writes the file anew (through a temporary file, so a failure leaves the old
    // one): for every entry its URL and CR LF, then its time in decimal ("%d", clamped to 32
    // bits) and CR LF. A CR or LF inside a URL is left out, so that the pairs of lines stay in
    // step. Without entries: deletes the file; a missing file is fine. Fails when the file
    // could not be written or deleted; the caller at closing only logs it.
    Status save(const std::filesystem::path& file) const;

    // The entry with `id` gets `url` and keeps its registration time; without such an entry
    // (or without an id), {url, now, nextId()} is appended and the counter advances. Returns
    // the id of the entry that holds `url` now. The caller takes next when no job runs.
    int32_t addOrUpdate(std::string_view url, std::optional<int32_t> id, int64_t now);

    // A URL handed over by a second start of the program while a job runs: appended as
    // received, {url, now, nextId()}, with no check of its form; the counter advances. Returns
    // the new entry's id, for its row.
    int32_t queueUrl(std::string_view url, int64_t now);

    // Removes the first entry with `id`; false, and no change, when there is none.
    bool remove(int32_t id);

    // Takes the head out of the queue; nothing when the queue is empty. The window then deletes
    // the row tied to the entry's id, and the main window runs the URL (see download_row.h).
    std::optional<DownloadEntry> takeNext();

    // The counter's current value: the id the next appended entry gets.
    int32_t nextId() const { return nextId_; }

    const std::vector<DownloadEntry>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }
    // The entry with `id`, or null. The pointer lives until the queue next changes.
    const DownloadEntry* find(int32_t id) const;

private:
    std::vector<DownloadEntry> entries_;
    int32_t nextId_ = 0;
};

// Start-up of the main window, after the settings and filter lists: loads `file` into `queue`
// (whose rows the window then appends, in queue order) and tells whether to take next now:
// true when the queue holds entries and no job was started from the command line. A file that
// cannot be read gives an empty queue; the reason goes to the log.
bool loadQueueAtStartUp(DownloadQueue& queue, const std::filesystem::path& file,
                        bool jobStartedFromCommandLine);
