#pragma once
// One encode from start to end: checks, opens the input, the frame filter, the pipelines and
// the output, reads the input on the calling thread, and finishes the file.

#include "encoder/encoder_options.h"

class Transcoder {
public:
    // The process's exit code: 0 when the output was written completely, 1 on failure (with a
    // message on standard error), 255 when a signal stopped it (the file is finished anyway).
    int run(const EncoderOptions& options);
};
