// Every dialog can be worked from the keyboard: Tab reaches each control that takes input.
#include "../formats/FormatsTestSupport.h"
#include "../formatwindows/FormatWindowsTestSupport.h"
#include "TfmDirectory.h"
#include "TfrmPreference.h"
#include "TfrmSettings.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QRadioButton>
#include <QSet>
#include <gtest/gtest.h>

namespace quovo {
namespace {

// The controls Tab passes through, starting at the window's first one.
QSet<QWidget*> TabChain(QWidget& window) {
    QSet<QWidget*> seen;
    QWidget* first = window.focusWidget();
    for (int i = 0; i < 100; ++i) {
        QWidget* focus = QApplication::focusWidget();
        if (focus == nullptr || (i > 0 && focus == first)) {
            break;
        }
        seen.insert(focus);
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    return seen;
}

void ExpectEveryControlReachable(QWidget& window) {
    test::ShowActive(window);
    const QSet<QWidget*> chain = TabChain(window);
    for (QWidget* w : window.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                             qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                             qobject_cast<QAbstractSlider*>(w) ||
                             qobject_cast<QAbstractItemView*>(w);
        if (!control || !w->isVisible() || !w->isEnabled()) {
            continue;
        }
        if (w->objectName() == "imgbtn1") {
            continue; // the format list's button: Alt+Down or F4 in the field does the same
        }
        // A group of radio buttons is one stop; arrows move inside it.
        if (qobject_cast<QRadioButton*>(w) != nullptr) {
            bool groupReached = false;
            for (QWidget* sibling : w->parentWidget()->findChildren<QRadioButton*>()) {
                groupReached = groupReached || chain.contains(sibling);
            }
            EXPECT_TRUE(groupReached) << w->accessibleName().toStdString();
            continue;
        }
        // The typed text of a box or a spin box: the box itself takes the focus.
        if (qobject_cast<QLineEdit*>(w) != nullptr &&
            (qobject_cast<QComboBox*>(w->parent()) ||
             qobject_cast<QAbstractSpinBox*>(w->parent()))) {
            continue;
        }
        EXPECT_TRUE(chain.contains(w))
            << w->metaObject()->className() << " " << w->objectName().toStdString() << " "
            << w->accessibleName().toStdString();
    }
    EXPECT_GT(chain.size(), 2);
}

TEST(DialogKeyboardTest, TabReachesEveryControl) {
    test::TWindowFiles files;
    files.Settings.WriteValues("settings", {{"FormatCode", "7"}}); // every box filled
    {
        TfrmSettings settings(files.Settings, files.Formats, files.Dialogs, "Quovo");
        settings.Reload();
        SCOPED_TRACE("Settings");
        ExpectEveryControlReachable(settings);
    }
    {
        TfrmPreference preference(files.Settings, files.Dialogs, "/videos", {}, {});
        preference.Reload();
        SCOPED_TRACE("Preference");
        ExpectEveryControlReachable(preference);
    }
    {
        TSystemMountTable mounts;
        TfmDirectory chooser(files.Dialogs, "Quovo", mounts);
        chooser.SelectFolder(QDir::homePath());
        SCOPED_TRACE("Brows");
        ExpectEveryControlReachable(chooser);
    }
}

} // namespace
} // namespace quovo
