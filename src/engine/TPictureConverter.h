// Conversion between decoded pictures and the application picture (TPicture: packed BGR, rows
// padded to 4 bytes). One converter holds one application picture with its conversion buffer and
// the two cached scalers (to the picture and back); the engine keeps one for the hook and one for
// previews, the player one for its own hook. Not thread-safe: one thread converts at a time.
#pragma once

#include "AvPtr.h"
#include "TPicture.h"

#include <mutex>

namespace quovo {

// The process-wide lock of the preview pictures and of every task's preview flags.
std::mutex& PreviewLock();

// sws_getCachedContext, refusing (null, `previous` freed) a format the scaler does not take:
// the library aborts the process on a format it has no description of instead of failing.
SwsContext* CachedScaler(SwsContext* previous, int srcWidth, int srcHeight, AVPixelFormat srcFormat,
                         int dstWidth, int dstHeight, AVPixelFormat dstFormat, int flags);

class TPictureConverter : private TPictureSource {
public:
    TPictureConverter() = default;
    TPictureConverter(const TPictureConverter&) = delete;
    TPictureConverter& operator=(const TPictureConverter&) = delete;

    // Converts `frame` (its data and line sizes, read as `format` at `width` x `height`) into the
    // application picture. Returns false when no scaler can be made for the format.
    bool ToPicture(const AVFrame& frame, AVPixelFormat format, int width, int height);

    // As ToPicture, but the picture is filled only when its bytes are first asked for, until
    // Unbind; `frame` must stay unchanged until then. The scaler is made here, so a format that
    // cannot be converted is refused at once.
    bool Bind(const AVFrame& frame, AVPixelFormat format, int width, int height);
    // Ends a binding; a picture never looked at keeps its previous bytes.
    void Unbind();

    // Writes the application picture back into `frame`, which must be writable and of the size
    // and format last given to ToPicture or Bind. Returns false when no scaler can be made back.
    bool FromPicture(AVFrame& frame);

    TPicture& Picture() { return picture_; }
    // Whether the last picture goes through the scalers (false: rows copied as they are, the
    // frame already has the picture's layout).
    bool Converted() const { return converted_; }
    // Frees the buffer and the scalers; the picture keeps its size.
    void Reset();

private:
    void LoadPicture(TPicture& picture) override;
    bool EnsureBuffer(int width, int height);
    // Whether the scalers may use the picture's rows directly instead of the conversion buffer.
    bool DirectRows() const;

    TPicture picture_;
    AvBufferPtr buffer_; // packed BGR at the picture's size, rows aligned like the picture's
    size_t bufferSize_ = 0;
    uint8_t* rgbData_[4] = {};
    int rgbLinesize_[4] = {};
    SwsContextPtr toRgb_;
    SwsContextPtr fromRgb_;
    bool converted_ = false;
    const AVFrame* source_ = nullptr; // the frame of a pending binding
    AVPixelFormat format_ = AV_PIX_FMT_NONE;
    int width_ = 0;
    int height_ = 0;
};

} // namespace quovo
