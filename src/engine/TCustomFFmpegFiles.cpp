// Opening inputs, creating outputs and their streams.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"
#include "TFFmpegLoader.h"

extern "C" {
#include <libavcodec/dv_profile.h>
#include <libavutil/avstring.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <cmath>
#include <cstring>

namespace quovo {

constexpr int64_t kProgramStreamSeekMarginUs = 2 * AV_TIME_BASE;

namespace {

const char* KindWord(TCodecDirection dir) {
    return dir == TCodecDirection::Encoder ? "encoder" : "decoder";
}

// Old format parameters (sample rate, channels, time base, size, pixel format, channel, TV
// standard) are demuxer options today; demuxers that do not know them leave them unused.
void AddFormatParameters(const TEngineOptions& opt, AVDictionary** dict) {
    av_dict_set_int(dict, "sample_rate", opt.audioSampleRate, 0);
    av_dict_set_int(dict, "channels", opt.audioChannels, 0);
    if (opt.frameRate.num > 0 && opt.frameRate.den > 0) {
        av_dict_set(dict, "framerate",
                    StringPrintf("%d/%d", opt.frameRate.num, opt.frameRate.den).c_str(), 0);
    }
    if (opt.frameWidth > 0 && opt.frameHeight > 0) {
        av_dict_set(dict, "video_size",
                    StringPrintf("%dx%d", opt.frameWidth, opt.frameHeight).c_str(), 0);
    }
    if (opt.framePixFmt >= 0) {
        const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(opt.framePixFmt));
        if (name) {
            av_dict_set(dict, "pixel_format", name, 0);
        }
    }
    if (opt.videoChannel != 0) {
        av_dict_set_int(dict, "channel", opt.videoChannel, 0);
    }
    if (!opt.videoStandard.empty()) {
        av_dict_set(dict, "standard", opt.videoStandard.c_str(), 0);
    }
}

} // namespace

AVPixelFormat DvPixelFormat(const AVCodec* codec, int width, int height, AVPixelFormat chosen,
                            AVRational rate) {
    if (av_dv_codec_profile2(width, height, chosen, rate)) {
        return chosen;
    }
    for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) {
        if (av_dv_codec_profile2(width, height, *p, rate)) {
            return *p;
        }
    }
    return chosen;
}

const AVCodec* TCustomFFmpeg::FindCodec(const std::string& name, AVMediaType kind,
                                        TCodecDirection dir, int strict) {
    if (name.empty()) {
        return nullptr;
    }
    const bool enc = dir == TCodecDirection::Encoder;
    const std::string current = CurrentCodecName(name, dir);
    const AVCodec* codec = enc ? avcodec_find_encoder_by_name(current.c_str())
                               : avcodec_find_decoder_by_name(current.c_str());
    if (!codec) {
        throw FFmpegException(StringPrintf("Unknown %s '%s'", KindWord(dir), name.c_str()));
    }
    if (codec->type != kind) {
        throw FFmpegException(StringPrintf("Invalid %s type '%s'", KindWord(dir), name.c_str()));
    }
    if ((codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) && strict > FF_COMPLIANCE_EXPERIMENTAL) {
        std::string msg =
            StringPrintf("%s '%s' is experimental and might produce bad results.\r\nAdd '-strict "
                         "experimental' if you want to use it.",
                         KindWord(dir), codec->name);
        const AVCodec* first =
            enc ? avcodec_find_encoder(codec->id) : avcodec_find_decoder(codec->id);
        if (first && !(first->capabilities & AV_CODEC_CAP_EXPERIMENTAL)) {
            msg += StringPrintf("\r\nOr use the non experimental %s '%s'.", KindWord(dir),
                                first->name);
        }
        throw FFmpegException(msg);
    }
    return codec;
}

void TCustomFFmpeg::check_audio_video_sub_inputs(bool firstOnly, bool& hasVideo, bool& hasAudio,
                                                 bool& hasSubtitle) const {
    hasVideo = hasAudio = hasSubtitle = false;
    const size_t count = firstOnly ? std::min<size_t>(1, inputFiles_.size()) : inputFiles_.size();
    for (size_t i = 0; i < count; ++i) {
        AVFormatContext* ic = inputFiles_[i].ctx.get();
        for (unsigned j = 0; j < ic->nb_streams; ++j) {
            switch (ic->streams[j]->codecpar->codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                // Cover art is no video: a song with a cover converts to sound only.
                hasVideo = hasVideo || !IsAttachedPicture(ic->streams[j]);
                break;
            case AVMEDIA_TYPE_AUDIO:
                hasAudio = true;
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                hasSubtitle = true;
                break;
            case AVMEDIA_TYPE_DATA:
            case AVMEDIA_TYPE_ATTACHMENT:
            case AVMEDIA_TYPE_UNKNOWN:
                break;
            default:
                throw FFmpegException("invalid codec_type of input file");
            }
        }
    }
}

void TCustomFFmpeg::TakeFrameSettings(const AVStream* st, AVCodecContext* dec, int index) {
    const AVCodecParameters* par = st->codecpar;
    opt_.frameHeight = par->height;
    opt_.frameWidth = par->width;
    AVRational sar =
        st->sample_aspect_ratio.num ? st->sample_aspect_ratio : par->sample_aspect_ratio;
    if (par->width * par->height != 0) {
        opt_.frameAspectRatio = static_cast<float>(av_q2d(sar) * par->width / par->height);
    } else if (opt_.frameAspectRatio == 0) {
        opt_.frameAspectRatio = 4.0f / 3.0f;
    }
    int pixFmt = par->format < 0 ? 0 : par->format;
    opt_.framePixFmt = pixFmt;
    if (dec->lowres) {
        opt_.frameWidth >>= dec->lowres;
        opt_.frameHeight >>= dec->lowres;
    }
    if (opt_.meThreshold) {
        dec->export_side_data |= AV_CODEC_EXPORT_DATA_MVS;
    }
    AVRational rate = st->r_frame_rate;
    AVRational avg = st->avg_frame_rate;
    if (opt_.verbose >= 0 && avg.num && avg.den && rate.num && rate.den &&
        av_cmp_q(avg, rate) != 0) {
        LogFmt(llInfo,
               "Seems stream %d codec frame rate differs from container frame rate: "
               "%2.2f (%d/%d) -> %2.2f (%d/%d)",
               index, av_q2d(avg), avg.num, avg.den, av_q2d(rate), rate.num, rate.den);
    }
    opt_.frameRate = rate;
}

bool TCustomFFmpeg::OpenInputFile(const std::string& fileName) {
    const AVInputFormat* fmt = nullptr;
    if (!opt_.forcedFormat.empty()) {
        fmt = av_find_input_format(opt_.forcedFormat.c_str());
        if (!fmt) {
            throw FFmpegException(
                StringPrintf("Unknown input format: \"%s\"", opt_.forcedFormat.c_str()));
        }
        opt_.forcedFormat.clear();
    }
    if (static_cast<int>(inputFiles_.size()) >= MAX_FILES) {
        throw FFmpegException(StringPrintf("Too many input files (at most %d)", MAX_FILES));
    }

    auto fail = [this](const std::string& msg) {
        lastErrorText_ = msg;
        opt_.videoCodecName.clear();
        opt_.audioCodecName.clear();
        opt_.subtitleCodecName.clear();
        opt_.videoChannel = 0;
        return false;
    };

    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) {
        throw FFmpegException("avformat_alloc_context failed");
    }
    AvInputContextPtr ic(raw);
    generic_.Apply(ic.get(), generic_.Container(), AV_OPT_FLAG_DECODING_PARAM);
    try {
        ForceInputDecoders(*ic);
    } catch (const FFmpegException& e) {
        return fail(e.what());
    }

    const std::string displayName = FromLibraryName(fileName);
    TInputFileEntry entry;
    entry.name = fileName;
    if (const int err = OpenInputContext(fileName, fmt, ic, entry); err < 0) {
        return fail(FormatErrorText(displayName, err));
    }
    AttachInputSubpictures(entry, *ic);
    if (opt_.opt_programid) {
        if (!SelectProgram(*ic, opt_.opt_programid)) {
            return fail("Specified program id not found");
        }
        opt_.opt_programid = 0;
    }
    {
        std::lock_guard lock(CodecLock());
        int err = avformat_find_stream_info(ic.get(), nullptr);
        if (err < 0 && opt_.verbose >= 0) {
            lastErrorText_ =
                StringPrintf("%s: could not find codec parameters", displayName.c_str());
            Log(llVerbose, lastErrorText_);
            return fail(lastErrorText_);
        }
    }
    // A part of a longer stream counts its time from its first picture; a start time is
    // measured from there.
    const std::optional<TIOProtocolStream::TWindow> window =
        entry.io ? entry.io->Window() : std::nullopt;
    const bool seeks = opt_.startTime != 0 || window;
    const int64_t origin = !window                  ? ic->start_time
                           : window->startUs >= 0 ? window->startUs
                                                  : FirstPictureTime(*ic);
    const int64_t timestamp = SeekInputStart(*ic, displayName, origin);
    entry.startSeek = seeks ? timestamp : NoTimestamp;
    if (window && window->lengthUs > 0) {
        entry.endUs = window->lengthUs - (timestamp - origin);
    }
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        entry.codecs.push_back(MakeInputDecoder(ic->streams[i], static_cast<int>(i)));
    }

    if (entry.io) {
        for (const auto& [name, value] : entry.io->InputOptions()) {
            SetOption(name, value);
        }
        DescribeInput(entry, *ic, origin);
    }
    // A part of a longer stream lasts as long as the part, not as what is read for it.
    const int64_t inputLength = entry.endUs != UnlimitedTime ? entry.endUs : ic->duration;
    if (inputLength != AV_NOPTS_VALUE && inputLength > progressTotal_) {
        progressTotal_ = inputLength;
    }
    entry.tsOffset = opt_.copyTs ? opt_.inputTsOffset : opt_.inputTsOffset - timestamp;
    entry.nbStreamsAtOpen = static_cast<int>(ic->nb_streams);
    if (opt_.verbose >= 0) {
        av_dump_format(ic.get(), static_cast<int>(inputFiles_.size()), fileName.c_str(), 0);
    }
    entry.ctx = std::move(ic);
    inputFiles_.push_back(std::move(entry));
    opt_.videoChannel = 0;
    opt_.videoCodecName.clear();
    opt_.audioCodecName.clear();
    opt_.subtitleCodecName.clear();
    return true;
}

void TCustomFFmpeg::ForceInputDecoders(AVFormatContext& ic) {
    const AVCodec* vdec =
        FindCodec(opt_.videoCodecName, AVMEDIA_TYPE_VIDEO, TCodecDirection::Decoder,
                  generic_.Codec(AVMEDIA_TYPE_VIDEO)->strict_std_compliance);
    const AVCodec* adec =
        FindCodec(opt_.audioCodecName, AVMEDIA_TYPE_AUDIO, TCodecDirection::Decoder,
                  generic_.Codec(AVMEDIA_TYPE_AUDIO)->strict_std_compliance);
    const AVCodec* sdec =
        FindCodec(opt_.subtitleCodecName, AVMEDIA_TYPE_SUBTITLE, TCodecDirection::Decoder,
                  generic_.Codec(AVMEDIA_TYPE_SUBTITLE)->strict_std_compliance);
    ic.video_codec_id = vdec ? vdec->id : AV_CODEC_ID_NONE;
    ic.audio_codec_id = adec ? adec->id : AV_CODEC_ID_NONE;
    ic.subtitle_codec_id = sdec ? sdec->id : AV_CODEC_ID_NONE;
    ic.flags |= AVFMT_FLAG_NONBLOCK;
    if (opt_.pgmyuvCompatibility) {
        ic.video_codec_id = AV_CODEC_ID_PGMYUV;
    }
}

int TCustomFFmpeg::OpenInputContext(const std::string& fileName, const AVInputFormat* fmt,
                                    AvInputContextPtr& ic, TInputFileEntry& entry) {
    AvDictionary params;
    AddFormatParameters(opt_, params.address());
    if (opt_.loopInput) {
        av_dict_set(params.address(), "loop", "1", 0);
    }
    AVFormatContext* p = ic.release();
    if (const int err = OpenLibraryInput(fileName, p, fmt, params.address(), entry.io); err < 0) {
        return err;
    }
    ic.reset(p);
    return 0;
}

bool TCustomFFmpeg::SelectProgram(AVFormatContext& ic, int programId) {
    bool found = false;
    for (unsigned i = 0; i < ic.nb_streams; ++i) {
        ic.streams[i]->discard = AVDISCARD_ALL;
    }
    for (unsigned i = 0; i < ic.nb_programs; ++i) {
        AVProgram* p = ic.programs[i];
        if (p->id != programId) {
            p->discard = AVDISCARD_ALL;
        } else {
            found = true;
            for (unsigned j = 0; j < p->nb_stream_indexes; ++j) {
                ic.streams[p->stream_index[j]]->discard = AVDISCARD_DEFAULT;
            }
        }
    }
    return found;
}

int64_t TCustomFFmpeg::FirstPictureTime(const AVFormatContext& ic) {
    for (unsigned i = 0; i < ic.nb_streams; ++i) {
        const AVStream* st = ic.streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !IsAttachedPicture(st) &&
            st->start_time != AV_NOPTS_VALUE) {
            return av_rescale_q(st->start_time, st->time_base, AV_TIME_BASE_Q);
        }
    }
    return ic.start_time;
}

int64_t TCustomFFmpeg::SeekInputStart(AVFormatContext& ic, const std::string& displayName,
                                      int64_t origin) {
    int64_t timestamp = opt_.startTime;
    if (origin != AV_NOPTS_VALUE) {
        timestamp += origin;
    }
    if (opt_.startTime != 0) {
        // Program and transport streams are sought by their clock, not by an index of key
        // frames: the landing may lie past the key frame before the start. A margin of more than
        // a group of pictures lets the decoder reach the start picture; what lies before the
        // start is not kept.
        int64_t target = timestamp;
        if (ic.iformat->flags & AVFMT_TS_DISCONT) {
            const int64_t first = ic.start_time != AV_NOPTS_VALUE ? ic.start_time : 0;
            target = std::max(first, timestamp - kProgramStreamSeekMarginUs);
        }
        int err = av_seek_frame(&ic, -1, target, AVSEEK_FLAG_BACKWARD);
        if (err < 0 && opt_.verbose > 0) {
            LogFmt(llVerbose, "%s: could not seek to position %0.3f", displayName.c_str(),
                   static_cast<double>(timestamp) / AV_TIME_BASE);
        }
        opt_.startTime = 0;
    }
    return timestamp;
}

AvCodecContextPtr TCustomFFmpeg::MakeInputDecoder(AVStream* st, int index) {
    AVCodecParameters* par = st->codecpar;
    AvCodecContextPtr dec(avcodec_alloc_context3(nullptr));
    if (!dec || avcodec_parameters_to_context(dec.get(), par) < 0) {
        throw FFmpegException("avcodec_alloc_context failed");
    }
    dec->thread_count = opt_.threadCount;
    if (par->codec_type < AVMEDIA_TYPE_UNKNOWN || par->codec_type >= AVMEDIA_TYPE_NB) {
        throw FFmpegException("invalid codec_type");
    }
    switch (par->codec_type) {
    case AVMEDIA_TYPE_VIDEO: {
        generic_.Apply(dec.get(), generic_.Codec(AVMEDIA_TYPE_VIDEO),
                       AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
        if (!IsAttachedPicture(st)) {
            // A cover's size and its one-picture "rate" are not the video's settings.
            TakeFrameSettings(st, dec.get(), index);
        }
        inputCodecNames_.push_back(opt_.videoCodecName);
        if (opt_.videoDisable) {
            st->discard = AVDISCARD_ALL;
        } else if (opt_.videoDiscard) {
            st->discard = static_cast<AVDiscard>(opt_.videoDiscard);
        }
        break;
    }
    case AVMEDIA_TYPE_AUDIO:
        generic_.Apply(dec.get(), generic_.Codec(AVMEDIA_TYPE_AUDIO),
                       AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
        opt_.channelLayout = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE
                                 ? static_cast<int64_t>(par->ch_layout.u.mask)
                                 : 0;
        opt_.audioChannels = par->ch_layout.nb_channels;
        opt_.audioSampleRate = par->sample_rate;
        opt_.audioSampleFmt = par->format;
        inputCodecNames_.push_back(opt_.audioCodecName);
        if (opt_.audioDisable) {
            st->discard = AVDISCARD_ALL;
        }
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        inputCodecNames_.push_back(opt_.subtitleCodecName);
        if (opt_.subtitleDisable) {
            st->discard = AVDISCARD_ALL;
        }
        break;
    default: // data and others
        inputCodecNames_.emplace_back();
        break;
    }
    return dec;
}

AVStream* TCustomFFmpeg::NewStream(TOutputFileShared& of, AVMediaType kind) {
    if (of.ctx->nb_streams >= MAX_STREAMS) {
        throw FFmpegException("Could not alloc stream");
    }
    AVStream* st = avformat_new_stream(of.ctx.get(), nullptr);
    if (!st) {
        throw FFmpegException("Could not alloc stream");
    }
    st->id = opt_.streamIdMap[st->index];
    auto sc = std::make_unique<TStreamCodec>();
    sc->ctx.reset(avcodec_alloc_context3(nullptr));
    if (!sc->ctx) {
        throw FFmpegException("Could not alloc stream");
    }
    sc->ctx->codec_type = kind;
    sc->ctx->thread_count = opt_.threadCount;
    st->codecpar->codec_type = kind;
    std::vector<std::string>* chain = kind == AVMEDIA_TYPE_VIDEO   ? &opt_.videoBitstreamFilters
                                      : kind == AVMEDIA_TYPE_AUDIO ? &opt_.audioBitstreamFilters
                                                                   : &opt_.subtitleBitstreamFilters;
    sc->bitstreamFilters = std::move(*chain);
    chain->clear();
    uint32_t tag = kind == AVMEDIA_TYPE_VIDEO   ? opt_.videoCodecTag
                   : kind == AVMEDIA_TYPE_AUDIO ? opt_.audioCodecTag
                                                : opt_.subtitleCodecTag;
    if (tag) {
        sc->ctx->codec_tag = tag;
    }
    TakePresetOptions(*sc, kind);
    sc->unclaimedOptions = opt_.unclaimedOptions;
    of.streams.push_back(std::move(sc));
    return st;
}

AVCodecContext* TCustomFFmpeg::BindEncoder(TStreamCodec& sc, const AVCodec* codec) {
    // Encoders carry defaults of their own (libx264 refuses the generic ones); a context made
    // for the encoder gets them, and what was already set on the stream is carried over.
    if (!codec) {
        return sc.ctx.get();
    }
    AvCodecContextPtr fresh(avcodec_alloc_context3(codec));
    if (!fresh) {
        throw FFmpegException("Could not alloc stream");
    }
    const AVCodecContext* old = sc.ctx.get();
    fresh->codec_type = old->codec_type;
    fresh->codec_id = codec->id;
    fresh->thread_count = old->thread_count;
    fresh->codec_tag = old->codec_tag;
    fresh->flags |= old->flags;
    fresh->flags2 |= old->flags2;
    // B-frames stay off unless asked for, as the generic settings have it: device presets that
    // do not mention them (baseline profiles) rely on that.
    if (codec->type == AVMEDIA_TYPE_VIDEO) {
        fresh->max_b_frames = generic_.Codec(AVMEDIA_TYPE_VIDEO)->max_b_frames;
    }
    sc.ctx = std::move(fresh);
    return sc.ctx.get();
}

void TCustomFFmpeg::FinishNewStream(AVStream* st, TStreamCodec& sc, AVMediaType kind) {
    std::string* lang;
    if (kind == AVMEDIA_TYPE_VIDEO) {
        opt_.videoDisable = false;
        opt_.videoCodecName.clear();
        opt_.videoStreamCopy = false;
        opt_.framePixFmt = -1;
        lang = &opt_.videoLanguage;
    } else if (kind == AVMEDIA_TYPE_AUDIO) {
        opt_.audioDisable = false;
        opt_.audioCodecName.clear();
        opt_.audioStreamCopy = false;
        lang = &opt_.audioLanguage;
    } else {
        opt_.subtitleDisable = false;
        opt_.subtitleCodecName.clear();
        opt_.subtitleStreamCopy = false;
        lang = &opt_.subtitleLanguage;
    }
    if (!lang->empty()) {
        av_dict_set(&st->metadata, "language", lang->c_str(), 0);
        lang->clear();
    }
}

const AVCodec* TCustomFFmpeg::ChooseEncoder(TStreamCodec& sc, const std::string& name,
                                            AVMediaType kind, const AVFormatContext& oc) {
    AVCodecContext* c = sc.ctx.get();
    if (!name.empty()) {
        const AVCodec* codec = FindCodec(name, kind, TCodecDirection::Encoder,
                                         generic_.Codec(kind)->strict_std_compliance);
        c->codec_id = codec->id;
        return codec;
    }
    c->codec_id = av_guess_codec(oc.oformat, nullptr, oc.url, nullptr, kind);
    return avcodec_find_encoder(c->codec_id);
}

void TCustomFFmpeg::new_video_stream(int fileIndex) {
    TOutputFileShared& of = *outputFiles_[fileIndex];
    AVFormatContext* oc = of.ctx.get();
    AVStream* st = NewStream(of, AVMEDIA_TYPE_VIDEO);
    TStreamCodec& sc = *of.streams.back();
    AVCodecContext* c = sc.ctx.get();
    AVCodecContext* vopts = generic_.Codec(AVMEDIA_TYPE_VIDEO);

    if ((opt_.videoGlobalHeader & 1) ||
        (opt_.videoGlobalHeader == 0 && (oc->oformat->flags & AVFMT_GLOBALHEADER))) {
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        vopts->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (opt_.videoGlobalHeader & 2) {
        c->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
        vopts->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    }

    const int w = opt_.frameWidth;
    const int h = opt_.frameHeight;
    const double aspect = opt_.frameAspectRatio;
    AVRational sar = av_d2q(w * h != 0 ? aspect * h / w : aspect * 3 / 4, 255);
    if (sar.num <= 0 || sar.den <= 0) {
        sar = {0, 1};
    }
    st->sample_aspect_ratio = sar;
    if (opt_.videoStreamCopy) {
        sc.streamCopy = true;
        c->codec_type = AVMEDIA_TYPE_VIDEO;
        c->sample_aspect_ratio = sar;
    } else {
        const AVCodec* codec = ChooseEncoder(sc, opt_.videoCodecName, AVMEDIA_TYPE_VIDEO, *oc);
        c = BindEncoder(sc, codec);
        generic_.Apply(c, vopts, AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
        AVRational rate =
            opt_.frameRate.num && opt_.frameRate.den ? opt_.frameRate : AVRational{25, 1};
        if (codec && codec->supported_framerates && !opt_.forceFps) {
            rate = codec->supported_framerates[av_find_nearest_q_idx(rate,
                                                                     codec->supported_framerates)];
        }
        c->time_base = av_inv_q(rate);
        c->framerate = rate;
        c->width = w;
        c->height = h;
        c->pix_fmt = static_cast<AVPixelFormat>(opt_.framePixFmt);
        c->sample_aspect_ratio = sar;
        if (codec && codec->pix_fmts) {
            c->pix_fmt = EncoderPixelFormat(*c, codec, rate);
        }
        SetVideoCoding(*c);
        if (!opt_.videoCodecName.empty()) {
            sc.outputCodec = codec;
        }
    }
    FinishNewStream(st, sc, AVMEDIA_TYPE_VIDEO);
}

AVPixelFormat TCustomFFmpeg::EncoderPixelFormat(const AVCodecContext& c, const AVCodec* codec,
                                                AVRational rate) {
    AVPixelFormat format = c.pix_fmt;
    const bool mjpeg = codec->id == AV_CODEC_ID_MJPEG;
    const bool limitedRange = format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUV422P ||
                              format == AV_PIX_FMT_YUV444P;
    bool listed = false;
    for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) {
        listed = listed || *p == format;
    }
    // Today's MJPEG encoder lists the limited-range formats too but refuses them unless the
    // strictness is lowered; without that they count as not listed.
    if (mjpeg && limitedRange && c.strict_std_compliance >= 0) {
        listed = false;
    }
    const bool mjpegKeeps = mjpeg && c.strict_std_compliance < 0 &&
                            (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUV422P);
    if (!listed && !mjpegKeeps) {
        format = codec->pix_fmts[0];
    }
    if (codec->id == AV_CODEC_ID_DVVIDEO) {
        format = DvPixelFormat(codec, c.width, c.height, format, rate);
    }
    return format;
}

void TCustomFFmpeg::SetVideoCoding(AVCodecContext& c) {
    if (opt_.intraOnly) {
        c.gop_size = 0;
    }
    if (opt_.videoQScale != 0 || opt_.sameQuality) {
        c.flags |= AV_CODEC_FLAG_QSCALE;
        c.global_quality = static_cast<int>(FF_QP2LAMBDA * opt_.videoQScale);
    }
    if (opt_.intraMatrix) {
        c.intra_matrix = static_cast<uint16_t*>(av_malloc(sizeof(uint16_t) * 64));
        std::memcpy(c.intra_matrix, opt_.intraMatrix->data(), sizeof(uint16_t) * 64);
    }
    if (opt_.interMatrix) {
        c.inter_matrix = static_cast<uint16_t*>(av_malloc(sizeof(uint16_t) * 64));
        std::memcpy(c.inter_matrix, opt_.interMatrix->data(), sizeof(uint16_t) * 64);
    }
    ParseRcOverride(opt_.rcOverride, c);
    if (c.rc_initial_buffer_occupancy == 0) {
        c.rc_initial_buffer_occupancy = c.rc_buffer_size * 3 / 4;
    }
    c.intra_dc_precision = opt_.intraDcPrecision - 8;
    if (opt_.doPsnr) {
        c.flags |= AV_CODEC_FLAG_PSNR;
    }
    if (opt_.doPass == 1) {
        c.flags |= AV_CODEC_FLAG_PASS1;
    } else if (opt_.doPass == 2) {
        c.flags |= AV_CODEC_FLAG_PASS2;
    }
}

void TCustomFFmpeg::ParseRcOverride(const std::string& rc, AVCodecContext& c) {
    // Groups "start,end,q" separated by "/"; q > 0 a quantiser, else -q percent of the quality.
    for (size_t pos = 0; !rc.empty() && pos <= rc.size();) {
        int start, end, consumed = 0;
        double q;
        if (std::sscanf(rc.c_str() + pos, "%d,%d,%lf%n", &start, &end, &q, &consumed) != 3) {
            throw FFmpegException("error parsing rc_override");
        }
        c.rc_override = static_cast<RcOverride*>(
            av_realloc_array(c.rc_override, c.rc_override_count + 1, sizeof(RcOverride)));
        if (!c.rc_override) {
            throw FFmpegException("Could not (re)allocate memory for rc_override.");
        }
        RcOverride& o = c.rc_override[c.rc_override_count++];
        o.start_frame = start;
        o.end_frame = end;
        if (q > 0) {
            o.qscale = static_cast<int>(q);
            o.quality_factor = 1.0f;
        } else {
            o.qscale = 0;
            o.quality_factor = static_cast<float>(-q / 100);
        }
        pos += consumed;
        if (pos >= rc.size()) {
            break;
        }
        ++pos; // the "/" between groups
    }
}

void TCustomFFmpeg::new_audio_stream(int fileIndex) {
    TOutputFileShared& of = *outputFiles_[fileIndex];
    AVFormatContext* oc = of.ctx.get();
    AVStream* st = NewStream(of, AVMEDIA_TYPE_AUDIO);
    TStreamCodec& sc = *of.streams.back();
    AVCodecContext* c = sc.ctx.get();
    AVCodecContext* aopts = generic_.Codec(AVMEDIA_TYPE_AUDIO);

    if (oc->oformat->flags & AVFMT_GLOBALHEADER) {
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        aopts->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (opt_.audioStreamCopy) {
        sc.streamCopy = true;
        av_channel_layout_uninit(&c->ch_layout);
        av_channel_layout_default(&c->ch_layout, opt_.audioChannels);
        c->sample_rate = opt_.audioSampleRate;
    } else {
        const AVCodec* codec = ChooseEncoder(sc, opt_.audioCodecName, AVMEDIA_TYPE_AUDIO, *oc);
        c = BindEncoder(sc, codec);
        generic_.Apply(c, aopts, AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
        if (opt_.audioQScale > -99999) {
            c->flags |= AV_CODEC_FLAG_QSCALE;
            c->global_quality = static_cast<int>(FF_QP2LAMBDA * opt_.audioQScale);
        }
        av_channel_layout_uninit(&c->ch_layout);
        uint64_t mask = static_cast<uint64_t>(opt_.channelLayout);
        if (mask && av_popcount64(mask) == opt_.audioChannels) {
            av_channel_layout_from_mask(&c->ch_layout, mask);
        } else {
            av_channel_layout_default(&c->ch_layout, opt_.audioChannels);
        }
        c->sample_fmt = static_cast<AVSampleFormat>(opt_.audioSampleFmt);
        c->sample_rate = opt_.audioSampleRate;
        if (codec && codec->sample_fmts) {
            bool listed = false;
            for (const AVSampleFormat* p = codec->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p) {
                listed = listed || *p == c->sample_fmt;
            }
            if (!listed) {
                c->sample_fmt = codec->sample_fmts[0];
            }
        }
        if (codec && codec->supported_samplerates) {
            int best = codec->supported_samplerates[0];
            for (const int* p = codec->supported_samplerates; *p; ++p) {
                if (std::abs(*p - c->sample_rate) < std::abs(best - c->sample_rate)) {
                    best = *p;
                }
            }
            if (best != c->sample_rate) {
                LogFmt(llWarning,
                       "Requested sampling rate unsupported using closest supported (%d)", best);
            }
            c->sample_rate = best;
        }
        if (!opt_.audioCodecName.empty()) {
            sc.outputCodec = codec;
        }
    }
    c->time_base = AVRational{1, c->sample_rate > 0 ? c->sample_rate : 1};
    FinishNewStream(st, sc, AVMEDIA_TYPE_AUDIO);
}

void TCustomFFmpeg::new_subtitle_stream(int fileIndex) {
    TOutputFileShared& of = *outputFiles_[fileIndex];
    AVStream* st = NewStream(of, AVMEDIA_TYPE_SUBTITLE);
    TStreamCodec& sc = *of.streams.back();
    AVCodecContext* c = sc.ctx.get();
    AVCodecContext* sopts = generic_.Codec(AVMEDIA_TYPE_SUBTITLE);
    if (opt_.subtitleStreamCopy) {
        sc.streamCopy = true;
    } else {
        generic_.Apply(c, sopts, AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
        const AVCodec* codec = FindCodec(opt_.subtitleCodecName, AVMEDIA_TYPE_SUBTITLE,
                                         TCodecDirection::Encoder, sopts->strict_std_compliance);
        if (codec) {
            c->codec_id = codec->id;
            sc.outputCodec = codec;
        } else {
            // Without a name, the container's own (none: the stream cannot be encoded).
            c->codec_id = av_guess_codec(of.ctx->oformat, nullptr, of.ctx->url, nullptr,
                                         AVMEDIA_TYPE_SUBTITLE);
        }
    }
    FinishNewStream(st, sc, AVMEDIA_TYPE_SUBTITLE);
}

int TCustomFFmpeg::OpenOutputFile(const std::string& fileName, bool join) {
    if (joined_) {
        lastErrorText_ = "Cannot join more than one output file.";
        return -1;
    }
    if (static_cast<int>(outputFiles_.size()) >= MAX_FILES) {
        lastErrorText_ = StringPrintf("max output files %d reached", MAX_FILES);
        return -1;
    }
    videoFilterSet_ = !opt_.videoFilters.empty();
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) {
        throw FFmpegException("avformat_alloc_context failed");
    }
    auto of = std::make_shared<TOutputFileShared>();
    of->ctx.reset(raw);
    const std::string displayName = FromLibraryName(fileName);
    of->fileName = displayName;

    auto fail = [&](const std::string& msg) {
        lastErrorText_ = msg;
        return -1;
    };
    const AVOutputFormat* ofmt = nullptr;
    TStreamUse use;
    try {
        ofmt = GuessOutputFormat(displayName);
        use = OutputStreamUse(*ofmt, join);
        PlanSubtitleStreams(*ofmt, join, displayName, use);
    } catch (const FFmpegException& e) {
        return fail(e.what());
    }
    of->ctx->oformat = ofmt;
    of->ctx->url = av_strdup(fileName.substr(0, 1023).c_str());

    // Streams are added through the entry list, so the entry goes in first and comes out again
    // on any failure.
    outputFiles_.push_back(of);
    const int index = static_cast<int>(outputFiles_.size()) - 1;
    auto failRemove = [&](const std::string& msg) {
        outputFiles_.pop_back();
        return fail(msg);
    };
    try {
        AddOutputStreams(index, use);
    } catch (const FFmpegException& e) {
        return failRemove(e.what());
    } catch (...) {
        outputFiles_.pop_back();
        throw;
    }
    SetOutputMetadata(*of->ctx);

    if ((ofmt->flags & AVFMT_NEEDNUMBER) && !av_filename_number_test(of->ctx->url)) {
        return failRemove(FormatErrorText(displayName, AVERROR(EDOM)));
    }
    if (!(ofmt->flags & AVFMT_NOFILE)) {
        int err = TLibraryIO::Open(fileName, AVIO_FLAG_WRITE, of->io);
        if (err < 0) {
            of->fileName.clear(); // nothing of ours to remove
            return failRemove(FormatErrorText(displayName, err));
        }
        of->ctx->pb = of->io->Context();
    }

    of->ctx->max_delay = static_cast<int>(opt_.muxMaxDelay * 1000000);
    av_dict_set_int(of->muxOptions.address(), "preload",
                    static_cast<int64_t>(opt_.muxPreload * 1000000), 0);
    if (opt_.loopOutput >= 0) {
        av_dict_set_int(of->muxOptions.address(), "loop", opt_.loopOutput, 0);
    }
    TakeMuxerOptions(*of);
    of->ctx->flags |= AVFMT_FLAG_NONBLOCK;
    generic_.Apply(of->ctx.get(), generic_.Container(), AV_OPT_FLAG_ENCODING_PARAM);
    opt_.streamIdMap.fill(0);

    if (join && inputFiles_.size() > 1) {
        JoinInputs(of, index);
    }
    return static_cast<int>(outputFiles_.size());
}

const AVOutputFormat* TCustomFFmpeg::GuessOutputFormat(const std::string& displayName) {
    const std::string forced = opt_.forcedFormat;
    opt_.forcedFormat.clear();
    if (!forced.empty()) {
        const AVOutputFormat* ofmt = av_guess_format(forced.c_str(), nullptr, nullptr);
        if (!ofmt) {
            throw FFmpegException(StringPrintf(
                "Requested output format '%s' is not a suitable output format", forced.c_str()));
        }
        return ofmt;
    }
    // Guess from the readable name: a "unicode:utf8:" prefix hides the extension otherwise.
    const AVOutputFormat* ofmt = av_guess_format(nullptr, displayName.c_str(), nullptr);
    if (!ofmt) {
        throw FFmpegException(
            StringPrintf("Unable to find a suitable output format for '%s'", displayName.c_str()));
    }
    return ofmt;
}

TCustomFFmpeg::TStreamUse TCustomFFmpeg::OutputStreamUse(const AVOutputFormat& ofmt, bool join) {
    TStreamUse use;
    use.video = opt_.videoStreamCopy || ofmt.video_codec != AV_CODEC_ID_NONE ||
                !opt_.videoCodecName.empty();
    use.audio = opt_.audioStreamCopy || ofmt.audio_codec != AV_CODEC_ID_NONE ||
                !opt_.audioCodecName.empty();
    use.subtitle = opt_.subtitleStreamCopy || ofmt.subtitle_codec != AV_CODEC_ID_NONE ||
                   !opt_.subtitleCodecName.empty();
    if (!inputFiles_.empty()) {
        bool v, a, s;
        try {
            check_audio_video_sub_inputs(join, v, a, s);
        } catch (const FFmpegException& e) {
            throw FFmpegException(StringPrintf("check_audio_video_sub_inputs fail: %s", e.what()));
        }
        use.video = use.video && v;
        use.audio = use.audio && a;
        use.subtitle = use.subtitle && s;
    }
    use.audio = use.audio && !opt_.audioDisable;
    use.video = use.video && !opt_.videoDisable;
    use.subtitle = use.subtitle && !opt_.subtitleDisable;
    return use;
}

void TCustomFFmpeg::AddOutputStreams(int fileIndex, TStreamUse use) {
    // A failure names the step, as the message of every set-up failure does.
    auto add = [&](bool wanted, void (TCustomFFmpeg::*make)(int), const char* step) {
        if (!wanted) {
            return;
        }
        try {
            (this->*make)(fileIndex);
        } catch (const FFmpegException& e) {
            throw FFmpegException(StringPrintf("%s fail: %s", step, e.what()));
        }
    };
    add(use.video, &TCustomFFmpeg::new_video_stream, "new_video_stream");
    add(use.audio, &TCustomFFmpeg::new_audio_stream, "new_audio_stream");
    add(use.subtitle, &TCustomFFmpeg::new_subtitle_stream, "new_subtitle_stream");
    AddSourceSubtitleStreams(fileIndex, use.sourceSubtitles);
}

void TCustomFFmpeg::SetOutputMetadata(AVFormatContext& oc) {
    if (opt_.recTimestamp != 0) {
        av_dict_set_int(&oc.metadata, "creation_time", opt_.recTimestamp * 1000000, 0);
        char buf[64];
        time_t t = static_cast<time_t>(opt_.recTimestamp);
        struct tm tmv {};
        gmtime_r(&t, &tmv);
        strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S.000000Z", &tmv);
        av_dict_set(&oc.metadata, "creation_time", buf, 0);
    }
    for (auto it = opt_.metadata.rbegin(); it != opt_.metadata.rend(); ++it) {
        av_dict_set(&oc.metadata, it->first.c_str(), it->second.c_str(), 0);
    }
    opt_.metadata.clear();
}

void TCustomFFmpeg::JoinInputs(const std::shared_ptr<TOutputFileShared>& of, int index) {
    joined_ = true;
    int64_t sum = 0;
    for (auto& in : inputFiles_) {
        if (in.ctx->duration != AV_NOPTS_VALUE) {
            sum += in.ctx->duration;
        }
    }
    progressTotal_ = sum == 0 ? -1 : sum;
    // One entry per input, all sharing the one file.
    while (outputFiles_.size() < static_cast<size_t>(index) + inputFiles_.size()) {
        outputFiles_.push_back(of);
    }
}

} // namespace quovo
