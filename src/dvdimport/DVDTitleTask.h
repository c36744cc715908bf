// Queueing one title row of a run into the conversion component: the title described afresh by
// the plug-in, the output named after the row's caption in the output folder, the row's trim,
// crop, zoom and effects, and its "opendvd:" name as the task's input.
#pragma once

#include "TDialogService.h"
#include "TIniStore.h"
#include "TMediaConverter.h"
#include "TlvFilesRecord.h"

#include <string>

namespace quovo {

struct TTitleTask {
    int TaskIndex = -1;      // -1: nothing queued, Error says why
    std::string Error;       // for the row's report
    std::string OutputPath;  // the file the task writes
    bool CustomHook = false; // the task runs the row's frame effects
};

// Makes the plug-in describe the disc at `dvdPath` again, so that the titles a run asks for are
// this disc's. False when it cannot be loaded or finds no titles there.
bool PrepareTitleRun(const std::string& pluginFolder, const std::string& dvdPath);

// Queues the row (its record and caption) into `converter` with the current format's stored
// parameters. Sets the record's ZoomMode to the format's as every run does.
TTitleTask QueueTitleRow(TMediaConverter& converter, TIniStore& settings,
                         const TIniStore& formatFile, TDialogService& dialogs,
                         const std::string& dvdPath, TlvFilesRecord& record,
                         const std::string& caption);

} // namespace quovo
