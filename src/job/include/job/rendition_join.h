#pragma once
// Joins the separate video and audio renditions of today's service (each a fragmented MP4 made
// of an init section and its decrypted segments) into one MP4 by stream copy: the first video
// stream of one file and the first audio stream of the other, their packets interleaved by time,
// nothing decoded. The encoding stages then take the joined file as the downloaded video.
//
// It runs in the job's own process, so that a failure says what went wrong and a stop is seen
// between packets, through the rendition_join module of `programFolder`: loaded by the first
// join and kept (one program folder per process), so that the programs do not load libavformat
// and its codec libraries at every start. The output is written beside `output` as
// `output.part` and renamed only when complete: a stopped or failed join leaves no half movie
// under its name.

#include <functional>
#include <string>

#include "platform/result.h"

Status joinRenditions(const std::string& programFolder, const std::string& videoFile,
                      const std::string& audioFile, const std::string& output,
                      const std::function<bool()>& isCancelled);
