// How the source list draws its rows, read back from the pixels of the real view.
#include "TSourceListDelegate.h"

#include "QtTestApp.h"
#include "TSkin.h"
#include "TSourceListModel.h"
#include "TSourceListView.h"

#include <QApplication>
#include <QTest>

namespace quovo {
namespace {

class SourceListDrawingTest : public ::testing::Test {
public:
    SourceListDrawingTest() : view_(model_) {
        view_.setItemDelegate(new TSourceListDelegate([this] { return look_; }, &view_));
        for (int i = 0; i < 3; ++i) {
            model_.AddFileRow(std::make_unique<TlvFilesRecord>(MakeFileRecord(
                i, "/media/clip" + std::to_string(i) + ".avi", "/out/clip.mp4", 75, "lbox")));
        }
        view_.resize(500, 200);
        view_.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view_));
    }
    QImage Picture() { return view_.viewport()->grab().toImage(); }
    // A point well inside the Length cell of `row`, away from its text.
    QPoint Inside(int row) {
        const QRect cell = view_.visualRect(model_.index(row, 2));
        return QPoint(cell.right() - 4, cell.center().y());
    }
    QRect RowRect(int row) {
        return view_.visualRect(model_.index(row, 0))
            .united(view_.visualRect(model_.index(row, model_.columnCount() - 1)));
    }
    QColor At(const QImage& picture, QPoint at) { return picture.pixelColor(at); }

    TSourceListModel model_;
    TSourceListView view_;
    int look_ = 0;
};

TEST_F(SourceListDrawingTest, OddRowsTakeTheLooksTintAndTheFocusRowIsFilledAndFramed) {
    for (int look : {0, 2, 6}) {
        SCOPED_TRACE(look);
        look_ = look;
        view_.SelectRow(-1);
        const QImage picture = Picture();
        EXPECT_EQ(At(picture, Inside(0)), QColor(Qt::white));
        EXPECT_EQ(At(picture, Inside(1)), SkinRowTint(look));
        EXPECT_EQ(At(picture, Inside(2)), QColor(Qt::white));
    }
    EXPECT_EQ(SkinRowTint(2), QColor(248, 242, 224));

    struct Case {
        const char* name;
        bool focus;
    };
    for (const Case& c : {Case{"list focused", true}, Case{"focus elsewhere", false}}) {
        SCOPED_TRACE(c.name);
        view_.SelectRow(1);
        if (c.focus) {
            view_.setFocus();
        } else {
            view_.clearFocus();
        }
        ASSERT_EQ(view_.hasFocus(), c.focus);
        const QImage picture = Picture();
        const QRect row = RowRect(1);
        EXPECT_EQ(At(picture, Inside(1)), FocusRowFill(c.focus));
        EXPECT_EQ(At(picture, QPoint(row.center().x(), row.top())), FocusRowFrame(c.focus));
        EXPECT_EQ(At(picture, QPoint(row.center().x(), row.bottom())), FocusRowFrame(c.focus));
        // Inset by a pixel at the left: the frame's left side is the second column of pixels.
        EXPECT_EQ(At(picture, QPoint(row.left() + 1, row.center().y())), FocusRowFrame(c.focus));
        EXPECT_EQ(At(picture, QPoint(row.left(), row.center().y())), QColor(Qt::white));
    }
}

TEST_F(SourceListDrawingTest, TheCheckBoxIsDrawnWithItsTickAndAClickTogglesIt) {
    model_.SetChecked(0, false);
    const QImage picture = Picture();
    const QRect first = RowRect(0);
    const QRect second = RowRect(2);
    // (x, y) from the box's top left corner: 2 pixels into the row, which is inset by 1.
    auto black = [&](const QRect& row, int x, int y) {
        return picture.pixelColor(row.left() + 3 + x, row.top() + (row.height() - 12) / 2 + y) ==
               QColor(Qt::black);
    };
    for (const QRect& row : {first, second}) {
        EXPECT_TRUE(black(row, 0, 6)) << "left side";
        EXPECT_TRUE(black(row, 6, 1)) << "top side";
        EXPECT_TRUE(black(row, 11, 6)) << "right side";
        EXPECT_TRUE(black(row, 6, 10)) << "bottom side";
        EXPECT_FALSE(black(row, 8, 8)) << "inside, below the tick";
    }
    // The tick's lowest point: drawn only in the checked row.
    EXPECT_FALSE(black(first, 4, 9));
    EXPECT_TRUE(black(second, 4, 9));

    QTest::mouseClick(view_.viewport(), Qt::LeftButton, {},
                      QPoint(first.left() + 8, first.center().y()));
    EXPECT_TRUE(model_.Checked(0));
    // A click elsewhere in the row selects it and leaves the box alone.
    QTest::mouseClick(view_.viewport(), Qt::LeftButton, {}, Inside(2));
    EXPECT_TRUE(model_.Checked(2));
    EXPECT_EQ(view_.SelectedRow(), 2);
    // Space toggles the selected row's box, whichever cell is current.
    view_.setFocus();
    QTest::keyClick(&view_, Qt::Key_Space);
    EXPECT_FALSE(model_.Checked(2));
}

} // namespace
} // namespace quovo
