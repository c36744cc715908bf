// The "Video Options" and "Audio Options" boxes of the main window as data: what each box offers,
// shows and whether it is enabled, and the handlers that validate a change and write it into the
// settings section "formatInfo" + code at once. The windows mirror these boxes into combo boxes
// and forward their events; the settings dialog uses the same class on its own boxes.
#pragma once

#include "TDialogService.h"
#include "TFormatSettings.h"
#include "TIniStore.h"
#include "TParamBox.h"

#include <string>
#include <vector>

namespace quovo {

class TFormatParameterEditor : public TParamBoxSet {
public:
    TFormatParameterEditor(TIniStore& settings, const TIniStore& formatFile,
                           TDialogService& dialogs, std::string appTitle);

    // Loads the boxes of the format (edt1Change). Writes nothing, except that keys the format's
    // settings section lacks (all of them when it does not exist yet) first get the format file's
    // defaults (as "Default" writes them), so a video format never converts without video for
    // want of stored choices.
    void Load(int formatCode);
    int FormatCode() const { return code_; }

    // Key filters; false = the key is discarded (after the beep and, for the numeric boxes, the
    // "Please enter numerical." message).
    bool VideoSizeKeyPress(char key);
    bool NumericKeyPress(char key);

    void VideoSizeSelect(int index);
    // Leaving the frame-size box with the text typed into it (VideoSize.Text).
    void VideoSizeExit();
    void VideoBitRateChange(const std::string& text);
    void SampleRateChange(const std::string& text);
    void AudioBitRateChange(const std::string& text);
    void FrameRateChange(int index);
    void VideoEncoderChange(int index);
    void ZoomChange(int index);
    void AudioEncoderChange(int index);
    void ChannelChange(int index);
    void VolumeChange(int index);
    // "Default": the format file's default indexes, then every change handler in turn.
    void DefaultClick();

private:
    std::string Section() const;
    void Write(const std::vector<std::pair<std::string, std::string>>& values);
    void ShowError(const std::exception& error);
    void LoadBoxes();
    void ShowStored(TParamBox& box, TFormatKey key);
    void NumberChange(TParamBox& box, TFormatKey key, const std::string& text,
                      bool (*valid)(const std::string&), const char* message);

    TIniStore& settings_;
    const TIniStore& formatFile_;
    TDialogService& dialogs_;
    std::string appTitle_;
    int code_ = -1;
    bool batching_ = false;
    bool fillingMissing_ = false; // DefaultClick writes only the keys the section lacks
    std::vector<std::pair<std::string, std::string>> pending_;
};

// Writes a format's defaults into the settings where its section lacks them (what Load does).
// Used by runs without windows. Returns true when it wrote.
bool EnsureFormatSettings(TIniStore& settings, const TIniStore& formatFile, int formatCode,
                          TDialogService& dialogs, const std::string& appTitle);

} // namespace quovo
