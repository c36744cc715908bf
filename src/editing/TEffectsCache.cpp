#include "TEffectsCache.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace quovo {

namespace {

// The font as the watermark draws it: the desktop's face for "MS Sans Serif", the point size as
// a character height at 96 dots per inch.
QFont DrawingFont(const QFont& font) {
    QFont f(font);
    f.setFamily(WatermarkFontFace(font.family()));
    if (font.pointSizeF() > 0) {
        f.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pointSizeF() * 96 / 72))));
    }
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

} // namespace

const TWatermarkPixels& TEffectsCache::Image(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile()) {
        imagePath_.clear();
        throw std::runtime_error("The watermark image " + path.toStdString() + " does not exist");
    }
    if (path == imagePath_ && info.size() == imageSize_ && info.lastModified() == imageTime_) {
        return image_;
    }
    imagePath_.clear();
    QImageReader reader(path);
    QImage read = reader.read();
    if (read.isNull()) {
        throw std::runtime_error("Cannot read the watermark image " + path.toStdString() + ": " +
                                 reader.errorString().toStdString());
    }
    // Non-premultiplied, so an opaque picture keeps its exact bytes.
    const QImage argb = read.convertToFormat(QImage::Format_ARGB32);
    image_.Width = argb.width();
    image_.Height = argb.height();
    image_.Bgra.resize(static_cast<size_t>(image_.Width) * image_.Height * 4);
    for (int y = 0; y < image_.Height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uint8_t* out = image_.Bgra.data() + static_cast<size_t>(y) * image_.Width * 4;
        for (int x = 0; x < image_.Width; ++x) {
            out[4 * x] = static_cast<uint8_t>(qBlue(line[x]));
            out[4 * x + 1] = static_cast<uint8_t>(qGreen(line[x]));
            out[4 * x + 2] = static_cast<uint8_t>(qRed(line[x]));
            out[4 * x + 3] = static_cast<uint8_t>(qAlpha(line[x]));
        }
    }
    imagePath_ = path;
    imageSize_ = info.size();
    imageTime_ = info.lastModified();
    return image_;
}

const QImage& TEffectsCache::TextLayer(const QString& text, const QFont& font,
                                       const QColor& color) {
    if (!textLayer_.isNull() && text == text_ && font == font_ && color == color_) {
        return textLayer_;
    }
    if (QGuiApplication::instance() == nullptr) {
        throw std::runtime_error("Text watermarks need the application's fonts");
    }
    const QFont drawing = DrawingFont(font);
    const QFontMetrics metrics(drawing);
    const QRect bounds = metrics.boundingRect(text);
    // Wide enough for the advance and for what an italic face leans past it.
    const int width = std::max(metrics.horizontalAdvance(text), bounds.right() + 1) + 1;
    const int height = std::max(metrics.height(), bounds.bottom() + metrics.ascent() + 1);
    QImage layer(std::max(width, 1), std::max(height, 1), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter painter(&layer);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(drawing);
        painter.setPen(color);
        painter.drawText(0, metrics.ascent(), text);
    }
    text_ = text;
    font_ = font;
    color_ = color;
    textLayer_ = std::move(layer);
    return textLayer_;
}

const TEffectTables& TEffectsCache::Tables(const TEffectValues& values) {
    if (!tables_ || !(tables_->Values() == values)) {
        tables_.emplace(values);
    }
    return *tables_;
}

void TEffectsCache::ForgetImage() {
    imagePath_.clear();
    image_ = {};
}

} // namespace quovo
