#include "TFileAdder.h"

#include "TFormatSettings.h"
#include "TGlobalObject.h"
#include "TTaskPlanner.h"

#include <QFileInfo>
#include <QProgressDialog>

namespace quovo {

TFileAdder::TFileAdder(TSourceListModel& rows, TIniStore& settings, const TIniStore& formatFile,
                       TDialogService& dialogs, std::function<int()> formatCode, QWidget* window)
    : QObject(window), rows_(rows), settings_(settings), formatFile_(formatFile), dialogs_(dialogs),
      formatCode_(std::move(formatCode)), window_(window) {
    connect(&prober_, &TFileProber::Probed, this, &TFileAdder::Probed);
    connect(&prober_, &TFileProber::Finished, this, &TFileAdder::ProbingFinished);
}

TFileAdder::~TFileAdder() {
    waiting_.clear();
    prober_.Cancel();
    delete progress_;
}

void TFileAdder::Add(const QStringList& paths, const std::vector<int>& positions) {
    TBatch batch;
    for (int i = 0; i < paths.size(); ++i) {
        if (QFileInfo(paths[i]).isDir()) {
            continue;
        }
        batch.paths << paths[i];
        batch.positions.push_back(i < static_cast<int>(positions.size()) ? positions[i] : i);
    }
    if (batch.paths.isEmpty()) {
        return;
    }
    waiting_.push_back(std::move(batch));
    if (!Adding()) {
        Next();
    }
}

void TFileAdder::Cancel() {
    waiting_.clear();
    prober_.Cancel();
}

void TFileAdder::Next() {
    if (waiting_.empty()) {
        return;
    }
    TBatch batch = std::move(waiting_.front());
    waiting_.erase(waiting_.begin());
    // The format as it is now names the outputs of the whole batch.
    code_ = formatCode_ ? formatCode_() : 1;
    zoom_ = TFormatSettings(settings_, formatFile_, code_).Zoom();
    added_ = 0;
    done_ = 0;
    failures_.clear();
    if (batch.paths.size() > kFewFiles) {
        progress_ = new QProgressDialog("Opening the files...", "Cancel", 0,
                                        static_cast<int>(batch.paths.size()), window_);
        progress_->setObjectName("AddFilesProgress");
        progress_->setWindowTitle("Add");
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setMinimumDuration(0);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        connect(progress_, &QProgressDialog::canceled, this, &TFileAdder::Cancel);
        progress_->open();
    }
    prober_.Start(batch.paths, batch.positions);
}

void TFileAdder::Probed(const TProbedFile& file) {
    ++done_;
    AddRow(file);
    // Last: a modal progress dialog runs the events here, and with them the next file's report.
    if (QPointer<QProgressDialog> progress = progress_) {
        progress->setLabelText(QFileInfo(file.Path).fileName());
        progress->setValue(done_);
    }
}

void TFileAdder::AddRow(const TProbedFile& file) {
    if (!file.Opened) {
        failures_ << QString("%1\n    %2").arg(file.Path, file.Error);
        return;
    }
    // Checked here, not when the batch was made: the same path may come twice in one batch.
    if (rows_.HasCaption(file.Path)) {
        return;
    }
    const std::string source = file.Path.toStdString();
    // The name a run would give it now; Start names it again, as files may have come since.
    const std::string output = TTaskPlanner(settings_, formatFile_, dialogs_, DefaultOutputFolder())
                                   .OutputPath(source, code_);
    const auto seconds = static_cast<int32_t>(file.DurationUs / 1000000);
    auto record = std::make_unique<TlvFilesRecord>(
        MakeFileRecord(file.Position, source, output, seconds, zoom_));
    record->SourcePicture = file.Picture;
    record->SourceContainer = file.ContainerName;
    rows_.AddFileRow(std::move(record));
    ++added_;
}

void TFileAdder::ProbingFinished(bool cancelled) {
    if (progress_) {
        progress_->disconnect(this);
        progress_->hide();
        progress_->deleteLater();
        progress_ = nullptr;
    }
    if (!failures_.isEmpty()) {
        dialogs_.ShowMessage("Warning",
                             "These files were left out, because they could not be opened as "
                             "media:\n\n" +
                                 failures_.join("\n").toStdString(),
                             TMessageIcon::Warning);
        failures_.clear();
    }
    emit Finished(added_);
    if (cancelled) {
        waiting_.clear();
    } else {
        Next();
    }
}

} // namespace quovo
