// The main window's adding of files: "&Add", files dropped on the list, files named on the
// command line.
#include "WinMain.h"

#include "AddFileDialog.h"
#include "TDVDImporter.h"
#include "TDVDMainParts.h"
#include "TPreviewPanel.h"
#include "TSourceListView.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quovo {

namespace {

// The folder the open-file dialog starts in, kept in the settings.
constexpr const char* kAddFolderKey = "AddFileFolder";

} // namespace

void TfrmMain::btnAddClick() {
    // Linked in, so this only fails when the versions found at run time do not fit.
    if (!LoadConverterLibraries()) {
        return;
    }
    const QString stored =
        QString::fromStdString(settings_.ReadString("settings", kAddFolderKey, ""));
    const QString folder = !stored.isEmpty() && QFileInfo(stored).isDir()
                               ? stored
                               : QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    const QStringList chosen = fileChooser_ ? fileChooser_(folder) : ChooseMediaFiles(this, folder);
    if (chosen.isEmpty()) {
        return;
    }
    const QString last = QFileInfo(chosen.front()).absolutePath();
    if (last != stored) {
        settings_.WriteString("settings", kAddFolderKey, last.toStdString());
    }
    AddFiles(chosen);
}

void TfrmMain::AddFiles(const QStringList& paths) {
    converter_.ClearTasks();
    QStringList files;
    std::vector<int> positions;
    for (int i = 0; i < paths.size(); ++i) {
        const QFileInfo path(paths[i]);
        if (LooksLikeDisc(path.absoluteFilePath())) {
            AddDiscPath(path.absoluteFilePath());
        } else if (!path.isDir()) {
            files << paths[i];
            positions.push_back(i);
        }
    }
    fileAdder_->Add(files, positions);
}

void TfrmMain::AddDiscPath(const QString& path) {
    dvd_->Importer()->Import(path);
}

void TfrmMain::FilesAdded(int added) {
    if (sourceList_.Count() > 0 && added > 0) {
        SelectRow(0);
    }
    // Play was pressed while the list was empty: it plays now.
    if (preview_->PlayAfterAdd() && sourceList_.Count() > 0) {
        preview_->ClearPlayAfterAdd();
        preview_->imgbtnPlayClick();
    }
}

} // namespace quovo
