#include "TlvFilesRecord.h"

namespace quovo {

void SetNeutralEffects(TlvFilesRecord& record) {
    record.WaterText.clear();
    record.WaterImageFile.clear();
    record.WaterFont = TWaterFont{QFont("MS Sans Serif", 8), Qt::black};
    record.TextLeft = record.TextTop = record.TextHorizPercent = record.TextVertPercent = 0;
    record.ImageLeft = record.ImageTop = record.ImageHorizPercent = record.ImageVertPercent = 0;
    record.ImageAlpha = 168;
    record.ImageBlendStyle = 1;
    record.Brightness = 255;
    record.Contrast = 0;
    record.Saturation = 255;
    record.Exposure = 0;
    record.ProcessText = 0;
    record.ProcessImage = 0;
}

TlvFilesRecord MakeFileRecord(int32_t indexInSelection, const std::string& sourceName,
                              const std::string& outputName, int32_t durationSeconds,
                              const std::string& zoomMode) {
    TlvFilesRecord record;
    record.Kind = TRowKind::File;
    record.TitleIndex = indexInSelection;
    record.SourceName = sourceName;
    record.OutputName = outputName;
    record.DurationSeconds = durationSeconds;
    record.ZoomMode = zoomMode;
    SetNeutralEffects(record);
    return record;
}

bool NeedsFrameHook(const TlvFilesRecord& record) {
    return record.Brightness != 255 || record.Contrast != 0 || record.Saturation != 255 ||
           record.Exposure != 0 || !record.WaterText.empty() || !record.WaterImageFile.empty();
}

TPlanSource PlanSourceOf(const TlvFilesRecord& record, const std::string& dvdPath) {
    TPlanSource source;
    if (record.Kind == TRowKind::Title) {
        source.IsTitle = true;
        source.DVDPath = dvdPath;
        source.Title = record.Title;
        source.Play = DVDPlayParams{record.TitleIndex,
                                    record.FromChapter,
                                    record.ToChapter,
                                    record.AudioID,
                                    record.SubtitleID,
                                    2,
                                    0};
        return source;
    }
    source.FileName = record.SourceName;
    source.Picture = record.SourcePicture;
    source.ContainerName = record.SourceContainer;
    return source;
}

TPlanEdits PlanEditsOf(const TlvFilesRecord& record) {
    TPlanEdits edits;
    edits.TrimStart = record.TrimStart;
    edits.TrimLength = record.TrimLength;
    edits.CropTop = record.CropTop;
    edits.CropBottom = record.CropBottom;
    edits.CropLeft = record.CropLeft;
    edits.CropRight = record.CropRight;
    edits.FrameHook = NeedsFrameHook(record);
    return edits;
}

} // namespace quovo
