#include "core/png.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace console {
namespace {

constexpr std::array<uint32_t, 256> BuildCrcTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = BuildCrcTable();

// The same CRC eight bytes a step: table k gives the effect of a byte
// followed by k zero bytes (the frame log checks 1.3 MB a field).
constexpr std::array<std::array<uint32_t, 256>, 8> BuildCrcSlices()
{
    std::array<std::array<uint32_t, 256>, 8> t{};
    t[0] = kCrcTable;
    for (size_t k = 1; k < 8; ++k)
        for (size_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ kCrcTable[t[k - 1][i] & 0xFF];
    return t;
}

constexpr auto kCrcSlices = BuildCrcSlices();

// Largest dimension accepted: keeps every size below fit in 32 bits on this
// host (65,535 x 65,535 x 4 would not; the GS's own limit is 2,048).
constexpr uint32_t kMaxDimension = 65535;
constexpr uint64_t kMaxRawBytes = 256u << 20;

// A stored deflate block holds at most 65,535 bytes.
constexpr size_t kStoredBlockMax = 65535;

void PutBe32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

// Appends a chunk: length, type, data, CRC over type and data.
void PutChunk(std::vector<uint8_t>& out, const char (&type)[5], std::span<const uint8_t> data)
{
    PutBe32(out, static_cast<uint32_t>(data.size()));
    const size_t type_at = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBe32(out, Crc32(std::span<const uint8_t>(out.data() + type_at, 4 + data.size())));
}

bool Fail(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
    return false;
}

}  // namespace

uint32_t Crc32(std::span<const uint8_t> data, uint32_t crc)
{
    crc = ~crc;
    const uint8_t* p = data.data();
    size_t n = data.size();
    for (; n >= 8; n -= 8, p += 8) {
        const uint32_t lo = (p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24) ^ crc;
        const uint32_t hi = p[4] | p[5] << 8 | p[6] << 16 | static_cast<uint32_t>(p[7]) << 24;
        crc = kCrcSlices[7][lo & 0xFF] ^ kCrcSlices[6][(lo >> 8) & 0xFF] ^ kCrcSlices[5][(lo >> 16) & 0xFF] ^
              kCrcSlices[4][lo >> 24] ^ kCrcSlices[3][hi & 0xFF] ^ kCrcSlices[2][(hi >> 8) & 0xFF] ^
              kCrcSlices[1][(hi >> 16) & 0xFF] ^ kCrcSlices[0][hi >> 24];
    }
    for (; n > 0; --n, ++p)
        crc = kCrcTable[(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t Adler32(std::span<const uint8_t> data, uint32_t adler)
{
    constexpr uint32_t kMod = 65521;
    // 5,552 bytes is the most that can be summed before the 32-bit sums
    // could overflow.
    constexpr size_t kRun = 5552;
    uint32_t a = adler & 0xFFFF, b = adler >> 16;
    size_t i = 0;
    while (i < data.size()) {
        const size_t end = i + std::min(kRun, data.size() - i);
        for (; i < end; ++i) {
            a += data[i];
            b += a;
        }
        a %= kMod;
        b %= kMod;
    }
    return (b << 16) | a;
}

bool EncodePng(uint32_t width, uint32_t height, std::span<const uint8_t> rgba, PngColor color,
               std::vector<uint8_t>& out, std::string* error)
{
    out.clear();
    if (width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension)
        return Fail(error, "PNG size " + std::to_string(width) + "x" + std::to_string(height) +
                               " is outside 1..65535");
    if (rgba.size() != static_cast<uint64_t>(width) * height * 4)
        return Fail(error, "PNG pixel data holds " + std::to_string(rgba.size()) + " bytes, expected " +
                               std::to_string(static_cast<uint64_t>(width) * height * 4));
    const uint32_t channels = color == PngColor::kRgba ? 4 : 3;
    const uint64_t row_bytes = 1 + static_cast<uint64_t>(width) * channels;  // filter byte, then pixels
    const uint64_t raw_size = row_bytes * height;
    if (raw_size > kMaxRawBytes)
        return Fail(error, "PNG image of " + std::to_string(raw_size) + " bytes is too large");

    // The filtered scan lines (filter 0 on every row).
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(raw_size));
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        const uint8_t* src = rgba.data() + static_cast<size_t>(y) * width * 4;
        if (channels == 4) {
            raw.insert(raw.end(), src, src + static_cast<size_t>(width) * 4);
        } else {
            for (uint32_t x = 0; x < width; ++x, src += 4)
                raw.insert(raw.end(), src, src + 3);
        }
    }

    // The zlib stream: header (deflate, 32 KiB window, no dictionary, check
    // bits making it a multiple of 31), stored blocks, Adler-32.
    std::vector<uint8_t> z;
    const size_t blocks = (raw.size() + kStoredBlockMax - 1) / kStoredBlockMax;
    z.reserve(raw.size() + blocks * 5 + 6);
    z.push_back(0x78);
    z.push_back(0x01);
    for (size_t at = 0; at < raw.size(); at += kStoredBlockMax) {
        const size_t len = std::min(kStoredBlockMax, raw.size() - at);
        const bool last = at + len == raw.size();
        z.push_back(last ? 1 : 0);  // BFINAL, BTYPE 00 (stored), padded to the byte
        z.push_back(static_cast<uint8_t>(len));
        z.push_back(static_cast<uint8_t>(len >> 8));
        z.push_back(static_cast<uint8_t>(~len));
        z.push_back(static_cast<uint8_t>(~len >> 8));
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + len);
    }
    PutBe32(z, Adler32(raw));

    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.reserve(z.size() + 64);
    out.insert(out.end(), kSignature, kSignature + 8);

    std::vector<uint8_t> ihdr;
    PutBe32(ihdr, width);
    PutBe32(ihdr, height);
    ihdr.push_back(8);                       // bits per channel
    ihdr.push_back(channels == 4 ? 6 : 2);   // colour type: RGBA or RGB
    ihdr.push_back(0);                       // compression: deflate
    ihdr.push_back(0);                       // filter method 0
    ihdr.push_back(0);                       // no interlace
    PutChunk(out, "IHDR", ihdr);
    PutChunk(out, "IDAT", z);
    PutChunk(out, "IEND", {});
    return true;
}

bool WritePng(const std::string& path, uint32_t width, uint32_t height, std::span<const uint8_t> rgba,
              PngColor color, std::string* error)
{
    std::vector<uint8_t> png;
    std::string why;
    if (!EncodePng(width, height, rgba, color, png, &why))
        return Fail(error, path + ": " + why);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return Fail(error, path + ": cannot create: " + std::strerror(errno));
    const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    const int err = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed)
        return Fail(error, path + ": write failed: " + std::strerror(written ? errno : err));
    return true;
}

}  // namespace console
