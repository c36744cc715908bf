#include "FormatRules.h"

#include "TIniStore.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace quovo {

const char* const kNumericKeyMessage = "Please enter numerical.";
const char* const kInvalidFrameSizeMessage = "Frame Size is not a valid value!";
const char* const kInvalidVideoBitRateMessage = "Video BitRate is not a valid value!";
const char* const kInvalidSampleRateMessage = "Audio SampleRate is not a valid value!";
const char* const kInvalidAudioBitRateMessage = "Audio BitRate is not a valid value!";
const char* const kTuningKeys[7] = {"paraBitExact", "paraMaxBitrate", "paraBufferSize", "paraLevel",
                                    "paraQscale",   "paraGop",        "paraCoder"};

namespace {

using TPairs = std::vector<std::pair<const char*, const char*>>;

const TPairs& VideoEncoderTable() {
    static const TPairs table = {
        {"mpeg-4", "mpeg4"},
        {"3gp", "3gp"},
        {"3g2", "3g2"},
        {"xvid", "libxvid"},
        {"mov", "mov"},
        {"wmv1", "wmv1"},
        {"wmv2", "wmv2"},
        {"wmv3", "wmv3"},
        {"flv", "flv"},
        {"swf", "swf"},
        {"msmpeg4", "msmpeg4"},
        {"msmpeg4v1", "msmpeg4v1"},
        {"msmpeg4v2", "msmpeg4v2"},
        {"mpeg1video", "mpeg1video"},
        {"mpeg2video", "mpeg2video"},
        {"h263", "h263"},
        {"h263p", "h263p"},
        {"rawvideo", "rawvideo"},
        {"rv10", "rv10"},
        {"rv20", "rv20"},
        {"dvvideo", "dvvideo"},
        {"huffyuv", "huffyuv"},
        {"ljpeg", "ljpeg"},
        {"mjpeg", "mjpeg"},
        {"svq1", "svq1"},
        {"zlib", "zlib"},
        {"h264", "libx264"},
    };
    return table;
}

// "ogg" stores the library's Vorbis encoder: the built-in one is experimental in this FFmpeg and
// the engine refuses it without a strictness option, so an OGG format would never convert.
const TPairs& AudioEncoderTable() {
    static const TPairs table = {
        {"mp3", "libmp3lame"},
        {"ogg", "libvorbis"},
        {"mp2", "mp2"},
        {"aac", "libfaac"},
        {"ac-3", "ac3"},
        {"flac", "libflac"},
        {"amr_nb", "libopencore_amrnb"},
        {"pcm_s16", "pcm_s16le"},
        {"pcm_u16", "pcm_u16le"},
        {"pcm_alaw", "pcm_alaw"},
        {"pcm_mulaw", "pcm_mulaw"},
        {"adpcm_ms", "adpcm_ms"},
        {"adpcm_ima_wav", "adpcm_ima_wav"},
        {"wma1", "wmav1"},
        {"wma2", "wmav2"},
    };
    return table;
}

std::optional<std::string> Lookup(const TPairs& table, const std::string& entry) {
    const std::string lower = ToLower(entry);
    for (const auto& [from, to] : table) {
        if (lower == from) {
            return std::string(to);
        }
    }
    return std::nullopt;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::string ToLower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string TrimBlanks(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') {
        ++first;
    }
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') {
        --last;
    }
    return text.substr(first, last - first);
}

std::optional<std::vector<std::string>> SplitFormatList(const std::string& value) {
    if (value == "null") {
        return std::nullopt;
    }
    std::vector<std::string> entries;
    if (value.empty()) {
        return entries;
    }
    size_t start = 0;
    for (;;) {
        size_t comma = value.find(',', start);
        if (comma == std::string::npos) {
            entries.push_back(value.substr(start));
            break;
        }
        entries.push_back(value.substr(start, comma - start));
        start = comma + 1;
    }
    return entries;
}

std::optional<std::string> VideoEncoderValue(const std::string& entry) {
    return Lookup(VideoEncoderTable(), entry);
}

std::optional<std::string> AudioEncoderValue(const std::string& entry) {
    return Lookup(AudioEncoderTable(), entry);
}

std::vector<std::string> VideoEncoderEntries() {
    std::vector<std::string> result;
    for (const auto& [from, to] : VideoEncoderTable()) {
        result.emplace_back(from);
    }
    return result;
}

std::vector<std::string> AudioEncoderEntries() {
    std::vector<std::string> result;
    for (const auto& [from, to] : AudioEncoderTable()) {
        result.emplace_back(from);
    }
    return result;
}

std::optional<std::string> ChannelValue(const std::string& entry) {
    if (entry == "as source") {
        return std::string("as source");
    }
    if (entry == "mono 1 channel") {
        return std::string("1");
    }
    if (entry == "stereo 2 channels") {
        return std::string("2");
    }
    return std::nullopt;
}

std::optional<int> VolumeValue(const std::string& entry) {
    const std::string number = entry.empty() ? entry : entry.substr(0, entry.size() - 1);
    std::optional<int> p = ParseWholeNumber(number);
    if (!p) {
        throw std::invalid_argument("'" + number + "' is not a valid integer value");
    }
    static const int table[] = {25, 50, 75, 100, 125, 150, 175, 200, 250, 300, 350, 400};
    if (*p <= 0) {
        return std::nullopt;
    }
    for (int t : table) {
        if (*p == t) {
            return t * 256 / 100;
        }
    }
    return std::nullopt;
}

const std::vector<std::string>& ZoomEntries() {
    static const std::vector<std::string> entries = {"Full Screen", "Letter Box", "Pan and Scan"};
    return entries;
}

std::optional<std::string> ZoomValue(int index) {
    static const char* const values[] = {"full", "lbox", "pan"};
    if (index < 0 || index > 2) {
        return std::nullopt;
    }
    return std::string(values[index]);
}

int ZoomIndex(const std::string& value) {
    static const char* const values[] = {"full", "lbox", "pan", "center"};
    for (int i = 0; i < 4; ++i) {
        if (value == values[i]) {
            return i;
        }
    }
    return -1;
}

bool IsVideoCodecName(const std::string& stored) {
    static const char* const names[] = {
        "mpeg4",   "libxvid", "mpeg1video", "mpeg2video", "msmpeg4", "msmpeg4v1", "msmpeg4v2",
        "huffyuv", "dvvideo", "rawvideo",   "h263p",      "h263",    "rv10",      "rv20",
        "ljpeg",   "mjpeg",   "svq1",       "zlib",       "wmv1",    "wmv2",      "libx264"};
    for (const char* n : names) {
        if (stored == n) {
            return true;
        }
    }
    return false;
}

bool IsContainerKeyword(const std::string& formatLower) {
    static const char* const names[] = {"ipod", "3gp", "3g2", "avi",    "psp",
                                        "mov",  "vcd", "flv", "mpegts", "vob"};
    for (const char* n : names) {
        if (formatLower == n) {
            return true;
        }
    }
    return false;
}

bool IsWholeNumber(const std::string& text) {
    return ParseWholeNumber(text).has_value();
}

bool IsDecimalNumber(const std::string& text) {
    size_t i = 0;
    const size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    size_t digits = 0;
    while (i < n && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        size_t expDigits = 0;
        while (i < n && IsDigit(text[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0) {
            return false;
        }
    }
    return i == n;
}

bool AcceptVideoSizeKey(const std::string& text, char key) {
    if (text.empty()) {
        return true;
    }
    if (key == kBackspace || IsDigit(key)) {
        return true;
    }
    return key == 'x' && text.find('x') == std::string::npos;
}

bool AcceptNumericKey(char key) {
    return key == kBackspace || IsDigit(key);
}

TVideoSizeCheck CheckVideoSize(const std::string& text) {
    if (ToLower(text).find("as source") != std::string::npos) {
        return {TVideoSizeCheck::Skip, text, {}};
    }
    size_t x = text.rfind('x');
    if (x == std::string::npos) {
        return {TVideoSizeCheck::Invalid, text, kInvalidFrameSizeMessage};
    }
    std::optional<int> w = ParseWholeNumber(text.substr(0, x));
    std::optional<int> h = ParseWholeNumber(text.substr(x + 1));
    if (!w || !h) {
        return {TVideoSizeCheck::Invalid, text, kInvalidFrameSizeMessage};
    }
    if (*w % 2 == 0 && *h % 2 == 0 && *w != 0 && *h != 0) {
        return {TVideoSizeCheck::Store, text, {}};
    }
    auto even = [](int v) {
        int e = (v / 2) * 2; // truncates toward zero
        return e == 0 ? 2 : e;
    };
    std::string corrected = std::to_string(even(*w)) + "x" + std::to_string(even(*h));
    return {TVideoSizeCheck::Corrected, corrected,
            "Frame Size must be a multiple of 2.\nThe correct value:" + corrected};
}

bool IsValidVideoBitRate(const std::string& text) {
    return text == "as source" || IsWholeNumber(text);
}

bool IsValidSampleRate(const std::string& text) {
    return IsValidVideoBitRate(text);
}

bool IsValidAudioBitRate(const std::string& text) {
    return text == "as source" || IsDecimalNumber(text);
}

std::optional<TTuningValue> QualifyTuningValue(const std::string& key, const std::string& value) {
    if (value.empty()) {
        return std::nullopt;
    }
    if (ToLower(key) == "parabitexact") {
        if (ToLower(value) == "true") {
            return TTuningValue{key, value};
        }
        return std::nullopt;
    }
    std::optional<int> n = ParseWholeNumber(value);
    if (!n) {
        throw std::invalid_argument("'" + value + "' is not a valid integer value");
    }
    const bool isCoder = ToLower(key) == "paracoder";
    if (isCoder ? *n >= 0 : *n > 0) {
        return TTuningValue{key, value};
    }
    return std::nullopt;
}

} // namespace quovo
