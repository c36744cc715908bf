#include "TSourceListView.h"

#include "TSourceListModel.h"

#include <QHeaderView>

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

void TSourceListView::ApplyColumnWidths() {
    const std::vector<TColumn>& columns = Columns(model_.Layout());
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        setColumnWidth(i, columns[i].Width);
    }
}

} // namespace quovo
