// The arithmetic and texts of a batch run, apart from any window: the work priority, the
// percentage and the labels a progress report shows.
//
// The run folder owns the batch run of the source list (TBatchRun), these rules and the desktop
// services a run uses (power-off, sleep inhibitor, notification). It uses the source list's model,
// the option builder, the conversion component, the frame effects and the progress window; it is
// entered by the user-interface thread only (the component's terminate events are handed over to
// it before they touch anything).
#pragma once

#include "TFFmpeg.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace quovo {

// The stored work priority (0 idle, 1 normal, 2 lower, 3 lowest); any other value changes none.
std::optional<TThreadPriority> PriorityFor(int setting);

// CurrentDuration × 100 div TotalDuration; none while the length is unknown (0 or negative).
std::optional<int> ProgressPercent(int64_t currentUs, int64_t totalUs);

// Whole seconds followed by " Second".
QString SecondsLabel(int64_t us);
// Whole kilobytes (1000 bytes) followed by " kb".
QString SizeLabel(int64_t bytes);
// "[" task number "/" task count "]", the task counted from 1.
QString CounterLabel(int taskIndex, int taskCount);
// The row's caption when shorter than 51 characters; otherwise its first 44 characters, "..",
// and the file name's extension (its last "." and what follows).
QString OutputLabel(const QString& caption);

} // namespace quovo
