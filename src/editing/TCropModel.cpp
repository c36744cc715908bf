#include "TCropModel.h"

#include "TRectTracker.h"

#include <algorithm>
#include <cmath>

namespace quovo {

QRect TCropModel::PictureArea(const QRect& fitted, QPoint previewOrigin) {
    return fitted.adjusted(1, 1, -1, -1).translated(previewOrigin);
}

QRect TCropModel::PlaceTracker(const TCropMargins& margins) {
    margins_ = margins;
    savedTop_ = area_.top() + margins.Up;
    savedLeft_ = area_.left() + margins.Left;
    return QRect(area_.left() + margins.Left, area_.top() + margins.Up,
                 area_.width() - margins.Right - margins.Left,
                 area_.height() - margins.Down - margins.Up);
}

void TCropModel::TrackerPressed(const QRect& bounds) {
    savedTop_ = bounds.top();
    savedLeft_ = bounds.left();
}

QRect TCropModel::KeepOnPicture(const QRect& bounds, QPoint mouse) {
    const int pl = area_.left(), pt = area_.top(), pw = area_.width(), ph = area_.height();
    int l = bounds.left(), t = bounds.top(), w = bounds.width(), h = bounds.height();
    // The inner rectangle's edges (right and bottom exclusive), from the bounds as they are
    // at each step.
    const auto innerLeft = [&] { return l + 2; };
    const auto innerTop = [&] { return t + 2; };
    const auto innerRight = [&] { return l + w - 2; };
    const auto innerBottom = [&] { return t + h - 2; };

    if (innerLeft() < pl + 3) {
        l = pl + margins_.Left;
    }
    if (innerTop() < pt + 3) {
        t = pt;
    }
    if (innerRight() - pl > pw && mouse.x() >= pw - (l - pl)) {
        w = pw - (l - pl) - margins_.Right;
    }
    if (w > pw) {
        w = pw - (l - pl);
    }
    if (innerBottom() - pt > ph && mouse.y() >= ph - (t - pt)) {
        h = ph - (t - pt);
    }
    if (h > ph) {
        h = ph - (t - pt);
    }
    if (innerRight() - pl > pw && innerBottom() - pt > ph) {
        t = savedTop_;
        l = savedLeft_;
        w = pw - (l - pl);
        h = ph - (t - pt);
    }
    if (innerRight() - pl > pw) {
        l = savedLeft_;
        w = pw - (l - pl);
    }
    if (innerBottom() - pt > ph) {
        t = savedTop_;
        h = ph - (t - pt);
    }
    margins_.Up = std::max(0, t - pt);
    margins_.Down = std::max(0, ph - h - (t - pt));
    margins_.Left = std::max(0, l - pl);
    margins_.Right = std::max(0, pw - w - (l - pl));
    return QRect(l, t, w, h);
}

std::optional<QRect> TCropModel::SpinChanged(TCropSide side, int value, const QRect& bounds) {
    const bool vertical = side == TCropSide::Up || side == TCropSide::Down;
    int& margin = side == TCropSide::Up     ? margins_.Up
                  : side == TCropSide::Down ? margins_.Down
                  : side == TCropSide::Left ? margins_.Left
                                            : margins_.Right;
    const int size = vertical ? bounds.height() : bounds.width();
    if (size <= TCustomRectTracker::kMinimum && value >= margin) {
        return std::nullopt; // the box cannot shrink further
    }
    margin = std::max(0, value);
    QRect r = bounds;
    if (vertical) {
        r.setRect(bounds.left(), area_.top() + margins_.Up, bounds.width(),
                  area_.height() - margins_.Down - margins_.Up);
        savedTop_ = area_.top() + margins_.Up;
    } else {
        r.setRect(area_.left() + margins_.Left, bounds.top(),
                  area_.width() - margins_.Right - margins_.Left, bounds.height());
        savedLeft_ = area_.left() + margins_.Left;
    }
    return r;
}

TCropMargins TCropModel::SourceCrop(int videoWidth, int videoHeight) const {
    const auto toSource = [](int margin, int video, int area) {
        if (area <= 0) {
            return 0;
        }
        const auto rounded =
            static_cast<int>(std::nearbyint(static_cast<double>(margin) * video / area));
        return 2 * (rounded / 2);
    };
    return {toSource(margins_.Up, videoHeight, area_.height()),
            toSource(margins_.Down, videoHeight, area_.height()),
            toSource(margins_.Left, videoWidth, area_.width()),
            toSource(margins_.Right, videoWidth, area_.width())};
}

std::string ZoomModeAfterCrop(const std::string& zoomMode) {
    for (const char* kept : {"full", "lbox", "orig", "cent"}) {
        if (zoomMode == kept) {
            return zoomMode;
        }
    }
    return "full";
}

} // namespace quovo
