#include "TShutDownCountdown.h"

#include "QtTestApp.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace quovo {
namespace {

// The countdown powers off (here: counts a call) once, at zero or on request, never after Cancel.
TEST(ShutDownCountdownTest, PowersOffOnlyWhenTheCountEndsOrTheUserAsks) {
    enum class Do { Wait, Cancel, Now, CancelThenWait };
    struct Case {
        const char* name;
        Do action;
        int powerOffs;
    };
    const Case cases[] = {
        {"the count reaches zero", Do::Wait, 1},
        {"cancelled", Do::Cancel, 0},
        {"shut down now", Do::Now, 1},
        {"no tick after a cancel powers off", Do::CancelThenWait, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int powerOffs = 0;
        QPointer<TShutDownCountdown> window = new TShutDownCountdown([&] { ++powerOffs; });
        window->Start();
        EXPECT_TRUE(window->lblCountdown->text().contains("60 seconds"));
        window->Tick();
        EXPECT_TRUE(window->lblCountdown->text().contains("59 seconds"));
        if (c.action == Do::Cancel || c.action == Do::CancelThenWait) {
            window->btnCancel->click();
        } else if (c.action == Do::Now) {
            window->btnShutDownNow->click();
        }
        if (c.action == Do::Wait) {
            for (int i = 0; i < TShutDownCountdown::kSeconds - 2; ++i) {
                window->Tick();
            }
            EXPECT_EQ(powerOffs, 0) << "one second left";
        }
        if ((c.action == Do::Wait || c.action == Do::CancelThenWait) && window) {
            for (int i = 0; i < TShutDownCountdown::kSeconds; ++i) {
                window->Tick();
            }
        }
        EXPECT_EQ(powerOffs, c.powerOffs);
        if (window) {
            EXPECT_FALSE(window->isVisible());
            delete window;
        }
    }
}

} // namespace
} // namespace quovo
