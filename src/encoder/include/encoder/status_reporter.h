#pragma once
// The status line on standard error, in ffmpeg's form, twice a second while encoding and once
// at the end:
//   frame=  123 fps= 61 q=2.0 size=     512kB time=00:00:04.10 bitrate=1023.0kbits/s speed=2.03x
// The job's progress reader takes the number after "frame=" (up to the blank before "fps").

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class StreamEncoder;
class OutputMuxer;

struct StatusFigures {
    int64_t frames = 0;  // video frames handed to the encoder (0 without video)
    double elapsedSeconds = 0;
    float quantiser = -1;  // of the latest video packet, -1 when unknown
    int64_t bytes = 0;     // output written so far
    int64_t timeUs = 0;    // output time reached
};

std::string formatStatusLine(const StatusFigures& figures);

class StatusReporter {
public:
    // `video` may be null (audio-only output). Both must outlive the reporter.
    StatusReporter(const StreamEncoder* video, const OutputMuxer& muxer);
    StatusReporter(const StatusReporter&) = delete;
    StatusReporter& operator=(const StatusReporter&) = delete;
    ~StatusReporter();

    void start();
    // Stops the periodic lines and prints the final one (ended by a line feed).
    void finish();

private:
    StatusFigures collect() const;
    void loop();

    const StreamEncoder* video_;
    const OutputMuxer& muxer_;
    std::chrono::steady_clock::time_point begin_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};
