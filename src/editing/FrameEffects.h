// The frame effects: brightness/contrast/saturation, the exposure curve, the text watermark and
// the image watermark, applied in place to a decoded picture (24-bit BGR, see TPicture.h).
//
// The editing folder owns these routines, the watermark caches, the conversion's per-frame hook
// (TEffectsHook) and the trim, crop and effects dialogs. The pixel passes use no widgets: text
// and watermark images go through Qt Gui (QPainter on a QImage, Qt's image readers), so a
// QGuiApplication must exist before a text watermark is drawn. The routines keep no state;
// ApplyFrameEffects is the one procedure both callers run, the conversion's hook on the worker
// thread and the effects dialog's player hook on the player's picture thread.
#pragma once

#include "TPicture.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <cstdint>
#include <vector>

namespace quovo {

class TEffectsCache;

// Everything one frame's processing reads. The defaults change no picture.
struct TFrameEffects {
    int Brightness = 255; // 0..512
    int Contrast = 0;     // -100..100
    int Saturation = 255; // 0..512
    int Exposure = 0;     // -255..512

    QString Text; // empty: no text watermark
    QFont Font = QFont(QStringLiteral("MS Sans Serif"), 8);
    QColor TextColor = Qt::black;
    int TextLeft = 0, TextTop = 0; // pixels of the picture

    QString ImageFile; // BMP, PNG or JPEG; empty: no image watermark
    int ImageLeft = 0, ImageTop = 0;
    int ImageAlpha = 168;    // 0..255
    int ImageBlendStyle = 1; // 1 alpha blend, any other multiply

    bool ProcessText = false;  // effects also change the text
    bool ProcessImage = false; // effects also change the image

    bool HasColorAdjust() const { return Brightness != 255 || Contrast != 0 || Saturation != 255; }
    bool HasExposure() const { return Exposure != 0; }
    // Whether a frame would change at all.
    bool Any() const {
        return HasColorAdjust() || HasExposure() || !Text.isEmpty() || !ImageFile.isEmpty();
    }
};

// The combined brightness, contrast and saturation pass; nothing when all three are neutral.
void ApplyColorAdjust(TPicture& picture, int brightness, int contrast, int saturation);
// The exposure curve on every byte; nothing when exposure is 0.
void ApplyExposure(TPicture& picture, float exposure);

// A watermark picture as the blend reads it: bytes blue, green, red, alpha (255 without an
// alpha channel of its own), rows top to bottom without padding.
struct TWatermarkPixels {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Bgra;
};

// Blends `image` with its top-left corner at (left, top), cut at the picture's edges. Style 1:
// ((256 - a) * F + a * I) >> 8 with a = alpha (times the image's own alpha / 255); any other
// style: F * I div 255 (the image's own alpha fades it toward white).
void BlendImage(TPicture& picture, const TWatermarkPixels& image, int left, int top, int alpha,
                int style);

// The text in one line, top-left at (left, top), over a transparent background, cut at the
// edges. The point size becomes a character height of size * 96 / 72 pixels, so the text covers
// the same pixels in the preview and in the conversion.
void DrawWaterText(TPicture& picture, TEffectsCache& cache, const QString& text, const QFont& font,
                   const QColor& color, int left, int top);

// The crop outline of the effects preview: a two-pixel green (0, 128, 0) frame along the edges
// of what the margins keep.
void DrawCropOutline(TPicture& picture, int cropTop, int cropLeft, int cropBottom, int cropRight);

// One frame: the watermarks and the effects in the order the two Process flags choose (text,
// effects, image / image, effects, text / text, image, effects / effects, text, image); the
// colour and exposure passes run in one sweep. Throws std::runtime_error, before anything is
// changed, when the watermark image cannot be read.
void ApplyFrameEffects(TPicture& picture, const TFrameEffects& effects, TEffectsCache& cache);

// "MS Sans Serif", the face a new watermark starts with, is the desktop's default sans-serif
// face here; any other face is used as named.
QString WatermarkFontFace(const QString& face);

} // namespace quovo
