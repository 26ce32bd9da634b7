// jctntex: writes the junction textures the road drawing carries as C++
// source: the asphalt fill of junction middles, the lines joining a
// junction's lanes and the crosswalk stripes.  Each is a 64 x 64 picture of
// 8-bit indices with a 256-entry palette (in the GS's CSM1 order) in front,
// written as the program's other linked-in images are: a texture record
// whose data word is the offset of the palette.
//
//   jctntex OUTPUT.cpp      (the build makes the game's copy, generated/JunctionData.cpp)
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/lib/imagegen.h"

namespace {

constexpr int kSize = 64;
constexpr int kClutBytes = 1024;

int ClutSwizzle(int i) { return (i & ~0x18) | (i & 0x08) << 1 | (i & 0x10) >> 1; }

void SetClut(std::vector<uint8_t>& img, int i, int r, int g, int b, int a)
{
    const int at = 4 * ClutSwizzle(i);
    img[size_t(at)] = uint8_t(r);
    img[size_t(at + 1)] = uint8_t(g);
    img[size_t(at + 2)] = uint8_t(b);
    img[size_t(at + 3)] = uint8_t(a);
}

// A small integer hash: the same grain every build.
uint32_t Hash(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

// Asphalt: greys 64 to 95 with a fine grain, opaque.
std::vector<uint8_t> Fill()
{
    std::vector<uint8_t> img(kClutBytes + kSize * kSize);
    for (int i = 0; i < 256; ++i)
        SetClut(img, i, 64 + i / 8, 64 + i / 8, 66 + i / 8, 0x80);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            img[size_t(kClutBytes + y * kSize + x)] = uint8_t(Hash(uint32_t(y * kSize + x)) & 0xFF);
    return img;
}

// Crosswalk: one white stripe across the left half of u, clear elsewhere;
// the first and last rows clear too, so that a coordinate held at the
// picture's edge along v draws nothing.
std::vector<uint8_t> Crosswalk()
{
    std::vector<uint8_t> img(kClutBytes + kSize * kSize);
    SetClut(img, 0, 0, 0, 0, 0);
    SetClut(img, 1, 0x70, 0x70, 0x70, 0x80);
    for (int y = 1; y + 1 < kSize; ++y)
        for (int x = 0; x < kSize / 2; ++x)
            img[size_t(kClutBytes + y * kSize + x)] = 1;
    return img;
}

// Lane lines: a white line down the middle of u with gaps every quarter of
// v, clear elsewhere.
std::vector<uint8_t> ConnectLines()
{
    std::vector<uint8_t> img(kClutBytes + kSize * kSize);
    SetClut(img, 0, 0, 0, 0, 0);
    SetClut(img, 1, 0x78, 0x78, 0x70, 0x80);
    for (int y = 0; y < kSize; ++y)
        for (int x = kSize / 2 - 2; x < kSize / 2 + 2; ++x)
            if (y % 16 < 10)
                img[size_t(kClutBytes + y * kSize + x)] = 1;
    return img;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: jctntex OUTPUT.cpp\n");
        return 2;
    }
    std::ofstream file(argv[1], std::ios::binary);
    file << tools::ImageSource({tools::IndexedImage("TPage_Jctn_Fill", kSize, kSize, Fill()),
                                tools::IndexedImage("TPage_Jctn_Connect_Lines", kSize, kSize, ConnectLines()),
                                tools::IndexedImage("TPage_Jctn_Crosswalk", kSize, kSize, Crosswalk())});
    if (!file.flush()) {
        std::fprintf(stderr, "jctntex: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
