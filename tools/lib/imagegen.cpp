// Image generator.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/lib/imagegen.h"

#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Render2D.h"

namespace tools {

namespace {

constexpr float kTwoPi = 6.2831853f;

struct Rgb
{
    int r, g, b;
};

// An 8-bit image of w x h: the record, the palette of 256 colours (alpha
// full) in the GS's palette order, then the pixels.
ProgramImage Indexed(const char* name, int w, int h, Rgb (*palette)(int), const std::vector<u8>& pixels)
{
    ProgramImage img{name, std::vector<u8>(kImageDataOffset + 1024 + size_t(w * h), 0)};
    Texture record{};
    record.Set(PSMT8, w, h, 256, nullptr);
    record.data = reinterpret_cast<void*>(uintptr_t(kImageDataOffset));
    std::memcpy(img.bytes.data(), &record, sizeof record);
    for (int i = 0; i < 256; i++) {
        const Rgb c = palette(i);
        u8* e = img.bytes.data() + kImageDataOffset + 4 * Render2D_raw::ClutSwizzle(i);
        e[0] = u8(std::clamp(c.r, 0, 255));
        e[1] = u8(std::clamp(c.g, 0, 255));
        e[2] = u8(std::clamp(c.b, 0, 255));
        e[3] = 0x80;
    }
    std::copy(pixels.begin(), pixels.end(), img.bytes.begin() + kImageDataOffset + 1024);
    return img;
}

u8 Level(float v)
{
    return u8(std::clamp(int(v * 255.0f + 0.5f), 0, 255));
}

// Deep blue-green to pale foam.
Rgb SeaColour(int i)
{
    return Rgb{18 + i * 70 / 255, 48 + i * 110 / 255, 70 + i * 110 / 255};
}

Rgb FlareColour(int i)
{
    return Rgb{i * 3 / 8, i * 11 / 32, i * 5 / 16};
}

// A flare shape at distance r (0 centre, 1 the cell's edge circle) and
// angle a about the cell's centre.
float FlareShape(int cell, float r, float a)
{
    switch (cell) {
    case 0:   // soft glow
        return r < 1.0f ? (1.0f - r) * (1.0f - r) * (1.0f - r) : 0.0f;
    case 1: {   // thin ring
        const float d = (r - 0.8f) / 0.08f;
        return 0.5f * std::exp(-d * d);
    }
    case 2:   // soft round spot, bright only near its middle (it is also
              // stretched into the streak across the sun)
        return r < 1.0f ? std::exp(-9.0f * r * r) * (1.0f - r) : 0.0f;
    case 3: {   // hexagon: its edge at 0.85 of the cell's radius
        const float sector = std::fmod(a + kTwoPi, kTwoPi / 6.0f) - kTwoPi / 12.0f;
        const float edge = 0.85f * std::cos(kTwoPi / 12.0f) / std::cos(sector);
        return r < edge ? std::min(1.0f, (edge - r) * 10.0f) * 0.3f : 0.0f;
    }
    default: {   // disc with a bright rim
        if (r >= 0.9f)
            return 0.0f;
        const float rim = std::max(0.0f, 1.0f - std::fabs(r - 0.8f) / 0.1f);
        return 0.2f + 0.5f * rim;
    }
    }
}

}  // namespace

ProgramImage OceanImage()
{
    constexpr int kSize = 64;
    std::vector<u8> px(kSize * kSize);
    // Whole waves across the tile in x and y, so that its edges meet.
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++) {
            const float u = kTwoPi * float(x) / kSize, v = kTwoPi * float(y) / kSize;
            const float swell = std::sin(2.0f * u + v) * 0.18f + std::sin(3.0f * v - u) * 0.12f;
            const float ripple = std::sin(7.0f * u + 4.0f * v) * 0.06f + std::sin(5.0f * v - 9.0f * u) * 0.05f;
            const float crest = std::pow(std::max(0.0f, std::sin(4.0f * u - 3.0f * v)), 8.0f) * 0.2f;
            px[size_t(y * kSize + x)] = Level(0.42f + swell + ripple + crest);
        }
    return Indexed("Ocean", kSize, kSize, SeaColour, px);
}

ProgramImage LensFlareImage()
{
    constexpr int kW = 64, kCells = 5;
    std::vector<u8> px(size_t(kW * kW * kCells));
    for (int cell = 0; cell < kCells; cell++)
        for (int y = 0; y < kW; y++)
            for (int x = 0; x < kW; x++) {
                const float dx = (float(x) + 0.5f - 32.0f) / 31.0f, dy = (float(y) + 0.5f - 32.0f) / 31.0f;
                const float r = std::sqrt(dx * dx + dy * dy), a = std::atan2(dy, dx);
                px[size_t((cell * kW + y) * kW + x)] = Level(FlareShape(cell, r, a));
            }
    return Indexed("LensFlare", kW, kW * kCells, FlareColour, px);
}

ProgramImage GlowImage()
{
    constexpr int kSize = 32;
    std::vector<u8> px(kSize * kSize);
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++) {
            const float dx = (float(x) + 0.5f - 16.0f) / 16.0f, dy = (float(y) + 0.5f - 16.0f) / 16.0f;
            const float r = std::min(1.0f, std::sqrt(dx * dx + dy * dy));
            px[size_t(y * kSize + x)] = Level((1.0f - r) * (1.0f - r));
        }
    return Indexed("glow", kSize, kSize, [](int i) { return Rgb{i, i, i}; }, px);
}

ProgramImage IndexedImage(const char* name, int w, int h, const std::vector<u8>& paletteThenPixels)
{
    ProgramImage img{name, std::vector<u8>(kImageDataOffset + 1024 + size_t(w * h), 0)};
    Texture record{};
    record.Set(PSMT8, w, h, 256, nullptr);
    record.data = reinterpret_cast<void*>(uintptr_t(kImageDataOffset));
    std::memcpy(img.bytes.data(), &record, sizeof record);
    std::copy_n(paletteThenPixels.begin(), std::min(paletteThenPixels.size(), img.bytes.size() - kImageDataOffset),
                img.bytes.begin() + kImageDataOffset);
    return img;
}

namespace {

// Palette entry i (the GS's order) of an 8-bit image's palette and pixels.
void SetClut(std::vector<u8>& image, int i, int r, int g, int b, int a = 0x80)
{
    u8* e = image.data() + 4 * Render2D_raw::ClutSwizzle(i);
    e[0] = u8(r);
    e[1] = u8(g);
    e[2] = u8(b);
    e[3] = u8(a);
}

int Mix(int a, int b, int t, int range)
{
    return a + (b - a) * t / range;
}

}  // namespace

ProgramImage SpecularImage()
{
    constexpr int kSize = 32;
    std::vector<u8> image(1024 + kSize * kSize);
    for (int i = 0; i < 256; ++i)
        SetClut(image, i, i, i, i);
    u8* px = image.data() + 1024;
    const float c = (kSize - 1) * 0.5f;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const float dx = (float(x) - c) / c, dy = (float(y) - c) / c;
            float t = 1.0f - (dx * dx + dy * dy);
            t = t > 0.0f ? t * t * t * t : 0.0f;
            px[y * kSize + x] = u8(int(t * 255.0f + 0.5f));
        }
    return IndexedImage("Specular", kSize, kSize, image);
}

ProgramImage ReflectionImage()
{
    constexpr int kSize = 64;
    std::vector<u8> image(1024 + kSize * kSize);
    const int h = kSize / 2;
    for (int y = 0; y < kSize; ++y) {
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
        SetClut(image, y, r, g, b);
        std::memset(image.data() + 1024 + y * kSize, y, kSize);
    }
    return IndexedImage("ReflectionMap_Generic", kSize, kSize, image);
}

ProgramImage SkidMarkImage()
{
    constexpr int kSize = 32;
    std::vector<u8> px(kSize * kSize);
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++) {
            const float edge = std::fabs((float(x) + 0.5f - 16.0f) / 16.0f);
            const float groove = (y % 8) < 2 ? 0.35f : 0.0f;
            px[size_t(y * kSize + x)] = Level(0.12f + groove * (1.0f - edge) + 0.5f * edge * edge * edge);
        }
    return Indexed("SkidMark", kSize, kSize, [](int i) { return Rgb{i, i, i}; }, px);
}

std::string ImageSource(const std::vector<ProgramImage>& images)
{
    std::string out =
        "// Pictures the program carries.  Generated during the build; do not edit.\n"
        "// Each is a texture record whose data word is the offset of its palette\n"
        "// and pixels.\n"
        "#include <ee/types.h>\n";
    char line[128];
    for (const ProgramImage& img : images) {
        std::snprintf(line, sizeof line, "\nalignas(16) u8 %s_image[%zu] = {\n", img.name, img.bytes.size());
        out += line;
        for (size_t o = 0; o < img.bytes.size(); o += 16) {
            out += "   ";
            for (size_t i = o; i < std::min(img.bytes.size(), o + 16); i++) {
                std::snprintf(line, sizeof line, " %u,", img.bytes[i]);
                out += line;
            }
            out += "\n";
        }
        out += "};\n";
    }
    return out;
}

}  // namespace tools
