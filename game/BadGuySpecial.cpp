// What a shooter or guard answers to the special messages: the commands of
// missions, random crimes and generators, damage, knock-backs, noises and
// bullets, the player's grab and release, the queries; and the surrender
// state and the hostage a shooter holds.
#include "game/BadGuy.h"

#include <cmath>

#include "ZevEngine2/PS2/Model.h"
#include "game/Bystander.h"
#include "game/GameAudio.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/QuadTree.h"
#include "game/Player.h"
#include "game/Vehicle.h"
#include "game/Weapons.h"
#include "game/smoke.h"

using BA = BadGuyAnims;

namespace {

// The codes of the enemies' message set.
namespace msg {
enum : int
{
    SMSG_PUT_IN_VEHICLE = 26,
    SMSG_DAMAGE = 27,
    SMSG_GIVE_UP = 30,
    SMSG_GRABBED = 31,
    SMSG_RELEASED = 32,
    SMSG_SHIELD_ANIM = 33,
    SMSG_SPECIAL_ANIM_A = 34,
    SMSG_SPECIAL_ANIM_B = 35,
    SMSG_SPECIAL_ANIM_C = 36,
    SMSG_SPECIAL_ANIM_D = 37,
    SMSG_SET_ON_FIRE = 39,
    SMSG_ATTACK_OBJECT = 50,
    SMSG_ATTACK_OBJECT_NODAMAGE = 51,
    SMSG_SHOOT_OBJECT = 52,
    SMSG_SHOOT_OBJECT_NODAMAGE = 53,
    SMSG_RUN_AWAY_FROM = 54,
    SMSG_HARASS_OBJECT = 55,
    SMSG_PED_WARNING_NEARBY = 56,
    SMSG_PED_SHOTS_A = 57,
    SMSG_TAKE_HOSTAGE = 60,
    SMSG_ALLY_WITH = 61,
    SMSG_SEEK_OBJECT = 62,
    SMSG_WANDER = 63,
    SMSG_GET_IN_CAR = 64,
    SMSG_REACT_TO = 67,
    SMSG_THREATEN = 68,
    SMSG_KNOCKBACK = 80,
    SMSG_MORPH_TO_BYSTANDER = 82,
    SMSG_CHASE_OBJECT = 83,
    SMSG_TURN_INTO_HOSTAGE = 89,
    SMSG_STRUGGLE_WITH = 90,
    SMSG_SPOTTED_QUERY = 93,
    SMSG_BODY_SNATCH = 97,
    SMSG_SOFT_POPOUT = 99,
    SMSG_CD_SUSPEND = 101,
    SMSG_CD_SEAT_TAKEN = 103,
    SMSG_PLAYER_RGUN_FLAG_OFF = 131,
    SMSG_PLAYER_RGUN_FLAG_ON = 133,
    SMSG_BULLET_HIT = 20464,
    SMSG_EV_KNOCKED_DOWN = 23004,
    SMSG_EV_CHARACTER_DIED = 23006,
    SMSG_EV_TARGET_LOST = 23013,
    SMSG_EV_GUARD_29 = 23029,
    SMSG_EV_THREATENED = 23036,
    SMSG_MODE_START = 28001,
    SMSG_Q_SPOTTABLE = 29002,
    SMSG_Q_SHOOT_TARGET = 29003,
    SMSG_Q_29004 = 29004,
};
}  // namespace msg

constexpr unsigned kDown = 0x20000000;   // felled
constexpr unsigned kGone = 0x40000000;   // beaten for good

bool In(u16 a, BA lo, BA hi) { return a >= +lo && a <= +hi; }

bool AnyOf(u16 a, std::initializer_list<BA> set)
{
    for (BA b : set)
        if (a == +b)
            return true;
    return false;
}

void Send(Object* to, int code, Object* about, Variant p0 = 0, Variant p1 = 0)
{
    if (to == nullptr)
        return;
    SpecialMessage m(code, about, p0, p1);
    to->SendMessage(OM_SPECIAL, &m);
}

// Points and texts go to the game controller when there is one.
void Score(int points, const Object* at, const char* text)
{
    if (g_pgcTest != nullptr && points != 0)
        g_pgcTest->AddPoints(points, at);
    if (text != nullptr)
        AddScreenText(text, STP_CENTER);
}

// The grab rows by the player's opening animation.
const Guy::VictimData& GunsGrabRow() { return Enemy::VictimDataTable[3]; }
const Guy::VictimData& ArrestRow() { return Enemy::VictimDataTable[13]; }

bool HeldGrapple(u16 a) { return In(a, BA::GUN_GRAPPLED_IDLE_ANI, BA::GUN_GRAPPLED_WALK_RIGHT_ANI); }

}  // namespace

bool Enemy::InProtectedAnim() const
{
    const u16 a = mode2;
    return a == +BA::GUN_GRAPPLED_ANI || HeldGrapple(a) || a == +BA::GUN_GRAPPLED_RELEASE_ANI ||
           In(a, BA::GUARD_DISARMED_ANI, BA::GUARD_DISARMED_P_ANI) ||
           In(a, BA::ARRESTED_ANI, BA::ARRESTED_LYINGDOWN_R_ANI);
}

int Enemy::ShooterSpecial(SpecialMessage* m)
{
    Object* obj = m->obj;
    // An enemy of a car chase hands its decisions to the car it sits in.
    auto carRule = [this, obj] {
        if (id >= -150 && id <= -101) {
            flags &= ~ENEMYF_ACTIVE;
            Object* c = car != nullptr ? static_cast<Object*>(car) : obj;
            if (c != nullptr)
                c->flags |= ENEMYF_ACTIVE;
        }
    };
    switch (m->submsg) {
    case msg::SMSG_ATTACK_OBJECT: AttackObject(obj, int(m->param[0])); return 0;
    case msg::SMSG_ATTACK_OBJECT_NODAMAGE: AttackObjectNoDamage(obj, int(m->param[0])); return 0;
    case msg::SMSG_SHOOT_OBJECT: ShootObject(obj); return 0;
    case msg::SMSG_SHOOT_OBJECT_NODAMAGE: ShootObjectNoDamage(obj); return 0;
    case msg::SMSG_RUN_AWAY_FROM: RunAwayFromObject(obj); return 0;
    case msg::SMSG_HARASS_OBJECT: HarassObject(obj); return 0;
    case msg::SMSG_TAKE_HOSTAGE: TakeObjectHostage(obj); return 0;
    case msg::SMSG_ALLY_WITH: AllyWithObject(obj); return 0;
    case msg::SMSG_SEEK_OBJECT: SeekObject(obj); return 0;
    case msg::SMSG_WANDER: Wander(); return 0;
    case msg::SMSG_GET_IN_CAR:
        if (mode != 11) {
            GetInCar(static_cast<Vehicle*>(obj));
            carRule();
        }
        return 0;
    case msg::SMSG_REACT_TO: ReactToObject(obj); return 0;
    case msg::SMSG_THREATEN: ThreatenObject(obj, int(m->param[0])); return 0;
    case msg::SMSG_MORPH_TO_BYSTANDER: MorphIntoBystander(obj); return -1;
    case msg::SMSG_CHASE_OBJECT: ChaseObject(obj); return 0;
    case msg::SMSG_TURN_INTO_HOSTAGE: TurnIntoHostage(); return 0;
    case msg::SMSG_STRUGGLE_WITH: StruggleWithObject(obj); return 0;
    case msg::SMSG_BODY_SNATCH: BodySnatch(static_cast<Bystander*>(obj)); return 0;
    case msg::SMSG_CD_SEAT_TAKEN: PulloutObject(obj); return 0;
    case msg::SMSG_GIVE_UP: GiveUp(); return 0;

    case msg::SMSG_PUT_IN_VEHICLE:
        PutIn(static_cast<Vehicle*>(obj), int(m->param[0]));
        carRule();
        return 0;
    case msg::SMSG_DAMAGE: {
        if (strength == 0.0f || (flags & (kDown | kGone)))
            return 0;
        const float amount = float(int(m->param[0]));
        if (amount < strength) {
            strength -= amount;
            return 0;
        }
        strength = 0.0f;
        if (rightgunarm.gun != nullptr)
            DropWeapon();
        BlendToAnim(+BA::LYING_DOWN_KILLED_ANI, 3);
        flags |= kDown;
        PlayVoice(NPCVO_Killed);
        Send(gameeventobj, msg::SMSG_EV_CHARACTER_DIED, this);
        return 0;
    }
    case msg::SMSG_GRABBED: return Grabbed(m);
    case msg::SMSG_RELEASED: Released(m); return 0;
    case msg::SMSG_SHIELD_ANIM:
        BlendToAnim(InGuardMode() ? +BA::GUARD_DISARMED_BACK_ANI : +BA::GUN_GRAPPLED_WALK_BACK_ANI, 3);
        return 0;
    case msg::SMSG_SPECIAL_ANIM_A:
        BlendToAnim(InGuardMode() ? +BA::GUARD_DISARMED_IDLE_ANI : +BA::GUN_GRAPPLED_IDLE_ANI, 3);
        return 0;
    case msg::SMSG_SPECIAL_ANIM_B: BlendToAnim(+BA::GUN_GRAPPLED_WALK_FWD_ANI, 3); return 0;
    case msg::SMSG_SPECIAL_ANIM_C: BlendToAnim(+BA::GUN_GRAPPLED_WALK_LEFT_ANI, 3); return 0;
    case msg::SMSG_SPECIAL_ANIM_D: BlendToAnim(+BA::GUN_GRAPPLED_WALK_RIGHT_ANI, 3); return 0;
    case msg::SMSG_SET_ON_FIRE:
        if (torso != nullptr)
            Flamer_Create(torso, VectorPos(0.0f, 0.0f, 0.0f), 240.0f, 0.4f, true);
        return 0;
    case msg::SMSG_PED_WARNING_NEARBY:
    case msg::SMSG_PED_SHOTS_A:
        if (!warnedbydace && dace != nullptr && g_pgcTest != nullptr && g_pgcTest->bRandomMissionActive &&
            (dace->GetWorldPos() - GetWorldPos()).LengthSq() < OnFootActivationDist * OnFootActivationDist)
            warnedbydace = true;
        return 0;
    case msg::SMSG_KNOCKBACK: {
        if (flags & (kDown | kGone))
            return 0;
        const VectorDir d(float(m->param[0]), float(m->param[1]), float(m->param[2]));
        if (d[0] * d[0] + d[2] * d[2] > 0.01f)
            Face(d);
        flags &= ~ENEMYF_AIRBORNE;
        if (mode2 == +BA::GUN_KNOCKDOWN_ANI)
            SetAnim(+BA::GUN_KNOCKDOWN_ANI);
        else
            BlendToAnim(+BA::GUN_KNOCKDOWN_ANI, 5);
        return 0;
    }
    case msg::SMSG_SPOTTED_QUERY: seenbydace = true; return 0;
    case msg::SMSG_SOFT_POPOUT:
        if (!InProtectedAnim())
            AddToGeneralSoftPopOut(VectorDir(float(m->param[0]), float(m->param[1]), float(m->param[2])));
        return 0;
    case msg::SMSG_CD_SUSPEND: HearNoise(m); return 0;
    case msg::SMSG_PLAYER_RGUN_FLAG_OFF:
        if (rightgunarm.gun != nullptr)
            rightgunarm.gun->flags &= ~1u;
        return 0;
    case msg::SMSG_PLAYER_RGUN_FLAG_ON:
        if (rightgunarm.gun != nullptr)
            rightgunarm.gun->flags |= 1u;
        return 0;
    case msg::SMSG_BULLET_HIT: BulletHit(m); return 0;
    case msg::SMSG_MODE_START:
        if (gameeventobj == nullptr)
            gameeventobj = obj;
        return 0;
    case msg::SMSG_Q_SPOTTABLE: return iLastDrawnTime;
    case msg::SMSG_Q_SHOOT_TARGET: return seenbydace ? 1 : 0;
    case msg::SMSG_Q_29004: return warnedbydace ? 1 : 0;
    default: return 0;
    }
}

void Enemy::HearNoise(SpecialMessage* m)
{
    if (g_pgcTest == nullptr || g_pgcTest->mode != 13 || (flags & (kDown | kGone)))
        return;
    const VectorPos* at = m->param[0];
    if (at == nullptr)
        return;
    VectorDir dir = *at - GetWorldPos();
    dir[1] = 0.0f;
    if (dir.LengthSq() <= 0.0f)
        return;
    dir = Normalise(dir);
    BlendToAnim(Dot(dir, VectorDir(mat.z.xyz())) < 0.0f ? +BA::GUARD_WALK_ANI : +BA::GUARD_IDLE_LOOKAROUND_ANI, 5);
    cyclesleft = 1;
    bHeardNoise = true;
    timeleft = 60;
    vdNoiseDir = dir;
    TurnToward(dir, 0.10472f * world.playbackSpeed);
    flags &= ~ENEMYF_HOLDING;
}

void Enemy::BulletHit(SpecialMessage* m)
{
    auto* bullet = static_cast<Bullet*>(m->obj);
    GameController* gc = g_pgcTest;
    if (!iscop && !ishostage && gc != nullptr)
        gc->stats.nEnemyBulletHits++;
    const u16 a = mode2;
    const bool ignored =
        strength == 0.0f || (flags & kDown) || behavior == STATIONARY_COPTER ||
        (InProtectedAnim() && !HeldGrapple(a)) || mode == 36 ||
        (mode == 26 && AnyOf(a, {BA::GUN_RUN_ANI, BA::GUN_RECOIL_ANI, BA::GUN_DUCK_RECOIL_ANI,
                              BA::GUN_LYINGDOWN_RECOIL_ANI}));
    if (!ignored && bullet != nullptr) {
        float damage = bullet->GetStrength() * (gc != nullptr ? gc->stats.fDamageMultiplier : 1.0f);
        // The struck part and its collision: zones count only when both are named.
        Object* part = m->param[2];
        const int partcoll = int(m->param[3]);
        const VectorPos* at = m->param[0];
        // The struck bone chooses how he falls: the struck part's kind; a
        // limb zone struck through a part of no kind (the body spheres) counts
        // as the right hand 50 or the other limbs 67.
        int bone = BodyPartKind(part);
        auto near = [at](Object* p) { return p != nullptr && (p->GetWorldPos() - *at).LengthSq() < 0.01f; };
        auto killText = [&](int other) {
            if (ishostage)
                Score(-20, this, "HOSTAGE KILLED...");
            else if (issurrendering)
                Score(other, this, other > 0 ? "PRISONER KILLED..." : "PERP KILLED TRYING TO SURRENDER...");
            else if (iscop)
                Score(-20, this, "POLICEMAN KILLED...");
            else
                Score(10, this, "PERP KILLED...");
        };
        bool zoned = false;
        if (part != nullptr && partcoll != 0 && at != nullptr) {
            if (near(head)) {
                zoned = true;
                damage = strength;
                killText(10);
                if (gc != nullptr) {
                    gc->stats.nPrecisionHead++;
                    gc->stats.nPrecisionKills++;
                }
            } else {
                Object* limbs[4] = {rhand, lhand, lfoot, rfoot};
                for (int k = 0; k < 4 && !zoned; k++) {
                    if (!near(limbs[k]))
                        continue;
                    zoned = true;
                    damage *= 2.0f;
                    if (gc != nullptr)
                        gc->stats.nPrecisionLimbs++;
                    if (damage < strength) {
                        Score(0, this, "PRECISE SHOT!");
                    } else {
                        Score(10, this, "PERP NEUTRALIZED!");
                        if (gc != nullptr) {
                            gc->stats.nPrecisionDisables++;
                            gc->stats.nPrecisionKills++;
                        }
                    }
                    if (bone == 0)
                        bone = k == 0 ? 50 : 67;
                }
            }
        }
        if (!zoned && damage >= strength)
            killText(-20);
        DropHostage();
        if (damage < strength) {
            strength -= damage;
            if (!HeldGrapple(mode2)) {
                const u16 c = mode2;
                if (AnyOf(c, {BA::GUN_DUCK_ANI, BA::GUN_DUCK_RECOIL_ANI}))
                    BlendToAnim(+BA::GUN_DUCK_RECOIL_ANI, 3);
                else if (AnyOf(c, {BA::GUN_GETUP_ANI, BA::GUN_KNOCKDOWN_ANI, BA::GUN_LYINGDOWN_RECOIL_ANI}))
                    BlendToAnim(+BA::GUN_LYINGDOWN_RECOIL_ANI, 15);
                else if (AnyOf(c, {BA::GUN_CARCASS_IDLE_L_ANI, BA::GUN_CARCASS_RECOIL_L_ANI}))
                    BlendToAnim(+BA::GUN_CARCASS_RECOIL_L_ANI, 5);
                else if (AnyOf(c, {BA::GUN_CARCASS_IDLE_R_ANI, BA::GUN_CARCASS_RECOIL_R_ANI}))
                    BlendToAnim(+BA::GUN_CARCASS_RECOIL_R_ANI, 5);
                else
                    BlendToAnim(+BA::GUN_RECOIL_ANI, 3);
                cyclesleft = 1;
                timeleft = 1000;
            }
        } else {
            const u16 was = mode2;
            if (rightgunarm.gun != nullptr)
                DropWeapon();
            if (!ishostage && !iscop && bullet->sourceid == -1 && gc != nullptr) {
                const float dist = Length(VectorXYZ(GetWorldPos() - bullet->sourcePos));
                if (dist > gc->stats.fMaxShotDistance)
                    gc->stats.fMaxShotDistance = dist;
                gc->AddPoints(AnyOf(was, {BA::GUN_LYINGDOWN_ANI, BA::GUN_LYINGDOWN_RECOIL_ANI}) ? 5 : 10, this);
            }
            strength = 0.0f;
            u16 down;
            if (AnyOf(was, {BA::GUN_LYINGDOWN_RECOIL_ANI, BA::GUN_GETUP_ANI, BA::GUN_DUCK_ANI, BA::GUN_DUCK_RECOIL_ANI}) ||
                HeldGrapple(was)) {
                down = +BA::GUN_LYINGDOWN_KILLED_ANI;
                BlendToAnim(down, 3);
            } else if (usefalldeath) {
                Face(CalculateFallDir());
                down = +BA::GUN_KILLED_FALL_ANI;
                BlendToAnim(down, 3);
            } else if (In(was, BA::GUN_CARCASS_IDLE_L_ANI, BA::GUN_CARCASS_RECOIL_R_ANI)) {
                DetachW();
                down = +BA::GUN_CARCASS_KILLED_INAIR_ANI;
                BlendToAnim(down, 10);
                jumpframe = frame;
            } else {
                if (bone == 0)
                    down = RandomN(2) == 0 ? +BA::GUN_KILLED_ANI : +BA::GUN_KILLED2_ANI;
                else if (bone == 30 || bone == 31)
                    down = +BA::GUN_NEUTRALIZED_L_ANI;
                else if (bone == 49 || bone == 50)
                    down = +BA::GUN_NEUTRALIZED_R_ANI;
                else
                    down = +BA::GUN_NEUTRALIZED_LEGS_ANI;
                BlendToAnim(down, 3);
            }
            if (!AnyOf(down, {BA::GUN_NEUTRALIZED_L_ANI, BA::GUN_NEUTRALIZED_R_ANI, BA::GUN_NEUTRALIZED_LEGS_ANI}))
                PlayVoice(NPCVO_Killed);
            hostage = nullptr;
            flags |= kDown;
            Send(gameeventobj, msg::SMSG_EV_KNOCKED_DOWN, this, int(bullet->id), 1);
        }
    }
    // A shooter with no one to shoot at turns on whoever shot him.
    if (target == nullptr && bullet != nullptr) {
        Object* from = bullet->sourceid == -1 && dace != nullptr ? static_cast<Object*>(dace)
                                                                 : world.Find(bullet->sourceid);
        if (from != nullptr && from != this) {
            target = from;
            pTargetTorso = from->FindSubObject(20);
            if (pTargetTorso == nullptr)
                pTargetTorso = from;
        }
    }
}

int Enemy::Grabbed(SpecialMessage* m)
{
    Object* grabber = m->obj;
    if (grabber == nullptr)
        return 0;
    const bool special = ishostage || issurrendering;
    const u16 a = mode2;
    if (InProtectedAnim() || AnyOf(a, {BA::GUARD_ALARM_PULLOUTGUN_ANI, BA::GUARD_ALARM_VOCAL_ANI, BA::GUN_DUCK_ANI,
                                    BA::GUN_DUCK_RECOIL_ANI, BA::GUN_DUCK_ROLL_L_ANI, BA::GUN_DUCK_ROLL_R_ANI,
                                    BA::GUN_LYINGDOWN_ANI, BA::GUN_LYINGDOWN_RECOIL_ANI, BA::GUN_GETUP_ANI,
                                    BA::GUN_LYINGDOWN_KILLED_ANI, BA::GUN_KILLED_ANI, BA::GUN_KILLED2_ANI,
                                    BA::GUN_KILLED_FALL_ANI, BA::GUN_KILLED_FALL_INAIR_ANI,
                                    BA::GUN_KILLED_FALL_LAND_ANI})) {
        if (!special || grabber->id == -1)
            return 0;
    }
    // The arrest serves only who gives up; the other grabs refuse him, save
    // the plain hold a hostage or a prisoner is always taken with.
    const u16 opener = u16(int(m->param[0]));
    const bool givingup = issurrendering || a == +BA::GIVEUP_ANI;
    const VictimData* row = nullptr;
    if (opener == ArrestRow().enemyani) {
        if (!givingup)
            return 0;
        row = &ArrestRow();
    } else if (special) {
        row = &GunsGrabRow();
    } else {
        for (const VictimData& v : VictimDataTable)
            if (v.enemyani == opener)
                row = &v;
        if (row == nullptr || givingup)
            return 0;
    }
    currentvictimdata = *row;
    Object* grip = grabber->FindSubObject(31);
    const VectorPos grippos = grip != nullptr ? grip->GetWorldPos() : grabber->GetWorldPos();
    if (!row->morphgrappler && !special && (GetWorldPos() - grippos).LengthSq() > row->dist * row->dist)
        return 0;
    victimdata = &currentvictimdata;
    pTargetTorso = grabber->FindSubObject(20);
    const Matrix gm = grabber->GetWorldMatrix();
    grappledstartpos = GetWorldPos();
    grappledmat = gm;
    grappledmat.w = Vector(grippos, 1.0f);
    mat.w = Vector(grippos, 1.0f);
    Face(VectorDir(gm.z.xyz()));
    grappledframe = frame;
    grappleseparation = false;
    grappleturnspeed = 0.10472f;
    grapplebankoverride = -1;
    grappleindexoverride = -1;
    flags &= ~ENEMYF_AIRBORNE;
    ReBlendToAnim(row->victimani, 0, -1, -1, false);
    if (target != nullptr && target == static_cast<Object*>(dace)) {
        Send(gameeventobj, msg::SMSG_EV_TARGET_LOST, this);
        Send(gameeventobj, msg::SMSG_EV_GUARD_29, this);
    }
    deathtime = -1;
    return 1;
}

void Enemy::Released(SpecialMessage* m)
{
    Object* grabber = m->obj;
    const bool keep = int(m->param[0]) != 0;
    if (InGuardMode()) {
        BlendToAnim(+BA::GUARD_DISARMED_DROP_ANI, 3);
        return;
    }
    if (flags & kDown) {
        if (rightgunarm.gun != nullptr)
            DropWeapon();
        BlendToAnim(+BA::GUN_NEUTRALIZED_L_ANI, 3);
        victimdata = nullptr;
        return;
    }
    const float grabberStrength =
        grabber != nullptr && grabber->type == OBJT_CHARACTER ? static_cast<Guy*>(grabber)->strength : 0.0f;
    if (!ishostage && !issurrendering && !keep && (grabberStrength > 0.0f || (flags & (kDown | kGone)))) {
        BlendToAnim(+BA::GUN_GRAPPLED_RELEASE_ANI, 3);
    } else {
        BlendToAnim(IdleAni(), 3);
        if (keep)
            victimdata = nullptr;
    }
    if (ishostage) {
        ishostage = false;
        Send(gameeventobj, msg::SMSG_EV_THREATENED, this, grabber);
        MorphIntoBystander(grabber);
    }
}

// ---------------------------------------------------------------------------
// Surrender and hostages

void Enemy::Frame_Shoot_Surrender()
{
    ShooterAnimate(1.0f);
    if (mode2 == +BA::GIVEUP_ANI && dace != nullptr)
        TurnTowardFlat(dace->GetWorldPos() - GetWorldPos());
    if (rightgunarm.gun != nullptr)
        DropWeapon();
}

void Enemy::DropHostage()
{
    if (hostage == nullptr)
        return;
    if (g_pgcTest != nullptr)
        LowerStat(g_pgcTest->stats.nCivilUnrest, 2);
    RCptr<Object> h = hostage;
    hostage = nullptr;
    SpecialMessage m(msg::SMSG_RELEASED, this);
    h->SendMessage(OM_SPECIAL, &m);
}

bool Enemy::TakeHostage(Bystander* b)
{
    if (b == nullptr)
        return false;
    if (Object* grip = FindSubObject(31))
        grip->mat.SetTrans(b->GetRelativePos(this));
    const u16 reach = +BA::GUN_HOLDHOSTAGE_REACH_ANI;
    AnimChar* clip = combatoverlayanims != nullptr && CombatAnimOverlayIndex[reach] != -1
                         ? combatoverlayanims[CombatAnimOverlayIndex[reach]]
                         : (anims != nullptr ? anims[reach] : nullptr);
    const int length = clip != nullptr ? clip->length : 0;
    SpecialMessage m(msg::SMSG_GRABBED, this, int(reach), length, 2, 8, 0, 0);
    if (b->SendMessage(OM_SPECIAL, &m) == 0)
        return false;
    BlendToAnim(reach, 5);
    hostage = b;
    return true;
}
