// The chosen subpicture stream of an input, read a second time ahead of the pictures: a disc muxes
// a subpicture up to a second after the first picture it shows on, so the main reading would meet
// it too late to draw it there.
#pragma once

#include "AvPtr.h"
#include "LibraryIO.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quovo {

class TSubpictureReader {
public:
    ~TSubpictureReader();
    TSubpictureReader(const TSubpictureReader&) = delete;
    TSubpictureReader& operator=(const TSubpictureReader&) = delete;

    // Opens `name` again for the track's stream. `seekTo` (µs, NoTimestamp for none) repeats the
    // input's start seek; `tsOffsetUs` moves times onto the input's timeline. Null with `why` set
    // when it cannot be read.
    static std::unique_ptr<TSubpictureReader> Open(const std::string& name,
                                                   const TSubpictureTrack& track, int64_t seekTo,
                                                   int64_t tsOffsetUs, std::string& why);

    // The next decoded subpicture and its packet time (µs); false at the end of the input.
    bool Next(AVSubtitle& sub, int64_t& ptsUs);

private:
    TSubpictureReader() = default;
    std::unique_ptr<TLibraryIO> io_;
    AvInputContextPtr ic_;
    AvCodecContextPtr dec_;
    AvPacketPtr pkt_;
    int stream_ = -1;
    int64_t tsOffsetUs_ = 0;
};

} // namespace quovo
