#include "gs/display.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <emmintrin.h>

#include "core/config.h"
#include "core/diag.h"
#include "ee/console_out.h"
#include "ee/regs_internal.h"
#include "gs/gs.h"
#include "gs/gs_local.h"
#include "gs/gsdump.h"
#include "gs/gsmem.h"

namespace console::gs {
namespace {

constexpr uint32_t kDefaultWidth = 640;
constexpr uint32_t kDefaultHeight = 512;
constexpr uint32_t kOpaque = 0xFF000000u;

struct DisplayModel {
    GraphMode graph;
    // Size of the last picture that had a circuit on: a display switched off
    // keeps its size, so a front end's window does not jump.
    uint32_t last_width = kDefaultWidth;
    uint32_t last_height = kDefaultHeight;
    std::array<bool, 32> warned_psm{};
    host::RgbaImage frame;  // reused from field to field
    // What `frame` was read out from, so that a field showing the same
    // registers over memory not written since keeps it.
    ReadOutMemo frame_memo;
};

DisplayModel& M()
{
    static DisplayModel model;
    return model;
}

// 16-bit pixel to RGBA8: 5-bit channels widened with their top bits repeated
// below, the alpha bit as the GS's 0x80.  Computed, not looked up: a 256 KiB
// table competes with the frame for the cache.
inline uint32_t Expand16(uint32_t v)
{
    const uint32_t spread = (v & 0x1Fu) | ((v & 0x3E0u) << 3) | ((v & 0x7C00u) << 6);
    return (spread << 3) | ((spread >> 2) & 0x070707u) | ((v & 0x8000u) << 16);
}

uint32_t Bits(uint64_t value, int shift, int width)
{
    return static_cast<uint32_t>((value >> shift) & ((uint64_t{1} << width) - 1));
}

// One read circuit as the read-out sees it.
struct Circuit {
    Psm psm = Psm::kCT32;
    uint32_t fbp = 0, fbw = 0, dbx = 0, dby = 0;
    uint32_t dx = 0, dy = 0, magh = 1, magv = 1;  // magnifications as factors (1..16, 1..4)
    uint32_t width = 0, height = 0;               // pixels of the displayed rectangle
    uint32_t readable_w = 0, readable_h = 0;      // of those, the ones the buffer holds
};

bool DecodeCircuit(uint64_t dispfb, uint64_t display, Circuit& c)
{
    const uint32_t code = Bits(dispfb, 15, 5);
    if (code != 0x00 && code != 0x01 && code != 0x02 && code != 0x0A) {
        if (!M().warned_psm[code]) {
            M().warned_psm[code] = true;
            Diag(Level::kWarning, "gs", "display: pixel format 0x%02X cannot be shown; the read circuit shows nothing",
                 code);
        }
        return false;
    }
    c.psm = static_cast<Psm>(code);
    c.fbp = Bits(dispfb, 0, 9);
    c.fbw = Bits(dispfb, 9, 6);
    c.dbx = Bits(dispfb, 32, 11);
    c.dby = Bits(dispfb, 43, 11);
    c.dx = Bits(display, 0, 12);
    c.dy = Bits(display, 12, 11);
    c.magh = Bits(display, 23, 4) + 1;
    c.magv = Bits(display, 27, 2) + 1;
    c.width = (Bits(display, 32, 12) + 1) / c.magh;
    c.height = (Bits(display, 44, 11) + 1) / c.magv;
    // The buffer holds FBW x 64 pixels across; coordinates are 11 bits.
    const uint32_t across = std::min<uint32_t>(c.fbw * 64, 2048);
    c.readable_w = c.dbx < across ? std::min(c.width, across - c.dbx) : 0;
    c.readable_h = std::min(c.height, 2048 - c.dby);
    return c.width > 0 && c.height > 0;
}

// Where one circuit's rows and columns fall in the picture.
struct Placement {
    const Circuit* circuit = nullptr;
    std::vector<int32_t> column;  // per picture column: buffer x, or -1
    std::vector<int32_t> row;     // per picture row: buffer y, or -1
    std::vector<uint8_t> covered;  // per picture column: 1 where the circuit shows
    // The columns as runs of consecutive buffer columns: picture columns
    // [x0, x1) show buffer columns bx0 on.
    struct Run {
        uint32_t x0, x1, bx0;
    };
    std::vector<Run> runs;
};

void Place(const Circuit& c, uint32_t origin_x, uint32_t origin_y, uint32_t unit_x, uint32_t unit_y, uint32_t width,
           uint32_t height, Placement& p)
{
    p.circuit = &c;
    p.column.assign(width, -1);
    p.row.assign(height, -1);
    p.covered.assign(width, 0);
    p.runs.clear();
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t clock = origin_x + x * unit_x;
        if (clock < c.dx)
            continue;
        const uint32_t col = (clock - c.dx) / c.magh;
        if (col < c.readable_w) {
            const uint32_t bx = c.dbx + col;
            p.column[x] = static_cast<int32_t>(bx);
            p.covered[x] = 1;
            if (!p.runs.empty() && p.runs.back().x1 == x && p.runs.back().bx0 + (x - p.runs.back().x0) == bx)
                ++p.runs.back().x1;
            else
                p.runs.push_back({x, x + 1, bx});
        }
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t line = origin_y + y * unit_y;
        if (line < c.dy)
            continue;
        const uint32_t r = (line - c.dy) / c.magv;
        if (r < c.readable_h)
            p.row[y] = static_cast<int32_t>(c.dby + r);
    }
}

// Reads the picture row `y` of a circuit into `out` (RGBA with the pixel's
// alpha); columns the circuit does not cover are left alone and flagged 0 in
// `covered`.  Each run of consecutive buffer columns is read a page at a
// time, through the row's table.
void ReadRow(const LocalMemory& mem, const Placement& p, uint32_t y, uint32_t* out, uint8_t* covered)
{
    const uint32_t width = static_cast<uint32_t>(p.column.size());
    if (p.row[y] < 0) {
        std::fill(covered, covered + width, 0);
        return;
    }
    std::copy(p.covered.begin(), p.covered.end(), covered);
    const Circuit& c = *p.circuit;
    const Layout& layout = LayoutOf(c.psm);
    const RowCursor cursor(layout, c.fbp * 32, c.fbw, static_cast<uint32_t>(p.row[y]));
    const uint16_t* const table = cursor.RowTable();
    const uint32_t mask = cursor.MaskX(), units = cursor.UnitsMask();
    const bool half = layout.unit == Unit::kHalf;
    const bool ct24 = c.psm == Psm::kCT24;
    const uint32_t* const words = mem.Words();
    const uint16_t* const halves = mem.Halves();
    for (const Placement::Run& run : p.runs) {
        uint32_t bx = run.bx0;
        for (uint32_t x = run.x0; x < run.x1;) {
            const uint32_t n = std::min(run.x1 - x, (bx | mask) + 1 - bx);
            const uint32_t base = cursor.PageBase(bx);
            uint32_t* const to = out + x;
            const uint16_t* const t = table + (bx & mask);
            if (half) {
                for (uint32_t k = 0; k < n; ++k)
                    to[k] = Expand16(halves[(base + t[k]) & units]);
            } else if (ct24) {
                for (uint32_t k = 0; k < n; ++k)
                    to[k] = (words[(base + t[k]) & units] & 0xFFFFFFu) | 0x80u << 24;
            } else {
                for (uint32_t k = 0; k < n; ++k)
                    to[k] = words[(base + t[k]) & units];
            }
            x += n;
            bx += n;
        }
    }
}

uint32_t Blend(uint32_t top, uint32_t under, uint32_t alpha)
{
    if (alpha >= 255)
        return (top & 0xFFFFFFu) | kOpaque;
    if (alpha == 0)
        return (under & 0xFFFFFFu) | kOpaque;
    uint32_t result = kOpaque;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t a = (top >> shift) & 0xFF, b = (under >> shift) & 0xFF;
        result |= ((a * alpha + b * (255 - alpha) + 127) / 255) << shift;
    }
    return result;
}

// One picture row of circuit 1 over what lies under it: Blend of each covered
// pixel (the fixed alpha, or the pixel's own), the under colour made opaque
// elsewhere.  Four pixels at a time where all four are covered.
void BlendRow(const uint32_t* top, const uint8_t* covered, const uint32_t* under, uint32_t width, bool fixed_alpha,
              uint32_t alpha, uint32_t* dst)
{
    uint32_t x = 0;
    const __m128i zero = _mm_setzero_si128();
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
    const __m128i k255 = _mm_set1_epi16(255);
    const __m128i k127 = _mm_set1_epi16(127);
    const __m128i k1 = _mm_set1_epi16(1);
    const __m128i fixed = _mm_set1_epi16(static_cast<short>(alpha));
    // (a * alpha + b * (255 - alpha) + 127) / 255 per channel, in 16-bit lanes
    // (at most 65,152); v / 255 is (v + 1 + (v >> 8)) >> 8 over that range.
    // Alpha 0 and 255 give b and a, as Blend's shortcuts do.
    auto mix = [&](__m128i a, __m128i b, __m128i w) {
        const __m128i v = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(a, w), _mm_mullo_epi16(b, _mm_sub_epi16(k255, w))),
                                        k127);
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(v, k1), _mm_srli_epi16(v, 8)), 8);
    };
    for (; x + 4 <= width; x += 4) {
        uint32_t cover4;
        std::memcpy(&cover4, covered + x, 4);
        if (cover4 != 0x01010101u) {
            for (uint32_t i = x; i < x + 4; ++i)
                dst[i] = covered[i] ? Blend(top[i], under[i], fixed_alpha ? alpha : top[i] >> 24)
                                    : (under[i] & 0xFFFFFFu) | kOpaque;
            continue;
        }
        const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + x));
        const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(under + x));
        __m128i wlo = fixed, whi = fixed;
        if (!fixed_alpha) {
            // Each pixel's alpha byte spread over its four lanes.
            const __m128i a = _mm_srli_epi32(t, 24);
            const __m128i a4 = _mm_or_si128(a, _mm_slli_epi32(a, 16));  // lanes 0 and 1 of each pixel
            wlo = _mm_unpacklo_epi32(a4, a4);
            whi = _mm_unpackhi_epi32(a4, a4);
        }
        const __m128i lo = mix(_mm_unpacklo_epi8(t, zero), _mm_unpacklo_epi8(u, zero), wlo);
        const __m128i hi = mix(_mm_unpackhi_epi8(t, zero), _mm_unpackhi_epi8(u, zero), whi);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_or_si128(_mm_packus_epi16(lo, hi), opaque));
    }
    for (; x < width; ++x)
        dst[x] = covered[x] ? Blend(top[x], under[x], fixed_alpha ? alpha : top[x] >> 24)
                            : (under[x] & 0xFFFFFFu) | kOpaque;
}

std::string Report()
{
    const DisplayRegisters r = CurrentDisplayRegisters();
    char text[256];
    std::snprintf(text, sizeof text,
                  "PMODE 0x%" PRIX64 ", DISPFB1 0x%" PRIX64 ", DISPLAY1 0x%" PRIX64 ", DISPFB2 0x%" PRIX64
                  ", DISPLAY2 0x%" PRIX64 ", BGCOLOR 0x%" PRIX64,
                  r.pmode, r.dispfb1, r.display1, r.dispfb2, r.display2, r.bgcolor);
    return text;
}

bool SameRegisters(const DisplayRegisters& a, const DisplayRegisters& b)
{
    return a.pmode == b.pmode && a.smode2 == b.smode2 && a.dispfb1 == b.dispfb1 && a.display1 == b.display1 &&
           a.dispfb2 == b.dispfb2 && a.display2 == b.display2 && a.bgcolor == b.bgcolor;
}

// Whether memory a read circuit of `regs` shows may have been written since
// `stamp`: the whole rows of pages its rectangle lies in are checked (true
// when they run past the end of memory, which the stamps are not asked
// about).
bool ShownWrittenSince(const DisplayRegisters& regs, const LocalMemory& mem, uint64_t stamp)
{
    const std::pair<bool, std::pair<uint64_t, uint64_t>> circuits[2] = {
        {(regs.pmode & 1) != 0, {regs.dispfb1, regs.display1}},
        {((regs.pmode >> 1) & 1) != 0, {regs.dispfb2, regs.display2}},
    };
    for (const auto& [enabled, reg] : circuits) {
        Circuit c;
        if (!enabled || !DecodeCircuit(reg.first, reg.second, c) || c.readable_w == 0 || c.readable_h == 0)
            continue;
        const Layout& layout = LayoutOf(c.psm);
        const uint32_t row_blocks = PagesAcross(layout, c.fbw) * kPageBlocks;
        const uint32_t lo = c.fbp * kPageBlocks + (c.dby >> layout.page_shift_y) * row_blocks;
        const uint32_t hi =
            c.fbp * kPageBlocks + (((c.dby + c.readable_h - 1) >> layout.page_shift_y) + 1) * row_blocks;
        if (hi > kBlockCount || mem.WrittenSince(stamp, lo, hi))
            return true;
    }
    return false;
}

// The field's picture into M().frame: read out again unless the registers,
// the memory and the pages shown are as they were for the last read-out.
void RefreshFrame()
{
    DisplayModel& m = M();
    if (ReadOutIfChanged(CurrentDisplayRegisters(), m.frame, m.frame_memo))
        ++m.frame.version;
}

void OnField(uint64_t field, Cycles boundary)
{
    DumpField(field, CurrentDisplayRegisters());
    if (host::GetBackend().video) {
        RefreshFrame();
        host::Video().Present(M().frame, static_cast<uint32_t>(field), boundary);
    }
    const int64_t last = GetInt("exit-after-vblanks", 0);
    if (last > 0 && field >= static_cast<uint64_t>(last)) {
        std::fprintf(stderr, "console: %" PRIu64 " fields shown; ending the run (--exit-after-vblanks)\n", field);
        FlushConsole();
        Terminate(0);
    }
}

constexpr EeReg kOwned[] = {EeReg::kGsPmode,   EeReg::kGsSmode2,   EeReg::kGsDispfb1, EeReg::kGsDisplay1,
                            EeReg::kGsDispfb2, EeReg::kGsDisplay2, EeReg::kGsBgcolor};

void TakeRegisters()
{
    // The display registers take effect at the next read-out, so a write only
    // stores; CSR's FIELD bit comes from the video timing.
    for (EeReg reg : kOwned)
        SetRegisterOwner(reg, "display", nullptr, [](uint64_t) {});
    SetRegisterOwner(EeReg::kGsCsr, "display", [] { return uint64_t{CsrField()} << 13; }, nullptr);
}

const bool g_registered = [] {
    TakeRegisters();
    InstallDisplay();
    RegisterStateReporter("display", Report);
    RegisterResetHook("display", ResetDisplay);
    return true;
}();

}  // namespace

DisplayRegisters CurrentDisplayRegisters()
{
    DisplayRegisters r;
    r.pmode = StoredRegisterValue(EeReg::kGsPmode);
    r.smode2 = StoredRegisterValue(EeReg::kGsSmode2);
    r.dispfb1 = StoredRegisterValue(EeReg::kGsDispfb1);
    r.display1 = StoredRegisterValue(EeReg::kGsDisplay1);
    r.dispfb2 = StoredRegisterValue(EeReg::kGsDispfb2);
    r.display2 = StoredRegisterValue(EeReg::kGsDisplay2);
    r.bgcolor = StoredRegisterValue(EeReg::kGsBgcolor);
    return r;
}

void ReadOut(const DisplayRegisters& regs, host::RgbaImage& out)
{
    DisplayModel& m = M();
    const bool en1 = regs.pmode & 1, en2 = (regs.pmode >> 1) & 1;
    const bool mmod = (regs.pmode >> 5) & 1, slbg = (regs.pmode >> 7) & 1;
    const uint32_t alp = Bits(regs.pmode, 8, 8);
    const uint32_t background = (static_cast<uint32_t>(regs.bgcolor) & 0xFFFFFFu) | kOpaque;

    Circuit c1, c2;
    const bool show1 = en1 && DecodeCircuit(regs.dispfb1, regs.display1, c1);
    const bool show2 = en2 && DecodeCircuit(regs.dispfb2, regs.display2, c2);

    if (!show1 && !show2) {
        out.width = m.last_width;
        out.height = m.last_height;
        out.pixels.assign(size_t{out.width} * out.height, background);
        return;
    }

    // The picture's grid: the finest circuit's pixel, from the top-left-most
    // circuit to the furthest edge.
    std::vector<const Circuit*> shown;
    if (show1)
        shown.push_back(&c1);
    if (show2)
        shown.push_back(&c2);
    uint32_t unit_x = 16, unit_y = 4, origin_x = UINT32_MAX, origin_y = UINT32_MAX, end_x = 0, end_y = 0;
    for (const Circuit* c : shown) {
        unit_x = std::min(unit_x, c->magh);
        unit_y = std::min(unit_y, c->magv);
        origin_x = std::min(origin_x, c->dx);
        origin_y = std::min(origin_y, c->dy);
        end_x = std::max(end_x, c->dx + c->width * c->magh);
        end_y = std::max(end_y, c->dy + c->height * c->magv);
    }
    const uint32_t width = (end_x - origin_x + unit_x - 1) / unit_x;
    const uint32_t height = (end_y - origin_y + unit_y - 1) / unit_y;
    m.last_width = width;
    m.last_height = height;

    Placement p1, p2;
    if (show1)
        Place(c1, origin_x, origin_y, unit_x, unit_y, width, height, p1);
    if (show2)
        Place(c2, origin_x, origin_y, unit_x, unit_y, width, height, p2);

    out.width = width;
    out.height = height;
    out.pixels.resize(size_t{width} * height);
    std::vector<uint32_t> row1(width), row2(width), under(width);
    std::vector<uint8_t> cov1(width, 0), cov2(width, 0);
    const LocalMemory& mem = Vram();
    const bool use2 = show2 && !slbg;

    // Both circuits reading the same buffer through the same columns (the
    // de-flicker filter shows it twice, one line apart): a buffer row read for
    // circuit 2 is circuit 1's row of the next picture line, and is kept.
    const bool same_source = show1 && use2 && c1.psm == c2.psm && c1.fbp == c2.fbp && c1.fbw == c2.fbw &&
                             p1.column == p2.column;
    int32_t kept_row = -1;
    std::vector<uint32_t> kept(same_source ? width : 0);
    std::vector<uint8_t> kept_cov(same_source ? width : 0);

    for (uint32_t y = 0; y < height; ++y) {
        uint32_t* dst = out.pixels.data() + size_t{y} * width;
        if (show1) {
            if (same_source && p1.row[y] >= 0 && p1.row[y] == kept_row) {
                std::copy(kept.begin(), kept.end(), row1.begin());
                std::copy(kept_cov.begin(), kept_cov.end(), cov1.begin());
            } else {
                ReadRow(mem, p1, y, row1.data(), cov1.data());
            }
        }
        if (use2) {
            ReadRow(mem, p2, y, row2.data(), cov2.data());
            if (same_source && p2.row[y] >= 0) {
                kept_row = p2.row[y];
                std::copy(row2.begin(), row2.end(), kept.begin());
                std::copy(cov2.begin(), cov2.end(), kept_cov.begin());
            }
        }
        for (uint32_t x = 0; x < width; ++x)
            under[x] = (use2 && cov2[x]) ? row2[x] : background;
        if (show1)
            BlendRow(row1.data(), cov1.data(), under.data(), width, mmod, alp, dst);
        else
            for (uint32_t x = 0; x < width; ++x)
                dst[x] = (under[x] & 0xFFFFFFu) | kOpaque;
    }
}

bool ReadOutIfChanged(const DisplayRegisters& regs, host::RgbaImage& out, ReadOutMemo& memo)
{
    DisplayModel& m = M();
    // Memory's write stamps are noted as drawing is sent, before it is
    // drawn: they are asked without waiting for the draw threads.
    const LocalMemory& sent = TheGs().vram;
    if (memo.valid && SameRegisters(regs, memo.regs) && memo.memory == sent.Id() && memo.width == m.last_width &&
        memo.height == m.last_height && !ShownWrittenSince(regs, sent, memo.stamp))
        return false;
    const uint64_t stamp = Vram().Stamp();
    ReadOut(regs, out);
    memo = ReadOutMemo{true, regs, sent.Id(), stamp, m.last_width, m.last_height};
    return true;
}

void ReadOutCurrent(host::RgbaImage& out)
{
    ReadOut(CurrentDisplayRegisters(), out);
}

GraphMode CurrentGraphMode()
{
    return M().graph;
}

void SetGraphMode(const GraphMode& mode)
{
    M().graph = mode;
}

void InstallDisplay()
{
    SetPresentHook(OnField);
}

void ResetDisplay()
{
    DisplayModel& m = M();
    m.graph = GraphMode{};
    m.last_width = kDefaultWidth;
    m.last_height = kDefaultHeight;
    m.warned_psm.fill(false);
    m.frame_memo = ReadOutMemo{};
    for (EeReg reg : kOwned)
        WriteRegister(reg, 0);
    InstallDisplay();
}

}  // namespace console::gs
