// The published player: TCustomPlayer with its AspectRatio setter (a change while a title is
// open redraws at the new shape).
#pragma once

#include "TCustomPlayer.h"

namespace quovo {

class TFFPlayer : public TCustomPlayer {
public:
    const char* ClassName() const override { return "TFFPlayer"; }
    void SetAspectRatio(float value) { SetAspectRatioValue(value); }
};

} // namespace quovo
