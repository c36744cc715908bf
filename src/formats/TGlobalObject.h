// Where the program's two INI files live and what the program calls itself.
//
// The application folder owns the one instance per process (created with the main window); the
// class lives here, below the windows, because the format store, the option builder and the
// command-line tool need the same paths without depending on any window code.
#pragma once

#include <string>

namespace quovo {

class TGlobalObject {
public:
    // Paths from the environment: the settings folder (QUOVO_CONFIG_DIR, else the user's config
    // folder + "/quovo") and the shipped format file (see FindFormatFile).
    TGlobalObject();
    TGlobalObject(std::string settingsFile, std::string formatFile);

    const std::string SettingsFile;
    const std::string FormatFile;
    const std::string AppTitle = "Quovo";
    // " 3.300 " for version 3.3.0.0: a blank, the first part, ".", the other three parts run
    // together, a blank.
    const std::string VersionText;
};

std::string MakeVersionText(int major, int minor, int patch, int tweak);

// The folder of quovo.ini: $QUOVO_CONFIG_DIR when set and not empty, else the per-user config
// folder of the application (~/.config/quovo). Not created here.
std::string SettingsFolder();

// quovoformat.ini: beside the executable, then in data/ beside or one level above it, then in the
// installed data folders (…/share/quovo), then in the source tree the program was built from.
// Returns the first existing file, or the executable-side path when none exists.
std::string FindFormatFile();

// The platform's default output folder: the Videos folder + "/videoconverter".
std::string DefaultOutputFolder();

} // namespace quovo
