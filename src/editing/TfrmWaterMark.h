// The effects and watermark dialog: a text watermark, an image watermark and the four picture
// effects for one source row, previewed live: every frame of the dialog's own player goes
// through the same frame effects the conversion runs, with the row's crop outlined in green.
// OK writes the row's record; Cancel and closing leave it. A new dialog for every opening.
//
// The controls belong to the user-interface thread; the player's picture thread reads a copy
// of their values (taken on every change) and writes back the pixel positions it computed.
#pragma once

#include "FrameEffects.h"
#include "TDialogPreview.h"
#include "TEffectsCache.h"
#include "TlvFilesRecord.h"

#include <QDialog>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace quovo {

class TVideoWidget;

class TfrmWaterMark : public QDialog {
    Q_OBJECT
public:
    // Asks for a watermark picture file (empty: none chosen).
    using TImageChooser = std::function<QString(QWidget* parent)>;

    // `previewUrl` is what the preview plays (the file, or the title's "opendvd:" name); the
    // caption names `sourceName`.
    TfrmWaterMark(TlvFilesRecord& record, std::string previewUrl, std::string sourceName,
                  TImageChooser chooser, QWidget* parent = nullptr);
    ~TfrmWaterMark() override;

    TDialogPreview& Preview() { return *preview_; }

    // The per-frame processing of the preview (the player's picture thread).
    void FFPlayerHook(TPicture& picture);
    // The pixel positions of the last frame: text left, top, image left, top.
    std::array<int, 4> KeptPositions() const;

    void btnOkClick();
    void btnCancelClick();
    void btnBrowsClick();
    void btnClearImageClick();
    void btnClearTextClick();
    void btnResetClick();

    QTabWidget* pgcWaterMark = nullptr;
    QComboBox* cmbFontFace = nullptr;
    QComboBox* cmbFontSize = nullptr;
    QComboBox* cmbFontColor = nullptr;
    QCheckBox* ckBold = nullptr;
    QCheckBox* ckItalic = nullptr;
    QCheckBox* ckUnderline = nullptr;
    QCheckBox* ckStrikeOut = nullptr;
    QLineEdit* edtFont = nullptr;
    QSlider* trcTextHoriz = nullptr;
    QLineEdit* edtTextHoriz = nullptr;
    QSlider* trcTextVert = nullptr;
    QLineEdit* edtTextVert = nullptr;
    QPushButton* btnClearText = nullptr;
    QLineEdit* edtAddImage = nullptr;
    QPushButton* btnBrows = nullptr;
    QSlider* trcImageHoriz = nullptr;
    QLineEdit* edtImageHoriz = nullptr;
    QSlider* trcImageVert = nullptr;
    QLineEdit* edtImageVert = nullptr;
    QSlider* trcImageAlpha = nullptr;
    QLineEdit* edtImageAlpha = nullptr;
    QRadioButton* rbTransparent1 = nullptr;
    QRadioButton* rbTransparent2 = nullptr;
    QPushButton* btnClearImage = nullptr;
    QSlider* trcBrightness = nullptr;
    QSpinBox* spedtBrightness = nullptr;
    QSlider* trcContrast = nullptr;
    QSpinBox* spedtContrast = nullptr;
    QSlider* trcSaturation = nullptr;
    QSpinBox* spedtSaturation = nullptr;
    QSlider* trcExposure = nullptr;
    QSpinBox* spedtExposure = nullptr;
    QCheckBox* chkProcessText = nullptr;
    QCheckBox* chkProcessImage = nullptr;
    QPushButton* btnReset = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    TVideoWidget* pnlPreview = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // What the picture thread reads: the controls' values, with positions as percentages.
    struct THookValues {
        TFrameEffects effects;
        int textHoriz = 0, textVert = 0, imageHoriz = 0, imageVert = 0;
    };

    QWidget* MakeTextPage();
    QWidget* MakeImagePage();
    QWidget* MakeEffectPage();
    void FormShow();
    void FillFromRecord();
    void edtFontChange();
    void edtAddImageChange();
    QFont ChosenFont() const;
    QColor ChosenColor() const;
    // Copies the controls' values for the picture thread.
    void Publish();
    void FormCloseQuery();

    TlvFilesRecord& record_;
    std::string previewUrl_;
    std::string sourceName_;
    TImageChooser chooser_;
    std::unique_ptr<TDialogPreview> preview_;
    bool shown_ = false;
    bool closed_ = false;

    std::mutex valuesLock_;
    std::shared_ptr<const THookValues> values_; // --- guarded by valuesLock_
    std::mutex cacheLock_;
    TEffectsCache cache_; // --- guarded by cacheLock_ (the picture thread, Clear Image)
    std::atomic<int> textLeft_{0}, textTop_{0}, imageLeft_{0}, imageTop_{0};
};

// The colours the font colour list offers, in order (black first).
const std::vector<std::pair<QString, QColor>>& WatermarkColours();

} // namespace quovo
