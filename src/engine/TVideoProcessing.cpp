#include "TVideoProcessing.h"

#include "FFmpegException.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace quovo {

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

} // namespace quovo
