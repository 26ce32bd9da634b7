// Test support for the streamed city: an in-memory disc that serves the city
// files through the world's streaming services and logs every request, a
// clock the tests move, and a world loaded with a city made by the writer.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/lib/city.h"

#include "ZevEngine2/Allocator.h"
#include "game/QuadTree.h"

namespace citytest {

struct Stream
{
    std::string path;
    u32 offset = 0;
    u8* dest = nullptr;
    int size = 0;
    int polls = 0;       // polls still answered "pending"
    bool open = true;
    bool stopped = false;
};

// The disc: files by the game's path, the streams opened on it, and the
// requests made (path and offset of each open).
struct FakeDisc
{
    std::map<std::string, std::vector<u8>> files;
    std::map<int, Stream> streams;
    std::vector<std::pair<std::string, u32>> opens;
    int nextHandle = 0;
    int delay = 0;              // polls before a transfer arrives
    int failOpens = 0;          // the next this many opens fail
    std::string failPath;       // opens of this path fail while failOpens > 0
    u32 clock = 0;
    u32 tick = 0;               // the clock advances this much on every read

    int Open(const char* path, int offset)
    {
        opens.push_back({path, u32(offset)});
        if (failOpens > 0 && (failPath.empty() || failPath == path)) {
            failOpens--;
            return -1;
        }
        const int h = nextHandle++;
        streams[h] = Stream{path, u32(offset)};
        return h;
    }
    int Transfer(int h, void* buf, int size)
    {
        Stream& s = streams.at(h);
        s.dest = (u8*)buf;
        s.size = size;
        s.polls = delay;
        return size;
    }
    int Pending(int h)
    {
        Stream& s = streams.at(h);
        if (s.polls > 0) {
            s.polls--;
            return s.size;
        }
        if (s.dest != nullptr && !s.stopped) {
            const std::vector<u8>& f = files.at(s.path);
            std::memcpy(s.dest, f.data() + s.offset, size_t(s.size));
            s.dest = nullptr;
        }
        return 0;
    }
    int OpenStreams() const
    {
        int n = 0;
        for (const auto& [h, s] : streams)
            n += s.open;
        return n;
    }
    // Opens of the cell file since the last call: the cells loaded.
    std::vector<u32> CellReads()
    {
        std::vector<u32> r;
        for (const auto& o : opens)
            if (o.first == CITY_CELLS_PATH)
                r.push_back(o.second);
        opens.clear();
        return r;
    }
};

inline FakeDisc* g_disc = nullptr;

inline CityIO FakeIO()
{
    return CityIO{
        [](const char* p, int o) { return g_disc->Open(p, o); },
        [](int h, void* b, int n) { return g_disc->Transfer(h, b, n); },
        [](int h, bool) { return g_disc->Pending(h); },
        [](int h) {
            g_disc->streams.at(h).stopped = true;
            return 0;
        },
        [](int h) {
            g_disc->streams.at(h).open = false;
            return 0;
        },
        []() {
            const u32 now = g_disc->clock;
            g_disc->clock += g_disc->tick;
            return now;
        },
    };
}

// A copy of bytes in a game heap block (the world frees it).
inline void* HeapCopy(const std::vector<u8>& bytes)
{
    void* p = malloc_align(bytes.size() + 64, 64);
    std::memcpy(p, bytes.data(), bytes.size());
    return p;
}

// The world with a city built from a description, served by a fake disc;
// everything goes again at the end.
class CityWorld : public ::testing::Test
{
protected:
    FakeDisc disc;
    tools::CityFiles files;

    void Load(const tools::CityDescription& city)
    {
        std::string error;
        ASSERT_TRUE(tools::WriteCity(city, files, error)) << error;
        LoadFiles();
    }
    void LoadFiles()
    {
        disc.files[CITY_CELLS_PATH] = files.mgd;
        disc.files[CITY_MODELS_PATH] = files.exm;
        g_disc = &disc;
        cityio = FakeIO();
        world.InitCity(HeapCopy(files.idx), u32(files.idx.size()), HeapCopy(files.exp), u32(files.exp.size()));
    }
    void TearDown() override
    {
        world.Reset();
        world.FreeCity();
        cityio = RealCityIO();
        g_disc = nullptr;
    }
    QuadTree& qt() { return *world.quadtree; }

    // Blocking syncs until the window is complete (at most n calls).
    bool SyncTo(VectorPos p, int n = 200)
    {
        for (int i = 0; i < n; i++)
            if (world.SyncTo(p))
                return true;
        return false;
    }
};

// The offset of cell (x, z) in the cell file, by the index.
inline u32 CellOffset(int x, int z)
{
    u32 off = 0, size = 0;
    indextable->Find(x, z, off, size);
    return off;
}

}  // namespace citytest
