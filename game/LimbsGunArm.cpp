// Gun arms: the inverse-kinematics arm that aims and fires, and the preset
// arm that poses a driving body from aim animations (see Limbs.h).


#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/GameFlow.h"
#include "game/Limbs.h"
#include "game/QuadTree.h"

const float GunArm::AssumeArmSpeed = 0.2f;
const float GunArm::AssumeArmSnap = 0.2f;
const float GunArm::RelaxArmSpeed = 0.05f;
const float GunArm::RelaxArmSnap = 0.05f;
const float GunArm::HandSpeed = 0.13962635f;
const float GunArm::HandSnap = 0.20943951f;
const int GunArm::PostShotDuration = 60;
const int GunArm::PostShotRecoilTime = 10;
const int GunArm::PostShotWaitTime = 15;
const VectorPos GunArm::GunMuzzleOffs(0.0f, -0.040625f, 0.0625f);
const int GunArm::BulletLifetime = 77;
const int GunArm::CasingLifetime = 500;

const int PresetGunArm::PostShotDuration = 20;
const int PresetGunArm::PostShotRecoilTime = 10;
const int PresetGunArm::PostShotWaitTime = 15;
const VectorPos PresetGunArm::GunMuzzleOffs(0.0f, -0.040625f, 0.0625f);
const int PresetGunArm::BulletLifetime = 77;
const int PresetGunArm::CasingLifetime = 500;

namespace {

constexpr u16 kEjectionPortId = 0x8001;
constexpr u16 kMuzzleId = 0x8000;
constexpr float kShotPitchSpread = -0.02973f;

u32 FrameCounter() { return u32(world.time); }

MDLFILE* RegistryModel(int slot) { return slot >= 0 && slot < MFI_NUMSLOTS ? g_GlobalMFI.GetMF(slot, false) : nullptr; }

// The muzzle frame of a gun: a quarter turn about y before its world matrix,
// with its point moved out to the barrel's end.
Matrix MuzzleOf(const Matrix& gunworld, VectorPos* p)
{
    Matrix z = RotY(kLimbPi * 0.5f) * gunworld;
    *p = VectorPos(z.GetTrans() + z * VectorDir(GunArm::GunMuzzleOffs));
    return z;
}

// Case, flash and shot sound of one shot; shared by both kinds of arm.
void ShotEffects(Object* gun, const Weapon& weapon, VectorDir casingvel)
{
    Matrix g = gun->GetWorldMatrix();
    if (NODE* port = gun->FindNode(kEjectionPortId)) {
        unsigned short bank = weapon.casingsfxbank != nullptr ? (unsigned short)*weapon.casingsfxbank : 0xFFFF;
        EjectCasing(port->GetMatrix() * g, casingvel, RegistryModel(weapon.iCasingMFIndex), weapon.casingmdlindex,
                    GunArm::CasingLifetime, bank, weapon.casingsfxindex);
    }
    if (NODE* muzzle = gun->FindNode(kMuzzleId)) {
        MuzzleFlash(gun, muzzle->GetMatrix(), RegistryModel(weapon.iFlashMFIndex), weapon.flashmdlindex);
    } else {
        static bool reported = false;
        if (!reported)
            printf("Gun arm: the gun model has no muzzle node; no flash\n");
        reported = true;
    }
    // A silent gun (no bank, or its bank not loaded) takes no channel.
    if (weapon.bulletsfxbank == nullptr || *weapon.bulletsfxbank < 0)
        return;
    int chan = sound.AllocChannel(false);
    if (chan < 0)
        return;
    sound.Play(chan, (unsigned short)*weapon.bulletsfxbank, weapon.bulletsfxindex);
    if (weapon.bulletsfxpitch > 0.0f)
        sound.SetPitch(chan, weapon.bulletsfxpitch, kShotPitchSpread);
    sound.SetPosition(chan, g.GetTrans());
}

bool GunMissing(const Object* gun)
{
    if (gun != nullptr)
        return false;
    static bool reported = false;
    if (!reported)
        printf("Gun arm: asked to fire without a gun\n");
    reported = true;
    return true;
}

// The owner's requests, the same for both kinds of arm (the preset arm has no
// post-recoil wait).
template <class Arm>
typename Arm::Mode AfterShootRequest(typename Arm::Mode m)
{
    switch (m) {
    case Arm::AIMING: return Arm::AIMING_TO_SHOOT;
    case Arm::CARRYING:
    case Arm::DRAWING_TO_AIM: return Arm::DRAWING_TO_SHOOT;
    case Arm::JUST_SHOT:
    case Arm::RECOIL:
    case Arm::RECOIL_TO_AIM:
    case Arm::RECOIL_TO_QUIT_AIMING: return Arm::RECOIL_TO_SHOOT;
    default: break;
    }
    if constexpr (requires { Arm::POST_RECOIL; }) {
        if (m == Arm::POST_RECOIL)
            return Arm::AIMING_TO_SHOOT;
    }
    return m;
}

template <class Arm>
typename Arm::Mode AfterQuitAiming(typename Arm::Mode m)
{
    switch (m) {
    case Arm::AIMING:
    case Arm::DRAWING_TO_AIM:
    case Arm::DRAWING_TO_SHOOT:
    case Arm::AIMING_TO_SHOOT: return Arm::QUITTING_AIMING;
    case Arm::JUST_SHOT:
    case Arm::RECOIL:
    case Arm::RECOIL_TO_AIM:
    case Arm::RECOIL_TO_SHOOT: return Arm::RECOIL_TO_QUIT_AIMING;
    default: return m;
    }
}

// The gun is not drawn while the arm is unarmed or putting it away.
template <class Arm>
void ShowGun(Object* gun, typename Arm::Mode m)
{
    if (gun == nullptr)
        return;
    if (m == Arm::UNARMED || m == Arm::CARRYING_TO_UNARMED)
        gun->flags |= OBJF_HIDDEN;
    else
        gun->flags &= ~OBJF_HIDDEN;
}

}  // namespace

// ---------------------------------------------------------------------------
// GunArm

int GunArm::ShootGun()
{
    if (weapon.bulletsLeft <= 0)
        return 0;
    mode = AfterShootRequest<GunArm>(mode);
    return 1;
}

void GunArm::HolsterGun()
{ mode = AfterQuitAiming<GunArm>(mode); }

void GunArm::SetArmPoseBlend(float w)
{
    Object* bones[3] = {upperarm, lowerarm, hand};
    for (Object* b : bones)
        if (b != nullptr && b->blendAnim != nullptr)
            b->blendAnim->poseBlend = w;
}

void GunArm::RelaxArm(float speed)
{
    RelaxBlendAnimPose(upperarm, speed);
    RelaxBlendAnimPose(lowerarm, speed);
    RelaxBlendAnimPose(hand, speed);
}

void GunArm::Frame(VectorPos target)
{
    curTargetPos = target;
    for (;;) {
        float e = float(FrameCounter() - lastshot);
        bool again = false;
        switch (mode) {
        case CARRYING_TO_UNARMED:
            if (RelaxBlendAnimPose(upperarm, RelaxArmSpeed))
                break;
            if (RelaxBlendAnimPose(lowerarm, RelaxArmSpeed))
                break;
            if (!RelaxBlendAnimPose(hand, RelaxArmSpeed))
                mode = UNARMED;
            break;
        case CARRYING: RelaxArm(RelaxArmSpeed); break;
        case AIMING:
            if (CanAimAt(target))
                AimAt(target);
            else
                mode = DRAWING_TO_AIM;
            break;
        case SHOOTING: BurstStep(); break;
        case JUST_SHOT:
            mode = RECOIL;
            again = true;
            break;
        case DRAWING_TO_AIM:
            if (CanAimAt(target)) {
                mode = AIMING;
                again = true;
            }
            break;
        case DRAWING_TO_SHOOT:
            mode = AIMING_TO_SHOOT;
            again = true;
            break;
        case AIMING_TO_SHOOT:
            if (!CanAimAt(target)) {
                mode = QUITTING_AIMING;
            } else if (AimAt(target)) {
                lastshothandpos = lastaimhandpos;
                lastshot = FrameCounter();
                mode = SHOOTING;
                again = true;
            }
            break;
        case RECOIL:
            if (e < weapon.framespershot) {
                RecoilStep(e);
            } else {
                mode = POST_RECOIL;
                again = true;
            }
            break;
        case POST_RECOIL:
            if (e >= float(PostShotDuration)) {
                SetArmPoseBlend(0.799f);
                mode = CARRYING;
            }
            break;
        case RECOIL_TO_AIM:
        case RECOIL_TO_SHOOT:
            if (weapon.framespershot <= e) {
                SetArmPoseBlend(0.799f);
                mode = mode == RECOIL_TO_AIM ? AIMING : AIMING_TO_SHOOT;
            } else {
                RecoilStep(e);
            }
            break;
        case RECOIL_TO_QUIT_AIMING:
            SetArmPoseBlend(0.949f);
            mode = CARRYING;
            break;
        case QUITTING_AIMING: mode = CARRYING; break;
        default: break;
        }
        if (!again)
            break;
    }
    ShowGun<GunArm>(gun, mode);
}

void GunArm::BurstStep()
{
    float e = float(FrameCounter() - lastshot);
    if (weapon.framespershot == 0.0f)
        weapon.framespershot = 1.0f;
    if (weapon.bulletspershot <= 0)
        weapon.bulletspershot = 1;
    if (e == 0.0f)
        Shoot();
    if (weapon.bulletspershot < 2) {
        mode = JUST_SHOT;
        return;
    }
    int due = int(e / weapon.framespershot);
    if (due > weapon.bulletspershot)
        due = weapon.bulletspershot;
    int before = int((e - 1.0f) / weapon.framespershot);
    for (int k = before; k < due; k++)
        Shoot();
    if (due == weapon.bulletspershot)
        mode = JUST_SHOT;
}

void GunArm::RecoilStep(float e)
{
    float speed = world.playbackSpeed;
    lastshothandpos += recoillinearspeed * speed;
    VectorXYZ step = recoilangspeed * speed;
    if (!(e < weapon.framespershot * 0.5f))
        step = step * -0.5f;
    if (hand == nullptr || hand->blendAnim == nullptr)
        return;
    Quaternion q(RotMatrix(step));
    hand->blendAnim->pose.ang = q * hand->blendAnim->pose.ang;
}

bool GunArm::CanAimAt(VectorPos target)
{
    if (upperarm == nullptr || hand == nullptr || lowerarm == nullptr)
        return false;
    if (twoHanded) {
        VectorXYZ f = VectorXYZ(upperarm->GetRoot()->mat.z.v);
        f[1] = 0.0f;
        VectorXYZ d = VectorXYZ(target) - upperarm->GetWorldPos();
        d[1] = 0.0f;
        return Dot(Normalise(f), Normalise(d)) > 0.707f;
    }
    VectorDir hint(aimupperarmdir);
    if (FindAimToTarget(target, aimhanddist, hint, primarywristdir, nullptr, nullptr, nullptr))
        return true;
    if (alternatewristdir.LengthSq() > 0.1f &&
        FindAimToTarget(target, aimhanddist, hint, alternatewristdir, nullptr, nullptr, nullptr))
        return true;
    return FindAimToTarget(target, indirectaimhanddist, hint, primarywristdir, nullptr, nullptr, nullptr);
}

bool GunArm::AimAt(VectorPos target)
{
    if (upperarm == nullptr || hand == nullptr || lowerarm == nullptr)
        return false;
    Quaternion u, l, h;
    VectorDir hint(aimupperarmdir);
    bool found = FindAimToTarget(target, aimhanddist, hint, primarywristdir, &u, &l, &h) ||
                 (alternatewristdir.LengthSq() > 0.1f &&
                  FindAimToTarget(target, aimhanddist, hint, alternatewristdir, &u, &l, &h)) ||
                 FindAimToTarget(target, indirectaimhanddist, hint, primarywristdir, &u, &l, &h);
    if (!found)
        return false;
    bool a = SlerpBlendAnim(upperarm, u, AssumeArmSpeed, AssumeArmSnap);
    bool b = SlerpBlendAnim(lowerarm, l, AssumeArmSpeed, AssumeArmSnap);
    bool c = SlerpBlendAnim(hand, h, AssumeArmSpeed, AssumeArmSnap);
    return a && b && c;
}

bool GunArm::FindAimToTarget(VectorPos target, float handdist, VectorDir upperarmdir, VectorDir wristdir,
                             Quaternion* upper, Quaternion* lower, Quaternion* handq)
{
    Matrix W = upperarm->parent != nullptr ? upperarm->parent->GetWorldMatrix() : Matrix(true);
    VectorXYZ t = W.Inverse() * target;
    VectorXYZ S = upperarm->mat.GetTrans();
    VectorXYZ dn = Normalise(t - S);
    float handlen = VectorXYZ(hand->mat.GetTrans()).Length();
    if (!twoHanded) {
        float reach = VectorXYZ(lowerarm->mat.GetTrans()).Length() + handlen - handdist;
        return AimHandToTarget(VectorPos(S + dn * reach), target, upperarmdir, wristdir, upper, lower, handq);
    }
    float reach = handlen - handdist;
    return AimHandToTargetTwoHanded(VectorPos(S + dn * reach), target, upperarmdir, wristdir, upper, lower, handq);
}

namespace {

bool InsideBox(const Cuboid& box, VectorXYZ p)
{
    bool empty = !(box.min[0] < box.max[0] || box.min[1] < box.max[1] || box.min[2] < box.max[2]);
    if (empty)
        return false;
    for (int i = 0; i < 3; i++)
        if (p[i] < box.min[i] || p[i] > box.max[i])
            return false;
    return true;
}

}  // namespace

bool GunArm::AimHandToTarget(VectorPos H, VectorPos target, VectorDir upperarmdir, VectorDir wristdir,
                             Quaternion* upper, Quaternion* lower, Quaternion* handq)
{
    if (InsideBox(torsobox, H))
        return false;
    bool outputs = upper != nullptr || lower != nullptr || handq != nullptr;
    if (!outputs && !lockwrist)
        return Solve2JointLimb(hand, H, upperarmdir, ikupperarmlimits, ikelbowlimits, false, nullptr, nullptr);
    Matrix M(true);
    float bend = 0.0f;
    if (!Solve2JointLimb(hand, H, upperarmdir, ikupperarmlimits, ikelbowlimits, false, &M, &bend))
        return false;
    lastaimhandpos = H;
    Matrix upperRot = ikupperarmmat * M;
    if (upper != nullptr)
        *upper = Quaternion(upperRot);
    if (lower != nullptr)
        *lower = Quaternion(RotY(bend));
    if (!lockwrist && handq == nullptr)
        return true;

    // The hand joint's world frame with no hand rotation of its own.
    Matrix upperLocal = Matrix(Quaternion(upperRot));
    upperLocal.w = upperarm->mat.w;
    Matrix lowerLocal = RotY(bend);
    lowerLocal.w = lowerarm->mat.w;
    Matrix parentWorld = upperarm->parent != nullptr ? upperarm->parent->GetWorldMatrix() : Matrix(true);
    Matrix F = TransMatrix(hand->mat.GetTrans()) * lowerLocal * upperLocal * parentWorld;
    Matrix Finv = F.Inverse();
    VectorXYZ p = Finv * target;
    VectorXYZ u = Finv * wristdir;
    Matrix L = LookAlong(VectorDir(p), VectorDir(u));
    Matrix P = ikhandmat * L;
    Matrix gunLocal = gun != nullptr ? gun->mat : Matrix(true);
    Matrix Z = TransMatrix(GunMuzzleOffs) * RotY(kLimbPi * 0.5f) * gunLocal;
    Matrix R = Z.Inverse() * P;

    if (lockwrist) {
        Matrix hi = ikhandmat.Inverse();
        hi.w = Vector(0.0f, 0.0f, 0.0f, 1.0f);
        VectorXYZ zr = hi * VectorDir(R.z.v);
        VectorXYZ xr = hi * VectorDir(R.x.v);
        Matrix out(true);
        if (!Solve1JointLimb(VectorPos(zr), VectorDir(xr), ikwristlimits, handq != nullptr ? &out : nullptr))
            return false;
        if (handq != nullptr)
            *handq = Quaternion(out * ikhandmat);
    } else {
        *handq = Quaternion(R);
    }
    return true;
}

bool GunArm::AimHandToTargetTwoHanded(VectorPos, VectorPos target, VectorDir, VectorDir, Quaternion* upper,
                                      Quaternion* lower, Quaternion* handq)
{
    VectorXYZ d = Normalise(VectorXYZ(target) - hand->GetWorldPos());
    VectorXYZ up(0.0f, 1.0f, 0.0f);
    VectorXYZ z = d ^ up;
    VectorXYZ y = z ^ d;
    Matrix A(Vector(d, 0.0f), Vector(y, 0.0f), Vector(z, 0.0f), Vector(0.0f, 0.0f, 0.0f, 1.0f));
    if (upper != nullptr)
        *upper = Quaternion(upperarm->mat);
    if (lower != nullptr)
        *lower = Quaternion(A * upperarm->GetWorldMatrix().Inverse());
    if (handq != nullptr)
        *handq = Quaternion(true);
    return true;
}

bool GunArm::SolveHandPosition(VectorPos pos, VectorDir upperarmdir, Quaternion* upper, Quaternion* lower) const
{
    if (InsideBox(torsobox, pos))
        return false;
    if (upper == nullptr && lower == nullptr)
        return Solve2JointLimb(hand, pos, upperarmdir, ikupperarmlimits, ikelbowlimits, false, nullptr, nullptr);
    Matrix M(true);
    float bend = 0.0f;
    if (!Solve2JointLimb(hand, pos, upperarmdir, ikupperarmlimits, ikelbowlimits, false, &M, &bend))
        return false;
    if (upper != nullptr)
        *upper = Quaternion(ikupperarmmat * M);
    if (lower != nullptr)
        *lower = Quaternion(RotY(bend));
    return true;
}

bool GunArm::MoveHandTo(VectorPos pos)
{
    Quaternion u, l;
    if (!SolveHandPosition(pos, VectorDir(aimupperarmdir), &u, &l))
        return false;
    bool a = SlerpBlendAnim(upperarm, u, AssumeArmSpeed, AssumeArmSnap);
    bool b = SlerpBlendAnim(lowerarm, l, AssumeArmSpeed, AssumeArmSnap);
    return a && b;
}

void GunArm::Shoot()
{
    if (GunMissing(gun))
        return;
    VectorPos P;
    Matrix fire = MuzzleOf(gun->GetWorldMatrix(), &P);
    fire.w = Vector(P);
    fire.z = Vector(Normalise(VectorXYZ(curTargetPos - P)), 0.0f);
    weapon.bulletsLeft -= 1;
    ShootBullet(fire, VectorDir(0.0f, 0.0f, 0.0f), RegistryModel(weapon.iBulletMFIndex), weapon.bulletmdlindex,
                &weapon, gun->GetRoot()->id, BulletLifetime, isPreciseShot);
    ShotEffects(gun, weapon, VectorDir(0.0f, 0.0f, 0.0f));
}

void GunArm::ShootAt(VectorPos target)
{
    if (GunMissing(gun))
        return;
    VectorPos P;
    MuzzleOf(gun->GetWorldMatrix(), &P);
    weapon.bulletsLeft -= 1;
    ShootBullet(LookatMatrix(P, target), VectorDir(0.0f, 0.0f, 0.0f), RegistryModel(weapon.iBulletMFIndex),
                weapon.bulletmdlindex, &weapon, gun->GetRoot()->id, BulletLifetime, isPreciseShot);
    ShotEffects(gun, weapon, VectorDir(0.0f, 0.0f, 0.0f));
    lastshot = FrameCounter();
}

void GunArm::FakeShot()
{
    if (GunMissing(gun))
        return;
    ShotEffects(gun, weapon, VectorDir(0.0f, 0.0f, 0.0f));
}

bool GunArm::DischargeGun()
{
    if (weapon.bulletsLeft <= 0 || upperarm == nullptr || hand == nullptr)
        return false;
    lastshot = FrameCounter();
    lastshothandpos = hand->GetRelativePos(upperarm->parent);
    if (BlendAnimation* ba = hand->blendAnim) {
        ba->pose.Set(hand->mat);
        ba->pose.ang = ba->lastEval.ang;
        ba->poseBlend = 1.0f;
    }
    mode = SHOOTING;
    return true;
}

void GunArm::ImmediateDeactivateGun()
{
    RelaxArm(1.0f);
    if (gun != nullptr)
        gun->flags |= OBJF_HIDDEN;
    mode = UNARMED;
}

void GunArm::ImmediateRelaxArm()
{
    RelaxArm(1.0f);
    mode = CARRYING;
}

// ---------------------------------------------------------------------------
// PresetGunArm

bool PresetGunArm::ShootGun()
{
    if (weapon.bulletsLeft <= 0)
        return false;
    mode = AfterShootRequest<PresetGunArm>(mode);
    return true;
}

void PresetGunArm::HolsterGun()
{ mode = AfterQuitAiming<PresetGunArm>(mode); }

void PresetGunArm::Relax()
{
    poseblend -= 0.2f;
    if (poseblend < 0.01f)
        poseblend = 0.0f;
}

void PresetGunArm::Frame(int i, bool b, float w0, float w1, float w2, float w3, float w4, float w5)
{
    for (;;) {
        u32 e = FrameCounter() - lastshot;
        bool again = false;
        switch (mode) {
        case UNARMED: poseblend = 0.0f; break;
        case CARRYING_TO_UNARMED:
            if (poseblend > 0.0f)
                Relax();
            else
                mode = UNARMED;
            break;
        case CARRYING:
            if (poseblend > 0.0f)
                Relax();
            break;
        case AIMING: Aim(i, b, w0, w1, w2, w3, w4, w5); break;
        case SHOOTING:
            Shoot();
            lastshot = FrameCounter();
            mode = JUST_SHOT;
            again = true;
            break;
        case JUST_SHOT:
            if (e >= 3) {
                mode = RECOIL;
                again = true;
            }
            break;
        case DRAWING_TO_AIM:
            morphframe = 0;
            mode = AIMING;
            again = true;
            break;
        case DRAWING_TO_SHOOT:
            if (e < 22 || e > 32) {
                morphframe = 0;
                mode = AIMING_TO_SHOOT;
                again = true;
            }
            break;
        case AIMING_TO_SHOOT:
            if (Aim(i, b, w0, w1, w2, w3, w4, w5)) {
                mode = SHOOTING;
                again = true;
            }
            break;
        case RECOIL:
            if (e >= 23)
                mode = CARRYING;
            break;
        case RECOIL_TO_AIM:
        case RECOIL_TO_SHOOT:
            if (e >= 3) {
                morphframe = 0;
                mode = mode == RECOIL_TO_AIM ? AIMING : AIMING_TO_SHOOT;
            }
            break;
        case QUITTING_AIMING: mode = CARRYING; break;
        default: break;   // RECOIL_TO_QUIT_AIMING waits for its owner
        }
        if (!again)
            break;
    }
    ShowGun<PresetGunArm>(gun, mode);
}

bool PresetGunArm::Aim(int, bool, float w0, float w1, float w2, float w3, float w4, float w5)
{
    poseblend = poseblend + 0.2f < 1.0f ? poseblend + 0.2f : 1.0f;
    if (root != nullptr && aimanimheader != nullptr) {
        root->PoseAnimHierarchyToFrame(aimanimheader, aimrangepos * aimanimheader->length, poseblend != 0.0f, 1.0f);
        float w[6] = {w0, w1, w2, w3, w4, w5};
        for (int k = 0; k < 6; k++) {
            AnimChar* a = blendaimanimheaders[k];
            if (a != nullptr && w[k] != 0.0f)
                root->PoseAnimHierarchyToFrame(a, aimrangepos * a->length, w[k] * poseblend != 0.0f, 1.0f);
        }
    }
    return poseblend == 1.0f;
}

Matrix PresetGunArm::MuzzleFrame(VectorPos* p) const { return MuzzleOf(gun->GetWorldMatrix(), p); }

void PresetGunArm::Shoot()
{
    if (GunMissing(gun))
        return;
    VectorPos P;
    Matrix Z = MuzzleFrame(&P);
    Matrix fire = Z;
    fire.w = Vector(P);
    weapon.bulletsLeft -= 1;
    if (aimobj != nullptr) {
        VectorXYZ t = VectorXYZ(aimobj->mat.GetTrans()) - P;
        if (t.LengthSq() > 0.01f) {
            VectorXYZ tn = Normalise(t);
            if (fabsf(tn[1]) < 0.99f && fabsf(Z.z[1]) < 0.99f) {
                VectorXYZ flat(Z.z[0], 0.0f, Z.z[2]);
                VectorXYZ f = Normalise(flat) * sqrtf(1.0f - tn[1] * tn[1]);
                f[1] = tn[1];
                Matrix l = LookAlong(VectorDir(f));
                fire.x = l.x;
                fire.y = l.y;
                fire.z = l.z;
            }
        }
    }
    ShootBullet(fire, vel, RegistryModel(weapon.iBulletMFIndex), weapon.bulletmdlindex, &weapon, gun->GetRoot()->id,
                BulletLifetime, isPreciseShot);
    ShotEffects(gun, weapon, vel);
}

void PresetGunArm::ShootAt(VectorPos target)
{
    if (GunMissing(gun))
        return;
    VectorPos P;
    MuzzleFrame(&P);
    weapon.bulletsLeft -= 1;
    lastshot = FrameCounter();
    ShootBullet(LookatMatrix(P, target), VectorDir(0.0f, 0.0f, 0.0f), RegistryModel(weapon.iBulletMFIndex),
                weapon.bulletmdlindex, &weapon, gun->GetRoot()->id, BulletLifetime, isPreciseShot);
    ShotEffects(gun, weapon, VectorDir(0.0f, 0.0f, 0.0f));
}

void PresetGunArm::FakeShot()
{
    if (GunMissing(gun))
        return;
    ShotEffects(gun, weapon, vel);
}
