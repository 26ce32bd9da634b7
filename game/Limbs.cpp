// Joint-limit arcs, pose functions, the limb solvers and the small joints
// built on them (see Limbs.h).
#include "game/Limbs.h"



#include "ZevEngine2/Anim.h"

// ---------------------------------------------------------------------------
// Arcs.  Both operations order the arcs first: A starts earlier (on a tie the
// second argument), B later.

namespace {

void OrderArcs(const AngleArc& a, const AngleArc& b, const AngleArc*& A, const AngleArc*& B)
{
    if (a.minang < b.minang) {
        A = &a;
        B = &b;
    } else {
        A = &b;
        B = &a;
    }
}

bool WrapsInto(const AngleArc& A, const AngleArc& B)
{
    float be = AngleArc::Wrap(B.minang + B.arclen);
    return be < B.minang && A.minang < be;
}

}  // namespace

int AngleArc::NumIntersections(const AngleArc& a, const AngleArc& b)
{
    const AngleArc *A, *B;
    OrderArcs(a, b, A, B);
    float aend = A->minang + A->arclen;
    if (B->minang < aend)
        return WrapsInto(*A, *B) ? 2 : 1;
    return WrapsInto(*A, *B) ? 1 : 0;
}

AngleArc AngleArc::Intersect(const AngleArc& a, const AngleArc& b)
{
    const AngleArc *A, *B;
    OrderArcs(a, b, A, B);
    float aend = A->minang + A->arclen;
    float bend = B->minang + B->arclen;
    AngleArc r;
    // B starting past A's end meets A only by wrapping round into A's start:
    // the common part is then the head of A.
    if (B->minang >= aend && WrapsInto(*A, *B)) {
        float l = Wrap(bend) - A->minang;
        r.minang = A->minang;
        r.arclen = l < A->arclen ? l : A->arclen;
        return r;
    }
    if (aend < bend) {
        float l = aend - B->minang;
        r.minang = B->minang;
        r.arclen = l > 0.0f ? l : 0.0f;
        return r;
    }
    return *B;
}

int AngleArc::Intersect(const AngleArc& a, const AngleArc& b, AngleArc* first, AngleArc* second)
{
    const AngleArc *A, *B;
    OrderArcs(a, b, A, B);
    float l1 = A->minang + A->arclen - B->minang;
    float c1 = l1 < 0.0f ? 0.0f : (l1 > B->arclen ? B->arclen : l1);
    float l2 = Wrap(B->minang + B->arclen) - A->minang;
    float c2 = l2 < 0.0f ? 0.0f : (l2 > A->arclen ? A->arclen : l2);
    AngleArc p1(B->minang, c1), p2(A->minang, c2);
    if (first != nullptr)
        *first = p1;
    if (second != nullptr)
        *second = p2;
    return (l1 > 0.0f ? 1 : 0) + (c2 > 0.0f ? 1 : 0);
}

namespace {

void RemoveArc(AngleArc* list, int& count, int i)
{
    for (int k = i; k + 1 < count; k++)
        list[k] = list[k + 1];
    count--;
}

}  // namespace

int IntersectArcList1(AngleArc* list, int& count, AngleArc arc)
{
    int todo = count;
    int i = 0;
    while (todo-- > 0) {
        int n = AngleArc::NumIntersections(arc, list[i]);
        if (n == 0) {
            RemoveArc(list, count, i);
            continue;
        }
        if (n == 1) {
            list[i] = AngleArc::Intersect(list[i], arc);
        } else {
            AngleArc l = list[i];
            AngleArc::Intersect(l, arc, &list[i], &list[count]);
            count++;
        }
        i++;
    }
    return 1;
}

int IntersectArcList2(AngleArc* list, int& count, AngleArc arc1, AngleArc arc2)
{
    int todo = count;
    int i = 0;
    while (todo-- > 0) {
        AngleArc l = list[i];
        int c1 = AngleArc::NumIntersections(arc1, l);
        int c2 = AngleArc::NumIntersections(arc2, l);
        if (c1 == 0 && c2 == 0) {
            RemoveArc(list, count, i);
            continue;
        }
        AngleArc pieces[4];
        int n = 0;
        if (c1 == 1) {
            pieces[n++] = AngleArc::Intersect(l, arc1);
        } else if (c1 == 2) {
            AngleArc::Intersect(l, arc1, &pieces[n], &pieces[n + 1]);
            n += 2;
        }
        if (c2 == 1) {
            pieces[n++] = AngleArc::Intersect(l, arc2);
        } else if (c2 == 2) {
            AngleArc::Intersect(l, arc2, &pieces[n], &pieces[n + 1]);
            n += 2;
        }
        list[i] = pieces[0];
        for (int k = 1; k < n; k++)
            list[count++] = pieces[k];
        i++;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Pose functions.

bool SlerpBlendAnim(Object* obj, Quaternion q, float speed, float snap)
{
    BlendAnimation* ba = obj != nullptr ? obj->blendAnim : nullptr;
    if (ba == nullptr)
        return false;
    ba->pose.ang = q;
    ba->pose.flags = ANIMKEY_ROT;
    float w = ba->poseBlend;
    if (1.0f - w < snap) {
        ba->poseBlend = 1.0f;
        return true;
    }
    ba->poseBlend = w + speed;
    return false;
}

void SetBlendPose(Object* obj, Quaternion q)
{
    BlendAnimation* ba = obj != nullptr ? obj->blendAnim : nullptr;
    if (ba == nullptr)
        return;
    ba->pose.ang = q;
    ba->pose.flags = ANIMKEY_ROT;
    ba->poseBlend = 1.0f;
}

bool RelaxBlendAnimPose(Object* obj, float speed)
{
    BlendAnimation* ba = obj != nullptr ? obj->blendAnim : nullptr;
    if (ba == nullptr || ba->poseBlend <= 0.0f)
        return false;
    float w = ba->poseBlend - speed;
    ba->poseBlend = w > 0.0f ? w : 0.0f;
    return ba->poseBlend != 0.0f;
}

bool SlerpMatrix(Matrix* m, Quaternion q, float speed, float snap)
{
    Quaternion c(*m);
    if (Dot(Vector(c + q), Vector(c + q)) < Dot(Vector(c - q), Vector(c - q)))
        q = -q;
    float d = Dot(Vector(c), Vector(q));
    float a = acosf(d > 1.0f ? 1.0f : (d < -1.0f ? -1.0f : d));
    // A difference of no angle has arrived whatever the snap: the ease below
    // would divide by it.
    if ((d >= 0.0f && a < snap) || a == 0.0f) {
        Matrix r = Matrix(q);
        m->x = r.x;
        m->y = r.y;
        m->z = r.z;
        return true;
    }
    float fa = fabsf(a);
    float t = (speed > 0.0f ? (speed < fa ? speed : fa) : 0.0f) / fa;
    float s = t * t * (3.0f - 2.0f * t);
    Matrix r = Matrix(SLERP(c, q, s));
    m->x = r.x;
    m->y = r.y;
    m->z = r.z;
    return false;
}

// ---------------------------------------------------------------------------
// Solvers.

namespace {

void WriteRows(Matrix* out, const Matrix& r)
{
    out->x = r.x;
    out->y = r.y;
    out->z = r.z;
}

float ClampUnit(float x) { return x > 1.0f ? 1.0f : (x < -1.0f ? -1.0f : x); }

// The angle moved to the nearer end of its arc: FixAng(x - start) against
// the distance to the end (wrapped), as the clamping solver weighs them.
float ClampToArc(float x, const AngleArc& arc)
{
    float e = AngleArc::Wrap(arc.minang + arc.arclen);
    return FixAng(x - arc.minang) < fabsf(FixAng(x - e)) ? arc.minang : e;
}

float NearerEnd(float x, const AngleArc& arc)
{
    float e = AngleArc::Wrap(arc.minang + arc.arclen);
    return fabsf(FixAng(arc.minang - x)) < fabsf(FixAng(e - x)) ? arc.minang : e;
}

// Pitch, yaw and twist of a first-segment direction with its reference.
bool DirectionWithinLimits(VectorXYZ dn, VectorXYZ ref, const AngleArc* limits)
{
    float pitch = -asinf(ClampUnit(dn[1]));
    float yaw = ArcTan2(dn[0], dn[2]);
    if (!limits[0].Contains(pitch) || !limits[1].Contains(yaw))
        return false;
    if (limits[2].arclen < kLimbTwoPi) {
        Matrix R = RotX(pitch) * RotY(yaw);
        float twist = ArcTan2(Dot(ref, VectorXYZ(R.y.v)), Dot(ref, VectorXYZ(R.x.v)));
        if (!limits[2].Contains(twist))
            return false;
    }
    return true;
}

}  // namespace

bool Solve1JointLimb(VectorPos dir, VectorDir ref, const AngleArc* limits, Matrix* out)
{
    VectorXYZ dn = Normalise(static_cast<const VectorXYZ&>(dir));
    if (!DirectionWithinLimits(dn, ref, limits))
        return false;
    if (out != nullptr)
        WriteRows(out, LookAlong(VectorDir(dn), VectorDir(dn ^ ref)));
    return true;
}

bool Solve1JointLimbClosest(VectorPos dir, VectorDir ref, const AngleArc* limits, Matrix* out)
{
    VectorXYZ dn = Normalise(static_cast<const VectorXYZ&>(dir));
    float pitch = -asinf(ClampUnit(dn[1]));
    float yaw = ArcTan2(dn[0], dn[2]);
    if (!limits[0].Contains(pitch))
        pitch = ClampToArc(pitch, limits[0]);
    if (!limits[1].Contains(yaw))
        yaw = ClampToArc(yaw, limits[1]);
    Matrix R = RotX(pitch) * RotY(yaw);
    float twist = ArcTan2(Dot(ref, VectorXYZ(R.y.v)), Dot(ref, VectorXYZ(R.x.v)));
    if (!limits[2].Contains(twist))
        twist = ClampToArc(twist, limits[2]);
    if (out != nullptr)
        WriteRows(out, RotZ(twist) * R);
    return true;
}

// The circle is searched at a fixed number of points: each run of points
// whose direction keeps every limit becomes an arc of the list, and the
// allowed angle nearest the first-tried point (angle 0) is taken, an arc end
// when that point itself is refused.
bool Solve1JointLimbCircle(VectorPos centre, float radius, VectorDir ref, const AngleArc* limits, Matrix* out)
{
    constexpr int kSteps = 256;
    constexpr int kMaxArcs = 16;
    VectorXYZ axis = Normalise(static_cast<const VectorXYZ&>(centre));
    VectorXYZ e1 = -Normalise(static_cast<const VectorXYZ&>(ref));
    VectorXYZ e2 = axis ^ e1;
    auto pointAt = [&](float ang) { return VectorXYZ(centre) + e1 * (radius * cosf(ang)) + e2 * (radius * sinf(ang)); };
    auto allowed = [&](float ang) {
        VectorXYZ dn = Normalise(pointAt(ang));
        Matrix f = LookAlong(VectorDir(dn), VectorDir(dn ^ axis));
        return DirectionWithinLimits(dn, VectorXYZ(f.x.v), limits);
    };

    const float step = kLimbTwoPi / kSteps;
    bool ok[kSteps];
    int firstRefused = -1;
    for (int i = 0; i < kSteps; i++) {
        ok[i] = allowed(-kLimbPi + step * i);
        if (!ok[i] && firstRefused < 0)
            firstRefused = i;
    }
    float chosen;
    if (firstRefused < 0 || allowed(0.0f)) {
        chosen = 0.0f;
    } else {
        AngleArc list[kMaxArcs];
        int count = 0;
        for (int k = 1; k <= kSteps && count < kMaxArcs; k++) {
            int i = (firstRefused + k) % kSteps;
            if (!ok[i])
                continue;
            int len = 0;
            while (k + len + 1 <= kSteps && ok[(firstRefused + k + len + 1) % kSteps])
                len++;
            list[count++] = AngleArc(-kLimbPi + step * i, step * len);
            k += len;
        }
        if (count == 0)
            return false;
        float best = 2.0f * kLimbTwoPi;
        float offset = 0.0f;
        for (int k = 0; k < count; k++) {
            float ends[2] = {list[k].GetArcEndAngle(), list[k].minang};
            for (float e : ends) {
                if (fabsf(e) < fabsf(best)) {
                    best = e;
                    offset = e;
                }
            }
        }
        if (best == 2.0f * kLimbTwoPi)
            return false;
        chosen = FixAng(offset);
    }
    VectorXYZ dn = Normalise(pointAt(chosen));
    if (out != nullptr)
        WriteRows(out, LookAlong(VectorDir(dn), VectorDir(dn ^ axis)));
    return true;
}

bool Solve2JointLimb(Object* end, VectorPos target, VectorDir hint, const AngleArc* upperlimits,
                     AngleArc lowerlimit, bool circle, Matrix* upper, float* bend)
{
    Object* lower = end != nullptr ? end->parent : nullptr;
    Object* first = lower != nullptr ? lower->parent : nullptr;
    if (first == nullptr)
        return false;
    VectorXYZ S = first->mat.GetTrans();
    VectorXYZ d = VectorXYZ(target) - S;
    float D = d.Length();
    float a = VectorXYZ(lower->mat.GetTrans()).Length();
    float b = VectorXYZ(end->mat.GetTrans()).Length();
    // A target on the shoulder gives no reach line to bend about.
    if (a + b < D || D <= 0.0f)
        return false;
    VectorXYZ dn = d / D;
    if (fabsf(Dot(VectorXYZ(hint), dn)) > 0.999f)
        return false;

    float s = (D + a + b) * 0.5f;
    float sq = s * (s - D) * (s - a) * (s - b);
    float A = sq > 0.0f ? sqrtf(sq) : 0.0f;
    float h = 2.0f * A / D;
    float ang = asinf(ClampUnit(2.0f * A / (a * b)));
    if (D * D < a * a + b * b)
        ang = kLimbPi - ang;
    if (!lowerlimit.Contains(ang))
        return false;

    float along = b * b - h * h;
    along = along > 0.0f ? sqrtf(along) : 0.0f;
    VectorXYZ M = d - dn * along - VectorXYZ(hint) * h;
    VectorXYZ u = Normalise(M);
    VectorXYZ w = Normalise(u ^ VectorXYZ(hint));
    VectorXYZ v = w ^ u;
    // The second segment bends toward +x of the first joint's frame.  When
    // the shoulder's angle is obtuse (a^2 + D^2 < b^2) the middle joint lies
    // behind the shoulder and the hint's side of the first segment is the
    // wrong one: the elbow would fold away from the target.
    VectorXYZ toend = d - M;
    if (Dot(toend - u * Dot(toend, u), v) < 0.0f)
        v = -v;
    if (Solve1JointLimb(VectorPos(u), VectorDir(v), upperlimits, upper)) {
        if (bend != nullptr)
            *bend = ang;
        return true;
    }
    if (!circle)
        return false;
    VectorXYZ n = Normalise(dn ^ VectorXYZ(hint));
    VectorXYZ p = n ^ dn;
    if (!Solve1JointLimbCircle(VectorPos(d - dn * along), h, VectorDir(p), upperlimits, upper))
        return false;
    if (bend != nullptr)
        *bend = ang;
    return true;
}

bool SolveBiaxialJoint(VectorDir dir, AngleArc* limits, bool clampfirst, bool clampsecond, Matrix* out)
{
    VectorXYZ dn = Normalise(static_cast<const VectorXYZ&>(dir));
    float pitch = asinf(ClampUnit(dn[1]));
    float yaw = ArcTan2(dn[0], dn[2]);
    bool changed = false;
    if (!limits[0].Contains(pitch)) {
        if (clampfirst)
            pitch = NearerEnd(pitch, limits[0]);
        else if (clampsecond)
            pitch = 0.0f;
        else
            return false;
        changed = true;
    }
    if (!limits[1].Contains(yaw)) {
        if (clampsecond)
            yaw = NearerEnd(yaw, limits[1]);
        else if (clampfirst)
            yaw = 0.0f;
        else
            return false;
        changed = true;
    }
    if (changed)
        dn = VectorXYZ(sinf(yaw) * cosf(pitch), sinf(pitch), cosf(yaw) * cosf(pitch));
    if (out != nullptr)
        WriteRows(out, LookAlong(VectorDir(dn), VectorDir(0.0f, 1.0f, 0.0f)));
    return true;
}

// ---------------------------------------------------------------------------
// Joints built on the solvers.

bool SimpleLimb::MoveEndTo(const Footprint& fp) { return MoveEndTo(fp.pos, -fp.dir); }

bool SimpleLimb::MoveEndTo(const VectorPos& pos, const VectorDir& dir)
{
    Matrix M(true);
    float bend = 0.0f;
    if (!Solve2JointLimb(endobj, pos, dir, ikupperobjlimits, iklowerobjlimits, false, &M, &bend))
        return false;
    SetBlendPose(upperobj, Quaternion(ikupperobjmat * M));
    SetBlendPose(lowerobj, Quaternion(RotY(bend)));
    return true;
}

bool StandingLegs::Update(const Matrix& body)
{
    Matrix inv = body.Inverse();
    Footprint l(inv * lfoot.pos, lfoot.dir);
    Footprint r(inv * rfoot.pos, rfoot.dir);
    lleg.MoveEndTo(l);
    rleg.MoveEndTo(r);
    return true;
}

bool BallAndSocket::LookAlong(VectorDir dir, VectorDir up)
{
    Matrix M(true);
    if (!Solve1JointLimb(VectorPos(dir), VectorDir(Normalise(VectorXYZ(dir) ^ VectorXYZ(up))), ikjointlimits, &M))
        return false;
    SetBlendPose(joint, Quaternion(ikjointmat * M));
    return true;
}

bool BiaxialJoint::LookAlong(VectorDir dir, bool clampfirst, bool clampsecond)
{
    Matrix M(true);
    if (!SolveBiaxialJoint(dir, ikjointlimits, clampfirst, clampsecond, &M))
        return false;
    SetBlendPose(joint, Quaternion(ikjointmat * M));
    return true;
}

// ---------------------------------------------------------------------------
// Steering arms.

const float SteerArms::ArmSpeed = 0.0026041667f;

SteerArms::SteerArms()
{
    SteerArm* arms[2] = {&leftarm, &rightarm};
    for (SteerArm* a : arms) {
        for (AngleArc& l : a->ikupperarmlimits)
            l = AngleArc();
        a->ikelbowlimits = AngleArc();
    }
    Reset();
}

VectorPos SteerArm::RimPoint(float angle) const
{
    return wheelcenter + zeroturnoff * cosf(angle) + quarterturnoff * sinf(angle);
}

bool SteerArm::SolveAndPose(VectorPos h, VectorDir hint)
{
    Matrix M(true);
    float bend = 0.0f;
    if (!Solve2JointLimb(hand, h, hint, ikupperarmlimits, ikelbowlimits, false, &M, &bend))
        return false;
    SetBlendPose(upperarm, Quaternion(ikupperarmmat * M));
    SetBlendPose(lowerarm, Quaternion(RotY(bend)));
    return true;
}

bool SteerArm::SteerTo(float angle)
{
    VectorPos h = RimPoint(angle);
    return SolveAndPose(h, VectorDir(Normalise(VectorXYZ(wheelcenter - h))));
}

bool SteerArm::Transition(float from, float to, float t)
{
    VectorPos p1 = RimPoint(from), p2 = RimPoint(to);
    VectorPos h = p1 * (1.0f - t) + p2 * t;
    VectorXYZ hint = Normalise(VectorXYZ(p1 - h)) * (1.0f - t) + Normalise(VectorXYZ(p2 - h)) * t;
    // Half way along the chord the two pulls cancel and leave no elbow hint.
    if (hint.LengthSq() < 1e-12f)
        return false;
    return SolveAndPose(h, VectorDir(hint));
}
