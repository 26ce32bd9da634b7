// The pedestrian's outside and the crowd-wide calls (see Bystander.h).
#include "game/Bystander.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/cardrivr.h"

static Name nameBystander("Bystander", int(reinterpret_cast<intptr_t>(&Bystander::Bystander_mh)));

namespace {

// Each character kind's aggression, by character index.
const float kPedAggression[] = {0.1f, 0.25f, 0.5f, 0.75f, 0.9f, 0.3f, 0.6f, 0.15f};

void SaysItStaysPut()
{
    static bool said;
    if (!said) {
        said = true;
        printf("bystander: the pedestrian stays where it is (the crowd is not built yet)\n");
    }
}

}  // namespace

int Bystander::Bystander_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE) {
        Bystander* b = new Bystander();
        if (b == nullptr)
            return 0;
        b->messagehandler = Bystander_mh;
        b->type = OBJT_CHARACTER;
        b->mat = Matrix(true);
        b->charid = -1;
        b->fScale = 1.0f;
        return int(reinterpret_cast<intptr_t>(b));
    }
    return static_cast<Bystander*>(o)->mh(msg, data);
}

int Bystander::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        return 0;
    case OM_TIMER:
        nTimers++;
        return 0;
    case OM_SPECIAL: {
        const SpecialMessage* m = static_cast<const SpecialMessage*>(data);
        if (m != nullptr && m->submsg == SMSG_PUT_IN_VEHICLE) {
            pVehicle = m->obj;
            iSeat = m->param[0].i;
        }
        return 0;
    }
    case OM_DIE:
        // The body was built from a registered model that the pedestrian
        // took over from the car's driver: its count goes with it.
        if (mdlfile != nullptr && g_GlobalMFI.GetIndex(mdlfile) >= 0)
            g_GlobalMFI.DecrementRef(mdlfile);
        delete this;
        return -1;
    default:
        return 0;
    }
}

void Bystander::LeaveCar(Vehicle::KickOutMode mode, bool flag)
{
    nLeaveCar++;
    lastLeave = mode;
    bLastLeaveFlag = flag;
    SaysItStaysPut();
}

void Bystander::ReactToCarjacker(Object* jacker)
{
    pJacker = jacker;
    SaysItStaysPut();
}

float Bystander::GetPedAggression(int i)
{
    if (i < 0 || i >= int(sizeof kPedAggression / sizeof kPedAggression[0]))
        return 0.0f;
    return kPedAggression[i];
}

void MessagePedestrians(int msg, Object* what)
{
    SpecialMessage m(msg, what);
    for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it) {
        Object* ped = *it;
        // A destroyed pedestrian still listed until the next walk hears nothing.
        if (ped == nullptr || ped->IsDead() || ped->messagehandler == nullptr)
            continue;
        ped->messagehandler(ped, OM_SPECIAL, &m);
    }
}
