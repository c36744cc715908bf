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

    std::filesystem::path dir_;
};

} // namespace quovo::testing_support
