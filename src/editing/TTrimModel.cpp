#include "TTrimModel.h"

#include <cstdio>

namespace quovo {

void TTrimModel::FileOpened(int64_t duration) {
    duration_ = duration;
    start_ = 0;
    end_ = 0;
}

void TTrimModel::LoadRecord(int64_t trimStart, int64_t trimLength) {
    if (trimStart >= 0) {
        start_ = trimStart;
    }
    end_ = trimLength > 0 ? start_ + trimLength : duration_;
}

bool TTrimModel::MarkStart(int64_t position) {
    if (position <= 0) {
        return false;
    }
    start_ = position;
    return true;
}

bool TTrimModel::MarkEnd(int64_t position) {
    if (position <= 0) {
        return false;
    }
    end_ = position;
    return true;
}

void TTrimModel::Reset() {
    start_ = 0;
    end_ = duration_;
}

TTrimResult TTrimModel::Ok() const {
    const bool marked = start_ >= 0 && end_ > 0 && start_ < end_ && end_ <= duration_;
    const int64_t length = marked ? end_ - start_ : duration_;
    TTrimResult r;
    if (length <= 0) {
        return r;
    }
    r.TrimStart = start_ > 0 ? start_ : 0;
    r.TrimLength = length >= 1000 && duration_ - length >= 1000 ? length : 0;
    r.Cell = FormatTrimCell(length);
    return r;
}

int64_t TTrimModel::MarkPosition(int64_t time, int maximum) const {
    return duration_ > 0 ? maximum * time / duration_ : 0;
}

int64_t TTrimModel::SeekTime(int position, int maximum) const {
    return maximum > 0 ? static_cast<int64_t>(static_cast<double>(position) / maximum *
                                              static_cast<double>(duration_))
                       : 0;
}

std::string FormatTrimCell(int64_t timeUs) {
    const int64_t seconds = timeUs > 0 ? timeUs / 1000000 : 0;
    char text[48];
    std::snprintf(text, sizeof text, "   %.1d:%.2d:%.2d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

} // namespace quovo
