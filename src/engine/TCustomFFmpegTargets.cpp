// Targets: the settings of the disc and camcorder formats (VCD, SVCD, DVD, DV, DV50) for PAL,
// NTSC or film, applied as ordinary options.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"

#include <cmath>

namespace quovo {

namespace {

enum class TNorm { Pal, Ntsc, Film };

bool IsPalRate(int64_t r) {
    return r == 25000;
}
bool IsNtscRate(int64_t r) {
    return r == 29970 || r == 23976;
}

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
        std::optional<TNorm> found;
        const int64_t r = llrint(av_q2d(opt_.frameRate) * 1000);
        if (IsPalRate(r)) {
            found = TNorm::Pal;
        } else if (IsNtscRate(r)) {
            found = TNorm::Ntsc;
        }
        // The inputs' video streams in order; today the stream's frame rate stands for the
        // decoder's time base of old.
        for (size_t i = 0; !found && i < inputFiles_.size(); ++i) {
            AVFormatContext* ic = inputFiles_[i].ctx.get();
            for (unsigned k = 0; !found && k < ic->nb_streams; ++k) {
                const AVStream* st = ic->streams[k];
                const AVRational rate = st->r_frame_rate;
                if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || rate.num <= 0 ||
                    rate.den <= 0) {
                    continue;
                }
                const int64_t sr = llrint(av_q2d(rate) * 1000);
                if (IsPalRate(sr)) {
                    found = TNorm::Pal;
                } else if (IsNtscRate(sr)) {
                    found = TNorm::Ntsc;
                }
            }
        }
        if (!found) {
            found = defaultNorm == "film"   ? TNorm::Film
                    : defaultNorm == "ntsc" ? TNorm::Ntsc
                                            : TNorm::Pal;
        }
        n = *found;
        if (opt_.verbose > 0) {
            LogFmt(llVerbose, "Assuming %s for target.", n == TNorm::Pal ? "PAL" : "NTSC");
        }
    }
    const bool pal = n == TNorm::Pal;
    const char* rate = pal ? "25" : n == TNorm::Ntsc ? "30000/1001" : "24000/1001";
    auto generic = [this](const char* name, const std::string& v) { SetGenericOption(name, v); };
    auto defaultAspect = [this](const char* text, TLogLevel level) {
        if (opt_.frameAspectRatio == 0) {
            Log(level, StringPrintf("Assuming %s for aspect ratio", text));
            SetOption("aspect", text);
        }
    };

    if (type == "vcd") {
        SetOption("vcodec", "mpeg1video");
        SetOption("acodec", "mp2");
        SetOption("f", "vcd");
        SetOption("s", pal ? "352x288" : "352x240");
        SetOption("r", rate);
        generic("g", pal ? "15" : "18");
        generic("b", "1150000");
        generic("maxrate", "1150000");
        generic("minrate", "1150000");
        generic("bufsize", "327680");
        generic("ab", "224000");
        opt_.audioSampleRate = 44100;
        opt_.audioChannels = 2;
        generic("packetsize", "2324");
        opt_.muxerPrivateOptions.emplace_back("muxrate", "1411200");
        opt_.muxPreload = 0.44f;
        defaultAspect("4:3", llInfo);
    } else if (type == "svcd") {
        SetOption("vcodec", "mpeg2video");
        SetOption("acodec", "mp2");
        SetOption("f", "svcd");
        SetOption("s", pal ? "480x576" : "480x480");
        SetOption("r", rate);
        generic("g", pal ? "15" : "18");
        generic("b", "2040000");
        generic("maxrate", "2516000");
        generic("minrate", "0");
        generic("bufsize", "1835008");
        // The encoder's own option today: room for the SVCD scan offsets.
        opt_.videoPrivateOptions.emplace_back("scan_offset", "1");
        generic("ab", "224000");
        opt_.audioSampleRate = 44100;
        if (opt_.audioChannels == 1) {
            opt_.audioChannels = 2;
        }
        generic("packetsize", "2324");
        defaultAspect("4:3", llInfo);
    } else if (type == "dvd") {
        SetOption("vcodec", "mpeg2video");
        SetOption("acodec", "ac3");
        SetOption("f", "dvd");
        SetOption("s", pal ? "720x576" : "720x480");
        SetOption("r", rate);
        generic("g", pal ? "15" : "18");
        generic("b", "6000000");
        generic("maxrate", "9000000");
        generic("minrate", "0");
        generic("bufsize", "1835008");
        generic("ab", "448000");
        opt_.audioSampleRate = 48000;
        if (opt_.audioChannels == 1) {
            opt_.audioChannels = 2;
        }
        generic("packetsize", "2048");
        opt_.muxerPrivateOptions.emplace_back("muxrate", "10080000");
        defaultAspect("16:9", llInfo);
    } else if (type == "dv" || type == "dv50") {
        SetOption("f", "dv");
        SetOption("s", pal ? "720x576" : "720x480");
        SetOption("pix_fmt", type == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
        SetOption("r", rate);
        opt_.audioSampleRate = 48000;
        opt_.audioChannels = 2;
    } else {
        throw FFmpegException("Unknown target type");
    }
}

} // namespace quovo
