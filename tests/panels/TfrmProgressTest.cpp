#include "TfrmProgress.h"

#include "QtTestApp.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace quovo {
namespace {

class ProgressWindowTest : public ::testing::Test {
public:
    ProgressWindowTest() {
        TfrmProgress::THost host;
        host.lastPreview = [this]() -> const QImage& { return last_; };
        host.pausedChanged = [this](bool paused) { pausedSeen_.push_back(paused); };
        host.saveSnapshot = [this](const QImage& full, const QImage& small) {
            snapshots_.push_back({full, small});
        };
        host.closing = [this] { ++closings_; };
        window_ = std::make_unique<TfrmProgress>(std::move(host));
    }
    ~ProgressWindowTest() override { window_->close(); }

    QRgb Shown(int x, int y) const { return window_->PreviewCanvas().pixel(x, y); }

protected:
    int closings_ = 0;
    QImage last_;
    std::vector<bool> pausedSeen_;
    std::vector<std::pair<QImage, QImage>> snapshots_;
    std::unique_ptr<TfrmProgress> window_;
};

TEST_F(ProgressWindowTest, EachShowingStartsClean) {
    TfrmProgress& w = *window_;
    EXPECT_EQ(w.windowTitle(), "Progress");
    EXPECT_EQ(w.size(), QSize(420, 460));
    w.lblTime->setText("12 Second");
    w.progbarFile->setValue(70);
    w.ckOpen->setChecked(false);
    w.ckShutDown->setChecked(true);
    w.ShowPaused(true);
    w.ShowForRun();
    EXPECT_TRUE(w.isModal());
    EXPECT_TRUE(w.lblTime->text().isEmpty());
    EXPECT_EQ(w.progbarFile->value(), 0);
    EXPECT_TRUE(w.ckOpen->isChecked());
    EXPECT_TRUE(w.ckShutDown->isChecked()); // the user's choice stays
    EXPECT_TRUE(w.btnPause->isEnabled());
    EXPECT_FALSE(w.btnResume->isEnabled());
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(w.Timer1->interval(), 100);
    w.btnCancel->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.Timer1->isActive());
}

TEST_F(ProgressWindowTest, PreviewIsFittedOnTheBackground) {
    window_->ShowForRun();
    const QRgb background = TfrmProgress::Background().rgb();
    // Before the first picture the area keeps its background.
    window_->Timer1Timer();
    EXPECT_EQ(Shown(194, 100), background);

    // 200 × 100 into 388 × 199: full width, two rows of background above and below.
    last_ = QImage(200, 100, QImage::Format_RGB888);
    last_.fill(Qt::red);
    window_->Timer1Timer();
    EXPECT_EQ(Shown(0, 1), background);
    EXPECT_EQ(Shown(0, 2), QColor(Qt::red).rgb());
    EXPECT_EQ(Shown(387, 196), QColor(Qt::red).rgb());
    EXPECT_EQ(Shown(387, 197), background);

    // A tall picture: full height, bands left and right.
    last_ = QImage(100, 200, QImage::Format_RGB888);
    last_.fill(Qt::blue);
    window_->Timer1Timer();
    EXPECT_EQ(Shown(0, 100), background);
    EXPECT_EQ(Shown(194, 0), QColor(Qt::blue).rgb());

    window_->imgbtnSnap->click();
    ASSERT_EQ(snapshots_.size(), 1u);
    EXPECT_EQ(snapshots_[0].first.size(), QSize(100, 200));
    EXPECT_EQ(snapshots_[0].second.size(), QSize(388, 199));
    EXPECT_EQ(snapshots_[0].second, window_->PreviewCanvas());
}

TEST_F(ProgressWindowTest, PauseAndResumeTellTheMainWindow) {
    window_->ShowForRun();
    window_->btnPause->click();
    EXPECT_FALSE(window_->btnPause->isEnabled());
    EXPECT_TRUE(window_->btnResume->isEnabled());
    window_->btnResume->click();
    EXPECT_TRUE(window_->btnPause->isEnabled());
    EXPECT_FALSE(window_->btnResume->isEnabled());
    EXPECT_EQ(pausedSeen_, (std::vector<bool>{true, false}));
    // No snapshot without a picture.
    window_->imgbtnSnap->click();
    EXPECT_TRUE(snapshots_.empty());
    // Cancel is handed to the run, which stops the tasks.
    window_->btnCancel->click();
    EXPECT_EQ(closings_, 1);
}

// A screen reader hears each value, labelled by its caption: the value's name is its own text and
// the caption is its label.
TEST_F(ProgressWindowTest, ValuesAreReadWithTheirCaptions) {
    TfrmProgress& w = *window_;
    w.ShowForRun();
    const std::pair<QLabel*, const char*> rows[] = {{w.lblTime, "Current Time:"},
                                                    {w.lblLength, "Length:"},
                                                    {w.lblSize, "File Size:"},
                                                    {w.lblProgress, "Progress:"},
                                                    {w.lblOutput, "File:"}};
    for (auto [value, caption] : rows) {
        value->setText(QString("value of ") + caption);
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(value);
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->text(QAccessible::Name), value->text());
        QStringList labels;
        for (const auto& [other, relation] : read->relations(QAccessible::Label)) {
            labels << other->text(QAccessible::Name);
        }
        EXPECT_EQ(labels, QStringList{caption}) << caption;
    }
}

} // namespace
} // namespace quovo
