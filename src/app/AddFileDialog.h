// The open-file dialog of "&Add": media files by kind, several at once, only files that exist.
#pragma once

#include <QStringList>

class QWidget;

namespace quovo {

// The dialog's filters in Qt's "description (patterns)" form, the supported kinds first.
QStringList AddFileFilters();

// Shows the dialog in `folder`; the chosen files, none when cancelled.
QStringList ChooseMediaFiles(QWidget* parent, const QString& folder);

} // namespace quovo
