// A car's contacts: equal and opposite pushes with another car or a solid,
// shared out by who drives, the impact's sound and sparks, damage to both
// cars and to breakable things, the player's pinning move, and the damage a
// character deals by running into the car.
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/TestPart.h"
#include "game/Vehicle.h"
#include "game/VehicleFrame.h"
#include "game/cardrivr.h"

namespace {

// Speeds squared: one, two and five speed steps (0.0232833 a frame).
constexpr float kOneStep2 = 0.000542114f;
constexpr float kTwoSteps2 = 0.00216845f;
constexpr float kFiveSteps2 = 0.0135528f;
// Ten damage points to a breakable object per speed step.
constexpr float kBreakDamagePerSpeed = 429.492f;
// Damage smaller than this is not taken.
constexpr float kMinDamage = 0.15f;
// A character's damage adds up over contacts this close together.
constexpr int kCharacterWindow = 30;

bool IsSolid(const Object* o)
{
    return o->type == OBJT_VEHICLE || o->type == OBJT_STATIC || o->type == OBJT_DYNAMIC ||
           o->type == OBJT_PLACEHOLDER;
}

// Sub-parts 16 to 21 (doors and rear lamps) hang loose and push nothing.
bool LoosePart(const Object* part, const Object* owner)
{
    return part != nullptr && part != owner && part->id >= 16 && part->id <= 21;
}

// The driver has a negative id: the player, or a driver standing in for him.
bool NegativeDriver(const Vehicle* v)
{
    return v->HasDriver() && v->DriverId() < 0;
}

bool NonNegativeDriver(const Vehicle* v)
{
    return v->HasDriver() && v->DriverId() >= 0;
}

// The record handed on with its two sides swapped for the call.
void PassOn(Object* to, CollisionRecord& cr)
{
    cr.ToggleFlip();
    to->SendMessage(OM_PASSEDCOLL, &cr);
    cr.ToggleFlip();
}

}  // namespace

float Vehicle::CalcCollisionScaleFactor(Vehicle* pVeh)
{
    const bool other = pVeh != nullptr && pVeh->HasDriver();
    const int otherId = other ? pVeh->DriverId() : 0;
    if (NegativeDriver(this)) {
        const int id = DriverId();
        if (id != -1) {
            // A driver asleep takes no push.
            SpecialMessage q(SMSG_CD_QUERY_FLAG, this);
            if (rcoDriver->SendMessage(OM_SPECIAL, &q) != 0)
                return 0.0f;
        }
        if (!other)
            return 1.0f;
        if (otherId > 0)
            return 0.75f;
        return id == -1 ? 0.75f : 1.0f;
    }
    if (other && otherId < 0)
        return 1.25f;
    return 1.0f;
}

int Vehicle::CheckPinMove(Vehicle* pVeh, VectorPos vpPoint, VectorDir, VectorPos vpPoint2, VectorDir vdNormal2)
{
    // 1.
    if (pVeh == nullptr || !CarAbility(PIT_CARMOVE) || pVeh->vSpecialMove != VSpecialMove_None)
        return 0;
    // 2.  Between 2.5 and 12 speed steps.
    const float speed = Length(pVeh->vel.xyz());
    if (!(speed > 0.0582083f && speed < 0.2794f))
        return 0;
    // 3.  Headings about 26 to 50 degrees apart.
    const float d = Dot(mat.z.xyz(), pVeh->mat.z.xyz());
    if (!(d > 0.64f && d < 0.9f))
        return 0;
    // 4.  This car's front on the other's rear side.
    if (!(vpPoint[2] > 0.0f && vpPoint2[2] < 0.0f && fabsf(vdNormal2[0]) > 0.5f))
        return 0;
    // 5.
    pVeh->PinVehicle(vdNormal2[0] < 0.0f);
    if (pVeh->HasDriver()) {
        SpecialMessage m(SMSG_CD_PINNED, this);
        pVeh->rcoDriver->SendMessage(OM_SPECIAL, &m);
    }
    if (g_pgcTest != nullptr && g_pgcTest->pMission != nullptr) {
        SpecialMessage m(SMSG_EV_CAR_PINNED, pVeh, this);
        g_pgcTest->pMission->SendMessage(OM_SPECIAL, &m);
    }
    return 1;
}

int Vehicle::Collide(CollisionRecord& cr)
{
    Object* O = cr.HitObj();
    if (O == nullptr)
        return 0;
    const int now = world.time;
    // 1.  The character path.
    if (O->type == OBJT_CHARACTER) {
        if (!cr.GetInfo())
            return 0;
        Object* part = cr.HisPart();
        if (part == nullptr || (part->flags & 0x1000) == 0)
            return 0;
        SpecialMessage q(SMSG_Q_COLLISION, this, &cr);
        const float r = float(O->SendMessage(OM_SPECIAL, &q));
        if (now - iLastDamageCollFrame > kCharacterWindow)
            fLastDamageValue = 0.0f;
        const float d = r - fLastDamageValue;
        iLastDamageCollFrame = now;
        if (d > kMinDamage) {
            VectorPos p = PointToCar(mat, cr.Point());
            DamageVehicleAt(p, d);
            fLastDamageValue += d;
        }
        if (HasDriver())
            PassOn(rcoDriver, cr);
        return 0;
    }
    if (!IsSolid(O))
        return 0;
    // 2.
    if (!cr.GetInfo())
        return 0;
    const VectorDir n = cr.Normal();
    const VectorDir nM = ToCar(mat, n);
    VectorPos pM = PointToCar(mat, cr.Point());
    float c = 0.125f * std::max(-0.0625f, cr.Dist());
    iLastCollTime = now;
    // 3.
    Vehicle* V = O->type == OBJT_VEHICLE ? static_cast<Vehicle*>(O) : nullptr;
    VectorDir P;
    float vn;
    if (V != nullptr) {
        V->iLastCollTime = now;
        P = VectorDir(vel.xyz() * fMass - V->vel.xyz() * V->fMass);
        vn = Dot(VectorDir(vel.xyz() - V->vel.xyz()), n);
    } else {
        // A car standing on an interior's floor (or under its roof) does not
        // push against it.
        if (O->type == OBJT_STATIC && g_pgcTest != nullptr && g_pgcTest->bInterior && fabsf(nM[1]) > 0.707f)
            return 0;
        P = VectorDir(vel.xyz() * fMass);
        vn = Dot(VectorDir(vel.xyz()), n);
    }
    // 4.
    if (LoosePart(cr.MyPart(), this) || (V != nullptr && LoosePart(cr.HisPart(), V)))
        return 0;
    // 5.
    const float m = std::min(0.0f, Dot(P, n));
    if (vn >= 0.0f)
        c = std::min(0.0f, vn + c);
    const VectorDir pushM = nM * (m / (4.0f * fMass) + c);
    // 6.
    float sM = HasDriver() ? CalcCollisionScaleFactor(V) : 1.0f;
    const float sV = V != nullptr && V->HasDriver() ? V->CalcCollisionScaleFactor(this) : 1.0f;
    // 7.  The impact's sound and sparks, once a burst, where the player is.
    const bool mine = iNextCollEffectTime < now && NegativeDriver(this);
    const bool his = V != nullptr && V->iNextCollEffectTime < now && NegativeDriver(V);
    const float speed2 = vel.xyz().LengthSq();
    if ((mine || his) && speed2 > kOneStep2) {
        const int ch = sound.AllocChannel(false);
        if (ch >= 0) {
            const int base = speed2 < kTwoSteps2 ? 6 : speed2 < kFiveSteps2 ? 4 : 8;
            sound.Play(ch, sndbank_car, u16(base + (rand() & 1)));
            sound.SetPitch(ch, 0.875f + 0.125f * randf(), 0.0f);
            sound.SetPosition(ch, this);
            if (vchannel* vc = sound.GetChannel(ch)) {
                vc->minVol = 0.0f;
                vc->minVolAt = 31.25f;
                vc->maxVol = 0.5f;
                vc->maxVolAt = 0.0f;
            }
        }
        const int next = int(float(now) + 15.0f + 7.5f * randf());
        iNextCollEffectTime = next;
        if (V != nullptr)
            V->iNextCollEffectTime = next;
        if (VehicleNewWholeFrame())
            Sparkler_Create(this, pM, 1.0f, 12.0f, 0.0f);
    }
    // 8.  Breakable things.
    int answer = 0;
    if (V == nullptr && O->FindSpecialIndex(15) != 0) {
        answer = 2;
        const int damage = int(Length(vel.xyz()) * kBreakDamagePerSpeed);
        if (O->SendMessage(OM_DAMAGE, reinterpret_cast<void*>(intptr_t(damage))) != 0)
            sM *= 0.125f;
    }
    // 9.
    const VectorDir f = pushM * -sM;
    ApplyLocalForce(f * 0.5f, pM);
    ApplyLocalForce(f * 1.5f, VectorPos(0.0f, 0.0f, 0.0f));
    // 10.  Two computer-driven cars never damage each other.
    const bool noDamage = NonNegativeDriver(this) && V != nullptr && NonNegativeDriver(V);
    if (!noDamage) {
        float d = Length(pushM) * sM * 50.0f;
        if (NonNegativeDriver(this) && V != nullptr)
            d *= 4.0f;
        if (d > kMinDamage)
            DamageVehicleAt(pM, d);
    }
    // 11.
    if (V == nullptr)
        return answer;
    // 12.
    const VectorDir nV = ToCar(V->mat, n);
    VectorPos pV = PointToCar(V->mat, cr.Point());
    if (-vn >= 0.0f)
        c = std::min(0.0f, -vn + c);
    const VectorDir pushV = nV * (m / (4.0f * V->fMass) + c);
    V->ApplyLocalForce(pushV * (sV * 0.5f), pV);
    V->ApplyLocalForce(pushV * (sV * 1.5f), VectorPos(0.0f, 0.0f, 0.0f));
    // 13.
    if (HasDriver() && DriverId() == -1)
        CheckPinMove(V, pM, nM, pV, nV);
    else if (V->HasDriver() && V->DriverId() == -1)
        V->CheckPinMove(this, pV, nV, pM, nM);
    // 14.
    if (!noDamage) {
        float d = Length(pushV) * sV * 50.0f;
        if (NonNegativeDriver(V))
            d *= 4.0f;
        if (d > kMinDamage)
            V->DamageVehicleAt(pV, d);
    }
    // 15.
    if (V->HasDriver())
        PassOn(V->rcoDriver, cr);
    return 2;
}
