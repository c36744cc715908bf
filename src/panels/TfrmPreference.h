// The preferences: the snapshot folder, sizes, file types and JPEG quality, the work priority of
// conversions and how much of the machine they use. Written on "&Ok" only, except the folder, which
// "&Brows" writes at once. Created on first use and kept; each showing reloads from the settings.
#pragma once

#include "TDialogService.h"
#include "TIniStore.h"
#include "TPreferenceValues.h"

#include <QDialog>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;

namespace quovo {

class TfrmPreference : public QDialog {
    Q_OBJECT
public:
    // The folder chooser gets the current folder and gives the chosen one (empty: nothing); the
    // opener shows a folder in the desktop's file manager.
    using TFolderChooser = std::function<QString(const QString& current)>;
    using TFolderOpener = std::function<void(const QString& folder)>;

    TfrmPreference(TIniStore& settings, TDialogService& dialogs, std::string defaultFolder,
                   TFolderChooser chooser, TFolderOpener opener, QWidget* parent = nullptr);

    // Loads the boxes from the settings (FormShow).
    void Reload();
    // What the boxes show now.
    TPreferenceValues Shown() const;

    QLineEdit* edtSnapDirectory;
    QPushButton* btnBrows;
    QPushButton* btnOpen;
    QCheckBox* ckSmallSize;
    QCheckBox* ckFullSize;
    QCheckBox* ckBmp;
    QCheckBox* ckJpg;
    QSpinBox* spedCmp;
    QSlider* trcCmp;
    QButtonGroup* rdGrpPriority;
    QCheckBox* ckAllCores;
    QSpinBox* spedAtOnce;
    QPushButton* btnDefault;
    QPushButton* btnOk;
    QPushButton* btnCancel;

private:
    void Show(const TPreferenceValues& values);
    void btnBrowsClick();
    void btnOpenClick();
    void btnOkClick();
    // At least one box of a pair stays checked.
    void KeepOne(QCheckBox* clicked, QCheckBox* other);
    void EnableQuality();

    TIniStore& settings_;
    TDialogService& dialogs_;
    std::string defaultFolder_;
    TFolderChooser chooser_;
    TFolderOpener opener_;
};

} // namespace quovo
