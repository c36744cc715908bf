// Draws a row of the format list: category rows bold with their glyph and icon, format rows in
// navy and indented, the selected row on a framed light-blue bar.
#pragma once

#include <QStyledItemDelegate>

namespace quovo {

class TFormatRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace quovo
