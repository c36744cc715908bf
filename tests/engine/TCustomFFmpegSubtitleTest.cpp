// Subtitle streams through the engine: DVD subpictures copied, text and DVB subtitles encoded,
// checked by reading the written packets and decoding them.
#include "TCustomFFmpeg.h"

#include "AvCheck.h"
#include "EngineTest.h"
#include "Fixtures.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

using namespace quovo;
using namespace quovo::fixtures;
using namespace quovo::testing_support;
namespace fs = std::filesystem;

namespace {

struct Cue {
    double startS;
    double durationS;
};

// Writes a subtitle-only file of bitmap subtitles (a small striped box per cue) made by
// `encoderName` ("dvdsub", "dvbsub").
void WriteBitmapSubtitles(const std::string& path, const std::string& encoderName,
                          const std::vector<Cue>& cues) {
    const AVCodec* codec = avcodec_find_encoder_by_name(encoderName.c_str());
    if (!codec) {
        throw std::runtime_error("no encoder " + encoderName);
    }
    AvCodecContextPtr enc(avcodec_alloc_context3(codec));
    enc->time_base = {1, 1000};
    enc->width = 720;
    enc->height = 576;
    AVFormatContext* raw = nullptr;
    AvCheck(avformat_alloc_output_context2(&raw, nullptr, nullptr, path.c_str()), "muxer");
    AvFormatContextPtr oc(raw);
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AvCheck(avcodec_open2(enc.get(), codec, nullptr), "open " + encoderName);
    AVStream* st = avformat_new_stream(oc.get(), nullptr);
    AvCheck(avcodec_parameters_from_context(st->codecpar, enc.get()), "parameters");
    st->time_base = {1, 1000};
    AvCheck(avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE), "open " + path);
    AvCheck(avformat_write_header(oc.get(), nullptr), "header");
    std::vector<uint8_t> buffer(1 << 20);
    for (const Cue& cue : cues) {
        AVSubtitle sub{};
        sub.num_rects = 1;
        sub.rects = static_cast<AVSubtitleRect**>(av_mallocz(sizeof(AVSubtitleRect*)));
        AVSubtitleRect* r = static_cast<AVSubtitleRect*>(av_mallocz(sizeof(AVSubtitleRect)));
        sub.rects[0] = r;
        r->type = SUBTITLE_BITMAP;
        r->x = 100;
        r->y = 400;
        r->w = 64;
        r->h = 16;
        r->nb_colors = 4;
        r->linesize[0] = r->w;
        r->data[0] = static_cast<uint8_t*>(av_mallocz(r->w * r->h));
        for (int y = 0; y < r->h; ++y) {
            for (int x = 0; x < r->w; ++x) {
                r->data[0][y * r->w + x] = static_cast<uint8_t>(((x / 8) + (y / 4)) % 4);
            }
        }
        r->data[1] = static_cast<uint8_t*>(av_mallocz(4 * 4));
        const uint32_t palette[4] = {0x00000000, 0xffffffff, 0xff000000, 0xff808080};
        std::memcpy(r->data[1], palette, sizeof palette);
        sub.pts = static_cast<int64_t>(cue.startS * AV_TIME_BASE);
        sub.start_display_time = 0;
        sub.end_display_time = static_cast<uint32_t>(cue.durationS * 1000);
        const int size = avcodec_encode_subtitle(enc.get(), buffer.data(),
                                                 static_cast<int>(buffer.size()), &sub);
        avsubtitle_free(&sub);
        AvCheck(size, "encode subtitle");
        AvPacketPtr pkt = MakePacket();
        AvCheck(av_new_packet(pkt.get(), size), "packet");
        std::memcpy(pkt->data, buffer.data(), size);
        pkt->pts = pkt->dts =
            av_rescale_q(static_cast<int64_t>(cue.startS * 1000), {1, 1000}, st->time_base);
        pkt->duration =
            av_rescale_q(static_cast<int64_t>(cue.durationS * 1000), {1, 1000}, st->time_base);
        pkt->flags |= AV_PKT_FLAG_KEY;
        AvCheck(av_interleaved_write_frame(oc.get(), pkt.get()), "write");
    }
    AvCheck(av_write_trailer(oc.get()), "trailer");
    avio_closep(&oc->pb);
}

// Writes a Matroska file holding one ASS stream with `header` (its styles) and one event.
void WriteAssSubtitles(const std::string& path, const std::string& header, const std::string& event,
                       double startS, double durationS) {
    AVFormatContext* raw = nullptr;
    AvCheck(avformat_alloc_output_context2(&raw, nullptr, "matroska", path.c_str()), "muxer");
    AvFormatContextPtr oc(raw);
    AVStream* st = avformat_new_stream(oc.get(), nullptr);
    st->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    st->codecpar->codec_id = AV_CODEC_ID_ASS;
    st->codecpar->extradata =
        static_cast<uint8_t*>(av_mallocz(header.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(st->codecpar->extradata, header.data(), header.size());
    st->codecpar->extradata_size = static_cast<int>(header.size());
    st->time_base = {1, 1000};
    AvCheck(avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE), "open " + path);
    AvCheck(avformat_write_header(oc.get(), nullptr), "header");
    AvPacketPtr pkt = MakePacket();
    AvCheck(av_new_packet(pkt.get(), static_cast<int>(event.size())), "packet");
    std::memcpy(pkt->data, event.data(), event.size());
    pkt->pts = pkt->dts = av_rescale_q(std::llround(startS * 1000), {1, 1000}, st->time_base);
    pkt->duration = av_rescale_q(std::llround(durationS * 1000), {1, 1000}, st->time_base);
    pkt->flags |= AV_PKT_FLAG_KEY;
    AvCheck(av_interleaved_write_frame(oc.get(), pkt.get()), "write");
    AvCheck(av_write_trailer(oc.get()), "trailer");
    avio_closep(&oc->pb);
}

struct SubtitlePacket {
    double ptsS = 0;
    double durationS = 0;
    int rects = 0;
    std::string text; // the text of decoded text subtitles
};

struct SubtitleTrack {
    std::string codec;
    std::string header; // the stream's set-up (an ASS track's styles)
    std::vector<SubtitlePacket> packets;
};

// Reads the packets of the `nth` subtitle stream (from 0) and decodes each.
SubtitleTrack ReadSubtitles(const std::string& path, int nth = 0) {
    AVFormatContext* raw = nullptr;
    AvCheck(avformat_open_input(&raw, path.c_str(), nullptr, nullptr), "open " + path);
    AvInputContextPtr ic(raw);
    AvCheck(avformat_find_stream_info(ic.get(), nullptr), "stream info");
    int index = -1;
    for (unsigned i = 0; i < ic->nb_streams && index < 0; ++i) {
        if (ic->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE && nth-- == 0) {
            index = static_cast<int>(i);
        }
    }
    if (index < 0) {
        throw std::runtime_error("no such subtitle stream in " + path);
    }
    AVStream* st = ic->streams[index];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    AvCodecContextPtr dec(avcodec_alloc_context3(codec));
    AvCheck(avcodec_parameters_to_context(dec.get(), st->codecpar), "parameters");
    dec->pkt_timebase = st->time_base;
    AvCheck(avcodec_open2(dec.get(), codec, nullptr), "decoder");
    SubtitleTrack track;
    track.codec = avcodec_get_name(st->codecpar->codec_id);
    track.header.assign(reinterpret_cast<const char*>(st->codecpar->extradata),
                        st->codecpar->extradata_size);
    AvPacketPtr pkt = MakePacket();
    while (av_read_frame(ic.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == index) {
            SubtitlePacket p;
            p.ptsS = static_cast<double>(pkt->pts) * av_q2d(st->time_base);
            p.durationS = static_cast<double>(pkt->duration) * av_q2d(st->time_base);
            AVSubtitle sub{};
            int got = 0;
            if (avcodec_decode_subtitle2(dec.get(), &sub, &got, pkt.get()) >= 0 && got) {
                p.rects = static_cast<int>(sub.num_rects);
                for (unsigned i = 0; i < sub.num_rects; ++i) {
                    if (sub.rects[i]->ass) {
                        p.text += sub.rects[i]->ass;
                    }
                }
                avsubtitle_free(&sub);
            }
            track.packets.push_back(p);
        }
        av_packet_unref(pkt.get());
    }
    return track;
}

class SubtitleTest : public EngineTest {};

TEST_F(SubtitleTest, DvdSubpicturesCopyWithTheirTiming) {
    const std::vector<Cue> cues = {{0.5, 1.5}, {2.5, 1.0}, {4.0, 2.0}};
    const std::string in = Out("subpictures.mkv");
    WriteBitmapSubtitles(in, "dvdsub", cues);
    for (const char* output : {"copied.mkv", "copied.vob"}) {
        SCOPED_TRACE(output);
        const std::string out = Out(output);
        Convert({in}, {}, out, {{"scodec", "copy"}});
        const SubtitleTrack t = ReadSubtitles(out);
        EXPECT_EQ(t.codec, "dvd_subtitle");
        ASSERT_EQ(t.packets.size(), cues.size());
        for (size_t i = 0; i < cues.size(); ++i) {
            // The program stream starts its clock a little after zero.
            const double shift = t.packets[0].ptsS - cues[0].startS;
            EXPECT_NEAR(t.packets[i].ptsS - shift, cues[i].startS, 0.002) << i;
            EXPECT_LT(std::abs(shift), 1.0);
            EXPECT_EQ(t.packets[i].rects, 1) << i;
        }
    }
}

TEST_F(SubtitleTest, TextSubtitlesAreEncodedForTheOutput) {
    MediaSpec spec = StandardSpec("h264-aac.mkv");
    spec.durationS = 4;
    spec.subtitles = {{0.5, 1.5, "First line"}, {2.0, 3.0, "Second line"}};
    const std::string in = Out("text.mkv");
    MakeMedia(in, spec);
    const SubtitleTrack src = ReadSubtitles(in);
    ASSERT_EQ(src.packets.size(), spec.subtitles.size());
    struct Case {
        const char* output;
        const char* scodec;
        const char* codec;
    };
    for (const Case& c : {Case{"srt.mkv", "srt", "subrip"}, Case{"ass.mkv", "ass", "ass"},
                          Case{"movtext.mp4", "mov_text", "mov_text"}}) {
        SCOPED_TRACE(c.output);
        const std::string out = Out(c.output);
        Convert({in}, {}, out, {{"vcodec", "copy"}, {"acodec", "copy"}, {"scodec", c.scodec}});
        SubtitleTrack t = ReadSubtitles(out);
        EXPECT_EQ(t.codec, c.codec);
        // MP4 fills the gaps between cues with empty samples.
        std::erase_if(t.packets, [](const SubtitlePacket& p) { return p.text.empty(); });
        ASSERT_EQ(t.packets.size(), spec.subtitles.size());
        for (size_t i = 0; i < spec.subtitles.size(); ++i) {
            const SubtitleCue& cue = spec.subtitles[i];
            EXPECT_NEAR(t.packets[i].ptsS, src.packets[i].ptsS, 0.002) << i;
            EXPECT_NEAR(t.packets[i].durationS, cue.endS - cue.startS, 0.002) << i;
            EXPECT_NE(t.packets[i].text.find(cue.text), std::string::npos) << t.packets[i].text;
        }
        EXPECT_EQ(ProbeMedia(out).Count(StreamKind::Video), 1);
    }

    // A trim moves the cues with the picture; a cue shown across its start or end is cut to
    // it, whether the input is sought to the start or the output starts later.
    struct Trim {
        const char* name;
        Options in, out;
        double endS; // the trim's end in the source (0: none)
    };
    const double startS = 1.0;
    for (const Trim& trim :
         {Trim{"output-start", {}, {{"ss", "1"}}, 0}, Trim{"sought-start", {{"ss", "1"}}, {}, 0},
          Trim{"sought-window", {{"ss", "1"}}, {{"t", "1.5"}}, 2.5}}) {
        SCOPED_TRACE(trim.name);
        const std::string cut = Out(std::string(trim.name) + ".mkv");
        Options out = {{"vcodec", "libx264"}, {"an", "1"}, {"scodec", "srt"}};
        out.insert(out.end(), trim.out.begin(), trim.out.end());
        Convert({in}, trim.in, cut, out);
        const SubtitleTrack t = ReadSubtitles(cut);
        // A sought input may land past a cue that starts before the start point.
        const bool sought = !trim.in.empty();
        size_t k = 0;
        for (size_t i = 0; i < src.packets.size(); ++i) {
            const double show = std::max(src.packets[i].ptsS, startS);
            double hide = src.packets[i].ptsS + src.packets[i].durationS;
            hide = trim.endS > 0 ? std::min(hide, trim.endS) : hide;
            const bool missing =
                k >= t.packets.size() ||
                t.packets[k].text.find(spec.subtitles[i].text) == std::string::npos;
            if (missing) {
                EXPECT_TRUE(sought && src.packets[i].ptsS < startS) << i;
                continue;
            }
            EXPECT_NEAR(t.packets[k].ptsS, show - startS, 0.002) << i;
            EXPECT_NEAR(t.packets[k].durationS, hide - show, 0.002) << i;
            ++k;
        }
        EXPECT_EQ(k, t.packets.size());
    }
}

TEST_F(SubtitleTest, DvbSubtitlesAreShownThenCleared) {
    // DVD subpictures carry their display end; DVB pages need a second, empty page for it.
    const std::vector<Cue> cues = {{1.0, 2.0}, {4.0, 1.0}};
    const std::string in = Out("dvd.mkv");
    WriteBitmapSubtitles(in, "dvdsub", cues);
    for (const char* output : {"dvb.ts", "dvb.mkv"}) {
        SCOPED_TRACE(output);
        const std::string out = Out(std::string("out-") + output);
        Convert({in}, {}, out, {{"scodec", "dvbsub"}});
        const SubtitleTrack t = ReadSubtitles(out);
        EXPECT_EQ(t.codec, "dvb_subtitle");
        ASSERT_EQ(t.packets.size(), 2 * cues.size());
        const double shift = t.packets[0].ptsS - cues[0].startS;
        EXPECT_LT(std::abs(shift), 2.0);
        for (size_t i = 0; i < cues.size(); ++i) {
            const SubtitlePacket& show = t.packets[2 * i];
            const SubtitlePacket& clear = t.packets[2 * i + 1];
            // DVD subpictures time their end in units of 1024/90000 s.
            EXPECT_NEAR(show.ptsS - shift, cues[i].startS, 0.002) << i;
            EXPECT_NEAR(clear.ptsS - show.ptsS, cues[i].durationS, 0.012) << i;
            EXPECT_EQ(show.rects, 1) << i;
            EXPECT_EQ(clear.rects, 0) << i;
        }
    }
}

// Unless a subtitle codec is asked for, an output carries every subtitle stream of its source
// that its container holds, with its language, and leaves the others out without failing.
TEST_F(SubtitleTest, SourceSubtitleStreamsFollowTheContainer) {
    MediaSpec spec = StandardSpec("h264-aac.mkv");
    spec.durationS = 3;
    spec.subtitles = {{0.5, 1.5, "English line"}};
    spec.subtitleLanguage = "eng";
    spec.moreSubtitles = {{{{1.0, 2.0, "Deutsche Zeile"}}, "ger"}};
    const std::string in = Out("two-tracks.mkv");
    MakeMedia(in, spec);
    // DVD subpictures only Matroska keeps (as they are).
    const std::string bitmaps = Out("subpictures.mkv");
    WriteBitmapSubtitles(bitmaps, "dvdsub", {{0.5, 1.0}});

    struct Case {
        const char* output;
        Options options;
        bool withBitmaps;
        std::vector<std::string> codecs; // of the output's subtitle streams, in order
    };
    const Options copy = {{"vcodec", "copy"}, {"acodec", "copy"}};
    const Case cases[] = {
        {"keep.mkv", copy, false, {"subrip", "subrip"}},
        {"keep.mp4", copy, false, {"mov_text", "mov_text"}},
        {"none.avi", {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}}, false, {}},
        {"none.mpg", {{"vcodec", "mpeg2video"}, {"acodec", "mp2"}}, false, {}},
        {"bitmaps.mkv", copy, true, {"subrip", "subrip", "dvd_subtitle"}},
        {"bitmaps.mp4", copy, true, {"mov_text", "mov_text"}},
        {"sn.mkv", {{"vcodec", "copy"}, {"acodec", "copy"}, {"sn", "1"}}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const std::string out = Out(c.output);
        std::vector<std::string> inputs = {in};
        if (c.withBitmaps) {
            inputs.push_back(bitmaps);
        }
        Convert(inputs, {}, out, c.options);
        const ProbeResult probe = ProbeMedia(out, ProbeDepth::Packets);
        EXPECT_EQ(probe.Count(StreamKind::Video), 1);
        EXPECT_EQ(probe.Count(StreamKind::Audio), 1);
        ASSERT_EQ(probe.Count(StreamKind::Subtitle), static_cast<int>(c.codecs.size()));
        for (size_t i = 0; i < c.codecs.size(); ++i) {
            const StreamProbe& st = *probe.Find(StreamKind::Subtitle, static_cast<int>(i));
            EXPECT_EQ(st.codec, c.codecs[i]) << i;
            if (i < 2) {
                EXPECT_EQ(st.language, i == 0 ? "eng" : "ger") << i;
            }
        }
        for (int track = 0; track < std::min<int>(2, c.codecs.size()); ++track) {
            // Each text track's cue, in its place.
            SubtitleTrack t = ReadSubtitles(out, track);
            std::erase_if(t.packets, [](const SubtitlePacket& p) { return p.text.empty(); });
            ASSERT_EQ(t.packets.size(), 1u) << track;
            const SubtitleCue& cue = track == 0 ? spec.subtitles[0] : spec.moreSubtitles[0].cues[0];
            EXPECT_NE(t.packets[0].text.find(cue.text), std::string::npos) << t.packets[0].text;
            EXPECT_NEAR(t.packets[0].ptsS, ReadSubtitles(in, track).packets[0].ptsS, 0.002)
                << track;
            EXPECT_NEAR(t.packets[0].durationS, cue.endS - cue.startS, 0.002) << track;
        }
    }

    // An ASS track keeps its styles.
    const std::string styled = Out("styled.mkv");
    const std::string styles =
        "[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize, "
        "PrimaryColour\nStyle: Yellow,Serif,30,&H00FFFF\n\n[Events]\nFormat: Layer, Start, "
        "End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    WriteAssSubtitles(styled, styles, "0,0,Yellow,,0,0,0,,Styled line", 0.5, 1.0);
    const std::string restyled = Out("restyled.mkv");
    Convert({in, styled}, {}, restyled, copy);
    const ProbeResult r = ProbeMedia(restyled, ProbeDepth::Packets);
    ASSERT_EQ(r.Count(StreamKind::Subtitle), 3);
    EXPECT_EQ(r.Find(StreamKind::Subtitle, 2)->codec, "ass");
    const SubtitleTrack ass = ReadSubtitles(restyled, 2);
    ASSERT_EQ(ass.packets.size(), 1u);
    EXPECT_NE(ass.packets[0].text.find("Yellow"), std::string::npos) << ass.packets[0].text;
    EXPECT_NE(ass.header.find("Style: Yellow,Serif,30"), std::string::npos) << ass.header;

    // A cue the output's text format cannot hold (MP4 text holds 64 KiB) is left out alone.
    MediaSpec longCue = spec;
    longCue.subtitles = {{0.2, 0.8, std::string(70000, 'x')}, {1.0, 1.5, "Short line"}};
    longCue.moreSubtitles.clear();
    const std::string longIn = Out("long-cue.mkv");
    MakeMedia(longIn, longCue);
    const std::string longOut = Out("long-cue.mp4");
    Convert({longIn}, {}, longOut, copy);
    SubtitleTrack kept = ReadSubtitles(longOut);
    std::erase_if(kept.packets, [](const SubtitlePacket& p) { return p.text.empty(); });
    ASSERT_EQ(kept.packets.size(), 1u);
    EXPECT_NE(kept.packets[0].text.find("Short line"), std::string::npos);

    // Joined inputs share one output layout: their subtitles are left out.
    const std::string joined = Out("joined.mkv");
    Convert({in, in}, {}, joined, copy, true);
    const ProbeResult probe = ProbeMedia(joined, ProbeDepth::Packets);
    EXPECT_EQ(probe.Count(StreamKind::Subtitle), 0);
    EXPECT_NEAR(probe.durationS, 2 * spec.durationS, 0.2);
}

} // namespace
