// quovo-convert: runs the conversion engine without windows.
//
//   quovo-convert [--in NAME=VALUE]... INPUT [[--in NAME=VALUE]... INPUT]...
//                 [--out NAME=VALUE]... OUTPUT
//
// Every NAME=VALUE is applied with the engine's SetOption (the option name without a dash), in the
// order given, right before the input that follows it is opened or before the output is created.
#include "DvdListing.h"
#include "FormatRun.h"
#include "TCustomFFmpeg.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

using namespace quovo;

namespace {

const char* const kUsage =
    "Usage: quovo-convert [options] [--in NAME=VALUE]... INPUT [--out NAME=VALUE]... OUTPUT\n"
    "\n"
    "Converts INPUT into OUTPUT with the Quovo engine. Several inputs may be given, each\n"
    "preceded by its own --in options; the last file name is the output.\n"
    "\n"
    "  --in NAME=VALUE    engine option applied before the next input is opened\n"
    "  --out NAME=VALUE   engine option applied before the output is created\n"
    "                     (NAME without a dash, e.g. vcodec=copy, t=10, map=0.1)\n"
    "  --join             join all inputs one after another into the output\n"
    "  --loglevel NAME    quiet, panic, fatal, error, warning, info (default), verbose, debug\n"
    "  --list-titles PATH list the titles of the DVD at PATH (drive, folder or ISO image)\n"
    "  --list-drives      list the optical drives with the labels of their discs\n"
    "  --format CODE      convert to a catalogue format (see --format --help)\n"
    "  --list-formats     list the catalogue formats\n"
    "  --help             show this text\n"
    "\n"
    "Exit status: 0 when the conversion completed, 1 when it failed, 2 on bad arguments.\n";

struct Step {
    enum Kind { Option, Input } kind;
    std::string name, value;
};

class TConsoleFFmpeg : public TCustomFFmpeg {
public:
    void ProgressReport(bool isLastReport, int inputIndex) override {
        int64_t frames = 0;
        double outTime = 0;
        for (const auto& ost : OutputStreams()) {
            if (ost->st && ost->st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
                frames += ost->frame_number;
            }
            outTime = std::max(outTime, ost->OutputTime());
        }
        std::fprintf(stderr, "progress: frame=%lld time=%.2f total=%.2f size=%lldkB%s\n",
                     static_cast<long long>(frames), outTime,
                     ProgressTotal() > 0 ? ProgressTotal() / 1e6 : 0.0,
                     static_cast<long long>((VideoSize() + AudioSize()) / 1024),
                     isLastReport ? " (end)" : "");
    }
};

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

} // namespace

int main(int argc, char** argv) {
    if (int rc = 0; RunDvdCommands(argc, argv, rc)) {
        return rc;
    }
    if (int rc = 0; RunFormatCommands(argc, argv, rc)) {
        return rc;
    }
    std::vector<Step> steps;
    std::vector<Step> outputOptions;
    std::vector<std::string> files;
    std::string logLevel = "info";
    bool join = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--join") {
            join = true;
        } else if (arg == "--loglevel") {
            if (++i >= argc) {
                return BadArguments("--loglevel needs a level name");
            }
            logLevel = argv[i];
        } else if (arg == "--in" || arg == "--out") {
            if (++i >= argc) {
                return BadArguments(arg + " needs NAME=VALUE");
            }
            Step s{Step::Option, "", ""};
            if (!SplitOption(argv[i], s.name, s.value)) {
                return BadArguments(std::string("not of the form NAME=VALUE: ") + argv[i]);
            }
            (arg == "--in" ? steps : outputOptions).push_back(s);
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return BadArguments("unknown option " + arg);
        } else {
            // A file: every file but the last is an input. The output's options are the --out
            // ones, so an input takes only the --in options before it.
            files.push_back(arg);
            steps.push_back(Step{Step::Input, arg, ""});
        }
    }
    if (files.size() < 2) {
        return BadArguments("an input and an output file are needed");
    }
    steps.pop_back(); // the output
    const std::string output = files.back();

    TFFLogger* logger = FFLogger();
    logger->SetTriggerEventInMainThread(false);
    logger->SetOnLog([](TFFBaseComponent*, uint32_t, TLogLevel, const std::string& msg) {
        std::fprintf(stderr, "%s\n", msg.c_str());
    });
    try {
        logger->SetLevelByName(logLevel);
    } catch (const std::exception& e) {
        return BadArguments(std::string("bad --loglevel: ") + e.what());
    }
    if (!FFLoader().LoadLibraries(ConverterLibraryMask)) {
        std::fprintf(stderr, "quovo-convert: %s\n", FFLoader().LastLoadError().c_str());
        return 1;
    }

    TConsoleFFmpeg engine;
    try {
        for (const Step& s : steps) {
            if (s.kind == Step::Option) {
                engine.SetOption(s.name, s.value);
            } else if (!engine.OpenInputFile(s.name)) {
                throw FFmpegException(engine.LastErrorText());
            }
        }
        for (const Step& s : outputOptions) {
            engine.SetOption(s.name, s.value);
        }
        if (engine.OpenOutputFile(output, join) < 0) {
            throw FFmpegException(engine.LastErrorText());
        }
        engine.Transcode();
    } catch (const std::exception& e) {
        engine.ReleaseAll();
        std::fprintf(stderr, "quovo-convert: %s\n", e.what());
        return 1;
    }
    engine.ReleaseAll();
    if (!engine.RunCompleted()) {
        std::fprintf(stderr, "quovo-convert: the conversion did not complete\n");
        return 1;
    }
    std::fprintf(stderr, "Output written to %s\n", output.c_str());
    return 0;
}
