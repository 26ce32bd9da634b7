// The random crimes' groups and their spawner: the group tables and asset
// lists, the spawner's cycle through the timer's crimes with its cool-downs,
// and the crimes bystanders ask for with the objects they hand over.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "ZevEngine2/Utilities.h"
#include "game/Bystander.h"
#include "game/controller_support.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/RandCrimesGenerator.h"

namespace {

const std::set<int> kGroups = {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114,
                               117, 118, 121, 122, 123, 124, 125, 126, 127, 129, 130, 138, 139};
const std::set<int> kTimerCrimes = {1, 2, 3, 10, 13, 14, 17, 18, 21, 22, 23, 24, 25, 26, 27, 29, 30};

// The entries of a list before its end entry.
std::vector<const AssetLoadParams*> Entries(const AssetLoadParams* list)
{
    std::vector<const AssetLoadParams*> out;
    for (; list != nullptr && list->i16MFID >= 0; list++)
        out.push_back(list);
    return out;
}

TEST(CrimeTables, TwentySevenGroupsTheirRowsListsAndCharacterGroups)
{
    int groups = 0;
    for (int index = 0; index < RC_NUMINDEXES; index++) {
        const bool has = kGroups.count(100 + index) != 0;
        groups += RandMissRow(index, 0) != nullptr;
        // Every table of the crime index agrees on which groups exist.
        EXPECT_EQ(RandMissRow(index, 0) != nullptr, has) << index;
        EXPECT_EQ(rprmchRandomMissionSpawner[index] != nullptr, has) << index;
        EXPECT_EQ(rprmchGetMissionPosition[index] != nullptr, has) << index;
        EXPECT_EQ(rprmchRandomMissionCommander[index] != nullptr, has) << index;
        if (!has)
            continue;
        const RandMissParams* r0 = RandMissRow(index, 0);
        EXPECT_EQ(r0->iIndex, index);
        EXPECT_EQ(r0->minwait, 300);
        EXPECT_EQ(r0->maxwait, 300);
        EXPECT_EQ(r0->minradius, 93.75f);
        EXPECT_EQ(r0->maxradius, index == 23 ? 468.75f : 218.75f);
        // Every list casts the police last.
        const auto entries = Entries(r0->palp);
        ASSERT_FALSE(entries.empty()) << index;
        EXPECT_EQ(entries.back()->i16MFID, 1025) << index;
        EXPECT_EQ(entries.back()->atype, AT_AMBCHAR);
        const bool oneRow = index == 13 || index == 14 || index == 18 || index == 22;
        for (int d = 1; d <= 3; d++) {
            // A level without a row of its own takes the last row.
            const RandMissParams* r = RandMissRow(index, d);
            const RandMissParams* expected = oneRow ? r0 : RandMissRow(index, std::min(d, 2));
            EXPECT_EQ(r, expected) << index << " at " << d;
            EXPECT_STREQ(r->startmsg, r0->startmsg);
        }
        if (!oneRow) {
            EXPECT_EQ(RandMissRow(index, 1) - r0, 1);
            EXPECT_EQ(RandMissRow(index, 2) - r0, 2);
            EXPECT_EQ(RandMissRow(index, 2)->iDifficulty, 2);
        }
    }
    EXPECT_EQ(groups, 27);
    EXPECT_EQ(RandMissRow(40, 0), nullptr);
    EXPECT_EQ(RandMissRow(-1, 0), nullptr);

    // Group 129 runs at level 1 from difficulty 0; 118 and 122's one row too.
    EXPECT_EQ(RandMissRow(29, 0)->iDifficulty, 1);
    EXPECT_EQ(RandMissRow(18, 0)->iDifficulty, 1);
    EXPECT_EQ(RandMissRow(22, 2)->iDifficulty, 1);
    EXPECT_EQ(RandMissRow(13, 2)->iDifficulty, 0);

    // Texts as the HUD shows them, and the one row that differs.
    EXPECT_STREQ(rgg127rmp[1].startmsg, "STOP CAR, DANGEROUS SUSPECTS");
    EXPECT_STREQ(rgg125rmp[0].startmsg, "HIT-AND-RUN FELONY");
    EXPECT_STREQ(rgg121rmp[0].badcopmsg, "HELP OFFICERS IN FIREFIGHT");
    EXPECT_STREQ(rgg121rmp[1].badcopmsg, "HELP OFFICERS UNDER FIRE");
    EXPECT_STREQ(rgg110rmp[2].goodcopmsg, "DEFUSE HOSTAGE SITUATION");

    // Flags by kind of crime.
    EXPECT_TRUE(rgg130rmp[0].tail && rgg130rmp[0].carchase && !rgg130rmp[0].emergent);
    EXPECT_TRUE(rgg123rmp[0].getaway && rgg123rmp[0].gunfight);
    EXPECT_TRUE(rgg129rmp[2].driveby);
    EXPECT_TRUE(rgg126rmp[0].policechase && rgg127rmp[0].policechase && !rgg124rmp[0].policechase);
    for (int index : {4, 5, 6, 7, 8, 9, 11, 12, 38, 39})
        EXPECT_TRUE(RandMissRow(index, 0)->emergent) << index;
    EXPECT_EQ(rgg124rmp[0].timetodo, 1800);
    EXPECT_EQ(rgg104rmp[0].responsedist, 0.9375f);

    // List sizes, and the environment file the 22 groups name.
    EXPECT_EQ(Entries(ralpGenG104).size(), 1u);
    EXPECT_EQ(Entries(ralpGenG110).size(), 7u);
    EXPECT_EQ(Entries(ralpGenG123).size(), 5u);
    EXPECT_STREQ(ralpGenG113[0].pFName, "KORVALIS\\DemoData\\RCRIMES\\GENG113.P2B");
    EXPECT_EQ(ralpGenG113[0].atype, AT_ENVIRONMENT);
    EXPECT_EQ(ralpGenG123[2].i16MFID, 102);
    EXPECT_EQ(ralpGenG123[3].atype, AT_AMBVEH);
    int environments = 0;
    for (int g : kGroups)
        environments += Entries(RandMissRow(g - 100, 0)->palp)[0]->atype == AT_ENVIRONMENT;
    EXPECT_EQ(environments, 22);

    // At difficulty 0 group 126 casts its 1027 entry and not its 1026 one;
    // at 1 and 2 the reverse.
    auto used = [](int index, int difficulty, int id) {
        const RandMissParams* r = RandMissRow(index, difficulty);
        for (const AssetLoadParams* a : Entries(r->palp))
            if (a->i16MFID == id && (a->iLevelMask == 0 || (a->iLevelMask & (1 << r->iDifficulty)) != 0))
                return true;
        return false;
    };
    EXPECT_TRUE(used(26, 0, 1027));
    EXPECT_FALSE(used(26, 0, 1026));
    for (int d : {1, 2}) {
        EXPECT_TRUE(used(26, d, 1026));
        EXPECT_FALSE(used(26, d, 1027));
    }

    // The character groups 1024..1031.
    const size_t sizes[8] = {12, 3, 8, 6, 4, 7, 6, 10};
    for (int g = 0; g < 8; g++) {
        size_t n = 0;
        while (rgpi16CharGroups[g][n] >= 0)
            n++;
        EXPECT_EQ(n, sizes[g]) << 1024 + g;
    }
    EXPECT_EQ(rgpi16CharGroups[1][0], 140);   // the police: POLICEMN first
    EXPECT_EQ(rgpi16CharGroups[7][9], 164);
}

TEST(CrimeTables, EachIndexHasItsGroupsCreator)
{
    EXPECT_EQ(rprmchRandomMissionSpawner[6], &CreateRMGenG106);
    EXPECT_EQ(rprmchRandomMissionSpawner[39], &CreateRMGenG139);
    EXPECT_EQ(rprmchRandomMissionSpawner[29], &CreateRMGenG129);
    EXPECT_EQ(rprmchRandomMissionCommander[25], &MissionCommanderRMGenG125);
    EXPECT_EQ(rprmchGetMissionPosition[30], &GetMissionPositionRMGenG130);
}

// ---------------------------------------------------------------------------
// The spawner, with the creators replaced by stand-ins that record what the
// spawner asks for and what it hands the crime.

struct Heard
{
    int code;
    Object* obj;
    int p0;
};

std::vector<int> g_asked;        // crime indexes the creators were asked for
std::vector<int> g_difficulty;   // with these difficulty rows
std::vector<Object*> g_parents;
std::vector<Heard> g_heard;      // what the crimes heard
std::set<int> g_refuse;          // indexes whose creator returns null

int FakeCrime_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL) {
        auto* m = static_cast<SpecialMessage*>(data);
        g_heard.push_back({m->submsg, m->obj, int(m->param[0])});
    }
    if (msg == OM_DIE) {
        delete o;
        return -1;
    }
    return 0;
}

template <int Index>
Object* FakeCreator(Object* parent, int difficulty)
{
    g_asked.push_back(Index);
    g_difficulty.push_back(difficulty);
    g_parents.push_back(parent);
    if (g_refuse.count(Index) != 0)
        return nullptr;
    Object* o = new Object;
    o->messagehandler = FakeCrime_mh;
    return o;
}

template <int... I>
void InstallFakes(std::integer_sequence<int, I...>)
{
    ((rprmchRandomMissionSpawner[I] = rprmchRandomMissionSpawner[I] != nullptr ? &FakeCreator<I> : nullptr), ...);
}

class Spawner : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::copy(std::begin(rprmchRandomMissionSpawner), std::end(rprmchRandomMissionSpawner), saved);
        InstallFakes(std::make_integer_sequence<int, RC_NUMINDEXES>());
        g_asked.clear();
        g_difficulty.clear();
        g_parents.clear();
        g_heard.clear();
        g_refuse.clear();
        world.Clear();
        gc = gametest::Controller();
        gc->pMission = nullptr;
        gc->i16RCrimeOverride = -1;
        gc->i16RCrimeDifficultyLevel = 0;
        gc->bRandomMissionActive = false;
    }
    void TearDown() override
    {
        if (gc->prms != nullptr)
            gc->prms->Delete();
        EXPECT_EQ(gc->prms, nullptr);
        world.Clear();
        std::copy(std::begin(saved), std::end(saved), rprmchRandomMissionSpawner);
    }

    RandomMissionSpawner* Make(int index = -1)
    {
        gc->SetupGeneratedRandMission(index);
        return static_cast<RandomMissionSpawner*>(gc->prms);
    }
    // The delay of the spawner's pending timer in frames, -1 without one.
    int Pending(RandomMissionSpawner* s)
    {
        for (Timer* t = world.timerlist.Head(); !t->IsEOList(); t = t->Next())
            if (t->obj.p == s)
                return int((t->time - world.timePrecise).t / 256);
        return -1;
    }
    // One check of the spawner: its timer fires now; the delay it sets.
    int Check(RandomMissionSpawner* s)
    {
        world.StopTimer(s);
        s->messagehandler(s, OM_TIMER, nullptr);
        return Pending(s);
    }

    RANDMISSIONSPAWNHANDLER saved[RC_NUMINDEXES];
    GameController* gc = nullptr;
};

TEST_F(Spawner, SeededCyclesRunEveryTimerCrimeOnceInStrideOrderWithCoolDowns)
{
    srand(1234);
    RandomMissionSpawner* s = Make();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->messagehandler, &RandomMissionSpawner::RandomMissionSpawner_mh);
    EXPECT_EQ(Pending(s), 720);
    EXPECT_EQ(s->iCurrentIndex, -1);
    EXPECT_EQ(s->iCurrentEnabledMax, 40);
    EXPECT_EQ(s->iAvailable, 17);
    std::set<int> free;
    for (int i = 0; i < 256; i++) {
        if (s->ri8Status[i] == 0 && i < 40)
            free.insert(i);
        if (i >= 40)
            EXPECT_EQ(s->ri8Status[i], 0);
    }
    EXPECT_EQ(free, kTimerCrimes);
    ASSERT_GE(s->iDelta, 1);
    ASSERT_LE(s->iDelta, 39);

    // The order a stride walks: from the last pick on by the stride, then up
    // by one past every crime already used.
    auto walk = [](int from, int delta, std::set<int> left) {
        std::vector<int> order;
        int at = from;
        while (!left.empty()) {
            int c = at >= 0 && left.count(at) != 0 ? at : (at + delta) % 40;
            while (left.count(c) == 0)
                c = (c + 1) % 40;
            order.push_back(c);
            left.erase(c);
            at = c;
        }
        return order;
    };
    const std::vector<int> first = walk(-1, s->iDelta, kTimerCrimes);
    // From -1: iDelta - 1, or the next free one above it.
    EXPECT_GE(first[0], s->iDelta - 1);

    int checks = 0;
    std::set<int> cooldowns;
    for (size_t n = 0; n < first.size(); n++) {
        EXPECT_EQ(Check(s), 180);
        checks++;
        ASSERT_EQ(g_asked.size(), n + 1);
        EXPECT_EQ(g_asked.back(), first[n]) << "crime " << n;
        EXPECT_TRUE(gc->bRandomMissionActive);
        ASSERT_NE(s->rcoCurrent.p, nullptr);
        EXPECT_EQ(g_parents.back(), static_cast<Object*>(gc));
        // A live crime: looked at again 180 frames later.
        EXPECT_EQ(Check(s), 180);
        EXPECT_EQ(g_asked.size(), n + 1);
        // Once it is gone the next check sees it, and the cool-down runs
        // 900 + 60k frames.
        s->rcoCurrent->Delete();
        const int cool = Check(s);
        EXPECT_EQ(s->rcoCurrent.p, nullptr);
        EXPECT_FALSE(gc->bRandomMissionActive);
        EXPECT_GE(cool, 900);
        EXPECT_LE(cool, 1740);
        EXPECT_EQ((cool - 900) % 60, 0);
        cooldowns.insert(cool);
    }
    EXPECT_GT(cooldowns.size(), 3u);
    EXPECT_EQ(s->iAvailable, 0);
    // All used: the next check starts a new cycle with a new stride and the
    // one after starts the crime the last cycle ended with.
    const int last = first.back();
    EXPECT_EQ(Check(s), 180);
    EXPECT_EQ(g_asked.size(), first.size());
    EXPECT_EQ(s->iAvailable, 17);
    EXPECT_EQ(s->iCurrentIndex, last);
    EXPECT_EQ(Check(s), 180);
    ASSERT_EQ(g_asked.size(), first.size() + 1);
    EXPECT_EQ(g_asked.back(), last);
    const std::vector<int> second = walk(last, s->iDelta, kTimerCrimes);
    EXPECT_EQ(second[0], last);
}

TEST_F(Spawner, ARefusedCrimeComesBackAndForcedCrimesOnlyWhenTheTimersOwn)
{
    srand(77);
    RandomMissionSpawner* s = Make(3);
    EXPECT_EQ(s->iCurrentIndex, 3);
    // A creator without memory: nothing marked, the same crime 180 frames on.
    g_refuse = {3};
    EXPECT_EQ(Check(s), 180);
    EXPECT_EQ(g_asked, std::vector<int>({3}));
    EXPECT_EQ(s->ri8Status[3], 0);
    EXPECT_EQ(s->iAvailable, 17);
    EXPECT_FALSE(gc->bRandomMissionActive);
    g_refuse.clear();
    gc->i16RCrimeDifficultyLevel = 2;
    gc->pMission = s;   // any mode controller: the crime's parent
    EXPECT_EQ(Check(s), 180);
    EXPECT_EQ(g_asked, std::vector<int>({3, 3}));
    EXPECT_EQ(g_difficulty.back(), 2);
    EXPECT_EQ(g_parents.back(), static_cast<Object*>(s));
    EXPECT_EQ(s->ri8Status[3], 1);
    EXPECT_EQ(s->iAvailable, 16);
    s->rcoCurrent->Delete();
    Check(s);

    // A forced crime, used or not, while it is one of the timer's.
    gc->i16RCrimeOverride = 3;
    EXPECT_EQ(s->ChooseNextMissionIndex(), 3);
    gc->i16RCrimeOverride = 1;
    EXPECT_EQ(s->ChooseNextMissionIndex(), 1);
    EXPECT_EQ(s->iCurrentIndex, 3);
    // Forcing a scripted, an empty or an unknown index is ignored.
    for (int forced : {6, 15, 40, 300}) {
        gc->i16RCrimeOverride = s16(forced);
        const int next = s->ChooseNextMissionIndex();
        EXPECT_EQ(kTimerCrimes.count(next), 1u) << forced;
        EXPECT_EQ(s->ri8Status[next], 0) << forced;
    }
    gc->i16RCrimeOverride = -1;
    // The start of the next choice: only nothing or a crime with a group.
    s->SetCurrentIndex(45);
    s->SetCurrentIndex(16);
    EXPECT_NE(s->iCurrentIndex, 45);
    EXPECT_NE(s->iCurrentIndex, 16);
    s->SetCurrentIndex(21);
    EXPECT_EQ(s->ChooseNextMissionIndex(), 21);
    s->SetCurrentIndex(-1);
    EXPECT_EQ(s->iCurrentIndex, -1);
}

TEST_F(Spawner, BystandersRequestsHandTheirObjectsOver)
{
    srand(5);
    RandomMissionSpawner* s = Make();
    Object mugger, victim, car;
    auto request = [&](int index, Object* by, Object* other) {
        g_heard.clear();
        g_asked.clear();
        SpecialMessage m(SMSG_EV_ENABLE_RANDOM_CRIME, by, other, index);
        EXPECT_EQ(s->messagehandler(s, OM_SPECIAL, &m), 0);
        if (s->rcoCurrent.p != nullptr)
            s->rcoCurrent->Delete();
        s->rcoCurrent = nullptr;
    };
    auto heard = [](std::initializer_list<Heard> want) {
        ASSERT_EQ(g_heard.size(), want.size());
        size_t k = 0;
        for (const Heard& h : want) {
            EXPECT_EQ(g_heard[k].code, h.code) << k;
            EXPECT_EQ(g_heard[k].obj, h.obj) << k;
            EXPECT_EQ(g_heard[k].p0, h.p0) << k;
            k++;
        }
    };
    // A mugging of the player: the mugger becomes runner -101.
    request(6, &mugger, &victim);
    EXPECT_EQ(g_asked, std::vector<int>({6}));
    heard({{SMSG_EV_RC_ASSIGN, &mugger, -101}});
    // The carjackings hand the car over as -200.
    for (int index : {7, 8, 9}) {
        request(index, &mugger, &car);
        heard({{SMSG_EV_RC_ASSIGN, &mugger, -101}, {SMSG_EV_RC_ASSIGN_C, &car, -200}});
    }
    request(4, &mugger, &victim);
    heard({{SMSG_EV_RC_ASSIGN, &mugger, -101}, {SMSG_EV_RC_ASSIGN, &victim, -176}});
    request(38, &mugger, &victim);
    heard({{SMSG_EV_RC_ASSIGN, &mugger, -101}, {SMSG_EV_RC_ASSIGN_B, &victim, 100}});
    request(39, &mugger, &victim);
    heard({{SMSG_EV_RC_ASSIGN, &mugger, -101}, {SMSG_EV_RC_ASSIGN, &victim, -102}});
    // The scripted crimes never touch the cycle.
    EXPECT_EQ(s->iAvailable, 17);
    for (int i = 0; i < 40; i++)
        EXPECT_EQ(s->ri8Status[i] == 0, kTimerCrimes.count(i) == 1) << i;

    // Missing objects, no group or no such index: nothing starts.
    for (int index : {6, 7, 15, 40, 255, -1}) {
        request(index, &mugger, nullptr);
        EXPECT_TRUE(g_asked.empty()) << index;
    }
    EXPECT_FALSE(s->EnableNextMission(12, nullptr, &victim));
    EXPECT_FALSE(s->EnableNextMission(40, &mugger, &victim));
    EXPECT_FALSE(s->EnableNextMission(19, &mugger, &victim));
    EXPECT_TRUE(g_asked.empty());
    // A timer crime asked for counts as used in the cycle, with nothing
    // handed over.
    request(10, &mugger, nullptr);
    EXPECT_EQ(g_asked, std::vector<int>({10}));
    EXPECT_TRUE(g_heard.empty());
    EXPECT_EQ(s->ri8Status[10], 1);
    EXPECT_EQ(s->iAvailable, 16);

    // The spawner's end lets the game controller know.
    gc->bRandomMissionActive = true;
    s->Delete();
    EXPECT_EQ(gc->prms, nullptr);
    EXPECT_FALSE(gc->bRandomMissionActive);
}

}  // namespace
