#include <gtest/gtest.h>

#include <ee/regs.h>
#include <vu/vu1.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "console/core/diag_support.h"
#include "console/vif/vif_stream.h"
#include "core/diag.h"
#include "vif/unpack.h"
#include "vif/vif1.h"

using namespace viftest;

namespace {

// An independent statement of the hardware's unpack rules, written from the
// register descriptions rather than from the engine: the data is read as a
// little-endian bit string, fields are picked by bit offset, and sign
// extension is done by shifting.
struct RefRegs {
    std::array<uint32_t, 4> row{};
    std::array<uint32_t, 4> col{};
    uint32_t mask = 0;
    uint32_t mode = 0;
};

uint32_t BitField(const std::vector<uint8_t>& bytes, size_t bit, unsigned bits)
{
    uint64_t v = 0;
    for (unsigned b = 0; b < bits / 8; ++b)
        v |= uint64_t{bytes[bit / 8 + b]} << (8 * b);
    return static_cast<uint32_t>(v);
}

uint32_t Extend(uint32_t v, unsigned bits, bool usn)
{
    if (usn || bits == 32)
        return v;
    const int shift = 32 - static_cast<int>(bits);
    return static_cast<uint32_t>(static_cast<int32_t>(v << shift) >> shift);
}

// Expected x y z w of data element e (vn, vl as in the code) before mask and
// mode.  `lead` is the byte position of the data's first byte within its
// 16-byte source quadword.
std::array<uint32_t, 4> RefElement(const std::vector<uint8_t>& data, unsigned vn, unsigned vl, bool usn, size_t e,
                                   size_t lead)
{
    if (vl == 3) {
        const uint32_t h = BitField(data, 16 * e, 16);
        return {(h & 31) * 8, ((h >> 5) & 31) * 8, ((h >> 10) & 31) * 8, (h >> 15) * 128};
    }
    const unsigned bits = 32 >> vl;
    const unsigned n = vn + 1;
    auto comp = [&](size_t k) { return Extend(BitField(data, (e * n + k) * bits, bits), bits, usn); };
    switch (n) {
    case 1: return {comp(0), comp(0), comp(0), comp(0)};
    case 2: return {comp(0), comp(1), comp(0), comp(1)};
    case 3: {
        // w: the next component of the stream when it is still in the same
        // source quadword and inside the data; otherwise 0.
        const size_t next_byte = (e + 1) * n * bits / 8;
        uint32_t w = 0;
        if ((lead + next_byte) % 16 != 0 && next_byte + bits / 8 <= data.size())
            w = comp(3);
        return {comp(0), comp(1), comp(2), w};
    }
    default: return {comp(0), comp(1), comp(2), comp(3)};
    }
}

uint32_t Lcg(uint32_t& seed)
{
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
}

u128 Pattern(uint32_t a)
{
    return {0xEEEE000000000000ull | a, 0xFFFF000000000000ull | (uint64_t{a} << 16)};
}

void FillPattern()
{
    for (uint32_t a = 0; a < vu1::kDataQuadwords; ++a)
        vu1::Vu1().mem[a] = Pattern(a);
}

std::vector<uint32_t> Words(const std::vector<uint8_t>& bytes)
{
    std::vector<uint32_t> w((bytes.size() + 3) / 4, 0);
    std::memcpy(w.data(), bytes.data(), bytes.size());
    return w;
}

using diagtest::LogHas;

struct FormatCase {
    unsigned vn, vl;
};
constexpr FormatCase kFormats[] = {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}, {2, 0},
                                   {2, 1}, {2, 2}, {3, 0}, {3, 1}, {3, 2}, {3, 3}};

}  // namespace

// Every format, signed and unsigned, unmasked / masked with data only /
// masked with row, column and write-protect fields, in each addition mode.
// CL = WL = 4 and NUM 7 use all four mask rows and restart the cycle.
TEST(Vif1Unpack, MatrixOfFormatSignMaskAndModeFollowsTheHardwareRules)
{
    const RefRegs regs_in{{0x7FFFFFF0u, 5u, 0x80000000u, 0xFFFFFFFFu}, {0xC0C00000u, 0xC1C10001u, 0xC2C20002u, 0xC3C30003u}};
    // Field pattern per write cycle (x in the low bits): row 0 data/row/col/protect, then permutations.
    const uint32_t kMixed = 0xB14E1BE4u;
    struct MaskCase {
        const char* name;
        bool masked;
        uint32_t mask;
    };
    const MaskCase masks[] = {{"unmasked (MASK ignored)", false, 0xFFFFFFFFu},
                              {"masked, all data", true, 0},
                              {"masked, row/col/protect", true, kMixed}};
    const uint32_t kNum = 7;
    const uint32_t kAddress = 100;
    uint32_t seed = 12345;
    int case_index = 0;

    for (const FormatCase& f : kFormats) {
        for (bool usn : {false, true}) {
            for (const MaskCase& m : masks) {
                for (uint32_t mode : {0u, 1u, 2u}) {
                    ++case_index;
                    SCOPED_TRACE(std::string("format ") + console::vif::UnpackFormatName(Unpack(f.vn, f.vl, 0, 0)) +
                                 (usn ? " unsigned, " : " signed, ") + m.name + ", mode " + std::to_string(mode));
                    dmatest::ResetMachine();
                    FillPattern();

                    const unsigned bits = f.vl == 3 ? 16 : (32 >> f.vl) * (f.vn + 1);
                    std::vector<uint8_t> data((kNum * bits + 31) / 32 * 4);
                    for (uint8_t& b : data)
                        b = static_cast<uint8_t>(Lcg(seed));

                    Stream s;
                    const unsigned lead_nops = case_index % 4;  // every alignment of the data
                    for (unsigned i = 0; i < lead_nops; ++i)
                        s << kNop;
                    s << Stcycl(4, 4) << kStmask << m.mask << kStrow;
                    for (uint32_t r : regs_in.row)
                        s << r;
                    s << kStcol;
                    for (uint32_t c : regs_in.col)
                        s << c;
                    s << Stmod(mode);
                    s << Unpack(f.vn, f.vl, kNum, kAddress, (usn ? kUsn : 0) | (m.masked ? kMasked : 0));
                    const size_t lead = 4 * (s.words.size() % 4);
                    for (uint32_t w : Words(data))
                        s << w;
                    s << Mark(0x1234);
                    Send(s);

                    // The expected memory.
                    std::vector<u128> expect(vu1::Vu1().mem, vu1::Vu1().mem + vu1::kDataQuadwords);
                    for (uint32_t a = 0; a < vu1::kDataQuadwords; ++a)
                        expect[a] = Pattern(a);
                    RefRegs r = regs_in;
                    const uint32_t mask = m.masked ? m.mask : 0;
                    for (uint32_t i = 0; i < kNum; ++i) {
                        const std::array<uint32_t, 4> v = RefElement(data, f.vn, f.vl, usn, i, lead);
                        const uint32_t k = i % 4;
                        uint32_t* out = reinterpret_cast<uint32_t*>(&expect[kAddress + i]);
                        for (unsigned c = 0; c < 4; ++c) {
                            switch ((mask >> (8 * k + 2 * c)) & 3) {
                            case 0:
                                if (mode == 0)
                                    out[c] = v[c];
                                else if (mode == 1)
                                    out[c] = v[c] + r.row[c];
                                else
                                    out[c] = r.row[c] = v[c] + r.row[c];
                                break;
                            case 1: out[c] = r.row[c]; break;
                            case 2: out[c] = r.col[k]; break;
                            default: break;
                            }
                        }
                    }
                    for (uint32_t a = kAddress - 1; a <= kAddress + kNum; ++a) {
                        const uint32_t* got = vu1::Vu1().I(a);
                        const uint32_t* want = reinterpret_cast<const uint32_t*>(&expect[a]);
                        for (unsigned c = 0; c < 4; ++c)
                            ASSERT_EQ(got[c], want[c]) << "quadword " << a << " field " << "xyzw"[c];
                    }
                    EXPECT_EQ(console::vif::GetRegisters().row, r.row);
                    EXPECT_EQ(DGET_VIF1_MARK(), 0x1234u) << "the stream lost its step after the data";
                }
            }
        }
    }
}

TEST(Vif1Unpack, SignExtensionAndV45ExpandExactValues)
{
    // Hand-picked values: the extremes of 8 and 16 bits and one 5:5:5:1 pixel.
    dmatest::ResetMachine();
    Stream s;
    s << Stcycl(1, 1);
    s << Unpack(0, 2, 4, 0) << 0x807F01FFu;                 // S-8 signed: -1, 1, 127, -128
    s << Unpack(0, 1, 2, 4, kUsn) << 0x8000FFFFu;            // S-16 unsigned: 0xFFFF, 0x8000
    s << Unpack(3, 3, 2, 6) << (0x8000u | 31u << 10 | 1u << 5 | 2u);  // V4-5: b 31, g 1, r 2, a 1; then 0
    Send(s);
    const vu1::Machine& vu = vu1::Vu1();
    EXPECT_EQ(vu.I(0)[0], 0xFFFFFFFFu);
    EXPECT_EQ(vu.I(1)[3], 1u);
    EXPECT_EQ(vu.I(2)[1], 127u);
    EXPECT_EQ(vu.I(3)[2], 0xFFFFFF80u);
    EXPECT_EQ(vu.I(4)[0], 0xFFFFu);
    EXPECT_EQ(vu.I(5)[0], 0x8000u);
    EXPECT_EQ((std::array<uint32_t, 4>{vu.I(6)[0], vu.I(6)[1], vu.I(6)[2], vu.I(6)[3]}),
              (std::array<uint32_t, 4>{16, 8, 248, 128}));
    EXPECT_EQ((std::array<uint32_t, 4>{vu.I(7)[0], vu.I(7)[1], vu.I(7)[2], vu.I(7)[3]}),
              (std::array<uint32_t, 4>{0, 0, 0, 0}));
}

TEST(Vif1Unpack, SkippingWriteLeavesTheGapsOfEachCycle)
{
    dmatest::ResetMachine();
    FillPattern();
    // CL 3, WL 1: one vector every three quadwords (SendStreams' stride).
    Stream s;
    s << Stcycl(3, 1) << Unpack(0, 0, 4, 10);
    for (uint32_t v : {11u, 22u, 33u, 44u})
        s << v;
    s << Mark(1);
    Send(s);
    for (uint32_t a = 10; a < 22; ++a) {
        if ((a - 10) % 3 == 0)
            EXPECT_EQ(vu1::Vu1().I(a)[2], 11u * ((a - 10) / 3 + 1)) << a;
        else
            EXPECT_EQ(vu1::Vu1().Q(a), Pattern(a)) << a;
    }
    EXPECT_EQ(vu1::Vu1().Q(20), Pattern(20));
    EXPECT_EQ(DGET_VIF1_MARK(), 1u);
}

TEST(Vif1Unpack, FillingWriteTakesRowOrMaskValuesForTheFilledVectors)
{
    dmatest::ResetMachine();
    FillPattern();
    // CL 1, WL 3, NUM 5: vectors 0 and 3 read data, 1, 2 and 4 are filled at
    // consecutive addresses.  Unmasked, a filled vector is the row; masked,
    // cycle 1 takes the column and cycle 2 is write-protected in x.
    Stream s;
    s << Stcycl(1, 3) << kStrow << 1 << 2 << 3 << 4 << kStcol << 50 << 51 << 52 << 53;
    s << Unpack(0, 0, 5, 200) << 0xAAu << 0xBBu;
    s << kStmask << (0xAAu << 8 | 0x03u << 16) << Unpack(0, 0, 5, 300, kMasked) << 0xCCu << 0xDDu;
    s << Mark(2);
    Send(s);
    const vu1::Machine& vu = vu1::Vu1();
    auto quad = [&](uint32_t a) { return std::array<uint32_t, 4>{vu.I(a)[0], vu.I(a)[1], vu.I(a)[2], vu.I(a)[3]}; };
    using A = std::array<uint32_t, 4>;
    EXPECT_EQ(quad(200), (A{0xAA, 0xAA, 0xAA, 0xAA}));
    EXPECT_EQ(quad(201), (A{1, 2, 3, 4}));
    EXPECT_EQ(quad(202), (A{1, 2, 3, 4}));
    EXPECT_EQ(quad(203), (A{0xBB, 0xBB, 0xBB, 0xBB}));
    EXPECT_EQ(quad(204), (A{1, 2, 3, 4}));
    EXPECT_EQ(vu.Q(205), Pattern(205));
    EXPECT_EQ(quad(300), (A{0xCC, 0xCC, 0xCC, 0xCC}));
    EXPECT_EQ(quad(301), (A{51, 51, 51, 51}));                 // cycle 1: all fields column 1
    EXPECT_EQ(quad(302)[0], static_cast<uint32_t>(Pattern(302).lo));  // cycle 2: x protected
    EXPECT_EQ(quad(302)[1], 2u);
    EXPECT_EQ(DGET_VIF1_MARK(), 2u);
}

TEST(Vif1Unpack, Num0Writes256VectorsAndAddressesWrapAt1024)
{
    dmatest::ResetMachine();
    Stream s;
    s << Stcycl(4, 4) << Unpack(0, 0, 0, 900);
    for (uint32_t i = 0; i < 256; ++i)
        s << (i + 1);
    s << Mark(3);
    Send(s);
    EXPECT_EQ(vu1::Vu1().I(900)[0], 1u);
    EXPECT_EQ(vu1::Vu1().I(1023)[0], 124u);
    EXPECT_EQ(vu1::Vu1().I(0)[0], 125u);
    EXPECT_EQ(vu1::Vu1().I(131)[0], 256u);
    EXPECT_EQ(vu1::Vu1().I(132)[0], 0u);
    EXPECT_EQ(DGET_VIF1_MARK(), 3u);
}

TEST(Vif1Unpack, DifferenceModeCarriesTheRowAcrossUnpacks)
{
    dmatest::ResetMachine();
    Stream s;
    s << Stcycl(1, 1) << kStrow << 10 << 20 << 30 << 40 << Stmod(2);
    s << Unpack(1, 1, 2, 0) << 0xFFFF0001u << 0x00020003u;  // (1, -1), (3, 2)
    s << Unpack(0, 2, 1, 2) << 0x000000FEu;                 // (-2)
    Send(s);
    const vu1::Machine& vu = vu1::Vu1();
    EXPECT_EQ(vu.I(0)[0], 11u);
    EXPECT_EQ(vu.I(0)[1], 19u);
    EXPECT_EQ(vu.I(1)[0], 14u);
    EXPECT_EQ(vu.I(1)[1], 21u);
    EXPECT_EQ(vu.I(1)[2], 34u);  // V2's z repeats x: 30 + 1 + 3
    EXPECT_EQ(vu.I(2)[0], 12u);  // 14 - 2
    EXPECT_EQ(vu.I(2)[3], 39u);  // w: 40 - 1 + 2 - 2
    EXPECT_EQ(console::vif::GetRegisters().row, (std::array<uint32_t, 4>{12, 19, 32, 39}));
}

TEST(Vif1Unpack, UndefinedFormatIsAnErrorAndItsDataIsSkipped)
{
    dmatest::ResetMachine();
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    Stream s;
    s << Stcycl(1, 1) << 0x63010000u << 0xDEADBEEFu << Mark(4);  // no S-5 format: sized as one 16-bit element
    Send(s);
    EXPECT_TRUE(LogHas("has no defined format"));
    EXPECT_EQ(DGET_VIF1_MARK(), 4u);
    EXPECT_EQ(vu1::Vu1().I(0)[0], 0u);
}
