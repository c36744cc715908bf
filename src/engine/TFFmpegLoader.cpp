#include "TFFmpegLoader.h"

#include "LibraryIO.h"
#include "MyUtils.h"
#include "TFFLogger.h"

extern "C" {
#include <libavcodec/version.h>
#include <libavdevice/version.h>
#include <libavfilter/version.h>
#include <libavformat/version.h>
#include <libavutil/version.h>
#include <libswscale/version.h>
}

#include <array>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <dlfcn.h>
#include <link.h>

namespace quovo {

namespace {

constexpr int kLibraryCount = 8;

// How a library's run-time version is read after its exports are found.
enum class VersionCheck { None, FFmpeg, SDL };

struct LibraryItem {
    std::string fileName; // the soname
    VersionCheck check;
    std::string versionExport; // an FFmpeg "<lib>_version" or SDL_GetVersion
    int expectedMajor;
    std::vector<const char*> exports; // required besides the version export
};

LibraryItem FFmpegLibrary(const std::string& base, int major,
                          std::vector<const char*> exports = {}) {
    return {"lib" + base + ".so." + std::to_string(major), VersionCheck::FFmpeg, base + "_version",
            major, std::move(exports)};
}

// The sonames follow the major versions the program is built against; the run-time check below
// refuses a library of another major version under the same file name.
const std::array<LibraryItem, kLibraryCount>& Items() {
    static const std::array<LibraryItem, kLibraryCount> items = {
        FFmpegLibrary("avcodec", LIBAVCODEC_VERSION_MAJOR),
        FFmpegLibrary("avdevice", LIBAVDEVICE_VERSION_MAJOR, {"avdevice_register_all"}),
        FFmpegLibrary("avfilter", LIBAVFILTER_VERSION_MAJOR),
        FFmpegLibrary("avformat", LIBAVFORMAT_VERSION_MAJOR),
        FFmpegLibrary("avutil", LIBAVUTIL_VERSION_MAJOR),
        FFmpegLibrary("swscale", LIBSWSCALE_VERSION_MAJOR),
        // The C library serves the engine's own files, formatting and number parsing.
        LibraryItem{"libc.so.6",
                    VersionCheck::None,
                    "",
                    0,
                    {"fclose", "fopen", "fprintf", "fread", "fseek", "ftell", "fwrite", "snprintf",
                     "strtod", "strtok", "strtol", "vsprintf"}},
        // Not linked into the engine: the player's sound output opens it itself.
        LibraryItem{"libSDL2-2.0.so.0",
                    VersionCheck::SDL,
                    "SDL_GetVersion",
                    2,
                    {"SDL_Init", "SDL_Quit", "SDL_GetError", "SDL_OpenAudioDevice",
                     "SDL_PauseAudioDevice", "SDL_CloseAudioDevice", "SDL_MixAudioFormat",
                     "SDL_GetCurrentAudioDriver"}},
    };
    return items;
}

struct SdlVersion {
    uint8_t major;
    uint8_t minor;
    uint8_t patch;
};

// Whether `address` lies in the library of `handle` itself.
bool ExportedBy(void* handle, void* address) {
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr(address, &info) == 0 || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 ||
        map == nullptr || info.dli_fname == nullptr || map->l_name == nullptr) {
        return false;
    }
    return std::strcmp(info.dli_fname, map->l_name) == 0;
}

std::string DlErrorText() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown error";
}

} // namespace

struct TFFmpegLoader::Impl {
    struct Status {
        std::string overrideName;
        std::string path; // as handed to dlopen
        void* handle = nullptr;
        bool loaded = false;
    };

    mutable std::mutex mutex;
    // --- guarded by mutex
    std::string libraryPath;
    std::array<Status, kLibraryCount> status;
    std::string lastError;
    bool installLogger = true;

    std::string FileName(int index) const {
        const std::string& name = status[index].overrideName;
        return name.empty() ? Items()[index].fileName : name;
    }

    // Finds the exports and checks the run-time version; false with lastError set otherwise.
    bool Bind(int index, const std::string& fileName, const std::string& path) {
        const LibraryItem& item = Items()[index];
        void* handle = status[index].handle;
        auto find = [&](const char* name) -> void* {
            dlerror();
            void* address = dlsym(handle, name);
            if (address == nullptr) {
                lastError = StringPrintf("Load function %s@%s error: %s", name, fileName.c_str(),
                                         DlErrorText().c_str());
            } else if (!ExportedBy(handle, address)) {
                // dlsym also searches the library's dependencies: libavformat would answer
                // for avcodec_version.
                lastError = StringPrintf("Load function %s@%s error: %s", name, fileName.c_str(),
                                         "defined only in a library it depends on");
                address = nullptr;
            }
            return address;
        };
        for (const char* name : item.exports) {
            if (find(name) == nullptr) {
                return false;
            }
        }
        if (item.check == VersionCheck::None) {
            return true;
        }
        void* versionAddress = find(item.versionExport.c_str());
        if (versionAddress == nullptr) {
            return false;
        }
        unsigned major = 0;
        std::string version;
        if (item.check == VersionCheck::FFmpeg) {
            const unsigned v = reinterpret_cast<unsigned (*)()>(versionAddress)();
            major = v >> 16;
            version = StringPrintf("%u.%u.%u", v >> 16, (v >> 8) & 0xff, v & 0xff);
        } else {
            SdlVersion v{};
            reinterpret_cast<void (*)(SdlVersion*)>(versionAddress)(&v);
            major = v.major;
            version = StringPrintf("%u.%u.%u", v.major, v.minor, v.patch);
        }
        if (major != static_cast<unsigned>(item.expectedMajor)) {
            const std::string why = StringPrintf("version %s found, major version %d required",
                                                 version.c_str(), item.expectedMajor);
            lastError = StringPrintf("Load library %s error: %s", path.c_str(), why.c_str());
            return false;
        }
        return true;
    }

    void Unload(int index) {
        Status& st = status[index];
        if (st.handle != nullptr) {
            dlclose(st.handle);
        }
        st.handle = nullptr;
        st.loaded = false;
    }

    bool LoadOne(int index) {
        Status& st = status[index];
        if (st.handle == nullptr) {
            const std::string fileName = FileName(index);
            const size_t slash = fileName.rfind('/');
            std::string folder = slash == std::string::npos ? "" : fileName.substr(0, slash + 1);
            const std::string name = fileName.substr(folder.size());
            const bool ownFolder = !folder.empty();
            if (!ownFolder && !libraryPath.empty()) {
                folder = AddTrailingSlash(libraryPath);
            }
            const std::string full = folder + name;
            // A name in the library folder is loaded from there when it exists, else through the
            // normal search. dlopen resolves the library's own dependencies itself, so neither
            // the current folder nor any search path needs changing.
            const std::string path = ownFolder || GetFileSize64(full) >= 0 ? full : name;
            // Never unmapped, even when unloaded: a library's threads or callbacks (the sound
            // output's, the log callback) may still run after the loader let go of it.
            st.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
            if (st.handle == nullptr) {
                lastError =
                    StringPrintf("Load library %s error: %s", full.c_str(), DlErrorText().c_str());
                return false;
            }
            st.path = path;
            st.loaded = false;
        }
        if (!st.loaded) {
            st.loaded = Bind(index, FileName(index), st.path);
        }
        if (!st.loaded) {
            Unload(index);
        }
        return st.loaded;
    }
};

TFFmpegLoader::TFFmpegLoader() : impl_(std::make_unique<Impl>()) {}

TFFmpegLoader::~TFFmpegLoader() {
    for (int i = 0; i < kLibraryCount; ++i) {
        impl_->Unload(i);
    }
}

void TFFmpegLoader::SetLibraryPath(const std::string& folder) {
    std::lock_guard lock(impl_->mutex);
    impl_->libraryPath = folder;
}

const std::string& TFFmpegLoader::LibraryPath() const {
    return impl_->libraryPath;
}

void TFFmpegLoader::SetLibraryFileName(int index, const std::string& fileName) {
    if (index < 0 || index >= kLibraryCount) {
        throw std::out_of_range("Library index out of range.");
    }
    std::lock_guard lock(impl_->mutex);
    impl_->status[index].overrideName = fileName;
}

std::string TFFmpegLoader::LibraryFileName(int index) const {
    if (index < 0 || index >= kLibraryCount) {
        return {};
    }
    std::lock_guard lock(impl_->mutex);
    return impl_->FileName(index);
}

bool TFFmpegLoader::LoadLibraries(unsigned mask) {
    if (mask == 0) {
        throw std::logic_error("LoadLibraries called with an empty library mask.");
    }
    std::lock_guard lock(impl_->mutex);
    for (int i = 0; i < kLibraryCount; ++i) {
        if ((mask & LibMask(static_cast<TLibraryIndex>(i))) == 0) {
            continue;
        }
        const bool wasLoaded = impl_->status[i].loaded;
        if (!impl_->LoadOne(i)) {
            for (int j = 0; j < kLibraryCount; ++j) {
                if (mask & LibMask(static_cast<TLibraryIndex>(j))) {
                    impl_->Unload(j);
                }
            }
            return false;
        }
        if (i == libAVUtil && !wasLoaded && impl_->installLogger) {
            FFLogger()->InstallCallback();
        }
        if (i == libAVFormat) {
            RegisterUnicodeProtocol(); // a second registration is ignored
        }
    }
    return true;
}

bool TFFmpegLoader::LibrariesLoaded(unsigned mask) const {
    if (mask == 0) {
        throw std::logic_error("LibrariesLoaded called with an empty library mask.");
    }
    std::lock_guard lock(impl_->mutex);
    for (int i = 0; i < kLibraryCount; ++i) {
        const auto& st = impl_->status[i];
        if ((mask & LibMask(static_cast<TLibraryIndex>(i))) && !(st.handle && st.loaded)) {
            return false;
        }
    }
    return true;
}

bool TFFmpegLoader::LibraryLoaded(int index) const {
    if (index < 0 || index >= kLibraryCount) {
        return false;
    }
    std::lock_guard lock(impl_->mutex);
    const auto& st = impl_->status[index];
    return st.handle != nullptr && st.loaded;
}

void TFFmpegLoader::UnloadLibraries(unsigned mask) {
    std::lock_guard lock(impl_->mutex);
    for (int i = 0; i < kLibraryCount; ++i) {
        if (mask & LibMask(static_cast<TLibraryIndex>(i))) {
            impl_->Unload(i);
        }
    }
}

std::string TFFmpegLoader::LastLoadError() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->lastError;
}

void TFFmpegLoader::SetInstallLogger(bool value) {
    std::lock_guard lock(impl_->mutex);
    impl_->installLogger = value;
}

TFFmpegLoader& FFLoader() {
    // Never destroyed: threads of the player may still use the libraries while the process exits.
    static TFFmpegLoader* loader = new TFFmpegLoader;
    return *loader;
}

std::recursive_mutex& CodecLock() {
    static std::recursive_mutex* lock = new std::recursive_mutex;
    return *lock;
}

} // namespace quovo
