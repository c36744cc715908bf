// Describing a disc without risking the caller: libdvdread's IFO parsing crashes on some damaged
// discs, so it runs in the helper executable quovo-dvdinfo, a child process with a time limit
// whose records come back over a pipe. A crashed, hung or babbling child yields the titles it
// had sent (none when it died before VIDEO_TS.IFO was read); the caller is never at risk.
//
// The helper is found, in this order, at $QUOVO_DVD_HELPER, beside the plug-in library, and
// beside the running program. The time limit is $QUOVO_DVD_HELPER_TIMEOUT_MS (default 30 s,
// enough for a drive to spin up).
//
// Results are cached per disc for the session; a disc is known by its path, the identity and
// times of its files (IFO/BUP files of a folder), and for images and drives by the bytes of the
// ISO volume descriptor, so a new disc in the same drive is described afresh. Thread-safe.
#pragma once

#include "DVDDiscInfo.h"

#include <memory>
#include <string>

namespace quovo {

std::shared_ptr<const DVDDiscInfo> DescribeDisc(const std::string& path, const TDVDLogSink& log);

// The helper that DescribeDisc runs, or "" when none is found.
std::string DVDHelperPath();

void ClearDiscCache();

} // namespace quovo
