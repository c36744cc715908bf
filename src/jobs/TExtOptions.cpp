#include "TExtOptions.h"

#include "MyUtils.h"

#include <algorithm>

namespace quovo {

TOptionLines ParseExtOptions(const std::string& text) {
    std::string s = Trim(text);
    std::string normal;
    normal.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            if (i + 1 < s.size() && s[i + 1] == '\n') {
                ++i;
            }
            normal += '\n';
        } else if (s.compare(i, 6, "<CRLF>") == 0) {
            normal += '\n';
            i += 5;
        } else {
            normal += s[i];
        }
    }
    TOptionLines lines;
    size_t start = 0;
    while (start <= normal.size()) {
        size_t end = normal.find('\n', start);
        if (end == std::string::npos) {
            end = normal.size();
        }
        const std::string line = normal.substr(start, end - start);
        if (!Trim(line).empty()) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos) {
                lines.emplace_back(LowerCase(Trim(line)), "");
            } else {
                lines.emplace_back(LowerCase(Trim(line.substr(0, eq))), line.substr(eq + 1));
            }
        }
        start = end + 1;
    }
    return lines;
}

bool IsDirectExtOption(const std::string& name, bool forInput) {
    static const char* const never[] = {"newvideo", "newaudio", "newsubtitle", "apre",
                                        "vpre",     "spre",     "vfilters",    "vf"};
    for (const char* n : never) {
        if (name == n) {
            return false;
        }
    }
    if (name == "acodec" || name == "vcodec" || name == "scodec" || name == "s") {
        return forInput;
    }
    return true;
}

TOutputDefaults::TOutputDefaults(const std::string& acodec, const std::string& vcodec,
                                 const std::string& scodec, const std::string& apre,
                                 const std::string& vpre, const std::string& spre,
                                 const std::string& size, const std::string& vf,
                                 const TOptionLines& ext) {
    const std::pair<const char*, const std::string*> defaults[] = {
        {"def_acodec", &acodec}, {"def_vcodec", &vcodec}, {"def_scodec", &scodec},
        {"def_apre", &apre},     {"def_vpre", &vpre},     {"def_spre", &spre},
        {"def_s", &size},        {"def_vf", &vf}};
    for (const auto& [name, value] : defaults) {
        if (!value->empty()) {
            list_.emplace_back(name, *value);
        }
    }
    static const char* const taken[] = {"acodec", "vcodec", "scodec", "apre",    "vpre",
                                        "spre",   "s",      "vf",     "vfilters"};
    for (auto [name, value] : ext) {
        if (value.empty() || std::find(std::begin(taken), std::end(taken), name) ==
                                 std::end(taken)) {
            continue;
        }
        if (name == "vfilters") {
            name = "vf";
        }
        const std::string def = "def_" + name;
        auto it = std::find_if(list_.begin(), list_.end(),
                               [&](const auto& e) { return e.first == def; });
        if (it == list_.end()) {
            list_.emplace_back(def, value);
        } else if (it->second.empty()) {
            it->second = value;
        }
        list_.emplace_back(name, value);
    }
}

std::string TOutputDefaults::Default(const std::string& name) const {
    const std::string def = "def_" + name;
    for (const auto& [n, v] : list_) {
        if (n == def) {
            return v;
        }
    }
    return "";
}

std::string TOutputDefaults::Take(const std::string& name) {
    auto it = std::find_if(list_.begin(), list_.end(),
                           [&](const auto& e) { return e.first == name; });
    if (it == list_.end()) {
        return Default(name);
    }
    std::string value = it->second;
    list_.erase(it);
    return value;
}

} // namespace quovo
