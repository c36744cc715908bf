#include "MainThread.h"

#include "TFFLogger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace quovo {
namespace {

using namespace std::chrono_literals;

// The test program's main() runs on the process's initial thread, which is the main thread
// unless a test moves the role (and moves it back).
class MainThreadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(IsMainThread()); }
    void TearDown() override { SetMainThreadWakeUp(nullptr); }
};

TEST_F(MainThreadTest, TheInitialThreadIsMainAndWorkersAreNot) {
    bool workerIsMain = true;
    std::thread([&] { workerIsMain = IsMainThread(); }).join();
    EXPECT_FALSE(workerIsMain);
    EXPECT_TRUE(IsMainThread());
}

TEST_F(MainThreadTest, WorkerWaitsUntilTheMainThreadRanItsProcedure) {
    std::mutex m;
    std::condition_variable cv;
    int wakeUps = 0;
    SetMainThreadWakeUp([&] {
        std::lock_guard lock(m);
        ++wakeUps;
        cv.notify_all();
    });
    std::atomic<bool> returned{false};
    uint32_t ranOn = 0;
    std::thread worker([&] {
        RunInMainThread([&] { ranOn = CurrentThreadId(); });
        returned = true;
    });
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 5s, [&] { return wakeUps == 1; }));
    }
    // Queued and woken, but not run: the worker must still be waiting.
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(ranOn, 0u);

    EXPECT_EQ(DrainMainThreadQueue(), 1);
    worker.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(ranOn, CurrentThreadId());
    EXPECT_EQ(DrainMainThreadQueue(), 0);
}

TEST_F(MainThreadTest, ExceptionOfTheProcedureReachesTheWorker) {
    std::atomic<bool> done{false};
    std::string caught;
    std::thread worker([&] {
        try {
            RunInMainThread([] { throw std::runtime_error("raised on the main thread"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        done = true;
    });
    while (!done) {
        WaitAndDrainMainThreadQueue(10ms);
    }
    worker.join();
    EXPECT_EQ(caught, "raised on the main thread");
}

TEST_F(MainThreadTest, OnTheMainThreadTheProcedureRunsAtOnce) {
    int runs = 0;
    RunInMainThread([&] { ++runs; });
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(DrainMainThreadQueue(), 0);
    EXPECT_THROW(RunInMainThread([] { throw std::invalid_argument("direct"); }),
                 std::invalid_argument);
}

TEST_F(MainThreadTest, ManyWorkersAreAllServed) {
    constexpr int kWorkers = 8;
    constexpr int kCalls = 20;
    std::atomic<int> finished{0};
    int total = 0; // touched only on the main thread
    std::vector<int> results(kWorkers, 0);
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < kCalls; ++i) {
                int value = 0;
                RunInMainThread([&] {
                    ++total;
                    value = w + 1;
                });
                results[w] += value;
            }
            ++finished;
        });
    }
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (finished < kWorkers && std::chrono::steady_clock::now() < deadline) {
        WaitAndDrainMainThreadQueue(5ms);
    }
    for (std::thread& t : workers) {
        t.join();
    }
    EXPECT_EQ(total, kWorkers * kCalls);
    for (int w = 0; w < kWorkers; ++w) {
        EXPECT_EQ(results[w], (w + 1) * kCalls) << "worker " << w;
    }
}

TEST_F(MainThreadTest, WaitReturnsAfterTheTimeoutWhenNothingIsQueued) {
    const auto start = std::chrono::steady_clock::now();
    WaitAndDrainMainThreadQueue(40ms);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 35ms);
    EXPECT_LT(elapsed, 2s);
}

TEST_F(MainThreadTest, SetMainThreadMovesTheRole) {
    std::atomic<int> stage{0};
    bool otherSawItselfMain = false;
    int drainedByOther = 0;
    bool drainOffMainThrew = false;
    std::thread other([&] {
        SetMainThread();
        otherSawItselfMain = IsMainThread();
        stage = 1;
        while (stage != 2) {
            drainedByOther += DrainMainThreadQueue();
            std::this_thread::sleep_for(1ms);
        }
        drainedByOther += DrainMainThreadQueue();
    });
    while (stage != 1) {
        std::this_thread::sleep_for(1ms);
    }
    // The test thread is now a worker: its procedure runs on the other thread.
    const bool testThreadIsMain = IsMainThread();
    uint32_t ranOn = 0;
    RunInMainThread([&] { ranOn = CurrentThreadId(); });
    try {
        DrainMainThreadQueue();
    } catch (const std::logic_error&) {
        drainOffMainThrew = true;
    }
    stage = 2;
    other.join();
    SetMainThread(); // give the role back before checking anything

    EXPECT_TRUE(otherSawItselfMain);
    EXPECT_FALSE(testThreadIsMain);
    EXPECT_NE(ranOn, 0u);
    EXPECT_NE(ranOn, CurrentThreadId());
    EXPECT_EQ(drainedByOther, 1);
    EXPECT_TRUE(drainOffMainThrew);
    EXPECT_TRUE(IsMainThread());
}

} // namespace
} // namespace quovo
