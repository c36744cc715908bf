#include "TFormatParameterEditor.h"

#include "ErrorReport.h"
#include "FormatCatalogue.h"
#include "FormatRules.h"
#include "TFormatSettings.h"

#include <functional>
#include <optional>
#include <set>
#include <stdexcept>

namespace quovo {

TFormatParameterEditor::TFormatParameterEditor(TIniStore& settings, const TIniStore& formatFile,
                                               TDialogService& dialogs, std::string appTitle)
    : settings_(settings), formatFile_(formatFile), dialogs_(dialogs),
      appTitle_(std::move(appTitle)) {}

std::string TFormatParameterEditor::Section() const {
    return FormatSection(code_);
}

void TFormatParameterEditor::Write(const std::vector<std::pair<std::string, std::string>>& values) {
    if (batching_) {
        pending_.insert(pending_.end(), values.begin(), values.end());
        return;
    }
    settings_.WriteValues(Section(), values);
}

void TFormatParameterEditor::ShowError(const std::exception& error) {
    ReportError(dialogs_, appTitle_, error);
}

void TFormatParameterEditor::Load(int formatCode) {
    code_ = formatCode;
    if (formatFile_.SectionExists(Section())) {
        // A section never stored gets every default; one that lacks keys (edited by hand, written
        // by an older version) gets the missing ones, so a video format never loses its video
        // for want of a stored encoder.
        fillingMissing_ = settings_.SectionExists(Section());
        LoadBoxes();
        DefaultClick();
        fillingMissing_ = false;
    }
    LoadBoxes();
}

void TFormatParameterEditor::LoadBoxes() {
    const std::string section = Section();
    FillParamLists(*this, formatFile_, section);
    const TFormatSettings stored(settings_, formatFile_, code_);

    Zoom = TParamBox();
    const std::string zoom = stored.Zoom();
    if (zoom != "null" && !zoom.empty()) {
        Zoom.Items = ZoomEntries();
        Zoom.Enabled = true;
        Zoom.SelectIndex(ZoomIndex(zoom));
    }

    VideoSize.SelectText(stored.Value(TFormatKey::VideoSize));
    VideoBitRate.SelectText(stored.Value(TFormatKey::VideoBitRate));
    SampleRate.SelectText(stored.Value(TFormatKey::SampleRate));
    AudioBitRate.SelectText(stored.Value(TFormatKey::AudioBitRate));
    SelectStoredEntries(*this, stored);

    ListEncoderSizes(*this, formatFile_, section);
    FollowEncoderBoxes(*this);
}

bool TFormatParameterEditor::VideoSizeKeyPress(char key) {
    return FilterVideoSizeKey(VideoSize, key, dialogs_);
}

bool TFormatParameterEditor::NumericKeyPress(char key) {
    return FilterNumericKey(key, dialogs_, appTitle_);
}

void TFormatParameterEditor::VideoSizeSelect(int index) {
    VideoSize.SelectIndex(index);
    Write({{"iVideoSize", std::to_string(VideoSize.Index)}, {"paraVideoSize", VideoSize.Text}});
}

void TFormatParameterEditor::VideoSizeExit() {
    TVideoSizeCheck check = CheckVideoSize(VideoSize.Text);
    switch (check.Outcome) {
    case TVideoSizeCheck::Skip:
        return;
    case TVideoSizeCheck::Invalid:
        dialogs_.ShowMessage(appTitle_, check.Message, TMessageIcon::None);
        ShowStored(VideoSize, TFormatKey::VideoSize);
        return;
    case TVideoSizeCheck::Corrected:
        dialogs_.ShowMessage("Input Error!", check.Message, TMessageIcon::None);
        VideoSize.SelectText(check.Text);
        break;
    case TVideoSizeCheck::Store:
        break;
    }
    VideoSize.Index = VideoSize.IndexOf(VideoSize.Text);
    Write({{"iVideoSize", std::to_string(VideoSize.Index)}, {"paraVideoSize", VideoSize.Text}});
}

void TFormatParameterEditor::ShowStored(TParamBox& box, TFormatKey key) {
    // Nothing was stored: the box goes back to what the run will use.
    box.SelectText(TFormatSettings(settings_, formatFile_, code_).Value(key));
}

// The shared rule of the typed number boxes: a valid text is stored, an invalid one is reported
// and the box shows the stored value again.
void TFormatParameterEditor::NumberChange(TParamBox& box, TFormatKey key, const std::string& text,
                                          bool (*valid)(const std::string&), const char* message) {
    box.SelectText(text);
    if (valid(text)) {
        const TFormatKeyInfo& info = TFormatSettings::Info(key);
        Write({{info.IndexKey, std::to_string(box.Index)}, {info.ValueKey, text}});
        return;
    }
    dialogs_.ShowMessage(appTitle_, message, TMessageIcon::None);
    ShowStored(box, key);
}

void TFormatParameterEditor::VideoBitRateChange(const std::string& text) {
    NumberChange(VideoBitRate, TFormatKey::VideoBitRate, text, IsValidVideoBitRate,
                 kInvalidVideoBitRateMessage);
}

void TFormatParameterEditor::SampleRateChange(const std::string& text) {
    NumberChange(SampleRate, TFormatKey::SampleRate, text, IsValidSampleRate,
                 kInvalidSampleRateMessage);
}

void TFormatParameterEditor::AudioBitRateChange(const std::string& text) {
    NumberChange(AudioBitRate, TFormatKey::AudioBitRate, text, IsValidAudioBitRate,
                 kInvalidAudioBitRateMessage);
}

void TFormatParameterEditor::FrameRateChange(int index) {
    FrameRate.SelectIndex(index);
    Write({{"iFrameRate", std::to_string(FrameRate.Index)}, {"paraFrameRate", FrameRate.Text}});
}

void TFormatParameterEditor::VideoEncoderChange(int index) {
    VideoEncoder.SelectIndex(index);
    std::vector<std::pair<std::string, std::string>> values = {
        {"iVideoEncoder", std::to_string(VideoEncoder.Index)}};
    std::optional<std::string> value = VideoEncoderValue(VideoEncoder.Text);
    if (!value) {
        Write(values);
        return;
    }
    values.emplace_back("paraVideoEncoder", *value);
    // The size box offers what the new encoder produces; a size it would move is stored moved.
    if (ListEncoderSizes(*this, formatFile_, Section()) && !VideoSize.Text.empty()) {
        values.emplace_back("iVideoSize", std::to_string(VideoSize.Index));
        values.emplace_back("paraVideoSize", VideoSize.Text);
    }
    Write(values);
    if (ToLower(VideoEncoder.Text) != "h264") {
        return;
    }
    try {
        for (const auto& [key, raw] :
             TFormatSettings(settings_, formatFile_, code_).TuningValues()) {
            auto tuning = QualifyTuningValue(key, raw);
            if (tuning) {
                Write({{tuning->Key, tuning->Value}});
            }
        }
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

void TFormatParameterEditor::ZoomChange(int index) {
    Zoom.SelectIndex(index);
    if (auto value = ZoomValue(index)) {
        Write({{"paraZoom", *value}});
    }
}

void TFormatParameterEditor::AudioEncoderChange(int index) {
    AudioEncoder.SelectIndex(index);
    std::vector<std::pair<std::string, std::string>> values = {
        {"iAudioEncoder", std::to_string(AudioEncoder.Index)}};
    if (auto value = AudioEncoderValue(AudioEncoder.Text)) {
        values.emplace_back("paraAudioEncoder", *value);
    }
    Write(values);
}

void TFormatParameterEditor::ChannelChange(int index) {
    Channel.SelectIndex(index);
    std::vector<std::pair<std::string, std::string>> values = {
        {"iChannel", std::to_string(Channel.Index)}};
    if (auto value = ChannelValue(Channel.Text)) {
        values.emplace_back("paraChannel", *value);
    }
    Write(values);
}

void TFormatParameterEditor::VolumeChange(int index) {
    Volume.SelectIndex(index);
    Write({{"iVolume", std::to_string(Volume.Index)}});
    try {
        if (auto value = VolumeValue(Volume.Text)) {
            Write({{"paraVolume", std::to_string(*value)}});
        }
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

void TFormatParameterEditor::DefaultClick() {
    SelectFormatDefaults(*this, formatFile_, Section());

    // The handlers' writes go to the file in one replacement at the end: the same keys and
    // values, one file operation instead of twenty.
    batching_ = true;
    pending_.clear();
    // Boxes without a list (the video boxes of an audio format, say) are skipped: their empty
    // text would only raise "not a valid value" messages for values nobody can edit.
    auto has = [](const TParamBox& box) { return !box.Items.empty(); };
    if (has(VideoEncoder)) {
        VideoEncoderChange(VideoEncoder.Index);
    }
    if (has(VideoSize)) {
        // A default of "as source" is a choice from the list and is stored as one; leaving the
        // box would skip it, and a format without a stored size makes the builder ask for one.
        if (CheckVideoSize(VideoSize.Text).Outcome == TVideoSizeCheck::Skip) {
            VideoSizeSelect(VideoSize.Index);
        } else {
            VideoSizeExit();
        }
    }
    if (has(FrameRate)) {
        FrameRateChange(FrameRate.Index);
    }
    if (has(VideoBitRate)) {
        VideoBitRateChange(VideoBitRate.Text);
    }
    if (has(VideoEncoder) && has(Zoom)) {
        ZoomChange(Zoom.Index);
    }
    if (has(AudioEncoder)) {
        AudioEncoderChange(AudioEncoder.Index);
    }
    if (has(AudioBitRate)) {
        AudioBitRateChange(AudioBitRate.Text);
    }
    if (has(SampleRate)) {
        SampleRateChange(SampleRate.Text);
    }
    if (has(Channel)) {
        ChannelChange(Channel.Index);
    }
    if (has(Volume)) {
        VolumeChange(Volume.Index);
    }
    batching_ = false;
    if (fillingMissing_) {
        std::set<std::string> stored;
        for (const std::string& key : settings_.ReadSectionKeys(Section())) {
            stored.insert(ToLower(key));
        }
        std::erase_if(pending_, [&](const auto& kv) { return stored.count(ToLower(kv.first)); });
    }
    if (!pending_.empty()) {
        settings_.WriteValues(Section(), pending_);
    }
    pending_.clear();
}

bool EnsureFormatSettings(TIniStore& settings, const TIniStore& formatFile, int formatCode,
                          TDialogService& dialogs, const std::string& appTitle) {
    const std::string section = FormatSection(formatCode);
    if (!formatFile.SectionExists(section)) {
        return false;
    }
    const auto before = settings.ReadSectionValues(section);
    TFormatParameterEditor editor(settings, formatFile, dialogs, appTitle);
    editor.Load(formatCode);
    return settings.ReadSectionValues(section) != before;
}

} // namespace quovo
