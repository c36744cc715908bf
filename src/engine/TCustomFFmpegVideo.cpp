// Picture processing: decoding, crop, scaling, filters, hooks, synchronisation and encoding.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"
#include "TVideoProcessing.h"

#include <mutex>

namespace quovo {

int TCustomFFmpeg::DecodeVideo(TInputStream& ist, AVPacket*) {
    throw FFmpegException(StringPrintf(
        "Video encoding is not supported yet: stream #%d.%d can only be copied (vcodec=copy)",
        ist.file_index, ist.index));
}

void TCustomFFmpeg::SetupVideoEncoding(TOutputStream&, TInputStream&) {}

void TCustomFFmpeg::FlushVideoEncoder(TOutputStream&) {}

} // namespace quovo

namespace quovo {

std::mutex& PreviewLock() {
    static std::mutex lock;
    return lock;
}

void TCustomFFmpeg::SetPreviewFlags(int flags) {
    std::lock_guard lock(PreviewLock());
    previewFlags_ = flags;
}

} // namespace quovo
