#include "TSourceListModel.h"

#include <QFileInfo>

namespace quovo {

const std::vector<TColumn>& Columns(TColumnLayout layout) {
    static const std::vector<TColumn> file = {{"Source", 140, nullptr},
                                              {"Length", 65, "0:00:00"},
                                              {"Trimmed Length", 90, "0:00:00"},
                                              {"Destination File", 120, nullptr},
                                              {"Progress", 60, "100%"}};
    static const std::vector<TColumn> title = {
        {"Source", 120, "DVD Title 99"},    {"Duration", 70, "   0:00:00"},
        {"Trim Length", 70, "   0:00:00"},  {"Frame Size", 70, "   720 x 576"},
        {"Video Format", 100, "   MPEG-2"}, {"Progress", 55, "100%"}};
    return layout == TColumnLayout::File ? file : title;
}

QString FormatSeconds(int64_t seconds) {
    if (seconds < 0) {
        seconds = 0;
    }
    return QString("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QChar('0'))
        .arg(seconds % 60, 2, 10, QChar('0'));
}

TSourceListModel::TSourceListModel(QObject* parent) : QAbstractTableModel(parent) {}

TSourceListModel::~TSourceListModel() = default;

int TSourceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int TSourceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Columns(layout_).size());
}

QVariant TSourceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) {
        return {};
    }
    const TRow& row = rows_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return index.column() < row.cells.size() ? row.cells[index.column()] : QString();
    case Qt::AccessibleTextRole: {
        // A screen reader names the column with the value, and says when a cell is empty.
        const QString text = index.column() < row.cells.size() ? row.cells[index.column()] : "";
        return QString("%1: %2").arg(Columns(layout_)[index.column()].Caption,
                                     text.isEmpty() ? QString("none") : text);
    }
    case Qt::CheckStateRole:
        if (index.column() == 0) {
            return row.checked ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    default:
        return {};
    }
}

bool TSourceListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole) {
        return false;
    }
    SetChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags TSourceListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::ItemIsDropEnabled;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

QVariant TSourceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString(Columns(layout_)[section].Caption);
    }
    return {};
}

void TSourceListModel::SetLayout(TColumnLayout layout) {
    beginResetModel();
    layout_ = layout;
    endResetModel();
}

int TSourceListModel::AddRow(std::unique_ptr<TlvFilesRecord> record, const QStringList& cells) {
    if (rows_.empty()) {
        SetLayout(record->Kind == TRowKind::File ? TColumnLayout::File : TColumnLayout::Title);
    }
    const int row = Count();
    beginInsertRows({}, row, row);
    TRow added;
    added.cells = cells;
    while (added.cells.size() < columnCount()) {
        added.cells << QString();
    }
    added.record = std::move(record);
    rows_.push_back(std::move(added));
    endInsertRows();
    return row;
}

int TSourceListModel::AddFileRow(std::unique_ptr<TlvFilesRecord> record) {
    const QString length = FormatSeconds(record->DurationSeconds);
    const QStringList cells = {QString::fromStdString(record->SourceName), length, length,
                               QFileInfo(QString::fromStdString(record->OutputName)).fileName(),
                               QString()};
    return AddRow(std::move(record), cells);
}

void TSourceListModel::RemoveRow(int row) {
    if (row < 0 || row >= Count()) {
        return;
    }
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

void TSourceListModel::Clear() {
    if (rows_.empty()) {
        return;
    }
    beginResetModel();
    rows_.clear();
    endResetModel();
}

QString TSourceListModel::Cell(int row, int column) const {
    const QStringList& cells = rows_.at(row).cells;
    return column >= 0 && column < cells.size() ? cells[column] : QString();
}

void TSourceListModel::SetCell(int row, int column, const QString& text) {
    if (row < 0 || row >= Count() || column < 0 || column >= columnCount()) {
        return;
    }
    QStringList& cells = rows_[row].cells;
    if (cells[column] == text) {
        return;
    }
    cells[column] = text;
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at, {Qt::DisplayRole, Qt::AccessibleTextRole});
}

bool TSourceListModel::HasCaption(const QString& caption) const {
    for (const TRow& row : rows_) {
        if (row.cells.value(0) == caption) {
            return true;
        }
    }
    return false;
}

void TSourceListModel::SetChecked(int row, bool checked) {
    if (row < 0 || row >= Count() || rows_[row].checked == checked) {
        return;
    }
    rows_[row].checked = checked;
    ChangedChecks(row, row);
}

void TSourceListModel::CheckAll() {
    for (TRow& row : rows_) {
        row.checked = true;
    }
    ChangedChecks(0, Count() - 1);
}

void TSourceListModel::UncheckAll() {
    for (TRow& row : rows_) {
        row.checked = false;
    }
    ChangedChecks(0, Count() - 1);
}

void TSourceListModel::ReverseCheck() {
    for (TRow& row : rows_) {
        row.checked = !row.checked;
    }
    ChangedChecks(0, Count() - 1);
}

std::vector<int> TSourceListModel::CheckedRows() const {
    std::vector<int> checked;
    for (int i = 0; i < Count(); ++i) {
        if (rows_[i].checked) {
            checked.push_back(i);
        }
    }
    return checked;
}

void TSourceListModel::ChangedChecks(int first, int last) {
    if (first <= last) {
        emit dataChanged(index(first, 0), index(last, 0), {Qt::CheckStateRole});
    }
}

} // namespace quovo
