// The crime groups 101..139: each group's parameter rows, its asset list,
// its creator (which the spawner calls by crime index, group - 100) and its
// two scripts (where the crime happens, what its cast is told).
//
// Groups 101..110 are in RandCrimesGeneratorG101.cpp, 111..139 in
// RandCrimesGeneratorG111.cpp, the scripts in RandCrimesScripts.cpp.
#pragma once

#include "game/RandomCrimes.h"

// Crime indexes run 0..39; the tables below are indexed by them.
constexpr int RC_NUMINDEXES = 40;

// The group tables, one row per difficulty level (one row for 113, 114, 118
// and 122).
extern RandMissParams rgg101rmp[3], rgg102rmp[3], rgg103rmp[3], rgg104rmp[3], rgg105rmp[3], rgg106rmp[3],
    rgg107rmp[3], rgg108rmp[3], rgg109rmp[3], rgg110rmp[3];
extern RandMissParams rgg111rmp[3], rgg112rmp[3], rgg113rmp[1], rgg114rmp[1], rgg117rmp[3], rgg118rmp[1],
    rgg121rmp[3], rgg122rmp[1], rgg123rmp[3], rgg124rmp[3], rgg125rmp[3], rgg126rmp[3], rgg127rmp[3],
    rgg129rmp[3], rgg130rmp[3], rgg138rmp[3], rgg139rmp[3];

// The asset lists, each ended by an entry with a negative id.
extern AssetLoadParams ralpGenG101[4], ralpGenG102[5], ralpGenG103[5], ralpGenG104[2], ralpGenG105[3],
    ralpGenG106[3], ralpGenG107[3], ralpGenG108[3], ralpGenG109[3], ralpGenG110[8];
extern AssetLoadParams ralpGenG111[2], ralpGenG112[2], ralpGenG113[5], ralpGenG114[6], ralpGenG117[4],
    ralpGenG118[7], ralpGenG121[5], ralpGenG122[7], ralpGenG123[6], ralpGenG124[5], ralpGenG125[5],
    ralpGenG126[7], ralpGenG127[7], ralpGenG129[5], ralpGenG130[5], ralpGenG138[2], ralpGenG139[2];

// The row a crime of crime index `index` takes at `difficulty`: a level the
// group has no row for takes its last row (below 0 the first).  Null for an
// index without a group.
RandMissParams* RandMissRow(int index, int difficulty);

// A group's creator: the crime for row `iDifficulty` under `parent`, not yet
// in the world; null without memory.
typedef Object* (*RANDMISSIONSPAWNHANDLER)(Object* parent, int iDifficulty);
Object* CreateRMGenG101(Object* parent, int iDifficulty);
Object* CreateRMGenG102(Object* parent, int iDifficulty);
Object* CreateRMGenG103(Object* parent, int iDifficulty);
Object* CreateRMGenG104(Object* parent, int iDifficulty);
Object* CreateRMGenG105(Object* parent, int iDifficulty);
Object* CreateRMGenG106(Object* parent, int iDifficulty);
Object* CreateRMGenG107(Object* parent, int iDifficulty);
Object* CreateRMGenG108(Object* parent, int iDifficulty);
Object* CreateRMGenG109(Object* parent, int iDifficulty);
Object* CreateRMGenG110(Object* parent, int iDifficulty);
Object* CreateRMGenG111(Object* parent, int iDifficulty);
Object* CreateRMGenG112(Object* parent, int iDifficulty);
Object* CreateRMGenG113(Object* parent, int iDifficulty);
Object* CreateRMGenG114(Object* parent, int iDifficulty);
Object* CreateRMGenG117(Object* parent, int iDifficulty);
Object* CreateRMGenG118(Object* parent, int iDifficulty);
Object* CreateRMGenG121(Object* parent, int iDifficulty);
Object* CreateRMGenG122(Object* parent, int iDifficulty);
Object* CreateRMGenG123(Object* parent, int iDifficulty);
Object* CreateRMGenG124(Object* parent, int iDifficulty);
Object* CreateRMGenG125(Object* parent, int iDifficulty);
Object* CreateRMGenG126(Object* parent, int iDifficulty);
Object* CreateRMGenG127(Object* parent, int iDifficulty);
Object* CreateRMGenG129(Object* parent, int iDifficulty);
Object* CreateRMGenG130(Object* parent, int iDifficulty);
Object* CreateRMGenG138(Object* parent, int iDifficulty);
Object* CreateRMGenG139(Object* parent, int iDifficulty);

// The creators by crime index; null where there is no group.
extern RANDMISSIONSPAWNHANDLER rprmchRandomMissionSpawner[RC_NUMINDEXES];

// Each group's scripts: where its crime happens (called once, for a crime
// that is not emergent, before its set-up is built around matLoc) and what
// its cast is told (entry 0 when it starts; the car crimes 124..127 at 1
// when the pursuit starts; the tail 130 at 1 lost, 2 spotted, 3 arrived).
void GetMissionPositionRMGenG101(Object* crime);
void GetMissionPositionRMGenG102(Object* crime);
void GetMissionPositionRMGenG103(Object* crime);
void GetMissionPositionRMGenG104(Object* crime);
void GetMissionPositionRMGenG105(Object* crime);
void GetMissionPositionRMGenG106(Object* crime);
void GetMissionPositionRMGenG107(Object* crime);
void GetMissionPositionRMGenG108(Object* crime);
void GetMissionPositionRMGenG109(Object* crime);
void GetMissionPositionRMGenG110(Object* crime);
void GetMissionPositionRMGenG111(Object* crime);
void GetMissionPositionRMGenG112(Object* crime);
void GetMissionPositionRMGenG113(Object* crime);
void GetMissionPositionRMGenG114(Object* crime);
void GetMissionPositionRMGenG117(Object* crime);
void GetMissionPositionRMGenG118(Object* crime);
void GetMissionPositionRMGenG121(Object* crime);
void GetMissionPositionRMGenG122(Object* crime);
void GetMissionPositionRMGenG123(Object* crime);
void GetMissionPositionRMGenG124(Object* crime);
void GetMissionPositionRMGenG125(Object* crime);
void GetMissionPositionRMGenG126(Object* crime);
void GetMissionPositionRMGenG127(Object* crime);
void GetMissionPositionRMGenG129(Object* crime);
void GetMissionPositionRMGenG130(Object* crime);
void GetMissionPositionRMGenG138(Object* crime);
void GetMissionPositionRMGenG139(Object* crime);
int MissionCommanderRMGenG101(Object* crime, int iEntry);
int MissionCommanderRMGenG102(Object* crime, int iEntry);
int MissionCommanderRMGenG103(Object* crime, int iEntry);
int MissionCommanderRMGenG104(Object* crime, int iEntry);
int MissionCommanderRMGenG105(Object* crime, int iEntry);
int MissionCommanderRMGenG106(Object* crime, int iEntry);
int MissionCommanderRMGenG107(Object* crime, int iEntry);
int MissionCommanderRMGenG108(Object* crime, int iEntry);
int MissionCommanderRMGenG109(Object* crime, int iEntry);
int MissionCommanderRMGenG110(Object* crime, int iEntry);
int MissionCommanderRMGenG111(Object* crime, int iEntry);
int MissionCommanderRMGenG112(Object* crime, int iEntry);
int MissionCommanderRMGenG113(Object* crime, int iEntry);
int MissionCommanderRMGenG114(Object* crime, int iEntry);
int MissionCommanderRMGenG117(Object* crime, int iEntry);
int MissionCommanderRMGenG118(Object* crime, int iEntry);
int MissionCommanderRMGenG121(Object* crime, int iEntry);
int MissionCommanderRMGenG122(Object* crime, int iEntry);
int MissionCommanderRMGenG123(Object* crime, int iEntry);
int MissionCommanderRMGenG124(Object* crime, int iEntry);
int MissionCommanderRMGenG125(Object* crime, int iEntry);
int MissionCommanderRMGenG126(Object* crime, int iEntry);
int MissionCommanderRMGenG127(Object* crime, int iEntry);
int MissionCommanderRMGenG129(Object* crime, int iEntry);
int MissionCommanderRMGenG130(Object* crime, int iEntry);
int MissionCommanderRMGenG138(Object* crime, int iEntry);
int MissionCommanderRMGenG139(Object* crime, int iEntry);
