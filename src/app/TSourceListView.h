// The main window's source list (lvFiles): a table view over the rows of TSourceListModel with
// single-row selection. The window owns the model; the view only shows it and reports clicks.
#pragma once

#include <QTreeView>

namespace quovo {

class TSourceListModel;

class TSourceListView : public QTreeView {
    Q_OBJECT
public:
    explicit TSourceListView(TSourceListModel& model, QWidget* parent = nullptr);

    // The selected row, -1 when none.
    int SelectedRow() const;
    // Selects and focuses `row`; a row outside the list clears the selection.
    void SelectRow(int row);

signals:
    // Local files or folders were dropped on the list.
    void PathsDropped(const QStringList& paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The header takes the widths of the layout the model shows.
    void ApplyColumnWidths();

    TSourceListModel& model_;
};

} // namespace quovo
