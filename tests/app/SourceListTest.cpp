// The main window's source list: the view over the rows, selection, commands, adding files.
#include "WinMain.h"

#include "../formats/FormatsTestSupport.h"
#include "QtTestApp.h"
#include "TSourceListView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <cstdlib>

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;

std::unique_ptr<TlvFilesRecord> FileRecord(const std::string& path, int seconds = 10) {
    return std::make_unique<TlvFilesRecord>(MakeFileRecord(
        0, path, "/out/" + std::filesystem::path(path).stem().string() + ".mp4", seconds, "lbox"));
}

std::unique_ptr<TlvFilesRecord> TitleRecord() {
    auto record = std::make_unique<TlvFilesRecord>();
    record->Kind = TRowKind::Title;
    return record;
}

class SourceListTest : public ::testing::Test {
public:
    SourceListTest() {
        ::setenv("QUOVO_CONFIG_DIR", dir_.Path().c_str(), 1);
        window_ = std::make_unique<TfrmMain>(dialogs_);
        window_->show();
        view_ = window_->findChild<TSourceListView*>("lvFiles");
    }
    ~SourceListTest() override {
        window_.reset();
        ::unsetenv("QUOVO_CONFIG_DIR");
    }
    TSourceListModel& Rows() { return window_->SourceList(); }
    void AddRows(std::initializer_list<const char*> paths) {
        for (const char* path : paths) {
            Rows().AddFileRow(FileRecord(path));
        }
    }
    QStringList Captions() {
        QStringList captions;
        for (int i = 0; i < Rows().Count(); ++i) {
            captions << Rows().Caption(i);
        }
        return captions;
    }
    std::vector<bool> Checks() {
        std::vector<bool> checks;
        for (int i = 0; i < Rows().Count(); ++i) {
            checks.push_back(Rows().Checked(i));
        }
        return checks;
    }
    QAction* Action(const char* name) {
        auto* action = window_->findChild<QAction*>(name);
        EXPECT_NE(action, nullptr) << name;
        return action;
    }
    std::vector<int> HeaderWidths() const {
        std::vector<int> widths;
        for (int i = 0; i < view_->header()->count(); ++i) {
            widths.push_back(view_->columnWidth(i));
        }
        return widths;
    }
    // Each column is as wide as the layout asks, or a little wider where the font needs it.
    void ExpectWidths(const std::vector<int>& least) const {
        const std::vector<int> widths = HeaderWidths();
        ASSERT_EQ(widths.size(), least.size());
        for (size_t i = 0; i < least.size(); ++i) {
            EXPECT_GE(widths[i], least[i]) << i;
            EXPECT_LE(widths[i], least[i] + 40) << i;
        }
    }

    TScratchFolder dir_;
    TRecordingDialogs dialogs_;
    std::unique_ptr<TfrmMain> window_;
    TSourceListView* view_ = nullptr;
};

TEST_F(SourceListTest, TheHeaderFollowsTheLayoutOfTheFirstRow) {
    ASSERT_NE(view_, nullptr);
    EXPECT_EQ(view_->model(), &Rows());
    ExpectWidths({140, 65, 90, 120, 60});
    // The captions show: the header is as high as its text.
    EXPECT_GE(view_->header()->height(), view_->fontMetrics().height());
    Rows().AddRow(TitleRecord(), {"Title 1", "0:10:00"});
    ExpectWidths({120, 70, 70, 70, 100, 55});
    EXPECT_EQ(view_->model()->headerData(4, Qt::Horizontal).toString(), "Video Format");
    Rows().Clear();
    Rows().AddFileRow(FileRecord("/media/clip.avi"));
    ExpectWidths({140, 65, 90, 120, 60});
    EXPECT_EQ(view_->model()->index(0, 3).data().toString(), "clip.mp4");
}

TEST_F(SourceListTest, OneRowAtATimeIsSelected) {
    for (const char* path : {"/m/a.avi", "/m/b.avi", "/m/c.avi"}) {
        Rows().AddFileRow(FileRecord(path));
    }
    EXPECT_EQ(window_->SelectedRow(), -1);
    window_->SelectRow(1);
    EXPECT_EQ(window_->SelectedRow(), 1);
    window_->SelectRow(2);
    EXPECT_EQ(view_->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(window_->SelectedRow(), 2);
    window_->SelectRow(3);
    EXPECT_EQ(window_->SelectedRow(), -1);
}

TEST_F(SourceListTest, CheckCommandsOfTheEditMenu) {
    struct Case {
        const char* command;
        std::vector<bool> expected; // from checked, unchecked, checked with the middle selected
    };
    const Case cases[] = {
        {"CheckAll1", {true, true, true}},       {"UncheckAll1", {false, false, false}},
        {"ReverseCheck1", {false, true, false}}, {"Check1", {true, true, true}},
        {"Uncheck1", {true, false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        Rows().Clear();
        AddRows({"/m/a.avi", "/m/b.avi", "/m/c.avi"});
        Rows().SetChecked(1, false);
        window_->SelectRow(1);
        emit window_->findChild<QMenu*>("Edit1")->aboutToShow();
        Action(c.command)->trigger();
        EXPECT_EQ(Checks(), c.expected);
    }
}

TEST_F(SourceListTest, RowCommandsNeedASelectedRow) {
    const char* const edit[] = {"Crop1",       "Trim1",         "VideoEffect1", "CheckAll1",
                                "UncheckAll1", "ReverseCheck1", "Check1",       "Uncheck1"};
    const char* const popup[] = {"Crop2",  "Trim2",  "VideoEffect2", "Remove2",
                                 "Clear2", "Start2", "Infomation1"};
    auto* editMenu = window_->findChild<QMenu*>("Edit1");
    QMenu* popupMenu = window_->FilesPopup();
    ASSERT_NE(popupMenu, nullptr);
    auto expectEnabled = [&](bool enabled) {
        emit editMenu->aboutToShow();
        for (const char* name : edit) {
            EXPECT_EQ(Action(name)->isEnabled(), enabled) << name;
        }
        emit popupMenu->aboutToShow();
        for (const char* name : popup) {
            EXPECT_EQ(Action(name)->isEnabled(), enabled) << name;
        }
        EXPECT_TRUE(Action("Add2")->isEnabled());
    };
    {
        SCOPED_TRACE("empty list");
        expectEnabled(false);
    }
    AddRows({"/m/a.avi", "/m/b.avi"});
    {
        SCOPED_TRACE("rows, none selected");
        expectEnabled(false);
    }
    window_->SelectRow(1);
    {
        SCOPED_TRACE("a row selected");
        expectEnabled(true);
    }
    window_->btnRemoveClick();
    window_->btnRemoveClick();
    {
        SCOPED_TRACE("the last row removed");
        expectEnabled(false);
    }
}

TEST_F(SourceListTest, RemovingSelectsTheRowNowAtThatPlace) {
    struct Case {
        const char* way;
        int selected;
        QStringList left;
        int selectedAfter;
    };
    const Case cases[] = {
        {"File menu", 2, {"/m/a.avi", "/m/b.avi"}, 1},
        {"pop-up menu", 0, {"/m/b.avi", "/m/c.avi"}, 0},
        {"Delete key", 1, {"/m/a.avi", "/m/c.avi"}, 1},
        {"File menu without a selection", -1, {"/m/a.avi", "/m/b.avi", "/m/c.avi"}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.way);
        Rows().Clear();
        AddRows({"/m/a.avi", "/m/b.avi", "/m/c.avi"});
        window_->SelectRow(c.selected);
        if (std::string(c.way) == "Delete key") {
            window_->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
            view_->setFocus();
            QTest::keyClick(view_, Qt::Key_Delete);
        } else if (std::string(c.way) == "pop-up menu") {
            emit window_->FilesPopup()->aboutToShow();
            Action("Remove2")->trigger();
        } else {
            Action("Remove1")->trigger();
        }
        EXPECT_EQ(Captions(), c.left);
        EXPECT_EQ(window_->SelectedRow(), c.selectedAfter);
    }
}

TEST_F(SourceListTest, ClearEmptiesTheList) {
    AddRows({"/m/a.avi", "/m/b.avi"});
    window_->SelectRow(0);
    window_->findChild<QToolButton*>("btnClear")->click();
    EXPECT_EQ(Rows().Count(), 0);
    EXPECT_EQ(window_->SelectedRow(), -1);
    AddRows({"/m/a.avi"});
    Action("Clear1")->trigger();
    EXPECT_EQ(Rows().Count(), 0);
}

TEST_F(SourceListTest, ThePopUpMenuOpensAtThePointerAndBelowTheEditButton) {
    AddRows({"/m/a.avi", "/m/b.avi"});
    QMenu* popup = window_->FilesPopup();
    const QPoint at = view_->visualRect(Rows().index(1, 1)).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, view_->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view_->viewport(), &click);
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->pos(), view_->viewport()->mapToGlobal(at));
    popup->hide();

    auto* edit = window_->findChild<QToolButton*>("BtnEdit");
    ASSERT_TRUE(edit->isVisible());
    edit->click();
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->pos(), edit->mapToGlobal(QPoint(0, edit->height())));
    popup->hide();
}

} // namespace
} // namespace quovo
