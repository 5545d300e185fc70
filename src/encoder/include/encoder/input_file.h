#pragma once
// One opened input: the demuxer context and the video and audio streams chosen from it.

#include <string>

#include "encoder/av_handles.h"
#include "platform/result.h"

class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens `path` (with the demuxer `format` when not empty), reads the stream parameters and
    // picks the streams. Fails with a one-line reason when the file is unusable.
    Status open(const std::string& path, const std::string& format);

    AVFormatContext* context() const { return ctx_.get(); }
    // The picked streams, or null. Cover pictures of audio files do not count as video.
    AVStream* videoStream() const { return video_; }
    AVStream* audioStream() const { return audio_; }
    // Microseconds the file's timestamps start at (0 when unknown); outputs start there.
    int64_t startTimeUs() const;

private:
    InputFormatPtr ctx_;
    AVStream* video_ = nullptr;
    AVStream* audio_ = nullptr;
};

// The video stream's frame rate as the probe reports it and the frame filter counts frames:
// the average rate, or r_frame_rate when the average is unknown or only a rounded copy of it
// (within 0.1 %: FLV stores the rate as a decimal, r_frame_rate has the exact 30000/1001).
// Reduced; {0, 0} when neither is known.
AVRational videoStreamFrameRate(const AVStream* stream);
