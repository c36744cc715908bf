// The conversion's per-frame hook through the real component on its worker thread: a row given
// brightness 512 and a text watermark in the effects dialog, converted; its frames decoded and
// compared with the same clip converted plainly and edited here.
#include "TEffectsHook.h"
#include "EditingTestSupport.h"
#include "Fixtures.h"
#include "MainThread.h"
#include "QtTestApp.h"
#include "RecordEffects.h"
#include "TEffectsCache.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TfrmWaterMark.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace quovo;
using namespace quovo::fixtures;
using namespace std::chrono_literals;

namespace {

// Converts `fixture` to a lossless file through the component, threaded; returns the log's
// errors. With `hook`, the task asks for the per-frame hook.
std::vector<std::string> Convert(const std::string& output, TEffectsHook* hook,
                                 const TFrameEffects* effects) {
    std::vector<std::string> errors;
    FFLogger()->SetOnLog([&](TFFBaseComponent*, uint32_t, TLogLevel level, const std::string& m) {
        if (level <= llError) {
            errors.push_back(m);
        }
    });
    TMediaConverter c;
    std::atomic<bool> done{false};
    c.SetOnTerminate([&](TCustomMediaConverter*, const TTerminateInfo& t) {
        if (t.TaskIndex < 0) {
            done = true;
        }
    });
    const int t = c.AddTask(Fixture("h264-aac.mkv"));
    EXPECT_GE(t, 0) << c.LastErrMsg();
    TOutputOptions o;
    o.VideoCodec = "ffv1";
    o.DisableAudio = true;
    if (hook != nullptr) {
        hook->Clear();
        hook->SetTaskEffects(t, *effects);
        c.SetOnCustomHook(hook->Handler());
        o.CustomHook = true;
    }
    EXPECT_TRUE(c.SetOutputFile(t, output, &o)) << c.LastErrMsg();
    c.StartTask(1);
    const auto end = std::chrono::steady_clock::now() + 120s;
    while (!done && std::chrono::steady_clock::now() < end) {
        WaitAndDrainMainThreadQueue(10ms);
    }
    EXPECT_TRUE(done);
    FFLogger()->SetOnLog(nullptr);
    return errors;
}

void ToPicture(const AVFrame& bgr, TPicture& p) {
    p.SetSize(bgr.width, bgr.height);
    for (int y = 0; y < bgr.height; ++y) {
        std::memcpy(p.ScanLine(y), bgr.data[0] + static_cast<ptrdiff_t>(y) * bgr.linesize[0],
                    3 * bgr.width);
    }
}

TEST(EffectsHook, ConvertedFramesShowTheEffectsAndTheText) {
    FFLogger()->SetTriggerEventInMainThread(false);
    FFLogger()->SetLogLevel(llError);
    ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    const std::string dir = FixtureDir() + "/effects-hook";
    std::filesystem::create_directories(dir);

    // The effects as the dialog stores them for the row: its preview places the text.
    TlvFilesRecord row = editingtest::FileRow(Fixture("h264-aac.mkv"));
    {
        TfrmWaterMark dialog(row, Fixture("h264-aac.mkv"), "h264-aac.mkv", nullptr);
        dialog.show();
        dialog.edtFont->setText("QUOVO");
        dialog.cmbFontSize->setCurrentText("20");
        dialog.ckBold->setChecked(true);
        dialog.trcTextHoriz->setValue(12);
        dialog.trcTextVert->setValue(62);
        dialog.spedtBrightness->setValue(512);
        ASSERT_TRUE(editingtest::WaitUntil([&] { return dialog.KeptPositions()[1] == 148; }));
        dialog.btnOkClick();
    }
    ASSERT_EQ(row.TextLeft, 38); // 12 % of 320
    ASSERT_EQ(row.TextTop, 148); // 62 % of 240
    const TFrameEffects e = FrameEffectsOf(row);
    EXPECT_EQ(e.TextColor, QColor(Qt::black));

    EXPECT_TRUE(Convert(dir + "/plain.mkv", nullptr, nullptr).empty());
    TEffectsHook hook;
    const std::vector<std::string> errors = Convert(dir + "/edited.mkv", &hook, &e);
    EXPECT_TRUE(errors.empty()) << errors.front();

    const auto plain = DecodePictures(dir + "/plain.mkv", AV_PIX_FMT_BGR24);
    const auto edited = DecodePictures(dir + "/edited.mkv", AV_PIX_FMT_BGR24);
    ASSERT_EQ(plain.size(), 50u);
    ASSERT_EQ(edited.size(), plain.size());

    // Where the text's solid pixels lie: drawn on a white picture here, as the dialog would.
    TEffectsCache cache;
    TPicture mask(320, 240);
    for (int y = 0; y < 240; ++y) {
        std::memset(mask.ScanLine(y), 255, 3 * 320);
    }
    DrawWaterText(mask, cache, e.Text, e.Font, e.TextColor, e.TextLeft, e.TextTop);
    int textPixels = 0;
    for (size_t i = 0; i < plain.size(); i += 7) {
        TPicture expected, got;
        ToPicture(*plain[i], expected);
        ToPicture(*edited[i], got);
        double brighter = 0, diff = 0;
        int darkText = 0;
        textPixels = 0;
        TPicture before;
        ToPicture(*plain[i], before);
        ApplyFrameEffects(expected, e, cache);
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320; ++x) {
                for (int k = 0; k < 3; ++k) {
                    const int g = got.ScanLine(y)[3 * x + k];
                    diff += std::abs(g - expected.ScanLine(y)[3 * x + k]);
                    brighter += g - before.ScanLine(y)[3 * x + k];
                }
                if (mask.ScanLine(y)[3 * x] == 0) {
                    ++textPixels;
                    const uint8_t* p = got.ScanLine(y) + 3 * x;
                    darkText += p[0] + p[1] + p[2] < 3 * 60;
                }
            }
        }
        const double samples = 320.0 * 240 * 3;
        // The round trip through the hook's picture and the 4:2:0 chroma moves a few levels.
        EXPECT_LT(diff / samples, 4.0) << "frame " << i;
        EXPECT_GT(brighter / samples, 15.0) << "frame " << i;
        EXPECT_GT(darkText, textPixels * 9 / 10) << "frame " << i;
    }
    EXPECT_GT(textPixels, 200); // the text has a body to check
}

TEST(EffectsHook, TasksWithoutEffectsStopTheHook) {
    TEffectsHook hook;
    TFrameEffects brighter;
    brighter.Brightness = 300;
    hook.SetTaskEffects(0, brighter);
    hook.SetTaskEffects(1, TFrameEffects{});
    TPicture p(4, 4);
    for (int task : {0, 1, 2}) {
        THookInfo info;
        info.TaskIndex = task;
        info.Bitmap = &p;
        hook.OnCustomHook(nullptr, &info);
        EXPECT_EQ(info.Update, task == 0) << task;
        EXPECT_EQ(info.StopHook, task != 0) << task;
    }
}

} // namespace
