// The media probe against generated files, checked against what the libraries report directly.
#include "TAVProbe.h"

#include "FFmpegException.h"
#include "Fixtures.h"
#include "MyUtils.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <vector>

using namespace quovo;
using namespace quovo::fixtures;
namespace fs = std::filesystem;

namespace {

struct LogLine {
    TLogLevel level;
    std::string text;
};

class AVProbeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FFLogger()->SetTriggerEventInMainThread(false);
        ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    }
    void SetUp() override {
        FFLogger()->SetLogLevel(llDebug);
        FFLogger()->SetOnLog(
            [this](TFFBaseComponent* sender, uint32_t, TLogLevel level, const std::string& msg) {
                if (sender == &probe_) {
                    log_.push_back({level, msg});
                }
            });
    }
    void TearDown() override {
        FFLogger()->SetOnLog(nullptr);
        FFLogger()->SetLogLevel(llWarning);
    }
    // The level the probe logged `text` at, or -1.
    int LoggedAt(const std::string& text) const {
        for (const LogLine& l : log_) {
            if (l.text == text) {
                return l.level;
            }
        }
        return -1;
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);) {
            lines.push_back(l);
        }
        return lines;
    }
    static std::string Generated(const std::string& name, const MediaSpec& spec) {
        const std::string path = (fs::path(FixtureDir()) / ("probe-" + name)).string();
        if (!fs::exists(path)) {
            MakeMedia(path, spec);
        }
        return path;
    }

    TAVProbe probe_;
    std::vector<LogLine> log_;
};

TEST_F(AVProbeTest, CountsIndexesAndRecordsMatchTheFile) {
    for (const char* name :
         {"h264-aac.mp4", "mpeg4-mp3.avi", "two-audio.mkv", "subtitles.mkv", "mpeg2-mp2.ts"}) {
        SCOPED_TRACE(name);
        const std::string path = Fixture(name);
        const ProbeResult expected = ProbeMedia(path, ProbeDepth::Packets);
        ASSERT_TRUE(probe_.LoadFile(path)) << probe_.LastError();
        EXPECT_TRUE(probe_.OwnsContext());
        EXPECT_EQ(probe_.StreamCount(), static_cast<int>(expected.streams.size()));
        EXPECT_EQ(probe_.VideoStreamCount(), expected.Count(StreamKind::Video));
        EXPECT_EQ(probe_.AudioStreamCount(), expected.Count(StreamKind::Audio));
        EXPECT_EQ(probe_.SubtitleStreamCount(), expected.Count(StreamKind::Subtitle));
        EXPECT_EQ(probe_.VideoStreamIndex(), expected.Find(StreamKind::Video)->index);
        EXPECT_EQ(probe_.AudioStreamIndex(), expected.Find(StreamKind::Audio)->index);
        const StreamProbe* sub = expected.Find(StreamKind::Subtitle);
        EXPECT_EQ(probe_.SubtitleStreamIndex(), sub ? sub->index : -1);
        EXPECT_EQ(probe_.FileSize(), static_cast<int64_t>(fs::file_size(path)));
        EXPECT_EQ(probe_.MainStreamIndex(), probe_.VideoStreamIndex());

        const StreamProbe& v = *expected.Find(StreamKind::Video);
        const TVideoStreamInfo vi = probe_.GetVideoStreamInfo(-1);
        EXPECT_EQ(vi.Width, v.width);
        EXPECT_EQ(vi.Height, v.height);
        EXPECT_EQ(vi.Codec.substr(0, v.codec.size()), v.codec);
        EXPECT_EQ(static_cast<double>(vi.FrameRateNum) / vi.FrameRateDen, av_q2d(v.frameRate));
        if (v.durationS > 0) {
            EXPECT_NEAR(vi.DurationUS / 1e6, v.durationS, 0.001);
        } else {
            EXPECT_EQ(vi.DurationUS, -1); // Matroska keeps no stream durations
            EXPECT_EQ(vi.Duration, AV_NOPTS_VALUE);
        }
        const StreamProbe& a = *expected.Find(StreamKind::Audio);
        const TAudioStreamInfo ai = probe_.GetAudioStreamInfo(-1);
        EXPECT_EQ(ai.Channels, a.channels);
        EXPECT_EQ(ai.SampleRate, a.sampleRate);
        EXPECT_EQ(ai.Language, a.language);
        EXPECT_EQ(ai.SampleFormat, av_get_sample_fmt(a.sampleFormat.c_str()));
        EXPECT_TRUE(probe_.IsVideoStream(v.index));
        EXPECT_FALSE(probe_.IsAudioStream(v.index));
        EXPECT_TRUE(probe_.IsAudioStream(a.index));

        const TFileStreamInfo fi = probe_.GetFileStreamInfo();
        EXPECT_NEAR(fi.Duration / 1e6, expected.durationS, 0.05);
        probe_.Close();
        EXPECT_EQ(probe_.StreamCount(), -1);
        EXPECT_EQ(probe_.AudioStreamIndex(), -1);
        EXPECT_EQ(probe_.FileSize(), -1);
    }
}

TEST_F(AVProbeTest, FileRecordCarriesTheTags) {
    MediaSpec tagged;
    tagged.container = "mp4";
    tagged.durationS = 0.5;
    tagged.metadata = {{"title", "A Title"}, {"album", "An Album"},   {"comment", "A Comment"},
                       {"genre", "Test"},    {"copyright", "Nobody"}, {"artist", "Someone"},
                       {"date", "2024"},     {"track", "7"}};
    const std::string path = Generated("tagged.mp4", tagged);
    ASSERT_TRUE(probe_.LoadFile(path));
    const TFileStreamInfo fi = probe_.GetFileStreamInfo();
    EXPECT_EQ(fi.Title, "A Title");
    EXPECT_EQ(fi.Album, "An Album");
    EXPECT_EQ(fi.Comment, "A Comment");
    EXPECT_EQ(fi.Genre, "Test");
    EXPECT_EQ(fi.Copyright, "Nobody");
    EXPECT_EQ(fi.Author, ""); // the key is exact: the file says "artist"
    EXPECT_EQ(fi.Year, 2024);
    EXPECT_EQ(fi.Track, 7);
    EXPECT_NEAR(fi.Duration / 1e6, ProbeMedia(path, ProbeDepth::Packets).durationS, 0.001);
    EXPECT_EQ(probe_.FormatName(), "mov,mp4,m4a,3gp,3g2,mj2");
    EXPECT_EQ(probe_.FileName(), path);
    // Matroska keeps the tags as written, in capitals: not the keys the record reads.
    ASSERT_TRUE(probe_.LoadFile(Fixture("chapters.mkv")));
    EXPECT_EQ(probe_.GetFileStreamInfo().Title, "Quovo Test Clip");
    EXPECT_EQ(probe_.GetFileStreamInfo().Album, "");
}

TEST_F(AVProbeTest, RequestsThatCannotBeAnsweredLeaveUnsetRecordsAndSayWhy) {
    // Without a file.
    EXPECT_EQ(probe_.GetVideoStreamInfo(-1).Width, -1);
    EXPECT_EQ(probe_.LastError(), "file not loaded.");
    EXPECT_EQ(LoggedAt("file not loaded."), llWarning);
    EXPECT_EQ(probe_.InfoText(), "");
    EXPECT_FALSE(probe_.IsAudioStream(0));
    EXPECT_EQ(probe_.GetFileStreamInfo().Duration, -1);

    MediaSpec silent;
    silent.container = "matroska";
    silent.audio.clear();
    silent.durationS = 0.5;
    ASSERT_TRUE(probe_.LoadFile(Generated("silent.mkv", silent)));
    struct Case {
        std::function<void()> request;
        std::string message;
    };
    const int n = probe_.StreamCount();
    const auto unsetAudio = [](const TAudioStreamInfo& a) {
        return a.Channels == -1 && a.SampleRate == -1 && a.Codec.empty() && a.DurationUS == -1;
    };
    const auto unsetVideo = [](const TVideoStreamInfo& v) {
        return v.Width == -1 && v.DisplayAspect == -1.0f && v.Codec.empty() && v.BitRate == -1;
    };
    // clang-format off
    const Case cases[] = {
        {[&] { EXPECT_TRUE(unsetAudio(probe_.GetAudioStreamInfo(-1))); }, "no audio stream."},
        {[&] { EXPECT_TRUE(unsetAudio(probe_.GetAudioStreamInfo(0))); }, "stream #0 is not audio stream."},
        {[&] { EXPECT_TRUE(unsetVideo(probe_.GetVideoStreamInfo(n))); }, "stream index #" + std::to_string(n) + " is invalid."},
        {[&] { EXPECT_TRUE(unsetVideo(probe_.GetVideoStreamInfo(-5))); }, "stream index #-5 is invalid."},
        {[&] { EXPECT_FALSE(probe_.IsVideoStream(n)); }, "stream index #" + std::to_string(n) + " is invalid."},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        log_.clear();
        c.request();
        EXPECT_EQ(probe_.LastError(), c.message);
        EXPECT_EQ(LoggedAt(c.message), llError);
    }
    EXPECT_EQ(probe_.MainStreamIndex(), 0);
}

TEST_F(AVProbeTest, LoadFailuresKeepTheReason) {
    EXPECT_FALSE(probe_.LoadFile(Fixture("h264-aac.mkv"), "nosuchformat"));
    EXPECT_EQ(probe_.LastError(), "Unknown input format: nosuchformat");
    const std::string missing = FixtureDir() + "/no-such-file.mkv";
    EXPECT_FALSE(probe_.LoadFile(missing));
    EXPECT_EQ(probe_.LastError(), missing + ": No such file or directory");
    EXPECT_EQ(LoggedAt(probe_.LastError()), llError);
    EXPECT_FALSE(probe_.LoadFile(Fixture("random.bin")));
    EXPECT_NE(probe_.LastError(), "");
    EXPECT_EQ(probe_.StreamCount(), -1);
    EXPECT_EQ(probe_.Context(), nullptr);
}

TEST_F(AVProbeTest, LoadFileRefusesWithoutTheLibraries) {
    FFLoader().UnloadLibraries(ConverterLibraryMask);
    EXPECT_THROW(
        {
            try {
                probe_.LoadFile(Fixture("h264-aac.mkv"));
            } catch (const FFmpegException& e) {
                EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
                throw;
            }
        },
        FFmpegException);
    ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask));
}

TEST_F(AVProbeTest, AttachedProbeLeavesTheContextToItsOwnerAndReadsSizeFromDisk) {
    const std::string path = Fixture("h264-aac.mkv");
    AVFormatContext* ic = nullptr;
    ASSERT_EQ(avformat_open_input(&ic, path.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(ic, nullptr), 0);
    // A container without byte I/O of its own (as a custom reader may be) reports no size.
    AVIOContext* pb = ic->pb;
    ic->pb = nullptr;
    probe_.Attach(ic);
    ic->pb = pb;
    EXPECT_FALSE(probe_.OwnsContext());
    EXPECT_EQ(probe_.FileSize(), static_cast<int64_t>(fs::file_size(path)));
    EXPECT_EQ(probe_.VideoStreamCount(), 1);
    probe_.Close();
    EXPECT_EQ(probe_.Context(), nullptr);
    // Still open: the probe did not close it.
    EXPECT_EQ(ic->nb_streams, 2u);
    AVPacket* pkt = av_packet_alloc();
    EXPECT_GE(av_read_frame(ic, pkt), 0);
    av_packet_free(&pkt);
    avformat_close_input(&ic);
}

TEST_F(AVProbeTest, InfoTextLinesAndNumberForms) {
    struct Case {
        const char* fixture;
        std::vector<std::string> contains;
    };
    // clang-format off
    const Case cases[] = {
        {"h264-aac.mkv", {", 25 fps", ", 25 tbr", ", 1k tbn"}},
        {"mpeg4-mp3.avi", {", 29.97 fps", ", 29.97 tbr"}},
        {"mpeg2-mp2.ts", {", 90k tbn", "Stream #0[0x100], 1/90000: ", "(eng)", "Program 1 FFmpeg@Service01", "  Metadata:", "    service_name    : Service01"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const std::string path = Fixture(c.fixture);
        ASSERT_TRUE(probe_.LoadFile(path));
        const std::string text = probe_.InfoText();
        const auto lines = Lines(text);
        ASSERT_GE(lines.size(), 6u);
        EXPECT_EQ(lines[0], "File Name: " + path);
        EXPECT_EQ(lines[1], "Format Name: " + probe_.FormatName());
        EXPECT_EQ(lines[2].rfind("Format Long Name: ", 0), 0u);
        EXPECT_EQ(lines[3], "File Size: " + FormatFileSize(probe_.FileSize()));
        EXPECT_EQ(lines[4].rfind("Duration: 00:00:0", 0), 0u) << lines[4];
        for (const std::string& s : c.contains) {
            EXPECT_NE(text.find(s), std::string::npos) << s << "\n" << text;
        }
        int streamLines = 0;
        for (const std::string& l : lines) {
            if (l.rfind("Stream #", 0) == 0) {
                ++streamLines;
                EXPECT_NE(l.find(", Duration: "), std::string::npos) << l;
            }
        }
        EXPECT_EQ(streamLines, probe_.StreamCount());
    }
}

TEST_F(AVProbeTest, InfoTextMetadataBlocks) {
    ASSERT_TRUE(probe_.LoadFile(Fixture("chapters.mkv")));
    const auto lines = Lines(probe_.InfoText());
    const auto at = std::find(lines.begin(), lines.end(), "Metadata:");
    ASSERT_NE(at, lines.end());
    EXPECT_NE(std::find(at, lines.end(), "  title           : Quovo Test Clip"), lines.end());
    EXPECT_NE(std::find(at, lines.end(), "  ARTIST          : Quovo Fixtures"), lines.end());
    // Stream blocks are indented under their stream line.
    EXPECT_NE(std::find(at, lines.end(), "  Metadata:"), lines.end());

    // A stream whose only tag is its language shows no block; the TS audio stream is one.
    ASSERT_TRUE(probe_.LoadFile(Fixture("mpeg2-mp2.ts")));
    const auto ts = Lines(probe_.InfoText());
    for (size_t i = 0; i + 1 < ts.size(); ++i) {
        if (ts[i].find("(eng)") != std::string::npos) {
            EXPECT_NE(ts[i + 1], "  Metadata:") << ts[i];
        }
    }
}

TEST_F(AVProbeTest, UnknownDurationAndStart) {
    MediaSpec raw;
    raw.container = "h264";
    raw.audio.clear();
    raw.durationS = 0.5;
    ASSERT_TRUE(probe_.LoadFile(Generated("raw.h264", raw)));
    const std::string text = probe_.InfoText();
    EXPECT_NE(text.find("\nDuration: N/A\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\nStartTime: "), std::string::npos) << text;
    EXPECT_NE(text.find(", Duration: N/A"), std::string::npos) << text;
    EXPECT_EQ(probe_.GetFileStreamInfo().Duration, -1);
}

} // namespace
