// The application-wide report of errors that escape a handler: the program says what went wrong
// and carries on.
#pragma once

#include "TDialogService.h"

#include <exception>
#include <string>

namespace quovo {

// The message as shown: "." appended when the text is not empty and does not end with "." already
// (so "Failed!" becomes "Failed!." and "Done." stays).
std::string ErrorReportText(const std::string& message);

enum class TErrorKind {
    Engine,        // FFmpegException: shown with the application title and a warning icon
    InvalidMemory, // never shown
    Other,         // shown with the application title and an error icon
};

TErrorKind ClassifyError(const std::exception& error);

// Shows the error as the report rule says; never throws.
void ReportError(TDialogService& dialogs, const std::string& appTitle, const std::exception& error);

} // namespace quovo
