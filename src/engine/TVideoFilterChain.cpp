#include "TVideoFilterChain.h"

#include "MyUtils.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
}

namespace quovo {

namespace {

// Splits at `separators` outside [labels] and 'quoted' text, keeping the separators.
std::vector<std::string> SplitTopLevel(const std::string& text, const std::string& separators) {
    std::vector<std::string> parts;
    std::string current;
    int brackets = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '\\' && i + 1 < text.size()) {
            current += ch;
            current += text[++i];
            continue;
        }
        if (ch == '\'') {
            quoted = !quoted;
        } else if (!quoted && ch == '[') {
            ++brackets;
        } else if (!quoted && ch == ']') {
            --brackets;
        } else if (!quoted && brackets == 0 && separators.find(ch) != std::string::npos) {
            parts.push_back(current);
            parts.push_back(std::string(1, ch));
            current.clear();
            continue;
        }
        current += ch;
    }
    parts.push_back(current);
    return parts;
}

std::vector<std::string> SplitAt(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char ch : text) {
        if (ch == separator) {
            parts.emplace_back();
        } else {
            parts.back() += ch;
        }
    }
    return parts;
}

std::string TranslateOneFilter(const std::string& filter) {
    // [in]crop=l:t:w:h[out]: labels around the name and arguments stay where they are.
    size_t begin = 0;
    while (begin < filter.size() && (filter[begin] == ' ' || filter[begin] == '[')) {
        if (filter[begin] == '[') {
            const size_t close = filter.find(']', begin);
            if (close == std::string::npos) {
                return filter;
            }
            begin = close + 1;
        } else {
            ++begin;
        }
    }
    size_t end = filter.size();
    while (end > begin && (filter[end - 1] == ' ' || filter[end - 1] == ']')) {
        if (filter[end - 1] == ']') {
            const size_t open = filter.rfind('[', end - 1);
            if (open == std::string::npos || open < begin) {
                return filter;
            }
            end = open;
        } else {
            --end;
        }
    }
    const std::string body = filter.substr(begin, end - begin);
    const size_t eq = body.find('=');
    if (eq == std::string::npos || Trim(body.substr(0, eq)) != "crop") {
        return filter;
    }
    const std::string args = body.substr(eq + 1);
    if (args.empty() || args.find('=') != std::string::npos ||
        args.find('\'') != std::string::npos) {
        return filter; // named arguments or expressions in quotes mean today's filter
    }
    std::vector<std::string> v = SplitAt(args, ':');
    if (v.size() > 4) {
        return filter;
    }
    v.resize(4);
    const std::string x = v[0].empty() ? "0" : v[0];
    const std::string y = v[1].empty() ? "0" : v[1];
    // The old filter took 0 (or nothing) for "up to the right or bottom edge".
    const std::string w = v[2].empty() || v[2] == "0" ? "in_w-(" + x + ")" : v[2];
    const std::string h = v[3].empty() || v[3] == "0" ? "in_h-(" + y + ")" : v[3];
    return filter.substr(0, begin) + "crop=w=" + w + ":h=" + h + ":x=" + x + ":y=" + y +
           filter.substr(end);
}

} // namespace

std::string TranslateCropFilters(const std::string& chain) {
    std::string out;
    for (const std::string& part : SplitTopLevel(chain, ",;")) {
        out += part == "," || part == ";" ? part : TranslateOneFilter(part);
    }
    return out;
}

void TVideoFilterChain::Reset() {
    graph_.reset();
    source_ = nullptr;
    sink_ = nullptr;
}

int TVideoFilterChain::Build(const TSource& source, AVPixelFormat sinkFormat,
                             const TFilterList& filters, const std::string& userChain,
                             const std::string& scaleOptions, std::string& error) {
    Reset();
    graph_.reset(avfilter_graph_alloc());
    if (!graph_) {
        error = "cannot allocate the filter graph";
        return AVERROR(ENOMEM);
    }
    // The conversion runs on one thread; the graph does too.
    graph_->nb_threads = 1;

    const AVRational sar = source.sampleAspect.num > 0 ? source.sampleAspect : AVRational{0, 1};
    const std::string srcArgs = StringPrintf(
        "video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", source.width,
        source.height, static_cast<int>(source.format), AV_TIME_BASE, sar.num, sar.den);
    int err = avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "src",
                                           srcArgs.c_str(), nullptr, graph_.get());
    if (err < 0) {
        error = "cannot create the source filter";
        return err;
    }
    sink_ = avfilter_graph_alloc_filter(graph_.get(), avfilter_get_by_name("buffersink"), "out");
    if (!sink_) {
        error = "cannot create the sink filter";
        return AVERROR(ENOMEM);
    }
    const AVPixelFormat formats[] = {sinkFormat, AV_PIX_FMT_NONE};
    err = av_opt_set_int_list(sink_, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN);
    if (err >= 0) {
        err = avfilter_init_str(sink_, nullptr);
    }
    if (err < 0) {
        error = "cannot set up the sink filter";
        return err;
    }

    AVFilterContext* last = source_;
    for (const auto& [name, args] : filters) {
        AVFilterContext* f = nullptr;
        err = avfilter_graph_create_filter(&f, avfilter_get_by_name(name.c_str()), name.c_str(),
                                           args.c_str(), nullptr, graph_.get());
        if (err >= 0) {
            err = avfilter_link(last, 0, f, 0);
        }
        if (err < 0) {
            error = "cannot add the " + name + " filter (" + args + ")";
            return err;
        }
        last = f;
    }
    if (!scaleOptions.empty()) {
        av_freep(&graph_->scale_sws_opts);
        graph_->scale_sws_opts = av_strdup(scaleOptions.c_str());
    }

    if (!userChain.empty()) {
        err = ParseUserChain(last, userChain);
        if (err < 0) {
            error = "cannot parse the filter chain \"" + userChain + "\"";
            return err;
        }
    } else {
        err = avfilter_link(last, 0, sink_, 0);
        if (err < 0) {
            error = "cannot link the filters";
            return err;
        }
    }
    err = avfilter_graph_config(graph_.get(), nullptr);
    if (err < 0) {
        error = "cannot configure the filter graph";
        return err;
    }
    return 0;
}

int TVideoFilterChain::ParseUserChain(AVFilterContext* last, const std::string& userChain) {
    AvFilterInOutPtr outputs(avfilter_inout_alloc());
    AvFilterInOutPtr inputs(avfilter_inout_alloc());
    if (!outputs || !inputs) {
        return AVERROR(ENOMEM);
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = last;
    outputs->pad_idx = 0;
    outputs->next = nullptr;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink_;
    inputs->pad_idx = 0;
    inputs->next = nullptr;
    // The parser takes the lists and gives back what it left unlinked.
    AVFilterInOut* in = inputs.release();
    AVFilterInOut* out = outputs.release();
    const int err = avfilter_graph_parse_ptr(graph_.get(), userChain.c_str(), &in, &out, nullptr);
    inputs.reset(in);
    outputs.reset(out);
    return err;
}

int TVideoFilterChain::Push(AVFrame* frame) {
    return av_buffersrc_add_frame_flags(source_, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
}

int TVideoFilterChain::Pull(AVFrame* frame) {
    return av_buffersink_get_frame(sink_, frame);
}

int TVideoFilterChain::Width() const {
    return av_buffersink_get_w(sink_);
}
int TVideoFilterChain::Height() const {
    return av_buffersink_get_h(sink_);
}
AVRational TVideoFilterChain::SampleAspect() const {
    return av_buffersink_get_sample_aspect_ratio(sink_);
}

} // namespace quovo
