// The player made by his kind name from the player's model and groups
// through the game controller: his start state and camera, his tear-down,
// the pad turned into directions, the mode machine following the game
// modes, the special messages, locomotion, slow motion, damage and death,
// and target acquisition.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>

#include "ZevEngine2/PS2/modeldraw_support.h"
#include "tests/game/player_support.h"

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "game/Camera.h"
#include "game/controller_support.h"
#include "game/GameAudio.h"
#include "game/GameEvents.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

namespace {

using playerrig::PlayerKind;
using Sink = playerrig::MessageSink;

class PlayerTest : public ::testing::Test
{
protected:
    playerrig::Rig rig;
    PlayerKind kind;
    FadeScreen fade;
    GameController* gc = nullptr;
    ObjectList* savedList = nullptr;
    std::optional<gametest::Lend<FadeScreen>> lentFade;
    Dace* d = nullptr;

    void SetUp() override
    {
        ASSERT_EQ(playerrig::PlayerFiles().error, "");
        world.Clear();
        world.playbackSpeed = 1.2f;
        world.time = 1000;
        world.timePrecise = AnimTime(1000 * 256);
        srand(26);
        gc = gametest::Controller();
        gc->iFlags = 0;
        // The controller's own list is put back afterwards.
        savedList = gc->pobjectlist;
        gc->pobjectlist = nullptr;
        lentFade.emplace(gc->pfs, &fade);
        gc->bSuperDace = false;
        gc->bInterior = false;
        fade.mode = FADE_MODE_OFF;
        controller[0].ZeroData();
        SetCurrentCam(nullptr);
        // The eye his sight checks fall back on: the view of no drawn frame.
        savedViewWorld = rc.view_world;
        rc.view_world = Matrix(true);
        rig.Resident();
        Object* ph = new Object;
        ph->id = -77;
        ph->mat = TransMatrix(2.0f, 0.0f, 5.0f);
        world.placeholderlist.AddTail(ph);
        char name[] = "Dace";
        gc->CreateCharacterAt(48, -1, -77, name, false);
        d = dace;
        ASSERT_NE(d, nullptr);
    }
    void TearDown() override
    {
        if (dace != nullptr)
            dace->Delete();
        dace = nullptr;
        world.placeholderlist.RemoveAll();
        world.Clear();
        SetCurrentCam(nullptr);
        fade.Disable();
        lentFade.reset();
        gc->bSuperDace = false;
        world.playbackSpeed = 1.2f;
        rc.view_world = savedViewWorld;
        gc->pobjectlist = savedList;
    }

    Matrix savedViewWorld;

    int Send(int code, Object* obj = nullptr, Variant p0 = 0, Variant p1 = 0, Variant p2 = 0, Variant p3 = 0)
    {
        SpecialMessage m(code, obj, p0, p1, p2, p3);
        return d->SendMessage(OM_SPECIAL, &m);
    }
    // A character of the given id standing at pos, on the frame-call list.
    Object* Character(s16 id, VectorPos pos, u32 extraflags = 0x20)
    {
        Object* o = new Object;
        o->type = OBJT_CHARACTER;
        o->id = id;
        o->flags = OBJF_FRAMECALL | extraflags;
        o->mat = TransMatrix(pos[0], pos[1], pos[2]);
        world.AddObject(o, nullptr);
        return o;
    }
    void Frames(int n)
    {
        for (int i = 0; i < n; i++) {
            world.time++;
            d->SendMessage(OM_FRAME, &world);
        }
    }
};

}  // namespace

TEST_F(PlayerTest, MadeByKindNameHeIsTheFollowedPlayerAndHisDeathLeavesNothingBehind)
{
    EXPECT_EQ(d->type, OBJT_CHARACTER);
    EXPECT_EQ(d->flags & 0x10040u, 0x10040u);
    EXPECT_EQ(d->id, -1);
    EXPECT_EQ(world.pedlist.Begin().link->data.p, d);
    EXPECT_FLOAT_EQ(d->strength, 100.0f);
    EXPECT_EQ(d->mode2, PED_IDLE_ANI);
    EXPECT_EQ(d->blendmode2, PED_IDLE_ANI);
    EXPECT_EQ(d->mode, DACEMODE_INACTIVE);
    EXPECT_EQ(d->curattack, &DaceAnim::attackbase);
    EXPECT_EQ(d->overlayPlaying, -1);
    EXPECT_EQ(d->shootmode, Dace::SHOOT_NORMAL);
    EXPECT_EQ(Bullet::whizobj.p, d);
    // His own camera follows him in the three-quarter view.
    ASSERT_NE(d->dacecam, nullptr);
    EXPECT_EQ(d->cam, d->dacecam);
    EXPECT_EQ(GetCurrentCam(), d->cam);
    EXPECT_EQ(d->cam->mode, CAMMODE_PEDESTRIAN);
    EXPECT_FLOAT_EQ(d->cam->angx, 0.0872665f);
    EXPECT_FLOAT_EQ(d->cam->distgoal, 1.0f);
    // The body spheres hang on the body root, ending with the list's end.
    ASSERT_NE(d->biproot, nullptr);
    EXPECT_EQ(d->biproot->collision, reinterpret_cast<COLLISION*>(d->bodycollspheres));
    EXPECT_EQ(d->bodycollspheres[3].id, d->footrootcollmask);
    EXPECT_EQ(d->bodycollspheres[7].id, d->rootcollmask);
    EXPECT_EQ(d->bodycollspheres[8].type, COLL_END);
    EXPECT_GT(d->bodycollspheres[2].sphere[3], 0.09375f);
    // The disabled pad: centred sticks, nothing pressed.
    for (int i = 4; i < 8; i++)
        EXPECT_EQ(disabledcontroller.rdata[i], 128);
    controller[0].pad = BUT_SQUARE | (BUT_SQUARE << 16);
    controller[0].rdata[6] = controller[0].rdata[7] = 255;
    d->inputdisabled = true;
    const Dace::PlayerController pc(d->inputdisabled ? disabledcontroller : controller[0], d->mat);
    EXPECT_EQ(pc.pad, 0u);
    EXPECT_EQ(pc.cxy[0], 0.0f);
    EXPECT_EQ(pc.cxy[1], 0.0f);

    // Loops count only when the player's own animation loops (a walk: the
    // idle may turn into a fidget at its end).
    d->SetAnim(PED_WALK_ANI);
    AnimEventMessage loop{d->torso, 0, 0, 0};
    d->loopmode2 = 0;
    d->numloops = 0;
    d->SendMessage(OM_ANIMLOOP, &loop);
    EXPECT_EQ(d->numloops, 0u);
    loop.obj = d;
    d->SendMessage(OM_ANIMLOOP, &loop);
    d->SendMessage(OM_ANIMLOOP, &loop);
    EXPECT_EQ(d->numloops, 2u);
    EXPECT_EQ(d->loopmode2, d->mode2);

    // Collisions are handled only in the on-foot modes.
    CollisionRecord cr(d, d->torso);
    for (s8 m : {0, 5, 6, 7, 8}) {
        d->mode = m;
        EXPECT_EQ(d->SendMessage(OM_COLLISION, &cr), 0) << int(m);
    }
    d->mode = DACEMODE_INACTIVE;

    // Frames keep him where he is.
    const VectorPos at = d->GetWorldPos();
    Frames(5);
    EXPECT_NEAR(d->GetWorldPos()[0], at[0], 1e-4f);
    EXPECT_NEAR(d->GetWorldPos()[2], at[2], 1e-4f);

    Camera* own = d->dacecam;
    EXPECT_FALSE(own->IsDead());
    d->Delete();
    EXPECT_EQ(dace, nullptr);
    EXPECT_EQ(GetCurrentCam(), &g_DefaultCamera);
    EXPECT_EQ(Bullet::whizobj.p, nullptr);
    EXPECT_TRUE(world.pedlist.Begin().IsEOList() || world.pedlist.Begin().link->data.p->IsDead());
}

TEST_F(PlayerTest, ADrivingPlayerRemarksOnABrushAtMostOnceIn30Frames)
{
    // The voice is busy: no line starts, but the remark is still counted.
    DaceVO.state = StreamJukebox::PLAYING;
    Vehicle* car = new Vehicle;
    car->vel = Vector(0.0f, 0.0f, 0.1f, 0.0f);
    d->car = car;
    Object* walker = Character(7, VectorPos(4, 0, 5));
    CollisionRecord cr(d, walker);
    d->SendMessage(OM_PASSEDCOLL, &cr);
    const u32 first = d->lastpassedcolltime;
    EXPECT_EQ(first, u32(world.time));
    world.time += 30;
    d->SendMessage(OM_PASSEDCOLL, &cr);
    EXPECT_EQ(d->lastpassedcolltime, first);
    world.time += 1;
    d->SendMessage(OM_PASSEDCOLL, &cr);
    EXPECT_EQ(d->lastpassedcolltime, first + 31);
    // A car at a crawl says nothing.
    car->vel = Vector(0.0f, 0.0f, 0.02f, 0.0f);
    world.time += 100;
    d->SendMessage(OM_PASSEDCOLL, &cr);
    EXPECT_EQ(d->lastpassedcolltime, first + 31);
    d->car = nullptr;
    car->Delete();
    DaceVO.state = StreamJukebox::STOPPED;
}

TEST(PlayerPad, SticksHaveADeadZoneAndTurnWithTheCamera)
{
    Camera view;
    SetCurrentCam(&view);
    Controller pad;
    pad.ZeroData();
    const Matrix facing(true);
    auto stick = [&](u8 x, u8 y) {
        pad.rdata[6] = x;
        pad.rdata[7] = y;
        return Dace::PlayerController(pad, facing);
    };
    for (int v = 88; v <= 168; v++) {
        EXPECT_EQ(stick(u8(v), 128).cxy[0], 0.0f) << v;
        EXPECT_EQ(stick(128, u8(v)).cxy[1], 0.0f) << v;
    }
    EXPECT_NEAR(stick(169, 128).cxy[0], 0.0114943f, 1e-7f);
    EXPECT_NEAR(stick(87, 128).cxy[0], -0.0114943f, 1e-7f);
    // The full diagonal is one long, not the square root of two.
    const Dace::PlayerController corner = stick(0, 0);
    EXPECT_NEAR(std::sqrt(corner.cxy[0] * corner.cxy[0] + corner.cxy[1] * corner.cxy[1]), 1.0f, 1e-6f);
    EXPECT_LT(corner.cxy[0], 0.0f);
    // Stick up is the camera's forward, here the world's +z.
    const Dace::PlayerController up = stick(128, 0);
    EXPECT_NEAR(up.cdir[2], 1.0f, 1e-6f);
    EXPECT_NEAR(up.wdir[2], 1.0f, 1e-6f);
    // A camera pitched down: still on the ground, shorter than the stick.
    view.mat = RotX(0.6f);
    const Dace::PlayerController down = stick(128, 0);
    EXPECT_EQ(down.wdir[1], 0.0f);
    EXPECT_NEAR(Length(down.wdir), std::cos(0.6f), 1e-5f);
    // In a player turned a quarter to the right the world's +z is his left.
    view.mat = Matrix(true);
    const Dace::PlayerController turned(pad, RotY(1.5707964f));
    EXPECT_NEAR(turned.ldir[0], -1.0f, 1e-5f);
    EXPECT_NEAR(turned.ldir[2], 0.0f, 1e-5f);

    pad.pad = (BUT_SQUARE | BUT_CROSS) << 16;
    EXPECT_EQ(Dace::GetAttackType(pad), DaceAnim::ATTACK_PUNCH);
    pad.pad = (BUT_CROSS | BUT_TRIANGLE) << 16;
    EXPECT_EQ(Dace::GetAttackType(pad), DaceAnim::ATTACK_KICK);
    pad.pad = BUT_CIRCLE << 16;
    EXPECT_EQ(Dace::GetAttackType(pad), DaceAnim::ATTACK_GRAPPLE);
    pad.pad = BUT_SQUARE;   // held, not new
    EXPECT_EQ(Dace::GetAttackType(pad), DaceAnim::ATTACK_NONE);
    // Turns take the short way round and never overshoot.
    EXPECT_NEAR(Dace::Turn(3.0f, -3.0f, 0.1f), 3.1f, 1e-5f);
    EXPECT_NEAR(Dace::Turn(0.0f, 0.05f, 0.1f), 0.05f, 1e-6f);
    SetCurrentCam(nullptr);
}

TEST_F(PlayerTest, GameModesSetTaskModeAndRunningAsTheControllerAsks)
{
    d->norunning = true;
    d->task = Task_Shootout;
    d->SwitchGameplayMode(0, true);
    EXPECT_TRUE(d->norunning);
    EXPECT_EQ(d->task, Task_Shootout);
    EXPECT_EQ(d->mode, DACEMODE_INACTIVE);

    ASSERT_NE(d->badge, nullptr);
    d->badge->flags &= ~OBJF_HIDDEN;
    d->SwitchGameplayMode(15, true);
    EXPECT_TRUE(d->norunning);
    EXPECT_EQ(d->task, Task_None);
    EXPECT_EQ(d->mode, DACEMODE_ONFOOT);
    EXPECT_NE(d->badge->flags & OBJF_HIDDEN, 0u);
    d->SwitchGameplayMode(1, true);
    EXPECT_FALSE(d->norunning);
    EXPECT_EQ(d->task, Task_Tail);

    // Infiltration while already sneaking: only the task and the facing.
    d->SwitchToMode(DACEMODE_STEALTH, true);
    const u16 anim = d->mode2;
    d->facemode = true;
    d->SwitchGameplayMode(13, true);
    EXPECT_EQ(d->task, Task_Infiltrate);
    EXPECT_FALSE(d->facemode);
    EXPECT_EQ(d->mode, DACEMODE_STEALTH);
    EXPECT_EQ(d->mode2, anim);

    // Re-entering the guns clears the shot times.
    d->SwitchToMode(DACEMODE_GUNS, true);
    EXPECT_EQ(d->mode2, GUNS_FIRST_ANI);
    d->firetimes[0] = 990;
    d->SwitchToMode(DACEMODE_GUNS, false);
    EXPECT_EQ(d->firetimes[0], -1);

    // A shootout asked quietly of a seated player: the in-car draw, 355
    // when the car rolls backwards, and he stays at the wheel.
    Vehicle* car = new Vehicle;
    car->mat = Matrix(true);
    d->car = car;
    d->SwitchToMode(DACEMODE_DRIVING, true);
    EXPECT_EQ(d->mode, DACEMODE_DRIVING);
    EXPECT_EQ(d->mode2, CAR_IDLE_ANI);
    car->vel = Vector(0.0f, 0.0f, -0.2f, 0.0f);
    d->SwitchGameplayMode(6, false);
    EXPECT_EQ(d->mode, DACEMODE_DRIVING);
    EXPECT_EQ(d->mode2, DRIVING_BRAKE_BACKWARDS_ANI);
    EXPECT_EQ(d->task, Task_Shootout);
    d->SetAnim(CAR_IDLE_ANI);
    car->vel = Vector(0.0f, 0.0f, 0.2f, 0.0f);
    d->SwitchGameplayMode(6, false);
    EXPECT_EQ(d->mode2, CAR_IDLE_BRAKE_ANI);
    d->car = nullptr;
    car->Delete();
}

TEST_F(PlayerTest, TheCinematicDriveHangsItsPropUntilADriveToModeTakesItAway)
{
    rig.Model(205, playerrig::PlayerFiles().badge);
    d->SwitchGameplayMode(11, true);
    EXPECT_EQ(d->mode, DACEMODE_CINEDRIVE);
    EXPECT_EQ(d->mode2, CAR_IDLE_CRASH_ANI);
    Object* prop = d->FindSubObject(-99);
    ASSERT_NE(prop, nullptr);
    EXPECT_EQ(prop->parent, d->rhand);
    EXPECT_FLOAT_EQ(d->cam->distgoal, 0.7f);
    EXPECT_FLOAT_EQ(d->cam->angygoal, 1.994f);
    d->SwitchGameplayMode(16, false);
    EXPECT_EQ(d->FindSubObject(-99), nullptr);
    EXPECT_EQ(d->task, Task_DriveTo);
}

TEST_F(PlayerTest, SpecialMessagesGrabHitShieldFinishAndReport)
{
    d->SwitchToMode(DACEMODE_ONFOOT, true);
    // A grab: none while invincible; a face-on grab reaches the torso from
    // less than 0.46875 squared away.
    Object* enemy = Character(-120, VectorPos(2.0f, 0.0f, 5.4f));
    enemy->mat = LookAlong(VectorDir(0, 0, -1));
    enemy->SetPos(VectorPos(2.0f, 0.0f, 5.4f));
    Object* hands = new Object;
    hands->id = 20;
    enemy->Attach(hands);
    const VectorPos torso = d->torso->GetWorldPos();
    auto placeHands = [&](float dist) {
        const VectorPos at(torso[0], torso[1], torso[2] + dist);
        hands->mat = Matrix(true);
        hands->SetPos(enemy->GetWorldMatrix().Inverse() * at);
    };
    gc->bSuperDace = true;
    placeHands(0.1f);
    EXPECT_EQ(Send(Dace::SMSG_GRABBED, enemy, 105), 0);
    gc->bSuperDace = false;
    placeHands(0.69f);   // 0.476 squared: out of reach
    EXPECT_EQ(Send(Dace::SMSG_GRABBED, enemy, 105), 0);
    EXPECT_EQ(d->victimdata, nullptr);
    placeHands(0.68f);   // 0.4624 squared
    EXPECT_EQ(Send(Dace::SMSG_GRABBED, enemy, 105), 1);
    ASSERT_NE(d->victimdata, nullptr);
    EXPECT_EQ(d->victimdata->victimani, COMBAT_GRAPPLED_ANI);
    EXPECT_EQ(d->target.p, enemy);
    EXPECT_EQ(d->grapplewaitlen, 30);
    EXPECT_EQ(d->grapplebankoverride, -1);
    d->victimdata = nullptr;
    d->target = nullptr;
    d->SetAnim(PED_IDLE_ANI);

    // His own bullet hurts, a quarter of its strength, without a flinch; an
    // enemy's makes the arms flinch too.
    Bullet* own = new Bullet;
    own->type = OBJT_PROJECTILE;
    own->sourceid = -1;
    own->strength[0] = own->strength[1] = 20.0f;
    own->sourcePos = own->mat.GetTrans();
    const u32 hits = gc->stats.nHitByBullet;
    Send(SMSG_BULLET_HIT, own);
    EXPECT_FLOAT_EQ(d->strength, 100.0f - own->GetStrength() * 0.25f);
    EXPECT_EQ(gc->stats.nHitByBullet, hits + 1);
    EXPECT_EQ(d->overlayPlaying, -1);
    own->sourceid = -120;
    Send(SMSG_BULLET_HIT, own);
    EXPECT_EQ(d->overlayPlaying, COMBAT_RECOIL_HIGH_ANI);
    own->Delete();

    // Letting go of a human shield.
    d->SetAnim(GUNS_GRAPPLE_WALK_FWD_ANI);
    d->shieldTarget = enemy;
    d->target = enemy;
    Send(Dace::SMSG_PLAYER_LOSE_SHIELD, enemy);
    EXPECT_EQ(d->mode2, GUNS_IDLE_RECOIL_R_ANI);
    EXPECT_EQ(d->shieldTarget.p, nullptr);
    EXPECT_EQ(d->target.p, nullptr);

    // A game mode without a subject keeps the target.
    d->target = enemy;
    Send(SMSG_PLAYER_GAMEPLAY_MODE, nullptr, 12, 1);
    EXPECT_EQ(d->target.p, enemy);
    EXPECT_EQ(d->task, Task_Escape);

    // The guns shown and hidden.
    Send(Dace::SMSG_PLAYER_GUNS_FLAG_ON);
    EXPECT_NE(d->lgun->flags & OBJF_HIDDEN, 0u);
    EXPECT_NE(d->rgun->flags & OBJF_HIDDEN, 0u);
    Send(Dace::SMSG_PLAYER_LGUN_FLAG_OFF);
    EXPECT_EQ(d->lgun->flags & OBJF_HIDDEN, 0u);
    EXPECT_NE(d->rgun->flags & OBJF_HIDDEN, 0u);
    Send(Dace::SMSG_PLAYER_GUNS_FLAG_OFF);
    EXPECT_EQ(d->rgun->flags & OBJF_HIDDEN, 0u);

    // The HUD's record: six halves, two words, two pointers, nothing past.
    struct
    {
        sDaceGunInfo info;
        u32 guard;
    } q;
    std::memset(&q, 0xEE, sizeof q);
    d->leftgunarm.weapon.bulletsLeft = 7;
    Send(SMSG_Q_HUD_PLAYER, nullptr, &q.info);
    EXPECT_EQ(q.info.gunType[0], d->leftgunarm.weapon.type);
    EXPECT_EQ(q.info.curAmmo[0], 7);
    EXPECT_EQ(q.info.maxAmmo[1], d->rightgunarm.weapon.magSize);
    EXPECT_EQ(q.info.bAreActive[0], 0);
    EXPECT_EQ(q.info.gun[0], d->lgun);
    EXPECT_EQ(q.info.gun[1], d->rgun);
    EXPECT_EQ(q.guard, 0xEEEEEEEEu);

    // A fight won: the player cheers; the second report clears only the
    // event sink.
    Sink* mission = new Sink;
    Send(SMSG_MODE_START, mission, 4);
    EXPECT_EQ(d->gameeventobj, mission);
    EXPECT_EQ(d->task, Task_Defeat);
    EXPECT_EQ(d->mode, DACEMODE_FISTS);
    Send(Dace::SMSG_MODE_FINISHED, mission);
    EXPECT_TRUE(d->inputdisabled);
    EXPECT_EQ(d->mode2, COMBAT_IDLE_VICTORY_1_ANI);
    EXPECT_EQ(d->task, Task_None);
    EXPECT_EQ(d->gameeventobj, nullptr);
    d->gameeventobj = mission;
    d->inputdisabled = false;
    d->SetAnim(COMBAT_IDLE_ANI);
    Send(Dace::SMSG_MODE_FINISHED, mission);
    EXPECT_EQ(d->gameeventobj, nullptr);
    EXPECT_FALSE(d->inputdisabled);
    EXPECT_EQ(d->mode2, COMBAT_IDLE_ANI);
    mission->Delete();
}

TEST_F(PlayerTest, GaitsChangeWithHysteresisAndSprintIsBarredByNoRunning)
{
    d->SwitchToMode(DACEMODE_ONFOOT, true);
    // The cross-fade of each gait change runs out before the next test.
    auto settle = [&](float s) {
        d->speed = s;
        for (int i = 0; i < 50; i++)
            d->Animate();
    };
    d->SetAnim(PED_WALK_ANI);
    settle(0.35f);
    EXPECT_EQ(d->mode2, PED_WALK_ANI);
    d->speed = 0.36f;
    d->Animate();
    EXPECT_EQ(d->mode2, PED_RUN_ANI);
    EXPECT_FLOAT_EQ(d->cam->dirangaccel, Camera::AngleDirAccelSprinting);
    settle(0.34f);
    EXPECT_EQ(d->mode2, PED_RUN_ANI);
    d->speed = 0.339f;
    d->Animate();
    EXPECT_EQ(d->mode2, PED_WALK_ANI);
    EXPECT_FLOAT_EQ(d->cam->dirangaccel, Camera::AngleDirAccelMoving);
    d->SetAnim(PED_RUN_ANI);
    settle(0.80f);
    EXPECT_EQ(d->mode2, PED_RUN_ANI);
    d->speed = 0.81f;
    d->Animate();
    EXPECT_EQ(d->mode2, PED_SPRINT_ANI);
    settle(0.79f);
    EXPECT_EQ(d->mode2, PED_SPRINT_ANI);
    d->speed = 0.789f;
    d->Animate();
    EXPECT_EQ(d->mode2, PED_RUN_ANI);
    // Running at full tilt never sprints while running is barred.
    d->norunning = true;
    settle(1.0f);
    EXPECT_EQ(d->mode2, PED_RUN_ANI);
    // Standing still: back to the idle.
    settle(0.0f);
    EXPECT_GE(d->mode2, PED_IDLE_ANI);  // the idle or one of its fidgets
    EXPECT_LE(d->mode2, PED_IDLE_CHECKTIME_ANI);
}

TEST_F(PlayerTest, AFinishingMoveSlowsTheWorldAndReleasesItAfter)
{
    d->SwitchToMode(DACEMODE_FISTS, true);
    d->finishingstartcount = u32(world.time);
    int frames = 0;
    while (world.playbackSpeed > 0.7201f && frames < 100) {
        d->Animate();
        frames++;
    }
    EXPECT_NEAR(world.playbackSpeed, 0.72f, 1e-3f);
    EXPECT_GE(frames, 14);
    EXPECT_LE(frames, 16);
    d->Animate();
    EXPECT_NEAR(world.playbackSpeed, 0.72f, 1e-3f);   // held there
    d->finishingstartcount = Dace::Never;
    frames = 0;
    while (world.playbackSpeed < 1.2f && frames < 100) {
        d->Animate();
        frames++;
    }
    EXPECT_FLOAT_EQ(world.playbackSpeed, 1.2f);
    EXPECT_GE(frames, 14);
    EXPECT_LE(frames, 16);
}

TEST_F(PlayerTest, DamageFlashesByAmountAndTheKillingBlowReportsTheDeath)
{
    Sink* mission = new Sink;
    d->gameeventobj = mission;
    d->TakeDamage(0.5f, 0);
    EXPECT_FLOAT_EQ(d->strength, 99.5f);
    EXPECT_EQ(fade.mode, FADE_MODE_OFF);
    d->TakeDamage(5.0f, 0);
    EXPECT_EQ(fade.mode, FADE_MODE_FLASH);
    EXPECT_EQ(fade.u16DeltaTime, 30);
    EXPECT_EQ(fade.colFade.r, 48);
    fade.mode = FADE_MODE_OFF;
    d->TakeDamage(1.0f, 0);
    EXPECT_EQ(fade.u16DeltaTime, 18);
    fade.mode = FADE_MODE_OFF;
    d->TakeDamage(20.0f, 0);
    EXPECT_EQ(fade.u16DeltaTime, 60);
    fade.mode = FADE_MODE_OFF;
    gc->bSuperDace = true;
    d->TakeDamage(50.0f, 0);
    EXPECT_FLOAT_EQ(d->strength, 73.5f);
    gc->bSuperDace = false;
    world.playbackSpeed = 0.9f;
    d->TakeDamage(500.0f, 0);
    EXPECT_FLOAT_EQ(d->strength, 0.0f);
    EXPECT_EQ(fade.u16DeltaTime, 90);
    EXPECT_EQ(fade.colFade.r, 128);
    EXPECT_EQ(fade.colFade.a, 128);
    EXPECT_NE(d->flags & GUYF_DYING, 0u);
    EXPECT_EQ(mission->Count(Dace::SMSG_EV_KNOCKED_DOWN), 1);
    EXPECT_EQ(mission->Count(Dace::SMSG_EV_CHARACTER_DIED), 0);
    EXPECT_FLOAT_EQ(world.playbackSpeed, 1.2f);

    // At the wheel the death is the car's driver's.
    SpecialMessage refresh(Dace::SMSG_PLAYER_REFRESH, nullptr);
    d->SendMessage(OM_SPECIAL, &refresh);
    EXPECT_FLOAT_EQ(d->strength, 100.0f);
    EXPECT_EQ(d->flags & (GUYF_DYING | GUYF_DEAD), 0u);
    EXPECT_EQ(mission->Count(Dace::SMSG_EV_PLAYER_REFRESHED), 1);
    Vehicle* car = new Vehicle;
    world.AddObject(car, nullptr);
    SpecialMessage put(SMSG_PUT_IN_VEHICLE, car, 0);
    d->SendMessage(OM_SPECIAL, &put);
    EXPECT_EQ(d->parent, car);
    EXPECT_EQ(d->mode, DACEMODE_DRIVING);
    EXPECT_EQ(GetCurrentCam()->mode, CAMMODE_INCAR);
    d->TakeDamage(100.0f, 0);
    EXPECT_EQ(mission->Count(Dace::SMSG_EV_CHARACTER_DIED), 1);
    EXPECT_EQ(d->flags & 0x60000000u, 0x60000000u);

    EXPECT_FALSE(d->ChainAttack(DaceAnim::ATTACK_GRAPPLE, 0));
    d->curattack = &DaceAnim::attackbase;
    EXPECT_TRUE(d->ChainAttack(DaceAnim::ATTACK_PUNCH, 0) || DaceAnim::attackbase.nextpunchattack == nullptr);
    mission->Delete();
}

TEST_F(PlayerTest, TargetsAreFoundKeptAndDroppedByTheRules)
{
    d->SwitchToMode(DACEMODE_GUNS, true);
    d->mat = TransMatrix(0.0f, 0.0f, 0.0f);
    // With bystanders allowed, a nearer bystander listed first gives way to
    // an enemy later in the list; the untouchables never count.
    Character(-160, VectorPos(0.0f, 0.0f, 1.0f));
    Character(12, VectorPos(0.0f, 0.0f, 2.0f));
    Object* enemy = Character(-120, VectorPos(0.0f, 0.0f, 6.0f));
    d->lasttarget1checktime = Dace::Never;
    EXPECT_TRUE(d->AcquirePrimaryShootTarget(true, 0));
    EXPECT_EQ(d->target.p, enemy);
    // The search rests 3 to 5 frames, and a new target is kept 180.
    EXPECT_FALSE(d->AcquirePrimaryShootTarget(true, 0));
    world.time += 5;
    EXPECT_FALSE(d->AcquirePrimaryShootTarget(true, 0));
    Object* nearer = Character(-130, VectorPos(0.0f, 0.0f, 3.0f));
    world.time += 170;
    EXPECT_FALSE(d->AcquirePrimaryShootTarget(true, 0));
    EXPECT_EQ(d->target.p, enemy);
    world.time += 10;
    EXPECT_TRUE(d->AcquirePrimaryShootTarget(true, 0));
    EXPECT_EQ(d->target.p, nearer);
    // The best being the current one answers false.
    world.time += 200;
    EXPECT_FALSE(d->AcquirePrimaryShootTarget(true, 0));
    EXPECT_EQ(d->target.p, nearer);

    // A lone enemy in the ring: the first one when the second is farther;
    // none when a later one is nearer.
    EXPECT_EQ(d->GetLoneEnemyInRadius(16.0f), nearer);
    Character(-131, VectorPos(0.0f, 0.0f, 3.5f));
    EXPECT_EQ(d->GetLoneEnemyInRadius(16.0f), nearer);
    Character(-132, VectorPos(0.0f, 0.0f, 2.5f));
    EXPECT_EQ(d->GetLoneEnemyInRadius(16.0f), nullptr);

    // Range and sight: within 10 kept without a ray; beyond, blocked both
    // from his head and from the eye, dropped.
    alignas(16) static u8 chain[sizeof(CollBox) + 16];
    CollBox* box = reinterpret_cast<CollBox*>(chain);
    box->type = COLL_BOX;
    box->SetID(0x09, 0x09);
    box->box = Cuboid(VectorPos(-5, -5, -0.1f), VectorPos(5, 5, 0.1f));
    box->Next()->type = COLL_END;
    Object* wall = new Object;
    wall->collision = box->Head();
    wall->radius = 8.0f;
    wall->mat = TransMatrix(0.0f, -0.5f, 4.0f);
    world.AddObject(wall, nullptr);
    d->target = enemy;
    d->lasttargetsightchecktime = Dace::Never;
    EXPECT_TRUE(d->IsTargetValid(enemy, 10.0f));
    d->lasttargetsightchecktime = Dace::Never;
    EXPECT_FALSE(d->IsTargetValid(enemy, 5.0f));
    wall->mat = TransMatrix(0.0f, -0.5f, 40.0f);
    EXPECT_TRUE(d->IsTargetValid(enemy, 5.0f));
    // A confirmed sight holds for 60 frames even behind the wall.
    wall->mat = TransMatrix(0.0f, -0.5f, 4.0f);
    EXPECT_TRUE(d->IsTargetValid(enemy, 5.0f));
    world.time += 61;
    EXPECT_FALSE(d->IsTargetValid(enemy, 5.0f));
    d->CheckOnFootTarget();
    EXPECT_EQ(d->target.p, enemy);
    enemy->flags |= GUYF_DYING;
    d->CheckOnFootTarget();
    EXPECT_EQ(d->target.p, nullptr);
    world.objectlist.Remove(wall);
    wall->collision = nullptr;
    wall->Delete();
}

namespace {

// The player fixture with a picture: the machine reset and a scene.
class PlayerPicture : public PlayerTest
{
protected:
    modeldraw::Scene scene;

    void SetUp() override
    {
        dmatest::ResetMachine();
        console::ClearConsoleText();
        scene.SetUp();
        InitTransparencies(scene.rc);
        PlayerTest::SetUp();
    }
    void TearDown() override
    {
        PlayerTest::TearDown();
        scene.TearDown();
    }
};

}  // namespace

// On foot on a grey slab, 100 frames after he was made: his own camera has
// settled a unit behind him at its eye height, and he stands in his idle.
TEST_F(PlayerPicture, SeenFromHisOwnCameraHeMatchesTheGoldenPicture)
{
    tools::P2BFile f;
    f.models.push_back(tools::BoxModel(3.0f, 0.05f, 3.0f, TEXID_NONE, false, Colour(90, 90, 96, 128)));
    f.AddNode(-1, tools::MakeNode(0, VectorPos(0, 0.05f, 0)));
    modeldraw::LoadedFile file(f);
    ASSERT_TRUE(file.ok);
    Object* slab = file.mf.GetHierarchy(0, sizeof(Object), 0);
    ASSERT_NE(slab, nullptr);
    slab->mat = TransMatrix(2.0f, 0.05f, 5.0f);

    d->SwitchToMode(DACEMODE_ONFOOT, true);
    Frames(100);
    EXPECT_GE(d->mode2, PED_IDLE_ANI);  // the idle or one of its fidgets
    EXPECT_LE(d->mode2, PED_IDLE_CHECKTIME_ANI);
    Camera* c = d->cam;
    ASSERT_EQ(GetCurrentCam(), c);
    // Behind him and above his feet, looking at him.
    const VectorDir back(c->mat.GetTrans() - d->GetWorldPos());
    EXPECT_LT(Dot(back, VectorDir(d->mat.z.xyz())), 0.0f);
    EXPECT_LT(back[1], 0.0f);

    scene.rc.SetZRange(0.05f, 100.0f);
    scene.rc.SetPerspective(c->zoom);
    scene.rc.SetCameraMatrix(c->mat);
    scene.Frame([&] {
        ::Draw(scene.rc, slab, slab->GetWorldMatrix());
        ::Draw(scene.rc, d, d->GetWorldMatrix());
    });
    // The camera keeps to a walking eye height, so the generated figure,
    // taller than the city's people, fills the view from the waist down.
    EXPECT_GT(scene.Covered(), 10000);
    scene.ExpectGolden("player_from_his_camera");
    slab->Delete();
}

TEST_F(PlayerTest, BlastsTurnHimAwayAndAWarningShotDrawsHisGunsOnAnEnemy)
{
    d->SwitchToMode(DACEMODE_ONFOOT, true);
    // A blast from behind-left: he turns to face it and is thrown back.
    Send(SMSG_KNOCKBACK, nullptr, 0.3f, -0.1f, 0.4f);
    EXPECT_NEAR(d->mat.z[0], -0.6f, 1e-4f);
    EXPECT_NEAR(d->mat.z[2], -0.8f, 1e-4f);
    EXPECT_EQ(d->mode2, COMBAT_KNOCKDOWN_ANI);
    EXPECT_NEAR(d->airvelocity[1], -0.1f, 1e-6f);
    EXPECT_NEAR(d->airvelocity[2], 0.5f, 1e-6f);
    EXPECT_EQ(d->jumptime, u32(world.time));
    // With a source, a blast along his facing does not count.
    d->SetAnim(PED_IDLE_ANI);
    Object* source = Character(-140, VectorPos(0, 0, 0));
    Send(SMSG_KNOCKBACK, nullptr, -0.3f, 0.0f, -0.4f, source);
    EXPECT_EQ(d->mode2, PED_IDLE_ANI);
    // Without strength he falls dead, the camera drawing in.
    d->strength = 0.0f;
    Send(SMSG_KNOCKBACK, nullptr, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(d->mode2, GUNS_KILLED_ANI);
    EXPECT_FLOAT_EQ(d->cam->relpos[1], -0.46875f);
    EXPECT_EQ(d->shootmode, Dace::SHOOT_NONE);
    d->strength = 100.0f;

    // What his touch does: an attack's strength, a gun jump's shove.
    DaceAnim::AttackInfo blow = DaceAnim::attackbase;
    blow.strength = 12;
    d->curattack = &blow;
    EXPECT_EQ(Send(SMSG_Q_COLLISION, source), 12);
    d->curattack = &DaceAnim::attackbase;
    EXPECT_EQ(Send(SMSG_Q_COLLISION, source), 0);
    source->type = OBJT_DYNAMIC;
    EXPECT_EQ(Send(SMSG_Q_COLLISION, source), 1);

    // The warning shot: when its overlay ends the right gun fires, the
    // mission hears it and an enemy in range makes him draw both guns.
    Sink* mission = new Sink;
    d->gameeventobj = mission;
    d->SetAnim(PED_IDLE_ANI);
    d->mat = Matrix(true);
    d->SetPos(VectorPos(2.0f, 0.0f, 5.0f));
    Object* enemy = Character(-110, VectorPos(2.0f, 0.0f, 8.0f));
    ASSERT_NE(d->anims[PED_WARN_GUN_ASSUME_ANI], nullptr);
    d->rightgunarm.ArmGun();
    ASSERT_GT(d->rightgunarm.weapon.bulletsLeft, 0);
    d->armOverlay.PlayAnim(d->anims[PED_WARN_GUN_ASSUME_ANI], d->frame);
    d->overlayPlaying = PED_WARN_GUN_ASSUME_ANI;
    d->lasttarget1checktime = Dace::Never;
    for (int f = 0; f < 400 && d->overlayPlaying == PED_WARN_GUN_ASSUME_ANI; f++)
        Frames(1);
    EXPECT_EQ(mission->Count(Dace::SMSG_EV_PLAYER_SHOTS_B), 1);
    EXPECT_TRUE(d->rightgunarm.ModeIs(GunArm::SHOOTING));
    EXPECT_EQ(d->target.p, enemy);
    EXPECT_EQ(d->mode, DACEMODE_GUNS);
    EXPECT_EQ(d->overlayPlaying, -1);
    EXPECT_TRUE(d->armOverlay.InFadeout() || !d->armOverlay.m_playing);
    d->gameeventobj = nullptr;
    mission->Delete();
}
