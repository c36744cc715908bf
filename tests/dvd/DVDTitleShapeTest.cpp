// A disc title through the option builder and the conversion component: the title's own display
// aspect decides its shape in a device's frame.
#include "DvdTestSupport.h"
#include "TDialogService.h"
#include "TFFmpegLoader.h"
#include "TFormatFileRun.h"
#include "TOptionBuilder.h"

namespace quovo {
namespace {

class TNoDialogs : public TDialogService {
public:
    void ShowMessage(const std::string&, const std::string&, TMessageIcon) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
};

// Title 1 is 720x576 at 16:9: in a 320x240 letterbox it is a 320x180 picture between 30-row
// bands (by its pixel counts it would be 300x240 with bands at the sides); at its own size it
// keeps its pixels' shape. Either way the pattern's box, a square on screen, stays one.
TEST(DVDTitleShape, WideTitleLetterboxesAtItsOwnShape) {
    dvdtest::LoadPlugin();
    ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    ASSERT_EQ(EnumDVDTitles(dvdtest::Disc().iso), 2);
    DVDTitleInfo title;
    ASSERT_TRUE(GetDVDTitle(0, title));
    ASSERT_EQ(title.DisplayAspect, 3);

    const std::string dir = dvdtest::ScratchDir("title-shape");
    TIniStore settings(dir + "/quovo.ini");
    TIniStore formats(dir + "/quovoformat.ini");
    formats.WriteString("formatInfo7", "Format", "mp4");
    settings.WriteValues("formatInfo7", {{"paraVideoEncoder", "mpeg4"},
                                         {"paraVideoSize", "320x240"},
                                         {"paraVideoBitRate", "2000"},
                                         {"paraFrameRate", "as source"},
                                         {"paraAudioEncoder", ""}});
    TNoDialogs dialogs;
    TInputOptions in;
    TOutputOptions out;
    out.FileName = dir + "/title1.mp4";
    out.RecordingTime = 1000000;
    TOptionBuilder(settings, formats, dialogs).BuildDVDOutputOptions({"lbox"}, 7, out, title, in);
    EXPECT_EQ(out.FrameSize, "320x180");

    TFormatRunResult result = TFormatFileRun(settings, formats, dialogs, "Quovo")
                                  .Run("opendvd:" + dvdtest::Disc().iso + "|Title=1", in, out);
    ASSERT_TRUE(result.Ok) << result.Error;
    const auto pictures = fixtures::DecodePictures(result.Output, AV_PIX_FMT_GRAY8, 3);
    ASSERT_FALSE(pictures.empty());
    for (const auto& p : pictures) {
        ASSERT_EQ(p->width, 320);
        ASSERT_EQ(p->height, 240);
        EXPECT_LT(fixtures::MeanLevel(*p, 0, 0, 320, 28), 3.0);
        EXPECT_LT(fixtures::MeanLevel(*p, 0, 212, 320, 28), 3.0);
        EXPECT_GT(fixtures::MeanLevel(*p, 0, 32, 320, 176), 30.0);
        EXPECT_GT(fixtures::MeanLevel(*p, 0, 32, 8, 176), 10.0) << "no bands at the sides";
    }
    fixtures::BoxSides box = fixtures::WhiteBoxSides(*pictures[0], 0, 30, 320, 180);
    ASSERT_GT(box.height, 10);
    EXPECT_NEAR(static_cast<double>(box.width) / box.height, 1.0, 0.05);
    fixtures::ProbeResult probe = fixtures::ProbeMedia(result.Output);
    const fixtures::StreamProbe* video = probe.Find(fixtures::StreamKind::Video);
    ASSERT_NE(video, nullptr);
    EXPECT_NEAR(av_q2d(video->sampleAspect), 1.0, 0.01);

    formats.WriteString("formatInfo8", "Format", "matroska");
    settings.WriteValues("formatInfo8", {{"paraVideoEncoder", "libx264"},
                                         {"paraVideoSize", "as source"},
                                         {"paraFrameRate", "as source"},
                                         {"paraAudioEncoder", ""}});
    TInputOptions keptIn;
    TOutputOptions kept;
    kept.FileName = dir + "/title1.mkv";
    kept.RecordingTime = 1000000;
    TOptionBuilder(settings, formats, dialogs)
        .BuildDVDOutputOptions({"full"}, 8, kept, title, keptIn);
    result = TFormatFileRun(settings, formats, dialogs, "Quovo")
                 .Run("opendvd:" + dvdtest::Disc().iso + "|Title=1", keptIn, kept);
    ASSERT_TRUE(result.Ok) << result.Error;
    probe = fixtures::ProbeMedia(result.Output);
    video = probe.Find(fixtures::StreamKind::Video);
    ASSERT_NE(video, nullptr);
    ASSERT_EQ(video->width, 720);
    ASSERT_EQ(video->height, 576);
    EXPECT_NEAR(720 * av_q2d(video->sampleAspect) / 576, 16.0 / 9.0, 0.01);
    const auto shown = fixtures::DecodePictures(result.Output, AV_PIX_FMT_GRAY8, 1);
    ASSERT_EQ(shown.size(), 1u);
    box = fixtures::WhiteBoxSides(*shown[0], 0, 0, 720, 576);
    ASSERT_GT(box.height, 10);
    EXPECT_NEAR(box.width * av_q2d(video->sampleAspect) / box.height, 1.0, 0.05);
}

} // namespace
} // namespace quovo
