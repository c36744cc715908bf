// Picture processing: decoding, pre-processing (deinterlacing, the picture hook, frame-hook
// modules), crop, scaling and the filter chain, frame-rate synchronisation, encoding, previews
// and the video statistics file.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"
#include "TFFmpegLoader.h"
#include "TVideoProcessing.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/time.h>
}

#include <algorithm>
#include <cmath>
#include <mutex>

namespace quovo {

namespace {

constexpr int64_t kPreviewIntervalUs = 100000;

AVRational DecodedFrameRate(const TInputStream& ist) {
    for (AVRational r : {ist.dec->framerate, ist.st->avg_frame_rate, ist.st->r_frame_rate}) {
        if (r.num > 0 && r.den > 0) {
            return r;
        }
    }
    return {0, 1};
}

int InputWidth(const TInputStream& ist) {
    return ist.st->codecpar->width >> (ist.dec ? ist.dec->lowres : 0);
}

int InputHeight(const TInputStream& ist) {
    return ist.st->codecpar->height >> (ist.dec ? ist.dec->lowres : 0);
}

// The picture's own time. Frame-threaded decoders hand pictures out some packets after their
// own, so the packets' clock would place them late. A picture whose packet had no time follows
// the one before (`next`, where that one ended) rather than the library's guess, which can be a
// picture off in a program stream read from a seek.
int64_t PictureTimeUs(const AVFrame& frame, const AVStream& st, int64_t next) {
    int64_t ts = frame.pts;
    if (ts == AV_NOPTS_VALUE && next == NoTimestamp) {
        ts = frame.best_effort_timestamp;
    }
    return ts == AV_NOPTS_VALUE ? next : av_rescale_q(ts, st.time_base, AV_TIME_BASE_Q);
}

// How long the picture lasts by the container, else by the stream's rate (a repeated field adds
// half a frame: soft telecine); 0 when neither tells.
int64_t PictureDurationUs(const AVFrame& frame, const TInputStream& ist) {
    if (frame.pkt_duration > 0) {
        return av_rescale_q(frame.pkt_duration, ist.st->time_base, AV_TIME_BASE_Q);
    }
    const AVRational rate = DecodedFrameRate(ist);
    if (rate.num <= 0) {
        return 0;
    }
    return static_cast<int64_t>(AV_TIME_BASE) * (2 + frame.repeat_pict) * rate.den /
           (2 * static_cast<int64_t>(rate.num));
}

// A time in microseconds as (fractional) ticks of `tb`.
long double UsToTicks(int64_t us, AVRational tb) {
    return static_cast<long double>(us) * tb.den /
           (static_cast<long double>(AV_TIME_BASE) * tb.num);
}

} // namespace

struct TCustomFFmpeg::TPictureStates {
    TPictureConverter hook;
    TPictureConverter preview;
    bool previewed = false;
    int64_t lastPreviewUs = 0;
};

void TCustomFFmpeg::SetPreviewFlags(int flags) {
    std::lock_guard lock(PreviewLock());
    previewFlags_ = flags;
}

void TCustomFFmpeg::ReleasePictureStates() {
    pictureStates_.reset();
    vstatsFile_.reset();
    flushedVideoEncoders_.clear();
}

// --- decoding --------------------------------------------------------------------------------

int TCustomFFmpeg::DecodeVideo(TInputStream& ist, AVPacket* pkt) {
    if (!ist.video) {
        ist.video = std::make_unique<TVideoInputState>();
    }
    TVideoInputState& vs = *ist.video;
    AVCodecContext* dec = ist.dec.get();
    ist.pts = ist.next_pts;

    int err = avcodec_send_packet(dec, pkt);
    // A damaged packet fails the call (the loop skips it), but what the decoder already holds
    // is still taken below, so that it never stays full.
    const bool failed = err < 0 && err != AVERROR_EOF && err != AVERROR(EAGAIN);
    if (failed) {
        ist.lastDecodeError = err;
    }
    // Outputs that copy this stream while another output decodes it take the packet as read.
    CopyToStreamCopies(ist, pkt);

    // The later entries of a joined output encode through the first entry's encoder; their own
    // crop, scaling and filters follow their input.
    for (TOutputStream* ost : OutputsOf(ist)) {
        if (ost->encoding_needed && !ost->video) {
            PrepareVideoOutput(*ost, ist, TVideoEncoderUse::Shared);
        }
    }

    AVFrame* frame = vs.decoded.get();
    for (;;) {
        err = avcodec_receive_frame(dec, frame);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) {
            break;
        }
        if (err < 0) {
            ist.lastDecodeError = err;
            return -1;
        }
        // The packets' clock moves on by the picture's length, as for a stream without times;
        // the picture itself is placed by its own time.
        const int64_t duration = PictureDurationUs(*frame, ist);
        ist.pts = ist.next_pts;
        ist.next_pts += duration;
        const int64_t time = PictureTimeUs(*frame, *ist.st, vs.pictureEndUs);
        vs.pictureEndUs = time + duration;
        vs.quality = frame->quality;

        vs.DrawSubpictures(*frame, ist.st->time_base);
        OutputDecodedPicture(ist, PreProcess(ist, frame, time), time);
        av_frame_unref(frame);
    }
    if (!pkt) {
        DrainFilterChains(ist);
        ExtendLastPictures(ist);
        FlushEncoders(ist);
    }
    return failed ? -1 : 0;
}

void TCustomFFmpeg::OutputDecodedPicture(TInputStream& ist, AVFrame* picture, int64_t time) {
    for (TOutputStream* ost : OutputsOf(ist)) {
        if (ost->active && ost->encoding_needed && ost->video && ost->video->filters.Built()) {
            FollowFilterSource(*ost, ist, *picture);
            picture->pts = time;
            if (ost->video->filters.Push(picture) < 0) {
                Log(llError, "Error while adding a picture to the filter chain");
            }
        }
    }
    RateEmulationWait(ist);
    const bool due = KeepsPicture(ist, time);
    for (TOutputStream* ostp : OutputsOf(ist)) {
        TOutputStream& ost = *ostp;
        if (!ost.active || !ost.encoding_needed) {
            continue;
        }
        if (!ost.video->filters.Built()) {
            if (due) {
                OutputPicture(ost, ist, picture, time);
            }
            continue;
        }
        PullFilteredPictures(ost, ist, time);
    }
}

void TCustomFFmpeg::PullFilteredPictures(TOutputStream& ost, TInputStream& ist, int64_t time) {
    TVideoOutputState& os = *ost.video;
    AVFrame* filtered = os.filtered.get();
    while (os.filters.Pull(filtered) >= 0) {
        // The chain keeps each picture's time (in microseconds), also when it holds pictures
        // back or makes new ones.
        const int64_t t = filtered->pts != AV_NOPTS_VALUE ? filtered->pts : time;
        if (KeepsPicture(ist, t)) {
            if (filtered->sample_aspect_ratio.num > 0) {
                ost.codec->ctx->sample_aspect_ratio = filtered->sample_aspect_ratio;
            }
            OutputPicture(ost, ist, filtered, t);
        }
        av_frame_unref(filtered);
    }
}

void TCustomFFmpeg::OutputPicture(TOutputStream& ost, TInputStream& ist, AVFrame* picture,
                                  int64_t timeUs) {
    const int bytes = VideoOutput(ost, ist, picture, timeUs);
    if (!opt_.vstatsFileName.empty() && bytes > 0) {
        VideoStats(ost, bytes);
    }
}

void TCustomFFmpeg::DrainFilterChains(TInputStream& ist) {
    for (TOutputStream* ostp : OutputsOf(ist)) {
        TOutputStream& ost = *ostp;
        if (ost.active && ost.encoding_needed && ost.video && ost.video->filters.Built()) {
            DrainFilterChain(ost, ist);
        }
    }
}

void TCustomFFmpeg::DrainFilterChain(TOutputStream& ost, TInputStream& ist) {
    // Filters that hold pictures back (deinterlacers, frame-rate filters) give them up only at
    // the end of their input.
    if (ost.video->filters.Push(nullptr) < 0) {
        return;
    }
    PullFilteredPictures(ost, ist, ist.video ? ist.video->pictureEndUs : ist.pts);
}

bool TCustomFFmpeg::FollowSizeChange(TOutputStream& ost, const TInputStream& ist,
                                     const AVFrame& picture) {
    TVideoOutputState& vs = *ost.video;
    if (!vs.SizeChanged(picture)) {
        return false;
    }
    const char* fmtName = av_get_pix_fmt_name(static_cast<AVPixelFormat>(picture.format));
    LogFmt(llQuiet, "Input Stream #%d.%d frame size changed to %dx%d, %s", ist.file_index,
           ist.index, picture.width, picture.height, fmtName ? fmtName : "none");
    CheckPictureSize(picture.width, picture.height,
                     StringPrintf("Input stream #%d.%d", ist.file_index, ist.index));
    vs.FollowSize(picture);
    return true;
}

void TCustomFFmpeg::FollowFilterSource(TOutputStream& ost, TInputStream& ist,
                                       const AVFrame& picture) {
    if (!FollowSizeChange(ost, ist, picture)) {
        return;
    }
    // Filters are made for one input size: what the old chain holds goes out first, then a
    // chain for the new size takes over, still giving the encoder's size.
    DrainFilterChain(ost, ist);
    if (!BuildVideoFilters(ost, ist, TVideoEncoderUse::Shared,
                           {picture.width, picture.height,
                            static_cast<AVPixelFormat>(picture.format),
                            picture.sample_aspect_ratio})) {
        throw FFmpegException("Error opening filters: " + lastErrorText_);
    }
}

// --- pre-processing and the picture hook -----------------------------------------------------

AVFrame* TCustomFFmpeg::HookBuffer(TInputStream& ist, const AVFrame& like) {
    AVFrame* buffer = ist.video->HookBuffer(like);
    if (!buffer) {
        Log(llError, "hook buf malloc error.");
    }
    return buffer;
}

AVFrame* TCustomFFmpeg::PreProcess(TInputStream& ist, AVFrame* decoded, int64_t timeUs) {
    ++frameCounter_;
    const bool modules = opt_.usingVhook && frameHooks_ && !frameHooks_->Empty();
    if (!opt_.doDeinterlace && !HasHookCallback() && !modules) {
        return decoded;
    }
    // The hook alone reads the decoded picture where it is; the buffer is needed only when the
    // picture changes.
    AVFrame* picture = decoded;
    if (opt_.doDeinterlace || modules) {
        AVFrame* buffer = HookBuffer(ist, *decoded);
        if (!buffer) {
            return decoded;
        }
        bool done = false;
        if (opt_.doDeinterlace) {
            const bool broken = ist.video->deinterlaceBroken;
            done = ist.video->Deinterlace(*decoded, *buffer);
            if (!done && !broken) {
                Log(llError, "Deinterlacing failed.");
            }
        }
        if (!done && av_frame_copy(buffer, decoded) < 0) {
            Log(llError, "hook buf malloc error.");
            return decoded;
        }
        av_frame_copy_props(buffer, decoded);
        picture = buffer;
    }

    if (HasHookCallback()) {
        return RunPictureHook(ist, picture, timeUs);
    }
    if (modules) {
        frameHooks_->Process(picture, picture->format, picture->width, picture->height, timeUs);
    }
    return picture;
}

void TCustomFFmpeg::SwitchPictureHookOff() {
    hookCallback_ = nullptr;
    opt_.usingVhook = false;
}

AVFrame* TCustomFFmpeg::RunPictureHook(TInputStream& ist, AVFrame* picture, int64_t timeUs) {
    if (!pictureStates_) {
        pictureStates_ = std::make_shared<TPictureStates>();
    }
    TPictureConverter& hook = pictureStates_->hook;
    TPicture& image = hook.Picture();
    bool update = true;
    bool stopHook = false;
    {
        // Converted only when the handler looks at the picture: a handler that leaves it alone
        // costs no conversion, and its frame goes on as decoded.
        std::lock_guard canvas(image.CanvasLock());
        if (!hook.Bind(*picture, static_cast<AVPixelFormat>(picture->format), picture->width,
                       picture->height)) {
            Log(llError, "Cannot initialize the toRGB conversion context");
            SwitchPictureHookOff();
            return picture;
        }
    }
    try {
        hookCallback_(this, image, frameCounter_, timeUs, update, stopHook);
    } catch (const std::exception& e) {
        Log(llError, std::string("Error occurs OnCustomHook: ") + e.what());
        update = false;
    } catch (...) {
        Log(llError, "Error occurs OnCustomHook: unknown exception");
        update = false;
    }
    bool modified = false;
    {
        std::lock_guard canvas(image.CanvasLock());
        hook.Unbind();
        modified = image.Modified();
    }
    if (stopHook) {
        SwitchPictureHookOff();
    }
    // An untouched picture written back would only add the round trip's rounding.
    if (!update || !modified) {
        return picture;
    }
    AVFrame* target = picture;
    if (picture != ist.video->hookBuffer.get()) {
        // The decoder's picture is not ours to write: the edits go into the hook buffer.
        target = HookBuffer(ist, *picture);
        if (!target || av_frame_copy(target, picture) < 0) {
            Log(llError, "hook buf malloc error.");
            return picture;
        }
        av_frame_copy_props(target, picture);
    }
    bool written = false;
    {
        std::lock_guard canvas(image.CanvasLock());
        written = hook.FromPicture(*target);
    }
    if (!written) {
        Log(llError, "Cannot initialize the fromRGB conversion context");
        SwitchPictureHookOff();
        return picture;
    }
    return target;
}

// --- set-up ----------------------------------------------------------------------------------

void TCustomFFmpeg::SetupVideoEncoding(TOutputStream& ost, TInputStream& ist) {
    std::erase(flushedVideoEncoders_, ost.codec);
    if (ost.codec->ctx->pix_fmt == AV_PIX_FMT_NONE) {
        throw FFmpegException("Video pixel format is unknown, stream cannot be encoded");
    }
    PrepareVideoOutput(ost, ist, TVideoEncoderUse::Own);
}

void TCustomFFmpeg::PrepareVideoOutput(TOutputStream& ost, TInputStream& ist,
                                       TVideoEncoderUse use) {
    ost.video = std::make_unique<TVideoOutputState>();
    if (!ist.video) {
        ist.video = std::make_unique<TVideoInputState>();
    }
    TVideoOutputState& vs = *ost.video;
    AVCodecContext* c = ost.codec->ctx.get();
    const int inW = InputWidth(ist);
    const int inH = InputHeight(ist);
    const auto inFmt = static_cast<AVPixelFormat>(ist.st->codecpar->format);

    vs.SetInput(inW, inH, inFmt, {opt_.cropTop, opt_.cropBottom, opt_.cropLeft, opt_.cropRight});
    if (!(vs.resampleWidth == c->width && vs.resampleHeight == c->height && inFmt == c->pix_fmt)) {
        vs.MakeScaler(*c, opt_.swsFlags);
        if (use == TVideoEncoderUse::Own) {
            c->bits_per_raw_sample = 0;
        }
    }

    const AVRational sar = ist.st->sample_aspect_ratio.num ? ist.st->sample_aspect_ratio
                                                           : ist.st->codecpar->sample_aspect_ratio;
    if (!opt_.videoFilters.empty() && !BuildVideoFilters(ost, ist, use, {inW, inH, inFmt, sar})) {
        throw FFmpegException(lastErrorText_.empty() ? "Error opening filters!"
                                                     : "Error opening filters: " + lastErrorText_);
    }
}

bool TCustomFFmpeg::BuildVideoFilters(TOutputStream& ost, const TInputStream& ist,
                                      TVideoEncoderUse use,
                                      const TVideoFilterChain::TSource& source) {
    TVideoOutputState& vs = *ost.video;
    AVCodecContext* c = ost.codec->ctx.get();
    lastErrorText_.clear();
    const int cropW = source.width - vs.leftBand - vs.rightBand;
    const int cropH = source.height - vs.topBand - vs.bottomBand;
    TVideoFilterChain::TFilterList filters;
    if (vs.cropOn) {
        // Keeps the area inside the bands; scaling to the encoder's size comes next.
        filters.emplace_back("crop",
                             StringPrintf("%d:%d:%d:%d", cropW, cropH, vs.leftBand, vs.topBand));
    }
    if (cropW != c->width || cropH != c->height) {
        filters.emplace_back("scale", StringPrintf("%d:%d:flags=0x%X", c->width, c->height,
                                                   static_cast<unsigned>(opt_.swsFlags)));
    }
    std::string error;
    const int err =
        vs.filters.Build(source, c->pix_fmt, filters, TranslateCropFilters(opt_.videoFilters),
                         StringPrintf("flags=0x%X", static_cast<unsigned>(opt_.swsFlags)), error);
    if (err < 0) {
        lastErrorText_ = FormatErrorText(error, err);
        vs.filters.Reset();
        return false;
    }
    if (use == TVideoEncoderUse::Own) {
        // The chain may have changed the DV system (a PAL picture padded to NTSC): the sink must
        // give that system's sampling.
        if (c->codec_id == AV_CODEC_ID_DVVIDEO && c->codec) {
            const AVPixelFormat dv = DvPixelFormat(c->codec, vs.filters.Width(),
                                                   vs.filters.Height(), c->pix_fmt, c->framerate);
            if (dv != c->pix_fmt) {
                c->pix_fmt = dv;
                return BuildVideoFilters(ost, ist, use, source);
            }
        }
        c->width = vs.filters.Width();
        c->height = vs.filters.Height();
    } else if (vs.filters.Width() != c->width || vs.filters.Height() != c->height) {
        lastErrorText_ = StringPrintf("the chain gives %dx%d pictures to a %dx%d encoder",
                                      vs.filters.Width(), vs.filters.Height(), c->width, c->height);
        vs.filters.Reset();
        return false;
    }
    return true;
}

// --- output ----------------------------------------------------------------------------------

int TCustomFFmpeg::VideoOutput(TOutputStream& ost, TInputStream& ist, AVFrame* picture,
                               int64_t timeUs) {
    if (std::find(flushedVideoEncoders_.begin(), flushedVideoEncoders_.end(), ost.codec) !=
        flushedVideoEncoders_.end()) {
        ReopenVideoEncoder(ost);
    }
    TVideoOutputState& vs = *ost.video;
    const long double ticks = PictureTicks(ost, ist, timeUs);
    if (!HoldsPictures(ost)) {
        const int64_t n = SyncCopyCount(ost, ticks);
        const int bytes = EncodeCopies(ost, ist, picture, n);
        // Kept (a reference, no copy) so that the end of the input can give it its duration.
        if (n > 0 && av_frame_ref(vs.LastPictureSlot(), picture) < 0) {
            av_frame_unref(vs.lastPicture.get());
        }
        return bytes;
    }
    // The held picture lasts until this one begins: it takes the ticks nearest to its span, so
    // that no picture shows early or late by more than half a tick, whatever the two rates,
    // a chain in between or a variable-rate source.
    int bytes = 0;
    if (vs.lastPicture && vs.lastPicture->buf[0]) {
        const int64_t n = CopiesUntil(ost, std::llround(ticks));
        bytes = EncodeCopies(ost, ist, vs.lastPicture.get(), n);
    }
    if (av_frame_ref(vs.LastPictureSlot(), picture) < 0) {
        throw FFmpegException("Video encoding failed");
    }
    return bytes;
}

bool TCustomFFmpeg::VariableFrameRate(const TOutputStream& ost) const {
    const AVOutputFormat* ofmt = outputFiles_[ost.file_index]->ctx->oformat;
    return opt_.videoSyncMethod == 2 ||
           (opt_.videoSyncMethod == -1 && (ofmt->flags & AVFMT_VARIABLE_FPS));
}

bool TCustomFFmpeg::HoldsPictures(const TOutputStream& ost) const {
    return opt_.videoSyncMethod != 0 && !VariableFrameRate(ost);
}

long double TCustomFFmpeg::PictureTicks(const TOutputStream& ost, const TInputStream& ist,
                                        int64_t timeUs) const {
    // Another stream may lead the synchronisation (`-map` with a sync stream).
    if (ost.sync_ist >= 0 && ist_[ost.sync_ist].get() != &ist) {
        timeUs = ist_[ost.sync_ist]->pts;
    }
    return UsToTicks(timeUs - opt_.startTime, ost.codec->ctx->time_base);
}

void TCustomFFmpeg::CountSyncCopies(int64_t n) {
    if (n == 0) {
        ++dropFrames_;
        syncNote_ = true;
        if (opt_.verbose > 2) {
            Log(llVerbose, "*** drop!");
        }
    } else if (n > 1) {
        dupFrames_ += n - 1;
        syncNote_ = true;
        if (opt_.verbose > 2) {
            LogFmt(llVerbose, "*** %d dup!", static_cast<int>(n - 1));
        }
    }
}

int64_t TCustomFFmpeg::SyncCopyCount(TOutputStream& ost, long double s) {
    int64_t n = 1;
    if (opt_.videoSyncMethod == 0) {
        ost.sync_opts = std::llround(s);
    } else {
        // Each picture on the tick nearest to its time; one whose tick is taken already is
        // dropped.
        const int64_t at = std::llround(s);
        if (at < ost.sync_opts) {
            n = 0;
        } else {
            ost.sync_opts = at;
        }
    }
    CountSyncCopies(n);
    if (ost.frame_number == 0 && n > 0) {
        ost.video->startOffset = static_cast<double>(s - static_cast<long double>(ost.sync_opts));
    }
    return n;
}

int64_t TCustomFFmpeg::CopiesUntil(TOutputStream& ost, int64_t end) {
    const int64_t n = std::max<int64_t>(0, end - ost.sync_opts);
    CountSyncCopies(n);
    return n;
}

void TCustomFFmpeg::ExtendLastPictures(TInputStream& ist) {
    for (TOutputStream* ostp : OutputsOf(ist)) {
        TOutputStream& ost = *ostp;
        if (!ost.active || !ost.encoding_needed || !ost.video || !ost.video->lastPicture ||
            !ost.video->lastPicture->buf[0]) {
            continue;
        }
        // The last picture lasts until the input's end, as every other lasts until the next.
        const int64_t endUs =
            std::min(ist.video && ist.video->pictureEndUs != NoTimestamp
                         ? ist.video->pictureEndUs
                         : std::max(ist.next_pts, ist.pts),
                     InputEndUs(ist)) -
            opt_.startTime;
        const long double endTicks = UsToTicks(endUs, ost.codec->ctx->time_base);
        AvFramePtr last = std::move(ost.video->lastPicture);
        if (HoldsPictures(ost)) {
            // A held picture that was never shown still goes out once.
            const int64_t n = std::llround(endTicks) - ost.sync_opts;
            const int bytes =
                EncodeCopies(ost, ist, last.get(), std::max<int64_t>(n, ost.frame_number ? 0 : 1));
            if (!opt_.vstatsFileName.empty() && bytes > 0) {
                VideoStats(ost, bytes);
            }
            continue;
        }
        // Measured from where the first picture went, so that the output lasts as long as the
        // input did whatever rounding placed that picture.
        const int64_t end = std::llround(endTicks - ost.video->startOffset);
        if (end - ost.sync_opts <= 0) {
            continue;
        }
        // One copy on the last tick: the timestamps carry the picture's length.
        ost.sync_opts = end - 1;
        EncodeCopies(ost, ist, last.get(), 1);
    }
}

int TCustomFFmpeg::EncodeCopies(TOutputStream& ost, TInputStream& ist, AVFrame* picture,
                                int64_t n) {
    n = std::min<int64_t>(n, opt_.maxFrames[0] - ost.frame_number);
    if (n <= 0) {
        return 0;
    }
    AVFrame* fitted = picture;
    if (!ost.video->filters.Built()) {
        fitted = FitToEncoder(ost, ist, picture);
        if (!fitted) {
            return 0;
        }
    }
    return WriteCopies(ost, ist, *picture, fitted, n);
}

AVFrame* TCustomFFmpeg::FitToEncoder(TOutputStream& ost, const TInputStream& ist,
                                     AVFrame* picture) {
    TVideoOutputState& vs = *ost.video;
    const AVCodecContext& c = *ost.codec->ctx;
    // A new input size first: the bands of this very picture follow it. The output keeps its
    // size: a stream that needed no scaler gets one now.
    if (FollowSizeChange(ost, ist, *picture)) {
        vs.MakeScaler(c, opt_.swsFlags);
    }
    AVFrame* fitted = picture;
    if (vs.cropOn) {
        fitted = vs.CropView(picture);
        if (!fitted) {
            if (opt_.exitOnError) {
                throw FFmpegException("error cropping picture");
            }
            Log(llError, "error cropping picture");
            return nullptr;
        }
    }
    if (vs.resampleOn) {
        fitted = vs.ScaleToEncoder(*fitted);
    }
    return fitted;
}

int TCustomFFmpeg::WriteCopies(TOutputStream& ost, const TInputStream& ist, const AVFrame& picture,
                               AVFrame* fitted, int64_t n) {
    const AVCodecContext* c = ost.codec->ctx.get();
    int bytes = 0;
    AVFrame* frame = ost.video->encodeFrame.get();
    const TVideoInputState* in = ist.video.get();
    for (int64_t i = 0; i < n && !stopRequested_; ++i) {
        if (i > 0) {
            PauseGate(); // a long run of copies holds still while paused, like the loop
            if (stopRequested_) {
                break;
            }
        }
        if (av_frame_ref(frame, fitted) < 0) {
            throw FFmpegException("Video encoding failed");
        }
        frame->interlaced_frame = picture.interlaced_frame;
        if (c->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)) {
            frame->top_field_first =
                opt_.topFieldFirst == -1 ? picture.top_field_first : opt_.topFieldFirst;
        }
        frame->quality = opt_.sameQuality && in ? in->quality : c->global_quality;
        if (!opt_.meThreshold) {
            frame->pict_type = AV_PICTURE_TYPE_NONE;
        }
        frame->key_frame = 0;
        frame->pts = ost.sync_opts;
        frame->pkt_duration = 1; // the decoder's value is in the input's time base
        const int written = EncodeVideo(ost, frame);
        av_frame_unref(frame);
        if (written > 0) {
            bytes = written;
        }
        ++ost.sync_opts;
        ++ost.frame_number;
    }
    return bytes;
}

int TCustomFFmpeg::EncodeVideo(TOutputStream& ost, AVFrame* frame) {
    TVideoOutputState& vs = *ost.video;
    AVCodecContext* c = ost.codec->ctx.get();
    int err = avcodec_send_frame(c, frame);
    if (err == AVERROR_EOF && !frame) {
        return 0; // already flushed
    }
    if (err < 0) {
        throw FFmpegException("Video encoding failed");
    }
    AVPacket* pkt = vs.packet.get();
    int bytes = 0;
    bool previewed = false;
    for (;;) {
        err = avcodec_receive_packet(c, pkt);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) {
            break;
        }
        if (err < 0) {
            throw FFmpegException("Video encoding failed");
        }
        if (frame && !previewed && PreviewFlags() != 0) {
            previewed = true;
            MakePreview(*frame, pkt->pts == AV_NOPTS_VALUE
                                    ? NoTimestamp
                                    : av_rescale_q(pkt->pts, c->time_base, AV_TIME_BASE_Q));
        }
        vs.TakeQualityStats(*pkt, c->flags & AV_CODEC_FLAG_PSNR);
        bytes = pkt->size;
        if (pkt->duration <= 0) {
            // Every picture lasts one tick of the encoder; a muxer with edit lists would cut the
            // last one without it.
            pkt->duration = 1;
        }
        pkt->stream_index = ost.index;
        av_packet_rescale_ts(pkt, c->time_base, ost.st->time_base);
        pkt->time_base = ost.st->time_base;
        WritePacket(ost, pkt);
        av_packet_unref(pkt);
        videoSize_ += bytes;
        if (ost.logfile && c->stats_out) {
            std::fputs(c->stats_out, ost.logfile.get());
        }
    }
    return bytes;
}

void TCustomFFmpeg::FlushVideoEncoder(TOutputStream& ost) {
    if (!ost.video || !ost.codec->opened || !ost.codec->ctx ||
        std::find(flushedVideoEncoders_.begin(), flushedVideoEncoders_.end(), ost.codec) !=
            flushedVideoEncoders_.end()) {
        return;
    }
    EncodeVideo(ost, nullptr);
    flushedVideoEncoders_.push_back(ost.codec);
}

void TCustomFFmpeg::ReopenVideoEncoder(TOutputStream& ost) {
    TStreamCodec& sc = *ost.codec;
    ReopenEncoder(ost, [](AVCodecContext* c, const AVCodecContext* old) {
        c->framerate = old->framerate;
        c->width = old->width;
        c->height = old->height;
        c->pix_fmt = old->pix_fmt;
        c->sample_aspect_ratio = old->sample_aspect_ratio;
        c->gop_size = old->gop_size;
        c->max_b_frames = old->max_b_frames;
        c->rc_max_rate = old->rc_max_rate;
        c->rc_min_rate = old->rc_min_rate;
        c->rc_buffer_size = old->rc_buffer_size;
        c->rc_initial_buffer_occupancy = old->rc_initial_buffer_occupancy;
        c->qmin = old->qmin;
        c->qmax = old->qmax;
        c->intra_dc_precision = old->intra_dc_precision;
        c->bits_per_raw_sample = old->bits_per_raw_sample;
        c->chroma_sample_location = old->chroma_sample_location;
        for (uint16_t* AVCodecContext::*matrix :
             {&AVCodecContext::intra_matrix, &AVCodecContext::inter_matrix}) {
            if (old->*matrix) {
                c->*matrix = static_cast<uint16_t*>(av_memdup(old->*matrix, sizeof(uint16_t) * 64));
            }
        }
        if (old->rc_override_count > 0) {
            c->rc_override = static_cast<RcOverride*>(
                av_memdup(old->rc_override, sizeof(RcOverride) * old->rc_override_count));
            c->rc_override_count = c->rc_override ? old->rc_override_count : 0;
        }
        if (old->stats_in) {
            c->stats_in = av_strdup(old->stats_in);
        }
    });
    flushedVideoEncoders_.erase(
        std::remove(flushedVideoEncoders_.begin(), flushedVideoEncoders_.end(), &sc),
        flushedVideoEncoders_.end());
}

// --- previews and statistics -----------------------------------------------------------------

void TCustomFFmpeg::MakePreview(const AVFrame& picture, int64_t ptsUs) {
    if (!pictureStates_) {
        pictureStates_ = std::make_shared<TPictureStates>();
    }
    TPictureStates& ps = *pictureStates_;
    bool toCallback = false;
    bool toWindow = false;
    {
        std::lock_guard lock(PreviewLock());
        const int flags = previewFlags_;
        const bool callback = (flags & PreviewCallbackFlag) && previewCallback_;
        const bool window = !callback && (flags & PreviewWindowFlag) && previewWindow_;
        const int64_t now = av_gettime_relative();
        if ((callback || window) &&
            (!ps.previewed || now - ps.lastPreviewUs > kPreviewIntervalUs)) {
            ps.previewed = true;
            ps.lastPreviewUs = now;
            std::lock_guard canvas(ps.preview.Picture().CanvasLock());
            if (ps.preview.ToPicture(picture, static_cast<AVPixelFormat>(picture.format),
                                     picture.width, picture.height)) {
                toCallback = callback;
                toWindow = window;
            } else {
                Log(llError, "Cannot initialize the toRGB conversion context");
                previewFlags_ = flags & ~(callback ? PreviewCallbackFlag : PreviewWindowFlag);
            }
        }
    }
    // Raised without the preview lock: the receiver may run on the main thread, which may be
    // waiting in SetPreviewFlags meanwhile.
    if (!toCallback && !toWindow) {
        return;
    }
    bool shown = true;
    if (toCallback) {
        previewCallback_(this, ps.preview.Picture(), ptsUs, frameCounter_);
    } else {
        shown = previewWindow_(this, ps.preview.Picture(), ptsUs, frameCounter_);
    }
    std::lock_guard lock(PreviewLock());
    // Counted again from the delivery's return: a receiver that was slow to take the picture
    // still gets the whole interval before the next.
    ps.lastPreviewUs = av_gettime_relative();
    if (!shown) {
        previewFlags_ = previewFlags_ & ~PreviewWindowFlag;
    }
}

void TCustomFFmpeg::VideoStats(TOutputStream& ost, int frameBytes) {
    if (!vstatsFile_) {
        vstatsFile_.reset(std::fopen(opt_.vstatsFileName.c_str(), "w"));
        if (!vstatsFile_) {
            throw FFmpegException("fopen fail: " + opt_.vstatsFileName);
        }
    }
    FILE* f = vstatsFile_.get();
    const TVideoOutputState& vs = *ost.video;
    const AVCodecContext* c = ost.codec->ctx.get();
    std::fprintf(f, "frame= %5d q= %2.1f ", static_cast<int>(ost.frame_number),
                 vs.lastQuality / static_cast<double>(FF_QP2LAMBDA));
    if (vs.hasPsnr) {
        const double error =
            static_cast<double>(vs.lastError[0]) / (c->width * c->height * 255.0 * 255.0);
        std::fprintf(f, "PSNR= %6.2f ", -10.0 * std::log10(error));
    }
    std::fprintf(f, "f_size= %6d ", frameBytes);
    const double t = std::max(0.01, ost.sync_opts * av_q2d(c->time_base));
    const double br = frameBytes * 8.0 / av_q2d(c->time_base) / 1000.0;
    const double avgBr = videoSize_ * 8.0 / t / 1000.0;
    std::fprintf(f, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                 videoSize_ / 1024.0, t, br, avgBr);
    const char type = vs.lastPictType
                          ? av_get_picture_type_char(static_cast<AVPictureType>(vs.lastPictType))
                          : '?';
    std::fprintf(f, "type= %c\n", type);
}

} // namespace quovo
