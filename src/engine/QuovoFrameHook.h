/* The interface of a Quovo frame-hook module (the `vhook` option).
 *
 * A module is a shared library (built with -fPIC -shared) whose exports have C linkage. The
 * option's text is split into words at "|" when it contains one (so words may hold spaces), else
 * at spaces and tabs; empty words are skipped. The first word is the module's file name (with a
 * "/" it is opened as given, otherwise through the dynamic loader's normal search). A module is
 * loaded once per process and stays loaded; every use of the option adds one more hook with its
 * own context.
 *
 *   int  Configure(void** ctx, int argc, char** argv);
 *        Required when the option has more than one word, called whenever exported. argv[0] is
 *        the module name, argv[1..argc-1] the other words (at most 64 words in all); the strings
 *        live only during the call. Store a context in *ctx (it starts as NULL). Return 0 on
 *        success; any other value fails the option.
 *
 *   void Process(void* ctx, QuovoHookPicture* pict, int pix_fmt, int width, int height,
 *                int64_t pts);
 *        Required. Called for every decoded picture of the task, on the task's worker thread, in
 *        the order the hooks were added. pix_fmt is an AVPixelFormat value of the libraries;
 *        pts is the input stream's current time stamp in microseconds. The module may change
 *        the pixels in place but not the pointers, the line sizes or the picture's size.
 *
 *   void Release(void* ctx);
 *        Optional. Called once for every hook when its task is cleaned up.
 */
#ifndef QUOVO_FRAME_HOOK_H
#define QUOVO_FRAME_HOOK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Planes of a picture: up to four data pointers and their line sizes in bytes. */
typedef struct QuovoHookPicture {
    uint8_t* data[4];
    int linesize[4];
} QuovoHookPicture;

typedef int (*QuovoHookConfigureFn)(void** ctx, int argc, char** argv);
typedef void (*QuovoHookProcessFn)(void* ctx, QuovoHookPicture* pict, int pix_fmt, int width,
                                   int height, int64_t pts);
typedef void (*QuovoHookReleaseFn)(void* ctx);

#ifdef __cplusplus
}
#endif

#endif /* QUOVO_FRAME_HOOK_H */
