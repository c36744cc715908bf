#include "TMessageBoxDialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace quovo {

namespace {

QMessageBox::Icon BoxIcon(TMessageIcon icon) {
    switch (icon) {
    case TMessageIcon::Information:
        return QMessageBox::Information;
    case TMessageIcon::Warning:
        return QMessageBox::Warning;
    case TMessageIcon::Error:
        return QMessageBox::Critical;
    case TMessageIcon::Question:
        return QMessageBox::Question;
    case TMessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void TMessageBoxDialogs::ShowMessage(const std::string& title, const std::string& text,
                                     TMessageIcon icon) {
    QMessageBox box(BoxIcon(icon), QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, parent_);
    box.exec();
}

bool TMessageBoxDialogs::AskYesNo(const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TMessageBoxDialogs::Beep() {
    QApplication::beep();
}

} // namespace quovo
