// A picture filter graph with one source ("src", a buffer) and one sink ("out", a buffer sink
// that offers exactly one pixel format). Used for the user's filter chain of an output stream and
// for deinterlacing; pictures go in with timestamps in microseconds.
#pragma once

#include "AvPtr.h"

#include <string>
#include <utility>
#include <vector>

namespace quovo {

// Filter texts written for the old crop filter (left:top:width:height) in today's order
// (width:height:x:y); other filters and named arguments are left as they are.
std::string TranslateCropFilters(const std::string& chain);

class TVideoFilterChain {
public:
    struct TSource {
        int width = 0;
        int height = 0;
        AVPixelFormat format = AV_PIX_FMT_NONE;
        AVRational sampleAspect = {0, 1};
    };
    using TFilterList = std::vector<std::pair<std::string, std::string>>; // name, arguments

    // Builds source -> `filters` (linked in order) -> `userChain` (parsed between the labels "in"
    // and "out"; may be empty) -> sink. `scaleOptions` go to the scalers the graph inserts
    // itself. Returns 0 or a library error code; `error` tells which step failed.
    int Build(const TSource& source, AVPixelFormat sinkFormat, const TFilterList& filters,
              const std::string& userChain, const std::string& scaleOptions, std::string& error);
    bool Built() const { return graph_ != nullptr; }
    void Reset();

    // Adds a picture (referenced, not taken); its pts is in microseconds.
    int Push(AVFrame* frame);
    // Takes the next filtered picture: 0, AVERROR(EAGAIN) when the chain needs more input.
    int Pull(AVFrame* frame);

    int Width() const;
    int Height() const;
    AVRational SampleAspect() const;

private:
    // Parses `userChain` between `last` and the sink.
    int ParseUserChain(AVFilterContext* last, const std::string& userChain);

    AvFilterGraphPtr graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
};

} // namespace quovo
