// Per-stream state of the sound processing.
//
// Volume and synchronisation work on decoded sound as interleaved bytes (planar decoder output
// is interleaved for them), so that their arithmetic is the same whatever the decoder; without
// them the decoder's planes go straight to the resampler. Everything here belongs to the task's
// worker thread.
#pragma once

#include "AvPtr.h"

#include <cstdint>
#include <vector>

namespace quovo {

// One decoded buffer on its way to an encoder.
struct TAudioChunk {
    const uint8_t* const* planes; // planar sound: the decoder's planes
    const uint8_t* buf;           // interleaved sound: its bytes (padding may replace them)
    int size;                     // bytes in all
    AVSampleFormat format;
    int channels;
    int rate;
};

// Decoding side of an audio input stream.
struct TAudioInputState {
    AvFramePtr frame;             // what the decoder delivered last
    std::vector<uint8_t> decoded; // the decode buffer: interleaved samples of `format`
    AVSampleFormat format = AV_SAMPLE_FMT_NONE; // packed format of `decoded`
    // Float or 32-bit decoder output turned into signed 16-bit for the volume step.
    SwrContextPtr toS16;
    AVSampleFormat toS16From = AV_SAMPLE_FMT_NONE;
    int toS16Channels = 0;
    std::vector<uint8_t> s16;
    // Set by AudioOutput when early sound was dropped whole: the next buffer is still "first".
    bool keepFirstMark = false;
    // The planes of a frame cut at the start point, and the samples kept since it.
    std::vector<const uint8_t*> cutPlanes;
    int64_t keptSamples = 0;

    // `frame` interleaved into `decoded` (a planar frame packed, a packed one copied); returns
    // the bytes.
    int Interleave(const AVFrame& frame);
    // Volume (256: as it is) on `samples` x `channels` interleaved samples at `data`, which
    // point into `decoded`; sound that is not s16 is converted to s16 first. Returns the bytes;
    // `data` and `format` then describe the result.
    int ApplyVolume(int volume, int channels, int samples, const uint8_t*& data,
                    AVSampleFormat& format);
};

// Sample FIFO, resampler and sample-format conversion of an audio output stream.
struct TAudioOutputState {
    // For encoder `enc`; `resampling` when the rates differ or the sound is stretched.
    TAudioOutputState(const AVCodecContext& enc, bool resampling);

    AvAudioFifoPtr fifo;   // encoder samples waiting for a full encoder frame
    bool resample = false; // resampling needed (rates differ, stretching, channel change)
    SwrContextPtr resampler;
    AVSampleFormat resamplerFrom = AV_SAMPLE_FMT_NONE; // the input it was made for
    int resamplerChannels = 0;
    int resamplerRate = 0;
    SwrContextPtr converter; // sample-format conversion when not resampling
    AVSampleFormat convFrom = AV_SAMPLE_FMT_NONE;
    AVSampleFormat convTo = AV_SAMPLE_FMT_NONE;
    // The work buffer: converted samples in the encoder's format (one plane per channel when
    // the encoder is planar) and its size in bytes.
    AvFramePtr work;
    int64_t workBytes = 0;
    int64_t outputBytes = 0;      // the planned size of the encoded-output buffer
    std::vector<uint8_t> silence; // silence in front of late sound, then the samples
    AvFramePtr encodeFrame;       // one encoder frame taken from the FIFO
    int encodeCapacity = 0;       // samples its buffer holds
    AvPacketPtr packet;
    bool drained = false; // the encoder got its end of stream

    // Buffer sizes for `planned` bytes of sound like `in`.
    void PlanBuffers(const AVCodecContext& enc, const TAudioChunk& in, int64_t planned);
    // Whether sound like `in` needs a resampler that is not made yet (one made for other sound
    // is dropped).
    bool ResamplerDue(const AVCodecContext& enc, const TAudioChunk& in);
    // The resampler (stretching the sound when `stretch`) or the sample-format converter that
    // `in` needs.
    void MakeConverters(const AVCodecContext& enc, const TAudioChunk& in, bool stretch);
    // The samples of `in` in the encoder's format: their count (-1 when the sample-format
    // converter failed; a failed resampling throws), `data` their planes.
    int ToEncoderFormat(const AVCodecContext& enc, const TAudioChunk& in,
                        const uint8_t* const*& data);
    // The frame for `samples` encoder samples, writable.
    AVFrame* EncodeFrame(const AVCodecContext& enc, int samples);

private:
    void GrowWork(const AVCodecContext& enc, int64_t bytes);
};

} // namespace quovo
