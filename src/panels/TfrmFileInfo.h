// The file information dialog: container and stream facts of a source file, read through a
// conversion component and probe of its own. Nothing is changed. Created on first use and kept;
// every showing probes afresh and overwrites the fields it reaches: a file that does not open, or
// has no picture, leaves the video and audio fields as the previous showing left them.
#pragma once

#include "TMediaConverter.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quovo {

// The name as the dialog shows it: up to 45 characters whole, else its first 40 characters, "..",
// its extension (with the dot) and two blanks.
QString ShortSourceName(const QString& name);
// Microseconds as seconds with three decimals and " Second" (5400123456 gives
// "5400.123 Second").
QString DurationText(int64_t durationUs);
// The audio format from a probe's stream text: what follows "Audio:" and a blank, up to the next
// ",".
QString AudioFormatOf(const QString& infoText);
// A frame rate as a number, at most two decimals (25, 29.97).
QString FrameRateText(int num, int den);

// A disc title as the dialog names it: its row's caption, and its length as the disc describes
// it, for when the title's input does not tell its own.
struct TFileInfoTitle {
    QString Caption;
    int64_t DurationUs = -1;
};

class TfrmFileInfo : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFileInfo(QWidget* parent = nullptr);
    ~TfrmFileInfo() override;

    // Fills the fields for `sourceName` (empty: the list has no row to show). A disc title's
    // "opendvd:" name is read as a conversion reads it, and named by `title`.
    void ShowFile(const std::string& sourceName, const TFileInfoTitle* title = nullptr);
    // Fills and shows the dialog modally, centred on its parent.
    void Execute(const std::string& sourceName, const TFileInfoTitle* title = nullptr);

    QLabel* lblSourceName;
    QLabel* lblFileLength;
    QLineEdit* edtFormat;
    QLineEdit* edtResloution;
    QLineEdit* edtBitRate;
    QLineEdit* edtFrameRate;
    QLineEdit* edtTotalFrame;
    QLineEdit* edtAudioForamt;
    QLineEdit* edtAudioBitRate;
    QLineEdit* edtSampleRate;
    QLineEdit* edtChannel;
    QPushButton* btn1;

protected:
    void done(int result) override;

private:
    void ShowVideo(TAVProbe& probe, TAVProbe& input, int64_t durationUs);
    void ShowAudio(TAVProbe& probe);

    TMediaConverter converter_;
};

} // namespace quovo
