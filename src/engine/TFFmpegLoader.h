// Loading state of the media libraries. The libraries are linked at build time; the loader keeps
// the loading contract (masks, results, messages) and checks the run-time major versions.
#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace quovo {

enum TLibraryIndex {
    libAVCodec = 0,
    libAVDevice = 1,
    libAVFilter = 2,
    libAVFormat = 3,
    libAVUtil = 4,
    libSWScale = 5,
    libCRT = 6,
    libSDL = 7
};

constexpr unsigned LibMask(TLibraryIndex i) {
    return 1u << i;
}
// Libraries of the engine, the conversion component and the probe.
constexpr unsigned ConverterLibraryMask = LibMask(libAVCodec) | LibMask(libAVFilter) |
                                          LibMask(libAVFormat) | LibMask(libAVUtil) |
                                          LibMask(libSWScale) | LibMask(libCRT);
// The player's: the same plus SDL.
constexpr unsigned PlayerLibraryMask = ConverterLibraryMask | LibMask(libSDL);

class TFFmpegLoader {
public:
    TFFmpegLoader();
    ~TFFmpegLoader(); // releases the handles this loader holds
    TFFmpegLoader(const TFFmpegLoader&) = delete;
    TFFmpegLoader& operator=(const TFFmpegLoader&) = delete;

    void SetLibraryPath(const std::string& folder);
    const std::string& LibraryPath() const;
    // Optional file name that replaces the built name of library `index`.
    void SetLibraryFileName(int index, const std::string& fileName);
    // File name of library `index` as it would be loaded (its soname here).
    std::string LibraryFileName(int index) const;

    // Loads the libraries of `mask` in index order; on a failure every library of the mask is
    // unloaded and LastLoadError tells why. An empty mask is a programming error (logic_error).
    bool LoadLibraries(unsigned mask);
    bool LibrariesLoaded(unsigned mask) const;
    bool LibraryLoaded(int index) const;
    void UnloadLibraries(unsigned mask);
    std::string LastLoadError() const;

    // Whether loading avutil installs the logger's callback (default true).
    void SetInstallLogger(bool value);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The loader of the process, created on first use.
TFFmpegLoader& FFLoader();

// Process-wide lock around opening and closing codecs and reading stream information.
std::recursive_mutex& CodecLock();

} // namespace quovo
