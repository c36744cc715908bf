// The settings dialog as data: a second editor of the current format and its parameters that
// collects every change in memory and writes them all together on "&Ok". It keeps its own current
// format until then (the dialog's format list keeps its own rows); "&Cancel" simply drops the
// model's state.
#pragma once

#include "TDialogService.h"
#include "TIniStore.h"
#include "TParamBox.h"

#include <functional>
#include <optional>
#include <string>

namespace quovo {

class TSettingsDialogModel : public TParamBoxSet {
public:
    TSettingsDialogModel(TIniStore& settings, const TIniStore& formatFile, TDialogService& dialogs,
                         std::string appTitle);

    // The current format from "settings", its lists and stored choices (FormShow).
    void Load();
    // A format row was chosen in the dialog's list (nothing is written): the lists are refilled and
    // every box selects by its stored index alone.
    void ChooseFormat(const std::string& name, int code);
    const std::string& Name() const { return name_; }
    int Code() const { return code_; }
    // Key filters as in the main window.
    bool VideoSizeKeyPress(char key) { return FilterVideoSizeKey(VideoSize, key, dialogs_); }
    bool NumericKeyPress(char key) { return FilterNumericKey(key, dialogs_, appTitle_); }

    // Leaving a typed box. Nothing is written; false when a message was shown, after which the box
    // takes the focus back (a corrected frame size is already in VideoSize.Text then).
    bool VideoSizeExit();
    bool VideoBitRateExit();
    bool SampleRateExit();
    bool AudioBitRateExit();

    // The format file's defaults into the boxes; nothing is validated or written.
    void DefaultClick();

    // Why "&Ok" must refuse (a volume that cannot be stored, an H.264 tuning value of the format
    // file that is not a number); nullopt when everything can be written.
    std::optional<std::string> OkRefusal() const;
    // Checks, then writes the format's section, the list's collapsed states (saveListState) and
    // FormatName and FormatCode. false when refused (the message has been shown and nothing was
    // written) or when the settings file could not be replaced (reported too).
    bool OkClick(const std::function<bool(TIniStore&)>& saveListState);

private:
    std::string Section() const;
    void SelectStored(bool byIndexOnly);

    TIniStore& settings_;
    const TIniStore& formatFile_;
    TDialogService& dialogs_;
    std::string appTitle_;
    std::string name_;
    int code_ = 1;
};

// Zoom items of the dialog (its own spelling, never refilled).
const std::vector<std::string>& DialogZoomEntries();
extern const char* const kInvalidVolumeMessage;

} // namespace quovo
