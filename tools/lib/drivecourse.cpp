// The 24/7 activities' sample files.
#include "tools/lib/drivecourse.h"

#include "ZevEngine2/PS2/Model.h"
#include "game/EntParams.h"
#include "tools/lib/aniwrite.h"
#include "tools/lib/p2b_sample.h"

namespace tools {

const VectorPos kCourseStartLine(12.0f, 0.0f, 0.0f);
const VectorPos kCourseGate(12.0f, 0.0f, 3.0f);
const float kCourseGateDelay = 3.0f;

namespace {

constexpr u16 kRecord = 0xF000;   // an explosion record naming its wreck model
constexpr u16 kArmId = 1;
constexpr u16 kLampId = 0x10;
constexpr u16 kLightFrames = 8;
// Elm Street's eastbound lane between Mill and Queen, where the test drive
// starts, and the pavement's height there.
constexpr float kLaneZ = 35.0f;
constexpr float kPavementY = -1.05f;

enum CourseModel
{
    kGround,
    kPost,
    kArm,
    kLamp,
    kFigure,
    kBarrel,
    kBarrelWreck,
    kBarrier,
    kBarrierWreck,
};

// The start gate: a post with the arm across the lane and three lamps on
// top; lamp k is out of the post (lit) from frame 2 (k + 1) on.
int AddGate(SetupFile& s)
{
    const int gate = s.file.AddNode(-1, MakeNode(kPost, kCourseGate));
    s.file.AddNode(gate, MakeNode(kArm, VectorPos(0.0f, -1.0f, 2.0f), VectorXYZ(0, 0, 0), kArmId));
    for (int k = 0; k < 3; k++) {
        const float lit = -0.25f, dark = -0.05f, y = -2.0f + 0.3f * float(k);
        AniStream pos(ANIM_TYPE_POS);
        for (u16 t = 0; t <= 6; t += 2)
            pos.Vec(t, VectorXYZ(t >= 2 * (k + 1) ? lit : dark, y, 0.0f));
        NODE n = MakeNode(kLamp, VectorPos(dark, y, 0.0f), VectorXYZ(0, 0, 0), u16(kLampId + k));
        n.animation = u16(s.file.anims.size());
        s.file.anims.push_back(P2BAnimNode{0, kLightFrames, n.animation, {{ANIM_TYPE_POS, u16(pos.Count()), pos.Keys()}}});
        s.file.AddNode(gate, n);
    }
    auto p = ZeroRecord<DrvCrseGate_params>();
    p.init_state = 0;
    p.trigger = Volume(VectorPos(0.0f, 0.0f, 0.0f), 4.0f);
    p.delay = kCourseGateDelay;
    p.startline = 1;
    s.AddRecord(gate, ENT_DRVCRSEGATE, p);
    return gate;
}

// A pedestrian that crosses the loop's far side at x, down or up to start.
void AddPedestrian(SetupFile& s, float x, u8 initState, float delay)
{
    const int ped = s.file.AddNode(-1, MakeNode(kFigure, VectorPos(x, 0.0f, -11.0f)));
    const int path = s.AddSpline({VectorPos(x, 0.0f, -11.0f), VectorPos(x, 0.0f, -9.0f), VectorPos(x, 0.0f, -7.0f),
                                  VectorPos(x, 0.0f, -5.0f)});
    auto p = ZeroRecord<DrvCrsePed_params>();
    p.init_state = initState;
    p.trigger = Volume(VectorPos(x + 8.0f, 0.0f, -8.0f), 5.0f);
    p.delay = delay;
    p.move_path.offset = -1;
    p.speed = 2.0f;
    const int r = s.AddRecord(ped, ENT_DRVCRSEPED, p);
    s.SetSpline(r, offsetof(DrvCrsePed_params, move_path), path);
}

// A prop of a kind (0 barrel, 1 barrier) with its explosion record.
void AddProp(SetupFile& s, VectorPos at, u8 kind, u16 strength)
{
    const int prop = s.file.AddNode(-1, MakeNode(kind == 0 ? kBarrel : kBarrier, at));
    s.file.AddNode(prop, MakeNode(u16(kRecord | (kind == 0 ? kBarrelWreck : kBarrierWreck))));
    s.AddRecord(prop, ENT_RACECOURSEDESTRUCTABLE, RaceCourseDestructable_params{kind, {0}, strength});
}

}  // namespace

P2BModel Bounds(float r)
{
    P2BModel m;
    m.sphere = Sphere(VectorPos(0.0f, 0.0f, 0.0f), r);
    m.boxextent = Vector(r, r, r, 0.0f);
    return m;
}

SetupFile CourseSetup()
{
    SetupFile s;
    s.file.models = {Bounds(40.0f),
                     BoxModel(0.2f, 1.25f, 0.2f, TEXID_NONE, false, Colour(200, 200, 200, 128)),
                     BoxModel(0.1f, 0.1f, 2.0f, TEXID_NONE, false, Colour(230, 40, 40, 128)),
                     BoxModel(0.1f, 0.1f, 0.1f, TEXID_NONE, false, Colour(250, 220, 60, 128)),
                     BoxModel(0.3f, 0.9f, 0.15f, TEXID_NONE, false, Colour(90, 110, 200, 128)),
                     BoxModel(0.3f, 0.45f, 0.3f, TEXID_NONE, false, Colour(40, 130, 60, 128)),
                     BoxModel(0.3f, 0.1f, 0.3f, TEXID_NONE, false, Colour(30, 60, 30, 128)),
                     BoxModel(1.0f, 0.4f, 0.15f, TEXID_NONE, false, Colour(240, 240, 240, 128)),
                     BoxModel(1.0f, 0.1f, 0.15f, TEXID_NONE, false, Colour(120, 120, 120, 128))};
    // The ground the course lies on is the street's: the main object only
    // bounds the course.
    s.file.AddNode(-1, MakeNode(kGround, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 0x8001));

    // The loop: east along the lane from the line, round, west on the far
    // side, round again and back to the line.
    const float e = 50.0f, w = -10.0f, far = -8.0f, x0 = kCourseStartLine[0];
    const int loop = s.AddSpline({VectorPos(x0, 0, 0), VectorPos(27, 0, 0), VectorPos(42, 0, 0), VectorPos(e, 0, 0),
                                  VectorPos(60, 0, 0), VectorPos(60, 0, far), VectorPos(e, 0, far),
                                  VectorPos(30, 0, far), VectorPos(10, 0, far), VectorPos(w, 0, far),
                                  VectorPos(-20, 0, far), VectorPos(-20, 0, 0), VectorPos(w, 0, 0),
                                  VectorPos(-3, 0, 0), VectorPos(5, 0, 0), VectorPos(x0, 0, 0)});
    const int course = s.AddRecord(s.AddPlaceholder(-1, ENT_MISSIONSPLINE), ENT_MISSIONSPLINE, MissionSpline_params{{-1}});
    s.SetSpline(course, 0, loop);
    s.AddRecord(s.AddPlaceholder(-1, ENT_TIMEOFDAY), ENT_TIMEOFDAY, TimeOfDay_params{13, 0});

    AddGate(s);
    AddPedestrian(s, 30.0f, 0, 0.0f);
    AddPedestrian(s, 0.0f, 1, 2.0f);
    AddProp(s, VectorPos(45.0f, 0.0f, 2.0f), 0, 10);
    AddProp(s, VectorPos(46.0f, 0.0f, 2.5f), 0, 10);
    AddProp(s, VectorPos(58.0f, 0.0f, -4.0f), 1, 30);

    // The drone waits on the far side and races the loop's way home once
    // the player passes the first bend.
    const int dronePath = s.AddSpline({VectorPos(40, 0, far - 3.0f), VectorPos(25, 0, far - 3.0f),
                                       VectorPos(10, 0, far - 3.0f), VectorPos(w, 0, far - 3.0f)});
    auto d = ZeroRecord<RaceCourseDroneCar_params>();
    d.trigger = Volume(VectorPos(e, 0.0f, 0.0f), 6.0f);
    d.speed = 10.0f;
    d.move_path.offset = -1;
    const int drone = s.AddRecord(s.AddPlaceholder(-1, ENT_RACECOURSEDRONECAR, VectorPos(40, 0, far - 3.0f)),
                                  ENT_RACECOURSEDRONECAR, d);
    s.SetSpline(drone, offsetof(RaceCourseDroneCar_params, move_path), dronePath);
    return s;
}

std::vector<MissionPlaceholder> SampleMission99()
{
    auto at = [](s16 id, float x) {
        MissionPlaceholder p;
        p.id = id;
        p.pos = VectorPos(x, kPavementY, kLaneZ);
        p.rot = Facing(VectorXZ(1.0f, 0.0f));
        return p;
    };
    // -1: where the rooms of the activities played off the streets stand
    // (the impound yard, the dojos, the ranges, the gun courses, the gym):
    // unturned, out beyond the city's south edge over the bare ground, whose
    // height there is 0 whether or not the city's cells are loaded, so that
    // a car the impound yard offers stands on the yard's floor.  The floor
    // lies a sixteenth above that ground: characters take a height of 0 or
    // below (y grows downwards) for no ground at all.
    MissionPlaceholder rooms;
    rooms.id = -1;
    rooms.pos = VectorPos(0.0f, -0.0625f, -300.0f);
    return {rooms, at(-900, 0.0f), at(-401, -20.0f), at(-402, -5.0f), at(-403, 10.0f), at(-404, 25.0f)};
}

}  // namespace tools
