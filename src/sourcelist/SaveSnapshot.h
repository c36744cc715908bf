// Saving a preview as snapshot files: the full picture and the small one, as BMP (24 bits a
// pixel) and/or JPEG (at the stored quality), into the snapshot folder of the settings, each file
// replacing the one of the same name. Used by the progress window and the preview panel.
#pragma once

#include "TDialogService.h"
#include "TIniStore.h"

#include <QImage>

#include <functional>
#include <string>
#include <vector>

namespace quovo {

struct TSnapshotPlace {
    TIniStore& Settings;
    TDialogService& Dialogs;
    // The platform's default snapshot folder (Videos + "/videoconverter").
    std::string DefaultFolder;
    // Shows a folder in the desktop's file manager (only called when asked to open it).
    std::function<void(const std::string& folder)> OpenFolder;
};

// Writes "Snapshot_full.bmp", "Snapshot_small.bmp", "Snapshot_full.jpg", "Snapshot_small.jpg" in
// that order, each when its size (snapFullSize, snapSmallSize) and its type (snapBmp, snapJpg)
// are on, and returns the paths written. A folder that cannot be created is reported once with a
// warning; the default folder is then created, stored as SnapOutPutDir and used for this call as
// well. A file that cannot be written ends the call with std::runtime_error naming it (the files
// written before it stay).
std::vector<std::string> SaveSnapshot(const QImage& full, const QImage& small, bool openFolder,
                                      const TSnapshotPlace& place);

} // namespace quovo
