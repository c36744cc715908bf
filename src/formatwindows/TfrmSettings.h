// The settings dialog: the output format and its parameters, edited in memory and written
// together on "&Ok". Created on first use and kept; each opening reloads from the files.
#pragma once

#include "TSettingsDialogModel.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QToolButton;

namespace quovo {

class TParameterBoxes;

class TfrmSettings : public QDialog {
    Q_OBJECT
public:
    TfrmSettings(TIniStore& settings, const TIniStore& formatFile, TDialogService& dialogs,
                 std::string appTitle, QWidget* parent = nullptr);

    // Loads everything from the files (FormShow); exec() or open() it afterwards.
    void Reload();
    // A format row was chosen in the dialog's own list.
    void ChooseFormat(const std::string& name, int code);
    TSettingsDialogModel& Model() { return model_; }

    QLineEdit* edt1;
    QToolButton* imgbtn1;
    TParameterBoxes* Boxes;
    QPushButton* btnDefault;
    QPushButton* btnOk;
    QPushButton* btnCancel;

signals:
    // After "&Ok" wrote everything: the format that is now current.
    void FormatConfirmed(const QString& name, int code);
    // The field's button or a click into the field (the format list opens from here).
    void FormatListRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void btnDefaultClick();
    void btnOkClick();

    TSettingsDialogModel model_;
};

} // namespace quovo
