#include "TfrmSettings.h"

#include "TParameterBoxes.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace quovo {

TfrmSettings::TfrmSettings(TIniStore& settings, const TIniStore& formatFile,
                           TDialogService& dialogs, std::string appTitle, QWidget* parent)
    : QDialog(parent), model_(settings, formatFile, dialogs, std::move(appTitle)) {
    setWindowTitle("Settings");
    setObjectName("frmSettings");
    setFixedSize(475, 370);

    auto* label = new QLabel("Output Format:", this);
    edt1 = new QLineEdit(this);
    edt1->setObjectName("edt1");
    edt1->setReadOnly(true);
    edt1->setAccessibleName("Output Format:");
    edt1->installEventFilter(this);
    label->setBuddy(edt1);
    imgbtn1 = new QToolButton(this);
    imgbtn1->setObjectName("imgbtn1");
    imgbtn1->setArrowType(Qt::DownArrow);
    imgbtn1->setAccessibleName("Choose Output Format");
    imgbtn1->setToolTip("Choose Output Format");
    connect(imgbtn1, &QToolButton::clicked, this, &TfrmSettings::FormatListRequested);

    Boxes = new TParameterBoxes(this);
    Boxes->Bind(model_);

    btnDefault = new QPushButton("&Default", this);
    btnDefault->setObjectName("btnDefault");
    btnOk = new QPushButton("&Ok", this);
    btnOk->setObjectName("btnOk");
    btnOk->setDefault(true);
    btnCancel = new QPushButton("&Cancel", this);
    btnCancel->setObjectName("btnCancel");
    for (QPushButton* button : {btnDefault, btnOk, btnCancel}) {
        button->setAccessibleName(button->text().remove('&'));
    }
    connect(btnDefault, &QPushButton::clicked, this, &TfrmSettings::btnDefaultClick);
    connect(btnOk, &QPushButton::clicked, this, &TfrmSettings::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(label);
    formatRow->addWidget(edt1, 1);
    formatRow->addWidget(imgbtn1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnDefault);
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(formatRow);
    layout->addWidget(Boxes);
    layout->addStretch();
    layout->addLayout(buttons);
}

void TfrmSettings::Reload() {
    model_.Load();
    edt1->setText(QString::fromStdString(model_.FieldText()));
    Boxes->Refresh();
}

void TfrmSettings::ChooseFormat(const std::string& name, int code) {
    model_.ChooseFormat(name, code);
    edt1->setText(QString::fromStdString(model_.FieldText()));
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
    if (!model_.OkClick()) {
        return;
    }
    emit FormatConfirmed(QString::fromStdString(model_.Name()), model_.Code());
    accept();
}

bool TfrmSettings::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edt1 && event->type() == QEvent::MouseButtonPress) {
        emit FormatListRequested();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace quovo
