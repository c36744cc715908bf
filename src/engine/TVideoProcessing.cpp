#include "TVideoProcessing.h"

#include "FFmpegException.h"

extern "C" {
#include <libavutil/intreadwrite.h>
#include <libswscale/swscale.h>
}

#include <algorithm>

namespace quovo {

// --- decoding side

AVFrame* TVideoInputState::HookBuffer(const AVFrame& like) {
    AVFrame* buffer = hookBuffer.get();
    const bool fits = buffer && buffer->width == like.width && buffer->height == like.height &&
                      buffer->format == like.format;
    if (!fits) {
        hookBuffer = MakeFrame();
        buffer = hookBuffer.get();
        buffer->format = like.format;
        buffer->width = like.width;
        buffer->height = like.height;
        if (av_frame_get_buffer(buffer, 0) < 0) {
            hookBuffer.reset();
            return nullptr;
        }
    } else if (av_frame_make_writable(buffer) < 0) {
        // The encoder may still hold the previous picture; a new buffer is made when it does.
        return nullptr;
    }
    return buffer;
}

bool TVideoInputState::Deinterlace(const AVFrame& src, AVFrame& dst) {
    const auto format = static_cast<AVPixelFormat>(src.format);
    if (!deinterlacer.Built() || deinterlaceWidth != src.width || deinterlaceHeight != src.height ||
        deinterlaceFormat != format) {
        deinterlaceWidth = src.width;
        deinterlaceHeight = src.height;
        deinterlaceFormat = format;
        // The postprocessing library's "fd" is the classic same-frame deinterlacer: no picture
        // is held back, so timestamps and hooks stay frame-exact.
        TVideoFilterChain::TFilterList filters;
        if (avfilter_get_by_name("pp")) {
            filters = {{"pp", "fd"}};
        } else {
            filters = {{"kerndeint", ""}};
        }
        std::string error;
        deinterlaceBroken =
            deinterlacer.Build({src.width, src.height, format, src.sample_aspect_ratio}, format,
                               filters, "", "", error) < 0;
        if (deinterlaceBroken) {
            deinterlacer.Reset();
        }
    }
    if (deinterlaceBroken) {
        return false;
    }
    AVFrame* out = deinterlaced.get();
    if (deinterlacer.Push(const_cast<AVFrame*>(&src)) < 0 || deinterlacer.Pull(out) < 0) {
        deinterlacer.Reset();
        return false;
    }
    const bool ok =
        out->width == dst.width && out->height == dst.height && av_frame_copy(&dst, out) >= 0;
    av_frame_unref(out);
    return ok;
}

void TVideoInputState::DrawSubpictures(AVFrame& picture, AVRational timeBase) {
    if (!subpictures) {
        return;
    }
    const int64_t pts = picture.best_effort_timestamp != AV_NOPTS_VALUE
                            ? picture.best_effort_timestamp
                            : picture.pts;
    if (pts != AV_NOPTS_VALUE) {
        subpictures->Draw(picture, av_rescale_q(pts, timeBase, AV_TIME_BASE_Q));
    }
}

// --- encoding side

void TVideoOutputState::SetInput(int width, int height, AVPixelFormat format,
                                 const TCropBands& bands) {
    cropOn = bands.top || bands.bottom || bands.left || bands.right;
    if (cropOn) {
        topBand = initialTop = bands.top;
        bottomBand = initialBottom = bands.bottom;
        leftBand = initialLeft = bands.left;
        rightBand = initialRight = bands.right;
    }
    // The size the bands were given for, which they follow proportionally on a size change.
    initialWidth = width;
    initialHeight = height;
    resampleWidth = width - leftBand - rightBand;
    resampleHeight = height - topBand - bottomBand;
    resampleFormat = format;
}

bool TVideoOutputState::SizeChanged(const AVFrame& picture) const {
    return picture.height - topBand - bottomBand != resampleHeight ||
           picture.width - leftBand - rightBand != resampleWidth ||
           static_cast<AVPixelFormat>(picture.format) != resampleFormat;
}

void TVideoOutputState::FollowSize(const AVFrame& picture) {
    const int w = picture.width;
    const int h = picture.height;
    // The bands keep their share of the picture.
    if (cropOn && initialWidth > 0 && initialHeight > 0) {
        auto scaled = [](int size, int band, int initial) {
            return static_cast<int>(static_cast<int64_t>(size) * band / initial) & ~1;
        };
        topBand = scaled(h, initialTop, initialHeight);
        bottomBand = scaled(h, initialBottom, initialHeight);
        leftBand = scaled(w, initialLeft, initialWidth);
        rightBand = scaled(w, initialRight, initialWidth);
    }
    resampleWidth = w - leftBand - rightBand;
    resampleHeight = h - topBand - bottomBand;
    resampleFormat = static_cast<AVPixelFormat>(picture.format);
}

AVFrame* TVideoOutputState::LastPictureSlot() {
    if (!lastPicture) {
        lastPicture = MakeFrame();
    }
    av_frame_unref(lastPicture.get());
    return lastPicture.get();
}

void TVideoOutputState::MakeScaler(const AVCodecContext& c, int swsFlags) {
    if (!tempPicture) {
        tempPicture = MakeFrame();
        tempPicture->format = c.pix_fmt;
        tempPicture->width = c.width;
        tempPicture->height = c.height;
        if (av_frame_get_buffer(tempPicture.get(), 0) < 0) {
            throw FFmpegException("Cannot allocate temp picture, check pix fmt");
        }
    }
    resampleOn = true;
    scaler.reset(CachedScaler(nullptr, resampleWidth, resampleHeight, resampleFormat, c.width,
                              c.height, c.pix_fmt, swsFlags));
    if (!scaler) {
        throw FFmpegException("Cannot get resampling context");
    }
}

AVFrame* TVideoOutputState::CropView(AVFrame* picture) {
    AVFrame* view = cropped.get();
    av_frame_unref(view);
    int err = av_frame_ref(view, picture);
    if (err >= 0) {
        view->crop_top = topBand;
        view->crop_bottom = bottomBand;
        view->crop_left = leftBand;
        view->crop_right = rightBand;
        err = av_frame_apply_cropping(view, AV_FRAME_CROP_UNALIGNED);
    }
    return err < 0 ? nullptr : view;
}

AVFrame* TVideoOutputState::ScaleToEncoder(const AVFrame& picture) {
    // The encoder may keep a reference to the last one; never draw over it.
    if (av_frame_make_writable(tempPicture.get()) < 0) {
        throw FFmpegException("Cannot allocate temp picture, check pix fmt");
    }
    sws_scale(scaler.get(), picture.data, picture.linesize, 0, resampleHeight, tempPicture->data,
              tempPicture->linesize);
    return tempPicture.get();
}

void TVideoOutputState::TakeQualityStats(const AVPacket& pkt, bool psnrWanted) {
    size_t statsSize = 0;
    const uint8_t* q = av_packet_get_side_data(&pkt, AV_PKT_DATA_QUALITY_STATS, &statsSize);
    if (!q || statsSize < 6) {
        lastPictType = (pkt.flags & AV_PKT_FLAG_KEY) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        return;
    }
    lastQuality = static_cast<int>(AV_RL32(q));
    lastPictType = q[4];
    const int errors = std::min<int>(q[5], 4);
    hasPsnr = psnrWanted && errors > 0 && statsSize >= 8 + 8 * static_cast<size_t>(errors);
    if (hasPsnr) {
        for (int i = 0; i < errors; ++i) {
            lastError[i] = AV_RL64(q + 8 + 8 * i);
            totalError[i] += lastError[i];
        }
    }
}

} // namespace quovo
