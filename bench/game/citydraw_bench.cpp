// The city's drawing along the stand-in drive over the sample city: the
// frame's packet for the road pass (segments, kerbs, junctions through the
// road generator's batches) and for the objects pass (instances, batches,
// ground patches), built each frame after the visibility walk.  Frames per
// second are the passes' own main-processor cost; the packets are not sent.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/lib/city.h"

#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/Transparency.h"
#include "game/QuadTree.h"

namespace {

// The city files served from memory: every read arrives at once.
std::map<std::string, std::vector<u8>> files;
struct Read
{
    std::string path;
    int offset;
};
std::vector<Read> reads;

CityIO MemoryIO()
{
    return CityIO{
        [](const char* p, int o) {
            reads.push_back({p, o});
            return int(reads.size()) - 1;
        },
        [](int h, void* b, int n) {
            std::memcpy(b, files.at(reads[size_t(h)].path).data() + reads[size_t(h)].offset, size_t(n));
            return n;
        },
        [](int, bool) { return 0; },
        [](int) { return 0; },
        [](int) { return 0; },
        []() { return 0u; },
    };
}

void* HeapCopy(const std::vector<u8>& b)
{
    void* p = malloc_align(b.size() + 64, 64);
    std::memcpy(p, b.data(), b.size());
    return p;
}

// Camera positions two units apart along the route and back.
std::vector<VectorPos> Route()
{
    const VectorPos corners[] = {VectorPos(-84, -3, 32), VectorPos(32, -3, 32), VectorPos(32, -3, -32),
                                 VectorPos(70, -3, -32)};
    std::vector<VectorPos> path;
    for (int leg = 0; leg < 3; leg++) {
        const VectorDir d = VectorDir(corners[leg + 1] - corners[leg]);
        const float len = Length(VectorXYZ(d));
        for (float s = 0.0f; s < len; s += 2.0f)
            path.push_back(corners[leg] + d * (s / len));
    }
    for (int i = int(path.size()) - 1; i > 0; i--)
        path.push_back(path[size_t(i)]);
    return path;
}

bool LoadSampleCity(benchmark::State& state, const std::vector<VectorPos>& path)
{
    tools::CityFiles city;
    std::string error;
    if (!tools::WriteCity(tools::SampleCity(), city, error)) {
        state.SkipWithError(error.c_str());
        return false;
    }
    files[CITY_CELLS_PATH] = city.mgd;
    files[CITY_MODELS_PATH] = city.exm;
    cityio = MemoryIO();
    world.InitCity(HeapCopy(city.idx), u32(city.idx.size()), HeapCopy(city.exp), u32(city.exp.size()));
    while (!world.SyncTo(path[0])) {
    }
    texman.Init(-1, -1);
    texman.Init(12800, 3584);
    return true;
}

template <class Pass>
void DrawAlongTheDrive(benchmark::State& state, Pass pass)
{
    const std::vector<VectorPos> path = Route();
    if (!LoadSampleCity(state, path))
        return;
    RenderContext rc;
    rc.SetViewport(2048, 2048 + 640, 2048, 2048 + 512, 1.0f, 16000000.0f);
    rc.SetAspectRatio(1.0f, 1.056f);
    rc.SetZRange(0.1f, 2000.0f);
    rc.SetPerspective(1.6f);
    size_t i = 0;
    double words = 0;
    for (auto _ : state) {
        const VectorPos at = path[i];
        const VectorPos next = path[(i + 1) % path.size()];
        const VectorDir ahead = next == at ? VectorDir(1, 0, 0) : VectorDir(next - at);
        state.PauseTiming();
        rc.SetCameraMatrix(LookatMatrix(at, at + ahead * 10.0f));
        world.quadtree->ClearVisibility();
        world.quadtree->CalcSortedVisibility(rc);
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        rc.Begin();
        InitTransparencies(rc);
        const u32* from = therenderer.p;
        state.ResumeTiming();
        pass(*world.quadtree, rc);
        state.PauseTiming();
        words += double(therenderer.p - from);
        therenderer.EndScene();
        therenderer.vifdraw = nullptr;
        state.ResumeTiming();
        i = (i + 1) % path.size();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["packet words/frame"] = benchmark::Counter(words / double(state.iterations()));
    world.Reset();
    world.FreeCity();
    cityio = RealCityIO();
}

void BM_RoadPassAlongTheDrive(benchmark::State& state)
{
    DrawAlongTheDrive(state, [](QuadTree& qt, RenderContext& rc) { qt.DrawRoads(rc); });
}
BENCHMARK(BM_RoadPassAlongTheDrive);

void BM_DrawObjectsAlongTheDrive(benchmark::State& state)
{
    DrawAlongTheDrive(state, [](QuadTree& qt, RenderContext& rc) { qt.DrawObjects(rc); });
}
BENCHMARK(BM_DrawObjectsAlongTheDrive);

}  // namespace
