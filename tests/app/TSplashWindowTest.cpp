#include "TSplashWindow.h"

#include "../formats/FormatsTestSupport.h"
#include "QtTestApp.h"

#include <QDir>
#include <QImage>
#include <QTest>

namespace quovo {
namespace {

TEST(SplashWindowTest, ShowsTheCoverWhenReadableElseItsOwnPicture) {
    test::TScratchFolder dir;
    QDir().mkpath(QString::fromStdString(dir / "skin"));
    const QString cover = QString::fromStdString(dir / "skin/quovocover.jpg");
    EXPECT_EQ(CoverFile(dir / "quovoformat.ini"), cover);

    struct Case {
        const char* name;
        std::function<void()> prepare;
        QSize size;
    };
    const Case cases[] = {
        {"no cover", [] {}, QSize(400, 240)},
        {"a cover picture",
         [&] {
             QImage picture(320, 200, QImage::Format_RGB32);
             picture.fill(Qt::darkCyan);
             ASSERT_TRUE(picture.save(cover, "JPG"));
         },
         QSize(320, 200)},
        {"a damaged cover", [&] { dir.WriteFile("skin/quovocover.jpg", "not a picture"); },
         QSize(400, 240)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        TSplashWindow splash(CoverFile(dir / "quovoformat.ini"));
        EXPECT_EQ(splash.Picture().size(), c.size);
        EXPECT_EQ(splash.size(), c.size);
        EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    }
}

TEST(SplashWindowTest, ClosesOnceTheMainWindowShows) {
    TSplashWindow splash({});
    splash.show();
    QWidget window;
    splash.CloseWhenShown(&window);
    QTest::qWait(1300);
    EXPECT_TRUE(splash.isVisible()) << "the main window is not showing yet";
    window.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !splash.isVisible(); }, 3000));
}

} // namespace
} // namespace quovo
