// What an output keeps of its source besides the pictures and the sound: chapter marks cut by a
// trim, the tracks' languages and the title tag, in each container that holds them.
#include "TCustomFFmpeg.h"

#include "EngineTest.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quovo;
using namespace quovo::fixtures;
using namespace quovo::testing_support;

namespace {

class OutputMarksTest : public EngineTest {};

TEST_F(OutputMarksTest, ChaptersAreCutByTheTrimAndNamed) {
    MediaSpec spec = StandardSpec("h264-aac.mkv");
    spec.durationS = 4;
    spec.chapters = {{0.0, 1.5, "Opening"}, {1.5, 2.5, ""}, {2.5, 4.0, "End"}};
    const std::string in = Out("chapters.mkv");
    MakeMedia(in, spec);

    struct Case {
        const char* name;
        Options in;
        Options out;
        std::vector<ChapterSpec> chapters;
    };
    const Case cases[] = {
        {"whole", {}, {}, {{0, 1.5, "Opening"}, {1.5, 2.5, "Chapter 2"}, {2.5, 4, "End"}}},
        {"cut",
         {{"ss", "1"}},
         {{"t", "2"}},
         {{0, 0.5, "Opening"}, {0.5, 1.5, "Chapter 2"}, {1.5, 2, "End"}}},
        // A trim that is exactly one chapter gives no empty marks at its edges.
        {"one", {{"ss", "1.5"}}, {{"t", "1"}}, {{0, 1, "Chapter 2"}}},
    };
    for (const char* container : {"mkv", "mp4"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + "." + container);
            const std::string out = Out(std::string(c.name) + "." + container);
            Options options = {{"vcodec", "copy"}, {"acodec", "copy"}};
            options.insert(options.end(), c.out.begin(), c.out.end());
            Convert({in}, c.in, out, options);
            const ProbeResult probe = ProbeMedia(out, ProbeDepth::Packets);
            ASSERT_EQ(probe.chapters.size(), c.chapters.size());
            for (size_t i = 0; i < c.chapters.size(); ++i) {
                EXPECT_NEAR(probe.chapters[i].startS, c.chapters[i].startS, 0.002) << i;
                EXPECT_NEAR(probe.chapters[i].endS, c.chapters[i].endS, 0.002) << i;
                EXPECT_EQ(probe.chapters[i].title, c.chapters[i].title) << i;
            }
        }
    }
}

TEST_F(OutputMarksTest, LanguagesAndTitleReachEveryContainerThatHoldsThem) {
    MediaSpec spec = StandardSpec("h264-aac.mkv");
    spec.audio[0].language = "fre";
    const std::string in = Out("french.mkv");
    MakeMedia(in, spec);

    struct Case {
        const char* output;
        Options options;
        const char* language; // of the sound, as the container keeps it; "" when it cannot
        bool titleTag;        // MPEG-TS names its service after the title instead
    };
    const Options copy = {{"vcodec", "copy"}, {"acodec", "copy"}};
    const Case cases[] = {
        {"out.mkv", copy, "fre", true},
        {"out.mp4", copy, "fre", true},
        {"out.ts", {{"vcodec", "mpeg2video"}, {"acodec", "mp2"}}, "fre", false},
        {"out.avi", {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}}, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const std::string out = Out(c.output);
        Options options = c.options;
        options.emplace_back("metadata", "title=Row caption");
        Convert({in}, {}, out, options);
        const ProbeResult probe = ProbeMedia(out, ProbeDepth::Packets);
        ASSERT_NE(probe.Find(StreamKind::Audio), nullptr);
        EXPECT_EQ(probe.Find(StreamKind::Audio)->language, c.language);
        EXPECT_EQ(probe.Tag("title"), c.titleTag ? "Row caption" : "");
    }

    // A language asked for names the track instead.
    const std::string named = Out("named.mkv");
    Convert({in}, {}, named, {{"vcodec", "copy"}, {"acodec", "copy"}, {"alang", "ita"}});
    EXPECT_EQ(ProbeMedia(named, ProbeDepth::Packets).Find(StreamKind::Audio)->language, "ita");
}

} // namespace
