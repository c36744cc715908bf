// The seven window looks of the "Skin" menu (setting skinIndex). Each look is a colour palette
// built around its signature colour, which also tints the odd rows of the source list.
#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

class QWidget;

namespace quovo {

constexpr int kSkinCount = 7;

QString SkinName(int index);
// The odd-row tint of the look; a neutral grey for an index outside 0..6.
QColor SkinRowTint(int index);
QPalette SkinPalette(int index);
// The light background of the format list and of the read-only format and folder fields.
QColor FieldBackground();
void UseFieldBackground(QWidget* field);
// Gives the application the look's palette (every window, dialogs included, follows).
void ApplySkin(int index);

} // namespace quovo
