// A small PNG writer for screenshots, frame dumps and the tools' views of GS
// memory, with the CRC-32 and Adler-32 checksums it needs (the frame log uses
// the CRC too).  Image data goes into stored deflate blocks: files are large
// but exact, and need no compression library.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace console {

// CRC-32 as PNG, zlib and gzip use it (reflected polynomial 0xEDB88320).
// Pass the previous result as `crc` to continue over several pieces.
uint32_t Crc32(std::span<const uint8_t> data, uint32_t crc = 0);

// Adler-32 of a zlib stream; pass the previous result to continue.
uint32_t Adler32(std::span<const uint8_t> data, uint32_t adler = 1);

enum class PngColor {
    kRgba,  // 8-bit RGBA, the alpha as given
    kRgb,   // 8-bit RGB, the alpha of the input dropped
};

// Encodes `width` x `height` pixels given as RGBA8 bytes, rows top to bottom,
// into `out`.  Fails with a message when a dimension is 0 or above 65,535,
// when `rgba` does not hold exactly width * height * 4 bytes, or when the
// image data would pass 256 MiB.
bool EncodePng(uint32_t width, uint32_t height, std::span<const uint8_t> rgba, PngColor color,
               std::vector<uint8_t>& out, std::string* error = nullptr);

// EncodePng, then writes the file; the message names the path on failure.
bool WritePng(const std::string& path, uint32_t width, uint32_t height, std::span<const uint8_t> rgba,
              PngColor color, std::string* error = nullptr);

}  // namespace console
