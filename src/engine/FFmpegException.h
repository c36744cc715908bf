// The error of every engine failure; its message is the text shown to the user.
#pragma once

#include <stdexcept>
#include <string>

namespace quovo {

// Error codes of the program's own, negative like the libraries' codes and tagged like them so
// that they never meet one of theirs.
constexpr int kErrorDiscStructure = -('Q' | 'D' << 8 | 'V' << 16 | 'S' << 24);
// A CSS-encrypted DVD title read without libdvdcss.
constexpr int kErrorDiscEncrypted = -('Q' | 'D' << 8 | 'V' << 16 | 'C' << 24);

class FFmpegException : public std::runtime_error {
public:
    explicit FFmpegException(const std::string& message) : std::runtime_error(message) {}
};

} // namespace quovo
