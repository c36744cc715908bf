#include "DVDHelperClient.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quovo {

namespace fs = std::filesystem;

namespace {

constexpr const char* kHelperName = "quovo-dvdinfo";
constexpr size_t kMaxOutput = 16 * 1024 * 1024; // far above any real disc's description

std::string DirOf(const std::string& file) {
    return fs::path(file).parent_path().string();
}

bool IsExecutable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

int TimeoutMs() {
    if (const char* v = std::getenv("QUOVO_DVD_HELPER_TIMEOUT_MS")) {
        const int ms = std::atoi(v);
        if (ms > 0) {
            return ms;
        }
    }
    return 30000;
}

void AddStat(std::string& key, const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        key += "|-";
        return;
    }
    key += "|" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
           std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

// What identifies the disc behind `path` right now.
std::string DiscKey(const std::string& path) {
    std::error_code ec;
    std::string key = fs::weakly_canonical(path, ec).string();
    if (ec) {
        key = path;
    }
    // A folder is known by its IFO and BUP files alone: other files come and go beside them.
    if (fs::is_directory(path, ec)) {
        const std::string folder =
            fs::is_directory(path + "/VIDEO_TS", ec) ? path + "/VIDEO_TS" : path;
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder, ec)) {
            const std::string name = e.path().filename().string();
            if (name.size() > 4 && (name.ends_with(".IFO") || name.ends_with(".BUP") ||
                                    name.ends_with(".ifo") || name.ends_with(".bup"))) {
                names.push_back(e.path().string());
            }
        }
        std::sort(names.begin(), names.end());
        for (const std::string& n : names) {
            key += "|" + n;
            AddStat(key, n);
        }
        return key;
    }
    // An image or a drive: the ISO volume descriptor changes with the disc.
    AddStat(key, path);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        char pvd[2048];
        if (pread(fd, pvd, sizeof pvd, 16 * 2048) == static_cast<ssize_t>(sizeof pvd)) {
            key.append("|").append(pvd, sizeof pvd);
        }
        close(fd);
    }
    return key;
}

struct TChildRun {
    std::string output;
    bool timedOut = false;
    bool tooLong = false;
    int status = 0;
    std::string startError;
};

TChildRun RunHelper(const std::string& helper, const std::string& path) {
    TChildRun run;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        run.startError = std::strerror(errno);
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv{const_cast<char*>(helper.c_str()), const_cast<char*>(path.c_str()),
                            nullptr};
    pid_t pid = -1;
    const int err = posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (err != 0) {
        close(fds[0]);
        run.startError = std::strerror(err);
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs());
    char buf[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            run.timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(std::min<int64_t>(left, 1000)));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r == 0) {
            continue;
        }
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break; // the child closed its end (or died)
        }
        run.output.append(buf, static_cast<size_t>(n));
        if (run.output.size() > kMaxOutput) {
            run.tooLong = true;
            break;
        }
    }
    close(fds[0]);
    if (run.timedOut || run.tooLong) {
        kill(pid, SIGKILL);
    }
    while (waitpid(pid, &run.status, 0) < 0 && errno == EINTR) {
    }
    return run;
}

struct TCache {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<const DVDDiscInfo>> discs; // --- guarded by mutex
};

TCache& Cache() {
    static TCache cache;
    return cache;
}

std::string ThisLibraryFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ThisLibraryFolder), &info) != 0 && info.dli_fname) {
        return DirOf(info.dli_fname);
    }
    return "";
}

} // namespace

std::string DVDHelperPath() {
    if (const char* env = std::getenv("QUOVO_DVD_HELPER"); env && *env) {
        return env;
    }
    const std::string besideLibrary = ThisLibraryFolder() + "/" + kHelperName;
    if (IsExecutable(besideLibrary)) {
        return besideLibrary;
    }
    std::error_code ec;
    const std::string self = fs::read_symlink("/proc/self/exe", ec).string();
    const std::string besideProgram = DirOf(self) + "/" + kHelperName;
    return IsExecutable(besideProgram) ? besideProgram : std::string();
}

std::shared_ptr<const DVDDiscInfo> DescribeDisc(const std::string& path, const TDVDLogSink& log) {
    const std::string key = DiscKey(path);
    {
        TCache& c = Cache();
        std::lock_guard lock(c.mutex);
        if (auto it = c.discs.find(key); it != c.discs.end()) {
            return it->second;
        }
    }
    const std::string helper = DVDHelperPath();
    if (helper.empty()) {
        if (log) {
            log(TDVDLogLevel::Error, std::string("cannot find the DVD helper ") + kHelperName);
        }
        return std::make_shared<DVDDiscInfo>();
    }
    const TChildRun run = RunHelper(helper, path);
    auto disc = std::make_shared<DVDDiscInfo>(ParseDiscDescription(run.output, log));
    if (log) {
        if (!run.startError.empty()) {
            log(TDVDLogLevel::Error, "cannot start " + helper + ": " + run.startError);
        } else if (run.timedOut) {
            log(TDVDLogLevel::Error, "reading the disc structure of " + path + " timed out");
        } else if (run.tooLong) {
            log(TDVDLogLevel::Error, "the DVD helper sent too much for " + path);
        } else if (WIFSIGNALED(run.status)) {
            log(TDVDLogLevel::Error, "reading the disc structure of " + path + " crashed (signal " +
                                         std::to_string(WTERMSIG(run.status)) + ")");
        } else if (!disc->complete && WIFEXITED(run.status) && WEXITSTATUS(run.status) != 0) {
            // A sanitizer or the C library's heap checks end the child this way.
            log(TDVDLogLevel::Error, "reading the disc structure of " + path +
                                         " failed (exit status " +
                                         std::to_string(WEXITSTATUS(run.status)) + ")");
        } else if (!disc->complete) {
            log(TDVDLogLevel::Error, "the disc structure of " + path + " is incomplete");
        }
    }
    // A slow drive may answer next time; everything else gives the same answer again.
    if (run.startError.empty() && !run.timedOut) {
        TCache& c = Cache();
        std::lock_guard lock(c.mutex);
        c.discs.emplace(key, disc);
    }
    return disc;
}

void ClearDiscCache() {
    TCache& c = Cache();
    std::lock_guard lock(c.mutex);
    c.discs.clear();
}

} // namespace quovo
