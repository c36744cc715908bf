#include "DVDName.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace quovo {

namespace {

bool ToInt(const std::string& text, int32_t& out) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != 0 || v < INT32_MIN || v > INT32_MAX) {
        return false;
    }
    out = static_cast<int32_t>(v);
    return true;
}

} // namespace

bool ParseOpenDVDName(const std::string& name, TOpenDVDName& out) {
    const size_t prefix = std::strlen(kOpenDVDPrefix);
    if (name.compare(0, prefix, kOpenDVDPrefix) != 0) {
        return false;
    }
    out = TOpenDVDName{};
    const std::string rest = name.substr(prefix);
    // Parameters follow the last '|' whose tail holds '=': a path may itself contain '|'.
    const size_t bar = rest.rfind('|');
    if (bar == std::string::npos || rest.find('=', bar) == std::string::npos) {
        out.path = rest;
        return !out.path.empty();
    }
    out.path = rest.substr(0, bar);
    out.hasParams = true;
    std::stringstream list(rest.substr(bar + 1));
    std::string item;
    int32_t title = 1;
    while (std::getline(list, item, ',')) {
        const size_t eq = item.find('=');
        if (eq == std::string::npos) {
            return false;
        }
        const std::string key = item.substr(0, eq);
        int32_t value = 0;
        if (!ToInt(item.substr(eq + 1), value)) {
            return false;
        }
        DVDPlayParams& p = out.params;
        if (key == "Title") {
            title = value;
        } else if (key == "FromChapter") {
            p.FromChapter = value;
        } else if (key == "ToChapter") {
            p.ToChapter = value;
        } else if (key == "AudioID") {
            p.AudioID = value;
        } else if (key == "SubtitleID") {
            p.SubtitleID = value;
        } else if (key == "AudioChannels") {
            p.AudioChannels = value;
        } else if (key == "Deinterlace") {
            p.Deinterlace = value;
        } else {
            return false;
        }
    }
    if (title < 1) {
        return false;
    }
    out.params.Title = title - 1;
    return !out.path.empty();
}

std::string FormatOpenDVDName(const std::string& path, const DVDPlayParams& p) {
    char tail[256];
    std::snprintf(tail, sizeof tail,
                  "|Title=%d,FromChapter=%d,ToChapter=%d,AudioID=%d,SubtitleID=%d,"
                  "AudioChannels=%d,Deinterlace=%d",
                  p.Title + 1, p.FromChapter, p.ToChapter, p.AudioID, p.SubtitleID, p.AudioChannels,
                  p.Deinterlace);
    return kOpenDVDPrefix + path + tail;
}

} // namespace quovo
