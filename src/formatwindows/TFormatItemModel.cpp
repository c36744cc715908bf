#include "TFormatItemModel.h"

#include <QColor>
#include <QFont>

namespace quovo {

TFormatItemModel::TFormatItemModel(TFormatListModel& rows, QObject* parent)
    : QAbstractListModel(parent), rows_(rows) {}

int TFormatItemModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_.RowCount();
}

QVariant TFormatItemModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.RowCount()) {
        return {};
    }
    const TFormatRow& row = rows_.Rows()[index.row()];
    const bool category = row.Info.IsCategory != 0;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return QString::fromStdString(row.Text);
    case Qt::AccessibleDescriptionRole:
        if (category) {
            return row.Info.Collapsed ? QStringLiteral("category, collapsed")
                                      : QStringLiteral("category, expanded");
        }
        return QStringLiteral("format");
    case Qt::FontRole: {
        QFont font;
        font.setBold(category);
        return font;
    }
    case Qt::ForegroundRole:
        return category ? QColor(Qt::black) : QColor(0, 0, 128);
    case IsCategoryRole:
        return category;
    case CodeRole:
        return row.Info.Code;
    case CollapsedRole:
        return row.Info.Collapsed;
    default:
        return {};
    }
}

} // namespace quovo
