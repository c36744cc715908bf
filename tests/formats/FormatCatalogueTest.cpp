#include "FormatCatalogue.h"
#include "TFormatListModel.h"

#include "FormatsTestSupport.h"

#include <gtest/gtest.h>

#include <set>

namespace quovo {
namespace {

using test::TScratchFolder;

TEST(FormatCatalogueTest, CodesNamesAndShape) {
    const auto& formats = AllFormats();
    ASSERT_EQ(formats.size(), 115u);
    std::set<int> categories;
    std::set<int> codes;
    for (const TFormatEntry& f : formats) {
        EXPECT_EQ(f.Code, f.Category * 100 + f.Position);
        EXPECT_LE(f.Position, 9);
        categories.insert(f.Category);
        codes.insert(f.Code);
        EXPECT_FALSE(f.Name.empty());
    }
    EXPECT_EQ(categories.size(), 25u);
    EXPECT_EQ(codes.size(), 115u);

    struct Case {
        int code;
        const char* name;
    } cases[] = {
        {0, "iPod Video MPEG-4 (*.mp4)"},
        {1, "iPod Video H.264 (*.mp4)"},
        {403, "PSP H.264/AVC Video (*.mp4)"},
        {1201, "Microsoft Xbox AVI Video (*.avi)"},
        {1405, "Nokia N Series MPEG-4 Video(*.mp4)"},
        {1600, "Nokia N Series MPEG-4 Video (*.mp4)"},
        {1009, "iRiver PMP-120/140/IMP-1000/1100 Video (*.avi)"},
        {2108, "HD MPEG2-TS Video (*.ts)"},
        {2309, "DV - PAL -Digital Video Format (*.dv)"},
        {2406, "AC-3 Audio Codec (*.ac3)"},
    };
    for (const Case& c : cases) {
        auto f = FindFormat(c.code);
        ASSERT_TRUE(f.has_value()) << c.code;
        EXPECT_EQ(f->Name, c.name);
    }
    EXPECT_FALSE(FindFormat(10).has_value());
    EXPECT_FALSE(FindFormat(2407).has_value());
    EXPECT_EQ(CategoryName(0), "Apple iPod");
    EXPECT_EQ(CategoryName(13), "Nitendeo WII");
    EXPECT_EQ(CategoryName(24), "General Audio formates");
    EXPECT_EQ(FormatSection(2108), "formatInfo2108");

    // Per-category counts.
    const int counts[25] = {9, 5, 6, 1, 5, 4, 3, 3, 7, 7, 10, 3, 3,
                            2, 6, 1, 1, 8, 1, 2, 1, 9, 1, 10, 7};
    TFormatTable table;
    for (int c = 0; c < 25; ++c) {
        int n = 0;
        while (!table.Slot(c, n).empty()) {
            ++n;
        }
        EXPECT_EQ(n, counts[c]) << "category " << c;
    }
    EXPECT_TRUE(table.Slot(25, 0).empty());
    EXPECT_TRUE(table.Slot(50, 50).empty());
    EXPECT_TRUE(table.Slot(51, 0).empty());
}

class TFormatListModelTest : public ::testing::Test {
protected:
    TScratchFolder dir_;
    TIniStore settings_{dir_ / "quovo.ini"};
    TFormatListModel list_;

    int RowOf(const std::string& text) const {
        for (int i = 0; i < list_.RowCount(); ++i) {
            if (list_.Rows()[i].Text == text) {
                return i;
            }
        }
        return -1;
    }
};

TEST_F(TFormatListModelTest, WithoutStoredStateEveryCategoryIsCollapsed) {
    list_.FillFormatList(settings_);
    ASSERT_EQ(list_.RowCount(), 25);
    for (int i = 0; i < 25; ++i) {
        EXPECT_TRUE(list_.Rows()[i].Info.IsCategory);
        EXPECT_TRUE(list_.Rows()[i].Info.Collapsed);
        EXPECT_EQ(list_.Rows()[i].Info.Code, i);
    }
    // Without a stored name the field names the default format code's format.
    EXPECT_EQ(list_.FieldText(), "iPod Video H.264 (*.mp4)");
    EXPECT_EQ(list_.Selected(), -1);
}

TEST_F(TFormatListModelTest, StoredStatesAndNameRebuildTheList) {
    settings_.WriteValues("lstformat", {{"21", "0"}, {"0", "1"}, {"22", "0"}});
    settings_.WriteString("settings", "FormatName", "  HD MPEG2-TS Video (*.ts) ");
    list_.FillFormatList(settings_);
    ASSERT_EQ(list_.RowCount(), 25 + 9 + 1);
    int hd = RowOf("HD Video");
    for (int p = 0; p < 9; ++p) {
        EXPECT_EQ(list_.Rows()[hd + 1 + p].Info.Code, 2100 + p);
        EXPECT_TRUE(list_.Rows()[hd + 1 + p].Info.IsFormat);
    }
    EXPECT_EQ(list_.Selected(), hd + 9) << "name matched with surrounding blanks removed";
    // The INI layer drops the blanks around a value already; the match would ignore them anyway.
    EXPECT_EQ(list_.FieldText(), "HD MPEG2-TS Video (*.ts)");
}

TEST_F(TFormatListModelTest, ExpandCollapseByPressAndDoubleClick) {
    list_.FillFormatList(settings_);
    int hd = RowOf("HD Video");
    list_.DoubleClick(hd);
    ASSERT_EQ(list_.RowCount(), 34);
    EXPECT_FALSE(list_.Rows()[hd].Info.Collapsed);
    EXPECT_EQ(list_.Rows()[hd + 1].Text, "HD AVI Video (*.avi)");
    EXPECT_EQ(list_.Rows()[hd + 9].Info.Code, 2108);
    EXPECT_EQ(list_.Rows()[hd + 10].Text, "Matroska Video - MKV");

    // Expand the next category too, then collapse HD: exactly its nine rows go.
    list_.MouseDown(hd + 10, 5, settings_);
    ASSERT_EQ(list_.RowCount(), 35);
    // A press at 20 pixels does nothing, at 19 it collapses.
    list_.MouseDown(hd, 20, settings_);
    EXPECT_EQ(list_.RowCount(), 35);
    list_.MouseDown(hd, 19, settings_);
    EXPECT_EQ(list_.RowCount(), 26);
    EXPECT_TRUE(list_.Rows()[hd].Info.Collapsed);
    EXPECT_EQ(list_.Rows()[hd + 1].Text, "Matroska Video - MKV");
    EXPECT_EQ(list_.Rows()[hd + 2].Info.Code, 2200);

    // Toggling changes the list only; the state is written by SaveFormatListState.
    EXPECT_FALSE(settings_.SectionExists("lstformat"));
    ASSERT_TRUE(list_.SaveFormatListState(settings_));
    EXPECT_EQ(settings_.ReadString("lstformat", "21", ""), "1");
    EXPECT_EQ(settings_.ReadString("lstformat", "22", ""), "0");
    EXPECT_EQ(settings_.ReadSectionKeys("lstformat").size(), 25u);
    TFormatListModel again;
    again.FillFormatList(settings_);
    EXPECT_EQ(again.RowCount(), 26);
}

TEST_F(TFormatListModelTest, ChoosingAFormatRowStoresNameAndCode) {
    list_.FillFormatList(settings_);
    int xbox = RowOf("Microsoft xbox 360");
    EXPECT_FALSE(list_.MouseDown(xbox, 100, settings_).has_value()) << "category chooses nothing";
    EXPECT_EQ(list_.RowCount(), 25) << "outside the toggle zone nothing toggles";
    list_.DoubleClick(xbox);
    auto choice = list_.MouseDown(xbox + 2, 100, settings_);
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->Code, 1201);
    EXPECT_EQ(choice->Name, "Microsoft Xbox AVI Video (*.avi)");
    EXPECT_EQ(settings_.ReadString("settings", "FormatCode", ""), "1201");
    EXPECT_EQ(settings_.ReadString("settings", "FormatName", ""),
              "Microsoft Xbox AVI Video (*.avi)");
    EXPECT_EQ(list_.Selected(), xbox + 2);
    // Collapsing the category that holds the selection drops the selection.
    list_.Toggle(xbox);
    EXPECT_EQ(list_.Selected(), -1);
}

TEST_F(TFormatListModelTest, PopupGeometry) {
    list_.FillFormatList(settings_);
    // 25 rows: 500 > 386, so the showing height is capped.
    EXPECT_EQ(list_.ShowGeometry(400).Height, 386);
    EXPECT_EQ(list_.ShowGeometry(400).Top, 400 - 386 + 431);
    EXPECT_EQ(list_.FillGeometry(400, 20).Height, 362);
    // 17 rows of 20 pixels: 340 < 363 and 340 <= 386.
    EXPECT_EQ(list_.FillGeometry(400, 20).Top, 400 - 362 + 395);
    TFormatListModel small;
    TScratchFolder other;
    small.FillFormatList(TIniStore(other / "none.ini"));
    EXPECT_EQ(small.FillGeometry(0, 14).Height, 26 * 14) << "25 × 14 = 350 < 363";
}

} // namespace
} // namespace quovo
