#include "SubpictureBlend.h"

#include <algorithm>

namespace quovo {
namespace {

constexpr int kScaleBits = 10;
constexpr int kHalf = 1 << (kScaleBits - 1);
constexpr int Fix(double x) {
    return static_cast<int>(x * (1 << kScaleBits) + 0.5);
}

int YOf(int r, int g, int b) {
    return (Fix(0.29900 * 219.0 / 255.0) * r + Fix(0.58700 * 219.0 / 255.0) * g +
            Fix(0.11400 * 219.0 / 255.0) * b + (kHalf + (16 << kScaleBits))) >>
           kScaleBits;
}
int UOf(int r, int g, int b) {
    return ((-Fix(0.16874 * 224.0 / 255.0) * r - Fix(0.33126 * 224.0 / 255.0) * g +
             Fix(0.50000 * 224.0 / 255.0) * b + kHalf - 1) >>
            kScaleBits) +
           128;
}
int VOf(int r, int g, int b) {
    return ((Fix(0.50000 * 224.0 / 255.0) * r - Fix(0.41869 * 224.0 / 255.0) * g -
             Fix(0.08131 * 224.0 / 255.0) * b + kHalf - 1) >>
            kScaleBits) +
           128;
}

uint8_t Clip(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

} // namespace

uint32_t RgbaToYuva(uint32_t argb) {
    const int a = static_cast<int>(argb >> 24);
    const int r = static_cast<int>((argb >> 16) & 0xFF);
    const int g = static_cast<int>((argb >> 8) & 0xFF);
    const int b = static_cast<int>(argb & 0xFF);
    return (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(Clip(YOf(r, g, b))) << 16) |
           (static_cast<uint32_t>(Clip(UOf(r, g, b))) << 8) | Clip(VOf(r, g, b));
}

void SubtitlePaletteToYuva(AVSubtitle& sub) {
    for (unsigned i = 0; i < sub.num_rects; ++i) {
        AVSubtitleRect& rect = *sub.rects[i];
        if (rect.type != SUBTITLE_BITMAP || !rect.data[1]) {
            continue;
        }
        auto* palette = reinterpret_cast<uint32_t*>(rect.data[1]);
        for (int c = 0; c < rect.nb_colors; ++c) {
            palette[c] = RgbaToYuva(palette[c]);
        }
    }
}

void BlendSubtitleRect(AVFrame& frame, const AVSubtitleRect& rect) {
    if (rect.type != SUBTITLE_BITMAP || !rect.data[0] || !rect.data[1]) {
        return;
    }
    const auto* palette = reinterpret_cast<const uint32_t*>(rect.data[1]);
    const int x0 = std::max(rect.x, 0);
    const int y0 = std::max(rect.y, 0);
    const int x1 = std::min(rect.x + rect.w, frame.width);
    const int y1 = std::min(rect.y + rect.h, frame.height);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    auto colour = [&](int x, int y) {
        return palette[rect.data[0][(y - rect.y) * rect.linesize[0] + (x - rect.x)]];
    };
    for (int y = y0; y < y1; ++y) {
        uint8_t* luma = frame.data[0] + static_cast<ptrdiff_t>(y) * frame.linesize[0];
        for (int x = x0; x < x1; ++x) {
            const uint32_t c = colour(x, y);
            const int a = YuvaAlpha(c);
            luma[x] = static_cast<uint8_t>(((255 - a) * luma[x] + a * YuvaY(c)) / 255);
        }
    }
    // Chroma per 2x2 block of the picture, over the pixels of the block the rectangle covers.
    for (int by = y0 & ~1; by < y1; by += 2) {
        uint8_t* u = frame.data[1] + static_cast<ptrdiff_t>(by / 2) * frame.linesize[1];
        uint8_t* v = frame.data[2] + static_cast<ptrdiff_t>(by / 2) * frame.linesize[2];
        for (int bx = x0 & ~1; bx < x1; bx += 2) {
            int n = 0, alphaSum = 0, uSum = 0, vSum = 0;
            for (int y = std::max(by, y0); y < std::min(by + 2, y1); ++y) {
                for (int x = std::max(bx, x0); x < std::min(bx + 2, x1); ++x) {
                    const uint32_t c = colour(x, y);
                    ++n;
                    alphaSum += YuvaAlpha(c);
                    uSum += YuvaU(c);
                    vSum += YuvaV(c);
                }
            }
            const int a = alphaSum / 4;
            uint8_t& cu = u[bx / 2];
            uint8_t& cv = v[bx / 2];
            cu = static_cast<uint8_t>(((255 - a) * cu * n + a * uSum) / (255 * n));
            cv = static_cast<uint8_t>(((255 - a) * cv * n + a * vSum) / (255 * n));
        }
    }
}

void BlendSubpicture(AVFrame& frame, const AVSubtitle& sub) {
    for (unsigned i = 0; i < sub.num_rects; ++i) {
        BlendSubtitleRect(frame, *sub.rects[i]);
    }
}

bool HasForcedRect(const AVSubtitle& sub) {
    for (unsigned i = 0; i < sub.num_rects; ++i) {
        if (sub.rects[i]->flags & AV_SUBTITLE_FLAG_FORCED) {
            return true;
        }
    }
    return false;
}

} // namespace quovo
