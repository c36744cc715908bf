// The main window's source list: the view over the rows, selection, commands, adding files.
#include "WinMain.h"

#include "../formats/FormatsTestSupport.h"
#include "QtTestApp.h"
#include "TSourceListView.h"

#include <QHeaderView>

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
    std::vector<int> HeaderWidths() const {
        std::vector<int> widths;
        for (int i = 0; i < view_->header()->count(); ++i) {
            widths.push_back(view_->columnWidth(i));
        }
        return widths;
    }

    TScratchFolder dir_;
    TRecordingDialogs dialogs_;
    std::unique_ptr<TfrmMain> window_;
    TSourceListView* view_ = nullptr;
};

TEST_F(SourceListTest, TheHeaderFollowsTheLayoutOfTheFirstRow) {
    ASSERT_NE(view_, nullptr);
    EXPECT_EQ(view_->model(), &Rows());
    EXPECT_EQ(HeaderWidths(), (std::vector<int>{140, 65, 90, 120, 60}));
    Rows().AddRow(TitleRecord(), {"Title 1", "0:10:00"});
    EXPECT_EQ(HeaderWidths(), (std::vector<int>{120, 70, 70, 70, 100, 55}));
    EXPECT_EQ(view_->model()->headerData(4, Qt::Horizontal).toString(), "Video Format");
    Rows().Clear();
    Rows().AddFileRow(FileRecord("/media/clip.avi"));
    EXPECT_EQ(HeaderWidths(), (std::vector<int>{140, 65, 90, 120, 60}));
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

} // namespace
} // namespace quovo
