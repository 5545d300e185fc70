#include "service/partial_download.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/line_file.h"

namespace fs = std::filesystem;

namespace {

std::optional<int64_t> parseBytes(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

PartialDownload::PartialDownload(const std::string& videoFile)
    : partPath_(videoFile + ".part"), recordPath_(videoFile + ".part.resume") {
    const Result<std::vector<std::string>> record = readLineFile(recordPath_);
    if (!record || record->size() != 3) {
        return;
    }
    length_ = parseBytes((*record)[0]).value_or(-1);
    etag_ = (*record)[1];
    lastModified_ = (*record)[2];
    std::error_code error;
    const uintmax_t kept = fs::file_size(partPath_, error);
    if (!error && length_ > 0 && (!etag_.empty() || !lastModified_.empty()) && kept > 0 &&
        static_cast<int64_t>(kept) < length_) {
        resumable_ = static_cast<int64_t>(kept);
    }
}

std::vector<std::string> PartialDownload::rangeHeaderLines() const {
    if (resumable_ == 0) {
        return {};
    }
    // A strong validator is preferred; a date is all some servers give.
    return {"Range: bytes=" + std::to_string(resumable_) + "-",
            "If-Range: " + (etag_.empty() ? lastModified_ : etag_)};
}

bool PartialDownload::continuedBy(std::string_view contentRange, std::string_view etag,
                                  std::string_view lastModified) const {
    // "bytes FIRST-LAST/TOTAL"
    constexpr std::string_view kUnit = "bytes ";
    if (resumable_ == 0 || !contentRange.starts_with(kUnit)) {
        return false;
    }
    contentRange.remove_prefix(kUnit.size());
    const size_t dash = contentRange.find('-');
    const size_t slash = contentRange.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
        return false;
    }
    const std::optional<int64_t> first = parseBytes(contentRange.substr(0, dash));
    const std::optional<int64_t> last = parseBytes(contentRange.substr(dash + 1, slash - dash - 1));
    const std::optional<int64_t> total = parseBytes(contentRange.substr(slash + 1));
    return first == resumable_ && total == length_ && last == length_ - 1 && etag == etag_ &&
           lastModified == lastModified_;
}

Status PartialDownload::remember(int64_t totalBytes, const std::string& etag,
                                 const std::string& lastModified) {
    length_ = totalBytes;
    etag_ = etag;
    lastModified_ = lastModified;
    if (totalBytes <= 0 || (etag.empty() && lastModified.empty())) {
        forget();
        return {};
    }
    return writeLineFile(recordPath_, {std::to_string(totalBytes), etag, lastModified});
}

void PartialDownload::forget() {
    (void)deleteFileIfPresent(recordPath_);
}
