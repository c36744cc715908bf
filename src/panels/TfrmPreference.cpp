#include "TfrmPreference.h"

#include "DialogButtons.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

namespace quovo {

namespace {

QCheckBox* CheckBox(const char* caption, const char* name, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setAccessibleName(caption);
    return box;
}

// A caption and its two check boxes on one grid row; the caption names the first box.
void AddCheckPairRow(QGridLayout* grid, int row, QLabel* label, QCheckBox* first,
                     QCheckBox* second) {
    label->setBuddy(first);
    grid->addWidget(label, row, 0);
    grid->addWidget(first, row, 1);
    grid->addWidget(second, row, 2);
}

} // namespace

TfrmPreference::TfrmPreference(TIniStore& settings, TDialogService& dialogs,
                               std::string defaultFolder, TFolderChooser chooser,
                               TFolderOpener opener, QWidget* parent)
    : QDialog(parent), settings_(settings), dialogs_(dialogs),
      defaultFolder_(std::move(defaultFolder)), chooser_(std::move(chooser)),
      opener_(std::move(opener)) {
    setObjectName("frmPreference");
    setWindowTitle("Preference");
    // Taller than the snapshot and priority groups need: the speed group sits below them.
    setFixedSize(480, 470);

    auto* snapshot = new QGroupBox("Snapshot", this);
    auto* grid = new QGridLayout(snapshot);
    auto* folderLabel = new QLabel("Snapshot folder:", snapshot);
    edtSnapDirectory = new QLineEdit(snapshot);
    edtSnapDirectory->setObjectName("edtSnapDirectory");
    edtSnapDirectory->setReadOnly(true);
    edtSnapDirectory->setAccessibleName("Snapshot folder:");
    QPalette light = edtSnapDirectory->palette();
    light.setColor(QPalette::Base, QColor(246, 247, 248));
    edtSnapDirectory->setPalette(light);
    folderLabel->setBuddy(edtSnapDirectory);
    btnBrows = MakeButton("&Brows", "btnBrows", snapshot);
    btnOpen = MakeButton("&Open", "btnOpen", snapshot);
    grid->addWidget(folderLabel, 0, 0);
    grid->addWidget(edtSnapDirectory, 0, 1, 1, 2);
    auto* folderButtons = new QHBoxLayout;
    folderButtons->addWidget(btnBrows);
    folderButtons->addWidget(btnOpen);
    grid->addLayout(folderButtons, 0, 3);

    ckSmallSize = CheckBox("Small Size", "ckSmallSize", snapshot);
    ckFullSize = CheckBox("Full Size", "ckFullSize", snapshot);
    AddCheckPairRow(grid, 1, new QLabel("Snapshot size:", snapshot), ckSmallSize, ckFullSize);
    ckBmp = CheckBox("BMP", "ckBmp", snapshot);
    ckJpg = CheckBox("JPG", "ckJpg", snapshot);
    AddCheckPairRow(grid, 2, new QLabel("Snapshot format:", snapshot), ckBmp, ckJpg);

    auto* qualityLabel = new QLabel("Jpg Compression Quality:", snapshot);
    auto* qualityNote =
        new QLabel("(The higher the value, the better the image quality.)", snapshot);
    spedCmp = new QSpinBox(snapshot);
    spedCmp->setObjectName("spedCmp");
    spedCmp->setRange(1, 100);
    spedCmp->setAccessibleName("Jpg Compression Quality:");
    spedCmp->setToolTip("Higher values give better pictures and larger files.");
    trcCmp = new QSlider(Qt::Horizontal, snapshot);
    trcCmp->setObjectName("trcCmp");
    trcCmp->setRange(1, 100);
    trcCmp->setTickInterval(10);
    trcCmp->setTickPosition(QSlider::TicksBelow);
    trcCmp->setAccessibleName("Jpg Compression Quality:");
    qualityLabel->setBuddy(spedCmp);
    grid->addWidget(qualityLabel, 3, 0, 1, 4);
    grid->addWidget(qualityNote, 4, 0, 1, 4);
    grid->addWidget(trcCmp, 5, 0, 1, 3);
    grid->addWidget(spedCmp, 5, 3);

    auto* priority = new QGroupBox("Work priority", this);
    auto* priorities = new QHBoxLayout(priority);
    rdGrpPriority = new QButtonGroup(this);
    rdGrpPriority->setObjectName("rdGrpPriority");
    int id = 0;
    for (const char* caption : {"Idle", "Normal", "Lower", "Lowest"}) {
        auto* radio = new QRadioButton(caption, priority);
        radio->setAccessibleName(caption);
        rdGrpPriority->addButton(radio, id++);
        priorities->addWidget(radio);
    }

    auto* speed = new QGroupBox("Speed", this);
    auto* speedGrid = new QGridLayout(speed);
    ckAllCores = CheckBox("Use all processor cores for each conversion", "ckAllCores", speed);
    auto* atOnceLabel = new QLabel("Conversions at once:", speed);
    spedAtOnce = new QSpinBox(speed);
    spedAtOnce->setObjectName("spedAtOnce");
    spedAtOnce->setRange(1, std::max(1, QThread::idealThreadCount()));
    spedAtOnce->setAccessibleName("Conversions at once:");
    spedAtOnce->setToolTip("How many files are converted at the same time.");
    atOnceLabel->setBuddy(spedAtOnce);
    speedGrid->addWidget(ckAllCores, 0, 0, 1, 3);
    speedGrid->addWidget(atOnceLabel, 1, 0);
    speedGrid->addWidget(spedAtOnce, 1, 1);
    speedGrid->setColumnStretch(2, 1);

    TDefaultOkCancel buttons = MakeDefaultOkCancel(this);
    btnDefault = buttons.Default;
    btnOk = buttons.Ok;
    btnCancel = buttons.Cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(snapshot);
    layout->addWidget(priority);
    layout->addWidget(speed);
    layout->addStretch();
    layout->addLayout(buttons.Row);

    connect(btnBrows, &QPushButton::clicked, this, &TfrmPreference::btnBrowsClick);
    connect(btnOpen, &QPushButton::clicked, this, &TfrmPreference::btnOpenClick);
    connect(btnDefault, &QPushButton::clicked, this,
            [this] { Show(TPreferenceValues::Defaults(defaultFolder_)); });
    connect(btnOk, &QPushButton::clicked, this, &TfrmPreference::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ckFullSize, &QCheckBox::clicked, this, [this] { KeepOne(ckFullSize, ckSmallSize); });
    connect(ckSmallSize, &QCheckBox::clicked, this, [this] { KeepOne(ckSmallSize, ckFullSize); });
    connect(ckBmp, &QCheckBox::clicked, this, [this] { KeepOne(ckBmp, ckJpg); });
    connect(ckJpg, &QCheckBox::clicked, this, [this] {
        KeepOne(ckJpg, ckBmp);
        EnableQuality();
    });
    connect(trcCmp, &QSlider::valueChanged, spedCmp, &QSpinBox::setValue);
    connect(spedCmp, &QSpinBox::valueChanged, trcCmp, &QSlider::setValue);
}

void TfrmPreference::Reload() {
    Show(TPreferenceValues::Read(TAppSettings(settings_, defaultFolder_)));
}

void TfrmPreference::Show(const TPreferenceValues& values) {
    edtSnapDirectory->setText(QString::fromStdString(values.SnapFolder));
    edtSnapDirectory->setCursorPosition(0);
    ckFullSize->setChecked(values.FullSize);
    ckSmallSize->setChecked(values.SmallSize);
    ckBmp->setChecked(values.Bmp);
    ckJpg->setChecked(values.Jpg);
    spedCmp->setValue(values.JpegQuality);
    if (QAbstractButton* radio = rdGrpPriority->button(values.Priority)) {
        radio->setChecked(true);
    }
    ckAllCores->setChecked(values.AllCores);
    spedAtOnce->setValue(values.ConversionsAtOnce);
    EnableQuality();
}

TPreferenceValues TfrmPreference::Shown() const {
    TPreferenceValues values;
    values.SnapFolder = edtSnapDirectory->text().toStdString();
    values.FullSize = ckFullSize->isChecked();
    values.SmallSize = ckSmallSize->isChecked();
    values.Bmp = ckBmp->isChecked();
    values.Jpg = ckJpg->isChecked();
    values.JpegQuality = spedCmp->value();
    values.Priority = rdGrpPriority->checkedId() >= 0 ? rdGrpPriority->checkedId() : 1;
    values.AllCores = ckAllCores->isChecked();
    values.ConversionsAtOnce = spedAtOnce->value();
    return values;
}

void TfrmPreference::KeepOne(QCheckBox* clicked, QCheckBox* other) {
    if (!other->isChecked()) {
        clicked->setChecked(true);
    }
}

void TfrmPreference::EnableQuality() {
    spedCmp->setEnabled(ckJpg->isChecked());
    trcCmp->setEnabled(ckJpg->isChecked());
}

void TfrmPreference::btnBrowsClick() {
    if (!chooser_) {
        return;
    }
    const QString chosen = chooser_(edtSnapDirectory->text());
    if (chosen.isEmpty() || chosen == edtSnapDirectory->text()) {
        return;
    }
    settings_.WriteString("settings", "SnapOutPutDir", chosen.toStdString());
    edtSnapDirectory->setText(chosen);
    edtSnapDirectory->setCursorPosition(0);
}

void TfrmPreference::btnOpenClick() {
    if (edtSnapDirectory->text().length() <= 2 || !opener_) {
        return;
    }
    // The stored folder, which Browse keeps equal to the field.
    opener_(QString::fromStdString(TAppSettings(settings_, defaultFolder_).SnapOutputDir()));
}

void TfrmPreference::btnOkClick() {
    if (!Shown().Write(settings_, defaultFolder_)) {
        dialogs_.ShowMessage("Preference",
                             "The settings could not be written to " + settings_.Path() + ".",
                             TMessageIcon::Warning);
        return;
    }
    accept();
}

} // namespace quovo
