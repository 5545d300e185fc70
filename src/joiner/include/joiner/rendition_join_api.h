#pragma once
// The one entry point of the rendition_join module (rendition_join.so in the program folder):
// joins the first video stream of one fragmented MP4 and the first audio stream of another into
// one MP4 by stream copy, written as `output`.part and renamed to `output` only when whole.

#ifdef __cplusplus
extern "C" {
#endif

// True (non-zero) when the join is to stop; asked between packets. May be null.
typedef int (*rendition_join_cancelled_fn)(void* user);

// 0 on success. Otherwise 1, with one line saying why in `error` (cut to `errorSize` bytes with
// its terminating zero; "stopped" after a stop) and no file left under either name.
typedef int (*rendition_join_fn)(const char* videoFile, const char* audioFile, const char* output,
                                 rendition_join_cancelled_fn cancelled, void* user, char* error,
                                 int errorSize);

#define RENDITION_JOIN_MODULE "rendition_join"
#define RENDITION_JOIN_SYMBOL "lumivox_join_renditions"

#ifdef __cplusplus
}
#endif
