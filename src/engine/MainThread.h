// Running procedures on the main thread. A worker enqueues a procedure and waits; the main thread
// runs pending procedures from its event loop (a GUI installs a wake-up that posts an event) and
// from every sliced wait it makes. Headless programs drain the queue from their own loop.
#pragma once

#include <chrono>
#include <functional>

namespace quovo {

// Marks the calling thread as the main thread. Until it is called, the main thread is the
// process's initial thread (the one that runs main()).
void SetMainThread();
bool IsMainThread();

// Called (on any thread) whenever a procedure is queued, so a GUI can post an event that drains.
void SetMainThreadWakeUp(std::function<void()> wakeUp);

// Runs proc on the main thread and waits for it; runs it at once when called on the main thread.
// An exception thrown by proc is rethrown in the caller.
void RunInMainThread(const std::function<void()>& proc);

// Queues proc for the main thread and returns at once (runs it at once on the main thread). Nobody
// waits for it: proc catches what it throws.
void PostToMainThread(std::function<void()> proc);

// Runs every pending procedure; call it on the main thread. Returns how many ran.
int DrainMainThreadQueue();

// Waits up to `timeout` on the main thread for a queued procedure and runs what is pending.
void WaitAndDrainMainThreadQueue(std::chrono::milliseconds timeout);

} // namespace quovo
