#include "RunRules.h"

#include <gtest/gtest.h>

namespace quovo {
namespace {

TEST(RunRulesTest, PriorityMapping) {
    struct Case {
        int setting;
        std::optional<TThreadPriority> priority;
    };
    const Case cases[] = {{0, tpIdle},   {1, tpNormal},     {2, tpLower},
                          {3, tpLowest}, {7, std::nullopt}, {-1, std::nullopt}};
    for (const Case& c : cases) {
        EXPECT_EQ(PriorityFor(c.setting), c.priority) << c.setting;
    }
}

TEST(RunRulesTest, PercentAndLabelsOfAProgressReport) {
    EXPECT_EQ(ProgressPercent(30500000, 61000000), 50);
    EXPECT_EQ(ProgressPercent(60999999, 61000000), 99); // whole percents, rounded down
    EXPECT_EQ(ProgressPercent(5000000, 0), std::nullopt);
    EXPECT_EQ(ProgressPercent(5000000, -1), std::nullopt);
    // Hours of film in microseconds times 100 stay inside 64 bits.
    EXPECT_EQ(ProgressPercent(int64_t{36000} * 1000000, int64_t{72000} * 1000000), 50);
    EXPECT_EQ(SecondsLabel(30500000), "30 Second");
    EXPECT_EQ(SecondsLabel(61000000), "61 Second");
    EXPECT_EQ(SizeLabel(1999), "1 kb");
    EXPECT_EQ(CounterLabel(0, 2), "[1/2]");
    EXPECT_EQ(CounterLabel(1, 2), "[2/2]");
}

TEST(RunRulesTest, OutputLabelCutsLongCaptionsKeepingTheExtension) {
    const QString sixty = "/home/user/Videos/holiday/" + QString(30, 'x') + ".avi";
    ASSERT_EQ(sixty.length(), 60);
    const QString fifty = QString(46, 'y') + ".avi";
    const QString fiftyOne = QString(47, 'z') + ".mkv";
    const QString dottedFolder = "/media/disc.one/" + QString(40, 'w');
    struct Case {
        QString caption;
        QString label;
    };
    const Case cases[] = {
        {sixty, sixty.left(44) + ".." + ".avi"},
        {fifty, fifty},
        {fiftyOne, fiftyOne.left(44) + ".." + ".mkv"},
        {dottedFolder, dottedFolder.left(44) + ".."},
        {"short.avi", "short.avi"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OutputLabel(c.caption), c.label) << c.caption.toStdString();
    }
}

} // namespace
} // namespace quovo
