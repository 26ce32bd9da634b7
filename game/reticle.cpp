// Reticles (see reticle.h).
#include "game/reticle.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "game/Camera.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"

namespace {

constexpr int kSlotAim = 153;
constexpr int kSlotIndicator = 154;
constexpr int kSlotPreciseLocked = 155;
constexpr int kSlotPreciseOn = 156;
constexpr int kSlotPreciseOff = 157;
constexpr int kBodyTargetId = 20;
constexpr float kStartDist = 0.9375f;
constexpr float kLockFrames = 120.0f;
constexpr float kLeadFrames = 20.0f;
constexpr float kFixedSizeFrom = 3.125f;
constexpr float kSizePerDistance = 0.32f;
constexpr float kPickEvery = 19.8f;

bool Alive(const Object* o)
{
    return o != nullptr && !o->IsDead();
}

bool ReticlesOn()
{
    return g_pgcTest == nullptr || g_pgcTest->bReticleOn;
}

float ReticleSpeed()
{
    return g_pgcTest != nullptr ? g_pgcTest->stats.fRecticleSpeed : 0.0f;
}

// Yaw and pitch of d (y points down).
VectorXYZ Angles(VectorDir d)
{
    const float yaw = ArcTan2(d[0], d[2]);
    const float pitch = ArcTan2(-d[1], std::sqrt(d[0] * d[0] + d[2] * d[2]));
    return VectorXYZ(pitch, yaw, 0.0f);
}

MDLFILE* Model(int slot)
{
    MDLFILE* mf = g_GlobalMFI.GetMF(slot, false);
    return mf != nullptr && mf->HasData() ? mf : nullptr;
}

// A zeroed reticle of class T dressed from hierarchy 0 of the slot's file
// and added to the world; null without the file or memory.
template <class T>
T* Make(int slot, OBJMESSAGEHANDLER mh, Object* parent, void* extra)
{
    MDLFILE* mf = Model(slot);
    if (mf == nullptr)
        return nullptr;
    T* r = new T;
    if (r == nullptr)
        return nullptr;
    r->messagehandler = mh;
    mf->GetHierarchyTo(r, 0, 200);
    r->rcParent = parent;
    if (!world.AddObject(r, extra)) {
        r->Delete();
        return nullptr;
    }
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// Reticle

void Reticle::Init()
{
    type = OBJT_ICON;
    flags |= 0x30002;
    StartAnim(0);
    retType = RETICLE_TYPE_AIM;
    mode = lastMode = TARGET_MODE_FREE;
    rcTarget = nullptr;
    rcTargetInd = nullptr;
    gain = 0.01f;
    damp = 0.2f;
    angSpd = VectorXYZ(0.0f, 0.0f, 0.0f);
    lockTimer = 0.0f;
    startDist = kStartDist;
    lastTarget = nullptr;
    vpLastTargetPos = VectorPos(0.0f, 0.0f, 0.0f);
    if (rcParent != nullptr) {
        const Matrix pw = rcParent->GetWorldMatrix();
        Object* top = rcParent->GetRoot();
        SetPos(VectorPos(pw.GetTrans() + VectorDir(top->mat.z.v) * kStartDist));
        const VectorXYZ e = pw.GetEuler();
        curAng = VectorXYZ(e[0], e[1], 0.0f);
    }
}

void Reticle::StartAnim(int n)
{
    if (blendAnim != nullptr)
        SetAnimHierarchy(n, int(Animation::anim_time.t >> 8));
}

void Reticle::HideIfOff()
{
    if (!ReticlesOn())
        flags |= OBJF_HIDDEN;
}

void Reticle::DeleteChildren()
{
    while (Object* c = child) {
        c->Detach();
        c->Delete();
    }
}

int Reticle::Update()
{
    if (!Alive(rcParent) || !Alive(rcTarget)) {
        Delete();
        return 0;
    }
    VectorPos goal;
    if (Object* body = rcTarget->FindSubObject(kBodyTargetId)) {
        goal = body->GetWorldPos();
    } else {
        const Matrix tw = rcTarget->GetWorldMatrix();
        goal = tw.GetTrans();
        VectorPos offset(0.0f, 0.0f, 0.0f);
        SpecialMessage q(SMSG_Q_RETICLE_POS, this, &offset);
        if (rcTarget->SendMessage(OM_SPECIAL, &q) != 0) {
            Matrix rot = tw;
            rot.SetTrans(VectorPos(0.0f, 0.0f, 0.0f));
            goal = VectorPos(goal + VectorDir(rot * offset));
        }
    }
    UpdatePos(goal);
    UpdateScale();
    HideIfOff();
    return 0;
}

void Reticle::GetCurAng()
{
    const VectorXYZ a = Angles(VectorDir(Pos() - rcParent->GetWorldPos()));
    curAng = VectorXYZ(a[0], a[1], curAng[2]);
}

void Reticle::UpdatePos(VectorPos goal)
{
    const VectorPos given = goal;
    if (gain <= 0.0f || rcParent == nullptr) {
        SetPos(goal);
    } else {
        const float s = world.playbackSpeed;
        const VectorPos P = rcParent->GetWorldPos();
        if (retType != RETICLE_TYPE_CARAIM)
            GetCurAng();
        const VectorPos none(0.0f, 0.0f, 0.0f);
        if (rcTarget != nullptr && !(vpLastTargetPos == none))
            goal = VectorPos(goal + VectorDir(goal - vpLastTargetPos) * (s * kLeadFrames));
        const VectorDir d(goal - P);
        VectorXYZ diff = FixAng(VectorXYZ(Angles(d) - curAng));
        diff = VectorXYZ(diff[0], diff[1], 0.0f);
        const float k = gain + ReticleSpeed();
        angSpd = VectorXYZ(angSpd + VectorXYZ(diff * k - angSpd * damp) * s);
        curAng = FixAng(VectorXYZ(curAng + angSpd * s));

        if (static_cast<Object*>(rcTarget) != lastTarget) {
            lockTimer = 0.0f;
            lastTarget = rcTarget;
            startDist = Length(VectorDir(Pos() - P));
        }
        const float D = Length(d);
        float r;
        if (lockTimer >= kLockFrames) {
            r = D;
        } else {
            // The ramp ends on the target's distance, never beyond it.
            lockTimer = std::min(lockTimer + s, kLockFrames);
            r = startDist + (D - startDist) * lockTimer / kLockFrames;
        }
        SetPos(VectorPos(P + VectorDir(RotMatrix(curAng).z.v) * r));
    }
    vpLastTargetPos = given;
}

void Reticle::UpdateScale()
{
    if (cam == nullptr)
        return;
    const Matrix cw = cam->GetWorldMatrix();
    mat.x = cw.x;
    mat.y = cw.y;
    mat.z = cw.z;
    const float d = Length(VectorDir(Pos() - cw.GetTrans()));
    const float s = d > kFixedSizeFrom ? d * kSizePerDistance : 1.0f;
    mat.SetScale(VectorXYZ(s, s, s));
}

bool Reticle::Overlap(Object* o) const
{
    return o != nullptr && Length(VectorDir(Pos() - o->GetWorldPos())) <= o->radius;
}

void Reticle::Target(Object* t)
{
    if (t != static_cast<Object*>(rcTarget)) {
        vpLastTargetPos = VectorPos(0.0f, 0.0f, 0.0f);
        rcTarget = t;
    }
    if (rcTargetInd != nullptr) {
        if (rcTargetInd->IsDead())
            rcTargetInd = nullptr;
        else
            static_cast<Reticle*>(static_cast<Object*>(rcTargetInd))->Target(t);
    }
}

void Reticle::Hide()
{
    flags |= OBJF_HIDDEN;
    if (Alive(rcTargetInd))
        rcTargetInd->flags |= OBJF_HIDDEN;
}

int Reticle::AnimLoop()
{
    if (mode == TARGET_MODE_FADEOUT)
        Delete();
    else
        world.StopAnimating(this);
    return -1;
}

int Reticle::Die()
{
    if (Alive(rcTargetInd))
        rcTargetInd->Delete();
    rcTargetInd = nullptr;
    rcTarget = nullptr;
    rcParent = nullptr;
    return -1;
}

// One handler family: the class's own initialiser and frame, and the shared
// animation end and death.
template <class T>
int ReticleHandler(Object* obj, OBJMESSAGE msg, void* extra)
{
    T* self = static_cast<T*>(obj);
    switch (msg) {
    case OM_CREATE:
        return int(reinterpret_cast<intptr_t>(new T));
    case OM_INIT:
        if constexpr (std::is_same_v<T, PreciseReticle>)
            self->Init(static_cast<Reticle*>(extra));
        else
            self->Init();
        return 0;
    case OM_FRAME:
        return self->Update();
    case OM_ANIMLOOP:
        return self->AnimLoop();
    case OM_DIE:
        self->Die();
        if constexpr (std::is_same_v<T, PreciseReticle>) {
            self->baseRet = nullptr;
            self->pBodyTarget = nullptr;
        }
        delete self;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Target indicator

Object* TargetIndicator::Create(Object* parent)
{
    return Make<TargetIndicator>(kSlotIndicator, TargetIndicator_mh, parent, nullptr);
}

void TargetIndicator::Init()
{
    Reticle::Init();
    retType = RETICLE_TYPE_TARGET;
    gain = 0.0f;
}

int TargetIndicator::Update()
{
    if (!(flags & OBJF_SELFANIMATING) && mode != lastMode) {
        const bool precise = mode == TARGET_MODE_PRECISEFREE || mode == TARGET_MODE_PRECISELOCKED;
        const bool wasPrecise = lastMode == TARGET_MODE_PRECISEFREE || lastMode == TARGET_MODE_PRECISELOCKED;
        if (!precise)
            StartAnim(1);
        else if (!wasPrecise)
            StartAnim(2);
        world.StartAnimating(this);
        lastMode = mode;
    }
    HideIfOff();
    return Reticle::Update();
}

int TargetIndicator::TargetIndicator_mh(Object* obj, OBJMESSAGE msg, void* extra)
{
    return ReticleHandler<TargetIndicator>(obj, msg, extra);
}

// ---------------------------------------------------------------------------
// Aiming reticle

Object* AimingReticle::Create(Object* parent)
{
    return Make<AimingReticle>(kSlotAim, AimingReticle_mh, parent, nullptr);
}

void AimingReticle::Init()
{
    Reticle::Init();
    rcTargetInd = TargetIndicator::Create(rcParent);
}

int AimingReticle::Update()
{
    if (mode != TARGET_MODE_FADEOUT)
        mode = Alive(rcTargetInd) && Overlap(rcTargetInd) ? TARGET_MODE_LOCKED : TARGET_MODE_FREE;
    if (!(flags & OBJF_SELFANIMATING) && mode != lastMode) {
        StartAnim(mode == TARGET_MODE_LOCKED ? 1 : mode == TARGET_MODE_FREE ? 2 : 3);
        world.StartAnimating(this);
        if (Alive(rcTargetInd))
            rcTargetInd->mode = mode;
        lastMode = mode;
    }
    HideIfOff();
    return Reticle::Update();
}

Object* AimingReticle::EngagePrecision()
{
    if (retType == RETICLE_TYPE_PRECISE)
        return this;
    Object* p = PreciseReticle::Create(this);
    if (p == nullptr)
        return this;
    mode = TARGET_MODE_FADEOUT;
    if (Alive(rcTargetInd))
        rcTargetInd->Delete();
    rcTargetInd = nullptr;
    return p;
}

int AimingReticle::AimingReticle_mh(Object* obj, OBJMESSAGE msg, void* extra)
{
    return ReticleHandler<AimingReticle>(obj, msg, extra);
}

// ---------------------------------------------------------------------------
// Car aiming reticle

Object* CarAimReticle::Create(Object* parent)
{
    return Make<CarAimReticle>(kSlotAim, CarAimReticle_mh, parent, nullptr);
}

void CarAimReticle::Init()
{
    AimingReticle::Init();
    retType = RETICLE_TYPE_CARAIM;
    damp = 0.28f;
    gain = 0.02f;
}

int CarAimReticle::CarAimReticle_mh(Object* obj, OBJMESSAGE msg, void* extra)
{
    return ReticleHandler<CarAimReticle>(obj, msg, extra);
}

// ---------------------------------------------------------------------------
// Precise reticle

Object* PreciseReticle::Create(Reticle* base)
{
    if (base == nullptr)
        return nullptr;
    return Make<PreciseReticle>(kSlotPreciseOn, PreciseReticle_mh, base->rcParent, base);
}

void PreciseReticle::Init(Reticle* base)
{
    flags |= 0x30002;
    StartAnim(0);
    baseRet = base;
    rcParent = base->rcParent;
    retType = RETICLE_TYPE_PRECISE;
    mode = TARGET_MODE_PRECISEFREE;
    lastMode = TARGET_MODE_PRECISEFREE;
    fireTimer = 0.0f;
    mat = base->mat;
    rcTarget = base->rcTarget;
    angSpd = base->angSpd;
    lockTimer = base->lockTimer;
    iBodyTarget = -1;
    pBodyTarget = rcTarget != nullptr ? rcTarget->FindSubObject(kBodyTargetId) : nullptr;
    vdTargetOffset = VectorDir(0.0f, 0.0f, 0.0f);
    damp = 0.8f;
    gain = 0.4f;
}

void PreciseReticle::Take(int slot, int h)
{
    DeleteChildren();
    if (MDLFILE* mf = Model(slot))
        mf->GetHierarchyTo(this, u16(h), 200);
}

int PreciseReticle::Update()
{
    if (rcTarget == nullptr)
        return 0;
    if (rcTarget->IsDead() || (pBodyTarget != nullptr && pBodyTarget->IsDead())) {
        rcTarget = nullptr;
        pBodyTarget = nullptr;
        return 0;
    }
    Object* on = pBodyTarget != nullptr ? static_cast<Object*>(pBodyTarget) : static_cast<Object*>(rcTarget);
    const VectorPos base = on->GetWorldPos();
    VectorPos goal = base;
    if (mode == TARGET_MODE_PRECISELOCKED) {
        DeleteChildren();
        fireTimer += 1.0f;
        if (fireTimer > kPickEvery) {
            fireTimer = 0.0f;
            const int part = iBodyTarget >= 0 ? iBodyTarget : int((u64(u32(rand())) * 5u) >> 31);
            const VectorDir camz = cam != nullptr ? VectorDir(cam->GetWorldMatrix().z.v) : VectorDir(0, 0, 1);
            const bool behind = Dot(VectorDir(rcTarget->GetWorldMatrix().z.v), camz) >= 0.0f;
            static const int front[5] = {15, 1, 0, 7, 6};
            static const int back[5] = {15, 0, 1, 6, 7};
            const int code = (behind ? back : front)[part < 0 || part > 4 ? 0 : part];
            VectorPos offset(0.0f, 0.0f, 0.0f);
            SpecialMessage q(SMSG_Q_RETICLE_POS, this, &offset, code);
            if (rcTarget->SendMessage(OM_SPECIAL, &q) != 0)
                vdTargetOffset = VectorDir(offset[0], offset[1], offset[2]);
            Take(kSlotPreciseLocked, part == TARGET_HEADSHOT ? 1 : 0);
        }
        goal = VectorPos(base + vdTargetOffset);
    }
    UpdatePos(goal);
    UpdateScale();
    HideIfOff();
    return 0;
}

int PreciseReticle::AnimLoop()
{
    if (mode == TARGET_MODE_PRECISEFREE) {
        Take(kSlotPreciseLocked, 1);
        mode = TARGET_MODE_PRECISELOCKED;
        return -2;
    }
    if (mode == TARGET_MODE_FADEOUT) {
        if (Alive(baseRet)) {
            baseRet->flags &= ~OBJF_HIDDEN;
            baseRet->mat = mat;
        }
        mode = TARGET_MODE_LOCKED;
        flags |= OBJF_HIDDEN;
        gain = 0.0f;
        return -2;
    }
    return -1;
}

void PreciseReticle::EndPrecision()
{
    Take(kSlotPreciseOff, 0);
    StartAnim(0);
    world.StartAnimating(this);
    mode = TARGET_MODE_FADEOUT;
}

int PreciseReticle::PreciseReticle_mh(Object* obj, OBJMESSAGE msg, void* extra)
{
    return ReticleHandler<PreciseReticle>(obj, msg, extra);
}
