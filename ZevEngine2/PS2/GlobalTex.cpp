// The built-in textures model drawing uses: a specular highlight and an
// environment picture for reflections, made here from formulas (no data is
// read), in main memory for the texture manager to upload.  Both are 8-bit
// indexed pictures (palette first, in the GS's CSM1 order, then the pixels):
// a record of format 0 would read as "no texture" to the model drawer, so
// plain 32-bit colour, format 0, is not used.
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Render2D.h"

namespace {

constexpr int kSpecularSize = 32;
constexpr int kReflectionSize = 64;

alignas(16) u8 g_specular[1024 + kSpecularSize * kSpecularSize];
alignas(16) u8 g_reflection[1024 + kReflectionSize * kReflectionSize];

void SetClut(u8* image, int i, int r, int g, int b)
{
    u32* clut = reinterpret_cast<u32*>(image);
    clut[Render2D_raw::ClutSwizzle(i)] = Colour(u8(r), u8(g), u8(b), 0x80).Word();
}

int Mix(int a, int b, int t, int range)
{
    return a + (b - a) * t / range;
}

// A white spot of falling brightness, (1 - r²)⁴ of the distance from the
// centre in half the picture's width, over a grey ramp of 256 levels.
void MakeSpecular()
{
    for (int i = 0; i < 256; ++i)
        SetClut(g_specular, i, i, i, i);
    u8* px = g_specular + 1024;
    const float c = (kSpecularSize - 1) * 0.5f;
    for (int y = 0; y < kSpecularSize; ++y)
        for (int x = 0; x < kSpecularSize; ++x) {
            const float dx = (float(x) - c) / c, dy = (float(y) - c) / c;
            float t = 1.0f - (dx * dx + dy * dy);
            t = t > 0.0f ? t * t * t * t : 0.0f;
            px[y * kSpecularSize + x] = u8(int(t * 255.0f + 0.5f));
        }
}

// One colour per row: sky above the middle row (deep blue at the top to pale
// at the horizon), ground below it (warm grey darkening downwards), with a
// faint band of light along the horizon.
void MakeReflection()
{
    const int h = kReflectionSize / 2;
    for (int y = 0; y < kReflectionSize; ++y) {
        int r, g, b;
        if (y < h) {
            r = Mix(70, 215, y, h - 1);
            g = Mix(110, 225, y, h - 1);
            b = Mix(190, 240, y, h - 1);
        } else {
            r = Mix(120, 55, y - h, h - 1);
            g = Mix(110, 50, y - h, h - 1);
            b = Mix(95, 45, y - h, h - 1);
        }
        if (y - h >= -2 && y - h <= 1) {
            r = std::min(255, r + 30);
            g = std::min(255, g + 30);
            b = std::min(255, b + 25);
        }
        SetClut(g_reflection, y, r, g, b);
        std::memset(g_reflection + 1024 + y * kReflectionSize, y, kReflectionSize);
    }
}

}  // namespace

void SetUpGlobalTextures()
{
    static bool made;
    if (made)
        return;
    made = true;
    MakeSpecular();
    MakeReflection();
    gtex[GTEX_SPECULAR].Set(PSMT8, kSpecularSize, kSpecularSize, 256, g_specular);
    gtex[GTEX_REFLECTION].Set(PSMT8, kReflectionSize, kReflectionSize, 256, g_reflection);
}
