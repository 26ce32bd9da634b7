// The streamed city for the city files' targets: the sample city our writer
// makes, served from memory through the world's streaming services, with one
// of its files replaced by the input; the city's uses a run makes of a loaded
// window; and everything freed again.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/lib/city.h"

#include "ZevEngine2/Allocator.h"
#include "game/QuadTree.h"

namespace fuzz {

// The sample city's four files, written once.
const tools::CityFiles& SampleCityFiles();

// A disc in memory: whole transfers that arrive at once, lengths known.
struct MemoryDisc
{
    std::map<std::string, std::vector<u8>> files;
};

// Loads a city from index and layout bytes (copied to the game's heap, as
// the world takes them) with the cells and models files served from disc.
// The window, the city and the services go again when it ends.
class CityRun
{
public:
    CityRun(MemoryDisc& disc, const std::vector<u8>& index, const std::vector<u8>& layout);
    CityRun(MemoryDisc& disc, const uint8_t* index, size_t isize, const uint8_t* layout, size_t lsize);
    ~CityRun();
    CityRun(const CityRun&) = delete;
    CityRun& operator=(const CityRun&) = delete;

    bool HasCity() const { return world.quadtree != nullptr; }
    // Moves the window to the cell of p, blocking as a start-up does, then
    // a few frames of streaming; false when the window never completed.
    bool SyncTo(VectorPos p);
    // What a run does with a loaded window around cell (cx, cz): ground
    // heights, rays and object searches over it, the visibility walk from
    // above it, each instance as an object, a stand-in driven over its roads
    // and junctions.
    void Use(int cx, int cz);
};

// The bytes of an index naming one cell, (0, 0), of `size` bytes at offset 0.
std::vector<u8> OneCellIndex(u32 size);

}  // namespace fuzz
