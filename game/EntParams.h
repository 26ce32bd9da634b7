// The parameter records of set-up file entities.
//
// A placeholder node of a set-up file names its entity kind in `extra` (0..46)
// and, in `extra2`, where its record lies from the start of the file's data.
// The records are read where they lie, so every layout is fixed to the byte:
// little-endian, the gaps are padding, and a record holding an Extent or an
// ExtentSpawn starts on a 16-byte boundary (it is read with 16-byte
// transfers).  The loader (GameController::LoadEntity) copies some of them,
// keeps others in place, and reads the rest once.
#pragma once

#include <cmath>
#include <cstddef>

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/ExtentSpawn.h"
#include "ZevEngine2/particle.h"
#include "ZevEngine2/PS2/Extent.h"
#include "game/CityLights.h"
#include "game/CityObjects.h"
#include "game/TestPart.h"
#include "game/Water.h"

// A spline of the same file: its offset from the file's data; negative none.
struct SplineRef
{
    s32 offset;
};
static_assert(sizeof(SplineRef) == 4);

// A figure's aggression as a record gives it (`badass`), held within 0..1,
// the range every chance and wait scaled by it is made for; a value that is
// no number counts as 0.5, as a figure starts.
inline float RecordAggro(float badass)
{
    if (std::isnan(badass))
        return 0.5f;
    return badass < 0.0f ? 0.0f : badass > 1.0f ? 1.0f : badass;
}

// Another node of the same file by index; negative none.
struct ObjectRef
{
    s32 index;
};
static_assert(sizeof(ObjectRef) == 4);

// The entity kinds, the `extra` word of a placeholder node.
enum EntityType {
    ENT_FIXEDCAMERA, ENT_PATHCAMERA, ENT_ORBITINGCAMERA, ENT_WALLSPLINE, ENT_ENEMYGENSHOOTER,
    ENT_DACEMODETRIGGER, ENT_CINEMATRIGGER, ENT_CONTROLLERCOMBAT, ENT_ENEMYGENFIGHTER, ENT_GENERICCHARACTER,
    ENT_GENERICPARTICLE, ENT_INTERACTIVEOBJECT, ENT_ENEMYWAVETRIGGER, ENT_ENEMYGENRUNNER, ENT_EXTERIORSPECIFIC,
    ENT_ENEMYGENGUARD, ENT_ENEMYGENMUTANT, ENT_STEAMGENERATOR, ENT_STEAMBURST, ENT_OBJECTINFO, ENT_TORCH,
    ENT_GROUPCAMERA, ENT_TASKINITCAMERA, ENT_DACECAMTRIGGER, ENT_SOUNDAMBIENT, ENT_VEHICLE,
    ENT_SPLINEOBJECTMOVER, ENT_TUNNELCAMERA, ENT_TUNNELGRATE, ENT_TARGETMOVING, ENT_TARGETINNOCENT,
    ENT_TIMEOFDAY, ENT_WATERPATCH, ENT_GUNPICKUP, ENT_FREEWAYSIGN, ENT_AIRPLANE, ENT_MISSIONSPLINE,
    ENT_MANNEQUINSHOOTER, ENT_TARGETSTATIC, ENT_DRVCRSEGATE, ENT_DRVCRSEPED, ENT_AVOIDOBSTACLE,
    ENT_EXTERIORINTERACTIVEOBJECT, ENT_EXTCROWNVIC, ENT_RADARSPLINE, ENT_RACECOURSEDESTRUCTABLE,
    ENT_RACECOURSEDRONECAR,
    ENT_NUMBER,
};
static_assert(ENT_NUMBER == 47);

// The size of each kind's record, by kind.
extern const u16 rgEntityParamSize[ENT_NUMBER];

// 0
struct FixedCamera_params
{
    Extent trigger1;
    Extent trigger2;
    Extent trigger3;
    Extent trigger4;
    u8 transition_to;
    u8 pad257[3];
    float yaw_range;
    float pitch_range;
    u8 tracking;
    u8 pad269[3];
    float dolly;
    float distance;
    u8 target_bias;
    u8 pad281[7];
};
static_assert(sizeof(FixedCamera_params) == 288);
// 1
struct PathCamera_params
{
    Extent trigger1;
    Extent trigger2;
    Extent trigger3;
    Extent trigger4;
    u8 transition_to;
    u8 pad257[3];
    float yaw_range;
    float pitch_range;
    u8 tracking;
    u8 camera_push;
    u8 pad270[2];
    SplineRef cam_path;
    float mount_distance;
    float dolly;
    float distance;
    u8 target_bias;
    u8 pad289[3];
    float path_bias;
    u8 pad296[8];
};
static_assert(sizeof(PathCamera_params) == 304);
// 2
struct OrbitingCamera_params
{
    Extent trigger1;
    Extent trigger2;
    Extent trigger3;
    Extent trigger4;
    u8 offset_type;
    u8 transition_to;
    u8 pad258[2];
    float yaw_range;
    float pitch_range;
    u8 tracking;
    u8 pad269[3];
    SplineRef cam_orbit;
    float dolly;
    float distance;
    u8 target_bias;
    u8 pad285[3];
    float path_bias;
    u8 pad292[12];
};
static_assert(sizeof(OrbitingCamera_params) == 304);
// 3
struct WallSpline_params
{
    SplineRef spline;
    ObjectRef connectobject;
    u8 height;
    u8 pad9[3];
};
static_assert(sizeof(WallSpline_params) == 12);
// 4
struct EnemyGenShooter_params
{
    u8 character;
    u8 pad1[1];
    s16 id;
    u8 weapon;
    u8 pad5[3];
    SplineRef path_arrive;
    SplineRef path_move;
    float diverge_m;
    u8 endpoints;
    u8 behavior;
    u8 duck_fire;
    u8 pad23[1];
    u16 spawn_num;
    u8 first_init;
    u8 pad27[5];
    Extent trigger_init;
    Extent trigger_init2;
    u8 triggermode;
    u8 pad161[3];
    float distance_init;
    s32 first_tint;
    u8 rnd_tint;
    u8 pad173[3];
    s32 init_strength;
    float badass;
    s32 init_wave;
    u8 hostage;
    u8 pad189[3];
    SplineRef hostage_path;
    u8 vo_bank;
    s8 vo_pitch;
    u8 pad198[2];
    s32 hostage_tint;
    u8 pad204[4];
};
static_assert(sizeof(EnemyGenShooter_params) == 208);
// 5
struct DaceModeTrigger_params
{
    Extent trigger1;
    Extent trigger2;
    Extent trigger3;
    Extent trigger4;
    ObjectRef teleport_to;
    u8 dacemode;
    u8 task_exit;
    u8 pad262[10];
};
static_assert(sizeof(DaceModeTrigger_params) == 272);
// 6
struct CinemaTrigger_params
{
    Extent Trigger;
    u8 CinemaID;
    u8 pad65[15];
};
static_assert(sizeof(CinemaTrigger_params) == 80);
// 7
struct ControllerCombat_params
{
    u8 active_ratio;
    u8 behavior;
    u8 init_active;
    u8 act_change;
};
static_assert(sizeof(ControllerCombat_params) == 4);
// 8
struct EnemyGenFighter_params
{
    u8 character;
    u8 style;
    u8 pad2[2];
    SplineRef path_arrive;
    u16 spawn_num;
    u8 first_init;
    u8 first_tint;
    u8 rnd_tint;
    u8 init_strength;
    u8 pad14[2];
    float badass;
    u8 boss;
    u8 init_stance;
    u8 init_wave;
    u8 pad23[1];
    s16 id;
    u8 vo_bank;
    s8 vo_pitch;
    u8 weapon;
    u8 pad29[3];
};
static_assert(sizeof(EnemyGenFighter_params) == 32);
// 9
struct GenericCharacter_params
{
    u8 character;
    u8 pad1[1];
    s16 id;
};
static_assert(sizeof(GenericCharacter_params) == 4);
// 10 GenericParticle_params: declared with its users
static_assert(sizeof(GenericParticle_params) == 4);
// 11
struct InteractiveObject_params
{
    u16 Strength;
    u8 init_damaged;
    u8 Sliding;
    s16 id;
    u8 pickuptype;
    u8 pad7[1];
    s16 pickuplife;
    s16 sound_id;
    u16 min_interval;
    u8 pad14[2];
    float dist_heard;
};
static_assert(sizeof(InteractiveObject_params) == 20);
// 12
struct EnemyWaveTrigger_params
{
    Extent trigger1;
    Extent trigger2;
    u8 triggermode;
    u8 wave;
    u8 pad130[2];
    float delay;
    u8 pad136[8];
};
static_assert(sizeof(EnemyWaveTrigger_params) == 144);
// 13
struct EnemyGenRunner_params
{
    u8 character;
    u8 pad1[1];
    s16 id;
    u8 weapon;
    u8 caronly;
    u8 walking;
    u8 oblivious;
    float shoot;
    float command;
    float fight;
    u8 init_strength;
    u8 pad21[3];
    float badass;
    u8 handweapon;
    u8 first_tint;
    u8 rnd_tint;
    u8 pad31[1];
};
static_assert(sizeof(EnemyGenRunner_params) == 32);
// 14 ExteriorSpecific_params: declared with its users
static_assert(sizeof(ExteriorSpecific_params) == 20);
// 15
struct EnemyGenGuard_params
{
    u8 character;
    u8 pad1[1];
    s16 id;
    u8 style;
    u8 type;
    u8 gun;
    u8 pad7[1];
    SplineRef move_path;
    u8 first_init;
    u8 pad13[3];
    Extent init_trigger;
    float init_distance;
    s32 tint;
    float badass;
    float delay;
    u8 vo_bank;
    s8 vo_pitch;
    u8 pad98[14];
};
static_assert(sizeof(EnemyGenGuard_params) == 112);
// 16
struct EnemyGenMutant_params
{
    u8 character;
    u8 pad1[1];
    s16 id;
    u8 first_init;
    u8 init_wave;
    u8 pad6[10];
    Extent trigger_init;
    float distance_init;
    u16 spawn_num;
    u8 pad86[2];
    s32 first_tint;
    u8 rnd_tint;
    u8 appear;
    u8 pad94[2];
    SplineRef path_arrive;
    SplineRef path_move;
    float diverge_m;
    s32 init_strength;
    float badass;
    u8 pad116[12];
};
static_assert(sizeof(EnemyGenMutant_params) == 128);
// 17
struct SteamGenerator_params
{
    ExtentSpawn rect;
    float puffsPerSec;
    float size;
    u8 pad88[8];
};
static_assert(sizeof(SteamGenerator_params) == 96);
// 18
struct SteamBurst_params
{
    ExtentSpawn rect;
    float puffsPerSec;
    float timer;
    float speed;
    u16 id;
    u8 pad94[2];
};
static_assert(sizeof(SteamBurst_params) == 96);
// 19
struct ObjectInfo_params
{
    u8 type;
    u8 pad1[1];
    u16 id;
    u8 hidden;
    u8 landable;
    u8 user1;
    u8 user2;
    u8 user3;
    u8 user4;
    u8 user5;
    u8 user6;
    u8 user7;
    u8 user8;
};
static_assert(sizeof(ObjectInfo_params) == 14);
// 20
struct Torch_params
{
    float size;
    u8 smoke;
    u8 pad5[3];
};
static_assert(sizeof(Torch_params) == 8);
// 21
struct GroupCamera_params
{
    Extent trigger1;
    ObjectRef link1;
    ObjectRef link2;
    ObjectRef link3;
    ObjectRef link4;
    u8 transition_to;
    u8 pad81[3];
    float yaw_range;
    float pitch_range;
    u8 tracking;
    u8 pad93[3];
    float dolly;
    float distance;
    u8 target_bias;
    u8 pad105[7];
};
static_assert(sizeof(GroupCamera_params) == 112);
// 22
struct TaskInitCamera_params
{
    u8 transition_to;
    u8 mode;
    u8 anim;
    u8 pad3[1];
    SplineRef arrive_path;
};
static_assert(sizeof(TaskInitCamera_params) == 8);
// 23
struct DaceCamTrigger_params
{
    Extent trigger1;
    Extent trigger2;
    Extent trigger3;
    Extent trigger4;
    u8 cammode;
    u8 pad257[3];
    float distance;
    float yaw_offset;
    u8 pad268[4];
};
static_assert(sizeof(DaceCamTrigger_params) == 272);
// 24
struct SoundAmbient_params
{
    s32 sound;
    float delay_min;
    float delay_max;
    float dist_fade;
    float dist_cutoff;
};
static_assert(sizeof(SoundAmbient_params) == 20);
// 25
struct Vehicle_params
{
    u8 vehicle;
    u8 tint;
    s16 id;
    u16 init_strength;
};
static_assert(sizeof(Vehicle_params) == 6);
// 26
struct SplineObjectMover_params
{
    SplineRef move_path;
    float speed;
    float density;
    u8 init_distrib;
    u8 pad13[3];
    Extent trigger1;
    Extent trigger2;
    Extent trigger3;
    Extent trigger4;
    float enemy_chance;
    u8 enemy_orient;
    u8 pad277[3];
    s32 enemy_stren;
    float enemy_badass;
    u16 enemy_count;
    u8 enemy_char;
    u8 enemy_char2;
    u8 enemy_char3;
    u8 enemy_weapon;
    u8 pad294[2];
    s32 enemy_tint;
    u8 enemy_rnd_tint;
    u8 enemy_vo_bank;
    s8 enemy_vo_pitch;
    u8 pad303[1];
};
static_assert(sizeof(SplineObjectMover_params) == 304);
// 27
struct TunnelCamera_params
{
    SplineRef cam_path;
    float distance_param;
    s16 grate_id;
    u8 pad10[2];
};
static_assert(sizeof(TunnelCamera_params) == 12);
// 28
struct TunnelGrate_params
{
    s16 id;
    u8 pad2[2];
    SplineRef move_path;
    float speed;
    float damage;
};
static_assert(sizeof(TunnelGrate_params) == 16);
// 29
struct TargetMoving_params
{
    SplineRef move_path;
    u8 wave;
    u8 pad5[3];
    float speed;
    float delay;
};
static_assert(sizeof(TargetMoving_params) == 16);
// 30
struct TargetInnocent_params
{
    u8 wave;
    u8 pad1[3];
    float proximity;
    u8 pad8[8];
    Extent trigger;
    float delay;
    u8 pad84[12];
};
static_assert(sizeof(TargetInnocent_params) == 96);
// 31
struct TimeOfDay_params
{
    u8 hour;
    u8 minute;
};
static_assert(sizeof(TimeOfDay_params) == 2);
// 32 WaterPatch_params: declared with its users
static_assert(sizeof(WaterPatch_params) == 80);
// 33
struct GunPickup_params
{
    u8 type;
    u8 pad1[1];
    s16 lifetime;
};
static_assert(sizeof(GunPickup_params) == 4);
// 34 FreewaySign_params: declared with its users
static_assert(sizeof(FreewaySign_params) == 4);
// 35
struct Airplane_params
{
    s16 id;
    u8 pad2[2];
    SplineRef move_path;
    u8 planetype;
    u8 pad9[3];
    s32 init_strength;
    Extent trigger1;
    Extent trigger2;
    Extent trigger3;
    Extent trigger4;
    float taxispeed;
    float takeoffspeed;
    float accel;
    u8 pad284[4];
};
static_assert(sizeof(Airplane_params) == 288);
// 36
struct MissionSpline_params
{
    SplineRef mission_spline;
};
static_assert(sizeof(MissionSpline_params) == 4);
// 37
struct MannequinShooter_params
{
    u8 character;
    u8 pad1[1];
    s16 id;
    u8 pad4[12];
    Extent trigger_init;
    Extent trigger_init2;
    u8 triggermode;
    u8 pad145[3];
    float distance_init;
    SplineRef path_arrive;
    u8 fire;
    u8 pad157[3];
    float badass;
    s32 init_strength;
    u8 pad168[8];
};
static_assert(sizeof(MannequinShooter_params) == 176);
// 38
struct TargetStatic_params
{
    u8 wave;
    u8 pad1[3];
    float proximity;
    u8 pad8[8];
    Extent trigger;
    float delay;
    u8 pad84[12];
};
static_assert(sizeof(TargetStatic_params) == 96);
// 39
struct DrvCrseGate_params
{
    u8 init_state;
    u8 pad1[15];
    Extent trigger;
    float delay;
    u8 startline;
    u8 pad85[11];
};
static_assert(sizeof(DrvCrseGate_params) == 96);
// 40
struct DrvCrsePed_params
{
    u8 init_state;
    u8 pad1[15];
    Extent trigger;
    float delay;
    SplineRef move_path;
    float speed;
    u8 pad92[4];
};
static_assert(sizeof(DrvCrsePed_params) == 96);
// 41
struct AvoidObstacle_params
{
    SplineRef obstaclepath;
    ObjectRef connectobject;
};
static_assert(sizeof(AvoidObstacle_params) == 8);
// 42
struct ExteriorInteractiveObject_params
{
    u16 strength;
};
static_assert(sizeof(ExteriorInteractiveObject_params) == 2);
// 43
struct ExtCrownVic_params
{
    u8 locked;
};
static_assert(sizeof(ExtCrownVic_params) == 1);
// 44
struct RadarSpline_params
{
    SplineRef radar_spline;
};
static_assert(sizeof(RadarSpline_params) == 4);
// 45
struct RaceCourseDestructable_params
{
    u8 objtype;
    u8 pad1[1];
    u16 strength;
};
static_assert(sizeof(RaceCourseDestructable_params) == 4);
// 46
struct RaceCourseDroneCar_params
{
    Extent trigger;
    float speed;
    SplineRef move_path;
    u8 pad72[8];
};
static_assert(sizeof(RaceCourseDroneCar_params) == 80);
// Where each field lies.
static_assert(offsetof(FixedCamera_params, trigger1) == 0);
static_assert(offsetof(FixedCamera_params, trigger2) == 64);
static_assert(offsetof(FixedCamera_params, trigger3) == 128);
static_assert(offsetof(FixedCamera_params, trigger4) == 192);
static_assert(offsetof(FixedCamera_params, transition_to) == 256);
static_assert(offsetof(FixedCamera_params, yaw_range) == 260);
static_assert(offsetof(FixedCamera_params, pitch_range) == 264);
static_assert(offsetof(FixedCamera_params, tracking) == 268);
static_assert(offsetof(FixedCamera_params, dolly) == 272);
static_assert(offsetof(FixedCamera_params, distance) == 276);
static_assert(offsetof(FixedCamera_params, target_bias) == 280);
static_assert(offsetof(PathCamera_params, trigger1) == 0);
static_assert(offsetof(PathCamera_params, trigger2) == 64);
static_assert(offsetof(PathCamera_params, trigger3) == 128);
static_assert(offsetof(PathCamera_params, trigger4) == 192);
static_assert(offsetof(PathCamera_params, transition_to) == 256);
static_assert(offsetof(PathCamera_params, yaw_range) == 260);
static_assert(offsetof(PathCamera_params, pitch_range) == 264);
static_assert(offsetof(PathCamera_params, tracking) == 268);
static_assert(offsetof(PathCamera_params, camera_push) == 269);
static_assert(offsetof(PathCamera_params, cam_path) == 272);
static_assert(offsetof(PathCamera_params, mount_distance) == 276);
static_assert(offsetof(PathCamera_params, dolly) == 280);
static_assert(offsetof(PathCamera_params, distance) == 284);
static_assert(offsetof(PathCamera_params, target_bias) == 288);
static_assert(offsetof(PathCamera_params, path_bias) == 292);
static_assert(offsetof(OrbitingCamera_params, trigger1) == 0);
static_assert(offsetof(OrbitingCamera_params, trigger2) == 64);
static_assert(offsetof(OrbitingCamera_params, trigger3) == 128);
static_assert(offsetof(OrbitingCamera_params, trigger4) == 192);
static_assert(offsetof(OrbitingCamera_params, offset_type) == 256);
static_assert(offsetof(OrbitingCamera_params, transition_to) == 257);
static_assert(offsetof(OrbitingCamera_params, yaw_range) == 260);
static_assert(offsetof(OrbitingCamera_params, pitch_range) == 264);
static_assert(offsetof(OrbitingCamera_params, tracking) == 268);
static_assert(offsetof(OrbitingCamera_params, cam_orbit) == 272);
static_assert(offsetof(OrbitingCamera_params, dolly) == 276);
static_assert(offsetof(OrbitingCamera_params, distance) == 280);
static_assert(offsetof(OrbitingCamera_params, target_bias) == 284);
static_assert(offsetof(OrbitingCamera_params, path_bias) == 288);
static_assert(offsetof(WallSpline_params, spline) == 0);
static_assert(offsetof(WallSpline_params, connectobject) == 4);
static_assert(offsetof(WallSpline_params, height) == 8);
static_assert(offsetof(EnemyGenShooter_params, character) == 0);
static_assert(offsetof(EnemyGenShooter_params, id) == 2);
static_assert(offsetof(EnemyGenShooter_params, weapon) == 4);
static_assert(offsetof(EnemyGenShooter_params, path_arrive) == 8);
static_assert(offsetof(EnemyGenShooter_params, path_move) == 12);
static_assert(offsetof(EnemyGenShooter_params, diverge_m) == 16);
static_assert(offsetof(EnemyGenShooter_params, endpoints) == 20);
static_assert(offsetof(EnemyGenShooter_params, behavior) == 21);
static_assert(offsetof(EnemyGenShooter_params, duck_fire) == 22);
static_assert(offsetof(EnemyGenShooter_params, spawn_num) == 24);
static_assert(offsetof(EnemyGenShooter_params, first_init) == 26);
static_assert(offsetof(EnemyGenShooter_params, trigger_init) == 32);
static_assert(offsetof(EnemyGenShooter_params, trigger_init2) == 96);
static_assert(offsetof(EnemyGenShooter_params, triggermode) == 160);
static_assert(offsetof(EnemyGenShooter_params, distance_init) == 164);
static_assert(offsetof(EnemyGenShooter_params, first_tint) == 168);
static_assert(offsetof(EnemyGenShooter_params, rnd_tint) == 172);
static_assert(offsetof(EnemyGenShooter_params, init_strength) == 176);
static_assert(offsetof(EnemyGenShooter_params, badass) == 180);
static_assert(offsetof(EnemyGenShooter_params, init_wave) == 184);
static_assert(offsetof(EnemyGenShooter_params, hostage) == 188);
static_assert(offsetof(EnemyGenShooter_params, hostage_path) == 192);
static_assert(offsetof(EnemyGenShooter_params, vo_bank) == 196);
static_assert(offsetof(EnemyGenShooter_params, vo_pitch) == 197);
static_assert(offsetof(EnemyGenShooter_params, hostage_tint) == 200);
static_assert(offsetof(DaceModeTrigger_params, trigger1) == 0);
static_assert(offsetof(DaceModeTrigger_params, trigger2) == 64);
static_assert(offsetof(DaceModeTrigger_params, trigger3) == 128);
static_assert(offsetof(DaceModeTrigger_params, trigger4) == 192);
static_assert(offsetof(DaceModeTrigger_params, teleport_to) == 256);
static_assert(offsetof(DaceModeTrigger_params, dacemode) == 260);
static_assert(offsetof(DaceModeTrigger_params, task_exit) == 261);
static_assert(offsetof(CinemaTrigger_params, Trigger) == 0);
static_assert(offsetof(CinemaTrigger_params, CinemaID) == 64);
static_assert(offsetof(ControllerCombat_params, active_ratio) == 0);
static_assert(offsetof(ControllerCombat_params, behavior) == 1);
static_assert(offsetof(ControllerCombat_params, init_active) == 2);
static_assert(offsetof(ControllerCombat_params, act_change) == 3);
static_assert(offsetof(EnemyGenFighter_params, character) == 0);
static_assert(offsetof(EnemyGenFighter_params, style) == 1);
static_assert(offsetof(EnemyGenFighter_params, path_arrive) == 4);
static_assert(offsetof(EnemyGenFighter_params, spawn_num) == 8);
static_assert(offsetof(EnemyGenFighter_params, first_init) == 10);
static_assert(offsetof(EnemyGenFighter_params, first_tint) == 11);
static_assert(offsetof(EnemyGenFighter_params, rnd_tint) == 12);
static_assert(offsetof(EnemyGenFighter_params, init_strength) == 13);
static_assert(offsetof(EnemyGenFighter_params, badass) == 16);
static_assert(offsetof(EnemyGenFighter_params, boss) == 20);
static_assert(offsetof(EnemyGenFighter_params, init_stance) == 21);
static_assert(offsetof(EnemyGenFighter_params, init_wave) == 22);
static_assert(offsetof(EnemyGenFighter_params, id) == 24);
static_assert(offsetof(EnemyGenFighter_params, vo_bank) == 26);
static_assert(offsetof(EnemyGenFighter_params, vo_pitch) == 27);
static_assert(offsetof(EnemyGenFighter_params, weapon) == 28);
static_assert(offsetof(GenericCharacter_params, character) == 0);
static_assert(offsetof(GenericCharacter_params, id) == 2);
static_assert(offsetof(GenericParticle_params, part) == 0);
static_assert(offsetof(InteractiveObject_params, Strength) == 0);
static_assert(offsetof(InteractiveObject_params, init_damaged) == 2);
static_assert(offsetof(InteractiveObject_params, Sliding) == 3);
static_assert(offsetof(InteractiveObject_params, id) == 4);
static_assert(offsetof(InteractiveObject_params, pickuptype) == 6);
static_assert(offsetof(InteractiveObject_params, pickuplife) == 8);
static_assert(offsetof(InteractiveObject_params, sound_id) == 10);
static_assert(offsetof(InteractiveObject_params, min_interval) == 12);
static_assert(offsetof(InteractiveObject_params, dist_heard) == 16);
static_assert(offsetof(EnemyWaveTrigger_params, trigger1) == 0);
static_assert(offsetof(EnemyWaveTrigger_params, trigger2) == 64);
static_assert(offsetof(EnemyWaveTrigger_params, triggermode) == 128);
static_assert(offsetof(EnemyWaveTrigger_params, wave) == 129);
static_assert(offsetof(EnemyWaveTrigger_params, delay) == 132);
static_assert(offsetof(EnemyGenRunner_params, character) == 0);
static_assert(offsetof(EnemyGenRunner_params, id) == 2);
static_assert(offsetof(EnemyGenRunner_params, weapon) == 4);
static_assert(offsetof(EnemyGenRunner_params, caronly) == 5);
static_assert(offsetof(EnemyGenRunner_params, walking) == 6);
static_assert(offsetof(EnemyGenRunner_params, oblivious) == 7);
static_assert(offsetof(EnemyGenRunner_params, shoot) == 8);
static_assert(offsetof(EnemyGenRunner_params, command) == 12);
static_assert(offsetof(EnemyGenRunner_params, fight) == 16);
static_assert(offsetof(EnemyGenRunner_params, init_strength) == 20);
static_assert(offsetof(EnemyGenRunner_params, badass) == 24);
static_assert(offsetof(EnemyGenRunner_params, handweapon) == 28);
static_assert(offsetof(EnemyGenRunner_params, first_tint) == 29);
static_assert(offsetof(EnemyGenRunner_params, rnd_tint) == 30);
static_assert(offsetof(ExteriorSpecific_params, exttype) == 0);
static_assert(offsetof(ExteriorSpecific_params, color) == 4);
static_assert(offsetof(ExteriorSpecific_params, radius) == 8);
static_assert(offsetof(ExteriorSpecific_params, size) == 12);
static_assert(offsetof(ExteriorSpecific_params, strength) == 16);
static_assert(offsetof(EnemyGenGuard_params, character) == 0);
static_assert(offsetof(EnemyGenGuard_params, id) == 2);
static_assert(offsetof(EnemyGenGuard_params, style) == 4);
static_assert(offsetof(EnemyGenGuard_params, type) == 5);
static_assert(offsetof(EnemyGenGuard_params, gun) == 6);
static_assert(offsetof(EnemyGenGuard_params, move_path) == 8);
static_assert(offsetof(EnemyGenGuard_params, first_init) == 12);
static_assert(offsetof(EnemyGenGuard_params, init_trigger) == 16);
static_assert(offsetof(EnemyGenGuard_params, init_distance) == 80);
static_assert(offsetof(EnemyGenGuard_params, tint) == 84);
static_assert(offsetof(EnemyGenGuard_params, badass) == 88);
static_assert(offsetof(EnemyGenGuard_params, delay) == 92);
static_assert(offsetof(EnemyGenGuard_params, vo_bank) == 96);
static_assert(offsetof(EnemyGenGuard_params, vo_pitch) == 97);
static_assert(offsetof(EnemyGenMutant_params, character) == 0);
static_assert(offsetof(EnemyGenMutant_params, id) == 2);
static_assert(offsetof(EnemyGenMutant_params, first_init) == 4);
static_assert(offsetof(EnemyGenMutant_params, init_wave) == 5);
static_assert(offsetof(EnemyGenMutant_params, trigger_init) == 16);
static_assert(offsetof(EnemyGenMutant_params, distance_init) == 80);
static_assert(offsetof(EnemyGenMutant_params, spawn_num) == 84);
static_assert(offsetof(EnemyGenMutant_params, first_tint) == 88);
static_assert(offsetof(EnemyGenMutant_params, rnd_tint) == 92);
static_assert(offsetof(EnemyGenMutant_params, appear) == 93);
static_assert(offsetof(EnemyGenMutant_params, path_arrive) == 96);
static_assert(offsetof(EnemyGenMutant_params, path_move) == 100);
static_assert(offsetof(EnemyGenMutant_params, diverge_m) == 104);
static_assert(offsetof(EnemyGenMutant_params, init_strength) == 108);
static_assert(offsetof(EnemyGenMutant_params, badass) == 112);
static_assert(offsetof(SteamGenerator_params, rect) == 0);
static_assert(offsetof(SteamGenerator_params, puffsPerSec) == 80);
static_assert(offsetof(SteamGenerator_params, size) == 84);
static_assert(offsetof(SteamBurst_params, rect) == 0);
static_assert(offsetof(SteamBurst_params, puffsPerSec) == 80);
static_assert(offsetof(SteamBurst_params, timer) == 84);
static_assert(offsetof(SteamBurst_params, speed) == 88);
static_assert(offsetof(SteamBurst_params, id) == 92);
static_assert(offsetof(ObjectInfo_params, type) == 0);
static_assert(offsetof(ObjectInfo_params, id) == 2);
static_assert(offsetof(ObjectInfo_params, hidden) == 4);
static_assert(offsetof(ObjectInfo_params, landable) == 5);
static_assert(offsetof(ObjectInfo_params, user1) == 6);
static_assert(offsetof(ObjectInfo_params, user2) == 7);
static_assert(offsetof(ObjectInfo_params, user3) == 8);
static_assert(offsetof(ObjectInfo_params, user4) == 9);
static_assert(offsetof(ObjectInfo_params, user5) == 10);
static_assert(offsetof(ObjectInfo_params, user6) == 11);
static_assert(offsetof(ObjectInfo_params, user7) == 12);
static_assert(offsetof(ObjectInfo_params, user8) == 13);
static_assert(offsetof(Torch_params, size) == 0);
static_assert(offsetof(Torch_params, smoke) == 4);
static_assert(offsetof(GroupCamera_params, trigger1) == 0);
static_assert(offsetof(GroupCamera_params, link1) == 64);
static_assert(offsetof(GroupCamera_params, link2) == 68);
static_assert(offsetof(GroupCamera_params, link3) == 72);
static_assert(offsetof(GroupCamera_params, link4) == 76);
static_assert(offsetof(GroupCamera_params, transition_to) == 80);
static_assert(offsetof(GroupCamera_params, yaw_range) == 84);
static_assert(offsetof(GroupCamera_params, pitch_range) == 88);
static_assert(offsetof(GroupCamera_params, tracking) == 92);
static_assert(offsetof(GroupCamera_params, dolly) == 96);
static_assert(offsetof(GroupCamera_params, distance) == 100);
static_assert(offsetof(GroupCamera_params, target_bias) == 104);
static_assert(offsetof(TaskInitCamera_params, transition_to) == 0);
static_assert(offsetof(TaskInitCamera_params, mode) == 1);
static_assert(offsetof(TaskInitCamera_params, anim) == 2);
static_assert(offsetof(TaskInitCamera_params, arrive_path) == 4);
static_assert(offsetof(DaceCamTrigger_params, trigger1) == 0);
static_assert(offsetof(DaceCamTrigger_params, trigger2) == 64);
static_assert(offsetof(DaceCamTrigger_params, trigger3) == 128);
static_assert(offsetof(DaceCamTrigger_params, trigger4) == 192);
static_assert(offsetof(DaceCamTrigger_params, cammode) == 256);
static_assert(offsetof(DaceCamTrigger_params, distance) == 260);
static_assert(offsetof(DaceCamTrigger_params, yaw_offset) == 264);
static_assert(offsetof(SoundAmbient_params, sound) == 0);
static_assert(offsetof(SoundAmbient_params, delay_min) == 4);
static_assert(offsetof(SoundAmbient_params, delay_max) == 8);
static_assert(offsetof(SoundAmbient_params, dist_fade) == 12);
static_assert(offsetof(SoundAmbient_params, dist_cutoff) == 16);
static_assert(offsetof(Vehicle_params, vehicle) == 0);
static_assert(offsetof(Vehicle_params, tint) == 1);
static_assert(offsetof(Vehicle_params, id) == 2);
static_assert(offsetof(Vehicle_params, init_strength) == 4);
static_assert(offsetof(SplineObjectMover_params, move_path) == 0);
static_assert(offsetof(SplineObjectMover_params, speed) == 4);
static_assert(offsetof(SplineObjectMover_params, density) == 8);
static_assert(offsetof(SplineObjectMover_params, init_distrib) == 12);
static_assert(offsetof(SplineObjectMover_params, trigger1) == 16);
static_assert(offsetof(SplineObjectMover_params, trigger2) == 80);
static_assert(offsetof(SplineObjectMover_params, trigger3) == 144);
static_assert(offsetof(SplineObjectMover_params, trigger4) == 208);
static_assert(offsetof(SplineObjectMover_params, enemy_chance) == 272);
static_assert(offsetof(SplineObjectMover_params, enemy_orient) == 276);
static_assert(offsetof(SplineObjectMover_params, enemy_stren) == 280);
static_assert(offsetof(SplineObjectMover_params, enemy_badass) == 284);
static_assert(offsetof(SplineObjectMover_params, enemy_count) == 288);
static_assert(offsetof(SplineObjectMover_params, enemy_char) == 290);
static_assert(offsetof(SplineObjectMover_params, enemy_char2) == 291);
static_assert(offsetof(SplineObjectMover_params, enemy_char3) == 292);
static_assert(offsetof(SplineObjectMover_params, enemy_weapon) == 293);
static_assert(offsetof(SplineObjectMover_params, enemy_tint) == 296);
static_assert(offsetof(SplineObjectMover_params, enemy_rnd_tint) == 300);
static_assert(offsetof(SplineObjectMover_params, enemy_vo_bank) == 301);
static_assert(offsetof(SplineObjectMover_params, enemy_vo_pitch) == 302);
static_assert(offsetof(TunnelCamera_params, cam_path) == 0);
static_assert(offsetof(TunnelCamera_params, distance_param) == 4);
static_assert(offsetof(TunnelCamera_params, grate_id) == 8);
static_assert(offsetof(TunnelGrate_params, id) == 0);
static_assert(offsetof(TunnelGrate_params, move_path) == 4);
static_assert(offsetof(TunnelGrate_params, speed) == 8);
static_assert(offsetof(TunnelGrate_params, damage) == 12);
static_assert(offsetof(TargetMoving_params, move_path) == 0);
static_assert(offsetof(TargetMoving_params, wave) == 4);
static_assert(offsetof(TargetMoving_params, speed) == 8);
static_assert(offsetof(TargetMoving_params, delay) == 12);
static_assert(offsetof(TargetInnocent_params, wave) == 0);
static_assert(offsetof(TargetInnocent_params, proximity) == 4);
static_assert(offsetof(TargetInnocent_params, trigger) == 16);
static_assert(offsetof(TargetInnocent_params, delay) == 80);
static_assert(offsetof(TimeOfDay_params, hour) == 0);
static_assert(offsetof(TimeOfDay_params, minute) == 1);
static_assert(offsetof(WaterPatch_params, boundRect) == 0);
static_assert(offsetof(WaterPatch_params, boundSpline) == 64);
static_assert(offsetof(WaterPatch_params, width) == 68);
static_assert(offsetof(WaterPatch_params, waveHeight) == 72);
static_assert(offsetof(WaterPatch_params, sizeX) == 76);
static_assert(offsetof(WaterPatch_params, sizeY) == 78);
static_assert(offsetof(GunPickup_params, type) == 0);
static_assert(offsetof(GunPickup_params, lifetime) == 2);
static_assert(offsetof(FreewaySign_params, text) == 0);
static_assert(offsetof(Airplane_params, id) == 0);
static_assert(offsetof(Airplane_params, move_path) == 4);
static_assert(offsetof(Airplane_params, planetype) == 8);
static_assert(offsetof(Airplane_params, init_strength) == 12);
static_assert(offsetof(Airplane_params, trigger1) == 16);
static_assert(offsetof(Airplane_params, trigger2) == 80);
static_assert(offsetof(Airplane_params, trigger3) == 144);
static_assert(offsetof(Airplane_params, trigger4) == 208);
static_assert(offsetof(Airplane_params, taxispeed) == 272);
static_assert(offsetof(Airplane_params, takeoffspeed) == 276);
static_assert(offsetof(Airplane_params, accel) == 280);
static_assert(offsetof(MissionSpline_params, mission_spline) == 0);
static_assert(offsetof(MannequinShooter_params, character) == 0);
static_assert(offsetof(MannequinShooter_params, id) == 2);
static_assert(offsetof(MannequinShooter_params, trigger_init) == 16);
static_assert(offsetof(MannequinShooter_params, trigger_init2) == 80);
static_assert(offsetof(MannequinShooter_params, triggermode) == 144);
static_assert(offsetof(MannequinShooter_params, distance_init) == 148);
static_assert(offsetof(MannequinShooter_params, path_arrive) == 152);
static_assert(offsetof(MannequinShooter_params, fire) == 156);
static_assert(offsetof(MannequinShooter_params, badass) == 160);
static_assert(offsetof(MannequinShooter_params, init_strength) == 164);
static_assert(offsetof(TargetStatic_params, wave) == 0);
static_assert(offsetof(TargetStatic_params, proximity) == 4);
static_assert(offsetof(TargetStatic_params, trigger) == 16);
static_assert(offsetof(TargetStatic_params, delay) == 80);
static_assert(offsetof(DrvCrseGate_params, init_state) == 0);
static_assert(offsetof(DrvCrseGate_params, trigger) == 16);
static_assert(offsetof(DrvCrseGate_params, delay) == 80);
static_assert(offsetof(DrvCrseGate_params, startline) == 84);
static_assert(offsetof(DrvCrsePed_params, init_state) == 0);
static_assert(offsetof(DrvCrsePed_params, trigger) == 16);
static_assert(offsetof(DrvCrsePed_params, delay) == 80);
static_assert(offsetof(DrvCrsePed_params, move_path) == 84);
static_assert(offsetof(DrvCrsePed_params, speed) == 88);
static_assert(offsetof(AvoidObstacle_params, obstaclepath) == 0);
static_assert(offsetof(AvoidObstacle_params, connectobject) == 4);
static_assert(offsetof(ExteriorInteractiveObject_params, strength) == 0);
static_assert(offsetof(ExtCrownVic_params, locked) == 0);
static_assert(offsetof(RadarSpline_params, radar_spline) == 0);
static_assert(offsetof(RaceCourseDestructable_params, objtype) == 0);
static_assert(offsetof(RaceCourseDestructable_params, strength) == 2);
static_assert(offsetof(RaceCourseDroneCar_params, trigger) == 0);
static_assert(offsetof(RaceCourseDroneCar_params, speed) == 64);
static_assert(offsetof(RaceCourseDroneCar_params, move_path) == 68);
