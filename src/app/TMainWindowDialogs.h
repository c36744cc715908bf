// What the main window opens and embeds beyond its own frame: the parameter boxes under the
// format chooser (every accepted change written at once), the settings dialog (File › Settings and
// the Settings tool button), the preferences (File › Preference) and the folder chooser behind
// "Brows". The dialogs are created on first use and kept for the window's life.
#pragma once

#include "TFormatParameterEditor.h"
#include "TMountTable.h"
#include "TfrmPreference.h"

#include <QObject>

#include <memory>

namespace quovo {

class TfmDirectory;
class TfrmMain;
class TfrmSettings;
class TParameterBoxes;

class TMainWindowDialogs : public QObject {
    Q_OBJECT
public:
    // The opener shows a folder in the desktop's file manager (tests give their own).
    TMainWindowDialogs(TfrmMain& main, TfrmPreference::TFolderOpener opener);
    ~TMainWindowDialogs() override;

    TParameterBoxes* Boxes() const { return boxes_; }
    TFormatParameterEditor& Editor() { return editor_; }
    void Settings1Click();
    void Options1Click();
    QString ChooseFolder(const QString& current);

    // Created on first use.
    TfrmSettings& SettingsDialog();
    TfrmPreference& PreferenceDialog();
    TfmDirectory& FolderChooser();

private:
    void LoadFormat(int code);
    void SettingsConfirmed(const QString& name, int code);

    TfrmMain& main_;
    TfrmPreference::TFolderOpener opener_;
    TSystemMountTable mounts_;
    TFormatParameterEditor editor_;
    TParameterBoxes* boxes_;
    TfrmSettings* settings_ = nullptr;
    TfrmPreference* preference_ = nullptr;
    TfmDirectory* chooser_ = nullptr;
};

// Opens a folder in the desktop's file manager.
void OpenFolderOnDesktop(const QString& folder);

} // namespace quovo
