// Any bytes as a chunk of the encoder's output: the progress percentage, the frame rate and the
// frame counter of the whole output, fed in two pieces cut anywhere.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "job/encoder_progress.h"
#include "job/movie_length_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const int64_t total = data[0] * 97 + 1;
    const std::string_view chunk(reinterpret_cast<const char*>(data) + 2, size - 2);
    if (const std::optional<int> percent = encoderProgressPercent(chunk, total)) {
        if (*percent < 0) {
            __builtin_trap();  // a negative product gives nothing
        }
    }
    (void)encoderFramesPerSecond(chunk);
    // The same output in two pieces counts the same frames as in one.
    const size_t cut = data[1] % (chunk.size() + 1);
    EncodedFrameCounter whole;
    EncodedFrameCounter pieces;
    whole.add(chunk);
    pieces.add(chunk.substr(0, cut));
    pieces.add(chunk.substr(cut));
    if (whole.last() != pieces.last()) {
        __builtin_trap();
    }
    return 0;
}
