// The texture converter.
// Standard headers come before the game's, whose common header renames the
// C library's heap and printing functions for game code.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/lib/texconv.h"

namespace tools {

namespace {

bool PowerOfTwoInRange(int v)
{
    return v >= 8 && v <= 1024 && (v & (v - 1)) == 0;
}

u32 PixelWord(const u8* p)
{
    return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(GsAlpha(p[3])) << 24;
}

void PutWord(std::vector<u8>& out, size_t at, u32 w)
{
    std::memcpy(out.data() + at, &w, 4);
}

}  // namespace

int Speckle(int x, int y, int n)
{
    u32 h = u32(x) * 73856093u ^ u32(y) * 19349663u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    return int((h >> 15) % u32(n));
}

u8 GsAlpha(u8 a)
{
    return u8((a * 128 + 127) / 255);
}

int ClutSlot256(int i)
{
    int x = (i & 7) | ((i >> 1) & 8);
    int y = ((i >> 3) & 1) | ((i >> 4) & 0xE);
    return y * 16 + x;
}

bool ConvertTexture(const RgbaImage& img, TexFormat format, TextureImage& out, std::string& error)
{
    if (!PowerOfTwoInRange(img.width) || !PowerOfTwoInRange(img.height)) {
        error = "texture size " + std::to_string(img.width) + " x " + std::to_string(img.height) +
                " is not a power of two from 8 to 1024";
        return false;
    }
    const size_t pixels = size_t(img.width) * size_t(img.height);
    if (img.rgba.size() != pixels * 4) {
        error = "texture of " + std::to_string(img.width) + " x " + std::to_string(img.height) + " has " +
                std::to_string(img.rgba.size()) + " bytes of pixels, not " + std::to_string(pixels * 4);
        return false;
    }

    out = TextureImage{};
    if (format == TexFormat::kCT32) {
        out.record.Set(PSMCT32, img.width, img.height, 0, nullptr);
        out.image.assign(pixels * 4, 0);
        for (size_t i = 0; i < pixels; ++i)
            PutWord(out.image, 4 * i, PixelWord(&img.rgba[4 * i]));
        return true;
    }

    if (format == TexFormat::kCT16) {
        out.record.Set(PSMCT16, img.width, img.height, 0, nullptr);
        out.image.assign((pixels * 2 + 15) & ~size_t(15), 0);
        for (size_t i = 0; i < pixels; ++i) {
            const u8* c = &img.rgba[4 * i];
            const u16 w = u16((c[0] >> 3) | (c[1] >> 3) << 5 | (c[2] >> 3) << 10 | (c[3] >= 128 ? 0x8000 : 0));
            out.image[2 * i] = u8(w);
            out.image[2 * i + 1] = u8(w >> 8);
        }
        return true;
    }

    // Indexed: an exact palette in first-seen order.
    const size_t maxColours = format == TexFormat::kT8 ? 256 : 16;
    std::map<u32, int> index;
    std::vector<u32> palette;
    std::vector<u8> indices(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        u32 c = PixelWord(&img.rgba[4 * i]);
        auto it = index.find(c);
        if (it == index.end()) {
            if (palette.size() == maxColours) {
                error = "texture has more than " + std::to_string(maxColours) + " colours";
                return false;
            }
            it = index.emplace(c, int(palette.size())).first;
            palette.push_back(c);
        }
        indices[i] = u8(it->second);
    }

    if (format == TexFormat::kT8) {
        out.record.Set(PSMT8, img.width, img.height, 256, nullptr);
        out.image.assign(1024 + pixels, 0);
        for (size_t i = 0; i < palette.size(); ++i)
            PutWord(out.image, 4 * size_t(ClutSlot256(int(i))), palette[i]);
        std::memcpy(out.image.data() + 1024, indices.data(), pixels);
    } else {
        out.record.Set(PSMT4, img.width, img.height, 16, nullptr);
        out.image.assign(64 + pixels / 2, 0);
        for (size_t i = 0; i < palette.size(); ++i)
            PutWord(out.image, 4 * i, palette[i]);
        // Two pixels a byte, the even one in the low nibble.
        for (size_t i = 0; i < pixels; ++i)
            out.image[64 + i / 2] |= u8(indices[i] << (4 * (i & 1)));
    }
    out.image.resize((out.image.size() + 15) & ~size_t(15), 0);
    return true;
}

}  // namespace tools
