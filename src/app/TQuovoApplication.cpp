#include "TQuovoApplication.h"

#include "ErrorReport.h"

#include <cstdio>
#include <stdexcept>

namespace quovo {

TQuovoApplication::TQuovoApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TQuovoApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        AppException(error);
    } catch (...) {
        AppException(std::runtime_error("Unknown error"));
    }
    return false;
}

void TQuovoApplication::AppException(const std::exception& error) {
    // A report box runs its own event loop; an error inside it is written out, not stacked.
    if (dialogs_ == nullptr || reporting_) {
        std::fprintf(stderr, "%s: %s\n", appTitle_.c_str(), ErrorReportText(error.what()).c_str());
        return;
    }
    reporting_ = true;
    ReportError(*dialogs_, appTitle_, error);
    reporting_ = false;
}

} // namespace quovo
