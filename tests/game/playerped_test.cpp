// The player on foot: steering and jumps from the pad, drops, falls and
// landings on an interior floor, the animation loop's decisions, and the pad
// walking and jumping him through whole frames.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "tests/game/enemy_support.h"
#include "tests/game/player_support.h"
#include "tests/game/vehicle_support.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/Utilities.h"
#include "game/BadGuy.h"
#include "game/Camera.h"
#include "game/controller_support.h"
#include "game/GameAudio.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/QuadTree.h"

namespace {

constexpr float kFloor = -1.0f;
constexpr float kG = 0.000851562f;

using playerrig::PlayerKind;
// Records the special messages it is sent; replies `reply`.
struct Sink : Object
{
    std::vector<SpecialMessage> heard;
    int reply = 0;
    Sink() : Object(Sink_mh) {}
    static int Sink_mh(Object* o, OBJMESSAGE msg, void* data)
    {
        auto* s = static_cast<Sink*>(o);
        if (msg == OM_SPECIAL) {
            s->heard.push_back(*static_cast<SpecialMessage*>(data));
            return s->reply;
        }
        return 0;
    }
    int Count(int code) const
    {
        int n = 0;
        for (const SpecialMessage& m : heard)
            n += m.submsg == code;
        return n;
    }
};

class PlayerPedTest : public ::testing::Test
{
protected:
    playerrig::Rig rig;
    PlayerKind kind;
    FadeScreen fade;
    GameController* gc = nullptr;
    ObjectList* savedList = nullptr;
    FadeScreen* savedFade = nullptr;
    Dace* d = nullptr;
    Sink events;
    u32 voicetracks = 0;

    void SetUp() override
    {
        ASSERT_EQ(playerrig::PlayerFiles().error, "");
        world.Clear();
        world.playbackSpeed = 1.2f;
        world.time = 1000;
        world.timePrecise = AnimTime(1000 * 256);
        srand(28);
        gc = gametest::Controller();
        gc->iFlags = 0;
        // The controller's own list and fade are put back afterwards: it
        // deletes them itself when the run ends.
        savedList = gc->pobjectlist;
        savedFade = gc->pfs;
        gc->pobjectlist = nullptr;
        gc->pfs = &fade;
        gc->bSuperDace = false;
        gc->bInterior = true;
        gc->fInteriorHeight = kFloor;
        gc->stats.fightAbility = 0;
        fade.mode = FADE_MODE_OFF;
        controller[0].ZeroData();
        SetCurrentCam(nullptr);
        rig.Resident();
        // Voice lines are chosen but never streamed: no disc here.
        voicetracks = DaceVO.numtracks;
        DaceVO.numtracks = 0;
        // The voice silent and never stopped, as at a program's start.
        DaceVO.Restart();
        DaceVO.laststoptime = NEVER;
        Object* ph = new Object;
        ph->id = -77;
        ph->mat = TransMatrix(2.0f, kFloor, 5.0f);
        world.placeholderlist.AddTail(ph);
        char name[] = "Dace";
        gc->CreateCharacterAt(48, -1, -77, name, false);
        d = dace;
        ASSERT_NE(d, nullptr);
        d->SwitchToMode(DACEMODE_ONFOOT, true);
        d->gameeventobj = &events;
    }
    void TearDown() override
    {
        DaceVO.numtracks = voicetracks;
        if (dace != nullptr)
            dace->Delete();
        dace = nullptr;
        world.placeholderlist.RemoveAll();
        // The interiors' collision tree holds the test's objects.
        world.dynbsp.RemoveAll();
        world.Clear();
        SetCurrentCam(nullptr);
        fade.Disable();
        gc->pfs = savedFade;
        gc->pobjectlist = savedList;
        gc->bSuperDace = false;
        gc->bInterior = false;
        world.playbackSpeed = 1.2f;
        // His grunts and blows are one-shots the sound's own update would
        // free; it never runs here.
        soundtest::FreshSoundSystem();
    }
    float Y() const { return d->mat.GetTrans()[1]; }
    void PlaceAt(float y) { d->mat.SetTrans(VectorPos(2.0f, y, 5.0f)); }
    // A pad of one frame: held bits, the newly pressed ones, the left stick.
    Dace::PlayerController Pad(u32 held, u32 pressed, u8 sx = 128, u8 sy = 128)
    {
        Controller c;
        c.ZeroData();
        c.pad = held | (pressed << 16);
        c.rdata[6] = sx;
        c.rdata[7] = sy;
        return Dace::PlayerController(c, d->mat);
    }
    float Heading() const { return std::atan2(d->mat.z[0], d->mat.z[2]); }
};

}  // namespace

TEST_F(PlayerPedTest, DropsSnapShortStepsAndTurnLongOnesIntoFalls)
{
    // A step of exactly 0.0625 is taken at once.
    PlaceAt(kFloor - 0.0625f);
    d->PedestrianCheckForFall();
    EXPECT_FLOAT_EQ(Y(), kFloor);
    EXPECT_EQ(d->droptime, Dace::Never);

    // 0.1 down: the drop adds e·g each frame and meets the floor when the
    // sum passes 0.1 (e = 15), with no animation change.
    const u16 before = d->mode2;
    PlaceAt(kFloor - 0.1f);
    d->PedestrianCheckForFall();
    const u32 dropped = d->droptime;
    ASSERT_EQ(dropped, u32(world.time));
    for (int e = 0; e < 40 && d->droptime != Dace::Never; e++) {
        world.time++;
        d->PedestrianCheckForFall();
    }
    EXPECT_EQ(u32(world.time) - dropped, 15u);
    EXPECT_FLOAT_EQ(Y(), kFloor);
    EXPECT_EQ(d->mode2, before);

    // No drop starts in the middle of a blow.
    d->SetAnim(COMBAT_P_ANI);
    PlaceAt(kFloor - 1.0f);
    world.time++;
    d->PedestrianCheckForFall();
    EXPECT_FLOAT_EQ(Y(), kFloor - 1.0f);
    EXPECT_EQ(d->droptime, Dace::Never);

    // A whole storey: falling after 21 frames of dropping.
    d->SetAnim(PED_IDLE_ANI);
    d->PedestrianCheckForFall();
    const u32 start = d->droptime;
    ASSERT_NE(start, Dace::Never);
    for (int e = 1; e < 21; e++) {
        world.time++;
        d->PedestrianCheckForFall();
        ASSERT_NE(d->mode2, PED_JUMP_FALLING_STANDING_ANI) << e;
    }
    world.time++;
    d->PedestrianCheckForFall();
    EXPECT_EQ(d->mode2, PED_JUMP_FALLING_STANDING_ANI);
    EXPECT_EQ(d->jumptime, start);
    EXPECT_EQ(d->submode, Dace::PED_JUMPING_STANDING);
    EXPECT_EQ(d->droptime, Dace::Never);
}

// A landing is measured at the grab point (sub-object 31), the body's
// ground reference, not at his origin: with the grab point half a unit
// below his origin he lands while his origin is still 0.3 above the floor,
// and with it half a unit above he flies on though his origin is 0.3 under
// it.  The knock-down flight lands by the same point.
TEST_F(PlayerPedTest, LandingsAreMeasuredAtTheGrabPoint)
{
    Object* grab = d->FindSubObject(31);
    ASSERT_NE(grab, nullptr);
    struct Case
    {
        float grabBelow, originAboveFloor;
        bool lands;
    };
    for (bool knockdown : {false, true}) {
        for (const Case c : {Case{0.5f, 0.3f, true}, Case{-0.5f, -0.3f, false}}) {
            d->SetAnim(knockdown ? COMBAT_KNOCKDOWN_INAIR_ANI : PED_JUMP_FALLING_STANDING_ANI);
            d->submode = Dace::PED_JUMPING_STANDING;
            d->airvelocity = VectorDir(0.0f, 0.0f, 0.0f);
            d->mat = Matrix(true);
            PlaceAt(kFloor - c.originAboveFloor);   // y points down
            grab->mat = TransMatrix(0.0f, c.grabBelow, 0.0f);
            d->jumptime = u32(world.time) - 8;
            if (knockdown)
                d->CombatKnockdownCheckGroundContact();
            else
                d->PedestrianCheckGroundContact();
            EXPECT_EQ(d->jumptime == Dace::Never, c.lands) << knockdown << " " << c.grabBelow;
        }
    }
}

TEST_F(PlayerPedTest, LandingsArePickedByTheSpeedOfTheFall)
{
    // The fall's speed after e frames is 0.0116417 − e·g.
    auto land = [&](u32 e, u16 anim) {
        d->flags &= ~u32(GUYF_DEAD);
        d->SetAnim(anim);
        d->submode = Dace::PED_JUMPING_STANDING;
        PlaceAt(kFloor + 2.0f);  // well under the floor: landed when looked for
        d->jumptime = u32(world.time) - e;
        d->PedestrianCheckGroundContact();
        return d->mode2;
    };
    EXPECT_EQ(land(7, PED_JUMP_FALLING_STANDING_ANI), PED_JUMP_FALLING_STANDING_ANI);   // too early to land
    EXPECT_EQ(land(8, PED_JUMP_FALLING_STANDING_ANI), PED_JUMP_LAND_STANDING_ANI);
    const float v96 = 0.0116417f - 96 * kG;  // about −0.070
    ASSERT_GT(v96, -0.0745066f);
    EXPECT_EQ(land(96, PED_JUMP_FALLING_STANDING_ANI), PED_JUMP_LAND_FALLING_ANI);
    EXPECT_GT(d->strength, 0.0f);
    EXPECT_EQ(events.Count(Dace::SMSG_EV_CHARACTER_DIED), 0);
    EXPECT_EQ(land(96, PED_CHASE_TACKLE_INAIR_ANI), PED_CHASE_TACKLE_LAND_ANI);

    // About −0.081: fatal, unless the player cannot be hurt.
    gc->bSuperDace = true;
    EXPECT_EQ(land(109, PED_JUMP_FALLING_STANDING_ANI), PED_JUMP_LAND_FALLING_ANI);
    EXPECT_GT(d->strength, 0.0f);
    gc->bSuperDace = false;
    EXPECT_EQ(land(109, PED_JUMP_FALLING_STANDING_ANI), PED_JUMP_LAND_FALLING_HIGH_ANI);
    EXPECT_LE(d->strength, 0.0f);
    EXPECT_TRUE(d->flags & 0x40000000u);
    EXPECT_EQ(events.Count(Dace::SMSG_EV_CHARACTER_DIED), 1);
    EXPECT_EQ(d->jumptime, Dace::Never);
    EXPECT_EQ(d->jumpframe, Dace::UnsetFrame);
}

TEST_F(PlayerPedTest, TheStickTurnsHimAtTheModesRateAndTriangleJumpsByStickSpeed)
{
    d->SetAnim(PED_IDLE_ANI);
    // Stick hard right: the goal is a quarter turn away.
    const float h0 = Heading();
    d->speed = 1.0f;
    Dace::PlayerController right = Pad(0, 0, 255, 128);
    d->PedestrianMovement(right);
    const float onfoot = std::fabs(Heading() - h0);
    EXPECT_GT(onfoot, 0.1f);
    EXPECT_LE(onfoot, 0.10472f + 1e-5f);  // 5° × 1.2
    EXPECT_EQ(d->idle, 0u);

    d->SwitchToMode(DACEMODE_FISTS, false);
    d->SetAnim(COMBAT_IDLE_ANI);
    const float h1 = Heading();
    d->PedestrianMovement(right);
    const float fists = std::fabs(Heading() - h1);
    EXPECT_GT(fists, 0.5f);
    EXPECT_LE(fists, 0.628f + 1e-4f);  // 30° × 1.2
    d->SwitchToMode(DACEMODE_ONFOOT, false);

    struct Case { float speed; u16 takeoff; Dace::SubMode sub; };
    for (const Case& c : {Case{0.8f, PED_JUMP_TAKEOFF_SPRINTING_ANI, Dace::PED_JUMPING_SPRINTING},
                          Case{0.35f, PED_JUMP_TAKEOFF_RUNNING_ANI, Dace::PED_JUMPING_RUNNING},
                          Case{0.3499f, PED_JUMP_TAKEOFF_STANDING_ANI, Dace::PED_JUMPING_STANDING}}) {
        d->SetAnim(PED_IDLE_ANI);
        d->speed = c.speed;
        Dace::PlayerController jump = Pad(BUT_TRIANGLE, BUT_TRIANGLE);
        d->PedestrianMovement(jump);
        EXPECT_EQ(d->mode2, c.takeoff) << c.speed;
        EXPECT_EQ(d->submode, c.sub) << c.speed;
    }
    // Standing still the animation carries him nowhere: straight up.
    EXPECT_EQ(d->jumpspeed, 0.0f);

    // L1 with no car near: the shrug.
    d->SetAnim(PED_IDLE_ANI);
    Dace::PlayerController l1 = Pad(BUT_TRIGGER_L, BUT_TRIGGER_L);
    d->PedestrianMovement(l1);
    EXPECT_EQ(d->mode2, PED_IDLE_COMMANDEER_FAIL_ANI);
}

TEST_F(PlayerPedTest, TheLoopAnswersByTheAnimationThatEnded)
{
    // Loops of a body part, or of a grapple's victim, are not his.
    d->SetAnim(PED_JUMP_TAKEOFF_STANDING_ANI);
    Object* part = d->FindSubObject(31);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(d->Loop_PedestrianMode(part, 0, false), 0);
    EXPECT_EQ(d->mode2, PED_JUMP_TAKEOFF_STANDING_ANI);
    Guy::VictimData vd{};
    d->victimdata = &vd;
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), 0);
    EXPECT_EQ(d->mode2, PED_JUMP_TAKEOFF_STANDING_ANI);
    d->victimdata = nullptr;

    // A take-off goes on into the air and starts the jump's clock.
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, PED_JUMP_AIRBORNE_STANDING_ANI);
    EXPECT_EQ(d->jumptime, u32(world.time));

    // Knocked down: into the air, stamped, and the loop is not taken.
    d->SetAnim(COMBAT_KNOCKDOWN_ANI);
    world.time += 3;
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), 0);
    EXPECT_EQ(d->mode2, COMBAT_KNOCKDOWN_INAIR_ANI);
    EXPECT_EQ(d->jumptime, u32(world.time));

    // The fight run becomes a sprint only from its second loop, outdoors,
    // not facing anyone.
    d->SetAnim(COMBAT_RUN_FWD_ANI);
    d->numloops = 1;
    gc->bInterior = false;
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), 0);
    d->numloops = 2;
    gc->bInterior = true;
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), 0);
    gc->bInterior = false;
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, PED_SPRINT_ANI);
    gc->bInterior = true;

    // The fight stance outlasts a hit 200 frames ago; 301 quiet frames and
    // nobody near drop him back to walking.
    d->SwitchToMode(DACEMODE_FISTS, false);
    d->combatuntilidleloop = true;
    d->SetAnim(COMBAT_IDLE_ANI);
    d->hitbyattacktime = u32(world.time) - 200;
    d->attacktime = Dace::Never;
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), 0);
    EXPECT_EQ(d->mode2, COMBAT_IDLE_ANI);
    d->hitbyattacktime = u32(world.time) - 301;
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, PED_IDLE_ANI);
    EXPECT_FALSE(d->combatuntilidleloop);
    EXPECT_EQ(d->mode, DACEMODE_ONFOOT);

    // Guns quiet for 300 frames are put away, but never in a shoot-out.
    d->SetAnim(GUNS_IDLE_ANI);
    d->task = Task_Shootout;
    d->Loop_PedestrianMode(d, 0, false);
    EXPECT_NE(d->mode2, GUNS_IDLE_PUTAWAY_ANI);
    d->SetAnim(GUNS_IDLE_ANI);
    d->task = Task_None;
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, GUNS_IDLE_PUTAWAY_ANI);

    // A grapple the foe breaks: −1 and −2 give the two broken holds.
    for (int answer : {-1, -2}) {
        Sink foe;
        foe.reply = answer;
        d->target = &foe;
        d->SetAnim(COMBAT_GRAPPLE_ANTICIPATE_ANI);
        d->curattack = &DaceAnim::attackbase;
        while (d->curattack != nullptr && d->curattack->anim != COMBAT_GRAPPLE_ARMBREAK_START_ANI &&
               d->curattack->nextgrappleattack != nullptr)
            d->curattack = d->curattack->nextgrappleattack;
        EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
        EXPECT_EQ(d->mode2, answer == -1 ? COMBAT_GRAPPLE_BROKEN_1_ANI : COMBAT_GRAPPLE_BROKEN_2_ANI) << answer;
        d->target = nullptr;
    }
}

TEST_F(PlayerPedTest, ThePadWalksHimAcrossTheFloorAndAJumpComesDownOnIt)
{
    const VectorPos start = d->mat.GetTrans();
    auto tick = [&](u32 held, u32 pressed, u8 sy) {
        controller[0].ZeroData();
        controller[0].pad = held | (pressed << 16);
        controller[0].rdata[6] = 128;
        controller[0].rdata[7] = sy;
        world.time++;
        world.timePrecise = AnimTime(world.time * 256);
        d->SendMessage(OM_FRAME, &world);
    };
    // Stick fully up for two seconds.
    bool ran = false;
    for (int i = 0; i < 120; i++) {
        tick(0, 0, 0);
        ran |= d->mode2 == PED_RUN_ANI || d->mode2 == PED_SPRINT_ANI;
        ASSERT_FLOAT_EQ(Y(), kFloor) << i;
    }
    EXPECT_TRUE(ran);
    const VectorDir moved(d->mat.GetTrans() - start);
    EXPECT_GT(std::sqrt(moved[0] * moved[0] + moved[2] * moved[2]), 1.0f);

    // A running jump: up, then down on the floor in a landing.
    tick(BUT_TRIANGLE, BUT_TRIANGLE, 0);
    EXPECT_TRUE(d->mode2 == PED_JUMP_TAKEOFF_RUNNING_ANI || d->mode2 == PED_JUMP_TAKEOFF_SPRINTING_ANI) << d->mode2;
    float highest = Y();
    bool landed = false;
    for (int i = 0; i < 200 && !landed; i++) {
        tick(0, 0, 0);
        highest = std::min(highest, Y());
        landed = d->mode2 == PED_JUMP_LAND_RUNNING_ANI || d->mode2 == PED_JUMP_LAND_SPRINTING_ANI;
    }
    EXPECT_TRUE(landed);
    EXPECT_LT(highest, kFloor - 0.05f);
    EXPECT_NEAR(Y(), kFloor, 0.05f);
    for (int i = 0; i < 30; i++)
        tick(0, 0, 128);
    EXPECT_FLOAT_EQ(Y(), kFloor);
}

TEST_F(PlayerPedTest, HisCameraFollowsTheSticksAndSwingsToTheSideOfAFightOutdoorsOnly)
{
    for (int v = 88; v <= 168; v++)
        EXPECT_EQ(Dace::StickAxis(u8(v)), 0) << v;
    EXPECT_EQ(Dace::StickAxis(255), 87);
    EXPECT_EQ(Dace::StickAxis(0), -88);

    Camera* k = d->cam;
    ASSERT_NE(k, nullptr);
    auto camPad = [&](u8 rx, u8 ry, u8 lx = 128) {
        Controller c;
        c.ZeroData();
        c.rdata[4] = rx;
        c.rdata[5] = ry;
        c.rdata[6] = lx;
        c.rdata[7] = 128;
        return Dace::PlayerController(c, d->mat);
    };
    // Pulling the stick back and pushing it forward never takes the
    // distance out of 0.25..3.0.
    for (u8 ry : {u8(255), u8(0)}) {
        for (int i = 0; i < 400; i++) {
            Dace::PlayerController pc = camPad(128, ry);
            d->PedestrianMoveCamera(pc);
            ASSERT_GE(k->dist, 0.25f);
            ASSERT_LE(k->dist, 3.0f);
        }
    }
    // Idle, no stick: the yaw stays.
    k->iTrack = 0;
    d->SetAnim(PED_IDLE_ANI);
    const float yaw0 = k->angy;
    Dace::PlayerController still = camPad(128, 128);
    d->PedestrianMoveCamera(still);
    EXPECT_EQ(k->angy, yaw0);

    // A fight: the foe straight ahead.  Indoors the camera stays put;
    // outdoors it swings to the side; the right stick beats the swing.
    Sink foe;
    foe.type = OBJT_CHARACTER;
    foe.mat = TransMatrix(2.0f, kFloor, 6.0f);
    d->SwitchToMode(DACEMODE_FISTS, false);
    d->SetAnim(COMBAT_IDLE_ANI);
    d->target = &foe;
    k->iTrack = 0;
    const float before = k->angy;
    d->PedestrianMoveCamera(still);
    EXPECT_EQ(k->angy, before);
    gc->bInterior = false;
    d->PedestrianMoveCamera(still);
    EXPECT_NE(k->angy, before);
    const float swung = k->angy;
    Dace::PlayerController right = camPad(255, 128);
    d->PedestrianMoveCamera(right);
    // Full right stick (87) eases the yaw by 87/128 × 0.0625 to the left.
    EXPECT_NEAR(k->angy, swung - 87.0f * 0.0078125f * 0.0625f, 1e-5f);
    d->target = nullptr;
}

TEST_F(PlayerPedTest, PeopleInHisWayAreShovedOrPushedAndAFoesBlowsLandOnlyWhenHeCanBeHit)
{
    // A bystander half a unit to his left (his −x) and a touch of spheres.
    Guy* by = new Guy;
    by->type = OBJT_CHARACTER;
    by->id = 120;
    by->mat = TransMatrix(2.0f - 0.5f, kFloor, 5.0f);
    CollSphereEnd mine(0, Sphere(0.0f, -1.0f, 0.0f, 0.3f));
    CollSphereEnd his(0, Sphere(0.0f, -1.0f, 0.0f, 0.3f));
    auto contact = [&](Object* o) {
        CollisionRecord cr(d, o);
        cr.Set(mine.Chain(), his.Chain(), d, o);
        cr.SaveMatrix(d->GetWorldMatrix(), o->GetWorldMatrix());
        d->newpushoutvel = VectorDir(0.0f, 0.0f, 0.0f);
        return d->Collision_Pedestrian(&cr);
    };

    // Sprinting: shoved to the left, no push.
    d->SetAnim(PED_SPRINT_ANI);
    EXPECT_EQ(contact(by), 0);
    EXPECT_EQ(d->mode2, PED_CHASE_SHOVE_LEFT_ANI);

    // Walking into him on foot: pushed back out along the contact, away
    // from the bystander (+x), by the overlap of 0.1.
    d->SetAnim(PED_WALK_ANI);
    EXPECT_EQ(contact(by), 2);
    EXPECT_NEAR(d->newpushoutvel[0], 0.1f, 1e-5f);
    EXPECT_NEAR(d->newpushoutvel[1], 0.0f, 1e-6f);

    // A foe's fist: no blow while he recoils or cannot be hurt, one per
    // attack otherwise.
    Guy* foe = new Guy;
    foe->type = OBJT_CHARACTER;
    foe->id = -120;
    foe->mat = by->mat;
    Object fist;
    fist.flags = 0x1000;
    auto punch = [&]() {
        CollisionRecord cr(d, foe);
        cr.Set(mine.Chain(), his.Chain(), d, &fist);
        cr.SaveMatrix(d->GetWorldMatrix(), foe->GetWorldMatrix());
        return d->Collision_Pedestrian(&cr);
    };
    d->SetAnim(COMBAT_RECOIL_HIGH_ANI);
    EXPECT_NE(punch(), -1);
    d->SetAnim(PED_IDLE_ANI);
    gc->bSuperDace = true;
    EXPECT_NE(punch(), -1);
    gc->bSuperDace = false;
    d->attackedtime = u32(world.time);
    EXPECT_EQ(punch(), -1);
    world.time++;
    d->SetAnim(PED_IDLE_ANI);  // the blow's recoil would keep him from more
    EXPECT_NE(punch(), -1);    // the same attack, a frame later
    d->attackedtime = u32(world.time);
    world.time++;
    EXPECT_EQ(punch(), -1);  // a new attack
    delete foe;
    delete by;
}

TEST_F(PlayerPedTest, AnimationEventsBindBlowsShowGunsAndTellTheMission)
{
    Object* hand = d->FindSubObject(1);
    ASSERT_NE(hand, nullptr);
    // All four volumes busy: the attack is on, nothing more is bound.
    for (OffensiveCollision& oc : d->offcollobjs)
        oc.isbindactive = 1;
    d->offenseactive = false;
    EXPECT_EQ(d->AnimEvent_PedestrianMode(hand, 29, 0), 0);
    EXPECT_TRUE(d->offenseactive);
    for (OffensiveCollision& oc : d->offcollobjs)
        EXPECT_EQ(oc.boundobj, nullptr);
    for (OffensiveCollision& oc : d->offcollobjs)
        oc.isbindactive = 0;
    // A limb no volume carries: only the flag follows the volumes.
    d->AnimEvent_PedestrianMode(hand, 30, 0);
    EXPECT_FALSE(d->offenseactive);

    // Holstering without gun objects still sets the arms.
    Object* lgun = d->lgun;
    Object* rgun = d->rgun;
    d->lgun = d->rgun = nullptr;
    d->AnimEvent_PedestrianMode(d, 132, 0);
    d->AnimEvent_PedestrianMode(d, 133, 0);
    EXPECT_TRUE(d->leftgunarm.ModeIs(GunArm::CARRYING_TO_UNARMED));
    EXPECT_TRUE(d->rightgunarm.ModeIs(GunArm::CARRYING_TO_UNARMED));
    d->lgun = lgun;
    d->rgun = rgun;
    // Drawing the left gun hides the badge; the right one leaves it.
    ASSERT_NE(d->badge, nullptr);
    d->AnimEvent_PedestrianMode(d, 136, 0);
    d->AnimEvent_PedestrianMode(d, 131, 0);
    EXPECT_FALSE(d->badge->flags & 1u);
    EXPECT_TRUE(d->rightgunarm.ModeIs(GunArm::CARRYING));
    d->AnimEvent_PedestrianMode(d, 130, 0);
    EXPECT_TRUE(d->badge->flags & 1u);
    EXPECT_FALSE(d->lgun->flags & 1u);
    // No pickups waiting: nothing changes hands.
    d->AnimEvent_PedestrianMode(d, 144, 0);
    EXPECT_EQ(d->lgun, lgun);
    EXPECT_EQ(d->rgun, rgun);

    // The attack mark reaches the foe only when the mission declines it.
    Sink foe;
    d->target = &foe;
    d->SetAnim(COMBAT_P_ANI);
    events.heard.clear();
    events.reply = 1;
    d->AnimEvent_PedestrianMode(d, 183, 0);
    EXPECT_EQ(events.Count(23059), 1);
    EXPECT_EQ(foe.Count(23059), 0);
    events.reply = 0;
    d->AnimEvent_PedestrianMode(d, 183, 0);
    ASSERT_EQ(foe.Count(23059), 1);
    EXPECT_EQ(int(foe.heard.back().param[1]), int(COMBAT_P_ANI));
    d->gameeventobj = nullptr;
    d->AnimEvent_PedestrianMode(d, 183, 0);
    EXPECT_EQ(foe.Count(23059), 1);
    d->target = nullptr;
}

TEST_F(PlayerPedTest, FistsStartChainAndFinishByTheButtonsAndAbilities)
{
    Sink foe;
    foe.type = OBJT_CHARACTER;
    foe.id = -120;
    foe.mat = TransMatrix(2.0f, kFloor, 5.4f);  // 0.4 ahead
    d->SwitchToMode(DACEMODE_FISTS, false);
    d->SetAnim(COMBAT_IDLE_ANI);
    auto press = [&](u32 button) {
        Dace::PlayerController pc = Pad(button, button);
        d->CombatPerformAttacks(pc);
    };

    // Square: a punch, reported to the mission; presses during it chain.
    events.heard.clear();
    press(BUT_SQUARE);
    EXPECT_EQ(d->mode2, COMBAT_P_ANI);
    EXPECT_EQ(events.Count(23047), 1);
    EXPECT_EQ(events.Count(Dace::SMSG_EV_ATTACK_STARTED), 1);
    press(BUT_SQUARE);
    EXPECT_EQ(d->attackbuffer, DaceAnim::ATTACK_PUNCH);
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, 169);
    EXPECT_EQ(d->attackbuffer, DaceAnim::ATTACK_NONE);
    press(BUT_SQUARE);
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, COMBAT_P_ANI);

    // Back to the stance; a blocked blow locks the buttons for 36 frames.
    d->curattack = &DaceAnim::attackbase;
    d->SetAnim(COMBAT_IDLE_ANI);
    d->curattackblock = world.time - 36;
    press(BUT_SQUARE);
    EXPECT_EQ(d->mode2, COMBAT_IDLE_ANI);
    d->curattackblock = world.time - 37;
    press(BUT_SQUARE);
    EXPECT_EQ(d->mode2, COMBAT_P_ANI);

    // A grapple needs its ability, and is reported all the same.
    d->curattack = &DaceAnim::attackbase;
    d->SetAnim(COMBAT_IDLE_ANI);
    events.heard.clear();
    press(BUT_CIRCLE);
    EXPECT_EQ(d->curattack, &DaceAnim::attackbase);
    EXPECT_EQ(events.Count(23047), 1);

    // A foe 1.2 behind gets a back attack under its ability; 1.3 behind a
    // plain one.
    gc->stats.fightAbility = 0x002;
    for (float back : {1.2f, 1.3f}) {
        d->curattack = &DaceAnim::attackbase;
        d->SetAnim(COMBAT_IDLE_ANI);
        foe.mat = TransMatrix(2.0f, kFloor, 5.0f - back);
        d->target = &foe;
        d->StartCombatAttack(DaceAnim::ATTACK_PUNCH, false);
        if (back < 1.25f)
            EXPECT_TRUE(d->mode2 >= COMBAT_BACK_H_ANI && d->mode2 <= COMBAT_BACK_P_ANI) << d->mode2;
        else
            EXPECT_EQ(d->mode2, COMBAT_P_ANI);
    }

    // Finishing sequences: the longest unlocked one wins.
    struct Case { u32 abilities; DaceAnim::FinishingAttackType move; int len; };
    for (const Case& c : {Case{0x020 | 0x100, DaceAnim::FINISH_DOUBLEFIST, 4}, Case{0x020, DaceAnim::FINISH_SPINUPPERCUT, 3},
                          Case{0, DaceAnim::FINISH_PUNCH, 2}}) {
        gc->stats.fightAbility = c.abilities;
        const DaceAnim::AttackType keys[8] = {DaceAnim::ATTACK_PUNCH, DaceAnim::ATTACK_KICK, DaceAnim::ATTACK_HIGHATTACK,
                                              DaceAnim::ATTACK_PUNCH};
        for (int i = 0; i < 8; i++)
            d->finishingbuffer[i] = keys[i];
        d->StartCombatFinishingAttack();
        EXPECT_EQ(d->curattack, &DaceAnim::finishingattacks[c.move]) << c.abilities;
        EXPECT_EQ(d->finishingbuffermatchlen, c.len);
        EXPECT_EQ(d->finishingbuffermatchindex, 0);
    }

    // The window just opened: keys are not taken yet.
    d->curattack = &DaceAnim::attackbase;
    d->SetAnim(COMBAT_IDLE_ANI);
    d->target = &foe;
    for (DaceAnim::AttackType& k : d->finishingbuffer)
        k = DaceAnim::ATTACK_NONE;
    d->finishingstartcount = Platform::Count();
    press(BUT_SQUARE);
    EXPECT_EQ(d->finishingbuffer[0], DaceAnim::ATTACK_NONE);
    EXPECT_EQ(d->mode2, COMBAT_IDLE_ANI);
    d->finishingstartcount = Dace::Never;
    d->target = nullptr;

    // Stepping 40° right keeps the forward step if it plays, else steps right.
    d->speed = 1.0f;
    const VectorDir at40 = Normalise(VectorDir(std::sin(0.698132f), 0.0f, std::cos(0.698132f)));
    const Matrix m0 = d->mat;
    d->SetAnim(COMBAT_MOVE_FWD_ANI);
    d->WalkTo_Combat(at40, 0.0f);
    EXPECT_EQ(d->mode2, COMBAT_MOVE_FWD_ANI);
    d->mat = m0;
    d->SetAnim(COMBAT_IDLE_ANI);
    d->WalkTo_Combat(at40, 0.0f);
    EXPECT_EQ(d->mode2, COMBAT_MOVE_RIGHT_ANI);
}

TEST_F(PlayerPedTest, BlowsAreBlockedOrLandedAndThreeLandedBlowsDazeHim)
{
    Sink foe;
    foe.type = OBJT_CHARACTER;
    foe.id = -120;
    foe.mat = TransMatrix(2.0f, kFloor, 5.4f);  // in front of him
    CollSphereEnd mine(0, Sphere(0.0f, -1.0f, 0.0f, 0.3f));
    CollSphereEnd his(0, Sphere(0.0f, -1.0f, 0.0f, 0.3f));
    auto blow = [&]() {
        CollisionRecord cr(d, &foe);
        cr.Set(mine.Chain(), his.Chain(), d, &foe);
        cr.SaveMatrix(d->GetWorldMatrix(), foe.GetWorldMatrix());
        EXPECT_TRUE(cr.GetInfo());
        return d->Collision_Pedestrian_Blow(&cr);
    };
    d->SwitchToMode(DACEMODE_FISTS, false);
    d->SetAnim(COMBAT_IDLE_ANI);
    d->strength = 50.0f;

    // Stick back: blocked, both told, half a point lost.
    d->lastrelativecontrollerdir = VectorDir(0.0f, 0.0f, -1.0f);
    EXPECT_EQ(blow(), -1);
    EXPECT_GE(d->mode2, COMBAT_BLOCK_LOW_ANI);
    EXPECT_LE(d->mode2, COMBAT_BLOCK_HIGH_2_ANI);
    EXPECT_EQ(events.Count(Dace::SMSG_EV_ATTACK_BLOCKED), 1);
    EXPECT_EQ(foe.Count(Dace::SMSG_EV_ATTACK_BLOCKED), 1);
    EXPECT_FLOAT_EQ(d->strength, 49.5f);
    // Again within 5 frames: no new block animation, still reported.
    // (a blow with neither height bit would block high, never low)
    d->SetAnim(COMBAT_BLOCK_LOW_ANI);
    ASSERT_EQ(d->mode2, COMBAT_BLOCK_LOW_ANI);
    world.time += 3;
    blow();
    EXPECT_EQ(d->mode2, COMBAT_BLOCK_LOW_ANI);
    EXPECT_EQ(events.Count(Dace::SMSG_EV_ATTACK_BLOCKED), 2);
    // At 1.0 health a block costs nothing.
    d->strength = 1.0f;
    world.time += 10;
    blow();
    EXPECT_FLOAT_EQ(d->strength, 1.0f);

    // Three landed blows: dazed at the third; full again 121 frames later.
    d->strength = 50.0f;
    d->lastrelativecontrollerdir = VectorDir(0.0f, 0.0f, 1.0f);
    foe.reply = 2;  // the damage it names
    for (int i = 1; i <= 3; i++) {
        d->SetAnim(COMBAT_IDLE_ANI);
        world.time += 10;
        blow();
        EXPECT_EQ(events.Count(23005), i == 3 ? 1 : 0) << i;
        EXPECT_TRUE(d->mode2 == COMBAT_RECOIL_LOW_ANI || d->mode2 == COMBAT_RECOIL_HIGH_ANI) << d->mode2;
    }
    EXPECT_FLOAT_EQ(d->strength, 44.0f);
    EXPECT_EQ(d->curhitstodaze, 0);
    world.time += 120;
    d->UpdateDazeState();
    EXPECT_NE(d->dazedstarttime, Dace::Never);
    world.time += 1;
    d->UpdateDazeState();
    EXPECT_EQ(d->dazedstarttime, Dace::Never);
    EXPECT_EQ(d->curhitstodaze, d->totalhitstodaze);

    // A finishing blow knocks him down whatever his health.
    d->SetAnim(COMBAT_IDLE_ANI);
    foe.flags |= 0x02000000;
    blow();
    EXPECT_EQ(d->mode2, COMBAT_KNOCKDOWN_ANI);
    EXPECT_FLOAT_EQ(d->airvelocity[1], 0.000232833f);
    EXPECT_FLOAT_EQ(d->airvelocity[2], 0.006985f);

    // High and low recoils by the height of the hit (y points down).
    EXPECT_EQ(Dace::CalculateRecoilAni(VectorPos(0.0f, -0.5f, 0.1f)), COMBAT_RECOIL_HIGH_ANI);
    EXPECT_EQ(Dace::CalculateRecoilAni(VectorPos(0.0f, -0.4f, 0.1f)), COMBAT_RECOIL_LOW_ANI);
    EXPECT_EQ(Dace::CalculateBackRecoilAni(VectorPos(0.0f, -0.5f, -0.1f)), COMBAT_RECOIL_BACK_HIGH_ANI);
    // He holds a counted reference to the foe whose blow he took last, a
    // local of this test: it goes before the foe does.
    d->hitbyattackguy = nullptr;
}

namespace {

// A character whose answers are scripted by message code (0 for the rest)
// and who records what he hears.  Runner_mh is the same answer under the
// runners' handler.
struct Dummy : Guy
{
    std::map<int, int> answers;
    std::vector<SpecialMessage> heard;
    explicit Dummy(OBJMESSAGEHANDLER mh = Dummy_mh) : Guy(mh)
    {
        type = OBJT_CHARACTER;
        id = -120;
    }
    static int Dummy_mh(Object* o, OBJMESSAGE msg, void* data)
    {
        auto* s = static_cast<Dummy*>(o);
        if (msg != OM_SPECIAL)
            return 0;
        const auto* m = static_cast<SpecialMessage*>(data);
        s->heard.push_back(*m);
        const auto it = s->answers.find(m->submsg);
        return it != s->answers.end() ? it->second : 0;
    }
    static int Runner_mh(Object* o, OBJMESSAGE msg, void* data) { return Dummy_mh(o, msg, data); }
    int Count(int code) const
    {
        int n = 0;
        for (const SpecialMessage& m : heard)
            n += m.submsg == code;
        return n;
    }
    const SpecialMessage* Last(int code) const
    {
        for (auto it = heard.rbegin(); it != heard.rend(); ++it)
            if (it->submsg == code)
                return &*it;
        return nullptr;
    }
};

constexpr int kGrabbed = 31;
constexpr int kArrestVerdict = 23017;
constexpr float kPi = 3.14159265f;

}  // namespace

TEST_F(PlayerPedTest, AStandingArrestReachesUnderOneUnitAndEndsByTheArresteesVerdict)
{
    Dummy guy;   // no torso node: his root is measured
    guy.answers = {{kGrabbed, 1}, {kArrestVerdict, 1}};
    d->SetAnim(PED_IDLE_ANI);
    const Matrix before = d->mat;

    // 0.94 to his right: out of reach, and the idle player shrugs.
    guy.mat = TransMatrix(2.0f + 0.94f, kFloor, 5.0f);
    EXPECT_FALSE(d->TryStandingUpArrest(&guy, true));
    EXPECT_EQ(guy.Count(kGrabbed), 0);
    EXPECT_EQ(d->mode2, PED_ARREST_FAIL_ANI);

    // 0.93: the grab is offered with the start clip and accepted; he faces
    // the way he did.
    guy.mat = TransMatrix(2.0f + 0.93f, kFloor, 5.0f);
    EXPECT_TRUE(d->TryStandingUpArrest(&guy, false));
    ASSERT_EQ(guy.Count(kGrabbed), 1);
    const SpecialMessage& grab = *guy.Last(kGrabbed);
    EXPECT_EQ(grab.obj, d);
    EXPECT_EQ(int(grab.param[0]), int(PED_ARREST_START_ANI));
    EXPECT_EQ(int(grab.param[3]), 2);
    EXPECT_EQ(d->mode2, PED_ARREST_START_ANI);
    EXPECT_EQ(d->grappleframe, d->frame);
    EXPECT_NEAR(d->mat.z[2], before.z[2], 1e-6f);

    // Start → pad down (facing him, asked whether a woman) → arrested.
    d->arrestguy = &guy;
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, PED_ARREST_PAD_DOWN_ANI);
    EXPECT_NEAR(d->mat.z[0], 1.0f, 1e-4f);
    EXPECT_EQ(guy.Count(85), 1);
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, PED_ARREST_ANI);
    ASSERT_EQ(guy.Count(kArrestVerdict), 1);
    EXPECT_EQ(guy.Last(kArrestVerdict)->param[0].p, static_cast<void*>(&guy));
    EXPECT_EQ(d->arrestguy, &guy);
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->arrestguy, nullptr);

    // A verdict of 0 releases him: the release, and nobody held.
    guy.answers[kArrestVerdict] = 0;
    d->SetAnim(PED_ARREST_PAD_DOWN_ANI);
    d->arrestguy = &guy;
    EXPECT_EQ(d->Loop_PedestrianMode(d, 0, false), -1);
    EXPECT_EQ(d->mode2, PED_ARREST_RELEASE_ANI);
    EXPECT_EQ(d->arrestguy, nullptr);

    // One who will not be grabbed: no arrest, the facing kept.
    guy.answers[kGrabbed] = 0;
    d->mat = before;
    d->SetAnim(PED_IDLE_ANI);
    EXPECT_FALSE(d->TryStandingUpArrest(&guy, false));
    EXPECT_EQ(d->mode2, PED_IDLE_ANI);
    EXPECT_NEAR(d->mat.z[2], before.z[2], 1e-6f);
}

TEST_F(PlayerPedTest, ALyingArrestTakesTheNearerSideAndWithoutAGrabRecordIsWalkedOverAtOnce)
{
    Dummy lying;
    lying.answers = {{kGrabbed, 1}};
    lying.mat = TransMatrix(2.0f, kFloor, 5.5f);   // half a unit ahead, facing +z
    // A little to the left of him, his left arrest point is the nearer.
    d->mat.SetTrans(VectorPos(1.9f, kFloor, 5.0f));
    d->SetAnim(PED_IDLE_ANI);
    ASSERT_TRUE(d->TryLyingDownArrest(&lying));
    const SpecialMessage& grab = *lying.Last(kGrabbed);
    EXPECT_EQ(int(grab.param[0]), int(PED_ARREST_LYINGDOWN_WALK_OVER_R_ANI));   // the side he sees
    EXPECT_EQ(int(grab.param[1]), 12);
    EXPECT_EQ(d->mode2, PED_ARREST_LYINGDOWN_WALK_OVER_L_ANI);
    EXPECT_EQ(d->arrestguy, &lying);
    EXPECT_TRUE(d->flags & 0x100u);

    // No grab record of his own: the next frame puts the player on the
    // left arrest point, turned a quarter, into the arrest itself.
    Dace::PlayerController still = Pad(0, 0);
    d->Frame_PedestrianMode(still);
    EXPECT_EQ(d->mode2, PED_ARREST_LYINGDOWN_L_ANI);
    EXPECT_FALSE(d->flags & 0x100u);
    const VectorPos spot = lying.mat * Dace::NPCLeftArrestPt;
    EXPECT_NEAR(d->mat.GetTrans()[0], spot[0], 0.02f);
    EXPECT_NEAR(d->mat.GetTrans()[2], spot[2], 0.02f);
    EXPECT_NEAR(std::fabs(d->mat.z[0]), 1.0f, 0.02f);

    // From his right the right side; the character sees the left walk-over.
    d->mat = TransMatrix(2.1f, kFloor, 5.0f);
    d->SetAnim(PED_IDLE_ANI);
    d->arrestguy = nullptr;
    ASSERT_TRUE(d->TryLyingDownArrest(&lying));
    EXPECT_EQ(int(lying.Last(kGrabbed)->param[0]), int(PED_ARREST_LYINGDOWN_WALK_OVER_L_ANI));
    EXPECT_EQ(d->mode2, PED_ARREST_LYINGDOWN_WALK_OVER_R_ANI);

    // One giving himself up on his feet is no lying arrest; nor is one who
    // refuses the grab.
    d->SetAnim(PED_IDLE_ANI);
    d->arrestguy = nullptr;
    const size_t asked = lying.heard.size();
    lying.mode2 = 298;   // his giving-up animation
    EXPECT_FALSE(d->TryLyingDownArrest(&lying));
    EXPECT_EQ(lying.heard.size(), asked);
    lying.mode2 = 0;
    lying.answers[kGrabbed] = 0;
    EXPECT_FALSE(d->TryLyingDownArrest(&lying));
    EXPECT_EQ(d->arrestguy, nullptr);
    EXPECT_EQ(d->mode2, PED_IDLE_ANI);
}

TEST_F(PlayerPedTest, ASprintingPlayerTacklesOnlyARunnerWhoAcceptsWithinReach)
{
    RunnerEnemyHandler = &Dummy::Runner_mh;
    Dummy runner(&Dummy::Runner_mh);
    runner.answers = {{24, 1}};
    world.objectlist.AddTail(&runner);
    auto cross = [&]() {
        Dace::PlayerController pc = Pad(BUT_CROSS, BUT_CROSS);
        d->PedestrianMovement(pc);
    };

    // 3.2 ahead: asked, but out of reach; he sprints on.
    d->SetAnim(PED_SPRINT_ANI);
    runner.mat = TransMatrix(2.0f, kFloor, 8.2f);
    EXPECT_FALSE(d->TryTackle(&runner));
    EXPECT_EQ(runner.Count(24), 1);
    EXPECT_EQ(runner.Last(24)->obj, nullptr);
    EXPECT_EQ(d->mode2, PED_SPRINT_ANI);
    // 3.0 ahead, cross pressed: the dive.
    runner.mat = TransMatrix(2.0f, kFloor, 8.0f);
    cross();
    EXPECT_EQ(d->mode2, PED_CHASE_TACKLE_ANI);
    EXPECT_GE(d->jumpspeed, 0.0f);

    // Only from a sprint, only a runner, only one who accepts.
    d->SetAnim(PED_RUN_ANI);
    EXPECT_FALSE(d->TryTackle(&runner));
    d->SetAnim(PED_SPRINT_ANI);
    Dummy fighter;
    fighter.answers = {{24, 1}};
    fighter.mat = runner.mat;
    EXPECT_FALSE(d->TryTackle(&fighter));
    EXPECT_EQ(fighter.Count(24), 0);
    runner.answers[24] = 0;
    EXPECT_FALSE(d->TryTackle(&runner));
    EXPECT_EQ(d->mode2, PED_SPRINT_ANI);

    world.objectlist.Remove(&runner);
    RunnerEnemyHandler = &Enemy::RunnerEnemy_mh;
}

// A foe's limb strikes only while he is in the fight: knocked down,
// thrown against a wall or getting up from either, lying, lying dead or
// run over (his own clips 135..144, 286, 287, 289, 296, 297) his limbs
// touch the player without a blow.  Whether a blow of the player's own
// target is first offered to him (96, then 29006) goes by his handler, an
// enemy's, not by his number.
TEST_F(PlayerPedTest, ADownedFoeStrikesNoBlowAndOnlyAnEnemyByHandlerIsAskedToWaiveOne)
{
    RunnerEnemyHandler = &Dummy::Runner_mh;
    Dummy foe(&Dummy::Runner_mh);
    foe.mat = TransMatrix(2.0f, kFloor, 5.4f);   // in front of him
    CollSphereEnd mine(0, Sphere(0.0f, -1.0f, 0.0f, 0.3f));
    CollSphereEnd his(0, Sphere(0.0f, -1.0f, 0.0f, 0.3f));
    Object fist;
    fist.flags = 0x1000;
    auto punch = [&](Dummy& from) {
        d->SetAnim(PED_IDLE_ANI);
        world.time++;
        d->attackedtime = u32(world.time);   // a new attack each time
        CollisionRecord cr(d, &from);
        cr.Set(mine.Chain(), his.Chain(), d, &fist);
        cr.SaveMatrix(d->GetWorldMatrix(), from.GetWorldMatrix());
        return d->Collision_Pedestrian(&cr);
    };
    for (u16 down : {135, 139, 144, 286, 287, 289, 296, 297}) {
        foe.mode2 = down;
        EXPECT_NE(punch(foe), -1) << down;
    }
    for (u16 up : {0, 134, 145, 285, 288, 295, 298}) {
        foe.mode2 = up;
        EXPECT_EQ(punch(foe), -1) << up;
    }
    // One of the enemies' numbers with another handler deals blows all
    // the same (the clips are an enemy's only).
    Dummy other;
    other.mat = foe.mat;
    other.mode2 = 135;
    EXPECT_EQ(punch(other), -1);

    // His own target waiving the blow: an enemy is asked and the blow goes
    // for nothing; the other is not asked and the blow lands (he is asked
    // for its damage).
    foe.mode2 = 0;
    for (Dummy* t : {&foe, &other}) {
        t->answers[96] = 1;
        t->heard.clear();
        d->target = t;
        d->SetAnim(PED_IDLE_ANI);
        CollisionRecord cr(d, t);
        cr.Set(mine.Chain(), his.Chain(), d, t);
        cr.SaveMatrix(d->GetWorldMatrix(), t->GetWorldMatrix());
        EXPECT_EQ(d->Collision_Pedestrian_Blow(&cr), -1);
        EXPECT_EQ(d->hitbyattackguy.p, t);
        const bool enemy = t == &foe;
        EXPECT_EQ(t->Count(96), enemy ? 1 : 0);
        EXPECT_EQ(t->Count(29005), enemy ? 0 : 1);
        EXPECT_EQ(d->mode2 == PED_IDLE_ANI, enemy);
    }
    d->target = nullptr;
    d->hitbyattackguy = nullptr;
    RunnerEnemyHandler = &Enemy::RunnerEnemy_mh;
}

TEST_F(PlayerPedTest, AHoodIsVaultedOnlyRunningAtAStandingCarFromBesideAMarker)
{
    // A car whose hood markers stand half a unit to each side, 0.3 ahead of
    // its middle; its centre of gravity at its origin.
    tools::P2BFile f = tools::SampleVehicleFile(0);
    for (NODE& n : f.nodes) {
        if (n.model == 0x8339)
            n.pos = Vector(-0.5f, -0.1f, 0.3f, 0.0f);
        if (n.model == 0x833A)
            n.pos = Vector(0.5f, -0.1f, 0.3f, 0.0f);
    }
    vehtest::CarFile file(f);
    Vehicle* car = CreateVehicle(&file.mf, -1, -1, VectorPos(2.0f, kFloor, 8.0f), 0);
    ASSERT_NE(car, nullptr);
    car->vdCOGOffset = VectorDir(0.0f, 0.0f, 0.0f);
    const VectorPos a = car->mat * VectorPos(-0.5f, -0.1f, 0.3f), b = car->mat * VectorPos(0.5f, -0.1f, 0.3f);

    // Stands his torso `gap` short of marker A, facing across the car (+x).
    auto standBeforeA = [&](float gap) {
        d->mat = LookAlong(VectorDir(1.0f, 0.0f, 0.0f));
        d->mat.SetTrans(VectorPos(0.0f, kFloor, 0.0f));
        const VectorDir torso = d->torso != nullptr ? VectorDir(d->torso->GetWorldPos() - d->GetWorldPos())
                                                    : VectorDir(0.0f, 0.0f, 0.0f);
        d->mat.SetTrans(VectorPos(a[0] - gap - torso[0], kFloor, a[2] - torso[2]));
        d->SetAnim(PED_RUN_ANI);
    };

    standBeforeA(0.5f);   // half a unit out: he must already be past A
    EXPECT_FALSE(d->TryJumpingHood(car));
    standBeforeA(0.2f);   // close to A: whichever way the middle lies
    d->SetAnim(PED_WALK_ANI);
    EXPECT_FALSE(d->TryJumpingHood(car));
    d->SetAnim(PED_RUN_ANI);
    car->angvel = Vector(0.0f, 0.14f, 0.0f, 0.0f);   // spinning
    EXPECT_FALSE(d->TryJumpingHood(car));
    car->angvel = Vector(0.0f, 0.0f, 0.0f, 0.0f);
    const Matrix upright = car->mat;
    car->mat = RotZ(kPi) * upright;   // on its roof
    EXPECT_FALSE(d->TryJumpingHood(car));
    car->mat = upright;
    ASSERT_TRUE(d->TryJumpingHood(car));
    EXPECT_EQ(d->mode2, PED_SPRINT_JUMPCAR_L_ANI);
    EXPECT_EQ(d->submode, Dace::PED_JUMPING_OVERHOOD);

    // The take-off closes a quarter of the way to A each frame.
    d->car = car;
    Dace::PlayerController still = Pad(0, 0);
    const VectorPos p0 = d->mat.GetTrans();
    d->PedestrianMovement(still);
    EXPECT_NEAR(d->mat.GetTrans()[0], p0[0] + 0.25f * (a[0] - p0[0]), 1e-4f);

    // The slide crosses to B in steps of 0.046875 and lands him there, off
    // the car.
    d->SetAnim(PED_SPRINT_JUMPCAR_SLIDE_L_ANI);
    d->mat.SetTrans(a);
    int frames = 0;
    while (d->mode2 == PED_SPRINT_JUMPCAR_SLIDE_L_ANI && frames < 30) {
        d->PedestrianMovement(still);
        d->frame += 1.0f;
        frames++;
    }
    EXPECT_EQ(frames, 21);   // 1.0 / 0.046875 = 21.3: the 21st step is within 0.046875
    EXPECT_EQ(d->mode2, PED_SPRINT_JUMPCAR_LAND_L_ANI);
    EXPECT_NEAR(d->mat.GetTrans()[0], b[0], 1e-5f);
    EXPECT_EQ(d->car, nullptr);

    // A slide still short of B after 24 frames turns back as the other
    // side's slide-back, facing back across the car; that one lands on A
    // after its own 24 frames, and the right landing drifts 0.02 a frame.
    d->car = car;
    d->SetAnim(PED_SPRINT_JUMPCAR_SLIDE_L_ANI);
    d->mat.SetTrans(a);
    d->firstanimframe = d->frame - 24.0f;
    d->PedestrianMovement(still);
    EXPECT_EQ(d->mode2, PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI);
    EXPECT_NEAR(d->mat.z[0], -1.0f, 1e-4f);
    d->firstanimframe = d->frame - 24.0f;
    d->PedestrianMovement(still);
    EXPECT_EQ(d->mode2, PED_SPRINT_JUMPCAR_LAND_R_ANI);
    EXPECT_NEAR(d->mat.GetTrans()[0], a[0], 1e-5f);
    EXPECT_EQ(d->car, car);
    d->PedestrianMovement(still);
    EXPECT_NEAR(d->mat.GetTrans()[0], a[0] - 0.02f, 1e-5f);

    d->car = nullptr;
    car->Delete();
}

// A sample car as the disc carries it: running in from its left beside the
// hood, he vaults across the hood and lands on the ground clear of its right
// side, still beside the hood.
TEST_F(PlayerPedTest, AVaultOffASampleCarCrossesTheHoodAndLandsBesideItsFarSide)
{
    vehtest::CarFile file(0);
    Vehicle* car = CreateVehicle(&file.mf, -1, -1, VectorPos(2.0f, kFloor, 8.0f), 0);
    ASSERT_NE(car, nullptr);
    car->mat = RotY(0.7f) * car->mat;   // any heading
    const Matrix cw = car->GetWorldMatrix();
    const Matrix inv = cw.Inverse();
    // A world point in the model's own frame (the ground at y = 0).
    auto model = [&](VectorPos p) { return VectorXYZ(inv * p) + VectorXYZ(car->vdCOGOffset); };
    const float hw = file.mf.GetModel(0)->boxextent.v[0];
    const float hl = tools::SampleVehicleHalfLength(0);

    // His torso 0.3 out from the body's left side, two thirds of the way to
    // the front, facing across the car.
    d->mat = LookAlong(VectorDir(cw.x.xyz()));
    d->mat.SetTrans(VectorPos(0.0f, 0.0f, 0.0f));
    const VectorDir torso = d->torso != nullptr ? VectorDir(d->torso->GetWorldPos() - d->GetWorldPos())
                                                : VectorDir(0.0f, 0.0f, 0.0f);
    const VectorPos want = cw * VectorPos(VectorXYZ(-(hw + 0.3f), 0.0f, hl * 0.66f) - VectorXYZ(car->vdCOGOffset));
    d->mat.SetTrans(VectorPos(want[0] - torso[0], want[1], want[2] - torso[2]));
    d->SetAnim(PED_RUN_ANI);
    ASSERT_TRUE(d->TryJumpingHood(car));
    EXPECT_EQ(d->mode2, PED_SPRINT_JUMPCAR_L_ANI);

    d->car = car;
    Dace::PlayerController still = Pad(0, 0);
    for (int i = 0; i < 8; i++)   // the take-off
        d->PedestrianMovement(still);
    const VectorXYZ up = model(d->mat.GetTrans());
    EXPECT_LT(up[0], -hw);   // still on the near side
    d->SetAnim(PED_SPRINT_JUMPCAR_SLIDE_L_ANI);
    int frames = 0;
    while (d->mode2 == PED_SPRINT_JUMPCAR_SLIDE_L_ANI && frames < 30) {
        d->PedestrianMovement(still);
        d->frame += 1.0f;
        frames++;
    }
    // Landed before the slide runs out, not turned back.
    EXPECT_EQ(d->mode2, PED_SPRINT_JUMPCAR_LAND_L_ANI);
    EXPECT_LT(frames, 24);
    const VectorXYZ down = model(d->mat.GetTrans());
    EXPECT_GT(down[0], hw + 0.05f);              // clear of the far side
    EXPECT_GT(down[2], hl * 0.4f);               // ahead of the cabin
    EXPECT_LT(down[2], hl);                      // and behind the front
    EXPECT_NEAR(down[1], 0.0f, 1e-4f);           // on the ground
    EXPECT_NEAR(down[2], up[2], 0.1f);           // straight across

    d->car = nullptr;
    car->Delete();
}

TEST_F(PlayerPedTest, ScriptsPlayATokenAFrameAndGrappledHeBreaksFreeByHisHealthAgainstTheHold)
{
    // Three tokens due at once play on three frames; the mode switch tells
    // the game controller the walk is done.
    Sink source;
    gc->rcoSource = &source;
    gc->iNextMode = 0;
    const CinePlayerScript script[3] = {{3, 0, 0, 0}, {5, 0, 0, 0}, {2, 0, 1, 0}};
    d->SwitchToMode(DACEMODE_CINEWALK, true);
    d->pCineScript = const_cast<CinePlayerScript*>(script);
    d->iCineScriptTime = int(d->frame);
    d->flags &= ~0x100u;
    Dace::PlayerController still = Pad(0, 0);
    d->Frame_CineWalkMode(still);
    EXPECT_TRUE(d->flags & 0x100u);
    EXPECT_EQ(d->pCineScript, &script[1]);
    d->Frame_CineWalkMode(still);   // a path token without a path: consumed
    EXPECT_EQ(d->pCineScript, &script[2]);
    EXPECT_EQ(d->cineWalkFlags, Dace::CINEWALK_FREE);
    EXPECT_EQ(source.Count(SMSG_PLAYER_GAMEPLAY_MODE), 0);
    d->Frame_CineWalkMode(still);
    EXPECT_EQ(d->mode, DACEMODE_ONFOOT);
    EXPECT_EQ(d->task, Task_Tail);
    EXPECT_EQ(source.Count(SMSG_PLAYER_GAMEPLAY_MODE), 1);
    gc->rcoSource = nullptr;

    // A walk to a target already reached and faced ends on its first frame.
    Dummy mark;
    mark.mat = d->mat;
    mark.mat.SetTrans(d->mat.GetTrans() - VectorDir(d->mat.z.xyz()) * 0.2f);
    d->target = &mark;
    d->SetAnim(PED_WALK_ANI);
    d->cineWalkFlags = Dace::CINEWALK_TOTARGET;
    d->iCineScriptData = 10;
    d->pCineScript = nullptr;
    d->Frame_CineWalkMode(still);
    EXPECT_EQ(d->cineWalkFlags, Dace::CINEWALK_FREE);
    EXPECT_EQ(d->mode2, PED_IDLE_ANI);
    d->target = nullptr;

    // Held by a grappler: a press breaks free with chance
    // 1 - ((1 - health/100) + hold/100) / 2.
    Dummy grappler;
    grappler.mat = TransMatrix(2.0f, kFloor, 5.5f);
    auto hold = [&](float health, int answer) {
        d->SetAnim(COMBAT_GRAPPLED_ANI);
        d->victimdata = const_cast<Guy::VictimData*>(&Dace::victimizations[0]);
        d->target = &grappler;
        d->strength = health;
        d->grappledframe = d->frame - 5.0f;
        d->grapplemorphlen = 2;
        d->grapplewaitlen = 1000;
        d->grappledstartpos = d->mat.GetTrans();
        grappler.answers[100] = answer;
    };
    auto press = [&]() {
        Dace::PlayerController pc = Pad(BUT_SQUARE, BUT_SQUARE);
        d->VictimUpdate(pc);
        return d->victimdata == nullptr;
    };
    hold(100.0f, 0);
    EXPECT_TRUE(press());   // certain
    EXPECT_EQ(d->mode2, COMBAT_RECOIL_HIGH_ANI);
    EXPECT_EQ(grappler.Count(32), 1);
    EXPECT_EQ(grappler.Last(100)->obj, nullptr);
    // Against a hold of 100 at no health he never breaks free; the failed
    // presses' grunts alternate and climb a semitone every second press
    // from the third.
    hold(0.0f, 100);
    d->npcgrapplebreakattempts = 0;
    const int pitches[8] = {256, 256, 279, 279, 304, 304, 332, 332};   // 8.8: 1, 1.09096, 1.18921, 1.29738
    for (int i = 0; i < 8; i++) {
        const int used = sound.numvchannelsallocated;
        EXPECT_FALSE(press());
        ASSERT_EQ(sound.numvchannelsallocated, used + 1) << i;
        const int slot = sound.vchannelsallocated[used];
        const vchannel& ch = sound.vchannels[slot];
        EXPECT_EQ(int(ch.pitch), pitches[i]) << i;
        EXPECT_EQ(int(ch.bankindex), i % 2 == 0 ? 4 : 5) << i;
        sound.FreeChannel(slot | (int(ch.curcount) << 12));
    }
    EXPECT_EQ(d->npcgrapplebreakattempts, 8);
    int freed = 0;
    for (int i = 0; i < 400; i++) {
        hold(100.0f, 100);
        freed += press();
    }
    EXPECT_GT(freed, 160);   // one in two
    EXPECT_LT(freed, 240);

    // Before the hold has a start he waits where he was taken.
    hold(100.0f, 0);
    d->grappledframe = Dace::UnsetFrame;
    const VectorPos taken = d->grappledstartpos;
    d->mat.SetTrans(taken + VectorDir(0.3f, 0.0f, 0.0f));
    d->VictimUpdate(still);
    EXPECT_NEAR(d->mat.GetTrans()[0], taken[0], 1e-6f);
    d->victimdata = nullptr;
    d->target = nullptr;

    // Leaving fists while the finishing window is open breaks the finisher.
    Dummy foe;
    d->SwitchToMode(DACEMODE_FISTS, false);
    d->target = &foe;
    d->finishingstartcount = 5;
    d->SwitchToMode(DACEMODE_ONFOOT, false);
    EXPECT_EQ(foe.Count(98), 1);
    EXPECT_EQ(d->finishingstartcount, Dace::Never);
    d->target = nullptr;
}

TEST_F(PlayerPedTest, TheFrameLooksAtPassersByEveryTwelveToSeventeenFramesAndAsksAnArresteeForHisVerdict)
{
    // A shabby passer-by 3 ahead and another 3.2 ahead: only the near one
    // is a sighting.
    Dummy near, far;
    near.answers = {{87, 1}};
    far.answers = {{87, 1}, {86, 1}};
    near.mat = TransMatrix(2.0f, kFloor, 8.0f);
    far.mat = TransMatrix(2.0f, kFloor, 8.2f);
    world.pedlist.AddTail(&near);
    world.pedlist.AddTail(&far);
    d->SetAnim(PED_IDLE_ANI);
    d->task = Task_None;
    d->nextsightingtime = 0;
    d->lastshabbysighting = d->lasthottiesighting = 0;
    Dace::PlayerController still = Pad(0, 0);
    d->Frame_PedestrianMode(still);
    const int now = world.time;
    EXPECT_EQ(d->lastshabbysighting, now);
    EXPECT_EQ(d->lasthottiesighting, 0);   // the attractive one is too far
    EXPECT_GE(d->nextsightingtime, now + 12);
    EXPECT_LE(d->nextsightingtime, now + 17);
    // No new look until then.
    const size_t asked = near.heard.size();
    world.time = d->nextsightingtime;
    d->Frame_PedestrianMode(still);
    EXPECT_EQ(near.heard.size(), asked);
    world.time++;
    d->Frame_PedestrianMode(still);
    EXPECT_GT(near.heard.size(), asked);
    world.pedlist.Remove(&near);
    world.pedlist.Remove(&far);

    // Hands on an arrestee with the voice free: the verdict is asked of him.
    Dummy held;
    held.mat = TransMatrix(2.0f, kFloor, 5.6f);
    d->SetAnim(PED_ARREST_PAD_DOWN_ANI);
    d->arrestguy = &held;
    d->Frame_PedestrianMode(still);
    ASSERT_EQ(held.Count(kArrestVerdict), 1);
    EXPECT_EQ(held.Last(kArrestVerdict)->obj, d);
    EXPECT_EQ(held.Last(kArrestVerdict)->param[0].p, static_cast<void*>(&held));
    EXPECT_EQ(held.Count(85), 1);
    d->arrestguy = nullptr;
}

// Put back on his feet, the player tells his own event object (a street
// crime that has taken his events over, not the mode's controller behind
// it), and the suspects about him are gone.
TEST_F(PlayerPedTest, BackOnHisFeetHeTellsHisOwnEventObject)
{
    Sink mission;
    gc->pMission = &mission;
    Object* suspect = new Object;
    suspect->type = OBJT_CHARACTER;
    suspect->id = -101;
    world.AddObject(suspect, nullptr);
    RCptr<Object> hold = suspect;
    ResurrectDace();
    ASSERT_EQ(events.Count(SMSG_EV_PLAYER_RESURRECTED), 1);
    for (const SpecialMessage& m : events.heard)
        if (m.submsg == SMSG_EV_PLAYER_RESURRECTED)
            EXPECT_EQ(m.obj, d);
    EXPECT_EQ(mission.Count(SMSG_EV_PLAYER_RESURRECTED), 0);
    EXPECT_TRUE(suspect->IsDead());
    hold = nullptr;
    gc->pMission = nullptr;
}

// Square pressed with a fist fighter of the disc's kind standing in front of
// him: the punch plays from the player's own clip, its fist is bound as an
// attack volume, and the interior's collision pass brings it to the foe,
// who takes the player's damage once for the one punch.  The same punch on a
// foe in his guard is blocked: told, but no damage.
TEST_F(PlayerPedTest, HisPunchLandsOnceOnAFoeInFrontUnlessTheFoeGuards)
{
    enemyrig::Kit kit(enemyrig::kEnemySlot);
    for (bool guard : {false, true}) {
        SCOPED_TRACE(guard ? "guarding" : "open");
        char name[] = "FighterEnemy";
        Object* o = gc->CreateCharacterAt(enemyrig::kEnemySlot, 9, -77, name, false);
        ASSERT_NE(o, nullptr);
        Enemy* foe = static_cast<Enemy*>(o);
        foe->vobank = 255;
        enemyrig::EventLog told;
        foe->gameeventobj = &told;
        // Facing him, on the ring the foes attack from.
        const VectorPos at = d->mat.GetTrans();
        foe->mat = RotY(3.1415927f) * TransMatrix(at[0], at[1], at[2] + Enemy::AttackRingOuter);
        d->SwitchToMode(DACEMODE_FISTS, false);
        d->SetAnim(COMBAT_IDLE_ANI);
        d->curattack = &DaceAnim::attackbase;
        const float was = foe->strength;
        int landed = 0;
        for (int i = 0; i < 40; i++) {
            controller[0].ZeroData();
            controller[0].rdata[6] = controller[0].rdata[7] = 128;
            if (i == 1)
                controller[0].pad = BUT_SQUARE | (BUT_SQUARE << 16);
            world.time++;
            world.timePrecise = AnimTime(world.time * 256);
            world.Update();
            // What the foe makes of the blow when it arrives.
            foe->mode = 21;
            foe->combatmode = guard ? Enemy::CM_DEFEND : Enemy::CM_NEUTRAL;
            foe->mat = RotY(3.1415927f) * TransMatrix(at[0], at[1], at[2] + Enemy::AttackRingOuter);
            world.InteriorCollision();
            landed = told.Count(Dace::SMSG_EV_ATTACK_HIT);
        }
        EXPECT_EQ(d->mode2 == COMBAT_P_ANI || d->mode2 == COMBAT_IDLE_ANI, true) << d->mode2;
        if (guard) {
            EXPECT_EQ(landed, 0);
            EXPECT_EQ(told.Count(Dace::SMSG_EV_ATTACK_BLOCKED), 1);
            EXPECT_FLOAT_EQ(foe->strength, was);
        } else {
            EXPECT_EQ(landed, 1);
            EXPECT_EQ(told.Count(Dace::SMSG_EV_ATTACK_BLOCKED), 0);
            EXPECT_LT(foe->strength, was);
        }
        foe->gameeventobj = nullptr;
        foe->Delete();
        world.Update();
    }
}
