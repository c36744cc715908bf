// The batch run of the source list: every checked row becomes one task of the main window's
// conversion component, in list order, and the progress window shows the run.
//
// A row is queued by QueueRow, which takes each kind of row its own road: file rows through the
// probe, the output naming and the option builder (QueueFileRow); title rows through the road
// given with SetTitleRowQueuer. A row that cannot be queued reads "Error" in its Progress cell and
// is named in one message at the end; the others run. Effects and watermarks of a row ask for the
// component's per-frame hook.
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

#include <QImage>
#include <QObject>
#include <QPointer>

#include <functional>
#include <string>
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

// What queueing a row gave: the task's index and the file it writes, or -1 and why.
struct TQueuedRow {
    TQueuedRow() = default;
    TQueuedRow(int task, std::string error, std::string output = {})
        : Task(task), Error(std::move(error)), OutputPath(std::move(output)) {}
    int Task = -1;
    std::string Error;
    std::string OutputPath;
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

    // The run of every checked row. False when none is checked or none could be queued.
    bool btnStartClick();
    void btnPauseClick();
    void btnResumeClick();
    void btnStopClick();

    // Task index → list position, for the tasks of the current run.
    const std::vector<int>& TaskRows() const { return taskRows_; }
    bool Running() const { return running_; }
    TRunControls Controls() const { return controls_; }
    TfrmProgress& ProgressWindow();
    const QImage& LastPreview() const { return lastPreview_; }

    // The road of title rows: queues the row as a task of the component, asking for the
    // per-frame hook (CustomHook) when NeedsFrameHook(record), or says why it cannot. The run
    // hands the row's effects to the hook.
    using TRowQueuer = std::function<TQueuedRow(int row, TlvFilesRecord& record)>;
    void SetTitleRowQueuer(TRowQueuer queuer) { titleQueuer_ = std::move(queuer); }

    // Queues one row as the next task, by its kind.
    TQueuedRow QueueRow(int row);
    TQueuedRow QueueFileRow(int row);

    // The component's handlers (set by the run at its start).
    void ConverterProgress(TCustomMediaConverter* sender, TProgressInfo* info);
    void ConverterPreviewBitmap(TCustomMediaConverter* sender, const TPreviewInfo& info);
    void ConverterTerminate(TCustomMediaConverter* sender, const TTerminateInfo& info);

signals:
    void ControlsChanged(const TRunControls& controls);
    // The whole run has ended and its end-of-run actions are done.
    void RunFinished();

private:
    // The start both kinds of row share; false when nothing is checked.
    bool CommonStart();
    void TaskTerminated(const TTerminateInfo& info);
    void RunTerminated();
    // Once the final event and every task's end are in.
    void WrapUp();
    // A row's effects and watermarks for `task`, before its output is set.
    void AskFrameEffects(int task, const TlvFilesRecord& record, TOutputOptions& output);
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
    TRowQueuer titleQueuer_;
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
};

} // namespace quovo
