// The window of streamed cells: moving it, reading and fixing up cell
// records, the model-file cache, joining roads across cell borders, and the
// temporary objects that stand for placed instances.
#include <ee/kernel.h>
#include <ee/regs.h>

#include <cstring>
#include <new>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Streamer.h"
#include "game/QuadTree.h"

namespace {

u32 Timer0Count()
{
    return DGET_T0_COUNT();
}

int Mod3(int v)
{
    return ((v % 3) + 3) % 3;
}

// Window centres stay where every cell of the window has a slot and an index
// entry: cells -64 .. 191.
constexpr int MIN_CENTRE = -63;
constexpr int MAX_CENTRE = 190;

}  // namespace

CityIO RealCityIO()
{
    return CityIO{StreamerCreate, StreamerTransfer,   StreamerBytesPending,
                  StreamerStop,   StreamerClose,      Timer0Count,
                  StreamerTotalLength};
}

CityIO cityio = RealCityIO();

namespace {

// A bad model of the city's models file has been told: a damaged file may
// hold many, and one message names it.
bool toldBadModel = false;

// Cuts every road of the other loaded cells that still leads into cell's
// record, before it is freed.
void CutLinksInto(QuadTree* qt, const Grid* cell)
{
    // Joins made across cells are parted by the unstitching, as long as the
    // cells agree with each other.  A damaged cells file (a cell's record at
    // another cell's place, one record at two places) may have joined roads
    // that the unstitching cannot part: whatever still leads into this
    // cell's bytes is cut, so that no other cell keeps a road into a cell
    // that is gone.
    const u8* lo = (const u8*)cell->file;
    const u8* hi = lo + cell->size;
    auto into = [lo, hi](const void* p) { return (const u8*)p >= lo && (const u8*)p < hi; };
    for (Grid& g : qt->grid) {
        if (&g == cell || g.file == nullptr || g.streamnum != -2)
            continue;
        for (u32 b = 0; b < g.file->blockCount; b++) {
            const HeaderBlock& hb = g.file->Header()->block[b];
            if (hb.data == 0)
                continue;
            if (hb.type == GRID_ROADSEGS) {
                RoadSeg* rs = (RoadSeg*)hb.Data();
                for (int i = 0; i < hb.count; i++)
                    for (Junction*& jt : rs[i].jtn)
                        if (into(jt))
                            jt = nullptr;
            } else if (hb.type == GRID_JUNCTIONS || hb.type == GRID_FAKEJUNCTIONS) {
                Junction* j = (Junction*)hb.Data();
                for (int i = 0; i < hb.count; i++, j = j->Next())
                    for (int k = 0; k < j->nRoadsegs; k++)
                        if (into(j->roadsegs[k]))
                            j->roadsegs[k] = nullptr;
            }
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// One slot.

void Grid::Load(QuadTree* qt, int x, int z)
{
    Clear(qt);
    cellx = x;
    cellz = z;
    u32 offset = 0, bytes = 0;
    if (indextable == nullptr || !indextable->Find(x, z, offset, bytes) || bytes == 0)
        return;
    if (bytes < sizeof(u32)) {
        printf("City: cell (%d, %d) is malformed (%u bytes) in %s; its place stays empty\n", x, z, bytes,
               CITY_CELLS_PATH);
        return;
    }
    file = (GridFile*)malloc_align(bytes, 64);
    if (file == nullptr) {
        printf("City: no memory for the %u bytes of cell (%d, %d); its place stays empty\n", bytes, x, z);
        return;
    }
    // A read that never arrives leaves an empty record, not stale memory.
    std::memset(file, 0, bytes);
    size = bytes;
    streamnum = cityio.Create(CITY_CELLS_PATH, int(offset));
    if (streamnum < 0) {
        streamnum = -1;
        return;
    }
    if (cityio.Transfer(streamnum, file, int(bytes)) < 0) {
        cityio.Close(streamnum);
        streamnum = -1;
    }
}

bool Grid::Update(QuadTree* qt, float maxtime)
{
    if (streamnum >= 0) {
        if (cityio.BytesPending(streamnum, false) > 0)
            return false;
        const int total = cityio.TotalLength != nullptr ? cityio.TotalLength(streamnum) : -1;
        cityio.Close(streamnum);
        streamnum = -2;
        Init(qt, total);
        return maxtime == 0.0f;
    }
    if (streamnum == -1 || maxtime == 0.0f)
        return true;

    // Models: one read at a time per cell.
    while (iMdlfiles < nMdlfiles) {
        MdlfileCache& m = qt->mdlfiles[mdlfiles[iMdlfiles]];
        if (m.streamnum == -2) {
            iMdlfiles++;
        } else if (m.streamnum >= 0) {
            if (cityio.BytesPending(m.streamnum, false) > 0)
                break;
            m.Arrive(qt->textures, qt->nTextures);
            iMdlfiles++;
        } else {
            m.StartStreaming(CITY_MODELS_PATH);
            break;
        }
    }

    // Instances, while the budget lasts.
    const u32 start = cityio.Clock();
    while (float((cityio.Clock() - start) & 0xFFFF) / float(CITY_TICKS_PER_FRAME) < maxtime) {
        if (iInstances == nInstances)
            return true;
        Instance& in = instances[iInstances];
        MdlfileCache& m = qt->mdlfiles[in.mdlfileid];
        if (m.streamnum != -2)
            return false;
        void* data = in.dataoffset != 0 ? (u8*)file + in.dataoffset
                     : (m.nodes != nullptr && m.nodes[0].extra2 != 0) ? (u8*)m.header + m.nodes[0].extra2
                                                                      : nullptr;
        if (m.obj.messagehandler != nullptr) {
            TempObject* t = tempobjpool.Bind(&in, &m);
            if (t == nullptr)
                return false;
            t->SendMessage(OM_INIT, data);
        }
        if (in.obj == nullptr && (m.obj.flags & CITYMODEL_ALWAYSREAL)) {
            TempObject* t = tempobjpool.Bind(&in, &m);
            if (t == nullptr)
                return false;
            t->SendMessage(OM_CREATE, data);
        }
        iInstances++;
    }
    return iInstances == nInstances;
}

void Grid::Clear(QuadTree* qt)
{
    if (streamnum == -2 && file != nullptr) {
        for (int i = 0; i < iInstances; i++)
            if (instances[i].obj != nullptr) {
                instances[i].obj->Delete();
                instances[i].obj = nullptr;
            }
        world.timerlist.Clean();
        for (int i = nMdlfiles - 1; i >= 0; i--)
            qt->mdlfiles[mdlfiles[i]].Release();
        Junction* j = fakejunctions;
        for (int i = 0; i < nFake; i++, j = j->Next())
            qt->UnStitch(j);
        CutLinksInto(qt, this);
    }
    root = nullptr;
    if (streamnum >= 0) {
        cityio.Stop(streamnum);
        cityio.Close(streamnum);
    }
    free(file);
    file = nullptr;
    streamnum = -1;
    instances = nullptr;
    iInstances = nInstances = 0;
    mdlfiles = nullptr;
    iMdlfiles = nMdlfiles = 0;
    fakejunctions = nullptr;
    nFake = 0;
    size = 0;
}

namespace {

bool ContainsXZ(const Cuboid& b, VectorPos p)
{
    return p[0] >= b.min[0] && p[0] <= b.max[0] && p[2] >= b.min[2] && p[2] <= b.max[2];
}

bool SamePos(VectorPos a, VectorPos b)
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

bool reportedSearchStack = false;

}  // namespace

Junction* Grid::FindJunction(VectorPos p) const
{
    if (root == nullptr || !ContainsXZ(root->ext, p))
        return nullptr;
    QuadNode* stack[32];
    int sp = 0;
    stack[sp++] = root;
    while (sp > 0) {
        QuadNode* n = stack[--sp];
        Junction* j = n->junctions;
        for (int i = 0; i < n->nJunctions; i++, j = j->Next())
            if (SamePos(j->pos, p))
                return j;
        for (QuadNode* c : n->child) {
            if (c == nullptr || !(c->Flags() & QN_JUNCTIONS) || !ContainsXZ(c->ext, p))
                continue;
            if (sp == 32) {
                if (!reportedSearchStack)
                    printf("City: a cell's quad tree is too deep for the junction search; part of it is skipped\n");
                reportedSearchStack = true;
                continue;
            }
            stack[sp++] = c;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// The window.

bool QuadTree::SyncGrid(int x, int z, bool streaming)
{
    x = std::clamp(x, MIN_CENTRE, MAX_CENTRE);
    z = std::clamp(z, MIN_CENTRE, MAX_CENTRE);
    bool moved = false;
    if (x != gridx || z != gridz) {
        struct GridLoad
        {
            int slot, x, z;
        } loads[9];
        int n = 0;
        for (int j = 0; j < 3; j++)
            for (int i = 0; i < 3; i++) {
                const int ox = gridx - 1 + Mod3(i - Mod3(gridx + 63));
                const int oz = gridz - 1 + Mod3(j - Mod3(gridz + 63));
                const int nx = x - 1 + Mod3(i - Mod3(x + 63));
                const int nz = z - 1 + Mod3(j - Mod3(z + 63));
                if (ox != nx || oz != nz) {
                    grid[j * 3 + i].Clear(this);
                    loads[n++] = {j * 3 + i, nx, nz};
                }
            }
        for (int k = 0; k < n; k++)
            grid[loads[k].slot].Load(this, loads[k].x, loads[k].z);
        gridx = x;
        gridz = z;
        moved = true;
    }
    if (streaming) {
        bool all = true;
        for (Grid& g : grid)
            all &= g.Update(this, CITY_FRAME_BUDGET);
        return all && !moved;
    }
    bool reading = false;
    for (Grid& g : grid) {
        g.Update(this, 0.0f);
        reading |= g.streamnum >= 0;
    }
    if (reading || moved) {
        iMdlfiles = 0;
        return false;
    }
    for (; iMdlfiles < nMdlfiles; iMdlfiles++) {
        MdlfileCache& m = mdlfiles[iMdlfiles];
        if (m.streamnum >= 0) {
            if (cityio.BytesPending(m.streamnum, false) > 0)
                return false;
            m.Arrive(textures, nTextures);
        } else if (m.streamnum == -1 && m.refs > 0) {
            m.StartStreaming(CITY_MODELS_PATH);
            return false;
        }
    }
    bool all = true;
    for (Grid& g : grid)
        all &= g.Update(this, CITY_FRAME_BUDGET);
    return all;
}

void QuadTree::ClearAllGrids()
{
    for (Grid& g : grid)
        g.Clear(this);
    gridx = gridz = 64;
}

int QuadTree::CentreCell(float v, int centre)
{
    return (v >= 256.0f * centre - 4.0f && v <= 256.0f * centre + 260.0f) ? centre : CellOf(v);
}

Grid* QuadTree::LoadedGrid(VectorPos p)
{
    const int cx = CentreCell(p[0], gridx), cz = CentreCell(p[2], gridz);
    if (cx < -64 || cz < -64 || std::abs(cx - gridx) >= 2 || std::abs(cz - gridz) >= 2)
        return nullptr;
    return &grid[Slot(cx, cz)];
}

namespace {

Junction* FindReal(QuadTree* qt, VectorPos pos, Grid** slot)
{
    for (Grid& g : qt->grid)
        if (Junction* j = g.FindJunction(pos)) {
            if (slot)
                *slot = &g;
            return j;
        }
    return nullptr;
}

// The slot of j holding rs, or -1.
int SlotOf(const Junction* j, const RoadSeg* rs)
{
    return j != nullptr ? j->Slot(rs) : -1;
}

}  // namespace

void QuadTree::Stitch(Junction* fake)
{
    Junction* real = FindReal(this, fake->pos, nullptr);
    if (real == nullptr)
        return;
    for (int k = 0; k < fake->nRoadsegs && k < real->nRoadsegs; k++) {
        RoadSeg* rs = fake->roadsegs[k];
        RoadSeg* t = real->roadsegs[k];
        if (rs == nullptr)
            continue;
        if (rs->jtn[1] == fake) {
            real->roadsegs[k] = rs;
            rs->jtn[1] = real;
        } else {
            Junction* j = rs->jtn[1];
            const int e = SlotOf(j, rs);
            if (t == nullptr || e < 0)
                continue;
            j->roadsegs[e] = t;
            t->jtn[1] = j;
        }
    }
}

void QuadTree::UnStitch(Junction* fake)
{
    Grid* g = nullptr;
    Junction* real = FindReal(this, fake->pos, &g);
    if (real == nullptr)
        return;
    for (int k = 0; k < fake->nRoadsegs; k++) {
        RoadSeg* rs = fake->roadsegs[k];
        if (rs == nullptr)
            continue;
        const bool intoReal = rs->jtn[1] == real;
        const Junction* far = intoReal ? rs->jtn[0] : rs->jtn[1];
        if (far == nullptr)
            continue;
        Junction* f2 = g->fakejunctions;
        int i = 0;
        for (; i < g->nFake && !SamePos(f2->pos, far->pos); i++)
            f2 = f2->Next();
        if (i == g->nFake)
            continue;
        if (intoReal) {
            const int e = SlotOf(real, rs);
            if (e < 0)
                continue;
            for (int m = 0; m < f2->nRoadsegs; m++)
                if (f2->roadsegs[m] != nullptr && f2->roadsegs[m]->jtn[1] == real) {
                    real->roadsegs[e] = f2->roadsegs[m];
                    break;
                }
        } else {
            for (int m = 0; m < real->nRoadsegs; m++)
                if (real->roadsegs[m] != nullptr && real->roadsegs[m]->jtn[1] == rs->jtn[1]) {
                    real->roadsegs[m]->jtn[1] = f2;
                    break;
                }
        }
    }
}

// ---------------------------------------------------------------------------
// The model-file cache.

MdlfileCache::MdlfileCache(u32 _offset, u32 _length) : MDLFILE{}, offset(_offset), length(_length) {}

int MdlfileCache::operator()(void* newaddr)
{
    MoveBuffer(newaddr, int(length));
    return 0;
}

void MdlfileCache::AddRef()
{
    if (++refs != 1)
        return;
    void* buf = malloc_align(length, 64);
    if (buf == nullptr)
        buf = malloc_align(length, 64);
    streamnum = -1;
    SetBuffer(buf);
    data = buf;
}

bool MdlfileCache::StartStreaming(const char* path)
{
    if (header == nullptr) {
        // The buffer could not be had when the model was first listed.
        void* buf = malloc_align(length, 64);
        if (buf == nullptr)
            return false;
        SetBuffer(buf);
        data = buf;
    }
    const int s = cityio.Create(path, int(offset));
    if (s < 0)
        return false;
    if (cityio.Transfer(s, header, int(length)) < 0) {
        cityio.Close(s);
        return false;
    }
    streamnum = s16(s);
    return true;
}

void MdlfileCache::Arrive(Texture* textures, int nTextures)
{
    const int total = cityio.TotalLength != nullptr ? cityio.TotalLength(streamnum) : -1;
    cityio.Close(streamnum);
    FlushCache(0);
    streamnum = -2;
    // A models file shorter than the layout says leaves the model's end
    // unread: the model is refused as the check refuses a bad one.
    if (total >= 0 && u64(offset) + length > u64(total)) {
        new (&obj) Object();
        obj.mdlfile = this;
        if (!toldBadModel)
            printf("City: %s model at 0x%x (%u bytes) runs past the end of the file (%d bytes); its instances show "
                   "nothing, as any other bad one's\n",
                   CITY_MODELS_PATH, offset, length, total);
        toldBadModel = true;
        return;
    }
    Init(textures, nTextures);
}

void MdlfileCache::Init(Texture* textures, int nTextures)
{
    new (&obj) Object();
    obj.mdlfile = this;
    char name[64] = "";
    if (!toldBadModel)
        snprintf(name, sizeof name, "%s model at 0x%x", CITY_MODELS_PATH, offset);
    if (!MDLFILE::Init(length, textures, nTextures, name, "its instances show nothing, as any other bad one's")) {
        toldBadModel = true;
        return;
    }
    obj.messagehandler = GetGridMessageHandler(&obj);
    if (shadows != nullptr)
        obj.flags |= OBJF_SHADOW;
    obj.mat = Matrix(true);
    GetHierarchyTo(&obj, 0, 0);
    obj.SetLowresGeomHierarchy(false);
    if (obj.messagehandler == nullptr && nNodes > 0 && !(nodes[0].animation & 0x8000)) {
        obj.AllocBlendAnimHierarchy(8);
        obj.SetAnimHierarchy(0, int((AnimationClock().t >> 8) & 0xFFFF));
        world.StartAnimating(&obj);
    }
    if (anmfile == nullptr) {
        Add(this);
        registered = true;
    }
}

void MdlfileCache::FreeTemplate()
{
    if (obj.geom != nullptr)
        DeleteGeometry(obj.geom);
    if (obj.blendAnim != nullptr)
        DeleteBlendAnimation(obj.blendAnim);
    for (Object* c = obj.child; c != nullptr;) {
        Object* next = c->sibling;
        c->Delete();
        c = next;
    }
    new (&obj) Object();
}

void MdlfileCache::Release()
{
    if (refs == 0 || --refs != 0)
        return;
    world.StopAnimating(&obj);
    if (streamnum >= 0) {
        cityio.Stop(streamnum);
        cityio.Close(streamnum);
    }
    FreeTemplate();
    if (registered)
        Remove(this);
    registered = false;
    FreeUser();
    free(header);
    static_cast<MDLFILE&>(*this) = MDLFILE{};
    data = nullptr;
    streamnum = -1;
}

// ---------------------------------------------------------------------------
// Temporary objects.

TempObjectPool::TempObjectPool()
{
    for (TempObject& t : pool) {
        t.messagehandler = TempObject_mh;
        t.type = OBJT_PLACEHOLDER;
    }
}

TempObjectPool::~TempObjectPool() = default;

TempObject* TempObjectPool::_Scan(TempObject* from)
{
    for (TempObject* t = from; t < pool + SIZE; t++)
        if (t->refcount == 0)
            return t;
    return nullptr;
}

TempObject* TempObjectPool::Bind(Instance* inst, MdlfileCache* mfc)
{
    TempObject* t = _Scan(pool);
    if (t == nullptr) {
        if (!reportedFull)
            printf("City: all %d temporary objects are held; an instance waits\n", SIZE);
        reportedFull = true;
        return nullptr;
    }
    t->inst = inst;
    t->mdlfile = mfc;
    t->collision = mfc->obj.collision;
    t->radius = mfc->obj.radius;
    t->mat = inst->GetDrawMatrix(mfc);
    t->id = s16(inst->id);
    return t;
}

int TempObject_mh(Object* o, OBJMESSAGE msg, void* data)
{
    TempObject* t = static_cast<TempObject*>(o);
    MdlfileCache* mfc = static_cast<MdlfileCache*>(t->mdlfile);
    OBJMESSAGEHANDLER h = mfc != nullptr ? mfc->obj.messagehandler : nullptr;
    if (msg != OM_CREATE)
        return h != nullptr ? h(o, msg, data) : 0;
    Instance* in = t->inst;
    if (in == nullptr || mfc == nullptr)
        return 0;
    if (in->obj != nullptr)
        return int(intptr_t(in->obj));
    Object* r = h != nullptr ? (Object*)intptr_t(h(o, OM_CREATE, (void*)uintptr_t(in->index))) : nullptr;
    if (r == nullptr)
        r = new Object();
    if (r == nullptr)
        return 0;
    mfc->GetHierarchyTo(r, in->index, 8);
    if (in->params[0] != 0)
        SetTintSet(r, in->params[0], true);
    if (r->geom != nullptr)
        r->geom->params[1] = in->params[1];
    r->CalcRadius();
    r->SetLowresGeomHierarchy(false);
    r->mat = t->mat;
    if (in->id != 0)
        r->id = s16(in->id);
    if (r->messagehandler != nullptr)
        r->SendMessage(OM_INIT, data);
    in->obj = r;
    return int(intptr_t(r));
}

Object* QuadNode::GetObject(int k)
{
    Instance& in = objects[k];
    if (in.obj != nullptr)
        return in.obj;
    if (world.quadtree == nullptr)
        return nullptr;
    return tempobjpool.Bind(&in, &world.quadtree->mdlfiles[in.mdlfileid]);
}

int QuadNode::GetIDAndPosition(int k, VectorPos* pos)
{
    const Instance& in = objects[k];
    *pos = VectorPos(in.loc.v);
    return in.obj != nullptr ? int(in.obj->id) : int(in.id);
}

Object* EnsureReal(Object* o)
{
    if (o == nullptr || o->type != OBJT_PLACEHOLDER)
        return o;
    return (Object*)intptr_t(o->SendMessage(OM_CREATE, nullptr));
}

void Instance::Draw(RenderContext& rc, MdlfileCache* mfc)
{
    if (mfc->obj.geom == nullptr)
        return;
    mfc->obj.geom->pparams = params;
    ::Draw(rc, &mfc->obj, GetDrawMatrix(mfc));
}
