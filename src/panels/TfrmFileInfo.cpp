#include "TfrmFileInfo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace quovo {

namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 460;

QLineEdit* Field(QGridLayout* grid, const QString& caption, const char* name) {
    auto* parent = grid->parentWidget();
    auto* label = new QLabel(caption, parent);
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setReadOnly(true);
    field->setAccessibleName(caption);
    label->setBuddy(field);
    const int row = grid->rowCount();
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    return field;
}

QString Number(int64_t value) {
    // The probe says -1 for what the file does not tell.
    return value < 0 ? QString() : QString::number(value);
}

// The frames of the video stream: as the container counts them, else duration times rate.
int64_t FrameCount(TAVProbe& probe, int streamIndex, const TVideoStreamInfo& video,
                   int64_t fileDurationUs) {
    if (AVFormatContext* context = probe.Context();
        context != nullptr && streamIndex >= 0 &&
        streamIndex < static_cast<int>(context->nb_streams) &&
        context->streams[streamIndex]->nb_frames > 0) {
        return context->streams[streamIndex]->nb_frames;
    }
    if (video.FrameRateNum <= 0 || video.FrameRateDen <= 0) {
        return -1;
    }
    int64_t durationUs = video.DurationUS;
    if (durationUs <= 0) {
        durationUs = fileDurationUs;
    }
    if (durationUs <= 0) {
        return -1;
    }
    return std::llround(static_cast<double>(durationUs) * video.FrameRateNum /
                        (video.FrameRateDen * 1e6));
}

} // namespace

QString ShortSourceName(const QString& name) {
    if (name.size() <= 45) {
        return name;
    }
    const QString suffix = QFileInfo(name).suffix();
    return name.left(40) + ".." + (suffix.isEmpty() ? QString() : "." + suffix) + "  ";
}

QString DurationText(int64_t durationUs) {
    return QString::asprintf("%d.%.3d", static_cast<int>(durationUs / 1000000),
                             static_cast<int>(durationUs / 1000 % 1000)) +
           " Second";
}

QString AudioFormatOf(const QString& infoText) {
    const int at = infoText.indexOf("Audio:");
    if (at < 0) {
        return {};
    }
    int start = at + 6;
    if (start < infoText.size() && infoText[start] == ' ') {
        ++start;
    }
    const int comma = infoText.indexOf(',', start);
    return infoText.mid(start, comma < 0 ? -1 : comma - start).trimmed();
}

QString FrameRateText(int num, int den) {
    if (num <= 0 || den <= 0) {
        return {};
    }
    QString text = QString::number(static_cast<double>(num) / den, 'f', 2);
    while (text.endsWith('0')) {
        text.chop(1);
    }
    if (text.endsWith('.')) {
        text.chop(1);
    }
    return text;
}

TfrmFileInfo::TfrmFileInfo(QWidget* parent) : QDialog(parent) {
    setObjectName("frmFileInfo");
    setWindowTitle("File infomation");
    setFixedSize(kWidth, kHeight);

    auto* column = new QVBoxLayout(this);
    auto* names = new QGridLayout;
    column->addLayout(names);
    // The name and the duration are plain texts; they can be selected and copied.
    auto fact = [this, names](const QString& caption, const char* name) {
        auto* label = new QLabel(caption, this);
        auto* fact = new QLabel(this);
        fact->setObjectName(name);
        fact->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        label->setBuddy(fact);
        const int row = names->rowCount();
        names->addWidget(label, row, 0);
        names->addWidget(fact, row, 1);
        return fact;
    };
    lblSourceName = fact("File Name:", "lblSourceName");
    lblFileLength = fact("Duration:", "lblFileLength");
    names->setColumnStretch(1, 1);

    auto* video = new QGroupBox("Video ", this);
    auto* videoGrid = new QGridLayout(video);
    edtFormat = Field(videoGrid, "Format:", "edtFormat");
    edtResloution = Field(videoGrid, "Resloution:", "edtResloution");
    edtBitRate = Field(videoGrid, "Bit Rate:", "edtBitRate");
    edtFrameRate = Field(videoGrid, "Frame Rate:", "edtFrameRate");
    edtTotalFrame = Field(videoGrid, "Total Frame:", "edtTotalFrame");
    column->addWidget(video);

    auto* audio = new QGroupBox("Audio", this);
    auto* audioGrid = new QGridLayout(audio);
    edtAudioForamt = Field(audioGrid, "Format:", "edtAudioForamt");
    edtAudioBitRate = Field(audioGrid, "Bit Rate:", "edtAudioBitRate");
    edtSampleRate = Field(audioGrid, "Sample Rate:", "edtSampleRate");
    edtChannel = Field(audioGrid, "Channel:", "edtChannel");
    column->addWidget(audio);
    column->addStretch(1);

    btn1 = new QPushButton("&Ok", this);
    btn1->setObjectName("btn1");
    btn1->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btn1);
    column->addLayout(buttons);
    connect(btn1, &QPushButton::clicked, this, &QDialog::accept);
}

TfrmFileInfo::~TfrmFileInfo() = default;

void TfrmFileInfo::ShowFile(const std::string& sourceName, const TFileInfoTitle* title) {
    lblSourceName->clear();
    lblFileLength->clear();
    lblSourceName->setToolTip(QString());
    if (sourceName.empty()) {
        return;
    }
    if (!converter_.LibrariesLoaded() &&
        !converter_.LoadLibraries(QCoreApplication::applicationDirPath().toStdString() +
                                  "/LibAV")) {
        return;
    }
    converter_.ClearTasks();
    TInputOptions input;
    input.FileName = sourceName;
    const int task = converter_.AddTask(sourceName, &input);
    TAVProbe& probe = *converter_.AVProbe();
    try {
        if (task < 0 || !probe.LoadFile(sourceName) || probe.VideoStreamCount() <= 0) {
            return;
        }
    } catch (const std::exception&) {
        return;
    }
    const QString name = QString::fromStdString(sourceName);
    lblSourceName->setText(title != nullptr ? title->Caption : ShortSourceName(name));
    lblSourceName->setToolTip(name);
    int64_t duration = probe.GetFileStreamInfo().Duration;
    if (duration <= 0 && title != nullptr) {
        duration = title->DurationUs;
    }
    duration = std::max<int64_t>(0, duration);
    lblFileLength->setText(DurationText(duration));
    edtFormat->setText(QString::fromStdString(probe.FormatName()));
    ShowVideo(probe, *converter_.InputProbe(task, 0), duration);
    ShowAudio(probe);
}

void TfrmFileInfo::ShowVideo(TAVProbe& probe, TAVProbe& input, int64_t durationUs) {
    if (!probe.IsVideoStream(probe.VideoStreamIndex())) {
        for (QLineEdit* field : {edtResloution, edtBitRate, edtFrameRate, edtTotalFrame}) {
            field->clear();
        }
        return;
    }
    const TVideoStreamInfo video = input.GetVideoStreamInfo();
    edtResloution->setText(QString("%1x%2").arg(video.Width).arg(video.Height));
    edtBitRate->setText(Number(video.BitRate));
    // As numbers a user reads (25, 29.97) and the frames there are, not the rate's two terms.
    edtFrameRate->setText(FrameRateText(video.FrameRateNum, video.FrameRateDen));
    edtTotalFrame->setText(Number(FrameCount(input, input.VideoStreamIndex(), video, durationUs)));
}

void TfrmFileInfo::ShowAudio(TAVProbe& probe) {
    if (!probe.IsAudioStream(probe.AudioStreamIndex())) {
        for (QLineEdit* field : {edtAudioForamt, edtAudioBitRate, edtSampleRate, edtChannel}) {
            field->clear();
        }
        return;
    }
    const TAudioStreamInfo audio = probe.GetAudioStreamInfo();
    edtAudioBitRate->setText(Number(audio.BitRate));
    edtSampleRate->setText(Number(audio.SampleRate));
    edtChannel->setText(Number(audio.Channels));
    edtAudioForamt->setText(AudioFormatOf(QString::fromStdString(probe.InfoText())));
}

void TfrmFileInfo::Execute(const std::string& sourceName, const TFileInfoTitle* title) {
    ShowFile(sourceName, title);
    if (parentWidget() != nullptr) {
        const QRect owner = parentWidget()->window()->frameGeometry();
        move(owner.center() - rect().center());
    }
    exec();
}

void TfrmFileInfo::done(int result) {
    converter_.ClearTasks();
    QDialog::done(result);
}

} // namespace quovo
