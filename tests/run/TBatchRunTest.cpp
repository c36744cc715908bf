#include "RunTestSupport.h"

#include "RunRules.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <filesystem>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quovo {
namespace {

namespace fs = std::filesystem;
using test::TRunTest;

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class BatchRunTest : public TRunTest {};

TEST_F(BatchRunTest, NothingCheckedOnlyWarns) {
    AddFile(Clip("a.mkv"));
    list_.UncheckAll();
    EXPECT_FALSE(run_->btnStartClick());
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0].Title, "Warning");
    EXPECT_EQ(dialogs_.Messages[0].Text, "Please select a file by clicking the check box!");
    EXPECT_EQ(converter_.TaskCount(), 0);
    EXPECT_TRUE(desktop_.Holds.empty());
    EXPECT_FALSE(run_->Running());
}

// Two checked rows out of five: the tasks follow the list, and the window shows each report of
// the task that sent it.
TEST_F(BatchRunTest, TaskRowsAndTheProgressOfEachTask) {
    const std::string clip = Clip("a.mkv");
    for (int i = 0; i < 5; ++i) {
        AddFile(clip);
    }
    for (int row : {0, 2, 4}) {
        list_.SetChecked(row, false);
    }
    ASSERT_TRUE(Start());
    run_->btnPauseClick(); // the real reports wait while these are checked
    EXPECT_EQ(run_->TaskRows(), (std::vector<int>{1, 3}));
    TfrmProgress& window = run_->ProgressWindow();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isModal());
    EXPECT_FALSE(window.btnPause->isEnabled());
    EXPECT_TRUE(window.btnResume->isEnabled());

    TProgressInfo report;
    report.TaskIndex = 0;
    report.CurrentDuration = 30500000;
    report.TotalDuration = 61000000;
    report.CurrentSize = 123456;
    run_->ConverterProgress(&converter_, &report);
    EXPECT_EQ(window.progbarFile->value(), 50);
    EXPECT_EQ(Progress(1), "50%");
    EXPECT_EQ(window.lblTime->text(), "30 Second");
    EXPECT_EQ(window.lblLength->text(), "61 Second");
    EXPECT_EQ(window.lblSize->text(), "123 kb");
    EXPECT_EQ(window.lblProgress->text(), "[1/2]");
    EXPECT_EQ(window.lblOutput->text(), OutputLabel(QString::fromStdString(clip)));

    // A length the source does not tell: a busy bar, and the seconds done in the row.
    report.TaskIndex = 1;
    report.TotalDuration = -1;
    run_->ConverterProgress(&converter_, &report);
    EXPECT_EQ(window.lblProgress->text(), "[2/2]");
    EXPECT_EQ(window.progbarFile->maximum(), 0);
    EXPECT_EQ(Progress(3), "30 s");
    EXPECT_EQ(Progress(1), "50%");

    run_->btnResumeClick();
    EXPECT_TRUE(window.btnPause->isEnabled());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(Progress(1), "100%");
    EXPECT_EQ(Progress(3), "100%");
    EXPECT_EQ(Progress(0), "");
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(converter_.TaskCount(), 0);
    EXPECT_EQ(desktop_.Holds, (std::vector<bool>{true, false}));
    EXPECT_TRUE(dialogs_.Messages.empty());
}

// The row's trim reaches the task: the output starts with the source's frame at 10 s and lasts
// 20 s.
TEST_F(BatchRunTest, TrimmedRowConvertsItsPart) {
    AddFile(Clip("long.mkv", 31), 10000000, 20000000);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitForEnd());
    ASSERT_EQ(Progress(0), "100%");
    const std::string output = Out() + "/long_(new).mp4";
    const fixtures::ProbeResult probe = fixtures::ProbeMedia(output);
    EXPECT_NEAR(probe.durationS, 20.0, 0.2);
    const std::vector<int> frames = fixtures::ReadFrameNumbers(output);
    ASSERT_FALSE(frames.empty());
    // 10 s of a 25 frames/s source; the input seeks to a key frame at or before it.
    EXPECT_NEAR(frames.front(), 250, 12);
}

// Three files, the second unreadable, the third of the first one's name from another folder: it
// reads "Error", the others convert to outputs of their own, and one message names the failure.
TEST_F(BatchRunTest, AnUnreadableRowFailsAloneAndIsNamedAtTheEnd) {
    const std::string first = Clip("a/clip.mkv");
    const std::string text = dir_ / "notes.avi";
    fixtures::MakeTextFile(text);
    const std::string third = Clip("c/clip.mkv");
    for (const std::string& path : {first, text, third}) {
        AddFile(path);
    }
    ASSERT_TRUE(Start());
    EXPECT_EQ(Progress(1), "Error");
    EXPECT_EQ(run_->TaskRows(), (std::vector<int>{0, 2}));
    EXPECT_TRUE(dialogs_.Messages.empty()); // not before the end
    ASSERT_TRUE(WaitForEnd());

    EXPECT_EQ(Progress(0), "100%");
    EXPECT_EQ(Progress(1), "Error");
    EXPECT_EQ(Progress(2), "100%");
    EXPECT_EQ(FilesIn(Out()), (std::vector<std::string>{"clip_(new).mp4", "clip_(new_1).mp4"}));
    for (const char* name : {"clip_(new).mp4", "clip_(new_1).mp4"}) {
        const fixtures::ProbeResult probe = fixtures::ProbeMedia(Out() + "/" + name);
        const fixtures::StreamProbe* video = probe.Find(fixtures::StreamKind::Video);
        const fixtures::StreamProbe* audio = probe.Find(fixtures::StreamKind::Audio);
        ASSERT_NE(video, nullptr) << name;
        ASSERT_NE(audio, nullptr) << name;
        EXPECT_EQ(video->codec, "h264");
        EXPECT_EQ(video->width, 320);
        EXPECT_EQ(video->height, 240);
        EXPECT_GT(video->decodedFrames, 20);
        EXPECT_EQ(audio->codec, "aac");
        EXPECT_NEAR(probe.durationS, 1.0, 0.15);
    }
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0].Title, "Warning");
    EXPECT_EQ(
        dialogs_.Messages[0].Text.rfind("These files could not be converted:\n" + text + ": ", 0),
        0u)
        << dialogs_.Messages[0].Text;
    ASSERT_EQ(desktop_.Ends.size(), 1u);
    EXPECT_EQ(desktop_.Ends[0].Converted, 2);
    EXPECT_EQ(desktop_.Ends[0].Failed, 1);
    EXPECT_EQ(desktop_.Ends[0].Folder, QString::fromStdString(Out()));
    EXPECT_EQ(desktop_.Holds, (std::vector<bool>{true, false}));
    EXPECT_TRUE(fs::exists(text));
}

// The end-of-run actions follow the last queued task and run only when it finished.
TEST_F(BatchRunTest, EndOfRunActionsFollowTheLastQueuedTask) {
    enum class Last { Converts, FailsWhileConverting, CannotBeOpened };
    struct Case {
        const char* name;
        Last last;
        bool shutDownBox;
        int shutdowns;
        int folderOpened;
    };
    const Case cases[] = {
        {"last converts", Last::Converts, true, 1, 1},
        {"last converts, box cleared", Last::Converts, false, 0, 1},
        {"last fails while converting", Last::FailsWhileConverting, true, 0, 0},
        {"last never queued: the one before is the last", Last::CannotBeOpened, true, 1, 1},
    };
    const std::string good = Clip("good.mkv");
    const std::string broken = dir_ / "broken.avi";
    fixtures::MakeClaimedSizeAvi(broken, 320, 240, 25, 900); // opens, but makes no picture
    const std::string text = dir_ / "text.avi";
    fixtures::MakeTextFile(text);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        list_.Clear();
        finished_ = outputFolderOpened_ = desktop_.Shutdowns = 0;
        dialogs_.Messages.clear();
        AddFile(good);
        AddFile(c.last == Last::Converts               ? good
                : c.last == Last::FailsWhileConverting ? broken
                                                       : text);
        run_->ProgressWindow().ckShutDown->setChecked(c.shutDownBox);
        ASSERT_TRUE(Start());
        ASSERT_TRUE(WaitForEnd());
        EXPECT_EQ(desktop_.Shutdowns, c.shutdowns);
        EXPECT_EQ(outputFolderOpened_, c.folderOpened);
        EXPECT_EQ(dialogs_.Messages.size(), c.last == Last::Converts ? 0u : 1u);
    }
}

// "Use all processor cores" gives the component's codecs as many threads as they like, and
// "Conversions at once" runs that many tasks side by side.
TEST_F(BatchRunTest, SpeedSettingsReachTheComponent) {
    if (std::thread::hardware_concurrency() < 2) {
        GTEST_SKIP() << "one core: one conversion at a time";
    }
    struct Case {
        bool allCores;
        int atOnce;
        int codecThreads;
        bool sideBySide;
    };
    const Case cases[] = {{true, 1, 0, false}, {false, 2, 1, true}};
    const std::string clip = Clip("film.mkv", 8, 640, 480);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.atOnce);
        list_.Clear();
        finished_ = 0;
        AddFile(clip);
        AddFile(clip);
        settings_.WriteInteger("settings", "allCores", c.allCores ? 1 : 0);
        settings_.WriteInteger("settings", "conversionsAtOnce", c.atOnce);
        ASSERT_TRUE(Start());
        EXPECT_EQ(converter_.CodecThreads(), c.codecThreads);
        // Side by side, the second task starts while the first still runs; one at a time, only
        // once it has ended.
        bool together = false;
        ASSERT_TRUE(test::WaitUntil(
            [&] {
                if (converter_.TaskCount() == 2) {
                    const bool firstEnded = converter_.Task(0)->Terminated();
                    together = together || (converter_.Task(1)->Started() && !firstEnded);
                }
                return finished_ > 0;
            },
            120));
        EXPECT_EQ(together, c.sideBySide);
        EXPECT_EQ(Progress(0), "100%");
        EXPECT_EQ(Progress(1), "100%");
        EXPECT_TRUE(dialogs_.Messages.empty());
    }
}

// Pause in the progress window holds the output where it is, Resume lets it grow again, and
// Cancel stops with a playable file.
TEST_F(BatchRunTest, PauseResumeAndCancelFromTheProgressWindow) {
    const std::string source = Clip("film.mkv", 60, 640, 480);
    AddFile(source);
    settings_.WriteInteger("settings", "conversionsAtOnce", 1);
    ASSERT_TRUE(Start());
    TfrmProgress& window = run_->ProgressWindow();
    const std::string part = Out() + "/film_(new).mp4.part";
    auto size = [&] {
        std::error_code ec;
        const auto bytes = fs::file_size(part, ec);
        return ec ? uintmax_t{0} : bytes;
    };
    ASSERT_TRUE(
        test::WaitUntil([&] { return size() > 0 && !window.lblTime->text().isEmpty(); }, 60));

    window.btnPause->click();
    EXPECT_FALSE(window.btnPause->isEnabled());
    EXPECT_TRUE(window.btnResume->isEnabled());
    EXPECT_TRUE(run_->Controls().Resume);
    EXPECT_FALSE(run_->Controls().Pause);
    // What was on its way is written; after that the file stays as it is.
    uintmax_t held = size();
    test::WaitUntil([&] { return std::exchange(held, size()) != size(); }, 0.5);
    held = size();
    EXPECT_FALSE(test::WaitUntil([&] { return size() != held; }, 1.5));

    window.btnResume->click();
    EXPECT_TRUE(run_->Controls().Pause);
    EXPECT_TRUE(test::WaitUntil([&] { return size() > held; }, 30));

    window.btnCancel->click();
    EXPECT_FALSE(window.isVisible());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_TRUE(dialogs_.Messages.empty()); // cancelled, not failed
    const fixtures::ProbeResult probe = fixtures::ProbeMedia(Out() + "/film_(new).mp4");
    const fixtures::StreamProbe* video = probe.Find(fixtures::StreamKind::Video);
    ASSERT_NE(video, nullptr);
    EXPECT_GT(video->decodedFrames, 0);
    EXPECT_EQ(video->decodeErrors, 0);
    EXPECT_LT(probe.durationS, 59);
}

// Stop while the rows are still being queued: no task starts, no file is left behind, the run
// ends as a cancelled one, and the next Start runs normally. A pipe among the rows holds the
// queueing (its opening waits for a writer) after three rows are in.
TEST_F(BatchRunTest, StopWhileQueueingStartsNothing) {
    const std::string clip = Clip("a.mkv");
    for (int i = 0; i < 3; ++i) {
        AddFile(clip);
    }
    const std::string pipe = dir_ / "held.mkv";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    AddFile(pipe);
    AddFile(clip);
    int tasksAtQueued = -1;
    QObject::connect(run_.get(), &TBatchRun::Queued, [&](int tasks) { tasksAtQueued = tasks; });
    ASSERT_TRUE(run_->btnStartClick());
    ASSERT_TRUE(test::WaitUntil([&] { return !list_.Record(2).OutputName.empty(); }, 60));
    ASSERT_TRUE(run_->Queueing());
    EXPECT_TRUE(run_->Controls().Stop);
    EXPECT_TRUE(fs::exists(Out() + "/a_(new_2).mp4.part")); // opened as the third row's output
    run_->btnStopClick();
    EXPECT_FALSE(run_->Controls().Start);
    // Whenever the worker waits on the pipe, a writer comes and goes: its reader sees the end.
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            if (const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) {
                ::close(fd);
            }
            return finished_ > 0;
        },
        120));

    EXPECT_EQ(tasksAtQueued, 0);
    EXPECT_FALSE(run_->Running());
    EXPECT_FALSE(run_->Queueing());
    EXPECT_EQ(run_->Controls(), TRunControls{});
    EXPECT_EQ(converter_.TaskCount(), 0);
    EXPECT_FALSE(run_->ProgressWindow().isVisible());
    EXPECT_TRUE(FilesIn(Out()).empty());
    EXPECT_EQ(Progress(4), ""); // never reached
    EXPECT_EQ(desktop_.Holds, (std::vector<bool>{true, false}));
    ASSERT_EQ(desktop_.Ends.size(), 1u);
    EXPECT_EQ(desktop_.Ends[0].Converted, 0);
    EXPECT_EQ(outputFolderOpened_, 0);
    // Only a row whose planning had begun may be named, as one that could not be opened.
    ASSERT_LE(dialogs_.Messages.size(), 1u);
    if (!dialogs_.Messages.empty()) {
        EXPECT_NE(dialogs_.Messages[0].Text.find(pipe), std::string::npos);
    }
    dialogs_.Messages.clear();
    fs::remove(pipe);

    list_.UncheckAll();
    list_.SetChecked(4, true);
    ASSERT_TRUE(Start());
    EXPECT_EQ(tasksAtQueued, 1);
    ASSERT_TRUE(test::WaitUntil([&] { return finished_ == 2; }, 120));
    EXPECT_EQ(Progress(4), "100%");
    EXPECT_EQ(FilesIn(Out()), (std::vector<std::string>{"a_(new).mp4"}));
}

} // namespace
} // namespace quovo
