#pragma once
// Whether a movie the encoder reported as written holds the whole video: an input cut short
// (a download that ended early behind a header that promises more) makes the encoder end
// without error after the last frame it could read.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comments/video_info.h"

// True when the encoder arguments ask for less than the whole input (a start, a length, an
// end or a frame limit), so that a shorter movie is what was asked for.
bool argumentsLimitTheLength(const std::vector<std::string>& arguments);

// The frame count of the encoder's last status line ("frame=  600 fps=..."), from its output
// in chunks as they come: a line cut between two chunks counts once it is whole. Letter case
// is ignored; the number must be ended by "fps" or a blank.
class EncodedFrameCounter {
public:
    void add(std::string_view chunk);
    // The last count, the unfinished line included (call once the output has ended).
    std::optional<int64_t> last() const;

private:
    std::string line_;  // the line being received, up to a few hundred bytes
    std::optional<int64_t> last_;
};

// Why the movie is incomplete ("incomplete movie: ..." with both lengths), or nothing when it
// is not: it is shorter than the video's `videoDurationCs` by more than a second, or its
// `encodedFrames` (0: not counted, as in a stream copy) fall short of the frames that length
// holds at the movie's frame rate by more than a second's frames. Lengths are in 1/100 s.
std::optional<std::string> incompleteMovieReason(int videoDurationCs, const VideoInfo& movie,
                                                 std::optional<int64_t> encodedFrames);
