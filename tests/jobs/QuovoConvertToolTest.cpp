// quovo-convert driving the conversion component, run as a separate program.
#include "Fixtures.h"
#include "SmallDisk.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
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
    int killedBy = 0; // the signal that ended the tool, 0 when it exited
    std::string err;
};

pid_t StartTool(std::vector<std::string> args, const std::string& errFile) {
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
    return pid;
}

ToolRun WaitForTool(pid_t pid, const std::string& errFile) {
    int status = 0;
    waitpid(pid, &status, 0);
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.killedBy = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    std::ifstream in(errFile);
    std::stringstream text;
    text << in.rdbuf();
    run.err = text.str();
    return run;
}

// True once `output`, or the temporary name it is written under, has its first bytes.
bool Writing(const std::string& output) {
    std::error_code ec;
    for (const std::string& name : {output, output + ".part"}) {
        if (fs::exists(name, ec) && fs::file_size(name, ec) > 0) {
            return true;
        }
    }
    return false;
}

// Runs the tool. With `interruptWhileWriting`, sends it `signals` (Ctrl-C's by default), one
// right after the other, half a second after that output got its first bytes.
ToolRun Convert(std::vector<std::string> args, const std::string& errFile,
                const std::string& interruptWhileWriting = "",
                const std::vector<int>& signals = {SIGINT}) {
    const pid_t pid = StartTool(std::move(args), errFile);
    if (!interruptWhileWriting.empty()) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!Writing(interruptWhileWriting) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(10ms);
        }
        std::this_thread::sleep_for(500ms);
        for (int signal : signals) {
            kill(pid, signal);
        }
    }
    return WaitForTool(pid, errFile);
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
                                 "--out", "vcodec=copy", "--out", "acodec=copy", Out("a.mp4"),
                                 "--next", Fixture("mpeg2-mp2.ts"), "--out", "vcodec=copy", "--out",
                                 "acodec=copy", Out("b.mkv")},
                                Out("err.txt"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("terminate: task=0 finished=yes exception=no"), std::string::npos);
    EXPECT_NE(run.err.find("terminate: task=1 finished=yes exception=no"), std::string::npos);
    EXPECT_NE(run.err.find("(end)"), std::string::npos) << "no final progress line";
    EXPECT_EQ(ReadFrameNumbers(Out("a.mp4")), ReadFrameNumbers(Fixture("h264-aac.mkv")));
    EXPECT_EQ(ReadFrameNumbers(Out("b.mkv")), ReadFrameNumbers(Fixture("mpeg2-mp2.ts")));
}

// Ctrl-C, SIGTERM and SIGHUP stop alike, and a second signal does not cut the stop short.
TEST_F(QuovoConvertToolTest, InterruptStopsWithAPlayableOutput) {
    struct Case {
        const char* name;
        std::vector<int> signals;
    };
    const Case cases[] = {{"int", {SIGINT}},
                          {"term", {SIGTERM}},
                          {"hup", {SIGHUP}},
                          {"int-then-term", {SIGINT, SIGTERM}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = Out(std::string("cut-") + c.name + ".mp4");
        fs::remove(out);
        const ToolRun run = Convert({"--in", "re=1", Fixture("h264-aac.mkv"), "--out",
                                     "vcodec=copy", "--out", "acodec=copy", out},
                                    Out("err.txt"), out, c.signals);
        EXPECT_EQ(run.killedBy, 0);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find("terminate: task=0 finished=no exception=no"), std::string::npos)
            << run.err;
        // MP4 is playable only once its index is written at the end.
        const ProbeResult r = ProbeMedia(out);
        const StreamProbe* v = r.Find(StreamKind::Video);
        ASSERT_NE(v, nullptr);
        EXPECT_GT(v->decodedFrames, 5);
        EXPECT_EQ(v->decodeErrors, 0);
        EXPECT_LT(r.durationS, 1.8);
    }
}

TEST_F(QuovoConvertToolTest, ThirdSignalEndsTheToolAtOnce) {
    fs::remove(Out("forced.mp4"));
    const ToolRun run = Convert({"--in", "re=1", Fixture("h264-aac.mkv"), "--out", "vcodec=copy",
                                 "--out", "acodec=copy", Out("forced.mp4")},
                                Out("err.txt"), Out("forced.mp4"), {SIGINT, SIGTERM, SIGHUP});
    EXPECT_NE(run.killedBy, 0) << run.err;
}

// A stop asked for while the input is still being opened (here: a pipe nobody writes yet) is
// honoured once it is open, and nothing is written.
TEST_F(QuovoConvertToolTest, SignalBeforeTheFirstTaskStopsCleanly) {
    const std::string fifo = Out("input.fifo");
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string out = Out("early.mkv");
    fs::remove(out);
    const pid_t pid =
        StartTool({fifo, "--out", "vcodec=copy", "--out", "acodec=copy", out}, Out("err.txt"));
    // Opening the writing end succeeds once the tool waits on the reading end.
    int fd = -1;
    for (int i = 0; i < 1000 && fd < 0; ++i) {
        fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd < 0) {
            std::this_thread::sleep_for(10ms);
        }
    }
    ASSERT_GE(fd, 0) << "the tool never opened its input";
    kill(pid, SIGTERM);
    fcntl(fd, F_SETFL, 0);
    std::signal(SIGPIPE, SIG_IGN); // the tool closes the pipe before reading all of it
    std::ifstream media(Fixture("h264-aac.mkv"), std::ios::binary);
    char buffer[65536];
    while (media.read(buffer, sizeof buffer) || media.gcount() > 0) {
        if (write(fd, buffer, static_cast<size_t>(media.gcount())) < 0) {
            break;
        }
    }
    close(fd);
    const ToolRun run = WaitForTool(pid, Out("err.txt"));
    EXPECT_EQ(run.killedBy, 0);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("quovo-convert: stopped"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));
}

// A hard kill cannot be caught: what it leaves must look partial, not finished.
TEST_F(QuovoConvertToolTest, AKilledRunLeavesOnlyAPartialFile) {
    const std::string out = Out("killed.mp4");
    fs::remove(out);
    fs::remove(out + ".part");
    const ToolRun run = Convert({"--in", "re=1", Fixture("h264-aac.mkv"), "--out", "vcodec=copy",
                                 "--out", "acodec=copy", out},
                                Out("err.txt"), out, {SIGKILL});
    EXPECT_EQ(run.killedBy, SIGKILL);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_GT(fs::file_size(out + ".part"), 0u);
}

// A full disk fails the run with the system's reason and leaves nothing behind, in the engine
// mode and in the catalogue mode.
TEST_F(QuovoConvertToolTest, AFullDiskLeavesNoOutput) {
    quovo::test::TSmallDisk disk(Out("disk"));
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    const ToolRun engine = Convert({Fixture("h264-aac.mkv"), "--out", "vcodec=rawvideo", "--out",
                                    "acodec=pcm_s16le", disk.Path("full.avi")},
                                   Out("err.txt"));
    EXPECT_EQ(engine.exitCode, 1) << engine.err;
    EXPECT_NE(engine.err.find("No space left on device"), std::string::npos) << engine.err;
    EXPECT_TRUE(disk.Empty());

    setenv("QUOVO_CONFIG_DIR", Out("config").c_str(), 1);
    const ToolRun format =
        Convert({"--format", "2108", "--output-dir", disk.Path("ts"), Fixture("h264-aac.mkv")},
                Out("err.txt"));
    EXPECT_EQ(format.exitCode, 1) << format.err;
    EXPECT_NE(format.err.find("No space left on device"), std::string::npos) << format.err;
    EXPECT_TRUE(fs::is_empty(disk.Path("ts")));
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
