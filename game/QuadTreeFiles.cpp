// City files: the cell index, the layout and the cell records, each checked
// against its size before its stored offsets become pointers.
#include <ee/kernel.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <new>

#include "game/CityObjects.h"
#include "game/QuadTree.h"

namespace {

// Formats the reason a check refuses a file into why (256 bytes); returns
// false so a check can end with `return Refuse(...)`.
bool Refuse(char* why, const char* fmt, ...)
{
    if (why != nullptr) {
        va_list ap;
        va_start(ap, fmt);
        vsnprintf(why, 256, fmt, ap);
        va_end(ap);
    }
    return false;
}

// [off, off + len) lies inside size bytes.
bool Inside(u64 off, u64 len, u32 size)
{
    return off <= size && len <= size - off;
}

const u32* Words(const void* p)
{
    return static_cast<const u32*>(p);
}

// The words of a file that its blocks take (one bit per word): words the
// check has read and the fix-up reads or writes.  In a cell, a relocation may
// name none of them, or it would change a checked count or offset, or a word
// the fix-up makes a pointer, after the check; in the layout, no two records
// the fix-up writes may share a word.
class CellWords
{
public:
    explicit CellWords(u32 size) : bits((u8*)calloc(size / 32 + 1, 1)) {}
    ~CellWords() { free(bits); }
    CellWords(const CellWords&) = delete;
    CellWords& operator=(const CellWords&) = delete;

    bool Ok() const { return bits != nullptr; }
    // Marks [off, off + len), which lies inside the cell.
    void Take(u32 off, u32 len)
    {
        for (u32 w = off / 4; w < (off + len + 3) / 4; w++)
            bits[w / 8] |= u8(1u << (w % 8));
    }
    bool Taken(u32 off) const { return bits[off / 32] & (1u << (off / 4 % 8)); }
    // Marks [off, off + len) when none of its words is taken yet.
    bool TakeFree(u32 off, u32 len)
    {
        for (u32 w = off / 4; w < (off + len + 3) / 4; w++)
            if (Taken(w * 4))
                return false;
        Take(off, len);
        return true;
    }

private:
    u8* bits;
};

// A block directory of n entries at the start of size bytes.
bool CheckHead(const void* file, u32 n, u32 size, char* why)
{
    if (!Inside(0, 4 + u64(n) * 8, size))
        return Refuse(why, "the %u-entry block directory does not fit in %u bytes", n, size);
    const HeaderBlock* b = reinterpret_cast<const HeaderBlock*>(Words(file) + 1);
    for (u32 i = 0; i < n; i++)
        if (b[i].data >= size)
            return Refuse(why, "block %u (type %u) starts at 0x%X, outside %u bytes", i, b[i].type, b[i].data, size);
    // A directory naming no data heads nothing but itself: more bytes than
    // the directory (padded to 16) are a file zeroed or overwritten in place.
    bool any = false;
    for (u32 i = 0; i < n; i++)
        any = any || b[i].data != 0;
    const u64 head = (4 + u64(n) * 8 + 15) & ~u64(15);
    if (!any && size > head)
        return Refuse(why, "its block directory names no data, yet it holds %u bytes", size);
    return true;
}

// A bad cell of the city's cells file has been told: a damaged file may hold
// many, and one message names it.  Told again for a city loaded afresh.
bool toldBadCell = false;

const HeaderBlock* Blocks(const void* file)
{
    return reinterpret_cast<const HeaderBlock*>(Words(file) + 1);
}

// The last block of a type in a directory of n entries, or null.
const HeaderBlock* FindBlock(const void* file, u32 n, u16 type)
{
    const HeaderBlock* found = nullptr;
    for (u32 i = 0; i < n; i++)
        if (Blocks(file)[i].type == type && Blocks(file)[i].data != 0)
            found = &Blocks(file)[i];
    return found;
}

}  // namespace

// ---------------------------------------------------------------------------
// Packed rotations and instance matrices.

Quaternion UnpackQuat(unsigned int packed)
{
    auto field = [packed](int shift) {
        int v = int((packed >> shift) & 0x3FF);
        if (v & 0x200)
            v -= 0x400;
        return float(v) * UNPACKQUAT_SCALE;
    };
    const float a = field(0), b = field(10), c = field(20);
    const float s = std::sqrt(1.0f - std::min(1.0f, a * a + b * b + c * c));
    switch (packed >> 30) {
    case 0:
        return Quaternion(Vector(a, b, c, s));
    case 1:
        return Quaternion(Vector(b, c, s, a));
    case 2:
        return Quaternion(Vector(c, s, a, b));
    default:
        return Quaternion(Vector(s, a, b, c));
    }
}

Matrix Instance::GetMatrix() const
{
    Matrix m = Matrix(UnpackQuat(Rotation()));
    if (scale != 0) {
        const float k = Scale();
        m.x = m.x * k;
        m.y = m.y * k;
        m.z = m.z * k;
    }
    m.w = Vector(loc[0], loc[1], loc[2], 1.0f);
    return m;
}

Matrix Instance::GetDrawMatrix(const MdlfileCache* mfc) const
{
    if (mfc == nullptr || !(mfc->obj.flags & CITYMODEL_SWAYS))
        return GetMatrix();
    const float u = loc[0] + float(world.timePrecise.t) / 256.0f * 0.025f;
    const VectorXYZ a = FixAng(VectorXYZ(u, 0.49f * u, 0.3f * u));
    const VectorXYZ s(0.01f * Sin(a[0]), 0.01f * Sin(a[1]), 0.01f * Sin(a[2]));
    return RotMatrix(s) * GetMatrix();
}

int CellOf(float v)
{
    return int((v + 16384.0f) * 0.00390625f) - 64;
}

// ---------------------------------------------------------------------------
// The cell index.

bool IndexTable::Check(const IndexTable* t, u32 size)
{
    if (t == nullptr || size < 4)
        return false;
    if (t->maxz < t->minz)
        return size == 4;   // no rows: a city without cells
    const u32 rows = u32(t->maxz - t->minz) + 1;
    if (!Inside(4, 4u * rows, size))
        return false;
    // The rows' pairs follow the spans in row order, each row's where the
    // last one's end, and the file ends with the last: any other word would
    // be read as a cell's place by no row, or by two.
    u64 next = 1 + u64(rows);
    for (u32 r = 0; r < rows; r++) {
        const Span& s = t->span[r];
        if (s.maxx < s.minx)
            continue;   // a row without cells
        if (s.index != next || !Inside(u64(s.index) * 4, u64(s.maxx - s.minx + 1) * 8, size))
            return false;
        next += 2u * u64(s.maxx - s.minx + 1);
    }
    return u64(size) == next * 4;
}

bool IndexTable::Find(int x, int z, u32& offset, u32& size) const
{
    const int zi = z + 64, xi = x + 64;
    if (zi < minz || zi > maxz)
        return false;
    const Span& s = span[zi - minz];
    if (xi < s.minx || xi > s.maxx)
        return false;
    const u32 k = s.index + 2u * u32(xi - s.minx);
    offset = Words(this)[k];
    size = Words(this)[k + 1];
    return true;
}

int CityIndex(int i)
{
    const QuadTree* qt = world.quadtree;
    if (qt == nullptr || qt->cities == nullptr || i < 0 || i >= qt->nCities)
        return 0;
    return qt->cities[i];
}

// ---------------------------------------------------------------------------
// The layout.

bool QuadTree::CheckLayout(const LayoutFile* f, u32 size, char* why)
{
    if (!CheckHead(f, LAYOUT_BLOCKS, size, why))
        return false;
    u32 seen = 0;
    for (const HeaderBlock& b : f->block) {
        if (b.type >= LAYOUT_BLOCKS || b.data == 0)
            continue;
        if (seen & (1u << b.type))
            return Refuse(why, "block type %u appears twice", b.type);
        seen |= 1u << b.type;
    }
    // The fix-up writes the tables, the texture records and the road and
    // ground kinds in place: each written word belongs to one of them.
    CellWords words(size);
    if (!words.Ok())
        return Refuse(why, "no memory to check its %u bytes", size);
    words.Take(0, 4 + LAYOUT_BLOCKS * 8);
    const HeaderBlock* tex = FindBlock(f, LAYOUT_BLOCKS, LAYOUT_TEXTURES);
    const u32 ntex = tex ? tex->count : 0;
    if (tex && ((tex->data & 15) || !Inside(tex->data, u64(ntex) * sizeof(Texture), size)))
        return Refuse(why, "the %u texture records run past the end or off their boundary", ntex);
    if (tex && !words.TakeFree(tex->data, ntex * u32(sizeof(Texture))))
        return Refuse(why, "the texture records share words with the block directory");
    for (u32 i = 0; tex && i < ntex; i++) {
        const u32 off = Words((const u8*)f + tex->data + i * sizeof(Texture))[3];
        if (!Inside(u64(tex->data) + off, 0, size))
            return Refuse(why, "texture %u's data lies outside the file", i);
    }
    // The roads and patches draw with them: formats, sizes, the images an
    // upload reads and the GS words, as a model file's own textures.
    char texwhy[256];
    if (tex && ntex > 0 && !MDLFILE::CheckTextures((const u8*)f + tex->data, size - tex->data, int(ntex), texwhy))
        return Refuse(why, "textures: %s", texwhy);
    for (const HeaderBlock& b : f->block) {
        if (b.data == 0)
            continue;
        const u8* base = (const u8*)f;
        switch (b.type) {
        case LAYOUT_ROADTYPES:
            if ((b.data & 3) || !Inside(b.data, u64(b.count) * 4, size))
                return Refuse(why, "the road-type table runs past the end or off its boundary");
            if (!words.TakeFree(b.data, b.count * 4))
                return Refuse(why, "the road-type table shares words with another block");
            for (u32 i = 0; i < b.count; i++) {
                const u32 off = Words(base + b.data)[i];
                if (off == 0 || (off & 15) || !Inside(off, sizeof(RoadTypeFile), size))
                    return Refuse(why, "road type %u lies outside the file", i);
                const RoadTypeFile* rt = (const RoadTypeFile*)(base + off);
                const int n = rt->iNumXSectPts;
                if (n < 1 || !Inside(off + 32, u64(rt->NumPoints()) * 16, size))
                    return Refuse(why, "road type %u's cross section runs past the end", i);
                if (!words.TakeFree(off, 32 + u32(rt->NumPoints()) * 16))
                    return Refuse(why, "road type %u shares words with another record or table", i);
                // The points' shading is worked out from their slopes.
                for (int p = 0; p < rt->NumPoints(); p++)
                    if (!std::isfinite(rt->vXSect[p][0]) || !std::isfinite(rt->vXSect[p][1]))
                        return Refuse(why, "road type %u's cross-section point %d is no number", i, p);
                if (rt->iJunc >= n || rt->iJuncLeft >= n || rt->iRightEdge >= n)
                    return Refuse(why, "road type %u names a cross-section point it does not have", i);
                if (rt->iNumXSectLowPts != 0 && (rt->iJuncLow >= rt->iNumXSectLowPts ||
                                                 rt->iJuncLeftLow >= rt->iNumXSectLowPts ||
                                                 rt->iRightEdgeLow >= rt->iNumXSectLowPts))
                    return Refuse(why, "road type %u names a low-detail point it does not have", i);
                if (!Inside(u64(off) + FileWord(rt->lanes), u64(rt->num_lanes) * 4, size))
                    return Refuse(why, "road type %u's lane table lies outside the file", i);
                const int t = std::bit_cast<int>(FileWord(rt->ptex));
                if (t >= int(ntex))
                    return Refuse(why, "road type %u names texture %d of %u", i, t, ntex);
            }
            break;
        case LAYOUT_GROUNDTYPES:
            if ((b.data & 3) || !Inside(b.data, u64(b.count) * 4, size))
                return Refuse(why, "the ground-type table runs past the end or off its boundary");
            if (!words.TakeFree(b.data, b.count * 4))
                return Refuse(why, "the ground-type table shares words with another block");
            for (u32 i = 0; i < b.count; i++) {
                const u32 off = Words(base + b.data)[i];
                if (off == 0 || (off & 3) || !Inside(off, 4, size))
                    return Refuse(why, "ground type %u lies outside the file", i);
                if (!words.TakeFree(off, 4))
                    return Refuse(why, "ground type %u shares its word with another record or table", i);
                const u32 t = Words(base + off)[0];
                if (t >= ntex)
                    return Refuse(why, "ground type %u names texture %d of %u", i, int(t), ntex);
            }
            break;
        case LAYOUT_ROADNAMES:
        case LAYOUT_MODELDIR:
            if ((b.data & 3) || !Inside(b.data, (u64(b.count) + 1) * 4, size))
                return Refuse(why, "the %s table runs past the end or off its boundary",
                              b.type == LAYOUT_ROADNAMES ? "road-name" : "model");
            if (!words.TakeFree(b.data, (b.count + 1) * 4))
                return Refuse(why, "the %s table shares words with another block",
                              b.type == LAYOUT_ROADNAMES ? "road-name" : "model");
            for (u32 i = 0; i <= b.count; i++) {
                const u32 w = Words(base + b.data)[i];
                if (i > 0 && w < Words(base + b.data)[i - 1])
                    return Refuse(why, "entry %u of the %s table goes backwards", i,
                                  b.type == LAYOUT_ROADNAMES ? "road-name" : "model");
                if (b.type == LAYOUT_ROADNAMES && (w == 0 || w > size))
                    return Refuse(why, "road name %u lies outside the file", i);
            }
            break;
        case LAYOUT_CITIES:
            if ((b.data & 1) || !Inside(b.data, u64(b.count) * 2, size))
                return Refuse(why, "the city numbers run past the end or off their boundary");
            break;
        default:
            break;
        }
    }
    return true;
}

QuadTree::QuadTree(LayoutFile* layout) : file(layout)
{
    toldBadCell = false;
    layout->blockCount = LAYOUT_BLOCKS;
    layout->Header()->Fix();
    for (HeaderBlock& b : layout->block) {
        if (b.data == 0)
            continue;
        u32* words = (u32*)b.Data();
        switch (b.type) {
        case LAYOUT_ROADTYPES:
            roadtypes = (RoadType**)words;
            nRoadtypes = b.count;
            for (int i = 0; i < nRoadtypes; i++) {
                RoadType* rt = (RoadType*)((u8*)layout + words[i]);
                roadtypes[i] = rt;
                rt->lanes = (float*)((u8*)rt + FileWord(rt->lanes));
                rt->speed *= 1.0f / 70.0f;
                for (int p = 1; p < rt->NumPoints(); p++) {
                    const Vector& a = rt->vXSect[p - 1];
                    Vector& v = rt->vXSect[p];
                    const float dx = v[0] - a[0], dy = v[1] - a[1];
                    const float len = std::sqrt(dx * dx + dy * dy);
                    u32 shade = 0;
                    if (len > 0.0f && std::isfinite(len)) {
                        const float c = std::clamp(dx / len, -1.0f, 1.0f);
                        shade = u32(int(32767.0f * c * c * c)) & 0xFFFF;
                    }
                    v[2] = WordLane((LaneWord(v[2]) & 0xFFFF0000u) | shade);
                    v[3] = WordLane((LaneWord(v[3]) & 0xFFFF0000u) | shade);
                }
            }
            break;
        case LAYOUT_GROUNDTYPES:
            groundtypes = (GroundType**)words;
            nGroundtypes = b.count;
            for (int i = 0; i < nGroundtypes; i++)
                groundtypes[i] = (GroundType*)((u8*)layout + words[i]);
            break;
        case LAYOUT_TEXTURES:
            textures = (Texture*)words;
            nTextures = b.count;
            for (int i = 0; i < nTextures; i++)
                textures[i].data = (u8*)words + FileWord(textures[i].data);
            break;
        case LAYOUT_ROADNAMES:
            roadnames = (char**)words;
            num_roadnames = b.count;
            for (int i = 0; i <= num_roadnames; i++)
                roadnames[i] = (char*)layout + words[i];
            break;
        case LAYOUT_MODELDIR:
            nMdlfiles = b.count;
            mdlfiles = nMdlfiles > 0 ? (MdlfileCache*)malloc_align(sizeof(MdlfileCache) * nMdlfiles, 16) : nullptr;
            if (mdlfiles == nullptr && nMdlfiles > 0) {
                printf("City: no memory for the table of %d models; the city shows none\n", nMdlfiles);
                nMdlfiles = 0;
            }
            for (int i = 0; i < nMdlfiles; i++)
                new (&mdlfiles[i]) MdlfileCache(words[i], words[i + 1] - words[i]);
            break;
        case LAYOUT_CITIES:
            cities = (u16*)words;
            nCities = b.count;
            break;
        default:
            break;
        }
    }
    for (int i = 0; i < nRoadtypes; i++) {
        const int t = std::bit_cast<int>(FileWord(roadtypes[i]->ptex));
        roadtypes[i]->ptex = t >= 0 ? &textures[t] : nullptr;
    }
    for (int i = 0; i < nGroundtypes; i++)
        groundtypes[i]->ptex = &textures[FileWord(groundtypes[i]->ptex)];
}

QuadTree::~QuadTree()
{
    ClearAllGrids();
    ClearVisibility();
    for (int i = 0; i < nMdlfiles; i++)
        mdlfiles[i].~MdlfileCache();
    free(mdlfiles);
    free(file);
}

// ---------------------------------------------------------------------------
// Cell records.

namespace {

// A walk over the junction records of one block.
struct JunctionBlock
{
    u32 data = 0, count = 0;
};

// True when off is the start of a junction record of one of the blocks, with
// at least n records from it inside the block.
bool IsJunctionRun(const u8* base, const JunctionBlock* blocks, int nblocks, u32 off, u32 n)
{
    for (int bi = 0; bi < nblocks; bi++) {
        u32 at = blocks[bi].data;
        for (u32 i = 0; i < blocks[bi].count; i++) {
            if (at == off)
                return i + n <= blocks[bi].count;
            at += JunctionFile::Size(((const JunctionFile*)(base + at))->nRoadsegs);
        }
    }
    return false;
}

// off is record idx of a block of count records of size bytes, with n
// records from it inside.
bool IsRecordRun(const HeaderBlock* b, u32 recsize, u32 off, u32 n)
{
    if (b == nullptr || off < b->data || (off - b->data) % recsize != 0)
        return false;
    return (off - b->data) / recsize + n <= b->count;
}

// Nodes may share occluders (seen marks those checked already), but an
// occluder shares no word with a record the fix-up writes: its count would
// change under it.
bool CheckOccluders(const u8* base, u32 size, u32 off, u32 n, CellWords& words, CellWords& seen)
{
    for (u32 i = 0; i < n; i++) {
        if ((off & 15) || !Inside(off, 16, size))
            return false;
        const int c = ((const Occluder*)(base + off))->Count();
        if (c < 1 || c > Occlusion::MAXCORNERS || !Inside(off, u64(c) * 16, size))
            return false;
        if (!seen.Taken(off)) {
            if (!words.TakeFree(off, u32(c) * 16))
                return false;
            seen.Take(off, 4);
        }
        off += u32(c) * 16;
    }
    return true;
}

}  // namespace

bool Grid::Check(const GridFile* f, u32 size, const QuadTree* qt, char* why)
{
    if (size < 4 || !CheckHead(f, f->blockCount, size, why))
        return false;
    const u8* base = (const u8*)f;
    const u32 nb = f->blockCount;
    // The fix-up turns words of the records into pointers and reads counts
    // and offsets of others as it goes: no two records may share a word.
    CellWords words(size), occluders(size);
    if (!words.Ok() || !occluders.Ok())
        return Refuse(why, "no memory to check its %u bytes", size);
    words.Take(0, 4 + nb * 8);
    // Each block the loader reads is checked once, so it may appear once.
    u32 seen = 0;
    for (u32 i = 0; i < nb; i++) {
        const HeaderBlock& b = ((const HeaderBlock*)(base + 4))[i];
        if (b.type >= GRID_BLOCKS || b.data == 0)
            continue;
        if (seen & (1u << b.type))
            return Refuse(why, "block type %u appears twice", b.type);
        seen |= 1u << b.type;
    }
    const HeaderBlock* inst = FindBlock(f, nb, GRID_INSTANCES);
    const HeaderBlock* segs = FindBlock(f, nb, GRID_ROADSEGS);
    const HeaderBlock* pats = FindBlock(f, nb, GRID_GROUNDPATCHES);
    const HeaderBlock* nodes = FindBlock(f, nb, GRID_QUADNODES);
    JunctionBlock jb[2];
    const HeaderBlock* jblocks[2] = {FindBlock(f, nb, GRID_JUNCTIONS), FindBlock(f, nb, GRID_FAKEJUNCTIONS)};
    for (int i = 0; i < 2; i++)
        if (jblocks[i])
            jb[i] = {jblocks[i]->data, jblocks[i]->count};

    if (inst) {
        if ((inst->data & 15) || !Inside(inst->data, u64(inst->count) * 32, size))
            return Refuse(why, "the %u instances run past the end", inst->count);
        for (u32 i = 0; i < inst->count; i++) {
            const InstanceFile& in = ((const InstanceFile*)(base + inst->data))[i];
            if (in.mdlfileid >= qt->nMdlfiles)
                return Refuse(why, "instance %u uses model %u of %d", i, in.mdlfileid, qt->nMdlfiles);
            // The data is a parameter record used in place by the model's
            // behaviour (the largest the city's behaviours read is an
            // exterior's): on a record's boundary and whole inside the cell.
            if (in.dataoffset != 0 &&
                ((in.dataoffset & 15) || u32(in.dataoffset) + sizeof(ExteriorSpecific_params) > size))
                return Refuse(why, "instance %u's parameter data at 0x%X is not a record inside the cell", i,
                              in.dataoffset);
            // The word holds the instance's real object once one is made.
            if (in.obj != nullptr)
                return Refuse(why, "instance %u's object word is 0x%X, not 0", i, FileWord(in.obj));
        }
        if (!words.TakeFree(inst->data, inst->count * 32))
            return Refuse(why, "the instances share words with another block");
    }
    for (int bi = 0; bi < 2; bi++) {
        u32 at = jb[bi].data;
        for (u32 i = 0; i < jb[bi].count; i++) {
            if ((at & 15) || !Inside(at, 32, size))
                return Refuse(why, "junction %u runs past the end", i);
            const JunctionFile* j = (const JunctionFile*)(base + at);
            const int n = j->nRoadsegs;
            if (!Inside(at, JunctionFile::Size(n), size) || (FileWord(j->pbezCurbs) & 15) ||
                !Inside(u64(at) + FileWord(j->pbezCurbs), u64(n) * 64, size))
                return Refuse(why, "junction %u's kerbs run past the end", i);
            for (int k = 0; k < n; k++) {
                const u32 rs = FileWord(j->roadsegs[k]);
                if (rs != 0 && !IsRecordRun(segs, 80, rs, 1))
                    return Refuse(why, "junction %u's slot %d is not a road segment", i, k);
            }
            // The kerbs lie in the record unless it says otherwise.
            if (!words.TakeFree(at, JunctionFile::Size(n)) ||
                (FileWord(j->pbezCurbs) != JunctionFile::KerbOffset(n) &&
                 !words.TakeFree(at + FileWord(j->pbezCurbs), u32(n) * 64)))
                return Refuse(why, "%sjunction %u or its kerbs share words with another record", bi ? "fake " : "", i);
            at += JunctionFile::Size(n);
        }
    }
    if (segs) {
        if ((segs->data & 15) || !Inside(segs->data, u64(segs->count) * 80, size))
            return Refuse(why, "the %u road segments run past the end", segs->count);
        for (u32 i = 0; i < segs->count; i++) {
            const RoadSegFile& rs = ((const RoadSegFile*)(base + segs->data))[i];
            for (int e = 0; e < 2; e++) {
                const u32 j = FileWord(rs.jtn[e]);
                if (j != 0 && !IsJunctionRun(base, jb, 2, j, 1))
                    return Refuse(why, "road segment %u ends at 0x%X, not a junction", i, j);
            }
            if (FileWord(rs.type) >= u32(qt->nRoadtypes))
                return Refuse(why, "road segment %u is of kind %u of %d", i, FileWord(rs.type), qt->nRoadtypes);
        }
        if (!words.TakeFree(segs->data, segs->count * 80))
            return Refuse(why, "the road segments share words with another block");
    }
    if (pats) {
        if ((pats->data & 15) || !Inside(pats->data, u64(pats->count) * 336, size))
            return Refuse(why, "the %u ground patches run past the end", pats->count);
        for (u32 i = 0; i < pats->count; i++) {
            const GroundPatchFile& gp = ((const GroundPatchFile*)(base + pats->data))[i];
            const int t = int(LaneWord(gp.patch.p[0][3]));
            if (t < -1 || t >= qt->nGroundtypes)
                return Refuse(why, "ground patch %u is of ground type %d of %d", i, t, qt->nGroundtypes);
            for (int p : {3, 5, 7, 9})
                if (LaneWord(gp.patch.p[p][3]) >= size)
                    return Refuse(why, "ground patch %u's point %d names 0x%X, outside the cell", i, p,
                                  LaneWord(gp.patch.p[p][3]));
        }
        if (!words.TakeFree(pats->data, pats->count * 336))
            return Refuse(why, "the ground patches share words with another block");
    }
    if (nodes) {
        if ((nodes->data & 15) || !Inside(nodes->data, u64(nodes->count) * 80, size))
            return Refuse(why, "the %u quad nodes run past the end", nodes->count);
        if (!words.TakeFree(nodes->data, nodes->count * 80))
            return Refuse(why, "the quad nodes share words with another block");
        // Each node has one parent at most, so the tree's walks visit each
        // node once.
        u8* parented = (u8*)calloc(nodes->count + 1u, 1);
        if (parented == nullptr)
            return Refuse(why, "no memory to check its %u quad nodes", nodes->count);
        for (u32 i = 0; i < nodes->count; i++) {
            const QuadNodeFile& qn = ((const QuadNodeFile*)(base + nodes->data))[i];
            for (int c = 0; c < 4; c++) {
                const u32 off = FileWord(qn.child[c]);
                if (off == 0)
                    continue;
                // Children come after their parent, so no walk can loop.
                if (!IsRecordRun(nodes, 80, off, 1) || (off - nodes->data) / 80 <= i) {
                    free(parented);
                    return Refuse(why, "quad node %u's child %d is not a later node", i, c);
                }
                if (parented[(off - nodes->data) / 80]++ != 0) {
                    free(parented);
                    return Refuse(why, "quad node %u's child %d, node %u, has another parent", i, c,
                                  (off - nodes->data) / 80);
                }
            }
            // Every non-zero word becomes a pointer into the cell, whatever
            // its count.
            for (const u32 w : {FileWord(qn.objects), FileWord(qn.junctions), FileWord(qn.roadsegs),
                                FileWord(qn.groundpatches), FileWord(qn.occluders)})
                if (w >= size) {
                    free(parented);
                    return Refuse(why, "quad node %u names 0x%X, outside the cell", i, w);
                }
            if ((qn.nObjects && !IsRecordRun(inst, 32, FileWord(qn.objects), qn.nObjects)) ||
                (qn.nRoadSegs && !IsRecordRun(segs, 80, FileWord(qn.roadsegs), qn.nRoadSegs)) ||
                (qn.nGroundPatches && !IsRecordRun(pats, 336, FileWord(qn.groundpatches), qn.nGroundPatches)) ||
                (qn.nJunctions && !IsJunctionRun(base, jb, 1, FileWord(qn.junctions), qn.nJunctions)) ||
                (qn.nOccluders && !CheckOccluders(base, size, FileWord(qn.occluders), qn.nOccluders, words, occluders))) {
                free(parented);
                return Refuse(why, "quad node %u lists records outside their blocks", i);
            }
        }
        free(parented);
    }
    if (const HeaderBlock* ml = FindBlock(f, nb, GRID_MODELLIST)) {
        if ((ml->data & 1) || !Inside(ml->data, u64(ml->count) * 2, size))
            return Refuse(why, "the model list runs past the end or off its boundary");
        for (u32 i = 0; i < ml->count; i++) {
            const int m = ((const s16*)(base + ml->data))[i];
            if (m < 0 || m >= qt->nMdlfiles)
                return Refuse(why, "the model list names model %d of %d", m, qt->nMdlfiles);
        }
        if (!words.TakeFree(ml->data, ml->count * 2))
            return Refuse(why, "the model list shares words with another block");
    }
    if (const HeaderBlock* rl = FindBlock(f, nb, GRID_RELOCATIONS)) {
        if ((rl->data & 3) || !Inside(rl->data, u64(rl->count) * 4, size))
            return Refuse(why, "the relocations run past the end");
        if (!words.TakeFree(rl->data, rl->count * 4u))
            return Refuse(why, "the relocations share words with another block");
        // The base is an offset into the cell, like the words it is added to.
        if (rl->count > 0 && Words(base + rl->data)[0] >= size)
            return Refuse(why, "the relocation base 0x%X lies outside the cell", Words(base + rl->data)[0]);
        for (u32 k = 1; k < rl->count; k++) {
            const u32 at = Words(base + rl->data)[k];
            if ((at & 3) || !Inside(at, 4, size))
                return Refuse(why, "relocation %u names 0x%X, outside the cell", k, at);
            // Only words outside the blocks (the instances' parameter data)
            // may be relocated, each once.
            if (words.Taken(at))
                return Refuse(why, "relocation %u names 0x%X, a word of a block or relocated already", k, at);
            words.Take(at, 4);
        }
    }
    return true;
}

void Grid::Init(QuadTree* qt, int total)
{
    FlushCache(0);
    char why[256] = "";
    // A cells file shorter than the index says delivers less than the cell:
    // what is missing would read as an empty cell.
    u32 offset = 0, bytes = 0;
    const bool cut = total >= 0 && indextable != nullptr && indextable->Find(cellx, cellz, offset, bytes) &&
                     u64(offset) + size > u64(total);
    if (cut)
        snprintf(why, sizeof why, "at 0x%X it runs %u bytes past the file's end", offset,
                 u32(u64(offset) + size - u64(total)));
    if (cut || !Check(file, size, qt, why)) {
        if (!toldBadCell)
            printf("City: cell (%d, %d) is malformed (%s) in %s; its place stays empty, as any other bad one's\n",
                   cellx, cellz, why, CITY_CELLS_PATH);
        toldBadCell = true;
        free(file);
        file = nullptr;
        streamnum = -1;
        return;
    }
    u8* base = (u8*)file;
    file->Header()->Fix();
    // The directory may list more entries than a cell has kinds of block
    // (the others are passed over): it is read as the file's, not as the
    // record's fixed array.
    for (u32 bi = 0; bi < file->blockCount; bi++) {
        HeaderBlock& b = file->Header()->block[bi];
        if (b.data == 0)
            continue;
        switch (b.type) {
        case GRID_INSTANCES:
            instances = (Instance*)b.Data();
            nInstances = b.count;
            iInstances = 0;
            break;
        case GRID_JUNCTIONS:
        case GRID_FAKEJUNCTIONS: {
            Junction* j = (Junction*)b.Data();
            if (b.type == GRID_FAKEJUNCTIONS) {
                fakejunctions = j;
                nFake = b.count;
            }
            for (int i = 0; i < b.count; i++, j = j->Next()) {
                j->pbezCurbs = (Bezier*)((u8*)j + FileWord(j->pbezCurbs));
                for (int k = 0; k < j->nRoadsegs; k++) {
                    const u32 off = FileWord(j->roadsegs[k]);
                    j->roadsegs[k] = off != 0 ? (RoadSeg*)(base + off) : nullptr;
                    j->pbezCurbs[k].c3[3] = 0.0f;
                }
            }
            break;
        }
        case GRID_ROADSEGS: {
            RoadSeg* rs = (RoadSeg*)b.Data();
            for (int i = 0; i < b.count; i++) {
                for (Junction*& jt : rs[i].jtn)
                    jt = FileWord(jt) != 0 ? (Junction*)(base + FileWord(jt)) : nullptr;
                rs[i].type = qt->roadtypes[FileWord(rs[i].type)];
            }
            break;
        }
        case GRID_GROUNDPATCHES: {
            GroundPatch* gp = (GroundPatch*)b.Data();
            for (int i = 0; i < b.count; i++) {
                Vector* p = gp[i].patch.p;
                const int t = int(LaneWord(p[0][3]));
                p[0][3] = WordLane(FileWord(t >= 0 ? qt->groundtypes[t] : nullptr));
                for (int r = 0; r < 3; r++)
                    gp[i].texmat[r][2] = 0.0f;
                gp[i].texmat.w[2] = 1.0f;
                for (int k : {3, 5, 7, 9})
                    p[k][3] = WordLane(FileWord(base + LaneWord(p[k][3])));
            }
            break;
        }
        case GRID_QUADNODES: {
            QuadNode* qn = (QuadNode*)b.Data();
            // The tree's root is its first node: a block of no nodes heads
            // none, whatever its data word names.
            root = b.count > 0 ? qn : nullptr;
            auto fix = [base](auto*& p) {
                using T = std::remove_reference_t<decltype(*p)>;
                p = FileWord(p) != 0 ? (T*)(base + FileWord(p)) : nullptr;
            };
            for (int i = 0; i < b.count; i++) {
                for (QuadNode*& c : qn[i].child)
                    fix(c);
                fix(qn[i].objects);
                fix(qn[i].junctions);
                fix(qn[i].roadsegs);
                fix(qn[i].groundpatches);
                fix(qn[i].occluders);
            }
            break;
        }
        case GRID_MODELLIST:
            mdlfiles = (s16*)b.Data();
            nMdlfiles = b.count;
            iMdlfiles = 0;
            for (int i = 0; i < nMdlfiles; i++)
                qt->mdlfiles[mdlfiles[i]].AddRef();
            break;
        case GRID_RELOCATIONS: {
            u32* e = (u32*)b.Data();
            const u32 add = FileWord(base + e[0]);
            for (int k = 1; k < b.count; k++)
                *(u32*)(base + e[k]) += add;
            break;
        }
        default:
            break;
        }
    }
    Junction* j = fakejunctions;
    for (int i = 0; i < nFake; i++, j = j->Next())
        qt->Stitch(j);
}
