// City writer: the four city files (cell index, layout, cells, model archive)
// and mission placement files from a city description, laid out with the
// game's own records (game/QuadTree.h, game/Road.h) so the game reads them in
// place.
//
// The description is city-wide: junctions and segments name each other by
// index, every item lies in the 256-unit cell of its position.  A segment
// whose two junctions lie in different cells is stored in both cells; each
// copy ends at a fake junction standing where the real one lies in the other
// cell, holding the copy in the same slot, so the game can join them.  The
// writer derives everything else the files carry: segment end parameters
// and handle scales, kerbs, cross-section texture coordinates, each cell's
// quad tree with exact content masks, and the relocation table.  It refuses
// descriptions the game could not use (see CheckCity).  All padding is zero,
// so the same description always gives the same bytes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/lib/p2b.h"
#include "tools/lib/props.h"
#include "tools/lib/texconv.h"

#include "game/QuadTree.h"

namespace tools {

struct CityRoadType
{
    std::string name;          // for messages
    u8 flags = ROADTYPE_PEDESTRIANS | ROADTYPE_VEHICLES;
    u8 num_rightlanes = 0;
    u8 type = 0;
    u8 iJunc = 0, iJuncLeft = 0, iRightEdge = 0;
    u8 iJuncLow = 0, iJuncLeftLow = 0, iRightEdgeLow = 0;
    u16 abbrev = 0;            // road-name index of the suffix word
    u8 lflex = 0, rflex = 0;
    float fTexVScale = 1.0f;
    int texture = -1;          // layout texture number, -1 none
    float speed = 0.0f;        // as stored (the game reads it / 70)
    std::vector<float> lanes;  // lateral lane offsets
    std::vector<VectorXY> full;   // cross section: lateral x, height y, left first
    std::vector<VectorXY> low;
};

struct CityJunction
{
    VectorPos pos;
    float radius = 0.0f;
    u16 timeOffset = 0;
    u8 flags = 0;              // signal kind and JUNCTION_THROUGHROAD
    // Segment indices in order around the junction (by increasing angle of
    // their directions, x toward z), through roads first when the junction
    // has one.  Filled by AddSegment / SortSlots.
    std::vector<int> slots;
};

struct CitySegment
{
    int jtn[2] = {-1, -1};     // junctions at t = 0 and t = 1
    u16 id = 0;                // road-name index
    u16 flags = 0;
    int type = 0;
    // The centre line's inner control points; by default a third and two
    // thirds of the way.
    bool straight = true;
    VectorPos c1, c2;
};

struct CityPatch
{
    BezierPatch patch;         // w words are set by the writer
    Matrix texmat;
    int groundtype = -1;
};

struct CityInstance
{
    VectorPos pos;
    Quaternion rot = Quaternion(true);
    s8 scale = 0;
    u16 model = 0;
    u8 node = 0;
    u16 id = 0;
    u8 params[3] = {0, 0, 0};
};

// A vertical wall that hides what lies behind it from its front: corners
// top-left, bottom-left, bottom-right, top-right as seen from the front.
struct CityOccluder
{
    VectorPos corners[4];
};

struct CityDescription
{
    std::vector<TextureImage> textures;
    std::vector<CityRoadType> roadtypes;
    std::vector<int> groundtypes;          // texture numbers
    std::vector<std::string> roadnames;
    std::vector<P2BFile> models;           // shared textures name layout textures
    std::vector<std::vector<NodeParams>> modelParams;   // by model, where a model has blocks
    std::vector<u16> cities;
    std::vector<CityJunction> junctions;
    std::vector<CitySegment> segments;
    std::vector<CityPatch> patches;
    std::vector<CityInstance> instances;
    std::vector<CityOccluder> occluders;
    // The zone of a quad node from its square's centre (0x8000 | block number).
    std::function<u16(float x, float z)> zone;

    // Adds a segment between two junctions and lists it in their slots.
    int AddSegment(int j0, int j1, u16 id, int type);
    // Orders every junction's slots around it; for junctions with
    // JUNCTION_THROUGHROAD the two segments of one road id become slots 0/1
    // (three roads) or 0/2 (four).
    void SortSlots();
};

struct CityFiles
{
    std::vector<u8> idx, exp, mgd, exm;
};

// The checks the game's use of a city needs: real junctions with every slot
// filled, a radius below 100 and at most 16 roads; through roads in slots
// 0/1 or 0/2; kerbs between neighbouring slots; at most 52 cross-section
// points (a strip batch with its two extension points must end below the road
// generator's table); every reference in range.  False with a message.
bool CheckCity(const CityDescription& city, std::string& error);

// The four files.  False with a message for a city CheckCity refuses, a
// model the model writer refuses, or a city that does not fit the formats.
bool WriteCity(const CityDescription& city, CityFiles& out, std::string& error);

// The rotation packed as an instance's loc.w: the inverse of UnpackQuat (the
// largest component is the derived one, made positive).
u32 PackQuat(Quaternion q);

// A mission placement file: one instance record per placeholder.
struct MissionPlaceholder
{
    s16 id = 0;
    VectorPos pos;
    Quaternion rot = Quaternion(true);
    s8 scale = 0;
};
std::vector<u8> WriteMission(const std::vector<MissionPlaceholder>& placeholders);

// The rotation whose forward axis (z row) points along dir in the x-z plane.
Quaternion Facing(VectorXZ dir);

// ---------------------------------------------------------------------------
// Content (citydesign.cpp).

// The sample city: 2 x 2 cells around the origin (content within +-140),
// roads on a 64-unit grid with a ring, crossings, T-junctions, bends and a
// dead-end alley, ground patches in the blocks, boxy buildings and props;
// health carts may stand beside its streets.
CityDescription SampleCity();

// Placeholder ids and positions of the sample missions.
std::vector<MissionPlaceholder> SampleMission1();
// The test episode's file: SampleMission1's, the default spot and the
// driving course's spot (-900).
std::vector<MissionPlaceholder> SampleMissionTest();
std::vector<MissionPlaceholder> SampleMission2();
std::vector<MissionPlaceholder> SampleMission3();
// Episodes 4 to 7: each placeholder their steps name, in the streets, and
// the bonus drive's start and destinations.
std::vector<MissionPlaceholder> SampleMission4();
std::vector<MissionPlaceholder> SampleMission5();
std::vector<MissionPlaceholder> SampleMission6();
std::vector<MissionPlaceholder> SampleMission7();
// Episodes 8 to 12: the spots their steps name, the helicopter's hover
// spots among episode 8's.
std::vector<MissionPlaceholder> SampleMission(int episode);

// Small cities for tests: kind 0 a crossing of four streets, 1 a T-junction,
// 2 a bend, 3 a dead end, each inside cell (0, 0); a ground patch; a bridge
// (a road above another, crossing without a junction); a kerb rising 0.15;
// a quay: a street along a stone quay whose wall goes down 5 below the sea
// plane y = 0 (its cell reaches below it), with a shed on the quay.
enum class TestCityKind
{
    kCrossing,
    kTJunction,
    kBend,
    kDeadEnd,
    kGroundPatch,
    kBridge,
    kKerb,
    kQuay,
};
CityDescription TestCity(TestCityKind kind);

// The road kinds and textures every sample and test city uses.
enum SampleRoadKind
{
    kRoadStreet = 0,
    kRoadAvenue = 1,
    kRoadAlley = 2,
};
void AddSampleRoadKinds(CityDescription& city);

}  // namespace tools
