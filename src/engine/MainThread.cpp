#include "MainThread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include <sys/types.h>
#include <unistd.h>

namespace quovo {

namespace {

// One queued procedure. The worker that queued it waits on `done`.
struct Job {
    std::function<void()> proc;
    // --- guarded by Dispatcher::mutex once the job is queued
    std::exception_ptr error;
    bool done = false;
};

struct Dispatcher {
    std::mutex mutex;
    std::condition_variable queued;   // the main thread waits here for work
    std::condition_variable finished; // workers wait here for their job
    // --- guarded by mutex
    std::deque<std::shared_ptr<Job>> queue;
    std::function<void()> wakeUp;
};

Dispatcher& TheDispatcher() {
    // Never destroyed: workers still running during exit may reach it.
    static Dispatcher* dispatcher = new Dispatcher;
    return *dispatcher;
}

// 0 until SetMainThread is called; then the main thread is the process's initial thread (its
// thread id equals the process id), which is where main() and every event loop run.
std::atomic<pid_t> gMainThreadId{0};

void RunJob(Dispatcher& d, const std::shared_ptr<Job>& job) {
    std::exception_ptr error;
    try {
        job->proc();
    } catch (...) {
        error = std::current_exception();
    }
    {
        std::lock_guard lock(d.mutex);
        job->error = std::move(error);
        job->done = true;
    }
    d.finished.notify_all();
}

void RequireMainThread(const char* what) {
    if (!IsMainThread()) {
        throw std::logic_error(std::string(what) + " must be called on the main thread.");
    }
}

} // namespace

void SetMainThread() {
    gMainThreadId.store(gettid());
}

bool IsMainThread() {
    const pid_t mainId = gMainThreadId.load();
    return gettid() == (mainId != 0 ? mainId : getpid());
}

void SetMainThreadWakeUp(std::function<void()> wakeUp) {
    Dispatcher& d = TheDispatcher();
    std::lock_guard lock(d.mutex);
    d.wakeUp = std::move(wakeUp);
}

namespace {

// Queues `job` and wakes the main thread.
void Enqueue(const std::shared_ptr<Job>& job) {
    Dispatcher& d = TheDispatcher();
    std::function<void()> wakeUp;
    {
        std::lock_guard lock(d.mutex);
        d.queue.push_back(job);
        wakeUp = d.wakeUp;
    }
    d.queued.notify_all();
    // Outside the lock: a GUI's wake-up posts an event and may take its own locks.
    if (wakeUp) {
        wakeUp();
    }
}

} // namespace

void RunInMainThread(const std::function<void()>& proc) {
    if (IsMainThread()) {
        proc();
        return;
    }
    Dispatcher& d = TheDispatcher();
    auto job = std::make_shared<Job>();
    job->proc = proc;
    Enqueue(job);
    std::exception_ptr error;
    {
        std::unique_lock lock(d.mutex);
        d.finished.wait(lock, [&] { return job->done; });
        // Taken out under the lock, so the exception is released on this thread alone.
        error = std::move(job->error);
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

void PostToMainThread(std::function<void()> proc) {
    if (IsMainThread()) {
        proc();
        return;
    }
    auto job = std::make_shared<Job>();
    job->proc = std::move(proc);
    Enqueue(job);
}

int DrainMainThreadQueue() {
    RequireMainThread("DrainMainThreadQueue");
    Dispatcher& d = TheDispatcher();
    // Only what is pending now: workers that queue again while these run wait for the next drain,
    // so a busy worker cannot keep the main thread here.
    std::deque<std::shared_ptr<Job>> pending;
    {
        std::lock_guard lock(d.mutex);
        pending.swap(d.queue);
    }
    for (const auto& job : pending) {
        RunJob(d, job);
    }
    return static_cast<int>(pending.size());
}

void WaitAndDrainMainThreadQueue(std::chrono::milliseconds timeout) {
    RequireMainThread("WaitAndDrainMainThreadQueue");
    Dispatcher& d = TheDispatcher();
    {
        std::unique_lock lock(d.mutex);
        d.queued.wait_for(lock, timeout, [&] { return !d.queue.empty(); });
    }
    DrainMainThreadQueue();
}

} // namespace quovo
