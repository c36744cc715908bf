// What the plug-in knows about a disc: for every title its DVDTitleInfo and, per chapter, the
// VOB sector ranges of its cells (first angle only). The IFO parsing runs in the helper process
// (quovo-dvdinfo), which streams these records over a pipe; the plug-in parses the stream back
// with bounds checks, so a helper that dies half-way leaves the titles it had sent.
//
// Stream format (host byte order; both ends are the same build): records of
//   tag (1 byte) | payload length (uint32) | payload
// 'H' int32 title count; 'T' one title (below); 'L' int32 level + text (a libdvdread message);
// 'U' (no payload) the disc has a VIDEO_TS.IFO that cannot be read; 'E' end of the description. A
// title payload: int32 index, int32 valid, and when valid the DVDTitleInfo bytes, int32 chapter
// count, then per chapter int32 cell count and per cell uint32 first and last sector.
#pragma once

#include "DVDTypes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quovo {

struct DVDSectorRange {
    uint32_t first = 0; // inclusive, relative to the title set's title VOBs
    uint32_t last = 0;
};

struct DVDTitleLayout {
    bool valid = false;
    DVDTitleInfo info{};
    std::vector<std::vector<DVDSectorRange>> chapters;
};

struct DVDDiscInfo {
    bool complete = false;              // the 'E' record arrived
    int titleCount = 0;                 // from VIDEO_TS.IFO; 0 when it could not be read
    bool structureUnreadable = false;   // VIDEO_TS.IFO is there but cannot be read ('U')
    std::vector<DVDTitleLayout> titles; // titleCount entries; those never sent stay invalid
};

enum class TDVDLogLevel : int32_t { Error = 0, Warning = 1, Info = 2, Debug = 3 };
using TDVDLogSink = std::function<void(TDVDLogLevel, const std::string&)>;

// --- helper side ---------------------------------------------------------------------------

// Opens `path` with libdvdread and writes the description records to `fd` as it goes. Returns
// the process exit code for the helper.
int WriteDiscDescription(const std::string& path, int fd);

// --- plug-in side --------------------------------------------------------------------------

// Parses a (possibly truncated) record stream; log records go to `log`. Malformed records end
// the parse; what came before them is kept.
DVDDiscInfo ParseDiscDescription(const std::string& bytes, const TDVDLogSink& log);

// Duration of a dvd_time_t-style BCD time (hour, minute, second, frame byte with the rate in
// its two high bits) in milliseconds.
int64_t DvdTimeToMs(uint8_t hour, uint8_t minute, uint8_t second, uint8_t frameByte);

// The language name of an ISO 639-1 code ("en" → "English"), or the code itself when unknown,
// or "Unknown" when empty.
std::string LanguageName(const char* code);
// The ISO 639-2 code of an ISO 639-1 one ("en" → "eng"), empty when unknown.
std::string LanguageCode3(const char* code);

} // namespace quovo
