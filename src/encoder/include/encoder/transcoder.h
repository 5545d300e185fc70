#pragma once
// One encode from start to end: checks, opens the inputs, the frame filter, the pipelines and
// the output, reads the inputs on the calling thread, and finishes the file.
//
// Streams are chosen by -map, or else the first input's video and audio. A stream whose codec is
// "copy" (and every subtitle stream) is copied: its packets go from the demuxer to the muxer as
// they are, never through a decoder. At most one video and one audio stream are encoded, both from
// the first input.

#include <memory>
#include <string>
#include <vector>

#include "encoder/audio_pipeline.h"
#include "encoder/encoder_options.h"
#include "encoder/input_file.h"
#include "encoder/output_muxer.h"
#include "encoder/run_state.h"
#include "encoder/vhook_module.h"
#include "encoder/video_pipeline.h"

class Transcoder {
public:
    explicit Transcoder(const EncoderOptions& options) : o_(options) {}

    // The process's exit code: 0 when the output was written completely, 1 on failure (with a
    // message on standard error), 255 when a signal stopped it (the file is finished anyway).
    // Nothing is written to disk before every part has been set up.
    int run();

private:
    // The checks and the opening of the input, the output's container and the frame filter.
    Status prepare();
    Status outputMayBeWritten();
    Status chooseStreams();
    Status chooseMappedStreams();
    Status selectStream(int input, AVStream* stream);
    Status copiesAreUntouched() const;
    Status addCopiedStreams();
    InputFile& inputAt(int number) { return number == 0 ? input_ : *extraInputs_[number - 1]; }
    void writeCopied(AVPacket* packet, int input);
    bool everythingEnded() const;
    Status startFrameFilter();
    void seekInput();
    Status setUpPipelines();
    void printSummary();
    void demultiplex();
    void stopPipelines();
    int outcome();

    const EncoderOptions& o_;
    // A stream whose packets are written as they come.
    struct CopiedStream {
        int input = 0;
        AVStream* stream = nullptr;
        int outputIndex = -1;
        int64_t offset = 0;  // the input's start, in the stream's time base
        bool ended = false;  // past -t
        int64_t packets = 0;
    };

    InputFile input_;
    std::vector<std::unique_ptr<InputFile>> extraInputs_;
    std::vector<CopiedStream> copies_;
    // Declared before the pipelines: their encoders write into it until they are destroyed.
    OutputMuxer muxer_;
    RunState state_;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    AVCodecID videoDefault_ = AV_CODEC_ID_NONE;
    AVCodecID audioDefault_ = AV_CODEC_ID_NONE;
    std::unique_ptr<VhookModule> vhook_;
    AVRational indexRate_{0, 1};
    bool seeked_ = false;
    std::unique_ptr<VideoPipeline> video_;
    std::unique_ptr<AudioPipeline> audio_;
    std::string readError_;
};
