// Pictures drawn by the stand-in's GS, compared by CRC with golden PNGs kept
// in tests/golden/.  On a mismatch the picture drawn is written beside the
// golden one as <name>.actual.png; on a match a stale one is removed.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console/host/png_reader.h"
#include "core/png.h"
#include "gs/gs.h"

namespace golden {

// The test programs are built with the source tree's path (a compiler cache
// may rewrite __FILE__ relative to the build directory).
inline std::string Dir()
{
    return std::string(KORVALIS_SOURCE_DIR) + "/tests/golden/";
}

// Pixel (x, y) of the w-wide 32-bit frame buffer at block 0.
inline u32 FramePixel(int x, int y, int w)
{
    return console::gs::Vram().ReadPixel(console::gs::Psm::kCT32, 0, w / 64, u32(x), u32(y));
}

// The w x h frame buffer at block 0, row by row.
inline std::vector<u32> FramePicture(int w, int h)
{
    std::vector<u32> p;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            p.push_back(FramePixel(x, y, w));
    return p;
}

// The pixels of a decoded picture (RGBA words, red in the low byte), row by
// row.
inline std::vector<u32> PictureWords(const png_reader::Picture& pic)
{
    std::vector<u32> words;
    for (u32 y = 0; y < pic.height; y++)
        for (u32 x = 0; x < pic.width; x++)
            words.push_back(pic.At(x, y));
    return words;
}

// Compares the colour of a w x h picture (RGBA words, red in the low byte,
// row by row) with tests/golden/<name>.png.
inline void ExpectPicture(const std::string& name, int w, int h, const std::vector<u32>& picture)
{
    std::vector<u8> rgb, rgba;
    for (const u32 p : picture) {
        rgb.insert(rgb.end(), {u8(p), u8(p >> 8), u8(p >> 16)});
        rgba.insert(rgba.end(), {u8(p), u8(p >> 8), u8(p >> 16), 0xFF});
    }
    const u32 crc = console::Crc32(rgb);
    const std::string golden = Dir() + name + ".png", actual = Dir() + name + ".actual.png";
    std::ifstream in(golden, std::ios::binary);
    const std::vector<u8> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    png_reader::Picture want;
    const bool match = !file.empty() && bool(png_reader::Decode(file, want)) && want.width == u32(w) &&
                       want.height == u32(h) && want.channels == 3 && console::Crc32(want.bytes) == crc;
    if (!match) {
        std::filesystem::create_directories(Dir());
        console::WritePng(actual, w, h, rgba, console::PngColor::kRgb);
        ADD_FAILURE() << "the picture differs from " << golden << " (CRC " << std::hex << crc
                      << "); the picture drawn is in " << actual;
    } else {
        std::remove(actual.c_str());
    }
}

// Compares the colour of the w x h frame buffer at block 0 with
// tests/golden/<name>.png.
inline void ExpectFrameBuffer(const std::string& name, int w, int h)
{
    ExpectPicture(name, w, h, FramePicture(w, h));
}

}  // namespace golden
