// The "opendvd:" input name:
//   opendvd:PATH|Title=1,FromChapter=2,ToChapter=3,AudioID=128,SubtitleID=32,AudioChannels=2,
//           Deinterlace=0
// or "opendvd:PATH" alone, which plays with the plug-in's last DVDSetParam values. Title counts
// from 1 in the name and from 0 in DVDPlayParams. FromChapter 0 and ToChapter 99 (or any value
// past the last chapter) mean the whole title.
#pragma once

#include "DVDTypes.h"

#include <string>

namespace quovo {

constexpr const char* kOpenDVDPrefix = "opendvd:";

struct TOpenDVDName {
    std::string path;
    bool hasParams = false; // false: use the last DVDSetParam values
    DVDPlayParams params{0, 0, 99, 0, 0, 2, 0};
};

// False for a name without the prefix or path, or with a malformed parameter list (unknown key,
// missing '=', a value that is not a whole number, Title < 1).
bool ParseOpenDVDName(const std::string& name, TOpenDVDName& out);

// The name of the DVD run for `path` and `params` (Title from 0 in params).
std::string FormatOpenDVDName(const std::string& path, const DVDPlayParams& params);

} // namespace quovo
