// The picture shown for a title without pictures: the waveform of the sound being played (one
// band per channel) or its spectrum (a column per refresh, moving right). Works on the ring of
// 16-bit samples the sound output keeps; no threads of its own.
#pragma once

#include "AvPtr.h"
#include "TVideoOutput.h"

#include <cstdint>
#include <vector>

namespace quovo {

class TSoundDisplay {
public:
    static constexpr int kRingSamples = 131072;

    // The waveform's start: from `start` back over up to 1000 samples, the point where the sound
    // crosses zero with the steepest fall, so a steady tone stands still.
    static int TriggerStart(const int16_t* ring, int start, int channels);
    // The number of points of the spectrum transform for an area `height` pixels high: the
    // smallest power of two 2^b with 2^b >= 2 * height.
    static int SpectrumBits(int height);

    // Draws the waveform from `start` into a `width` x `height` picture (black, white samples,
    // blue lines between the channels' bands).
    static void DrawWaveform(const int16_t* ring, int start, int channels, int width, int height,
                             TOutputImage& out);
    // Adds the next column of the spectrum of the samples from `start` and returns the whole
    // picture.
    const TOutputImage& DrawSpectrum(const int16_t* ring, int start, int channels, int width,
                                     int height);

private:
    int bits_ = 0;
    AvTxContextPtr tx_;
    av_tx_fn txFn_ = nullptr;
    std::vector<float> in_;
    std::vector<AVComplexFloat> out_[2];
    TOutputImage picture_;
    int column_ = 0;
};

} // namespace quovo
