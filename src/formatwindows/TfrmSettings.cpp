#include "TfrmSettings.h"

#include "DialogButtons.h"
#include "TFormatPicker.h"
#include "TParameterBoxes.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace quovo {

TfrmSettings::TfrmSettings(TIniStore& settings, const TIniStore& formatFile,
                           TDialogService& dialogs, std::string appTitle, QWidget* parent)
    : QDialog(parent), settings_(settings),
      model_(settings, formatFile, dialogs, std::move(appTitle)) {
    setWindowTitle("Settings");
    setObjectName("frmSettings");
    setFixedSize(475, 370);

    Picker = new TFormatPicker(settings, TChoiceWrite::Collect, this);
    Picker->setObjectName("FormatPicker");
    connect(Picker, &TFormatPicker::FormatChosen, this, &TfrmSettings::ChooseFormat);

    Boxes = new TParameterBoxes(this);
    Boxes->Bind(model_);

    TDefaultOkCancel buttons = MakeDefaultOkCancel(this);
    btnDefault = buttons.Default;
    btnOk = buttons.Ok;
    btnCancel = buttons.Cancel;
    connect(btnDefault, &QPushButton::clicked, this, &TfrmSettings::btnDefaultClick);
    connect(btnOk, &QPushButton::clicked, this, &TfrmSettings::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Picker);
    layout->addWidget(Boxes);
    layout->addStretch();
    layout->addLayout(buttons.Row);
}

void TfrmSettings::Reload() {
    model_.Load();
    Picker->SetCurrentFormat(QString::fromStdString(model_.Name()), model_.Code());
    Picker->FillFormatList();
    Boxes->Refresh();
}

void TfrmSettings::ChooseFormat(const QString& name, int code) {
    model_.ChooseFormat(name.toStdString(), code);
    Boxes->Refresh();
}

void TfrmSettings::btnDefaultClick() {
    model_.DefaultClick();
    Boxes->Refresh();
}

void TfrmSettings::btnOkClick() {
    // "&Ok" reached by its shortcut leaves no box: check the one being edited as leaving would.
    if (auto* box = qobject_cast<QComboBox*>(QApplication::focusWidget())) {
        if (box->isEditable() && Boxes->isAncestorOf(box)) {
            btnOk->setFocus(Qt::OtherFocusReason);
            if (!btnOk->hasFocus() || box->hasFocus()) {
                return;
            }
        }
    }
    Picker->HideList();
    if (!model_.OkClick(
            [this](TIniStore& settings) { return Picker->SaveFormatListState(settings); })) {
        return;
    }
    emit FormatConfirmed(QString::fromStdString(model_.Name()), model_.Code());
    accept();
}

} // namespace quovo
