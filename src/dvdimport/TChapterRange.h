// The rules of the four chapter arrows beside "Rip Chapter from:" and "to", without widgets.
// Each arrow reads the number in its own edit; the result is what both edits show afterwards
// and what the row's FromChapter and ToChapter become.
#pragma once

namespace quovo {

enum class TChapterArrow { FromUp, FromDown, ToUp, ToDown };

struct TChapterRange {
    int From = 0; // what edtFrom shows
    int To = 0;   // what edtTo shows
};

// The range after pressing `arrow` with the edits showing `shown` on a title of `chapterCount`
// chapters. A number of 0 or less in the arrow's edit changes nothing. The edits are written even
// when the arrow's number did not move; the other edit follows only when the range would cross.
TChapterRange PressChapterArrow(TChapterArrow arrow, TChapterRange shown, int chapterCount);

} // namespace quovo
