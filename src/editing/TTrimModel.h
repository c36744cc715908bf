// The trim dialog's arithmetic: the start and end marks picked while the title plays, the seek
// bar's marks, and what OK stores in the row's record. Times are microseconds.
#pragma once

#include <cstdint>
#include <string>

namespace quovo {

struct TTrimResult {
    int64_t TrimStart = 0;  // 0 = from the beginning
    int64_t TrimLength = 0; // 0 = to the end
    // The row's trimmed-length cell, or empty when the row's text stays as it is.
    std::string Cell;
};

class TTrimModel {
public:
    int64_t Start() const { return start_; }
    int64_t End() const { return end_; }
    int64_t Duration() const { return duration_; }

    // A title opened: its duration; both marks at 0.
    void FileOpened(int64_t duration);
    // The record's trim after the title opened: the start when it is not negative, the end at
    // start + length, or at the title's end when no length is stored.
    void LoadRecord(int64_t trimStart, int64_t trimLength);
    // The marks at the player's position; a position of 0 or less (nothing shown yet) does
    // nothing and returns false.
    bool MarkStart(int64_t position);
    bool MarkEnd(int64_t position);
    // The whole title.
    void Reset();
    // What OK stores: an end before the start, or past the title's end, takes the whole
    // duration as the length, so no length is stored while the start is kept; a length within
    // 1 ms of nothing or of the whole title stores no length.
    TTrimResult Ok() const;

    // A time's place on a seek bar of `maximum` steps, truncating.
    int64_t MarkPosition(int64_t time, int maximum) const;
    // The time a seek bar position stands for.
    int64_t SeekTime(int position, int maximum) const;

private:
    int64_t start_ = 0;
    int64_t end_ = 0;
    int64_t duration_ = 0;
};

// A time as the list's trimmed-length cell shows it: three blanks, hours, two-digit minutes and
// seconds ("   0:01:30").
std::string FormatTrimCell(int64_t timeUs);

} // namespace quovo
