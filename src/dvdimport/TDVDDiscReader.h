// Reading a disc for an import: whether it is there, how many titles it has and each title's
// description, through the plug-in's wrappers. Describing a disc can take seconds on a real drive
// and, on a damaged one, as long as the helper process's time limit; so the reading runs on a
// worker thread and the window only waits for its result.
//
// One disc is read at a time (the plug-in describes the disc it enumerated last); a read started
// while an abandoned one still runs waits for it.
#pragma once

#include "DVDTypes.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace quovo {

struct TDiscReadResult {
    enum class TStatus { PluginNotLoaded, NoDisc, NoTitles, Titles };
    TStatus Status = TStatus::NoDisc;
    int TitleCount = 0;
    struct TTitle {
        int Index = 0;
        bool Valid = false;
        DVDTitleInfo Info{};
    };
    std::vector<TTitle> Titles; // every title index, valid or not
};

// The whole read on the calling thread: load the plug-in from `pluginFolder` when needed, check
// that `path` exists, enumerate and describe every title.
TDiscReadResult ReadDisc(const std::string& pluginFolder, const std::string& path);

class TDVDDiscReader : public QObject {
    Q_OBJECT
public:
    explicit TDVDDiscReader(QObject* parent = nullptr);
    // Waits for a read still running (bounded by the helper's time limit).
    ~TDVDDiscReader() override;

    // Starts reading `path` on a worker; Finished comes on this object's thread. A read still
    // running is abandoned first.
    void Start(const std::string& pluginFolder, const std::string& path);
    // Abandons the running read: its result is never delivered.
    void Cancel();
    bool Running() const { return running_ != 0; }

signals:
    void Finished(const QString& path, const quovo::TDiscReadResult& result);

private:
    struct TWorker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void JoinFinished();

    std::vector<TWorker> workers_;
    unsigned running_ = 0; // id of the read whose result is awaited; 0 = none
    unsigned nextId_ = 0;
};

} // namespace quovo

Q_DECLARE_METATYPE(quovo::TDiscReadResult)
