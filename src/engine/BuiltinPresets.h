// The encoder presets built into the engine: 40 named lists of "key=value" lines, one setting a
// line. The names are those of the libx264 presets of the engine's first releases; their option
// names are that encoder wrapper's names of the time (TCustomFFmpegPresets.cpp translates them).
#pragma once

#include <span>

namespace quovo {

struct TOptionsPreset {
    const char* name;
    const char* text;
};

// Every built-in preset (names are unique; the order carries no meaning).
std::span<const TOptionsPreset> BuiltinPresets();

} // namespace quovo
