#pragma once
// Turns the encoder's status output into an encoding percentage.

#include <cstdint>
#include <optional>
#include <string_view>

// The percentage that one chunk of the encoder's output reports, or nothing.
//
// The value is the first "frame=" of the chunk (letter case ignored): the number after it,
// ended by "fps" or else by a blank, read like strtol into a 32-bit long. The percentage is
// number × 100 in 32-bit arithmetic (wrapping as the encoder's own platform did; a negative
// product gives nothing) divided by `totalFrames`, truncated. Frames beyond the total give more
// than 100; callers ignore values outside 1..100. Nothing when `totalFrames` <= 0 (the probe
// failed), when the chunk has no "frame=", or when the number is ended by neither "fps" nor a
// blank (it may continue in the next chunk; no text is carried over between chunks). The chunk
// counts up to its first NUL byte.
std::optional<int> encoderProgressPercent(std::string_view chunk, int64_t totalFrames);

// The encoding speed that one chunk of the encoder's status output reports: the number after
// its first "fps=" (letter case ignored, blanks skipped), in frames per second. Nothing when the
// chunk has none or it is not a positive number.
std::optional<double> encoderFramesPerSecond(std::string_view chunk);

// The frames an encoding of a `videoFrames`-frame video writes: fewer when the encoder arguments
// stop the output early with "-frames:v N" or "-vframes N" (the last such option counts, as
// for the encoder). Words are split as the encoder's command line is. A still's template writes one
// frame, so that its progress ends at 100% with nothing left instead of at a frame of the whole
// video.
int64_t encodedFrameTotal(std::string_view arguments, int64_t videoFrames);
