// Pictures: the picture thread with its filter graph and queue, picture timing, the refresh and
// display on the play thread, and the subtitle thread.
#include "TCustomPlayer.h"

#include "MyUtils.h"
#include "SubpictureBlend.h"
#include "TDisplayPlacement.h"
#include "TFFLogger.h"
#include "TPlaybackState.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/time.h>
}

#include <cmath>

namespace quovo {
namespace {

// How far (seconds) a picture may be off the master clock before its delay is corrected.
constexpr double kSyncThreshold = 0.01;

// The filter graph between the decoder and the picture queue: the player's filter chain, then
// YUV 4:2:0 for the overlays.
struct TPictureGraph {
    AvFilterGraphPtr graph;
    AVFilterContext* src = nullptr;
    AVFilterContext* sink = nullptr;
    int width = 0, height = 0, format = -1;

    bool Build(const AVFrame& frame, AVRational timeBase, AVRational sar, int scalerFlags,
               const std::string& filters) {
        graph.reset(avfilter_graph_alloc());
        if (!graph) {
            return false;
        }
        graph->scale_sws_opts = av_strdup(StringPrintf("flags=%d", scalerFlags).c_str());
        width = frame.width;
        height = frame.height;
        format = frame.format;
        const std::string args = StringPrintf(
            "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", width, height, format,
            timeBase.num, timeBase.den, sar.num > 0 ? sar.num : 0, sar.den > 0 ? sar.den : 1);
        if (avfilter_graph_create_filter(&src, avfilter_get_by_name("buffer"), "src", args.c_str(),
                                         nullptr, graph.get()) < 0 ||
            avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                         nullptr, graph.get()) < 0) {
            return false;
        }
        const enum AVPixelFormat formats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NONE};
        if (av_opt_set_int_list(sink, "pix_fmts", formats, AV_PIX_FMT_NONE,
                                AV_OPT_SEARCH_CHILDREN) < 0) {
            return false;
        }
        const std::string chain = filters.empty() ? "null" : filters;
        AVFilterInOut* outputs = avfilter_inout_alloc();
        AVFilterInOut* inputs = avfilter_inout_alloc();
        outputs->name = av_strdup("in");
        outputs->filter_ctx = src;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = sink;
        int ret = avfilter_graph_parse_ptr(graph.get(), chain.c_str(), &inputs, &outputs, nullptr);
        avfilter_inout_free(&inputs);
        avfilter_inout_free(&outputs);
        return ret >= 0 && avfilter_graph_config(graph.get(), nullptr) >= 0;
    }
};

// Copies a YUV 4:2:0 picture into the overlay, upside down when asked.
void CopyPicture(const AVFrame& from, AVFrame& to, bool flip) {
    const uint8_t* data[4] = {from.data[0], from.data[1], from.data[2], nullptr};
    int linesize[4] = {from.linesize[0], from.linesize[1], from.linesize[2], 0};
    if (flip) {
        for (int p = 0; p < 3; ++p) {
            const int rows = p == 0 ? from.height : (from.height + 1) / 2;
            data[p] += static_cast<ptrdiff_t>(rows - 1) * linesize[p];
            linesize[p] = -linesize[p];
        }
    }
    av_image_copy(to.data, to.linesize, data, linesize, AV_PIX_FMT_YUV420P, to.width, to.height);
}

// Makes `frame` a writable YUV 4:2:0 picture of `width` x `height` unless it is one already.
bool EnsurePicture(AvFramePtr& frame, int width, int height) {
    if (frame && frame->width == width && frame->height == height) {
        return true;
    }
    frame = MakeFrame();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        frame.reset();
        return false;
    }
    return true;
}

} // namespace

void TCustomPlayer::VideoThreadMain(TPlaybackState* isp) {
    NamePlayerThread("player-video");
    TPlaybackState& is = *isp;
    AvFramePtr decoded = MakeFrame();
    AvFramePtr filtered = MakeFrame();
    TPictureGraph graph;
    bool drained = false;
    for (;;) {
        while (is.paused && !is.videoQueue->Aborted() && !is.seekWhilePaused &&
               is.stepCounter == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        AVPacket* unused = nullptr;
        const int got = DecodePicture(is, *decoded, unused, drained);
        if (got < 0) {
            break;
        }
        if (got == 0) {
            continue;
        }
        const AVRational sar =
            av_guess_sample_aspect_ratio(is.input.get(), is.videoStream, decoded.get());
        if (!graph.graph || graph.width != decoded->width || graph.height != decoded->height ||
            graph.format != decoded->format) {
            if (!graph.Build(*decoded, is.videoStream->time_base, sar, ScalerFlags, VideoFilters)) {
                FFLogger()->Log(this, llError, "Cannot build the picture filter graph");
                break; // the title goes on without pictures
            }
        }
        if (av_buffersrc_add_frame(graph.src, decoded.get()) < 0) {
            av_frame_unref(decoded.get());
            continue;
        }
        bool stop = false;
        while (av_buffersink_get_frame(graph.sink, filtered.get()) >= 0) {
            if (is.seekCompleted && is.flushSeen) {
                is.seekCompleted = false;
                is.seekWhilePaused = false;
            }
            // No timestamp is NaN: a picture at 0 s is a picture at 0 s.
            const double pts =
                filtered->pts == AV_NOPTS_VALUE
                    ? std::nan("")
                    : filtered->pts * av_q2d(av_buffersink_get_time_base(graph.sink));
            is.filterWidth = filtered->width;
            is.filterHeight = filtered->height;
            is.filterFormat = static_cast<AVPixelFormat>(filtered->format);
            const int64_t pos = decoded->pkt_pos;
            const int r = QueuePicture(is, *filtered, pts, pos);
            av_frame_unref(filtered.get());
            if (r < 0) {
                stop = true;
                break;
            }
            pictureProduced_.Set();
            is.endReported = false;
            if (seeking_ && !is.seekPending) {
                seeking_ = false;
            }
            if (is.stepCounter != 0) {
                if (is.stepCounter > 1) {
                    is.stepCounter = 0;
                    PostState(psPause);
                } else {
                    ++is.stepCounter;
                }
            }
        }
        if (stop) {
            break;
        }
    }
}

int TCustomPlayer::DecodePicture(TPlaybackState& is, AVFrame& frame, AVPacket*&, bool& drained) {
    AVCodecContext* dec = is.videoDec.get();
    for (;;) {
        int ret = avcodec_receive_frame(dec, &frame);
        if (ret >= 0) {
            const int64_t dts = frame.pkt_dts;
            const int64_t reordered = frame.pts;
            if (dts != AV_NOPTS_VALUE) {
                is.faultyDts += dts <= is.lastDtsSeen;
                is.lastDtsSeen = dts;
            }
            if (reordered != AV_NOPTS_VALUE) {
                is.faultyPts += reordered <= is.lastPtsSeen;
                is.lastPtsSeen = reordered;
            }
            int64_t pts = AV_NOPTS_VALUE;
            if (reordered != AV_NOPTS_VALUE &&
                (DecoderReorderPTS == 1 ||
                 (DecoderReorderPTS == -1 && is.faultyPts < is.faultyDts) ||
                 dts == AV_NOPTS_VALUE)) {
                pts = reordered;
            } else if (dts != AV_NOPTS_VALUE) {
                pts = dts;
            }
            frame.pts = pts;
            is.skipIndex += 1;
            if (is.skipIndex >= is.skipFactor) {
                is.skipIndex -= std::max(1.0, is.skipFactor);
                return 1;
            }
            av_frame_unref(&frame);
            continue;
        }
        if (ret == AVERROR_EOF) {
            drained = true;
        } else if (ret != AVERROR(EAGAIN)) {
            return 0;
        }
        AvPacketPtr pkt;
        bool flush = false;
        if (is.videoQueue->Get(pkt, flush, true) < 0) {
            return -1;
        }
        if (flush) {
            avcodec_flush_buffers(dec);
            drained = false;
            {
                std::unique_lock lock(is.pictLock);
                for (TPictureEntry& e : is.pictq) {
                    e.targetTime = 0;
                }
                is.pictCond.wait(lock,
                                 [&] { return is.pictSize == 0 || is.videoQueue->Aborted(); });
            }
            is.currentPos = -1;
            is.lastPtsSeen = INT64_MIN;
            is.lastDtsSeen = INT64_MIN;
            is.lastFramePts = static_cast<double>(AV_NOPTS_VALUE);
            is.lastFrameDelay = 0;
            is.frameTimer = PlayerNow();
            is.timerRestarted = true;
            is.skipFactor = 1;
            is.skipIndex = 0;
            is.flushSeen = true;
            return 0;
        }
        if (!pkt->data && pkt->size == 0) {
            // The end of the input: give out the pictures the decoder holds back, once.
            if (!drained) {
                avcodec_send_packet(dec, nullptr);
                drained = true;
                continue;
            }
            if (!is.endReported) {
                UpdatePosition();
            }
            return 0;
        }
        if (drained) {
            continue; // nothing more after the end until a seek flushes
        }
        avcodec_send_packet(dec, pkt.get());
    }
}

int TCustomPlayer::QueuePicture(TPlaybackState& is, AVFrame& frame, double pts, int64_t pos) {
    if (!std::isnan(pts)) {
        is.predictedPts = pts;
    } else {
        pts = is.predictedPts;
    }
    AVRational rate = av_guess_frame_rate(is.input.get(), is.videoStream, nullptr);
    double frameDelay = rate.num && rate.den ? av_q2d(av_inv_q(rate)) : 0.04;
    frameDelay += frame.repeat_pict * frameDelay * 0.5;
    is.predictedPts += frameDelay;

    const int width = frame.width & ~1;
    const int height = frame.height & ~1;
    TPictureEntry* entry;
    {
        std::unique_lock lock(is.pictLock);
        if (is.pictSize >= 2 && !is.refreshPending) {
            is.skipFactor = std::max(0.95, is.skipFactor * 0.95);
        }
        is.pictCond.wait(lock, [&] { return is.pictSize < 2 || is.videoQueue->Aborted(); });
        if (is.videoQueue->Aborted()) {
            return -1;
        }
        entry = &is.pictq[is.pictWrite];
        if (!entry->overlay || entry->width != width || entry->height != height) {
            entry->allocated = false;
            PushPlayEvent(kPlayEventAllocate);
            is.pictCond.wait(lock, [&] { return entry->allocated || is.videoQueue->Aborted(); });
            if (is.videoQueue->Aborted()) {
                return -1;
            }
        }
    }
    {
        std::lock_guard overlay(entry->overlayLock);
        CopyPicture(frame, *entry->overlay, FlipVertical);
        entry->sampleAspect = frame.sample_aspect_ratio;
        RunHook(*entry->overlay, pts);
    }
    entry->pts = pts;
    entry->pos = pos;
    std::lock_guard lock(is.pictLock);
    is.pictWrite = (is.pictWrite + 1) % 2;
    entry->targetTime = ComputeTargetTime(is, pts);
    ++is.pictSize;
    return 0;
}

double TCustomPlayer::ComputeTargetTime(TPlaybackState& is, double pts) {
    double delay = pts - is.lastFramePts;
    if (delay <= 0 || delay >= 10.0) {
        delay = is.lastFrameDelay;
    } else {
        is.lastFrameDelay = delay;
    }
    is.lastFramePts = pts;
    if (is.timerRestarted) {
        // The first picture after the open or a seek is due when it is ready, not when the
        // decoder was flushed: decoding up to it is not lateness to catch up by dropping.
        is.timerRestarted = false;
        is.frameTimer = std::max(is.frameTimer, PlayerNow());
    }
    // A sound clock that has not started yet (the sound waits for the first picture) stands at
    // zero: judged against it, the first pictures would be held back and their followers dropped.
    const bool soundMaster = is.syncType == 0 && is.audioStream;
    if ((soundMaster || is.syncType == 2) && !is.paused && (!soundMaster || is.Handed().time)) {
        // How far this picture would be off the master clock when shown at its time. Judged at
        // that time rather than by the picture on display, which does not yet show the
        // corrections of the pictures queued after it; corrected by what it is off, from 10 ms
        // on: a whole frame's tolerance would let the pictures drift a frame from the sound,
        // and showing a picture at once makes the refresh drop the one before it.
        const double now = PlayerNow();
        const double diff = pts - (is.frameTimer + delay - now) - MasterClockOf(is);
        if (std::fabs(diff) < 10 && std::fabs(diff) >= kSyncThreshold) {
            delay = std::clamp(delay + diff, 0.0, 2 * delay);
        }
    }
    is.frameTimer += delay;
    return is.frameTimer;
}

void TCustomPlayer::AllocatePicture(TPlaybackState& is) {
    std::lock_guard lock(is.pictLock);
    TPictureEntry& entry = is.pictq[is.pictWrite];
    {
        std::lock_guard overlay(entry.overlayLock);
        entry.width = is.filterWidth & ~1;
        entry.height = is.filterHeight & ~1;
        if (!EnsurePicture(entry.overlay, entry.width, entry.height)) {
            throw std::runtime_error("cannot allocate a picture");
        }
    }
    entry.allocated = true;
    is.pictCond.notify_all();
}

void TCustomPlayer::OpenOutput(TPlaybackState& is, bool forced) {
    int w, h;
    if (ScreenWidth() > 0 && ScreenHeight() > 0) {
        w = ScreenWidth();
        h = ScreenHeight();
    } else if (is.filterWidth > 0) {
        w = is.filterWidth & ~1;
        h = is.filterHeight & ~1;
    } else {
        w = 640;
        h = 480;
    }
    if (!forced && is.outputWidth == w && is.outputHeight == h) {
        return;
    }
    is.outputWidth = w;
    is.outputHeight = h;
}

void TCustomPlayer::RefreshThreadMain(TPlaybackState* isp) {
    NamePlayerThread("player-refresh");
    TPlaybackState& is = *isp;
    while (!is.abortRequest) {
        if (!is.refreshPending.exchange(true)) {
            PushPlayEvent(kPlayEventRefresh);
        }
        const int ms = (is.audioStream && is.showAudio) ? AudioDisplayPeriodMs : 5;
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void TCustomPlayer::Refresh(TPlaybackState& is, bool fromTimer) {
    if (!is.videoStream) {
        if (is.audioStream) {
            Display(is);
            UpdatePosition();
        }
        return;
    }
    if (fromTimer && is.paused && !is.showWhilePaused && is.stepCounter == 0) {
        return; // a paused picture stays
    }
    bool dropped = false;
    for (;;) {
        std::unique_lock lock(is.pictLock);
        if (is.pictSize == 0) {
            lock.unlock();
            if (!fromTimer) {
                Display(is);
            }
            if (!dropped) {
                UpdatePosition();
            }
            return;
        }
        const double now = PlayerNow();
        TPictureEntry& entry = is.pictq[is.pictRead];
        if (now < entry.targetTime) {
            return;
        }
        is.currentPts = entry.pts;
        is.currentPtsDrift = entry.pts - now;
        is.currentPos = entry.pos;
        double nextTarget;
        if (is.pictSize > 1) {
            nextTarget = is.pictq[(is.pictRead + 1) % 2].targetTime;
        } else {
            nextTarget = entry.targetTime + is.predictedPts - entry.pts;
        }
        // Only pictures from before the seek are dropped for it: the picture thread clears the
        // mark before it queues the first picture after the seek.
        const bool justSought = is.seekCompleted;
        // The title's last picture is shown however late: after a seek to the end it is all
        // there is to show.
        const bool last = is.endOfInput && is.pictSize == 1;
        // A paused title has no clock to be late against: the picture a paused seek decoded is
        // shown however long its decoding took.
        const bool late = FrameDrop && now > nextTarget && !is.liveCapture && !is.paused;
        if ((late || justSought) && !last) {
            is.skipFactor *= 1.05;
            if (is.pictSize > 1 || now > nextTarget + 0.5 || justSought) {
                is.pictRead = (is.pictRead + 1) % 2;
                --is.pictSize;
                is.pictCond.notify_all();
                dropped = true;
                ++droppedPictures_;
                continue;
            }
        }
        break;
    }
    if (is.subtitleStream) {
        std::lock_guard lock(is.subLock);
        if (is.subStreamChanged) {
            for (TSubpictureEntry& e : is.subq) {
                e.Free();
            }
            is.subSize = is.subRead = is.subWrite = 0;
            is.subStreamChanged = false;
            is.subCond.notify_all();
        } else {
            while (is.subSize > 0) {
                TSubpictureEntry& first = is.subq[is.subRead];
                const double cur = is.currentPts;
                bool expired = cur > first.pts + first.sub.end_display_time / 1000.0;
                if (!expired && is.subSize > 1) {
                    const TSubpictureEntry& second = is.subq[(is.subRead + 1) % 4];
                    expired = cur > second.pts + second.sub.start_display_time / 1000.0;
                }
                if (!expired) {
                    break;
                }
                first.Free();
                is.subRead = (is.subRead + 1) % 4;
                --is.subSize;
                is.subCond.notify_all();
            }
        }
    }
    Display(is, &is.pictq[is.pictRead]);
    // A picture from before a pending or unfinished seek does not use up the one shown while
    // paused: the seek's own picture is still to come.
    if (is.paused && !is.seekPending && !is.seekCompleted && is.flushSeen) {
        is.showWhilePaused = false;
    }
    if (fromTimer) {
        std::lock_guard lock(is.pictLock);
        is.pictRead = (is.pictRead + 1) % 2;
        --is.pictSize;
        is.pictCond.notify_all();
    }
    // While paused no later refresh moves the position on: the picture just shown gives it, even
    // when pictures from before a seek were dropped on the way.
    if (!dropped || is.paused) {
        UpdatePosition();
    }
}

void TCustomPlayer::Display(TPlaybackState& is, TPictureEntry* entry) {
    if (is.outputWidth <= 0) {
        OpenOutput(is, false);
    }
    if (is.audioStream && is.showAudio) {
        DisplayAudio(is);
    } else if (is.videoStream) {
        DisplayPicture(is, entry);
    }
}

void TCustomPlayer::DisplayPicture(TPlaybackState& is, TPictureEntry* entry) {
    std::lock_guard shownLock(shownLock_);
    if (entry) {
        // The picture on display is kept apart from the queue, whose entries the decoder
        // refills: a redraw or a snapshot while paused shows this one.
        std::lock_guard overlayLock(entry->overlayLock);
        if (!entry->overlay) {
            return;
        }
        if (!EnsurePicture(shown_, entry->width, entry->height)) {
            return;
        }
        av_frame_copy(shown_.get(), entry->overlay.get());
        is.pictureShown = true;
        shown_->sample_aspect_ratio = entry->sampleAspect;
        shownPts_ = entry->pts;
    }
    if (!shown_) {
        return;
    }
    const int areaW = is.outputWidth, areaH = is.outputHeight;
    const double aspect = DisplayAspect(aspectRatio_, shown_->sample_aspect_ratio, shown_->width,
                                        shown_->height, areaW, areaH);
    const AVFrame* source = shown_.get();
    if (is.subtitleStream) {
        std::lock_guard lock(is.subLock);
        if (is.subSize > 0) {
            const TSubpictureEntry& sp = is.subq[is.subRead];
            if (shownPts_ >= sp.pts + sp.sub.start_display_time / 1000.0) {
                // Blended into a copy, so a picture redrawn while paused is not blended twice.
                if (EnsurePicture(blendFrame_, shown_->width, shown_->height)) {
                    av_frame_copy(blendFrame_.get(), shown_.get());
                    BlendSubpicture(*blendFrame_, sp.sub);
                    source = blendFrame_.get();
                }
            }
        }
    }
    const TDisplayRect rect = PlacePicture(aspect, areaW, areaH);
    if (rect.width <= 0 || rect.height <= 0) {
        return;
    }
    auto image = std::make_shared<TOutputImage>();
    image->areaWidth = areaW;
    image->areaHeight = areaH;
    image->x = rect.x;
    image->y = rect.y;
    image->width = rect.width;
    image->height = rect.height;
    image->stride = rect.width * 4;
    image->pixels.resize(static_cast<size_t>(image->stride) * rect.height);
    SwsContext* sws = sws_getCachedContext(displayScaler_.release(), source->width, source->height,
                                           AV_PIX_FMT_YUV420P, rect.width, rect.height,
                                           AV_PIX_FMT_BGRA, ScalerFlags, nullptr, nullptr, nullptr);
    displayScaler_.reset(sws);
    if (!sws) {
        return;
    }
    uint8_t* dst[4] = {image->pixels.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {image->stride, 0, 0, 0};
    sws_scale(sws, source->data, source->linesize, 0, source->height, dst, dstStride);
    Present(std::move(image), shownPts_);
}

void TCustomPlayer::Present(std::shared_ptr<TOutputImage> image, double pts) {
    if (OnPictureShown) {
        OnPictureShown(*image, pts, av_gettime_relative());
    }
    if (window_) {
        window_->Present(std::move(image));
    }
}

void TCustomPlayer::SubtitleThreadMain(TPlaybackState* isp) {
    NamePlayerThread("player-subtitle");
    TPlaybackState& is = *isp;
    for (;;) {
        while (is.paused && !is.subtitleQueue->Aborted() && !is.seekWhilePaused) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        AvPacketPtr pkt;
        bool flush = false;
        if (is.subtitleQueue->Get(pkt, flush, true) < 0) {
            return;
        }
        if (flush) {
            avcodec_flush_buffers(is.subtitleDec.get());
            continue;
        }
        std::unique_lock lock(is.subLock);
        is.subCond.wait(lock, [&] { return is.subSize < 4 || is.subtitleQueue->Aborted(); });
        if (is.subtitleQueue->Aborted()) {
            return;
        }
        TSubpictureEntry& entry = is.subq[is.subWrite];
        lock.unlock();
        int got = 0;
        AVSubtitle sub{};
        const double pts =
            pkt->pts != AV_NOPTS_VALUE ? pkt->pts * av_q2d(is.subtitleStream->time_base) : 0;
        if (avcodec_decode_subtitle2(is.subtitleDec.get(), &sub, &got, pkt.get()) < 0 || !got) {
            continue;
        }
        if (sub.format != 0 || (is.subtitlesForcedOnly && !HasForcedRect(sub))) {
            avsubtitle_free(&sub); // only bitmaps are shown
            continue;
        }
        SubtitlePaletteToYuva(sub);
        lock.lock();
        entry.Free();
        entry.sub = sub;
        entry.used = true;
        entry.pts = pts;
        is.subWrite = (is.subWrite + 1) % 4;
        ++is.subSize;
    }
}

} // namespace quovo
