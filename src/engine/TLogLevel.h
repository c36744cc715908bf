#pragma once

namespace quovo {

enum TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// Library level of a TLogLevel: (ordinal - 1) * 8.
constexpr int LibraryLevelOf(TLogLevel level) {
    return (static_cast<int>(level) - 1) * 8;
}

// TLogLevel of a library level: level / 8 truncated toward zero, plus 1, limited to 0..7.
constexpr TLogLevel LogLevelOfLibrary(int libraryLevel) {
    int v = libraryLevel / 8 + 1;
    if (v < 0) {
        v = 0;
    }
    if (v > 7) {
        v = 7;
    }
    return static_cast<TLogLevel>(v);
}

} // namespace quovo
