// What the encoders and containers of the format file accept beyond any number: the picture
// sizes of H.263, the sample rates, bit rates and channel counts of the sound encoders. The option
// builder moves a choice outside them to the nearest one inside, and the parameter boxes offer
// only the sizes the chosen encoder produces.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quovo {

// Encoder names are the stored values ("h263", "ac3", "libfaac" …), compared without case.

// The only picture sizes `encoder` produces, as "WxH" texts; empty when it takes any size.
const std::vector<std::string>& OnlyFrameSizes(const std::string& encoder);
// The size `encoder` makes of w × h: the next standard H.263 size up by width (704x576 beyond
// it), any size unchanged for the others.
std::pair<int, int> ProducedFrameSize(const std::string& encoder, int w, int h);

// The sample rates the encoder takes in a container of format `formatLower`; empty = any.
std::vector<int> SampleRatesOf(const std::string& encoder, const std::string& formatLower);
// The bit rates (kb/s) the encoder takes at `sampleRate`; empty = any.
std::vector<int> AudioBitRatesOf(const std::string& encoder, int sampleRate);
// The highest bit rate (kb/s) worth asking of the encoder; 0 = none (it has no bit rate).
int MaxAudioBitRateOf(const std::string& encoder);
// The most channels the encoder carries; 0 = no limit the format file reaches.
int MaxChannelsOf(const std::string& encoder);

// The value of `values` nearest to `value` (the lower one on a tie); `value` when empty.
int Nearest(const std::vector<int>& values, int value);

// A short name of the encoder for messages ("AC-3", "MP2", "H.263" …).
std::string EncoderName(const std::string& encoder);

// Containers that cannot be written without a picture.
bool NeedsPicture(const std::string& formatLower);

} // namespace quovo
