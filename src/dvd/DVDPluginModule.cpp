// The exports of dvdplugin.so. Disc structure comes from the helper process (DescribeDisc);
// reading blocks of a described title stays in this process.
#include "DVDHelperClient.h"
#include "DVDName.h"
#include "DVDPluginExports.h"
#include "DVDTitleReader.h"
#include "FFmpegException.h"

extern "C" {
#include <libavutil/error.h>
}

#include <dvdread/version.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

using namespace quovo;

namespace {

struct TPluginState {
    std::mutex mutex;
    // --- guarded by mutex
    std::shared_ptr<const DVDDiscInfo> disc; // the last enumerated disc
    DVDPlayParams params{0, 0, 99, 0, 0, 2, 0};
};

TPluginState& State() {
    static TPluginState state;
    return state;
}

std::atomic<DVDLogCallback> g_log{nullptr};

const TDVDLogSink& Sink() {
    static const TDVDLogSink sink = [](TDVDLogLevel level, const std::string& text) {
        if (DVDLogCallback cb = g_log.load()) {
            cb(static_cast<int32_t>(level), text.c_str());
        }
    };
    return sink;
}

void SetWhy(char* why, int32_t size, const std::string& text) {
    if (why && size > 0) {
        const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
        std::memcpy(why, text.data(), n);
        why[n] = 0;
    }
}

} // namespace

#define QUOVO_EXPORT extern "C" __attribute__((visibility("default")))

QUOVO_EXPORT int32_t DVDInitialize() {
    return 1;
}

QUOVO_EXPORT int32_t DVDEnumTitle(const char* path) {
    if (!path || !*path) {
        return 0;
    }
    std::shared_ptr<const DVDDiscInfo> disc = DescribeDisc(path, Sink());
    TPluginState& s = State();
    std::lock_guard lock(s.mutex);
    s.disc = disc;
    return disc->titleCount;
}

QUOVO_EXPORT int32_t DVDGetTitle(int32_t index, DVDTitleInfo* info) {
    if (!info) {
        return 0;
    }
    TPluginState& s = State();
    std::lock_guard lock(s.mutex);
    if (!s.disc || index < 0 || index >= static_cast<int32_t>(s.disc->titles.size()) ||
        !s.disc->titles[static_cast<size_t>(index)].valid) {
        return 0;
    }
    std::memcpy(info, &s.disc->titles[static_cast<size_t>(index)].info, sizeof *info);
    return 1;
}

QUOVO_EXPORT void DVDSetParam(const DVDPlayParams* params) {
    if (params) {
        TPluginState& s = State();
        std::lock_guard lock(s.mutex);
        s.params = *params;
    }
}

QUOVO_EXPORT int32_t DVDGetLibVersion() {
    return DVDREAD_VERSION;
}

QUOVO_EXPORT void DVDSetLogCallback(DVDLogCallback callback) {
    g_log.store(callback);
}

QUOVO_EXPORT void* DVDStreamOpen(const char* name, int32_t* error, char* why, int32_t whySize) {
    int32_t dummy = 0;
    int32_t& err = error ? *error : dummy;
    TOpenDVDName parsed;
    if (!name || !ParseOpenDVDName(name, parsed)) {
        err = AVERROR(EINVAL);
        SetWhy(why, whySize, "malformed DVD name");
        return nullptr;
    }
    if (!parsed.hasParams) {
        TPluginState& s = State();
        std::lock_guard lock(s.mutex);
        parsed.params = s.params;
    }
    std::shared_ptr<const DVDDiscInfo> disc = DescribeDisc(parsed.path, Sink());
    if (disc->structureUnreadable) {
        err = kErrorDiscStructure;
        SetWhy(why, whySize, "cannot read VIDEO_TS.IFO of " + parsed.path);
        return nullptr;
    }
    if (disc->titleCount < 1) {
        err = AVERROR(ENOENT);
        SetWhy(why, whySize, "no DVD titles found in " + parsed.path);
        return nullptr;
    }
    std::unique_ptr<TDVDTitleReader> reader;
    std::string reason;
    err = TDVDTitleReader::Open(parsed.path, *disc, parsed.params, &Sink(), reader, reason);
    if (err < 0) {
        SetWhy(why, whySize, reason);
        return nullptr;
    }
    return reader.release();
}

QUOVO_EXPORT int32_t DVDStreamRead(void* stream, uint8_t* buf, int32_t size) {
    return static_cast<TDVDTitleReader*>(stream)->Read(buf, size);
}

QUOVO_EXPORT int64_t DVDStreamSeek(void* stream, int64_t offset, int32_t whence) {
    return static_cast<TDVDTitleReader*>(stream)->Seek(offset, whence);
}

QUOVO_EXPORT void DVDStreamClose(void* stream) {
    delete static_cast<TDVDTitleReader*>(stream);
}

QUOVO_EXPORT int32_t DVDStreamWindow(void* stream, int64_t* startUs, int64_t* lengthUs) {
    if (!stream || !startUs || !lengthUs) {
        return 0;
    }
    const auto* reader = static_cast<const TDVDTitleReader*>(stream);
    *startUs = reader->WindowStartUs();
    *lengthUs = reader->WindowLengthUs();
    return *startUs >= 0 || *lengthUs > 0 ? 1 : 0;
}

QUOVO_EXPORT int32_t DVDStreamTitle(void* stream, DVDPlayParams* params, DVDTitleInfo* info) {
    if (!stream || !params || !info) {
        return 0;
    }
    const auto* reader = static_cast<const TDVDTitleReader*>(stream);
    *params = reader->Params();
    std::memcpy(info, &reader->Title(), sizeof *info);
    return 1;
}
