// The weapons table and bullets (see Weapons.h).
#include "game/Weapons.h"

#include <cmath>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/MathsLocal.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "game/Bystander.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/ShotEffects.h"
#include "game/TestPart.h"
#include "game/explosn.h"
#include "game/smoke.h"


int sndbank_gun = -1;

// Every row's magazine starts full; the sound columns point at the gun
// bank's number so a reloaded bank is heard without touching the table.
const Weapon gWeapons[WEAP_TOTAL] = {
    {0, {17.0f, 34.0f}, 1, 20.0f, 6, 6, 160, 1, 148, 2, 148, 0, 151, 0, &sndbank_gun, 6, 1.0f, &sndbank_gun, 19},
    {1, {18.0f, 36.0f}, 1, 15.0f, 8, 8, 160, 1, 148, 2, 148, 0, 151, 0, &sndbank_gun, 7, 1.0f, &sndbank_gun, 19},
    {2, {19.0f, 38.0f}, 1, 12.0f, 10, 10, 160, 1, 148, 2, 148, 0, 151, 0, &sndbank_gun, 8, 1.0f, &sndbank_gun, 19},
    {3, {20.0f, 35.0f}, 1, 10.0f, 12, 12, 160, 1, 148, 2, 148, 0, 151, 0, &sndbank_gun, 9, 1.0f, &sndbank_gun, 19},
    {4, {19.0f, 38.0f}, 1, 15.0f, 9, 9, 161, 1, 148, 2, 148, 0, 151, 0, &sndbank_gun, 7, 0.94387f, &sndbank_gun, 19},
    {5, {19.0f, 38.0f}, 1, 10.0f, 8, 8, 161, 2, 148, 2, 148, 0, 151, 0, &sndbank_gun, 8, 0.8909f, &sndbank_gun, 19},
    {6, {10.0f, 40.0f}, 1, 30.0f, 6, 6, 161, 3, 148, 2, 148, 0, 151, 0, &sndbank_gun, 9, 0.7937f, &sndbank_gun, 19},
    {7, {18.0f, 36.0f}, 1, 12.0f, 7, 7, 161, 4, 148, 2, 148, 0, 151, 0, &sndbank_gun, 8, 1.05946f, &sndbank_gun, 19},
    {8, {5.0f, 20.0f}, 1, 5.0f, 30, 30, 161, 5, 148, 2, 148, 0, 151, 0, &sndbank_gun, 12, 1.0f, &sndbank_gun, 19},
    {9, {8.0f, 30.0f}, 1, 4.0f, 30, 30, 161, 6, 148, 2, 148, 0, 151, 0, &sndbank_gun, 12, 0.8909f, &sndbank_gun, 19},
    {10, {8.0f, 30.0f}, 1, 10.0f, 30, 30, 161, 7, 148, 2, 148, 0, 151, 0, &sndbank_gun, 13, 1.12246f, &sndbank_gun, 19},
    {11, {10.0f, 38.0f}, 1, 7.0f, 32, 32, 161, 8, 148, 2, 148, 0, 151, 0, &sndbank_gun, 13, 1.0f, &sndbank_gun, 19},
    {12, {13.0f, 26.0f}, 1, 7.0f, 30, 30, 161, 9, 148, 2, 148, 0, 151, 0, &sndbank_gun, 15, 1.05946f, &sndbank_gun, 19},
    {13, {10.0f, 20.0f}, 1, 6.0f, 32, 32, 161, 10, 148, 2, 148, 0, 151, 0, &sndbank_gun, 14, 0.94387f, &sndbank_gun, 19},
    {14, {10.0f, 20.0f}, 1, 5.0f, 30, 30, 161, 11, 148, 2, 148, 0, 151, 0, &sndbank_gun, 14, 1.05946f, &sndbank_gun, 19},
    {15, {13.0f, 26.0f}, 3, 10.0f, 30, 30, 161, 12, 148, 2, 148, 0, 151, 0, &sndbank_gun, 15, 0.94387f, &sndbank_gun, 19},
    {16, {5.0f, 40.0f}, 1, 30.0f, 7, 7, 161, 13, 148, 2, 148, 0, 151, 0, &sndbank_gun, 16, 0.94387f, &sndbank_gun, 19},
    {17, {5.0f, 40.0f}, 1, 30.0f, 8, 8, 161, 14, 148, 2, 148, 0, 151, 0, &sndbank_gun, 17, 1.0f, &sndbank_gun, 19},
    {18, {2.0f, 40.0f}, 1, 20.0f, 10, 10, 161, 15, 148, 2, 148, 0, 151, 0, &sndbank_gun, 16, 1.05946f, &sndbank_gun, 19},
    {19, {2.0f, 60.0f}, 1, 60.0f, 6, 6, 161, 16, 148, 2, 148, 0, 151, 0, &sndbank_gun, 17, 0.8909f, &sndbank_gun, 19},
    {20, {35.0f, 75.0f}, 1, 30.0f, 26, 26, 161, 17, 148, 4, 148, 0, 151, 0, &sndbank_gun, 21, 0.8909f, &sndbank_gun, 22},
    {21, {30.0f, 30.0f}, 1, 7.0f, 30, 30, 161, 13, 148, 2, 148, 0, 151, 0, &sndbank_gun, 0xFFFF, 1.0f, &sndbank_gun, 19},
    {22, {30.0f, 30.0f}, 1, 20.0f, 99, 99, -1, 0, -1, 0, -1, 0, -1, 0, nullptr, 0xFFFF, 1.0f, nullptr, 0xFFFF},
    {23, {0.0f, 0.0f}, 1, 99.0f, 99, 99, -1, 0, -1, 0, -1, 0, -1, 0, nullptr, 0xFFFF, 1.0f, nullptr, 0xFFFF},
    {24, {2.0f, 4.0f}, 1, 99.0f, 99, 99, -1, 0, -1, 0, -1, 0, -1, 0, nullptr, 0xFFFF, 1.0f, nullptr, 0xFFFF},
};

void Weapon::SetType(int t)
{
    // Kinds past the ordinary guns belong to their own users, who copy
    // those rows themselves; everything else falls back to a plain pistol.
    if (t < 0 || t > WEAP_GREN_LAUNCH)
        t = WEAP_PISTOL_RUGER;
    *this = gWeapons[t];
}

void Weapon::SetWeaponCold()
{
    strength[0] = 0.1f;
    strength[1] = 0.1f;
}

bool Weapon::CanShootPrecise() const
{
    return type < WEAP_SMG_G36;
}

void Weapon::SetWeaponHot()
{
    if (type >= WEAP_TOTAL)
        return;
    strength[0] = gWeapons[type].strength[0];
    strength[1] = gWeapons[type].strength[1];
}

// ---------------------------------------------------------------------------
// Bullets

VectorPos Bullet::whizpos;
RCptr<Object> Bullet::whizobj;

namespace {

// The kinds of the weapon code by name.  One initialiser registers them, so
// the registry does not depend on the order in which files start up.
int Handler(OBJMESSAGEHANDLER h)
{
    return int(reinterpret_cast<intptr_t>(h));
}

struct WeaponKinds
{
    Name bullet{"Bullet", Handler(&Bullet::Bullet_mh)};
    Name casing{"Casing", Handler(&Casing::Casing_mh)};
    Name laser{"LaserSight", Handler(&LaserSight::LaserSight_mh)};
    Name hole{"BulletHole", Handler(&BulletHole::BulletHole_mh)};
    Name splat{"BloodSplat", Handler(&BloodSplat::BloodSplat_mh)};
    Name pickup{"GunPickup", Handler(&GunPickup::GunPickup_mh)};
    WeaponKinds() { Bullet::whizobj = nullptr; }
};
WeaponKinds weaponKinds;

constexpr float kFlightSpeed = 0.2083333f;        // units per frame along z
constexpr float kPreciseSpeed = 0.4166667f;
constexpr float kLobbedSpeed = 0.1041667f;        // fire, grenades and balls
constexpr float kGravity = 0.000851562f;          // y points down
constexpr float kLobbedDrag = 0.98f;
constexpr float kWhizzRange2 = 0.390625f;         // 0.625 squared
constexpr float kGrenadeBlast2 = 3.125f;
constexpr float kPushScale = 0.0116417f;
constexpr int kLobbedLifetime = 240;
constexpr u16 kGunBankRicochet = 0;
constexpr u16 kGunBankImpactSoft = 4;
constexpr u16 kGunBankImpactHard = 5;
constexpr u16 kGunBankGrenadeBounce = 22;

}  // namespace

bool InInterior()
{
    return g_pgcTest != nullptr && g_pgcTest->bInterior;
}

namespace {

// A gun-bank sound at pos; skipped without the bank or a free channel.
int GunSound(u16 index, VectorPos pos, float volume)
{
    if (sndbank_gun < 0)
        return -1;
    const int chan = sound.AllocChannel(false);
    if (chan < 0)
        return -1;
    sound.Play(chan, (unsigned short)sndbank_gun, index);
    sound.SetPosition(chan, pos);
    sound.SetVolume(chan, volume, 0.0f);
    return chan;
}

CollBox* FirstBox(Object* o)
{
    COLLISION* c = o->GetCollision();
    return c != nullptr && c->type == COLL_BOX ? reinterpret_cast<CollBox*>(c) : nullptr;
}

}  // namespace

float RandomTurn()
{
    // A whole turn times one draw, wrapped into the half turns either way
    // that the rotation builders take (the same turn, told the short way).
    return FixAng(randf() * 2.0f * maths_local::kPi);
}

void ProjectileInit(Object* o)
{
    o->type = OBJT_PROJECTILE;
    if (CollBox* box = FirstBox(o))
        o->radius = std::max(Length(VectorDir(box->box.min)), Length(VectorDir(box->box.max)));
    const VectorPos p = o->Pos();
    o->mat = Matrix(true);
    o->mat.SetTrans(p);
    o->flags |= OBJF_FRAMECALL;
    o->mode = 0;
}

void TakeContact(Object* self, Bullet::Impact& impact, s16 sourceid, CollisionRecord* rec, bool splat)
{
    if (rec == nullptr || !rec->GetInfo())
        return;
    Object* other = rec->HitObj();
    Object* part = rec->HisPart();
    if (other == nullptr || other->IsDead() || other->id == sourceid)
        return;
    if (splat) {
        // Blood passes through every character, and through an unnamed
        // object's own shape.
        if (other->type == OBJT_CHARACTER || (other->id == -1 && part == other))
            return;
    } else if (other->type == OBJT_CHARACTER && (part == nullptr || (part->GetCollisionMask() & 8) == 0)) {
        return;
    }
    const VectorPos p = self->Pos();
    const VectorDir z = VectorDir(self->mat.z.v);
    // The contact's point along the flight: where the corner-to-corner ray
    // enters the other object, else the record's point.  Box contacts report
    // the projectile's own corner for every slab it overlaps, which cannot
    // tell the nearer of two apart.
    VectorPos r0 = p, r1 = p;
    if (CollBox* box = FirstBox(self)) {
        const Matrix w = self->GetWorldMatrix();
        r0 = w * box->box.min;
        r1 = w * box->box.max;
    }
    VectorPos at;
    VectorDir normal;
    if (!CheckRay(other, r0, r1, &at, &normal, 0xFF00)) {
        at = rec->Point();
        normal = rec->Normal();
    }
    if (impact.hit && Dot(VectorDir(at - p), z) >= Dot(VectorDir(impact.pos - p), z))
        return;

    impact.hit = 1;
    if (other->type == OBJT_PLACEHOLDER) {
        impact.obj = nullptr;
        impact.part = nullptr;
    } else {
        impact.obj = other;
        impact.part = part;
    }
    impact.pos = at;
    impact.normal = Normalise(normal);
}

bool ShootBullet(const Matrix& muzzlemat, VectorDir vel, MDLFILE* bulletmdlfile, unsigned int bulletmdlindex,
                 Weapon* pWeapon, int id, int lifetime, bool isPrecise)
{
    const OBJMESSAGEHANDLER kind = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("Bullet")));
    if (kind == nullptr || bulletmdlfile == nullptr || pWeapon == nullptr)
        return false;
    Bullet* b = reinterpret_cast<Bullet*>(intptr_t(kind(reinterpret_cast<Object*>(bulletmdlfile), OM_CREATE, nullptr)));
    if (b == nullptr)
        return false;
    bulletmdlfile->GetHierarchyTo(b, u16(bulletmdlindex), 2);
    if (!world.AddObject(b, nullptr)) {
        b->Delete();
        return false;
    }
    b->sourceid = s16(id);
    b->bIsPrecise = isPrecise;
    b->mat = muzzlemat;
    b->vel = vel;
    b->bounceCount = 0;
    b->salvotype = pWeapon->type;
    if (b->salvotype == WEAP_GREN_LAUNCH || b->salvotype == WEAP_TENNISBALL) {
        lifetime = kLobbedLifetime;
        b->vel = VectorDir(b->vel + VectorDir(muzzlemat.z.v) * kLobbedSpeed);
    }
    b->strength[0] = pWeapon->strength[0];
    b->strength[1] = pWeapon->strength[1];
    b->sourcePos = muzzlemat.GetTrans();
    world.SetTimer(b, AnimTime(u32(lifetime) * 256u), nullptr);
    MessagePedestrians(SMSG_PED_DANGER, b);
    return true;
}

float Bullet::GetStrength() const
{
    const float distance = Length(VectorDir(Pos() - sourcePos));
    const float x = std::min(distance * 3.2f, 20.0f) * 0.05f;
    const float power = strength[0] + (strength[1] - strength[0]) * (1.0f - x);
    return power * float(1 + bIsPrecise);
}

void Bullet::Init()
{
    impact.obj = nullptr;
    ProjectileInit(this);
    ModifyCollisionMask(0x0900, 0xF6FF);
    salvotype = WEAP_BLANK;
    strength[0] = strength[1] = 0.0f;
}

int Bullet::Bullet_mh(Object* obj, OBJMESSAGE msg, void* extra)
{
    return static_cast<Bullet*>(obj)->mh(msg, extra);
}

int Bullet::mh(OBJMESSAGE msg, void* extra)
{
    switch (msg) {
    case OM_CREATE: {
        Bullet* b = new Bullet;
        if (b != nullptr)
            b->messagehandler = Bullet_mh;
        return int(reinterpret_cast<intptr_t>(b));
    }
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME:
        return Frame();
    case OM_COLLISION:
        return Collision(static_cast<CollisionRecord*>(extra));
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

int Bullet::Frame()
{
    const VectorDir z = VectorDir(mat.z.v);
    VectorPos p = Pos();
    const bool before = Dot(z, VectorDir(p - whizpos)) < 0.0f;

    if ((impact.obj != nullptr && impact.obj->IsDead()) || (impact.part != nullptr && impact.part->IsDead())) {
        impact.obj = nullptr;
        impact.part = nullptr;
    }
    if (impact.obj != nullptr) {
        if (salvotype == WEAP_GREN_LAUNCH || salvotype == WEAP_TENNISBALL)
            Bounce();
        else
            Strike();
        return 0;
    }
    // The nearest-contact rule holds within one collision pass: what was
    // taken in an earlier pass and not struck (a placeholder, a bounce) no
    // longer shadows a later contact.
    impact.hit = 0;
    if (mode == 0) {
        mode = 1;
        return 0;
    }

    const float s = world.playbackSpeed;
    switch (salvotype) {
    case WEAP_FIREBALL:
        p = VectorPos(p + VectorDir(z * kLobbedSpeed + vel) * s);
        break;
    case WEAP_GREN_LAUNCH:
    case WEAP_TENNISBALL:
        vel[1] += kGravity * s;
        vel = VectorDir(vel * kLobbedDrag);
        p = VectorPos(p + vel * s);
        if (InInterior() && p[1] > g_pgcTest->fInteriorHeight) {
            impact.normal = VectorDir(0.0f, -1.0f, 0.0f);
            if (vel[1] > 0.0f) {
                impact.obj = this;
                impact.pos = GetWorldPos();
            }
            p[1] = g_pgcTest->fInteriorHeight - 0.005f;
        }
        break;
    default:
        if (bIsPrecise) {
            p = VectorPos(p + VectorDir(z * kPreciseSpeed + vel) * s);
            break;
        }
        p = VectorPos(p + VectorDir(z * kFlightSpeed + vel) * s);
        if (Dot(VectorDir(whizpos), VectorDir(whizpos)) > 0.95f && whizobj != nullptr) {
            const VectorDir d(whizpos - p);
            const bool after = Dot(z, VectorDir(p - whizpos)) < 0.0f;
            if (Dot(d, d) < kWhizzRange2 && after != before) {
                if (whizobj->IsDead()) {
                    whizobj = nullptr;
                } else {
                    SpecialMessage m(SMSG_EV_BULLET_WHIZZ, this);
                    whizobj->SendMessage(OM_SPECIAL, &m);
                }
            }
        }
        break;
    }
    SetPos(p);
    return 0;
}

int Bullet::Collision(CollisionRecord* rec)
{
    TakeContact(this, impact, sourceid, rec, false);
    return 0;
}

void Bullet::SendHit()
{
    SpecialMessage m(SMSG_BULLET_HIT, this, &impact.pos, &impact.normal, static_cast<Object*>(impact.part),
                     int(bIsPrecise));
    // A contact that names no part goes to the struck object itself.
    Object* from = impact.part != nullptr ? static_cast<Object*>(impact.part) : static_cast<Object*>(impact.obj);
    if (from != nullptr)
        from->SendMessageUp(OM_SPECIAL, &m);
}

void Bullet::Bounce()
{
    Object* struck = impact.obj;
    const bool character = struck != nullptr && struck != this && struck->type == OBJT_CHARACTER;
    if (salvotype == WEAP_TENNISBALL) {
        if (character && strength[0] != 0.0f)
            SendHit();
        else
            strength[0] = strength[1] = 0.0f;
    }
    const float d = Dot(vel, impact.normal);
    if (d < 0.0f) {
        const bool grenade = salvotype == WEAP_GREN_LAUNCH;
        if (grenade && vel[1] > 0.0116417f)
            GunSound(kGunBankGrenadeBounce, GetWorldPos(), 1.0f);
        const float k = grenade && character ? 1.1f : 1.6f;
        vel = VectorDir(vel - impact.normal * (d * k));
        if (grenade && ++bounceCount == 2) {
            MushroomCloud_Create(nullptr, impact.pos, 1.0f);
            const VectorPos g = GetWorldPos();
            for (ObjectIterator it = world.framecalllist.Begin(); !it.IsEOList(); ++it) {
                Object* c = *it;
                if (c == nullptr || c->IsDead() || c->type != OBJT_CHARACTER)
                    continue;
                const VectorDir to(c->GetWorldPos() - g);
                if (Dot(to, to) >= kGrenadeBlast2)
                    continue;
                RCptr<Object> hold(c);
                SpecialMessage dmg(SMSG_DAMAGE, this, 20);
                c->SendMessage(OM_SPECIAL, &dmg);
                const VectorDir u = Normalise(VectorDir(to[0], 0.0f, to[2]));
                SpecialMessage knock(SMSG_KNOCKBACK, this, u[0] * kPushScale, -0.2f * kPushScale, u[2] * kPushScale);
                c->SendMessage(OM_SPECIAL, &knock);
            }
            flags |= OBJF_HIDDEN;
        }
    }
    impact.obj = nullptr;
    impact.part = nullptr;
}

void Bullet::Strike()
{
    RCptr<Object> self(this);
    SendHit();
    Object* struck = impact.obj;
    Object* part = impact.part;
    const bool flesh = part != nullptr && (struck->type == OBJT_CHARACTER || part->type == OBJT_BONE);
    if (flesh) {
        if (salvotype == WEAP_FIREBALL) {
            Flamer_Create(nullptr, impact.pos, 300.0f, 1.0f, true);
            impact.normal[1] = 0.0f;
            const VectorDir n = Normalise(impact.normal);
            SpecialMessage knock(SMSG_KNOCKBACK, this, -n[0] * kPushScale, -0.2f * kPushScale, -n[2] * kPushScale);
            part->SendMessage(OM_SPECIAL, &knock);
            SpecialMessage dmg(SMSG_DAMAGE, this, 20);
            part->SendMessage(OM_SPECIAL, &dmg);
            SpecialMessage fire(SMSG_SET_ON_FIRE, this);
            part->SendMessage(OM_SPECIAL, &fire);
        } else {
            if (InInterior())
                CreateSplat(this, impact.pos, 5000);
            BulletBlood(impact.pos, impact.normal, 20, 0.0078125f);
            if (bIsPrecise)
                BulletBlood(impact.pos, VectorDir(-impact.normal), 40, 0.015625f);
            else
                BulletBlood(impact.pos, VectorDir(-impact.normal), 20, 0.0078125f);
        }
    } else {
        if (salvotype == WEAP_FIREBALL) {
            Flamer_Create(nullptr, impact.pos, 900.0f, 1.2f, true);
        } else if (InInterior()) {
            Matrix m = LookAlong(VectorDir(-impact.normal));
            m.SetTrans(impact.pos);
            CreateHole(struck, m, g_GlobalMFI.GetMF(149, false), 0, 5000);
        }
        BulletSparks(impact.pos, impact.normal);
    }

    const bool hard = struck == nullptr || struck->type == OBJT_STATIC || struck->type == OBJT_DYNAMIC;
    GunSound(hard ? kGunBankImpactHard : kGunBankImpactSoft, impact.pos, 1.0f);
    if (randf() < 0.4f) {
        const int chan = GunSound(u16(kGunBankRicochet + (rand() & 3)), impact.pos, 0.75f);
        if (chan >= 0)
            sound.SetPitch(chan, 0.875f + 0.125f * randf(), 0.0f);
    }

    MDLFILE* puff = g_GlobalMFI.GetMF(struck != nullptr && struck->type == OBJT_CHARACTER ? 147 : 146, false);
    if (puff != nullptr && puff->HasData()) {
        if (Object* o = puff->GetHierarchy(0, sizeof(Object), 8)) {
            Matrix m = RotY(RandomTurn()) * LookAlong(VectorDir(-impact.normal));
            m.SetTrans(impact.pos);
            o->mat = m;
            o->messagehandler = NoAnimLoopProc;
            o->flags |= 0x20002;
            world.AddObject(o, nullptr);
        }
    }
    impact.obj = nullptr;
    impact.part = nullptr;
    Delete();
}
