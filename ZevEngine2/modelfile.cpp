// Model files: the check of a loaded file, its fix-up, and its move.
#include "ZevEngine2/modelfile.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Packet.h"

// ---------------------------------------------------------------------------
// The block directory

void ModelHeader::Fix()
{
    u32 base = (u32)(uintptr_t)this;
    for (u32 i = 0; i < blockCount; i++)
    {
        if (block[i].data != 0)
            block[i].data += base;
    }
}

void ModelHeader::Clear()
{
    for (u32 i = 0; i < blockCount; i++)
    {
        block[i].type = 0xFFFF;
        block[i].count = 0;
        block[i].data = 0;
    }
}

bool ModelHeader::Check(u32 size, const char* what) const
{
    if (size < 4 || (u64)blockCount * 8 + 4 > size)
    {
        printf("%s: refused: the block directory does not fit in the file's %u bytes\n", what, size);
        return false;
    }
    for (u32 i = 0; i < blockCount; i++)
    {
        if (block[i].data >= size)
        {
            printf("%s: refused: block %u (type %u) starts at 0x%X, outside the file's %u bytes\n", what, i,
                   block[i].type, block[i].data, size);
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// The check.  Everything the fix-up and the file's users dereference is
// checked against the file's size before anything is written, in two passes
// over the same walk.  The first pass marks, word by word, the records the
// fix-up writes (the directory, the offset tables, model and texture records,
// animation heads and call lists) and refuses any two of them sharing a word,
// so that no word is ever fixed up twice.  The second pass checks that no
// data the file's users only read (nodes, vertex data, images, collision
// chains, key streams, occluders) shares a word with those records, so that
// nothing already checked is changed by the fix-up.

namespace {

constexpr int MAX_NESTING = 16;   // nested collision chains
constexpr int MAX_OCCLUDER_CORNERS = 4096;
constexpr int MAX_TEXTURE_SIZE = 1024;

u32 KeySize(int type)
{
    switch (type)
    {
    case 0: case 3: case 5: case 7:   // position, scale, colour, camera effects
        return 14;
    case 1:                           // quaternion
        return 18;
    case 2: case 4: case 6: case 9:   // compressed quaternion, zoom, blur, near z
        return 6;
    case 8:                           // instant events: 4 to 34 bytes; the head is checked
        return 4;
    default:
        return 0;
    }
}

bool KnownTexturePsm(int psm)
{
    switch (psm)
    {
    case PSMCT32: case PSMCT24: case PSMCT16: case PSMCT16S:
    case PSMT8: case PSMT4: case PSMT8H: case PSMT4HL: case PSMT4HH:
        return true;
    default:
        return false;
    }
}

// Bytes an upload of a w x h image reads, band by band, as the upload
// packets cut it.
u64 ImageBytes(u32 w, u32 h, int psm)
{
    u64 total = 0;
    u32 factor = PsmFactor((u8)psm);
    while (h > 0)
    {
        u32 rows = std::min(h, GIF_BAND_ROWS);
        total += 16 * ((u64)w * rows * factor / 32);
        h -= rows;
    }
    return total;
}

class FileCheck
{
public:
    FileCheck(const ModelHeader* h, u32 n) : base((const u8*)h), size(n) {}
    ~FileCheck() { free(map); }

    bool Run();
    // Only a texture array of count records at offset 0.
    bool RunTextures(int count);
    const char* Why() const { return why; }

    // Texture lists longer than MTL_MAX_TEXLIST seen by the walk.
    int longTexLists = 0;

private:
    enum PASS { CLAIM, READ };

    bool Fail(const char* fmt, ...) __attribute__((format(__printf__, 2, 3)));
    bool Inside(u64 off, u64 len) const { return off <= size && len <= size - off; }
    bool Place(u64 off, u64 len, u32 align, const char* what, int i);
    bool Writes(u64 off, u64 len, u32 align, const char* what, int i);
    bool Reads(u64 off, u64 len, u32 align, const char* what, int i);
    u16 U16(u32 off) const { u16 v; memcpy(&v, base + off, 2); return v; }
    u32 U32(u32 off) const { u32 v; memcpy(&v, base + off, 4); return v; }

    bool Walk();
    bool PreScan();
    bool Model(u64 off, int i, bool shadow);
    bool Material(u32 off, int model, int j, bool shadow);
    bool TexRef(u16 texid, int model, int j);
    bool VertexData(u32 off, u32 nqw, int model, int j);
    bool Chain(u64 off, int i, int depth);
    bool Soup(u32 off, int i);
    bool Texture1(u32 array, int i);
    bool AnimNode1(u64 off, int i);
    bool Nodes(u32 off, int count);
    bool Occluders(u64 off, int count);

    const u8* base;
    u32 size;
    u32* map = nullptr;   // one bit per 4-byte word written by the fix-up
    PASS pass = CLAIM;
    char why[256] = {};
    bool failed = false;
    u32 budget = 0;       // collision entries and soup nodes left to visit

    // What the file's users end up with: the last block of each kind.
    int nModels = 0, nTextures = 0, nCollisions = 0, nAnims = 0;
};

bool FileCheck::Fail(const char* fmt, ...)
{
    if (!failed)
    {
        va_list args;
        va_start(args, fmt);
        vsprintf(why, fmt, args);
        va_end(args);
        failed = true;
    }
    return false;
}

bool FileCheck::Place(u64 off, u64 len, u32 align, const char* what, int i)
{
    if (!Inside(off, len))
        return Fail("%s %d at 0x%X (%u bytes) lies outside the file's %u bytes", what, i, (u32)off, (u32)len, size);
    if (off % align != 0)
        return Fail("%s %d at 0x%X is not %u-byte aligned", what, i, (u32)off, align);
    return true;
}

bool FileCheck::Writes(u64 off, u64 len, u32 align, const char* what, int i)
{
    if (!Place(off, len, align, what, i))
        return false;
    if (pass != CLAIM)
        return true;
    for (u32 w = (u32)off / 4; w < (u32)((off + len + 3) / 4); w++)
    {
        if (map[w / 32] & (1u << (w % 32)))
            return Fail("%s %d at 0x%X overlaps another record that is fixed up", what, i, (u32)off);
        map[w / 32] |= 1u << (w % 32);
    }
    return true;
}

bool FileCheck::Reads(u64 off, u64 len, u32 align, const char* what, int i)
{
    if (!Place(off, len, align, what, i))
        return false;
    if (pass != READ)
        return true;
    for (u32 w = (u32)off / 4; w < (u32)((off + len + 3) / 4); w++)
    {
        if (map[w / 32] & (1u << (w % 32)))
            return Fail("%s %d at 0x%X overlaps a record that is fixed up", what, i, (u32)off);
    }
    return true;
}

bool FileCheck::RunTextures(int count)
{
    if (((uintptr_t)base & 15) != 0)
        return Fail("the textures are loaded at 0x%08X, which is not 16-byte aligned", (u32)(uintptr_t)base);
    map = (u32*)calloc((size / 4 + 31) / 32 + 1, 4);
    if (map == nullptr)
        return Fail("no memory to check a block of %u bytes", size);
    for (PASS p : {CLAIM, READ})
    {
        pass = p;
        if (!Writes(0, 40 * (u64)count, 8, "texture array", 0))
            return false;
        for (int i = 0; i < count; i++)
        {
            // These are what other files' references are filled from: each
            // holds its own image.
            if ((s32)(uintptr_t)((const Texture*)base)[i].data < 0)
                return Fail("texture %d names a shared texture itself", i);
            if (!Texture1(0, i))
                return false;
        }
    }
    return true;
}

bool FileCheck::Run()
{
    if (((uintptr_t)base & 15) != 0)
        return Fail("the file is loaded at 0x%08X, which is not 16-byte aligned", (u32)(uintptr_t)base);
    if (size < 4 || (u64)U32(0) * 8 + 4 > size)
        return Fail("the block directory does not fit in the file's %u bytes", size);
    // A directory naming no data heads nothing but itself: more bytes than
    // the directory (padded to 16) are a file zeroed or overwritten in place.
    bool any = false;
    for (u32 k = 0; k < U32(0); k++)
        any = any || U32(4 + 8 * k + 4) != 0;
    if (!any && size > ((4 + u64(U32(0)) * 8 + 15) & ~u64(15)))
        return Fail("its block directory names no data, yet it holds %u bytes", size);
    map = (u32*)calloc((size / 4 + 31) / 32 + 1, 4);
    if (map == nullptr)
        return Fail("no memory to check a file of %u bytes", size);
    if (!PreScan())
        return false;
    pass = CLAIM;
    budget = size / 2 + 1024;
    if (!Walk())
        return false;
    pass = READ;
    budget = size / 2 + 1024;
    return Walk();
}

// The counts of the blocks the file's users end up with (the last of each
// kind, as the fix-up leaves them), which the nodes' references must respect.
bool FileCheck::PreScan()
{
    u32 n = U32(0);
    for (u32 k = 0; k < n; k++)
    {
        const HeaderBlock* b = (const HeaderBlock*)(base + 4 + 8 * k);
        bool signedCount = b->type == EX5_BLOCK_MODEL || b->type == EX5_BLOCK_TEXTURE ||
                           b->type == EX5_BLOCK_NODE || b->type == EX5_BLOCK_OCCLUDER;
        if (signedCount && b->count > 0x7FFF)
            return Fail("block %u (type %u) has %u items; at most 32767 are allowed", k, b->type, b->count);
        switch (b->type)
        {
        case EX5_BLOCK_MODEL: nModels = b->count; break;
        case EX5_BLOCK_TEXTURE: nTextures = b->count; break;
        case EX5_BLOCK_COLLISION: nCollisions = b->count; break;
        case EX5_BLOCK_ANIM: nAnims = b->count; break;
        default: break;
        }
    }
    return true;
}

bool FileCheck::Walk()
{
    u32 n = U32(0);
    if (!Writes(0, 4 + (u64)n * 8, 16, "block directory", 0))
        return false;
    u32 version = 0;
    for (u32 k = 0; k < n; k++)
    {
        const HeaderBlock* b = (const HeaderBlock*)(base + 4 + 8 * k);
        u32 data = b->data;
        int count = b->count;
        bool needsData = count > 0 || b->type == EX5_BLOCK_VERSION;
        if (b->type == EX5_BLOCK_SHADOW && version < MDL_SHADOW_VERSION)
            needsData = false;   // not taken
        if (b->type == EX5_BLOCK_PARTICLE || b->type >= EX5_BLOCK_TOTAL)
            needsData = false;
        if (needsData && data == 0)
            return Fail("block %u (type %u) has %d items but no data", k, b->type, count);
        switch (b->type)
        {
        case EX5_BLOCK_MODEL:
            if (!Writes(data, 4 * (u64)count, 4, "model table", k))
                return false;
            for (int i = 0; i < count; i++)
            {
                if (!Model((u64)data + U32(data + 4 * i), i, false))
                    return false;
            }
            break;
        case EX5_BLOCK_COLLISION:
            if (count == 0)
                break;
            if (!Writes(data, 4 * (u64)count, 4, "collision table", k))
                return false;
            for (int i = 0; i < count; i++)
            {
                if (!Chain((u64)data + U32(data + 4 * i), i, 0))
                    return false;
            }
            break;
        case EX5_BLOCK_TEXTURE:
            if (!Writes(data, 40 * (u64)count, 8, "texture array", k))
                return false;
            for (int i = 0; i < count; i++)
            {
                if (!Texture1(data, i))
                    return false;
            }
            break;
        case EX5_BLOCK_ANIM:
            if (count == 0)
                break;
            if (!Writes(data, 4 * (u64)count, 4, "animation table", k))
                return false;
            for (int i = 0; i < count; i++)
            {
                if (!AnimNode1((u64)data + U32(data + 4 * i), i))
                    return false;
            }
            break;
        case EX5_BLOCK_NODE:
            if (!Nodes(data, count))
                return false;
            break;
        case EX5_BLOCK_PARTICLE:
            if (data != 0 && !Reads(data, 8 * (u64)count, 4, "particle table", k))
                return false;
            break;
        case EX5_BLOCK_VERSION:
            if (!Reads(data, 4, 4, "version word", k))
                return false;
            version = U32(data);
            break;
        case EX5_BLOCK_SHADOW:
            if (count == 0 || version < MDL_SHADOW_VERSION)
                break;
            if (!Writes(data, 4 * (u64)count, 4, "shadow table", k))
                return false;
            for (int i = 0; i < count; i++)
            {
                if (!Model((u64)data + U32(data + 4 * i), i, true))
                    return false;
            }
            break;
        case EX5_BLOCK_OCCLUDER:
            if (count != 0 && !Occluders(data, count))
                return false;
            break;
        default:
            break;   // skipped by the fix-up; its offset is never followed
        }
    }
    return true;
}

bool FileCheck::Model(u64 at, int i, bool shadow)
{
    const char* what = shadow ? "shadow model" : "model";
    if (!Place(at, 80, 16, what, i))
        return false;
    u32 off = (u32)at;
    const MODEL* m = (const MODEL*)(base + off);
    if (!Writes(off, 80 + 24 * (u64)m->NumMaterials(), 16, what, i))
        return false;
    for (int j = 0; j < m->NumMaterials(); j++)
    {
        if (!Material(off + 80 + 24 * j, i, j, shadow))
            return false;
    }
    return true;
}

bool FileCheck::TexRef(u16 texid, int model, int j)
{
    if (texid == TEXID_NONE)
        return true;
    int n = texid & TEXID_INDEX;
    bool ok;
    if (!(texid & TEXID_INDIRECT))
        ok = texid < nTextures;
    else if (texid & TEXID_GLOBAL)
        ok = n < GTEX_TOTAL;
    else
        ok = 2 + n < 16;   // a byte of the object's params
    if (!ok)
        return Fail("model %d material %d names texture 0x%04X, which does not exist (%d textures)", model, j,
                    texid, nTextures);
    return true;
}

bool FileCheck::Material(u32 off, int model, int j, bool shadow)
{
    const MATERIAL* mt = (const MATERIAL*)(base + off);
    if (!Reads(mt->data, 16 * (u64)mt->dataNumQw, 16, "vertex data of model", model))
        return false;
    if (pass == READ && !VertexData(mt->data, mt->dataNumQw, model, j))
        return false;
    if (shadow)
        return true;   // shadow call lists are neither fixed up nor patched
    u32 cl = mt->callList;
    int nqw = mt->callListNumQw;
    if (!Writes(cl, 16 * (u64)nqw, 16, "call list of model", model))
        return false;
    if (!TexRef(mt->texid, model, j))
        return false;
    // The tint colour's quadword names a file-relative colour table.
    if (mt->flags & MTL_TINT)
    {
        if (mt->auxvuaddr >= nqw)
            return Fail("model %d material %d: tint quadword %d lies outside its %d-quadword call list", model, j,
                        mt->auxvuaddr, nqw);
        if (!Reads(U32(cl + 16 * mt->auxvuaddr + 8), 4, 4, "tint table of model", model))
            return false;
    }
    if (pass == READ)
        return true;

    // Tokens: every command must name a routine; data quadwords after a
    // GIF tag command are not inspected.
    for (int q = 0; q < nqw; q++)
    {
        u16 w6 = U16(cl + 16 * q + 12);
        if (!(w6 & TOK_FLAG))
            continue;
        if (w6 < tokNop || w6 > tokLast)
            return Fail("model %d material %d: call-list quadword %d holds unknown command token %u", model, j, q, w6);
        if (w6 == tokGiftag || w6 == tokGiftagCopy)
        {
            int k = U16(cl + 16 * q) & 0x7FFF;
            if (k >= nqw - q)
                return Fail("model %d material %d: the register packet at call-list quadword %d counts %d "
                            "quadwords, past the end of its %d-quadword call list", model, j, q, k, nqw);
            q += k;
        }
    }

    // The texture list: entries inside the call list, each naming the next,
    // ending at 0.
    if (mt->texvuaddr != 0 && mt->texid != TEXID_NONE)
    {
        int a = mt->texvuaddr & 0x7FFF;
        int length = 0;
        while (a != 0)
        {
            if (a >= nqw)
                return Fail("model %d material %d: texture list entry at quadword %d lies outside its %d-quadword "
                            "call list", model, j, a, nqw);
            if (++length > nqw)
                return Fail("model %d material %d: the texture list does not end", model, j);
            if (!TexRef(U16(cl + 16 * a + 14), model, j))
                return false;
            a = U16(cl + 16 * a + 12);
        }
        if (length > MTL_MAX_TEXLIST)
            longTexLists++;
    }

    return true;
}

// The vertex data is sent to VIF1 as it lies: a stream of VIF codes, each
// followed by its data, that must end with the block.  Only the codes that
// lay out and start vertex batches belong in it; any other (a program upload,
// GIF data, a change of the double buffer) or a code whose data runs past the
// block would leave VIF1 waiting for words that never come.  The write cycle
// starts as the drawer leaves it after sending the call list.
bool FileCheck::VertexData(u32 off, u32 nqw, int model, int j)
{
    const u32 words = 4 * nqw;
    u32 cycle = 0x0404;   // STCYCL 4, 4: every vector reads data
    for (u32 at = 0; at < words;)
    {
        const u32 code = U32(off + 4 * at);
        const u32 cmd = (code >> 24) & 0x7F;
        u32 data = 0;   // words that follow the code
        if (code & 0x80000000u)
            return Fail("model %d material %d: the vertex data's VIF code 0x%08X at word %u asks for an interrupt",
                        model, j, code, at);
        if (cmd >= 0x60)
        {
            // UNPACK: vn in bits 2-3, vl in bits 0-1; V4-5 only with vn 3.
            const u32 vn = (cmd >> 2) & 3, vl = cmd & 3;
            if (vl == 3 && vn != 3)
                return Fail("model %d material %d: the vertex data's UNPACK 0x%08X at word %u has no defined "
                            "format", model, j, code, at);
            u32 num = (code >> 16) & 0xFF;
            if (num == 0)
                num = 256;
            const u32 cl = cycle & 0xFF, wl = (cycle >> 8) & 0xFF;
            u32 vectors = num;
            if (wl > cl)
                vectors = cl * (num / wl) + std::min(num % wl, cl);
            const u32 bits = vl == 3 ? 16 : (32u >> vl) * (vn + 1);
            data = (vectors * bits + 31) / 32;
        }
        else
        {
            switch (cmd)
            {
            case 0x00: case 0x04: case 0x05: case 0x07:   // NOP, ITOP, STMOD, MARK
            case 0x10: case 0x11: case 0x13: case 0x17:   // FLUSHE, FLUSH, FLUSHA, MSCNT
                break;
            case 0x01:   // STCYCL
                cycle = code & 0xFFFF;
                break;
            case 0x20:   // STMASK
                data = 1;
                break;
            case 0x30: case 0x31:   // STROW, STCOL
                data = 4;
                break;
            default:
                return Fail("model %d material %d: the vertex data holds VIF code 0x%08X at word %u, which does "
                            "not belong in vertex data", model, j, code, at);
            }
        }
        if (data > words - at - 1)
            return Fail("model %d material %d: the vertex data's VIF code 0x%08X at word %u takes %u data words, "
                        "past the end of its %u quadwords", model, j, code, at, data, nqw);
        at += 1 + data;
    }
    return true;
}

bool FileCheck::Chain(u64 off, int i, int depth)
{
    if (depth > MAX_NESTING)
        return Fail("collision %d: chains nest more than %d deep", i, MAX_NESTING);
    for (;;)
    {
        if (budget-- == 0)
            return Fail("collision %d: more chain entries than the file can hold", i);
        if (!Reads(off, 2, 16, "collision entry of chain", i))
            return false;
        u16 type = U16((u32)off);
        u64 stride;
        switch (type)
        {
        case COLL_END:
            return true;
        case COLL_BOX:
        case COLL_SPHERE:
            stride = type == COLL_BOX ? sizeof(CollBox) : sizeof(CollSphere);
            if (!Reads(off, stride, 16, "collision entry of chain", i))
                return false;
            if (U32((u32)off + 4) != 0 && !Chain(off + U32((u32)off + 4), i, depth + 1))
                return false;
            break;
        case COLL_PLANES:
            // The head (type and plane count) first, then the planes.
            if (!Reads(off, 16, 16, "plane set of chain", i))
                return false;
            stride = 16 + 16 * (u64)U16((u32)off + 2);
            if (!Reads(off, stride, 16, "plane set of chain", i))
                return false;
            break;
        case COLL_SOUP:
            if (!Soup((u32)off, i))
                return false;
            stride = U32((u32)off + 8) + 16 * (u64)U16((u32)off + 2);
            break;
        default:
            return Fail("collision %d: entry at 0x%X has unknown type %u", i, (u32)off, type);
        }
        if (off + stride > size)
            return Fail("collision %d: the chain runs past the end of the file", i);
        off += stride;
    }
}

// A triangle soup: vertices, faces and the search tree whose leaves name the
// faces.  Every face a leaf names must exist and name existing vertices.
bool FileCheck::Soup(u32 off, int i)
{
    if (!Reads(off, 16, 16, "soup of chain", i))
        return false;
    u32 nverts = U16(off + 2);
    u64 faces = (u64)off + U32(off + 4);
    u64 verts = (u64)off + U32(off + 8);
    if (U32(off + 8) < 16)
        return Fail("collision %d: soup at 0x%X has its vertices inside its own head", i, off);
    if (!Reads(verts, 16 * (u64)nverts, 16, "soup vertices of chain", i))
        return false;

    // Walk the tree with a small stack of pending far sides; links only lead
    // forward, so the walk ends.
    u32 stack[64];
    int sp = 0;
    u32 node = off + 12;
    int maxFace = -1;
    for (;;)
    {
        if (budget-- == 0)
            return Fail("collision %d: the soup's tree has more nodes than the file can hold", i);
        if (!Reads(node, 2, 2, "soup tree node of chain", i))
            return false;
        u16 type = U16(node);
        if ((type & 3) == 0)
        {
            int n = type >> 2;
            if (!Reads(node, 2 + 2 * (u64)n, 2, "soup leaf of chain", i))
                return false;
            for (int f = 0; f < n; f++)
                maxFace = std::max(maxFace, (int)U16(node + 2 + 2 * f));
            if (sp == 0)
                break;
            node = stack[--sp];
            continue;
        }
        if (!Reads(node, 8, 4, "soup split of chain", i))
            return false;
        u32 link1 = (u32)(type & 0xFFFC) | ((u32)U16(node + 2) << 16);
        if (link1 < 8 || (u64)node + link1 > size)
            return Fail("collision %d: soup split at 0x%X links outside the soup", i, node);
        if (sp == 64)
            return Fail("collision %d: the soup's tree is more than 64 splits deep", i);
        stack[sp++] = node + link1;
        node += 8;
    }
    if (maxFace < 0)
        return true;
    if (!Reads(faces, 8 * (u64)(maxFace + 1), 2, "soup faces of chain", i))
        return false;
    for (int f = 0; f <= maxFace; f++)
    {
        for (int v = 0; v < 3; v++)
        {
            if (U16((u32)faces + 8 * f + 2 + 2 * v) >= nverts)
                return Fail("collision %d: soup face %d names vertex %u of %u", i, f,
                            U16((u32)faces + 8 * f + 2 + 2 * v), nverts);
        }
    }
    return true;
}

// A texture record and, when it holds its own image, the bytes an upload of
// it reads (palette first), laid out as the texture manager uploads them.
bool FileCheck::Texture1(u32 array, int i)
{
    const Texture* t = (const Texture*)(base + array + 40 * i);
    s32 data = (s32)(uintptr_t)t->data;
    if (data < -MDLFILE::kMostSharedTextures)
        return Fail("texture %d names shared texture %d; a shared array holds at most %d", i, ~data,
                    MDLFILE::kMostSharedTextures);
    if (data < 0)
        return true;   // a shared texture, filled in by the owner
    int psm = t->Psm();
    int sc = PsmSizeClass(psm);
    if (!KnownTexturePsm(psm))
        return Fail("texture %d has unknown pixel format 0x%X", i, psm);
    if (t->width > MAX_TEXTURE_SIZE || t->height > MAX_TEXTURE_SIZE || t->clutsize > 256 || t->clutsize % 4 != 0)
        return Fail("texture %d has impossible size %u x %u with %u palette colours", i, t->width, t->height,
                    t->clutsize);
    // The GS words go to the GS as they are, the texture's place added: they
    // must be those its format and size give (its place 0), and its block
    // count the space its image takes there.  A record of format word 0 is
    // never drawn.
    Texture derived = *t;
    derived.Init();
    if (t->format != 0 &&
        (t->tex0 != derived.tex0 || t->miptbp1 != derived.miptbp1 || t->miptbp2 != derived.miptbp2 ||
         (!(t->format & TEXF_RAW) && t->nblocks != derived.nblocks)))
        return Fail("texture %d's GS words are not those of its %u x %u format 0x%X", i, t->width, t->height,
                    t->format);
    u64 bytes = 0, pixels = 0;
    if (t->clutsize)
    {
        bytes = (sc >= 4 ? 8 * 2 : 16 * 16) * 4;
        pixels = t->clutsize * 4;
    }
    if ((t->format & TEXF_MIPS) && !(t->format & TEXF_RAW))
    {
        // The mip chain as one image a page wide (the GS page shapes).
        int tw = sc <= 2 ? 6 : 7;
        int rh = sc == 0 ? 5 : sc <= 2 ? 6 : sc == 3 ? 6 : 7;
        u64 rows = std::max<u64>((3ull * t->width * t->height + (2ull << tw) - 1) / (2ull << tw), 1ull << rh);
        pixels += ImageBytes(1u << tw, (u32)rows, psm);
    }
    else if (t->format & TEXF_RAW)
    {
        pixels += ImageBytes(64, (t->nblocks + 31u) & ~31u, PSMCT32);
    }
    else
    {
        pixels += ImageBytes(t->width, t->height, psm);
    }
    bytes = std::max(bytes, pixels);
    return Reads((u64)array + (u32)data, bytes, bytes != 0 ? 16 : 1, "image of texture", i);
}

bool FileCheck::AnimNode1(u64 at, int i)
{
    if (!Place(at, 8, 4, "animation node", i))
        return false;
    u32 off = (u32)at;
    u32 ns = U16(off + 6);
    if (!Writes(off, 8 + 4 * (u64)ns, 4, "animation node", i))
        return false;
    for (u32 s = 0; s < ns; s++)
    {
        u64 at = (u64)off + 4 + U32(off + 8 + 4 * s);
        if (!Reads(at, 4, 2, "key stream of animation node", i))
            return false;
        int type = U16((u32)at);
        u32 keySize = KeySize(type);
        if (keySize == 0)
            return Fail("animation node %d: stream %u has unknown type %d", i, s, type);
        if (!Reads(at + 4, (u64)keySize * U16((u32)at + 2), 1, "keys of animation node", i))
            return false;
    }
    return true;
}

// The node block, and that its links form trees: every reference in range,
// no node linked from two places, no loop (a loop would never end the
// recursive builders).
bool FileCheck::Nodes(u32 off, int count)
{
    if (!Reads(off, 48 * (u64)count, 16, "node block", 0))
        return false;
    if (pass == READ || count == 0)
        return true;
    const NODE* nodes = (const NODE*)(base + off);
    for (int i = 0; i < count; i++)
    {
        const NODE& n = nodes[i];
        int m = n.Model();
        if ((n.sibling != 0xFFFF && n.sibling >= count) || (n.child != 0xFFFF && n.child >= count))
            return Fail("node %d links to a node outside the %d-node block", i, count);
        // Only object nodes and levels of detail draw their model; in the
        // other kinds (locators, wheel mounts, seats) the model word is a
        // marker that names no model.
        bool drawn = !(n.model & MDL_NOTOBJECT) || n.Type() == NODETYPE_LOD;
        if (drawn && m < MDL_NOGEOM && m >= nModels)
            return Fail("node %d names model %d of %d", i, m, nModels);
        if (n.collision != 0xFFFF && (n.collision >= nCollisions || n.collision >= 4095))
            return Fail("node %d names collision %u of %d", i, n.collision, nCollisions);
        if (nAnims > 0 && n.GetAnimIndex() >= nAnims)
            return Fail("node %d names animation %d of %d", i, n.GetAnimIndex(), nAnims);
    }

    u8* linked = (u8*)calloc(count, 1);
    u16* stack = (u16*)malloc(2 * count);
    bool ok = linked != nullptr && stack != nullptr;
    if (!ok)
        Fail("no memory to check %d nodes", count);
    for (int i = 0; ok && i < count; i++)
    {
        for (u16 to : {nodes[i].sibling, nodes[i].child})
        {
            if (to != 0xFFFF && linked[to]++ != 0)
            {
                ok = Fail("node %u is linked from two places", to);
                break;
            }
        }
    }
    // From every node nothing links to, reach everything below and after it;
    // whatever is left over lies on a loop.
    int reached = 0;
    for (int r = 0; ok && r < count; r++)
    {
        if (linked[r] != 0)
            continue;
        int sp = 0;
        stack[sp++] = (u16)r;
        while (sp > 0)
        {
            const NODE& n = nodes[stack[--sp]];
            reached++;
            if (n.sibling != 0xFFFF)
                stack[sp++] = n.sibling;
            if (n.child != 0xFFFF)
                stack[sp++] = n.child;
        }
    }
    if (ok && reached != count)
        ok = Fail("%d nodes lie on a loop of links", count - reached);
    free(linked);
    free(stack);
    return ok;
}

bool FileCheck::Occluders(u64 off, int count)
{
    for (int i = 0; i < count; i++)
    {
        if (!Reads(off, 16, 16, "occluder", i))
            return false;
        s32 corners = (s32)U32((u32)off + 12);
        if (corners < 1 || corners > MAX_OCCLUDER_CORNERS)
            return Fail("occluder %d has %d corners", i, corners);
        if (!Reads(off, 16 * (u64)corners, 16, "occluder", i))
            return false;
        off += 16 * corners;
    }
    return true;
}

// Cuts a texture list after MTL_MAX_TEXLIST entries: drawing holds that many
// texture references per material.  The words cut are not read by the GS.
void BoundTextureList(const MATERIAL& mt)
{
    if (mt.texvuaddr == 0 || mt.texid == TEXID_NONE)
        return;
    int a = mt.texvuaddr & 0x7FFF;
    for (int length = 1; a != 0; length++)
    {
        u16* w = mt.Words(a);
        if (length == MTL_MAX_TEXLIST)
        {
            w[6] = 0;
            return;
        }
        a = w[6];
    }
}

void Rebase(u32& word, u32 delta)
{
    word += delta;
}

// Rebases a block's table of count model offsets by `table`, then hands each
// material of each model to fix(material).
template <class Fix>
void FixModels(u32* entry, int count, u32 table, Fix fix)
{
    for (int i = 0; i < count; i++)
    {
        Rebase(entry[i], table);
        MODEL* m = ((MODEL**)entry)[i];
        for (int j = 0; j < m->NumMaterials(); j++)
            fix(m->mtls[j]);
    }
}

// Rebases a block's table of count animation node offsets by `table`, then
// each node's stream offsets by streams(node).
template <class StreamBase>
void FixAnimNodes(u32* entry, int count, u32 table, StreamBase streams)
{
    for (int i = 0; i < count; i++)
    {
        Rebase(entry[i], table);
        AnimNode* an = ((AnimNode**)entry)[i];
        u32 by = streams(an);
        for (int s = 0; s < an->numStreams; s++)
            Rebase(an->streams[s], by);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Init

namespace {

// A node naming no model of its file was used as a model: said once until
// the next file is taken (a file's objects are made again and again).
bool toldNodeGeometry = false;

// The names files were taken under, by their blocks, for that line: the most
// recent few (a block taken again under another name replaces its entry).
struct TakenFile
{
    const ModelHeader* header;
    char name[64];
};
TakenFile takenFiles[32];
int nextTakenFile = 0;

void RememberName(const ModelHeader* header, const char* name)
{
    TakenFile* slot = nullptr;
    for (TakenFile& t : takenFiles)
        if (t.header == header)
            slot = &t;
    if (slot == nullptr) {
        slot = &takenFiles[nextTakenFile];
        nextTakenFile = (nextTakenFile + 1) % int(sizeof takenFiles / sizeof takenFiles[0]);
    }
    slot->header = header;
    snprintf(slot->name, sizeof slot->name, "%s", name != nullptr ? name : "");
}

const char* TakenName(const ModelHeader* header)
{
    for (const TakenFile& t : takenFiles)
        if (header != nullptr && t.header == header && t.name[0] != 0)
            return t.name;
    return nullptr;
}

}  // namespace

bool MDLFILE::Check(const ModelHeader* file, u32 size, char* why)
{
    if (file == nullptr)
    {
        strcpy(why, "no file");
        return false;
    }
    FileCheck check(file, size);
    if (check.Run())
        return true;
    strcpy(why, check.Why());
    return false;
}

bool MDLFILE::CheckTextures(const void* array, u32 size, int count, char* why)
{
    FileCheck check((const ModelHeader*)array, size);
    if (check.RunTextures(count))
        return true;
    strcpy(why, check.Why());
    return false;
}

bool MDLFILE::Init(u32 size, Texture* shared, int nShared, const char* name, const char* then)
{
    if (header == nullptr)
    {
        printf("Warning -- Modelfile::Setup() null header\n");
        return false;
    }
    FileCheck check(header, size);
    if (!check.Run())
    {
        if (name != nullptr && *name == 0)
            ;
        else if (name != nullptr)
            printf("Modelfile: %s refused (%u bytes): %s%s%s\n", name, size, check.Why(), then ? "; " : "",
                   then ? then : "");
        else
            printf("Modelfile: refused the %u-byte file at 0x%08X: %s\n", size, (unsigned)(uintptr_t)header,
                   check.Why());
        return false;
    }
    // One report per file, however many lists it has.
    if (check.longTexLists > 0)
        printf("Modelfile: %d texture lists longer than %d entries cut to %d\n", check.longTexLists, MTL_MAX_TEXLIST,
               MTL_MAX_TEXLIST);
    toldNodeGeometry = false;   // said again for this file
    RememberName(header, name);

    models = nullptr;
    collisions = nullptr;
    textures = nullptr;
    anmfile = nullptr;
    nodes = nullptr;
    parts = nullptr;
    shadows = nullptr;
    occluders = nullptr;
    nOccluders = 0;
    u32 version = 0;
    u32 base = (u32)(uintptr_t)header;

    header->Fix();
    for (u32 k = 0; k < header->blockCount; k++)
    {
        HeaderBlock& b = header->block[k];
        u32 table = b.data;
        u32* entry = (u32*)b.Data();
        switch (b.type)
        {
        case EX5_BLOCK_MODEL:
            nModels = (s16)b.count;
            models = (MODEL**)b.Data();
            FixModels(entry, b.count, table, [base](MATERIAL& mt) {
                Rebase(mt.callList, base);
                Rebase(mt.data, base);
                mt.Patch();
                BoundTextureList(mt);
            });
            break;
        case EX5_BLOCK_COLLISION:
            if (b.count == 0)
            {
                collisions = nullptr;
                break;
            }
            collisions = (COLLISION**)b.Data();
            for (int i = 0; i < b.count; i++)
                Rebase(entry[i], table);
            break;
        case EX5_BLOCK_TEXTURE:
            nTextures = (s16)b.count;
            textures = (Texture*)b.Data();
            for (int i = 0; i < b.count; i++)
            {
                u32 at = (u32)(uintptr_t)textures[i].data;
                if ((s32)at >= 0)
                    textures[i].data = (void*)(uintptr_t)(at + table);
            }
            break;
        case EX5_BLOCK_ANIM:
            if (b.count == 0)
            {
                anmfile = nullptr;
                break;
            }
            anmfile = (AnimNode**)b.Data();
            FixAnimNodes(entry, b.count, table, [](AnimNode* an) { return (u32)(uintptr_t)an->Bundle(); });
            break;
        case EX5_BLOCK_NODE:
            nNodes = (s16)b.count;
            nodes = (NODE*)b.Data();
            break;
        case EX5_BLOCK_PARTICLE:
            parts = (PS2Part*)b.Data();
            break;
        case EX5_BLOCK_VERSION:
            version = *(u32*)b.Data();
            break;
        case EX5_BLOCK_SHADOW:
            if (b.count == 0 || version < MDL_SHADOW_VERSION)
                break;
            shadows = (MODEL**)b.Data();
            FixModels(entry, b.count, table, [base](MATERIAL& mt) { Rebase(mt.data, base); });
            break;
        case EX5_BLOCK_OCCLUDER:
            nOccluders = (s16)b.count;
            if (b.count != 0)
                occluders = (Occluder*)b.Data();
            break;
        default:
            break;
        }
    }
    FixupSharedTextures(shared, shared != nullptr ? nShared : 0);
    return true;
}

void MDLFILE::FixupSharedTextures(Texture* shared, int nShared)
{
    int missing = 0;
    for (int i = 0; textures != nullptr && i < nTextures; i++)
    {
        // A fixed-up image pointer may lie above 2 GB, so it is no
        // shared number: those run from -1 to -kMostSharedTextures only.
        s32 n = (s32)(uintptr_t)textures[i].data;
        if (n >= 0 || n < -kMostSharedTextures)
            continue;
        u32 which = ~(u32)n;   // -n - 1
        if (shared != nullptr && which < (u32)nShared)
        {
            textures[i] = shared[which];
            textures[i].format |= TEXF_DIRTY;
        }
        else
        {
            // Not resolvable: drawers skip a record of format 0.
            textures[i].format = 0;
            missing++;
        }
    }
    if (missing > 0)
    {
        static bool reported;
        if (!reported)
            printf("Modelfile: %d textures name shared textures that were not given; they are not drawn\n", missing);
        reported = true;
    }
}

// ---------------------------------------------------------------------------
// MoveBuffer

void MDLFILE::MoveBuffer(void* dest, int size)
{
    ModelHeader* old = header;
    u32 oldBase = (u32)(uintptr_t)old;
    u32 delta = (u32)(uintptr_t)dest - oldBase;
    header = (ModelHeader*)dest;
    memmove(dest, old, size);
    u32 version = 0;

    for (u32 k = 0; k < header->blockCount; k++)
    {
        HeaderBlock& b = header->block[k];
        // A block without data keeps its 0.
        if (b.data != 0)
            Rebase(b.data, delta);
        u32* entry = (u32*)b.Data();
        switch (b.type)
        {
        case EX5_BLOCK_MODEL:
            models = (MODEL**)b.Data();
            FixModels(entry, b.count, delta, [delta](MATERIAL& mt) {
                Rebase(mt.callList, delta);
                Rebase(mt.data, delta);
            });
            break;
        case EX5_BLOCK_COLLISION:
            if (b.count == 0)
                break;
            collisions = (COLLISION**)b.Data();
            for (int i = 0; i < b.count; i++)
                Rebase(entry[i], delta);
            break;
        case EX5_BLOCK_TEXTURE:
            textures = (Texture*)b.Data();
            for (int i = 0; i < b.count; i++)
            {
                // Images inside the old block move with it; shared ones stay.
                u32 at = (u32)(uintptr_t)textures[i].data - oldBase;
                if (at > 0 && at < (u32)size)
                    textures[i].data = (void*)(uintptr_t)((u32)(uintptr_t)textures[i].data + delta);
            }
            break;
        case EX5_BLOCK_ANIM:
            if (b.count == 0)
                break;
            anmfile = (AnimNode**)b.Data();
            FixAnimNodes(entry, b.count, delta, [delta](AnimNode*) { return delta; });
            break;
        case EX5_BLOCK_NODE:
            nodes = (NODE*)b.Data();
            break;
        case EX5_BLOCK_PARTICLE:
            parts = (PS2Part*)b.Data();
            break;
        case EX5_BLOCK_VERSION:
            version = *(u32*)b.Data();
            break;
        case EX5_BLOCK_SHADOW:
            if (b.count == 0 || version < MDL_SHADOW_VERSION)
                break;
            shadows = (MODEL**)b.Data();
            FixModels(entry, b.count, delta, [delta](MATERIAL& mt) { Rebase(mt.data, delta); });
            break;
        case EX5_BLOCK_OCCLUDER:
            if (b.count != 0)
                occluders = (Occluder*)b.Data();
            break;
        default:
            break;
        }
    }
}

// ---------------------------------------------------------------------------
// Small services

void* MDLFILE::CreateUser(int size)
{
    FreeUser();
    user = calloc(1, size);
    return user;
}

void MDLFILE::FreeUser()
{
    free(user);
    user = nullptr;
}

NODE* MDLFILE::GetNode(int i) const
{
    return &nodes[i];
}

COLLISION* GetModelCollision(const MDLFILE* mf, int i)
{
    return mf->GetCollision(i);
}

// ---------------------------------------------------------------------------
// Node models

int MDLFILE::NodeGeometry(const NODE& node) const
{
    const int m = node.Model();
    if (m >= MDL_NOGEOM)
        return -1;
    if (models == nullptr || m >= nModels)
    {
        if (!toldNodeGeometry)
        {
            const char* file = TakenName(header);
            printf("Model: %s%snode %d names model %d of %d; its object is made without one\n",
                   file != nullptr ? file : "", file != nullptr ? ": " : "", nodes != nullptr ? int(&node - nodes) : -1,
                   m, models != nullptr ? nModels : 0);
        }
        toldNodeGeometry = true;
        return -1;
    }
    return m;
}
