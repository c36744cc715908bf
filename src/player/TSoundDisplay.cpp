#include "TSoundDisplay.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace quovo {
namespace {

int Wrap(int i) {
    i %= TSoundDisplay::kRingSamples;
    return i < 0 ? i + TSoundDisplay::kRingSamples : i;
}

void Blank(TOutputImage& out, int width, int height) {
    out.areaWidth = out.width = width;
    out.areaHeight = out.height = height;
    out.x = out.y = 0;
    out.stride = width * 4;
    out.pixels.assign(static_cast<size_t>(out.stride) * height, 0);
    for (size_t i = 3; i < out.pixels.size(); i += 4) {
        out.pixels[i] = 255;
    }
}

void Put(TOutputImage& out, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    if (x < 0 || y < 0 || x >= out.width || y >= out.height) {
        return;
    }
    uint8_t* p = out.pixels.data() + static_cast<size_t>(y) * out.stride + x * 4;
    p[0] = b;
    p[1] = g;
    p[2] = r;
    p[3] = 255;
}

} // namespace

int TSoundDisplay::TriggerStart(const int16_t* ring, int start, int channels) {
    int best = INT_MIN;
    int result = start;
    for (int k = 0; k < 1000; k += channels) {
        const int idx = Wrap(start - k);
        const int a = ring[idx];
        const int b = ring[Wrap(idx + 4 * channels)];
        const int c = ring[Wrap(idx + 5 * channels)];
        const int d = ring[Wrap(idx + 9 * channels)];
        if (a - d > best && (b ^ c) < 0) {
            best = a - d;
            result = idx;
        }
    }
    return result;
}

int TSoundDisplay::SpectrumBits(int height) {
    int b = 1;
    while ((1 << b) < 2 * height) {
        ++b;
    }
    return b;
}

void TSoundDisplay::DrawWaveform(const int16_t* ring, int start, int channels, int width,
                                 int height, TOutputImage& out) {
    Blank(out, width, height);
    if (channels <= 0) {
        return;
    }
    const int band = height / channels;
    for (int c = 0; c < channels; ++c) {
        const int centre = c * band + band / 2;
        const int scale = band * 9 / 20;
        int i = Wrap(start + c);
        for (int x = 0; x < width; ++x) {
            const int y = (ring[i] * scale) >> 15;
            const int top = y >= 0 ? centre : centre + y;
            for (int k = 0; k < std::abs(y); ++k) {
                Put(out, x, top + k, 255, 255, 255);
            }
            i = Wrap(i + channels);
        }
    }
    for (int c = 1; c < channels; ++c) {
        for (int x = 0; x < width; ++x) {
            Put(out, x, c * band, 0, 0, 255);
        }
    }
}

const TOutputImage& TSoundDisplay::DrawSpectrum(const int16_t* ring, int start, int channels,
                                                int width, int height) {
    if (picture_.areaWidth != width || picture_.areaHeight != height) {
        Blank(picture_, width, height);
        column_ = 0;
    }
    const int bits = SpectrumBits(height);
    const int points = 1 << bits;
    const int half = points / 2;
    if (bits != bits_ || !tx_) {
        AVTXContext* ctx = nullptr;
        float scale = 1.0f;
        // The buffers are plain vectors, not aligned for the transform's vector instructions.
        if (av_tx_init(&ctx, &txFn_, AV_TX_FLOAT_RDFT, 0, points, &scale, AV_TX_UNALIGNED) < 0) {
            return picture_;
        }
        tx_.reset(ctx);
        bits_ = bits;
        in_.resize(points);
        out_[0].resize(half + 1);
        out_[1].resize(half + 1);
    }
    const int shown = std::min(std::max(channels, 1), 2);
    for (int ch = 0; ch < shown; ++ch) {
        int i = Wrap(start + ch);
        for (int x = 0; x < points; ++x) {
            const double w = (x - half) / static_cast<double>(half);
            in_[x] = static_cast<float>(ring[i] * (1.0 - w * w));
            i = Wrap(i + std::max(channels, 1));
        }
        txFn_(tx_.get(), out_[ch].data(), in_.data(), sizeof(float));
    }
    const double wn = 1.0 / std::sqrt(static_cast<double>(half));
    for (int y = 0; y < height; ++y) {
        auto level = [&](int ch) {
            const AVComplexFloat v = out_[ch][std::min(y, half)];
            const double m = std::sqrt(wn * std::sqrt(double(v.re) * v.re + double(v.im) * v.im));
            return static_cast<int>(std::min(m, 255.0));
        };
        const int a = level(0);
        const int b = shown > 1 ? level(1) : a;
        Put(picture_, column_, height - 1 - y, static_cast<uint8_t>(a), static_cast<uint8_t>(b),
            static_cast<uint8_t>((a + b) / 2));
    }
    if (++column_ >= width) {
        column_ = 0;
    }
    return picture_;
}

} // namespace quovo
