// The pop-up list of formats (lst1): a borderless pop-up window over a TFormatListModel. It turns
// mouse and keys into row requests for its owner (TFormatPicker), follows the pointer, and hides
// on a press outside itself. A press on one of the owner's own controls (the format field, the
// drop-down button) only hides it, so those controls work as toggles.
//
// Keys: Up/Down/Home/End/PageUp/PageDown move, Enter or Space takes the row, Left collapses a
// category (or goes to the category of a format row), Right expands, Escape, F4 and Alt+Up hide.
// Assistive technology that selects a row takes it, as a click would.
#pragma once

#include "TFormatItemModel.h"

#include <QFrame>
#include <QListView>
#include <QPointer>

#include <vector>

namespace quovo {

class TFormatPopupList : public QFrame {
    Q_OBJECT
public:
    TFormatPopupList(TFormatItemModel& items, TFormatListModel& rows, QWidget* owner);

    // The list of rows inside the pop-up window.
    QListView* View() const { return view_; }
    // Controls of the owner a press on which hides the list without reaching them.
    void SetToggleControls(std::vector<QWidget*> controls);
    // Shows the model's selected row as selected and current.
    void SyncSelection();

signals:
    // A left-button press on a row at x pixels from the list's left edge (row -1: no row).
    void RowPressed(int row, int x);
    void RowDoubleClicked(int row);
    // Enter on a row, or a row taken by assistive technology.
    void RowActivated(int row);
    // Left or Right on a category row that is expanded or collapsed respectively.
    void ToggleRequested(int row);

protected:
    // Presses outside the pop-up reach the pop-up window itself.
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RowPress(const QMouseEvent* event);
    void RowDoubleClick(const QMouseEvent* event);
    void Track(const QMouseEvent* event);
    bool Key(const QKeyEvent* event);
    void SelectRow(int row);
    void ExternalSelection(const QItemSelection& selected, const QItemSelection& deselected);
    bool OverToggleControl(const QPoint& globalPos) const;
    QPoint ViewportPos(const QMouseEvent* event) const;

    TFormatListModel& rows_;
    QListView* view_;
    std::vector<QPointer<QWidget>> toggleControls_;
    void TakeExternalSelection();

    int lastDeselected_ = -1;
    bool externalPending_ = false;
    bool syncing_ = false;
    bool resetting_ = false;
};

} // namespace quovo
