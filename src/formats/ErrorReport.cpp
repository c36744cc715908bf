#include "ErrorReport.h"

#include "FFmpegException.h"

namespace quovo {

std::string ErrorReportText(const std::string& message) {
    // Every message ends with a full stop: one is added unless the text already ends with one
    // (so "Failed!" is shown as "Failed!.", as the program always has).
    if (!message.empty() && message.back() != '.') {
        return message + ".";
    }
    return message;
}

TErrorKind ClassifyError(const std::exception& error) {
    if (dynamic_cast<const FFmpegException*>(&error) != nullptr) {
        return TErrorKind::Engine;
    }
    // An invalid memory access is a signal on this platform, never an exception that reaches the
    // report; the kind stays for the windows' handler table.
    return TErrorKind::Other;
}

void ReportError(TDialogService& dialogs, const std::string& appTitle,
                 const std::exception& error) {
    try {
        TErrorKind kind = ClassifyError(error);
        if (kind == TErrorKind::InvalidMemory) {
            return;
        }
        dialogs.ShowMessage(appTitle, ErrorReportText(error.what()),
                            kind == TErrorKind::Engine ? TMessageIcon::Warning
                                                       : TMessageIcon::Error);
    } catch (...) {
        // The report itself must not end the program.
    }
}

} // namespace quovo
