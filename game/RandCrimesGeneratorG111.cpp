// Crime groups 111..139: dealers, hookers, brawls, officers in trouble,
// gang fights, armed robbery, car crimes, the drive-by and the tail; and the
// tables by crime index that the spawner and the crimes use.
#include "game/RandCrimesGenerator.h"

#include "game/RandCrimesRows.h"

// ---------------------------------------------------------------------------
// Asset lists, built by this unit's static initialiser in this order

AssetLoadParams ralpGenG111[2] = {
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG112[2] = {
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG113[5] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG113.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1029, AT_AMBCHAR, 0),
    AssetLoadParams(1030, AT_AMBCHAR, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG114[6] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG114.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1026, AT_AMBCHAR, 0),
    AssetLoadParams(1026, AT_AMBCHAR, 0),
    AssetLoadParams(1026, AT_AMBCHAR, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG117[4] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG117.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG118[7] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG118.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 4),
    AssetLoadParams(1024, AT_AMBCHAR, 4),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG121[5] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG121.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 0),
    AssetLoadParams(1027, AT_AMBCHAR, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG122[7] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG122.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 4),
    AssetLoadParams(1024, AT_AMBCHAR, 4),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG123[6] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG123.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1026, AT_AMBCHAR, 0),
    AssetLoadParams(102, AT_AMBCHAR, 0),
    AssetLoadParams(32, AT_AMBVEH, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG124[5] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG124.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 0),
    AssetLoadParams(1122, AT_AMBVEH, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG125[5] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG125.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 0),
    AssetLoadParams(1122, AT_AMBVEH, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG126[7] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG126.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 0),
    AssetLoadParams(1026, AT_AMBCHAR, 6),
    AssetLoadParams(1027, AT_AMBCHAR, 1),
    AssetLoadParams(1122, AT_AMBVEH, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG127[7] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG127.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 0),
    AssetLoadParams(1026, AT_AMBCHAR, 6),
    AssetLoadParams(1027, AT_AMBCHAR, 1),
    AssetLoadParams(1122, AT_AMBVEH, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG129[5] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG129.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 0),
    AssetLoadParams(1122, AT_AMBVEH, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG130[5] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG130.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1026, AT_AMBCHAR, 0),
    AssetLoadParams(1122, AT_AMBVEH, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG138[2] = {
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG139[2] = {
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};

// ---------------------------------------------------------------------------
// Parameter rows

using namespace randcrimerows;

RandMissParams rgg111rmp[3] = {
    Row(11, 0, kEmergent, 0.9375f, 3600, ralpGenG111, "DRUG DEALER", "DRUG DEALER", "DRUG DEALER"),
    Row(11, 1, kEmergent, 0.9375f, 3600, ralpGenG111, "DRUG DEALER", "DRUG DEALER", "DRUG DEALER"),
    Row(11, 2, kEmergent, 0.9375f, 3600, ralpGenG111, "DRUG DEALER", "DRUG DEALER", "DRUG DEALER"),
};
RandMissParams rgg112rmp[3] = {
    Row(12, 0, kEmergent, 0.9375f, 3600, ralpGenG112, "HOOKER", "HOOKER", "HOOKER"),
    Row(12, 1, kEmergent, 0.9375f, 3600, ralpGenG112, "HOOKER", "HOOKER", "HOOKER"),
    Row(12, 2, kEmergent, 0.9375f, 3600, ralpGenG112, "HOOKER", "HOOKER", "HOOKER"),
};
RandMissParams rgg113rmp[1] = {
    Row(13, 0, kPlain, 1.5625f, 3000, ralpGenG113, "DOMESTIC DISTURBANCE", "BREAK UP THE FIGHT", "BUST THE BRAWLERS"),
};
RandMissParams rgg114rmp[1] = {
    Row(14, 0, kGunfight, 3.125f, 3000, ralpGenG114, "RUNAWAY SUSPECTS", "RUNAWAY SUSPECTS", "RUNAWAY SUSPECTS"),
};
RandMissParams rgg117rmp[3] = {
    Row(17, 0, kPlain, 1.5625f, 3000, ralpGenG117, "OFFICERS REQUESTING BACKUP", "ASSIST OFFICERS IN FIGHT", "HELP OFFICERS IN BRAWL"),
    Row(17, 1, kPlain, 1.5625f, 3000, ralpGenG117, "OFFICERS REQUESTING BACKUP", "ASSIST OFFICERS IN FIGHT", "HELP OFFICERS IN BRAWL"),
    Row(17, 2, kPlain, 1.5625f, 3000, ralpGenG117, "OFFICERS REQUESTING BACKUP", "ASSIST OFFICERS IN FIGHT", "HELP OFFICERS IN BRAWL"),
};
RandMissParams rgg118rmp[1] = {
    Row(18, 1, kPlain, 7.8125f, 3000, ralpGenG118, "GANG FIGHT", "STOP GANG FIGHT", "STOP GANG FIGHT"),
};
RandMissParams rgg121rmp[3] = {
    Row(21, 0, kGunfight, 1.5625f, 3000, ralpGenG121, "OFFICERS INVOLVED IN SHOOTOUT", "ASSIST OFFICERS IN SHOOTOUT", "HELP OFFICERS IN FIREFIGHT"),
    Row(21, 1, kGunfight, 1.5625f, 3000, ralpGenG121, "OFFICERS INVOLVED IN SHOOTOUT", "ASSIST OFFICERS IN SHOOTOUT", "HELP OFFICERS UNDER FIRE"),
    Row(21, 2, kGunfight, 1.5625f, 3000, ralpGenG121, "OFFICERS INVOLVED IN SHOOTOUT", "ASSIST OFFICERS IN SHOOTOUT", "HELP OFFICERS UNDER FIRE"),
};
RandMissParams rgg122rmp[1] = {
    Row(22, 1, kGunfight, 7.8125f, 3000, ralpGenG122, "GANG SHOOTOUT", "STOP GANG SHOOTOUT", "STOP GANG SHOOTOUT"),
};
RandMissParams rgg123rmp[3] = {
    Row(23, 0, kGunfight | kGetaway, 6.25f, 3000, ralpGenG123, "ARMED ROBBERY", "ARREST ARMED SUSPECTS", "ARREST ARMED SUSPECTS", 468.75f),
    Row(23, 1, kGunfight | kGetaway, 6.25f, 3000, ralpGenG123, "ARMED ROBBERY", "ARREST ARMED SUSPECTS", "ARREST ARMED SUSPECTS", 468.75f),
    Row(23, 2, kGunfight | kGetaway, 6.25f, 3000, ralpGenG123, "ARMED ROBBERY", "ARREST ARMED SUSPECTS", "ARREST ARMED SUSPECTS", 468.75f),
};
RandMissParams rgg124rmp[3] = {
    Row(24, 0, kGunfight | kCarchase, 62.5f, 1800, ralpGenG124, "RECKLESS DRIVER", "PURSUE SPEEDER", "BUST SPEEDER"),
    Row(24, 1, kGunfight | kCarchase, 62.5f, 1800, ralpGenG124, "RECKLESS DRIVER", "PURSUE SPEEDER", "BUST SPEEDER"),
    Row(24, 2, kGunfight | kCarchase, 62.5f, 1800, ralpGenG124, "RECKLESS DRIVER", "PURSUE SPEEDER", "BUST SPEEDER"),
};
RandMissParams rgg125rmp[3] = {
    Row(25, 0, kGunfight | kCarchase, 62.5f, 1800, ralpGenG125, "HIT-AND-RUN FELONY", "PURSUE SPEEDER", "BUST SPEEDER"),
    Row(25, 1, kGunfight | kCarchase, 62.5f, 1800, ralpGenG125, "HIT-AND-RUN FELONY", "PURSUE SPEEDER", "BUST SPEEDER"),
    Row(25, 2, kGunfight | kCarchase, 62.5f, 1800, ralpGenG125, "HIT-AND-RUN FELONY", "PURSUE SPEEDER", "BUST SPEEDER"),
};
RandMissParams rgg126rmp[3] = {
    Row(26, 0, kGunfight | kPolicechase | kCarchase, 62.5f, 1800, ralpGenG126, "STOLEN CAR", "PURSUE STOLEN CAR", "RECOVER STOLEN CAR"),
    Row(26, 1, kGunfight | kPolicechase | kCarchase, 62.5f, 1800, ralpGenG126, "STOLEN CAR", "PURSUE STOLEN CAR", "RECOVER STOLEN CAR"),
    Row(26, 2, kGunfight | kPolicechase | kCarchase, 62.5f, 1800, ralpGenG126, "STOLEN CAR", "PURSUE STOLEN CAR", "RECOVER STOLEN CAR"),
};
RandMissParams rgg127rmp[3] = {
    Row(27, 0, kGunfight | kPolicechase | kCarchase, 62.5f, 1800, ralpGenG127, "STOP CAR, DANGEROUS SUSPECTS", "PURSUE GETAWAY CAR", "ARREST CRIMINALS"),
    Row(27, 1, kGunfight | kPolicechase | kCarchase, 62.5f, 1800, ralpGenG127, "STOP CAR, DANGEROUS SUSPECTS", "PURSUE GETAWAY CAR", "ARREST CRIMINALS"),
    Row(27, 2, kGunfight | kPolicechase | kCarchase, 62.5f, 1800, ralpGenG127, "STOP CAR, DANGEROUS SUSPECTS", "PURSUE GETAWAY CAR", "ARREST CRIMINALS"),
};
RandMissParams rgg129rmp[3] = {
    Row(29, 1, kGunfight | kCarchase | kDriveby, 31.25f, 3000, ralpGenG129, "DRIVE-BY SHOOTING", "ARREST DRIVE-BY ASSASSINS", "ARREST DRIVE-BY ASSASSINS"),
    Row(29, 1, kGunfight | kCarchase | kDriveby, 31.25f, 3000, ralpGenG129, "DRIVE-BY SHOOTING", "ARREST DRIVE-BY ASSASSINS", "ARREST DRIVE-BY ASSASSINS"),
    Row(29, 2, kGunfight | kCarchase | kDriveby, 31.25f, 3000, ralpGenG129, "DRIVE-BY SHOOTING", "ARREST DRIVE-BY ASSASSINS", "ARREST DRIVE-BY ASSASSINS"),
};
RandMissParams rgg130rmp[3] = {
    Row(30, 0, kGunfight | kCarchase | kTail, 3.125f, 1800, ralpGenG130, "TAIL DRUG DEALER", "PURSUE SPEEDER", "BUST SPEEDER"),
    Row(30, 1, kGunfight | kCarchase | kTail, 3.125f, 1800, ralpGenG130, "TAIL DRUG DEALER", "PURSUE SPEEDER", "BUST SPEEDER"),
    Row(30, 2, kGunfight | kCarchase | kTail, 3.125f, 1800, ralpGenG130, "TAIL DRUG DEALER", "PURSUE SPEEDER", "BUST SPEEDER"),
};
RandMissParams rgg138rmp[3] = {
    Row(38, 0, kEmergent, 0.9375f, 3600, ralpGenG138, "PURSE SNATCHING", "ROBBERY IN PROGRESS", "ROBBERY IN PROGRESS"),
    Row(38, 1, kEmergent, 0.9375f, 3600, ralpGenG138, "PURSE SNATCHING", "ROBBERY IN PROGRESS", "ROBBERY IN PROGRESS"),
    Row(38, 2, kEmergent, 0.9375f, 3600, ralpGenG138, "PURSE SNATCHING", "ROBBERY IN PROGRESS", "ROBBERY IN PROGRESS"),
};
RandMissParams rgg139rmp[3] = {
    Row(39, 0, kEmergent, 0.9375f, 3600, ralpGenG139, "STREET FIGHT", "FIGHT IN PROGRESS", "FIGHT IN PROGRESS"),
    Row(39, 1, kEmergent, 0.9375f, 3600, ralpGenG139, "STREET FIGHT", "FIGHT IN PROGRESS", "FIGHT IN PROGRESS"),
    Row(39, 2, kEmergent, 0.9375f, 3600, ralpGenG139, "STREET FIGHT", "FIGHT IN PROGRESS", "FIGHT IN PROGRESS"),
};

// ---------------------------------------------------------------------------
// Rows by crime index

namespace {

struct GroupTable
{
    RandMissParams* rows;
    int count;
};

template <size_t N>
constexpr GroupTable Table(RandMissParams (&rows)[N])
{
    return {rows, int(N)};
}

const GroupTable rgtGroups[RC_NUMINDEXES] = {
    {},                {Table(rgg101rmp)}, {Table(rgg102rmp)}, {Table(rgg103rmp)}, {Table(rgg104rmp)},
    {Table(rgg105rmp)}, {Table(rgg106rmp)}, {Table(rgg107rmp)}, {Table(rgg108rmp)}, {Table(rgg109rmp)},
    {Table(rgg110rmp)}, {Table(rgg111rmp)}, {Table(rgg112rmp)}, {Table(rgg113rmp)}, {Table(rgg114rmp)},
    {},                {},                {Table(rgg117rmp)}, {Table(rgg118rmp)}, {},
    {},                {Table(rgg121rmp)}, {Table(rgg122rmp)}, {Table(rgg123rmp)}, {Table(rgg124rmp)},
    {Table(rgg125rmp)}, {Table(rgg126rmp)}, {Table(rgg127rmp)}, {},                {Table(rgg129rmp)},
    {Table(rgg130rmp)}, {},                {},                {},                {},
    {},                {},                {},                {Table(rgg138rmp)}, {Table(rgg139rmp)},
};

}  // namespace

RandMissParams* RandMissRow(int index, int difficulty)
{
    if (index < 0 || index >= RC_NUMINDEXES || rgtGroups[index].rows == nullptr)
        return nullptr;
    const GroupTable& t = rgtGroups[index];
    // The one-row groups hold no rows for the higher levels.
    const int row = difficulty < 0 ? 0 : difficulty >= t.count ? t.count - 1 : difficulty;
    return &t.rows[row];
}

Object* CreateGroupCrime(Object* parent, int index, int difficulty, bool emergentLists)
{
    RandMissParams* row = RandMissRow(index, difficulty);
    if (row == nullptr)
        return nullptr;
    RandomMissionController* c = NewRandomMissionController(parent, row);
    if (c != nullptr && emergentLists)
        c->InitialiseMissionEmergentPointers();
    return c;
}

// ---------------------------------------------------------------------------
// Creators

Object* CreateRMGenG111(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 11, iDifficulty, false); }
Object* CreateRMGenG112(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 12, iDifficulty, false); }
Object* CreateRMGenG113(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 13, iDifficulty, false); }
Object* CreateRMGenG114(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 14, iDifficulty, false); }
Object* CreateRMGenG117(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 17, iDifficulty, false); }
Object* CreateRMGenG118(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 18, iDifficulty, false); }
Object* CreateRMGenG121(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 21, iDifficulty, false); }
Object* CreateRMGenG122(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 22, iDifficulty, false); }
Object* CreateRMGenG123(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 23, iDifficulty, false); }
Object* CreateRMGenG124(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 24, iDifficulty, false); }
Object* CreateRMGenG125(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 25, iDifficulty, false); }
Object* CreateRMGenG126(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 26, iDifficulty, false); }
Object* CreateRMGenG127(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 27, iDifficulty, false); }
Object* CreateRMGenG129(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 29, iDifficulty, false); }
Object* CreateRMGenG130(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 30, iDifficulty, false); }
Object* CreateRMGenG138(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 38, iDifficulty, true); }
Object* CreateRMGenG139(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 39, iDifficulty, true); }
