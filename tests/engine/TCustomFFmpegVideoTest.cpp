// Picture processing through the engine: encoders and containers, crop and scaling, size changes,
// frame-rate synchronisation, filter chains, the picture hook and previews. Outputs are checked
// by probing and decoding them with the libraries.
#include "TCustomFFmpeg.h"

#include "Fixtures.h"
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
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>

using namespace quovo;
using namespace quovo::fixtures;
namespace fs = std::filesystem;

namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

// Collects engine messages while alive.
class LogLines {
public:
    LogLines() {
        FFLogger()->SetLogLevel(llDebug);
        FFLogger()->SetOnLog([this](TFFBaseComponent*, uint32_t, TLogLevel, const std::string& m) {
            std::lock_guard lock(mutex_);
            lines_.push_back(m);
        });
    }
    ~LogLines() {
        FFLogger()->SetOnLog(nullptr);
        FFLogger()->SetLogLevel(llWarning);
    }
    int Count(const std::string& text) {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count_if(lines_.begin(), lines_.end(), [&](const auto& l) {
            return l.find(text) != std::string::npos;
        }));
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

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

// Decoded pictures of the first video stream, converted to `format`.
std::vector<AvFramePtr> DecodePictures(const std::string& path, AVPixelFormat format,
                                       int maxFrames = 1 << 30) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        throw std::runtime_error("cannot open " + path);
    }
    AvInputContextPtr ic(raw);
    avformat_find_stream_info(ic.get(), nullptr);
    const int index = av_find_best_stream(ic.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        throw std::runtime_error("no video in " + path);
    }
    const AVCodecParameters* par = ic->streams[index]->codecpar;
    AvCodecContextPtr dec(avcodec_alloc_context3(avcodec_find_decoder(par->codec_id)));
    avcodec_parameters_to_context(dec.get(), par);
    dec->thread_count = 1;
    if (avcodec_open2(dec.get(), avcodec_find_decoder(par->codec_id), nullptr) < 0) {
        throw std::runtime_error("cannot decode " + path);
    }
    std::vector<AvFramePtr> out;
    AvPacketPtr pkt = MakePacket();
    AvFramePtr frame = MakeFrame();
    SwsContextPtr sws;
    auto receive = [&] {
        while (avcodec_receive_frame(dec.get(), frame.get()) >= 0) {
            if (static_cast<int>(out.size()) < maxFrames) {
                AvFramePtr pic = MakeFrame();
                pic->format = format;
                pic->width = frame->width;
                pic->height = frame->height;
                av_frame_get_buffer(pic.get(), 0);
                sws.reset(sws_getCachedContext(
                    sws.release(), frame->width, frame->height,
                    static_cast<AVPixelFormat>(frame->format), frame->width, frame->height, format,
                    SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr,
                    nullptr));
                sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, pic->data,
                          pic->linesize);
                out.push_back(std::move(pic));
            }
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(ic.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == index) {
            avcodec_send_packet(dec.get(), pkt.get());
            receive();
        }
        av_packet_unref(pkt.get());
    }
    avcodec_send_packet(dec.get(), nullptr);
    receive();
    return out;
}

// Mean absolute difference of two grey pictures over a rectangle of `a` and the same-sized one
// of `b` at (bx, by).
double MeanDiff(const AVFrame& a, int ax, int ay, int w, int h, const AVFrame& b, int bx,
                int by) {
    double sum = 0;
    for (int y = 0; y < h; ++y) {
        const uint8_t* pa = a.data[0] + static_cast<ptrdiff_t>(ay + y) * a.linesize[0] + ax;
        const uint8_t* pb = b.data[0] + static_cast<ptrdiff_t>(by + y) * b.linesize[0] + bx;
        for (int x = 0; x < w; ++x) {
            sum += std::abs(pa[x] - pb[x]);
        }
    }
    return sum / (static_cast<double>(w) * h);
}

double MeanLevel(const AVFrame& grey, int x0, int y0, int w, int h) {
    double sum = 0;
    for (int y = y0; y < y0 + h; ++y) {
        for (int x = x0; x < x0 + w; ++x) {
            sum += grey.data[0][static_cast<ptrdiff_t>(y) * grey.linesize[0] + x];
        }
    }
    return sum / (static_cast<double>(w) * h);
}

// A grey picture of `src`'s area (x, y, w, h) scaled to dw x dh, as a reference.
AvFramePtr ScaledGrey(const AVFrame& grey, int x, int y, int w, int h, int dw, int dh) {
    AvFramePtr out = MakeFrame();
    out->format = AV_PIX_FMT_GRAY8;
    out->width = dw;
    out->height = dh;
    av_frame_get_buffer(out.get(), 0);
    SwsContextPtr sws(sws_getContext(w, h, AV_PIX_FMT_GRAY8, dw, dh, AV_PIX_FMT_GRAY8,
                                     SWS_BICUBIC, nullptr, nullptr, nullptr));
    const uint8_t* src[4] = {grey.data[0] + static_cast<ptrdiff_t>(y) * grey.linesize[0] + x};
    const int srcLinesize[4] = {grey.linesize[0]};
    sws_scale(sws.get(), src, srcLinesize, 0, h, out->data, out->linesize);
    return out;
}

class VideoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FFLogger()->SetTriggerEventInMainThread(false);
        ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    }

    void SetUp() override {
        dir_ = fs::path(FixtureDir()) /
               (std::string("video-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        FFLogger()->SetLogLevel(llWarning);
        if (getenv("VIDEO_TEST_LOG")) {
            FFLogger()->SetLogLevel(llDebug);
            FFLogger()->SetOnLog([](TFFBaseComponent*, uint32_t, TLogLevel, const std::string& m) {
                fprintf(stderr, "LOG: %s\n", m.c_str());
            });
        }
    }

    std::string Out(const std::string& name) const { return (dir_ / name).string(); }

    // Opens `input` with `in` options, creates `output` with `out` options and converts.
    static void Convert(TCustomFFmpeg& e, const std::string& input, const Options& in,
                        const std::string& output, const Options& out) {
        for (const auto& [n, v] : in) {
            e.SetOption(n, v);
        }
        ASSERT_TRUE(e.OpenInputFile(input)) << e.LastErrorText();
        for (const auto& [n, v] : out) {
            e.SetOption(n, v);
        }
        ASSERT_GT(e.OpenOutputFile(output, false), 0) << e.LastErrorText();
        e.Transcode();
        EXPECT_TRUE(e.RunCompleted());
        e.ReleaseAll();
    }

    fs::path dir_;
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
    const std::vector<Case> cases = {
        {"mpeg4.avi", {{"vcodec", "mpeg4"}, {"qscale", "3"}}, "mpeg4", "yuv420p"},
        // What the shipped x264 presets set; the generic defaults alone are refused by libx264.
        {"x264.mp4",
         {{"vcodec", "libx264"}, {"me_range", "16"}, {"subq", "7"}, {"qmin", "10"}, {"qmax", "51"}},
         "h264",
         "yuv420p"},
        {"wmv2.asf", {{"vcodec", "wmv2"}, {"b", "800000"}}, "wmv2", "yuv420p"},
        {"flv1.flv", {{"b", "800000"}}, "flv1", "yuv420p"},
        {"mjpeg.avi",
         {{"vcodec", "mjpeg"}, {"qscale", "3"}, {"pix_fmt", "yuvj420p"}},
         "mjpeg",
         "yuvj420p"},
        {"raw.nut", {{"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}}, "rawvideo", "yuv420p"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const std::string out = Out(c.output);
        TCustomFFmpeg e;
        Options options = c.options;
        options.push_back({"s", "320x240"});
        Convert(e, Mpeg2Clip(), {}, out, options);
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

} // namespace
