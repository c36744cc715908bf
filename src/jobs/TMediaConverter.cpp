#include "TMediaConverter.h"

#include "LibraryIO.h"
#include "MainThread.h"
#include "MyUtils.h"
#include "TExtOptions.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TOutputFiles.h"

#include <cstring>
#include <ctime>
#include <utility>

namespace quovo {

namespace {

std::string WorkingText(const char* operation) {
    return StringPrintf("Cannot %s while working.", operation);
}

std::string IntText(int v) {
    return std::to_string(v);
}

// Runs `proc` on a helper thread and waits for it in slices that keep the main-thread queue
// moving: used for calls that take a lock a worker may hold while it waits for the main thread.
void RunAside(const std::function<void()>& proc) {
    if (!IsMainThread()) {
        proc();
        return;
    }
    TManualResetEvent done(false);
    std::thread helper([&] {
        proc();
        done.Set();
    });
    while (!done.IsSet()) {
        WaitAndDrainMainThreadQueue(std::chrono::milliseconds(20));
    }
    helper.join();
}

// The event handlers of which components this thread is running, innermost first.
class THandlerScope {
public:
    explicit THandlerScope(const TCustomMediaConverter* owner)
        : owner_(owner), outer_(std::exchange(innermost_, this)) {}
    ~THandlerScope() { innermost_ = outer_; }
    THandlerScope(const THandlerScope&) = delete;
    THandlerScope& operator=(const THandlerScope&) = delete;

    static bool Inside(const TCustomMediaConverter* owner) {
        for (const THandlerScope* s = innermost_; s; s = s->outer_) {
            if (s->owner_ == owner) {
                return true;
            }
        }
        return false;
    }

private:
    const TCustomMediaConverter* owner_;
    THandlerScope* outer_;
    static thread_local THandlerScope* innermost_;
};

thread_local THandlerScope* THandlerScope::innermost_ = nullptr;

// Runs one of `owner`'s event handlers. What the handler raises goes no further: it is logged as
// "Error occurs <event>: " and its message. False when it raised.
template <typename Call>
bool CallHandler(const TCustomMediaConverter* owner, const char* event, const Call& call) {
    THandlerScope scope(owner);
    std::string message;
    try {
        call();
        return true;
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "unknown exception";
    }
    FFLogger()->Log(owner, llError, std::string("Error occurs ") + event + ": " + message);
    return false;
}

} // namespace

TCustomMediaConverter::TCustomMediaConverter()
    : progressMail_(std::make_shared<TEventMail>()), previewMail_(std::make_shared<TEventMail>()) {
    progressMail_->owner = this;
    previewMail_->owner = this;
}

TCustomMediaConverter::~TCustomMediaConverter() {
    {
        std::lock_guard lock(terminateLock_);
        toStart_ = 0;
    }
    // Running tasks are stopped and waited for; tasks that never started just go.
    for (auto& t : tasks_) {
        if (t->engine->Running()) {
            t->engine->RequestStop(true);
        }
    }
    // Let every event being delivered finish before the tasks go.
    { std::lock_guard lock(hookLock_); }
    { std::lock_guard lock(previewLock_); }
    { std::lock_guard lock(progressLock_); }
    for (const auto& mail : {progressMail_, previewMail_}) {
        {
            std::lock_guard lock(mail->mutex);
            mail->owner = nullptr;
        }
        std::lock_guard handler(mail->inHandler);
    }
    WaitForDeliveries();
    tasks_.clear();
}

void TCustomMediaConverter::WaitForDeliveries() {
    std::thread last;
    std::shared_ptr<TManualResetEvent> done;
    {
        std::lock_guard lock(terminateLock_);
        last = std::move(lastDelivery_);
        done = lastDeliveryDone_;
    }
    if (!last.joinable()) {
        return;
    }
    if (last.get_id() == std::this_thread::get_id()) {
        last.detach();
        return;
    }
    while (!done->IsSet()) {
        if (IsMainThread()) {
            WaitAndDrainMainThreadQueue(std::chrono::milliseconds(20));
        } else {
            done->WaitFor(std::chrono::milliseconds(20));
        }
    }
    last.join();
}

bool TCustomMediaConverter::LoadLibraries(const std::string& folder) {
    FFLoader().SetLibraryPath(folder);
    if (!FFLoader().LoadLibraries(ConverterLibraryMask)) {
        lastErrMsg_ = FFLoader().LastLoadError();
        return false;
    }
    return true;
}

bool TCustomMediaConverter::LibrariesLoaded() const {
    return FFLoader().LibrariesLoaded(ConverterLibraryMask);
}

TConversionTask& TCustomMediaConverter::TaskAt(int index) {
    if (index < 0 || index >= TaskCount()) {
        throw FFmpegException(StringPrintf("List index out of bounds (%d)", index));
    }
    return *tasks_[index];
}

TFFmpeg* TCustomMediaConverter::Task(int taskIndex) {
    return TaskAt(taskIndex).engine.get();
}

int TCustomMediaConverter::IndexOf(const TCustomFFmpeg* engine) const {
    for (size_t i = 0; i < tasks_.size(); ++i) {
        if (tasks_[i]->engine.get() == engine) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TAVProbe* TCustomMediaConverter::InputProbe(int taskIndex, int inputIndex) {
    TConversionTask& t = TaskAt(taskIndex);
    if (inputIndex < 0 || inputIndex >= MAX_FILES) {
        throw FFmpegException(StringPrintf("List index out of bounds (%d)", inputIndex));
    }
    return t.probes[inputIndex].get();
}

int TCustomMediaConverter::TaskPreviewFlags() const {
    return (preview_ ? PreviewWindowFlag : 0) | (previewBitmap_ ? PreviewCallbackFlag : 0);
}

void TCustomMediaConverter::ApplyPreviewFlags() {
    const int flags = TaskPreviewFlags();
    // The engine takes the process-wide preview lock, which a worker may hold while it hands a
    // preview to this (main) thread: set the flags from a helper thread.
    RunAside([&] {
        for (auto& t : tasks_) {
            t->engine->SetPreviewFlags(flags);
        }
    });
    if (!preview_) {
        for (auto& t : tasks_) {
            t->previewWindow.reset();
        }
    }
}

void TCustomMediaConverter::SetPreview(bool value) {
    preview_ = value;
    ApplyPreviewFlags();
}

void TCustomMediaConverter::SetPreviewBitmap(bool value) {
    previewBitmap_ = value;
    ApplyPreviewFlags();
}

void TCustomMediaConverter::ApplyExtOptions(TFFmpeg& e, const std::string& text, bool forInput) {
    for (const auto& [name, value] : ParseExtOptions(text)) {
        if (IsDirectExtOption(name, forInput)) {
            e.SetOption(name, value);
        }
    }
}

int TCustomMediaConverter::AddTask(const std::string& fileName, TInputOptions* options) {
    if (working_) {
        throw FFmpegException(WorkingText("AddTask"));
    }
    if (!LibrariesLoaded()) {
        lastErrMsg_ = "The media libraries are not loaded.";
        return -1;
    }
    auto task = std::make_unique<TConversionTask>();
    try {
        task->engine = std::make_unique<TFFmpeg>();
        TFFmpeg& e = *task->engine;
        e.ResetOptions();
        e.SetVerbose(1);
        e.SetThreadCount(codecThreads_);
        e.SetPreviewFlags(TaskPreviewFlags());
        e.SetPreviewCallback([this](TCustomFFmpeg* s, TPicture& p, int64_t pts, int n) {
            TaskPreview(s, p, pts, n);
        });
        e.SetPreviewWindowCallback([this](TCustomFFmpeg* s, TPicture& p, int64_t pts, int) {
            return TaskPreviewWindow(s, p, pts);
        });
        if (!OpenTaskInput(*task, fileName, options)) {
            return -1;
        }
        e.SetProgressCallback([this](TCustomFFmpeg* s, int in, int frame, int fps, float q,
                                     float rate, int64_t size, int64_t t, int64_t total) {
            TaskProgress(s, in, frame, fps, q, rate, size, t, total);
        });
        e.SetTerminateCallback([this](TCustomFFmpeg* s) { TaskTerminated(s); });
    } catch (const std::exception& ex) {
        lastErrMsg_ = ex.what();
        return -1;
    }
    tasks_.push_back(std::move(task));
    return TaskCount() - 1;
}

bool TCustomMediaConverter::OpenTaskInput(TConversionTask& task, const std::string& fileName,
                                          TInputOptions* options) {
    TFFmpeg& e = *task.engine;
    const int input = e.InputFileCount();
    if (input >= MAX_FILES) {
        lastErrMsg_ = StringPrintf("Too many input files (at most %d)", MAX_FILES);
        return false;
    }
    if (options) {
        if (options->FileName.empty()) {
            options->FileName = fileName;
        }
        task.inputs[input] = *options;
        ApplyExtOptions(e, options->ExtOptions, true);
        if (!options->FileFormat.empty()) {
            e.SetForceFormat(options->FileFormat);
        }
        e.SetStartTime(options->StartTime);
        e.SetProgramID(options->ProgramID);
    }
    if (!e.OpenInputFile(ToLibraryName(fileName))) {
        lastErrMsg_ = e.LastErrorText();
        task.inputs[input].reset();
        return false;
    }
    task.probes[input] = std::make_unique<TAVProbe>();
    task.probes[input]->Attach(e.InputContext(input));
    return true;
}

bool TCustomMediaConverter::AddInput(int taskIndex, const std::string& fileName,
                                     TInputOptions* options) {
    if (working_) {
        throw FFmpegException(WorkingText("AddInput"));
    }
    TConversionTask& t = TaskAt(taskIndex);
    if (t.outputCount > 0) {
        lastErrMsg_ = "Inputs must be added before the outputs";
        return false;
    }
    try {
        return OpenTaskInput(t, fileName, options);
    } catch (const std::exception& ex) {
        lastErrMsg_ = ex.what();
        return false;
    }
}

void TCustomMediaConverter::ApplyTarget(TFFmpeg& e, const TOutputOptions& o) {
    static const char* const types[] = {"", "vcd", "svcd", "dvd"};
    if (o.TargetType < 1 || o.TargetType > 3) {
        return;
    }
    const char* norm = o.TargetNorm == 1 ? "pal" : o.TargetNorm == 2 ? "ntsc" : "auto";
    e.SetTarget(types[o.TargetType], norm, o.TargetDefaultNorm == 1 ? "pal" : "ntsc");
}

void TCustomMediaConverter::ApplyMetadata(TFFmpeg& e, const TStreamInfo& m) {
    if (m.Timestamp >= 0) {
        const int64_t unix = m.Timestamp == 0 ? static_cast<int64_t>(std::time(nullptr))
                                              : LocalDateTimeToUnix(m.Timestamp);
        const time_t t = static_cast<time_t>(unix);
        std::tm tm{};
        gmtime_r(&t, &tm);
        char buf[32];
        std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
        e.SetOption("timestamp", buf);
    }
    if (m.Year > 0) {
        e.AddMetadata("year", IntText(m.Year));
    }
    if (m.Track > 0) {
        e.AddMetadata("track", IntText(m.Track));
    }
    const std::pair<const char*, const std::string*> texts[] = {
        {"title", &m.Title},     {"author", &m.Author}, {"copyright", &m.Copyright},
        {"comment", &m.Comment}, {"album", &m.Album},   {"genre", &m.Genre}};
    for (const auto& [key, value] : texts) {
        if (!value->empty()) {
            e.AddMetadata(key, *value);
        }
    }
}

// The fields in their table order; codecs, presets, frame size and filters come from the
// defaults list instead.
void TCustomMediaConverter::ApplyOutputRecord(TFFmpeg& e, const TOutputOptions& o) {
    if (!o.FileFormat.empty()) {
        e.SetForceFormat(o.FileFormat);
    }
    if (o.PacketSize > 0) {
        e.SetOption("packetsize", IntText(o.PacketSize));
    }
    if (o.MuxRate > 0) {
        e.SetMuxRate(o.MuxRate);
    }
    e.SetMuxMaxDelay(o.MuxDelay);
    e.SetMuxPreload(o.MuxPreload);
    if (o.DisableAudio) {
        e.SetOption("an", "1");
    }
    e.SetAudioVolume(o.AudioVolume);
    e.SetAudioChannels(o.AudioChannels);
    e.SetAudioSampleRate(o.AudioSampleRate);
    if (o.AudioBitrate > 0) {
        e.SetOption("ab", IntText(o.AudioBitrate));
    }
    if (o.AudioBitrateTolerance > 0) {
        e.SetOption("abt", IntText(o.AudioBitrateTolerance));
    }
    e.SetAudioLanguage(o.AudioLanguage);
    e.SetAudioSyncMethod(o.AudioSync);
    e.SetAudioTag(o.AudioTag);
    if (o.DisableVideo) {
        e.SetOption("vn", "1");
    }
    e.SetFrameRate(o.FrameRate);
    e.SetFrameAspectRatio(o.FrameAspect);
    if (o.CropTop > 0) {
        e.SetCropTop(o.CropTop);
    }
    if (o.CropBottom > 0) {
        e.SetCropBottom(o.CropBottom);
    }
    if (o.CropLeft > 0) {
        e.SetCropLeft(o.CropLeft);
    }
    if (o.CropRight > 0) {
        e.SetCropRight(o.CropRight);
    }
    const std::pair<const char*, int> rates[] = {{"g", o.GopSize},
                                                 {"vb", o.VideoBitrate},
                                                 {"maxrate", o.VideoMaxRate},
                                                 {"minrate", o.VideoMinRate},
                                                 {"bt", o.VideoBitrateTolerance},
                                                 {"bufsize", o.VideoBufSize}};
    for (const auto& [name, value] : rates) {
        if (value > 0) {
            e.SetOption(name, IntText(value));
        }
    }
    e.SetVideoSyncMethod(o.VideoSync);
    e.SetVideoTag(o.VideoTag);
    e.SetVideoLanguage(o.VideoLanguage);
    if (o.DisableSubtitle) {
        e.SetOption("sn", "1");
    }
    e.SetSubtitleLanguage(o.SubtitleLanguage);
    e.SetOption("isync", o.InputSync ? "1" : "0");
    if (o.CopyTimestamps) {
        e.SetOption("copyts", "1");
    }
    e.SetStartTime(o.StartTime);
    e.SetRecordingTime(o.RecordingTime);
    ApplyMetadata(e, o.Metadata);
}

bool TCustomMediaConverter::SetOutputFile(int taskIndex, const std::string& fileName,
                                          TOutputOptions* options) {
    if (working_) {
        throw FFmpegException(WorkingText("SetOutputFile"));
    }
    TConversionTask& t = TaskAt(taskIndex);
    TFFmpeg& e = *t.engine;
    if (t.outputCount >= MAX_FILES) {
        lastErrMsg_ = StringPrintf("max output files %d reached", MAX_FILES);
        return false;
    }
    const int slot = t.outputCount;
    try {
        std::optional<TOutputDefaults> defaults;
        bool join = false;
        if (options) {
            if (options->FileName.empty()) {
                options->FileName = fileName;
            }
            t.outputs[slot] = *options;
            const TOutputOptions& o = *options;
            join = o.Join;
            defaults.emplace(o.AudioCodec, o.VideoCodec, o.SubtitleCodec, o.AudioPreset,
                             o.VideoPreset, o.SubtitlePreset, o.FrameSize, o.VideoFilters,
                             ParseExtOptions(o.ExtOptions));
            ApplyTarget(e, o);
            e.SetAudioCodec(defaults->Default("acodec"));
            e.SetVideoCodec(defaults->Default("vcodec"));
            e.SetSubtitleCodec(defaults->Default("scodec"));
            e.SetAudioPreset(defaults->Default("apre"));
            e.SetVideoPreset(defaults->Default("vpre"));
            e.SetSubtitlePreset(defaults->Default("spre"));
            ApplyExtOptions(e, o.ExtOptions, false);
            ApplyOutputRecord(e, o);
            e.SetFrameSize(defaults->Default("s"));
            e.SetVideoFilters(defaults->Default("vf"));
            if (o.CustomHook) {
                e.SetHookCallback(
                    [this](TCustomFFmpeg* s, TPicture& p, int n, int64_t pts, bool& update,
                           bool& stopHook) { TaskHook(s, p, n, pts, update, stopHook); });
            }
        } else {
            t.outputs[slot].reset();
        }
        const std::string format = TemporaryWriteFormat(fileName, e.Options().forcedFormat);
        const std::string partName = format.empty() ? std::string() : PartFileName(fileName);
        if (!format.empty()) {
            e.SetForceFormat(format);
        }
        if (e.OpenOutputFile(ToLibraryName(partName.empty() ? fileName : partName), join) < 0) {
            // Messages name the file the caller asked for.
            lastErrMsg_ = e.LastErrorText();
            if (const size_t at = lastErrMsg_.find(partName);
                !partName.empty() && at != std::string::npos) {
                lastErrMsg_.replace(at, partName.size(), fileName);
            }
            t.outputs[slot].reset();
            return false;
        }
        t.outputNames[slot] = fileName;
        t.partNames[slot] = partName;
        ++t.outputCount;
        if (options) {
            static const std::pair<const char*, std::vector<const char*>> streams[] = {
                {"newaudio", {"acodec", "apre"}},
                {"newvideo", {"vcodec", "vpre", "s", "vf"}},
                {"newsubtitle", {"scodec", "spre"}}};
            for (const auto& [name, value] : ParseExtOptions(options->ExtOptions)) {
                for (const auto& [kind, settings] : streams) {
                    if (name != kind) {
                        continue;
                    }
                    for (const char* setting : settings) {
                        const std::string v = defaults->Take(setting);
                        if (!v.empty()) {
                            e.SetOption(setting, v);
                        }
                    }
                    e.SetOption(name, value);
                }
            }
        }
        return true;
    } catch (const std::exception& ex) {
        lastErrMsg_ = ex.what();
        return false;
    }
}

void TCustomMediaConverter::RemoveTask(int taskIndex) {
    if (working_) {
        throw FFmpegException(WorkingText("RemoveTask"));
    }
    TaskAt(taskIndex);
    tasks_.erase(tasks_.begin() + taskIndex);
}

void TCustomMediaConverter::ClearTasks() {
    if ((working_ && !allDone_) || inlineDepth_ > 0) {
        throw FFmpegException(WorkingText("ClearTasks"));
    }
    // A terminate delivery may still be on its way out: let it finish with the tasks.
    { std::lock_guard lock(terminateLock_); }
    tasks_.clear();
    lastErrMsg_.clear();
    std::lock_guard lock(terminateLock_);
    tasksEnded_ = 0;
    nextTask_ = -1;
    toStart_ = 0;
    working_ = false;
    allDone_ = false;
    threaded_ = false;
}

void TCustomMediaConverter::StartTask(int threadCount) {
    if (working_) {
        throw FFmpegException(WorkingText("StartTask"));
    }
    {
        std::lock_guard lock(terminateLock_);
        // Tasks a stop ended before the run count as ended.
        tasksEnded_ = 0;
        for (const auto& t : tasks_) {
            tasksEnded_ += t->engine->Terminated() ? 1 : 0;
        }
        nextTask_ = 0;
        toStart_ = TaskCount();
        allDone_ = false;
        threaded_ = threadCount > 0;
        working_ = true;
    }
    if (threaded_) {
        std::lock_guard lock(terminateLock_);
        int n = threadCount;
        while (toStart_ > 0 && n-- > 0) {
            StartNextTask();
        }
        FinishRunWhenAllEnded();
        return;
    }
    ++inlineDepth_;
    try {
        for (;;) {
            {
                std::lock_guard lock(terminateLock_);
                if (toStart_ <= 0) {
                    break;
                }
            }
            StartNextTask();
        }
        FinishRunWhenAllEnded();
    } catch (...) {
        --inlineDepth_;
        throw;
    }
    --inlineDepth_;
}

void TCustomMediaConverter::StartNextTask() {
    TFFmpeg* engine = nullptr;
    {
        std::lock_guard lock(terminateLock_);
        // A task ended by a stop before its turn has been counted already: pass it by.
        while (toStart_ > 0 && !engine) {
            --toStart_;
            TFFmpeg* next = tasks_[nextTask_++]->engine.get();
            if (!next->Terminated() && !next->Running() && !next->Started()) {
                engine = next;
            }
        }
        if (!engine) {
            return;
        }
    }
    engine->SetReportIntervalUs(static_cast<int64_t>(progressInterval_) * 1000);
    if (TConvertThread* thread = engine->StartConversion(threaded_, threadPriority_)) {
        thread->Start();
    }
}

void TCustomMediaConverter::DeliverTerminate(const TTerminateInfo& info) {
    if (!onTerminate_) {
        return;
    }
    if (!threaded_) {
        terminateInfo_ = info;
        CallHandler(this, "OnTerminate", [&] { onTerminate_(this, terminateInfo_); });
        return;
    }
    // Each delivery runs on a thread of its own, after the previous one has returned.
    auto done = std::make_shared<TManualResetEvent>(false);
    std::thread previous = std::move(lastDelivery_);
    lastDelivery_ = std::thread([this, info, done, previous = std::move(previous)]() mutable {
        pthread_setname_np(pthread_self(), "terminate-event");
        if (previous.joinable()) {
            previous.join();
        }
        CallHandler(this, "OnTerminate", [&] { onTerminate_(this, info); });
        done->Set();
    });
    lastDeliveryDone_ = done;
}

void TCustomMediaConverter::FinishOutputFiles(TConversionTask& t) {
    const TFFmpeg& e = *t.engine;
    TOutputEnd end = TOutputEnd::Partial;
    if (e.OutputWriteFailed()) {
        end = TOutputEnd::WriteFailed;
    } else if (!e.ErrorFlag() && (e.RunCompleted() || (e.Started() && e.StopRequested()))) {
        end = TOutputEnd::Whole; // a stopped run still writes its trailer
    }
    for (int i = 0; i < t.outputCount; ++i) {
        FinishOutputFile(t.outputNames[i], t.partNames[i], end);
    }
}

void TCustomMediaConverter::TaskTerminated(TCustomFFmpeg* sender) {
    std::lock_guard lock(terminateLock_);
    TFFmpeg* task = static_cast<TFFmpeg*>(sender);
    if (const int index = IndexOf(sender); index >= 0) {
        FinishOutputFiles(*tasks_[index]);
    }
    if (onTerminate_) {
        DeliverTerminate(TTerminateInfo{IndexOf(sender), task->RunCompleted(), task->ErrorFlag(),
                                        task->ErrorText()});
    }
    ++tasksEnded_;
    if (toStart_ > 0) {
        // The ending worker hands over to the next task; a task ended before it ran held no
        // worker, so it hands over nothing.
        if (threaded_ && task->Started()) {
            StartNextTask();
        }
    }
    FinishRunWhenAllEnded();
}

void TCustomMediaConverter::FinishRunWhenAllEnded() {
    std::lock_guard lock(terminateLock_);
    if (working_ && !allDone_ && tasksEnded_ >= TaskCount()) {
        // Set first, so that a handler of the final event may clear the list.
        allDone_ = true;
        DeliverTerminate(TTerminateInfo{-1, true, false, ""});
    }
}

void TCustomMediaConverter::Pause() {
    std::lock_guard lock(terminateLock_);
    for (auto& t : tasks_) {
        t->engine->PauseConversion();
    }
}

void TCustomMediaConverter::Resume() {
    std::lock_guard lock(terminateLock_);
    for (auto& t : tasks_) {
        t->engine->ResumeConversion();
    }
}

void TCustomMediaConverter::Stop(bool wait) {
    wait = wait && !THandlerScope::Inside(this);
    {
        // Also orders this thread after any task start a worker is making.
        std::lock_guard lock(terminateLock_);
        toStart_ = 0;
    }
    for (size_t i = 0; i < tasks_.size(); ++i) {
        TFFmpeg& e = *tasks_[i]->engine;
        if (e.Running()) {
            e.StopTask(wait);
        } else if (!e.Terminated()) {
            e.StopTask(wait);
        }
    }
}

void TCustomMediaConverter::TaskProgress(TCustomFFmpeg* sender, int inputIndex, int frameNumber,
                                         int fps, float quality, float bitRate, int64_t size,
                                         int64_t timeUs, int64_t total) {
    if (!onProgress_) {
        return;
    }
    const TProgressInfo info{IndexOf(sender), inputIndex, frameNumber, fps,  quality,
                             bitRate,         size,       timeUs,      total};
    if (triggerEventInMainThread_ && !IsMainThread()) {
        Post(progressMail_, [info](TCustomMediaConverter* owner) {
            TProgressInfo record = info;
            CallHandler(owner, "OnProgress", [&] { owner->onProgress_(owner, &record); });
        });
        return;
    }
    std::lock_guard lock(progressLock_);
    progressInfo_ = info;
    CallHandler(this, "OnProgress", [this] { onProgress_(this, &progressInfo_); });
}

void TCustomMediaConverter::Post(const std::shared_ptr<TEventMail>& mail,
                                 std::function<void(TCustomMediaConverter*)> call) {
    {
        std::lock_guard lock(mail->mutex);
        mail->pending.push_back(std::move(call));
    }
    PostToMainThread([mail] { Deliver(mail); });
}

void TCustomMediaConverter::Deliver(const std::shared_ptr<TEventMail>& mail) {
    std::unique_lock lock(mail->mutex);
    if (mail->delivering) {
        return; // a handler further up this thread's stack delivers it once it returns
    }
    mail->delivering = true;
    while (!mail->pending.empty()) {
        auto call = std::move(mail->pending.front());
        mail->pending.pop_front();
        lock.unlock();
        {
            std::lock_guard handler(mail->inHandler);
            TCustomMediaConverter* owner = nullptr;
            {
                std::lock_guard check(mail->mutex);
                owner = mail->owner;
            }
            if (owner) {
                call(owner);
            }
        }
        lock.lock();
    }
    mail->delivering = false;
}

void TCustomMediaConverter::TaskHook(TCustomFFmpeg* sender, TPicture& picture, int frameNumber,
                                     int64_t pts, bool& update, bool& stopHook) {
    update = false;
    stopHook = false;
    if (!onCustomHook_) {
        return;
    }
    static_cast<TFFmpeg*>(sender)->WaitWhilePaused();
    std::lock_guard lock(hookLock_);
    hookInfo_ = THookInfo{IndexOf(sender), &picture, frameNumber, pts, true, false};
    std::lock_guard canvas(picture.CanvasLock());
    if (CallHandler(this, "OnCustomHook", [this] { onCustomHook_(this, &hookInfo_); })) {
        update = hookInfo_.Update;
        stopHook = hookInfo_.StopHook;
    } // else the frame stays as it was, and the hook stays on
}

void TCustomMediaConverter::TaskPreview(TCustomFFmpeg* sender, TPicture& picture, int64_t pts,
                                        int frameNumber) {
    if (!onPreviewBitmap_) {
        return;
    }
    static_cast<TFFmpeg*>(sender)->WaitWhilePaused();
    if (triggerEventInMainThread_ && !IsMainThread()) {
        // The engine reuses its picture for the next preview: the handler gets a copy.
        auto copy = std::make_shared<TPicture>(picture.Width(), picture.Height());
        const TPicture& source = picture; // loads the content without marking it modified
        std::memcpy(copy->RawBits(), source.Bits(),
                    static_cast<size_t>(source.Stride()) * source.Height());
        const TPreviewInfo info{IndexOf(sender), nullptr, frameNumber, pts};
        Post(previewMail_, [info, copy](TCustomMediaConverter* owner) {
            TPreviewInfo withPicture = info;
            withPicture.Bitmap = copy.get();
            CallHandler(owner, "OnPreviewBitmap",
                        [&] { owner->onPreviewBitmap_(owner, withPicture); });
        });
        return;
    }
    std::lock_guard lock(previewLock_);
    previewInfo_ = TPreviewInfo{IndexOf(sender), &picture, frameNumber, pts};
    CallHandler(this, "OnPreviewBitmap", [this] { onPreviewBitmap_(this, previewInfo_); });
}

bool TCustomMediaConverter::TaskPreviewWindow(TCustomFFmpeg* sender, TPicture& picture,
                                              int64_t pts) {
    if (!previewWindowFactory_) {
        return false;
    }
    static_cast<TFFmpeg*>(sender)->WaitWhilePaused();
    const int index = IndexOf(sender);
    if (index < 0) {
        return false;
    }
    TConversionTask& t = *tasks_[index];
    bool shown = false;
    // The window lives on the main thread: made on first use, dropped when the user closes it.
    RunInMainThread([&] {
        if (!t.previewWindow) {
            t.previewWindow = previewWindowFactory_();
        }
        shown = t.previewWindow && t.previewWindow->Show(picture, FormatTimeText(pts));
        if (!shown) {
            t.previewWindow.reset();
        }
    });
    return shown;
}

} // namespace quovo
