#include "TAddDVDMenu.h"

#include "DVDDrives.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace quovo {

TAddDVDMenu::TAddDVDMenu(QWidget* parent) : QMenu(parent) {
    setObjectName("pmAddDVD");
    drives_ = addMenu("Add DVD Driver");
    drives_->setObjectName("AddDVDDriver1");
    QAction* folder = addAction("DVD Folder…");
    folder->setObjectName("DVDFolder1");
    QAction* image = addAction("DVD Image…");
    image->setObjectName("DVDImage1");
    // Importing from IFO files is not offered; the entry is kept, hidden, for its place.
    QAction* ifo = addAction("Add IFO Files");
    ifo->setObjectName("AddIFOFiles1");
    ifo->setVisible(false);
    connect(folder, &QAction::triggered, this, &TAddDVDMenu::DVDFolderClick);
    connect(image, &QAction::triggered, this, &TAddDVDMenu::DVDImageClick);
    connect(this, &QMenu::aboutToShow, this, &TAddDVDMenu::FillDrives);

    folderChooser_ = [this](const QString& start) {
        return QFileDialog::getExistingDirectory(parentWidget(), "DVD Folder", start);
    };
    imageChooser_ = [this](const QString& start) {
        return QFileDialog::getOpenFileName(parentWidget(), "DVD Image", start,
                                            "DVD Images (*.iso *.ISO);;All files (*)");
    };
}

void TAddDVDMenu::FillDrives() {
    drives_->clear();
    for (const TOpticalDrive& drive :
         ListOpticalDrives(driveFolders_.sysBlock.toStdString(), driveFolders_.dev.toStdString())) {
        QAction* entry = drives_->addAction(QString::fromStdString(drive.Caption()));
        const QString device = QString::fromStdString(drive.device);
        entry->setData(device);
        connect(entry, &QAction::triggered, this, [this, device] { emit ImportRequested(device); });
    }
    drives_->setEnabled(!drives_->isEmpty());
}

QString TAddDVDMenu::StartFolder() const {
    if (lastPath_.isEmpty() || lastPath_.startsWith("/dev/")) {
        return QDir::homePath();
    }
    // The folder holding the last disc, so a neighbouring one is a click away.
    return QFileInfo(lastPath_).absolutePath();
}

void TAddDVDMenu::DVDFolderClick() {
    const QString chosen = folderChooser_ ? folderChooser_(StartFolder()) : QString();
    if (!chosen.isEmpty()) {
        emit ImportRequested(chosen);
    }
}

void TAddDVDMenu::DVDImageClick() {
    const QString chosen = imageChooser_ ? imageChooser_(StartFolder()) : QString();
    if (!chosen.isEmpty()) {
        emit ImportRequested(chosen);
    }
}

} // namespace quovo
