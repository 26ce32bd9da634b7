// Spent cases, muzzle flashes, laser beams, bullet holes, blood splats and
// dropped guns (see ShotEffects.h).
#include "game/ShotEffects.h"

#include <cmath>
#include <new>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/explosn.h"

u32 Casing::lastsfxcount;
u32 BulletHole::lastsfxcount;
const float LaserSight::MaxSightDist = 20.0f;
const float LaserSight::NormalScaleLength = 20.0f;

namespace {

constexpr float kGravity = 0.000851562f;
constexpr float kLandingFall = 0.0116417f;   // falling faster than this clinks
constexpr u32 kCaseSoundGap = 31;            // vertical blanks between clinks
constexpr float kRestWithin = 0.01f;
constexpr float kPickupHover = 0.03f;
constexpr float kPickupScale = 1.5f;
constexpr float kPickupTurn = 0.05f;
constexpr u16 kPivotId = 0x8003;

template <class T>
T* Create(const char* kind, MDLFILE* mf)
{
    const OBJMESSAGEHANDLER h = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find(kind)));
    if (h == nullptr)
        return nullptr;
    return reinterpret_cast<T*>(intptr_t(h(reinterpret_cast<Object*>(mf), OM_CREATE, nullptr)));
}

// A random direction of length m.
VectorDir Spin(float m)
{
    const float x = 2.0f * randf() - 1.0f;
    const float y = 2.0f * randf() - 1.0f;
    const float z = 2.0f * randf() - 1.0f;
    return VectorDir(Normalise(VectorDir(x, y, z)) * m);
}

// The small kick out of a gun, up and a little aside (y points down).
VectorDir Kick()
{
    const float a = randf() * 0.00104167f - 0.000520833f;
    const float b = -randf() * 0.0078125f - 0.00520833f;
    const float c = randf() * 0.00416667f - 0.00208333f;
    return VectorDir(a, b, c);
}

// The starting spin: its size is drawn before its direction.
VectorDir StartSpin()
{
    const float m = randf() * 0.20944f;
    return Spin(m);
}

// One sphere at the origin ending its chain, in a block of its own.
COLLISION* OwnSphere(float r)
{
    void* block = malloc_align(sizeof(CollSphereEnd), 16);
    if (block == nullptr)
        return nullptr;
    return (new (block) CollSphereEnd(0x0100, Sphere(0.0f, 0.0f, 0.0f, r)))->Chain();
}

void FreeOwnCollision(Object* o)
{
    if (o->collision != nullptr && reinterpret_cast<uintptr_t>(o->collision) >= 4096)
        free(o->collision);
    o->collision = nullptr;
}

float GroundUnder(VectorPos p)
{
    if (InInterior())
        return g_pgcTest->fInteriorHeight;
    return world.GroundHeight(p, nullptr, nullptr);
}

void Upright(Object* o)
{
    const VectorPos p = o->Pos();
    o->mat = Matrix(true);
    o->mat.SetTrans(p);
}

// A static contact's point and depth from the receiver's side; false for
// anything else.
bool StaticContact(CollisionRecord* rec, VectorPos* point, VectorDir* normal, float* depth)
{
    if (rec == nullptr || !rec->GetInfo())
        return false;
    Object* other = rec->HitObj();
    if (other == nullptr || other->type != OBJT_STATIC)
        return false;
    *point = rec->Point();
    *normal = rec->Normal();
    *depth = rec->Dist();
    return true;
}

// Lands on the ground level: at rest (no gravity, no more collisions) when
// within 0.01 of it; placed on it in any case.
void Settle(Object* o, VectorDir& vel, float ground)
{
    if (o->Pos()[1] <= ground)
        return;
    if (std::fabs(o->Pos()[1] - ground) < kRestWithin) {
        vel[1] = 0.0f;
        o->flags |= OBJF_NOCOLLISION;
    }
    VectorPos p = o->Pos();
    p[1] = ground;
    o->SetPos(p);
}

// One frame of a thrown thing: gravity unless it rests, drag across, the
// move, then the interior floor and the ground level as contacts; the frame
// stops at once when a contact deleted it.
template <class T>
void Fall(T* o)
{
    const float s = world.playbackSpeed;
    if (!(o->flags & OBJF_NOCOLLISION))
        o->vel[1] += kGravity * s;
    o->vel[0] *= 0.99f;
    o->vel[2] *= 0.99f;
    o->SetPos(VectorPos(o->Pos() + o->vel * s));
    const VectorDir up(0.0f, 1.0f, 0.0f);
    if (InInterior() && o->Pos()[1] > g_pgcTest->fInteriorHeight &&
        o->Collision(up, o->Pos()[1] - g_pgcTest->fInteriorHeight))
        return;
    if (o->Pos()[1] > o->vpGroundPos[1])
        o->Collision(up, o->Pos()[1] - o->vpGroundPos[1]);
}

}  // namespace

// ---------------------------------------------------------------------------
// Muzzle flash

bool MuzzleFlash(Object* muzzleobj, const Matrix& muzzlemat, MDLFILE* flashmdlfile, unsigned int flashmdlindex)
{
    if (flashmdlfile == nullptr || muzzleobj == nullptr || !flashmdlfile->HasData())
        return false;
    Object* f = flashmdlfile->GetHierarchy(u16(flashmdlindex), sizeof(Object), 8);
    if (f == nullptr)
        return false;
    f->mat = muzzlemat;
    f->messagehandler = flashmh;
    world.StartAnimating(f);
    muzzleobj->Attach(f);
    LightFlash_Create(Colour(0xF0, 0xF0, 0x80, 0x00), 2.5f, f, 6.0f);
    return true;
}

int flashmh(Object* f, OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_ANIMLOOP:
        f->Detach();
        f->Delete();
        return -2;
    case OM_DIE:
        delete f;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Spent cases

bool EjectCasing(const Matrix& chambermat, VectorDir vel, MDLFILE* casingmdlfile, unsigned int casingmdlindex,
                 int lifetime, unsigned short casingsfxbank, unsigned short casingsfxindex)
{
    if (casingmdlfile == nullptr)
        return false;
    Casing* c = Create<Casing>("Casing", casingmdlfile);
    if (c == nullptr)
        return false;
    casingmdlfile->GetHierarchyTo(c, u16(casingmdlindex), 2);
    c->mat = chambermat;
    if (!world.AddObject(c, nullptr)) {
        c->Delete();
        return false;
    }
    c->vel = VectorDir(vel + Kick());
    c->rotvel = StartSpin();
    c->sfxbank = casingsfxbank;
    c->sfxindex = casingsfxindex;
    world.SetTimer(c, AnimTime(u32(lifetime) * 256u), nullptr);
    return true;
}

void Casing::Init()
{
    // The model's own chain belongs to the file; the case bounces on a
    // small sphere of its own.
    collision = OwnSphere(0.02f);
    vpGroundPos = VectorPos(0.0f, GroundUnder(Pos()), 0.0f);
    type = OBJT_PARTICLE;
    Upright(this);
    flags |= OBJF_FRAMECALL;
}

int Casing::Casing_mh(Object* obj, OBJMESSAGE msg, void* extra)
{
    return static_cast<Casing*>(obj)->mh(msg, extra);
}

int Casing::mh(OBJMESSAGE msg, void* extra)
{
    switch (msg) {
    case OM_CREATE: {
        Casing* c = new Casing;
        if (c != nullptr) {
            c->messagehandler = Casing_mh;
            c->sfxbank = c->sfxindex = 0xFFFF;
        }
        return int(reinterpret_cast<intptr_t>(c));
    }
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME:
        Fall(this);
        return 0;
    case OM_COLLISION: {
        VectorPos point;
        VectorDir normal;
        float depth;
        if (!StaticContact(static_cast<CollisionRecord*>(extra), &point, &normal, &depth))
            return 0;
        if (point[1] < vpGroundPos[1])
            vpGroundPos[1] = point[1];
        Collision(normal, depth);
        return 0;
    }
    case OM_TIMER:
        Delete();
        return 0;
    case OM_DIE:
        FreeOwnCollision(this);
        delete this;
        return -1;
    default:
        return 0;
    }
}

bool Casing::Collision(VectorDir normal, float colldepth)
{
    const VectorDir vn(normal * Dot(vel, normal));
    if (vel[1] > kLandingFall && sfxbank != 0xFFFF && sfxindex != 0xFFFF) {
        const u32 now = Platform::Count();
        if (now < lastsfxcount || now - lastsfxcount >= kCaseSoundGap) {
            const int chan = sound.AllocChannel(false);
            if (chan >= 0) {
                sound.Play(chan, sfxbank, sfxindex);
                sound.SetPosition(chan, VectorPos(Pos() - normal * colldepth));
                sound.SetVolume(chan, 1.0f, 0.0f);
            }
            lastsfxcount = now;
        }
    }
    vel = VectorDir(vel[0] - vn[0] * 1.8f, vel[1] - vn[1] * 1.3f, vel[2] - vn[2] * 1.8f);
    Settle(this, vel, vpGroundPos[1]);
    rotvel = Spin(Length(vn) * 0.4f * randf());
    return false;
}

// ---------------------------------------------------------------------------
// Laser sight

void LaserSight::Init()
{
    type = OBJT_STATIC;
    Upright(this);
    flags |= 0x10002;
}

int LaserSight::LaserSight_mh(Object* obj, OBJMESSAGE msg, void* extra)
{
    return static_cast<LaserSight*>(obj)->mh(msg, extra);
}

int LaserSight::mh(OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_CREATE: {
        LaserSight* l = new LaserSight;
        if (l != nullptr)
            l->messagehandler = LaserSight_mh;
        return int(reinterpret_cast<intptr_t>(l));
    }
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME: {
        const Matrix g = parent != nullptr ? parent->GetWorldMatrix() : Matrix(true);
        const VectorPos start = g.GetTrans();
        const VectorPos end(start + VectorDir(g.z.v) * MaxSightDist);
        VectorPos hit;
        VectorDir n;
        if (world.CheckRay(start, end, &hit, &n, GetRoot(), nullptr, 0xFF00) != nullptr)
            mat.SetScale(VectorXYZ(1.0f, 1.0f, Length(VectorDir(hit - start)) / NormalScaleLength));
        else
            mat.SetScale(VectorXYZ(1.0f, 1.0f, 1.0f));
        return 0;
    }
    case OM_TIMER:
        Delete();
        return 0;
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Bullet holes

bool CreateHole(Object* parent, const Matrix& holemat, MDLFILE* holemdlfile, unsigned int holemdlindex, int lifetime)
{
    if (parent == nullptr || holemdlfile == nullptr)
        return false;
    const Matrix parentworld = parent->GetWorldMatrix();
    BulletHole* h = Create<BulletHole>("BulletHole", holemdlfile);
    if (h == nullptr)
        return false;
    holemdlfile->GetHierarchyTo(h, u16(holemdlindex), 2);
    h->mat = RotZ(RandomTurn()) * holemat * parentworld.Inverse();
    parent->Attach(h);
    world.SetTimer(h, AnimTime(u32(lifetime) * 256u), nullptr);
    return true;
}

void BulletHole::Init()
{
    Upright(this);
    type = OBJT_PARTICLE;
    flags |= 0x10002;
    ModifyCollisionMask(0x0100, 0xFEFF);
}

int BulletHole::BulletHole_mh(Object* obj, OBJMESSAGE msg, void* extra)
{
    return static_cast<BulletHole*>(obj)->mh(msg, extra);
}

int BulletHole::mh(OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_CREATE: {
        BulletHole* h = new BulletHole;
        if (h != nullptr)
            h->messagehandler = BulletHole_mh;
        return int(reinterpret_cast<intptr_t>(h));
    }
    case OM_INIT:
        Init();
        return 0;
    case OM_TIMER:
        Detach();
        Delete();
        return 0;
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Blood splats

bool CreateSplat(Bullet* srcBullet, VectorPos vpStart, int lifetime)
{
    MDLFILE* mf = g_GlobalMFI.GetMF(150, false);
    if (srcBullet == nullptr || mf == nullptr || !mf->HasData())
        return false;
    BloodSplat* b = Create<BloodSplat>("BloodSplat", mf);
    if (b == nullptr)
        return false;
    mf->GetHierarchyTo(b, 0, 2);
    if (!world.AddObject(b, nullptr)) {
        b->Delete();
        return false;
    }
    b->sourceid = srcBullet->sourceid;
    Matrix rot = srcBullet->mat;
    rot.SetTrans(VectorPos(0.0f, 0.0f, 0.0f));
    b->mat = RotZ(RandomTurn()) * rot;
    b->mat.SetTrans(vpStart);
    b->vel = VectorDir(VectorDir(srcBullet->mat.z.v) * 0.1041667f);
    b->sourcePos = vpStart;
    b->scaleFactor = 10.0f;
    world.SetTimer(b, AnimTime(u32(lifetime) * 256u), nullptr);
    return true;
}

void BloodSplat::Init()
{
    impact.obj = nullptr;
    ProjectileInit(this);
    ModifyCollisionMask(0x0100, 0xFEFF);
}

int BloodSplat::BloodSplat_mh(Object* obj, OBJMESSAGE msg, void* extra)
{
    return static_cast<BloodSplat*>(obj)->mh(msg, extra);
}

int BloodSplat::mh(OBJMESSAGE msg, void* extra)
{
    switch (msg) {
    case OM_CREATE: {
        BloodSplat* b = new BloodSplat;
        if (b != nullptr)
            b->messagehandler = BloodSplat_mh;
        return int(reinterpret_cast<intptr_t>(b));
    }
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME:
        return Frame();
    case OM_COLLISION:
        TakeContact(this, impact, sourceid, static_cast<CollisionRecord*>(extra), true);
        return 0;
    case OM_TIMER:
        Delete();
        return 0;
    case OM_DIE:
        impact.part = nullptr;
        impact.obj = nullptr;
        delete this;
        return -1;
    default:
        return 0;
    }
}

int BloodSplat::Frame()
{
    if ((impact.obj != nullptr && impact.obj->IsDead()) || (impact.part != nullptr && impact.part->IsDead())) {
        impact.obj = nullptr;
        impact.part = nullptr;
    }
    if (impact.obj != nullptr) {
        if (geom != nullptr)
            geom->params[0] = u8(rand() >> 29);   // one of the four tint sets, by the draw's top bits
        const VectorDir n = impact.normal;
        if (std::fabs(n[1]) > 0.97f || std::fabs(n[0]) > 0.97f || std::fabs(n[2]) > 0.97f) {
            mat = RotZ(RandomTurn()) * LookAlong(VectorDir(-n));
            mat.SetScale(VectorXYZ(scaleFactor, scaleFactor, 1.0f));
            mat.SetTrans(impact.pos);
            vel = VectorDir(0.0f, 0.0f, 0.0f);
            flags |= OBJF_NOCOLLISION;
            impact.obj = nullptr;
            impact.part = nullptr;
            return 0;
        }
        Delete();
        return 0;
    }
    // As with bullets, only the nearest contact of one pass counts.
    impact.hit = 0;
    if (mode == 0) {
        mode = 1;
        return 0;
    }
    SetPos(VectorPos(Pos() + vel * world.playbackSpeed));
    if (Dot(vel, vel) != 0.0f && scaleFactor > 1.0f)
        scaleFactor -= 0.4f;
    return 0;
}

// ---------------------------------------------------------------------------
// Gun pickups

GunPickup* CreateGunPickup(const Matrix& startmat, VectorDir vel, Weapon* pWeapon, int lifetime)
{
    MDLFILE* mf = nullptr;
    if (pWeapon != nullptr && pWeapon->iGunMFIndex >= 0 && pWeapon->iGunMFIndex < MFI_NUMSLOTS)
        mf = g_GlobalMFI.GetMF(pWeapon->iGunMFIndex, false);
    if (mf == nullptr || !mf->HasData())
        return nullptr;
    GunPickup* g = Create<GunPickup>("GunPickup", mf);
    if (g == nullptr)
        return nullptr;
    u16 node = 0;
    if (NODE* n = mf->FindNodeById1(0, u16(pWeapon->gunmdlindex)))
        node = u16(n - mf->GetNode(0));
    mf->GetHierarchyTo(g, node, 2);
    g->mat = startmat;
    if (!world.AddObject(g, nullptr)) {
        g->Delete();
        return nullptr;
    }
    g->vel = VectorDir(vel + Kick());
    g->rotvel = StartSpin();
    g->sfxbank = g->sfxindex = 0xFFFF;
    g->weapon = *pWeapon;
    if (lifetime > 0)
        world.SetTimer(g, AnimTime(u32(lifetime) * 256u), nullptr);
    return g;
}

void GunPickup::Init()
{
    collision = OwnSphere(0.1f);
    vpGroundPos = VectorPos(0.0f, GroundUnder(Pos()) - kPickupHover, 0.0f);
    type = OBJT_ICON;
    id = -999;
    Upright(this);
    flags |= OBJF_FRAMECALL;
}

int GunPickup::GunPickup_mh(Object* obj, OBJMESSAGE msg, void* extra)
{
    return static_cast<GunPickup*>(obj)->mh(msg, extra);
}

int GunPickup::mh(OBJMESSAGE msg, void* extra)
{
    switch (msg) {
    case OM_CREATE: {
        GunPickup* g = new GunPickup;
        if (g != nullptr) {
            g->messagehandler = GunPickup_mh;
            g->sfxbank = g->sfxindex = 0xFFFF;
        }
        return int(reinterpret_cast<intptr_t>(g));
    }
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME:
        return Frame();
    case OM_COLLISION: {
        VectorPos point;
        VectorDir normal;
        float depth;
        if (!StaticContact(static_cast<CollisionRecord*>(extra), &point, &normal, &depth))
            return 0;
        if (point[1] < vpGroundPos[1])
            vpGroundPos[1] = point[1] - kPickupHover;
        return Collision(normal, depth) ? -1 : 0;
    }
    case OM_TIMER:
        Delete();
        return 0;
    case OM_DIE:
        FreeOwnCollision(this);
        delete this;
        return -1;
    default:
        return 0;
    }
}

int GunPickup::Frame()
{
    // At rest it turns about the vertical line through its pivot.
    if (flags & OBJF_NOCOLLISION) {
        if (NODE* pivot = FindNodeById(kPivotId)) {
            const VectorXYZ p(pivot->GetMatrix().GetTrans());
            const VectorXYZ minus(-p[0], -p[1], -p[2]);
            mat = TransMatrix(minus) * RotY(kPickupTurn) * TransMatrix(p) * mat;
        } else {
            mat = RotY(kPickupTurn) * mat;
        }
    }
    // A contact may delete an empty gun: the frame ends with it.
    Fall(this);
    return 0;
}

bool GunPickup::Collision(VectorDir normal, float)
{
    const VectorDir vn(normal * Dot(vel, normal));
    vel[1] = -vn[1];
    vel = VectorDir(vel * 0.33f);

    // Stand it upright on the heading of its z row, one and a half times
    // the model's size.
    Vector x = mat.x, y = mat.y, z = mat.z;
    z[1] = 0.0f;
    if (Length(VectorDir(y.v)) < 0.3f) {
        x = Vector(1.0f, 0.0f, 0.0f, 0.0f);
        z = Vector(0.0f, 0.0f, 1.0f, 0.0f);
    } else {
        x[1] = 0.0f;
    }
    mat.x = x;
    mat.y = Vector(0.0f, 1.0f, 0.0f, 0.0f);
    mat.z = z;
    mat.Normalise();
    mat.PreScale(VectorXYZ(kPickupScale, kPickupScale, kPickupScale));
    Settle(this, vel, vpGroundPos[1]);
    rotvel = Spin(Length(vn) * 0.4f * randf());
    if (weapon.bulletsLeft <= 0) {
        Delete();
        return true;
    }
    return false;
}
