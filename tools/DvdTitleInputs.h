// Disc titles as inputs of quovo-convert's --format mode: "opendvd:" names given on the command
// line, or the titles of a disc chosen with --titles.
#pragma once

#include "DVDTypes.h"

#include <string>
#include <vector>

namespace quovo {

// The "opendvd:" names of the titles `list` ("all", or numbers from 1 such as "1,3") of the disc,
// folder or image at `path`, as the DVD run forms them: every chapter, the title's first audio
// track and subtitle `subtitleId` (0: none). Loads the plug-in. False with `why` when the disc has
// no titles or the list names one it does not have; titles that cannot be described are left out
// with a line on standard error.
bool TitleInputs(const std::string& path, const std::string& list, int subtitleId,
                 std::vector<std::string>& names, std::string& why);

} // namespace quovo
