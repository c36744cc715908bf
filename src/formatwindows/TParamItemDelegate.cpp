#include "TParamItemDelegate.h"

#include <QPainter>

namespace quovo {

void TParamItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    painter->save();
    const bool focused = option.state & (QStyle::State_Selected | QStyle::State_HasFocus);
    QColor textColour = option.palette.color(QPalette::Text);
    if (focused) {
        painter->fillRect(option.rect.adjusted(2, 2, -2, -2), QColor(185, 204, 236));
        painter->setPen(QColor(122, 160, 218));
        painter->drawRect(option.rect.adjusted(1, 1, -2, -2));
        textColour = Qt::black;
    } else {
        painter->fillRect(option.rect, Qt::white);
    }
    const QRect textRect = option.rect.adjusted(3, 0, -3, 0);
    const QString text = option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                       Qt::ElideRight, textRect.width());
    painter->setPen(textColour);
    painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
    painter->restore();
}

} // namespace quovo
