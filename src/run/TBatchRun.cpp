#include "TBatchRun.h"

#include "FormatCatalogue.h"
#include "FormatRules.h"
#include "OutputPath.h"
#include "RecordEffects.h"
#include "RunRules.h"
#include "SaveSnapshot.h"
#include "TAppSettings.h"
#include "TFormatSettings.h"
#include "TOptionBuilder.h"
#include "TfrmProgress.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <filesystem>
#include <pthread.h>
#include <system_error>

namespace quovo {

// The questions and messages of planning on the worker: messages are posted to the user-interface
// thread (the worker never waits for it), and the one question, about a stored frame size that
// is not a size, was answered at Start.
class TBatchRun::TPostedDialogs : public TDialogService {
public:
    TPostedDialogs(TBatchRun& run, bool sizeAnswer) : run_(run), sizeAnswer_(sizeAnswer) {}
    void ShowMessage(const std::string& title, const std::string& text,
                     TMessageIcon icon) override {
        TDialogService& dialogs = run_.host_.Dialogs;
        QMetaObject::invokeMethod(
            &run_, [&dialogs, title, text, icon] { dialogs.ShowMessage(title, text, icon); },
            Qt::QueuedConnection);
    }
    bool AskYesNo(const std::string&, const std::string&) override { return sizeAnswer_; }

private:
    TBatchRun& run_;
    const bool sizeAnswer_;
};

TBatchRun::TBatchRun(THost host, QObject* parent)
    : QObject(parent), host_(std::move(host)), desktop_(&host_.Desktop) {
    qRegisterMetaType<TRunProgress>();
}

TBatchRun::~TBatchRun() {
    cancelQueueing_ = true;
    JoinPlanner();
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
        window.pausedChanged = [this](bool paused) { paused ? btnPauseClick() : btnResumeClick(); };
        window.closing = [this] {
            // Closed by the user before the end: what ends now was cancelled, not failed.
            if (running_ && !finalEvent_) {
                stopped_ = true;
                host_.Converter.Stop(true);
            }
        };
        window.saveSnapshot = [this](const QImage& full, const QImage& small) {
            SaveSnapshotFiles(full, small);
        };
        progress_ = new TfrmProgress(std::move(window), host_.Window);
        TfrmProgress* view = progress_;
        connect(this, &TBatchRun::ProgressReported, view, [view](const TRunProgress& p) {
            if (p.Percent) {
                view->progbarFile->setRange(0, 100);
                view->progbarFile->setValue(*p.Percent);
            } else {
                view->progbarFile->setRange(0, 0); // a busy bar
            }
            view->lblTime->setText(p.Time);
            view->lblLength->setText(p.Length);
            view->lblSize->setText(p.Size);
            view->lblProgress->setText(p.Counter);
            view->lblOutput->setText(p.Output);
        });
        connect(this, &TBatchRun::TaskFinished, view, [view] {
            view->progbarFile->setRange(0, 100);
            view->progbarFile->setValue(100);
        });
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
    if (running_ || Queueing() || !CommonStart()) {
        return false;
    }
    const int code = TAppSettings(host_.Settings, host_.DefaultFolder).FormatCodeNumber();

    // What each row holds is copied here; the worker touches no row.
    std::vector<TRowJob> jobs;
    std::string disc;
    std::string discError;
    bool discAsked = false;
    for (int row : host_.List.CheckedRows()) {
        const TlvFilesRecord& record = host_.List.Record(row);
        TRowJob job;
        job.Row = row;
        if (record.Kind == TRowKind::Title && !discAsked) {
            discAsked = true;
            disc = titleDisc_ ? titleDisc_(discError) : std::string();
            if (disc.empty() && discError.empty()) {
                discError = "DVD titles cannot be converted by this run.";
            }
        }
        if (record.Kind == TRowKind::Title && disc.empty()) {
            job.Error = discError;
        }
        job.Source = PlanSourceOf(record, disc);
        if (job.Source.FileName.empty() && !job.Source.IsTitle) {
            job.Source.FileName = host_.List.Caption(row).toStdString();
        }
        job.Edits = PlanEditsOf(record);
        jobs.push_back(std::move(job));
    }

    // The one question planning may have is put now, not in the middle of the queueing.
    bool sizeAnswer = false;
    const TFormatSettings stored(host_.Settings, host_.FormatFile, code);
    if (!TrimBlanks(stored.Value(TFormatKey::VideoEncoder)).empty() &&
        VideoSizeNeedsQuestion(stored.Value(TFormatKey::VideoSize))) {
        sizeAnswer = host_.Dialogs.AskYesNo("Warning", kVideoSizeQuestion);
    }

    running_ = true;
    paused_ = false;
    TRunControls controls;
    controls.Add = controls.Remove = controls.Clear = controls.Start = false;
    controls.Stop = true;
    SetControls(controls);
    desktop_->HoldSleep(true);
    workerDialogs_ = std::make_unique<TPostedDialogs>(*this, sizeAnswer);
    cancelQueueing_ = false;
    planner_ = std::thread([this, jobs = std::move(jobs), code]() mutable {
        pthread_setname_np(pthread_self(), "run-plan");
        QueueRows(std::move(jobs), code);
    });
    return true;
}

void TBatchRun::QueueRows(std::vector<TRowJob> jobs, int formatCode) {
    TTaskPlanner planner(host_.Settings, host_.FormatFile, *workerDialogs_, host_.DefaultFolder);
    for (TRowJob& job : jobs) {
        if (cancelQueueing_) {
            break;
        }
        TRowQueued queued;
        queued.Row = job.Row;
        queued.Error = job.Error;
        if (queued.Error.empty()) {
            try {
                TPlannedTask planned = planner.Plan(job.Source, formatCode, job.Edits);
                queued.ZoomMode = planned.ZoomMode;
                queued.Error = planned.Error;
                if (planned.Ok()) {
                    queued.Task = QueuePlannedTask(host_.Converter, planned, queued.Error);
                    queued.OutputPath = planned.OutputPath;
                }
            } catch (const std::exception& e) {
                queued.Error = e.what();
            }
        }
        QMetaObject::invokeMethod(
            this, [this, queued] { RowQueued(queued); }, Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(
        this, [this] { QueueingDone(); }, Qt::QueuedConnection);
}

void TBatchRun::RowQueued(const TRowQueued& queued) {
    const int row = queued.Row;
    if (row < 0 || row >= host_.List.Count()) {
        return;
    }
    TlvFilesRecord& record = host_.List.Record(row);
    if (!queued.ZoomMode.empty()) {
        record.ZoomMode = queued.ZoomMode;
    }
    const int progressColumn = host_.List.ProgressColumn();
    if (queued.Task < 0) {
        host_.List.SetCell(row, progressColumn, "Error");
        failures_.push_back(host_.List.Caption(row).toStdString() + ": " +
                            (queued.Error.empty() ? "It cannot be opened." : queued.Error));
        return;
    }
    // Tasks start only once every row is queued: the effects are in the hook before then.
    if (NeedsFrameHook(record)) {
        hook_.SetTaskEffects(queued.Task, FrameEffectsOf(record));
    }
    taskRows_.push_back(row);
    host_.List.SetCell(row, progressColumn, QString());
    ShowDestination(row, queued.OutputPath);
}

void TBatchRun::JoinPlanner() {
    if (planner_.joinable()) {
        planner_.join();
    }
}

void TBatchRun::QueueingDone() {
    JoinPlanner();
    workerDialogs_.reset();
    taskEnded_.assign(taskRows_.size(), false);
    if (stopped_ || taskRows_.empty()) {
        // Stopped while queueing, or nothing could be: what was queued never starts.
        host_.Converter.ClearTasks();
        taskRows_.clear();
        taskEnded_.clear();
        SetControls(TRunControls{});
        emit Queued(0);
        WrapUp();
        return;
    }
    TRunControls controls = controls_;
    controls.Pause = true;
    SetControls(controls);
    emit Queued(static_cast<int>(taskRows_.size()));
    ProgressWindow().ShowForRun();
    host_.Converter.StartTask(
        TAppSettings(host_.Settings, host_.DefaultFolder).ConversionsAtOnce());
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
    TRunProgress p;
    p.Row = taskRows_[info->TaskIndex];
    if (std::optional<int> percent = ProgressPercent(info->CurrentDuration, info->TotalDuration)) {
        p.Percent = std::clamp(*percent, 0, 100);
        p.Cell = QString::number(*p.Percent) + "%";
    } else {
        // The length is unknown: the seconds done so far.
        p.Cell = QString::number(info->CurrentDuration / 1000000) + " s";
    }
    p.Time = SecondsLabel(info->CurrentDuration);
    p.Length = SecondsLabel(std::max<int64_t>(info->TotalDuration, 0));
    p.Size = SizeLabel(info->CurrentSize);
    p.Counter = CounterLabel(info->TaskIndex, sender->TaskCount());
    p.Output = OutputLabel(host_.List.Caption(p.Row));
    host_.List.SetCell(p.Row, host_.List.ProgressColumn(), p.Cell);
    emit ProgressReported(p);
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
        emit TaskFinished(row);
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
    if (!running_ || Queueing() || paused_) {
        return;
    }
    host_.Converter.Pause();
    SetPaused(true);
}

void TBatchRun::btnResumeClick() {
    if (!paused_) {
        return;
    }
    host_.Converter.Resume();
    SetPaused(false);
}

void TBatchRun::SetPaused(bool paused) {
    paused_ = paused;
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
    if (Queueing()) {
        cancelQueueing_ = true; // the worker's end stops the run
        return;
    }
    paused_ = false;
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
