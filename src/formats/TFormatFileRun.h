// Converting media files and disc titles to a catalogue format without windows: each input is
// planned by the task planner (as the window's rows are) and becomes one conversion task. Used by
// quovo-convert's --format mode.
//
// Everything but the conversions themselves happens on the calling thread (the settings, the
// probe, the naming, the results). Convert runs its task on that thread too; ConvertAll runs each
// task on a worker of its own, from which the progress lines come (no main-thread dispatcher is
// involved).
#pragma once

#include "DVDTypes.h"
#include "TDialogService.h"
#include "TIniStore.h"
#include "TMediaConverter.h"
#include "TTaskPlanner.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quovo {

struct TFormatRunResult {
    bool Ok = false;
    std::string Output; // the file written (empty when none)
    std::string Error;  // why it failed
};

class TFormatFileRun {
public:
    TFormatFileRun(TIniStore& settings, const TIniStore& formatFile, TDialogService& dialogs,
                   std::string appTitle);

    // Output folder of this run; empty = the settings' OutPutDir with its fallback.
    void SetOutputFolder(std::string folder) { outputFolder_ = std::move(folder); }
    // A flag another thread or a signal handler raises to end the run: the task in progress is
    // stopped at its next progress report (its partial output removed), no further file starts.
    void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }
    using TProgressLine = std::function<void(const std::string& input, const TProgressInfo&)>;
    void SetOnProgress(TProgressLine onProgress) { onProgress_ = std::move(onProgress); }
    // Tells a disc title among the inputs ("opendvd:" names): true with the source filled in
    // (disc, choices, the title's description), which the planner takes instead of a file.
    using TTitleSource = std::function<bool(const std::string& input, TPlanSource& source)>;
    void SetTitleSource(TTitleSource source) { titleSource_ = std::move(source); }
    // Threads of each decoder and encoder (0 = the library's choice; 1 by default).
    void SetCodecThreads(int threads) { codecThreads_ = threads < 0 ? 1 : threads; }

    // The task of one input as the planner makes it, without running it.
    TPlannedTask Plan(int formatCode, const std::string& input) const;

    // Converts one file. The name is chosen right before the run, so files of the same name in
    // one batch never share an output; a failed run removes its partial output.
    TFormatRunResult Convert(int formatCode, const std::string& input);
    // Runs one task of `input` with records already built, writing out.FileName.
    TFormatRunResult Run(const std::string& input, TInputOptions& in, TOutputOptions& out);

    // Converts every file, up to `parallel` at once; each name is chosen right before its run.
    // `onStart` and `onResult` are called on the calling thread as each file starts and ends.
    using TStartLine = std::function<void(const std::string& input)>;
    using TResultLine = std::function<void(const std::string& input, const TFormatRunResult&)>;
    void ConvertAll(int formatCode, const std::vector<std::string>& inputs, int parallel,
                    const TStartLine& onStart, const TResultLine& onResult);

private:
    struct TFileTask;
    // Everything up to the task ready to start; nullptr with `failure` filled when it cannot be.
    std::unique_ptr<TFileTask> Prepare(int formatCode, const std::string& input,
                                       TFormatRunResult& failure);
    // The task of records already built.
    std::unique_ptr<TFileTask> MakeTask(const std::string& input, TInputOptions& in,
                                        TOutputOptions& out, TFormatRunResult& failure);
    // Runs `task` on this thread to its end; `failure` when there is none.
    TFormatRunResult RunHere(TFileTask* task, const TFormatRunResult& failure);
    // The result of an ended task; a failed one's output is removed.
    TFormatRunResult Finish(TFileTask& task);
    bool StopRequested() const { return stop_ != nullptr && stop_->load(); }

    TIniStore& settings_;
    const TIniStore& formatFile_;
    TDialogService& dialogs_;
    std::string appTitle_;
    std::string outputFolder_;
    TProgressLine onProgress_;
    TTitleSource titleSource_;
    const std::atomic<bool>* stop_ = nullptr;
    int codecThreads_ = 1;
};

} // namespace quovo
