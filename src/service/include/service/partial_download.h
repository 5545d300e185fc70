#pragma once
// A video download that a stop or a failure cut short: its bytes stay in `<video>.part`, and
// beside them `<video>.part.resume` keeps what the server said of the whole file (its length and
// validators), so that a later download may ask for the rest with a range request instead of
// starting over. Both files belong to the download of one video file; worker thread only.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

class PartialDownload {
public:
    // Reads what a cut download of `videoFile` left, if anything.
    explicit PartialDownload(const std::string& videoFile);

    const std::string& partPath() const { return partPath_; }

    // The bytes kept that a range request may continue: the part file's size when the record
    // names a validator and a whole that is longer; 0 when the download must start over.
    int64_t resumableBytes() const { return resumable_; }

    // The header lines that ask for the rest after resumableBytes(): Range, and If-Range with the
    // validator, so that a server whose file changed sends the whole new file instead. None when
    // nothing is resumable.
    std::vector<std::string> rangeHeaderLines() const;

    // True when a 206 answer with these headers continues exactly the kept bytes: its range
    // starts at resumableBytes(), the whole has the recorded length, and its validators are the
    // recorded ones.
    bool continuedBy(std::string_view contentRange, std::string_view etag,
                     std::string_view lastModified) const;

    // Records what the answer of a download from the start says of the whole file. Without a
    // length or without a validator nothing can be checked later: the record is dropped.
    Status remember(int64_t totalBytes, const std::string& etag, const std::string& lastModified);

    // Drops the record: the part file is complete and renamed, or starts over.
    void forget();

private:
    std::string partPath_;
    std::string recordPath_;
    int64_t length_ = -1;
    std::string etag_;
    std::string lastModified_;
    int64_t resumable_ = 0;
};
