// Shared pieces of the DVD import tests: the test disc, the format tests' recording dialogs, and a
// small window holding a source list, the title box and the import as the main window wires them.
#pragma once

#include "../formats/FormatsTestSupport.h"
#include "DVDPlugIn.h"
#include "DvdDisc.h"
#include "Fixtures.h"
#include "QtTestApp.h"
#include "TDVDImporter.h"
#include "TSourceListModel.h"
#include "TTitleBox.h"

#include <QTableView>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quovo::dvdimporttest {

inline const fixtures::DvdDisc& Disc() {
    return fixtures::TestDvdDisc(QUOVO_DVD_DISC_CACHE);
}

// A fresh folder under the fixture folder of this process.
inline std::string ScratchDir(const std::string& name) {
    const std::string dir = fixtures::FixtureDir() + "/" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

using test::TRecordingDialogs;

// The list, the title box above it and the import, wired as the main window wires them.
class TImportWindow : public QWidget {
public:
    TImportWindow() {
        auto* column = new QVBoxLayout(this);
        view = new QTableView(this);
        view->setModel(&model);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        titleBox = new TTitleBox(
            model, [this] { return SelectedRow(); }, this);
        column->addWidget(titleBox);
        column->addWidget(view);
        TDVDImporter::THost host;
        host.model = &model;
        host.titleBox = titleBox;
        host.clearList = [this] { model.Clear(); };
        host.selectRow = [this](int row) { view->selectRow(row); };
        importer = new TDVDImporter(std::move(host), dialogs, this);
        importer->SetPluginFolder(QUOVO_DVD_PLUGIN_FOLDER);
        connect(importer, &TDVDImporter::Imported, this, [this](int) { ++imports; });
    }
    int SelectedRow() const {
        const QModelIndexList rows = view->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.front().row();
    }
    // Imports and waits for the end.
    bool Import(const std::string& path, double seconds = 60) {
        const int before = imports;
        importer->Import(QString::fromStdString(path));
        return test::WaitUntil([&] { return imports > before; }, seconds);
    }
    void Click(int row) {
        view->selectRow(row);
        titleBox->lvFilesClick();
    }

    TRecordingDialogs dialogs;
    TSourceListModel model;
    QTableView* view;
    TTitleBox* titleBox;
    TDVDImporter* importer;
    int imports = 0;
};

} // namespace quovo::dvdimporttest
