// Sound conversions through the engine: volume, resampling, channel changes, regrouping into
// encoder frames, synchronisation and joined inputs, checked by decoding the outputs.
#include "TCustomFFmpeg.h"

#include "EngineTest.h"
#include "Fixtures.h"
#include "LogCapture.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>

using namespace quovo;
using namespace quovo::fixtures;
using namespace quovo::testing_support;
namespace fs = std::filesystem;

namespace {

MediaSpec SoundOnly(const std::string& codec, int rate, int channels, double seconds,
                    double toneHz = 440.0) {
    MediaSpec spec;
    spec.videoCodec.clear();
    spec.audio = {AudioTrackSpec{codec, rate, channels, toneHz, ""}};
    spec.durationS = seconds;
    return spec;
}

class AudioTest : public EngineTest {
protected:
    // A generated sound clip in the test's folder, made once per name.
    std::string Clip(const std::string& name, const MediaSpec& spec) {
        const std::string path = Out(name);
        if (!fs::exists(path)) {
            MakeMedia(path, spec);
        }
        return path;
    }
};

int16_t Scaled(int16_t s, int volume) {
    return static_cast<int16_t>(std::clamp((s * volume + 128) >> 8, -32768, 32767));
}

TEST_F(AudioTest, VolumeScalesRoundsAndClipsEverySample) {
    const std::string pcm = Clip("tone.wav", SoundOnly("pcm_s16le", 44100, 2, 1.0));
    const std::string aac = Clip("tone.m4a", SoundOnly("aac", 44100, 2, 1.0));
    const DecodedSound src = DecodeSound(pcm);
    ASSERT_GT(src.Frames(), 40000);
    // The decoded tone peaks at half of full scale: doubling reaches the clipping point, four
    // times clips most of each wave.
    for (int volume : {512, 1024, 100, 0}) {
        SCOPED_TRACE(volume);
        const std::string out = Out("vol" + std::to_string(volume) + ".wav");
        Convert({pcm}, {}, out, {{"vol", std::to_string(volume)}});
        const DecodedSound got = DecodeSound(out);
        ASSERT_EQ(got.samples.size(), src.samples.size());
        size_t wrong = 0;
        size_t clipped = 0;
        for (size_t i = 0; i < src.samples.size(); ++i) {
            wrong += got.samples[i] != Scaled(src.samples[i], volume);
            clipped += got.samples[i] == 32767 || got.samples[i] == -32768;
        }
        EXPECT_EQ(wrong, 0u);
        if (volume == 1024) {
            EXPECT_GT(clipped, src.samples.size() / 4);
        }
        if (volume == 0) {
            EXPECT_EQ(Rms(got.samples, 0, got.samples.size()), 0);
        }
    }

    // A float decoder's sound is turned into 16-bit samples first, then scaled the same way.
    Convert({aac}, {}, Out("aac256.wav"), {});
    Convert({aac}, {}, Out("aac512.wav"), {{"vol", "512"}});
    const DecodedSound plain = DecodeSound(Out("aac256.wav"));
    const DecodedSound loud = DecodeSound(Out("aac512.wav"));
    ASSERT_EQ(plain.samples.size(), loud.samples.size());
    ASSERT_GT(Rms(plain.samples, 0, plain.samples.size()), 5000);
    size_t wrong = 0;
    for (size_t i = 0; i < plain.samples.size(); ++i) {
        wrong += loud.samples[i] != Scaled(plain.samples[i], 512);
    }
    EXPECT_EQ(wrong, 0u);
}

TEST_F(AudioTest, RatesAndChannelsChangeKeepingTheTone) {
    struct Case {
        const char* name;
        AudioTrackSpec source;
        Options options;
        int rate;
        int channels;
        bool s16Warning; // the decoder delivers another format than s16 and must resample
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"stereo48-to-mono44.mp3", {"pcm_s16le", 48000, 2, 440.0, ""}, {{"ar", "44100"}, {"ac", "1"}}, 44100, 1, false},
        {"mono-to-stereo.wav", {"pcm_s16le", 44100, 1, 440.0, ""}, {{"ac", "2"}}, 44100, 2, false},
        {"mono-aac-to-stereo.wav", {"aac", 44100, 1, 440.0, ""}, {{"ac", "2"}}, 44100, 2, true},
        {"ac3-48-to-aac44.m4a", {"ac3", 48000, 2, 1000.0, ""}, {{"ar", "44100"}, {"ab", "128000"}}, 44100, 2, true},
        {"stereo44-to-mp2-22.mp2", {"pcm_s16le", 44100, 2, 440.0, ""}, {{"ar", "22050"}}, 22050, 2, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MediaSpec spec =
            SoundOnly(c.source.codec, c.source.sampleRate, c.source.channels, 2.0, c.source.toneHz);
        const std::string ext = c.source.codec == "pcm_s16le" ? ".wav"
                                : c.source.codec == "aac"     ? ".m4a"
                                                              : ".ac3";
        const std::string in = Clip(std::string("src-") + c.name + ext, spec);
        const std::string out = Out(c.name);
        LogCapture log;
        Convert({in}, {}, out, c.options);
        EXPECT_EQ(log.Contains("Warning, using s16 intermediate sample format for resampling"),
                  c.s16Warning);
        const ProbeResult r = ProbeMedia(out);
        const StreamProbe* a = r.Find(StreamKind::Audio);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->sampleRate, c.rate);
        EXPECT_EQ(a->channels, c.channels);
        EXPECT_EQ(a->decodeErrors, 0);
        // Two seconds of sound, give or take the encoders' frames.
        EXPECT_NEAR(static_cast<double>(a->decodedSamples) / c.rate, 2.0, 0.08);
        EXPECT_NEAR(DominantFrequency(out), c.source.toneHz, 15);
        const DecodedSound s = DecodeSound(out);
        // Every channel carries the tone.
        for (int ch = 0; ch < s.channels; ++ch) {
            double sum = 0;
            for (int64_t i = s.rate / 2; i < s.Frames() - s.rate / 2; ++i) {
                const double v = s.samples[i * s.channels + ch];
                sum += v * v;
            }
            EXPECT_GT(std::sqrt(sum / static_cast<double>(s.Frames() - s.rate)), 3000) << ch;
        }
    }
}

TEST_F(AudioTest, EncoderFramesKeepTheRemainderAndPadTheEnd) {
    // PCM packets of 4096 bytes do not divide into AAC's 1024-sample frames: the remainders
    // wait in the FIFO, and the end of the input flushes the last partial frame.
    for (int64_t samples : {44100 + 476, 44100 * 2 + 1000}) {
        SCOPED_TRACE(samples);
        const std::string in = Out("raw" + std::to_string(samples) + ".wav");
        MakeMedia(in, SoundOnly("pcm_s16le", 44100, 2, static_cast<double>(samples) / 44100));
        const DecodedSound src = DecodeSound(in);
        const std::string out = Out("regrouped" + std::to_string(samples) + ".mkv");
        Convert({in}, {}, out, {{"acodec", "aac"}});
        const DecodedSound got = DecodeSound(out);
        // Nothing lost: every input sample comes out (Matroska keeps the encoder's leading
        // delay of 1024 samples), and at most one frame of padding is added.
        EXPECT_GE(got.Frames(), src.Frames() + 1024);
        EXPECT_LT(got.Frames(), src.Frames() + 1024 + 1024);
        EXPECT_EQ(got.packets, (src.Frames() + 1023) / 1024 + 1);
        // The tone reaches the end of the sound: the last remainder was encoded.
        const size_t tail = static_cast<size_t>(src.Frames() + 1024 - 400) * 2;
        EXPECT_GT(Rms(got.samples, tail - 1500, tail), 4000);
    }
}

TEST_F(AudioTest, SamplePerSampleCodecsWriteOnePacketPerBuffer) {
    const std::string in = Clip("mp2.mkv", SoundOnly("mp2", 48000, 2, 1.0));
    const DecodedSound src = DecodeSound(in);
    const std::string out = Out("pcm.mkv");
    Convert({in}, {}, out, {{"acodec", "pcm_s16le"}});
    const DecodedSound got = DecodeSound(out);
    EXPECT_EQ(got.packets, src.packets);
    EXPECT_EQ(got.Frames(), src.Frames());
    ASSERT_FALSE(got.packetSamples.empty());
    for (int n : got.packetSamples) {
        EXPECT_EQ(n, 1152);
    }
    EXPECT_EQ(got.samples, src.samples);
}

TEST_F(AudioTest, AudioSyncPadsLateAndTrimsEarlySound) {
    const std::string in = Clip("sync.wav", SoundOnly("pcm_s16le", 44100, 2, 2.0));
    const DecodedSound src = DecodeSound(in);
    const int64_t half = 44100 / 2;
    struct Case {
        const char* name;
        Options in;
        Options out;
        int64_t addedFrames; // against the source
        bool silentStart;
    };
    const std::vector<Case> cases = {
        {"late-async.wav", {{"itsoffset", "0.5"}}, {{"async", "1"}}, half, true},
        {"late-plain.wav", {{"itsoffset", "0.5"}}, {}, 0, false},
        {"early-async.wav", {{"itsoffset", "-0.5"}}, {{"async", "1"}}, -half, false},
        {"early-plain.wav", {{"itsoffset", "-0.5"}}, {}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = Out(c.name);
        Convert({in}, c.in, out, c.out);
        const DecodedSound got = DecodeSound(out);
        EXPECT_NEAR(static_cast<double>(got.Frames() - src.Frames()),
                    static_cast<double>(c.addedFrames), 1200);
        const double startRms = Rms(got.samples, 0, static_cast<size_t>(half - 600) * 2);
        if (c.silentStart) {
            EXPECT_EQ(startRms, 0);
            EXPECT_GT(Rms(got.samples, static_cast<size_t>(half + 1200) * 2,
                          static_cast<size_t>(half + 5000) * 2),
                      5000);
        } else {
            EXPECT_GT(startRms, 5000);
        }
    }
}

TEST_F(AudioTest, AudioSyncAboveOneStretchesSmallDrift) {
    // Timestamps running 1% fast drift by 1764 samples over 4 s: within the 0.1 s threshold,
    // so async 1 leaves the sound alone while async 1000 stretches it towards the timestamps.
    const std::string in = Clip("drift.wav", SoundOnly("pcm_s16le", 44100, 2, 4.0));
    const DecodedSound src = DecodeSound(in);
    const double drift = static_cast<double>(src.Frames()) * 0.01;

    Convert({in}, {{"itsscale", "0:1.01"}}, Out("async1.wav"), {{"async", "1"}});
    Convert({in}, {{"itsscale", "0:1.01"}}, Out("async1000.wav"), {{"async", "1000"}});
    const DecodedSound left = DecodeSound(Out("async1.wav"));
    const DecodedSound stretched = DecodeSound(Out("async1000.wav"));
    EXPECT_EQ(left.Frames(), src.Frames());
    const double added = static_cast<double>(stretched.Frames() - src.Frames());
    EXPECT_GT(added, drift * 0.5);
    EXPECT_LT(added, drift * 1.1);
    // Stretching, not padding: no run of silence anywhere in the sound.
    for (size_t at = 0; at + 882 <= stretched.samples.size(); at += 882) {
        ASSERT_GT(Rms(stretched.samples, at, at + 882), 3000) << "silence at " << at;
    }
    EXPECT_NEAR(DominantFrequency(Out("async1000.wav")), 440.0 / 1.01, 8);
}

TEST_F(AudioTest, JoinedInputsContinueThroughAFreshEncoder) {
    const std::string a = Clip("first.wav", SoundOnly("pcm_s16le", 44100, 2, 1.0, 440.0));
    const std::string b = Clip("second.wav", SoundOnly("pcm_s16le", 44100, 2, 1.5, 1000.0));
    const std::string c = Clip("third.wav", SoundOnly("pcm_s16le", 44100, 2, 0.5, 440.0));
    const int64_t total =
        DecodeSound(a).Frames() + DecodeSound(b).Frames() + DecodeSound(c).Frames();
    const std::string out = Out("joined.m4a");
    Convert({a, b, c}, {}, out, {{"acodec", "aac"}}, true);
    const ProbeResult r = ProbeMedia(out);
    const StreamProbe* s = r.Find(StreamKind::Audio);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->decodeErrors, 0);
    // Each input ends with one padded frame at most.
    EXPECT_GE(s->decodedSamples, total);
    EXPECT_LE(s->decodedSamples, total + 3 * 1024 + 1024);
    EXPECT_NEAR(DominantFrequency(out, 0, 0.2, 0.5), 440, 15);
    EXPECT_NEAR(DominantFrequency(out, 0, 1.3, 0.8), 1000, 15);
    EXPECT_NEAR(r.durationS, static_cast<double>(total) / 44100, 0.1);
}

TEST_F(AudioTest, DamagedSoundNeverCrashes) {
    const std::string good = Clip("good.mp2", SoundOnly("mp2", 44100, 2, 2.0));
    std::string bytes;
    {
        std::ifstream f(good, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(f), {});
    }
    ASSERT_GT(bytes.size(), 10000u);
    // Scribble over the middle third of the stream.
    uint32_t seed = 12345;
    for (size_t i = bytes.size() / 3; i < 2 * bytes.size() / 3; i += 7) {
        seed = seed * 1103515245 + 12345;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    const std::string bad = Out("damaged.mp2");
    std::ofstream(bad, std::ios::binary) << bytes;
    for (const char* output : {"damaged.wav", "damaged.m4a"}) {
        SCOPED_TRACE(output);
        TCustomFFmpeg e;
        ASSERT_TRUE(e.OpenInputFile(bad)) << e.LastErrorText();
        ASSERT_GT(e.OpenOutputFile(Out(output), false), 0) << e.LastErrorText();
        EXPECT_NO_THROW(e.Transcode());
        e.ReleaseAll();
        const ProbeResult r = ProbeMedia(Out(output));
        ASSERT_NE(r.Find(StreamKind::Audio), nullptr);
        EXPECT_GT(r.Find(StreamKind::Audio)->decodedSamples, 44100 / 2);
    }
}

} // namespace
