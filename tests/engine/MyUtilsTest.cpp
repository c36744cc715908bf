#include "MyUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <unistd.h>

namespace quovo {
namespace {

namespace fs = std::filesystem;

TEST(MyUtilsTest, FormatFileSizeSwitchesUnitsAboveEachPowerOf1024) {
    const struct {
        int64_t size;
        const char* text;
    } cases[] = {
        {0, "0 Byte"},
        {-5, "-5 Byte"},
        {1024, "1024 Byte"},
        {1025, "1.00 KB"},
        {1536, "1.50 KB"},
        {1048576, "1024.00 KB"},
        {1048577, "1.00 MB"},
        {1073741824, "1024.00 MB"},
        {1073741825, "1.00 GB"},
        {5368709120, "5.00 GB"},
        {int64_t(3) << 40, "3072.00 GB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatFileSize(c.size), c.text) << c.size;
    }
}

TEST(MyUtilsTest, GetFileSize64OnlyForRegularFiles) {
    const fs::path dir = fs::temp_directory_path() / ("quovo-myutils-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path small = dir / "klein ü.bin";
    std::ofstream(small, std::ios::binary) << std::string(12345, 'x');
    // A sparse file beyond 32 bits costs no disk space.
    const fs::path large = dir / "large.bin";
    std::ofstream(large, std::ios::binary).put('x');
    fs::resize_file(large, (int64_t(5) << 30) + 7);

    EXPECT_EQ(GetFileSize64(small.string()), 12345);
    EXPECT_EQ(GetFileSize64(large.string()), (int64_t(5) << 30) + 7);
    EXPECT_EQ(GetFileSize64(dir.string()), -1);
    EXPECT_EQ(GetFileSize64((dir / "missing").string()), -1);
    EXPECT_EQ(GetFileSize64(""), -1);
    fs::remove_all(dir);
}

// Sets TZ for one test and puts the previous value back.
class TimeZone {
public:
    explicit TimeZone(const char* tz) {
        if (const char* old = getenv("TZ")) {
            old_ = old;
        }
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZone() {
        if (old_) {
            setenv("TZ", old_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> old_;
};

TEST(MyUtilsTest, UnixTimesBecomeLocalDaysSince1899) {
    const struct {
        const char* tz;
        int64_t unix;
        double dateTime;
    } cases[] = {
        {"UTC0", 0, 25569.0},
        {"UTC0", 86400, 25570.0},
        {"UTC0", -25569LL * 86400, 0.0},
        {"UTC0", 1700000000, 25569.0 + 1700000000.0 / 86400.0},
        {"QVT-3", 0, 25569.125}, // three hours east of UTC
        {"QVT+5", 0, 25569.0 - 5.0 / 24.0},
    };
    for (const auto& c : cases) {
        TimeZone zone(c.tz);
        EXPECT_NEAR(UnixToLocalDateTime(c.unix), c.dateTime, 1e-9) << c.tz << " " << c.unix;
        EXPECT_EQ(LocalDateTimeToUnix(c.dateTime), c.unix) << c.tz << " " << c.unix;
    }
    TimeZone zone("QVT-3");
    // Rounded to whole seconds.
    EXPECT_EQ(LocalDateTimeToUnix(25569.125 + 0.4 / 86400.0), 0);
    EXPECT_EQ(LocalDateTimeToUnix(25569.125 + 0.6 / 86400.0), 1);
    EXPECT_EQ(DateTimeText("yyyy-mm-dd hh:nn:ss", UnixToLocalDateTime(1700000000)),
              "2023-11-15 01:13:20");
}

TEST(MyUtilsTest, DateTimeTextTokens) {
    const struct {
        const char* format;
        double dateTime;
        const char* text;
    } cases[] = {
        {"yyyy-mm-dd hh:nn:ss", 0.0, "1899-12-30 00:00:00"},
        {"yyyy-mm-dd hh:nn:ss", 2.5, "1900-01-01 12:00:00"},
        {"yyyy-mm-dd hh:nn:ss", 45351.0, "2024-02-29 00:00:00"},
        {"yyyy-mm-dd hh:nn:ss", 45351.0 + 86399.9996 / 86400.0, "2024-03-01 00:00:00"},
        {"yyyy-mm-dd hh:nn:ss", 45351.0 + 3723.0 / 86400.0, "2024-02-29 01:02:03"},
        {"dd/mm/yyyy at hh.nn", 36526.75, "01/01/2000 at 18.00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateTimeText(c.format, c.dateTime), c.text) << c.dateTime;
    }
}

TEST(MyUtilsTest, PathsSplitAtTheLastSlashOrColon) {
    const struct {
        const char* name;
        const char* path;
        const char* file;
    } cases[] = {
        {"/home/u/Videos/clip.mp4", "/home/u/Videos/", "clip.mp4"},
        {"clip.mp4", "", "clip.mp4"},
        {"/home/u/Videos/", "/home/u/Videos/", ""},
        {"opendvd:/dev/sr0", "opendvd:/dev/", "sr0"},
        {"unicode:utf8:name", "unicode:utf8:", "name"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractPath(c.name), c.path) << c.name;
        EXPECT_EQ(ExtractName(c.name), c.file) << c.name;
    }
    EXPECT_EQ(AddTrailingSlash("/tmp"), "/tmp/");
    EXPECT_EQ(AddTrailingSlash("/tmp/"), "/tmp/");
    EXPECT_EQ(AddTrailingSlash(""), "/");
}

TEST(MyUtilsTest, SplitFirstTakesTheHeadAndOptionallyRemovesIt) {
    const struct {
        const char* text;
        const char* separator;
        bool remove;
        const char* head;
        const char* rest;
    } cases[] = {
        {"a=b=c", "=", false, "a", "a=b=c"},
        {"a=b=c", "=", true, "a", "b=c"},
        {"key::value", "::", true, "key", "value"},
        {"no separator", "=", true, "no separator", ""},
        {"no separator", "=", false, "no separator", "no separator"},
        {"=lead", "=", true, "", "lead"},
        {"", "=", true, "", ""},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(SplitFirst(text, c.separator, c.remove), c.head) << c.text;
        EXPECT_EQ(text, c.rest) << c.text;
    }
}

TEST(MyUtilsTest, TextHelpers) {
    EXPECT_EQ(Trim("  \t value with inner  space \r\n"), "value with inner  space");
    EXPECT_EQ(Trim(" \t\n"), "");
    EXPECT_EQ(LowerCase("MiXeD 123 ÄÖ"), "mixed 123 ÄÖ"); // ASCII letters only
    const std::string longText(5000, 'z');
    EXPECT_EQ(StringPrintf("%s|%d|%.3f", longText.c_str(), -7, 2.5), longText + "|-7|2.500");
    EXPECT_EQ(StringPrintf("%s", ""), "");
}

} // namespace
} // namespace quovo
