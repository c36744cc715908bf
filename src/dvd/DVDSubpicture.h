// A title's subpictures as a reader delivers them: which stream it keeps and how a decoder learns
// their colours.
#pragma once

#include "DVDTypes.h"

#include <cstdint>
#include <string>

namespace quovo {

// The stream whose forced subpictures show when no subtitle is chosen, as a player does: the one
// in the language of the chosen audio track (the first track when every track is kept), else the
// title's first; 0 when the title has none.
int32_t ForcedSubpictureStream(const DVDTitleInfo& title, int32_t audioId);

// The subpicture stream a reader with `params` keeps: the chosen one, else the forced one above.
int32_t KeptSubpictureStream(const DVDTitleInfo& title, const DVDPlayParams& params);

// The entry of `streamId` among the title's subtitles, or null.
const DVDSubtitleInfo* FindSubtitle(const DVDTitleInfo& title, int32_t streamId);

// The subpicture decoder's set-up text: the picture size and the title's palette as RGB,
// "size: 720x576\npalette: rrggbb, …\n" (the form of a VobSub index).
std::string SubpictureSetupText(const DVDTitleInfo& title);

// One palette entry, 0x00YYCrCb (BT.601 studio range), as 0xRRGGBB.
uint32_t PaletteEntryToRgb(uint32_t ycrcb);

} // namespace quovo
