// The application picture of the hook, the previews and the player: 24 bits per pixel, bytes
// blue, green, red, rows top to bottom, each row padded to a multiple of 4 bytes. The Qt layers
// wrap the same bytes as a QImage (Format_BGR888 with Stride()) without copying. Whoever draws on
// the picture while another thread may read it holds its drawing-surface lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace quovo {

class TPicture {
public:
    TPicture() = default;
    TPicture(int width, int height) { SetSize(width, height); }

    // Reallocates for a new size (contents undefined then); keeps the bytes when unchanged.
    void SetSize(int width, int height) {
        if (width == width_ && height == height_) {
            return;
        }
        width_ = width > 0 ? width : 0;
        height_ = height > 0 ? height : 0;
        stride_ = StrideFor(width_);
        bits_.assign(static_cast<size_t>(stride_) * height_, 0);
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Bytes per row: 3 * width rounded up to a multiple of 4.
    int Stride() const { return stride_; }
    bool Empty() const { return bits_.empty(); }
    uint8_t* Bits() { return bits_.data(); }
    const uint8_t* Bits() const { return bits_.data(); }
    uint8_t* ScanLine(int row) { return bits_.data() + static_cast<size_t>(row) * stride_; }
    const uint8_t* ScanLine(int row) const {
        return bits_.data() + static_cast<size_t>(row) * stride_;
    }

    // The drawing surface's lock (re-entrant, as a handler may lock it again while drawing).
    void Lock() { canvas_.lock(); }
    void Unlock() { canvas_.unlock(); }
    std::recursive_mutex& CanvasLock() { return canvas_; }

    static int StrideFor(int width) { return (width * 3 + 3) & ~3; }

private:
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<uint8_t> bits_;
    std::recursive_mutex canvas_;
};

} // namespace quovo
