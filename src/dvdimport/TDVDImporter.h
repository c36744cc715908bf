// The import of a disc as the main window runs it: the disc is read on a worker while a busy
// window with a Cancel button is shown; then the list is replaced by one title row per title that
// could be described, the title box shows the first row's choices and that row is selected.
//
// Decisions beyond the plain import: nothing in the list changes until a disc with titles has
// been read (a missing disc, a disc without titles or a cancelled read keeps the list and the
// DVD path as they were), and titles that cannot be described are named in one message.
#pragma once

#include "TDVDDiscReader.h"
#include "TDialogService.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QProgressDialog;
class QWidget;

namespace quovo {

class TSourceListModel;
class TTitleBox;

// True for what an import takes: a VIDEO_TS folder, a folder holding one, or an ISO image.
bool LooksLikeDisc(const QString& path);

// The source list around the import, and the window's commands on it.
struct TDVDListHost {
    TSourceListModel* model = nullptr;
    std::function<void()> clearList; // the list's Clear command
    std::function<void(int row)> selectRow;
    std::function<void(const QString& line)> log; // the main window's hidden log
};

class TDVDImporter : public QObject {
    Q_OBJECT
public:
    struct THost : TDVDListHost {
        TTitleBox* titleBox = nullptr;
    };

    TDVDImporter(THost host, TDialogService& dialogs, QWidget* window);
    ~TDVDImporter() override;

    // The plug-in's folder (the program's "LibAV" by default).
    void SetPluginFolder(std::string folder) { pluginFolder_ = std::move(folder); }
    const std::string& PluginFolder() const { return pluginFolder_; }

    // Starts importing the disc at `path` (a drive's device, a mounted disc, a VIDEO_TS folder
    // or its parent, an ISO image). Returns at once; Imported follows.
    void Import(const QString& path);
    // The Cancel of the busy window.
    void Cancel();
    bool Busy() const { return reader_.Running(); }
    QProgressDialog* BusyWindow() const { return busy_; }

    // The disc the title rows came from; the run, the preview and the editing dialogs read it.
    const std::string& DVDPath() const { return dvdPath_; }

signals:
    // The import has ended: with the number of rows added (0 when the list was kept).
    void Imported(int rows);

private:
    void ReadFinished(const QString& path, const TDiscReadResult& result);
    int AddTitleRows(const TDiscReadResult& result);

    THost host_;
    TDialogService& dialogs_;
    QWidget* window_;
    TDVDDiscReader reader_;
    QProgressDialog* busy_ = nullptr;
    std::string pluginFolder_;
    std::string dvdPath_;
};

} // namespace quovo
