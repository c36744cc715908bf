// Run control of a conversion task: threads, pause gate, stop, progress report and
// the end of a run.
#include "TFFmpeg.h"

#include "MainThread.h"
#include "MyUtils.h"
#include "TFFmpegLoader.h"
#include "TVideoProcessing.h"

extern "C" {
#include <libavutil/time.h>
}

#include <algorithm>
#include <cmath>
#include <exception>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quovo {

namespace {

std::atomic<int> gConvertThreadNumber{0};
std::atomic<int> gTerminateThreadNumber{0};

void NameThisThread(const std::string& name) {
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

double Psnr(double d) {
    return -10.0 * std::log10(d);
}

// "PSNR=" of the last picture (or, in the last report, of all `frames`) per plane and in all.
std::string PsnrText(const TVideoOutputState& vs, const AVCodecContext& enc, bool overall,
                     int frames) {
    std::string text = "PSNR=";
    double errorSum = 0, scaleSum = 0;
    for (int j = 0; j < 3; ++j) {
        const double error = static_cast<double>(overall ? vs.totalError[j] : vs.lastError[j]);
        double scale = static_cast<double>(enc.width) * enc.height * 255.0 * 255.0;
        if (overall) {
            scale *= frames;
        }
        if (j > 0) {
            scale /= 4;
        }
        errorSum += error;
        scaleSum += scale;
        text += StringPrintf("%c:%2.2f ", "YUV"[j], Psnr(error / scale));
    }
    return text + StringPrintf("*:%2.2f ", Psnr(errorSum / scaleSum));
}

} // namespace

void ApplyThreadPriority(TThreadPriority priority) {
    const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
    if (priority == tpIdle) {
        sched_param param{};
        sched_setscheduler(tid, SCHED_IDLE, &param);
        return;
    }
    int nice = 0;
    if (priority == tpLower) {
        nice = 5;
    } else if (priority == tpLowest) {
        nice = 10;
    }
    // On Linux a nice value set on a thread id applies to that thread only.
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}

// --- TConvertThread

TConvertThread::TConvertThread(TFFmpeg& engine, TThreadPriority priority)
    : engine_(engine), priority_(priority) {}

TConvertThread::~TConvertThread() {
    Join();
}

void TConvertThread::Start() {
    if (thread_.joinable()) {
        return;
    }
    const int number = gConvertThreadNumber++;
    thread_ = std::thread([this, number] {
        engine_.workerId_ = std::this_thread::get_id();
        NameThisThread("convert-" + std::to_string(number));
        ApplyThreadPriority(priority_);
        try {
            engine_.RunConversion();
        } catch (...) {
            // RunConversion guards every step; nothing may leave the thread.
        }
        engine_.conversionDone_.Set();
    });
}

void TConvertThread::Join() {
    if (!thread_.joinable()) {
        return;
    }
    if (IsCurrentThread()) {
        thread_.detach(); // the worker itself let go of its task; it ends on its own
    } else {
        thread_.join();
    }
}

// --- TFFmpeg

TFFmpeg::TFFmpeg() = default;

TFFmpeg::~TFFmpeg() {
    RequestStop(true);
    if (thread_) {
        thread_->Join();
    }
    if (terminateThread_.joinable()) {
        if (terminateThread_.get_id() == std::this_thread::get_id()) {
            terminateThread_.detach();
        } else {
            SlicedWait(terminateDone_);
            terminateThread_.join();
        }
    }
    ReleaseAll();
}

bool TFFmpeg::ErrorFlag() const {
    std::lock_guard lock(stateMutex_);
    return errorFlag_;
}

std::string TFFmpeg::ErrorText() const {
    std::lock_guard lock(stateMutex_);
    return errorText_;
}

void TFFmpeg::SetError(const std::string& text) {
    Log(llQuiet, text);
    std::lock_guard lock(stateMutex_);
    errorFlag_ = true;
    errorText_ = text;
}

void TFFmpeg::SetThreadCount(int count) {
    opt_.threadCount = count < 0 ? 1 : count;
}

void TFFmpeg::SetMuxRate(int bitsPerSecond) {
    // A private option of the MPEG muxers today, no longer a field of every container.
    auto& options = opt_.muxerPrivateOptions;
    std::erase_if(options, [](const auto& kv) { return kv.first == "muxrate"; });
    options.emplace_back("muxrate", std::to_string(bitsPerSecond));
}

TConvertThread* TFFmpeg::StartConversion(bool threaded, TThreadPriority priority) {
    {
        std::lock_guard lock(startMutex_);
        if (running_ || terminated_ || terminating_ || started_) {
            return nullptr;
        }
        started_ = true;
        running_ = true;
    }
    const char* missing = nullptr;
    if (OutputFileCount() == 0) {
        missing = "At least one output file must be specified";
    } else if (InputFileCount() == 0) {
        missing = "At least one input file must be specified";
    }
    if (missing) {
        running_ = false;
        try {
            ReleaseAll();
        } catch (const std::exception&) {
        }
        SetError(missing);
        DoTerminate();
        return nullptr;
    }
    stopRequested_ = false;
    runCompleted_ = false;
    {
        std::lock_guard lock(gateMutex_);
        paused_ = false;
    }
    if (!threaded) {
        RunConversion();
        return nullptr;
    }
    // Reset before the worker exists, so that a stop request made before Start waits for it.
    conversionDone_.Reset();
    threaded_ = true;
    thread_ = std::make_unique<TConvertThread>(*this, priority);
    return thread_.get();
}

void TFFmpeg::RunConversion() {
    runCompleted_ = false;
    qpHistogram_.fill(0);
    auto guarded = [this](auto&& step) {
        try {
            step();
        } catch (const std::exception& e) {
            SetError(e.what());
        } catch (...) {
            SetError("Unknown error");
        }
    };
    guarded([this] { Transcode(); });
    guarded([this] { CloseEncoders(); });
    guarded([this] { CloseDecoders(); });
    guarded([this] { ReleaseAll(); });
    guarded([this] { DoTerminate(); });
}

void TFFmpeg::CloseEncoders() {
    std::lock_guard lock(CodecLock());
    for (auto& ost : ost_) {
        ost->statsIn.clear();
    }
    for (auto& of : outputFiles_) {
        for (auto& sc : of->streams) {
            if (sc->opened) {
                sc->ctx.reset();
                sc->opened = false;
            }
        }
    }
    openEncoders_.clear();
}

void TFFmpeg::CloseDecoders() {
    std::lock_guard lock(CodecLock());
    for (auto& ist : ist_) {
        ist->dec.reset();
    }
    openDecoders_.clear();
}

void TFFmpeg::DoTerminate() {
    // Terminated first: an observer never sees the task neither running nor ended.
    terminated_ = true;
    running_ = false;
    if (terminateCallback_) {
        terminateCallback_(this);
    }
}

void TFFmpeg::SlicedWait(const TManualResetEvent& done) {
    using namespace std::chrono_literals;
    if (!IsMainThread()) {
        while (!done.WaitFor(20ms)) {
        }
        return;
    }
    // A worker may be blocked delivering an event to this thread: keep serving it.
    while (!done.IsSet()) {
        WaitAndDrainMainThreadQueue(20ms);
    }
}

void TFFmpeg::RequestStop(bool wait) {
    TCustomFFmpeg::RequestStop();
    {
        std::lock_guard lock(gateMutex_);
        paused_ = false;
        gateChanged_.notify_all();
    }
    if (!wait || !threaded_ || workerId_.load() == std::this_thread::get_id()) {
        return;
    }
    SlicedWait(conversionDone_);
}

void TFFmpeg::StopTask(bool wait) {
    {
        std::unique_lock lock(startMutex_);
        if (!running_ && (terminated_ || terminating_)) {
            return;
        }
        if (running_) {
            lock.unlock();
            RequestStop(wait);
            return;
        }
        terminating_ = true;
    }
    terminateDone_.Reset();
    const int number = gTerminateThreadNumber++;
    terminateThread_ = std::thread([this, number] {
        NameThisThread("terminate-" + std::to_string(number));
        try {
            DoTerminate();
        } catch (const std::exception& e) {
            Log(llError, e.what()); // nothing may leave the thread
        } catch (...) {
            Log(llError, "Unknown error");
        }
        terminateDone_.Set();
    });
    if (wait) {
        // Sliced rather than unbounded: the terminate handler may hand work to this thread.
        SlicedWait(terminateDone_);
    }
}

void TFFmpeg::PauseConversion() {
    if (!threaded_ || !running_) {
        return;
    }
    std::lock_guard lock(gateMutex_);
    if (!StopRequested()) {
        paused_ = true;
    }
}

void TFFmpeg::ResumeConversion() {
    std::lock_guard lock(gateMutex_);
    paused_ = false;
    gateChanged_.notify_all();
}

void TFFmpeg::WaitWhilePaused() {
    if (!paused_) {
        return;
    }
    std::unique_lock lock(gateMutex_);
    held_ = paused_ && !StopRequested();
    // Sliced: a stop through the base class's RequestStop sets only the flag.
    while (paused_ && !StopRequested()) {
        gateChanged_.wait_for(lock, std::chrono::milliseconds(20));
    }
    held_ = false;
}

void TFFmpeg::ProgressReport(bool isLastReport, int inputIndex) {
    // A pause that began during this packet holds the report back: nothing is raised while paused.
    WaitWhilePaused();

    TVideoProgress video;
    std::string line;
    line.reserve(256);
    double t = 1e10;
    for (const auto& ostp : ost_) {
        const TOutputStream& ost = *ostp;
        if (!ost.st) {
            continue;
        }
        if (ost.st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            if (video.seen) {
                line += StringPrintf("q=%2.1f ", StreamQuality(ost));
            } else if (ost.active) {
                video.seen = true;
                if (!AddVideoProgress(ost, isLastReport, video, line)) {
                    return; // nothing to tell before the first picture
                }
            }
        }
        const double ts = ost.OutputTime();
        if (ts > 0 && ts < t) {
            t = ts;
        }
    }
    t = std::max(t, 0.01);

    const int64_t outputSize = OutputSizeSoFar();
    const int verbose = opt_.verbose;
    if (progressCallback_ || verbose > 0 || isLastReport) {
        const double bitRate = outputSize * 8 / t / 1000.0;
        line += StringPrintf("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", outputSize / 1024.0, t,
                             bitRate);
        if (dupFrames_ || dropFrames_) {
            line += StringPrintf(" dup=%d drop=%d", static_cast<int>(dupFrames_),
                                 static_cast<int>(dropFrames_));
        }
        if (line.size() > 1023) {
            line.resize(1023);
        }
        if (progressCallback_) {
            progressCallback_(this, inputIndex, video.frameNumber, video.fps, video.quality,
                              static_cast<float>(bitRate), outputSize,
                              static_cast<int64_t>(t * 1000000), ProgressTotal());
        } else if (verbose >= 0) {
            Log(llVerbose, line);
        }
    }
    if (isLastReport && verbose >= 0) {
        LogFinalSizes(outputSize);
    }
}

int64_t TFFmpeg::OutputSizeSoFar() const {
    if (OutputFileCount() == 0) {
        return 0;
    }
    AVFormatContext* oc = OutputContext(0);
    if (!oc || !oc->pb) {
        return 0;
    }
    const int64_t size = avio_size(oc->pb);
    return size < 0 ? avio_tell(oc->pb) : size;
}

float TFFmpeg::StreamQuality(const TOutputStream& ost) {
    const bool copy = ost.codec && ost.codec->streamCopy;
    const TVideoOutputState* vs = ost.video.get();
    return copy || !vs ? -1.0f : static_cast<float>(vs->lastQuality) / FF_QP2LAMBDA;
}

bool TFFmpeg::AddVideoProgress(const TOutputStream& ost, bool isLastReport, TVideoProgress& video,
                               std::string& line) {
    const double elapsed = (av_gettime() - LoopStartTime()) / 1000000.0;
    video.frameNumber = static_cast<int>(ost.frame_number);
    if (video.frameNumber < 1) {
        return false;
    }
    video.fps = elapsed > 1 ? static_cast<int>(video.frameNumber / elapsed + 0.5) : 0;
    video.quality = StreamQuality(ost);
    line += StringPrintf("frame=%5d fps=%3d q=%3.1f ", video.frameNumber, video.fps, video.quality);
    if (isLastReport) {
        line += "L";
    }
    if (opt_.qpHist) {
        const long qp = std::lrint(video.quality);
        if (qp >= 0 && qp < static_cast<long>(qpHistogram_.size())) {
            ++qpHistogram_[qp];
        }
        for (int j = 0; j < 32; ++j) {
            line +=
                StringPrintf("%X", static_cast<int>(std::lrint(std::log2(qpHistogram_[j] + 1.0))));
        }
    }
    const TVideoOutputState* vs = ost.video.get();
    if (vs && vs->hasPsnr && ost.codec && ost.codec->ctx) {
        line += PsnrText(*vs, *ost.codec->ctx, isLastReport, video.frameNumber);
    }
    return true;
}

void TFFmpeg::LogFinalSizes(int64_t outputSize) {
    const int64_t payload = VideoSize() + AudioSize() + ExtraSize();
    const std::string sizes =
        StringPrintf("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead ",
                     VideoSize() / 1024.0, AudioSize() / 1024.0, ExtraSize() / 1024.0);
    // Nothing was written to compare with: a ratio over zero bytes has no meaning.
    Log(llVerbose, payload > 0
                       ? sizes + StringPrintf("%f%%", 100.0 * (outputSize - payload) / payload)
                       : sizes + "unknown");
}

} // namespace quovo
