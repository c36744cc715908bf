#include "TParameterBoxes.h"

#include "DialogButtons.h"
#include "FormatRules.h"
#include "TFormatParameterEditor.h"
#include "TNamedComboAccessible.h"
#include "TParamItemDelegate.h"
#include "TSettingsDialogModel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quovo {

namespace {

QComboBox* AddBox(QGroupBox* group, QGridLayout* grid, TBoxesLayout layout, const char* caption,
                  const char* name, bool editable) {
    auto* box = new QComboBox(group);
    box->setObjectName(name);
    box->setEditable(editable);
    if (editable) {
        // Typed text stays as typed: no inline completion, nothing added to the list.
        box->setCompleter(nullptr);
        box->setInsertPolicy(QComboBox::NoInsert);
    }
    box->setItemDelegate(new TParamItemDelegate(box));
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // Narrow boxes that take what room there is; the captions are never cut, and the drop-down
    // lists are as wide as their longest item.
    box->setMinimumContentsLength(4);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    box->setAccessibleName(caption);
    auto* label = new QLabel(caption, group);
    label->setMinimumWidth(label->sizeHint().width());
    label->setBuddy(box);
    const int perRow = layout == TBoxesLayout::TwoPerRow ? 2 : 1;
    const int index = grid->count() / 2;
    grid->addWidget(label, index / perRow, (index % perRow) * 2);
    grid->addWidget(box, index / perRow, (index % perRow) * 2 + 1);
    return box;
}

bool SameItems(const QComboBox* box, const std::vector<std::string>& items) {
    if (box->count() != static_cast<int>(items.size())) {
        return false;
    }
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemText(i).toStdString() != items[i]) {
            return false;
        }
    }
    return true;
}

// Updates only what differs, so a box being typed in keeps its cursor.
void Show(QComboBox* box, const TParamBox& model) {
    if (!SameItems(box, model.Items)) {
        box->clear();
        for (const std::string& item : model.Items) {
            box->addItem(QString::fromStdString(item));
        }
    }
    box->setMaxVisibleItems(std::max(1, box->count()));
    box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 8);
    if (box->isEditable()) {
        if (box->currentIndex() != model.Index) {
            box->setCurrentIndex(model.Index);
        }
        const QString text = QString::fromStdString(model.Text);
        if (box->currentText() != text) {
            box->setEditText(text);
        }
    } else if (box->currentIndex() != model.Index) {
        box->setCurrentIndex(model.Index);
    }
    box->setEnabled(model.Enabled);
}

} // namespace

TParameterBoxes::TParameterBoxes(QWidget* parent, TBoxesLayout layout) : QWidget(parent) {
    UseNamedComboAccessibles();
    VideoOptions = new QGroupBox("Video Options", this);
    VideoOptions->setObjectName("VideoOptions");
    auto* video = new QGridLayout(VideoOptions);
    cmbVideoSize = AddBox(VideoOptions, video, layout, "Frame Size:", "cmbVideoSize", true);
    cmbVideoEncoder = AddBox(VideoOptions, video, layout, "Encoder:", "cmbVideoEncoder", false);
    cmbVideoBitRate =
        AddBox(VideoOptions, video, layout, "BitRate (Kbps):", "cmbVideoBitRate", true);
    cmbFrameRate = AddBox(VideoOptions, video, layout, "FrameRate (Fps):", "cmbFrameRate", false);
    cmbZoom = AddBox(VideoOptions, video, layout, "Zoom:", "cmbZoom", false);

    AudioOptions = new QGroupBox("Audio Options", this);
    AudioOptions->setObjectName("AudioOptions");
    auto* audio = new QGridLayout(AudioOptions);
    cmbSamplerate = AddBox(AudioOptions, audio, layout, "SampleRate (Hz):", "cmbSamplerate", true);
    cmbAudioEncoder = AddBox(AudioOptions, audio, layout, "Encoder:", "cmbAudioEncoder", false);
    cmbAudioBitRate =
        AddBox(AudioOptions, audio, layout, "BitRate (Kbps):", "cmbAudioBitRate", true);
    cmbChannel = AddBox(AudioOptions, audio, layout, "Channel:", "cmbChannel", false);
    cmbVolume = AddBox(AudioOptions, audio, layout, "Volume:", "cmbVolume", false);

    auto* groups = new QHBoxLayout;
    groups->addWidget(VideoOptions);
    groups->addWidget(AudioOptions);
    buttons_ = new QHBoxLayout;
    buttons_->addStretch();
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(groups);
    outer->addLayout(buttons_);

    for (QComboBox* box : {cmbVideoSize, cmbVideoBitRate, cmbSamplerate, cmbAudioBitRate}) {
        box->installEventFilter(this);
    }
    Connect();
}

void TParameterBoxes::Bind(TFormatParameterEditor& editor) {
    mode_ = TMode::WriteAtOnce;
    boxes_ = &editor;
    editor_ = &editor;
    dialog_ = nullptr;
    if (btnDefault == nullptr) {
        btnDefault = MakeButton("Default", "btnDefault", this);
        buttons_->addWidget(btnDefault);
        connect(btnDefault, &QPushButton::clicked, this, [this] { DefaultClick(); });
    }
    Refresh();
}

void TParameterBoxes::Bind(TSettingsDialogModel& model) {
    mode_ = TMode::Collect;
    boxes_ = &model;
    dialog_ = &model;
    editor_ = nullptr;
    Refresh();
}

void TParameterBoxes::Refresh() {
    if (boxes_ == nullptr) {
        return;
    }
    refreshing_ = true;
    for (QComboBox* box :
         {cmbVideoSize, cmbVideoEncoder, cmbVideoBitRate, cmbFrameRate, cmbZoom, cmbSamplerate,
          cmbAudioEncoder, cmbAudioBitRate, cmbChannel, cmbVolume}) {
        Show(box, ModelBox(box));
    }
    refreshing_ = false;
}

TParamBox& TParameterBoxes::ModelBox(QComboBox* box) {
    TParamBoxSet& b = *boxes_;
    if (box == cmbVideoSize) {
        return b.VideoSize;
    }
    if (box == cmbVideoEncoder) {
        return b.VideoEncoder;
    }
    if (box == cmbVideoBitRate) {
        return b.VideoBitRate;
    }
    if (box == cmbFrameRate) {
        return b.FrameRate;
    }
    if (box == cmbZoom) {
        return b.Zoom;
    }
    if (box == cmbSamplerate) {
        return b.SampleRate;
    }
    if (box == cmbAudioEncoder) {
        return b.AudioEncoder;
    }
    if (box == cmbAudioBitRate) {
        return b.AudioBitRate;
    }
    if (box == cmbChannel) {
        return b.Channel;
    }
    return b.Volume;
}

void TParameterBoxes::Connect() {
    for (QComboBox* box : {cmbVideoSize, cmbVideoBitRate, cmbSamplerate, cmbAudioBitRate}) {
        connect(box, &QComboBox::editTextChanged, this,
                [this, box](const QString& text) { TextEdited(box, text); });
    }
    connect(cmbVideoSize, &QComboBox::activated, this,
            [this](int index) { IndexChosen(cmbVideoSize, index); });
    for (QComboBox* box :
         {cmbFrameRate, cmbVideoEncoder, cmbZoom, cmbAudioEncoder, cmbChannel, cmbVolume}) {
        connect(box, &QComboBox::currentIndexChanged, this,
                [this, box](int index) { IndexChosen(box, index); });
    }
}

void TParameterBoxes::TextEdited(QComboBox* box, const QString& text) {
    if (refreshing_ || mode_ == TMode::None) {
        return;
    }
    const std::string t = text.toStdString();
    if (mode_ == TMode::Collect || box == cmbVideoSize) {
        ModelBox(box).SelectText(t);
        return;
    }
    if (box == cmbVideoBitRate) {
        editor_->VideoBitRateChange(t);
    } else if (box == cmbSamplerate) {
        editor_->SampleRateChange(t);
    } else {
        editor_->AudioBitRateChange(t);
    }
    Refresh();
}

void TParameterBoxes::IndexChosen(QComboBox* box, int index) {
    if (refreshing_ || mode_ == TMode::None) {
        return;
    }
    if (mode_ == TMode::Collect) {
        ModelBox(box).SelectIndex(index);
        return;
    }
    if (box == cmbVideoSize) {
        editor_->VideoSizeSelect(index);
    } else if (box == cmbFrameRate) {
        editor_->FrameRateChange(index);
    } else if (box == cmbVideoEncoder) {
        editor_->VideoEncoderChange(index);
    } else if (box == cmbZoom) {
        editor_->ZoomChange(index);
    } else if (box == cmbAudioEncoder) {
        editor_->AudioEncoderChange(index);
    } else if (box == cmbChannel) {
        editor_->ChannelChange(index);
    } else {
        editor_->VolumeChange(index);
    }
    Refresh();
}

bool TParameterBoxes::Leave(QComboBox* box) {
    if (mode_ == TMode::WriteAtOnce) {
        // The number boxes were checked on every change already.
        if (box == cmbVideoSize) {
            editor_->VideoSizeExit();
            Refresh();
        }
        return true;
    }
    bool accepted = true;
    if (box == cmbVideoSize) {
        accepted = dialog_->VideoSizeExit();
    } else if (box == cmbVideoBitRate) {
        accepted = dialog_->VideoBitRateExit();
    } else if (box == cmbSamplerate) {
        accepted = dialog_->SampleRateExit();
    } else {
        accepted = dialog_->AudioBitRateExit();
    }
    Refresh();
    return accepted;
}

bool TParameterBoxes::KeyAccepted(QComboBox* box, char key) {
    if (mode_ == TMode::WriteAtOnce) {
        return box == cmbVideoSize ? editor_->VideoSizeKeyPress(key)
                                   : editor_->NumericKeyPress(key);
    }
    return box == cmbVideoSize ? dialog_->VideoSizeKeyPress(key) : dialog_->NumericKeyPress(key);
}

void TParameterBoxes::DefaultClick() {
    if (editor_ != nullptr) {
        editor_->DefaultClick();
        Refresh();
    }
}

bool TParameterBoxes::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QComboBox*>(watched);
    if (box == nullptr || mode_ == TMode::None) {
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Only typed characters are filtered: navigation, Tab, Enter, Escape and shortcuts keep
        // the dialog usable from the keyboard.
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
            return false;
        }
        char c = 0;
        if (key->key() == Qt::Key_Backspace) {
            c = kBackspace;
        } else if (key->text().size() == 1 && key->text()[0].isPrint()) {
            c = key->text()[0].toLatin1();
            if (c == 0) {
                c = '?'; // any character outside Latin-1 is refused like a letter
            }
        } else {
            return false;
        }
        return !KeyAccepted(box, c);
    }
    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Opening the drop-down or a message box over the window is not leaving the box.
        if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason) {
            return false;
        }
        if (!Leave(box)) {
            box->setFocus(Qt::OtherFocusReason);
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quovo
