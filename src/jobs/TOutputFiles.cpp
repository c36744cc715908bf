#include "TOutputFiles.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace quovo {

namespace {

// A name with a protocol ("pipe:1", "udp://…") or "-" is no file of ours to rename.
bool IsUrl(const std::string& name) {
    if (name == "-") {
        return true;
    }
    const size_t colon = name.find(':');
    const size_t slash = name.find('/');
    return colon != std::string::npos && (slash == std::string::npos || colon < slash);
}

bool IsRegularFile(const std::string& name, off_t* size = nullptr) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    if (size != nullptr) {
        *size = st.st_size;
    }
    return true;
}

} // namespace

std::string PartFileName(const std::string& finalName) {
    return finalName + ".part";
}

std::string TemporaryWriteFormat(const std::string& finalName, const std::string& forcedFormat) {
    if (finalName.empty() || IsUrl(finalName)) {
        return {};
    }
    struct stat st {};
    if (::stat(finalName.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return {}; // /dev/null, a FIFO: written where named
    }
    const AVOutputFormat* format = forcedFormat.empty()
                                       ? av_guess_format(nullptr, finalName.c_str(), nullptr)
                                       : av_guess_format(forcedFormat.c_str(), nullptr, nullptr);
    if (format == nullptr || (format->flags & AVFMT_NOFILE)) {
        return {};
    }
    return format->name;
}

void FinishOutputFile(const std::string& finalName, const std::string& partName, TOutputEnd end) {
    if (partName.empty()) {
        if (end == TOutputEnd::WriteFailed && IsRegularFile(finalName)) {
            ::unlink(finalName.c_str());
        }
        return;
    }
    off_t size = 0;
    if (!IsRegularFile(partName, &size)) {
        return; // never created, or already removed as an empty file
    }
    if (end == TOutputEnd::Whole) {
        std::rename(partName.c_str(), finalName.c_str());
    } else if (end == TOutputEnd::WriteFailed || size == 0) {
        ::unlink(partName.c_str());
    }
}

} // namespace quovo
