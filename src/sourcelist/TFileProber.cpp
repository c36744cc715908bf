#include "TFileProber.h"

#include "MainThread.h"

#include <QMetaObject>

#include <pthread.h>

namespace quovo {

TProbedFile ProbeForAdding(TMediaConverter& converter, const QString& path) {
    TProbedFile file;
    file.Path = path;
    converter.ClearTasks();
    const int task = converter.AddTask(path.toStdString());
    if (task < 0) {
        file.Error = QString::fromStdString(converter.LastErrMsg());
        return file;
    }
    file.Opened = true;
    if (TAVProbe* probe = converter.InputProbe(task, 0)) {
        file.DurationUs = std::max<int64_t>(0, probe->GetFileStreamInfo().Duration);
        file.Picture = SourcePictureFromProbe(*probe);
        file.ContainerName = probe->FormatName();
    }
    converter.RemoveTask(task);
    converter.ClearTasks();
    return file;
}

TFileProber::TFileProber(QObject* parent)
    : QObject(parent), wanted_(std::make_shared<std::atomic<unsigned>>(0)) {
    qRegisterMetaType<TProbedFile>();
}

TFileProber::~TFileProber() {
    wanted_->store(0);
    Join();
}

void TFileProber::Join() {
    if (!worker_.joinable()) {
        return;
    }
    // The worker's component may log through the main thread: keep serving it while waiting.
    while (!done_->load()) {
        WaitAndDrainMainThreadQueue(std::chrono::milliseconds(5));
    }
    worker_.join();
}

void TFileProber::Start(const QStringList& paths, const std::vector<int>& positions) {
    Cancel();
    Join();
    const unsigned id = ++nextId_;
    running_ = id;
    wanted_->store(id);
    done_ = std::make_shared<std::atomic<bool>>(false);
    // `this` outlives the worker (the destructor joins it); reports of a cancelled run are
    // dropped by the id check on this thread.
    worker_ = std::thread([this, id, paths, positions, done = done_, wanted = wanted_] {
        pthread_setname_np(pthread_self(), "add-files");
        TMediaConverter converter;
        for (int i = 0; i < paths.size() && wanted->load() == id; ++i) {
            TProbedFile file = ProbeForAdding(converter, paths[i]);
            file.Position = i < static_cast<int>(positions.size()) ? positions[i] : i;
            QMetaObject::invokeMethod(
                this,
                [this, id, file] {
                    if (running_ == id) {
                        emit Probed(file);
                    }
                },
                Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            this,
            [this, id] {
                if (running_ == id) {
                    running_ = 0;
                    emit Finished(false);
                }
            },
            Qt::QueuedConnection);
        done->store(true);
    });
}

void TFileProber::Cancel() {
    wanted_->store(0);
    if (running_ != 0) {
        running_ = 0;
        emit Finished(true);
    }
}

} // namespace quovo
