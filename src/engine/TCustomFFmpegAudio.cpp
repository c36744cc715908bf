// Sound processing: decoding, volume, resampling, synchronisation and encoding.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"
#include "TAudioProcessing.h"

namespace quovo {

int TCustomFFmpeg::DecodeAudio(TInputStream& ist, AVPacket*) {
    throw FFmpegException(StringPrintf(
        "Audio encoding is not supported yet: stream #%d.%d can only be copied (acodec=copy)",
        ist.file_index, ist.index));
}

void TCustomFFmpeg::SetupAudioEncoding(TOutputStream&, TInputStream&) {}

void TCustomFFmpeg::FlushAudioEncoder(TOutputStream&) {}

} // namespace quovo
