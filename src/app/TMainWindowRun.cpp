#include "TMainWindowRun.h"

#include "TGlobalObject.h"
#include "TPreviewPanel.h"
#include "WinMain.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>

namespace quovo {

TMainWindowRun::TMainWindowRun(TfrmMain& main) : QObject(&main), main_(main) {
    desktop_ = std::make_unique<TDBusDesktop>(
        &main, [&main](const QString& folder) { main.OpenFolder(folder); });
    run_ = std::make_unique<TBatchRun>(TBatchRun::THost{
        .Converter = main.Converter(),
        .List = main.SourceList(),
        .Settings = main.Settings(),
        .FormatFile = main.FormatFile(),
        .Dialogs = main.Dialogs(),
        .Desktop = *desktop_,
        .Window = &main,
        .AppTitle = main.Global().AppTitle,
        .LibraryFolder = QCoreApplication::applicationDirPath().toStdString() + "/LibAV",
        .DefaultFolder = DefaultOutputFolder(),
        .StopPreview =
            [&main] {
                if (auto* preview = main.findChild<TPreviewPanel*>()) {
                    preview->imgbtnStopClick();
                }
            },
        .OpenOutputFolder = [&main] { main.btnOpenClick(); },
    });

    // Not shown anywhere (an action made invisible could not be enabled).
    auto hidden = [&main](const char* name, const QString& text) {
        auto* action = new QAction(text, &main);
        action->setObjectName(name);
        action->setEnabled(false);
        return action;
    };
    btnPause = hidden("btnPause", "Pause");
    btnResume = hidden("btnResume", "Resume");
    btnStop = hidden("btnStop", "Stop");
    connect(btnPause, &QAction::triggered, run_.get(), &TBatchRun::btnPauseClick);
    connect(btnResume, &QAction::triggered, run_.get(), &TBatchRun::btnResumeClick);
    connect(btnStop, &QAction::triggered, run_.get(), &TBatchRun::btnStopClick);

    // Every "&Start" converts the checked rows of either kind in one run.
    auto start = [this] { run_->btnStartClick(); };
    if (auto* menu = main.findChild<QAction*>("Start1")) {
        connect(menu, &QAction::triggered, this, start);
    }
    for (const char* name : {"btnStart", "btnStart2"}) {
        if (auto* button = main.findChild<QAbstractButton*>(name)) {
            connect(button, &QAbstractButton::clicked, this, start);
        }
    }
    connect(run_.get(), &TBatchRun::ControlsChanged, this, &TMainWindowRun::ApplyControls);
}

TMainWindowRun::~TMainWindowRun() = default;

void TMainWindowRun::ApplyControls(const TRunControls& controls) {
    btnPause->setEnabled(controls.Pause);
    btnResume->setEnabled(controls.Resume);
    btnStop->setEnabled(controls.Stop);
    // The list's commands follow the list's own enabling rules, which ask the run what it holds.
    main_.UpdateListCommands();
}

} // namespace quovo
