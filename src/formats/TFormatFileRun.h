// Converting media files to a catalogue format without windows: for each file the probe, a fresh
// output name, the format's stored parameters through the option builder, and one conversion task
// run to its end on the calling thread. Used by quovo-convert's --format mode.
//
// Runs on one thread; the converter's events are delivered on it (no main-thread dispatcher is
// involved).
#pragma once

#include "TDialogService.h"
#include "TIniStore.h"
#include "TMediaConverter.h"

#include <atomic>
#include <functional>
#include <string>

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

    // Converts one file. The name is chosen right before the run, so files of the same name in
    // one batch never share an output; a failed run removes its partial output.
    TFormatRunResult Convert(int formatCode, const std::string& input);
    // Runs one task of `input` with records already built, writing out.FileName.
    TFormatRunResult Run(const std::string& input, TInputOptions& in, TOutputOptions& out);

private:
    bool StopRequested() const { return stop_ != nullptr && stop_->load(); }

    TIniStore& settings_;
    const TIniStore& formatFile_;
    TDialogService& dialogs_;
    std::string appTitle_;
    std::string outputFolder_;
    TProgressLine onProgress_;
    const std::atomic<bool>* stop_ = nullptr;
};

} // namespace quovo
