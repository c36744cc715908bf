// The batch run of the source list: every checked row becomes one task of the main window's
// conversion component, in list order. The run owns the run: Start, Pause, Resume and Stop, the
// starting of the tasks and the end-of-run actions. The progress window is its view: the run
// reports by signal (ProgressReported, TaskFinished) and the window forwards the user's commands.
//
// Start copies what each checked row holds (its source, as known from adding or importing it,
// and its edits) on the user-interface thread, then a worker ("run-plan") plans every row with
// the task planner and adds its task to the component; the interface only shows each row's
// outcome as it comes. A row that cannot be queued reads "Error" in its Progress cell and is
// named in one message at the end; the others run. While the worker queues, the component
// belongs to it: the run's commands that would touch the component wait for it (Stop cancels
// the rows not yet queued).
//
// The component's progress events arrive on this thread; its terminate events arrive on a
// delivery thread and are handed over to this thread before anything is touched. The end of the
// run (the component's final event) closes the progress window and, when the last queued task
// finished, opens the output folder and shuts the computer down as the window's boxes ask.
#pragma once

#include "TDesktopActions.h"
#include "TDialogService.h"
#include "TEffectsHook.h"
#include "TIniStore.h"
#include "TMediaConverter.h"
#include "TSourceListModel.h"
#include "TTaskPlanner.h"

#include <QImage>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class QWidget;

namespace quovo {

class TfrmProgress;

// Which of the main window's run buttons are enabled.
struct TRunControls {
    bool Add = true, Remove = true, Clear = true, Start = true;
    bool Stop = false, Pause = false, Resume = false;
    bool operator==(const TRunControls&) const = default;
};

// One progress report as the views show it.
struct TRunProgress {
    int Row = -1;
    std::optional<int> Percent; // none: the length is unknown
    QString Cell;               // the row's Progress cell
    QString Time, Length, Size, Counter, Output;
};

class TBatchRun : public QObject {
    Q_OBJECT
public:
    struct THost {
        TMediaConverter& Converter;
        TSourceListModel& List;
        TIniStore& Settings;
        const TIniStore& FormatFile;
        TDialogService& Dialogs;
        TDesktopActions& Desktop;
        QWidget* Window = nullptr; // the progress window's parent
        std::string AppTitle;
        std::string LibraryFolder; // where the media libraries load from, when not yet loaded
        std::string DefaultFolder; // the platform's Videos + "/videoconverter"
        std::function<void()> StopPreview;
        std::function<void()> OpenOutputFolder; // as the main window's "Open"
        std::function<void(const std::string& folder)> OpenFolder;
    };

    explicit TBatchRun(THost host, QObject* parent = nullptr);
    ~TBatchRun() override;

    // Another desktop for the runs from now on (tests put a recorder here).
    void SetDesktop(TDesktopActions& desktop) { desktop_ = &desktop; }

    // Starts the run of every checked row: false when none is checked (or a run is on). The
    // rows are queued on a worker; Queued follows, then the tasks start.
    bool btnStartClick();
    // Rows are being planned and queued.
    bool Queueing() const { return planner_.joinable(); }
    void btnPauseClick();
    void btnResumeClick();
    void btnStopClick();

    // Task index → list position, for the tasks of the current run.
    const std::vector<int>& TaskRows() const { return taskRows_; }
    bool Running() const { return running_; }
    TRunControls Controls() const { return controls_; }
    TfrmProgress& ProgressWindow();
    const QImage& LastPreview() const { return lastPreview_; }

    // The disc of the title rows, asked at Start: its path, or empty with why the title rows
    // cannot be converted now.
    using TTitleDisc = std::function<std::string(std::string& error)>;
    void SetTitleDisc(TTitleDisc disc) { titleDisc_ = std::move(disc); }

    // The component's handlers (set by the run at its start).
    void ConverterProgress(TCustomMediaConverter* sender, TProgressInfo* info);
    void ConverterPreviewBitmap(TCustomMediaConverter* sender, const TPreviewInfo& info);
    void ConverterTerminate(TCustomMediaConverter* sender, const TTerminateInfo& info);

signals:
    void ControlsChanged(const TRunControls& controls);
    // Every checked row has been queued or has failed; `tasks` run now (0: the run ends).
    void Queued(int tasks);
    void ProgressReported(const quovo::TRunProgress& progress);
    // A task finished its file.
    void TaskFinished(int row);
    // The whole run has ended and its end-of-run actions are done.
    void RunFinished();

private:
    // The start both kinds of row share; false when nothing is checked.
    bool CommonStart();
    void TaskTerminated(const TTerminateInfo& info);
    void RunTerminated();
    // Once the final event and every task's end are in.
    void WrapUp();
    struct TRowJob {
        int Row = -1;
        TPlanSource Source;
        TPlanEdits Edits;
        std::string Error; // known before planning
    };
    struct TRowQueued {
        int Row = -1;
        int Task = -1;
        std::string Error;
        std::string OutputPath;
        std::string ZoomMode;
    };
    // On the worker: plans and queues every job, reporting each.
    void QueueRows(std::vector<TRowJob> jobs, int formatCode);
    void RowQueued(const TRowQueued& queued);
    void QueueingDone();
    void JoinPlanner();
    // The file a queued row writes: in its record, and in its Destination cell when it has one.
    void ShowDestination(int row, const std::string& output);
    void SetControls(const TRunControls& controls);
    void SetPaused(bool paused);
    void SaveSnapshotFiles(const QImage& full, const QImage& small);
    std::string OutputFolder() const;

    THost host_;
    TDesktopActions* desktop_;
    TEffectsHook hook_;
    QPointer<TfrmProgress> progress_;
    QImage lastPreview_;
    TTitleDisc titleDisc_;
    class TPostedDialogs;
    std::unique_ptr<TPostedDialogs> workerDialogs_;
    std::thread planner_;
    std::atomic<bool> cancelQueueing_{false};
    TRunControls controls_;

    // --- the current run (user-interface thread)
    std::vector<int> taskRows_;
    std::vector<bool> taskEnded_;
    std::vector<std::string> failures_; // one line per row that failed
    int tasksEnded_ = 0;
    int converted_ = 0;
    bool lastFinished_ = false;
    bool finalEvent_ = false;
    bool stopped_ = false;
    bool running_ = false;
    bool paused_ = false;
};

} // namespace quovo

Q_DECLARE_METATYPE(quovo::TRunProgress)
