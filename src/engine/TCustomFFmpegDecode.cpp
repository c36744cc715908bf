// Decoding branches of the transcoding loop.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"

namespace quovo {

int TCustomFFmpeg::DecodeAndOutput(TInputStream& ist, const AVPacket* pkt) {
    // Decoding and encoding of pictures, sound and subtitles arrive with the picture and sound
    // processing; until then a conversion that needs them ends with a clear message.
    throw FFmpegException(StringPrintf(
        "Encoding is not supported yet: stream #%d.%d (%s) can only be copied (use codec copy)",
        ist.file_index, ist.index, MediaTypeName(ist.st->codecpar->codec_type).c_str()));
}

void TCustomFFmpeg::FlushEncoders(TInputStream&) {}

} // namespace quovo
