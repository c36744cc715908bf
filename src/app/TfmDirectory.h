// The folder chooser of the output folder and the snapshot folder: a tree of folders, the home
// folder first and then the whole file system. A folder on a disc in an optical drive is refused
// and the chooser stays open. Created on first use and kept.
#pragma once

#include "TDialogService.h"
#include "TMountTable.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace quovo {

extern const char* const kOpticalFolderMessage;

class TfmDirectory : public QDialog {
    Q_OBJECT
public:
    TfmDirectory(TDialogService& dialogs, std::string appTitle, const TMountTable& mounts,
                 QWidget* parent = nullptr);

    // Shows the chooser modally with the current folder selected (the home folder when it does
    // not exist); the chosen folder, or empty when cancelled.
    QString Choose(const QString& current);
    // Selects the folder in the tree, expanding down to it; false when it is not there.
    bool SelectFolder(const QString& folder);
    const QString& Path() const { return path_; }

    QTreeWidget* stview_selectdir;
    QPushButton* btnOk;
    QPushButton* btnCancel;

private:
    void btnOkClick();
    void btnCancelClick();
    void Populate(QTreeWidgetItem* item);
    void UpdateOk();

    TDialogService& dialogs_;
    std::string appTitle_;
    const TMountTable& mounts_;
    QString path_;
};

} // namespace quovo
