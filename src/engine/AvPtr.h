// Owning pointers for the media libraries' objects, each freed with the library's own function.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/tx.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace quovo {

struct AvFrameDeleter {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct AvPacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct AvCodecContextDeleter {
    void operator()(AVCodecContext* p) const {
        if (p) {
            av_freep(&p->stats_in); // the library leaves the two-pass input to its owner
        }
        avcodec_free_context(&p);
    }
};
// An input context: closed with avformat_close_input.
struct AvInputContextDeleter {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
// An output (or never opened) context: its pb is owned elsewhere.
struct AvFormatContextDeleter {
    void operator()(AVFormatContext* p) const { avformat_free_context(p); }
};
struct SwsContextDeleter {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};
struct SwrContextDeleter {
    void operator()(SwrContext* p) const { swr_free(&p); }
};
struct AvFilterGraphDeleter {
    void operator()(AVFilterGraph* p) const { avfilter_graph_free(&p); }
};
// A filter-chain in/out list: frees the whole list.
struct AvFilterInOutDeleter {
    void operator()(AVFilterInOut* p) const { avfilter_inout_free(&p); }
};
struct AvBsfContextDeleter {
    void operator()(AVBSFContext* p) const { av_bsf_free(&p); }
};
struct AvAudioFifoDeleter {
    void operator()(AVAudioFifo* p) const { av_audio_fifo_free(p); }
};
struct AvDictionaryDeleter {
    void operator()(AVDictionary* p) const { av_dict_free(&p); }
};
struct AvFreeDeleter {
    void operator()(void* p) const { av_free(p); }
};
struct AvCodecParserDeleter {
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};

struct AvTxContextDeleter {
    void operator()(AVTXContext* p) const { av_tx_uninit(&p); }
};

using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketDeleter>;
using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextDeleter>;
using AvInputContextPtr = std::unique_ptr<AVFormatContext, AvInputContextDeleter>;
using AvFormatContextPtr = std::unique_ptr<AVFormatContext, AvFormatContextDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using AvFilterGraphPtr = std::unique_ptr<AVFilterGraph, AvFilterGraphDeleter>;
using AvFilterInOutPtr = std::unique_ptr<AVFilterInOut, AvFilterInOutDeleter>;
using AvBsfContextPtr = std::unique_ptr<AVBSFContext, AvBsfContextDeleter>;
using AvAudioFifoPtr = std::unique_ptr<AVAudioFifo, AvAudioFifoDeleter>;
using AvBufferPtr = std::unique_ptr<uint8_t, AvFreeDeleter>;
using AvCodecParserPtr = std::unique_ptr<AVCodecParserContext, AvCodecParserDeleter>;
using AvTxContextPtr = std::unique_ptr<AVTXContext, AvTxContextDeleter>;

// Owns an AVDictionary while still letting library calls take its address.
class AvDictionary {
public:
    AvDictionary() = default;
    AvDictionary(const AvDictionary&) = delete;
    AvDictionary& operator=(const AvDictionary&) = delete;
    AvDictionary(AvDictionary&& o) noexcept : dict_(o.dict_) { o.dict_ = nullptr; }
    AvDictionary& operator=(AvDictionary&& o) noexcept {
        std::swap(dict_, o.dict_);
        return *this;
    }
    ~AvDictionary() { av_dict_free(&dict_); }
    AVDictionary* get() const { return dict_; }
    AVDictionary** address() { return &dict_; }

private:
    AVDictionary* dict_ = nullptr;
};

inline AvFramePtr MakeFrame() {
    return AvFramePtr(av_frame_alloc());
}
inline AvPacketPtr MakePacket() {
    return AvPacketPtr(av_packet_alloc());
}

} // namespace quovo
