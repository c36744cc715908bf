#include "TfmDirectory.h"

#include "../formats/FormatsTestSupport.h"
#include "QtTestApp.h"

#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <filesystem>

namespace quovo {
namespace {

namespace fs = std::filesystem;
using test::TScratchFolder;

// A machine with two optical drives: sr0 mounted at disc/, sr1 (through the link dev/cdrom) at
// "my disc/", a tmpfs mounted inside disc/, and the rest on an ordinary disk.
class TOpticalMachine {
public:
    TOpticalMachine() {
        for (const char* folder :
             {"sys/block/sr0", "sys/block/sr1", "sys/block/sda", "dev", "disc/VIDEO_TS",
              "disc/tmp/x", "my disc/x", "discs", "out/a", "out/b"}) {
            fs::create_directories(Dir / folder);
        }
        Dir.WriteFile("dev/sr1", "");
        Dir.WriteFile("out/file.txt", "not a folder");
        fs::create_symlink(Dir / "dev/sr1", Dir / "dev/cdrom");
        Dir.WriteFile("mounts", "/dev/sda1 / ext4 rw 0 0\n"
                                "proc /proc proc rw 0 0\n"
                                "/dev/sr0 " +
                                    Dir.Path() + "/disc iso9660 ro 0 0\n" + Dir.Path() +
                                    "/dev/cdrom " + Dir.Path() +
                                    "/my\\040disc udf ro 0 0\n"
                                    "tmpfs " +
                                    Dir.Path() + "/disc/tmp tmpfs rw 0 0\n");
    }
    QString Folder(const std::string& name) const { return QString::fromStdString(Dir / name); }

    TScratchFolder Dir;
    TSystemMountTable Mounts{Dir / "mounts", Dir / "sys/block"};
};

TEST(TMountTableTest, FoldersOnOpticalDiscsAreRecognised) {
    TOpticalMachine machine;
    struct Case {
        const char* folder;
        bool optical;
    } cases[] = {
        {"disc", true},        {"disc/VIDEO_TS", true}, {"my disc/x", true}, // through the link
        {"disc/tmp/x", false},                                               // mounted over
        {"discs", false},      {"out/a", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsOnOpticalDisc(machine.Dir / c.folder, machine.Mounts), c.optical) << c.folder;
    }
    EXPECT_TRUE(machine.Mounts.IsOpticalDevice("/dev/sr0"));
    EXPECT_FALSE(machine.Mounts.IsOpticalDevice("/dev/sda1"));
    EXPECT_FALSE(machine.Mounts.IsOpticalDevice("proc"));
}

class TfmDirectoryTest : public ::testing::Test {
protected:
    TOpticalMachine machine_;
    test::TRecordingDialogs dialogs_;
    TfmDirectory chooser_{dialogs_, "Quovo", machine_.Mounts};
};

TEST_F(TfmDirectoryTest, ShowsFoldersOnlyWithTheHomeFolderFirst) {
    EXPECT_EQ(chooser_.windowTitle(), "Brows");
    QTreeWidget* tree = chooser_.stview_selectdir;
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->toolTip(0), QDir::homePath());
    EXPECT_EQ(tree->topLevelItem(1)->toolTip(0), "/");

    ASSERT_TRUE(chooser_.SelectFolder(machine_.Folder("out")));
    QTreeWidgetItem* out = tree->currentItem();
    out->setExpanded(true);
    ASSERT_EQ(out->childCount(), 2);
    EXPECT_EQ(out->child(0)->text(0), "a");
    EXPECT_EQ(out->child(1)->text(0), "b");
}

TEST_F(TfmDirectoryTest, RefusesAFolderOnAnOpticalDiscAndStaysOpen) {
    chooser_.show();
    ASSERT_TRUE(chooser_.SelectFolder(machine_.Folder("disc/VIDEO_TS")));
    chooser_.btnOk->click();
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0].Title, "Quovo");
    EXPECT_EQ(dialogs_.Messages[0].Text,
              "Output folder cannot be located in CD-ROM.Please select another folder.");
    EXPECT_EQ(dialogs_.Messages[0].Icon, TMessageIcon::Information);
    EXPECT_TRUE(chooser_.isVisible());
    EXPECT_TRUE(chooser_.Path().isEmpty());
    EXPECT_TRUE(chooser_.btnOk->isEnabled());

    ASSERT_TRUE(chooser_.SelectFolder(machine_.Folder("out/b")));
    chooser_.btnOk->click();
    EXPECT_FALSE(chooser_.isVisible());
    EXPECT_EQ(chooser_.result(), QDialog::Accepted);
    EXPECT_EQ(chooser_.Path(), machine_.Folder("out/b"));
}

TEST_F(TfmDirectoryTest, ChooseReturnsTheChosenFolderOrNothing) {
    // Cancel: nothing, whatever was selected.
    QTimer::singleShot(0, &chooser_, [this] {
        EXPECT_EQ(chooser_.stview_selectdir->currentItem()->toolTip(0), machine_.Folder("out/a"));
        chooser_.SelectFolder(machine_.Folder("out/b"));
        chooser_.btnCancel->click();
    });
    EXPECT_EQ(chooser_.Choose(machine_.Folder("out/a")), "");

    // A refused choice, then another one.
    QTimer::singleShot(0, &chooser_, [this] {
        chooser_.SelectFolder(machine_.Folder("my disc/x"));
        chooser_.btnOk->click();
        chooser_.SelectFolder(machine_.Folder("out/b"));
        chooser_.btnOk->click();
    });
    EXPECT_EQ(chooser_.Choose(machine_.Folder("gone")), machine_.Folder("out/b"));
    EXPECT_EQ(dialogs_.Messages.size(), 1u);
}

} // namespace
} // namespace quovo
