// Shared pieces of the editing dialogs' tests: a generated clip and a row record for it.
#pragma once

#include "Fixtures.h"
#include "QtTestApp.h"
#include "TlvFilesRecord.h"

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

using test::WaitUntil;

} // namespace quovo::editingtest
