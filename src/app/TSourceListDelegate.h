// Draws the rows of the source list: white even rows and odd rows tinted by the window look, the
// focus row filled and framed (paler while the list has no focus), a drawn check box before the
// caption, and every text on one line, vertically centred, cut with an ellipsis. A click on the
// box, or Space, toggles it.
#pragma once

#include <QFontMetrics>
#include <QStyledItemDelegate>

#include <functional>

namespace quovo {

class TSourceListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // `look` answers the current window look, whose tint the odd rows take.
    explicit TSourceListDelegate(std::function<int()> look, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    std::function<int()> look_;
};

// The width a cell of `column` needs to show `text` whole in `metrics`' font.
int CellWidthFor(const QFontMetrics& metrics, const QString& text, int column);

// Colours of the focus row: fill and frame, with and without the list's focus.
QColor FocusRowFill(bool listHasFocus);
QColor FocusRowFrame(bool listHasFocus);

} // namespace quovo
