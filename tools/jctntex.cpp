// jctntex: writes the junction textures the road drawing carries as C++
// source: the asphalt fill of junction middles and the crosswalk stripes.
// Both are 64 x 64 pictures of 8-bit indices with a 256-entry palette (in
// the GS's CSM1 order) in front, as the program's built-in textures are.
//
//   jctntex OUTPUT.cpp      (the build makes the game's copy, generated/JunctionData.cpp)
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

void Emit(std::ostringstream& out, const char* name, const std::vector<uint8_t>& img)
{
    out << "alignas(16) unsigned char " << name << "[" << img.size() << "] = {";
    for (size_t i = 0; i < img.size(); ++i)
        out << (i % 24 == 0 ? "\n    " : " ") << int(img[i]) << ",";
    out << "\n};\n";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: jctntex OUTPUT.cpp\n");
        return 2;
    }
    std::ostringstream out;
    out << "// Made by tools/jctntex during the build: the junction textures.\n";
    Emit(out, "TPage_Jctn_Fill_Image", Fill());
    Emit(out, "TPage_Jctn_Crosswalk_Image", Crosswalk());
    std::ofstream file(argv[1], std::ios::binary);
    file << out.str();
    if (!file.flush()) {
        std::fprintf(stderr, "jctntex: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
