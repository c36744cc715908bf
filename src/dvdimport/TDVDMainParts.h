// The DVD parts of the main window, wired in one place: the title box above the source list,
// the Add DVD menu behind the "&Add DVD" tool button and File menu entry, the import, the names
// the preview plays for title rows, and the title rows' road through the window's run. The
// window hands in its list and a few commands.
#pragma once

#include "TDVDImporter.h"
#include "TDialogService.h"
#include "TlvFilesRecord.h"

#include <QObject>

#include <functional>
#include <string>

class QAbstractItemView;
class QAction;
class QToolButton;
class QWidget;

namespace quovo {

class TAddDVDMenu;
class TSourceListModel;
class TTitleBox;

class TDVDMainParts : public QObject {
    Q_OBJECT
public:
    struct TWindow : TDVDListHost {
        QWidget* window = nullptr;
        QAbstractItemView* list = nullptr; // lvFiles
        std::function<int()> selectedRow;
    };

    TDVDMainParts(TWindow window, TDialogService& dialogs);

    TTitleBox* TitleBox() const { return titleBox_; }
    TAddDVDMenu* Menu() const { return menu_; }
    TDVDImporter* Importer() const { return importer_; }
    const std::string& DVDPath() const;

    // The tool button opens the menu below itself; the File menu entry holds it as a submenu.
    void AttachAddDVD(QToolButton* button, QAction* fileEntry);
    // Opens the Add DVD menu at the bottom-left corner of the "&Add DVD" button.
    void BtnAddDVDClick();

    // What the preview opens for a title row, with the plug-in's playback values set: the row's
    // own choices, or the disc defaults when the row was picked for want of a selection. Empty,
    // after a message saying why, when the title cannot be read.
    std::string PreviewName(const TlvFilesRecord& record, bool defaults);
    // The title row's input as a run names it, for the file information.
    std::string TitleInputName(const TlvFilesRecord& record);

    // The disc a run converts the title rows of, with the plug-in loaded to read it; empty with
    // why when there is none.
    std::string RunDisc(std::string& error);

private:
    // The plug-in loaded and a disc imported.
    bool PluginReady();

    TWindow window_;
    TDialogService& dialogs_;
    TTitleBox* titleBox_;
    TAddDVDMenu* menu_;
    TDVDImporter* importer_;
    QToolButton* button_ = nullptr;
};

} // namespace quovo
