// The sample city for the city benchmarks: its files written in memory and
// served from there (every read arrives at once), and the stand-in's drive.
#pragma once

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/lib/city.h"

#include "game/QuadTree.h"

namespace citybench {

inline std::map<std::string, std::vector<u8>> files;
struct Read
{
    std::string path;
    int offset;
};
inline std::vector<Read> reads;

inline CityIO MemoryIO()
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

inline void* HeapCopy(const std::vector<u8>& b)
{
    void* p = malloc_align(b.size() + 64, 64);
    std::memcpy(p, b.data(), b.size());
    return p;
}

// Gives the world the sample city; false (the benchmark skipped) when it
// cannot be written.
inline bool LoadSampleCity(benchmark::State& state)
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
    return true;
}

inline void FreeSampleCity()
{
    world.Reset();
    world.FreeCity();
    cityio = RealCityIO();
}

// Points `step` apart at height y along the drive (east along Elm Street,
// south down Queen Avenue, east along Station Street) and back.
inline std::vector<VectorPos> Route(float y, float step)
{
    const VectorPos corners[] = {VectorPos(-84, y, 32), VectorPos(32, y, 32), VectorPos(32, y, -32),
                                 VectorPos(70, y, -32)};
    std::vector<VectorPos> path;
    for (int leg = 0; leg < 3; leg++) {
        const VectorDir d = VectorDir(corners[leg + 1] - corners[leg]);
        const float len = Length(VectorXYZ(d));
        for (float s = 0.0f; s < len; s += step)
            path.push_back(corners[leg] + d * (s / len));
    }
    for (int i = int(path.size()) - 1; i > 0; i--)
        path.push_back(path[size_t(i)]);
    return path;
}

// The game's full-screen view with the driving camera's lens.
inline void DriveView(RenderContext& rc)
{
    rc.SetViewport(2048, 2048 + 640, 2048, 2048 + 512, 1.0f, 16000000.0f);
    rc.SetAspectRatio(1.0f, 1.056f);
    rc.SetZRange(0.1f, 2000.0f);
    rc.SetPerspective(1.6f);
}

// The camera at stop i of path, looking toward the next stop.
inline Matrix DriveCamera(const std::vector<VectorPos>& path, size_t i)
{
    const VectorPos at = path[i];
    const VectorPos next = path[(i + 1) % path.size()];
    const VectorDir ahead = next == at ? VectorDir(1, 0, 0) : VectorDir(next - at);
    return LookatMatrix(at, at + ahead * 10.0f);
}

}  // namespace citybench
