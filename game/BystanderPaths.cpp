// The pedestrian's street paths: the pavement lanes of a road, the corner
// and crossing curves of a junction, the choice of the next curve, the
// signal rule, rogue steps towards a target and the curve following.
#include "game/Bystander.h"

#include <cmath>

#include "ZevEngine2/Utilities.h"
#include "game/GameModes.h"
#include "game/QuadTree.h"

namespace {

VectorDir FlatUnit(VectorXYZ v)
{
    VectorDir d(v[0], 0.0f, v[2]);
    const float l = d.Length();
    return l > 0.0f ? VectorDir(d / l) : d;
}

// The straight curve at 0.25/0.75 from a to b.
Bezier Straight(VectorPos a, VectorPos b)
{
    const VectorDir d = b - a;
    return Bezier(Vector(a, 1.0f), Vector(VectorPos(a + d * 0.25f), 1.0f), Vector(VectorPos(a + d * 0.75f), 1.0f),
                  Vector(b, 1.0f));
}

VectorPos At(const Bezier& b, float t)
{
    const Vector v = b.Evaluate(t);
    return VectorPos(v[0], v[1], v[2]);
}

// Cross-section x of point i of a road kind.
float X(const RoadType* t, int i) { return t->vXSect[i][0]; }

}  // namespace

void Bystander::SetAction(ActionType a)
{
    if (action >= Action_RogueChain)
        prevaction = action;
    action = a;
}

bool Bystander::BezierIsZero(const Bezier& b)
{
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < 4; k++)
            if (b[i][k] != 0.0f)
                return false;
    return true;
}

void Bystander::GetRoadPaths(const RoadSeg* seg)
{
    const RoadType* t = seg->type;
    const float wL = std::fabs(X(t, 0) - X(t, t->iJuncLeft));
    const float wR = std::fabs(X(t, t->iRightEdge) - X(t, t->iJunc));
    leftsideleftlane = X(t, 0) + 0.35f * wL;
    leftsiderightlane = X(t, t->iJuncLeft) - 0.35f * wL;
    rightsideleftlane = X(t, t->iJunc) + 0.35f * wR;
    rightsiderightlane = X(t, t->iRightEdge) - 0.35f * wR;
    sidewalk[0] = RoadSegOffset(seg->bezier, leftsideleftlane);
    sidewalk[1] = RoadSegOffset(seg->bezier, leftsiderightlane);
    sidewalk[2] = RoadSegOffset(seg->bezier, rightsideleftlane);
    sidewalk[3] = RoadSegOffset(seg->bezier, rightsiderightlane);
}

void Bystander::GetIntersectionPaths(const Junction* jtn)
{
    const int n = jtn->nRoadsegs;
    for (int i = 0; i < n; i++) {
        rs[i] = jtn->roadsegs[i];
        rt[i] = rs[i] != nullptr ? rs[i]->type : nullptr;
        end[i] = rs[i] != nullptr && rs[i]->jtn[1] == jtn;
        kerb[i] = jtn->Kerb(i);
        k0[i] = k1[i] = 0.0f;
        if (rt[i] == nullptr)
            continue;
        const float L = X(rt[i], 0) + X(rt[i], rt[i]->iJuncLeft);
        const float R = X(rt[i], rt[i]->iJunc) + X(rt[i], rt[i]->iRightEdge);
        if (end[i]) {
            k1[i] = -L / 2.0f;
            k0[i] = R / 2.0f;
        } else {
            k1[i] = R / 2.0f;
            k0[i] = -L / 2.0f;
        }
    }
    for (int i = 0; i < n; i++) {
        const int prev = i == 0 ? n - 1 : i - 1;
        kerb[i] = JunctionOffset(kerb[i], k0[prev], k1[i]);
    }
    for (int i = 0; i < n; i++)
        crosswalk[i] = Straight(At(kerb[i], 0.5f), At(kerb[(i + 1) % n], 0.5f));
}

bool Bystander::EndOfPath()
{
    if (path.c0 == path.c1 && path.c1 == path.c2 && path.c2 == path.c3)
        return true;
    VectorDir dir;
    const VectorXYZ r = path.CalcParams(mat.GetTrans(), dir);
    return r[2] >= 1.0f;
}

bool Bystander::SafeToCross()
{
    const Junction* j = ghc.pjunc;
    if (j == nullptr)
        return true;
    const RoadSeg* across = crossnum >= 0 && crossnum < 6 ? rs[crossnum] : nullptr;
    const RoadSeg* along = sidecrossnum >= 0 && sidecrossnum < 6 ? rs[sidecrossnum] : nullptr;
    const int a = across != nullptr ? j->GetSignalCommand(*across, world.time) : 0;
    const int b = along != nullptr ? j->GetSignalCommand(*along, world.time) : 0;
    return a == 12 || b == 1;
}

bool Bystander::RunLights() { return thought == Thought_Wary || thought == Thought_Scared; }

void Bystander::StartCrossing()
{
    if (SafeToCross() || RunLights()) {
        if (!RunLights())
            BlendToAnim(WALK_ANI, 15);
        SetAction(Action_CrossStreet);
    } else {
        BlendToAnim(IDLE_ANI, 15);
        SetAction(Action_WaitForLight);
    }
}

bool Bystander::ChooseNewRoguePath()
{
    switch (thought) {
    case Thought_Angry:
    case Thought_Interested:
    case Thought_Greet:
    case Thought_Chase:
    case Thought_Carjack:
    case Thought_Fight:
    case Thought_Rob:
    case Thought_Mug:
    case Thought_Deal:
    case Thought_Prop:
    case Thought_Surrender:
        break;
    default:
        return false;
    }
    const VectorPos p = mat.GetTrans();
    const VectorPos to = thoughtobj != nullptr ? thoughtobj->GetWorldPos() : thoughtpos;
    const VectorDir d = FlatUnit(to - p);
    path = Bezier(Vector(p, 1.0f), Vector(VectorPos(p + d * 0.046875f), 0.0f), Vector(VectorPos(p + d * 0.109375f), 0.0f),
                  Vector(VectorPos(p + d * 0.15625f), 0.0f));
    return true;
}

bool Bystander::ChooseNewStreetPath()
{
    const VectorDir f = FlatUnit(VectorXYZ(mat.z.v));
    const bool corner = area == Area_Intersection && loctype >= GroundType_OnCornerSidewalk_LL &&
                        loctype <= GroundType_OnCornerSidewalk_UL;
    if (!corner) {
        // 2. The road.
        const RoadSeg* road = nullptr;
        if (area == Area_Intersection || area == Area_GroundPatch) {
            float t;
            road = FindNearestRoadSeg(mat.GetTrans(), &t, false);
        } else {
            road = ghc.prs != nullptr ? ghc.prs : lastrs;
        }
        if (road == nullptr || road->type == nullptr)
            return false;
        GetRoadPaths(road);
        for (const Bezier& b : sidewalk)
            if (BezierIsZero(b))
                return false;
        // 3. The lane.
        const VectorDir r = FlatUnit(ghc.rsdir.xyz());
        const float s = ghc.rsres[0];
        if (Dot(f, r) > 0.0f)
            path = s < 0.0f ? sidewalk[lane ? 1 : 0] : sidewalk[lane ? 3 : 2];
        else
            path = s > 0.0f ? sidewalk[lane ? 2 : 3].Flip() : sidewalk[lane ? 0 : 1].Flip();
        action = Action_WalkOnSidewalk;
        return true;
    }

    // 1 and 4. A junction corner.
    kerbnum = ghc.GetIndex() & 0x7FFF;
    const Junction* j = ghc.pjunc != nullptr ? ghc.pjunc : lastjunc;
    if (j == nullptr)
        return false;
    const int n = j->nRoadsegs;
    // The corner and crossing arrays hold six roads.
    if (n < 2 || n > 6)
        return false;
    GetIntersectionPaths(j);
    const int K = kerbnum % n, P = K == 0 ? n - 1 : K - 1;
    auto E = [this, K](float u) { return At(kerb[K], u); };
    switch (action) {
    case Action_WalkOnSidewalk: {
        if (!(newarea && prevarea == Area_Road && area == Area_Intersection))
            break;
        roadnum = -1;
        for (int i = 0; i < n; i++)
            if (rs[i] == lastrs)
                roadnum = i;
        const bool forward = roadnum != K && roadnum == P;
        const int c = n == 2 ? 0 : rand() % 3;
        if (c == 0) {
            path = forward ? kerb[K] : kerb[K].Flip();
            action = Action_ExitCorner;
        } else {
            const VectorPos p = mat.GetTrans();
            path = forward ? Bezier(Vector(p, 1.0f), Vector(E(0.1f), 1.0f), Vector(E(0.3f), 1.0f), Vector(E(0.5f), 1.0f))
                           : Bezier(Vector(p, 1.0f), Vector(E(0.9f), 1.0f), Vector(E(0.7f), 1.0f), Vector(E(0.5f), 1.0f));
            action = Action_WalkToKerb;
        }
        break;
    }
    case Action_WalkToKerb:
        if (rand() & 1) {
            sidecrossnum = K;
            crossnum = P;
            path = crosswalk[P].Flip();
        } else {
            sidecrossnum = P;
            crossnum = K;
            path = crosswalk[K];
        }
        lastkerbnum = K;
        StartCrossing();
        break;
    case Action_CrossStreet: {
        const int L = lastkerbnum;
        const bool cameForward = K == (L + 1) % n;
        const bool cameBackward = K == (L == 0 ? n - 1 : L - 1);
        const Bezier up(Vector(E(0.5f), 1.0f), Vector(E(0.7f), 1.0f), Vector(E(0.9f), 1.0f), Vector(E(1.0f), 1.0f));
        const Bezier down(Vector(E(0.5f), 1.0f), Vector(E(0.3f), 1.0f), Vector(E(0.1f), 1.0f), Vector(E(0.0f), 1.0f));
        const int c = rand() % 3;
        if (c == 0 || c == 1) {
            if (cameForward)
                path = c == 0 ? up : down;
            else if (cameBackward)
                path = c == 0 ? down : up;
            action = Action_ExitCorner;
        } else {
            if (cameForward) {
                sidecrossnum = K == 0 ? n - 1 : K - 1;
                crossnum = (K + 1) % n;
                path = crosswalk[crossnum];
            } else if (cameBackward) {
                crossnum = K == 0 ? n - 1 : K - 1;
                sidecrossnum = (K + 1) % n;
                path = crosswalk[crossnum].Flip();
            }
            lastkerbnum = K;
            StartCrossing();
        }
        break;
    }
    case Action_ExitCorner:
        action = Action_WalkOnSidewalk;
        break;
    default:
        break;
    }
    return !BezierIsZero(path);
}

bool Bystander::WalkThePath()
{
    const VectorPos p = mat.GetTrans();
    // 1.
    if (action == Action_Stand && StillStanding()) {
        if (thoughtobj != nullptr) {
            const VectorDir to = FlatUnit(thoughtobj->GetWorldPos() - p);
            if (to.LengthSq() > 0.0f)
                TurnToward(to, walkturnspeed * world.playbackSpeed);
        }
        return true;
    }
    // 2.
    if (action == Action_WaitForLight) {
        if (SafeToCross()) {
            BlendToAnim(WALK_ANI, 15);
            action = Action_CrossStreet;
        } else {
            const VectorDir to = FlatUnit(At(path, 1.0f) - p);
            if (to.LengthSq() > 0.0f)
                TurnToward(to, walkturnspeed * world.playbackSpeed);
            return true;
        }
    }
    // 3.
    if (EndOfPath() || endpath) {
        if (action == Action_Stand || action == Action_Rogue) {
            if (ChooseNewRoguePath()) {
                endpath = false;
            } else {
                if (action == Action_Rogue)
                    path = prevpath;
                action = prevaction;
                endpath = false;
            }
        } else {
            ChooseNewStreetPath();
            endpath = false;
        }
    }
    // 4.
    if (BezierIsZero(path))
        return false;
    FollowPath(&path);
    return true;
}

void Bystander::FollowPath(Bezier* pathbez)
{
    if (pathbez == nullptr)
        return;
    bool zero = true;
    for (int i = 0; i < 4; i++)
        if ((*pathbez)[i][0] != 0.0f || (*pathbez)[i][1] != 0.0f || (*pathbez)[i][2] != 0.0f)
            zero = false;
    if (zero)
        return;
    const VectorPos p = mat.GetTrans();
    VectorDir chord;
    const VectorXYZ r = pathbez->CalcParams(p, chord);
    const float u = std::clamp(r[2], 0.0f, 1.0f);
    const float dist = std::fabs(r[0]);
    const VectorDir t = FlatUnit(pathbez->EvaluateTangent(u));
    const VectorDir c = FlatUnit(At(*pathbez, u) - p);
    VectorDir want;
    if (dist < 0.0625f)
        want = t;
    else if (dist < 1.5625f)
        want = FlatUnit((t * (1.5625f - dist) + c * dist) * 0.64f);
    else
        want = c;
    // 4. Steering round an obstacle, re-tested on one frame in eight.
    if ((world.time & 7) == (timeoffset & 7) && steering && !CheckDirectionForObstacles(want, 0.15625f))
        steering = false;
    if (steering)
        want = steerdir;
    want = FlatUnit(want);
    if (want.LengthSq() == 0.0f)
        return;
    const float rate = mode2 == WALK_ANI ? walkturnspeed
                       : (mode2 == RUN_ANI || mode2 == JOG_ANI) ? runturnspeed
                                                                : maxturnspeed;
    TurnToward(want, rate * world.playbackSpeed);
    const VectorDir f = FlatUnit(VectorXYZ(mat.z.v));
    pivotmultiplier = std::max((1.0f + Dot(f, want)) / 2.0f, 0.01f);
}
