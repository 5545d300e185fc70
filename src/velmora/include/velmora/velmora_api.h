#pragma once
/* The C interface between the encoder and a frame-filter module loaded with -vhook.
 *
 * -vhook "velmora.dll -N comment.ini -D data.ini " names the module by its first word; the
 * encoder loads the platform's shared library of that base name from its own folder
 * (velmora.so here) and passes the remaining words as argv (argv[0] is the module word).
 *
 * Calls come from one thread, in this order: vhook_configure (or vhook_configure2) once,
 * vhook_process once per decoded video frame in presentation order, vhook_release once (also
 * after a failure).
 *
 * Versions. Version 1 is vhook_configure, vhook_process and vhook_release; a module says what
 * it has to say on the standard error stream. Version 2 adds vhook_configure2, which takes a log
 * callback of the host: the module then reports through it, from configure to release, and
 * writes nothing on the standard error stream. A host looks for vhook_configure2 first and uses
 * vhook_configure when the module has only that; a version 2 module still answers
 * vhook_configure for a version 1 host. Version 3 adds vhook_process_into, which draws onto a
 * copy of the frame; a host that has to copy a frame before it may change it (the decoder still
 * holds the picture) lets the module copy and draw in one pass instead. A host uses it only when
 * the module has it; vhook_process stays.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VHOOK_API_VERSION 3

/* The levels of the log callback, as the host's own log has them. */
#define VHOOK_LOG_ERROR 0
#define VHOOK_LOG_WARNING 1
#define VHOOK_LOG_INFO 2
#define VHOOK_LOG_DEBUG 3

typedef struct VhookFrame {
    int width;
    int height;
    /* Planar Y, U, V of an AV_PIX_FMT_YUV420P frame (the encoder converts other formats). */
    uint8_t* data[3];
    int linesize[3];
    /* Index of the frame in the input's own frame rate, before any -r conversion:
     * round((pts - start) * frame_rate). */
    int64_t index;
    /* Colour matrix of the frame: 709 for BT.709, 601 for BT.601 (default for SD sizes). */
    int matrix;
    /* 1 when the frame uses full-range (JPEG) levels, 0 for limited (MPEG) range. */
    int fullRange;
} VhookFrame;

/* Reads the module's arguments and prepares it for frames of the given size and rate
 * (fpsNum / fpsDen). On success stores an opaque context in *ctx and returns 0; on failure
 * writes a one-line reason into errorText (NUL-terminated, at most errorSize bytes) and
 * returns non-zero. */
typedef int (*vhook_configure_fn)(void** ctx, int argc, char** argv, int width, int height,
                                  int fpsNum, int fpsDen, char* errorText, int errorSize);
/* The host's log: one line of text (UTF-8, no line end, valid only during the call) at one of
 * the VHOOK_LOG_* levels. Called on the thread that called into the module. */
typedef void (*vhook_log_fn)(void* user, int level, const char* text);
/* Version 2: vhook_configure with the host's log callback and its user pointer, which the
 * module keeps until vhook_release. A NULL log makes it behave as vhook_configure. */
typedef int (*vhook_configure2_fn)(void** ctx, int argc, char** argv, int width, int height,
                                   int fpsNum, int fpsDen, char* errorText, int errorSize,
                                   vhook_log_fn log, void* logUser);
/* Draws onto one frame in place. Returns 0, or non-zero after a fatal error. */
typedef int (*vhook_process_fn)(void* ctx, VhookFrame* frame);
/* Version 3: draws onto a copy. `target` describes the same frame as `source` (width, height,
 * index, matrix, range) with planes of its own; the module writes the whole picture of `source`
 * into them with the comments drawn, as vhook_process would have drawn on `source` itself, and
 * only reads `source`. Where the two strides of a plane are equal and positive, the bytes
 * between the end of one of its rows and the start of the next are copied as well. Called
 * instead of vhook_process for a frame, never both. Returns 0, or non-zero after a fatal error
 * or for frames that do not match. */
typedef int (*vhook_process_into_fn)(void* ctx, const VhookFrame* source, VhookFrame* target);
/* Frees everything the context holds. ctx may be NULL. */
typedef void (*vhook_release_fn)(void* ctx);

int vhook_configure(void** ctx, int argc, char** argv, int width, int height, int fpsNum,
                    int fpsDen, char* errorText, int errorSize);
int vhook_configure2(void** ctx, int argc, char** argv, int width, int height, int fpsNum,
                     int fpsDen, char* errorText, int errorSize, vhook_log_fn log, void* logUser);
int vhook_process(void* ctx, VhookFrame* frame);
int vhook_process_into(void* ctx, const VhookFrame* source, VhookFrame* target);
void vhook_release(void* ctx);

#ifdef __cplusplus
}
#endif
