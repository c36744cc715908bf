#include "SaveSnapshot.h"

#include "TAppSettings.h"

#include <QImageWriter>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace quovo {

namespace {

bool EnsureFolder(const std::string& dir) {
    std::error_code ec;
    if (dir.empty()) {
        return false;
    }
    if (std::filesystem::is_directory(dir, ec)) {
        return true;
    }
    std::filesystem::create_directories(dir, ec);
    return std::filesystem::is_directory(dir, ec);
}

void Write(const QImage& picture, const std::string& path, const char* type, int quality) {
    // 24 bits a pixel whatever the picture's own format; JPEG ignores what it cannot carry.
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    QImageWriter writer(QString::fromStdString(path), type);
    if (quality > 0) {
        writer.setQuality(quality);
    }
    if (rgb.isNull() || !writer.write(rgb)) {
        throw std::runtime_error("Cannot write the snapshot " + path + ": " +
                                 (rgb.isNull() ? std::string("the picture is empty")
                                               : writer.errorString().toStdString()));
    }
}

} // namespace

std::vector<std::string> SaveSnapshot(const QImage& full, const QImage& small, bool openFolder,
                                      const TSnapshotPlace& place) {
    TAppSettings settings(place.Settings, place.DefaultFolder);
    std::string folder = settings.SnapOutputDir();
    if (!EnsureFolder(folder)) {
        place.Dialogs.ShowMessage("Warning",
                                  "Cannot create output directory:" + folder +
                                      ".It will create default directory " + place.DefaultFolder +
                                      "!",
                                  TMessageIcon::Warning);
        // Writing into a folder that cannot exist would only fail; this snapshot goes where
        // the later ones will.
        if (!EnsureFolder(place.DefaultFolder)) {
            throw std::runtime_error("Cannot create output directory:" + place.DefaultFolder);
        }
        place.Settings.WriteString("settings", "SnapOutPutDir", place.DefaultFolder);
        folder = place.DefaultFolder;
    }
    const bool fullSize = settings.SnapFullSize();
    const bool smallSize = settings.SnapSmallSize();
    const bool bmp = settings.SnapBmp();
    const bool jpg = settings.SnapJpg();
    const int quality = std::clamp(settings.JpegQuality(), 1, 100);
    if (folder.back() != '/') {
        folder += '/';
    }

    struct File {
        bool wanted;
        const QImage& picture;
        const char* name;
        const char* type;
        int quality;
    };
    const File files[] = {
        {fullSize && bmp, full, "Snapshot_full.bmp", "bmp", 0},
        {smallSize && bmp, small, "Snapshot_small.bmp", "bmp", 0},
        {fullSize && jpg, full, "Snapshot_full.jpg", "jpeg", quality},
        {smallSize && jpg, small, "Snapshot_small.jpg", "jpeg", quality},
    };
    std::vector<std::string> written;
    for (const File& file : files) {
        if (file.wanted) {
            Write(file.picture, folder + file.name, file.type, file.quality);
            written.push_back(folder + file.name);
        }
    }
    if (openFolder && place.OpenFolder) {
        place.OpenFolder(folder);
    }
    return written;
}

} // namespace quovo
