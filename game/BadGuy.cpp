// BadGuy's obstacle scan and car entry; the enemy's construction, shooter
// initialisation, hibernation, body collision, aim error, ground following,
// laser sight and destruction.
#include "game/BadGuy.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/GameModes.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/Weapons.h"

using BA = BadGuyAnims;

namespace {

constexpr float kDeg = 3.1415927f / 180.0f;
AngleArc Arc(float startdeg, float lendeg) { return AngleArc(startdeg * kDeg, lendeg * kDeg); }

// The object of the model root's second child node: the body root (the first
// child is the map icon).
Object* SecondChild(Object* root)
{
    Object* first = root->child;
    return first != nullptr ? first->sibling : nullptr;
}

// Sub-object numbers of the character rig.
enum
{
    SUB_LHAND = 0,
    SUB_RHAND = 1,
    SUB_LFOOT = 6,
    SUB_RFOOT = 7,
    SUB_EYE = 14,
    SUB_HEAD = 15,
    SUB_TORSO = 20,
    SUB_GRAB = 31,
};

}  // namespace

void LowerStat(u32& stat, u32 n) { stat = stat > n ? stat - n : 0; }

// ---------------------------------------------------------------------------
// BadGuy

BadGuy::ObstacleInfo::ObstacleInfo()
    : obj(), ghc{}, leftside(0.0f, 0.0f, 0.0f), rightside(0.0f, 0.0f, 0.0f), leftsideoffset(0.0f),
      rightsideoffset(0.0f), closerside(0)
{
}

BadGuy::BadGuy(OBJMESSAGEHANDLER mh)
    : Guy(mh), aggro(0.5f), morphed(false), seektarget(false), chasetarget(false), harasstarget(false),
      targetspotted(false), iscivilian(false), ishostage(false), issurrendering(false), iscop(false), car(nullptr),
      ghc{}, vobank(0), vopitch(1.0f), slipcounter(0), lastworldtime(0.0f), diveani(0)
{
    scanbox.valid = false;
    scanbox.numobjs = 0;
}

BadGuy::~BadGuy()
{
    for (int i = ObstacleScanBox::MaxObjs - 1; i >= 0; i--)
        scanbox.objs[i] = nullptr;
    curobstacle.obj = nullptr;
    target = nullptr;
}

const BadGuy::ObstacleScanBox& BadGuy::UpdateScanBox(VectorDir dir, float ahead, float halfwidth)
{
    const VectorPos pos = GetWorldPos();
    const VectorDir side = dir ^ VectorDir(0.0f, -1.0f, 0.0f);
    const VectorPos front = pos + dir * ahead;
    auto inside = [this](VectorPos p) {
        for (int k = 0; k < 3; k++)
            if (p[k] < scanbox.box.min[k] || p[k] > scanbox.box.max[k])
                return false;
        return true;
    };
    if (scanbox.valid && inside(pos) && inside(front))
        return scanbox;
    // Rebuilt: nothing marks the box valid, so every call looks again.
    const VectorDir w = side * halfwidth, f = dir * (ahead * 2.0f);
    const VectorPos corners[4] = {pos + w, pos - w, pos + f + w, pos + f - w};
    Cuboid box(corners[0], corners[0]);
    for (const VectorPos& c : corners)
        for (int k = 0; k < 3; k++) {
            box.min[k] = std::min(float(box.min[k]), float(c[k]));
            box.max[k] = std::max(float(box.max[k]), float(c[k]));
        }
    scanbox.box = box;
    scanbox.valid = false;
    for (int i = ObstacleScanBox::MaxObjs - 1; i >= 0; i--)
        scanbox.objs[i] = nullptr;
    const int found = FindObjects(box, scanbox.objs, ObstacleScanBox::MaxObjs);
    scanbox.numobjs = std::min(found, int(ObstacleScanBox::MaxObjs));
    return scanbox;
}

void BadGuy::ScanForObstacles(ObstacleInfo* info)
{
    VectorDir dir(mat.z[0], 0.0f, mat.z[2]);
    dir = Normalise(dir);
    if (ghc.prs != nullptr) {
        // Up or down the road's slope.
        const VectorDir rd = Normalise(VectorDir(ghc.prs->bezier.EvaluateTangent(ghc.rsres[2])));
        const float s = Dot(VectorXYZ(mat.z.xyz()), rd) * rd[1];
        VectorDir d = dir * (1.0f - s * s);
        d[1] = s;
        dir = Normalise(d);
    }
    const ObstacleScanBox& box = UpdateScanBox(dir, 0.625f, 0.15625f);
    const VectorPos pos = GetWorldPos();
    Object* best = nullptr;
    float bestA = 0.0f;
    for (int i = 0; i < box.numobjs; i++) {
        Object* o = box.objs[i];
        if (o == nullptr || o == this || o->IsDead())
            continue;
        const VectorDir rel = pos - o->GetWorldPos();
        const float a = Dot(dir, rel);
        if (a <= 0.0f || a >= 9.375f)
            continue;
        if (std::fabs(Dot(VectorXYZ(mat.x.xyz()), rel)) >= 0.15625f)
            continue;
        if (best == nullptr || a < bestA) {
            best = o;
            bestA = a;
        }
    }
    if (best != nullptr) {
        info->ghc.prs = nullptr;
        info->ghc.pjunc = nullptr;
        world.GroundHeight(best->GetRoot()->GetWorldPos(), nullptr, &info->ghc);
        if (info->ghc.prs == nullptr)
            best = nullptr;
    }
    info->obj = best;
}

void BadGuy::CalcObstacleSides(ObstacleInfo* info, VectorDir dir)
{
    Object* o = info->obj;
    COLLISION* c = o != nullptr ? o->GetCollision() : nullptr;
    const RoadSeg* rs = info->ghc.prs;
    if (o == nullptr || c == nullptr || c->type != COLL_BOX || rs == nullptr) {
        info->obj = nullptr;
        info->closerside = 0;
        return;
    }
    const CollBox* cb = reinterpret_cast<const CollBox*>(c);
    const Matrix wm = o->GetWorldMatrix();
    const float t = info->ghc.rsres[2];
    const VectorPos at = VectorPos(rs->bezier.Evaluate(t).xyz());
    const VectorDir across = Normalise(VectorDir(rs->bezier.EvaluateNormal(t)));
    // The outermost corners across the road, widened by a body's half width.
    float lo = 1e30f, hi = -1e30f;
    VectorPos plo(0.0f, 0.0f, 0.0f), phi(0.0f, 0.0f, 0.0f);
    for (int k = 0; k < 8; k++) {
        const VectorPos corner((k & 1) ? cb->box.max[0] : cb->box.min[0], (k & 2) ? cb->box.max[1] : cb->box.min[1],
                               (k & 4) ? cb->box.max[2] : cb->box.min[2]);
        const VectorPos w = wm * corner;
        const float s = Dot(w - at, across);
        if (s < lo) {
            lo = s;
            plo = w;
        }
        if (s > hi) {
            hi = s;
            phi = w;
        }
    }
    plo = plo - across * 0.15625f;
    phi = phi + across * 0.15625f;
    VectorDir d;
    const float tl = rs->bezier.CalcParams(plo, d)[0];
    const float tr = rs->bezier.CalcParams(phi, d)[0];
    if ((tl < 0.0f && tr < 0.0f) || (tl >= 0.0f && tr >= 0.0f)) {
        info->obj = nullptr;
        info->closerside = 0;
        return;
    }
    info->leftside = plo;
    info->rightside = phi;
    info->leftsideoffset = tl;
    info->rightsideoffset = tr;
    const VectorPos me = GetWorldPos();
    info->closerside = (me - plo).LengthSq() <= (me - phi).LengthSq() ? -1 : 1;
    (void)dir;
}

void BadGuy::StartWalkingToDoor(bool left)
{
    const u16 a = left ? 59 : 60;
    Guy::BlendToAnim(a, anims != nullptr ? anims[a] : nullptr, animbanks != nullptr ? animbanks[a] : 0, 5, false);
}

bool BadGuy::StartGettingIn(Vehicle* v)
{
    if (v == nullptr || v->Speed2() > 0.000135528f)
        return false;
    // Door locators (model words) in the car's frame, whose origin is its
    // centre of gravity.
    NODE* doorL = v->FindNode(0x8064);
    NODE* doorR = v->FindNode(0x8065);
    const bool countL = doorL != nullptr && v->FindNode(0x8074) != nullptr;
    const bool countR = doorR != nullptr && v->FindNode(0x8075) != nullptr;
    const Matrix vm = v->GetWorldMatrix();
    auto doorPos = [&](NODE* n) { return vm * VectorPos(n->Pos() - v->vdCOGOffset); };
    int side = -1;   // 0 left, 1 right
    if (doorL != nullptr && doorR != nullptr) {
        const VectorPos me = GetWorldPos();
        const bool leftNearer = (doorPos(doorL) - me).LengthSq() <= (doorPos(doorR) - me).LengthSq();
        if (leftNearer)
            side = countL ? 0 : countR ? 1 : -1;
        else
            side = countR ? 1 : countL ? 0 : -1;
    } else if (doorL != nullptr) {
        side = countL ? 0 : -1;
    } else if (doorR != nullptr) {
        side = countR ? 1 : -1;
    }
    if (side < 0)
        return false;
    if (vm.y[1] < 0.0f || v->AngVel().xyz().LengthSq() > 0.0174533f)
        return false;
    Object* driver = v->rcoDriver;
    if (driver == nullptr)
        return false;
    SpecialMessage m(SMSG_CD_SUSPEND, this, 1);
    if (driver->SendMessage(OM_SPECIAL, &m) == 0)
        return false;
    StartWalkingToDoor(side == 0);
    car = v;
    v->flags |= 0x20;
    return true;
}

// ---------------------------------------------------------------------------
// Enemy: tuning

float Enemy::OnFootActivationDist = 10.0f;
float Enemy::maxturnspeed = 0.10472f;
float Enemy::CombatVicinity = 1.25f;
float Enemy::AttackRingInner = 0.3125f;
float Enemy::AttackRingOuter = 0.46875f;
float Enemy::SurroundRingInner = 0.625f;
float Enemy::SurroundRingOuter = 0.9375f;
float Enemy::SidelineRingInner = 1.25f;
float Enemy::SidelineRingOuter = 1.875f;
float Enemy::DefenseRadius = 0.625f;
float Enemy::CombatHitHighThreshold = -0.546875f;
float Enemy::CombatHitLowThreshold = -0.1875f;
float Enemy::CombatHitSideThreshold = 0.0625f;
float Enemy::PassiveGoalDistance = 0.9375f;
float Enemy::SurroundGoalDistance = 0.625f;
float Enemy::AttackChanceInfluence = 0.5f;
float Enemy::MaxAttackChance = 0.9f;
float Enemy::InitialRunnerStrength = 10.0f;
int Enemy::CombatMinimumBlockTime = 10;
int Enemy::CombatMaximumBlockTime = 40;
int Enemy::CombatMinimumApproachTime = 30;

// ---------------------------------------------------------------------------
// Enemy: construction and destruction

Enemy::Enemy(OBJMESSAGEHANDLER mh, MDLFILE* mf, int hierarchy) : BadGuy(mh)
{
    type = OBJT_CHARACTER;
    u32BGFlags = 0;
    bDuck_fire = true;
    rightgunarm.weapon = gWeapons[WEAP_BLANK];
    for (AngleArc& a : rightgunarm.ikupperarmlimits)
        a = AngleArc(-kLimbPi, kLimbTwoPi);
    rightgunarm.ikelbowlimits = AngleArc(-kLimbPi, kLimbTwoPi);
    for (AngleArc& a : rightgunarm.ikwristlimits)
        a = AngleArc(-kLimbPi, kLimbTwoPi);
    for (AngleArc& a : leftIKarm.ikupperobjlimits)
        a = AngleArc(-kLimbPi, kLimbTwoPi);
    leftIKarm.iklowerobjlimits = AngleArc(-kLimbPi, kLimbTwoPi);

    for (WorldTime* t : {&lastoffenseactivetime, &deathtime, &droptime, &lastevent, &checkoffscreentime,
                         &checktargettime, &timeleft, &nextshot, &lastattackhit, &lastattackblock, &lastenemyattack,
                         &lastenemyattackhit, &lastenemyattackblock, &dazedstarttime, &dazecountertime,
                         &lastlookbacktime, &nextlookbacktime, &lastfirebacktime, &lastshotattime, &pursuitstarttime,
                         &pursuitserioustime, &stoppedatcornertime, &gotincartime, &wandertime, &reactiontime})
        *t = -1;

    auto sphereType = [](CollSphere* s, int n) {
        for (int i = 0; i < n; i++) {
            s[i].type = COLL_SPHERE;
            s[i].child = 0;
        }
    };
    sphereType(shootrootcollspheres, 4);
    sphereType(fightrootcollspheres, 4);
    sphereType(runrootcollspheres, 4);
    sphereType(inaircollspheres, 2);
    sphereType(bodycollspheres, 9);

    if (mf != nullptr) {
        mf->GetHierarchyTo(this, u16(hierarchy), 200);
        FindShadows();
    }
}

Enemy::~Enemy()
{
    for (int i = 3; i >= 0; i--)
        offcollobjs[i].Unbind();
    groundobj = nullptr;
    hostage = nullptr;
}

// ---------------------------------------------------------------------------
// Shooter set-up

void Enemy::InitAsShooter()
{
    deathtime = -1;
    type = OBJT_CHARACTER;
    flags |= OBJF_FRAMECALL | OBJF_DRAWSELF | ENEMYF_ACTIVE;
    hostage = nullptr;
    nodamage = false;
    morphed = false;
    mode = 22;

    ptexIcon = GetIcon();
    biproot = SecondChild(this);
    InitialiseChildCollisions();
    ModifyFlagsHierarchy(OBJF_NOCOLLISION, 0);
    if (biproot != nullptr)
        biproot->flags &= ~OBJF_NOCOLLISION;
    flags &= ~OBJF_NOCOLLISION;
    ClearPopOut();

    InitAnims();
    SetAnim(+BA::GUN_IDLE_ANI);

    bHeardNoise = false;
    positivedir = true;
    seektarget = chasetarget = harasstarget = targetspotted = false;
    destpatht = 1.0f;

    target = dace;
    iscivilian = ishostage = issurrendering = iscop = false;
    pTargetTorso = dace != nullptr ? dace->FindSubObject(SUB_TORSO) : nullptr;

    world.pedlist.AddHead(this);

    lhand = FindSubObject(SUB_LHAND);
    rhand = FindSubObject(SUB_RHAND);
    lfoot = FindSubObject(SUB_LFOOT);
    rfoot = FindSubObject(SUB_RFOOT);
    torso = FindSubObject(SUB_TORSO);
    head = FindSubObject(SUB_HEAD);
    eye = FindSubObject(SUB_EYE);
    if (eye == nullptr)
        eye = head;

    ReinitAsShooter();
}

void Enemy::ReinitAsShooter()
{
    enemytype = ENEMYTYPE_SHOOTER;
    flags |= OBJF_DRAWSELF;
    maxwander = 0.0f;
    patht = 0.0f;
    shooting = false;
    arrivepath = movepath = nullptr;
    sight = nullptr;
    behavior = MOVING;
    hidebehavior = NO_HIDING;

    checkoffscreentime = world.time + 5 + RandomN(5);
    isonscreen = true;
    jumpframe = grappledframe = -8388608.0f;
    timeleft = 0;

    if (InGuardMode())
        shootweapontype = -1;

    GunArm& a = rightgunarm;
    a.ikupperarmlimits[0] = Arc(-180.0f, 360.0f);
    a.ikupperarmlimits[1] = Arc(30.0f, 180.0f);
    a.ikupperarmlimits[2] = Arc(120.0f, 160.0f);
    a.ikelbowlimits = Arc(0.0f, 150.0f);
    a.ikwristlimits[0] = Arc(-120.0f, 150.0f);
    a.ikwristlimits[1] = Arc(100.0f, 160.0f);
    a.ikwristlimits[2] = Arc(-40.0f, 80.0f);
    a.lockwrist = true;
    a.twoHanded = false;
    a.aimhanddist = 0.0015625f;
    a.indirectaimhanddist = 0.015625f;
    a.recoillinearspeed = VectorDir(0.0f, 0.08f, 0.002f);
    a.recoilangspeed = VectorXYZ(0.0f, 0.0f, -8.0f * kDeg);
    a.primarywristdir = VectorDir(0.0f, -1.0f, 0.0f);
    a.alternatewristdir = Normalise(VectorDir(-1.0f, -1.0f, 0.0f));
    // The rig's joint frames: the upper arm runs along its x axis, turned
    // down at rest; the hand looks along z.
    a.ikupperarmmat = Matrix(Vector(0, 0, 1, 0), Vector(0, 1, 0, 0), Vector(-1, 0, 0, 0), Vector(0, 0, 0, 1));
    a.ikhandmat = Matrix(Vector(-1, 0, 0, 0), Vector(0, -1, 0, 0), Vector(0, 0, 1, 0), Vector(0, 0, 0, 1));
    // The elbow hint: the player's right arm's turned round, since these
    // twist limits lie half a turn from his (the elbow rides above the line
    // of aim, the hand turned half a turn, which the figure's hold of what
    // it carries makes up for).
    a.aimupperarmdir = VectorPos(0.8f, -0.6f, 0.0f);

    a.hand = FindSubObject(SUB_RHAND);
    a.lowerarm = a.hand != nullptr ? a.hand->parent : nullptr;
    a.upperarm = a.lowerarm != nullptr ? a.lowerarm->parent : nullptr;
    a.torsobox = Cuboid(VectorPos(0, 0, 0), VectorPos(0, 0, 0));   // no body box: the limits keep the arm out
    if (a.gun != nullptr) {
        a.gun->Detach();
        a.gun->Delete();
        a.gun = nullptr;
    }
    a.weapon.SetType(shootweapontype);
    MDLFILE* gunfile = shootweapontype >= 0 && a.weapon.iGunMFIndex >= 0
                           ? g_GlobalMFI.GetMF(a.weapon.iGunMFIndex, false)
                           : nullptr;
    if (gunfile != nullptr) {
        NODE* n = gunfile->FindNodeById1(0, u16(a.weapon.gunmdlindex));
        const u16 index = n != nullptr ? u16(n - gunfile->nodes) : 0;
        a.gun = gunfile->GetHierarchy(index, 0x70, 8);
        NODE* attach = nullptr;
        Object* holder = a.gun != nullptr ? FindNodeHierarchy(0x8001, attach) : nullptr;
        if (holder != nullptr)
            holder->Attach(a.gun, attach);
        else if (a.gun != nullptr) {
            a.gun->Delete();
            a.gun = nullptr;
            // A gunman who cannot hold his gun never fires: his game could
            // never be lost.
            if (g_pgcTest != nullptr)
                g_pgcTest->RefuseUnfitModel(g_GlobalMFI.GetIndex(mdlfile), "hand to hold a gun", true);
        } else if (g_pgcTest != nullptr) {
            g_pgcTest->RefuseUnfitModel(a.weapon.iGunMFIndex, "gun to build", true);
        }
    }

    if (shootweapontype >= WEAP_MG_AK47 && shootweapontype <= WEAP_SNIPERRIFLE) {
        a.lockwrist = true;
        a.twoHanded = true;
        a.recoilangspeed = a.recoilangspeed * 0.5f;
        a.ikupperarmlimits[0] = Arc(-180.0f, 360.0f);
        a.ikupperarmlimits[1] = Arc(-180.0f, 360.0f);
        a.ikupperarmlimits[2] = Arc(-120.0f, 360.0f);
        a.ikelbowlimits = Arc(-360.0f, 720.0f);
        if (g_GlobalAGI.GetAG(AnimGroup_NPCMGun) == nullptr)
            g_GlobalAGI.LoadAG(AnimGroup_NPCMGun, AGI_DELETEABLE);
        InitAnims();
        combatoverlayanims = MGunOverlayAnims;
        style = 1;
    } else {
        combatoverlayanims = PistolOverlayAnims;
        style = 0;
    }

    shootrootcollmask = 0x2509;
    shootfootrootcollmask = 0x2301;
    UpdateBodyColl(0x2301, 0x2509, 0x2509, 0.0625f);

    ClearBlendAnimHierarchy();
    if (target != nullptr)
        pTargetTorso = target->FindSubObject(SUB_TORSO);

    if (shootweapontype == -1)
        a.DisarmGun();
    else
        a.ArmGun();
}

void Enemy::RemoveAsShooter()
{
    DropHostage();
    DestroyLaserSight();
    if (Object* g = rightgunarm.gun) {
        rightgunarm.gun = nullptr;
        g->Detach();
        g->Delete();
    }
}

void Enemy::Hibernate()
{
    u32BGFlags |= 1;
    ghc = GHCache{};
}

void Enemy::UnHibernate() { u32BGFlags &= ~1u; }

Enemy* AsEnemy(Object* o)
{
    if (o == nullptr || o->messagehandler == nullptr)
        return nullptr;
    const auto runner = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("RunnerEnemy")));
    if (o->messagehandler == Enemy::ShooterEnemy_mh || o->messagehandler == Enemy::FighterEnemy_mh ||
        (runner != nullptr && o->messagehandler == runner))
        return static_cast<Enemy*>(o);
    return nullptr;
}

bool HasEnemyHandler(const Object* o)
{
    return o != nullptr && (o->messagehandler == &Enemy::ShooterEnemy_mh || o->messagehandler == &Enemy::FighterEnemy_mh ||
                            (RunnerEnemyHandler != nullptr && o->messagehandler == RunnerEnemyHandler));
}

void Enemy::UseGuardIdles()
{
    const AnimGroup* g = g_GlobalAGI.GetAG(AnimGroup_NPCGuard);
    auto clip = [g](int k) { return g != nullptr && k < g->count ? g->pChars[k] : nullptr; };
    Anims[+BA::NPC_IDLE_ANI] = clip(8);
    Anims[+BA::NPC_SHOCKED_ANI] = clip(1);
    AnimBanks[+BA::NPC_IDLE_ANI] = AnimGroup_NPCGuard;
    AnimBanks[+BA::NPC_SHOCKED_ANI] = AnimGroup_NPCGuard;
}

// The eight body spheres, in the body root's frame, which is where the
// spheres hang: bullets and blows meet the body through them.  Each starts
// round one joint and grows to hold the next ones of its limb: the legs
// (knee, hip and ankle) carry the first root id, the upper and lower arms,
// the torso (chest, neck and pelvis) and the head the second.  lift raises
// the legs' knee and ankle points by that much, keeping the spheres off the
// ground.
void Enemy::UpdateBodyColl(u16 footmask, u16 rootmask, u16 rootmask2, float lift)
{
    Object* rel = biproot != nullptr ? biproot : this;
    auto parentof = [](Object* o) { return o != nullptr ? o->parent : nullptr; };
    auto at = [rel](Object* o, float dy) {
        const VectorPos p = o != nullptr ? o->GetRelativePos(rel) : VectorPos(0, 0, 0);
        return VectorPos(p[0], p[1] + dy, p[2]);
    };
    auto grow = [](VectorPos first, std::initializer_list<VectorPos> more, float core) {
        Sphere s(first, core);
        for (const VectorPos& p : more)
            s = s + p;
        return s;
    };
    Object* knees[2] = {parentof(lfoot), parentof(rfoot)};
    Object* elbows[2] = {parentof(lhand), parentof(rhand)};
    Object* hands[2] = {lhand, rhand};
    Object* feet[2] = {lfoot, rfoot};
    Sphere s[8];
    for (int k = 0; k < 2; k++) {
        s[k] = grow(at(knees[k], -lift), {at(feet[k], -lift), at(parentof(knees[k]), 0.0f)}, 0.0625f);
        s[2 + k] = grow(at(parentof(elbows[k]), 0.0f), {at(elbows[k], 0.0f)}, 0.0546875f);
        s[4 + k] = grow(at(elbows[k], 0.0f), {at(hands[k], 0.0f)}, 0.0546875f);
    }
    s[6] = grow(at(torso, -0.03125f), {at(parentof(head), 0.0f), VectorPos(0, 0, 0)}, 0.078125f);
    s[7] = Sphere(at(head, 0.0f), 0.0625f);
    for (int i = 0; i < 8; i++) {
        CollSphere& c = bodycollspheres[i];
        c.type = COLL_SPHERE;
        c.child = 0;
        c.id = i < 2 ? rootmask : rootmask2;
        c.sphere = s[i];
    }
    bodycollspheres[8].type = 0;
    if (biproot != nullptr)
        biproot->collision = reinterpret_cast<COLLISION*>(bodycollspheres);
    (void)footmask;
}

VectorDir Enemy::GetShootingInaccuracy(Object* tgt, float a, float b, float c, float d)
{
    const float dist = tgt != nullptr ? Length(VectorXYZ(GetWorldPos() - tgt->GetWorldPos())) : 0.0f;
    const float rx = randf() * 6.2831855f, ry = randf() * 3.1415927f, rz = randf() * 6.2831855f;
    const Matrix turn = RotX(FixAng(rx)) * RotY(FixAng(ry)) * RotZ(FixAng(rz));
    const VectorDir dir(turn.z.xyz());
    const float k = 1.0f - aggro;
    const float e = a + k * (b - a), m = c + k * (d - c);
    return dir * std::min(e * dist, m);
}

float Enemy::GetGroundHeight(VectorPos pos, VectorDir* normal) { return UpdateGroundAndLandableHeight(pos, normal, &ghc); }

float Enemy::UpdateGroundAndLandableHeight(VectorPos pos, VectorDir* normal, GHCache* cache)
{
    if (g_pgcTest != nullptr && g_pgcTest->bInterior) {
        groundterrainy = g_pgcTest->fInteriorHeight;
        groundterrainnormal = VectorDir(0.0f, -1.0f, 0.0f);
    } else {
        groundterrainy = world.GroundHeight(pos, &groundterrainnormal, cache);
    }
    // Standing on objects is looked for only on a frame whose ground time is
    // 0 (as the frame stamps it, that is the first frame of a level).
    if (groundupdatetime == 0) {
        groundobj = nullptr;
        float best = 0.0f;
        for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it) {
            Object* o = *it;
            if (o == nullptr || o == this || o->IsDead() || o->GetCollision() == nullptr)
                continue;
            VectorDir n(0.0f, -1.0f, 0.0f);
            const float h = GetObjectGroundHeight(o->GetCollision(), o->GetWorldMatrix(), groundterrainy, pos, &n);
            if (h >= groundterrainy)
                continue;
            if (groundobj == nullptr || h < best) {
                groundobj = o;
                best = h;
                groundobjy = h;
                groundobjdist = 0.0f;
                groundobjnormal = Normalise(n);
            }
        }
    }
    if (groundobj != nullptr && groundobjy < groundterrainy) {
        groundy = groundobjy;
        groundnormal = groundobjnormal;
    } else {
        if (groundobj != nullptr && std::fabs(groundobjnormal[1]) < 0.95f) {
            VectorDir push = groundobjnormal;
            push[1] = 0.0f;
            AddToPopOut(push * groundobjdist, true);
        }
        groundobj = nullptr;
        groundy = groundterrainy;
        groundnormal = groundterrainnormal;
    }
    if (normal != nullptr)
        *normal = groundnormal;
    return groundy;
}

const char* Enemy::MissingPart() const
{
    return FirstMissing({{torso, "torso"}, {head, "head"}, {lhand, "left hand"}, {rhand, "right hand"},
                         {lfoot, "left foot"}, {rfoot, "right foot"}});
}

Object* Enemy::CreateLaserSight()
{
    if (sight != nullptr)
        return sight;
    Object* gun = rightgunarm.gun;
    auto mh = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("LaserSight")));
    MDLFILE* mf = g_GlobalMFI.GetMF(152, false);
    if (gun == nullptr || mh == nullptr || mf == nullptr)
        return nullptr;
    Object* s = reinterpret_cast<Object*>(intptr_t(mh(nullptr, OM_CREATE, nullptr)));
    if (s == nullptr)
        return nullptr;
    mf->GetHierarchyTo(s, 0, 2);
    NODE* node = nullptr;
    Object* holder = gun->FindNodeHierarchy(0x8000, node);
    (holder != nullptr ? holder : gun)->Attach(s, node);
    s->flags |= OBJF_HIDDEN;
    sight = s;
    return s;
}

void Enemy::DestroyLaserSight()
{
    if (sight == nullptr)
        return;
    Object* s = sight;
    sight = nullptr;
    s->Detach();
    s->Delete();
}

void Enemy::PlayVoice(int kind)
{
    if (JBNPCVO.state == StreamJukebox::STOPPED)
        JBNPCVO.PlayBankTrack(vobank, kind, eye, 0.5f);
}

u16 Enemy::IdleAni() const { return hostage != nullptr ? +BA::GUN_HOLDHOSTAGE_IDLE_ANI : +BA::GUN_IDLE_ANI; }
u16 Enemy::RunAni() const { return hostage != nullptr ? +BA::GUN_HOLDHOSTAGE_WALK_FWD_ANI : +BA::GUN_RUN_ANI; }

void Enemy::TurnTowardFlat(VectorDir d)
{
    d[1] = 0.0f;
    if (d.LengthSq() <= 0.0f)
        return;
    TurnToward(Normalise(d), world.playbackSpeed * 0.10472f);
}

void Enemy::FaceAlong(VectorDir d)
{
    d[1] = 0.0f;
    if (d.LengthSq() <= 0.0f)
        return;
    d = Normalise(d);
    if (d.LengthSq() <= 0.01f)
        return;
    if (parent != nullptr)
        d = parent->GetWorldMatrix().Transpose() * d;
    const Matrix l = LookAlong(d);
    mat.x = l.x;
    mat.y = l.y;
    mat.z = l.z;
}

// ---------------------------------------------------------------------------

static Name nameShooterEnemy("ShooterEnemy", int(reinterpret_cast<intptr_t>(&Enemy::ShooterEnemy_mh)));
