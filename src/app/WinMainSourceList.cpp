// The main window's source list commands: the Edit menu's check commands, the list's pop-up menu
// and their enabling, removing and clearing rows.
#include "WinMain.h"

#include "TDVDMainParts.h"
#include "TMainWindowRun.h"
#include "TPreviewPanel.h"
#include "TSourceListView.h"
#include "TfrmFileInfo.h"

#include <QMenu>
#include <QToolButton>

#include <string_view>

namespace quovo {

namespace {

// Edit menu and pop-up entries that need a selected row.
constexpr const char* kRowCommands[] = {
    "Crop1",  "Trim1",    "VideoEffect1", "CheckAll1", "UncheckAll1",  "ReverseCheck1",
    "Check1", "Uncheck1", "Crop2",        "Trim2",     "VideoEffect2", "Infomation1"};

// The commands that change the list or start a run, which a run holds back: menu entries, tool
// buttons (some hidden), the pop-up's entries (Remove2 is also the Delete key) and the start
// button beside the output folder.
struct THeldCommand {
    const char* Name;
    bool TRunControls::*Allowed;
    bool NeedsRow = false;
};
constexpr THeldCommand kHeldCommands[] = {
    {"Add1", &TRunControls::Add},           {"btnAdd", &TRunControls::Add},
    {"AddDVD1", &TRunControls::Add},        {"BtnAddDVD", &TRunControls::Add},
    {"Add2", &TRunControls::Add},           {"Remove1", &TRunControls::Remove},
    {"btnRemove", &TRunControls::Remove},   {"Remove2", &TRunControls::Remove, true},
    {"Clear1", &TRunControls::Clear},       {"btnClear", &TRunControls::Clear},
    {"Clear2", &TRunControls::Clear, true}, {"Start1", &TRunControls::Start},
    {"btnStart", &TRunControls::Start},     {"btnStart2", &TRunControls::Start},
    {"Start2", &TRunControls::Start, true},
};

} // namespace

void TfrmMain::BuildFilesPopup() {
    pmFilesPopup_ = new QMenu(this);
    pmFilesPopup_->setObjectName("pmFilesPopup");
    auto entry = [this](const char* name, const QString& text) {
        QAction* action = pmFilesPopup_->addAction(text);
        action->setObjectName(name);
        return action;
    };
    // The editing entries do what the Edit menu's do.
    for (auto [name, twin, text] :
         {std::tuple{"Crop2", "Crop1", "&Crop"},
          {"Trim2", "Trim1", "&Trim"},
          {"VideoEffect2", "VideoEffect1", "&Video Effect && Water Mark"}}) {
        QAction* edit = findChild<QAction*>(twin);
        connect(entry(name, text), &QAction::triggered, edit, &QAction::trigger);
    }
    pmFilesPopup_->addSeparator();
    connect(entry("Add2", "Add"), &QAction::triggered, this, &TfrmMain::OpenAddDvdMenu);
    QAction* remove = entry("Remove2", "Remove");
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    lvFiles_->addAction(remove);
    connect(remove, &QAction::triggered, this, &TfrmMain::btnRemoveClick);
    connect(entry("Clear2", "Clear"), &QAction::triggered, this, &TfrmMain::btnClearClick);
    QAction* start = findChild<QAction*>("Start1");
    connect(entry("Start2", "Start"), &QAction::triggered, start, &QAction::trigger);
    pmFilesPopup_->addSeparator();
    // Shown, unlike the old window's hidden entry: it is the only way to the information dialog.
    connect(entry("Infomation1", "Video Infomation"), &QAction::triggered, this,
            &TfrmMain::Infomation1Click);
    connect(pmFilesPopup_, &QMenu::aboutToShow, this, &TfrmMain::UpdateListCommands);

    lvFiles_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvFiles_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        pmFilesPopup_->popup(lvFiles_->viewport()->mapToGlobal(at));
    });
}

void TfrmMain::ConnectListCommands() {
    auto action = [this](const char* name) { return findChild<QAction*>(name); };
    fileAdder_ = new TFileAdder(
        sourceList_, settings_, formatFile_, dialogs_, [this] { return CurrentFormatCode(); },
        this);
    connect(fileAdder_, &TFileAdder::Finished, this, &TfrmMain::FilesAdded);
    connect(lvFiles_, &TSourceListView::PathsDropped, this, &TfrmMain::AddFiles);
    connect(action("Add1"), &QAction::triggered, this, &TfrmMain::btnAddClick);
    connect(findChild<QToolButton*>("btnAdd"), &QToolButton::clicked, this, &TfrmMain::btnAddClick);
    connect(action("Remove1"), &QAction::triggered, this, &TfrmMain::btnRemoveClick);
    connect(action("Clear1"), &QAction::triggered, this, &TfrmMain::btnClearClick);
    connect(findChild<QToolButton*>("btnRemove"), &QToolButton::clicked, this,
            &TfrmMain::btnRemoveClick);
    connect(findChild<QToolButton*>("btnClear"), &QToolButton::clicked, this,
            &TfrmMain::btnClearClick);
    auto* edit = findChild<QToolButton*>("BtnEdit");
    connect(edit, &QToolButton::clicked, this,
            [this, edit] { pmFilesPopup_->popup(edit->mapToGlobal(QPoint(0, edit->height()))); });

    connect(action("CheckAll1"), &QAction::triggered, this, [this] { sourceList_.CheckAll(); });
    connect(action("UncheckAll1"), &QAction::triggered, this, [this] { sourceList_.UncheckAll(); });
    connect(action("ReverseCheck1"), &QAction::triggered, this,
            [this] { sourceList_.ReverseCheck(); });
    connect(action("Check1"), &QAction::triggered, this,
            [this] { sourceList_.SetChecked(SelectedRow(), true); });
    connect(action("Uncheck1"), &QAction::triggered, this,
            [this] { sourceList_.SetChecked(SelectedRow(), false); });

    connect(findChild<QMenu*>("Edit1"), &QMenu::aboutToShow, this, &TfrmMain::UpdateListCommands);
    // Kept current between openings too, so the Delete key and the pop-up's editing entries
    // follow the selection.
    connect(lvFiles_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmMain::UpdateListCommands);
    connect(&sourceList_, &QAbstractItemModel::rowsRemoved, this, &TfrmMain::UpdateListCommands);
    connect(&sourceList_, &QAbstractItemModel::modelReset, this, &TfrmMain::UpdateListCommands);
    UpdateListCommands();
}

void TfrmMain::UpdateListCommands() {
    const bool selected = SelectedRow() >= 0;
    for (const char* name : kRowCommands) {
        findChild<QAction*>(name)->setEnabled(selected);
    }
    // Before the run exists (while the window is built) nothing is held.
    const TRunControls run = run_ ? run_->Run().Controls() : TRunControls{};
    for (const THeldCommand& command : kHeldCommands) {
        const std::string_view name = command.Name;
        bool enabled = run.*command.Allowed && (selected || !command.NeedsRow);
        // The disc entries exist once the DVD import is attached.
        enabled = enabled && (dvd_ != nullptr || name.find("DVD") == name.npos);
        if (auto* action = findChild<QAction*>(command.Name)) {
            action->setEnabled(enabled);
        } else if (auto* widget = findChild<QWidget*>(command.Name)) {
            widget->setEnabled(enabled);
        }
    }
}

void TfrmMain::Infomation1Click() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    if (fileInfo_ == nullptr) {
        fileInfo_ = new TfrmFileInfo(this);
    }
    const TlvFilesRecord& record = sourceList_.Record(row);
    if (record.Kind == TRowKind::Title) {
        // A title row shows the facts of its input as a run reads it.
        const TFileInfoTitle title{sourceList_.Caption(row),
                                   static_cast<int64_t>(record.Title.Duration * 1e6)};
        fileInfo_->Execute(dvd_->TitleInputName(record), &title);
        return;
    }
    fileInfo_->Execute(record.SourceName);
}

void TfrmMain::OpenAddDvdMenu() {
    dvd_->BtnAddDVDClick();
}

void TfrmMain::btnRemoveClick() {
    const int at = SelectedRow();
    if (at < 0) {
        return;
    }
    sourceList_.RemoveRow(at);
    if (sourceList_.Count() == 0) {
        preview_->imgbtnStopClick();
    } else {
        SelectRow(std::min(at, sourceList_.Count() - 1));
    }
}

void TfrmMain::btnClearClick() {
    if (sourceList_.Count() == 0) {
        return;
    }
    fileAdder_->Cancel();
    converter_.ClearTasks();
    sourceList_.Clear();
    preview_->imgbtnStopClick();
}

} // namespace quovo
