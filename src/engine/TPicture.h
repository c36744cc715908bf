// The application picture of the hook, the previews and the player: 24 bits per pixel, bytes
// blue, green, red, rows top to bottom, each row padded to a multiple of 4 bytes. The Qt layers
// wrap the same bytes as a QImage (Format_BGR888 with Stride()) without copying. Whoever draws on
// the picture while another thread may read it holds its drawing-surface lock.
//
// The content may be bound to a source that fills it on first access to the bytes: the engine
// converts a decoded frame for the hook only when a handler looks at the picture, and converts
// it back only when a handler asked for writable bytes (Modified()).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace quovo {

class TPicture;

// Fills a picture bound to it; called at most once per binding, on the thread that reads first.
class TPictureSource {
public:
    virtual void LoadPicture(TPicture& picture) = 0;

protected:
    ~TPictureSource() = default;
};

class TPicture {
public:
    TPicture() = default;
    TPicture(int width, int height) { SetSize(width, height); }
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // Reallocates for a new size (contents zero then); keeps the bytes when unchanged.
    void SetSize(int width, int height) {
        if (width == width_ && height == height_) {
            return;
        }
        width_ = width > 0 ? width : 0;
        height_ = height > 0 ? height : 0;
        stride_ = StrideFor(width_);
        const size_t size = static_cast<size_t>(stride_) * height_;
        // Aligned so that the scalers may write rows straight into it.
        bits_.reset(
            size ? static_cast<uint8_t*>(::operator new[](size, std::align_val_t{kAlignment}))
                 : nullptr);
        if (size) {
            std::memset(bits_.get(), 0, size);
        }
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Bytes per row: 3 * width rounded up to a multiple of 4.
    int Stride() const { return stride_; }
    bool Empty() const { return !bits_; }

    // Writable bytes: loads a pending content first and marks the picture modified.
    uint8_t* Bits() {
        Load();
        modified_ = true;
        return bits_.get();
    }
    const uint8_t* Bits() const {
        Load();
        return bits_.get();
    }
    uint8_t* ScanLine(int row) { return Bits() + static_cast<size_t>(row) * stride_; }
    const uint8_t* ScanLine(int row) const { return Bits() + static_cast<size_t>(row) * stride_; }

    // The bytes without loading or marking: for the source that fills them.
    uint8_t* RawBits() { return bits_.get(); }

    // Binds the content to `source` (filled on first access) and clears the modified mark.
    void Bind(TPictureSource* source) {
        source_ = source;
        modified_ = false;
    }
    // Drops a pending binding; the bytes stay as they are.
    void Unbind() { source_ = nullptr; }
    // Whether a bound content is still to be filled.
    bool Pending() const { return source_ != nullptr; }
    // Whether writable bytes were handed out since the last Bind.
    bool Modified() const { return modified_; }

    // The drawing surface's lock (re-entrant, as a handler may lock it again while drawing).
    void Lock() { canvas_.lock(); }
    void Unlock() { canvas_.unlock(); }
    std::recursive_mutex& CanvasLock() { return canvas_; }

    static int StrideFor(int width) { return (width * 3 + 3) & ~3; }
    static constexpr size_t kAlignment = 64;

private:
    struct AlignedDelete {
        void operator()(uint8_t* p) const { ::operator delete[](p, std::align_val_t{kAlignment}); }
    };

    void Load() const {
        if (TPictureSource* source = source_) {
            source_ = nullptr;
            source->LoadPicture(const_cast<TPicture&>(*this));
        }
    }

    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::unique_ptr<uint8_t[], AlignedDelete> bits_;
    mutable TPictureSource* source_ = nullptr;
    bool modified_ = false;
    std::recursive_mutex canvas_;
};

} // namespace quovo
