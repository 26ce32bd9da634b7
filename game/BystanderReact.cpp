// How a pedestrian reacts: to the player nearby, shots, blows and bumps,
// danger, car-jackers and bad drivers; how it steers round what stands in
// its way; what happens when something touches it; and the encounters a
// bored pedestrian starts with the people and cars around it.
#include "game/Bystander.h"

#include <cmath>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/GameAudio.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/GameModes.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/cardrivr.h"

namespace {

const VectorPos kOrigin(0.0f, 0.0f, 0.0f);

VectorDir Flat(VectorXYZ v)
{
    VectorDir d(v[0], 0.0f, v[2]);
    return d;
}

VectorDir FlatUnit(VectorXYZ v)
{
    VectorDir d = Flat(v);
    const float l = d.Length();
    return l > 0.0f ? VectorDir(d / l) : d;
}

bool IsRecoil(u16 a) { return a >= ATTACK_RECOIL_FEMALE_HIGH_ANI && a <= ATTACK_RECOIL_MALE_LOW_ANI; }

bool IsCrimeCharacter(const Object* o) { return o != nullptr && o->id >= -150 && o->id <= -101; }

bool CharacterDown(const Object* o) { return o != nullptr && (o->flags & (0x20000000u | 0x40000000u)) != 0; }

}  // namespace

// ---------------------------------------------------------------------------
// Reactions

void Bystander::ProvocationRoll(float k)
{
    const GameController* gc = g_pgcTest;
    if (randf() * k < aggro && gc != nullptr && gc->prms != nullptr && !gc->bRandomMissionActive)
        morphstate = Morph_Pending_To_Provoked_Fighter;
}

void Bystander::GetScaredOfObject(Object* obj, float time) { SetThought(Thought_Scared, obj, kOrigin, time); }

void Bystander::GetAngryAtObject(Object* obj, float time)
{
    if (!SetThought(Thought_Angry, obj, kOrigin, time))
        return;
    prevpath = path;
    endpath = true;
    SetAction(Action_Rogue);
}

void Bystander::GetInterestedInObject(Object* obj, float time) { SetThought(Thought_Interested, obj, kOrigin, time); }

void Bystander::MakeScaredOrTerrifiedOfObject(Object* obj)
{
    if (aggro < randf())
        SetThought(Thought_Scared, obj, kOrigin, 1200.0f);
    else
        SetThought(Thought_Terrified, obj, kOrigin, 600.0f);
}

void Bystander::ReactToCarjacker(Object* jacker)
{
    if (randf() < 0.1f)
        SetThought(Thought_SlowDown, nullptr, kOrigin, 180.0f);
    if (aggro < randf())
        GetAngryAtObject(jacker, 600.0f);
    else
        GetScaredOfObject(jacker, 600.0f);
}

void Bystander::ReactToBadDriver(Object* driver)
{
    if (aggro < randf())
        GetAngryAtObject(driver, 600.0f);
    else
        GetScaredOfObject(driver, 600.0f);
}

namespace {

// The player-nearby scheme with its two radii.
void ReactToPlayer(Bystander& b, Object* player, float nearr, float farr, bool aheadtest)
{
    if (player == nullptr || b.Down())
        return;
    const VectorDir rel = player->GetWorldPos() - b.GetWorldPos();
    const float d2 = rel.LengthSq();
    auto terrify = [&]() {
        b.SetThought(Bystander::Thought_Terrified, player, kOrigin, 600.0f);
        b.reactionobj = player;
        b.BlendToAnim(SHOCKED_ANI, 5);
    };
    if (d2 < nearr * nearr) {
        if (!b.Alarmed())
            b.ProvocationRoll(9.0f);
        if (b.morphstate == Bystander::Morph_Pending_To_Provoked_Fighter || !b.Alarmed())
            terrify();
        return;
    }
    if (d2 >= farr * farr)
        return;
    if (aheadtest && !(Dot(rel, VectorXYZ(b.mat.z.v)) > 0.5f))
        return;
    if (b.morphstate != Bystander::Morph_None || b.Alarmed())
        return;
    if (b.aggro > 0.75f) {
        b.SetThought(Bystander::Thought_StareDown, player, kOrigin, 60.0f);
        b.BlendToAnim(IDLE_ANI, 5);
    } else if (b.aggro > 0.5f) {
        b.SetThought(Bystander::Thought_Interested, player, kOrigin, 60.0f);
    } else {
        terrify();
    }
}

}  // namespace

void Bystander::ReactToDaceNearbyCombatOrCopWarning(Object* player) { ReactToPlayer(*this, player, 5.0f, 10.0f, true); }

void Bystander::ReactToDaceShots(Object* player) { ReactToPlayer(*this, player, 10.0f, 20.0f, false); }

void Bystander::ReactToDaceCombatHit(CollisionRecord* cr)
{
    if (Down() || IsRecoil(mode2))
        return;
    Object* striker = cr != nullptr ? cr->HitObj() : nullptr;
    bool low;
    if (striker != nullptr && (striker->flags & 0x1000000u))
        low = (rand() & 1) != 0;
    else
        low = striker != nullptr && (striker->flags & 0x800000u) != 0;
    if (IsFemaleChar(charid))
        BlendToAnim(low ? ATTACK_RECOIL_FEMALE_LOW_ANI : ATTACK_RECOIL_FEMALE_HIGH_ANI, 5);
    else
        BlendToAnim(low ? ATTACK_RECOIL_MALE_LOW_ANI : ATTACK_RECOIL_MALE_HIGH_ANI, 5);
    SetThought(Thought_None, nullptr, kOrigin, 0.0f);
    reactionobj = striker;
    ProvocationRoll(3.0f);
}

void Bystander::ReactToDaceBump(CollisionRecord* cr)
{
    if (Down())
        return;
    ProvocationRoll(3.0f);
    if (morphstate == Morph_Pending_To_Provoked_Fighter || !Alarmed()) {
        SetThought(Thought_None, nullptr, kOrigin, 0.0f);
        reactionobj = cr != nullptr ? cr->HitObj() : nullptr;
    }
}

int Bystander::ReactToDanger(Object* obj, VectorPos pos, float k)
{
    const VectorPos at = obj != nullptr ? obj->GetWorldPos() : pos;
    const VectorDir rel = at - GetWorldPos();
    const float d2 = rel.LengthSq();
    VectorDir f(mat.z[0], mat.z[1], mat.z[2]);
    const float fl = f.Length(), rl = std::sqrt(d2);
    const bool ahead = fl > 0.0f && rl > 0.0f && Dot(rel / rl, f / fl) > 0.0f;
    if ((ahead && d2 < 15.625f * 15.625f) || d2 < 3.125f * 3.125f) {
        if (aggro < k - 0.25f)
            SetThought(Thought_Terrified, obj, pos, 300.0f);
        else
            SetThought(Thought_Scared, obj, pos, 600.0f);
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Steering

VectorDir Bystander::GetNextFrameDirection(VectorDir goal, float turnspeed)
{
    const Matrix wm = GetWorldMatrix();
    const float a = Angle(VectorXZ(wm.z.v), VectorXZ(goal.v));
    const float s = a < 0.0f ? -1.0f : 1.0f;
    const float limit = turnspeed * world.playbackSpeed;
    if (std::fabs(a) < limit)
        return goal;
    const VectorDir z(mat.z[0], mat.z[1], mat.z[2]);
    return z + VectorDir(s * z[2], 0.0f, -s * z[0]) * std::sin(limit);
}

namespace {

Cuboid LookAheadBox(const Cuboid& b, float reach)
{
    Cuboid c = b;
    c.min[0] += 0.15625f;
    c.max[0] -= 0.15625f;
    c.min[2] += 0.078125f;
    c.max[2] += reach;
    return c;
}

bool IsObstacle(const Object* o, const Object* self)
{
    if (o == nullptr || o == self)
        return false;
    return o->type == OBJT_STATIC || o->type == OBJT_CHARACTER || o->type == OBJT_VEHICLE ||
           o->type == OBJT_PLACEHOLDER;
}

}  // namespace

bool Bystander::CheckDirectionForObstacles(VectorDir dir, float reach)
{
    const VectorDir z = dir, y(0.0f, 1.0f, 0.0f);
    const VectorDir x = y ^ z;
    const VectorPos p = mat.GetTrans();
    const Matrix m(Vector(x, 0.0f), Vector(y, 0.0f), Vector(z, 0.0f), Vector(p, 1.0f));
    CollisionChecker probe;
    probe.CheckBox(m, LookAheadBox(pedboundingbox, reach), 1, 0);
    for (int i = 0; i < probe.numcollobjs; i++)
        if (IsObstacle(probe.collobjs[i], this))
            return true;
    return false;
}

void Bystander::CheckCurrentDirectionForObstacles()
{
    CollisionChecker probe;
    probe.CheckBox(mat, LookAheadBox(pedboundingbox, 0.3125f), 1, 0);
    GetSteeringDirection(probe);
}

void Bystander::GetSteeringDirection(CollisionChecker& probe)
{
    const VectorDir f = FlatUnit(VectorXYZ(mat.z.v));
    VectorDir sum(0.0f, 0.0f, 0.0f);
    const VectorPos own = GetWorldPos();
    for (int i = 0; i < probe.numcollobjs && i < CollisionChecker::MAXHITS; i++) {
        Object* o = probe.collobjs[i];
        if (!IsObstacle(o, this))
            continue;
        probe.collobjnormals[i] = FlatUnit(probe.collobjnormals[i]);
        const VectorDir c =
            o->type == OBJT_PLACEHOLDER ? VectorDir(-probe.collobjnormals[i]) : FlatUnit(o->GetWorldPos() - own);
        sum = sum + c;
        InteractWithObject(o);
        steering = true;
    }
    if (!steering)
        return;
    const VectorDir u = FlatUnit(sum);
    if (Dot(f, u) > 0.0f) {
        const VectorDir side = f ^ u;
        if (Dot(side, VectorDir(0.0f, -1.0f, 0.0f)) > 0.0f)
            steervec = VectorDir(f[2], 0.0f, -f[0]);
        else
            steervec = VectorDir(-f[2], 0.0f, f[0]);
        steervec = FlatUnit(steervec);
        steerdir = f + steervec * 0.5f;
    } else if (steerdir.LengthSq() == 0.0f) {
        steering = false;
    }
}

// ---------------------------------------------------------------------------
// Collisions

bool Bystander::Ragdoll() const
{
    switch (mode2) {
    case BUMPED_ANI:
    case SHOVED_L_ANI:
    case SHOVED_R_ANI:
    case SHOVED_FRONT_L_ANI:
    case SHOVED_FRONT_R_ANI:
    case ROLL_ANI:
    case KNOCKED_UP_ANI:
    case KNOCKED_AWAY_ANI:
    case LYING_DOWN_ANI:
    case GETUP_ANI:
    case KILLED_ANI:
    case KILLED_FEMALE_ANI:
    case ARRESTED_BUT_DOWN_ANI:
    case SHOCKED_ANI:
        return true;
    default:
        break;
    }
    return IsRecoil(mode2) || morphstate != Morph_None || (flags & 0x70000000u) != 0;
}

int Bystander::BystanderCollision(CollisionRecord* cr)
{
    if (cr == nullptr || mode == 4 || mode == 5 || mode2 == KILLED_ANI || mode2 == KILLED_FEMALE_ANI ||
        mode2 == DUCK_KILLED_ANI)
        return 0;
    Object* other = cr->HitObj();
    VectorDir push(0.0f, 0.0f, 0.0f);
    if (other != nullptr) {
        switch (other->type) {
        case OBJT_STATIC:
        case OBJT_PLACEHOLDER:
        case OBJT_DYNAMIC:
            if (cr->GetInfo())
                push = -cr->Normal() * cr->Dist();
            break;
        case OBJT_CHARACTER: push = CollideWithPedestrian(cr); break;
        case OBJT_VEHICLE: push = CollideWithVehicle(cr); break;
        default: break;
        }
    }
    AddToPopOut(push, true);
    return 0;
}

VectorDir Bystander::CollideWithVehicle(CollisionRecord* cr)
{
    Vehicle* v = static_cast<Vehicle*>(cr->HitObj());
    const VectorDir vel(v->vel[0], v->vel[1], v->vel[2]);
    const bool info = cr->GetInfo();
    VectorDir n = FlatUnit(info ? cr->Normal() : vel);
    const float impact = Dot(vel, n);
    Object* driver = v->rcoDriver.p;
    GameController* gc = g_pgcTest;
    const bool thrown = mode2 == ROLL_ANI || mode2 == KNOCKED_UP_ANI || mode2 == KNOCKED_AWAY_ANI;
    if (driver != nullptr && driver->id == -1 && impact >= 0.034925f && !thrown && gc != nullptr) {
        gc->AddPoints(-20, this);
        gc->stats.nCivilUnrest++;
    }
    if (impact < 0.0116417f)
        return info ? VectorDir(-cr->Normal() * cr->Dist()) : VectorDir(0.0f, 0.0f, 0.0f);
    // Face the car.
    const VectorPos p = mat.GetTrans();
    mat = LookAlong(VectorDir(-n));
    mat.SetTrans(p);
    Say(PVO_CarHit_1 + (rand() & 1));
    u16 anim;
    VectorDir d = n;
    float side, lift, limit;
    int snd;
    if (impact >= 0.1397f) {
        anim = ROLL_ANI;
        side = 0.0f, lift = 0.1f, limit = 0.00052083f, snd = 10;
        if (gc != nullptr)
            gc->stats.nCivilUnrest++;
    } else if (impact >= 0.06985f) {
        anim = KNOCKED_UP_ANI;
        side = 0.2f, lift = 2.0f, limit = 0.0260417f, snd = 10;
    } else {
        anim = KNOCKED_AWAY_ANI;
        const VectorDir across = n ^ VectorDir(0.0f, 1.0f, 0.0f);
        d = (rand() & 1) ? VectorDir(n + across * 2.0f) : VectorDir(n - across * 2.0f);
        side = 0.25f, lift = 2.5f, limit = 0.0208333f, snd = 11;
    }
    BlendToAnim(anim, 3);
    if (driver != nullptr)
        ReactToBadDriver(driver);
    if (u32(world.time) > lastcollsoundtime) {
        const int chan = sound.AllocChannel(false);
        if (chan >= 0) {
            lastcollsoundtime = u32(world.time) + 60 + u32(RandomN(10));
            sound.Play(chan, sndbank_car, u16(snd));
            sound.SetPosition(chan, GetWorldPos());
        }
    }
    const VectorDir h = d * (impact * side) + VectorDir(0.0f, -std::min(impact * lift, limit), 0.0f);
    if (h.LengthSq() > hitvel.LengthSq())
        hitvel = h;
    return VectorDir(0.0f, 0.0f, 0.0f);
}

VectorDir Bystander::CollideWithPedestrian(CollisionRecord* cr)
{
    Object* other = cr->HitObj();
    const bool info = cr->GetInfo();
    const VectorDir push = info ? VectorDir(-cr->Normal() * cr->Dist()) : VectorDir(0.0f, 0.0f, 0.0f);
    // A blow by the player's striking limb.
    Object* part = cr->HisPart();
    if (other != nullptr && other->id == -1 && part != nullptr && (part->flags & 0x1000u)) {
        SpecialMessage q(SMSG_Q_COLLISION, nullptr);
        if (other->SendMessage(OM_SPECIAL, &q) != 0) {
            ReactToDaceCombatHit(cr);
            return push;
        }
    }
    if (!info || Ragdoll() || other == nullptr || !(other->id == -1 || IsCrimeCharacter(other)))
        return push;
    if (mode2 == DUCK_ANI || mode2 == BUMPED_ANI || (mode2 >= SHOVED_L_ANI && mode2 <= SHOVED_FRONT_R_ANI))
        return push;
    const VectorDir rel = Flat(other->GetWorldPos() - GetWorldPos());
    const float r = rel.Length();
    const bool voice = JBNPCVO.state == StreamJukebox::STOPPED && morphstate != Morph_Pending_To_Provoked_Fighter;
    if (r < 0.25f) {
        if (voice)
            Say(PVO_RudeReaction_2, true);
        const float fx = Dot(rel, VectorXYZ(mat.x.v));
        if (Dot(rel, VectorXYZ(mat.z.v)) < 0.0f) {
            shovedfrombehind = true;
            BlendToAnim(fx > 0.0f ? SHOVED_R_ANI : SHOVED_L_ANI, 3);
        } else {
            shovedfrombehind = false;
            BlendToAnim(fx < 0.0f ? SHOVED_FRONT_R_ANI : SHOVED_FRONT_L_ANI, 3);
        }
    } else if (r < 0.375f) {
        BlendToAnim(BUMPED_ANI, 5);
        if (voice)
            Say(PVO_RudeReaction_1, true);
    }
    ReactToDaceBump(cr);
    return push;
}

// ---------------------------------------------------------------------------
// Encounters

void Bystander::InteractWithObject(Object* obj)
{
    if (bored && thought == Thought_None && obj != nullptr && obj->type == OBJT_STATIC && randf() < 0.5f)
        SetThought(Thought_Interested, nullptr, obj->GetWorldPos(), 600.0f);
}

void Bystander::GetLost()
{
    if (bored && randf() < 0.05f && thought == Thought_None)
        SetThought(Thought_Lost, nullptr, kOrigin, 300.0f);
}

void Bystander::InteractWithVehicles()
{
    const VectorPos own = GetWorldPos();
    for (ObjectIterator it = world.vehlist.Begin(); !it.IsEOList(); ++it) {
        Object* v = *it;
        if (v == nullptr || v->IsDead() || v->type != OBJT_VEHICLE)
            continue;
        if (!bored || thought != Thought_None)
            return;
        const VectorDir rel = v->GetWorldPos() - own;
        const float d2 = rel.LengthSq();
        if (d2 > 3.125f * 3.125f && d2 < 4.6875f * 4.6875f && Dot(rel, VectorXYZ(mat.z.v)) > 0.0f &&
            randf() < 0.1f)
            CarjackObject(v);
    }
}

void Bystander::InteractWithPedestrians()
{
    const float dealer = IsDealerChar(charid) ? 0.5f : 0.0f;
    const float hooker = IsHookerChar(charid) ? 0.5f : 0.0f;
    const VectorPos own = GetWorldPos();
    const VectorXYZ fwd(mat.z.v);
    for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it) {
        Object* p = *it;
        if (p == nullptr || p->IsDead() || p->type != OBJT_CHARACTER || p->parent != nullptr || p == this)
            continue;
        const VectorDir rel = p->GetWorldPos() - own;
        const float d2 = rel.LengthSq();
        const bool ahead = Dot(rel, fwd) > 0.0f;
        const bool facing = Dot(rel, VectorXYZ(p->mat.z.v)) < 0.0f;
        auto within = [d2](float lo, float hi) { return d2 > lo * lo && d2 < hi * hi; };
        // 1. Held up at gunpoint.
        const bool isPlayer = p->id == -1;
        bool targetsMe = false;
        if (isPlayer)
            targetsMe = static_cast<Dace*>(p)->target.p == this;
        else if (IsCrimeCharacter(p))
            targetsMe = static_cast<BadGuy*>(p)->target.p == this;
        if (targetsMe && thought != Thought_Surrender &&
            (d2 < 1.5625f * 1.5625f || (d2 < 7.8125f * 7.8125f && ahead)))
            SetThought(Thought_Surrender, p, kOrigin, 600.0f);
        // 2.
        if (!bored || thought != Thought_None)
            continue;
        // 3. The player.
        if (isPlayer) {
            if (within(0.625f, 1.25f) && ahead && randf() < 0.1f)
                GetInterestedInObject(p, 600.0f);
            if (ahead && facing && within(0.625f, 1.5625f)) {
                if (randf() < 0.05f)
                    MugObject(p);
                if (randf() < dealer)
                    DealObject(p);
                if (randf() < hooker)
                    PropObject(p);
            }
            continue;
        }
        // 4, 5. The down are gawked at.
        if (CharacterDown(p)) {
            if (d2 < 3.125f * 3.125f && ahead && randf() < 0.2f)
                GetInterestedInObject(p, 600.0f);
            continue;
        }
        if (IsCrimeCharacter(p))
            continue;
        // 6. Another pedestrian standing.
        if (p->messagehandler != &Bystander::Bystander_mh)
            continue;
        Bystander* o = static_cast<Bystander*>(p);
        if (!ahead || !facing || o->thought != Thought_None)
            continue;
        // Each in turn with its own draw, until one starts a thought.
        if (within(0.625f, 0.9375f) && randf() < 0.2f && GreetObject(p)) {
            SpecialMessage m(SMSG_PED_GREET, this);
            p->SendMessage(OM_SPECIAL, &m);
        }
        if (thought == Thought_None && within(3.125f, 3.4375f) && randf() < 0.05f && ChaseObject(p)) {
            SpecialMessage m(SMSG_PED_FLEE, this);
            p->SendMessage(OM_SPECIAL, &m);
        }
        if (thought == Thought_None && within(1.5625f, 3.125f) && randf() < 0.1f)
            FightObject(p);
        if (thought == Thought_None && within(1.5625f, 4.6875f) && randf() < 0.05f)
            RobObject(p);
        if (thought == Thought_None && within(0.625f, 1.5625f) && randf() < 0.05f)
            MugObject(p);
        if (thought == Thought_None && within(0.625f, 1.5625f) && randf() < dealer)
            DealObject(p);
        if (thought == Thought_None && within(0.625f, 1.5625f) && randf() < hooker)
            PropObject(p);
    }
}
