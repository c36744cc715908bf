#include "TPictureConverter.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <cstring>
#include <utility>

namespace quovo {

std::mutex& PreviewLock() {
    static std::mutex lock;
    return lock;
}

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

SwsContext* CachedScaler(SwsContext* previous, int srcWidth, int srcHeight, AVPixelFormat srcFormat,
                         int dstWidth, int dstHeight, AVPixelFormat dstFormat, int flags) {
    if (!sws_isSupportedInput(srcFormat) || !sws_isSupportedOutput(dstFormat)) {
        sws_freeContext(previous);
        return nullptr;
    }
    return sws_getCachedContext(previous, srcWidth, srcHeight, srcFormat, dstWidth, dstHeight,
                                dstFormat, flags, nullptr, nullptr, nullptr);
}

void TPictureConverter::Reset() {
    Unbind();
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

bool TPictureConverter::DirectRows() const {
    // A width of 16 pixels' multiple has rows of exactly 3 * width bytes, 16-byte aligned, which
    // the scalers' vector code reads and writes without spilling past a row.
    return width_ % 16 == 0;
}

bool TPictureConverter::Bind(const AVFrame& frame, AVPixelFormat format, int width, int height) {
    Unbind();
    picture_.SetSize(width, height);
    format_ = format;
    width_ = width;
    height_ = height;
    converted_ = format != kPictureFormat || (width & 1) || (height & 1) ||
                 picture_.Stride() != frame.linesize[0];
    if (converted_) {
        if (!DirectRows() && !EnsureBuffer(width, height)) {
            return false;
        }
        toRgb_.reset(CachedScaler(toRgb_.release(), width, height, format, width, height,
                                  kPictureFormat, SWS_BICUBIC));
        if (!toRgb_) {
            return false;
        }
    }
    source_ = &frame;
    picture_.Bind(this);
    return true;
}

void TPictureConverter::Unbind() {
    picture_.Unbind();
    source_ = nullptr;
}

bool TPictureConverter::ToPicture(const AVFrame& frame, AVPixelFormat format, int width,
                                  int height) {
    if (!Bind(frame, format, width, height)) {
        return false;
    }
    std::as_const(picture_).Bits();
    Unbind();
    return true;
}

void TPictureConverter::LoadPicture(TPicture& picture) {
    const AVFrame* frame = std::exchange(source_, nullptr);
    if (!frame) {
        return;
    }
    uint8_t* bits = picture.RawBits();
    const int stride = picture.Stride();
    if (!converted_) {
        CopyRows(bits, stride, frame->data[0], frame->linesize[0], stride, height_);
        return;
    }
    if (DirectRows()) {
        uint8_t* const data[4] = {bits};
        const int linesize[4] = {stride};
        sws_scale(toRgb_.get(), frame->data, frame->linesize, 0, height_, data, linesize);
        return;
    }
    sws_scale(toRgb_.get(), frame->data, frame->linesize, 0, height_, rgbData_, rgbLinesize_);
    CopyRows(bits, stride, rgbData_[0], rgbLinesize_[0], std::min(stride, rgbLinesize_[0]),
             height_);
}

bool TPictureConverter::FromPicture(AVFrame& frame) {
    const uint8_t* bits = std::as_const(picture_).Bits(); // fills a picture never looked at
    const int stride = picture_.Stride();
    if (!converted_) {
        CopyRows(frame.data[0], frame.linesize[0], bits, stride, stride, height_);
        return true;
    }
    // Also for a packed BGR frame whose rows could not be copied as they were (odd size, other
    // row padding): the edits are in the picture and must reach the frame.
    fromRgb_.reset(CachedScaler(fromRgb_.release(), width_, height_, kPictureFormat, width_,
                                height_, format_, SWS_BICUBIC));
    if (!fromRgb_) {
        return false;
    }
    if (DirectRows()) {
        const uint8_t* const data[4] = {bits};
        const int linesize[4] = {stride};
        sws_scale(fromRgb_.get(), data, linesize, 0, height_, frame.data, frame.linesize);
        return true;
    }
    if (!EnsureBuffer(width_, height_)) {
        return false;
    }
    CopyRows(rgbData_[0], rgbLinesize_[0], bits, stride, std::min(stride, rgbLinesize_[0]),
             height_);
    sws_scale(fromRgb_.get(), rgbData_, rgbLinesize_, 0, height_, frame.data, frame.linesize);
    return true;
}

} // namespace quovo
