#include "TDVDDiscReader.h"

#include "DVDPlugIn.h"

#include <QMetaObject>

#include <filesystem>
#include <mutex>

#include <pthread.h>

namespace quovo {

namespace {

// The plug-in keeps the last enumerated disc for DVDGetTitle: reads must not interleave.
std::mutex& ReadMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

TDiscReadResult ReadDisc(const std::string& pluginFolder, const std::string& path) {
    std::lock_guard lock(ReadMutex());
    TDiscReadResult result;
    if (!DVDPluginLoaded() && !LoadDVDPlugin(pluginFolder)) {
        result.Status = TDiscReadResult::TStatus::PluginNotLoaded;
        return result;
    }
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) {
        result.Status = TDiscReadResult::TStatus::NoDisc;
        return result;
    }
    result.TitleCount = EnumDVDTitles(path);
    if (result.TitleCount < 1) {
        result.Status = TDiscReadResult::TStatus::NoTitles;
        return result;
    }
    result.Status = TDiscReadResult::TStatus::Titles;
    result.Titles.resize(static_cast<size_t>(result.TitleCount));
    for (int i = 0; i < result.TitleCount; ++i) {
        TDiscReadResult::TTitle& title = result.Titles[static_cast<size_t>(i)];
        title.Index = i;
        title.Valid = GetDVDTitle(i, title.Info);
    }
    return result;
}

TDVDDiscReader::TDVDDiscReader(QObject* parent) : QObject(parent) {
    qRegisterMetaType<TDiscReadResult>();
}

TDVDDiscReader::~TDVDDiscReader() {
    running_ = 0;
    for (TWorker& w : workers_) {
        w.thread.join();
    }
}

void TDVDDiscReader::JoinFinished() {
    std::erase_if(workers_, [](TWorker& w) {
        if (!w.done->load()) {
            return false;
        }
        w.thread.join();
        return true;
    });
}

void TDVDDiscReader::Start(const std::string& pluginFolder, const std::string& path) {
    Cancel();
    JoinFinished();
    const unsigned id = ++nextId_;
    running_ = id;
    auto done = std::make_shared<std::atomic<bool>>(false);
    // The object joins its workers before it goes, so `this` outlives them; a result posted to a
    // destroyed object is dropped by Qt, and an abandoned read's result by the id check.
    std::thread worker([this, id, pluginFolder, path, done] {
        pthread_setname_np(pthread_self(), "dvd-import");
        TDiscReadResult result = ReadDisc(pluginFolder, path);
        QMetaObject::invokeMethod(
            this,
            [this, id, path, result = std::move(result)] {
                if (running_ == id) {
                    running_ = 0;
                    emit Finished(QString::fromStdString(path), result);
                }
            },
            Qt::QueuedConnection);
        done->store(true);
    });
    workers_.push_back({std::move(worker), std::move(done)});
}

void TDVDDiscReader::Cancel() {
    running_ = 0;
}

} // namespace quovo
