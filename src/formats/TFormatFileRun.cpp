#include "TFormatFileRun.h"

#include "TGlobalObject.h"
#include "TOutputFiles.h"
#include "TTaskPlanner.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

namespace quovo {

TFormatFileRun::TFormatFileRun(TIniStore& settings, const TIniStore& formatFile,
                               TDialogService& dialogs, std::string appTitle)
    : settings_(settings), formatFile_(formatFile), dialogs_(dialogs),
      appTitle_(std::move(appTitle)) {}

// One file's conversion: its own component, and how its task ended (told by the component's
// events, which come from a worker in threaded runs).
struct TFormatFileRun::TFileTask {
    std::string input;
    std::string output;
    TMediaConverter converter;
    std::mutex mutex;
    TTerminateInfo ending; // --- guarded by mutex
    bool ended = false;    // --- guarded by mutex
    std::atomic<bool> allDone{false};
    std::atomic<bool> stopped{false};
};

TPlannedTask TFormatFileRun::Plan(int formatCode, const std::string& input) const {
    TPlanSource source;
    source.FileName = input;
    if (titleSource_ && titleSource_(input, source)) {
        source.IsTitle = true;
    }
    TTaskPlanner planner(settings_, formatFile_, dialogs_, DefaultOutputFolder());
    planner.SetOutputFolder(outputFolder_);
    return planner.Plan(source, formatCode, TPlanEdits());
}

std::unique_ptr<TFormatFileRun::TFileTask>
TFormatFileRun::Prepare(int formatCode, const std::string& input, TFormatRunResult& result) {
    if (StopRequested()) {
        result.Error = "Stopped.";
        return nullptr;
    }
    TPlannedTask planned = Plan(formatCode, input);
    if (!planned.Ok()) {
        result.Error = planned.Error;
        return nullptr;
    }
    return MakeTask(planned.InputName, planned.Input, planned.Output, result);
}

std::unique_ptr<TFormatFileRun::TFileTask> TFormatFileRun::MakeTask(const std::string& input,
                                                                    TInputOptions& in,
                                                                    TOutputOptions& out,
                                                                    TFormatRunResult& result) {
    const std::string output = out.FileName;
    auto task = std::make_unique<TFileTask>();
    task->input = input;
    task->output = output;
    TFileTask& t = *task;
    TMediaConverter& converter = t.converter;
    converter.SetTriggerEventInMainThread(false);
    converter.SetCodecThreads(codecThreads_);
    converter.SetOnTerminate([&t](TCustomMediaConverter*, const TTerminateInfo& info) {
        if (info.TaskIndex >= 0) {
            std::lock_guard lock(t.mutex);
            t.ending = info;
            t.ended = true;
        } else {
            t.allDone = true;
        }
    });
    converter.SetOnProgress([this, &t](TCustomMediaConverter* sender, TProgressInfo* info) {
        if (onProgress_ && info != nullptr) {
            onProgress_(t.input, *info);
        }
        if (StopRequested() && !t.stopped.exchange(true)) {
            sender->Stop(false);
        }
    });
    TPlannedTask planned;
    planned.InputName = input;
    planned.Input = in;
    planned.Output = out;
    planned.OutputPath = output;
    if (QueuePlannedTask(converter, planned, result.Error) < 0) {
        converter.ClearTasks();
        std::error_code ec;
        std::filesystem::remove(output, ec);
        return nullptr;
    }
    return task;
}

TFormatRunResult TFormatFileRun::Finish(TFileTask& t) {
    t.converter.ClearTasks();
    TFormatRunResult result;
    std::lock_guard lock(t.mutex);
    result.Ok = t.ended && t.ending.Finished && !t.ending.Exception;
    if (!result.Ok) {
        result.Error = t.stopped                        ? "Stopped."
                       : !t.ending.ExceptionMsg.empty() ? t.ending.ExceptionMsg
                                                        : "The conversion did not complete.";
        // Whatever the component left: a stopped run's finished file, a failed one's partial.
        std::error_code ec;
        std::filesystem::remove(t.output, ec);
        std::filesystem::remove(PartFileName(t.output), ec);
        return result;
    }
    result.Output = t.output;
    return result;
}

TFormatRunResult TFormatFileRun::RunHere(TFileTask* task, const TFormatRunResult& failure) {
    if (task == nullptr) {
        return failure;
    }
    task->converter.StartTask(0); // inline: returns when the task has ended
    return Finish(*task);
}

TFormatRunResult TFormatFileRun::Run(const std::string& input, TInputOptions& in,
                                     TOutputOptions& out) {
    TFormatRunResult failure;
    return RunHere(MakeTask(input, in, out, failure).get(), failure);
}

TFormatRunResult TFormatFileRun::Convert(int formatCode, const std::string& input) {
    TFormatRunResult failure;
    return RunHere(Prepare(formatCode, input, failure).get(), failure);
}

void TFormatFileRun::ConvertAll(int formatCode, const std::vector<std::string>& inputs,
                                int parallel, const TStartLine& onStart,
                                const TResultLine& onResult) {
    std::vector<std::unique_ptr<TFileTask>> running;
    size_t next = 0;
    while (next < inputs.size() || !running.empty()) {
        while (static_cast<int>(running.size()) < std::max(parallel, 1) && next < inputs.size() &&
               !StopRequested()) {
            const std::string& input = inputs[next++];
            if (onStart) {
                onStart(input);
            }
            TFormatRunResult failure;
            std::unique_ptr<TFileTask> task = Prepare(formatCode, input, failure);
            if (!task) {
                onResult(input, failure);
                continue;
            }
            task->converter.StartTask(1);
            running.push_back(std::move(task));
        }
        if (running.empty()) {
            break; // stopped: no file left running
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (StopRequested()) {
            for (auto& task : running) {
                if (!task->stopped.exchange(true)) {
                    task->converter.Stop(false);
                }
            }
        }
        for (auto it = running.begin(); it != running.end();) {
            if ((*it)->allDone) {
                const TFormatRunResult result = Finish(**it);
                onResult((*it)->input, result);
                it = running.erase(it);
            } else {
                ++it;
            }
        }
    }
}

} // namespace quovo
