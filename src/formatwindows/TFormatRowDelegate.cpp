#include "TFormatRowDelegate.h"

#include "TFormatArtwork.h"
#include "TFormatItemModel.h"
#include "TFormatListModel.h"
#include "TSkin.h"

#include <QPainter>

namespace quovo {

namespace {
const QColor kSelectedFill(185, 204, 236);
const QColor kSelectedFrame(122, 160, 218);
} // namespace

void TFormatRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const QRect r = option.rect;
    painter->save();
    painter->fillRect(r, FieldBackground());
    if (option.state & QStyle::State_Selected) {
        painter->fillRect(r.adjusted(2, 2, -2, -2), kSelectedFill);
        painter->setPen(kSelectedFrame);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(r.adjusted(1, 1, -2, -2));
    }
    const QString text = index.data(Qt::DisplayRole).toString();
    painter->setFont(index.data(Qt::FontRole).value<QFont>());
    painter->setPen(index.data(Qt::ForegroundRole).value<QColor>());
    const int textHeight = r.height() - 2;
    if (index.data(TFormatItemModel::IsCategoryRole).toBool()) {
        const QPixmap& glyph = ToggleGlyph(!index.data(TFormatItemModel::CollapsedRole).toBool());
        painter->drawPixmap(r.left() + 1, r.top() + (r.height() - glyph.height()) / 2, glyph);
        const QPixmap& icon = CategoryIcon(index.data(TFormatItemModel::CodeRole).toInt());
        painter->drawPixmap(r.left() + 20, r.top() + (r.height() - icon.height()) / 2, icon);
        painter->drawText(QRect(r.left() + 45, r.top() + 2, r.width() - 45, textHeight),
                          Qt::AlignLeft | Qt::AlignVCenter, text);
    } else {
        painter->drawText(QRect(r.left() + 25, r.top() + 2, r.width() - 25, textHeight),
                          Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    painter->restore();
}

QSize TFormatRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    return {size.width() + 45, kFormatRowHeight};
}

} // namespace quovo
