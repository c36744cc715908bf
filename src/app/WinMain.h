// The main window: menus and tool buttons, the source list area, the preview panel, the format
// chooser with the parameter boxes below it, and the output-folder row. It owns the conversion
// component and the global object for its life.
//
// Start-up (FormCreate in the constructor, FormShow on the first show) reads the settings; the
// output-folder field writes OutPutDir on every change; closing asks first and then shuts the
// conversion component down in order.
#pragma once

#include "TDialogService.h"
#include "TFileAdder.h"
#include "TGlobalObject.h"
#include "TIniStore.h"
#include "TMediaConverter.h"
#include "TSourceListModel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QGroupBox;
class QMenu;

namespace quovo {

class TDVDMainParts;
class TEditingDialogs;
class TFormatPicker;
class TfrmFileInfo;
class TMainWindowRun;
class TPreviewPanel;
class TSourceListView;

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(TDialogService& dialogs, QWidget* parent = nullptr);
    ~TfrmMain() override;

    TGlobalObject& Global() { return *global_; }
    TIniStore& Settings() { return settings_; }
    const TIniStore& FormatFile() const { return formatFile_; }
    TDialogService& Dialogs() { return dialogs_; }
    TMediaConverter& Converter() { return converter_; }

    // The source list: its rows and records, and the row selected in lvFiles (-1: none).
    TSourceListModel& SourceList() { return sourceList_; }
    // The DVD import, its menu and the title box.
    TDVDMainParts* DVD() const { return dvd_; }
    TSourceListView* SourceListView() const { return lvFiles_; }
    int SelectedRow() const;
    // Selects `row`; a row outside the list clears the selection.
    void SelectRow(int row);
    // Enables the list's commands: those that need a selected row by the selection, and those a
    // batch run holds back by the run's state.
    void UpdateListCommands();

    QString CurrentFormatName() const;
    int CurrentFormatCode() const;
    TFormatPicker* FormatPicker() const { return formatPicker_; }
    // The empty slot under the format chooser where the parameter boxes go.
    QVBoxLayout* ParameterBoxesSlot() const { return parameterSlot_; }
    // The slot above the source list for the title's audio, subtitle and chapter boxes.
    QVBoxLayout* TitleBoxSlot() const { return titleSlot_; }

    // "Brows" asks this for a folder (empty: nothing chosen).
    using TFolderChooser = std::function<QString(const QString& current)>;
    void SetFolderChooser(TFolderChooser chooser) { folderChooser_ = std::move(chooser); }
    // "Open" hands the folder to this (the desktop's file manager by default).
    using TFolderOpener = std::function<void(const QString& folder)>;
    void SetFolderOpener(TFolderOpener opener) { folderOpener_ = std::move(opener); }

    // The batch run of the checked rows, its buttons and the desktop services it uses.
    TMainWindowRun& RunControl() { return *run_; }
    // Through the hook tests set, else the desktop's file manager.
    void OpenFolder(const QString& folder);

    // The source list's commands. "&Add" asks the chooser for files (the open-file dialog
    // unless a test set another) and adds them.
    using TFileChooser = std::function<QStringList(const QString& folder)>;
    void SetFileChooser(TFileChooser chooser) { fileChooser_ = std::move(chooser); }
    void btnAddClick();
    // Adds files as "&Add" does, in order; a DVD folder or image goes to AddDiscPath, other
    // folders are skipped. The rows come in as the files are opened.
    void AddFiles(const QStringList& paths);
    bool Adding() const { return fileAdder_->Adding(); }
    void btnRemoveClick();
    void btnClearClick();
    // "Video Infomation": the file information dialog for the selected row.
    void Infomation1Click();
    // The list's pop-up menu (right click on the list, the "&Edit" button).
    QMenu* FilesPopup() const { return pmFilesPopup_; }
    // The editing dialogs for the selected row (Edit menu and pop-up menu).
    void Crop1Click();
    void Trim1Click();
    void VideoEffect1Click();
    TEditingDialogs& EditingDialogs() { return *editing_; }

    void btnBrowsClick();
    void btnOpenClick();
    void btnExitClick();
    void SkinClick(int index);
    void AboutClick();
    int SkinIndex() const { return skinIndex_; }
    bool ShutDown() const { return shutDown_; }

    // Files and folders named on the command line, kept for the source list.
    void SetStartupPaths(QStringList paths) { startupPaths_ = std::move(paths); }
    const QStringList& StartupPaths() const { return startupPaths_; }

signals:
    // A text was put into the format field: the parameter boxes reload for CurrentFormatCode().
    void CurrentFormatFieldChanged(int formatCode);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The component's libraries from "LibAV" beside the program, unless already loaded.
    bool LoadConverterLibraries();
    void BuildMenus();
    void BuildToolBar();
    QWidget* BuildSourceArea();
    QGroupBox* BuildPreviewPanel();
    QWidget* BuildOutputRow();
    // The title box, the Add DVD menu and the import.
    void BuildDVDParts();
    void FormShow();
    // The source list's menus and buttons.
    void BuildFilesPopup();
    void ConnectListCommands();
    void OpenAddDvdMenu();
    // A VIDEO_TS folder, a folder holding one, or an ISO image given to be added.
    void AddDiscPath(const QString& path);
    void FilesAdded(int added);
    void ConnectEditingCommands();
    // What a row's preview opens: the file, or the title's "opendvd:" name with the plug-in set
    // to the row's choices (or the disc's defaults).
    std::string RowPreviewName(int row, bool discDefaults);
    // The selected row (-1: none), the main preview stopped when there is one.
    int RowToEdit();
    void SetTabOrder();
    void edDirectoryChange(const QString& text);
    // The orderly shutdown after the user said Yes.
    void CloseDown();
    void StopConverter();

    TDialogService& dialogs_;
    std::unique_ptr<TGlobalObject> global_;
    TIniStore settings_;
    TIniStore formatFile_;
    TMediaConverter converter_;
    TSourceListModel sourceList_;
    std::unique_ptr<TMainWindowRun> run_; // goes before the list and the component it runs
    TFolderChooser folderChooser_;
    TFolderOpener folderOpener_;
    TFileChooser fileChooser_;
    QStringList startupPaths_;
    int skinIndex_ = 0;
    bool shown_ = false;
    bool shutDown_ = false;
    int outputFormat_ = 0;

    TSourceListView* lvFiles_ = nullptr;
    TDVDMainParts* dvd_ = nullptr;
    std::unique_ptr<TEditingDialogs> editing_;
    QVBoxLayout* titleSlot_ = nullptr;
    QVBoxLayout* parameterSlot_ = nullptr;
    TFormatPicker* formatPicker_ = nullptr;
    QLineEdit* edDirectory_ = nullptr;
    TPreviewPanel* preview_ = nullptr;
    QSlider* trcVolume_ = nullptr;
    QCheckBox* ckMute_ = nullptr;
    QPlainTextEdit* memoLog_ = nullptr;
    QActionGroup* skinGroup_ = nullptr;
    QMenu* pmFilesPopup_ = nullptr;
    TFileAdder* fileAdder_ = nullptr;
    TfrmFileInfo* fileInfo_ = nullptr;
};

} // namespace quovo
