// The transcoding engine of one conversion task. README.md in this folder maps every file and the
// call path of a conversion. It includes no Qt header. A task is driven by one thread at a time:
// the caller sets options and opens files, then Transcode runs on the task's worker thread; only
// RequestStop (an atomic flag) may be called from another thread meanwhile.
#pragma once

#include "AvPtr.h"
#include "EngineText.h"
#include "FFmpegException.h"
#include "FrameHookModules.h"
#include "LibraryIO.h"
#include "TEngineOptions.h"
#include "TFFBaseComponent.h"
#include "TGenericOptions.h"
#include "TLogLevel.h"
#include "TPicture.h"
#include "TVideoFilterChain.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quovo {

// Per-stream state of the picture and sound processing (TVideoProcessing.h, TAudioProcessing.h).
struct TVideoOutputState;
struct TVideoInputState;
struct TAudioOutputState;
struct TAudioInputState;
struct TAudioChunk;
struct TOutputStream;

// A picture attached to a file (cover art) rather than a video.
bool IsAttachedPicture(const AVStream* st);

enum class TCodecDirection { Decoder, Encoder };

// Appends a chapter to `ctx`, which owns it from then on; throws "av_mallocz fail" or
// "av_realloc fail".
AVChapter& AddChapter(AVFormatContext& ctx, int64_t id, AVRational timeBase, int64_t start,
                      int64_t end);

// DV fixes the sampling per system (4:1:1 for 525 lines, 4:2:0 for 625): of the encoder's
// formats, the one a DV profile knows for this size and rate (`chosen` when none does).
AVPixelFormat DvPixelFormat(const AVCodec* codec, int width, int height, AVPixelFormat chosen,
                            AVRational rate);

// What a created output stream carries until the conversion starts (the codec settings that the
// old library kept in the stream itself). Shared by the entries of a joined output.
struct TStreamCodec {
    AvCodecContextPtr ctx;                // settings, then the opened encoder
    const AVCodec* outputCodec = nullptr; // chosen by name
    bool streamCopy = false;
    std::vector<std::string> bitstreamFilters;
    AVCodecID rememberedCodecId = AV_CODEC_ID_NONE; // join mode reopening
    AvDictionary privateOptions; // the encoder's own options (presets), given at opening
    // Generic options no holder knew, in the order set: the encoder's own options of today may
    // have their names (or the names the presets translate to), checked when it is known.
    std::vector<std::pair<std::string, std::string>> unclaimedOptions;
    bool opened = false;
    int64_t lastDts = AV_NOPTS_VALUE; // last written, in the library stream's time base
    // The input stream (file, stream) a stream was made for; -1: chosen at the start of the run.
    int sourceFile = -1;
    int sourceStream = -1;
};

struct TOutputFileShared {
    AvFormatContextPtr ctx;
    std::unique_ptr<TLibraryIO> io;
    std::vector<std::unique_ptr<TStreamCodec>> streams; // one per library stream
    AvDictionary muxOptions; // muxer options of the old format fields (preload, loop)
    bool headerWritten = false;
    bool trailerWritten = false;
    bool removeOnRelease = false; // a failed run's output that holds nothing worth keeping
    std::string fileName;
    ~TOutputFileShared();
};

struct TInputFileEntry {
    AvInputContextPtr ctx;
    std::unique_ptr<TLibraryIO> io;
    int64_t tsOffset = 0;
    int nbStreamsAtOpen = 0;
    // Decoder settings per stream, made when the file is opened (generic options applied).
    std::vector<AvCodecContextPtr> codecs;
    // The subpicture stream the input's name chose, and its index (-1: none); the name and the
    // start seek (NoTimestamp: none), with which the stream is read again ahead of the pictures.
    std::optional<TSubpictureTrack> subpicture;
    int subpictureStream = -1;
    std::string name;
    int64_t startSeek = NoTimestamp;
    // Where the input's part ends, in the input's time from its start point (a chapter range).
    int64_t endUs = UnlimitedTime;
};

struct TInputStream {
    int file_index = 0;
    int index = 0;
    AVStream* st = nullptr;
    bool discard = true;
    bool decoding_needed = false;
    AvCodecContextPtr dec;
    const AVCodec* decoder = nullptr;
    int64_t start = 0;
    int64_t next_pts = NoTimestamp;
    int64_t pts = 0;
    bool is_start = true;
    bool showed_multi_packet_warning = false;
    bool is_past_recording_time = false;
    bool flushed = false;
    int64_t packetsRead = 0;                 // packets the loop gave this stream
    int lastDecodeError = 0;                 // the decoder's last error code, 0 when none
    std::vector<TOutputStream*> outputs;     // output streams fed by this one, in output order
    std::unique_ptr<TVideoInputState> video; // decoding state of a video stream
    std::unique_ptr<TAudioInputState> audio; // decoding state of an audio stream
    TInputStream();
    ~TInputStream();
};

struct TInputFile {
    bool eof_reached = false;
    int ist_index = 0;
    int nb_streams = 0;
};

struct TOutputStream {
    int file_index = 0;
    int index = 0;
    int source_index = -1;
    AVStream* st = nullptr;
    TStreamCodec* codec = nullptr;
    bool encoding_needed = false;
    int64_t frame_number = 0;
    int sync_ist = -1;
    int64_t sync_opts = 0;
    bool active = true;
    bool bsfsReady = false;
    std::vector<AvBsfContextPtr> bsfs;
    int64_t nextDts = 0; // end of the last written packet, in the stream's time base
    struct FileCloser {
        void operator()(FILE* f) const { fclose(f); }
    };
    std::unique_ptr<FILE, FileCloser> logfile;
    std::string statsIn; // pass-2 statistics, kept alive while the encoder runs
    std::unique_ptr<TVideoOutputState> video; // crop, scaling, filters, synchronisation
    std::unique_ptr<TAudioOutputState> audio; // FIFO, resampler, sample-format converter
    TOutputStream();
    ~TOutputStream();
    // Output time (seconds) as the loop compares it.
    double OutputTime() const;
};

class TCustomFFmpeg;

// The picture hook: `picture` holds the decoded frame; the handler may draw on it (holding its
// lock), clear `update` to leave the frame unchanged, or set `stopHook` to end the calls.
using THookCallback = std::function<void(TCustomFFmpeg* sender, TPicture& picture, int frameNumber,
                                         int64_t pts, bool& update, bool& stopHook)>;
// A preview of the picture handed to the encoder, at most every PreviewInterval.
using TPreviewCallback =
    std::function<void(TCustomFFmpeg* sender, TPicture& picture, int64_t pts, int frameNumber)>;

// Preview flag bits.
constexpr int PreviewWindowFlag = 1;   // the built-in preview window (served by the job layer)
constexpr int PreviewCallbackFlag = 2; // PreviewCallback

class TCustomFFmpeg : public TFFBaseComponent {
public:
    TCustomFFmpeg();
    ~TCustomFFmpeg() override;
    const char* ClassName() const override { return "TCustomFFmpeg"; }

    // --- option model
    void ResetOptions();
    void SetOption(const std::string& name, const std::string& value);
    bool SetGenericOption(const std::string& name, const std::string& value);
    void ApplyGenericOptions(void* target, void* source, int flags) const;
    const TEngineOptions& Options() const { return opt_; }
    const TGenericOptions& GenericOptions() const { return generic_; }

    // Typed shortcuts used by the conversion component; each behaves like its option.
    void SetForceFormat(const std::string& v);
    void SetStartTime(int64_t us);
    void SetRecordingTime(int64_t us);
    void SetProgramID(int id);
    void SetFrameRate(const std::string& v);
    void SetFrameAspectRatio(const std::string& v);
    void SetFrameSize(const std::string& v);
    void SetVideoFilters(const std::string& v);
    void SetCropTop(int v);
    void SetCropBottom(int v);
    void SetCropLeft(int v);
    void SetCropRight(int v);
    void SetAudioCodec(const std::string& v);
    void SetVideoCodec(const std::string& v);
    void SetSubtitleCodec(const std::string& v);
    void SetAudioPreset(const std::string& v);
    void SetVideoPreset(const std::string& v);
    void SetSubtitlePreset(const std::string& v);
    void SetAudioChannels(int v);
    void SetAudioSampleRate(int v);
    void SetAudioVolume(int v);
    void SetAudioSyncMethod(int v);
    void SetVideoSyncMethod(int v);
    void SetMuxPreload(float v);
    void SetMuxMaxDelay(float v);
    void SetAudioTag(const std::string& v);
    void SetVideoTag(const std::string& v);
    void SetAudioLanguage(const std::string& v);
    void SetVideoLanguage(const std::string& v);
    void SetSubtitleLanguage(const std::string& v);
    void SetGenericIntOption(const std::string& name, int value);
    void AddMetadata(const std::string& key, const std::string& value);
    void SetVerbose(int v);

    // --- files
    bool OpenInputFile(const std::string& fileName);
    int OpenOutputFile(const std::string& fileName, bool join);
    const AVCodec* FindCodec(const std::string& name, AVMediaType kind, TCodecDirection dir,
                             int strict);
    void new_video_stream(int fileIndex);
    void new_audio_stream(int fileIndex);
    void new_subtitle_stream(int fileIndex);
    void check_audio_video_sub_inputs(bool firstOnly, bool& hasVideo, bool& hasAudio,
                                      bool& hasSubtitle) const;

    // --- hook and previews (the callbacks run on the converting thread)
    void SetHookCallback(THookCallback cb) { hookCallback_ = std::move(cb); }
    void SetPreviewCallback(TPreviewCallback cb) { previewCallback_ = std::move(cb); }
    // Takes the process-wide preview lock.
    void SetPreviewFlags(int flags);

    // --- the conversion
    void Transcode();
    int ProcessPacket(TInputStream& ist, AVPacket* pkt);
    void WritePacket(TOutputStream& ost, AVPacket* pkt);
    void RequestStop() { stopRequested_ = true; }
    bool StopRequested() const { return stopRequested_; }
    bool RunCompleted() const { return runCompleted_; }
    // An output could not be written (a full disk, a lost device); known once the run's outputs
    // are closed, so that their owner can remove what is left of them.
    bool OutputWriteFailed() const { return outputWriteFailed_; }

    // --- state read by the run control and the conversion component
    const std::string& LastErrorText() const { return lastErrorText_; }
    int64_t ProgressTotal() const { return progressTotal_; }
    bool Joined() const { return joined_; }
    int InputFileCount() const { return static_cast<int>(inputFiles_.size()); }
    int OutputFileCount() const { return static_cast<int>(outputFiles_.size()); }
    AVFormatContext* InputContext(int i) const { return inputFiles_[i].ctx.get(); }
    AVFormatContext* OutputContext(int i) const { return outputFiles_[i]->ctx.get(); }
    const std::vector<std::unique_ptr<TOutputStream>>& OutputStreams() const { return ost_; }
    const std::vector<std::unique_ptr<TInputStream>>& InputStreams() const { return ist_; }
    int64_t VideoSize() const { return videoSize_; }
    int64_t AudioSize() const { return audioSize_; }
    int64_t ExtraSize() const { return extraSize_; }
    int64_t LoopStartTime() const { return loopStartTime_; }

    // Progress report made by the loop; the run control supplies it.
    virtual void ProgressReport(bool isLastReport, int inputIndex) {}
    // Interval between progress reports in microseconds.
    int64_t ReportIntervalUs() const { return reportIntervalUs_; }
    void SetReportIntervalUs(int64_t us) { reportIntervalUs_ = us; }

    // Frees every file, codec and record a run left behind.
    void ReleaseAll();

protected:
    void Log(TLogLevel level, const std::string& msg) const;
    void LogFmt(TLogLevel level, const char* fmt, ...) const __attribute__((format(printf, 3, 4)));

    // The picture hook and the previews (set before the run; flags may change during it).
    bool HasHookCallback() const { return static_cast<bool>(hookCallback_); }
    int PreviewFlags() const { return previewFlags_; }
    // Called at every packet of the loop; the run control blocks here while paused.
    virtual void PauseGate() {}

    // Decoding branch of ProcessPacket: decodes the packet (or drains with none), passes every
    // decoded frame on to the output streams fed by `ist`, and returns 0, or -1 when decoding
    // failed. Dispatches by kind to the Decode* operations below.
    int DecodeAndOutput(TInputStream& ist, AVPacket* pkt);
    // Outputs that copy `ist` while another output decodes it take the packet (none: nothing).
    void CopyToStreamCopies(TInputStream& ist, AVPacket* pkt);
    // Delayed output of the encoders fed by `ist` at the end of its input.
    void FlushEncoders(TInputStream& ist);
    // Output streams fed by input stream `ist` (in output order); skip those not `active`.
    const std::vector<TOutputStream*>& OutputsOf(const TInputStream& ist) const {
        return ist.outputs;
    }
    // Whether the current timestamp of `ist` (or `timeUs`) has reached the start time (frames
    // before it are decoded but not output).
    bool ReachedStartTime(const TInputStream& ist) const { return ReachedStartTime(ist, ist.pts); }
    bool ReachedStartTime(const TInputStream& ist, int64_t timeUs) const;
    // An input sought to its start counts time from the start point: what lies before it is
    // decoded (the way to the first picture) but not kept.
    bool SoughtInput(const TInputStream& ist) const;
    // Packets copied as they are start at the key picture an input was sought to, before the
    // start point: only an output start time drops them.
    bool ReachedCopyStart(const TInputStream& ist) const;
    // Where the input's output part ends, in its time (UnlimitedTime: at its end).
    int64_t InputEndUs(const TInputStream& ist) const;
    // A picture at `timeUs` lies within the output's part of the input.
    bool KeepsPicture(const TInputStream& ist, int64_t timeUs) const {
        return ReachedStartTime(ist, timeUs) && timeUs < InputEndUs(ist);
    }
    // With native-rate reading: waits until the stream's current timestamp is due.
    void RateEmulationWait(const TInputStream& ist) const;

    // --- picture processing (TCustomFFmpegVideo.cpp)
public:
    // The built-in preview window (flag bit 0) is drawn by the job layer through this callback;
    // it returns false when the window cannot be shown (closed), which clears the bit.
    using TPreviewWindowCallback =
        std::function<bool(TCustomFFmpeg* sender, TPicture& picture, int64_t pts, int frameNumber)>;
    void SetPreviewWindowCallback(TPreviewWindowCallback cb) { previewWindow_ = std::move(cb); }

protected:
    int DecodeVideo(TInputStream& ist, AVPacket* pkt);
    // A decoded (and pre-processed) picture to every output of `ist`, through its filter chain.
    void OutputDecodedPicture(TInputStream& ist, AVFrame* picture, int64_t time);
    // The pictures a filter chain gives, each at its own time (`time` when it has none).
    void PullFilteredPictures(TOutputStream& ost, TInputStream& ist, int64_t time);
    // VideoOutput and the statistics line; `timeUs` is the picture's time.
    void OutputPicture(TOutputStream& ost, TInputStream& ist, AVFrame* picture, int64_t timeUs);
    // At the end of an input: the pictures the filter chains still hold.
    void DrainFilterChains(TInputStream& ist);
    void DrainFilterChain(TOutputStream& ost, TInputStream& ist);
    // Whether `picture` has another size or format than the stream's crop and scaling were made
    // for; if so, logs it and makes the bands and the resample size follow it.
    bool FollowSizeChange(TOutputStream& ost, const TInputStream& ist, const AVFrame& picture);
    // A filter chain made for another input size is drained and made again for `picture`.
    void FollowFilterSource(TOutputStream& ost, TInputStream& ist, const AVFrame& picture);
    void SetupVideoEncoding(TOutputStream& ost, TInputStream& ist);
    void FlushVideoEncoder(TOutputStream& ost);
    // The hook and preview pictures with their conversion caches (TCustomFFmpegVideo.cpp).
    struct TPictureStates;
    // Frame counter, deinterlacing, picture hook and frame-hook modules; returns the picture
    // that goes on (the decoded one, or the hook buffer).
    AVFrame* PreProcess(TInputStream& ist, AVFrame* decoded, int64_t timeUs);
    // The stream's hook buffer, writable and shaped like `like`; null (logged) when it cannot be.
    AVFrame* HookBuffer(TInputStream& ist, const AVFrame& like);
    // Returns the picture that goes on: `picture`, or the hook buffer holding the edits.
    AVFrame* RunPictureHook(TInputStream& ist, AVFrame* picture, int64_t timeUs);
    void SwitchPictureHookOff();
    // Places `picture` (shown from `timeUs`) on the output's ticks: encodes 0, 1 or more copies
    // of it, or at a fixed frame rate of the picture before it; returns the bytes of the last
    // encoded frame.
    int VideoOutput(TOutputStream& ost, TInputStream& ist, AVFrame* picture, int64_t timeUs);
    // Where a picture shown from `timeUs` falls, in (fractional) ticks of the encoder.
    long double PictureTicks(const TOutputStream& ost, const TInputStream& ist,
                             int64_t timeUs) const;
    // Synchronisation of a muxer that takes pictures at any time: how many copies of a picture
    // at `ticks` the output gets (0 drops it); moves the stream's tick count where it falls.
    int64_t SyncCopyCount(TOutputStream& ost, long double ticks);
    // At a fixed frame rate: how many copies the held picture gets when the next one starts at
    // tick `end` (0 drops it).
    int64_t CopiesUntil(TOutputStream& ost, int64_t end);
    // Counts dropped (0) and duplicated (more than 1) copies for the report.
    void CountSyncCopies(int64_t n);
    // At a fixed frame rate each picture is held until the next one arrives, which tells how
    // long it lasts.
    bool HoldsPictures(const TOutputStream& ost) const;
    // The muxer takes pictures at any time: the sync methods do not fill the ticks.
    bool VariableFrameRate(const TOutputStream& ost) const;
    // The encoding of `n` copies (fewer at the frame limit or a stop), fitted to the encoder
    // first unless the filter chain did that.
    int EncodeCopies(TOutputStream& ost, TInputStream& ist, AVFrame* picture, int64_t n);
    // Follows a new input size, crops and scales `picture` to the encoder's size and format;
    // null (logged) when cropping fails.
    AVFrame* FitToEncoder(TOutputStream& ost, const TInputStream& ist, AVFrame* picture);
    // Encodes `fitted` `n` times with the frame properties of `picture`.
    int WriteCopies(TOutputStream& ost, const TInputStream& ist, const AVFrame& picture,
                    AVFrame* fitted, int64_t n);
    // At the end of an input: copies of each output's last picture up to the input's end time.
    void ExtendLastPictures(TInputStream& ist);
    // Sends one picture (or none: flush) to the encoder and writes what comes out.
    int EncodeVideo(TOutputStream& ost, AVFrame* frame);
    void MakePreview(const AVFrame& picture, int64_t ptsUs);
    void VideoStats(TOutputStream& ost, int frameBytes);
    // Whether an output stream sets up its encoder or encodes through a joined output's first
    // entry (whose size and format it must then meet).
    enum class TVideoEncoderUse { Own, Shared };
    void PrepareVideoOutput(TOutputStream& ost, TInputStream& ist, TVideoEncoderUse use);
    bool BuildVideoFilters(TOutputStream& ost, const TInputStream& ist, TVideoEncoderUse use,
                           const TVideoFilterChain::TSource& source);
    void ReopenVideoEncoder(TOutputStream& ost);
    // Frees the hook and preview pictures (ReleaseAll).
    void ReleasePictureStates();

    TPreviewWindowCallback previewWindow_;
    std::shared_ptr<TPictureStates> pictureStates_; // made on first use
    std::unique_ptr<FILE, TOutputStream::FileCloser> vstatsFile_;
    // Encoders that have given their delayed pictures; a joined output reopens them.
    std::vector<TStreamCodec*> flushedVideoEncoders_;
    // Set when a picture was duplicated or dropped; the progress report clears it.
    bool syncNote_ = false;

    // --- sound and subtitle processing (TCustomFFmpegAudio.cpp, TCustomFFmpegSubtitle.cpp)
    int DecodeAudio(TInputStream& ist, AVPacket* pkt);
    int DecodeSubtitle(TInputStream& ist, AVPacket* pkt);
    void SetupAudioEncoding(TOutputStream& ost, TInputStream& ist);
    // At the end of `ist`: the encoders' last frames; a joined output reopens them.
    void EndAudioInput(TInputStream& ist);
    void FlushAudioEncoder(TOutputStream& ost);
    // The audio state of `ost`, made on first use (later entries of a joined output).
    TAudioOutputState& AudioState(TOutputStream& ost, const TInputStream& ist);
    // Resampling, conversion, synchronisation and encoding of one decoded buffer: `planes` of
    // `inFmt` (one pointer for interleaved sound), `size` bytes in all.
    void AudioOutput(TOutputStream& ost, TInputStream& ist, const uint8_t* const* planes, int size,
                     AVSampleFormat inFmt, int decChannels, int decRate);
    // The steps of AudioOutput that need the streams and the options: synchronisation (may
    // trim, pad or drop the chunk, or ask for larger buffers), the FIFO and the encoder.
    enum class TAudioSyncStep { Go, Replan, Dropped };
    TAudioSyncStep SyncAudio(TOutputStream& ost, TInputStream& ist, TAudioChunk& in,
                             int64_t& planned);
    void QueueAudio(TOutputStream& ost, const uint8_t* const* data, int samples);
    // Sends `frame` (none: end of stream) and writes every packet the encoder returns.
    void EncodeAudioFrame(TOutputStream& ost, AVFrame* frame);
    // The FIFO's remainder as a last frame, then the encoder's delayed packets.
    void DrainAudioEncoder(TOutputStream& ost);
    // A fresh encoder with the same settings, for the next input of a joined output.
    void ReopenAudioEncoder(TOutputStream& ost);
    // Text encoders get the source's style header (a plain one when it has none) and a
    // microsecond time base.
    void SetupSubtitleEncoding(TOutputStream& ost, TInputStream& ist);
    void SubtitleOutput(TOutputStream& ost, TInputStream& ist, AVSubtitle* sub, int64_t pts);
    // Fits a decoded cue at `pts` (the input stream's time base) into the output's part of the
    // input: one shown across the start shows from there, one shown across the end until then.
    // False when nothing of it lies within.
    bool FitCueToPart(const TInputStream& ist, int64_t pts, AVSubtitle& sub) const;
    std::vector<uint8_t> subtitleBuffer_; // encoded subtitles, 1 MiB, made on first use

    // --- a chosen subpicture track (TCustomFFmpegSubpicture.cpp): only Matroska outputs carry it
    // as a stream; the others show it in their picture, drawn before crop and scale.
    // Before the stream information is read.
    void AttachInputSubpictures(TInputFileEntry& entry, AVFormatContext& ic);
    // Whether an output of `ofmt` gets a subtitle stream; `wanted` is the usual answer.
    bool SubtitleStreamWanted(const AVOutputFormat& ofmt, bool wanted, const std::string& name);
    // After the stream mapping: a chosen track that no output carries is drawn into the pictures
    // of its input's decoded video stream.
    void SetupSubpictureDrawing();
    void DrawInputSubpictures(int file);
    TInputStream* DecodedVideoStream(int file);

    // --- presets and targets (TCustomFFmpegPresets.cpp, TCustomFFmpegTargets.cpp)
public:
    // The target shortcut of the conversion component: `type` "vcd", "svcd", "dvd", "dv" or
    // "dv50"; `norm` "pal", "ntsc", "film" or anything else for detection from the frame rates;
    // `defaultNorm` decides when detection cannot ("film", "ntsc", else PAL).
    void SetTarget(const std::string& type, const std::string& norm,
                   const std::string& defaultNorm);
    // The name of the codec this build has for `name` ("libfaac" -> "aac"); `name` when the
    // build has it or knows no replacement.
    static std::string CurrentCodecName(const std::string& name, TCodecDirection dir);

protected:
    // One "key=value" line of a preset: a codec option, an encoder's own option, or skipped.
    void ApplyPresetLine(const std::string& presetKey, const std::string& line,
                         const std::string& key, const std::string& value, AVMediaType kind,
                         const AVCodec* encoder);
    void AddPresetPrivateOption(AVMediaType kind, const std::string& key, const std::string& value);
    // Hands the encoder options and muxer options that presets and targets set to a new stream
    // or output file.
    void TakePresetOptions(TStreamCodec& sc, AVMediaType kind) const;
    // Adds the stream's unclaimed generic options that `codec` has as its own (under their
    // current names) to the options it is opened with; the others are left out unsaid.
    static void ClaimEncoderOptions(TStreamCodec& sc, const AVCodec* codec);
    void TakeMuxerOptions(TOutputFileShared& of) const;

    // --- run control (TCustomFFmpegRun.cpp)
    // TFFmpeg (TFFmpeg.h) derives from this class and adds the worker thread, pause, stop, the
    // progress report and the end of a run; this class stays usable without threads.

private:
    // options
    void SetCrop(int& band, int value, bool vertical);
    void SetBitrateOption(const std::string& name, const std::string& value, AVMediaType kind);
    void AddBitstreamFilter(const std::string& name, const std::string& value);
    // "copy" turns stream copy on instead of naming a codec.
    void SetVideoCodecName(const std::string& value);
    void SetAudioCodecName(const std::string& value);
    void SetSubtitleCodecName(const std::string& value);
    // `kind` is the option name: "vpre", "apre", "spre" or "fpre".
    void ApplyPreset(const std::string& kind, const std::string& value);
    void ParseMatrix(const std::string& text, std::optional<TQuantMatrix>& matrix);
    void SetTarget(const std::string& value);
    void SetStreamId(const std::string& name, const std::string& value);
    void AddStreamMap(const std::string& value);
    void AddMetaDataMap(const std::string& value);
    void SetTsScale(const std::string& value);
    void AddVideoHook(const std::string& value);
    void ListPixelFormats();
    void ListSampleFormats();
    void NewStreamForOption(AVMediaType kind);
    uint32_t ParseTag(const std::string& value, const char* what);
    int64_t ParseDuration(const std::string& name, const std::string& value, bool isDate);

    // files
    // The frame settings an opened input's video stream `index` gives (size, aspect, rate).
    void TakeFrameSettings(const AVStream* st, AVCodecContext* dec, int index);
    // The steps of OpenInputFile: decoders forced by name (throws when unknown), the custom I/O
    // and the demuxer (a library error code), the program to read (false when absent), the seek
    // to the start time (returns the start timestamp), the decoder settings of a stream.
    void ForceInputDecoders(AVFormatContext& ic);
    int OpenInputContext(const std::string& fileName, const AVInputFormat* fmt,
                         AvInputContextPtr& ic, TInputFileEntry& entry);
    static bool SelectProgram(AVFormatContext& ic, int programId);
    // Seeks to the start time counted from `origin` (the input's start, or its first picture);
    // returns the time that becomes the input's 0.
    int64_t SeekInputStart(AVFormatContext& ic, const std::string& displayName, int64_t origin);
    // When the input's first picture is shown (its start when it has no picture).
    static int64_t FirstPictureTime(const AVFormatContext& ic);
    AvCodecContextPtr MakeInputDecoder(AVStream* st, int index);
    // What the input's name tells of it (TCustomFFmpegDescription.cpp): track languages go to
    // the streams without one, chapters to an input without any, counted from `origin` (where
    // its part starts on its clock).
    void DescribeInput(const TInputFileEntry& entry, AVFormatContext& ic, int64_t origin);
    // The steps of OpenOutputFile: the muxer (forced or guessed from the name), the kinds of
    // stream it gets, their creation, the file's metadata, the entries of a joined output.
    // Failures throw their message.
    // A subtitle stream an output carries of its own accord: the input stream and its encoder
    // (empty: copied).
    struct TSourceSubtitle {
        int file = 0;
        int stream = 0;
        std::string encoder;
    };
    struct TStreamUse {
        bool video = false, audio = false, subtitle = false;
        std::vector<TSourceSubtitle> sourceSubtitles; // made after the subtitle stream
    };
    const AVOutputFormat* GuessOutputFormat(const std::string& displayName);
    TStreamUse OutputStreamUse(const AVOutputFormat& ofmt, bool join);
    void AddOutputStreams(int fileIndex, TStreamUse use);
    // Subtitle streams (TCustomFFmpegSubtitle.cpp): unless a subtitle codec or copy is asked for,
    // a disc's subpicture track is chosen, or stream maps name the streams, an output carries
    // each subtitle stream of its inputs that its container holds (text ones encoded, bitmap
    // ones copied into Matroska) and leaves out the others.
    void PlanSubtitleStreams(const AVOutputFormat& ofmt, bool join, const std::string& name,
                             TStreamUse& use);
    // At most `room` of them.
    std::vector<TSourceSubtitle> SourceSubtitleStreams(const AVOutputFormat& ofmt,
                                                       const std::string& name, int room) const;
    void AddSourceSubtitleStreams(int fileIndex, const std::vector<TSourceSubtitle>& streams);
    void SetOutputMetadata(AVFormatContext& oc);
    void JoinInputs(const std::shared_ptr<TOutputFileShared>& of, int index);
    AVStream* NewStream(TOutputFileShared& of, AVMediaType kind);
    void FinishNewStream(AVStream* st, TStreamCodec& sc, AVMediaType kind);
    // Remakes the stream's codec context for `codec` (with the encoder's own defaults).
    AVCodecContext* BindEncoder(TStreamCodec& sc, const AVCodec* codec);
    // The encoder named `name`, or the output format's default for `kind`; sets the codec id.
    const AVCodec* ChooseEncoder(TStreamCodec& sc, const std::string& name, AVMediaType kind,
                                 const AVFormatContext& oc);
    // The requested pixel format when `codec` takes it, else the codec's first.
    static AVPixelFormat EncoderPixelFormat(const AVCodecContext& c, const AVCodec* codec,
                                            AVRational rate);
    // Key frames, quantisers, matrices, rate control, PSNR and passes of a new video stream.
    void SetVideoCoding(AVCodecContext& c);
    static void ParseRcOverride(const std::string& rc, AVCodecContext& c);
    void SetupOutputStreams();
    // The steps of SetupOutputStreams: the stream records, the stream maps' check, the input
    // stream feeding output stream `n` (mapped, or the best of its kind), its parameters.
    void MakeInputRecords();
    void MakeOutputRecords();
    void CheckStreamMaps(int outputStreams) const;
    void ChooseSource(TOutputStream& ost, int n);
    int BestSource(const TOutputStream& ost, AVMediaType kind) const;
    void SetupOutputStream(TOutputStream& ost, int n);
    void SetupStreamCopy(TOutputStream& ost, TInputStream& ist);
    void SetupEncoding(TOutputStream& ost, TInputStream& ist);
    void OpenPassLogFile(TOutputStream& ost, int n);
    void CopyMetaDataMaps();
    void CopyChapters();
    // Shows the stream mapping, logs `msg` as an error and throws it: set-up failures.
    [[noreturn]] void FailWithMapping(const std::string& msg);
    void ReportStreamMapping();
    void FreeStreamRecords();
    // Refuses a picture size the library cannot hold or that exceeds what a conversion sanely
    // allocates, before anything is allocated for it; `who` names the stream.
    static void CheckPictureSize(int width, int height, const std::string& who);
    // After the loop: an encoded stream that got no frame although its input had packets fails
    // the run (its output is removed), naming the decoder's last error.
    void CheckEveryOutputGotFrames();

    // loop
    void OpenEncoders();
    void OpenDecoders();
    void MainLoop();
    int ChooseInput();
    // Copies `pkt` to `ost`; the last consumer of a packet takes its data instead of a reference.
    void CopyPacket(TOutputStream& ost, TInputStream& ist, AVPacket* pkt, bool lastConsumer);
    void AdvanceCopiedTimestamp(TInputStream& ist, const AVPacket* pkt);
    void ApplyPacketTimestamps(int fileIndex, TInputStream& ist, AVPacket* pkt);
    void InterleavedWrite(TOutputStream& ost, AVPacket* pkt);
    void InitBitstreamFilters(TOutputStream& ost);
    // Returns true when the loop ends (the last input ended).
    bool EndJoinedInput(int k);
    // A drained encoder cannot take frames again: for the next input of a joined output, a fresh
    // one of the same codec and options takes over. `copySettings` carries the kind's fields.
    void ReopenEncoder(
        TOutputStream& ost,
        const std::function<void(AVCodecContext* fresh, const AVCodecContext* old)>& copySettings);
    void CloseCodecs();
    void WriteHeaders();
    void WriteTrailers();

protected:
    TEngineOptions opt_;
    TGenericOptions generic_;
    std::unique_ptr<TFrameHookList> frameHooks_;

    std::vector<TInputFileEntry> inputFiles_;
    std::vector<std::string> inputCodecNames_; // decoder chosen by name, per input stream
    std::vector<std::shared_ptr<TOutputFileShared>> outputFiles_;

    std::vector<std::unique_ptr<TInputStream>> ist_;
    std::vector<TInputFile> files_;
    std::vector<std::unique_ptr<TOutputStream>> ost_;
    int firstEntryStreams_ = 0;

    std::string lastErrorText_;
    int64_t progressTotal_ = -1;
    bool joined_ = false;
    bool videoFilterSet_ = false;
    std::atomic<bool> stopRequested_{false};
    bool runCompleted_ = false;
    std::atomic<bool> outputWriteFailed_{false};

    int64_t videoSize_ = 0, audioSize_ = 0, extraSize_ = 0;
    int64_t loopStartTime_ = 0;
    int64_t lastReportTime_ = 0;
    int64_t reportIntervalUs_ = 500000;
    int64_t dupFrames_ = 0, dropFrames_ = 0;
    std::vector<bool> noPacket_;
    int noPacketCount_ = 0;
    int currentInput_ = 0;

    std::vector<AVCodecContext*> openEncoders_, openDecoders_;
    THookCallback hookCallback_;
    TPreviewCallback previewCallback_;
    std::atomic<int> previewFlags_{0};
    int frameCounter_ = 0; // pictures pre-processed so far, all inputs together
    AvPacketPtr readPacket_ = MakePacket();
    AvPacketPtr copyPacket_ = MakePacket();
    AvPacketPtr bsfPacket_ = MakePacket();
};

} // namespace quovo
