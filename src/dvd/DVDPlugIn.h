// The DVD source: what the program knows about DVDs comes from the plug-in library
// dvdplugin.so, loaded at run time from a folder. This folder owns:
//   - DVDPlugIn (this header): loading the plug-in, its wrappers and their messages, and the
//     "opendvd:" protocol that the plug-in makes readable to the engine and the player;
//   - the plug-in itself (DVDPluginModule.cpp → dvdplugin.so) on libdvdread, with the records
//     of DVDTypes.h, the "opendvd:" reader (DVDTitleReader) and the crash-isolating helper
//     quovo-dvdinfo (DVDHelperClient, DVDDiscInfo) that parses a disc's IFO files;
//   - drive discovery (DVDDrives.h).
// It uses the engine (logger, protocol registry) and nothing above it; no Qt.
// The wrappers are called on the main thread; "opendvd:" streams are read on the engine's and
// the player's reading threads.
#pragma once

#include "DVDName.h"
#include "DVDTypes.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quovo {

// The error of a wrapper used while the plug-in is not loaded.
class DVDPluginException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// File name of the plug-in inside its folder.
constexpr const char* kDVDPluginFileName = "dvdplugin.so";

// Loads the plug-in from `folder`; true when it is (or already was) loaded. On failure
// DVDPluginError tells why and the state stays "not loaded".
bool LoadDVDPlugin(const std::string& folder);
bool DVDPluginLoaded();
std::string DVDPluginError();

// These raise DVDPluginException("DVD plug-in library is not loaded.") before loading.
int EnumDVDTitles(const std::string& path);
bool GetDVDTitle(int index, DVDTitleInfo& block); // zero-fills the block first
void SetDVDPlayParams(const DVDPlayParams& params);

std::string StreamKindName(int code);

// Where the program looks for the plug-in: $QUOVO_DVD_PLUGIN_DIR, else "LibAV" beside the
// program, else the build's plug-in folder.
std::string DefaultDVDPluginFolder();

// The engine options an "opendvd:" name carries besides its bytes: the audio channel count
// ("ac") and the deinterlace switch ("deinterlace"). The plug-in delivers the disc's streams as
// they are; the task reading the name applies these before its output is created (the engine
// takes an input's own channel count when it opens it, so "ac" only acts on the output side).
// Empty for other names.
std::vector<std::pair<std::string, std::string>> OpenDVDInputOptions(const std::string& name);

} // namespace quovo
