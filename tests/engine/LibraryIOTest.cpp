#include "LibraryIO.h"

#include "AvPtr.h"
#include "MyUtils.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace quovo {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

// Reads everything left in a context opened for reading.
std::string ReadAll(AVIOContext* pb) {
    std::string data;
    uint8_t buf[4096];
    for (;;) {
        const int n = avio_read(pb, buf, sizeof(buf));
        if (n <= 0) {
            break;
        }
        data.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
    }
    return data;
}

class LibraryIOTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterUnicodeProtocol();
        dir_ = fs::temp_directory_path() / ("quovo-libraryio-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string UnicodeName(const std::string& fileName) const {
        return "unicode:utf8:" + (dir_ / fileName).string();
    }

    fs::path dir_;
};

TEST(LibraryNamesTest, OnlyNamesThatAreNotUtf8NeedTheUnicodeForm) {
    const struct {
        std::string name;
        bool needs;
    } cases[] = {
        {"/videos/holiday.mp4", false},
        {"/videos/Überspielung 映像 😀.mkv", false}, // valid UTF-8 goes to the libraries as it is
        {"/videos/\xff\xfe.avi", true},
        {"/videos/\xc0\xaf.avi", true},         // overlong "/"
        {"/videos/\xed\xa0\x80.avi", true},     // a surrogate
        {"/videos/\xe2\x82", true},             // cut short
        {"/videos/\xf4\x90\x80\x80.avi", true}, // above U+10FFFF
        {"http://host/\xff.mp4", false},        // URLs of the listed schemes pass unchanged
        {"udp://239.0.0.1:1234?\xff", false},
        {"pipe:\xff", false},
        {"unicode:utf8:/x/\xff", false},
        {"HTTP://host/\xff.mp4", true}, // the schemes are compared with case
        {"file:/videos/\xff.avi", true},
        {"https://host/\xff.mp4", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NeedsUnicodeName(c.name), c.needs) << c.name;
        const std::string library = ToLibraryName(c.name);
        EXPECT_EQ(library, c.needs ? "unicode:utf8:" + c.name : c.name);
        if (c.needs) {
            EXPECT_EQ(FromLibraryName(library), c.name);
        }
    }
}

TEST(LibraryNamesTest, FromLibraryNameStripsUpToTheSecondColon) {
    // clang-format off
    const struct {
        const char* libraryName;
        const char* name;
    } cases[] = {
        {"unicode:utf8:/a/b.mp4", "/a/b.mp4"},
        {"unicode:utf8:x:y:z", "x:y:z"},
        {"unicode:utf8:", "unicode:utf8:"}, // needs at least one more character
        {"unicode:ansi:/a", "unicode:ansi:/a"},
        {"Unicode:utf8:/a", "Unicode:utf8:/a"},
        {"/plain/name.avi", "/plain/name.avi"},
        {"", ""},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(FromLibraryName(c.libraryName), c.name) << c.libraryName;
    }
}

TEST_F(LibraryIOTest, MuxerAndDemuxerRoundTripThroughTheUnicodeProtocol) {
    const std::string fileName = "Überspielung — 映像 ✓.wav";
    const std::string url = UnicodeName(fileName);
    ASSERT_TRUE(IsCustomIOName(url));

    constexpr int kPackets = 10;
    constexpr int kPacketBytes = 1600;
    std::string samples;
    for (int i = 0; i < kPackets * kPacketBytes; ++i) {
        samples += static_cast<char>((i * 7 + i / 300) & 0xff);
    }
    {
        std::unique_ptr<TLibraryIO> out;
        ASSERT_EQ(TLibraryIO::Open(url, AVIO_FLAG_WRITE, out), 0);
        EXPECT_TRUE(out->IsCustom());
        AVFormatContext* raw = nullptr;
        ASSERT_GE(avformat_alloc_output_context2(&raw, nullptr, "wav", nullptr), 0);
        AvFormatContextPtr oc(raw);
        AVStream* st = avformat_new_stream(oc.get(), nullptr);
        ASSERT_NE(st, nullptr);
        st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
        st->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
        st->codecpar->sample_rate = 8000;
        av_channel_layout_default(&st->codecpar->ch_layout, 1);
        st->codecpar->bits_per_coded_sample = 16;
        st->codecpar->block_align = 2;
        st->time_base = {1, 8000};
        oc->pb = out->Context();
        ASSERT_GE(avformat_write_header(oc.get(), nullptr), 0);
        for (int i = 0; i < kPackets; ++i) {
            AvPacketPtr pkt = MakePacket();
            ASSERT_EQ(av_new_packet(pkt.get(), kPacketBytes), 0);
            memcpy(pkt->data, samples.data() + i * kPacketBytes, kPacketBytes);
            pkt->pts = pkt->dts = i * (kPacketBytes / 2);
            pkt->duration = kPacketBytes / 2;
            ASSERT_GE(av_write_frame(oc.get(), pkt.get()), 0);
        }
        // The trailer seeks back to fill in the sizes.
        ASSERT_GE(av_write_trailer(oc.get()), 0);
    }

    const fs::path path = dir_ / fileName;
    ASSERT_TRUE(fs::is_regular_file(path));
    const std::string file = ReadFile(path);
    ASSERT_GT(file.size(), samples.size());
    const uint32_t riffSize = static_cast<uint8_t>(file[4]) | static_cast<uint8_t>(file[5]) << 8 |
                              static_cast<uint8_t>(file[6]) << 16 |
                              static_cast<uint32_t>(static_cast<uint8_t>(file[7])) << 24;
    EXPECT_EQ(riffSize, file.size() - 8);

    std::unique_ptr<TLibraryIO> in;
    ASSERT_EQ(TLibraryIO::Open(url, AVIO_FLAG_READ, in), 0);
    EXPECT_EQ(avio_size(in->Context()), static_cast<int64_t>(file.size()));
    AVFormatContext* ic = avformat_alloc_context();
    ic->pb = in->Context();
    ic->flags |= AVFMT_FLAG_CUSTOM_IO;
    ASSERT_EQ(avformat_open_input(&ic, url.c_str(), nullptr, nullptr), 0);
    AvInputContextPtr input(ic); // closed before `in`, which owns the byte stream
    ASSERT_EQ(input->nb_streams, 1u);
    EXPECT_EQ(input->streams[0]->codecpar->codec_id, AV_CODEC_ID_PCM_S16LE);
    EXPECT_EQ(input->streams[0]->codecpar->sample_rate, 8000);

    std::string decoded;
    AvPacketPtr pkt = MakePacket();
    while (av_read_frame(input.get(), pkt.get()) >= 0) {
        decoded.append(reinterpret_cast<const char*>(pkt->data), static_cast<size_t>(pkt->size));
        av_packet_unref(pkt.get());
    }
    EXPECT_TRUE(decoded == samples) << "read back " << decoded.size() << " of " << samples.size()
                                    << " bytes, or different bytes";

    // Seeking goes through the protocol as well.
    ASSERT_GE(avformat_seek_file(input.get(), 0, 0, 0, 0, 0), 0);
    ASSERT_GE(av_read_frame(input.get(), pkt.get()), 0);
    ASSERT_GT(pkt->size, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pkt->data), pkt->size),
              samples.substr(0, static_cast<size_t>(pkt->size)));
}

TEST_F(LibraryIOTest, UnicodeProtocolOpenModes) {
    const fs::path existing = dir_ / "vorhanden ä.bin";
    WriteFile(existing, "old content that is longer");

    // Read-only reads an existing file.
    std::unique_ptr<TLibraryIO> io;
    ASSERT_EQ(TLibraryIO::Open(UnicodeName("vorhanden ä.bin"), AVIO_FLAG_READ, io), 0);
    EXPECT_EQ(ReadAll(io->Context()), "old content that is longer");
    io.reset();

    // Write-only truncates an existing file, and creates a missing one.
    for (const char* name : {"vorhanden ä.bin", "neu ö.bin"}) {
        ASSERT_EQ(TLibraryIO::Open(UnicodeName(name), AVIO_FLAG_WRITE, io), 0) << name;
        avio_write(io->Context(), reinterpret_cast<const unsigned char*>("new"), 3);
        io.reset();
        EXPECT_EQ(ReadFile(dir_ / name), "new") << name;
    }

    // Read-write creates or truncates too.
    WriteFile(existing, "old content that is longer");
    ASSERT_EQ(TLibraryIO::Open(UnicodeName("vorhanden ä.bin"), AVIO_FLAG_READ_WRITE, io), 0);
    avio_write(io->Context(), reinterpret_cast<const unsigned char*>("rw"), 2);
    io.reset();
    EXPECT_EQ(ReadFile(existing), "rw");

    // Whatever cannot be opened is "no such file".
    const struct {
        std::string url;
        int flags;
    } failures[] = {
        {UnicodeName("fehlt.bin"), AVIO_FLAG_READ},
        {UnicodeName("kein Ordner/x.bin"), AVIO_FLAG_WRITE},
        {"unicode:utf8:", AVIO_FLAG_READ},
        {"unicode:" + (dir_ / "vorhanden ä.bin").string(), AVIO_FLAG_READ},
    };
    for (const auto& f : failures) {
        std::unique_ptr<TLibraryIO> failed;
        EXPECT_EQ(TLibraryIO::Open(f.url, f.flags, failed), AVERROR(ENOENT)) << f.url;
        EXPECT_EQ(failed, nullptr) << f.url;
    }
}

TEST_F(LibraryIOTest, OtherNamesOpenThroughTheLibraries) {
    const fs::path plain = dir_ / "plain.bin";
    WriteFile(plain, "plain bytes");
    std::unique_ptr<TLibraryIO> io;
    ASSERT_EQ(TLibraryIO::Open(plain.string(), AVIO_FLAG_READ, io), 0);
    EXPECT_FALSE(io->IsCustom());
    EXPECT_EQ(ReadAll(io->Context()), "plain bytes");

    std::unique_ptr<TLibraryIO> missing;
    EXPECT_EQ(TLibraryIO::Open((dir_ / "missing.bin").string(), AVIO_FLAG_READ, missing),
              AVERROR(ENOENT));
}

// An in-memory stream for a protocol of the test's own.
class MemoryStream : public TIOProtocolStream {
public:
    explicit MemoryStream(std::string data) : data_(std::move(data)) {}
    int Read(uint8_t* buf, int size) override {
        const size_t n = std::min(static_cast<size_t>(size), data_.size() - pos_);
        if (n == 0) {
            return AVERROR_EOF;
        }
        memcpy(buf, data_.data() + pos_, n);
        pos_ += n;
        return static_cast<int>(n);
    }
    int Write(const uint8_t*, int) override { return AVERROR(EROFS); }
    int64_t Seek(int64_t, int) override { return AVERROR(ESPIPE); }
    bool Seekable() const override { return false; }

private:
    std::string data_;
    size_t pos_ = 0;
};

TEST(IOProtocolTest, RegisteredPrefixesChooseTheirOpener) {
    auto opener = [](const char* content) {
        return [content](const std::string& url, int, std::unique_ptr<TIOProtocolStream>& out) {
            if (url == "quovomem:missing") {
                return AVERROR(ENOENT);
            }
            out = std::make_unique<MemoryStream>(content + (":" + url));
            return 0;
        };
    };
    RegisterIOProtocol("quovomem", opener("first"));
    RegisterIOProtocol("quovomem", opener("second")); // ignored
    EXPECT_TRUE(IOProtocolRegistered("quovomem"));
    EXPECT_FALSE(IOProtocolRegistered("quovomemx"));

    // clang-format off
    const struct {
        const char* url;
        bool custom;
    } names[] = {
        {"quovomem:clip", true},
        {"quovomemx:clip", false},
        {"quovomem", false},
        {"/quovomem:clip", false},
        {"QUOVOMEM:clip", false},
    };
    // clang-format on
    for (const auto& n : names) {
        EXPECT_EQ(IsCustomIOName(n.url), n.custom) << n.url;
    }

    std::unique_ptr<TLibraryIO> io;
    ASSERT_EQ(TLibraryIO::Open("quovomem:clip", AVIO_FLAG_READ, io), 0);
    EXPECT_TRUE(io->IsCustom());
    EXPECT_EQ(io->Context()->seekable, 0);
    EXPECT_EQ(ReadAll(io->Context()), "first:quovomem:clip");

    std::unique_ptr<TLibraryIO> failed;
    EXPECT_EQ(TLibraryIO::Open("quovomem:missing", AVIO_FLAG_READ, failed), AVERROR(ENOENT));
    EXPECT_EQ(failed, nullptr);
}

} // namespace
} // namespace quovo
