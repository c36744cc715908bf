#include "TVideoWidget.h"
#include "PlayerTestSupport.h"
#include "QtTestApp.h"

#include <QApplication>
#include <QTest>

namespace quovo {
namespace {

using namespace playertest;

// Whether the row `y` of `image` is black from x0 to x1 (exclusive).
bool BlackRow(const QImage& image, int y, int x0, int x1) {
    for (int x = x0; x < x1; ++x) {
        if (qGray(image.pixel(x, y)) > 20) {
            return false;
        }
    }
    return true;
}

TEST(TVideoWidgetTest, PaintsThePresentedPictureAtItsPlaceAndReportsResizes) {
    TVideoWidget widget;
    widget.resize(100, 50);
    widget.show();
    int reportedW = 0, reportedH = 0;
    widget.SetResizeHandler([&](int w, int h) {
        reportedW = w;
        reportedH = h;
    });
    auto image = std::make_shared<TOutputImage>();
    image->areaWidth = 100;
    image->areaHeight = 50;
    image->x = 25;
    image->width = 50;
    image->height = 50;
    image->stride = 200;
    image->pixels.assign(200 * 50, 0);
    for (size_t i = 0; i < image->pixels.size(); i += 4) {
        image->pixels[i + 2] = 255; // red
        image->pixels[i + 3] = 255;
    }
    widget.Present(image);
    const QImage shown = widget.Shown();
    EXPECT_EQ(shown.pixel(10, 25), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(50, 25), qRgb(255, 0, 0));
    widget.resize(200, 80);
    EXPECT_EQ(reportedW, 200);
    EXPECT_EQ(reportedH, 80);
    EXPECT_EQ(widget.focusPolicy(), Qt::ClickFocus);
}

// A 16:9 PAL picture (720 x 576 with wide pixels) in a 4:3 area, with each AspectRatio setting.
TEST(TVideoWidgetTest, AnamorphicTitlesPreviewAtTheirDisplayShape) {
    fixtures::MediaSpec spec;
    spec.width = 720;
    spec.height = 576;
    spec.sampleAspect = {64, 45};
    spec.durationS = 3.0;
    const std::string clip = Clip("player-anamorphic.mkv", spec);

    TFFPlayer player;
    ASSERT_TRUE(player.LoadLibraries(""));
    player.AudioDriver = adDummy;
    TVideoWidget widget;
    widget.resize(320, 240);
    widget.show();
    ASSERT_TRUE(player.Open(clip, &widget, false));
    EXPECT_EQ(player.ScreenWidth(), 320); // taken from the widget
    struct Case {
        float aspectRatio;
        int barRows;    // black rows above the picture
        int barColumns; // black columns left of it
    };
    for (const Case& c : {Case{0, 30, 0}, Case{-1, 0, 0}, Case{1, 0, 40}}) {
        SCOPED_TRACE(c.aspectRatio);
        player.SetAspectRatio(c.aspectRatio);
        bool placed = false;
        WaitUntil(
            [&] {
                QApplication::processEvents();
                const QImage shown = widget.Shown();
                const int y = c.barRows, x = c.barColumns;
                placed = (y == 0 || BlackRow(shown, y - 1, 0, 320)) &&
                         (x == 0 || BlackRow(shown, 120, 0, x)) &&
                         !BlackRow(shown, y + 1, x, 320 - x) && qGray(shown.pixel(x + 1, 120)) > 20;
                return placed;
            },
            3.0);
        EXPECT_TRUE(placed);
    }
    player.Stop(true);
}

} // namespace
} // namespace quovo
