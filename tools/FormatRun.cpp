// quovo-convert's catalogue modes:
//
//   quovo-convert --list-formats
//   quovo-convert --format CODE [--output-dir DIR] [--loglevel NAME] INPUT...
//   quovo-convert --format CODE [--output-dir DIR] --titles all|N[,M...] [--subtitle ID] DISC...
//
// The second converts each INPUT with the stored parameters of catalogue format CODE (the same
// settings file the windowed program uses; a format never edited there gets its defaults from the
// format file), one after another, into DIR or the settings' output folder.
#include "FormatRun.h"

#include "ConsoleLog.h"
#include "DvdTitleInputs.h"
#include "FormatCatalogue.h"
#include "StopSignals.h"
#include "TAppSettings.h"
#include "TDialogService.h"
#include "TFFmpegLoader.h"
#include "TFormatFileRun.h"
#include "TGlobalObject.h"
#include "TIniStore.h"
#include "TTaskPlanner.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quovo {

namespace {

const char* const kFormatUsage =
    "Usage: quovo-convert --format CODE [--output-dir DIR] [--parallel N] [--codec-threads N]\n"
    "                     [--loglevel NAME] INPUT...\n"
    "       quovo-convert --format CODE [--output-dir DIR] --titles all|N[,M...]\n"
    "                     [--subtitle ID] DISC...\n"
    "       quovo-convert --list-formats\n"
    "\n"
    "Converts each INPUT to the catalogue format CODE (see --list-formats) with the parameters\n"
    "stored for that format in the settings file, the same ones the Quovo window edits.\n"
    "Each output is named after its input: NAME_(new).EXT, or NAME_(new_1).EXT and so on when\n"
    "that name is taken; no existing file is ever overwritten.\n"
    "An INPUT may be a disc title, \"opendvd:PATH|Title=N,FromChapter=A,ToChapter=B,AudioID=ID,\n"
    "SubtitleID=ID,AudioChannels=2,Deinterlace=0\"; its output is named DVD Title N_(new).EXT.\n"
    "\n"
    "  --format CODE      the format's code, e.g. 2108 for HD MPEG2-TS Video (*.ts)\n"
    "  --output-dir DIR   folder of the outputs (created when missing); default: the\n"
    "                     settings' output folder\n"
    "  --parallel N       convert up to N inputs at once (default 1)\n"
    "  --codec-threads N  threads of each decoder and encoder (default 1, 0 = automatic)\n"
    "  --loglevel NAME    quiet, panic, fatal, error (default), warning, info, verbose, debug\n"
    "  --titles LIST      the inputs are discs (drives, VIDEO_TS folders, images): convert\n"
    "                     their titles LIST, \"all\" or numbers such as 1,3, each with all its\n"
    "                     chapters and its first audio track\n"
    "  --subtitle ID      with --titles: the subtitle stream shown (e.g. 32); default none\n"
    "  --list-formats     print code, category, name and file extension of every format\n"
    "\n"
    "Settings file: $QUOVO_CONFIG_DIR/quovo.ini, else ~/.config/quovo/quovo.ini.\n"
    "Ctrl-C, SIGTERM or SIGHUP stops the run; the file being written is removed. A third\n"
    "signal ends the program at once.\n"
    "Exit status: 0 when every input was converted, 1 when any failed, 2 on bad arguments,\n"
    "130 when stopped.\n";

// Messages go to the terminal; the one question (a stored frame size that is not a size) is
// answered with the default size it offers.
class TConsoleDialogs : public TDialogService {
public:
    void ShowMessage(const std::string& title, const std::string& text, TMessageIcon) override {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    }
    bool AskYesNo(const std::string& title, const std::string& text) override {
        std::fprintf(stderr, "%s: %s Yes\n", title.c_str(), text.c_str());
        return true;
    }
};

// An empty settings file in a folder of its own, removed with it.
class TScratchSettings {
public:
    TScratchSettings() = default;
    ~TScratchSettings() {
        if (!folder_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(folder_, ec);
        }
    }
    TScratchSettings(const TScratchSettings&) = delete;
    TScratchSettings& operator=(const TScratchSettings&) = delete;

    bool Create() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quovo-settings-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            return false;
        }
        folder_ = pattern;
        store_.emplace(folder_ + "/quovo.ini");
        return true;
    }
    TIniStore& Store() { return *store_; }

private:
    std::string folder_;
    std::optional<TIniStore> store_;
};

int BadFormatArguments(const std::string& why) {
    std::fprintf(stderr, "quovo-convert: %s\n\n%s", why.c_str(), kFormatUsage);
    return 2;
}

int ListFormats() {
    TGlobalObject global;
    TIniStore formats(global.FormatFile);
    for (const TFormatEntry& f : AllFormats()) {
        const std::string ext = formats.ReadString(FormatSection(f.Code), "FileExt", "mp4");
        std::printf("%d\t%s\t%s\t%s\n", f.Code, CategoryName(f.Category).c_str(), f.Name.c_str(),
                    ext.c_str());
    }
    return 0;
}

struct FormatArguments {
    std::string codeText;
    int code = 0;
    std::string outputDir;
    std::string logLevel = "error";
    int parallel = 1;
    int codecThreads = 1;
    std::string titles;
    int subtitleId = 0;
    std::vector<std::string> inputs;
};

// Returns -1 when the run goes on, else the exit status (help shown, bad arguments).
int ParseFormatArguments(int argc, char** argv, FormatArguments& a) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kFormatUsage, stdout);
            return 0;
        } else if (arg == "--format") {
            if (!value(a.codeText)) {
                return BadFormatArguments("--format needs a format code");
            }
        } else if (arg == "--output-dir") {
            if (!value(a.outputDir) || a.outputDir.empty()) {
                return BadFormatArguments("--output-dir needs a folder");
            }
        } else if (arg == "--loglevel") {
            if (!value(a.logLevel)) {
                return BadFormatArguments("--loglevel needs a level name");
            }
        } else if (arg == "--titles") {
            if (!value(a.titles) || a.titles.empty()) {
                return BadFormatArguments("--titles needs \"all\" or title numbers");
            }
        } else if (arg == "--subtitle") {
            std::string text;
            const auto id = value(text) ? ParseWholeNumber(text) : std::nullopt;
            if (!id || *id < 0) {
                return BadFormatArguments("--subtitle needs a subtitle stream number");
            }
            a.subtitleId = *id;
        } else if (arg == "--parallel" || arg == "--codec-threads") {
            std::string text;
            const int n = value(text) ? ParseWholeNumber(text).value_or(-1) : -1;
            const int least = arg == "--parallel" ? 1 : 0;
            if (n < least) {
                return BadFormatArguments(arg + " needs a whole number of at least " +
                                          std::to_string(least));
            }
            (arg == "--parallel" ? a.parallel : a.codecThreads) = n;
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return BadFormatArguments("unknown option " + arg);
        } else {
            a.inputs.push_back(arg);
        }
    }
    auto code = ParseWholeNumber(a.codeText);
    if (!code || !FindFormat(*code)) {
        return BadFormatArguments("unknown format code '" + a.codeText +
                                  "' (quovo-convert --list-formats shows them)");
    }
    a.code = *code;
    if (a.inputs.empty()) {
        return BadFormatArguments("no input file given");
    }
    if (a.subtitleId != 0 && a.titles.empty()) {
        return BadFormatArguments("--subtitle goes with --titles");
    }
    return -1;
}

void PrintProgress(const std::string& input, const TProgressInfo& p) {
    const double done = p.CurrentDuration / 1e6;
    if (p.TotalDuration > 0) {
        std::fprintf(stderr, "progress: %s %.1f%% time=%.2f/%.2f frame=%d size=%lldkB\n",
                     input.c_str(), 100.0 * p.CurrentDuration / p.TotalDuration, done,
                     p.TotalDuration / 1e6, p.FrameNumber,
                     static_cast<long long>(p.CurrentSize / 1024));
    } else {
        std::fprintf(stderr, "progress: %s time=%.2f frame=%d size=%lldkB\n", input.c_str(), done,
                     p.FrameNumber, static_cast<long long>(p.CurrentSize / 1024));
    }
}

// Converts every input with the settings in `settings`; returns the exit status.
int ConvertInputs(const FormatArguments& a, TIniStore& settings, TIniStore& formats,
                  const std::string& appTitle) {
    TConsoleDialogs dialogs;
    TFormatFileRun run(settings, formats, dialogs, appTitle);
    run.SetOutputFolder(a.outputDir);
    run.SetStopFlag(&StopSignalled());
    run.SetTitleSource(&TitleSourceOf);
    run.SetOnProgress(PrintProgress);
    const std::string name = FindFormat(a.code)->Name;
    int failures = 0;
    run.SetCodecThreads(a.codecThreads);
    run.ConvertAll(
        a.code, a.inputs, a.parallel,
        [&](const std::string& input) {
            std::fprintf(stderr, "converting: %s to %s\n", input.c_str(), name.c_str());
        },
        [&](const std::string& input, const TFormatRunResult& r) {
            if (r.Ok) {
                std::printf("%s\n", r.Output.c_str());
                std::fflush(stdout);
            } else {
                ++failures;
                std::fprintf(stderr, "quovo-convert: %s: %s\n", input.c_str(), r.Error.c_str());
            }
        });
    if (StopSignalled().load()) {
        std::fprintf(stderr, "quovo-convert: stopped\n");
        return 130;
    }
    return failures == 0 ? 0 : 1;
}

// With --titles the inputs are discs: each becomes the "opendvd:" names of its titles.
bool ExpandTitles(FormatArguments& a) {
    std::vector<std::string> names;
    for (const std::string& disc : a.inputs) {
        if (std::string why; !TitleInputs(disc, a.titles, a.subtitleId, names, why)) {
            std::fprintf(stderr, "quovo-convert: %s\n", why.c_str());
            return false;
        }
    }
    a.inputs = std::move(names);
    return true;
}

int RunFormat(int argc, char** argv) {
    FormatArguments a;
    if (const int rc = ParseFormatArguments(argc, argv, a); rc >= 0) {
        return rc;
    }
    // Ctrl-C or a termination request ends the run cleanly: no half-written output stays behind.
    InstallStopSignals();
    if (std::string error; !LogToStandardError(a.logLevel, error)) {
        return BadFormatArguments("bad --loglevel: " + error);
    }
    if (!FFLoader().LoadLibraries(ConverterLibraryMask)) {
        std::fprintf(stderr, "quovo-convert: %s\n", FFLoader().LastLoadError().c_str());
        return 1;
    }

    if (!a.titles.empty() && !ExpandTitles(a)) {
        return 1;
    }
    TGlobalObject global;
    TIniStore userSettings(global.SettingsFile);
    TIniStore formats(global.FormatFile);
    // A settings file that cannot be read is said once and left alone: the run takes the
    // defaults from a scratch file of its own instead.
    TScratchSettings scratch;
    const std::string warning = SettingsReadWarning(userSettings);
    if (!warning.empty()) {
        std::fprintf(stderr, "quovo-convert: %s\n", warning.c_str());
        if (!scratch.Create()) {
            std::fprintf(stderr, "quovo-convert: cannot create a scratch settings file\n");
            return 1;
        }
    }
    if (!formats.SectionExists(FormatSection(a.code))) {
        std::fprintf(stderr, "quovo-convert: the format file %s is missing or has no format %d\n",
                     global.FormatFile.c_str(), a.code);
        return 1;
    }
    return ConvertInputs(a, warning.empty() ? userSettings : scratch.Store(), formats,
                         global.AppTitle);
}

} // namespace

bool RunFormatCommands(int argc, char** argv, int& rc) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--list-formats") {
            rc = ListFormats();
            return true;
        }
        if (arg == "--format") {
            rc = RunFormat(argc, argv);
            return true;
        }
    }
    return false;
}

} // namespace quovo
