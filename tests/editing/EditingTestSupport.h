// Shared pieces of the editing dialogs' tests: a generated clip, a row record for it, and a wait
// that keeps both the Qt events and the main thread's queue running.
#pragma once

#include "Fixtures.h"
#include "MainThread.h"
#include "TlvFilesRecord.h"

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>

namespace quovo::editingtest {

// 4 s of 320x240 25 fps video with a tone, made once per test process.
inline const std::string& Clip() {
    static std::once_flag once;
    static std::string path;
    std::call_once(once, [] {
        path = fixtures::FixtureDir() + "/editing-clip.mkv";
        fixtures::MediaSpec spec;
        spec.durationS = 4.0;
        fixtures::MakeMedia(path, spec);
    });
    return path;
}

inline TlvFilesRecord FileRow(const std::string& path) {
    return MakeFileRecord(0, path, path + ".out.mp4", 4, "lbox");
}

inline bool WaitUntil(const std::function<bool()>& done, double seconds = 15.0) {
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QCoreApplication::processEvents();
        WaitAndDrainMainThreadQueue(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace quovo::editingtest
