// The media generator and its probes: every other test trusts them, so they are checked here
// against what the libraries read back from the files.
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <numeric>
#include <sys/wait.h>
#include <unistd.h>

using namespace quovo;
using namespace quovo::fixtures;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<int> Sequence(int count) {
    std::vector<int> v(count);
    std::iota(v.begin(), v.end(), 0);
    return v;
}

std::string TestName(std::string name) {
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

AvFramePtr Picture(AVPixelFormat format, int width, int height) {
    AvFramePtr frame = MakeFrame();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    EXPECT_GE(av_frame_get_buffer(frame.get(), 0), 0);
    return frame;
}

AvFramePtr Convert(const AVFrame& from, AVPixelFormat format, int width, int height) {
    AvFramePtr to = Picture(format, width, height);
    SwsContextPtr sws(sws_getContext(from.width, from.height,
                                     static_cast<AVPixelFormat>(from.format), width, height, format,
                                     SWS_BILINEAR, nullptr, nullptr, nullptr));
    sws_scale(sws.get(), from.data, from.linesize, 0, from.height, to->data, to->linesize);
    return to;
}

} // namespace

TEST(TestPattern, FrameNumberSurvivesScalingAndColourConversion) {
    struct Size {
        int width, height;
    };
    for (const Size source : {Size{320, 240}, Size{64, 48}, Size{1280, 720}}) {
        AvFramePtr frame = Picture(AV_PIX_FMT_YUV420P, source.width, source.height);
        for (const int number : {0, 1, 37, 0x5555, 0xAAAA, kMaxPatternFrame}) {
            SCOPED_TRACE(testing::Message()
                         << source.width << "x" << source.height << " #" << number);
            FillTestPattern(*frame, number);
            EXPECT_EQ(ReadFrameNumber(*frame), number);
            EXPECT_EQ(ReadFrameNumber(*Convert(*frame, AV_PIX_FMT_RGB24, 176, 144)), number);
            EXPECT_EQ(ReadFrameNumber(*Convert(*frame, AV_PIX_FMT_YUV422P, 640, 360)), number);
        }
    }
}

TEST(TestPattern, PicturesWithoutThePatternReadAsUnknown) {
    AvFramePtr frame = Picture(AV_PIX_FMT_YUV420P, 320, 240);
    FillTestPattern(*frame, 0x1234);
    AvFramePtr flat = Picture(AV_PIX_FMT_YUV420P, 320, 240);
    std::memset(flat->data[0], 128, static_cast<size_t>(flat->linesize[0]) * 240);
    EXPECT_EQ(ReadFrameNumber(*flat), -1);

    // Upside down: the cells are gone from the top rows.
    AvFramePtr flipped = Picture(AV_PIX_FMT_YUV420P, 320, 240);
    for (int y = 0; y < 240; ++y) {
        std::memcpy(flipped->data[0] + y * flipped->linesize[0],
                    frame->data[0] + (239 - y) * frame->linesize[0], 320);
    }
    EXPECT_EQ(ReadFrameNumber(*flipped), -1);

    // A blend of two pictures (as a frame-rate converter would make) is not trusted either.
    AvFramePtr other = Picture(AV_PIX_FMT_YUV420P, 320, 240);
    FillTestPattern(*other, 0x1234 ^ 0x00FF);
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            uint8_t& a = frame->data[0][y * frame->linesize[0] + x];
            a = static_cast<uint8_t>((a + other->data[0][y * other->linesize[0] + x]) / 2);
        }
    }
    EXPECT_EQ(ReadFrameNumber(*frame), -1);
}

struct MediaCase {
    std::string fixture;
    std::string container; // one of the demuxer's names
    std::string video;
    int width, height;
    AVRational fps;
    int frames;
    std::vector<std::string> audio;
    double durationS;
};

void PrintTo(const MediaCase& c, std::ostream* os) {
    *os << c.fixture;
}

class StandardMedia : public testing::TestWithParam<MediaCase> {};

TEST_P(StandardMedia, ProbesAsDescribedAndReadsBackEveryFrame) {
    const MediaCase& c = GetParam();
    const std::string& path = Fixture(c.fixture);
    const ProbeResult probe = ProbeMedia(path);

    EXPECT_NE(("," + probe.container + ",").find("," + c.container + ","), std::string::npos)
        << probe.container;
    EXPECT_NEAR(probe.durationS, c.durationS, 0.1);
    ASSERT_EQ(probe.Count(StreamKind::Video), 1);
    const StreamProbe& video = *probe.Find(StreamKind::Video);
    EXPECT_EQ(video.codec, c.video);
    EXPECT_EQ(video.width, c.width);
    EXPECT_EQ(video.height, c.height);
    EXPECT_EQ(av_cmp_q(video.frameRate, c.fps), 0)
        << video.frameRate.num << "/" << video.frameRate.den;
    EXPECT_EQ(video.decodedFrames, c.frames);
    EXPECT_EQ(video.decodeErrors, 0);

    ASSERT_EQ(probe.Count(StreamKind::Audio), static_cast<int>(c.audio.size()));
    for (size_t i = 0; i < c.audio.size(); ++i) {
        const StreamProbe& audio = *probe.Find(StreamKind::Audio, static_cast<int>(i));
        EXPECT_EQ(audio.codec, c.audio[i]);
        EXPECT_EQ(audio.channels, 2);
        EXPECT_GT(audio.decodedSamples, audio.sampleRate * (c.frames / av_q2d(c.fps) - 0.1));
        EXPECT_EQ(audio.decodeErrors, 0);
    }
    EXPECT_NEAR(DominantFrequency(path, 0), 440.0, 2.0);
    EXPECT_EQ(ReadFrameNumbers(path), Sequence(c.frames));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, StandardMedia,
    testing::Values(
        MediaCase{"h264-aac.mkv", "matroska", "h264", 320, 240, {25, 1}, 50, {"aac"}, 2.0},
        MediaCase{"h264-aac.mp4", "mp4", "h264", 320, 240, {25, 1}, 50, {"aac"}, 2.0},
        MediaCase{"mpeg4-mp3.avi", "avi", "mpeg4", 320, 240, {30000, 1001}, 60, {"mp3"}, 2.0},
        MediaCase{"mpeg2-mp2.ts", "mpegts", "mpeg2video", 352, 288, {25, 1}, 50, {"mp2"}, 2.0},
        MediaCase{"mpeg1-mp2.mpg", "mpeg", "mpeg1video", 352, 288, {25, 1}, 50, {"mp2"}, 2.0},
        MediaCase{"mpeg2-ac3.vob", "mpeg", "mpeg2video", 352, 288, {25, 1}, 50, {"ac3"}, 2.0},
        MediaCase{"jump.ts", "mpegts", "mpeg2video", 352, 288, {25, 1}, 100, {"mp2"}, 24.0},
        MediaCase{"two-audio.mkv", "matroska", "h264", 320, 240, {25, 1}, 50, {"aac", "aac"}, 2.0},
        MediaCase{"chapters.mkv", "matroska", "h264", 320, 240, {25, 1}, 75, {"aac"}, 3.0},
        MediaCase{"subtitles.mkv", "matroska", "h264", 320, 240, {25, 1}, 50, {"aac"}, 2.0},
        MediaCase{"demo", "matroska", "h264", 640, 360, {25, 1}, 250, {"aac"}, 10.0}),
    [](const testing::TestParamInfo<MediaCase>& info) { return TestName(info.param.fixture); });

TEST(StandardFixtures, TwoAudioTracksDifferInLanguageAndTone) {
    const std::string& path = Fixture("two-audio.mkv");
    const ProbeResult probe = ProbeMedia(path, ProbeDepth::Packets);
    ASSERT_EQ(probe.Count(StreamKind::Audio), 2);
    EXPECT_EQ(probe.Find(StreamKind::Audio, 0)->language, "eng");
    EXPECT_EQ(probe.Find(StreamKind::Audio, 1)->language, "deu");
    EXPECT_NEAR(DominantFrequency(path, 0), 440.0, 2.0);
    EXPECT_NEAR(DominantFrequency(path, 1), 1000.0, 2.0);
    EXPECT_THROW(DominantFrequency(path, 2), std::runtime_error);
}

TEST(StandardFixtures, ChaptersAndTagsAreStored) {
    const ProbeResult probe = ProbeMedia(Fixture("chapters.mkv"), ProbeDepth::Packets);
    ASSERT_EQ(probe.chapters.size(), 3u);
    const char* titles[] = {"Opening", "Middle", "End"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(probe.chapters[i].title, titles[i]);
        EXPECT_DOUBLE_EQ(probe.chapters[i].startS, i);
        EXPECT_DOUBLE_EQ(probe.chapters[i].endS, i + 1);
    }
    EXPECT_EQ(probe.Tag("title"), "Quovo Test Clip");
    EXPECT_EQ(probe.Tag("artist"), "Quovo Fixtures");
    EXPECT_EQ(probe.Tag("album"), "Generated Media");
    EXPECT_EQ(probe.Tag("comment"), "Colour bars and a 440 Hz tone");
}

TEST(StandardFixtures, JumpTsSkipsTwentySecondsBetweenConsecutiveFrames) {
    const std::string& path = Fixture("jump.ts");
    const ProbeResult probe = ProbeMedia(path, ProbeDepth::Packets);
    for (const StreamKind kind : {StreamKind::Video, StreamKind::Audio}) {
        const StreamProbe& s = *probe.Find(kind);
        EXPECT_GT(s.maxDtsStepS, 20.0);
        EXPECT_LT(s.maxDtsStepS, 20.1);
        EXPECT_NEAR(s.lastPtsS - s.firstPtsS, 24.0, 0.1);
    }
    // The pictures themselves run on without a gap: only the clock jumps, once, near the middle.
    const std::vector<FrameMark> marks = ReadFrameMarks(path);
    ASSERT_EQ(marks.size(), 100u);
    int jumps = 0;
    for (size_t i = 1; i < marks.size(); ++i) {
        EXPECT_EQ(marks[i].number, static_cast<int>(i));
        const double step = marks[i].ptsS - marks[i - 1].ptsS;
        if (step > 1) {
            ++jumps;
            EXPECT_NEAR(step, 20.04, 0.001) << i;
            EXPECT_NEAR(static_cast<double>(i), 50, 2);
        } else {
            EXPECT_NEAR(step, 0.04, 0.001) << i;
        }
    }
    EXPECT_EQ(jumps, 1);
    // The plain TS of the same make has no such step.
    EXPECT_LT(ProbeMedia(Fixture("mpeg2-mp2.ts"), ProbeDepth::Packets)
                  .Find(StreamKind::Video)
                  ->maxDtsStepS,
              0.1);
}

TEST(StandardFixtures, SubtitleCuesArePackets) {
    const ProbeResult probe = ProbeMedia(Fixture("subtitles.mkv"));
    const StreamProbe* subtitles = probe.Find(StreamKind::Subtitle);
    ASSERT_NE(subtitles, nullptr);
    EXPECT_EQ(subtitles->codec, "subrip");
    EXPECT_EQ(subtitles->language, "eng");
    EXPECT_EQ(subtitles->packets, 2);
    EXPECT_EQ(subtitles->decodedFrames, 2);
    EXPECT_NEAR(subtitles->lastPtsS - subtitles->firstPtsS, 0.8, 0.002);
}

TEST(StandardFixtures, BrokenFilesAreWhatTheySay) {
    EXPECT_EQ(fs::file_size(Fixture("zero.mpg")), 0u);
    EXPECT_THROW(ProbeMedia(Fixture("zero.mpg")), std::runtime_error);

    const std::string whole = ReadAll(Fixture("h264-aac.mp4"));
    const std::string cut = ReadAll(Fixture("truncated.mp4"));
    EXPECT_EQ(cut.size(), whole.size() / 2);
    EXPECT_EQ(whole.compare(0, cut.size(), cut), 0);
    EXPECT_THROW(ProbeMedia(Fixture("truncated.mp4")), std::runtime_error);

    // A cut TS still plays up to where it ends.
    const std::vector<int> frames = ReadFrameNumbers(Fixture("truncated.ts"));
    EXPECT_GT(frames.size(), 10u);
    EXPECT_LT(frames.size(), 50u);
    EXPECT_EQ(frames, Sequence(static_cast<int>(frames.size())));

    const std::string random = ReadAll(Fixture("random.bin"));
    EXPECT_EQ(random.size(), 65536u);
    EXPECT_THROW(ProbeMedia(Fixture("random.bin")), std::runtime_error);
    const std::string again = FixtureDir() + "/again.bin";
    const std::string other = FixtureDir() + "/other.bin";
    MakeRandomFile(again, 65536, 20240917);
    MakeRandomFile(other, 65536, 20240918);
    EXPECT_EQ(ReadAll(again), random);
    EXPECT_NE(ReadAll(other), random);

    EXPECT_EQ(ReadAll(Fixture("text.mpg")).rfind("Line 1: ", 0), 0u);
    EXPECT_THROW(ProbeMedia(Fixture("text.mpg")), std::runtime_error);
}

TEST(StandardFixtures, RegeneratedFilesAreIdentical) {
    for (const char* name : {"h264-aac.mkv", "h264-aac.mp4", "mpeg4-mp3.avi", "mpeg2-mp2.ts"}) {
        const std::string copy = FixtureDir() + "/again-" + name;
        MakeFixture(name, copy);
        EXPECT_TRUE(ReadAll(copy) == ReadAll(Fixture(name))) << name;
    }
}

TEST(StandardFixtures, EveryNameIsMadeOnceInTheFixtureFolder) {
    ASSERT_TRUE(fs::is_directory(FixtureDir()));
    for (const FixtureInfo& info : StandardFixtures()) {
        if (info.name == "demo") {
            continue; // the largest; covered by its own probe case
        }
        const std::string& path = Fixture(info.name);
        EXPECT_EQ(path, FixtureDir() + "/" + info.fileName);
        EXPECT_EQ(&Fixture(info.name), &path);
        EXPECT_TRUE(fs::exists(path)) << info.name;
    }
    EXPECT_THROW(Fixture("no-such-fixture"), std::runtime_error);
}

TEST(StandardFixtures, AForkedChildLeavesTheFolderAlone) {
    const std::string dir = FixtureDir();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::exit(0); // runs the static destructors, as any helper process would
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(fs::is_directory(dir));
}

// Combinations beyond the standard set: each must come out decodable with every frame and
// its own tone.
struct MixCase {
    std::string name;
    std::string container;
    std::string video;
    AVPixelFormat pixelFormat;
    AVRational fps;
    std::string audio;
    int sampleRate;
    int channels;
    std::string expectVideo, expectAudio;
    KeyValues videoOptions = {};
    KeyValues muxerOptions = {};
};

void PrintTo(const MixCase& c, std::ostream* os) {
    *os << c.name;
}

class MediaMix : public testing::TestWithParam<MixCase> {};

TEST_P(MediaMix, WritesDecodableClip) {
    const MixCase& c = GetParam();
    MediaSpec spec;
    spec.container = c.container;
    spec.videoCodec = c.video;
    spec.pixelFormat = c.pixelFormat;
    spec.width = 176;
    spec.height = 144;
    spec.frameRate = c.fps;
    spec.videoOptions = c.videoOptions;
    spec.muxerOptions = c.muxerOptions;
    spec.durationS = 1.0;
    const double tone = 523.25; // not the default, so the track's own setting is what plays
    spec.audio.clear();
    if (!c.audio.empty()) {
        spec.audio.push_back({c.audio, c.sampleRate, c.channels, tone, "fra"});
    }
    const std::string path = FixtureDir() + "/mix-" + c.name;
    MakeMedia(path, spec);

    const ProbeResult probe = ProbeMedia(path);
    const int frames = static_cast<int>(std::lround(av_q2d(c.fps)));
    if (c.video.empty()) {
        EXPECT_EQ(probe.Count(StreamKind::Video), 0);
    } else {
        const StreamProbe* video = probe.Find(StreamKind::Video);
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->codec, c.expectVideo);
        EXPECT_EQ(video->width, 176);
        EXPECT_EQ(video->height, 144);
        EXPECT_EQ(video->decodeErrors, 0);
        EXPECT_EQ(ReadFrameNumbers(path), Sequence(frames));
    }
    if (c.audio.empty()) {
        EXPECT_EQ(probe.Count(StreamKind::Audio), 0);
    } else {
        const StreamProbe* audio = probe.Find(StreamKind::Audio);
        ASSERT_NE(audio, nullptr);
        EXPECT_EQ(audio->codec, c.expectAudio);
        EXPECT_EQ(audio->sampleRate, c.sampleRate);
        EXPECT_EQ(audio->channels, c.channels);
        EXPECT_EQ(audio->decodeErrors, 0);
        EXPECT_NEAR(DominantFrequency(path, 0, 0.2, 0.4), tone, 3.0);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Fixtures, MediaMix,
    testing::Values(
        MixCase{"mpeg4-aac.mp4", "mp4", "mpeg4", AV_PIX_FMT_YUV420P, {25, 1},
                "aac", 48000, 1, "mpeg4", "aac"},
        MixCase{"h264-mp3.mkv", "matroska", "libx264", AV_PIX_FMT_YUV420P, {30000, 1001},
                "libmp3lame", 44100, 2, "h264", "mp3"},
        MixCase{"h264-aac.ts", "mpegts", "libx264", AV_PIX_FMT_YUV420P, {25, 1},
                "aac", 44100, 2, "h264", "aac"},
        MixCase{"mpeg2-422-ac3.mkv", "matroska", "mpeg2video", AV_PIX_FMT_YUV422P, {25, 1},
                "ac3", 48000, 2, "mpeg2video", "ac3"},
        MixCase{"mpeg4-pcm.avi", "avi", "mpeg4", AV_PIX_FMT_YUV420P, {24, 1},
                "pcm_s16le", 22050, 1, "mpeg4", "pcm_s16le"},
        // DVD rate control and mux rate go through the generic option lists.
        MixCase{"mpeg2-mp2.dvd", "dvd", "mpeg2video", AV_PIX_FMT_YUV420P, {25, 1},
                "mp2", 48000, 2, "mpeg2video", "mp2",
                {{"maxrate", "9000000"}, {"bufsize", "1835008"}},
                {{"muxrate", "10080000"}, {"packetsize", "2048"}}},
        MixCase{"mp3-only.mp3", "mp3", "", AV_PIX_FMT_YUV420P, {25, 1},
                "libmp3lame", 44100, 2, "", "mp3"},
        MixCase{"video-only.mkv", "", "mpeg4", AV_PIX_FMT_YUV420P, {25, 1},
                "", 0, 0, "mpeg4", ""}),
    [](const testing::TestParamInfo<MixCase>& info) { return TestName(info.param.name); });
// clang-format on

TEST(MakeMedia, RefusesWhatItCannotWriteAndLeavesNoFile) {
    struct Bad {
        const char* what;
        std::function<void(MediaSpec&)> change;
        const char* message;
    };
    // clang-format off
    const Bad cases[] = {
        {"unknown video encoder", [](MediaSpec& s) { s.videoCodec = "no-such-codec"; }, "no-such-codec"},
        {"audio encoder as video", [](MediaSpec& s) { s.videoCodec = "aac"; }, "aac"},
        {"unsupported sample rate", [](MediaSpec& s) { s.audio[0].codec = "mp2"; s.audio[0].sampleRate = 12345; }, "mp2"},
        {"subtitles outside Matroska", [](MediaSpec& s) { s.container = "avi"; s.subtitles = {{0, 1, "x"}}; }, "Matroska"},
        {"misspelt encoder option", [](MediaSpec& s) { s.videoOptions = {{"presett", "fast"}}; }, "presett"},
        {"no stream at all", [](MediaSpec& s) { s.videoCodec.clear(); s.audio.clear(); }, "needs"},
    };
    // clang-format on
    for (const Bad& bad : cases) {
        SCOPED_TRACE(bad.what);
        MediaSpec spec;
        spec.durationS = 0.2;
        bad.change(spec);
        const std::string path = FixtureDir() + "/bad.mkv";
        try {
            MakeMedia(path, spec);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(bad.message), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(path));
    }
}

TEST(QuovoFixtureTool, ExitCodes) {
    const char* tools = std::getenv("QUOVO_TEST_TOOLS");
    const std::string tool = tools ? std::string(tools) + "/quovo-fixture" : "";
    if (tool.empty() || !fs::exists(tool)) {
        GTEST_SKIP() << "quovo-fixture not built";
    }
    const std::string out = FixtureDir() + "/tool-out";
    struct Run {
        std::string args;
        int exitCode;
    };
    const Run runs[] = {
        {"--duration 1.5 --size 160x120 h264-aac.mkv " + out + ".mkv", 0},
        {"text.mpg " + out + ".mpg", 0},
        {"no-such-name " + out, 2},
        {"h264-aac.mkv", 2},
        {"--duration -3 h264-aac.mkv " + out, 2},
        {"--size 160 h264-aac.mkv " + out, 2},
        {"--duration 2 zero.mpg " + out, 2},
        {"h264-aac.mkv " + FixtureDir() + "/no/such/folder/x.mkv", 1},
    };
    for (const Run& run : runs) {
        const int status = std::system((tool + " " + run.args + " 2>/dev/null").c_str());
        ASSERT_TRUE(WIFEXITED(status)) << run.args;
        EXPECT_EQ(WEXITSTATUS(status), run.exitCode) << run.args;
    }
    const ProbeResult probe = ProbeMedia(out + ".mkv");
    EXPECT_NEAR(probe.durationS, 1.5, 0.1);
    EXPECT_EQ(probe.Find(StreamKind::Video)->width, 160);
    EXPECT_EQ(probe.Find(StreamKind::Video)->decodedFrames, 38);
    EXPECT_EQ(ReadAll(out + ".mpg"), ReadAll(Fixture("text.mpg")));
}
