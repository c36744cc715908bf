#include "SaveSnapshot.h"

#include "../formats/FormatsTestSupport.h"
#include "QtTestApp.h"

#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace quovo {
namespace {

namespace fs = std::filesystem;

class SaveSnapshotTest : public ::testing::Test {
protected:
    SaveSnapshotTest() {
        full_.fill(QColor(200, 40, 20));
        small_.fill(QColor(20, 40, 200));
        // A detailed area, so that JPEG quality shows in the pixels.
        for (int y = 0; y < full_.height(); ++y) {
            for (int x = 0; x < 64; ++x) {
                full_.setPixelColor(x, y, ((x ^ y) & 1) ? Qt::white : Qt::black);
            }
        }
    }
    TSnapshotPlace Place() {
        return {settings_, dialogs_, dir_ / "default",
                [this](const std::string& folder) { opened_.push_back(folder); }};
    }
    std::vector<std::string> FilesIn(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TScratchFolder dir_;
    TIniStore settings_{dir_ / "quovo.ini"};
    test::TRecordingDialogs dialogs_;
    std::vector<std::string> opened_;
    QImage full_{320, 240, QImage::Format_RGB32};
    QImage small_{388, 199, QImage::Format_RGB32};
};

TEST_F(SaveSnapshotTest, TheSettingsChooseTheFiles) {
    struct Case {
        const char* settings;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"",
         {"Snapshot_full.bmp", "Snapshot_full.jpg", "Snapshot_small.bmp", "Snapshot_small.jpg"}},
        {"snapBmp=0\nsnapJpg=1\n", {"Snapshot_full.jpg", "Snapshot_small.jpg"}},
        {"snapFullSize=0\nsnapSmallSize=1\n", {"Snapshot_small.bmp", "Snapshot_small.jpg"}},
        {"snapSmallSize=0\nsnapJpg=0\n", {"Snapshot_full.bmp"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        const std::string folder = dir_ / ("snaps" + std::to_string(n++));
        dir_.WriteFile("quovo.ini", "[settings]\nSnapOutPutDir=" + folder + "\n" + c.settings);
        const std::vector<std::string> written = SaveSnapshot(full_, small_, false, Place());
        EXPECT_EQ(FilesIn(folder), c.files);
        EXPECT_EQ(written.size(), c.files.size());
        // Full and small are not mixed up, and BMP files hold 24 bits a pixel.
        for (const std::string& name : c.files) {
            const QImage read(QString::fromStdString(folder + "/" + name));
            const bool isFull = name.find("full") != std::string::npos;
            EXPECT_EQ(read.size(), isFull ? full_.size() : small_.size()) << name;
            const QColor corner = read.pixelColor(read.width() - 1, read.height() - 1);
            EXPECT_NEAR(corner.red(), isFull ? 200 : 20, 12) << name;
            if (name.ends_with(".bmp")) {
                std::ifstream bmp(folder + "/" + name, std::ios::binary);
                char header[30] = {};
                bmp.read(header, sizeof header);
                EXPECT_EQ(header[28], 24) << name;
            }
        }
    }
    EXPECT_TRUE(opened_.empty());
    EXPECT_TRUE(dialogs_.Messages.empty());
}

TEST_F(SaveSnapshotTest, ASecondSnapshotReplacesTheFirstAndTheFolderOpensWhenAsked) {
    const std::string folder = dir_ / "snaps";
    dir_.WriteFile("quovo.ini", "[settings]\nSnapOutPutDir=" + folder + "\nsnapJpg=0\n");
    SaveSnapshot(full_, small_, false, Place());
    QImage second(100, 50, QImage::Format_RGB32);
    second.fill(Qt::green);
    SaveSnapshot(second, second, true, Place());
    EXPECT_EQ(FilesIn(folder),
              (std::vector<std::string>{"Snapshot_full.bmp", "Snapshot_small.bmp"}));
    for (const char* name : {"/Snapshot_full.bmp", "/Snapshot_small.bmp"}) {
        EXPECT_EQ(QImage(QString::fromStdString(folder + name)).size(), QSize(100, 50)) << name;
    }
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], folder + "/");
}

// Mean absolute difference of the detailed area of a written JPEG against the picture.
double JpegError(const std::string& path, const QImage& original) {
    const QImage read = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = 0; y < original.height(); ++y) {
        for (int x = 0; x < 64; ++x) {
            sum += std::abs(qGray(read.pixel(x, y)) - qGray(original.pixel(x, y)));
        }
    }
    return sum / (64.0 * original.height());
}

TEST_F(SaveSnapshotTest, JpegQualityIsTheStoredOne) {
    const std::string folder = dir_ / "snaps";
    auto saveAt = [&](int quality) {
        dir_.WriteFile("quovo.ini", "[settings]\nSnapOutPutDir=" + folder +
                                        "\nsnapBmp=0\nsnapSmallSize=0\njpgCmp=" +
                                        std::to_string(quality) + "\n");
        SaveSnapshot(full_, small_, false, Place());
        return std::pair(fs::file_size(folder + "/Snapshot_full.jpg"),
                         JpegError(folder + "/Snapshot_full.jpg", full_));
    };
    const auto [bestSize, bestError] = saveAt(100);
    const auto [worstSize, worstError] = saveAt(1);
    EXPECT_GT(bestSize, 2 * worstSize);
    EXPECT_LT(bestError * 4, worstError);
}

TEST_F(SaveSnapshotTest, AFolderThatCannotBeCreatedFallsBackToTheDefault) {
    dir_.WriteFile("blocker", "a file where a folder should be");
    const std::string wanted = dir_ / "blocker/snaps";
    dir_.WriteFile("quovo.ini", "[settings]\nSnapOutPutDir=" + wanted + "\nsnapJpg=0\n");
    SaveSnapshot(full_, small_, false, Place());
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0].Title, "Warning");
    EXPECT_EQ(dialogs_.Messages[0].Text, "Cannot create output directory:" + wanted +
                                             ".It will create default directory " +
                                             (dir_ / "default") + "!");
    EXPECT_EQ(settings_.ReadString("settings", "SnapOutPutDir", ""), dir_ / "default");
    EXPECT_EQ(FilesIn(dir_ / "default"),
              (std::vector<std::string>{"Snapshot_full.bmp", "Snapshot_small.bmp"}));
}

TEST_F(SaveSnapshotTest, AFileThatCannotBeWrittenEndsTheCallAndKeepsTheEarlierOnes) {
    const std::string folder = dir_ / "snaps";
    fs::create_directories(folder + "/Snapshot_small.bmp"); // a folder in the file's place
    dir_.WriteFile("quovo.ini", "[settings]\nSnapOutPutDir=" + folder + "\n");
    try {
        SaveSnapshot(full_, small_, true, Place());
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("Snapshot_small.bmp"), std::string::npos) << e.what();
    }
    EXPECT_EQ(FilesIn(folder),
              (std::vector<std::string>{"Snapshot_full.bmp", "Snapshot_small.bmp"}));
    EXPECT_TRUE(fs::is_regular_file(folder + "/Snapshot_full.bmp"));
    EXPECT_TRUE(opened_.empty());
}

} // namespace
} // namespace quovo
