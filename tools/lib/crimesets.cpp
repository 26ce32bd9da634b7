// The random crimes' set-up files and their low-detail cast.
#include "tools/lib/crimesets.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "game/EntParams.h"
#include "game/GameFlow.h"
#include "game/RandCrimesGenerator.h"

namespace tools {

namespace {

constexpr u8 kAll = 7;        // levels 0, 1, 2
constexpr u8 kUpper = 6;      // levels 1, 2
constexpr u8 kTop = 4;        // level 2

// Suspects stand a pace apart along the pavement, the other band across
// from them; a car waits behind them at the kerb.
constexpr float kPace = 0.9f;
constexpr float kAcross = 1.1f;
constexpr float kCarBack = -3.0f;

CrimeCastMember Runner(s16 id, u8 character, float x, float z, u8 levels, u8 weapon = 0)
{
    return {id, character, weapon, x, z, levels, false};
}

CrimeCastMember Car(u8 vehicle = 0)
{
    return {-200, vehicle, 0, 0.0f, kCarBack, kAll, true};
}

// Two bands facing each other, slot by slot: -101.. against -126..;
// characters a and b for the first pair, c and d for the third (level 2).
std::vector<CrimeCastMember> Brawl(u8 weapon)
{
    return {Runner(-101, 0, 0.0f, 0.0f, kAll, weapon),      Runner(-126, 1, 0.0f, kAcross, kAll, weapon),
            Runner(-102, 0, kPace, 0.0f, kUpper, weapon),   Runner(-127, 1, kPace, kAcross, kUpper, weapon),
            Runner(-103, 2, -kPace, 0.0f, kTop, weapon),    Runner(-128, 3, -kPace, kAcross, kTop, weapon)};
}

}  // namespace

std::vector<CrimeCastMember> CrimeCast(int group)
{
    constexpr u8 kGun = 1;
    switch (group) {
    case 101:   // a parole violator, two or three at the higher levels
        return {Runner(-101, 0, 0.0f, 0.0f, kAll), Runner(-102, 0, kPace, 0.0f, kUpper),
                Runner(-103, 0, -kPace, 0.0f, kTop)};
    case 102:   // armed robbers; the second from the list's upper-level thug
        return {Runner(-101, 0, 0.0f, 0.0f, kAll, kGun), Runner(-102, 1, kPace, 0.0f, kUpper, kGun)};
    case 103:   // the assailant and his victim
        return {Runner(-101, 0, 0.0f, 0.0f, kAll), Runner(-176, 1, kPace, 0.0f, kAll)};
    case 105:
    case 106:
    case 107:
    case 108:
    case 109:   // built around handed-over bystanders: empty levels
        return {};
    case 110:   // the kidnapper, his hostage from the citizens, the car
        return {Runner(-101, 0, 0.0f, 0.0f, kAll, kGun), Runner(-176, 3, kPace, 0.0f, kAll),
                Runner(-102, 1, -kPace, 0.0f, kUpper, kGun), Runner(-103, 2, 0.0f, kAcross, kTop, kGun), Car()};
    case 113:   // a dealer and a girl at each other
        return {Runner(-101, 0, 0.0f, 0.0f, kAll), Runner(-126, 1, 0.0f, kAcross, kAll)};
    case 114:   // three bosses on the run
        return {Runner(-101, 0, 0.0f, 0.0f, kAll, kGun), Runner(-102, 1, kPace, 0.0f, kAll, kGun),
                Runner(-103, 2, -kPace, 0.0f, kAll, kGun)};
    case 117:   // thugs brawling with officers
        return {Runner(-101, 0, 0.0f, 0.0f, kAll), Runner(-151, 1, 0.0f, kAcross, kAll),
                Runner(-102, 0, kPace, 0.0f, kUpper), Runner(-152, 1, kPace, kAcross, kUpper)};
    case 118:
        return Brawl(0);
    case 121:   // thugs shooting it out with an officer
        return {Runner(-101, 0, 0.0f, 0.0f, kAll, kGun), Runner(-151, 2, 0.0f, kAcross, kAll, kGun),
                Runner(-102, 1, kPace, 0.0f, kUpper, kGun)};
    case 122:
        return Brawl(kGun);
    case 123:   // a boss and the commando beside their car
        return {Runner(-101, 0, 0.0f, 0.0f, kAll, kGun), Runner(-102, 1, kPace, 0.0f, kAll, kGun), Car()};
    case 124:
    case 125:   // the driver, a passenger at the higher levels
        return {Runner(-101, 0, 0.0f, 0.0f, kAll), Runner(-102, 0, kPace, 0.0f, kUpper), Car()};
    case 126:
    case 127:   // the passenger is a pro at level 0, a boss above it
        return {Runner(-101, 0, 0.0f, 0.0f, kAll, kGun), Runner(-102, 2, kPace, 0.0f, 1, kGun),
                Runner(-102, 1, kPace, 0.0f, kUpper, kGun), Car()};
    case 129:   // two gunmen in the car
        return {Runner(-101, 0, 0.0f, 0.0f, kAll, kGun), Runner(-102, 0, kPace, 0.0f, kAll, kGun), Car()};
    case 130:   // the dealer and his car
        return {Runner(-101, 0, 0.0f, 0.0f, kAll), Car()};
    default:
        return {};
    }
}

bool CrimeHasSetup(int group)
{
    const RandMissParams* row = RandMissRow(group - 100, 0);
    if (row == nullptr || row->palp == nullptr)
        return false;
    for (const AssetLoadParams* a = row->palp; a->i16MFID >= 0; a++)
        if (a->atype == AT_ENVIRONMENT)
            return true;
    return false;
}

SetupFile CrimeSetup(int group)
{
    SetupFile s;
    const std::vector<CrimeCastMember> cast = CrimeCast(group);
    for (int level = 0; level < 3; level++) {
        const int top = s.AddPlaceholder(-1, u16(1 << level));
        for (const CrimeCastMember& m : cast) {
            if ((m.levels & (1 << level)) == 0)
                continue;
            const int node = s.AddPlaceholder(top, 0, VectorPos(m.x, 0.0f, m.z));
            if (m.car) {
                s.AddRecord(node, ENT_VEHICLE, Vehicle_params{m.character, 0, m.id, 100});
                continue;
            }
            EnemyGenRunner_params r = ZeroRecord<EnemyGenRunner_params>();
            r.character = m.character;
            r.id = m.id;
            r.weapon = m.weapon;
            r.walking = 1;
            r.oblivious = 1;
            r.shoot = m.weapon != 0 ? 0.5f : 0.0f;
            r.fight = 1.0f;
            r.init_strength = 100;
            r.badass = 1.0f;
            s.AddRecord(node, ENT_ENEMYGENRUNNER, r);
        }
    }
    return s;
}

std::vector<NamedSetup> CrimeSetupFiles()
{
    std::vector<NamedSetup> out;
    for (int group = 101; group <= 139; group++) {
        if (!CrimeHasSetup(group))
            continue;
        char path[32];
        std::snprintf(path, sizeof path, "RCRIMES/GENG%d.P2B", group);
        out.push_back({path, CrimeSetup(group)});
    }
    return out;
}

std::vector<HumanoidCharacter> CrimeCastHumanoids(const std::vector<HumanoidCharacter>& have)
{
    std::set<int> ids;
    for (const s16* const list : rgpi16CharGroups)
        for (const s16* m = list; *m >= 0; m++)
            ids.insert(*m);
    ids.insert(102);                    // the armed robbery's commando
    for (int officer : {396, 397, 356})   // a police call's officers
        ids.insert(officer & 0xFF);
    std::set<std::string> present;
    for (const HumanoidCharacter& h : have)
        present.insert(h.path);

    std::vector<HumanoidCharacter> out;
    for (int id : ids) {
        char name[128];
        if (GetModelFileName(id | 0x100, name) == nullptr)
            continue;
        // The game's name "KORVALIS\DemoData\Lreschar\X.P2B" is the disc's
        // "DemoData/Lreschar/X.P2B".
        std::string path = name + std::string("KORVALIS\\").size();
        std::replace(path.begin(), path.end(), '\\', '/');
        if (present.count(path) != 0)
            continue;
        // Each looks different: height, build and clothes follow the id.
        HumanoidLook look;
        look.charid = id;
        look.height = 1.62f + 0.02f * float(id % 13);
        look.build = 0.85f + 0.05f * float(id % 7);
        look.shirt = Colour(u8(40 + (id * 37) % 180), u8(40 + (id * 53) % 180), u8(40 + (id * 71) % 180), 128);
        look.trousers = Colour(u8(20 + (id * 29) % 90), u8(20 + (id * 43) % 90), u8(20 + (id * 61) % 90), 128);
        look.lowDetail = true;
        look.driverCopy = true;
        out.push_back({path, look});
    }
    return out;
}

}  // namespace tools
