// Helpers of the format tests: a recording dialog service and a scratch folder per test.
#pragma once

#include <cstdint> // before the media libraries' headers, which need its constant macros

#include "TConverterRecords.h"
#include "TDialogService.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace quovo::test {

struct TShownMessage {
    std::string Title;
    std::string Text;
    TMessageIcon Icon;
};

class TRecordingDialogs : public TDialogService {
public:
    void ShowMessage(const std::string& title, const std::string& text,
                     TMessageIcon icon) override {
        Messages.push_back({title, text, icon});
    }
    bool AskYesNo(const std::string& title, const std::string& text) override {
        Questions.push_back({title, text, TMessageIcon::Question});
        return Answer;
    }
    void Beep() override { ++Beeps; }

    std::vector<TShownMessage> Messages;
    std::vector<TShownMessage> Questions;
    bool Answer = true;
    int Beeps = 0;
};

// A fresh folder removed at the end of the test.
class TScratchFolder {
public:
    TScratchFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("quovo-") + info->test_suite_name() + "-" + info->name() +
                           "-" + std::to_string(::getpid());
        for (char& c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TScratchFolder() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::string Path() const { return path_.string(); }
    void WriteFile(const std::string& name, const std::string& text) const {
        std::ofstream(path_ / name, std::ios::binary) << text;
    }

private:
    std::filesystem::path path_;
};

// The fields of a task's records that planning sets, as one line (file names left out), so two
// roads can be compared and a difference read.
inline std::string RecordText(const TInputOptions& in, const TOutputOptions& out) {
    std::ostringstream t;
    t << "in.format=" << in.FileFormat << " in.start=" << in.StartTime
      << " in.ext=" << in.ExtOptions << " format=" << out.FileFormat << " acodec=" << out.AudioCodec
      << " an=" << out.DisableAudio << " vol=" << out.AudioVolume << " ac=" << out.AudioChannels
      << " ar=" << out.AudioSampleRate << " ab=" << out.AudioBitrate << " vcodec=" << out.VideoCodec
      << " vpre=" << out.VideoPreset << " vn=" << out.DisableVideo << " r=" << out.FrameRate
      << " s=" << out.FrameSize << " aspect=" << out.FrameAspect << " crop=" << out.CropTop << ","
      << out.CropBottom << "," << out.CropLeft << "," << out.CropRight << " vb=" << out.VideoBitrate
      << " vf=" << out.VideoFilters << " sn=" << out.DisableSubtitle << " t=" << out.RecordingTime
      << " target=" << out.TargetType << "/" << out.TargetNorm << " hook=" << out.CustomHook;
    return t.str();
}

} // namespace quovo::test
