#pragma once
// One encode from start to end: checks, opens the input, the frame filter, the pipelines and
// the output, reads the input on the calling thread, and finishes the file.

#include <memory>
#include <string>

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
    Status startFrameFilter();
    void seekInput();
    Status setUpPipelines();
    void printSummary();
    void demultiplex();
    void stopPipelines();
    int outcome();

    const EncoderOptions& o_;
    InputFile input_;
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
