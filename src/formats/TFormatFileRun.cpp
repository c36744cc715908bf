#include "TFormatFileRun.h"

#include "FormatCatalogue.h"
#include "OutputPath.h"
#include "TFormatParameterEditor.h"
#include "TOptionBuilder.h"
#include "TOutputFiles.h"

#include <filesystem>
#include <system_error>

namespace quovo {

TFormatFileRun::TFormatFileRun(TIniStore& settings, const TIniStore& formatFile,
                               TDialogService& dialogs, std::string appTitle)
    : settings_(settings), formatFile_(formatFile), dialogs_(dialogs),
      appTitle_(std::move(appTitle)) {}

TFormatRunResult TFormatFileRun::Convert(int formatCode, const std::string& input) {
    TFormatRunResult result;
    if (StopRequested()) {
        result.Error = "Stopped.";
        return result;
    }
    const std::string section = FormatSection(formatCode);
    if (!FindFormat(formatCode)) {
        result.Error = "Unknown format code " + std::to_string(formatCode) + ".";
        return result;
    }
    if (!formatFile_.SectionExists(section)) {
        result.Error = "The format file " + formatFile_.Path() + " has no section " + section + ".";
        return result;
    }
    EnsureFormatSettings(settings_, formatFile_, formatCode, dialogs_, appTitle_);

    TAVProbe probe;
    try {
        if (!probe.LoadFile(input)) {
            result.Error = "Cannot open " + input + ": " + probe.LastError();
            return result;
        }
    } catch (const std::exception& e) {
        result.Error = e.what();
        return result;
    }

    const std::string suffix = "." + formatFile_.ReadString(section, "FileExt", "mp4");
    std::string output;
    if (outputFolder_.empty()) {
        output = MakeOutputPath(settings_, dialogs_, input, suffix);
    } else {
        std::error_code ec;
        std::filesystem::create_directories(outputFolder_, ec);
        if (!std::filesystem::is_directory(outputFolder_, ec)) {
            result.Error = "Cannot create output directory:" + outputFolder_ + ".";
            return result;
        }
        output = NewOutputName(outputFolder_, input, suffix);
    }
    if (output.empty()) {
        result.Error = "No output folder could be created.";
        return result;
    }

    TRowEdits row;
    row.ZoomMode = settings_.ReadString(section, "paraZoom", "full");
    TInputOptions in;
    TOutputOptions out;
    out.FileName = output;
    TOptionBuilder(settings_, formatFile_, dialogs_)
        .BuildOutputOptions(row, formatCode, out, probe, in);
    probe.Close();
    return Run(input, in, out);
}

TFormatRunResult TFormatFileRun::Run(const std::string& input, TInputOptions& in,
                                     TOutputOptions& out) {
    TFormatRunResult result;
    const std::string output = out.FileName;
    TMediaConverter converter;
    converter.SetTriggerEventInMainThread(false);
    TTerminateInfo ending;
    bool ended = false;
    converter.SetOnTerminate([&](TCustomMediaConverter*, const TTerminateInfo& info) {
        if (info.TaskIndex >= 0) {
            ending = info;
            ended = true;
        }
    });
    bool stopped = false;
    converter.SetOnProgress([&](TCustomMediaConverter* sender, TProgressInfo* info) {
        if (onProgress_ && info != nullptr) {
            onProgress_(input, *info);
        }
        if (!stopped && StopRequested()) {
            stopped = true;
            sender->Stop(false);
        }
    });
    const int task = converter.AddTask(input, &in);
    if (task < 0) {
        result.Error = converter.LastErrMsg();
        return result;
    }
    const bool opened = converter.SetOutputFile(task, output, &out);
    if (opened) {
        converter.StartTask(0); // inline: returns when the task has ended
    }
    // Clearing the tasks clears the component's last error too: read it first.
    const std::string openError = opened ? std::string() : converter.LastErrMsg();
    converter.ClearTasks();
    result.Ok = opened && ended && ending.Finished && !ending.Exception;
    if (!result.Ok) {
        result.Error = stopped                        ? "Stopped."
                       : !openError.empty()           ? openError
                       : !ending.ExceptionMsg.empty() ? ending.ExceptionMsg
                                                      : "The conversion did not complete.";
        // Whatever the component left: a stopped run's finished file, a failed one's partial.
        std::error_code ec;
        std::filesystem::remove(output, ec);
        std::filesystem::remove(PartFileName(output), ec);
        return result;
    }
    result.Output = output;
    return result;
}

} // namespace quovo
