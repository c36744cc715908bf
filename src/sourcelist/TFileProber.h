// Opening the files being added to the source list. Opening a file reads its streams, which can
// take a while on large or remote files; the prober does it on a worker thread through a
// conversion component of its own, file by file in the given order, and reports each file on the
// thread that started it.
#pragma once

#include "TMediaConverter.h"
#include "TOptionBuilder.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace quovo {

// What opening one file for the list found out.
struct TProbedFile {
    QString Path;
    int Position = 0; // in the list the file was given in
    bool Opened = false;
    int64_t DurationUs = 0; // the container's duration; 0 when unknown
    QString Error;          // why it could not be opened
    // What a conversion needs to know of it, kept with the row so Start need not open it again.
    std::optional<TSourcePicture> Picture;
    std::string ContainerName;
};

// Opens `path` as a task of `converter`, as a conversion would, reads the duration from the
// task's probe and removes the task again.
TProbedFile ProbeForAdding(TMediaConverter& converter, const QString& path);

class TFileProber : public QObject {
    Q_OBJECT
public:
    explicit TFileProber(QObject* parent = nullptr);
    // Cancels and waits for the worker (it finishes the file it is opening).
    ~TFileProber() override;

    // Opens `paths` one after another; Probed comes for each in order, then Finished. A run still
    // going is cancelled first. `positions` gives each path's position in the user's selection.
    void Start(const QStringList& paths, const std::vector<int>& positions);
    // No further file is opened or reported; Finished(true) follows at once.
    void Cancel();
    bool Running() const { return running_ != 0; }

signals:
    void Probed(const quovo::TProbedFile& file);
    void Finished(bool cancelled);

private:
    void Join();

    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> done_;
    std::shared_ptr<std::atomic<unsigned>> wanted_; // the run whose reports are awaited; 0: none
    unsigned running_ = 0;
    unsigned nextId_ = 0;
};

} // namespace quovo

Q_DECLARE_METATYPE(quovo::TProbedFile)
