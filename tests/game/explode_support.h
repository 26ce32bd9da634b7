// Test support for explosions and props: model files written by the props
// writer, placed in a registry slot so that their size is known, and a
// character that records the special messages it is sent.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/mdlgroup.h"
#include "tools/lib/props.h"

#include "ZevEngine2/Utilities.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

namespace explodetest {

// Models without materials: only their sphere (radius) matters here.
inline tools::P2BModel BareModel(float radius)
{
    tools::P2BModel m;
    m.sphere = Sphere(VectorPos(0.0f, 0.0f, 0.0f), radius);
    m.boxextent = Vector(radius, radius, radius, 0.0f);
    return m;
}

// The file in registry slot `slot` for as long as it lives.
class SlotFile
{
public:
    SlotFile(int slot, const tools::P2BFile& f, const std::vector<tools::NodeParams>& params = {})
        : SlotFile(slot, Bytes(f, params))
    {
    }
    // The file of these bytes.
    SlotFile(int slot, const std::vector<u8>& bytes) : slot(slot)
    {
        block = malloc_align(u32(bytes.size()), 64);
        std::memcpy(block, bytes.data(), bytes.size());
        StreamMdlFile& smf = g_GlobalMFI.rgmfi[slot].smf;
        smf.SetBuffer(block);
        EXPECT_TRUE(smf.Init(u32(bytes.size())));
        smf.length = u32(bytes.size());
        smf.streamnum = -2;
    }
    ~SlotFile()
    {
        g_GlobalMFI.rgmfi[slot].smf.FreeUser();
        g_GlobalMFI.rgmfi[slot].smf.SetBuffer(nullptr);
        g_GlobalMFI.rgmfi[slot].smf.length = 0;
        free(block);
    }
    SlotFile(const SlotFile&) = delete;
    SlotFile& operator=(const SlotFile&) = delete;

    MDLFILE* mf() { return &g_GlobalMFI.rgmfi[slot].smf; }

private:
    static std::vector<u8> Bytes(const tools::P2BFile& f, const std::vector<tools::NodeParams>& params)
    {
        std::vector<u8> bytes;
        std::string error;
        EXPECT_TRUE(tools::WriteP2BWithParams(f, params, bytes, error)) << error;
        return bytes;
    }

    int slot;
    void* block = nullptr;
};

// The sample car of vehicle type `type` in registry slot `slot`, its model id
// the type, for as long as it lives.
class CarSlot
{
public:
    CarSlot(int slot, int type) : file(slot, tools::SampleVehicleFile(type)), slot(slot)
    {
        MdlFileInfo& m = g_GlobalMFI.rgmfi[slot];
        m.i16Id = s16(type);
        m.i16Mirror = -1;
        m.i16Flags = 0;
    }
    ~CarSlot() { g_GlobalMFI.rgmfi[slot].i16Id = -1; }

private:
    SlotFile file;
    int slot;
};

// Every car's driver leaves it and goes, before the world is cleared: a car
// that ends with its driver inside releases the driver's reference twice.
inline void DropCarDrivers()
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
}

// A pedestrian that keeps the special messages it gets.
struct Listener : public Object
{
    std::vector<SpecialMessage> got;

    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        if (msg == OM_SPECIAL)
            static_cast<Listener*>(o)->got.push_back(*static_cast<SpecialMessage*>(data));
        if (msg == OM_DIE) {
            static_cast<Listener*>(o)->~Listener();
            Object::operator delete(o);
            return -1;
        }
        return 0;
    }
};

inline Listener* AddPedestrian(VectorPos at)
{
    Listener* l = new (Object::operator new(sizeof(Listener))) Listener;
    l->messagehandler = Listener::mh;
    l->mat = TransMatrix(at);
    world.AddObject(l, nullptr);
    world.pedlist.AddTail(l);
    return l;
}

}  // namespace explodetest
