// The rows of the source list: per row a check box, its cells and the record it owns. Rows keep
// the order in which they were added; the list is never sorted.
//
// The model's columns follow one of two layouts, chosen by the kind of the first row added to
// an empty list. Column 0 carries the check box and the caption (for a file row, its path).
#pragma once

#include "TlvFilesRecord.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <memory>
#include <vector>

namespace quovo {

enum class TColumnLayout { File, Title };

struct TColumn {
    const char* Caption;
    int Width;          // pixels, at least
    const char* Widest; // the widest text its cells show, kept whole; nullptr: any length
};

const std::vector<TColumn>& Columns(TColumnLayout layout);

// Whole seconds as hours ":" minutes ":" seconds, minutes and seconds with two digits; negative
// values count as 0 (3725 gives "1:02:05").
QString FormatSeconds(int64_t seconds);

class TSourceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TSourceListModel(QObject* parent = nullptr);
    ~TSourceListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    TColumnLayout Layout() const { return layout_; }
    void SetLayout(TColumnLayout layout);
    int ProgressColumn() const { return columnCount() - 1; }
    // The column of the output's file name, or -1 when the layout has none.
    int DestinationColumn() const { return layout_ == TColumnLayout::File ? 3 : -1; }

    // Appends a checked row; `cells` are the texts of the columns, the first is the caption.
    // A row added to an empty list sets the layout of its kind. Returns its position.
    int AddRow(std::unique_ptr<TlvFilesRecord> record, const QStringList& cells);
    // A file row: caption = source path, both lengths, Destination File = the output's file name.
    int AddFileRow(std::unique_ptr<TlvFilesRecord> record);
    void RemoveRow(int row);
    void Clear();

    int Count() const { return static_cast<int>(rows_.size()); }
    QString Caption(int row) const { return Cell(row, 0); }
    QString Cell(int row, int column) const;
    void SetCell(int row, int column, const QString& text);
    // Exact comparison: paths differing only in case are different rows.
    bool HasCaption(const QString& caption) const;
    TlvFilesRecord& Record(int row) { return *rows_.at(row).record; }
    const TlvFilesRecord& Record(int row) const { return *rows_.at(row).record; }

    bool Checked(int row) const { return rows_.at(row).checked; }
    void SetChecked(int row, bool checked);
    void CheckAll();
    void UncheckAll();
    void ReverseCheck();
    // Positions of the checked rows, top to bottom.
    std::vector<int> CheckedRows() const;

private:
    struct TRow {
        bool checked = true;
        QStringList cells;
        std::unique_ptr<TlvFilesRecord> record;
    };
    void ChangedChecks(int first, int last);

    TColumnLayout layout_ = TColumnLayout::File;
    std::vector<TRow> rows_;
};

} // namespace quovo
