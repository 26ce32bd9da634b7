// Hand-assembled intra macroblock streams for IPU tests.  The codes are
// written out here as the MPEG tables print them, independently of the
// stand-in's own tables, so a wrong table entry shows as a wrong decode.
#pragma once

#include <ee/types.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace ipustream {

class Writer {
public:
    // Appends bits given as a string of '0' and '1' (spaces ignored).
    void Put(const char* bits)
    {
        for (const char* c = bits; *c; ++c)
            if (*c == '0' || *c == '1')
                Bit(*c == '1');
    }
    // Appends the low `n` bits of `value`, most significant first.
    void Put(u32 value, int n)
    {
        for (int i = n - 1; i >= 0; --i)
            Bit((value >> i) & 1);
    }
    // A sequence end code on a byte boundary, then zeros to a whole quadword.
    void End()
    {
        while (bits_ % 8)
            Bit(false);
        Put(0x000001B7, 32);
        while (bits_ % 128)
            Bit(false);
    }
    const std::vector<u8>& Bytes() const { return bytes_; }
    size_t Bits() const { return bits_; }

private:
    void Bit(bool b)
    {
        if (bits_ % 8 == 0)
            bytes_.push_back(0);
        if (b)
            bytes_.back() |= static_cast<u8>(0x80 >> (bits_ % 8));
        ++bits_;
    }

    std::vector<u8> bytes_;
    size_t bits_ = 0;
};

// dct_dc_size codes by size.
inline const char* const kLumaDcSize[12] = {"100",     "00",       "01",        "101",       "110",        "1110",
                                            "11110",   "111110",   "1111110",   "11111110",  "111111110",  "111111111"};
inline const char* const kChromaDcSize[12] = {"00",     "01",      "10",       "110",       "1110",       "11110",
                                              "111110", "1111110", "11111110", "111111110", "1111111110", "1111111111"};

// The DC size and differential bits of `diff`.
inline void PutDc(Writer& w, int diff, bool luma)
{
    int size = 0;
    for (int a = std::abs(diff); a; a >>= 1)
        ++size;
    w.Put(luma ? kLumaDcSize[size] : kChromaDcSize[size]);
    if (size)
        w.Put(static_cast<u32>(diff > 0 ? diff : diff + (1 << size) - 1), size);
}

// DC predictors of a slice at 8-bit precision.
struct Predictors {
    int y = 128, cb = 128, cr = 128;
};

// A macroblock whose six blocks hold DC only (quantised DC values, 8-bit
// precision), coded with table zero: increment 1, type intra, optionally a
// dct_type bit.
inline void DcOnlyMacroblock(Writer& w, const int (&dc)[6], Predictors& p, int dct_type = -1)
{
    w.Put("1");  // macroblock_address_increment 1
    w.Put("1");  // macroblock_type: intra
    if (dct_type >= 0)
        w.Put(static_cast<u32>(dct_type), 1);
    for (int b = 0; b < 6; ++b) {
        int& pred = b < 4 ? p.y : b == 4 ? p.cb : p.cr;
        PutDc(w, dc[b] - pred, b < 4);
        pred = dc[b];
        w.Put("10");  // end of block (table zero)
    }
}

// A flat macroblock of one colour.
inline void FlatMacroblock(Writer& w, int y, int cb, int cr, Predictors& p)
{
    const int dc[6] = {y, y, y, y, cb, cr};
    DcOnlyMacroblock(w, dc, p);
}

// The studio-range BT.601 conversion in 8-bit fixed point, as the public
// description of YCbCr to RGB888 gives it.
inline void Bt601(int y, int cb, int cr, u8 (&rgb)[3])
{
    auto clamp = [](int v) { return static_cast<u8>(v < 0 ? 0 : v > 255 ? 255 : v); };
    const int c = y - 16, d = cb - 128, e = cr - 128;
    rgb[0] = clamp((298 * c + 409 * e + 128) >> 8);
    rgb[1] = clamp((298 * c - 100 * d - 208 * e + 128) >> 8);
    rgb[2] = clamp((298 * c + 516 * d + 128) >> 8);
}

}  // namespace ipustream
