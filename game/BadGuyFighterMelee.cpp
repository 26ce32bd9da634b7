// The fist fighter in contact: touches, blows, blocks and dazes, the ends of
// its animations (falls, chains, finishers, victory) and its special
// messages (commands, grabs, knock-backs, bullets and queries).
#include "game/BadGuy.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "game/BadGuyFighter.h"
#include "game/GameAudio.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/PlayerAnim.h"
#include "game/QuadTree.h"
#include "game/TestPart.h"

using BA = BadGuyAnims;
using namespace fighter;

namespace {

void Send(Object* to, int code, Object* about, Variant p0 = 0, Variant p1 = 0)
{
    if (to == nullptr)
        return;
    SpecialMessage m(code, about, p0, p1);
    to->SendMessage(OM_SPECIAL, &m);
}

bool IsEnemyHandler(Object* o) { return AsEnemy(o) != nullptr; }

bool IsDyingAni(u16 a)
{
    return a == 175 || a == 176 || (a >= 180 && a <= 182) || a == 204 || a == 205 || a == 285 || a == 288;
}

// Older than 120 frames: set and earlier than now - 120.
bool Older120(Guy::WorldTime t) { return t != -1 && t < world.time - 120; }

bool PlayerFinishing()
{
    return dace != nullptr && (dace->finishingstartcount != Dace::Never || (dace->mode2 >= 174 && dace->mode2 <= 182));
}

}  // namespace

// Turns the fighter about its vertical axis by ang (rotation rows only).
static void Turn(Enemy* e, float ang)
{
    const Matrix r = RotY(ang) * e->mat;
    e->mat.x = r.x;
    e->mat.y = r.y;
    e->mat.z = r.z;
}

// A fighter flying back meets a wall: indoors the building's own surfaces
// (collision soups), outdoors a placed object standing more than 0.625
// above its feet.
static bool HitsWall(CollisionRecord* cr, Object* other, bool indoors, float feet)
{
    if (indoors)
        return cr->HisCol() != nullptr && cr->HisCol()->type == COLL_SOUP;
    return other->type == OBJT_PLACEHOLDER && feet - other->GetBox().min[1] > 0.625f;
}

const u8 Enemy::EnemyCollStrengths[7][12] = {
    {1, 2, 2, 3, 3, 4, 10, 8, 6, 12, 12, 12}, {1, 2, 2, 3, 3, 4, 10, 8, 6, 12, 12, 12},
    {2, 3, 1, 2, 3, 4, 8, 10, 6, 12, 12, 12},  {1, 2, 2, 3, 3, 4, 10, 8, 6, 12, 12, 12},
    {3, 4, 4, 5, 3, 4, 12, 10, 12, 14, 14, 14}, {2, 3, 1, 2, 3, 1, 1, 1, 1, 1, 1, 1},
    {2, 1, 3, 2, 1, 3, 3, 3, 3, 3, 3, 3},
};

// ---------------------------------------------------------------------------
// Touches and blows

int Enemy::FighterCollision(CollisionRecord* cr)
{
    if (mode == 29)
        return -2;
    Object* other = cr->HitObj();
    if (other == nullptr)
        return 0;
    VectorDir push(0.0f, 0.0f, 0.0f), hard(0.0f, 0.0f, 0.0f), soft(0.0f, 0.0f, 0.0f);
    int result = 0;
    const u16 a = mode2;
    // The contact's details, worked out once for every use below.
    const bool info = cr->GetInfo();
    const VectorDir n = cr->Normal();
    if (other->type == OBJT_CHARACTER) {
        if (mode == 22 || IsHeld(a) || (a >= 111 && a <= 118) || ((a >= 105 && a <= 110) && (flags & ENEMYF_AIRBORNE)) ||
            IsDyingAni(a) || (flags & 0x60000000))
            return 0;
        if (mode == 0 && other->id == -1)
            StartFighting();
        Object* part = cr->HisPart();
        bool blow = false;
        if (part != nullptr && (part->flags & 0x1000) && info) {
            if (target == nullptr)
                target = other;
            const bool dazed = dazedstarttime != -1;
            bool ignore = false;
            if (other == target && !dazed && lastenemyattack != -1) {
                if ((lastenemyattackhit != -1 && lastenemyattackhit >= lastenemyattack) ||
                    (lastenemyattackblock != -1 && lastenemyattackblock >= lastenemyattack))
                    ignore = true;
            }
            if (IsHeld(a) || combatmode == CM_DEAD || (IsFloored(a) && a != 286 && a != 143))
                ignore = true;
            if (!ignore) {
                result = FighterCollision_Blow(cr);
                if (lastenemyattack == -1)
                    lastenemyattack = world.time;
                blow = true;
            }
        }
        if (blow) {
            if ((mode2 >= 142 && mode2 <= 146) || (mode2 >= 119 && mode2 <= 121)) {
                VectorDir v = -(n * cr->Dist());
                v[1] = 0.0f;
                if (v.LengthSq() > 0.000244141f)
                    soft = Normalise(v) * 0.015625f;
            }
        } else if (!cr->IsFlipped() && (hardpopmask != 0 || prevhardpopmask != 0)) {
            return 0;
        } else if (a == 286 || a == 143 || a == 287 || (a >= 105 && a <= 110)) {
            result = 0;
        } else if ((a >= 142 && a <= 146) || (a >= 119 && a <= 121)) {
            push = -VectorDir(n[0], 0.0f, n[2]) * cr->Dist();
            result = 2;
        } else {
            result = 2;
            const Guy* og = static_cast<const Guy*>(other);
            if (IsEnemyHandler(other) && og->mode2 == 136) {
                // a fellow flying back: nothing
            } else if (target == other && other == dace && dace->mode2 >= 162 && dace->mode2 <= 206) {
                push = -VectorDir(n[0], 0.0f, n[2]) * cr->Dist();
            } else if (!(other->flags & 0x50000000)) {
                Object* mine = FindSubObject(20);
                Object* his = other->FindSubObject(20);
                if (mine != nullptr && his != nullptr)
                    PushOutCharacter(mine, his, &soft, &push, 1.0f, 1.5f);
            }
        }
    } else if (other->type == OBJT_VEHICLE) {
        return CollideWithVehicle(cr);
    } else if (other->type == OBJT_STATIC || other->type == OBJT_PLACEHOLDER || other->type == OBJT_DYNAMIC) {
        if (mode == 22)
            return 0;
        if (mode == 21 && (a == 124 || a == 125 || a == 134) && other->FindSpecialIndex(15) != 0) {
            combatmode = CM_ATTACK;
            BlendToAnim((style == 1 || style == 3) ? +BA::COMBAT_ATTACK_3A_ANI : +BA::COMBAT_ATTACK_2A_ANI, 5);
            lastevent = world.time;
        }
        const bool indoors = g_pgcTest != nullptr && g_pgcTest->bInterior;
        if (info && a == 136 && combatmode != CM_DEAD && mode == 21 && HitsWall(cr, other, indoors, GetWorldPos()[1])) {
            const VectorDir fwd(mat.z[0], mat.z[1], mat.z[2]);
            if (Dot(n, fwd) > 0.5f) {
                SmokePuff_Spawn(cr->Point(), 0.125f);
                if (VectorDir(n[0], 0.0f, n[2]).LengthSq() > 0.01f)
                    FaceAlong(n);
                flags &= ~ENEMYF_AIRBORNE;
                BlendToAnim(+BA::COMBAT_RECOIL_WALL_ANI, 3);
            }
        }
        if (offenseactive && mode2 == 101 && combatoverlayanims == BoxerOverlayAnims) {
            // The Boxer's lunging finisher swings its arms and body through
            // the scenery.
            const COLLISION* mine = cr->MyCol();
            for (int k = 3; k <= 6; k++)
                if (mine == reinterpret_cast<const COLLISION*>(&bodycollspheres[k]))
                    return 0;
        }
        if (victimdata != nullptr && !grappleseparation)
            return 0;
        const u16 now2 = mode2;
        if (now2 >= 105 && now2 <= 110 && target != nullptr && info) {
            const VectorDir tp = target->GetWorldPos() - GetWorldPos();
            const VectorDir cp = cr->Point() - GetWorldPos();
            if (Dot(tp, cp) > 0.0f) {
                BlendToAnim(+BA::COMBAT_RECOIL_HIGH_ANI, 20);
                Send(target, SMSG_RELEASED, this);
            }
        }
        Matrix wm = GetWorldMatrix();
        if (info && indoors && n[1] < -0.707f && other->type != OBJT_DYNAMIC &&
            std::fabs(cr->LocalPoint(wm)[1]) <= 0.078125f) {
            TakeGround(cr, other);
        } else if (info) {
            // Out of the scenery: the normal points back at the fighter and
            // the depth is negative.
            const VectorDir out = n * (-0.95f * cr->Dist());
            if (other->type == OBJT_DYNAMIC)
                soft = out;
            else
                hard = out;
        }
    }
    if (push.LengthSq() > newpushoutvel.LengthSq())
        newpushoutvel = push;
    if (hard.LengthSq() > 0.0f)
        AddToPopOut(hard, true);
    if (soft.LengthSq() > 0.0f)
        AddToSoftPopOut(soft, other);
    return result;
}

// A floor met indoors under the fighter's feet: the higher of it and the
// ground already held is stood on.  Leaving a slope for it pushes the
// fighter off the slope's face.
void Enemy::TakeGround(CollisionRecord* cr, Object* other)
{
    Object* part = cr->HisPart() != nullptr ? cr->HisPart() : other;
    VectorDir gn(0.0f, -1.0f, 0.0f);
    const VectorPos at = GetWorldPos() + VectorDir(0.0f, -0.0625f, 0.0f);
    const float h = GetObjectGroundHeight(cr->HisCol(), part->GetWorldMatrix(), groundterrainy, at, &gn);
    if (groundobj != nullptr && groundobjy <= h)
        return;
    if (groundobj != nullptr && std::fabs(groundobjnormal[1]) < 0.95f && !(flags & 0x50000000) &&
        !(mode2 >= 105 && mode2 <= 118) && victimdata == nullptr) {
        VectorDir off = -(groundobjnormal * groundobjdist);
        off[1] = 0.0f;
        AddToPopOut(off, true);
    }
    groundobj = other;
    groundobjy = h;
    groundobjdist = cr->Dist();
    groundobjnormal = Normalise(cr->Normal());
}

static const float kLaunch[9][2] = {
    {-0.009313332f, 0.011641667f}, {0.018626664f, 0.023283334f}, {0.009313332f, 0.023283334f},
    {-0.009313332f, 0.011641667f}, {0.018626664f, 0.023283334f}, {0.009313332f, 0.034925003f},
    {0.027939996f, 0.011641667f},  {0.009313332f, 0.011641667f}, {0.009313332f, 0.034925003f},
};

int Enemy::FighterCollision_Blow(CollisionRecord* cr)
{
    Object* attacker = cr->HitObj();
    SpecialMessage q(SMSG_Q_COLLISION, this, cr);
    const int stren = attacker != nullptr ? attacker->SendMessage(OM_SPECIAL, &q) : 0;
    bool bodyblow = false;
    if (IsEnemyHandler(attacker)) {
        const Enemy* ea = static_cast<const Enemy*>(attacker);
        Object* part = cr->HisPart();
        if (part != nullptr && ea->torso != nullptr && ea->torso->parent != nullptr) {
            Object* tp = ea->torso->parent;
            Object* tpp = tp->parent != nullptr ? tp->parent->parent : nullptr;
            bodyblow = part->parent == tp || (tpp != nullptr && part->parent == tpp);
        }
    }
    const u32 af = attacker != nullptr ? attacker->flags : 0;
    if ((dace != nullptr && dace->mode2 >= 228 && dace->mode2 <= 230) || (flags & 0x70000000) ||
        ((mode2 == 286 || mode2 == 143) && !(af & 0x04000000)))
        return -1;
    const bool finishing = (af & 0x02000000) != 0;
    const bool info = cr->GetInfo();
    Matrix me = mat;
    const VectorPos local = info ? cr->LocalPoint(me)
                                 : (torso != nullptr ? torso->GetRelativePos(this) : VectorPos(0.0f, 0.0f, 0.0f));
    if (mode == 21 && combatmode == CM_DEFEND && !finishing && !bodyblow) {
        if (lastenemyattackblock == -1 || (lastenemyattack != -1 && lastenemyattackblock < lastenemyattack)) {
            FighterRegisterBlockedHit(attacker, 0);
            if (info)
                PlayCombatSfx((rand() & 1) == 0 ? 1 : 0, local);
            flags |= 0x04000000;
        }
        return -1;
    }
    FighterRegisterUnblockedHit(attacker, stren, finishing);
    if (info) {
        SmokePuff_Spawn(cr->Point(), 0.03125f);
        if (finishing) {
            FinishSpray_SpawnCluster(30 + int((long long)rand() * 11 >> 31), cr->Point());
            if (!nodamage && g_pgcTest != nullptr)
                g_pgcTest->ScreenFlash(strength <= 0.0f ? 90.0f : 18.0f, kFlashGrey);
        } else {
            Sweat_SpawnCluster(10 + int((long long)rand() * 7 >> 31), cr->Point(), VectorDir(0.0f, 0.0f, 0.0f));
        }
    }
    if (finishing || strength <= 0.0f) {
        if (strength <= 0.0f)
            world.playbackSpeed = 0.48f;
        curhitstodaze = totalhitstodaze;
        if (attacker != nullptr && attacker->id == -1 && attacker == dace) {
            const int pa = dace->mode2;
            const int k = pa >= 174 && pa <= 182 ? pa - 174 : 0;
            inAirSpeed = VectorDir(0.0f, kLaunch[k][0], kLaunch[k][1]);
        } else {
            inAirSpeed = VectorDir(0.0f, 0.0f, 0.0f);
        }
        if (mode2 == 286 || mode2 == 143 || mode2 == 140 || mode2 == 141) {
            if (mode2 == 143)
                Turn(this, 3.14159265f);
            BlendToAnim(+BA::LYING_DOWN_KILLED_ANI, 3);
        } else {
            BlendToAnim(+BA::COMBAT_KNOCKDOWN_ANI, 2);
        }
        PlayCombatSfx(17, local);
        if (strength <= 0.0f) {
            flags |= GUYF_DYING;
            combatmode = CM_DEAD;
            if (gameeventobj != nullptr)
                Send(gameeventobj, SMSG_EV_KNOCKED_DOWN, this, attacker != nullptr ? int(attacker->id) : 0, 4);
            PlayVoice(10);
        } else {
            combatmode = CM_KNOCKED_DOWN;
            Send(gameeventobj, SMSG_EV_PLAYER_BLOW_LANDED, this);
            PlayVoice(9);
        }
        flags &= ~0x04000000u;
        return -1;
    }
    if (dazedstarttime != -1) {
        BlendToAnim(+BA::COMBAT_IDLE_DAZED_ANI, 3);
        return -1;
    }
    if (flags & 0x2000) {
        ReBlendToAnim(+BA::COMBAT_RECOIL_INAIR_ANI, 3, -1, -1, false);
    } else if (mode2 == 286 || mode2 == 143 || mode2 == 140 || mode2 == 141) {
        if (mode2 == 143)
            Turn(this, 3.14159265f);
        ReBlendToAnim(+BA::LYING_DOWN_RECOIL_ANI, 3, -1, -1, false);
        if (g_pgcTest != nullptr)
            g_pgcTest->ScreenFlash(9.0f, kFlashGrey);
    } else {
        ReBlendToAnim(u16(CalculateRecoilAni(af)), 3, -1, -1, false);
    }
    if (info) {
        const bool low = (af & 0x01800000) != 0;
        int first;
        if (stren >= 3)
            first = low ? 9 : 13;
        else if (stren == 2)
            first = low ? ((rand() & 1) ? 9 : 11) : ((rand() & 1) ? 13 : 15);
        else
            first = low ? 11 : 15;
        PlayCombatSfx((rand() & 1) ? first : first + 1, local);
    } else {
        const int first = stren >= 3 ? 9 : 15;
        PlayCombatSfx((rand() & 1) ? first : first + 1, local);
    }
    flags |= 0x04000000;
    combatmode = CM_RECOIL;
    return -1;
}

int Enemy::ReactToAttack(int, int, int height, int, bool finishing)
{
    Object* t = target;
    if (finishing || (t != nullptr && (t->GetWorldPos() - GetWorldPos()).Length() >= 0.625f))
        return CM_NEUTRAL;
    const u16 a = mode2;
    const float in = frame - firstanimframe;
    if ((a >= 93 && a <= 118 && in > 16.0f) || (a >= 142 && a <= 146 && in < 30.0f))
        return CM_NEUTRAL;
    if (dazedstarttime != -1 || (a >= 135 && a <= 144) || a == 286 || a == 287 || a == 289 || a == 296 || a == 297)
        return CM_NEUTRAL;
    if (IsHighStance(a) && (height == 2 || height == 3))
        return CM_DEFEND;
    if (IsLowStance(a) && (height == 1 || height == 2))
        return CM_DEFEND;
    return randf() < aggro * 0.5f + 0.5f ? CM_DEFEND : CM_NEUTRAL;
}

void Enemy::FighterRegisterUnblockedHit(Object* hitobj, int stren, bool finishing)
{
    lastenemyattackhit = world.time;
    Send(gameeventobj, SMSG_EV_ATTACK_HIT, this);
    Send(hitobj, SMSG_EV_ATTACK_HIT, this);
    if (!finishing && mode2 != 286 && mode2 != 143) {
        if (curhitstodaze > 0) {
            curhitstodaze--;
            if (curhitstodaze == 0) {
                dazedstarttime = world.time;
                Send(gameeventobj, SMSG_EV_HIT_UNBLOCKED, this);
            }
        }
    } else {
        dazedstarttime = -1;
    }
    TakeFightingDamage(float(stren));
}

void Enemy::FighterRegisterBlockedHit(Object* hitobj, int)
{
    Send(gameeventobj, SMSG_EV_ATTACK_BLOCKED, this);
    Send(hitobj, SMSG_EV_ATTACK_BLOCKED, this);
    lastenemyattackblock = world.time;
}

void Enemy::UpdateDazeHits()
{
    auto refill = [this] {
        curhitstodaze = std::min(curhitstodaze + 1, totalhitstodaze);
        dazecountertime = curhitstodaze >= totalhitstodaze ? -1 : world.time;
    };
    if (dazedstarttime != -1) {
        Object* t = target;
        const bool mayRecover = t == nullptr || t != dace || !PlayerFinishing();
        if (Older120(dazedstarttime) && mayRecover) {
            dazedstarttime = -1;
            curhitstodaze = totalhitstodaze;
            if (mode2 == +BA::COMBAT_IDLE_DAZED_ANI)
                BlendToAnim((rand() & 1) ? +BA::COMBAT_IDLE_HIGH_ANI : +BA::COMBAT_IDLE_LOW_ANI, 15);
        }
        return;
    }
    if (lastenemyattackhit != -1) {
        if (Older120(lastenemyattackhit)) {
            lastenemyattackhit = -1;
            refill();
        }
        return;
    }
    if (curhitstodaze < totalhitstodaze && (dazecountertime == -1 || Older120(dazecountertime)))
        refill();
}

void Enemy::FighterAnimate()
{
    float speed = animspeed;
    const u16 a = mode2;
    if (mode == 21 && (attackmode == AM_ACTIVE || attackmode == AM_FRONT)) {
        if (a >= 93 && a <= 104)
            speed = animspeed * (1.0f + (2.0f * aggro + 1.0f - GetFatigue()) * 0.33333f);
        else if (a >= 119 && a <= 121 && target != nullptr && target == dace)
            speed = dace->animspeed;
    }
    if ((a >= 105 && a <= 118) || a == 123 || a == 259 || a == 260)
        speed = 1.0f;
    AnimateHierarchy(speed);
}

// ---------------------------------------------------------------------------
// Ends of animations

void Enemy::ChainAttack(int attackanim)
{
    BlendToAnim(u16(attackanim), 10);
    AnnounceAttack(this);
}

// The turn that ends a grapple move, by style; false when none applies.
static bool GrappleEndTurn(Enemy* e, u16 ended, bool afterloop)
{
    const float pi = 3.14159265f;
    switch (e->style) {
    case 0:
        if (ended == 112 || ended == 114 || ended == 116) {
            Turn(e, pi);
            return true;
        }
        return false;
    case 1:
        if (ended >= 111 && ended <= 116) {
            const bool odd = ended == 111 || ended == 113 || ended == 115;
            Turn(e, afterloop && odd ? 2.61799f : pi);
            return true;
        }
        return false;
    case 3:
        if (ended == 111 || ended == 114) {
            Turn(e, pi);
            return true;
        }
        if (ended == 113 || ended == 116) {
            Turn(e, 1.48353f);
            return true;
        }
        return false;
    default: return false;
    }
}

static void Score(bool good)
{
    if (g_pgcTest == nullptr)
        return;
    (good ? g_pgcTest->stats.nGoodDisposals : g_pgcTest->stats.nBadDisposals)++;
}

int Enemy::FighterAnimLoop(AnimEventMessage* loopmsg)
{
    flags &= ~0x04000000u;
    const u16 ended = mode2;
    AnimChar* endedclip = nullptr;
    if (ended < TOTAL_BADGUY_ANIS) {
        const int slot = CombatAnimOverlayIndex[ended];
        if (combatoverlayanims != nullptr && slot != -1)
            endedclip = combatoverlayanims[slot];
        if (endedclip == nullptr && anims != nullptr)
            endedclip = anims[ended];
    }
    if (loopmsg != nullptr && loopmsg->slot != 0)
        return 0;
    if (mode == 29 || victimdata != nullptr)
        return 0;
    auto points = [this] {
        if (g_pgcTest != nullptr)
            g_pgcTest->AddPoints(10, this);
    };
    auto takeOut = [this] {
        target = nullptr;
        flags |= 0x40000000 | ENEMYF_AIRBORNE;
        flags &= ~ENEMYF_ACTIVE;
        Send(gameeventobj, SMSG_EV_CHARACTER_DIED, this);
        return 0;
    };
    if (flags & GUYF_BUSTED) {
        flags |= 0x50000000 | 0x20002;
        flags &= ~ENEMYF_ACTIVE;
        points();
        Score(true);
        Send(gameeventobj, SMSG_EV_ENEMY_SUBDUED, this);
        return -1;
    }
    const u16 a = ended;
    if (mode == 21 && (IsFloored(a) || IsHeld(a) || IsDyingAni(a))) {
        ishigh = (rand() & 1) != 0;
        const bool alive = combatmode == CM_KNOCKED_DOWN || combatmode == CM_BLOWNAWAY;
        switch (a) {
        case 135: BlendToAnim(136, 5); return -1;
        case 136: flags |= ENEMYF_AIRBORNE; return -1;
        case 137:
        case 143:
            if (alive) {
                if (a == 137)
                    BlendToAnim(+BA::LYING_DOWN_ANI, 5);
                else
                    flags |= ENEMYF_AIRBORNE;
                mat.w[1] = GetGroundHeight(GetWorldPos());
                return -1;
            }
            points();
            Score(true);
            if (g_pgcTest != nullptr)
                g_pgcTest->stats.nPerpCasualties++;
            if (a == 143) {
                combatmode = CM_DEAD;
                return takeOut();
            }
            BlendToAnim(StyleHas(139) ? +BA::COMBAT_KNOCKDOWN_FAIL_TO_GETUP_ANI : +BA::LYING_DOWN_DEAD_ANI, 5);
            mat.w[1] = GetGroundHeight(GetWorldPos());
            return -1;
        case 138:
        case 144:
            if (Chance(GetFatigue()))
                BlendToAnim(+BA::COMBAT_IDLE_TIRED_ANI, 10);
            else
                BlendToAnim((rand() & 1) ? +BA::COMBAT_IDLE_HIGH_ANI : +BA::COMBAT_IDLE_LOW_ANI, 10);
            return -1;
        case 142: BlendToAnim(143, 5); return -1;
        case 140:
        case 141:
        case 283:
        case 287: BlendToAnim(138, 10); return -1;
        case 284: SetAnim(286); return -1;
        case 286:
        case 296: {
            const int loops = std::max(1, int((1.0f - aggro) * 3.0f + 0.4f));
            if (numloops < loops)
                return 0;
            BlendToAnim(138, 10);
            return -1;
        }
        case 285:
        case 288:
            combatmode = CM_DEAD;
            points();
            Score(false);
            if (g_pgcTest != nullptr)
                g_pgcTest->stats.nPerpCasualties++;
            return takeOut();
        case 123: {
            static const struct { int index; float ang; } turns[] = {
                {80, 0.436332f}, {81, 3.14159265f}, {85, 2.18166f}, {84, -1.39626f}, {88, -1.74533f}, {86, -0.663225f}};
            for (const auto& t : turns)
                if (t.index == grappleindexoverride)
                    Turn(this, t.ang);
            combatmode = CM_KNOCKED_DOWN;
            if (strength <= 0.0f)
                SetAnim(StyleHas(139) ? +BA::COMBAT_KNOCKDOWN_FAIL_TO_GETUP_ANI : +BA::LYING_DOWN_DEAD_ANI);
            else
                SetAnim(+BA::LYING_DOWN_ANI);
            return -1;
        }
        default:
            if (a >= 174 && a <= 182 && a != 180 && a != 181) {
                points();
                Score(false);
                if (g_pgcTest != nullptr)
                    g_pgcTest->stats.nPerpCasualties++;
            }
            return takeOut();
        }
    }
    Object* t = target;
    if (t != nullptr && t == dace && (dace->flags & 0x40000000)) {
        combatmode = CM_NEUTRAL;
        if (a >= 111 && a <= 118)
            GrappleEndTurn(this, a, false);
        switch (a) {
        case 148:
            PlayVoice(4);
            BlendToAnim(149, 10);
            break;
        case 149: BlendToAnim(150, 5); break;
        case 150: SetAnim(151); break;
        case 151: SetAnim(150); break;
        default: BlendToAnim(148, 10); break;
        }
        return -1;
    }
    if (mode == 21) {
        if (attackmode == AM_PASSIVE) {
            SelectActiveAnim();
        } else if (attackmode == AM_ACTIVE || attackmode == AM_FRONT) {
            const float fat = GetFatigue();
            const bool landed = lastattackhit != -1 && (lastevent == -1 || lastattackhit > lastevent);
            auto randomIdle = [this] {
                BlendToAnim((rand() & 1) ? +BA::COMBAT_IDLE_HIGH_ANI : +BA::COMBAT_IDLE_LOW_ANI, 10);
            };
            if (a >= 93 && a <= 98) {
                bool chain = false;
                if (landed && attackmode == AM_FRONT && !PlayerBusy(t))
                    chain = Chance(aggro) || Chance(0.95f - fat * 0.5f);
                if (chain) {
                    lastevent = world.time;
                    if (a == 93 || a == 95 || a == 97) {
                        const u16 next = u16(a + 1);
                        if (StyleHas(next))
                            ChainAttack(next);
                        else
                            SelectAttackAnim(true);
                    } else {
                        const bool dazedPlayer = t != nullptr && t == dace && dace->dazedstarttime != Dace::Never;
                        const u16 fin = a == 94 ? (isboss ? 102 : 99) : (isboss ? 103 : 100);
                        if (dazedPlayer && StyleHas(fin))
                            ChainAttack(fin);
                        else
                            SelectAttackAnim(true);
                    }
                } else {
                    randomIdle();
                    combatmode = CM_POSTATTACK;
                }
            } else if (a >= 99 && a <= 104) {
                if (landed && StyleHas(91)) {
                    BlendToAnim(91, 5);
                    PlayVoice(4);
                } else {
                    randomIdle();
                }
            } else if (a >= 105 && a <= 110) {
                flags |= ENEMYF_AIRBORNE;
                return -1;
            } else if (a >= 111 && a <= 118) {
                if (GrappleEndTurn(this, a, true))
                    SetAnim(84);
                else
                    randomIdle();
                return -1;
            } else if (a >= 126 && a <= 129) {
                ishigh = a == 126 || a == 128;
                if (numloops == 1)
                    return 0;
                SelectFrontAnim(true);
            } else if (a == 124 || a == 125 || a == 130 || a == 131) {
                ishigh = a == 124 || a == 130;
                SelectFrontAnim(true);
            } else if (a == 85 || a == 87 || a == 89 || a == 92 || a == 147) {
                if (a == 85)
                    ishigh = true;
                if (a == 87)
                    ishigh = false;
                SelectFrontAnim(true);
            } else if (a == 122) {
                SelectFrontAnim(false);
            } else if (a == 84 || a == 86) {
                ishigh = a == 84;
                const bool near = t != nullptr && (t->GetWorldPos() - GetWorldPos()).Length() < 0.3125f;
                if (near && !PlayerBusy(t) && Chance(aggro) && Chance(1.0f - fat * 0.5f)) {
                    SelectAttackAnim(true);
                } else {
                    combatmode = CM_NEUTRAL;
                    SetAnim(u16(a + 1));
                }
            } else if (a <= 147) {
                SelectFrontAnim(true);
            }
        }
    }
    AnimChar* now = nullptr;
    if (mode2 < TOTAL_BADGUY_ANIS) {
        const int slot = CombatAnimOverlayIndex[mode2];
        if (combatoverlayanims != nullptr && slot != -1)
            now = combatoverlayanims[slot];
        if (now == nullptr && anims != nullptr)
            now = anims[mode2];
    }
    return mode2 == ended && now == endedclip && now != nullptr && (now->flags & 0x8000) ? 0 : -1;
}
