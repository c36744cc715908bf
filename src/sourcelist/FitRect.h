// Fitting a picture into an area: the largest rectangle of the picture's aspect, centred.
#pragma once

#include <QRect>

namespace quovo {

// The rectangle of a w × h picture fitted into (0, 0, dw, dh): full width with equal bands cut
// from top and bottom, or full height with bands cut left and right; bands rounded to nearest,
// ties to even.
QRect FitRect(int w, int h, int dw, int dh);

} // namespace quovo
