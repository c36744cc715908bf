// Every catalogue format converts a disc title with a subtitle chosen: the last chapter of the
// test disc's title 1 (from 21.6 s) with subtitle 32 (a white bar from 24 s to 27 s, a forced one)
// through quovo-convert's format mode. Matroska outputs carry the subtitle as a stream; every other
// output with a picture shows the bar in it, only inside its window.
#include "FormatCatalogue.h"

#include "../FormatsTestSupport.h"
#include "DvdDisc.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace quovo {
namespace {

using test::TScratchFolder;
namespace fx = fixtures;

// The picture showing the title at `seconds`: the pattern's frame number tells its time (25 a
// second), whatever frame rate the format gives the output. Null when none is that near.
const AVFrame* PictureAt(const std::vector<AvFramePtr>& pictures,
                         const std::vector<fx::FrameMark>& marks, double seconds) {
    const AVFrame* best = nullptr;
    double bestGap = 0.2;
    for (size_t i = 0; i < std::min(pictures.size(), marks.size()); ++i) {
        const double gap = std::abs(marks[i].number / 25.0 - seconds);
        if (marks[i].number >= 0 && gap < bestGap) {
            bestGap = gap;
            best = pictures[i].get();
        }
    }
    return best;
}

// Mean difference of the lowest quarter of two pictures. Below the pattern's sliding box the
// title's picture is still (colour bars, or the letterbox's black), so only a subpicture there
// makes two moments differ.
double LowestQuarterDiff(const AVFrame& a, const AVFrame& b) {
    const int top = a.height - a.height / 4;
    return fx::MeanDiff(a, 0, top, a.width, a.height / 4, b, 0, top);
}

class DvdTitleFormatTest : public ::testing::TestWithParam<int> {};

TEST_P(DvdTitleFormatTest, ConvertsATitleWithItsSubtitle) {
    const int code = GetParam();
    const auto format = FindFormat(code);
    ASSERT_TRUE(format.has_value());
    SCOPED_TRACE(format->Name);
    const fx::DvdDisc& disc = fx::TestDvdDisc(QUOVO_DVD_DISC_CACHE);

    TScratchFolder dir;
    setenv("QUOVO_CONFIG_DIR", (dir / "config").c_str(), 1);
    // The frame marks are read where the whole picture puts them: the title fills the frame. (How
    // a wide title keeps its shape is the cross-road test's.)
    std::filesystem::create_directories(dir / "config");
    dir.WriteFile("config/quovo.ini", "[" + FormatSection(code) + "]\nparaZoom=full\n");
    fx::RunTool({QUOVO_CONVERT_PATH, "--format", std::to_string(code), "--output-dir", dir / "out",
                 "opendvd:" + disc.folder +
                     "|Title=1,FromChapter=4,ToChapter=4,AudioID=128,SubtitleID=32,"
                     "AudioChannels=2,Deinterlace=0"});
    std::vector<std::filesystem::path> outputs;
    for (const auto& e : std::filesystem::directory_iterator(dir / "out")) {
        outputs.push_back(e.path());
    }
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(outputs[0].stem().string(), "DVD Title 1_(new)");

    const fx::ProbeResult probe = fx::ProbeMedia(outputs[0].string());
    ASSERT_NE(probe.Find(fx::StreamKind::Audio), nullptr);
    const bool matroska =
        probe.container.rfind("matroska", 0) == 0 && outputs[0].extension() != ".webm";
    const fx::StreamProbe* subtitle = probe.Find(fx::StreamKind::Subtitle);
    ASSERT_EQ(subtitle != nullptr, matroska);
    if (subtitle) {
        EXPECT_EQ(subtitle->codec, "dvd_subtitle");
        EXPECT_EQ(subtitle->language, "eng");
    }
    const fx::StreamProbe* video = probe.Find(fx::StreamKind::Video);
    if (!video) {
        return; // a sound format: nothing to show the subtitle in
    }
    EXPECT_EQ(video->decodeErrors, 0);
    const auto pictures = fx::DecodePictures(outputs[0].string(), AV_PIX_FMT_GRAY8);
    const auto marks = fx::ReadFrameMarks(outputs[0].string());
    // The bar shows from 24 s to 27 s of the title.
    const AVFrame* shown = PictureAt(pictures, marks, 25.6);
    const AVFrame* after = PictureAt(pictures, marks, 28.1);
    const AVFrame* later = PictureAt(pictures, marks, 29.4);
    ASSERT_TRUE(shown && after && later) << pictures.size() << " pictures";
    const double still = LowestQuarterDiff(*after, *later);
    const double bar = LowestQuarterDiff(*shown, *later);
    if (matroska) {
        EXPECT_LT(bar, 2.0) << "carried as a stream, not drawn";
    } else {
        EXPECT_GT(bar, 4.0) << "the bar shows at 25.6 s";
        EXPECT_GT(bar, 3 * still) << "and is gone at 28.1 s";
    }
}

std::vector<int> AllCodes() {
    std::vector<int> codes;
    for (const TFormatEntry& f : AllFormats()) {
        codes.push_back(f.Code);
    }
    return codes;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, DvdTitleFormatTest, ::testing::ValuesIn(AllCodes()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Format" + std::to_string(info.param);
                         });

} // namespace
} // namespace quovo
