#include "gs/pipeline_sample.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace console::gs {

using namespace pipeline;

namespace pipeline {
namespace {

struct SplitLayout {
    bool split = false;
    u16 tx[128] = {};  // carries table[0] (not 0 in the depth layouts)
    u16 ty[128] = {};
};

SplitLayout Split(const Layout& layout)
{
    SplitLayout s;
    const u32 w = 1u << layout.page_shift_x, h = 1u << layout.page_shift_y;
    if (w > 128 || h > 128)
        return s;
    for (u32 x = 0; x < w; ++x)
        s.tx[x] = layout.table[x];
    for (u32 y = 0; y < h; ++y)
        s.ty[y] = static_cast<u16>(layout.table[y << layout.page_shift_x] ^ layout.table[0]);
    for (u32 y = 0; y < h; ++y)
        for (u32 x = 0; x < w; ++x)
            if (layout.table[(y << layout.page_shift_x) | x] != (s.tx[x] ^ s.ty[y]))
                return s;
    s.split = true;
    return s;
}

const SplitLayout& SplitOf(Psm psm)
{
    static const auto table = [] {
        std::array<SplitLayout, 64> t{};
        for (Psm p : kAllPsms)
            t[static_cast<u32>(p)] = Split(LayoutOf(p));
        return t;
    }();
    return table[static_cast<u32>(psm) & 63];
}

}  // namespace

const u32* ExpandedPalette(const TextureEnv& tex, const ClutBuffer& clut)
{
    struct Entry {
        u64 generation = ~u64{0};
        u32 cpsm = 0, csa = 0, ta0 = 0, ta1 = 0;
        int index_bits = 0;
        bool aem = false;
        u32 colors[256] = {};
    };
    thread_local std::array<Entry, 4> cache;
    thread_local u32 next = 0;
    for (const Entry& e : cache)
        if (e.generation == clut.Generation() && e.cpsm == tex.cpsm && e.csa == tex.csa && e.ta0 == tex.ta0 &&
            e.ta1 == tex.ta1 && e.index_bits == tex.index_bits && e.aem == tex.aem)
            return e.colors;
    Entry& e = cache[next++ & 3];
    e.generation = clut.Generation();
    e.cpsm = tex.cpsm;
    e.csa = tex.csa;
    e.ta0 = tex.ta0;
    e.ta1 = tex.ta1;
    e.index_bits = tex.index_bits;
    e.aem = tex.aem;
    const u32 count = tex.index_bits == 4 ? 16 : 256;
    for (u32 i = 0; i < count; ++i)
        e.colors[i] = PackColor(ExpandTexel(tex, clut, i));
    return e.colors;
}

void MakeTexturing(const TextureEnv& tex, const LocalMemory& memory, const LodChoice& lod, Texturing& t,
                   const ClutBuffer* clut)
{
    t.lod = lod;
    t.tw_log2 = tex.tw;
    t.th_log2 = tex.th;
    t.linear = lod.linear;
    t.expand = {tex.ta0, tex.ta1, tex.aem};
    TexExpand& e = t.expand;
    switch (tex.psm) {
    case Psm::kCT32:
    case Psm::kZ32: t.tex_class = kTex32; break;
    case Psm::kCT24:
    case Psm::kZ24: t.tex_class = kTex24; break;
    case Psm::kCT16:
    case Psm::kCT16S:
    case Psm::kZ16:
    case Psm::kZ16S: t.tex_class = kTex16; break;
    case Psm::kT8: e.word_shift = 2, e.sub_mask = 3, e.sub_shift = 3, e.index_mask = 0xFF; break;
    case Psm::kT4: e.word_shift = 3, e.sub_mask = 7, e.sub_shift = 2, e.index_mask = 0xF; break;
    case Psm::kT8H: e.bit = 24, e.index_mask = 0xFF; break;
    case Psm::kT4HL: e.bit = 24, e.index_mask = 0xF; break;
    case Psm::kT4HH: e.bit = 28, e.index_mask = 0xF; break;
    }
    const bool indexed = IsIndexed(tex.psm);
    if (lod.mix16 != 0 || (indexed && !clut))
        return;
    const SplitLayout& split = SplitOf(tex.psm);
    if (!split.split && !indexed)
        return;
    const Layout& layout = LayoutOf(tex.psm);
    const u32 n = lod.level;
    TexLevel& l = t.level;
    l.words = memory.Words();
    l.halves = memory.Halves();
    l.units_mask = (kBlockCount << layout.unit_shift) - 1;
    l.tbp = tex.level_tbp[n];
    l.row_stride = PagesAcross(layout, tex.level_tbw[n]) * kPageBlocks;
    l.shift = layout.unit_shift;
    l.px = layout.page_shift_x;
    l.py = layout.page_shift_y;
    l.mx = (1u << layout.page_shift_x) - 1;
    l.my = (1u << layout.page_shift_y) - 1;
    l.tx = split.tx;
    l.ty = split.ty;
    const u32 tw = tex.tw > n ? tex.tw - n : 0, th = tex.th > n ? tex.th - n : 0;
    l.wu = Wrap(tex.wms, tw, tex.minu >> n, tex.maxu >> n);
    l.wv = Wrap(tex.wmt, th, tex.minv >> n, tex.maxv >> n);
    l.n = n;
    if (indexed) {
        t.tex_class = kTexIndexed;
        l.table = layout.table;
        e.palette = ExpandedPalette(tex, *clut);
    }
    t.level4 = TexLevel4(l);
    t.direct = true;
}

namespace {

DecodedTexture::Axis DecodedAxis(u32 mode, u32 size)
{
    if (mode == kWrapRepeat)
        return {0, static_cast<s32>(size) - 1, 1, static_cast<s32>(size), true};
    return {1, -1, 0, static_cast<s32>(size), false};
}

// The raw texel a stored column or row holds.
u32 DecodedSource(const DecodedTexture::Axis& a, u32 stored, u32 size)
{
    const s32 c = static_cast<s32>(stored) - 1;
    return static_cast<u32>(a.repeat ? c & (static_cast<s32>(size) - 1) : std::clamp(c, 0, static_cast<s32>(size) - 1));
}

template <int kClass>
void DecodeLevel(const TexLevel& l, const TexExpand& e, DecodedTexture& d)
{
    std::vector<TexLevel::Col> cols(d.stride);
    for (u32 i = 0; i < d.stride; ++i)
        cols[i] = l.ColFor(DecodedSource(d.u, i, d.width));
    for (u32 j = 0; j < d.height + 2; ++j) {
        const TexLevel::Row r = l.RowFor(DecodedSource(d.v, j, d.height));
        // Stored row j is the upper row of pair row j and the lower of
        // pair row j - 1.
        u32* const upper = j <= d.height ? d.texels.data() + 2 * static_cast<size_t>(j) * d.stride : nullptr;
        u32* const lower = j > 0 ? d.texels.data() + 2 * static_cast<size_t>(j - 1) * d.stride + 1 : nullptr;
        for (u32 i = 0; i < d.stride; ++i) {
            const u32 t = ReadTexel<kClass>(l, e, OffsetOf<kClass>(l, r, cols[i]));
            if (upper)
                upper[2 * i] = t;
            if (lower)
                lower[2 * i] = t;
        }
    }
}

bool g_decode_at_first_use = false;

}  // namespace
}  // namespace pipeline

void DecodeTexturesAtFirstUse(bool on)
{
    g_decode_at_first_use = on;
}

namespace pipeline {
namespace {

// The decoded copies the calling thread keeps.
struct DecodedCache {
    struct Key {
        u64 memory;
        u32 psm, tbp, tbw, level, width, height, wms, wmt;
        u32 ta0, ta1, aem;         // formats expanded to RGBA8
        u64 generation;            // indexed: the palette
        u32 cpsm, csa, index_bits;
        bool operator==(const Key&) const = default;
    };
    struct Entry {
        Key key;
        DecodedTextureRef decoded;
        u64 stamp = 0;
        u64 wanted = 0;  // pixels drawn with it since it was last decoded
        u64 used = 0;
        u64 version = 0;  // changes whenever the entry is given another key
    };
    static constexpr size_t kEntries = 8;
    std::vector<Entry> entries = [] {
        std::vector<Entry> c;
        c.reserve(kEntries);  // entries stay where they are
        return c;
    }();
    u64 versions = 0;
    // The entry and the level's blocks the last call found, kept for the
    // run of triangles drawn in one state; its level of detail too, when
    // that does not follow Q (a state found there passed the checks on the
    // level with it), and whether the texture is indexed.
    struct Last {
        u64 serial = 0, memory = 0, generation = 0;
        u32 level = 0;
        Entry* entry = nullptr;
        u64 version = 0;  // the entry's, when it was found
        u32 lo = 0, hi = 0;
        LodChoice lod;
        bool lod_kept = false;
        bool indexed = false;
    };
};
thread_local DecodedCache t_decoded;
// What the quick look needs, apart: constant-initialised, it is reached
// without a check that the thread's copy was made.
struct DecodedQuick {
    DecodedCache::Last last;
    u64 uses = 0;
    // Memory's last write stamp when the copy `last` names, made at
    // copy_stamp, was last found current (0: not since `last` was set): while
    // memory has no newer write it stays current.
    u64 current_at = 0, copy_stamp = 0;
};
thread_local DecodedQuick t_decoded_quick;

// DecodeTexture's work: the calling thread's entry holding the decoded copy,
// or null.  The entry keeps its copy until the thread's next call.
[[gnu::noinline]] const DecodedTextureRef* FindDecodedTexture(const DrawEnv& env, const LocalMemory& memory,
                                                              const ClutBuffer& clut, float q,
                                                              const TargetBlocks& targets, u32 pixels)
{
    const TextureEnv& tex = env.tex;
    if (!env.prim.tme)
        return nullptr;
    using Key = DecodedCache::Key;
    using Entry = DecodedCache::Entry;
    using Last = DecodedCache::Last;
    constexpr size_t kEntries = DecodedCache::kEntries;
    std::vector<Entry>& cache = t_decoded.entries;
    u64& uses = t_decoded_quick.uses;
    u64& versions = t_decoded.versions;
    Last& last = t_decoded_quick.last;
    const bool lod_kept = env.prim.fst || !tex.lod_matters;
    LodChoice lod;
    if (lod_kept && env.serial != 0 && last.serial == env.serial && last.lod_kept) {
        lod = last.lod;
    } else {
        if ((tex.wms != kWrapRepeat && tex.wms != kWrapClamp) || (tex.wmt != kWrapRepeat && tex.wmt != kWrapClamp))
            return nullptr;
        lod = ChooseLodForQ(tex, env.prim.fst ? 1.0f : q);
        if (!lod.linear || lod.mix16 != 0)
            return nullptr;
    }
    const u32 n = lod.level;
    const bool indexed = IsIndexed(tex.psm);
    const u64 generation = indexed ? clut.Generation() : 0;
    Entry* e = nullptr;
    u32 lo, hi;
    u32 width, height;
    if (env.serial != 0 && last.serial == env.serial && last.memory == memory.Id() && last.level == n &&
        last.generation == generation && last.entry->version == last.version) {
        e = last.entry;
        lo = last.lo;
        hi = last.hi;
        width = e->key.width;
        height = e->key.height;
        if (targets.Overlap(lo, hi))
            return nullptr;
    } else {
        width = 1u << (tex.tw > n ? tex.tw - n : 0);
        height = 1u << (tex.th > n ? tex.th - n : 0);
        // Up to 1 MiB of texels: a larger level is rarely read all over.
        if (width > 1024 || height > 1024 || width * height > (1u << 18))
            return nullptr;
        // A triangle that writes the texels it reads sees its own writes.
        if (!BlockRange(tex.psm, tex.level_tbp[n], tex.level_tbw[n], 0, width, 0, height, lo, hi) ||
            targets.Overlap(lo, hi))
            return nullptr;
        const bool expanded = tex.psm != Psm::kCT32 && tex.psm != Psm::kZ32;
        const Key key{memory.Id(),
                      static_cast<u32>(tex.psm),
                      tex.level_tbp[n],
                      tex.level_tbw[n],
                      n,
                      width,
                      height,
                      tex.wms,
                      tex.wmt,
                      expanded ? tex.ta0 : 0,
                      expanded ? tex.ta1 : 0,
                      expanded ? static_cast<u32>(tex.aem) : 0,
                      generation,
                      indexed ? tex.cpsm : 0,
                      indexed ? tex.csa : 0,
                      indexed ? static_cast<u32>(tex.index_bits) : 0};
        for (Entry& c : cache)
            if (c.key == key)
                e = &c;
        if (!e) {
            if (cache.size() < kEntries) {
                e = &cache.emplace_back();
            } else {
                e = &cache[0];
                for (Entry& c : cache)
                    if (c.used < e->used)
                        e = &c;
                *e = Entry{};
            }
            e->key = key;
            e->version = ++versions;
        }
        last = Last{env.serial, memory.Id(), generation, n, e, e->version, lo, hi, lod, lod_kept, indexed};
    }
    e->used = ++uses;
    if (e->decoded && !memory.WrittenSince(e->stamp, lo, hi))
        return &e->decoded;
    if (e->decoded) {
        e->decoded.reset();
        e->wanted = 0;
    }
    // Decoding reads each texel once: worth it once the triangles drawn with
    // the texture have covered half as many pixels as it has texels.
    e->wanted += pixels;
    if (e->wanted * 2 < static_cast<u64>(width) * height && !g_decode_at_first_use)
        return nullptr;
    Texturing t;
    MakeTexturing(tex, memory, lod, t, &clut);
    if (!t.direct)
        return nullptr;
    auto d = std::make_shared<DecodedTexture>();
    d->level = n;
    d->width = width;
    d->height = height;
    d->stride = width + 2;
    d->u = DecodedAxis(tex.wms, width);
    d->v = DecodedAxis(tex.wmt, height);
    d->texels.resize(2 * static_cast<size_t>(d->stride) * (height + 1));
    switch (t.tex_class) {
    case kTex32: DecodeLevel<kTex32>(t.level, t.expand, *d); break;
    case kTex24: DecodeLevel<kTex24>(t.level, t.expand, *d); break;
    case kTex16: DecodeLevel<kTex16>(t.level, t.expand, *d); break;
    default: DecodeLevel<kTexIndexed>(t.level, t.expand, *d); break;
    }
    e->decoded = std::move(d);
    e->stamp = memory.Stamp();
    return &e->decoded;
}

}  // namespace

// FindDecodedTexture, first trying what the last call found: the same state,
// its level of detail fixed, the same memory and palette, and the copy still
// current.
const DecodedTextureRef* FindDecodedTextureQuick(const DrawEnv& env, const LocalMemory& memory,
                                                        const ClutBuffer& clut, float q,
                                                        const TargetBlocks& targets, u32 pixels)
{
    DecodedQuick& c = t_decoded_quick;
    const DecodedCache::Last& last = c.last;
    if (env.prim.tme && env.serial != 0 && last.serial == env.serial && last.lod_kept &&
        (env.prim.fst || !env.tex.lod_matters) && last.memory == memory.Id() &&
        last.generation == (last.indexed ? clut.Generation() : 0) && last.entry->version == last.version) {
        if (targets.Overlap(last.lo, last.hi))
            return nullptr;
        DecodedCache::Entry* e = last.entry;
        if (e->decoded) {
            const u64 now = memory.LastWriteStamp();
            bool current = c.current_at == now && c.copy_stamp == e->stamp;
            if (!current && !memory.WrittenSince(e->stamp, last.lo, last.hi)) {
                current = true;
                c.current_at = now;
                c.copy_stamp = e->stamp;
            }
            if (current) {
                e->used = ++c.uses;
                return &e->decoded;
            }
        }
    }
    c.current_at = 0;
    return FindDecodedTexture(env, memory, clut, q, targets, pixels);
}

}  // namespace pipeline

DecodedTextureRef DecodeTexture(const DrawEnv& env, const LocalMemory& memory, const ClutBuffer& clut, float q,
                                const TargetBlocks& targets, u64 pixels)
{
    const DecodedTextureRef* d =
        FindDecodedTextureQuick(env, memory, clut, q, targets, static_cast<u32>(std::min<u64>(pixels, 0xFFFFFFFFu)));
    return d ? *d : nullptr;
}

const DecodedTexture* DecodeTextureHere(const DrawEnv& env, const LocalMemory& memory, const ClutBuffer& clut,
                                        float q, const TargetBlocks& targets, u32 pixels)
{
    const DecodedTextureRef* d = FindDecodedTextureQuick(env, memory, clut, q, targets, pixels);
    return d ? d->get() : nullptr;
}

}  // namespace console::gs
