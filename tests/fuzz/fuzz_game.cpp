#include "fuzz_game.h"

#include <cstring>

#include "ZevEngine2/Allocator.h"
#include "game/Camera.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/controller_support.h"
#include "game/Vehicle.h"

namespace fuzz {

SlotModel::SlotModel(int slot_, const uint8_t* data, size_t size, Texture* shared, int nShared) : slot(slot_)
{
    StreamMdlFile& smf = g_GlobalMFI.rgmfi[slot].smf;
    void* block = malloc_align(u32(size) + 64, 64);
    if (block == nullptr)
        return;
    std::memcpy(block, data, size);
    smf.SetBuffer(block);
    if (!smf.Init(u32(size), shared, nShared, "the input", "it is dropped")) {
        smf.SetBuffer(nullptr);
        free(block);
        return;
    }
    smf.length = u32(size);
    smf.streamnum = -2;
    ok = true;
}

SlotModel::~SlotModel()
{
    StreamMdlFile& smf = g_GlobalMFI.rgmfi[slot].smf;
    if (!ok)
        return;
    void* block = smf.header;
    smf.FreeUser();
    smf.SetBuffer(nullptr);
    smf.length = 0;
    free(block);
}

MDLFILE* SlotModel::mf() const
{
    return &g_GlobalMFI.rgmfi[slot].smf;
}

GameController* Controller()
{
    return gametest::Controller();
}

void Frames(int n)
{
    for (int i = 0; i < n; i++)
        world.Update();
}

void ClearWorld()
{
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
        Object* o = l->data;
        if (o == nullptr || o->IsDead() || o->type != OBJT_VEHICLE)
            continue;
        Vehicle* v = static_cast<Vehicle*>(o);
        Object* d = v->rcoDriver.p;
        if (d == nullptr)
            continue;
        v->rcoDriver = nullptr;
        d->Detach();
        d->Delete();
    }
    world.Clear();
    while (!world.spllist.IsEmpty())
        if (WallSpline* w = world.spllist.RemoveHead()) {
            free(w->spline);
            free(w);
        }
    while (!world.obslist.IsEmpty())
        if (AvoidObstacle* a = world.obslist.RemoveHead()) {
            free(a->spline);
            free(a);
        }
    SetCurrentCam(nullptr);
    dace = nullptr;
}

}  // namespace fuzz
