#include "TFormatSettings.h"

#include "FormatCatalogue.h"
#include "FormatRules.h"
#include "TParamBox.h"

#include <stdexcept>

namespace quovo {

TSectionValues::TSectionValues(const TIniStore& ini, const std::string& section) {
    for (auto& [key, value] : ini.ReadSectionValues(section)) {
        values_.emplace(ToLower(key), value); // the first of a doubled key, as the reader finds it
    }
}

std::optional<std::string> TSectionValues::Find(const std::string& key) const {
    auto it = values_.find(ToLower(key));
    if (it == values_.end()) {
        return std::nullopt;
    }
    return it->second;
}

const std::vector<TFormatKeyInfo>& TFormatSettings::Keys() {
    // The one default of each key when neither file has one. The zoom keeps the source's shape.
    static const std::vector<TFormatKeyInfo> keys = {
        {TFormatKey::VideoSize, "paraVideoSize", "iVideoSize", "VideoSize", "320x240"},
        {TFormatKey::VideoBitRate, "paraVideoBitRate", "iVideoBitRate", "VideoBitRate", "768"},
        {TFormatKey::FrameRate, "paraFrameRate", "iFrameRate", "FrameRate", "29.97"},
        {TFormatKey::VideoEncoder, "paraVideoEncoder", "iVideoEncoder", "VideoEncoder", ""},
        {TFormatKey::Zoom, "paraZoom", nullptr, nullptr, "lbox"},
        {TFormatKey::SampleRate, "paraSampleRate", "iSampleRate", "SampleRate", "44100"},
        {TFormatKey::AudioBitRate, "paraAudioBitRate", "iAudioBitRate", "AudioBitRate", "128"},
        {TFormatKey::AudioEncoder, "paraAudioEncoder", "iAudioEncoder", "AudioEncoder", ""},
        {TFormatKey::Channel, "paraChannel", "iChannel", "Channel", "2"},
        {TFormatKey::Volume, "paraVolume", "iVolume", "Volume", "256"},
    };
    return keys;
}

const TFormatKeyInfo& TFormatSettings::Info(TFormatKey key) {
    for (const TFormatKeyInfo& info : Keys()) {
        if (info.Key == key) {
            return info;
        }
    }
    throw std::logic_error("unknown format key");
}

TFormatSettings::TFormatSettings(const TIniStore& settings, const TIniStore& formatFile,
                                 int formatCode)
    : formatFile_(formatFile), code_(formatCode), section_(FormatSection(formatCode)),
      stored_(settings, section_), format_(formatFile, section_) {}

int TFormatSettings::FileDefaultIndex(const TIniStore& formatFile, const std::string& section,
                                      TFormatKey key) {
    const char* indexKey = Info(key).IndexKey;
    return indexKey == nullptr ? 0 : formatFile.ReadInteger(section, indexKey, 0);
}

// What "Default" stores for each box: the box at the format file's default index, its entry
// turned into the stored value as the change handlers turn it. A value they would refuse to
// store is no default.
const TFormatSettings::TDefaults& TFormatSettings::Defaults() const {
    if (defaults_) {
        return *defaults_;
    }
    TDefaults d;
    TParamBoxSet boxes;
    FillParamLists(boxes, formatFile_, section_);
    SelectFormatDefaults(boxes, formatFile_, section_);
    auto put = [&](TFormatKey key, const TParamBox& box, std::optional<std::string> value) {
        d.indexes[key] = box.Items.empty() ? -1 : box.Index;
        if (value && !box.Items.empty()) {
            d.values[key] = *value;
        }
    };
    auto text = [](const TParamBox& box, bool (*valid)(const std::string&)) {
        return valid(box.Text) ? std::optional<std::string>(box.Text) : std::nullopt;
    };
    std::optional<std::string> size;
    const TVideoSizeCheck check = CheckVideoSize(boxes.VideoSize.Text);
    if (check.Outcome == TVideoSizeCheck::Skip || check.Outcome == TVideoSizeCheck::Store) {
        size = boxes.VideoSize.Text;
    } else if (check.Outcome == TVideoSizeCheck::Corrected) {
        size = check.Text;
    }
    put(TFormatKey::VideoSize, boxes.VideoSize, size);
    put(TFormatKey::VideoBitRate, boxes.VideoBitRate,
        text(boxes.VideoBitRate, IsValidVideoBitRate));
    put(TFormatKey::FrameRate, boxes.FrameRate,
        boxes.FrameRate.Text.empty() ? std::nullopt : std::optional(boxes.FrameRate.Text));
    put(TFormatKey::VideoEncoder, boxes.VideoEncoder, VideoEncoderValue(boxes.VideoEncoder.Text));
    put(TFormatKey::SampleRate, boxes.SampleRate, text(boxes.SampleRate, IsValidSampleRate));
    put(TFormatKey::AudioBitRate, boxes.AudioBitRate,
        text(boxes.AudioBitRate, IsValidAudioBitRate));
    put(TFormatKey::AudioEncoder, boxes.AudioEncoder, AudioEncoderValue(boxes.AudioEncoder.Text));
    put(TFormatKey::Channel, boxes.Channel, ChannelValue(boxes.Channel.Text));
    std::optional<std::string> volume;
    try {
        if (auto v = VolumeValue(boxes.Volume.Text)) {
            volume = std::to_string(*v);
        }
    } catch (const std::exception&) {
        // an entry that is no percentage is no default
    }
    put(TFormatKey::Volume, boxes.Volume, volume);
    defaults_ = std::move(d);
    return *defaults_;
}

std::string TFormatSettings::Value(TFormatKey key) const {
    const TFormatKeyInfo& info = Info(key);
    if (auto stored = stored_.Find(info.ValueKey)) {
        return *stored;
    }
    const TDefaults& d = Defaults();
    auto it = d.values.find(key);
    return it != d.values.end() ? it->second : std::string(info.CodeDefault);
}

int TFormatSettings::Index(TFormatKey key) const {
    const TFormatKeyInfo& info = Info(key);
    if (info.IndexKey == nullptr) {
        return ZoomIndex(Value(key));
    }
    if (auto stored = stored_.Find(info.IndexKey)) {
        if (auto n = ParseWholeNumber(*stored)) {
            return *n;
        }
    }
    const TDefaults& d = Defaults();
    auto it = d.indexes.find(key);
    return it != d.indexes.end() ? it->second : 0;
}

bool TFormatSettings::Stored(TFormatKey key) const {
    return stored_.Find(Info(key).ValueKey).has_value();
}

std::string TFormatSettings::FormatKeyword() const {
    return format_.Read("Format", "null");
}

std::string TFormatSettings::FileExt() const {
    return format_.Read("FileExt", "mp4");
}

std::vector<std::pair<std::string, std::string>> TFormatSettings::TuningValues() const {
    std::vector<std::pair<std::string, std::string>> values;
    for (const char* key : kTuningKeys) {
        if (auto value = format_.Find(key)) {
            values.emplace_back(key, *value);
        }
    }
    return values;
}

} // namespace quovo
