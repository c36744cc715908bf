#include "TIniStore.h"

// Text is kept as bytes (UTF-8 in, UTF-8 out); no wide-character conversion is needed.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace quovo {

namespace {

std::atomic<TIniStore::TReplaceHook> gReplaceHook{nullptr};

// Closes a descriptor on every path out of a function.
class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Reads the whole file. Returns 0, or the errno of what failed; a missing file is empty text and
// ENOENT.
int ReadFileText(const std::string& path, std::string& text) {
    text.clear();
    TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        return errno;
    }
    char buffer[16384];
    for (;;) {
        ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            return 0;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
}

// No file at all (nor a folder for it yet) is an empty store, not a damaged one.
bool Missing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

// Parses what can be parsed. A NUL byte would end the parser's view of the text early, so it is
// turned into a line break: the damaged line is lost, the lines after it survive.
void ParseIni(CSimpleIniA& ini, std::string text) {
    for (char& c : text) {
        if (c == '\0') {
            c = '\n';
        }
    }
    if (ini.LoadData(text.data(), text.size()) < 0) {
        ini.Reset();
    }
}

// What cannot be read reads as empty: every key gives its default.
void LoadIni(CSimpleIniA& ini, const std::string& path) {
    std::string text;
    if (ReadFileText(path, text) != 0) {
        text.clear();
    }
    ParseIni(ini, std::move(text));
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Serialises read-modify-replace cycles of all processes on one file. The lock lives on a side
// file because the settings file itself is replaced by every write.
class TWriteLock {
public:
    explicit TWriteLock(const std::string& path)
        : fd_(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (fd_.Get() >= 0) {
            while (::flock(fd_.Get(), LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }

private:
    TFd fd_;
};

template <typename Modify> bool ReplaceFile(const std::string& path, Modify modify) {
    TWriteLock lock(path);
    // A file that exists but cannot be read is never replaced: its other sections would be lost.
    std::string current;
    if (int error = ReadFileText(path, current); error != 0 && !Missing(error)) {
        return false;
    }
    CSimpleIniA ini;
    ParseIni(ini, std::move(current));
    modify(ini);
    std::string text;
    if (ini.Save(text) < 0) {
        return false;
    }

    // A settings folder that does not exist yet (first start) is created with its parents.
    std::error_code ec;
    std::filesystem::create_directories(FolderOf(path), ec);

    static std::atomic<unsigned> counter{0};
    std::string temp =
        path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    }
    TFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (fd.Get() < 0) {
        return false;
    }
    bool ok = WriteAll(fd.Get(), text) && ::fsync(fd.Get()) == 0;
    ok = (::close(fd.Release()) == 0) && ok;
    TIniStore::TReplaceHook hook = gReplaceHook.load();
    if (ok && hook != nullptr) {
        ok = hook(temp);
    }
    if (ok) {
        ok = ::rename(temp.c_str(), path.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    TFd dir(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) {
        ::fsync(dir.Get());
    }
    return true;
}

} // namespace

std::optional<int> ParseWholeNumber(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && (*first == '-' || *first == '+')) {
            return std::nullopt;
        }
    }
    if (first == last) {
        return std::nullopt;
    }
    int value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last) {
        return std::nullopt;
    }
    return value;
}

TIniStore::TIniStore(std::string path) : path_(std::move(path)) {}

std::string TIniStore::ReadError() const {
    std::string text;
    const int error = ReadFileText(path_, text);
    return error == 0 || Missing(error) ? std::string() : std::strerror(error);
}

std::string TIniStore::ReadString(const std::string& section, const std::string& key,
                                  const std::string& defaultValue) const {
    CSimpleIniA ini;
    LoadIni(ini, path_);
    const char* value = ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return value != nullptr ? std::string(value) : defaultValue;
}

int TIniStore::ReadInteger(const std::string& section, const std::string& key,
                           int defaultValue) const {
    CSimpleIniA ini;
    LoadIni(ini, path_);
    const char* value = ini.GetValue(section.c_str(), key.c_str(), nullptr);
    if (value == nullptr) {
        return defaultValue;
    }
    return ParseWholeNumber(value).value_or(defaultValue);
}

bool TIniStore::ReadBool(const std::string& section, const std::string& key,
                         bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TIniStore::ValueExists(const std::string& section, const std::string& key) const {
    CSimpleIniA ini;
    LoadIni(ini, path_);
    return ini.GetValue(section.c_str(), key.c_str(), nullptr) != nullptr;
}

bool TIniStore::SectionExists(const std::string& section) const {
    CSimpleIniA ini;
    LoadIni(ini, path_);
    return ini.GetSection(section.c_str()) != nullptr;
}

std::vector<std::string> TIniStore::ReadSectionKeys(const std::string& section) const {
    CSimpleIniA ini;
    LoadIni(ini, path_);
    CSimpleIniA::TNamesDepend keys;
    std::vector<std::string> result;
    if (!ini.GetAllKeys(section.c_str(), keys)) {
        return result;
    }
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    for (const auto& k : keys) {
        result.emplace_back(k.pItem);
    }
    return result;
}

std::vector<std::pair<std::string, std::string>>
TIniStore::ReadSectionValues(const std::string& section) const {
    CSimpleIniA ini;
    LoadIni(ini, path_);
    CSimpleIniA::TNamesDepend keys;
    std::vector<std::pair<std::string, std::string>> result;
    if (!ini.GetAllKeys(section.c_str(), keys)) {
        return result;
    }
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    for (const auto& k : keys) {
        result.emplace_back(k.pItem, ini.GetValue(section.c_str(), k.pItem, ""));
    }
    return result;
}

bool TIniStore::WriteString(const std::string& section, const std::string& key,
                            const std::string& value) {
    return WriteValues(section, {{key, value}});
}

bool TIniStore::WriteInteger(const std::string& section, const std::string& key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool TIniStore::WriteBool(const std::string& section, const std::string& key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool TIniStore::WriteValues(const std::string& section,
                            const std::vector<std::pair<std::string, std::string>>& values) {
    return ReplaceFile(path_, [&](CSimpleIniA& ini) {
        for (const auto& [key, value] : values) {
            ini.SetValue(section.c_str(), key.c_str(), value.c_str());
        }
    });
}

void TIniStore::SetReplaceHookForTests(TReplaceHook hook) {
    gReplaceHook.store(hook);
}

} // namespace quovo
