#include "TQuovoApplication.h"

#include "ErrorReport.h"
#include "MainThread.h"

#include <cstdio>
#include <stdexcept>

namespace quovo {

TQuovoApplication::TQuovoApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Workers hand their events to this thread: each queued procedure posts a drain to the loop.
    SetMainThread();
    SetMainThreadWakeUp([this] {
        QMetaObject::invokeMethod(
            this, [] { DrainMainThreadQueue(); }, Qt::QueuedConnection);
    });
}

TQuovoApplication::~TQuovoApplication() {
    SetMainThreadWakeUp(nullptr);
    DrainMainThreadQueue();
}

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
