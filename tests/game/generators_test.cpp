// The shooter, fighter and guard generators making real enemies: the weapon
// codes, records that ask for models past the registry, a trigger that
// wants the crossing from one volume into the other, shooters made one
// after another, a dormant shooter woken by the player's approach, fighters
// made only on their own wave and put in their places by the fight, and
// guards asleep until the player is near.
#include "game/gamemodes_support.h"
#include "tests/game/enemy_support.h"

#include <cmath>
#include <type_traits>
#include <vector>

#include "ZevEngine2/EntTypes.h"
#include "game/Weapons.h"
#include "game/explode_support.h"
#include "tools/lib/props.h"

using namespace modetest;

namespace {

int g_genStage = 0;
int Controller_mh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg != OM_SPECIAL)
        return 0;
    auto* m = static_cast<SpecialMessage*>(data);
    g_heard.push_back({m->submsg, m->obj, int(m->param[0]), world.time});
    return m->submsg == SMSG_MODE_GET_STAGE ? g_genStage : 0;
}

// The tint sets of every drawn part of a hierarchy.
void Tints(const Object* o, std::vector<int>* out)
{
    if (o->geom != nullptr)
        out->push_back(o->geom->params[0]);
    for (const Object* c = o->child; c != nullptr; c = c->sibling)
        Tints(c, out);
}

// The enemies' model in the first character slot and their groups loaded.
class Generators : public ModeWorld
{
protected:
    void SetUp() override
    {
        ModeWorld::SetUp();
        controller = new Object(Controller_mh);
        g_genStage = 1;
        world.playbackSpeed = 1.0f;
    }
    void TearDown() override
    {
        controller->Delete();
        ModeWorld::TearDown();
    }
    EnemyGenShooter* Shooter(const EnemyGenShooter_params& p, VectorPos at)
    {
        auto* g = reinterpret_cast<EnemyGenShooter*>(intptr_t(EnemyGenShooter::staticmh(nullptr, OM_CREATE, nullptr)));
        g->pegsp = static_cast<EnemyGenShooter_params*>(malloc_align(sizeof p, 16));
        *g->pegsp = p;
        g->mat = TransMatrix(at);
        world.AddObject(g, nullptr);
        SendSpecial(g, SMSG_MODE_START, controller, 6);
        return g;
    }
    static EnemyGenShooter_params Record()
    {
        EnemyGenShooter_params p{};
        p.spawn_num = 1;
        p.init_wave = 1;
        p.init_strength = 50;
        p.vo_bank = NPCVO_NOBANK;   // no sound module runs here
        return p;
    }
    static Extent Volume(VectorPos c, float h) { return Extent(Cuboid(c, h).UnitMat()); }

    // The enemies in the world, by their kinds' handlers.
    static int Enemies()
    {
        int n = 0;
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            n += AsEnemy(l->data) != nullptr && !l->data->IsDead() ? 1 : 0;
        return n;
    }

    Object* controller = nullptr;
    enemyrig::Kit kit{49};
};

}  // namespace

TEST_F(Generators, WeaponCodesAndRecordsPastTheRegistry)
{
    const int codes[] = {0, 1, 2, 3, 5, 7, 200};
    const int types[] = {4, 11, 23, 16, 21, 5, 4};
    for (size_t i = 0; i < std::size(codes); i++)
        EXPECT_EQ(ShooterWeaponType(codes[i]), types[i]) << codes[i];
    EXPECT_EQ(WEAP_PISTOL_RUGER, 4);

    // Character 250 (slot 299) makes no shooter; weapon 200 a pistol one.
    EnemyGenShooter_params p = Record();
    p.character = 250;
    EnemyGenShooter* none = Shooter(p, VectorPos(0, 0, 0));
    Ticks(5);
    EXPECT_EQ(none->enemy, nullptr);
    EXPECT_EQ(Enemies(), 0);
    p.character = 0;
    p.weapon = 200;
    EnemyGenShooter* pistol = Shooter(p, VectorPos(0, 0, 0));
    Ticks(1);
    Enemy* e = AsEnemy(pistol->enemy);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->shootweapontype, WEAP_PISTOL_RUGER);
    EXPECT_FLOAT_EQ(e->strength, 50.0f);
    EXPECT_FLOAT_EQ(e->initialstrength, 50.0f);
    EXPECT_EQ(e->gameeventobj, pistol);
    EXPECT_EQ(pistol->enemy->mode, 22);   // arriving
}

// A set-up loaded for a cinematic only: the generators that make their
// enemy at the mode's start (a shooter's start rule 1 or 3, a fighter's,
// guard's or creature's non-zero one) stand it as a still figure at their
// place instead, with the record's id and tint and one more reference to
// its model; the others stand nothing, and none of them runs a frame.
TEST_F(Generators, ACinematicOnlySetUpStandsTheFiguresOfTheEnemiesMadeAtTheStart)
{
    gc->bCinematicOnly = true;
    const u16 refs = g_GlobalMFI.rgmfi[49].smf.refs;
    std::vector<Object*> gens;
    // A generator of kind G with its own copy of record p, at (x, 0, 4).
    auto place = [&](auto* g, auto member, const auto& p, float x) {
        using P = std::remove_cvref_t<decltype(p)>;
        g->*member = static_cast<P*>(malloc_align(sizeof(P), 16));
        *(g->*member) = p;
        g->mat = TransMatrix(x, 0, 4);
        world.AddObject(g, nullptr);
        gens.push_back(g);
    };
    auto made = [](auto staticmh) { return reinterpret_cast<void*>(intptr_t(staticmh(nullptr, OM_CREATE, nullptr))); };
    // Shooters with start rules 0..3: ids -120.., tints 0..3, at x = 0..3.
    for (int rule = 0; rule < 4; rule++) {
        EnemyGenShooter_params p = Record();
        p.first_init = u8(rule);
        p.id = s16(-120 - rule);
        p.first_tint = rule;
        place(static_cast<EnemyGenShooter*>(made(EnemyGenShooter::staticmh)), &EnemyGenShooter::pegsp, p,
              float(rule));
    }
    // Fighters, guards and creatures with rules 0 and 1: ids -130.., -140..,
    // -150.., tint 2 (the guard's own tint field), at x = 10.., 20.., 30...
    for (int rule = 0; rule < 2; rule++) {
        EnemyGenFighter_params f{};
        f.first_init = u8(rule);
        f.id = s16(-130 - rule);
        f.first_tint = 2;
        place(static_cast<EnemyGenFighter*>(made(EnemyGenFighter::staticmh)), &EnemyGenFighter::pegfp, f,
              10.0f + float(rule));
        EnemyGenGuard_params g{};
        g.first_init = u8(rule);
        g.id = s16(-140 - rule);
        g.tint = 2;
        place(static_cast<EnemyGenGuard*>(made(EnemyGenGuard::staticmh)), &EnemyGenGuard::peggp, g,
              20.0f + float(rule));
        EnemyGenMutant_params m{};
        m.first_init = u8(rule);
        m.id = s16(-150 - rule);
        m.first_tint = 2;
        place(static_cast<EnemyGenMutant*>(made(EnemyGenMutant::staticmh)), &EnemyGenMutant::pegmp, m,
              30.0f + float(rule));
    }
    Ticks(5);
    for (Object* g : gens)
        EXPECT_FALSE(g->flags & OBJF_FRAMECALL);
    struct Want
    {
        int id;
        bool stands;
        float x;
        int tint;
    };
    const Want wants[] = {{-120, false, 0, 0}, {-121, true, 1, 1},  {-122, false, 2, 2},  {-123, true, 3, 3},
                          {-130, false, 10, 2}, {-131, true, 11, 2}, {-140, false, 20, 2}, {-141, true, 21, 2},
                          {-150, false, 30, 2}, {-151, true, 31, 2}};
    int standing = 0;
    for (const Want& w : wants) {
        Object* o = world.objectlist.Find(w.id);
        if (!w.stands) {
            EXPECT_EQ(o, nullptr) << w.id;
            continue;
        }
        ASSERT_NE(o, nullptr) << w.id;
        standing++;
        EXPECT_EQ(o->messagehandler, &CharDefHandler) << w.id;
        EXPECT_EQ(o->type, OBJT_CHARACTER) << w.id;
        EXPECT_TRUE(o->flags & OBJF_NOCOLLISION) << w.id;
        EXPECT_EQ(o->GetWorldPos(), VectorPos(w.x, 0, 4)) << w.id;   // still: where its generator stands
        EXPECT_EQ(AsEnemy(o), nullptr) << w.id;
        std::vector<int> tints;
        Tints(o, &tints);
        EXPECT_FALSE(tints.empty()) << w.id;
        for (int t : tints)
            EXPECT_EQ(t, w.tint) << w.id;
    }
    EXPECT_EQ(standing, 5);
    EXPECT_EQ(Enemies(), 0);
    EXPECT_EQ(g_GlobalMFI.rgmfi[49].smf.refs, refs + 5);

    // Loaded for play, the same record stands nothing: its enemy comes at
    // the mode's start.
    gc->bCinematicOnly = false;
    EnemyGenFighter_params f{};
    f.first_init = 1;
    f.id = -160;
    auto* g = static_cast<EnemyGenFighter*>(made(EnemyGenFighter::staticmh));
    place(g, &EnemyGenFighter::pegfp, f, 40.0f);
    EXPECT_EQ(world.objectlist.Find(-160), nullptr);
    EXPECT_TRUE(g->flags & OBJF_FRAMECALL);
}

TEST_F(Generators, ModeTwoWantsTheCrossingAndShootersComeOneAfterAnother)
{
    EnemyGenShooter_params p = Record();
    p.trigger_init = Volume(VectorPos(5, 0, 0), 5.0f);
    p.trigger_init2 = Volume(VectorPos(15, 0, 0), 5.0f);
    p.triggermode = 2;
    p.spawn_num = 3;
    EnemyGenShooter* g = Shooter(p, VectorPos(100, 0, 0));
    // Into the second volume from elsewhere: nothing.
    player->mat.SetTrans(VectorPos(15, 0, 30));
    Ticks(3);
    player->mat.SetTrans(VectorPos(15, 0, 0));
    Ticks(3);
    EXPECT_EQ(g->enemy, nullptr);
    // From the first into the second: the shooter comes on that tick.
    player->mat.SetTrans(VectorPos(5, 0, 0));
    Ticks(3);
    EXPECT_EQ(g->enemy, nullptr);
    player->mat.SetTrans(VectorPos(15, 0, 0));
    Ticks(1);
    ASSERT_NE(g->enemy, nullptr);
    EXPECT_EQ(g->numspawned, 1);

    // The next one only once the last is out of play; after the third,
    // spawning is over.
    for (int k = 2; k <= 3; k++) {
        Object* last = g->enemy;
        Ticks(5);
        EXPECT_EQ(g->enemy, last);
        last->flags |= 0x40000000;
        Ticks(1);
        EXPECT_NE(g->enemy, last);
        EXPECT_EQ(g->numspawned, k);
    }
    EXPECT_FALSE(g->lastenemykilled);
    g->enemy->flags |= 0x10000000;
    Ticks(1);
    EXPECT_TRUE(g->lastenemykilled);
    EXPECT_EQ(g->numspawned, 3);
    EXPECT_EQ(Enemies(), 3);
}

TEST_F(Generators, ADormantShooterWakesAsThePlayerComesNearWhateverTheStage)
{
    EnemyGenShooter_params p = Record();
    p.first_init = 1;
    p.init_wave = 5;
    player->mat.SetTrans(VectorPos(20, 0, 0));
    EnemyGenShooter* g = Shooter(p, VectorPos(0, 0, 0));
    ASSERT_NE(g->enemy, nullptr);   // made at the start, dormant: its wave has not come
    EXPECT_EQ(g->enemy->mode, 0);
    Ticks(10);
    EXPECT_EQ(g->enemy->mode, 0);
    player->mat.SetTrans(VectorPos(1.6f, 0, 0));
    Ticks(2);
    EXPECT_EQ(g->enemy->mode, 0);
    player->mat.SetTrans(VectorPos(1.5f, 0, 0));
    Ticks(1);
    EXPECT_NE(g->enemy->mode, 0);   // arriving, and without a path on to its patrol
}

TEST_F(Generators, FightersComeOnlyOnTheirOwnWave)
{
    auto fighterGen = [&](int wave) {
        auto* g = reinterpret_cast<EnemyGenFighter*>(intptr_t(EnemyGenFighter::staticmh(nullptr, OM_CREATE, nullptr)));
        g->pegfp = static_cast<EnemyGenFighter_params*>(malloc_align(sizeof(EnemyGenFighter_params), 16));
        *g->pegfp = EnemyGenFighter_params{};
        g->pegfp->init_wave = u8(wave);
        g->pegfp->init_strength = 30;
    g->pegfp->vo_bank = NPCVO_NOBANK;
        g->pegfp->vo_bank = NPCVO_NOBANK;
        g->mat = TransMatrix(30, 0, 0);
        world.AddObject(g, nullptr);
        SendSpecial(g, SMSG_MODE_START, controller, 4);
        return g;
    };
    g_genStage = 2;
    EnemyGenFighter* past = fighterGen(1);
    EnemyGenFighter* now = fighterGen(2);
    EnemyGenFighter* later = fighterGen(3);
    Ticks(1);
    EXPECT_EQ(past->enemy, nullptr);
    ASSERT_NE(now->enemy, nullptr);
    EXPECT_EQ(later->enemy, nullptr);
    // Made arriving (22); without an arrive path it joins the fight at its
    // first frame.
    EXPECT_EQ(now->enemy->mode, 21);
    // Handed to the fight as a passive foe, then put in its stage.
    int add = -1, staged = -1;
    for (size_t i = 0; i < g_heard.size(); i++) {
        if (g_heard[i].code == SMSG_EV_ADD_PASSIVE_FOE && g_heard[i].obj == now->enemy)
            add = int(i);
        if (g_heard[i].code == SMSG_MODE_FOE_ADDED && g_heard[i].obj == now->enemy)
            staged = int(i);
    }
    ASSERT_GE(add, 0);
    EXPECT_LT(add, staged);
    EXPECT_EQ(g_heard[size_t(staged)].param0, 2);
    g_genStage = 4;
    Ticks(10);
    EXPECT_EQ(past->enemy, nullptr);
    EXPECT_EQ(later->enemy, nullptr);
    // Out of play: the generator leaves its stage once.
    now->enemy->flags |= 0x20000000;
    Ticks(3);
    EXPECT_TRUE(now->enemykilled);
    int removed = 0;
    for (const Heard& h : g_heard)
        removed += h.code == SMSG_MODE_FOE_REMOVED && h.obj == now ? 1 : 0;
    EXPECT_EQ(removed, 2);   // when its fighter was made, and now
}

TEST_F(Generators, GuardsComeByDistanceOrVolumeSleepUntilBothAndCarryOneArrow)
{
    explodetest::SlotFile markers(144, tools::AttentionGlowFile());
    for (Object*& t : gc->rvpSubMissionTargets)
        t = recorder;   // every map target slot taken
    auto* g = reinterpret_cast<EnemyGenGuard*>(intptr_t(EnemyGenGuard::staticmh(nullptr, OM_CREATE, nullptr)));
    g->peggp = static_cast<EnemyGenGuard_params*>(malloc_align(sizeof(EnemyGenGuard_params), 16));
    *g->peggp = EnemyGenGuard_params{};
    g->peggp->init_distance = 16.0f;   // 5 units
    g->peggp->init_trigger = Extent(Cuboid(VectorPos(0, 0, 10), 3.0f).UnitMat());
    g->peggp->gun = 1;
    g->peggp->vo_bank = NPCVO_NOBANK;
    g->mat = TransMatrix(0, 0, 0);
    world.AddObject(g, nullptr);
    SendSpecial(g, SMSG_MODE_START, controller, 6);
    // Neither: nothing.  In the volume only (10 away): made, asleep.
    player->mat.SetTrans(VectorPos(30, 0, 0));
    Ticks(3);
    EXPECT_EQ(g->enemy, nullptr);
    player->mat.SetTrans(VectorPos(0, 0, 10));
    Ticks(1);
    ASSERT_NE(g->enemy, nullptr);
    EXPECT_TRUE(g->enemyhibernating);
    Enemy* guard = AsEnemy(g->enemy);
    ASSERT_NE(guard, nullptr);
    EXPECT_TRUE(guard->IsHibernating());
    EXPECT_EQ(guard->shootweapontype, WEAP_PISTOL_RUGER);
    EXPECT_FLOAT_EQ(guard->strength, 100.0f);
    EXPECT_EQ(guard->mode, 32);   // standing guard: no path
    // Guards idle and startle with clips 8 and 1 of their own group.
    const AnimGroup* ag = g_GlobalAGI.GetAG(AnimGroup_NPCGuard);
    ASSERT_NE(ag, nullptr);
    EXPECT_EQ(Enemy::Anims[+BadGuyAnims::NPC_IDLE_ANI], ag->pChars[8]);
    EXPECT_EQ(Enemy::Anims[+BadGuyAnims::NPC_SHOCKED_ANI], ag->pChars[1]);
    EXPECT_EQ(Enemy::AnimBanks[+BadGuyAnims::NPC_IDLE_ANI], 4);
    for (Object* t : gc->rvpSubMissionTargets)
        EXPECT_NE(t, g->enemy);
    // Within 5 and inside the volume (which reaches z 7): awake.
    player->mat.SetTrans(VectorPos(0, 0, 7.5f));
    Ticks(1);
    EXPECT_EQ(g->enemyhibernating, true);   // 7.5 away: not within 5
    g->peggp->init_distance = 25.6f;        // 8 units
    Ticks(1);
    EXPECT_FALSE(g->enemyhibernating);
    EXPECT_FALSE(guard->IsHibernating());

    // A spotting hangs one arrow on the guard; a second one replaces it.
    SendSpecial(g, SMSG_EV_TARGET_SPOTTED, g->enemy);
    Object* first = g->pHudArrowObj;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->parent, g->enemy);
    EXPECT_EQ(first->id, 1001);
    RCptr<Object> hold(first);
    SendSpecial(g, SMSG_EV_TARGET_SPOTTED, g->enemy);
    EXPECT_TRUE(first->IsDead());
    ASSERT_NE(g->pHudArrowObj, nullptr);
    int arrows = 0;
    for (Object* c = g->enemy->child; c != nullptr; c = c->sibling)
        arrows += c->id == 1001 ? 1 : 0;
    EXPECT_EQ(arrows, 1);
    for (Object*& t : gc->rvpSubMissionTargets)
        t = nullptr;
}

namespace {

EnemyGenFighter* PlaceFighterGen(int wave, VectorPos at)
{
    auto* g = reinterpret_cast<EnemyGenFighter*>(intptr_t(EnemyGenFighter::staticmh(nullptr, OM_CREATE, nullptr)));
    g->pegfp = static_cast<EnemyGenFighter_params*>(malloc_align(sizeof(EnemyGenFighter_params), 16));
    *g->pegfp = EnemyGenFighter_params{};
    g->pegfp->init_wave = u8(wave);
    g->pegfp->init_strength = 30;
    g->pegfp->vo_bank = NPCVO_NOBANK;
    g->mat = TransMatrix(at);
    world.AddObject(g, nullptr);
    return g;
}

}  // namespace

// The bar fight as the game flow runs it: three fighter generators placed,
// the fight set up (stage 1), the foes made and handed over, the ring and
// sideline filled; each knocked-out foe leaves its stage through its
// generator, and the fight is won at the 15-frame check after the last.
TEST_F(Generators, AFightSetUpByTheGameFlowIsWonWhenEveryFoeIsDown)
{
    EnemyGenFighter* gens[3] = {PlaceFighterGen(1, VectorPos(0, 0, 4)), PlaceFighterGen(1, VectorPos(3, 0, 5)),
                                PlaceFighterGen(2, VectorPos(-3, 0, 6))};
    ControllerCombat_params cc{0, 0, 0, 1};
    gc->SetFightMissionMode(&cc, -1);
    auto* f = static_cast<FightMissionController*>(gc->pMission);
    ASSERT_NE(f, nullptr);
    f->gameeventobj = recorder;
    EXPECT_TRUE(gc->pmd != nullptr);
    Ticks(2);
    ASSERT_NE(gens[0]->enemy, nullptr);
    ASSERT_NE(gens[1]->enemy, nullptr);
    EXPECT_EQ(gens[2]->enemy, nullptr);   // wave 2 has not come
    EXPECT_EQ(f->numactivefoes, 1);
    EXPECT_EQ(f->numpassivefoes, 1);
    EXPECT_EQ(f->StageObjects[1].Count(), 2);
    // The nearer fighter is sent in at the front; the other waits at the
    // sideline, 3.125 from the player straight past the front foe.
    Enemy* front = AsEnemy(f->activefoes[0]);
    Enemy* side = AsEnemy(f->passivefoes[0]);
    ASSERT_NE(front, nullptr);
    ASSERT_NE(side, nullptr);
    EXPECT_EQ(front, gens[0]->enemy);
    EXPECT_EQ(front->enemytype, Enemy::ENEMYTYPE_FIGHTER);
    EXPECT_FLOAT_EQ(front->strength, 30.0f);
    EXPECT_EQ(front->attackmode, Enemy::AM_FRONT);
    EXPECT_EQ(side->attackmode, Enemy::AM_PASSIVE);
    VectorDir toFront = front->GetWorldPos() - player->GetWorldPos();
    toFront[1] = 0.0f;
    const VectorDir toSide = side->fightpos - player->GetWorldPos();
    EXPECT_NEAR(std::hypot(toSide[0], toSide[2]), 3.125f, 1e-3f);
    EXPECT_NEAR(Dot(Normalise(toFront), toSide), 3.125f, 1e-3f);

    // Both first-wave foes die: their generators report them gone, the
    // stage moves on to 2 and its generator makes its fighter.
    for (int k = 0; k < 2; k++) {
        Object* e = gens[k]->enemy;
        e->flags |= 0x20000000;
        SpecialMessage died(SMSG_EV_CHARACTER_DIED, e);
        gens[k]->SendMessage(OM_SPECIAL, &died);
    }
    EXPECT_EQ(Count(SMSG_EV_CHARACTER_DIED), 2);   // passed on up to the game flow
    Ticks(3);
    EXPECT_EQ(f->iStage, 2);
    ASSERT_NE(gens[2]->enemy, nullptr);
    EXPECT_EQ(gc->iMissionRet, 0);
    Object* last = gens[2]->enemy;
    last->flags |= 0x20000000;
    SpecialMessage died(SMSG_EV_CHARACTER_DIED, last);
    gens[2]->SendMessage(OM_SPECIAL, &died);
    const int start = world.time;
    const int at = TicksToResult(40);
    EXPECT_EQ(gc->iMissionRet, 1);
    EXPECT_GE(f->iStage, 63);
    EXPECT_LE(at - start, 19);   // the next 15-frame check, ticks of 1.2 frames
}

// The spa shoot-out: gunmen of stages 1 and 2; the second stage's generator
// holds its stage until the first is cleared, then makes its gunman; when he
// is down too the mode is won.
TEST_F(Generators, AShootOutInTwoWavesIsWonWhenBothAreCleared)
{
    EnemyGenShooter_params p = Record();
    p.distance_init = 0.0f;   // no trigger: each comes when its wave does
    auto place = [&](int wave) {
        auto* g = reinterpret_cast<EnemyGenShooter*>(intptr_t(EnemyGenShooter::staticmh(nullptr, OM_CREATE, nullptr)));
        g->pegsp = static_cast<EnemyGenShooter_params*>(malloc_align(sizeof p, 16));
        *g->pegsp = p;
        g->pegsp->init_wave = wave;
        g->mat = TransMatrix(10.0f * float(wave), 0, 20);
        world.AddObject(g, nullptr);
        return g;
    };
    EnemyGenShooter* first = place(1);
    EnemyGenShooter* second = place(2);
    ShootoutMissionParams sp{1};
    gc->SetShootoutMissionMode(sp, -1);
    auto* c = static_cast<ShootoutMissionController*>(gc->pMission);
    ASSERT_NE(c, nullptr);
    c->gameeventobj = recorder;
    Ticks(2);
    ASSERT_NE(first->enemy, nullptr);
    EXPECT_EQ(second->enemy, nullptr);
    EXPECT_EQ(c->StageObjects[2].Count(), 1);   // the waiting generator itself
    auto down = [](EnemyGenShooter* g) {
        Object* e = g->enemy;
        e->flags |= 0x40000000;
        SpecialMessage died(SMSG_EV_CHARACTER_DIED, e);
        g->SendMessage(OM_SPECIAL, &died);
    };
    down(first);
    Ticks(3);
    EXPECT_EQ(c->iStage, 2);
    ASSERT_NE(second->enemy, nullptr);
    EXPECT_EQ(gc->iMissionRet, 0);
    down(second);
    EXPECT_GE(TicksToResult(40), 0);
    EXPECT_EQ(gc->iMissionRet, 1);
    EXPECT_TRUE(first->lastenemykilled);
}
