#include "TParamBox.h"

#include "EncoderLimits.h"
#include "FormatRules.h"
#include "TFormatSettings.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace quovo {

int TParamBox::IndexOf(const std::string& text) const {
    for (size_t i = 0; i < Items.size(); ++i) {
        if (Items[i] == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TParamBox::SelectIndex(int index) {
    if (index >= 0 && index < static_cast<int>(Items.size())) {
        Index = index;
        Text = Items[index];
    } else {
        Index = -1;
        Text.clear();
    }
}

void TParamBox::SelectText(const std::string& text) {
    Index = IndexOf(text);
    Text = text;
}

void FillParamLists(TParamBoxSet& boxes, const TIniStore& formatFile, const std::string& section) {
    struct List {
        const char* key;
        TParamBox* box;
        bool emptyDisables;
    } lists[] = {
        {"VideoSize", &boxes.VideoSize, false},
        {"VideoBitRate", &boxes.VideoBitRate, false},
        {"FrameRate", &boxes.FrameRate, false},
        {"VideoEncoder", &boxes.VideoEncoder, true},
        {"AudioBitRate", &boxes.AudioBitRate, true},
        {"SampleRate", &boxes.SampleRate, true},
        {"AudioEncoder", &boxes.AudioEncoder, true},
        {"Channel", &boxes.Channel, true},
        {"Volume", &boxes.Volume, true},
    };
    for (const List& l : lists) {
        const std::string value = formatFile.ReadString(section, l.key, "null");
        auto entries = SplitFormatList(value);
        *l.box = TParamBox();
        l.box->Items = entries.value_or(std::vector<std::string>());
        l.box->Enabled = entries.has_value() && !(l.emptyDisables && value.empty());
    }
}

void FollowEncoderBoxes(TParamBoxSet& boxes) {
    const bool video = !boxes.VideoEncoder.Items.empty();
    for (TParamBox* box : {&boxes.VideoSize, &boxes.VideoBitRate, &boxes.FrameRate,
                           &boxes.VideoEncoder, &boxes.Zoom}) {
        box->Enabled = box->Enabled && video;
        box->Grey = !video;
    }
    const bool audio = !boxes.AudioEncoder.Items.empty();
    for (TParamBox* box : {&boxes.SampleRate, &boxes.AudioBitRate, &boxes.AudioEncoder,
                           &boxes.Channel, &boxes.Volume}) {
        box->Enabled = box->Enabled && audio;
        box->Grey = !audio;
    }
}

bool ListEncoderSizes(TParamBoxSet& boxes, const TIniStore& formatFile,
                      const std::string& section) {
    TParamBox& box = boxes.VideoSize;
    const auto entries = SplitFormatList(formatFile.ReadString(section, "VideoSize", "null"));
    if (!entries) {
        return false;
    }
    const std::string encoder = VideoEncoderValue(boxes.VideoEncoder.Text).value_or("");
    const auto& only = OnlyFrameSizes(encoder);
    std::vector<std::string> items;
    for (const std::string& e : *entries) {
        if (only.empty() || e == "as source" ||
            std::find(only.begin(), only.end(), e) != only.end()) {
            items.push_back(e);
        }
    }
    const std::string text = box.Text;
    const int index = box.Index;
    std::string shown = text;
    const size_t x = text.find('x');
    const auto w = x == std::string::npos ? std::nullopt : ParseWholeNumber(text.substr(0, x));
    const auto h = x == std::string::npos ? std::nullopt : ParseWholeNumber(text.substr(x + 1));
    if (w && h) {
        const auto [pw, ph] = ProducedFrameSize(encoder, *w, *h);
        shown = std::to_string(pw) + "x" + std::to_string(ph);
    }
    box.Items = std::move(items);
    box.SelectText(shown);
    return box.Text != text || box.Index != index;
}

void SelectFormatDefaults(TParamBoxSet& boxes, const TIniStore& formatFile,
                          const std::string& section) {
    auto index = [&](TFormatKey key) {
        return TFormatSettings::FileDefaultIndex(formatFile, section, key);
    };
    // The default index counts in the file's whole list, before the encoder leaves some out.
    boxes.VideoSize.Items = SplitFormatList(formatFile.ReadString(section, "VideoSize", "null"))
                                .value_or(std::vector<std::string>());
    boxes.VideoSize.SelectIndex(index(TFormatKey::VideoSize));
    boxes.FrameRate.SelectIndex(index(TFormatKey::FrameRate));
    boxes.VideoBitRate.SelectIndex(index(TFormatKey::VideoBitRate));
    boxes.VideoEncoder.SelectIndex(index(TFormatKey::VideoEncoder));
    boxes.Zoom.SelectIndex(ZoomIndex(TFormatSettings::Info(TFormatKey::Zoom).CodeDefault));
    boxes.AudioBitRate.SelectIndex(index(TFormatKey::AudioBitRate));
    boxes.Channel.SelectIndex(index(TFormatKey::Channel));
    boxes.Volume.SelectIndex(index(TFormatKey::Volume));
    boxes.SampleRate.SelectIndex(index(TFormatKey::SampleRate));
    boxes.AudioEncoder.SelectIndex(index(TFormatKey::AudioEncoder));
    ListEncoderSizes(boxes, formatFile, section);
}

void SelectStoredEntries(TParamBoxSet& boxes, const TFormatSettings& stored) {
    // A stored value its index does not stand for (written by hand, or by another version) is
    // what the run uses: the box shows the entry of that value when it has one.
    auto select = [&](TParamBox& box, TFormatKey key, auto storedForm) {
        box.SelectIndex(stored.Index(key));
        const std::string value = stored.Value(key);
        if (!stored.Stored(key) || storedForm(box.Text) == value) {
            return;
        }
        for (size_t i = 0; i < box.Items.size(); ++i) {
            if (storedForm(box.Items[i]) == value) {
                box.SelectIndex(static_cast<int>(i));
                return;
            }
        }
        if (box.Index < 0) {
            box.SelectText(value);
        }
    };
    auto same = [](const std::string& entry) { return std::optional<std::string>(entry); };
    auto volume = [](const std::string& entry) -> std::optional<std::string> {
        try {
            if (auto v = VolumeValue(entry)) {
                return std::to_string(*v);
            }
        } catch (const std::exception&) {
        }
        return std::nullopt;
    };
    select(boxes.FrameRate, TFormatKey::FrameRate, same);
    select(boxes.VideoEncoder, TFormatKey::VideoEncoder, VideoEncoderValue);
    select(boxes.Channel, TFormatKey::Channel, ChannelValue);
    select(boxes.Volume, TFormatKey::Volume, volume);
    select(boxes.AudioEncoder, TFormatKey::AudioEncoder, AudioEncoderValue);
}

bool FilterVideoSizeKey(const TParamBox& box, char key, TDialogService& dialogs) {
    if (AcceptVideoSizeKey(box.Text, key)) {
        return true;
    }
    dialogs.Beep();
    return false;
}

bool FilterNumericKey(char key, TDialogService& dialogs, const std::string& appTitle) {
    if (AcceptNumericKey(key)) {
        return true;
    }
    dialogs.ShowMessage(appTitle, kNumericKeyMessage, TMessageIcon::None);
    dialogs.Beep();
    return false;
}

} // namespace quovo
