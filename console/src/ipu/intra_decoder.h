// The IPU's intra decoder as plain functions: one macroblock of an intra
// slice from a bit stream to its Y, Cb and Cr samples (variable-length codes,
// DC prediction, inverse scan and quantisation, mismatch control, inverse
// DCT), and the colour conversion of those samples to the IPU's RGB32 and
// RGB16 output.  The IPU model (ipu/ipu.h) drives it from its input FIFO;
// tests and tools may call it directly.
//
// Macroblock syntax read here, after the picture's flags:
//   macroblock_address_increment  (its value is not used: the IPU emits
//                                  macroblocks in stream order)
//   macroblock_type               "1" intra, "01" intra with quantiser code
//   dct_type                      1 bit, only when IDEC's DTD is set
//   quantiser_scale_code          5 bits, only for "01"
//   four luma blocks (top left, top right, bottom left, bottom right), Cb, Cr:
//     dct_dc_size, dct_dc_differential, then run/level codes up to end of block
#pragma once

#include <ee/types.h>

#include <cstddef>
#include <cstring>
#include <span>

namespace console::ipu {

// MSB-first reader over a byte array.  Reading past the end yields zero bits
// and marks the reader as overrun, so a truncated stream can be told apart
// from a bad code.
class BitReader {
public:
    BitReader(std::span<const u8> data, size_t bit_position) : data_(data), pos_(bit_position) {}

    // The next n bits (0 to 32) without consuming them.
    u32 Peek(int n) const
    {
        if (n <= 0)
            return 0;
        size_t byte = pos_ / 8;
        u64 window = 0;
        if (byte + 8 <= data_.size()) {
            // Away from the end: the five bytes the window needs, read at once.
            std::memcpy(&window, data_.data() + byte, 8);
            window = __builtin_bswap64(window) >> 24;
        } else {
            for (int i = 0; i < 5; ++i, ++byte)
                window = (window << 8) | (byte < data_.size() ? data_[byte] : 0);
        }
        const int shift = 40 - static_cast<int>(pos_ % 8) - n;
        return static_cast<u32>((window >> shift) & ((u64{1} << n) - 1));
    }
    void Skip(int n) { pos_ += static_cast<size_t>(n); }
    u32 Read(int n)
    {
        u32 v = Peek(n);
        Skip(n);
        return v;
    }

    size_t Position() const { return pos_; }
    size_t SizeBits() const { return data_.size() * 8; }
    size_t BitsLeft() const { return pos_ < SizeBits() ? SizeBits() - pos_ : 0; }
    bool Overrun() const { return pos_ > SizeBits(); }

private:
    std::span<const u8> data_;
    size_t pos_;
};

// The picture-level settings IPU_CTRL holds (bits 16 to 23).
struct PictureControl {
    int idp = 0;                   // intra DC precision: 8 + idp bits
    bool alternate_scan = false;   // AS
    bool intra_vlc_format = false; // IVF: DCT table one
    bool non_linear_q = false;     // QST
    bool mpeg1 = false;            // MP1: MPEG-1 escapes and inverse quantisation

    static PictureControl FromCtrl(u32 ctrl);
};

// State carried from one macroblock to the next within one IDEC.
struct SliceState {
    int dc_pred[3] = {};       // Y, Cb, Cr in quantised DC units
    int quantiser_code = 1;

    // The state at the start of a slice: predictors at mid-grey (128 in
    // 8-bit terms at the picture's DC precision).
    static SliceState Start(const PictureControl& pc, int quantiser_code);
};

// A decoded macroblock: 16 x 16 luma and 8 x 8 of each chroma, raster order.
struct MacroblockSamples {
    u8 y[256];
    u8 cb[64];
    u8 cr[64];
};

enum class DecodeStatus {
    kOk,
    kBadCode,  // no code matches, or a coefficient lands past the block
    kOverrun,  // the stream ended inside the macroblock
};

struct DecodeResult {
    DecodeStatus status = DecodeStatus::kOk;
    const char* what = "";   // what could not be read, for diagnostics
    bool field_dct = false;  // dct_type was 1
};

// Decodes one macroblock at the reader's position.  On success the reader is
// after the macroblock and `state` is updated; otherwise both are left as
// the failure found them.
DecodeResult DecodeIntraMacroblock(BitReader& bits, const PictureControl& pc, bool dct_type_present,
                                   SliceState& state, MacroblockSamples& out);

// Inverse 8 x 8 DCT of dequantised coefficients (raster order) to samples
// clamped to 0..255.
void InverseDct(const int (&coefficients)[64], u8 (&samples)[64]);

// The studio-range colour conversion of one sample triple.
struct Rgb {
    u8 r, g, b;
    bool operator==(const Rgb&) const = default;
};
Rgb YCbCrToRgb(int y, int cb, int cr);

// A macroblock in the IPU's output formats, pixels in raster order: RGB32 is
// 16 x 16 words R | G << 8 | B << 16 | 0x80 << 24 (1,024 bytes); RGB16 is
// 16 x 16 halfwords R5 | G5 << 5 | B5 << 10 | 1 << 15 (512 bytes), with an
// ordered 4 x 4 dither added before the truncation when `dither` is set.
constexpr size_t kRgb32MacroblockBytes = 1024;
constexpr size_t kRgb16MacroblockBytes = 512;
void ConvertRgb32(const MacroblockSamples& mb, u8* out);
void ConvertRgb16(const MacroblockSamples& mb, bool dither, u8* out);

}  // namespace console::ipu
