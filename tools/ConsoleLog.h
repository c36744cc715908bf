// The tools' logging: every engine and library message on standard error.
#pragma once

#include <string>

namespace quovo {

// Sends the logger's messages to standard error at the level named `level` ("info", "error" …).
// False with the reason in `error` when the name is not a level.
bool LogToStandardError(const std::string& level, std::string& error);

} // namespace quovo
