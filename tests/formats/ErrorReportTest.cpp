#include "ErrorReport.h"

#include "FFmpegException.h"

#include "FormatsTestSupport.h"

#include <gtest/gtest.h>

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;

TEST(ErrorReportTest, TextRuleAndIcons) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {{"Failed!", "Failed!."}, {"Done.", "Done."}, {"", ""},     {"code 5", "code 5."},
                 {"(x)", "(x)."},         {"a-", "a-."},      {"..", ".."}, {"ends/", "ends/."}};
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorReportText(c.in), c.out) << c.in;
    }
    TRecordingDialogs dialogs;
    ReportError(dialogs, "Quovo", FFmpegException("Unknown encoder 'x'"));
    ReportError(dialogs, "Quovo", std::runtime_error("disk full"));
    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_EQ(dialogs.Messages[0].Title, "Quovo");
    EXPECT_EQ(dialogs.Messages[0].Text, "Unknown encoder 'x'.");
    EXPECT_EQ(dialogs.Messages[0].Icon, TMessageIcon::Warning);
    EXPECT_EQ(dialogs.Messages[1].Icon, TMessageIcon::Error);
}

} // namespace
} // namespace quovo
