#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "game/city_support.h"

using namespace citytest;

namespace {

// One flat patch in every cell from -6 to 6 on both axes, so that every slot
// of a window there has a cell to read.
tools::CityDescription PatchGrid(bool hole = false)
{
    tools::CityDescription c;
    tools::AddSampleRoadKinds(c);
    for (int z = -6; z <= 6; z++)
        for (int x = -6; x <= 6; x++) {
            if (hole && x == 1 && z == 1)
                continue;   // listed in the index with size 0
            tools::CityPatch p;
            for (int i = 0; i < 16; i++)
                p.patch.p[i] = Vector(256.0f * x + 100 + 20 * (i % 4), -1.05f, 256.0f * z + 100 + 20 * (i / 4), 0);
            p.texmat = Matrix(true);
            p.groundtype = 0;
            c.patches.push_back(p);
        }
    return c;
}

// A cell (0, 0) of n instances of one model.
tools::CityDescription Instances(int n)
{
    tools::CityDescription c = tools::TestCity(tools::TestCityKind::kGroundPatch);
    for (int i = 0; i < n; i++) {
        tools::CityInstance in;
        in.pos = VectorPos(20.0f + 10.0f * float(i % 20), -4.0f, 20.0f + 10.0f * float(i / 20));
        in.id = u16(1 + i);
        c.instances.push_back(in);
    }
    return c;
}

class CityWindow : public CityWorld
{
protected:
    // The cells whose records were opened since the last call.
    std::set<std::pair<int, int>> CellsRead()
    {
        std::map<u32, std::pair<int, int>> byOffset;
        for (int z = -6; z <= 6; z++)
            for (int x = -6; x <= 6; x++)
                byOffset[CellOffset(x, z)] = {x, z};
        std::set<std::pair<int, int>> cells;
        for (u32 off : disc.CellReads())
            cells.insert(byOffset.at(off));
        return cells;
    }
    bool Sync(int x, int z, int n = 100)
    {
        for (int i = 0; i < n; i++)
            if (qt().SyncGrid(x, z, false))
                return true;
        return false;
    }
};

TEST_F(CityWindow, MovesReadOnlyTheCellsThatEnterTheWindow)
{
    Load(PatchGrid());
    // The first sync to the unloaded centre moves nothing.
    EXPECT_TRUE(qt().SyncGrid(64, 64, false));
    EXPECT_TRUE(disc.opens.empty());
    for (const Grid& g : qt().grid)
        EXPECT_EQ(g.file, nullptr);

    ASSERT_TRUE(Sync(0, 0));
    EXPECT_EQ(CellsRead().size(), 9u);
    GridFile* before[9];
    for (int i = 0; i < 9; i++)
        before[i] = qt().grid[i].file;

    // One cell east: the column x = -1 leaves, x = 2 is read into its slots.
    EXPECT_FALSE(qt().SyncGrid(1, 0, true));
    EXPECT_EQ(CellsRead(), (std::set<std::pair<int, int>>{{2, -1}, {2, 0}, {2, 1}}));
    for (int z = -1; z <= 1; z++)
        for (int x = 0; x <= 1; x++)
            EXPECT_EQ(qt().grid[QuadTree::Slot(x, z)].file, before[QuadTree::Slot(x, z)]) << x << "," << z;
    ASSERT_TRUE(Sync(1, 0));

    // Three cells: all nine.  Two keep the one column the windows share.
    EXPECT_FALSE(qt().SyncGrid(4, 0, false));
    EXPECT_EQ(CellsRead().size(), 9u);
    ASSERT_TRUE(Sync(4, 0));
    EXPECT_FALSE(qt().SyncGrid(2, 0, false));
    EXPECT_EQ(CellsRead(), (std::set<std::pair<int, int>>{{1, -1}, {1, 0}, {1, 1}, {2, -1}, {2, 0}, {2, 1}}));
    ASSERT_TRUE(Sync(2, 0));

    // Into cells the index does not have: the moving call says no, the next yes.
    EXPECT_FALSE(qt().SyncGrid(20, 20, true));
    EXPECT_TRUE(CellsRead().empty());
    EXPECT_TRUE(qt().SyncGrid(20, 20, true));

    // Cells of coordinates: truncation toward zero keeps -16640 < x < -16384
    // in cell -64; the window never centres below -63.
    EXPECT_EQ(CellOf(-16500.0f), -64);
    EXPECT_EQ(CellOf(-16383.0f), -64);
    EXPECT_EQ(CellOf(-16384.0f + 256.0f), -63);
    EXPECT_EQ(CellOf(255.9f), 0);
    EXPECT_EQ(CellOf(-0.5f), -1);
    qt().SyncGrid(-64, -64, true);
    EXPECT_EQ(qt().gridx, -63);
    EXPECT_EQ(qt().LoadedGrid(VectorPos(-17000.0f, 0.0f, -16300.0f)), nullptr);

    // LoadedGrid keeps the centre 4 units past its west edge, not 5.
    ASSERT_TRUE(Sync(0, 0));
    EXPECT_EQ(qt().LoadedGrid(VectorPos(-3.0f, 0.0f, 10.0f)), &qt().grid[QuadTree::Slot(0, 0)]);
    EXPECT_EQ(qt().LoadedGrid(VectorPos(-5.0f, 0.0f, 10.0f)), &qt().grid[QuadTree::Slot(-1, 0)]);
    EXPECT_EQ(qt().LoadedGrid(VectorPos(259.0f, 0.0f, 10.0f)), &qt().grid[QuadTree::Slot(0, 0)]);
    EXPECT_EQ(qt().LoadedGrid(VectorPos(600.0f, 0.0f, 10.0f)), nullptr);
    EXPECT_TRUE(world.ExistsAt(VectorPos(10.0f, 0.0f, 10.0f)));
    EXPECT_FALSE(world.ExistsAt(VectorPos(600.0f, 0.0f, 10.0f)));   // two cells away

    // Cells outside the index: present and complete (nothing to read).
    ASSERT_TRUE(Sync(6, 6));
    EXPECT_TRUE(world.ExistsAt(VectorPos(7 * 256 + 10, 0.0f, 6 * 256 + 10)));
    EXPECT_TRUE(world.CompleteAt(VectorPos(7 * 256 + 10, 0.0f, 6 * 256 + 10)));
    EXPECT_EQ(qt().grid[QuadTree::Slot(7, 6)].file, nullptr);
}

TEST_F(CityWindow, RoadsJoinAcrossACellBorderAndPartAgain)
{
    Load(tools::SampleCity());
    // Only the western cells: x = -3 .. -1.
    ASSERT_TRUE(Sync(-2, 0));
    Grid& west = qt().grid[QuadTree::Slot(-1, 0)];
    ASSERT_NE(west.root, nullptr);
    // Every junction slot and segment end of the western cell (0, z) as loaded.
    std::vector<void*> snapshot;
    auto take = [&] {
        std::vector<void*> v;
        for (u32 b = 0; b < west.file->blockCount; b++) {
            const HeaderBlock& hb = west.file->block[b];
            if (hb.type == GRID_ROADSEGS)
                for (int i = 0; i < hb.count; i++)
                    for (Junction* j : ((RoadSeg*)hb.Data())[i].jtn)
                        v.push_back(j);
            if (hb.type == GRID_JUNCTIONS || hb.type == GRID_FAKEJUNCTIONS) {
                Junction* j = (Junction*)hb.Data();
                for (int i = 0; i < hb.count; i++, j = j->Next())
                    for (int k = 0; k < j->nRoadsegs; k++)
                        v.push_back(j->roadsegs[k]);
            }
        }
        return v;
    };
    snapshot = take();

    // Elm Street (z = 32) from the ring at x = -96: east across x = 0.
    const RoadSeg* rs = nullptr;
    for (u32 b = 0; b < west.file->blockCount; b++)
        if (west.file->block[b].type == GRID_ROADSEGS)
            for (int i = 0; i < west.file->block[b].count; i++) {
                const RoadSeg* s = &((RoadSeg*)west.file->block[b].Data())[i];
                if (s->bezier.c0[0] == -96.0f && s->bezier.c0[2] == 32.0f && s->bezier.c3[2] == 32.0f)
                    rs = s;
            }
    ASSERT_NE(rs, nullptr);
    bool forward = true;
    const RoadSeg* next = rs->Next(forward);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->bezier.c3[0], 32.0f);
    // Without the eastern cell the road ends at the fake junction there.
    EXPECT_EQ(next->jtn[1]->u8Flags, JUNCTION_FAKE);
    EXPECT_EQ(next->Next(forward), nullptr);

    // With the eastern cells loaded the walk goes on to the ring at x = 96.
    ASSERT_TRUE(Sync(-1, 0));
    EXPECT_EQ(&qt().grid[QuadTree::Slot(-1, 0)], &west);
    forward = true;
    next = rs->Next(forward);
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(forward);
    const RoadSeg* east = next->Next(forward);
    ASSERT_NE(east, nullptr);
    EXPECT_TRUE(forward);
    EXPECT_EQ(east->bezier.c0[0], 32.0f);
    EXPECT_EQ(east->bezier.c3[0], 96.0f);
    EXPECT_EQ(east->id, rs->id);
    EXPECT_NE(next->jtn[1]->u8Flags & JUNCTION_FAKE, JUNCTION_FAKE);
    const RoadSeg* back = east;
    forward = false;
    back = back->Next(forward);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->bezier.c0[0], -32.0f);

    // The eastern cells go: the western cell is as it was loaded.
    ASSERT_TRUE(Sync(-2, 0));
    EXPECT_EQ(take(), snapshot);
    ASSERT_TRUE(Sync(0, 0));
    ASSERT_TRUE(Sync(-2, 0));
    EXPECT_EQ(take(), snapshot);
}

TEST_F(CityWindow, EmptyCellOfTheIndexIsReadyAtOnce)
{
    Load(PatchGrid(true));
    u32 off = 0, size = 1;
    ASSERT_TRUE(indextable->Find(1, 1, off, size));
    EXPECT_EQ(size, 0u);
    ASSERT_TRUE(Sync(1, 1));
    EXPECT_EQ(CellsRead().size(), 8u);
    EXPECT_EQ(qt().grid[QuadTree::Slot(1, 1)].file, nullptr);
    EXPECT_TRUE(world.ExistsAt(VectorPos(300.0f, 0.0f, 300.0f)));
    EXPECT_TRUE(world.CompleteAt(VectorPos(300.0f, 0.0f, 300.0f)));
}

// A cell record too short to hold even its block count is refused with one
// line naming the cells file; its place stays empty and its neighbours load.
TEST_F(CityWindow, CellTooShortForItsCountIsRefusedByFileAndTheWindowLoads)
{
    Load(PatchGrid());
    const Span& row = indextable->span[1 + 64 - indextable->minz];
    u32* words = reinterpret_cast<u32*>(indextable);
    words[row.index + 2u * u32(1 + 64 - row.minx) + 1] = 3;
    u32 off = 0, size = 0;
    ASSERT_TRUE(indextable->Find(1, 1, off, size));
    ASSERT_EQ(size, 3u);

    testing::internal::CaptureStdout();
    const bool synced = Sync(1, 1);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(synced);
    const std::string line =
        "City: cell (1, 1) is malformed (3 bytes) in KORVALIS\\DemoCity\\TEST.MGD; its place stays empty\n";
    const size_t at = out.find(line);
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_EQ(out.find(line, at + 1), std::string::npos) << "said once: " << out;
    EXPECT_EQ(out.find("City: "), at) << out;

    EXPECT_EQ(CellsRead().size(), 8u);
    for (int z = 0; z <= 2; z++)
        for (int x = 0; x <= 2; x++)
            EXPECT_EQ(qt().grid[QuadTree::Slot(x, z)].file == nullptr, x == 1 && z == 1) << x << "," << z;
    EXPECT_TRUE(world.CompleteAt(VectorPos(300.0f, 0.0f, 300.0f)));
    EXPECT_TRUE(world.CompleteAt(VectorPos(600.0f, 0.0f, 600.0f)));
}

TEST_F(CityWindow, BlockingWalkOverTheModelsStartsAgainWhileACellIsRead)
{
    Load(tools::SampleCity());
    EXPECT_FALSE(qt().SyncGrid(-1, 0, false));   // the move
    EXPECT_FALSE(qt().SyncGrid(-1, 0, false));   // the first model starts
    int calls = 0;
    while (qt().iMdlfiles < 3 && calls++ < 50)
        qt().SyncGrid(-1, 0, false);
    ASSERT_GE(qt().iMdlfiles, 3);
    ASSERT_LT(qt().iMdlfiles, qt().nMdlfiles);
    // A cell being read again: the walk restarts from the first model.
    disc.delay = 2;
    Grid& g = qt().grid[QuadTree::Slot(0, 0)];
    g.Clear(&qt());
    g.Load(&qt(), 0, 0);
    EXPECT_FALSE(qt().SyncGrid(-1, 0, false));
    EXPECT_EQ(qt().iMdlfiles, 0);
    EXPECT_TRUE(Sync(-1, 0));
    EXPECT_EQ(qt().iMdlfiles, qt().nMdlfiles);
}

class CityStreaming : public CityWorld
{
};

TEST_F(CityStreaming, BudgetsModelReadsAndClears)
{
    Load(Instances(30));
    Grid& g = qt().grid[0];
    MdlfileCache& model = qt().mdlfiles[0];

    // A budget of 0 only finishes a record that has arrived.
    disc.delay = 2;
    g.Load(&qt(), 0, 0);
    EXPECT_FALSE(g.Update(&qt(), 0.0f));
    EXPECT_FALSE(g.Update(&qt(), 0.0f));
    EXPECT_TRUE(g.Update(&qt(), 0.0f));
    EXPECT_EQ(g.streamnum, -2);
    EXPECT_EQ(g.nInstances, 30);
    EXPECT_EQ(g.iMdlfiles, 0);
    EXPECT_EQ(model.refs, 1);
    EXPECT_EQ(model.streamnum, -1);   // models wait for a budget
    EXPECT_TRUE(g.Update(&qt(), 0.0f));
    EXPECT_TRUE(qt().grid[1].Update(&qt(), 0.0f));   // an empty slot

    // A model whose stream cannot be opened is tried again; its instances wait.
    disc.delay = 0;
    disc.failPath = CITY_MODELS_PATH;
    disc.failOpens = 1;
    disc.opens.clear();
    EXPECT_FALSE(g.Update(&qt(), CITY_FRAME_BUDGET));
    EXPECT_EQ(g.iInstances, 0);
    EXPECT_EQ(model.streamnum, -1);
    EXPECT_FALSE(g.Update(&qt(), CITY_FRAME_BUDGET));   // opened this time, still on its way
    EXPECT_EQ(g.iInstances, 0);
    EXPECT_EQ(disc.opens.size(), 2u);

    // Instances start while less than 1,152 ticks (0.12 of 9,600) have
    // passed in the call: every 384 ticks, two of them.
    disc.tick = 384;
    EXPECT_FALSE(g.Update(&qt(), CITY_FRAME_BUDGET));
    EXPECT_TRUE(model.Resident());
    EXPECT_EQ(g.iInstances, 2);
    disc.tick = 1152;
    EXPECT_FALSE(g.Update(&qt(), CITY_FRAME_BUDGET));
    EXPECT_EQ(g.iInstances, 2);
    disc.tick = 1151;
    EXPECT_FALSE(g.Update(&qt(), CITY_FRAME_BUDGET));
    EXPECT_EQ(g.iInstances, 3);
    disc.tick = 0;
    EXPECT_TRUE(g.Update(&qt(), CITY_FRAME_BUDGET));
    EXPECT_EQ(g.iInstances, 30);
    EXPECT_TRUE(g.Complete());

    // The heap moves the cached model: it is re-based and its instances
    // still find their model in it.
    const void* old = model.header;
    g.Clear(&qt());
    EXPECT_EQ(model.refs, 0);
    EXPECT_EQ(model.header, nullptr);
    void* above = malloc(model.length + 4096);
    g.Load(&qt(), 0, 0);
    while (!g.Update(&qt(), CITY_FRAME_BUDGET)) {
    }
    ASSERT_TRUE(model.Resident());
    old = model.header;
    free(above);
    DefragmentMemory();
    EXPECT_NE((const void*)model.header, old);
    EXPECT_EQ(model.data, (void*)model.header);
    const u8* base = (const u8*)model.header;
    EXPECT_GE((const u8*)model.nodes, base);
    EXPECT_LT((const u8*)model.nodes, base + model.length);
    EXPECT_GE((const u8*)model.GetModel(0), base);
    EXPECT_LT((const u8*)model.GetModel(0), base + model.length);
    EXPECT_EQ(model.obj.mdlfile, (MDLFILE*)&model);
    EXPECT_NE(model.obj.geom, nullptr);

    // Clearing a slot while its record is on its way stops and closes the
    // stream and gives the buffer back.
    g.Clear(&qt());
    const unsigned freeBefore = TotalFree();
    disc.delay = 5;
    g.Load(&qt(), 0, 0);
    ASSERT_GE(g.streamnum, 0);
    const int h = g.streamnum;
    EXPECT_FALSE(g.Update(&qt(), CITY_FRAME_BUDGET));
    g.Clear(&qt());
    EXPECT_TRUE(disc.streams.at(h).stopped);
    EXPECT_FALSE(disc.streams.at(h).open);
    EXPECT_EQ(g.file, nullptr);
    EXPECT_EQ(g.streamnum, -1);
    EXPECT_EQ(TotalFree(), freeBefore);
    EXPECT_EQ(disc.OpenStreams(), 0);
}

TEST_F(CityStreaming, AllTemporaryObjectsHeldStopsTheInstanceStep)
{
    Load(Instances(3));
    // The model is resident before the cell comes, and makes every instance a
    // real object.
    MdlfileCache& m = qt().mdlfiles[0];
    m.AddRef();
    ASSERT_TRUE(m.StartStreaming(CITY_MODELS_PATH));
    EXPECT_EQ(disc.Pending(m.streamnum), 0);
    m.Arrive(qt().textures, qt().nTextures);
    m.obj.flags |= CITYMODEL_ALWAYSREAL;
    Grid& g = qt().grid[0];
    g.Load(&qt(), 0, 0);
    ASSERT_TRUE(g.Update(&qt(), 0.0f));
    // The node holding the first instance record.
    QuadNode* holder = nullptr;
    for (std::vector<QuadNode*> stack{g.root}; !stack.empty();) {
        QuadNode* n = stack.back();
        stack.pop_back();
        if (n->nObjects > 0 && n->objects == g.instances)
            holder = n;
        for (QuadNode* c : n->child)
            if (c != nullptr)
                stack.push_back(c);
    }
    ASSERT_NE(holder, nullptr);
    for (TempObject& t : tempobjpool.pool)
        t.refcount++;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(g.Update(&qt(), CITY_FRAME_BUDGET));
    EXPECT_EQ(g.iInstances, 0);
    EXPECT_EQ(holder->GetObject(0), nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("all 128 temporary objects are held"), std::string::npos) << out;
    for (TempObject& t : tempobjpool.pool)
        t.refcount--;
    tempobjpool.reportedFull = false;
    EXPECT_TRUE(g.Update(&qt(), CITY_FRAME_BUDGET));
    ASSERT_EQ(g.iInstances, 3);
    for (int i = 0; i < 3; i++) {
        ASSERT_NE(g.instances[i].obj, nullptr);
        EXPECT_EQ(g.instances[i].obj->id, s16(g.instances[i].id));
        EXPECT_NE(g.instances[i].id, 0);
        EXPECT_EQ(g.instances[i].obj->mat.GetTrans(), g.instances[i].Pos());
    }
    // A temporary for an instance that has its object gives that object back.
    TempObject* t = tempobjpool.Bind(&g.instances[0], &qt().mdlfiles[0]);
    EXPECT_EQ(EnsureReal(t), g.instances[0].obj);
    EXPECT_EQ(holder->GetObject(0), g.instances[0].obj);
    g.Clear(&qt());
    EXPECT_EQ(m.refs, 1);
    m.Release();
    EXPECT_EQ(m.header, nullptr);
}

class CityWorldServices : public CityWorld
{
};

TEST_F(CityWorldServices, MissionsLookupsAndResetCycles)
{
    Load(tools::SampleCity());
    // A second mission removes every placeholder of the first.
    auto load = [](const std::vector<u8>& m) { return world.LoadMissionData(HeapCopy(m), u32(m.size())); };
    ASSERT_TRUE(load(tools::WriteMission(tools::SampleMission2())));
    EXPECT_EQ(world.placeholderlist.Count(), 18);
    const Object* start = world.FindPlaceholder(-4);
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->type, OBJT_PLACEHOLDER);
    EXPECT_NEAR(start->mat.w[0], -84.0f, 1e-4f);
    EXPECT_NEAR(start->mat.z[0], 1.0f, 2e-3f);   // facing east
    EXPECT_NEAR(start->mat.z[2], 0.0f, 2e-3f);
    ASSERT_TRUE(load(tools::WriteMission(tools::SampleMission1())));
    EXPECT_EQ(world.placeholderlist.Count(), 8);
    EXPECT_EQ(world.FindPlaceholder(-4), nullptr);
    EXPECT_NE(world.FindPlaceholder(-250), nullptr);
    // A mission file that is not on the disc: no placeholders, and failure.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(world.LoadMission("KORVALIS\\DemoData\\Missions\\NOSUCH.EXM"));
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find("no mission file KORVALIS\\DemoData\\Missions\\NOSUCH.EXM"), std::string::npos) << said;
    EXPECT_TRUE(world.placeholderlist.IsEmpty());
    ASSERT_TRUE(load(tools::WriteMission(tools::SampleMission1())));
    // A first block of another type makes none, and the old ones still go.
    std::vector<u8> other = tools::WriteMission(tools::SampleMission3());
    ((MissionFile*)other.data())->block[0].type = 1;
    EXPECT_TRUE(load(other));
    EXPECT_TRUE(world.placeholderlist.IsEmpty());
    // A mission with no placeholders is a head alone; the same head on a file
    // of a full mission's length (a file zeroed in place) is refused by name.
    EXPECT_TRUE(load(tools::WriteMission({})));
    const std::vector<u8> zeroed(tools::WriteMission(tools::SampleMission2()).size(), 0);
    ASSERT_TRUE(load(tools::WriteMission(tools::SampleMission1())));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(world.LoadMissionData(HeapCopy(zeroed), u32(zeroed.size()), "MISSION2.EXM"));
    const std::string zsaid = testing::internal::GetCapturedStdout();
    EXPECT_NE(zsaid.find("MISSION2.EXM is malformed"), std::string::npos) << zsaid;
    EXPECT_TRUE(world.placeholderlist.IsEmpty());

    // Three runs from the start placeholder: the window loads, the run ends,
    // and the heap is where it began.
    const unsigned freeBefore = TotalFree();
    for (int run = 0; run < 3; run++) {
        ASSERT_TRUE(load(tools::WriteMission(tools::SampleMission2())));
        const VectorPos p = world.FindPlaceholder(-4)->mat.GetTrans();
        EXPECT_FALSE(world.SyncTo(p));   // a move never completes at once
        ASSERT_TRUE(SyncTo(p));
        EXPECT_TRUE(world.CompleteAt(p));
        EXPECT_TRUE(world.CompleteAt(Cuboid(VectorPos(-100, -5, 0), VectorPos(100, 5, 100))));
        EXPECT_EQ(qt().gridx, -1);
        EXPECT_EQ(qt().gridz, 0);
        const Cuboid ext = world.LoadedExtent();
        EXPECT_LE(ext.min[0], -100.0f);
        EXPECT_GE(ext.max[0], 100.0f);

        // Lookups: the nearest instance with radius 0, an instance by id.
        const tools::CityDescription city = tools::SampleCity();
        const VectorPos near = city.instances[3].pos + VectorDir(0.02f, 0.0f, 0.0f);
        Object* o = world.FindClosestCityObject(near, 0.0f);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->type, OBJT_PLACEHOLDER);
        EXPECT_EQ(o->id, s16(city.instances[3].id));
        Object* byId = world.FindCityObject(city.instances[5].id, Cuboid(VectorPos(-140, -50, -140), VectorPos(140, 50, 140)));
        ASSERT_NE(byId, nullptr);
        EXPECT_EQ(byId->mat.GetTrans(), city.instances[5].pos);
        EXPECT_EQ(world.FindCityObject(9999, Cuboid(VectorPos(-140, -50, -140), VectorPos(140, 50, 140))), nullptr);

        world.Reset();
        EXPECT_NE(world.quadtree, nullptr);   // the city stays for the next run
        EXPECT_EQ(qt().gridx, 64);
        EXPECT_TRUE(world.placeholderlist.IsEmpty());
        EXPECT_EQ(TotalFree(), freeBefore) << "run " << run;
    }
}

}  // namespace
