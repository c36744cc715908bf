// The plug-in on the test disc: the title records, and the "opendvd:" input read by the engine.
#include "DVDPlugIn.h"
#include "DVDSubpicture.h"
#include "DvdTestSupport.h"
#include "LibraryIO.h"
#include "TCustomFFmpeg.h"
#include "TFFmpegLoader.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <map>

using namespace quovo;
using namespace quovo::fixtures;

namespace {

constexpr double kGopS = 15 / 25.0; // the PAL DVD target's GOP

int32_t I32(const std::array<uint8_t, 3960>& raw, size_t at) {
    int32_t v;
    std::memcpy(&v, raw.data() + at, sizeof v);
    return v;
}

std::string Text(const std::array<uint8_t, 3960>& raw, size_t at) {
    const char* p = reinterpret_cast<const char*>(raw.data() + at);
    return std::string(p, strnlen(p, 64));
}

std::array<uint8_t, 3960> RawTitle(int index) {
    DVDTitleInfo info;
    EXPECT_TRUE(GetDVDTitle(index, info)) << "title " << index + 1;
    std::array<uint8_t, 3960> raw{};
    std::memcpy(raw.data(), &info, sizeof info);
    return raw;
}

class DiscTitles : public testing::TestWithParam<bool> {
protected:
    std::string Path() const { return GetParam() ? dvdtest::Disc().iso : dvdtest::Disc().folder; }
};

TEST_P(DiscTitles, EveryFieldOfBothTitles) {
    dvdtest::LoadPlugin();
    ASSERT_EQ(EnumDVDTitles(Path()), 2);

    const auto t1 = RawTitle(0);
    double duration;
    std::memcpy(&duration, t1.data(), sizeof duration);
    EXPECT_NEAR(duration, kTitle1Seconds, 0.1);
    EXPECT_EQ(I32(t1, 8), 2);  // MPEG-2
    EXPECT_EQ(I32(t1, 12), 3); // 16:9
    EXPECT_EQ(I32(t1, 16), 720);
    EXPECT_EQ(I32(t1, 20), 576);
    EXPECT_EQ(I32(t1, 24), 25);
    EXPECT_EQ(I32(t1, 28), 1);
    ASSERT_EQ(I32(t1, 32), 2);
    EXPECT_EQ(I32(t1, 36 + 0), 4); // AC3
    EXPECT_EQ(I32(t1, 36 + 4), 0x80);
    EXPECT_EQ(I32(t1, 36 + 8), 2);
    EXPECT_EQ(I32(t1, 36 + 12), 48000);
    EXPECT_EQ(Text(t1, 36 + 16), "en");
    EXPECT_EQ(Text(t1, 36 + 20), "English");
    EXPECT_EQ(I32(t1, 120 + 0), 3); // MPA
    EXPECT_EQ(I32(t1, 120 + 4), 0xC1);
    EXPECT_EQ(Text(t1, 120 + 20), "German");
    EXPECT_EQ(I32(t1, 204 + 4), 0); // beyond the count: as the caller filled it
    ASSERT_EQ(I32(t1, 708), 2);
    EXPECT_EQ(I32(t1, 712 + 0), 7);
    EXPECT_EQ(I32(t1, 712 + 4), 0x20);
    EXPECT_EQ(Text(t1, 712 + 8), "en");
    EXPECT_EQ(Text(t1, 712 + 12), "English");
    EXPECT_EQ(I32(t1, 788 + 4), 0x21);
    EXPECT_EQ(Text(t1, 788 + 12), "French");
    // The subpictures' palette (0x00YYCrCb): white and yellow first.
    EXPECT_EQ(PaletteEntryToRgb(static_cast<uint32_t>(I32(t1, 3552))), kSubtitle32Rgb);
    EXPECT_EQ(PaletteEntryToRgb(static_cast<uint32_t>(I32(t1, 3556))) & 0xF0F0F0u,
              kSubtitle33Rgb & 0xF0F0F0u);
    EXPECT_EQ(I32(t1, 3144), 4);
    EXPECT_EQ(I32(t1, 3148), 1); // angles
    EXPECT_EQ(I32(t1, 3152), 1); // title set
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(I32(t1, 3156 + 4 * c) / 1000.0, Title1ChapterStarts()[c], kGopS) << c;
    }

    const auto t2 = RawTitle(1);
    std::memcpy(&duration, t2.data(), sizeof duration);
    EXPECT_NEAR(duration, kTitle2Seconds, 0.1);
    EXPECT_EQ(I32(t2, 8), 2);
    EXPECT_EQ(I32(t2, 12), 0); // 4:3
    EXPECT_EQ(I32(t2, 16), 720);
    EXPECT_EQ(I32(t2, 20), 480);
    EXPECT_EQ(I32(t2, 24), 30000);
    EXPECT_EQ(I32(t2, 28), 1001);
    ASSERT_EQ(I32(t2, 32), 1);
    EXPECT_EQ(I32(t2, 36 + 4), 0x80);
    EXPECT_EQ(Text(t2, 36 + 20), "English");
    EXPECT_EQ(I32(t2, 708), 0);
    EXPECT_EQ(I32(t2, 3144), 2);
    EXPECT_EQ(I32(t2, 3152), 2);

    DVDTitleInfo none;
    EXPECT_FALSE(GetDVDTitle(2, none));
    EXPECT_FALSE(GetDVDTitle(-1, none));
}

INSTANTIATE_TEST_SUITE_P(FolderAndIso, DiscTitles, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Iso" : "Folder"; });

std::string ReadAll(const std::string& name) {
    std::unique_ptr<TLibraryIO> io;
    const int err = TLibraryIO::Open(name, AVIO_FLAG_READ, io);
    if (err < 0) {
        ADD_FAILURE() << "cannot open " << name << ": " << err;
        return {};
    }
    std::string bytes;
    std::vector<uint8_t> buf(100000);
    for (;;) {
        const int n = avio_read(io->Context(), buf.data(), static_cast<int>(buf.size()));
        if (n <= 0) {
            break;
        }
        bytes.append(reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(n));
    }
    return bytes;
}

// PES packets per stream (0xBD sub-streams as 0x100 + sub id) of a stream of 2048-byte packs.
std::map<int, int> CountPes(const std::string& bytes) {
    std::map<int, int> counts;
    for (size_t at = 0; at + 2048 <= bytes.size(); at += 2048) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
        size_t i = 14 + (p[13] & 7);
        while (i + 6 <= 2048 && p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) {
            const size_t len = static_cast<size_t>(p[i + 4] << 8 | p[i + 5]);
            if (p[i + 3] == 0xBD) {
                ++counts[0x100 + p[i + 9 + p[i + 8]]];
            } else {
                ++counts[p[i + 3]];
            }
            i += 6 + len;
        }
    }
    return counts;
}

TEST(OpenDVDReader, KeepsOnlyTheChosenStreamsAtTheSameBytePositions) {
    dvdtest::LoadPlugin();
    const std::string base = std::string("opendvd:") + dvdtest::Disc().iso + "|Title=1";
    const std::string all = ReadAll(base + ",AudioID=0,SubtitleID=32");
    const std::string mp2 = ReadAll(base + ",AudioID=193,SubtitleID=33");
    // No subtitle chosen: the stream of the audio's language stays for its forced subpictures.
    const std::string defaults = ReadAll(base + ",AudioID=128,SubtitleID=0");
    ASSERT_FALSE(all.empty());
    ASSERT_EQ(all.size() % 2048, 0u);
    ASSERT_EQ(mp2.size(), all.size());

    std::map<int, int> a = CountPes(all);
    std::map<int, int> m = CountPes(mp2);
    EXPECT_GT(a[0x180], 0); // AC-3
    EXPECT_GT(a[0xC1], 0);  // MP2
    EXPECT_GT(a[0x120], 0); // subpictures
    EXPECT_EQ(a[0x121], 0);
    EXPECT_EQ(m[0x180], 0);
    EXPECT_EQ(m[0x120], 0);
    EXPECT_GT(m[0x121], 0);
    EXPECT_EQ(m[0xC1], a[0xC1]);
    EXPECT_EQ(m[0xE0], a[0xE0]);
    EXPECT_EQ(m[0xBE], a[0xBE] + a[0x180] + a[0x120] - m[0x121]);
    EXPECT_EQ(CountPes(defaults)[0x120], a[0x120]);
    EXPECT_EQ(CountPes(defaults)[0x121], 0);
    // Packs without a dropped packet are untouched.
    int same = 0;
    for (size_t at = 0; at < all.size(); at += 2048) {
        const std::string one = all.substr(at, 2048);
        if (CountPes(one).count(0x180) == 0 && CountPes(one).count(0x120) == 0 &&
            CountPes(mp2.substr(at, 2048)).count(0x121) == 0) {
            EXPECT_EQ(one, mp2.substr(at, 2048)) << "pack " << at / 2048;
            ++same;
        }
    }
    EXPECT_GT(same, 0);
}

TEST(OpenDVDReader, SeeksByByteAcrossTheWholeTitle) {
    dvdtest::LoadPlugin();
    const std::string name = std::string("opendvd:") + dvdtest::Disc().folder +
                             "|Title=1,FromChapter=2,ToChapter=4,AudioID=128,SubtitleID=32";
    const std::string whole = ReadAll(name);
    ASSERT_GT(whole.size(), 100000u);

    std::unique_ptr<TLibraryIO> io;
    ASSERT_EQ(TLibraryIO::Open(name, AVIO_FLAG_READ, io), 0);
    AVIOContext* pb = io->Context();
    EXPECT_EQ(avio_size(pb), static_cast<int64_t>(whole.size()));
    const int64_t offsets[] = {static_cast<int64_t>(whole.size()) - 5000,
                               0,
                               2047,
                               2048,
                               123457,
                               static_cast<int64_t>(whole.size()) / 2,
                               64 * 2048 - 7};
    for (int64_t off : offsets) {
        ASSERT_EQ(avio_seek(pb, off, SEEK_SET), off);
        std::vector<uint8_t> buf(3000);
        const int n = avio_read(pb, buf.data(), static_cast<int>(buf.size()));
        const size_t want = std::min<size_t>(buf.size(), whole.size() - static_cast<size_t>(off));
        ASSERT_EQ(n, static_cast<int>(want)) << off;
        EXPECT_EQ(std::memcmp(buf.data(), whole.data() + off, want), 0) << off;
    }
    const int64_t end = static_cast<int64_t>(whole.size());
    ASSERT_EQ(avio_seek(pb, end, SEEK_SET), end);
    uint8_t byte;
    EXPECT_EQ(avio_read(pb, &byte, 1), AVERROR_EOF);
}

// Demuxes an input name and tells what a player would see.
struct Demuxed {
    int width = 0;
    int height = 0;
    int audioStreams = 0;
    double videoSpanS = 0;
};

Demuxed Demux(const std::string& name) {
    Demuxed d;
    std::unique_ptr<TLibraryIO> io;
    if (TLibraryIO::Open(name, AVIO_FLAG_READ, io) < 0) {
        ADD_FAILURE() << "cannot open " << name;
        return d;
    }
    AVFormatContext* raw = avformat_alloc_context();
    raw->pb = io->Context();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&raw, name.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot demux " << name;
        return d;
    }
    AvInputContextPtr ic(raw);
    avformat_find_stream_info(ic.get(), nullptr);
    int video = -1;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVCodecParameters* par = ic->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && video < 0) {
            video = static_cast<int>(i);
            d.width = par->width;
            d.height = par->height;
        }
        d.audioStreams += par->codec_type == AVMEDIA_TYPE_AUDIO;
    }
    AvPacketPtr pkt = MakePacket();
    int64_t lo = INT64_MAX;
    int64_t hi = INT64_MIN;
    while (av_read_frame(ic.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == video && pkt->pts != AV_NOPTS_VALUE) {
            lo = std::min(lo, pkt->pts);
            hi = std::max(hi, pkt->pts);
        }
        av_packet_unref(pkt.get());
    }
    if (video >= 0 && hi >= lo) {
        d.videoSpanS = static_cast<double>(hi - lo) * av_q2d(ic->streams[video]->time_base);
    }
    return d;
}

TEST(OpenDVDReader, NameWithoutParametersPlaysTheLastSetTitle) {
    dvdtest::LoadPlugin();
    ASSERT_EQ(EnumDVDTitles(dvdtest::Disc().iso), 2);
    const std::string name = std::string("opendvd:") + dvdtest::Disc().iso;

    SetDVDPlayParams(DVDPlayParams{1, 0, 99, 0x80, 0, 2, 0});
    Demuxed second = Demux(name);
    EXPECT_EQ(second.width, 720);
    EXPECT_EQ(second.height, 480);
    EXPECT_EQ(second.audioStreams, 1);
    EXPECT_NEAR(second.videoSpanS, kTitle2Seconds, 0.5);

    SetDVDPlayParams(DVDPlayParams{0, 4, 4, 0x80, 0, 2, 0});
    Demuxed last = Demux(name);
    EXPECT_EQ(last.height, 576);
    EXPECT_EQ(last.audioStreams, 1);
    EXPECT_NEAR(last.videoSpanS, kTitle1Seconds - Title1ChapterStarts()[3], kGopS + 0.05);
}

TEST(OpenDVDReader, ChannelsAndDeinterlaceOfTheNameReachTheEngine) {
    // The title was chosen with one channel and deinterlacing: the engine's input takes both,
    // so the output is mono whatever the disc's track has.
    ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    dvdtest::LoadPlugin();
    struct Case {
        const char* params;
        int channels;
        bool deinterlace;
    };
    for (const Case& c : {Case{"AudioChannels=1,Deinterlace=1", 1, true},
                          Case{"AudioChannels=0,Deinterlace=0", 2, false}}) {
        SCOPED_TRACE(c.params);
        const std::string name = std::string("opendvd:") + dvdtest::Disc().iso +
                                 "|Title=1,FromChapter=1,ToChapter=1,AudioID=128,SubtitleID=0," +
                                 c.params;
        TCustomFFmpeg e;
        ASSERT_TRUE(e.OpenInputFile(name)) << e.LastErrorText();
        EXPECT_EQ(e.Options().audioChannels, c.channels);
        EXPECT_EQ(e.Options().doDeinterlace, c.deinterlace);
        e.SetOption("vn", "1");
        e.SetOption("acodec", "mp2");
        const std::string out =
            dvdtest::ScratchDir(std::string("channels-") + std::to_string(c.channels)) + "/a.mp2";
        ASSERT_GT(e.OpenOutputFile(out, false), 0) << e.LastErrorText();
        e.Transcode();
        e.ReleaseAll();
        EXPECT_EQ(ProbeMedia(out).Find(StreamKind::Audio)->channels, c.channels);
    }
}

// quovo-convert reading "opendvd:" names the DVD run forms.
struct ConvertCase {
    const char* what;
    int audioId;
    int subtitleId;
    int from;
    int to;
    double toneHz;
    bool subtitles;
};

void PrintTo(const ConvertCase& c, std::ostream* os) {
    *os << c.what;
}

class ConvertTitle : public testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertTitle, OutputHoldsTheChosenChaptersAndStreams) {
    const ConvertCase& c = GetParam();
    const std::string name =
        std::string("opendvd:") + dvdtest::Disc().iso +
        "|Title=1,FromChapter=" + std::to_string(c.from) + ",ToChapter=" + std::to_string(c.to) +
        ",AudioID=" + std::to_string(c.audioId) + ",SubtitleID=" + std::to_string(c.subtitleId) +
        ",AudioChannels=2,Deinterlace=0";
    const std::string out = dvdtest::ScratchDir(std::string("convert-") + c.what) + "/out.vob";
    RunTool({QUOVO_CONVERT_PATH, "--loglevel", "error", name, "--out", "vcodec=copy", "--out",
             "acodec=copy", "--out", "scodec=copy", out});

    const ProbeResult probe = ProbeMedia(out, ProbeDepth::Packets);
    ASSERT_EQ(probe.Count(StreamKind::Video), 1);
    ASSERT_EQ(probe.Count(StreamKind::Audio), 1);
    EXPECT_EQ(probe.Count(StreamKind::Subtitle), c.subtitles ? 1 : 0);
    const StreamProbe* video = probe.Find(StreamKind::Video);
    EXPECT_EQ(video->height, 576);
    const std::vector<double>& starts = Title1ChapterStarts();
    const double from = c.from == 0 ? 0 : starts[c.from - 1];
    const double to = c.to == 99 || c.to == 4 ? kTitle1Seconds : starts[c.to];
    EXPECT_NEAR(video->lastPtsS - video->firstPtsS + 1 / 25.0, to - from, kGopS);
    EXPECT_NEAR(DominantFrequency(out, 0, 1.0, 0.5), c.toneHz, 15.0);
}

INSTANTIATE_TEST_SUITE_P(
    Disc, ConvertTitle,
    testing::Values(ConvertCase{"mp2-chapters-2-3", 0xC1, 32, 2, 3, kTitle1Mp2Hz, true},
                    ConvertCase{"ac3-chapters-2-3", 128, 0, 2, 3, kTitle1Ac3Hz, false},
                    ConvertCase{"ac3-whole-title", 128, 32, 0, 99, kTitle1Ac3Hz, true}),
    [](const auto& info) {
        std::string n = info.param.what;
        std::replace(n.begin(), n.end(), '-', '_');
        return n;
    });

} // namespace
