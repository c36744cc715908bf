// The library option holders behind SetGenericOption and ApplyGenericOptions. Codec and container
// contexts that are never opened serve as typed option stores: the library validates every value
// and keeps the option tables, flags and defaults of this build.
#include "TGenericOptions.h"

#include "FFmpegException.h"
#include "MyUtils.h"
#include "TFFLogger.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
}

#include <initializer_list>

namespace quovo {

namespace {

// Kinds in lookup order with the option flag each kind's codec options must carry (0: any).
struct TKindMask {
    AVMediaType kind;
    int mask;
};
constexpr TKindMask kKindLookup[] = {
    {AVMEDIA_TYPE_VIDEO, AV_OPT_FLAG_VIDEO_PARAM},
    {AVMEDIA_TYPE_AUDIO, AV_OPT_FLAG_AUDIO_PARAM},
    {AVMEDIA_TYPE_DATA, 0},
    {AVMEDIA_TYPE_SUBTITLE, AV_OPT_FLAG_SUBTITLE_PARAM},
    {AVMEDIA_TYPE_ATTACHMENT, 0},
};

constexpr int kScalerSize = 16;

} // namespace

TGenericOptions::TGenericOptions() {
    Reset(SWS_BICUBIC);
}

void TGenericOptions::Reset(int swsFlags) {
    for (int k = 0; k < 5; ++k) {
        codecs_[k].reset(avcodec_alloc_context3(nullptr));
        if (!codecs_[k]) {
            throw FFmpegException("avcodec_alloc_context3 failed");
        }
        codecs_[k]->codec_type = static_cast<AVMediaType>(k);
    }
    format_.reset(avformat_alloc_context());
    if (!format_) {
        throw FFmpegException("avformat_alloc_context failed");
    }
    sws_.reset(sws_alloc_context());
    if (!sws_) {
        throw FFmpegException("sws_alloc_context failed");
    }
    // Never initialised: it only has to carry the scaler options, shaped like the scaler the
    // conversion would make.
    SwsContext* s = sws_.get();
    av_opt_set_int(s, "sws_flags", swsFlags, 0);
    av_opt_set_int(s, "srcw", kScalerSize, 0);
    av_opt_set_int(s, "srch", kScalerSize, 0);
    av_opt_set_int(s, "dstw", kScalerSize, 0);
    av_opt_set_int(s, "dsth", kScalerSize, 0);
    av_opt_set_int(s, "src_format", AV_PIX_FMT_YUV420P, 0);
    av_opt_set_int(s, "dst_format", AV_PIX_FMT_YUV420P, 0);
    names_.clear();
}

AVCodecContext* TGenericOptions::Codec(AVMediaType kind) const {
    if (kind < AVMEDIA_TYPE_VIDEO || kind > AVMEDIA_TYPE_ATTACHMENT) {
        return nullptr;
    }
    return codecs_[kind].get();
}

bool TGenericOptions::Set(const std::string& rawName, const std::string& rawValue, bool* unknown) {
    if (unknown) {
        *unknown = false;
    }
    const std::string name = Trim(rawName);
    const std::string value = Trim(rawValue);
    if (name.empty() || value.empty()) {
        return false;
    }
    const char* n = name.c_str();
    const char* v = value.c_str();

    const AVOption* found = nullptr;
    int ret = 0;
    for (const TKindMask& km : kKindLookup) {
        AVCodecContext* ctx = Codec(km.kind);
        const AVOption* o = av_opt_find(ctx, n, nullptr, km.mask, 0);
        if (!o) {
            continue;
        }
        found = o;
        ret = av_opt_set(ctx, n, v, 0);
        if (ret < 0) {
            break;
        }
    }
    if (!found) {
        for (void* obj : {static_cast<void*>(format_.get()), static_cast<void*>(sws_.get())}) {
            if ((found = av_opt_find(obj, n, nullptr, 0, 0)) != nullptr) {
                ret = av_opt_set(obj, n, v, 0);
                break;
            }
        }
    }
    if (!found && (name[0] == 'a' || name[0] == 'v' || name[0] == 's') && name.size() > 1) {
        // Kind-prefixed names such as "vb" or "ab": the rest of the name on that kind's options.
        AVCodecContext* ctx = Codec(name[0] == 'a'   ? AVMEDIA_TYPE_AUDIO
                                    : name[0] == 'v' ? AVMEDIA_TYPE_VIDEO
                                                     : AVMEDIA_TYPE_SUBTITLE);
        if ((found = av_opt_find(ctx, n + 1, nullptr, 0, 0)) != nullptr) {
            ret = av_opt_set(ctx, n + 1, v, 0);
        }
    }
    if (!found) {
        if (unknown) {
            *unknown = true;
        }
        return false;
    }
    if (ret < 0) {
        av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", v, n);
        return false;
    }

    // The option's own name, so that "vb" is later copied as "b".
    names_.emplace_back(found->name);
    if (Codec(AVMEDIA_TYPE_VIDEO)->debug != 0 || format_->debug != 0) {
        FFLogger()->SetLogLevel(llDebug);
    }
    return true;
}

void TGenericOptions::Apply(void* target, void* source, int flags) const {
    if (!target || !source) {
        return;
    }
    for (const std::string& name : names_) {
        const AVOption* o = av_opt_find(source, name.c_str(), nullptr, 0, 0);
        if (!o || (o->flags & flags) != flags) {
            continue;
        }
        uint8_t* text = nullptr;
        if (av_opt_get(source, name.c_str(), 0, &text) < 0 || !text) {
            continue;
        }
        AvBufferPtr owned(text);
        // The target may not know the option (a decoder context given a container option's name
        // through a shared name list); that is not an error.
        av_opt_set(target, name.c_str(), reinterpret_cast<const char*>(owned.get()), 0);
    }
}

} // namespace quovo
