// Picture processing through the engine: encoders and containers, crop and scaling, size changes,
// frame-rate synchronisation, filter chains, the picture hook and previews. Outputs are checked
// by probing and decoding them with the libraries.
#include "TCustomFFmpeg.h"

#include "EngineTest.h"
#include "Fixtures.h"
#include "LogCapture.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TPictureConverter.h"
#include "TVideoFilterChain.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/time.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>

using namespace quovo;
using namespace quovo::fixtures;
using namespace quovo::testing_support;
namespace fs = std::filesystem;

namespace {

MediaSpec VideoOnly(const std::string& codec, int width, int height, double seconds,
                    const std::string& container) {
    MediaSpec spec;
    spec.container = container;
    spec.videoCodec = codec;
    spec.width = width;
    spec.height = height;
    spec.durationS = seconds;
    spec.audio.clear();
    if (codec == "libx264") {
        spec.maxBFrames = 0;
    }
    return spec;
}

// A clip made once per test program, keyed by its file name.
const std::string& Clip(const std::string& name, const MediaSpec& spec) {
    static std::mutex mutex;
    static std::map<std::string, std::string> made;
    std::lock_guard lock(mutex);
    auto it = made.find(name);
    if (it == made.end()) {
        const std::string path = FixtureDir() + "/video-" + name;
        MakeMedia(path, spec);
        it = made.emplace(name, path).first;
    }
    return it->second;
}

// MPEG-2 720x576 at 25 fps, 2 s, no sound: the DVD-like source of most tests.
const std::string& Mpeg2Clip() {
    return Clip("mpeg2-720x576.mpg", VideoOnly("mpeg2video", 720, 576, 2.0, "mpeg"));
}

class VideoTest : public EngineTest {
protected:
};

// Every pattern number of `numbers` in order, each once: no frame lost, repeated or reordered.
void ExpectSequence(const std::vector<int>& numbers, int count) {
    std::string all;
    for (int n : numbers) {
        all += std::to_string(n) + " ";
    }
    SCOPED_TRACE(all);
    ASSERT_EQ(static_cast<int>(numbers.size()), count);
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(numbers[i], i) << "output frame " << i;
    }
}

TEST_F(VideoTest, Mpeg2ToDeviceFormatsAtQuarterSize) {
    struct Case {
        const char* output;
        Options options;
        const char* codec;
        const char* pixelFormat;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"mpeg4.avi", {{"vcodec", "mpeg4"}, {"qscale", "3"}}, "mpeg4", "yuv420p"},
        // What the shipped x264 presets set, and the encoder's own defaults without them.
        {"x264.mp4", {{"vcodec", "libx264"}, {"me_range", "16"}, {"subq", "7"}, {"qmin", "10"}, {"qmax", "51"}}, "h264", "yuv420p"},
        {"x264-defaults.mp4", {{"vcodec", "libx264"}}, "h264", "yuv420p"},
        {"wmv2.asf", {{"vcodec", "wmv2"}, {"b", "800000"}}, "wmv2", "yuv420p"},
        {"flv1.flv", {{"b", "800000"}}, "flv1", "yuv420p"},
        {"mjpeg.avi", {{"vcodec", "mjpeg"}, {"qscale", "3"}, {"pix_fmt", "yuvj420p"}}, "mjpeg", "yuvj420p"},
        // The source's limited-range 4:2:0 becomes the full-range format the encoder accepts.
        {"mjpeg-source-format.avi", {{"vcodec", "mjpeg"}}, "mjpeg", "yuvj420p"},
        {"raw.nut", {{"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}}, "rawvideo", "yuv420p"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const std::string out = Out(c.output);
        TCustomFFmpeg e;
        Options options = c.options;
        options.push_back({"s", "320x240"});
        Convert(e, {Mpeg2Clip()}, {}, out, options);
        ProbeResult probe = ProbeMedia(out);
        const StreamProbe* v = probe.Find(StreamKind::Video);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->codec, c.codec);
        EXPECT_EQ(v->width, 320);
        EXPECT_EQ(v->height, 240);
        EXPECT_EQ(v->pixelFormat, c.pixelFormat);
        EXPECT_EQ(v->decodeErrors, 0);
        ExpectSequence(ReadFrameNumbers(out), 50);
    }
}

// Concatenated MPEG-2 elementary streams: 25 frames at 720x576, then 25 at 1280x720 (the pattern
// numbers start again at 0).
const std::string& SizeChangeClip() {
    static const std::string path = [] {
        const std::string& a =
            Clip("part-720x576.m2v", VideoOnly("mpeg2video", 720, 576, 1.0, "mpeg2video"));
        const std::string& b =
            Clip("part-1280x720.m2v", VideoOnly("mpeg2video", 1280, 720, 1.0, "mpeg2video"));
        const std::string joined = FixtureDir() + "/video-size-change.m2v";
        std::ofstream out(joined, std::ios::binary);
        for (const std::string& part : {a, b}) {
            std::ifstream in(part, std::ios::binary);
            out << in.rdbuf();
        }
        return joined;
    }();
    return path;
}

TEST_F(VideoTest, CropAtEqualSizeIsAViewOfTheSource) {
    const std::string out = Out("cropped.nut");
    TCustomFFmpeg e;
    Convert(
        e, {Mpeg2Clip()}, {}, out,
        {{"croptop", "8"}, {"cropbottom", "8"}, {"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}});
    const auto src = DecodePictures(Mpeg2Clip(), AV_PIX_FMT_GRAY8, 5);
    const auto dst = DecodePictures(out, AV_PIX_FMT_GRAY8, 5);
    ASSERT_EQ(dst.size(), 5u);
    ASSERT_EQ(dst[0]->width, 720);
    ASSERT_EQ(dst[0]->height, 560);
    for (size_t i = 0; i < dst.size(); ++i) {
        // The picture inside the bands, untouched: bit-exact at an 8-row offset, not at 0.
        EXPECT_EQ(MeanDiff(*dst[i], 0, 0, 720, 560, *src[i], 0, 8), 0.0) << "frame " << i;
        EXPECT_GT(MeanDiff(*dst[i], 0, 0, 720, 560, *src[i], 0, 0), 1.0) << "frame " << i;
    }
}

TEST_F(VideoTest, SizeChangeMidStreamRescalesWithProportionalBands) {
    const std::string out = Out("size-change.nut");
    LogCapture log;
    TCustomFFmpeg e;
    Convert(e, {SizeChangeClip()}, {}, out,
            {{"croptop", "48"},
             {"cropbottom", "48"},
             {"s", "320x240"},
             {"vcodec", "rawvideo"},
             {"pix_fmt", "yuv420p"}});
    EXPECT_EQ(log.Count("Input Stream #0.0 frame size changed to 1280x720, yuv420p"), 1);

    const auto src = DecodePictures(SizeChangeClip(), AV_PIX_FMT_GRAY8);
    const auto dst = DecodePictures(out, AV_PIX_FMT_GRAY8);
    // The decoder gives up the last picture before the new sequence (49 in all); the output
    // holds every picture the decoder gave.
    ASSERT_GE(src.size(), 48u);
    ASSERT_EQ(dst.size(), src.size());
    for (const auto& f : dst) {
        ASSERT_EQ(f->width, 320);
        ASSERT_EQ(f->height, 240);
    }
    // Before the change: bands of 48 rows out of 576. After it: 48 * 720 / 576 = 60 rows.
    for (int i : {5, static_cast<int>(src.size()) - 10}) {
        SCOPED_TRACE(i);
        const AVFrame& in = *src[i];
        const int band = in.height == 720 ? 60 : 48;
        const int other = in.height == 720 ? 48 : 36;
        auto right = ScaledGrey(in, 0, band, in.width, in.height - 2 * band, 320, 240);
        auto wrong = ScaledGrey(in, 0, other, in.width, in.height - 2 * other, 320, 240);
        const double good = MeanDiff(*dst[i], 0, 0, 320, 240, *right, 0, 0);
        const double bad = MeanDiff(*dst[i], 0, 0, 320, 240, *wrong, 0, 0);
        EXPECT_LT(good, 1.5);
        EXPECT_GT(bad, 3 * good);
    }
}

// A broadcast recording that switches from 320x180 to 640x360 at an advert break, converted at
// its first size: a scaler is made at the change (a filter chain is made again for the new
// size) and the output keeps its size throughout.
TEST_F(VideoTest, SizeChangeWithoutScalerKeepsTheOutputSize) {
    MediaSpec spec = VideoOnly("mpeg2video", 320, 180, 2.0, "mpegts");
    spec.sizeSwitch = {1.0, 640, 360};
    spec.audio = {AudioTrackSpec{.codec = "mp2"}};
    const std::string& source = Clip("switch.ts", spec);
    // The decoder drops the picture before the new sequence: the output holds what it gives.
    const std::vector<int> decoded = ReadFrameNumbers(source);
    ASSERT_GE(decoded.size(), 49u);
    const struct {
        const char* name;
        Options options;
        int height;
        bool readable; // the pattern's numbers survive
    } cases[] = {
        {"as source", {}, 180, true},
        {"first size", {{"s", "320x180"}}, 180, true},
        {"filter chain", {{"vf", "hflip,hflip"}}, 180, true},
        {"crop bands", {{"croptop", "10"}, {"cropbottom", "10"}}, 160, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = Out(std::string(c.name) + ".avi");
        Options options = {{"vcodec", "mpeg4"}, {"qscale", "3"}, {"an", "1"}};
        options.insert(options.end(), c.options.begin(), c.options.end());
        LogCapture log;
        Convert({source}, {}, out, options);
        EXPECT_EQ(log.Count("Input Stream #0.0 frame size changed to 640x360, yuv420p"), 1);
        const ProbeResult r = ProbeMedia(out);
        ASSERT_NE(r.Find(StreamKind::Video), nullptr);
        EXPECT_EQ(r.Find(StreamKind::Video)->width, 320);
        EXPECT_EQ(r.Find(StreamKind::Video)->height, c.height);
        // Two seconds: the picture before the lost one, or the last, lasts a slot longer.
        EXPECT_EQ(r.Find(StreamKind::Video)->decodedFrames, 50);
        if (c.readable) {
            std::vector<int> numbers = ReadFrameNumbers(out);
            numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
            EXPECT_EQ(numbers, decoded);
        }
    }
}

// A 6 s clip converted to another frame rate lasts 6 s: its last picture keeps its duration
// (within half an output frame), and a same-rate conversion gains no picture.
TEST_F(VideoTest, LastPictureKeepsItsDuration) {
    const std::string& source =
        Clip("six-seconds.mkv", VideoOnly("mpeg4", 320, 240, 6.0, "matroska"));
    const struct {
        const char* file;
        Options options;
        double frameS;
    } cases[] = {
        {"30000-1001.mp4", {{"vcodec", "libx264"}, {"r", "30000/1001"}}, 1001.0 / 30000},
        {"30.avi", {{"vcodec", "mpeg4"}, {"r", "30"}}, 1.0 / 30},
        {"30000-1001.mkv", {{"vcodec", "mpeg4"}, {"r", "30000/1001"}}, 1001.0 / 30000},
        {"25.mp4", {{"vcodec", "libx264"}}, 1.0 / 25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string out = Out(c.file);
        Convert({source}, {}, out, c.options);
        const ProbeResult r = ProbeMedia(out, ProbeDepth::Packets);
        ASSERT_NE(r.Find(StreamKind::Video), nullptr);
        EXPECT_NEAR(r.durationS, 6.0, c.frameS / 2);
        if (c.frameS == 1.0 / 25) {
            EXPECT_EQ(r.Find(StreamKind::Video)->packets, 150);
        }
    }
}

TEST_F(VideoTest, FrameRateSynchronisation) {
    // 25 fps whose timestamps jump 100 ms (2.5 frames) later after frame 24.
    MediaSpec gapSpec = VideoOnly("mpeg4", 320, 240, 2.0, "matroska");
    gapSpec.jump = {0.98, 0.1};
    const std::string& gap = Clip("gap.mkv", gapSpec);
    MediaSpec fastSpec = VideoOnly("mpeg4", 320, 240, 2.0, "matroska");
    fastSpec.frameRate = {50, 1};
    const std::string& fast = Clip("50fps.mkv", fastSpec);

    {
        SCOPED_TRACE("constant rate (AVI) fills the gap with the picture before it");
        const std::string out = Out("gap.avi");
        TCustomFFmpeg e;
        Convert(e, {gap}, {}, out, {{"vcodec", "mpeg4"}, {"qscale", "3"}});
        const std::vector<int> n = ReadFrameNumbers(out);
        // 2.1 s of input at 25 fps: 52.5 slots, the last picture lasting until the end. Picture
        // 24 lasts until 25 begins (1.1 s, slot 27.5, rounded to 28): slots 24 to 27.
        ASSERT_EQ(n.size(), 53u);
        EXPECT_EQ(std::count(n.begin(), n.end(), 24), 4);
        EXPECT_EQ(std::count(n.begin(), n.end(), 25), 1);
        EXPECT_EQ(std::count(n.begin(), n.end(), 49), 1);
        EXPECT_TRUE(std::is_sorted(n.begin(), n.end()));
        EXPECT_EQ(n.front(), 0);
        EXPECT_EQ(n.back(), 49);
    }
    {
        SCOPED_TRACE("variable rate (MKV) keeps the gap and duplicates nothing");
        const std::string out = Out("gap.mkv");
        TCustomFFmpeg e;
        Convert(e, {gap}, {}, out, {{"vcodec", "mpeg4"}, {"qscale", "3"}});
        const std::vector<FrameMark> marks = ReadFrameMarks(out);
        ASSERT_EQ(marks.size(), 50u);
        for (int i = 0; i < 50; ++i) {
            ASSERT_EQ(marks[i].number, i);
        }
        EXPECT_GT(marks[25].ptsS - marks[24].ptsS, 0.1);
        EXPECT_NEAR(marks[26].ptsS - marks[25].ptsS, 0.04, 0.005);
    }
    {
        SCOPED_TRACE("variable rate (MKV) drops late pictures and duplicates nothing");
        const std::string out = Out("50to25.mkv");
        TCustomFFmpeg e;
        Convert(e, {fast}, {}, out, {{"vcodec", "mpeg4"}, {"qscale", "3"}, {"r", "25"}});
        const std::vector<int> n = ReadFrameNumbers(out);
        EXPECT_GT(n.size(), 45u);
        EXPECT_LT(n.size(), 60u);
        EXPECT_TRUE(std::adjacent_find(n.begin(), n.end(), std::greater_equal<int>()) == n.end())
            << "a picture repeated or went back";
    }
}

// Every picture of `dst` (320x240, grey) holds the 720x480 area of `src` from row `srcTop`,
// scaled between black bands of `band` rows.
void ExpectLetterboxed(const std::vector<AvFramePtr>& src, const std::vector<AvFramePtr>& dst,
                       int srcTop, int band) {
    ASSERT_EQ(dst.size(), src.size());
    ASSERT_EQ(dst[0]->width, 320);
    ASSERT_EQ(dst[0]->height, 240);
    const int inside = 240 - 2 * band;
    for (size_t i = 0; i < dst.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_LT(MeanLevel(*dst[i], 0, 0, 320, band), 2.0);
        EXPECT_LT(MeanLevel(*dst[i], 0, 240 - band, 320, band), 2.0);
        auto expected = ScaledGrey(*src[i], 0, srcTop, 720, 480, 320, inside);
        EXPECT_LT(MeanDiff(*dst[i], 0, band, 320, inside, *expected, 0, 0), 2.0);
        EXPECT_GT(MeanLevel(*dst[i], 0, band, 320, inside), 40.0);
    }
}

// The letterbox of the option builder's worked example: 720x480 cropped whole, scaled to
// 320x212 and padded to 320x240 with 14 rows on top, written in the old crop argument order.
TEST_F(VideoTest, FilterChainLetterboxesInTheOldArgumentOrder) {
    const std::string& source =
        Clip("mpeg2-720x480.mpg", VideoOnly("mpeg2video", 720, 480, 1.0, "mpeg"));
    const std::string out = Out("letterbox.nut");
    TCustomFFmpeg e;
    Convert(e, {source}, {}, out,
            {{"vf", "crop=0:0:720:480,scale=320:212,pad=320:240:0:14"},
             {"vcodec", "rawvideo"},
             {"pix_fmt", "yuv420p"}});
    ExpectLetterboxed(DecodePictures(source, AV_PIX_FMT_GRAY8, 3),
                      DecodePictures(out, AV_PIX_FMT_GRAY8, 3), 0, 14);
}

// Crop bands and a frame size go in front of the user's chain: the area inside the bands is
// scaled whole to the frame size, then padded.
TEST_F(VideoTest, FilterChainAfterCropBandsAndScaling) {
    const std::string out = Out("crop-scale-pad.nut");
    TCustomFFmpeg e;
    Convert(e, {Mpeg2Clip()}, {}, out,
            {{"croptop", "48"},
             {"cropbottom", "48"},
             {"s", "320x200"},
             {"vf", "pad=320:240:0:20"},
             {"vcodec", "rawvideo"},
             {"pix_fmt", "yuv420p"}});
    ExpectLetterboxed(DecodePictures(Mpeg2Clip(), AV_PIX_FMT_GRAY8, 2),
                      DecodePictures(out, AV_PIX_FMT_GRAY8, 2), 48, 20);
}

TEST_F(VideoTest, FilterThatHoldsPicturesBackGivesThemUpAtTheEnd) {
    // yadif keeps one picture until it sees the next; the last one comes out only when the
    // chain is told its input ended.
    const std::string out = Out("yadif.nut");
    TCustomFFmpeg e;
    Convert(e, {Mpeg2Clip()}, {}, out,
            {{"s", "320x240"}, {"vf", "yadif"}, {"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}});
    ExpectSequence(ReadFrameNumbers(out), 50);
}

TEST(TranslateCropFilters, OldCropArgumentsInTodaysOrder) {
    const std::pair<const char*, const char*> cases[] = {
        {"crop=0:0:720:480", "crop=w=720:h=480:x=0:y=0"},
        {"crop=8:16:704:544,scale=320:240", "crop=w=704:h=544:x=8:y=16,scale=320:240"},
        {"scale=320:212,pad=320:240:0:14", "scale=320:212,pad=320:240:0:14"},
        {"crop=10:20", "crop=w=in_w-(10):h=in_h-(20):x=10:y=20"},
        {"crop=w=100:h=50", "crop=w=100:h=50"},
        {"[in]crop=1:2:3:4[out]", "[in]crop=w=3:h=4:x=1:y=2[out]"},
        {"hflip;crop=2:2:0:0", "hflip;crop=w=in_w-(2):h=in_h-(2):x=2:y=2"},
        {"", ""},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(TranslateCropFilters(in), out) << in;
    }
}

// A picture in `format` filled from a BGR gradient with a few sharp features.
AvFramePtr GradientPicture(AVPixelFormat format, int width, int height) {
    AvFramePtr bgr = MakeFrame();
    bgr->format = AV_PIX_FMT_BGR24;
    bgr->width = width;
    bgr->height = height;
    av_frame_get_buffer(bgr.get(), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = bgr->data[0] + static_cast<ptrdiff_t>(y) * bgr->linesize[0] + 3 * x;
            p[0] = static_cast<uint8_t>(x * 255 / width);
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = static_cast<uint8_t>((x / 8 + y / 8) % 2 ? 200 : 40);
        }
    }
    if (format == AV_PIX_FMT_BGR24) {
        return bgr;
    }
    AvFramePtr out = MakeFrame();
    out->format = format;
    out->width = width;
    out->height = height;
    av_frame_get_buffer(out.get(), 0);
    SwsContextPtr sws(sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, format,
                                     SWS_BICUBIC, nullptr, nullptr, nullptr));
    sws_scale(sws.get(), bgr->data, bgr->linesize, 0, height, out->data, out->linesize);
    return out;
}

TEST(TPictureConverter, RoundTripsThroughTheApplicationPicture) {
    struct Case {
        AVPixelFormat format;
        int width, height;
        int linesizeAlign; // row alignment of the decoded picture
        bool converted;
    };
    // clang-format off
    const Case cases[] = {
        {AV_PIX_FMT_BGR24, 720, 16, 4, false}, // already the picture's layout: rows copied
        {AV_PIX_FMT_BGR24, 719, 16, 4, true},  // odd width
        {AV_PIX_FMT_BGR24, 720, 15, 4, true},  // odd height
        {AV_PIX_FMT_BGR24, 720, 16, 64, true}, // other row padding
        {AV_PIX_FMT_YUV420P, 64, 48, 32, true},
        {AV_PIX_FMT_YUV420P, 719, 48, 32, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(av_get_pix_fmt_name(c.format)) + " " + std::to_string(c.width) +
                     "x" + std::to_string(c.height) + " align " + std::to_string(c.linesizeAlign));
        AvFramePtr content = GradientPicture(c.format, c.width, c.height);
        AvFramePtr frame = MakeFrame();
        frame->format = c.format;
        frame->width = c.width;
        frame->height = c.height;
        ASSERT_GE(av_frame_get_buffer(frame.get(), c.linesizeAlign), 0);
        av_frame_copy(frame.get(), content.get());
        AvFramePtr expected = GradientPicture(AV_PIX_FMT_BGR24, c.width, c.height);
        if (c.format != AV_PIX_FMT_BGR24) {
            // What the scaler makes of this format, as the reference.
            SwsContextPtr sws(sws_getContext(c.width, c.height, c.format, c.width, c.height,
                                             AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr,
                                             nullptr));
            sws_scale(sws.get(), frame->data, frame->linesize, 0, c.height, expected->data,
                      expected->linesize);
        }

        TPictureConverter conv;
        ASSERT_TRUE(conv.ToPicture(*frame, c.format, c.width, c.height));
        EXPECT_EQ(conv.Converted(), c.converted);
        TPicture& pic = conv.Picture();
        ASSERT_EQ(pic.Width(), c.width);
        ASSERT_EQ(pic.Height(), c.height);
        ASSERT_EQ(pic.Stride(), (c.width * 3 + 3) / 4 * 4);
        for (int y = 0; y < c.height; ++y) {
            ASSERT_EQ(
                std::memcmp(pic.ScanLine(y),
                            expected->data[0] + static_cast<ptrdiff_t>(y) * expected->linesize[0],
                            static_cast<size_t>(c.width) * 3),
                0)
                << "row " << y;
        }

        // Paint a white block into the picture; it must reach the frame.
        for (int y = 2; y < 10; ++y) {
            std::memset(pic.ScanLine(y) + 3 * 4, 255, 3 * 8);
        }
        ASSERT_TRUE(conv.FromPicture(*frame));
        AvFramePtr converted;
        const AVFrame* back = frame.get();
        if (c.format != AV_PIX_FMT_BGR24) {
            converted = GradientPicture(AV_PIX_FMT_BGR24, c.width, c.height);
            SwsContextPtr sws(sws_getContext(c.width, c.height, c.format, c.width, c.height,
                                             AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr,
                                             nullptr));
            sws_scale(sws.get(), frame->data, frame->linesize, 0, c.height, converted->data,
                      converted->linesize);
            back = converted.get();
        }
        const uint8_t* inside = back->data[0] + 5 * back->linesize[0] + 3 * 7;
        const int tolerance = c.format == AV_PIX_FMT_BGR24 ? 0 : 8;
        EXPECT_GE(inside[0], 255 - tolerance);
        EXPECT_GE(inside[1], 255 - tolerance);
        EXPECT_GE(inside[2], 255 - tolerance);
        if (c.format == AV_PIX_FMT_BGR24) {
            // Outside the block the frame is what it was, byte for byte.
            for (int y = 12; y < c.height; ++y) {
                ASSERT_EQ(
                    std::memcmp(back->data[0] + static_cast<ptrdiff_t>(y) * back->linesize[0],
                                content->data[0] + static_cast<ptrdiff_t>(y) * content->linesize[0],
                                static_cast<size_t>(c.width) * 3),
                    0);
            }
        }
    }
}

// A bound picture is converted on first access only, and a write is what marks it modified.
TEST(TPictureConverter, BoundPictureIsFilledOnFirstAccess) {
    AvFramePtr first = GradientPicture(AV_PIX_FMT_YUV420P, 64, 32);
    AvFramePtr second = GradientPicture(AV_PIX_FMT_YUV420P, 64, 32);
    std::memset(second->data[0], 16, static_cast<size_t>(second->linesize[0]) * 32); // dark

    TPictureConverter conv;
    TPicture& pic = conv.Picture();
    ASSERT_TRUE(conv.ToPicture(*first, AV_PIX_FMT_YUV420P, 64, 32));
    std::vector<uint8_t> firstRows(pic.Bits(), pic.Bits() + pic.Stride() * 32);

    // Bound but never looked at: the bytes stay those of the first picture.
    ASSERT_TRUE(conv.Bind(*second, AV_PIX_FMT_YUV420P, 64, 32));
    EXPECT_TRUE(pic.Pending());
    EXPECT_FALSE(pic.Modified());
    conv.Unbind();
    EXPECT_FALSE(pic.Pending());
    EXPECT_EQ(std::memcmp(pic.RawBits(), firstRows.data(), firstRows.size()), 0);

    // Read through a const view: filled from the second picture, not modified.
    ASSERT_TRUE(conv.Bind(*second, AV_PIX_FMT_YUV420P, 64, 32));
    const TPicture& view = pic;
    EXPECT_LT(view.ScanLine(10)[30], 40);
    EXPECT_FALSE(pic.Pending());
    EXPECT_FALSE(pic.Modified());
    // Writable bytes mark it; the next binding clears the mark.
    pic.ScanLine(0)[0] = 255;
    EXPECT_TRUE(pic.Modified());
    conv.Unbind();
    ASSERT_TRUE(conv.Bind(*first, AV_PIX_FMT_YUV420P, 64, 32));
    EXPECT_FALSE(pic.Modified());
    EXPECT_EQ(std::memcmp(view.Bits(), firstRows.data(), firstRows.size()), 0);
    conv.Unbind();

    // A format no scaler takes is refused at binding, before any handler could look.
    AvFramePtr odd = GradientPicture(AV_PIX_FMT_YUV420P, 64, 32);
    EXPECT_FALSE(conv.Bind(*odd, AV_PIX_FMT_NONE, 64, 32));
    EXPECT_FALSE(pic.Pending());
    // The same for the engine's own scalers, either way.
    EXPECT_EQ(CachedScaler(nullptr, 64, 32, AV_PIX_FMT_NONE, 32, 16, AV_PIX_FMT_YUV420P, 0),
              nullptr);
    EXPECT_EQ(CachedScaler(nullptr, 64, 32, AV_PIX_FMT_YUV420P, 32, 16, AV_PIX_FMT_NONE, 0),
              nullptr);
    SwsContextPtr fine(
        CachedScaler(nullptr, 64, 32, AV_PIX_FMT_YUV420P, 32, 16, AV_PIX_FMT_YUV420P, SWS_BICUBIC));
    EXPECT_NE(fine, nullptr);
}

// A 320x240 MPEG-2 clip of 25 frames.
const std::string& SmallClip() {
    return Clip("mpeg2-320x240.mpg", VideoOnly("mpeg2video", 320, 240, 1.0, "mpeg"));
}

void PaintSquare(TPicture& picture, int x0, int y0, int size) {
    std::lock_guard lock(picture.CanvasLock());
    for (int y = y0; y < y0 + size; ++y) {
        std::memset(picture.ScanLine(y) + 3 * x0, 255, 3 * size);
    }
}

TEST_F(VideoTest, PictureHookEditsStopsAndSurvivesErrors) {
    struct Call {
        int width, height, stride, frameNumber;
        int64_t pts;
    };
    std::vector<Call> calls;
    std::vector<uint8_t> firstPicture;
    LogCapture log;
    const std::string out = Out("hooked.nut");
    TCustomFFmpeg e;
    e.SetHookCallback([&](TCustomFFmpeg*, TPicture& pic, int frameNumber, int64_t pts, bool& update,
                          bool& stopHook) {
        EXPECT_TRUE(update);
        EXPECT_FALSE(stopHook);
        calls.push_back({pic.Width(), pic.Height(), pic.Stride(), frameNumber, pts});
        if (frameNumber == 1) {
            firstPicture.assign(pic.Bits(), pic.Bits() + pic.Stride() * pic.Height());
        }
        PaintSquare(pic, 200, 100, 32);
        if (frameNumber == 3) {
            throw std::runtime_error("boom");
        }
        stopHook = frameNumber == 10;
    });
    Convert(e, {SmallClip()}, {}, out, {{"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}});

    ASSERT_EQ(calls.size(), 10u) << "the hook went on after StopHook";
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].width, 320);
        EXPECT_EQ(calls[i].height, 240);
        EXPECT_EQ(calls[i].stride, 960);
        EXPECT_EQ(calls[i].frameNumber, static_cast<int>(i) + 1);
        if (i > 0) {
            EXPECT_GT(calls[i].pts, calls[i - 1].pts);
        }
    }
    EXPECT_EQ(log.Count("Error occurs OnCustomHook: boom"), 1);

    // The hook saw the decoded picture in BGR.
    const auto srcBgr = DecodePictures(SmallClip(), AV_PIX_FMT_BGR24, 1);
    double diff = 0;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 960; ++x) {
            diff += std::abs(firstPicture[y * 960 + x] -
                             srcBgr[0]->data[0][y * srcBgr[0]->linesize[0] + x]);
        }
    }
    EXPECT_LT(diff / (240 * 960), 3.0);

    const auto src = DecodePictures(SmallClip(), AV_PIX_FMT_GRAY8);
    const auto dst = DecodePictures(out, AV_PIX_FMT_GRAY8);
    ASSERT_EQ(dst.size(), 25u);
    for (int i = 0; i < 25; ++i) {
        const bool painted = i < 10 && i != 2;
        const double square = MeanLevel(*dst[i], 204, 104, 24, 24);
        if (painted) {
            EXPECT_GT(square, 245) << "frame " << i;
        } else {
            EXPECT_LT(MeanDiff(*dst[i], 0, 0, 320, 240, *src[i], 0, 0), 1.0) << "frame " << i;
        }
    }
}

// Handlers that leave the picture alone, or only read it, leave the frame exactly as decoded,
// whatever they answer in Update: only a picture that was written goes back into the frame.
TEST_F(VideoTest, HookThatDoesNotWriteLeavesFramesExact) {
    const std::string plain = Out("plain.nut");
    const std::string hooked = Out("hooked-readonly.nut");
    const Options raw = {{"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}};
    {
        TCustomFFmpeg e;
        Convert(e, {SmallClip()}, {}, plain, raw);
    }
    const auto srcBgr = DecodePictures(SmallClip(), AV_PIX_FMT_BGR24);
    int calls = 0;
    double seenDiff = 0;
    int samples = 0;
    TCustomFFmpeg e;
    e.SetHookCallback([&](TCustomFFmpeg*, TPicture& pic, int frameNumber, int64_t, bool& update,
                          bool&) {
        ++calls;
        if (frameNumber % 3 == 1) {
            return; // not looked at, Update left set
        }
        // Read only: what the hook sees is the decoded picture.
        const TPicture& view = pic;
        const AVFrame& ref = *srcBgr[frameNumber - 1];
        for (int y = 0; y < 240; y += 7) {
            for (int x = 0; x < 960; x += 5) {
                seenDiff += std::abs(view.ScanLine(y)[x] - ref.data[0][y * ref.linesize[0] + x]);
                ++samples;
            }
        }
        update = frameNumber % 3 == 2;
    });
    Convert(e, {SmallClip()}, {}, hooked, raw);
    EXPECT_EQ(calls, 25);
    ASSERT_GT(samples, 0);
    EXPECT_LT(seenDiff / samples, 3.0);

    const auto a = DecodePictures(plain, AV_PIX_FMT_YUV420P);
    const auto b = DecodePictures(hooked, AV_PIX_FMT_YUV420P);
    ASSERT_EQ(a.size(), 25u);
    ASSERT_EQ(b.size(), 25u);
    for (size_t i = 0; i < a.size(); ++i) {
        for (int plane = 0; plane < 3; ++plane) {
            const int rows = plane ? 120 : 240;
            const int bytes = plane ? 160 : 320;
            for (int y = 0; y < rows; ++y) {
                ASSERT_EQ(std::memcmp(a[i]->data[plane] + y * a[i]->linesize[plane],
                                      b[i]->data[plane] + y * b[i]->linesize[plane], bytes),
                          0)
                    << "frame " << i << " plane " << plane << " row " << y;
            }
        }
    }
}

// An odd-width BGR picture has no row layout in common with the application picture, so it goes
// through the conversion buffer both ways; edits must still come back exactly.
TEST_F(VideoTest, HookOnOddWidthBgrPicture) {
    MediaSpec spec = VideoOnly("rawvideo", 719, 96, 0.4, "nut");
    spec.pixelFormat = AV_PIX_FMT_BGR24;
    const std::string& source = Clip("bgr-719.nut", spec);
    std::vector<std::vector<uint8_t>> seen;   // rows as the hook saw them
    std::vector<std::vector<uint8_t>> edited; // rows as the hook left them
    const std::string out = Out("bgr-719.nut");
    TCustomFFmpeg e;
    e.SetHookCallback([&](TCustomFFmpeg*, TPicture& pic, int, int64_t, bool&, bool&) {
        auto rows = [&] {
            std::vector<uint8_t> r;
            for (int y = 0; y < pic.Height(); ++y) {
                r.insert(r.end(), pic.ScanLine(y), pic.ScanLine(y) + 719 * 3);
            }
            return r;
        };
        seen.push_back(rows());
        PaintSquare(pic, 700, 40, 19); // up to the last column
        edited.push_back(rows());
    });
    Convert(e, {source}, {}, out, {{"vcodec", "rawvideo"}, {"pix_fmt", "bgr24"}});
    const auto src = DecodePictures(source, AV_PIX_FMT_BGR24);
    const auto dst = DecodePictures(out, AV_PIX_FMT_BGR24);
    ASSERT_EQ(seen.size(), src.size());
    ASSERT_EQ(dst.size(), src.size());
    for (size_t i = 0; i < src.size(); ++i) {
        for (int y = 0; y < 96; ++y) {
            ASSERT_EQ(std::memcmp(seen[i].data() + y * 719 * 3,
                                  src[i]->data[0] + y * src[i]->linesize[0], 719 * 3),
                      0)
                << "frame " << i << " row " << y << " as the hook saw it";
            ASSERT_EQ(std::memcmp(edited[i].data() + y * 719 * 3,
                                  dst[i]->data[0] + y * dst[i]->linesize[0], 719 * 3),
                      0)
                << "frame " << i << " row " << y << " as written";
        }
    }
}

TEST_F(VideoTest, PreviewsAreSpacedAndShowTheEncodedPicture) {
    std::vector<int64_t> times, pts;
    std::vector<int> numbers;
    int width = 0, height = 0;
    TCustomFFmpeg e;
    e.SetPreviewCallback([&](TCustomFFmpeg*, TPicture& pic, int64_t p, int frameNumber) {
        times.push_back(av_gettime_relative());
        pts.push_back(p);
        numbers.push_back(frameNumber);
        width = pic.Width();
        height = pic.Height();
    });
    e.SetPreviewFlags(PreviewCallbackFlag);
    // Read at the native rate, so that the 1 s clip takes about a second.
    Convert(e, {SmallClip()}, {{"re", "1"}}, Out("preview.avi"),
            {{"vcodec", "mpeg4"}, {"s", "160x120"}});
    ASSERT_GE(times.size(), 5u);
    EXPECT_LE(times.size(), 11u);
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 120);
    // At a fixed frame rate a picture is encoded once the next one, which tells how long it
    // lasts, has been decoded.
    EXPECT_EQ(numbers.front(), 2);
    for (size_t i = 1; i < times.size(); ++i) {
        EXPECT_GE(times[i] - times[i - 1], 100000) << "preview " << i;
        EXPECT_GT(pts[i], pts[i - 1]);
        EXPECT_GT(numbers[i], numbers[i - 1]);
    }
    EXPECT_LE(pts.back(), 1000000);
}

TEST_F(VideoTest, DamagedAndBadInputsEndCleanly) {
    // A transport stream with 24 KiB of noise in its middle.
    MediaSpec spec = VideoOnly("mpeg2video", 352, 288, 4.0, "mpegts");
    const std::string& clean = Clip("damage-source.ts", spec);
    const std::string damaged = Out("damaged.ts");
    fs::copy_file(clean, damaged, fs::copy_options::overwrite_existing);
    {
        std::fstream f(damaged, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(fs::file_size(damaged) / 2));
        uint32_t seed = 12345;
        for (int i = 0; i < 24 * 1024; ++i) {
            seed = seed * 1664525u + 1013904223u;
            f.put(static_cast<char>(seed >> 24));
        }
    }
    {
        const std::string out = Out("from-damaged.avi");
        TCustomFFmpeg e;
        Convert(e, {damaged}, {}, out, {{"vcodec", "mpeg4"}, {"s", "176x144"}});
        const std::vector<int> n = ReadFrameNumbers(out);
        EXPECT_GT(n.size(), 70u);
        EXPECT_EQ(n.back(), 99) << "the run stopped at the damage";
    }
    for (const char* name :
         {"zero.mpg", "truncated.mp4", "truncated.ts", "random.bin", "text.mpg"}) {
        SCOPED_TRACE(name);
        TCustomFFmpeg e;
        e.SetOption("an", "1");
        if (!e.OpenInputFile(Fixture(name))) {
            continue;
        }
        e.SetOption("vcodec", "mpeg4");
        if (e.OpenOutputFile(Out(std::string(name) + ".avi"), false) < 0) {
            continue;
        }
        try {
            e.Transcode();
        } catch (const FFmpegException&) {
        }
        e.ReleaseAll();
    }
}

TEST_F(VideoTest, StatisticsAndTwoPassLogs) {
    const std::string stats = Out("vstats.log");
    const std::string passLog = Out("twopass");
    {
        TCustomFFmpeg e;
        Convert(e, {SmallClip()}, {}, Out("pass1.avi"),
                {{"vcodec", "mpeg4"},
                 {"b", "300000"},
                 {"pass", "1"},
                 {"passlogfile", passLog},
                 {"psnr", "1"},
                 {"vstats_file", stats}});
    }
    std::ifstream in(stats);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 25u);
    EXPECT_EQ(lines[0].rfind("frame=     1 q= ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("PSNR= "), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("type= I"), std::string::npos) << lines[0];
    EXPECT_NE(lines[24].find("frame=    25 "), std::string::npos) << lines[24];
    ASSERT_GT(fs::file_size(passLog + "-0.log"), 0u);

    const std::string out = Out("pass2.avi");
    TCustomFFmpeg e;
    Convert(e, {SmallClip()}, {}, out,
            {{"vcodec", "mpeg4"}, {"b", "300000"}, {"pass", "2"}, {"passlogfile", passLog}});
    ExpectSequence(ReadFrameNumbers(out), 25);
}

TEST_F(VideoTest, DeinterlacingAndFrameHookModules) {
    const auto src = DecodePictures(SmallClip(), AV_PIX_FMT_GRAY8, 3);
    {
        const std::string out = Out("deinterlaced.nut");
        TCustomFFmpeg e;
        Convert(e, {SmallClip()}, {}, out,
                {{"deinterlace", "1"}, {"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}});
        const auto dst = DecodePictures(out, AV_PIX_FMT_GRAY8, 3);
        ASSERT_EQ(dst.size(), 3u);
        for (size_t i = 0; i < dst.size(); ++i) {
            // Blended lines: close to the picture but not the same.
            const double d = MeanDiff(*dst[i], 0, 0, 320, 240, *src[i], 0, 0);
            EXPECT_GT(d, 0.05) << "frame " << i;
            EXPECT_LT(d, 8.0) << "frame " << i;
        }
    }
    {
        // The test module adds 20 to every luma sample.
        const std::string out = Out("vhook.nut");
        TCustomFFmpeg e;
        Convert(e, {SmallClip()}, {}, out,
                {{"vhook", std::string(QUOVO_TEST_HOOK) + " add 20"},
                 {"vcodec", "rawvideo"},
                 {"pix_fmt", "yuv420p"}});
        const auto dst = DecodePictures(out, AV_PIX_FMT_GRAY8, 3);
        ASSERT_EQ(dst.size(), 3u);
        EXPECT_GT(MeanLevel(*dst[0], 0, 0, 320, 240), MeanLevel(*src[0], 0, 0, 320, 240) + 10);
    }
    {
        // Deinterlaced, then hooked: the hook paints into the deinterlaced picture, and the
        // rest of it stays deinterlaced.
        const auto plain = DecodePictures(Out("deinterlaced.nut"), AV_PIX_FMT_GRAY8, 3);
        const std::string out = Out("deinterlaced-hooked.nut");
        TCustomFFmpeg e;
        e.SetHookCallback([](TCustomFFmpeg*, TPicture& pic, int, int64_t, bool&, bool&) {
            PaintSquare(pic, 16, 16, 32);
        });
        Convert(e, {SmallClip()}, {}, out,
                {{"deinterlace", "1"}, {"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}});
        const auto dst = DecodePictures(out, AV_PIX_FMT_GRAY8, 3);
        ASSERT_EQ(dst.size(), 3u);
        for (size_t i = 0; i < dst.size(); ++i) {
            EXPECT_GT(MeanLevel(*dst[i], 20, 20, 24, 24), 245) << "frame " << i;
            EXPECT_LT(MeanDiff(*dst[i], 0, 100, 320, 140, *plain[i], 0, 100), 2.0) << "frame " << i;
        }
    }
}

// Joined inputs of different sizes go on through a fresh encoder with the same settings.
TEST_F(VideoTest, JoinedInputsReopenTheEncoder) {
    const std::string& second =
        Clip("mpeg2-352x288.mpg", VideoOnly("mpeg2video", 352, 288, 1.0, "mpeg"));
    const std::string out = Out("joined.avi");
    TCustomFFmpeg e;
    ASSERT_TRUE(e.OpenInputFile(SmallClip())) << e.LastErrorText();
    ASSERT_TRUE(e.OpenInputFile(second)) << e.LastErrorText();
    e.SetOption("vcodec", "mpeg4");
    e.SetOption("qscale", "3");
    e.SetOption("s", "320x240");
    ASSERT_EQ(e.OpenOutputFile(out, true), 2) << e.LastErrorText();
    e.Transcode();
    EXPECT_TRUE(e.RunCompleted());
    e.ReleaseAll();

    const std::vector<FrameMark> marks = ReadFrameMarks(out);
    ASSERT_EQ(marks.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(marks[i].number, i % 25) << "frame " << i;
        if (i > 0) {
            EXPECT_NEAR(marks[i].ptsS - marks[i - 1].ptsS, 0.04, 0.001) << "frame " << i;
        }
    }
    const ProbeResult probe = ProbeMedia(out);
    const StreamProbe* v = probe.Find(StreamKind::Video);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->width, 320);
    EXPECT_EQ(v->decodeErrors, 0);
}

int64_t Bytes(const std::vector<PacketInfo>& packets, size_t from, size_t to) {
    int64_t sum = 0;
    for (size_t i = from; i < std::min(to, packets.size()); ++i) {
        sum += packets[i].size;
    }
    return sum;
}

// Encoder settings of the option vocabulary reach the encoder: each case against plain qscale 8.
TEST_F(VideoTest, EncoderSettingsReachTheEncoder) {
    // Grain, so that the quantiser shows in the sizes.
    MediaSpec spec = VideoOnly("mpeg2video", 320, 240, 1.0, "mpeg");
    spec.grain = 10;
    spec.videoBitRate = 4000000;
    const std::string& source = Clip("mpeg2-320x240-grain.mpg", spec);
    auto convert = [&](const std::string& name, Options options) {
        options.insert(options.begin(), {"vcodec", "mpeg4"});
        const std::string out = Out(name);
        TCustomFFmpeg e;
        Convert(e, {source}, {}, out, options);
        ExpectSequence(ReadFrameNumbers(out), 25);
        return StreamPackets(out, AVMEDIA_TYPE_VIDEO);
    };
    const auto plain = convert("plain.avi", {{"qscale", "8"}});
    ASSERT_EQ(plain.size(), 25u);
    EXPECT_LT(std::count_if(plain.begin(), plain.end(), [](auto& p) { return p.key; }), 5);

    const auto intra = convert("intra.avi", {{"qscale", "8"}, {"intra", "1"}});
    EXPECT_TRUE(std::all_of(intra.begin(), intra.end(), [](auto& p) { return p.key; }));

    const auto fine = convert("fine.avi", {{"qscale", "2"}});
    EXPECT_GT(Bytes(fine, 0, 25), 2 * Bytes(plain, 0, 25));

    // Under rate control, frames 0 to 9 forced to quantiser 2.
    const auto rated = convert("rate.avi", {{"b", "300000"}});
    const auto overridden = convert("override.avi", {{"b", "300000"}, {"rc_override", "0,9,2"}});
    EXPECT_GT(Bytes(overridden, 0, 10), 2 * Bytes(rated, 0, 10));

    // The decoder's quality is taken over: the run works and stays readable.
    convert("sameq.avi", {{"sameq", "1"}});
}

TEST_F(VideoTest, PreviewWindowThatClosesIsNotCalledAgain) {
    int windowCalls = 0;
    TCustomFFmpeg e;
    e.SetPreviewWindowCallback([&](TCustomFFmpeg*, TPicture& pic, int64_t, int) {
        ++windowCalls;
        EXPECT_EQ(pic.Width(), 320);
        return false; // the user closed it
    });
    e.SetPreviewFlags(PreviewWindowFlag);
    Convert(e, {SmallClip()}, {{"re", "1"}}, Out("window.avi"), {{"vcodec", "mpeg4"}});
    EXPECT_EQ(windowCalls, 1);
}

} // namespace
