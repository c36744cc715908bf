// Where a picture goes in an output area: its display aspect ratio and the centred rectangle,
// with even width and height.
#pragma once

extern "C" {
#include <libavutil/rational.h>
}

namespace quovo {

struct TDisplayRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const TDisplayRect&) const = default;
};

// The display aspect ratio of a `width` x `height` picture with pixels of shape `sampleAspect`
// shown with the player's `aspectRatio` setting: > 0 that ratio, 0 the picture's own shape, < 0
// the output area's shape (when the area is known, i.e. > 0).
double DisplayAspect(float aspectRatio, AVRational sampleAspect, int width, int height,
                     int areaWidth, int areaHeight);

// The width on screen of `width` pixels of shape `sampleAspect`; an unknown shape is square.
int DisplayWidth(int width, AVRational sampleAspect);

// The largest rectangle of aspect `aspect` centred in the area.
TDisplayRect PlacePicture(double aspect, int areaWidth, int areaHeight);

} // namespace quovo
