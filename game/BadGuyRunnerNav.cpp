// How a runner finds its way along the pavements: the steering of each move
// mode (down the pavement inside its walk band, round obstacles, turning to
// face away from its pursuer, along the curved path round a corner or over a
// crossing, back onto the pavement), the choice at a junction and the path
// it builds, and the two escalations of a flight: taking a car and taking a
// hostage.
#include "game/BadGuyRunnerShared.h"

#include "ZevEngine2/Utilities.h"
#include "game/Bystander.h"
#include "game/Road.h"
#include "game/Vehicle.h"

using namespace runner;

namespace {

constexpr float kBandSlack = 0.03125f;

// The outgoing direction of a road position: its centre line's raw tangent,
// turned to point away from the junction.
VectorDir OutDir(const RoadPos& p)
{
    VectorDir t = p.rs->bezier.EvaluateTangent(p.t);
    return p.t > 0.5f ? -t : t;
}

bool ToTargetTest(VectorDir toThing, const Object* target, VectorPos me)
{
    if (target == nullptr)
        return true;   // nothing to measure against: every candidate passes
    return Dot(toThing, target->GetWorldPos() - me) < 0.5f;
}

}  // namespace

// ---------------------------------------------------------------------------
// Modes

void Enemy::SetMoveMode(int m)
{
    if (m == movemode)
        return;
    lastmovemode = movemode;
    movemode = m;
    movesubmode = MoveSub_Normal;
}

void Enemy::UpdateRoadType(const RoadSeg* rs)
{
    if (rs == nullptr || rs == calcrs || rs->type == nullptr)
        return;
    const RoadType& t = *rs->type;
    float lmin = t.vXSect[0][0] + 0.078125f, lmax = t.vXSect[t.iJuncLeft][0] - 0.078125f;
    float rmin = t.vXSect[t.iJunc][0] + 0.078125f, rmax = t.vXSect[t.iRightEdge][0] - 0.078125f;
    float d = (lmax - lmin) * 0.25f;
    lmin += d;
    lmax -= d;
    d = (rmax - rmin) * 0.25f;
    rmin += d;
    rmax -= d;
    SidewalkMinWalkWidth_L = lmin;
    SidewalkMaxWalkWidth_L = lmax;
    SidewalkMinWalkWidth_R = rmin;
    SidewalkMaxWalkWidth_R = rmax;
    calcrs = rs;
}

void Enemy::RestartPreviousMoveAnim()
{
    BlendToAnim(movespeed == MOVE_WALK ? +BA::WALK_ANI : +BA::SPRINT_ANI, 10);
}

void Enemy::Start_StoppingAtCorner()
{
    movemode = Move_AtCorner;
    stoppedatcornertime = world.time;
}

void Enemy::MoveStoppingAtCorner()
{
    if (mode2 != +BA::SPRINT_GETBEARINGS_ANI)
        SetAnim(+BA::SPRINT_GETBEARINGS_ANI);
}

void Enemy::End_StoppingAtCorner()
{
    ChooseIntersectionMode(GROUNDTYPE(prevloctype), lastmovedir, false, VectorDir(0.0f, 0.0f, 0.0f));
}

// ---------------------------------------------------------------------------
// Move

void Enemy::Move()
{
    switch (movemode) {
    case Move_DownSidewalk: MoveDownSidewalk(); break;
    case Move_AroundCorner:
    case Move_AcrossCrosswalk:
    case Move_AcrossStreet: MoveAlongPath(true); break;
    case Move_AcrossIntersection: MoveAlongPath(false); break;
    case Move_OntoSidewalk: MoveBackOntoSidewalk(); break;
    case Move_IntoIntersection: MoveBackIntoIntersection(); break;
    case Move_AtCorner: MoveStoppingAtCorner(); break;
    default: break;   // the start, down the street and in the street steer nothing
    }
    const VectorPos me = GetWorldPos();
    const VectorDir fwd = Forward(this);
    auto gate = [&](float chance) {
        if (chance == 1.0f)
            return true;
        if (target == nullptr || Dist2(target->GetWorldPos(), me) >= 25.0f)
            return false;
        if (!(pursuitstarttime == -1 || world.time - pursuitstarttime > 1200))
            return false;
        return randf() < chance * 0.5f;
    };
    if (gate(commandeeringchance)) {
        Vehicle* best = nullptr;
        float bestd = 25.0f;
        for (ObjectIterator it = world.vehlist.Begin(); !it.IsEOList(); ++it) {
            Object* o = *it;
            if (o == nullptr || o->IsDead() || o->type != OBJT_VEHICLE)
                continue;
            auto* v = static_cast<Vehicle*>(o);
            const VectorDir d = v->GetWorldPos() - me;
            const float d2 = Dot(d, d);
            if (d2 >= bestd || Dot(d, fwd) < 0.0f || !ToTargetTest(d, target, me))
                continue;
            if (v->rcoDriver != nullptr && v->rcoDriver->id == -1)
                continue;
            if (!(v->fBaseStrength > 0.0f && v->strength / v->fBaseStrength > 0.6f))
                continue;
            best = v;
            bestd = d2;
        }
        if (best != nullptr && StartGettingIn(best))
            Start_Run_Transition();
    }
    if (gate(takehostagechance)) {
        Object* best = nullptr;
        float bestd = 0.390625f;
        for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it) {
            Object* o = *it;
            if (o == nullptr || o->IsDead() || o == this || o->id < -100 || o->id > 100 || o->id == -1)
                continue;
            const VectorDir d = o->GetWorldPos() - me;
            const float d2 = Dot(d, d);
            if (d2 >= bestd || Dot(d, fwd) < 0.0f || !ToTargetTest(d, target, me))
                continue;
            best = o;
            bestd = d2;
        }
        if (best != nullptr) {
            Enemy* taken = best->messagehandler == &Bystander::Bystander_mh
                               ? static_cast<Bystander*>(best)->MorphIntoRunner(-1, 0.0f, 0.0f, 1.0f, -1, nullptr, false)
                               : nullptr;
            // A pedestrian that cannot turn into a runner is left alone:
            // there is no one to command.
            if (taken != nullptr) {
                taken->TurnIntoHostage();
                TakeObjectHostage(taken);
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Down the pavement

void Enemy::MoveDownSidewalk()
{
    const VectorPos me = GetWorldPos();
    float a = 1.0f;
    if (mode == 2 && target != nullptr)
        a = Dot(FlatUnit(Forward(this)), FlatUnit(me - target->GetWorldPos()));
    VectorDir dir = FlatUnit(ghc.GetDir());
    const bool reversed = Dot(dir, FlatUnit(Forward(this))) < 0.0f;
    if (reversed)
        dir = -dir;
    const float s = ghc.rsres[0];

    if (movesubmode == MoveSub_Normal || movesubmode == MoveSub_EvadeObstacle) {
        if (mode == 2 && a < -0.703125f) {
            RestartPreviousMoveAnim();
            movesubmode = MoveSub_TurnAround;
        }
    }
    if (movesubmode == MoveSub_Normal) {
        ObstacleInfo found;
        ScanForObstacles(&found);
        Object* ob = found.obj;
        Object* root = ob != nullptr ? ob->GetRoot() : nullptr;
        bool consider = ob != nullptr && found.ghc.prs == ghc.prs;
        if (consider && curobstacle.obj != nullptr && root->type != OBJT_CHARACTER && root->id != -1001 &&
            root == curobstacle.obj->GetRoot())
            consider = false;
        if (consider) {
            CalcObstacleSides(&found, dir);
            const VectorDir d = root->GetWorldPos() - me;
            const VectorDir f(mat.z.xyz()), x(mat.x.xyz());
            const u16 cur = mode2;
            const bool busy = cur == 240 || cur == 241 || cur == 248 || cur == 249 || cur == 254 || cur == 255;
            const bool shoveable = Dot(d, f) > 0.15625f && Dot(d, f) < 0.625f && Dot(d, x) > -0.125f &&
                                   Dot(d, x) < 0.125f && Dot(Normalise(d), f) > 0.703125f;
            if (root->type == OBJT_CHARACTER || root->id == -1001) {
                if (!busy && shoveable) {
                    curobstacle.obj = found.obj;
                    curobstacle.ghc = found.ghc;
                    curobstacle.closerside = found.closerside;
                    const bool left = Dot(d, x) < 0.0f;
                    if (root->type == OBJT_CHARACTER)
                        BlendToAnim(left ? +BA::SPRINT_SHOVE_L_ANI : +BA::SPRINT_SHOVE_R_ANI, 3);
                    else
                        BlendToAnim(left ? +BA::SPRINT_YANK_L_ANI : +BA::SPRINT_YANK_R_ANI, 3);
                }
            } else if (found.obj != nullptr) {
                const float d2 = Dot(d, d);
                if (d2 < 87.5f && d2 > 0.390625f && Dot(d, dir) > 0.0f && found.closerside != 0 &&
                    Dot(found.leftside - me, dir) > 0.0f && Dot(found.rightside - me, dir) > 0.0f) {
                    curobstacle.obj = found.obj;
                    curobstacle.ghc = found.ghc;
                    curobstacle.leftside = found.leftside;
                    curobstacle.rightside = found.rightside;
                    curobstacle.leftsideoffset = found.leftsideoffset;
                    curobstacle.rightsideoffset = found.rightsideoffset;
                    curobstacle.closerside = found.closerside;
                    RestartPreviousMoveAnim();
                    movesubmode = MoveSub_EvadeObstacle;
                }
            }
        }
        if (movesubmode == MoveSub_Normal) {
            UpdateRoadType(ghc.prs);
            const float lo = s < 0.0f ? SidewalkMinWalkWidth_L : SidewalkMinWalkWidth_R;
            const float hi = s < 0.0f ? SidewalkMaxWalkWidth_L : SidewalkMaxWalkWidth_R;
            float e = 0.0f;
            if (s - lo < -kBandSlack)
                e = s - lo;
            else if (s - hi > kBandSlack)
                e = s - hi;
            if (e != 0.0f) {
                if (reversed)
                    e = -e;
                dir = FlatUnit(dir - VectorDir(dir[2], 0.0f, -dir[0]) * e);
            }
            TurnTowardFlat(dir);
        }
    }
    if (movesubmode == MoveSub_EvadeObstacle) {
        if (mode2 != +BA::SPRINT_DART_L_ANI && mode2 != +BA::SPRINT_DART_R_ANI) {
            Object* ob = curobstacle.obj;
            Object* root = ob != nullptr ? ob->GetRoot() : nullptr;
            const VectorDir d = root != nullptr ? VectorDir(root->GetWorldPos() - me) : VectorDir(0.0f, 0.0f, 0.0f);
            const bool goingon = root != nullptr && curobstacle.closerside != 0 && Dot(d, d) < 87.5f &&
                                 Dot(d, dir) > 0.0f && Dot(curobstacle.leftside - me, dir) > 0.0f &&
                                 Dot(curobstacle.rightside - me, dir) > 0.0f;
            if (goingon) {
                VectorPos aim;
                if (s < 0.0f && SidewalkMaxWalkWidth_L < curobstacle.rightsideoffset)
                    aim = curobstacle.leftside;
                else if (s >= 0.0f && curobstacle.leftsideoffset < SidewalkMinWalkWidth_R)
                    aim = curobstacle.rightside;
                else
                    aim = curobstacle.closerside == -1 ? curobstacle.leftside : curobstacle.rightside;
                const VectorDir to = FlatUnit(aim - me);
                if (to.LengthSq() > 0.0f)
                    TurnToward(to, 0.1396263f * world.playbackSpeed);
            } else {
                curobstacle.obj = nullptr;
                movesubmode = MoveSub_Normal;
            }
        }
    } else if (movesubmode == MoveSub_TurnAround) {
        if (a < 0.0f) {
            const VectorDir down(0.0f, -1.0f, 0.0f);
            const VectorDir perp = s < 0.0f ? FlatUnit(dir ^ down) : FlatUnit(down ^ dir);
            TurnTowardFlat(perp);
        } else {
            movesubmode = MoveSub_Normal;
        }
    } else if (movesubmode == MoveSub_Wander) {
        TurnTowardFlat(wanderdir);
    }
    nextroadpos.rs = ghc.prs;
    nextroadpos.t = ghc.rsres[2];
    nextroadpos.positiveoff = s > 0.0f;
    lastrs = ghc.prs;
    lastmovedir = dir;
}

// ---------------------------------------------------------------------------
// Along a path, back to the road

void Enemy::MoveAlongPath(bool pullback)
{
    const VectorPos me = GetWorldPos();
    VectorDir tangent;
    const VectorXYZ p = pathspline.CalcParams(me, tangent);
    VectorDir heading = FlatUnit(pathspline.EvaluateTangent(p[2]));
    if (pullback && p[0] > 0.15625f) {
        const Vector on = pathspline.Evaluate(p[2]);
        heading = FlatUnit(heading + FlatUnit(VectorPos(on.xyz()) - me));
    }
    TurnTowardFlat(heading);
    lastmovedir = heading;
}

void Enemy::MoveBackOntoSidewalk() { MoveBackToRoad(false); }

void Enemy::MoveBackIntoIntersection() { MoveBackToRoad(true); }

void Enemy::MoveBackToRoad(bool intersection)
{
    const VectorPos me = GetWorldPos();
    if (nextroadpos.rs == nullptr) {
        const RoadSeg* rs = lastrs != nullptr ? lastrs : ghc.prs;
        if (lastrs == nullptr && ghc.prs != nullptr)
            lastrs = ghc.prs;
        if (rs == nullptr)
            return;
        nextroadpos.rs = const_cast<RoadSeg*>(rs);
        float t = 0.0f;
        rs->bezier.ClosestPoint(me, &t, nullptr);
        nextroadpos.t = t;
        if (t > 0.0f && t < 1.0f) {
            VectorDir d;
            nextroadpos.positiveoff = rs->bezier.CalcParams(me, d)[0] > 0.0f;
        } else {
            nextroadpos.positiveoff = (rand() & 1) != 0;
        }
    }
    VectorDir away(0.0f, 0.0f, 0.0f);
    if (mode == 2 && target != nullptr)
        away = FlatUnit(me - target->GetWorldPos());
    UpdateRoadType(nextroadpos.rs);
    const bool off = intersection ? (loctype == 8 || loctype == 9) : (loctype >= 3 && loctype <= 9);
    if (!off) {
        SetMoveMode(intersection ? lastmovemode : int(Move_DownSidewalk));
        return;
    }
    float o;
    if (!intersection)
        o = nextroadpos.positiveoff ? SidewalkMinWalkWidth_R : SidewalkMaxWalkWidth_L;
    else
        o = nextroadpos.positiveoff ? SidewalkMaxWalkWidth_R : SidewalkMinWalkWidth_L;
    const Bezier line = RoadSegOffset(nextroadpos.rs->bezier, o);
    const Vector first = line.Evaluate(nextroadpos.t);
    VectorDir d;
    const float t2 = line.CalcParams(VectorPos(first.xyz()), d)[2];
    const VectorPos p(line.Evaluate(t2).xyz());
    VectorDir T = FlatUnit(line.EvaluateTangent(t2));
    if (lastmovedir.LengthSq() > 0.0f) {
        if (Dot(T, lastmovedir) < 0.0f)
            T = -T;
    } else if (mode == 2 && target != nullptr && Dot(T, away) < -0.703125f) {
        T = -T;
    }
    const VectorDir to = Flat(p - me);
    const float k = std::max(0.0f, 0.625f - Length(to));
    TurnTowardFlat(to + T * k);
}

// ---------------------------------------------------------------------------
// Junctions

void Enemy::ChooseIntersectionMode(GROUNDTYPE, VectorDir, bool, VectorDir)
{
    Junction* j = ghc.pjunc;
    if (j == nullptr)
        return;
    const int now = world.time;
    const VectorPos me = GetWorldPos();
    const VectorDir fwd = Forward(this);
    RoadPos chosen;
    int m = Move_AroundCorner;
    auto crossingMode = [&](const RoadPos& p) {
        return p.rs != nullptr && j->GetSignalCommand(*p.rs, now) == 0 ? int(Move_AcrossCrosswalk)
                                                                       : int(Move_AcrossIntersection);
    };
    if (movemode == Move_InStreet) {
        const RoadSeg* rs = GetRoadSegmentInDirection(j, fwd, nullptr);
        if (rs == nullptr)
            return;
        SetAcrossStreetPos(chosen, j, rs, (rand() & 1) != 0);
        m = Move_AcrossIntersection;
    } else {
        if (lastrs == nullptr || (lastrs->jtn[0] != j && lastrs->jtn[1] != j))
            lastrs = GetRoadSegmentInDirection(j, -fwd, nullptr);
        if (lastrs == nullptr)
            return;
        const bool side = ghc.rsres[0] > 0.0f;
        RoadPos A;
        SetAroundCornerPos(A, j, lastrs, side);
        if (j->nRoadsegs < 3 || A.rs == nullptr) {
            chosen = A;
            m = Move_AroundCorner;
        } else {
            RoadPos B, C;
            SetAcrossStreetPos(B, j, lastrs, side);
            SetAroundCornerPos(C, j, lastrs, side);
            if (C.rs != nullptr)
                SetAcrossStreetPos(C, j, C.rs, C.positiveoff);
            if (C.rs != nullptr)
                SetAroundCornerPos(C, j, C.rs, C.positiveoff);
            auto bandPoint = [this](const RoadPos& p) {
                const float o = p.positiveoff ? (SidewalkMinWalkWidth_R + SidewalkMaxWalkWidth_R) * 0.5f
                                              : (SidewalkMinWalkWidth_L + SidewalkMaxWalkWidth_L) * 0.5f;
                return VectorPos(RoadSegOffset(p.rs->bezier, o).Evaluate(p.t).xyz());
            };
            const bool haveB = B.rs != nullptr, haveC = C.rs != nullptr;
            const bool cNearer = haveB && haveC && Dist2(bandPoint(C), me) < Dist2(bandPoint(B), me);
            if (hasdest) {
                const VectorDir d = Normalise(VectorDir(destpos - me));
                const float sa = Dot(OutDir(A), d);
                const float sb = haveB ? Dot(OutDir(B), d) : -1e30f;
                const float sc = haveC ? Dot(OutDir(C), d) : -1e30f;
                if (j->nRoadsegs == 3) {
                    if (cNearer)
                        chosen = sc < sa ? A : C;
                    else
                        chosen = sb < sa ? A : B;
                } else if (sb < sa) {
                    chosen = sc < sa ? A : C;
                } else {
                    chosen = sc < sb ? B : C;
                }
                m = chosen.rs == A.rs && chosen.t == A.t && chosen.positiveoff == A.positiveoff
                        ? int(Move_AroundCorner)
                        : crossingMode(chosen);
            } else if (j->nRoadsegs == 3) {
                if ((rand() & 1) == 0) {
                    chosen = A;
                    m = Move_AroundCorner;
                } else {
                    chosen = cNearer ? C : B;
                    m = crossingMode(chosen);
                }
            } else {
                const int sig = j->GetSignalCommand(*lastrs, now);
                const bool corner = (rand() & 1) != 0;
                if (corner) {
                    chosen = A;
                    m = Move_AroundCorner;
                } else if (sig == 1) {
                    chosen = C;
                    m = Move_AcrossCrosswalk;
                } else {
                    chosen = B;
                    m = Move_AcrossIntersection;
                }
            }
            if (chosen.rs == nullptr) {
                chosen = A;
                m = Move_AroundCorner;
            }
        }
    }
    if (chosen.rs == nullptr)
        return;
    SetMoveMode(m);
    nextroadpos = chosen;
    UpdateRoadType(chosen.rs);
    UpdatePathSpline(chosen);
}

void Enemy::UpdatePathSpline(const RoadPos& rp)
{
    if (rp.rs == nullptr)
        return;
    const float o = rp.positiveoff ? (SidewalkMaxWalkWidth_R + SidewalkMinWalkWidth_R) * 0.5f
                                   : (SidewalkMaxWalkWidth_L + SidewalkMinWalkWidth_L) * 0.5f;
    const Bezier line = RoadSegOffset(rp.rs->bezier, o);
    const VectorDir T = line.EvaluateTangent(rp.t);
    const float L = Length(T);
    if (L <= 0.0f)
        return;
    const VectorDir U = T * (1.0f / L);
    VectorPos end;
    VectorDir enddir;
    if (rp.t > 0.5f) {
        end = VectorPos(line.Evaluate(rp.t - 1.5625f / L).xyz());
        enddir = -U;
    } else {
        end = VectorPos(line.Evaluate(rp.t + 1.5625f / L).xyz());
        enddir = U;
    }
    GetPathSpline(&pathspline, GetWorldPos(), Normalise(Forward(this)), end, enddir);
}
