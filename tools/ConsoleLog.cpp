#include "ConsoleLog.h"

#include "TFFLogger.h"

#include <cstdio>
#include <exception>

namespace quovo {

bool LogToStandardError(const std::string& level, std::string& error) {
    TFFLogger* logger = FFLogger();
    // Written on the thread that logs: the tools have no event loop to hand messages to.
    logger->SetTriggerEventInMainThread(false);
    logger->SetOnLog([](TFFBaseComponent*, uint32_t, TLogLevel, const std::string& msg) {
        std::fprintf(stderr, "%s\n", msg.c_str());
    });
    try {
        logger->SetLevelByName(level);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    return true;
}

} // namespace quovo
