// Texts the engine and the media probe show for library results: error codes, times, codecs and
// media kinds.
#include "EngineText.h"

#include "FFmpegException.h"
#include "MyUtils.h"
#include "TEngineOptions.h"

#include <cerrno>

namespace quovo {

namespace {

const char* ErrorText(int code) {
    switch (code) {
    case AVERROR(ENOENT):
        return "No such file or directory";
    case AVERROR(EIO):
        return "I/O error";
    case AVERROR(ENOMEM):
        return "Not enough memory";
    case AVERROR(EINVAL):
    // The 5.1 libraries report bad input, end of file and unknown formats with codes of their
    // own rather than errno values; they get the texts of the errno values they replaced.
    case AVERROR_INVALIDDATA:
        return "Invalid data found when processing input";
    case AVERROR(EPIPE):
    case AVERROR_EOF:
        return "End of file";
    case AVERROR(EDOM):
        return "Number syntax expected in filename";
    case AVERROR(EILSEQ):
    case AVERROR_DEMUXER_NOT_FOUND:
    case AVERROR_MUXER_NOT_FOUND:
        return "Unknown format";
    case AVERROR(EPROTONOSUPPORT):
        return "Unsupported network protocol";
    case AVERROR_PATCHWELCOME:
        return "Not yet implemented in FFmpeg";
    case kErrorDiscStructure:
        return "The disc's structure cannot be read";
    case kErrorDiscEncrypted:
        return "The title is encrypted; reading it needs libdvdcss (on Debian, install the "
               "package libdvd-pkg from contrib, which builds libdvdcss2)";
    default:
        return nullptr;
    }
}

bool Printable(unsigned c) {
    return c >= 32 && c <= 126;
}

} // namespace

std::string FormatErrorText(const std::string& prefix, int code) {
    if (const char* text = ErrorText(code)) {
        return prefix + ": " + text;
    }
    // Codes the table does not know (a full disk, a refused permission) read better in the
    // library's words than as a number.
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (code < 0 && av_strerror(code, text, sizeof text) == 0) {
        return prefix + ": " + text;
    }
    return prefix + ": " + StringPrintf("Error number %d occurred", code);
}

std::string FormatTimeText(int64_t timeUs) {
    if (timeUs == NoTimestamp) {
        return "N/A";
    }
    const int hours = static_cast<int>(timeUs / 3600000000LL);
    const int minutes = static_cast<int>(timeUs / 60000000LL % 60);
    const int seconds = static_cast<int>(timeUs / 1000000LL % 60);
    const int millis = static_cast<int>(timeUs / 1000LL % 1000);
    return StringPrintf("%.2d:%.2d:%.2d.%.3d", hours, minutes, seconds, millis);
}

std::string DescribeCodec(const AVCodecParameters* par, bool encoder) {
    if (!par) {
        return std::string();
    }
    const AVCodec* codec =
        encoder ? avcodec_find_encoder(par->codec_id) : avcodec_find_decoder(par->codec_id);
    if (codec) {
        const std::string longName = Trim(codec->long_name ? codec->long_name : "");
        return longName.empty() ? std::string(codec->name)
                                : StringPrintf("%s(%s)", codec->name, longName.c_str());
    }
    if (par->codec_id == AV_CODEC_ID_MPEG2TS) {
        return "mpeg2ts";
    }
    // Codec parameters carry no free-form codec name; the library's name for the id stands in
    // for it when this build has no codec of that id in the direction asked.
    if (const AVCodecDescriptor* desc = avcodec_descriptor_get(par->codec_id)) {
        const std::string name = Trim(desc->name ? desc->name : "");
        if (!name.empty()) {
            return name;
        }
    }
    const unsigned tag = par->codec_tag;
    const unsigned c0 = tag & 0xFF, c1 = (tag >> 8) & 0xFF, c2 = (tag >> 16) & 0xFF,
                   c3 = (tag >> 24) & 0xFF;
    if (Printable(c0) && Printable(c1) && Printable(c2) && Printable(c3)) {
        return StringPrintf("%c%c%c%c / 0x%04X", c0, c1, c2, c3, tag);
    }
    return StringPrintf("0x%04x", tag);
}

std::string MediaTypeName(int kind) {
    switch (kind) {
    case AVMEDIA_TYPE_VIDEO:
        return "Video";
    case AVMEDIA_TYPE_AUDIO:
        return "Audio";
    case AVMEDIA_TYPE_DATA:
        return "Data";
    case AVMEDIA_TYPE_SUBTITLE:
        return "Subtitle";
    case AVMEDIA_TYPE_ATTACHMENT:
        return "Attachment";
    default:
        return "Unknown";
    }
}

} // namespace quovo
