// The player with his guns out: pistol taps alternate the hands and are
// heard by the target and the mission, two targets share the shots in runs,
// empty magazines reload, precision aiming turns him by the stick, and
// bullets kill him with the death that fits his cover.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tests/game/enemy_support.h"
#include "tests/game/explode_support.h"
#include "tests/game/player_support.h"

#include "tools/lib/gunfiles.h"
#include "tools/lib/setupfile.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/World.h"
#include "game/controller_support.h"
#include "game/shots_support.h"
#include "game/GameFEnt.h"
#include "game/QuadTree.h"
#include "game/Camera.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/GameModes.h"
#include "game/Player.h"
#include "game/ShotEffects.h"
#include "game/reticle.h"
#include "game/MAIN.h"

namespace {

using playerrig::PlayerKind;
using Dummy = playerrig::CharacterSink;

class PlayerGuns : public ::testing::Test
{
protected:
    playerrig::Rig rig;
    PlayerKind kind;
    FadeScreen fade;
    GameController* gc = nullptr;
    ObjectList* savedList = nullptr;
    FadeScreen* savedFade = nullptr;
    Dace* d = nullptr;
    std::unique_ptr<explodetest::SlotFile> room;
    Object* roomph = nullptr;

    void SetUp() override
    {
        ASSERT_EQ(playerrig::PlayerFiles().error, "");
        world.Clear();
        world.playbackSpeed = 1.2f;
        world.time = 1000;
        world.timePrecise = AnimTime(1000 * 256);
        srand(29);
        gc = gametest::Controller();
        gc->iFlags = 0;
        // The controller's own list and fade are put back afterwards: it
        // deletes them itself when the run ends.
        savedList = gc->pobjectlist;
        savedFade = gc->pfs;
        gc->pobjectlist = nullptr;
        gc->pfs = &fade;
        gc->bSuperDace = false;
        gc->bInterior = false;
        gc->stats.gunAbility = 0;
        gc->stats.fPrecisionSlow = 0.3f;
        fade.mode = FADE_MODE_OFF;
        controller[0].ZeroData();
        SetCurrentCam(nullptr);
        rig.Resident();
        rig.Group(AnimGroup_DaceStealth);
        // The reticles: one bare model for each kind.
        tools::P2BFile ret;
        ret.models = {explodetest::BareModel(0.5f)};
        ret.AddNode(-1, tools::MakeNode(0));
        ret.AddNode(-1, tools::MakeNode(0));
        std::vector<u8> bytes;
        std::string err;
        tools::WriteP2B(ret, bytes, err);
        for (int slot : {153, 154, 155, 156, 157})
            rig.Model(slot, bytes);
        Object* ph = new Object;
        ph->id = -77;
        ph->mat = TransMatrix(2.0f, 0.0f, 5.0f);
        world.placeholderlist.AddTail(ph);
        char name[] = "Dace";
        gc->CreateCharacterAt(48, -1, -77, name, false);
        d = dace;
        ASSERT_NE(d, nullptr);
        d->mat = Matrix(true);
        d->SetPos(VectorPos(2.0f, 0.0f, 5.0f));
        d->task = Task_Shootout;
        d->SwitchToMode(DACEMODE_GUNS, true);
        d->leftgunarm.ArmGun();
        d->rightgunarm.ArmGun();
    }
    void TearDown() override
    {
        world.spllist.RemoveAll();
        if (roomph != nullptr) {
            world.placeholderlist.Remove(roomph);
            delete roomph;
        }
        if (dace != nullptr)
            dace->Delete();
        dace = nullptr;
        world.placeholderlist.RemoveAll();
        world.Clear();
        SetCurrentCam(nullptr);
        fade.Disable();
        gc->pfs = savedFade;
        gc->pobjectlist = savedList;
        gc->stats.gunAbility = 0;
        world.playbackSpeed = 1.2f;
    }
    // The sample disc's test interior, made by its set-up writer and built
    // as the level loader builds it: its standing-height wall on the left
    // (x = -2.5) and its crouching-height wall on the right (x = 2.5), both
    // from 1 in front of its centre to 2 behind, their wall splines listed in
    // the world.  Returns the room's root.
    Object* LoadTestInterior()
    {
        std::vector<u8> bytes;
        std::string err;
        const std::vector<tools::NamedSetup> files = tools::SampleSetupFiles();
        EXPECT_EQ(files[2].path, "Int/INTERIOR.P2B");
        EXPECT_TRUE(tools::WriteSetup(files[2].setup, bytes, err)) << err;
        room = std::make_unique<explodetest::SlotFile>(195, bytes);
        roomph = new Object;
        roomph->id = -5;
        roomph->mat = Matrix(true);
        world.placeholderlist.AddTail(roomph);
        world.spllist.RemoveAll();
        Object* root = gc->LoadIntExtSetup(-5, room->mf(), true);
        EXPECT_NE(root, nullptr);
        EXPECT_FALSE(world.spllist.IsEmpty());
        return root;
    }
    Dummy* Enemy(s16 id, VectorPos pos)
    {
        Dummy* o = new Dummy;
        o->type = OBJT_CHARACTER;
        o->id = id;
        o->flags = OBJF_FRAMECALL | 0x20;
        o->mat = TransMatrix(pos[0], pos[1], pos[2]);
        world.AddObject(o, nullptr);
        return o;
    }
    // One tick with the pad given: the buttons held and those newly down.
    void Tick(u32 held = 0, u32 hit = 0)
    {
        controller[0].pad = held | (hit << 16);
        world.time++;
        d->SendMessage(OM_FRAME, &world);
        controller[0].pad = 0;
    }
    int Bullets() const { return d->leftgunarm.weapon.bulletsLeft + d->rightgunarm.weapon.bulletsLeft; }
    // The frames of the blend last started.
    int Morph() const { return d->blendAnim != nullptr ? int(d->blendAnim->xfadeSpeed) : -1; }
    // The left stick in the player's own frame (x to his right, z ahead),
    // as the cover and shield moves read it.
    Dace::PlayerController Stick(float x, float z, u32 pad = 0) const
    {
        Dace::PlayerController pc(controller[0], d->mat);
        pc.pad = pad;
        pc.cdir = VectorDir(x, 0.0f, z);
        pc.ldir = pc.cdir;
        return pc;
    }
    // Pulling away from a wall he is free again ten animation frames on (8
    // to 10 ticks at 1.2 frames a tick).
    void ExpectFreeTenFramesAfterThePull()
    {
        int ticks = 0;
        while (d->collidestate == Dace::PULL_STATIC && ticks < 20) {
            Tick();
            ticks++;
        }
        EXPECT_EQ(d->collidestate, Dace::FREE);
        EXPECT_GE(ticks, 8);
        EXPECT_LE(ticks, 10);
    }
    // In cover at the test interior's standing wall: backed onto it 0.3 off
    // its line at z = 0.5, cross held until he settles.
    void TakeCoverAtTheStandingWall()
    {
        d->collidestate = Dace::FREE;
        d->SetAnim(GUNS_IDLE_ANI);
        d->mat = Matrix(true);
        d->mat.z = Vector(-1.0f, 0.0f, 0.0f, 0.0f);
        d->mat.x = Vector(0.0f, 0.0f, 1.0f, 0.0f);
        d->SetPos(VectorPos(-2.2f, 0.0f, 0.5f));
        for (int i = 0; i < 25; i++)
            Tick(BUT_CROSS, i == 0 ? BUT_CROSS : 0);
        ASSERT_EQ(d->collidestate, Dace::BACK_STATIC_FULL);
    }
};

constexpr u32 R1 = 8;
constexpr int SMSG_RELEASED = 32;

// Where the player's grab point (sub-object 31) stood, in the world, when a
// grab message last reached a character handled by GrabProbe_mh.
VectorPos grabPointAtGrab;
int GrabProbe_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL && static_cast<SpecialMessage*>(data)->submsg == Dace::SMSG_GRABBED && dace != nullptr)
        if (Object* g = dace->FindSubObject(31))
            grabPointAtGrab = g->GetWorldPos();
    return Dummy::MessageSink_mh(o, msg, data);
}

// The frames from now until the timer pending for o, or -1 without one.
int FramesToTimer(const Object* o)
{
    for (Timer* t = world.timerlist.Head(); !t->IsEOList(); t = t->Next())
        if (t->obj.p == o)
            return int((t->time.t - world.timePrecise.t) / 256);
    return -1;
}

// A grab point left out of place (as a blow or a jump may leave it), after
// noting its reach ahead of his feet in the pose of the clip now playing.
float DisturbGrabPoint(Dace* d)
{
    Object* g = d->FindSubObject(31);
    EXPECT_NE(g, nullptr);
    if (g == nullptr)
        return 0.0f;
    const float reach = Length(VectorDir(g->GetWorldPos() - d->GetWorldPos()));
    g->mat = TransMatrix(0.3f, -0.7f, 0.1f);
    return reach;
}

// The grab point as a grab's first frame puts it: on the floor at his
// feet's height, its reach ahead of him toward the one grabbed.
void ExpectGrabPointPosed(const Dace* d, const Object* grabbed, float reach)
{
    const VectorPos me = d->GetWorldPos();
    const VectorDir at(grabPointAtGrab - me);
    VectorDir to(grabbed->GetWorldPos() - me);
    to[1] = 0.0f;
    EXPECT_NEAR(at[1], 0.0f, 1e-4f);
    EXPECT_NEAR(Length(at), reach, 1e-4f);
    EXPECT_GT(Dot(Normalise(at), Normalise(to)), 0.9999f);
}

}  // namespace

TEST_F(PlayerGuns, ATapFiresOneShotAtTheTargetInFrontAndTheNextTapTheOtherHand)
{
    Dummy* foe = Enemy(-110, VectorPos(2.0f, 0.0f, 8.0f));
    Dummy* mission = new Dummy;
    d->gameeventobj = mission;
    d->lasttarget1checktime = Dace::Never;
    for (int i = 0; i < 10 && d->target != foe; i++)
        Tick();
    ASSERT_EQ(d->target.p, foe);
    const u32 fired = gc->stats.nShotsFired;
    const int before = Bullets();
    shotstest::ShotModels models;
    shotstest::BulletWatch watch;

    Tick(R1, R1);
    Tick(R1);
    EXPECT_EQ(foe->Count(Dace::SMSG_SHOT_AT), 0) << "a pistol fires on release";
    Tick();
    EXPECT_EQ(gc->stats.nShotsFired, fired + 1);
    ASSERT_EQ(foe->Count(Dace::SMSG_SHOT_AT), 1);
    EXPECT_EQ(mission->Count(23021), 1);
    const bool firstright = !d->shootrightgunnext;   // the hand that fired
    GunArm& arm = firstright ? d->rightgunarm : d->leftgunarm;
    Object* gun = arm.gun;
    for (const SpecialMessage& m : foe->heard) {
        if (m.submsg == Dace::SMSG_SHOT_AT) {
            EXPECT_EQ(m.obj, gun);
        }
    }
    // The arm aims, then fires one bullet from the muzzle at the target as
    // it reaches its shooting state.
    int ticks = 0;
    while (watch.Look() == 0 && ticks++ < 20)
        Tick();
    ASSERT_EQ(watch.Count(), 1);
    EXPECT_TRUE(arm.IsPostShot()) << int(arm.GetMode());
    EXPECT_EQ(Bullets(), before - 1);
    // It flies at the arm's aim point, the reticle closing on the target.
    const shotstest::BulletWatch::Shot shot = watch.Last();
    EXPECT_GT(Dot(Normalise(VectorDir(arm.curTargetPos - shot.from)), shot.along), 0.9999f);
    EXPECT_GT(Dot(Normalise(VectorDir(foe->GetWorldPos() - shot.from)), shot.along), std::cos(0.1f));
    // The bullet leaves from the gun in that hand, not from the other.
    const VectorDir frommuzzle(shot.from - gun->GetWorldPos());
    EXPECT_LT(Length(frommuzzle), 0.1f);
    for (int i = 0; i < 30; i++) {
        Tick();
        watch.Look();
    }
    EXPECT_EQ(watch.Count(), 1);

    // The next tap goes to the other hand.
    Tick(R1, R1);
    Tick();
    EXPECT_EQ(foe->Count(Dace::SMSG_SHOT_AT), 2);
    EXPECT_EQ(d->shootrightgunnext, firstright);
    EXPECT_EQ(gc->stats.nShotsFired, fired + 2);
    GunArm& other = firstright ? d->leftgunarm : d->rightgunarm;
    for (int i = 0; i < 20 && watch.Look() == 0; i++)
        Tick();
    EXPECT_EQ(watch.Count(), 2);
    EXPECT_LT(Length(VectorDir(watch.Last().from - other.gun->GetWorldPos())), 0.1f);
    d->gameeventobj = nullptr;
    mission->Delete();
}

// End to end against a shooter made from the disc's figure: the player
// picks him as his target, a tap aims the right arm and fires one bullet,
// and the world's collision pass carries it into the shooter's body, who
// is hurt by one pistol bullet and recoils.
TEST_F(PlayerGuns, ATappedShotStrikesAShooterOfTheDiscFigureWhoIsHurtAndRecoils)
{
    enemyrig::Kit kit(enemyrig::kEnemySlot);
    ASSERT_EQ(d->rightgunarm.weapon.iBulletMFIndex, 148);
    shotstest::ShotModels models;
    const float multiplier = gc->stats.fDamageMultiplier;
    gc->stats.fDamageMultiplier = 1.0f;
    char name[] = "ShooterEnemy";
    ::Enemy* e = static_cast<::Enemy*>(gc->CreateCharacterAt(enemyrig::kEnemySlot, -110, -77, name, false));
    ASSERT_NE(e, nullptr);
    e->mat = RotY(3.1415927f);
    e->SetPos(VectorPos(2.0f, 0.0f, 7.5f));
    e->shootweapontype = -1;   // unarmed: he does not shoot back
    e->vobank = 255;
    e->ReinitAsShooter();
    e->behavior = ::Enemy::STATIONARY;
    d->lasttarget1checktime = Dace::Never;
    // Every object's frame, then the collision pass, as a game tick runs.
    shotstest::BulletWatch watch;
    auto tick = [&](u32 held, u32 hit) {
        controller[0].pad = held | (hit << 16);
        world.Update();
        watch.Look();
        world.Collision();
        controller[0].pad = 0;
    };
    for (int i = 0; i < 10 && d->target != e; i++)
        tick(0, 0);
    ASSERT_EQ(d->target.p, e);
    // The reticle is given a second to slide out from the player toward
    // the body, at its height.
    for (int i = 0; i < 60; i++)
        tick(0, 0);
    ASSERT_NE(d->reticle, nullptr);
    EXPECT_NEAR(d->reticle->GetWorldPos()[1], e->torso->GetWorldPos()[1], 0.05f);
    const u32 hits = gc->stats.nEnemyBulletHits;
    const int spawned = watch.Count();
    tick(R1, R1);
    tick(R1, 0);
    for (int i = 0; i < 40 && gc->stats.nEnemyBulletHits == hits; i++)
        tick(0, 0);
    EXPECT_EQ(watch.Count(), spawned + 1);
    // Both guns fresh, the left is not due (its last shot is no earlier
    // than the right's): the right gun fires.
    EXPECT_LT(Length(VectorDir(watch.Last().from - d->rgun->GetWorldPos())), 0.1f);
    EXPECT_EQ(gc->stats.nEnemyBulletHits, hits + 1);
    const Weapon& w = gWeapons[d->rightgunarm.weapon.type];
    const float lost = 100.0f - e->strength;
    EXPECT_GE(lost, std::min(w.strength[0], w.strength[1]));
    EXPECT_LE(lost, std::max(w.strength[0], w.strength[1]));
    EXPECT_EQ(e->mode2, +BadGuyAnims::GUN_RECOIL_ANI);
    EXPECT_EQ(world.Find(OBJT_PROJECTILE), nullptr) << "the bullet stops at him";

    gc->stats.fDamageMultiplier = multiplier;
}

// Two targets both guns can reach, shot at through the shot selection and
// the firing: runs of 4 to 7 shots at the primary, then 2 or 3 at the
// secondary, each after one at the primary (never two secondaries in a
// row), the secondary on the player's left taken by the left gun.  With the
// primary within 2.5 and the secondary beyond, every shot goes to the
// primary.
TEST_F(PlayerGuns, TwoTargetsShareTheShotsInRunsNeverTwoSecondariesInARow)
{
    Dummy* a = Enemy(-110, VectorPos(2.5f, -1.0f, 9.0f));
    Dummy* b = Enemy(-111, VectorPos(1.5f, -1.0f, 9.0f));
    d->target = a;
    d->target2 = b;
    d->exclusiveshots = 0;
    auto shots = [&](int n) {
        std::string seq;
        for (int i = 0; i < n; i++) {
            EXPECT_TRUE(d->PedestrianSelectShot());
            if (d->shootatsecondary) {
                EXPECT_FALSE(d->shootrightgunnext) << "the left gun for the one on the left";
            }
            seq += d->shootatsecondary ? 'S' : 'P';
            d->PedestrianShootActiveGun();
            d->leftgunarm.weapon.bulletsLeft = d->rightgunarm.weapon.bulletsLeft = 10;
        }
        return seq;
    };
    const std::string seq = shots(90);
    EXPECT_EQ(seq.find("SS"), std::string::npos) << seq;
    const std::regex cycle("P{4,7}S(PS){1,2}");
    std::smatch m;
    std::string rest = seq;
    int cycles = 0;
    while (std::regex_search(rest, m, cycle, std::regex_constants::match_continuous)) {
        rest = m.suffix();
        cycles++;
    }
    EXPECT_GE(cycles, 7) << seq;
    EXPECT_LT(rest.size(), 12u) << "only a cycle cut short by the end is left: " << seq;

    a->mat = TransMatrix(2.0f, 0.0f, 6.5f);
    b->mat = TransMatrix(2.0f, 0.0f, 9.0f);
    d->exclusiveshots = 0;
    EXPECT_EQ(shots(30), std::string(30, 'P'));
}

TEST_F(PlayerGuns, EmptyMagazinesReloadOnTheArmsAndFillWhenItEnds)
{
    // Five bullets between the two magazines are enough; four are not.
    d->SetAnim(GUNS_IDLE_ANI);
    d->leftgunarm.weapon.bulletsLeft = 3;
    d->rightgunarm.weapon.bulletsLeft = 2;
    for (int i = 0; i < 12; i++)
        Tick();
    EXPECT_EQ(d->overlayPlaying, -1);
    d->SetAnim(GUNS_IDLE_ANI);
    d->leftgunarm.weapon.bulletsLeft = 2;
    d->rightgunarm.weapon.bulletsLeft = 2;
    for (int i = 0; i < 12 && d->overlayPlaying != GUNS_IDLE_RELOAD_ANI; i++)
        Tick();
    ASSERT_EQ(d->overlayPlaying, GUNS_IDLE_RELOAD_ANI);
    EXPECT_GT(d->frame - d->firstanimframe, 8.0f);
    EXPECT_EQ(d->mode2, GUNS_IDLE_ANI) << "the body keeps its animation";
    EXPECT_EQ(Bullets(), 4) << "nothing fills before the reload ends";
    for (int i = 0; i < 400 && d->overlayPlaying == GUNS_IDLE_RELOAD_ANI; i++)
        Tick();
    Tick();
    EXPECT_EQ(d->leftgunarm.weapon.bulletsLeft, d->leftgunarm.weapon.magSize);
    EXPECT_EQ(d->rightgunarm.weapon.bulletsLeft, d->rightgunarm.weapon.magSize);

    // The fire button with both guns empty starts the reload at once.
    d->leftgunarm.weapon.bulletsLeft = d->rightgunarm.weapon.bulletsLeft = 0;
    d->bCanReload = true;
    d->SetAnim(GUNS_IDLE_FIRE_ANI);
    Tick(R1, R1);
    EXPECT_EQ(d->overlayPlaying, GUNS_IDLE_RELOAD_ANI);
    EXPECT_EQ(d->shootmode, Dace::SHOOT_RELOAD);

    // Against a half wall the body plays the reload; its end shows the guns
    // again full, tells the mission and crouches back behind the wall.
    Dummy* mission = new Dummy;
    d->gameeventobj = mission;
    d->overlayPlaying = -1;
    d->collidestate = Dace::BACK_STATIC_HALF;
    d->leftgunarm.weapon.bulletsLeft = d->rightgunarm.weapon.bulletsLeft = 1;
    d->GunReloadGuns();
    EXPECT_EQ(d->mode2, GUNS_HWALL_RELOAD_ANI);
    if (d->lgun != nullptr)
        d->lgun->flags |= OBJF_HIDDEN;
    EXPECT_EQ(Bullets(), 2);
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), 0);
    EXPECT_EQ(d->leftgunarm.weapon.bulletsLeft, d->leftgunarm.weapon.magSize);
    EXPECT_EQ(d->rightgunarm.weapon.bulletsLeft, d->rightgunarm.weapon.magSize);
    EXPECT_EQ(d->shootmode, Dace::SHOOT_NORMAL);
    EXPECT_EQ(d->mode2, GUNS_HWALL_IDLE_ANI);
    EXPECT_EQ(mission->Count(23065), 1);
    if (d->lgun != nullptr) {
        EXPECT_FALSE(d->lgun->flags & OBJF_HIDDEN);
    }

    // Against a standing wall the whole body reloads, standing still.
    d->overlayPlaying = -1;
    d->SetAnim(GUNS_FWALL_IDLE_L_ANI);
    d->collidestate = Dace::BACK_STATIC_FULL;
    d->speed = 0.5f;
    d->GunReloadGuns();
    EXPECT_EQ(d->mode2, GUNS_FWALL_RELOAD_ANI);
    EXPECT_EQ(Morph(), 5);
    EXPECT_EQ(d->overlayPlaying, -1);
    EXPECT_EQ(d->speed, 0.0f);
    d->gameeventobj = nullptr;
    mission->Delete();
}

TEST_F(PlayerGuns, HeldWithPrecisionTheWorldSlowsAndTheStickTurnsHim)
{
    gc->stats.gunAbility = 1;
    d->SetAnim(GUNS_IDLE_ANI);
    Tick(R1, R1);
    for (int i = 0; i < 31; i++)
        Tick(R1);
    ASSERT_EQ(d->shootmode, Dace::SHOOT_PRECISION);
    for (int i = 0; i < 200; i++)
        Tick(R1);
    EXPECT_NEAR(world.playbackSpeed, 1.2f * 0.3f, 1e-3f);
    // A full stick right: 87 cubed times 3.49066e-8 radians a tick.
    const float before = std::atan2(d->mat.z[0], d->mat.z[2]);
    controller[0].rdata[6] = 255;
    Tick(R1);
    controller[0].rdata[6] = 128;
    const float after = std::atan2(d->mat.z[0], d->mat.z[2]);
    EXPECT_NEAR(std::fabs(after - before), 87.0f * 87.0f * 87.0f * 3.49066e-8f, 1e-4f);
    // Pitch stops at 0.3.
    controller[0].rdata[7] = 255;
    for (int i = 0; i < 50; i++)
        Tick(R1);
    controller[0].rdata[7] = 128;
    EXPECT_FLOAT_EQ(PrecisionFirePitch, 0.3f);
    controller[0].rdata[7] = 0;
    for (int i = 0; i < 100; i++)
        Tick(R1);
    EXPECT_FLOAT_EQ(PrecisionFirePitch, -0.3f);
    controller[0].rdata[7] = 128;
    // Release: one precise shot from the left gun.
    const u32 precise = gc->stats.nPrecisionShots;
    const int left = d->leftgunarm.weapon.bulletsLeft, right = d->rightgunarm.weapon.bulletsLeft;
    Tick();
    EXPECT_EQ(gc->stats.nPrecisionShots, precise + 1);
    EXPECT_EQ(d->leftgunarm.weapon.bulletsLeft, left - 1);
    EXPECT_EQ(d->rightgunarm.weapon.bulletsLeft, right);
    EXPECT_EQ(d->shootmode, Dace::SHOOT_PRECISION);
    // Precision lasts 20 more world frames.
    const int shot = world.time;
    while (world.time - shot < 20) {
        Tick();
        ASSERT_EQ(d->shootmode, Dace::SHOOT_PRECISION) << world.time - shot;
    }
    Tick();
    EXPECT_EQ(d->shootmode, Dace::SHOOT_NORMAL);

    // Without the ability a long hold fires one normal shot on release.
    gc->stats.gunAbility = 0;
    d->SetAnim(GUNS_IDLE_ANI);
    const u32 normal = gc->stats.nShotsFired;
    Tick(R1, R1);
    for (int i = 0; i < 40; i++)
        Tick(R1);
    EXPECT_NE(d->shootmode, Dace::SHOOT_PRECISION);
    Tick();
    EXPECT_EQ(gc->stats.nShotsFired, normal + 1);
}

TEST_F(PlayerGuns, BulletsKillHimWithTheDeathOfHisCoverOnce)
{
    const u32 points = gc->stats.nPoints;
    d->strength = 30.0f;
    SpecialMessage zero(Dace::SMSG_PROJECTILE_DAMAGE, nullptr, 0);
    d->SendMessage(OM_SPECIAL, &zero);
    EXPECT_FLOAT_EQ(d->strength, 30.0f);
    world.playbackSpeed = 0.5f;
    d->collidestate = Dace::BACK_STATIC_FULL;
    SpecialMessage hit(Dace::SMSG_PROJECTILE_DAMAGE, nullptr, 30);
    d->SendMessage(OM_SPECIAL, &hit);
    EXPECT_LE(d->strength, 0.0f) << "exactly 0 counts as a kill";
    EXPECT_EQ(int(gc->stats.nPoints - points), -20);
    EXPECT_FLOAT_EQ(world.playbackSpeed, 1.2f);
    ASSERT_NE(d->cam, nullptr);
    EXPECT_FLOAT_EQ(d->cam->zoom, 1.6f);
    EXPECT_FLOAT_EQ(d->cam->relpos[1], -0.46875f);
    EXPECT_EQ(d->shootmode, Dace::SHOOT_NONE);
    EXPECT_EQ(d->blendmode2 == GUNS_FWALL_KILLED_ANI || d->mode2 == GUNS_FWALL_KILLED_ANI, true);
    EXPECT_EQ(d->collidestate, Dace::FREE);
    // A second kill on the tick changes nothing.
    d->SendMessage(OM_SPECIAL, &hit);
    EXPECT_EQ(int(gc->stats.nPoints - points), -20);

    // A held shield is let go before he falls; half cover and the open.
    Dummy* shield = Enemy(-110, VectorPos(2.0f, 0.0f, 5.5f));
    for (auto [state, death] : {std::pair{Dace::BACK_STATIC_HALF, GUNS_HWALL_KILLED_ANI},
                                std::pair{Dace::FREE, GUNS_KILLED_ANI}}) {
        d->strength = 30.0f;
        d->flags &= ~0x60000000u;
        d->SetAnim(GUNS_GRAPPLE_IDLE_ANI);
        d->shieldTarget = shield;
        d->collidestate = state;
        d->SendMessage(OM_SPECIAL, &hit);
        EXPECT_EQ(shield->Count(32), state == Dace::BACK_STATIC_HALF ? 1 : 2);
        EXPECT_EQ(d->shieldTarget, nullptr);
        EXPECT_TRUE(d->blendmode2 == death || d->mode2 == death) << death;
    }
}

namespace {

// A wall spline of straight segments through the given points (every third
// point ends a segment), kept alive by the test.
struct Wall
{
    std::vector<Vector> pts;
    WallSpline ws{};
    Wall(std::vector<VectorPos> p, bool crouch, u16 index = 7)
    {
        for (const VectorPos& v : p)
            pts.emplace_back(v[0], v[1], v[2], 0.0f);
        pts[0][3] = float(pts.size());
        Spline* s = reinterpret_cast<Spline*>(pts.data());
        s->SetCount(int(pts.size()));
        ws.spline = s;
        ws.objindex = index;
        ws.crouch = crouch;
    }
};

// Four points from a to b: one straight segment.
std::vector<VectorPos> Segment(VectorPos a, VectorPos b)
{
    const VectorDir d = VectorDir(b - a) * (1.0f / 3.0f);
    return {a, a + d, a + d * 2.0f, b};
}

}  // namespace

TEST_F(PlayerGuns, TheWallSearchTakesTheNearestWallOnItsOpenSideAtHisHeight)
{
    world.spllist.RemoveAll();
    Dace::CheckSpline c;
    // A wall along x at z = 5, through the player (2, 0, 5).
    Wall on(Segment(VectorPos(0, 0, 5), VectorPos(4, 0, 5)), false);
    world.spllist.AddTail(&on.ws);
    ASSERT_TRUE(d->CheckForSplineEntry(&c, 0.0f)) << "a side offset of 0 qualifies";
    EXPECT_NEAR(c.t, 0.5f, 1e-3f);
    EXPECT_EQ(c.i, 7);
    VectorDir dir;
    const float side = c.b.CalcParams(VectorPos(2.0f, 0.0f, 5.2f), dir)[0];
    // The side the player stands on 0.15625 beyond the line does not count.
    const float behind = side < 0.0f ? 5.15625f : 4.84375f;
    d->SetPos(VectorPos(2.0f, 0.0f, behind));
    EXPECT_FALSE(d->CheckForSplineEntry(&c, 0.0f));
    d->SetPos(VectorPos(2.0f, 0.0f, 5.0f));
    world.spllist.RemoveAll();

    // A wall 0.3125 above or below is never entered.
    Wall up(Segment(VectorPos(0, -0.3125f, 5), VectorPos(4, -0.3125f, 5)), false);
    world.spllist.AddTail(&up.ws);
    EXPECT_FALSE(d->CheckForSplineEntry(&c, 0.0f));
    world.spllist.RemoveAll();
    Wall down(Segment(VectorPos(0, 0.3125f, 5), VectorPos(4, 0.3125f, 5)), false);
    world.spllist.AddTail(&down.ws);
    EXPECT_FALSE(d->CheckForSplineEntry(&c, 0.0f));
    world.spllist.RemoveAll();

    // Two parallel walls: the nearer wins.
    const float open = side < 0.0f ? -1.0f : 1.0f;   // toward the open side, in z
    Wall far(Segment(VectorPos(0, 0, 5 - 0.3f * open), VectorPos(4, 0, 5 - 0.3f * open)), false, 1);
    Wall near(Segment(VectorPos(0, 0, 5 - 0.1f * open), VectorPos(4, 0, 5 - 0.1f * open)), true, 2);
    world.spllist.AddTail(&far.ws);
    world.spllist.AddTail(&near.ws);
    ASSERT_TRUE(d->CheckForSplineEntry(&c, 0.0f));
    EXPECT_EQ(c.i, 2);
    EXPECT_EQ(c.c, 1);
    world.spllist.RemoveAll();

    // Only the first 24 segments found count.
    std::vector<Wall*> many;
    for (int i = 0; i < 24; i++) {
        many.push_back(new Wall(Segment(VectorPos(0, 0, 5 + 0.4f * open), VectorPos(4, 0, 5 + 0.4f * open)), false));
        world.spllist.AddTail(&many.back()->ws);
    }
    Wall good(Segment(VectorPos(0, 0, 5), VectorPos(4, 0, 5)), false, 3);
    world.spllist.AddTail(&good.ws);
    EXPECT_FALSE(d->CheckForSplineEntry(&c, 0.0f));
    world.spllist.RemoveAll();
    for (Wall* w : many)
        delete w;

    // Following a wall: an open end answers false, a closed one wraps.
    Wall open2({VectorPos(0, 0, 5), VectorPos(1, 0, 5), VectorPos(2, 0, 5), VectorPos(3, 0, 5), VectorPos(4, 0, 5),
                VectorPos(5, 0, 5), VectorPos(6, 0, 5)},
               false);
    d->collspline = open2.ws.spline;
    d->collbezier = open2.ws.spline->GetBezier(0);
    d->collsplinet = 0.5f;
    d->SetPos(VectorPos(4.5f, 0.0f, 5.0f));
    ASSERT_TRUE(d->UpdateWallSpline());
    EXPECT_NEAR(d->collsplinet, 1.5f, 1e-3f);
    EXPECT_NEAR(std::fabs(d->collideperp[2]), 1.0f, 1e-4f);
    d->SetPos(VectorPos(6.5f, 0.0f, 5.0f));
    EXPECT_FALSE(d->UpdateWallSpline());
    Wall loop({VectorPos(0, 0, 5), VectorPos(1, 0, 5), VectorPos(2, 0, 5), VectorPos(3, 0, 5), VectorPos(3, 0, 6),
               VectorPos(3, 0, 7), VectorPos(3, 0, 8), VectorPos(2, 0, 7), VectorPos(1, 0, 6), VectorPos(0, 0, 5)},
              false);
    d->collspline = loop.ws.spline;
    d->collbezier = loop.ws.spline->GetBezier(0);
    d->collsplinet = 0.5f;
    d->SetPos(VectorPos(-0.1f, 0.0f, 5.3f));
    EXPECT_TRUE(d->UpdateWallSpline()) << "a closed wall wraps back to its last segment";
    EXPECT_GE(d->collsplinet, 2.0f);
}

TEST_F(PlayerGuns, BackingOntoAWallTakesCoverTurnsAndSettles)
{
    world.spllist.RemoveAll();
    Wall wall(Segment(VectorPos(0, 0, 5), VectorPos(4, 0, 5)), false);
    world.spllist.AddTail(&wall.ws);
    d->SetAnim(GUNS_IDLE_ANI);
    // Of the two facings across the wall, one backs onto it.
    int entered = 0;
    for (float face : {1.0f, -1.0f}) {
        d->collidestate = Dace::FREE;
        const VectorPos at = d->GetWorldPos();
        d->mat = Matrix(true);
        d->mat.z = Vector(0.0f, 0.0f, face, 0.0f);
        d->mat.x = Vector(face, 0.0f, 0.0f, 0.0f);
        d->SetPos(at);
        Tick(BUT_CROSS, BUT_CROSS);
        if (d->collidestate == Dace::PUSH_STATIC) {
            entered++;
            EXPECT_NEAR(d->backmat.z[2], -face, 1e-4f) << "the cover facing is away from the wall";
            Tick(BUT_CROSS);
            Tick(BUT_CROSS);
            Tick(BUT_CROSS);
            EXPECT_EQ(d->collidestate, Dace::TURNING_STATIC_FULL);
            EXPECT_EQ(d->mode2, GUNS_FWALL_IDLE_L_ANI) << "no target: the left idle";
            for (int i = 0; i < 21; i++)
                Tick(BUT_CROSS);
            EXPECT_EQ(d->collidestate, Dace::BACK_STATIC_FULL);
            // Letting go of the button leaves the wall.
            Tick();
            EXPECT_EQ(d->collidestate, Dace::PULL_STATIC);
            for (int i = 0; i < 20 && d->collidestate == Dace::PULL_STATIC; i++)
                Tick();
            EXPECT_EQ(d->collidestate, Dace::FREE);
        }
    }
    EXPECT_EQ(entered, 1);
    world.spllist.RemoveAll();
}

TEST_F(PlayerGuns, TheTestInteriorsWallsTakeHimInCoverAtTheirHeights)
{
    ASSERT_NE(LoadTestInterior(), nullptr);
    struct Case
    {
        float x;
        Dace::CollState turning, back;
        u16 idle;
    };
    for (const Case c : {Case{-2.2f, Dace::TURNING_STATIC_FULL, Dace::BACK_STATIC_FULL, GUNS_FWALL_IDLE_L_ANI},
                         Case{2.2f, Dace::TURNING_STATIC_HALF, Dace::BACK_STATIC_HALF, GUNS_HWALL_IDLE_ANI}}) {
        // Standing 0.3 off the wall on its open side, the cross held: of
        // the two facings across it, the one that backs onto it enters.
        int entered = 0;
        for (float face : {1.0f, -1.0f}) {
            d->collidestate = Dace::FREE;
            d->SetAnim(GUNS_IDLE_ANI);
            d->mat = Matrix(true);
            d->mat.z = Vector(face, 0.0f, 0.0f, 0.0f);
            d->mat.x = Vector(0.0f, 0.0f, -face, 0.0f);
            d->SetPos(VectorPos(c.x, 0.0f, 0.5f));
            Tick(BUT_CROSS, BUT_CROSS);
            if (d->collidestate == Dace::PUSH_STATIC) {
                entered++;
                break;
            }
        }
        ASSERT_EQ(entered, 1) << c.x;
        // The cover facing: at the standing wall (its line running +z) away
        // from it into the room, +x; at the crouching wall, whose line runs
        // -z, the direction across it (-x) negated: over the wall, +x.
        EXPECT_NEAR(d->backmat.z[0], 1.0f, 1e-5f) << c.x;
        EXPECT_NEAR(d->backmat.z[2], 0.0f, 1e-5f) << c.x;
        for (int i = 0; i < 3; i++)
            Tick(BUT_CROSS);
        EXPECT_EQ(d->collidestate, c.turning) << c.x;
        EXPECT_EQ(d->mode2, c.idle) << c.x;
        for (int i = 0; i < 21; i++)
            Tick(BUT_CROSS);
        EXPECT_EQ(d->collidestate, c.back) << c.x;
        // Out of cover again when the button is let go.
        Tick();
        EXPECT_EQ(d->collidestate, Dace::PULL_STATIC) << c.x;
        for (int i = 0; i < 20 && d->collidestate == Dace::PULL_STATIC; i++)
            Tick();
        EXPECT_EQ(d->collidestate, Dace::FREE) << c.x;
    }
}

// In cover at the test interior's standing wall: a stick of 0.749 on both
// axes rests, 0.75 on one slides along the wall; a push straight away
// leaves it (PULL_STATIC, free again ten frames on); and when the wall's
// object takes its cover lines away the player on one is told (7754, the
// line) and is free.
TEST_F(PlayerGuns, InCoverTheStickSlidesAtThreeQuartersAPushLeavesAndARemovedWallLetsHimGo)
{
    ASSERT_NE(LoadTestInterior(), nullptr);
    ASSERT_NO_FATAL_FAILURE(TakeCoverAtTheStandingWall());
    auto move = [&](float x, float z) {
        Dace::PlayerController pc = Stick(x, z, BUT_CROSS);
        d->GunMoveBackFull(pc);
    };
    move(-0.749f, -0.749f);
    EXPECT_EQ(d->speed, 0.0f);
    EXPECT_EQ(d->mode2, GUNS_FWALL_IDLE_L_ANI);
    move(0.75f, 0.0f);
    EXPECT_EQ(d->mode2, GUNS_FWALL_WALK_R_ANI);
    EXPECT_EQ(d->collidestate, Dace::BACK_STATIC_FULL);
    // A push straight away from the wall: the stick counts as moving in
    // cover only from 0.75 on an axis, and any such push is longer than the
    // 0.35 that leaves the wall; below 0.75 it rests, 0.35 or 0.351 alike.
    move(0.0f, 0.35f);
    EXPECT_EQ(d->collidestate, Dace::BACK_STATIC_FULL);
    move(0.0f, 0.351f);
    EXPECT_EQ(d->collidestate, Dace::BACK_STATIC_FULL);
    EXPECT_EQ(d->speed, 0.0f);
    move(0.0f, 0.75f);
    EXPECT_EQ(d->collidestate, Dace::PULL_STATIC);
    EXPECT_EQ(d->mode2, GUNS_IDLE_ANI);
    EXPECT_EQ(Morph(), 10);
    EXPECT_EQ(d->speed, 0.0f);
    ExpectFreeTenFramesAfterThePull();

    ASSERT_NO_FATAL_FAILURE(TakeCoverAtTheStandingWall());
    ASSERT_NE(d->collspline, nullptr);
    RemoveObjectSplines(0xFFFF);
    EXPECT_TRUE(world.spllist.IsEmpty());
    EXPECT_EQ(d->collidestate, Dace::FREE);
    EXPECT_EQ(d->collspline, nullptr);
    EXPECT_EQ(d->mode2, GUNS_FIRST_ANI);
}

TEST_F(PlayerGuns, InStealthAGuardIsSeizedByTheDisarmThatFitsHisFacing)
{
    d->task = Task_Infiltrate;
    d->SwitchToMode(DACEMODE_STEALTH, true);
    d->SetAnim(STEALTH_IDLE_ANI);
    Dummy* guard = Enemy(-120, VectorPos(2.0f, 0.0f, 5.5f));
    guard->type = 1;
    // Facing the player (his z toward -z): a punch starts the punch disarm.
    guard->mat.z = Vector(0.0f, 0.0f, -1.0f, 0.0f);
    guard->mat.x = Vector(-1.0f, 0.0f, 0.0f, 0.0f);
    guard->messagehandler = GrabProbe_mh;
    const Matrix before = d->mat;
    Tick();
    // While he is asked, the grab point stands where the disarm's first
    // frame puts it, ahead of the player toward him.
    const float reach = DisturbGrabPoint(d);
    Tick(0, 128);
    ASSERT_EQ(guard->Count(Dace::SMSG_GRABBED), 1);
    ExpectGrabPointPosed(d, guard, reach);
    const SpecialMessage& m = guard->heard.back();
    EXPECT_EQ(m.param[0].i, 246);
    EXPECT_EQ(m.param[2].i, 4);
    EXPECT_EQ(m.param[3].i, 7);
    // He refused: the player keeps his facing and his idle.
    EXPECT_FLOAT_EQ(d->mat.z[2], before.z[2]);
    EXPECT_EQ(d->mode2, STEALTH_IDLE_ANI);
    // Behind him, facing the same way: a kick starts the kick disarm.
    guard->mat = TransMatrix(2.0f, 0.0f, 5.5f);
    Tick(0, 64);
    EXPECT_EQ(guard->heard.back().param[0].i, 244);
    EXPECT_EQ(guard->heard.back().param[3].i, 6);
    // The grapple, accepted.
    guard->reply = 1;
    Tick(0, 32);
    EXPECT_EQ(guard->heard.back().param[0].i, 239);
    EXPECT_EQ(guard->heard.back().param[3].i, 2);
    EXPECT_EQ(d->target.p, guard);
    EXPECT_EQ(d->collidestate, Dace::FREE);
    EXPECT_EQ(d->mode2, STEALTH_GRAPPLE_DISARM_START_ANI);
    EXPECT_EQ(d->curattack, &DaceAnim::gungrapple);
    guard->reply = 0;   // held, he answers no more questions (he is not beaten)
    // The seizing runs into its reach over 15 frames.
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, STEALTH_GRAPPLE_DISARM_FINISH_ANI);
    EXPECT_EQ(Morph(), 15);

    // Holding him, the stick drags him back (33); the grapple button drops
    // him (32).
    d->SetAnim(STEALTH_GRAPPLE_DISARM_IDLE_ANI);
    controller[0].rdata[7] = 255;
    Tick();
    controller[0].rdata[7] = 128;
    EXPECT_EQ(guard->Count(33), 1);
    EXPECT_EQ(d->mode2, STEALTH_GRAPPLE_DISARM_BACK_ANI);
    EXPECT_EQ(Morph(), 3);
    d->SetAnim(STEALTH_GRAPPLE_DISARM_IDLE_ANI);
    Tick(0, 32);
    EXPECT_EQ(d->mode2, STEALTH_GRAPPLE_DISARM_DROP_ANI);
    EXPECT_EQ(guard->Count(SMSG_RELEASED), 1);
    d->curattack = &DaceAnim::attackbase;
    d->mat = before;   // facing him square again

    // The reach ends in the hold while the grapple is pressed; the drag
    // back ends in the hold again.
    const int tracks = DaceVO.numtracks;
    DaceVO.numtracks = 0;   // his lines stay silent
    d->SetAnim(STEALTH_GRAPPLE_DISARM_FINISH_ANI);
    d->curattack = &DaceAnim::attackbase;   // the start's end reset the move graph
    d->attackbuffer = DaceAnim::ATTACK_GRAPPLE;
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, STEALTH_GRAPPLE_DISARM_IDLE_ANI);
    EXPECT_EQ(d->attackbuffer, DaceAnim::ATTACK_GRAPPLE) << "the buffer stays";
    d->SetAnim(STEALTH_GRAPPLE_DISARM_BACK_ANI);
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, STEALTH_GRAPPLE_DISARM_IDLE_ANI);
    // Without it the guard is let go; the drop ends with the player turned
    // round in his sneaking idle, the guard no longer his.
    const int released = guard->Count(SMSG_RELEASED);
    d->SetAnim(STEALTH_GRAPPLE_DISARM_FINISH_ANI);
    d->attackbuffer = DaceAnim::ATTACK_NONE;
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, STEALTH_GRAPPLE_DISARM_DROP_ANI);
    EXPECT_EQ(guard->Count(SMSG_RELEASED), released + 1);
    const float facing = d->mat.z[2];
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_NEAR(d->mat.z[2], -facing, 1e-5f);
    EXPECT_EQ(d->mode2, STEALTH_IDLE_ANI);
    EXPECT_EQ(d->target.p, nullptr);
    EXPECT_EQ(d->grappleframe, Dace::UnsetFrame);
    DaceVO.numtracks = tracks;
}

TEST_F(PlayerGuns, CircleByAFoeIndoorsGrabsHimAsAShieldWhenHeTakesItOutdoorsItFails)
{
    gc->stats.gunAbility = 8;   // the human shield
    gc->bInterior = true;
    Dummy* foe = Enemy(-110, VectorPos(2.3f, 0.0f, 5.4f));   // 0.5 away, off to his right
    foe->messagehandler = GrabProbe_mh;
    const Matrix before = d->mat;
    const u32 shields = gc->stats.nHumanShields;
    auto circle = [&] {
        d->SetAnim(GUNS_IDLE_ANI);
        d->mat = before;
        foe->heard.clear();
        Tick(0, 32);
    };

    // Refused: the arrests ask first, then the shield's grab message with the
    // opener's clip, then the failed grab with his facing as it was.  Neither
    // arrest took hold of the foe.  While the foe is asked, the grab point
    // stands where the opener's first frame puts it, turned toward him (the
    // arrests, which pose it on clips of their own first, have none here).
    Tick();
    const float reach = DisturbGrabPoint(d);
    AnimChar* const standing = DaceAnim::Anims[PED_ARREST_START_ANI];
    AnimGroup* const lying = g_GlobalAGI.GetAG(AnimGroup_NPCDefault);
    ASSERT_NE(lying, nullptr);
    ASSERT_GT(lying->count, 19);
    AnimChar* const walkOvers[2] = {lying->pChars[18], lying->pChars[19]};
    DaceAnim::Anims[PED_ARREST_START_ANI] = lying->pChars[18] = lying->pChars[19] = nullptr;
    circle();
    DaceAnim::Anims[PED_ARREST_START_ANI] = standing;
    lying->pChars[18] = walkOvers[0];
    lying->pChars[19] = walkOvers[1];
    ExpectGrabPointPosed(d, foe, reach);
    EXPECT_EQ(d->arrestguy, nullptr);
    ASSERT_GE(foe->Count(Dace::SMSG_GRABBED), 1);
    SpecialMessage m = foe->heard.back();
    for (const SpecialMessage& h : foe->heard)
        if (h.submsg == Dace::SMSG_GRABBED)
            m = h;
    EXPECT_EQ(m.obj, d);
    EXPECT_EQ(m.param[0].i, GUNS_GRAPPLE_START_ANI);
    ASSERT_NE(DaceAnim::Anims[GUNS_GRAPPLE_START_ANI], nullptr);
    EXPECT_EQ(m.param[1].i, reinterpret_cast<const u16*>(DaceAnim::Anims[GUNS_GRAPPLE_START_ANI])[1]);
    EXPECT_EQ(m.param[2].i, 2);
    EXPECT_EQ(m.param[3].i, 8);
    EXPECT_EQ(d->mode2, GUNS_GRAPPLE_FAIL_ANI);
    EXPECT_FLOAT_EQ(d->mat.z[0], before.z[0]);
    EXPECT_FLOAT_EQ(d->mat.z[2], before.z[2]);
    EXPECT_EQ(d->shieldTarget.p, nullptr);

    // Taken: the hold starts and is counted.  He gives in to the shield's
    // grab but to no arrest.
    foe->reply = 1;
    foe->messagehandler = [](Object* o, OBJMESSAGE msg, void* data) {
        const int r = Dummy::MessageSink_mh(o, msg, data);
        const bool shield = msg == OM_SPECIAL && static_cast<SpecialMessage*>(data)->param[0].i == GUNS_GRAPPLE_START_ANI;
        return msg != OM_SPECIAL || shield ? r : 0;
    };
    circle();
    EXPECT_EQ(d->mode2, GUNS_GRAPPLE_START_ANI);
    EXPECT_EQ(d->shieldTarget.p, foe);
    EXPECT_EQ(d->target.p, nullptr);
    EXPECT_EQ(d->curattack, &DaceAnim::gungrapple);
    EXPECT_EQ(gc->stats.nHumanShields, shields + 1);
    d->shieldTarget = nullptr;
    d->curattack = &DaceAnim::attackbase;

    // Outdoors nobody is asked to be a shield (only the arrests ask) and the
    // grab fails.
    gc->bInterior = false;
    circle();
    for (const SpecialMessage& h : foe->heard)
        EXPECT_FALSE(h.submsg == Dace::SMSG_GRABBED && h.param[0].i == GUNS_GRAPPLE_START_ANI);
    EXPECT_EQ(d->mode2, GUNS_GRAPPLE_FAIL_ANI);
    EXPECT_FLOAT_EQ(d->mat.z[0], before.z[0]);
    EXPECT_EQ(gc->stats.nHumanShields, shields + 1);
}

TEST_F(PlayerGuns, AShieldWalksByTheStickFiresTheRightGunAndIsLetGo)
{
    Dummy* foe = Enemy(-110, VectorPos(2.0f, 0.0f, 5.5f));
    Dummy* aim = Enemy(-111, VectorPos(2.0f, 0.0f, 9.0f));
    d->shieldTarget = foe;
    d->target = aim;
    d->curattack = &DaceAnim::gungrapple;
    Dace::PlayerController pc(controller[0], d->mat);
    // Angles in radians as the walk table keeps them (145 degrees is
    // 2.5307276).
    auto stick = [&](float r) {
        pc.cdir = VectorDir(0.0f, 0.0f, 1.0f);
        pc.ldir = VectorDir(std::sin(r), 0.0f, std::cos(r));
        pc.pad = 0;
        d->mat = Matrix(true);
        d->SetPos(VectorPos(2.0f, 0.0f, 5.0f));
        foe->heard.clear();
        d->GunMoveHumanShield(pc);
        return foe->heard.empty() ? 0 : foe->heard.back().submsg;
    };
    EXPECT_EQ(stick(0.8726646f), 35);             // 50 degrees
    EXPECT_EQ(stick(-2.1816616f), 36);            // -125
    EXPECT_EQ(stick(-2.1818361f), 33);            // -125.01
    EXPECT_EQ(stick(2.5307276f), 33);             // 145
    EXPECT_EQ(d->collidestate, Dace::FREE);

    // R1: the right gun only, heard by the target.
    const int left = d->leftgunarm.weapon.bulletsLeft;
    pc.cdir = VectorDir(0.0f, 0.0f, 0.0f);
    pc.pad = R1 << 16;
    d->GunMoveHumanShield(pc);
    EXPECT_EQ(aim->Count(Dace::SMSG_SHOT_AT), 1);
    EXPECT_TRUE(d->rightgunarm.IsPreShot());
    EXPECT_EQ(d->leftgunarm.weapon.bulletsLeft, left);
    EXPECT_FALSE(d->NoShotFor(1));

    // Circle and R1 on one tick: he lets go and fires.
    pc.pad = (R1 | BUT_CIRCLE) << 16;
    d->GunMoveHumanShield(pc);
    EXPECT_EQ(foe->Count(32), 1);
    EXPECT_EQ(d->shieldTarget, nullptr);
    EXPECT_EQ(d->curattack, &DaceAnim::attackbase);
    EXPECT_EQ(aim->Count(Dace::SMSG_SHOT_AT), 2);

    // A dying foe ends the hold with the recoil.
    d->shieldTarget = foe;
    foe->flags |= 0x20000000u;
    pc.pad = 0;
    d->GunMoveHumanShield(pc);
    EXPECT_EQ(foe->Count(32), 2);
    EXPECT_TRUE(d->mode2 == GUNS_IDLE_RECOIL_L_ANI || d->blendmode2 == GUNS_IDLE_RECOIL_L_ANI);
}

TEST_F(PlayerGuns, AHeldJumpButtonJumpsATapDivesAndFistTasksPutTheGunsAway)
{
    Dummy* mission = new Dummy;
    d->gameeventobj = mission;
    d->SetAnim(GUNS_IDLE_ANI);
    // Held: a jump once 15 animation frames have passed, heard by the mission.
    Tick(BUT_TRIANGLE, BUT_TRIANGLE);
    const float start = d->jumpstartframe;
    ASSERT_NE(start, Dace::UnsetFrame);
    while (d->frame - start < 15.0f && d->jumpstartframe != Dace::UnsetFrame)
        Tick(BUT_TRIANGLE);
    Tick(BUT_TRIANGLE);
    EXPECT_EQ(d->jumpstartframe, Dace::UnsetFrame);
    EXPECT_EQ(mission->Count(23022), 1);
    EXPECT_FLOAT_EQ(d->verticaljumpspeed, 0.01397f);
    EXPECT_EQ(d->mode2, GUNS_JUMP_FWD_ANI) << "no target, no face mode: forward";

    // The jump button is no blow in a shootout: nothing but the jump.
    EXPECT_EQ(d->curattack, &DaceAnim::attackbase);
    EXPECT_NE(d->blendmode2, COMBAT_IDLE_ANI);

    // A tap: a dive, and no jump event.
    d->SetAnim(GUNS_IDLE_ANI);
    d->jumpstartframe = Dace::UnsetFrame;
    Tick(BUT_TRIANGLE, BUT_TRIANGLE);
    Tick();
    EXPECT_EQ(d->mode2, GUNS_DIVE_FWD_ANI);
    EXPECT_EQ(Morph(), 1);
    EXPECT_EQ(mission->Count(23022), 1);
    EXPECT_EQ(d->curattack, &DaceAnim::attackbase);
    // Let go on the 14th frame (the frame clock runs 1.2 a tick): a dive.
    d->SetAnim(GUNS_IDLE_ANI);
    Tick(BUT_TRIANGLE, BUT_TRIANGLE);
    const float pressed = d->jumpstartframe;
    ASSERT_NE(pressed, Dace::UnsetFrame);
    while (d->frame - pressed < 14.0f)
        Tick(BUT_TRIANGLE);
    ASSERT_LT(d->frame - pressed, 15.0f);
    Tick();
    EXPECT_EQ(d->mode2, GUNS_DIVE_FWD_ANI);
    EXPECT_EQ(mission->Count(23022), 1);
    d->gameeventobj = nullptr;
    mission->Delete();

    // A fist task, or sneaking, ends gun mode on the next frame.
    for (PlayerTask t : {Task_Defeat, Task_Infiltrate}) {
        d->task = Task_Shootout;
        d->SwitchToMode(DACEMODE_GUNS, true);
        d->SetAnim(GUNS_IDLE_ANI);
        d->task = t;
        Tick();
        EXPECT_EQ(d->mode, DACEMODE_ONFOOT) << t;
    }
}

// The test interior's walls stop his body as they stop bullets: run
// straight at the standing-height wall (its face on its cover line,
// x = -2.5), at the crouching-height one (x = 2.5) and at the far wall
// (z = 6), with the world's indoor collision pass after each tick, he comes
// up to the face and never passes it.
TEST_F(PlayerGuns, RunningAtTheTestInteriorsWallsHeStopsAtTheirFaces)
{
    ASSERT_NE(LoadTestInterior(), nullptr);
    struct Run
    {
        VectorDir along;
        VectorPos from;
        float face;   // where the wall begins, along `along`
    };
    Camera view;
    for (const Run r : {Run{VectorDir(-1, 0, 0), VectorPos(-1.5f, 0, 0.5f), 2.5f},
                        Run{VectorDir(1, 0, 0), VectorPos(1.5f, 0, 0.5f), 2.5f},
                        Run{VectorDir(0, 0, 1), VectorPos(0, 0, 0.5f), 6.0f}}) {
        // The stick straight ahead on a view looking his way.
        view.mat = Matrix(true);
        view.mat.z = Vector(r.along[0], 0.0f, r.along[2], 0.0f);
        view.mat.x = Vector(r.along[2], 0.0f, -r.along[0], 0.0f);
        SetCurrentCam(&view);
        d->mat = view.mat;
        d->SetPos(r.from);
        d->SetAnim(GUNS_IDLE_ANI);
        float furthest = -100.0f;
        for (int i = 0; i < 120; i++) {
            controller[0].rdata[7] = 0;
            controller[0].pad = 0;
            world.Update();
            world.InteriorCollision();
            furthest = std::max(furthest, Dot(VectorDir(d->GetWorldPos()), r.along));
        }
        controller[0].rdata[7] = 128;
        EXPECT_EQ(d->mode2, GUNS_RUN_INTERIOR_ANI) << "still pushing on";
        EXPECT_LE(furthest, r.face) << r.along[0] << " " << r.along[2];
        EXPECT_GT(Dot(VectorDir(d->GetWorldPos()), r.along), r.face - 0.2f) << "he reached it";
    }
    SetCurrentCam(nullptr);
    world.dynbsp.RemoveAll();
}

// The right stick's x byte nudges the choice of target outside 88..168:
// any nudge ends precision aiming, none inside the band; a full push picks
// the next target on that side.
TEST_F(PlayerGuns, TheRightStickNudgesOutsideItsDeadBandAndPicksTheTargetOnThatSide)
{
    Dummy* ahead = Enemy(-110, VectorPos(2.0f, 0.0f, 8.0f));
    gc->stats.gunAbility = 1;   // precision
    d->SetAnim(GUNS_IDLE_ANI);
    d->lasttarget1checktime = Dace::Never;
    for (int i = 0; i < 10 && d->target != ahead; i++)
        Tick();
    ASSERT_EQ(d->target.p, ahead);
    ASSERT_NE(d->reticle, nullptr);
    for (int rx : {88, 128, 168, 87, 169}) {
        d->SetShootMode(Dace::SHOOT_PRECISION);
        d->shootingframe = d->frame;
        controller[0].rdata[4 + ANA_RX] = u8(rx);
        Tick(R1);
        const bool nudged = rx < 88 || rx > 168;
        EXPECT_EQ(d->shootmode != Dace::SHOOT_PRECISION, nudged) << rx;
    }
    controller[0].rdata[4 + ANA_RX] = 128;
    Tick();

    // Seen down the world's z: one target either side of the one ahead.
    const Matrix view = rc.world_view;
    rc.world_view = Matrix(true);
    Dummy* right = Enemy(-111, VectorPos(3.5f, 0.0f, 8.0f));
    Dummy* left = Enemy(-112, VectorPos(0.5f, 0.0f, 8.0f));
    d->SetShootMode(Dace::SHOOT_NORMAL);
    d->target = ahead;
    d->lastForceTargetDir = 0;
    auto push = [&](u8 rx) {
        controller[0].rdata[4 + ANA_RX] = rx;
        Tick();
        controller[0].rdata[4 + ANA_RX] = 128;
        Tick();
        return d->target.p;
    };
    EXPECT_EQ(push(255), right);
    EXPECT_EQ(push(0), ahead) << "the nearer of the two on the left";
    EXPECT_EQ(push(0), left);
    rc.world_view = view;
}

// In precision aiming at a target the left stick picks the body part the
// precise reticle goes for: up for the head, across for an arm, down for a
// leg (the right one from 6 to the right on), anywhere else the body.
TEST_F(PlayerGuns, InPrecisionAimingTheLeftStickPicksTheBodyPart)
{
    Dummy* foe = Enemy(-110, VectorPos(2.0f, 0.0f, 8.0f));
    gc->stats.gunAbility = 1;
    d->SetAnim(GUNS_IDLE_ANI);
    d->lasttarget1checktime = Dace::Never;
    for (int i = 0; i < 10 && d->target != foe; i++)
        Tick();
    ASSERT_EQ(d->target.p, foe);
    Tick(R1, R1);
    for (int i = 0; i < 31; i++)
        Tick(R1);
    ASSERT_EQ(d->shootmode, Dace::SHOOT_PRECISION);
    auto* pr = static_cast<PreciseReticle*>(d->reticlePr.p);
    ASSERT_NE(pr, nullptr);
    // Stick bytes: 40 either side of the centre is the dead zone, so a byte
    // of 128 + 40 + n reads n.
    struct Case
    {
        u8 x, y;
        int part;
    };
    for (const Case c : {Case{128, 0, 0}, Case{0, 128, 1}, Case{255, 128, 2}, Case{128, 255, 3},
                         Case{173, 255, 3}, Case{174, 255, 4}, Case{255, 255, 4}, Case{0, 0, -1}}) {
        controller[0].rdata[4 + ANA_LX] = c.x;
        controller[0].rdata[4 + ANA_LY] = c.y;
        Tick(R1);
        ASSERT_EQ(d->shootmode, Dace::SHOOT_PRECISION);
        EXPECT_EQ(pr->iBodyTarget, c.part) << int(c.x) << "," << int(c.y);
    }
    controller[0].rdata[4 + ANA_LX] = controller[0].rdata[4 + ANA_LY] = 128;
}

// Standing still the idle count grows by two a tick; a melee button in a
// task free of fighting switches him to his fists with that blow when he
// stands, and does nothing while he walks.
TEST_F(PlayerGuns, StandingTheIdleCountGrowsByTwoAndAMeleeButtonSwitchesToFists)
{
    d->SetAnim(GUNS_IDLE_ANI);
    d->idle = 10;
    for (int i = 0; i < 3; i++)
        Tick();
    EXPECT_EQ(d->idle, 16u);

    d->task = Task_None;
    d->SetShootMode(Dace::SHOOT_NORMAL);   // the guns stay out
    controller[0].rdata[4 + ANA_LY] = 0;   // walking
    Tick(0, BUT_SQUARE);
    controller[0].rdata[4 + ANA_LY] = 128;
    EXPECT_EQ(d->mode, DACEMODE_GUNS);
    EXPECT_EQ(d->curattack, &DaceAnim::attackbase);
    d->SetAnim(GUNS_IDLE_ANI);
    d->speed = 0.0f;
    Tick(0, BUT_SQUARE);
    EXPECT_EQ(d->mode, DACEMODE_ONFOOT);
    ASSERT_NE(d->curattack, &DaceAnim::attackbase);
    EXPECT_EQ(d->mode2, d->curattack->anim);
    EXPECT_TRUE(d->combatuntilidleloop);
}

// A Square press with the guns out, standing, in a task free of fighting:
// the fists' own start, so the mission hears of the fight once (23047) and
// the press is spent; the punch runs out with no second one after it.  The
// fists' choices hold too: a foe 1.2 behind him (more than 135 degrees off
// his facing, inside 1.25) takes a back attack under its ability, one 1.3
// behind a plain punch.
TEST_F(PlayerGuns, ASquarePressWithTheGunsOutThrowsOnePunchStartedAsTheFistsStartIt)
{
    Dummy* mission = new Dummy;
    d->gameeventobj = mission;
    d->task = Task_None;
    auto press = [&] {
        d->SwitchToMode(DACEMODE_GUNS, true);
        d->leftgunarm.ArmGun();
        d->rightgunarm.ArmGun();
        d->SetShootMode(Dace::SHOOT_NORMAL);   // the guns stay out
        d->curattack = &DaceAnim::attackbase;
        d->SetAnim(GUNS_IDLE_ANI);
        d->speed = 0.0f;
        mission->heard.clear();
        Tick(0, BUT_SQUARE);
    };
    press();
    ASSERT_EQ(d->mode, DACEMODE_ONFOOT);
    EXPECT_EQ(d->curattack, DaceAnim::attackbase.nextpunchattack);
    EXPECT_EQ(d->mode2, d->curattack->anim);
    EXPECT_EQ(d->attackbuffer, DaceAnim::ATTACK_NONE);
    EXPECT_EQ(mission->Count(23047), 1);
    EXPECT_EQ(mission->Count(Dace::SMSG_EV_ATTACK_STARTED), 1);
    for (int i = 0; i < 240 && d->curattack != &DaceAnim::attackbase; i++)
        Tick();
    EXPECT_EQ(d->curattack, &DaceAnim::attackbase) << "the punch ran out";
    EXPECT_EQ(mission->Count(Dace::SMSG_EV_ATTACK_STARTED), 1) << "one press, one punch";
    EXPECT_EQ(mission->Count(23047), 1);

    gc->stats.fightAbility = 0x002;
    Dummy* foe = Enemy(-110, VectorPos(2.0f, 0.0f, 5.0f));
    for (float back : {1.2f, 1.3f}) {
        foe->mat = TransMatrix(2.0f, 0.0f, 5.0f - back);
        d->mat = Matrix(true);
        d->SetPos(VectorPos(2.0f, 0.0f, 5.0f));
        d->target = foe;
        press();
        ASSERT_EQ(d->target.p, foe) << back;
        ASSERT_EQ(d->mode, DACEMODE_ONFOOT) << back;
        if (back < 1.25f)
            EXPECT_TRUE(d->mode2 >= COMBAT_BACK_H_ANI && d->mode2 <= COMBAT_BACK_P_ANI) << d->mode2;
        else
            EXPECT_EQ(d->curattack, DaceAnim::attackbase.nextpunchattack);
    }
    gc->stats.fightAbility = 0;
    d->target = nullptr;
    d->gameeventobj = nullptr;
    mission->Delete();
}

// With the bullet-time ability the world slows by 0.0267 of its speed a
// frame from 5 frames after he leaves the ground to 35, down to 0.2 of it
// (0.24); a jump press in that time ends it; without the ability, or
// before the 5 frames, it only recovers toward 1.2.
TEST_F(PlayerGuns, BulletTimeSlowsTheWorldToAFifthInAGunJumpsFlight)
{
    const Dace::PlayerController still = Stick(0.0f, 0.0f);
    d->SetAnim(GUNS_JUMP_FWD_INAIR_ANI);
    d->jumpframe = d->frame - 10.0f;
    gc->stats.gunAbility = 2;
    world.playbackSpeed = 1.2f;
    Dace::PlayerController pc = still;
    d->GunMoveFree(pc);
    EXPECT_NEAR(world.playbackSpeed, (1.0f - 0.026666669f) * 1.2f, 1e-6f);
    for (int i = 0; i < 60; i++)
        d->GunMoveFree(pc);
    EXPECT_NEAR(world.playbackSpeed, 0.24f, 1e-6f);
    // A new press of the jump button ends it.
    pc.pad = BUT_TRIANGLE << 16;
    d->GunMoveFree(pc);
    EXPECT_FLOAT_EQ(d->jumpframe, d->frame - 35.0f);
    // Four frames after take-off: recovering only.
    pc = still;
    world.playbackSpeed = 0.6f;
    d->jumpframe = d->frame - 4.0f;
    d->GunMoveFree(pc);
    EXPECT_NEAR(world.playbackSpeed, (0.5f + 0.026666669f) * 1.2f, 1e-6f);
    // Without the ability, in the window: recovering too.
    gc->stats.gunAbility = 0;
    world.playbackSpeed = 0.6f;
    d->jumpframe = d->frame - 10.0f;
    d->GunMoveFree(pc);
    EXPECT_NEAR(world.playbackSpeed, (0.5f + 0.026666669f) * 1.2f, 1e-6f);

    // The window runs on the jump's own clips, the gun flight clips above
    // among them, the take-off and the landing as well; a dive, which marks
    // no take-off, only recovers.
    gc->stats.gunAbility = 2;
    for (u16 clip : {GUNS_JUMP_FWD_ANI, GUNS_JUMP_SIDE_L_INAIR_ANI, GUNS_JUMP_BACK_LAND_ANI}) {
        d->SetAnim(clip);
        d->jumpframe = d->frame - 20.0f;
        world.playbackSpeed = 0.6f;
        d->GunMoveFree(pc);
        EXPECT_NEAR(world.playbackSpeed, (0.5f - 0.026666669f) * 1.2f, 1e-6f) << clip;
    }
    d->SetAnim(GUNS_DIVE_FWD_ANI);
    d->jumpframe = Dace::UnsetFrame;
    world.playbackSpeed = 0.6f;
    d->GunMoveFree(pc);
    EXPECT_NEAR(world.playbackSpeed, (0.5f + 0.026666669f) * 1.2f, 1e-6f);
}

// The angle to the target picks the gun jump: up to 45 degrees forward,
// beyond 135 the spin, between them to the target's side; with no target a
// jump out of cover goes backwards.  Strafing at 40 degrees keeps the
// forward walk if it plays and otherwise steps sideways.
TEST_F(PlayerGuns, TheJumpGoesByTheTargetsAngleAndStrafingAt40KeepsForward)
{
    Dummy* foe = Enemy(-110, VectorPos(2.0f, 0.0f, 8.0f));
    Dace::PlayerController pc = Stick(0.0f, 0.0f);
    auto at = [](float deg) {
        const float r = deg * 0.017453292f;
        return VectorPos(2.0f + 3.0f * std::sin(r), 0.0f, 5.0f + 3.0f * std::cos(r));
    };
    struct Case
    {
        float deg;
        u16 anim;
    };
    d->target = foe;
    for (const Case c : {Case{0.0f, GUNS_JUMP_FWD_ANI}, Case{40.0f, GUNS_JUMP_FWD_ANI},
                         Case{90.0f, GUNS_JUMP_SIDE_R_ANI}, Case{-90.0f, GUNS_JUMP_SIDE_L_ANI},
                         Case{140.0f, GUNS_JUMP_FWD_SPIN_ANI}, Case{-140.0f, GUNS_JUMP_FWD_SPIN_ANI}}) {
        d->mat = Matrix(true);
        d->SetPos(VectorPos(2.0f, 0.0f, 5.0f));
        d->SetAnim(GUNS_IDLE_ANI);
        foe->mat = TransMatrix(at(c.deg)[0], 0.0f, at(c.deg)[2]);
        d->StartGunJump(pc);
        EXPECT_EQ(d->mode2, c.anim) << c.deg;
        EXPECT_EQ(Morph(), 1);
    }
    d->target = nullptr;
    for (Dace::CollState s : {Dace::OUT_STATIC_FULL, Dace::OUT_STATIC_HALF, Dace::FREE}) {
        d->SetAnim(GUNS_IDLE_ANI);
        d->collidestate = s;
        d->StartGunJump(pc);
        EXPECT_EQ(d->mode2, s == Dace::FREE ? GUNS_JUMP_FWD_ANI : GUNS_JUMP_BACK_ANI) << int(s);
        EXPECT_EQ(d->collidestate, Dace::FREE);
        EXPECT_EQ(d->submode, Dace::PED_JUMPING_STANDING);
    }

    // Strafing with the target straight ahead, moving 40 degrees right.
    foe->mat = TransMatrix(2.0f, 0.0f, 8.0f);
    d->target = foe;
    d->mat = Matrix(true);
    d->SetPos(VectorPos(2.0f, 0.0f, 5.0f));
    d->speed = 1.0f;
    const VectorDir forty(std::sin(0.6981317f), 0.0f, std::cos(0.6981317f));
    d->SetAnim(GUNS_WALK_FWD_ANI);
    d->WalkTo_Gun(forty);
    EXPECT_EQ(d->mode2, GUNS_WALK_FWD_ANI);
    d->SetAnim(GUNS_IDLE_ANI);
    d->WalkTo_Gun(forty);
    EXPECT_EQ(d->mode2, GUNS_WALK_SIDE_R_ANI);
    EXPECT_EQ(Morph(), 5);
    EXPECT_EQ(d->idle, 0u);
}

// A crouching-height wall is left only by a push beyond 170 degrees to the
// left; beyond 170 to the right he stays crouched; short of 170 on the
// left he slides left.
TEST_F(PlayerGuns, AHalfWallIsLeftOnlyBeyond170DegreesToTheLeft)
{
    ASSERT_NE(LoadTestInterior(), nullptr);
    // Facing the crouching wall on its open side (the way its line runs
    // takes him into cover facing over it).
    d->SetAnim(GUNS_IDLE_ANI);
    d->mat = Matrix(true);
    d->mat.z = Vector(1.0f, 0.0f, 0.0f, 0.0f);
    d->mat.x = Vector(0.0f, 0.0f, -1.0f, 0.0f);
    d->SetPos(VectorPos(2.2f, 0.0f, 0.5f));
    for (int i = 0; i < 25; i++)
        Tick(BUT_CROSS, i == 0 ? BUT_CROSS : 0);
    ASSERT_EQ(d->collidestate, Dace::BACK_STATIC_HALF);
    auto push = [&](float deg) {
        const float r = deg * 0.017453292f;
        Dace::PlayerController pc = Stick(std::sin(r), std::cos(r), BUT_CROSS);
        d->GunMoveBackHalf(pc);
    };
    push(171.0f);
    EXPECT_EQ(d->collidestate, Dace::BACK_STATIC_HALF);
    EXPECT_EQ(d->mode2, GUNS_HWALL_IDLE_ANI);
    push(-169.0f);
    EXPECT_EQ(d->collidestate, Dace::BACK_STATIC_HALF);
    EXPECT_EQ(d->mode2, GUNS_HWALL_WALK_L_ANI);
    push(-171.0f);
    EXPECT_EQ(d->collidestate, Dace::PULL_STATIC);
    EXPECT_EQ(d->mode2, GUNS_IDLE_ANI);
    EXPECT_EQ(Morph(), 10);
    EXPECT_EQ(d->speed, 0.0f);
}

// Sliding off the end of a standing-height wall onto a crouching-height one
// that carries on from it swaps his cover animation for its twin over ten
// frames (the left idle's twin is the crouch, whose own twin is the right
// idle) and crouches him behind the new wall; and back again.
TEST_F(PlayerGuns, SlidingOntoAWallOfTheOtherHeightSwapsToTheTwinAnimation)
{
    world.spllist.RemoveAll();
    Wall full(Segment(VectorPos(0, 0, 5), VectorPos(2, 0, 5)), false, 1);
    Wall half(Segment(VectorPos(2, 0, 5), VectorPos(4, 0, 5)), true, 2);
    world.spllist.AddTail(&full.ws);
    world.spllist.AddTail(&half.ws);
    // Which side of the line is open.
    VectorDir dir;
    const float side = full.ws.spline->GetBezier(0).CalcParams(VectorPos(1.0f, 0.0f, 5.2f), dir)[0];
    const float open = side > 0.0f ? 0.2f : -0.2f;
    struct Step
    {
        Wall& from;
        float x;
        u16 anim, twin;
        Dace::CollState state;
    };
    for (const Step st : {Step{full, 2.7f, GUNS_FWALL_IDLE_L_ANI, GUNS_HWALL_IDLE_ANI, Dace::BACK_STATIC_HALF},
                          Step{half, 1.3f, GUNS_HWALL_IDLE_ANI, GUNS_FWALL_IDLE_R_ANI, Dace::BACK_STATIC_FULL}}) {
        d->collidestate = st.state == Dace::BACK_STATIC_HALF ? Dace::BACK_STATIC_FULL : Dace::BACK_STATIC_HALF;
        d->collideheightcrouch = st.state == Dace::BACK_STATIC_FULL;
        d->collspline = st.from.ws.spline;
        d->collbezier = st.from.ws.spline->GetBezier(0);
        d->collsplinet = 0.5f;
        d->SetAnim(st.anim);
        // Past the end of the wall he was on, cross held, the stick at rest,
        // long still in cover.
        d->SetPos(VectorPos(st.x, 0.0f, 5.0f + open));
        d->idle = 100;
        Tick(BUT_CROSS);
        EXPECT_EQ(d->collidestate, st.state);
        EXPECT_EQ(d->collideheightcrouch, st.state == Dace::BACK_STATIC_HALF);
        EXPECT_EQ(d->collspline, st.state == Dace::BACK_STATIC_HALF ? half.ws.spline : full.ws.spline);
        EXPECT_EQ(d->mode2, st.twin);
        EXPECT_EQ(Morph(), 10);
    }
}

namespace {

void ExpectSameMatrix(const Matrix& a, const Matrix& b)
{
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 3; c++)
            EXPECT_FLOAT_EQ(a[r][c], b[r][c]) << r << "," << c;
}

}  // namespace

// Firing from a standing wall at a target behind it: he steps out
// (OUT_STATIC_FULL) into the fire-back from the side he idled on, his cover
// pose kept; when the arms are lowered and the stick rests he returns
// (RETURNING_STATIC_FULL), moving back to the cover point a 48th a frame
// without passing it, and the return's end puts him back in that pose,
// in cover.
TEST_F(PlayerGuns, FiringFromCoverAtATargetBehindStepsOutAndReturns)
{
    ASSERT_NE(LoadTestInterior(), nullptr);
    ASSERT_NO_FATAL_FAILURE(TakeCoverAtTheStandingWall());
    d->SetAnim(GUNS_FWALL_IDLE_L_ANI);
    const Matrix cover = d->mat;
    Dummy* behind = Enemy(-110, VectorPos(-4.5f, 0.0f, 0.5f));
    d->target = behind;
    Dace::PlayerController pc = Stick(0.0f, 0.0f, BUT_CROSS | R1 | (R1 << 16));
    d->ShootoutTargetGuns(pc);
    EXPECT_EQ(d->collidestate, Dace::OUT_STATIC_FULL);
    EXPECT_EQ(d->mode2, GUNS_FWALL_BEGIN_FIREBACK_L_ANI);
    EXPECT_EQ(Morph(), 3);
    ExpectSameMatrix(d->backmat, cover);
    // The step out ends turned round, firing back.
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, GUNS_FWALL_FIREBACK_L_ANI);
    EXPECT_NEAR(d->mat.z[0], -cover.z[0], 1e-4f);

    // Arms lowered, stick at rest: back to the wall.
    for (GunArm* arm : {&d->leftgunarm, &d->rightgunarm}) {
        arm->DisarmGun();
        arm->ArmGun();
    }
    pc = Stick(0.0f, 0.0f);
    d->GunMoveFree(pc);
    EXPECT_EQ(d->collidestate, Dace::RETURNING_STATIC_FULL);
    EXPECT_EQ(d->mode2, GUNS_FWALL_FIREBACK_RETURN_L_ANI);
    EXPECT_EQ(d->shootmode, Dace::SHOOT_NONE);
    EXPECT_EQ(d->exclusiveshots, 0);
    const VectorPos point = cover.GetTrans();
    d->SetPos(point + VectorDir(0.03f, 0.0f, 0.0f));
    d->GunMoveReturning(pc);
    EXPECT_NEAR(d->GetWorldPos()[0], point[0] + 0.03f - 0.0208333f, 1e-5f);
    d->GunMoveReturning(pc);
    EXPECT_NEAR(d->GetWorldPos()[0], point[0], 1e-6f) << "stops on the cover point";
    EXPECT_NEAR(d->GetWorldPos()[2], point[2], 1e-6f);
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->collidestate, Dace::BACK_STATIC_FULL);
    EXPECT_EQ(d->mode2, GUNS_FWALL_IDLE_L_ANI);
    ExpectSameMatrix(d->mat, cover);
}

// A reload with a picked-up gun in each hand drops both as pickups, each
// keeping its bullets, and puts his own guns back in his hands, as full as
// his own gun's figures say, hidden until the reload shows them.
TEST_F(PlayerGuns, AReloadDropsBothPickedUpGunsWithTheirBulletsAndGivesBackHisOwn)
{
    ASSERT_NE(d->lgun, nullptr);
    ASSERT_NE(d->rgun, nullptr);
    EXPECT_FALSE(d->lgun->flags & OBJF_HIDDEN);
    d->bHasLeftPickup = d->bHasRightPickup = true;
    d->leftgunarm.weapon.type = WEAP_SMG_G36;
    d->leftgunarm.weapon.bulletsLeft = 7;
    d->rightgunarm.weapon.type = WEAP_SMG_G36;
    d->rightgunarm.weapon.bulletsLeft = 9;
    d->SetAnim(GUNS_IDLE_ANI);
    d->GunReloadGuns();
    std::vector<int> dropped;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
        if (l->data->type == OBJT_ICON && l->data->id == -999) {
            const Weapon& w = static_cast<GunPickup*>(l->data.p)->weapon;
            EXPECT_EQ(w.type, WEAP_SMG_G36);
            dropped.push_back(w.bulletsLeft);
            EXPECT_EQ(FramesToTimer(l->data.p), 2000) << "a thrown-away gun lies 2000 frames";
        }
    std::sort(dropped.begin(), dropped.end());
    EXPECT_EQ(dropped, (std::vector<int>{7, 9}));
    EXPECT_FALSE(d->bHasLeftPickup);
    EXPECT_FALSE(d->bHasRightPickup);
    for (GunArm* a : {&d->leftgunarm, &d->rightgunarm}) {
        EXPECT_EQ(a->weapon.type, d->baseWeapon.type);
        EXPECT_EQ(a->weapon.bulletsLeft, d->baseWeapon.bulletsLeft);
    }
    ASSERT_NE(d->lgun, nullptr);
    ASSERT_NE(d->rgun, nullptr);
    EXPECT_EQ(d->leftgunarm.gun, d->lgun);
    EXPECT_EQ(d->rightgunarm.gun, d->rgun);
    for (Object* g : {d->lgun, d->rgun}) {
        EXPECT_TRUE(g->flags & OBJF_HIDDEN);
        EXPECT_NE(g->parent, nullptr) << "in his hand";
    }
    EXPECT_EQ(d->overlayPlaying, GUNS_IDLE_RELOAD_ANI) << "in the open the arms reload";
}

// Circle by a gun on the floor (no shield ability), with a picked-up gun
// in each hand: both are thrown down, each to lie 2000 frames, the left
// one to be drawn to his right hand, and he bends for the new one.  With
// his left hand free nothing goes to the right hand, whatever an earlier
// pickup that was cut short left there.
TEST_F(PlayerGuns, PickingUpAGunThrowsTheHeldPickupsDownForTwoThousandFrames)
{
    Weapon w = d->baseWeapon;
    w.bulletsLeft = 5;
    auto floorGun = [&] {
        GunPickup* g = CreateGunPickup(TransMatrix(2.0f, -0.2f, 5.4f), VectorDir(0, 0, 0), &w, 0);
        EXPECT_NE(g, nullptr);
        return g;
    };
    auto pickups = [&] {
        std::vector<Object*> all;
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            if (l->data->type == OBJT_ICON && l->data->id == -999)
                all.push_back(l->data.p);
        return all;
    };
    GunPickup* onFloor = floorGun();
    ASSERT_NE(onFloor, nullptr);
    d->bHasLeftPickup = d->bHasRightPickup = true;
    d->SetAnim(GUNS_IDLE_ANI);
    d->idle = 10;   // standing still a while
    Tick(0, BUT_CIRCLE);
    EXPECT_EQ(d->mode2, GUNS_IDLE_PICKUP_ANI);
    EXPECT_EQ(d->pLeftPUWeapon, onFloor);
    ASSERT_NE(d->pRightPUWeapon, nullptr);
    EXPECT_EQ(d->lgun, nullptr);
    EXPECT_EQ(d->rgun, nullptr);
    int thrown = 0;
    for (Object* o : pickups()) {
        if (o == onFloor)
            continue;
        thrown++;
        EXPECT_EQ(FramesToTimer(o), 2000);
    }
    EXPECT_EQ(thrown, 2);
    EXPECT_EQ(FramesToTimer(d->pRightPUWeapon), 2000);

    // The left hand free: only the left takes the new gun.
    for (Object* o : pickups())
        o->Delete();
    GunPickup* another = floorGun();
    ASSERT_NE(another, nullptr);
    d->bHasLeftPickup = false;
    d->leftgunarm.ArmGun();
    d->SetAnim(GUNS_IDLE_ANI);
    d->idle = 10;
    Tick(0, BUT_CIRCLE);
    EXPECT_EQ(d->pLeftPUWeapon, another);
    EXPECT_EQ(d->pRightPUWeapon, nullptr);
    d->pLeftPUWeapon = nullptr;
}

// Sneaking by the test interior's standing wall: with the wall button held
// he backs onto it (PUSH_STATIC), turns with the left wall idle (no guard
// about) and settles with his back to it; a stick of 0.7 on both axes does
// not slide him; letting go leaves the wall (PULL_STATIC, the sneaking idle
// blended over 10) and he is free 10 frames later.  A jump from there
// takes off running over 3 frames; from free movement, standing over 1.
TEST_F(PlayerGuns, SneakingHeBacksOntoAWallHoldsItAndJumpsOff)
{
    ASSERT_NE(LoadTestInterior(), nullptr);
    d->task = Task_Infiltrate;
    d->SwitchToMode(DACEMODE_STEALTH, true);
    d->SetAnim(STEALTH_IDLE_ANI);
    d->mat = Matrix(true);
    d->mat.z = Vector(-1.0f, 0.0f, 0.0f, 0.0f);
    d->mat.x = Vector(0.0f, 0.0f, 1.0f, 0.0f);
    d->SetPos(VectorPos(-2.3f, 0.0f, 0.5f));
    Tick(BUT_CROSS, BUT_CROSS);
    ASSERT_EQ(d->collidestate, Dace::PUSH_STATIC);
    Tick(BUT_CROSS);
    Tick(BUT_CROSS);
    EXPECT_EQ(d->collidestate, Dace::TURNING_STATIC_FULL);
    EXPECT_EQ(d->mode2, STEALTH_FWALL_IDLE_L_ANI);
    EXPECT_EQ(Morph(), 20);
    for (int i = 0; i < 21; i++)
        Tick(BUT_CROSS);
    ASSERT_EQ(d->collidestate, Dace::BACK_STATIC_FULL);
    EXPECT_NEAR(d->mat.z[0], 1.0f, 0.02f) << "his back to the wall";
    const VectorPos settled = d->GetWorldPos();
    controller[0].rdata[4 + ANA_LX] = controller[0].rdata[4 + ANA_LY] = u8(128 + 40 + 61);   // 0.7
    Tick(BUT_CROSS);
    controller[0].rdata[4 + ANA_LX] = controller[0].rdata[4 + ANA_LY] = 128;
    EXPECT_EQ(d->speed, 0.0f);
    EXPECT_EQ(d->mode2, STEALTH_FWALL_IDLE_L_ANI);
    EXPECT_NEAR(Length(VectorDir(d->GetWorldPos() - settled)), 0.0f, 1e-3f);

    Tick();
    EXPECT_EQ(d->collidestate, Dace::PULL_STATIC);
    EXPECT_EQ(d->mode2, STEALTH_IDLE_ANI);
    EXPECT_EQ(Morph(), 10);
    // A jump from the wall state: running, over 3, off the wall.
    {
        Dace::PlayerController pc = Stick(0.0f, 0.0f, BUT_TRIANGLE << 16);
        d->Frame_Stealth(pc);
        EXPECT_EQ(d->mode2, STEALTH_JUMP_ANI);
        EXPECT_EQ(Morph(), 3);
        EXPECT_EQ(d->submode, Dace::PED_JUMPING_RUNNING);
        EXPECT_EQ(d->collidestate, Dace::FREE);
    }
    // Released again, the pull lasts ten frames.
    d->collidestate = Dace::PULL_STATIC;
    d->pushpullframe = d->frame;
    d->SetAnim(STEALTH_IDLE_ANI);
    ExpectFreeTenFramesAfterThePull();
    // From free movement: a standing jump over 1.
    d->SetAnim(STEALTH_IDLE_ANI);
    Tick(0, BUT_TRIANGLE);
    EXPECT_EQ(d->mode2, STEALTH_JUMP_ANI);
    EXPECT_EQ(Morph(), 1);
    EXPECT_EQ(d->submode, Dace::PED_JUMPING_STANDING);
}

// The wall search replaces a first candidate he stands behind by a later
// one on whose open side he is; and no cover is taken where the target can
// see the wall point (the line from his torso to it meets nothing), while
// a wall between them lets him in.
TEST_F(PlayerGuns, ABehindFirstCandidateIsReplacedAndAWallPointTheTargetSeesIsRefused)
{
    ASSERT_NE(LoadTestInterior(), nullptr);
    std::vector<WallSpline*> rooms;
    for (Link<WallSpline>* l = world.spllist.Head(); !l->IsEOList(); l = l->Next())
        rooms.push_back(l->data);
    world.spllist.RemoveAll();
    // Which side of a wall along x at z = 5 is open.
    Wall probe(Segment(VectorPos(0, 0, 5), VectorPos(4, 0, 5)), false);
    VectorDir dir;
    const float open = probe.ws.spline->GetBezier(0).CalcParams(VectorPos(2.0f, 0.0f, 5.2f), dir)[0] < 0.0f ? -1.0f
                                                                                                           : 1.0f;
    // Player at z = 5: 0.3 behind the first wall, 0.25 before the second.
    Wall behind(Segment(VectorPos(0, 0, 5 + 0.3f * open), VectorPos(4, 0, 5 + 0.3f * open)), false, 4);
    Wall before(Segment(VectorPos(0, 0, 5 - 0.25f * open), VectorPos(4, 0, 5 - 0.25f * open)), true, 5);
    Dace::CheckSpline c;
    d->SetPos(VectorPos(2.0f, 0.0f, 5.0f));
    world.spllist.AddTail(&behind.ws);
    EXPECT_FALSE(d->CheckForSplineEntry(&c, 0.0f)) << "behind the only wall";
    world.spllist.AddTail(&before.ws);
    ASSERT_TRUE(d->CheckForSplineEntry(&c, 0.0f));
    EXPECT_EQ(c.i, 5);
    world.spllist.RemoveAll();

    // A foe with a torso (sub-object 20) 0.3 up.
    Dummy* foe = Enemy(-110, VectorPos(0.0f, 0.0f, 0.0f));
    Object* torso = new Object;
    torso->id = 20;
    torso->mat = TransMatrix(0.0f, -0.3f, 0.0f);
    foe->Attach(torso);
    auto enters = [&](VectorPos at, float facex) {
        d->collidestate = Dace::FREE;
        d->SetAnim(GUNS_IDLE_ANI);
        d->mat = Matrix(true);
        d->mat.z = Vector(facex, 0.0f, 0.0f, 0.0f);
        d->mat.x = Vector(0.0f, 0.0f, -facex, 0.0f);
        d->SetPos(at);
        Dace::PlayerController pc = Stick(0.0f, 0.0f, BUT_CROSS);
        d->GunCheckForWallSplineEntry(pc);
        return d->collidestate == Dace::PUSH_STATIC;
    };
    // A wall line in the open middle of the room, along z at x = 0: of the
    // two facings across it one backs onto it; a foe in the open to the
    // side sees its point and keeps him out.
    Wall middle(Segment(VectorPos(0, 0, -1), VectorPos(0, 0, 2)), false, 6);
    world.spllist.AddTail(&middle.ws);
    d->target = nullptr;
    int found = 0;
    float side = 0.0f, face = 0.0f;
    for (float f : {1.0f, -1.0f})
        for (float x : {0.2f, -0.2f})
            if (enters(VectorPos(x, 0.0f, 0.5f), f)) {
                found++;
                side = x;
                face = f;
            }
    ASSERT_EQ(found, 1);
    foe->mat = TransMatrix(side * 10.0f, 0.0f, 0.5f);
    d->target = foe;
    EXPECT_FALSE(enters(VectorPos(side, 0.0f, 0.5f), face));
    world.spllist.RemoveAll();

    // The room's standing wall (x = -2.5; he comes to it on the room's side
    // facing it, as he takes cover there) with the foe beyond it: the wall
    // stands between them.
    for (WallSpline* w : rooms)
        world.spllist.AddTail(w);
    foe->mat = TransMatrix(-4.5f, 0.0f, 0.5f);
    EXPECT_TRUE(enters(VectorPos(-2.2f, 0.0f, 0.5f), -1.0f));
    d->target = nullptr;
}
