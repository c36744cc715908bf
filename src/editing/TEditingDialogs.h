// How the main window opens the editing dialogs for the selected row: the trim dialog is made
// once and kept, the crop and effects dialogs anew for every opening (the previous one freed).
// Each runs modally and writes the row's record only at OK.
#pragma once

#include "TfrmCrop.h"
#include "TfrmTrim.h"
#include "TfrmWaterMark.h"

#include <memory>
#include <string>

namespace quovo {

// What a row's preview plays: a file row's source file. Title rows play their "opendvd:" name,
// which the disc import gives the record's owner; empty here means nothing to play.
std::string PreviewUrlOf(const TlvFilesRecord& record);

// The open-file dialog for a watermark picture: bitmaps, and PNG and JPEG pictures.
QString ChooseWatermarkImage(QWidget* parent);

class TEditingDialogs {
public:
    explicit TEditingDialogs(QWidget* owner) : owner_(owner) {}

    // Trim: true at OK; `cell` then holds the row's new trimmed-length text (empty: keep it).
    bool Trim(TlvFilesRecord& record, const std::string& url, std::string& cell);
    bool Crop(TlvFilesRecord& record, const std::string& url);
    bool WaterMark(TlvFilesRecord& record, const std::string& url);

    // The dialog on screen, for robots and tests (null when none).
    QDialog* Current() const { return current_; }

private:
    QWidget* owner_;
    std::unique_ptr<TfrmTrim> trim_;
    std::unique_ptr<TfrmCrop> crop_;
    std::unique_ptr<TfrmWaterMark> waterMark_;
    QDialog* current_ = nullptr;
};

} // namespace quovo
