#include "TDisplayPlacement.h"

#include <cmath>

namespace quovo {

double DisplayAspect(float aspectRatio, AVRational sampleAspect, int width, int height,
                     int areaWidth, int areaHeight) {
    if (aspectRatio < 0 && areaWidth > 0 && areaHeight > 0) {
        return static_cast<double>(areaWidth) / areaHeight;
    }
    double a = aspectRatio;
    if (a <= 0) {
        double sar = sampleAspect.den ? av_q2d(sampleAspect) : 0.0;
        if (sar <= 0) {
            sar = 1.0;
        }
        a = height > 0 ? sar * width / height : 1.0;
    }
    return a;
}

int DisplayWidth(int width, AVRational sampleAspect) {
    if (sampleAspect.num <= 0 || sampleAspect.den <= 0) {
        return width;
    }
    return static_cast<int>(
        std::lround(static_cast<double>(width) * sampleAspect.num / sampleAspect.den));
}

TDisplayRect PlacePicture(double aspect, int areaWidth, int areaHeight) {
    TDisplayRect r;
    r.height = areaHeight & ~1; // even, as the width
    r.width = static_cast<int>(std::lround(r.height * aspect)) & ~1;
    if (r.width > areaWidth) {
        r.width = areaWidth;
        r.height = static_cast<int>(std::lround(r.width / aspect)) & ~1;
    }
    r.x = (areaWidth - r.width) / 2;
    r.y = (areaHeight - r.height) / 2;
    return r;
}

} // namespace quovo
