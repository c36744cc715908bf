// The conversion's per-frame hook: the frame effects of each task, set by the run that queues
// the tasks and applied by the component's OnCustomHook on the task's worker thread.
//
// A run plugs it in like this:
//     hook.Clear();
//     for each queued task t of row r:
//         if (NeedsFrameHook(record of r)) { hook.SetTaskEffects(t, FrameEffectsOf(record));
//                                            output.CustomHook = true; }
//     converter.SetOnCustomHook(hook.Handler());
// The effects are copied when the task is queued, so editing a row during the run changes only
// the next run. Tasks that run at the same time each keep their own watermark cache.
#pragma once

#include "FrameEffects.h"
#include "TMediaConverter.h"

#include <map>
#include <memory>
#include <mutex>

namespace quovo {

class TEffectsCache;

class TEffectsHook {
public:
    TEffectsHook();
    ~TEffectsHook();
    TEffectsHook(const TEffectsHook&) = delete;
    TEffectsHook& operator=(const TEffectsHook&) = delete;

    // Main thread, before the tasks start.
    void SetTaskEffects(int taskIndex, const TFrameEffects& effects);
    void Clear();

    // The component's OnCustomHook; worker threads. A task without effects passes its frames
    // unchanged and asks not to be called again. A failing frame throws (the component logs it
    // and keeps that frame as it was).
    void OnCustomHook(TCustomMediaConverter* sender, THookInfo* info);
    TCustomHookEvent Handler() {
        return [this](TCustomMediaConverter* s, THookInfo* i) { OnCustomHook(s, i); };
    }

private:
    struct TTaskEffects;
    std::mutex lock_; // --- guards tasks_ (each entry is then used by its task's thread only)
    std::map<int, std::shared_ptr<TTaskEffects>> tasks_;
};

} // namespace quovo
