// Texts for library results: error codes, times, codec descriptions and media kinds.
#include "TCustomFFmpeg.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace quovo {
namespace {

struct ParametersDeleter {
    void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
};

TEST(EngineTextTest, FormatErrorTextTable) {
    struct Case {
        int code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {AVERROR(ENOENT), "No such file or directory"},
        {AVERROR(EIO), "I/O error"},
        {AVERROR(ENOMEM), "Not enough memory"},
        {AVERROR(EINVAL), "Invalid data found when processing input"},
        {AVERROR(EPIPE), "End of file"},
        {AVERROR(EDOM), "Number syntax expected in filename"},
        {AVERROR(EILSEQ), "Unknown format"},
        {AVERROR(EPROTONOSUPPORT), "Unsupported network protocol"},
        {-1163346256, "Not yet implemented in FFmpeg"},
        // What today's libraries return in place of the errno values above.
        {AVERROR_INVALIDDATA, "Invalid data found when processing input"},
        {AVERROR_EOF, "End of file"},
        {AVERROR_DEMUXER_NOT_FOUND, "Unknown format"},
        {AVERROR_MUXER_NOT_FOUND, "Unknown format"},
        {kErrorDiscStructure, "The disc's structure cannot be read"},
        {kErrorDiscEncrypted, "The title is encrypted; reading it needs libdvdcss (on Debian, "
                              "install the package libdvd-pkg from contrib, which builds "
                              "libdvdcss2)"},
        // Codes of no entry: the library's own text, or the number when it has none.
        {AVERROR(EACCES), "Permission denied"},
        {AVERROR(ENOSPC), "No space left on device"},
        {AVERROR_BUG, "Internal bug, should not have happened"},
        {-10043, "Error number -10043 occurred"},
        {0, "Error number 0 occurred"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(FormatErrorText("clip.avi", c.code), "clip.avi: " + c.text);
    }
    EXPECT_EQ(FormatErrorText("", AVERROR(ENOENT)), ": No such file or directory");
}

TEST(EngineTextTest, FormatTimeTextTruncates) {
    struct Case {
        int64_t us;
        std::string text;
    };
    const std::vector<Case> cases = {
        {NoTimestamp, "N/A"},
        {0, "00:00:00.000"},
        {999, "00:00:00.000"},
        {1999999, "00:00:01.999"},
        {3723004999LL, "01:02:03.004"},
        {59LL * 60000000 + 59999999, "00:59:59.999"},
        {100LL * 3600000000LL, "100:00:00.000"}, // hours do not wrap at 24
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.us);
        EXPECT_EQ(FormatTimeText(c.us), c.text);
    }
}

TEST(EngineTextTest, DescribeCodecForms) {
    struct Case {
        AVCodecID id;
        uint32_t tag;
        bool encoder;
        std::string text;
    };
    const std::vector<Case> cases = {
        {AV_CODEC_ID_MPEG4, 0, true, "mpeg4(MPEG-4 part 2)"},
        {AV_CODEC_ID_H264, 0, false, "h264(H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)"},
        {AV_CODEC_ID_MPEG2TS, 0, false, "mpeg2ts"},
        // Known to the library but without an encoder in this build: the codec's own name.
        {AV_CODEC_ID_VP6, MKTAG('V', 'P', '6', '0'), true, "vp6"},
        {AV_CODEC_ID_NONE, MKTAG('X', 'V', 'I', 'D'), false, "XVID / 0x44495658"},
        {AV_CODEC_ID_NONE, MKTAG(' ', '~', 'a', 'b'), false, " ~ab / 0x62617E20"},
        {AV_CODEC_ID_NONE, MKTAG('a', 'b', 'c', 0x7F), false, "0x7f636261"},
        {AV_CODEC_ID_NONE, MKTAG(0x1F, 'b', 'c', 'd'), false, "0x6463621f"},
        {AV_CODEC_ID_NONE, 1, true, "0x0001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::unique_ptr<AVCodecParameters, ParametersDeleter> par(avcodec_parameters_alloc());
        par->codec_id = c.id;
        par->codec_tag = c.tag;
        EXPECT_EQ(DescribeCodec(par.get(), c.encoder), c.text);
    }
}

TEST(EngineTextTest, MediaTypeNames) {
    const std::vector<std::pair<int, std::string>> cases = {
        {AVMEDIA_TYPE_VIDEO, "Video"},
        {AVMEDIA_TYPE_AUDIO, "Audio"},
        {AVMEDIA_TYPE_DATA, "Data"},
        {AVMEDIA_TYPE_SUBTITLE, "Subtitle"},
        {AVMEDIA_TYPE_ATTACHMENT, "Attachment"},
        {AVMEDIA_TYPE_UNKNOWN, "Unknown"},
        {AVMEDIA_TYPE_NB, "Unknown"},
        {42, "Unknown"},
    };
    for (const auto& [kind, name] : cases) {
        EXPECT_EQ(MediaTypeName(kind), name) << kind;
    }
}

} // namespace
} // namespace quovo
