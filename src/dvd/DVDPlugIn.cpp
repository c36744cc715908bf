#include "DVDPlugIn.h"
#include "DVDTitleReader.h"

#include "DVDDiscInfo.h"
#include "DVDPluginExports.h"
#include "DVDSubpicture.h"
#include "DVDTitleMarks.h"
#include "LibraryIO.h"
#include "TFFLogger.h"

extern "C" {
#include <libavutil/error.h>
}

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include <dlfcn.h>

namespace quovo {

namespace {

constexpr const char* kNotLoaded = "DVD plug-in library is not loaded.";

struct TPlugin {
    std::mutex mutex;
    // --- guarded by mutex
    void* handle = nullptr;
    bool loaded = false;
    std::string error;
    DVDInitializeFn initialize = nullptr;
    DVDEnumTitleFn enumTitle = nullptr;
    DVDGetTitleFn getTitle = nullptr;
    DVDSetParamFn setParam = nullptr;
    DVDGetLibVersionFn getLibVersion = nullptr;
    DVDSetLogCallbackFn setLogCallback = nullptr;
    DVDStreamOpenFn streamOpen = nullptr;
    DVDStreamReadFn streamRead = nullptr;
    DVDStreamSeekFn streamSeek = nullptr;
    DVDStreamCloseFn streamClose = nullptr;
    DVDStreamTitleFn streamTitle = nullptr; // optional: a plug-in without it shows no subtitles
    DVDStreamWindowFn streamWindow = nullptr; // optional: chapter ranges then end by the IFO

    void Clear() {
        if (handle) {
            dlclose(handle);
        }
        handle = nullptr;
        loaded = false;
        initialize = nullptr;
        enumTitle = nullptr;
        getTitle = nullptr;
        setParam = nullptr;
        getLibVersion = nullptr;
        setLogCallback = nullptr;
        streamOpen = nullptr;
        streamRead = nullptr;
        streamSeek = nullptr;
        streamClose = nullptr;
        streamTitle = nullptr;
        streamWindow = nullptr;
    }
};

TPlugin& Plugin() {
    static TPlugin plugin;
    return plugin;
}

std::string DlErrorText() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}

void PluginLog(int32_t level, const char* text) {
    static const TLogLevel kLevels[] = {llError, llWarning, llVerbose, llDebug};
    FFLogger()->Log(nullptr, kLevels[std::clamp(level, 0, 3)], std::string("dvd: ") + text);
}

// The "opendvd:" stream as the engine's protocol registry wants it.
class TPluginStream : public TIOProtocolStream {
public:
    TPluginStream(void* stream, DVDStreamReadFn read, DVDStreamSeekFn seek, DVDStreamCloseFn close,
                  DVDStreamTitleFn title, DVDStreamWindowFn window, std::string url)
        : stream_(stream), read_(read), seek_(seek), close_(close), title_(title),
          window_(window), url_(std::move(url)) {}
    ~TPluginStream() override { close_(stream_); }
    TPluginStream(const TPluginStream&) = delete;
    TPluginStream& operator=(const TPluginStream&) = delete;

    int Read(uint8_t* buf, int size) override { return read_(stream_, buf, size); }
    int Write(const uint8_t*, int) override { return AVERROR(EROFS); }
    int64_t Seek(int64_t offset, int whence) override { return seek_(stream_, offset, whence); }
    // The channel count and deinterlace switch the title was chosen with.
    std::vector<std::pair<std::string, std::string>> InputOptions() const override {
        return OpenDVDInputOptions(url_);
    }
    // The subpicture stream the reader keeps: the chosen subtitle, or the forced subpictures.
    std::optional<TSubpictureTrack> SubpictureTrack() const override {
        DVDPlayParams params{};
        DVDTitleInfo title{};
        if (!title_ || title_(stream_, &params, &title) == 0) {
            return std::nullopt;
        }
        const int32_t id = KeptSubpictureStream(title, params);
        const DVDSubtitleInfo* entry = FindSubtitle(title, id);
        if (!entry) {
            return std::nullopt;
        }
        TSubpictureTrack track;
        track.streamId = id;
        track.language = LanguageCode3(entry->LanguageCode);
        track.setupText = SubpictureSetupText(title);
        track.forcedOnly = params.SubtitleID == 0;
        return track;
    }
    // A chapter range starts at its first picture and lasts as its chapters do; the reader
    // goes on a little past it, where the sound of its last moments lies.
    std::optional<TWindow> Window() const override {
        DVDPlayParams params{};
        DVDTitleInfo title{};
        if (!title_ || title_(stream_, &params, &title) == 0) {
            return std::nullopt;
        }
        TWindow window;
        if (!window_ || window_(stream_, &window.startUs, &window.lengthUs) == 0) {
            window = {-1, ChapterRangeLengthUs(title, params)};
        }
        return window;
    }

    // The chosen chapters' marks and the tracks' languages.
    TInputDescription Description() const override {
        DVDPlayParams params{};
        DVDTitleInfo title{};
        if (!title_ || title_(stream_, &params, &title) == 0) {
            return {};
        }
        return DescribeTitle(title, params);
    }

private:
    void* stream_;
    DVDStreamReadFn read_;
    DVDStreamSeekFn seek_;
    DVDStreamCloseFn close_;
    DVDStreamTitleFn title_;
    DVDStreamWindowFn window_;
    std::string url_;
};

int OpenDVDName(const std::string& url, int avioFlags, std::unique_ptr<TIOProtocolStream>& out) {
    if (avioFlags & AVIO_FLAG_WRITE) {
        return AVERROR(EROFS);
    }
    TPlugin& p = Plugin();
    DVDStreamOpenFn open;
    DVDStreamReadFn read;
    DVDStreamSeekFn seek;
    DVDStreamCloseFn close;
    DVDStreamTitleFn title;
    DVDStreamWindowFn window;
    {
        std::lock_guard lock(p.mutex);
        if (!p.loaded) {
            FFLogger()->Log(nullptr, llError, kNotLoaded);
            return AVERROR(ENOSYS);
        }
        open = p.streamOpen;
        read = p.streamRead;
        seek = p.streamSeek;
        close = p.streamClose;
        title = p.streamTitle;
        window = p.streamWindow;
    }
    int32_t error = 0;
    char why[512] = {};
    void* stream = open(url.c_str(), &error, why, sizeof why);
    if (!stream) {
        FFLogger()->Log(nullptr, llError, std::string("dvd: ") + why);
        return error < 0 ? error : AVERROR(EIO);
    }
    out = std::make_unique<TPluginStream>(stream, read, seek, close, title, window, url);
    return 0;
}

template <typename Fn> Fn Require(Fn fn) {
    if (!fn) {
        throw DVDPluginException(kNotLoaded);
    }
    return fn;
}

} // namespace

bool LoadDVDPlugin(const std::string& folder) {
    TPlugin& p = Plugin();
    std::lock_guard lock(p.mutex);
    if (p.handle && p.loaded) {
        return true;
    }
    const std::string file = folder + "/" + kDVDPluginFileName;
    p.handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!p.handle) {
        p.error = "Load library " + file + " error: " + DlErrorText();
        return false;
    }
    auto bind = [&](const char* name, auto& slot) {
        dlerror();
        void* address = dlsym(p.handle, name);
        if (!address) {
            throw DVDPluginException(std::string("Load function ") + name + "@" +
                                     kDVDPluginFileName + " error: " + DlErrorText());
        }
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
    };
    try {
        bind("DVDInitialize", p.initialize);
        if (p.initialize() == 0) {
            p.error = "DVDInitialize of " + file + " failed";
            p.Clear();
            return false;
        }
        bind("DVDEnumTitle", p.enumTitle);
        bind("DVDGetTitle", p.getTitle);
        bind("DVDSetParam", p.setParam);
        bind("DVDGetLibVersion", p.getLibVersion);
        bind("DVDSetLogCallback", p.setLogCallback);
        bind("DVDStreamOpen", p.streamOpen);
        bind("DVDStreamRead", p.streamRead);
        bind("DVDStreamSeek", p.streamSeek);
        bind("DVDStreamClose", p.streamClose);
    } catch (const DVDPluginException& e) {
        p.error = e.what();
        p.Clear();
        return false;
    }
    dlerror();
    p.streamTitle = reinterpret_cast<DVDStreamTitleFn>(dlsym(p.handle, "DVDStreamTitle"));
    p.streamWindow = reinterpret_cast<DVDStreamWindowFn>(dlsym(p.handle, "DVDStreamWindow"));
    p.setLogCallback(&PluginLog);
    p.loaded = true;
    p.error.clear();
    RegisterIOProtocol("opendvd", &OpenDVDName);
    return true;
}

bool DVDPluginLoaded() {
    TPlugin& p = Plugin();
    std::lock_guard lock(p.mutex);
    return p.handle && p.loaded;
}

std::string DVDPluginError() {
    TPlugin& p = Plugin();
    std::lock_guard lock(p.mutex);
    return p.error;
}

int EnumDVDTitles(const std::string& path) {
    DVDEnumTitleFn fn;
    {
        TPlugin& p = Plugin();
        std::lock_guard lock(p.mutex);
        fn = p.enumTitle;
    }
    return Require(fn)(path.c_str());
}

bool GetDVDTitle(int index, DVDTitleInfo& block) {
    DVDGetTitleFn fn;
    {
        TPlugin& p = Plugin();
        std::lock_guard lock(p.mutex);
        fn = p.getTitle;
    }
    Require(fn);
    std::memset(&block, 0, sizeof block);
    return fn(index, &block) != 0;
}

void SetDVDPlayParams(const DVDPlayParams& params) {
    DVDSetParamFn fn;
    {
        TPlugin& p = Plugin();
        std::lock_guard lock(p.mutex);
        fn = p.setParam;
    }
    Require(fn);
    DVDPlayParams copy = params;
    fn(&copy);
}

std::string StreamKindName(int code) {
    static const char* const kNames[] = {"MPEG-1", "MPEG-2", "MPA", "AC3", "DTS", "LPCM", "SUB"};
    return code >= 1 && code <= 7 ? kNames[code - 1] : "Unknown";
}

std::string DefaultDVDPluginFolder() {
    if (const char* env = std::getenv("QUOVO_DVD_PLUGIN_DIR"); env && *env) {
        return env;
    }
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::string beside = self.parent_path().string() + "/LibAV";
    if (!ec && std::filesystem::exists(beside + "/" + kDVDPluginFileName, ec)) {
        return beside;
    }
#ifdef QUOVO_DVD_INSTALL_PLUGIN_DIR
    // An installed program: <prefix>/bin/quovo and <prefix>/lib…/quovo/LibAV.
    const std::string installed =
        (self.parent_path().parent_path() / QUOVO_DVD_INSTALL_PLUGIN_DIR).string();
    if (!ec && std::filesystem::exists(installed + "/" + kDVDPluginFileName, ec)) {
        return installed;
    }
#endif
#ifdef QUOVO_DVD_BUILD_PLUGIN_DIR
    return QUOVO_DVD_BUILD_PLUGIN_DIR;
#else
    return beside;
#endif
}

std::vector<std::pair<std::string, std::string>> OpenDVDInputOptions(const std::string& name) {
    TOpenDVDName parsed;
    if (!ParseOpenDVDName(name, parsed) || !parsed.hasParams) {
        return {};
    }
    std::vector<std::pair<std::string, std::string>> options;
    if (parsed.params.AudioChannels > 0) {
        options.emplace_back("ac", std::to_string(parsed.params.AudioChannels));
    }
    if (parsed.params.Deinterlace != 0) {
        options.emplace_back("deinterlace", "1");
    }
    return options;
}

} // namespace quovo
