// The transcoding loop: open codecs, write headers, read packets from the inputs in timestamp
// order, fix their timestamps, copy or decode them, and finish the outputs.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"
#include "TFFmpegLoader.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/time.h>
}

#include <algorithm>
#include <cmath>
#include <string_view>
#include <thread>

#include <time.h>

namespace quovo {

namespace {
constexpr int64_t kClockJitterUs = 50000;
} // namespace

namespace {

int KindSlot(AVMediaType kind) {
    switch (kind) {
    case AVMEDIA_TYPE_VIDEO:
        return 0;
    case AVMEDIA_TYPE_AUDIO:
        return 1;
    case AVMEDIA_TYPE_DATA:
        return 2;
    default:
        return 3;
    }
}

// When the next progress report is due is asked after every packet: a coarse clock (a few ms
// steps) costs a tenth of the precise one, and a report a few ms late changes nothing.
int64_t ReportClockUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000;
}

} // namespace

void TCustomFFmpeg::OpenEncoders() {
    for (auto& ostp : ost_) {
        TOutputStream& ost = *ostp;
        if (!ost.encoding_needed || (joined_ && ost.file_index > 0)) {
            continue;
        }
        AVCodecContext* c = ost.codec->ctx.get();
        const AVCodec* codec =
            ost.codec->outputCodec ? ost.codec->outputCodec : avcodec_find_encoder(c->codec_id);
        if (!codec) {
            FailWithMapping(StringPrintf(
                "Encoder (codec id %d) not found for output stream #%d.%d (%s)", c->codec_id,
                ost.file_index, ost.index, MediaTypeName(c->codec_type).c_str()));
        }
        {
            std::lock_guard lock(CodecLock());
            ost.codec->rememberedCodecId = c->codec_id;
            ClaimEncoderOptions(*ost.codec, codec);
            AvDictionary privateOptions;
            av_dict_copy(privateOptions.address(), ost.codec->privateOptions.get(), 0);
            const int opened = avcodec_open2(c, codec, privateOptions.address());
            const AVDictionaryEntry* left = nullptr;
            while ((left = av_dict_get(privateOptions.get(), "", left, AV_DICT_IGNORE_SUFFIX))) {
                LogFmt(llWarning, "Encoder %s has no option %s (value \"%s\" not used)",
                       codec->name, left->key, left->value);
            }
            if (opened < 0) {
                FailWithMapping(StringPrintf(
                    "Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect "
                    "parameters such as bit_rate, rate, width or height. Please check error log "
                    "message to find out more detail information.",
                    ost.file_index, ost.index, MediaTypeName(c->codec_type).c_str()));
            }
            ost.codec->opened = true;
            openEncoders_.push_back(c);
        }
        extraSize_ += c->extradata_size;
        avcodec_parameters_from_context(ost.st->codecpar, c);
        ost.st->time_base = c->time_base;
    }
}

void TCustomFFmpeg::OpenDecoders() {
    for (size_t i = 0; i < ist_.size(); ++i) {
        TInputStream& ist = *ist_[i];
        if (!ist.decoding_needed) {
            continue;
        }
        const std::string& name = i < inputCodecNames_.size() ? inputCodecNames_[i] : "";
        const AVCodec* codec = name.empty() ? nullptr : avcodec_find_decoder_by_name(name.c_str());
        if (!codec) {
            codec = avcodec_find_decoder(ist.st->codecpar->codec_id);
        }
        const std::string kind = MediaTypeName(ist.st->codecpar->codec_type);
        if (!codec) {
            FailWithMapping(
                StringPrintf("Decoder (codec id %d) not found for input stream #%d.%d (%s)",
                             ist.st->codecpar->codec_id, ist.file_index, ist.index, kind.c_str()));
        }
        std::lock_guard lock(CodecLock());
        ist.dec->pkt_timebase = ist.st->time_base;
        if (avcodec_open2(ist.dec.get(), codec, nullptr) < 0) {
            FailWithMapping(StringPrintf("Error while opening decoder for input stream #%d.%d (%s)",
                                         ist.file_index, ist.index, kind.c_str()));
        }
        ist.decoder = codec;
        openDecoders_.push_back(ist.dec.get());
    }
}

void TCustomFFmpeg::InitBitstreamFilters(TOutputStream& ost) {
    ost.bsfsReady = true;
    AVCodecParameters* par = ost.st->codecpar;
    AVRational tb = ost.st->time_base;
    for (const std::string& name : ost.codec->bitstreamFilters) {
        const AVBitStreamFilter* f = av_bsf_get_by_name(name.c_str());
        AVBSFContext* raw = nullptr;
        if (!f || av_bsf_alloc(f, &raw) < 0) {
            throw FFmpegException(StringPrintf("Unknown bitstream filter %s", name.c_str()));
        }
        AvBsfContextPtr bsf(raw);
        avcodec_parameters_copy(bsf->par_in, par);
        bsf->time_base_in = tb;
        int err = av_bsf_init(bsf.get());
        if (err < 0) {
            throw FFmpegException(FormatErrorText(name, err));
        }
        par = bsf->par_out;
        tb = bsf->time_base_out;
        ost.bsfs.push_back(std::move(bsf));
    }
    if (!ost.bsfs.empty()) {
        avcodec_parameters_copy(ost.st->codecpar, par);
        ost.st->time_base = tb;
    }
}

void TCustomFFmpeg::WriteHeaders() {
    for (auto& ost : ost_) {
        if (!(joined_ && ost->file_index > 0)) {
            InitBitstreamFilters(*ost);
        }
    }
    bool allRtp = true;
    for (size_t i = 0; i < outputFiles_.size(); ++i) {
        TOutputFileShared& of = *outputFiles_[i];
        allRtp = allRtp && std::string(of.ctx->oformat->name) == "rtp";
        if (joined_ && i > 0) {
            break;
        }
        // AVI places sound by its bytes and pictures by their count: moving every stream later
        // by the sound encoder's priming (the library's default for negative times) would only
        // round the pictures after the first one a whole frame late.
        if (std::string_view(of.ctx->oformat->name) == "avi") {
            of.ctx->avoid_negative_ts = 0;
        }
        if (avformat_write_header(of.ctx.get(), of.muxOptions.address()) < 0) {
            FailWithMapping(StringPrintf(
                "Could not write header for output file #%d (incorrect codec parameters ?)",
                static_cast<int>(i)));
        }
        of.headerWritten = true;
    }
    if (allRtp && !outputFiles_.empty()) {
        std::vector<AVFormatContext*> all;
        for (auto& of : outputFiles_) {
            all.push_back(of->ctx.get());
        }
        char sdp[16384];
        if (av_sdp_create(all.data(), static_cast<int>(all.size()), sdp, sizeof sdp) == 0) {
            Log(llInfo, "SDP:\r\n" + Trim(sdp));
        }
    }
}

void TCustomFFmpeg::WriteTrailers() {
    for (size_t i = 0; i < outputFiles_.size(); ++i) {
        TOutputFileShared& of = *outputFiles_[i];
        if (joined_ && i > 0) {
            break;
        }
        if (of.headerWritten && !of.trailerWritten) {
            of.trailerWritten = true;
            int err = av_write_trailer(of.ctx.get());
            if (of.ctx->pb) {
                avio_flush(of.ctx->pb);
            }
            if (err < 0) {
                throw FFmpegException(FormatErrorText("av_write_trailer()", err));
            }
        }
    }
}

void TCustomFFmpeg::Transcode() {
    runCompleted_ = false;
    try {
        SetupOutputStreams();
        SetupSubpictureDrawing();
        OpenEncoders();
        OpenDecoders();
        for (auto& ist : ist_) {
            AVRational fr = ist->st->avg_frame_rate;
            ist->pts = fr.num && fr.den
                           ? -llrint(ist->st->codecpar->video_delay * 1000000.0 / av_q2d(fr))
                           : 0;
            ist->next_pts = NoTimestamp;
            ist->is_start = true;
        }
        CopyMetaDataMaps();
        CopyChapters();
        WriteHeaders();
        ReportStreamMapping();

        loopStartTime_ = av_gettime();
        lastReportTime_ = ReportClockUs();
        noPacket_.assign(inputFiles_.size(), false);
        noPacketCount_ = 0;
        currentInput_ = 0;
        MainLoop();

        for (auto& ist : ist_) {
            if (ist->decoding_needed && !ist->flushed) {
                ProcessPacket(*ist, nullptr);
            }
        }
        CheckEveryOutputGotFrames();
        WriteTrailers();
        ProgressReport(true, -1);
        CloseCodecs();
        runCompleted_ = !stopRequested_;
        FreeStreamRecords();
    } catch (...) {
        CloseCodecs();
        FreeStreamRecords();
        throw;
    }
}

int TCustomFFmpeg::ChooseInput() {
    if (joined_) {
        for (auto& ost : ost_) {
            if (ost->file_index != currentInput_) {
                continue;
            }
            if (ost->frame_number >= opt_.maxFrames[KindSlot(ost->codec->ctx->codec_type)]) {
                return -1;
            }
        }
        return currentInput_;
    }
    int fileIndex = -1;
    double iptsMin = 1e100;
    double optsMin = 1e100;
    for (auto& ostp : ost_) {
        TOutputStream& ost = *ostp;
        TInputStream& ist = *ist_[ost.source_index];
        if (ist.is_past_recording_time || noPacket_[ist.file_index]) {
            continue;
        }
        const double opts = ost.OutputTime();
        const double ipts = static_cast<double>(ist.pts);
        if (!files_[ist.file_index].eof_reached) {
            if (ipts < iptsMin) {
                iptsMin = ipts;
                if (opt_.inputSync) {
                    fileIndex = ist.file_index;
                }
            }
            if (opts < optsMin) {
                optsMin = opts;
                if (!opt_.inputSync) {
                    fileIndex = ist.file_index;
                }
            }
        }
        if (ost.frame_number >= opt_.maxFrames[KindSlot(ost.codec->ctx->codec_type)]) {
            return -1;
        }
    }
    return fileIndex;
}

void TCustomFFmpeg::ApplyPacketTimestamps(int fileIndex, TInputStream& ist, AVPacket* pkt) {
    TInputFileEntry& in = inputFiles_[fileIndex];
    const AVRational tb = ist.st->time_base;
    const int64_t offset = av_rescale_q(in.tsOffset, AV_TIME_BASE_Q, tb);
    if (pkt->dts != AV_NOPTS_VALUE) {
        pkt->dts += offset;
    }
    if (pkt->pts != AV_NOPTS_VALUE) {
        pkt->pts += offset;
    }
    if (fileIndex < MAX_FILES && pkt->stream_index < MAX_STREAMS) {
        const double scale = opt_.inputFilesTsScale[fileIndex][pkt->stream_index];
        if (scale != 0) {
            if (pkt->dts != AV_NOPTS_VALUE) {
                pkt->dts = llrint(pkt->dts * scale);
            }
            if (pkt->pts != AV_NOPTS_VALUE) {
                pkt->pts = llrint(pkt->pts * scale);
            }
        }
    }

    AVFormatContext* ic = in.ctx.get();
    if (pkt->dts != AV_NOPTS_VALUE && ist.next_pts != NoTimestamp &&
        (ic->iformat->flags & AVFMT_TS_DISCONT)) {
        const int64_t pktDts = av_rescale_q(pkt->dts, tb, AV_TIME_BASE_Q);
        const int64_t delta = pktDts - ist.next_pts;
        // A step back of less than a picture or a sound frame is the clocks' rounding (90 kHz
        // against microseconds), not a new clock: following it would move every later picture.
        if ((std::llabs(delta) > static_cast<int64_t>(opt_.dtsDeltaThreshold * AV_TIME_BASE) ||
             pktDts + kClockJitterUs < ist.pts) &&
            !opt_.copyTs) {
            in.tsOffset -= delta;
            if (opt_.verbose > 2) {
                LogFmt(llVerbose, "timestamp discontinuity %" PRId64 ", new offset= %" PRId64,
                       delta, in.tsOffset);
            }
            const int64_t d = av_rescale_q(delta, AV_TIME_BASE_Q, tb);
            pkt->dts -= d;
            if (pkt->pts != AV_NOPTS_VALUE) {
                pkt->pts -= d;
            }
        }
    }
}

void TCustomFFmpeg::MainLoop() {
    AVPacket* pkt = readPacket_.get();
    while (!stopRequested_) {
        PauseGate();
        if (stopRequested_) {
            break;
        }
        const int fileIndex = ChooseInput();
        if (fileIndex < 0) {
            if (!joined_ && noPacketCount_ > 0) {
                noPacket_.assign(noPacket_.size(), false);
                noPacketCount_ = 0;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            break;
        }
        AVFormatContext* first = outputFiles_[0]->ctx.get();
        if (opt_.limitFilesize != 0 && first->pb && avio_tell(first->pb) > opt_.limitFilesize) {
            break;
        }

        TInputFileEntry& in = inputFiles_[fileIndex];
        int err = av_read_frame(in.ctx.get(), pkt);
        if (err == AVERROR(EAGAIN)) {
            if (joined_) {
                // Waiting would not help: the joined inputs are read strictly in order.
                break;
            }
            noPacket_[fileIndex] = true;
            ++noPacketCount_;
            continue;
        }
        if (err < 0) {
            files_[fileIndex].eof_reached = true;
            if (!joined_) {
                if (opt_.opt_shortest) {
                    break;
                }
                continue;
            }
            if (EndJoinedInput(fileIndex)) {
                break;
            }
            continue;
        }
        if (noPacketCount_ > 0) {
            noPacket_.assign(noPacket_.size(), false);
            noPacketCount_ = 0;
        }
        if (opt_.doPktDump) {
            av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, pkt, opt_.doHexDump,
                             in.ctx->streams[pkt->stream_index]);
        }
        if (pkt->stream_index >= in.nbStreamsAtOpen) {
            av_packet_unref(pkt);
            continue;
        }
        TInputStream& ist = *ist_[files_[fileIndex].ist_index + pkt->stream_index];
        if (ist.discard) {
            av_packet_unref(pkt);
            continue;
        }
        ApplyPacketTimestamps(fileIndex, ist, pkt);
        ++ist.packetsRead;

        // A stream is past the end once it decodes there: pictures shown before the end may
        // still follow in decoding order (their times are checked as they come out).
        const int64_t endUs = InputEndUs(ist);
        const int64_t decodeTs = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
        if (endUs != UnlimitedTime && decodeTs != AV_NOPTS_VALUE &&
            av_compare_ts(decodeTs, ist.st->time_base, endUs, AV_TIME_BASE_Q) >= 0) {
            ist.is_past_recording_time = true;
        } else if (ProcessPacket(ist, pkt) < 0) {
            std::string msg =
                StringPrintf("Error while decoding stream #%d.%d (%s)", ist.file_index, ist.index,
                             MediaTypeName(ist.st->codecpar->codec_type).c_str());
            av_packet_unref(pkt);
            if (opt_.exitOnError) {
                throw FFmpegException(msg);
            }
            if (opt_.verbose >= 0) {
                Log(llVerbose, msg);
            }
            continue;
        }
        av_packet_unref(pkt);

        if (ReportClockUs() - lastReportTime_ > reportIntervalUs_) {
            ProgressReport(false, fileIndex);
            // Counted from the report's return: a receiver that was slow to take it (a busy main
            // thread, another task's report) still gets the whole interval.
            lastReportTime_ = ReportClockUs();
        }
    }
}

bool TCustomFFmpeg::EndJoinedInput(int k) {
    const int first = files_[k].ist_index;
    for (int i = first; i < first + files_[k].nb_streams; ++i) {
        TInputStream& ist = *ist_[i];
        if (ist.decoding_needed) {
            ProcessPacket(ist, nullptr);
            avcodec_flush_buffers(ist.dec.get());
            ist.flushed = true;
        }
    }
    // The entries' streams are laid out entry after entry, firstEntryStreams_ each.
    const int n = firstEntryStreams_;
    const bool last = k + 1 >= static_cast<int>(inputFiles_.size());
    const bool nextEntry = (k + 1) * n < static_cast<int>(ost_.size());
    if (!last) {
        for (int j = 0; j < n; ++j) {
            TOutputStream& ost = *ost_[j];
            if (ost.encoding_needed) {
                FlushEncoders(*ist_[ost.source_index]);
            }
        }
    }
    if (nextEntry) {
        double m = 0;
        for (int j = 0; j < n; ++j) {
            TOutputStream& done = *ost_[k * n + j];
            TOutputStream& next = *ost_[(k + 1) * n + j];
            next.frame_number = done.frame_number;
            next.sync_opts = done.sync_opts;
            next.nextDts = done.nextDts;
            m = std::max(m, done.OutputTime());
            done.active = false;
        }
        if (!last) {
            inputFiles_[k + 1].tsOffset += llrint(m * 1000000);
        }
    }
    if (!last) {
        currentInput_ = k + 1;
    }
    return last;
}

void TCustomFFmpeg::ReopenEncoder(
    TOutputStream& ost,
    const std::function<void(AVCodecContext* fresh, const AVCodecContext* old)>& copySettings) {
    TStreamCodec& sc = *ost.codec;
    AVCodecContext* old = sc.ctx.get();
    const std::string kind = MediaTypeName(old->codec_type);
    const AVCodec* codec =
        sc.outputCodec ? sc.outputCodec : avcodec_find_encoder(sc.rememberedCodecId);
    if (!codec) {
        throw FFmpegException(StringPrintf("Unsupported codec for output stream #%d.%d (%s)",
                                           ost.file_index, ost.index, kind.c_str()));
    }
    AvCodecContextPtr fresh(avcodec_alloc_context3(codec));
    if (!fresh || av_opt_copy(fresh.get(), old) < 0) {
        throw FFmpegException("Not enough memory");
    }
    AVCodecContext* c = fresh.get();
    c->codec_type = old->codec_type;
    c->codec_id = sc.rememberedCodecId;
    c->codec_tag = old->codec_tag;
    c->time_base = old->time_base;
    c->flags = old->flags;
    c->flags2 = old->flags2;
    c->global_quality = old->global_quality;
    c->bit_rate = old->bit_rate;
    c->thread_count = old->thread_count;
    if (old->priv_data && c->priv_data) {
        av_opt_copy(c->priv_data, old->priv_data);
    }
    copySettings(c, old);

    std::lock_guard lock(CodecLock());
    AvDictionary options;
    av_dict_copy(options.address(), sc.privateOptions.get(), 0);
    if (avcodec_open2(c, codec, options.address()) < 0) {
        throw FFmpegException(StringPrintf(
            "Error while opening codec for output stream #%d.%d (%s) - maybe incorrect parameters "
            "such as bit_rate, rate, width or height",
            ost.file_index, ost.index, kind.c_str()));
    }
    std::replace(openEncoders_.begin(), openEncoders_.end(), old, c);
    sc.ctx = std::move(fresh); // frees the drained encoder
    sc.opened = true;
}

void TCustomFFmpeg::AdvanceCopiedTimestamp(TInputStream& ist, const AVPacket* pkt) {
    const AVCodecParameters* par = ist.st->codecpar;
    if (pkt->duration > 0) {
        ist.next_pts += av_rescale_q(pkt->duration, ist.st->time_base, AV_TIME_BASE_Q);
        return;
    }
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
        if (par->sample_rate > 0 && par->frame_size > 0) {
            ist.next_pts += static_cast<int64_t>(AV_TIME_BASE) * par->frame_size / par->sample_rate;
        }
    } else if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        AVRational rate =
            ist.st->avg_frame_rate.num ? ist.st->avg_frame_rate : ist.st->r_frame_rate;
        if (rate.num > 0 && rate.den > 0) {
            int ticks = 1;
            if (AVCodecParserContext* parser = av_stream_get_parser(ist.st)) {
                ticks = parser->repeat_pict + 1;
            }
            ist.next_pts += av_rescale_q(ticks, av_inv_q(rate), AV_TIME_BASE_Q);
        }
    }
}

int TCustomFFmpeg::ProcessPacket(TInputStream& ist, AVPacket* pkt) {
    if (ist.next_pts == NoTimestamp) {
        ist.next_pts = ist.pts;
    }
    if (pkt && pkt->dts != AV_NOPTS_VALUE) {
        ist.next_pts = ist.pts = av_rescale_q(pkt->dts, ist.st->time_base, AV_TIME_BASE_Q);
    }
    if (ist.decoding_needed) {
        return DecodeAndOutput(ist, pkt);
    }
    if (!pkt) {
        return 0;
    }
    ist.pts = ist.next_pts;
    AdvanceCopiedTimestamp(ist, pkt);

    RateEmulationWait(ist);
    if (!ReachedCopyStart(ist)) {
        return 0;
    }
    TOutputStream* previous = nullptr;
    for (TOutputStream* ostp : OutputsOf(ist)) {
        TOutputStream& ost = *ostp;
        if (!ost.active) {
            continue;
        }
        if (ost.encoding_needed) {
            // Encoders are fed from decoded frames only; a copy-only source cannot feed one.
            throw FFmpegException(StringPrintf(
                "internal error: output stream #%d.%d encodes but its source is not decoded",
                ost.file_index, ost.index));
        }
        if (previous) {
            CopyPacket(*previous, ist, pkt, false);
        }
        previous = &ost;
    }
    if (previous) {
        CopyPacket(*previous, ist, pkt, true);
    }
    return 0;
}

void TCustomFFmpeg::CopyPacket(TOutputStream& ost, TInputStream& ist, AVPacket* pkt,
                               bool lastConsumer) {
    if (!opt_.copyInitialNonKeyframes && ost.frame_number == 0 && !(pkt->flags & AV_PKT_FLAG_KEY)) {
        return;
    }
    const AVRational itb = ist.st->time_base;
    const AVRational otb = ost.st->time_base;
    const int64_t start = av_rescale_q(opt_.startTime, AV_TIME_BASE_Q, otb);
    const int64_t pts =
        pkt->pts != AV_NOPTS_VALUE ? av_rescale_q(pkt->pts, itb, otb) - start : AV_NOPTS_VALUE;
    const int64_t dts = (pkt->dts == AV_NOPTS_VALUE ? av_rescale_q(ist.pts, AV_TIME_BASE_Q, otb)
                                                    : av_rescale_q(pkt->dts, itb, otb)) -
                        start;
    const int64_t duration = av_rescale_q(pkt->duration, itb, otb);
    const int size = pkt->size;

    AVPacket* opkt = copyPacket_.get();
    if (lastConsumer) {
        av_packet_move_ref(opkt, pkt);
    } else if (av_packet_ref(opkt, pkt) < 0) {
        throw FFmpegException("Not enough memory");
    }
    opkt->stream_index = ost.index;
    opkt->pts = pts;
    opkt->dts = dts;
    opkt->duration = duration;
    opkt->time_base = otb;
    const AVMediaType kind = ost.st->codecpar->codec_type;
    if (kind == AVMEDIA_TYPE_VIDEO) {
        videoSize_ += size;
        ++ost.sync_opts;
    } else if (kind == AVMEDIA_TYPE_AUDIO) {
        audioSize_ += size;
    }
    ++ost.frame_number;
    WritePacket(ost, opkt);
}

void TCustomFFmpeg::WritePacket(TOutputStream& ost, AVPacket* pkt) {
    // Later entries of a joined output write through the first entry's filters.
    TOutputStream* owner = &ost;
    if (joined_ && ost.file_index > 0) {
        owner = ost_[ost.index].get();
    }
    if (owner->bsfs.empty()) {
        InterleavedWrite(ost, pkt);
        return;
    }
    // Each filter may turn one packet into none or several; a failing filter is skipped.
    std::vector<AVPacket*> pending{pkt};
    std::vector<AvPacketPtr> owned;
    for (auto& bsf : owner->bsfs) {
        std::vector<AVPacket*> next;
        for (AVPacket* in : pending) {
            int err = av_bsf_send_packet(bsf.get(), in);
            while (err >= 0) {
                AvPacketPtr out = MakePacket();
                err = av_bsf_receive_packet(bsf.get(), out.get());
                if (err < 0) {
                    break;
                }
                next.push_back(out.get());
                owned.push_back(std::move(out));
            }
            if (err < 0 && err != AVERROR(EAGAIN) && err != AVERROR_EOF) {
                std::string msg = StringPrintf(
                    "%s failed for stream %d, codec %s", bsf->filter->name, pkt->stream_index,
                    ost.codec->outputCodec ? ost.codec->outputCodec->name : "copy");
                msg = FormatErrorText(msg, err);
                if (opt_.exitOnError) {
                    throw FFmpegException(msg);
                }
                Log(llError, msg);
                if (in->data || in->side_data_elems) {
                    next.push_back(in); // not taken by the filter: goes on unfiltered
                }
            }
        }
        pending = std::move(next);
    }
    for (AVPacket* p : pending) {
        p->stream_index = ost.index;
        InterleavedWrite(ost, p);
    }
}

void TCustomFFmpeg::InterleavedWrite(TOutputStream& ost, AVPacket* pkt) {
    TOutputFileShared& of = *outputFiles_[ost.file_index];
    TStreamCodec& sc = *ost.codec;
    if (pkt->time_base.num == 0) {
        pkt->time_base = ost.st->time_base;
    }
    // Rounding into a coarser time base, or a damaged input, can make decoding timestamps repeat
    // or step back; the muxer would refuse the packet and end the run, so nudge them forward.
    if (!(of.ctx->oformat->flags & AVFMT_NOTIMESTAMPS) && pkt->dts != AV_NOPTS_VALUE &&
        sc.lastDts != AV_NOPTS_VALUE && pkt->dts <= sc.lastDts) {
        const int64_t fixed = sc.lastDts + 1;
        if (pkt->pts != AV_NOPTS_VALUE && pkt->pts < fixed) {
            pkt->pts = fixed;
        }
        pkt->dts = fixed;
    }
    if (pkt->dts != AV_NOPTS_VALUE) {
        sc.lastDts = pkt->dts;
        ost.nextDts = pkt->dts + std::max<int64_t>(0, pkt->duration);
    }
    const int err = av_interleaved_write_frame(of.ctx.get(), pkt);
    if (err < 0) {
        throw FFmpegException(FormatErrorText("av_interleaved_write_frame()", err));
    }
}

} // namespace quovo
