// Health carts and their generator.
#include "game/GameModes.h"
#include "game/HealthCart.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Physics.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/LevelEntity.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Road.h"
#include "game/explosn.h"

namespace {

AnimTime Frames(u32 n) { return AnimTime(n << 8); }
void* TimerData(int d) { return reinterpret_cast<void*>(intptr_t(d)); }
int TimerKind(void* d) { return int(reinterpret_cast<intptr_t>(d)); }

constexpr u32 kGeneratorPeriod = 15;
constexpr u32 kCheckPeriod = 18;     // the cart's distance check
constexpr u32 kRecharge = 1200;
enum { TIMER_CHECK = 0, TIMER_RECHARGED = 5 };

constexpr float kTwoPi = 6.2831853f;
constexpr float kNearest = 46.875f;   // a new cart's distance from the player
constexpr float kSpread = 31.25f;
constexpr float kKerbInset = 0.46875f;
constexpr float kServeDistSq = 0.2197265625f;   // 0.46875 squared
constexpr float kFarDistSq = 250000.0f;         // 500 from the camera
constexpr float kFastCar = 0.0046567f;
constexpr int kBulletDamage = 5;
constexpr float kFullHealth = 100.0f;
constexpr int kMarkerNode = 14;
constexpr u16 kUiRefused = 11;
constexpr u32 kDeadFlag = 0x80000000u;

float HorizontalDistSq(VectorPos a, VectorPos b)
{
    const float dx = a[0] - b[0], dz = a[2] - b[2];
    return dx * dx + dz * dz;
}

VectorPos CameraPos()
{
    const Vector& w = rc.view_world.w;
    return VectorPos(w[0], w[1], w[2]);
}

int Points()
{
    return g_pgcTest != nullptr ? int(g_pgcTest->stats.nPoints) : 0;
}

HealthCart* NewCart()
{
    auto* c = new HealthCart;
    if (c == nullptr)
        return nullptr;
    c->messagehandler = HealthCart_mh;
    c->iStrength = 10;
    return c;
}

void Unlist(Object* cart)
{
    if (g_pgcTest == nullptr)
        return;
    VectorPos p = cart->mat.GetTrans();
    g_pgcTest->RemoveHealthLocation(p);
}

// One service: health for points, or the refusal.  The cart then recharges.
void Serve(HealthCart* cart)
{
    const float amount = cart->ComputeRepairAmount();
    const float strength = dace->strength;
    if (amount > 0.0f || strength + amount >= kFullHealth) {
        if (strength + amount >= kFullHealth) {
            SpecialMessage m(HealthCart::SMSG_PLAYER_REFRESH, nullptr);
            dace->SendMessage(OM_SPECIAL, &m);
        } else {
            dace->strength = strength + amount;
        }
        if (amount > 0.0f && g_pgcTest != nullptr)
            g_pgcTest->AddPoints(-int(amount * 0.5f), dace);
        AddScreenText("HEALTH RESTORED!", STP_CENTER);
    } else {
        AddScreenText("POINTS REQUIRED TO RESTORE HEALTH!", STP_CENTER);
        if (sndbank_ui != 0xFFFF) {
            const int ch = sound.AllocChannel(false);
            if (ch >= 0)
                sound.Play(ch, sndbank_ui, kUiRefused);
        }
    }
    cart->mode = HealthCart::HC_USED;
    cart->DeleteTargetIndicator();
    world.StopFrameCall(cart);
    world.SetTimer(cart, Frames(kRecharge), TimerData(TIMER_RECHARGED));
}

void TakeDamage(HealthCart* cart, int damage)
{
    cart->iStrength = std::max(cart->iStrength - damage, 0);
    if (cart->iStrength == 0)
        cart->ExplodeHC();
}

}  // namespace

// ---------------------------------------------------------------------------
// The generator

int HealthGenerator::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<HealthGenerator>();
    return static_cast<HealthGenerator*>(o)->mh(msg, data);
}

int HealthGenerator::mh(OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_INIT:
        world.SetTimer(this, Frames(1), nullptr);
        return 0;
    case OM_TIMER: {
        world.SetTimer(this, Frames(kGeneratorPeriod), nullptr);
        for (int i = 0; i < i16ActiveGenerators;) {
            Object* cart = rrcHealthObjects[i].p;
            if (cart == nullptr || (cart->flags & kDeadFlag) != 0) {
                if (cart != nullptr)
                    Unlist(cart);
                const int last = i16ActiveGenerators - 1;
                rrcHealthObjects[i] = rrcHealthObjects[last].p;
                rrcHealthObjects[last] = nullptr;
                i16ActiveGenerators--;
                continue;   // the moved entry is looked at next
            }
            if (cart->mode == HealthCart::HC_EXPLODED) {
                cart->mode = HealthCart::HC_EXPLODED_UNLISTED;
                Unlist(cart);
            }
            i++;
        }
        const int missing = std::min<int>(i16MaxGenerators, iMaxGeneratorList) - i16ActiveGenerators;
        for (int k = 0; k < missing; k++) {
            Object* cart = CreateNewHealthObject();
            if (cart == nullptr)
                continue;
            rrcHealthObjects[i16ActiveGenerators++] = cart;
            world.AddObject(cart, nullptr);
            if (g_pgcTest != nullptr) {
                VectorPos p = cart->mat.GetTrans();
                g_pgcTest->AddHealthLocation(p);
            }
        }
        return 0;
    }
    case OM_DIE:
        for (int i = 0; i < i16ActiveGenerators; i++)
            if (rrcHealthObjects[i].p != nullptr)
                Unlist(rrcHealthObjects[i].p);
        for (RCptr<Object>& r : rrcHealthObjects)
            r = nullptr;
        i16ActiveGenerators = 0;
        delete this;
        return -1;
    default:
        return 0;
    }
}

Object* HealthGenerator::CreateNewHealthObject()
{
    if (dace == nullptr)
        return nullptr;
    const VectorPos p = dace->GetWorldPos();
    const float a = randf() * kTwoPi;
    const float dist = kNearest + randf() * kSpread;
    const VectorPos q(p[0] + std::cos(a) * dist, p[1], p[2] + std::sin(a) * dist);
    float t = 0.0f;
    const RoadSeg* rs = FindNearestRoadSeg(q, &t, false);
    if (rs == nullptr || rs->type == nullptr || (rs->type->flags & ROADTYPE_HEALTHCARTS) == 0)
        return nullptr;
    if (t < 0.0f)
        t = randf();
    t = std::clamp(t, 0.25f, 0.75f);
    MDLFILE* mf = g_GlobalMFI.GetMF(HealthCart::kModelSlot, true);
    if (mf == nullptr || !mf->HasData())
        return nullptr;
    HealthCart* cart = NewCart();
    if (cart == nullptr) {
        g_GlobalMFI.DecrementRef(mf);
        return nullptr;
    }
    const RoadType* type = rs->type;
    const Bezier path = RoadSegOffset(rs->bezier, type->vXSect[type->iJunc][0] - kKerbInset);
    const Vector at = path.Evaluate(t);
    VectorPos pos(at[0], at[1], at[2]);
    const VectorDir z = Normalise(path.EvaluateTangent(t));
    // x = (0, 1, 0) × z, y = z × x.
    const VectorDir x = Normalise(VectorDir(z[2], 0.0f, -z[0]));
    const VectorDir y(z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]);
    mf->GetHierarchyTo(cart, 0, GH_ANIMATE);
    if (mf->nNodes > 0)
        pos = VectorPos(pos[0], pos[1] + mf->nodes[0].pos.v[1], pos[2]);
    Matrix m(true);
    m.x = Vector(x, 0.0f);
    m.y = Vector(y, 0.0f);
    m.z = Vector(z, 0.0f);
    m.SetTrans(pos);
    cart->mat = m;
    cart->InitialiseChildCollisions();
    cart->CalcRadius();
    return cart;
}

// ---------------------------------------------------------------------------
// The cart

float HealthCart::ComputeRepairAmount()
{
    const float strength = dace != nullptr ? dace->strength : 0.0f;
    return std::min(kFullHealth - strength, 2.0f * float(Points()));
}

Object* HealthCart::AttachTargetIndicator()
{
    VectorPos origin(0.0f, 0.0f, 0.0f);
    Object* marker = CreateTargetObj(origin, g_GlobalMFI.GetMF(kMarkerSlot, false), kMarkerNode);
    if (marker == nullptr)
        return nullptr;
    marker->id = kMarkerId;
    marker->mat = TransMatrix(0.0f, -kKerbInset, 0.0f);
    Attach(marker);
    return marker;
}

bool HealthCart::DeleteTargetIndicator()
{
    Object* marker = FindSubObject(kMarkerId);
    if (marker == nullptr)
        return false;
    marker->Detach();
    marker->Delete();
    return true;
}

bool HealthCart::ExplodeHC()
{
    DeleteTargetIndicator();
    Explode2(this);
    mode = HC_EXPLODED;
    return true;
}

int HealthCart_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    auto* cart = static_cast<HealthCart*>(obj);
    switch (msg) {
    case OM_CREATE:
        return int(reinterpret_cast<intptr_t>(NewCart()));
    case OM_INIT:
        cart->ModifyCollisionMaskHierarchy(0x2508, 0);
        cart->AttachTargetIndicator();
        cart->flags |= OBJF_FRAMECALL;
        cart->type = OBJT_DYNAMIC;
        world.SetTimer(cart, Frames(kCheckPeriod), TimerData(TIMER_CHECK));
        return 0;
    case OM_FRAME:
        if (cart->mode != HealthCart::HC_READY) {
            // Blown up: it goes once its pieces have flown.
            if (cart->geom == nullptr && cart->child == nullptr) {
                cart->Delete();
                return -1;
            }
            return 0;
        }
        if (world.time % 4 != 0 || dace == nullptr || dace->parent != nullptr)
            return 0;
        if (HorizontalDistSq(cart->GetWorldPos(), dace->GetWorldPos()) < kServeDistSq)
            Serve(cart);
        return 0;
    case OM_TIMER:
        if (TimerKind(data) == TIMER_CHECK) {
            if (HorizontalDistSq(cart->GetWorldPos(), CameraPos()) > kFarDistSq) {
                cart->Delete();
                return -1;
            }
            world.SetTimer(cart, Frames(kCheckPeriod), TimerData(TIMER_CHECK));
        } else if (TimerKind(data) == TIMER_RECHARGED) {
            // A cart blown up while it recharged stays in pieces: its frame
            // calls only let it go once they have flown.
            if (cart->mode == HealthCart::HC_USED) {
                cart->mode = HealthCart::HC_READY;
                cart->AttachTargetIndicator();
            }
            world.StartFrameCall(cart);
        }
        return 0;
    case OM_COLLISION: {
        auto* cr = static_cast<CollisionRecord*>(data);
        Object* other = cr->HitObj();
        if (other == nullptr || cart->mode >= HealthCart::HC_EXPLODED)
            return 0;
        if (other->type == OBJT_VEHICLE) {
            const Vector& v = static_cast<DynamicObject*>(other)->vel;
            if (std::sqrt(v[0] * v[0] + v[2] * v[2]) > kFastCar && cart->FindSpecialIndex(15) != 0)
                cart->ExplodeHC();
        } else if (other->type == OBJT_CHARACTER) {
            Object* part = cr->HisPart();
            if (part != nullptr && (part->flags & 0x1000) != 0) {
                SpecialMessage q(SMSG_Q_COLLISION, nullptr, static_cast<void*>(cr));
                TakeDamage(cart, other->SendMessage(OM_SPECIAL, &q));
            }
        }
        return 0;
    }
    case OM_SPECIAL:
        if (static_cast<SpecialMessage*>(data)->submsg == SMSG_BULLET_HIT && cart->mode < HealthCart::HC_EXPLODED)
            TakeDamage(cart, kBulletDamage);
        return 0;
    case OM_DIE:
        delete cart;
        return -1;
    default:
        return 0;
    }
}
