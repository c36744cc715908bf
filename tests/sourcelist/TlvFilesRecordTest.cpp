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

// The planner takes the row's source and edits; the zoom is the format's, not the row's.
TEST(TlvFilesRecordTest, ThePlannerTakesTheSourceAndTheEdits) {
    TlvFilesRecord r = MakeFileRecord(0, "/a.avi", "/b.mp4", 1, "pan");
    r.TrimStart = 5;
    r.TrimLength = 6;
    r.CropTop = 1;
    r.CropBottom = 2;
    r.CropLeft = 3;
    r.CropRight = 4;
    r.SourcePicture = TSourcePicture{};
    r.SourceContainer = "avi";
    const TPlanEdits e = PlanEditsOf(r);
    EXPECT_EQ(std::tuple(e.TrimStart, e.TrimLength), std::tuple(5, 6));
    EXPECT_EQ(std::tuple(e.CropTop, e.CropBottom, e.CropLeft, e.CropRight), std::tuple(1, 2, 3, 4));
    EXPECT_FALSE(e.FrameHook);
    r.Contrast = 10;
    EXPECT_TRUE(PlanEditsOf(r).FrameHook);

    const TPlanSource file = PlanSourceOf(r, "/disc");
    EXPECT_FALSE(file.IsTitle);
    EXPECT_EQ(file.FileName, "/a.avi");
    EXPECT_TRUE(file.Picture.has_value());
    EXPECT_EQ(file.ContainerName, "avi");
    EXPECT_EQ(file.Caption(), "/a.avi");

    TlvFilesRecord t;
    t.Kind = TRowKind::Title;
    t.TitleIndex = 2;
    t.FromChapter = 1;
    t.ToChapter = 3;
    t.AudioID = 0x81;
    t.SubtitleID = 0x21;
    t.Title.Width = 720;
    const TPlanSource title = PlanSourceOf(t, "/disc");
    EXPECT_TRUE(title.IsTitle);
    EXPECT_EQ(title.DVDPath, "/disc");
    EXPECT_EQ(std::tuple(title.Play.Title, title.Play.FromChapter, title.Play.ToChapter,
                         title.Play.AudioID, title.Play.SubtitleID),
              std::tuple(2, 1, 3, 0x81, 0x21));
    EXPECT_EQ(title.Title.Width, 720);
    EXPECT_EQ(title.Caption(), "DVD Title 3");
}

} // namespace
} // namespace quovo
