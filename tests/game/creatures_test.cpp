// The special opponents: the mannequin and its generator on the dojo's
// model, the demon fight's stages from the disc's demon, the demons' climb
// and swoops, and the dragon's rise, fireballs and wounds.
#include "ZevEngine2/PS2/soundstream_support.h"
#include "ZevEngine2/PS2/stream_disc.h"
#include "game/explode_support.h"
#include "game/gamemodes_support.h"

#include "tools/lib/sidegamefiles.h"

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "game/BadGuy.h"
#include "game/Camera.h"
#include "game/controller_support.h"
#include "game/GameEvents.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/Mannequin.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Weapons.h"

using explodetest::SlotFile;

namespace {

constexpr int kInteriorSlot = 195;

struct Note
{
    int code;
    Object* obj;
    int param0;
};
std::vector<Note> g_notes;
int SinkMh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL) {
        auto* m = static_cast<SpecialMessage*>(data);
        g_notes.push_back({m->submsg, m->obj, int(m->param[0])});
    }
    return 0;
}
int Notes(int code)
{
    int k = 0;
    for (const Note& n : g_notes)
        k += n.code == code ? 1 : 0;
    return k;
}

int Projectiles()
{
    int k = 0;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
        k += !l->data->IsDead() && l->data->type == OBJT_PROJECTILE ? 1 : 0;
    return k;
}

void Ticks(int n)
{
    for (int i = 0; i < n; i++)
        world.Update();
}

// A bullet of strength s, not in the world.
struct TestBullet
{
    Bullet* b;
    explicit TestBullet(float s)
    {
        b = new Bullet;
        b->strength[0] = b->strength[1] = s;
    }
    ~TestBullet() { delete b; }
};

void Shoot(Object* target, Bullet* b)
{
    SpecialMessage m(SMSG_BULLET_HIT, b);
    target->SendMessage(OM_SPECIAL, &m);
}

// The player, with an aim point (sub-object 20) at chest height, at id -1 in
// the world.
class Arena : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        world.mode = WORLD_MODE_NORMAL;
        world.playbackSpeed = 1.0f;
        srand(11);
        g_notes.clear();
        player = new Object;
        player->id = -1;
        player->type = OBJT_CHARACTER;
        player->mat = TransMatrix(VectorPos(0.0f, 0.0f, 5.0f));
        aim = new Object;
        aim->id = 20;
        aim->mat = TransMatrix(VectorPos(0.0f, -1.0f, 0.0f));
        player->Attach(aim);
        world.AddObject(player, nullptr);
        sink = new Object(SinkMh);
    }
    void TearDown() override
    {
        world.Clear();
        // A beaten mannequin flashes the screen of whatever controller the
        // program holds: the flash leaves the post-draw list with the test.
        world.RequestDestroyPostRaw();
        world.rawobjPostList.RemoveAll();
        sink->Delete();
        dace = nullptr;
    }
    Object* player = nullptr;
    Object* aim = nullptr;
    Object* sink = nullptr;
};

// ---------------------------------------------------------------------------
// The mannequin

class MannequinRange : public Arena
{
protected:
    void SetUp() override
    {
        Arena::SetUp();
        interior = std::make_unique<SlotFile>(kInteriorSlot, tools::DojoInteriorFile());
        params = static_cast<MannequinShooter_params*>(calloc(1, sizeof(MannequinShooter_params)));
        params->id = 77;
        params->init_strength = 10;
        gen = reinterpret_cast<EnemyGenMannequin*>(intptr_t(EnemyGenMannequin::staticmh(nullptr, OM_CREATE, nullptr)));
        gen->pegsp = params;
        gen->mat = Matrix(true);
        world.AddObject(gen, nullptr);
        SendSpecial(gen, SMSG_MODE_START, sink);
    }
    void TearDown() override
    {
        Arena::TearDown();
        interior.reset();
    }
    std::vector<Mannequin*> Standing()
    {
        std::vector<Mannequin*> v;
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            if (!l->data->IsDead() && l->data->messagehandler == &Mannequin::Mannequin_mh)
                v.push_back(static_cast<Mannequin*>(l->data.p));
        return v;
    }
    // Frames between the shots after the first, over n frames.
    std::vector<int> ShotGaps(int n)
    {
        std::vector<int> at;
        int before = Projectiles();
        for (int i = 0; i < n; i++) {
            world.Update();
            const int now = Projectiles();
            if (now > before)
                at.push_back(world.time);
            before = now;
        }
        std::vector<int> gaps;
        for (size_t i = 1; i < at.size(); i++)
            gaps.push_back(at[i] - at[i - 1]);
        return gaps;
    }

    std::unique_ptr<SlotFile> interior;
    MannequinShooter_params* params = nullptr;
    EnemyGenMannequin* gen = nullptr;
};

TEST_F(MannequinRange, ItFiresEvery31FramesWithoutAggressionAnd61WithFull)
{
    Ticks(1);
    std::vector<Mannequin*> m = Standing();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0]->id, 77);
    EXPECT_FLOAT_EQ(m[0]->strength, 10.0f);
    EXPECT_EQ(m[0]->gameeventobj, gen);
    // Without a path it folds flat, swings up, aims and fires.
    std::vector<int> gaps = ShotGaps(400);
    ASSERT_GE(gaps.size(), 3u);
    for (int g : gaps)
        EXPECT_EQ(g, 31);
    m[0]->aggro = 1.0f;
    gaps = ShotGaps(400);
    ASSERT_GE(gaps.size(), 3u);
    for (size_t i = 1; i < gaps.size(); i++)
        EXPECT_EQ(gaps[i], 61);
}

// A record whose aggression lies far outside 0..1 fires as the nearer end
// of it does.
class MannequinOfAWildRecord : public MannequinRange, public testing::WithParamInterface<std::pair<float, int>>
{
protected:
    void SetUp() override
    {
        MannequinRange::SetUp();
        params->badass = GetParam().first;
    }
};

TEST_P(MannequinOfAWildRecord, FiresAtTheIntervalOfTheNearerEndOfTheRange)
{
    Ticks(1);
    ASSERT_EQ(Standing().size(), 1u);
    const std::vector<int> gaps = ShotGaps(400);
    ASSERT_GE(gaps.size(), 3u);
    for (size_t i = 1; i < gaps.size(); i++)
        EXPECT_EQ(gaps[i], GetParam().second) << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(Aggression, MannequinOfAWildRecord,
                         testing::Values(std::pair{-4.4e14f, 31}, std::pair{1.0e15f, 61}));

TEST_F(MannequinRange, BeatenItFlashesReportsAndGoesDownAndTheNextComesAfterTheNotice)
{
    Ticks(1);
    Mannequin* m = Standing().at(0);
    SendSpecial(m, SMSG_MODE_START, sink);
    GameController* gc = gametest::Controller();
    FadeScreen fade;
    gametest::Lend<FadeScreen> lent(gc->pfs, &fade);
    TestBullet weak(4.0f), exact(6.0f);
    Shoot(m, weak.b);
    EXPECT_FLOAT_EQ(m->strength, 6.0f);
    EXPECT_EQ(m->state, 0);
    Shoot(m, exact.b);   // equal to what is left: beaten
    EXPECT_EQ(m->state, 2);
    EXPECT_TRUE(m->flags & 0x40000000);
    EXPECT_EQ(Notes(SMSG_EV_TARGET_DOWN), 2);
    // The screen flashes dark red.
    EXPECT_EQ(fade.mode, FADE_MODE_FLASH);
    EXPECT_EQ(fade.colFade.r, 128);
    EXPECT_EQ(fade.colFade.g, 0);
    fade.mode = FADE_MODE_OFF;
    // The generator puts up another only after the notice, the frame after.
    Ticks(3);
    EXPECT_EQ(Standing().size(), 1u);
    SendSpecial(gen, SMSG_EV_ENEMY_REMOVED, m);
    m->Delete();
    EXPECT_EQ(Standing().size(), 0u);
    Ticks(1);
    EXPECT_EQ(Standing().size(), 1u);

    // The mode finishing sends it down quietly.
    Mannequin* n = Standing().at(0);
    g_notes.clear();
    SendSpecial(n, SMSG_MODE_FINISHED, sink);
    EXPECT_EQ(n->state, 2);
    EXPECT_FALSE(n->flags & 0x40000000);
    EXPECT_TRUE(g_notes.empty());
    EXPECT_EQ(fade.mode, FADE_MODE_OFF) << "and no flash";
}

TEST_F(MannequinRange, AModelWithoutTheFigureGivesNoMannequin)
{
    interior.reset();
    tools::P2BFile f = tools::DojoInteriorFile();
    for (NODE& n : f.nodes)
        if (n.extra == 6000)
            n.extra = 6001;
    interior = std::make_unique<SlotFile>(kInteriorSlot, f);
    Ticks(3);
    EXPECT_TRUE(Standing().empty());
    EXPECT_EQ(gen->numspawned, 3) << "one tried each frame";
}

TEST_F(MannequinRange, ItGlidesInAlongItsPathInFiftyFramesAndBeatenSlidesBackInTwentyFive)
{
    // A straight path 3 long along x: the point at t is (3t, 0, 0).
    gen->pSplineArrive = modetest::MakeSpline(
        {VectorPos(0, 0, 0), VectorPos(1, 0, 0), VectorPos(2, 0, 0), VectorPos(3, 0, 0)});
    Ticks(1);
    Mannequin* m = Standing().at(0);
    ASSERT_EQ(m->arrivepath, gen->pSplineArrive);
    // A fiftieth of the path a frame, from its start.
    std::vector<float> xs;
    while (m->state == 0 && xs.size() < 100) {
        world.Update();
        xs.push_back(m->mat.GetTrans()[0]);
    }
    ASSERT_EQ(xs.size(), 51u) << "50 frames on the way, aiming on the frame after";
    for (size_t k = 0; k < xs.size(); k++)
        EXPECT_NEAR(xs[k], 0.06f * float(k), 1e-4f) << k;
    EXPECT_EQ(m->state, 1);
    EXPECT_EQ(Projectiles(), 0) << "no shot on the way in";
    // Beaten, it goes back the way it came, twice as fast.
    TestBullet fatal(100.0f);
    Shoot(m, fatal.b);
    ASSERT_EQ(m->state, 2);
    xs.clear();
    for (int k = 0; k < 27; k++) {
        world.Update();
        xs.push_back(m->mat.GetTrans()[0]);
    }
    for (size_t k = 0; k < 26; k++)
        EXPECT_NEAR(xs[k], 3.0f - 0.12f * float(k), 1e-4f) << k;
    EXPECT_EQ(xs[26], 0.0f) << "and stays at the start";
}

// ---------------------------------------------------------------------------
// The demons and the dragon, from the disc

std::vector<tools::PakInputFile> CreatureFiles(bool truncated)
{
    std::vector<tools::PakInputFile> v;
    for (auto& [path, f] : tools::SideGameFiles()) {
        if (path.find("DOJO") != std::string::npos)
            continue;
        std::vector<u8> bytes;
        std::string error;
        EXPECT_TRUE(tools::WriteP2B(f, bytes, error)) << error;
        if (truncated)
            bytes.resize(bytes.size() / 2);
        v.push_back({path, bytes, "test"});
    }
    return v;
}

class Creatures : public streamtest::StreamerTest
{
protected:
    void SetUp() override
    {
        StreamerTest::SetUp();
        world.Clear();
        world.mode = WORLD_MODE_NORMAL;
        world.playbackSpeed = 1.0f;
        srand(5);
        g_notes.clear();
        player = new Object;
        player->id = -1;
        player->type = OBJT_CHARACTER;
        player->mat = TransMatrix(VectorPos(0.0f, 0.0f, 2.0f));
        world.AddObject(player, nullptr);
        sink = new Object(SinkMh);
    }
    void TearDown() override
    {
        world.Clear();
        sink->Delete();
        StreamerTest::TearDown();
    }
    std::vector<Object*> Demons()
    {
        std::vector<Object*> v;
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            if (!l->data->IsDead() && l->data->messagehandler == &Demon::Demon_mh)
                v.push_back(l->data.p);
        return v;
    }
    Object* player = nullptr;
    Object* sink = nullptr;
};

TEST_F(Creatures, TheDemonFightRunsTwelveDemonsInStagesOfThreeFourAndFive)
{
    StartWith(CreatureFiles(false));
    auto* c = reinterpret_cast<DemonMissionController*>(
        intptr_t(DemonMissionController::staticmh(nullptr, OM_CREATE, nullptr)));
    c->gameeventobj = sink;
    world.AddObject(c, nullptr);
    SendSpecial(c, SMSG_MODE_START, c);
    std::vector<Object*> all = Demons();
    ASSERT_EQ(all.size(), 12u);
    auto activated = [&] {
        int k = 0;
        for (Object* d : all)
            k += static_cast<Demon*>(d)->state != Demon::DEMON_WAIT ? 1 : 0;
        return k;
    };
    EXPECT_EQ(activated(), 3);
    EXPECT_NE(static_cast<Demon*>(all[0])->pGlow1, nullptr);
    EXPECT_NE(static_cast<Demon*>(all[0])->pGlow2, nullptr);
    // Its body carries a collision volume: the world's collision pass is
    // what brings a swoop's blow to the player.
    EXPECT_NE(all[0]->GetCollision(), nullptr);
    const int sizes[3] = {3, 4, 5};
    int first = 0;
    for (int s = 0; s < 3; s++) {
        for (int i = 0; i < sizes[s]; i++) {
            EXPECT_EQ(activated(), first + sizes[s]);
            SendSpecial(c, SMSG_EV_CHARACTER_DIED, all[size_t(first + i)]);
        }
        first += sizes[s];
        if (s < 2)
            EXPECT_EQ(activated(), first + sizes[s + 1]) << "the next stage starts with the last report";
    }
    EXPECT_EQ(c->iStage, 3);
    int won = 0;
    for (const Note& n : g_notes)
        won += n.code == SMSG_GC_SUBGAME_WON ? 1 : 0;
    EXPECT_EQ(won, 1);
    c->Delete();
}

TEST_F(Creatures, ATruncatedDemonOrFireballFileMakesNothing)
{
    StartWith(CreatureFiles(true));
    auto* c = reinterpret_cast<DemonMissionController*>(
        intptr_t(DemonMissionController::staticmh(nullptr, OM_CREATE, nullptr)));
    c->gameeventobj = sink;
    world.AddObject(c, nullptr);
    SendSpecial(c, SMSG_MODE_START, c);
    EXPECT_TRUE(Demons().empty());
    EXPECT_EQ(c->pmfDemon, nullptr);
    auto* d = reinterpret_cast<Dragon*>(intptr_t(Dragon::Dragon_mh(nullptr, OM_CREATE, nullptr)));
    world.AddObject(d, nullptr);
    EXPECT_EQ(d->pmfFireball, nullptr);
    Ticks(800);   // attacks come, with nothing to spit
    EXPECT_EQ(Projectiles(), 0);
    c->Delete();
}

TEST_F(Creatures, ADemonClimbsThenSwoopsNoSoonerThan120FramesAtFlyingHeight)
{
    StartWith(CreatureFiles(false));
    auto* d = reinterpret_cast<Demon*>(intptr_t(Demon::Demon_mh(nullptr, OM_CREATE, nullptr)));
    world.AddObject(d, nullptr);
    EXPECT_TRUE(d->flags & OBJF_HIDDEN);
    EXPECT_FLOAT_EQ(d->mat.GetTrans()[1], -44.0f);
    EXPECT_FLOAT_EQ(d->curRadius, 3.0f);
    // A camera looking past the player at the demon's side of the arena.
    Camera cam;
    cam.mat = Matrix(true);
    SetCurrentCam(&cam);
    Ticks(10);
    EXPECT_EQ(d->state, Demon::DEMON_WAIT);
    SendSpecial(d, SMSG_MODE_START, sink);
    int flying = -1, swoop = -1;
    for (int i = 0; i < 3000 && swoop < 0; i++) {
        // Keep the camera facing from the player toward the demon.
        VectorDir to = d->GetWorldPos() - player->GetWorldPos();
        to[1] = 0.0f;
        cam.mat = LookAlong(to);
        world.Update();
        if (flying < 0 && d->state == Demon::DEMON_FLY)
            flying = world.time;
        if (d->state == Demon::DEMON_ATTACK)
            swoop = world.time;
    }
    ASSERT_GT(flying, 0);
    EXPECT_FALSE(d->flags & OBJF_HIDDEN);
    ASSERT_GT(swoop, 0);
    EXPECT_GE(swoop - flying, 120);
    EXPECT_EQ((swoop - flying) % 120, 0);
    // A missed swoop doubles its step on the way out and jumps half round.
    const VectorPos step = d->vpAccel;
    float angle = d->curAngle;
    for (int i = 0; i < 200 && d->state == Demon::DEMON_ATTACK; i++) {
        angle = d->curAngle;
        world.Update();
    }
    EXPECT_EQ(d->state, Demon::DEMON_RETURN);
    EXPECT_NEAR(d->vpAccel[0], 2.0f * step[0], 1e-5f);
    EXPECT_NEAR(d->vpAccel[2], 2.0f * step[2], 1e-5f);
    EXPECT_NEAR(d->curAngle - angle, 3.14159265f + d->deltaAngle, 1e-4f);
    SetCurrentCam(nullptr);
    d->Delete();
}

// What the player is told.
std::vector<SpecialMessage> g_playerGot;
int PlayerMh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL)
        g_playerGot.push_back(*static_cast<SpecialMessage*>(data));
    return 0;
}

TEST_F(Creatures, ASwoopThatConnectsKnocksThePlayerBackHurtsHimTwentyAndTurnsItHalfRound)
{
    StartWith(CreatureFiles(false));
    g_playerGot.clear();
    player->messagehandler = PlayerMh;
    auto* d = reinterpret_cast<Demon*>(intptr_t(Demon::Demon_mh(nullptr, OM_CREATE, nullptr)));
    world.AddObject(d, nullptr);
    // Swooping from 3 across and 4 behind him: he is pushed along the
    // horizontal line from it, (-0.6, 0, -0.8), and up.
    d->mat.SetTrans(VectorPos(3.0f, -0.5f, 6.0f));
    d->state = Demon::DEMON_ATTACK;
    d->curAngle = 1.0f;
    d->vpAccel = VectorPos(-0.03f, 0.005f, -0.04f);
    Object bystander;
    bystander.type = OBJT_CHARACTER;
    bystander.id = 7;
    auto touch = [&](Object* who) {
        CollisionRecord rec(d, who);
        rec.Set(nullptr, nullptr, nullptr, who);
        d->SendMessage(OM_COLLISION, &rec);
    };
    touch(&bystander);   // only the player counts
    EXPECT_EQ(d->state, Demon::DEMON_ATTACK);
    touch(player);
    ASSERT_EQ(g_playerGot.size(), 2u);
    const float k = 0.0116417f;
    EXPECT_EQ(g_playerGot[0].submsg, SMSG_KNOCKBACK);
    EXPECT_EQ(g_playerGot[0].obj, d);
    EXPECT_NEAR(float(g_playerGot[0].param[0]), -0.6f * k, 1e-7f);
    EXPECT_NEAR(float(g_playerGot[0].param[1]), -0.2f * k, 1e-7f);
    EXPECT_NEAR(float(g_playerGot[0].param[2]), -0.8f * k, 1e-7f);
    EXPECT_EQ(g_playerGot[1].submsg, 28);
    EXPECT_EQ(g_playerGot[1].obj, d);
    EXPECT_EQ(int(g_playerGot[1].param[0]), 20);
    // It flies on to its orbit's far side at the same speed.
    EXPECT_EQ(d->state, Demon::DEMON_RETURN);
    EXPECT_FLOAT_EQ(d->curAngle, 1.0f + 3.14159265f);
    EXPECT_FLOAT_EQ(d->vpAccel[0], -0.03f);
    EXPECT_FLOAT_EQ(d->vpAccel[2], -0.04f);
    // On its way out it hurts no more.
    touch(player);
    EXPECT_EQ(g_playerGot.size(), 2u);
    world.Update();
    EXPECT_NEAR(d->mat.GetTrans()[0], 3.0f - 0.03f, 1e-5f);
    EXPECT_NEAR(d->mat.GetTrans()[2], 6.0f - 0.04f, 1e-5f);
    player->messagehandler = nullptr;
    d->Delete();
}

TEST_F(Creatures, TheDragonRisesFiresTwoFireballsPerAttackAndTakesAFifthOfABullet)
{
    StartWith(CreatureFiles(false));
    auto* d = reinterpret_cast<Dragon*>(intptr_t(Dragon::Dragon_mh(nullptr, OM_CREATE, nullptr)));
    Object* head = new Object;
    head->id = 85;
    d->Attach(head);
    world.AddObject(d, nullptr);
    SendSpecial(d, SMSG_MODE_START, sink);
    ASSERT_NE(d->pmfFireball, nullptr);
    EXPECT_FLOAT_EQ(d->mat.GetTrans()[1], -44.0f);
    // 44 to 48 at 0.01 a frame: 400 frames.
    int top = -1;
    for (int i = 0; i < 500 && top < 0; i++) {
        world.Update();
        const VectorPos p = d->mat.GetTrans();
        EXPECT_EQ(p[0], 0.0f);
        EXPECT_EQ(p[2], 0.0f);
        if (d->state != Dragon::DRAGON_UP)
            top = i + 1;
    }
    EXPECT_NEAR(float(top), 401.0f, 1.0f);
    // Run until an attack starts, then count its fireballs.
    for (int i = 0; i < 2000 && d->state != Dragon::DRAGON_ATTACKING; i++)
        world.Update();
    ASSERT_EQ(d->state, Dragon::DRAGON_ATTACKING);
    const int before = Projectiles();
    int frames = 0;
    int most = 0;
    while (d->state == Dragon::DRAGON_ATTACKING && frames < 400) {
        world.Update();
        frames++;
        most = std::max(most, Projectiles() - before);
    }
    EXPECT_EQ(most, 2);
    EXPECT_EQ(d->state, Dragon::DRAGON_DOWN);
    EXPECT_EQ(frames, 181);

    // A bullet hurts by a fifth; five times what is left kills.
    TestBullet b10(10.0f);
    Shoot(d, b10.b);
    EXPECT_FLOAT_EQ(d->strength, 98.0f);
    TestBullet fatal(5.0f * 98.0f);
    Shoot(d, fatal.b);
    EXPECT_EQ(d->state, Dragon::DRAGON_DYING);
    EXPECT_EQ(d->strength, 0.0f);
    for (int i = 0; i < 400 && d->state != Dragon::DRAGON_DEAD; i++)
        world.Update();
    EXPECT_EQ(d->state, Dragon::DRAGON_DEAD);
    EXPECT_EQ(Notes(SMSG_EV_CHARACTER_DIED), 1);
    d->Delete();
}

}  // namespace

// ---------------------------------------------------------------------------
// The mutant and its generator

namespace {

constexpr int kMutantSlot = 49 + 86;   // character 86

class Mutants : public Arena
{
protected:
    void SetUp() override
    {
        Arena::SetUp();
        tools::P2BFile f;
        f.models = {explodetest::BareModel(0.4f)};
        f.AddNode(-1, tools::MakeNode(0));
        model = std::make_unique<SlotFile>(kMutantSlot, f);
    }
    void TearDown() override
    {
        Arena::TearDown();
        model.reset();
    }
    EnemyGenMutant* Generator(int spawnNum)
    {
        auto* p = static_cast<EnemyGenMutant_params*>(calloc(1, sizeof(EnemyGenMutant_params)));
        p->character = 86;
        p->id = 90;
        p->spawn_num = u16(spawnNum);
        p->init_strength = 30;
        p->badass = 0.25f;
        p->appear = Mutant::MODE_LEAP;
        auto* g = reinterpret_cast<EnemyGenMutant*>(intptr_t(EnemyGenMutant::staticmh(nullptr, OM_CREATE, nullptr)));
        g->pegmp = p;
        g->mat = TransMatrix(VectorPos(4.0f, 0.0f, 0.0f));
        world.AddObject(g, nullptr);
        SendSpecial(g, SMSG_MODE_START, sink);
        return g;
    }
    std::vector<Mutant*> Made()
    {
        std::vector<Mutant*> v;
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            if (!l->data->IsDead() && l->data->messagehandler == &Mutant::Mutant_mh)
                v.push_back(static_cast<Mutant*>(l->data.p));
        return v;
    }
    std::unique_ptr<SlotFile> model;
};

TEST_F(Mutants, TheGeneratorMakesItsNumberOneAfterAnotherAndOnlyTheFirstForNoneOrOne)
{
    for (int want : {0, 1, 3}) {
        for (Mutant* m : Made())
            m->Delete();
        EnemyGenMutant* g = Generator(want);
        for (int i = 0; i < 6; i++) {
            Ticks(1);
            // Each creature is put down as soon as it stands.
            for (Mutant* m : Made())
                m->flags |= 0x40000000;
        }
        const int made = int(Made().size());
        EXPECT_EQ(made, std::max(want, 1)) << want;
        Mutant* m = Made().at(0);
        EXPECT_EQ(m->id, 90);
        EXPECT_EQ(m->mode, Mutant::MODE_LEAP);
        EXPECT_FLOAT_EQ(m->aggro, 0.25f);
        EXPECT_FLOAT_EQ(m->strength, 30.0f);
        EXPECT_EQ(m->gameeventobj, g);
        EXPECT_FLOAT_EQ(m->mat.GetTrans()[0], 4.0f);
        // A deletion notice leaves the generator nothing to read.
        SendSpecial(g, SMSG_EV_ENEMY_REMOVED, g->pObj);
        EXPECT_EQ(g->pObj, nullptr);
        Ticks(2);
        EXPECT_EQ(int(Made().size()), made);
        g->Delete();
    }
}

TEST_F(Mutants, BulletsKillAtItsStrengthAndTheBodyFadesOver160Frames)
{
    auto* m = reinterpret_cast<Mutant*>(intptr_t(Mutant::Mutant_mh(nullptr, OM_CREATE, nullptr)));
    world.AddObject(m, nullptr);
    EXPECT_FLOAT_EQ(m->strength, 100.0f);
    EXPECT_FLOAT_EQ(m->aggro, 0.5f);
    EXPECT_EQ(m->deathtime, 0x7FFFFFFFu);
    EXPECT_EQ(SendSpecial(m, SMSG_Q_COLLISION), 10);
    EXPECT_EQ(SendSpecial(m, SMSG_Q_SHOOT_TARGET), 1);
    TestBullet b40(40.0f), b60(60.0f);
    Shoot(m, b40.b);
    EXPECT_FLOAT_EQ(m->strength, 60.0f);
    EXPECT_FALSE(m->flags & 0x40000000);
    Shoot(m, b60.b);
    EXPECT_TRUE(m->flags & 0x40000000);
    EXPECT_EQ(m->strength, 0.0f);
    EXPECT_EQ(SendSpecial(m, SMSG_Q_SHOOT_TARGET), 1) << "even dead";
    EXPECT_EQ(SendSpecial(m, SMSG_Q_COLLISION), 10);

    // The controller asks the body to fade from frame now + 10.
    const int from = world.time + 10;
    SendSpecial(m, SMSG_MODE_BODY_TIMEOUT, nullptr, from);
    RenderContext& r = rc;
    const Matrix saved = r.light_colour;
    auto fadeAt = [&](int frame) {
        while (world.time < frame)
            world.Update();
        r.light_colour.w.setw(1.0f);
        m->SendMessage(OM_RENDER, &r);
        return r.light_colour.w[3];
    };
    EXPECT_FLOAT_EQ(fadeAt(from), 1.0f) << "not before the frame passes";
    EXPECT_NEAR(fadeAt(from + 80), 0.5f, 1e-5f);
    EXPECT_FALSE(m->flags & OBJF_HIDDEN);
    EXPECT_NEAR(fadeAt(from + 160), 0.0f, 1e-5f);
    EXPECT_TRUE(m->flags & OBJF_HIDDEN);
    r.light_colour = saved;
    m->Delete();
}

}  // namespace

// ---------------------------------------------------------------------------
// The mutant on the disc's animation group

namespace {

class MutantFromDisc : public streamsound::StreamSoundTest
{
protected:
    void SetUp() override
    {
        StreamSoundTest::SetUp();
        world.Clear();
        world.mode = WORLD_MODE_NORMAL;
        world.playbackSpeed = 1.0f;
        g_notes.clear();
        gc = gametest::Controller();
        gc->bInterior = true;
        gc->fInteriorHeight = 0.0f;
        sink = new Object(SinkMh);
        tools::P2BFile f;
        f.models = {explodetest::BareModel(0.4f)};
        f.AddNode(-1, tools::MakeNode(0));
        body = std::make_unique<SlotFile>(kMutantSlot, f);
    }
    void TearDown() override
    {
        world.Clear();
        sink->Delete();
        gc->bInterior = false;
        g_GlobalAGI.DeleteAG(AnimGroup_Mutant);
        g_GlobalAGI.rgagi[AnimGroup_Mutant] = {nullptr, 0, 0, -1, false};
        for (AnimChar*& a : Mutant::Anims)
            a = nullptr;
        body.reset();
        StreamSoundTest::TearDown();
    }
    // A mutant with the body model, its group's clips, placed at pos.
    Mutant* Make(VectorPos pos, int mode)
    {
        auto* m = reinterpret_cast<Mutant*>(intptr_t(Mutant::Mutant_mh(nullptr, OM_CREATE, nullptr)));
        body->mf()->GetHierarchyTo(m, 0, GH_ANIMATE);
        m->AllocBlendAnimHierarchy(0);
        world.AddObject(m, nullptr);
        m->mat.SetTrans(pos);
        m->mode = s8(mode);
        SendSpecial(m, SMSG_MODE_START, sink);
        return m;
    }
    static void Looped(Mutant* m)
    {
        AnimEventMessage e{m, 0, 0, 0};
        m->SendMessage(OM_ANIMLOOP, &e);
    }
    GameController* gc = nullptr;
    Object* sink = nullptr;
    std::unique_ptr<SlotFile> body;
};

std::vector<tools::PakInputFile> MutantFiles()
{
    tools::AnimGroupFiles g;
    std::string error;
    EXPECT_TRUE(tools::BuildMutantGroup(g, error)) << error;
    return {{"DemoData/Char/MUTANT.ANI", g.ani, "test"}, {"DemoData/Vags/MUTANT.SND", g.snd, "test"}};
}

TEST_F(MutantFromDisc, KilledDuringTheTakeOffItFliesOnAndDiesOnLanding)
{
    Start(MutantFiles());
    vbcallbacks.vsynccount = 0;
    const AnimGroup* group = g_GlobalAGI.LoadAG(AnimGroup_Mutant, 0);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->count, 13);
    Mutant* m = Make(VectorPos(0.0f, -3.0f, 0.0f), Mutant::MODE_NORMAL);
    EXPECT_EQ(m->mode2, Mutant::COMBAT_IDLE_DUCK_ANI);
    for (int slot = 0; slot < Mutant::NUM_MUTANT_ANIMS; slot++)
        EXPECT_NE(Mutant::Anims[slot], nullptr) << slot;
    EXPECT_EQ(Mutant::Anims[Mutant::COMBAT_JUMP_ATTACK_INAIR_KILLED_ANI], Mutant::Anims[Mutant::COMBAT_JUMP_ATTACK_INAIR_ANI]);

    // The leap has begun; a bullet of all its strength kills it at once.
    m->SetAnim(Mutant::COMBAT_JUMP_ATTACK_ANI, Mutant::Anims[Mutant::COMBAT_JUMP_ATTACK_ANI], 0);
    TestBullet fatal(100.0f);
    Shoot(m, fatal.b);
    EXPECT_TRUE(m->flags & 0x40000000);
    EXPECT_EQ(m->mode2, Mutant::COMBAT_JUMP_ATTACK_ANI) << "the take-off plays on";
    Looped(m);
    EXPECT_EQ(m->mode2, Mutant::COMBAT_JUMP_ATTACK_INAIR_KILLED_ANI);
    int frames = 0;
    while (m->mode2 == Mutant::COMBAT_JUMP_ATTACK_INAIR_KILLED_ANI && frames < 400) {
        world.Update();
        frames++;
    }
    EXPECT_EQ(m->mode2, Mutant::COMBAT_KILLED_ANI);
    EXPECT_GE(m->mat.GetTrans()[1], 0.0f) << "it came down to the floor";
    EXPECT_EQ(Notes(SMSG_EV_CHARACTER_DIED), 0);
    Looped(m);
    EXPECT_EQ(Notes(SMSG_EV_CHARACTER_DIED), 1);
}

TEST_F(MutantFromDisc, ACrouchedMutantStandsWhenThePlayerComesNearUnlessItLeaps)
{
    Start(MutantFiles());
    vbcallbacks.vsynccount = 0;
    ASSERT_NE(g_GlobalAGI.LoadAG(AnimGroup_Mutant, 0), nullptr);
    Object* player = new Object;
    player->id = -1;
    player->type = OBJT_CHARACTER;
    player->mat = TransMatrix(VectorPos(0.0f, 0.0f, 10.0f));
    world.AddObject(player, nullptr);
    Mutant* stands = Make(VectorPos(0.0f, 0.0f, 0.0f), Mutant::MODE_NORMAL);
    Mutant* leaps = Make(VectorPos(0.5f, 0.0f, 0.0f), Mutant::MODE_LEAP);
    stands->pTarget = leaps->pTarget = player;
    Ticks(5);
    EXPECT_EQ(stands->mode2, Mutant::COMBAT_IDLE_DUCK_ANI);
    player->mat.SetTrans(VectorPos(0.0f, 0.0f, 2.0f));
    Ticks(1);
    EXPECT_EQ(stands->mode2, Mutant::COMBAT_IDLE_DUCK_ASSUME_ANI);
    // Without a line of sight to the player the leaper stays down.
    Ticks(30);
    EXPECT_EQ(leaps->mode2, Mutant::COMBAT_IDLE_DUCK_ANI);
    // A blow of its swipes hurts 10; the swipe's striking part is marked
    // between the clip's events 29 and 30.
    EXPECT_EQ(SendSpecial(stands, SMSG_Q_COLLISION), 10);
    Object part;
    AnimEventMessage on{&part, 0, 29, 0}, off{&part, 0, 30, 0};
    stands->SendMessage(OM_ANIMEVENT, &on);
    EXPECT_TRUE(part.flags & 0x1000);
    stands->SendMessage(OM_ANIMEVENT, &off);
    EXPECT_FALSE(part.flags & 0x1000);
}

}  // namespace

// ---------------------------------------------------------------------------
// The mutant's body on the disc: loaded by the game's name for character
// 135 into the generator's slot, it gives the mutant the torso it sights the
// player from and the grab point its leaps land by.

namespace {

class MutantBodyFromDisc : public MutantFromDisc
{
protected:
    void SetUp() override
    {
        MutantFromDisc::SetUp();
        body.reset();   // the disc's body replaces the bare test one
    }
    void TearDown() override
    {
        g_GlobalMFI.DeleteMF(kMutantSlot, true);
        g_GlobalMFI.DeleteMF(kPlayerSlot, true);
        MutantFromDisc::TearDown();
    }
    static std::vector<tools::PakInputFile> Files()
    {
        std::vector<tools::PakInputFile> v = MutantFiles();
        std::string error;
        auto add = [&](const std::string& path, const tools::P2BFile& f) {
            std::vector<u8> bytes;
            EXPECT_TRUE(tools::WriteP2B(f, bytes, error)) << error;
            v.push_back({path, bytes, "test"});
        };
        add(tools::kMutantFilePath, tools::MutantFile());
        add("DemoData/Char/DACE.P2B", tools::HumanoidFile(tools::SampleHumanoids()[0].look));
        return v;
    }
    // The disc, the mutant's group and the two bodies by the game's names;
    // the player from the disc's figure at pos.
    void Load(VectorPos playerAt)
    {
        Start(Files());
        vbcallbacks.vsynccount = 0;
        ASSERT_NE(g_GlobalAGI.LoadAG(AnimGroup_Mutant, 0), nullptr);
        MDLFILE* mine = g_GlobalMFI.LoadMF(kMutantSlot, nullptr, 135, 0);
        MDLFILE* his = g_GlobalMFI.LoadMF(kPlayerSlot, nullptr, 64, 0);
        ASSERT_TRUE(mine != nullptr && mine->HasData());
        ASSERT_TRUE(his != nullptr && his->HasData());
        player = new Object;
        his->GetHierarchyTo(player, 0, 0);
        player->id = -1;
        player->type = OBJT_CHARACTER;
        player->mat = TransMatrix(playerAt);
        world.AddObject(player, nullptr);
    }
    // A generator h above the floor making one leaping mutant of character
    // 86 at mode start.
    Mutant* Leaper(float h)
    {
        auto* p = static_cast<EnemyGenMutant_params*>(calloc(1, sizeof(EnemyGenMutant_params)));
        p->character = 86;
        p->first_init = 1;
        p->spawn_num = 1;
        p->init_strength = 100;
        p->badass = 0.5f;
        p->appear = Mutant::MODE_LEAP;
        auto* g = reinterpret_cast<EnemyGenMutant*>(intptr_t(EnemyGenMutant::staticmh(nullptr, OM_CREATE, nullptr)));
        g->pegmp = p;
        g->mat = TransMatrix(VectorPos(0.0f, -h, 0.0f));
        world.AddObject(g, nullptr);
        SendSpecial(g, SMSG_MODE_START, sink);
        return g->pObj;
    }
    // Frames until the mutant's animation leaves slot, at most n.
    static void Until(Mutant* m, int slot, int n)
    {
        for (int k = 0; m->mode2 == slot && k < n; k++)
            world.Update();
    }
    static constexpr int kPlayerSlot = 64;
    Object* player = nullptr;
};

TEST_F(MutantBodyFromDisc, ALeaperDropsOnThePlayerInViewAndLandsInItsStrike)
{
    Load(VectorPos(0.0f, 0.0f, 2.0f));
    Mutant* m = Leaper(1.0f);
    ASSERT_NE(m, nullptr);
    Object* grab = m->FindSubObject(31);
    ASSERT_NE(m->FindSubObject(20), nullptr);
    ASSERT_NE(grab, nullptr);
    EXPECT_EQ(m->pTarget, player);
    EXPECT_FLOAT_EQ(m->mat.GetTrans()[1], -1.0f);
    // Within 3.125 and ahead of it (the torsos' line about 27 degrees off
    // its forward axis, inside 30): it leaps at once.
    world.Update();
    EXPECT_EQ(m->mode2, Mutant::COMBAT_JUMP_ATTACK_ANI);
    // The take-off ends with the grab point a whole unit above the floor:
    // it is in the air, and falls until that point reaches the floor.
    Until(m, Mutant::COMBAT_JUMP_ATTACK_ANI, 300);
    ASSERT_EQ(m->mode2, Mutant::COMBAT_JUMP_ATTACK_INAIR_ANI);
    EXPECT_GT(0.0f - grab->GetWorldPos()[1], 0.3125f);
    // It flies on at the take-off's own speed, straight at the player.
    EXPECT_NEAR(m->vdFallSpeed[0], 0.0f, 1e-4f);
    EXPECT_NEAR(m->vdFallSpeed[2], tools::kMutantLeapSpeed, 1e-4f);
    const float z0 = m->mat.GetTrans()[2];
    Until(m, Mutant::COMBAT_JUMP_ATTACK_INAIR_ANI, 300);
    ASSERT_EQ(m->mode2, Mutant::COMBAT_JUMP_ATTACK_STRIKE_ANI);
    EXPECT_GE(m->mat.GetTrans()[1], -0.05f) << "down on the floor";
    EXPECT_GT(m->mat.GetTrans()[2], z0) << "carried on toward the player";
    world.Update();
    EXPECT_LE(m->mat.GetTrans()[1], 0.0f) << "never below it";
}

// Its blows hurt only in the swipes and the landing strike: those clips
// raise the striking part's flag (event 29) and drop it again (30); the
// take-off, a spring forward, hurts nobody.
TEST_F(MutantBodyFromDisc, OnlyTheSwipesAndTheLandingStrikeRaiseTheStrikingFlag)
{
    Load(VectorPos(0.0f, 0.0f, 20.0f));   // far off: it only plays what it is given
    Mutant* m = Leaper(0.0f);
    ASSERT_NE(m, nullptr);
    auto striking = [](Object* root) {
        std::vector<Object*> stack{root};
        while (!stack.empty()) {
            Object* o = stack.back();
            stack.pop_back();
            if (o->flags & 0x1000)
                return true;
            for (Object* c = o->child; c != nullptr; c = c->sibling)
                stack.push_back(c);
        }
        return false;
    };
    for (int slot : {Mutant::COMBAT_ATTACK_1_ANI, Mutant::COMBAT_ATTACK_2_ANI, Mutant::COMBAT_JUMP_ATTACK_STRIKE_ANI,
                     Mutant::COMBAT_JUMP_ATTACK_ANI}) {
        m->mat = TransMatrix(0.0f, 0.0f, 0.0f);
        m->SetAnim(s16(slot), Mutant::Anims[slot], 0);
        bool raised = false;
        for (int f = 0; f < 120 && m->mode2 == slot; f++) {
            world.Update();
            raised |= striking(m);
        }
        EXPECT_NE(m->mode2, slot) << "played to its end";
        EXPECT_EQ(raised, slot != Mutant::COMBAT_JUMP_ATTACK_ANI) << slot;
        EXPECT_FALSE(striking(m)) << slot << ": dropped again";
    }
}

TEST_F(MutantBodyFromDisc, NearTheFloorItStrikesStraightAwayAndWithThePlayerBehindItStaysDown)
{
    Load(VectorPos(0.0f, 0.0f, 2.0f));
    Mutant* m = Leaper(0.2f);
    ASSERT_NE(m, nullptr);
    world.Update();
    ASSERT_EQ(m->mode2, Mutant::COMBAT_JUMP_ATTACK_ANI);
    Until(m, Mutant::COMBAT_JUMP_ATTACK_ANI, 300);
    EXPECT_EQ(m->mode2, Mutant::COMBAT_JUMP_ATTACK_STRIKE_ANI);

    // The player as near but behind it: not in view, so it never leaps
    // (and, leaping being its way, never stands either).
    player->mat.SetTrans(VectorPos(0.0f, 0.0f, -2.0f));
    Mutant* back = Leaper(0.2f);
    ASSERT_NE(back, nullptr);
    Ticks(60);
    EXPECT_EQ(back->mode2, Mutant::COMBAT_IDLE_DUCK_ANI);
}

}  // namespace
