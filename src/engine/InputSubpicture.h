// Giving an input the bitmap subtitle stream its name chose, before its stream information is
// read: the engine, the probe and the player open such inputs alike.
#pragma once

#include "LibraryIO.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace quovo {

// Finds the input's subtitle stream with the track's id, or adds it (the demuxer fills a stream
// it already knows), and gives it the track's set-up text, language and the default mark (plus
// the forced mark for a forced-only track). Returns the stream's index, or -1 when it cannot be
// added.
int AttachSubpictureTrack(AVFormatContext& ic, const TSubpictureTrack& track);

// The decoder option that keeps only forced subpictures, for a forced-only track.
void ForcedOnlyDecoderOption(const TSubpictureTrack& track, AVDictionary** options);

} // namespace quovo
