// The base of the engine's conversion tests: the libraries are loaded once per test program, each
// test gets a folder of its own in the fixture directory, and engine messages stay quiet unless a
// test asks for more.
#pragma once

#include "Fixtures.h"
#include "TCustomFFmpeg.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace quovo::testing_support {

using Options = std::vector<std::pair<std::string, std::string>>;

class EngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FFLogger()->SetTriggerEventInMainThread(false);
        ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    }

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::path(fixtures::FixtureDir()) /
               (std::string(info->test_suite_name()) + "-" + info->name());
        std::filesystem::create_directories(dir_);
        FFLogger()->SetLogLevel(llWarning);
    }

    // A file in the test's own folder.
    std::string Out(const std::string& name) const { return (dir_ / name).string(); }

    static void SetOptions(TCustomFFmpeg& e, const Options& options) {
        for (const auto& [n, v] : options) {
            e.SetOption(n, v);
        }
    }

    // Sets `in` options, opens each input, sets `out` options and creates the output.
    static void Prepare(TCustomFFmpeg& e, const std::vector<std::string>& inputs, const Options& in,
                        const std::string& output, const Options& out, bool join = false) {
        SetOptions(e, in);
        for (const auto& input : inputs) {
            ASSERT_TRUE(e.OpenInputFile(input)) << e.LastErrorText();
        }
        SetOptions(e, out);
        ASSERT_GT(e.OpenOutputFile(output, join), 0) << e.LastErrorText();
    }

    // Prepare, then the whole run, which must complete.
    static void Convert(TCustomFFmpeg& e, const std::vector<std::string>& inputs, const Options& in,
                        const std::string& output, const Options& out, bool join = false) {
        Prepare(e, inputs, in, output, out, join);
        if (HasFatalFailure()) {
            return;
        }
        e.Transcode();
        EXPECT_TRUE(e.RunCompleted());
        e.ReleaseAll();
    }

    // The same with an engine of its own.
    static void Convert(const std::vector<std::string>& inputs, const Options& in,
                        const std::string& output, const Options& out, bool join = false) {
        TCustomFFmpeg e;
        Convert(e, inputs, in, output, out, join);
    }

    std::filesystem::path dir_;
};

} // namespace quovo::testing_support
