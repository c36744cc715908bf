// Turns a format's stored parameters, the source's picture and a row's own edits (zoom mode and
// crop) into the option records of one conversion task. It builds no file name and starts
// nothing; both INI files are read afresh on every call and nothing is kept between calls.
//
// Filter texts are written in the engine's chain syntax, whose crop takes the old argument
// order: crop=left:top:width:height, scale=width:height, pad=width:height:left:top.
#pragma once

#include <cstdint> // before the FFmpeg headers, which need its constant macros

#include "TConverterRecords.h"
#include "TDialogService.h"
#include "TIniStore.h"

#include <string>

namespace quovo {

class TAVProbe;
struct DVDTitleInfo;

// What the builder reads from a source-list row.
struct TRowEdits {
    std::string ZoomMode = "full"; // "full", "lbox", "pan", "center"
    int CropTop = 0;
    int CropBottom = 0;
    int CropLeft = 0;
    int CropRight = 0;
};

// What the file variant learns from the probe: the number of video streams and the first video
// stream's size, bit rate (bit/s, -1 when unknown), sample aspect (the pixels' shape; 0 when
// unknown, taken as square) and frame rate (0 when unknown); and the first sound stream's facts,
// which "as source" stands for (-1 when unknown or when there is no sound).
struct TSourcePicture {
    int VideoStreamCount = 0;
    int Width = 0;
    int Height = 0;
    int BitRate = -1;
    int SarNum = 1;
    int SarDen = 1;
    int FrameRateNum = 0;
    int FrameRateDen = 1;
    int AudioSampleRate = -1;
    int AudioChannels = -1;
    int AudioBitRate = -1;
};

TSourcePicture SourcePictureFromProbe(TAVProbe& probe);

extern const char* const
    kVideoSizeQuestion; // "Error output Video Size.Use the default size 320x240?"

// Whether the builder asks kVideoSizeQuestion for this stored frame size (one it cannot read as
// width "x" height, and not "as source").
bool VideoSizeNeedsQuestion(const std::string& storedSize);

class TOptionBuilder {
public:
    TOptionBuilder(const TIniStore& settings, const TIniStore& formatFile, TDialogService& dialogs);

    // A file row of a file run. `output` is already reset with its FileName set.
    void BuildOutputOptions(const TRowEdits& row, int formatCode, TOutputOptions& output,
                            const TSourcePicture& source, TInputOptions& input);
    void BuildOutputOptions(const TRowEdits& row, int formatCode, TOutputOptions& output,
                            TAVProbe& probe, TInputOptions& input);
    // A DVD title of titleWidth × titleHeight whose pixels have the shape sarNum:sarDen; the job
    // may have set the output's crop fields. The title record's overload takes the shape from
    // the title's display aspect.
    void BuildDVDOutputOptions(const TRowEdits& row, int formatCode, TOutputOptions& output,
                               int titleWidth, int titleHeight, TInputOptions& input,
                               int sarNum = 1, int sarDen = 1);
    void BuildDVDOutputOptions(const TRowEdits& row, int formatCode, TOutputOptions& output,
                               const DVDTitleInfo& title, TInputOptions& input);

private:
    enum class TVariant { File, DVD };
    void Build(TVariant variant, const TRowEdits& row, int formatCode, TOutputOptions& output,
               const TSourcePicture& source, TInputOptions& input);

    const TIniStore& settings_;
    const TIniStore& formatFile_;
    TDialogService& dialogs_;
};

// The letterbox pads of a source sw × sh fitted into W × H (the later of cases A to D wins).
struct TLetterboxPads {
    int Top = 0;
    int Bottom = 0;
    int Left = 0;
    int Right = 0;
};
TLetterboxPads LetterboxPads(int sw, int sh, int W, int H);

} // namespace quovo
