// Checks the shipped quovoformat.ini against the catalogue, the editing rules and this FFmpeg
// build: every format must offer only encoders and containers that exist, and defaults that the
// encoders accept.
#include "FormatCatalogue.h"
#include "FormatRules.h"
#include "TFormatParameterEditor.h"
#include "TGlobalObject.h"
#include "TIniStore.h"

#include "FormatsTestSupport.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cmath>
#include <fstream>
#include <map>
#include <set>

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;

// Names the engine replaces by this library generation's encoder.
std::string CurrentEncoderName(const std::string& name) {
    if (name == "libfaac") {
        return "aac";
    }
    if (name == "libflac") {
        return "flac";
    }
    return name;
}

const AVOutputFormat* Muxer(const std::string& format, const std::string& ext) {
    if (IsContainerKeyword(ToLower(format))) {
        return av_guess_format(ToLower(format).c_str(), nullptr, nullptr);
    }
    return av_guess_format(nullptr, ("x." + ext).c_str(), nullptr);
}

// One read per section: the file is parsed afresh on every store call, and this test asks for
// thousands of values.
class TSectionSnapshot {
public:
    TSectionSnapshot(const TIniStore& ini, int code) {
        for (auto& [k, v] : ini.ReadSectionValues(FormatSection(code))) {
            values_[ToLower(k)] = v;
        }
    }
    bool Exists() const { return !values_.empty(); }
    bool Has(const std::string& key) const { return values_.count(ToLower(key)) != 0; }
    std::string Read(const std::string& key, const std::string& dflt) const {
        auto it = values_.find(ToLower(key));
        return it == values_.end() ? dflt : it->second;
    }
    std::vector<std::string> List(const char* key) const {
        return SplitFormatList(Read(key, "null")).value_or(std::vector<std::string>());
    }
    std::string Default(const char* listKey, const char* indexKey) const {
        auto list = List(listKey);
        auto i = ParseWholeNumber(Read(indexKey, "-1")).value_or(-1);
        return i >= 0 && i < static_cast<int>(list.size()) ? list[i] : "<out of range>";
    }

private:
    std::map<std::string, std::string> values_;
};

class FormatFileTest : public ::testing::Test {
protected:
    TIniStore formats_{FindFormatFile()};
};

TEST_F(FormatFileTest, EverySectionMatchesTheCatalogueAndTheRules) {
    ASSERT_TRUE(formats_.SectionExists("formatInfo0")) << formats_.Path();
    for (const TFormatEntry& f : AllFormats()) {
        SCOPED_TRACE(std::to_string(f.Code) + " " + f.Name);
        TSectionSnapshot sec(formats_, f.Code);
        ASSERT_TRUE(sec.Exists());
        const std::string format = sec.Read("Format", "null");
        const std::string ext = sec.Read("FileExt", "");
        ASSERT_NE(format, "null");
        ASSERT_FALSE(ext.empty());
        const AVOutputFormat* muxer = Muxer(format, ext);
        ASSERT_NE(muxer, nullptr) << format << " / " << ext;
        // The extension names the same kind of file as the muxer writes.
        const AVOutputFormat* byExt = av_guess_format(nullptr, ("x." + ext).c_str(), nullptr);
        ASSERT_NE(byExt, nullptr) << ext;

        // All nine lists present and well formed, default indexes inside them.
        const char* lists[9][2] = {{"VideoSize", "iVideoSize"},
                                   {"VideoBitRate", "iVideoBitRate"},
                                   {"FrameRate", "iFrameRate"},
                                   {"VideoEncoder", "iVideoEncoder"},
                                   {"AudioBitRate", "iAudioBitRate"},
                                   {"SampleRate", "iSampleRate"},
                                   {"AudioEncoder", "iAudioEncoder"},
                                   {"Channel", "iChannel"},
                                   {"Volume", "iVolume"}};
        const bool video = sec.Read("VideoEncoder", "null") != "null";
        for (auto& [list, index] : lists) {
            ASSERT_TRUE(sec.Has(list)) << list;
            ASSERT_TRUE(sec.Has(index)) << index;
            const std::string value = sec.Read(list, "");
            const bool videoList =
                std::string(list).rfind("Video", 0) == 0 || std::string(list) == "FrameRate";
            if (videoList && !video) {
                EXPECT_EQ(value, "null") << list;
                continue;
            }
            auto items = sec.List(list);
            ASSERT_FALSE(items.empty()) << list;
            std::set<std::string> unique(items.begin(), items.end());
            EXPECT_EQ(unique.size(), items.size()) << list << " repeats an entry";
            EXPECT_EQ(unique.count(""), 0u) << list << " has an empty entry";
            EXPECT_NE(sec.Default(list, index), "<out of range>") << index;
        }

        // Entries the boxes will accept as they are.
        for (const auto& size : sec.List("VideoSize")) {
            auto check = CheckVideoSize(size);
            EXPECT_TRUE(check.Outcome == TVideoSizeCheck::Store ||
                        check.Outcome == TVideoSizeCheck::Skip)
                << size;
        }
        const bool mpeg2 = sec.List("VideoEncoder").size() > 0 &&
                           sec.Default("VideoEncoder", "iVideoEncoder") == "mpeg2video";
        for (const auto& v : sec.List("VideoBitRate")) {
            EXPECT_TRUE(IsValidVideoBitRate(v)) << v;
            // MPEG-2 brings the DVD target along, whose maximum rate is 9000 kbit/s.
            if (mpeg2 && v != "as source") {
                EXPECT_LE(std::stoi(v), 9000) << v;
            }
        }
        for (const auto& v : sec.List("FrameRate")) {
            EXPECT_TRUE(v == "as source" || (IsDecimalNumber(v) && std::stod(v) > 0)) << v;
        }
        for (const auto& v : sec.List("AudioBitRate")) {
            EXPECT_TRUE(IsValidAudioBitRate(v)) << v;
        }
        for (const auto& v : sec.List("SampleRate")) {
            EXPECT_TRUE(IsValidSampleRate(v)) << v;
        }
        for (const auto& v : sec.List("Channel")) {
            EXPECT_TRUE(ChannelValue(v).has_value()) << v;
        }
        for (const auto& v : sec.List("Volume")) {
            EXPECT_TRUE(VolumeValue(v).has_value()) << v;
        }
        EXPECT_EQ(sec.Default("Volume", "iVolume"), "100%");
        for (const char* key : kTuningKeys) {
            EXPECT_NO_THROW(QualifyTuningValue(key, sec.Read(key, ""))) << key;
        }

        // Encoders: only table entries, and only ones this build has (or the muxer's own choice).
        for (const auto& entry : sec.List("VideoEncoder")) {
            auto stored = VideoEncoderValue(entry);
            ASSERT_TRUE(stored.has_value()) << entry;
            const AVCodec* codec = IsVideoCodecName(*stored)
                                       ? avcodec_find_encoder_by_name(stored->c_str())
                                       : avcodec_find_encoder(muxer->video_codec);
            ASSERT_NE(codec, nullptr) << entry;
            // 0 = refused; a muxer that cannot tell answers with an error code.
            EXPECT_NE(avformat_query_codec(muxer, codec->id, FF_COMPLIANCE_NORMAL), 0)
                << entry << " in " << muxer->name;
        }
        for (const auto& entry : sec.List("AudioEncoder")) {
            auto stored = AudioEncoderValue(entry);
            ASSERT_TRUE(stored.has_value()) << entry;
            const AVCodec* codec =
                avcodec_find_encoder_by_name(CurrentEncoderName(*stored).c_str());
            ASSERT_NE(codec, nullptr) << entry;
            EXPECT_FALSE(codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) << entry;
            EXPECT_NE(avformat_query_codec(muxer, codec->id, FF_COMPLIANCE_NORMAL), 0)
                << entry << " in " << muxer->name;
            // The default sample rate is one the encoder takes.
            const std::string rate = sec.Default("SampleRate", "iSampleRate");
            if (codec->supported_samplerates != nullptr && rate != "as source") {
                bool found = false;
                for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
                    found = found || *r == std::stoi(rate);
                }
                EXPECT_TRUE(found) << entry << " at " << rate;
            }
        }

        if (!video) {
            continue;
        }
        const std::string venc = *VideoEncoderValue(sec.Default("VideoEncoder", "iVideoEncoder"));
        const std::string size = sec.Default("VideoSize", "iVideoSize");
        const std::string rate = sec.Default("FrameRate", "iFrameRate");
        if (venc == "h263") {
            EXPECT_NE(std::string("704x576,352x288,176x144,128x96").find(size), std::string::npos)
                << size;
        }
        if (venc == "dvvideo") {
            EXPECT_TRUE((size == "720x480" && rate == "29.97") ||
                        (size == "720x576" && rate == "25"))
                << size << " at " << rate;
        }
        const AVCodec* vcodec = IsVideoCodecName(venc) ? avcodec_find_encoder_by_name(venc.c_str())
                                                       : avcodec_find_encoder(muxer->video_codec);
        if (vcodec->supported_framerates != nullptr && rate != "as source") {
            bool found = false;
            for (const AVRational* r = vcodec->supported_framerates; r->num != 0; ++r) {
                found = found || std::fabs(av_q2d(*r) - std::stod(rate)) < 0.01;
            }
            EXPECT_TRUE(found) << venc << " at " << rate;
        }
    }
    // Nothing but catalogue formats.
    std::ifstream file(formats_.Path());
    std::string line;
    std::set<std::string> sections;
    while (std::getline(file, line)) {
        if (!line.empty() && line.front() == '[') {
            const std::string name = line.substr(1, line.find(']') - 1);
            EXPECT_TRUE(sections.insert(ToLower(name)).second) << "repeated section " << name;
            const std::string prefix = "formatinfo";
            auto code = ParseWholeNumber(ToLower(name).substr(0, prefix.size()) == prefix
                                             ? name.substr(prefix.size())
                                             : std::string("x"));
            EXPECT_TRUE(code && FindFormat(*code)) << name;
        }
    }
    EXPECT_EQ(sections.size(), 115u);
}

TEST_F(FormatFileTest, EveryFormatStoresItsDefaultsWithoutComplaint) {
    TScratchFolder dir;
    TIniStore settings(dir / "quovo.ini");
    TRecordingDialogs dialogs;
    for (const TFormatEntry& f : AllFormats()) {
        SCOPED_TRACE(f.Code);
        ASSERT_TRUE(EnsureFormatSettings(settings, formats_, f.Code, dialogs, "Quovo"));
        const std::string s = FormatSection(f.Code);
        const bool video = formats_.ReadString(s, "VideoEncoder", "null") != "null";
        EXPECT_EQ(settings.ValueExists(s, "paraVideoEncoder"), video);
        EXPECT_FALSE(settings.ReadString(s, "paraAudioEncoder", "").empty());
        EXPECT_EQ(settings.ReadString(s, "paraVolume", ""), "256");
        if (video) {
            EXPECT_EQ(settings.ReadString(s, "paraVideoSize", ""),
                      TSectionSnapshot(formats_, f.Code).Default("VideoSize", "iVideoSize"));
            EXPECT_EQ(settings.ReadString(s, "paraZoom", ""), "lbox");
        }
    }
    EXPECT_TRUE(dialogs.Messages.empty())
        << dialogs.Messages.size() << " messages, first: " << dialogs.Messages[0].Text;
}

} // namespace
} // namespace quovo
