#include "DVDDiscInfo.h"

#include "DVDRead.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

#include <unistd.h>

namespace quovo {

namespace {

constexpr uint8_t kTagHeader = 'H';
constexpr uint8_t kTagTitle = 'T';
constexpr uint8_t kTagLog = 'L';
constexpr uint8_t kTagEnd = 'E';
constexpr uint8_t kTagUnreadable = 'U';

void LogToSink(void* priv, dvd_logger_level_t level, const char* fmt, va_list args) {
    const auto* sink = static_cast<const TDVDLogSink*>(priv);
    if (!sink || !*sink) {
        return;
    }
    char text[1024];
    std::vsnprintf(text, sizeof text, fmt, args);
    TDVDLogLevel ours = TDVDLogLevel::Debug;
    switch (level) {
    // libdvdread calls "error" much that it recovers from (a folder without a mounted device);
    // our own failures are told as errors where they end an operation.
    case DVD_LOGGER_LEVEL_ERROR:
    case DVD_LOGGER_LEVEL_WARN:
        ours = TDVDLogLevel::Warning;
        break;
    case DVD_LOGGER_LEVEL_INFO:
        ours = TDVDLogLevel::Info;
        break;
    default:
        break;
    }
    (*sink)(ours, text);
}

class TRecordWriter {
public:
    explicit TRecordWriter(int fd) : fd_(fd) {}

    void Put(uint8_t tag, const std::string& payload) {
        std::string rec(1, static_cast<char>(tag));
        const uint32_t n = static_cast<uint32_t>(payload.size());
        rec.append(reinterpret_cast<const char*>(&n), sizeof n);
        rec += payload;
        size_t done = 0;
        while (done < rec.size()) {
            const ssize_t w = write(fd_, rec.data() + done, rec.size() - done);
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                return; // the reader is gone; nothing left to tell
            }
            done += static_cast<size_t>(w);
        }
    }

private:
    int fd_;
};

template <typename T> void Append(std::string& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void CopyCode(char (&dest)[4], uint16_t langCode) {
    const char a = static_cast<char>(langCode >> 8);
    const char b = static_cast<char>(langCode & 0xFF);
    std::memset(dest, 0, sizeof dest);
    if (a >= 'a' && a <= 'z' && b >= 'a' && b <= 'z') {
        dest[0] = a;
        dest[1] = b;
    }
}

void CopyText(char (&dest)[64], const std::string& text) {
    std::memset(dest, 0, sizeof dest);
    std::memcpy(dest, text.data(), std::min(text.size(), sizeof dest - 1));
}

// Calls `visit` with every cell of program `pgn` of `pgc`, first angle only.
template <typename Visit> void ForEachProgramCell(const pgc_t& pgc, int pgn, Visit visit) {
    if (!pgc.program_map || !pgc.cell_playback || pgn < 1 || pgn > pgc.nr_of_programs) {
        return;
    }
    const int first = pgc.program_map[pgn - 1];
    const int last = pgn < pgc.nr_of_programs ? pgc.program_map[pgn] - 1 : pgc.nr_of_cells;
    for (int c = first; c >= 1 && c <= last && c <= pgc.nr_of_cells; ++c) {
        const cell_playback_t& cell = pgc.cell_playback[c - 1];
        if (cell.block_type != BLOCK_TYPE_ANGLE_BLOCK || cell.block_mode == BLOCK_MODE_FIRST_CELL) {
            visit(cell);
        }
    }
}

std::vector<DVDSectorRange> ProgramCells(const pgc_t& pgc, int pgn) {
    std::vector<DVDSectorRange> cells;
    ForEachProgramCell(pgc, pgn, [&](const cell_playback_t& cell) {
        if (cell.last_sector >= cell.first_sector) {
            cells.push_back({cell.first_sector, cell.last_sector});
        }
    });
    return cells;
}

int64_t CellsDurationMs(const pgc_t& pgc, int pgn) {
    int64_t ms = 0;
    ForEachProgramCell(pgc, pgn, [&](const cell_playback_t& cell) {
        const dvd_time_t& t = cell.playback_time;
        ms += DvdTimeToMs(t.hour, t.minute, t.second, t.frame_u);
    });
    return ms;
}

int AudioBase(int format, int32_t& kind) {
    switch (format) {
    case 0:
        kind = dskAc3;
        return 0x80;
    case 2:
    case 3:
        kind = dskMpa;
        return 0xC0;
    case 4:
        kind = dskLpcm;
        return 0xA0;
    case 6:
        kind = dskDts;
        return 0x88;
    default:
        kind = 0;
        return -1;
    }
}

// Describes title `index` (from 0) or returns false when its IFO data do not hold together.
bool DescribeTitle(const ifo_handle_t& vmg, ifo_handle_t& vts, int index, DVDTitleLayout& out) {
    const title_info_t& tt = vmg.tt_srpt->title[index];
    if (!vts.vtsi_mat || !vts.vts_ptt_srpt || !vts.vts_pgcit || tt.vts_ttn < 1 ||
        tt.vts_ttn > vts.vts_ptt_srpt->nr_of_srpts || !vts.vts_ptt_srpt->title) {
        return false;
    }
    const ttu_t& ttu = vts.vts_ptt_srpt->title[tt.vts_ttn - 1];
    if (ttu.nr_of_ptts < 1 || !ttu.ptt) {
        return false;
    }
    DVDTitleInfo& info = out.info;
    std::memset(&info, 0, sizeof info);
    const vtsi_mat_t& mat = *vts.vtsi_mat;
    const video_attr_t& v = mat.vts_video_attr;
    const bool pal = v.video_format == 1;
    info.VideoFormat = v.mpeg_version == 0 ? dskMpeg1 : dskMpeg2;
    info.DisplayAspect = v.display_aspect_ratio;
    const int fullHeight = pal ? 576 : 480;
    static const int kWidths[4] = {720, 704, 352, 352};
    info.Width = kWidths[v.picture_size & 3];
    info.Height = v.picture_size == 3 ? fullHeight / 2 : fullHeight;
    info.FrameRateNum = pal ? 25 : 30000;
    info.FrameRateDen = pal ? 1 : 1001;
    info.AngleCount = tt.nr_of_angles;
    info.TitleSet = tt.title_set_nr;

    // The first chapter's PGC carries the stream maps; a title's PGCs share them.
    const ptt_info_t& first = ttu.ptt[0];
    if (first.pgcn < 1 || first.pgcn > vts.vts_pgcit->nr_of_pgci_srp || !vts.vts_pgcit->pgci_srp ||
        !vts.vts_pgcit->pgci_srp[first.pgcn - 1].pgc) {
        return false;
    }
    const pgc_t& pgc0 = *vts.vts_pgcit->pgci_srp[first.pgcn - 1].pgc;
    // A byte copy: the library packs its records, so the array need not be aligned.
    std::memcpy(info.Palette, reinterpret_cast<const char*>(&pgc0) + offsetof(pgc_t, palette),
                sizeof info.Palette);

    const int audioStreams = std::min<int>(mat.nr_of_vts_audio_streams, kDVDMaxAudio);
    for (int i = 0; i < audioStreams; ++i) {
        const audio_attr_t& a = mat.vts_audio_attr[i];
        const uint16_t control = pgc0.audio_control[i];
        if (!(control & 0x8000)) {
            continue; // not present in this title
        }
        DVDAudioInfo& entry = info.Audio[info.AudioCount];
        const int base = AudioBase(a.audio_format, entry.Format);
        if (base < 0) {
            continue;
        }
        entry.StreamID = base + ((control >> 8) & 7);
        entry.Channels = a.channels + 1;
        entry.SampleRate = a.sample_frequency == 1 ? 96000 : 48000;
        CopyCode(entry.LanguageCode, a.lang_type == 1 ? a.lang_code : 0);
        CopyText(entry.Language, LanguageName(entry.LanguageCode));
        ++info.AudioCount;
    }
    const int subStreams = std::min<int>(mat.nr_of_vts_subp_streams, kDVDMaxSubtitles);
    for (int i = 0; i < subStreams; ++i) {
        const subp_attr_t& s = mat.vts_subp_attr[i];
        const uint32_t control = pgc0.subp_control[i];
        if (!(control & 0x80000000u)) {
            continue;
        }
        DVDSubtitleInfo& entry = info.Subtitles[info.SubtitleCount];
        entry.Format = dskSub;
        // Wide pictures use the stream decoded for 16:9, others the 4:3 one.
        const int number =
            v.display_aspect_ratio == 3 ? (control >> 16) & 0x1F : (control >> 24) & 0x1F;
        entry.StreamID = 0x20 + number;
        CopyCode(entry.LanguageCode, s.type == 1 ? s.lang_code : 0);
        CopyText(entry.Language, LanguageName(entry.LanguageCode));
        ++info.SubtitleCount;
    }

    const int chapters = std::min<int>(ttu.nr_of_ptts, kDVDMaxChapters);
    int64_t startMs = 0;
    int64_t durationMs = 0;
    std::vector<int> pgcsSeen;
    for (int c = 0; c < chapters; ++c) {
        const ptt_info_t& ptt = ttu.ptt[c];
        if (ptt.pgcn < 1 || ptt.pgcn > vts.vts_pgcit->nr_of_pgci_srp ||
            !vts.vts_pgcit->pgci_srp[ptt.pgcn - 1].pgc) {
            return false;
        }
        const pgc_t& pgc = *vts.vts_pgcit->pgci_srp[ptt.pgcn - 1].pgc;
        std::vector<DVDSectorRange> cells = ProgramCells(pgc, ptt.pgn);
        if (cells.empty()) {
            return false;
        }
        info.ChapterStartMs[c] = static_cast<uint32_t>(startMs);
        startMs += CellsDurationMs(pgc, ptt.pgn);
        if (std::find(pgcsSeen.begin(), pgcsSeen.end(), ptt.pgcn) == pgcsSeen.end()) {
            pgcsSeen.push_back(ptt.pgcn);
            const dvd_time_t& t = pgc.playback_time;
            durationMs += DvdTimeToMs(t.hour, t.minute, t.second, t.frame_u);
        }
        out.chapters.push_back(std::move(cells));
    }
    info.ChapterCount = chapters;
    info.Duration = static_cast<double>(durationMs) / 1000.0;
    return true;
}

} // namespace

int64_t DvdTimeToMs(uint8_t hour, uint8_t minute, uint8_t second, uint8_t frameByte) {
    auto bcd = [](uint8_t v) { return (v >> 4) * 10 + (v & 0x0F); };
    const int rateCode = frameByte >> 6;
    const double fps = rateCode == 1 ? 25.0 : rateCode == 3 ? 30000.0 / 1001.0 : 0.0;
    int64_t ms = (static_cast<int64_t>(bcd(hour)) * 3600 + bcd(minute) * 60 + bcd(second)) * 1000;
    if (fps > 0) {
        ms += static_cast<int64_t>(bcd(frameByte & 0x3F) * 1000.0 / fps + 0.5);
    }
    return ms;
}

namespace {

struct TLanguage {
    const char* name;
    const char* code3; // ISO 639-2/B
};

// The language of an ISO 639-1 code, or null.
const TLanguage* FindLanguage(const char* code) {
    static const std::map<std::string, TLanguage> kLanguages = {
        {"ar", {"Arabic", "ara"}},     {"cs", {"Czech", "cze"}},     {"da", {"Danish", "dan"}},
        {"de", {"German", "ger"}},     {"el", {"Greek", "gre"}},     {"en", {"English", "eng"}},
        {"es", {"Spanish", "spa"}},    {"fi", {"Finnish", "fin"}},   {"fr", {"French", "fre"}},
        {"he", {"Hebrew", "heb"}},     {"hi", {"Hindi", "hin"}},     {"hu", {"Hungarian", "hun"}},
        {"it", {"Italian", "ita"}},    {"ja", {"Japanese", "jpn"}},  {"ko", {"Korean", "kor"}},
        {"nl", {"Dutch", "dut"}},      {"no", {"Norwegian", "nor"}}, {"pl", {"Polish", "pol"}},
        {"pt", {"Portuguese", "por"}}, {"ru", {"Russian", "rus"}},   {"sv", {"Swedish", "swe"}},
        {"th", {"Thai", "tha"}},       {"tr", {"Turkish", "tur"}},   {"zh", {"Chinese", "chi"}},
    };
    const std::string c = code ? std::string(code, strnlen(code, 4)) : std::string();
    auto it = kLanguages.find(c);
    return it == kLanguages.end() ? nullptr : &it->second;
}

} // namespace

std::string LanguageName(const char* code) {
    if (const TLanguage* language = FindLanguage(code)) {
        return language->name;
    }
    const std::string c = code ? std::string(code, strnlen(code, 4)) : std::string();
    return c.empty() ? "Unknown" : c;
}

std::string LanguageCode3(const char* code) {
    const TLanguage* language = FindLanguage(code);
    return language ? language->code3 : "";
}

DvdReaderPtr OpenDvd(const std::string& path, const TDVDLogSink* sink) {
    static const dvd_logger_cb kLogger = {LogToSink};
    return DvdReaderPtr(DVDOpen2(const_cast<TDVDLogSink*>(sink), &kLogger, path.c_str()));
}

int WriteDiscDescription(const std::string& path, int fd) {
    TRecordWriter w(fd);
    const TDVDLogSink sink = [&w](TDVDLogLevel level, const std::string& text) {
        std::string payload;
        Append(payload, static_cast<int32_t>(level));
        payload += text;
        w.Put(kTagLog, payload);
    };
    DvdReaderPtr dvd = OpenDvd(path, &sink);
    if (!dvd) {
        sink(TDVDLogLevel::Error, "cannot open " + path + " as a DVD");
        std::string payload;
        Append(payload, int32_t{0});
        w.Put(kTagHeader, payload);
        w.Put(kTagEnd, "");
        return 1;
    }
    IfoHandlePtr vmg(ifoOpen(dvd.get(), 0));
    int32_t count = 0;
    if (vmg && vmg->tt_srpt && vmg->tt_srpt->title) {
        count = vmg->tt_srpt->nr_of_srpts;
    } else {
        sink(TDVDLogLevel::Error, "cannot read VIDEO_TS.IFO of " + path);
        // A folder that merely is no DVD has no such file; a damaged disc has one.
        dvd_stat_t st{};
        if (DVDFileStat(dvd.get(), 0, DVD_READ_INFO_FILE, &st) == 0 ||
            DVDFileStat(dvd.get(), 0, DVD_READ_INFO_BACKUP_FILE, &st) == 0) {
            w.Put(kTagUnreadable, "");
        }
    }
    std::string header;
    Append(header, count);
    w.Put(kTagHeader, header);

    std::map<int, IfoHandlePtr> titleSets;
    for (int32_t i = 0; i < count; ++i) {
        DVDTitleLayout layout;
        const int ts = vmg->tt_srpt->title[i].title_set_nr;
        auto it = titleSets.find(ts);
        if (it == titleSets.end() && ts >= 1 && vmg->vmgi_mat &&
            ts <= vmg->vmgi_mat->vmg_nr_of_title_sets) {
            it = titleSets.emplace(ts, IfoHandlePtr(ifoOpen(dvd.get(), ts))).first;
        }
        layout.valid =
            it != titleSets.end() && it->second && DescribeTitle(*vmg, *it->second, i, layout);
        if (!layout.valid) {
            sink(TDVDLogLevel::Warning, "title " + std::to_string(i + 1) + " cannot be described");
        }
        std::string payload;
        Append(payload, i);
        Append(payload, static_cast<int32_t>(layout.valid));
        if (layout.valid) {
            Append(payload, layout.info);
            Append(payload, static_cast<int32_t>(layout.chapters.size()));
            for (const auto& cells : layout.chapters) {
                Append(payload, static_cast<int32_t>(cells.size()));
                for (const DVDSectorRange& r : cells) {
                    Append(payload, r.first);
                    Append(payload, r.last);
                }
            }
        }
        w.Put(kTagTitle, payload);
    }
    w.Put(kTagEnd, "");
    return 0;
}

namespace {

class TCursor {
public:
    TCursor(const char* p, size_t n) : p_(p), end_(p + n) {}
    template <typename T> bool Get(T& v) {
        if (static_cast<size_t>(end_ - p_) < sizeof v) {
            return false;
        }
        std::memcpy(&v, p_, sizeof v);
        p_ += sizeof v;
        return true;
    }
    size_t Left() const { return static_cast<size_t>(end_ - p_); }
    const char* Here() const { return p_; }

private:
    const char* p_;
    const char* end_;
};

bool ParseTitle(TCursor c, DVDDiscInfo& disc) {
    int32_t index = 0;
    int32_t valid = 0;
    if (!c.Get(index) || !c.Get(valid) || index < 0 || index >= disc.titleCount) {
        return false;
    }
    DVDTitleLayout layout;
    if (valid) {
        int32_t chapters = 0;
        if (!c.Get(layout.info) || !c.Get(chapters) || chapters < 1 || chapters > kDVDMaxChapters ||
            chapters != layout.info.ChapterCount || layout.info.AudioCount < 0 ||
            layout.info.AudioCount > kDVDMaxAudio || layout.info.SubtitleCount < 0 ||
            layout.info.SubtitleCount > kDVDMaxSubtitles) {
            return false;
        }
        for (int32_t ch = 0; ch < chapters; ++ch) {
            int32_t cells = 0;
            if (!c.Get(cells) || cells < 1 || static_cast<size_t>(cells) > c.Left() / 8) {
                return false;
            }
            std::vector<DVDSectorRange> ranges(static_cast<size_t>(cells));
            for (DVDSectorRange& r : ranges) {
                if (!c.Get(r.first) || !c.Get(r.last) || r.last < r.first) {
                    return false;
                }
            }
            layout.chapters.push_back(std::move(ranges));
        }
        // Texts are zero-terminated for every reader, whatever the helper sent.
        for (DVDAudioInfo& a : layout.info.Audio) {
            a.Language[sizeof a.Language - 1] = 0;
            a.LanguageCode[sizeof a.LanguageCode - 1] = 0;
        }
        for (DVDSubtitleInfo& s : layout.info.Subtitles) {
            s.Language[sizeof s.Language - 1] = 0;
            s.LanguageCode[sizeof s.LanguageCode - 1] = 0;
        }
        layout.valid = true;
    }
    disc.titles[static_cast<size_t>(index)] = std::move(layout);
    return true;
}

} // namespace

DVDDiscInfo ParseDiscDescription(const std::string& bytes, const TDVDLogSink& log) {
    DVDDiscInfo disc;
    TCursor c(bytes.data(), bytes.size());
    bool haveHeader = false;
    while (c.Left() > 0) {
        uint8_t tag = 0;
        uint32_t length = 0;
        if (!c.Get(tag) || !c.Get(length) || length > c.Left()) {
            break;
        }
        TCursor payload(c.Here(), length);
        c = TCursor(c.Here() + length, c.Left() - length);
        if (tag == kTagLog) {
            int32_t level = 0;
            if (payload.Get(level) && log) {
                log(static_cast<TDVDLogLevel>(std::clamp(level, 0, 3)),
                    std::string(payload.Here(), payload.Left()));
            }
        } else if (tag == kTagUnreadable) {
            disc.structureUnreadable = true;
        } else if (tag == kTagHeader && !haveHeader) {
            int32_t count = 0;
            // A title number is one byte on the disc's menus; more is a broken stream.
            if (!payload.Get(count) || count < 0 || count > 99) {
                break;
            }
            haveHeader = true;
            disc.titleCount = count;
            disc.titles.resize(static_cast<size_t>(count));
        } else if (tag == kTagTitle && haveHeader) {
            if (!ParseTitle(payload, disc)) {
                break;
            }
        } else if (tag == kTagEnd && haveHeader) {
            disc.complete = true;
            break;
        } else {
            break;
        }
    }
    return disc;
}

} // namespace quovo
