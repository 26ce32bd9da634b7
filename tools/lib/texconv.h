// Texture converter: turns an RGBA picture into the game's texture record
// (Texture, 40 bytes, as model files store it) and the image bytes the
// texture manager uploads: the palette first when there is one, then the
// pixels, in the GS's transfer order.
//
// Formats: 32-bit colour, and 8-bit or 4-bit indices with an exact palette of
// the picture's colours in first-seen order (pictures with more colours than
// the format holds are refused; no colour reduction is made).  The 8-bit
// palette is laid out as the GS's CSM1 storage reads a 16 x 16 palette.
// Alpha 255 becomes the GS's full opacity 0x80.  Output depends only on the
// input.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/Image.h"

namespace tools {

// 8-bit RGBA, rows top to bottom.
struct RgbaImage
{
    int width = 0;
    int height = 0;
    std::vector<u8> rgba;
};

enum class TexFormat
{
    kCT32,
    kCT16,   // 5 bits a colour, the alpha bit set from half opacity up
    kT8,
    kT4,
};

// A texture record (data not set) and its image bytes, padded to whole
// quadwords.
struct TextureImage
{
    Texture record{};
    std::vector<u8> image;
};

// Converts img.  False with a message for sizes that are not powers of two
// from 8 to 1024, a pixel buffer of the wrong length, or more colours than
// an indexed format holds.
bool ConvertTexture(const RgbaImage& img, TexFormat format, TextureImage& out, std::string& error);

// A w x h picture drawn from a rule giving each pixel's colour
// (std::array<u8, 3>, fully opaque), as an 8-bit indexed texture: the rule
// must use at most 256 colours (a picture with more comes out empty).
template <class F>
TextureImage RuleTexture(int w, int h, F colour)
{
    RgbaImage img;
    img.width = w;
    img.height = h;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const std::array<u8, 3> c = colour(x, y);
            img.rgba.insert(img.rgba.end(), {c[0], c[1], c[2], 255});
        }
    TextureImage t;
    std::string error;
    ConvertTexture(img, TexFormat::kT8, t, error);
    return t;
}

// A repeatable speckle in 0..n-1 for pixel (x, y): grain and grit that looks
// random and is the same every time.
int Speckle(int x, int y, int n);

// The GS alpha (0..0x80) of an 8-bit alpha (0..255).
u8 GsAlpha(u8 a);

// Where palette entry i of an 8-bit palette lies in the 16 x 16 palette
// image (CSM1: bits 3 and 4 of the index exchanged against row order).
int ClutSlot256(int i);

}  // namespace tools
