// The one logger of the process. Engine messages come in through Log/LogFmt on any thread; library
// messages through the libraries' log callback, assembled into whole lines per thread. Lines are
// delivered to OnLog, on the main thread when TriggerEventInMainThread is set.
#pragma once

#include "TFFBaseComponent.h"
#include "TLogLevel.h"

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quovo {

using TLogEvent = std::function<void(TFFBaseComponent* Sender, uint32_t AThreadID,
                                     TLogLevel ALogLevel, const std::string& ALogMsg)>;

struct TLogInfo {
    TFFBaseComponent* Sender = nullptr;
    uint32_t ThreadID = 0;
    TLogLevel LogLevel = llInfo;
    std::string Msg;
};

class TFFLogger : public TFFBaseComponent {
public:
    TFFLogger();
    ~TFFLogger() override;
    const char* ClassName() const override { return "TFFLogger"; }

    TLogLevel LogLevel() const;
    void SetLogLevel(TLogLevel level);
    bool TriggerEventInMainThread() const;
    void SetTriggerEventInMainThread(bool value);
    void SetOnLog(TLogEvent handler);

    void Log(const TFFBaseComponent* sender, TLogLevel level, const std::string& msg);
    void LogFmt(const TFFBaseComponent* sender, TLogLevel level, const char* fmt, ...)
        __attribute__((format(printf, 4, 5)));
    // The `loglevel` option: a level name (any case) or a decimal library level.
    void SetLevelByName(const std::string& text);
    // Makes the logger the receiver of all library messages and applies LogLevel to them.
    void InstallCallback();

private:
    // The receiver installed with av_log_set_callback; runs on any thread.
    static void LibraryCallback(void* avcl, int level, const char* fmt, va_list vl);
    void Deliver(const TFFBaseComponent* sender, uint32_t threadId, TLogLevel level,
                 std::string msg);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The single logger, created on first use.
TFFLogger* FFLogger();

// The system identifier of the calling thread.
uint32_t CurrentThreadId();

} // namespace quovo
