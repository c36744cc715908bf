#include "TTaskPlanner.h"

#include "DVDName.h"
#include "DVDPlugIn.h"
#include "EncoderLimits.h"
#include "FormatCatalogue.h"
#include "FormatRules.h"
#include "OutputPath.h"
#include "TAVProbe.h"
#include "TFormatSettings.h"
#include "TMediaConverter.h"
#include "TOutputFiles.h"

#include <filesystem>
#include <system_error>

namespace quovo {

std::string TPlanSource::Caption() const {
    return IsTitle ? "DVD Title " + std::to_string(Play.Title + 1) : FileName;
}

TTaskPlanner::TTaskPlanner(TIniStore& settings, const TIniStore& formatFile,
                           TDialogService& dialogs, std::string defaultFolder)
    : settings_(settings), formatFile_(formatFile), dialogs_(dialogs),
      defaultFolder_(std::move(defaultFolder)) {}

std::string TTaskPlanner::TitleInputName(const TPlanSource& source, int64_t trimStart) {
    DVDPlayParams play = source.Play;
    if (trimStart > 0) {
        play.FromChapter = 0;
        play.ToChapter = 99;
    }
    play.AudioChannels = 2;
    play.Deinterlace = 0;
    return FormatOpenDVDName(source.DVDPath, play);
}

std::string TTaskPlanner::OutputPath(const std::string& caption, int formatCode,
                                     std::string* error) const {
    const std::string suffix =
        "." + formatFile_.ReadString(FormatSection(formatCode), "FileExt", "mp4");
    std::string path;
    if (outputFolder_.empty()) {
        path = MakeOutputPath(settings_, dialogs_, caption, suffix, defaultFolder_);
    } else {
        std::error_code ec;
        std::filesystem::create_directories(outputFolder_, ec);
        if (!std::filesystem::is_directory(outputFolder_, ec)) {
            if (error != nullptr) {
                *error = "Cannot create output directory:" + outputFolder_ + ".";
            }
            return {};
        }
        path = NewOutputName(outputFolder_, caption, suffix);
    }
    if (path.empty() && error != nullptr) {
        *error = "No output folder could be created.";
    }
    return path;
}

TPlannedTask TTaskPlanner::Plan(const TPlanSource& source, int formatCode,
                                const TPlanEdits& edits) const {
    TPlannedTask task;
    if (!FindFormat(formatCode)) {
        task.Error = "Unknown format code " + std::to_string(formatCode) + ".";
        return task;
    }
    const std::string section = FormatSection(formatCode);
    if (!formatFile_.SectionExists(section)) {
        task.Error = "The format file " + formatFile_.Path() + " has no section " + section + ".";
        return task;
    }

    // What the source holds: known from before, or found out now.
    TSourcePicture picture;
    std::string container = source.ContainerName;
    if (!source.IsTitle) {
        if (source.Picture) {
            picture = *source.Picture;
        } else {
            TAVProbe probe;
            try {
                if (!probe.LoadFile(source.FileName)) {
                    task.Error = "Cannot open " + source.FileName + ": " + probe.LastError();
                    return task;
                }
            } catch (const std::exception& e) {
                task.Error = e.what();
                return task;
            }
            picture = SourcePictureFromProbe(probe);
            container = probe.FormatName();
        }
    }

    const TFormatSettings stored(settings_, formatFile_, formatCode);
    TRowEdits row;
    row.ZoomMode = stored.Zoom();
    row.CropTop = edits.CropTop;
    row.CropBottom = edits.CropBottom;
    row.CropLeft = edits.CropLeft;
    row.CropRight = edits.CropRight;
    task.ZoomMode = row.ZoomMode;

    task.OutputPath = OutputPath(source.Caption(), formatCode, &task.Error);
    if (task.OutputPath.empty()) {
        return task;
    }
    task.Output.FileName = task.OutputPath;
    if (edits.TrimStart >= 0) {
        task.Input.StartTime = edits.TrimStart;
    }
    TOptionBuilder builder(settings_, formatFile_, dialogs_);
    if (source.IsTitle) {
        task.InputName = TitleInputName(source, edits.TrimStart);
        // A title's crop is the output's before the fitting (pan and scan counts it in).
        if (row.CropTop > 0 || row.CropBottom > 0 || row.CropLeft > 0 || row.CropRight > 0) {
            task.Output.CropTop = row.CropTop;
            task.Output.CropBottom = row.CropBottom;
            task.Output.CropLeft = row.CropLeft;
            task.Output.CropRight = row.CropRight;
        }
        builder.BuildDVDOutputOptions(row, formatCode, task.Output, source.Title, task.Input);
        // A disc title has no name of its own: the output is tagged with the row's caption. (A
        // file keeps the tags it has.)
        task.Output.Metadata.Title = source.Caption();
    } else {
        task.InputName = source.FileName;
        task.Input.FileName = source.FileName;
        task.Input.FileFormat = container;
        builder.BuildOutputOptions(row, formatCode, task.Output, picture, task.Input);
    }
    if (edits.TrimLength > 0) {
        task.Output.RecordingTime = edits.TrimLength;
    }
    task.Output.CustomHook = edits.FrameHook;
    if (task.Output.DisableVideo && NeedsPicture(ToLower(stored.FormatKeyword()))) {
        task.Error = source.Caption() + " has no picture, and a DV file needs one.";
    }
    return task;
}

int QueuePlannedTask(TMediaConverter& converter, TPlannedTask& task, std::string& error) {
    // A failure never goes without a reason, even one the component did not give.
    auto reason = [&converter](const std::string& fallback) {
        return converter.LastErrMsg().empty() ? fallback : converter.LastErrMsg();
    };
    const int index = converter.AddTask(task.InputName, &task.Input);
    if (index < 0) {
        error = reason("Cannot open " + task.InputName + ".");
        return -1;
    }
    if (!converter.SetOutputFile(index, task.OutputPath, &task.Output)) {
        error = reason("Cannot write " + task.OutputPath + ".");
        converter.RemoveTask(index);
        std::error_code ec;
        std::filesystem::remove(PartFileName(task.OutputPath), ec);
        return -1;
    }
    return index;
}

bool TitleSourceOf(const std::string& input, TPlanSource& source) {
    TOpenDVDName name;
    if (!ParseOpenDVDName(input, name) || !name.hasParams || !DVDPluginLoaded() ||
        EnumDVDTitles(name.path) <= name.params.Title ||
        !GetDVDTitle(name.params.Title, source.Title)) {
        return false;
    }
    source.DVDPath = name.path;
    source.Play = name.params;
    return true;
}

} // namespace quovo
