// What the fist fighter answers to special messages: the commands every
// enemy takes, the player's grabs and melee events, knock-backs, bullets and
// the queries of the player, the HUD and the fight controller.
#include "game/BadGuy.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/Utilities.h"
#include "game/BadGuyFighter.h"
#include "game/GameAudio.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/GameModes.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/smoke.h"
#include "game/Vehicle.h"
#include "game/Weapons.h"

using BA = BadGuyAnims;
using namespace fighter;

namespace {

bool IsLying(u16 a) { return a == 139 || a == 289 || a == 169 || a == 170 || a == 172 || a == 173; }

// A grab finds the fighter unable to answer it.
bool RefusesGrab(u16 a, unsigned flags)
{
    (void)flags;
    return (a >= 93 && a <= 118) || a == +BA::COMBAT_MOVE_BACK_SPECIAL_ANI || a == +BA::COMBAT_MOVE_WALK_SPECIAL_ANI ||
           a == +BA::LYING_DOWN_RECOIL_ANI || (a >= 142 && a <= 146) || IsFloored(a) || IsHeld(a) ||
           (a >= 224 && a <= 229) || (a >= 162 && a <= 168) || (a >= 256 && a <= 260);
}

}  // namespace

int Enemy::FighterSpecial(SpecialMessage* m)
{
    Object* obj = m->obj;
    const int p0 = m->param[0];
    switch (m->submsg) {
    // Commands.
    case 30: GiveUp(); return 0;
    case 50: AttackObject(obj, p0); return 0;
    case 51: AttackObjectNoDamage(obj, p0); return 0;
    case 52: ShootObject(obj); return 0;
    case 53: ShootObjectNoDamage(obj); return 0;
    case 54: RunAwayFromObject(obj); return 0;
    case 55: HarassObject(obj); return 0;
    case 60: TakeObjectHostage(obj); return 0;
    case 61: AllyWithObject(obj); return 0;
    case 62: SeekObject(obj); return 0;
    case 63: Wander(); return 0;
    case 67: ReactToObject(obj); return 0;
    case 68: ThreatenObject(obj, p0); return 0;
    case 82: MorphIntoBystander(obj); return -1;
    case 83: ChaseObject(obj); return 0;
    case 89: TurnIntoHostage(); return 0;
    case 90: StruggleWithObject(obj); return 0;
    case 97: BodySnatch(reinterpret_cast<Bystander*>(obj)); return 0;
    case 103: PulloutObject(obj); return 0;
    case 104:
        if (randf() < 0.2f)
            ShootObject(dace);
        else
            RunAwayFromObject(dace);
        return 0;

    case SMSG_SET_ON_FIRE:
        if (torso != nullptr)
            Flamer_Create(torso, VectorPos(0.0f, 0.0f, 0.0f), 240.0f, 0.4f, true);
        return 0;
    case 22: Hibernate(); return 0;
    case 23: UnHibernate(); return 0;
    case 26:
    case 64:
        if (m->submsg == 26)
            PutIn(static_cast<Vehicle*>(obj), p0);
        else if (mode != 11)
            GetInCar(static_cast<Vehicle*>(obj));
        if (id >= -150 && id <= -101 && obj != nullptr) {
            flags &= ~0x20u;
            obj->flags |= 0x20;
        }
        return 0;
    case SMSG_GRABBED: {
        const u16 a = mode2;
        if (a != +BA::COMBAT_KNOCKDOWN_FAIL_TO_GETUP_ANI && a != +BA::LYING_DOWN_DEAD_ANI && RefusesGrab(a, flags))
            return 0;
        const VictimData* row = nullptr;
        for (const VictimData& v : VictimDataTable)
            if (v.enemyani == p0) {
                row = &v;
                break;
            }
        if (row == nullptr)
            return 0;
        const bool giveup = a == +BA::GIVEUP_ANI;
        if ((row->victimani == +BA::ARRESTED_BUT_DOWN_ANI) != giveup)
            return 0;
        const bool lyingArrest = row->victimani == 259 || row->victimani == 260;
        if (lyingArrest != IsLying(a))
            return 0;
        currentvictimdata = *row;
        if (!row->morphgrappler && obj != nullptr) {
            Object* mine = FindSubObject(20);
            const VectorPos me = (mine != nullptr ? mine : this)->GetWorldPos();
            if (row->victimani == 123) {
                Object* his = obj->FindSubObject(20);
                const VectorPos h = (his != nullptr ? his : obj)->GetWorldPos();
                const float dx = h[0] - me[0], dz = h[2] - me[2];
                if (dx * dx + dz * dz >= 0.2197265625f)
                    return 0;
            } else {
                Object* hand = obj->FindSubObject(31);
                const VectorPos h = (hand != nullptr ? hand : obj)->GetWorldPos();
                if (std::hypot(h[0] - me[0], h[2] - me[2]) >= row->dist)
                    return 0;
            }
        }
        target = obj;
        grappledstartpos = GetWorldPos();
        grappledframe = frame;
        victimdata = &currentvictimdata;
        grappleseparation = false;
        if (lyingArrest)
            deathtime = -1;
        if (int(m->param[1]) != 0)
            currentvictimdata.morphlen = m->param[1];
        const int b = m->param[2], ix = m->param[3];
        grapplebankoverride = b != 0 && ix != 0 ? b : -1;
        grappleindexoverride = b != 0 && ix != 0 ? ix : -1;
        flags &= ~0x20100u;
        if (lyingArrest) {
            ReBlendToAnim(row->victimani, currentvictimdata.morphlen, grapplebankoverride, grappleindexoverride, false);
            flags |= 0x30000000;
            if (g_pgcTest != nullptr) {
                g_pgcTest->AddPoints(10, this);
                LowerStat(g_pgcTest->stats.nCivilUnrest, 1);
                g_pgcTest->stats.nGoodDisposals++;
            }
            return 1;
        }
        if (row->victimani == 123) {
            const int st = style <= 6 ? style : 0;
            if (randf() < aggro && randf() < GrappleFrequency[st] && randf() < 1.0f - GetFatigue()) {
                const u16 brk = (rand() & 1) ? +BA::COMBAT_GRAPPLE_BREAK_1_ANI : +BA::COMBAT_GRAPPLE_BREAK_2_ANI;
                if (obj != nullptr)
                    FaceAlong(obj->GetWorldPos() - GetWorldPos());
                PoseProbe(brk);
                SpecialMessage back(SMSG_GRABBED, this, int(brk), 5);
                if (obj != nullptr && obj->SendMessage(OM_SPECIAL, &back) != 0) {
                    victimdata = nullptr;
                    combatmode = CM_RECOIL;
                    ReBlendToAnim(brk, 5, -1, -1, true);
                    flags |= ENEMYF_HOLDING;
                    return brk == +BA::COMBAT_GRAPPLE_BREAK_1_ANI ? -1 : -2;
                }
            }
        }
        ReBlendToAnim(row->victimani, currentvictimdata.morphlen, grapplebankoverride, grappleindexoverride, true);
        combatmode = CM_RECOIL;
        flags |= ENEMYF_HOLDING;
        return 1;
    }
    case SMSG_RELEASED:
        if ((mode2 >= 105 && mode2 <= 118) || mode2 == 123) {
            flags &= ~0x20100u;
            BlendToAnim(+BA::COMBAT_RECOIL_HIGH_ANI, 5);
            combatmode = CM_RECOIL;
        }
        return 0;
    case 56:
    case 57:
        if (!warnedbydace && dace != nullptr && g_pgcTest != nullptr && g_pgcTest->bRandomMissionActive &&
            (dace->GetWorldPos() - GetWorldPos()).LengthSq() < OnFootActivationDist * OnFootActivationDist)
            warnedbydace = true;
        return 0;
    case 80: {
        const VectorDir v(float(m->param[0]), float(m->param[1]), float(m->param[2]));
        if (IsHeld(mode2) || (mode2 >= 111 && mode2 <= 118) || (flags & 0x70000000) || combatmode == CM_BLOWNAWAY ||
            combatmode == CM_DEAD)
            return 0;
        const VectorDir h(v[0], 0.0f, v[2]);
        if (h.LengthSq() > 0.01f)
            FaceAlong(-h);
        flags &= ~0x20100u;
        combatmode = CM_BLOWNAWAY;
        if (mode2 == +BA::COMBAT_KNOCKDOWN_ANI)
            SetAnim(+BA::COMBAT_KNOCKDOWN_ANI);
        else
            BlendToAnim(+BA::COMBAT_KNOCKDOWN_ANI, 2);
        inAirSpeed = VectorDir(0.0f, v[1], std::sqrt(v[0] * v[0] + v[2] * v[2]));
        return 0;
    }
    case 93: seenbydace = true; return 0;
    case 96: return mode2 == +BA::LYING_DOWN_ANI || mode2 == +BA::COMBAT_RECOIL_WALL_FALL_ANI ? 1 : 0;
    case 98:
        if (dazedstarttime != -1) {
            dazedstarttime = -1;
            curhitstodaze = totalhitstodaze;
            if (mode2 == +BA::COMBAT_IDLE_DAZED_ANI && p0 == 0) {
                BlendToAnim((rand() & 1) ? +BA::COMBAT_IDLE_HIGH_ANI : +BA::COMBAT_IDLE_LOW_ANI, 15);
                combatmode = CM_NEUTRAL;
            }
        }
        return 0;
    case 99:
        if (!IsHeld(mode2) && !(mode2 >= 105 && mode2 <= 118))
            AddToGeneralSoftPopOut(VectorDir(float(m->param[0]), float(m->param[1]), float(m->param[2])));
        return 0;
    case 100: return int(aggro * 100.0f);
    case 131:
        if (fightweapon != nullptr)
            fightweapon->flags &= ~1u;
        return 0;
    case 133:
        if (fightweapon != nullptr)
            fightweapon->flags |= 1u;
        return 0;
    case 20464: {
        auto* bullet = static_cast<Bullet*>(obj);
        if (strength != 0.0f && !(flags & GUYF_DYING) && combatmode != CM_DEAD && bullet != nullptr) {
            const float s = bullet->GetStrength();
            float dmg = s;
            // The struck part's bone kind says how much the shot takes.
            Object* part = m->param[2];
            const void* partcoll = m->param[3];
            if (!ishostage && !iscop && part != nullptr && partcoll != nullptr) {
                const int kind = BodyPartKind(part);
                if (kind == 9)
                    dmg = strength;
                else if (kind == 30 || kind == 31 || kind == 49 || kind == 50 || kind == 62 || kind == 63 ||
                         kind == 67 || kind == 68)
                    dmg = 2.0f * s;
            }
            const u16 a = mode2;
            const bool down = a == 138 || a == 286 || a == 287 || a == 140 || a == 141 || IsHeld(a) || IsFloored(a);
            if (dmg <= strength) {
                strength -= dmg;
                if ((rand() & 3) == 0)
                    PlayVoice(RandomN(2) == 0 ? NPCVO_Hurt_1 : NPCVO_Hurt_2);
                if (!down && !IsDeadOrHeld(a) && !(a >= 163 && a <= 167)) {
                    BlendToAnim(+BA::COMBAT_RECOIL_HIGH_ANI, 3);
                    combatmode = CM_RECOIL;
                    cyclesleft = 1;
                    timeleft = 1000;
                }
            } else {
                strength = 0.0f;
                if (a == 286 || a == 287 || a == 138 || a == 140 || a == 141 || IsHeld(a) || IsDeadOrHeld(a)) {
                    flags &= ~0x20100u;
                    BlendToAnim(+BA::LYING_DOWN_KILLED_ANI, 3);
                } else {
                    if (IsFloored(a))
                        flags &= ~0x20100u;
                    BlendToAnim(+BA::KILLED_ANI, 3);
                }
                if (!(a >= 177 && a <= 179))
                    PlayVoice(NPCVO_Killed);
                hostage = nullptr;
                flags |= GUYF_DYING;
                combatmode = CM_DEAD;
                if (gameeventobj != nullptr) {
                    SpecialMessage ev(SMSG_EV_KNOCKED_DOWN, this, int(bullet->id), 1);
                    gameeventobj->SendMessage(OM_SPECIAL, &ev);
                }
            }
        }
        if (target == nullptr && bullet != nullptr) {
            Object* src = world.objectlist.Find(bullet->sourceid);
            target = src;
            pTargetTorso = src != nullptr ? src->FindSubObject(20) : nullptr;
        }
        return 0;
    }
    case SMSG_EV_ATTACK_STARTED:
        lastenemyattack = world.time;
        if (obj != nullptr && obj == target && p0 == 4 &&
            (mode2 == +BA::LYING_DOWN_ANI || mode2 == +BA::COMBAT_RECOIL_WALL_FALL_ANI) &&
            combatmode != CM_BLOWNAWAY && combatmode != CM_DEAD && !(flags & 0x70000000)) {
            const int p1 = m->param[1];
            if (p1 >= 201 && p1 <= 203) {
                if (!Chance(aggro)) {
                    numloops = 0;
                } else if ((obj->GetWorldPos() - GetWorldPos()).LengthSq() < 0.299072f) {
                    const Matrix wm = GetWorldMatrix();
                    const VectorDir x(wm.x[0], wm.x[1], wm.x[2]);
                    const bool plusSide = Dot(obj->GetWorldPos() - GetWorldPos(), x) > 0.0f;
                    auto freeAt = [&](float sx) {
                        if (torso == nullptr)
                            return true;
                        Matrix pm = torso->GetWorldMatrix();
                        pm.SetTrans(pm.GetTrans() + x * (0.3125f * sx));
                        CollisionChecker cc;
                        cc.CheckBox(pm, torso->GetRawBox(), 0x21, 0);
                        for (int k = 0; k < cc.numcollobjs && k < CollisionChecker::MAXHITS; k++) {
                            const Object* o = cc.collobjs[k];
                            if (o != nullptr &&
                                (o->type == OBJT_STATIC || o->type == OBJT_PLACEHOLDER || o->type == OBJT_DYNAMIC))
                                return false;
                        }
                        return true;
                    };
                    const float order[2] = {plusSide ? 1.0f : -1.0f, plusSide ? -1.0f : 1.0f};
                    for (float sx : order) {
                        if (!freeAt(sx))
                            continue;
                        const u16 roll = sx > 0.0f ? +BA::COMBAT_KNOCKDOWN_ROLL_L_ANI : +BA::COMBAT_KNOCKDOWN_ROLL_R_ANI;
                        if (mode2 == +BA::COMBAT_RECOIL_WALL_FALL_ANI) {
                            const Matrix r = RotY(3.14159265f) * mat;
                            mat.x = r.x;
                            mat.y = r.y;
                            mat.z = r.z;
                            SetAnim(roll);
                        } else {
                            BlendToAnim(roll, 3);
                        }
                        break;
                    }
                }
            } else if (p1 >= 204 && p1 <= 206)
                BlendToAnim(+BA::COMBAT_KNOCKDOWN_GETUP_ANI, 10);
        }
        return 0;
    case SMSG_EV_ATTACK_HIT: lastattackhit = world.time; return 0;
    case SMSG_EV_ATTACK_BLOCKED: lastattackblock = world.time; return 0;
    case SMSG_EV_PLAYER_ANIM_EVENT: {
        if (mode != 21 || obj == nullptr || obj != target || obj->id != -1 || obj != dace)
            return 0;
        Dace* p = dace;
        if (p->target != this || (p->mode2 >= 174 && p->mode2 <= 182) || combatmode == CM_BLOWNAWAY ||
            (flags & 0x70000000))
            return 0;
        const u16 a = mode2;
        const bool fresh = Before(lastenemyattackhit, lastenemyattack) && Before(lastenemyattackblock, lastenemyattack);
        const bool blocking = a >= 119 && a <= 121 && fresh;
        const bool open = (a >= 84 && a <= 87) || (a >= 142 && a <= 146) || (a >= 93 && a <= 104) || a == 122 ||
                          a == 134 || (a >= 124 && a <= 131);
        if (!blocking && !open)
            return 0;
        SpecialMessage q(SMSG_Q_COLLISION, this);
        const int r = p->SendMessage(OM_SPECIAL, &q);
        int type = 0, height = 0, side = 0;
        if (p->curattack != nullptr) {
            type = p->curattack->type;
            height = p->curattack->height;
            side = p->curattack->side;
        }
        combatmode = CombatModes(ReactToAttack(r, type, height, side, (p->flags & 0x02000000) != 0));
        if (combatmode == CM_DEFEND)
            ReBlendToAnim(u16(CalculateBlockAni(p->flags)), 3, -1, -1, false);
        return 0;
    }
    case 28001:
        if (gameeventobj == nullptr)
            gameeventobj = obj;
        return 0;
    case 29002: return iLastDrawnTime;
    case 29003: return seenbydace ? 1 : 0;
    case 29004: return warnedbydace ? 1 : 0;
    case SMSG_Q_COLLISION: {
        if (nodamage)
            return 0;
        const u16 a = mode2;
        if (IsFloored(a) || IsDeadOrHeld(a))
            return 1;
        if (a >= 93 && a <= 104)
            return EnemyCollStrengths[style <= 6 ? style : 0][a - 93];
        return 0;
    }
    case 29006: return dazedstarttime != -1 ? 1 : 0;
    case 29007: return 0;
    case 29008: return curhitstodaze;
    case 29009: return totalhitstodaze;
    default: return 0;
    }
}
