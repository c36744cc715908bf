#include "TSourceListView.h"

#include "TSourceListDelegate.h"
#include "TSourceListModel.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QStyle>

#include <algorithm>

namespace quovo {

TSourceListView::TSourceListView(TSourceListModel& model, QWidget* parent)
    : QTreeView(parent), model_(model) {
    setObjectName("lvFiles");
    setAccessibleName("Source Files");
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    // The delegate draws the focus row; no focus rectangle of the style on top.
    setAllColumnsShowFocus(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setModel(&model_);
    connect(&model_, &QAbstractItemModel::modelReset, this, &TSourceListView::ApplyColumnWidths);
    ApplyColumnWidths();
}

int TSourceListView::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void TSourceListView::SelectRow(int row) {
    if (row < 0 || row >= model_.Count()) {
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex at = model_.index(row, 0);
    selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect |
                                              QItemSelectionModel::Rows);
    scrollTo(at);
}

namespace {

QStringList LocalPaths(const QMimeData* data) {
    QStringList paths;
    if (data != nullptr) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile()) {
                paths << url.toLocalFile();
            }
        }
    }
    return paths;
}

} // namespace

// Only files and folders of this computer can be added; rows are never moved by dragging.
void TSourceListView::dragEnterEvent(QDragEnterEvent* event) {
    if (LocalPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void TSourceListView::dragMoveEvent(QDragMoveEvent* event) {
    if (LocalPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void TSourceListView::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit PathsDropped(paths);
}

void TSourceListView::ApplyColumnWidths() {
    // The widths are the least; a larger font widens a column so its caption and its widest
    // text still show whole.
    const std::vector<TColumn>& columns = Columns(model_.Layout());
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        const int caption = header()->fontMetrics().horizontalAdvance(columns[i].Caption) +
                            2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header());
        int width = std::max(columns[i].Width, caption);
        if (columns[i].Widest != nullptr) {
            width = std::max(width, CellWidthFor(fontMetrics(), columns[i].Widest, i));
        }
        setColumnWidth(i, width);
    }
}

} // namespace quovo
