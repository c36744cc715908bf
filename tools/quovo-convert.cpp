// quovo-convert: runs conversions without windows, through the conversion component.
//
//   quovo-convert [options] [--in NAME=VALUE]... INPUT [[--in NAME=VALUE]... INPUT]...
//                 [--out NAME=VALUE]... OUTPUT [--next ... OUTPUT]...
//
// Each INPUT... OUTPUT group is one task of the component; the tasks run on worker threads, at
// most --parallel at a time, while this (main) thread prints their progress. Every NAME=VALUE is
// an engine option (the option name without a dash): --in ones apply right before the input that
// follows them is opened, --out ones before the group's output is created.
#include "ConsoleLog.h"
#include "DvdListing.h"
#include "FormatRun.h"
#include "MainThread.h"
#include "StopSignals.h"
#include "TFFmpegLoader.h"
#include "TMediaConverter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

using namespace quovo;

namespace {

const char* const kUsage =
    "Usage: quovo-convert [options] [--in NAME=VALUE]... INPUT [--out NAME=VALUE]... OUTPUT\n"
    "                     [--next [--in NAME=VALUE]... INPUT [--out NAME=VALUE]... OUTPUT]...\n"
    "\n"
    "Converts INPUT into OUTPUT with the Quovo engine. Several inputs may be given, each\n"
    "preceded by its own --in options; the last file name is the output. --next starts\n"
    "another conversion task with its own files and options.\n"
    "\n"
    "  --in NAME=VALUE    engine option applied before the next input is opened\n"
    "  --out NAME=VALUE   engine option applied before the output is created\n"
    "                     (NAME without a dash, e.g. vcodec=copy, t=10, map=0.1)\n"
    "  --join             join all inputs of the task one after another into its output\n"
    "  --next             end this task's files; what follows is another task\n"
    "  --parallel N       run up to N tasks at once (default 1)\n"
    "  --codec-threads N  threads of each decoder and encoder (default 1, 0 = automatic)\n"
    "  --progress-interval MS  least time between two progress lines (default 500)\n"
    "  --pause-after S    pause the run S seconds after it started (for testing)\n"
    "  --resume-after S   resume it S seconds after that pause\n"
    "  --loglevel NAME    quiet, panic, fatal, error, warning, info (default), verbose, debug\n"
    "  --list-titles PATH list the titles of the DVD at PATH (drive, folder or ISO image)\n"
    "  --list-drives      list the optical drives with the labels of their discs\n"
    "  --format CODE      convert to a catalogue format (see --format --help)\n"
    "  --list-formats     list the catalogue formats\n"
    "  --help             show this text\n"
    "\n"
    "Ctrl-C, SIGTERM or SIGHUP stops the run; outputs written so far are finished and stay\n"
    "playable. A third signal ends the program at once.\n"
    "Exit status: 0 when every conversion completed, 1 when one failed or was stopped,\n"
    "2 on bad arguments.\n";

struct Step {
    enum Kind { Option, Input } kind;
    std::string name, value;
};

struct Group {
    std::vector<Step> steps;         // options and inputs in order; the last input is the output
    std::vector<Step> outputOptions; // --out
    bool join = false;
};

// Options whose record field is always applied: they go into the field, not the extra lines.
bool TakeRecordOption(TOutputOptions& o, const std::string& name, const std::string& value) {
    if (name == "async") {
        o.AudioSync = std::atoi(value.c_str());
    } else if (name == "vsync") {
        o.VideoSync = std::atoi(value.c_str());
    } else if (name == "isync") {
        o.InputSync = value != "0";
    } else if (name == "alang") {
        o.AudioLanguage = value;
    } else if (name == "vlang") {
        o.VideoLanguage = value;
    } else if (name == "slang") {
        o.SubtitleLanguage = value;
    } else {
        return false;
    }
    return true;
}

bool ParseNumber(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end && *end == 0 && end != text && out >= 0;
}

int BadArguments(const std::string& why) {
    std::fprintf(stderr, "quovo-convert: %s\n\n%s", why.c_str(), kUsage);
    return 2;
}

bool SplitOption(const std::string& text, std::string& name, std::string& value) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) {
        return false;
    }
    name = text.substr(0, eq);
    value = text.substr(eq + 1);
    return true;
}

// What the command line asks for.
struct Arguments {
    std::vector<Group> groups{1};
    std::string logLevel = "info";
    int parallel = 1;
    int codecThreads = 1;
    int progressInterval = 500;
    double pauseAfter = -1, resumeAfter = -1;
};

// Reads the command line into `a`. Returns -1 to go on, or the exit status (help, bad arguments).
int ParseArguments(int argc, char** argv, Arguments& a) {
    std::vector<Group>& groups = a.groups;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto number = [&](double& out) { return ++i < argc && ParseNumber(argv[i], out); };
        double v = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--join") {
            groups.back().join = true;
        } else if (arg == "--next") {
            groups.emplace_back();
        } else if (arg == "--parallel" || arg == "--codec-threads" ||
                   arg == "--progress-interval") {
            if (!number(v) || v != static_cast<int>(v)) {
                return BadArguments(arg + " needs a whole number");
            }
            (arg == "--parallel"        ? a.parallel
             : arg == "--codec-threads" ? a.codecThreads
                                        : a.progressInterval) = static_cast<int>(v);
        } else if (arg == "--pause-after" || arg == "--resume-after") {
            if (!number(v)) {
                return BadArguments(arg + " needs a number of seconds");
            }
            (arg == "--pause-after" ? a.pauseAfter : a.resumeAfter) = v;
        } else if (arg == "--loglevel") {
            if (++i >= argc) {
                return BadArguments("--loglevel needs a level name");
            }
            a.logLevel = argv[i];
        } else if (arg == "--in" || arg == "--out") {
            if (++i >= argc) {
                return BadArguments(arg + " needs NAME=VALUE");
            }
            Step s{Step::Option, "", ""};
            if (!SplitOption(argv[i], s.name, s.value)) {
                return BadArguments(std::string("not of the form NAME=VALUE: ") + argv[i]);
            }
            (arg == "--in" ? groups.back().steps : groups.back().outputOptions).push_back(s);
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return BadArguments("unknown option " + arg);
        } else {
            // A file: every file of a group but the last is an input. The output's options are
            // the --out ones, so an input takes only the --in options before it.
            groups.back().steps.push_back(Step{Step::Input, arg, ""});
        }
    }
    for (const Group& g : groups) {
        int files = 0;
        for (const Step& s : g.steps) {
            files += s.kind == Step::Input ? 1 : 0;
        }
        if (files < 2) {
            return BadArguments("each task needs an input and an output file");
        }
    }
    if (a.parallel < 1) {
        return BadArguments("--parallel needs at least 1");
    }
    if (a.resumeAfter >= 0 && a.pauseAfter < 0) {
        return BadArguments("--resume-after needs --pause-after");
    }
    return -1;
}

// The ends of the tasks, as the terminate event delivers them.
struct Ends {
    std::mutex mutex;
    std::vector<TTerminateInfo> tasks;
    bool all = false;
};

void PrintProgress(TCustomMediaConverter*, TProgressInfo* p) {
    std::fprintf(stderr,
                 "progress: task=%d frame=%d fps=%d q=%.1f size=%lldkB time=%.2f total=%.2f "
                 "bitrate=%.1fkbits/s%s\n",
                 p->TaskIndex, p->FrameNumber, p->FPS, p->Quality,
                 static_cast<long long>(p->CurrentSize / 1024), p->CurrentDuration / 1e6,
                 p->TotalDuration > 0 ? p->TotalDuration / 1e6 : 0.0, p->BitRate,
                 p->FileIndex < 0 ? " (end)" : "");
}

// Adds one task per group; returns false (the reason printed) when an input or output fails.
bool AddTasks(TMediaConverter& converter, std::vector<Group>& groups,
              std::vector<std::string>& outputs) {
    for (Group& group : groups) {
        Step output = group.steps.back();
        group.steps.pop_back();
        int task = -1;
        std::string lines; // --in options gathered for the next input
        for (const Step& s : group.steps) {
            if (s.kind == Step::Option) {
                lines += s.name + "=" + s.value + "\n";
                continue;
            }
            TInputOptions in;
            in.ExtOptions = lines;
            lines.clear();
            const bool ok = task < 0 ? (task = converter.AddTask(s.name, &in)) >= 0
                                     : converter.AddInput(task, s.name, &in);
            if (!ok) {
                std::fprintf(stderr, "quovo-convert: %s\n", converter.LastErrMsg().c_str());
                return false;
            }
        }
        TOutputOptions out;
        out.Join = group.join;
        for (const Step& s : group.outputOptions) {
            if (!TakeRecordOption(out, s.name, s.value)) {
                out.ExtOptions += s.name + "=" + s.value + "\n";
            }
        }
        if (!converter.SetOutputFile(task, output.name, &out)) {
            std::fprintf(stderr, "quovo-convert: %s\n", converter.LastErrMsg().c_str());
            return false;
        }
        outputs.push_back(output.name);
    }
    return true;
}

// Starts the run and serves this thread's queue until every task has ended, pausing, resuming
// and stopping as asked.
void RunUntilEnded(TMediaConverter& converter, const Arguments& a, Ends& ends) {
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    auto pausedAt = Clock::time_point{};
    bool paused = false, resumed = false, stopping = false;
    converter.StartTask(a.parallel);
    for (;;) {
        {
            std::lock_guard lock(ends.mutex);
            if (ends.all) {
                break;
            }
        }
        // Progress comes to this thread: serve it while waiting.
        WaitAndDrainMainThreadQueue(std::chrono::milliseconds(20));
        const auto now = Clock::now();
        if (StopSignalled() && !stopping) {
            stopping = true;
            std::fprintf(stderr, "quovo-convert: stopping\n");
            converter.Stop(false);
        }
        if (!paused && a.pauseAfter >= 0 &&
            now - started >= std::chrono::duration<double>(a.pauseAfter)) {
            paused = true;
            pausedAt = now;
            std::fprintf(stderr, "quovo-convert: paused\n");
            converter.Pause();
        }
        if (paused && !resumed && a.resumeAfter >= 0 &&
            now - pausedAt >= std::chrono::duration<double>(a.resumeAfter)) {
            resumed = true;
            std::fprintf(stderr, "quovo-convert: resumed\n");
            converter.Resume();
        }
    }
}

// Prints how each task ended; returns the exit status.
int ReportEnds(Ends& ends, const std::vector<std::string>& outputs) {
    bool allFinished = true;
    std::lock_guard lock(ends.mutex);
    for (const TTerminateInfo& t : ends.tasks) {
        std::fprintf(stderr, "terminate: task=%d finished=%s exception=%s%s%s\n", t.TaskIndex,
                     t.Finished ? "yes" : "no", t.Exception ? "yes" : "no",
                     t.ExceptionMsg.empty() ? "" : " message=", t.ExceptionMsg.c_str());
        allFinished = allFinished && t.Finished && !t.Exception;
        if (t.Finished && t.TaskIndex >= 0 && t.TaskIndex < static_cast<int>(outputs.size())) {
            std::fprintf(stderr, "Output written to %s\n", outputs[t.TaskIndex].c_str());
        }
    }
    if (!allFinished) {
        std::fprintf(stderr, "quovo-convert: %s\n",
                     StopSignalled() ? "stopped" : "a conversion did not complete");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (int rc = 0; RunDvdCommands(argc, argv, rc)) {
        return rc;
    }
    if (int rc = 0; RunFormatCommands(argc, argv, rc)) {
        return rc;
    }
    Arguments args;
    if (const int rc = ParseArguments(argc, argv, args); rc >= 0) {
        return rc;
    }

    // From here on a signal stops cleanly: opening the inputs may take a while.
    InstallStopSignals();
    SetMainThread();
    if (std::string error; !LogToStandardError(args.logLevel, error)) {
        return BadArguments("bad --loglevel: " + error);
    }
    TMediaConverter converter;
    if (!converter.LoadLibraries(FFLoader().LibraryPath())) {
        std::fprintf(stderr, "quovo-convert: %s\n", converter.LastErrMsg().c_str());
        return 1;
    }
    converter.SetCodecThreads(args.codecThreads);
    converter.SetProgressInterval(args.progressInterval);
    Ends ends;
    converter.SetOnProgress(PrintProgress);
    converter.SetOnTerminate([&](TCustomMediaConverter*, const TTerminateInfo& t) {
        std::lock_guard lock(ends.mutex);
        if (t.TaskIndex < 0) {
            ends.all = true;
        } else {
            ends.tasks.push_back(t);
        }
    });

    std::vector<std::string> outputs;
    if (!AddTasks(converter, args.groups, outputs)) {
        return 1;
    }
    if (StopSignalled()) {
        std::fprintf(stderr, "quovo-convert: stopped\n");
        return 1;
    }
    RunUntilEnded(converter, args, ends);
    return ReportEnds(ends, outputs);
}
