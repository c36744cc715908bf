#include "FrameEffects.h"

#include "TEffectTables.h"
#include "TEffectsCache.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>

namespace quovo {

namespace {

// The part of a w x h overlay placed at (left, top) that lies on the picture: its first and
// last-plus-one rows and columns in overlay coordinates. Empty when nothing is visible.
struct TVisible {
    int row0 = 0, rows = 0, col0 = 0, cols = 0;
    bool Empty() const { return rows <= 0 || cols <= 0; }
};

TVisible Visible(const TPicture& picture, int w, int h, int left, int top) {
    TVisible v;
    // Cut at the right and bottom edges as the blend's row and column counts do; positions
    // before the top or left edge lose the part outside as well.
    v.row0 = top < 0 ? -top : 0;
    v.col0 = left < 0 ? -left : 0;
    v.rows = (h + top < picture.Height() ? h : picture.Height() - top);
    v.cols = (w + left < picture.Width() ? w : picture.Width() - left);
    return v;
}

// Composes a premultiplied ARGB layer over the picture at (left, top).
void BlendLayer(TPicture& picture, const QImage& layer, int left, int top) {
    const TVisible v = Visible(picture, layer.width(), layer.height(), left, top);
    if (v.Empty()) {
        return;
    }
    for (int r = v.row0; r < v.rows; ++r) {
        const auto* src = reinterpret_cast<const QRgb*>(layer.constScanLine(r));
        uint8_t* dst = picture.ScanLine(top + r) + 3 * static_cast<ptrdiff_t>(left);
        for (int c = v.col0; c < v.cols; ++c) {
            const QRgb s = src[c];
            const int a = qAlpha(s);
            if (a == 0) {
                continue;
            }
            uint8_t* d = dst + 3 * c;
            const int keep = 255 - a;
            d[0] = static_cast<uint8_t>(qBlue(s) + (d[0] * keep + 127) / 255);
            d[1] = static_cast<uint8_t>(qGreen(s) + (d[1] * keep + 127) / 255);
            d[2] = static_cast<uint8_t>(qRed(s) + (d[2] * keep + 127) / 255);
        }
    }
}

void FillBox(TPicture& picture, int x0, int y0, int x1, int y1, const uint8_t bgr[3]) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, picture.Width() - 1);
    y1 = std::min(y1, picture.Height() - 1);
    for (int y = y0; y <= y1; ++y) {
        uint8_t* p = picture.ScanLine(y);
        for (int x = x0; x <= x1; ++x) {
            std::copy(bgr, bgr + 3, p + 3 * x);
        }
    }
}

} // namespace

void ApplyColorAdjust(TPicture& picture, int brightness, int contrast, int saturation) {
    if (brightness == 255 && contrast == 0 && saturation == 255) {
        return;
    }
    TEffectTables({true, brightness, contrast, saturation, false, 0}).Sweep(picture);
}

void ApplyExposure(TPicture& picture, float exposure) {
    if (exposure == 0) {
        return;
    }
    TEffectTables({false, 255, 0, 255, true, exposure}).Sweep(picture);
}

void BlendImage(TPicture& picture, const TWatermarkPixels& image, int left, int top, int alpha,
                int style) {
    const TVisible v = Visible(picture, image.Width, image.Height, left, top);
    if (v.Empty()) {
        return;
    }
    for (int r = v.row0; r < v.rows; ++r) {
        const uint8_t* in = image.Bgra.data() + static_cast<size_t>(r) * image.Width * 4;
        uint8_t* out = picture.ScanLine(top + r) + 3 * static_cast<ptrdiff_t>(left);
        for (int c = v.col0; c < v.cols; ++c) {
            const uint8_t* i = in + 4 * c;
            uint8_t* f = out + 3 * c;
            const int own = i[3];
            if (style == 1) {
                const int a = own == 255 ? alpha : alpha * own / 255;
                for (int k = 0; k < 3; ++k) {
                    f[k] = static_cast<uint8_t>(((256 - a) * f[k] + a * i[k]) >> 8);
                }
            } else {
                for (int k = 0; k < 3; ++k) {
                    const int mul = own == 255 ? i[k] : 255 - (255 - i[k]) * own / 255;
                    f[k] = static_cast<uint8_t>(f[k] * mul / 255);
                }
            }
        }
    }
}

void DrawWaterText(TPicture& picture, TEffectsCache& cache, const QString& text, const QFont& font,
                   const QColor& color, int left, int top) {
    if (text.isEmpty()) {
        return;
    }
    BlendLayer(picture, cache.TextLayer(text, font, color), left, top);
}

void DrawCropOutline(TPicture& picture, int cropTop, int cropLeft, int cropBottom, int cropRight) {
    const int x0 = cropLeft;
    const int y0 = cropTop;
    const int x1 = picture.Width() - cropRight - 1;
    const int y1 = picture.Height() - cropBottom - 1;
    if (x1 < x0 || y1 < y0) {
        return;
    }
    static const uint8_t kGreen[3] = {0, 128, 0};
    FillBox(picture, x0, y0, x1, y0 + 1, kGreen);
    FillBox(picture, x0, y1 - 1, x1, y1, kGreen);
    FillBox(picture, x0, y0, x0 + 1, y1, kGreen);
    FillBox(picture, x1 - 1, y0, x1, y1, kGreen);
}

void ApplyFrameEffects(TPicture& picture, const TFrameEffects& e, TEffectsCache& cache) {
    if (picture.Width() <= 0 || picture.Height() <= 0) {
        return;
    }
    // Everything that can fail comes first, so a failing frame stays as it was.
    const TWatermarkPixels* image = e.ImageFile.isEmpty() ? nullptr : &cache.Image(e.ImageFile);
    if (!e.Text.isEmpty()) {
        cache.TextLayer(e.Text, e.Font, e.TextColor);
    }
    const bool colour = e.HasColorAdjust();
    const bool exposure = e.HasExposure();

    const auto text = [&] {
        DrawWaterText(picture, cache, e.Text, e.Font, e.TextColor, e.TextLeft, e.TextTop);
    };
    const auto blend = [&] {
        if (image != nullptr) {
            BlendImage(picture, *image, e.ImageLeft, e.ImageTop, e.ImageAlpha, e.ImageBlendStyle);
        }
    };
    const TEffectTables* tables =
        colour || exposure ? &cache.Tables({colour, e.Brightness, e.Contrast, e.Saturation,
                                            exposure, static_cast<float>(e.Exposure)})
                           : nullptr;
    const auto effects = [&] {
        if (tables != nullptr) {
            tables->Sweep(picture);
        }
    };
    if (e.ProcessText && !e.ProcessImage) {
        text();
        effects();
        blend();
    } else if (!e.ProcessText && e.ProcessImage) {
        blend();
        effects();
        text();
    } else if (e.ProcessText && e.ProcessImage) {
        text();
        blend();
        effects();
    } else {
        effects();
        text();
        blend();
    }
}

QString WatermarkFontFace(const QString& face) {
    if (face.compare(QStringLiteral("MS Sans Serif"), Qt::CaseInsensitive) != 0) {
        return face;
    }
    // Looked up once (the windows ask first, on the user-interface thread): the hooks on the
    // worker threads then only read it.
    static const QString desktop = [] {
        if (QGuiApplication::instance() != nullptr) {
            const QString general = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
            if (!general.isEmpty()) {
                return general;
            }
        }
        return QStringLiteral("Sans Serif");
    }();
    return desktop;
}

} // namespace quovo
