// A PNG reader for what the stand-in's writer produces (8-bit RGB or RGBA,
// no interlace, a zlib stream of stored blocks, filter 0 rows), so tests can
// look at dumped pictures pixel by pixel.  Every check fails the test with a
// message.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace png_reader {

struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 0;
    std::vector<uint8_t> bytes;  // rows of width * channels bytes

    // The pixel as 0xAABBGGRR, alpha 0xFF for RGB pictures.
    uint32_t At(uint32_t x, uint32_t y) const
    {
        const uint8_t* p = &bytes[(size_t{y} * width + x) * channels];
        return p[0] | p[1] << 8 | p[2] << 16 | (channels == 4 ? uint32_t{p[3]} << 24 : 0xFF000000u);
    }
};

inline uint32_t Be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

inline ::testing::AssertionResult Decode(const std::vector<uint8_t>& png, Picture& out)
{
    static const uint8_t kSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 8 || !std::equal(kSig, kSig + 8, png.begin()))
        return ::testing::AssertionFailure() << "bad signature";
    std::vector<uint8_t> z;
    size_t at = 8;
    for (bool ended = false; !ended;) {
        if (at + 12 > png.size())
            return ::testing::AssertionFailure() << "truncated chunk at " << at;
        const uint32_t len = Be32(&png[at]);
        const std::string type(png.begin() + at + 4, png.begin() + at + 8);
        if (at + 12 + len > png.size())
            return ::testing::AssertionFailure() << "chunk " << type << " overruns the file";
        const uint8_t* data = &png[at + 8];
        if (type == "IHDR") {
            if (len != 13 || data[8] != 8 || data[12] != 0)
                return ::testing::AssertionFailure() << "unexpected IHDR";
            out.width = Be32(data);
            out.height = Be32(data + 4);
            out.channels = data[9] == 6 ? 4 : data[9] == 2 ? 3 : 0;
            if (!out.channels)
                return ::testing::AssertionFailure() << "colour type " << int{data[9]};
        } else if (type == "IDAT") {
            z.insert(z.end(), data, data + len);
        } else if (type == "IEND") {
            ended = true;
        }
        at += 12 + len;
    }
    // zlib header, then stored blocks only.
    if (z.size() < 6)
        return ::testing::AssertionFailure() << "short zlib stream";
    std::vector<uint8_t> raw;
    size_t p = 2;
    for (bool last = false; !last;) {
        if (p + 5 > z.size())
            return ::testing::AssertionFailure() << "truncated deflate block";
        last = z[p] & 1;
        if ((z[p] >> 1) & 3)
            return ::testing::AssertionFailure() << "not a stored block";
        const uint32_t n = z[p + 1] | z[p + 2] << 8;
        if ((n ^ (z[p + 3] | z[p + 4] << 8)) != 0xFFFF)
            return ::testing::AssertionFailure() << "bad stored length";
        if (p + 5 + n > z.size())
            return ::testing::AssertionFailure() << "stored block overruns";
        raw.insert(raw.end(), z.begin() + p + 5, z.begin() + p + 5 + n);
        p += 5 + n;
    }
    const size_t row = size_t{out.width} * out.channels;
    if (raw.size() != (row + 1) * out.height)
        return ::testing::AssertionFailure() << "image data of " << raw.size() << " bytes";
    out.bytes.clear();
    for (uint32_t y = 0; y < out.height; ++y) {
        if (raw[y * (row + 1)] != 0)
            return ::testing::AssertionFailure() << "row filter " << int{raw[y * (row + 1)]};
        out.bytes.insert(out.bytes.end(), raw.begin() + y * (row + 1) + 1, raw.begin() + (y + 1) * (row + 1));
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult Load(const std::string& path, Picture& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return ::testing::AssertionFailure() << "cannot open " << path;
    std::vector<uint8_t> png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return Decode(png, out);
}

// CRC-32 bit by bit, as the PNG and zlib documents define it.
inline uint32_t SlowCrc32(const uint8_t* p, size_t n)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

}  // namespace png_reader
