// Damage to a car: its strength and the four body parts (front, the two
// sides, rear) that break step by step into their damaged forms and let go
// of doors and panels; the wreck, and the repair that rebuilds the car.
#include <algorithm>
#include <iterator>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/modelfile.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/explosn.h"

namespace {

// Each part's sub-objects in the order they break, and the share of the
// part's full strength at which each breaks.
const s16 rgsNumIds[4] = {2, 5, 5, 4};
const s16 rgsids[4][5] = {
    {30, 24, 0, 0, 0},
    {31, 33, 16, 18, 25},
    {32, 34, 17, 19, 26},
    {35, 20, 21, 27, 0},
};
const float rgfvals[4][5] = {
    {0.975f, 0.85f, 0.0f, 0.0f, 0.0f},
    {0.975f, 0.95f, 0.92f, 0.88f, 0.85f},
    {0.975f, 0.95f, 0.92f, 0.88f, 0.85f},
    {0.975f, 0.95f, 0.92f, 0.88f, 0.85f},
};

// The door and panel nodes each part lets go of as it breaks.
const s16 kDoors0[] = {40, 42, 43, 44};
const s16 kDoors1[] = {16};
const s16 kDoors2[] = {17};
const s16 kDoors3[] = {41, 45};
struct DoorList
{
    const s16* ids;
    int n;
};
const DoorList kDoorLists[4] = {{kDoors0, 4}, {kDoors1, 1}, {kDoors2, 1}, {kDoors3, 2}};

enum { PART_FRONT = 0, PART_MINUS_X = 1, PART_PLUS_X = 2, PART_REAR = 3 };

// Windows 31 to 34 sit in the door or panel 15 below their id; 33 and 34
// also in the side section 8 below.
bool IsWindow(int id)
{
    return id >= 31 && id <= 34;
}

bool HoldsWindow(int id)
{
    return (id >= 16 && id <= 19) || id == 25 || id == 26;
}

Object* ChildWithId(Object* parent, int id)
{
    for (Object* c = parent != nullptr ? parent->child : nullptr; c != nullptr; c = c->sibling)
        if (c->id == id)
            return c;
    return nullptr;
}

bool HasExplosionRecord(Object* o)
{
    return o->mdlfile != nullptr && o->mdlfile->nodes != nullptr && o->FindSpecialIndex(15) != 0;
}

}  // namespace

int Vehicle::DamageVehicleAt(VectorPos& vpLoc, float fDamage)
{
    // 1.
    if (HasDriver() && DriverId() == -1 && g_pgcTest != nullptr && g_pgcTest->bSuperDace)
        return 0;
    // A hit of nothing (or a negative one, which would heal) does nothing.
    if (!(fDamage > 0.0f))
        return 0;
    // 2.
    const float before = strength;
    float partBefore[4];
    for (int i = 0; i < 4; i++)
        partBefore[i] = rgpartstrength[i];
    // 3.
    const int side = vpLoc[0] > 0.0f ? PART_PLUS_X : PART_MINUS_X;
    const int other = side == PART_PLUS_X ? PART_MINUS_X : PART_PLUS_X;
    const int end = vpLoc[2] > 0.0f ? PART_FRONT : PART_REAR;
    const int otherEnd = end == PART_FRONT ? PART_REAR : PART_FRONT;
    int order[4];
    if (fabsf(vpLoc[2]) > radius / 3.0f) {
        order[0] = end, order[1] = side, order[2] = other, order[3] = otherEnd;
    } else {
        order[0] = side, order[1] = end, order[2] = otherEnd, order[3] = other;
    }
    // 4.  The nearest part takes at most three quarters, the rest flows on
    // round the parts again until it is all taken; what is left once every
    // part is spent is lost.  Each round either spends a part or takes all
    // that is left, so the rounds end.
    float left = fDamage;
    float cap = 0.75f * fDamage;
    auto anyStrength = [this] {
        return std::any_of(std::begin(rgpartstrength), std::end(rgpartstrength), [](float p) { return p > 0.0f; });
    };
    while (left > 0.0f && anyStrength()) {
        for (int k = 0; k < 4 && left > 0.0f; k++) {
            float& p = rgpartstrength[order[k]];
            const float take = std::min(p, cap);
            p -= take;
            left -= take;
            cap = left;
        }
    }
    // 5.
    strength = std::max(0.0f, strength - fDamage);
    // 6.
    if (HasDriver() && rcoDriver->type == OBJT_CHARACTER) {
        SpecialMessage m(SMSG_DAMAGE, this, strength == 0.0f ? 1000 : int(0.5f * fDamage));
        rcoDriver->SendMessage(OM_SPECIAL, &m);
    }
    // 7.
    const float full = fBaseStrength / 4.0f;
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < rgsNumIds[i]; j++) {
            const float T = rgfvals[i][j] * full;
            if (rgpartstrength[i] > T)
                break;
            if (partBefore[i] > T) {
                DamagePart(rgsids[i][j]);
                for (int d = 0; d < kDoorLists[i].n; d++)
                    MakeDoor(kDoorLists[i].ids[d]);
            }
        }
    }
    // 8.
    FindLights();
    // 9.
    if (strength == 0.0f && before > 0.0f) {
        RCptr<Object> hold(this);
        KickOutDriver(KICKOUT_ESCAPE, true, nullptr);
        Explode2(this);
    }
    return 0;
}

void Vehicle::DamagePart(int iId)
{
    // 1.
    Object* part = nullptr;
    if (IsWindow(iId)) {
        Object* holder = ChildWithId(this, iId - 15);
        if (holder == nullptr && (iId == 33 || iId == 34))
            holder = ChildWithId(this, iId - 8);
        part = ChildWithId(holder, iId);
    } else {
        part = ChildWithId(this, iId);
    }
    if (part == nullptr)
        return;
    // 2.
    if (!HasExplosionRecord(part))
        return;
    // 3.  The window comes off first, so that it is not lost with the part.
    Object* window = nullptr;
    if (HoldsWindow(iId)) {
        for (Object* c = part->child; c != nullptr; c = c->sibling)
            if (IsWindow(c->id)) {
                window = c;
                break;
            }
        if (window != nullptr)
            window->Detach();
    }
    // 4.
    RCptr<Object> hold(part);
    Explode2(part);
    if (window != nullptr && !part->IsDead())
        part->Attach(window);
    else if (window != nullptr)
        window->Delete();
    if (i8Tint >= 0)
        SetTintSet(part, i8Tint, true);
}

int Vehicle::DamageTotal()
{
    // Every breakable part first.
    for (Object* c = child; c != nullptr;) {
        Object* next = c->sibling;
        if (HasExplosionRecord(c))
            Explode2(c);
        c = next;
    }
    if (flags & OBJF_SELFANIMATING)
        world.StopAnimating(this);
    // The car itself, its children set aside while it takes its wrecked form.
    Object* kids = child;
    child = nullptr;
    RCptr<Object> hold(this);
    const int record = HasExplosionRecord(this) ? FindSpecialIndex(15) : 0;
    Explode2(this);
    child = kids;
    KickOutDriver(KICKOUT_ESCAPE, true, nullptr);
    if (record != 0 && mdlfile != nullptr) {
        index = u16(record);
        const NODE& rec = mdlfile->nodes[record];
        collision = rec.collision != 0xFFFF ? (COLLISION*)(uintptr_t)(rec.collision + 1) : nullptr;
        if (collision != nullptr)
            flags &= ~OBJF_NOCOLLISION;
    }
    if (i8Tint >= 0)
        SetTintSet(this, i8Tint, true);
    return 0;
}

void Vehicle::UnDamage(float fNewStrength)
{
    const Vehicle_Info& vi = rvi[i16VehType];
    // 1.
    strength = fNewStrength;
    fBaseStrength = vi.fStrength;
    for (float& p : rgpartstrength)
        p = strength * 0.25f;
    doors = 0;
    // 2.
    for (int i = 0; i < NumWheels(); i++) {
        Wheel* w = wheel[i];
        if (w == nullptr)
            continue;
        w->Tune(vi, bCycle ? i : i / 2);
        w->bDamaged = false;
        w->Detach();
        // The tyre's own radius back from its model (a burst one shrank),
        // and its bounds.
        if (w->mdlfile != nullptr && w->mdlfile->nodes != nullptr && w->index < w->mdlfile->nNodes)
            w->radius = -w->mdlfile->nodes[w->index].pos[1];
        w->Object::CalcRadius();
    }
    // A bare car (no model) has nothing more to rebuild.
    if (mdlfile == nullptr || mdlfile->nodes == nullptr || i16OrigIndex < 0 || i16OrigIndex >= mdlfile->nNodes) {
        for (int i = 0; i < NumWheels(); i++)
            if (wheel[i] != nullptr)
                Attach(wheel[i]);
        return;
    }
    // 3.  Drivers and riders (from other model files) are kept; the car's own
    // parts, whole or broken, go.
    Object* keep = nullptr;
    Object* keepTail = nullptr;
    while (Object* c = child) {
        c->Detach();
        if (c->mdlfile != mdlfile) {
            c->sibling = nullptr;
            if (keepTail != nullptr)
                keepTail->sibling = c;
            else
                keep = c;
            keepTail = c;
        } else {
            c->Delete();
        }
    }
    // 4.
    index = u16(i16OrigIndex);
    mdlfile->GetHierarchyTo(this, u16(i16OrigIndex), GH_ANIMATE);
    if (i16VehType == 27 || i16VehType == 37 || i16VehType == 38)
        RemoveSharedExtraParts(this, i16VehType != 27, i16VehType != 38);
    CalcRadius();
    SetLowresGeomHierarchy(true);
    if (geom != nullptr && geom->lowresgeom != nullptr)
        SetLowresGeomHierarchy(geom->lowresdist * 2.0f);
    flags |= OBJF_DRAWSELF;
    // 5.
    if (bCycle) {
        pobjFork = FindSubObject(46);
        pobjSlider = FindSubObject(47);
        pobjSwingArm = FindSubObject(48);
        if (wheel[0] != nullptr)
            (pobjSlider != nullptr ? pobjSlider : static_cast<Object*>(this))->Attach(wheel[0]);
        if (wheel[1] != nullptr)
            (pobjSwingArm != nullptr ? pobjSwingArm : static_cast<Object*>(this))->Attach(wheel[1]);
    } else {
        for (Wheel* w : wheel)
            if (w != nullptr)
                Attach(w);
    }
    // 6.
    for (Object* c = keep; c != nullptr;) {
        Object* next = c->sibling;
        c->sibling = nullptr;
        Attach(c);
        c = next;
    }
    if (i8Tint >= 0)
        SetTintSet(this, i8Tint, true);
    CalcRadius();
    steeringwheel = FindSubObject(12);
    InitialiseChildCollisions();
    ModifyCollisionMaskHierarchy(0x500, 0);
    FindShadows();
    FindLights();
}
