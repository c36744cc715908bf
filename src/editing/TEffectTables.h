// The lookup tables of the colour and exposure passes for one set of values, folded into one
// table per gray level: a pixel then costs one gray lookup and one lookup per channel,
// out = Table[gray(B + G + R)][channel], where each entry already holds the saturation pull,
// the clamp, the brightness scale, the contrast curve and the exposure curve. Built in about
// 65 000 steps; callers keep it while the values stay the same.
#pragma once

#include "TPicture.h"

#include <array>
#include <cstdint>
#include <vector>

namespace quovo {

struct TEffectValues {
    bool Colour = false; // run the brightness/contrast/saturation pass
    int Brightness = 255, Contrast = 0, Saturation = 255;
    bool Exposure = false; // run the exposure pass
    float ExposureValue = 0;

    bool operator==(const TEffectValues&) const = default;
};

class TEffectTables {
public:
    explicit TEffectTables(const TEffectValues& values);

    const TEffectValues& Values() const { return values_; }
    // Every pixel of the picture, in one pass over its rows.
    void Sweep(TPicture& picture) const;

private:
    TEffectValues values_;
    // Whether every gray level maps a channel the same way (saturation 255 or 256): then one
    // 256-entry table serves every byte.
    bool perByte_ = false;
    std::array<uint8_t, 768> grayOf_{}; // B + G + R -> gray level (sum div 3)
    std::vector<uint8_t> table_;        // 256 rows of 256: [gray][channel]
};

} // namespace quovo
