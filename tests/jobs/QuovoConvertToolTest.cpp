// quovo-convert driving the conversion component, run as a separate program.
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quovo::fixtures;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string ToolPath() {
    if (const char* tools = std::getenv("QUOVO_TEST_TOOLS")) {
        return std::string(tools) + "/quovo-convert";
    }
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "tools" /
            "quovo-convert")
        .string();
}

struct ToolRun {
    int exitCode = -1;
    std::string err;
};

// Runs the tool; with `interruptAfter` > 0 sends it Ctrl-C's signal after that time.
ToolRun Convert(std::vector<std::string> args, const std::string& errFile,
            std::chrono::milliseconds interruptAfter = 0ms) {
    const std::string tool = ToolPath();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 2);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        std::vector<char*> argv{const_cast<char*>(tool.c_str())};
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    if (interruptAfter > 0ms) {
        std::this_thread::sleep_for(interruptAfter);
        kill(pid, SIGINT);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errFile);
    std::stringstream text;
    text << in.rdbuf();
    run.err = text.str();
    return run;
}

class QuovoConvertToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(ToolPath())) << ToolPath();
        dir_ = fs::path(FixtureDir()) /
               (std::string("tool-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    std::string Out(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

TEST_F(QuovoConvertToolTest, GroupsRunInParallelAsTasks) {
    const ToolRun run = Convert({"--parallel", "2", "--codec-threads", "0", Fixture("h264-aac.mkv"),
                             "--out", "vcodec=copy", "--out", "acodec=copy", Out("a.mp4"), "--next",
                             Fixture("mpeg2-mp2.ts"), "--out", "vcodec=copy", "--out",
                             "acodec=copy", Out("b.mkv")},
                            Out("err.txt"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("terminate: task=0 finished=yes exception=no"), std::string::npos);
    EXPECT_NE(run.err.find("terminate: task=1 finished=yes exception=no"), std::string::npos);
    EXPECT_NE(run.err.find("(end)"), std::string::npos) << "no final progress line";
    EXPECT_EQ(ReadFrameNumbers(Out("a.mp4")), ReadFrameNumbers(Fixture("h264-aac.mkv")));
    EXPECT_EQ(ReadFrameNumbers(Out("b.mkv")), ReadFrameNumbers(Fixture("mpeg2-mp2.ts")));
}

TEST_F(QuovoConvertToolTest, InterruptStopsWithAPlayableOutput) {
    const ToolRun run = Convert({"--in", "re=1", Fixture("h264-aac.mkv"), "--out", "vcodec=copy",
                             "--out", "acodec=copy", Out("cut.mkv")},
                            Out("err.txt"), 900ms);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("terminate: task=0 finished=no exception=no"), std::string::npos)
        << run.err;
    const ProbeResult r = ProbeMedia(Out("cut.mkv"));
    const StreamProbe* v = r.Find(StreamKind::Video);
    ASSERT_NE(v, nullptr);
    EXPECT_GT(v->decodedFrames, 5);
    EXPECT_EQ(v->decodeErrors, 0);
    EXPECT_LT(r.durationS, 1.8);
}

TEST_F(QuovoConvertToolTest, PauseAndResumeHoldTheProgressLines) {
    const ToolRun run = Convert({"--progress-interval", "100", "--pause-after", "0.5",
                             "--resume-after", "0.8", "--in", "re=1", Fixture("h264-aac.mkv"),
                             "--out", "vcodec=copy", "--out", "acodec=copy", Out("p.mkv")},
                            Out("err.txt"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const size_t paused = run.err.find("quovo-convert: paused");
    const size_t resumed = run.err.find("quovo-convert: resumed");
    ASSERT_NE(paused, std::string::npos) << run.err;
    ASSERT_NE(resumed, std::string::npos) << run.err;
    const std::string between = run.err.substr(paused, resumed - paused);
    // A report already under way when pausing may still be printed; no more than that.
    size_t lines = 0;
    for (size_t at = between.find("progress:"); at != std::string::npos;
         at = between.find("progress:", at + 1)) {
        ++lines;
    }
    EXPECT_LE(lines, 1u) << between;
    EXPECT_EQ(ReadFrameNumbers(Out("p.mkv")), ReadFrameNumbers(Fixture("h264-aac.mkv")));
}

TEST_F(QuovoConvertToolTest, BadArgumentsAndFailures) {
    EXPECT_EQ(Convert({"--parallel", "0", "a.mkv", "b.mkv"}, Out("err.txt")).exitCode, 2);
    EXPECT_EQ(Convert({"--resume-after", "1", "a.mkv", "b.mkv"}, Out("err.txt")).exitCode, 2);
    EXPECT_EQ(Convert({"a.mkv", "b.mkv", "--next", "c.mkv"}, Out("err.txt")).exitCode, 2);
    const ToolRun missing = Convert({Out("missing.mkv"), Out("x.mkv")}, Out("err.txt"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos) << missing.err;
}

} // namespace
