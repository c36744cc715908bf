#include "TChapterRange.h"

namespace quovo {

TChapterRange PressChapterArrow(TChapterArrow arrow, TChapterRange shown, int chapterCount) {
    const bool from = arrow == TChapterArrow::FromUp || arrow == TChapterArrow::FromDown;
    const bool up = arrow == TChapterArrow::FromUp || arrow == TChapterArrow::ToUp;
    int v = from ? shown.From : shown.To;
    if (v <= 0) {
        return shown;
    }
    if (up && v < chapterCount) {
        ++v;
    } else if (!up && v > 1 && v <= chapterCount) {
        --v;
    }
    TChapterRange result = shown;
    if (from) {
        result.From = v;
        if (result.To < v) {
            result.To = v;
        }
    } else {
        result.To = v;
        if (result.From > v) {
            result.From = v;
        }
    }
    return result;
}

} // namespace quovo
