// What an "opendvd:" stream tells the engine about the title it reads: the chapter marks of the
// chosen range and the languages of the title's tracks (a program stream carries neither).
#pragma once

#include "DVDTypes.h"
#include "LibraryIO.h"

namespace quovo {

// The chapters the reader with `params` delivers (FromChapter 0 and ToChapter past the end: the
// whole title), timed from the range's start by the disc's cell playback times and named after
// their number on the disc ("Chapter 2" …); the languages of the audio tracks and subtitles that
// have one, by the program stream's ids.
TInputDescription DescribeTitle(const DVDTitleInfo& title, const DVDPlayParams& params);

} // namespace quovo
