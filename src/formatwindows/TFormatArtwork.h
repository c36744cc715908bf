// The pictures of the format list: one 20 x 20 icon per category and the expand/collapse glyphs.
// Drawn by the program itself, so nothing has to be found on disk.
#pragma once

#include <QPixmap>

namespace quovo {

constexpr int kFormatIconSize = 20;

const QPixmap& CategoryIcon(int category);
// Glyph 0 while collapsed, glyph 1 while expanded.
const QPixmap& ToggleGlyph(bool expanded);

} // namespace quovo
