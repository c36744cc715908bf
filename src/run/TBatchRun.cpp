#include "TBatchRun.h"

#include "FormatCatalogue.h"
#include "OutputPath.h"
#include "RecordEffects.h"
#include "RunRules.h"
#include "SaveSnapshot.h"
#include "TAppSettings.h"
#include "TFormatParameterEditor.h"
#include "TOptionBuilder.h"
#include "TOutputFiles.h"
#include "TfrmProgress.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace quovo {

TBatchRun::TBatchRun(THost host, QObject* parent)
    : QObject(parent), host_(std::move(host)), desktop_(&host_.Desktop) {}

TBatchRun::~TBatchRun() {
    // The handlers point here: the tasks end, and their deliveries with them, before they go.
    TMediaConverter& converter = host_.Converter;
    converter.Stop(true);
    converter.SetOnProgress(nullptr);
    converter.SetOnPreviewBitmap(nullptr);
    converter.SetOnTerminate(nullptr);
    converter.SetOnCustomHook(nullptr);
    if (running_) {
        desktop_->HoldSleep(false);
    }
}

TfrmProgress& TBatchRun::ProgressWindow() {
    if (progress_ == nullptr) {
        TfrmProgress::THost window;
        window.lastPreview = [this]() -> const QImage& { return lastPreview_; };
        window.conversionsAtOnce = [this] {
            return TAppSettings(host_.Settings, host_.DefaultFolder).ConversionsAtOnce();
        };
        window.pausedChanged = [this](bool paused) { SetPaused(paused); };
        window.closing = [this] {
            // Closed by the user before the end: what ends now was cancelled, not failed.
            if (running_ && !finalEvent_) {
                stopped_ = true;
            }
        };
        window.saveSnapshot = [this](const QImage& full, const QImage& small) {
            SaveSnapshotFiles(full, small);
        };
        progress_ = new TfrmProgress(host_.Converter, std::move(window), host_.Window);
    }
    return *progress_;
}

bool TBatchRun::CommonStart() {
    TMediaConverter& converter = host_.Converter;
    TAppSettings settings(host_.Settings, host_.DefaultFolder);
    if (std::optional<TThreadPriority> priority = PriorityFor(settings.Priority())) {
        converter.SetThreadPriority(*priority);
    }
    const std::vector<int> checked = host_.List.CheckedRows();
    if (checked.empty()) {
        host_.Dialogs.ShowMessage("Warning", "Please select a file by clicking the check box!",
                                  TMessageIcon::Warning);
        return false;
    }
    if (!converter.LibrariesLoaded() && !converter.LoadLibraries(host_.LibraryFolder)) {
        host_.Dialogs.ShowMessage(host_.AppTitle, converter.LastErrMsg(), TMessageIcon::Error);
        return false;
    }
    taskRows_.clear();
    taskRows_.reserve(checked.size());
    if (host_.StopPreview) {
        host_.StopPreview();
    }
    converter.ClearTasks();
    hook_.Clear();
    lastPreview_ = QImage();
    failures_.clear();
    taskEnded_.clear();
    tasksEnded_ = 0;
    converted_ = 0;
    lastFinished_ = false;
    finalEvent_ = false;
    stopped_ = false;

    converter.SetCodecThreads(settings.AllCores() ? 0 : 1);
    converter.SetPreviewBitmap(true);
    converter.SetOnProgress([this](TCustomMediaConverter* sender, TProgressInfo* info) {
        ConverterProgress(sender, info);
    });
    converter.SetOnPreviewBitmap([this](TCustomMediaConverter* sender, const TPreviewInfo& info) {
        ConverterPreviewBitmap(sender, info);
    });
    converter.SetOnTerminate([this](TCustomMediaConverter* sender, const TTerminateInfo& info) {
        ConverterTerminate(sender, info);
    });
    converter.SetOnCustomHook(hook_.Handler());
    return true;
}

bool TBatchRun::btnStartClick() {
    if (running_ || !CommonStart()) {
        return false;
    }
    const int code = TAppSettings(host_.Settings, host_.DefaultFolder).FormatCodeNumber();
    EnsureFormatSettings(host_.Settings, host_.FormatFile, code, host_.Dialogs, host_.AppTitle);
    const int progressColumn = host_.List.ProgressColumn();
    for (int row : host_.List.CheckedRows()) {
        TQueuedRow queued;
        try {
            queued = QueueRow(row);
        } catch (const std::exception& e) {
            queued.Error = e.what();
        }
        if (queued.Task < 0) {
            host_.List.SetCell(row, progressColumn, "Error");
            failures_.push_back(host_.List.Caption(row).toStdString() + ": " +
                                (queued.Error.empty() ? "It cannot be opened." : queued.Error));
            continue;
        }
        taskRows_.push_back(row);
        host_.List.SetCell(row, progressColumn, QString());
        ShowDestination(row, queued.OutputPath);
    }
    taskEnded_.assign(taskRows_.size(), false);
    if (taskRows_.empty()) {
        WrapUp();
        return false;
    }
    running_ = true;
    TRunControls controls;
    controls.Add = controls.Remove = controls.Clear = controls.Start = false;
    controls.Stop = controls.Pause = true;
    SetControls(controls);
    desktop_->HoldSleep(true);
    ProgressWindow().ShowForRun();
    return true;
}

TQueuedRow TBatchRun::QueueRow(int row) {
    TlvFilesRecord& record = host_.List.Record(row);
    switch (record.Kind) {
    case TRowKind::File:
        return QueueFileRow(row);
    case TRowKind::Title: {
        if (!titleQueuer_) {
            return TQueuedRow{-1, "DVD titles cannot be converted by this run."};
        }
        TQueuedRow queued = titleQueuer_(row, record);
        if (queued.Task >= 0 && NeedsFrameHook(record)) {
            hook_.SetTaskEffects(queued.Task, FrameEffectsOf(record));
        }
        return queued;
    }
    }
    return TQueuedRow{-1, "Unknown kind of row."};
}

void TBatchRun::AskFrameEffects(int task, const TlvFilesRecord& record, TOutputOptions& output) {
    if (NeedsFrameHook(record)) {
        hook_.SetTaskEffects(task, FrameEffectsOf(record));
        output.CustomHook = true;
    }
}

TQueuedRow TBatchRun::QueueFileRow(int row) {
    TMediaConverter& converter = host_.Converter;
    TlvFilesRecord& record = host_.List.Record(row);
    const std::string source = host_.List.Caption(row).toStdString();

    TInputOptions input;
    input.FileName = source;
    TAVProbe& probe = *converter.AVProbe();
    if (!probe.LoadFile(source)) {
        return TQueuedRow{-1, probe.LastError()};
    }
    input.FileFormat = probe.FormatName();
    if (record.TrimStart >= 0) {
        input.StartTime = record.TrimStart;
    }

    const int code = TAppSettings(host_.Settings, host_.DefaultFolder).FormatCodeNumber();
    const std::string section = FormatSection(code);
    const std::string ext = host_.FormatFile.ReadString(section, "FileExt", "mp4");
    const std::string output = MakeOutputPath(host_.Settings, host_.Dialogs, probe.FileName(),
                                              "." + ext, host_.DefaultFolder);
    if (output.empty()) {
        probe.Close();
        return TQueuedRow{-1, "No output folder could be created."};
    }
    record.ZoomMode = host_.Settings.ReadString(section, "paraZoom", "lbox");

    TOutputOptions out;
    out.FileName = output;
    TOptionBuilder(host_.Settings, host_.FormatFile, host_.Dialogs)
        .BuildOutputOptions(RowEdits(record), code, out, probe, input);
    if (record.TrimLength > 0) {
        out.RecordingTime = record.TrimLength;
    }
    probe.Close();

    const int task = converter.AddTask(source, &input);
    if (task < 0) {
        return TQueuedRow{-1, converter.LastErrMsg()};
    }
    AskFrameEffects(task, record, out);
    if (!converter.SetOutputFile(task, output, &out)) {
        TQueuedRow failed{-1, converter.LastErrMsg()};
        converter.RemoveTask(task);
        std::error_code ec;
        std::filesystem::remove(PartFileName(output), ec);
        return failed;
    }
    return TQueuedRow{task, {}, output};
}

void TBatchRun::ShowDestination(int row, const std::string& output) {
    if (output.empty()) {
        return;
    }
    host_.List.Record(row).OutputName = output;
    if (const int column = host_.List.DestinationColumn(); column >= 0) {
        host_.List.SetCell(
            row, column, QString::fromStdString(std::filesystem::path(output).filename().string()));
    }
}

void TBatchRun::ConverterProgress(TCustomMediaConverter* sender, TProgressInfo* info) {
    if (info == nullptr || info->TaskIndex < 0 ||
        info->TaskIndex >= static_cast<int>(taskRows_.size()) || taskEnded_[info->TaskIndex]) {
        return; // a late report of a task whose end is already shown
    }
    const int row = taskRows_[info->TaskIndex];
    TfrmProgress& window = ProgressWindow();
    QString cell;
    if (std::optional<int> percent = ProgressPercent(info->CurrentDuration, info->TotalDuration)) {
        const int shown = std::clamp(*percent, 0, 100);
        window.progbarFile->setRange(0, 100);
        window.progbarFile->setValue(shown);
        cell = QString::number(shown) + "%";
    } else {
        // The length is unknown: a busy bar, and the seconds done so far.
        window.progbarFile->setRange(0, 0);
        cell = QString::number(info->CurrentDuration / 1000000) + " s";
    }
    host_.List.SetCell(row, host_.List.ProgressColumn(), cell);
    window.lblTime->setText(SecondsLabel(info->CurrentDuration));
    window.lblLength->setText(SecondsLabel(std::max<int64_t>(info->TotalDuration, 0)));
    window.lblSize->setText(SizeLabel(info->CurrentSize));
    window.lblProgress->setText(CounterLabel(info->TaskIndex, sender->TaskCount()));
    window.lblOutput->setText(OutputLabel(host_.List.Caption(row)));
}

void TBatchRun::ConverterPreviewBitmap(TCustomMediaConverter*, const TPreviewInfo& info) {
    const TPicture* picture = info.Bitmap;
    if (picture == nullptr || picture->Width() <= 0 || picture->Height() <= 0) {
        return;
    }
    lastPreview_ = QImage(picture->Bits(), picture->Width(), picture->Height(), picture->Stride(),
                          QImage::Format_BGR888)
                       .copy();
}

void TBatchRun::ConverterTerminate(TCustomMediaConverter*, const TTerminateInfo& info) {
    // A delivery thread: the windows are changed on the user-interface thread.
    QMetaObject::invokeMethod(
        this,
        [this, info] {
            if (info.TaskIndex < 0) {
                RunTerminated();
            } else {
                TaskTerminated(info);
            }
        },
        Qt::QueuedConnection);
}

void TBatchRun::TaskTerminated(const TTerminateInfo& info) {
    const int task = info.TaskIndex;
    if (task >= static_cast<int>(taskRows_.size()) || taskEnded_[task]) {
        return;
    }
    taskEnded_[task] = true;
    ++tasksEnded_;
    const int row = taskRows_[task];
    if (info.Finished) {
        ++converted_;
        host_.List.SetCell(row, host_.List.ProgressColumn(), "100%");
        ProgressWindow().progbarFile->setRange(0, 100);
        ProgressWindow().progbarFile->setValue(100);
        lastFinished_ = lastFinished_ || task + 1 == static_cast<int>(taskRows_.size());
    } else if (!stopped_) {
        const std::string reason =
            info.ExceptionMsg.empty() ? "The conversion did not complete." : info.ExceptionMsg;
        failures_.push_back(host_.List.Caption(row).toStdString() + ": " + reason);
    }
    if (finalEvent_ && tasksEnded_ == static_cast<int>(taskRows_.size())) {
        WrapUp();
    }
}

void TBatchRun::RunTerminated() {
    if (!running_ || finalEvent_) {
        return;
    }
    finalEvent_ = true;
    SetControls(TRunControls{});
    host_.Converter.ClearTasks();
    if (progress_ != nullptr && progress_->isVisible()) {
        progress_->close();
    }
    if (tasksEnded_ == static_cast<int>(taskRows_.size())) {
        WrapUp();
    }
}

void TBatchRun::WrapUp() {
    const bool ran = running_;
    running_ = false;
    if (ran) {
        desktop_->HoldSleep(false);
    }
    // The end-of-run actions follow the last queued task, and only a finished one; a run the
    // user stopped does not go on to them.
    if (lastFinished_ && !stopped_ && progress_ != nullptr) {
        if (progress_->ckOpen->isChecked() && host_.OpenOutputFolder) {
            host_.OpenOutputFolder();
        }
        if (progress_->ckShutDown->isChecked()) {
            desktop_->ShutDownComputer();
        }
    }
    if (ran) {
        desktop_->RunEnded(converted_, static_cast<int>(failures_.size()),
                           QString::fromStdString(OutputFolder()));
    }
    if (!failures_.empty()) {
        std::string text = "These files could not be converted:";
        for (const std::string& line : failures_) {
            text += "\n" + line;
        }
        host_.Dialogs.ShowMessage("Warning", text, TMessageIcon::Warning);
    }
    emit RunFinished();
}

void TBatchRun::btnPauseClick() {
    host_.Converter.Pause();
    SetPaused(true);
}

void TBatchRun::btnResumeClick() {
    host_.Converter.Resume();
    SetPaused(false);
}

void TBatchRun::SetPaused(bool paused) {
    TRunControls controls = controls_;
    controls.Pause = !paused;
    controls.Resume = paused;
    SetControls(controls);
    if (progress_ != nullptr) {
        progress_->ShowPaused(paused);
    }
}

void TBatchRun::btnStopClick() {
    if (running_) {
        stopped_ = true;
    }
    TRunControls controls;
    controls.Remove = controls.Clear = controls.Start = false;
    SetControls(controls);
    host_.Converter.Stop(true);
}

void TBatchRun::SetControls(const TRunControls& controls) {
    controls_ = controls;
    emit ControlsChanged(controls_);
}

void TBatchRun::SaveSnapshotFiles(const QImage& full, const QImage& small) {
    try {
        SaveSnapshot(
            full, small, false,
            TSnapshotPlace{host_.Settings, host_.Dialogs, host_.DefaultFolder, host_.OpenFolder});
    } catch (const std::exception& e) {
        host_.Dialogs.ShowMessage("Warning", e.what(), TMessageIcon::Warning);
    }
}

std::string TBatchRun::OutputFolder() const {
    return TAppSettings(host_.Settings, host_.DefaultFolder).OutputDir();
}

} // namespace quovo
