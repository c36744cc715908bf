// Names the media libraries cannot open by themselves ("unicode:utf8:…", and later "opendvd:…")
// are opened through a custom AVIOContext chosen by the name's prefix. A protocol registers an
// opener for its prefix; the engine and the player open such names with TLibraryIO.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
}

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quovo {

// A bitmap subtitle stream that an input's name chose (a disc title's subpictures). The demuxer
// may meet its first packet long after probing ends, so the input is given the stream up front
// (AttachSubpictureTrack).
struct TSubpictureTrack {
    int streamId = -1;       // the demuxer's id of the stream
    std::string language;    // ISO 639-2 code, or empty
    std::string setupText;   // the decoder's set-up ("size: …\npalette: …\n"), its extradata
    bool forcedOnly = false; // no subtitle was chosen: only subpictures flagged forced show
};

// What an input's name knows of its content that the demuxer cannot tell (a disc title's
// chapters and the languages of its tracks).
struct TInputDescription {
    struct TChapter {
        int64_t startUs = 0; // from the start of what the name reads
        int64_t endUs = 0;
        std::string title;
    };
    std::vector<TChapter> chapters;
    std::vector<std::pair<int, std::string>> languages; // the demuxer's stream id, ISO 639-2 code
};

// The byte stream behind a custom AVIOContext.
class TIOProtocolStream {
public:
    virtual ~TIOProtocolStream() = default;
    // Bytes read, AVERROR_EOF at the end, or a negative library error.
    virtual int Read(uint8_t* buf, int size) = 0;
    // Bytes written or a negative library error.
    virtual int Write(const uint8_t* buf, int size) = 0;
    // New position (SEEK_SET, SEEK_CUR, SEEK_END) or the size for AVSEEK_SIZE; negative on error.
    virtual int64_t Seek(int64_t offset, int whence) = 0;
    virtual bool Seekable() const { return true; }
    // Engine options the name asks for on its input (for example the channel count a disc
    // title was chosen with), applied once the input is open.
    virtual std::vector<std::pair<std::string, std::string>> InputOptions() const { return {}; }
    virtual std::optional<TSubpictureTrack> SubpictureTrack() const { return std::nullopt; }
    // A part of a longer stream (a disc title's chapters): it starts at `startUs` on the
    // stream's clock (-1: at its first picture), and what the stream holds of the time before
    // it, or after `lengthUs` (-1: the part runs to the stream's end), is not part of it.
    struct TWindow {
        int64_t startUs = -1;
        int64_t lengthUs = -1;
    };
    virtual std::optional<TWindow> Window() const { return std::nullopt; }
    virtual TInputDescription Description() const { return {}; }
};

// Opens `url` (with its "name:" prefix) with AVIO_FLAG_READ and/or AVIO_FLAG_WRITE. Returns 0 or a
// negative library error (AVERROR(ENOENT) for a file that cannot be opened).
using TIOProtocolOpen = std::function<int(const std::string& url, int avioFlags,
                                          std::unique_ptr<TIOProtocolStream>& out)>;

// Registers an opener for names "name:…". A second registration of a name is ignored.
void RegisterIOProtocol(const std::string& name, TIOProtocolOpen open);
bool IOProtocolRegistered(const std::string& name);
// True when the name's prefix is a registered custom protocol.
bool IsCustomIOName(const std::string& url);

// An AVIOContext opened for a name: through a custom protocol when its prefix is registered,
// otherwise through the library's own avio_open2.
class TLibraryIO {
public:
    ~TLibraryIO();
    TLibraryIO(const TLibraryIO&) = delete;
    TLibraryIO& operator=(const TLibraryIO&) = delete;

    // Returns 0 or a negative library error.
    static int Open(const std::string& url, int avioFlags, std::unique_ptr<TLibraryIO>& out);

    AVIOContext* Context() const { return pb_; }
    std::vector<std::pair<std::string, std::string>> InputOptions() const {
        return stream_ ? stream_->InputOptions()
                       : std::vector<std::pair<std::string, std::string>>{};
    }
    std::optional<TSubpictureTrack> SubpictureTrack() const {
        return stream_ ? stream_->SubpictureTrack() : std::nullopt;
    }
    std::optional<TIOProtocolStream::TWindow> Window() const {
        return stream_ ? stream_->Window() : std::nullopt;
    }
    TInputDescription Description() const {
        return stream_ ? stream_->Description() : TInputDescription{};
    }
    // A demuxer given this context needs AVFMT_FLAG_CUSTOM_IO.
    bool IsCustom() const { return stream_ != nullptr; }

private:
    TLibraryIO() = default;
    AVIOContext* pb_ = nullptr;
    std::unique_ptr<TIOProtocolStream> stream_;
};

// Opens `url` as an input of `ic` (allocated by the caller) with avformat_open_input: a custom
// name through its protocol, whose byte stream `io` keeps, any other by the library itself.
// Returns 0 or a negative library error; on an error `ic` is freed and null.
int OpenLibraryInput(const std::string& url, AVFormatContext*& ic, const AVInputFormat* fmt,
                     AVDictionary** options, std::unique_ptr<TLibraryIO>& io);

// Registers the "unicode" protocol (done by the loader when avformat is loaded).
void RegisterUnicodeProtocol();

// File names handed to the libraries. On this platform every name can be passed as UTF-8, so a
// name needs the "unicode:utf8:" form only when it is not valid UTF-8 text; URLs pass unchanged.
bool NeedsUnicodeName(const std::string& name);
std::string ToLibraryName(const std::string& name);
std::string FromLibraryName(const std::string& libraryName);

} // namespace quovo
