// Room generator: a furnished interior for a set-up file from a few
// parameters: the floor's extent and the ceiling's height, the finishes of
// floor, walls and ceiling, the doors, the furniture and the lights.
//
// The room is the set-up's main object, built at the file's origin in its
// own frame (y down, the floor at y = 0): one textured, lit shell whose
// faces look inwards (floor, ceiling, four walls with a lower band of their
// own, the doors' openings cut out of them), the entry point, a child node
// carrying the walls' collision, and a child node for each piece of
// furniture and each light.  The walls' collision is one thick box behind
// each wall, doorways included (the doors are shut), so bodies, bullets and
// the camera stay inside; each piece of furniture collides as one box.
// Every texture is drawn here from a rule and stored in the file.
//
// Sizes are the game's units (3.2 metres to a unit: a 1.8 m man stands
// 0.5625 high).
#pragma once

#include <string>
#include <vector>

#include "tools/lib/setupfile.h"

namespace tools {

// What a face is covered with; each has its picture and the size of floor
// or wall one copy of it covers.
enum class Finish
{
    kPlanks,       // floorboards
    kWallpaper,    // striped wallpaper
    kPanelling,    // dark wooden panels
    kPlaster,      // pale ceiling plaster
    kDarkWood,     // varnished wood
    kCounterTop,   // polished lighter wood
    kBottles,      // rows of bottles on shelves
    kDoor,         // a panelled door, one picture to a door
    kFloorTiles,   // square white and pale blue tiles
    kWallTiles,    // small sea-green tiles
    kWater,        // a pool's water
    kSlats,        // a bench's wooden slats
    kLocker,       // painted metal locker doors, one picture to a door
    kMarble,       // pale veined stone
};
constexpr int kFinishes = 14;

// A door in a wall: wall 0 is the one at z0 (the room's front), 1 at x1,
// 2 at z1 (the back), 3 at x0; `along` is its middle's x (walls 0 and 2) or
// z (walls 1 and 3).
struct RoomDoor
{
    int wall = 0;
    float along = 0.0f;
    float width = 0.4f;    // 1.3 m
    float height = 0.7f;   // 2.2 m
};

// A piece of furniture standing on the floor with its middle at `at` (y 0),
// turned by `turn` radians about the vertical; its own x runs along its
// length and its front faces its -z.
struct Furniture
{
    enum Kind
    {
        kCounter,   // a bar counter of `length`, its top at waist height
        kShelf,     // a wall shelf of bottles, `length` long
        kTable,     // a small square table
        kStool,     // a bar stool
        kBench,     // a slatted bench of `length`
        kLockers,   // a bank of lockers, `length` long, shoulder high
        kPillar,    // a square pillar from floor to ceiling
        kPool,      // a pool `length` by `depth`: water within a low rim
        kLamp,      // a glowing shade hung below the ceiling
    };
    Kind kind = kTable;
    VectorPos at{0.0f, 0.0f, 0.0f};
    float turn = 0.0f;
    float length = 0.0f;
    float depth = 0.0f;
    u16 extra = 0;   // the node's extra word (a breakable prop's 0x1000 and above)
};

// A light node (ZEVLIGHT_TYPE kind) as MakeLightNode takes it.
struct RoomLight
{
    int kind = 0;
    Colour colour{255, 255, 255, 255};
    float intensity = 128.0f;
    float range = 0.0f;
    VectorPos at{0.0f, 0.0f, 0.0f};
    VectorXYZ ang{0.0f, 0.0f, 0.0f};
};

struct RoomDesign
{
    float x0 = -2.0f, x1 = 2.0f, z0 = -2.0f, z1 = 2.0f;   // the floor
    float height = 1.0f;                                  // 3.2 m
    Finish floor = Finish::kPlanks, wall = Finish::kWallpaper, band = Finish::kPanelling,
           ceiling = Finish::kPlaster;
    float bandHeight = 0.0f;   // the walls' lower band; 0 for none
    std::vector<RoomDoor> doors;
    std::vector<Furniture> furniture;
    std::vector<RoomLight> lights;
    VectorPos entry{0.0f, 0.0f, 0.0f};   // where the player stands when the room is built
    u16 id = 0x8001;                     // the main node's extra (above 0x8000)
};

struct BuiltRoom
{
    int main = -1;               // the main object's node
    std::vector<int> furniture;  // each piece's node, in the design's order
    int shell = -1;              // the shell's model
};

// Builds the room into the set-up file; the design is taken as given (see
// CheckRoom).
BuiltRoom AddRoom(SetupFile& setup, const RoomDesign& design);

// What is wrong with a design, or empty: a floor or height of no size, a door
// that does not fit its wall or overlaps another, a door the player could
// not walk through upright (lower than 1.1 times his height or narrower than
// 0.45 times it), furniture or a light outside the room, an entry point
// outside it.
std::string CheckRoom(const RoomDesign& design);

// The height of a piece of furniture's top above the floor (a counter's
// worktop, a table's top, a stool's seat, a bench's slats, a pool's rim).
float FurnitureTop(Furniture::Kind kind, float roomHeight);

// The box a piece of furniture collides as, in the room's frame (none for a
// lamp: the result is then empty).
Cuboid FurnitureBox(const Furniture& f, float roomHeight);

// The sample disc's furnished rooms, as its set-up files build them: the
// bar of Int/LEVEL2/BAR.P2B and the spa of Int/LEVEL3/SPPLRMG7.P2B.
struct NamedRoom
{
    std::string path;
    RoomDesign design;
};
std::vector<NamedRoom> SampleRooms();

}  // namespace tools
