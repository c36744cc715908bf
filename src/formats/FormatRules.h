// The editing rules of a format's parameters, as plain functions: the list syntax of the format
// file, the tables that turn a box entry into the value the option builder reads, the key filters
// and the validation of typed values.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quovo {

// One line of entries separated by ","; entries are kept character for character, so a trailing
// "," gives an empty last entry. "null" means no list (nullopt); an empty value gives no entries.
std::optional<std::vector<std::string>> SplitFormatList(const std::string& value);

// Box entry → stored value. The encoder tables match the entry in lower case; nullopt when the
// entry is not in the table (nothing is stored then).
std::optional<std::string> VideoEncoderValue(const std::string& entry);
std::optional<std::string> AudioEncoderValue(const std::string& entry);
std::optional<std::string> ChannelValue(const std::string& entry);
// "150%" → 384. nullopt for a percentage that is not in the table or not above 0; throws
// std::invalid_argument when the entry without its last character is not a whole number.
std::optional<int> VolumeValue(const std::string& entry);
// Box index 0..2 → "full", "lbox", "pan".
std::optional<std::string> ZoomValue(int index);
// "full", "lbox", "pan", "center" → 0..3; -1 otherwise.
int ZoomIndex(const std::string& value);
const std::vector<std::string>& ZoomEntries();

// Every entry of the encoder tables, for checking format files.
std::vector<std::string> VideoEncoderEntries();
std::vector<std::string> AudioEncoderEntries();

// Stored video encoder values that name a codec of the engine; the others ("3gp", "mov", "flv",
// "swf", "wmv3") leave the choice to the container.
bool IsVideoCodecName(const std::string& stored);
// Container and target keywords of the format file that select the muxer directly; with any
// other keyword the muxer follows the output file's extension.
bool IsContainerKeyword(const std::string& formatLower);

bool IsWholeNumber(const std::string& text);
// A whole number or a plain decimal number ("96", "12.2", "-1.5e2"); not "nan", "inf" or hex.
bool IsDecimalNumber(const std::string& text);

constexpr char kBackspace = '\b';
// Key filter of the frame-size box: everything while the text is empty; then Backspace, digits,
// and "x" only while there is none yet.
bool AcceptVideoSizeKey(const std::string& text, char key);
// Key filter of the bit-rate and sample-rate boxes: Backspace and digits.
bool AcceptNumericKey(char key);
extern const char* const kNumericKeyMessage; // "Please enter numerical."

// Outcome of leaving the frame-size box.
struct TVideoSizeCheck {
    enum TOutcome {
        Skip,      // "as source": neither validated nor stored
        Invalid,   // "Frame Size is not a valid value!", item 1 reselected, nothing stored
        Store,     // stored as typed
        Corrected, // odd or zero sizes: Text is the corrected size, shown with Message first
    };
    TOutcome Outcome;
    std::string Text;
    std::string Message;
};
TVideoSizeCheck CheckVideoSize(const std::string& text);

extern const char* const kInvalidFrameSizeMessage;
extern const char* const kInvalidVideoBitRateMessage;
extern const char* const kInvalidSampleRateMessage;
extern const char* const kInvalidAudioBitRateMessage;

// Bit-rate and sample-rate boxes accept whole numbers (audio bit rate: decimals too) or exactly
// "as source".
bool IsValidVideoBitRate(const std::string& text);
bool IsValidSampleRate(const std::string& text);
bool IsValidAudioBitRate(const std::string& text);

// The H.264 tuning values of a format that qualify for copying into the settings, in key order.
// Each getter result is the format file's value (empty when missing). Throws
// std::invalid_argument for a non-empty value that is not a whole number where one is required.
struct TTuningValue {
    std::string Key;
    std::string Value;
};
extern const char* const kTuningKeys[7];
template <typename Reader> std::vector<TTuningValue> QualifyingTuningValues(Reader read);
std::optional<TTuningValue> QualifyTuningValue(const std::string& key, const std::string& value);

template <typename Reader> std::vector<TTuningValue> QualifyingTuningValues(Reader read) {
    std::vector<TTuningValue> result;
    for (const char* key : kTuningKeys) {
        if (auto v = QualifyTuningValue(key, read(key))) {
            result.push_back(*v);
        }
    }
    return result;
}

std::string ToLower(std::string text);
std::string TrimBlanks(const std::string& text);

} // namespace quovo
