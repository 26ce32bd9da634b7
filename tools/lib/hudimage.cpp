// The HUD's pictures.
#include "tools/lib/hudimage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Render2D.h"

namespace tools {

namespace {

// The palette: a few flat colours, each with a light and a dark bevel
// shade, and their opacities (128 opaque).
enum Ink : u8
{
    kClear = 0,
    kWhite, kWhiteLight, kWhiteDark,
    kGrey, kGreyLight, kGreyDark,
    kRed, kRedLight, kRedDark,
    kGlass,          // the radar's dark window
    kFrame, kFrameLight, kFrameDark,
    kFlash,          // the bright overlay of flashes
    kBlack,
    kInkCount
};

struct Entry
{
    u8 r, g, b, a;
};

const Entry kPalette[kInkCount] = {
    {0, 0, 0, 0},
    {230, 230, 230, 128}, {255, 255, 255, 128}, {150, 150, 150, 128},
    {90, 90, 96, 128}, {130, 130, 136, 128}, {50, 50, 56, 128},
    {200, 30, 30, 128}, {250, 90, 80, 128}, {120, 10, 10, 128},
    {10, 24, 20, 88},
    {60, 70, 80, 128}, {120, 135, 150, 128}, {25, 30, 36, 128},
    {255, 255, 220, 128},
    {0, 0, 0, 128},
};

class Canvas
{
public:
    Canvas(int w, int h) : w_(w), h_(h), px_(size_t(w * h), kClear) {}

    void Set(int x, int y, u8 ink)
    {
        if (x >= 0 && y >= 0 && x < w_ && y < h_)
            px_[size_t(y * w_ + x)] = ink;
    }
    void Fill(int x, int y, int w, int h, u8 ink)
    {
        for (int j = y; j < y + h; j++)
            for (int i = x; i < x + w; i++)
                Set(i, j, ink);
    }
    // A flat shape with a one-texel bevel: light on the top and left, dark
    // on the bottom and right.
    void Bevel(int x, int y, int w, int h, u8 base)
    {
        Fill(x, y, w, h, base);
        Fill(x, y, w, 1, u8(base + 1));
        Fill(x, y, 1, h, u8(base + 1));
        Fill(x, y + h - 1, w, 1, u8(base + 2));
        Fill(x + w - 1, y, 1, h, u8(base + 2));
    }
    // Fills the points of the w x h box at (x, y) for which inside(u, v)
    // holds, u and v running over [0, 1] across the box (texel centres).
    template <class F>
    void Shape(int x, int y, int w, int h, u8 ink, F inside)
    {
        for (int j = 0; j < h; j++)
            for (int i = 0; i < w; i++)
                if (inside((float(i) + 0.5f) / float(w), (float(j) + 0.5f) / float(h)))
                    Set(x + i, y + j, ink);
    }
    const std::vector<u8>& Pixels() const { return px_; }

private:
    int w_, h_;
    std::vector<u8> px_;
};

ProgramImage Image(const char* name, const Canvas& c, int w, int h)
{
    ProgramImage img{name, std::vector<u8>(kImageDataOffset + 1024 + size_t(w * h), 0)};
    Texture record{};
    record.Set(PSMT8, w, h, 256, nullptr);
    record.data = reinterpret_cast<void*>(uintptr_t(kImageDataOffset));
    std::memcpy(img.bytes.data(), &record, sizeof record);
    for (int i = 0; i < kInkCount; i++) {
        u8* e = img.bytes.data() + kImageDataOffset + 4 * Render2D_raw::ClutSwizzle(i);
        e[0] = kPalette[i].r;
        e[1] = kPalette[i].g;
        e[2] = kPalette[i].b;
        e[3] = kPalette[i].a;
    }
    std::copy(c.Pixels().begin(), c.Pixels().end(), img.bytes.begin() + kImageDataOffset + 1024);
    return img;
}

// A vertical bar of the gauges (16 x 63).
void Bar(Canvas& c, int x, u8 ink)
{
    c.Bevel(x, 169, 16, 63, ink);
}

// An arrow pointing right in a w x h box.
void RightArrow(Canvas& c, int x, int y, int w, int h, u8 ink)
{
    c.Shape(x, y, w, h, ink, [](float u, float v) { return std::fabs(v - 0.5f) < 0.5f * (1.0f - u); });
}

void HeadIcon(Canvas& c, int y, u8 skin)
{
    c.Fill(176, y, 40, 64, kClear);
    c.Shape(176, y, 40, 64, skin, [](float u, float v) {
        const float dx = (u - 0.5f) / 0.38f, dy = (v - 0.45f) / 0.42f;
        return dx * dx + dy * dy < 1.0f;
    });
    // Eyes and mouth.
    c.Fill(176 + 12, y + 22, 5, 4, kBlack);
    c.Fill(176 + 23, y + 22, 5, 4, kBlack);
    c.Fill(176 + 14, y + 40, 12, 3, kBlack);
}

void CarIcon(Canvas& c, int y)
{
    // A car seen from above, its nose up.
    c.Bevel(216 + 6, y + 4, 28, 56, kGrey);
    c.Fill(216 + 10, y + 14, 20, 10, kGlass);
    c.Fill(216 + 10, y + 44, 20, 8, kGlass);
}

}  // namespace

ProgramImage HudNewImage()
{
    Canvas c(256, 256);
    // The radar frame's top-left quarter: a bevelled rim round the dark
    // glass (the quarter is mirrored into the whole frame).
    // The mirrored images also read the texel just past their rectangle (the
    // middle line takes the right and bottom edge), so each is drawn one
    // texel larger than its rectangle.
    c.Fill(0, 0, 62, 62, kGlass);
    c.Fill(0, 0, 62, 5, kFrame);
    c.Fill(0, 0, 5, 62, kFrame);
    c.Fill(0, 0, 62, 1, kFrameLight);
    c.Fill(0, 0, 1, 62, kFrameLight);
    c.Fill(4, 4, 58, 1, kFrameDark);
    c.Fill(4, 4, 1, 58, kFrameDark);
    // Street-name plates: the left halves of the name's and the cross
    // street's panels.
    c.Fill(0, 64, 96, 28, kClear);
    c.Fill(0, 64, 96, 3, kFrame);
    c.Fill(0, 64 + 25, 96, 3, kFrame);
    c.Fill(0, 64, 3, 28, kFrame);
    c.Fill(0, 64, 96, 1, kFrameLight);
    c.Fill(0, 92, 96, 21, kClear);
    c.Fill(0, 92, 3, 21, kFrame);
    c.Fill(0, 92 + 19, 96, 2, kFrame);
    // The phone panel under the radar.
    c.Bevel(0, 128, 80, 17, kFrame);
    c.Fill(6, 133, 20, 7, kGlass);
    // Map icons (white: the marker's colour tints them).
    const int iy = 152;
    c.Shape(0, iy, 16, 16, kWhite, [](float u, float v) {   // utensils: fork and knife
        return (std::fabs(u - 0.3f) < 0.06f || std::fabs(u - 0.7f) < 0.08f) && v > 0.1f && v < 0.9f;
    });
    c.Shape(16, iy, 16, 16, kWhite, [](float u, float v) {   // gas: a pump
        return (u > 0.2f && u < 0.6f && v > 0.15f && v < 0.9f) || (u > 0.6f && u < 0.8f && v > 0.3f && v < 0.4f);
    });
    c.Shape(32, iy, 16, 16, kWhite, [](float u, float v) {   // parking: a P
        const float dx = (u - 0.45f) / 0.3f, dy = (v - 0.35f) / 0.22f;
        return (u > 0.25f && u < 0.4f && v > 0.1f && v < 0.9f) || (dx * dx + dy * dy < 1.0f && dx > -1.0f);
    });
    c.Shape(48, iy, 16, 16, kWhite, [](float u, float v) {   // car
        return (u > 0.1f && u < 0.9f && v > 0.45f && v < 0.8f) || (u > 0.3f && u < 0.7f && v > 0.25f && v < 0.5f);
    });
    c.Shape(64, iy, 16, 16, kWhite, [](float u, float v) {   // barbell
        return (v > 0.45f && v < 0.55f && u > 0.1f && u < 0.9f) ||
               ((std::fabs(u - 0.2f) < 0.08f || std::fabs(u - 0.8f) < 0.08f) && v > 0.2f && v < 0.8f);
    });
    c.Shape(80, iy, 16, 16, kWhite, [](float u, float v) {   // crosshair
        const float r = std::hypot(u - 0.5f, v - 0.5f);
        return std::fabs(r - 0.32f) < 0.07f || std::fabs(u - 0.5f) < 0.05f || std::fabs(v - 0.5f) < 0.05f;
    });
    c.Shape(96, iy, 16, 16, kWhite, [](float u, float v) {   // target: a ringed dot
        const float r = std::hypot(u - 0.5f, v - 0.5f);
        return r < 0.15f || std::fabs(r - 0.38f) < 0.08f;
    });
    // Strength and ammunition bars, and the enemy side's flash.
    Bar(c, 0, kGrey);
    Bar(c, 16, kRed);
    Bar(c, 32, kWhite);
    c.Fill(48, 169, 16, 63, kFlash);
    c.Fill(64, 169, 16, 63, kFlash);
    Bar(c, 80, kGrey);
    Bar(c, 96, kWhite);
    // Player heads (four faces) and the car icons.
    HeadIcon(c, 0, kWhite);
    HeadIcon(c, 64, kWhite);
    HeadIcon(c, 128, kRedLight);
    HeadIcon(c, 192, kRed);
    CarIcon(c, 0);
    // The damage marks, laid out like the car: front band, sides, back band
    // (the least damage is the inner part of each mark).
    c.Fill(216, 64, 40, 23, kRedDark);
    c.Fill(216, 64, 40, 6, kRed);
    c.Fill(216, 88, 20, 22, kRedDark);
    c.Fill(216, 88, 9, 22, kRed);
    c.Fill(236, 88, 20, 22, kRedDark);
    c.Fill(247, 88, 9, 22, kRed);
    c.Fill(216, 111, 40, 17, kRedDark);
    c.Fill(216, 121, 40, 7, kRed);
    // Distance meter: a bevelled column with a scale; its arrow and flash.
    c.Bevel(144, 0, 16, 116, kFrame);
    for (int y = 8; y < 116; y += 12)
        c.Fill(148, y, 8, 1, kFrameLight);
    RightArrow(c, 160, 232, 10, 19, kWhite);
    RightArrow(c, 160, 208, 10, 19, kFlash);
    // Tail meter.
    c.Bevel(128, 0, 16, 128, kFrame);
    c.Fill(131, 4, 10, 40, kRed);
    c.Fill(131, 44, 10, 40, kWhite);
    c.Fill(131, 84, 10, 40, kGrey);
    // Spook icons (grey, white, flash) and knockdown segments.
    c.Bevel(0, 232, 16, 23, kGrey);
    c.Bevel(16, 232, 16, 23, kWhite);
    c.Fill(32, 232, 16, 23, kFlash);
    c.Bevel(48, 232, 12, 18, kGrey);
    c.Bevel(64, 232, 12, 18, kWhite);
    c.Fill(80, 232, 12, 18, kFlash);
    // The radar's car arrow (pointing up) and the edge arrows.
    c.Shape(96, 232, 16, 16, kWhite, [](float u, float v) { return std::fabs(u - 0.5f) < 0.45f * v; });
    RightArrow(c, 112, 232, 10, 19, kWhite);
    // The points shield and its flash, the bullet of the ammunition fill.
    c.Shape(128, 168, 32, 35, kGrey, [](float u, float v) { return v < 0.6f || std::fabs(u - 0.5f) < 1.2f * (1.0f - v); });
    c.Shape(128, 172, 32, 28, kWhite, [](float u, float v) { return std::fabs(u - 0.5f) < 0.3f && v > 0.1f && v < 0.8f; });
    c.Shape(128, 208, 32, 35, kFlash, [](float u, float v) { return v < 0.6f || std::fabs(u - 0.5f) < 1.2f * (1.0f - v); });
    c.Bevel(128, 240, 4, 7, kWhite);
    return Image("HUD_New", c, 256, 256);
}

ProgramImage IconsCombatImage()
{
    Canvas c(32, 256);
    // Kick, punch and high attack, then their flashes, then the streak.
    const u8 inks[2] = {kWhite, kFlash};
    for (int f = 0; f < 2; f++) {
        const int y = f * 96;
        c.Bevel(0, y, 32, 32, kGrey);
        c.Shape(0, y, 32, 32, inks[f], [](float u, float v) { return std::fabs(u - v) < 0.15f && v > 0.2f; });
        c.Bevel(0, y + 32, 32, 32, kGrey);
        c.Shape(0, y + 32, 32, 32, inks[f], [](float u, float v) { return std::hypot(u - 0.5f, v - 0.5f) < 0.28f; });
        c.Bevel(0, y + 64, 32, 32, kGrey);
        c.Shape(0, y + 64, 32, 32, inks[f], [](float u, float v) { return std::fabs(u - 0.5f) < 0.45f * v && v < 0.6f; });
    }
    c.Bevel(0, 192, 32, 32, kRed);
    c.Shape(0, 224, 32, 32, kRed, [](float u, float v) { return std::fabs(v - 0.5f) < 0.5f * u; });
    return Image("Icons_Combat", c, 32, 256);
}

ProgramImage IconsMapImage()
{
    Canvas c(128, 128);
    // Triangle (its point at the top), square, fist, wheel and gun in 31 x 31
    // cells; white, so the drawer's colour tints them.
    c.Shape(0, 0, 31, 31, kWhite, [](float u, float v) { return v > 0.05f && std::fabs(u - 0.5f) < 0.45f * v; });
    c.Bevel(36, 4, 23, 23, kWhite);
    c.Shape(0, 32, 31, 31, kWhite, [](float u, float v) {
        return (std::fabs(u - 0.5f) < 0.3f && v > 0.3f && v < 0.8f) || (v > 0.2f && v < 0.4f && u > 0.2f && u < 0.8f);
    });
    c.Shape(32, 32, 31, 31, kWhite, [](float u, float v) {
        const float r = std::hypot(u - 0.5f, v - 0.5f);
        return (r > 0.3f && r < 0.45f) || r < 0.1f;
    });
    c.Shape(64, 32, 31, 31, kWhite, [](float u, float v) {
        return (v > 0.3f && v < 0.5f && u > 0.1f && u < 0.9f) || (u > 0.15f && u < 0.35f && v >= 0.5f && v < 0.85f);
    });
    // The cursor: a ring with cross hairs around its centre texel (32, 32).
    c.Shape(0, 65, 62, 62, kWhite, [](float u, float v) {
        const float x = u * 62.0f - 32.0f, y = v * 62.0f - 32.0f;
        const float r = std::hypot(x, y);
        return (r > 20.0f && r < 23.0f) || ((std::fabs(x) < 1.2f || std::fabs(y) < 1.2f) && r > 8.0f && r < 28.0f);
    });
    return Image("Icons_Map", c, 128, 128);
}

ProgramImage IconsButtonsImage()
{
    Canvas c(32, 256);
    const int rows[5] = {0, 31, 62, 93, 125};
    for (int y : rows)
        c.Shape(0, y, 28, 28, kGreyDark, [](float u, float v) { return std::hypot(u - 0.5f, v - 0.5f) < 0.5f; });
    // d-pad, square, circle, cross, triangle.
    c.Shape(0, 0, 28, 28, kWhite, [](float u, float v) {
        return (std::fabs(u - 0.5f) < 0.12f || std::fabs(v - 0.5f) < 0.12f) && std::hypot(u - 0.5f, v - 0.5f) < 0.38f;
    });
    c.Shape(0, 31, 28, 28, kWhite, [](float u, float v) {
        const float m = std::max(std::fabs(u - 0.5f), std::fabs(v - 0.5f));
        return m > 0.16f && m < 0.26f;
    });
    c.Shape(0, 62, 28, 28, kRedLight, [](float u, float v) {
        const float r = std::hypot(u - 0.5f, v - 0.5f);
        return r > 0.16f && r < 0.27f;
    });
    c.Shape(0, 93, 28, 28, kWhite, [](float u, float v) {
        return std::fabs(std::fabs(u - 0.5f) - std::fabs(v - 0.5f)) < 0.07f && std::fabs(u - 0.5f) < 0.25f;
    });
    c.Shape(0, 125, 28, 28, kWhite, [](float u, float v) {
        const float d = std::fabs(u - 0.5f);
        return v > 0.22f && v < 0.72f && d < 0.5f * (v - 0.22f) + 0.04f && d > 0.5f * (v - 0.22f) - 0.06f;
    });
    return Image("Icons_Buttons", c, 32, 256);
}

}  // namespace tools
