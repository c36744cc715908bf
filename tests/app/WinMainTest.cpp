#include "WinMain.h"

#include "../formats/FormatsTestSupport.h"
#include "FFmpegException.h"
#include "FormatCatalogue.h"
#include "Fixtures.h"
#include "QtTestApp.h"
#include "TFormatPicker.h"
#include "TFormatPopupList.h"
#include "TGlobalObject.h"
#include "TQuovoApplication.h"
#include "TSkin.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAccessible>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;

class MainWindowTest : public ::testing::Test {
public:
    MainWindowTest() { ::setenv("QUOVO_CONFIG_DIR", dir_.Path().c_str(), 1); }
    ~MainWindowTest() override { ::unsetenv("QUOVO_CONFIG_DIR"); }

    std::unique_ptr<TfrmMain> Open() {
        auto window = std::make_unique<TfrmMain>(dialogs_);
        window->show();
        return window;
    }
    template <typename T> static T* Child(TfrmMain& w, const char* name) {
        T* child = w.findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    std::string Ini() const { return dir_ / "quovo.ini"; }
    TIniStore Settings() const { return TIniStore(Ini()); }

    TScratchFolder dir_;
    TRecordingDialogs dialogs_;
};

TEST_F(MainWindowTest, StartShowsTheStoredSettings) {
    struct Case {
        const char* name;
        const char* ini; // nullptr: no settings file
        std::string folder;
        int volume;
        bool mute;
        int code = 1;
    };
    const Case cases[] = {
        {"no settings file", nullptr, DefaultOutputFolder(), 0, false},
        {"stored values", "[settings]\nOutPutDir=/srv/out\nvolume=100\nmute=1\n", "/srv/out", 100,
         true},
        {"volume above the range", "[settings]\nvolume=200\n", DefaultOutputFolder(), 64, false},
        {"volume below the range", "[settings]\nvolume=-5\n", DefaultOutputFolder(), 64, false},
        {"mute neither 1 nor 0 keeps the box as designed", "[settings]\nmute=7\n",
         DefaultOutputFolder(), 0, false},
        // The field names the format the boxes and a run use.
        {"a code without a name", "[settings]\nFormatCode=2200\n", DefaultOutputFolder(), 0, false,
         2200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(Ini());
        if (c.ini != nullptr) {
            dir_.WriteFile("quovo.ini", c.ini);
        }
        auto w = Open();
        EXPECT_EQ(w->windowTitle(), "Quovo 3.300 ");
        EXPECT_EQ(w->minimumSize(), QSize(786, 522));
        EXPECT_EQ(w->size(), QSize(786, 522));
        // Everything fits at the smallest size: nothing is drawn over anything else.
        EXPECT_LE(w->layout()->minimumSize().width(), 786);
        EXPECT_LE(w->layout()->minimumSize().height(), 522);
        EXPECT_EQ(Child<QLineEdit>(*w, "edDirectory")->text().toStdString(), c.folder);
        EXPECT_EQ(Child<QAbstractSlider>(*w, "trcVolume")->value(), c.volume);
        EXPECT_EQ(Child<QAbstractButton>(*w, "ckMute")->isChecked(), c.mute);
        EXPECT_EQ(Child<QLineEdit>(*w, "edt1")->text().toStdString(), FindFormat(c.code)->Name);
        EXPECT_EQ(w->CurrentFormatName().toStdString(), FindFormat(c.code)->Name);
        EXPECT_EQ(w->CurrentFormatCode(), c.code);
        // Showing what is stored writes nothing, and neither does a window that was not closed.
        EXPECT_EQ(std::filesystem::exists(Ini()), c.ini != nullptr);
        w.reset();
        EXPECT_EQ(std::filesystem::exists(Ini()), c.ini != nullptr);
    }
}

TEST_F(MainWindowTest, ChoosingAFormatStoresItAndReloadsTheBoxes) {
    auto w = Open();
    QSignalSpy reload(w.get(), &TfrmMain::CurrentFormatFieldChanged);
    TFormatPicker* picker = w->FormatPicker();
    QListView* view = picker->List()->View();
    picker->ButtonClick();
    ASSERT_TRUE(picker->ListVisible());
    auto press = [&](const QString& text, int x) {
        const QModelIndexList hits = view->model()->match(
            view->model()->index(0, 0), Qt::DisplayRole, text, 1, Qt::MatchExactly);
        ASSERT_EQ(hits.size(), 1) << text.toStdString();
        view->scrollTo(hits.first());
        QTest::mousePress(view->viewport(), Qt::LeftButton, {},
                          QPoint(x, view->visualRect(hits.first()).center().y()));
    };
    press("Microsoft xbox 360", 4);
    press("Microsoft Xbox AVI Video (*.avi)", 80);
    EXPECT_EQ(Settings().ReadString("settings", "FormatCode", ""), "1201");
    EXPECT_EQ(w->CurrentFormatName(), "Microsoft Xbox AVI Video (*.avi)");
    ASSERT_GE(reload.count(), 1);
    EXPECT_EQ(reload.last().at(0).toInt(), 1201);
    // The next start opens on it, its category expanded as it was left.
    ASSERT_TRUE(w->close());
    auto again = Open();
    EXPECT_EQ(again->CurrentFormatCode(), 1201);
    again->FormatPicker()->FieldClick();
    const TFormatListModel& rows = again->FormatPicker()->Rows();
    ASSERT_GE(rows.Selected(), 0);
    EXPECT_EQ(rows.Rows()[rows.Selected()].Text, "Microsoft Xbox AVI Video (*.avi)");
}

TEST_F(MainWindowTest, OutputFolderControls) {
    dir_.WriteFile("quovo.ini", "[settings]\nOutPutDir=/srv/out\n");
    auto w = Open();
    QString offered;
    QString answer;
    w->SetFolderChooser([&](const QString& current) {
        offered = current;
        return answer;
    });
    struct Case {
        const char* name;
        QString answer;
        std::string stored;
    };
    const Case cases[] = {
        {"chooser cancelled", "", "/srv/out"},
        {"same folder again", "/srv/out", "/srv/out"},
        {"another folder", "/srv/new", "/srv/new"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        answer = c.answer;
        Child<QAbstractButton>(*w, "btnBrows")->click();
        EXPECT_EQ(Settings().ReadString("settings", "OutPutDir", ""), c.stored);
        EXPECT_EQ(Child<QLineEdit>(*w, "edDirectory")->text().toStdString(), c.stored);
    }
    EXPECT_EQ(offered, "/srv/out");

    QStringList opened;
    w->SetFolderOpener([&](const QString& folder) { opened << folder; });
    Child<QAbstractButton>(*w, "btnOpen")->click();
    Child<QLineEdit>(*w, "edDirectory")->setText("/x"); // two characters: nothing to open
    EXPECT_EQ(Settings().ReadString("settings", "OutPutDir", ""), "/x");
    Child<QAbstractButton>(*w, "btnOpen")->click();
    EXPECT_EQ(opened, QStringList{"/srv/new"});
}

TEST_F(MainWindowTest, ClosingAsksAndThenStopsTheConversion) {
    for (bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        std::filesystem::remove(Ini());
        auto w = Open();
        TMediaConverter& c = w->Converter();
        TInputOptions in;
        in.ExtOptions = "re=1"; // reads at the clip's own pace: still running when closed
        const int task = c.AddTask(fixtures::Fixture("h264-aac.mkv"), &in);
        ASSERT_EQ(task, 0) << c.LastErrMsg();
        TOutputOptions out;
        out.VideoCodec = "copy";
        out.AudioCodec = "copy";
        const std::string output = dir_ / (yes ? "yes.mkv" : "no.mkv");
        ASSERT_TRUE(c.SetOutputFile(task, output, &out)) << c.LastErrMsg();
        bool ended = false;
        c.SetOnTerminate([&](TCustomMediaConverter*, const TTerminateInfo&) { ended = true; });
        c.StartTask(1);
        ASSERT_TRUE(c.Working());

        dialogs_.Questions.clear();
        dialogs_.Answer = yes;
        EXPECT_EQ(w->close(), yes);
        ASSERT_EQ(dialogs_.Questions.size(), 1u);
        EXPECT_EQ(dialogs_.Questions[0].Title, "Warning");
        EXPECT_EQ(dialogs_.Questions[0].Text, "Do you really want to exit?");
        EXPECT_EQ(w->isVisible(), !yes);
        EXPECT_EQ(c.Working(), !yes);
        EXPECT_EQ(Settings().SectionExists("lstformat"), yes);
        if (yes) {
            EXPECT_EQ(Settings().ReadSectionKeys("lstformat").size(), 25u);
            EXPECT_EQ(c.TaskCount(), 0);
        } else {
            c.Stop(true);
        }
        EXPECT_TRUE(std::filesystem::exists(output));
    }
}

TEST_F(MainWindowTest, LooksAreStoredAndAppliedAtStart) {
    auto w = Open();
    EXPECT_EQ(w->SkinIndex(), 0);
    EXPECT_EQ(QApplication::palette().color(QPalette::AlternateBase), SkinRowTint(0));
    w->SkinClick(4);
    EXPECT_EQ(Settings().ReadInteger("settings", "skinIndex", -1), 4);
    EXPECT_EQ(QApplication::palette().color(QPalette::AlternateBase), QColor(247, 225, 225));
    w.reset();
    ApplySkin(0);
    auto again = Open();
    EXPECT_EQ(again->SkinIndex(), 4);
    EXPECT_EQ(QApplication::palette().color(QPalette::AlternateBase), QColor(247, 225, 225));
    auto* look = again->findChild<QAction*>("Skin4");
    ASSERT_NE(look, nullptr);
    EXPECT_TRUE(look->isChecked());
    again->SkinClick(0);
}

// Tab goes through the window as it reads, boxes added under the format chooser included.
TEST_F(MainWindowTest, TabFollowsTheReadingOrder) {
    auto w = std::make_unique<TfrmMain>(dialogs_);
    auto* boxes = new QWidget;
    auto* layout = new QHBoxLayout(boxes);
    auto* first = new QLineEdit(boxes);
    auto* second = new QLineEdit(boxes);
    layout->addWidget(first);
    layout->addWidget(second);
    w->ParameterBoxesSlot()->addWidget(boxes);
    w->show();
    std::vector<QWidget*> chain;
    QWidget* at = Child<QWidget>(*w, "lvFiles");
    for (int i = 0; i < 40 && at != nullptr; ++i) {
        chain.push_back(at);
        do {
            at = at->nextInFocusChain();
        } while (!(at->focusPolicy() & Qt::TabFocus) || !at->isVisibleTo(w.get()) ||
                 !at->isEnabled());
        if (at == chain.front()) {
            break;
        }
    }
    auto position = [&](QWidget* widget) {
        return std::find(chain.begin(), chain.end(), widget) - chain.begin();
    };
    const std::vector<QWidget*> reading = {Child<QWidget>(*w, "lvFiles"),
                                           Child<QWidget>(*w, "trcVolume"),
                                           Child<QWidget>(*w, "ckMute"),
                                           Child<QWidget>(*w, "edt1"),
                                           first,
                                           second,
                                           Child<QWidget>(*w, "edDirectory"),
                                           Child<QWidget>(*w, "btnBrows"),
                                           Child<QWidget>(*w, "btnOpen")};
    for (size_t i = 1; i < reading.size(); ++i) {
        EXPECT_LT(position(reading[i - 1]), position(reading[i]))
            << reading[i - 1]->objectName().toStdString() << " before "
            << reading[i]->objectName().toStdString();
        EXPECT_LT(position(reading[i]), static_cast<long>(chain.size()));
    }
}

// Every control says what it is: its caption, or the label beside it.
TEST_F(MainWindowTest, EveryControlHasItsAccessibleName) {
    auto w = Open();
    int checked = 0;
    for (QWidget* control : w->findChildren<QWidget*>()) {
        const bool isControl =
            qobject_cast<QAbstractButton*>(control) || qobject_cast<QLineEdit*>(control) ||
            qobject_cast<QAbstractSlider*>(control) || qobject_cast<QAbstractItemView*>(control);
        if (!isControl || !control->isVisibleTo(w.get()) ||
            control->parent()->inherits("QAbstractScrollArea")) {
            continue;
        }
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Name).trimmed().isEmpty())
            << control->metaObject()->className() << " " << control->objectName().toStdString();
        ++checked;
    }
    EXPECT_GT(checked, 10);
    for (QLabel* label : w->findChildren<QLabel*>()) {
        if (QWidget* buddy = label->buddy()) {
            EXPECT_EQ(QAccessible::queryAccessibleInterface(buddy)->text(QAccessible::Name),
                      label->text().remove('&'))
                << buddy->objectName().toStdString();
        }
    }
    const std::pair<const char*, const char*> named[] = {
        {"edt1", "Output Format:"}, {"edDirectory", "Output Directory:"},
        {"btnBrows", "Brows"},      {"btnOpen", "Open"},
        {"btnStart2", "Start"},     {"btnSettings", "Settings"},
    };
    for (auto [object, name] : named) {
        QWidget* control = w->findChild<QWidget*>(object);
        ASSERT_NE(control, nullptr) << object;
        EXPECT_EQ(QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name), name);
    }
}

class TThrowingObject : public QObject {
public:
    std::function<void()> Throw;
    bool event(QEvent*) override {
        Throw();
        return true;
    }
};

TEST_F(MainWindowTest, ErrorsEscapingAHandlerAreReportedAndTheProgramGoesOn) {
    auto* quovoApp = qobject_cast<TQuovoApplication*>(QCoreApplication::instance());
    ASSERT_NE(quovoApp, nullptr);
    TQuovoApplication& app = *quovoApp;
    app.SetDialogService(&dialogs_);
    struct Case {
        const char* name;
        std::function<void()> error;
        std::string text;
        TMessageIcon icon;
    };
    const Case cases[] = {
        {"engine error", [] { throw FFmpegException("Could not open file!"); },
         "Could not open file!.", TMessageIcon::Warning},
        {"other error ending in a full stop", [] { throw std::runtime_error("Out of range."); },
         "Out of range.", TMessageIcon::Error},
        {"not an exception class", [] { throw 42; }, "Unknown error.", TMessageIcon::Error},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs_.Messages.clear();
        TThrowingObject thrower;
        thrower.Throw = c.error;
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &event);
        ASSERT_EQ(dialogs_.Messages.size(), 1u);
        EXPECT_EQ(dialogs_.Messages[0].Title, "Quovo");
        EXPECT_EQ(dialogs_.Messages[0].Text, c.text);
        EXPECT_EQ(dialogs_.Messages[0].Icon, c.icon);
    }
    // A slot behind a button, the usual way an error leaves a handler.
    dialogs_.Messages.clear();
    QPushButton button("Start");
    QObject::connect(&button, &QPushButton::clicked,
                     [] { throw FFmpegException("Unknown encoder 'libfoo'"); });
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0].Text, "Unknown encoder 'libfoo'.");
    EXPECT_EQ(dialogs_.Messages[0].Icon, TMessageIcon::Warning);
    // Events are still delivered afterwards.
    bool ran = false;
    QMetaObject::invokeMethod(
        &app, [&] { ran = true; }, Qt::QueuedConnection);
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
    app.SetDialogService(nullptr);
}

} // namespace
} // namespace quovo
