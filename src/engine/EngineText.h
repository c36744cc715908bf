// Texts the engine and the media probe show for library results: error codes, times, codecs and
// media kinds.
#pragma once

#include "AvPtr.h"

#include <cstdint>
#include <string>

namespace quovo {

std::string FormatErrorText(const std::string& prefix, int code);
std::string FormatTimeText(int64_t timeUs);
std::string DescribeCodec(const AVCodecParameters* par, bool encoder);
std::string MediaTypeName(int kind);

} // namespace quovo
