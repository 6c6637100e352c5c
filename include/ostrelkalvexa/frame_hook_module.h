/*
 * OstrelKalvexa frame-hook modules.
 *
 * A frame-hook module is a shared library that changes the video pictures of a conversion before
 * they are encoded. The converter loads it when a task is given the option
 *
 *     vhook=/path/to/libmyhook.so arg1 arg2 ...
 *
 * (the value is split into words at "|" when it holds one, else at spaces; the first word is the
 * module's file name, so a path with spaces is written with "|" separators). Naming the
 * same module more than once in a task chains it more than once, each time with a context of its
 * own; the hooks of a task run in the order they were named. A module is loaded once per process,
 * by the path given (a name without "/" goes through the dynamic linker's search), and is never
 * unloaded; names that differ only in letter case count as the same module. Libraries the module needs beside
 * itself are found when it is linked with -Wl,-rpath,'$ORIGIN'.
 *
 * A module exports, with C linkage and default visibility:
 *
 *   int Configure(void** ctx, int argc, char* argv[]);
 *       Called once per chain entry while the task's options are applied. argv[0] is the module's
 *       file name as given, argv[1..argc-1] its arguments; argv[argc] is NULL. The strings live
 *       only during the call. Store the module's own state in *ctx (it starts as NULL). Return 0
 *       to accept; any other value refuses the entry: the task's option fails, and Release is not
 *       called for that entry, so a refusing Configure frees what it allocated.
 *       Optional: a module without it can only be named without arguments, its context stays NULL.
 *
 *   void Process(void* ctx, okv_picture* picture, int pix_fmt, int width, int height, int64_t pts);
 *       Called on the task's worker thread for every video picture of the conversion while hooks
 *       are applied (the caller may apply them to time ranges only). Change the pixels in place.
 *       pix_fmt is an FFmpeg AVPixelFormat value (OKV_PIX_FMT_* below for the common ones), pts
 *       the picture's presentation time in microseconds. Required.
 *
 *   void Release(void* ctx);
 *       Called once per accepted entry when the task is cleaned up, with that entry's context.
 *       Optional.
 *
 * Several tasks may run one after the other in the same process and each configures its own
 * entries; different tasks' Process calls never overlap for one context, but a module holding
 * process-wide state must guard it itself.
 */
#ifndef OSTRELKALVEXA_FRAME_HOOK_MODULE_H
#define OSTRELKALVEXA_FRAME_HOOK_MODULE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define OKV_PICTURE_PLANES 4

/* One picture: plane pointers and bytes per line of each plane, as in FFmpeg's AVFrame. Planes a
   format does not use are NULL. Line sizes may exceed what a line's pixels need. */
typedef struct okv_picture {
  uint8_t* data[OKV_PICTURE_PLANES];
  int linesize[OKV_PICTURE_PLANES];
} okv_picture;

/* AVPixelFormat values of the formats modules meet most. */
#define OKV_PIX_FMT_YUV420P 0 /* planar Y, U, V; U and V halved in both directions (rounded up) */
#define OKV_PIX_FMT_BGR24 3   /* packed blue, green, red bytes */

typedef int (*okv_configure_fn)(void** ctx, int argc, char* argv[]);
typedef void (*okv_process_fn)(void* ctx, okv_picture* picture, int pix_fmt, int width, int height,
                               int64_t pts);
typedef void (*okv_release_fn)(void* ctx);

#define OKV_CONFIGURE_NAME "Configure"
#define OKV_PROCESS_NAME "Process"
#define OKV_RELEASE_NAME "Release"

/* Prototypes for a module's own definitions; the host defines OKV_FRAME_HOOK_HOST and gets none. */
#ifndef OKV_FRAME_HOOK_HOST
#if defined(__GNUC__)
#define OKV_HOOK_EXPORT __attribute__((visibility("default")))
#else
#define OKV_HOOK_EXPORT
#endif
OKV_HOOK_EXPORT int Configure(void** ctx, int argc, char* argv[]);
OKV_HOOK_EXPORT void Process(void* ctx, okv_picture* picture, int pix_fmt, int width, int height,
                             int64_t pts);
OKV_HOOK_EXPORT void Release(void* ctx);
#endif

#ifdef __cplusplus
}
#endif

#endif /* OSTRELKALVEXA_FRAME_HOOK_MODULE_H */
