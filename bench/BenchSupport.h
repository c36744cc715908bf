// What every benchmark does first, and the engine run they measure.
#pragma once

#include "TCustomFFmpeg.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quovo::bench {

using Options = std::vector<std::pair<std::string, std::string>>;

// Libraries loaded, every message silenced: logging must not be what is measured.
inline void QuietLibraries() {
    FFLogger()->SetTriggerEventInMainThread(false);
    FFLogger()->SetLogLevel(llQuiet);
    FFLoader().LoadLibraries(ConverterLibraryMask);
    av_log_set_level(AV_LOG_QUIET);
}

// One engine run: `out` options are set after the input is opened, before the output is created.
inline void RunEngine(const std::string& in, const std::string& out, const Options& options) {
    TCustomFFmpeg e;
    e.SetOption("v", "-1");
    if (!e.OpenInputFile(in)) {
        throw std::runtime_error(e.LastErrorText());
    }
    for (const auto& [name, value] : options) {
        e.SetOption(name, value);
    }
    if (e.OpenOutputFile(out, false) < 0) {
        throw std::runtime_error(e.LastErrorText());
    }
    e.Transcode();
    e.ReleaseAll();
}

} // namespace quovo::bench
