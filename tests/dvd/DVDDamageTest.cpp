// Damaged, foreign and missing discs: the caller gets "no titles", an invalid title or a failed
// open with a message — never a crash or a hang, whatever libdvdread does in the helper.
#include "DVDPlugIn.h"
#include "DvdTestSupport.h"
#include "LibraryIO.h"
#include "LogCapture.h"
#include "ScopedEnv.h"
#include "TFFLogger.h"
#include "TFFmpeg.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <random>

using namespace quovo;
using fixtures::LogCapture;
using fixtures::ScopedEnv;
namespace fs = std::filesystem;

namespace {

void Truncate(const std::string& path, uintmax_t size) {
    fs::resize_file(path, size);
}

int OpenFails(const std::string& name) {
    std::unique_ptr<TLibraryIO> io;
    return TLibraryIO::Open(name, AVIO_FLAG_READ, io);
}

TEST(DamagedDisc, FolderThatIsNotADvdHasNoTitles) {
    dvdtest::LoadPlugin();
    LogCapture log;
    const std::string dir = dvdtest::ScratchDir("not-a-dvd");
    fixtures::MakeTextFile(dir + "/notes.txt");
    EXPECT_EQ(EnumDVDTitles(dir), 0);
    EXPECT_EQ(EnumDVDTitles(dir + "/no-such-folder"), 0);
    EXPECT_EQ(EnumDVDTitles(fixtures::Fixture("mpeg2-mp2.ts")), 0);
    DVDTitleInfo info;
    EXPECT_FALSE(GetDVDTitle(0, info));
    EXPECT_LT(OpenFails("opendvd:" + dir + "|Title=1"), 0);
    EXPECT_NE(log.Take().find("no DVD titles found in " + dir), std::string::npos);
}

TEST(DamagedDisc, TruncatedIfoFilesLoseTheirTitlesOnly) {
    dvdtest::LoadPlugin();
    LogCapture log;
    // Title set 1 unreadable (IFO and its backup): title 1 invalid, title 2 still there.
    const std::string dir = dvdtest::CopyDiscFolder("truncated-vts");
    Truncate(dir + "/VIDEO_TS/VTS_01_0.IFO", 100);
    Truncate(dir + "/VIDEO_TS/VTS_01_0.BUP", 100);
    ASSERT_EQ(EnumDVDTitles(dir), 2);
    DVDTitleInfo info;
    EXPECT_FALSE(GetDVDTitle(0, info));
    ASSERT_TRUE(GetDVDTitle(1, info));
    EXPECT_EQ(info.Height, 480);
    EXPECT_EQ(OpenFails("opendvd:" + dir + "|Title=1"), AVERROR_INVALIDDATA);
    EXPECT_NE(log.Take().find("title 1 is invalid"), std::string::npos);

    // Only the IFO truncated: libdvdread falls back to the backup.
    const std::string withBackup = dvdtest::CopyDiscFolder("truncated-ifo-only");
    Truncate(withBackup + "/VIDEO_TS/VTS_01_0.IFO", 100);
    ASSERT_EQ(EnumDVDTitles(withBackup), 2);
    EXPECT_TRUE(GetDVDTitle(0, info));

    // The disc's own table unreadable: no titles, and a title opened says why rather than
    // that the files are missing.
    const std::string noVmg = dvdtest::CopyDiscFolder("truncated-vmg");
    Truncate(noVmg + "/VIDEO_TS/VIDEO_TS.IFO", 0);
    Truncate(noVmg + "/VIDEO_TS/VIDEO_TS.BUP", 0);
    EXPECT_EQ(EnumDVDTitles(noVmg), 0);
    EXPECT_EQ(OpenFails("opendvd:" + noVmg + "|Title=1"), kErrorDiscStructure);
    TFFmpeg engine;
    const std::string name = "opendvd:" + noVmg + "|Title=1";
    EXPECT_FALSE(engine.OpenInputFile(name));
    EXPECT_EQ(engine.LastErrorText(), name + ": The disc's structure cannot be read");
}

TEST(DamagedDisc, MissingOrShortVobFailsTheOpenWithAMessage) {
    dvdtest::LoadPlugin();
    LogCapture log;
    const std::string dir = dvdtest::CopyDiscFolder("missing-vob");
    fs::remove(dir + "/VIDEO_TS/VTS_01_1.VOB");
    ASSERT_EQ(EnumDVDTitles(dir), 2);
    EXPECT_LT(OpenFails("opendvd:" + dir + "|Title=1"), 0);
    EXPECT_NE(log.Take().find("cannot open the VOB files of title set 1"), std::string::npos);
    EXPECT_EQ(OpenFails("opendvd:" + dir + "|Title=2"), 0);

    const std::string shortVob = dvdtest::CopyDiscFolder("short-vob");
    Truncate(shortVob + "/VIDEO_TS/VTS_01_1.VOB", 200 * 2048);
    ASSERT_EQ(EnumDVDTitles(shortVob), 2);
    EXPECT_EQ(OpenFails("opendvd:" + shortVob + "|Title=1"), AVERROR_INVALIDDATA);
    EXPECT_NE(log.Take().find("lies outside the VOB files"), std::string::npos);

    // Chapters the title does not have, or an empty range.
    EXPECT_LT(OpenFails("opendvd:" + dir + "|Title=3"), 0);
    EXPECT_EQ(OpenFails("opendvd:" + dvdtest::Disc().folder +
                        "|Title=1,FromChapter=3,"
                        "ToChapter=2"),
              AVERROR(EINVAL));
}

// Stand-ins for a helper that crashes, hangs, babbles or dies half-way.
TEST(DamagedDisc, HelperThatCrashesHangsOrBabblesGivesNoTitles) {
    dvdtest::LoadPlugin();
    LogCapture log;
    struct Case {
        const char* what;
        const char* script;
        int titles;
        const char* message;
    };
    const Case cases[] = {
        {"crash", "kill -SEGV $$", 0, "crashed (signal 11)"},
        {"hang", "exec sleep 60", 0, "timed out"},
        {"garbage", "head -c 300000 /dev/urandom", 0, ""},
        {"babble", "exec cat /dev/zero", 0, "sent too much"},
        // Three titles announced, then death before any title arrives.
        {"half-way", "printf 'H\\004\\000\\000\\000\\003\\000\\000\\000'; kill -KILL $$", 3,
         "crashed (signal 9)"},
    };
    const std::string dir = dvdtest::ScratchDir("fake-helpers");
    ScopedEnv timeout("QUOVO_DVD_HELPER_TIMEOUT_MS", "1500");
    for (const Case& c : cases) {
        const std::string helper = dir + "/" + c.what + ".sh";
        std::ofstream(helper) << "#!/bin/sh\n" << c.script << "\n";
        fs::permissions(helper, fs::perms::owner_all);
        ScopedEnv use("QUOVO_DVD_HELPER", helper);
        const std::string disc = dvdtest::ScratchDir(std::string("disc-") + c.what);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(EnumDVDTitles(disc), c.titles) << c.what;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 20) << c.what; // bounded by the time limit, not by the child
        DVDTitleInfo info;
        for (int i = 0; i < c.titles; ++i) {
            EXPECT_FALSE(GetDVDTitle(i, info)) << c.what;
        }
        const std::string text = log.Take();
        EXPECT_NE(text.find(c.message), std::string::npos) << c.what << ": " << text;
    }
}

// Flips each bit with probability `rate`, from a fixed seed.
void FlipBits(const std::string& path, uint32_t seed, double rate) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::mt19937 rng(seed);
    std::geometric_distribution<size_t> gap(rate);
    for (size_t bit = gap(rng); bit < bytes.size() * 8; bit += 1 + gap(rng)) {
        bytes[bit / 8] = static_cast<char>(bytes[bit / 8] ^ (1 << (bit % 8)));
    }
    f.seekp(0);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(DamagedDisc, BitFlippedIfoFilesNeverTakeTheCallerDown) {
    dvdtest::LoadPlugin();
    LogCapture log;
    ScopedEnv timeout("QUOVO_DVD_HELPER_TIMEOUT_MS", "10000");
    const std::string source = dvdtest::Disc().folder + "/VIDEO_TS";
    int described = 0;
    int crashed = 0;
    int opened = 0;
    constexpr uint32_t kSeeds = 240;
    for (uint32_t seed = 1; seed <= kSeeds; ++seed) {
        const std::string dir = dvdtest::ScratchDir("fuzz-" + std::to_string(seed));
        fs::create_directories(dir + "/VIDEO_TS");
        for (const auto& e : fs::directory_iterator(source)) {
            const std::string name = e.path().filename().string();
            const std::string to = dir + "/VIDEO_TS/" + name;
            if (name.ends_with(".VOB")) {
                fs::create_symlink(e.path(), to);
            } else {
                fs::copy_file(e.path(), to);
                // Odd seeds as zzuf -r 0.01 does; even ones lightly, so that damaged tables
                // still describe titles and the reader follows them.
                FlipBits(to, seed * 7919 + static_cast<uint32_t>(name.size() + name[4]),
                         seed % 2 ? 0.01 : 0.0002);
            }
        }
        const int count = EnumDVDTitles(dir);
        EXPECT_GE(count, 0);
        EXPECT_LE(count, 99);
        for (int i = 0; i < count; ++i) {
            DVDTitleInfo info;
            if (!GetDVDTitle(i, info)) {
                continue;
            }
            ++described;
            EXPECT_GE(info.AudioCount, 0);
            EXPECT_LE(info.AudioCount, 8);
            EXPECT_GE(info.SubtitleCount, 0);
            EXPECT_LE(info.SubtitleCount, 32);
            EXPECT_GE(info.ChapterCount, 1);
            // Reading what the damaged tables point at stays in this process.
            std::unique_ptr<TLibraryIO> io;
            if (TLibraryIO::Open("opendvd:" + dir + "|Title=" + std::to_string(i + 1),
                                 AVIO_FLAG_READ, io) == 0) {
                ++opened;
                std::vector<uint8_t> buf(256 * 1024);
                avio_read(io->Context(), buf.data(), static_cast<int>(buf.size()));
            }
        }
        const std::string text = log.Take();
        crashed += text.find("crashed") != std::string::npos ||
                   text.find("failed (exit status") != std::string::npos;
        fs::remove_all(dir);
    }
    std::printf("%u seeds: %d titles described, %d opened, %d helper crashes or failures\n", kSeeds,
                described, opened, crashed);
    EXPECT_GT(opened, 0) << "the damage left no title to read";
}

} // namespace

namespace {

TEST(DamagedDisc, EncryptedTitleWithoutLibdvdcssIsRefusedWithTheReason) {
    dvdtest::LoadPlugin();
    LogCapture log;
    const std::string dir = dvdtest::CopyDiscFolder("scrambled");
    fixtures::MarkScrambled(dir + "/VIDEO_TS/VTS_01_1.VOB", 16);
    ASSERT_EQ(EnumDVDTitles(dir), 2);
    EXPECT_EQ(OpenFails("opendvd:" + dir + "|Title=1"), kErrorDiscEncrypted);
    EXPECT_NE(log.Take().find("title 1 is encrypted (CSS)"), std::string::npos);
    EXPECT_EQ(OpenFails("opendvd:" + dir + "|Title=2"), 0);
}

} // namespace

namespace {

// The image's file system (UDF and ISO 9660 structures, then the IFO files) damaged: the
// structure is read in the helper, the blocks in this process, which must survive both.
TEST(DamagedDisc, BitFlippedImageNeverTakesTheCallerDown) {
    dvdtest::LoadPlugin();
    LogCapture log;
    ScopedEnv timeout("QUOVO_DVD_HELPER_TIMEOUT_MS", "10000");
    const std::string image = dvdtest::Disc().iso;
    std::ifstream in(image, std::ios::binary);
    std::string head(600 * 2048, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    ASSERT_TRUE(in);
    int opened = 0;
    int readBytes = 0;
    constexpr uint32_t kSeeds = 120;
    for (uint32_t seed = 1; seed <= kSeeds; ++seed) {
        const std::string dir = dvdtest::ScratchDir("iso-fuzz");
        const std::string copy = dir + "/disc.iso";
        fs::copy_file(image, copy);
        {
            std::fstream f(copy, std::ios::binary | std::ios::in | std::ios::out);
            std::string damaged = head;
            std::mt19937 rng(seed);
            std::geometric_distribution<size_t> gap(seed % 2 ? 0.0005 : 0.00002);
            for (size_t bit = gap(rng); bit < damaged.size() * 8; bit += 1 + gap(rng)) {
                damaged[bit / 8] = static_cast<char>(damaged[bit / 8] ^ (1 << (bit % 8)));
            }
            f.write(damaged.data(), static_cast<std::streamsize>(damaged.size()));
        }
        const int count = EnumDVDTitles(copy);
        for (int i = 0; i < count; ++i) {
            DVDTitleInfo info;
            if (!GetDVDTitle(i, info)) {
                continue;
            }
            std::unique_ptr<TLibraryIO> io;
            if (TLibraryIO::Open("opendvd:" + copy + "|Title=" + std::to_string(i + 1),
                                 AVIO_FLAG_READ, io) == 0) {
                ++opened;
                std::vector<uint8_t> buf(128 * 1024);
                readBytes +=
                    std::max(0, avio_read(io->Context(), buf.data(), static_cast<int>(buf.size())));
            }
        }
        log.Take();
    }
    std::printf("%u damaged images: %d titles opened, %d bytes read\n", kSeeds, opened, readBytes);
    EXPECT_GT(opened, 0) << "the damage left no title to read";
}

} // namespace

namespace {

// One helper run per disc for the session; a disc whose files change is described afresh.
TEST(DiscCache, DescribesADiscOnceUntilItChanges) {
    dvdtest::LoadPlugin();
    const std::string dir = dvdtest::CopyDiscFolder("cached-disc");
    const std::string counter = dir + "/runs";
    const std::string helper = dir + "/counting-helper.sh";
    std::ofstream(helper) << "#!/bin/sh\necho run >> '" << counter << "'\nexec '"
                          << QUOVO_DVD_HELPER_PATH << "' \"$@\"\n";
    fs::permissions(helper, fs::perms::owner_all);
    ScopedEnv use("QUOVO_DVD_HELPER", helper);
    auto runs = [&] {
        std::ifstream in(counter);
        int n = 0;
        for (std::string line; std::getline(in, line);) {
            ++n;
        }
        return n;
    };
    DVDTitleInfo info;
    ASSERT_EQ(EnumDVDTitles(dir), 2);
    ASSERT_EQ(EnumDVDTitles(dir), 2);
    EXPECT_TRUE(GetDVDTitle(1, info));
    EXPECT_EQ(runs(), 1);

    // Another disc in between, then the first again: still cached.
    EXPECT_EQ(EnumDVDTitles(dvdtest::ScratchDir("cached-other")), 0);
    ASSERT_EQ(EnumDVDTitles(dir), 2);
    EXPECT_EQ(runs(), 2);

    fs::resize_file(dir + "/VIDEO_TS/VTS_02_0.IFO", 64);
    fs::resize_file(dir + "/VIDEO_TS/VTS_02_0.BUP", 64);
    ASSERT_EQ(EnumDVDTitles(dir), 2);
    EXPECT_EQ(runs(), 3);
    EXPECT_TRUE(GetDVDTitle(0, info));
    EXPECT_FALSE(GetDVDTitle(1, info));
}

} // namespace
