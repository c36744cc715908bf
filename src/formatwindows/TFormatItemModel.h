// The rows of a TFormatListModel as a Qt item model, so a list view can show them and assistive
// technology can read them (each row by its text; categories say whether they are expanded).
#pragma once

#include "TFormatListModel.h"

#include <QAbstractListModel>

#include <utility>

namespace quovo {

class TFormatItemModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { IsCategoryRole = Qt::UserRole + 1, CodeRole, CollapsedRole };

    explicit TFormatItemModel(TFormatListModel& rows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Runs a change of the rows (fill, toggle) and tells the views that everything changed.
    template <typename F> void Change(F&& change) {
        beginResetModel();
        std::forward<F>(change)();
        endResetModel();
    }

private:
    TFormatListModel& rows_;
};

} // namespace quovo
