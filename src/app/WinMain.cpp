#include "WinMain.h"

#include "SaveSnapshot.h"

#include "TAboutBox.h"
#include "TAppSettings.h"
#include "TDVDMainParts.h"
#include "TEditingDialogs.h"
#include "TFormatPicker.h"
#include "TMainWindowRun.h"
#include "TPreviewPanel.h"
#include "TSkin.h"
#include "TSourceListDelegate.h"
#include "TSourceListView.h"
#include "TTitleBox.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <filesystem>
#include <tuple>
#include <vector>

namespace quovo {

namespace {

constexpr int kMinimumWidth = 786;
constexpr int kMinimumHeight = 522;

std::string ProgramFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

QToolButton* ToolButton(QToolBar* bar, const char* name, const QString& text) {
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setText(text);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->addWidget(button);
    return button;
}

QAction* MenuAction(QMenu* menu, const char* name, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    return action;
}

// A tool button lives in a tool bar through an action; hiding must go through that action.
void SetToolButtonVisible(QToolBar* bar, QToolButton* button, bool visible) {
    for (QAction* action : bar->actions()) {
        if (bar->widgetForAction(action) == button) {
            action->setVisible(visible);
        }
    }
}

void CollectReadingOrder(QLayout* layout, std::vector<QWidget*>& order);

// A control takes part itself; a composite with its own layout adds its parts in their order.
// Parts of a control without a layout (a combo box's editor) are its own business.
void CollectWidget(QWidget* widget, std::vector<QWidget*>& order) {
    if ((widget->focusPolicy() & Qt::TabFocus) && widget->focusProxy() == nullptr) {
        order.push_back(widget);
    }
    if (widget->layout() != nullptr) {
        CollectReadingOrder(widget->layout(), order);
    }
}

void CollectReadingOrder(QLayout* layout, std::vector<QWidget*>& order) {
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (QWidget* widget = item->widget()) {
            CollectWidget(widget, order);
        } else if (QLayout* inner = item->layout()) {
            CollectReadingOrder(inner, order);
        }
    }
}

} // namespace

TfrmMain::TfrmMain(TDialogService& dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), global_(std::make_unique<TGlobalObject>()),
      settings_(global_->SettingsFile), formatFile_(global_->FormatFile) {
    setObjectName("frmMain");
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        app->setApplicationName("quovo");
    }
    skinIndex_ = TAppSettings(settings_).SkinIndex();
    ApplySkin(skinIndex_);

    BuildMenus();
    BuildToolBar();

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(6, 4, 6, 4);
    column->setSpacing(4);
    auto* upper = new QHBoxLayout;
    upper->addWidget(BuildSourceArea(), 1);
    upper->addWidget(BuildPreviewPanel());
    column->addLayout(upper, 1);

    formatPicker_ = new TFormatPicker(settings_, TChoiceWrite::AtOnce, central);
    formatPicker_->setObjectName("FormatPicker");
    column->addWidget(formatPicker_);
    connect(formatPicker_, &TFormatPicker::FieldTextPut, this,
            [this] { emit CurrentFormatFieldChanged(CurrentFormatCode()); });
    parameterSlot_ = new QVBoxLayout;
    parameterSlot_->setObjectName("ParameterBoxesSlot");
    parameterSlot_->setContentsMargins(0, 0, 0, 0);
    column->addLayout(parameterSlot_);
    column->addWidget(BuildOutputRow());
    setCentralWidget(central);
    BuildFilesPopup();
    ConnectListCommands();
    ConnectEditingCommands();
    run_ = std::make_unique<TMainWindowRun>(*this);

    memoLog_ = new QPlainTextEdit(central);
    memoLog_->setObjectName("memoLog");
    memoLog_->setReadOnly(true);
    memoLog_->hide();
    BuildDVDParts();

    // The libraries are linked; loading checks their versions and is retried when a run needs
    // them, so a failure here is only noted.
    if (!LoadConverterLibraries()) {
        memoLog_->appendPlainText(QString::fromStdString(converter_.LastErrMsg()));
    }
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kMinimumWidth, kMinimumHeight);
    setWindowTitle(QString::fromStdString(global_->AppTitle + global_->VersionText));
}

TfrmMain::~TfrmMain() {
    // Destroyed without being closed (never by the user): the conversion still stops first, but
    // nothing is written.
    if (!shutDown_) {
        StopConverter();
    }
}

bool TfrmMain::LoadConverterLibraries() {
    return converter_.LibrariesLoaded() || converter_.LoadLibraries(ProgramFolder() + "/LibAV");
}

void TfrmMain::BuildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("File1");
    MenuAction(file, "Add1", "&Add");
    MenuAction(file, "AddDVD1", "&Add DVD")->setEnabled(false);
    MenuAction(file, "Remove1", "&Remove");
    MenuAction(file, "Clear1", "&Clear");
    file->addSeparator();
    MenuAction(file, "Start1", "&Start")->setEnabled(false);
    file->addSeparator();
    MenuAction(file, "Settings1", "Se&ttings");
    MenuAction(file, "Options1", "&Preference");
    file->addSeparator();
    connect(MenuAction(file, "Exit1", "&Exit"), &QAction::triggered, this, &TfrmMain::btnExitClick);

    // Every entry needs a selected row of the source list, and the list starts empty.
    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->setObjectName("Edit1");
    for (auto [name, text] : {std::pair{"Crop1", "&Crop"},
                              {"Trim1", "&Trim"},
                              {"VideoEffect1", "&Video Effect && Water Mark"}}) {
        MenuAction(edit, name, text)->setEnabled(false);
    }
    edit->addSeparator();
    for (auto [name, text] : {std::pair{"CheckAll1", "&Check All"},
                              {"UncheckAll1", "&Uncheck All"},
                              {"ReverseCheck1", "&Reverse Check"},
                              {"Check1", "C&heck"},
                              {"Uncheck1", "U&ncheck"}}) {
        MenuAction(edit, name, text)->setEnabled(false);
    }

    QMenu* skin = menuBar()->addMenu("S&kin");
    skin->setObjectName("Skin1");
    skinGroup_ = new QActionGroup(this);
    for (int i = 0; i < kSkinCount; ++i) {
        QAction* look = MenuAction(skin, "", SkinName(i));
        look->setObjectName(QString("Skin%1").arg(i));
        look->setCheckable(true);
        look->setChecked(i == skinIndex_);
        skinGroup_->addAction(look);
        connect(look, &QAction::triggered, this, [this, i] { SkinClick(i); });
    }

    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("Help1");
    connect(MenuAction(help, "About1", "&About"), &QAction::triggered, this, &TfrmMain::AboutClick);
}

void TfrmMain::BuildToolBar() {
    QToolBar* bar = addToolBar("Tools");
    bar->setObjectName("ToolBar1");
    bar->setMovable(false);
    bar->setFloatable(false);
    QToolButton* add = ToolButton(bar, "btnAdd", "&Add");
    ToolButton(bar, "BtnAddDVD", "&Add DVD")->setEnabled(false);
    ToolButton(bar, "btnClear", "&Clear");
    ToolButton(bar, "BtnEdit", "&Edit");
    QToolButton* remove = ToolButton(bar, "btnRemove", "&Remove");
    ToolButton(bar, "btnSettings", "&Settings");
    QToolButton* start = ToolButton(bar, "btnStart", "&Start");
    // These exist for their handlers; the menus and the row below offer them.
    for (QToolButton* hidden : {add, remove, start}) {
        hidden->setEnabled(false);
        SetToolButtonVisible(bar, hidden, false);
    }
}

QWidget* TfrmMain::BuildSourceArea() {
    auto* area = new QWidget(this);
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    titleSlot_ = new QVBoxLayout;
    titleSlot_->setObjectName("TitleBoxSlot");
    layout->addLayout(titleSlot_);
    lvFiles_ = new TSourceListView(sourceList_, area);
    lvFiles_->setItemDelegate(new TSourceListDelegate([this] { return skinIndex_; }, lvFiles_));
    lvFiles_->setMinimumSize(360, 180);
    layout->addWidget(lvFiles_, 1);
    return area;
}

QGroupBox* TfrmMain::BuildPreviewPanel() {
    TPreviewPanel::THost host;
    host.rowCount = [this] { return sourceList_.Count(); };
    host.selectedUrl = [this] {
        // With none selected the first row plays (a title with the disc's defaults).
        const bool firstForNone = SelectedRow() < 0 && sourceList_.Count() > 0;
        if (firstForNone) {
            SelectRow(0);
        }
        if (SelectedRow() < 0) {
            return std::string();
        }
        return RowPreviewName(SelectedRow(), firstForNone);
    };
    host.openAddDvdMenu = [this] { OpenAddDvdMenu(); };
    host.log = [this](const QString& line) { memoLog_->appendPlainText(line); };
    host.saveSnapshot = [this](const QImage& full, const QImage& small) {
        SaveSnapshot(full, small, true,
                     TSnapshotPlace{settings_, dialogs_, DefaultOutputFolder(),
                                    [this](const std::string& folder) {
                                        OpenFolder(QString::fromStdString(folder));
                                    }});
    };
    preview_ = new TPreviewPanel(settings_, std::move(host), this);
    trcVolume_ = preview_->trcVolume;
    ckMute_ = preview_->ckMute;
    connect(lvFiles_, &QAbstractItemView::doubleClicked, preview_, [this](const QModelIndex& at) {
        SelectRow(at.row());
        preview_->imgbtnPlayClick();
    });
    return preview_;
}

void TfrmMain::BuildDVDParts() {
    TDVDMainParts::TWindow parts;
    parts.window = this;
    parts.model = &sourceList_;
    parts.list = lvFiles_;
    parts.selectedRow = [this] { return SelectedRow(); };
    parts.selectRow = [this](int row) { SelectRow(row); };
    parts.clearList = [this] { btnClearClick(); };
    parts.log = [this](const QString& line) { memoLog_->appendPlainText(line); };
    dvd_ = new TDVDMainParts(std::move(parts), dialogs_);
    titleSlot_->addWidget(dvd_->TitleBox());
    dvd_->AttachAddDVD(findChild<QToolButton*>("BtnAddDVD"), findChild<QAction*>("AddDVD1"));
    // "&Start" converts the checked title rows too, as the import described them.
    run_->Run().SetTitleDisc([this](std::string& error) { return dvd_->RunDisc(error); });
}

QWidget* TfrmMain::BuildOutputRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel("Output Directory:", row);
    edDirectory_ = new QLineEdit(row);
    edDirectory_->setObjectName("edDirectory");
    edDirectory_->setReadOnly(true);
    edDirectory_->setAccessibleName("Output Directory:");
    UseFieldBackground(edDirectory_);
    label->setBuddy(edDirectory_);
    auto* brows = new QPushButton("Brows", row);
    brows->setObjectName("btnBrows");
    auto* open = new QPushButton("Open", row);
    open->setObjectName("btnOpen");
    // The visible start of a run; the tool bar's "&Start" stays hidden.
    auto* start = new QPushButton("&Start", row);
    start->setObjectName("btnStart2");
    start->setEnabled(false);
    layout->addWidget(label);
    layout->addWidget(edDirectory_, 1);
    layout->addWidget(brows);
    layout->addWidget(open);
    layout->addWidget(start);
    connect(edDirectory_, &QLineEdit::textChanged, this, &TfrmMain::edDirectoryChange);
    connect(brows, &QPushButton::clicked, this, &TfrmMain::btnBrowsClick);
    connect(open, &QPushButton::clicked, this, &TfrmMain::btnOpenClick);
    return row;
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TfrmMain::FormShow() {
    resize(kMinimumWidth, kMinimumHeight);
    TAppSettings settings(settings_);
    outputFormat_ = settings.OutputFormat();
    {
        // Showing the stored folder is no change of it: nothing is written at start.
        QSignalBlocker quiet(edDirectory_);
        edDirectory_->setText(QString::fromStdString(settings.OutputDir()));
    }
    formatPicker_->SetCurrentFormat(QString::fromStdString(settings.FormatName()),
                                    settings.FormatCodeNumber());
    trcVolume_->setValue(settings.PreviewVolume());
    if (std::optional<bool> mute = settings.Mute()) {
        ckMute_->setChecked(*mute);
    }
    SetTabOrder();
    if (!startupPaths_.isEmpty()) {
        // Once the window is up, so a long add shows its progress over it.
        QTimer::singleShot(0, this, [this] { AddFiles(startupPaths_); });
    }
    setWindowTitle(QString::fromStdString(global_->AppTitle + global_->VersionText));
    formatPicker_->FillFormatList();
}

void TfrmMain::SetTabOrder() {
    // Controls added into the slots after the window was built (the parameter boxes) are read in
    // their place, not after the output-folder row.
    std::vector<QWidget*> order;
    CollectReadingOrder(centralWidget()->layout(), order);
    for (size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

int TfrmMain::SelectedRow() const {
    return lvFiles_->SelectedRow();
}

void TfrmMain::SelectRow(int row) {
    lvFiles_->SelectRow(row);
}

QString TfrmMain::CurrentFormatName() const {
    return formatPicker_->CurrentFormatName();
}

int TfrmMain::CurrentFormatCode() const {
    return formatPicker_->CurrentFormatCode();
}

void TfrmMain::edDirectoryChange(const QString& text) {
    TAppSettings(settings_).SetOutputDir(text.toStdString());
}

void TfrmMain::btnBrowsClick() {
    if (!folderChooser_) {
        return;
    }
    const QString chosen = folderChooser_(edDirectory_->text());
    if (!chosen.isEmpty() && chosen != edDirectory_->text()) {
        edDirectory_->setText(chosen); // writes OutPutDir through the change handler
    }
}

void TfrmMain::btnOpenClick() {
    if (edDirectory_->text().length() <= 2) {
        return;
    }
    OpenFolder(QString::fromStdString(TAppSettings(settings_).OutputDir()));
}

void TfrmMain::OpenFolder(const QString& folder) {
    if (folderOpener_) {
        folderOpener_(folder);
    } else {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    }
}

void TfrmMain::SkinClick(int index) {
    if (index < 0 || index >= kSkinCount) {
        return;
    }
    skinIndex_ = index;
    ApplySkin(index);
    lvFiles_->viewport()->update();
    skinGroup_->actions().at(index)->setChecked(true);
    settings_.WriteInteger("settings", "skinIndex", index);
}

void TfrmMain::AboutClick() {
    TAboutBox box(QString::fromStdString(global_->VersionText), this);
    box.exec();
}

void TfrmMain::btnExitClick() {
    close();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (shutDown_) {
        event->accept();
        return;
    }
    if (!dialogs_.AskYesNo("Warning", "Do you really want to exit?")) {
        event->ignore();
        return;
    }
    CloseDown();
    event->accept();
}

void TfrmMain::CloseDown() {
    shutDown_ = true;
    formatPicker_->HideList();
    if (shown_) {
        formatPicker_->SaveFormatListState(settings_);
    }
    preview_->StopForClose();
    StopConverter();
}

void TfrmMain::StopConverter() {
    // Stopped and waited for before the handlers go: the workers read them while they run.
    converter_.Stop(true);
    converter_.SetOnCustomHook(nullptr);
    converter_.SetOnProgress(nullptr);
    converter_.SetOnTerminate(nullptr);
    converter_.ClearTasks();
}

} // namespace quovo
