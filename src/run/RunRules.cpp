#include "RunRules.h"

namespace quovo {

std::optional<TThreadPriority> PriorityFor(int setting) {
    switch (setting) {
    case 0:
        return tpIdle;
    case 1:
        return tpNormal;
    case 2:
        return tpLower;
    case 3:
        return tpLowest;
    default:
        return std::nullopt;
    }
}

std::optional<int> ProgressPercent(int64_t currentUs, int64_t totalUs) {
    if (totalUs <= 0) {
        return std::nullopt;
    }
    return static_cast<int>(currentUs * 100 / totalUs);
}

QString SecondsLabel(int64_t us) {
    return QString::number(us / 1000000) + " Second";
}

QString SizeLabel(int64_t bytes) {
    return QString::number(bytes / 1000) + " kb";
}

QString CounterLabel(int taskIndex, int taskCount) {
    return QString("[%1/%2]").arg(taskIndex + 1).arg(taskCount);
}

QString OutputLabel(const QString& caption) {
    if (caption.length() < 51) {
        return caption;
    }
    // A "." in a folder's name is no extension.
    const int dot = caption.lastIndexOf('.');
    const bool extension = dot > caption.lastIndexOf('/');
    return caption.left(44) + ".." + (extension ? caption.mid(dot) : QString());
}

} // namespace quovo
