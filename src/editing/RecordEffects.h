// The frame effects a source row's record asks for, as the conversion's hook applies them.
#pragma once

#include "FrameEffects.h"
#include "TlvFilesRecord.h"

namespace quovo {

// The record's effect values, watermark text, font, colour and image, at the pixel positions the
// effects dialog stored.
TFrameEffects FrameEffectsOf(const TlvFilesRecord& record);

} // namespace quovo
