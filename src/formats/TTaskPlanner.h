// The one road from a source to a conversion task. A source (a media file, or a title of a disc),
// the format code and the row's own edits (trim, crop, frame effects) become the task's input
// name, its option records and the output's name. The main window's file and title rows and
// quovo-convert's --format and --titles all plan their tasks here; nothing else builds
// conversion options.
//
// Planning reads the format's settings through TFormatSettings and never writes them. It reuses
// what the caller already knows (the probe taken when a file row was added, the title's description
// from the import) and opens a file only when nothing is known of it. It runs on any thread: the
// dialog service it is given must then be one that may be called from there (the window hands
// its questions to the user-interface thread).
#pragma once

#include <cstdint>

#include "DVDTypes.h"
#include "TConverterRecords.h"
#include "TDialogService.h"
#include "TIniStore.h"
#include "TOptionBuilder.h"

#include <optional>
#include <string>

namespace quovo {

struct TPlanSource {
    // A media file: its path; Picture and ContainerName when it was opened before (the probe of
    // the row's adding), else the planner opens it.
    std::string FileName;
    std::optional<TSourcePicture> Picture;
    std::string ContainerName;
    // A disc title: the disc, the row's choices (title from 0, chapters, audio and subtitle
    // stream) and the title as the plug-in described it.
    bool IsTitle = false;
    std::string DVDPath;
    DVDPlayParams Play{};
    DVDTitleInfo Title{};

    // What names the output: the file, or "DVD Title N".
    std::string Caption() const;
};

struct TPlanEdits {
    int64_t TrimStart = 0;  // microseconds; 0 = from the beginning
    int64_t TrimLength = 0; // microseconds; 0 = to the end
    int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0; // source pixels
    bool FrameHook = false; // the task runs the row's frame effects
};

struct TPlannedTask {
    std::string Error;     // why there is no task; empty when planned
    std::string InputName; // the file, or the title's "opendvd:" name
    TInputOptions Input;
    TOutputOptions Output; // FileName is OutputPath
    std::string OutputPath;
    std::string ZoomMode; // the stored zoom the records were built with
    bool Ok() const { return Error.empty(); }
};

class TTaskPlanner {
public:
    // defaultFolder stands for the platform's Videos + "/videoconverter".
    TTaskPlanner(TIniStore& settings, const TIniStore& formatFile, TDialogService& dialogs,
                 std::string defaultFolder);

    // Outputs go to `folder` (created when missing) instead of the settings' output folder.
    void SetOutputFolder(std::string folder) { outputFolder_ = std::move(folder); }

    TPlannedTask Plan(const TPlanSource& source, int formatCode, const TPlanEdits& edits) const;

    // The file a task of `caption` would write now: the same naming as Plan. Empty when no
    // output folder can be had.
    std::string OutputPath(const std::string& caption, int formatCode,
                           std::string* error = nullptr) const;

    // The "opendvd:" name of a title: with a trim the chapters are 0 to 99 (the trim decides).
    static std::string TitleInputName(const TPlanSource& source, int64_t trimStart);

private:
    TIniStore& settings_;
    const TIniStore& formatFile_;
    TDialogService& dialogs_;
    std::string defaultFolder_;
    std::string outputFolder_;
};

class TMediaConverter;

// For an "opendvd:" name with its choices: the title's source, described by the plug-in (loaded
// before); false for other names and for titles the plug-in cannot describe.
bool TitleSourceOf(const std::string& input, TPlanSource& source);

// Adds a planned task to `converter`: its input opened, its output set. The task's index, or -1
// with `error` (nothing of it stays in the component, nor its partial output).
int QueuePlannedTask(TMediaConverter& converter, TPlannedTask& task, std::string& error);

} // namespace quovo
