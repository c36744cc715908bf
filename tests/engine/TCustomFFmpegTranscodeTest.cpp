// Stream-copy conversions through the engine, checked by probing and decoding the outputs.
#include "TCustomFFmpeg.h"

#include "EngineTest.h"
#include "Fixtures.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>

using namespace quovo;
using namespace quovo::fixtures;
using namespace quovo::testing_support;
namespace fs = std::filesystem;

namespace {

class TranscodeTest : public EngineTest {};

const Options kCopy = {{"vcodec", "copy"}, {"acodec", "copy"}};

TEST_F(TranscodeTest, RemuxKeepsStreamsFramesAndDuration) {
    struct Case {
        const char* fixture;
        const char* output;
        const char* container;
    };
    for (const Case& c :
         {Case{"h264-aac.mkv", "remux.mp4", "mov,mp4,m4a,3gp,3g2,mj2"},
          Case{"h264-aac.mp4", "remux.mkv", "matroska,webm"},
          Case{"mpeg4-mp3.avi", "remux.avi", "avi"}, Case{"mpeg2-mp2.ts", "remux.ts", "mpegts"}}) {
        SCOPED_TRACE(c.fixture);
        const std::string in = Fixture(c.fixture);
        const std::string out = Out(c.output);
        TCustomFFmpeg e;
        Convert(e, {in}, {}, out, kCopy);
        ProbeResult src = ProbeMedia(in);
        ProbeResult dst = ProbeMedia(out);
        EXPECT_EQ(dst.container, c.container);
        ASSERT_EQ(dst.streams.size(), src.streams.size());
        for (size_t i = 0; i < src.streams.size(); ++i) {
            EXPECT_EQ(dst.streams[i].codec, src.streams[i].codec);
            // Decoded audio frames may differ by the encoder-delay frame that MP4 hides in its
            // edit list; the packets themselves must all arrive.
            EXPECT_EQ(dst.streams[i].packets, src.streams[i].packets);
            if (dst.streams[i].kind == StreamKind::Video) {
                EXPECT_EQ(dst.streams[i].decodedFrames, src.streams[i].decodedFrames);
            }
            EXPECT_EQ(dst.streams[i].decodeErrors, 0);
        }
        EXPECT_NEAR(dst.durationS, src.durationS, 0.1);
        EXPECT_EQ(ReadFrameNumbers(out), ReadFrameNumbers(in));
    }
}

TEST_F(TranscodeTest, TimestampJumpIsClosedUnlessCopyts) {
    const std::string in = Fixture("jump.ts");
    ProbeResult src = ProbeMedia(in, ProbeDepth::Packets);
    ASSERT_GT(src.streams[0].maxDtsStepS, 19.0);

    TCustomFFmpeg shifted;
    Convert(shifted, {in}, {}, Out("shifted.ts"), kCopy);
    ProbeResult a = ProbeMedia(Out("shifted.ts"), ProbeDepth::Packets);
    for (const auto& s : a.streams) {
        EXPECT_LT(s.maxDtsStepS, 1.0) << s.codec;
        EXPECT_LT(s.lastPtsS - s.firstPtsS, 5.0) << s.codec;
    }
    EXPECT_LT(a.durationS, src.durationS - 15);
    EXPECT_EQ(ReadFrameNumbers(Out("shifted.ts")), ReadFrameNumbers(in));

    TCustomFFmpeg kept;
    Convert(kept, {in}, {{"copyts", ""}}, Out("kept.ts"), kCopy);
    ProbeResult b = ProbeMedia(Out("kept.ts"), ProbeDepth::Packets);
    EXPECT_GT(b.streams[0].maxDtsStepS, 19.0);
}

TEST_F(TranscodeTest, TimeLimitsAndFrameLimits) {
    const std::string in = Fixture("h264-aac.mkv");
    const ProbeResult src = ProbeMedia(in);
    const auto* srcVideo = src.Find(StreamKind::Video);
    ASSERT_NE(srcVideo, nullptr);

    { // recording time on the output
        TCustomFFmpeg e;
        Convert(e, {in}, {}, Out("t.mkv"), {{"vcodec", "copy"}, {"acodec", "copy"}, {"t", "1"}});
        ProbeResult r = ProbeMedia(Out("t.mkv"));
        EXPECT_NEAR(r.durationS, 1.0, 0.15);
    }
    { // input seek: the output starts at a key frame at or before 1 s, at time 0
        TCustomFFmpeg e;
        Convert(e, {in}, {{"ss", "1"}}, Out("ss.mkv"), kCopy);
        ProbeResult r = ProbeMedia(Out("ss.mkv"));
        EXPECT_LE(r.durationS, src.durationS - 0.5);
        std::vector<int> frames = ReadFrameNumbers(Out("ss.mkv"));
        ASSERT_FALSE(frames.empty());
        EXPECT_LE(frames.front(), 25);
        EXPECT_GT(frames.front(), 0);
    }
    { // vframes ends the loop although audio remains
        TCustomFFmpeg e;
        Convert(e, {in}, {}, Out("vframes.mkv"),
                {{"vcodec", "copy"}, {"acodec", "copy"}, {"vframes", "10"}});
        ProbeResult r = ProbeMedia(Out("vframes.mkv"));
        EXPECT_EQ(r.Find(StreamKind::Video)->decodedFrames, 10);
    }
}

// Encoding options as the output shows them: each row converts the same clip and probes it.
TEST_F(TranscodeTest, EncodingOptionsShowInTheOutput) {
    const std::string in = Fixture("h264-aac.mkv");
    struct Case {
        const char* what;
        Options options;
        std::function<void(const ProbeResult&)> check;
    };
    // A missing stream reads as an empty one, so that its row fails rather than crashes.
    static const StreamProbe none;
    const auto video = [](const ProbeResult& r) {
        const StreamProbe* v = r.Find(StreamKind::Video);
        return v ? *v : none;
    };
    const auto audio = [](const ProbeResult& r) {
        const StreamProbe* a = r.Find(StreamKind::Audio);
        return a ? *a : none;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"size", {{"s", "160x120"}}, [&](const ProbeResult& r) { EXPECT_EQ(video(r).width, 160); EXPECT_EQ(video(r).height, 120); }},
        {"rate", {{"r", "10"}}, [&](const ProbeResult& r) { EXPECT_EQ(av_cmp_q(video(r).frameRate, {10, 1}), 0); EXPECT_NEAR(video(r).decodedFrames, 20, 1); }},
        {"frame limit", {{"vframes", "7"}}, [&](const ProbeResult& r) { EXPECT_EQ(video(r).decodedFrames, 7); }},
        {"sound rate and channels", {{"ar", "22050"}, {"ac", "1"}}, [&](const ProbeResult& r) { EXPECT_EQ(audio(r).sampleRate, 22050); EXPECT_EQ(audio(r).channels, 1); }},
        {"no video", {{"vn", "1"}}, [](const ProbeResult& r) { EXPECT_EQ(r.Count(StreamKind::Video), 0); EXPECT_EQ(r.Count(StreamKind::Audio), 1); }},
        {"title", {{"metadata", "title=Effect"}}, [](const ProbeResult& r) { EXPECT_EQ(r.Tag("title"), "Effect"); }},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Options options = {{"vcodec", "mpeg4"}, {"acodec", "mp2"}};
        options.insert(options.end(), c.options.begin(), c.options.end());
        const std::string out = Out(std::string(c.what) + ".mkv");
        Convert({in}, {}, out, options);
        const ProbeResult r = ProbeMedia(out);
        if (r.Count(StreamKind::Video) > 0 && r.Count(StreamKind::Audio) > 0) {
            EXPECT_EQ(video(r).decodeErrors, 0);
        }
        c.check(r);
    }
}

TEST_F(TranscodeTest, StreamMapsPickTracks) {
    const std::string in = Fixture("two-audio.mkv");
    const double first = DominantFrequency(in, 0);
    const double second = DominantFrequency(in, 1);
    ASSERT_GT(std::abs(first - second), 100);

    TCustomFFmpeg e;
    Convert(e, {in}, {}, Out("mapped.mkv"),
            {{"vcodec", "copy"}, {"acodec", "copy"}, {"map", "0.0"}, {"map", "0.2"}});
    ProbeResult r = ProbeMedia(Out("mapped.mkv"));
    ASSERT_EQ(r.Count(StreamKind::Audio), 1);
    EXPECT_NEAR(DominantFrequency(Out("mapped.mkv"), 0), second, 20);
    EXPECT_EQ(r.Find(StreamKind::Audio)->language, "deu");

    TCustomFFmpeg unmapped;
    Convert(unmapped, {in}, {}, Out("default.mkv"), kCopy);
    EXPECT_NEAR(DominantFrequency(Out("default.mkv"), 0), first, 20);
}

TEST_F(TranscodeTest, MetadataAndChapters) {
    const std::string in = Fixture("chapters.mkv");
    const ProbeResult src = ProbeMedia(in, ProbeDepth::Packets);
    ASSERT_GE(src.chapters.size(), 2u);
    ASSERT_FALSE(src.Tag("title").empty());

    TCustomFFmpeg e;
    Convert(e, {in}, {}, Out("meta.mkv"),
            {{"vcodec", "copy"},
             {"acodec", "copy"},
             {"map_meta_data", "0:0"},
             {"metadata", "comment=made by quovo"},
             {"metadata", "artist=first"},
             {"metadata", "artist=second"}});
    ProbeResult r = ProbeMedia(Out("meta.mkv"), ProbeDepth::Packets);
    EXPECT_EQ(r.Tag("comment"), "made by quovo");
    EXPECT_EQ(r.Tag("artist"), "first"); // the first pair of a key wins
    EXPECT_EQ(r.Tag("title"), src.Tag("title"));
    ASSERT_EQ(r.chapters.size(), src.chapters.size());
    for (size_t i = 0; i < r.chapters.size(); ++i) {
        EXPECT_NEAR(r.chapters[i].startS, src.chapters[i].startS, 0.01);
        EXPECT_EQ(r.chapters[i].title, src.chapters[i].title);
    }

    // A recording window cuts and shifts the chapters.
    TCustomFFmpeg cut;
    Convert(cut, {in}, {{"ss", "1"}}, Out("cut.mkv"), {{"vcodec", "copy"}, {"acodec", "copy"}});
    ProbeResult c = ProbeMedia(Out("cut.mkv"), ProbeDepth::Packets);
    ASSERT_FALSE(c.chapters.empty());
    EXPECT_EQ(c.chapters[0].startS, 0);
}

TEST_F(TranscodeTest, JoinModeAppendsInputs) {
    const std::string a = Fixture("h264-aac.mkv");
    const std::string b = Out("second.mkv");
    MediaSpec spec = StandardSpec("h264-aac.mkv");
    spec.durationS = 1.0;
    MakeMedia(b, spec);

    TCustomFFmpeg e;
    SetOptions(e, kCopy);
    ASSERT_TRUE(e.OpenInputFile(a));
    ASSERT_TRUE(e.OpenInputFile(b));
    ASSERT_EQ(e.OpenOutputFile(Out("joined.mkv"), true), 2);
    const ProbeResult pa = ProbeMedia(a);
    const ProbeResult pb = ProbeMedia(b);
    EXPECT_NEAR(e.ProgressTotal() / 1e6, pa.durationS + pb.durationS, 0.1);
    EXPECT_EQ(e.OpenOutputFile(Out("another.mkv"), false), -1);
    EXPECT_EQ(e.LastErrorText(), "Cannot join more than one output file.");
    e.Transcode();
    EXPECT_TRUE(e.RunCompleted());
    e.ReleaseAll();

    ProbeResult r = ProbeMedia(Out("joined.mkv"));
    EXPECT_NEAR(r.durationS, pa.durationS + pb.durationS, 0.15);
    EXPECT_EQ(r.Find(StreamKind::Video)->decodedFrames,
              pa.Find(StreamKind::Video)->decodedFrames +
                  pb.Find(StreamKind::Video)->decodedFrames);
    std::vector<FrameMark> marks = ReadFrameMarks(Out("joined.mkv"));
    for (size_t i = 1; i < marks.size(); ++i) {
        EXPECT_GT(marks[i].ptsS, marks[i - 1].ptsS) << "frame " << i;
    }
}

TEST_F(TranscodeTest, BadInputsFailCleanly) {
    const std::string good = Fixture("h264-aac.mp4");
    struct Case {
        std::string name;
        std::function<void(const std::string&)> make;
    };
    const std::vector<Case> cases = {
        {"zero.mpg", MakeZeroFile},
        {"truncated.mp4", [&](const std::string& p) { MakeTruncatedFile(good, p, 3000); }},
        {"random.mpg", [](const std::string& p) { MakeRandomFile(p, 65536, 7); }},
        {"text.mpg", MakeTextFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = Out(c.name);
        c.make(in);
        const std::string out = Out(c.name + ".out.mkv");
        TCustomFFmpeg e;
        e.SetOption("vcodec", "copy");
        e.SetOption("acodec", "copy");
        std::string error;
        try {
            if (!e.OpenInputFile(in)) {
                error = e.LastErrorText();
            } else if (e.OpenOutputFile(out, false) < 0) {
                error = e.LastErrorText();
            } else {
                e.Transcode();
            }
        } catch (const FFmpegException& ex) {
            error = ex.what();
        }
        e.ReleaseAll();
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(fs::exists(out) && fs::file_size(out) == 0) << "empty output left behind";
        EXPECT_TRUE(fs::exists(in)) << "source touched";
    }
}

TEST_F(TranscodeTest, OpenFailuresReportTheirTexts) {
    const std::string in = Fixture("h264-aac.mkv");
    {
        TCustomFFmpeg e;
        const std::string missing = Out("missing.avi");
        EXPECT_FALSE(e.OpenInputFile(missing));
        EXPECT_EQ(e.LastErrorText(), missing + ": No such file or directory");
    }
    {
        TCustomFFmpeg e;
        e.SetOption("f", "no-such-format");
        try {
            e.OpenInputFile(in);
            ADD_FAILURE() << "no exception";
        } catch (const FFmpegException& ex) {
            EXPECT_STREQ(ex.what(), "Unknown input format: \"no-such-format\"");
        }
    }
    struct Case {
        Options options;
        std::string output;
        std::string error;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {{}, "clip.xyz", "Unable to find a suitable output format for '" + Out("clip.xyz") + "'"},
        {{{"f", "nonesuch"}}, "clip.mkv", "Requested output format 'nonesuch' is not a suitable output format"},
        {{{"vcodec", "mp2"}}, "clip.mkv", "new_video_stream fail: Invalid encoder type 'mp2'"},
        {{{"vcodec", "nonesuch"}}, "clip.mkv", "new_video_stream fail: Unknown encoder 'nonesuch'"},
        {{{"acodec", "mpeg4"}}, "clip.mkv", "new_audio_stream fail: Invalid encoder type 'mpeg4'"},
        {{}, "/nonexistent-dir/clip.mkv", "/nonexistent-dir/clip.mkv: No such file or directory"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        TCustomFFmpeg e;
        ASSERT_TRUE(e.OpenInputFile(in));
        SetOptions(e, c.options);
        const std::string out = c.output[0] == '/' ? c.output : Out(c.output);
        EXPECT_EQ(e.OpenOutputFile(out, false), -1);
        EXPECT_EQ(e.LastErrorText(), c.error);
        EXPECT_EQ(e.OutputFileCount(), 0);
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST_F(TranscodeTest, SetupFailuresRaiseTheirTexts) {
    const std::string in = Fixture("h264-aac.mkv");
    struct Case {
        Options options;
        std::string error;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {{{"vcodec", "copy"}, {"acodec", "copy"}, {"map", "0.0"}}, "Number of stream maps must match number of output streams"},
        {{{"vcodec", "copy"}, {"acodec", "copy"}, {"map", "0.0"}, {"map", "0.5"}}, "Could not find input stream #0.5"},
        {{{"vcodec", "copy"}, {"acodec", "copy"}, {"map", "0.1"}, {"map", "0.0"}}, "Codec type mismatch for mapping #0.1 (Audio) -> #0.0 (Video)"},
        {{{"vcodec", "copy"}, {"acodec", "copy"}, {"vol", "512"}}, "-acodec copy and -vol are incompatible (frames are not decoded)"},
        {{{"vcodec", "copy"}, {"acodec", "copy"}, {"map_meta_data", "3:0"}}, "Invalid output file index 3 map_meta_data(3,0)"},
        {{{"vcodec", "copy"}, {"acodec", "copy"}, {"map_meta_data", "0:4"}}, "Invalid input file index 4 map_meta_data(0,4)"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        TCustomFFmpeg e;
        ASSERT_TRUE(e.OpenInputFile(in));
        SetOptions(e, c.options);
        const std::string out = Out("setup.mkv");
        ASSERT_GT(e.OpenOutputFile(out, false), 0) << e.LastErrorText();
        try {
            e.Transcode();
            ADD_FAILURE() << "no exception";
        } catch (const FFmpegException& ex) {
            EXPECT_EQ(std::string(ex.what()), c.error);
        }
        e.ReleaseAll();
        EXPECT_FALSE(fs::exists(out)) << "empty output left behind";
    }
}

TEST_F(TranscodeTest, StreamKindsOfTheOutput) {
    const std::string in = Fixture("h264-aac.mkv");
    { // `an` drops audio although the format has a default audio codec
        TCustomFFmpeg e;
        ASSERT_TRUE(e.OpenInputFile(in));
        e.SetOption("an", "1");
        ASSERT_EQ(e.OpenOutputFile(Out("an.mp4"), false), 1);
        EXPECT_EQ(e.OutputContext(0)->nb_streams, 1u);
        EXPECT_EQ(e.OutputContext(0)->streams[0]->codecpar->codec_type, AVMEDIA_TYPE_VIDEO);
        e.ReleaseAll();
    }
    { // without vcodec an MP4 gets the format's default video encoder
        TCustomFFmpeg e;
        ASSERT_TRUE(e.OpenInputFile(in));
        ASSERT_EQ(e.OpenOutputFile(Out("default.mp4"), false), 1);
        ASSERT_EQ(e.OutputContext(0)->nb_streams, 2u);
        EXPECT_NE(e.OutputContext(0)->streams[0]->codecpar->codec_type, AVMEDIA_TYPE_UNKNOWN);
        e.ReleaseAll();
    }
    { // an input without audio gives an output without audio
        const std::string silent = Out("silent.mkv");
        MediaSpec spec = StandardSpec("h264-aac.mkv");
        spec.audio.clear();
        MakeMedia(silent, spec);
        TCustomFFmpeg e;
        Convert(e, {silent}, {}, Out("silent-out.mp4"), kCopy);
        EXPECT_EQ(ProbeMedia(Out("silent-out.mp4")).Count(StreamKind::Audio), 0);
    }
}

// A song's cover picture is not the video of a conversion to a video format: the output is the
// format's container with sound only. A clip with real video and a cover keeps its video.
TEST_F(TranscodeTest, CoverArtIsNotTheVideo) {
    const Options toVideo = {{"vcodec", "libx264"}, {"acodec", "aac"}};
    for (const char* cover : {"png", "mjpeg"}) {
        SCOPED_TRACE(cover);
        MediaSpec song;
        song.container = "mp3";
        song.videoCodec.clear();
        song.audio = {AudioTrackSpec{.codec = "libmp3lame"}};
        song.coverArt = cover;
        const std::string in = Out(std::string("song-") + cover + ".mp3");
        MakeMedia(in, song);
        const std::string out = Out(std::string("song-") + cover + ".mp4");
        Convert({in}, {}, out, toVideo);
        const ProbeResult r = ProbeMedia(out);
        EXPECT_EQ(r.Count(StreamKind::Video), 0);
        ASSERT_EQ(r.Count(StreamKind::Audio), 1);
        EXPECT_EQ(r.Find(StreamKind::Audio)->codec, "aac");
        EXPECT_NEAR(r.Find(StreamKind::Audio)->decodedSamples / 44100.0, 2.0, 0.1);
    }

    MediaSpec clip = StandardSpec("h264-aac.mp4");
    clip.coverArt = "png";
    const std::string in = Out("clip-cover.mp4");
    MakeMedia(in, clip);
    const std::string out = Out("clip-cover-out.mp4");
    Convert({in}, {}, out, toVideo);
    const std::vector<int> numbers = ReadFrameNumbers(out);
    ASSERT_EQ(numbers.size(), 50u);
    EXPECT_EQ(numbers.front(), 0);
    EXPECT_EQ(numbers.back(), 49);
}

} // namespace

namespace {

TEST_F(TranscodeTest, NamesInEveryFormReachTheLibraries) {
    // Plain UTF-8 names and the "unicode:utf8:" form both open and create files.
    const std::string in = Out("Überraschung – клип.mkv");
    fs::copy_file(Fixture("h264-aac.mkv"), in, fs::copy_options::overwrite_existing);
    struct Case {
        std::string input, output, written;
    };
    for (const Case& c :
         {Case{in, Out("日本語.mp4"), Out("日本語.mp4")},
          Case{"unicode:utf8:" + in, "unicode:utf8:" + Out("ñandú.mp4"), Out("ñandú.mp4")}}) {
        SCOPED_TRACE(c.output);
        TCustomFFmpeg e;
        Convert(e, {c.input}, {}, c.output, kCopy);
        EXPECT_EQ(ProbeMedia(c.written).streams.size(), 2u);
    }
    TCustomFFmpeg e;
    const std::string missing = Out("nowhere – ø.mkv");
    EXPECT_FALSE(e.OpenInputFile("unicode:utf8:" + missing));
    EXPECT_EQ(e.LastErrorText(), missing + ": No such file or directory");
}

TEST_F(TranscodeTest, CopyStartsAtAKeyFrameUnlessAskedOtherwise) {
    // Cut a file so that it begins mid-GOP, then copy it with and without copyinkf.
    const std::string in = Fixture("h264-aac.mkv");
    const std::string cut = Out("midgop.ts");
    {
        TCustomFFmpeg e;
        Convert(
            e, {in}, {}, cut,
            {{"vcodec", "copy"}, {"an", "1"}, {"ss", "0.2"}, {"copyinkf", "1"}, {"f", "mpegts"}});
    }
    const ProbeResult src = ProbeMedia(cut, ProbeDepth::Packets);
    const int64_t all = src.Find(StreamKind::Video)->packets;
    struct Case {
        const char* copyinkf;
        bool keepsAll;
    };
    for (const Case& c : {Case{"0", false}, Case{"1", true}}) {
        SCOPED_TRACE(c.copyinkf);
        TCustomFFmpeg e;
        const std::string out = Out(std::string("inkf") + c.copyinkf + ".mkv");
        Convert(e, {cut}, {}, out, {{"vcodec", "copy"}, {"copyinkf", c.copyinkf}});
        const int64_t written =
            ProbeMedia(out, ProbeDepth::Packets).Find(StreamKind::Video)->packets;
        if (c.keepsAll) {
            EXPECT_EQ(written, all);
        } else {
            EXPECT_LT(written, all);
            EXPECT_GT(written, 0);
        }
    }
}

} // namespace

namespace {

TEST_F(TranscodeTest, DvOutputsOfBothSystems) {
    // DV fixes the sampling per system and needs every frame's sound: a Matroska source whose
    // AAC sound starts after its pictures must still give a complete file in both systems.
    MediaSpec spec = StandardSpec("h264-aac.mkv");
    spec.width = 720;
    spec.height = 576;
    const std::string in = Out("sd.mkv");
    MakeMedia(in, spec);
    struct Case {
        const char* size;
        const char* rate;
        const char* pixelFormat;
    };
    for (const Case& c : {Case{"720x480", "29.97", "yuv411p"}, Case{"720x576", "25", "yuv420p"}}) {
        SCOPED_TRACE(c.size);
        const std::string out = Out(std::string(c.size) + ".dv");
        TCustomFFmpeg e;
        Convert(e, {in}, {}, out,
                {{"vcodec", "dvvideo"},
                 {"s", c.size},
                 {"r", c.rate},
                 {"acodec", "pcm_s16le"},
                 {"ar", "48000"}});
        ProbeResult r = ProbeMedia(out);
        const StreamProbe* v = r.Find(StreamKind::Video);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->codec, "dvvideo");
        EXPECT_EQ(v->pixelFormat, c.pixelFormat);
        EXPECT_EQ(v->decodeErrors, 0);
        EXPECT_NEAR(r.durationS, 2.0, 0.2);
        EXPECT_EQ(r.Count(StreamKind::Audio), 1);
    }
}

} // namespace
