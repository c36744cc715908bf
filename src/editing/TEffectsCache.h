// What the frame effects keep from frame to frame of one caller: the decoded watermark image,
// the rendered text and the lookup tables. The image is read again when its file changes (size
// or time), so an edited or vanished file shows on the next frame as if it were read every
// time; the text is rendered again when the text, font or colour changes, the tables when the
// values change. One cache per thread that draws.
#pragma once

#include "FrameEffects.h"
#include "TEffectTables.h"

#include <QDateTime>
#include <QImage>

#include <cstdint>
#include <optional>

namespace quovo {

class TEffectsCache {
public:
    // The image of `path` converted for the blend. Throws std::runtime_error naming the file
    // when it cannot be read as a picture.
    const TWatermarkPixels& Image(const QString& path);

    // The text drawn in `color` on a transparent, premultiplied layer; the layer's (0, 0) is the
    // text's top-left corner.
    const QImage& TextLayer(const QString& text, const QFont& font, const QColor& color);

    // The tables of `values`, built when they differ from the last ones.
    const TEffectTables& Tables(const TEffectValues& values);

    // Forgets the image (the effects dialog's "Clear Image").
    void ForgetImage();

private:
    QString imagePath_;
    qint64 imageSize_ = -1;
    QDateTime imageTime_;
    TWatermarkPixels image_;

    QString text_;
    QFont font_;
    QColor color_;
    QImage textLayer_;

    std::optional<TEffectTables> tables_;
};

} // namespace quovo
