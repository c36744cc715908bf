// A disc title's chapter marks and track languages: what the "opendvd:" stream tells the engine,
// and what MKV and MP4 outputs of the test disc show.
#include "DVDTitleMarks.h"
#include "DvdTestSupport.h"
#include "TCustomFFmpeg.h"
#include "TFFmpegLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace quovo;
using namespace quovo::fixtures;

namespace {

TEST(DescribeTitle, ChaptersOfTheRangeFromItsStartAndLanguagesByStreamId) {
    DVDTitleInfo title{};
    title.Duration = 40.0;
    title.ChapterCount = 4;
    const uint32_t starts[] = {0, 10000, 25000, 30000};
    std::memcpy(title.ChapterStartMs, starts, sizeof starts);
    title.AudioCount = 3;
    title.Audio[0] = {dskAc3, 0x80, 6, 48000, "en", "English"};
    title.Audio[1] = {dskMpa, 0xC1, 2, 48000, "de", "German"};
    title.Audio[2] = {dskLpcm, 0xA0, 2, 48000, "", "Unknown"};
    title.SubtitleCount = 1;
    title.Subtitles[0] = {dskSub, 0x21, "fr", "French"};

    struct Chapter {
        double startS, endS;
        const char* title;
    };
    struct Case {
        int from, to;
        std::vector<Chapter> chapters;
    };
    const Case cases[] = {
        {2, 3, {{0, 15, "Chapter 2"}, {15, 20, "Chapter 3"}}},
        {4, 4, {{0, 10, "Chapter 4"}}},
        // A trimmed title is read whole: 0 and 99 stand for its first and last chapters.
        {0,
         99,
         {{0, 10, "Chapter 1"},
          {10, 25, "Chapter 2"},
          {25, 30, "Chapter 3"},
          {30, 40, "Chapter 4"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + "-" + std::to_string(c.to));
        DVDPlayParams params{0, c.from, c.to, 0x80, 0, 2, 0};
        const TInputDescription d = DescribeTitle(title, params);
        ASSERT_EQ(d.chapters.size(), c.chapters.size());
        for (size_t i = 0; i < c.chapters.size(); ++i) {
            EXPECT_EQ(d.chapters[i].startUs, static_cast<int64_t>(c.chapters[i].startS * 1e6));
            EXPECT_EQ(d.chapters[i].endUs, static_cast<int64_t>(c.chapters[i].endS * 1e6));
            EXPECT_EQ(d.chapters[i].title, c.chapters[i].title);
        }
        // MPEG audio is a stream of its own (0x1C0 + n); the others are private sub-streams.
        const std::vector<std::pair<int, std::string>> languages = {
            {0x80, "eng"}, {0x1C1, "ger"}, {0x21, "fre"}};
        EXPECT_EQ(d.languages, languages);
    }
}

struct MarksCase {
    const char* what;
    const char* container;
    int title;
    int audioId;
    int from, to;
    double trimStartS, trimLengthS; // 0: no trim
    const char* language;
};

void PrintTo(const MarksCase& c, std::ostream* os) {
    *os << c.what;
}

// The marks an output of `c` should show: the range's chapters from its start, cut by the trim.
std::vector<ChapterSpec> ExpectedMarks(const MarksCase& c) {
    const std::vector<double> starts =
        c.title == 1 ? Title1ChapterStarts() : std::vector<double>{0.0, 4.805};
    const double titleEnd = c.title == 1 ? kTitle1Seconds : kTitle2Seconds;
    const int count = static_cast<int>(starts.size());
    const int first = c.from >= 1 ? c.from : 1;
    const int last = c.to <= count ? c.to : count;
    const double origin = starts[first - 1] + c.trimStartS;
    std::vector<ChapterSpec> marks;
    for (int k = first; k <= last; ++k) {
        double start = starts[k - 1] - origin;
        double end = (k < count ? starts[k] : titleEnd) - origin;
        if (end <= 0 || (c.trimLengthS > 0 && start >= c.trimLengthS)) {
            continue;
        }
        start = std::max(0.0, start);
        end = c.trimLengthS > 0 ? std::min(end, c.trimLengthS) : end;
        marks.push_back({start, end, "Chapter " + std::to_string(k)});
    }
    return marks;
}

class TitleMarks : public testing::TestWithParam<MarksCase> {};

TEST_P(TitleMarks, OutputShowsTheChaptersAndTheSoundsLanguage) {
    const MarksCase& c = GetParam();
    ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    dvdtest::LoadPlugin();
    const std::string name =
        std::string("opendvd:") + dvdtest::Disc().iso + "|Title=" + std::to_string(c.title) +
        ",FromChapter=" + std::to_string(c.from) + ",ToChapter=" + std::to_string(c.to) +
        ",AudioID=" + std::to_string(c.audioId) + ",SubtitleID=0,AudioChannels=2,Deinterlace=0";
    const std::string out =
        dvdtest::ScratchDir(std::string("marks-") + c.what) + "/out." + c.container;
    TCustomFFmpeg e;
    if (c.trimStartS > 0) {
        e.SetOption("ss", std::to_string(c.trimStartS));
    }
    ASSERT_TRUE(e.OpenInputFile(name)) << e.LastErrorText();
    // Encoded: Matroska cannot take the program stream's pictures as they are (some have no
    // time), and copied sound keeps what lies before the first picture.
    e.SetOption("vcodec", "mpeg4");
    e.SetOption("s", "176x144");
    e.SetOption("acodec", "mp2");
    if (c.trimLengthS > 0) {
        e.SetOption("t", std::to_string(c.trimLengthS));
    }
    ASSERT_GT(e.OpenOutputFile(out, false), 0) << e.LastErrorText();
    e.Transcode();
    EXPECT_TRUE(e.RunCompleted()) << e.LastErrorText();
    e.ReleaseAll();

    const ProbeResult probe = ProbeMedia(out, ProbeDepth::Packets);
    ASSERT_EQ(probe.Count(StreamKind::Audio), 1);
    EXPECT_EQ(probe.Find(StreamKind::Audio)->language, c.language);
    const std::vector<ChapterSpec> expected = ExpectedMarks(c);
    ASSERT_EQ(probe.chapters.size(), expected.size());
    // A chapter range starts with its first picture, a trim at its start. Picture times lie on
    // the output's frame grid, and the disc times its last chapter by its playback time.
    const double frame = c.title == 1 ? 1 / 25.0 : 1001 / 30000.0;
    EXPECT_NEAR(probe.Find(StreamKind::Video)->firstPtsS, 0, frame / 2);
    EXPECT_EQ(probe.chapters[0].startS, 0) << "the first mark holds what comes before it";
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].title);
        if (i > 0) {
            EXPECT_NEAR(probe.chapters[i].startS, expected[i].startS, frame);
        }
        EXPECT_NEAR(probe.chapters[i].endS, expected[i].endS, 1.5 * frame);
        EXPECT_EQ(probe.chapters[i].title, expected[i].title);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Disc, TitleMarks,
    testing::Values(MarksCase{"pal-mkv-2-3", "mkv", 1, 128, 2, 3, 0, 0, "eng"},
                    MarksCase{"pal-mp4-2-3", "mp4", 1, 0xC1, 2, 3, 0, 0, "ger"},
                    MarksCase{"pal-mkv-whole", "mkv", 1, 0xC1, 1, 4, 0, 0, "ger"},
                    MarksCase{"pal-mp4-trim", "mp4", 1, 128, 0, 99, 12, 10, "eng"},
                    MarksCase{"ntsc-mp4-whole", "mp4", 2, 128, 1, 2, 0, 0, "eng"}),
    [](const auto& info) {
        std::string n = info.param.what;
        std::replace(n.begin(), n.end(), '-', '_');
        return n;
    });

} // namespace
