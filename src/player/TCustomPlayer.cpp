#include "TCustomPlayer.h"

#include "MainThread.h"
#include "MyUtils.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TPlaybackState.h"

#include <SDL2/SDL.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace quovo {
namespace {

// The player that has a title open in this process, if any.
std::mutex g_openPlayerLock;
TCustomPlayer* g_openPlayer = nullptr;

int64_t ToMicroseconds(double seconds) {
    return std::llround(seconds * 1000000.0);
}

} // namespace

const char* AudioDriverName(TAudioDriver driver) {
    switch (driver) {
    case adPulseAudio:
        return "pulseaudio";
    case adPipeWire:
        return "pipewire";
    case adAlsa:
        return "alsa";
    case adDummy:
        return "dummy";
    case adDisk:
        return "disk";
    default:
        return "";
    }
}

TCustomPlayer::TCustomPlayer() {
    ResetSettings();
}

TCustomPlayer::~TCustomPlayer() {
    {
        std::lock_guard lock(handlerLock_);
        onPosition_ = nullptr;
        onState_ = nullptr;
        onHook_ = nullptr;
    }
    Stop(true);
    std::lock_guard lock(g_openPlayerLock);
    if (g_openPlayer == this) {
        g_openPlayer = nullptr;
    }
}

void TCustomPlayer::Report(TLogLevel level, const std::string& text, bool fatal) {
    if (fatal) {
        std::lock_guard lock(errorLock_);
        lastError_ = text;
    }
    if (level != llQuiet) {
        FFLogger()->Log(this, level, text);
    }
}

std::string TCustomPlayer::LastError() const {
    std::lock_guard lock(errorLock_);
    return lastError_;
}

bool TCustomPlayer::LibrariesLoaded() const {
    return FFLoader().LibrariesLoaded(PlayerLibraryMask);
}

bool TCustomPlayer::LoadLibraries(const std::string& folder) {
    FFLoader().SetLibraryPath(folder);
    if (FFLoader().LoadLibraries(PlayerLibraryMask)) {
        return true;
    }
    Report(llQuiet, FFLoader().LastLoadError(), true);
    return false;
}

void TCustomPlayer::SetOnFileOpen(TFileOpenEvent e) {
    std::lock_guard lock(handlerLock_);
    onFileOpen_ = std::move(e);
}
void TCustomPlayer::SetOnHook(THookEvent e) {
    std::lock_guard lock(handlerLock_);
    onHook_ = std::move(e);
}
void TCustomPlayer::SetOnPosition(TPositionEvent e) {
    std::lock_guard lock(handlerLock_);
    onPosition_ = std::move(e);
}
void TCustomPlayer::SetOnState(TPlayStateEvent e) {
    std::lock_guard lock(handlerLock_);
    onState_ = std::move(e);
}

void TCustomPlayer::SetAudioVolume(int volume) {
    audioVolume_ = std::clamp(volume, 0, SDL_MIX_MAXVOLUME);
}

void TCustomPlayer::SetScreenSize(int width, int height) {
    screenWidth_ = width;
    screenHeight_ = height;
}

void TCustomPlayer::SetAspectRatioValue(float value) {
    if (aspectRatio_ == value) {
        return;
    }
    aspectRatio_ = value;
    if (title_) {
        PushPlayEvent(kPlayEventReopen);
    }
}

bool TCustomPlayer::IsOpen() const {
    return title_ != nullptr;
}

bool TCustomPlayer::Paused() const {
    TPlaybackState* is = title_;
    return !is || is->paused;
}

void TCustomPlayer::RaiseInMainThread(const std::function<void()>& proc) {
    if (TriggerEventInMainThread) {
        RunInMainThread(proc);
    } else {
        proc();
    }
}

bool TCustomPlayer::Open(const std::string& url, TVideoOutput* window, bool startPaused) {
    if (!LibrariesLoaded()) {
        Report(llError, "libav or libsdl not loaded.", true);
        return false;
    }
    Stop(true);
    TCustomPlayer* other = nullptr;
    {
        std::lock_guard lock(g_openPlayerLock);
        other = g_openPlayer != this ? g_openPlayer : nullptr;
    }
    if (other) {
        other->Stop(true);
    }
    {
        std::lock_guard lock(playerLock_);
        retired_.reset();
    }

    // The default driver leaves SDL_AUDIODRIVER as the environment has it.
    if (const char* name = AudioDriverName(AudioDriver); *name) {
        setenv("SDL_AUDIODRIVER", name, 1);
    }
    // SDL's sound brings its event layer, which would turn SIGINT and SIGTERM into quit events
    // nobody reads: the program must still end on them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO | SDL_INIT_TIMER) != 0) {
        Report(llError,
               StringPrintf("Could not initialize SDL with ScreenHandle(%u): %s",
                            static_cast<unsigned>(reinterpret_cast<uintptr_t>(window)),
                            SDL_GetError()),
               true);
        return false;
    }
    if (const char* driver = SDL_GetCurrentAudioDriver()) {
        FFLogger()->LogFmt(this, llDebug, "using audio driver: %s", driver);
    }
    if (DisableDisplay) {
        DisableVideo = true;
    }
    window_ = DisableDisplay ? nullptr : window;
    url_ = url;
    {
        std::lock_guard lock(g_openPlayerLock);
        g_openPlayer = this;
    }
    if (!StreamOpen(url, startPaused)) {
        window_ = nullptr;
        SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_TIMER);
        std::lock_guard lock(g_openPlayerLock);
        if (g_openPlayer == this) {
            g_openPlayer = nullptr;
        }
        return false;
    }
    TPlaybackState* is = title_;
    probe_.Attach(is->input.get());
    if (TriggerEventInMainThread && !IsMainThread()) {
        RunInMainThread([this] { FileOpenStep(); });
    } else {
        FileOpenStep();
    }
    if (window_) {
        window_->SetResizeHandler([this](int w, int h) { PushPlayEvent(kPlayEventResize, w, h); });
    }
    playFinished_.Reset();
    eventThreadDone_ = false;
    ring_.Clear();
    eventThread_ = std::thread([this] { EventThreadMain(); });
    playThread_ = std::thread([this] { PlayThreadMain(); });
    return true;
}

void TCustomPlayer::FileOpenStep() {
    {
        std::lock_guard lock(snapshotLock_);
        snapshot_.Reset();
        hookConverter_.Reset();
    }
    {
        std::lock_guard lock(shownLock_);
        shown_.reset();
    }
    TPlaybackState* is = title_;
    TFileOpenEvent handler;
    {
        std::lock_guard lock(handlerLock_);
        handler = onFileOpen_;
    }
    int sw = screenWidth_, sh = screenHeight_;
    if (handler && is) {
        int fw = -1, fh = -1;
        if (is->videoStream && is->videoStream->codecpar->width > 0) {
            fw = is->videoStream->codecpar->width;
            fh = is->videoStream->codecpar->height;
        }
        const int64_t duration = is->imageSequence ? 0 : is->duration;
        handler(this, duration, fw, fh, sw, sh);
    }
    if (window_ && (sw == 0 || sh == 0)) {
        window_->OutputSize(sw, sh);
    }
    SetScreenSize(sw, sh);
}

void TCustomPlayer::Stop(bool wait) {
    TPlaybackState* is = title_;
    if (is) {
        if (is->paused) {
            TogglePause(*is);
        }
        PushPlayEvent(kPlayEventQuit);
        if (wait) {
            WaitPlayThread();
        }
    }
    if (wait) {
        JoinThreads();
    }
}

void TCustomPlayer::WaitPlayThread() {
    int passes = 1;
    for (;;) {
        if (playFinished_.WaitFor(std::chrono::milliseconds(100))) {
            return;
        }
        if (IsMainThread()) {
            DrainMainThreadQueue();
        }
        if (!title_) {
            return;
        }
        std::unique_lock lock(playerLock_, std::defer_lock);
        if (!lock.try_lock_for(std::chrono::milliseconds(100))) {
            continue;
        }
        TPlaybackState* is = title_;
        if (!is) {
            return;
        }
        ++passes;
        const int limit = is->reading ? 10 : 20;
        if (passes <= limit) {
            PushPlayEvent(kPlayEventQuit);
            continue;
        }
        CloseTitle(); // the play thread does not answer: close here
        return;
    }
}

void TCustomPlayer::JoinThreads() {
    if (playThread_.joinable()) {
        while (!playFinished_.WaitFor(std::chrono::milliseconds(10))) {
            if (IsMainThread()) {
                DrainMainThreadQueue();
            }
        }
        playThread_.join();
    }
    if (eventThread_.joinable()) {
        // The event thread may be handing psStop to this (main) thread.
        while (!eventThreadDone_) {
            if (IsMainThread()) {
                WaitAndDrainMainThreadQueue(std::chrono::milliseconds(10));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        eventThread_.join();
    }
    {
        std::lock_guard lock(playEventLock_);
        playEvents_.clear();
    }
}

void TCustomPlayer::Pause() {
    TPlaybackState* is = title_;
    if (is && !is->paused) {
        TogglePause(*is);
        PostState(psPause);
    }
}

void TCustomPlayer::Resume() {
    TPlaybackState* is = title_;
    if (is && is->paused) {
        TogglePause(*is);
        PostState(psResume);
    }
}

void TCustomPlayer::Seek(TSeekFlags flags, bool wait, int64_t pts) {
    TPlaybackState* is = title_;
    if (!is) {
        return;
    }
    if (flags & sfByte) {
        RequestSeek(*is, flags, wait, 0, pts);
        return;
    }
    int64_t target = pts;
    if (is->duration > 0 && target > is->duration) {
        target = is->duration;
    }
    if (is->input->start_time != AV_NOPTS_VALUE) {
        target += is->input->start_time;
    }
    RequestSeek(*is, flags, wait, pts <= 0 ? 1 : 0, target);
}

void TCustomPlayer::SeekRelative(TSeekFlags flags, bool wait, double seconds) {
    TPlaybackState* is = title_;
    if (!is) {
        return;
    }
    if (flags & sfByte) {
        const double rate = is->input->bit_rate ? is->input->bit_rate / 8.0 : 180000.0;
        const double distance = seconds * rate;
        const double target = static_cast<double>(avio_tell(is->input->pb)) + distance;
        RequestSeek(*is, flags, wait, std::llround(distance), std::llround(target));
        return;
    }
    RequestSeek(*is, flags, wait, ToMicroseconds(seconds),
                ToMicroseconds(MasterClockOf(*is) + seconds));
}

TPicture& TCustomPlayer::CurrentFrame() {
    int64_t pts;
    return CurrentFrame(pts);
}

TPicture& TCustomPlayer::CurrentFrame(int64_t& pts) {
    std::lock_guard lock(snapshotLock_);
    TPicture& picture = snapshot_.Picture();
    TPlaybackState* is = title_;
    if (!is || !is->videoStream) {
        picture.SetSize(0, 0);
        pts = -1;
        return picture;
    }
    std::lock_guard shown(shownLock_);
    if (!shown_) {
        // Nothing shown yet: a black picture of the stream's size.
        picture.SetSize(is->videoStream->codecpar->width, is->videoStream->codecpar->height);
        std::memset(picture.RawBits(), 0, static_cast<size_t>(picture.Stride()) * picture.Height());
        pts = -1;
        return picture;
    }
    pts = ToMicroseconds(shownPts_) - is->startTime;
    if (!snapshot_.ToPicture(*shown_, AV_PIX_FMT_YUV420P, shown_->width, shown_->height)) {
        picture.SetSize(0, 0);
    } else {
        std::as_const(picture).Bits(); // converted now, while the picture is held
    }
    snapshot_.Unbind();
    return picture;
}

void TCustomPlayer::PostState(TPlayState state) {
    state_ = state;
    bool assigned;
    {
        std::lock_guard lock(handlerLock_);
        assigned = static_cast<bool>(onState_);
    }
    if (assigned) {
        ring_.Post({TPlayerEventKind::State, state, 0});
    } else if (state == psStop) {
        ring_.Post({TPlayerEventKind::Quit, state, 0});
    }
}

void TCustomPlayer::PostPosition(int64_t pts) {
    ring_.Post({TPlayerEventKind::Position, psPlay, pts});
}

void TCustomPlayer::EventThreadMain() {
    NamePlayerThread("player-events");
    for (;;) {
        std::optional<TPlayerEvent> e = ring_.Take();
        if (!e) {
            ring_.WaitAvailable();
            continue;
        }
        if (e->kind == TPlayerEventKind::Quit) {
            break;
        }
        if (e->kind == TPlayerEventKind::Position) {
            TPositionEvent handler;
            {
                std::lock_guard lock(handlerLock_);
                handler = onPosition_;
            }
            if (handler) {
                RaiseInMainThread([&] { handler(this, e->pts); });
            }
            continue;
        }
        TPlayStateEvent handler;
        {
            std::lock_guard lock(handlerLock_);
            handler = onState_;
        }
        if (handler) {
            RaiseInMainThread([&] { handler(this, e->state); });
        }
        if (e->state == psStop) {
            break;
        }
    }
    eventThreadDone_ = true;
}

void TCustomPlayer::PushPlayEvent(int kind, int width, int height) {
    {
        std::lock_guard lock(playEventLock_);
        playEvents_.push_back({kind, width, height});
    }
    playEventCond_.notify_one();
}

void TCustomPlayer::PlayThreadMain() {
    NamePlayerThread("player-play");
    PostState(psPlay);
    try {
        for (bool running = true; running;) {
            TPlayEvent event;
            {
                std::unique_lock lock(playEventLock_);
                playEventCond_.wait(lock, [this] { return !playEvents_.empty(); });
                event = playEvents_.front();
                playEvents_.pop_front();
            }
            std::lock_guard lock(playerLock_);
            TPlaybackState* is = title_;
            if (!is) {
                break;
            }
            switch (event.kind) {
            case kPlayEventQuit:
                CloseTitle();
                running = false;
                break;
            case kPlayEventResize:
                SetScreenSize(event.width, event.height);
                is->outputWidth = event.width;
                is->outputHeight = event.height;
                if (is->paused) {
                    Refresh(*is, false);
                }
                break;
            case kPlayEventExpose:
                if (is->paused) {
                    Refresh(*is, false);
                } else {
                    Display(*is);
                }
                break;
            case kPlayEventAllocate:
                OpenOutput(*is, false);
                AllocatePicture(*is);
                break;
            case kPlayEventRefresh:
                Refresh(*is, true);
                is->refreshPending = false;
                break;
            case kPlayEventReopen:
                OpenOutput(*is, true);
                Display(*is);
                break;
            default:
                break;
            }
        }
    } catch (const std::exception& e) {
        Report(llFatal, std::string("PlayThread Exception: ") + e.what(), false);
        std::lock_guard lock(playerLock_);
        CloseTitle();
    }
    PostState(psStop);
    playFinished_.Set();
}

void TCustomPlayer::CloseTitle() {
    std::lock_guard lock(playerLock_);
    TPlaybackState* is = title_;
    if (!is) {
        return;
    }
    if (window_) {
        window_->SetResizeHandler(nullptr);
    }
    StreamClose(*is);
    probe_.Attach(nullptr);
    title_ = nullptr;
    // Freed by the owner's thread at the next Open or at destruction: its operations may still
    // hold the pointer they read before the close.
    retired_.reset(is);
    window_ = nullptr;
    ResetSettings();
    SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_TIMER);
    std::lock_guard open(g_openPlayerLock);
    if (g_openPlayer == this) {
        g_openPlayer = nullptr;
    }
}

void TCustomPlayer::ResetSettings() {
    StartTime = kNoTimestamp;
    PlayDuration = kNoTimestamp;
    EndAction = 1;
    FlipVertical = false;
    for (int& w : WantedStream) {
        w = -1;
    }
    SeekByBytes = -1;
    position_ = -1;
    {
        std::lock_guard lock(positionLock_);
        lastPosted_ = kNoTimestamp;
    }
    seeking_ = false;
    seekDone_.Set();
}

void TCustomPlayer::UpdatePosition() {
    TPlaybackState* is = title_;
    if (!is || is->imageSequence) {
        return;
    }
    int64_t pos;
    if (is->videoStream) {
        pos = ToMicroseconds(VideoClockOf(*is)) - is->startTime;
    } else if (is->audioStream) {
        pos = ToMicroseconds(AudioClockOf(*is)) - is->startTime;
        if (is->audioDuration > 0 && pos >= is->audioDuration && pos < is->duration) {
            pos = is->duration;
        }
    } else {
        return;
    }
    {
        std::lock_guard lock(positionLock_);
        if (is->duration > 0 && pos >= is->duration) {
            pos = is->duration;
            if (lastPosted_ != is->duration) {
                lastPosted_ = kNoTimestamp;
            }
        }
        // The picture clock runs on past the last picture; the position stops at the end.
        position_ = pos;
        if (lastPosted_ == kNoTimestamp || std::llabs(pos - lastPosted_) > 10000) {
            lastPosted_ = pos;
            bool assigned;
            {
                std::lock_guard h(handlerLock_);
                assigned = static_cast<bool>(onPosition_);
            }
            if (assigned) {
                PostPosition(pos);
            }
        }
    }
    if (!is->liveCapture && !is->endReported && is->endOfInput) {
        // Once per end, with or without pictures; a seek re-arms it.
        is->endReported = true;
        PostState(psEnd);
    }
    if (PlayDuration != kNoTimestamp) {
        const int64_t end = StartTime == kNoTimestamp ? PlayDuration : StartTime + PlayDuration;
        if (pos >= end) {
            if (EndAction == 1) {
                Stop(false);
            } else if (EndAction == 2) {
                if (StartTime == kNoTimestamp) {
                    Seek(sfAny, false, 0);
                } else {
                    Seek(0, false, StartTime);
                }
            }
        }
    }
}

void TCustomPlayer::RunHook(AVFrame& overlay, double pts) {
    THookEvent handler;
    {
        std::lock_guard lock(handlerLock_);
        handler = onHook_;
    }
    if (!hook_ || !handler) {
        return;
    }
    if (!hookConverter_.ToPicture(overlay, AV_PIX_FMT_YUV420P, overlay.width, overlay.height)) {
        Report(llError, "Cannot initialize the toRGB conversion context", false);
        return;
    }
    TPicture& picture = hookConverter_.Picture();
    TPlaybackState* is = title_;
    const int64_t ptsUs = ToMicroseconds(pts) - (is ? is->startTime : 0);
    try {
        std::lock_guard canvas(picture.CanvasLock());
        handler(this, &picture, ptsUs);
    } catch (const std::exception& e) {
        hookConverter_.Unbind();
        Report(llError, std::string("Error occurs OnHook: ") + e.what(), false);
        return;
    } catch (...) {
        hookConverter_.Unbind();
        Report(llError, "Error occurs OnHook: unknown error", false);
        return;
    }
    // Written back only when the handler asked for writable bytes.
    if (picture.Modified() && !hookConverter_.FromPicture(overlay)) {
        Report(llError, "Cannot initialize the fromRGB conversion context", false);
    }
    hookConverter_.Unbind();
}

} // namespace quovo
