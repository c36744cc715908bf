// Batch runs through the main window, offscreen, with the program's own application object:
//   - BM_WindowRun: four 10 s 720x576 MPEG-2 files to the default format (H.264 320x240 in MP4)
//     through "&Start" and the progress window, against `quovo-convert --format` on the same files
//     with the same settings file. Each iteration runs both, in alternating order; the counter
//     window_cost_% is the median of the per-iteration ratios (target: at most 3). While the
//     window's runs go on, an event is posted to it every 50 ms: worst_answer_ms is the longest
//     any of them waited (target: under 200).
//   - BM_AllCores: the 30 s 720x576 MPEG-2 clip through the window to H.264 in Matroska at the
//     source's size (catalogue format 2200) with "Use all processor cores for each conversion" off
//     and on, alternating; speedup is the median of off / on (target on two cores: at least 1.5).
#include "BenchSupport.h"
#include "Fixtures.h"
#include "TMainWindowRun.h"
#include "TQuovoApplication.h"
#include "WinMain.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

using namespace quovo;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A bench run must not fail: a message ends the benchmark after the run.
class TQuietDialogs : public TDialogService {
public:
    void ShowMessage(const std::string& title, const std::string& text, TMessageIcon) override {
        Messages.push_back(title + ": " + text);
    }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    std::vector<std::string> Messages;
};

class TQuietDesktop : public TDesktopActions {
public:
    void ShutDownComputer() override {}
    void HoldSleep(bool) override {}
    void RunEnded(int, int, const QString&) override {}
};

// The window needs a QApplication; it is made before any benchmark runs, so that one which only
// needs a plainer application finds it there. It lives as long as the process.
const bool applicationMade = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "quovo_bench";
    static char* argv[] = {name, nullptr};
    new TQuovoApplication(argc, argv);
    return true;
}();

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void EmptyFolder(const std::string& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
}

// A main window of its own settings folder, shown offscreen.
class TBenchWindow {
public:
    TBenchWindow(const std::string& name, int formatCode, bool allCores)
        : dir_(fixtures::FixtureDir() + "/" + name), formatCode_(formatCode) {
        EmptyFolder(dir_);
        std::ofstream(dir_ + "/quovo.ini")
            << "[settings]\nOutPutDir=" << Out() << "\nFormatCode=" << formatCode
            << "\nallCores=" << (allCores ? 1 : 0) << "\nconversionsAtOnce=1\n";
        ::setenv("QUOVO_CONFIG_DIR", dir_.c_str(), 1);
        window_ = std::make_unique<TfrmMain>(dialogs_);
        window_->show();
        window_->RunControl().SetDesktop(desktop_);
        window_->SetFolderOpener([](const QString&) {});
    }
    ~TBenchWindow() {
        window_.reset();
        ::unsetenv("QUOVO_CONFIG_DIR");
    }
    std::string Config() const { return dir_; }
    std::string Out() const { return dir_ + "/out"; }
    int FormatCode() const { return formatCode_; }

    // Converts `files` through "&Start"; the wall time. Meanwhile an event is posted every 50 ms
    // and the longest wait for one is kept in worstAnswerMs.
    double Run(const std::vector<std::string>& files, double& worstAnswerMs) {
        EmptyFolder(Out());
        TSourceListModel& list = window_->SourceList();
        list.Clear();
        for (const std::string& file : files) {
            list.AddFileRow(std::make_unique<TlvFilesRecord>(
                MakeFileRecord(list.Count(), file, std::string(), 0, "lbox")));
        }
        QEventLoop loop;
        QObject::connect(&window_->RunControl().Run(), &TBatchRun::RunFinished, &loop,
                         &QEventLoop::quit);
        QTimer poster;
        poster.setInterval(50);
        QObject::connect(&poster, &QTimer::timeout, [&] {
            const auto posted = Clock::now();
            QMetaObject::invokeMethod(
                &loop,
                [posted, &worstAnswerMs] {
                    worstAnswerMs = std::max(worstAnswerMs, Seconds(posted) * 1000);
                },
                Qt::QueuedConnection);
        });
        const auto start = Clock::now();
        if (!window_->RunControl().Run().btnStartClick()) {
            throw std::runtime_error("the run did not start");
        }
        poster.start();
        loop.exec();
        const double seconds = Seconds(start);
        if (!dialogs_.Messages.empty()) {
            throw std::runtime_error(dialogs_.Messages.front());
        }
        if (std::distance(fs::directory_iterator(Out()), fs::directory_iterator()) !=
            static_cast<long>(files.size())) {
            throw std::runtime_error("the run did not write every output");
        }
        return seconds;
    }

private:
    std::string dir_;
    int formatCode_;
    TQuietDialogs dialogs_;
    TQuietDesktop desktop_;
    std::unique_ptr<TfrmMain> window_;
};

// The same files through the command-line converter with the window's settings file.
double ToolRun(const TBenchWindow& window, const std::vector<std::string>& files) {
    const std::string out = window.Out() + "-tool";
    EmptyFolder(out);
    QStringList arguments{"--format",        QString::number(window.FormatCode()),
                          "--output-dir",    QString::fromStdString(out),
                          "--codec-threads", "0"};
    for (const std::string& file : files) {
        arguments << QString::fromStdString(file);
    }
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUOVO_CONFIG_DIR", QString::fromStdString(window.Config()));
    tool.setProcessEnvironment(environment);
    // Its progress lines would bury the figures; they are shown when it fails.
    tool.setProcessChannelMode(QProcess::MergedChannels);
    const auto start = Clock::now();
    tool.start(QUOVO_CONVERT_TOOL, arguments);
    if (!tool.waitForFinished(-1) || tool.exitCode() != 0) {
        throw std::runtime_error("quovo-convert failed:\n" + tool.readAll().toStdString());
    }
    return Seconds(start);
}

std::vector<std::string> FourFiles() {
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i) {
        const std::string copy =
            fixtures::FixtureDir() + "/bench-run-" + std::to_string(i) + ".mpg";
        if (!fs::exists(copy)) {
            fs::copy_file(bench::DvdClip(10), copy);
        }
        files.push_back(copy);
    }
    return files;
}

void BM_WindowRun(benchmark::State& state) {
    bench::QuietLibraries();
    const std::vector<std::string> files = FourFiles();
    TBenchWindow window("bench-window-run", 1, true);
    std::vector<double> ratios;
    double worstAnswerMs = 0;
    for (auto _ : state) {
        const auto [windowSeconds, toolSeconds] = bench::InTurn(
            ratios.size(), [&] { return window.Run(files, worstAnswerMs); },
            [&] { return ToolRun(window, files); });
        state.SetIterationTime(windowSeconds);
        ratios.push_back(windowSeconds / toolSeconds);
    }
    state.counters["window_cost_%"] = (bench::Median(ratios) - 1) * 100;
    state.counters["worst_answer_ms"] = worstAnswerMs;
}

void BM_AllCores(benchmark::State& state) {
    bench::QuietLibraries();
    const std::vector<std::string> clip{bench::DvdClip(30)};
    TBenchWindow off("bench-one-core", 2200, false);
    TBenchWindow on("bench-all-cores", 2200, true);
    std::vector<double> speedups;
    double worstAnswerMs = 0;
    for (auto _ : state) {
        const auto [offSeconds, onSeconds] = bench::InTurn(
            speedups.size(), [&] { return off.Run(clip, worstAnswerMs); },
            [&] { return on.Run(clip, worstAnswerMs); });
        state.SetIterationTime(onSeconds);
        speedups.push_back(offSeconds / onSeconds);
    }
    state.counters["speedup"] = bench::Median(speedups);
    state.counters["worst_answer_ms"] = worstAnswerMs;
}

// Pairs per benchmark: QUOVO_RUN_ITERATIONS, else 4.
int PairCount() {
    return bench::CountFromEnv("QUOVO_RUN_ITERATIONS", 4);
}

} // namespace

BENCHMARK(BM_WindowRun)
    ->Iterations(PairCount())
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_AllCores)
    ->Iterations(PairCount())
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
