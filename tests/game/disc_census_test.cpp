// Which of the files the game's tables name are on the sample disc.  The
// census is printed, and held to what the disc is meant to carry now; a
// table that gains files on the disc updates its line here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "tools/lib/sampledisc.h"

#include "game/MAIN.h"
#include "game/GameAudio.h"
#include "game/Backdrop.h"
#include "game/Bystander.h"
#include "game/GameFlow.h"
#include "game/RandCrimesGenerator.h"
#include "game/QuadTree.h"
#include "game/cine.h"
#include "game/userintf.h"

namespace {

// A path as the archive look-up compares it: upper case, forward slashes,
// without the archive's own directory.
std::string Key(std::string path)
{
    if (path.rfind("KORVALIS\\", 0) == 0)
        path = path.substr(9);
    std::replace(path.begin(), path.end(), '\\', '/');
    std::transform(path.begin(), path.end(), path.begin(), [](char c) { return char(std::toupper(c)); });
    return path;
}

const std::set<std::string>& Disc()
{
    static const std::set<std::string> names = [] {
        std::vector<tools::PakInputFile> files;
        std::string error;
        EXPECT_TRUE(tools::SampleDiscFiles(files, error)) << error;
        std::set<std::string> n;
        for (const tools::PakInputFile& f : files)
            n.insert(Key(f.path));
        return n;
    }();
    return names;
}

bool OnDisc(const std::string& gamePath)
{
    return Disc().count(Key(gamePath)) != 0;
}

// Prints "table: n of m on the disc" with the names found.
void Report(const char* table, const std::vector<std::string>& found, size_t of)
{
    std::string list;
    for (const std::string& f : found)
        list += " " + f;
    std::fprintf(stdout, "census %-22s %3zu of %3zu on the disc:%s\n", table, found.size(), of, list.c_str());
}

}  // namespace

TEST(DiscCensus, TheSampleDiscHoldsTheseFilesOfTheGamesTables)
{
    // The vehicle group.
    EXPECT_TRUE(OnDisc(szVehicleGroupDir));
    EXPECT_TRUE(OnDisc(szVehicleGroupData));

    // Music pieces: every piece of the table.
    std::vector<std::string> music;
    for (const DynamicSoundStream::Sample& s : songsamples)
        if (OnDisc(s.file))
            music.push_back(s.file + std::string(s.file).rfind('\\') + 1);
    Report("songsamples", music, NUM_SONGSAMPLES);
    EXPECT_EQ(music.size(), size_t(NUM_SONGSAMPLES));

    // The player's voice: every row of the table that names a file.
    std::vector<std::string> rows;
    int named = 0;
    for (int row = 0; row < NUM_DACEVOTRAX; row++)
        if (DaceVOTrax[row].file != nullptr) {
            named++;
            if (OnDisc(DaceVOTrax[row].file))
                rows.push_back(std::to_string(row));
        }
    Report("DaceVOTrax rows", rows, NUM_DACEVOTRAX - 1);
    EXPECT_EQ(rows.size(), size_t(named));
    EXPECT_EQ(named, NUM_DACEVOTRAX - 1);

    // The model files the start-up keeps, and the player's guns of the four
    // gun challenges.
    std::vector<std::string> resident, wantResident;
    for (const ResidentModel& m : ResidentModels()) {
        wantResident.push_back(m.name);
        if (OnDisc(m.name))
            resident.push_back(m.name);
    }
    for (const char* gun : {"DACEGUN1", "DACEGUN2", "DACEGUN3", "DACEGUN4"}) {
        const std::string name = std::string("KORVALIS\\DemoData\\Misc\\") + gun + ".P2B";
        wantResident.push_back(name);
        if (OnDisc(name))
            resident.push_back(name);
    }
    Report("resident models", resident, wantResident.size());
    EXPECT_EQ(resident, wantResident);

    // Effect banks the start-up loads.
    std::vector<std::string> banks;
    const char* bankNames[] = {"SND_UI", "SND_COMB", "SND_DEST", "SND_VO", "SND_GUN", "SND_CAR"};
    for (const char* b : bankNames)
        if (OnDisc(std::string("KORVALIS\\DemoData\\Vags\\") + b + ".SND"))
            banks.push_back(b);
    Report("effect banks", banks, std::size(bankNames));
    EXPECT_EQ(banks.size(), std::size(bankNames));

    // Character models: every character of the table in full detail, and
    // the ambient pedestrians' and the random crimes' in low detail.
    std::vector<std::string> chars;
    char buf[64];
    for (const MdlFNInfo& m : rmfniMain)
        for (int detail : {0, 0x100})
            if (OnDisc(GetModelFileName(m.iID | detail, buf)))
                chars.push_back(buf);
    Report("rmfniMain", chars, 2 * NUM_MDLFNINFO);
    std::vector<std::string> wantChars;
    for (const MdlFNInfo& m : rmfniMain)
        wantChars.push_back(GetModelFileName(m.iID, buf));
    for (const ModelFileLoadInfo& p : rgmfliAmbPedsBase)
        wantChars.push_back(GetModelFileName(p.i16ModelID, buf));
    // The random crimes' casts in low detail: their character groups, the
    // armed robbery's commando and the officers of a police call.
    std::vector<int> crimeCast = {102, 396 & 0xFF, 397 & 0xFF, 356 & 0xFF};
    for (const s16* list : rgpi16CharGroups)
        for (const s16* m = list; *m >= 0; m++)
            crimeCast.push_back(*m);
    for (int id : crimeCast)
        wantChars.push_back(GetModelFileName(id | 0x100, buf));
    std::sort(wantChars.begin(), wantChars.end());
    wantChars.erase(std::unique(wantChars.begin(), wantChars.end()), wantChars.end());
    std::sort(chars.begin(), chars.end());
    std::sort(wantChars.begin(), wantChars.end());
    EXPECT_EQ(chars, wantChars);
    std::vector<std::string> groups;
    for (const char* g : AnimGroupFileNames)
        for (const char* form : {"KORVALIS\\DemoData\\Char\\%s.ANI", "KORVALIS\\DemoData\\Vags\\%s.SND"}) {
            std::snprintf(buf, sizeof buf, form, g);
            if (OnDisc(buf))
                groups.push_back(buf);
        }
    Report("AnimGroupFileNames", groups, 2 * std::size(AnimGroupFileNames));
    // The player's five groups, the characters' default group, the enemies'
    // gun, guard and sprint groups, the seven fighting groups, the six
    // pedestrian sets and the mutant's, each with its bank.
    std::vector<std::string> wantGroups;
    for (const char* g : {"NPCDEF", "NPCSPR", "NPCPSTL", "NPCMGUN", "NPCGUARD", "DACEDEF", "DACECOMB", "DACEGUNS",
                          "DACECAR", "DACESTL", "NPCKNGFU", "NPCKARAT", "NPCBOXER", "NPCBRWLR", "NPCKNIFE", "NPCMCOMB",
                          "NPCFCOMB", "NPCPDEF", "NPCPFEM", "NPCPHOBO", "NPCPHOM", "NPCPSEN", "NPCPSLUT", "MUTANT"})
        for (const char* form : {"KORVALIS\\DemoData\\Char\\%s.ANI", "KORVALIS\\DemoData\\Vags\\%s.SND"}) {
            std::snprintf(buf, sizeof buf, form, g);
            wantGroups.push_back(buf);
        }
    EXPECT_EQ(groups, wantGroups);
    std::vector<std::string> npc;
    for (const char* p : NPCVOPrefixes)
        for (const char* s : NPCVOSuffixes)
            if (OnDisc(std::string("KORVALIS\\DemoData\\NPCVO\\") + p + s + ".VB"))
                npc.push_back(std::string(p) + s);
    Report("NPC voices", npc, std::size(NPCVOPrefixes) * std::size(NPCVOSuffixes));
    // Every line of every bank.
    std::vector<std::string> wantNpc;
    for (int bank = 0; bank <= NPCVOBank_LAST; bank++)
        for (const char* s : NPCVOSuffixes)
            wantNpc.push_back(std::string(NPCVOPrefixes[bank]) + s);
    EXPECT_EQ(npc, wantNpc);
}

// Every file the demo's path reads, named by the game's own tables: the
// start-up's (the resident models and animation groups with their banks, the
// effect banks, the vehicle group, the city and its sky, the ambient
// pedestrians), the launcher's stills, the drive of episode 2 record 5 (its
// placement file, the music of its track and the player's lines), the bar
// fight of record 6 and the spa shoot-out of episode 3 record 12 (their cast,
// the bar's fighting group, the set-up files and the scenes with their
// sound).  A file missing here is a load failing on the demo's path.
TEST(DiscCensus, EveryFileOnTheDemosPathIsOnTheDisc)
{
    std::vector<std::string> names;
    char buf[96];
    auto group = [&](int index) {
        const char* base = GlobalAGI::GetAnimGroupBaseFileName(index);
        ASSERT_NE(base, nullptr) << index;
        names.push_back(std::string("KORVALIS\\DemoData\\Char\\") + base + ".ANI");
        names.push_back(std::string("KORVALIS\\DemoData\\Vags\\") + base + ".SND");
    };

    for (const ResidentModel& m : ResidentModels())
        names.push_back(m.name);
    for (int g : ResidentAnimGroups())
        group(g);
    for (const char* b : {"SND_UI", "SND_COMB", "SND_DEST", "SND_VO", "SND_GUN", "SND_CAR"})
        names.push_back(std::string("KORVALIS\\DemoData\\Vags\\") + b + ".SND");
    names.insert(names.end(), {szVehicleGroupDir, szVehicleGroupData, CITY_INDEX_PATH, CITY_LAYOUT_PATH,
                               CITY_CELLS_PATH, CITY_MODELS_PATH, SKY_MODEL_PATH});
    for (const ModelFileLoadInfo& p : rgmfliAmbPedsBase)
        names.push_back(GetModelFileName(p.i16ModelID, buf));

    for (int i = 1; i < NUM_DEMOLOADSCREENS; i++)
        names.push_back(std::string("KORVALIS\\DemoData\\") + DemoLoadScreenNames[i]);

    names.push_back(rgMissions[2].pMissionFile);
    names.push_back(rgMissions[3].pMissionFile);
    // The drive's, the fight's and the shoot-out's track play the demo's
    // piece, and the streets' piece on foot.
    names.push_back(songsamples[SONG_DEMO].file);
    names.push_back(songsamples[SONG_CITYBUSY].file);
    // The player's lines while driving, fist fighting and shooting, and the
    // dispatcher's call with the radio's lead-ins and tails.
    for (int row = DaceVOJukebox::GetTrack(DaceVO_CarCrash); row < DaceVOJukebox::GetTrack(DaceVO_PursuitStart); row++)
        names.push_back(DaceVOTrax[row].file);
    for (int row : {14, 15, 86, 87, 88, 89, 90, 91, 92, 93})
        names.push_back(DaceVOTrax[row].file);
    // The drive's clock: the lines of its start, of running late, of the
    // arrival and of the lost race; the player shot dead.
    for (int type : {DaceVO_RaceToStart, DaceVO_RaceToOops, DaceVO_RaceToFinish, DaceVO_RaceToAbort, DaceVO_Death})
        for (int row = DaceVOJukebox::GetTrack(type); row < DaceVOJukebox::GetTrack(type + 1); row++)
            names.push_back(DaceVOTrax[row].file);
    // The ambient pedestrians' lines, in every bank each may be given (a
    // pedestrian draws among two or three of some kinds).
    std::set<int> pedBanks;
    for (const ModelFileLoadInfo& p : rgmfliAmbPedsBase)
        for (int draw = 0; draw < 64; draw++)
            pedBanks.insert(Bystander::GetPedVOBank(p.i16ModelID & 0xFF));
    for (int bank : pedBanks)
        for (const char* s : NPCVOSuffixes)
            names.push_back(std::string("KORVALIS\\DemoData\\NPCVO\\") + NPCVOPrefixes[bank] + s + ".VB");

    for (int id : {71, 74, 83, 86, 143, 148, 151, 156, 162})
        names.push_back(GetModelFileName(id, buf));
    group(AnimGroup_NPCKarate);
    names.push_back("KORVALIS\\DemoData\\Int\\LEVEL2\\BAR.P2B");
    names.push_back("KORVALIS\\DemoData\\Int\\LEVEL3\\SPPLRMG7.P2B");
    for (int scene : {15, 33}) {
        names.push_back(std::string("KORVALIS\\DemoData\\Cine\\") + CineNames[scene].CINFile);
        names.push_back(std::string("KORVALIS\\DemoData\\Cine\\") + CineNames[scene].VAGFile);
    }

    std::vector<std::string> missing;
    for (const std::string& n : names)
        if (!OnDisc(n))
            missing.push_back(n);
    std::fprintf(stdout, "census %-22s %3zu of %3zu on the disc\n", "demo path", names.size() - missing.size(),
                 names.size());
    EXPECT_TRUE(missing.empty()) << missing.size() << " of " << names.size() << " missing, the first "
                                 << (missing.empty() ? "" : missing[0]);
}
