// The About box: the program's name and version and the licences of the libraries it links.
#pragma once

#include <QDialog>
#include <QString>

namespace quovo {

// The box's text (rich text), with the versions of the libraries the program runs on.
QString AboutText(const QString& versionText);

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    TAboutBox(const QString& versionText, QWidget* parent = nullptr);
};

} // namespace quovo
