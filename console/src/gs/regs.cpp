// The GS register file and the entry points of gs.h: every general-register
// write lands here, updates the register file, and may queue a vertex, draw,
// load the CLUT buffer or start an image transfer.
#include "gs/regs.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cinttypes>
#include <cstddef>

#include <emmintrin.h>

#include "core/config.h"
#include "core/diag.h"
#include "ee/video.h"
#include "gs/gs.h"
#include "gs/drawthreads.h"
#include "gs/gs_local.h"
#include "gs/gsdump.h"
#include "gs/setup.h"
#include "gs/texsample.h"

namespace console::gs {
namespace {

struct RegisterEntry {
    GsReg reg;
    const char* name;
};

constexpr RegisterEntry kRegisters[] = {
    {GsReg::PRIM, "PRIM"},
    {GsReg::RGBAQ, "RGBAQ"},
    {GsReg::ST, "ST"},
    {GsReg::UV, "UV"},
    {GsReg::XYZF2, "XYZF2"},
    {GsReg::XYZ2, "XYZ2"},
    {GsReg::TEX0_1, "TEX0_1"},
    {GsReg::TEX0_2, "TEX0_2"},
    {GsReg::CLAMP_1, "CLAMP_1"},
    {GsReg::CLAMP_2, "CLAMP_2"},
    {GsReg::FOG, "FOG"},
    {GsReg::XYZF3, "XYZF3"},
    {GsReg::XYZ3, "XYZ3"},
    {GsReg::TEX1_1, "TEX1_1"},
    {GsReg::TEX1_2, "TEX1_2"},
    {GsReg::TEX2_1, "TEX2_1"},
    {GsReg::TEX2_2, "TEX2_2"},
    {GsReg::XYOFFSET_1, "XYOFFSET_1"},
    {GsReg::XYOFFSET_2, "XYOFFSET_2"},
    {GsReg::PRMODECONT, "PRMODECONT"},
    {GsReg::PRMODE, "PRMODE"},
    {GsReg::TEXCLUT, "TEXCLUT"},
    {GsReg::SCANMSK, "SCANMSK"},
    {GsReg::MIPTBP1_1, "MIPTBP1_1"},
    {GsReg::MIPTBP1_2, "MIPTBP1_2"},
    {GsReg::MIPTBP2_1, "MIPTBP2_1"},
    {GsReg::MIPTBP2_2, "MIPTBP2_2"},
    {GsReg::TEXA, "TEXA"},
    {GsReg::FOGCOL, "FOGCOL"},
    {GsReg::TEXFLUSH, "TEXFLUSH"},
    {GsReg::SCISSOR_1, "SCISSOR_1"},
    {GsReg::SCISSOR_2, "SCISSOR_2"},
    {GsReg::ALPHA_1, "ALPHA_1"},
    {GsReg::ALPHA_2, "ALPHA_2"},
    {GsReg::DIMX, "DIMX"},
    {GsReg::DTHE, "DTHE"},
    {GsReg::COLCLAMP, "COLCLAMP"},
    {GsReg::TEST_1, "TEST_1"},
    {GsReg::TEST_2, "TEST_2"},
    {GsReg::PABE, "PABE"},
    {GsReg::FBA_1, "FBA_1"},
    {GsReg::FBA_2, "FBA_2"},
    {GsReg::FRAME_1, "FRAME_1"},
    {GsReg::FRAME_2, "FRAME_2"},
    {GsReg::ZBUF_1, "ZBUF_1"},
    {GsReg::ZBUF_2, "ZBUF_2"},
    {GsReg::BITBLTBUF, "BITBLTBUF"},
    {GsReg::TRXPOS, "TRXPOS"},
    {GsReg::TRXREG, "TRXREG"},
    {GsReg::TRXDIR, "TRXDIR"},
    {GsReg::HWREG, "HWREG"},
    {GsReg::SIGNAL, "SIGNAL"},
    {GsReg::FINISH, "FINISH"},
    {GsReg::LABEL, "LABEL"},
    {GsReg::NOP, "NOP"},
};

// Names by address, so that finding a register costs one load per write.
constexpr std::array<const char*, kRegisterCount> BuildNames()
{
    std::array<const char*, kRegisterCount> names{};
    for (const RegisterEntry& e : kRegisters)
        names[Addr(e.reg)] = e.name;
    return names;
}

constexpr std::array<const char*, kRegisterCount> kNames = BuildNames();

bool g_texclut_reported = false;

// --gs-pixels-from: the first field a run without pixels draws them in
// (0: no such limit).
u64 g_pixels_from = 0;
// --gs-pixels-for-kept: pixels only in the fields up to kKeptLead before a
// kept one.
bool g_pixels_for_kept = false;
std::function<bool(u64)>& KeptFields()
{
    static std::function<bool(u64)> kept;
    return kept;
}
// A picture drawn in field f shows at the boundary of f + 2 or so (double
// buffering, frames that take two fields); the lead leaves room for more.
constexpr u64 kKeptLead = 12;
// The field last asked about and its answer.
u64 g_checked_field = ~u64{0};
bool g_field_draws = false;

// Whether a run begun without pixels draws them in the current field (the
// one the next boundary ends): from --gs-pixels-from on, and with
// --gs-pixels-for-kept near kept fields only.  Asked once a field.
__attribute__((noinline)) bool PixelsNow()
{
    if (g_pixels_from == 0 && !g_pixels_for_kept)
        return false;  // --gs-no-pixels alone
    const u64 field = FieldCount() + 1;
    if (field == g_checked_field)
        return g_field_draws;
    g_checked_field = field;
    bool draws = field >= g_pixels_from;
    if (draws && g_pixels_for_kept) {
        const auto& kept = KeptFields();
        draws = false;
        for (u64 f = field; kept && f <= field + kKeptLead && !draws; ++f)
            draws = kept(f);
    }
    g_field_draws = draws;
    return draws;
}

// A vertex register was written: the vertex takes the current colour, Q,
// texture coordinates and fog, and enters the queue.
void PushVertex(Machine& m, GsReg reg, u64 value)
{
    const bool with_fog = reg == GsReg::XYZF2 || reg == GsReg::XYZF3;
    const bool kick = reg == GsReg::XYZF2 || reg == GsReg::XYZ2;
    u32 x, y, z, f;
    if (with_fog) {
        const GsXyzf p{value};
        x = p.X();
        y = p.Y();
        z = p.Z();
        f = p.F();
    } else {
        const GsXyz p{value};
        x = p.X();
        y = p.Y();
        z = p.Z();
        f = GsFog{m.regs.Get(GsReg::FOG)}.F();
    }
    const GsRgbaq rgbaq{m.regs.Get(GsReg::RGBAQ)};
    const GsSt st{m.regs.Get(GsReg::ST)};
    const GsUv uv{m.regs.Get(GsReg::UV)};
    // Put together in registers and stored to the queue's slots sixteen
    // bytes at a time, as the queue's records read them: a wide load of
    // words just stored one by one would wait for them to leave the store
    // buffer.
    static_assert(sizeof(Vertex) == 40 && offsetof(Vertex, rgba) == 16 && offsetof(Vertex, q) == 20 &&
                  offsetof(Vertex, s) == 24 && offsetof(Vertex, t) == 28 && offsetof(Vertex, u) == 32 &&
                  offsetof(Vertex, v) == 36);
    auto word = [](u32 w) { return static_cast<int>(w); };
    auto bits = [](float w) { return std::bit_cast<int>(w); };
    const __m128i position = _mm_setr_epi32(word(x), word(y), word(z), word(f));
    const __m128i colour = _mm_setr_epi32(word(rgbaq.RGBA()), bits(rgbaq.Q()), bits(st.S()), bits(st.T()));
    const __m128i texel = _mm_setr_epi32(word(uv.U()), word(uv.V()), 0, 0);

    const PrimType type = m.queue.Type();
    if (type == PrimType::kReserved) {
        Diag(Level::kError, "gs", "vertex written while PRIM holds the reserved primitive type 7");
        return;
    }
    const auto put = [&](Vertex& slot) {
        auto* at = reinterpret_cast<unsigned char*>(&slot);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at), position);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 16), colour);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 32), texel);
    };
    if (m.queue.PushWith(put, kick) == 0)
        return;
    if (!m.env_valid) {
        // A state shaped the same as the last one (PRIM written again with
        // the same attributes, say) stays the last one, keeping its serial
        // and what was worked out under it.
        DrawEnv e = BuildDrawEnv(m.regs, EffectiveAttributes(m.regs));
        const u64 serial = e.serial;
        e.serial = m.env.serial;
        if (m.env.serial == 0 || !(e == m.env)) {
            e.serial = serial;
            m.env = e;
        }
        m.env_valid = true;
        Trace("gs", "draw state key 0x%016" PRIX64, m.env.key);
    }
    if (m.env.drawable && (!m.no_pixels || PixelsNow()))
        DrawPrimitive(type, m.env, m.vram, m.clut, m.queue.Drawn());
}

// TEX2 replaces TEX0's palette fields and format, and loads the CLUT buffer
// as a TEX0 write with those fields would.
void WriteTex2(Machine& m, GsReg tex0_reg, u64 value)
{
    const u64 tex0 = (m.regs.Get(tex0_reg) & ~kTex2Mask) | (value & kTex2Mask);
    m.regs.Set(Addr(tex0_reg), tex0);
    if (m.clut.WouldLoad(GsTex0{tex0}))
        WaitForWritesTo(GsTex0{tex0}.CBP(), GsTex0{tex0}.CBP() + kPageBlocks);
    m.clut.OnTex0(m.vram, GsTex0{tex0});
}

}  // namespace

const char* RegisterName(u32 address)
{
    return address < kRegisterCount ? kNames[address] : nullptr;
}

const char* PrimTypeName(PrimType type)
{
    static const char* const kNames[] = {"point", "line", "line strip", "triangle", "triangle strip", "triangle fan",
                                         "sprite", "reserved"};
    return kNames[static_cast<u32>(type) & 7];
}

float GsRgbaq::Q() const
{
    return std::bit_cast<float>(Field(v, 32, 32));
}

float GsSt::S() const
{
    return std::bit_cast<float>(Field(v, 0, 32));
}

float GsSt::T() const
{
    return std::bit_cast<float>(Field(v, 32, 32));
}

void RegisterFile::Reset()
{
    for (u64& r : raw_)
        r = 0;
    // After a reset the primitive attributes come from PRIM.
    raw_[Addr(GsReg::PRMODECONT)] = 1;
}

int VerticesPerPrimitive(PrimType type)
{
    switch (type) {
    case PrimType::kPoint: return 1;
    case PrimType::kLine:
    case PrimType::kLineStrip:
    case PrimType::kSprite: return 2;
    case PrimType::kTriangle:
    case PrimType::kTriangleStrip:
    case PrimType::kTriangleFan: return 3;
    case PrimType::kReserved: return 0;
    }
    return 0;
}

int VertexQueue::Push(const Vertex& v, bool kick)
{
    return PushWith([&v](Vertex& slot) { slot = v; }, kick);
}

template <typename Put>
inline int VertexQueue::PushWith(Put put, bool kick)
{
    const int need = VerticesPerPrimitive(type_);
    switch (type_) {
    case PrimType::kPoint:
    case PrimType::kLine:
    case PrimType::kTriangle:
    case PrimType::kSprite:
        // Independent primitives: the queue empties once one is complete.
        put(ring_[count_++]);
        if (count_ < need)
            return 0;
        count_ = 0;
        drawn_ = 0;
        break;
    case PrimType::kLineStrip:
    case PrimType::kTriangleStrip: {
        // Each vertex after the first `need` - 1 completes a primitive with
        // the ones before it.
        const u32 at = next_;
        put(ring_[at]);
        put(ring_[at + static_cast<u32>(need)]);
        next_ = at + 1 == static_cast<u32>(need) ? 0 : at + 1;
        count_ = std::min(count_ + 1, need);
        if (count_ < need)
            return 0;
        drawn_ = next_;
        break;
    }
    case PrimType::kTriangleFan:
        // The first vertex stays; the other two slide.
        if (count_ < 3) {
            put(ring_[count_++]);
        } else {
            ring_[1] = ring_[2];
            put(ring_[2]);
        }
        if (count_ < 3)
            return 0;
        drawn_ = 0;
        break;
    case PrimType::kReserved: return 0;
    }
    if (!kick)
        return 0;
    return need;
}

Machine& TheGs()
{
    static Machine* machine = [] {
        auto* m = new Machine();
        m->regs.Reset();
        return m;
    }();
    return *machine;
}

LocalMemory& Vram()
{
    // Whoever reaches memory from outside sees it with all drawing done.
    DrainDrawQueue();
    return TheGs().vram;
}

namespace {
void WriteOtherRegister(Machine& m, u32 address, u64 value);
}  // namespace

void WriteRegister(u32 address, u64 value)
{
    // The value is read as two words: a caller on this 32-bit target hands
    // it over as two word stores, which a single 64-bit load would wait for
    // until both had left the store buffer.
    u32 lo = static_cast<u32>(value), hi = static_cast<u32>(value >> 32);
    asm("" : "+r"(lo), "+r"(hi));
    value = (u64{hi} << 32) | lo;
    DumpRegister(address, value);
    Machine& m = TheGs();
    // What every vertex writes, RGBAQ, ST, UV, XYZF2 and XYZ2, straight to
    // the register file and the vertex queue.
    static_assert(Addr(GsReg::RGBAQ) == 1 && Addr(GsReg::ST) == 2 && Addr(GsReg::UV) == 3 &&
                  Addr(GsReg::XYZF2) == 4 && Addr(GsReg::XYZ2) == 5);
    if (address - 1u < 5u && !TraceOn("gs")) {
        m.regs.Set(address, value);
        if (address >= Addr(GsReg::XYZF2))
            PushVertex(m, static_cast<GsReg>(address), value);
        return;
    }
    WriteOtherRegister(m, address, value);
}

namespace {

// Every register but the vertex ones above, kept out of line so that a
// vertex write saves and restores no more than it uses.
__attribute__((noinline)) void WriteOtherRegister(Machine& m, u32 address, u64 value)
{
    const char* name = RegisterName(address);
    if (!name) {
        Diag(Level::kError, "gs", "write of 0x%016" PRIX64 " to 0x%02X, which is no GS general register", value,
             address);
        return;
    }
    if (TraceOn("gs"))
        Trace("gs", "%s <- 0x%016" PRIX64, name, value);
    // A register written again with the value it holds leaves a drawable
    // state as it was (the kicks' tags write PRIM at every batch).
    const bool same = m.regs.Get(address) == value && m.env.drawable;
    const auto reg = static_cast<GsReg>(address);
    switch (reg) {
    case GsReg::NOP: return;
    case GsReg::RGBAQ:
    case GsReg::ST:
    case GsReg::UV:
    case GsReg::FOG: m.regs.Set(address, value); return;
    case GsReg::XYZF2:
    case GsReg::XYZ2:
    case GsReg::XYZF3:
    case GsReg::XYZ3:
        m.regs.Set(address, value);
        PushVertex(m, reg, value);
        return;
    case GsReg::PRIM: {
        m.regs.Set(address, value);
        const GsPrim prim{value};
        if (prim.PRIM() == PrimType::kReserved)
            Diag(Level::kError, "gs", "PRIM 0x%03" PRIX64 " selects the reserved primitive type 7", value);
        m.queue.Reset(prim.PRIM());
        if (same)
            return;
        break;
    }
    case GsReg::TEX0_1:
    case GsReg::TEX0_2:
        m.regs.Set(address, value);
        // A CLUT load reads the page at CBP; queued primitives keep the
        // entries they were sent with.
        if (m.clut.WouldLoad(GsTex0{value}))
            WaitForWritesTo(GsTex0{value}.CBP(), GsTex0{value}.CBP() + kPageBlocks);
        m.clut.OnTex0(m.vram, GsTex0{value});
        if (same)
            return;
        break;
    case GsReg::TEX2_1:
    case GsReg::TEX2_2:
        m.regs.Set(address, value);
        WriteTex2(m, reg == GsReg::TEX2_1 ? GsReg::TEX0_1 : GsReg::TEX0_2, value);
        break;
    case GsReg::TEXCLUT:
        m.regs.Set(address, value);
        if (!g_texclut_reported) {
            g_texclut_reported = true;
            Diag(Level::kWarning, "gs", "TEXCLUT written: CLUT storage mode CSM2 is not supported");
        }
        return;
    case GsReg::TEXFLUSH: return;  // no texture cache to flush
    case GsReg::TRXDIR:
        m.regs.Set(address, value);
        WaitForTransfer(m.regs, GsTrxdir{value}.XDIR());
        m.transfer.Start(m.regs, GsTrxdir{value}.XDIR());
        return;
    case GsReg::HWREG:
        m.regs.Set(address, value);
        WaitForOpenTransfer();
        m.transfer.WriteHwreg(value);
        return;
    case GsReg::SIGNAL:
    case GsReg::FINISH:
    case GsReg::LABEL:
        m.regs.Set(address, value);
        Trace("gs", "%s ignored: the stand-in raises no GS events", name);
        return;
    case GsReg::BITBLTBUF:
    case GsReg::TRXPOS:
    case GsReg::TRXREG: m.regs.Set(address, value); return;
    default:
        if (same)
            return;
        m.regs.Set(address, value);
        break;
    }
    // Everything that reaches here shapes drawing.
    m.env_valid = false;
}

}  // namespace

void SetKeptFields(std::function<bool(uint64_t field)> kept)
{
    KeptFields() = std::move(kept);
    g_checked_field = ~u64{0};
}

u64 ReadRegister(u32 address)
{
    return TheGs().regs.Get(address);
}

size_t WriteImageData(const u128* data, size_t qwc)
{
    DumpImage(data, qwc);
    WaitForOpenTransfer();
    return TheGs().transfer.WriteImage(data, qwc);
}

bool ImageTransferActive()
{
    return TheGs().transfer.HostToLocalActive();
}

size_t ReadImageData(u128* out, size_t qwc)
{
    DumpRead(DumpKind::kReadQwords, qwc);
    WaitForOpenTransfer();
    return TheGs().transfer.ReadImage(out, qwc);
}

void ResetGs(bool clear_memory)
{
    DumpReset(clear_memory);
    DrainDrawQueue();
    Machine& m = TheGs();
    m.regs.Reset();
    m.queue.Reset(PrimType::kPoint);
    m.clut.Reset();
    m.transfer.Reset();
    m.env_valid = false;
    m.env = DrawEnv{};  // the next state is a new one, whatever it holds
    g_pixels_from = 0;
    if (HasOption("gs-pixels-from")) {
        const int64_t from = GetInt("gs-pixels-from", 0);
        if (from < 1)
            Diag(Level::kError, "gs", "--gs-pixels-from %" PRId64 ": fields count from 1; the option is ignored",
                 from);
        else
            g_pixels_from = static_cast<u64>(from);
    }
    g_pixels_for_kept = GetFlag("gs-pixels-for-kept");
    g_checked_field = ~u64{0};
    m.no_pixels = GetFlag("gs-no-pixels") || g_pixels_from > 1 || g_pixels_for_kept;
    ResetSetupReports();
    ResetSamplerReports();
    g_texclut_reported = false;
    if (clear_memory)
        m.vram.Clear();
}

}  // namespace console::gs
