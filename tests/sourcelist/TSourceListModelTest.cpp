#include "TSourceListModel.h"

#include "FitRect.h"
#include "QtTestApp.h"

#include <QSignalSpy>

namespace quovo {
namespace {

std::unique_ptr<TlvFilesRecord> FileRecord(const std::string& path, int seconds = 10) {
    return std::make_unique<TlvFilesRecord>(
        MakeFileRecord(0, path, "/out/clip_(new)_ipod.mp4", seconds, "lbox"));
}

std::unique_ptr<TlvFilesRecord> TitleRecord() {
    auto record = std::make_unique<TlvFilesRecord>();
    record->Kind = TRowKind::Title;
    return record;
}

TEST(FormatSecondsTest, HoursMinutesSeconds) {
    const std::pair<int64_t, const char*> cases[] = {
        {3725, "1:02:05"}, {0, "0:00:00"}, {59, "0:00:59"}, {-5, "0:00:00"}, {360000, "100:00:00"}};
    for (auto [seconds, text] : cases) {
        EXPECT_EQ(FormatSeconds(seconds), text) << seconds;
    }
}

TEST(FitRectTest, CentresThePictureWithItsAspect) {
    struct Case {
        int w, h, dw, dh;
        QRect fitted; // as (left, top, right, bottom) corners
    };
    const Case cases[] = {
        {720, 576, 388, 199, QRect(QPoint(70, 0), QPoint(317, 198))}, // height bound: 248.75 wide
        {1920, 1080, 388, 199, QRect(QPoint(17, 0), QPoint(370, 198))},
        {400, 100, 388, 199, QRect(QPoint(0, 51), QPoint(387, 147))}, // width bound: 97 high
        {388, 199, 388, 199, QRect(QPoint(0, 0), QPoint(387, 198))},
        {99, 100, 100, 100, QRect(QPoint(0, 0), QPoint(99, 99))}, // band 0.5: to even, 0
        {97, 100, 100, 100, QRect(QPoint(2, 0), QPoint(97, 99))}, // band 1.5: to even, 2
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FitRect(c.w, c.h, c.dw, c.dh), c.fitted) << c.w << "x" << c.h;
    }
}

TEST(TSourceListModelTest, AFileRowShowsItsCellsChecked) {
    TSourceListModel model;
    model.AddFileRow(FileRecord("/v/clip.avi", 3725));
    ASSERT_EQ(model.Count(), 1);
    EXPECT_EQ(model.Layout(), TColumnLayout::File);
    EXPECT_EQ(model.columnCount(), 5);
    const QStringList expected = {"/v/clip.avi", "1:02:05", "1:02:05", "clip_(new)_ipod.mp4", ""};
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(model.Cell(0, c), expected[c]) << c;
        EXPECT_EQ(model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(),
                  Columns(TColumnLayout::File)[c].Caption);
    }
    EXPECT_TRUE(model.Checked(0));
    EXPECT_EQ(model.data(model.index(0, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(model.data(model.index(0, 4), Qt::AccessibleTextRole).toString(), "Progress: none");
}

TEST(TSourceListModelTest, TheFirstRowOfAnEmptyListChoosesTheLayout) {
    TSourceListModel model;
    model.AddRow(TitleRecord(), {"DVD Title 1"});
    model.AddFileRow(FileRecord("/v/a.avi"));
    EXPECT_EQ(model.Layout(), TColumnLayout::Title);
    EXPECT_EQ(model.columnCount(), 6);
    EXPECT_EQ(model.ProgressColumn(), 5);
    model.Clear();
    model.AddFileRow(FileRecord("/v/a.avi"));
    EXPECT_EQ(model.Layout(), TColumnLayout::File);
}

TEST(TSourceListModelTest, CheckCommands) {
    TSourceListModel model;
    for (const char* path : {"/a", "/b", "/c", "/d"}) {
        model.AddFileRow(FileRecord(path));
    }
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    auto checks = [&] {
        std::string s;
        for (int i = 0; i < model.Count(); ++i) {
            s += model.Checked(i) ? 'x' : '-';
        }
        return s;
    };
    model.SetChecked(1, false);
    EXPECT_EQ(checks(), "x-xx");
    model.ReverseCheck();
    EXPECT_EQ(checks(), "-x--");
    EXPECT_EQ(model.CheckedRows(), std::vector<int>{1});
    model.CheckAll();
    EXPECT_EQ(checks(), "xxxx");
    model.UncheckAll();
    EXPECT_EQ(checks(), "----");
    model.setData(model.index(2, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(checks(), "--x-");
    EXPECT_EQ(changes.count(), 5);
}

TEST(TSourceListModelTest, CaptionsCompareWithCase) {
    TSourceListModel model;
    model.AddFileRow(FileRecord("/v/a.avi"));
    EXPECT_TRUE(model.HasCaption("/v/a.avi"));
    EXPECT_FALSE(model.HasCaption("/v/A.AVI"));
}

} // namespace
} // namespace quovo
