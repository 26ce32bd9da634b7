// The player's grabs and leaps on foot: arresting a character standing or
// lying on the ground, tackling a fleeing runner from a sprint, vaulting the
// hood of a standing car, and the tidying up when he leaves guns or fists.
// Each Try answers whether it started the move; the rest of the move is
// played by the frame, the animation loop and the ground code.
#include "game/Player.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/modelfile.h"
#include "game/BadGuy.h"
#include "game/BadGuyAnims.h"
#include "game/GameFlow.h"
#include "game/PlayerPedAnims.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

using namespace pedanim;

namespace {

constexpr int kTorsoNode = 20;
constexpr int kGrabNode = 31;
// An arrest is in reach below this (the arrestee's torso from the player).
constexpr float kArrestReach = 0.9375f;
// A runner is tackled inside this.
constexpr float kTackleReach = 3.125f;
// The lying arrestee's side of the player: the walk-over clips of the
// characters' own bank.
constexpr int kLyingWalkOverLeft = 18;
constexpr int kLyingWalkOverRight = 19;
// Frames a lying-down arrest blends over when the arrestee brings no grab
// record of its own (the least any arrest asks of him).
constexpr int kLyingMinMorph = 12;
// The hood's markers in the car's model.
constexpr u16 kHoodMarkerA = 0x8339;
constexpr u16 kHoodMarkerB = 0x833A;
constexpr float kPi = 3.14159265f;

enum : int
{
    SMSG_TACKLED = 24,
    SMSG_GRABBED_MSG = 31,
};

VectorDir Flat(VectorDir v) { return VectorDir(v[0], 0.0f, v[2]); }

VectorPos NodePos(Object* o, int id)
{
    Object* n = o->FindSubObject(id);
    return n != nullptr ? n->GetWorldPos() : o->GetWorldPos();
}

// The cosine of the angle between two flat vectors; 0 when one is nothing.
float CosBetween(VectorDir a, VectorDir b)
{
    const float l = std::sqrt(a.LengthSq() * b.LengthSq());
    return l > 0.0f ? Dot(a, b) / l : 0.0f;
}

}  // namespace

// Poses the grab node on an animation as it would start at the player's
// frame, so the grabbed character reads where the hands will be.
void Dace::PoseGrabNode(AnimChar* clip, bool faceAhead)
{
    Object* s = FindSubObject(kGrabNode);
    if (s == nullptr || clip == nullptr)
        return;
    s->SetAnimFileHierarchy(clip, int(frame), true, 1.0f, -1);
    float t = frame;   // the pose only: the player's own clock is not moved
    BlendAnimateHierarchy(s, &t, 1.0f);
    if (!faceAhead)
        return;
    const Matrix l = LookAlong(VectorDir(0.0f, 0.0f, 1.0f));
    s->mat.x = l.x;
    s->mat.y = l.y;
    s->mat.z = l.z;
}

namespace {

// The characters' own walk-over clip of one side, when their bank is in.
AnimChar* LyingWalkOver(bool left)
{
    AnimGroup* g = g_GlobalAGI.GetAG(AnimGroup_NPCDefault);
    const int i = left ? kLyingWalkOverLeft : kLyingWalkOverRight;
    return g != nullptr && i < g->count ? g->pChars[i] : nullptr;
}

// The hood's two markers in the world; false when the car's model lacks one.
bool HoodMarkers(const Vehicle* v, VectorPos& a, VectorPos& b)
{
    const MDLFILE* mf = v->GetMF();
    if (mf == nullptr || v->i16OrigIndex < 0 || v->i16OrigIndex >= mf->nNodes)
        return false;
    const u16 first = mf->nodes[v->i16OrigIndex].child;
    const NODE* na = mf->FindNode1(first, kHoodMarkerA);
    const NODE* nb = mf->FindNode1(first, kHoodMarkerB);
    if (na == nullptr || nb == nullptr)
        return false;
    const Matrix w = v->GetWorldMatrix();
    a = w * VectorPos(na->Pos() - v->vdCOGOffset);
    b = w * VectorPos(nb->Pos() - v->vdCOGOffset);
    return true;
}

}  // namespace

void Dace::FaceGuy(Guy* guy)
{
    const VectorDir to = Flat(VectorDir(NodePos(guy, kTorsoNode) - GetWorldPos()));
    if (to.LengthSq() > 0.01f)
        FaceAlong(to);
}

bool Dace::TryStandingUpArrest(Guy* guy, bool dofailanim)
{
    int answer = 0;
    if (guy != nullptr && Length(VectorDir(NodePos(guy, kTorsoNode) - GetWorldPos())) < kArrestReach) {
        AnimChar* clip = anims != nullptr ? anims[PED_ARREST_START_ANI] : nullptr;
        // He faces the character while the grab is answered; his own
        // facing is put back whatever the answer.
        const Matrix saved = mat;
        FaceGuy(guy);
        PoseGrabNode(clip);
        SpecialMessage m(SMSG_GRABBED_MSG, this, int(PED_ARREST_START_ANI), clip != nullptr ? int(clip->length) : 0, 0, 2,
                         0, 0);
        answer = guy->SendMessage(OM_SPECIAL, &m);
        mat = saved;
        if (answer != 0) {
            BlendToAnim(PED_ARREST_START_ANI, 3);
            grappleframe = frame;
            return true;
        }
    }
    // Only a player standing idle (the shrug itself included) shrugs.
    if (dofailanim && Idle(mode2))
        BlendToAnim(PED_ARREST_FAIL_ANI, 3);
    return false;
}

bool Dace::TryLyingDownArrest(Guy* guy)
{
    if (guy == nullptr)
        return false;
    if (guy->victimdata == nullptr &&
        (guy->mode2 == +BadGuyAnims::COMBAT_ATTACK_GRAPPLE_1_ANI || guy->mode2 == +BadGuyAnims::GIVEUP_ANI))
        return false;

    // The nearer of his two sides; the right one when they are as near.
    const Matrix gw = guy->GetWorldMatrix();
    const VectorPos me = GetWorldPos();
    const VectorDir l(gw * NPCLeftArrestPt - me);
    const VectorDir r(gw * NPCRightArrestPt - me);
    const bool left = l.LengthSq() < r.LengthSq();
    const float side = Length(left ? l : r);

    PoseGrabNode(LyingWalkOver(left));
    const Matrix saved = mat;
    FaceGuy(guy);
    if (Length(VectorDir(NodePos(guy, kTorsoNode) - me)) >= kArrestReach) {
        mat = saved;
        return false;
    }
    // The other side's walk-over: the one the character sees the player take.
    const int morph = std::max(kLyingMinMorph, int(side * 0.000582083f));
    SpecialMessage m(SMSG_GRABBED_MSG, this,
                     int(left ? PED_ARREST_LYINGDOWN_WALK_OVER_R_ANI : PED_ARREST_LYINGDOWN_WALK_OVER_L_ANI), morph, 0, 0,
                     0, 0);
    const int answer = guy->SendMessage(OM_SPECIAL, &m);
    mat = saved;
    if (answer == 0)
        return false;

    lyingdownarrestmat = RotY(left ? kPi / 2.0f : -kPi / 2.0f);
    lyingdownarrestmat.SetTrans(left ? NPCLeftArrestPt : NPCRightArrestPt);
    // One without a grab record of his own is walked over in the least time
    // any arrest takes, rather than in a length nobody gave.
    const int blend = guy->victimdata != nullptr ? guy->victimdata->morphlen : kLyingMinMorph;
    BlendToAnim(left ? PED_ARREST_LYINGDOWN_WALK_OVER_L_ANI : PED_ARREST_LYINGDOWN_WALK_OVER_R_ANI, blend);
    arrestguy = guy;
    flags |= 0x100;
    return true;
}

bool Dace::TryTackle(Guy* guy)
{
    if (guy == nullptr || RunnerEnemyHandler == nullptr || guy->messagehandler != RunnerEnemyHandler ||
        mode2 != PED_SPRINT_ANI)
        return false;
    SpecialMessage m(SMSG_TACKLED, nullptr, 0, 0, 0, 0, 0, 0);
    if (guy->SendMessage(OM_SPECIAL, &m) == 0)
        return false;
    if (Length(VectorDir(guy->GetRoot()->GetWorldPos() - GetWorldPos())) >= kTackleReach)
        return false;
    jumpspeed = std::max(0.0f, GetAnimVelocity()[2]);
    BlendToAnim(PED_CHASE_TACKLE_ANI, 3);
    return true;
}

bool Dace::TryJumpingHood(Vehicle* jumpcar)
{
    if (jumpcar == nullptr || (mode2 != PED_RUN_ANI && mode2 != PED_SPRINT_ANI))
        return false;
    if (jumpcar->mat.y[1] < 0.0f)
        return false;   // on its roof or side
    const Vector& w = jumpcar->AngVel();
    if (w[0] * w[0] + w[1] * w[1] + w[2] * w[2] > 0.0174533f)
        return false;   // spinning
    VectorPos ma, mb;
    if (!HoodMarkers(jumpcar, ma, mb))
        return false;

    const VectorPos from = torso != nullptr ? torso->GetWorldPos() : GetWorldPos();
    const VectorDir a = Flat(VectorDir(ma - from));
    const VectorDir b = Flat(VectorDir(mb - from));
    const VectorDir m = Flat(VectorDir(ma + VectorDir(mb - ma) * 0.5f - from));
    const VectorDir f = Flat(VectorDir(GetWorldMatrix().z.xyz()));
    const bool nearA = a.LengthSq() < b.LengthSq();
    const VectorDir n = nearA ? a : b;
    // Away from the nearer marker he must stand between it and the hood's
    // middle; close to it any approach will do.
    if (n.LengthSq() >= 0.09765625f && !(CosBetween(m, n) < -0.707f))
        return false;
    if (!(CosBetween(m, f) > 0.2f))
        return false;
    BlendToAnim(nearA ? PED_SPRINT_JUMPCAR_L_ANI : PED_SPRINT_JUMPCAR_R_ANI, 4);
    submode = PED_JUMPING_OVERHOOD;
    return true;
}

void Dace::HoodJumpFrame()
{
    if (car == nullptr)
        return;
    const u16 a = mode2;
    const Matrix cw = car->GetWorldMatrix();
    const VectorDir cx = Flat(VectorDir(cw.x.xyz()));

    if (a == PED_SPRINT_JUMPCAR_LAND_R_ANI) {
        mat.SetTrans(mat.GetTrans() + Normalise(VectorDir(cw.x.xyz())) * -0.02f);
        return;
    }
    if (!In(a, PED_SPRINT_JUMPCAR_L_ANI, PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI) || a == PED_SPRINT_JUMPCAR_LAND_L_ANI)
        return;
    VectorPos m1, m2;
    if (!HoodMarkers(car, m1, m2))
        return;
    const bool leftside = a == PED_SPRINT_JUMPCAR_L_ANI || a == PED_SPRINT_JUMPCAR_SLIDE_L_ANI ||
                          a == PED_SPRINT_JUMPCAR_SLIDE_BACK_L_ANI;
    const float turn = 0.0872665f * world.playbackSpeed;
    TurnToward(leftside ? cx : cx * -1.0f, turn);

    if (a == PED_SPRINT_JUMPCAR_L_ANI || a == PED_SPRINT_JUMPCAR_R_ANI) {
        const VectorPos p = mat.GetTrans();
        mat.SetTrans(p + VectorDir((leftside ? m1 : m2) - p) * 0.25f);
        slideframe = frame;
        return;
    }

    // Sliding across toward the far marker.
    const VectorPos goal = leftside ? m2 : m1;
    const bool back = a == PED_SPRINT_JUMPCAR_SLIDE_BACK_L_ANI || a == PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI;
    const float e = frame - firstanimframe;
    constexpr float kArrived2 = 0.00219727f;
    constexpr float kStep = 0.046875f;
    VectorDir to(goal - mat.GetTrans());
    if (to.LengthSq() > kArrived2 && e < 24.0f) {
        mat.SetTrans(mat.GetTrans() + Normalise(to) * kStep);
        to = VectorDir(goal - mat.GetTrans());
    }
    const bool arrived = to.LengthSq() <= kArrived2;
    if ((arrived && e < 24.0f) || (e >= 24.0f && back)) {
        flags &= ~0x20000u;
        mat.SetTrans(goal);
        BlendToAnim(leftside ? PED_SPRINT_JUMPCAR_LAND_L_ANI : PED_SPRINT_JUMPCAR_LAND_R_ANI, 5);
        slideframe = UnsetFrame;
        // Off the left side he is clear of the car; off the right one he
        // drifts away from it while he lands.
        if (leftside)
            car = nullptr;
    } else if (e >= 24.0f) {
        FaceAlong(leftside ? cx * -1.0f : cx);
        SetAnim(leftside ? PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI : PED_SPRINT_JUMPCAR_SLIDE_BACK_L_ANI);
        slideframe = frame;
    }
}

void Dace::LeaveCurrentMode()
{
    switch (mode) {
    case DACEMODE_GUNS:
        SetShootMode(SHOOT_NONE);
        if (world.playbackSpeed < 1.2f)
            world.playbackSpeed = 1.2f;   // out of any slow motion
        break;
    case DACEMODE_FISTS:
        curattack = &attackbase;
        BreakFinishing();
        break;
    default: break;
    }
}
