// The record every row of the source list owns: what the row converts and every edit made to it
// (trim, crop, DVD choices, effects and watermarks) until a run reads it.
//
// The sourcelist folder owns this record, the list model (TSourceListModel) and the saving of
// snapshots. It uses the formats folder (settings, dialog service) and Qt Core/Gui, no widgets;
// it is entered by the user-interface thread only.
#pragma once

#include "DVDTypes.h"
#include "TOptionBuilder.h"
#include "TTaskPlanner.h"

#include <QColor>
#include <QFont>

#include <cstdint>
#include <optional>
#include <string>

namespace quovo {

// A row converts a media file or a DVD title.
enum class TRowKind { File, Title };

// The font of the text watermark, with its colour.
struct TWaterFont {
    QFont Font;
    QColor Color = Qt::black;
};

// Texts are UTF-8, as the conversion component takes them. A fresh record has every field zero
// or empty; MakeFileRecord and SetNeutralEffects give the values rows start with.
struct TlvFilesRecord {
    TRowKind Kind = TRowKind::File;
    // Title row: the title's index on the disc (from 0); file row: the file's position within
    // the selection it was added from.
    int32_t TitleIndex = 0;
    std::string SourceName; // file row: the source path; title row: empty
    std::string OutputName; // file row: the output path computed when added; title row: empty
    // File row: the source's facts found when it was added (none: found at Start); title row: none.
    std::optional<TSourcePicture> SourcePicture;
    std::string SourceContainer; // the demuxer that opened it
    int32_t DurationSeconds = 0;
    int64_t TrimStart = 0;  // microseconds; 0 = from the beginning
    int64_t TrimLength = 0; // microseconds; 0 = to the end
    std::string ZoomMode;   // "full", "lbox", "pan"
    int32_t CropTop = 0, CropLeft = 0, CropBottom = 0, CropRight = 0; // source pixels
    int32_t ViewCropTop = 0, ViewCropLeft = 0, ViewCropBottom = 0, ViewCropRight = 0; // preview
    DVDTitleInfo Title{}; // title row: as the plug-in described it; file row: all zero
    int32_t AudioIndex = 0;
    int32_t SubtitleIndex = 0;
    int32_t AudioID = 0;
    int32_t SubtitleID = 0;
    int32_t FromChapter = 0, ToChapter = 0; // from 1
    std::string WaterText;
    TWaterFont WaterFont;
    int32_t TextLeft = 0, TextTop = 0, TextHorizPercent = 0, TextVertPercent = 0;
    std::string WaterImageFile;
    int32_t ImageLeft = 0, ImageTop = 0, ImageHorizPercent = 0, ImageVertPercent = 0;
    int32_t ImageAlpha = 0;      // 0..255
    int32_t ImageBlendStyle = 0; // 1 or 2
    int32_t Brightness = 0, Contrast = 0, Saturation = 0, Exposure = 0;
    uint8_t ProcessText = 0, ProcessImage = 0;
};

// The effect values rows start with, which change no picture: brightness 255, contrast 0,
// saturation 255, exposure 0, opacity 168, blend style 1, a black 8-point "MS Sans Serif"
// watermark font, no watermark.
void SetNeutralEffects(TlvFilesRecord& record);

// A file row's record: the neutral effects, and what adding the file found out.
TlvFilesRecord MakeFileRecord(int32_t indexInSelection, const std::string& sourceName,
                              const std::string& outputName, int32_t durationSeconds,
                              const std::string& zoomMode);

// True when a conversion of the row must run the per-frame effects: any effect off its neutral
// value, or a watermark.
bool NeedsFrameHook(const TlvFilesRecord& record);

// What the task planner takes from the row: its source and its edits. `dvdPath` is the disc of
// title rows.
TPlanSource PlanSourceOf(const TlvFilesRecord& record, const std::string& dvdPath);
TPlanEdits PlanEditsOf(const TlvFilesRecord& record);

} // namespace quovo
