#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/png.h"

namespace {

std::span<const uint8_t> Bytes(const std::string& s)
{
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// Bit-by-bit CRC-32 and a plain Adler-32, as the zlib and PNG documents
// define them, to check the writer's table-driven ones independently.
uint32_t SlowCrc(const uint8_t* p, size_t n)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

uint32_t SlowAdler(const std::vector<uint8_t>& d)
{
    uint64_t a = 1, b = 0;
    for (uint8_t x : d) {
        a = (a + x) % 65521;
        b = (b + a) % 65521;
    }
    return static_cast<uint32_t>((b << 16) | a);
}

uint32_t Be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// A minimal PNG reader for what the writer produces: 8-bit RGB or RGBA, no
// interlace, a zlib stream of stored blocks, filter 0 rows.  Every check a
// decoder makes fails the test with a message.
struct Decoded {
    uint32_t width = 0, height = 0;
    int channels = 0;
    std::vector<uint8_t> pixels;  // rows of width * channels bytes
};

::testing::AssertionResult DecodePng(const std::vector<uint8_t>& png, Decoded& out)
{
    static const uint8_t kSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 8 || !std::equal(kSig, kSig + 8, png.begin()))
        return ::testing::AssertionFailure() << "bad signature";
    std::vector<uint8_t> z;
    bool ended = false;
    size_t at = 8;
    std::string order;
    while (!ended) {
        if (at + 12 > png.size())
            return ::testing::AssertionFailure() << "truncated chunk at " << at;
        const uint32_t len = Be32(&png[at]);
        const std::string type(png.begin() + at + 4, png.begin() + at + 8);
        if (at + 12 + len > png.size())
            return ::testing::AssertionFailure() << "chunk " << type << " overruns the file";
        const uint8_t* data = &png[at + 8];
        if (Be32(data + len) != SlowCrc(&png[at + 4], 4 + len))
            return ::testing::AssertionFailure() << "bad CRC on " << type;
        order += type + " ";
        if (type == "IHDR") {
            if (len != 13 || data[8] != 8 || data[10] != 0 || data[11] != 0 || data[12] != 0)
                return ::testing::AssertionFailure() << "unexpected IHDR";
            out.width = Be32(data);
            out.height = Be32(data + 4);
            out.channels = data[9] == 6 ? 4 : data[9] == 2 ? 3 : 0;
        } else if (type == "IDAT") {
            z.insert(z.end(), data, data + len);
        } else if (type == "IEND") {
            ended = true;
        }
        at += 12 + len;
    }
    if (order.substr(0, 5) != "IHDR " || at != png.size())
        return ::testing::AssertionFailure() << "chunks: " << order << "end at " << at << " of " << png.size();

    if (z.size() < 6 || (z[0] & 0x0F) != 8 || ((z[0] << 8) | z[1]) % 31 != 0 || (z[1] & 0x20))
        return ::testing::AssertionFailure() << "bad zlib header";
    std::vector<uint8_t> raw;
    size_t p = 2;
    for (bool last = false; !last;) {
        if (p + 5 > z.size())
            return ::testing::AssertionFailure() << "truncated deflate block";
        last = z[p] & 1;
        if (((z[p] >> 1) & 3) != 0)
            return ::testing::AssertionFailure() << "not a stored block";
        const uint32_t len = z[p + 1] | (z[p + 2] << 8), nlen = z[p + 3] | (z[p + 4] << 8);
        if ((len ^ 0xFFFF) != nlen)
            return ::testing::AssertionFailure() << "LEN/NLEN mismatch";
        p += 5;
        if (p + len > z.size())
            return ::testing::AssertionFailure() << "stored block overruns";
        raw.insert(raw.end(), z.begin() + p, z.begin() + p + len);
        p += len;
    }
    if (p + 4 != z.size() || Be32(&z[p]) != SlowAdler(raw))
        return ::testing::AssertionFailure() << "bad Adler-32 or trailing data";

    const size_t row = size_t(out.width) * out.channels;
    if (raw.size() != (row + 1) * out.height)
        return ::testing::AssertionFailure() << "image data of " << raw.size() << " bytes";
    for (uint32_t y = 0; y < out.height; ++y) {
        const uint8_t* r = &raw[y * (row + 1)];
        if (r[0] != 0)
            return ::testing::AssertionFailure() << "row " << y << " filter " << int(r[0]);
        out.pixels.insert(out.pixels.end(), r + 1, r + 1 + row);
    }
    return ::testing::AssertionSuccess();
}

std::vector<uint8_t> Pattern(uint32_t w, uint32_t h)
{
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
    return rgba;
}

}  // namespace

TEST(PngChecksums, KnownValues)
{
    EXPECT_EQ(console::Crc32(Bytes("123456789")), 0xCBF43926u);
    EXPECT_EQ(console::Crc32(Bytes("")), 0u);
    EXPECT_EQ(console::Crc32(Bytes("IEND")), 0xAE426082u);  // the CRC every PNG ends with
    EXPECT_EQ(console::Adler32(Bytes("Wikipedia")), 0x11E60398u);
    EXPECT_EQ(console::Adler32(Bytes("")), 1u);
}

TEST(PngChecksums, ContinueAcrossPieces)
{
    const std::string text(20000, 'z');
    const std::string whole = text + "123456789";
    const uint32_t crc = console::Crc32(Bytes(whole.substr(9000)), console::Crc32(Bytes(whole.substr(0, 9000))));
    EXPECT_EQ(crc, console::Crc32(Bytes(whole)));
    const uint32_t adler =
        console::Adler32(Bytes(whole.substr(7)), console::Adler32(Bytes(whole.substr(0, 7))));
    EXPECT_EQ(adler, console::Adler32(Bytes(whole)));
    // Long runs of 0xFF are where a deferred modulo would overflow.
    std::vector<uint8_t> ff(100000, 0xFF);
    EXPECT_EQ(console::Adler32(ff), SlowAdler(ff));
}

TEST(PngWriter, SmallRgbaImageDecodesToItsPixels)
{
    const std::vector<uint8_t> rgba = Pattern(3, 2);
    std::vector<uint8_t> png;
    ASSERT_TRUE(console::EncodePng(3, 2, rgba, console::PngColor::kRgba, png));
    Decoded d;
    ASSERT_TRUE(DecodePng(png, d));
    EXPECT_EQ(d.width, 3u);
    EXPECT_EQ(d.height, 2u);
    EXPECT_EQ(d.channels, 4);
    EXPECT_EQ(d.pixels, rgba);
}

TEST(PngWriter, LargeImageSpansManyStoredBlocks)
{
    // 640 x 512 RGBA is about 1.3 MB of image data: twenty stored blocks.
    const std::vector<uint8_t> rgba = Pattern(640, 512);
    std::vector<uint8_t> png;
    ASSERT_TRUE(console::EncodePng(640, 512, rgba, console::PngColor::kRgba, png));
    Decoded d;
    ASSERT_TRUE(DecodePng(png, d));
    EXPECT_EQ(d.pixels, rgba);
}

TEST(PngWriter, RgbDropsAlpha)
{
    const std::vector<uint8_t> rgba = Pattern(17, 5);
    std::vector<uint8_t> png;
    ASSERT_TRUE(console::EncodePng(17, 5, rgba, console::PngColor::kRgb, png));
    Decoded d;
    ASSERT_TRUE(DecodePng(png, d));
    ASSERT_EQ(d.channels, 3);
    std::vector<uint8_t> rgb;
    for (size_t i = 0; i < rgba.size(); i += 4)
        rgb.insert(rgb.end(), rgba.begin() + i, rgba.begin() + i + 3);
    EXPECT_EQ(d.pixels, rgb);
}

TEST(PngWriter, RefusesBadSizesWithAMessage)
{
    std::vector<uint8_t> png;
    std::string error;
    EXPECT_FALSE(console::EncodePng(0, 4, {}, console::PngColor::kRgba, png, &error));
    EXPECT_NE(error.find("0x4"), std::string::npos) << error;
    const std::vector<uint8_t> rgba = Pattern(4, 4);
    EXPECT_FALSE(console::EncodePng(4, 5, rgba, console::PngColor::kRgba, png, &error));
    EXPECT_NE(error.find("expected 80"), std::string::npos) << error;
    EXPECT_FALSE(console::EncodePng(70000, 1, rgba, console::PngColor::kRgba, png, &error));
    EXPECT_TRUE(png.empty());
}

TEST(PngWriter, FileHoldsTheEncodedImage)
{
    const std::vector<uint8_t> rgba = Pattern(9, 9);
    const std::string path = ::testing::TempDir() + "png_writer_test.png";
    std::string error;
    ASSERT_TRUE(console::WritePng(path, 9, 9, rgba, console::PngColor::kRgba, &error)) << error;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> png;
    ASSERT_TRUE(console::EncodePng(9, 9, rgba, console::PngColor::kRgba, png));
    EXPECT_EQ(file, png);
    std::remove(path.c_str());

    EXPECT_FALSE(console::WritePng("/nonexistent-dir/x.png", 9, 9, rgba, console::PngColor::kRgba, &error));
    EXPECT_NE(error.find("/nonexistent-dir/x.png"), std::string::npos) << error;
}
