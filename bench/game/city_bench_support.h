// What the city benchmarks share: the city files served from memory and the
// stand-in drive's route.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "game/QuadTree.h"

namespace citybench {


// The city files served from memory: every read arrives at once.
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

// Camera positions two units apart along the route and back.
inline std::vector<VectorPos> Route()
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

}  // namespace citybench
