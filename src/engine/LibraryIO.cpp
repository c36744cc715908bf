#include "LibraryIO.h"

#include "AvPtr.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <cerrno>
#include <map>
#include <mutex>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quovo {

namespace {

constexpr int kIOBufferSize = 32 * 1024;
constexpr std::string_view kUnicodePrefix = "unicode:utf8:";

struct ProtocolRegistry {
    std::mutex mutex;
    std::map<std::string, TIOProtocolOpen> openers; // --- guarded by mutex
};

ProtocolRegistry& Registry() {
    static ProtocolRegistry registry;
    return registry;
}

std::string SchemeOf(const std::string& url) {
    const size_t colon = url.find(':');
    return colon == std::string::npos ? std::string() : url.substr(0, colon);
}

TIOProtocolOpen FindOpener(const std::string& url) {
    const std::string scheme = SchemeOf(url);
    if (scheme.empty()) {
        return nullptr;
    }
    ProtocolRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    auto it = r.openers.find(scheme);
    return it == r.openers.end() ? nullptr : it->second;
}

int ReadPacket(void* opaque, uint8_t* buf, int size) {
    const int n = static_cast<TIOProtocolStream*>(opaque)->Read(buf, size);
    // A zero-byte read would make the library spin; it means the end here.
    return n == 0 ? AVERROR_EOF : n;
}

int WritePacket(void* opaque, uint8_t* buf, int size) {
    return static_cast<TIOProtocolStream*>(opaque)->Write(buf, size);
}

int64_t SeekStream(void* opaque, int64_t offset, int whence) {
    return static_cast<TIOProtocolStream*>(opaque)->Seek(offset, whence & ~AVSEEK_FORCE);
}

// A file of the local file system reached through its descriptor.
class TFileStream : public TIOProtocolStream {
public:
    explicit TFileStream(int fd) : fd_(fd), seekable_(lseek(fd, 0, SEEK_CUR) >= 0) {}
    ~TFileStream() override { close(fd_); }
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int Read(uint8_t* buf, int size) override {
        ssize_t n;
        do {
            n = read(fd_, buf, static_cast<size_t>(size));
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            return AVERROR(errno);
        }
        return n == 0 ? AVERROR_EOF : static_cast<int>(n);
    }

    int Write(const uint8_t* buf, int size) override {
        int done = 0;
        while (done < size) {
            const ssize_t n = write(fd_, buf + done, static_cast<size_t>(size - done));
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return AVERROR(errno);
            }
            done += static_cast<int>(n);
        }
        return done;
    }

    int64_t Seek(int64_t offset, int whence) override {
        if (whence == AVSEEK_SIZE) {
            struct stat st {};
            return fstat(fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
        }
        const off_t pos = lseek(fd_, static_cast<off_t>(offset), whence);
        return pos < 0 ? AVERROR(errno) : static_cast<int64_t>(pos);
    }

    bool Seekable() const override { return seekable_; }

private:
    int fd_;
    bool seekable_;
};

int OpenUnicodeName(const std::string& url, int avioFlags,
                    std::unique_ptr<TIOProtocolStream>& out) {
    if (url.size() <= kUnicodePrefix.size() ||
        url.compare(0, kUnicodePrefix.size(), kUnicodePrefix) != 0) {
        return AVERROR(ENOENT);
    }
    const std::string path = FromLibraryName(url);
    int flags = O_RDONLY;
    if ((avioFlags & AVIO_FLAG_READ_WRITE) == AVIO_FLAG_READ_WRITE) {
        flags = O_RDWR | O_CREAT | O_TRUNC;
    } else if (avioFlags & AVIO_FLAG_WRITE) {
        flags = O_WRONLY | O_CREAT | O_TRUNC;
    }
    const int fd = open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        return AVERROR(ENOENT);
    }
    out = std::make_unique<TFileStream>(fd);
    return 0;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        int extra = 0;
        uint32_t cp = 0;
        uint32_t minimum = 0;
        if (c < 0x80) {
            ++p;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
            minimum = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
            minimum = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (end - p <= extra) {
            return false;
        }
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        p += extra + 1;
    }
    return true;
}

} // namespace

void RegisterIOProtocol(const std::string& name, TIOProtocolOpen open) {
    ProtocolRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    r.openers.emplace(name, std::move(open));
}

bool IOProtocolRegistered(const std::string& name) {
    ProtocolRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    return r.openers.count(name) != 0;
}

bool IsCustomIOName(const std::string& url) {
    return FindOpener(url) != nullptr;
}

TLibraryIO::~TLibraryIO() {
    if (pb_ == nullptr) {
        return;
    }
    if (stream_) {
        if (pb_->write_flag) {
            avio_flush(pb_);
        }
        // The library may have replaced the buffer it was given; free the current one.
        av_freep(&pb_->buffer);
        avio_context_free(&pb_);
    } else {
        avio_closep(&pb_);
    }
}

int TLibraryIO::Open(const std::string& url, int avioFlags, std::unique_ptr<TLibraryIO>& out) {
    std::unique_ptr<TLibraryIO> io(new TLibraryIO);
    if (TIOProtocolOpen opener = FindOpener(url)) {
        std::unique_ptr<TIOProtocolStream> stream;
        const int ret = opener(url, avioFlags, stream);
        if (ret < 0) {
            return ret;
        }
        if (!stream) {
            return AVERROR(EINVAL);
        }
        AvBufferPtr buffer(static_cast<uint8_t*>(av_malloc(kIOBufferSize)));
        if (!buffer) {
            return AVERROR(ENOMEM);
        }
        const int writeFlag = (avioFlags & AVIO_FLAG_WRITE) ? 1 : 0;
        io->pb_ = avio_alloc_context(buffer.get(), kIOBufferSize, writeFlag, stream.get(),
                                     &ReadPacket, &WritePacket, &SeekStream);
        if (io->pb_ == nullptr) {
            return AVERROR(ENOMEM);
        }
        buffer.release(); // now owned by the context
        io->pb_->seekable = stream->Seekable() ? AVIO_SEEKABLE_NORMAL : 0;
        io->stream_ = std::move(stream);
    } else {
        const int ret = avio_open2(&io->pb_, url.c_str(), avioFlags, nullptr, nullptr);
        if (ret < 0) {
            return ret;
        }
    }
    out = std::move(io);
    return 0;
}

void RegisterUnicodeProtocol() {
    RegisterIOProtocol("unicode", &OpenUnicodeName);
}

bool NeedsUnicodeName(const std::string& name) {
    const size_t colon = name.find(':');
    if (colon != std::string::npos) {
        // URLs of these schemes go to the libraries as they are.
        static const std::string kSchemes = ":unicode:stream:gopher:http:pipe:rtp:tcp:udp:";
        if (kSchemes.find(":" + name.substr(0, colon) + ":") != std::string::npos) {
            return false;
        }
    }
    return !IsValidUtf8(name);
}

std::string ToLibraryName(const std::string& name) {
    return NeedsUnicodeName(name) ? std::string(kUnicodePrefix) + name : name;
}

std::string FromLibraryName(const std::string& libraryName) {
    if (libraryName.size() > kUnicodePrefix.size() &&
        libraryName.compare(0, kUnicodePrefix.size(), kUnicodePrefix) == 0) {
        return libraryName.substr(kUnicodePrefix.size());
    }
    return libraryName;
}

int OpenLibraryInput(const std::string& url, AVFormatContext*& ic, const AVInputFormat* fmt,
                     AVDictionary** options, std::unique_ptr<TLibraryIO>& io) {
    if (IsCustomIOName(url)) {
        if (const int err = TLibraryIO::Open(url, AVIO_FLAG_READ, io); err < 0) {
            avformat_free_context(ic);
            ic = nullptr;
            return err;
        }
        ic->pb = io->Context();
        ic->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    return avformat_open_input(&ic, url.c_str(), fmt, options); // frees `ic` on an error
}

} // namespace quovo
