// Presets: named lists of settings from the built-in table or from a file, applied as options.
//
// The built-in texts use the option names of the libx264 wrapper of their time. Settings that
// still exist as codec options pass through unchanged; the rest become the wrapper's own
// (private) options today, which only exist once the encoder is known: they wait in the option
// state until a stream is created and are handed to the encoder when it is opened.
#include "TCustomFFmpeg.h"

#include "BuiltinPresets.h"
#include "MyUtils.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <strings.h>

namespace quovo {

namespace {

const char* FindBuiltinPreset(const std::string& name) {
    for (const TOptionsPreset& p : BuiltinPresets()) {
        if (strcasecmp(p.name, name.c_str()) == 0) {
            return p.text;
        }
    }
    return nullptr;
}

// Splits a flags value such as "+mixed_refs-dct8x8" into signed items ('+' when unsigned).
std::vector<std::pair<char, std::string>> FlagItems(const std::string& value) {
    std::vector<std::pair<char, std::string>> items;
    char sign = '+';
    std::string word;
    for (char ch : value) {
        if (ch == '+' || ch == '-') {
            if (!word.empty()) {
                items.emplace_back(sign, word);
                word.clear();
            }
            sign = ch;
        } else if (ch != ' ') {
            word += ch;
        }
    }
    if (!word.empty()) {
        items.emplace_back(sign, word);
    }
    return items;
}

// flags2 items of the old libx264 wrapper and the wrapper's option that holds each today.
struct TOldFlag {
    const char* flag;
    const char* option;
    const char* on;
    const char* off;
};
constexpr TOldFlag kOldFlags2[] = {
    {"wpred", "weightb", "1", "0"},
    {"mixed_refs", "mixed-refs", "1", "0"},
    {"dct8x8", "8x8dct", "1", "0"},
    {"fastpskip", "fast-pskip", "1", "0"},
    {"bpyramid", "b-pyramid", "normal", "none"},
    {"mbtree", "mbtree", "1", "0"},
    {"aud", "aud", "1", "0"},
    {"psy", "psy", "1", "0"},
    {"ssim", "ssim", "1", "0"},
    {"intra_refresh", "intra-refresh", "1", "0"},
};

// Old codec options that are the wrapper's own options today, with their current names.
struct TRenamed {
    const char* old;
    const char* now;
};
constexpr TRenamed kOldOptions[] = {
    {"coder", "coder"},
    {"partitions", "partitions"},
    {"me_method", "motion-est"},
    {"sc_threshold", "sc_threshold"},
    {"b_strategy", "b_strategy"},
    {"directpred", "direct-pred"},
    {"cqp", "qp"},
    {"wpredp", "wpredp"},
};

// The old flags2 defaults behind the wrapper's settings: a built-in row that does not switch
// one of these on leaves it off, as the encoder did when the presets were written.
constexpr std::pair<const char*, const char*> kOldDefaults[] = {
    {"8x8dct", "0"}, {"mixed-refs", "0"}, {"weightb", "0"}, {"b-pyramid", "none"}, {"wpredp", "0"},
};

// "+parti8x8+parti4x4-partp8x8" as the wrapper's list "i8x8,i4x4".
std::string PartitionList(const std::string& value) {
    std::string list;
    for (const auto& [sign, item] : FlagItems(value)) {
        if (sign != '+' || item.rfind("part", 0) != 0 || item.size() < 5) {
            continue;
        }
        if (!list.empty()) {
            list += ',';
        }
        list += item.substr(4);
    }
    return list.empty() ? "none" : list;
}

const TRenamed* FindRenamed(const std::string& old) {
    for (const TRenamed& r : kOldOptions) {
        if (old == r.old) {
            return &r;
        }
    }
    return nullptr;
}

// The value of a renamed option in today's form ("+parti8x8" items become a list).
std::string CurrentValue(const std::string& old, const std::string& value) {
    const bool oldItems = value.find("part") != std::string::npos;
    return old == "partitions" && oldItems ? PartitionList(value) : value;
}

bool IsGenericFlag(const char* unit, const std::string& item) {
    AVCodecContext* probe = avcodec_alloc_context3(nullptr);
    if (!probe) {
        return false;
    }
    AvCodecContextPtr owned(probe);
    const AVOption* o = av_opt_find(probe, item.c_str(), unit, 0, 0);
    return o && o->type == AV_OPT_TYPE_CONST;
}

} // namespace

std::string TCustomFFmpeg::CurrentCodecName(const std::string& name, TCodecDirection dir) {
    // Wrappers of external libraries this build replaces with the library's own codecs.
    static const std::pair<const char*, const char*> kReplaced[] = {
        {"libfaac", "aac"},           {"libvo_aacenc", "aac"}, {"libaacplus", "aac"},
        {"libfaad", "aac"},           {"libflac", "flac"},     {"libvo_amrwbenc", "amr_wb"},
        {"libschroedinger", "dirac"}, {"libdirac", "dirac"},
    };
    const bool enc = dir == TCodecDirection::Encoder;
    const AVCodec* exists = enc ? avcodec_find_encoder_by_name(name.c_str())
                                : avcodec_find_decoder_by_name(name.c_str());
    if (exists) {
        return name;
    }
    for (const auto& [old, now] : kReplaced) {
        if (name == old) {
            const AVCodec* c =
                enc ? avcodec_find_encoder_by_name(now) : avcodec_find_decoder_by_name(now);
            return c ? now : name;
        }
    }
    return name;
}

void TCustomFFmpeg::AddPresetPrivateOption(AVMediaType kind, const std::string& key,
                                           const std::string& value) {
    auto& list = kind == AVMEDIA_TYPE_AUDIO      ? opt_.audioPrivateOptions
                 : kind == AVMEDIA_TYPE_SUBTITLE ? opt_.subtitlePrivateOptions
                                                 : opt_.videoPrivateOptions;
    list.emplace_back(key, value);
}

void TCustomFFmpeg::TakePresetOptions(TStreamCodec& sc, AVMediaType kind) const {
    const auto& list = kind == AVMEDIA_TYPE_AUDIO      ? opt_.audioPrivateOptions
                       : kind == AVMEDIA_TYPE_SUBTITLE ? opt_.subtitlePrivateOptions
                                                       : opt_.videoPrivateOptions;
    for (const auto& [key, value] : list) {
        av_dict_set(sc.privateOptions.address(), key.c_str(), value.c_str(), 0);
    }
}

void TCustomFFmpeg::ClaimEncoderOptions(TStreamCodec& sc, const AVCodec* codec) {
    if (sc.unclaimedOptions.empty() || !codec || !codec->priv_class) {
        return;
    }
    AvCodecContextPtr check(avcodec_alloc_context3(codec));
    if (!check || !check->priv_data) {
        return;
    }
    for (const auto& [name, value] : sc.unclaimedOptions) {
        const TRenamed* renamed = FindRenamed(name);
        const std::string now = renamed ? renamed->now : name;
        const std::string v = renamed ? CurrentValue(name, value) : value;
        // The value is checked here: one the encoder refuses would fail its opening.
        if (av_opt_find(check->priv_data, now.c_str(), nullptr, 0, 0) &&
            av_opt_set(check->priv_data, now.c_str(), v.c_str(), 0) >= 0) {
            av_dict_set(sc.privateOptions.address(), now.c_str(), v.c_str(), 0);
        }
    }
    sc.unclaimedOptions.clear();
}

void TCustomFFmpeg::TakeMuxerOptions(TOutputFileShared& of) const {
    for (const auto& [key, value] : opt_.muxerPrivateOptions) {
        av_dict_set(of.muxOptions.address(), key.c_str(), value.c_str(), 0);
    }
}

void TCustomFFmpeg::ApplyPresetLine(const std::string& presetKey, const std::string& line,
                                    const std::string& key, const std::string& value,
                                    AVMediaType kind, const AVCodec* encoder) {
    auto refuse = [&] {
        throw FFmpegException(
            StringPrintf("%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
                         presetKey.c_str(), line.c_str(), key.c_str(), value.c_str()));
    };
    // A private option of the encoder, checked against a context of that encoder.
    auto setPrivate = [&](const std::string& name, const std::string& v) {
        if (!encoder || !encoder->priv_class) {
            // Checked when the encoder opens: what it does not know is logged then.
            AddPresetPrivateOption(kind, name, v);
            return;
        }
        AvCodecContextPtr check(avcodec_alloc_context3(encoder));
        if (!check || !av_opt_find(check->priv_data, name.c_str(), nullptr, 0, 0)) {
            if (opt_.verbose > 0) {
                LogFmt(llVerbose, "%s: %s has no option %s any more; \"%s\" skipped",
                       presetKey.c_str(), encoder->name, name.c_str(), line.c_str());
            }
            return;
        }
        if (av_opt_set(check->priv_data, name.c_str(), v.c_str(), 0) < 0) {
            refuse();
        }
        AddPresetPrivateOption(kind, name, v);
    };

    AVCodecContext* generic = generic_.Codec(kind);
    const bool isGeneric = av_opt_find(generic, key.c_str(), nullptr, 0, 0) != nullptr;
    if (key == "flags2") {
        std::string kept;
        for (const auto& [sign, item] : FlagItems(value)) {
            const auto old = std::find_if(std::begin(kOldFlags2), std::end(kOldFlags2),
                                          [&](const TOldFlag& f) { return item == f.flag; });
            if (IsGenericFlag("flags2", item)) {
                kept += sign + item;
            } else if (old != std::end(kOldFlags2)) {
                setPrivate(old->option, sign == '+' ? old->on : old->off);
            } else if (opt_.verbose > 0) {
                LogFmt(llVerbose, "%s: flag %s of \"%s\" no longer exists; skipped",
                       presetKey.c_str(), item.c_str(), line.c_str());
            }
        }
        if (!kept.empty() && !SetGenericOption(key, kept)) {
            refuse();
        }
        return;
    }
    if (!isGeneric) {
        if (const TRenamed* r = FindRenamed(key)) {
            setPrivate(r->now, CurrentValue(key, value));
            return;
        }
        if (encoder && encoder->priv_class) {
            AvCodecContextPtr check(avcodec_alloc_context3(encoder));
            if (check && av_opt_find(check->priv_data, key.c_str(), nullptr, 0, 0)) {
                setPrivate(key, value);
                return;
            }
        }
    }
    if (!SetGenericOption(key, value)) {
        refuse();
    }
}

void TCustomFFmpeg::ApplyPreset(const std::string& kind, const std::string& value) {
    if (kind.empty() || value.empty()) {
        return;
    }
    std::string presetKey = value;
    const char* builtin = nullptr;
    if (kind[0] != 'f') {
        builtin = FindBuiltinPreset(presetKey);
        if (!builtin) {
            if (kind[0] == 'v' && !opt_.videoCodecName.empty()) {
                presetKey = opt_.videoCodecName + "-" + value;
            } else if (kind[0] == 'a' && !opt_.audioCodecName.empty()) {
                presetKey = opt_.audioCodecName + "-" + value;
            } else if (!opt_.subtitleCodecName.empty()) {
                presetKey = opt_.subtitleCodecName + "-" + value;
            }
            builtin = FindBuiltinPreset(presetKey);
        }
    }
    std::string text;
    if (builtin) {
        text = builtin;
    } else {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(value, ec)) {
            throw FFmpegException(StringPrintf("Preset \"%s\" not found", value.c_str()));
        }
        std::ifstream in(value, std::ios::binary);
        std::ostringstream whole;
        whole << in.rdbuf();
        text = whole.str();
    }

    const AVMediaType mediaKind = kind[0] == 'a'   ? AVMEDIA_TYPE_AUDIO
                                  : kind[0] == 's' ? AVMEDIA_TYPE_SUBTITLE
                                                   : AVMEDIA_TYPE_VIDEO;
    // The encoder whose own options the preset may set: the one named for the kind, or the one
    // a built-in preset is named after ("libx264-hq").
    const std::string& named = mediaKind == AVMEDIA_TYPE_AUDIO      ? opt_.audioCodecName
                               : mediaKind == AVMEDIA_TYPE_SUBTITLE ? opt_.subtitleCodecName
                                                                    : opt_.videoCodecName;
    const AVCodec* encoder = named.empty()
                                 ? nullptr
                                 : avcodec_find_encoder_by_name(
                                       CurrentCodecName(named, TCodecDirection::Encoder).c_str());
    if (!encoder && builtin) {
        const std::string prefix = presetKey.substr(0, presetKey.find('-'));
        encoder = avcodec_find_encoder_by_name(prefix.c_str());
    }
    if (builtin && encoder && encoder->priv_class) {
        // The old defaults hold until a preset changes them; later presets build on earlier ones.
        const auto& pending = mediaKind == AVMEDIA_TYPE_AUDIO      ? opt_.audioPrivateOptions
                              : mediaKind == AVMEDIA_TYPE_SUBTITLE ? opt_.subtitlePrivateOptions
                                                                   : opt_.videoPrivateOptions;
        AvCodecContextPtr check(avcodec_alloc_context3(encoder));
        for (const auto& [name, v] : kOldDefaults) {
            const bool set = std::any_of(pending.begin(), pending.end(),
                                         [&](const auto& p) { return p.first == name; });
            if (!set && check && av_opt_find(check->priv_data, name, nullptr, 0, 0)) {
                AddPresetPrivateOption(mediaKind, name, v);
            }
        }
    }

    text = Trim(text);
    std::replace(text.begin(), text.end(), '\r', '\n');
    std::istringstream lines(text);
    std::string raw;
    while (std::getline(lines, raw)) {
        const std::string line = Trim(raw);
        if (line.empty()) {
            continue;
        }
        const size_t eq = line.find('=');
        const std::string key = eq == std::string::npos ? "" : Trim(line.substr(0, eq));
        const std::string v = eq == std::string::npos ? "" : Trim(line.substr(eq + 1));
        if (key.empty() || v.empty()) {
            throw FFmpegException(
                StringPrintf("%s: Invalid syntax: \"%s\"", presetKey.c_str(), line.c_str()));
        }
        const std::string lower = LowerCase(key);
        if (lower == "acodec" || lower == "vcodec" || lower == "scodec") {
            SetOption(lower, v);
            continue;
        }
        ApplyPresetLine(presetKey, line, key, v, mediaKind, encoder);
    }
}

} // namespace quovo
