#include "TfrmTrim.h"

#include "DialogButtons.h"
#include "TVideoWidget.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quovo {

namespace {

QLineEdit* TimeField(const char* name, const QString& label, QWidget* parent) {
    auto* field = new QLineEdit("00:00:00", parent);
    field->setObjectName(name);
    field->setReadOnly(true);
    field->setAccessibleName(label);
    return field;
}

} // namespace

TfrmTrim::TfrmTrim(QWidget* parent) : TOnePageDialog("frmTrim", "Trim", "Source Name:", parent) {
    QWidget* page = Page();
    auto* grid = new QGridLayout(page);
    edtStart = TimeField("edtStart", "Set Start Time:", page);
    edtEnd = TimeField("edtEnd", "Set End Time:", page);
    edtTrimLength = TimeField("edtTrimLength", "Trim Length:", page);
    QPalette light = edtTrimLength->palette();
    light.setColor(QPalette::Base, QColor(246, 247, 248));
    light.setColor(QPalette::Text, Qt::black);
    edtTrimLength->setPalette(light);
    btnOk1 = MakeButton("&Ok", "btnOk1", page);
    btnOk1->setAccessibleName("Set Start Time");
    btnOk2 = MakeButton("&Ok", "btnOk2", page);
    btnOk2->setAccessibleName("Set End Time");
    btnReset = MakeButton("&Reset", "btnReset", page);
    int row = 0;
    const auto addRow = [&](const char* label, QLineEdit* field, QPushButton* button) {
        auto* caption = new QLabel(label, page);
        caption->setBuddy(field);
        grid->addWidget(caption, row, 0);
        grid->addWidget(new QLabel("(HH:MM:SS)", page), row, 1, Qt::AlignRight);
        grid->addWidget(field, row + 1, 0, 1, button != nullptr ? 1 : 2);
        if (button != nullptr) {
            button->setMaximumWidth(48);
            grid->addWidget(button, row + 1, 1, Qt::AlignRight);
        }
        row += 2;
    };
    addRow("Set Start Time:", edtStart, btnOk1);
    addRow("Set End Time:", edtEnd, btnOk2);
    addRow("Trim Length:", edtTrimLength, nullptr);
    grid->addWidget(btnReset, row, 1);
    grid->setRowStretch(row + 1, 1);

    QVBoxLayout* right = Right();
    pnlPreview = new TVideoWidget(this);
    pnlPreview->setObjectName("pnlPreview");
    pnlPreview->setFixedSize(372, 260);
    pnlPreview->setAccessibleName("Preview");
    right->addWidget(pnlPreview);
    preview_ = std::make_unique<TDialogPreview>(TPreviewTexts::PlayTime, pnlPreview, this);
    right->addWidget(preview_->trcPreview);
    auto* controls = new QHBoxLayout;
    controls->addWidget(preview_->imgbtnPlay);
    controls->addWidget(preview_->imgbtnPause);
    controls->addStretch();
    controls->addWidget(preview_->lblPTS);
    controls->addSpacing(12);
    controls->addWidget(preview_->lblLength);
    right->addLayout(controls);
    right->addStretch();

    LayOut();

    connect(btnOk1, &QPushButton::clicked, this, &TfrmTrim::btnOk1Click);
    connect(btnOk2, &QPushButton::clicked, this, &TfrmTrim::btnOk2Click);
    connect(btnReset, &QPushButton::clicked, this, &TfrmTrim::btnResetClick);
    connect(preview_.get(), &TDialogPreview::FileOpened, this,
            [this](int64_t duration) { FileOpened(duration); });
    connect(preview_.get(), &TDialogPreview::Ended, this, [this] {
        preview_->lblPTS->setText("00:00:00");
        preview_->lblLength->setText("00:00:00");
    });
}

TfrmTrim::~TfrmTrim() {
    preview_->Close();
}

void TfrmTrim::SetRow(TlvFilesRecord& record, std::string previewUrl, std::string sourceName) {
    record_ = &record;
    previewUrl_ = std::move(previewUrl);
    sourceName_ = std::move(sourceName);
    cellText_.clear();
}

void TfrmTrim::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TfrmTrim::FormShow() {
    lblSourceName->clear();
    preview_->lblPTS->clear();
    preview_->lblLength->clear();
    if (record_ == nullptr || !preview_->Open(previewUrl_)) {
        return; // no preview, no reset values
    }
    lblSourceName->setText(ShortSourceName(QString::fromStdString(sourceName_)));
    model_.LoadRecord(record_->TrimStart, record_->TrimLength);
    edtStart->setText(FormatPlayTime(model_.Start()));
    edtEnd->setText(FormatPlayTime(model_.End()));
    edtTrimLength->setText(FormatPlayTime(model_.End() - model_.Start()));
    ShowMarks();
}

void TfrmTrim::FileOpened(int64_t duration) {
    model_.FileOpened(duration);
    for (QLineEdit* field : {edtStart, edtEnd, edtTrimLength}) {
        field->setText("00:00:00");
    }
}

void TfrmTrim::ShowMarks() {
    const int maximum = preview_->trcPreview->maximum();
    preview_->trcPreview->SetSelection(
        static_cast<int>(model_.MarkPosition(model_.Start(), maximum)),
        static_cast<int>(model_.MarkPosition(model_.End(), maximum)));
}

void TfrmTrim::btnOk1Click() {
    const int64_t position = preview_->Player().Position();
    if (model_.MarkStart(position)) {
        edtStart->setText(FormatPlayTime(position));
        ShowMarks();
    }
}

void TfrmTrim::btnOk2Click() {
    const int64_t position = preview_->Player().Position();
    if (model_.MarkEnd(position)) {
        edtEnd->setText(FormatPlayTime(position));
        if (model_.End() > model_.Start()) {
            edtTrimLength->setText(FormatPlayTime(model_.End() - model_.Start()));
        }
        ShowMarks();
    }
}

void TfrmTrim::btnResetClick() {
    model_.Reset();
    edtStart->setText("00:00:00");
    edtEnd->setText(FormatPlayTime(model_.Duration()));
    edtTrimLength->setText(FormatPlayTime(model_.Duration()));
    ShowMarks();
}

void TfrmTrim::btnOkClick() {
    if (record_ != nullptr) {
        const TTrimResult r = model_.Ok();
        record_->TrimStart = r.TrimStart;
        record_->TrimLength = r.TrimLength;
        cellText_ = r.Cell;
    }
    FormCloseQuery();
    accept();
}

void TfrmTrim::btnCancelClick() {
    FormCloseQuery();
    reject();
}

void TfrmTrim::FormCloseQuery() {
    preview_->Player().Stop(true);
}

} // namespace quovo
