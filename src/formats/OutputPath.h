// Where output files go: the output folder of the settings, with the "_(new)" naming that never
// picks the name of an existing file.
#pragma once

#include "TDialogService.h"
#include "TIniStore.h"

#include <string>

namespace quovo {

// Output folder + source file name without folder and last extension + "_(new)" + suffix, or
// "_(new_n)" + suffix with the smallest n whose name is free. The folder is `OutPutDir` of the
// settings (default: defaultFolder); when it is missing and cannot be created, the user is told,
// defaultFolder is created and written back as `OutPutDir`, and this very path is already built
// there (a path in a folder that cannot exist would only fail later, in the run). Returns an empty
// text when not even the default folder can be created.
std::string MakeOutputPath(TIniStore& settings, TDialogService& dialogs,
                           const std::string& sourceName, const std::string& suffix,
                           const std::string& defaultFolder);

// The naming rule alone, in a folder that exists: folder + base name + "_(new)" or "_(new_n)" +
// suffix, never the name of anything already there nor one whose temporary ".part" name is.
std::string NewOutputName(const std::string& folder, const std::string& sourceName,
                          const std::string& suffix);

// The same with the platform's default folder (Videos + "/videoconverter").
std::string MakeOutputPath(TIniStore& settings, TDialogService& dialogs,
                           const std::string& sourceName, const std::string& suffix);

} // namespace quovo
