#include "TlvFilesRecord.h"

#include "QtTestApp.h"

namespace quovo {
namespace {

TEST(TlvFilesRecordTest, AFileRowStartsNeutralAndNeedsNoHook) {
    const TlvFilesRecord r =
        MakeFileRecord(2, "/v/clip.avi", "/out/clip_(new)_ipod.mp4", 61, "lbox");
    EXPECT_EQ(r.Kind, TRowKind::File);
    EXPECT_EQ(r.TitleIndex, 2);
    EXPECT_EQ(r.DurationSeconds, 61);
    EXPECT_EQ(r.ZoomMode, "lbox");
    EXPECT_EQ(r.TrimStart, 0);
    EXPECT_EQ(r.TrimLength, 0);
    EXPECT_EQ(r.Title.Width, 0);
    EXPECT_EQ(r.ImageAlpha, 168);
    EXPECT_EQ(r.ImageBlendStyle, 1);
    EXPECT_EQ(r.WaterFont.Font.family(), "MS Sans Serif");
    EXPECT_EQ(r.WaterFont.Font.pointSize(), 8);
    EXPECT_EQ(r.WaterFont.Color, QColor(Qt::black));
    EXPECT_FALSE(NeedsFrameHook(r));
}

TEST(TlvFilesRecordTest, AnyEffectOrWatermarkAsksForTheHook) {
    struct Case {
        const char* name;
        void (*change)(TlvFilesRecord&);
    };
    const Case cases[] = {
        {"brightness", [](TlvFilesRecord& r) { r.Brightness = 254; }},
        {"contrast", [](TlvFilesRecord& r) { r.Contrast = 10; }},
        {"saturation", [](TlvFilesRecord& r) { r.Saturation = 0; }},
        {"exposure", [](TlvFilesRecord& r) { r.Exposure = -3; }},
        {"text", [](TlvFilesRecord& r) { r.WaterText = "mine"; }},
        {"image", [](TlvFilesRecord& r) { r.WaterImageFile = "/logo.png"; }},
    };
    for (const Case& c : cases) {
        TlvFilesRecord r = MakeFileRecord(0, "/a.avi", "/b.mp4", 1, "full");
        c.change(r);
        EXPECT_TRUE(NeedsFrameHook(r)) << c.name;
    }
    // A fresh record (every field zero) is not neutral: it darkens and desaturates.
    EXPECT_TRUE(NeedsFrameHook(TlvFilesRecord{}));
}

TEST(TlvFilesRecordTest, TheBuilderReadsZoomAndCrop) {
    TlvFilesRecord r = MakeFileRecord(0, "/a.avi", "/b.mp4", 1, "pan");
    r.CropTop = 1;
    r.CropBottom = 2;
    r.CropLeft = 3;
    r.CropRight = 4;
    const TRowEdits e = RowEdits(r);
    EXPECT_EQ(e.ZoomMode, "pan");
    EXPECT_EQ(std::tuple(e.CropTop, e.CropBottom, e.CropLeft, e.CropRight), std::tuple(1, 2, 3, 4));
}

} // namespace
} // namespace quovo
