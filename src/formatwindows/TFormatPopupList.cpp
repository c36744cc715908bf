#include "TFormatPopupList.h"

#include "TFormatRowDelegate.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace quovo {

TFormatPopupList::TFormatPopupList(TFormatItemModel& items, TFormatListModel& rows, QWidget* owner)
    : QListView(owner), rows_(rows) {
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    setObjectName("lst1");
    setAccessibleName("Output Format:");
    setModel(&items);
    setItemDelegate(new TFormatRowDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setMouseTracking(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette p = palette();
    p.setColor(QPalette::Base, QColor(246, 247, 248));
    setPalette(p);
    connect(&items, &QAbstractItemModel::modelAboutToBeReset, this, [this] { resetting_ = true; });
    connect(&items, &QAbstractItemModel::modelReset, this, [this] {
        resetting_ = false;
        SyncSelection();
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFormatPopupList::ExternalSelection);
}

void TFormatPopupList::SetToggleControls(std::vector<QWidget*> controls) {
    toggleControls_.assign(controls.begin(), controls.end());
}

void TFormatPopupList::SyncSelection() {
    syncing_ = true;
    const int row = rows_.Selected();
    if (row >= 0 && row < model()->rowCount()) {
        const QModelIndex index = model()->index(row, 0);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        scrollTo(index);
    } else {
        selectionModel()->clearSelection();
    }
    syncing_ = false;
}

void TFormatPopupList::SelectRow(int row) {
    if (row < 0 || row >= rows_.RowCount() || row == rows_.Selected()) {
        return;
    }
    rows_.Select(row);
    SyncSelection();
}

void TFormatPopupList::ExternalSelection(const QItemSelection& selected,
                                         const QItemSelection& deselected) {
    if (syncing_ || resetting_) {
        return;
    }
    // Not made by the list itself: assistive technology chose or toggled a row.
    const QModelIndexList now = selected.indexes();
    const QModelIndexList before = deselected.indexes();
    const int row = !now.isEmpty()      ? now.first().row()
                    : !before.isEmpty() ? before.first().row()
                                        : -1;
    if (row >= 0) {
        rows_.Select(row);
        emit RowActivated(row);
    }
}

bool TFormatPopupList::OverToggleControl(const QPoint& globalPos) const {
    for (const QPointer<QWidget>& control : toggleControls_) {
        if (control && control->isVisible() &&
            control->rect().contains(control->mapFromGlobal(globalPos))) {
            return true;
        }
    }
    return false;
}

void TFormatPopupList::mousePressEvent(QMouseEvent* event) {
    if (!rect().contains(event->position().toPoint())) {
        // The press that closes a pop-up is passed on to the control under it, unless that is
        // one of the controls that open the list: they would open it again at once.
        setAttribute(Qt::WA_NoMouseReplay, OverToggleControl(event->globalPosition().toPoint()));
        hide();
        return;
    }
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QPoint pos = viewport()->mapFrom(this, event->position().toPoint());
    const QModelIndex index = indexAt(pos);
    emit RowPressed(index.isValid() ? index.row() : -1, pos.x());
}

void TFormatPopupList::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // The second press of a double click is a press too, then the double click itself.
    mousePressEvent(event);
    const QModelIndex index = indexAt(viewport()->mapFrom(this, event->position().toPoint()));
    if (index.isValid() && isVisible()) {
        emit RowDoubleClicked(index.row());
    }
}

void TFormatPopupList::mouseMoveEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(viewport()->mapFrom(this, event->position().toPoint()));
    if (index.isValid()) {
        SelectRow(index.row());
    }
}

void TFormatPopupList::mouseReleaseEvent(QMouseEvent*) {}

void TFormatPopupList::keyPressEvent(QKeyEvent* event) {
    const int selected = rows_.Selected();
    const int last = rows_.RowCount() - 1;
    const int page = std::max(1, viewport()->height() / kFormatRowHeight - 1);
    const bool category = selected >= 0 && rows_.Rows()[selected].Info.IsCategory != 0;
    switch (event->key()) {
    case Qt::Key_Down:
        if (event->modifiers() & Qt::AltModifier) {
            hide();
        } else {
            SelectRow(std::min(last, selected + 1));
        }
        return;
    case Qt::Key_Up:
        if (event->modifiers() & Qt::AltModifier) {
            hide();
        } else {
            SelectRow(std::max(0, selected - 1));
        }
        return;
    case Qt::Key_Home:
        SelectRow(0);
        return;
    case Qt::Key_End:
        SelectRow(last);
        return;
    case Qt::Key_PageDown:
        SelectRow(std::min(last, selected + page));
        return;
    case Qt::Key_PageUp:
        SelectRow(std::max(0, selected - page));
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (selected >= 0) {
            emit RowActivated(selected);
        }
        return;
    case Qt::Key_Left:
        if (category && !rows_.Rows()[selected].Info.Collapsed) {
            emit ToggleRequested(selected);
        } else if (selected >= 0 && !category) {
            int row = selected;
            while (row > 0 && !rows_.Rows()[row].Info.IsCategory) {
                --row;
            }
            SelectRow(row);
        }
        return;
    case Qt::Key_Right:
        if (category && rows_.Rows()[selected].Info.Collapsed) {
            emit ToggleRequested(selected);
        }
        return;
    case Qt::Key_Escape:
    case Qt::Key_F4:
        hide();
        return;
    default:
        event->ignore();
        return;
    }
}

} // namespace quovo
