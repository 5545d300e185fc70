// Any bytes as the frame filter's two files, comment.ini and data.ini (the first two bytes say
// where the one ends and the other begins), read and then drawn onto a few small frames with
// the real font, frames skipped and taken again from the start as the encoder may.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "text/text_engine.h"
#include "velmora/comment_overlay.h"
#include "velmora/overlay_script.h"

namespace {

constexpr const char* kFont = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf";
constexpr int kWidth = 64;
constexpr int kHeight = 48;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const size_t split = (data[0] | (data[1] << 8)) % (size - 1);
    const std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    Result<OverlayScript> script = parseOverlayScript(rest.substr(0, split), rest.substr(split));
    if (!script) {
        return 0;
    }
    Result<std::unique_ptr<TextEngine>> engine = TextEngine::open(kFont, 0, 96);
    if (!engine) {
        __builtin_trap();  // the font is part of the set-up, not of the input
    }
    // A small ceiling, so that crowded frames are drawn too.
    CommentOverlay overlay(std::move(*engine), std::move(script->comments), kWidth, 64 * 1024,
                           [](const std::string&) {});
    std::vector<uint8_t> planes[3] = {std::vector<uint8_t>(kWidth * kHeight, 16),
                                      std::vector<uint8_t>(kWidth * kHeight / 4, 128),
                                      std::vector<uint8_t>(kWidth * kHeight / 4, 128)};
    for (const int64_t index : {0, 1, 7, 30, 2, 300}) {
        VhookFrame frame{kWidth,
                         kHeight,
                         {planes[0].data(), planes[1].data(), planes[2].data()},
                         {kWidth, kWidth / 2, kWidth / 2},
                         index,
                         index % 2 == 0 ? 601 : 709,
                         static_cast<int>(index % 3 == 0)};
        overlay.process(frame);
    }
    return 0;
}
