#include "TOptionBuilder.h"

#include "DVDTypes.h"
#include "FormatCatalogue.h"
#include "FormatRules.h"
#include "TAVProbe.h"
#include "TFFLogger.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <map>
#include <numeric>
#include <optional>

namespace quovo {

const char* const kVideoSizeQuestion = "Error output Video Size.Use the default size 320x240?";

namespace {

// One section of an INI file, read in one operation; keys without case.
class TSection {
public:
    TSection(const TIniStore& ini, const std::string& section) {
        for (auto& [k, v] : ini.ReadSectionValues(section)) {
            values_[ToLower(k)] = v;
        }
    }
    std::string Read(const std::string& key, const std::string& dflt) const {
        auto it = values_.find(ToLower(key));
        return it == values_.end() ? dflt : it->second;
    }

private:
    std::map<std::string, std::string> values_;
};

int Trunc(double x) {
    double t = std::trunc(x);
    if (!(t >= INT_MIN && t <= INT_MAX)) {
        return 0;
    }
    return static_cast<int>(t);
}

int Even(int x) {
    return (x / 2) * 2;
}

// E(X, k) of the letterbox cases.
int Pad(int X, int k) {
    return ((X - 2 * (k / 2)) / 4) * 2;
}

std::string SizeText(int w, int h, const char* sep) {
    return std::to_string(w) + sep + std::to_string(h);
}

// A count "whole number, not 'as source', greater than 0".
std::optional<int> PositiveWhole(const std::string& text) {
    if (text == "as source") {
        return std::nullopt;
    }
    auto n = ParseWholeNumber(text);
    if (n && *n > 0) {
        return n;
    }
    return std::nullopt;
}

// kbit/s text → bit/s, when positive and representable.
std::optional<int> AudioBitrate(const std::string& text) {
    if (text == "as source" || !IsDecimalNumber(text)) {
        return std::nullopt;
    }
    const double bits = std::strtod(text.c_str(), nullptr) * 1000;
    if (!(bits > 0) || bits >= static_cast<double>(INT_MAX) + 1) {
        return std::nullopt;
    }
    const int value = Trunc(bits);
    return value > 0 ? std::optional<int>(value) : std::nullopt;
}

void SetAudioNumbers(const TSection& set, TOutputOptions& out) {
    if (auto rate = PositiveWhole(set.Read("paraSampleRate", "44100"))) {
        out.AudioSampleRate = *rate;
    }
    if (auto rate = AudioBitrate(set.Read("paraAudioBitRate", "128"))) {
        out.AudioBitrate = *rate;
    }
    // A missing volume means an unchanged one: the old default of 3 (of 256) made the sound all
    // but silent.
    const std::string volume = set.Read("paraVolume", "256");
    if (volume != "256") {
        if (auto v = ParseWholeNumber(volume)) {
            out.AudioVolume = *v;
        }
    }
}

void AppendFilter(TOutputOptions& out, const std::string& filter) {
    out.VideoFilters = out.VideoFilters.empty() ? filter : out.VideoFilters + "," + filter;
}

// The formats whose MPEG-2 is a DVD's: the DVD disc keywords, and program streams for DVD
// players ("vob") that offer no frame size beyond the DVD's 720x576. An HD program stream is
// MPEG-2 with its own rates, not a disc.
bool IsDvdFormat(const std::string& F, const std::string& offeredSizes) {
    if (F == "ntsc-dvd" || F == "pal-dvd") {
        return true;
    }
    if (F != "vob") {
        return false;
    }
    for (const std::string& size :
         SplitFormatList(offeredSizes).value_or(std::vector<std::string>())) {
        const size_t x = size.find('x');
        if (x != std::string::npos) {
            const auto w = ParseWholeNumber(TrimBlanks(size.substr(0, x)));
            const auto h = ParseWholeNumber(TrimBlanks(size.substr(x + 1)));
            if ((w && *w > 720) || (h && *h > 576)) {
                return false;
            }
        }
    }
    return true;
}

// DV carries two sound channels at 32, 44.1 or 48 kHz and nothing else.
void FitDvSound(TOutputOptions& out) {
    if (out.AudioChannels != 2) {
        if (out.AudioChannels > 0) {
            FFLogger()->LogFmt(nullptr, llWarning,
                               "DV carries 2 sound channels, not %d: the output has 2",
                               out.AudioChannels);
        }
        out.AudioChannels = 2;
    }
    const int rate = out.AudioSampleRate;
    if (rate != 32000 && rate != 44100 && rate != 48000) {
        if (rate > 0) {
            FFLogger()->LogFmt(nullptr, llWarning,
                               "DV carries no %d Hz sound: the output has 48000 Hz", rate);
        }
        out.AudioSampleRate = 48000;
    }
}

bool IsH263Size(int w, int h) {
    return (w == 128 && h == 96) || (w == 176 && h == 144) || (w == 352 && h == 288) ||
           (w == 704 && h == 576) || (w == 1408 && h == 1152);
}

} // namespace

TLetterboxPads LetterboxPads(int sw, int sh, int W, int H) {
    TLetterboxPads p;
    if (sw <= 0 || sh <= 0 || W <= 0 || H <= 0) {
        return p;
    }
    if (W <= sw && H >= sh) { // A
        const int k = Trunc(sh / (static_cast<double>(sw) / W));
        p.Top = p.Bottom = Pad(H, k);
        p.Left = p.Right = 0;
    }
    if (W >= sw && H <= sh) { // B
        const int k = Trunc(sw / (static_cast<double>(sh) / H));
        p.Left = p.Right = Pad(W, k);
        p.Top = p.Bottom = 0;
    }
    auto fitBoth = [&] { // C and D
        const double ra = static_cast<double>(sw) / W;
        const double rb = static_cast<double>(sh) / H;
        if (ra > rb) {
            p.Top = p.Bottom = Pad(H, Trunc(sh / ra));
            p.Left = p.Right = 0;
        } else if (ra < rb) {
            p.Left = p.Right = Pad(W, Trunc(sw / rb));
            p.Top = p.Bottom = 0;
        } else {
            p.Top = p.Bottom = Pad(H, Trunc(sh / ra));
            p.Left = p.Right = Pad(W, Trunc(sw / rb));
        }
    };
    if (W >= sw && H >= sh) {
        fitBoth();
    }
    if (W <= sw && H <= sh) {
        fitBoth();
    }
    return p;
}

TSourcePicture SourcePictureFromProbe(TAVProbe& probe) {
    TSourcePicture s;
    s.VideoStreamCount = std::max(0, probe.VideoStreamCount());
    if (s.VideoStreamCount > 0) {
        TVideoStreamInfo v = probe.GetVideoStreamInfo(-1);
        s.Width = v.Width;
        s.Height = v.Height;
        s.BitRate = v.BitRate;
        s.SarNum = v.SampleAspectNum;
        s.SarDen = v.SampleAspectDen;
    }
    return s;
}

TOptionBuilder::TOptionBuilder(const TIniStore& settings, const TIniStore& formatFile,
                               TDialogService& dialogs)
    : settings_(settings), formatFile_(formatFile), dialogs_(dialogs) {}

void TOptionBuilder::BuildOutputOptions(const TRowEdits& row, int formatCode,
                                        TOutputOptions& output, const TSourcePicture& source,
                                        TInputOptions& input) {
    Build(TVariant::File, row, formatCode, output, source, input);
}

void TOptionBuilder::BuildOutputOptions(const TRowEdits& row, int formatCode,
                                        TOutputOptions& output, TAVProbe& probe,
                                        TInputOptions& input) {
    Build(TVariant::File, row, formatCode, output, SourcePictureFromProbe(probe), input);
}

void TOptionBuilder::BuildDVDOutputOptions(const TRowEdits& row, int formatCode,
                                           TOutputOptions& output, int titleWidth, int titleHeight,
                                           TInputOptions& input, int sarNum, int sarDen) {
    TSourcePicture source;
    source.VideoStreamCount = 1;
    source.Width = titleWidth;
    source.Height = titleHeight;
    source.SarNum = sarNum;
    source.SarDen = sarDen;
    Build(TVariant::DVD, row, formatCode, output, source, input);
}

void TOptionBuilder::BuildDVDOutputOptions(const TRowEdits& row, int formatCode,
                                           TOutputOptions& output, const DVDTitleInfo& title,
                                           TInputOptions& input) {
    // A disc's picture is shown at 4:3 or 16:9 whatever its pixel counts: its pixels have the
    // shape that makes it so.
    const bool wide = title.DisplayAspect == 3;
    int64_t num = static_cast<int64_t>(wide ? 16 : 4) * title.Height;
    int64_t den = static_cast<int64_t>(wide ? 9 : 3) * title.Width;
    const int64_t g = den > 0 ? std::gcd(num, den) : 1;
    BuildDVDOutputOptions(row, formatCode, output, title.Width, title.Height, input,
                          static_cast<int>(num / g), static_cast<int>(den / g));
}

void TOptionBuilder::Build(TVariant variant, const TRowEdits& row, int formatCode,
                           TOutputOptions& out, const TSourcePicture& source,
                           TInputOptions& input) {
    const std::string section = FormatSection(formatCode);
    const TSection fmt(formatFile_, section);
    const TSection set(settings_, section);
    const bool dvd = variant == TVariant::DVD;
    const std::string format = fmt.Read("Format", "null");
    const std::string F = ToLower(format);
    const int sw = source.Width;
    const int sh = source.Height;
    const bool sarKnown = source.SarNum > 0 && source.SarDen > 0;
    const int sarNum = sarKnown ? source.SarNum : 1;
    const int sarDen = sarKnown ? source.SarDen : 1;
    const bool anamorphic = sarNum != sarDen;
    // Display width of `w` source columns.
    auto shown = [&](int w) {
        return static_cast<int>(std::lround(static_cast<double>(w) * sarNum / sarDen));
    };
    // The aspect option of an output at the source's own size: the source's display shape, so
    // that its pixels keep their shape.
    auto sourceAspect = [&](int w, int h) {
        const int64_t num = static_cast<int64_t>(w) * sarNum;
        const int64_t den = static_cast<int64_t>(h) * sarDen;
        const int64_t g = std::gcd(num, den);
        if (!anamorphic || g == 0) {
            return SizeText(w, h, ":");
        }
        return std::to_string(num / g) + ":" + std::to_string(den / g);
    };

    // 1. Disc targets.
    struct Disc {
        const char* keyword;
        int type;
        int norm;
        const char* wideSize; // the size that makes the picture 16:9, if any
    };
    static const Disc discs[] = {
        {"ntsc-dvd", 3, 2, "720x480"}, {"pal-dvd", 3, 1, "720x576"}, {"ntsc-vcd", 1, 2, nullptr},
        {"pal-vcd", 1, 1, nullptr},    {"ntsc-svcd", 2, 2, nullptr}, {"pal-svcd", 2, 1, nullptr},
    };
    // A disc's flag taken from the title's own shape outlives the fitting below.
    std::string discAspect;
    for (const Disc& d : discs) {
        if (F == d.keyword) {
            out.TargetType = d.type;
            out.TargetNorm = d.norm;
            // A source known not to have square pixels says itself whether it is wide.
            const bool wide = d.wideSize != nullptr &&
                              (anamorphic ? static_cast<int64_t>(sw) * sarNum * 100 >
                                                static_cast<int64_t>(sh) * sarDen * 155
                                          : set.Read("paraVideoSize", "null") == d.wideSize);
            out.FrameAspect = wide ? "16:9" : "4:3";
            if (!dvd) {
                return;
            }
            if (anamorphic) {
                discAspect = out.FrameAspect;
            }
            break;
        }
    }

    // 2. Audio-only formats.
    const std::string V = set.Read("paraVideoEncoder", "");
    if (TrimBlanks(V).empty()) {
        out.AudioCodec = set.Read("paraAudioEncoder", "libfaac");
        if (auto ch = PositiveWhole(set.Read("paraChannel", "2"))) {
            out.AudioChannels = *ch;
        }
        SetAudioNumbers(set, out);
        input.ExtOptions = "vn=1";
        out.DisableVideo = true;
        out.DisableSubtitle = true;
        return;
    }

    // 3. Video codec and preset. A source without picture makes no DVD: the target would ask
    // for a picture's frame rate.
    const bool noVideo = !dvd && source.VideoStreamCount <= 0;
    if (IsVideoCodecName(V)) {
        out.VideoCodec = V;
        if (V == "mpeg2video" && !noVideo && IsDvdFormat(F, fmt.Read("VideoSize", "null"))) {
            out.TargetType = 3;
        }
        if (V == "libx264") {
            out.VideoPreset = F == "psp"    ? "libx264-psp"
                              : F == "ipod" ? "libx264-ipod"
                              : F == "ps3"  ? "libx264-ps3"
                                            : "libx264-mp4";
        }
    }

    if (noVideo) {
        // 4. Nothing to picture: straight to the sound.
        out.DisableVideo = true;
    } else {
        // 5. Video bit rate.
        const std::string vbr = set.Read("paraVideoBitRate", "512");
        std::optional<int> kbits = vbr == "as source" ? std::nullopt : ParseWholeNumber(vbr);
        if (kbits) {
            if (*kbits > 0 && *kbits <= INT_MAX / 1000) {
                out.VideoBitrate = *kbits * 1000;
            }
        } else if (!dvd && source.BitRate > 0) {
            out.VideoBitrate = source.BitRate;
        }

        // 6. Frame rate and container.
        const std::string fps = set.Read("paraFrameRate", "29.97");
        if (fps != "as source" && IsDecimalNumber(fps) && std::strtod(fps.c_str(), nullptr) > 0) {
            out.FrameRate = fps;
        }
        if (IsContainerKeyword(F)) {
            out.FileFormat = format;
        }

        // 7. Target size.
        std::string t = set.Read("paraVideoSize", "null");
        int W = sw;
        int H = sh;
        const size_t x = t.find('x');
        const bool shaped = t != "as source" && x != std::string::npos && x > 0 && x + 1 < t.size();
        if (shaped) {
            W = ParseWholeNumber(t.substr(0, x)).value_or(sw);
            H = ParseWholeNumber(t.substr(x + 1)).value_or(sh);
            // H.263 knows five picture sizes only; any other is taken to the next one up by
            // width (the encoder would refuse it).
            if (ToLower(out.VideoCodec) == "h263" && !IsH263Size(W, H)) {
                const std::string asked = SizeText(W, H, "x");
                if (W <= 128) {
                    W = 128, H = 96;
                } else if (W <= 176) {
                    W = 176, H = 144;
                } else if (W <= 352) {
                    W = 352, H = 288;
                } else {
                    W = 704, H = 576;
                }
                FFLogger()->LogFmt(nullptr, llWarning,
                                   "H.263 has no %s pictures: the output is %dx%d", asked.c_str(),
                                   W, H);
            }
        } else if (t != "as source") {
            if (dialogs_.AskYesNo("Warning", kVideoSizeQuestion)) {
                W = 320;
                H = 240;
            } else {
                t = "as source";
            }
        }
        if (t == "as source") {
            W = sw;
            H = sh;
        }

        // 8. Crop fields.
        for (int* crop : {&out.CropTop, &out.CropBottom, &out.CropLeft, &out.CropRight}) {
            if (*crop == -1) {
                *crop = 0;
            }
        }

        // 9. Fitting.
        const int cT = row.CropTop, cB = row.CropBottom, cL = row.CropLeft, cR = row.CropRight;
        const bool rowCrop = cT > 0 || cB > 0 || cL > 0 || cR > 0;
        // The old crop order (left, top, width, height): the engine translates every chain
        // text it is given, so a text in today's order would be turned round a second time.
        const std::string cropFilter =
            "crop=" + SizeText(cL, cT, ":") + ":" + SizeText(sw - cL - cR, sh - cT - cB, ":");
        const bool sized = sw > 0 && sh > 0 && W > 0 && H > 0;
        const bool same = W == sw && H == sh;
        std::string filter;
        const std::string& zoom = row.ZoomMode;
        if (zoom == "full" || (!sized && (zoom == "lbox" || zoom == "pan" || zoom == "center"))) {
            // Sizes of 0 leave nothing to fit by ratio: the picture is stretched.
            if (rowCrop) {
                out.CropTop = cT, out.CropBottom = cB, out.CropLeft = cL, out.CropRight = cR;
            }
            out.FrameSize = SizeText(W, H, "x");
            out.FrameAspect = same ? sourceAspect(W, H) : SizeText(W, H, ":");
        } else if (zoom == "lbox") {
            // Fitted by what is shown: the kept area's display width when the output gets square
            // pixels, its pixel counts when the output keeps the source's size and pixels.
            const int keptW = sw - cL - cR;
            const int keptH = sh - cT - cB;
            TLetterboxPads p =
                same ? LetterboxPads(keptW, keptH, W, H) : LetterboxPads(shown(keptW), keptH, W, H);
            if (dvd && same) {
                p = TLetterboxPads();
            }
            const int pw = W - p.Left - p.Right;
            const int ph = H - p.Top - p.Bottom;
            const std::string pad =
                "pad=" + SizeText(W, H, ":") + ":" + SizeText(p.Left, p.Top, ":");
            const std::string full = cropFilter + ",scale=" + SizeText(pw, ph, ":") + "," + pad;
            if (!dvd) {
                filter = full;
                if (same) {
                    out.FrameSize = SizeText(W, H, "x");
                    out.FrameAspect = sourceAspect(W, H);
                } else if (anamorphic) {
                    // Square pixels out. The encoder has the source's size until the chain has
                    // run, so the aspect that makes them square is the source's pixel counts.
                    out.FrameAspect = SizeText(sw, sh, ":");
                }
            } else if (rowCrop) {
                out.FrameAspect = same ? sourceAspect(pw, ph) : SizeText(pw, ph, ":");
                filter = full;
            } else {
                out.FrameSize = SizeText(pw, ph, "x");
                out.FrameAspect = same ? sourceAspect(pw, ph) : SizeText(pw, ph, ":");
                filter = pad;
            }
        } else if (zoom == "pan") {
            // What is kept shows 4:3 on screen: the sides (or the top and bottom) lose what lies
            // beyond it, measured in display units and taken back to source pixels.
            const int cw = sw - cL - cR;
            const int ch = sh - cT - cB;
            const int w2 = sw - out.CropLeft - out.CropRight;
            const int h2 = sh - out.CropTop - out.CropBottom;
            if (cw > 0 && ch > 0 && w2 > 0 && h2 > 0) {
                const int64_t shownW = static_cast<int64_t>(cw) * sarNum * 3;
                const int64_t shownH = static_cast<int64_t>(ch) * sarDen * 4;
                const double sar = static_cast<double>(sarNum) / sarDen;
                if (shownW > shownH) {
                    const int k = Trunc((w2 - 4.0 / 3.0 * h2 / sar) / 2);
                    // Never more than leaves a picture.
                    out.CropLeft = out.CropRight =
                        std::min(Even(std::max(k, 0) + cL), Even((sw - 2) / 2));
                } else if (shownW < shownH) {
                    const int k = Trunc((h2 - w2 * sar * 3.0 / 4.0) / 2);
                    out.CropTop = out.CropBottom =
                        std::min(Even(std::max(k, 0) + cT), Even((sh - 2) / 2));
                }
            }
            out.FrameSize = SizeText(W, H, "x");
            // At the source's own size the pixels are not square unless the frame is 4:3.
            out.FrameAspect = same ? std::string("4:3") : SizeText(W, H, ":");
        } else if (zoom == "center" && !dvd) {
            // The kept picture is padded with black at its own size to the target's shape, then
            // scaled: nothing is cut and nothing is stretched.
            const int cw = sw - cL - cR;
            const int ch = sh - cT - cB;
            if (cw > 0 && ch > 0) {
                int pw = cw;
                int ph = ch;
                if (static_cast<long long>(cw) * H > static_cast<long long>(ch) * W) {
                    ph = Even(static_cast<int>(std::lround(static_cast<double>(cw) * H / W)) + 1);
                } else {
                    pw = Even(static_cast<int>(std::lround(static_cast<double>(ch) * W / H)) + 1);
                }
                pw = std::max(pw, cw);
                ph = std::max(ph, ch);
                const int left = Even((pw - cw) / 2);
                const int top = Even((ph - ch) / 2);
                if (rowCrop) {
                    filter = cropFilter + ",";
                }
                filter += "pad=" + SizeText(pw, ph, ":") + ":" + SizeText(left, top, ":") +
                          ":black,scale=" + SizeText(W, H, ":");
                // No frame size: the engine would scale to it ahead of the chain, which needs
                // the source's own size.
                out.FrameAspect = SizeText(W, H, ":");
            }
        }

        // 10. Filter text.
        if (!filter.empty()) {
            AppendFilter(out, filter);
        }
        if (!discAspect.empty()) {
            out.FrameAspect = discAspect;
        }
    }

    // 11. Sound.
    std::string acodec = set.Read("paraAudioEncoder", "");
    if (acodec == "libamr_nb") {
        acodec = "libopencore_amrnb";
    }
    if (TrimBlanks(acodec).empty()) {
        out.DisableAudio = true;
    } else {
        out.AudioCodec = acodec;
    }
    const std::string channels = set.Read("paraChannel", "2");
    if (channels != "as source") {
        if (auto ch = ParseWholeNumber(channels)) {
            out.AudioChannels = *ch;
        }
    }
    SetAudioNumbers(set, out);
    if (F == "dv" && !out.DisableAudio) {
        FitDvSound(out);
    }
}

} // namespace quovo
