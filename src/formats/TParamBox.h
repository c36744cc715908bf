// One parameter box of the "Video Options" and "Audio Options" groups as data, and the ten boxes
// together. The main window's editor and the settings dialog share how the lists are filled from
// the format file and how the boxes follow their encoder box.
#pragma once

#include "TDialogService.h"
#include "TIniStore.h"

#include <string>
#include <vector>

namespace quovo {

struct TParamBox {
    std::vector<std::string> Items;
    std::string Text;
    int Index = -1;
    bool Enabled = false;
    bool Grey = true; // drawn in the system's grey-text colour

    int IndexOf(const std::string& text) const;
    // Selects by index (out of range: nothing selected, text emptied).
    void SelectIndex(int index);
    // Selects the item equal to the text, or keeps the text with no item selected.
    void SelectText(const std::string& text);
};

struct TParamBoxSet {
    TParamBox VideoSize, VideoBitRate, FrameRate, VideoEncoder, Zoom;
    TParamBox SampleRate, AudioBitRate, AudioEncoder, Channel, Volume;
};

// Empties the nine list boxes (not the zoom box) and fills them from the format file's section; a
// "null" list disables its box, and so does an empty value for the last six lists.
void FillParamLists(TParamBoxSet& boxes, const TIniStore& formatFile, const std::string& section);
// The five video boxes are enabled (where their list allows) and drawn normally only while the
// video encoder box has items; the audio boxes follow the audio encoder box alike.
void FollowEncoderBoxes(TParamBoxSet& boxes);

// Fills the size box with the format file's sizes that the chosen video encoder produces ("as
// source" included); a chosen size it does not produce is shown as the one it makes of it.
// Returns true when the box's text or index changed.
bool ListEncoderSizes(TParamBoxSet& boxes, const TIniStore& formatFile, const std::string& section);

// Selects the format file's default index in every box ("Default"), the zoom box its first item.
void SelectFormatDefaults(TParamBoxSet& boxes, const TIniStore& formatFile,
                          const std::string& section);

// Selects the frame-rate, encoder, channel and volume boxes by their stored index, or by the
// stored value where the index stands for another one.
class TFormatSettings;
void SelectStoredEntries(TParamBoxSet& boxes, const TFormatSettings& stored);

// The key filters of the typed boxes; false = the key is discarded, after the beep and, for the
// number boxes, the "Please enter numerical." message.
bool FilterVideoSizeKey(const TParamBox& box, char key, TDialogService& dialogs);
bool FilterNumericKey(char key, TDialogService& dialogs, const std::string& appTitle);

} // namespace quovo
