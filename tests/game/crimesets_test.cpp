// The random crimes' set-up files on the sample disc: one per group whose
// asset list names one, a level group per difficulty bit, the roles the
// group's commands address, characters and cars drawn from entries the
// level loads; read back by the game's entity loader; and the low-detail
// characters every crime and police call can draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "game/explode_support.h"
#include "tools/lib/crimesets.h"
#include "tools/lib/humanoid.h"
#include "tools/lib/sampledisc.h"
#include "tools/lib/setupfile.h"

#include "game/controller_support.h"
#include "game/EntParams.h"
#include "game/GameFEntChase.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/RandCrimesGenerator.h"

namespace {

// Ids present at each level of a group's cast.
std::set<int> IdsAt(int group, int level)
{
    std::set<int> ids;
    for (const tools::CrimeCastMember& m : tools::CrimeCast(group))
        if (m.levels & (1 << level))
            ids.insert(m.id);
    return ids;
}

// The asset entries of a kind, in list order (masked entries keep their
// place: the remap lists keep -1 there).
std::vector<const AssetLoadParams*> OfType(int group, AssetType type)
{
    std::vector<const AssetLoadParams*> out;
    for (const AssetLoadParams* a = RandMissRow(group - 100, 0)->palp; a->i16MFID >= 0; a++)
        if (a->atype == type)
            out.push_back(a);
    return out;
}

TEST(CrimeSets, TwentyTwoFilesWhoseCastsTheCommandsAndAssetListsFind)
{
    const std::vector<tools::NamedSetup> files = tools::CrimeSetupFiles();
    std::set<std::string> paths;
    for (const tools::NamedSetup& f : files)
        paths.insert(f.path);
    EXPECT_EQ(files.size(), 22u);
    for (int g : {101, 102, 103, 105, 106, 107, 108, 109, 110, 113, 114, 117, 118, 121, 122, 123, 124, 125, 126,
                  127, 129, 130})
        EXPECT_EQ(paths.count("RCRIMES/GENG" + std::to_string(g) + ".P2B"), 1u) << g;

    for (int group = 101; group <= 139; group++) {
        if (!tools::CrimeHasSetup(group))
            continue;
        const auto chars = OfType(group, AT_AMBCHAR);
        const auto cars = OfType(group, AT_AMBVEH);
        for (const tools::CrimeCastMember& m : tools::CrimeCast(group)) {
            for (int level = 0; level < 3; level++) {
                if ((m.levels & (1 << level)) == 0)
                    continue;
                // Drawn from an entry of the right kind that this level loads.
                const auto& from = m.car ? cars : chars;
                ASSERT_LT(m.character, from.size()) << group << " id " << m.id;
                const int mask = from[m.character]->iLevelMask;
                EXPECT_TRUE(mask == 0 || (mask & (1 << level)) != 0) << group << " id " << m.id << " level " << level;
                // Never a police officer as a suspect.
                if (!m.car && m.id >= -150 && m.id <= -101)
                    EXPECT_NE(from[m.character]->i16MFID, 1025) << group << " id " << m.id;
            }
        }
        const bool hasCar = IdsAt(group, 0).count(-200) != 0;
        const bool carCrime = group == 110 || group == 123 || (group >= 124 && group <= 127) || group == 129 ||
                              group == 130;
        EXPECT_EQ(hasCar, carCrime) << group;
    }
    for (int level = 0; level < 3; level++) {
        // The pairings: the assailant and the kidnapper with their victims,
        // the brawls band against band slot by slot, officers beside.
        for (int g : {103, 110}) {
            EXPECT_EQ(IdsAt(g, level).count(-101), 1u);
            EXPECT_EQ(IdsAt(g, level).count(-176), 1u);
        }
        for (int g : {113, 118, 122})
            for (int id : IdsAt(g, level))
                if (id >= -125 && id <= -101)
                    EXPECT_EQ(IdsAt(g, level).count(id - 25), 1u) << g << " " << id;
        for (int g : {117, 121})
            EXPECT_EQ(IdsAt(g, level).count(-151), 1u) << g;
        for (int g : {123, 124, 125, 126, 127, 129, 130})
            EXPECT_EQ(IdsAt(g, level).count(-101), 1u) << g;
        EXPECT_EQ(IdsAt(114, level).size(), 3u);
        EXPECT_TRUE(IdsAt(107, level).empty());
    }

    // The same description gives the same bytes.
    std::vector<u8> a, b;
    std::string error;
    ASSERT_TRUE(tools::WriteSetup(tools::CrimeSetup(126), a, error)) << error;
    for (const tools::NamedSetup& f : tools::CrimeSetupFiles())
        if (f.path == "RCRIMES/GENG126.P2B")
            ASSERT_TRUE(tools::WriteSetup(f.setup, b, error)) << error;
    EXPECT_EQ(a, b);
}

// The game reads a crime file as the crime does: the top nodes are the
// level groups by their bit; each child is an entity made by the game
// controller's loader, the runners' characters taken through the crime's
// character remap.
TEST(CrimeSets, TheGameLoadsALevelGroupsRunnersWithTheCrimesCharacters)
{
    world.Clear();
    GameController* gc = gametest::Controller();
    std::vector<u8> bytes;
    std::string error;
    ASSERT_TRUE(tools::WriteSetup(tools::CrimeSetup(126), bytes, error)) << error;
    explodetest::SlotFile file(193, bytes);
    MDLFILE* mf = file.mf();
    // Characters in asset order: thug 80, boss (levels 1, 2) 81, pro
    // (level 0) 82, police 83.
    const s16 remap[8] = {80, 81, 82, 83, -1, -1, -1, -1};
    std::copy(remap, remap + 8, gc->i16RCrimeCharRemap);
    std::map<int, int> levelOf;   // top node -> its level bits
    for (int n = 0; n != 0xFFFF; n = mf->nodes[n].sibling)
        levelOf[n] = mf->nodes[n].extra;
    ASSERT_EQ(levelOf.size(), 3u);
    std::set<int> bits;
    for (auto& [n, b] : levelOf)
        bits.insert(b);
    EXPECT_EQ(bits, std::set<int>({1, 2, 4}));

    for (auto& [top, b] : levelOf) {
        std::map<int, int> slotOf;   // runner id -> model slot
        int vehicles = 0;
        Matrix at = TransMatrix(10.0f, 0.0f, 20.0f);
        for (int n = mf->nodes[top].child; n != 0xFFFF; n = mf->nodes[n].sibling) {
            ASSERT_LT(mf->nodes[n].extra, 4096);
            if (mf->nodes[n].extra == ENT_VEHICLE) {
                vehicles++;
                continue;
            }
            ASSERT_EQ(mf->nodes[n].extra, ENT_ENEMYGENRUNNER);
            auto* g = static_cast<EnemyGenRunner*>(gc->LoadEntity(mf, n, at, true));
            ASSERT_NE(g, nullptr);
            ASSERT_NE(g->pegrp, nullptr);
            slotOf[g->iRunnerId] = g->pegrp->character + 49;
            EXPECT_NEAR(g->mat.w[0], 10.0f, 1.0f);
            EXPECT_NEAR(g->mat.w[2], 20.0f, 1.0f);
        }
        EXPECT_EQ(vehicles, 1);
        EXPECT_EQ(slotOf[-101], 80);
        EXPECT_EQ(slotOf[-102], b == 1 ? 82 : 81) << b;
    }
    std::fill(gc->i16RCrimeCharRemap, gc->i16RCrimeCharRemap + 8, s16(-1));
    world.Clear();
}

// Every character a crime group, the armed robbery's commando and a police
// call can draw is on the disc in its low-detail form, by the name the
// registry gives it.
TEST(CrimeSets, TheDiscHoldsEveryLowDetailCharacterACrimeDraws)
{
    std::set<std::string> paths;
    for (const tools::HumanoidCharacter& h : tools::SampleHumanoids())
        paths.insert(h.path);
    for (const tools::HumanoidCharacter& h : tools::CrimeCastHumanoids(tools::SampleHumanoids())) {
        EXPECT_EQ(paths.count(h.path), 0u) << h.path << " twice";
        EXPECT_TRUE(h.look.lowDetail && h.look.driverCopy) << h.path;
        paths.insert(h.path);
    }
    std::vector<int> ids = {102, 396, 397, 356};
    for (const s16* list : rgpi16CharGroups)
        for (const s16* m = list; *m >= 0; m++)
            ids.push_back(*m | 0x100);
    for (int id : ids) {
        char name[128];
        ASSERT_NE(GetModelFileName(id | 0x100, name), nullptr) << id;
        std::string path(name + 9);   // without "KORVALIS\"
        std::replace(path.begin(), path.end(), '\\', '/');
        EXPECT_EQ(paths.count(path), 1u) << path;
    }
    char name[128];
    EXPECT_STREQ(GetModelFileName(102 | 0x100, name), "KORVALIS\\DemoData\\Lreschar\\COMMANDO.P2B");
    EXPECT_STREQ(GetModelFileName(68 | 0x100, name), "KORVALIS\\DemoData\\Lreschar\\ASIABGRL.P2B");
}

}  // namespace
