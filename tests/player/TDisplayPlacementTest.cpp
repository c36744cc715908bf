#include "TDisplayPlacement.h"

#include <gtest/gtest.h>

namespace quovo {
namespace {

TEST(TDisplayPlacementTest, PicturesKeepTheirShapeCentredWithEvenSizes) {
    struct Case {
        const char* name;
        float aspectRatio;
        AVRational sar;
        int w, h, areaW, areaH;
        TDisplayRect expected;
    };
    const Case cases[] = {
        // A 16:9 PAL disc picture in the main window's 243 x 171 panel: bars above and below.
        {"anamorphic 16:9, own shape", 0, {64, 45}, 720, 576, 243, 171, {0, 17, 243, 136}},
        {"square pixels, own shape", 0, {1, 1}, 320, 240, 400, 200, {67, 0, 266, 200}},
        {"unknown pixel shape is square", 0, {0, 1}, 320, 240, 400, 200, {67, 0, 266, 200}},
        {"4:3 disc picture in a wide area", 0, {16, 15}, 720, 576, 400, 200, {67, 0, 266, 200}},
        {"ratio given", 2.0f, {64, 45}, 720, 576, 300, 300, {0, 75, 300, 150}},
        {"negative fills the area", -1.0f, {64, 45}, 720, 576, 243, 171, {0, 0, 242, 170}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double a = DisplayAspect(c.aspectRatio, c.sar, c.w, c.h, c.areaW, c.areaH);
        const TDisplayRect r = PlacePicture(a, c.areaW, c.areaH);
        EXPECT_EQ(r, c.expected) << r.x << "," << r.y << " " << r.width << "x" << r.height;
        EXPECT_EQ(r.height % 2, 0);
    }
}

TEST(TDisplayPlacementTest, DisplayWidthCountsThePixelsShape) {
    struct Case {
        int width;
        AVRational sar;
        int shown;
    } cases[] = {
        {720, {64, 45}, 1024}, {720, {16, 15}, 768}, {720, {8, 9}, 640}, {720, {32, 27}, 853},
        {720, {1, 1}, 720},    {720, {0, 1}, 720},   {720, {1, 0}, 720}, {0, {64, 45}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DisplayWidth(c.width, c.sar), c.shown) << c.sar.num << ":" << c.sar.den;
    }
}

TEST(TDisplayPlacementTest, NegativeRatioBeforeTheAreaIsKnownUsesThePicturesShape) {
    EXPECT_DOUBLE_EQ(DisplayAspect(-1.0f, {1, 1}, 320, 240, 0, 0), 320.0 / 240.0);
}

} // namespace
} // namespace quovo
