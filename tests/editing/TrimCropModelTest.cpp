// The trim marks and what OK stores; the crop dialog's picture area, margins, tracker rules and
// source-pixel crop.
#include "TCropModel.h"
#include "TTrimModel.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace quovo;

namespace {

constexpr int64_t kSecond = 1000000;
constexpr int64_t kTitle = 600 * kSecond; // ten minutes

TEST(TrimModel, WhatOkStores) {
    struct Case {
        const char* name;
        std::function<void(TTrimModel&)> edit;
        int64_t trimStart, trimLength;
        std::string cell;
    } cases[] = {
        {"never trimmed", [](TTrimModel&) {}, 0, 0, "   0:10:00"},
        {"1:00 to 2:30",
         [](TTrimModel& m) {
             m.MarkStart(60 * kSecond);
             m.MarkEnd(150 * kSecond);
         },
         60 * kSecond, 90 * kSecond, "   0:01:30"},
        {"reset after marking",
         [](TTrimModel& m) {
             m.MarkStart(60 * kSecond);
             m.MarkEnd(150 * kSecond);
             m.Reset();
         },
         0, 0, "   0:10:00"},
        {"start only", [](TTrimModel& m) { m.MarkStart(120 * kSecond); }, 120 * kSecond,
         480 * kSecond, "   0:08:00"},
        {"end before start",
         [](TTrimModel& m) {
             m.MarkStart(180 * kSecond);
             m.MarkEnd(60 * kSecond);
         },
         180 * kSecond, 0, "   0:10:00"},
        {"end past the title", [](TTrimModel& m) { m.MarkEnd(kTitle + kSecond); }, 0, 0,
         "   0:10:00"},
        {"within a millisecond of the whole title", [](TTrimModel& m) { m.MarkStart(500); }, 500, 0,
         "   0:09:59"},
        {"under a millisecond",
         [](TTrimModel& m) {
             m.MarkStart(10 * kSecond);
             m.MarkEnd(10 * kSecond + 999);
         },
         10 * kSecond, 0, "   0:00:00"},
        {"positions of nothing shown do nothing",
         [](TTrimModel& m) {
             EXPECT_FALSE(m.MarkStart(0));
             EXPECT_FALSE(m.MarkEnd(-1));
         },
         0, 0, "   0:10:00"},
        {"stored trim reopened", [](TTrimModel& m) { m.LoadRecord(60 * kSecond, 90 * kSecond); },
         60 * kSecond, 90 * kSecond, "   0:01:30"},
        {"hours in the cell", [](TTrimModel& m) { m.FileOpened(4 * 3600 * kSecond); }, 0, 0,
         "   4:00:00"},
    };
    for (const Case& c : cases) {
        TTrimModel m;
        m.FileOpened(kTitle);
        m.LoadRecord(0, 0);
        c.edit(m);
        const TTrimResult r = m.Ok();
        EXPECT_EQ(r.TrimStart, c.trimStart) << c.name;
        EXPECT_EQ(r.TrimLength, c.trimLength) << c.name;
        EXPECT_EQ(r.Cell, c.cell) << c.name;
    }

    // No title opened: nothing to store and the row's text stays.
    TTrimModel none;
    EXPECT_EQ(none.Ok().TrimLength, 0);
    EXPECT_EQ(none.Ok().Cell, "");
}

TEST(TrimModel, OpeningAndSeekBar) {
    TTrimModel m;
    m.FileOpened(kTitle);
    m.LoadRecord(0, 0); // never trimmed: the whole bar
    EXPECT_EQ(m.Start(), 0);
    EXPECT_EQ(m.End(), kTitle);
    EXPECT_EQ(m.MarkPosition(m.End(), 370), 370);
    m.LoadRecord(60 * kSecond, 90 * kSecond);
    EXPECT_EQ(m.End(), 150 * kSecond);
    EXPECT_EQ(m.MarkPosition(m.Start(), 370), 37);
    EXPECT_EQ(m.MarkPosition(m.End(), 370), 92); // 92.5 truncated
    EXPECT_EQ(m.SeekTime(185, 370), 300 * kSecond);
    m.FileOpened(kTitle); // a new opening forgets the marks
    EXPECT_EQ(m.Start(), 0);
    EXPECT_EQ(m.End(), 0);
}

// The 720 x 480 source in the 370 x 253 preview: fitted (0, 3) to (370, 250).
const QRect kArea = TCropModel::PictureArea(QRect(0, 3, 370, 247), QPoint(0, 0));

TEST(CropModel, PictureAreaAndSourceCrop) {
    EXPECT_EQ(kArea, QRect(1, 4, 368, 245));
    EXPECT_EQ(TCropModel::PictureArea(QRect(0, 3, 370, 247), QPoint(10, 20)),
              QRect(11, 24, 368, 245));
    struct Case {
        TCropMargins view, source;
    } cases[] = {
        {{10, 0, 5, 0}, {20, 0, 10, 0}}, // 10 x 480 / 245 = 19.6; 5 x 720 / 368 = 9.8
        {{13, 3, 1, 7}, {24, 6, 2, 14}}, // 25.47 rounds to 25, then down to 24
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        TCropModel m;
        m.SetArea(kArea);
        m.PlaceTracker(c.view);
        EXPECT_EQ(m.SourceCrop(720, 480), c.source)
            << c.view.Up << " " << c.view.Down << " " << c.view.Left << " " << c.view.Right;
    }
    for (auto [in, out] : {std::pair{"full", "full"},
                           {"lbox", "lbox"},
                           {"orig", "orig"},
                           {"cent", "cent"},
                           {"pan", "full"},
                           {"", "full"}}) {
        EXPECT_EQ(ZoomModeAfterCrop(in), out) << in;
    }
}

TEST(CropModel, TrackerStaysOnThePicture) {
    // The picture's right edge lies at 369, its bottom at 249.
    struct Case {
        const char* name;
        TCropMargins start;
        QRect dragged; // the bounds after the tracker's drag step
        QPoint mouse;  // tracker coordinates
        QRect kept;
        TCropMargins margins;
    } cases[] = {
        {"right side past the edge keeps the right margin",
         {0, 0, 0, 6},
         QRect(1, 4, 400, 245),
         QPoint(399, 100),
         QRect(1, 4, 362, 245),
         {0, 0, 0, 6}},
        {"bottom side past the edge pins to the bottom",
         {0, 20, 0, 0},
         QRect(1, 4, 368, 300),
         QPoint(100, 299),
         QRect(1, 4, 368, 245),
         {0, 0, 0, 0}},
        {"moved past the right edge: left back, stretched",
         {0, 0, 20, 100},
         QRect(171, 4, 248, 245),
         QPoint(100, 100),
         QRect(21, 4, 348, 245),
         {0, 0, 20, 0}},
        {"moved past the bottom edge: top back, stretched",
         {30, 100, 0, 0},
         QRect(1, 200, 368, 115),
         QPoint(100, 20),
         QRect(1, 34, 368, 215),
         {30, 0, 0, 0}},
        {"moved past the left edge: back at the left margin",
         {0, 0, 20, 100},
         QRect(-29, 4, 248, 245),
         QPoint(100, 100),
         QRect(21, 4, 248, 245),
         {0, 0, 20, 100}},
        {"moved past the top edge: at the top, same size",
         {10, 50, 0, 0},
         QRect(1, -20, 368, 185),
         QPoint(100, 100),
         QRect(1, 4, 368, 185),
         {0, 60, 0, 0}},
        {"moved past the right and bottom edges",
         {10, 100, 20, 100},
         QRect(200, 150, 248, 135),
         QPoint(10, 10),
         QRect(21, 14, 348, 235),
         {10, 0, 20, 0}},
        {"inside: only the margins follow",
         {0, 0, 0, 0},
         QRect(11, 14, 300, 200),
         QPoint(100, 100),
         QRect(11, 14, 300, 200),
         {10, 35, 10, 58}},
    };
    for (const Case& c : cases) {
        TCropModel m;
        m.SetArea(kArea);
        m.TrackerPressed(m.PlaceTracker(c.start));
        EXPECT_EQ(m.KeepOnPicture(c.dragged, c.mouse), c.kept) << c.name;
        EXPECT_EQ(m.Margins(), c.margins) << c.name;
    }
}

TEST(CropModel, SpinBoxesMoveTheTrackerUntilItsMinimum) {
    TCropModel m;
    m.SetArea(kArea);
    QRect bounds = m.PlaceTracker({});
    bounds = *m.SpinChanged(TCropSide::Up, 10, bounds);
    EXPECT_EQ(bounds, QRect(1, 14, 368, 235));
    bounds = *m.SpinChanged(TCropSide::Right, 8, bounds);
    EXPECT_EQ(bounds, QRect(1, 14, 360, 235));
    bounds = *m.SpinChanged(TCropSide::Left, 4, bounds);
    EXPECT_EQ(bounds, QRect(5, 14, 356, 235));
    bounds = *m.SpinChanged(TCropSide::Down, 225, bounds); // 245 - 10 - 225 = 10 left
    EXPECT_EQ(bounds, QRect(5, 14, 356, 10));
    EXPECT_EQ(m.Margins(), (TCropMargins{10, 225, 4, 8}));
    // At 10 pixels the margins may shrink but not grow.
    EXPECT_FALSE(m.SpinChanged(TCropSide::Down, 226, bounds));
    EXPECT_FALSE(m.SpinChanged(TCropSide::Up, 11, bounds));
    EXPECT_EQ(m.Margins(), (TCropMargins{10, 225, 4, 8}));
    bounds = *m.SpinChanged(TCropSide::Up, 9, bounds);
    EXPECT_EQ(bounds, QRect(5, 13, 356, 11));
    // A negative value counts as 0.
    bounds = *m.SpinChanged(TCropSide::Left, -3, bounds);
    EXPECT_EQ(bounds.left(), 1);
    EXPECT_EQ(m.Margins().Left, 0);
}

} // namespace
