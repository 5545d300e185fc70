#pragma once
// Asks the encoder about a downloaded video: run with -in and the video's path, it prints a
// block of six numbers between the markers "niconico++" and "niconico_end":
//
//   niconico++<2-character line break>
//   whole seconds of the length<LF>
//   hundredths of a second<LF>
//   frame width<LF>
//   frame height<LF>
//   frame-rate numerator<LF>
//   frame-rate denominator<LF>
//   niconico_end
//
// A CR before each LF is harmless. Anything before or after the block (banners, warnings on
// standard error) is ignored.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "comments/video_info.h"

// The `VideoInfo` of the first block in `output` (`frameCount` is left 0: the layout sets it),
// or nothing when there is no complete block or its values cannot describe a video: a
// frame-rate denominator of 0, a width, height or frame rate that is not positive, or a
// negative length (a frame rate of infinity or 0 would break the layout's arithmetic).
// Each value is read like strtol into a 32-bit long: leading blanks and a sign, then digits.
std::optional<VideoInfo> parseProbeOutput(std::string_view output);

// Runs "<programFolder>/FFmpeg -in "<videoPath>"" with `workFolder` as its current folder,
// reads its whole output (standard output and standard error) to the end, reaps it, and parses
// the output. Nothing when the encoder cannot be started, its output cannot be read to the end,
// or it holds no usable block. `stopRequested`, when given, is asked a few times a second; when
// it says yes, the encoder is terminated and the probe gives nothing. Blocks the calling thread
// (the job's worker) until then.
std::optional<VideoInfo> probeVideo(const std::string& programFolder, const std::string& workFolder,
                                    const std::string& videoPath,
                                    const std::function<bool()>& stopRequested = {});
