// The fist fighter: its handler, set-up and styles, the per-frame driver and
// fight states, the steering routines and the four move choosers.
#include "game/BadGuy.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "game/BadGuyFighter.h"
#include "game/CityObjects.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/GameModes.h"
#include "game/Player.h"
#include "game/QuadTree.h"

using BA = BadGuyAnims;
using namespace fighter;

namespace {

constexpr float kWakeDist2 = 2197.265625f;
constexpr float kGravity = 0.000851562f;
constexpr float kNoFrame = -8388608.0f;

void SendCode(Object* to, int code, Object* about, Variant p0 = 0, Variant p1 = 0)
{
    if (to == nullptr)
        return;
    SpecialMessage m(code, about, p0, p1);
    to->SendMessage(OM_SPECIAL, &m);
}

VectorDir Flat(VectorDir d)
{
    d[1] = 0.0f;
    return d;
}

}  // namespace

namespace fighter {

bool Chance(float p)
{
    p = std::clamp(p, 0.0f, 1.0f);
    return (rand() & 0x7FFF) < int(p * 32768.0f);
}

bool IsLowStance(u16 a) { return a == 125 || a == 131 || a == 127 || a == 129 || a == 86 || a == 87; }
bool IsHighStance(u16 a) { return a == 124 || a == 130 || a == 126 || a == 128 || a == 84 || a == 85; }

bool IsHeld(u16 a) { return a == 123 || (a >= 256 && a <= 260); }

bool IsDeadOrHeld(u16 a)
{
    return IsHeld(a) || a == 175 || a == 176 || (a >= 180 && a <= 182) || a == 204 || a == 205 || a == 285 ||
           a == 288;
}

bool IsFloored(u16 a)
{
    return (a >= 135 && a <= 144) || a == 286 || a == 287 || a == 289 || a == 296 || a == 297;
}

bool PlayerBusy(const Object* target)
{
    if (target == nullptr || target != dace)
        return false;
    const u16 a = dace->mode2;
    return (a >= 162 && a <= 206) || (a >= 282 && a <= 293) || (a >= 228 && a <= 233);
}

}  // namespace fighter

bool FighterBusyInFight(const Object* o)
{
    if (o == nullptr || o->messagehandler != &Enemy::FighterEnemy_mh)
        return false;
    // Arriving, walking up to its target or in the fight itself; waiting,
    // idle, surrendering, fleeing or riding it is not busy.
    const int m = static_cast<const Enemy*>(o)->mode;
    return m == 21 || m == 22 || m == 27;
}

// ---------------------------------------------------------------------------
// Tables

const u16 Enemy::AttackComboStarts[3] = {93, 95, 97};
const u16 Enemy::AttackGrappleStarts[6] = {105, 106, 107, 108, 109, 110};
const float Enemy::GrappleFrequency[7] = {0.5f, 0.75f, 0.4f, 1.0f, 0.3f, 0.0f, 0.0f};
const u8 Enemy::CombatAnimStyleBanks[7] = {10, 11, 12, 13, 14, 15, 16};
const u8 Enemy::GrappleVictimAnimInfo[5][6] = {
    {21, 24, 21, 24, 21, 24}, {19, 22, 19, 22, 19, 22}, {19, 19, 19, 19, 19, 19},
    {19, 22, 25, 19, 22, 25}, {16, 16, 16, 16, 16, 16},
};

int Enemy::GetFightWeaponIndex(int type)
{
    static const int index[11] = {22, 13, 16, 14, 17, 21, 19, 18, 23, 15, 12};
    return type >= 2 && type <= 12 ? index[type - 2] : 20;
}

bool Enemy::StyleHas(u16 id) const
{
    if (combatoverlayanims == nullptr)
        return true;
    const int slot = id < TOTAL_BADGUY_ANIS ? CombatAnimOverlayIndex[id] : -1;
    return slot != -1 && combatoverlayanims[slot] != nullptr;
}

static AnimChar** StyleTable(int style)
{
    switch (style) {
    case 1: return Enemy::KarateOverlayAnims;
    case 2: return Enemy::BoxerOverlayAnims;
    case 3: return Enemy::BrawlerOverlayAnims;
    case 4: return Enemy::KnifeOverlayAnims;
    case 5: return Enemy::MaleOverlayAnims;
    case 6: return Enemy::FemaleOverlayAnims;
    default: return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Handler

int Enemy::FighterEnemy_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE) {
        Enemy* e = new Enemy(FighterEnemy_mh, nullptr, 0);
        return int(reinterpret_cast<intptr_t>(e));
    }
    return static_cast<Enemy*>(obj)->FighterMh(msg, data);
}

int Enemy::FighterMh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_FRAME: {
        if (dace != nullptr) {
            const float d2 = (dace->GetWorldPos() - GetWorldPos()).LengthSq();
            if (IsHibernating() && d2 < kWakeDist2)
                UnHibernate();
            else if (!IsHibernating() && d2 >= kWakeDist2)
                Hibernate();
        }
        if (IsHibernating())
            return 0;
        if (initialstrength == 0.0f)
            initialstrength = strength;
        mat.w = Vector(mat.GetTrans() + Guy::GetPopOut(), 1.0f);
        ClearPopOut();
        if (offenseactive)
            lastoffenseactivetime = world.time;
        if (FighterFrame() == -1)
            return 0;
        pushoutvel = (pushoutvel + newpushoutvel) * 0.6f;
        pushoutmovement = (pushoutmovement + pushoutvel) * 0.3f;
        mat.w = Vector(mat.GetTrans() + pushoutmovement, 1.0f);
        newpushoutvel = VectorDir(0.0f, 0.0f, 0.0f);
        UpdateDazeHits();
        if (updatebodycollframe <= frame) {
            if (mode2 == +BA::COMBAT_RECOIL_INAIR_ANI)
                UpdateBodyColl(fightfootrootcollmask, 0x408, fightrootcollmask, 0.0625f);
            else
                UpdateBodyColl(fightfootrootcollmask, fightrootcollmask, fightrootcollmask, 0.0625f);
            updatebodycollframe = frame + 1.0f + float(RandomN(3));
        }
        return 0;
    }
    case OM_INIT:
        // A set-up with a parameter is another kind's business: kept as is.
        if (data == nullptr)
            InitAsFighter();
        return 0;
    case OM_COLLISION: {
        if (IsHibernating())
            return 0;
        auto* cr = static_cast<CollisionRecord*>(data);
        if (cr == nullptr)
            return 0;
        Object* other = cr->HitObj();
        if (other != nullptr && other->type == OBJT_CHARACTER && other->id == id)
            return -2;
        return FighterCollision(cr);
    }
    case OM_DIE:
        if (gameeventobj != nullptr)
            SendCode(gameeventobj, SMSG_EV_ENEMY_REMOVED, this);
        world.pedlist.Remove(this);
        if (mdlfile != nullptr)
            g_GlobalMFI.DecrementRef(mdlfile);
        RemoveAsFighter();
        delete this;
        return -1;
    case OM_ANIMLOOP: {
        auto* m = static_cast<AnimEventMessage*>(data);
        if (m == nullptr || m->slot != 0 || (m->obj != nullptr && m->obj != this))
            return 0;
        auto pair = [](u16 a, u16 b, u16 x, u16 y) { return (a == x || a == y) && (b == x || b == y); };
        if (mode2 == loopmode2 || pair(mode2, loopmode2, 84, 85) || pair(mode2, loopmode2, 86, 87)) {
            numloops++;
        } else {
            loopmode2 = mode2;
            numloops = 1;
        }
        return FighterAnimLoop(m);
    }
    case OM_ANIMEVENT: {
        auto* m = static_cast<AnimEventMessage*>(data);
        if (m == nullptr)
            return 0;
        FighterAnimEvent(this, m);
        return 0;
    }
    case OM_SPECIAL: {
        auto* m = static_cast<SpecialMessage*>(data);
        return m != nullptr ? FighterSpecial(m) : 0;
    }
    case OM_WASDRAWN:
        iLastDrawnTime = int(intptr_t(data));
        return 0;
    case OM_RENDER: {
        auto* rc = static_cast<RenderContext*>(data);
        if (Before(deathtime, world.time) && fadedeath) {
            const float f = std::min(1.0f, float(world.time - deathtime) * 0.00625f);
            flags &= ~OBJF_SHADOW;
            if (rc != nullptr)
                rc->SetGlobalTransparency(1.0f - f);
            if (f >= 1.0f) {
                flags |= OBJF_HIDDEN;
                flags &= ~OBJF_DRAWSELF;
            }
        }
        mat.w = Vector(mat.GetTrans() + Guy::GetPopOut(), 1.0f);
        ClearPopOut();
        return 0;
    }
    case OM_CINEMAOVER:
        BlendToAnim(+BA::IDLE_ANI, 5);
        return 0;
    default:
        return 0;
    }
}

void fighter::FighterAnimEvent(Enemy* e, AnimEventMessage* m)
{
    Object* limb = m->obj;
    switch (m->event) {
    case 29:
        e->offenseactive = true;
        if (limb != nullptr && limb->parent != nullptr) {
            for (OffensiveCollision& o : e->offcollobjs) {
                if (o.boundobj == nullptr) {
                    o.QueueBind(limb, e->fightoffensivecollmask);
                    break;
                }
            }
        }
        break;
    case 30: {
        bool other = false;
        for (OffensiveCollision& o : e->offcollobjs) {
            if (o.boundobj == nullptr)
                continue;
            if (o.boundobj == limb)
                o.QueueUnbind();
            else
                other = true;
        }
        e->offenseactive = other;
        break;
    }
    case 150:
        e->grappleseparation = true;
        break;
    case 151:
    case 152:
    case 153: {
        static const float damage[3] = {10.0f, 4.0f, 6.0f};
        static const float flash[3] = {18.0f, 9.0f, 13.5f};
        const int k = m->event - 151;
        if (e->strength > 0.0f) {
            e->TakeFightingDamage(damage[k]);
            if (e->strength <= 0.0f) {
                e->combatmode = Enemy::CM_DEAD;
                if (e->gameeventobj != nullptr) {
                    Object* t = e->target;
                    SendCode(e->gameeventobj, SMSG_EV_KNOCKED_DOWN, e, t != nullptr ? int(t->id) : 0, 4);
                }
            }
        }
        if (!e->nodamage && g_pgcTest != nullptr)
            g_pgcTest->ScreenFlash(flash[k], kFlashGrey);
        break;
    }
    case 160: e->PlayVoice(NPCVO_Hurt_1 + RandomN(3)); break;
    case 161: e->PlayVoice(NPCVO_Knockdown); break;
    case 162: e->PlayVoice(NPCVO_Choke); break;
    case 163: e->PlayVoice(NPCVO_Killed); break;
    case 164: e->PlayVoice(NPCVO_BattleCry_Taunt); break;
    case 165: e->PlayVoice(RandomN(2) == 0 ? NPCVO_BattleCry_1 : NPCVO_BattleCry_2); break;
    case 166: e->PlayVoice(NPCVO_BattleCry_3); break;
    default: break;
    }
}

// ---------------------------------------------------------------------------
// Set-up

void Enemy::InitAsFighter()
{
    morphed = false;
    type = OBJT_CHARACTER;
    mode = 21;
    flags |= 0x10060;
    ptexIcon = GetIcon();
    biproot = child != nullptr ? child->sibling : nullptr;
    isboss = false;
    grappleseparation = false;
    initialstrength = strength = 100.0f;
    deathtime = -1;
    aggro = 0.5f;
    Object* p = world.objectlist.Find(-1);
    if (p == nullptr)
        p = dace;
    target = p;
    car = nullptr;
    lhand = FindSubObject(0);
    rhand = FindSubObject(1);
    lfoot = FindSubObject(6);
    rfoot = FindSubObject(7);
    torso = FindSubObject(20);
    head = FindSubObject(15);
    eye = FindSubObject(14);
    if (eye == nullptr)
        eye = head;
    InitAnims();
    mode2 = (rand() & 1) ? +BA::COMBAT_IDLE_HIGH_ANI : +BA::COMBAT_IDLE_LOW_ANI;
    SetFightingStyle(5);
    SetAnim(mode2);
    InitialiseChildCollisions();
    ModifyFlagsHierarchy(OBJF_NOCOLLISION, 0);
    if (biproot != nullptr)
        biproot->flags &= ~OBJF_NOCOLLISION;
    flags &= ~OBJF_NOCOLLISION;
    ClearPopOut();
    world.pedlist.AddHead(this);
    ReinitAsFighter();
}

void Enemy::ReinitAsFighter()
{
    attackmode = AM_NONE;
    prevattackmode = 0;
    combatmode = CM_NEUTRAL;
    dazecountertime = lastevent = lastattackhit = lastenemyattack = lastenemyattackhit = dazedstarttime = -1;
    enemytype = ENEMYTYPE_FIGHTER;
    animspeed = 1.0f;
    curhitstodaze = totalhitstodaze = -1;
    fightrootcollmask = 0x2509;
    fightfootrootcollmask = 0x2301;
    fightoffensivecollmask = 4;
    UpdateBodyColl(0x2301, 0x2509, 0x2509, 0.0625f);
    collision = nullptr;
    grappledframe = kNoFrame;
    if (fightweapontype != 0 && fightweapon == nullptr) {
        if (MDLFILE* mf = g_GlobalMFI.GetMF(158, false)) {
            fightweapon = mf->GetHierarchy(u16(GetFightWeaponIndex(fightweapontype)), 0x70, 8);
            if (fightweapon != nullptr) {
                NODE* node = nullptr;
                Object* holder = FindNodeHierarchy(0x8001, node);
                (holder != nullptr ? holder : this)->Attach(fightweapon, node);
            }
        }
    }
    GetGroundHeight(GetWorldPos() + VectorDir(0.0f, -0.15625f, 0.0f));
}

void Enemy::RemoveAsFighter()
{
    for (OffensiveCollision& o : offcollobjs)
        o.Unbind();
    if (fightweapon != nullptr) {
        Object* w = fightweapon;
        fightweapon = nullptr;
        w->Detach();
        w->Delete();
    }
}

void Enemy::SetFightingStyle(int newstyle)
{
    InitAnims();
    combatoverlayanims = StyleTable(newstyle);
    if (newstyle != style && !(mode2 >= 84 && mode2 <= 87)) {
        const int slot = mode2 < TOTAL_BADGUY_ANIS ? CombatAnimOverlayIndex[mode2] : -1;
        if (combatoverlayanims == nullptr || (slot != -1 && combatoverlayanims[slot] != nullptr)) {
            const u16 a = mode2;
            mode2 = 0xFFFF;   // the same id again: the style's clip takes over
            BlendToAnim(a, 5);
        } else {
            BlendToAnim((rand() & 1) ? +BA::COMBAT_IDLE_HIGH_ANI : +BA::COMBAT_IDLE_LOW_ANI, 5);
        }
    }
    style = u8(newstyle);
}

// ---------------------------------------------------------------------------
// Steering

static float TurnLimit() { return Enemy::maxturnspeed * world.playbackSpeed; }

// Turns toward d's horizontal part; a goal straight above or below gives no
// direction and no turn.
static void TurnFlat(Enemy* e, VectorDir d)
{
    d[1] = 0.0f;
    if (d.LengthSq() < 1e-12f)
        return;
    e->TurnToward(Normalise(d), TurnLimit());
}

void Enemy::StartFighting()
{
    mode = 21;
    BlendToAnim(+BA::COMBAT_IDLE_BEGIN_FIGHT_ANI, 8);
}

float Enemy::FrameWalkTo(VectorPos pos)
{
    const VectorDir d = pos - GetWorldPos();
    TurnFlat(this, d);
    return d.Length();
}

float Enemy::FrameWalkTo(VectorPos pos, VectorDir) { return FrameWalkTo(pos); }
float Enemy::FrameCombatWalkTo(VectorPos pos) { return FrameWalkTo(pos); }
float Enemy::FrameCombatRunTo(VectorPos pos) { return FrameWalkTo(pos); }
float Enemy::FrameCombatBackAway(VectorPos pos) { return FrameWalkTo(pos); }

float Enemy::FrameCombatSideStep(VectorPos pos)
{
    FrameWalkTo(pos);
    return 0.0f;
}

float Enemy::FrameRunFrom(VectorPos pos)
{
    const VectorDir d = GetWorldPos() - pos;
    TurnFlat(this, d);
    return d.Length();
}

float Enemy::FrameRunDownRoadFrom(VectorPos pos)
{
    const VectorPos me = GetWorldPos();
    const VectorDir a = Flat(me - pos);
    const float d = a.Length();
    bool along = false;
    if (const RoadSeg* rs = FindRoadSeg(GetWorldMatrix(), along)) {
        VectorDir tan(0.0f, 0.0f, 1.0f);
        rs->bezier.CalcParams(me, tan);
        tan = Flat(tan);
        if (Dot(tan, a) < 0.0f)
            tan = -tan;
        TurnFlat(this, tan);
        return d;
    }
    const Junction* j = FindJunction(me);
    if (j == nullptr || d <= 0.0f)
        return d;
    const VectorDir ad = a * (1.0f / d);
    const VectorDir fwd(mat.z[0], mat.z[1], mat.z[2]);
    float best = 2.0f;
    VectorDir bestu(0.0f, 0.0f, 0.0f);
    for (int i = 0; i < j->nRoadsegs; i++) {
        const RoadSeg* rs = j->roadsegs[i];
        if (rs == nullptr)
            continue;
        const VectorPos e0(rs->bezier.Evaluate(0.0f).xyz()), e1(rs->bezier.Evaluate(1.0f).xyz());
        const VectorPos end = (e0 - me).LengthSq() <= (e1 - me).LengthSq() ? e0 : e1;
        const VectorDir e = Flat(end - me);
        const float len = e.Length();
        if (len <= 0.001f)
            continue;
        const VectorDir u = e * (1.0f / len);
        const float score = Dot(u, ad) - Dot(u, fwd);
        if (score < best) {
            best = score;
            bestu = u;
        }
    }
    if (best < 1.5f)
        TurnFlat(this, bestu);
    return d;
}

// The pair member that keeps (or, with opposite, changes) the stance.
static u16 StancePick(const Enemy* e, u16 high, u16 low, bool opposite = false)
{
    bool lowpick;
    if (IsLowStance(e->mode2))
        lowpick = true;
    else if (IsHighStance(e->mode2))
        lowpick = false;
    else
        lowpick = !e->ishigh;
    if (opposite)
        lowpick = !lowpick;
    return lowpick ? low : high;
}

// The shuffle's member: the low one from a high stance, the high one from a
// low stance, by ishigh otherwise.
static u16 ShufflePick(const Enemy* e, u16 high, u16 low)
{
    if (IsHighStance(e->mode2))
        return low;
    if (IsLowStance(e->mode2))
        return high;
    return e->ishigh ? low : high;
}

// The angle of pos in the fighter's own frame: 0 ahead, positive to its
// right (+x).
static float LocalAngle(const Enemy* e, VectorPos pos)
{
    const VectorDir d = pos - e->GetWorldPos();
    const Matrix m = e->GetWorldMatrix();
    const float x = Dot(d, VectorDir(m.x[0], m.x[1], m.x[2]));
    const float z = Dot(d, VectorDir(m.z[0], m.z[1], m.z[2]));
    return std::atan2(x, z);
}

int Enemy::FrameCombatShuffleTo(VectorPos pos, VectorPos facepos, bool)
{
    TurnFlat(this, facepos - GetWorldPos());
    const float a = LocalAngle(this, pos);
    if (a < -2.35619f || a >= 2.35619f)
        return ShufflePick(this, 130, 131);
    if (a < -0.785398f)
        return ShufflePick(this, 126, 127);
    if (a < 0.785398f)
        return ShufflePick(this, 124, 125);
    return ShufflePick(this, 128, 129);
}

int Enemy::FrameCombatSideShuffleTo(VectorPos pos, VectorPos facepos, bool)
{
    TurnFlat(this, facepos - GetWorldPos());
    const float a = LocalAngle(this, pos);
    return a < 0.0f ? ShufflePick(this, 126, 127) : ShufflePick(this, 128, 129);
}

float Enemy::FrameCombatWalkAroundTo(VectorPos pos, VectorPos walkaroundpos, bool low)
{
    const VectorPos me = GetWorldPos();
    const float d = (pos - me).Length();
    int ani;
    const VectorDir g0 = Flat(pos - me), t0 = Flat(walkaroundpos - me);
    if (d > 0.3125f && g0.LengthSq() > 0.0f && t0.LengthSq() > 0.0f) {
        const VectorDir g = Normalise(g0), t = Normalise(t0);
        VectorDir s = t ^ VectorDir(0.0f, 1.0f, 0.0f);
        if (Dot(s, g) <= 0.0f)
            s = -s;
        ani = FrameCombatSideShuffleTo(me + s, walkaroundpos, low);
    } else {
        ani = FrameCombatShuffleTo(pos, walkaroundpos, low);
    }
    if (ani != mode2)
        BlendToAnim(u16(ani), 15);
    return d;
}

// ---------------------------------------------------------------------------
// Move choice

static VectorPos TorsoPos(Object* o)
{
    if (o == nullptr)
        return VectorPos(0.0f, 0.0f, 0.0f);
    Object* t = o->FindSubObject(20);
    return (t != nullptr ? t : o)->GetWorldPos();
}

static void IdleRoutine(Enemy* e)
{
    if (e->mode2 == 84 || e->mode2 == 86) {
        // The bank override of 3 is kept as the original routine had it.
        e->SetAnim(StancePick(e, 85, 87, true), 3, -1);
        return;
    }
    const float fat = e->GetFatigue();
    if (Chance(e->aggro) && Chance(1.0f - fat * 0.5f)) {
        if (!((e->mode2 == 85 || e->mode2 == 87) && e->numloops < 5)) {
            e->BlendToAnim(StancePick(e, 84, 86, true), 3);
            return;
        }
    }
    if (e->mode2 == 85 || e->mode2 == 87)
        e->SetAnim(StancePick(e, 84, 86));
    else
        e->BlendToAnim(StancePick(e, 84, 86), 3);
}

static void HeldIdle(Enemy* e)
{
    if (e->mode2 == 84 || e->mode2 == 86)
        e->SetAnim(StancePick(e, 85, 87));
    else
        e->BlendToAnim(StancePick(e, 84, 86), 3);
}

static u16 BackAwayAni(const Enemy* e) { return StancePick(e, 130, 131, true); }

static void SideStep(Enemy* e, bool left, int frames)
{
    const u16 a = left ? StancePick(e, 126, 127) : StancePick(e, 128, 129);
    const bool already = left ? (e->mode2 == 126 || e->mode2 == 127) : (e->mode2 == 128 || e->mode2 == 129);
    if (!already)
        e->BlendToAnim(a, frames);
}

void Enemy::SelectActiveAnim()
{
    Object* t = target;
    const VectorPos tp = t != nullptr ? t->GetWorldPos() : GetWorldPos();
    const float d = (tp - GetWorldPos()).Length();
    if (combatmode != CM_ATTACK && t != nullptr && d < 0.9375f && !PlayerBusy(t)) {
        if (d < 0.625f || Chance(1.0f - aggro - GetFatigue())) {
            SelectAttackAnim(false);
            return;
        }
    }
    const float f = (fightpos - GetWorldPos()).Length();
    const bool low = IsLowStance(mode2);
    if (combatmode == CM_ATTACK) {
        combatmode = CM_RETREAT;
        BlendToAnim(BackAwayAni(this), 10);
        FrameCombatBackAway(tp);
    } else if (f > 0.3125f) {
        combatmode = CM_APPROACH;
        const float d2 = (tp - GetWorldPos()).Length();
        if (d2 < 1.25f) {
            if (mode2 != 130 && mode2 != 131)
                BlendToAnim(BackAwayAni(this), 10);
            FrameCombatBackAway(tp);
        } else if (d2 > 1.875f) {
            if (mode2 != 124 && mode2 != 125)
                BlendToAnim(StancePick(this, 124, 125), 10);
            FrameCombatWalkTo(TorsoPos(t));
        } else {
            FrameCombatWalkAroundTo(fightpos, tp, low);
        }
    } else {
        combatmode = CM_NEUTRAL;
        switch (rand() & 3) {
        case 0: SideStep(this, true, 10); break;
        case 1: SideStep(this, false, 10); break;
        case 2: IdleRoutine(this); break;
        default:
            if (mode2 != 92)
                BlendToAnim(92, 3);
            break;
        }
    }
}

void Enemy::SelectPassiveAnim()
{
    Object* t = target;
    const VectorPos tp = t != nullptr ? t->GetWorldPos() : GetWorldPos();
    const float f = (fightpos - GetWorldPos()).Length();
    if (f > 0.9375f) {
        const float d = (tp - GetWorldPos()).Length();
        if (d < 1.875f) {
            if (mode2 != 130 && mode2 != 131)
                BlendToAnim(BackAwayAni(this), 10);
            FrameCombatBackAway(tp);
        } else if (d > 2.8125f) {
            if (mode2 != 124 && mode2 != 125)
                BlendToAnim(StancePick(this, 124, 125), 10);
            FrameCombatWalkTo(TorsoPos(t));
        } else {
            FrameCombatWalkAroundTo(fightpos, tp, IsLowStance(mode2));
        }
        return;
    }
    IdleRoutine(this);
}

void Enemy::SelectFrontAnim(bool grappleallowed)
{
    int t = 0;
    if (gameeventobj != nullptr) {
        SpecialMessage m(SMSG_EV_FRONT_ANIM, nullptr);
        t = gameeventobj->SendMessage(OM_SPECIAL, &m);
    }
    Object* tg = target;
    float d = 1.25f;
    if (tg != nullptr) {
        const VectorPos a = TorsoPos(tg);
        const VectorPos b = torso != nullptr ? torso->GetWorldPos() : GetWorldPos();
        d = std::hypot(a[0] - b[0], a[2] - b[2]);
    }
    if (t != 0 && t < 120) {
        combatmode = CM_NEUTRAL;
        HeldIdle(this);
        return;
    }
    const float fat = GetFatigue();
    if (d > 1.25f) {
        combatmode = CM_APPROACH;
        if (mode2 != 134)
            BlendToAnim(134, 10);
    } else if (d > 0.546875f) {
        if (tg == nullptr) {
            combatmode = CM_NEUTRAL;
            IdleRoutine(this);
        } else if (Chance(aggro)) {
            combatmode = CM_APPROACH;
            if (mode2 != 124 && mode2 != 125)
                BlendToAnim(StancePick(this, 124, 125), 10);
        } else if ((rand() & 0x7FFF) < 0x4000) {
            combatmode = CM_SIDESTEP;
            SideStep(this, (rand() & 1) != 0, 3);
        } else if (Chance(aggro)) {
            combatmode = CM_NEUTRAL;
            if (mode2 != 92)
                BlendToAnim(92, 12);
        } else if (Chance(fat)) {
            combatmode = CM_NEUTRAL;
            if (mode2 != 89)
                BlendToAnim(89, 12);
        } else {
            combatmode = CM_NEUTRAL;
            IdleRoutine(this);
        }
    } else if (d < 0.3125f) {
        if (!PlayerBusy(tg) && Chance(aggro) && Chance(1.0f - fat * 0.5f)) {
            SelectAttackAnim(grappleallowed);
        } else {
            combatmode = CM_RETREAT;
            BlendToAnim(BackAwayAni(this), 10);
        }
    } else {
        if (!PlayerBusy(tg) && Chance(aggro) && Chance(1.0f - fat * 0.5f)) {
            SelectAttackAnim(grappleallowed);
        } else if (Chance((1.0f - aggro) * 0.5f) && Chance(fat * 0.5f)) {
            combatmode = CM_RETREAT;
            BlendToAnim(BackAwayAni(this), 10);
        } else if (Chance(1.0f - aggro) && Chance(fat * 0.5f)) {
            combatmode = CM_SIDESTEP;
            SideStep(this, (rand() & 1) != 0, 3);
        } else {
            // Two further draws whose outcomes lead to the same idle.
            Chance(1.0f - aggro);
            Chance(fat);
            combatmode = CM_NEUTRAL;
            IdleRoutine(this);
        }
    }
    lastevent = world.time;
}

void fighter::AnnounceAttack(Enemy* e)
{
    if (e->gameeventobj == nullptr)
        return;
    SpecialMessage m(SMSG_EV_ATTACK_STARTED, e, 4, int(e->mode2));
    const int r = e->gameeventobj->SendMessage(OM_SPECIAL, &m);
    Object* t = e->target;
    if (r == 0 && t != nullptr) {
        SpecialMessage m2(SMSG_EV_ATTACK_STARTED, e, 4, int(e->mode2));
        t->SendMessage(OM_SPECIAL, &m2);
    }
}

AnimChar* Enemy::StyleClip(u16 id) const
{
    AnimChar* clip = nullptr;
    if (combatoverlayanims != nullptr && CombatAnimOverlayIndex[id] != -1)
        clip = combatoverlayanims[CombatAnimOverlayIndex[id]];
    return clip != nullptr ? clip : Anims[id];
}

Object* Enemy::PoseProbe(u16 id)
{
    Object* probe = FindSubObject(31);
    AnimChar* clip = StyleClip(id);
    if (probe == nullptr || clip == nullptr)
        return probe;
    probe->SetAnimFileHierarchy(clip, 0, true, 1.0f, -1);
    float times[2] = {frame, frame};
    BlendAnimateHierarchy(probe, times, 0.0f);
    return probe;
}

void Enemy::SelectAttackAnim(bool grappleallowed)
{
    Object* t = target;
    const float d = t != nullptr ? (t->GetWorldPos() - GetWorldPos()).Length() : 1e9f;
    int n = 0;
    for (u16 a : AttackComboStarts)
        n += StyleHas(a) ? 1 : 0;
    combatmode = CM_ATTACK;
    const int st = style <= 6 ? style : 0;
    bool grabbed = false;
    if (t != nullptr && d < 0.46875f && StyleHas(105) && grappleallowed &&
        randf() < GrappleFrequency[st] * std::max((0.3125f - d) * 6.4f, 0.5f) && randf() < aggro) {
        const int i = int((long long)rand() * 6 >> 31);
        const u16 g = AttackGrappleStarts[i];
        FaceAlong(t->GetWorldPos() - GetWorldPos());
        bool blocked = false;
        if (Object* probe = PoseProbe(g)) {
            CollisionChecker cc;
            const Cuboid box = torso != nullptr ? torso->GetRawBox() : GetRawBox();
            cc.CheckBox(probe->GetWorldMatrix(), box, 0x21, 0);
            for (int k = 0; k < cc.numcollobjs && k < CollisionChecker::MAXHITS; k++) {
                const Object* o = cc.collobjs[k];
                if (o != nullptr && (o->type == OBJT_STATIC || o->type == OBJT_PLACEHOLDER || o->type == OBJT_DYNAMIC))
                    blocked = true;
            }
        }
        if (!blocked) {
            AnimChar* clip = StyleClip(g);
            const int len = clip != nullptr ? int(float(clip->length)) : 0;
            const int victim = st <= 4 ? GrappleVictimAnimInfo[st][i] : 0;
            SpecialMessage m(SMSG_GRABBED, this, int(g), len, int(CombatAnimStyleBanks[st]), victim, 0, 0);
            const int r = t->SendMessage(OM_SPECIAL, &m);
            BlendToAnim(g, 5);
            if (r != 0)
                flags |= ENEMYF_HOLDING;
            else
                mode2 = +BA::COMBAT_GRAPPLE_MISS_ANI;
            lastevent = world.time;
            grabbed = true;
        }
    }
    if (!grabbed) {
        if (n < 2) {
            SelectFrontAnim(false);
        } else {
            int i;
            do {
                i = int((long long)rand() * n >> 31);
            } while (AttackComboStarts[i] == mode2);
            BlendToAnim(AttackComboStarts[i], 5);
            lastevent = world.time;
        }
        if (t != nullptr) {
            const VectorDir to = t->GetWorldPos() - GetWorldPos();
            if (to.LengthSq() > 0.0f)
                pushoutvel = pushoutvel + Normalise(to) * 0.000582083f;
        }
    }
    AnnounceAttack(this);
}

// ---------------------------------------------------------------------------
// Frame and states

int Enemy::FighterFrame()
{
    if (WatchForVehicles()) {
        DiveOutOfTheWay();
        return -1;
    }
    for (OffensiveCollision& o : offcollobjs)
        o.Update();
    if (totalhitstodaze < 0)
        totalhitstodaze = 3 + std::min(int(aggro * 4.0f), 3);
    if (curhitstodaze < 0)
        curhitstodaze = totalhitstodaze;

    Object* t = target;
    if (victimdata != nullptr && t != nullptr) {
        Object* hand = t->FindSubObject(31);
        const Matrix hm = hand != nullptr ? hand->GetWorldMatrix() : t->GetWorldMatrix();
        if (grappledframe != kNoFrame && frame - grappledframe >= float(victimdata->morphlen)) {
            if (!victimdata->morphgrappler) {
                mat = hm;
                mat.w[1] = grappledstartpos[1];
            }
            flags &= ~ENEMYF_HOLDING;
            SetAnim(victimdata->victimani, grapplebankoverride, grappleindexoverride);
            victimdata = nullptr;
        } else if (!victimdata->morphgrappler) {
            const float ml = float(victimdata->morphlen);
            const float r = (grappledframe + ml - frame) / (ml + 1.0f);
            const VectorPos np(hm.w[0], hm.w[1], hm.w[2]);
            mat.SetTrans(grappledstartpos * r + np * (1.0f - r));
            const VectorDir z = Flat(VectorDir(hm.z[0], hm.z[1], hm.z[2]));
            if (z.LengthSq() > 0.0f) {
                const VectorDir mz = Flat(VectorDir(mat.z[0], mat.z[1], mat.z[2]));
                const float yaw = std::fabs(std::atan2(mz[0], mz[2]) - std::atan2(z[0], z[2]));
                TurnToward(Normalise(z), yaw / std::max(ml + 1.0f, 1.0f) * world.playbackSpeed);
            }
        }
    }

    const u16 a = mode2;
    if (flags & 0x50000000) {
        FighterAnimate();
        FighterSetGroundHeight();
    } else if (a >= 292 && a <= 295) {
        mat.SetTrans(GetWorldPos() + hitvel * world.playbackSpeed);
        hitvel[1] += kGravity;
        Object* n = FindSubObject(31);
        const float ny = n != nullptr ? n->GetWorldPos()[1] : mat.w[1];
        if (groundy < 0.0f && groundy < ny) {
            mat.w[1] = groundy;
            hitvel = VectorDir(0.0f, 0.0f, 0.0f);
            combatmode = CM_NEUTRAL;
            groundheightoverride = false;
            static const u16 land[4] = {+BA::ROLL_ANI, +BA::ROLL_HURT_ANI, +BA::RUN_OVER_ANI, +BA::RUN_OVER_DEAD_ANI};
            BlendToAnim(land[a - 292], 3);
        } else {
            groundheightoverride = true;
        }
        FighterAnimate();
    } else {
        switch (mode) {
        case 0: Frame_Fight_Waiting(); break;
        case 3: Frame_Fight_Idle(); break;
        case 11: Frame_Fight_Surrender(); break;
        case 21: Frame_Fight_Combat(); break;
        case 22: Frame_Fight_Arrive(); break;
        case 27: Frame_Fight_WalkToTarget(); break;
        case 28: Frame_Fight_RunFromTarget(); break;
        case 29: Frame_Fight_Ride(); break;
        case 31: Frame_Fight_Escape(); break;
        default: {
            mode = 21;
            combatmode = CM_NEUTRAL;
            const bool lying = a == +BA::SPRINT_TACKLED_ANI || a == +BA::COMBAT_KNOCKDOWN_ANI ||
                               a == +BA::LYING_DOWN_ANI || a == +BA::RUN_OVER_ANI || a == +BA::GUN_LYINGDOWN_ANI ||
                               a == +BA::ROLL_HURT_ANI;
            if (lying)
                BlendToAnim(+BA::COMBAT_KNOCKDOWN_GETUP_ANI, 10);
            else
                BlendToAnim((rand() & 1) ? +BA::COMBAT_IDLE_HIGH_ANI : +BA::COMBAT_IDLE_LOW_ANI, 10);
            break;
        }
        }
    }

    if (mode2 == +BA::COMBAT_RECOIL_WALL_FALL_ANI && (combatmode == CM_KNOCKED_DOWN || combatmode == CM_BLOWNAWAY) &&
        frame - firstanimframe > float((int((1.0f - aggro) * 3.0f) + 2) * 60)) {
        flags &= ~ENEMYF_AIRBORNE;
        SetAnim(+BA::COMBAT_RECOIL_WALL_GETUP_ANI);
    }
    if (morphed) {
        morphed = false;
        return -1;
    }
    if (g_pgcTest != nullptr && g_pgcTest->prms != nullptr) {
        const u16 m = mode2;
        if (m != 136 && !(m >= 292 && m <= 295) && m != 142 && m != 143)
            mat.w[1] = GetGroundHeight(GetWorldPos());
    }
    groundobj = nullptr;
    groundupdatetime = world.time;
    t = target;
    if (t != nullptr && (t->flags & 0x80000000u)) {
        target = nullptr;
        pTargetTorso = nullptr;
        targetspotted = false;
        if (seektarget)
            SendCode(this, SMSG_SEEK_OBJECT, nullptr);
        if (chasetarget)
            SendCode(this, SMSG_SEEK_OBJECT, nullptr);
    }
    return 0;
}

float Enemy::FighterSetGroundHeight()
{
    const float g = GetGroundHeight(GetWorldPos());
    if (g >= 0.0f || IsHeld(mode2))
        return mat.w[1];
    float y = mat.w[1];
    if (droptime == -1) {
        if (y + 0.0625f < g) {
            if (!(mode2 >= 93 && mode2 <= 118)) {
                y -= kGravity;
                droptime = world.time;
            }
        } else {
            y = g;
        }
    } else {
        const float t = float(world.time - droptime);
        const float step = kGravity * t * t;
        if (y + step < g) {
            y += step;
        } else {
            y = g;
            droptime = -1;
        }
    }
    mat.w[1] = y;
    return y;
}

static void GroundAndAnimate(Enemy* e)
{
    e->FighterSetGroundHeight();
    e->FighterAnimate();
}

static u16 StanceWalk(const Enemy* e)
{
    if (IsLowStance(e->mode2))
        return +BA::COMBAT_MOVE_WALK_LOW_ANI;
    if (IsHighStance(e->mode2))
        return +BA::COMBAT_MOVE_WALK_HIGH_ANI;
    return e->ishigh ? +BA::COMBAT_MOVE_WALK_HIGH_ANI : +BA::COMBAT_MOVE_WALK_LOW_ANI;
}

void Enemy::Frame_Fight_Ride() { FighterAnimate(); }
void Enemy::Frame_Fight_Waiting() { GroundAndAnimate(this); }

void Enemy::Frame_Fight_Idle()
{
    Object* t = target;
    if (t != nullptr && t->parent != nullptr) {
        GroundAndAnimate(this);
        return;
    }
    mode = 27;
    Frame_Fight_WalkToTarget();
}

void Enemy::Frame_Fight_WalkToTarget()
{
    if (!IsDeadOrHeld(mode2)) {
        if (mode2 != 124 && mode2 != 125)
            BlendToAnim(StanceWalk(this), 15);
        mode = 21;
        combatmode = CM_APPROACH;
    }
    FighterAnimate();
}

void Enemy::Frame_Fight_RunFromTarget()
{
    Object* t = target;
    if (!(flags & 0x04000000) && t != nullptr)
        FrameRunFrom(t->GetWorldPos());
    GroundAndAnimate(this);
}

void Enemy::Frame_Fight_Escape()
{
    if (!IsDeadOrHeld(mode2)) {
        Object* t = target;
        const int since = lastevent == -1 ? 0x7FFFFFFF : world.time - lastevent;
        if (since > 600 - rand() % 300) {
            mode = 21;
            combatmode = CM_APPROACH;
        } else if (t != nullptr) {
            const float d = FrameRunDownRoadFrom(t->GetWorldPos());
            if (d <= 1.25f && since > 300 - rand() % 60) {
                mode = 21;
                combatmode = CM_APPROACH;
            }
        }
    }
    GroundAndAnimate(this);
}

void Enemy::Frame_Fight_Surrender()
{
    FighterAnimate();
    if (mode2 == +BA::GIVEUP_ANI && dace != nullptr)
        TurnFlat(this, dace->GetWorldPos() - GetWorldPos());
}

void Enemy::Frame_Fight_Arrive()
{
    auto restoreDoor = [this] {
        if (door != nullptr)
            door->mat = doormat;
    };
    if (combatmode == CM_DEAD || IsDeadOrHeld(mode2)) {
        restoreDoor();
        AnimateHierarchy(animspeed);
        return;
    }
    auto finish = [this] {
        mode = 21;
        combatmode = CM_APPROACH;
        if (isboss)
            BlendToAnim(+BA::COMBAT_IDLE_BEGIN_FIGHT_ANI, 8);
        else if (!(mode2 >= 84 && mode2 <= 87))
            BlendToAnim((rand() & 1) ? +BA::COMBAT_IDLE_HIGH_ANI : +BA::COMBAT_IDLE_LOW_ANI, 8);
        Frame_Fight_Combat();
    };
    if (arrivepath == nullptr) {
        finish();
        return;
    }
    const int nseg = (arrivepath->Count() - 1) / 3;
    if (patht == 0.0f) {
        door = g_pgcTest != nullptr ? g_pgcTest->FindById(4000 - id) : nullptr;
        steam = g_pgcTest != nullptr ? g_pgcTest->FindById(4100 - id) : nullptr;
        if (door != nullptr) {
            doormat = door->mat;
            doorang = 0.0f;
            doorgoalang = 2.0944f;
            doorangspeed = 0.20944f;
        }
        if (steam != nullptr)
            SendCode(steam, SMSG_PATH_POINT_REACHED, nullptr);
        SetAnim(+BA::COMBAT_MOVE_RUN_ANI);
        combatmode = CM_APPROACH;
        const Bezier& b = arrivepath->GetBezier(0);
        mat.SetTrans(b.Evaluate(0.0f).xyz());
        pathdir = b.EvaluateTangent(0.0f);
        FaceAlong(pathdir);
        FighterAnimate();
        patht = 0.001f;
        return;
    }
    FighterAnimate();
    int i = int(patht);
    float tt = 0.0f, side = 0.0f;
    for (;;) {
        if (i >= nseg) {
            restoreDoor();
            const Bezier& b = arrivepath->GetBezier(nseg - 1);
            mat.SetTrans(b.Evaluate(1.0f).xyz());
            FaceAlong(b.EvaluateTangent(1.0f));
            finish();
            return;
        }
        const Bezier& b = arrivepath->GetBezier(i);
        const VectorXYZ p = b.CalcParams(GetWorldPos(), pathdir);
        side = p[0];
        tt = p[2];
        if (tt < 1.0f)
            break;
        i++;
    }
    patht = float(i) + tt;
    if (door != nullptr) {
        if (patht < 0.5f) {
            doorgoalang = 2.0944f;
            doorangspeed = 0.20944f;
        } else {
            doorgoalang = 0.0f;
            doorangspeed = -0.20944f;
        }
        if ((doorangspeed > 0.0f && doorang < doorgoalang) || (doorangspeed < 0.0f && doorang > doorgoalang)) {
            doorang += doorangspeed;
            door->mat = RotY(doorang) * doormat;
        }
    }
    if (std::fabs(side) > 0.015625f)
        mat.SetTrans(GetWorldPos() + VectorDir(-pathdir[2], 0.0f, pathdir[0]) * (side - 0.015625f));
    FaceAlong(pathdir);
}

void Enemy::Frame_Fight_Combat()
{
    if (IsDeadOrHeld(mode2)) {
        FighterAnimate();
        return;
    }
    if (combatmode != CM_BLOWNAWAY && combatmode != CM_DEAD) {
        if (dazedstarttime != -1) {
            Frame_Fight_Combat_Dazed();
        } else {
            switch (attackmode) {
            case AM_PASSIVE: Frame_Fight_Combat_Surround(); break;
            case AM_ACTIVE:
            case AM_FRONT: Frame_Fight_Combat_Front(); break;
            default:
                attackmode = AM_FRONT;
                Frame_Fight_Combat_Front();
                break;
            }
        }
        prevattackmode = attackmode;
    }
    const u16 a = mode2;
    const float dt = world.playbackSpeed;
    if (a == +BA::COMBAT_RECOIL_INAIR_ANI) {
        const float v = inAirSpeed[1] - (frame - firstanimframe) * kGravity;
        VectorPos p = GetWorldPos();
        p[1] -= v * dt;
        const VectorDir z(mat.z[0], mat.z[1], mat.z[2]), x(mat.x[0], mat.x[1], mat.x[2]);
        p = p - z * (inAirSpeed[2] * dt) + x * (inAirSpeed[0] * dt);
        mat.SetTrans(p);
        Object* n = FindSubObject(31);
        float g, y;
        if (n != nullptr) {
            g = GetGroundHeight(n->GetWorldPos());
            y = n->GetWorldPos()[1];
        } else {
            g = GetGroundHeight(p);
            y = p[1] - 0.15625f;
        }
        if (y >= g) {
            flags &= ~ENEMYF_AIRBORNE;
            SetAnim(+BA::COMBAT_RECOIL_INAIR_FALL_ANI);
            mat.w[1] = g;
        }
    } else if (a == +BA::COMBAT_RECOIL_WALL_ANI || a == +BA::COMBAT_RECOIL_WALL_FALL_ANI) {
        const float g = GetGroundHeight(GetWorldPos());
        float y = mat.w[1] + (frame - firstanimframe) * kGravity * dt;
        if (y >= g)
            y = g;
        mat.w[1] = y;
    } else if (a == +BA::COMBAT_GRAPPLE_BREAK_1_ANI || a == +BA::COMBAT_GRAPPLE_BREAK_2_ANI) {
        if (blendamt >= 1.0f && frame - firstanimframe >= 5.0f && (flags & ENEMYF_HOLDING)) {
            flags &= ~ENEMYF_HOLDING;
            SetAnim(a);
        }
    } else if (a >= 105 && a <= 110) {
        AnimChar* clip = nullptr;
        if (combatoverlayanims != nullptr && CombatAnimOverlayIndex[a] != -1)
            clip = combatoverlayanims[CombatAnimOverlayIndex[a]];
        if (clip == nullptr)
            clip = anims != nullptr ? anims[a] : nullptr;
        const float len = clip != nullptr ? float(clip->length) : 0.0f;
        if (frame - firstanimframe > len + 30.0f) {
            flags &= ~(ENEMYF_AIRBORNE | ENEMYF_HOLDING);
            SetAnim(u16(a + 6));
        }
    } else {
        FighterSetGroundHeight();
    }
    FighterAnimate();
}

void Enemy::Frame_Fight_Combat_Surround()
{
    Object* t = target;
    if (attackmode != prevattackmode && mode2 != +BA::COMBAT_IDLE_BEGIN_FIGHT_ANI) {
        combatmode = CM_APPROACH;
        SelectActiveAnim();
    }
    if (t != nullptr && !IsFloored(mode2) &&
        (mode2 == +BA::COMBAT_IDLE_BEGIN_FIGHT_ANI || mode2 == +BA::COMBAT_IDLE_ASSUME_ANI ||
         mode2 == +BA::COMBAT_IDLE_KATA_ANI))
        TurnFlat(this, TorsoPos(t) - GetWorldPos());
}

bool fighter::PlayerUnattackable(u16 pa)
{
    return (pa >= 162 && pa <= 206) || (pa >= 282 && pa <= 293) || (pa >= 228 && pa <= 233);
}

void Enemy::Frame_Fight_Combat_Front()
{
    Object* t = target;
    if (attackmode != prevattackmode && mode2 != +BA::COMBAT_IDLE_BEGIN_FIGHT_ANI)
        combatmode = CM_NEUTRAL;
    switch (combatmode) {
    case CM_APPROACH:
        if (mode2 != 124 && mode2 != 125 && mode2 != 134)
            BlendToAnim(StanceWalk(this), 10);
        if (t != nullptr)
            FrameCombatWalkTo(TorsoPos(t));
        break;
    case CM_RETREAT:
        if (t != nullptr)
            FrameCombatBackAway(TorsoPos(t));
        break;
    case CM_BLOWNAWAY:
    case CM_ATTACK:
    case CM_POSTATTACK:
    case CM_DEFEND:
    case CM_RECOIL:
    case CM_KNOCKED_DOWN:
    case CM_DEAD:
        break;
    default: {
        if (t == nullptr || t != dace)
            break;
        if ((t->GetWorldPos() - GetWorldPos()).Length() >= 0.546875f)
            break;
        const u16 a = mode2;
        if (a == +BA::COMBAT_IDLE_BEGIN_FIGHT_ANI || (a >= 148 && a <= 151) || a == 91 || a == 90 || a == 286 || a == 143 || a == 140 ||
            a == 141 || a == 122)
            break;
        if (PlayerUnattackable(dace->mode2))
            break;
        SelectAttackAnim(true);
        lastevent = world.time;
        break;
    }
    }
    if (target == nullptr && g_pgcTest != nullptr && g_pgcTest->bInterior && !(mode2 >= 93 && mode2 <= 118) &&
        dace != nullptr && (dace->GetWorldPos() - GetWorldPos()).LengthSq() < 1.25f)
        target = dace;
    t = target;
    const u16 a = mode2;
    if (t != nullptr && combatmode != CM_DEAD && !(a >= 105 && a <= 118) && a != 123 && !(a >= 256 && a <= 260) &&
        !IsFloored(a) && a != 90 && a != 91)
        TurnFlat(this, TorsoPos(t) - GetWorldPos());
}

void Enemy::Frame_Fight_Combat_Dazed()
{
    Object* t = target;
    if (t != nullptr && !IsFloored(mode2))
        TurnFlat(this, TorsoPos(t) - GetWorldPos());
}

// ---------------------------------------------------------------------------

static Name nameFighterEnemy("FighterEnemy", int(reinterpret_cast<intptr_t>(&Enemy::FighterEnemy_mh)));
