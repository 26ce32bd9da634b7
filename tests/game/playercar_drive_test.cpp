// The player at the wheel: the pad drives his car (another driver keeps it
// until he takes it), the camera looks back, cycles and backs off for a big
// car, the guns fire out of the window by the hand whose side the target is
// on, R1 held aims precisely in slow motion and fires once on release, the
// music's cues follow the speed even when world time skips, he remarks on
// people by the road while stopped, the siren and kick-stand events move
// their props, the motorbike rider poses by speed and steering, and in a
// scripted drive the pad orbits and zooms the camera.
#include "tests/game/playercar_support.h"

#include <cmath>

#include "game/CameraMaths.h"
#include "game/reticle.h"
#include "tools/lib/gunfiles.h"

namespace {

using namespace cartest;

constexpr float kDeg = 3.14159265f / 180.0f;

// A pedestrian by the road: answers the shabby query (87) when asked.
struct Walker : Object
{
    int shabby = 1;
    Walker() : Object(Walker_mh) { type = OBJT_CHARACTER; }
    static int Walker_mh(Object* o, OBJMESSAGE msg, void* data)
    {
        if (msg == OM_SPECIAL && static_cast<SpecialMessage*>(data)->submsg == 87)
            return static_cast<Walker*>(o)->shabby;
        if (msg == OM_DIE) {
            delete static_cast<Walker*>(o);
            return -1;
        }
        return 0;
    }
};

class PlayerDriving : public PlayerCar
{
protected:
    Vehicle* v = nullptr;
    void SetUp() override
    {
        PlayerCar::SetUp();
        v = Car(0, VectorPos(4.0f, 0.0f, 5.0f));
        ASSERT_NE(v, nullptr);
        Seat(v);
        ASSERT_EQ(d->mode, DACEMODE_DRIVING);
    }
    // A still object at `deg` degrees from the player's facing, r away.
    Sink* At(float deg, float r = 6.0f, s16 id = -110)
    {
        const Matrix me = d->GetWorldMatrix();
        VectorPos p = me.GetTrans() + VectorDir(me.x.xyz()) * (r * std::sin(deg * kDeg)) +
                      VectorDir(me.z.xyz()) * (r * std::cos(deg * kDeg));
        p[1] = 0.0f;
        auto* s = new Sink;
        s->type = OBJT_CHARACTER;
        s->id = id;
        s->flags = OBJF_FRAMECALL | 0x20;
        s->mat = TransMatrix(p);
        world.AddObject(s, nullptr);
        return s;
    }
    static int Heard(const Sink* s, int code, Object* obj)
    {
        int n = 0;
        for (const SpecialMessage& m : s->heard)
            n += m.submsg == code && m.obj == obj;
        return n;
    }
    void Arms(PresetGunArm::Mode left, PresetGunArm::Mode right)
    {
        d->leftdrivinggunarm.mode = left;
        d->rightdrivinggunarm.mode = right;
        d->leftdrivinggunarm.weapon.bulletsLeft = d->leftdrivinggunarm.weapon.magSize;
        d->rightdrivinggunarm.weapon.bulletsLeft = d->rightdrivinggunarm.weapon.magSize;
    }
};

using Arm = PresetGunArm;

int g_hits = 0;

int RecordHits(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL && static_cast<SpecialMessage*>(data)->submsg == 20464)
        g_hits++;
    if (msg == OM_DIE) {
        delete o;
        return -1;
    }
    return 0;
}

}  // namespace

TEST_F(PlayerDriving, ThePadDrivesHisCarAndAnotherDriverKeepsTheWheelUntilHeTakesIt)
{
    for (int i = 0; i < 5; i++)
        Tick(kCross);
    EXPECT_GT(v->fAccel, 0.0f);

    // Someone else at the wheel: the pad does nothing to the car.
    auto* other = new Sink;
    v->Attach(other);
    v->rcoDriver = other;
    RCptr<Object> watch(other);
    v->fAccel = 0.5f;
    controller[0].rdata[4 + ANA_RY] = 128 + 39;   // inside the dead zone
    Tick();
    EXPECT_EQ(v->rcoDriver, other);
    EXPECT_EQ(v->fAccel, 0.5f);
    // The right stick pushed out of its dead zone: he takes the wheel.
    controller[0].rdata[4 + ANA_RY] = 128 + 41;
    Tick();
    controller[0].rdata[4 + ANA_RY] = 128;
    EXPECT_EQ(v->rcoDriver, d);
    EXPECT_TRUE(watch->IsDead());
    // Square held takes it too.
    auto* third = new Sink;
    v->Attach(third);
    v->rcoDriver = third;
    Tick(BUT_SQUARE);
    EXPECT_EQ(v->rcoDriver, d);

    // A dead player's pad does not reach the car.
    d->flags |= GUYF_DYING;
    v->fAccel = 0.0f;
    Controller held;
    held.ZeroData();
    held.pad = kCross;
    Dace::PlayerController pc(held, d->mat);
    d->Frame_DriverMode(pc);
    EXPECT_EQ(v->fAccel, 0.0f);
    d->flags &= ~GUYF_DYING;
}

TEST_F(PlayerDriving, TheCameraLooksBackCyclesItsSettingsAndBacksOffForABigVehicle)
{
    Camera* c = d->cam;
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->mode, CAMMODE_INCAR);
    Tick(kTriangle, kTriangle);
    EXPECT_TRUE(c->bReverseCamera);
    Tick();
    EXPECT_FALSE(c->bReverseCamera);
    const int setting = c->iCurrCCS;
    Tick(kDown, kDown);
    EXPECT_EQ(c->iCurrCCS, (setting + 1) % Camera::iNumCCS);
    while (c->iCurrCCS != 0)
        Tick(kDown, kDown);
    // A van-sized car: the camera looks down from farther.
    v->radius = 2.5f;
    Tick();
    EXPECT_LE(c->relangx, -0.6f);
    EXPECT_EQ(c->distgoal, 2.5f);
    v->radius = 1.5f;
    Tick();
    EXPECT_EQ(c->distgoal, 2.0f);
    // The camera's offset is the orbit at that pitch and distance.
    const Matrix o = RotX(c->relangx) * RotY(c->angygoal);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(c->relpos[k], -o.z[k] * 2.0f, 1e-5f) << k;
}

TEST_F(PlayerDriving, TheWindowGunIsTheHandOnTheTargetsSide)
{
    Sink* ahead15 = At(15.0f);
    Sink* right90 = At(90.0f);
    Sink* left55 = At(-55.0f);
    const VectorPos o(0.0f, 0.0f, 0.0f);
    const VectorDir still(0.0f, 0.0f, 0.0f);

    // 15 degrees, both hands reach: the left, out, fires and warns.
    Arms(Arm::CARRYING, Arm::UNARMED);
    d->FireGunDriving(ahead15, o, still, ahead15, 0);
    EXPECT_EQ(d->leftdrivinggunarm.mode, Arm::DRAWING_TO_SHOOT);
    EXPECT_EQ(d->rightdrivinggunarm.mode, Arm::UNARMED);
    ASSERT_EQ(Heard(ahead15, 25, d->lgun), 1);
    // Only the right out: the right fires, without a warning.
    ahead15->heard.clear();
    Arms(Arm::UNARMED, Arm::CARRYING);
    d->FireGunDriving(ahead15, o, still, ahead15, 0);
    EXPECT_EQ(d->rightdrivinggunarm.mode, Arm::DRAWING_TO_SHOOT);
    EXPECT_EQ(d->leftdrivinggunarm.mode, Arm::UNARMED);
    EXPECT_TRUE(ahead15->heard.empty());

    // 90 degrees: always the right; drawing it puts the left away.
    Arms(Arm::CARRYING, Arm::UNARMED);
    d->FireGunDriving(right90, o, still, right90, 0);
    EXPECT_EQ(d->rightdrivinggunarm.mode, Arm::DRAWING_TO_SHOOT);
    EXPECT_EQ(d->leftdrivinggunarm.mode, Arm::UNARMED);
    EXPECT_EQ(Heard(right90, 25, d->rgun), 1);
    EXPECT_NEAR(d->rightdrivinggunarm.aimrangepos, 0.5f, 1e-3f);
    // -55 degrees is the middle of the left hand's sweep.
    d->FireGunDriving(left55, o, still, nullptr, 0);
    EXPECT_NEAR(d->leftdrivinggunarm.aimrangepos, 0.5f, 1e-3f);

    // An empty gun holsters and comes back full, without a shot.
    Arms(Arm::UNARMED, Arm::CARRYING);
    d->rightdrivinggunarm.weapon.bulletsLeft = 0;
    right90->heard.clear();
    d->FireGunDriving(right90, o, still, right90, 0);
    EXPECT_EQ(d->rightdrivinggunarm.mode, Arm::CARRYING_TO_UNARMED);
    EXPECT_EQ(d->rightdrivinggunarm.weapon.bulletsLeft, d->rightdrivinggunarm.weapon.magSize);
    EXPECT_TRUE(right90->heard.empty());

    // A precise shot with the left empty is an ordinary one.
    Arms(Arm::CARRYING, Arm::UNARMED);
    d->leftdrivinggunarm.weapon.bulletsLeft = 0;
    d->FireGunDriving(ahead15, o, still, ahead15, 1);
    EXPECT_EQ(gc->stats.nPrecisionShots, 0u);
    EXPECT_EQ(d->leftdrivinggunarm.mode, Arm::CARRYING_TO_UNARMED);
    // With bullets it is the left hand's at once.
    Arms(Arm::UNARMED, Arm::CARRYING);
    const int before = d->leftdrivinggunarm.weapon.bulletsLeft;
    d->FireGunDriving(ahead15, o, still, ahead15, 1);
    EXPECT_EQ(gc->stats.nPrecisionShots, 1u);
    EXPECT_EQ(d->leftdrivinggunarm.weapon.bulletsLeft, before - 1);
    EXPECT_FALSE(d->leftdrivinggunarm.isPreciseShot);

    // Nothing to aim at is straight ahead: the left hand only.
    Arms(Arm::UNARMED, Arm::CARRYING);
    d->FireGunDriving(nullptr, o, still, nullptr, 0);
    EXPECT_EQ(d->leftdrivinggunarm.mode, Arm::DRAWING_TO_SHOOT);
    EXPECT_EQ(d->rightdrivinggunarm.mode, Arm::UNARMED);
    // Behind him neither hand reaches: nothing changes.
    Arms(Arm::CARRYING, Arm::UNARMED);
    Sink* behind = At(180.0f);
    d->FireGunDriving(behind, o, still, behind, 0);
    EXPECT_EQ(d->leftdrivinggunarm.mode, Arm::CARRYING);
    EXPECT_TRUE(behind->heard.empty());
}

TEST_F(PlayerDriving, APreciseShotFromTheWindowHitsTheTargetAhead)
{
    // Bullets have their model.
    for (const auto& [path, model] : tools::WeaponModelFiles()) {
        if (path != "DemoData/Misc/BULLETS.P2B")
            continue;
        std::vector<u8> bytes;
        std::string error;
        ASSERT_TRUE(tools::WriteP2B(model, bytes, error)) << error;
        rig.Model(148, bytes);
    }
    // A target eight units ahead: a slab whose part hears bullets.  They
    // pass through the shooter's own car (its id), not through another.
    v->id = 65;
    tools::P2BFile f;
    f.models = {explodetest::BareModel(1.0f)};
    tools::CollisionChain slab;
    slab.Box(0x0101, Cuboid(VectorPos(-1.0f, -1.0f, 0.0f), VectorPos(1.0f, 1.0f, 0.1f)));
    f.collisions.push_back(slab);
    f.AddNode(-1, tools::MakeNode(0));
    NODE part = tools::MakeNode(0);
    part.collision = 0;
    f.AddNode(0, part);
    vehtest::CarFile file(f);
    Object* target = file.mf.GetHierarchy(0, sizeof(Object), 0);
    ASSERT_NE(target, nullptr);
    target->mat.SetTrans(VectorPos(3.9f, -0.3f, 13.0f));
    target->id = 77;
    target->child->messagehandler = RecordHits;
    target->InitialiseChildCollisions();
    world.AddObject(target, nullptr);
    g_hits = 0;

    Arms(Arm::CARRYING, Arm::UNARMED);
    const int bullets = d->leftdrivinggunarm.weapon.bulletsLeft;
    d->FireGunDriving(target, VectorPos(0.0f, 0.0f, 0.0f), VectorDir(0.0f, 0.0f, 0.0f), target, 1);
    EXPECT_EQ(d->leftdrivinggunarm.weapon.bulletsLeft, bullets - 1);
    EXPECT_EQ(gc->stats.nPrecisionShots, 1u);
    int hit = -1;
    for (int i = 0; i < 60 && hit < 0; i++) {
        world.Update();
        world.Collision();
        if (g_hits > 0)
            hit = i;
    }
    EXPECT_GE(hit, 0);
    EXPECT_EQ(g_hits, 1);
    target->Delete();

    // An ordinary shot goes by the hand's state machine: drawn, fired a few
    // frames on, and the car ahead's driver hears the warning through it.
    Vehicle* other = Car(0, VectorPos(4.0f, 0.0f, 13.0f));
    Sink* theirs = DriverOf(other);
    Arms(Arm::UNARMED, Arm::UNARMED);
    d->FireGunDriving(other, VectorPos(0.0f, -0.2f, 0.0f), VectorDir(0.0f, 0.0f, 0.0f), other, 0);
    EXPECT_EQ(d->leftdrivinggunarm.mode, Arm::DRAWING_TO_SHOOT);
    ASSERT_EQ(theirs->Count(25), 1);
    EXPECT_EQ(theirs->heard.back().obj, d->lgun);
    const int left = d->leftdrivinggunarm.weapon.bulletsLeft;
    for (int i = 0; i < 20; i++)
        world.Update();
    EXPECT_EQ(d->leftdrivinggunarm.weapon.bulletsLeft, left - 1);
}

TEST_F(PlayerDriving, R1HeldAimsPreciselyInSlowMotionAndTheReleaseFiresOnce)
{
    gc->stats.gunAbility = 1;
    Sink* foe = At(15.0f, 6.0f);
    Object* events = new Sink;
    d->gameeventobj = events;
    d->target = foe;
    Tick();
    ASSERT_NE(d->reticle, nullptr);
    ASSERT_EQ(d->target, foe);
    Arms(Arm::CARRYING, Arm::UNARMED);
    Tick(kR1, kR1);
    EXPECT_NE(d->shootingframe, Dace::UnsetFrame);
    int ticks = 0;
    while (d->shootmode != Dace::SHOOT_PRECISION && ticks < 60) {
        Tick(kR1);
        ticks++;
    }
    ASSERT_EQ(d->shootmode, Dace::SHOOT_PRECISION);
    EXPECT_GE(d->frame - d->shootingframe, 30.0f);
    // The world slows toward 1.2 x 0.3.
    const float was = world.playbackSpeed;
    Tick(kR1);
    EXPECT_LT(world.playbackSpeed, was);
    EXPECT_NEAR(world.playbackSpeed, (was / 1.2f + (0.3f - was / 1.2f) * 0.1f) * 1.2f, 1e-4f);
    // The left stick up picks the head.
    ASSERT_NE(d->reticlePr, nullptr);
    controller[0].rdata[4 + ANA_LY] = 0;
    Tick(kR1);
    EXPECT_EQ(static_cast<PreciseReticle*>(d->reticlePr.p)->iBodyTarget, TARGET_HEADSHOT);
    controller[0].rdata[4 + ANA_LY] = 255;
    controller[0].rdata[4 + ANA_LX] = 255;
    Tick(kR1);
    EXPECT_EQ(static_cast<PreciseReticle*>(d->reticlePr.p)->iBodyTarget, TARGET_RIGHTLEG);
    controller[0].rdata[4 + ANA_LY] = 128;
    controller[0].rdata[4 + ANA_LX] = 0;
    Tick(kR1);
    EXPECT_EQ(static_cast<PreciseReticle*>(d->reticlePr.p)->iBodyTarget, TARGET_LEFTARM);
    controller[0].rdata[4 + ANA_LX] = 128;
    // Released: one precise shot, and aiming starts over.
    foe->heard.clear();
    Tick();
    EXPECT_EQ(gc->stats.nPrecisionShots, 1u);
    EXPECT_EQ(Heard(foe, Dace::SMSG_SHOT_AT, d), 1);
    EXPECT_EQ(d->shootingframe, Dace::UnsetFrame);
    EXPECT_EQ(d->shootmode, Dace::SHOOT_NORMAL);

    // Released while the siren goes on the roof: no shot, aiming reset.
    Tick(kR1, kR1);
    d->SetAnim(DRIVING_IDLE_SIREN_ON_ANI);
    foe->heard.clear();
    const int bullets = d->leftdrivinggunarm.weapon.bulletsLeft + d->rightdrivinggunarm.weapon.bulletsLeft;
    const Arm::Mode l = d->leftdrivinggunarm.mode, r = d->rightdrivinggunarm.mode;
    Tick();
    EXPECT_EQ(d->shootingframe, Dace::UnsetFrame);
    EXPECT_EQ(Heard(foe, Dace::SMSG_SHOT_AT, d), 0);
    EXPECT_EQ(d->leftdrivinggunarm.weapon.bulletsLeft + d->rightdrivinggunarm.weapon.bulletsLeft, bullets);
    EXPECT_EQ(d->leftdrivinggunarm.mode == l && d->rightdrivinggunarm.mode == r, true);

    // R1 with R2: the warning on the arms, heard by the mission.
    d->SetAnim(CAR_IDLE_ANI);
    Tick(kR1 | kR2, kR1 | kR2);
    EXPECT_EQ(d->overlayPlaying, CAR_GUNS_WARN_ANI);
    EXPECT_EQ(static_cast<Sink*>(events)->Count(23045), 1);
    EXPECT_EQ(DaceVO.GetCurrentType(), DaceVO_GunWarning);
    d->gameeventobj = nullptr;
    events->Delete();
}

TEST_F(PlayerDriving, SpeedCuesComeOnceTheirDelayIsPassedThoughWorldTimeSkips)
{
    // World time moves 7 frames a tick here, so no tick falls exactly 120
    // or 240 frames after a change.
    auto step = [&](float speed, int n) {
        v->vel = Vector(0.0f, 0.0f, speed, 0.0f);
        for (int i = 0; i < n; i++) {
            world.time += 6;
            Tick();
        }
    };
    step(0.1f, 1);   // first use: the middle band, no cue
    EXPECT_TRUE(music.events.empty() || music.Count(SoundEvent_EnterCar) == int(music.events.size()));
    music.events.clear();
    const int t0 = world.time + 7;
    step(0.2f, 18);   // fast since t0; 119 frames on
    EXPECT_EQ(music.Count(SoundEvent_StartFastDriving), 0);
    EXPECT_EQ(world.time - t0, 119);
    step(0.2f, 1);    // 126 frames on
    EXPECT_EQ(music.Count(SoundEvent_StartFastDriving), 1);
    EXPECT_GE(world.time - t0, 120);
    step(0.2f, 30);
    EXPECT_EQ(music.Count(SoundEvent_StartFastDriving), 1);
    // Slow, but back in the middle band before 240 frames: no slow cue.
    step(0.05f, 20);
    EXPECT_EQ(music.Count(SoundEvent_StartSlowDriving), 0);
    step(0.1f, 40);   // 280 frames in the middle band, after a slow spell
    EXPECT_EQ(music.Count(SoundEvent_StartSlowDriving), 0);
    EXPECT_EQ(music.Count(SoundEvent_StopSlowDriving), 1);
    EXPECT_EQ(music.Count(SoundEvent_StopFastDriving), 0);
}

TEST_F(PlayerDriving, StoppedHeRemarksOnAShabbyPasserByWhoFacesHimOneTimeInTen)
{
    auto* w = new Walker;
    world.AddObject(w, nullptr);
    world.pedlist.AddTail(w);
    const Matrix me = d->GetWorldMatrix();
    // Passers-by come into view for 18 frames (a look around at least) and
    // are gone for `away` frames; facing him, or turned away.
    auto pass = [&](int times, int away, bool facing) {
        int plays = 0;
        for (int n = 0; n < times; n++) {
            w->mat = LookAlong(VectorDir(facing ? -me.z[0] : me.z[0], 0.0f, facing ? -me.z[2] : me.z[2]));
            w->mat.SetTrans(me.GetTrans() + VectorDir(me.z.xyz()) * 5.0f);
            for (int i = 0; i < 18; i++) {
                Tick();
                plays += DaceVO.lastplaytime[DaceVO_Random_Male] == world.time;
            }
            w->mat.SetTrans(me.GetTrans() + VectorDir(me.z.xyz()) * 20.0f);
            Tick();
            world.time += away;
        }
        return plays;
    };
    // Each one who stayed away long enough is remarked on one time in ten.
    const int plays = pass(200, 130, true);
    EXPECT_GE(plays, 8);
    EXPECT_LE(plays, 35);
    // Back within 121 frames of the last sighting: never.
    pass(1, 60, true);
    EXPECT_EQ(pass(60, 60, true), 0);
    // Turned away: never.
    EXPECT_EQ(pass(60, 130, false), 0);
    // While a task runs: never.
    d->task = Task_DriveTo;
    EXPECT_EQ(pass(60, 130, true), 0);
    d->task = Task_None;
    world.pedlist.Remove(w);
}

TEST_F(PlayerDriving, TheSirenAndKickStandEventsMoveTheirProps)
{
    ASSERT_NE(d->siren, nullptr);
    d->AnimEvent_DriverMode(d, 190, 0);
    EXPECT_EQ(d->siren->flags & OBJF_HIDDEN, 0u);
    d->AnimEvent_DriverMode(d, 191, 0);
    EXPECT_NE(d->siren->flags & OBJF_HIDDEN, 0u);
    EXPECT_TRUE(v->bSiren);
    d->AnimEvent_DriverMode(d, 192, 0);
    EXPECT_EQ(d->siren->flags & OBJF_HIDDEN, 0u);
    EXPECT_FALSE(v->bSiren);
    d->AnimEvent_DriverMode(d, 193, 0);
    EXPECT_NE(d->siren->flags & OBJF_HIDDEN, 0u);
    // The car's siren switch asks for the roof siren animations.
    SpecialMessage on(SMSG_PLAYER_ANIM_A, v);
    d->SendMessage(OM_SPECIAL, &on);
    EXPECT_EQ(d->mode2, DRIVING_IDLE_SIREN_ON_ANI);

    Vehicle* bike = Car(14, VectorPos(20.0f, 0.0f, 5.0f));
    Seat(bike);
    ASSERT_EQ(d->parent, bike);
    bike->bKickStand = true;
    d->AnimEvent_TransitionMode(d, 194, 0);
    EXPECT_FALSE(bike->bKickStand);
    d->AnimEvent_TransitionMode(d, 197, 0);
    EXPECT_TRUE(bike->bKickStand);
}

TEST_F(PlayerDriving, TheRiderPosesBySpeedSteeringAndGear)
{
    Vehicle* bike = Car(14, VectorPos(20.0f, 0.0f, 5.0f));
    Seat(bike);
    ASSERT_EQ(d->car, bike);
    Controller idle;
    idle.ZeroData();
    Dace::PlayerController pc(idle, d->mat);
    struct Case
    {
        float speed, steer;
        s8 gear;
        u16 pose;
    } cases[] = {
        {0.002f, 0.06f, 1, BIKE_IDLE_STOPPED_ANI},
        {0.16f, 0.0f, 1, BIKE_TUCK_ANI},
        {0.05f, 0.0f, -1, BIKE_WALK_BACK_ANI},
        {0.05f, 0.2f, 1, BIKE_IDLE_ANI},
        {0.002f, 0.07f, 1, BIKE_IDLE_ANI},
    };
    for (const Case& c : cases) {
        bike->vel = Vector(0.0f, 0.0f, c.speed, 0.0f);
        bike->steer = c.steer;
        bike->gear = c.gear;
        d->fLastCyclePoseBlendAmount = 0.0f;
        d->Frame_CycleSub(pc);
        EXPECT_EQ(d->mode2, c.pose) << c.speed << " " << c.steer;
    }
    // Leaning into a turn: the lean follows the steering, clamped, and the
    // pose weight rises an eighth a frame.
    bike->steer = 0.2f;
    const float w0 = d->fLastCyclePoseBlendAmount;
    d->Frame_CycleSub(pc);
    EXPECT_NEAR(d->cycleblendlean, 0.2f * 1.90986f, 1e-4f);
    EXPECT_EQ(d->fLastCyclePoseBlendAmount, w0 + 0.125f);
    bike->steer = -0.9f;
    for (int i = 0; i < 10; i++)
        d->Frame_CycleSub(pc);
    EXPECT_EQ(d->cycleblendlean, -1.0f);
    EXPECT_EQ(d->cycleblendtip, 0.0f);
    EXPECT_EQ(d->fLastCyclePoseBlendAmount, 1.0f);
    // A weighted pose fades by eighths before the change to the tuck.
    bike->vel = Vector(0.0f, 0.0f, 0.16f, 0.0f);
    d->Frame_CycleSub(pc);
    EXPECT_EQ(d->mode2, BIKE_IDLE_ANI);
    EXPECT_EQ(d->fLastCyclePoseBlendAmount, 0.125f);
    d->Frame_CycleSub(pc);
    EXPECT_EQ(d->mode2, BIKE_IDLE_ANI);
    EXPECT_EQ(d->fLastCyclePoseBlendAmount, 0.125f * 0.125f);
    d->Frame_CycleSub(pc);
    EXPECT_EQ(d->mode2, BIKE_TUCK_ANI);
}

TEST_F(PlayerDriving, InAScriptedDriveThePadOrbitsAndZoomsTheCamera)
{
    d->SwitchToMode(DACEMODE_CINEDRIVE, true);
    Camera* c = d->cam;
    const float ax = c->relangx, ay = c->angygoal;
    // L3 and the right stick up-right: pitch and yaw move by the stick.
    controller[0].rdata[4 + ANA_RX] = 255;
    controller[0].rdata[4 + ANA_RY] = 0;
    Tick(kL3);
    EXPECT_NEAR(c->relangx, FixAng(ax + 88.0f * 0.00078125f), 1e-6f);
    EXPECT_NEAR(c->angygoal, FixAng(ay - 87.0f * 0.00078125f), 1e-6f);
    // Without L3 the stick does nothing and the camera stays.
    const float bx = c->relangx, by = c->angygoal;
    Tick();
    EXPECT_EQ(c->relangx, bx);
    EXPECT_EQ(c->angygoal, by);
    controller[0].rdata[4 + ANA_RX] = controller[0].rdata[4 + ANA_RY] = 128;
    // R1 pressed hard pulls the camera out, never past 31.25.
    controller[0].rdata[4 + ANA_R1] = 255;
    controller[0].rdata[4 + ANA_R2] = 255;
    const float d0 = c->distgoal;
    Tick(kL3 | kR1);
    EXPECT_NEAR(c->distgoal, d0 + 87.0f * 0.00078125f, 1e-6f);
    // R1 and R2 together: R1 only.
    Tick(kL3 | kR1 | kR2);
    EXPECT_NEAR(c->distgoal, d0 + 2.0f * 87.0f * 0.00078125f, 1e-6f);
    c->distgoal = 31.2f;
    Tick(kL3 | kR1);
    EXPECT_EQ(c->distgoal, 31.25f);
    // R2 alone pushes it in, never nearer than 0.3125.
    c->distgoal = 0.35f;
    Tick(kL3 | kR2);
    EXPECT_EQ(c->distgoal, 0.3125f);
    // Released, a distance set out of range is only clamped.
    c->distgoal = 40.0f;
    Tick();
    EXPECT_EQ(c->distgoal, 31.25f);
    // The camera orbits him at that distance.
    const Matrix o = RotX(c->relangx) * RotY(c->angygoal);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(c->relpos[k], -o.z[k] * 31.25f, 1e-4f) << k;
    // He stays on the seat.
    const VectorDir root(d->biproot->mat.GetTrans());
    const VectorPos seated = d->mat.GetTrans() + VectorDir(d->mat.x.xyz()) * root[0] +
                             VectorDir(d->mat.y.xyz()) * root[1] + VectorDir(d->mat.z.xyz()) * root[2];
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(seated[k], d->childpos[k], 1e-4f);
}

// Seated in any of the sample cars, the player is inside it: the crown of
// his head (an eighth of his 0.5625 stature above his head's joint) stays
// under the roof, which the car's aiming point marks on its top.
TEST_F(PlayerCar, SeatedInEveryCarHisHeadStaysUnderTheRoof)
{
    constexpr float kHeadAboveJoint = 0.5625f / 8.0f;
    for (int type : {0, 10, 17, 21, 23, 24, 33, 27}) {
        const tools::P2BFile file = tools::SampleVehicleFile(type);
        float roof = 0.0f;
        for (const NODE& n : file.nodes)
            if (n.model == tools::kVehReticlePoint)
                roof = -n.pos[1];
        ASSERT_GT(roof, 0.0f) << type;
        Vehicle* car = Car(type, VectorPos(4.0f + 4.0f * float(cars.size()), 0.0f, 5.0f), nullptr, false);
        ASSERT_NE(car, nullptr) << type;
        Seat(car);
        for (int i = 0; i < 10; i++)
            Tick();
        ASSERT_EQ(d->parent, car) << type;
        Object* head = d->FindSubObject(15);
        ASSERT_NE(head, nullptr);
        // Heights above the car's origin (on the ground), in the car's frame.
        const VectorPos local = VectorPos(camera::IntoRotation(car->GetWorldMatrix(), head->GetWorldPos() - car->GetWorldPos()));
        EXPECT_LT(-local[1] + kHeadAboveJoint, roof) << "type " << type;
        EXPECT_GT(-local[1], 0.1f) << "type " << type;   // and not sunk through the floor
        d->Detach();
        d->car = nullptr;
    }
}
