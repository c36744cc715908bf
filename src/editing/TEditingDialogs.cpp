#include "TEditingDialogs.h"

#include <QFileDialog>

namespace quovo {

std::string PreviewUrlOf(const TlvFilesRecord& record) {
    return record.Kind == TRowKind::File ? record.SourceName : std::string();
}

QString ChooseWatermarkImage(QWidget* parent) {
    return QFileDialog::getOpenFileName(
        parent, QString(), QString(),
        "Pictures (*.bmp *.png *.jpg *.jpeg);;Bitmap files (*.bmp);;PNG files (*.png);;JPEG "
        "files (*.jpg *.jpeg)");
}

namespace {

// Runs `dialog` modally, remembering it as the current one meanwhile.
bool Run(QDialog& dialog, QDialog*& current) {
    current = &dialog;
    const bool ok = dialog.exec() == QDialog::Accepted;
    current = nullptr;
    return ok;
}

} // namespace

bool TEditingDialogs::Trim(TlvFilesRecord& record, const std::string& url, std::string& cell) {
    if (!trim_) {
        trim_ = std::make_unique<TfrmTrim>(owner_);
    }
    trim_->SetRow(record, url, record.SourceName);
    const bool ok = Run(*trim_, current_);
    cell = ok ? trim_->CellText() : std::string();
    return ok;
}

bool TEditingDialogs::Crop(TlvFilesRecord& record, const std::string& url) {
    crop_.reset();
    crop_ = std::make_unique<TfrmCrop>(record, url, record.SourceName, owner_);
    return Run(*crop_, current_);
}

bool TEditingDialogs::WaterMark(TlvFilesRecord& record, const std::string& url) {
    waterMark_.reset();
    waterMark_ = std::make_unique<TfrmWaterMark>(record, url, record.SourceName,
                                                 &ChooseWatermarkImage, owner_);
    return Run(*waterMark_, current_);
}

} // namespace quovo
