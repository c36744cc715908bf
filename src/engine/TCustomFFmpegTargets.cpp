// Targets: the settings of the disc and camcorder formats (VCD, SVCD, DVD, DV, DV50) for PAL,
// NTSC or film, applied as ordinary options.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"

#include <cmath>
#include <optional>

namespace quovo {

namespace {

enum class TNorm { Pal, Ntsc, Film };

std::optional<TNorm> NormOfRate(double fps) {
    const int64_t r = llrint(fps * 1000);
    if (r == 25000) {
        return TNorm::Pal;
    }
    if (r == 29970 || r == 23976) {
        return TNorm::Ntsc;
    }
    return std::nullopt;
}

// The norm of an "auto" target: the frame rate asked for, else the first input video stream at a
// PAL or NTSC rate, else the default.
TNorm GuessNorm(const TCustomFFmpeg& engine, AVRational frameRate, const std::string& defaultNorm) {
    if (std::optional<TNorm> n = NormOfRate(av_q2d(frameRate))) {
        return *n;
    }
    // The inputs' video streams in order; today the stream's frame rate stands for the decoder's
    // time base of old.
    for (int i = 0; i < engine.InputFileCount(); ++i) {
        const AVFormatContext* ic = engine.InputContext(i);
        for (unsigned k = 0; k < ic->nb_streams; ++k) {
            const AVStream* st = ic->streams[k];
            const AVRational rate = st->r_frame_rate;
            if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || rate.num <= 0 || rate.den <= 0) {
                continue;
            }
            if (std::optional<TNorm> n = NormOfRate(av_q2d(rate))) {
                return *n;
            }
        }
    }
    return defaultNorm == "film" ? TNorm::Film : defaultNorm == "ntsc" ? TNorm::Ntsc : TNorm::Pal;
}

// What one target sets; a null text sets nothing. Sizes and GOPs are PAL's, then NTSC's (film
// takes NTSC's).
struct TTargetProfile {
    const char* type;
    const char* videoCodec;
    const char* audioCodec;
    const char* format;
    const char* size[2];
    const char* pixelFormat[2];
    const char* gop[2];
    const char* bitrate;
    const char* maxrate;
    const char* minrate;
    const char* bufsize;
    bool scanOffset; // room for the SVCD scan offsets (the encoder's own option today)
    const char* audioBitrate;
    int sampleRate;
    enum TChannels { Stereo, MonoToStereo } channels;
    const char* packetSize;
    const char* muxRate;
    float muxPreload; // < 0: unchanged
    const char* aspect;
};

// clang-format off
const TTargetProfile kTargets[] = {
    {"vcd", "mpeg1video", "mp2", "vcd", {"352x288", "352x240"}, {nullptr, nullptr}, {"15", "18"},
     "1150000", "1150000", "1150000", "327680", false, "224000", 44100,
     TTargetProfile::Stereo, "2324", "1411200", 0.44f, "4:3"},
    {"svcd", "mpeg2video", "mp2", "svcd", {"480x576", "480x480"}, {nullptr, nullptr}, {"15", "18"},
     "2040000", "2516000", "0", "1835008", true, "224000", 44100,
     TTargetProfile::MonoToStereo, "2324", nullptr, -1, "4:3"},
    {"dvd", "mpeg2video", "ac3", "dvd", {"720x576", "720x480"}, {nullptr, nullptr}, {"15", "18"},
     "6000000", "9000000", "0", "1835008", false, "448000", 48000,
     TTargetProfile::MonoToStereo, "2048", "10080000", -1, "16:9"},
    {"dv", nullptr, nullptr, "dv", {"720x576", "720x480"}, {"yuv420p", "yuv411p"}, {nullptr, nullptr},
     nullptr, nullptr, nullptr, nullptr, false, nullptr, 48000,
     TTargetProfile::Stereo, nullptr, nullptr, -1, nullptr},
    {"dv50", nullptr, nullptr, "dv", {"720x576", "720x480"}, {"yuv422p", "yuv422p"}, {nullptr, nullptr},
     nullptr, nullptr, nullptr, nullptr, false, nullptr, 48000,
     TTargetProfile::Stereo, nullptr, nullptr, -1, nullptr},
};
// clang-format on

} // namespace

void TCustomFFmpeg::SetTarget(const std::string& value) {
    std::string type = Trim(value);
    std::string norm = "auto";
    for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
        const std::string p = prefix;
        if (type.rfind(p, 0) == 0) {
            norm = p.substr(0, p.size() - 1);
            type = type.substr(p.size());
            break;
        }
    }
    SetTarget(type, norm, "ntsc");
}

void TCustomFFmpeg::SetTarget(const std::string& type, const std::string& norm,
                              const std::string& defaultNorm) {
    TNorm n;
    if (norm == "pal") {
        n = TNorm::Pal;
    } else if (norm == "ntsc") {
        n = TNorm::Ntsc;
    } else if (norm == "film") {
        n = TNorm::Film;
    } else {
        if (opt_.frameRate.den == 0) {
            throw FFmpegException("frame_rate is invalid.");
        }
        n = GuessNorm(*this, opt_.frameRate, defaultNorm);
        if (opt_.verbose > 0) {
            LogFmt(llVerbose, "Assuming %s for target.", n == TNorm::Pal ? "PAL" : "NTSC");
        }
    }
    const TTargetProfile* t = nullptr;
    for (const TTargetProfile& profile : kTargets) {
        t = type == profile.type ? &profile : t;
    }
    if (t == nullptr) {
        throw FFmpegException("Unknown target type");
    }

    const int pal = n == TNorm::Pal ? 0 : 1; // index of the per-norm values
    auto option = [this](const char* name, const char* v) {
        if (v != nullptr) {
            SetOption(name, v);
        }
    };
    auto generic = [this](const char* name, const char* v) {
        if (v != nullptr) {
            SetGenericOption(name, v);
        }
    };
    option("vcodec", t->videoCodec);
    option("acodec", t->audioCodec);
    option("f", t->format);
    option("s", t->size[pal]);
    option("pix_fmt", t->pixelFormat[pal]);
    option("r", n == TNorm::Pal ? "25" : n == TNorm::Ntsc ? "30000/1001" : "24000/1001");
    generic("g", t->gop[pal]);
    generic("b", t->bitrate);
    generic("maxrate", t->maxrate);
    generic("minrate", t->minrate);
    generic("bufsize", t->bufsize);
    if (t->scanOffset) {
        opt_.videoPrivateOptions.emplace_back("scan_offset", "1");
    }
    generic("ab", t->audioBitrate);
    opt_.audioSampleRate = t->sampleRate;
    if (t->channels == TTargetProfile::Stereo || opt_.audioChannels == 1) {
        opt_.audioChannels = 2;
    }
    generic("packetsize", t->packetSize);
    if (t->muxRate != nullptr) {
        opt_.muxerPrivateOptions.emplace_back("muxrate", t->muxRate);
    }
    if (t->muxPreload >= 0) {
        opt_.muxPreload = t->muxPreload;
    }
    if (t->aspect != nullptr && opt_.frameAspectRatio == 0) {
        Log(llInfo, StringPrintf("Assuming %s for aspect ratio", t->aspect));
        SetOption("aspect", t->aspect);
    }
}

} // namespace quovo
