#include "TfmDirectory.h"

#include "DialogButtons.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quovo {

const char* const kOpticalFolderMessage =
    "Output folder cannot be located in CD-ROM.Please select another folder.";

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLoadedRole = Qt::UserRole + 1;

QTreeWidgetItem* FolderItem(const QString& text, const QString& path) {
    auto* item = new QTreeWidgetItem(QStringList{text});
    item->setData(0, kPathRole, path);
    item->setToolTip(0, path);
    // Children are read when the folder is first expanded.
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

bool IsUnderFolder(const QString& path, const QString& folder) {
    return path == folder || folder == "/" || path.startsWith(folder + "/");
}

} // namespace

TfmDirectory::TfmDirectory(TDialogService& dialogs, std::string appTitle, const TMountTable& mounts,
                           QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), appTitle_(std::move(appTitle)), mounts_(mounts) {
    setObjectName("fmDirectory");
    setWindowTitle("Brows");
    setFixedSize(322, 351);

    auto* label = new QLabel("Please select an output directory:", this);
    stview_selectdir = new QTreeWidget(this);
    stview_selectdir->setObjectName("stview_selectdir");
    stview_selectdir->setAccessibleName("Please select an output directory:");
    stview_selectdir->setHeaderHidden(true);
    stview_selectdir->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    label->setBuddy(stview_selectdir);
    stview_selectdir->addTopLevelItem(FolderItem("Home", QDir::homePath()));
    stview_selectdir->addTopLevelItem(FolderItem("File System", "/"));
    connect(stview_selectdir, &QTreeWidget::itemExpanded, this, &TfmDirectory::Populate);
    connect(stview_selectdir, &QTreeWidget::currentItemChanged, this, &TfmDirectory::UpdateOk);

    btnOk = MakeButton("Ok", "btnOk", this);
    btnOk->setDefault(true);
    btnCancel = MakeButton("Cancel", "btnCancel", this);
    connect(btnOk, &QPushButton::clicked, this, &TfmDirectory::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfmDirectory::btnCancelClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(stview_selectdir, 1);
    layout->addLayout(buttons);
    UpdateOk();
}

QString TfmDirectory::Choose(const QString& current) {
    path_.clear();
    if (current.isEmpty() || !QFileInfo(current).isDir() || !SelectFolder(current)) {
        SelectFolder(QDir::homePath());
    }
    stview_selectdir->setFocus();
    if (exec() != QDialog::Accepted) {
        path_.clear();
    }
    return path_;
}

void TfmDirectory::Populate(QTreeWidgetItem* item) {
    if (item->data(0, kLoadedRole).toBool()) {
        return;
    }
    item->setData(0, kLoadedRole, true);
    const QDir dir(item->data(0, kPathRole).toString());
    const QFileInfoList folders =
        dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& folder : folders) {
        item->addChild(FolderItem(folder.fileName(), folder.absoluteFilePath()));
    }
    if (folders.isEmpty()) {
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
    }
}

bool TfmDirectory::SelectFolder(const QString& folder) {
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    // The home branch first, as the tree shows it.
    for (int top = 0; top < stview_selectdir->topLevelItemCount(); ++top) {
        QTreeWidgetItem* item = stview_selectdir->topLevelItem(top);
        if (!IsUnderFolder(path, item->data(0, kPathRole).toString())) {
            continue;
        }
        while (item->data(0, kPathRole).toString() != path) {
            Populate(item);
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; i < item->childCount() && next == nullptr; ++i) {
                if (IsUnderFolder(path, item->child(i)->data(0, kPathRole).toString())) {
                    next = item->child(i);
                }
            }
            if (next == nullptr) {
                return false;
            }
            item->setExpanded(true);
            item = next;
        }
        stview_selectdir->setCurrentItem(item);
        stview_selectdir->scrollToItem(item);
        return true;
    }
    return false;
}

void TfmDirectory::UpdateOk() {
    btnOk->setEnabled(stview_selectdir->currentItem() != nullptr);
}

void TfmDirectory::btnOkClick() {
    QTreeWidgetItem* item = stview_selectdir->currentItem();
    if (item == nullptr) {
        return;
    }
    path_ = item->data(0, kPathRole).toString();
    if (IsOnOpticalDisc(path_.toStdString(), mounts_)) {
        path_.clear();
        dialogs_.ShowMessage(appTitle_, kOpticalFolderMessage, TMessageIcon::Information);
        return;
    }
    accept();
}

void TfmDirectory::btnCancelClick() {
    path_.clear();
    reject();
}

} // namespace quovo
