/* A frame-hook module for the engine tests. Configure takes "add N" or "mul N" (or "fail", which
 * makes it refuse); Process applies the operation to every pixel of plane 0. What the module was
 * given is kept in exported variables the tests read back. Built three times: complete, without
 * Configure (QUOVO_HOOK_NO_CONFIGURE) and without Process (QUOVO_HOOK_NO_PROCESS). */
#include "QuovoFrameHook.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

typedef struct HookContext {
    char op;
    int value;
} HookContext;

int TestHookConfigureCalls = 0;
int TestHookReleaseCalls = 0;
char TestHookLastArgs[4096];
int TestHookLastPixFmt = -1;
int TestHookLastWidth = -1;
int TestHookLastHeight = -1;
int64_t TestHookLastPts = -1;

#ifndef QUOVO_HOOK_NO_CONFIGURE
int Configure(void** ctx, int argc, char** argv) {
    ++TestHookConfigureCalls;
    TestHookLastArgs[0] = '\0';
    for (int i = 0; i < argc; ++i) {
        if (i > 0) {
            strncat(TestHookLastArgs, "\n",
                    sizeof(TestHookLastArgs) - strlen(TestHookLastArgs) - 1);
        }
        strncat(TestHookLastArgs, argv[i], sizeof(TestHookLastArgs) - strlen(TestHookLastArgs) - 1);
    }
    if (argc > 1 && strcmp(argv[1], "fail") == 0) {
        return 1;
    }
    HookContext* hc = calloc(1, sizeof(HookContext));
    if (hc == NULL) {
        return 1;
    }
    hc->op = argc > 1 ? argv[1][0] : 'n';
    hc->value = argc > 2 ? atoi(argv[2]) : 0;
    *ctx = hc;
    return 0;
}
#endif

#ifndef QUOVO_HOOK_NO_PROCESS
void Process(void* ctx, QuovoHookPicture* pict, int pix_fmt, int width, int height, int64_t pts) {
    const HookContext* hc = ctx;
    TestHookLastPixFmt = pix_fmt;
    TestHookLastWidth = width;
    TestHookLastHeight = height;
    TestHookLastPts = pts;
    if (hc == NULL) {
        return;
    }
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pict->data[0] + (ptrdiff_t)y * pict->linesize[0];
        for (int x = 0; x < width; ++x) {
            row[x] = (uint8_t)(hc->op == 'a'   ? row[x] + hc->value
                               : hc->op == 'm' ? row[x] * hc->value
                                               : row[x]);
        }
    }
}
#endif

void Release(void* ctx) {
    ++TestHookReleaseCalls;
    free(ctx);
}
