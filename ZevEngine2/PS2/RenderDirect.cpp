#include "ZevEngine2/PS2/RenderDirect.h"

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"

VertexStreams<2> vs_cube;

namespace {

// VIF codes of the vertex batches.
constexpr u32 VIF_STMOD = 0x05000000;
constexpr u32 VIF_STMASK = 0x20000000;
constexpr u32 VIF_STROW = 0x30000000;
constexpr u32 VIF_STCYCL_CODE = 0x01000000;

// The largest command block a material builds: four passes of register
// packets (tag, TEST, ALPHA, five texture registers), stages, kicks and
// end-pass quadwords, with the set-material and transform quadwords.
constexpr u32 kMaxBlockQwc = 64;

// The unit cube's corner is this far from its centre: the bounding sphere
// of the local space the cuboid is drawn in.
constexpr float kSqrt3 = 1.7320508f;

u32 Bits(float f)
{
    u32 b;
    std::memcpy(&b, &f, 4);
    return b;
}

u_long128* PutQ(u_long128* p, u32 x, u32 y, u32 z, u32 w)
{
    const u32 q[4] = {x, y, z, w};
    std::memcpy(p, q, 16);
    return p + 1;
}

u_long128* PutQ64(u_long128* p, u64 lo, u64 hi)
{
    const u64 q[2] = {lo, hi};
    std::memcpy(p, q, 16);
    return p + 1;
}

// A command quadword's w word: the top half of a float with the routine in
// the low 16 bits.
u32 FloatWithRoutine(float f, u32 routine)
{
    return (Bits(f) & 0xFFFF0000u) | (routine / 8 & 0xFFFF);
}

// The transform step: plain, or with the offsets of fixed-point positions
// and the texture-coordinate offset in the high half of w.
u_long128* PutTransform(u_long128* p, bool compressed, const Vector& posoff, float uvoff)
{
    if (!compressed)
        return PutQ(p, 0, 0, 0, mc2Transform / 8);
    return PutQ(p, Bits(posoff[0]), Bits(posoff[1]), Bits(posoff[2]), FloatWithRoutine(uvoff, mc2TransformCompressed));
}

// What the material needs to know of a stream set.
struct Layout
{
    bool compressed;   // mc2TransformCompressed
    Vector posoff;     // positions' offset
    float uvoff;       // texture coordinates' offset (0: none)
    bool normcomp;     // fixed-point normals
    int colours;       // slot of the vertex colours, 0 none
};

// Stream 0 carries the positions and stream 1 the texture coordinates (its
// row offset, when it has one, is what the transform subtracts from slot 1).
Layout Analyse(const _VertexStreams& vs)
{
    Layout l{false, Vector(0, 0, 0, 0), 0.0f, false, 0};
    if (vs.nstreams < 1)
        return l;
    const VertexStream& s0 = vs.Stream(0);
    const bool fixedpos = s0.type == VST_POS && (s0.mode & VSD_FIXED);
    l.posoff = s0.fill;
    l.uvoff = vs.nstreams > 1 ? vs.Stream(1).fill[0] : 0.0f;
    l.compressed = fixedpos || l.uvoff != 0.0f;
    for (int i = 0; i < vs.nstreams; i++) {
        const VertexStream& s = vs.Stream(i);
        if (s.type == VST_NORMAL && (s.mode & VSD_FIXED))
            l.normcomp = true;
        if (s.type == VST_COLOUR && l.colours == 0)
            l.colours = s.offset;
    }
    return l;
}

bool OffsetCompressed(const Vector& off)
{
    return off[0] != 0.0f || off[1] != 0.0f || off[2] != 0.0f;
}

// The lighting routines by norm_comp | 2 (front faces culled) | 4 (vertex
// colours).
constexpr u32 kLighting[8] = {
    mc2DoLighting,     mc2DoLightingCompressed,     mc2DoLightingFlip,     mc2DoLightingCompressedFlip,
    mc2DoLightingMult, mc2DoLightingCompressedMult, mc2DoLightingMultFlip, mc2DoLightingCompressedMultFlip,
};

// ------------------------------------------------------------- batches

// Bytes of one vertex of stream s: num elements of (vn + 1) components.
u32 ElementBytes(const VertexStream& s)
{
    const u32 vn = (s.mode >> 2) & 3, width = s.mode & VSD_WIDTH;
    return (u32(s.num) * 4 * (vn + 1)) >> width;
}

// The masked-unpack pattern: the stream's components from the data, the
// rest (and w at least) from the row.  A single-component format spreads
// its value over x, y and z (a grey level is one byte for r, g and b).
u32 MaskFor(u32 mode)
{
    const u32 vn = (mode >> 2) & 3;
    if (vn == 0)
        return 0x40;
    return (0x54u << (2 * vn)) & 0x54u;
}

// Marks a copied position as one that completes no triangle: the w
// component's flag in whichever position format the stream has.
void MarkNoKick(u8* element, u32 mode)
{
    const u32 vn = (mode >> 2) & 3, width = mode & VSD_WIDTH;
    if (vn != 3)
        return;   // three-component positions have no flag of their own
    if (width == 0) {
        const u16 flag = 0x8000;
        std::memcpy(element + 12, &flag, 2);
    } else if (mode & VSD_FIXED) {
        if (width == 1) {
            const s16 one = 1;
            std::memcpy(element + 6, &one, 2);
        } else {
            element[3] = 1;
        }
    }
}

// Copies `bytes` into the packet and pads them to a whole word.
void PutBytes(VIFpacket& vif, const void* src, u32 bytes)
{
    u8* dst = reinterpret_cast<u8*>(vif.GetPtr());
    std::memcpy(dst, src, bytes);
    const u32 words = (bytes + 3) / 4;
    std::memset(dst + bytes, 0, words * 4 - bytes);
    vif.SetPtr(vif.GetPtr() + words);
}

// The UNPACK of one stream and its data: copied element by element through
// the indices, copied whole, or referenced where it lies.
void PutStreamData(VIFpacket& vif, const VertexStream& s, int start, int batch, bool copy, u32 stcycl, u32 unpack)
{
    const u32 e = ElementBytes(s);
    const u8* data = static_cast<const u8*>(s.data);
    if (s.indices) {
        vif.Put(stcycl);
        vif.Put(unpack);
        u8* dst = reinterpret_cast<u8*>(vif.GetPtr());
        for (int k = 0; k < batch; k++) {
            const u16 index = s.indices[start + k];
            std::memcpy(dst + k * e, data + (index & 0x7FFF) * e, e);
            if ((index & 0x8000) && s.type == VST_POS)
                MarkNoKick(dst + k * e, s.mode);
        }
        const u32 bytes = e * u32(batch);
        const u32 words = (bytes + 3) / 4;
        std::memset(dst + bytes, 0, words * 4 - bytes);
        vif.SetPtr(vif.GetPtr() + words);
        return;
    }

    const u8* src = data + e * u32(start);
    const u32 bytes = e * u32(batch);
    const uintptr_t a = reinterpret_cast<uintptr_t>(src);
    if (!copy && (e & 15) == 0 && (a & 15) == 0) {
        vif.Ref(src, bytes / 16, stcycl, unpack);
        return;
    }
    if (copy || (a & 3) || bytes < 32) {
        vif.Put(stcycl);
        vif.Put(unpack);
        PutBytes(vif, src, bytes);
        return;
    }
    // Split: the words before the next 16-byte boundary go inline after the
    // codes, ending on a quadword, the aligned middle by reference, the tail
    // copied.  VIF1 takes a DMA tag's own two words as codes only, so a tag
    // that arrives while the UNPACK still wants data carries NOPs and the
    // data goes on in its quadwords.
    const u32 head = u32((16 - (a & 15)) & 15) / 4;
    const u32 mid = (bytes - 4 * head) / 16;
    const u32 tail = bytes - 4 * head - 16 * mid;
    if (head == 0) {
        vif.Ref(src, mid, stcycl, unpack);
    } else {
        vif.Align(2, (4 - (2 + head) % 4) % 4);
        vif.Put(stcycl);
        vif.Put(unpack);
        for (u32 i = 0; i < head; i++) {
            u32 w;
            std::memcpy(&w, src + 4 * i, 4);
            vif.Put(w);
        }
        vif.Ref(src + 4 * head, mid, VIF_NOP, VIF_NOP);
    }
    if (tail) {
        vif.Align(2, 0);
        PutBytes(vif, src + 4 * head + 16 * mid, tail);
    }
}

}  // namespace

// -------------------------------------------------------------- streams

void _VertexStreams::SetType(int i, VS_ATTRIB a, VS_DESC t, u8 frac)
{
    if (i < 0 || i >= capacity) {
        printf("SetType: stream %d of a set of %d\n", i, capacity);
        return;
    }
    VertexStream& s = Stream(i);
    const u32 desc = u32(t);
    s.num = 1;
    s.offset = u8(a);
    s.mode = u8(desc & 0xFF);
    s.type = u8((desc >> 8) & 3);
    s.indices = nullptr;
    stride = std::max(stride, int(a) + 1);

    s.fill = Vector(0.0f, 0.0f, 0.0f, 0.0f);
    const u32 width = desc & VSD_WIDTH;
    if (width) {
        // Offset mode adds the row's bits to the integer: a row of
        // 2^(23 - f) puts the integer's units at 2^-f, and a signed format
        // is lifted by half its range so its negative values keep the
        // exponent.
        const int bits = width == 1 ? 16 : 8;
        int f = frac;
        if (s.type == VST_NORMAL || s.type == VST_COLOUR)
            f = bits - 1;
        float value = std::ldexp(1.0f, 23 - f);
        if (!(desc & VSD_UNSIGNED))
            value += std::ldexp(1.0f, bits - f - 1);
        s.fill = Vector(value, value, value, value);
    }
    if (s.type == VST_TEXCOORD && (desc & VSD_MASKED))
        s.fill.setz(1.0f);
    if (s.type == VST_POS) {
        if (desc & VSD_MASKED)
            s.fill.setw(0.0f);
        else if (width)
            s.fill.setwcomponent(0x7FFF);   // + the flag byte: bit 15 = no kick
    }
    if (s.type == VST_COLOUR && (desc & VSD_MASKED))
        s.fill.setwcomponent(0x47800080);   // alpha 1.0 in the colours' encoding
}

void _VertexStreams::SetData(int i, const void* data)
{
    if (i < 0 || i >= capacity) {
        printf("SetData: stream %d of a set of %d\n", i, capacity);
        return;
    }
    Stream(i).data = data;
}

void _VertexStreams::SetIndices(int i, const u16* indices)
{
    if (i < 0 || i >= capacity) {
        printf("SetIndices: stream %d of a set of %d\n", i, capacity);
        return;
    }
    Stream(i).indices = indices;
}

bool VertexStreamsHeader::Check(const char* who) const
{
    if (nstreams < 1 || nstreams > capacity) {
        printf("%s: %d streams in a set of %d\n", who, nstreams, capacity);
        return false;
    }
    if (count < 0) {
        printf("%s: %d vertices\n", who, count);
        return false;
    }
    if (stride < 1 || stride > 16) {
        printf("%s: stride %d\n", who, stride);
        return false;
    }
    for (int i = 0; i < nstreams; i++) {
        const VertexStream& s = Stream(i);
        if ((s.mode & VSD_WIDTH) == 3 || s.num < 1 || s.offset + s.num > stride || (count > 0 && !s.data)) {
            printf("%s: stream %d cannot be sent (format %u, slot %u, %s)\n", who, i, s.mode, s.offset,
                   s.data ? "data" : "no data");
            return false;
        }
    }
    return true;
}

void VertexStreamsHeader::SendStreams(VIFpacket& vif, int buffersize, int flags, int passes) const
{
    if (!Check("SendStreams") || count == 0)
        return;
    if (vif.unpack) {
        // Batch codes cannot go inside an open command block.
        if (&vif != &therenderer) {
            printf("SendStreams: a command block is open\n");
            return;
        }
        therenderer._EndCommands();
    }
    const bool copy = flags & VS_COPY;
    const bool multi = flags & VS_MULTIPASS;
    const int overlap = flags >> VS_OVERLAP_SHIFT;
    // One input half of VU1 and one output buffer bound every batch.
    const int limit = std::min(VS_BUFFER_QWC / stride, int(MC2_MAXBATCH));
    if (buffersize > limit) {
        printf("SendStreams: batches of %d vertices cut to %d\n", buffersize, limit);
        buffersize = limit;
    }
    if (buffersize < 1 || overlap < 0 || (count > buffersize && overlap >= buffersize)) {
        printf("SendStreams: batches of %d vertices with %d repeated cannot advance\n", buffersize, overlap);
        return;
    }
    if (multi)
        passes = std::clamp(passes, 2, MM_MAX_PASSES);

    // The row register keeps what the first batch sent when only one stream
    // needed it.
    bool rows = true;
    int rowstreams = 0;
    // The next batch opens a pair of input halves.
    bool half = true;
    int start = 0;
    for (bool first = true;; first = false) {
        const int remaining = count - start;
        int batch;
        if (remaining > buffersize)
            batch = buffersize;
        else if (multi && half)
            batch = std::min(remaining, std::max(3, remaining / 2));   // both halves get a share
        else
            batch = remaining;

        u32 need = 3 + 2 * u32(passes);
        for (int i = 0; i < nstreams; i++)
            need += 7 + (ElementBytes(Stream(i)) * u32(batch) + 15) / 16;
        if (!ChainAllowFor(vif, need))
            return;

        bool offsetmode = false;
        for (int i = 0; i < nstreams; i++) {
            const VertexStream& s = Stream(i);
            const bool fixed = s.mode & VSD_FIXED;
            if (fixed != offsetmode) {
                vif.Put(VIF_STMOD | (fixed ? 1u : 0u));
                offsetmode = fixed;
            }
            if ((s.mode & (VSD_FIXED | VSD_MASKED)) && rows) {
                vif.Put(VIF_STROW);
                for (int k = 0; k < 4; k++)
                    vif.Put(Bits(s.fill[k]));
                if (s.mode & VSD_MASKED) {
                    vif.Put(VIF_STMASK);
                    vif.Put(MaskFor(s.mode));
                }
                if (first)
                    ++rowstreams;
            }
            const u32 stcycl = VIF_STCYCL_CODE | u32(s.num) << 8 | u32(stride);
            const u32 unpack = u32(0x60 | (s.mode & 0x1F)) << 24 | (u32(s.num) * u32(batch) & 0xFF) << 16 |
                               VIF_UNPACK_TOPS | ((s.mode & VSD_UNSIGNED) ? VIF_UNPACK_USN : 0u) | s.offset;
            PutStreamData(vif, s, start, batch, copy, stcycl, unpack);
        }
        if (offsetmode)
            vif.Put(VIF_STMOD);
        vif.Put(VIF_ITOP(u32(batch)));
        vif.Put(VIF_MSCNT);
        if (first && rowstreams == 1)
            rows = false;

        if (multi) {
            half = !half;
            // A pair has been sent: each further pass runs over both halves.
            if (half)
                for (int k = 1; k < passes; k++) {
                    vif.Put(VIF_MSCNT);
                    vif.Put(VIF_MSCNT);
                }
        }
        if (start + batch >= count && (!multi || half))
            break;
        // The second batch of a pair gets at least the last vertex.
        start = std::min(start + std::max(batch - overlap, 0), count - 1);
    }
}

// ------------------------------------------------------------ materials

SubMaterial::SubMaterial()
    : flags(0), prim_reg(PRIM_TRISTRIP | PRIM_IIP), texmat(0), alpha_mode(ALPHA_NONE), alpha_fix(0),
      test_reg(0x00051000), clamp_reg(0), mip_reg(0), colour(0x80, 0x80, 0x80, 0x80), texture(nullptr),
      texaddr(nullptr), texqwc(0)
{
}

int SubMaterial::TextureQuadwords() const
{
    if (!texture)
        return 0;
    return (texture->format & TEXF_MIPS) ? 5 : 3;
}

u_long128* SubMaterial::BuildGS(u_long128* p, bool copy)
{
    texaddr = nullptr;
    texqwc = 0;
    const int ntex = TextureQuadwords();
    if (!(flags & (SM_ALPHA | SM_TEST)) && ntex == 0)
        return p;
    const u32 nregs = ((flags & SM_TEST) ? 1 : 0) + ((flags & SM_ALPHA) ? 1 : 0) + u32(ntex);
    const u32 routine = copy ? mc2GiftagCopy : mc2Giftag;
    // NLOOP registers, EOP, NREG 1 (A+D); the register word names the routine.
    p = PutQ64(p, u64(nregs) | 0x8000u | 1ull << 60, 0xEull | u64(routine / 8) << 32);
    if (flags & SM_TEST)
        p = PutQ64(p, test_reg, GS_TEST_1);
    if (flags & SM_ALPHA)
        p = PutQ64(p, u64(alpha_mode) | u64(alpha_fix) << 32, GS_ALPHA_1);
    if (ntex) {
        // Until PutTextureRegs fills them the texture slots flush the
        // texture cache, which changes nothing.
        texaddr = p;
        texqwc = u16(ntex);
        for (int i = 0; i < ntex; i++)
            p = PutQ64(p, 0, GS_TEXFLUSH);
    }
    return p;
}

u_long128* SubMaterial::BuildPostTransform(u_long128* p, bool norm_comp, float uv_comp, int colours) const
{
    const u32 u = (flags >> SM_UVSOURCE_O) & 7;
    if (texmat) {
        if (u < 6) {
            p = PutQ(p, texmat, u, Bits(1.0f), mc2TransformUV / 8);
        } else {
            p = PutQ(p, 2, 2, 2, mc2UnpackNormals / 8);
            if (u == 6)
                p = PutQ(p, MC2_TEXMATRIX0, 0, Bits(1.0f), mc2Reflection / 8);
            else
                p = PutQ(p, MC2_TEXMATRIX0, Bits(8.0f), Bits(1.0f), mc2Refraction / 8);
        }
    } else if (u >= 2) {
        p = PutQ(p, u, Bits(uv_comp), 0, mc2SetUV / 8);
    }

    if (flags & SM_CULL) {
        const u32 c = (flags & SM_BFCULL) ? 0 : 2;
        p = PutQ(p, c, c, c, mc2BFCull / 8);
    }

    const float r = colour.r / 128.0f, g = colour.g / 128.0f, b = colour.b / 128.0f, a = colour.a / 128.0f;
    if (flags & SM_LIGHTING) {
        const int index = (norm_comp ? 1 : 0) | ((flags & SM_FFCULL) ? 2 : 0) | (colours ? 4 : 0);
        u32 x = Bits(r);
        if (colours)
            x = (x & 0xFFFF0000u) | (u32(colours) & 0xFFFF);
        p = PutQ(p, x, Bits(g), Bits(b), FloatWithRoutine(a, kLighting[index]));
    } else if (colours) {
        p = PutQ(p, u32(colours), u32(colours), u32(colours), mc2CopyColour / 8);
    } else {
        p = PutQ(p, Bits(r), Bits(g), Bits(b), FloatWithRoutine(a, mc2FillColour));
    }
    return p;
}

u_long128* SubMaterial::BuildKick(u_long128* p, u32 k, u32 routine) const
{
    u32 prim = prim_reg;
    // Texturing needs a texture whose registers the block sets.
    if ((flags & SM_TEXTURE) && texture)
        prim |= PRIM_TME;
    // PACKED, NREG 3 (ST, RGBAQ, XYZF2), PRE with the primitive.
    return PutQ(p, k, 0x30004000u | (prim & 0x7FF) << 15, 0x412, routine / 8);
}

void SubMaterial::PutTextureRegs()
{
    if (!texture || !texaddr)
        return;
    const int ntex = TextureQuadwords();
    if (ntex > texqwc) {
        printf("PutTextureRegs: the texture changed since its block was built\n");
        return;
    }
    u_long128* q = texaddr;
    q = PutQ64(q, texture->tex0 | u64(flags & SM_TEXMODE) << 35, GS_TEX0_1);
    u64 tex1 = 0x60;   // bilinear, no mip levels
    if (texture->format & TEXF_MIPS) {
        // Mip bases are stored relative to the texture's own base.
        const u64 tbp = tex0::TBP0(texture->tex0);
        const u64 add = tbp | tbp << 20 | tbp << 40;
        q = PutQ64(q, texture->miptbp1 + add, GS_MIPTBP1_1);
        q = PutQ64(q, texture->miptbp2 + add, GS_MIPTBP2_1);
        // L and K, kept to their fields of TEX1.
        const u64 lk = (u64(mip_reg) << 19) & (0x3ull << 19 | 0xFFFull << 32);
        tex1 = u64(texture->MipLevels()) << 2 | 0x160 | lk;
    }
    q = PutQ64(q, tex1, GS_TEX1_1);
    PutQ64(q, ((flags & SM_CLAMP_U) ? 1u : 0u) | ((flags & SM_CLAMP_V) ? 4u : 0u), GS_CLAMP_1);
}

// ---------------------------------------------------------- Material

u_long128* Material::Build(u_long128* p, int stride)
{
    p = BuildGS(p, true);
    u_long128* set = p++;
    p = PutTransform(p, false, Vector(0, 0, 0, 0), 0.0f);
    p = BuildPostTransform(p, false, 0.0f, 0);
    p = BuildKick(p, 1, mc2KickFlip);
    PutQ(set, u32(stride), u32(p - set), 0, mc2SetMaterial / 8);
    return p;
}

u_long128* Material::Build(u_long128* p, const _VertexStreams& vs)
{
    const Layout l = Analyse(vs);
    p = BuildGS(p, true);
    u_long128* set = p++;
    p = PutTransform(p, l.compressed, l.posoff, l.uvoff);
    p = BuildPostTransform(p, l.normcomp, l.uvoff, l.colours);
    p = BuildKick(p, 1, mc2KickFlip);
    PutQ(set, u32(vs.stride), u32(p - set), 0, mc2SetMaterial / 8);
    return p;
}

u_long128* Material::Build(u_long128* p, VS_DESCRIPTOR desc, Vector compressionOffset)
{
    p = BuildGS(p, true);
    u_long128* set = p++;
    p = PutTransform(p, OffsetCompressed(compressionOffset), compressionOffset, compressionOffset[3]);
    p = BuildPostTransform(p, desc.CompressedNormals(), compressionOffset[3], desc.GetColour());
    // An interleaved multi-pass stream drawn with one pass: its extra MSCNTs
    // only end their runs.
    p = BuildKick(p, desc.IsMultipass() ? 2 : 1, mc2KickFlip);
    PutQ(set, u32(desc.GetStride()), u32(p - set), 0, mc2SetMaterial / 8);
    return p;
}

// Builds a command block at the chain's write position (in the open block,
// or one opened for it) and closes the block: vertex data follows it.
template <class B>
static bool BuildBlock(B build)
{
    therenderer.BeginCommands();
    if (!therenderer.unpack || !therenderer.AllowFor(kMaxBlockQwc))
        return false;
    u_long128* at = reinterpret_cast<u_long128*>(therenderer.GetPtr());
    therenderer.SetPtr(reinterpret_cast<u32*>(build(at)));
    therenderer._EndCommands();
    return true;
}

template <class B>
bool Material::BuildInChain(B build)
{
    return BuildBlock(build);
}

void Material::Draw(const _VertexStreams& vs, bool copy)
{
    if (!vs.Check("Material::Draw") || vs.count == 0)
        return;
    if (!BuildInChain([&](u_long128* p) { return Build(p, vs); }))
        return;
    Texture* t = texaddr ? texture : nullptr;
    // A texture that cannot be placed draws nothing (its block's register
    // slots stay harmless).
    if (t && !t->Hold())
        return;
    if (t)
        PutTextureRegs();
    // Two vertices are repeated between batches so strips continue.
    vs.SendStreams(therenderer, VS_BUFFER_QWC / std::max(vs.stride, 3), (copy ? VS_COPY : 0) | 2 << VS_OVERLAP_SHIFT);
    if (t)
        t->Release();
}

void Material::Set(const _VertexStreams& vs)
{
    if (!vs.Check("Material::Set"))
        return;
    if (!BuildInChain([&](u_long128* p) { return Build(p, vs); }))
        return;
    if (texaddr) {
        therenderer.RequestTexture(texture, TEXMODE_DECAL);
        if (therenderer.texture == texture)
            PutTextureRegs();
    }
}

void Material::Set(VS_DESCRIPTOR desc, Vector compressionOffset)
{
    if (!BuildInChain([&](u_long128* p) { return Build(p, desc, compressionOffset); }))
        return;
    if (texaddr) {
        therenderer.RequestTexture(texture, TEXMODE_DECAL);
        if (therenderer.texture == texture)
            PutTextureRegs();
    }
}

// ----------------------------------------------------- _MultiMaterial

namespace {

bool PassCount(int count, const char* who)
{
    if (count >= 1 && count <= MM_MAX_PASSES)
        return true;
    printf("%s: %d passes (1 to %d)\n", who, count, MM_MAX_PASSES);
    return false;
}

}  // namespace

u_long128* _MultiMaterial::_Build(u_long128* p, int stride, int count)
{
    if (!PassCount(count, "_Build"))
        return p;
    u_long128* set = p++;
    p = PutTransform(p, false, Vector(0, 0, 0, 0), 0.0f);
    for (int i = 0; i < count; i++) {
        p = m[i].BuildPostTransform(p, false, 0.0f, 0);
        p = m[i].BuildGS(p, false);
        // All passes run in one go: the earlier ones keep the output buffer
        // that holds the transformed positions.
        p = m[i].BuildKick(p, i == count - 1 ? 1 : 0, i == count - 1 ? mc2KickFlip : mc2Kick);
    }
    PutQ(set, u32(stride), u32(p - set), 0, mc2SetMaterial / 8);
    return p;
}

u_long128* _MultiMaterial::_Build(u_long128* p, const _VertexStreams& vs, int count)
{
    if (!PassCount(count, "_Build"))
        return p;
    const Layout l = Analyse(vs);
    u_long128* set = p++;
    p = PutTransform(p, l.compressed, l.posoff, l.uvoff);
    for (int i = 0; i < count; i++) {
        p = m[i].BuildPostTransform(p, l.normcomp, l.uvoff, l.colours);
        p = m[i].BuildGS(p, false);
        if (i == count - 1) {
            p = m[i].BuildKick(p, 1, mc2KickFlip);
        } else {
            p = m[i].BuildKick(p, 0, mc2KickFlip);
            p = PutQ(p, 0, 0, 0, (i == 0 ? mc2EndPass1 : mc2EndPass) / 8);
        }
    }
    PutQ(set, u32(vs.stride), u32(p - set), 0, mc2SetMaterial / 8);
    return p;
}

u_long128* _MultiMaterial::_Build(u_long128* p, VS_DESCRIPTOR desc, Vector compressionOffset, int count)
{
    if (!PassCount(count, "_Build"))
        return p;
    const bool multipass = desc.IsMultipass();
    u_long128* set = p++;
    p = PutTransform(p, OffsetCompressed(compressionOffset), compressionOffset, compressionOffset[3]);
    for (int i = 0; i < count; i++) {
        if (!multipass && i > 0)
            p = m[i].BuildGS(p, false);
        p = m[i].BuildPostTransform(p, desc.CompressedNormals(), compressionOffset[3], desc.GetColour());
        if (multipass || i == 0)
            p = m[i].BuildGS(p, false);
        if (i == count - 1) {
            p = m[i].BuildKick(p, 1, mc2KickFlip);
        } else if (multipass) {
            p = m[i].BuildKick(p, 0, mc2KickFlip);
            p = PutQ(p, 0, 0, 0, (i == 0 ? mc2EndPass1 : mc2EndPass) / 8);
        } else {
            p = m[i].BuildKick(p, 0, mc2Kick);
        }
    }
    PutQ(set, u32(desc.GetStride()), u32(p - set), 0, mc2SetMaterial / 8);
    return p;
}

template <class B>
bool _MultiMaterial::BuildInChain(B build)
{
    return BuildBlock(build);
}

void _MultiMaterial::PutAllTextureRegs(int count)
{
    for (int i = 0; i < count; i++) {
        Texture* t = m[i].texaddr ? m[i].texture : nullptr;
        if (t && t->Hold()) {
            m[i].PutTextureRegs();
            t->Release();
        }
    }
}

void _MultiMaterial::_Draw(const _VertexStreams& vs, int count, bool copy)
{
    if (!PassCount(count, "_Draw") || !vs.Check("_Draw") || vs.count == 0)
        return;
    if (!BuildInChain([&](u_long128* p) { return _Build(p, vs, count); }))
        return;
    Texture* held[MM_MAX_PASSES] = {};
    bool placed = true;
    for (int i = 0; i < count; i++) {
        Texture* t = m[i].texaddr ? m[i].texture : nullptr;
        if (!t)
            continue;
        if (t->Hold())
            held[i] = t;
        else
            placed = false;
    }
    if (placed) {
        for (int i = 0; i < count; i++)
            if (held[i])
                m[i].PutTextureRegs();
        const int flags = (copy ? VS_COPY : 0) | (count > 1 ? VS_MULTIPASS : 0) | 2 << VS_OVERLAP_SHIFT;
        vs.SendStreams(therenderer, VS_BUFFER_QWC / std::max(vs.stride, 3), flags, count);
    }
    for (int i = count - 1; i >= 0; i--)
        if (held[i])
            held[i]->Release();
}

void _MultiMaterial::_Set(const _VertexStreams& vs, int count)
{
    if (!PassCount(count, "_Set") || !vs.Check("_Set"))
        return;
    if (BuildInChain([&](u_long128* p) { return _Build(p, vs, count); }))
        PutAllTextureRegs(count);
}

void _MultiMaterial::_Set(VS_DESCRIPTOR desc, Vector compressionOffset, int count)
{
    if (!PassCount(count, "_Set"))
        return;
    if (BuildInChain([&](u_long128* p) { return _Build(p, desc, compressionOffset, count); }))
        PutAllTextureRegs(count);
}

// ------------------------------------------------------------- others

void SendPreBuilt(const u_long128* data, int qwc)
{
    if (qwc <= 0 || !data)
        return;
    therenderer.BeginCommands();
    if (!therenderer.unpack || !therenderer.AllowFor(u32(qwc)))
        return;
    therenderer.AddN(data, qwc);
}

// ------------------------------------------------------- debug shapes

namespace {

// The unit cube: per face four corners as a strip whose first two vertices
// start it (flag byte 1), wound so its outside faces the eye; positions in
// 1/64, normals in 1/127.
constexpr int kCubeVerts = 24;
s8 cubePos[kCubeVerts][4] __attribute__((aligned(16)));
s8 cubeNormal[kCubeVerts][3] __attribute__((aligned(16)));

bool BuildCube()
{
    // Face normal n and the edges u, v (u x v = n) in the order +y, -y, -z,
    // +x, +z, -x.
    static const s8 faces[6][3][3] = {
        {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},  {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
    };
    int v = 0;
    for (const auto& f : faces)
        for (int corner = 0; corner < 4; corner++, v++) {
            const int su = (corner & 1) ? 1 : -1, sv = (corner & 2) ? 1 : -1;
            for (int k = 0; k < 3; k++) {
                cubePos[v][k] = s8(64 * (f[0][k] + su * f[1][k] + sv * f[2][k]));
                cubeNormal[v][k] = s8(127 * f[0][k]);
            }
            cubePos[v][3] = corner < 2 ? 1 : 0;
        }
    vs_cube.count = kCubeVerts;
    vs_cube.SetType(0, VSA_POS, VSD_POS8_ADC, 6);
    vs_cube.SetType(1, VSA_NORMAL, VSD_NORMAL8, 7);
    vs_cube.SetData(0, cubePos);
    vs_cube.SetData(1, cubeNormal);
    return true;
}

[[maybe_unused]] const bool g_cubeBuilt = BuildCube();

// The unit sphere: sixteen bands of latitude, each a strip of 17 pairs
// around the y axis whose first pair starts it.  Each pair puts the upper
// latitude first, so the strip's outside faces the eye.
constexpr int kSphereBands = 16, kSphereSteps = 17;
constexpr int kSphereVerts = kSphereBands * kSphereSteps * 2;
Vector spherePos[kSphereVerts];
s8 sphereNormal[kSphereVerts][3] __attribute__((aligned(16)));
VertexStreams<2> vs_sphere;
bool sphereBuilt = false;

void BuildSphere()
{
    const float pi = 3.14159265f;
    int v = 0;
    for (int i = 0; i < kSphereBands; i++) {
        const float a = -pi / 2 + float(i) * pi / 16;
        const Vector lat[2] = {VU0CosSin(a + pi / 16), VU0CosSin(a)};
        for (int k = 0; k < kSphereSteps; k++) {
            const Matrix rot = RotY(FixAng(float(k) * pi / 8));
            for (const Vector& cs : lat) {
                Vector p = rot * Vector(cs[0], cs[1], 0.0f, 0.0f);
                if (k == 0)
                    p.setwcomponent(0x43808000);   // 256.0 with the no-kick flag
                else
                    p.setw(256.0f);
                spherePos[v] = p;
                for (int c = 0; c < 3; c++)
                    sphereNormal[v][c] = s8(p[c] * 64.0f);
                v++;
            }
        }
    }
    vs_sphere.count = kSphereVerts;
    vs_sphere.SetType(0, VSA_POS, VSD_POSF_4, 0);
    vs_sphere.SetType(1, VSA_NORMAL, VSD_NORMAL8, 7);
    vs_sphere.SetData(0, spherePos);
    vs_sphere.SetData(1, sphereNormal);
    sphereBuilt = true;
}

}  // namespace

void DrawCuboid(Material& mat, const Matrix& m, const Cuboid& c)
{
    const Matrix local = c.InvUnitMat() * m;
    float r2 = 0.0f;
    for (int k = 0; k < 3; k++) {
        const float e = std::max(c.max[k], -c.min[k]);
        r2 += e * e;
    }
    // The sphere bounds the unit cube in the space it is drawn in.
    float r = std::sqrt(r2);
    if (!(r >= kSqrt3))
        r = kSqrt3;
    therenderer.SetLocal(local, Sphere(0.0f, 0.0f, 0.0f, r));
    mat.Draw(vs_cube, false);
}

void DrawSphere(Material& mat, const Matrix& m, const Sphere& s)
{
    if (!sphereBuilt)
        BuildSphere();
    const Matrix local = s.InvUnitMat() * m;
    float r = s[3];
    // The sphere bounds the unit sphere in the space it is drawn in.
    if (!(r >= 1.0f))
        r = 1.0f;
    therenderer.SetLocal(local, Sphere(0.0f, 0.0f, 0.0f, r));
    mat.Draw(vs_sphere, false);
}
