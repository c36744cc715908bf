// Per-stream state of the picture processing. All of it is owned and used by the converting
// thread only.
#pragma once

#include "AvPtr.h"
#include "TEngineOptions.h"
#include "TPictureConverter.h"
#include "TSubpictureOverlay.h"
#include "TVideoFilterChain.h"

#include <cstdint>
#include <memory>

namespace quovo {

// Decoding side of a video input stream.
struct TVideoInputState {
    AvFramePtr decoded = MakeFrame();
    // Quality the decoder gave the last picture (for `sameq`).
    int quality = 0;
    // Where the last decoded picture ends, in the input's time (microseconds).
    int64_t pictureEndUs = NoTimestamp;
    // The picture that deinterlacing and the hooks work on, reused while the size and format stay.
    AvFramePtr hookBuffer;
    // Same-frame deinterlacer (no look-ahead, so every picture leaves at once).
    TVideoFilterChain deinterlacer;
    int deinterlaceWidth = 0, deinterlaceHeight = 0;
    AVPixelFormat deinterlaceFormat = AV_PIX_FMT_NONE;
    bool deinterlaceBroken = false; // the format cannot be deinterlaced; said once
    AvFramePtr deinterlaced = MakeFrame();
    // The subpictures drawn into this stream's pictures before crop and scale (a disc title's
    // chosen subtitle, or its forced subpictures); null when none.
    std::unique_ptr<TSubpictureOverlay> subpictures;

    // The hook buffer, writable and shaped like `like`; null when it cannot be.
    AVFrame* HookBuffer(const AVFrame& like);
    // `src` deinterlaced into `dst` (same size); false when it cannot be (said by the caller).
    bool Deinterlace(const AVFrame& src, AVFrame& dst);
    // Draws the subpictures showing at the time of `picture` (in `timeBase`) into it.
    void DrawSubpictures(AVFrame& picture, AVRational timeBase);
};

// Crop bands in pixels.
struct TCropBands {
    int top = 0, bottom = 0, left = 0, right = 0;
};

// Crop, scaling, filter chain and synchronisation of a video output stream.
struct TVideoOutputState {
    // What the encoder said about the last coded picture; the progress report reads these.
    int lastQuality = 0;         // lambda (quantiser * FF_QP2LAMBDA); 0 before the first frame
    int lastPictType = 0;        // AVPictureType
    bool hasPsnr = false;        // the encoder reports PSNR errors
    uint64_t lastError[4] = {};  // sum of squared errors of the last coded picture, Y U V
    uint64_t totalError[4] = {}; // the same summed over the run

    // Crop bands currently applied and as first set.
    bool cropOn = false;
    int topBand = 0, bottomBand = 0, leftBand = 0, rightBand = 0;
    int initialTop = 0, initialBottom = 0, initialLeft = 0, initialRight = 0;
    // Scaling (or pixel-format conversion) from the cropped input to the encoder.
    bool resampleOn = false;
    SwsContextPtr scaler;
    AvFramePtr tempPicture; // encoder size and format; made writable before every use
    int resampleWidth = 0, resampleHeight = 0;
    AVPixelFormat resampleFormat = AV_PIX_FMT_NONE;
    int initialWidth = 0, initialHeight = 0;
    // The user's filter chain (with crop and scale in front of it).
    TVideoFilterChain filters;
    AvFramePtr filtered = MakeFrame(); // the picture last taken from the chain

    AvFramePtr cropped = MakeFrame(); // a view of the picture without its bands
    AvFramePtr lastPicture;           // the last picture given to the encoder, before crop
    double startOffset = 0;           // ticks between the first picture's time and its slot
    AvFramePtr encodeFrame = MakeFrame();
    AvPacketPtr packet = MakePacket();

    // The input the bands are given for: sets the bands and the resample size.
    void SetInput(int width, int height, AVPixelFormat format, const TCropBands& bands);
    // Whether `picture` has another size or format than the crop and scaling were made for.
    bool SizeChanged(const AVFrame& picture) const;
    // The bands (keeping their share of the picture) and the resample size follow `picture`.
    void FollowSize(const AVFrame& picture);
    // `lastPicture` emptied for the next picture.
    AVFrame* LastPictureSlot();
    // Turns scaling on: from the resample size and format to the encoder's `c`.
    void MakeScaler(const AVCodecContext& c, int swsFlags);
    // A view of `picture` inside the bands; null when the library refuses it.
    AVFrame* CropView(AVFrame* picture);
    // `picture` (of the resample size) scaled into the temporary picture, which it returns.
    AVFrame* ScaleToEncoder(const AVFrame& picture);
    // What the encoder said about the picture of `pkt` (quality, type, PSNR errors when
    // `psnrWanted`).
    void TakeQualityStats(const AVPacket& pkt, bool psnrWanted);
};

} // namespace quovo
