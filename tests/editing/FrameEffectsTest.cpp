// The frame effects pixel for pixel: the colour and exposure tables, the image blend with its
// cut at the edges, the text watermark's anchoring, and the order the two Process flags choose.
#include "FrameEffects.h"
#include "Fixtures.h"
#include "QtTestApp.h"
#include "TEffectsCache.h"

#include <QImage>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

using namespace quovo;

namespace {

using Bgr = std::array<int, 3>;

void Fill(TPicture& p, const std::function<Bgr(int x, int y)>& colour) {
    for (int y = 0; y < p.Height(); ++y) {
        for (int x = 0; x < p.Width(); ++x) {
            const Bgr c = colour(x, y);
            for (int k = 0; k < 3; ++k) {
                p.ScanLine(y)[3 * x + k] = static_cast<uint8_t>(c[k]);
            }
        }
    }
}

void FillSolid(TPicture& p, Bgr c) {
    Fill(p, [c](int, int) { return c; });
}

Bgr At(const TPicture& p, int x, int y) {
    const uint8_t* s = p.ScanLine(y) + 3 * x;
    return {s[0], s[1], s[2]};
}

// Every byte value in every channel, in varied combinations.
void FillAllValues(TPicture& p) {
    Fill(p, [](int x, int y) { return Bgr{x, (x + 85 * y) % 256, (255 - x + 40 * y) % 256}; });
}

bool SameBytes(const TPicture& a, const TPicture& b) {
    for (int y = 0; y < a.Height(); ++y) {
        if (std::memcmp(a.ScanLine(y), b.ScanLine(y), 3 * a.Width()) != 0) {
            return false;
        }
    }
    return true;
}

void Copy(const TPicture& from, TPicture& to) {
    to.SetSize(from.Width(), from.Height());
    for (int y = 0; y < from.Height(); ++y) {
        std::memcpy(to.ScanLine(y), from.ScanLine(y), 3 * from.Width());
    }
}

std::string TempPath(const std::string& name) {
    return fixtures::FixtureDir() + "/" + name;
}

// A w x h watermark of one colour (with alpha when the format keeps it), saved as `name`.
QString SaveImage(const std::string& name, int w, int h, QColor colour) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(colour);
    const QString path = QString::fromStdString(TempPath(name));
    if (!image.save(path)) {
        throw std::runtime_error("cannot write " + name);
    }
    return path;
}

TEST(FrameEffects, ColourAdjustWorkedValues) {
    struct Case {
        int brightness, contrast, saturation;
        Bgr in, out;
    } cases[] = {
        {255, 50, 255, {10, 100, 200}, {0, 70, 211}},
        {255, 0, 0, {10, 100, 200}, {102, 102, 102}},
        {255, 0, 512, {10, 100, 200}, {0, 96, 254}},
        {512, 0, 255, {10, 100, 200}, {19, 199, 255}},
        // Brightness 255 maps 255 through (255 * 255 + 1) div 256 = 254 before the curve.
        {255, 1, 255, {255, 255, 255}, {254, 254, 254}},
        {0, 0, 255, {10, 100, 200}, {1, 1, 1}},
    };
    for (const Case& c : cases) {
        TPicture p(3, 2);
        FillSolid(p, c.in);
        ApplyColorAdjust(p, c.brightness, c.contrast, c.saturation);
        EXPECT_EQ(At(p, 2, 1), c.out) << "brightness " << c.brightness << " contrast " << c.contrast
                                      << " saturation " << c.saturation;
    }
}

TEST(FrameEffects, ColourAdjustWholeCurves) {
    TPicture original(256, 4);
    FillAllValues(original);

    // Brightness 256 and saturation 256 are the identity: no byte moves.
    TPicture same(256, 4);
    Copy(original, same);
    ApplyColorAdjust(same, 256, 0, 256);
    EXPECT_TRUE(SameBytes(same, original));

    // Contrast 100 is contrast 99.
    TPicture c100(256, 4), c99(256, 4);
    Copy(original, c100);
    Copy(original, c99);
    ApplyColorAdjust(c100, 256, 100, 256);
    ApplyColorAdjust(c99, 256, 99, 256);
    EXPECT_TRUE(SameBytes(c100, c99));
    EXPECT_FALSE(SameBytes(c99, original));

    // Contrast -100 flattens every value to the pivot 170.
    TPicture flat(256, 4);
    Copy(original, flat);
    ApplyColorAdjust(flat, 256, -100, 256);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 256; ++x) {
            ASSERT_EQ(At(flat, x, y), (Bgr{170, 170, 170})) << x << "," << y;
        }
    }
}

// A picture swept at once gives each pixel what the pixel gets alone, whatever its place in a
// row of any width.
TEST(FrameEffects, SweepTreatsEveryPixelAlike) {
    struct Case {
        int brightness, contrast, saturation, exposure;
    } cases[] = {{300, 20, 300, 40}, {200, -30, 100, 0}, {255, 0, 512, -60}};
    for (const Case& c : cases) {
        TFrameEffects e;
        e.Brightness = c.brightness;
        e.Contrast = c.contrast;
        e.Saturation = c.saturation;
        e.Exposure = c.exposure;
        for (int width : {1, 4, 7, 13}) {
            TPicture whole(width, 40);
            Fill(whole, [](int x, int y) {
                return Bgr{(x * 37 + y * 11) % 256, (x * 91 + y * 53) % 256,
                           (x * 7 + y * 29) % 256};
            });
            TPicture swept(width, 40);
            Copy(whole, swept);
            TEffectsCache cache;
            ApplyFrameEffects(swept, e, cache);
            for (int y = 0; y < 40; ++y) {
                for (int x = 0; x < width; ++x) {
                    TPicture one(1, 1);
                    FillSolid(one, At(whole, x, y));
                    ApplyFrameEffects(one, e, cache);
                    ASSERT_EQ(At(swept, x, y), At(one, 0, 0))
                        << "width " << width << " at " << x << "," << y << " brightness "
                        << c.brightness;
                }
            }
        }
    }
}

TEST(FrameEffects, ExposureCurvePoints) {
    struct Case {
        float exposure;
        std::vector<std::pair<int, int>> points; // value -> curve
    } cases[] = {
        {100, {{0, 0}, {1, 2}, {64, 125}, {128, 196}, {192, 235}, {255, 255}}},
        {-100, {{0, 0}, {128, 0}, {192, 52}, {254, 251}, {255, 255}}},
    };
    for (const Case& c : cases) {
        TPicture p(static_cast<int>(c.points.size()), 1);
        Fill(p, [&](int x, int) { return Bgr{c.points[x].first, c.points[x].first, 0}; });
        ApplyExposure(p, c.exposure);
        for (size_t i = 0; i < c.points.size(); ++i) {
            const Bgr got = At(p, static_cast<int>(i), 0);
            EXPECT_EQ(got[0], c.points[i].second)
                << "exposure " << c.exposure << " at " << c.points[i].first;
            EXPECT_EQ(got[1], got[0]); // every channel alike
            EXPECT_EQ(got[2], 0);
        }
    }
}

TEST(FrameEffects, BlendStylesAndEdges) {
    const TWatermarkPixels grey = [] {
        TWatermarkPixels w;
        w.Width = 4;
        w.Height = 3;
        w.Bgra.assign(4 * 3 * 4, 200);
        for (size_t i = 3; i < w.Bgra.size(); i += 4) {
            w.Bgra[i] = 255;
        }
        return w;
    }();
    TWatermarkPixels white = grey;
    for (size_t i = 0; i < white.Bgra.size(); ++i) {
        white.Bgra[i] = 255;
    }
    struct Case {
        const char* name;
        const TWatermarkPixels* image;
        int left, top, alpha, style;
        int expectInside;   // value where the image lies (picture holds 100)
        int x0, y0, x1, y1; // the changed area, inclusive; x1 < x0 when nothing changes
    } cases[] = {
        {"style 1 half", &grey, 1, 1, 128, 1, (128 * 100 + 128 * 200) >> 8, 1, 1, 4, 3},
        {"style 1 opacity 0", &grey, 1, 1, 0, 1, 100, 0, 0, -1, -1},
        {"style 1 opacity 255", &grey, 0, 0, 255, 1, (1 * 100 + 255 * 200) >> 8, 0, 0, 3, 2},
        {"style 2 multiply", &grey, 2, 0, 168, 2, 100 * 200 / 255, 2, 0, 5, 2},
        {"style 2 white", &white, 0, 0, 168, 2, 100, 0, 0, -1, -1},
        {"cut at the bottom-right corner", &grey, 6, 4, 255, 1, (100 + 255 * 200) >> 8, 6, 4, 7, 5},
        {"at the right edge", &grey, 8, 0, 255, 1, 100, 0, 0, -1, -1},
        {"at the bottom edge", &grey, 0, 6, 255, 1, 100, 0, 0, -1, -1},
    };
    for (const Case& c : cases) {
        TPicture p(8, 6);
        FillSolid(p, {100, 100, 100});
        BlendImage(p, *c.image, c.left, c.top, c.alpha, c.style);
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 8; ++x) {
                const bool inside = x >= c.x0 && x <= c.x1 && y >= c.y0 && y <= c.y1;
                const int want = inside ? c.expectInside : 100;
                ASSERT_EQ(At(p, x, y), (Bgr{want, want, want}))
                    << c.name << " at " << x << "," << y;
            }
        }
    }

    // Larger than the picture: every pixel covered, nothing written past the rows.
    TWatermarkPixels big;
    big.Width = 20;
    big.Height = 20;
    big.Bgra.assign(20 * 20 * 4, 0);
    for (size_t i = 3; i < big.Bgra.size(); i += 4) {
        big.Bgra[i] = 255;
    }
    TPicture p(8, 6);
    FillSolid(p, {100, 100, 100});
    BlendImage(p, big, 0, 0, 0, 2);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            ASSERT_EQ(At(p, x, y), (Bgr{0, 0, 0}));
        }
    }
}

TEST(FrameEffects, WatermarkFilesAndTheirOwnAlpha) {
    TEffectsCache cache;
    struct Case {
        const char* file;
        QColor colour;
        int style;
        Bgr want; // on a picture of (100, 100, 100), opacity 255
    } cases[] = {
        {"mark.bmp", QColor(200, 100, 50), 1, {(100 + 255 * 50) >> 8, 100, (100 + 255 * 200) >> 8}},
        {"mark.png", QColor(200, 200, 200, 0), 1, {100, 100, 100}}, // transparent
        {"half.png", QColor(0, 0, 0, 102), 1, {(154 * 100) >> 8, (154 * 100) >> 8, 60}},
        {"half-multiply.png", QColor(0, 0, 0, 102), 2, {60, 60, 60}}, // toward white
        {"mark.jpg", QColor(255, 255, 255), 2, {100, 100, 100}},
    };
    for (const Case& c : cases) {
        const QString path = SaveImage(c.file, 5, 5, c.colour);
        TPicture p(5, 5);
        FillSolid(p, {100, 100, 100});
        BlendImage(p, cache.Image(path), 0, 0, 255, c.style);
        const Bgr got = At(p, 2, 2);
        for (int k = 0; k < 3; ++k) {
            // JPEG may move a colour by a step or two.
            EXPECT_NEAR(got[k], c.want[k], std::string(c.file).ends_with(".jpg") ? 2 : 0)
                << c.file << " channel " << k;
        }
    }
    EXPECT_THROW(cache.Image(QString::fromStdString(TempPath("missing.bmp"))), std::runtime_error);
    fixtures::MakeTextFile(TempPath("not-a-picture.bmp"));
    EXPECT_THROW(cache.Image(QString::fromStdString(TempPath("not-a-picture.bmp"))),
                 std::runtime_error);
}

// The bounding box of the pixels that differ between two pictures; empty when none.
QRect ChangedArea(const TPicture& a, const TPicture& b) {
    QRect area;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width(); ++x) {
            if (At(a, x, y) != At(b, x, y)) {
                area |= QRect(x, y, 1, 1);
            }
        }
    }
    return area;
}

TEST(FrameEffects, TextIsAnchoredTopLeftAndCutAtTheEdges) {
    TEffectsCache cache;
    QFont font(QStringLiteral("MS Sans Serif"), 30); // 40 pixels high
    font.setBold(true);
    struct Case {
        int left, top;
        bool visible;
    } cases[] = {{10, 20, true}, {150, 90, true}, {160, 20, false}, {10, 120, false}};
    for (const Case& c : cases) {
        TPicture blank(160, 120), p(160, 120);
        FillSolid(blank, {100, 100, 100});
        FillSolid(p, {100, 100, 100});
        DrawWaterText(p, cache, QStringLiteral("HHH"), font, Qt::white, c.left, c.top);
        const QRect area = ChangedArea(blank, p);
        EXPECT_EQ(!area.isEmpty(), c.visible) << c.left << "," << c.top;
        if (c.visible) {
            EXPECT_GE(area.left(), c.left);
            EXPECT_GE(area.top(), c.top);
            EXPECT_LE(area.left(), c.left + 6);
            EXPECT_LE(area.top(), c.top + 12); // the cap line sits below the line's top
            EXPECT_GE(area.height(), 20);
        }
    }
}

// Text, image and effects on one picture: which of the two watermarks the effects reach.
TEST(FrameEffects, ProcessFlagsChooseTheOrder) {
    TEffectsCache cache;
    TFrameEffects e;
    e.Brightness = 512;                      // v -> 2v - 1
    e.Text = QStringLiteral("\u2588\u2588"); // full blocks: solid text pixels
    e.Font = QFont(QStringLiteral("DejaVu Sans"), 24);
    e.TextColor = QColor(60, 60, 60);
    e.TextLeft = 2;
    e.TextTop = 2;
    e.ImageFile = SaveImage("order.bmp", 10, 10, QColor(40, 40, 40));
    e.ImageLeft = 70;
    e.ImageTop = 30;
    e.ImageAlpha = 255;
    struct Case {
        bool processText, processImage;
        bool textChanged, imageChanged;
    } cases[] = {
        {true, false, true, false},
        {false, true, false, true},
        {true, true, true, true},
        {false, false, false, false},
    };
    const int imageBlended = (1 * 100 + 255 * 40) >> 8;
    for (const Case& c : cases) {
        e.ProcessText = c.processText;
        e.ProcessImage = c.processImage;
        TPicture p(100, 60);
        FillSolid(p, {100, 100, 100});
        ApplyFrameEffects(p, e, cache);
        const std::string name = std::string("text ") + (c.processText ? "on" : "off") +
                                 ", image " + (c.processImage ? "on" : "off");
        EXPECT_EQ(At(p, 90, 5), (Bgr{199, 199, 199})) << name; // the frame itself
        const int image = c.imageChanged ? 2 * imageBlended - 1 : imageBlended;
        EXPECT_EQ(At(p, 75, 35), (Bgr{image, image, image})) << name;
        const int text = c.textChanged ? 2 * 60 - 1 : 60;
        EXPECT_EQ(At(p, 10, 18), (Bgr{text, text, text})) << name;
    }
}

TEST(FrameEffects, NeutralOrImageOnlyItemsLeaveTheRestAlone) {
    TEffectsCache cache;
    TPicture original(64, 32);
    FillAllValues(original);

    // Neutral values: not one byte changes (255 would become 254 if the colour pass ran).
    TPicture p(64, 32);
    Copy(original, p);
    ApplyFrameEffects(p, TFrameEffects{}, cache);
    EXPECT_TRUE(SameBytes(p, original));

    // Only an image watermark: only the blend runs.
    TFrameEffects e;
    e.ImageFile = SaveImage("only.bmp", 8, 8, QColor(0, 0, 0));
    e.ImageLeft = 10;
    e.ImageTop = 10;
    e.ImageAlpha = 255;
    Copy(original, p);
    ApplyFrameEffects(p, e, cache);
    EXPECT_EQ(ChangedArea(original, p), QRect(10, 10, 8, 8));

    // A watermark file that cannot be read fails the frame before anything is drawn.
    e.Brightness = 400;
    e.ImageFile = QString::fromStdString(TempPath("vanished.bmp"));
    Copy(original, p);
    EXPECT_THROW(ApplyFrameEffects(p, e, cache), std::runtime_error);
    EXPECT_TRUE(SameBytes(p, original));
}

TEST(FrameEffects, CropOutline) {
    TPicture p(40, 30);
    FillSolid(p, {255, 255, 255});
    DrawCropOutline(p, 4, 6, 2, 8); // keeps x 6..31, y 4..27
    const Bgr green{0, 128, 0}, white{255, 255, 255};
    struct Probe {
        int x, y;
        Bgr want;
    } probes[] = {{6, 4, green},   {7, 5, green},   {8, 6, white},   {31, 27, green},
                  {30, 26, green}, {29, 25, white}, {5, 10, white},  {32, 10, white},
                  {20, 4, green},  {20, 27, green}, {20, 15, white}, {6, 15, green}};
    for (const Probe& probe : probes) {
        EXPECT_EQ(At(p, probe.x, probe.y), probe.want) << probe.x << "," << probe.y;
    }
}

TEST(FrameEffects, TheDefaultFaceIsTheDesktopSansSerif) {
    EXPECT_NE(WatermarkFontFace(QStringLiteral("MS Sans Serif")), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(WatermarkFontFace(QStringLiteral("DejaVu Serif")), QStringLiteral("DejaVu Serif"));
}

} // namespace
