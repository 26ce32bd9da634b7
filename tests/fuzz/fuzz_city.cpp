#include "fuzz_city.h"

#include <stdexcept>

#include "ZevEngine2/PS2/RenderContext.h"
#include "game/fbfx.h"

namespace fuzz {

namespace {

MemoryDisc* g_disc = nullptr;

struct OpenFile
{
    const std::vector<u8>* bytes;
    u32 offset;
};
std::vector<OpenFile> g_open;

CityIO MemoryIO()
{
    return CityIO{
        [](const char* path, int offset) {
            auto f = g_disc->files.find(path);
            if (f == g_disc->files.end() || offset < 0)
                return -1;
            g_open.push_back({&f->second, u32(offset)});
            return int(g_open.size()) - 1;
        },
        [](int h, void* buffer, int size) {
            // Whatever lies past the file's end stays as the reader left it.
            const OpenFile& f = g_open.at(size_t(h));
            const u64 have = f.offset < f.bytes->size() ? f.bytes->size() - f.offset : 0;
            std::memcpy(buffer, f.bytes->data() + (have ? f.offset : 0), size_t(std::min<u64>(have, u64(size))));
            return size;
        },
        [](int, bool) { return 0; },
        [](int) { return 0; },
        [](int) { return 0; },
        []() { return u32(0); },
        [](int h) { return int(g_open.at(size_t(h)).bytes->size()); },
    };
}

void* HeapCopy(const uint8_t* data, size_t size)
{
    void* p = malloc_align(size + 64, 64);
    if (p != nullptr)
        std::memcpy(p, data, size);
    return p;
}

}  // namespace

const tools::CityFiles& SampleCityFiles()
{
    static const tools::CityFiles files = [] {
        tools::CityFiles f;
        std::string error;
        if (!tools::WriteCity(tools::SampleCity(), f, error))
            throw std::runtime_error("sample city: " + error);
        return f;
    }();
    return files;
}

std::vector<u8> OneCellIndex(u32 size)
{
    // Row 64 (cell z 0) with column 64 (cell x 0), its pair at word 2.
    std::vector<u8> idx(16, 0);
    idx[0] = idx[1] = 64;
    idx[4] = idx[5] = 64;
    idx[6] = 2;
    std::memcpy(&idx[12], &size, 4);
    return idx;
}

CityRun::CityRun(MemoryDisc& disc, const std::vector<u8>& index, const std::vector<u8>& layout)
    : CityRun(disc, index.data(), index.size(), layout.data(), layout.size())
{
}

CityRun::CityRun(MemoryDisc& disc, const uint8_t* index, size_t isize, const uint8_t* layout, size_t lsize)
{
    g_disc = &disc;
    g_open.clear();
    cityio = MemoryIO();
    world.InitCity(HeapCopy(index, isize), u32(isize), HeapCopy(layout, lsize), u32(lsize));
}

CityRun::~CityRun()
{
    world.Reset();
    world.FreeCity();
    cityio = RealCityIO();
    g_disc = nullptr;
    g_open.clear();
}

bool CityRun::SyncTo(VectorPos p)
{
    for (int i = 0; i < 100; i++)
        if (world.SyncTo(p)) {
            // Frames of streaming, as the game's loop runs them.
            for (int f = 0; f < 4 && world.quadtree != nullptr; f++)
                world.quadtree->SyncGrid(CellOf(p[0]), CellOf(p[2]), true);
            return true;
        }
    return false;
}

void CityRun::Use(int cx, int cz)
{
    QuadTree* qt = world.quadtree;
    if (qt == nullptr)
        return;
    const float x0 = float(cx) * 256.0f, z0 = float(cz) * 256.0f;
    volatile float sink = 0.0f;
    // The ground under a lattice of points, with a cache carried along as a
    // walker carries one.
    GHCache cache;
    cache.Clear();
    cache.obj = nullptr;
    for (int i = 0; i <= 8; i++)
        for (int k = 0; k <= 8; k++) {
            VectorDir normal;
            const VectorPos p(x0 - 16.0f + float(i) * 36.0f, -20.0f, z0 - 16.0f + float(k) * 36.0f);
            sink = sink + world.GroundHeight(p, &normal, &cache) + world.GroundHeight(p, nullptr, nullptr);
        }
    // Rays along and across the cell, and the object searches.
    for (int i = 0; i < 4; i++) {
        VectorPos hit;
        VectorDir normal;
        const float a = float(i) * 64.0f;
        world.CheckRayCity(VectorPos(x0 - 8.0f, -2.0f, z0 + a), VectorPos(x0 + 264.0f, -2.0f, z0 + a), &hit, &normal,
                           0xFFFF, nullptr);
        world.CheckRayCity(VectorPos(x0 + a, -50.0f, z0 + a), VectorPos(x0 + a, 10.0f, z0 + 256.0f - a), &hit, &normal,
                           0xFFFF, nullptr);
        world.FindClosestCityObject(VectorPos(x0 + a, 0.0f, z0 + a), 30.0f);
        world.FindCityObject(i + 1, Cuboid(VectorPos(x0, -100.0f, z0), VectorPos(x0 + 256.0f, 100.0f, z0 + 256.0f)));
    }
    // The visibility walk from above the cell and from its middle.  The lamps
    // it finds drawn link their glows into the frame's list, which a frame
    // starts empty and draws before anything can delete a lamp: here the walk
    // starts it empty too, and it is emptied again after the walk, so that no
    // link into a lamp outlives the window's reset to be appended to by the
    // next run's walk.
    gGlows.Clear();
    RenderContext rc;
    rc.SetViewport(2048, 2048 + 640, 2048, 2048 + 512, 1.0f, 16000000.0f);
    rc.SetAspectRatio(1.0f, 1.0f);
    rc.SetZRange(0.1f, 2000.0f);
    rc.SetPerspective(1.6f);
    for (const VectorPos& eye : {VectorPos(x0 + 128.0f, -300.0f, z0 - 100.0f), VectorPos(x0 + 128.0f, -2.0f, z0 + 128.0f)}) {
        rc.SetCameraMatrix(LookatMatrix(eye, VectorPos(x0 + 128.0f, 0.0f, z0 + 200.0f)));
        qt->ClearVisibility();
        qt->CalcSortedVisibility(rc);
    }
    qt->ClearVisibility();
    gGlows.Clear();
    // The road network of each loaded cell: every segment's neighbours,
    // every junction's slots and kerbs.
    for (Grid& g : qt->grid) {
        if (g.file == nullptr || g.streamnum != -2)
            continue;
        for (u32 b = 0; b < g.file->blockCount; b++) {
            const HeaderBlock& hb = g.file->Header()->block[b];
            if (hb.data == 0)
                continue;
            if (hb.type == GRID_ROADSEGS) {
                const RoadSeg* rs = (const RoadSeg*)hb.Data();
                for (int i = 0; i < hb.count; i++) {
                    for (bool forward : {false, true}) {
                        bool f = forward;
                        if (const RoadSeg* n = rs[i].Next(f))
                            sink = sink + n->bezier.c0[0];
                    }
                    sink = sink + rs[i].GetBox().max[0] + rs[i].CrossSectHeight(1.0f);
                }
            } else if (hb.type == GRID_JUNCTIONS || hb.type == GRID_FAKEJUNCTIONS) {
                const Junction* j = (const Junction*)hb.Data();
                for (int i = 0; i < hb.count; i++, j = j->Next()) {
                    for (int k = 0; k < j->nRoadsegs; k++) {
                        const RoadSeg* rs = j->roadsegs[k];
                        if (rs == nullptr)
                            continue;
                        sink = sink + float(j->GetSignalCommand(*rs, 100)) + j->Kerb(k).c1[0];
                        if (const RoadSeg* n = j->Next(rs))
                            sink = sink + n->bezier.c3[0];
                    }
                }
            }
        }
    }
}

}  // namespace fuzz
