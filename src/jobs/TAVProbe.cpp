#include "TAVProbe.h"

#include "InputSubpicture.h"

#include "FFmpegException.h"
#include "LibraryIO.h"
#include "MyUtils.h"
#include "TCustomFFmpeg.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

extern "C" {
#include <libavutil/parseutils.h>
}

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace quovo {

namespace {

struct TagName {
    const char* tag;
    const char* shown;
};

const TagName kTagNames[] = {
    {"TALB", "album"},     {"TAL", "album"},      {"TCOM", "composer"},  {"TCON", "genre"},
    {"TCO", "genre"},      {"TCOP", "copyright"}, {"TDRL", "date"},      {"TENC", "encoder"},
    {"TEN", "encoder"},    {"TIT2", "title"},     {"TT2", "title"},      {"TLAN", "language"},
    {"TPE1", "artist"},    {"TP1", "artist"},     {"TPOS", "disc"},      {"TPUB", "publisher"},
    {"TRCK", "track"},     {"TRK", "track"},      {"TSOA", "albumsort"}, {"TSOP", "authorsort"},
    {"TSOT", "titlesort"}, {"TYER", "year"},
};

const char* ShownName(const char* key) {
    for (const TagName& t : kTagNames) {
        if (std::strcmp(key, t.tag) == 0) {
            return t.shown;
        }
    }
    return key;
}

std::string Value(const AVDictionary* dict, const char* key) {
    const AVDictionaryEntry* e = av_dict_get(dict, key, nullptr, AV_DICT_MATCH_CASE);
    return e ? e->value : "";
}

void MetadataBlock(std::vector<std::string>& lines, const AVDictionary* dict,
                   const std::string& prefix) {
    const int count = av_dict_count(dict);
    if (count == 0 || (count == 1 && av_dict_get(dict, "language", nullptr, 0))) {
        return;
    }
    lines.push_back(prefix + "Metadata:");
    const AVDictionaryEntry* e = nullptr;
    while ((e = av_dict_get(dict, "", e, AV_DICT_IGNORE_SUFFIX))) {
        if (std::strcmp(e->key, "language") != 0) {
            lines.push_back(
                StringPrintf("%s  %-16s: %s", prefix.c_str(), ShownName(e->key), e->value));
        }
    }
}

// A time base with a zero denominator is read as numerator/numerator (or 1/1).
AVRational SafeTimeBase(AVRational tb) {
    if (tb.den == 0) {
        tb.den = tb.num != 0 ? tb.num : 1;
        if (tb.num == 0) {
            tb.num = 1;
        }
    }
    return tb;
}

int64_t ToMicroseconds(int64_t value, AVRational tb) {
    return av_rescale_q(value, SafeTimeBase(tb), AV_TIME_BASE_Q);
}

std::string SecondsText(int64_t us) {
    return StringPrintf("%d.%.6d", static_cast<int>(us / 1000000),
                        static_cast<int>(std::llabs(us % 1000000)));
}

std::string RateText(AVRational r, const char* unit) {
    const double v = av_q2d(r);
    const int64_t hundredths = std::llrint(v * 100);
    if (hundredths % 100 != 0) {
        return StringPrintf(", %3.2f %s", v, unit);
    }
    if (hundredths % (100 * 1000) != 0) {
        return StringPrintf(", %1.0f %s", v, unit);
    }
    return StringPrintf(", %1.0fk %s", v / 1000, unit);
}

void FillCommon(AVStream* st, std::string& language, std::string& codec, int64_t& start,
                int64_t& startUs, int64_t& duration, int64_t& durationUs, int& bitRate) {
    language = Value(st->metadata, "language");
    codec = DescribeCodec(st->codecpar, false);
    start = st->start_time;
    startUs = st->start_time == AV_NOPTS_VALUE ? -1 : ToMicroseconds(st->start_time, st->time_base);
    duration = st->duration;
    durationUs = st->duration == AV_NOPTS_VALUE ? -1 : ToMicroseconds(st->duration, st->time_base);
    bitRate = static_cast<int>(st->codecpar->bit_rate);
}

} // namespace

TCustomAVProbe::TCustomAVProbe() = default;

TCustomAVProbe::~TCustomAVProbe() {
    Close();
}

void TCustomAVProbe::Fail(TLogLevel level, const std::string& text) {
    lastError_ = text;
    FFLogger()->Log(this, level, text);
}

bool TCustomAVProbe::LoadFile(const std::string& fileName, const std::string& forcedFormat) {
    const TFFmpegLoader& loader = FFLoader();
    if (!loader.LibraryLoaded(libAVCodec)) {
        throw FFmpegException("LibAVCodec not loaded.");
    }
    if (!loader.LibraryLoaded(libAVFormat)) {
        throw FFmpegException("LibAVFormat not loaded.");
    }
    if (!loader.LibraryLoaded(libAVUtil)) {
        throw FFmpegException("LibAVUtil not loaded.");
    }
    if (!loader.LibraryLoaded(libSWScale)) {
        throw FFmpegException("LibSwScale not loaded.");
    }
    Close();

    const AVInputFormat* fmt = nullptr;
    if (!forcedFormat.empty()) {
        fmt = av_find_input_format(forcedFormat.c_str());
        if (!fmt) {
            lastError_ = StringPrintf("Unknown input format: %s", forcedFormat.c_str());
            return false;
        }
    }
    AVFormatContext* ic = avformat_alloc_context();
    if (!ic) {
        throw FFmpegException("avformat_alloc_context failed");
    }
    ic->flags |= AVFMT_FLAG_NONBLOCK;
    // Custom names ("opendvd:") are read through their protocol, as the engine reads them.
    int err = OpenLibraryInput(ToLibraryName(fileName), ic, fmt, nullptr, io_);
    if (err < 0) {
        // The library freed the context.
        Fail(llError, FormatErrorText(fileName, err));
        Close();
        return false;
    }
    owned_.reset(ic);
    context_ = ic;
    if (const auto track = io_ ? io_->SubpictureTrack() : std::nullopt) {
        AttachSubpictureTrack(*ic, *track);
    }
    {
        std::lock_guard lock(CodecLock());
        err = avformat_find_stream_info(ic, nullptr);
    }
    if (err < 0) {
        lastError_ = StringPrintf("%s: could not find codec parameters", fileName.c_str());
        Close();
        return false;
    }
    ComputeState();
    forcedFormat_ = forcedFormat;
    return true;
}

void TCustomAVProbe::Attach(AVFormatContext* context) {
    Close();
    context_ = context;
    ComputeState();
}

void TCustomAVProbe::Close() {
    forcedFormat_.clear();
    owned_.reset();
    io_.reset();
    context_ = nullptr;
    ComputeState();
}

void TCustomAVProbe::ComputeState() {
    fileSize_ = -1;
    streamCount_ = programCount_ = -1;
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = -1;
    audioStreamIndex_ = videoStreamIndex_ = subtitleStreamIndex_ = -1;
    if (!context_) {
        return;
    }
    const int64_t containerSize = context_->pb ? avio_size(context_->pb) : -1;
    if (containerSize > 0) {
        fileSize_ = containerSize;
    } else {
        const int64_t onDisk = GetFileSize64(FileName());
        fileSize_ = onDisk >= 0 ? onDisk : containerSize;
    }
    streamCount_ = static_cast<int>(context_->nb_streams);
    programCount_ = static_cast<int>(context_->nb_programs);
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = 0;
    for (int i = 0; i < streamCount_; ++i) {
        switch (context_->streams[i]->codecpar->codec_type) {
        case AVMEDIA_TYPE_AUDIO:
            if (audioStreamCount_++ == 0) {
                audioStreamIndex_ = i;
            }
            break;
        case AVMEDIA_TYPE_VIDEO:
            if (videoStreamCount_++ == 0) {
                videoStreamIndex_ = i;
            }
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            if (subtitleStreamCount_++ == 0) {
                subtitleStreamIndex_ = i;
            }
            break;
        default:
            break;
        }
    }
}

std::string TCustomAVProbe::FileName() const {
    return context_ && context_->url ? FromLibraryName(context_->url) : std::string();
}

std::string TCustomAVProbe::FormatName() const {
    return context_ && context_->iformat ? context_->iformat->name : "";
}

TFileStreamInfo TCustomAVProbe::GetFileStreamInfo() {
    TFileStreamInfo info;
    if (!context_) {
        Fail(llWarning, "file not loaded.");
        return info;
    }
    const AVFormatContext* ic = context_;
    info.StartTime = ic->start_time == AV_NOPTS_VALUE ? -1 : ic->start_time;
    info.Duration = ic->duration == AV_NOPTS_VALUE ? -1 : ic->duration;
    // A disc title's chapter range lasts as its chapters do, although more is read for it.
    if (const auto window = io_ ? io_->Window() : std::nullopt; window && window->lengthUs > 0) {
        info.Duration = window->lengthUs;
    }
    info.BitRate = static_cast<int>(ic->bit_rate);
    info.Timestamp = 0;
    const std::string created = Value(ic->metadata, "creation_time");
    int64_t us = 0;
    if (!created.empty() && av_parse_time(&us, created.c_str(), 0) >= 0) {
        info.Timestamp = us / 1000000;
    }
    std::string year = Value(ic->metadata, "year");
    if (year.empty()) {
        year = Value(ic->metadata, "date");
    }
    info.Year = std::atoi(year.c_str());
    info.Track = std::atoi(Value(ic->metadata, "track").c_str());
    info.Title = Value(ic->metadata, "title");
    info.Author = Value(ic->metadata, "author");
    info.Copyright = Value(ic->metadata, "copyright");
    info.Comment = Value(ic->metadata, "comment");
    info.Album = Value(ic->metadata, "album");
    info.Genre = Value(ic->metadata, "genre");
    return info;
}

AVStream* TCustomAVProbe::StreamFor(int streamIndex, AVMediaType kind) {
    const bool audio = kind == AVMEDIA_TYPE_AUDIO;
    if (!context_) {
        Fail(llWarning, "file not loaded.");
        return nullptr;
    }
    if (streamIndex == -1) {
        streamIndex = audio ? audioStreamIndex_ : videoStreamIndex_;
        if (streamIndex < 0) {
            Fail(llError, audio ? "no audio stream." : "no video stream.");
            return nullptr;
        }
    }
    if (streamIndex < 0 || streamIndex >= streamCount_) {
        Fail(llError, StringPrintf("stream index #%d is invalid.", streamIndex));
        return nullptr;
    }
    AVStream* st = context_->streams[streamIndex];
    if (st->codecpar->codec_type != kind) {
        Fail(llError, StringPrintf(audio ? "stream #%d is not audio stream."
                                         : "stream #%d is not video stream.",
                                   streamIndex));
        return nullptr;
    }
    return st;
}

TAudioStreamInfo TCustomAVProbe::GetAudioStreamInfo(int streamIndex) {
    TAudioStreamInfo info;
    AVStream* st = StreamFor(streamIndex, AVMEDIA_TYPE_AUDIO);
    if (!st) {
        return info;
    }
    FillCommon(st, info.Language, info.Codec, info.StartTime, info.StartTimeUS, info.Duration,
               info.DurationUS, info.BitRate);
    info.Channels = st->codecpar->ch_layout.nb_channels;
    info.SampleRate = st->codecpar->sample_rate;
    info.SampleFormat = st->codecpar->format;
    return info;
}

TVideoStreamInfo TCustomAVProbe::GetVideoStreamInfo(int streamIndex) {
    TVideoStreamInfo info;
    AVStream* st = StreamFor(streamIndex, AVMEDIA_TYPE_VIDEO);
    if (!st) {
        return info;
    }
    FillCommon(st, info.Language, info.Codec, info.StartTime, info.StartTimeUS, info.Duration,
               info.DurationUS, info.BitRate);
    const AVCodecParameters* par = st->codecpar;
    info.Width = par->width;
    info.Height = par->height;
    const AVRational sar = par->sample_aspect_ratio;
    info.DisplayAspect = sar.num == 0 || par->height == 0
                             ? 0.0f
                             : static_cast<float>(av_q2d(sar) * par->width / par->height);
    const AVRational pixels = st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio : sar;
    if (pixels.num > 0 && pixels.den > 0) {
        info.SampleAspectNum = pixels.num;
        info.SampleAspectDen = pixels.den;
    }
    info.PixelFormat = par->format;
    info.FrameRateNum = st->r_frame_rate.num;
    info.FrameRateDen = st->r_frame_rate.den;
    return info;
}

bool TCustomAVProbe::IsAudioStream(int streamIndex) {
    if (!context_) {
        Fail(llWarning, "file not loaded.");
        return false;
    }
    if (streamIndex < 0 || streamIndex >= streamCount_) {
        Fail(llError, StringPrintf("stream index #%d is invalid.", streamIndex));
        return false;
    }
    return context_->streams[streamIndex]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
}

bool TCustomAVProbe::IsVideoStream(int streamIndex) {
    if (!context_) {
        Fail(llWarning, "file not loaded.");
        return false;
    }
    if (streamIndex < 0 || streamIndex >= streamCount_) {
        Fail(llError, StringPrintf("stream index #%d is invalid.", streamIndex));
        return false;
    }
    return context_->streams[streamIndex]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
}

std::string TCustomAVProbe::StreamLine(int index) {
    AVStream* st = context_->streams[index];
    std::string line = StringPrintf("Stream #%d", index);
    if (context_->iformat && (context_->iformat->flags & AVFMT_SHOW_IDS)) {
        line += StringPrintf("[0x%x]", st->id);
    }
    const std::string language = Value(st->metadata, "language");
    if (!language.empty()) {
        line += "(" + language + ")";
    }
    int g = static_cast<int>(av_gcd(st->time_base.num, st->time_base.den));
    if (g == 0) {
        g = 1;
    }
    line += StringPrintf(", %d/%d", st->time_base.num / g, st->time_base.den / g);

    char desc[256] = "";
    AVCodecContext* ctx = avcodec_alloc_context3(nullptr);
    if (ctx && avcodec_parameters_to_context(ctx, st->codecpar) >= 0) {
        avcodec_string(desc, sizeof desc, ctx, 0);
    }
    const AVRational codecTb = ctx ? ctx->time_base : AVRational{0, 1};
    avcodec_free_context(&ctx);
    line += ": ";
    line += desc;

    const AVCodecParameters* par = st->codecpar;
    if (st->sample_aspect_ratio.num != 0 &&
        av_cmp_q(st->sample_aspect_ratio, par->sample_aspect_ratio) != 0) {
        int darNum = 0, darDen = 0;
        av_reduce(&darNum, &darDen, static_cast<int64_t>(par->width) * st->sample_aspect_ratio.num,
                  static_cast<int64_t>(par->height) * st->sample_aspect_ratio.den, 1024 * 1024);
        line = StringPrintf("%s, PAR %d:%d DAR %d:%d", line.c_str(), st->sample_aspect_ratio.num,
                            st->sample_aspect_ratio.den, darNum, darDen);
    }
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        const auto both = [](AVRational r) { return r.num != 0 && r.den != 0; };
        if (both(st->avg_frame_rate)) {
            line += RateText(st->avg_frame_rate, "fps");
        }
        if (both(st->r_frame_rate)) {
            line += RateText(st->r_frame_rate, "tbr");
        }
        if (both(st->time_base)) {
            line += RateText(av_inv_q(st->time_base), "tbn");
        }
        // Demuxed streams of this library generation no longer carry a codec time base, so
        // "tbc" shows only where one is known.
        if (both(codecTb)) {
            line += RateText(av_inv_q(codecTb), "tbc");
        }
    }
    if (st->start_time != AV_NOPTS_VALUE) {
        line += ", StartTime: " + SecondsText(ToMicroseconds(st->start_time, st->time_base));
    }
    if (st->duration == AV_NOPTS_VALUE) {
        line += ", Duration: N/A";
    } else {
        line += ", Duration: " + FormatTimeText(ToMicroseconds(st->duration, st->time_base));
    }
    return line;
}

std::string TCustomAVProbe::InfoText() {
    if (!context_) {
        Fail(llWarning, "file not loaded.");
        return "";
    }
    const AVFormatContext* ic = context_;
    std::vector<std::string> lines;
    lines.push_back("File Name: " + FileName());
    lines.push_back(StringPrintf("Format Name: %s", ic->iformat->name));
    lines.push_back(
        StringPrintf("Format Long Name: %s", ic->iformat->long_name ? ic->iformat->long_name : ""));
    lines.push_back("File Size: " + FormatFileSize(fileSize_));
    if (ic->duration == AV_NOPTS_VALUE || ic->duration < 0) {
        lines.push_back("Duration: N/A");
    } else {
        lines.push_back("Duration: " + FormatTimeText(ic->duration));
    }
    if (ic->start_time != AV_NOPTS_VALUE && ic->start_time >= 0) {
        lines.push_back("StartTime: " + SecondsText(ic->start_time));
    }
    if (ic->bit_rate < 1) {
        lines.push_back("Bit Rate: N/A");
    } else {
        lines.push_back(StringPrintf("Bit Rate: %d kb/s", static_cast<int>(ic->bit_rate / 1000)));
    }
    const int64_t timestamp = GetFileStreamInfo().Timestamp;
    if (timestamp > 0) {
        lines.push_back("Time Stamp: " +
                        DateTimeText("yyyy-mm-dd hh:nn:ss", UnixToLocalDateTime(timestamp)));
    }
    MetadataBlock(lines, ic->metadata, "");

    std::vector<bool> listed(ic->nb_streams, false);
    const auto streamWithMetadata = [&](int index) {
        lines.push_back(StreamLine(index));
        MetadataBlock(lines, ic->streams[index]->metadata, "  ");
    };
    for (unsigned p = 0; p < ic->nb_programs; ++p) {
        const AVProgram* program = ic->programs[p];
        // Today's demuxers name these service_provider and service_name.
        std::string provider = Value(program->metadata, "provider_name");
        if (provider.empty()) {
            provider = Value(program->metadata, "service_provider");
        }
        std::string name = Value(program->metadata, "name");
        if (name.empty()) {
            name = Value(program->metadata, "service_name");
        }
        lines.push_back(StringPrintf("Program %d %s@%s", program->id,
                                     provider.empty() ? "N/A" : provider.c_str(),
                                     name.empty() ? "N/A" : name.c_str()));
        MetadataBlock(lines, program->metadata, "  ");
        for (unsigned k = 0; k < program->nb_stream_indexes; ++k) {
            const unsigned index = program->stream_index[k];
            if (index < ic->nb_streams) {
                streamWithMetadata(static_cast<int>(index));
                listed[index] = true;
            }
        }
    }
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        if (!listed[i]) {
            streamWithMetadata(static_cast<int>(i));
        }
    }
    std::string text;
    for (const std::string& l : lines) {
        text += l;
        text += "\n";
    }
    return text;
}

// --- TAVProbe

TAVProbe::~TAVProbe() = default;

void TAVProbe::ComputeState() {
    TCustomAVProbe::ComputeState();
    mainStreamIndex_ = VideoStreamIndex() >= 0 ? VideoStreamIndex() : AudioStreamIndex();
    mainStartTime_ = 0;
    if (!Context()) {
        return;
    }
    if (mainStreamIndex_ >= 0) {
        const AVStream* st = Context()->streams[mainStreamIndex_];
        if (st->start_time != AV_NOPTS_VALUE) {
            mainStartTime_ = ToMicroseconds(st->start_time, st->time_base);
        }
    } else if (Context()->start_time != AV_NOPTS_VALUE) {
        mainStartTime_ = Context()->start_time;
    }
}

} // namespace quovo
