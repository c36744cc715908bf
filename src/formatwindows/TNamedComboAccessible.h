// Drop-down boxes on the accessibility bus under the name of their label. Qt names a combo box
// by its current text on Linux (leaving the label to a relation); a screen reader copes, but a
// robot or a user searching by "Frame Size:" finds nothing. Boxes given an accessible name get
// this interface instead: named by it, valued by the current text, with the list and the typed
// text as children and "showMenu" to open the list.
#pragma once

#include <QAccessibleWidget>

class QComboBox;

namespace quovo {

class TNamedComboAccessible : public QAccessibleWidget {
public:
    explicit TNamedComboAccessible(QComboBox* box);

    QString text(QAccessible::Text t) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    QComboBox* Box() const;
};

// Installs the interface for every combo box with an accessible name (once per process).
void UseNamedComboAccessibles();

} // namespace quovo
