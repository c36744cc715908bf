#include "TFFmpegLoader.h"

#include "LibraryIO.h"
#include "MyUtils.h"
#include "TFFLogger.h"

extern "C" {
#include <libavutil/log.h>
}

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace quovo {
namespace {

constexpr TLibraryIndex kAll[] = {libAVCodec, libAVDevice, libAVFilter, libAVFormat,
                                  libAVUtil,  libSWScale,  libCRT,      libSDL};

// Which libraries of a loader are loaded, as a mask.
unsigned LoadedMask(const TFFmpegLoader& loader) {
    unsigned mask = 0;
    for (TLibraryIndex i : kAll) {
        if (loader.LibraryLoaded(i)) {
            mask |= LibMask(i);
        }
    }
    return mask;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

TEST(TFFmpegLoaderTest, LibrariesAreNamedByTheirSonames) {
    TFFmpegLoader loader;
    const char* names[] = {"libavcodec.so.59",  "libavdevice.so.59", "libavfilter.so.8",
                           "libavformat.so.59", "libavutil.so.57",   "libswscale.so.6",
                           "libc.so.6",         "libSDL2-2.0.so.0"};
    for (TLibraryIndex i : kAll) {
        EXPECT_EQ(loader.LibraryFileName(i), names[i]) << "index " << i;
    }
    loader.SetLibraryFileName(libAVFilter, "/opt/ff/libavfilter.so.8");
    EXPECT_EQ(loader.LibraryFileName(libAVFilter), "/opt/ff/libavfilter.so.8");
    loader.SetLibraryFileName(libAVFilter, "");
    EXPECT_EQ(loader.LibraryFileName(libAVFilter), "libavfilter.so.8");
}

TEST(TFFmpegLoaderTest, EachMaskLoadsExactlyItsLibraries) {
    const struct {
        const char* what;
        unsigned mask;
    } cases[] = {
        {"converter", ConverterLibraryMask},
        {"player", PlayerLibraryMask},
        {"SDL alone", LibMask(libSDL)},
        {"avdevice alone", LibMask(libAVDevice)},
    };
    for (const auto& c : cases) {
        TFFmpegLoader loader;
        loader.SetInstallLogger(false);
        ASSERT_TRUE(loader.LoadLibraries(c.mask)) << c.what << ": " << loader.LastLoadError();
        EXPECT_TRUE(loader.LibrariesLoaded(c.mask)) << c.what;
        EXPECT_EQ(LoadedMask(loader), c.mask) << c.what;
        // Loading again costs nothing and changes nothing.
        EXPECT_TRUE(loader.LoadLibraries(c.mask)) << c.what;
        loader.UnloadLibraries(c.mask);
        EXPECT_EQ(LoadedMask(loader), 0u) << c.what;
        EXPECT_FALSE(loader.LibrariesLoaded(c.mask)) << c.what;
    }
    EXPECT_EQ(ConverterLibraryMask & (LibMask(libAVDevice) | LibMask(libSDL)), 0u);
}

TEST(TFFmpegLoaderTest, AFailingLibraryUnloadsTheWholeMask) {
    const std::string folder = ExtractPath(QUOVO_TEST_FAKE_SWSCALE);
    const std::string fake = ExtractName(QUOVO_TEST_FAKE_SWSCALE);
    // clang-format off
    const struct {
        const char* what;
        TLibraryIndex index;
        std::string fileName;
        std::string libraryPath;
        std::string errorStart;
    } cases[] = {
        {"missing avformat after avcodec", libAVFormat, "libquovo-no-such-library.so.1", "", "Load library libquovo-no-such-library.so.1 error: "},
        {"missing file with a folder", libAVUtil, "/nonexistent/libavutil.so.57", "", "Load library /nonexistent/libavutil.so.57 error: "},
        {"library folder used for a bare name", libSWScale, "libquovo-no-such-library.so.1", "/nonexistent-folder", "Load library /nonexistent-folder/libquovo-no-such-library.so.1 error: "},
        {"not the library asked for", libAVCodec, "libc.so.6", "", "Load function avcodec_version@libc.so.6 error: "},
        {"the export only in a dependency", libAVCodec, "libavformat.so.59", "", "Load function avcodec_version@libavformat.so.59 error: "},
        {"another major version from the library folder", libSWScale, fake, folder, "Load library " + folder + fake + " error: version 5.9.100 found, major version 6 required"},
    };
    // clang-format on
    for (const auto& c : cases) {
        TFFmpegLoader loader;
        loader.SetInstallLogger(false);
        // A library loaded by an earlier call is unloaded with the rest as well (an override
        // of a library that is already loaded would have no effect).
        const TLibraryIndex earlier = c.index == libAVCodec ? libCRT : libAVCodec;
        ASSERT_TRUE(loader.LoadLibraries(LibMask(earlier)));
        loader.SetLibraryPath(c.libraryPath);
        loader.SetLibraryFileName(c.index, c.fileName);
        EXPECT_FALSE(loader.LoadLibraries(ConverterLibraryMask)) << c.what;
        EXPECT_TRUE(StartsWith(loader.LastLoadError(), c.errorStart))
            << c.what << ": " << loader.LastLoadError();
        EXPECT_EQ(LoadedMask(loader), 0u) << c.what;

        loader.SetLibraryFileName(c.index, "");
        EXPECT_TRUE(loader.LoadLibraries(ConverterLibraryMask))
            << c.what << ": " << loader.LastLoadError();
    }
}

TEST(TFFmpegLoaderTest, TheFakeLibraryIsFoundOnlyThroughTheLibraryFolder) {
    TFFmpegLoader loader;
    loader.SetLibraryFileName(libSWScale, ExtractName(QUOVO_TEST_FAKE_SWSCALE));
    EXPECT_FALSE(loader.LoadLibraries(LibMask(libSWScale)));
    // Not on the normal search path: the message is the dynamic loader's own.
    EXPECT_NE(loader.LastLoadError().find("cannot open shared object file"), std::string::npos)
        << loader.LastLoadError();
}

TEST(TFFmpegLoaderTest, AnEmptyMaskIsAProgrammingError) {
    TFFmpegLoader loader;
    EXPECT_THROW(loader.LoadLibraries(0), std::logic_error);
    EXPECT_THROW(loader.LibrariesLoaded(0), std::logic_error);
}

TEST(TFFmpegLoaderTest, LoadingAvutilInstallsTheLoggerWhenAsked) {
    TFFLogger* logger = FFLogger();
    logger->SetTriggerEventInMainThread(true);
    logger->SetLogLevel(llInfo);
    for (bool install : {false, true}) {
        // Back to the libraries' own callback, then see whether loading takes it over.
        av_log_set_callback(av_log_default_callback);
        std::vector<std::string> lines;
        logger->SetOnLog([&](TFFBaseComponent*, uint32_t, TLogLevel, const std::string& msg) {
            if (msg.find("install probe") != std::string::npos) {
                lines.push_back(msg);
            }
        });
        TFFmpegLoader loader;
        loader.SetInstallLogger(install);
        ASSERT_TRUE(loader.LoadLibraries(LibMask(libAVUtil)));
        av_log(nullptr, AV_LOG_ERROR, "install probe\n");
        EXPECT_EQ(lines.size(), install ? 1u : 0u) << "install flag " << install;
        logger->SetOnLog(nullptr);
    }
    logger->InstallCallback();
}

// Registration cannot be undone, so this runs in a fresh process of its own.
TEST(TFFmpegLoaderDeathTest, LoadingAvformatRegistersTheUnicodeProtocol) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const bool before = IOProtocolRegistered("unicode");
            TFFmpegLoader loader;
            loader.SetInstallLogger(false);
            const bool loaded = loader.LoadLibraries(LibMask(libAVFormat));
            std::_Exit(!before && loaded && IOProtocolRegistered("unicode") ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace quovo
