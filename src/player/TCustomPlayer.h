// The preview player: plays one media file or "opendvd:" title into a video output area (the Qt
// video widget of the owner's panel) with its sound on an SDL audio device.
//
// This folder owns the component (this header and TFFPlayer.h), the playback pipeline behind an
// open title (TPlaybackState: reading, packet queues, decoders, clocks, seeking, pausing) and the
// picture and sound output (timing, dropping, placement, subpictures, the sound callback with
// volume and mute, the waveform and spectrum of titles without pictures). It uses the engine and
// the probe, and SDL for sound only; no Qt below the video widget (TVideoWidget.h).
//
// Threads entering a player: the owner's thread (the operations), the play thread (output and
// display, closing on quit), the event thread (position and state events), and per title the
// read, refresh, picture and subtitle threads and SDL's sound thread. OnFileOpen, OnPosition and
// OnState reach the owner on the main thread when TriggerEventInMainThread is set; OnHook runs
// on the picture thread. One player in the process has a title open at a time: opening one stops
// the other first, waiting for it.
#pragma once

#include "TAVProbe.h"
#include "TFFBaseComponent.h"
#include "TLogLevel.h"
#include "TManualResetEvent.h"
#include "TPictureConverter.h"
#include "TPlayerEventRing.h"
#include "TPlayerTypes.h"
#include "TSoundDisplay.h"
#include "TVideoOutput.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace quovo {

struct TPlaybackState;
struct TPictureEntry;

constexpr int64_t kNoTimestamp = INT64_MIN;

class TCustomPlayer : public TFFBaseComponent {
public:
    TCustomPlayer();
    ~TCustomPlayer() override;
    const char* ClassName() const override { return "TCustomPlayer"; }

    std::string About() const { return about_; }
    void SetAbout(const std::string& text) { about_ = text; }
    static const char* Version() { return "2.3"; }

    // --- operations (owner's thread)
    bool LibrariesLoaded() const;
    bool LoadLibraries(const std::string& folder);
    // Opens `url` into `window` (null: no picture output area) and starts playing, or stops after
    // the first picture when startPaused. Returns false with LastError set.
    bool Open(const std::string& url, TVideoOutput* window, bool startPaused = false);
    void Stop(bool wait);
    void Pause();
    void Resume();
    void Seek(TSeekFlags flags, bool wait, int64_t pts);
    void SeekRelative(TSeekFlags flags, bool wait, double seconds);
    // The picture on display at the decoded size (0 x 0 without pictures) and its pts (us, -1
    // without pictures). The player owns it until the next call.
    TPicture& CurrentFrame(int64_t& pts);
    TPicture& CurrentFrame();

    // --- events (assign on the owner's thread; read when raised)
    void SetOnFileOpen(TFileOpenEvent e);
    void SetOnHook(THookEvent e);
    void SetOnPosition(TPositionEvent e);
    void SetOnState(TPlayStateEvent e);

    // --- state
    int64_t Position() const { return position_; }
    TPlayState State() const { return state_; }
    std::string LastError() const;
    TAVProbe& AVProbe() { return probe_; }
    bool Paused() const;
    bool Seeking() const { return seeking_; }
    bool IsOpen() const;
    // Pictures dropped late since the player was created.
    int64_t DroppedPictures() const { return droppedPictures_; }

    // --- properties
    float AspectRatio() const { return aspectRatio_; }
    // SDL's sound driver for the next Open (the default leaves the environment's choice).
    TAudioDriver AudioDriver = adDefault;
    // Kept for the owner's settings only: pictures are scaled here and drawn by Qt into the video
    // widget, so there is no video driver to choose; every value plays as the default.
    TVideoDriver VideoDriver = vdDefault;
    int AudioVolume() const { return audioVolume_; }
    void SetAudioVolume(int volume);
    bool DisableAudio = false;
    bool DisableVideo = false;
    bool DisableDisplay = false;
    bool Mute() const { return mute_; }
    void SetMute(bool mute) { mute_ = mute; }
    int FrameWidth = 0;
    int FrameHeight = 0;
    bool Hook() const { return hook_; }
    void SetHook(bool hook) { hook_ = hook; }
    int ScreenWidth() const { return screenWidth_; }
    int ScreenHeight() const { return screenHeight_; }
    void SetScreenSize(int width, int height);
    bool TriggerEventInMainThread = true;

    // --- playback settings (set at creation; reset when a title closes)
    int SyncType = 0;
    int SeekByBytes = -1;
    int64_t StartTime = kNoTimestamp;
    int64_t PlayDuration = kNoTimestamp;
    int EndAction = 1;
    bool FlipVertical = false;
    bool GeneratePTS = false;
    int FrameDrop = 1;
    int DecoderReorderPTS = -1;
    int WantedStream[5] = {-1, -1, -1, -1, -1};
    AVPixelFormat FramePixelFormat = AV_PIX_FMT_NONE;
    int ScalerFlags = SWS_BICUBIC;
    std::string VideoFilters;
    int AudioDisplayMode = 1;
    int AudioDisplayPeriodMs = 20;
    bool FullScreen = false;

    // Wall-clock (monotonic, us) observers of what goes out, for measuring synchronisation: the
    // picture shown and when, the sound handed to the device and when. Called on the play thread
    // and SDL's sound thread; set them while no title is open.
    std::function<void(const TOutputImage& image, double pts, int64_t shownUs)> OnPictureShown;
    std::function<void(const uint8_t* samples, int bytes, int rate, int channels, int64_t handedUs)>
        OnSoundOut;

protected:
    void SetAspectRatioValue(float value);

private:
    friend struct TPlayerAccess;
    // --- component (TCustomPlayer.cpp)
    void Report(TLogLevel level, const std::string& text, bool fatal);
    void FileOpenStep();
    void PostState(TPlayState state);
    void PostPosition(int64_t pts);
    void EventThreadMain();
    void PlayThreadMain();
    void CloseTitle();
    void ResetSettings();
    void UpdatePosition();
    void RunHook(AVFrame& overlay, double pts);
    void WaitPlayThread();
    void JoinThreads();
    void PushPlayEvent(int kind, int width = 0, int height = 0);
    void RaiseInMainThread(const std::function<void()>& proc);

    // --- pipeline (TCustomPlayerRead.cpp)
    bool StreamOpen(const std::string& url, bool startPaused);
    void StreamClose(TPlaybackState& is);
    void ReadThreadMain(TPlaybackState* is);
    bool ReadSetUp(TPlaybackState& is);
    void ReadLoop(TPlaybackState& is);
    void ReadCleanup(TPlaybackState& is);
    int ComponentOpen(TPlaybackState& is, int index);
    void ComponentClose(TPlaybackState& is, int index);
    void RequestSeek(TPlaybackState& is, int flags, bool wait, int64_t distance, int64_t target);
    void DoSeek(TPlaybackState& is);
    void TogglePause(TPlaybackState& is);
    void WaitSliced(const std::function<bool()>& done, int sliceMs);

public:
    // Clocks of the open title in seconds (0 without one).
    double AudioClock() const;
    double VideoClock() const;
    double MasterClock() const;

private:
    static double AudioClockOf(const TPlaybackState& is);
    static double VideoClockOf(const TPlaybackState& is);
    static double MasterClockOf(const TPlaybackState& is);

    // --- pictures (TCustomPlayerVideo.cpp)
    void VideoThreadMain(TPlaybackState* is);
    int DecodePicture(TPlaybackState& is, AVFrame& frame, AVPacket*& pending, bool& draining);
    int QueuePicture(TPlaybackState& is, AVFrame& frame, double pts, int64_t pos);
    double ComputeTargetTime(TPlaybackState& is, double pts);
    void SubtitleThreadMain(TPlaybackState* is);
    void RefreshThreadMain(TPlaybackState* is);
    void Refresh(TPlaybackState& is, bool fromTimer);
    // Shows `entry` (null: the picture last shown again) or the sound display.
    void Display(TPlaybackState& is, TPictureEntry* entry = nullptr);
    void DisplayPicture(TPlaybackState& is, TPictureEntry* entry);
    void Present(std::shared_ptr<TOutputImage> image, double pts);
    void AllocatePicture(TPlaybackState& is);
    void OpenOutput(TPlaybackState& is, bool forced);

    // --- sound (TCustomPlayerAudio.cpp)
    static void AudioCallback(void* opaque, uint8_t* stream, int len);
    void FillAudio(TPlaybackState& is, uint8_t* stream, int len);
    int DecodeAudio(TPlaybackState& is, double& pts);
    int SynchronizeAudio(TPlaybackState& is, int size);
    void DisplayAudio(TPlaybackState& is);

    std::string about_;
    std::atomic<float> aspectRatio_{0};
    std::atomic<int> audioVolume_{128};
    std::atomic<bool> mute_{false};
    std::atomic<bool> hook_{false};
    std::atomic<int> screenWidth_{0}, screenHeight_{0};

    mutable std::mutex handlerLock_;
    TFileOpenEvent onFileOpen_;
    THookEvent onHook_;
    TPositionEvent onPosition_;
    TPlayStateEvent onState_;

    std::atomic<int64_t> position_{-1};
    std::atomic<TPlayState> state_{psStop};
    mutable std::mutex errorLock_;
    std::string lastError_;
    TAVProbe probe_;
    std::atomic<bool> seeking_{false};
    std::atomic<int64_t> droppedPictures_{0};
    std::mutex positionLock_;
    int64_t lastPosted_ = kNoTimestamp; // --- guarded by positionLock_

    std::string url_;
    TVideoOutput* window_ = nullptr;
    int64_t displayWidth_ = 0;

    // The open title: set by the stream open, cleared by the close (under playerLock_).
    std::recursive_timed_mutex playerLock_;
    std::atomic<TPlaybackState*> title_{nullptr};
    std::unique_ptr<TPlaybackState> retired_; // a closed title, freed on the owner's thread
    std::atomic<bool> eventThreadDone_{true};
    TManualResetEvent seekDone_{true}, pictureProduced_{true}, playFinished_{true};
    TPlayerEventRing ring_;

    std::mutex playEventLock_;
    std::condition_variable playEventCond_;
    struct TPlayEvent {
        int kind;
        int width;
        int height;
    };
    std::deque<TPlayEvent> playEvents_; // --- guarded by playEventLock_
    std::thread playThread_, eventThread_;

    std::mutex snapshotLock_;
    TPictureConverter snapshot_;
    TPictureConverter hookConverter_;
    SwsContextPtr displayScaler_; // play thread
    std::mutex shownLock_;
    AvFramePtr shown_; // the picture on display (YUV 4:2:0)
    double shownPts_ = 0;
    AvFramePtr blendFrame_;
    std::unique_ptr<TSoundDisplay> soundDisplay_; // play thread
};

// Media-layer user events the pipeline pushes to the play thread.
enum : int {
    kPlayEventResize = 16,
    kPlayEventExpose = 17,
    kPlayEventAllocate = 24,
    kPlayEventRefresh = 25,
    kPlayEventQuit = 26,
    kPlayEventReopen = 27
};

} // namespace quovo
