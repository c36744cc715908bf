// How a parameter box draws its items: the focused one filled light blue with a darker frame,
// the others on white; one line, cut with an ellipsis.
#pragma once

#include <QStyledItemDelegate>

namespace quovo {

class TParamItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

} // namespace quovo
