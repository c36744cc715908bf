// The option vocabulary of the engine: SetOption, its typed shortcuts and ResetOptions. Options
// only change the pending state in opt_ (and the library option holders in generic_); opening
// files and adding streams reads that state later.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
}

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string_view>
#include <system_error>
#include <unordered_map>

namespace quovo {

namespace {

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) {
        s.remove_suffix(1);
    }
    return s;
}

// Whole-text conversions: surrounding spaces are allowed, anything else left over is not.
template <typename T> bool ParseWholeInteger(const std::string& text, T& out) {
    std::string_view s = TrimSpaces(text);
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
        if (!s.empty() && s.front() == '-') {
            return false;
        }
    }
    if (s.empty()) {
        return false;
    }
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out, 10);
    return ec == std::errc() && end == s.data() + s.size();
}

int StrToInt(const std::string& text) {
    int v = 0;
    if (!ParseWholeInteger(text, v)) {
        throw FFmpegException(StringPrintf("'%s' is not a valid integer value", text.c_str()));
    }
    return v;
}

int64_t StrToInt64(const std::string& text) {
    int64_t v = 0;
    if (!ParseWholeInteger(text, v)) {
        throw FFmpegException(StringPrintf("'%s' is not a valid integer value", text.c_str()));
    }
    return v;
}

// Reads a decimal number at the start of `s` the way strtod does, but independent of the
// process locale (a Qt application runs with the user's locale). Returns the characters used.
size_t LeadingDouble(std::string_view s, double& out) {
    size_t pos = 0;
    while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) {
        ++pos;
    }
    size_t start = pos;
    if (pos < s.size() && s[pos] == '+') {
        start = ++pos;
        if (pos < s.size() && s[pos] == '-') {
            out = 0;
            return 0;
        }
    }
    const auto [end, ec] = std::from_chars(s.data() + start, s.data() + s.size(), out);
    if (ec != std::errc()) {
        out = 0;
        return 0;
    }
    return static_cast<size_t>(end - s.data());
}

bool ParseWholeDouble(const std::string& text, double& out) {
    const std::string_view s = TrimSpaces(text);
    return !s.empty() && LeadingDouble(s, out) == s.size();
}

double StrToFloat(const std::string& text) {
    double v = 0;
    if (!ParseWholeDouble(text, v)) {
        throw FFmpegException(
            StringPrintf("'%s' is not a valid floating point value", text.c_str()));
    }
    return v;
}

// A switch is off only for "0".
bool IsOn(const std::string& value) {
    return value != "0";
}

// strtol with base 0 at `pos`, then exactly one character skipped (never past the end).
long NumberThenSkip(const std::string& text, size_t& pos) {
    const char* begin = text.c_str() + pos;
    char* end = nullptr;
    const long v = std::strtol(begin, &end, 0);
    pos += static_cast<size_t>(end - begin);
    if (pos < text.size()) {
        ++pos;
    }
    return v;
}

std::string ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("./") : ExtractPath(exe.string());
}

std::string LocalTimeHhNnSs() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[16];
    std::strftime(buf, sizeof(buf), "%H%M%S", &tm);
    return buf;
}

// Plain settings: the option sets one field of the option state and nothing else.
const std::unordered_map<std::string_view, bool TEngineOptions::*> kSwitches = {
    {"loop_input", &TEngineOptions::loopInput},  {"re", &TEngineOptions::rateEmu},
    {"intra", &TEngineOptions::intraOnly},       {"vn", &TEngineOptions::videoDisable},
    {"sameq", &TEngineOptions::sameQuality},     {"deinterlace", &TEngineOptions::doDeinterlace},
    {"psnr", &TEngineOptions::doPsnr},           {"qphist", &TEngineOptions::qpHist},
    {"force_fps", &TEngineOptions::forceFps},    {"an", &TEngineOptions::audioDisable},
    {"sn", &TEngineOptions::subtitleDisable},    {"isync", &TEngineOptions::inputSync},
    {"shortest", &TEngineOptions::opt_shortest}, {"dump", &TEngineOptions::doPktDump},
    {"hex", &TEngineOptions::doHexDump},
};

// Options whose value is ignored: giving them turns the setting on.
const std::unordered_map<std::string_view, bool TEngineOptions::*> kFlags = {
    {"copyts", &TEngineOptions::copyTs},
    {"xerror", &TEngineOptions::exitOnError},
};

const std::unordered_map<std::string_view, int TEngineOptions::*> kIntegers = {
    {"v", &TEngineOptions::verbose},
    {"programid", &TEngineOptions::opt_programid},
    {"loop_output", &TEngineOptions::loopOutput},
    {"vdt", &TEngineOptions::videoDiscard},
    {"me_threshold", &TEngineOptions::meThreshold},
    {"top", &TEngineOptions::topFieldFirst},
    {"dc", &TEngineOptions::intraDcPrecision},
    {"vc", &TEngineOptions::videoChannel},
    {"vol", &TEngineOptions::audioVolume},
    {"vsync", &TEngineOptions::videoSyncMethod},
    {"async", &TEngineOptions::audioSyncMethod},
    {"copyinkf", &TEngineOptions::copyInitialNonKeyframes},
    {"vglobal", &TEngineOptions::videoGlobalHeader},
};

const std::unordered_map<std::string_view, float TEngineOptions::*> kFloats = {
    {"aq", &TEngineOptions::audioQScale},
    {"adrift_threshold", &TEngineOptions::audioDriftThreshold},
    {"dts_delta_threshold", &TEngineOptions::dtsDeltaThreshold},
    {"muxdelay", &TEngineOptions::muxMaxDelay},
    {"muxpreload", &TEngineOptions::muxPreload},
};

const std::unordered_map<std::string_view, std::string TEngineOptions::*> kTexts = {
    {"rc_override", &TEngineOptions::rcOverride},
    {"passlogfile", &TEngineOptions::passLogFileName},
    {"vstats_file", &TEngineOptions::vstatsFileName},
    {"tvstd", &TEngineOptions::videoStandard},
    {"vlang", &TEngineOptions::videoLanguage},
    {"alang", &TEngineOptions::audioLanguage},
    {"slang", &TEngineOptions::subtitleLanguage},
};

const char* const kDoNothing[] = {"L",         "h",       "version", "formats", "codecs",   "bsfs",
                                  "protocols", "filters", "i",       "y",       "benchmark"};

bool IsDoNothing(const std::string& name) {
    for (const char* n : kDoNothing) {
        if (name == n) {
            return true;
        }
    }
    return false;
}

} // namespace

void TCustomFFmpeg::ResetOptions() {
    if (!FFLoader().LibrariesLoaded(ConverterLibraryMask)) {
        return;
    }
    ReleaseAll();
    opt_ = TEngineOptions();
    generic_.Reset(opt_.swsFlags);
    frameHooks_.reset();
    progressTotal_ = -1;
    joined_ = false;
    stopRequested_ = false;
    runCompleted_ = false;
}

void TCustomFFmpeg::SetOption(const std::string& name, const std::string& value) {
    if (const auto it = kSwitches.find(name); it != kSwitches.end()) {
        opt_.*(it->second) = IsOn(value);
        return;
    }
    if (const auto it = kFlags.find(name); it != kFlags.end()) {
        opt_.*(it->second) = true;
        return;
    }
    if (const auto it = kIntegers.find(name); it != kIntegers.end()) {
        opt_.*(it->second) = StrToInt(value);
        return;
    }
    if (const auto it = kFloats.find(name); it != kFloats.end()) {
        opt_.*(it->second) = static_cast<float>(StrToFloat(value));
        return;
    }
    if (const auto it = kTexts.find(name); it != kTexts.end()) {
        opt_.*(it->second) = value;
        return;
    }
    if (IsDoNothing(name)) {
        Log(llInfo, "Do nothing: option - " + name);
        return;
    }

    using Handler = void (*)(TCustomFFmpeg & e, const std::string& name, const std::string& value);
    // Padding moved into the filter graph.
    static constexpr Handler refusePad = [](TCustomFFmpeg&, const std::string&,
                                            const std::string&) {
        throw FFmpegException("Please use vfilters=pad");
    };
    // Lambdas inside a member function share its access to the private state.
    static const std::unordered_map<std::string_view, Handler> handlers = {
        {"timelimit",
         [](TCustomFFmpeg& e, const std::string&, const std::string&) {
             e.Log(llWarning, "Warning: -timelimit not implemented on Windows");
         }},
        {"threads",
         [](TCustomFFmpeg&, const std::string& n, const std::string&) {
             throw FFmpegException("TODO: option - " + n);
         }},
        {"padtop", refusePad},
        {"padbottom", refusePad},
        {"padleft", refusePad},
        {"padright", refusePad},
        {"padcolor", refusePad},
        {"loglevel", [](TCustomFFmpeg&, const std::string&, const std::string& v) {
             FFLogger()->SetLevelByName(v);
         }},

        // files, time and limits
        {"f", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             if (v == "pgmyuv") {
                 e.opt_.forcedFormat = "image2";
                 e.opt_.pgmyuvCompatibility = true;
                 e.Log(llInfo, "pgmyuv format is deprecated, use image2");
             } else {
                 e.opt_.forcedFormat = v;
             }
         }},
        {"ss", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.opt_.startTime = e.ParseDuration(n, v, false);
         }},
        {"t", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.opt_.recordingTime = e.ParseDuration(n, v, false);
             e.progressTotal_ = e.opt_.recordingTime;
         }},
        {"itsoffset", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.opt_.inputTsOffset = e.ParseDuration(n, v, false);
         }},
        {"itsscale",
         [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetTsScale(v); }},
        {"timestamp", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.opt_.recTimestamp =
                 av_rescale_rnd(e.ParseDuration(n, v, true), 1, 1000000, AV_ROUND_NEAR_INF);
         }},
        {"fs", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.opt_.limitFilesize = StrToInt64(v);
         }},
        {"vframes", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.opt_.maxFrames[AVMEDIA_TYPE_VIDEO] = StrToInt(v);
         }},
        {"aframes", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.opt_.maxFrames[AVMEDIA_TYPE_AUDIO] = StrToInt(v);
         }},
        {"dframes", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.opt_.maxFrames[AVMEDIA_TYPE_DATA] = StrToInt(v);
         }},
        {"map",
         [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.AddStreamMap(v); }},
        {"map_meta_data",
         [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.AddMetaDataMap(v); }},
        {"metadata", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             const size_t eq = v.find('=');
             if (eq == std::string::npos) {
                 throw FFmpegException("Missing =");
             }
             e.opt_.metadata.emplace_back(v.substr(0, eq), v.substr(eq + 1));
         }},
        {"target",
         [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetTarget(v); }},
        {"streamid",
         [](TCustomFFmpeg& e, const std::string& n, const std::string& v) { e.SetStreamId(n, v); }},

        // video
        {"b", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.SetBitrateOption(n, v, AVMEDIA_TYPE_VIDEO);
         }},
        {"vb", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.SetBitrateOption(n, v, AVMEDIA_TYPE_VIDEO);
         }},
        {"r", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             AVRational rate{0, 0};
             if (av_parse_video_rate(&rate, v.c_str()) < 0) {
                 throw FFmpegException("Incorrect frame rate");
             }
             e.opt_.frameRate = rate;
         }},
        {"s", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             int w = 0, h = 0;
             if (av_parse_video_size(&w, &h, v.c_str()) < 0) {
                 throw FFmpegException("Incorrect frame size");
             }
             e.opt_.frameWidth = w;
             e.opt_.frameHeight = h;
         }},
        {"aspect", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             double ratio = 0;
             if (const size_t colon = v.find(':'); colon != std::string::npos) {
                 double x = 0, y = 0;
                 LeadingDouble(std::string_view(v).substr(0, colon), x);
                 LeadingDouble(std::string_view(v).substr(colon + 1), y);
                 ratio = y > 0 ? x / y : 0;
             } else if (!ParseWholeDouble(v, ratio)) {
                 ratio = 0;
             }
             const float aspect = static_cast<float>(ratio);
             if (aspect == 0) {
                 throw FFmpegException("Incorrect aspect ratio specification.");
             }
             e.opt_.frameAspectRatio = aspect;
         }},
        {"pix_fmt", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             if (v == "list") {
                 e.ListPixelFormats();
                 return;
             }
             e.opt_.framePixFmt = av_get_pix_fmt(v.c_str());
             if (e.opt_.framePixFmt == AV_PIX_FMT_NONE) {
                 throw FFmpegException(
                     StringPrintf("Unknown pixel format requested: %s", v.c_str()));
             }
         }},
        {"croptop", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.SetCrop(e.opt_.cropTop, StrToInt(v), true);
         }},
        {"cropbottom", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.SetCrop(e.opt_.cropBottom, StrToInt(v), true);
         }},
        {"cropleft", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.SetCrop(e.opt_.cropLeft, StrToInt(v), false);
         }},
        {"cropright", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.SetCrop(e.opt_.cropRight, StrToInt(v), false);
         }},
        {"qscale", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             const double q = StrToFloat(v);
             if (!(q > 0 && q <= 255)) {
                 throw FFmpegException("qscale must be > 0.0 and <= 255");
             }
             e.opt_.videoQScale = static_cast<float>(q);
         }},
        {"vcodec", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.SetVideoCodecName(v);
         }},
        {"pass", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             const int pass = StrToInt(v);
             if (pass != 1 && pass != 2) {
                 throw FFmpegException("pass number can be only 1 or 2");
             }
             e.opt_.doPass = pass;
         }},
        {"vstats", [](TCustomFFmpeg& e, const std::string&, const std::string&) {
             e.opt_.vstatsFileName = StringPrintf("%svstats_%s.log", ProgramFolder().c_str(),
                                                  LocalTimeHhNnSs().c_str());
         }},
        {"vhook",
         [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.AddVideoHook(v); }},
        {"vfilters", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             if (!v.empty()) {
                 e.opt_.videoFilters = v;
             }
         }},
        {"vf", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             if (!v.empty()) {
                 e.opt_.videoFilters = v;
             }
         }},
        {"intra_matrix", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.ParseMatrix(v, e.opt_.intraMatrix);
         }},
        {"inter_matrix", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.ParseMatrix(v, e.opt_.interMatrix);
         }},
        {"vtag", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.opt_.videoCodecTag = e.ParseTag(v, "video");
         }},
        {"newvideo", [](TCustomFFmpeg& e, const std::string&, const std::string&) {
             e.NewStreamForOption(AVMEDIA_TYPE_VIDEO);
         }},
        {"vbsf", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.AddBitstreamFilter(n, v);
         }},
        {"vpre", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.ApplyPreset(n, v);
         }},

        // audio
        {"ab", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.SetBitrateOption(n, v, AVMEDIA_TYPE_AUDIO);
         }},
        {"ar", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.SetAudioSampleRate(StrToInt(v));
         }},
        {"ac", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.SetAudioChannels(StrToInt(v));
         }},
        {"acodec", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.SetAudioCodecName(v);
         }},
        {"atag", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.opt_.audioCodecTag = e.ParseTag(v, "audio");
         }},
        {"newaudio", [](TCustomFFmpeg& e, const std::string&, const std::string&) {
             e.NewStreamForOption(AVMEDIA_TYPE_AUDIO);
         }},
        {"sample_fmt", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             if (v == "list") {
                 e.ListSampleFormats();
                 return;
             }
             e.opt_.audioSampleFmt = av_get_sample_fmt(v.c_str());
         }},
        {"absf", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.AddBitstreamFilter(n, v);
         }},
        {"apre", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.ApplyPreset(n, v);
         }},

        // subtitles
        {"scodec", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.SetSubtitleCodecName(v);
         }},
        {"stag", [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
             e.opt_.subtitleCodecTag = e.ParseTag(v, "subtitle");
         }},
        {"newsubtitle", [](TCustomFFmpeg& e, const std::string&, const std::string&) {
             e.NewStreamForOption(AVMEDIA_TYPE_SUBTITLE);
         }},
        {"sbsf", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.AddBitstreamFilter(n, v);
         }},
        {"spre", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.ApplyPreset(n, v);
         }},

        // preset files
        {"fpre", [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
             e.ApplyPreset(n, v);
         }},
    };

    if (const auto it = handlers.find(name); it != handlers.end()) {
        it->second(*this, name, value);
        return;
    }
    // Everything else is a library option; an unknown name changes nothing and says nothing.
    SetGenericOption(name, value);
}

bool TCustomFFmpeg::SetGenericOption(const std::string& name, const std::string& value) {
    bool unknown = false;
    if (!generic_.Set(name, value, &unknown)) {
        if (unknown) {
            // Options of the old codec context that became the encoders' own ("crf"): the
            // encoder decides when it is opened.
            auto& list = opt_.unclaimedOptions;
            std::erase_if(list, [&](const auto& kv) { return kv.first == Trim(name); });
            list.emplace_back(Trim(name), Trim(value));
        }
        return false;
    }
    // The scalers the conversion makes read the flags from the option state.
    int64_t flags = 0;
    if (av_opt_get_int(generic_.Scaler(), "sws_flags", 0, &flags) >= 0) {
        opt_.swsFlags = static_cast<int>(flags);
    }
    return true;
}

void TCustomFFmpeg::ApplyGenericOptions(void* target, void* source, int flags) const {
    generic_.Apply(target, source, flags);
}

// --- typed shortcuts

void TCustomFFmpeg::SetForceFormat(const std::string& v) {
    SetOption("f", v);
}

void TCustomFFmpeg::SetStartTime(int64_t us) {
    if (us != NoTimestamp) {
        opt_.startTime = us;
    }
}

void TCustomFFmpeg::SetRecordingTime(int64_t us) {
    if (us != NoTimestamp) {
        opt_.recordingTime = us;
        progressTotal_ = us;
    }
}

void TCustomFFmpeg::SetProgramID(int id) {
    if (id >= 0) {
        opt_.opt_programid = id;
    }
}

void TCustomFFmpeg::SetFrameRate(const std::string& v) {
    if (!v.empty()) {
        SetOption("r", v);
    }
}

void TCustomFFmpeg::SetFrameAspectRatio(const std::string& v) {
    if (!v.empty()) {
        SetOption("aspect", v);
    }
}

void TCustomFFmpeg::SetFrameSize(const std::string& v) {
    if (!v.empty()) {
        SetOption("s", v);
    }
}

void TCustomFFmpeg::SetVideoFilters(const std::string& v) {
    if (!v.empty()) {
        SetOption("vf", v);
    }
}

void TCustomFFmpeg::SetCropTop(int v) {
    SetCrop(opt_.cropTop, v, true);
}
void TCustomFFmpeg::SetCropBottom(int v) {
    SetCrop(opt_.cropBottom, v, true);
}
void TCustomFFmpeg::SetCropLeft(int v) {
    SetCrop(opt_.cropLeft, v, false);
}
void TCustomFFmpeg::SetCropRight(int v) {
    SetCrop(opt_.cropRight, v, false);
}

void TCustomFFmpeg::SetAudioCodec(const std::string& v) {
    if (!v.empty()) {
        SetAudioCodecName(v);
    }
}

void TCustomFFmpeg::SetVideoCodec(const std::string& v) {
    if (!v.empty()) {
        SetVideoCodecName(v);
    }
}

void TCustomFFmpeg::SetSubtitleCodec(const std::string& v) {
    if (!v.empty()) {
        SetSubtitleCodecName(v);
    }
}

void TCustomFFmpeg::SetAudioPreset(const std::string& v) {
    if (!v.empty()) {
        ApplyPreset("apre", v);
    }
}

void TCustomFFmpeg::SetVideoPreset(const std::string& v) {
    if (!v.empty()) {
        ApplyPreset("vpre", v);
    }
}

void TCustomFFmpeg::SetSubtitlePreset(const std::string& v) {
    if (!v.empty()) {
        ApplyPreset("spre", v);
    }
}

void TCustomFFmpeg::SetAudioChannels(int v) {
    if (v > 0) {
        opt_.audioChannels = v;
    }
}

void TCustomFFmpeg::SetAudioSampleRate(int v) {
    if (v > 0) {
        opt_.audioSampleRate = v;
    }
}

void TCustomFFmpeg::SetAudioVolume(int v) {
    if (v >= 0) {
        opt_.audioVolume = v;
    }
}

void TCustomFFmpeg::SetAudioSyncMethod(int v) {
    opt_.audioSyncMethod = v;
}
void TCustomFFmpeg::SetVideoSyncMethod(int v) {
    opt_.videoSyncMethod = v;
}

void TCustomFFmpeg::SetMuxPreload(float v) {
    if (v > 0) {
        opt_.muxPreload = v;
    }
}

void TCustomFFmpeg::SetMuxMaxDelay(float v) {
    if (v > 0) {
        opt_.muxMaxDelay = v;
    }
}

void TCustomFFmpeg::SetAudioTag(const std::string& v) {
    if (!v.empty()) {
        opt_.audioCodecTag = ParseTag(v, "audio");
    }
}

void TCustomFFmpeg::SetVideoTag(const std::string& v) {
    if (!v.empty()) {
        opt_.videoCodecTag = ParseTag(v, "video");
    }
}

void TCustomFFmpeg::SetAudioLanguage(const std::string& v) {
    opt_.audioLanguage = v;
}
void TCustomFFmpeg::SetVideoLanguage(const std::string& v) {
    opt_.videoLanguage = v;
}
void TCustomFFmpeg::SetSubtitleLanguage(const std::string& v) {
    opt_.subtitleLanguage = v;
}

void TCustomFFmpeg::SetGenericIntOption(const std::string& name, int value) {
    SetGenericOption(name, std::to_string(value));
}

void TCustomFFmpeg::AddMetadata(const std::string& key, const std::string& value) {
    opt_.metadata.emplace_back(key, value);
}

void TCustomFFmpeg::SetVerbose(int v) {
    opt_.verbose = v;
}

// --- helpers

void TCustomFFmpeg::SetVideoCodecName(const std::string& v) {
    if (v == "copy") {
        opt_.videoStreamCopy = true;
        opt_.videoCodecName.clear();
    } else {
        opt_.videoCodecName = v;
    }
}

void TCustomFFmpeg::SetAudioCodecName(const std::string& v) {
    if (v == "copy") {
        opt_.audioStreamCopy = true;
        opt_.audioCodecName.clear();
    } else {
        opt_.audioCodecName = v;
    }
}

void TCustomFFmpeg::SetSubtitleCodecName(const std::string& v) {
    if (v == "copy") {
        opt_.subtitleStreamCopy = true;
        opt_.subtitleCodecName.clear();
    } else {
        opt_.subtitleCodecName = v;
    }
}

void TCustomFFmpeg::SetCrop(int& band, int value, bool vertical) {
    if (value <= 0) {
        return;
    }
    int& dimension = vertical ? opt_.frameHeight : opt_.frameWidth;
    if (value >= dimension) {
        throw FFmpegException(vertical ? "Vertical crop dimensions are outside the range of the "
                                         "original image.\nRemember to crop first and scale second."
                                       : "Horizontal crop dimensions are outside the range of the "
                                         "original image.\nRemember to crop first and scale "
                                         "second.");
    }
    Log(llWarning, "CropXXX is deprecated in favor of the crop avfilter");
    band = value;
    dimension -= value;
}

void TCustomFFmpeg::SetBitrateOption(const std::string& name, const std::string& value,
                                     AVMediaType kind) {
    SetGenericOption(name, value);
    int64_t bitRate = 0;
    if (av_opt_get_int(generic_.Codec(kind), "b", 0, &bitRate) >= 0 && bitRate < 1000) {
        Log(llWarning, "WARNING: The bitrate parameter is set too low. It takes bits/s as "
                       "argument, not kbits/s");
    }
}

void TCustomFFmpeg::AddBitstreamFilter(const std::string& name, const std::string& value) {
    if (!value.empty() && value[0] == '=') {
        return;
    }
    // Filter arguments after "=" are accepted for compatibility but not used.
    const size_t eq = value.find('=');
    const std::string filterName = Trim(eq == std::string::npos ? value : value.substr(0, eq));
    if (!av_bsf_get_by_name(filterName.c_str())) {
        throw FFmpegException(StringPrintf("Unknown bitstream filter %s", filterName.c_str()));
    }
    std::vector<std::string>& chain = name[0] == 'v'   ? opt_.videoBitstreamFilters
                                      : name[0] == 'a' ? opt_.audioBitstreamFilters
                                                       : opt_.subtitleBitstreamFilters;
    chain.push_back(filterName);
}

void TCustomFFmpeg::ParseMatrix(const std::string& text, std::optional<TQuantMatrix>& matrix) {
    // Parsed aside so that a refused matrix leaves the previous one in place.
    TQuantMatrix parsed{};
    const char* p = text.c_str();
    for (int i = 0; i < 64; ++i) {
        char* end = nullptr;
        const long v = std::strtol(p, &end, 10);
        parsed[i] = static_cast<uint16_t>(v);
        if (i == 63) {
            break;
        }
        p = end;
        while (*p == ' ' || *p == '\t') {
            ++p;
        }
        if (*p != ',') {
            throw FFmpegException(
                StringPrintf("Syntax error in matrix \"%s\" at coeff %d", text.c_str(), i));
        }
        ++p;
    }
    matrix = parsed;
}

void TCustomFFmpeg::SetStreamId(const std::string& name, const std::string& value) {
    const size_t colon = value.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == value.size()) {
        throw FFmpegException(StringPrintf(
            "Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"",
            value.c_str(), name.c_str()));
    }
    const int index = StrToInt(value.substr(0, colon));
    const int id = StrToInt(value.substr(colon + 1));
    if (index < 0 || index >= MAX_STREAMS) {
        throw FFmpegException(StringPrintf("Invalid stream index %d for option \"%s\" (0 to %d)",
                                           index, name.c_str(), MAX_STREAMS - 1));
    }
    opt_.streamIdMap[index] = id;
}

void TCustomFFmpeg::AddStreamMap(const std::string& value) {
    if (opt_.streamMaps.size() >= MAX_STREAM_MAPS) {
        throw FFmpegException(StringPrintf("Too many stream maps (at most %d)", MAX_STREAM_MAPS));
    }
    TStreamMap m;
    size_t pos = 0;
    m.file_index = static_cast<int>(NumberThenSkip(value, pos));
    const char* rest = value.c_str() + pos;
    char* end = nullptr;
    m.stream_index = static_cast<int>(std::strtol(rest, &end, 0));
    pos += static_cast<size_t>(end - rest);
    if (pos < value.size()) {
        ++pos;
        m.sync_file_index = static_cast<int>(NumberThenSkip(value, pos));
        m.sync_stream_index = static_cast<int>(std::strtol(value.c_str() + pos, nullptr, 0));
    } else {
        m.sync_file_index = m.file_index;
        m.sync_stream_index = m.stream_index;
    }
    opt_.streamMaps.push_back(m);
}

void TCustomFFmpeg::AddMetaDataMap(const std::string& value) {
    if (opt_.metaDataMaps.size() >= MAX_META_DATA_MAPS) {
        throw FFmpegException(
            StringPrintf("Too many metadata maps (at most %d)", MAX_META_DATA_MAPS));
    }
    TMetaDataMap m;
    size_t pos = 0;
    m.out_file = static_cast<int>(NumberThenSkip(value, pos));
    m.in_file = static_cast<int>(std::strtol(value.c_str() + pos, nullptr, 0));
    opt_.metaDataMaps.push_back(m);
}

void TCustomFFmpeg::SetTsScale(const std::string& value) {
    size_t pos = 0;
    const long index = NumberThenSkip(value, pos);
    if (index < 0 || index >= MAX_STREAMS) {
        throw FFmpegException(StringPrintf("stream index over MAX_STREAMS(%d)", MAX_STREAMS));
    }
    const size_t nextInput = inputFiles_.size();
    if (nextInput >= MAX_FILES) {
        throw FFmpegException(StringPrintf("Too many input files (at most %d)", MAX_FILES));
    }
    double scale = 0;
    LeadingDouble(std::string_view(value).substr(pos), scale);
    opt_.inputFilesTsScale[nextInput][index] = scale;
}

void TCustomFFmpeg::AddVideoHook(const std::string& value) {
    std::istringstream words(value);
    std::string word;
    int count = 0;
    while (words >> word) {
        ++count;
    }
    if (count > MAX_HOOK_WORDS) {
        throw FFmpegException(
            StringPrintf("Too many words in video hook arguments (at most %d)", MAX_HOOK_WORDS));
    }
    if (!frameHooks_) {
        frameHooks_ = std::make_unique<TFrameHookList>();
    }
    if (frameHooks_->Add(value) != 0) {
        throw FFmpegException("Failed to add video hook function: " + value);
    }
    opt_.usingVhook = true;
}

void TCustomFFmpeg::ListPixelFormats() {
    char line[256];
    Log(llInfo, Trim(av_get_pix_fmt_string(line, sizeof(line), AV_PIX_FMT_NONE)));
    for (const AVPixFmtDescriptor* d = av_pix_fmt_desc_next(nullptr); d;
         d = av_pix_fmt_desc_next(d)) {
        Log(llInfo, Trim(av_get_pix_fmt_string(line, sizeof(line), av_pix_fmt_desc_get_id(d))));
    }
}

void TCustomFFmpeg::ListSampleFormats() {
    char line[256];
    for (int f = -1; f < AV_SAMPLE_FMT_NB; ++f) {
        if (av_get_sample_fmt_string(line, sizeof(line), static_cast<AVSampleFormat>(f))) {
            Log(llInfo, Trim(line));
        }
    }
}

void TCustomFFmpeg::NewStreamForOption(AVMediaType kind) {
    if (outputFiles_.empty()) {
        throw FFmpegException("At least one output file must be specified");
    }
    const int last = static_cast<int>(outputFiles_.size()) - 1;
    switch (kind) {
    case AVMEDIA_TYPE_VIDEO:
        new_video_stream(last);
        break;
    case AVMEDIA_TYPE_AUDIO:
        new_audio_stream(last);
        break;
    default:
        new_subtitle_stream(last);
        break;
    }
}

uint32_t TCustomFFmpeg::ParseTag(const std::string& value, const char* what) {
    if (value.size() != 4) {
        throw FFmpegException(StringPrintf("%s tag parameter must be 4 chars", what));
    }
    const auto byte = [&](int i) { return static_cast<uint32_t>(static_cast<uint8_t>(value[i])); };
    return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

int64_t TCustomFFmpeg::ParseDuration(const std::string& name, const std::string& value,
                                     bool isDate) {
    int64_t us = 0;
    if (av_parse_time(&us, value.c_str(), isDate ? 0 : 1) < 0) {
        throw FFmpegException(StringPrintf("Invalid %s specification for %s: %s",
                                           isDate ? "date" : "duration", name.c_str(),
                                           value.c_str()));
    }
    return us;
}

} // namespace quovo
