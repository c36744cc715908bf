// Bitmap subtitles (DVD subpictures) drawn onto YUV 4:2:0 pictures: the preview player shows them
// this way, and a conversion that burns a disc's subpictures into its pictures can do the same.
// Plain arithmetic on library records; no threads, no state.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <cstdint>

namespace quovo {

// A palette colour after SubtitlePaletteToYuva: alpha in the top byte, then Y, U, V.
constexpr uint8_t YuvaAlpha(uint32_t c) {
    return static_cast<uint8_t>(c >> 24);
}
constexpr uint8_t YuvaY(uint32_t c) {
    return static_cast<uint8_t>(c >> 16);
}
constexpr uint8_t YuvaU(uint32_t c) {
    return static_cast<uint8_t>(c >> 8);
}
constexpr uint8_t YuvaV(uint32_t c) {
    return static_cast<uint8_t>(c);
}

// One 0xAARRGGBB colour to 0xAAYYUUVV (BT.601 studio range; alpha kept).
uint32_t RgbaToYuva(uint32_t argb);

// Converts the palette of every bitmap rectangle of `sub` in place, once; text rectangles are
// left alone.
void SubtitlePaletteToYuva(AVSubtitle& sub);

// Blends one bitmap rectangle, whose palette is already YUVA, into a writable YUV 4:2:0 picture
// at the rectangle's position; parts outside the picture are cut off.
void BlendSubtitleRect(AVFrame& yuv420p, const AVSubtitleRect& rect);

// True when a rectangle of `sub` is flagged forced (shown even when no subtitle is chosen).
bool HasForcedRect(const AVSubtitle& sub);

// Every bitmap rectangle of `sub`.
void BlendSubpicture(AVFrame& yuv420p, const AVSubtitle& sub);

} // namespace quovo
