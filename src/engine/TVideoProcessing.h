// Per-stream state of the picture processing.
#pragma once

#include "AvPtr.h"

namespace quovo {

// Decoding side of a video input stream.
struct TVideoInputState {};

// Crop, scaling, filter chain and synchronisation of a video output stream.
struct TVideoOutputState {};

} // namespace quovo
