#include "DVDTitleReader.h"

#include "DVDSubpicture.h"
#include "FFmpegException.h"

extern "C" {
#include <libavutil/error.h>
}

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace quovo {

namespace {

constexpr int kAvseekSize = 0x10000; // AVSEEK_SIZE, without pulling in avio here
constexpr int64_t kChunkBlocks = 64;

bool IsAudioId(int id) {
    return (id >= 0x80 && id <= 0x8F) || (id >= 0xA0 && id <= 0xA7) || (id >= 0xC0 && id <= 0xDF);
}

bool IsSubpictureId(int id) {
    return id >= 0x20 && id <= 0x3F;
}

} // namespace

void FilterDVDPack(uint8_t* p, int keepAudio, int keepSub) {
    if (p[0] != 0 || p[1] != 0 || p[2] != 1 || p[3] != 0xBA) {
        return;
    }
    size_t i = (p[4] & 0xC0) == 0x40 ? 14 + (p[13] & 7) : 12;
    while (i + 6 <= kDVDBlockSize && p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) {
        const int id = p[i + 3];
        const size_t length = static_cast<size_t>(p[i + 4] << 8 | p[i + 5]);
        const size_t end = i + 6 + length;
        if (end > kDVDBlockSize) {
            break;
        }
        int sid = -1;
        if (id == 0xBD && i + 9 <= end) {
            const size_t sub = i + 9 + p[i + 8];
            if (sub < end) {
                sid = p[sub];
            }
        } else if (id >= 0xC0 && id <= 0xDF) {
            sid = id;
        }
        const bool drop = (IsAudioId(sid) && keepAudio != 0 && sid != keepAudio) ||
                          (IsSubpictureId(sid) && sid != keepSub);
        if (drop) {
            p[i + 3] = 0xBE;
            std::memset(p + i + 6, 0xFF, length);
        }
        i = end;
    }
}

bool DVDPackScrambled(const uint8_t* p) {
    if (p[0] != 0 || p[1] != 0 || p[2] != 1 || p[3] != 0xBA || (p[4] & 0xC0) != 0x40) {
        return false;
    }
    size_t i = 14 + (p[13] & 7);
    while (i + 7 <= kDVDBlockSize && p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) {
        const int id = p[i + 3];
        const size_t end = i + 6 + static_cast<size_t>(p[i + 4] << 8 | p[i + 5]);
        // The system header, padding and navigation packets carry no PES flags.
        if (id != 0xBB && id != 0xBE && id != 0xBF && (p[i + 6] & 0xC0) == 0x80 &&
            (p[i + 6] & 0x30) != 0) {
            return true;
        }
        i = end;
    }
    return false;
}

int64_t NavPackStartPtm(const uint8_t* p) {
    // Pack header (14 bytes), system header (24), then the PCI packet: substream 0, and in its
    // general information the VOBU's start time after the block number, category and controls.
    constexpr size_t kPci = 0x26;
    if (p[0] != 0 || p[1] != 0 || p[2] != 1 || p[3] != 0xBA || p[kPci] != 0 ||
        p[kPci + 1] != 0 || p[kPci + 2] != 1 || p[kPci + 3] != 0xBF || p[kPci + 6] != 0) {
        return -1;
    }
    const uint8_t* ptm = p + kPci + 7 + 12;
    return static_cast<int64_t>(ptm[0]) << 24 | ptm[1] << 16 | ptm[2] << 8 | ptm[3];
}

bool ChapterRange(const DVDPlayParams& params, int chapters, int& from, int& to) {
    from = params.FromChapter >= 1 && params.FromChapter <= chapters ? params.FromChapter : 1;
    to = params.ToChapter >= 1 && params.ToChapter <= chapters ? params.ToChapter : chapters;
    return from <= to;
}

int64_t ChapterRangeLengthUs(const DVDTitleInfo& title, const DVDPlayParams& params) {
    const int chapters = std::clamp(title.ChapterCount, 0, kDVDMaxChapters);
    int from = 0;
    int to = 0;
    if (!ChapterRange(params, chapters, from, to) || to >= chapters) {
        return -1;
    }
    return (static_cast<int64_t>(title.ChapterStartMs[to]) - title.ChapterStartMs[from - 1]) *
           1000;
}

int TDVDTitleReader::Open(const std::string& path, const DVDDiscInfo& disc,
                          const DVDPlayParams& params, const TDVDLogSink* log,
                          std::unique_ptr<TDVDTitleReader>& out, std::string& why) {
    if (params.Title < 0 || params.Title >= static_cast<int>(disc.titles.size())) {
        why = "title " + std::to_string(params.Title + 1) + " is not on the disc";
        return AVERROR(ENOENT);
    }
    const DVDTitleLayout& title = disc.titles[static_cast<size_t>(params.Title)];
    if (!title.valid) {
        why = "title " + std::to_string(params.Title + 1) + " is invalid";
        return AVERROR_INVALIDDATA;
    }
    const int chapters = static_cast<int>(title.chapters.size());
    int from = 0;
    int to = 0;
    if (!ChapterRange(params, chapters, from, to)) {
        why = "chapter range " + std::to_string(from) + " to " + std::to_string(to) + " is empty";
        return AVERROR(EINVAL);
    }

    std::unique_ptr<TDVDTitleReader> r(new TDVDTitleReader());
    r->dvd_ = OpenDvd(path, log);
    if (!r->dvd_) {
        why = "cannot open " + path + " as a DVD";
        return AVERROR(ENOENT);
    }
    r->file_.reset(DVDOpenFile(r->dvd_.get(), title.info.TitleSet, DVD_READ_TITLE_VOBS));
    if (!r->file_) {
        why = "cannot open the VOB files of title set " + std::to_string(title.info.TitleSet);
        return AVERROR(ENOENT);
    }
    const ssize_t fileBlocks = DVDFileSize(r->file_.get());
    for (int c = from; c <= to; ++c) {
        for (const DVDSectorRange& cell : title.chapters[static_cast<size_t>(c - 1)]) {
            if (fileBlocks < 0 || cell.last >= static_cast<uint64_t>(fileBlocks)) {
                why = "a cell of chapter " + std::to_string(c) + " lies outside the VOB files";
                return AVERROR_INVALIDDATA;
            }
            r->Append(cell.first, cell.last - cell.first + 1);
        }
    }
    // The sound of a moment lies in the stream after its picture: a range that ends before the
    // title does is read on into the next chapter (about two seconds of it), and the part past
    // the range is left out by time (ChapterRangeLengthUs).
    // The range starts where its first navigation pack says its pictures do.
    if (!r->spans_.empty()) {
        const int64_t ptm = r->SectorStartPtm(r->spans_.front().firstSector);
        r->windowStartUs_ = ptm >= 0 ? ptm * 100 / 9 : -1;
    }
    const int64_t lengthUs = ChapterRangeLengthUs(title.info, params);
    if (lengthUs > 0 && to < chapters) {
        r->windowLengthUs_ = r->RangeLengthUs(title.chapters[static_cast<size_t>(to)], lengthUs);
        int64_t budget = r->totalBlocks_ * 2 * 1000000 / lengthUs + 1;
        for (const DVDSectorRange& cell : title.chapters[static_cast<size_t>(to)]) {
            if (budget <= 0 || fileBlocks < 0 || cell.last >= static_cast<uint64_t>(fileBlocks)) {
                break;
            }
            const auto blocks =
                static_cast<uint32_t>(std::min<int64_t>(cell.last - cell.first + 1, budget));
            r->Append(cell.first, blocks);
            budget -= blocks;
        }
    }
    // Without libdvdcss an encrypted title reads as scrambled packs; say so rather than hand the
    // demuxer noise. (With it, libdvdread descrambles and clears the flags.)
    if (!r->spans_.empty()) {
        std::vector<uint8_t> probe(16 * kDVDBlockSize);
        const size_t count = std::min<size_t>(16, r->spans_.front().blocks);
        const ssize_t got = DVDReadBlocks(
            r->file_.get(), static_cast<int>(r->spans_.front().firstSector), count, probe.data());
        if (got <= 0) {
            why = "cannot read the first blocks of title " + std::to_string(params.Title + 1);
            return AVERROR(EIO);
        }
        for (ssize_t b = 0; b < got; ++b) {
            if (DVDPackScrambled(probe.data() + b * kDVDBlockSize)) {
                why = "title " + std::to_string(params.Title + 1) +
                      " is encrypted (CSS); reading it needs libdvdcss, which libdvdread uses "
                      "when it is installed (on Debian: the package libdvd-pkg from contrib)";
                return kErrorDiscEncrypted;
            }
        }
    }
    r->keepAudio_ = params.AudioID;
    r->keepSub_ = KeptSubpictureStream(title.info, params);
    r->title_ = title.info;
    r->params_ = params;
    r->cache_.resize(static_cast<size_t>(kChunkBlocks) * kDVDBlockSize);
    out = std::move(r);
    return 0;
}

int64_t TDVDTitleReader::SectorStartPtm(uint32_t sector) {
    std::vector<uint8_t> block(kDVDBlockSize);
    if (DVDReadBlocks(file_.get(), static_cast<int>(sector), 1, block.data()) != 1) {
        return -1;
    }
    return NavPackStartPtm(block.data());
}

int64_t TDVDTitleReader::RangeLengthUs(const std::vector<DVDSectorRange>& nextChapter,
                                      int64_t fallbackUs) {
    // From the first picture of the range to the first of the next chapter, by the navigation
    // packs: the cells' playback times can be a picture short.
    if (windowStartUs_ < 0 || nextChapter.empty()) {
        return fallbackUs;
    }
    const int64_t to = SectorStartPtm(nextChapter.front().first);
    const int64_t lengthUs = to * 100 / 9 - windowStartUs_;
    // A clock that starts again between the cells says nothing: the playback times do.
    if (to < 0 || lengthUs <= 0 || std::llabs(lengthUs - fallbackUs) > 1000000) {
        return fallbackUs;
    }
    return lengthUs;
}

void TDVDTitleReader::Append(uint32_t firstSector, uint32_t blocks) {
    if (!spans_.empty() && spans_.back().firstSector + spans_.back().blocks == firstSector) {
        spans_.back().blocks += blocks;
    } else {
        spans_.push_back({firstSector, blocks, totalBlocks_});
    }
    totalBlocks_ += blocks;
}

int TDVDTitleReader::Fill(int64_t block) {
    auto span = std::upper_bound(spans_.begin(), spans_.end(), block,
                                 [](int64_t b, const TSpan& s) { return b < s.streamBlock; });
    if (span == spans_.begin()) {
        return AVERROR_BUG;
    }
    --span;
    const int64_t into = block - span->streamBlock;
    const int64_t count = std::min<int64_t>(kChunkBlocks, span->blocks - into);
    const ssize_t got = DVDReadBlocks(file_.get(), static_cast<int>(span->firstSector + into),
                                      static_cast<size_t>(count), cache_.data());
    if (got <= 0) {
        cacheFirst_ = -1;
        return AVERROR(EIO);
    }
    for (ssize_t b = 0; b < got; ++b) {
        FilterDVDPack(cache_.data() + b * kDVDBlockSize, keepAudio_, keepSub_);
    }
    cacheFirst_ = block;
    cacheBlocks_ = got;
    return 0;
}

int TDVDTitleReader::Read(uint8_t* buf, int size) {
    int done = 0;
    while (done < size && pos_ < Size()) {
        const int64_t block = pos_ / kDVDBlockSize;
        if (cacheFirst_ < 0 || block < cacheFirst_ || block >= cacheFirst_ + cacheBlocks_) {
            const int err = Fill(block);
            if (err < 0) {
                return done > 0 ? done : err;
            }
        }
        const int64_t offset = pos_ - cacheFirst_ * kDVDBlockSize;
        const int64_t avail = cacheBlocks_ * kDVDBlockSize - offset;
        const int n = static_cast<int>(std::min<int64_t>(avail, size - done));
        std::memcpy(buf + done, cache_.data() + offset, static_cast<size_t>(n));
        done += n;
        pos_ += n;
    }
    return done > 0 ? done : AVERROR_EOF;
}

int64_t TDVDTitleReader::Seek(int64_t offset, int whence) {
    int64_t target;
    switch (whence) {
    case kAvseekSize:
        return Size();
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = pos_ + offset;
        break;
    case SEEK_END:
        target = Size() + offset;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (target < 0) {
        return AVERROR(EINVAL);
    }
    pos_ = target;
    return pos_;
}

} // namespace quovo
