#include "TFormatPopupList.h"

#include "TFormatRowDelegate.h"
#include "TSkin.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace quovo {

TFormatPopupList::TFormatPopupList(TFormatItemModel& items, TFormatListModel& rows, QWidget* owner)
    : QFrame(owner, Qt::Popup | Qt::FramelessWindowHint), rows_(rows) {
    setObjectName("lst1");
    setFrameShape(QFrame::Box);
    setAccessibleName("Output Format:");
    view_ = new QListView(this);
    view_->setObjectName("lst1View");
    view_->setAccessibleName("Output Format:");
    view_->setFrameShape(QFrame::NoFrame);
    view_->setModel(&items);
    view_->setItemDelegate(new TFormatRowDelegate(view_));
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setUniformItemSizes(true);
    view_->setMouseTracking(true);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    UseFieldBackground(view_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(view_);
    setFocusProxy(view_);
    view_->viewport()->installEventFilter(this);
    view_->installEventFilter(this);
    connect(&items, &QAbstractItemModel::modelAboutToBeReset, this, [this] { resetting_ = true; });
    connect(&items, &QAbstractItemModel::modelReset, this, [this] {
        resetting_ = false;
        lastDeselected_ = -1;
        SyncSelection();
    });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFormatPopupList::ExternalSelection);
}

void TFormatPopupList::SetToggleControls(std::vector<QWidget*> controls) {
    toggleControls_.assign(controls.begin(), controls.end());
}

void TFormatPopupList::SyncSelection() {
    syncing_ = true;
    const int row = rows_.Selected();
    if (row >= 0 && row < view_->model()->rowCount()) {
        const QModelIndex index = view_->model()->index(row, 0);
        view_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        view_->scrollTo(index);
    } else {
        view_->selectionModel()->clearSelection();
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

void TFormatPopupList::ExternalSelection(const QItemSelection&, const QItemSelection& deselected) {
    if (syncing_ || resetting_) {
        return;
    }
    // Not made by the list itself: assistive technology chose or toggled a row. Its action may
    // clear the selection before it selects, so the outcome is read once the action is over.
    if (!deselected.isEmpty()) {
        lastDeselected_ = deselected.indexes().first().row();
    }
    if (!externalPending_) {
        externalPending_ = true;
        QMetaObject::invokeMethod(this, &TFormatPopupList::TakeExternalSelection,
                                  Qt::QueuedConnection);
    }
}

void TFormatPopupList::TakeExternalSelection() {
    externalPending_ = false;
    const QModelIndexList now = view_->selectionModel()->selectedIndexes();
    // Toggling the selected row off still means that row.
    const int row = !now.isEmpty() ? now.first().row() : lastDeselected_;
    lastDeselected_ = -1;
    if (row >= 0 && row < rows_.RowCount()) {
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

QPoint TFormatPopupList::ViewportPos(const QMouseEvent* event) const {
    return view_->viewport()->mapFromGlobal(event->globalPosition().toPoint());
}

void TFormatPopupList::mousePressEvent(QMouseEvent* event) {
    const QPoint global = event->globalPosition().toPoint();
    if (rect().contains(mapFromGlobal(global))) {
        return;
    }
    // The press that closes a pop-up is passed on to the control under it, unless that is one
    // of the controls that open the list: they would open it again at once.
    setAttribute(Qt::WA_NoMouseReplay, OverToggleControl(global));
    hide();
}

bool TFormatPopupList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            RowPress(static_cast<QMouseEvent*>(event));
            return true;
        case QEvent::MouseButtonDblClick:
            RowDoubleClick(static_cast<QMouseEvent*>(event));
            return true;
        case QEvent::MouseMove:
            Track(static_cast<QMouseEvent*>(event));
            return true;
        case QEvent::MouseButtonRelease:
            return true;
        default:
            break;
        }
    } else if (watched == view_ && event->type() == QEvent::KeyPress) {
        return Key(static_cast<QKeyEvent*>(event));
    }
    return QFrame::eventFilter(watched, event);
}

void TFormatPopupList::RowPress(const QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QPoint pos = ViewportPos(event);
    const QModelIndex index = view_->indexAt(pos);
    emit RowPressed(index.isValid() ? index.row() : -1, pos.x());
}

void TFormatPopupList::RowDoubleClick(const QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // The second press of a double click is a press too, then the double click itself. The row
    // is taken first: a press may rebuild the rows, and the view lays them out again later.
    const QModelIndex index = view_->indexAt(ViewportPos(event));
    RowPress(event);
    if (index.isValid() && isVisible()) {
        emit RowDoubleClicked(index.row());
    }
}

void TFormatPopupList::Track(const QMouseEvent* event) {
    const QModelIndex index = view_->indexAt(ViewportPos(event));
    if (index.isValid()) {
        SelectRow(index.row());
    }
}

bool TFormatPopupList::Key(const QKeyEvent* event) {
    const int selected = rows_.Selected();
    const int last = rows_.RowCount() - 1;
    const int page = std::max(1, view_->viewport()->height() / kFormatRowHeight - 1);
    const bool category = selected >= 0 && rows_.Rows()[selected].Info.IsCategory != 0;
    switch (event->key()) {
    case Qt::Key_Down:
        if (event->modifiers() & Qt::AltModifier) {
            hide();
        } else {
            SelectRow(std::min(last, selected + 1));
        }
        return true;
    case Qt::Key_Up:
        if (event->modifiers() & Qt::AltModifier) {
            hide();
        } else {
            SelectRow(std::max(0, selected - 1));
        }
        return true;
    case Qt::Key_Home:
        SelectRow(0);
        return true;
    case Qt::Key_End:
        SelectRow(last);
        return true;
    case Qt::Key_PageDown:
        SelectRow(std::min(last, selected + page));
        return true;
    case Qt::Key_PageUp:
        SelectRow(std::max(0, selected - page));
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (selected >= 0) {
            emit RowActivated(selected);
        }
        return true;
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
        return true;
    case Qt::Key_Right:
        if (category && rows_.Rows()[selected].Info.Collapsed) {
            emit ToggleRequested(selected);
        }
        return true;
    case Qt::Key_Escape:
    case Qt::Key_F4:
        hide();
        return true;
    default:
        return false;
    }
}

} // namespace quovo
