#include "EncoderLimits.h"

#include "FormatRules.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cstdlib>
#include <map>

namespace quovo {

namespace {

// The library's name of a stored encoder value.
std::string LibraryName(const std::string& encoder) {
    const std::string e = ToLower(encoder);
    return e == "libfaac" ? "aac" : e == "libflac" ? "flac" : e;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// MPEG audio: layers II and III have one bit rate table for 32, 44.1 and 48 kHz and another for
// the half rates (and, for layer III, the quarter rates).
const std::vector<int> kMp2Full = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
const std::vector<int> kMp3Full = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
const std::vector<int> kMpegHalf = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
const std::vector<int> kAc3 = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                               192, 224, 256, 320, 384, 448, 512, 576, 640};

} // namespace

const std::vector<std::string>& OnlyFrameSizes(const std::string& encoder) {
    static const std::vector<std::string> h263 = {"128x96", "176x144", "352x288", "704x576",
                                                  "1408x1152"};
    static const std::vector<std::string> any;
    return LibraryName(encoder) == "h263" ? h263 : any;
}

std::pair<int, int> ProducedFrameSize(const std::string& encoder, int w, int h) {
    const auto& sizes = OnlyFrameSizes(encoder);
    const std::string text = std::to_string(w) + "x" + std::to_string(h);
    if (sizes.empty() || std::find(sizes.begin(), sizes.end(), text) != sizes.end()) {
        return {w, h};
    }
    return w <= 128   ? std::pair(128, 96)
           : w <= 176 ? std::pair(176, 144)
           : w <= 352 ? std::pair(352, 288)
                      : std::pair(704, 576);
}

std::vector<int> SampleRatesOf(const std::string& encoder, const std::string& formatLower) {
    const std::string name = LibraryName(encoder);
    // Flash carries MP3 at these three rates only.
    if ((formatLower == "flv" || formatLower == "swf") && name == "libmp3lame") {
        return {11025, 22050, 44100};
    }
    // An MPEG-1 program stream carries MPEG-1 sound, which has no half rates.
    if (formatLower == "mpeg" && name == "mp2") {
        return {32000, 44100, 48000};
    }
    if (name == "libopencore_amrnb") {
        return {8000}; // narrow band: the encoder refuses any other rate
    }
    std::vector<int> rates;
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (codec != nullptr && codec->supported_samplerates != nullptr) {
        for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
            rates.push_back(*r);
        }
    }
    std::sort(rates.begin(), rates.end());
    return rates;
}

std::vector<int> AudioBitRatesOf(const std::string& encoder, int sampleRate) {
    const std::string name = LibraryName(encoder);
    const bool half = sampleRate > 0 && sampleRate < 32000;
    if (name == "mp2") {
        return half ? kMpegHalf : kMp2Full;
    }
    if (name == "libmp3lame") {
        return half ? kMpegHalf : kMp3Full;
    }
    if (name == "ac3") {
        return kAc3;
    }
    return {};
}

int MaxAudioBitRateOf(const std::string& encoder) {
    const std::string name = LibraryName(encoder);
    if (StartsWith(name, "pcm_") || StartsWith(name, "adpcm_") || name == "flac") {
        return 0;
    }
    const std::vector<int> table = AudioBitRatesOf(name, 48000);
    return table.empty() ? 320 : table.back();
}

int MaxChannelsOf(const std::string& encoder) {
    static const std::map<std::string, int> most = {
        {"mp2", 2}, {"libmp3lame", 2}, {"wmav1", 2},         {"wmav2", 2},
        {"ac3", 6}, {"adpcm_ms", 2},   {"adpcm_ima_wav", 2}, {"libopencore_amrnb", 1},
        {"aac", 8}, {"libvorbis", 8},
    };
    auto it = most.find(LibraryName(encoder));
    return it == most.end() ? 0 : it->second;
}

int Nearest(const std::vector<int>& values, int value) {
    int best = value;
    long long bestDistance = -1;
    for (int v : values) {
        const long long d = std::llabs(static_cast<long long>(v) - value);
        if (bestDistance < 0 || d < bestDistance || (d == bestDistance && v < best)) {
            best = v;
            bestDistance = d;
        }
    }
    return best;
}

std::string EncoderName(const std::string& encoder) {
    static const std::map<std::string, std::string> names = {
        {"h263", "H.263"},          {"ac3", "AC-3"},         {"mp2", "MP2"},
        {"libmp3lame", "MP3"},      {"aac", "AAC"},          {"wmav1", "WMA"},
        {"wmav2", "WMA"},           {"libvorbis", "Vorbis"}, {"adpcm_ms", "ADPCM"},
        {"adpcm_ima_wav", "ADPCM"},
    };
    const std::string name = LibraryName(encoder);
    auto it = names.find(name);
    return it == names.end() ? name : it->second;
}

bool NeedsPicture(const std::string& formatLower) {
    return formatLower == "dv";
}

} // namespace quovo
