// The trim dialog: the part of a source to convert, picked with a start and an end mark while
// the source plays in the dialog's own player. Created once and reused: each opening reads the
// row's record, OK writes its trim and gives the text of the row's trimmed-length cell.
#pragma once

#include "TDialogPreview.h"
#include "TOnePageDialog.h"
#include "TTrimModel.h"
#include "TlvFilesRecord.h"

#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quovo {

class TVideoWidget;

class TfrmTrim : public TOnePageDialog {
    Q_OBJECT
public:
    explicit TfrmTrim(QWidget* parent = nullptr);
    ~TfrmTrim() override;

    // Prepares an opening for `record` (its trim is written at OK), playing `previewUrl`.
    void SetRow(TlvFilesRecord& record, std::string previewUrl, std::string sourceName);
    // The row's new trimmed-length text after OK; empty when the row's text stays.
    const std::string& CellText() const { return cellText_; }

    TDialogPreview& Preview() { return *preview_; }
    const TTrimModel& Model() const { return model_; }

    void btnOk1Click();
    void btnOk2Click();
    void btnResetClick() override;
    void btnOkClick() override;
    void btnCancelClick() override;

    QLineEdit* edtStart = nullptr;
    QLineEdit* edtEnd = nullptr;
    QLineEdit* edtTrimLength = nullptr;
    QPushButton* btnOk1 = nullptr;
    QPushButton* btnOk2 = nullptr;
    QPushButton* btnReset = nullptr;
    TVideoWidget* pnlPreview = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void FormCloseQuery() override;

private:
    void FormShow();
    void FileOpened(int64_t duration);
    void ShowMarks();

    TlvFilesRecord* record_ = nullptr;
    std::string previewUrl_;
    std::string sourceName_;
    std::string cellText_;
    TTrimModel model_;
    std::unique_ptr<TDialogPreview> preview_;
};

} // namespace quovo
