// The zoom modes through the option builder and the conversion engine together: the builder's
// records (frame size, crop fields, filter texts) convert a generated clip, and the picture inside
// the bands of the output is measured against the source area it should show.
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TFormatFileRun.h"
#include "TOptionBuilder.h"

#include "Fixtures.h"
#include "FormatsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;
namespace fx = fixtures;

struct TRect {
    int x, y, w, h;
};

enum class TVariant { File, DVD };

class ZoomConversionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FFLogger()->SetTriggerEventInMainThread(false);
        FFLogger()->SetLevelByName("quiet");
        ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    }

    // A video-only MPEG-2 clip of w x h, made once per size.
    static const std::string& Source(int w, int h) {
        static std::map<std::pair<int, int>, std::string> made;
        auto it = made.find({w, h});
        if (it == made.end()) {
            fx::MediaSpec spec;
            spec.container = "mpeg";
            spec.videoCodec = "mpeg2video";
            spec.width = w;
            spec.height = h;
            spec.durationS = 0.4;
            spec.audio.clear();
            const std::string path =
                fx::FixtureDir() + "/zoom-" + std::to_string(w) + "x" + std::to_string(h) + ".mpg";
            fx::MakeMedia(path, spec);
            it = made.emplace(std::make_pair(w, h), path).first;
        }
        return it->second;
    }

    // Builds the records of format 7 (raw pictures at `size`, no sound) for the source and runs
    // them; returns the output file.
    std::string Convert(TVariant variant, const std::string& source, int sw, int sh,
                        const std::string& size, const TRowEdits& row) {
        formats_.WriteString("formatInfo7", "Format", "null");
        settings_.WriteValues("formatInfo7", {{"paraVideoEncoder", "rawvideo"},
                                              {"paraVideoSize", size},
                                              {"paraFrameRate", "as source"},
                                              {"paraAudioEncoder", ""}});
        TInputOptions in;
        TOutputOptions out;
        out.FileName = dir_ / ("out" + std::to_string(++runs_) + ".nut");
        TOptionBuilder builder(settings_, formats_, dialogs_);
        if (variant == TVariant::File) {
            builder.BuildOutputOptions(row, 7, out, TSourcePicture{1, sw, sh, -1}, in);
        } else {
            builder.BuildDVDOutputOptions(row, 7, out, sw, sh, in);
        }
        TFormatRunResult result =
            TFormatFileRun(settings_, formats_, dialogs_, "Quovo").Run(source, in, out);
        EXPECT_TRUE(result.Ok) << result.Error << " (filters: " << out.VideoFilters << ")";
        return result.Output;
    }

    TScratchFolder dir_;
    TIniStore settings_{dir_ / "quovo.ini"};
    TIniStore formats_{dir_ / "quovoformat.ini"};
    TRecordingDialogs dialogs_;
    int runs_ = 0;
};

// Every picture of `output` is `outW` x `outH`, black outside `picture`, and inside it shows the
// source's `kept` area scaled to the picture's size. Edges are left out by two pixels, where
// scaling blends the picture into the bands.
void ExpectFitted(const std::string& source, const std::string& output, TRect kept, int outW,
                  int outH, TRect picture) {
    constexpr int kFrames = 3;
    constexpr int kEdge = 2;
    const auto src = fx::DecodePictures(source, AV_PIX_FMT_GRAY8, kFrames);
    const auto dst = fx::DecodePictures(output, AV_PIX_FMT_GRAY8, kFrames);
    ASSERT_EQ(dst.size(), src.size());
    ASSERT_EQ(dst[0]->width, outW);
    ASSERT_EQ(dst[0]->height, outH);
    const TRect bands[] = {
        {0, 0, outW, picture.y},                                        // top
        {0, picture.y + picture.h, outW, outH - picture.y - picture.h}, // bottom
        {0, 0, picture.x, outH},                                        // left
        {picture.x + picture.w, 0, outW - picture.x - picture.w, outH}, // right
    };
    for (size_t i = 0; i < dst.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        for (const TRect& b : bands) {
            if (b.w > 2 * kEdge && b.h > 2 * kEdge) {
                EXPECT_LT(fx::MeanLevel(*dst[i], b.x + kEdge, b.y + kEdge, b.w - 2 * kEdge,
                                        b.h - 2 * kEdge),
                          2.0)
                    << "band at " << b.x << "," << b.y << " is not black";
            }
        }
        auto expected =
            fx::ScaledGrey(*src[i], kept.x, kept.y, kept.w, kept.h, picture.w, picture.h);
        const int w = picture.w - 2 * kEdge;
        const int h = picture.h - 2 * kEdge;
        EXPECT_LT(fx::MeanDiff(*dst[i], picture.x + kEdge, picture.y + kEdge, w, h, *expected,
                               kEdge, kEdge),
                  1.5)
            << "the picture does not show the source's kept area";
        EXPECT_GT(fx::MeanLevel(*dst[i], picture.x + kEdge, picture.y + kEdge, w, h), 40.0);
    }
}

TEST_F(ZoomConversionTest, EveryZoomModeShowsTheAreaItsArithmeticGives) {
    struct Case {
        const char* name;
        TVariant variant;
        TRowEdits row;
        TRect kept; // source area shown
        int outW, outH;
        TRect picture; // where it lands in the output
    } cases[] = {
        // The worked example: a 320x212 picture between 14-row bands.
        {"lbox", TVariant::File, {"lbox"}, {0, 0, 720, 480}, 320, 240, {0, 14, 320, 212}},
        {"lbox with crop",
         TVariant::File,
         {"lbox", 10, 10, 8, 0},
         {8, 10, 712, 460},
         320,
         240,
         {0, 16, 320, 208}},
        {"lbox of a title", TVariant::DVD, {"lbox"}, {0, 0, 720, 480}, 320, 240, {0, 14, 320, 212}},
        {"lbox of a title with crop",
         TVariant::DVD,
         {"lbox", 10, 10, 0, 0},
         {0, 10, 720, 460},
         320,
         240,
         {0, 18, 320, 204}},
        {"full", TVariant::File, {"full"}, {0, 0, 720, 480}, 320, 240, {0, 0, 320, 240}},
        {"full with crop",
         TVariant::File,
         {"full", 10, 10, 8, 0},
         {8, 10, 712, 460},
         320,
         240,
         {0, 0, 320, 240}},
        {"full of a title with crop",
         TVariant::DVD,
         {"full", 10, 10, 8, 0},
         {8, 10, 712, 460},
         320,
         240,
         {0, 0, 320, 240}},
        // A 4:3 cut: 40 columns off each side.
        {"pan", TVariant::File, {"pan"}, {40, 0, 640, 480}, 320, 240, {0, 0, 320, 240}},
        {"pan with crop",
         TVariant::File,
         {"pan", 0, 0, 8, 0},
         {48, 0, 624, 480},
         320,
         240,
         {0, 0, 320, 240}},
        {"pan of a title", TVariant::DVD, {"pan"}, {40, 0, 640, 480}, 320, 240, {0, 0, 320, 240}},
        // 720x480 padded to 720x540 (30 rows on top), then scaled by 4/9.
        {"center", TVariant::File, {"center"}, {0, 0, 720, 480}, 320, 240, {0, 13, 320, 214}},
        // 712x460 padded to 712x534 (36 rows on top), then scaled by 240/534.
        {"center with crop",
         TVariant::File,
         {"center", 10, 10, 8, 0},
         {8, 10, 712, 460},
         320,
         240,
         {0, 16, 320, 207}},
        {"center of a title is ignored",
         TVariant::DVD,
         {"center"},
         {0, 0, 720, 480},
         720,
         480,
         {0, 0, 720, 480}},
    };
    const std::string& source = Source(720, 480);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string output = Convert(c.variant, source, 720, 480, "320x240", c.row);
        if (output.empty()) {
            continue;
        }
        const fx::ProbeResult probe = fx::ProbeMedia(output);
        const fx::StreamProbe* video = probe.Find(fx::StreamKind::Video);
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->decodeErrors, 0);
        ExpectFitted(source, output, c.kept, c.outW, c.outH, c.picture);
    }
}

} // namespace
} // namespace quovo
