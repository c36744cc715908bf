#include "TFFLogger.h"

#include "FFmpegException.h"
#include "MainThread.h"
#include "MyUtils.h"

extern "C" {
#include <libavutil/log.h>
}

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quovo {
namespace {

// A library object as av_log sees it: a struct whose first member points to its AVClass.
AVClass MakeTestClass() {
    AVClass c{};
    c.class_name = "QuovoLogTest";
    c.item_name = av_default_item_name;
    c.version = LIBAVUTIL_VERSION_INT;
    return c;
}
const AVClass kTestClass = MakeTestClass();
struct LibraryObject {
    const AVClass* cls = &kTestClass;
};

struct Line {
    TFFBaseComponent* sender;
    uint32_t threadId;
    TLogLevel level;
    std::string msg;
    bool onMainThread;
};

// The logger is one per process: every test starts from the same state and leaves it so.
class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Reset();
        logger_->InstallCallback();
    }
    void TearDown() override { Reset(); }

    void Reset() {
        logger_->SetOnLog(nullptr);
        logger_->SetLogLevel(llInfo);
        logger_->SetTriggerEventInMainThread(true);
    }

    // Keeps the lines whose text contains `marker` (the libraries may log on their own).
    void Capture(const std::string& marker) {
        logger_->SetOnLog([this, marker](TFFBaseComponent* sender, uint32_t threadId,
                                         TLogLevel level, const std::string& msg) {
            if (msg.find(marker) == std::string::npos) {
                return;
            }
            std::lock_guard lock(mutex_);
            lines_.push_back({sender, threadId, level, msg, IsMainThread()});
        });
    }

    std::vector<Line> Lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

    TFFLogger* logger_ = FFLogger();
    std::mutex mutex_;
    std::vector<Line> lines_;
};

TEST(LogLevelTest, LibraryLevelsMapBothWays) {
    // clang-format off
    const struct {
        int libraryLevel;
        TLogLevel level;
    } cases[] = {
        {-8, llQuiet},
        {-7, llPanic},
        {-1, llPanic},
        {0, llPanic},
        {7, llPanic},
        {8, llFatal},
        {16, llError},
        {20, llError},
        {24, llWarning},
        {32, llInfo},
        {40, llVerbose},
        {47, llVerbose},
        {48, llDebug},
        {56, llDebug},
        {100, llDebug},
        {-100, llQuiet},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(LogLevelOfLibrary(c.libraryLevel), c.level) << "library level " << c.libraryLevel;
    }
    const int expected[] = {-8, 0, 8, 16, 24, 32, 40, 48};
    for (int ordinal = llQuiet; ordinal <= llDebug; ++ordinal) {
        EXPECT_EQ(LibraryLevelOf(static_cast<TLogLevel>(ordinal)), expected[ordinal]);
    }
}

TEST_F(LoggerTest, LevelByNameAcceptsNamesInAnyCaseAndLibraryNumbers) {
    // clang-format off
    const struct {
        const char* text;
        TLogLevel level;
    } cases[] = {
        {"quiet", llQuiet},
        {"PANIC", llPanic},
        {"Fatal", llFatal},
        {"error", llError},
        {"WaRnInG", llWarning},
        {"info", llInfo},
        {"verbose", llVerbose},
        {"DEBUG", llDebug},
        {"20", llError},
        {"-1", llPanic},
        {"100", llDebug},
        {"-8", llQuiet},
        {"+32", llInfo},
        {"0", llPanic},
    };
    // clang-format on
    for (const auto& c : cases) {
        logger_->SetLogLevel(c.level == llInfo ? llDebug : llInfo); // a real change each time
        logger_->SetLevelByName(c.text);
        EXPECT_EQ(logger_->LogLevel(), c.level) << c.text;
        // Installed, so the libraries' own level follows.
        EXPECT_EQ(av_log_get_level(), LibraryLevelOf(c.level)) << c.text;
    }
}

TEST_F(LoggerTest, LevelByNameRefusesOtherText) {
    logger_->SetLogLevel(llWarning);
    for (const char* text : {"abc", "", "12x", "1.5", " 16", "loud", "0x10"}) {
        try {
            logger_->SetLevelByName(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const FFmpegException& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("'") + text + "' is not a valid integer value");
        }
        EXPECT_EQ(logger_->LogLevel(), llWarning) << text;
    }
}

TEST_F(LoggerTest, EngineMessagesFollowTheDeliveryRule) {
    // clang-format off
    const struct {
        TLogLevel logLevel;
        TLogLevel msgLevel;
        bool delivered;
    } cases[] = {
        {llError, llVerbose, true}, // progress lines pass at every level but quiet
        {llError, llInfo, false},
        {llError, llError, true},
        {llError, llFatal, true},
        {llQuiet, llVerbose, false},
        {llQuiet, llPanic, false},
        {llQuiet, llQuiet, true},
        {llInfo, llInfo, true},
        {llInfo, llDebug, false},
        {llDebug, llDebug, true},
        {llWarning, llVerbose, true},
        {llVerbose, llDebug, false},
    };
    // clang-format on
    Capture("rule");
    for (const auto& c : cases) {
        logger_->SetLogLevel(c.logLevel);
        const size_t before = Lines().size();
        logger_->Log(nullptr, c.msgLevel, "rule");
        EXPECT_EQ(Lines().size() - before, c.delivered ? 1u : 0u)
            << "LogLevel " << c.logLevel << ", message level " << c.msgLevel;
    }
}

TEST_F(LoggerTest, EngineMessagesCarrySenderThreadAndText) {
    Capture("engine");
    TFFBaseComponent sender;
    logger_->Log(&sender, llWarning, "engine text kept as it is\n");
    logger_->LogFmt(&sender, llError, "engine %s=%d %05.1f", "x", 42, 3.14159);
    const std::vector<Line> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].sender, &sender);
    EXPECT_EQ(lines[0].threadId, CurrentThreadId());
    EXPECT_EQ(lines[0].level, llWarning);
    EXPECT_EQ(lines[0].msg, "engine text kept as it is\n");
    EXPECT_EQ(lines[1].level, llError);
    EXPECT_EQ(lines[1].msg, "engine x=42 003.1");
}

TEST_F(LoggerTest, LibraryMessagesAreFilteredByLevelAndMapped) {
    const struct {
        TLogLevel logLevel;
        int libraryLevel;
        bool delivered;
        TLogLevel delivers;
    } cases[] = {
        {llWarning, AV_LOG_INFO, false, llQuiet},
        {llWarning, AV_LOG_WARNING, true, llWarning},
        {llDebug, 20, true, llError},
        {llInfo, AV_LOG_VERBOSE, false, llQuiet},
        {llDebug, AV_LOG_DEBUG, true, llDebug},
        {llQuiet, AV_LOG_PANIC, false, llQuiet},
        {llPanic, AV_LOG_PANIC, true, llPanic},
    };
    Capture("lib-level");
    LibraryObject obj;
    for (const auto& c : cases) {
        logger_->SetLogLevel(c.logLevel);
        const size_t before = Lines().size();
        av_log(&obj, c.libraryLevel, "lib-level %d\n", c.libraryLevel);
        const std::vector<Line> lines = Lines();
        ASSERT_EQ(lines.size() - before, c.delivered ? 1u : 0u)
            << "LogLevel " << c.logLevel << ", library level " << c.libraryLevel;
        if (c.delivered) {
            EXPECT_EQ(lines.back().level, c.delivers);
            EXPECT_EQ(lines.back().sender, logger_);
            EXPECT_EQ(lines.back().threadId, CurrentThreadId());
            EXPECT_EQ(lines.back().msg, StringPrintf("[QuovoLogTest @ %p]lib-level %d",
                                                     static_cast<void*>(&obj), c.libraryLevel));
        }
    }
}

TEST_F(LoggerTest, LibraryLinesAreAssembledWithThePrefixOnceAtTheFront) {
    Capture("part");
    LibraryObject obj;
    const std::string prefix = StringPrintf("[QuovoLogTest @ %p]", static_cast<void*>(&obj));

    av_log(&obj, AV_LOG_INFO, "part one, ");
    EXPECT_TRUE(Lines().empty()) << "a line without its line feed was delivered";
    av_log(&obj, AV_LOG_INFO, "part %s\n", "two");
    std::vector<Line> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].msg, prefix + "part one, part two");

    // Several lines in one message; the rest waits for the next message.
    av_log(&obj, AV_LOG_INFO, "part a\npart b\npart c");
    ASSERT_EQ(Lines().size(), 3u);
    av_log(&obj, AV_LOG_INFO, " end\n");
    // A whole line delivered, so the next message starts a new prefixed line; without an object
    // there is no prefix.
    av_log(&obj, AV_LOG_INFO, "part again\n");
    av_log(nullptr, AV_LOG_INFO, "part without object\n");
    lines = Lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1].msg, prefix + "part a");
    EXPECT_EQ(lines[2].msg, "part b");
    EXPECT_EQ(lines[3].msg, "part c end");
    EXPECT_EQ(lines[4].msg, prefix + "part again");
    EXPECT_EQ(lines[5].msg, "part without object");
}

TEST_F(LoggerTest, LibraryMessagesAreCutAt2048Bytes) {
    Capture("long");
    const std::string text = "long" + std::string(3000, 'x');
    av_log(nullptr, AV_LOG_INFO, "%s\n", text.c_str());
    // The line feed was cut off with the rest, so the line waits for the next one.
    EXPECT_TRUE(Lines().empty());
    av_log(nullptr, AV_LOG_INFO, "\n");
    const std::vector<Line> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].msg, text.substr(0, 2047));
}

TEST_F(LoggerTest, ThreadsLoggingPartialLinesAlternatelyKeepTheirOwnLines) {
    logger_->SetTriggerEventInMainThread(false);
    Capture("thread");
    std::mutex turnMutex;
    std::condition_variable turnChanged;
    int turn = 0; // the threads take turns: A B A B ...
    uint32_t ids[2] = {0, 0};
    auto worker = [&](int me, const char* name) {
        ids[me] = CurrentThreadId();
        LibraryObject obj;
        const char* pieces[] = {"thread %s one ", "%s two ", "%s three\n", "thread %s four "};
        for (int step = 0; step < 4; ++step) {
            std::unique_lock lock(turnMutex);
            turnChanged.wait(lock, [&] { return turn % 2 == me; });
            av_log(&obj, AV_LOG_INFO, pieces[step], name);
            ++turn;
            turnChanged.notify_all();
        }
        std::unique_lock lock(turnMutex);
        turnChanged.wait(lock, [&] { return turn >= 8; });
        lock.unlock();
        av_log(&obj, AV_LOG_INFO, "%s five\n", name);
    };
    std::thread a(worker, 0, "A");
    std::thread b(worker, 1, "B");
    a.join();
    b.join();

    std::vector<std::string> linesOf[2];
    for (const Line& line : Lines()) {
        for (int i = 0; i < 2; ++i) {
            if (line.threadId == ids[i]) {
                // Strip the object prefix: the objects are on each thread's stack.
                linesOf[i].push_back(line.msg.substr(line.msg.find(']') + 1));
            }
        }
    }
    const std::vector<std::string> expectA = {"thread A one A two A three", "thread A four A five"};
    const std::vector<std::string> expectB = {"thread B one B two B three", "thread B four B five"};
    EXPECT_EQ(linesOf[0], expectA);
    EXPECT_EQ(linesOf[1], expectB);
}

TEST_F(LoggerTest, WorkerLinesAreDeliveredOnTheMainThreadWhileTheWorkerWaits) {
    ASSERT_TRUE(IsMainThread());
    Capture("worker");
    std::atomic<bool> workerDone{false};
    uint32_t workerId = 0;
    std::thread worker([&] {
        workerId = CurrentThreadId();
        TFFBaseComponent sender;
        logger_->Log(&sender, llInfo, "worker engine line");
        av_log(nullptr, AV_LOG_INFO, "worker library line\n");
        workerDone = true;
    });
    // Nothing can be delivered until the main thread drains.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(workerDone.load());
    EXPECT_TRUE(Lines().empty());
    while (!workerDone) {
        WaitAndDrainMainThreadQueue(std::chrono::milliseconds(10));
    }
    worker.join();
    const std::vector<Line> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    for (const Line& line : lines) {
        EXPECT_TRUE(line.onMainThread) << line.msg;
        EXPECT_EQ(line.threadId, workerId) << line.msg;
    }
    EXPECT_EQ(lines[0].msg, "worker engine line");
    EXPECT_EQ(lines[1].msg, "worker library line");
    EXPECT_EQ(lines[1].sender, logger_);
}

TEST_F(LoggerTest, HandlersRunOneAtATime) {
    logger_->SetTriggerEventInMainThread(false);
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> calls{0};
    logger_->SetOnLog([&](TFFBaseComponent*, uint32_t, TLogLevel, const std::string& msg) {
        if (msg.find("one-at-a-time") == std::string::npos) {
            return;
        }
        if (inside.fetch_add(1) != 0) {
            ++overlaps;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        inside.fetch_sub(1);
        ++calls;
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                if (i % 2 == 0) {
                    logger_->LogFmt(nullptr, llInfo, "one-at-a-time %d", t);
                } else {
                    av_log(nullptr, AV_LOG_INFO, "one-at-a-time %d\n", t);
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(calls.load(), 100);
    EXPECT_EQ(overlaps.load(), 0);
}

TEST_F(LoggerTest, OnlyOneLoggerMayExist) {
    EXPECT_EQ(FFLogger(), logger_);
    try {
        TFFLogger second;
        ADD_FAILURE() << "a second logger was created";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Allow creating only one instance of TFFLogger.");
    }
    // The failed construction leaves the first one in place.
    EXPECT_EQ(FFLogger(), logger_);
    Capture("still");
    logger_->Log(nullptr, llInfo, "still delivered");
    EXPECT_EQ(Lines().size(), 1u);
}

} // namespace
} // namespace quovo
