#include "TDVDImporter.h"

#include "DVDPlugIn.h"
#include "DVDTitleRows.h"
#include "TSourceListModel.h"
#include "TTitleBox.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>

namespace quovo {

bool LooksLikeDisc(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) {
        return info.fileName().compare("VIDEO_TS", Qt::CaseInsensitive) == 0 ||
               QDir(path).exists("VIDEO_TS") || QDir(path).exists("video_ts");
    }
    return info.isFile() && info.suffix().compare("iso", Qt::CaseInsensitive) == 0;
}

TDVDImporter::TDVDImporter(THost host, TDialogService& dialogs, QWidget* window)
    : QObject(window), host_(std::move(host)), dialogs_(dialogs), window_(window),
      pluginFolder_(DefaultDVDPluginFolder()) {
    connect(&reader_, &TDVDDiscReader::Finished, this, &TDVDImporter::ReadFinished);
}

TDVDImporter::~TDVDImporter() = default;

void TDVDImporter::Import(const QString& path) {
    if (!busy_) {
        busy_ = new QProgressDialog(window_);
        busy_->setObjectName("frmDVDBusy");
        busy_->setWindowTitle("Add DVD");
        busy_->setRange(0, 0); // no steps to count: the bar only moves
        busy_->setMinimumDuration(0);
        busy_->setAutoClose(false);
        busy_->setAutoReset(false);
        busy_->setWindowModality(Qt::WindowModal);
        connect(busy_, &QProgressDialog::canceled, this, &TDVDImporter::Cancel);
    }
    busy_->setLabelText("Reading the disc " + path + " …");
    busy_->show();
    reader_.Start(pluginFolder_, path.toStdString());
}

void TDVDImporter::Cancel() {
    reader_.Cancel();
    if (busy_) {
        busy_->hide();
    }
    if (host_.log) {
        host_.log("Reading the disc was cancelled.");
    }
    emit Imported(0);
}

void TDVDImporter::ReadFinished(const QString& path, const TDiscReadResult& result) {
    if (busy_) {
        busy_->hide();
    }
    int rows = 0;
    switch (result.Status) {
    case TDiscReadResult::TStatus::PluginNotLoaded:
        if (host_.log) {
            host_.log(QString::fromStdString(DVDPluginError()));
        }
        break;
    case TDiscReadResult::TStatus::NoDisc:
        dialogs_.ShowMessage("Warning", "Can't find a DVD Disk!", TMessageIcon::Warning);
        break;
    case TDiscReadResult::TStatus::NoTitles:
        dialogs_.ShowMessage("Message", "No DVD title(s) found. Maybe not a valid DVD.",
                             TMessageIcon::Information);
        break;
    case TDiscReadResult::TStatus::Titles:
        dvdPath_ = path.toStdString();
        rows = AddTitleRows(result);
        break;
    }
    emit Imported(rows);
}

int TDVDImporter::AddTitleRows(const TDiscReadResult& result) {
    if (host_.clearList) {
        host_.clearList();
    }
    TSourceListModel& model = *host_.model;
    std::string invalid;
    int rows = 0;
    for (const TDiscReadResult::TTitle& title : result.Titles) {
        if (!title.Valid) {
            invalid += (invalid.empty() ? "" : "\n") + std::string("Title #") +
                       std::to_string(title.Index + 1) + " is invalid";
            continue;
        }
        model.AddRow(MakeTitleRecord(title.Index, title.Info),
                     TitleRowCells(title.Index, title.Info));
        ++rows;
    }
    if (rows > 0) {
        host_.selectRow(0);
        host_.titleBox->lvFilesClick();
    }
    if (!invalid.empty()) {
        // A damaged disc may lose many titles: one message names them all.
        if (rows == 0) {
            invalid += "\nNo title of this disc could be read; the disc may be damaged.";
        }
        dialogs_.ShowMessage("Warning", invalid, TMessageIcon::Warning);
    }
    return rows;
}

} // namespace quovo
