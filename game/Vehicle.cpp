// The vehicle record, its driver reference and its messages.
#include "ZevEngine2/Utilities.h"
#include "game/Vehicle.h"

namespace {

// The vehicles' physics and model set-up replace these reports.
void NotBuilt(const char* what)
{
    static const char* said[8];
    for (const char*& s : said) {
        if (s == what)
            return;
        if (s == nullptr) {
            s = what;
            printf("vehicle: %s is not built yet\n", what);
            return;
        }
    }
}

}  // namespace

Vehicle::Vehicle() : DynamicObject(staticmh)
{
    type = OBJT_VEHICLE;
    mat = Matrix(true);
    strength = fBaseStrength = 100.0f;
    fFade = 1.0f;
    i8Tint = -1;
    bCycle = bKickStand = false;
    iLastDrawnTime = 0;
    i16OrigIndex = -1;
    vdCOGOffset = VectorDir(0.0f, 0.0f, 0.0f);
    for (VehicleWheel& w : wheel) {
        w.radius = 0.0f;
        w.ghc.Clear();
        w.ghc.obj = nullptr;
    }
}

int Vehicle::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    return static_cast<Vehicle*>(o)->mh(msg, data);
}

int Vehicle::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_SPECIAL:
        // The car passes what it is told on to its driver.
        if (rcoDriver != nullptr && !rcoDriver->IsDead())
            return rcoDriver->SendMessage(OM_SPECIAL, data);
        return 0;
    case OM_FRAME:
        NotBuilt("the car's motion");
        return 0;
    case OM_DIE:
        rcoDriver = nullptr;
        delete this;
        return -1;
    default:
        return 0;
    }
}

int Vehicle::staticcinemh(Object* o, OBJMESSAGE msg, void*)
{
    Vehicle* v = static_cast<Vehicle*>(o);
    if (msg == OM_CINEMAOVER)
        v->messagehandler = staticmh;
    else if (msg == OM_FRAME)
        NotBuilt("the car's cinematic drive");
    return 0;
}

float Vehicle::CalcBodyRestOffset()
{
    NotBuilt("Vehicle::CalcBodyRestOffset");
    return 0.0f;
}

int Vehicle::iGetNumTintSets(int* start)
{
    NotBuilt("Vehicle::iGetNumTintSets");
    if (start != nullptr)
        *start = 0;
    return 0;
}

void Vehicle::SetInitialSpeed(float speed)
{
    // Gear, engine and wheel speeds come with the car's physics; the body's
    // velocity is what the callers look at.
    NotBuilt("Vehicle::SetInitialSpeed's gear and engine");
    vel = Vector(mat.z[0] * speed, mat.z[1] * speed, mat.z[2] * speed, 0.0f);
}

Vehicle* CreateVehicle(MDLFILE* pmf, int iNodeIndex, int, VectorPos pos, int)
{
    NotBuilt("the car's model set-up");
    Vehicle* v = new Vehicle();
    if (v == nullptr)
        return nullptr;
    v->mdlfile = pmf;
    v->index = u16(iNodeIndex);
    v->i16OrigIndex = s16(iNodeIndex);
    v->SetPos(pos);
    return v;
}
