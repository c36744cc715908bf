// The C interface of the DVD plug-in library (dvdplugin.so). The first five are the plug-in's
// operations; the rest let the host read "opendvd:" names through the plug-in and receive its
// messages. All take and return plain C types so the library can be replaced.
#pragma once

#include "DVDTypes.h"

#include <cstdint>

extern "C" {

using quovo::DVDPlayParams;
using quovo::DVDTitleInfo;

// Non-zero on success; made once after loading, before anything else.
using DVDInitializeFn = int32_t (*)();
// The number of titles of the disc at `path` (device, mounted disc, VIDEO_TS folder or its
// parent, ISO image); less than 1 means none. The disc becomes the one DVDGetTitle describes.
using DVDEnumTitleFn = int32_t (*)(const char* path);
// Fills `info` for title `index` (from 0) of the last enumerated disc; non-zero on success.
using DVDGetTitleFn = int32_t (*)(int32_t index, DVDTitleInfo* info);
// The values an "opendvd:PATH" name without parameters plays with.
using DVDSetParamFn = void (*)(const DVDPlayParams* params);
// libdvdread's version as major * 10000 + minor * 100 + micro.
using DVDGetLibVersionFn = int32_t (*)();

// level: 0 error, 1 warning, 2 info, 3 debug.
using DVDLogCallback = void (*)(int32_t level, const char* text);
using DVDSetLogCallbackFn = void (*)(DVDLogCallback callback);
// Opens an "opendvd:" name; returns a stream handle, or null with a negative AVERROR code in
// *error and the reason in why (at most whySize bytes, zero-terminated).
using DVDStreamOpenFn = void* (*)(const char* name, int32_t* error, char* why, int32_t whySize);
using DVDStreamReadFn = int32_t (*)(void* stream, uint8_t* buf, int32_t size);
using DVDStreamSeekFn = int64_t (*)(void* stream, int64_t offset, int32_t whence);
using DVDStreamCloseFn = void (*)(void* stream);
// The parameters an open stream plays with and its title's description; non-zero on success.
using DVDStreamTitleFn = int32_t (*)(void* stream, DVDPlayParams* params, DVDTitleInfo* info);
// Where the stream's chapters start on its clock (microseconds; -1 unknown) and how long they
// play when the stream reads on past them (-1: to the title's end); zero when neither is known.
using DVDStreamWindowFn = int32_t (*)(void* stream, int64_t* startUs, int64_t* lengthUs);
}
