// What the episodes' step functions share: the task report, the ambient
// life of the city games, the kind names, the objects later steps keep, and
// the shooter record built by code.
#include "game/Levels/Levels.h"

#include <cstring>

char szDace[] = "Dace";
char szShooterEnemy[] = "ShooterEnemy";
const char szPhoneFile[] = "KORVALIS\\DemoData\\Misc\\PHONE.P2B";

Object* pobjChopper;
Object* pobjDaceCar;
Object* pobjPellCar;

EnemyGenRunner_params RunnerParams(u8 character, s16 id, u8 weapon, u8 caronly, u8 walking, float shoot,
                                   float command, float fight, float badass)
{
    EnemyGenRunner_params p{};
    p.character = character;
    p.id = id;
    p.weapon = weapon;
    p.caronly = caronly;
    p.walking = walking;
    p.oblivious = 0;
    p.shoot = shoot;
    p.command = command;
    p.fight = fight;
    p.init_strength = 100;
    p.badass = badass;
    p.handweapon = 0;
    p.first_tint = 0;
    p.rnd_tint = 0;
    return p;
}

Extent NoTrigger()
{
    Extent e;
    std::memset(static_cast<void*>(&e), 0, sizeof e);
    return e;
}

void ReportTask(GameController& gc, TaskNumbers task, int iSuccess)
{
    const int t = gc.MissionRetToTaskState(iSuccess);
    if (t != 0)
        gc.SetTaskState(task, eTaskState(t));
}

void StartAmbientLife(GameController& gc)
{
    gc.CreateMasterPedestrianGenerator(80, 100, 5, 8, false);
    gc.CreateMasterVehicleGenerator(1, 100, 5, 14);
}

void LoadCast(GameController& gc, int first, std::initializer_list<int> models)
{
    int slot = first;
    for (int model : models)
        gc.LoadMDLFile(nullptr, slot++, model, 0);
}

void FreeSlots(GameController& gc, int first, int last, bool bImmediate)
{
    for (int slot = first; slot <= last; slot++)
        gc.DestroyMDLFile(slot, bImmediate);
}

void StepStartLoading(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
}

void StepEndLoading(GameController& gc)
{
    gc.ResetTime();
    gc.EndLoading();
}

void StepInterior(GameController& gc, const char* file)
{
    gc.CreateInteriorAt(StepFile(file), -1, 0);
}

void StepCinematic(GameController& gc, int cinematic, int placeholder)
{
    gc.CreateCinematicAt(cinematic, placeholder);
    gc.EndLoading();
}

void CreateCast(GameController& gc, int placeholder, std::initializer_list<std::pair<int, int>> cast)
{
    for (const auto& c : cast)
        gc.CreateCharacterAt(c.first, c.second, placeholder, nullptr, false);
}

int ReleaseStep(GameController& gc, std::initializer_list<int> slots, bool cleanup, bool interior)
{
    if (cleanup)
        gc.CleanupLevel();
    for (int s : slots)
        gc.DestroyMDLFile(s, true);
    if (interior)
        gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

Extent UnitRowsExtent()
{
    Extent e;
    std::memset(static_cast<void*>(&e), 0, sizeof e);
    for (Vector* row : {&e.x, &e.y, &e.z, &e.w})
        *row = Vector(0.0f, 0.0f, 0.0f, 1.0f);
    return e;
}

StepPieces SceneOnlyPieces(int (*load)(GameController&), int (*scene)(GameController&),
                           int (*release)(GameController&))
{
    return {false, TNUM_M1_G1, TNUM_M1_G1, false, load, nullptr, scene, nullptr, nullptr, release, nullptr, 0};
}

namespace {

void Piece(int (*f)(GameController&), GameController& gc)
{
    if (f != nullptr)
        f(gc);
}

void Begin(GameController& gc, const StepPieces& s)
{
    if (s.setsTask)
        gc.CurrentTaskNumber = s.task;
    Piece(s.load, gc);
    Piece(s.drivingLoad, gc);
}

// The step's release, its driving set's, and the result booked.
int Teardown(GameController& gc, int iSuccess, const StepPieces& s)
{
    Piece(s.release, gc);
    Piece(s.drivingRelease, gc);
    ReportTask(gc, s.reported, iSuccess);
    return -1;
}

}  // namespace

int SceneOnlyStep(GameController& gc, int iEntryIndex, const StepPieces& s)
{
    switch (iEntryIndex) {
    case 0:
        Begin(gc, s);
        Piece(s.scene, gc);
        return 1;
    case 1:
        Piece(s.release, gc);
        Piece(s.drivingRelease, gc);
        return -1;
    default:
        return 0;
    }
}

int SceneThenGameStep(GameController& gc, int iEntryIndex, int iSuccess, const StepPieces& s)
{
    const bool sceneOnly = s.loops && gc.i8Loop == 2;
    switch (iEntryIndex) {
    case 0:
        Begin(gc, s);
        Piece(s.scene, gc);
        return sceneOnly ? 2 : 1;
    case 1:
        Piece(s.clean, gc);
        Piece(s.game, gc);
        return 2;
    case 2:
        if (sceneOnly)
            gc.CleanupLevel();
        return Teardown(gc, iSuccess, s);
    default:
        return 0;
    }
}

int GameOnlyStep(GameController& gc, int iEntryIndex, int iSuccess, const StepPieces& s)
{
    switch (iEntryIndex) {
    case 0:
        Begin(gc, s);
        Piece(s.game, gc);
        return 1;
    case 1:
        return Teardown(gc, iSuccess, s);
    default:
        return 0;
    }
}

int CineDriveThenGameStep(GameController& gc, int iEntryIndex, int iSuccess, const StepPieces& s)
{
    switch (iEntryIndex) {
    case 0:
        Begin(gc, s);
        Piece(s.scene, gc);
        if (!(gc.iFlags & GCF_SIDETRIP_RUNNING)) {
            if (s.track != kSceneStartsDrive)
                gc.SetCineDriveMode(-1, s.track);
            return 1;
        }
        // Back from a side trip the drive does nothing: the game at once.
        iSuccess = gc.iMissionRet;
        [[fallthrough]];
    case 1:
        if (iSuccess == 0) {
            Piece(s.game, gc);
            return 2;
        }
        [[fallthrough]];
    case 2:
        return Teardown(gc, iSuccess, s);
    default:
        return 0;
    }
}

Construct_EnemyGenShooter_params::Construct_EnemyGenShooter_params(
    u8 _character, s16 _id, u8 _weapon, s32 _path_arrive, s32 _path_move, float _diverge_m, u8 _endpoints,
    u8 _behavior, u8 _duck_fire, u16 _spawn_num, u8 _first_init, const Extent& _trigger_init,
    const Extent& _trigger_init2, u8 _triggermode, float _distance_init, s32 _first_tint, u8 _rnd_tint,
    s32 _init_strength, float _badass, s32 _init_wave, u8 _hostage, s32 _hostage_path, u8 _vo_bank, s8 _vo_pitch,
    s32 _hostage_tint)
{
    // The padding is zero, as in a record read from a placement file.
    std::memset(static_cast<void*>(static_cast<EnemyGenShooter_params*>(this)), 0, sizeof(EnemyGenShooter_params));
    character = _character;
    id = _id;
    weapon = _weapon;
    path_arrive.offset = _path_arrive;
    path_move.offset = _path_move;
    diverge_m = _diverge_m;
    endpoints = _endpoints;
    behavior = _behavior;
    duck_fire = _duck_fire;
    spawn_num = _spawn_num;
    first_init = _first_init;
    trigger_init = _trigger_init;
    trigger_init2 = _trigger_init2;
    triggermode = _triggermode;
    distance_init = _distance_init;
    first_tint = _first_tint;
    rnd_tint = _rnd_tint;
    init_strength = _init_strength;
    badass = _badass;
    init_wave = _init_wave;
    hostage = _hostage;
    hostage_path.offset = _hostage_path;
    vo_bank = _vo_bank;
    vo_pitch = _vo_pitch;
    hostage_tint = _hostage_tint;
}
