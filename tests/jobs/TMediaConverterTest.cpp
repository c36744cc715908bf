// The conversion component: task list, option records, runs inline and threaded, stop, pause and
// the four events. Outputs are checked by probing and decoding them.
#include "TMediaConverter.h"

#include "Fixtures.h"
#include "MainThread.h"
#include "MyUtils.h"
#include "SmallDisk.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

using namespace quovo;
using namespace quovo::fixtures;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// Everything the events delivered, readable from the test thread.
struct EventLog {
    std::mutex mutex;
    std::vector<TTerminateInfo> terminates;
    std::vector<std::thread::id> terminateThreads;
    std::vector<TProgressInfo> progress;
    std::vector<Clock::time_point> progressTimes;
    std::vector<std::thread::id> progressThreads;

    void Attach(TMediaConverter& c) {
        c.SetOnTerminate([this](TCustomMediaConverter*, const TTerminateInfo& info) {
            std::lock_guard lock(mutex);
            terminates.push_back(info);
            terminateThreads.push_back(std::this_thread::get_id());
        });
        c.SetOnProgress([this](TCustomMediaConverter*, TProgressInfo* info) {
            std::lock_guard lock(mutex);
            progress.push_back(*info);
            progressTimes.push_back(Clock::now());
            progressThreads.push_back(std::this_thread::get_id());
        });
    }
    bool FinalSeen() {
        std::lock_guard lock(mutex);
        for (const auto& t : terminates) {
            if (t.TaskIndex == -1) {
                return true;
            }
        }
        return false;
    }
    size_t ProgressCount() {
        std::lock_guard lock(mutex);
        return progress.size();
    }
    const TTerminateInfo* Of(int task) {
        for (const auto& t : terminates) {
            if (t.TaskIndex == task) {
                return &t;
            }
        }
        return nullptr;
    }
};

class MediaConverterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FFLogger()->SetTriggerEventInMainThread(false);
        ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    }
    void SetUp() override {
        FFLogger()->SetLogLevel(llError);
        dir_ = fs::path(FixtureDir()) /
               (std::string("converter-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    std::string Out(const std::string& name) const { return (dir_ / name).string(); }

    // Serves the main-thread queue (as the application's event loop would) until `done`.
    static bool ServeUntil(const std::function<bool()>& done, std::chrono::seconds limit = 60s) {
        const auto end = Clock::now() + limit;
        while (!done()) {
            if (Clock::now() > end) {
                return false;
            }
            WaitAndDrainMainThreadQueue(10ms);
        }
        return true;
    }

    // A task copying `fixture` to `output`; `realTime` reads the input at its own pace.
    static int AddCopyTask(TMediaConverter& c, const std::string& fixture,
                           const std::string& output, bool realTime,
                           TOutputOptions out = TOutputOptions{}) {
        TInputOptions in;
        if (realTime) {
            in.ExtOptions = "re=1";
        }
        const int index = c.AddTask(Fixture(fixture), &in);
        EXPECT_GE(index, 0) << c.LastErrMsg();
        if (out.VideoCodec.empty()) {
            out.VideoCodec = "copy";
        }
        if (out.AudioCodec.empty()) {
            out.AudioCodec = "copy";
        }
        EXPECT_TRUE(c.SetOutputFile(index, output, &out)) << c.LastErrMsg();
        return index;
    }

    // A complete, readable output: every frame decodes, in order.
    // A stopped copy may end inside a group of pictures, so pictures whose references were
    // never written are missing at the end: `contiguous` only for complete runs.
    static void ExpectPlayable(const std::string& path, int minFrames, bool contiguous = true) {
        ASSERT_TRUE(fs::exists(path)) << path;
        const ProbeResult r = ProbeMedia(path);
        const StreamProbe* v = r.Find(StreamKind::Video);
        ASSERT_NE(v, nullptr) << path;
        EXPECT_GE(v->decodedFrames, minFrames) << path;
        EXPECT_EQ(v->decodeErrors, 0) << path;
        const std::vector<int> numbers = ReadFrameNumbers(path);
        ASSERT_FALSE(numbers.empty());
        EXPECT_EQ(numbers.front(), 0) << path;
        for (size_t i = 1; i < numbers.size(); ++i) {
            if (contiguous) {
                EXPECT_EQ(numbers[i], numbers[i - 1] + 1) << path << " at " << i;
            } else {
                EXPECT_GT(numbers[i], numbers[i - 1]) << path << " at " << i;
            }
        }
    }

    fs::path dir_;
};

TEST_F(MediaConverterTest, PropertiesKeepTheirRules) {
    TMediaConverter c;
    EXPECT_EQ(c.Version(), "3.3");
    EXPECT_EQ(c.ProgressInterval(), 500);
    for (auto [set, read] : {std::pair{0, 100}, {50, 100}, {100, 100}, {101, 101}, {-7, 100}}) {
        c.SetProgressInterval(set);
        EXPECT_EQ(c.ProgressInterval(), read) << set;
    }
    EXPECT_TRUE(c.TriggerEventInMainThread());
    EXPECT_EQ(c.ThreadPriority(), tpNormal);
    EXPECT_FALSE(c.Preview());
    EXPECT_FALSE(c.PreviewBitmap());
    EXPECT_TRUE(c.LibrariesLoaded());

    // Codec threads reach the decoders and encoders of tasks added afterwards.
    EXPECT_EQ(c.CodecThreads(), 1);
    for (int threads : {1, 0, 3}) {
        c.SetCodecThreads(threads);
        const int i = c.AddTask(Fixture("h264-aac.mkv"));
        ASSERT_GE(i, 0) << c.LastErrMsg();
        EXPECT_EQ(c.Task(i)->Options().threadCount, threads);
    }
}

TEST_F(MediaConverterTest, AddTaskFailuresLeaveTheListAlone) {
    TMediaConverter c;
    ASSERT_EQ(c.AddTask(Fixture("h264-aac.mkv")), 0);
    for (const std::string& bad :
         {Fixture("random.bin"), Fixture("text.mpg"), Out("missing.mkv")}) {
        SCOPED_TRACE(bad);
        TCustomFFmpeg direct;
        ASSERT_FALSE(direct.OpenInputFile(bad));
        EXPECT_EQ(c.AddTask(bad), -1);
        EXPECT_EQ(c.LastErrMsg(), direct.LastErrorText());
        EXPECT_FALSE(c.LastErrMsg().empty());
        EXPECT_EQ(c.TaskCount(), 1);
    }
    // A rejected option fails the same way.
    TInputOptions in;
    in.ExtOptions = "itsscale=nonsense";
    in.FileFormat = "nosuchformat";
    EXPECT_EQ(c.AddTask(Fixture("h264-aac.mkv"), &in), -1);
    EXPECT_FALSE(c.LastErrMsg().empty());
    EXPECT_EQ(c.TaskCount(), 1);

    // The task's input carries a probe attached to the opened file; the record got the name.
    in = TInputOptions{};
    ASSERT_EQ(c.AddTask(Fixture("two-audio.mkv"), &in), 1);
    EXPECT_EQ(in.FileName, Fixture("two-audio.mkv"));
    TAVProbe* probe = c.InputProbe(1, 0);
    ASSERT_NE(probe, nullptr);
    EXPECT_FALSE(probe->OwnsContext());
    EXPECT_EQ(probe->AudioStreamCount(), 2);
    EXPECT_EQ(c.InputProbe(1, 1), nullptr);
    try {
        c.Task(5);
        ADD_FAILURE() << "no error for a bad index";
    } catch (const FFmpegException& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (5)");
    }
    c.RemoveTask(0);
    EXPECT_EQ(c.TaskCount(), 1);
    EXPECT_EQ(c.InputProbe(0, 0), probe);
}

TEST_F(MediaConverterTest, TheTwentyFirstOutputIsRefused) {
    TMediaConverter c;
    ASSERT_EQ(c.AddTask(Fixture("h264-aac.mkv")), 0);
    TOutputOptions o;
    o.VideoCodec = o.AudioCodec = "copy";
    for (int i = 0; i < 20; ++i) {
        TOutputOptions copy = o;
        ASSERT_TRUE(c.SetOutputFile(0, Out("out" + std::to_string(i) + ".mkv"), &copy))
            << i << ": " << c.LastErrMsg();
    }
    TOutputOptions copy = o;
    EXPECT_FALSE(c.SetOutputFile(0, Out("out20.mkv"), &copy));
    EXPECT_EQ(c.LastErrMsg(), "max output files 20 reached");
    EXPECT_FALSE(fs::exists(Out("out20.mkv")));
    EXPECT_EQ(c.Task(0)->OutputFileCount(), 20);
    // Outputs that never got a byte are removed with the task.
    c.ClearTasks();
    EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(MediaConverterTest, InlineRunEndsEveryTaskThenRaisesTheFinalEvent) {
    EventLog log; // outlives the converter, whose last events it may still receive
    TMediaConverter c;
    log.Attach(c);
    AddCopyTask(c, "h264-aac.mkv", Out("a.mp4"), false);
    AddCopyTask(c, "mpeg2-mp2.ts", Out("b.mkv"), false);
    // A task without an output ends at once with its error.
    ASSERT_EQ(c.AddTask(Fixture("h264-aac.mp4")), 2);
    c.StartTask(0);

    // Everything has happened, on this thread, in order, by the time StartTask returns.
    ASSERT_EQ(log.terminates.size(), 4u);
    const int order[] = {0, 1, 2, -1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(log.terminates[i].TaskIndex, order[i]);
        EXPECT_EQ(log.terminateThreads[i], std::this_thread::get_id());
    }
    EXPECT_TRUE(log.terminates[0].Finished);
    EXPECT_FALSE(log.terminates[0].Exception);
    EXPECT_TRUE(log.terminates[1].Finished);
    EXPECT_FALSE(log.terminates[2].Finished);
    EXPECT_TRUE(log.terminates[2].Exception);
    EXPECT_EQ(log.terminates[2].ExceptionMsg, "At least one output file must be specified");
    EXPECT_TRUE(log.terminates[3].Finished);
    EXPECT_FALSE(log.terminates[3].Exception);
    EXPECT_EQ(log.terminates[3].ExceptionMsg, "");
    EXPECT_TRUE(c.AllDone());

    EXPECT_EQ(ReadFrameNumbers(Out("a.mp4")), ReadFrameNumbers(Fixture("h264-aac.mkv")));
    EXPECT_EQ(ReadFrameNumbers(Out("b.mkv")), ReadFrameNumbers(Fixture("mpeg2-mp2.ts")));

    // A finished run refuses changes until it is cleared.
    for (const auto& [name, call] : std::vector<std::pair<std::string, std::function<void()>>>{
             {"AddTask", [&] { c.AddTask(Fixture("h264-aac.mkv")); }},
             {"SetOutputFile", [&] { c.SetOutputFile(0, Out("c.mkv")); }},
             {"RemoveTask", [&] { c.RemoveTask(0); }},
             {"StartTask", [&] { c.StartTask(0); }}}) {
        try {
            call();
            ADD_FAILURE() << name << " accepted";
        } catch (const FFmpegException& e) {
            EXPECT_EQ(e.what(), "Cannot " + name + " while working.");
        }
    }
    c.ClearTasks();
    EXPECT_FALSE(c.Working());
    EXPECT_EQ(c.AddTask(Fixture("h264-aac.mkv")), 0);
}

TEST_F(MediaConverterTest, ThreadedRunKeepsAtMostNTasksGoing) {
    EventLog log; // outlives the converter, whose last events it may still receive
    TMediaConverter c;
    log.Attach(c);
    c.SetTriggerEventInMainThread(false);
    for (int i = 0; i < 3; ++i) {
        AddCopyTask(c, "h264-aac.mkv", Out("t" + std::to_string(i) + ".mkv"), true);
    }
    c.StartTask(2);
    int mostRunning = 0;
    bool thirdStartedEarly = false;
    bool thirdSeenRunning = false;
    ASSERT_TRUE(ServeUntil([&] {
        const bool first = c.Task(0)->Running() || c.Task(0)->Terminated();
        const bool second = c.Task(1)->Running() || c.Task(1)->Terminated();
        const bool third = c.Task(2)->Running() || c.Task(2)->Terminated();
        int running = 0;
        for (int i = 0; i < 3; ++i) {
            running += c.Task(i)->Running() ? 1 : 0;
        }
        mostRunning = std::max(mostRunning, running);
        if (third && !(c.Task(0)->Terminated() || c.Task(1)->Terminated())) {
            thirdStartedEarly = true;
        }
        thirdSeenRunning = thirdSeenRunning || c.Task(2)->Running();
        EXPECT_TRUE(first && second);
        return log.FinalSeen();
    }));
    EXPECT_EQ(mostRunning, 2);
    EXPECT_FALSE(thirdStartedEarly);
    EXPECT_TRUE(thirdSeenRunning);
    std::lock_guard lock(log.mutex);
    ASSERT_EQ(log.terminates.size(), 4u);
    EXPECT_EQ(log.terminates.back().TaskIndex, -1);
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(log.Of(i), nullptr);
        EXPECT_TRUE(log.Of(i)->Finished);
        // Deliveries in threaded runs come from threads of their own.
        EXPECT_NE(log.terminateThreads[i], std::this_thread::get_id());
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadFrameNumbers(Out("t" + std::to_string(i) + ".mkv")),
                  ReadFrameNumbers(Fixture("h264-aac.mkv")));
    }
}

TEST_F(MediaConverterTest, StopEndsTheRunningTaskPlayableAndEveryOtherTask) {
    EventLog log; // outlives the converter, whose last events it may still receive
    TMediaConverter c;
    log.Attach(c);
    c.SetProgressInterval(100);
    // Progress goes to this thread: Stop(true) must keep serving it while it waits.
    for (int i = 0; i < 3; ++i) {
        AddCopyTask(c, "h264-aac.mkv", Out("s" + std::to_string(i) + ".mkv"), true);
    }
    c.StartTask(1);
    ASSERT_TRUE(ServeUntil([&] {
        std::lock_guard lock(log.mutex);
        return !log.progress.empty() && log.progress.back().CurrentDuration > 600000;
    }));
    // Until the task ends its output has only the temporary name.
    EXPECT_TRUE(fs::exists(Out("s0.mkv.part")));
    EXPECT_FALSE(fs::exists(Out("s0.mkv")));
    c.Stop(true);
    EXPECT_FALSE(c.Task(0)->Running());
    EXPECT_TRUE(c.Task(0)->Terminated());
    ASSERT_TRUE(ServeUntil([&] { return log.FinalSeen(); }));

    {
        std::lock_guard lock(log.mutex); // not held into the converter: its handlers take it
        ASSERT_EQ(log.terminates.size(), 4u);
        EXPECT_EQ(log.terminates.back().TaskIndex, -1);
        EXPECT_TRUE(log.terminates.back().Finished);
        for (int i = 0; i < 3; ++i) {
            ASSERT_NE(log.Of(i), nullptr) << i;
            EXPECT_FALSE(log.Of(i)->Finished) << i;
            EXPECT_FALSE(log.Of(i)->Exception) << i;
        }
    }
    // The stopped output has its trailer: it opens, and what it holds decodes.
    ExpectPlayable(Out("s0.mkv"), 10, false);
    const ProbeResult r = ProbeMedia(Out("s0.mkv"));
    EXPECT_LT(r.durationS, 1.9);
    EXPECT_FALSE(fs::exists(Out("s0.mkv.part")));
    c.ClearTasks();
    for (const char* name : {"s1.mkv", "s2.mkv", "s1.mkv.part", "s2.mkv.part"}) {
        EXPECT_FALSE(fs::exists(Out(name))) << name;
    }
}

TEST_F(MediaConverterTest, PauseHoldsEveryEventAndResumeFinishes) {
    EventLog log; // outlives the converter, whose last events it may still receive
    TMediaConverter c;
    log.Attach(c);
    c.SetTriggerEventInMainThread(false);
    c.SetProgressInterval(100);
    AddCopyTask(c, "h264-aac.mkv", Out("p.mkv"), true);
    c.StartTask(1);
    ASSERT_TRUE(ServeUntil([&] { return log.ProgressCount() >= 2; }));
    c.Pause();
    c.Pause(); // a second pause changes nothing
    // A report under way when pausing still lands; once the worker is held, nothing does.
    ASSERT_TRUE(ServeUntil([&] { return c.Task(0)->Held(); }));
    const size_t before = log.ProgressCount();
    // Until the task ends the output is written under its temporary name.
    const auto sizeBefore = fs::file_size(Out("p.mkv.part"));
    std::this_thread::sleep_for(700ms); // a while held: nothing may move
    EXPECT_EQ(log.ProgressCount(), before);
    EXPECT_EQ(fs::file_size(Out("p.mkv.part")), sizeBefore);
    EXPECT_TRUE(c.Task(0)->Running());
    c.Resume();
    ASSERT_TRUE(ServeUntil([&] { return log.FinalSeen(); }));
    EXPECT_GT(log.ProgressCount(), before);
    ASSERT_NE(log.Of(0), nullptr);
    EXPECT_TRUE(log.Of(0)->Finished);
    EXPECT_EQ(ReadFrameNumbers(Out("p.mkv")), ReadFrameNumbers(Fixture("h264-aac.mkv")));
}

TEST_F(MediaConverterTest, StoppingAPausedTaskEndsIt) {
    EventLog log; // outlives the converter, whose last events it may still receive
    TMediaConverter c;
    log.Attach(c);
    c.SetProgressInterval(100);
    AddCopyTask(c, "h264-aac.mkv", Out("ps.mkv"), true);
    c.StartTask(1);
    ASSERT_TRUE(ServeUntil([&] { return log.ProgressCount() >= 3; }));
    c.Pause();
    ASSERT_TRUE(ServeUntil([&] { return c.Task(0)->Held(); }));
    c.Stop(true);
    EXPECT_TRUE(c.Task(0)->Terminated());
    ASSERT_TRUE(ServeUntil([&] { return log.FinalSeen(); }));
    ASSERT_NE(log.Of(0), nullptr);
    EXPECT_FALSE(log.Of(0)->Finished);
    ExpectPlayable(Out("ps.mkv"), 5, false);
}

TEST_F(MediaConverterTest, StopBeforeStartEndsTasksOnOtherThreads) {
    EventLog log; // outlives the converter, whose last events it may still receive
    TMediaConverter c;
    log.Attach(c);
    AddCopyTask(c, "h264-aac.mkv", Out("n0.mkv"), false);
    AddCopyTask(c, "h264-aac.mkv", Out("n1.mkv"), false);
    c.Stop(true);
    ASSERT_EQ(log.terminates.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(log.terminates[i].TaskIndex, i);
        EXPECT_FALSE(log.terminates[i].Finished);
        EXPECT_NE(log.terminateThreads[i], std::this_thread::get_id());
    }
    c.Stop(true); // ended tasks are left alone
    EXPECT_EQ(log.terminates.size(), 2u);
}

// Stop(true) from inside a handler: the other running task's own events wait for that handler
// (one lock per event kind, and the main thread is inside it), so the stop must not wait for
// that task. Every task still ends, with the final event last.
TEST_F(MediaConverterTest, StopFromInsideAHandlerDoesNotHang) {
    enum class From { Progress, Preview, Hook, Terminate };
    struct Case {
        const char* name;
        From from;
        bool toMainThread;
        int threads;
    };
    const Case cases[] = {
        {"progress on the main thread", From::Progress, true, 2},
        {"progress on the worker", From::Progress, false, 2},
        {"preview on the main thread", From::Preview, true, 2},
        {"hook", From::Hook, false, 2},
        {"terminate, threaded", From::Terminate, false, 2},
        {"terminate, inline", From::Terminate, false, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EventLog log; // outlives the converter, whose last events it may still receive
        TMediaConverter c;
        log.Attach(c);
        std::atomic<bool> stopped{false};
        auto stopOnce = [&] {
            if (!stopped.exchange(true)) {
                c.Stop(true);
            }
        };
        c.SetTriggerEventInMainThread(k.toMainThread);
        c.SetProgressInterval(100);
        TOutputOptions encoded;
        encoded.VideoCodec = "mpeg4";
        encoded.AudioCodec = "mp2";
        encoded.CustomHook = k.from == From::Hook;
        switch (k.from) {
        case From::Progress:
            c.SetOnProgress([&](TCustomMediaConverter*, TProgressInfo*) { stopOnce(); });
            break;
        case From::Preview:
            c.SetPreviewBitmap(true);
            c.SetOnPreviewBitmap([&](TCustomMediaConverter*, const TPreviewInfo&) { stopOnce(); });
            break;
        case From::Hook:
            c.SetOnCustomHook([&](TCustomMediaConverter*, THookInfo*) { stopOnce(); });
            break;
        case From::Terminate:
            c.SetOnTerminate([&](TCustomMediaConverter*, const TTerminateInfo& info) {
                {
                    std::lock_guard lock(log.mutex);
                    log.terminates.push_back(info);
                }
                stopOnce();
            });
            break;
        }
        // With a terminate handler, a short first task ends while the second still runs.
        TOutputOptions first = encoded;
        if (k.from == From::Terminate) {
            first.RecordingTime = 300000;
        }
        AddCopyTask(c, "h264-aac.mkv", Out("h0.mkv"), true, first);
        AddCopyTask(c, "h264-aac.mkv", Out("h1.mkv"), true, encoded);
        AddCopyTask(c, "h264-aac.mkv", Out("h2.mkv"), true, encoded);
        // A hang may hold this very thread inside the handler: a watchdog ends the program.
        std::mutex watchMutex;
        std::condition_variable watchDone;
        bool finished = false;
        std::thread watchdog([&] {
            std::unique_lock lock(watchMutex);
            if (!watchDone.wait_for(lock, 60s, [&] { return finished; })) {
                std::fprintf(stderr, "%s: the run hangs after a stop from inside a handler\n",
                             k.name);
                std::_Exit(1); // the converter cannot be torn down: its tasks never end
            }
        });
        c.StartTask(k.threads);
        const bool ended = ServeUntil([&] { return log.FinalSeen(); }, 60s);
        {
            std::lock_guard lock(watchMutex);
            finished = true;
        }
        watchDone.notify_all();
        watchdog.join();
        ASSERT_TRUE(ended);
        std::lock_guard lock(log.mutex);
        EXPECT_TRUE(stopped);
        ASSERT_EQ(log.terminates.size(), 4u);
        EXPECT_EQ(log.terminates.back().TaskIndex, -1);
        for (int i = 0; i < 3; ++i) {
            ASSERT_NE(log.Of(i), nullptr) << i;
            EXPECT_EQ(log.Of(i)->Finished, k.from == From::Terminate && i == 0) << i;
            EXPECT_FALSE(log.Of(i)->Exception) << i;
        }
    }
}

// A handler on the main thread that stops the run and then waits in a nested event loop for the
// run to end (as a modal box over the window would) sees it end: no worker waits for that handler
// while it waits for the workers, with two tasks running at once.
TEST_F(MediaConverterTest, AHandlerMayWaitInANestedLoopForTheRunItStopped) {
    for (const bool fromPreview : {false, true}) {
        SCOPED_TRACE(fromPreview ? "preview" : "progress");
        EventLog log; // outlives the converter, whose last events it may still receive
        TMediaConverter c;
        log.Attach(c);
        c.SetProgressInterval(100);
        bool nested = false;
        bool endedInside = false;
        auto stopAndWait = [&] {
            if (nested) {
                return;
            }
            nested = true;
            c.Stop(false);
            endedInside = ServeUntil([&] { return log.FinalSeen(); }, 20s);
        };
        TOutputOptions out;
        if (fromPreview) {
            c.SetPreviewBitmap(true);
            c.SetOnPreviewBitmap([&](TCustomMediaConverter*, const TPreviewInfo& info) {
                ASSERT_NE(info.Bitmap, nullptr);
                EXPECT_GT(info.Bitmap->Width(), 0);
                stopAndWait();
            });
            out.VideoCodec = "mpeg4";
            out.AudioCodec = "mp2";
        } else {
            c.SetOnProgress([&](TCustomMediaConverter*, TProgressInfo* info) {
                {
                    std::lock_guard lock(log.mutex);
                    log.progress.push_back(*info);
                }
                if (info->TaskIndex >= 0) {
                    stopAndWait();
                }
            });
        }
        AddCopyTask(c, "h264-aac.mkv", Out("n0.mkv"), true, out);
        AddCopyTask(c, "h264-aac.mkv", Out("n1.mkv"), true, out);
        c.StartTask(2);
        ASSERT_TRUE(ServeUntil([&] { return log.FinalSeen(); }, 60s));
        EXPECT_TRUE(nested);
        EXPECT_TRUE(endedInside) << "the run waited for the handler that waited for it";
        std::lock_guard lock(log.mutex);
        ASSERT_EQ(log.terminates.size(), 3u);
        for (int i = 0; i < 2; ++i) {
            ASSERT_NE(log.Of(i), nullptr) << i;
            EXPECT_FALSE(log.Of(i)->Finished) << i;
        }
    }
}

// Whatever a progress or terminate handler raises is logged and goes no further, in inline and
// threaded runs: the task's record is not touched and the run goes on.
TEST_F(MediaConverterTest, RaisingHandlersAreLoggedAndTheRunGoesOn) {
    for (const int threads : {0, 1}) {
        SCOPED_TRACE(threads);
        std::mutex mutex;
        std::vector<std::string> errors;
        std::vector<TTerminateInfo> ends;
        FFLogger()->SetOnLog(
            [&](TFFBaseComponent*, uint32_t, TLogLevel level, const std::string& m) {
                std::lock_guard lock(mutex);
                if (level == llError) {
                    errors.push_back(m);
                }
            });
        {
            TMediaConverter c;
            c.SetTriggerEventInMainThread(false);
            c.SetOnProgress([](TCustomMediaConverter*, TProgressInfo* info) {
                if (info->FileIndex == -1) {
                    throw 42; // not even an exception class
                }
            });
            c.SetOnTerminate([&](TCustomMediaConverter*, const TTerminateInfo& info) {
                {
                    std::lock_guard lock(mutex);
                    ends.push_back(info);
                }
                if (info.TaskIndex == 0) {
                    throw std::runtime_error("late");
                }
            });
            AddCopyTask(c, "h264-aac.mkv", Out("r0.mkv"), false);
            AddCopyTask(c, "h264-aac.mkv", Out("r1.mkv"), false);
            c.StartTask(threads);
            ASSERT_TRUE(ServeUntil([&] {
                std::lock_guard lock(mutex);
                return !ends.empty() && ends.back().TaskIndex == -1;
            }));
        }
        FFLogger()->SetOnLog(nullptr);
        ASSERT_EQ(ends.size(), 3u);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(ends[i].TaskIndex, i);
            EXPECT_TRUE(ends[i].Finished) << i;
            EXPECT_FALSE(ends[i].Exception) << i;
        }
        EXPECT_EQ(std::count(errors.begin(), errors.end(), "Error occurs OnTerminate: late"), 1);
        EXPECT_EQ(
            std::count(errors.begin(), errors.end(), "Error occurs OnProgress: unknown exception"),
            2);
        ExpectPlayable(Out("r1.mkv"), 50);
    }
}

TEST_F(MediaConverterTest, AFailedTaskLeavesNoEmptyFile) {
    EventLog log; // outlives the converter, whose last events it may still receive
    TMediaConverter c;
    log.Attach(c);
    // Ogg takes no AAC: the header cannot be written, so the file never gets a byte.
    TOutputOptions o;
    o.DisableVideo = true;
    const int i = AddCopyTask(c, "h264-aac.mkv", Out("bad.ogg"), false, o);
    ASSERT_TRUE(fs::exists(Out("bad.ogg.part")));
    EXPECT_FALSE(fs::exists(Out("bad.ogg")));
    AddCopyTask(c, "h264-aac.mkv", Out("good.mkv"), false);
    c.StartTask(0);
    ASSERT_NE(log.Of(i), nullptr);
    EXPECT_TRUE(log.Of(i)->Exception);
    EXPECT_FALSE(log.Of(i)->Finished);
    EXPECT_FALSE(log.Of(i)->ExceptionMsg.empty());
    EXPECT_FALSE(fs::exists(Out("bad.ogg")));
    EXPECT_FALSE(fs::exists(Out("bad.ogg.part")));
    // The run went on with the next task.
    ASSERT_NE(log.Of(1), nullptr);
    EXPECT_TRUE(log.Of(1)->Finished);
    ExpectPlayable(Out("good.mkv"), 50);
}

// A full disk: the task fails with the system's reason and leaves nothing to fill the disk.
TEST_F(MediaConverterTest, AWriteErrorRemovesTheOutput) {
    test::TSmallDisk disk(Out("disk"));
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    EventLog log; // outlives the converter, whose last events it may still receive
    TMediaConverter c;
    log.Attach(c);
    TOutputOptions o;
    o.VideoCodec = "rawvideo";
    o.AudioCodec = "pcm_s16le";
    const int i = AddCopyTask(c, "h264-aac.mkv", disk.Path("full.avi"), false, o);
    c.StartTask(0);
    ASSERT_NE(log.Of(i), nullptr);
    EXPECT_TRUE(log.Of(i)->Exception);
    EXPECT_FALSE(log.Of(i)->Finished);
    EXPECT_NE(log.Of(i)->ExceptionMsg.find("No space left on device"), std::string::npos)
        << log.Of(i)->ExceptionMsg;
    EXPECT_TRUE(disk.Empty());
}

TEST_F(MediaConverterTest, ProgressEventsFollowTheirRules) {
    EventLog log; // outlives the converter, whose last events it may still receive
    TMediaConverter c;
    log.Attach(c);
    c.SetTriggerEventInMainThread(false);
    c.SetProgressInterval(200);
    AddCopyTask(c, "h264-aac.mkv", Out("pr.mkv"), true);
    TOutputOptions limited;
    limited.RecordingTime = 1000000;
    AddCopyTask(c, "h264-aac.mkv", Out("pr-t.mkv"), true, limited);
    c.StartTask(2);
    ASSERT_TRUE(ServeUntil([&] { return log.FinalSeen(); }));

    AVFormatContext* ic = nullptr;
    ASSERT_EQ(avformat_open_input(&ic, Fixture("h264-aac.mkv").c_str(), nullptr, nullptr), 0);
    avformat_find_stream_info(ic, nullptr);
    const int64_t inputDuration = ic->duration;
    avformat_close_input(&ic);

    std::lock_guard lock(log.mutex);
    for (int task = 0; task < 2; ++task) {
        SCOPED_TRACE(task);
        std::vector<size_t> mine;
        for (size_t k = 0; k < log.progress.size(); ++k) {
            if (log.progress[k].TaskIndex == task) {
                mine.push_back(k);
            }
        }
        ASSERT_GE(mine.size(), 3u);
        const TProgressInfo& last = log.progress[mine.back()];
        EXPECT_EQ(last.FileIndex, -1);
        EXPECT_EQ(last.TotalDuration, task == 0 ? inputDuration : 1000000);
        EXPECT_EQ(last.CurrentSize,
                  static_cast<int64_t>(fs::file_size(Out(task == 0 ? "pr.mkv" : "pr-t.mkv"))));
        int64_t previousTime = 0;
        for (size_t n = 0; n < mine.size(); ++n) {
            const TProgressInfo& p = log.progress[mine[n]];
            EXPECT_GE(p.FrameNumber, 1); // nothing before the first picture
            EXPECT_EQ(p.Quality, -1.0f); // copied video
            EXPECT_GE(p.CurrentDuration, previousTime);
            previousTime = p.CurrentDuration;
            if (n + 1 < mine.size()) {
                EXPECT_EQ(p.FileIndex, 0);
                EXPECT_EQ(p.TotalDuration, last.TotalDuration);
                if (n > 0) {
                    const auto gap = log.progressTimes[mine[n]] - log.progressTimes[mine[n - 1]];
                    EXPECT_GE(gap, 199ms) << n;
                }
            }
            if (p.CurrentDuration < 900000) {
                EXPECT_EQ(p.FPS, 0) << "during the first second";
            }
        }
    }
}

TEST_F(MediaConverterTest, ProgressGoesToTheMainThreadWhenAsked) {
    EventLog log; // outlives the converter, whose last events it may still receive
    TMediaConverter c;
    log.Attach(c);
    c.SetProgressInterval(100);
    AddCopyTask(c, "h264-aac.mkv", Out("m.mkv"), true);
    c.StartTask(1);
    ASSERT_TRUE(ServeUntil([&] { return log.FinalSeen(); }));
    std::lock_guard lock(log.mutex);
    ASSERT_GE(log.progress.size(), 3u);
    for (const auto& id : log.progressThreads) {
        EXPECT_EQ(id, std::this_thread::get_id());
    }
}

TEST_F(MediaConverterTest, ExtraAudioStreamFromExtOptions) {
    for (const char* separator : {"<CRLF>", "\n"}) {
        SCOPED_TRACE(separator);
        TMediaConverter c;
        const int i = c.AddTask(Fixture("h264-aac.mkv"));
        TOutputOptions o;
        o.VideoCodec = "copy";
        o.ExtOptions = std::string("newaudio") + separator + "acodec=mp2";
        ASSERT_TRUE(c.SetOutputFile(i, Out("extra.mkv"), &o)) << c.LastErrMsg();
        c.StartTask(0);
        const ProbeResult r = ProbeMedia(Out("extra.mkv"));
        ASSERT_EQ(r.Count(StreamKind::Audio), 2);
        // The first acodec line is the main stream's codec as well, since AudioCodec is empty.
        EXPECT_EQ(r.Find(StreamKind::Audio, 0)->codec, "mp2");
        EXPECT_EQ(r.Find(StreamKind::Audio, 1)->codec, "mp2");
        EXPECT_NEAR(DominantFrequency(Out("extra.mkv"), 1), 440.0, 10.0);
    }
}

TEST_F(MediaConverterTest, EveryOutputFieldReachesTheEngine) {
    struct Case {
        const char* field;
        std::function<void(TOutputOptions&)> set;
        std::function<bool(const TFFmpeg&)> check;
    };
    auto genericInt = [](const TFFmpeg& e, AVMediaType kind, const char* name) {
        int64_t v = 0;
        av_opt_get_int(e.GenericOptions().Codec(kind), name, 0, &v);
        return v;
    };
    auto outputTag = [](const TFFmpeg& e, const char* key) {
        const AVDictionaryEntry* t = av_dict_get(e.OutputContext(0)->metadata, key, nullptr, 0);
        return std::string(t ? t->value : "");
    };
    auto streamLanguage = [](const TFFmpeg& e, AVMediaType kind) {
        const AVFormatContext* oc = e.OutputContext(0);
        for (unsigned s = 0; s < oc->nb_streams; ++s) {
            if (oc->streams[s]->codecpar->codec_type == kind) {
                const AVDictionaryEntry* t =
                    av_dict_get(oc->streams[s]->metadata, "language", nullptr, 0);
                return std::string(t ? t->value : "");
            }
        }
        return std::string("(no stream)");
    };
    auto hasKind = [](const TFFmpeg& e, AVMediaType kind) {
        const AVFormatContext* oc = e.OutputContext(0);
        for (unsigned s = 0; s < oc->nb_streams; ++s) {
            if (oc->streams[s]->codecpar->codec_type == kind) {
                return true;
            }
        }
        return false;
    };
    const std::vector<Case> cases = {
        {"FileFormat", [](auto& o) { o.FileFormat = "matroska"; },
         [](const TFFmpeg& e) {
             return std::string(e.OutputContext(0)->oformat->name) == "matroska";
         }},
        {"PacketSize", [](auto& o) { o.PacketSize = 2048; },
         [](const TFFmpeg& e) { return e.GenericOptions().Container()->packet_size == 2048u; }},
        {"MuxDelay", [](auto& o) { o.MuxDelay = 0.25f; },
         [](const TFFmpeg& e) { return e.OutputContext(0)->max_delay == 250000; }},
        {"MuxPreload", [](auto& o) { o.MuxPreload = 0.3f; },
         [](const TFFmpeg& e) { return e.Options().muxPreload == 0.3f; }},
        {"DisableAudio", [](auto& o) { o.DisableAudio = true; },
         [&](const TFFmpeg& e) { return !hasKind(e, AVMEDIA_TYPE_AUDIO); }},
        {"AudioVolume", [](auto& o) { o.AudioVolume = 512; },
         [](const TFFmpeg& e) { return e.Options().audioVolume == 512; }},
        {"AudioChannels", [](auto& o) { o.AudioChannels = 1; },
         [](const TFFmpeg& e) { return e.Options().audioChannels == 1; }},
        {"AudioSampleRate", [](auto& o) { o.AudioSampleRate = 22050; },
         [](const TFFmpeg& e) { return e.Options().audioSampleRate == 22050; }},
        {"AudioBitrate", [](auto& o) { o.AudioBitrate = 96000; },
         [&](const TFFmpeg& e) { return genericInt(e, AVMEDIA_TYPE_AUDIO, "b") == 96000; }},
        {"AudioLanguage", [](auto& o) { o.AudioLanguage = "fra"; },
         [&](const TFFmpeg& e) { return streamLanguage(e, AVMEDIA_TYPE_AUDIO) == "fra"; }},
        {"AudioSync", [](auto& o) { o.AudioSync = 100; },
         [](const TFFmpeg& e) { return e.Options().audioSyncMethod == 100; }},
        {"AudioTag", [](auto& o) { o.AudioTag = "abcd"; },
         [](const TFFmpeg& e) { return e.Options().audioCodecTag == MKTAG('a', 'b', 'c', 'd'); }},
        {"DisableVideo", [](auto& o) { o.DisableVideo = true; },
         [&](const TFFmpeg& e) { return !hasKind(e, AVMEDIA_TYPE_VIDEO); }},
        {"FrameRate", [](auto& o) { o.FrameRate = "30000/1001"; },
         [](const TFFmpeg& e) {
             return av_cmp_q(e.Options().frameRate, {30000, 1001}) == 0;
         }},
        {"FrameAspect", [](auto& o) { o.FrameAspect = "16:9"; },
         [](const TFFmpeg& e) { return e.Options().frameAspectRatio == 16.0f / 9.0f; }},
        {"CropTop", [](auto& o) { o.CropTop = 8; },
         [](const TFFmpeg& e) { return e.Options().cropTop == 8; }},
        {"CropBottom", [](auto& o) { o.CropBottom = 16; },
         [](const TFFmpeg& e) { return e.Options().cropBottom == 16; }},
        {"CropLeft", [](auto& o) { o.CropLeft = 4; },
         [](const TFFmpeg& e) { return e.Options().cropLeft == 4; }},
        {"CropRight", [](auto& o) { o.CropRight = 2; },
         [](const TFFmpeg& e) { return e.Options().cropRight == 2; }},
        {"GopSize", [](auto& o) { o.GopSize = 30; },
         [&](const TFFmpeg& e) { return genericInt(e, AVMEDIA_TYPE_VIDEO, "g") == 30; }},
        {"VideoBitrate", [](auto& o) { o.VideoBitrate = 800000; },
         [&](const TFFmpeg& e) { return genericInt(e, AVMEDIA_TYPE_VIDEO, "b") == 800000; }},
        {"VideoMaxRate", [](auto& o) { o.VideoMaxRate = 900000; },
         [&](const TFFmpeg& e) { return genericInt(e, AVMEDIA_TYPE_VIDEO, "maxrate") == 900000; }},
        {"VideoMinRate", [](auto& o) { o.VideoMinRate = 100000; },
         [&](const TFFmpeg& e) { return genericInt(e, AVMEDIA_TYPE_VIDEO, "minrate") == 100000; }},
        {"VideoBitrateTolerance", [](auto& o) { o.VideoBitrateTolerance = 123456; },
         [&](const TFFmpeg& e) { return genericInt(e, AVMEDIA_TYPE_VIDEO, "bt") == 123456; }},
        {"VideoBufSize", [](auto& o) { o.VideoBufSize = 1835008; },
         [&](const TFFmpeg& e) { return genericInt(e, AVMEDIA_TYPE_VIDEO, "bufsize") == 1835008; }},
        {"VideoSync", [](auto& o) { o.VideoSync = 2; },
         [](const TFFmpeg& e) { return e.Options().videoSyncMethod == 2; }},
        {"VideoTag", [](auto& o) { o.VideoTag = "DIVX"; },
         [](const TFFmpeg& e) { return e.Options().videoCodecTag == MKTAG('D', 'I', 'V', 'X'); }},
        {"VideoLanguage", [](auto& o) { o.VideoLanguage = "deu"; },
         [&](const TFFmpeg& e) { return streamLanguage(e, AVMEDIA_TYPE_VIDEO) == "deu"; }},
        {"SubtitleLanguage", [](auto& o) { o.SubtitleLanguage = "spa"; },
         [&](const TFFmpeg& e) { return streamLanguage(e, AVMEDIA_TYPE_SUBTITLE) == "spa"; }},
        {"InputSync", [](auto& o) { o.InputSync = true; },
         [](const TFFmpeg& e) { return e.Options().inputSync; }},
        {"CopyTimestamps", [](auto& o) { o.CopyTimestamps = true; },
         [](const TFFmpeg& e) { return e.Options().copyTs; }},
        {"StartTime", [](auto& o) { o.StartTime = 500000; },
         [](const TFFmpeg& e) { return e.Options().startTime == 500000; }},
        {"RecordingTime", [](auto& o) { o.RecordingTime = 1500000; },
         [](const TFFmpeg& e) {
             return e.Options().recordingTime == 1500000 && e.ProgressTotal() == 1500000;
         }},
        {"Metadata texts",
         [](auto& o) {
             o.Metadata.Title = "T";
             o.Metadata.Author = "A";
             o.Metadata.Copyright = "C";
             o.Metadata.Comment = "K";
             o.Metadata.Album = "L";
             o.Metadata.Genre = "G";
             o.Metadata.Year = 1999;
             o.Metadata.Track = 3;
         },
         [&](const TFFmpeg& e) {
             return outputTag(e, "title") == "T" && outputTag(e, "author") == "A" &&
                    outputTag(e, "copyright") == "C" && outputTag(e, "comment") == "K" &&
                    outputTag(e, "album") == "L" && outputTag(e, "genre") == "G" &&
                    outputTag(e, "year") == "1999" && outputTag(e, "track") == "3";
         }},
        {"Metadata timestamp",
         [](auto& o) {
             o.Metadata.Timestamp = UnixToLocalDateTime(981173106); // 2001-02-03 04:05:06 UTC
         },
         [&](const TFFmpeg& e) {
             return outputTag(e, "creation_time") == "2001-02-03T04:05:06.000000Z";
         }},
        {"DisableSubtitle", [](auto& o) { o.DisableSubtitle = true; },
         [&](const TFFmpeg& e) { return !hasKind(e, AVMEDIA_TYPE_SUBTITLE); }},
        {"MuxRate", [](auto& o) { o.MuxRate = 10080000; },
         [](const TFFmpeg& e) {
             const auto& m = e.Options().muxerPrivateOptions;
             return std::count(m.begin(), m.end(),
                               std::pair<std::string, std::string>("muxrate", "10080000")) == 1;
         }},
        {"AudioBitrateTolerance", [](auto& o) { o.AudioBitrateTolerance = 4000; },
         [&](const TFFmpeg& e) { return genericInt(e, AVMEDIA_TYPE_AUDIO, "bt") == 4000; }},
    };
    TMediaConverter c;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.field);
        const int i = c.AddTask(Fixture("subtitles.mkv"));
        ASSERT_GE(i, 0);
        TOutputOptions o;
        o.VideoCodec = o.AudioCodec = "copy";
        k.set(o);
        ASSERT_TRUE(c.SetOutputFile(i, Out(std::string(k.field) + ".mkv"), &o)) << c.LastErrMsg();
        EXPECT_TRUE(k.check(*c.Task(i)));
    }
}

} // namespace

namespace {

// Fills a picture with black (the frame-number cells become unreadable).
void Blacken(TPicture& p) {
    for (int y = 0; y < p.Height(); ++y) {
        std::fill_n(p.ScanLine(y), p.Width() * 3, 0);
    }
}

TEST_F(MediaConverterTest, HookEditsFramesUntilItStops) {
    struct Seen {
        int task, frame;
        int64_t pts;
        int width, height;
    };
    std::vector<Seen> seen;
    EventLog log;
    TMediaConverter c;
    log.Attach(c);
    c.SetOnCustomHook([&](TCustomMediaConverter*, THookInfo* info) {
        EXPECT_TRUE(info->Update);
        EXPECT_FALSE(info->StopHook);
        seen.push_back({info->TaskIndex, info->FrameNumber, info->PTS, info->Bitmap->Width(),
                        info->Bitmap->Height()});
        if (info->TaskIndex == 0) {
            Blacken(*info->Bitmap); // kept: Update stays set
            info->StopHook = info->FrameNumber == 10;
        } else if (info->TaskIndex == 1) {
            Blacken(*info->Bitmap);
            info->Update = false; // drawn but not kept
        } else {
            throw std::runtime_error("boom");
        }
    });
    std::vector<std::string> errors;
    FFLogger()->SetOnLog([&](TFFBaseComponent*, uint32_t, TLogLevel level, const std::string& m) {
        if (level == llError) {
            errors.push_back(m);
        }
    });
    for (int i = 0; i < 3; ++i) {
        const int t = c.AddTask(Fixture("h264-aac.mkv"));
        TOutputOptions o;
        o.VideoCodec = "mpeg4";
        o.ExtOptions = "qscale=2";
        o.DisableAudio = true;
        o.FrameSize = "160x120"; // the hook sees the decoded size, before scaling
        o.CustomHook = true;
        ASSERT_TRUE(c.SetOutputFile(t, Out("hook" + std::to_string(i) + ".mkv"), &o))
            << c.LastErrMsg();
    }
    c.StartTask(0);
    FFLogger()->SetOnLog(nullptr);

    std::vector<int> perTask(3, 0);
    for (const Seen& s : seen) {
        ++perTask[s.task];
        EXPECT_EQ(s.frame, perTask[s.task]);
        EXPECT_EQ(s.width, 320);
        EXPECT_EQ(s.height, 240);
    }
    EXPECT_EQ(perTask[0], 10); // not called after StopHook
    EXPECT_EQ(perTask[1], 50);
    EXPECT_EQ(perTask[2], 50); // a failing handler keeps the hook on
    for (size_t i = 1; i < seen.size(); ++i) {
        if (seen[i].task == seen[i - 1].task) {
            EXPECT_GT(seen[i].pts, seen[i - 1].pts);
        }
    }
    EXPECT_EQ(std::count(errors.begin(), errors.end(), "Error occurs OnCustomHook: boom"), 50);

    const std::vector<int> stopped = ReadFrameNumbers(Out("hook0.mkv"));
    ASSERT_EQ(stopped.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(stopped[i], i < 10 ? -1 : i) << i;
    }
    std::vector<int> all(50);
    for (int i = 0; i < 50; ++i) {
        all[i] = i;
    }
    EXPECT_EQ(ReadFrameNumbers(Out("hook1.mkv")), all);
    EXPECT_EQ(ReadFrameNumbers(Out("hook2.mkv")), all);
}

TEST_F(MediaConverterTest, PreviewPicturesAreSpacedAndSizedAsEncoded) {
    struct Seen {
        int task, frame, width, height;
        int64_t pts;
        Clock::time_point at;
        std::thread::id thread;
    };
    std::vector<Seen> seen;
    EventLog log;
    TMediaConverter c;
    // Handlers on the worker: the spacing is then measured without the main thread's delays.
    c.SetTriggerEventInMainThread(false);
    c.SetOnPreviewBitmap([&](TCustomMediaConverter*, const TPreviewInfo& info) {
        seen.push_back({info.TaskIndex, info.FrameNumber, info.Bitmap->Width(),
                        info.Bitmap->Height(), info.PTS, Clock::now(), std::this_thread::get_id()});
    });
    TInputOptions in;
    in.ExtOptions = "re=1";
    const int t = c.AddTask(Fixture("h264-aac.mkv"), &in);
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.DisableAudio = true;
    o.FrameSize = "160x120";
    ASSERT_TRUE(c.SetOutputFile(t, Out("preview.mkv"), &o)) << c.LastErrMsg();
    c.SetPreviewBitmap(true); // reaches the task already in the list
    log.Attach(c);
    c.StartTask(1);
    ASSERT_TRUE(ServeUntil([&] { return log.FinalSeen(); }));
    ASSERT_GE(seen.size(), 8u);
    EXPECT_EQ(seen[0].frame, 1);
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].task, 0);
        EXPECT_EQ(seen[i].width, 160);
        EXPECT_EQ(seen[i].height, 120);
        EXPECT_NE(seen[i].thread, std::this_thread::get_id());
        if (i > 0) {
            EXPECT_GT(seen[i].frame, seen[i - 1].frame);
            EXPECT_GT(seen[i].pts, seen[i - 1].pts);
            EXPECT_GE(seen[i].at - seen[i - 1].at, 95ms);
        }
    }
}

TEST_F(MediaConverterTest, PreviewWindowIsDroppedOnceClosed) {
    struct Window : TPreviewWindow {
        int* shows;
        explicit Window(int* s) : shows(s) {}
        bool Show(const TPicture& picture, const std::string& caption) override {
            EXPECT_EQ(picture.Width(), 160);
            EXPECT_EQ(caption.size(), 12u); // hh:mm:ss.zzz
            return ++*shows < 3;            // the user closes it at the third picture
        }
    };
    int shows = 0;
    int windows = 0;
    EventLog log;
    TMediaConverter c;
    c.SetPreview(true);
    c.SetPreviewWindowFactory([&] {
        ++windows;
        return std::make_unique<Window>(&shows);
    });
    TInputOptions in;
    in.ExtOptions = "re=1";
    const int t = c.AddTask(Fixture("h264-aac.mkv"), &in);
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.DisableAudio = true;
    o.FrameSize = "160x120";
    ASSERT_TRUE(c.SetOutputFile(t, Out("window.mkv"), &o)) << c.LastErrMsg();
    log.Attach(c);
    c.StartTask(1);
    ASSERT_TRUE(ServeUntil([&] { return log.FinalSeen(); }));
    EXPECT_EQ(shows, 3);
    EXPECT_EQ(windows, 1);
}

} // namespace

namespace {

TEST_F(MediaConverterTest, TargetsWithNormAndDefaultNorm) {
    MediaSpec odd;
    odd.container = "matroska";
    odd.frameRate = {15, 1}; // neither norm's rate: the default norm decides
    odd.durationS = 0.5;
    const std::string oddClip = Out("odd-rate.mkv");
    MakeMedia(oddClip, odd);
    struct Case {
        std::string input;
        int type, norm, defaultNorm;
        const char* muxer;
        AVRational rate;
    };
    const Case cases[] = {
        {Fixture("h264-aac.mkv"), 3, 5, 2, "dvd", {25, 1}},        // any other norm is auto
        {Fixture("h264-aac.mkv"), 3, 2, 1, "dvd", {30000, 1001}},  // forced NTSC
        {Fixture("mpeg4-mp3.avi"), 1, 0, 1, "vcd", {30000, 1001}}, // detected NTSC
        {oddClip, 2, 0, 2, "svcd", {30000, 1001}},                 // default norm NTSC
        {oddClip, 2, 0, 1, "svcd", {25, 1}},                       // default norm PAL
    };
    TMediaConverter c;
    int n = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(n);
        const int t = c.AddTask(k.input);
        ASSERT_GE(t, 0) << c.LastErrMsg();
        TOutputOptions o;
        o.TargetType = k.type;
        o.TargetNorm = k.norm;
        o.TargetDefaultNorm = k.defaultNorm;
        ASSERT_TRUE(c.SetOutputFile(t, Out("target" + std::to_string(n++) + ".mpg"), &o))
            << c.LastErrMsg();
        EXPECT_STREQ(c.Task(t)->OutputContext(0)->oformat->name, k.muxer);
        EXPECT_EQ(av_cmp_q(c.Task(t)->Options().frameRate, k.rate), 0)
            << c.Task(t)->Options().frameRate.num << "/" << c.Task(t)->Options().frameRate.den;
    }
}

} // namespace

namespace {

TEST_F(MediaConverterTest, TheFinalHandlerMayClearTheList) {
    for (const bool onMainThread : {false, true}) {
        SCOPED_TRACE(onMainThread);
        std::atomic<bool> cleared{false};
        std::string error;
        TMediaConverter c;
        c.SetOnTerminate([&](TCustomMediaConverter* sender, const TTerminateInfo& info) {
            if (info.TaskIndex != -1) {
                return;
            }
            auto clear = [&] {
                try {
                    sender->ClearTasks();
                } catch (const std::exception& e) {
                    error = e.what();
                }
                cleared = true;
            };
            if (onMainThread) {
                RunInMainThread(clear); // as the windows do
            } else {
                clear();
            }
        });
        for (int i = 0; i < 2; ++i) {
            AddCopyTask(c, "h264-aac.mkv", Out("c" + std::to_string(i) + ".mkv"), false);
        }
        c.StartTask(2);
        ASSERT_TRUE(ServeUntil([&] { return cleared.load(); }));
        EXPECT_EQ(error, "");
        EXPECT_EQ(c.TaskCount(), 0);
        EXPECT_FALSE(c.Working());
        EXPECT_EQ(c.AddTask(Fixture("h264-aac.mkv")), 0);
    }
}

} // namespace
