// Presets and targets: lookup, preset files and their messages, the built-in x264 presets on a
// real encoder, and the disc and camcorder targets checked on the files they produce.
#include "TCustomFFmpeg.h"

#include "AvCheck.h"
#include "BuiltinPresets.h"
#include "EngineTest.h"
#include "Fixtures.h"
#include "LogCapture.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

using namespace quovo;
using namespace quovo::fixtures;
using namespace quovo::testing_support;
namespace fs = std::filesystem;

namespace {

int64_t IntOption(const TCustomFFmpeg& e, AVMediaType kind, const char* name) {
    int64_t v = 0;
    EXPECT_GE(av_opt_get_int(e.GenericOptions().Codec(kind), name, 0, &v), 0) << name;
    return v;
}

std::string Refusal(const std::function<void()>& f) {
    try {
        f();
    } catch (const FFmpegException& ex) {
        return ex.what();
    }
    return "(no exception)";
}

struct VideoFacts {
    std::string codec;
    int profile = FF_PROFILE_UNKNOWN;
    int level = FF_LEVEL_UNKNOWN;
    int videoDelay = 0;
    double bitRate = 0; // from the packets
    int width = 0, height = 0;
    AVRational rate{0, 1};
};

VideoFacts ReadVideoFacts(const std::string& path) {
    AVFormatContext* raw = nullptr;
    AvCheck(avformat_open_input(&raw, path.c_str(), nullptr, nullptr), "open " + path);
    AvInputContextPtr ic(raw);
    AvCheck(avformat_find_stream_info(ic.get(), nullptr), "stream info");
    const int index =
        AvCheck(av_find_best_stream(ic.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0), "video");
    const AVStream* st = ic->streams[index];
    VideoFacts f;
    f.codec = avcodec_get_name(st->codecpar->codec_id);
    f.profile = st->codecpar->profile;
    f.level = st->codecpar->level;
    f.videoDelay = st->codecpar->video_delay;
    f.width = st->codecpar->width;
    f.height = st->codecpar->height;
    f.rate = st->avg_frame_rate.num ? st->avg_frame_rate : st->r_frame_rate;
    AvPacketPtr pkt = MakePacket();
    int64_t bytes = 0;
    int64_t frames = 0;
    while (av_read_frame(ic.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == index) {
            bytes += pkt->size;
            ++frames;
        }
        av_packet_unref(pkt.get());
    }
    if (frames > 0 && f.rate.num > 0) {
        f.bitRate = static_cast<double>(bytes) * 8 / (static_cast<double>(frames) / av_q2d(f.rate));
    }
    return f;
}

class PresetsTest : public EngineTest {
protected:
    std::string File(const std::string& name, const std::string& text) const {
        const std::string path = Out(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
};

TEST_F(PresetsTest, LookupFilesAndRefusals) {
    { // names compare without case
        TCustomFFmpeg e;
        e.SetOption("vpre", "libx264-PSP");
        EXPECT_EQ(IntOption(e, AVMEDIA_TYPE_VIDEO, "b"), 1250000);
        EXPECT_EQ(IntOption(e, AVMEDIA_TYPE_VIDEO, "maxrate"), 1500000);
        EXPECT_EQ(IntOption(e, AVMEDIA_TYPE_VIDEO, "g"), 250);
        EXPECT_EQ(IntOption(e, AVMEDIA_TYPE_VIDEO, "level"), 30);
    }
    { // a short name finds the row of the chosen video codec
        TCustomFFmpeg e;
        e.SetOption("vcodec", "libx264");
        e.SetOption("vpre", "hq");
        EXPECT_EQ(IntOption(e, AVMEDIA_TYPE_VIDEO, "refs"), 4);
        EXPECT_EQ(IntOption(e, AVMEDIA_TYPE_VIDEO, "subq"), 8);
    }
    const std::string bad =
        File("bad.ffpreset", "g=77\r\n\r\n  qmin = 3 \nno equals sign\nqmax=40\n");
    const std::string unknown = File("unknown.ffpreset", "qmin=5\nnot_an_option=5\n");
    const std::string codecs = File("codecs.ffpreset", "vcodec=mpeg4\nACODEC=mp2\nb=300000");
    struct Case {
        std::string option, value, error;
    };
    const std::vector<Case> refused = {
        {"vpre", "hq", "Preset \"hq\" not found"},
        {"fpre", "libx264-hq", "Preset \"libx264-hq\" not found"},
        {"apre", "libx264-hq-missing", "Preset \"libx264-hq-missing\" not found"},
        {"fpre", bad, bad + ": Invalid syntax: \"no equals sign\""},
        {"vpre", unknown,
         unknown + ": Invalid option or argument: \"not_an_option=5\", parsed as "
                   "\"not_an_option\" = \"5\""},
        {"fpre", File("noval.ffpreset", "g=\n"),
         Out("noval.ffpreset") + ": Invalid syntax: \"g=\""},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.value);
        TCustomFFmpeg e;
        EXPECT_EQ(Refusal([&] { e.SetOption(c.option, c.value); }), c.error);
        if (c.value == bad) { // lines before the refused one stay applied
            EXPECT_EQ(IntOption(e, AVMEDIA_TYPE_VIDEO, "g"), 77);
            EXPECT_EQ(IntOption(e, AVMEDIA_TYPE_VIDEO, "qmin"), 3);
            EXPECT_NE(IntOption(e, AVMEDIA_TYPE_VIDEO, "qmax"), 40);
        }
    }
    { // codec lines set the codecs as their options do; an empty file changes nothing
        TCustomFFmpeg e;
        e.SetOption("fpre", codecs);
        EXPECT_EQ(e.Options().videoCodecName, "mpeg4");
        EXPECT_EQ(e.Options().audioCodecName, "mp2");
        EXPECT_EQ(IntOption(e, AVMEDIA_TYPE_VIDEO, "b"), 300000);
        EXPECT_NO_THROW(e.SetOption("fpre", File("empty.ffpreset", "")));
    }
}

TEST_F(PresetsTest, EveryBuiltinPresetEncodes) {
    MediaSpec spec = StandardSpec("h264-aac.mkv");
    spec.audio.clear();
    spec.width = 160;
    spec.height = 120;
    spec.durationS = 0.6;
    const std::string in = Out("small.mkv");
    MakeMedia(in, spec);
    const int64_t frames = ProbeMedia(in).Find(StreamKind::Video)->decodedFrames;
    ASSERT_GT(BuiltinPresets().size(), 0u);
    std::vector<std::string> names;
    for (const TOptionsPreset& p : BuiltinPresets()) {
        names.push_back(p.name);
    }
    ASSERT_EQ(names.size(), 40u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        LogCapture log(llWarning);
        const std::string out = Out(name + ".mkv");
        // The profile rows restrict a speed preset, as x264 demands: alone they leave the
        // encoder on settings it refuses.
        Options options = {{"vcodec", "libx264"}, {"vpre", name}};
        const bool profileRow = name == "libx264-baseline" || name == "libx264-main" ||
                                name == "libx264-ipod320" || name == "libx264-ipod640";
        if (profileRow) {
            options.insert(options.begin() + 1, {"vpre", "libx264-medium"});
        }
        try {
            Convert({in}, {}, out, options);
        } catch (const FFmpegException& ex) {
            ADD_FAILURE() << ex.what() << "\n" << log.All();
            continue;
        }
        EXPECT_TRUE(log.Matching("has no option").empty()) << log.All();
        const ProbeResult r = ProbeMedia(out);
        ASSERT_NE(r.Find(StreamKind::Video), nullptr);
        EXPECT_EQ(r.Find(StreamKind::Video)->codec, "h264");
        EXPECT_EQ(r.Find(StreamKind::Video)->decodedFrames, frames);
        EXPECT_EQ(r.Find(StreamKind::Video)->decodeErrors, 0);
        if (profileRow) {
            const int profile = ReadVideoFacts(out).profile;
            if (name == "libx264-main") {
                EXPECT_EQ(profile, FF_PROFILE_H264_MAIN);
            } else {
                EXPECT_TRUE(profile == FF_PROFILE_H264_BASELINE ||
                            profile == FF_PROFILE_H264_CONSTRAINED_BASELINE)
                    << profile;
            }
        }
    }
}

TEST_F(PresetsTest, DevicePresetsShapeTheStream) {
    MediaSpec spec = StandardSpec("h264-aac.mkv");
    spec.audio.clear();
    spec.durationS = 3;
    spec.grain = 10;
    const std::string in = Out("grain.mkv");
    MakeMedia(in, spec);
    struct Case {
        const char* preset;
        std::vector<int> profiles;
        int level; // FF_LEVEL_UNKNOWN: the encoder's choice
        bool bFrames;
        double minRate, maxRate; // measured over the clip, bit/s
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"libx264-psp", {FF_PROFILE_H264_MAIN}, 30, true, 600000, 1600000},
        {"libx264-ipod", {FF_PROFILE_H264_BASELINE, FF_PROFILE_H264_CONSTRAINED_BASELINE}, 30, false, 500000, 1300000},
        {"libx264-ps3", {FF_PROFILE_H264_MAIN}, 30, true, 0, 3500000},
        {"libx264-mp4", {FF_PROFILE_H264_MAIN}, 30, true, 600000, 1600000},
        {"libx264-hq", {FF_PROFILE_H264_HIGH}, FF_LEVEL_UNKNOWN, true, 0, 1e9},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preset);
        const std::string out = Out(std::string(c.preset) + ".mp4");
        Convert({in}, {}, out, {{"vcodec", "libx264"}, {"vpre", c.preset}});
        const VideoFacts f = ReadVideoFacts(out);
        EXPECT_EQ(f.codec, "h264");
        EXPECT_NE(std::find(c.profiles.begin(), c.profiles.end(), f.profile), c.profiles.end())
            << f.profile;
        if (c.level != FF_LEVEL_UNKNOWN) {
            EXPECT_EQ(f.level, c.level);
        }
        EXPECT_EQ(f.videoDelay > 0, c.bFrames);
        EXPECT_GE(f.bitRate, c.minRate);
        EXPECT_LE(f.bitRate, c.maxRate);
        EXPECT_EQ(ProbeMedia(out).Find(StreamKind::Video)->decodeErrors, 0);
    }
}

TEST_F(PresetsTest, CodecNamesOfOldBuildsFindTodaysEncoders) {
    EXPECT_EQ(TCustomFFmpeg::CurrentCodecName("libfaac", TCodecDirection::Encoder), "aac");
    EXPECT_EQ(TCustomFFmpeg::CurrentCodecName("libflac", TCodecDirection::Encoder), "flac");
    EXPECT_EQ(TCustomFFmpeg::CurrentCodecName("libx264", TCodecDirection::Encoder), "libx264");
    EXPECT_EQ(TCustomFFmpeg::CurrentCodecName("nonesuch", TCodecDirection::Encoder), "nonesuch");
    const std::string in = Fixture("h264-aac.mkv");
    Convert({in}, {}, Out("faac.m4a"), {{"vn", "1"}, {"acodec", "libfaac"}});
    EXPECT_EQ(ProbeMedia(Out("faac.m4a")).Find(StreamKind::Audio)->codec, "aac");
    Convert({in}, {}, Out("flac.mka"), {{"vn", "1"}, {"acodec", "libflac"}});
    EXPECT_EQ(ProbeMedia(Out("flac.mka")).Find(StreamKind::Audio)->codec, "flac");
}

// The settings x264 wrote into its stream ("cabac=1 ref=3 ..."), read from the file's bytes.
std::string X264Settings(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = bytes.find("options: ");
    if (at == std::string::npos) {
        return "";
    }
    const size_t start = at + 9;
    return " " + bytes.substr(start, bytes.find('\0', start) - start) + " ";
}

// Codec options of the old library that are the encoder's own today reach it when set
// generically, under their own or their translated names; a name nobody knows changes nothing.
TEST_F(PresetsTest, GenericOptionsReachTheEncodersOwnOptions) {
    MediaSpec spec = StandardSpec("h264-aac.mkv");
    spec.audio.clear();
    spec.width = 160;
    spec.height = 120;
    spec.durationS = 0.4;
    const std::string in = Out("small.mkv");
    MakeMedia(in, spec);
    const Options encoder = {{"vcodec", "libx264"}};
    Convert({in}, {}, Out("plain.mkv"), encoder);
    const std::string plain = X264Settings(Out("plain.mkv"));
    ASSERT_FALSE(plain.empty());

    const struct {
        const char* name;
        const char* value;
        const char* setting; // as x264 reports it
    } cases[] = {
        {"crf", "20", " crf=20.0 "},
        {"qcomp", "0.7", " qcomp=0.70 "},
        {"qmin", "5", " qpmin=5 "},
        {"qmax", "40", " qpmax=40 "},
        {"refs", "2", " ref=2 "},
        {"bf", "2", " bframes=2 "},
        {"g", "50", " keyint=50 "},
        {"me_range", "12", " me_range=12 "},
        {"trellis", "2", " trellis=2 "},
        {"coder", "vlc", " cabac=0 "},
        {"subq", "5", " subme=5 "},
        {"partitions", "+parti4x4+partp8x8", " analyse=0x3:0x11 "},
        {"me_method", "umh", " me=umh "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(plain.find(c.setting), std::string::npos) << "already the default: " << plain;
        const std::string out = Out(std::string(c.name) + ".mkv");
        Options options = {{c.name, c.value}};
        options.insert(options.end(), encoder.begin(), encoder.end());
        Convert({in}, {}, out, options);
        EXPECT_NE(X264Settings(out).find(c.setting), std::string::npos) << X264Settings(out);
    }

    LogCapture log(llWarning);
    const std::string out = Out("unknown.mkv");
    Convert({in}, {}, out, {{"vcodec", "libx264"}, {"nosuch_option", "3"}});
    EXPECT_EQ(X264Settings(out), plain);
    EXPECT_TRUE(log.Matching("nosuch_option").empty()) << log.All();
}

TEST_F(PresetsTest, TargetSettingsAndNorms) {
    struct Case {
        std::string value;
        bool openInput; // the 25 fps test clip
        int width, height;
        AVRational rate;
        std::string log; // a line expected in the log
    };
    const std::vector<Case> cases = {
        {"pal-dvd", false, 720, 576, {25, 1}, "Assuming 16:9 for aspect ratio"},
        {"film-vcd", false, 352, 240, {24000, 1001}, "Assuming 4:3 for aspect ratio"},
        {"ntsc-svcd", false, 480, 480, {30000, 1001}, ""},
        {" dvd ", true, 720, 576, {25, 1}, "Assuming PAL for target."},
        {"dv", true, 720, 576, {25, 1}, "Assuming PAL for target."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        LogCapture log;
        TCustomFFmpeg e;
        if (c.openInput) {
            ASSERT_TRUE(e.OpenInputFile(Fixture("h264-aac.mkv")));
        }
        e.SetOption("target", c.value);
        EXPECT_EQ(e.Options().frameWidth, c.width);
        EXPECT_EQ(e.Options().frameHeight, c.height);
        EXPECT_EQ(av_cmp_q(e.Options().frameRate, c.rate), 0);
        if (!c.log.empty()) {
            EXPECT_FALSE(log.Matching(c.log).empty());
        }
    }

    // A 29.97 fps input decides NTSC; a rate of neither norm falls to the default norm.
    const std::string ntsc = Out("ntsc.mkv");
    const std::string odd = Out("odd.mkv");
    MediaSpec spec = StandardSpec("h264-aac.mkv");
    spec.durationS = 0.5;
    spec.frameRate = {30000, 1001};
    MakeMedia(ntsc, spec);
    spec.frameRate = {15, 1};
    MakeMedia(odd, spec);
    {
        LogCapture log;
        TCustomFFmpeg e;
        ASSERT_TRUE(e.OpenInputFile(ntsc));
        e.SetOption("target", "dvd");
        EXPECT_EQ(e.Options().frameHeight, 480);
        EXPECT_EQ(av_cmp_q(e.Options().frameRate, AVRational{30000, 1001}), 0);
        EXPECT_FALSE(log.Matching("Assuming NTSC for target.").empty());
    }
    for (const auto& [defaultNorm, height] : {std::pair{"pal", 576}, std::pair{"ntsc", 480}}) {
        TCustomFFmpeg e;
        ASSERT_TRUE(e.OpenInputFile(odd));
        e.SetTarget("dvd", "auto", defaultNorm);
        EXPECT_EQ(e.Options().frameHeight, height) << defaultNorm;
    }
    { // the typed shortcut with an explicit norm ignores the input
        TCustomFFmpeg e;
        ASSERT_TRUE(e.OpenInputFile(ntsc));
        e.SetTarget("svcd", "pal", "ntsc");
        EXPECT_EQ(e.Options().frameHeight, 576);
        EXPECT_EQ(e.Options().audioSampleRate, 44100);
    }

    TCustomFFmpeg none;
    EXPECT_EQ(Refusal([&] { none.SetOption("target", "vcd"); }), "frame_rate is invalid.");
    EXPECT_EQ(Refusal([&] { none.SetOption("target", "pal-hd"); }), "Unknown target type");
}

TEST_F(PresetsTest, TargetsProduceTheirFormats) {
    // The DV muxer needs each picture's sound before the next picture: a source whose sound and
    // picture start together (MP4 hides the AAC start-up delay in its edit list).
    const std::string in = Fixture("h264-aac.mp4");
    struct Case {
        const char* target;
        const char* output;
        const char* container;
        const char* video;
        int width, height;
        AVRational rate;
        const char* pixelFormat; // "" = any
        const char* audio;
        int sampleRate;
    };
    const std::vector<Case> cases = {
        {"ntsc-vcd", "vcd.mpg", "mpeg", "mpeg1video", 352, 240, {30000, 1001}, "", "mp2", 44100},
        {"pal-svcd", "svcd.mpg", "mpeg", "mpeg2video", 480, 576, {25, 1}, "", "mp2", 44100},
        {"dv", "clip.dv", "dv", "dvvideo", 720, 576, {25, 1}, "yuv420p", "pcm_s16le", 48000},
        {"dv50", "clip50.dv", "dv", "dvvideo", 720, 576, {25, 1}, "yuv422p", "pcm_s16le", 48000},
        {"pal-dvd", "dvd.vob", "mpeg", "mpeg2video", 720, 576, {25, 1}, "", "ac3", 48000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const std::string out = Out(c.output);
        LogCapture log(llWarning);
        try {
            Convert({in}, {}, out, {{"target", c.target}});
        } catch (const FFmpegException& ex) {
            ADD_FAILURE() << ex.what() << "\n" << log.All();
            continue;
        }
        const ProbeResult r = ProbeMedia(out);
        EXPECT_EQ(r.container, c.container);
        const StreamProbe* v = r.Find(StreamKind::Video);
        const StreamProbe* a = r.Find(StreamKind::Audio);
        ASSERT_NE(v, nullptr);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(v->codec, c.video);
        EXPECT_EQ(v->width, c.width);
        EXPECT_EQ(v->height, c.height);
        EXPECT_EQ(av_cmp_q(v->frameRate, c.rate), 0) << v->frameRate.num << "/" << v->frameRate.den;
        if (*c.pixelFormat) {
            EXPECT_EQ(v->pixelFormat, c.pixelFormat);
        }
        EXPECT_EQ(a->codec, c.audio);
        EXPECT_EQ(a->sampleRate, c.sampleRate);
        EXPECT_EQ(a->channels, 2);
        EXPECT_EQ(v->decodeErrors, 0);
        EXPECT_EQ(a->decodeErrors, 0);
    }

    // The DVD program stream goes into a VIDEO_TS folder.
    const fs::path disc = dir_ / "disc";
    fs::remove_all(disc);
    const std::string xml = File("dvd.xml", "<dvdauthor dest=\"" + disc.string() +
                                                "\">\n<vmgm />\n<titleset>\n<titles>\n"
                                                "<video format=\"pal\" aspect=\"16:9\" />\n"
                                                "<pgc>\n<vob file=\"" +
                                                Out("dvd.vob") +
                                                "\" />\n</pgc>\n</titles>\n</titleset>\n"
                                                "</dvdauthor>\n");
    const std::string command =
        "VIDEO_FORMAT=PAL dvdauthor -x '" + xml + "' > '" + Out("dvdauthor.log") + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << std::ifstream(Out("dvdauthor.log")).rdbuf();
    EXPECT_TRUE(fs::exists(disc / "VIDEO_TS" / "VTS_01_1.VOB"));
    EXPECT_GT(fs::file_size(disc / "VIDEO_TS" / "VTS_01_1.VOB"), 100000u);
    EXPECT_TRUE(fs::exists(disc / "VIDEO_TS" / "VIDEO_TS.IFO"));
    const ProbeResult authored = ProbeMedia((disc / "VIDEO_TS" / "VTS_01_1.VOB").string());
    ASSERT_NE(authored.Find(StreamKind::Video), nullptr);
    EXPECT_EQ(authored.Find(StreamKind::Video)->width, 720);
}

} // namespace
