// The extra option lines of TInputOptions/TOutputOptions: "name=value" lines separated by line
// breaks or "<CRLF>", and the defaults list that decides codecs, presets, size and filters of an
// output and of its extra streams.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quovo {

using TOptionLines = std::vector<std::pair<std::string, std::string>>;

// Trimmed, line breaks and "<CRLF>" normalised, split at the first "=", names lower-cased.
TOptionLines ParseExtOptions(const std::string& text);

// Lines that are passed to the option dispatcher: the extra-stream, preset and filter lines never
// are; codec names and "s" only for an input.
bool IsDirectExtOption(const std::string& name, bool forInput);

class TOutputDefaults {
public:
    TOutputDefaults(const std::string& acodec, const std::string& vcodec,
                    const std::string& scodec, const std::string& apre, const std::string& vpre,
                    const std::string& spre, const std::string& size, const std::string& vf,
                    const TOptionLines& ext);
    // The "def_" + name value, or "".
    std::string Default(const std::string& name) const;
    // The first remaining entry `name` (removed), else the default.
    std::string Take(const std::string& name);
    const TOptionLines& Entries() const { return list_; }

private:
    TOptionLines list_;
};

} // namespace quovo
