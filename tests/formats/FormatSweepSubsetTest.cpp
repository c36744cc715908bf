// The fast part of the format sweep (`make check-formats` runs all of it): one case for each
// limit of an encoder or container that the option builder works around, converted and checked
// as the sweep does, with the line the builder logs for the move.
#include "FormatSweep.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TGlobalObject.h"
#include "TIniStore.h"

#include "Fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quovo {
namespace {

struct TSubsetCase {
    const char* name;
    const char* logged; // a line that must be logged, "" for none
};

void PrintTo(const TSubsetCase& c, std::ostream* os) {
    *os << c.name;
}

class FormatSweepSubsetTest : public ::testing::TestWithParam<TSubsetCase> {
protected:
    static void SetUpTestSuite() {
        FFLogger()->SetTriggerEventInMainThread(false);
        FFLogger()->SetLevelByName("quiet");
        ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
        sweep::MakeSources(Sources());
    }
    // Made once per build tree: every case runs in a process of its own.
    static std::string Sources() { return QUOVO_SWEEP_SOURCES; }
};

TEST_P(FormatSweepSubsetTest, ConvertsAsChosenOrAsLogged) {
    const TSubsetCase& c = GetParam();
    const TIniStore formats(FindFormatFile());
    const sweep::TSweepCase sweepCase = sweep::CaseNamed(formats, c.name);
    const sweep::TSweepOutcome outcome =
        sweep::RunCase(sweepCase, Sources(), fixtures::FixtureDir() + "/sweep-work");
    EXPECT_TRUE(outcome.Ok) << outcome.Failure;
    if (*c.logged != '\0') {
        EXPECT_EQ(std::count(outcome.Adjustments.begin(), outcome.Adjustments.end(), c.logged), 1)
            << "logged once: " << c.logged;
    }
}

// clang-format off
const TSubsetCase kCases[] = {
    {"1400 VideoSize=as source",   "H.263 has no 720x480 pictures: the output is 704x576"},
    {"1401 VideoEncoder=h263",     ""}, // the box shows and stores 352x288 for 320x240
    {"2300 all as source",         "MP2 has no 22050 Hz sound: the output has 32000 Hz"},
    {"2301 AudioBitRate=448",      "MP2 has no 448 kb/s at 48000 Hz: the output has 384 kb/s"},
    {"2301 all as source",         "A DVD has no mono sound: the output has 2 channels"},
    {"2107 all as source",         "AC-3 has no 22050 Hz sound: the output has 32000 Hz"},
    {"2406 all as source",         "AC-3 has no 22050 Hz sound: the output has 32000 Hz"},
    {"1900 SampleRate=22050",      ""},
    {"2308 Channel=mono 1 channel", "DV carries 2 sound channels, not 1: the output has 2 channels"},
    {"2308 sound only",            ""}, // refused, saying why
    {"2301 sound only",            ""},
    {"1400 anamorphic",            ""},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Limits, FormatSweepSubsetTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TSubsetCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name) {
                                 ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return name;
                         });

} // namespace
} // namespace quovo
