// The error of every engine failure; its message is the text shown to the user.
#pragma once

#include <stdexcept>
#include <string>

namespace quovo {

class FFmpegException : public std::runtime_error {
public:
    explicit FFmpegException(const std::string& message) : std::runtime_error(message) {}
};

} // namespace quovo
