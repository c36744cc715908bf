#include "FrameEffects.h"

#include "TWatermarkCache.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace quovo {

namespace {

int Clamp255(int v) {
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

// The lookup tables of one frame's colour and exposure passes, folded so that a pixel costs one
// gray lookup and three table lookups per channel: out = Final[Gray[B + G + R] + Sat[c] + off],
// where Final already holds the clamp, the brightness scale, the contrast curve and the
// exposure curve.
class TEffectTables {
public:
    TEffectTables(bool colour, int brightness, int contrast, int saturation, bool exposure,
                  float exposureValue) {
        std::array<uint8_t, 256> scale; // brightness then contrast: T of the colour pass
        if (colour) {
            BuildColour(brightness, contrast, saturation, scale);
        } else {
            for (int i = 0; i < 256; ++i) {
                scale[i] = static_cast<uint8_t>(i);
                sat_[i] = static_cast<uint16_t>(i);
            }
            for (int i = 0; i < 768; ++i) {
                gray_[i] = 0;
            }
        }
        std::array<uint8_t, 256> curve;
        BuildExposure(exposure ? exposureValue : 0.0f, curve);
        for (int n = -kOffset; n < kSpan - kOffset; ++n) {
            final_[n + kOffset] = curve[scale[Clamp255(n)]];
        }
    }

    // Every pixel of the picture, in one pass over its rows.
    void Sweep(TPicture& picture) const {
        const int width = picture.Width();
        const int height = picture.Height();
        const int stride = picture.Stride();
        uint8_t* bits = picture.Bits();
        const uint8_t* f = final_.data() + kOffset;
        for (int y = 0; y < height; ++y) {
            uint8_t* p = bits + static_cast<ptrdiff_t>(y) * stride;
            for (int x = 0; x < width; ++x, p += 3) {
                const int base = gray_[p[0] + p[1] + p[2]];
                p[0] = f[base + sat_[p[0]]];
                p[1] = f[base + sat_[p[1]]];
                p[2] = f[base + sat_[p[2]]];
            }
        }
    }

private:
    // Gray + saturation reaches from -257 (saturation 512 on a black pixel) to 767.
    static constexpr int kOffset = 512;
    static constexpr int kSpan = 1536;

    void BuildColour(int brightness, int contrast, int saturation,
                     std::array<uint8_t, 256>& scale) {
        if (contrast == 100) {
            contrast = 99; // the curve's factor is infinite at 100
        }
        const double factor = contrast > 0 ? 1.0 / std::cos(contrast * std::numbers::pi / 200)
                                           : std::cos(contrast * 0.015708);
        std::array<uint8_t, 256> curve;
        for (int i = 0; i < 256; ++i) {
            // nearbyint rounds half to even in the default rounding mode.
            curve[i] = static_cast<uint8_t>(
                Clamp255(static_cast<int>(std::nearbyint((i - 170) * factor + 170))));
        }
        for (int j = 0; j < 256; ++j) {
            scale[j] = curve[Clamp255(((256 - brightness) + j * brightness) / 256)];
        }
        for (int i = 0; i < 256; ++i) {
            sat_[i] = static_cast<uint16_t>(((i + 1) * saturation) >> 8);
            gray_[3 * i] = gray_[3 * i + 1] = gray_[3 * i + 2] = static_cast<int16_t>(i - sat_[i]);
        }
    }

    static void BuildExposure(float x, std::array<uint8_t, 256>& curve) {
        for (int i = 0; i < 256; ++i) {
            if (x == 0) {
                curve[i] = static_cast<uint8_t>(i);
                continue;
            }
            const auto e = static_cast<int64_t>(
                std::nearbyint((1 - std::exp((i / -128.0) * (x / 128.0))) * 256));
            const auto weight = static_cast<uint64_t>(255 - i);
            const int64_t v =
                x >= 0 ? i + static_cast<int64_t>((static_cast<uint64_t>(e) * weight) >> 8)
                       : i - static_cast<int64_t>((static_cast<uint64_t>(-e) * weight) >> 8);
            curve[i] = static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
        }
    }

    std::array<uint16_t, 256> sat_;
    std::array<int16_t, 768> gray_;
    std::array<uint8_t, kSpan> final_;
};

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
    TEffectTables(true, brightness, contrast, saturation, false, 0).Sweep(picture);
}

void ApplyExposure(TPicture& picture, float exposure) {
    if (exposure == 0) {
        return;
    }
    TEffectTables(false, 255, 0, 255, true, exposure).Sweep(picture);
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

void DrawWaterText(TPicture& picture, TWatermarkCache& cache, const QString& text,
                   const QFont& font, const QColor& color, int left, int top) {
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

void ApplyFrameEffects(TPicture& picture, const TFrameEffects& e, TWatermarkCache& cache) {
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
    const auto effects = [&] {
        if (colour || exposure) {
            TEffectTables(colour, e.Brightness, e.Contrast, e.Saturation, exposure,
                          static_cast<float>(e.Exposure))
                .Sweep(picture);
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
    if (QGuiApplication::instance() != nullptr) {
        const QString general = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        if (!general.isEmpty()) {
            return general;
        }
    }
    return QStringLiteral("Sans Serif");
}

} // namespace quovo
