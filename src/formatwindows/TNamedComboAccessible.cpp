#include "TNamedComboAccessible.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

namespace quovo {

TNamedComboAccessible::TNamedComboAccessible(QComboBox* box)
    : QAccessibleWidget(box, QAccessible::ComboBox) {}

QComboBox* TNamedComboAccessible::Box() const {
    return static_cast<QComboBox*>(widget());
}

QString TNamedComboAccessible::text(QAccessible::Text t) const {
    switch (t) {
    case QAccessible::Name:
        return Box()->accessibleName();
    case QAccessible::Value:
        return Box()->currentText();
    default:
        return QAccessibleWidget::text(t);
    }
}

int TNamedComboAccessible::childCount() const {
    return Box()->isEditable() && Box()->lineEdit() != nullptr ? 2 : 1;
}

QAccessibleInterface* TNamedComboAccessible::child(int index) const {
    if (index == 0) {
        return QAccessible::queryAccessibleInterface(Box()->view());
    }
    if (index == 1 && childCount() == 2) {
        return QAccessible::queryAccessibleInterface(Box()->lineEdit());
    }
    return nullptr;
}

int TNamedComboAccessible::indexOfChild(const QAccessibleInterface* child) const {
    for (int i = 0; i < childCount(); ++i) {
        if (this->child(i) == child) {
            return i;
        }
    }
    return -1;
}

QStringList TNamedComboAccessible::actionNames() const {
    return {showMenuAction(), pressAction()};
}

void TNamedComboAccessible::doAction(const QString& actionName) {
    if (actionName == showMenuAction() || actionName == pressAction()) {
        Box()->showPopup();
    }
}

namespace {

QAccessibleInterface* NamedComboFactory(const QString&, QObject* object) {
    auto* box = qobject_cast<QComboBox*>(object);
    if (box != nullptr && !box->accessibleName().isEmpty()) {
        return new TNamedComboAccessible(box);
    }
    return nullptr;
}

} // namespace

void UseNamedComboAccessibles() {
    static const bool installed = [] {
        QAccessible::installFactory(NamedComboFactory);
        return true;
    }();
    (void)installed;
}

} // namespace quovo
