// The playback pipeline: opening a title, the read thread, the streams' decoders, seeking,
// pausing, the clocks and closing.
#include "TCustomPlayer.h"

#include "InputSubpicture.h"

#include "MainThread.h"
#include "MyUtils.h"
#include "TCustomFFmpeg.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TPlaybackState.h"

#include <SDL2/SDL.h>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libavutil/time.h>
}

#include <pthread.h>

#include <climits>
#include <cmath>

namespace quovo {

double PlayerNow() {
    return av_gettime_relative() / 1000000.0;
}

void NamePlayerThread(const char* name) {
    pthread_setname_np(pthread_self(), name);
}

TPlaybackState::~TPlaybackState() {
    for (TSubpictureEntry& e : subq) {
        e.Free();
    }
}

namespace {

constexpr int kMaxQueueBytes = 15 * 1024 * 1024;
constexpr int kMaxAudioQueueBytes = 0x50000;
constexpr int kMinFrames = 5;

int InterruptCallback(void* opaque) {
    return static_cast<TPlaybackState*>(opaque)->abortRequest ? 1 : 0;
}

} // namespace

void TCustomPlayer::WaitSliced(const std::function<bool()>& done, int sliceMs) {
    while (!done()) {
        if (IsMainThread()) {
            WaitAndDrainMainThreadQueue(std::chrono::milliseconds(sliceMs));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
        }
    }
}

bool TCustomPlayer::StreamOpen(const std::string& url, bool startPaused) {
    auto is = std::make_unique<TPlaybackState>(this);
    if (startPaused) {
        is->paused = true;
        is->stepCounter = 1;
    }
    is->url = url;
    is->syncType = SyncType;
    TPlaybackState* raw = is.get();
    try {
        is->readThread = std::thread([this, raw] { ReadThreadMain(raw); });
    } catch (const std::system_error&) {
        Report(llError, "SDL_CreateThread() failed.", true);
        return false;
    }
    WaitSliced([raw] { return raw->openResult != 0; }, 10);
    if (is->openResult == 1) {
        if (!is->videoStream && !DisableDisplay) {
            is->showAudio = AudioDisplayMode;
        }
        {
            std::lock_guard lock(playerLock_);
            title_ = is.release();
        }
        raw->refreshThread = std::thread([this, raw] { RefreshThreadMain(raw); });
        if (raw->audioDevice) {
            SDL_PauseAudioDevice(raw->audioDevice, 0);
        }
        return true;
    }
    WaitSliced([raw] { return raw->openResult != -1; }, 10);
    // The read thread has finished its clean-up; it waits for the abort request.
    is->abortRequest = true;
    is->readThread.join();
    ResetSettings();
    return false;
}

void TCustomPlayer::ReadThreadMain(TPlaybackState* is) {
    NamePlayerThread("player-read");
    const bool opened = ReadSetUp(*is);
    if (opened) {
        is->openResult = 1;
        ReadLoop(*is);
        while (!is->abortRequest) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    } else {
        is->openResult = -1;
    }
    ReadCleanup(*is);
    if (!opened) {
        is->openResult = -2;
    }
}

bool TCustomPlayer::ReadSetUp(TPlaybackState& is) {
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) {
        Report(llError, "av_mallocz() failed.", true);
        return false;
    }
    raw->interrupt_callback = {InterruptCallback, &is};
    AvDictionary params;
    if (FrameWidth > 0 && FrameHeight > 0) {
        av_dict_set(params.address(), "video_size",
                    StringPrintf("%dx%d", FrameWidth, FrameHeight).c_str(), 0);
    }
    if (FramePixelFormat != AV_PIX_FMT_NONE) {
        av_dict_set(params.address(), "pixel_format", av_get_pix_fmt_name(FramePixelFormat), 0);
    }
    const std::string name = ToLibraryName(is.url);
    if (const int err = OpenLibraryInput(name, raw, nullptr, params.address(), is.io); err < 0) {
        Report(llQuiet, FormatErrorText(is.url, err), true);
        return false;
    }
    is.input.reset(raw);
    AVFormatContext* ic = raw;
    // A disc title's subpictures: their palette, and with no subtitle chosen the forced ones only.
    if (const auto track = is.io ? is.io->SubpictureTrack() : std::nullopt) {
        AttachSubpictureTrack(*ic, *track);
        is.subtitlesForcedOnly = track->forcedOnly;
    }
    if (GeneratePTS) {
        ic->flags |= AVFMT_FLAG_GENPTS;
    }
    {
        std::lock_guard lock(CodecLock());
        if (avformat_find_stream_info(ic, nullptr) < 0) {
            Report(llQuiet, StringPrintf("%s: could not find codec parameters", is.url.c_str()),
                   true);
            return false;
        }
    }
    if (ic->pb) {
        ic->pb->eof_reached = 0;
    }
    if (SeekByBytes < 0) {
        SeekByBytes = (ic->iformat->flags & AVFMT_TS_DISCONT) ? 1 : 0;
    }
    const std::string formatName = ic->iformat->name;
    is.imageSequence = formatName == "image2";
    is.liveCapture = formatName == "vfwcap" || formatName == "vfwcapture";
    is.startTime = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;
    is.duration = ic->duration != AV_NOPTS_VALUE ? ic->duration : -1;
    if (const auto window = is.io ? is.io->Window() : std::nullopt;
        window && window->lengthUs > 0) {
        is.windowEndUs = (window->startUs >= 0 ? window->startUs : is.startTime) + window->lengthUs;
        is.duration = is.windowEndUs - is.startTime;
    }

    if (StartTime != kNoTimestamp) {
        int64_t target = StartTime;
        if (ic->start_time != AV_NOPTS_VALUE) {
            target += ic->start_time;
        }
        if (avformat_seek_file(ic, -1, INT64_MIN, target, INT64_MAX, 0) < 0) {
            Report(llError,
                   StringPrintf("%s: could not seek to position %0.3f", is.url.c_str(),
                                target / 1000000.0),
                   false);
        }
    }

    // Streams: the wanted ordinal of each type, else the library's best stream of the type.
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        ic->streams[i]->discard = AVDISCARD_ALL;
    }
    auto choose = [&](AVMediaType type, int related) {
        const int wanted = WantedStream[type];
        if (wanted >= 0) {
            int counter = 0;
            for (unsigned i = 0; i < ic->nb_streams; ++i) {
                if (ic->streams[i]->codecpar->codec_type == type && counter++ == wanted) {
                    return static_cast<int>(i);
                }
            }
            return -1;
        }
        const int best = av_find_best_stream(ic, type, -1, related, nullptr, 0);
        return best >= 0 ? best : -1;
    };
    const int videoChoice = DisableVideo ? -1 : choose(AVMEDIA_TYPE_VIDEO, -1);
    const int audioChoice = DisableAudio ? -1 : choose(AVMEDIA_TYPE_AUDIO, videoChoice);
    const int subtitleChoice = DisableVideo ? -1 : choose(AVMEDIA_TYPE_SUBTITLE, videoChoice);
    if (audioChoice >= 0) {
        ComponentOpen(is, audioChoice);
    }
    if (videoChoice >= 0) {
        ComponentOpen(is, videoChoice);
    }
    if (subtitleChoice >= 0) {
        ComponentOpen(is, subtitleChoice);
    }
    if (!is.videoStream && !DisableDisplay) {
        is.showAudio = 2;
    }
    if (!is.videoStream && !is.audioStream) {
        Report(llQuiet,
               StringPrintf("%s: could not open codecs, no stream to play.", is.url.c_str()), true);
        return false;
    }
    return true;
}

void TCustomPlayer::ReadLoop(TPlaybackState& is) {
    AVFormatContext* ic = is.input.get();
    AvPacketPtr pkt = MakePacket();
    while (!is.abortRequest) {
        if (is.paused != is.lastPaused) {
            is.lastPaused = is.paused;
            is.readPauseResult = is.paused ? av_read_pause(ic) : av_read_play(ic);
        }
        if (is.seekPending) {
            DoSeek(is);
        }
        const int audioBytes = is.audioQueue ? is.audioQueue->Bytes() : 0;
        const int videoBytes = is.videoQueue ? is.videoQueue->Bytes() : 0;
        const int subBytes = is.subtitleQueue ? is.subtitleQueue->Bytes() : 0;
        const bool audioFull = !is.audioQueue || audioBytes > kMaxAudioQueueBytes;
        const bool videoFull = !is.videoQueue || is.videoQueue->Count() > kMinFrames;
        const bool subFull = !is.subtitleQueue || is.subtitleQueue->Count() > kMinFrames;
        if (audioBytes + videoBytes + subBytes > kMaxQueueBytes ||
            (audioFull && videoFull && subFull)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if ((ic->pb && avio_feof(ic->pb)) || is.ownEnd) {
            if (is.videoQueue && is.videoQueue->Count() == 0) {
                AvPacketPtr empty = MakePacket();
                empty->stream_index = is.videoIndex;
                is.videoQueue->Put(empty.get());
                pictureProduced_.Set();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if ((!is.audioQueue || is.audioQueue->Bytes() == 0) &&
                (!is.videoQueue || is.videoQueue->Bytes() <= TPacketQueue::kNodeBytes) &&
                (!is.subtitleQueue || is.subtitleQueue->Bytes() == 0)) {
                // The picture queue holds at most the empty packet just put.
                is.endOfInput = true;
            }
            continue;
        }
        is.reading = true;
        const int ret = av_read_frame(ic, pkt.get());
        is.reading = false;
        if (is.abortRequest) {
            break;
        }
        if (ret >= 0 && pkt->pts != AV_NOPTS_VALUE && is.windowEndUs != INT64_MAX &&
            av_compare_ts(pkt->pts, ic->streams[pkt->stream_index]->time_base, is.windowEndUs,
                          AV_TIME_BASE_Q) >= 0) {
            av_packet_unref(pkt.get());
            continue;
        }
        if (ret >= 0) {
            if (pkt->stream_index == is.audioIndex) {
                is.audioQueue->Put(pkt.get());
            } else if (pkt->stream_index == is.videoIndex) {
                is.videoQueue->Put(pkt.get());
            } else if (pkt->stream_index == is.subtitleIndex) {
                is.subtitleQueue->Put(pkt.get());
            }
            av_packet_unref(pkt.get());
            continue;
        }
        if (ret == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (is.videoStream) {
            pictureProduced_.Set();
        }
        if (!is.imageSequence && !is.endLogged) {
            is.endLogged = true;
            if (ret == AVERROR_EOF) {
                FFLogger()->LogFmt(this, llInfo, "reach end of file: %s", is.url.c_str());
            } else {
                FFLogger()->LogFmt(this, llError, "error #%d while reading file: %s", ret,
                                   is.url.c_str());
            }
        }
        // An input that cannot be read on ends here like one at its end: what is queued still
        // plays, the end is reported, and a seek tries reading again.
        is.ownEnd = true;
        if (ret != AVERROR_EOF) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
}

void TCustomPlayer::ReadCleanup(TPlaybackState& is) {
    if (is.audioIndex >= 0) {
        ComponentClose(is, is.audioIndex);
    }
    if (is.videoIndex >= 0) {
        ComponentClose(is, is.videoIndex);
    }
    if (is.subtitleIndex >= 0) {
        ComponentClose(is, is.subtitleIndex);
    }
    is.input.reset();
    is.io.reset();
}

int TCustomPlayer::ComponentOpen(TPlaybackState& is, int index) {
    AVFormatContext* ic = is.input.get();
    if (index < 0 || index >= static_cast<int>(ic->nb_streams)) {
        return -1;
    }
    AVStream* st = ic->streams[index];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    AvCodecContextPtr dec(codec ? avcodec_alloc_context3(codec) : nullptr);
    bool ok = false;
    if (dec && avcodec_parameters_to_context(dec.get(), st->codecpar) >= 0) {
        dec->pkt_timebase = st->time_base;
        dec->workaround_bugs = 1;
        dec->err_recognition = AV_EF_CRCCHECK;
        dec->error_concealment = 3;
        dec->idct_algo = FF_IDCT_AUTO;
        dec->thread_count = 1;
        std::lock_guard lock(CodecLock());
        ok = avcodec_open2(dec.get(), codec, nullptr) >= 0;
    }
    if (!ok) {
        Report(llError, "avcodec_open() failed.", false);
        return -1;
    }
    const AVMediaType type = st->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO) {
        const int channels = dec->ch_layout.nb_channels;
        SDL_AudioSpec wanted{}, got{};
        wanted.freq = dec->sample_rate;
        wanted.format = AUDIO_S16SYS;
        wanted.channels = static_cast<Uint8>(channels == 1 ? 1 : 2);
        wanted.silence = 0;
        wanted.samples = 1024;
        wanted.callback = &TCustomPlayer::AudioCallback;
        wanted.userdata = &is;
        is.audioDevice = SDL_OpenAudioDevice(nullptr, 0, &wanted, &got, 0);
        if (!is.audioDevice || got.format != AUDIO_S16SYS) {
            if (is.audioDevice) {
                SDL_CloseAudioDevice(is.audioDevice);
                is.audioDevice = 0;
            }
            Report(llError, std::string("SDL_OpenAudio() failed: ") + SDL_GetError(), false);
            std::lock_guard lock(CodecLock());
            dec.reset();
            return -1;
        }
        is.hwBufSize = static_cast<int>(got.size);
        is.audioRate = got.freq;
        is.audioChannels = got.channels;
        is.audioIndex = index;
        is.audioStream = st;
        is.audioDec = std::move(dec);
        is.audioDuration = st->duration != AV_NOPTS_VALUE
                               ? av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q)
                               : -1;
        is.outSize = 0;
        is.outIndex = 0;
        is.diffCoef = std::exp(std::log(0.01) / 20);
        is.diffCount = 0;
        is.diffThreshold = 2.0 * 1024 / is.audioRate;
        is.audioPkt = MakePacket();
        is.audioFrame = MakeFrame();
        is.silence.assign(1024, 0);
        is.audioQueue = std::make_unique<TPacketQueue>();
        st->discard = AVDISCARD_DEFAULT;
        // The device starts once the title is open (the callback reads the player's title).
    } else if (type == AVMEDIA_TYPE_VIDEO) {
        is.videoIndex = index;
        is.videoStream = st;
        is.videoDec = std::move(dec);
        is.videoQueue = std::make_unique<TPacketQueue>();
        st->discard = AVDISCARD_DEFAULT;
        TPlaybackState* raw = &is;
        is.videoThread = std::thread([this, raw] { VideoThreadMain(raw); });
    } else if (type == AVMEDIA_TYPE_SUBTITLE) {
        is.subtitleIndex = index;
        is.subtitleStream = st;
        is.subtitleDec = std::move(dec);
        is.subtitleQueue = std::make_unique<TPacketQueue>();
        st->discard = AVDISCARD_DEFAULT;
        TPlaybackState* raw = &is;
        is.subtitleThread = std::thread([this, raw] { SubtitleThreadMain(raw); });
    } else {
        std::lock_guard lock(CodecLock());
        dec.reset();
    }
    return 0;
}

void TCustomPlayer::ComponentClose(TPlaybackState& is, int index) {
    AVStream* st = is.input->streams[index];
    AvCodecContextPtr* dec = nullptr;
    switch (st->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        is.videoQueue->Abort();
        {
            std::lock_guard lock(is.pictLock);
            is.pictCond.notify_all();
        }
        if (is.videoThread.joinable()) {
            is.videoThread.join();
        }
        is.videoQueue->Flush();
        dec = &is.videoDec;
        is.videoStream = nullptr;
        is.videoIndex = -1;
        break;
    case AVMEDIA_TYPE_AUDIO:
        is.audioQueue->Abort();
        SDL_CloseAudioDevice(is.audioDevice);
        is.audioDevice = 0;
        is.audioQueue->Flush();
        is.swr.reset();
        dec = &is.audioDec;
        is.audioStream = nullptr;
        is.audioIndex = -1;
        is.audioDuration = -1;
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        is.subtitleQueue->Abort();
        {
            std::lock_guard lock(is.subLock);
            is.subStreamChanged = true;
            is.subCond.notify_all();
        }
        if (is.subtitleThread.joinable()) {
            is.subtitleThread.join();
        }
        is.subtitleQueue->Flush();
        dec = &is.subtitleDec;
        is.subtitleStream = nullptr;
        is.subtitleIndex = -1;
        break;
    default:
        return;
    }
    st->discard = AVDISCARD_ALL;
    std::lock_guard lock(CodecLock());
    dec->reset();
}

void TCustomPlayer::StreamClose(TPlaybackState& is) {
    is.abortRequest = true;
    if (is.readThread.joinable()) {
        is.readThread.join();
    }
    if (is.refreshThread.joinable()) {
        is.refreshThread.join();
    }
    for (TPictureEntry& e : is.pictq) {
        std::lock_guard lock(e.overlayLock);
        e.overlay.reset();
    }
}

void TCustomPlayer::RequestSeek(TPlaybackState& is, int flags, bool wait, int64_t distance,
                                int64_t target) {
    if (is.seekPending) {
        return;
    }
    seeking_ = true;
    is.seekWhilePaused = static_cast<bool>(is.paused);
    is.showWhilePaused = true;
    is.seekTarget = target;
    is.seekDistance = distance;
    is.seekFlags = flags & 0xF;
    seekDone_.Reset();
    is.seekPending = true;
    if (!wait) {
        return;
    }
    TPlaybackState* raw = &is;
    WaitSliced([this, raw] { return seekDone_.IsSet() || title_ != raw; }, 100);
    if (title_ == raw && is.videoStream) {
        WaitSliced([this, raw] { return pictureProduced_.IsSet() || title_ != raw; }, 100);
    }
}

void TCustomPlayer::DoSeek(TPlaybackState& is) {
    AVFormatContext* ic = is.input.get();
    const int64_t target = is.seekTarget;
    const int64_t distance = is.seekDistance;
    const int64_t low = distance > 0 ? target - distance + 2 : INT64_MIN;
    const int64_t high = distance < 0 ? target - distance - 2 : INT64_MAX;
    int ret = avformat_seek_file(ic, -1, low, target, high, is.seekFlags);
    if (ret < 0) {
        ret = av_seek_frame(ic, -1, target, is.seekFlags);
    }
    if (ret < 0) {
        ret = av_seek_frame(ic, -1, target, is.seekFlags ^ AVSEEK_FLAG_BACKWARD);
    }
    if (ret < 0) {
        Report(llError, StringPrintf("%s: error while seeking", is.url.c_str()), false);
        if (is.videoStream) {
            pictureProduced_.Set();
        }
    } else {
        // Cleared before the markers go in: the picture thread may take its marker at once.
        if (is.videoStream) {
            is.flushSeen = false;
            pictureProduced_.Reset();
        }
        for (TPacketQueue* q : {is.audioQueue.get(), is.videoQueue.get(), is.subtitleQueue.get()}) {
            if (q) {
                q->Flush();
                q->PutFlush();
            }
        }
    }
    is.endLogged = false;
    is.endOfInput = false;
    is.endReported = false;
    is.seekPending = false;
    is.seekCompleted = true;
    is.showWhilePaused = true;
    seekDone_.Set();
    if (!is.videoStream) {
        seeking_ = false;
    }
    is.ownEnd = false;
}

void TCustomPlayer::TogglePause(TPlaybackState& is) {
    if (!seekDone_.WaitFor(std::chrono::milliseconds(250))) {
        seekDone_.Set();
    }
    if (title_ != &is && title_ != nullptr) {
        return;
    }
    if (is.paused) {
        const double now = PlayerNow();
        is.frameTimer += now + is.currentPtsDrift - is.currentPts;
        if (is.readPauseResult != AVERROR(ENOSYS)) {
            is.currentPts = is.currentPtsDrift + now;
        }
        is.currentPtsDrift = is.currentPts - now;
        is.paused = false;
    } else {
        if (is.videoStream && !pictureProduced_.WaitFor(std::chrono::milliseconds(250))) {
            pictureProduced_.Set();
        }
        is.paused = true;
    }
}

double TCustomPlayer::AudioClockOf(const TPlaybackState& is) {
    if (!is.audioStream || is.audioRate <= 0) {
        return 0;
    }
    const TPlaybackState::THandedSound handed = is.Handed();
    double clock = handed.end;
    // The samples after the last buffer go out with the next callback, one device buffer later:
    // between callbacks the clock moves on from one buffer behind.
    if (handed.time && !is.paused && is.hwBufSize > 0) {
        const double buffer = is.hwBufSize / (is.audioRate * 2.0 * is.audioChannels);
        const double since = (av_gettime_relative() - handed.time) / 1000000.0;
        clock += std::min(since, buffer) - buffer;
    }
    return clock;
}

double TCustomPlayer::VideoClockOf(const TPlaybackState& is) {
    if (is.paused) {
        return is.currentPts;
    }
    if (is.currentPtsDrift != 0) {
        return PlayerNow() + is.currentPtsDrift;
    }
    return is.startTime / 1000000.0;
}

double TCustomPlayer::MasterClockOf(const TPlaybackState& is) {
    if (is.syncType == 1) {
        return is.videoStream ? VideoClockOf(is) : AudioClockOf(is);
    }
    if (is.syncType == 0) {
        return is.audioStream ? AudioClockOf(is) : VideoClockOf(is);
    }
    return VideoClockOf(is); // no external clock is ever stored here
}

double TCustomPlayer::AudioClock() const {
    TPlaybackState* is = title_;
    return is ? AudioClockOf(*is) : 0;
}
double TCustomPlayer::VideoClock() const {
    TPlaybackState* is = title_;
    return is ? VideoClockOf(*is) : 0;
}
double TCustomPlayer::MasterClock() const {
    TPlaybackState* is = title_;
    return is ? MasterClockOf(*is) : 0;
}

} // namespace quovo
