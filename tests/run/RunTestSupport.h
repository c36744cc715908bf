// What the run tests share: a desktop that records instead of powering off, and a run over a
// bare source list with the real component, settings and format file in a scratch folder.
#pragma once

#include "../formats/FormatsTestSupport.h"
#include "Fixtures.h"
#include "QtTestApp.h"
#include "TBatchRun.h"
#include "TGlobalObject.h"
#include "TfrmProgress.h"

#include <QWidget>

#include <memory>
#include <vector>

#include <ostream>

// Texts in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace quovo::test {

class TRecordingDesktop : public TDesktopActions {
public:
    void ShutDownComputer() override { ++Shutdowns; }
    void HoldSleep(bool hold) override { Holds.push_back(hold); }
    void RunEnded(int converted, int failed, const QString& folder) override {
        Ends.push_back({converted, failed, folder});
    }
    struct TEnd {
        int Converted, Failed;
        QString Folder;
    };
    int Shutdowns = 0;
    std::vector<bool> Holds;
    std::vector<TEnd> Ends;
};

class TRunTest : public ::testing::Test {
public:
    TRunTest() {
        dir_.WriteFile("quovo.ini", "[settings]\nOutPutDir=" + Out() + "\n");
        run_ = std::make_unique<TBatchRun>(TBatchRun::THost{
            .Converter = converter_,
            .List = list_,
            .Settings = settings_,
            .FormatFile = formats_,
            .Dialogs = dialogs_,
            .Desktop = desktop_,
            .Window = &window_,
            .AppTitle = "Quovo",
            .DefaultFolder = dir_ / "default",
            .OpenOutputFolder = [this] { ++outputFolderOpened_; },
        });
        QObject::connect(run_.get(), &TBatchRun::RunFinished, [this] { ++finished_; });
        QObject::connect(run_.get(), &TBatchRun::Queued, [this] { ++queued_; });
    }

    // Start, and every checked row queued (or failed): the tasks have started.
    bool Start() {
        const int before = queued_;
        return run_->btnStartClick() && WaitUntil([&] { return queued_ > before; }, 60);
    }

    std::string Out() const { return dir_ / "out"; }
    // Adds a checked file row for `path`, trimmed as given (microseconds).
    int AddFile(const std::string& path, int64_t trimStart = 0, int64_t trimLength = 0) {
        auto record = std::make_unique<TlvFilesRecord>(
            MakeFileRecord(list_.Count(), path, std::string(), 0, "lbox"));
        record->TrimStart = trimStart;
        record->TrimLength = trimLength;
        return list_.AddFileRow(std::move(record));
    }
    // An MPEG-4 clip of the fixtures' standard size unless a width is given.
    std::string Clip(const std::string& name, double seconds = 1.0, int width = 0, int height = 0) {
        fixtures::MediaSpec spec;
        spec.videoCodec = "mpeg4";
        spec.durationS = seconds;
        if (width > 0) {
            spec.width = width;
            spec.height = height;
        }
        const std::string path = dir_ / name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        fixtures::MakeMedia(path, spec);
        return path;
    }
    QString Progress(int row) const { return list_.Cell(row, list_.ProgressColumn()); }
    bool WaitForEnd(double seconds = 120) {
        return WaitUntil([this] { return finished_ > 0; }, seconds);
    }

protected:
    TScratchFolder dir_;
    TRecordingDialogs dialogs_;
    TRecordingDesktop desktop_;
    TIniStore settings_{dir_ / "quovo.ini"};
    TIniStore formats_{FindFormatFile()};
    TMediaConverter converter_;
    TSourceListModel list_;
    QWidget window_;
    int outputFolderOpened_ = 0;
    int finished_ = 0;
    int queued_ = 0;
    std::unique_ptr<TBatchRun> run_; // goes before the component it points to
};

} // namespace quovo::test
