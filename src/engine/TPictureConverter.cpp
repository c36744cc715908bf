#include "TPictureConverter.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <cstring>

namespace quovo {

namespace {

constexpr AVPixelFormat kPictureFormat = AV_PIX_FMT_BGR24;

void CopyRows(uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int rowBytes,
              int rows) {
    for (int y = 0; y < rows; ++y) {
        std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstStride,
                    src + static_cast<ptrdiff_t>(y) * srcStride, rowBytes);
    }
}

} // namespace

void TPictureConverter::Reset() {
    buffer_.reset();
    bufferSize_ = 0;
    std::fill(std::begin(rgbData_), std::end(rgbData_), nullptr);
    std::fill(std::begin(rgbLinesize_), std::end(rgbLinesize_), 0);
    toRgb_.reset();
    fromRgb_.reset();
    converted_ = false;
    format_ = AV_PIX_FMT_NONE;
    width_ = height_ = 0;
}

bool TPictureConverter::EnsureBuffer(int width, int height) {
    // Rows aligned to 4 bytes, as the picture's, so that a row copies as one block.
    const int size = av_image_get_buffer_size(kPictureFormat, width, height, 4);
    if (size < 0) {
        return false;
    }
    if (static_cast<size_t>(size) > bufferSize_) {
        buffer_.reset(static_cast<uint8_t*>(av_malloc(size)));
        if (!buffer_) {
            bufferSize_ = 0;
            return false;
        }
        bufferSize_ = static_cast<size_t>(size);
    }
    return av_image_fill_arrays(rgbData_, rgbLinesize_, buffer_.get(), kPictureFormat, width,
                                height, 4) >= 0;
}

bool TPictureConverter::ToPicture(const AVFrame& frame, AVPixelFormat format, int width,
                                  int height) {
    picture_.SetSize(width, height);
    format_ = format;
    width_ = width;
    height_ = height;
    converted_ = format != kPictureFormat || (width & 1) || (height & 1) ||
                 picture_.Stride() != frame.linesize[0];
    if (!converted_) {
        CopyRows(picture_.Bits(), picture_.Stride(), frame.data[0], frame.linesize[0],
                 picture_.Stride(), height);
        return true;
    }
    if (!EnsureBuffer(width, height)) {
        return false;
    }
    toRgb_.reset(sws_getCachedContext(toRgb_.release(), width, height, format, width, height,
                                      kPictureFormat, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!toRgb_) {
        return false;
    }
    sws_scale(toRgb_.get(), frame.data, frame.linesize, 0, height, rgbData_, rgbLinesize_);
    CopyRows(picture_.Bits(), picture_.Stride(), rgbData_[0], rgbLinesize_[0],
             std::min(picture_.Stride(), rgbLinesize_[0]), height);
    return true;
}

bool TPictureConverter::FromPicture(AVFrame& frame) {
    if (!converted_) {
        CopyRows(frame.data[0], frame.linesize[0], picture_.Bits(), picture_.Stride(),
                 picture_.Stride(), height_);
        return true;
    }
    CopyRows(rgbData_[0], rgbLinesize_[0], picture_.Bits(), picture_.Stride(),
             std::min(picture_.Stride(), rgbLinesize_[0]), height_);
    // Also for a packed BGR frame whose rows could not be copied as they were (odd size, other
    // row padding): the edits are in the buffer and must reach the frame.
    fromRgb_.reset(sws_getCachedContext(fromRgb_.release(), width_, height_, kPictureFormat, width_,
                                        height_, format_, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!fromRgb_) {
        return false;
    }
    sws_scale(fromRgb_.get(), rgbData_, rgbLinesize_, 0, height_, frame.data, frame.linesize);
    return true;
}

} // namespace quovo
