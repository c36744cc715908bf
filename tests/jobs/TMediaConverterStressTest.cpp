// Many short tasks started, paused, resumed and stopped in a random (seeded) order: the run must
// end, and every task must report its end exactly once, before the final event.
#include "TMediaConverter.h"

#include "Fixtures.h"
#include "MainThread.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>

using namespace quovo;
using namespace quovo::fixtures;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

TEST(MediaConverterStressTest, FiftyTasksInRandomOrderAllEndOnce) {
    FFLogger()->SetTriggerEventInMainThread(false);
    FFLogger()->SetLogLevel(llFatal);
    ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask));
    const fs::path dir = fs::path(FixtureDir()) / "stress";
    fs::create_directories(dir);
    const std::string input = Fixture("h264-aac.mkv");

    std::mutex mutex;
    std::vector<int> ends; // task index per terminate event, in delivery order
    std::vector<bool> finished;
    int progress = 0;

    std::mt19937 rng(20261210);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ends.clear();
        finished.clear();
        {
            TMediaConverter c;
            c.SetProgressInterval(100);
            c.SetOnTerminate([&](TCustomMediaConverter*, const TTerminateInfo& info) {
                std::lock_guard lock(mutex);
                ends.push_back(info.TaskIndex);
                finished.push_back(info.Finished);
            });
            c.SetOnProgress([&](TCustomMediaConverter*, TProgressInfo*) { ++progress; });
            for (int i = 0; i < 50; ++i) {
                TInputOptions in;
                in.ExtOptions = "re=1";
                const int t = c.AddTask(input, &in);
                ASSERT_EQ(t, i) << c.LastErrMsg();
                TOutputOptions o;
                o.VideoCodec = o.AudioCodec = "copy";
                o.RecordingTime = 200000 + static_cast<int64_t>(rng() % 300000);
                ASSERT_TRUE(c.SetOutputFile(t, (dir / ("s" + std::to_string(i) + ".mkv")).string(),
                                            &o))
                    << c.LastErrMsg();
            }
            c.StartTask(round == 0 ? 4 : 3);
            // Random operations while the run goes on; the second round ends with a stop.
            const auto phaseEnd = Clock::now() + (round == 0 ? 6s : 2s);
            bool finalSeen = false;
            while (!finalSeen && Clock::now() < phaseEnd) {
                switch (rng() % 6) {
                case 0:
                    c.Pause();
                    break;
                case 1:
                case 2:
                    c.Resume();
                    break;
                case 3:
                    c.Task(static_cast<int>(rng() % 50))->StopTask(false);
                    break;
                default:
                    break;
                }
                WaitAndDrainMainThreadQueue(std::chrono::milliseconds(5 + rng() % 30));
                std::lock_guard lock(mutex);
                finalSeen = !ends.empty() && ends.back() == -1;
            }
            c.Resume();
            if (round == 1) {
                c.Stop(true);
            }
            const auto limit = Clock::now() + 60s;
            for (;;) {
                {
                    std::lock_guard lock(mutex);
                    if (!ends.empty() && ends.back() == -1) {
                        break;
                    }
                }
                ASSERT_LT(Clock::now(), limit) << "the run did not end";
                WaitAndDrainMainThreadQueue(10ms);
            }
            EXPECT_TRUE(c.AllDone());
        }
        std::lock_guard lock(mutex);
        ASSERT_EQ(ends.size(), 51u);
        EXPECT_EQ(ends.back(), -1);
        std::vector<int> count(50, 0);
        for (size_t k = 0; k + 1 < ends.size(); ++k) {
            ASSERT_GE(ends[k], 0);
            ++count[ends[k]];
        }
        for (int i = 0; i < 50; ++i) {
            EXPECT_EQ(count[i], 1) << "task " << i;
        }
        // Whatever ran to its end left a complete file.
        int complete = 0;
        for (size_t k = 0; k + 1 < ends.size(); ++k) {
            if (finished[k]) {
                ++complete;
                const std::string out = (dir / ("s" + std::to_string(ends[k]) + ".mkv")).string();
                EXPECT_GT(ProbeMedia(out, ProbeDepth::Packets).durationS, 0.15) << out;
            }
        }
        EXPECT_GT(complete, 0);
    }
    EXPECT_GT(progress, 0);
}

} // namespace
