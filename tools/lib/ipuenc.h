// Still-picture encoder: writes ".IPU" files ("ipum") as IPUBitmap reads them
// and the IPU's intra decoder takes them.
//
// File: the 16-byte IPUBitmap header ("ipum", stream length, width, height,
// one picture), then the stream: the flags byte, the picture's macroblocks
// (16 x 16 pixels each, row by row, or column by column with IPUF_COLUMNS;
// pixels beyond the picture's edge repeat the edge), zero bits to a byte
// boundary, a sequence end code (00 00 01 B7) that stops the decoder, and zero
// bytes up to a multiple of 16 (the stream is sent in whole quadwords).
//
// Each macroblock: address increment 1; type "1" (intra), or "01" with a
// 5-bit quantiser code on the first macroblock when the quantiser is not the 1
// the decoder starts with; a DCT type bit when the flags ask for it (field DCT
// chosen where the fields are smoother than the frame); then the four luma and
// two chroma blocks: RGB to BT.601 studio-range YCbCr, 4:2:0 by averaging,
// forward DCT, the DC difference against its predictor at the flags' DC
// precision, the AC levels quantised with the default intra matrix and coded
// with the flags' table and scan, escapes as MPEG-1 or MPEG-2 ask.
#pragma once

#include <ee/types.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// 8-bit RGBA, rows top to bottom (alpha is not stored: the decoder's output
// is opaque).
struct IpuImage {
    int width = 0;
    int height = 0;
    std::vector<u8> rgba;
};

// Flags byte bits besides IPUF_COLUMNS and IPUF_DCTTYPE (IPUBitmap.h): they
// reach IPU_CTRL as (flags & 0xFA) << 16.
constexpr u8 kIpuDcPrecision10 = 0x02;  // 10-bit intra DC
constexpr u8 kIpuAlternateScan = 0x10;
constexpr u8 kIpuIntraVlcTable = 0x20;  // DCT table one
constexpr u8 kIpuNonLinearQuant = 0x40;
constexpr u8 kIpuMpeg1 = 0x80;

struct IpuEncodeOptions {
    u8 flags = 0;
    int quantiser = 1;  // quantiser_scale_code, 1 (finest) to 31
};

// Encodes `img`.  False with a message for an empty or oversized picture
// (each side 1 to 65,535), a pixel buffer of the wrong length, a quantiser
// outside 1..31, or a stream longer than one IPU transfer (65,535
// quadwords): use a coarser quantiser then.
bool EncodeIpu(const IpuImage& img, const IpuEncodeOptions& options, std::vector<u8>& file, std::string& error);

// Decodes picture 0 of an ".IPU" file with the stand-in's intra decoder
// (as the IPU would, RGB32) into an image of the picture's size.  False with
// a message for a bad header or a stream that breaks off.
bool DecodeIpu(std::span<const u8> file, IpuImage& img, std::string& error);

// Peak signal-to-noise ratio in dB of b against a over R, G and B (infinity
// when they are equal).  Both must have the same size.
double IpuPsnr(const IpuImage& a, const IpuImage& b);

// Reads a binary PPM ("P6", maxval 255).
bool ReadPpm(const std::string& path, IpuImage& img, std::string& error);

// A generated picture for the sample disc: smooth colour fields and shapes,
// different for each name ("title", "loading", "end1", ...).
IpuImage SamplePicture(std::string_view name, int width, int height);

// The program: "ipuenc [--columns] [--quantiser N] [--flags 0xNN]
// (IN.ppm | --sample NAME WxH) OUT.IPU", "--cpp SYMBOL" writes the file as a
// C++ byte array instead, "ipuenc --preview IN.IPU OUT.png".  Returns the
// exit status.
int RunIpuEnc(std::span<const char* const> args);

}  // namespace tools
