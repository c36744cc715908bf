// Sound and picture stay together through a conversion: a clip that flashes and beeps at every
// whole second, converted at another frame rate and sample rate, keeps each beep at its flash.
#include "EngineTest.h"

#include <cmath>
#include <cstdio>

namespace quovo {
namespace {

using testing_support::EngineTest;
using testing_support::Options;

class AvOffsetTest : public EngineTest {};

using fixtures::AvOffsetsMs;

TEST_F(AvOffsetTest, EveryBeepStaysWithItsFlash) {
    fixtures::MediaSpec spec;
    spec.flashBeep = true;
    spec.durationS = 5.0;
    spec.frameRate = {25, 1};
    spec.audio = {fixtures::AudioTrackSpec{"pcm_s16le", 48000, 2, 440.0, ""}};
    const std::string source = Out("source.mkv");
    fixtures::MakeMedia(source, spec);
    for (double offset : AvOffsetsMs(source)) {
        ASSERT_LT(std::fabs(offset), 1.0) << "the source itself";
    }

    struct Case {
        const char* output;
        const char* videoCodec;
        const char* audioCodec;
        const char* frameRate;
        // AVI cannot say where the sound starts, so the MP3 encoder's priming samples play; nor
        // does it carry display times, so the pictures read back lag by the decoder's delay: one
        // frame.
        double boundMs;
    };
    // clang-format off
    const Case cases[] = {
        {"aac.mp4",    "mpeg4",      "aac",        "30", 10.0},
        {"mp3.mp4",    "mpeg4",      "libmp3lame", "30", 10.0},
        {"mp3.avi",    "mpeg4",      "libmp3lame", "30", 1000.0 / 30},
        {"vorbis.mkv", "mpeg4",      "libvorbis",  "30", 10.0},
        {"mp2.mpg",    "mpeg2video", "mp2",        "30", 10.0},
        {"aac-20.mp4", "mpeg4",      "aac",        "20", 10.0},
    };
    // clang-format on
    for (const Case& k : cases) {
        SCOPED_TRACE(k.output);
        const std::string output = Out(k.output);
        Convert({source}, {}, output,
                {{"vcodec", k.videoCodec},
                 {"acodec", k.audioCodec},
                 {"r", k.frameRate},
                 {"ar", "44100"}});
        const std::vector<double> offsets = AvOffsetsMs(output);
        ASSERT_GE(offsets.size(), 4u);
        std::string figures;
        for (double offset : offsets) {
            EXPECT_LE(std::fabs(offset), k.boundMs);
            figures += " " + std::to_string(static_cast<int>(std::lround(offset)));
        }
        std::printf("%s: beep after flash (ms):%s\n", k.output, figures.c_str());
    }
}

} // namespace
} // namespace quovo
