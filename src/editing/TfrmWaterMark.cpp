#include "TfrmWaterMark.h"

#include "DialogButtons.h"
#include "TVideoWidget.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quovo {

namespace {

QSlider* Bar(int minimum, int maximum, const char* name, const QString& label, QWidget* parent) {
    auto* bar = new QSlider(Qt::Horizontal, parent);
    bar->setObjectName(name);
    bar->setMinimumWidth(60);
    bar->setRange(minimum, maximum);
    bar->setAccessibleName(label);
    return bar;
}

QLineEdit* ReadOnlyEdit(const char* name, const QString& label, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setAccessibleName(label);
    edit->setFixedWidth(40);
    return edit;
}

QCheckBox* Check(const char* caption, const char* name, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setAccessibleName(caption);
    return box;
}

// A labelled bar with its read-only value field and a "%" (or nothing) after it, on a grid row.
void AddBarRow(QGridLayout* grid, int row, const char* label, QSlider* bar, QLineEdit* edit,
               const char* unit, QWidget* parent) {
    auto* caption = new QLabel(label, parent);
    caption->setBuddy(bar);
    grid->addWidget(caption, row, 0);
    grid->addWidget(bar, row, 1);
    grid->addWidget(edit, row, 2);
    grid->addWidget(new QLabel(unit, parent), row, 3);
    QObject::connect(bar, &QSlider::valueChanged, edit,
                     [edit](int v) { edit->setText(QString::number(v)); });
    edit->setText(QString::number(bar->value()));
}

// A bar that sets `value` to trunc(size * percent / 100).
int Place(int size, int percent) {
    return static_cast<int>(static_cast<int64_t>(size) * percent / 100);
}

// A face named by the record: the desktop's face for the default, else as named.
QString ListedFace(const QString& face) {
    return WatermarkFontFace(face);
}

} // namespace

const std::vector<std::pair<QString, QColor>>& WatermarkColours() {
    static const std::vector<std::pair<QString, QColor>> colours = {
        {"Black", QColor(0, 0, 0)},        {"Maroon", QColor(128, 0, 0)},
        {"Green", QColor(0, 128, 0)},      {"Olive", QColor(128, 128, 0)},
        {"Navy", QColor(0, 0, 128)},       {"Purple", QColor(128, 0, 128)},
        {"Teal", QColor(0, 128, 128)},     {"Gray", QColor(128, 128, 128)},
        {"Silver", QColor(192, 192, 192)}, {"Red", QColor(255, 0, 0)},
        {"Lime", QColor(0, 255, 0)},       {"Yellow", QColor(255, 255, 0)},
        {"Blue", QColor(0, 0, 255)},       {"Fuchsia", QColor(255, 0, 255)},
        {"Aqua", QColor(0, 255, 255)},     {"White", QColor(255, 255, 255)},
    };
    return colours;
}

TfrmWaterMark::TfrmWaterMark(TlvFilesRecord& record, std::string previewUrl, std::string sourceName,
                             TImageChooser chooser, QWidget* parent)
    : QDialog(parent), record_(record), previewUrl_(std::move(previewUrl)),
      sourceName_(std::move(sourceName)), chooser_(std::move(chooser)) {
    setObjectName("frmWaterMark");
    setWindowTitle("Water Mark");
    setFixedSize(786, 415);

    pgcWaterMark = new QTabWidget(this);
    pgcWaterMark->setObjectName("pgcWaterMark");
    pgcWaterMark->addTab(MakeTextPage(), "Add Text");
    pgcWaterMark->addTab(MakeImagePage(), "Add Image");
    pgcWaterMark->addTab(MakeEffectPage(), "Effect");
    pgcWaterMark->setCurrentIndex(1);

    auto* previewGroup = new QGroupBox("Source Preview", this);
    previewGroup->setObjectName("grpSourcePreview");
    pnlPreview = new TVideoWidget(previewGroup);
    pnlPreview->setObjectName("pnlPreview");
    pnlPreview->setFixedSize(384, 239);
    pnlPreview->setAccessibleName("Source Preview");
    preview_ = std::make_unique<TDialogPreview>(TPreviewTexts::PlayTime, pnlPreview, previewGroup);
    auto* controls = new QHBoxLayout;
    controls->addWidget(preview_->imgbtnPlay);
    controls->addWidget(preview_->imgbtnPause);
    controls->addWidget(preview_->trcPreview, 1);
    auto* times = new QHBoxLayout;
    times->addWidget(preview_->lblPTS);
    times->addStretch();
    times->addWidget(preview_->lblLength);
    auto* previewLayout = new QVBoxLayout(previewGroup);
    previewLayout->addWidget(pnlPreview, 0, Qt::AlignHCenter);
    previewLayout->addLayout(controls);
    previewLayout->addLayout(times);
    previewLayout->addStretch();

    btnOk = MakeButton("&Ok", "btnOk", this);
    btnOk->setDefault(true);
    btnCancel = MakeButton("&Cancel", "btnCancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);

    auto* top = new QHBoxLayout;
    top->addWidget(pgcWaterMark, 1);
    top->addWidget(previewGroup);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);

    connect(btnOk, &QPushButton::clicked, this, &TfrmWaterMark::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmWaterMark::btnCancelClick);
    connect(preview_.get(), &TDialogPreview::FileOpened, this,
            [this] { preview_->Player().SetHook(true); });
    preview_->Player().SetOnHook([this](TCustomPlayer*, TPicture* picture, int64_t) {
        if (picture != nullptr) {
            FFPlayerHook(*picture);
        }
    });
    Publish();
}

TfrmWaterMark::~TfrmWaterMark() {
    FormCloseQuery();
}

QWidget* TfrmWaterMark::MakeTextPage() {
    auto* page = new QWidget;
    page->setObjectName("tabAddText");
    auto* grid = new QGridLayout(page);
    const auto label = [&](const char* text, QWidget* buddy, int row) {
        auto* l = new QLabel(text, page);
        l->setBuddy(buddy);
        grid->addWidget(l, row, 0);
    };
    cmbFontFace = new QComboBox(page);
    cmbFontFace->setObjectName("cmbFontFace");
    cmbFontFace->setAccessibleName("Font:");
    cmbFontFace->addItems(QFontDatabase::families());
    label("Font:", cmbFontFace, 0);
    grid->addWidget(cmbFontFace, 0, 1, 1, 3);
    cmbFontSize = new QComboBox(page);
    cmbFontSize->setObjectName("cmbFontSize");
    cmbFontSize->setAccessibleName("Font Size:");
    label("Font Size:", cmbFontSize, 1);
    grid->addWidget(cmbFontSize, 1, 1, 1, 3);
    cmbFontColor = new QComboBox(page);
    cmbFontColor->setObjectName("cmbFontColor");
    cmbFontColor->setAccessibleName("Font Color:");
    for (const auto& [name, colour] : WatermarkColours()) {
        QPixmap swatch(16, 12);
        swatch.fill(colour);
        cmbFontColor->addItem(QIcon(swatch), name, colour);
    }
    label("Font Color:", cmbFontColor, 2);
    grid->addWidget(cmbFontColor, 2, 1, 1, 3);
    ckBold = Check("Bold", "ckBold", page);
    ckItalic = Check("Italic", "ckItalic", page);
    ckUnderline = Check("Underline", "ckUnderline", page);
    ckStrikeOut = Check("StrikeOut", "ckStrikeOut", page);
    label("Font Style:", ckBold, 3);
    auto* styles = new QGridLayout;
    styles->addWidget(ckBold, 0, 0);
    styles->addWidget(ckItalic, 0, 1);
    styles->addWidget(ckUnderline, 1, 0);
    styles->addWidget(ckStrikeOut, 1, 1);
    grid->addLayout(styles, 3, 1, 1, 3);
    edtFont = new QLineEdit(page);
    edtFont->setObjectName("edtFont");
    edtFont->setAccessibleName("Text");
    edtFont->setPlaceholderText("Text");
    grid->addWidget(edtFont, 4, 0, 1, 4);
    trcTextHoriz = Bar(0, 100, "trcTextHoriz", "Horizontal Position:", page);
    edtTextHoriz = ReadOnlyEdit("edtTextHoriz", "Horizontal Position:", page);
    AddBarRow(grid, 5, "Horizontal Position:", trcTextHoriz, edtTextHoriz, "%", page);
    trcTextVert = Bar(0, 100, "trcTextVert", "Vertical Position:", page);
    edtTextVert = ReadOnlyEdit("edtTextVert", "Vertical Position:", page);
    AddBarRow(grid, 6, "Vertical Position:", trcTextVert, edtTextVert, "%", page);
    btnClearText = MakeButton("Clear Text", "btnClearText", page);
    grid->addWidget(btnClearText, 7, 3);
    grid->setRowStretch(8, 1);

    connect(edtFont, &QLineEdit::textChanged, this, [this] { edtFontChange(); });
    for (QComboBox* box : {cmbFontFace, cmbFontSize, cmbFontColor}) {
        connect(box, &QComboBox::currentIndexChanged, this, [this] {
            if (!edtFont->text().isEmpty()) {
                edtFontChange();
            }
            Publish();
        });
    }
    for (QCheckBox* box : {ckBold, ckItalic, ckUnderline, ckStrikeOut}) {
        connect(box, &QCheckBox::toggled, this, [this] {
            QFont f = edtFont->font();
            f.setBold(ckBold->isChecked());
            f.setItalic(ckItalic->isChecked());
            f.setUnderline(ckUnderline->isChecked());
            f.setStrikeOut(ckStrikeOut->isChecked());
            edtFont->setFont(f);
            Publish();
        });
    }
    for (QSlider* bar : {trcTextHoriz, trcTextVert}) {
        connect(bar, &QSlider::valueChanged, this, [this] { Publish(); });
    }
    connect(btnClearText, &QPushButton::clicked, this, &TfrmWaterMark::btnClearTextClick);
    return page;
}

QWidget* TfrmWaterMark::MakeImagePage() {
    auto* page = new QWidget;
    page->setObjectName("tabAddImage");
    auto* grid = new QGridLayout(page);
    auto* imageLabel = new QLabel("Image:", page);
    edtAddImage = new QLineEdit(page);
    edtAddImage->setObjectName("edtAddImage");
    edtAddImage->setReadOnly(true);
    edtAddImage->setAccessibleName("Image:");
    imageLabel->setBuddy(edtAddImage);
    btnBrows = MakeButton("&Brows", "btnBrows", page);
    grid->addWidget(imageLabel, 0, 0);
    grid->addWidget(edtAddImage, 0, 1, 1, 2);
    grid->addWidget(btnBrows, 0, 3);
    trcImageHoriz = Bar(0, 100, "trcImageHoriz", "Horizontal Position:", page);
    edtImageHoriz = ReadOnlyEdit("edtImageHoriz", "Horizontal Position:", page);
    AddBarRow(grid, 1, "Horizontal Position:", trcImageHoriz, edtImageHoriz, "%", page);
    trcImageVert = Bar(0, 100, "trcImageVert", "Vertical Position:", page);
    edtImageVert = ReadOnlyEdit("edtImageVert", "Vertical Position:", page);
    AddBarRow(grid, 2, "Vertical Position:", trcImageVert, edtImageVert, "%", page);
    trcImageAlpha = Bar(0, 255, "trcImageAlpha", "Transparence:", page);
    edtImageAlpha = ReadOnlyEdit("edtImageAlpha", "Transparence:", page);
    AddBarRow(grid, 3, "Transparence:", trcImageAlpha, edtImageAlpha, "", page);
    rbTransparent1 = new QRadioButton("Transparent style 1", page);
    rbTransparent1->setObjectName("rbTransparent1");
    rbTransparent1->setAccessibleName("Transparent style 1");
    rbTransparent2 = new QRadioButton("Transparent style 2", page);
    rbTransparent2->setObjectName("rbTransparent2");
    rbTransparent2->setAccessibleName("Transparent style 2");
    rbTransparent1->setChecked(true);
    grid->addWidget(rbTransparent1, 4, 1, 1, 3);
    grid->addWidget(rbTransparent2, 5, 1, 1, 3);
    btnClearImage = MakeButton("Clear Image", "btnClearImage", page);
    grid->addWidget(btnClearImage, 6, 3);
    grid->setRowStretch(7, 1);

    connect(btnBrows, &QPushButton::clicked, this, &TfrmWaterMark::btnBrowsClick);
    connect(edtAddImage, &QLineEdit::textChanged, this, [this] {
        edtAddImageChange();
        Publish();
    });
    for (QSlider* bar : {trcImageHoriz, trcImageVert, trcImageAlpha}) {
        connect(bar, &QSlider::valueChanged, this, [this] { Publish(); });
    }
    connect(rbTransparent1, &QRadioButton::toggled, this, [this] { Publish(); });
    connect(btnClearImage, &QPushButton::clicked, this, &TfrmWaterMark::btnClearImageClick);
    return page;
}

QWidget* TfrmWaterMark::MakeEffectPage() {
    auto* page = new QWidget;
    page->setObjectName("tabEffect");
    auto* grid = new QGridLayout(page);
    const auto row = [&](int r, const char* label, const char* barName, const char* spinName,
                         int minimum, int maximum, QSlider*& bar, QSpinBox*& spin) {
        bar = Bar(minimum, maximum, barName, label, page);
        spin = new QSpinBox(page);
        spin->setObjectName(spinName);
        spin->setRange(minimum, maximum);
        spin->setAccessibleName(label);
        // Typing is off: the value changes by the arrows (and their keys) only.
        spin->findChild<QLineEdit*>()->setReadOnly(true);
        auto* caption = new QLabel(label, page);
        caption->setBuddy(bar);
        grid->addWidget(caption, r, 0);
        grid->addWidget(bar, r, 1);
        grid->addWidget(spin, r, 2);
        connect(bar, &QSlider::valueChanged, spin, &QSpinBox::setValue);
        connect(spin, &QSpinBox::valueChanged, bar, &QSlider::setValue);
        connect(bar, &QSlider::valueChanged, this, [this] { Publish(); });
    };
    row(0, "Brightness:", "trcBrightness", "spedtBrightness", 0, 512, trcBrightness,
        spedtBrightness);
    row(1, "Contrast:", "trcContrast", "spedtContrast", -100, 100, trcContrast, spedtContrast);
    row(2, "Saturation:", "trcSaturation", "spedtSaturation", 0, 512, trcSaturation,
        spedtSaturation);
    row(3, "Exposure:", "trcExposure", "spedtExposure", -255, 512, trcExposure, spedtExposure);
    chkProcessText = Check("Process  Added Text", "chkProcessText", page);
    chkProcessImage = Check("Process  Added Image", "chkProcessImage", page);
    grid->addWidget(chkProcessText, 4, 0, 1, 3);
    grid->addWidget(chkProcessImage, 5, 0, 1, 3);
    btnReset = MakeButton("Reset", "btnReset", page);
    grid->addWidget(btnReset, 6, 2);
    grid->setRowStretch(7, 1);
    for (QCheckBox* box : {chkProcessText, chkProcessImage}) {
        connect(box, &QCheckBox::toggled, this, [this] { Publish(); });
    }
    connect(btnReset, &QPushButton::clicked, this, &TfrmWaterMark::btnResetClick);
    return page;
}

void TfrmWaterMark::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TfrmWaterMark::FormShow() {
    FillFromRecord();
    edtAddImageChange();
    edtFontChange();
    Publish();
    if (!preview_->Open(previewUrl_)) {
        return; // usable without a preview
    }
    // A name longer than 55 characters is shortened, after one more blank.
    const QString name = QString::fromStdString(sourceName_);
    setWindowTitle((name.size() > 55 ? "Water Mark   " : "Water Mark  ") +
                   ShortSourceName(name, 50, 56));
}

void TfrmWaterMark::FillFromRecord() {
    const TlvFilesRecord& r = record_;
    const auto setBar = [](QSlider* bar, int value) { bar->setValue(value <= 0 ? 0 : value); };
    setBar(trcTextHoriz, r.TextHorizPercent);
    setBar(trcTextVert, r.TextVertPercent);
    setBar(trcImageHoriz, r.ImageHorizPercent);
    setBar(trcImageVert, r.ImageVertPercent);
    setBar(trcImageAlpha, r.ImageAlpha);
    (r.ImageBlendStyle == 1 ? rbTransparent1 : rbTransparent2)->setChecked(true);
    cmbFontSize->clear();
    for (int size = 7; size <= 70; ++size) {
        cmbFontSize->addItem(QString::number(size));
    }
    trcBrightness->setValue(r.Brightness);
    trcContrast->setValue(r.Contrast);
    trcSaturation->setValue(r.Saturation);
    trcExposure->setValue(r.Exposure);
    chkProcessText->setChecked(r.ProcessText != 0);
    chkProcessImage->setChecked(r.ProcessImage != 0);
    if (!r.WaterText.empty()) {
        const QFont& font = r.WaterFont.Font;
        const int face = cmbFontFace->findText(ListedFace(font.family()));
        cmbFontFace->setCurrentIndex(face >= 0 ? face : 0);
        const int size = cmbFontSize->findText(QString::number(font.pointSize()));
        cmbFontSize->setCurrentIndex(size >= 0 ? size : 0);
        int colour = cmbFontColor->findData(r.WaterFont.Color);
        if (colour < 0) {
            QPixmap swatch(16, 12);
            swatch.fill(r.WaterFont.Color);
            cmbFontColor->addItem(QIcon(swatch), r.WaterFont.Color.name(), r.WaterFont.Color);
            colour = cmbFontColor->count() - 1;
        }
        cmbFontColor->setCurrentIndex(colour);
        ckBold->setChecked(font.bold());
        ckItalic->setChecked(font.italic());
        ckUnderline->setChecked(font.underline());
        ckStrikeOut->setChecked(font.strikeOut());
        edtFont->setText(QString::fromStdString(r.WaterText));
    } else {
        // The record's face (the desktop's sans-serif for a new row) rather than whichever
        // family happens to sort first.
        const int face = cmbFontFace->findText(ListedFace(r.WaterFont.Font.family()));
        cmbFontFace->setCurrentIndex(face >= 0 ? face : 0);
        cmbFontSize->setCurrentIndex(0);
        cmbFontColor->setCurrentIndex(0);
    }
    if (!r.WaterImageFile.empty()) {
        edtAddImage->setText(QString::fromStdString(r.WaterImageFile));
        trcImageAlpha->setValue(r.ImageAlpha);
    }
}

QFont TfrmWaterMark::ChosenFont() const {
    QFont f(cmbFontFace->currentText());
    const int size = cmbFontSize->currentText().toInt();
    f.setPointSize(size > 0 ? size : 7);
    f.setBold(ckBold->isChecked());
    f.setItalic(ckItalic->isChecked());
    f.setUnderline(ckUnderline->isChecked());
    f.setStrikeOut(ckStrikeOut->isChecked());
    return f;
}

QColor TfrmWaterMark::ChosenColor() const {
    const QVariant colour = cmbFontColor->currentData();
    return colour.isValid() ? colour.value<QColor>() : QColor(Qt::black);
}

void TfrmWaterMark::edtFontChange() {
    const bool text = !edtFont->text().isEmpty();
    trcTextHoriz->setEnabled(text);
    trcTextVert->setEnabled(text);
    if (text) {
        edtFont->setFont(ChosenFont());
        QPalette p = edtFont->palette();
        p.setColor(QPalette::Text, ChosenColor());
        edtFont->setPalette(p);
    }
    Publish();
}

void TfrmWaterMark::edtAddImageChange() {
    const bool image = !edtAddImage->text().isEmpty();
    trcImageHoriz->setEnabled(image);
    trcImageVert->setEnabled(image);
}

void TfrmWaterMark::Publish() {
    if (trcBrightness == nullptr || chkProcessImage == nullptr) {
        return; // still building the pages
    }
    auto v = std::make_shared<THookValues>();
    TFrameEffects& e = v->effects;
    e.Brightness = trcBrightness->value();
    e.Contrast = trcContrast->value();
    e.Saturation = trcSaturation->value();
    e.Exposure = trcExposure->value();
    e.Text = edtFont->text();
    e.Font = ChosenFont();
    e.TextColor = ChosenColor();
    e.ImageFile = edtAddImage->text();
    e.ImageAlpha = trcImageAlpha->value();
    e.ImageBlendStyle = rbTransparent1->isChecked() ? 1 : 2;
    e.ProcessText = chkProcessText->isChecked();
    e.ProcessImage = chkProcessImage->isChecked();
    v->textHoriz = trcTextHoriz->value();
    v->textVert = trcTextVert->value();
    v->imageHoriz = trcImageHoriz->value();
    v->imageVert = trcImageVert->value();
    std::lock_guard guard(valuesLock_);
    values_ = std::move(v);
}

void TfrmWaterMark::FFPlayerHook(TPicture& picture) {
    std::shared_ptr<const THookValues> values;
    {
        std::lock_guard guard(valuesLock_);
        values = values_;
    }
    if (!values) {
        return;
    }
    TFrameEffects e = values->effects;
    const int w = picture.Width(), h = picture.Height();
    if (!e.Text.isEmpty()) {
        textLeft_ = e.TextLeft = Place(w, values->textHoriz);
        textTop_ = e.TextTop = Place(h, values->textVert);
    }
    imageLeft_ = e.ImageLeft = Place(w, values->imageHoriz);
    imageTop_ = e.ImageTop = Place(h, values->imageVert);
    std::lock_guard guard(cacheLock_);
    ApplyFrameEffects(picture, e, cache_);
    DrawCropOutline(picture, record_.CropTop, record_.CropLeft, record_.CropBottom,
                    record_.CropRight);
}

std::array<int, 4> TfrmWaterMark::KeptPositions() const {
    return {textLeft_, textTop_, imageLeft_, imageTop_};
}

void TfrmWaterMark::btnBrowsClick() {
    if (!chooser_) {
        return;
    }
    const QString path = chooser_(this);
    if (!path.isEmpty()) {
        edtAddImage->setText(path);
    }
}

void TfrmWaterMark::btnClearImageClick() {
    preview_->Player().SetHook(false);
    edtAddImage->clear();
    imageLeft_ = 0;
    imageTop_ = 0;
    trcImageHoriz->setValue(0);
    trcImageVert->setValue(0);
    trcImageAlpha->setValue(125);
    {
        std::lock_guard guard(cacheLock_);
        cache_.ForgetImage();
    }
    preview_->Player().SetHook(true);
}

void TfrmWaterMark::btnClearTextClick() {
    edtFont->clear();
    textLeft_ = 0;
    textTop_ = 0;
    trcTextHoriz->setValue(0);
    trcTextVert->setValue(0);
    edtTextHoriz->setText("0");
    edtTextVert->setText("0");
}

void TfrmWaterMark::btnResetClick() {
    trcBrightness->setValue(255);
    trcContrast->setValue(0);
    trcSaturation->setValue(255);
    trcExposure->setValue(0);
    chkProcessText->setChecked(false);
    chkProcessImage->setChecked(false);
}

void TfrmWaterMark::btnOkClick() {
    TlvFilesRecord& r = record_;
    r.WaterText = edtFont->text().toStdString();
    r.WaterFont.Font = ChosenFont();
    r.WaterFont.Color = ChosenColor();
    const auto store = [](int kept, int percent, int32_t& pixels, int32_t& percentField) {
        pixels = kept < 0 ? 0 : kept;
        percentField = kept < 0 ? 0 : percent;
    };
    store(textLeft_, trcTextHoriz->value(), r.TextLeft, r.TextHorizPercent);
    store(textTop_, trcTextVert->value(), r.TextTop, r.TextVertPercent);
    store(imageLeft_, trcImageHoriz->value(), r.ImageLeft, r.ImageHorizPercent);
    store(imageTop_, trcImageVert->value(), r.ImageTop, r.ImageVertPercent);
    r.WaterImageFile = edtAddImage->text().toStdString();
    r.ImageAlpha = trcImageAlpha->value();
    r.ImageBlendStyle = rbTransparent1->isChecked() ? 1 : 2;
    r.Brightness = trcBrightness->value();
    r.Contrast = trcContrast->value();
    r.Saturation = trcSaturation->value();
    r.Exposure = trcExposure->value();
    r.ProcessText = chkProcessText->isChecked() ? 1 : 0;
    r.ProcessImage = chkProcessImage->isChecked() ? 1 : 0;
    FormCloseQuery();
    accept();
}

void TfrmWaterMark::btnCancelClick() {
    FormCloseQuery();
    reject();
}

void TfrmWaterMark::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept();
}

void TfrmWaterMark::FormCloseQuery() {
    if (closed_) {
        return;
    }
    closed_ = true;
    preview_->Close();
    std::lock_guard guard(cacheLock_);
    cache_.ForgetImage();
}

} // namespace quovo
