// The area a player draws its pictures into. The player knows only this interface; the Qt video
// widget implements it, and the owner places the widget in its panel. Present and the size are
// called from the player's play thread, so an implementation hands the picture over to its own
// thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace quovo {

// A picture placed in an output area: the area is black outside the rectangle (x, y, w, h).
struct TOutputImage {
    int areaWidth = 0;
    int areaHeight = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int stride = 0;              // bytes per row of `pixels`
    std::vector<uint8_t> pixels; // 32 bits a pixel: blue, green, red, 255
};

class TVideoOutput {
public:
    virtual ~TVideoOutput() = default;
    // The area's current size in pixels (any thread).
    virtual void OutputSize(int& width, int& height) const = 0;
    // Shows `image` until the next one; the last one is redrawn whenever the area repaints.
    virtual void Present(std::shared_ptr<const TOutputImage> image) = 0;
    // Clears the area (black).
    virtual void Clear() = 0;
    // Called with the new size whenever the area is resized; null detaches.
    virtual void SetResizeHandler(std::function<void(int width, int height)> handler) = 0;
};

} // namespace quovo
