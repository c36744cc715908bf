// The crop dialog's arithmetic: the picture's place in the preview, the four margins between
// the tracker and the picture's edges, the rules that keep the tracker on the picture, the
// spin boxes' steps, and the margins in source pixels that OK stores.
#pragma once

#include <QPoint>
#include <QRect>

#include <optional>
#include <string>

namespace quovo {

struct TCropMargins {
    int Up = 0, Down = 0, Left = 0, Right = 0;
    bool operator==(const TCropMargins&) const = default;
};

enum class TCropSide { Up, Down, Left, Right };

class TCropModel {
public:
    // The picture area: the frame fitted into the preview (`fitted`, preview coordinates) inset
    // by one pixel on every side and moved by the preview's place in the tracker's parent.
    static QRect PictureArea(const QRect& fitted, QPoint previewOrigin);

    void SetArea(const QRect& area) { area_ = area; }
    const QRect& Area() const { return area_; }

    // The tracker's bounds for stored margins (the dialog's opening, Reset), remembering them.
    QRect PlaceTracker(const TCropMargins& margins);
    const TCropMargins& Margins() const { return margins_; }

    // A press on the tracker: where a drag that leaves the picture puts it back.
    void TrackerPressed(const QRect& bounds);
    // After each drag step: the bounds kept on the picture for the mouse at `mouse` (tracker
    // coordinates), and the margins they leave (never negative).
    QRect KeepOnPicture(const QRect& bounds, QPoint mouse);

    // A spin box changed to `value`: the tracker's new bounds, or nothing when the box has
    // reached its minimum size and the margin may not grow (the spin box goes back to
    // Margins()).
    std::optional<QRect> SpinChanged(TCropSide side, int value, const QRect& bounds);

    // The margins in source pixels, rounded to nearest (ties to even) and then down to even.
    TCropMargins SourceCrop(int videoWidth, int videoHeight) const;

private:
    QRect area_;
    TCropMargins margins_;
    int savedTop_ = 0;
    int savedLeft_ = 0;
};

// The fitting mode a crop leaves: "full", "lbox", "orig" and "cent" stay, anything else becomes
// "full".
std::string ZoomModeAfterCrop(const std::string& zoomMode);

} // namespace quovo
