// The Add DVD menu: "Add DVD Driver" with one entry per optical drive (its device and the volume
// label of the disc in it, read each time the menu opens, so a disc inserted later is listed),
// "DVD Folder…" for a VIDEO_TS folder or the folder holding it, "DVD Image…" for an ISO image,
// and the hidden "Add IFO Files". Every entry ends in ImportRequested with the path to import.
#pragma once

#include <QMenu>

#include <functional>

namespace quovo {

class TAddDVDMenu : public QMenu {
    Q_OBJECT
public:
    // Asks for a folder or an image file, starting at `start`; empty when cancelled.
    using TPathChooser = std::function<QString(const QString& start)>;
    // The system's drive folders (tests give a fake tree).
    struct TDriveFolders {
        QString sysBlock = "/sys/block";
        QString dev = "/dev";
    };

    explicit TAddDVDMenu(QWidget* parent = nullptr);

    void SetFolderChooser(TPathChooser chooser) { folderChooser_ = std::move(chooser); }
    void SetImageChooser(TPathChooser chooser) { imageChooser_ = std::move(chooser); }
    void SetDriveFolders(TDriveFolders folders) { driveFolders_ = std::move(folders); }
    // Where the choosers start: the folder of the last import.
    void SetLastPath(const QString& path) { lastPath_ = path; }

    QMenu* DriveMenu() const { return drives_; }
    // Refills "Add DVD Driver" from the drives present now.
    void FillDrives();

    void DVDFolderClick();
    void DVDImageClick();

signals:
    void ImportRequested(const QString& path);

private:
    QString StartFolder() const;

    QMenu* drives_;
    TPathChooser folderChooser_;
    TPathChooser imageChooser_;
    TDriveFolders driveFolders_;
    QString lastPath_;
};

} // namespace quovo
