#include "DialogButtons.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace quovo {

QPushButton* MakeButton(const QString& caption, const char* name, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAccessibleName(QString(caption).remove('&'));
    return button;
}

TDefaultOkCancel MakeDefaultOkCancel(QWidget* parent) {
    TDefaultOkCancel buttons{MakeButton("&Default", "btnDefault", parent),
                             MakeButton("&Ok", "btnOk", parent),
                             MakeButton("&Cancel", "btnCancel", parent), new QHBoxLayout};
    buttons.Ok->setDefault(true);
    buttons.Row->addWidget(buttons.Default);
    buttons.Row->addStretch();
    buttons.Row->addWidget(buttons.Ok);
    buttons.Row->addWidget(buttons.Cancel);
    return buttons;
}

} // namespace quovo
