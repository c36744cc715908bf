#include "TEffectTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace quovo {

namespace {

int Clamp255(int v) {
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

// Brightness scale then contrast curve: the colour pass's T[0..255].
std::array<uint8_t, 256> ScaleTable(int brightness, int contrast) {
    if (contrast == 100) {
        contrast = 99; // the curve's factor is infinite at 100
    }
    const double factor = contrast > 0 ? 1.0 / std::cos(contrast * std::numbers::pi / 200)
                                       : std::cos(contrast * 0.015708);
    std::array<uint8_t, 256> curve;
    for (int i = 0; i < 256; ++i) {
        // nearbyint rounds half to even in the default rounding mode; the curve pivots on 170.
        curve[i] = static_cast<uint8_t>(
            Clamp255(static_cast<int>(std::nearbyint((i - 170) * factor + 170))));
    }
    std::array<uint8_t, 256> scale;
    for (int j = 0; j < 256; ++j) {
        scale[j] = curve[Clamp255(((256 - brightness) + j * brightness) / 256)];
    }
    return scale;
}

std::array<uint8_t, 256> ExposureTable(float x) {
    std::array<uint8_t, 256> curve;
    for (int i = 0; i < 256; ++i) {
        const auto e =
            static_cast<int64_t>(std::nearbyint((1 - std::exp((i / -128.0) * (x / 128.0))) * 256));
        const auto weight = static_cast<uint64_t>(255 - i);
        const int64_t lift =
            static_cast<int64_t>((static_cast<uint64_t>(x >= 0 ? e : -e) * weight) >> 8);
        curve[i] = static_cast<uint8_t>(std::clamp<int64_t>(x >= 0 ? i + lift : i - lift, 0, 255));
    }
    return curve;
}

} // namespace

TEffectTables::TEffectTables(const TEffectValues& values) : values_(values) {
    std::array<uint8_t, 256> scale;
    std::array<int, 256> sat; // the saturation table S
    for (int i = 0; i < 256; ++i) {
        scale[i] = static_cast<uint8_t>(i);
        sat[i] = i;
    }
    if (values.Colour) {
        scale = ScaleTable(values.Brightness, values.Contrast);
        for (int i = 0; i < 256; ++i) {
            sat[i] = static_cast<uint16_t>(((i + 1) * values.Saturation) >> 8);
        }
    }
    std::array<uint8_t, 256> curve;
    if (values.Exposure) {
        curve = ExposureTable(values.ExposureValue);
    } else {
        for (int i = 0; i < 256; ++i) {
            curve[i] = static_cast<uint8_t>(i);
        }
    }
    // The pixel's gray level g pulls each channel: n = (g - S[g]) + S[c], clamped.
    perByte_ = true;
    for (int g = 1; g < 256; ++g) {
        perByte_ = perByte_ && g - sat[g] == -sat[0];
    }
    for (int s = 0; s < 768; ++s) {
        grayOf_[s] = static_cast<uint8_t>(s / 3);
    }
    table_.resize(perByte_ ? 256 : 256 * 256);
    const int rows = perByte_ ? 1 : 256; // with one row, gray level 0 stands for all
    for (int g = 0; g < rows; ++g) {
        const int base = g - sat[g];
        uint8_t* row = table_.data() + 256 * g;
        for (int c = 0; c < 256; ++c) {
            row[c] = curve[scale[Clamp255(base + sat[c])]];
        }
    }
}

void TEffectTables::Sweep(TPicture& picture) const {
    const int width = picture.Width();
    const int height = picture.Height();
    const int stride = picture.Stride();
    uint8_t* bits = picture.Bits();
    const uint8_t* __restrict table = table_.data();
    for (int y = 0; y < height; ++y) {
        uint8_t* __restrict p = bits + static_cast<ptrdiff_t>(y) * stride;
        if (perByte_) {
            for (int x = 0; x < 3 * width; ++x) {
                p[x] = table[p[x]];
            }
            continue;
        }
        const uint8_t* __restrict grayOf = grayOf_.data();
        for (int x = 0; x < width; ++x, p += 3) {
            const int b = p[0], g = p[1], r = p[2];
            const uint8_t* row = table + (grayOf[b + g + r] << 8);
            p[0] = row[b];
            p[1] = row[g];
            p[2] = row[r];
        }
    }
}

} // namespace quovo
