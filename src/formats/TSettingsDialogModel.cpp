#include "TSettingsDialogModel.h"

#include "FormatCatalogue.h"
#include "FormatRules.h"
#include "TAppSettings.h"
#include "TFormatSettings.h"

#include <stdexcept>

namespace quovo {

const char* const kInvalidVolumeMessage = "Volume is not a valid value!";

const std::vector<std::string>& DialogZoomEntries() {
    static const std::vector<std::string> entries = {"Full screen", "Letterbox", "Pan and Scan"};
    return entries;
}

TSettingsDialogModel::TSettingsDialogModel(TIniStore& settings, const TIniStore& formatFile,
                                           TDialogService& dialogs, std::string appTitle)
    : settings_(settings), formatFile_(formatFile), dialogs_(dialogs),
      appTitle_(std::move(appTitle)) {
    Zoom.Items = DialogZoomEntries();
}

std::string TSettingsDialogModel::Section() const {
    return FormatSection(code_);
}

void TSettingsDialogModel::Load() {
    TAppSettings app(settings_);
    code_ = app.FormatCodeNumber();
    name_ = app.FormatName();
    SelectStored(false);
}

void TSettingsDialogModel::ChooseFormat(const std::string& name, int code) {
    name_ = name;
    code_ = code;
    SelectStored(true);
}

void TSettingsDialogModel::SelectStored(bool byIndexOnly) {
    const std::string section = Section();
    TParamBox zoom = Zoom;
    FillParamLists(*this, formatFile_, section);
    zoom.Enabled = true;
    Zoom = zoom;

    const TFormatSettings stored(settings_, formatFile_, code_);
    // The stored size index counts in the list the stored encoder leaves.
    VideoEncoder.SelectIndex(stored.Index(TFormatKey::VideoEncoder));
    ListEncoderSizes(*this, formatFile_, section);
    const std::pair<TParamBox*, TFormatKey> typed[] = {
        {&VideoSize, TFormatKey::VideoSize},       {&VideoBitRate, TFormatKey::VideoBitRate},
        {&FrameRate, TFormatKey::FrameRate},       {&SampleRate, TFormatKey::SampleRate},
        {&AudioBitRate, TFormatKey::AudioBitRate},
    };
    for (const auto& [box, key] : typed) {
        const int i = stored.Index(key);
        if (i >= 0 || byIndexOnly) {
            box->SelectIndex(i);
        } else {
            box->SelectText(stored.Value(key));
        }
    }
    if (!byIndexOnly) {
        SelectStoredEntries(*this, stored);
    } else {
        Channel.SelectIndex(stored.Index(TFormatKey::Channel));
        Volume.SelectIndex(stored.Index(TFormatKey::Volume));
        AudioEncoder.SelectIndex(stored.Index(TFormatKey::AudioEncoder));
    }

    // "center" has no item of its own and selects nothing; anything unknown keeps the choice.
    const int zoomIndex = ZoomIndex(stored.Zoom());
    if (zoomIndex >= 0) {
        Zoom.SelectIndex(zoomIndex);
    }
    FollowEncoderBoxes(*this);
}

bool TSettingsDialogModel::VideoSizeExit() {
    TVideoSizeCheck check = CheckVideoSize(VideoSize.Text);
    switch (check.Outcome) {
    case TVideoSizeCheck::Skip:
    case TVideoSizeCheck::Store:
        return true;
    case TVideoSizeCheck::Invalid:
        dialogs_.ShowMessage(appTitle_, check.Message, TMessageIcon::None);
        if (VideoSize.Items.size() > 1) {
            VideoSize.SelectIndex(1);
        }
        return false;
    case TVideoSizeCheck::Corrected:
        dialogs_.ShowMessage("Input Error!", check.Message, TMessageIcon::None);
        VideoSize.SelectText(check.Text);
        return false;
    }
    return true;
}

namespace {

bool NumberExit(TParamBox& box, bool valid, const char* message, TDialogService& dialogs,
                const std::string& title) {
    if (valid) {
        return true;
    }
    dialogs.ShowMessage(title, message, TMessageIcon::None);
    if (box.Items.size() > 1) {
        box.SelectIndex(1);
    }
    return false;
}

} // namespace

bool TSettingsDialogModel::VideoBitRateExit() {
    return NumberExit(VideoBitRate, IsValidVideoBitRate(VideoBitRate.Text),
                      kInvalidVideoBitRateMessage, dialogs_, appTitle_);
}

bool TSettingsDialogModel::SampleRateExit() {
    return NumberExit(SampleRate, IsValidSampleRate(SampleRate.Text), kInvalidSampleRateMessage,
                      dialogs_, appTitle_);
}

bool TSettingsDialogModel::AudioBitRateExit() {
    return NumberExit(AudioBitRate, IsValidAudioBitRate(AudioBitRate.Text),
                      kInvalidAudioBitRateMessage, dialogs_, appTitle_);
}

void TSettingsDialogModel::DefaultClick() {
    SelectFormatDefaults(*this, formatFile_, Section());
}

std::optional<std::string> TSettingsDialogModel::OkRefusal() const {
    // A format without a volume list has nothing to store; one with a list must have a usable
    // choice, or the volume written before would not match the one shown.
    if (!Volume.Items.empty()) {
        if (Volume.Index < 0) {
            return std::string(kInvalidVolumeMessage);
        }
        try {
            VolumeValue(Volume.Text);
        } catch (const std::invalid_argument&) {
            return std::string(kInvalidVolumeMessage);
        }
    }
    if (ToLower(VideoEncoder.Text) == "h264") {
        for (const auto& [key, value] :
             TFormatSettings(settings_, formatFile_, code_).TuningValues()) {
            try {
                QualifyTuningValue(key, value);
            } catch (const std::invalid_argument&) {
                return "The format file's H.264 setting " + key + " of \"" + name_ +
                       "\" is not a whole number: " + value + ".";
            }
        }
    }
    return std::nullopt;
}

bool TSettingsDialogModel::OkClick(const std::function<bool(TIniStore&)>& saveListState) {
    if (auto refusal = OkRefusal()) {
        dialogs_.ShowMessage(appTitle_, *refusal, TMessageIcon::Warning);
        return false;
    }
    std::vector<std::pair<std::string, std::string>> values = {{"Description", name_}};
    for (auto [key, box] : {std::pair{"iVideoSize", &VideoSize},
                            {"iVideoBitRate", &VideoBitRate},
                            {"iVideoEncoder", &VideoEncoder},
                            {"iFrameRate", &FrameRate},
                            {"iSampleRate", &SampleRate},
                            {"iAudioBitRate", &AudioBitRate},
                            {"iChannel", &Channel},
                            {"iVolume", &Volume},
                            {"iAudioEncoder", &AudioEncoder}}) {
        values.emplace_back(key, std::to_string(box->IndexOf(box->Text)));
    }
    values.emplace_back("paraVideoSize", VideoSize.Text);
    values.emplace_back("paraVideoBitRate", VideoBitRate.Text);
    values.emplace_back("paraFrameRate", FrameRate.Text);
    static const char* const zoomValues[] = {"full", "lbox", "pan", "center"};
    if (Zoom.Index >= 0 && Zoom.Index <= 3) {
        values.emplace_back("paraZoom", zoomValues[Zoom.Index]);
    }
    if (auto encoder = VideoEncoderValue(VideoEncoder.Text)) {
        values.emplace_back("paraVideoEncoder", *encoder);
        if (ToLower(VideoEncoder.Text) == "h264") {
            for (const auto& [key, value] :
                 TFormatSettings(settings_, formatFile_, code_).TuningValues()) {
                if (auto t = QualifyTuningValue(key, value)) {
                    values.emplace_back(t->Key, t->Value);
                }
            }
        }
    }
    values.emplace_back("paraSampleRate", SampleRate.Text);
    values.emplace_back("paraAudioBitRate", AudioBitRate.Text);
    if (auto channel = ChannelValue(Channel.Text)) {
        values.emplace_back("paraChannel", *channel);
    }
    if (!Volume.Items.empty()) {
        if (auto volume = VolumeValue(Volume.Text)) {
            values.emplace_back("paraVolume", std::to_string(*volume));
        }
    }
    if (auto encoder = AudioEncoderValue(AudioEncoder.Text)) {
        values.emplace_back("paraAudioEncoder", *encoder);
    }
    if (!settings_.WriteValues(Section(), values) || !saveListState(settings_) ||
        !TAppSettings(settings_).SetFormat(name_, code_)) {
        dialogs_.ShowMessage(appTitle_,
                             "The settings could not be written to " + settings_.Path() + ".",
                             TMessageIcon::Warning);
        return false;
    }
    return true;
}

} // namespace quovo
