// The settings dialog as data: a second editor of the current format and its parameters that
// collects every change in memory and writes them all together on "&Ok". It keeps its own format
// list and its own current format until then; "&Cancel" simply drops the model's state.
#pragma once

#include "TDialogService.h"
#include "TFormatListModel.h"
#include "TIniStore.h"
#include "TParamBox.h"

#include <optional>
#include <string>

namespace quovo {

class TSettingsDialogModel : public TParamBoxSet {
public:
    TSettingsDialogModel(TIniStore& settings, const TIniStore& formatFile, TDialogService& dialogs,
                         std::string appTitle);

    // Everything from the files (FormShow): the format list with its collapsed states, the current
    // format from "settings", its lists and stored choices.
    void Load();
    // A format row was chosen in the dialog's list (nothing is written): the lists are refilled and
    // every box selects by its stored index alone.
    void ChooseFormat(const std::string& name, int code);
    const std::string& Name() const { return name_; }
    int Code() const { return code_; }
    // Text of the format field.
    const std::string& FieldText() const { return fieldText_; }

    TFormatListModel List;

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
    // Checks, then writes the format's section, the list's collapsed states, FormatName and
    // FormatCode. false when refused (the message has been shown and nothing was written) or when
    // the settings file could not be replaced.
    bool OkClick();

private:
    std::string Section() const;
    void SelectStored(bool byIndexOnly);

    TIniStore& settings_;
    const TIniStore& formatFile_;
    TDialogService& dialogs_;
    std::string appTitle_;
    std::string name_;
    std::string fieldText_;
    int code_ = 1;
};

// Zoom items of the dialog (its own spelling, never refilled).
const std::vector<std::string>& DialogZoomEntries();
extern const char* const kInvalidVolumeMessage;

} // namespace quovo
