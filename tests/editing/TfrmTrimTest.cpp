// The trim dialog offscreen with its real player: marks taken at the playing position, what OK
// stores and the row's cell text, Reset, and a reopening with the stored trim.
#include "TfrmTrim.h"
#include "EditingTestSupport.h"
#include "QtTestApp.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace quovo;
using namespace quovo::editingtest;

namespace {

TEST(TrimDialog, MarksAtThePlayingPositionAndOk) {
    TlvFilesRecord row = FileRow(Clip());
    TfrmTrim dialog;
    dialog.SetRow(row, Clip(), "clip.mkv");
    dialog.show();
    EXPECT_EQ(dialog.lblSourceName->text(), "clip.mkv");
    EXPECT_EQ(dialog.Model().End(), dialog.Model().Duration()); // never trimmed: all of it
    EXPECT_EQ(dialog.edtStart->text(), "00:00:00.000");
    EXPECT_EQ(dialog.edtEnd->text(), dialog.edtTrimLength->text());
    EXPECT_EQ(dialog.Preview().trcPreview->SelStart(), 0);
    EXPECT_EQ(dialog.Preview().trcPreview->SelEnd(), dialog.Preview().trcPreview->maximum());

    TFFPlayer& player = dialog.Preview().Player();
    ASSERT_TRUE(WaitUntil([&] { return player.Position() > 500000; }));
    dialog.btnOk1Click();
    const int64_t start = dialog.Model().Start();
    EXPECT_GT(start, 500000);
    ASSERT_TRUE(WaitUntil([&] { return player.Position() > start + 1000000; }));
    dialog.btnOk2Click();
    const int64_t end = dialog.Model().End();
    EXPECT_GT(end, start + 1000000);
    EXPECT_EQ(dialog.edtTrimLength->text(), FormatPlayTime(end - start));
    dialog.btnOkClick();
    EXPECT_EQ(row.TrimStart, start);
    EXPECT_EQ(row.TrimLength, end - start);
    EXPECT_EQ(dialog.CellText(), FormatTrimCell(end - start));

    // The same dialog reopened shows the stored part; Reset then OK stores the whole source.
    dialog.SetRow(row, Clip(), "clip.mkv");
    dialog.show();
    EXPECT_EQ(dialog.Model().Start(), start);
    EXPECT_EQ(dialog.Model().End(), end);
    dialog.btnResetClick();
    EXPECT_EQ(dialog.edtStart->text(), "00:00:00");
    dialog.btnOkClick();
    EXPECT_EQ(row.TrimStart, 0);
    EXPECT_EQ(row.TrimLength, 0);
    EXPECT_EQ(dialog.CellText(), "   0:00:04");
}

TEST(TrimDialog, NothingOpenLeavesTheRowAlone) {
    TlvFilesRecord row = FileRow(Clip());
    row.TrimStart = 5;
    TfrmTrim dialog;
    dialog.SetRow(row, fixtures::FixtureDir() + "/missing.mkv", "missing.mkv");
    dialog.show();
    EXPECT_FALSE(dialog.Preview().imgbtnPlay->isEnabled());
    dialog.btnOk1Click(); // no position: nothing happens
    dialog.btnOkClick();
    EXPECT_EQ(row.TrimStart, 0);
    EXPECT_EQ(row.TrimLength, 0);
    EXPECT_EQ(dialog.CellText(), "");
}

} // namespace
