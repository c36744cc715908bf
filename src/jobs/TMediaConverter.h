// The conversion component: a list of conversion tasks, run inline or on worker threads, with
// hook, preview, progress and terminate events.
//
// The jobs folder owns the component and the media probe; it uses the engine and no Qt at all.
// Threads that enter it:
//   - the main thread: every operation (AddTask … Stop), the properties, and OnProgress /
//     OnPreviewBitmap when TriggerEventInMainThread is set (a worker hands them over through the
//     main-thread dispatcher and waits);
//   - a task's worker ("convert-N"): the hook (always there), preview and progress deliveries, the
//     end of its task and the start of the next one;
//   - a delivery thread ("terminate-event") per OnTerminate in threaded runs, and a terminate
//     thread per task ended by Stop before it started.
// Locks: one per event kind; the terminate lock (re-entrant) also guards the run counters, so
// tasks start one at a time. No lock of the component is held while waiting for a worker.
#pragma once

#include "TAVProbe.h"
#include "TConverterRecords.h"
#include "TFFBaseComponent.h"
#include "TFFmpeg.h"

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quovo {

class TCustomMediaConverter;

using TCustomHookEvent = std::function<void(TCustomMediaConverter* Sender, THookInfo* AHookInfo)>;
using TPreviewBitmapEvent =
    std::function<void(TCustomMediaConverter* Sender, const TPreviewInfo& APreviewInfo)>;
using TProgressEvent =
    std::function<void(TCustomMediaConverter* Sender, TProgressInfo* AProgressInfo)>;
using TTerminateEvent =
    std::function<void(TCustomMediaConverter* Sender, const TTerminateInfo& ATerminateInfo)>;

// The built-in preview window, drawn by the windows layer. Called on the main thread.
class TPreviewWindow {
public:
    virtual ~TPreviewWindow() = default;
    // Shows `picture` with `caption`; returns false once the user has closed the window.
    virtual bool Show(const TPicture& picture, const std::string& caption) = 0;
};
using TPreviewWindowFactory = std::function<std::unique_ptr<TPreviewWindow>()>;

// One task of the list: the engine plus what the component keeps for its inputs and outputs.
struct TConversionTask {
    std::unique_ptr<TFFmpeg> engine;
    std::array<std::unique_ptr<TAVProbe>, MAX_FILES> probes;
    std::array<std::optional<TInputOptions>, MAX_FILES> inputs;
    std::array<std::optional<TOutputOptions>, MAX_FILES> outputs;
    int outputCount = 0;
    // Per output: the name asked for, and the temporary name it is written under until the task
    // ends (empty when written in place; see TOutputFiles.h).
    std::array<std::string, MAX_FILES> outputNames;
    std::array<std::string, MAX_FILES> partNames;
    // --- main thread only: the built-in preview window of this task (see PreviewWindow)
    std::unique_ptr<TPreviewWindow> previewWindow;
};

class TCustomMediaConverter : public TFFBaseComponent {
public:
    TCustomMediaConverter();
    ~TCustomMediaConverter() override;
    const char* ClassName() const override { return "TCustomMediaConverter"; }

    bool LoadLibraries(const std::string& folder);
    bool LibrariesLoaded() const;

    int AddTask(const std::string& fileName, TInputOptions* options = nullptr);
    bool SetOutputFile(int taskIndex, const std::string& fileName,
                       TOutputOptions* options = nullptr);
    // A further input of a task (for joined outputs); before its outputs. False with LastErrMsg
    // when it cannot be opened.
    bool AddInput(int taskIndex, const std::string& fileName, TInputOptions* options = nullptr);
    void RemoveTask(int taskIndex);
    void ClearTasks();
    int TaskCount() const { return static_cast<int>(tasks_.size()); }
    TAVProbe* InputProbe(int taskIndex, int inputIndex);
    TAVProbe* AVProbe() { return &probe_; }
    // The engine of a task (for inspection; do not drive it while the run is on).
    TFFmpeg* Task(int taskIndex);

    void StartTask(int threadCount);
    void Pause();
    void Resume();
    // Stops every task; with `wait`, returns once they have ended. Called from inside one of
    // this component's event handlers it does not wait (the tasks it would wait for may be
    // waiting for that handler to return): the stop is requested and the tasks end after it.
    void Stop(bool wait);

    const std::string& LastErrMsg() const { return lastErrMsg_; }
    std::string Version() const { return "3.3"; }
    bool Working() const { return working_; }
    bool AllDone() const { return allDone_; }

    // Properties.
    bool Preview() const { return preview_; }
    void SetPreview(bool value);
    bool PreviewBitmap() const { return previewBitmap_; }
    void SetPreviewBitmap(bool value);
    int ProgressInterval() const { return progressInterval_; }
    void SetProgressInterval(int ms) { progressInterval_ = ms <= 100 ? 100 : ms; }
    TThreadPriority ThreadPriority() const { return threadPriority_; }
    void SetThreadPriority(TThreadPriority p) { threadPriority_ = p; }
    bool TriggerEventInMainThread() const { return triggerEventInMainThread_; }
    void SetTriggerEventInMainThread(bool value) { triggerEventInMainThread_ = value; }
    // Decoder and encoder threads of tasks added from now on (0 = the library's choice).
    int CodecThreads() const { return codecThreads_; }
    void SetCodecThreads(int n) { codecThreads_ = n < 0 ? 1 : n; }

    // Events; set them while no run is on.
    void SetOnCustomHook(TCustomHookEvent e) { onCustomHook_ = std::move(e); }
    void SetOnPreviewBitmap(TPreviewBitmapEvent e) { onPreviewBitmap_ = std::move(e); }
    void SetOnProgress(TProgressEvent e) { onProgress_ = std::move(e); }
    void SetOnTerminate(TTerminateEvent e) { onTerminate_ = std::move(e); }
    void SetPreviewWindowFactory(TPreviewWindowFactory f) { previewWindowFactory_ = std::move(f); }

private:
    TConversionTask& TaskAt(int index);
    int IndexOf(const TCustomFFmpeg* engine) const;
    int TaskPreviewFlags() const;
    void ApplyPreviewFlags();
    void ApplyExtOptions(TFFmpeg& e, const std::string& text, bool forInput);
    bool OpenTaskInput(TConversionTask& task, const std::string& fileName, TInputOptions* options);
    void ApplyOutputRecord(TFFmpeg& e, const TOutputOptions& o);
    void ApplyTarget(TFFmpeg& e, const TOutputOptions& o);
    void ApplyMetadata(TFFmpeg& e, const TStreamInfo& m);
    // Starts the next task; the caller holds terminateLock_ (threaded) or runs inline.
    void StartNextTask();
    void TaskTerminated(TCustomFFmpeg* sender);
    // Gives a task's outputs their final names, or removes what a failed write left.
    void FinishOutputFiles(TConversionTask& task);
    // Raises the final event once every task has ended.
    void FinishRunWhenAllEnded();
    void DeliverTerminate(const TTerminateInfo& info);
    void TaskProgress(TCustomFFmpeg* sender, int inputIndex, int frameNumber, int fps,
                      float quality, float bitRate, int64_t size, int64_t timeUs, int64_t total);
    void TaskHook(TCustomFFmpeg* sender, TPicture& picture, int frameNumber, int64_t pts,
                  bool& update, bool& stopHook);
    void TaskPreview(TCustomFFmpeg* sender, TPicture& picture, int64_t pts, int frameNumber);
    // Returns false once the window is closed (the engine then clears the task's window flag).
    bool TaskPreviewWindow(TCustomFFmpeg* sender, TPicture& picture, int64_t pts);
    void WaitForDeliveries();

    TAVProbe probe_;
    std::string lastErrMsg_; // --- main thread
    // The task list changes only while no run is on; workers read it during a run.
    std::vector<std::unique_ptr<TConversionTask>> tasks_;

    std::atomic<bool> preview_{false};
    std::atomic<bool> previewBitmap_{false};
    std::atomic<int> progressInterval_{500};
    TThreadPriority threadPriority_ = tpNormal;
    std::atomic<bool> triggerEventInMainThread_{true};
    int codecThreads_ = 1;

    TCustomHookEvent onCustomHook_;
    TPreviewBitmapEvent onPreviewBitmap_;
    TProgressEvent onProgress_;
    TTerminateEvent onTerminate_;
    TPreviewWindowFactory previewWindowFactory_;

    // Progress and preview events on their way to the main thread: workers queue them with a copy
    // of their record and go on (a worker that waited could wait on a handler that waits for it);
    // the main thread runs each kind's handler one call at a time and in order, also when a
    // handler runs a nested event loop.
    struct TEventMail {
        std::mutex mutex;     // pending, delivering, owner
        std::mutex inHandler; // held while a handler runs
        std::deque<std::function<void(TCustomMediaConverter*)>> pending;
        bool delivering = false;
        TCustomMediaConverter* owner = nullptr; // null once the converter goes
    };
    static void Post(const std::shared_ptr<TEventMail>& mail,
                     std::function<void(TCustomMediaConverter*)> call);
    static void Deliver(const std::shared_ptr<TEventMail>& mail);
    std::shared_ptr<TEventMail> progressMail_, previewMail_;

    // --- guarded by hookLock_, previewLock_, progressLock_: the record of that event kind
    std::mutex hookLock_, previewLock_, progressLock_;
    THookInfo hookInfo_;
    TPreviewInfo previewInfo_;
    TProgressInfo progressInfo_;

    // --- guarded by terminateLock_: the terminate record, the run counters and the delivery
    // chain (each delivery thread joins its predecessor, so OnTerminate calls keep their order)
    std::recursive_mutex terminateLock_;
    TTerminateInfo terminateInfo_;
    int tasksEnded_ = 0;
    int nextTask_ = -1;
    int toStart_ = 0;
    std::thread lastDelivery_;
    std::shared_ptr<TManualResetEvent> lastDeliveryDone_;

    std::atomic<bool> working_{false};
    std::atomic<bool> allDone_{false};
    std::atomic<bool> threaded_{false};
    int inlineDepth_ = 0; // --- main thread: inline runs on the stack
};

class TMediaConverter : public TCustomMediaConverter {
public:
    const char* ClassName() const override { return "TMediaConverter"; }
};

} // namespace quovo
