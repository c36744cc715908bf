#pragma once

#include "AvPtr.h"

#include <string>
#include <vector>

namespace quovo {

// The seven library option holders: codec options per media kind (video, audio, data, subtitle,
// attachment), container options and scaler options, plus the names set in order.
class TGenericOptions {
public:
    TGenericOptions();
    void Reset(int swsFlags);
    AVCodecContext* Codec(AVMediaType kind) const;
    AVFormatContext* Container() const { return format_.get(); }
    SwsContext* Scaler() const { return sws_.get(); }
    // Returns true when the option was accepted; `unknown` tells whether no holder has the name.
    bool Set(const std::string& name, const std::string& value, bool* unknown = nullptr);
    // Copies what was set from `source` to `target` where the option's flags contain `flags`.
    void Apply(void* target, void* source, int flags) const;
    const std::vector<std::string>& SetNames() const { return names_; }

private:
    AvCodecContextPtr codecs_[5];
    AvFormatContextPtr format_;
    SwsContextPtr sws_;
    std::vector<std::string> names_;
};

} // namespace quovo
