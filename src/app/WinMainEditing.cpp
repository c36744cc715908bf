// The Edit menu's editing entries (the pop-up menu's trigger them): the trim, crop and effects
// dialogs for the selected row, with the main preview stopped first, since one player at a time
// may have a title open.
#include "WinMain.h"

#include "TDVDMainParts.h"
#include "TEditingDialogs.h"
#include "TPreviewPanel.h"

#include <QAction>

namespace quovo {

namespace {

// The list's third cell: "Trimmed Length" of a file row, "Trim Length" of a title row.
constexpr int kTrimmedLengthColumn = 2;

} // namespace

void TfrmMain::ConnectEditingCommands() {
    editing_ = std::make_unique<TEditingDialogs>(this);
    connect(findChild<QAction*>("Crop1"), &QAction::triggered, this, &TfrmMain::Crop1Click);
    connect(findChild<QAction*>("Trim1"), &QAction::triggered, this, &TfrmMain::Trim1Click);
    connect(findChild<QAction*>("VideoEffect1"), &QAction::triggered, this,
            &TfrmMain::VideoEffect1Click);
}

std::string TfrmMain::RowPreviewName(int row, bool discDefaults) {
    const TlvFilesRecord& record = sourceList_.Record(row);
    if (record.Kind == TRowKind::Title) {
        return dvd_ ? dvd_->PreviewName(record, discDefaults) : std::string();
    }
    return PreviewUrlOf(record);
}

int TfrmMain::RowToEdit() {
    const int row = SelectedRow();
    if (row >= 0) {
        preview_->imgbtnStopClick();
    }
    return row;
}

void TfrmMain::Crop1Click() {
    if (const int row = RowToEdit(); row >= 0) {
        editing_->Crop(sourceList_.Record(row), RowPreviewName(row, false));
    }
}

void TfrmMain::Trim1Click() {
    const int row = RowToEdit();
    if (row < 0) {
        return;
    }
    std::string cell;
    if (editing_->Trim(sourceList_.Record(row), RowPreviewName(row, false), cell) &&
        !cell.empty()) {
        sourceList_.SetCell(row, kTrimmedLengthColumn, QString::fromStdString(cell));
    }
}

void TfrmMain::VideoEffect1Click() {
    if (const int row = RowToEdit(); row >= 0) {
        editing_->WaterMark(sourceList_.Record(row), RowPreviewName(row, false));
    }
}

} // namespace quovo
