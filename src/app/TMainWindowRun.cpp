#include "TMainWindowRun.h"

#include "TGlobalObject.h"
#include "TPreviewPanel.h"
#include "WinMain.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>

namespace quovo {

namespace {

// The list's commands a run holds back, by control name: menu entries and buttons.
constexpr const char* kAddCommands[] = {"Add1", "btnAdd", "AddDVD1", "BtnAddDVD"};
constexpr const char* kListCommands[] = {"Remove1", "btnRemove", "Clear1",   "btnClear",
                                         "Start1",  "btnStart",  "btnStart2"};

void SetEnabled(QObject* control, bool enabled) {
    if (auto* action = qobject_cast<QAction*>(control)) {
        action->setEnabled(enabled);
    } else if (auto* widget = qobject_cast<QWidget*>(control)) {
        widget->setEnabled(enabled);
    }
}

bool IsEnabled(QObject* control) {
    if (auto* action = qobject_cast<QAction*>(control)) {
        return action->isEnabled();
    }
    auto* widget = qobject_cast<QWidget*>(control);
    return widget != nullptr && widget->isEnabled();
}

} // namespace

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
        menu->setEnabled(true);
        connect(menu, &QAction::triggered, this, start);
    }
    for (const char* name : {"btnStart", "btnStart2"}) {
        if (auto* button = main.findChild<QAbstractButton*>(name)) {
            button->setEnabled(true);
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
    auto hold = [this](const char* name, bool allowed) {
        QObject* control = main_.findChild<QAction*>(name);
        if (control == nullptr) {
            control = main_.findChild<QWidget*>(name);
        }
        if (control == nullptr) {
            return;
        }
        if (!allowed) {
            before_.try_emplace(control, IsEnabled(control));
            SetEnabled(control, false);
        } else if (auto it = before_.find(control); it != before_.end()) {
            SetEnabled(control, it->second);
            before_.erase(it);
        }
    };
    for (const char* name : kAddCommands) {
        hold(name, controls.Add);
    }
    for (const char* name : kListCommands) {
        const std::string_view n = name;
        hold(name, n.find("Remove") != n.npos  ? controls.Remove
                   : n.find("Clear") != n.npos ? controls.Clear
                                               : controls.Start);
    }
}

} // namespace quovo
