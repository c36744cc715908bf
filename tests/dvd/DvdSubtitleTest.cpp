// A title's chosen subtitle in the output: drawn into the picture inside its display windows and
// nowhere else, or carried as a Matroska subtitle stream; "Default" shows the forced subpictures.
#include "DvdTestSupport.h"
#include "TAVProbe.h"
#include "TFFmpegLoader.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <filesystem>
#include <map>

using namespace quovo;
using namespace quovo::fixtures;

namespace {

std::string TitleName(int from, int subtitleId, const std::string& disc = dvdtest::Disc().folder) {
    return "opendvd:" + disc + "|Title=1,FromChapter=" + std::to_string(from) +
           ",ToChapter=4,AudioID=128,SubtitleID=" + std::to_string(subtitleId) +
           ",AudioChannels=2,Deinterlace=0";
}

// Title 1 from chapter `from` with `subtitleId`, converted by the engine alone to `ext`.
std::string Convert(int from, int subtitleId, const std::string& ext = "mp4") {
    static std::map<std::string, std::string> done;
    const std::string key = std::to_string(from) + "-" + std::to_string(subtitleId) + "." + ext;
    if (auto it = done.find(key); it != done.end()) {
        return it->second;
    }
    const std::string out = dvdtest::ScratchDir("subtitle-" + key) + "/out." + ext;
    std::vector<std::string> args{QUOVO_CONVERT_PATH, "--loglevel", "error",
                                  TitleName(from, subtitleId)};
    if (ext == "mp4") {
        for (const char* o : {"vcodec=mpeg4", "b=3000000"}) {
            args.insert(args.end(), {"--out", o});
        }
    }
    args.push_back(out);
    RunTool(args);
    return done[key] = out;
}

std::vector<AvFramePtr> Grey(const std::string& path) {
    return DecodePictures(path, AV_PIX_FMT_GRAY8);
}

// A bar's rows: the middle of the subpicture's 30 rows, inside its middle half of the width.
double BarLevel(const AVFrame& grey, int row) {
    return MeanLevel(grey, 200, row + 5, 320, 20);
}

bool Inside(const std::vector<DvdSubpictureWindow>& windows, double t, double margin,
            bool forcedOnly) {
    for (const DvdSubpictureWindow& w : windows) {
        if ((!forcedOnly || w.forced) && t > w.startS - margin && t < w.endS + margin) {
            return true;
        }
    }
    return false;
}

struct DrawCase {
    const char* what;
    int fromChapter;
    int subtitleId;  // 0: "Default"
    int referenceId; // a conversion that never draws into this bar's rows
    int row;         // the bar's first row
    double minLevel; // inside a window (white 255, yellow about 226 as grey)
    double maxLevel;
    bool forcedOnly;
};

void PrintTo(const DrawCase& c, std::ostream* os) {
    *os << c.what;
}

class DrawnSubtitle : public testing::TestWithParam<DrawCase> {};

} // namespace

// The bar shows in every picture inside a window of its stream, in the stream's own colour, and
// every other picture equals the same title converted without that stream. A picture's time on the
// title is its pattern's frame number, so the windows hold relative to the picture whatever
// chapter the conversion starts from.
TEST_P(DrawnSubtitle, ShowsInItsWindowsOnly) {
    dvdtest::LoadPlugin();
    const DrawCase& c = GetParam();
    const auto& windows = c.row == kSubtitle32Row ? Subtitle32Windows() : Subtitle33Windows();
    const std::string path = Convert(c.fromChapter, c.subtitleId);
    const auto pictures = Grey(path);
    const auto marks = ReadFrameMarks(path);
    const auto reference = Grey(Convert(c.fromChapter, c.referenceId));
    ASSERT_GT(pictures.size(), 100u);
    ASSERT_EQ(marks.size(), pictures.size());
    ASSERT_NEAR(static_cast<double>(pictures.size()), static_cast<double>(reference.size()), 2);
    int inside = 0;
    int outside = 0;
    for (size_t i = 0; i < std::min(pictures.size(), reference.size()); ++i) {
        if (marks[i].number < 0) {
            continue;
        }
        const double t = marks[i].number / 25.0;
        const double level = BarLevel(*pictures[i], c.row);
        if (Inside(windows, t, -0.05, c.forcedOnly)) {
            ++inside;
            EXPECT_GE(level, c.minLevel) << "picture " << i << " at " << t << " s";
            EXPECT_LE(level, c.maxLevel) << "picture " << i << " at " << t << " s";
        } else if (!Inside(windows, t, 0.05, c.forcedOnly)) {
            ++outside;
            EXPECT_NEAR(level, BarLevel(*reference[i], c.row), 8.0)
                << "picture " << i << " at " << t << " s";
        }
    }
    const bool shown = std::any_of(windows.begin(), windows.end(),
                                   [&](const auto& w) { return w.forced || !c.forcedOnly; });
    EXPECT_GT(inside, shown ? 50 : -1);
    EXPECT_GT(outside, 100);
}

INSTANTIATE_TEST_SUITE_P(
    Title1, DrawnSubtitle,
    testing::Values(DrawCase{"subtitle_32", 1, 32, 33, kSubtitle32Row, 245, 256, false},
                    DrawCase{"subtitle_33_yellow", 1, 33, 32, kSubtitle33Row, 205, 240, false},
                    DrawCase{"default_shows_forced_only", 1, 0, 33, kSubtitle32Row, 245, 256, true},
                    DrawCase{"default_draws_no_other_stream", 1, 0, 32, kSubtitle33Row, 0, 0, true},
                    DrawCase{"from_chapter_2", 2, 32, 33, kSubtitle32Row, 245, 256, false}),
    [](const auto& info) { return std::string(info.param.what); });

// Matroska players show DVD subpictures: the stream is carried, default, with its language and
// the disc's times; the pictures stay clean. "Default" gives no subtitle stream.
TEST(DvdSubtitle, MatroskaCarriesTheChosenStream) {
    dvdtest::LoadPlugin();
    const std::string mkv = Convert(1, 32, "mkv");
    AVFormatContext* ic = nullptr;
    ASSERT_EQ(avformat_open_input(&ic, mkv.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(ic, nullptr), 0);
    const AVStream* sub = nullptr;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        if (ic->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
            ASSERT_EQ(sub, nullptr) << "one subtitle stream";
            sub = ic->streams[i];
        }
    }
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->codecpar->codec_id, AV_CODEC_ID_DVD_SUBTITLE);
    EXPECT_TRUE(sub->disposition & AV_DISPOSITION_DEFAULT);
    const AVDictionaryEntry* lang = av_dict_get(sub->metadata, "language", nullptr, 0);
    ASSERT_NE(lang, nullptr);
    EXPECT_STREQ(lang->value, "eng");
    // The palette travels with the stream.
    ASSERT_GT(sub->codecpar->extradata_size, 0);
    EXPECT_NE(std::string(reinterpret_cast<const char*>(sub->codecpar->extradata),
                          sub->codecpar->extradata_size)
                  .find("palette: ffffff, ffff00"),
              std::string::npos);
    avformat_close_input(&ic);

    const ProbeResult probe = ProbeMedia(mkv, ProbeDepth::Packets);
    const StreamProbe* s = probe.Find(StreamKind::Subtitle);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->packets, static_cast<int64_t>(Subtitle32Windows().size()));
    EXPECT_NEAR(s->firstPtsS - probe.Find(StreamKind::Video)->firstPtsS,
                Subtitle32Windows().front().startS, 0.1);
    const auto pictures = Grey(mkv);
    ASSERT_GT(pictures.size(), 75u);
    EXPECT_LT(BarLevel(*pictures[75], kSubtitle32Row), 200) << "3 s: not drawn into the picture";

    EXPECT_EQ(ProbeMedia(Convert(1, 0, "mkv"), ProbeDepth::Packets).Count(StreamKind::Subtitle), 0);
}

// An output without pictures cannot show the subtitle: it is left out and the run succeeds.
TEST(DvdSubtitle, OutputWithoutPictureLeavesItOut) {
    dvdtest::LoadPlugin();
    const ProbeResult probe = ProbeMedia(Convert(1, 32, "wav"), ProbeDepth::Packets);
    EXPECT_EQ(probe.Count(StreamKind::Audio), 1);
    EXPECT_EQ(probe.Count(StreamKind::Subtitle), 0);
    EXPECT_EQ(probe.Count(StreamKind::Video), 0);
}

// The probe reads a title as the engine does: its picture, its chosen sound and subtitle, its
// length. With "Default" the subtitle stream is the one kept for its forced subpictures.
TEST(DvdSubtitle, ProbeDescribesATitle) {
    dvdtest::LoadPlugin();
    ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    struct Case {
        int subtitleId;
        int subtitles;
    };
    for (const Case c : {Case{32, 1}, Case{0, 1}}) {
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(TitleName(1, c.subtitleId, dvdtest::Disc().iso)))
            << probe.LastError();
        EXPECT_EQ(probe.VideoStreamCount(), 1);
        EXPECT_EQ(probe.AudioStreamCount(), 1);
        EXPECT_EQ(probe.SubtitleStreamCount(), c.subtitles);
        const TVideoStreamInfo video = probe.GetVideoStreamInfo();
        EXPECT_EQ(video.Width, 720);
        EXPECT_EQ(video.Height, 576);
        EXPECT_NEAR(probe.GetFileStreamInfo().Duration / 1e6, kTitle1Seconds, 1.0);
        EXPECT_EQ(probe.GetAudioStreamInfo().Codec.substr(0, 3), "ac3");
    }
}

namespace {

// quovo-convert's --format mode with its own settings folder; the files it wrote, by name.
std::vector<std::string> ConvertWithFormat(const std::string& dir, std::vector<std::string> args) {
    setenv("QUOVO_CONFIG_DIR", (dir + "/config").c_str(), 1);
    std::vector<std::string> command{QUOVO_CONVERT_PATH, "--format", "1", "--output-dir",
                                     dir + "/out"};
    command.insert(command.end(), args.begin(), args.end());
    RunTool(command);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir + "/out")) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Mean difference of the lower half of two pictures.
double LowerHalfDiff(const AVFrame& a, const AVFrame& b) {
    return MeanDiff(a, 0, a.height / 2, a.width, a.height / 2, b, 0, b.height / 2);
}

} // namespace

// The catalogue's DVD road without windows: an "opendvd:" name through a device format gets the
// option builder's DVD variant, the title's name, and its subtitle drawn at its times.
TEST(DvdSubtitle, FormatModeConvertsATitleWithItsSubtitle) {
    const std::string dir = dvdtest::ScratchDir("format-title");
    ASSERT_EQ(ConvertWithFormat(dir + "/32", {TitleName(1, 32)}),
              std::vector<std::string>{"DVD Title 1_(new).mp4"});
    ASSERT_EQ(ConvertWithFormat(dir + "/0", {TitleName(1, 0)}),
              std::vector<std::string>{"DVD Title 1_(new).mp4"});
    const std::string drawn = dir + "/32/out/DVD Title 1_(new).mp4";
    const std::string plain = dir + "/0/out/DVD Title 1_(new).mp4";
    EXPECT_EQ(ProbeMedia(drawn, ProbeDepth::Packets).Count(StreamKind::Subtitle), 0);
    const StreamProbe* video = ProbeMedia(drawn, ProbeDepth::Packets).Find(StreamKind::Video);
    ASSERT_NE(video, nullptr);
    const double fps = av_q2d(video->frameRate);
    const auto a = Grey(drawn);
    const auto b = Grey(plain);
    ASSERT_GT(a.size(), static_cast<size_t>(10 * fps));
    ASSERT_EQ(a.size(), b.size());
    struct Moment {
        double seconds;
        bool shown; // subtitle 32 shows (no forced subpicture then)
    };
    for (const Moment m : {Moment{3.0, true}, Moment{6.5, false}, Moment{10.0, true},
                           Moment{14.0, false}, Moment{18.0, true}}) {
        const size_t i = static_cast<size_t>(m.seconds * fps);
        if (m.shown) {
            EXPECT_GT(LowerHalfDiff(*a[i], *b[i]), 2.0) << m.seconds << " s";
        } else {
            EXPECT_LT(LowerHalfDiff(*a[i], *b[i]), 1.0) << m.seconds << " s";
        }
    }
}

// --titles converts the titles of a disc as the DVD run names them, each with its first sound.
TEST(DvdSubtitle, TitlesModeConvertsEveryTitleOfFolderAndImage) {
    struct Case {
        const char* what;
        std::string disc;
        std::vector<std::string> outputs;
    };
    const std::vector<std::string> three{"DVD Title 1_(new).mp4", "DVD Title 2_(new).mp4",
                                         "DVD Title 3_(new).mp4"};
    for (const Case& c : {Case{"image", dvdtest::Disc().iso, {three[0], three[1]}},
                          Case{"three-titles", dvdtest::Disc().threeTitleFolder, three}}) {
        const std::string dir = dvdtest::ScratchDir(std::string("titles-") + c.what);
        EXPECT_EQ(ConvertWithFormat(dir, {"--titles", "all", c.disc}), c.outputs) << c.what;
        const ProbeResult first = ProbeMedia(dir + "/out/" + c.outputs[0], ProbeDepth::Packets);
        EXPECT_NEAR(first.durationS, kTitle1Seconds, 1.0) << c.what;
        EXPECT_EQ(first.Count(StreamKind::Audio), 1) << c.what;
        EXPECT_NEAR(ProbeMedia(dir + "/out/" + c.outputs[1], ProbeDepth::Packets).durationS,
                    kTitle2Seconds, 1.0)
            << c.what;
    }
    const std::string dir = dvdtest::ScratchDir("titles-second");
    EXPECT_EQ(ConvertWithFormat(dir, {"--titles", "2", dvdtest::Disc().folder}),
              std::vector<std::string>{"DVD Title 2_(new).mp4"});
}
