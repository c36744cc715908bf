// Subtitle decoding and encoding.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"

namespace quovo {

int TCustomFFmpeg::DecodeSubtitle(TInputStream& ist, AVPacket*) {
    throw FFmpegException(StringPrintf(
        "Subtitle encoding is not supported yet: stream #%d.%d can only be copied (scodec=copy)",
        ist.file_index, ist.index));
}

} // namespace quovo
