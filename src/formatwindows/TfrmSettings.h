// The settings dialog: the output format and its parameters, edited in memory and written
// together on "&Ok". Created on first use and kept; each opening reloads from the files.
#pragma once

#include "TSettingsDialogModel.h"

#include <QDialog>

class QPushButton;

namespace quovo {

class TFormatPicker;
class TParameterBoxes;

class TfrmSettings : public QDialog {
    Q_OBJECT
public:
    TfrmSettings(TIniStore& settings, const TIniStore& formatFile, TDialogService& dialogs,
                 std::string appTitle, QWidget* parent = nullptr);

    // Loads everything from the files (FormShow); exec() or open() it afterwards.
    void Reload();
    // A format row was chosen in the dialog's own list (nothing is written).
    void ChooseFormat(const QString& name, int code);
    TSettingsDialogModel& Model() { return model_; }

    TFormatPicker* Picker;
    TParameterBoxes* Boxes;
    QPushButton* btnDefault;
    QPushButton* btnOk;
    QPushButton* btnCancel;

signals:
    // After "&Ok" wrote everything: the format that is now current.
    void FormatConfirmed(const QString& name, int code);

private:
    void btnDefaultClick();
    void btnOkClick();

    TIniStore& settings_;
    TSettingsDialogModel model_;
};

} // namespace quovo
