// Run control of one conversion task: starting it inline or on its own worker thread, pausing,
// resuming and stopping it, the progress report, and the end of the run.
//
// TCustomFFmpeg stays a plain single-threaded engine (tests and tools call Transcode directly);
// TFFmpeg adds the threads. Threads that enter a TFFmpeg:
//   - the controlling thread (the conversion component's caller, usually the main thread): sets
//     callbacks and options, StartConversion, PauseConversion, ResumeConversion, RequestStop,
//     StopTask, destruction;
//   - the worker ("convert-N"), or the controlling thread for an inline run: RunConversion, the
//     loop, ProgressReport, PauseGate and every callback;
//   - a terminate thread ("terminate-N") for a task stopped before it started: DoTerminate.
#pragma once

#include "TCustomFFmpeg.h"
#include "TManualResetEvent.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace quovo {

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Applies `priority` to the calling thread as a nice value (idle: SCHED_IDLE; normal and above: 0,
// since raising a thread's priority needs privileges on Linux).
void ApplyThreadPriority(TThreadPriority priority);

// Sender, input index (-1 in the final report), frame number, frames per second, quality, bit rate
// (kbit/s), output size (bytes), output time (microseconds), total (microseconds, -1 unknown).
using TProgressCallback = std::function<void(
    TCustomFFmpeg* sender, int inputIndex, int frameNumber, int fps, float quality, float bitRate,
    int64_t outputSize, int64_t outputTimeUs, int64_t total)>;
using TTerminateCallback = std::function<void(TCustomFFmpeg* sender)>;

class TFFmpeg;

// The worker of one threaded run. Created halted: the thread exists only once Start is called.
class TConvertThread {
public:
    TConvertThread(TFFmpeg& engine, TThreadPriority priority);
    ~TConvertThread(); // joins
    TConvertThread(const TConvertThread&) = delete;
    TConvertThread& operator=(const TConvertThread&) = delete;

    void Start();
    bool Started() const { return thread_.joinable(); }
    bool IsCurrentThread() const { return thread_.get_id() == std::this_thread::get_id(); }
    void Join();

private:
    TFFmpeg& engine_;
    TThreadPriority priority_;
    std::thread thread_;
};

class TFFmpeg : public TCustomFFmpeg {
public:
    TFFmpeg();
    ~TFFmpeg() override;
    const char* ClassName() const override { return "TFFmpeg"; }

    // Returns the new halted worker (call Start on it) or nullptr: for an inline run (which has
    // ended when this returns), for a task that is running or has ended, and for a task that
    // cannot start (it has ended with ErrorFlag set by then).
    TConvertThread* StartConversion(bool threaded, TThreadPriority priority);
    // The body of a run, on the worker or inline.
    void RunConversion();
    // Asks the loop to end; with `wait`, returns once the worker has ended. Waiting on the main
    // thread runs what other threads queued for it, in 20 ms slices.
    void RequestStop(bool wait);
    using TCustomFFmpeg::RequestStop; // the flag alone, for any thread
    // Stops a running task; ends a task that never started on a terminate thread of its own.
    void StopTask(bool wait);
    // Pause closes the gate the loop waits on at every packet; resume (or a stop) opens it.
    void PauseConversion();
    void ResumeConversion();
    bool Paused() const { return paused_; }
    // The worker waits in the pause gate: until it resumes, the task raises no event.
    bool Held() const { return held_; }
    // Blocks the calling (worker) thread while the task is paused and no stop was requested.
    void WaitWhilePaused();

    bool Running() const { return running_; }
    // StartConversion got past its first check (the run began, or failed at once).
    bool Started() const { return started_; }
    bool Terminated() const { return terminated_; }
    bool ErrorFlag() const;
    std::string ErrorText() const;

    // Set before the run starts.
    void SetProgressCallback(TProgressCallback cb) { progressCallback_ = std::move(cb); }
    void SetTerminateCallback(TTerminateCallback cb) { terminateCallback_ = std::move(cb); }
    // Threads of every decoder and encoder opened afterwards (0 = the library's choice).
    void SetThreadCount(int count);
    // Mux rate (bit/s) of the outputs created afterwards, for the muxers that have one.
    void SetMuxRate(int bitsPerSecond);

    void ProgressReport(bool isLastReport, int inputIndex) override;

protected:
    void PauseGate() override { WaitWhilePaused(); }

private:
    friend class TConvertThread;
    void DoTerminate();
    void SetError(const std::string& text);
    // Waits for `done` in 20 ms slices, draining the main-thread queue when on the main thread.
    static void SlicedWait(const TManualResetEvent& done);
    void CloseEncoders();
    void CloseDecoders();
    // The parts of ProgressReport: the first video stream's figures and text (false before its
    // first picture), a stream's quantiser, the output's size, the closing line of sizes.
    struct TVideoProgress {
        bool seen = false;
        int frameNumber = -1;
        int fps = -1;
        float quality = -1.0f;
    };
    bool AddVideoProgress(const TOutputStream& ost, bool isLastReport, TVideoProgress& video,
                          std::string& line);
    static float StreamQuality(const TOutputStream& ost);
    int64_t OutputSizeSoFar() const;
    void LogFinalSizes(int64_t outputSize);

    TProgressCallback progressCallback_; // set by the controlling thread before the run
    TTerminateCallback terminateCallback_;

    // Starting and ending a task that never ran are decided under startMutex_, so a start racing
    // a stop from another thread ends the task exactly once.
    std::mutex startMutex_;
    std::atomic<bool> running_{false};
    std::atomic<bool> terminated_{false};
    std::atomic<bool> started_{false};
    std::atomic<bool> terminating_{false}; // a terminate thread has been made

    // --- guarded by stateMutex_
    mutable std::mutex stateMutex_;
    bool errorFlag_ = false;
    std::string errorText_;

    // --- owned by the controlling thread; the events are signalled from the worker and the
    // terminate thread. threaded_ and workerId_ are read by any thread.
    std::unique_ptr<TConvertThread> thread_;
    std::atomic<bool> threaded_{false};
    std::atomic<std::thread::id> workerId_{};
    std::thread terminateThread_;
    TManualResetEvent conversionDone_{true};
    TManualResetEvent terminateDone_{true};

    // --- the pause gate, guarded by gateMutex_ (paused_ is also read without it)
    std::mutex gateMutex_;
    std::condition_variable gateChanged_;
    std::atomic<bool> paused_{false};
    std::atomic<bool> held_{false};

    // --- worker only: the quantiser histogram of the report
    std::array<int64_t, 52> qpHistogram_{};
};

} // namespace quovo
