// Run control of one task: starting inline and threaded, pause, stop, the end of a run and the
// progress report (its callback values and its log lines).
#include "TFFmpeg.h"

#include "EngineTest.h"
#include "Fixtures.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <regex>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace quovo;
using namespace quovo::fixtures;
using namespace quovo::testing_support;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Report {
    int input, frame, fps;
    float quality, bitRate;
    int64_t size, timeUs, total;
};

class FFmpegRunTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        FFLogger()->SetLogLevel(llVerbose);
        FFLogger()->SetOnLog(
            [this](TFFBaseComponent* sender, uint32_t, TLogLevel level, const std::string& msg) {
                std::lock_guard lock(mutex_);
                if (sender == &e_) {
                    log_.emplace_back(level, msg);
                }
            });
    }
    void TearDown() override {
        FFLogger()->SetOnLog(nullptr);
        FFLogger()->SetLogLevel(llWarning);
    }

    void Prepare(const std::vector<std::string>& inputs, const std::string& output,
                 const std::vector<std::pair<std::string, std::string>>& in,
                 const std::vector<std::pair<std::string, std::string>>& out, bool join = false) {
        EngineTest::Prepare(e_, inputs, in, output, out, join);
    }
    void CollectReports() {
        e_.SetProgressCallback([this](TCustomFFmpeg*, int input, int frame, int fps, float q,
                                      float rate, int64_t size, int64_t t, int64_t total) {
            {
                std::lock_guard lock(mutex_);
                reports_.push_back({input, frame, fps, q, rate, size, t, total});
            }
            reported_.notify_all();
        });
    }
    // Waits until a report says the output reached `timeUs`.
    bool WaitForOutputTime(int64_t timeUs) {
        std::unique_lock lock(mutex_);
        return reported_.wait_for(
            lock, 30s, [&] { return !reports_.empty() && reports_.back().timeUs >= timeUs; });
    }
    std::vector<std::string> Logged(TLogLevel level, const std::string& pattern) {
        std::lock_guard lock(mutex_);
        std::vector<std::string> found;
        const std::regex re(pattern);
        for (const auto& [l, text] : log_) {
            if (l == level && std::regex_search(text, re)) {
                found.push_back(text);
            }
        }
        return found;
    }

    std::mutex mutex_;
    std::condition_variable reported_;
    std::vector<std::pair<TLogLevel, std::string>> log_;
    std::vector<Report> reports_;
    TFFmpeg e_;
};

TEST_F(FFmpegRunTest, AStartWithoutFilesEndsAtOnceWithTheReason) {
    int terminated = 0;
    e_.SetTerminateCallback([&](TCustomFFmpeg* sender) {
        EXPECT_EQ(sender, &e_);
        ++terminated;
    });
    EXPECT_EQ(e_.StartConversion(true, tpNormal), nullptr);
    EXPECT_EQ(terminated, 1);
    EXPECT_TRUE(e_.ErrorFlag());
    EXPECT_EQ(e_.ErrorText(), "At least one output file must be specified");
    EXPECT_EQ(Logged(llQuiet, "^At least one output file must be specified$").size(), 1u);
    EXPECT_TRUE(e_.Terminated());
    EXPECT_FALSE(e_.Running());
    // An ended task does not start again.
    EXPECT_EQ(e_.StartConversion(true, tpNormal), nullptr);
    EXPECT_EQ(terminated, 1);
}

TEST_F(FFmpegRunTest, ThreadedRunNamesItsWorkerAndLowersItsPriority) {
    for (auto [priority, nice] : {std::pair{tpLowest, 10}, {tpLower, 5}, {tpNormal, 0}}) {
        SCOPED_TRACE(nice);
        TFFmpeg e;
        e.SetOption("re", "1");
        ASSERT_TRUE(e.OpenInputFile(Fixture("h264-aac.mkv")));
        e.SetOption("vcodec", "copy");
        e.SetOption("acodec", "copy");
        ASSERT_GT(e.OpenOutputFile(Out("prio.mkv"), false), 0);
        e.SetReportIntervalUs(100000);
        std::string name;
        int seenNice = -100;
        std::atomic<bool> reported{false};
        e.SetProgressCallback(
            [&](TCustomFFmpeg*, int, int, int, float, float, int64_t, int64_t, int64_t) {
                char buf[32] = "";
                pthread_getname_np(pthread_self(), buf, sizeof buf);
                name = buf;
                seenNice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
                reported = true;
            });
        TConvertThread* thread = e.StartConversion(true, priority);
        ASSERT_NE(thread, nullptr);
        EXPECT_TRUE(e.Running());
        EXPECT_EQ(e.StartConversion(true, priority), nullptr); // already running
        thread->Start();
        while (!reported) {
            std::this_thread::sleep_for(10ms);
        }
        e.RequestStop(true);
        EXPECT_FALSE(e.Running());
        EXPECT_TRUE(e.Terminated());
        EXPECT_FALSE(e.RunCompleted());
        ASSERT_FALSE(name.empty());
        EXPECT_EQ(name.rfind("convert-", 0), 0u) << name;
        EXPECT_EQ(seenNice, nice);
    }
}

TEST_F(FFmpegRunTest, StopTaskOnANeverStartedTaskTerminatesFromAnotherThread) {
    std::thread::id where;
    e_.SetTerminateCallback([&](TCustomFFmpeg*) {
        std::this_thread::sleep_for(50ms);
        where = std::this_thread::get_id();
    });
    e_.StopTask(true);
    EXPECT_NE(where, std::thread::id());
    EXPECT_NE(where, std::this_thread::get_id());
    EXPECT_TRUE(e_.Terminated());
    EXPECT_FALSE(e_.ErrorFlag());
}

TEST_F(FFmpegRunTest, StopOfAPausedRunReturnsWithTheTrailerWritten) {
    Prepare({Fixture("h264-aac.mkv")}, Out("paused.mkv"), {{"re", "1"}},
            {{"vcodec", "copy"}, {"acodec", "copy"}});
    e_.SetReportIntervalUs(100000);
    CollectReports();
    bool terminated = false;
    e_.SetTerminateCallback([&](TCustomFFmpeg*) { terminated = true; });
    e_.StartConversion(true, tpNormal)->Start();
    ASSERT_TRUE(WaitForOutputTime(500000));
    e_.PauseConversion();
    EXPECT_TRUE(e_.Paused());
    // Stopped while the worker waits in the gate.
    for (int i = 0; i < 3000 && !e_.Held(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(e_.Held());
    e_.RequestStop(true);
    EXPECT_TRUE(terminated);
    EXPECT_FALSE(e_.Paused());
    EXPECT_FALSE(e_.RunCompleted());
    const ProbeResult r = ProbeMedia(Out("paused.mkv"));
    ASSERT_NE(r.Find(StreamKind::Video), nullptr);
    EXPECT_GT(r.Find(StreamKind::Video)->decodedFrames, 5);
    EXPECT_LT(r.durationS, 1.5);
    EXPECT_GT(r.durationS, 0.2);
}

TEST_F(FFmpegRunTest, ReportLinesOfAnEncodingRun) {
    Prepare({Fixture("h264-aac.mkv")}, Out("encoded.mkv"), {},
            {{"vcodec", "mpeg4"}, {"an", "1"}, {"psnr", "1"}, {"qphist", "1"}, {"qscale", "4"}});
    e_.SetReportIntervalUs(100000);
    e_.StartConversion(false, tpNormal);
    EXPECT_TRUE(e_.RunCompleted()) << e_.ErrorText();
    // Without a callback the report is logged; the last one is marked "L".
    const auto last = Logged(llVerbose, "^frame=   50 fps=...? q=4\\.0 L[0-9A-F]{32}PSNR=Y:[0-9.]+ "
                                        "U:[0-9.]+ V:[0-9.]+ \\*:[0-9.]+ size= +[0-9]+kB "
                                        "time=[0-9.]+ bitrate= *[0-9.]+kbits/s$");
    ASSERT_EQ(last.size(), 1u) << (Logged(llVerbose, "frame=").empty()
                                       ? "no report"
                                       : Logged(llVerbose, "frame=").back());
    // The histogram counted quantiser 4 once per report: its digit is the only one set.
    const std::string hist = last[0].substr(last[0].find(" L") + 2, 32);
    for (int j = 0; j < 32; ++j) {
        EXPECT_EQ(hist[j] != '0', j == 4) << hist;
    }
    const auto summary = Logged(llVerbose, "^video:[0-9]+kB audio:0kB global headers:[0-9]+kB "
                                           "muxing overhead [0-9.]+%$");
    ASSERT_EQ(summary.size(), 1u);
    // The overhead is the file's bytes over the packets' bytes.
    const double overhead = std::stod(summary[0].substr(summary[0].find("overhead ") + 9));
    const ProbeResult r = ProbeMedia(Out("encoded.mkv"), ProbeDepth::Packets);
    EXPECT_GT(overhead, 0.0);
    EXPECT_LT(overhead, 50.0);
    EXPECT_EQ(r.Find(StreamKind::Video)->packets, 50);
}

TEST_F(FFmpegRunTest, ProgressCallbackValues) {
    Prepare({Fixture("h264-aac.mkv")}, Out("values.mkv"), {{"re", "1"}},
            {{"vcodec", "copy"}, {"acodec", "copy"}});
    e_.SetReportIntervalUs(150000);
    CollectReports();
    e_.StartConversion(false, tpNormal);
    ASSERT_TRUE(e_.RunCompleted());
    ASSERT_GE(reports_.size(), 5u);
    const Report& last = reports_.back();
    EXPECT_EQ(last.input, -1);
    EXPECT_EQ(last.frame, 50);
    EXPECT_EQ(last.quality, -1.0f);
    EXPECT_EQ(last.size, static_cast<int64_t>(fs::file_size(Out("values.mkv"))));
    EXPECT_NEAR(last.bitRate, last.size * 8 / (last.timeUs / 1e6) / 1000, 0.01);
    // Reading at the input's pace: 50 frames in about 2 s.
    EXPECT_GE(last.fps, 20);
    EXPECT_LE(last.fps, 30);
    EXPECT_NEAR(last.timeUs / 1e6, 2.0, 0.1);
    for (size_t i = 0; i + 1 < reports_.size(); ++i) {
        EXPECT_EQ(reports_[i].input, 0);
        EXPECT_GE(reports_[i].frame, 1);
        EXPECT_EQ(reports_[i].total, last.total);
    }
    // With a callback the line is not logged, the summary is.
    EXPECT_TRUE(Logged(llVerbose, "^frame=").empty());
    EXPECT_EQ(Logged(llVerbose, "^video:").size(), 1u);
}

TEST_F(FFmpegRunTest, NoReportBeforeTheFirstPicture) {
    Prepare({Fixture("h264-aac.mkv")}, Out("none.mkv"), {},
            {{"vcodec", "copy"}, {"acodec", "copy"}, {"vframes", "0"}});
    CollectReports();
    e_.StartConversion(false, tpNormal);
    EXPECT_TRUE(reports_.empty());
    EXPECT_TRUE(Logged(llVerbose, "^video:").empty());
}

TEST_F(FFmpegRunTest, SummaryWithNothingWrittenSaysSo) {
    Prepare({Fixture("h264-aac.mkv")}, Out("silent.mka"), {},
            {{"vn", "1"}, {"acodec", "copy"}, {"aframes", "0"}});
    CollectReports();
    e_.StartConversion(false, tpNormal);
    ASSERT_EQ(reports_.size(), 1u);
    // Audio only: no frame counter, and no stream has a time yet.
    EXPECT_EQ(reports_[0].frame, -1);
    EXPECT_EQ(reports_[0].fps, -1);
    EXPECT_EQ(reports_[0].timeUs, 10000000000000000LL);
    EXPECT_EQ(Logged(llVerbose, "^video:0kB audio:0kB global headers:0kB muxing overhead unknown$")
                  .size(),
              1u);
}

// Headers that promise pictures no packet can fill: nothing is ever encoded, and the run says
// so instead of leaving an empty file behind as a success.
TEST_F(FFmpegRunTest, ARunThatNeverMadeAPictureFailsAndLeavesNothing) {
    const std::string in = Out("claims-16000.avi");
    MakeClaimedSizeAvi(in, 16000, 16000, 50, 9000);
    const std::string out = Out("never.mp4");
    Prepare({in}, out, {}, {{"vcodec", "libx264"}, {"s", "320x240"}});
    e_.StartConversion(false, tpNormal);
    EXPECT_FALSE(e_.RunCompleted());
    EXPECT_TRUE(e_.ErrorFlag());
    EXPECT_TRUE(std::regex_match(e_.ErrorText(),
                                 std::regex("Output stream #0\\.0 \\(Video\\) received no frame: "
                                            "input stream #0\\.0 \\(rawvideo decoder\\) had 50 "
                                            "packets; last decoder error: .+")))
        << e_.ErrorText();
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(fs::exists(in));
}

// Picture sizes the library refuses, or beyond what a conversion sanely holds, are refused
// with their size before anything is made for them.
TEST_F(FFmpegRunTest, AbsurdPictureSizesAreRefusedUpFront) {
    const std::string limits =
        " are too large to convert (at most 16384x16384 and 268435456 pixels)";
    // clang-format off
    const struct {
        int width, height; // claimed by the input
        const char* size;  // asked of the output
        std::string error;
    } cases[] = {
        {20000, 20000, "320x240", "Input stream #0.0: the picture size is not known (missing, or refused by the library as too large)"},
        {17000, 64, "320x240", "Input stream #0.0: pictures of 17000x64" + limits},
        {320, 240, "17000x64", "Output stream #0.0: pictures of 17000x64" + limits},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const std::string in = Out("claims.avi");
        MakeClaimedSizeAvi(in, c.width, c.height, 5, 9000);
        const std::string out = Out("refused.mkv");
        TFFmpeg e;
        EngineTest::Prepare(e, {in}, {}, out, {{"vcodec", "mpeg4"}, {"s", c.size}});
        e.StartConversion(false, tpNormal);
        EXPECT_FALSE(e.RunCompleted());
        EXPECT_EQ(e.ErrorText(), c.error);
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST_F(FFmpegRunTest, JoinedInputsReportTheSumAsTotal) {
    Prepare({Fixture("h264-aac.mkv"), Fixture("h264-aac.mkv")}, Out("joined.mkv"), {},
            {{"vcodec", "copy"}, {"acodec", "copy"}}, true);
    CollectReports();
    e_.StartConversion(false, tpNormal);
    ASSERT_TRUE(e_.RunCompleted()) << e_.ErrorText();
    ASSERT_FALSE(reports_.empty());
    AVFormatContext* ic = nullptr;
    ASSERT_EQ(avformat_open_input(&ic, Fixture("h264-aac.mkv").c_str(), nullptr, nullptr), 0);
    const int64_t one = ic->duration;
    avformat_close_input(&ic);
    EXPECT_EQ(reports_.back().total, 2 * one);
    EXPECT_EQ(reports_.back().frame, 100);
}

} // namespace
