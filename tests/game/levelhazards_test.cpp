// The placed hazards and effects: steam vents and bursts, the tunnel grate
// and the prop mover read from set-up files, and the car lift, run through
// the world's ticks.
#include "game/explode_support.h"
#include "game/particle_support.h"

#include <cmath>
#include <vector>

#include "tools/lib/setupfile.h"

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "game/controller_support.h"
#include "game/GameEvents.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/SplineMover.h"
#include "game/Steam.h"
#include "game/TunnelGrate.h"
#include "game/Weapons.h"
#include "game/smoke.h"

using explodetest::BareModel;
using explodetest::Listener;
using explodetest::SlotFile;

namespace {

constexpr int kSetupSlot = 195;

std::vector<u8> Written(const tools::SetupFile& s)
{
    std::vector<u8> out;
    std::string error;
    EXPECT_TRUE(tools::WriteSetup(s, out, error)) << error;
    return out;
}

Object* Load(int node, Matrix P = Matrix(true))
{
    return g_pgcTest->LoadEntity(g_GlobalMFI.GetMF(kSetupSlot, false), node, P, false);
}

template <class T>
int Count(T* manager)
{
    return manager != nullptr ? manager->list.Count() : 0;
}

// A box of full size ext about centre.
ExtentSpawn Box(VectorPos centre, VectorXYZ ext)
{
    ExtentSpawn e;
    e.mat = TransMatrix(centre);
    e.ext = Vector(ext, 0.0f);
    return e;
}

// A straight path along x from 0 to 30 per segment.
std::vector<VectorPos> Straight(int segments)
{
    std::vector<VectorPos> p;
    for (int i = 0; i <= 3 * segments; i++)
        p.push_back(VectorPos(10.0f * i, 0.0f, 0.0f));
    return p;
}

Listener* NewListener(OBJTYPE type, s16 id)
{
    Listener* l = new (Object::operator new(sizeof(Listener))) Listener;
    l->messagehandler = Listener::mh;
    l->type = type;
    l->id = id;
    l->mat = Matrix(true);
    return l;
}

std::vector<int> Codes(const Listener* l)
{
    std::vector<int> c;
    for (const SpecialMessage& m : l->got)
        c.push_back(m.submsg);
    return c;
}

class Hazards : public parttest::ParticleWorld
{
protected:
    void SetUp() override
    {
        ParticleWorld::SetUp();
        gametest::Controller();
        world.timePrecise = AnimTime(1000u << 8);
        world.time = 1000;
    }
    void TearDown() override
    {
        // A hazard's flash leaves the controller's fade running.
        if (g_pgcTest->pfs != nullptr)
            g_pgcTest->pfs->Disable();
        world.Clear();
        dace = nullptr;
        ParticleWorld::TearDown();
    }
};

}  // namespace

TEST_F(Hazards, VentsPuffAtTheirRateKeepingTheRestAndBurstsWaitAFrameBetweenPuffs)
{
    tools::SetupFile s;
    const int vent = s.AddPlaceholder(-1, 0), dead = s.AddPlaceholder(-1, 0), burst = s.AddPlaceholder(-1, 0);
    auto vp = tools::ZeroRecord<SteamGenerator_params>();
    vp.rect = Box(VectorPos(5.0f, -1.0f, 5.0f), VectorXYZ(2.0f, 0.5f, 2.0f));
    vp.puffsPerSec = 30.0f;
    vp.size = 0.5f;
    s.AddRecord(vent, ENT_STEAMGENERATOR, vp);
    auto none = vp;
    none.puffsPerSec = 0.0f;
    s.AddRecord(dead, ENT_STEAMGENERATOR, none);
    auto bp = tools::ZeroRecord<SteamBurst_params>();
    bp.rect = Box(VectorPos(0.0f, 0.0f, 0.0f), VectorXYZ(0.0f, 0.0f, 0.0f));
    bp.puffsPerSec = 120.0f;
    bp.timer = 5.0f / 60.0f;
    bp.speed = 192.0f;
    bp.id = 7;
    s.AddRecord(burst, ENT_STEAMBURST, bp);
    SlotFile f(kSetupSlot, Written(s));

    auto* g = static_cast<SteamGenerator*>(Load(vent));
    auto* z = static_cast<SteamGenerator*>(Load(dead));
    auto* b = static_cast<SteamBurst*>(Load(burst));
    ASSERT_NE(g, nullptr);
    ASSERT_NE(z, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_FLOAT_EQ(g->rate, 2.0f);   // 60 / 30 frames a puff
    EXPECT_EQ(z->rate, 0.0f);
    EXPECT_EQ(b->id, 7);

    // Two puffs in four frames, all from the vent's box; none from the vent
    // of no puffs, none from the idle burst.
    Ticks(4);
    ASSERT_EQ(Count(FogPuff::manager), 2);
    for (Particle* p = FogPuff::manager->list.Head(); !p->IsEOList(); p = p->Next()) {
        EXPECT_NEAR(p->pos[0], 5.0f, 1.05f);
        EXPECT_NEAR(p->pos[1], -1.0f, 0.3f);
        EXPECT_NEAR(p->pos[2], 5.0f, 1.05f);
    }
    EXPECT_EQ(Count(SteamPuff::manager), 0);

    // 4.5 frames gathered at once: two puffs, half a frame kept.
    world.playbackSpeed = 4.5f;
    Ticks(1);
    world.playbackSpeed = 1.0f;
    EXPECT_EQ(Count(FogPuff::manager), 4);
    EXPECT_FLOAT_EQ(g->timer, 0.5f);

    // The burst: 120 a second is less than a frame, yet a puff waits for its
    // timer a frame after the frame that set it; 5 frames of burst give puffs
    // on the second, fourth and sixth, the last set in the burst's last frame.
    SpecialMessage go(SteamBurst::SMSG_PATH_POINT_REACHED, nullptr);
    b->SendMessage(OM_SPECIAL, &go);
    std::vector<int> at;
    for (int tick = 1; tick <= 10; tick++) {
        const int before = Count(SteamPuff::manager);
        Ticks(1);
        if (Count(SteamPuff::manager) > before)
            at.push_back(tick);
    }
    EXPECT_EQ(at, (std::vector<int>{2, 4, 6}));
    EXPECT_EQ(b->rate, 1);
    EXPECT_LE(b->timer, 0.0f);
}

TEST_F(Hazards, TheGrateStartsNearestItsPathHurtsThePlayerOncePerClearSpellAndBlowsUpAtTheEnd)
{
    tools::SetupFile s;
    const int node = s.AddPlaceholder(-1, 0, VectorPos(12.0f, 0.0f, 3.0f));
    auto gp = tools::ZeroRecord<TunnelGrate_params>();
    gp.id = 40;
    gp.speed = 100.0f;
    const int r = s.AddRecord(node, ENT_TUNNELGRATE, gp);
    s.SetSpline(r, offsetof(TunnelGrate_params, move_path), s.AddSpline(Straight(1)));
    SlotFile f(kSetupSlot, Written(s));
    FadeScreen fade;
    gametest::Lend<FadeScreen> lent(g_pgcTest->pfs, &fade);

    auto* grate = static_cast<TunnelGrate*>(Load(node));
    ASSERT_NE(grate, nullptr);
    EXPECT_EQ(grate->id, 40);
    // From the path's point nearest (12, 0, 3), at 100 × 0.0023283 a frame.
    Ticks(1);
    EXPECT_NEAR(grate->mat.w[0], 12.0f + 0.23283f, 1e-4f);
    EXPECT_NEAR(grate->mat.w[2], 0.0f, 1e-5f);
    EXPECT_NEAR(grate->mat.z[0], 1.0f, 1e-5f);
    world.playbackSpeed = 0.0f;
    Ticks(3);
    world.playbackSpeed = 1.0f;
    EXPECT_NEAR(grate->mat.w[0], 12.0f + 0.23283f, 1e-4f);

    Listener* player = NewListener(OBJT_CHARACTER, -1);
    Listener* other = NewListener(OBJT_CHARACTER, 5);
    CollSphereEnd ball(MakeCollisionID(1, 1), Sphere(VectorPos(0, 0, 0), 0.5f));
    auto touch = [&](Listener* who) {
        who->mat = grate->mat;
        CollisionRecord cr(grate, who);
        cr.Set(ball.Chain(), ball.Chain(), grate, who);
        cr.SaveMatrix(grate->GetWorldMatrix(), who->GetWorldMatrix());
        grate->SendMessage(OM_COLLISION, &cr);
    };
    touch(other);
    EXPECT_TRUE(other->got.empty()) << "only the player is hurt";
    player->flags |= 0x40000000;
    touch(player);
    EXPECT_TRUE(player->got.empty()) << "nor a beaten player";
    player->flags = 0;
    touch(player);
    ASSERT_EQ(Codes(player), (std::vector<int>{SMSG_KNOCKBACK, SMSG_DAMAGE}));
    EXPECT_FLOAT_EQ(float(player->got[0].param[0]), 0.0232833f);
    EXPECT_FLOAT_EQ(float(player->got[0].param[1]), 0.2f * 0.0232833f);
    EXPECT_FLOAT_EQ(float(player->got[0].param[2]), 0.0f);
    EXPECT_EQ(player->got[0].obj, grate);
    EXPECT_FLOAT_EQ(float(player->got[1].param[0]), 10.0f);
    EXPECT_EQ(fade.mode, FADE_MODE_FLASH);
    EXPECT_EQ(fade.colFade.r, 128);

    // Held against it: nothing until 45 frames have passed clear of it.
    player->got.clear();
    for (int i = 0; i < 30; i++) {
        Ticks(1);
        touch(player);
    }
    Ticks(45);
    touch(player);
    EXPECT_TRUE(player->got.empty());
    Ticks(46);
    touch(player);
    EXPECT_EQ(Codes(player), (std::vector<int>{SMSG_KNOCKBACK, SMSG_DAMAGE}));

    // At the path's end it stops and blows up.
    int n = 0;
    while ((grate->flags & OBJF_FRAMECALL) && n++ < 200)
        Ticks(1);
    EXPECT_GE(grate->fLastT, 1.0f);
    EXPECT_NEAR(grate->mat.w[0], 30.0f, 0.25f);
    const float x = grate->mat.w[0];
    Ticks(5);
    EXPECT_EQ(grate->mat.w[0], x);
    fade.Disable();
    player->Delete();
    other->Delete();
}

TEST_F(Hazards, TheLiftDropsUnderACharacterRestsThenClimbsBackIgnoringCharactersMeanwhile)
{
    auto* lift = reinterpret_cast<CarLift*>(intptr_t(CarLift_mh(nullptr, OM_CREATE, nullptr)));
    ASSERT_NE(lift, nullptr);
    lift->mat = TransMatrix(0.0f, -2.0f, 0.0f);
    world.AddObject(lift, nullptr);
    EXPECT_EQ(lift->carliftsfxchan, -1);
    Listener* walker = NewListener(OBJT_CHARACTER, 9);
    CollSphereEnd ball(MakeCollisionID(1, 1), Sphere(VectorPos(0, 0, 0), 1.0f));
    auto touch = [&](VectorDir facing) {
        walker->mat = LookAlong(facing);
        walker->mat.SetTrans(VectorPos(0.6f, -2.0f, 0.8f));
        CollisionRecord cr(lift, walker);
        cr.Set(ball.Chain(), ball.Chain(), lift, walker);
        cr.SaveMatrix(lift->GetWorldMatrix(), walker->GetWorldMatrix());
        lift->SendMessage(OM_COLLISION, &cr);
    };
    Ticks(3);
    // Walking toward its middle does nothing; stepping on facing out starts
    // the fall.
    touch(VectorDir(-0.6f, 0.0f, -0.8f));
    EXPECT_EQ(lift->mode, 0);
    touch(VectorDir(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(lift->mode, 1);
    EXPECT_TRUE(walker->got.empty());

    // The little lift of its start is used up first: nine frames still.
    Ticks(9);
    EXPECT_EQ(lift->mat.w[1], -2.0f);
    Ticks(1);
    EXPECT_GT(lift->mat.w[1], -2.0f);
    // Falling, it knocks characters aside, away from its middle.
    touch(VectorDir(1.0f, 0.0f, 0.0f));
    ASSERT_EQ(Codes(walker), std::vector<int>{SMSG_KNOCKBACK});
    EXPECT_FLOAT_EQ(float(walker->got[0].param[0]), 0.6f * 0.0465667f);
    EXPECT_FLOAT_EQ(float(walker->got[0].param[1]), -2.0f * 0.0465667f);
    EXPECT_FLOAT_EQ(float(walker->got[0].param[2]), 0.8f * 0.0465667f);
    EXPECT_EQ(int(walker->got[0].param[3]), 1);
    walker->got.clear();

    int frames = 0;
    while (lift->mode == 1 && frames++ < 200)
        Ticks(1);
    ASSERT_EQ(lift->mode, 2);
    EXPECT_EQ(lift->mat.w[1], -2.0f + 0.3125f);
    const int down = world.time;
    EXPECT_GE(lift->iIdleTime - down, 180);
    EXPECT_LE(lift->iIdleTime - down, 299);
    touch(VectorDir(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(lift->mode, 2);
    while (lift->mode == 2 && world.time < down + 400)
        Ticks(1);
    EXPECT_EQ(world.time, lift->iIdleTime);
    ASSERT_EQ(lift->mode, 3);
    touch(VectorDir(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(lift->mode, 3);
    EXPECT_TRUE(walker->got.empty());
    // Back up at 0.001734375 a frame: 0.3125 takes 181 frames.
    frames = 0;
    while (lift->mode == 3 && frames < 400) {
        Ticks(1);
        frames++;
    }
    EXPECT_EQ(frames, 181);
    EXPECT_EQ(lift->mode, 0);
    EXPECT_EQ(lift->mat.w[1], -2.0f);
    walker->Delete();
}

namespace {

// The props and riders the mover makes: the props' kind is the game's; the
// riders are plain characters.
int RiderMh(Object* o, OBJMESSAGE msg, void*)
{
    if (msg == OM_CREATE) {
        Object* r = new Object(RiderMh);
        r->type = OBJT_CHARACTER;
        return int(reinterpret_cast<intptr_t>(r));
    }
    if (msg == OM_DIE) {
        delete o;
        return -1;
    }
    return 0;
}

class Kinds
{
public:
    Kinds()
        : saved(Name::first),
          props("InteriorDamageable", int(reinterpret_cast<intptr_t>(&InteriorDamageable::staticmh))),
          riders("ShooterEnemy", int(reinterpret_cast<intptr_t>(&RiderMh)))
    {
    }
    ~Kinds() { Name::first = saved; }

private:
    Name* saved;
    Name props, riders;
};

// The rider's prop: node 0x8000 is where he stands.
tools::P2BFile PropModel()
{
    tools::P2BFile f;
    f.models = {BareModel(0.5f)};
    f.AddNode(-1, tools::MakeNode(0));
    f.AddNode(0, tools::MakeNode(MDL_NOGEOM, VectorPos(0.0f, -1.0f, 0.0f), VectorXYZ(0, 0, 0), 0x8000));
    return f;
}

std::vector<float> PropXs(const SplineObjectMover* m)
{
    std::vector<float> x;
    for (ObjectLink* l = m->objlist.Head(); !l->IsEOList(); l = l->Next())
        x.push_back(l->data->mat.w[0]);
    return x;
}

void ExpectXs(const SplineObjectMover* m, const std::vector<float>& want)
{
    const std::vector<float> xs = PropXs(m);
    ASSERT_EQ(xs.size(), want.size());
    for (size_t i = 0; i < xs.size(); i++)
        EXPECT_NEAR(xs[i], want[i], 1e-4f) << "prop " << i;
}

}  // namespace

TEST_F(Hazards, TheMoverStreamsEvenlySpacedPropsWithRidersWhileThePlayerIsInItsTriggers)
{
    Kinds kinds;
    SlotFile propFile(SplineObjectMover::kPropSlot, PropModel());
    tools::SetupFile s;
    const int node = s.AddPlaceholder(-1, 0), still = s.AddPlaceholder(-1, 0), flat = s.AddPlaceholder(-1, 0);
    auto mp = tools::ZeroRecord<SplineObjectMover_params>();
    mp.speed = 96.0f;     // half a unit a frame
    mp.density = 16.0f;   // 5 units apart
    mp.init_distrib = 1;
    mp.trigger2 = Extent(TransMatrix(-100.0f, 0.0f, -100.0f));   // a unit box about (100, 0, 100)
    mp.enemy_chance = 100.0f;
    mp.enemy_count = 2;
    mp.enemy_stren = 30;
    mp.enemy_char = 3;
    mp.enemy_weapon = 1;
    const int path = s.AddSpline(Straight(2));
    s.SetSpline(s.AddRecord(node, ENT_SPLINEOBJECTMOVER, mp), 0, path);
    auto sp = mp;
    sp.speed = 0.0f;
    s.SetSpline(s.AddRecord(still, ENT_SPLINEOBJECTMOVER, sp), 0, path);
    auto fp = mp;
    fp.density = 0.0f;
    s.SetSpline(s.AddRecord(flat, ENT_SPLINEOBJECTMOVER, fp), 0, path);
    SlotFile f(kSetupSlot, Written(s));
    Dace* player = new Dace;
    player->mat = Matrix(true);
    dace = player;

    auto* m = static_cast<SplineObjectMover*>(Load(node));
    auto* m0 = static_cast<SplineObjectMover*>(Load(still));
    // Placed 10 along x: its triggers move with it, once however often the
    // file is read.
    auto* mf = static_cast<SplineObjectMover*>(Load(flat, TransMatrix(10.0f, 0.0f, 0.0f)));
    ASSERT_NE(m, nullptr);
    ASSERT_NE(m0, nullptr);
    ASSERT_NE(mf, nullptr);
    EXPECT_NE(Load(flat, TransMatrix(10.0f, 0.0f, 0.0f)), nullptr);
    EXPECT_TRUE(mf->psomp->trigger2.Within(VectorPos(110.0f, 0.0f, 100.0f)));
    EXPECT_FALSE(mf->psomp->trigger2.Within(VectorPos(100.0f, 0.0f, 100.0f)));
    EXPECT_FLOAT_EQ(m->splinelength, 60.0f);
    EXPECT_FLOAT_EQ(m->zevdensity, 5.0f);
    EXPECT_EQ(m->GetObjectSplineValue(0), 2.5f / 30.0f);
    EXPECT_FLOAT_EQ(m->GetObjectSplineValue(7), 1.0f + 7.5f / 30.0f);
    EXPECT_EQ(m->GetObjectSplineValue(12), 2.0f);

    // The mode starts: the path fills with props 5 apart from 2.5 on.
    Listener* mode = NewListener(OBJT_STATIC, 0);
    SpecialMessage start(SplineObjectMover::SMSG_MODE_START, mode);
    for (Object* o : {static_cast<Object*>(m), static_cast<Object*>(m0), static_cast<Object*>(mf)})
        o->SendMessage(OM_SPECIAL, &start);
    std::vector<float> want;
    for (int i = 0; i < 12; i++)
        want.push_back(2.5f + 5.0f * i);
    ExpectXs(m, want);
    ExpectXs(m0, want);
    EXPECT_TRUE(PropXs(mf).empty());
    auto* first = static_cast<InteriorDamageable*>(static_cast<Object*>(m->objlist.Head()->data));
    EXPECT_EQ(first->fStrength, 100.0f);

    // Six frames on: all moved 3, a new prop came in at 0.5 and the last
    // went past the end; the still mover and the flat one make nothing.
    RCptr<Object> last(m->objlist.Tail()->data);
    Ticks(6);
    want.clear();
    for (int i = 0; i < 12; i++)
        want.push_back(0.5f + 5.0f * i);
    ExpectXs(m, want);
    EXPECT_TRUE(last.p->IsDead());
    last = nullptr;
    EXPECT_EQ(m0->objlist.Count(), 12);
    EXPECT_EQ(mf->objlist.Count(), 0);
    EXPECT_TRUE(mode->got.empty());

    // The player in the second trigger: the next two props carry riders,
    // reported to the mode; then none while both live.
    player->mat = TransMatrix(100.0f, 0.0f, 100.0f);
    Ticks(30);
    ASSERT_EQ(m->shooterlist.Count(), 2);
    // Plain characters stand in for the shooting enemy here, so they ride
    // without an enemy's orders.
    for (auto* n = m->shooterlist.Head(); !n->IsEOList(); n = n->Next())
        EXPECT_EQ(n->data->messagehandler, &RiderMh);
    EXPECT_EQ(Codes(mode), (std::vector<int>{SplineObjectMover::SMSG_MODE_FOE_ADDED,
                                             SplineObjectMover::SMSG_MODE_FOE_ADDED}));
    Object* r1 = m->shooterlist.Head()->data;
    Object* r2 = m->shooterlist.Tail()->data;
    EXPECT_EQ(r1->id, -125);
    EXPECT_EQ(r2->id, -126);
    EXPECT_EQ(int(mode->got[0].param[0]), 1);
    ASSERT_NE(r1->parent, nullptr);
    EXPECT_NEAR(r1->mat.w[1], -1.0f, 1e-6f);   // at the prop's node 0x8000
    EXPECT_NEAR(r1->mat.z[0], 1.0f, 1e-6f);   // turned a quarter
    EXPECT_NEAR(r1->GetWorldPos()[0], r1->parent->mat.w[0], 1e-5f);
    EXPECT_TRUE(r1->parent->flags & OBJF_CHILDCOLLISION);

    // A rider that dies is reported and its death passed on; one flagged
    // gone is reported and dropped; a new one then rides in.
    mode->got.clear();
    SpecialMessage died(SplineObjectMover::SMSG_EV_CHARACTER_DIED, r1);
    m->SendMessage(OM_SPECIAL, &died);
    EXPECT_EQ(Codes(mode), (std::vector<int>{SplineObjectMover::SMSG_MODE_FOE_REMOVED,
                                             SplineObjectMover::SMSG_EV_CHARACTER_DIED}));
    r1->flags |= 0x40000000;
    mode->got.clear();
    Ticks(1);
    EXPECT_EQ(m->shooterlist.Count(), 1);
    ASSERT_FALSE(mode->got.empty());
    EXPECT_EQ(mode->got[0].submsg, SplineObjectMover::SMSG_MODE_FOE_REMOVED);
    EXPECT_EQ(mode->got[0].obj, r1);
    Ticks(10);
    EXPECT_EQ(m->shooterlist.Count(), 2);

    // The player leaves: riders reach the end with their props and are
    // reported gone then.
    player->mat = Matrix(true);
    RCptr<Object> rider(r2);
    mode->got.clear();
    Ticks(130);
    EXPECT_EQ(m->shooterlist.Count(), 0);
    EXPECT_TRUE(rider.p->IsDead() || rider.p->parent == nullptr || rider.p->parent->IsDead());
    int removed = 0;
    for (const SpecialMessage& g : mode->got)
        removed += g.submsg == SplineObjectMover::SMSG_MODE_FOE_REMOVED && g.obj == r2;
    EXPECT_EQ(removed, 1);
    rider = nullptr;
    dace = nullptr;
    mode->Delete();
    player->Delete();
}

TEST_F(Hazards, RiderIdsCountDownFrom125AndTheTwentySixthTakesItAgain)
{
    Kinds kinds;
    auto mp = tools::ZeroRecord<SplineObjectMover_params>();
    mp.enemy_char = 1;
    mp.enemy_char2 = 2;
    mp.enemy_char3 = 3;
    auto* m = reinterpret_cast<SplineObjectMover*>(intptr_t(SplineObjectMover::staticmh(nullptr, OM_CREATE, nullptr)));
    m->psomp = &mp;
    world.AddObject(m, nullptr);
    Object prop;
    std::vector<int> ids;
    for (int i = 0; i < 26; i++) {
        m->GenerateShooter(&prop);
        ids.push_back(m->shooterlist.Tail()->data->id);
    }
    EXPECT_EQ(ids.front(), -125);
    EXPECT_EQ(ids[24], -149);
    EXPECT_EQ(ids[25], -125);
    // The weapon codes: 0 pistol, 1 sub-machine gun, 2 blank, 3 shotgun, 5
    // sniper rifle, the others two places down the weapon table.
    EXPECT_EQ(MoverRiderWeapon(0), WEAP_PISTOL_RUGER);
    EXPECT_EQ(MoverRiderWeapon(1), WEAP_SMG_UZI);
    EXPECT_EQ(MoverRiderWeapon(2), WEAP_BLANK);
    EXPECT_EQ(MoverRiderWeapon(3), WEAP_SHOTG_M4SUPER);
    EXPECT_EQ(MoverRiderWeapon(4), WEAP_DACE_UPG2);
    EXPECT_EQ(MoverRiderWeapon(5), WEAP_SNIPERRIFLE);
    EXPECT_EQ(MoverRiderWeapon(6), WEAP_PISTOL_RUGER);
    for (ObjectLink* l = m->shooterlist.Head(); !l->IsEOList(); l = l->Next())
        l->data->Detach();
    m->shooterlist.DeleteAll();
}
