// Per-stream state of the sound processing.
#pragma once

#include "AvPtr.h"

namespace quovo {

// Decoding side of an audio input stream.
struct TAudioInputState {};

// Sample FIFO, resampler and sample-format conversion of an audio output stream.
struct TAudioOutputState {};

} // namespace quovo
