#include "TDVDMainParts.h"

#include "DVDName.h"
#include "DVDPlugIn.h"
#include "DVDTitleRows.h"
#include "TAddDVDMenu.h"
#include "TDVDImporter.h"
#include "TTitleBox.h"

#include <QAbstractItemView>
#include <QAction>
#include <QItemSelectionModel>
#include <QToolButton>

namespace quovo {

TDVDMainParts::TDVDMainParts(TWindow window, TDialogService& dialogs)
    : QObject(window.window), window_(std::move(window)) {
    titleBox_ = new TTitleBox(*window_.model, window_.selectedRow, window_.window);
    menu_ = new TAddDVDMenu(window_.window);
    TDVDImporter::THost host;
    host.model = window_.model;
    host.titleBox = titleBox_;
    host.clearList = window_.clearList;
    host.selectRow = window_.selectRow;
    host.log = window_.log;
    importer_ = new TDVDImporter(std::move(host), dialogs, window_.window);
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

std::string TDVDMainParts::PreviewName(const TlvFilesRecord& record, bool defaults) {
    if (DVDPath().empty()) {
        return {};
    }
    if (!DVDPluginLoaded() && !LoadDVDPlugin(DefaultDVDPluginFolder())) {
        if (window_.log) {
            window_.log(QString::fromStdString(DVDPluginError()));
        }
        return {};
    }
    SetDVDPlayParams(defaults ? DVDPlayParams{0, 0, 99, 128, 32, 2, 0}
                              : TitlePreviewParams(record));
    return kOpenDVDPrefix + DVDPath();
}

} // namespace quovo
