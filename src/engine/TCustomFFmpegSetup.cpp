// Stream set-up at the start of a conversion: which input stream feeds which output stream, and
// with which parameters.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"
#include "TFFLogger.h"

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/imgutils.h>
#include <libavutil/time.h>
}

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <fstream>
#include <sstream>

namespace quovo {

void TCustomFFmpeg::SetupOutputStreams() {
    MakeInputRecords();
    MakeOutputRecords();
    for (size_t n = 0; n < ost_.size(); ++n) {
        ChooseSource(*ost_[n], static_cast<int>(n));
    }
    // DV carries each frame's sound inside the frame: sound that starts late or has a gap makes
    // the muxer give up, so such outputs keep their sound in step with its timestamps.
    if (opt_.audioSyncMethod == 0) {
        for (const auto& of : outputFiles_) {
            if (std::string(of->ctx->oformat->name) == "dv") {
                opt_.audioSyncMethod = 1;
                Log(llVerbose, "DV output: sound is kept in step with its timestamps (async 1)");
                break;
            }
        }
    }
    for (size_t n = 0; n < ost_.size(); ++n) {
        SetupOutputStream(*ost_[n], static_cast<int>(n));
    }
}

void TCustomFFmpeg::MakeInputRecords() {
    for (size_t i = 0; i < inputFiles_.size(); ++i) {
        AVFormatContext* ic = inputFiles_[i].ctx.get();
        TInputFile f;
        f.ist_index = static_cast<int>(ist_.size());
        f.nb_streams = static_cast<int>(ic->nb_streams);
        files_.push_back(f);
        for (unsigned k = 0; k < ic->nb_streams; ++k) {
            auto ist = std::make_unique<TInputStream>();
            ist->file_index = static_cast<int>(i);
            ist->index = static_cast<int>(k);
            ist->st = ic->streams[k];
            ist->dec = std::move(inputFiles_[i].codecs[k]);
            if (opt_.rateEmu) {
                ist->start = av_gettime();
            }
            ist_.push_back(std::move(ist));
        }
    }
}

void TCustomFFmpeg::MakeOutputRecords() {
    int nbOst = 0;
    for (size_t i = 0; i < outputFiles_.size(); ++i) {
        AVFormatContext* oc = outputFiles_[i]->ctx.get();
        if (oc->nb_streams == 0) {
            av_dump_format(oc, static_cast<int>(i), oc->url, 1);
            throw FFmpegException(
                StringPrintf("Output file #%d does not contain any stream", static_cast<int>(i)));
        }
        nbOst += static_cast<int>(oc->nb_streams);
    }
    firstEntryStreams_ = static_cast<int>(outputFiles_[0]->ctx->nb_streams);
    CheckStreamMaps(nbOst);
    for (size_t i = 0; i < outputFiles_.size(); ++i) {
        TOutputFileShared& of = *outputFiles_[i];
        for (unsigned k = 0; k < of.ctx->nb_streams; ++k) {
            auto ost = std::make_unique<TOutputStream>();
            ost->file_index = static_cast<int>(i);
            ost->index = static_cast<int>(k);
            ost->st = of.ctx->streams[k];
            ost->codec = of.streams[k].get();
            ost_.push_back(std::move(ost));
        }
    }
}

void TCustomFFmpeg::CheckStreamMaps(int outputStreams) const {
    const auto& maps = opt_.streamMaps;
    if (maps.empty()) {
        return;
    }
    if (static_cast<int>(maps.size()) != outputStreams) {
        throw FFmpegException("Number of stream maps must match number of output streams");
    }
    auto exists = [this](int file, int stream) {
        return file >= 0 && file < static_cast<int>(files_.size()) && stream >= 0 &&
               stream < files_[file].nb_streams;
    };
    for (const TStreamMap& m : maps) {
        if (!exists(m.file_index, m.stream_index)) {
            throw FFmpegException(
                StringPrintf("Could not find input stream #%d.%d", m.file_index, m.stream_index));
        }
        if (!exists(m.sync_file_index, m.sync_stream_index)) {
            throw FFmpegException(StringPrintf("Could not find sync stream #%d.%d",
                                               m.sync_file_index, m.sync_stream_index));
        }
    }
}

void TCustomFFmpeg::ChooseSource(TOutputStream& ost, int n) {
    const AVMediaType kind = ost.codec->ctx->codec_type;
    AVFormatContext* oc = outputFiles_[ost.file_index]->ctx.get();
    const auto& maps = opt_.streamMaps;
    if (!maps.empty()) {
        const TStreamMap& m = maps[n];
        const int src = files_[m.file_index].ist_index + m.stream_index;
        const TInputStream& ist = *ist_[src];
        if (ist.st->codecpar->codec_type != kind) {
            av_dump_format(oc, ost.file_index, oc->url, 1);
            throw FFmpegException(StringPrintf(
                "Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", m.file_index,
                m.stream_index, MediaTypeName(ist.st->codecpar->codec_type).c_str(), ost.file_index,
                ost.index, MediaTypeName(kind).c_str()));
        }
        ost.source_index = src;
        ost.sync_ist = files_[m.sync_file_index].ist_index + m.sync_stream_index;
    } else if (ost.codec->sourceFile >= 0) {
        ost.source_index = files_[ost.codec->sourceFile].ist_index + ost.codec->sourceStream;
        ost.sync_ist = ost.source_index;
    } else {
        const int best = BestSource(ost, kind);
        if (best < 0) {
            av_dump_format(oc, ost.file_index, oc->url, 1);
            throw FFmpegException(
                StringPrintf("Could not find input stream matching output stream #%d.%d (%s)",
                             ost.file_index, ost.index, MediaTypeName(kind).c_str()));
        }
        ost.source_index = best;
        ost.sync_ist = best;
    }
    ist_[ost.source_index]->discard = false;
    ist_[ost.source_index]->outputs.push_back(&ost);
}

int TCustomFFmpeg::BestSource(const TOutputStream& ost, AVMediaType kind) const {
    const bool programSelected = opt_.opt_programid != 0;
    int best = -1;
    int64_t bestFrames = -1;
    for (size_t j = 0; j < ist_.size(); ++j) {
        const TInputStream& ist = *ist_[j];
        if (!ist.discard || ist.st->discard == AVDISCARD_ALL ||
            ist.st->codecpar->codec_type != kind || IsAttachedPicture(ist.st)) {
            continue;
        }
        if (joined_ && ist.file_index != ost.file_index) {
            continue;
        }
        // The library no longer tells how many frames probing saw; the container's frame count
        // is the nearest measure of the same thing (0 when unknown: first wins).
        const int64_t frames = ist.st->nb_frames;
        if (frames > bestFrames) {
            bestFrames = frames;
            best = static_cast<int>(j);
        }
    }
    if (best < 0 && !programSelected && !joined_) {
        // An input stream that another output took already.
        for (size_t j = 0; j < ist_.size(); ++j) {
            const TInputStream& ist = *ist_[j];
            if (ist.st->codecpar->codec_type == kind && ist.st->discard != AVDISCARD_ALL &&
                !IsAttachedPicture(ist.st)) {
                best = static_cast<int>(j);
            }
        }
    }
    return best;
}

void TCustomFFmpeg::SetupOutputStream(TOutputStream& ost, int n) {
    TInputStream& ist = *ist_[ost.source_index];
    av_dict_copy(&ost.st->metadata, ist.st->metadata, AV_DICT_DONT_OVERWRITE);
    ost.st->disposition = ist.st->disposition;
    if (!ost.codec->streamCopy) {
        // An encoded picture stream is a video to the muxer: marked as cover art, MP4 takes it
        // for a cover and refuses every codec but the image ones.
        ost.st->disposition &= ~AV_DISPOSITION_ATTACHED_PIC;
    }
    if (joined_ && ost.file_index > 0) {
        // Later entries share the first entry's library streams and encoders.
        if (ost_[ost.index]->encoding_needed) {
            ost.encoding_needed = true;
            ist.decoding_needed = true;
        }
        return;
    }
    AVCodecContext* c = ost.codec->ctx.get();
    if (c->codec_type == AVMEDIA_TYPE_VIDEO && !ost.codec->streamCopy) {
        CheckPictureSize(ist.st->codecpar->width, ist.st->codecpar->height,
                         StringPrintf("Input stream #%d.%d", ist.file_index, ist.index));
        if (c->width > 0 && c->height > 0) { // else the encoder's opening says why
            CheckPictureSize(c->width, c->height,
                             StringPrintf("Output stream #%d.%d", ost.file_index, ost.index));
        }
    }
    c->bits_per_raw_sample = ist.st->codecpar->bits_per_raw_sample;
    c->chroma_sample_location = ist.st->codecpar->chroma_location;
    if (ost.codec->streamCopy) {
        SetupStreamCopy(ost, ist);
    } else {
        SetupEncoding(ost, ist);
        if (c->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) {
            OpenPassLogFile(ost, n);
        }
    }
    if (c->codec_type == AVMEDIA_TYPE_VIDEO) {
        opt_.videoBufferSize = std::max(opt_.videoBufferSize, 6 * c->width * c->height + 200);
    }
}

void TCustomFFmpeg::CheckPictureSize(int width, int height, const std::string& who) {
    constexpr int kMaxSide = 16384;
    constexpr int64_t kMaxPixels = int64_t{1} << 28;
    if (width <= 0 || height <= 0) {
        // The library forgets a size it refuses; nothing could be scaled or encoded from it.
        throw FFmpegException(who + ": the picture size is not known (missing, or refused by "
                                    "the library as too large)");
    }
    if (av_image_check_size(width, height, 0, nullptr) < 0 || width > kMaxSide ||
        height > kMaxSide || static_cast<int64_t>(width) * height > kMaxPixels) {
        throw FFmpegException(StringPrintf(
            "%s: pictures of %dx%d are too large to convert (at most %dx%d and %" PRId64 " pixels)",
            who.c_str(), width, height, kMaxSide, kMaxSide, kMaxPixels));
    }
}

void TCustomFFmpeg::CheckEveryOutputGotFrames() {
    if (stopRequested_ || joined_) {
        return;
    }
    for (const auto& ostp : ost_) {
        const TOutputStream& ost = *ostp;
        const AVMediaType kind = ost.codec->ctx->codec_type;
        if (!ost.encoding_needed || ost.frame_number > 0 ||
            (kind != AVMEDIA_TYPE_VIDEO && kind != AVMEDIA_TYPE_AUDIO) ||
            opt_.maxFrames[kind == AVMEDIA_TYPE_VIDEO ? 0 : 1] <= 0) {
            continue;
        }
        const TInputStream& ist = *ist_[ost.source_index];
        if (ist.packetsRead == 0) {
            continue;
        }
        const std::string decoder = ist.decoder ? ist.decoder->name : "its";
        const std::string why = ist.lastDecodeError < 0
                                    ? FormatErrorText("last decoder error", ist.lastDecodeError)
                                    : std::string("the decoder gave nothing to convert");
        outputFiles_[ost.file_index]->removeOnRelease = true;
        throw FFmpegException(StringPrintf(
            "Output stream #%d.%d (%s) received no frame: input stream #%d.%d (%s decoder) had "
            "%" PRId64 " packets; %s",
            ost.file_index, ost.index, MediaTypeName(kind).c_str(), ist.file_index, ist.index,
            decoder.c_str(), ist.packetsRead, why.c_str()));
    }
}

void TCustomFFmpeg::SetupStreamCopy(TOutputStream& ost, TInputStream& ist) {
    const AVCodecParameters* ipar = ist.st->codecpar;
    AVCodecParameters* opar = ost.st->codecpar;
    if (static_cast<uint64_t>(ipar->extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE >= INT32_MAX) {
        throw FFmpegException("icodec.extradata_size is invalid (too large)");
    }
    const AVOutputFormat* ofmt = outputFiles_[ost.file_index]->ctx->oformat;
    const uint32_t ownTag = ost.codec->ctx->codec_tag;
    const AVRational sar = ost.codec->ctx->sample_aspect_ratio;
    if (avcodec_parameters_copy(opar, ipar) < 0) {
        throw FFmpegException("avcodec_parameters_copy failed");
    }
    opar->codec_tag = ownTag;
    if (!opar->codec_tag) {
        unsigned tag = ipar->codec_tag;
        unsigned mapped = 0;
        if (!ofmt->codec_tag || av_codec_get_id(ofmt->codec_tag, tag) == ipar->codec_id ||
            !av_codec_get_tag2(ofmt->codec_tag, ipar->codec_id, &mapped)) {
            opar->codec_tag = tag;
        }
    }

    // A coarse codec time base avoids needless precision in formats that store per-frame rates.
    AVRational codecTb = {0, 1};
    if (ipar->codec_type == AVMEDIA_TYPE_VIDEO) {
        AVRational rate =
            ist.st->avg_frame_rate.num ? ist.st->avg_frame_rate : ist.st->r_frame_rate;
        if (rate.num > 0 && rate.den > 0) {
            codecTb = av_inv_q(rate);
        }
    } else if (ipar->codec_type == AVMEDIA_TYPE_AUDIO && ipar->sample_rate > 0) {
        codecTb = {1, ipar->sample_rate};
    }
    AVRational tb = ist.st->time_base;
    if (codecTb.num > 0 && av_q2d(tb) < av_q2d(codecTb) && av_q2d(tb) < 1.0 / 1000) {
        av_reduce(&tb.num, &tb.den, codecTb.num, codecTb.den, INT32_MAX);
    }
    ost.st->time_base = tb;
    ost.codec->ctx->time_base = tb;

    switch (ipar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        if (HasHookCallback()) {
            throw FFmpegException("-vcodec copy and CustomHook are incompatible (frames are not "
                                  "decoded)");
        }
        if (frameHooks_ && !frameHooks_->Empty()) {
            throw FFmpegException("-vcodec copy and -vhook are incompatible (frames are not "
                                  "decoded)");
        }
        if (PreviewFlags() != 0) {
            throw FFmpegException("-vcodec copy and PostHooks are incompatible (frames are not "
                                  "decoded)");
        }
        if (sar.num > 0) {
            opar->sample_aspect_ratio = sar;
            ost.st->sample_aspect_ratio = sar;
        } else {
            ost.st->sample_aspect_ratio = ist.st->sample_aspect_ratio;
        }
        ost.st->avg_frame_rate = ist.st->avg_frame_rate;
        ost.st->r_frame_rate = ist.st->r_frame_rate;
        break;
    case AVMEDIA_TYPE_AUDIO:
        if (opt_.audioVolume != 256) {
            throw FFmpegException("-acodec copy and -vol are incompatible (frames are not "
                                  "decoded)");
        }
        if ((ipar->codec_id == AV_CODEC_ID_MP3 && ipar->block_align == 1) ||
            ipar->codec_id == AV_CODEC_ID_AC3) {
            opar->block_align = 0;
        }
        break;
    case AVMEDIA_TYPE_SUBTITLE:
    case AVMEDIA_TYPE_DATA:
    case AVMEDIA_TYPE_ATTACHMENT:
        break;
    default:
        throw FFmpegException("invalid codec_type of output stream");
    }
}

void TCustomFFmpeg::SetupEncoding(TOutputStream& ost, TInputStream& ist) {
    switch (ost.codec->ctx->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        SetupAudioEncoding(ost, ist);
        break;
    case AVMEDIA_TYPE_VIDEO:
        SetupVideoEncoding(ost, ist);
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        SetupSubtitleEncoding(ost, ist);
        break;
    default:
        throw FFmpegException("invalid codec_type of output stream");
    }
    ist.decoding_needed = true;
    ost.encoding_needed = true;
}

void TCustomFFmpeg::OpenPassLogFile(TOutputStream& ost, int n) {
    std::string name = StringPrintf(
        "%s-%d.log", opt_.passLogFileName.empty() ? "ffmpeg2pass" : opt_.passLogFileName.c_str(),
        n);
    if (name.size() > 1023) {
        name.resize(1023);
    }
    AVCodecContext* c = ost.codec->ctx.get();
    if (c->flags & AV_CODEC_FLAG_PASS1) {
        ost.logfile.reset(std::fopen(name.c_str(), "wb"));
        if (!ost.logfile) {
            throw FFmpegException(
                StringPrintf("Cannot write log file %s for pass-1 encoding", name.c_str()));
        }
        return;
    }
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        throw FFmpegException(StringPrintf(
            "Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name.c_str()));
    }
    std::ostringstream text;
    text << in.rdbuf();
    ost.statsIn = text.str();
    c->stats_in = av_strdup(ost.statsIn.c_str());
    if (!c->stats_in) {
        throw FFmpegException(StringPrintf(
            "Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding",
            name.c_str()));
    }
}

void TCustomFFmpeg::CopyMetaDataMaps() {
    for (const TMetaDataMap& m : opt_.metaDataMaps) {
        if (m.out_file < 0 || m.out_file >= static_cast<int>(outputFiles_.size())) {
            std::string msg = StringPrintf("Invalid output file index %d map_meta_data(%d,%d)",
                                           m.out_file, m.out_file, m.in_file);
            Log(llError, msg);
            throw FFmpegException(msg);
        }
        if (m.in_file < 0 || m.in_file >= static_cast<int>(inputFiles_.size())) {
            std::string msg = StringPrintf("Invalid input file index %d map_meta_data(%d,%d)",
                                           m.in_file, m.out_file, m.in_file);
            Log(llError, msg);
            throw FFmpegException(msg);
        }
        av_dict_copy(&outputFiles_[m.out_file]->ctx->metadata, inputFiles_[m.in_file].ctx->metadata,
                     AV_DICT_DONT_OVERWRITE);
    }
}

void TCustomFFmpeg::CopyChapters() {
    std::shared_ptr<TOutputFileShared> previous;
    for (size_t i = 0; i < inputFiles_.size(); ++i) {
        AVFormatContext* is = inputFiles_[i].ctx.get();
        if (is->nb_chapters == 0) {
            continue;
        }
        for (size_t j = 0; j < outputFiles_.size(); ++j) {
            // A joined output is one file; its entries must not get the chapters twice.
            if (outputFiles_[j] == previous) {
                continue;
            }
            previous = outputFiles_[j];
            AVFormatContext* os = outputFiles_[j]->ctx.get();
            const int64_t startUs = opt_.startTime - inputFiles_[i].tsOffset;
            for (unsigned k = 0; k < is->nb_chapters; ++k) {
                AVChapter* in = is->chapters[k];
                const int64_t ts_off = av_rescale_q(startUs, AV_TIME_BASE_Q, in->time_base);
                const int64_t rt =
                    opt_.recordingTime == UnlimitedTime
                        ? INT64_MAX
                        : av_rescale_q(opt_.recordingTime, AV_TIME_BASE_Q, in->time_base);
                // A chapter that ends where the output starts, or starts where it ends, would be
                // an empty mark.
                if (in->end <= ts_off) {
                    continue;
                }
                if (rt != INT64_MAX && in->start >= rt + ts_off) {
                    break;
                }
                int64_t end = in->end - ts_off;
                if (rt != INT64_MAX) {
                    end = std::min(rt, end);
                }
                AVChapter& out = AddChapter(*os, in->id, in->time_base,
                                            std::max<int64_t>(0, in->start - ts_off), end);
                av_dict_copy(&out.metadata, in->metadata, 0);
                const AVDictionaryEntry* title = av_dict_get(out.metadata, "title", nullptr, 0);
                if (!title || !*title->value) {
                    av_dict_set(&out.metadata, "title",
                                StringPrintf("Chapter %u", k + 1).c_str(), 0);
                }
            }
        }
        previous.reset();
    }
}

void TCustomFFmpeg::FailWithMapping(const std::string& msg) {
    ReportStreamMapping();
    Log(llError, msg);
    throw FFmpegException(msg);
}

void TCustomFFmpeg::ReportStreamMapping() {
    for (size_t i = 0; i < outputFiles_.size(); ++i) {
        if (joined_ && i > 0) {
            break;
        }
        AVFormatContext* oc = outputFiles_[i]->ctx.get();
        av_dump_format(oc, static_cast<int>(i), oc->url, 1);
    }
    if (opt_.verbose < 0) {
        return;
    }
    Log(llVerbose, "Stream mapping:");
    for (const auto& ost : ost_) {
        if (ost->source_index < 0) {
            continue;
        }
        const TInputStream& ist = *ist_[ost->source_index];
        LogFmt(llVerbose, "  Stream #%d.%d -> #%d.%d (%s)", ist.file_index, ist.index,
               joined_ ? 0 : ost->file_index, ost->index,
               MediaTypeName(ost->codec->ctx->codec_type).c_str());
        if (ost->sync_ist != ost->source_index && ost->sync_ist >= 0) {
            const TInputStream& sync = *ist_[ost->sync_ist];
            LogFmt(llVerbose, " [sync #%d.%d (%s)]", sync.file_index, sync.index,
                   MediaTypeName(sync.st->codecpar->codec_type).c_str());
        }
    }
}

} // namespace quovo
