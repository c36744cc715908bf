#include "TFormatPicker.h"

#include "../formats/FormatsTestSupport.h"
#include "QtTestApp.h"
#include "TFormatPopupList.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <functional>

namespace quovo {
namespace {

using test::TScratchFolder;

constexpr int kHdVideo = 21;
constexpr int kXbox = 12;

class FormatPickerTest : public ::testing::Test {
public:
    void Make(TChoiceWrite mode) {
        picker_ = std::make_unique<TFormatPicker>(settings_, mode);
        picker_->resize(500, 30);
        picker_->show();
        picker_->FillFormatList();
    }
    QListView* List() { return picker_->List()->View(); }
    int RowOf(const std::string& text) const {
        const auto& rows = picker_->Rows().Rows();
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].Text == text) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    // A left press at x pixels from the list's left edge, in the middle of the row.
    void PressRow(int row, int x) {
        List()->scrollTo(List()->model()->index(row, 0));
        const QRect r = List()->visualRect(List()->model()->index(row, 0));
        QTest::mousePress(List()->viewport(), Qt::LeftButton, {}, QPoint(x, r.center().y()));
    }
    void Key(Qt::Key key, int times = 1, Qt::KeyboardModifiers mods = {}) {
        for (int i = 0; i < times; ++i) {
            QTest::keyClick(List(), key, mods);
        }
    }

    TScratchFolder dir_;
    TIniStore settings_{dir_ / "quovo.ini"};
    std::unique_ptr<TFormatPicker> picker_;
};

TEST_F(FormatPickerTest, StartsWithStoredNameAndCollapsedCategories) {
    struct Case {
        const char* name;
        std::string ini;
        int rows;
        const char* field;
        const char* selected; // row selected when the list opens; "" = none
    };
    const Case cases[] = {
        {"no settings file", "", 25, "iPod Video H.264 (*.mp4)", ""}, // code 1's
        {"stored format, its category collapsed",
         "[settings]\nFormatName=PSP H.264/AVC Video (*.mp4)\n", 25, "PSP H.264/AVC Video (*.mp4)",
         ""},
        {"stored format, its category expanded",
         "[settings]\nFormatName=PSP H.264/AVC Video (*.mp4)\n[lstformat]\n4=0\n", 30,
         "PSP H.264/AVC Video (*.mp4)", "PSP H.264/AVC Video (*.mp4)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir_.WriteFile("quovo.ini", c.ini);
        Make(TChoiceWrite::AtOnce);
        QSignalSpy put(picker_.get(), &TFormatPicker::FieldTextPut);
        picker_->FillFormatList();
        EXPECT_EQ(put.count(), 1);
        EXPECT_EQ(picker_->Field()->text().toStdString(), c.field);
        EXPECT_EQ(List()->model()->rowCount(), c.rows);
        picker_->FieldClick();
        ASSERT_TRUE(picker_->ListVisible());
        const int sel = picker_->Rows().Selected();
        EXPECT_EQ(sel < 0 ? std::string() : picker_->Rows().Rows()[sel].Text, c.selected);
        EXPECT_EQ(List()->selectionModel()->selectedIndexes().size(), sel < 0 ? 0u : 1u);
        picker_->FieldClick(); // a second click hides it
        EXPECT_FALSE(picker_->ListVisible());
    }
}

TEST_F(FormatPickerTest, PressesInTheToggleZoneExpandAndCollapse) {
    Make(TChoiceWrite::AtOnce);
    picker_->ButtonClick();
    ASSERT_TRUE(picker_->ListVisible());
    const int hd = RowOf("HD Video");
    PressRow(hd, 5);
    ASSERT_EQ(List()->model()->rowCount(), 34);
    for (int p = 0; p < 9; ++p) {
        const QModelIndex index = List()->model()->index(hd + 1 + p, 0);
        EXPECT_EQ(index.data(TFormatItemModel::CodeRole).toInt(), 2100 + p);
        EXPECT_FALSE(index.data(TFormatItemModel::IsCategoryRole).toBool());
    }
    EXPECT_EQ(List()->model()->index(hd + 10, 0).data().toString(), "Matroska Video - MKV");

    // 20 pixels in is past the toggle zone: nothing happens, and nothing is chosen.
    PressRow(hd, 20);
    EXPECT_EQ(List()->model()->rowCount(), 34);
    EXPECT_TRUE(picker_->ListVisible());
    PressRow(hd, 19);
    EXPECT_EQ(List()->model()->rowCount(), 25);
    EXPECT_EQ(List()->model()->index(hd + 1, 0).data().toString(), "Matroska Video - MKV");

    // A double click anywhere on the row toggles it.
    List()->scrollTo(List()->model()->index(hd, 0));
    const QRect r = List()->visualRect(List()->model()->index(hd, 0));
    const QPoint at(100, r.center().y());
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(at),
                      QPointF(List()->viewport()->mapToGlobal(at)), Qt::LeftButton, Qt::LeftButton,
                      {});
    QApplication::sendEvent(List()->viewport(), &twice);
    EXPECT_EQ(List()->model()->rowCount(), 34);
    EXPECT_FALSE(settings_.SectionExists("lstformat")) << "toggling writes nothing";
    picker_->SaveFormatListState(settings_);
    EXPECT_EQ(settings_.ReadString("lstformat", "21", ""), "0");
    EXPECT_EQ(settings_.ReadString("lstformat", "20", ""), "1");
}

// The ways a user reaches "Microsoft Xbox AVI Video (*.avi)": each must store it as the format.
TEST_F(FormatPickerTest, ChoosingAFormatByMouseKeysOrAssistiveTechnology) {
    struct Way {
        const char* name;
        std::function<void(FormatPickerTest&)> choose;
    };
    const Way ways[] = {
        {"mouse",
         [](FormatPickerTest& t) {
             t.picker_->ButtonClick();
             t.PressRow(t.RowOf("Microsoft xbox 360"), 3);
             t.PressRow(t.RowOf("Microsoft Xbox AVI Video (*.avi)"), 60);
         }},
        {"keys",
         [](FormatPickerTest& t) {
             QTest::keyClick(t.picker_->Field(), Qt::Key_Down, Qt::AltModifier);
             ASSERT_TRUE(t.picker_->ListVisible());
             t.Key(Qt::Key_Home);
             t.Key(Qt::Key_Down, kXbox);
             t.Key(Qt::Key_Right);
             t.Key(Qt::Key_Down, 2);
             t.Key(Qt::Key_Return);
         }},
        {"assistive technology",
         [](FormatPickerTest& t) {
             QTest::keyClick(t.picker_->Field(), Qt::Key_F4);
             ASSERT_TRUE(t.picker_->ListVisible());
             // Reached from the picker, as a screen reader walks the window.
             std::function<QAccessibleInterface*(QAccessibleInterface*)> findList =
                 [&](QAccessibleInterface* node) -> QAccessibleInterface* {
                 if (node->role() == QAccessible::List) {
                     return node;
                 }
                 for (int i = 0; i < node->childCount(); ++i) {
                     if (QAccessibleInterface* hit = findList(node->child(i))) {
                         return hit;
                     }
                 }
                 return nullptr;
             };
             QAccessibleInterface* list =
                 findList(QAccessible::queryAccessibleInterface(t.picker_.get()));
             ASSERT_NE(list, nullptr);
             EXPECT_EQ(list->object(), t.List());
             EXPECT_EQ(list->text(QAccessible::Name), "Output Format:");
             ASSERT_NE(list, nullptr);
             auto act = [&](const QString& name) {
                 for (int i = 0; i < list->childCount(); ++i) {
                     QAccessibleInterface* row = list->child(i);
                     if (row->text(QAccessible::Name) == name) {
                         QAccessibleActionInterface* a = row->actionInterface();
                         ASSERT_NE(a, nullptr);
                         ASSERT_FALSE(a->actionNames().isEmpty());
                         a->doAction(a->actionNames().first());
                         QCoreApplication::processEvents();
                         return;
                     }
                 }
                 FAIL() << "no row " << name.toStdString();
             };
             act("Microsoft xbox 360");
             act("Microsoft Xbox AVI Video (*.avi)");
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        dir_.WriteFile("quovo.ini", "");
        Make(TChoiceWrite::AtOnce);
        QSignalSpy chosen(picker_.get(), &TFormatPicker::FormatChosen);
        way.choose(*this);
        EXPECT_EQ(settings_.ReadString("settings", "FormatCode", ""), "1201");
        EXPECT_EQ(settings_.ReadString("settings", "FormatName", ""),
                  "Microsoft Xbox AVI Video (*.avi)");
        EXPECT_EQ(picker_->CurrentFormatCode(), 1201);
        EXPECT_EQ(picker_->Field()->text(), "Microsoft Xbox AVI Video (*.avi)");
        EXPECT_FALSE(picker_->ListVisible());
        EXPECT_EQ(chosen.count(), 1);
    }
}

TEST_F(FormatPickerTest, CollectModeKeepsTheChoiceInThePicker) {
    dir_.WriteFile("quovo.ini", "[settings]\nFormatName=PSP H.264/AVC Video (*.mp4)\n"
                                "FormatCode=403\n[lstformat]\n12=0\n");
    Make(TChoiceWrite::Collect);
    picker_->SetCurrentFormat("PSP H.264/AVC Video (*.mp4)", 403);
    picker_->ButtonClick();
    PressRow(RowOf("Microsoft Xbox WMV Video (*.wmv)"), 60);
    EXPECT_EQ(picker_->CurrentFormatCode(), 1200);
    EXPECT_EQ(picker_->Field()->text(), "Microsoft Xbox WMV Video (*.wmv)");
    EXPECT_EQ(settings_.ReadString("settings", "FormatCode", ""), "403");
    // The list reopens on the picker's own choice, not the stored one.
    picker_->ButtonClick();
    EXPECT_EQ(picker_->Rows().Selected(), RowOf("Microsoft Xbox WMV Video (*.wmv)"));
}

TEST_F(FormatPickerTest, TheListHidesWithoutChoosing) {
    struct Way {
        const char* name;
        std::function<void(FormatPickerTest&)> hide;
    };
    const Way ways[] = {
        {"Escape", [](FormatPickerTest& t) { t.Key(Qt::Key_Escape); }},
        {"F4", [](FormatPickerTest& t) { t.Key(Qt::Key_F4); }},
        {"Alt+Up", [](FormatPickerTest& t) { t.Key(Qt::Key_Up, 1, Qt::AltModifier); }},
        {"the button again", [](FormatPickerTest& t) { t.picker_->ButtonClick(); }},
        {"a press outside",
         [](FormatPickerTest& t) {
             const QPoint outside = t.List()->mapToGlobal(QPoint(-30, -30));
             QMouseEvent press(QEvent::MouseButtonPress, QPointF(-30, -30), QPointF(outside),
                               Qt::LeftButton, Qt::LeftButton, {});
             QApplication::sendEvent(t.picker_->List(), &press);
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        dir_.WriteFile("quovo.ini", "");
        Make(TChoiceWrite::AtOnce);
        picker_->ButtonClick();
        ASSERT_TRUE(picker_->ListVisible());
        way.hide(*this);
        EXPECT_FALSE(picker_->ListVisible());
        EXPECT_FALSE(settings_.ValueExists("settings", "FormatCode"));
    }
}

TEST_F(FormatPickerTest, RowsAreDrawnAsCategoriesAndFormats) {
    dir_.WriteFile("quovo.ini", "[settings]\nFormatName=HD AVI Video (*.avi)\n[lstformat]\n21=0\n");
    Make(TChoiceWrite::AtOnce);
    picker_->FieldClick();
    const int selected = RowOf("HD AVI Video (*.avi)");
    ASSERT_EQ(picker_->Rows().Selected(), selected);
    const QImage shot = List()->viewport()->grab().toImage();
    const QRect sel = List()->visualRect(List()->model()->index(selected, 0));
    const QRect cat = List()->visualRect(List()->model()->index(selected - 1, 0));
    ASSERT_TRUE(sel.isValid() && cat.isValid());
    EXPECT_EQ(QColor(shot.pixel(sel.left() + 10, sel.top() + 4)), QColor(185, 204, 236));
    EXPECT_EQ(QColor(shot.pixel(sel.left() + 1, sel.top() + 1)), QColor(122, 160, 218));
    EXPECT_EQ(QColor(shot.pixel(cat.right() - 2, cat.top() + 4)), QColor(246, 247, 248));
    // Format rows are written in navy; some pixel of the text must be close to it.
    bool navy = false;
    for (int x = sel.left() + 25; x < sel.left() + 120 && !navy; ++x) {
        for (int y = sel.top() + 2; y < sel.bottom() - 1 && !navy; ++y) {
            const QColor c(shot.pixel(x, y));
            navy = c.red() < 60 && c.green() < 60 && c.blue() > 100;
        }
    }
    EXPECT_TRUE(navy);
    // Category rows carry their state for a screen reader.
    EXPECT_EQ(List()->model()->index(selected - 1, 0).data(Qt::AccessibleDescriptionRole),
              "category, expanded");
}

} // namespace
} // namespace quovo
