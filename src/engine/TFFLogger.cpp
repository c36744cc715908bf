#include "TFFLogger.h"

#include "FFmpegException.h"
#include "MainThread.h"
#include "MyUtils.h"

extern "C" {
#include <libavutil/log.h>
}

#include <atomic>
#include <charconv>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include <unistd.h>

namespace quovo {

namespace {

// The single instance; the library callback reads it from any thread.
std::atomic<TFFLogger*> gInstance{nullptr};
// Serializes creation and destruction of the instance (recursive: FFLogger() constructs).
std::recursive_mutex gInstanceMutex;

// Library messages are cut at this size, like the libraries' own default callback does.
constexpr int kLibraryLineSize = 2048;

struct LevelName {
    const char* name;
    TLogLevel level;
};
constexpr LevelName kLevelNames[] = {
    {"quiet", llQuiet},     {"panic", llPanic}, {"fatal", llFatal},     {"error", llError},
    {"warning", llWarning}, {"info", llInfo},   {"verbose", llVerbose}, {"debug", llDebug},
};

// A whole decimal integer with an optional sign, nothing else.
bool ParseInt(const std::string& text, int& value) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-') {
            return false;
        }
    }
    if (first == last) {
        return false;
    }
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last;
}

} // namespace

struct TFFLogger::Impl {
    std::atomic<TLogLevel> logLevel{llInfo};
    std::atomic<bool> triggerInMainThread{true};
    std::atomic<bool> installed{false};

    std::mutex handlerMutex;
    std::shared_ptr<const TLogEvent> handler; // --- guarded by handlerMutex

    // One pending partial line per thread that sent library messages.
    std::mutex listMutex;
    std::unordered_map<uint32_t, std::string> pending; // --- guarded by listMutex

    // Handlers run one at a time. Recursive: a handler may log itself.
    std::recursive_mutex deliveryMutex;

    std::shared_ptr<const TLogEvent> Handler() {
        std::lock_guard lock(handlerMutex);
        return handler;
    }
};

TFFLogger::TFFLogger() : impl_(std::make_unique<Impl>()) {
    std::lock_guard lock(gInstanceMutex);
    if (gInstance.load() != nullptr) {
        throw std::logic_error("Allow creating only one instance of TFFLogger.");
    }
    gInstance.store(this);
}

TFFLogger::~TFFLogger() {
    std::lock_guard lock(gInstanceMutex);
    // The library callback stays installed; it drops messages while there is no logger.
    if (gInstance.load() == this) {
        gInstance.store(nullptr);
    }
}

TLogLevel TFFLogger::LogLevel() const {
    return impl_->logLevel.load();
}

void TFFLogger::SetLogLevel(TLogLevel level) {
    if (impl_->logLevel.exchange(level) != level && impl_->installed.load()) {
        av_log_set_level(LibraryLevelOf(level));
    }
}

bool TFFLogger::TriggerEventInMainThread() const {
    return impl_->triggerInMainThread.load();
}

void TFFLogger::SetTriggerEventInMainThread(bool value) {
    impl_->triggerInMainThread.store(value);
}

void TFFLogger::SetOnLog(TLogEvent handler) {
    auto shared = handler ? std::make_shared<const TLogEvent>(std::move(handler)) : nullptr;
    std::lock_guard lock(impl_->handlerMutex);
    impl_->handler = std::move(shared);
}

void TFFLogger::Log(const TFFBaseComponent* sender, TLogLevel level, const std::string& msg) {
    const TLogLevel current = LogLevel();
    // Progress lines are logged at llVerbose and shown at every level but quiet.
    const bool wanted = level <= current || (level == llVerbose && current != llQuiet);
    if (wanted) {
        Deliver(sender, CurrentThreadId(), level, msg);
    }
}

void TFFLogger::LogFmt(const TFFBaseComponent* sender, TLogLevel level, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const std::string text = StringVPrintf(fmt, args);
    va_end(args);
    Log(sender, level, text);
}

void TFFLogger::SetLevelByName(const std::string& text) {
    const std::string lower = LowerCase(text);
    for (const LevelName& entry : kLevelNames) {
        if (lower == entry.name) {
            SetLogLevel(entry.level);
            return;
        }
    }
    int libraryLevel = 0;
    if (!ParseInt(text, libraryLevel)) {
        throw FFmpegException(StringPrintf("'%s' is not a valid integer value", text.c_str()));
    }
    SetLogLevel(LogLevelOfLibrary(libraryLevel));
}

void TFFLogger::InstallCallback() {
    av_log_set_callback(&TFFLogger::LibraryCallback);
    impl_->installed.store(true);
    av_log_set_level(LibraryLevelOf(LogLevel()));
}

void TFFLogger::Deliver(const TFFBaseComponent* sender, uint32_t threadId, TLogLevel level,
                        std::string msg) {
    std::shared_ptr<const TLogEvent> handler = impl_->Handler();
    if (!handler) {
        return;
    }
    auto deliver = [&] {
        std::lock_guard lock(impl_->deliveryMutex);
        (*handler)(const_cast<TFFBaseComponent*>(sender), threadId, level, msg);
    };
    // The worker waits without holding the delivery lock; the main thread takes it while the
    // handler runs, so the main thread logging meanwhile cannot deadlock against the worker.
    if (TriggerEventInMainThread() && !IsMainThread()) {
        RunInMainThread(deliver);
    } else {
        deliver();
    }
}

void TFFLogger::LibraryCallback(void* avcl, int level, const char* fmt, va_list vl) {
    // The upper byte may carry a colour hint.
    if (level >= 0) {
        level &= 0xff;
    }
    // Dropped before any formatting: most library messages are above the level.
    if (level > av_log_get_level()) {
        return;
    }
    TFFLogger* logger = gInstance.load();
    if (logger == nullptr) {
        return;
    }

    char text[kLibraryLineSize];
    std::vsnprintf(text, sizeof(text), fmt, vl);

    const uint32_t threadId = CurrentThreadId();
    std::vector<std::string> lines;
    {
        Impl& impl = *logger->impl_;
        std::lock_guard lock(impl.listMutex);
        std::string& line = impl.pending[threadId];
        if (line.empty()) {
            const AVClass* avc = avcl != nullptr ? *static_cast<AVClass**>(avcl) : nullptr;
            if (avc != nullptr) {
                const char* name =
                    avc->item_name != nullptr ? avc->item_name(avcl) : avc->class_name;
                line = StringPrintf("[%s @ %p]", name, avcl);
            }
        }
        line += text;
        for (size_t lf = line.find('\n'); lf != std::string::npos; lf = line.find('\n')) {
            lines.push_back(line.substr(0, lf));
            line.erase(0, lf + 1);
        }
    }
    // Delivered outside the list lock: delivery may wait for the main thread.
    const TLogLevel logLevel = LogLevelOfLibrary(level);
    for (std::string& line : lines) {
        try {
            logger->Deliver(logger, threadId, logLevel, std::move(line));
        } catch (...) {
            // A handler's error must not unwind through the libraries' C frames.
        }
    }
}

TFFLogger* FFLogger() {
    std::lock_guard lock(gInstanceMutex);
    TFFLogger* logger = gInstance.load();
    if (logger == nullptr) {
        // Kept until the process ends: library threads may log while the process exits.
        logger = new TFFLogger;
    }
    return logger;
}

uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(gettid());
}

} // namespace quovo
