#include "SubpictureBlend.h"
#include "AvPtr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace quovo {
namespace {

// A black YUV 4:2:0 picture.
AvFramePtr BlackPicture(int w, int h) {
    AvFramePtr f = MakeFrame();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = w;
    f->height = h;
    EXPECT_EQ(av_frame_get_buffer(f.get(), 0), 0);
    for (int y = 0; y < h; ++y) {
        std::memset(f->data[0] + y * f->linesize[0], 16, w);
    }
    for (int y = 0; y < h / 2; ++y) {
        std::memset(f->data[1] + y * f->linesize[1], 128, w / 2);
        std::memset(f->data[2] + y * f->linesize[2], 128, w / 2);
    }
    return f;
}

// A one-colour bitmap rectangle; the palette is converted as the player does.
struct Rect {
    std::vector<uint8_t> indices;
    uint32_t palette[4] = {};
    AVSubtitleRect rect{};
    Rect(int x, int y, int w, int h, uint32_t argb) : indices(w * h, 1) {
        palette[0] = 0;
        palette[1] = argb;
        rect.type = SUBTITLE_BITMAP;
        rect.x = x;
        rect.y = y;
        rect.w = w;
        rect.h = h;
        rect.nb_colors = 2;
        rect.data[0] = indices.data();
        rect.linesize[0] = w;
        rect.data[1] = reinterpret_cast<uint8_t*>(palette);
        AVSubtitleRect* rects[] = {&rect};
        AVSubtitle sub{};
        sub.num_rects = 1;
        sub.rects = rects;
        SubtitlePaletteToYuva(sub);
    }
};

TEST(SubpictureBlendTest, PaletteColoursBecomeStudioRangeYuvWithTheirAlpha) {
    struct Case {
        uint32_t argb;
        int y, u, v, a;
    };
    for (const Case& c : {Case{0xFFFFFFFF, 235, 128, 128, 255}, Case{0x80000000, 16, 128, 128, 128},
                          Case{0xFFFF0000, 82, 90, 240, 255}}) {
        const uint32_t yuva = RgbaToYuva(c.argb);
        EXPECT_NEAR(YuvaY(yuva), c.y, 1) << std::hex << c.argb;
        EXPECT_NEAR(YuvaU(yuva), c.u, 1) << std::hex << c.argb;
        EXPECT_NEAR(YuvaV(yuva), c.v, 1) << std::hex << c.argb;
        EXPECT_EQ(YuvaAlpha(yuva), c.a) << std::hex << c.argb;
    }
}

TEST(SubpictureBlendTest, OpaqueRectanglesCoverLumaAndWholeChromaBlocks) {
    AvFramePtr f = BlackPicture(8, 8);
    Rect red(1, 1, 4, 4, 0xFFFF0000); // x 1..4: an odd edge on both sides
    BlendSubtitleRect(*f, red.rect);
    const uint32_t yuva = red.palette[1];
    EXPECT_EQ(f->data[0][0], 16);                               // outside
    EXPECT_EQ(f->data[0][1 * f->linesize[0] + 1], YuvaY(yuva)); // inside
    EXPECT_EQ(f->data[0][5 * f->linesize[0] + 5], 16);
    // Block (1,1) (pixels 2..3) is covered whole: the subtitle's chroma.
    EXPECT_EQ(f->data[2][1 * f->linesize[2] + 1], YuvaV(yuva));
    // Block (0,0) has one covered pixel: its alpha counts a quarter, so the chroma moves about a
    // quarter of the way towards red.
    const int v00 = f->data[2][0];
    EXPECT_NEAR(v00, 128 + (YuvaV(yuva) - 128) * 63 / 255, 1);
}

TEST(SubpictureBlendTest, TransparentColoursAndRectanglesOutsideLeaveThePicture) {
    AvFramePtr f = BlackPicture(8, 8);
    Rect clear(0, 0, 8, 8, 0x00FFFFFF);
    BlendSubtitleRect(*f, clear.rect);
    Rect outside(6, 6, 10, 10, 0xFFFFFFFF); // mostly beyond the picture: cut off
    BlendSubtitleRect(*f, outside.rect);
    EXPECT_EQ(f->data[0][0], 16);
    EXPECT_EQ(f->data[1][0], 128);
    EXPECT_EQ(f->data[0][7 * f->linesize[0] + 7], 235);
    EXPECT_EQ(f->data[0][5 * f->linesize[0] + 5], 16);
}

} // namespace
} // namespace quovo
