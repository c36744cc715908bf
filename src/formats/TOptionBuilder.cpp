#include "TOptionBuilder.h"

#include "DVDTypes.h"
#include "EncoderLimits.h"
#include "FormatCatalogue.h"
#include "FormatRules.h"
#include "TAVProbe.h"
#include "TFFLogger.h"
#include "TFormatSettings.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/rational.h>
}

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <numeric>
#include <optional>

namespace quovo {

const char* const kVideoSizeQuestion = "Error output Video Size.Use the default size 320x240?";

namespace {

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

void SetAudioNumbers(const TFormatSettings& set, TOutputOptions& out) {
    if (auto rate = PositiveWhole(set.Value(TFormatKey::SampleRate))) {
        out.AudioSampleRate = *rate;
    }
    if (auto rate = AudioBitrate(set.Value(TFormatKey::AudioBitRate))) {
        out.AudioBitrate = *rate;
    }
    const std::string volume = set.Value(TFormatKey::Volume);
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

// A frame rate as the boxes write it: 25, 29.97, 23.976.
std::string RateText(double fps) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", std::round(fps * 1000) / 1000);
    return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// One call of the builder: its inputs, what is derived from them, and the numbered steps.
class TBuild {
public:
    TBuild(bool dvd, const TRowEdits& row, const TFormatSettings& set, std::string offeredSizes,
           const TSourcePicture& source, TOutputOptions& out, TInputOptions& input,
           TDialogService& dialogs)
        : dvd_(dvd), row_(row), set_(set), offeredSizes_(std::move(offeredSizes)), source_(source),
          out_(out), input_(input), dialogs_(dialogs), format_(set.FormatKeyword()),
          F_(ToLower(format_)), sw_(source.Width), sh_(source.Height) {
        const bool sarKnown = source.SarNum > 0 && source.SarDen > 0;
        sarNum_ = sarKnown ? source.SarNum : 1;
        sarDen_ = sarKnown ? source.SarDen : 1;
    }

    void Run() {
        if (!DiscTarget()) {
            return;
        }
        if (TrimBlanks(set_.Value(TFormatKey::VideoEncoder)).empty()) {
            SoundOnlyFormat();
            return;
        }
        VideoCodec();
        if (noVideo_) {
            // 4. Nothing to picture: straight to the sound.
            out_.DisableVideo = true;
        } else {
            VideoRates();
            TargetSize();
            Fit();
        }
        Sound();
    }

private:
    bool Anamorphic() const { return sarNum_ != sarDen_; }
    // Display width of `w` source columns.
    int Shown(int w) const {
        return static_cast<int>(std::lround(static_cast<double>(w) * sarNum_ / sarDen_));
    }
    // The aspect option of an output at the source's own size: the source's display shape, so
    // that its pixels keep their shape.
    std::string SourceAspect(int w, int h) const {
        const int64_t num = static_cast<int64_t>(w) * sarNum_;
        const int64_t den = static_cast<int64_t>(h) * sarDen_;
        const int64_t g = std::gcd(num, den);
        if (!Anamorphic() || g == 0) {
            return SizeText(w, h, ":");
        }
        return std::to_string(num / g) + ":" + std::to_string(den / g);
    }
    double SourceRate() const {
        return source_.FrameRateNum > 0 && source_.FrameRateDen > 0
                   ? static_cast<double>(source_.FrameRateNum) / source_.FrameRateDen
                   : 0;
    }

    bool DiscTarget();
    void SoundOnlyFormat();
    void VideoCodec();
    void VideoRates();
    void FitFrameRate();
    // Chooses the norm of a DVD; with setNorm false only its frame rate, from which the engine
    // takes the same norm.
    void DvdNorm(bool setNorm);
    void TargetSize();
    void Fit();
    void FitLetterbox(const std::string& cropFilter);
    void FitPan();
    void FitCenter(const std::string& cropFilter);
    void Sound();
    void FitSound(bool rateAsSource, bool bitRateAsSource);
    void FitDvSound();

    const bool dvd_;
    const TRowEdits& row_;
    const TFormatSettings& set_;
    const std::string offeredSizes_; // the format file's frame sizes
    const TSourcePicture& source_;
    TOutputOptions& out_;
    TInputOptions& input_;
    TDialogService& dialogs_;
    const std::string format_;
    const std::string F_;
    const int sw_;
    const int sh_;
    int sarNum_ = 1;
    int sarDen_ = 1;
    bool noVideo_ = false;
    int W_ = 0; // target size
    int H_ = 0;
    std::string filter_;
    // A disc's flag taken from the title's own shape outlives the fitting.
    std::string discAspect_;
};

// 1. Disc targets. False when the target supplies the rest.
bool TBuild::DiscTarget() {
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
    for (const Disc& d : discs) {
        if (F_ != d.keyword) {
            continue;
        }
        out_.TargetType = d.type;
        out_.TargetNorm = d.norm;
        // A source known not to have square pixels says itself whether it is wide.
        const bool wide = d.wideSize != nullptr &&
                          (Anamorphic() ? static_cast<int64_t>(sw_) * sarNum_ * 100 >
                                              static_cast<int64_t>(sh_) * sarDen_ * 155
                                        : set_.Value(TFormatKey::VideoSize) == d.wideSize);
        out_.FrameAspect = wide ? "16:9" : "4:3";
        if (!dvd_) {
            return false;
        }
        if (Anamorphic()) {
            discAspect_ = out_.FrameAspect;
        }
        break;
    }
    return true;
}

// 2. Audio-only formats.
void TBuild::SoundOnlyFormat() {
    const std::string codec = set_.Value(TFormatKey::AudioEncoder);
    if (!TrimBlanks(codec).empty()) {
        out_.AudioCodec = codec; // else the container's own
    }
    if (auto ch = PositiveWhole(set_.Value(TFormatKey::Channel))) {
        out_.AudioChannels = *ch;
    }
    SetAudioNumbers(set_, out_);
    FitSound(set_.Value(TFormatKey::SampleRate) == "as source",
             set_.Value(TFormatKey::AudioBitRate) == "as source");
    input_.ExtOptions = "vn=1";
    out_.DisableVideo = true;
    out_.DisableSubtitle = true;
}

// 3. Video codec and preset. A source without picture makes no DVD: the target would ask for a
// picture's frame rate.
void TBuild::VideoCodec() {
    const std::string V = set_.Value(TFormatKey::VideoEncoder);
    noVideo_ = !dvd_ && source_.VideoStreamCount <= 0;
    if (!IsVideoCodecName(V)) {
        return;
    }
    out_.VideoCodec = V;
    if (V == "mpeg2video" && !noVideo_ && IsDvdFormat(F_, offeredSizes_)) {
        out_.TargetType = 3;
    }
    if (V == "libx264") {
        out_.VideoPreset = F_ == "psp"    ? "libx264-psp"
                           : F_ == "ipod" ? "libx264-ipod"
                           : F_ == "ps3"  ? "libx264-ps3"
                                          : "libx264-mp4";
    }
}

// 5. Video bit rate; 6. frame rate and container.
void TBuild::VideoRates() {
    const std::string vbr = set_.Value(TFormatKey::VideoBitRate);
    std::optional<int> kbits = vbr == "as source" ? std::nullopt : ParseWholeNumber(vbr);
    if (kbits) {
        if (*kbits > 0 && *kbits <= INT_MAX / 1000) {
            out_.VideoBitrate = *kbits * 1000;
        }
    } else if (!dvd_ && source_.BitRate > 0) {
        out_.VideoBitrate = source_.BitRate;
    }

    const std::string fps = set_.Value(TFormatKey::FrameRate);
    if (fps != "as source" && IsDecimalNumber(fps) && std::strtod(fps.c_str(), nullptr) > 0) {
        out_.FrameRate = fps;
    }
    if (IsContainerKeyword(F_)) {
        out_.FileFormat = format_;
    }
    // A chain that fits the picture needs the source's size: a norm chosen here would put the
    // target's size ahead of it, so those modes leave the norm to the engine.
    const bool chain = row_.ZoomMode == "lbox" || row_.ZoomMode == "center";
    if (out_.TargetType == 3 && !dvd_ && out_.TargetNorm == 0) {
        DvdNorm(!chain);
    } else {
        FitFrameRate();
    }
}

// Encoders that know a few frame rates only (MPEG-1 and MPEG-2) get the nearest of them.
void TBuild::FitFrameRate() {
    const double asked =
        out_.FrameRate.empty() ? SourceRate() : std::strtod(out_.FrameRate.c_str(), nullptr);
    const AVCodec* codec =
        out_.VideoCodec.empty() ? nullptr : avcodec_find_encoder_by_name(out_.VideoCodec.c_str());
    if (!(asked > 0) || codec == nullptr || codec->supported_framerates == nullptr) {
        return;
    }
    const AVRational want = av_d2q(asked, 1001000);
    const AVRational got =
        codec->supported_framerates[av_find_nearest_q_idx(want, codec->supported_framerates)];
    if (std::abs(av_q2d(got) - asked) > asked * 0.001) {
        out_.FrameRate = RateText(av_q2d(got));
        FFLogger()->LogFmt(nullptr, llWarning, "%s has no %s fps: the output has %s fps",
                           EncoderName(out_.VideoCodec).c_str(), RateText(asked).c_str(),
                           out_.FrameRate.c_str());
    }
}

// A DVD program stream is PAL or NTSC: by the chosen frame rate, else the chosen picture height,
// else the source's rate, else its height. "as source" becomes the norm's rate.
void TBuild::DvdNorm(bool setNorm) {
    auto normOfRate = [](double r) {
        return std::abs(r - 25) < 0.01                                     ? 1
               : std::abs(r - 29.97) < 0.01 || std::abs(r - 23.976) < 0.01 ? 2
                                                                           : 0;
    };
    const std::string size = set_.Value(TFormatKey::VideoSize);
    int norm =
        out_.FrameRate.empty() ? 0 : normOfRate(std::strtod(out_.FrameRate.c_str(), nullptr));
    if (norm == 0) {
        norm = EndsWith(size, "x576") ? 1 : EndsWith(size, "x480") ? 2 : 0;
    }
    if (norm == 0) {
        norm = normOfRate(SourceRate());
    }
    if (norm == 0) {
        norm = sh_ == 576 ? 1 : 2;
    }
    const double rate = norm == 1 ? 25.0 : 30000.0 / 1001;
    if (out_.FrameRate.empty() && SourceRate() > 0 && std::abs(SourceRate() - rate) > 0.01) {
        FFLogger()->LogFmt(nullptr, llWarning, "A DVD has no %s fps: the output has %s fps",
                           RateText(SourceRate()).c_str(), RateText(rate).c_str());
    }
    if (setNorm) {
        out_.TargetNorm = norm;
    } else if (out_.FrameRate.empty()) {
        // Else the engine would guess a norm of its own from the source alone.
        out_.FrameRate = norm == 1 ? "25" : "29.97";
    }
}

// 7. Target size.
void TBuild::TargetSize() {
    std::string t = set_.Value(TFormatKey::VideoSize);
    W_ = sw_;
    H_ = sh_;
    const size_t x = t.find('x');
    if (t != "as source" && !VideoSizeNeedsQuestion(t)) {
        W_ = ParseWholeNumber(t.substr(0, x)).value_or(sw_);
        H_ = ParseWholeNumber(t.substr(x + 1)).value_or(sh_);
    } else if (t != "as source") {
        if (dialogs_.AskYesNo("Warning", kVideoSizeQuestion)) {
            W_ = 320;
            H_ = 240;
        } else {
            t = "as source";
        }
    }
    if (t == "as source") {
        W_ = sw_;
        H_ = sh_;
    }
    // H.263 knows five picture sizes only; any other is taken to the next one up by width (the
    // encoder would refuse it).
    const auto [w, h] = ProducedFrameSize(out_.VideoCodec, W_, H_);
    if (w != W_ || h != H_) {
        FFLogger()->LogFmt(nullptr, llWarning, "%s has no %s pictures: the output is %dx%d",
                           EncoderName(out_.VideoCodec).c_str(), SizeText(W_, H_, "x").c_str(), w,
                           h);
        W_ = w;
        H_ = h;
    }
}

// 8. Crop fields, 9. fitting by the row's zoom mode, 10. filter text.
void TBuild::Fit() {
    for (int* crop : {&out_.CropTop, &out_.CropBottom, &out_.CropLeft, &out_.CropRight}) {
        if (*crop == -1) {
            *crop = 0;
        }
    }
    const int cT = row_.CropTop, cB = row_.CropBottom, cL = row_.CropLeft, cR = row_.CropRight;
    // The old crop order (left, top, width, height): the engine translates every chain text it
    // is given, so a text in today's order would be turned round a second time.
    const std::string cropFilter =
        "crop=" + SizeText(cL, cT, ":") + ":" + SizeText(sw_ - cL - cR, sh_ - cT - cB, ":");
    const bool sized = sw_ > 0 && sh_ > 0 && W_ > 0 && H_ > 0;
    const std::string& zoom = row_.ZoomMode;
    if (zoom == "full" || (!sized && (zoom == "lbox" || zoom == "pan" || zoom == "center"))) {
        // Sizes of 0 leave nothing to fit by ratio: the picture is stretched.
        if (cT > 0 || cB > 0 || cL > 0 || cR > 0) {
            out_.CropTop = cT, out_.CropBottom = cB, out_.CropLeft = cL, out_.CropRight = cR;
        }
        out_.FrameSize = SizeText(W_, H_, "x");
        out_.FrameAspect = W_ == sw_ && H_ == sh_ ? SourceAspect(W_, H_) : SizeText(W_, H_, ":");
    } else if (zoom == "lbox") {
        FitLetterbox(cropFilter);
    } else if (zoom == "pan") {
        FitPan();
    } else if (zoom == "center" && !dvd_) {
        FitCenter(cropFilter);
    }
    if (!filter_.empty()) {
        AppendFilter(out_, filter_);
    }
    if (!discAspect_.empty()) {
        out_.FrameAspect = discAspect_;
    }
}

void TBuild::FitLetterbox(const std::string& cropFilter) {
    const int cT = row_.CropTop, cB = row_.CropBottom, cL = row_.CropLeft, cR = row_.CropRight;
    const bool rowCrop = cT > 0 || cB > 0 || cL > 0 || cR > 0;
    const bool same = W_ == sw_ && H_ == sh_;
    // Fitted by what is shown: the kept area's display width when the output gets square
    // pixels, its pixel counts when the output keeps the source's size and pixels.
    const int keptW = sw_ - cL - cR;
    const int keptH = sh_ - cT - cB;
    TLetterboxPads p =
        same ? LetterboxPads(keptW, keptH, W_, H_) : LetterboxPads(Shown(keptW), keptH, W_, H_);
    if (dvd_ && same) {
        p = TLetterboxPads();
    }
    const int pw = W_ - p.Left - p.Right;
    const int ph = H_ - p.Top - p.Bottom;
    const std::string pad = "pad=" + SizeText(W_, H_, ":") + ":" + SizeText(p.Left, p.Top, ":");
    const std::string full = cropFilter + ",scale=" + SizeText(pw, ph, ":") + "," + pad;
    if (!dvd_) {
        filter_ = full;
        if (same) {
            out_.FrameSize = SizeText(W_, H_, "x");
            out_.FrameAspect = SourceAspect(W_, H_);
        } else if (Anamorphic()) {
            // Square pixels out. The encoder has the source's size until the chain has run, so
            // the aspect that makes them square is the source's pixel counts.
            out_.FrameAspect = SizeText(sw_, sh_, ":");
        }
    } else if (rowCrop) {
        out_.FrameAspect = same ? SourceAspect(pw, ph) : SizeText(pw, ph, ":");
        filter_ = full;
    } else {
        out_.FrameSize = SizeText(pw, ph, "x");
        out_.FrameAspect = same ? SourceAspect(pw, ph) : SizeText(pw, ph, ":");
        filter_ = pad;
    }
}

// What is kept shows 4:3 on screen: the sides (or the top and bottom) lose what lies beyond it,
// measured in display units and taken back to source pixels.
void TBuild::FitPan() {
    const int cT = row_.CropTop, cL = row_.CropLeft;
    const int cw = sw_ - cL - row_.CropRight;
    const int ch = sh_ - cT - row_.CropBottom;
    const int w2 = sw_ - out_.CropLeft - out_.CropRight;
    const int h2 = sh_ - out_.CropTop - out_.CropBottom;
    if (cw > 0 && ch > 0 && w2 > 0 && h2 > 0) {
        const int64_t shownW = static_cast<int64_t>(cw) * sarNum_ * 3;
        const int64_t shownH = static_cast<int64_t>(ch) * sarDen_ * 4;
        const double sar = static_cast<double>(sarNum_) / sarDen_;
        if (shownW > shownH) {
            const int k = Trunc((w2 - 4.0 / 3.0 * h2 / sar) / 2);
            // Never more than leaves a picture.
            out_.CropLeft = out_.CropRight =
                std::min(Even(std::max(k, 0) + cL), Even((sw_ - 2) / 2));
        } else if (shownW < shownH) {
            const int k = Trunc((h2 - w2 * sar * 3.0 / 4.0) / 2);
            out_.CropTop = out_.CropBottom =
                std::min(Even(std::max(k, 0) + cT), Even((sh_ - 2) / 2));
        }
    }
    out_.FrameSize = SizeText(W_, H_, "x");
    // At the source's own size the pixels are not square unless the frame is 4:3.
    out_.FrameAspect = W_ == sw_ && H_ == sh_ ? std::string("4:3") : SizeText(W_, H_, ":");
}

// The kept picture is padded with black at its own size to the target's shape, then scaled:
// nothing is cut and nothing is stretched.
void TBuild::FitCenter(const std::string& cropFilter) {
    const int cw = sw_ - row_.CropLeft - row_.CropRight;
    const int ch = sh_ - row_.CropTop - row_.CropBottom;
    if (cw <= 0 || ch <= 0) {
        return;
    }
    int pw = cw;
    int ph = ch;
    if (static_cast<long long>(cw) * H_ > static_cast<long long>(ch) * W_) {
        ph = Even(static_cast<int>(std::lround(static_cast<double>(cw) * H_ / W_)) + 1);
    } else {
        pw = Even(static_cast<int>(std::lround(static_cast<double>(ch) * W_ / H_)) + 1);
    }
    pw = std::max(pw, cw);
    ph = std::max(ph, ch);
    const int left = Even((pw - cw) / 2);
    const int top = Even((ph - ch) / 2);
    if (row_.CropTop > 0 || row_.CropBottom > 0 || row_.CropLeft > 0 || row_.CropRight > 0) {
        filter_ = cropFilter + ",";
    }
    filter_ += "pad=" + SizeText(pw, ph, ":") + ":" + SizeText(left, top, ":") +
               ":black,scale=" + SizeText(W_, H_, ":");
    // No frame size: the engine would scale to it ahead of the chain, which needs the source's
    // own size.
    out_.FrameAspect = SizeText(W_, H_, ":");
}

// 11. Sound.
void TBuild::Sound() {
    std::string acodec = set_.Value(TFormatKey::AudioEncoder);
    if (acodec == "libamr_nb") {
        acodec = "libopencore_amrnb";
    }
    if (TrimBlanks(acodec).empty()) {
        out_.DisableAudio = true;
    } else {
        out_.AudioCodec = acodec;
    }
    const std::string channels = set_.Value(TFormatKey::Channel);
    if (channels != "as source") {
        if (auto ch = ParseWholeNumber(channels)) {
            out_.AudioChannels = *ch;
        }
    }
    SetAudioNumbers(set_, out_);
    if (out_.DisableAudio) {
        return;
    }
    if (F_ == "dv") {
        FitDvSound();
    }
    FitSound(set_.Value(TFormatKey::SampleRate) == "as source",
             set_.Value(TFormatKey::AudioBitRate) == "as source");
}

// DV carries two sound channels at 32, 44.1 or 48 kHz and nothing else.
void TBuild::FitDvSound() {
    const int channels = out_.AudioChannels > 0 ? out_.AudioChannels : source_.AudioChannels;
    if (channels != 2 && channels > 0) {
        FFLogger()->LogFmt(nullptr, llWarning,
                           "DV carries 2 sound channels, not %d: the output has 2 channels",
                           channels);
    }
    out_.AudioChannels = 2;
    const int rate = out_.AudioSampleRate > 0 ? out_.AudioSampleRate : source_.AudioSampleRate;
    if (rate != 32000 && rate != 44100 && rate != 48000) {
        if (rate > 0) {
            FFLogger()->LogFmt(nullptr, llWarning,
                               "DV carries no %d Hz sound: the output has 48000 Hz", rate);
        }
        out_.AudioSampleRate = 48000;
    }
}

// Channel count, sample rate and bit rate moved into what the encoder takes, "as source" meaning
// the source's values where the probe knows them; each move is logged once.
void TBuild::FitSound(bool rateAsSource, bool bitRateAsSource) {
    const std::string& codec = out_.AudioCodec;
    const std::string name = EncoderName(codec);
    const bool dvdTarget = out_.TargetType == 3;

    if (dvdTarget && out_.AudioChannels <= 0 && source_.AudioChannels == 1) {
        // The DVD target makes mono sound stereo.
        out_.AudioChannels = 2;
        FFLogger()->Log(nullptr, llWarning, "A DVD has no mono sound: the output has 2 channels");
    }
    const int channels = out_.AudioChannels > 0 ? out_.AudioChannels : source_.AudioChannels;
    const int most = MaxChannelsOf(codec);
    if (most > 0 && channels > most) {
        out_.AudioChannels = most;
        FFLogger()->LogFmt(nullptr, llWarning,
                           "%s carries at most %d channels: the output has %d channels",
                           name.c_str(), most, most);
    }

    int rate = out_.AudioSampleRate;
    if (rate <= 0 && dvdTarget) {
        rate = 48000; // the DVD target's
        if (rateAsSource && source_.AudioSampleRate > 0 && source_.AudioSampleRate != rate) {
            FFLogger()->LogFmt(nullptr, llWarning, "A DVD has no %d Hz sound: the output has %d Hz",
                               source_.AudioSampleRate, rate);
        }
    } else if (rate <= 0) {
        rate = source_.AudioSampleRate;
    }
    const std::vector<int> rates = SampleRatesOf(codec, F_);
    if (rate > 0 && !rates.empty() && std::find(rates.begin(), rates.end(), rate) == rates.end()) {
        const int near = Nearest(rates, rate);
        FFLogger()->LogFmt(nullptr, llWarning, "%s has no %d Hz sound: the output has %d Hz",
                           name.c_str(), rate, near);
        out_.AudioSampleRate = rate = near;
    }

    const int ceiling = MaxAudioBitRateOf(codec);
    if (ceiling == 0) {
        return; // the encoder's bit rate follows from its rate and channels
    }
    if (bitRateAsSource && !dvd_ && source_.AudioBitRate >= 1000) {
        out_.AudioBitrate = source_.AudioBitRate / 1000 * 1000;
    }
    const int kbits = out_.AudioBitrate > 0 ? out_.AudioBitrate / 1000 : dvdTarget ? 448 : 0;
    const std::vector<int> allowed = AudioBitRatesOf(codec, rate);
    const int fitted = std::min(allowed.empty() ? kbits : Nearest(allowed, kbits), ceiling);
    if (kbits > 0 && fitted != kbits) {
        FFLogger()->LogFmt(
            nullptr, llWarning, "%s has no %d kb/s%s: the output has %d kb/s", name.c_str(), kbits,
            allowed.empty() ? "" : (" at " + std::to_string(rate) + " Hz").c_str(), fitted);
        out_.AudioBitrate = fitted * 1000;
    }
}

} // namespace

bool VideoSizeNeedsQuestion(const std::string& t) {
    const size_t x = t.find('x');
    return t != "as source" && !(x != std::string::npos && x > 0 && x + 1 < t.size());
}

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
        if (v.FrameRateNum > 0 && v.FrameRateDen > 0) {
            s.FrameRateNum = v.FrameRateNum;
            s.FrameRateDen = v.FrameRateDen;
        }
    }
    if (probe.AudioStreamCount() > 0) {
        TAudioStreamInfo a = probe.GetAudioStreamInfo(-1);
        s.AudioSampleRate = a.SampleRate;
        s.AudioChannels = a.Channels;
        s.AudioBitRate = a.BitRate;
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
    const TFormatSettings set(settings_, formatFile_, formatCode);
    TBuild(variant == TVariant::DVD, row, set,
           formatFile_.ReadString(FormatSection(formatCode), "VideoSize", "null"), source, out,
           input, dialogs_)
        .Run();
}

} // namespace quovo
