#include "TMainWindowDialogs.h"

#include "TFormatPicker.h"
#include "TGlobalObject.h"
#include "TParameterBoxes.h"
#include "TfmDirectory.h"
#include "TfrmSettings.h"
#include "WinMain.h"

#include <QAction>
#include <QDesktopServices>
#include <QToolButton>
#include <QUrl>

namespace quovo {

void OpenFolderOnDesktop(const QString& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

TMainWindowDialogs::TMainWindowDialogs(TfrmMain& main, TfrmPreference::TFolderOpener opener)
    : QObject(&main), main_(main), opener_(std::move(opener)),
      editor_(main.Settings(), main.FormatFile(), main.Dialogs(), main.Global().AppTitle) {
    boxes_ = new TParameterBoxes(nullptr, TBoxesLayout::TwoPerRow);
    boxes_->setObjectName("ParameterBoxes");
    main.ParameterBoxesSlot()->addWidget(boxes_);
    boxes_->Bind(editor_);
    connect(&main, &TfrmMain::CurrentFormatFieldChanged, this, &TMainWindowDialogs::LoadFormat);

    if (auto* action = main.findChild<QAction*>("Settings1")) {
        connect(action, &QAction::triggered, this, &TMainWindowDialogs::Settings1Click);
    }
    if (auto* button = main.findChild<QToolButton*>("btnSettings")) {
        connect(button, &QToolButton::clicked, this, &TMainWindowDialogs::Settings1Click);
    }
    if (auto* action = main.findChild<QAction*>("Options1")) {
        connect(action, &QAction::triggered, this, &TMainWindowDialogs::Options1Click);
    }
    main.SetFolderChooser([this](const QString& current) { return ChooseFolder(current); });
    main.SetFolderOpener(opener_);
}

TMainWindowDialogs::~TMainWindowDialogs() = default;

void TMainWindowDialogs::LoadFormat(int code) {
    editor_.Load(code);
    boxes_->Refresh();
}

TfrmSettings& TMainWindowDialogs::SettingsDialog() {
    if (settings_ == nullptr) {
        settings_ = new TfrmSettings(main_.Settings(), main_.FormatFile(), main_.Dialogs(),
                                     main_.Global().AppTitle, &main_);
        connect(settings_, &TfrmSettings::FormatConfirmed, this,
                &TMainWindowDialogs::SettingsConfirmed);
    }
    return *settings_;
}

TfrmPreference& TMainWindowDialogs::PreferenceDialog() {
    if (preference_ == nullptr) {
        preference_ = new TfrmPreference(
            main_.Settings(), main_.Dialogs(), DefaultOutputFolder(),
            [this](const QString& current) { return ChooseFolder(current); }, opener_, &main_);
    }
    return *preference_;
}

TfmDirectory& TMainWindowDialogs::FolderChooser() {
    if (chooser_ == nullptr) {
        chooser_ = new TfmDirectory(main_.Dialogs(), main_.Global().AppTitle, mounts_, &main_);
    }
    return *chooser_;
}

void TMainWindowDialogs::Settings1Click() {
    // The dialog builds its list from the states the main window's list has now.
    main_.FormatPicker()->HideList();
    main_.FormatPicker()->SaveFormatListState(main_.Settings());
    TfrmSettings& dialog = SettingsDialog();
    dialog.Reload();
    dialog.exec();
}

void TMainWindowDialogs::SettingsConfirmed(const QString& name, int code) {
    // The confirmed format becomes the main window's: its list, field and boxes show it.
    TFormatPicker* picker = main_.FormatPicker();
    picker->SetCurrentFormat(name, code);
    picker->FillFormatList();
}

void TMainWindowDialogs::Options1Click() {
    TfrmPreference& dialog = PreferenceDialog();
    dialog.Reload();
    dialog.exec();
}

QString TMainWindowDialogs::ChooseFolder(const QString& current) {
    return FolderChooser().Choose(current);
}

} // namespace quovo
