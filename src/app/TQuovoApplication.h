// The program's application object. It drains the engine's main-thread queue from the event
// loop, so workers can hand their events to the windows. Every event, and so every handler and slot
// the windows run, passes through notify(); an exception that escapes one is reported there
// (AppException) and the program goes on.
//
// The app folder owns the program entry, the main window and its output-folder controls; it uses
// every library below it and is entered only by the user-interface thread.
#pragma once

#include "TDialogService.h"

#include <QApplication>

#include <exception>
#include <string>

namespace quovo {

class TQuovoApplication : public QApplication {
    Q_OBJECT
public:
    TQuovoApplication(int& argc, char** argv);
    ~TQuovoApplication() override;

    // Where error reports are shown; without one they go to standard error.
    void SetDialogService(TDialogService* dialogs) { dialogs_ = dialogs; }
    void SetAppTitle(std::string title) { appTitle_ = std::move(title); }
    const std::string& AppTitle() const { return appTitle_; }

    bool notify(QObject* receiver, QEvent* event) override;
    // The error report: the message with its full stop, by the kind of error.
    void AppException(const std::exception& error);

private:
    TDialogService* dialogs_ = nullptr;
    std::string appTitle_ = "Quovo";
    bool reporting_ = false;
};

} // namespace quovo
