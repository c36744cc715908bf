// Per-stream state of the picture processing.
#pragma once

#include "AvPtr.h"

#include <cstdint>

namespace quovo {

// Decoding side of a video input stream.
struct TVideoInputState {};

// Crop, scaling, filter chain and synchronisation of a video output stream.
struct TVideoOutputState {
    // What the encoder said about the last coded picture; the progress report reads these.
    int lastQuality = 0;       // lambda (quantiser * FF_QP2LAMBDA); 0 before the first frame
    int lastPictType = 0;      // AVPictureType
    bool hasPsnr = false;      // the encoder reports PSNR errors
    uint64_t lastError[4] = {}; // sum of squared errors of the last coded picture, Y U V
    uint64_t totalError[4] = {}; // the same summed over the run
};

} // namespace quovo
