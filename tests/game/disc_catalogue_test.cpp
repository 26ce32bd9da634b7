// The catalogue of every file a run can ask the disc for, and the files of
// it the sample disc lacks.  The catalogue is read from the game itself:
// every row of the story's episodes and of the 24/7 activities is started
// on an empty disc and played on with its games won and, once more, lost,
// and every file the run tries to open is taken from the console's
// complaints; to that come the files the game's tables name (the music
// pieces, the scenes with their sound, the player's voice lines, the
// animation groups with their banks, every line of every character voice
// bank, the loading pictures and the resident models).  The list of
// what the disc lacks is printed by kind and episode and written to
// missing-files.txt beside the test program.  The entities the disc's sets
// place are counted by kind (entity-kinds.txt): in the sets the rows load,
// in the random crimes' sets and in sets nothing loads.
#include "tests/game/missionsteps_support.h"

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ee/console_out.h"
#include "game/EntParams.h"
#include "game/GameAudio.h"
#include "game/MAIN.h"
#include "game/cine.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/Utilities/CinCont.h"
#include "game/userintf.h"
#include "tools/lib/pak.h"
#include "tools/lib/sampledisc.h"
#include "tools/lib/storyfiles.h"

namespace {

// A path as the archive look-up compares it (upper case, base names cut
// to eight), without the archive's own directory.
std::string Key(std::string path)
{
    if (path.rfind("KORVALIS\\", 0) == 0)
        path = path.substr(9);
    return tools::PakStoredPath(path);
}

// What kind of file a path is, as the list groups them.
std::string KindOf(const std::string& key, const std::set<std::string>& music)
{
    auto ends = [&](const char* e) { return key.size() >= strlen(e) && key.compare(key.size() - strlen(e), strlen(e), e) == 0; };
    if (key.rfind("DEMODATA\\INT\\", 0) == 0 || key.rfind("DEMODATA\\MISSIONS\\", 0) == 0 || key.rfind("MISSIONS\\", 0) == 0)
        return "set-up, interior or exterior (a set)";
    if (key.rfind("DEMODATA\\CINE\\", 0) == 0)
        return "scene";
    if (music.count(key) != 0)
        return "music";
    if (key.rfind("DEMODATA\\NPCVO\\", 0) == 0 || (key.rfind("DEMODATA\\VAGS\\", 0) == 0 && ends(".VB")))
        return "voice";
    if (ends(".ANI") || ends(".SND"))
        return "animation group or sound bank";
    if (key.rfind("DEMODATA\\CHAR\\", 0) == 0 || key.rfind("DEMODATA\\LRESCHAR\\", 0) == 0)
        return "character model";
    if (ends(".IPU"))
        return "picture";
    return "model";
}

struct Asked
{
    std::set<std::string> files;                  // keys
    std::map<std::string, std::string> firstRow;  // key -> "EP,REC" of the first row that asked
    std::map<int, std::set<int>> casts;           // scene -> the characters made before it plays
};

const std::regex kCharacterMade(R"(^CreateCharacterAt\(\d+, (-?\d+), )");
const std::regex kScenePlayed(R"(^CreateCinematicAt\((\d+), )");

// The characters a walk has made when each of its scenes starts.
void Casts(const Trace& trace, std::map<int, std::set<int>>& casts)
{
    std::set<int> made;
    for (const std::string& line : trace) {
        std::smatch m;
        if (std::regex_search(line, m, kCharacterMade))
            made.insert(std::stoi(m[1]));
        else if (std::regex_search(line, m, kScenePlayed))
            casts[std::stoi(m[1])].insert(made.begin(), made.end());
    }
}

const std::regex kOpenFailed(R"(Failed to create stream for CD file (.*)\.)");
const std::regex kBankFailed(R"(Unable to load bank (.*)\.)");

// The files the console's complaints name since it was last cleared.
std::vector<std::string> Complaints()
{
    std::vector<std::string> out;
    std::istringstream in(console::ConsoleText());
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_search(line, m, kOpenFailed) || std::regex_search(line, m, kBankFailed))
            out.push_back(m[1]);
    }
    return out;
}

class DiscCatalogue : public Steps
{
protected:
    void SetUp() override
    {
        // The disc's files are made on the host before the machine starts,
        // so its watchdog never times that work.
        Disc();
        Steps::SetUp();
    }
    // The sample disc's files, written once for the tests that read them
    // (none when a writer refuses, with its message).
    static const std::vector<tools::PakInputFile>& Disc()
    {
        static std::vector<tools::PakInputFile> files;
        static bool written = false;
        if (!written) {
            std::string error;
            EXPECT_TRUE(tools::SampleDiscFiles(files, error)) << error;
            written = true;
        }
        return files;
    }
    // What the rows ask for, walked once for the tests that read it.
    const Asked& Rows()
    {
        static Asked asked;
        static bool walked = false;
        if (!walked) {
            console::SetConsoleEcho(false);
            for (int episode = 1; episode < NUM_MISSIONS; episode++)
                for (int record = 0; record < rgMissionRecordCounts[episode]; record++)
                    for (bool won : {true, false})
                        Walk(episode, record, won, asked);
            console::SetConsoleEcho(true);
            walked = true;
        }
        return asked;
    }

    int Record() const { return int(gc->pgprCurr - rgMissions[gc->iMission].pgpr); }

    // Starts a row and plays it on, every game given `won`, until the run
    // leaves the row or ends; the files it asked for go to `asked`.
    void Walk(int episode, int record, bool won, Asked& asked)
    {
        console::ClearConsoleText();
        g_trace.clear();
        gc->iMainExitVal = 0;
        StartAt(episode, record);
        for (int games = 0; games < 4; games++) {
            Settle();
            if (gc->iMainExitVal != 0 || gc->iMission != episode || Record() != record || gc->pMission == nullptr)
                break;
            Result(won);
        }
        Casts(g_trace, asked.casts);
        char row[16];
        std::snprintf(row, sizeof row, "%d,%d", episode, record);
        for (const std::string& f : Complaints()) {
            const std::string k = Key(f);
            asked.files.insert(k);
            asked.firstRow.emplace(k, row);
        }
    }
};

TEST_F(DiscCatalogue, EveryFileARowAsksForIsOnTheDisc)
{
    Asked asked = Rows();
    const size_t walked = asked.files.size();

    // The tables.
    auto table = [&](const std::string& path) {
        const std::string k = Key(path);
        asked.files.insert(k);
        asked.firstRow.emplace(k, "table");
    };
    std::set<std::string> music;
    for (const DynamicSoundStream::Sample& s : songsamples) {
        table(s.file);
        music.insert(Key(s.file));
    }
    for (const sCineInfo& c : CineNames)
        for (const char* f : {c.CINFile, c.VAGFile})
            if (f != nullptr)
                table(std::string("KORVALIS\\DemoData\\Cine\\") + f);
    for (const NumberedFileJukebox::Track& t : DaceVOTrax)
        if (t.file != nullptr)
            table(t.file);
    for (const char* g : AnimGroupFileNames) {
        table(std::string("KORVALIS\\DemoData\\Char\\") + g + ".ANI");
        table(std::string("KORVALIS\\DemoData\\Vags\\") + g + ".SND");
    }
    for (const ResidentModel& m : ResidentModels())
        table(m.name);
    for (int i = 1; i < NUM_DEMOLOADSCREENS; i++)
        table(std::string("KORVALIS\\DemoData\\") + DemoLoadScreenNames[i]);
    // Every line of every character voice bank: a character's bank follows
    // its model, and the sets still to come will bring more characters.
    for (int bank = 0; bank <= NPCVOBank_LAST; bank++)
        for (const char* s : NPCVOSuffixes)
            table(std::string("KORVALIS\\DemoData\\NPCVO\\") + NPCVOPrefixes[bank] + s + ".VB");

    // What the disc holds.
    const std::vector<tools::PakInputFile>& files = Disc();
    ASSERT_FALSE(files.empty());
    std::set<std::string> disc;
    for (const tools::PakInputFile& f : files)
        disc.insert(Key(f.path));

    // The list, by kind and then by the episode of the row that first asked.
    std::map<std::string, std::map<std::string, std::vector<std::string>>> missing;
    size_t count = 0;
    for (const std::string& k : asked.files)
        if (disc.count(k) == 0) {
            const std::string& row = asked.firstRow[k];
            const int ep = row == "table" ? 99 : std::stoi(row);
            char episode[32];
            std::snprintf(episode, sizeof episode, ep == 99 ? "tables" : ep == 13 ? "24/7 (13)" : "episode %02d", ep);
            missing[KindOf(k, music)][episode].push_back(k + "  (" + row + ")");
            count++;
        }
    int unplayed = 0;
    for (int scene = 0; scene < NUM_CINEMATICS; scene++)
        unplayed += asked.casts.count(scene) == 0;
    std::ostringstream text;
    text << "Files a run can ask for: " << asked.files.size() << " (" << walked
         << " asked for by the rows on an empty disc, the rest named by the tables; " << unplayed << " of the "
         << NUM_CINEMATICS << " scenes are played by no row); missing from the sample disc: " << count << "\n";
    for (const auto& [kind, byEpisode] : missing) {
        size_t n = 0;
        for (const auto& e : byEpisode)
            n += e.second.size();
        text << "\n== " << kind << ": " << n << "\n";
        for (const auto& [episode, list] : byEpisode) {
            text << "-- " << episode << "\n";
            for (const std::string& f : list)
                text << "   " << f << "\n";
        }
    }
    std::fputs(text.str().c_str(), stdout);
    std::ofstream("missing-files.txt") << text.str();

    // Each scene a row plays animates the characters its step has made by
    // then: the story's scenes every one of them, the demo's own scenes
    // some of them (and the camera in every scene).
    std::set<std::string> demoScenes;
    for (const tools::NamedScene& n : tools::SampleScenes())
        demoScenes.insert(Key("DemoData/Cine/" + n.path + ".CIN"));
    for (const auto& [scene, cast] : asked.casts) {
        const std::string k = Key(std::string("KORVALIS\\DemoData\\Cine\\") + CineNames[scene].CINFile);
        const auto f = std::find_if(files.begin(), files.end(), [&](const tools::PakInputFile& p) { return Key(p.path) == k; });
        ASSERT_NE(f, files.end()) << k;
        CinemaFile h;
        ASSERT_GE(f->data.size(), sizeof h);
        std::memcpy(&h, f->data.data(), sizeof h);
        ASSERT_LE(h.startOffset + h.numObj * sizeof(CinemaStartLoc), f->data.size()) << k;
        std::set<int> actors;
        bool camera = false;
        for (u32 i = 0; i < h.numObj; i++) {
            CinemaStartLoc l;
            std::memcpy(&l, f->data.data() + h.startOffset + i * sizeof l, sizeof l);
            if (l.ID == 5000 || l.ID == 12345)
                camera = true;
            else
                actors.insert(l.ID);
        }
        EXPECT_TRUE(camera) << k;
        if (demoScenes.count(k) != 0)
            EXPECT_TRUE(std::includes(cast.begin(), cast.end(), actors.begin(), actors.end())) << k;
        else
            EXPECT_EQ(actors, cast) << k;
    }

    // Nothing is missing, the sets included.
    EXPECT_EQ(count, 0u);
    for (const auto& [kind, byEpisode] : missing)
        ADD_FAILURE() << "missing " << kind << ": " << byEpisode.begin()->second.front();
}

// The set-up entity kinds by name, in the order of their numbers.
const char* const kKindNames[] = {
    "FIXEDCAMERA", "PATHCAMERA", "ORBITINGCAMERA", "WALLSPLINE", "ENEMYGENSHOOTER", "DACEMODETRIGGER",
    "CINEMATRIGGER", "CONTROLLERCOMBAT", "ENEMYGENFIGHTER", "GENERICCHARACTER", "GENERICPARTICLE",
    "INTERACTIVEOBJECT", "ENEMYWAVETRIGGER", "ENEMYGENRUNNER", "EXTERIORSPECIFIC", "ENEMYGENGUARD",
    "ENEMYGENMUTANT", "STEAMGENERATOR", "STEAMBURST", "OBJECTINFO", "TORCH", "GROUPCAMERA", "TASKINITCAMERA",
    "DACECAMTRIGGER", "SOUNDAMBIENT", "VEHICLE", "SPLINEOBJECTMOVER", "TUNNELCAMERA", "TUNNELGRATE",
    "TARGETMOVING", "TARGETINNOCENT", "TIMEOFDAY", "WATERPATCH", "GUNPICKUP", "FREEWAYSIGN", "AIRPLANE",
    "MISSIONSPLINE", "MANNEQUINSHOOTER", "TARGETSTATIC", "DRVCRSEGATE", "DRVCRSEPED", "AVOIDOBSTACLE",
    "EXTERIORINTERACTIVEOBJECT", "EXTCROWNVIC", "RADARSPLINE", "RACECOURSEDESTRUCTABLE", "RACECOURSEDRONECAR",
};
static_assert(std::size(kKindNames) == ENT_NUMBER);

// The kinds the set-up loader makes nothing of by their record: the steps
// and the rooms' props find them by their node.
const std::set<int> kRecordless = {ENT_CINEMATRIGGER,  ENT_GENERICCHARACTER, ENT_GENERICPARTICLE,
                                   ENT_INTERACTIVEOBJECT, ENT_SOUNDAMBIENT, ENT_FREEWAYSIGN,
                                   ENT_EXTERIORINTERACTIVEOBJECT, ENT_EXTCROWNVIC};

// A top-level node with an extra above this is one of a room's main
// objects, its parts under it.
constexpr u16 kMainObject = 0x8000;

// Where a set lies: loaded by a row, by a random crime, or by neither.
enum SetUse { kByRow, kByCrime, kUnused, kUses };

// Counts the entities a set-up file places, as the game makes them: the
// top-level nodes of an interior or exterior and the interactive props
// among its main objects' parts, the members of a random crime's groups; a
// node of a kind that reads a record counts when it has one.
void CountEntities(const std::vector<u8>& bytes, bool crime, int (&counts)[ENT_NUMBER], std::string& error)
{
    void* block = malloc_align(u32(bytes.size()), 64);
    std::memcpy(block, bytes.data(), bytes.size());
    StreamMdlFile mf;
    mf.SetBuffer(block);
    if (!mf.Init(u32(bytes.size())) || mf.nodes == nullptr) {
        error = "not a model file";
    } else {
        auto count = [&](int i) {
            const NODE& n = mf.nodes[i];
            if (n.extra >= ENT_NUMBER)
                return;
            if (kRecordless.count(n.extra) != 0 || (n.extra2 != 0 && n.extra2 + rgEntityParamSize[n.extra] <= bytes.size()))
                counts[n.extra]++;
        };
        // A sibling chain longer than the node block would be a loop.
        int walked = 0;
        for (int i = 0; i != 0xFFFF && i < mf.nNodes && walked <= mf.nNodes; i = mf.nodes[i].sibling, walked++) {
            const bool main = !crime && mf.nodes[i].extra > kMainObject;
            if (!crime && !main) {
                count(i);
                continue;
            }
            int kids = 0;
            for (int c = mf.nodes[i].child; c != 0xFFFF && c < mf.nNodes && kids <= mf.nNodes;
                 c = mf.nodes[c].sibling, kids++) {
                if (crime || mf.nodes[c].extra == ENT_INTERACTIVEOBJECT)
                    count(c);
            }
        }
    }
    mf.SetBuffer(nullptr);
    free(block);
}

TEST_F(DiscCatalogue, EveryEntityKindIsPlacedBySomeSetOnTheDisc)
{
    const Asked& asked = Rows();
    const std::vector<tools::PakInputFile>& files = Disc();
    ASSERT_FALSE(files.empty());

    int counts[kUses][ENT_NUMBER] = {};
    int sets[kUses] = {};
    for (const tools::PakInputFile& f : files) {
        const std::string k = Key(f.path);
        const bool set = k.rfind("DEMODATA\\INT\\", 0) == 0, crime = k.rfind("DEMODATA\\RCRIMES\\", 0) == 0;
        if ((!set && !crime) || k.size() < 4 || k.compare(k.size() - 4, 4, ".P2B") != 0)
            continue;
        const SetUse use = crime ? kByCrime : asked.files.count(k) != 0 ? kByRow : kUnused;
        std::string why;
        CountEntities(f.data, crime, counts[use], why);
        EXPECT_EQ(why, "") << k;
        sets[use]++;
    }

    std::ostringstream text;
    text << "Entities on the sample disc by kind: in the " << sets[kByRow] << " sets rows load, in the "
         << sets[kByCrime] << " random crimes' sets, in the " << sets[kUnused] << " sets nothing loads\n"
         << "   kind                        rows crimes unused\n";
    int placed = 0;
    for (int kind = 0; kind < ENT_NUMBER; kind++) {
        char line[120];
        std::snprintf(line, sizeof line, "%2d %-26s %5d %5d %5d\n", kind, kKindNames[kind], counts[kByRow][kind],
                      counts[kByCrime][kind], counts[kUnused][kind]);
        text << line;
        const bool reached = counts[kByRow][kind] + counts[kByCrime][kind] > 0;
        placed += reached;
        EXPECT_TRUE(reached) << kKindNames[kind] << " is placed by no set a row or a crime loads";
    }
    text << placed << " of " << ENT_NUMBER << " kinds placed by a set a row or a crime loads\n";
    std::fputs(text.str().c_str(), stdout);
    std::ofstream("entity-kinds.txt") << text.str();
}

}  // namespace
