// The picture of a title without pictures, drawn from the ring of samples the sound output keeps.
#include "TSoundDisplay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace quovo {
namespace {

constexpr int kRing = TSoundDisplay::kRingSamples;

// A ring filled with interleaved sines, one (amplitude, period in samples) per channel; an
// amplitude of 0 is silence.
struct TTone {
    double amplitude;
    double period;
};
std::vector<int16_t> Ring(const std::vector<TTone>& channels) {
    const int n = static_cast<int>(channels.size());
    std::vector<int16_t> ring(kRing);
    for (int i = 0; i < kRing; ++i) {
        const TTone& t = channels[i % n];
        ring[i] = static_cast<int16_t>(
            std::lround(t.amplitude * 32767 * std::sin(2 * M_PI * (i / n) / t.period)));
    }
    return ring;
}

struct TRgb {
    int r, g, b;
};
TRgb At(const TOutputImage& image, int x, int y) {
    const uint8_t* p = image.pixels.data() + static_cast<size_t>(y) * image.stride + x * 4;
    return {p[2], p[1], p[0]};
}

// Rows of [top, bottom) holding a white pixel, as the first and last such row (-1 without).
std::pair<int, int> WhiteRows(const TOutputImage& image, int top, int bottom) {
    int first = -1, last = -1;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const TRgb c = At(image, x, y);
            if (c.r == 255 && c.g == 255 && c.b == 255) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
        }
    }
    return {first, last};
}

TEST(TSoundDisplayTest, TheWaveformHasABandPerChannelAsTallAsItsSound) {
    constexpr int w = 200, h = 120;
    struct Case {
        const char* name;
        std::vector<TTone> channels;
    };
    for (const Case& c : {Case{"silence", {{0, 100}}}, Case{"full mono tone", {{1.0, 100}}},
                          Case{"half-loud left, silent right", {{0.5, 100}, {0, 100}}},
                          Case{"silent left, loud right", {{0, 100}, {1.0, 60}}}}) {
        SCOPED_TRACE(c.name);
        const int channels = static_cast<int>(c.channels.size());
        const std::vector<int16_t> ring = Ring(c.channels);
        TOutputImage image;
        TSoundDisplay::DrawWaveform(ring.data(), 0, channels, w, h, image);
        ASSERT_EQ(image.width, w);
        ASSERT_EQ(image.height, h);
        const int band = h / channels;
        for (int ch = 0; ch < channels; ++ch) {
            SCOPED_TRACE(ch);
            const int centre = ch * band + band / 2;
            const int reach = static_cast<int>(c.channels[ch].amplitude * (band * 9 / 20));
            const auto [first, last] = WhiteRows(image, ch * band + 1, (ch + 1) * band);
            if (reach == 0) {
                // Silence: nothing drawn, the band stays black.
                EXPECT_EQ(first, -1);
                continue;
            }
            // The samples reach up and down from the band's centre line by their loudness.
            EXPECT_NEAR(first, centre - reach, 2);
            EXPECT_NEAR(last, centre + reach - 1, 2);
        }
        // A blue line between the bands, none above the first.
        for (int ch = 0; ch < channels; ++ch) {
            const TRgb line = At(image, w / 2, ch * band);
            EXPECT_EQ(line.b == 255 && line.r == 0 && line.g == 0, ch > 0) << ch;
        }
    }
}

TEST(TSoundDisplayTest, ASteadyToneStandsStillWhereverTheDrawingStarts) {
    const std::vector<int16_t> ring = Ring({{0.8, 90}, {0.8, 90}});
    TOutputImage first, later;
    TSoundDisplay::DrawWaveform(ring.data(), TSoundDisplay::TriggerStart(ring.data(), 5000, 2), 2,
                                160, 80, first);
    TSoundDisplay::DrawWaveform(ring.data(), TSoundDisplay::TriggerStart(ring.data(), 5074, 2), 2,
                                160, 80, later);
    EXPECT_EQ(first.pixels, later.pixels);
    // Without the trigger the picture moves with the start.
    TOutputImage moved;
    TSoundDisplay::DrawWaveform(ring.data(), 5074, 2, 160, 80, moved);
    EXPECT_NE(first.pixels, moved.pixels);
}

TEST(TSoundDisplayTest, TheSpectrumDrawsAColumnPerCallWithTheToneAtItsFrequency) {
    constexpr int w = 4, h = 64; // a transform of 128 points: bin k is a period of 128 / k
    EXPECT_EQ(TSoundDisplay::SpectrumBits(h), 7);
    TSoundDisplay display;
    // Bin 10 on the left channel, bin 30 on the right; then silence.
    const std::vector<int16_t> tones = Ring({{0.5, 12.8}, {0.5, 128.0 / 30}});
    const std::vector<int16_t> silence = Ring({{0, 1}, {0, 1}});
    display.DrawSpectrum(tones.data(), 0, 2, w, h);
    const TOutputImage& picture = display.DrawSpectrum(silence.data(), 0, 2, w, h);
    auto brightest = [&](int x, auto level) {
        int best = -1, row = -1;
        for (int y = 0; y < h; ++y) {
            if (level(At(picture, x, y)) > best) {
                best = level(At(picture, x, y));
                row = y;
            }
        }
        return row;
    };
    // Low frequencies at the bottom; red is the left channel, green the right.
    EXPECT_EQ(brightest(0, [](TRgb c) { return c.r; }), h - 1 - 10);
    EXPECT_EQ(brightest(0, [](TRgb c) { return c.g; }), h - 1 - 30);
    const TRgb peak = At(picture, 0, h - 1 - 10);
    EXPECT_GT(peak.r, 100);
    EXPECT_EQ(peak.b, (peak.r + peak.g) / 2);
    // The second column is the silence; the columns not drawn yet are black.
    for (int x : {1, 2}) {
        for (int y = 0; y < h; ++y) {
            const TRgb c = At(picture, x, y);
            ASSERT_EQ(c.r + c.g + c.b, 0) << x << "," << y;
        }
    }
}

} // namespace
} // namespace quovo
