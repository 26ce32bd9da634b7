// The random-crime controller: its handler, its states and its life cycle.
#include "game/RandomCrimes.h"

#include "game/BadGuy.h"
#include "game/Bystander.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/StandIns.h"
#include "game/Vehicle.h"

// The fight sub-controller of a crime takes no figures of its own.
ControllerCombat_params DefaultControllerCombatParams = {0, 0, 0, 0};

// A crime's tail: no runner record of its own; too close within 9.375 for
// 300 frames, too far beyond 62.5 for 300 frames; being seen does not end it.
TailMissionParams DefaultTailMissionParams = {nullptr, 0, 0, 9.375f, 300.0f, 62.5f, 300.0f, false, nullptr};

// The suspects a crime adds: walking, unaware, fists only.
EnemyGenRunner_params DefaultEnemyParams = {
    .character = 0, .pad1 = {}, .id = -110, .weapon = 0, .caronly = 0, .walking = 1, .oblivious = 1,
    .shoot = 0.0f, .command = 0.0f, .fight = 1.0f, .init_strength = 100, .pad21 = {}, .badass = 1.0f,
    .handweapon = 0, .first_tint = 0, .rnd_tint = 0, .pad31 = {}};

// The officers of a police call.
EnemyGenRunner_params DefaultCopParams = {
    .character = 0, .pad1 = {}, .id = -196, .weapon = 0, .caronly = 0, .walking = 1, .oblivious = 1,
    .shoot = 0.0f, .command = 0.0f, .fight = 1.0f, .init_strength = 100, .pad21 = {}, .badass = 1.0f,
    .handweapon = 0, .first_tint = 0, .rnd_tint = 0, .pad31 = {}};

// The police car of a police call.
Vehicle_params DefaultCopCarParams = {.vehicle = 0, .tint = 0, .id = -226, .init_strength = 100};

int RandomMissionController::RandomMissionController_mh(Object* o, OBJMESSAGE msg, void* data)
{
    return static_cast<RandomMissionController*>(o)->mh(msg, data);
}

int RandomMissionController::mh(OBJMESSAGE msg, void*)
{
    StandInUsed("RandomMissionController::mh");
    if (msg == OM_DIE) {
        delete this;
        return -1;
    }
    return 0;
}

RandomMissionController::~RandomMissionController()
{
    if (pobjectlist != nullptr) {
        pobjectlist->RemoveAll();
        delete pobjectlist;
    }
}

RandomMissionController* NewRandomMissionController(Object* parent, RandMissParams* row)
{
    StandInUsed("NewRandomMissionController");
    (void)parent;
    (void)row;
    return nullptr;
}

// Not built yet: each says once that it was used.
#pragma GCC diagnostic ignored "-Wunused-parameter"

void RandomMissionController::RCInit()
{
    StandInUsed("RandomMissionController::RCInit");
}

void RandomMissionController::RCFrame()
{
    StandInUsed("RandomMissionController::RCFrame");
}

void RandomMissionController::RCFrameActive()
{
    StandInUsed("RandomMissionController::RCFrameActive");
}

void RandomMissionController::RCFrameHibernate()
{
    StandInUsed("RandomMissionController::RCFrameHibernate");
}

void RandomMissionController::RCFrameEngaged()
{
    StandInUsed("RandomMissionController::RCFrameEngaged");
}

void RandomMissionController::RCFrameWrapup()
{
    StandInUsed("RandomMissionController::RCFrameWrapup");
}

void RandomMissionController::RCFrameInactive()
{
    StandInUsed("RandomMissionController::RCFrameInactive");
}

void RandomMissionController::RCCheckLoading()
{
    StandInUsed("RandomMissionController::RCCheckLoading");
}

void RandomMissionController::RCCheckActive()
{
    StandInUsed("RandomMissionController::RCCheckActive");
}

void RandomMissionController::RCCheckInactive()
{
    StandInUsed("RandomMissionController::RCCheckInactive");
}

void RandomMissionController::RCCheckDestroy()
{
    StandInUsed("RandomMissionController::RCCheckDestroy");
}

int RandomMissionController::InitMissionParameters()
{
    StandInUsed("RandomMissionController::InitMissionParameters");
    return 0;
}

int RandomMissionController::InitialiseMissionEmergentPointers()
{
    StandInUsed("RandomMissionController::InitialiseMissionEmergentPointers");
    return 0;
}

void RandomMissionController::SetFightMissionMode(ControllerCombat_params* params)
{
    StandInUsed("RandomMissionController::SetFightMissionMode");
}

void RandomMissionController::SetTailMissionMode(TailMissionParams* params, Enemy* enemy)
{
    StandInUsed("RandomMissionController::SetTailMissionMode");
}

void RandomMissionController::EndMission()
{
    StandInUsed("RandomMissionController::EndMission");
}

void RandomMissionController::DefaultDieHandler()
{
    StandInUsed("RandomMissionController::DefaultDieHandler");
}

void RandomMissionController::DestroySubMissionControllers()
{
    StandInUsed("RandomMissionController::DestroySubMissionControllers");
}

void RandomMissionController::UnloadFightingStyle()
{
    StandInUsed("RandomMissionController::UnloadFightingStyle");
}

void RandomMissionController::ClearTheMapDisplay()
{
    StandInUsed("RandomMissionController::ClearTheMapDisplay");
}

int RandomMissionController::RequestAssets()
{
    StandInUsed("RandomMissionController::RequestAssets");
    return 0;
}

int RandomMissionController::InitAssets(int n, AssetLoadParams* list, int level)
{
    StandInUsed("RandomMissionController::InitAssets");
    return 0;
}

bool RandomMissionController::CheckAssetsLoaded()
{
    StandInUsed("RandomMissionController::CheckAssetsLoaded");
    return false;
}

int RandomMissionController::UnHoldLoadedAssets()
{
    StandInUsed("RandomMissionController::UnHoldLoadedAssets");
    return 0;
}

int RandomMissionController::UnSetCopDeleteOnZero()
{
    StandInUsed("RandomMissionController::UnSetCopDeleteOnZero");
    return 0;
}

MDLFILE* RandomMissionController::GetCharacterModelFile(int n)
{
    StandInUsed("RandomMissionController::GetCharacterModelFile");
    return nullptr;
}

bool RandomMissionController::AddToUsedList(int id)
{
    StandInUsed("RandomMissionController::AddToUsedList");
    return false;
}

bool RandomMissionController::InUsedList(int id)
{
    StandInUsed("RandomMissionController::InUsedList");
    return false;
}

int RandomMissionController::PickFromGroup(int iGroupID, bool bUnique)
{
    StandInUsed("RandomMissionController::PickFromGroup");
    return 0;
}

int RandomMissionController::LoadPS2Setup(int slot, Matrix& mat, int level)
{
    StandInUsed("RandomMissionController::LoadPS2Setup");
    return 0;
}

int RandomMissionController::SetupInfoTables(Matrix& mat, int slot, int level)
{
    StandInUsed("RandomMissionController::SetupInfoTables");
    return 0;
}

Enemy* RandomMissionController::AddEnemy(Matrix& mat)
{
    StandInUsed("RandomMissionController::AddEnemy");
    return nullptr;
}

void RandomMissionController::MakeAddedEnemiesTargettable()
{
    StandInUsed("RandomMissionController::MakeAddedEnemiesTargettable");
}

Object* RandomMissionController::AttachTargetArrow(Object* obj)
{
    StandInUsed("RandomMissionController::AttachTargetArrow");
    return nullptr;
}

VectorPos RandomMissionController::GetRandCharacterSidewalkPosition(RoadSeg& rs, float t, VectorPos* across)
{
    StandInUsed("RandomMissionController::GetRandCharacterSidewalkPosition");
    return VectorPos(0.0f, 0.0f, 0.0f);
}

VectorPos RandomMissionController::GetRandInRoadPosition(RoadSeg& rs, float t, VectorPos* across)
{
    StandInUsed("RandomMissionController::GetRandInRoadPosition");
    return VectorPos(0.0f, 0.0f, 0.0f);
}

Matrix RandomMissionController::CreateGeneratedRSInStreetPosition()
{
    StandInUsed("RandomMissionController::CreateGeneratedRSInStreetPosition");
    return Matrix(true);
}

Matrix RandomMissionController::CreateGeneratedRSRandomPosition(VectorPos* across)
{
    StandInUsed("RandomMissionController::CreateGeneratedRSRandomPosition");
    return Matrix(true);
}

Matrix RandomMissionController::CreateGeneratedRSBehindPosition(float d)
{
    StandInUsed("RandomMissionController::CreateGeneratedRSBehindPosition");
    return Matrix(true);
}

Vehicle* RandomMissionController::GetVehicle(int id)
{
    StandInUsed("RandomMissionController::GetVehicle");
    return nullptr;
}

int RandomMissionController::AlignVehicleToStreet(int id)
{
    StandInUsed("RandomMissionController::AlignVehicleToStreet");
    return 0;
}

int RandomMissionController::AlignVehicleToStreet2(Vehicle* veh)
{
    StandInUsed("RandomMissionController::AlignVehicleToStreet2");
    return 0;
}

int RandomMissionController::CheckTargetVehicleStatus()
{
    StandInUsed("RandomMissionController::CheckTargetVehicleStatus");
    return 0;
}

int RandomMissionController::PutGuyInCar(Vehicle* pVeh, Object* pObject, int iCarPos)
{
    StandInUsed("RandomMissionController::PutGuyInCar");
    return 0;
}

int RandomMissionController::MoveRange(VectorDir d, int lo, int hi)
{
    StandInUsed("RandomMissionController::MoveRange");
    return 0;
}

int RandomMissionController::CheckAndUpdateEnemies(float* nearest)
{
    StandInUsed("RandomMissionController::CheckAndUpdateEnemies");
    return 0;
}

int RandomMissionController::CheckAndUpdateEnemiesEmergent(float* nearest)
{
    StandInUsed("RandomMissionController::CheckAndUpdateEnemiesEmergent");
    return 0;
}

int RandomMissionController::CheckAndUpdateEnemiesGenerated(float* nearest)
{
    StandInUsed("RandomMissionController::CheckAndUpdateEnemiesGenerated");
    return 0;
}

void RandomMissionController::SetNumMissionEnemies()
{
    StandInUsed("RandomMissionController::SetNumMissionEnemies");
}

Object* RandomMissionController::DaceProximityCheck(float* range)
{
    StandInUsed("RandomMissionController::DaceProximityCheck");
    return nullptr;
}

Object* RandomMissionController::DaceProximityCheckEmergent(float* range)
{
    StandInUsed("RandomMissionController::DaceProximityCheckEmergent");
    return nullptr;
}

Object* RandomMissionController::DaceProximityCheckGenerated(float* range)
{
    StandInUsed("RandomMissionController::DaceProximityCheckGenerated");
    return nullptr;
}

int RandomMissionController::HandleSpecialEnemyDoneMessages(SpecialMessage* m)
{
    StandInUsed("RandomMissionController::HandleSpecialEnemyDoneMessages");
    return 0;
}

int RandomMissionController::HandleSpecialEngagedMessages(SpecialMessage* m)
{
    StandInUsed("RandomMissionController::HandleSpecialEngagedMessages");
    return 0;
}

int RandomMissionController::DefaultSpecialMessages(SpecialMessage* m)
{
    StandInUsed("RandomMissionController::DefaultSpecialMessages");
    return 0;
}

int RandomMissionController::SendMessageToRange(SpecialMessage* m, int lo, int hi)
{
    StandInUsed("RandomMissionController::SendMessageToRange");
    return 0;
}

int RandomMissionController::SendMessageToAllEnemies(SpecialMessage* m)
{
    StandInUsed("RandomMissionController::SendMessageToAllEnemies");
    return 0;
}

int RandomMissionController::SendAttackMessage(Enemy* e, Object* target)
{
    StandInUsed("RandomMissionController::SendAttackMessage");
    return 0;
}

void RandomMissionController::EnemyReactToDace(Enemy* e)
{
    StandInUsed("RandomMissionController::EnemyReactToDace");
}

void RandomMissionController::EnemyReactToStreet(Enemy* e)
{
    StandInUsed("RandomMissionController::EnemyReactToStreet");
}

int RandomMissionController::CheckEnemyGetawayStatus(Enemy* e)
{
    StandInUsed("RandomMissionController::CheckEnemyGetawayStatus");
    return 0;
}

int RandomMissionController::GroupMutualMessage(int iSpecialMessage, int fightstyle, int iSrceGroupBlockID, int iDestGroupBlockID)
{
    StandInUsed("RandomMissionController::GroupMutualMessage");
    return 0;
}

int RandomMissionController::GroupSingleMessage(int iSpecialMessage, int fightstyle, int iSrceGroupBlockID, int iDestGroupBlockID)
{
    StandInUsed("RandomMissionController::GroupSingleMessage");
    return 0;
}

int RandomMissionController::FindEnemyGenInfoIndex(Object* obj)
{
    StandInUsed("RandomMissionController::FindEnemyGenInfoIndex");
    return 0;
}

int RandomMissionController::FindEnemyGenInfoIndex(int id)
{
    StandInUsed("RandomMissionController::FindEnemyGenInfoIndex");
    return 0;
}

int RandomMissionController::CallTheCops(Vehicle* chaseme)
{
    StandInUsed("RandomMissionController::CallTheCops");
    return 0;
}

void RandomMissionController::LoseTheCops()
{
    StandInUsed("RandomMissionController::LoseTheCops");
}

void RandomMissionController::ShutDownCar(Vehicle* car, int open)
{
    StandInUsed("RandomMissionController::ShutDownCar");
}

void RandomMissionController::UnlockMissionCars()
{
    StandInUsed("RandomMissionController::UnlockMissionCars");
}

void RandomMissionController::ShowMissionStats()
{
    StandInUsed("RandomMissionController::ShowMissionStats");
}

void RandomMissionController::DestroyEnemies()
{
    StandInUsed("RandomMissionController::DestroyEnemies");
}

void RandomMissionController::DestroyEnemiesEmergent()
{
    StandInUsed("RandomMissionController::DestroyEnemiesEmergent");
}

void RandomMissionController::DestroyEnemiesGenerated()
{
    StandInUsed("RandomMissionController::DestroyEnemiesGenerated");
}

void RandomMissionController::RemoveEnemy(Enemy* e)
{
    StandInUsed("RandomMissionController::RemoveEnemy");
}

void RandomMissionController::RemoveBystander(Bystander* b)
{
    StandInUsed("RandomMissionController::RemoveBystander");
}
