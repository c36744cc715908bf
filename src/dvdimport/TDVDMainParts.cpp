#include "TDVDMainParts.h"

#include "DVDName.h"
#include "DVDPlugIn.h"
#include "DVDTitleRows.h"
#include "EngineText.h"
#include "LibraryIO.h"
#include "TAddDVDMenu.h"
#include "TDVDImporter.h"
#include "TTitleBox.h"

#include <QAbstractItemView>
#include <QAction>
#include <QItemSelectionModel>
#include <QToolButton>

namespace quovo {

TDVDMainParts::TDVDMainParts(TWindow window, TDialogService& dialogs)
    : QObject(window.window), window_(std::move(window)), dialogs_(dialogs) {
    titleBox_ = new TTitleBox(*window_.model, window_.selectedRow, window_.window);
    menu_ = new TAddDVDMenu(window_.window);
    importer_ = new TDVDImporter(TDVDImporter::THost{window_, titleBox_}, dialogs, window_.window);
    connect(menu_, &TAddDVDMenu::ImportRequested, importer_, &TDVDImporter::Import);
    connect(importer_, &TDVDImporter::Imported, this, [this](int rows) {
        if (rows > 0) {
            menu_->SetLastPath(QString::fromStdString(importer_->DVDPath()));
        }
    });
    // Whatever selects a row (a click, the keys, the program) shows that row's choices, so a
    // choice is never stored into a row other than the one shown.
    auto follow = [this] { titleBox_->lvFilesClick(); };
    connect(window_.list, &QAbstractItemView::clicked, this, follow);
    connect(window_.list->selectionModel(), &QItemSelectionModel::selectionChanged, this, follow);
}

const std::string& TDVDMainParts::DVDPath() const {
    return importer_->DVDPath();
}

void TDVDMainParts::AttachAddDVD(QToolButton* button, QAction* fileEntry) {
    button_ = button;
    button->setEnabled(true);
    connect(button, &QToolButton::clicked, this, &TDVDMainParts::BtnAddDVDClick);
    // In the File menu the same menu opens as a submenu, which keeps it reachable from the
    // keyboard and by assistive technology through the menu bar.
    fileEntry->setMenu(menu_);
    fileEntry->setEnabled(true);
}

void TDVDMainParts::BtnAddDVDClick() {
    if (button_ != nullptr) {
        menu_->popup(button_->mapToGlobal(button_->rect().bottomLeft()));
    } else {
        menu_->popup(window_.window->mapToGlobal(QPoint(0, 0)));
    }
}

bool TDVDMainParts::PluginReady() {
    if (DVDPath().empty()) {
        return false;
    }
    if (!DVDPluginLoaded() && !LoadDVDPlugin(importer_->PluginFolder())) {
        if (window_.log) {
            window_.log(QString::fromStdString(DVDPluginError()));
        }
        return false;
    }
    return true;
}

std::string TDVDMainParts::PreviewName(const TlvFilesRecord& record, bool defaults) {
    if (!PluginReady()) {
        return {};
    }
    SetDVDPlayParams(defaults ? DVDPlayParams{0, 0, 99, 128, 32, 2, 0}
                              : TitlePreviewParams(record));
    const std::string name = kOpenDVDPrefix + DVDPath();
    // The player shows nothing for a title it cannot read (an encrypted disc read without
    // libdvdcss): say why here, before it opens.
    std::unique_ptr<TLibraryIO> io;
    if (const int err = TLibraryIO::Open(name, AVIO_FLAG_READ, io); err < 0) {
        dialogs_.ShowMessage(
            "Warning",
            FormatErrorText(TitleCaption(defaults ? 0 : record.TitleIndex).toStdString(), err),
            TMessageIcon::Warning);
        return {};
    }
    return name;
}

std::string TDVDMainParts::TitleInputName(const TlvFilesRecord& record) {
    return PluginReady() ? TitleRunName(DVDPath(), record) : std::string();
}

std::string TDVDMainParts::RunDisc(std::string& error) {
    if (DVDPath().empty()) {
        error = "No DVD has been imported.";
        return {};
    }
    if (!DVDPluginLoaded() && !LoadDVDPlugin(importer_->PluginFolder())) {
        error = DVDPluginError();
        return {};
    }
    return DVDPath();
}

} // namespace quovo
