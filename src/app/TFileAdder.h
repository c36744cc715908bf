// Adding media files to the source list: each file is opened (off the user-interface thread, see
// TFileProber) and, when it opens, becomes a checked row with its duration and the output name
// the current format gives it. A path already in the list (same letters, same case) is added once;
// files that do not open are left out and named in one message at the end. More than a few files
// show a progress dialog whose Cancel stops before the next file. An add asked for while one runs
// follows it.
#pragma once

#include "TDialogService.h"
#include "TFileProber.h"
#include "TIniStore.h"
#include "TSourceListModel.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QProgressDialog;
class QWidget;

namespace quovo {

class TFileAdder : public QObject {
    Q_OBJECT
public:
    // More files than this show the progress dialog.
    static constexpr int kFewFiles = 3;

    // `formatCode` answers the current format; `window` parents the progress dialog.
    TFileAdder(TSourceListModel& rows, TIniStore& settings, const TIniStore& formatFile,
               TDialogService& dialogs, std::function<int()> formatCode, QWidget* window);
    ~TFileAdder() override;

    // Adds the files of `paths` in order; `positions` are their places in the user's selection
    // (a file row's TitleIndex). Folders are skipped.
    void Add(const QStringList& paths, const std::vector<int>& positions);
    bool Adding() const { return prober_.Running(); }
    // Stops the add at the next file; the rows already added stay.
    void Cancel();

signals:
    // An add ended (cancelled or not); `added` rows came in.
    void Finished(int added);

private:
    void Next();
    void Probed(const TProbedFile& file);
    void AddRow(const TProbedFile& file);
    void ProbingFinished(bool cancelled);

    struct TBatch {
        QStringList paths;
        std::vector<int> positions;
    };
    TSourceListModel& rows_;
    TIniStore& settings_;
    const TIniStore& formatFile_;
    TDialogService& dialogs_;
    std::function<int()> formatCode_;
    QWidget* window_;
    TFileProber prober_;
    std::vector<TBatch> waiting_;
    QPointer<QProgressDialog> progress_;
    // --- the running batch
    int code_ = 1; // the format that names the outputs
    std::string zoom_;
    int added_ = 0;
    int done_ = 0;
    QStringList failures_;
};

} // namespace quovo
