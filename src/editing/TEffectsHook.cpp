#include "TEffectsHook.h"

#include "TEffectsCache.h"

namespace quovo {

struct TEffectsHook::TTaskEffects {
    TFrameEffects effects;
    TEffectsCache cache;
};

TEffectsHook::TEffectsHook() = default;
TEffectsHook::~TEffectsHook() = default;

void TEffectsHook::SetTaskEffects(int taskIndex, const TFrameEffects& effects) {
    auto task = std::make_shared<TTaskEffects>();
    task->effects = effects;
    std::lock_guard<std::mutex> guard(lock_);
    tasks_[taskIndex] = std::move(task);
}

void TEffectsHook::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    tasks_.clear();
}

void TEffectsHook::OnCustomHook(TCustomMediaConverter*, THookInfo* info) {
    std::shared_ptr<TTaskEffects> task;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const auto it = tasks_.find(info->TaskIndex);
        if (it != tasks_.end()) {
            task = it->second;
        }
    }
    if (!task || !task->effects.Any() || info->Bitmap == nullptr) {
        info->Update = false;
        info->StopHook = true;
        return;
    }
    std::lock_guard<std::recursive_mutex> surface(info->Bitmap->CanvasLock());
    ApplyFrameEffects(*info->Bitmap, task->effects, task->cache);
}

} // namespace quovo
