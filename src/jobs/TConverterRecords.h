// The option records with which tasks are added, and the records the converter's events carry.
#pragma once

#include "TEngineOptions.h"
#include "TPicture.h"

#include <cstdint>
#include <string>

namespace quovo {

// Output metadata. Timestamp is a local date-time (days since 1899-12-30): 0 = now, > 0 = this
// moment, negative = none.
struct TStreamInfo {
    double Timestamp = -1.0;
    int Year = -1;
    int Track = -1;
    std::string Title, Author, Copyright, Comment, Album, Genre;
};

// Every field's default is its "unset" value, which leaves the engine's setting alone.
struct TInputOptions {
    std::string FileName;
    std::string FileFormat;
    int64_t StartTime = NoTimestamp; // microseconds
    int ProgramID = -1;
    std::string ExtOptions;
};

struct TOutputOptions {
    std::string FileName;
    std::string FileFormat;
    int PacketSize = -1;
    int MuxRate = -1;
    float MuxDelay = -1.0f;   // seconds
    float MuxPreload = -1.0f; // seconds
    std::string AudioCodec;
    std::string AudioPreset;
    bool DisableAudio = false;
    int AudioVolume = -1; // 256 = unchanged
    int AudioChannels = -1;
    int AudioSampleRate = -1;
    int AudioBitrate = -1; // bit/s
    int AudioBitrateTolerance = -1;
    std::string AudioLanguage;
    int AudioSync = 0;
    std::string AudioTag;
    std::string VideoCodec;
    std::string VideoPreset;
    bool DisableVideo = false;
    std::string FrameRate;
    std::string FrameSize;
    std::string FrameAspect;
    int CropTop = -1, CropBottom = -1, CropLeft = -1, CropRight = -1;
    int GopSize = -1;
    int VideoBitrate = -1; // bit/s
    int VideoMaxRate = -1;
    int VideoMinRate = -1;
    int VideoBitrateTolerance = -1;
    int VideoBufSize = -1;
    int VideoSync = -1; // -1 = automatic
    std::string VideoTag;
    std::string VideoFilters;
    std::string VideoLanguage;
    std::string SubtitleCodec;
    std::string SubtitlePreset;
    bool DisableSubtitle = false;
    std::string SubtitleLanguage;
    bool InputSync = false;
    bool CopyTimestamps = false;
    int64_t StartTime = NoTimestamp;     // microseconds
    int64_t RecordingTime = NoTimestamp; // microseconds
    TStreamInfo Metadata;
    int TargetType = 0;        // 0 none, 1 "vcd", 2 "svcd", 3 "dvd"
    int TargetNorm = 0;        // 0 "auto", 1 "pal", 2 "ntsc"
    int TargetDefaultNorm = 1; // 1 "pal", anything else "ntsc"
    bool CustomHook = false;
    bool Join = false;
    std::string ExtOptions;
};

struct THookInfo {
    int TaskIndex = -1;
    TPicture* Bitmap = nullptr;
    int FrameNumber = 0;
    int64_t PTS = 0; // microseconds
    bool Update = true;
    bool StopHook = false;
};

struct TPreviewInfo {
    int TaskIndex = -1;
    TPicture* Bitmap = nullptr;
    int FrameNumber = 0;
    int64_t PTS = 0; // microseconds
};

struct TProgressInfo {
    int TaskIndex = -1;
    int FileIndex = -1;
    int FrameNumber = -1;
    int FPS = -1;
    float Quality = -1.0f;
    float BitRate = 0;
    int64_t CurrentSize = 0;
    int64_t CurrentDuration = 0; // microseconds
    int64_t TotalDuration = -1;  // microseconds
};

struct TTerminateInfo {
    int TaskIndex = -1;
    bool Finished = false;
    bool Exception = false;
    std::string ExceptionMsg;
};

} // namespace quovo
