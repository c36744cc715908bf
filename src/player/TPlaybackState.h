// What runs behind one open title of a player: the input, the streams with their packet queues
// and decoders, the clocks, the picture and subpicture queues and the sound state. Allocated by
// the stream open, freed after the stream close.
//
// Threads: the read thread owns the input and the stream set-up; the picture thread, the
// subtitle thread and SDL's sound callback consume the queues; the play thread owns the output
// and the display. Cross-thread flags are atomics; the queues have their own locks.
#pragma once

#include "AvPtr.h"
#include "LibraryIO.h"
#include "TManualResetEvent.h"
#include "TPacketQueue.h"

#include <SDL2/SDL_audio.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quovo {

class TCustomPlayer;

// Seconds of the monotonic clock.
double PlayerNow();
// Names the calling thread for debuggers and profilers.
void NamePlayerThread(const char* name);

struct TPictureEntry {
    std::mutex overlayLock; // held while the overlay is written, blended or read
    AvFramePtr overlay;     // YUV 4:2:0 at the even-rounded filter output size
    int width = 0;
    int height = 0;
    AVRational sampleAspect{0, 1};
    // --- guarded by the picture queue's lock
    bool allocated = false;
    double targetTime = 0;
    // --- written by the picture thread before the entry is queued
    double pts = 0;
    int64_t pos = -1;
};

struct TSubpictureEntry {
    double pts = 0;
    AVSubtitle sub{};
    bool used = false;
    void Free() {
        if (used) {
            avsubtitle_free(&sub);
            used = false;
        }
    }
};

struct TPlaybackState {
    explicit TPlaybackState(TCustomPlayer* p) : player(p) {}
    ~TPlaybackState();
    TPlaybackState(const TPlaybackState&) = delete;
    TPlaybackState& operator=(const TPlaybackState&) = delete;

    TCustomPlayer* player;
    std::string url;

    // --- owned by the read thread (read by others once the open result is 1)
    AvInputContextPtr input;
    std::unique_ptr<TLibraryIO> io;
    bool subtitlesForcedOnly = false; // a disc title without a chosen subtitle
    std::thread readThread, refreshThread, videoThread, subtitleThread;

    std::atomic<bool> abortRequest{false};
    std::atomic<bool> paused{false};
    bool lastPaused = false;
    int readPauseResult = 0;
    // Seek request
    std::atomic<bool> seekPending{false};
    int seekFlags = 0;
    int64_t seekTarget = 0;
    int64_t seekDistance = 0;
    std::atomic<int> openResult{0}; // 0 pending, 1 opened, -1 failed, -2 failed and cleaned up
    bool imageSequence = false;
    bool liveCapture = false;
    std::atomic<bool> endOfInput{false};
    bool endLogged = false;
    std::atomic<bool> endReported{false};
    std::atomic<bool> seekWhilePaused{false};
    std::atomic<bool> seekCompleted{false};
    std::atomic<bool> flushSeen{false};
    std::atomic<int> stepCounter{0};
    // While paused, the timer still shows one picture: the first one, or the first after a seek.
    std::atomic<bool> showWhilePaused{true};
    std::atomic<bool> refreshPending{false};
    bool ownEnd = false;
    std::atomic<bool> reading{false}; // the read thread is inside a read call

    int64_t startTime = 0;      // us
    int64_t duration = -1;      // us
    int64_t audioDuration = -1; // us
    // A disc title's chapter range ends here on the input's clock (us); the stream reads on past
    // it for the sound, which the reader leaves out.
    int64_t windowEndUs = INT64_MAX;
    int syncType = 0;

    int audioIndex = -1, videoIndex = -1, subtitleIndex = -1;
    AVStream* audioStream = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* subtitleStream = nullptr;
    AvCodecContextPtr audioDec, videoDec, subtitleDec;
    std::unique_ptr<TPacketQueue> audioQueue, videoQueue, subtitleQueue;

    // --- sound (the callback's; other threads read it only through Handed())
    SDL_AudioDeviceID audioDevice = 0;
    int audioRate = 0;
    int audioChannels = 0;
    std::vector<uint8_t> decodedBuf, silence;
    const uint8_t* outBuf = nullptr;
    int outSize = 0;
    int outIndex = 0;
    AvPacketPtr audioPkt; // the packet being decoded
    bool audioPktPending = false;
    AvFramePtr audioFrame;
    SwrContextPtr swr;
    int swrFormat = -1, swrRate = 0, swrChannels = 0;
    double audioPts = 0;        // stream time just past the decoded samples
    bool audioPtsKnown = false; // audioPts came from a frame since the open or the last seek
    // The sound as the callback left its last buffer. The fields above change one by one while
    // it decodes (the pts moves on a whole frame before the read position starts again); read
    // half-way, they put the clock a frame ahead.
    struct THandedSound {
        double end = 0;   // stream time just past the last sample handed out
        int64_t time = 0; // when that buffer was asked for, us of the monotonic clock; 0 before
                          // the first (the sound is still waiting for the first picture)
        int pending = 0;  // decoded bytes not yet handed out
    };
    void PublishHanded(int64_t time) {
        std::lock_guard lock(handedLock_);
        handed_.pending = outSize - outIndex;
        handed_.end = audioPts - handed_.pending / (audioRate * 2.0 * audioChannels);
        handed_.time = time;
    }
    THandedSound Handed() const {
        std::lock_guard lock(handedLock_);
        return handed_;
    }
    // The sound waits (silent, its clock standing) for the first picture, at most a second.
    std::atomic<bool> pictureShown{false};
    int64_t soundGateEnd = 0; // us; the callback's
    int hwBufSize = 0;
    double diffCum = 0, diffCoef = 0, diffThreshold = 0;
    int diffCount = 0;
    int showAudio = 0; // 0 none, 1 waveform, 2 spectrum
    static constexpr int kWaveSamples = 131072;
    std::vector<int16_t> wave = std::vector<int16_t>(kWaveSamples);
    std::atomic<int> waveIndex{0};
    int lastWaveStart = 0;

private:
    mutable std::mutex handedLock_;
    THandedSound handed_;

public:
    // --- picture timing (picture thread and play thread)
    double frameTimer = 0;
    bool timerRestarted = false; // the frame timer was reset; no picture timed since
    double lastFramePts = 0;
    double lastFrameDelay = 0;
    double predictedPts = 0;
    std::atomic<double> currentPts{0};
    std::atomic<double> currentPtsDrift{0};
    int64_t currentPos = -1;
    double skipFactor = 1;
    double skipIndex = 0;
    int faultyPts = 0, faultyDts = 0;
    int64_t lastPtsSeen = INT64_MIN, lastDtsSeen = INT64_MIN;

    std::mutex pictLock;
    std::condition_variable pictCond;
    std::array<TPictureEntry, 2> pictq;
    int pictSize = 0, pictRead = 0, pictWrite = 0; // guarded by pictLock
    int filterWidth = 0, filterHeight = 0;         // the filter output's size
    AVPixelFormat filterFormat = AV_PIX_FMT_NONE;
    int outputWidth = 0, outputHeight = 0; // the output area in use

    std::mutex subLock;
    std::condition_variable subCond;
    std::array<TSubpictureEntry, 4> subq;
    int subSize = 0, subRead = 0, subWrite = 0; // guarded by subLock
    bool subStreamChanged = false;              // guarded by subLock
};

} // namespace quovo
