#pragma once
// The output file: container, streams, header, interleaved packets, trailer. The video and the
// audio encoding threads both write through it; write() serialises them.
//
// Life: create() (nothing on disk yet) -> addStream() per encoder -> open() (creates the file,
// writes the header) -> write()... -> finish() (trailer, close). A file that open() created and
// that must not stay (setup failed) is removed with discard().

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "encoder/av_handles.h"
#include "encoder/encoder_options.h"
#include "platform/result.h"

class OutputMuxer {
public:
    OutputMuxer() = default;
    OutputMuxer(const OutputMuxer&) = delete;
    OutputMuxer& operator=(const OutputMuxer&) = delete;
    ~OutputMuxer();

    // Chooses the container from `format` or else from the file name's extension.
    Status create(const std::string& path, const std::string& format);
    const AVOutputFormat* format() const { return ctx_ ? ctx_->oformat : nullptr; }
    // Encoders must put their headers in extradata for this container.
    bool needsGlobalHeader() const;

    // Set before streams are added: the video streams' four-character code (-tag:v), and the
    // container's own options (-movflags), which open() hands over and the muxer must all use.
    void setVideoTag(const std::string& tag) { videoTag_ = tag; }
    void setOptions(AvOptionList options) { options_ = std::move(options); }

    // Adds a stream carrying what `encoder` (opened) produces; its index.
    Result<int> addStream(const AVCodecContext* encoder, AVRational frameRate);
    // Adds a stream that carries `input`'s packets unchanged (stream copy); its index.
    Result<int> addCopiedStream(const AVStream* input);
    Status open();
    // Takes the packet's data; timestamps are in `timeBase`. Thread-safe.
    Status write(AVPacket* packet, AVRational timeBase);
    // Flushes the interleaving queue and writes the trailer; the file is complete on success.
    Status finish();
    // Closes the file if still open and deletes it when this object created it.
    void discard();

    // For the status line; updated after every write, readable from any thread.
    int64_t bytesWritten() const { return bytes_.load(std::memory_order_relaxed); }
    int64_t timeUs() const { return timeUs_.load(std::memory_order_relaxed); }

private:
    void closeFile();
    void applyVideoTag(AVStream* stream) const;

    OutputFormatPtr ctx_;
    std::string path_;
    std::string videoTag_;
    AvOptionList options_;
    bool fileOpen_ = false;  // pb open, guarded by mutex_ once writing began
    bool headerWritten_ = false;
    std::mutex mutex_;
    std::atomic<int64_t> bytes_{0};
    std::atomic<int64_t> timeUs_{0};
};
