// The "Video Options" and "Audio Options" boxes. They show a set of parameter boxes and forward
// every user action to the logic behind them: in the main window to the editor, which writes each
// accepted change at once; in the settings dialog to the dialog's model, which only collects.
#pragma once

#include "TParamBox.h"

#include <QWidget>

class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QPushButton;

namespace quovo {

class TFormatParameterEditor;
class TSettingsDialogModel;

// One label and box per row (narrow dialogs), or two side by side (the wide main window).
enum class TBoxesLayout { OnePerRow, TwoPerRow };

class TParameterBoxes : public QWidget {
    Q_OBJECT
public:
    explicit TParameterBoxes(QWidget* parent = nullptr,
                             TBoxesLayout layout = TBoxesLayout::OnePerRow);

    // Main window: with a "Default" button of its own.
    void Bind(TFormatParameterEditor& editor);
    // Settings dialog: the dialog has its own "&Default".
    void Bind(TSettingsDialogModel& model);
    // Shows the bound boxes again (after a load, a choice of format, "Default").
    void Refresh();

    QComboBox* cmbVideoSize;
    QComboBox* cmbVideoEncoder;
    QComboBox* cmbVideoBitRate;
    QComboBox* cmbFrameRate;
    QComboBox* cmbZoom;
    QComboBox* cmbSamplerate;
    QComboBox* cmbAudioEncoder;
    QComboBox* cmbChannel;
    QComboBox* cmbVolume;
    QComboBox* cmbAudioBitRate;
    QGroupBox* VideoOptions;
    QGroupBox* AudioOptions;
    QPushButton* btnDefault = nullptr; // the main window's "Default"; the dialog has its own

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class TMode { None, WriteAtOnce, Collect };

    void Connect();
    TParamBox& ModelBox(QComboBox* box);
    void TextEdited(QComboBox* box, const QString& text);
    void IndexChosen(QComboBox* box, int index);
    // Leaving a typed box; false when the box must take the focus back.
    bool Leave(QComboBox* box);
    bool KeyAccepted(QComboBox* box, char key);
    void DefaultClick();

    TMode mode_ = TMode::None;
    TParamBoxSet* boxes_ = nullptr;
    TFormatParameterEditor* editor_ = nullptr;
    TSettingsDialogModel* dialog_ = nullptr;
    bool refreshing_ = false;
    QHBoxLayout* buttons_;
};

} // namespace quovo
