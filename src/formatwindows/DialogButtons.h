// The buttons the program's dialogs share: named for the accessibility bus by their caption
// without its "&", and the "&Default" … "&Ok" "&Cancel" row at a dialog's foot.
#pragma once

#include <QString>

class QHBoxLayout;
class QPushButton;
class QWidget;

namespace quovo {

QPushButton* MakeButton(const QString& caption, const char* name, QWidget* parent);

struct TDefaultOkCancel {
    QPushButton* Default;
    QPushButton* Ok; // the default button: Enter presses it
    QPushButton* Cancel;
    QHBoxLayout* Row;
};
TDefaultOkCancel MakeDefaultOkCancel(QWidget* parent);

} // namespace quovo
