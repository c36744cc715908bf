// The byte stream behind an "opendvd:" name: the title's cells from the first cell of
// FromChapter to the last cell of ToChapter, read 2048-byte block by block from the title set's
// VOBs with DVDReadBlocks. Audio and subpicture PES packets of the streams not chosen are turned
// into padding packets of the same size, so the stream keeps its byte positions (and stays
// seekable by byte) while a demuxer sees only the chosen tracks. AudioID 0 keeps every audio
// track; SubtitleID 0 keeps the stream whose forced subpictures a player would show
// (ForcedSubpictureStream).
//
// One reader is used by one thread at a time (the engine's or the player's reading thread).
#pragma once

#include "DVDDiscInfo.h"
#include "DVDRead.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quovo {

constexpr int kDVDBlockSize = 2048;

class TDVDTitleReader {
public:
    // Opens title params.Title (from 0) of the disc at `path` described by `disc`. Returns 0 or a
    // negative AVERROR code; `why` tells the reason.
    static int Open(const std::string& path, const DVDDiscInfo& disc, const DVDPlayParams& params,
                    const TDVDLogSink* log, std::unique_ptr<TDVDTitleReader>& out,
                    std::string& why);

    // Bytes read, AVERROR_EOF at the end, or a negative AVERROR code.
    int Read(uint8_t* buf, int size);
    // SEEK_SET, SEEK_CUR, SEEK_END, or AVSEEK_SIZE (0x10000) for the size.
    int64_t Seek(int64_t offset, int whence);
    int64_t Size() const { return totalBlocks_ * kDVDBlockSize; }
    // The title read and the parameters it was opened with.
    const DVDTitleInfo& Title() const { return title_; }
    const DVDPlayParams& Params() const { return params_; }
    // How long the chosen chapters play when the stream reads on past them; -1 when they run to
    // the title's end.
    int64_t WindowLengthUs() const { return windowLengthUs_; }
    // Where they start on the stream's clock (microseconds); -1 when unknown.
    int64_t WindowStartUs() const { return windowStartUs_; }

private:
    struct TSpan {
        uint32_t firstSector;
        uint32_t blocks;
        int64_t streamBlock; // where the span starts in the stream
    };

    TDVDTitleReader() = default;
    // The start time (90 kHz) in the navigation pack at `sector`; -1 when there is none.
    int64_t SectorStartPtm(uint32_t sector);
    // The range's length by its navigation packs (from WindowStartUs), else `fallbackUs`.
    int64_t RangeLengthUs(const std::vector<DVDSectorRange>& nextChapter, int64_t fallbackUs);
    // Adds `blocks` sectors from `firstSector` at the stream's end.
    void Append(uint32_t firstSector, uint32_t blocks);
    int Fill(int64_t block);

    DvdReaderPtr dvd_;
    DvdFilePtr file_;
    std::vector<TSpan> spans_;
    int64_t totalBlocks_ = 0;
    int64_t pos_ = 0;
    std::vector<uint8_t> cache_;
    int64_t cacheFirst_ = -1;
    int64_t cacheBlocks_ = 0;
    int keepAudio_ = 0;
    int keepSub_ = 0;
    DVDTitleInfo title_{};
    int64_t windowLengthUs_ = -1;
    int64_t windowStartUs_ = -1;
    DVDPlayParams params_{};
};

// The chapters `params` chooses of a title with `chapters` chapters (0 and anything past the end
// mean the first and the last); false for an empty range.
bool ChapterRange(const DVDPlayParams& params, int chapters, int& from, int& to);

// How long the chosen chapters play, in microseconds; -1 when they run to the title's end.
int64_t ChapterRangeLengthUs(const DVDTitleInfo& title, const DVDPlayParams& params);

// The start presentation time (90 kHz) of the VOBU whose navigation pack is `pack`; -1 when the
// pack is none.
int64_t NavPackStartPtm(const uint8_t* pack);

// Rewrites the unwanted audio/subpicture PES packets of one 2048-byte pack as padding.
void FilterDVDPack(uint8_t* pack, int keepAudio, int keepSub);

// True when a PES packet of the pack has its scrambling bits set (a CSS-encrypted sector that
// was not descrambled).
bool DVDPackScrambled(const uint8_t* pack);

} // namespace quovo
