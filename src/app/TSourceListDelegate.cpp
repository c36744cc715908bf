#include "TSourceListDelegate.h"

#include "TSkin.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace quovo {

namespace {

constexpr int kBoxSide = 12;   // the check box, from its outer left to its outer right
constexpr int kBoxLeft = 2;    // from the row's left
constexpr int kBoxColumn = 14; // the caption follows the box from here
constexpr int kTextInset = 3;
constexpr int kMinimumRowHeight = 17;

// The check box's square: kBoxLeft from the left, as high as wide, centred in the row so it stays
// square on rows taller than the box needs.
QRect BoxRect(const QRect& row) {
    const int top = row.top() + (row.height() - kBoxSide) / 2;
    return QRect(row.left() + kBoxLeft, top, kBoxSide, kBoxSide);
}

void DrawCheckBox(QPainter& painter, const QRect& box, bool checked) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(Qt::black, 2);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // A 2-pixel line is centred on its path: inset by one so the box keeps its outer size.
    painter.drawRect(box.adjusted(1, 1, -1, -1));
    if (checked) {
        const QPoint at = box.topLeft();
        const QPoint tick[] = {at + QPoint(2, 4), at + QPoint(4, 9), at + QPoint(9, 3)};
        painter.drawPolyline(tick, 3);
    }
    painter.restore();
}

bool IsFocusRow(const QStyleOptionViewItem& option) {
    return option.state & QStyle::State_Selected;
}

} // namespace

int CellWidthFor(const QFontMetrics& metrics, const QString& text, int column) {
    return metrics.horizontalAdvance(text) + 2 * kTextInset + (column == 0 ? kBoxColumn : 0);
}

QColor FocusRowFill(bool listHasFocus) {
    return listHasFocus ? QColor(185, 204, 236) : QColor(229, 236, 248);
}

QColor FocusRowFrame(bool listHasFocus) {
    return listHasFocus ? QColor(122, 160, 218) : QColor(152, 181, 226);
}

TSourceListDelegate::TSourceListDelegate(std::function<int()> look, QObject* parent)
    : QStyledItemDelegate(parent), look_(std::move(look)) {}

void TSourceListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const int column = index.column();
    const bool lastColumn = column == index.model()->columnCount() - 1;
    const bool listHasFocus = option.widget != nullptr && option.widget->hasFocus();
    // The row's rectangle is inset by a pixel at its left and right ends.
    QRect row = option.rect;
    if (column == 0) {
        row.setLeft(row.left() + 1);
    }
    if (lastColumn) {
        row.setRight(row.right() - 1);
    }

    painter->save();
    painter->fillRect(option.rect, Qt::white);
    if (IsFocusRow(option)) {
        painter->fillRect(row, FocusRowFill(listHasFocus));
        painter->setPen(FocusRowFrame(listHasFocus));
        painter->drawLine(row.topLeft(), row.topRight());
        painter->drawLine(row.bottomLeft(), row.bottomRight());
        if (column == 0) {
            painter->drawLine(row.topLeft(), row.bottomLeft());
        }
        if (lastColumn) {
            painter->drawLine(row.topRight(), row.bottomRight());
        }
    } else if (index.row() % 2 == 1) {
        painter->fillRect(row, SkinRowTint(look_ ? look_() : 0));
    }

    QRect text = row.adjusted(kTextInset, 0, -kTextInset, 0);
    if (column == 0) {
        DrawCheckBox(*painter, BoxRect(row), index.data(Qt::CheckStateRole).toInt() == Qt::Checked);
        text.setLeft(row.left() + kBoxColumn + kTextInset);
    }
    const QVariant alignment = index.data(Qt::TextAlignmentRole);
    const Qt::Alignment horizontal =
        alignment.isValid() ? Qt::Alignment(alignment.toInt()) & Qt::AlignHorizontal_Mask
                            : Qt::AlignLeft;
    painter->setFont(option.font);
    painter->setPen(Qt::black);
    const QString shown = option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                        Qt::ElideRight, text.width());
    painter->drawText(text, horizontal | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    painter->restore();
}

QSize TSourceListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    return QSize(size.width(), std::max(kMinimumRowHeight, option.fontMetrics.height() + 4));
}

bool TSourceListDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                      const QStyleOptionViewItem& option,
                                      const QModelIndex& index) {
    const QModelIndex box = index.siblingAtColumn(0);
    auto toggle = [&] {
        const bool checked = box.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        return model->setData(box, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    };
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QRect hit(option.rect.left(), option.rect.top(), kBoxColumn + kBoxLeft,
                        option.rect.height());
        if (index.column() != 0 || mouse->button() != Qt::LeftButton ||
            !hit.contains(mouse->position().toPoint())) {
            return false;
        }
        // A double click on the box toggles it twice, as two clicks would, and plays nothing.
        return event->type() == QEvent::MouseButtonRelease ? toggle() : true;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        return (key == Qt::Key_Space || key == Qt::Key_Select) && toggle();
    }
    default:
        return false;
    }
}

} // namespace quovo
