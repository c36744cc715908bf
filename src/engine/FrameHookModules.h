// Frame-hook modules (option `vhook`): shared libraries loaded once per process with dlopen,
// exporting "Process" and optionally "Configure" and "Release".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace quovo {

class TFrameHookList {
public:
    TFrameHookList();
    ~TFrameHookList(); // calls every module's "Release"
    TFrameHookList(const TFrameHookList&) = delete;
    TFrameHookList& operator=(const TFrameHookList&) = delete;

    // Adds the module named by the first word of `args`. Returns 0, -1 (cannot be loaded), -2
    // (entry point missing), -22 (Configure failed, no module name, or more than 64 words).
    int Add(const std::string& args);
    bool Empty() const;
    // Passes a picture to every module in order.
    void Process(AVFrame* picture, int pixFmt, int width, int height, int64_t pts);

private:
    struct Entry;
    std::vector<std::unique_ptr<Entry>> entries_;
};

} // namespace quovo
