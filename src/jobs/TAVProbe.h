// The media probe: container and stream facts of a media file, read without decoding.
//
// A probe either opens a file itself (LoadFile, it then owns and closes the context) or is attached
// to an input a conversion task has opened (Attach, the task closes it). It is used on one thread
// at a time; a probe attached to a running task may only be asked for what does not change.
#pragma once

#include "AvPtr.h"
#include "LibraryIO.h"
#include "TFFBaseComponent.h"
#include "TLogLevel.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <memory>
#include <string>

namespace quovo {

struct TFileStreamInfo {
    int64_t StartTime = -1; // microseconds
    int64_t Duration = -1;  // microseconds
    int BitRate = -1;
    int64_t Timestamp = -1; // seconds since 1970-01-01 UTC
    int Year = -1;
    int Track = -1;
    std::string Title, Author, Copyright, Comment, Album, Genre;
};

struct TAudioStreamInfo {
    std::string Language;
    std::string Codec;
    int64_t StartTime = -1;   // stream time base
    int64_t StartTimeUS = -1; // microseconds
    int64_t Duration = -1;
    int64_t DurationUS = -1;
    int BitRate = -1;
    int Channels = -1;
    int SampleRate = -1;
    int SampleFormat = -1;
};

struct TVideoStreamInfo {
    std::string Language;
    std::string Codec;
    int64_t StartTime = -1;
    int64_t StartTimeUS = -1;
    int64_t Duration = -1;
    int64_t DurationUS = -1;
    int BitRate = -1;
    int Height = -1;
    int Width = -1;
    float DisplayAspect = -1.0f;
    // The pixels' shape (the stream's, else the codec's); 0/0 when unknown.
    int SampleAspectNum = 0;
    int SampleAspectDen = 0;
    int PixelFormat = -1;
    int FrameRateNum = -1;
    int FrameRateDen = -1;
};

class TCustomAVProbe : public TFFBaseComponent {
public:
    TCustomAVProbe();
    ~TCustomAVProbe() override;
    const char* ClassName() const override { return "TCustomAVProbe"; }

    // Raises FFmpegException when a library is not loaded; otherwise returns success and leaves
    // the reason of a failure in LastError.
    bool LoadFile(const std::string& fileName, const std::string& forcedFormat = "");
    // Takes an opened context without owning it.
    void Attach(AVFormatContext* context);
    void Close();

    TFileStreamInfo GetFileStreamInfo();
    // Index -1: the first stream of the kind.
    TAudioStreamInfo GetAudioStreamInfo(int streamIndex = -1);
    TVideoStreamInfo GetVideoStreamInfo(int streamIndex = -1);
    bool IsAudioStream(int streamIndex);
    bool IsVideoStream(int streamIndex);
    std::string FileName() const;
    std::string FormatName() const;
    std::string InfoText();

    AVFormatContext* Context() const { return context_; }
    bool OwnsContext() const { return owned_ != nullptr; }
    const std::string& LastError() const { return lastError_; }
    const std::string& ForcedFormat() const { return forcedFormat_; }
    int64_t FileSize() const { return fileSize_; }
    int StreamCount() const { return streamCount_; }
    int ProgramCount() const { return programCount_; }
    int AudioStreamCount() const { return audioStreamCount_; }
    int VideoStreamCount() const { return videoStreamCount_; }
    int SubtitleStreamCount() const { return subtitleStreamCount_; }
    int AudioStreamIndex() const { return audioStreamIndex_; }
    int VideoStreamIndex() const { return videoStreamIndex_; }
    int SubtitleStreamIndex() const { return subtitleStreamIndex_; }

protected:
    virtual void ComputeState();
    void Fail(TLogLevel level, const std::string& text);

private:
    // The stream of `kind` to describe, or nullptr after reporting why there is none.
    AVStream* StreamFor(int streamIndex, AVMediaType kind);
    std::string StreamLine(int index);

    std::unique_ptr<TLibraryIO> io_;     // the byte stream of a custom name ("opendvd:")
    AvInputContextPtr owned_;            // the context LoadFile opened (over io_)
    AVFormatContext* context_ = nullptr; // that one, or the attached one
    std::string lastError_;
    std::string forcedFormat_;
    int64_t fileSize_ = -1;
    int streamCount_ = -1;
    int programCount_ = -1;
    int audioStreamCount_ = -1, videoStreamCount_ = -1, subtitleStreamCount_ = -1;
    int audioStreamIndex_ = -1, videoStreamIndex_ = -1, subtitleStreamIndex_ = -1;
};

class TAVProbe : public TCustomAVProbe {
public:
    ~TAVProbe() override;
    const char* ClassName() const override { return "TAVProbe"; }

    // The first video stream, else the first audio stream, else -1.
    int MainStreamIndex() const { return mainStreamIndex_; }
    // Microseconds: the main stream's start, else the container's; 0 when unknown.
    int64_t MainStartTime() const { return mainStartTime_; }

protected:
    void ComputeState() override;

private:
    int mainStreamIndex_ = -1;
    int64_t mainStartTime_ = 0;
};

} // namespace quovo
