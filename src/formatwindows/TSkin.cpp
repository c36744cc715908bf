#include "TSkin.h"

#include <QApplication>
#include <QStyleFactory>
#include <QWidget>

#include <array>

namespace quovo {

namespace {

struct TLook {
    const char* Name;
    QColor Tint;
};

const std::array<TLook, kSkinCount> kLooks = {{
    {"&Blue", QColor(226, 230, 246)},
    {"&Silver", QColor(236, 236, 236)},
    {"S&and", QColor(248, 242, 224)},
    {"&Orchid", QColor(246, 230, 241)},
    {"&Rose", QColor(247, 225, 225)},
    {"&Mint", QColor(226, 247, 225)},
    {"S&ky", QColor(225, 240, 247)},
}};

// The tint is pale; window and button faces take a deeper shade of the same hue so the look
// shows, and text stays black on all of them.
QColor Shade(const QColor& tint, int factor) {
    return tint.darker(factor);
}

} // namespace

QString SkinName(int index) {
    return index >= 0 && index < kSkinCount ? QString::fromLatin1(kLooks[index].Name) : QString();
}

QColor SkinRowTint(int index) {
    return index >= 0 && index < kSkinCount ? kLooks[index].Tint : QColor(235, 235, 235);
}

QPalette SkinPalette(int index) {
    const QColor tint = SkinRowTint(index);
    QPalette p;
    p.setColor(QPalette::Window, Shade(tint, 104));
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::AlternateBase, tint);
    p.setColor(QPalette::Button, Shade(tint, 110));
    p.setColor(QPalette::ButtonText, Qt::black);
    p.setColor(QPalette::Text, Qt::black);
    p.setColor(QPalette::ToolTipBase, tint);
    p.setColor(QPalette::ToolTipText, Qt::black);
    p.setColor(QPalette::Highlight, QColor(122, 160, 218));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 128));
    return p;
}

QColor FieldBackground() {
    return QColor(246, 247, 248);
}

void UseFieldBackground(QWidget* field) {
    QPalette p = field->palette();
    p.setColor(QPalette::Base, FieldBackground());
    field->setPalette(p);
}

void ApplySkin(int index) {
    // One style everywhere, so a look is the same colours on every desktop.
    if (QStyle* fusion = QStyleFactory::create("Fusion")) {
        QApplication::setStyle(fusion);
    }
    QApplication::setPalette(SkinPalette(index));
}

} // namespace quovo
