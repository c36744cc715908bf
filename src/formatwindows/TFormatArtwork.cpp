#include "TFormatArtwork.h"

#include "FormatCatalogue.h"

#include <QPainter>
#include <QPainterPath>

#include <array>

namespace quovo {

namespace {

QPixmap PaintCategoryIcon(int category) {
    QPixmap pixmap(kFormatIconSize, kFormatIconSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // Hues spread round the circle so neighbouring categories differ.
    const QColor face = QColor::fromHsv((category * 137) % 360, 150, 205);
    QPainterPath body;
    body.addRoundedRect(QRectF(2.5, 1.5, 15, 17), 3, 3);
    p.fillPath(body, face);
    p.setPen(QPen(face.darker(150), 1));
    p.drawPath(body);
    // A screen and a home button: every category is a device or a kind of file.
    p.fillRect(QRectF(5, 4, 10, 9), QColor(250, 250, 250));
    p.setBrush(QColor(250, 250, 250));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(10, 15.5), 1.5, 1.5);
    QFont font;
    font.setPixelSize(8);
    font.setBold(true);
    p.setFont(font);
    p.setPen(face.darker(170));
    const QString initial = QString::fromStdString(CategoryName(category)).left(1);
    p.drawText(QRectF(5, 4, 10, 9), Qt::AlignCenter, initial);
    return pixmap;
}

QPixmap PaintToggleGlyph(bool expanded) {
    QPixmap pixmap(11, 11);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(120, 120, 120));
    p.setBrush(Qt::white);
    p.drawRect(0, 0, 10, 10);
    p.setPen(Qt::black);
    p.drawLine(2, 5, 8, 5);
    if (!expanded) {
        p.drawLine(5, 2, 5, 8);
    }
    return pixmap;
}

} // namespace

const QPixmap& CategoryIcon(int category) {
    // Kept until the process ends: pixmaps must not be destroyed after the application object.
    static auto* icons = new std::array<QPixmap, kCategoryCount + 1>();
    const int index = category >= 0 && category < kCategoryCount ? category : kCategoryCount;
    if ((*icons)[index].isNull() && index < kCategoryCount) {
        (*icons)[index] = PaintCategoryIcon(index);
    }
    return (*icons)[index];
}

const QPixmap& ToggleGlyph(bool expanded) {
    static auto* glyphs =
        new std::array<QPixmap, 2>{PaintToggleGlyph(false), PaintToggleGlyph(true)};
    return (*glyphs)[expanded ? 1 : 0];
}

} // namespace quovo
