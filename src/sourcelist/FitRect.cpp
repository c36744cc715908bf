#include "FitRect.h"

#include <cmath>

namespace quovo {

QRect FitRect(int w, int h, int dw, int dh) {
    if (w <= 0 || h <= 0 || dw <= 0 || dh <= 0) {
        return QRect(0, 0, dw > 0 ? dw : 0, dh > 0 ? dh : 0);
    }
    const double a = static_cast<double>(w) / dw;
    const double b = static_cast<double>(h) / dh;
    // Corners (left, top) and (right, bottom) as the area's coordinates: right = dw - c.
    if (a >= b) {
        const int c = static_cast<int>(std::nearbyint((dh - h / a) / 2));
        return QRect(QPoint(0, c), QPoint(dw - 1, dh - c - 1));
    }
    const int c = static_cast<int>(std::nearbyint((dw - w / b) / 2));
    return QRect(QPoint(c, 0), QPoint(dw - c - 1, dh - 1));
}

} // namespace quovo
