// Any bytes as the getflv answer (read in chunks, then its values) and as the addresses the user
// types or the service names: video IDs, watch pages, URL parts.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "service/service_answer.h"
#include "service/url_parts.h"
#include "service/video_id.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string answer = textOfChunks(bytes, kLookupChunkBytes);
    for (std::string_view key : {"&url=", "thread_id=", "&ms=", "&user_id=", "&is_premium="}) {
        (void)answerValue(answer, key);
    }
    if (const std::optional<std::string> id = videoIdFromPageUrl(bytes)) {
        (void)isSafeVideoId(*id);
    }
    (void)isBareVideoId(bytes);
    (void)isVideoAddress(bytes);
    (void)watchUrlForTyped(bytes, "http://www.nicovideo.jp");
    if (const std::optional<UrlParts> parts = splitUrl(bytes)) {
        (void)requestUrl(*parts);
    }
    const std::string escaped = escapeUrlUnsafeBytes(bytes);
    if (escaped.size() < bytes.size()) {
        __builtin_trap();  // escaping only ever adds
    }
    return 0;
}
