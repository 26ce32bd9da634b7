// What a shooter does when something touches it: standing on and pushing
// against world objects, cars, the player's body and his blows; the damage
// routines every enemy kind shares, the pop-out clamp, the combat sounds and
// the seat in a car.
#include "game/BadGuy.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/GameAudio.h"
#include "game/GameEvents.h"
#include "game/MAIN.h"
#include "game/PlayerAnim.h"
#include "game/QuadTree.h"
#include "game/TestPart.h"
#include "game/Vehicle.h"

using BA = BadGuyAnims;

namespace {

bool In(u16 a, BA lo, BA hi) { return a >= +lo && a <= +hi; }

// Disarmed guard, shield grapple or arrest: the paired moves.
bool InPairedAni(u16 a)
{
    return In(a, BA::GUARD_DISARMED_ANI, BA::GUARD_DISARMED_P_ANI) ||
           In(a, BA::GUN_GRAPPLED_ANI, BA::GUN_GRAPPLED_RELEASE_ANI) || In(a, BA::ARRESTED_ANI, BA::ARRESTED_LYINGDOWN_R_ANI);
}

}  // namespace

void Enemy::TakeFightingDamage(float d)
{
    if (d == 0.0f)
        return;
    strength -= d;
    if (strength < 0.0f) {
        PlayVoice(NPCVO_Killed);
        flags |= GUYF_DYING;
        SetBlendFactorHierarchy(this, 1, 0.0f);
        blendamt = 0.0f;
        strength = 0.0f;
    }
}

void Enemy::ShooterRegisterUnblockedHit(Object* attacker, int s)
{
    SpecialMessage m(SMSG_EV_ATTACK_HIT, this);
    if (gameeventobj != nullptr)
        gameeventobj->SendMessage(OM_SPECIAL, &m);
    if (attacker != nullptr)
        attacker->SendMessage(OM_SPECIAL, &m);
    TakeFightingDamage(float(s));
}

VectorDir Enemy::GetPopOut()
{
    VectorDir p = Guy::GetPopOut();
    if (p.LengthSq() > 0.02441407f)
        p = Normalise(p) * 0.15625f;
    return p;
}

void Enemy::PlayCombatSfx(int snd, VectorPos local)
{
    if ((sndbank_comb & 0xFF) == 0xFF)
        return;
    const int chan = sound.AllocChannel(false);
    if (chan < 0)
        return;
    sound.Play(chan, sndbank_comb, u16(snd));
    sound.SetPosition(chan, mat * local);
}

int Enemy::ShooterCollision_Blow(CollisionRecord* cr)
{
    Object* attacker = cr->HitObj();
    SpecialMessage q(SMSG_Q_COLLISION, this, cr);
    const int s = attacker != nullptr ? attacker->SendMessage(OM_SPECIAL, &q) : 0;
    DropHostage();
    if (s != -1)
        ShooterRegisterUnblockedHit(attacker, s);
    const bool info = cr->GetInfo();
    if (info)
        SmokePuff_Spawn(cr->Point(), 0.03125f);
    if (strength <= 0.0f) {
        BlendToAnim(+BA::GUN_KILLED_ANI, 5);
        PlayVoice(NPCVO_Killed);
        flags |= GUYF_DYING;
        if (gameeventobj != nullptr) {
            SpecialMessage m(SMSG_EV_KNOCKED_DOWN, this, attacker != nullptr ? int(attacker->id) : 0, 4);
            gameeventobj->SendMessage(OM_SPECIAL, &m);
        }
        return -1;
    }
    if (mode2 != +BA::GUN_KNOCKDOWN_ANI && mode2 != +BA::GUN_GETUP_ANI) {
        BlendToAnim(+BA::GUN_KNOCKDOWN_ANI, mode2 == +BA::GUN_DUCK_ANI ? 7 : 3);
        cyclesleft = 1;
        const bool heavy = attacker != nullptr && (attacker->flags & 0x01800000) != 0;
        int first, second;
        if (!info) {
            first = s >= 3 ? 9 : 15;
        } else if (s >= 3) {
            first = heavy ? 9 : 13;
        } else if (s == 2) {
            const bool coin = (rand() & 1) == 1;
            first = heavy ? (coin ? 9 : 11) : (coin ? 13 : 15);
        } else {
            first = heavy ? 15 : 11;
        }
        second = first + 1;
        const int snd = (rand() & 1) == 1 ? first : second;
        Matrix m = mat;
        const VectorPos local = info ? cr->LocalPoint(m) : (torso != nullptr ? torso->GetRelativePos(this)
                                                                               : VectorPos(0.0f, 0.0f, 0.0f));
        PlayCombatSfx(snd, local);
    }
    return -1;
}

int Enemy::ShooterCollision(CollisionRecord* cr)
{
    Object* other = cr->HitObj();
    if (other == nullptr)
        return 0;
    Object* root = GetRoot();
    if (root != nullptr && root != this && root->type == OBJT_VEHICLE && other->type != OBJT_PROJECTILE)
        return 0;
    if ((flags & GUYF_DEAD) || In(mode2, BA::GUN_GRAPPLED_IDLE_ANI, BA::GUN_GRAPPLED_WALK_RIGHT_ANI) || mode == 22 ||
        (behavior >= STATIONARY_HANGING && behavior <= STATIONARY_COPTER))
        return 0;
    const VectorDir n = cr->Normal();
    VectorDir hard(0.0f, 0.0f, 0.0f), soft(0.0f, 0.0f, 0.0f), velcand(0.0f, 0.0f, 0.0f);
    int reply = 0;
    auto flatPush = [&]() {
        VectorDir p = n * -cr->Dist();
        p[1] = 0.0f;
        return p;
    };
    const u8 t = other->type;
    if (t == OBJT_STATIC || t == OBJT_DYNAMIC || t == OBJT_PLACEHOLDER) {
        if (mode != 33) {
            if (n[1] < -0.707f && t != OBJT_DYNAMIC) {
                Object* part = cr->HisPart() != nullptr ? cr->HisPart() : other;
                VectorDir gn(0.0f, -1.0f, 0.0f);
                const float h = GetObjectGroundHeight(cr->HisCol(), part->GetWorldMatrix(), groundterrainy,
                                                      GetWorldPos(), &gn);
                if (groundobj == nullptr || h < groundobjy) {
                    groundobj = other;
                    groundobjy = h;
                    groundobjdist = cr->Dist();
                    groundobjnormal = Normalise(n);
                }
            } else if (std::fabs(n[1]) < 0.95f) {
                if (InPairedAni(mode2) && victimdata == nullptr && target != nullptr &&
                    target->type == OBJT_CHARACTER) {
                    if (t == OBJT_DYNAMIC)
                        AddToSoftPopOut(flatPush(), other);
                    else
                        AddToPopOut(flatPush(), true);
                } else {
                    hard = flatPush();
                }
                if (mode == 25 && (mode2 == +BA::GUN_RUN_ANI ||
                                   (hostage != nullptr && mode2 == +BA::GUN_HOLDHOSTAGE_WALK_FWD_ANI))) {
                    if (RandomN(4) != 0) {
                        mat.w = Vector(takecoverPos, 1.0f);
                    } else {
                        const VectorDir z(mat.z.xyz());
                        VectorDir slide = z - n * Dot(z, n);
                        if (slide.LengthSq() > 0.0f)
                            TurnToward(Normalise(slide), 0.20944f * world.playbackSpeed);
                        return 0;
                    }
                }
                if ((behavior == MOVING || behavior == RUN_AWAY || behavior == AVOID_OBSTACLE) && maxwander > 0.03125f) {
                    const VectorDir z(mat.z.xyz());
                    const float turn = (z ^ n)[1] > 0.0f ? 0.174533f : -0.174533f;
                    const Matrix r = RotY(turn) * Matrix(mat.x, mat.y, mat.z, Vector(0.0f, 0.0f, 0.0f, 1.0f));
                    mat.x = r.x;
                    mat.y = r.y;
                    mat.z = r.z;
                    behavior = AVOID_OBSTACLE;
                    cyclesleft = 1;
                }
            }
        }
    } else if (t == OBJT_VEHICLE) {
        if (!(flags & GUYF_DEAD))
            reply = CollideWithVehicle(cr);
    } else if (t == OBJT_CHARACTER) {
        if (other == static_cast<Object*>(hostage) || (other->flags & GUYF_DYING))
            return 0;
        if (InPairedAni(mode2))
            return 0;
        if (InGuardMode() && other->id == -1) {
            const u16 a = mode2;
            const bool ordinary = !(a == +BA::GUARD_ALARM_PULLOUTGUN_ANI || a == +BA::GUARD_ALARM_VOCAL_ANI ||
                                    a == +BA::GUN_DUCK_ANI || a == +BA::GUN_DUCK_RECOIL_ANI ||
                                    In(a, BA::GUN_DUCK_ROLL_L_ANI, BA::GUN_DUCK_ROLL_R_ANI) ||
                                    a == +BA::GUN_LYINGDOWN_ANI || (a >= 172 && a <= 176) || (a >= 180 && a <= 182));
            const u16 theirs = static_cast<Guy*>(other)->mode2;
            if (!(ordinary && IsGrabOpener(theirs)))
                TargetNoticed();
            return 0;
        }
        Object* part = cr->HisPart();
        if (part != nullptr && (cr->HisID() & 0x1000)) {
            SpecialMessage q(SMSG_Q_COLLISION, this);
            const int ans = other->SendMessage(OM_SPECIAL, &q);
            const u16 a = mode2;
            if (ans != 0 && a != +BA::GUN_RECOIL_ANI && a != +BA::GUN_DUCK_RECOIL_ANI && a != +BA::GUN_GETUP_ANI &&
                a != +BA::GUN_KNOCKDOWN_ANI && !InPairedAni(a))
                reply = ShooterCollision_Blow(cr);
        }
        Object* theirTorso = other->FindSubObject(20);
        VectorDir outA, outB;
        if (theirTorso != nullptr && torso != nullptr &&
            PushOutCharacter(theirTorso, torso, &outA, &outB, 1.0f, 1.25f)) {
            soft = outA;
            velcand = outB;
        } else if (std::fabs(n[1]) < 0.95f) {
            soft = flatPush();
        }
    } else {
        if (std::fabs(n[1]) < 0.95f)
            velcand = flatPush();
    }
    if (velcand.LengthSq() > newpushoutvel.LengthSq())
        newpushoutvel = velcand;
    if (hard.LengthSq() > 0.0f)
        AddToPopOut(hard, true);
    if (soft.LengthSq() > 0.0f)
        AddToSoftPopOut(soft, other);
    return reply;
}

void Enemy::PutIn(Vehicle* v, int seat)
{
    if (v == nullptr)
        return;
    car = v;
    flags &= ~OBJF_SHADOW;
    MDLFILE* mf = v->GetMF();
    // The seat locator among the car node's children.
    NODE* node = nullptr;
    if (mf != nullptr && v->i16OrigIndex >= 0 && v->i16OrigIndex < mf->nNodes)
        node = mf->FindNode1(mf->nodes[v->i16OrigIndex].child, u16(0x8000 | (seat & 0x7FF)));
    if (node != nullptr) {
        mat = node->GetMatrix();
        mat.w = Vector(node->Pos() - v->vdCOGOffset, 1.0f);
    } else {
        mat = Matrix(true);
    }
    if (parent != nullptr)
        Detach();
    v->Attach(this);
    SetAnim(v->bCycle ? 21 : 1);
    AnimateHierarchy(1.0f);
    if (biproot != nullptr) {
        VectorDir z(biproot->mat.z.xyz());
        z[1] = 0.0f;
        if (z.LengthSq() > 0.0f) {
            const Matrix l = LookAlong(Normalise(z));
            biproot->mat.x = l.x;
            biproot->mat.y = l.y;
            biproot->mat.z = l.z;
        }
        mat.w = Vector(mat.GetTrans() - VectorDir(biproot->mat.w.xyz()), 1.0f);
        childpos = biproot->GetWorldPos();
    }
    if (gameeventobj != nullptr) {
        SpecialMessage m(SMSG_EV_ENEMY_IN_CAR, this, v);
        gameeventobj->SendMessage(OM_SPECIAL, &m);
    }
    gotincartime = world.time;
    Start_Run_Driving();
}
