#include "DVDTitleTask.h"

#include "DVDPlugIn.h"
#include "DVDTitleRows.h"
#include "FormatCatalogue.h"
#include "OutputPath.h"
#include "TAppSettings.h"
#include "TOptionBuilder.h"

#include <filesystem>

namespace quovo {

bool PrepareTitleRun(const std::string& pluginFolder, const std::string& dvdPath) {
    if (!DVDPluginLoaded() && !LoadDVDPlugin(pluginFolder)) {
        return false;
    }
    return !dvdPath.empty() && EnumDVDTitles(dvdPath) >= 1;
}

TTitleTask QueueTitleRow(TMediaConverter& converter, TIniStore& settings,
                         const TIniStore& formatFile, TDialogService& dialogs,
                         const std::string& dvdPath, TlvFilesRecord& record,
                         const std::string& caption) {
    TTitleTask task;
    DVDTitleInfo title{};
    if (!DVDPluginLoaded() || !GetDVDTitle(record.TitleIndex, title)) {
        task.Error = "Title #" + std::to_string(record.TitleIndex + 1) + " is invalid";
        return task;
    }
    const int code = TAppSettings(settings).FormatCodeNumber();
    const std::string section = FormatSection(code);
    const std::string ext = formatFile.ReadString(section, "FileExt", "mp4");
    task.OutputPath = MakeOutputPath(settings, dialogs, caption, "." + ext);
    if (task.OutputPath.empty()) {
        task.Error = "No output folder could be created.";
        return task;
    }
    record.ZoomMode = settings.ReadString(section, "paraZoom", "lbox");

    TInputOptions input;
    if (record.TrimStart >= 0) {
        input.StartTime = record.TrimStart;
    }
    const std::string name = TitleRunName(dvdPath, record);
    const int index = converter.AddTask(name, &input);
    if (index < 0) {
        task.Error =
            converter.LastErrMsg().empty() ? "Cannot open " + name : converter.LastErrMsg();
        return task;
    }
    TOutputOptions output;
    output.FileName = task.OutputPath;
    if (record.CropTop > 0 || record.CropBottom > 0 || record.CropLeft > 0 ||
        record.CropRight > 0) {
        output.CropTop = record.CropTop;
        output.CropBottom = record.CropBottom;
        output.CropLeft = record.CropLeft;
        output.CropRight = record.CropRight;
    }
    TOptionBuilder(settings, formatFile, dialogs)
        .BuildDVDOutputOptions(RowEdits(record), code, output, title, input);
    if (record.TrimLength > 0) {
        output.RecordingTime = record.TrimLength;
    }
    output.CustomHook = NeedsFrameHook(record);
    if (!converter.SetOutputFile(index, task.OutputPath, &output)) {
        task.Error = converter.LastErrMsg().empty() ? "Cannot write " + task.OutputPath
                                                    : converter.LastErrMsg();
        converter.RemoveTask(index);
        return task;
    }
    task.TaskIndex = index;
    task.CustomHook = output.CustomHook;
    return task;
}

} // namespace quovo
