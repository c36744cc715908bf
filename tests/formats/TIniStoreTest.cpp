#include "TIniStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quovo {
namespace {

class TIniStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quovo-ini-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "quovo.ini").string();
    }
    void TearDown() override {
        TIniStore::SetReplaceHookForTests(nullptr);
        fs::remove_all(dir_);
    }
    void WriteRaw(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string ReadRaw() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir_;
    std::string path_;
};

TEST_F(TIniStoreTest, MissingFileSectionOrKeyGivesTheDefault) {
    TIniStore ini(path_);
    EXPECT_EQ(ini.ReadString("settings", "OutPutDir", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("settings", "volume", 7), 7);
    EXPECT_TRUE(ini.ReadBool("settings", "snapBmp", true));
    EXPECT_FALSE(fs::exists(path_)) << "reading must not create the file";

    ASSERT_TRUE(ini.WriteString("settings", "OutPutDir", "/tmp/out"));
    EXPECT_EQ(ini.ReadString("other", "OutPutDir", "d"), "d");
    EXPECT_EQ(ini.ReadString("settings", "missing", "d"), "d");
}

TEST_F(TIniStoreTest, SectionsAndKeysMatchWithoutCase) {
    TIniStore ini(path_);
    ASSERT_TRUE(ini.WriteString("formatInfo2108", "paraZoom", "lbox"));
    ASSERT_TRUE(ini.WriteString("settings", "snapOutPutDir", "/a"));
    EXPECT_EQ(ini.ReadString("FORMATINFO2108", "parazoom", ""), "lbox");
    EXPECT_EQ(ini.ReadString("Settings", "SnapOutPutDir", ""), "/a");
    // Writing in another case replaces the same key instead of adding a second one.
    ASSERT_TRUE(ini.WriteString("SETTINGS", "SNAPOUTPUTDIR", "/b"));
    EXPECT_EQ(ini.ReadSectionKeys("settings").size(), 1u);
    EXPECT_EQ(ini.ReadString("settings", "snapOutPutDir", ""), "/b");
}

TEST_F(TIniStoreTest, IntegersAndBooleans) {
    WriteRaw("[settings]\nvolume=200\nneg=-5\nplus=+3\nword=abc\nlead=12ab\nempty=\n"
             "huge=99999999999\nb0=0\nb1=1\nb7=7\nbn=-1\nbx=yes\n");
    TIniStore ini(path_);
    struct Case {
        const char* key;
        int expected;
    } cases[] = {{"volume", 200}, {"neg", -5},   {"plus", 3}, {"word", 42},
                 {"lead", 42},    {"empty", 42}, {"huge", 42}};
    for (const Case& c : cases) {
        EXPECT_EQ(ini.ReadInteger("settings", c.key, 42), c.expected) << c.key;
    }
    EXPECT_FALSE(ini.ReadBool("settings", "b0", true));
    EXPECT_TRUE(ini.ReadBool("settings", "b1", false));
    EXPECT_TRUE(ini.ReadBool("settings", "b7", false));
    EXPECT_TRUE(ini.ReadBool("settings", "bn", false));
    EXPECT_FALSE(ini.ReadBool("settings", "bx", false)) << "not a number: the default";
    EXPECT_TRUE(ini.ReadBool("settings", "bx", true));

    ASSERT_TRUE(ini.WriteBool("settings", "mute", true));
    ASSERT_TRUE(ini.WriteInteger("settings", "jpgCmp", -30));
    EXPECT_EQ(ini.ReadString("settings", "mute", ""), "1");
    EXPECT_EQ(ini.ReadString("settings", "jpgCmp", ""), "-30");
}

TEST_F(TIniStoreTest, WritingKeepsOtherKeysSectionsAndComments) {
    WriteRaw("; user note\n[settings]\nOutPutDir=/x\n\n[lstformat]\n0=1\n");
    TIniStore ini(path_);
    ASSERT_TRUE(ini.WriteString("settings", "FormatCode", "2108"));
    EXPECT_EQ(ini.ReadString("settings", "OutPutDir", ""), "/x");
    EXPECT_EQ(ini.ReadString("lstformat", "0", ""), "1");
    EXPECT_NE(ReadRaw().find("; user note"), std::string::npos);
}

TEST_F(TIniStoreTest, SettingsFolderIsCreatedOnFirstWrite) {
    TIniStore ini((dir_ / "new" / "deeper" / "quovo.ini").string());
    ASSERT_TRUE(ini.WriteString("settings", "volume", "5"));
    EXPECT_EQ(ini.ReadInteger("settings", "volume", 0), 5);
}

TEST_F(TIniStoreTest, DamagedFilesReadAsFarAsPossibleAndAreRepairedByTheNextWrite) {
    const std::string good = "[settings]\nOutPutDir=/videos\nvolume=64\n[formatInfo1]\n"
                             "paraVideoSize=320x240\nparaVideoBitRate=768\n";
    struct Case {
        const char* name;
        std::string content;
    } cases[] = {
        {"truncated mid-key", good.substr(0, good.find("paraVideoBitRate") + 9)},
        {"truncated mid-section", good.substr(0, good.find("[formatInfo1]") + 6)},
        {"binary garbage", std::string("\x00\xff\xfe[\x01\n=\n\x00\x00zz", 12)},
        {"NUL inside", std::string("[settings]\nvolume=6\0\0\0\n[lstformat]\n3=0\n", 35)},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteRaw(c.content);
        TIniStore ini(path_);
        // Reading never fails; keys that cannot be recovered give the defaults.
        EXPECT_EQ(ini.ReadString("formatInfo1", "paraVideoBitRate", "dflt"), "dflt");
        ini.ReadInteger("settings", "volume", 0);
        ASSERT_TRUE(ini.WriteString("formatInfo1", "paraVideoBitRate", "512"));
        EXPECT_EQ(ini.ReadString("formatInfo1", "paraVideoBitRate", ""), "512");
        // The rewritten file is clean: every line is a section, a key=value or blank.
        std::istringstream lines(ReadRaw());
        std::string line;
        while (std::getline(lines, line)) {
            bool ok = line.empty() || line.front() == '[' || line.front() == ';' ||
                      line.find('=') != std::string::npos;
            EXPECT_TRUE(ok) << "line: " << line;
            EXPECT_EQ(line.find('\0'), std::string::npos);
        }
    }
    // Keys before the damage survive.
    WriteRaw(good.substr(0, good.find("paraVideoBitRate") + 9));
    EXPECT_EQ(TIniStore(path_).ReadString("settings", "OutPutDir", ""), "/videos");
    EXPECT_EQ(TIniStore(path_).ReadString("formatInfo1", "paraVideoSize", ""), "320x240");
}

// A file that is there but cannot be read is said to be so, reads as empty, and is never
// replaced: a write would lose every section it could not read.
TEST_F(TIniStoreTest, AnUnreadableFileIsReportedAndNeverReplaced) {
    struct Case {
        const char* name;
        std::function<void()> make;
        std::function<void()> undo;
        const char* reason;
    };
    const Case cases[] = {
        {"a folder of that name", [&] { fs::create_directories(dir_ / "quovo.ini" / "keep"); },
         [] {}, "Is a directory"},
        {"no read permission",
         [&] {
             WriteRaw("[settings]\nOutPutDir=/mine\n[formatInfo1]\nparaZoom=lbox\n");
             fs::permissions(path_, fs::perms::none);
         },
         [&] { fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write); },
         "Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(path_);
        c.make();
        if (::geteuid() == 0 && std::string(c.reason) == "Permission denied") {
            c.undo(); // permissions do not stop root from reading
            continue;
        }
        TIniStore ini(path_);
        EXPECT_EQ(ini.ReadError(), c.reason);
        EXPECT_EQ(ini.ReadString("settings", "OutPutDir", "dflt"), "dflt");
        EXPECT_FALSE(ini.WriteString("settings", "OutPutDir", "/other"));
        EXPECT_FALSE(ini.WriteValues("formatInfo1", {{"paraZoom", "full"}}));
        c.undo();
        if (fs::is_regular_file(path_)) {
            EXPECT_EQ(TIniStore(path_).ReadError(), "");
            EXPECT_EQ(ReadRaw(), "[settings]\nOutPutDir=/mine\n[formatInfo1]\nparaZoom=lbox\n");
        } else {
            EXPECT_TRUE(fs::is_directory(dir_ / "quovo.ini" / "keep"));
        }
    }
    fs::remove_all(path_);
    EXPECT_EQ(TIniStore(path_).ReadError(), "") << "a missing file is no error";
}

TEST_F(TIniStoreTest, AFailedReplacementLeavesThePreviousFileWhole) {
    TIniStore ini(path_);
    ASSERT_TRUE(ini.WriteString("settings", "OutPutDir", "/before"));
    const std::string before = ReadRaw();
    TIniStore::SetReplaceHookForTests([](const std::string&) { return false; });
    EXPECT_FALSE(ini.WriteString("settings", "OutPutDir", "/after"));
    TIniStore::SetReplaceHookForTests(nullptr);
    EXPECT_EQ(ReadRaw(), before);
    // No temporary file is left behind.
    for (const auto& entry : fs::directory_iterator(dir_)) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos)
            << entry.path();
    }
}

TEST_F(TIniStoreTest, AWriterKilledMidWayNeverLeavesAPartialFile) {
    TIniStore ini(path_);
    ASSERT_TRUE(ini.WriteString("settings", "OutPutDir", "/before"));
    const std::string before = ReadRaw();
    std::string big(200000, 'v');
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The writer dies after its temporary file is complete and before the rename.
        TIniStore::SetReplaceHookForTests([](const std::string&) -> bool { ::_exit(0); });
        TIniStore(path_).WriteString("settings", "Big", std::string(200000, 'v'));
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(ReadRaw(), before);
    EXPECT_EQ(ini.ReadString("settings", "Big", "none"), "none");

    // Killed at a random point of many writes: the file is always one whole version.
    child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TIniStore w(path_);
        for (int i = 0;; ++i) {
            w.WriteString("settings", "Counter", std::to_string(i) + big);
        }
    }
    ::usleep(150000);
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    std::string counter = ini.ReadString("settings", "Counter", "");
    ASSERT_FALSE(counter.empty()) << "the writer made no complete write in 150 ms";
    EXPECT_EQ(counter.substr(counter.size() - big.size()), big);
    EXPECT_EQ(ini.ReadString("settings", "OutPutDir", ""), "/before");
}

} // namespace
} // namespace quovo
