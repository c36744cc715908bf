// The main window's batch run: "&Start" in the File menu, the list's pop-up menu, the hidden tool
// button and the button beside the output folder start it; the hidden "Pause", "Resume" and
// "Stop" buttons control it. While a run goes on, the commands that would change the list or start
// another run are disabled: the list's enabling rules ask the run for its state.
#pragma once

#include "TBatchRun.h"
#include "TDBusDesktop.h"

#include <QObject>

#include <memory>

class QAction;

namespace quovo {

class TfrmMain;

class TMainWindowRun : public QObject {
    Q_OBJECT
public:
    explicit TMainWindowRun(TfrmMain& main);
    ~TMainWindowRun() override;

    TBatchRun& Run() { return *run_; }
    // The desktop's services (power-off, sleep inhibitor, notification); tests give a recorder.
    void SetDesktop(TDesktopActions& desktop) { run_->SetDesktop(desktop); }

    QAction* btnPause;
    QAction* btnResume;
    QAction* btnStop;

private:
    void ApplyControls(const TRunControls& controls);

    TfrmMain& main_;
    std::unique_ptr<TDBusDesktop> desktop_;
    std::unique_ptr<TBatchRun> run_;
};

} // namespace quovo
