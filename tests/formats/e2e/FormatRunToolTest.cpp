// quovo-convert's catalogue modes, run as a user would run them.
#include "TIniStore.h"

#include "../FormatsTestSupport.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quovo {
namespace {

using test::TScratchFolder;
namespace fx = fixtures;

struct TRun {
    int status = -1;
    std::string out;
};

// Runs quovo-convert with the settings folder `config`; stdout is captured, stderr goes to
// `errFile` (discarded when empty).
TRun Convert(const std::string& config, const std::string& args, const std::string& errFile = "") {
    const std::string cmd = "QUOVO_CONFIG_DIR='" + config + "' '" + QUOVO_CONVERT_PATH + "' " +
                            args + " 2>" + (errFile.empty() ? "/dev/null" : "'" + errFile + "'");
    TRun run;
    FILE* pipe = ::popen(cmd.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(FormatRunToolTest, ConvertsIntoTheSettingsFolderWithoutOverwriting) {
    TScratchFolder dir;
    fx::MediaSpec spec;
    spec.width = 720;
    spec.height = 576;
    spec.durationS = 1.0;
    fx::MakeMedia(dir / "clip.mkv", spec);
    const std::string config = dir / "config";
    TIniStore(config + "/quovo.ini").WriteString("settings", "OutPutDir", dir / "videos");

    TRun first = Convert(config, "--format 2108 '" + dir / "clip.mkv" + "'");
    ASSERT_EQ(first.status, 0);
    EXPECT_EQ(first.out, dir / "videos/clip_(new).ts" + "\n");
    TRun second = Convert(config, "--format 2108 '" + dir / "clip.mkv" + "'");
    ASSERT_EQ(second.status, 0);
    EXPECT_EQ(second.out, dir / "videos/clip_(new_1).ts" + "\n");

    fx::ProbeResult probe = fx::ProbeMedia(dir / "videos/clip_(new).ts", fx::ProbeDepth::Packets);
    EXPECT_EQ(probe.container, "mpegts");
    const fx::StreamProbe* video = probe.Find(fx::StreamKind::Video);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->codec, "mpeg2video");
    EXPECT_EQ(video->width, 1920);
    EXPECT_EQ(video->height, 1080);
    ASSERT_NE(probe.Find(fx::StreamKind::Audio), nullptr);
    // The format's defaults are read, not written: the user's settings stay as they were.
    EXPECT_FALSE(TIniStore(config + "/quovo.ini").SectionExists("formatInfo2108"));

    // An explicit folder, created on the way; a missing input fails alone.
    TRun third = Convert(config, "--format 2406 --output-dir '" + dir / "new/sub" + "' '" +
                                     dir / "missing.avi" + "' '" + dir / "clip.mkv" + "'");
    EXPECT_EQ(third.status, 1);
    EXPECT_EQ(third.out, dir / "new/sub/clip_(new).ac3" + "\n");
}

TEST(FormatRunToolTest, InterruptedRunLeavesNoPartialOutput) {
    TScratchFolder dir;
    fx::MediaSpec spec;
    spec.width = 720;
    spec.height = 576;
    spec.durationS = 20.0;
    fx::MakeMedia(dir / "long.mkv", spec);
    const std::string config = dir / "config";
    const std::string out = dir / "out";
    const std::string partial = out + "/long_(new).mp4.part";

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv("QUOVO_CONFIG_DIR", config.c_str(), 1);
        const std::string input = dir / "long.mkv";
        const std::string second = dir / "long.mkv";
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execl(QUOVO_CONVERT_PATH, "quovo-convert", "--format", "2102", "--output-dir",
                out.c_str(), input.c_str(), second.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Interrupt once the output is being written.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!(std::filesystem::exists(partial) && std::filesystem::file_size(partial) > 0) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(std::filesystem::exists(partial)) << "the run never started writing";
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_TRUE(std::filesystem::is_empty(out)) << "partial output or a second file left behind";
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// Settings that cannot be read, or a format section that lacks keys, still give the format's
// video; a file that cannot be read is said once and left as it was.
TEST(FormatRunToolTest, DamagedSettingsKeepTheVideo) {
    TScratchFolder dir;
    fx::MediaSpec spec;
    spec.durationS = 0.5;
    fx::MakeMedia(dir / "clip.mkv", spec);
    struct Case {
        const char* name;
        std::string settings; // text of quovo.ini; empty: a folder of that name
        bool unreadable;
    };
    const Case cases[] = {
        {"folder", "", true},
        {"section without keys", "[formatInfo1]\nparaZoom=full\n", false},
        {"no read permission", "[settings]\nOutPutDir=/mine\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string config = dir / c.name;
        const std::string ini = config + "/quovo.ini";
        std::filesystem::create_directories(config);
        if (c.settings.empty()) {
            std::filesystem::create_directories(ini + "/keep");
        } else {
            std::ofstream(ini) << c.settings;
        }
        if (c.unreadable && !c.settings.empty()) {
            if (::geteuid() == 0) {
                continue; // permissions do not stop root from reading
            }
            std::filesystem::permissions(ini, std::filesystem::perms::none);
        }
        const std::string out = config + "/out";
        const TRun run =
            Convert(config, "--format 1 --output-dir '" + out + "' '" + dir / "clip.mkv" + "'",
                    dir / "err.txt");
        EXPECT_EQ(run.status, 0);
        const std::string err = ReadText(dir / "err.txt");
        EXPECT_EQ(Count(err, "cannot read the settings file " + ini + ": "), c.unreadable ? 1u : 0u)
            << err;
        if (c.unreadable) {
            EXPECT_NE(err.find("; using defaults"), std::string::npos) << err;
        }
        ASSERT_EQ(run.out, out + "/clip_(new).mp4\n");
        fx::ProbeResult probe = fx::ProbeMedia(out + "/clip_(new).mp4");
        EXPECT_NE(probe.Find(fx::StreamKind::Video), nullptr) << "the format lost its video";
        EXPECT_NE(probe.Find(fx::StreamKind::Audio), nullptr);
        if (c.unreadable) {
            std::filesystem::permissions(ini, std::filesystem::perms::owner_all);
            if (c.settings.empty()) {
                EXPECT_TRUE(std::filesystem::is_directory(ini + "/keep"));
            } else {
                EXPECT_EQ(ReadText(ini), c.settings) << "an unreadable file was replaced";
            }
        }
    }
}

// Several inputs run as several tasks at once, each coder with the threads asked for.
TEST(FormatRunToolTest, ParallelInputsAndCodecThreads) {
    TScratchFolder dir;
    fx::MediaSpec spec;
    spec.durationS = 1.0;
    for (const char* name : {"a.mkv", "b.mkv", "c.mkv"}) {
        fx::MakeMedia(dir / name, spec);
    }
    const std::string out = dir / "out";
    const TRun run =
        Convert(dir / "config",
                "--format 1 --parallel 2 --codec-threads 2 --output-dir '" + out + "' '" +
                    dir / "a.mkv" + "' '" + dir / "b.mkv" + "' '" + dir / "c.mkv" + "'",
                dir / "err.txt");
    const std::string err = ReadText(dir / "err.txt");
    ASSERT_EQ(run.status, 0) << err;
    for (const char* name : {"a", "b", "c"}) {
        const std::string output = out + "/" + name + "_(new).mp4";
        EXPECT_NE(run.out.find(output + "\n"), std::string::npos) << run.out;
        const fx::ProbeResult probe = fx::ProbeMedia(output);
        EXPECT_NE(probe.Find(fx::StreamKind::Video), nullptr) << name;
        // The encoder writes the settings it ran with into the stream.
        EXPECT_NE(ReadText(output).find(" threads=2 "), std::string::npos) << name;
    }
    // The second input started before the first one ended.
    const size_t secondStarts = err.find("converting: " + dir / "b.mkv");
    const size_t firstEnds = err.rfind("progress: " + dir / "a.mkv");
    ASSERT_NE(secondStarts, std::string::npos) << err;
    ASSERT_NE(firstEnds, std::string::npos) << err;
    EXPECT_LT(secondStarts, firstEnds) << err;

    EXPECT_EQ(Convert(dir.Path(), "--format 1 --parallel 0 x.avi").status, 2);
    EXPECT_EQ(Convert(dir.Path(), "--format 1 --codec-threads -1 x.avi").status, 2);
}

TEST(FormatRunToolTest, ListAndBadArguments) {
    TScratchFolder dir;
    TRun list = Convert(dir.Path(), "--list-formats");
    ASSERT_EQ(list.status, 0);
    std::istringstream lines(list.out);
    std::string line;
    int count = 0;
    bool sawTs = false;
    while (std::getline(lines, line)) {
        ++count;
        sawTs = sawTs || line == "2108\tHD Video\tHD MPEG2-TS Video (*.ts)\tts";
    }
    EXPECT_EQ(count, 115);
    EXPECT_TRUE(sawTs);

    EXPECT_EQ(Convert(dir.Path(), "--format 2407 x.avi").status, 2);
    EXPECT_EQ(Convert(dir.Path(), "--format abc x.avi").status, 2);
    EXPECT_EQ(Convert(dir.Path(), "--format 0").status, 2);
    EXPECT_EQ(Convert(dir.Path(), "--format 0 --bogus x.avi").status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir / "quovo.ini")) << "bad arguments write nothing";
}

} // namespace
} // namespace quovo
