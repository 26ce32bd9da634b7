// The story's sets.
#include "tools/lib/storysets.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>

#include "ZevEngine2/PS2/Model.h"
#include "game/EntParams.h"
#include "tools/lib/drivecourse.h"
#include "tools/lib/p2b_sample.h"

namespace tools {

namespace {

using F = Furniture;

enum class Game
{
    kScene,      // a scene, or a boss the step makes itself
    kFight,
    kShootout,
    kSneak,
    kRange,
    kImpound,    // the impound lot: the places of the cars it offers
    kAirfield,   // the airfield: the jet and the light aircraft that follow it
};

struct StorySet
{
    const char* path;
    Game game;
    RoomDesign design;
    int foes = 0;
    // A fighter's style, whose moves are in an animation group its step
    // loads: 0 kung fu (group 10), 2 boxing (12), 3 brawling (13); or 5, the
    // street fighter, whose group (15) is always loaded, for a room whose
    // step loads no fighting group.
    u8 style = 0;
};

// A room `w` wide and `d` deep about the origin, entered by a door in the
// middle of its front wall with the player just inside it; lit by an
// ambient glow and a light from above in `tint`, a lamp-like light over the
// middle and one over the back.
RoomDesign Shape(float w, float d, float h, Finish floor, Finish wall, Finish band, Finish ceiling, Colour tint)
{
    RoomDesign r;
    r.x0 = -w * 0.5f;
    r.x1 = w * 0.5f;
    r.z0 = -d * 0.5f;
    r.z1 = d * 0.5f;
    r.height = h;
    r.floor = floor;
    r.wall = wall;
    r.band = band;
    r.ceiling = ceiling;
    r.bandHeight = band == wall ? 0.0f : 0.25f;
    r.doors = {{0, 0.0f, 0.4f, 0.7f}};
    r.entry = VectorPos(0.0f, 0.0f, r.z0 + 0.5f);
    r.cell = 2.5f;   // coarse cells keep the file small; the lights still fall across the floor
    auto part = [&](int k) { return Colour(u8(tint.r * k / 8), u8(tint.g * k / 8), u8(tint.b * k / 8), 255); };
    r.lights.push_back({ZEVLIGHT_AMB, part(3), 0.5f, 0.0f, VectorPos(0, -h * 0.9f, 0)});
    r.lights.push_back({ZEVLIGHT_DIR, part(4), 0.5f, 0.0f, VectorPos(0, -h * 0.9f, 0), VectorXYZ(1.2f, 0.3f, 0)});
    r.lights.push_back({ZEVLIGHT_POS, part(6), 0.5f, 3.5f, VectorPos(0, -h * 0.85f, 0)});
    r.lights.push_back({ZEVLIGHT_POS, part(5), 0.5f, 3.5f, VectorPos(0, -h * 0.85f, d * 0.3f)});
    return r;
}

// A yard under the sky: tarmac within brick walls, lit by daylight.
RoomDesign Yard(float w, float d)
{
    RoomDesign r = Shape(w, d, 0.8f, Finish::kTarmac, Finish::kBrick, Finish::kConcrete, Finish::kConcrete,
                         Colour(230, 225, 210, 255));
    r.open = true;
    return r;
}

void Add(RoomDesign& r, F::Kind kind, float x, float z, float turn = 0.0f, float length = 0.0f, float depth = 0.0f)
{
    F f;
    f.kind = kind;
    f.at = VectorPos(x, 0.0f, z);
    f.turn = turn;
    f.length = length;
    f.depth = depth;
    r.furniture.push_back(f);
}

// Crates across the room a little behind its middle: the gunmen's cover.
void CrateRow(RoomDesign& r)
{
    const float z = (r.z0 + r.z1) * 0.5f + 0.6f;
    for (float x : {-1.2f, 1.2f})
        Add(r, F::kCrate, x, z, 0.0f, 0.3f);
}

// The rooms, with their furniture.
RoomDesign Range()
{
    RoomDesign r = Shape(6.0f, 14.0f, 1.2f, Finish::kConcrete, Finish::kConcrete, Finish::kBrick, Finish::kConcrete,
                         Colour(210, 210, 200, 255));
    Add(r, F::kCounter, 0.0f, -4.6f, 0.0f, 5.0f);   // the firing line
    return r;
}

RoomDesign Office()
{
    RoomDesign r = Shape(5.0f, 5.0f, 1.0f, Finish::kCarpet, Finish::kWallpaper, Finish::kPanelling, Finish::kPlaster,
                         Colour(220, 200, 170, 255));
    Add(r, F::kTable, 0.0f, 1.0f);
    Add(r, F::kStool, 0.0f, 1.5f);
    Add(r, F::kBookcase, 0.0f, 2.4f, 0.0f, 2.0f);
    Add(r, F::kBookcase, -2.4f, 0.5f, -kQuarterTurn, 1.6f);
    Add(r, F::kLamp, 0.0f, 1.0f);
    return r;
}

RoomDesign Bistro()
{
    RoomDesign r = Shape(6.0f, 6.0f, 1.0f, Finish::kFloorTiles, Finish::kPaperScreen, Finish::kDarkWood,
                         Finish::kPlaster, Colour(240, 200, 150, 255));
    Add(r, F::kCounter, 2.5f, 0.5f, kQuarterTurn, 3.0f);
    for (float z : {-1.2f, 1.2f}) {
        Add(r, F::kTable, -2.0f, z);
        Add(r, F::kStool, -2.4f, z);
        Add(r, F::kLamp, -2.0f, z);
    }
    return r;
}

RoomDesign Club()
{
    RoomDesign r = Shape(7.0f, 7.0f, 1.2f, Finish::kCarpet, Finish::kBrick, Finish::kDarkWood, Finish::kSheetMetal,
                         Colour(200, 120, 220, 255));
    Add(r, F::kCounter, 3.0f, 0.5f, kQuarterTurn, 4.0f);
    Add(r, F::kShelf, 3.42f, 0.5f, kQuarterTurn, 3.6f);
    for (float z : {-1.0f, 0.0f, 1.0f, 2.0f})
        Add(r, F::kStool, 2.65f, z);
    for (float x : {-1.5f, 1.5f})
        Add(r, F::kPillar, x, 1.0f);
    return r;
}

RoomDesign Workshop()
{
    RoomDesign r = Shape(8.0f, 8.0f, 1.3f, Finish::kConcrete, Finish::kSheetMetal, Finish::kConcrete,
                         Finish::kSheetMetal, Colour(210, 215, 225, 255));
    for (float z : {-2.0f, 0.0f, 2.0f})
        Add(r, F::kCrate, 3.5f, z, 0.0f, 0.4f);
    Add(r, F::kCrate, -3.4f, 3.2f, 0.0f, 0.5f);
    Add(r, F::kCounter, -3.6f, -1.0f, kQuarterTurn, 2.5f);
    return r;
}

RoomDesign Dojo()
{
    RoomDesign r = Shape(7.0f, 7.0f, 1.1f, Finish::kTatami, Finish::kPaperScreen, Finish::kDarkWood, Finish::kDarkWood,
                         Colour(240, 225, 190, 255));
    for (float x : {-3.3f, 3.3f})
        Add(r, F::kBench, x, 0.5f, kQuarterTurn, 2.0f);
    return r;
}

RoomDesign House()
{
    RoomDesign r = Shape(6.0f, 6.0f, 1.0f, Finish::kPlanks, Finish::kWallpaper, Finish::kPanelling, Finish::kPlaster,
                         Colour(230, 190, 150, 255));
    Add(r, F::kTable, -2.0f, -0.8f);
    Add(r, F::kBookcase, 1.5f, 2.9f, 0.0f, 2.0f);
    Add(r, F::kLamp, -2.0f, -0.8f);
    return r;
}

RoomDesign Diner()
{
    RoomDesign r = Shape(7.0f, 5.0f, 1.0f, Finish::kFloorTiles, Finish::kWallTiles, Finish::kCounterTop,
                         Finish::kPlaster, Colour(235, 230, 210, 255));
    Add(r, F::kCounter, 0.0f, 1.4f, 0.0f, 4.0f);
    for (float x : {-1.5f, -0.5f, 0.5f, 1.5f})
        Add(r, F::kStool, x, 1.05f);
    for (float x : {-2.8f, 2.8f})
        Add(r, F::kTable, x, -0.8f);
    return r;
}

RoomDesign Butcher()
{
    RoomDesign r = Shape(6.0f, 6.0f, 1.0f, Finish::kFloorTiles, Finish::kWallTiles, Finish::kWallTiles,
                         Finish::kPlaster, Colour(215, 230, 235, 255));
    Add(r, F::kCounter, 0.0f, 1.2f, 0.0f, 3.5f);
    Add(r, F::kLockers, -2.9f, -0.5f, -kQuarterTurn, 1.6f);
    return r;
}

RoomDesign BackRoom()
{
    RoomDesign r = Shape(7.0f, 8.0f, 1.0f, Finish::kConcrete, Finish::kWallTiles, Finish::kConcrete, Finish::kConcrete,
                         Colour(190, 215, 230, 255));
    Add(r, F::kCrate, 3.2f, 3.4f, 0.0f, 0.4f);
    return r;
}

RoomDesign Hall()
{
    RoomDesign r = Shape(8.0f, 8.0f, 1.4f, Finish::kMarble, Finish::kPanelling, Finish::kDarkWood, Finish::kPlaster,
                         Colour(230, 210, 170, 255));
    for (float x : {-2.0f, 2.0f})
        for (float z : {-1.0f, 2.0f})
            Add(r, F::kPillar, x, z);
    return r;
}

RoomDesign Parlour()
{
    RoomDesign r = Shape(6.0f, 6.0f, 1.1f, Finish::kCarpet, Finish::kWallpaper, Finish::kPanelling, Finish::kPlaster,
                         Colour(240, 190, 140, 255));
    Add(r, F::kBench, -2.8f, 0.5f, -kQuarterTurn, 2.0f);
    Add(r, F::kTable, 1.8f, -1.0f);
    Add(r, F::kLamp, 1.8f, -1.0f);
    return r;
}

RoomDesign Library()
{
    RoomDesign r = Shape(7.0f, 8.0f, 1.2f, Finish::kCarpet, Finish::kPanelling, Finish::kDarkWood, Finish::kPlaster,
                         Colour(235, 200, 150, 255));
    for (float z : {-2.0f, 0.0f, 2.0f}) {
        Add(r, F::kBookcase, -3.4f, z, -kQuarterTurn, 1.8f);
        Add(r, F::kBookcase, 3.4f, z, kQuarterTurn, 1.8f);
    }
    Add(r, F::kBookcase, 0.0f, 3.9f, 0.0f, 3.0f);
    return r;
}

RoomDesign Altar()
{
    RoomDesign r = Shape(8.0f, 9.0f, 1.5f, Finish::kMarble, Finish::kBrick, Finish::kMarble, Finish::kConcrete,
                         Colour(220, 120, 90, 255));
    for (float x : {-2.5f, 2.5f})
        for (float z : {-1.5f, 1.5f})
            Add(r, F::kPillar, x, z);
    Add(r, F::kCounter, 0.0f, 3.8f, 0.0f, 2.0f);   // the altar
    return r;
}

RoomDesign Study()
{
    RoomDesign r = Office();
    r.floor = Finish::kPlanks;
    return r;
}

// The cellar where the dragon lives: a vault tall enough for the dragon
// hovering over its middle (its episode places its rooms 41.5 above the
// city's ground, the dragon flies 44 to 48 above it, some 6.5 above the
// floor at its highest).
RoomDesign Cellar()
{
    RoomDesign r = Shape(8.0f, 8.0f, 8.0f, Finish::kConcrete, Finish::kBrick, Finish::kConcrete, Finish::kConcrete,
                         Colour(200, 170, 140, 255));
    for (float z : {-2.5f, 2.5f})
        Add(r, F::kCrate, -3.5f, z, 0.0f, 0.5f);
    return r;
}

RoomDesign Sewer()
{
    RoomDesign r = Shape(5.0f, 12.0f, 1.2f, Finish::kConcrete, Finish::kBrick, Finish::kConcrete, Finish::kConcrete,
                         Colour(150, 190, 150, 255));
    Add(r, F::kPool, 0.0f, 3.5f, 0.0f, 3.0f, 1.6f);   // standing water towards the far end
    return r;
}

RoomDesign Warehouse()
{
    RoomDesign r = Workshop();
    r.wall = Finish::kBrick;
    return r;
}

// Changing rooms: tiles, lockers along one wall and a bench along the other.
RoomDesign Showers()
{
    RoomDesign r = Shape(6.0f, 6.0f, 1.0f, Finish::kFloorTiles, Finish::kWallTiles, Finish::kWallTiles,
                         Finish::kPlaster, Colour(220, 235, 240, 255));
    Add(r, F::kLockers, -2.9f, -0.5f, -kQuarterTurn, 1.6f);
    Add(r, F::kBench, 2.7f, -0.5f, kQuarterTurn, 1.6f);
    return r;
}

// An open-plan office: a row of desks near the door, the back kept clear.
RoomDesign OpenOffice()
{
    RoomDesign r = Shape(8.0f, 8.0f, 1.0f, Finish::kCarpet, Finish::kPlaster, Finish::kPanelling, Finish::kPlaster,
                         Colour(225, 225, 235, 255));
    for (float x : {-2.8f, 2.8f}) {
        Add(r, F::kTable, x, -1.8f);
        Add(r, F::kStool, x, -2.3f);
        Add(r, F::kLamp, x, -1.8f);
    }
    return r;
}

// A gym: boards under foot, benches down both sides.
RoomDesign Gym()
{
    RoomDesign r = Dojo();
    r.floor = Finish::kPlanks;
    r.wall = Finish::kSheetMetal;
    return r;
}

// The impound lot: a yard whose main node leaves the car places' ids free.
RoomDesign Impound()
{
    RoomDesign r = Yard(12.0f, 12.0f);
    r.id = 0x8080;
    return r;
}

// The yard of the ambush on the street: it stands off the road, its front
// wall (and its door) `off` back from the set's origin, where the cars
// wait in the road outside it and drive off.
RoomDesign RoadsideYard(float w, float d, float off)
{
    RoomDesign r = Yard(w, d);
    const float shift = off - r.z0;
    r.z0 += shift;
    r.z1 += shift;
    r.entry[2] += shift;
    for (RoomLight& l : r.lights)
        l.at[2] += shift;
    return r;
}

// The airfield: a long walled apron of tarmac, the car the step leaves in
// its middle facing east (+x), across it.  The jet waits at the south end,
// the two light aircraft on the west side; the runway runs north up the east
// side and out over the north wall.
constexpr float kPi = 3.14159265f;
constexpr float kAirfieldWidth = 24.0f, kAirfieldLength = 44.0f;

RoomDesign Airfield()
{
    RoomDesign r = Yard(kAirfieldWidth, kAirfieldLength);
    r.entry = VectorPos(-1.5f, 0.0f, 0.0f);   // beside the car the step leaves at the origin
    return r;
}

// Every set, in the order the episodes name them.
std::vector<StorySet> Sets()
{
    auto shoot = [](RoomDesign r) {
        CrateRow(r);
        return r;
    };
    return {
        {"Int/LEVEL1/FRANGEG2.P2B", Game::kRange, Range()},
        {"Int/LEVEL1/FRANGES3.P2B", Game::kScene, Range()},
        {"Int/EOD.P2B", Game::kScene, Office()},
        {"Int/LEVEL1/BISTROG5.P2B", Game::kFight, Bistro(), 3},
        {"Int/LEVEL1/BISTROS6.P2B", Game::kScene, Bistro()},
        {"Int/LEVEL1/MG6A.P2B", Game::kShootout, shoot(Yard(8.0f, 10.0f)), 4},
        {"Int/LEVEL1/MG6B.P2B", Game::kShootout, shoot(Yard(8.0f, 10.0f)), 4},
        {"Int/LEVEL4/NCLUBOG7.P2B", Game::kScene, Club()},
        {"Int/LEVEL4/AUTOSHG2.P2B", Game::kFight, Workshop(), 3, 3},
        {"Int/LEVEL4/MG5.P2B", Game::kSneak, Warehouse(), 2},
        {"Int/LEVEL4/NCLUBG6.P2B", Game::kShootout, shoot(Club()), 4},
        {"Int/LEVEL4/DOJOG8.P2B", Game::kFight, Dojo(), 4},
        {"Int/LEVEL4/MG9.P2B", Game::kFight, Warehouse(), 3, 3},
        {"Int/LEVEL5/DOJOS1B.P2B", Game::kScene, Dojo()},
        {"Int/LEVEL5/RDHSEG2.P2B", Game::kFight, House(), 3, 3},
        {"Int/LEVEL5/DINERS4.P2B", Game::kScene, Diner()},
        {"Int/LEVEL5/BSHOPG5.P2B", Game::kFight, Butcher(), 2},
        {"Int/LEVEL5/BSHOPBG6.P2B", Game::kShootout, shoot(BackRoom()), 4},
        {"Int/LEVEL5/BFSHOPS7.P2B", Game::kScene, BackRoom()},
        {"Int/LEVEL5/RDHSES8.P2B", Game::kScene, House()},
        {"Int/LEVEL6/HALLG2.P2B", Game::kSneak, Hall(), 2},
        {"Int/LEVEL6/PARLRG3.P2B", Game::kFight, Parlour(), 3},
        {"Int/LEVEL6/LIBRYG4.P2B", Game::kShootout, shoot(Library()), 4},
        {"Int/LEVEL6/ALTARG5.P2B", Game::kScene, Altar()},
        {"Int/LEVEL6/STUDYG6.P2B", Game::kScene, Study()},
        {"Int/LEVEL6/CELLRG7.P2B", Game::kScene, Cellar()},
        {"Int/LEVEL6/SEWERG8.P2B", Game::kShootout, shoot(Sewer()), 4},
        {"Int/LEVEL7/RDOBARG2.P2B", Game::kFight, Club(), 3, 3},
        {"Int/LEVEL7/MVSTRGG6.P2B", Game::kSneak, Warehouse(), 2},
        {"Int/LEVEL7/MVSTRGG7.P2B", Game::kShootout, shoot(Warehouse()), 4},
        {"Int/LEVEL7/MG8.P2B", Game::kScene, Yard(10.0f, 10.0f)},
        // Episodes 2, 3 and 8 to 12, games first within each.
        {"Int/LEVEL2/DOJO.P2B", Game::kFight, Dojo(), 3},
        {"Int/DOJO247.P2B", Game::kFight, Dojo(), 2, 5},
        {"Int/LEVEL2/WAREHSE.P2B", Game::kShootout, shoot(Warehouse()), 4},
        {"Int/LEVEL2/WARE_SNP.P2B", Game::kShootout, shoot(Warehouse()), 4},
        {"Int/LEVEL2/WARE_STL.P2B", Game::kSneak, Warehouse(), 2},
        {"Int/LEVEL3/SPSHRMG6.P2B", Game::kFight, Showers(), 3, 3},
        {"Int/LEVEL3/SPSHRMG8.P2B", Game::kFight, Showers(), 3},
        {"Int/LEVEL3/SPASROOM.P2B", Game::kSneak, Showers(), 2},
        {"Int/LEVEL8/GCLUBG3.P2B", Game::kFight, Club(), 3},
        {"Int/LEVEL8/AHANGG5.P2B", Game::kShootout, shoot(Workshop()), 4},
        {"Int/LEVEL9/SCLUBG2.P2B", Game::kFight, Club(), 3},
        {"Int/LEVEL9/MG6.P2B", Game::kFight, Yard(8.0f, 10.0f), 3},
        {"Int/LEVEL9/MG7.P2B", Game::kShootout, shoot(Yard(8.0f, 10.0f)), 4},
        {"Int/LEVEL10/G4.P2B", Game::kShootout, shoot(Yard(8.0f, 10.0f)), 4},
        {"Int/LEVEL10/BLOBBYG5.P2B", Game::kShootout, shoot(Hall()), 4},
        {"Int/LEVEL10/BHALOFG6.P2B", Game::kShootout, shoot(OpenOffice()), 4},
        {"Int/LEVEL10/BHALOFG9.P2B", Game::kShootout, shoot(OpenOffice()), 4},
        {"Int/LEVEL10/OFHELIG7.P2B", Game::kFight, OpenOffice(), 3},
        {"Int/LEVEL11/G3.P2B", Game::kFight, Yard(8.0f, 10.0f), 3, 2},
        {"Int/LEVEL11/HSWUG5.P2B", Game::kShootout, shoot(Parlour()), 4},
        {"Int/LEVEL12/MNSNG2.P2B", Game::kSneak, Hall(), 2},
        {"Int/LEVEL12/MMRMG3.P2B", Game::kFight, Hall(), 3},
        {"Int/LEVEL12/G6.P2B", Game::kShootout, shoot(Yard(8.0f, 10.0f)), 4},
        {"Int/LEVEL12/G7.P2B", Game::kFight, Yard(8.0f, 10.0f), 3, 2},
        // The 24/7 rooms: the bonus gym's fight and the gun course's targets.
        {"Int/BONUS/BNSGYM1.P2B", Game::kFight, Gym(), 3},   // the first bonus level's kung fu
        {"Int/BONUS/GUNCRSE3.P2B", Game::kRange, Range()},
        // The scenes' rooms and yards.
        {"Int/LEVEL3/WARE3S1B.P2B", Game::kScene, Warehouse()},
        {"Int/LEVEL3/CYPRS3.P2B", Game::kScene, RoadsideYard(10.0f, 10.0f, 5.0f)},
        {"Int/LEVEL8/MVSTRGS1.P2B", Game::kScene, Warehouse()},
        {"Int/LEVEL8/DINERS2.P2B", Game::kScene, Diner()},
        {"Int/LEVEL8/GCLUBS4A.P2B", Game::kScene, Club()},
        {"Int/LEVEL8/HANGS601.P2B", Game::kScene, Workshop()},
        {"Int/LEVEL8/MG6.P2B", Game::kAirfield, Airfield()},
        {"Int/LEVEL8/MG7.P2B", Game::kScene, Yard(10.0f, 10.0f)},
        {"Int/LEVEL9/SCLUBS3.P2B", Game::kScene, Club()},
        {"Int/LEVEL9/SPOTS4.P2B", Game::kScene, Warehouse()},
        {"Int/LEVEL10/OFHELIS8.P2B", Game::kScene, OpenOffice()},
        {"Int/LEVEL11/GCLUBS4C.P2B", Game::kScene, Club()},
        {"Int/LEVEL11/HSWUS6.P2B", Game::kScene, Library()},
        {"Int/LEVEL11/HSWUCHS7.P2B", Game::kScene, Parlour()},
        {"Int/LEVEL12/RDHSES1A.P2B", Game::kScene, House()},
        {"Int/LEVEL12/MMRMS4.P2B", Game::kScene, Hall()},
        {"Int/IMPOUND.P2B", Game::kImpound, Impound()},
    };
}

// Fighter generators along the back of the room, two in it from the start
// and the rest coming in as those fall; one foe at a time in the ring.
void Fighters(SetupFile& s, const RoomDesign& r, int foes, u8 style, s16 firstId)
{
    const float z = r.z1 - 1.2f;
    for (int k = 0; k < foes; k++) {
        const float x = (r.x1 - r.x0 - 1.0f) * (float(k) + 0.5f) / float(foes) + r.x0 + 0.5f;
        auto f = ZeroRecord<EnemyGenFighter_params>();
        f.character = 0;
        f.style = style;
        f.init_wave = u8(k < 2 ? 1 : 2);
        f.spawn_num = 2;
        f.first_init = u8(k < 2 ? 1 : 0);
        f.init_strength = 10;
        f.badass = 0.5f;
        f.vo_bank = 255;
        f.id = s16(firstId - k);
        f.path_arrive.offset = -1;
        s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(x, 0, z)), ENT_ENEMYGENFIGHTER, f);
    }
    s.AddRecord(s.AddPlaceholder(-1, 0), ENT_CONTROLLERCOMBAT, ControllerCombat_params{2, 1, 0, 1});
}

// Gunmen behind the crates (CrateRow), two a wave; walking up to the middle
// brings the second wave.  The player's cover is a line in front of the
// room's left wall near the door.
void Shooters(SetupFile& s, const RoomDesign& r, int foes, s16 firstId)
{
    const VectorPos mid((r.x0 + r.x1) * 0.5f, 0.0f, (r.z0 + r.z1) * 0.5f);
    const VectorXYZ half((r.x1 - r.x0) * 0.5f, 1.0f, (r.z1 - r.z0) * 0.5f);
    const float crates = mid[2] + 0.6f;
    for (int k = 0; k < foes; k++) {
        const float x = k % 2 ? 1.2f : -1.2f;
        const float z = k < 2 ? crates + 0.5f : r.z1 - 0.6f;
        auto g = ZeroRecord<EnemyGenShooter_params>();
        g.character = 0;
        g.id = s16(firstId - k);
        g.weapon = 1;
        g.path_arrive.offset = -1;
        g.path_move.offset = -1;
        g.hostage_path.offset = -1;
        g.spawn_num = 1;
        g.trigger_init = Zone(mid, half);
        g.init_strength = 50;
        g.init_wave = u8(1 + k / 2);
        s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(x, 0, z)), ENT_ENEMYGENSHOOTER, g);
    }
    auto w = ZeroRecord<EnemyWaveTrigger_params>();
    w.trigger1 = Zone(mid, VectorXYZ(half[0], 1.0f, 0.5f));
    w.wave = 2;
    w.delay = 2.0f;
    s.AddRecord(s.AddPlaceholder(-1, 0, mid), ENT_ENEMYWAVETRIGGER, w);
    const float x = r.x0 + 0.5f;
    const int wall = s.AddSpline({VectorPos(x, 0, r.z0 + 0.6f), VectorPos(x, 0, r.z0 + 1.1f),
                                  VectorPos(x, 0, r.z0 + 1.6f), VectorPos(x, 0, r.z0 + 2.1f)});
    const int rec = s.AddRecord(s.AddPlaceholder(-1, 0), ENT_WALLSPLINE, WallSpline_params{{-1}, {0}, 0, {}});
    s.SetSpline(rec, 0, wall);
    // The gunmen's cover points, at a standing man's chest height behind
    // each crate.
    const int cover = s.file.AddNode(-1, MakeNode(kCoverNodeModel, VectorPos(0, -0.375f, crates)));
    for (float cx : {-1.2f, 1.2f})
        s.file.AddNode(cover, MakeNode(MDL_NOGEOM, VectorPos(cx, 0, 0.35f)));
}

// The doorway in the middle of the room's back wall: walking into it ends
// the task.
void TaskExit(SetupFile& s, const RoomDesign& r)
{
    auto out = ZeroRecord<DaceModeTrigger_params>();
    const VectorPos door(0.0f, 0.0f, r.z1 - 0.3f);
    out.trigger1 = Volume(door, 0.4f);
    out.teleport_to.index = -1;
    out.task_exit = 1;
    s.AddRecord(s.AddPlaceholder(-1, 0, door), ENT_DACEMODETRIGGER, out);
}

// Guards walking rounds across the back of the room, and the doorway at the
// back that ends the task.
void Guards(SetupFile& s, const RoomDesign& r, int foes, s16 firstId)
{
    for (int k = 0; k < foes; k++) {
        const float z = r.z1 - 1.0f - 1.5f * float(k);
        const int path = s.AddSpline({VectorPos(r.x0 + 1.0f, 0, z), VectorPos(-0.3f, 0, z), VectorPos(0.3f, 0, z),
                                      VectorPos(r.x1 - 1.0f, 0, z)});
        auto g = ZeroRecord<EnemyGenGuard_params>();
        g.character = 0;
        g.id = s16(firstId - k);
        g.gun = 1;
        g.move_path.offset = -1;
        g.init_distance = 6.0f;
        const int rec = s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(r.x0 + 1.0f, 0, z)), ENT_ENEMYGENGUARD, g);
        s.SetSpline(rec, offsetof(EnemyGenGuard_params, move_path), path);
    }
    TaskExit(s, r);
}

// The range: the figures' templates (a standing man and an innocent, each
// with its hit spot) out of sight behind the back wall, three standing
// targets and an innocent in the first wave, two moving in the second.
void Targets(SetupFile& s, const RoomDesign& r)
{
    auto figure = [&](Colour c, u16 id, float x) {
        s.file.models.push_back(BoxModel(0.3f, 0.8f, 0.02f, TEXID_NONE, false, c));
        const int n = s.file.AddNode(-1, MakeNode(u16(s.file.models.size() - 1), VectorPos(x, 0, r.z1 + 4.0f),
                                                  VectorXYZ(0, 0, 0), id));
        s.file.models.push_back(BoxModel(0.05f, 0.05f, 0.05f, TEXID_NONE, false, Colour(200, 40, 40, 128)));
        s.file.AddNode(n, MakeNode(u16(s.file.models.size() - 1), VectorPos(0, -0.6f, 0), VectorXYZ(0, 0, 0), 20));
    };
    figure(Colour(200, 190, 170, 128), 0x200, -1.0f);
    figure(Colour(90, 160, 90, 128), 0x201, 1.0f);
    const float far = r.z1 - 1.5f;
    for (int k = 0; k < 3; k++) {
        auto t = ZeroRecord<TargetStatic_params>();
        t.wave = 1;
        t.delay = 2.0f;
        s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(float(k - 1) * 1.6f, 0.8f, far)), ENT_TARGETSTATIC, t);
    }
    const int path = s.AddSpline({VectorPos(r.x0 + 0.5f, 0, far - 1.0f), VectorPos(-0.8f, 0, far - 1.0f),
                                  VectorPos(0.8f, 0, far - 1.0f), VectorPos(r.x1 - 0.5f, 0, far - 1.0f)});
    for (int k = 0; k < 2; k++) {
        auto t = ZeroRecord<TargetMoving_params>();
        t.wave = 2;
        // A walking pace and a trot (tenths of the game's speed unit per
        // frame): the run across the range takes some seconds, not minutes.
        t.speed = 8.0f + 4.0f * float(k);
        t.delay = 1.0f;
        const int rec = s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(0, 0, far - 1.0f)), ENT_TARGETMOVING, t);
        s.SetSpline(rec, offsetof(TargetMoving_params, move_path), path);
    }
    auto inno = ZeroRecord<TargetInnocent_params>();
    inno.wave = 1;
    inno.proximity = 8.0f;
    inno.delay = 1.0f;
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(-0.8f, 0.8f, far)), ENT_TARGETINNOCENT, inno);
}

// The impound lot's cars stand in a row across the back of the yard, one
// place for each car the bonus races can have won (none won: the first
// only); the lot makes car i at the node 0x8001 + i of the set.
void CarPlaces(SetupFile& s, const RoomDesign& r, int main)
{
    constexpr int kPlaces = 4;
    for (int i = 0; i < kPlaces; i++) {
        const float x = (r.x1 - r.x0) * (float(i) + 0.5f) / float(kPlaces) + r.x0;
        s.file.AddNode(main, MakeNode(MDL_NOGEOM, VectorPos(x, 0, r.z1 - 2.0f), VectorXYZ(0, 0, 0), u16(0x8001 + i)));
    }
}

// A straight path of one segment from a to b.
std::vector<VectorPos> Line(VectorPos a, VectorPos b)
{
    const VectorDir d = b - a;
    return {a, VectorPos(a + d * (1.0f / 3.0f)), VectorPos(a + d * (2.0f / 3.0f)), b};
}

// A closed loop of four segments round c, r across, at c's height.
std::vector<VectorPos> Loop(VectorPos c, float r)
{
    constexpr float kHandle = 0.5522848f;   // a quarter circle's Bezier handle
    const float dx[4] = {1, 0, -1, 0}, dz[4] = {0, 1, 0, -1};
    std::vector<VectorPos> out;
    for (int k = 0; k <= 4; k++) {
        const int a = k % 4, b = (k + 1) % 4;
        const VectorPos p(c[0] + r * dx[a], c[1], c[2] + r * dz[a]);
        if (k > 0)
            out.push_back(VectorPos(p[0] - r * kHandle * dx[(a + 1) % 4], c[1], p[2] - r * kHandle * dz[(a + 1) % 4]));
        out.push_back(p);
        if (k < 4)
            out.push_back(VectorPos(p[0] + r * kHandle * dx[b], c[1], p[2] + r * kHandle * dz[b]));
    }
    return out;
}

// A node of its own box model (half-sizes h, its middle at the node),
// colliding as that box when `solid`; among the top nodes or under parent.
int BoxNode(SetupFile& s, int parent, VectorPos at, VectorXYZ h, Colour c, u16 extra, bool solid,
            VectorXYZ ang = VectorXYZ(0, 0, 0))
{
    s.file.models.push_back(BoxModel(h[0], h[1], h[2], TEXID_NONE, true, c));
    NODE n = MakeNode(u16(s.file.models.size() - 1), at, ang, extra);
    if (solid) {
        CollisionChain box;
        box.Box(MakeCollisionID(1, 0), Cuboid(VectorPos(-h[0], -h[1], -h[2]), VectorPos(h[0], h[1], h[2])));
        s.file.collisions.push_back(box);
        n.collision = u16(s.file.collisions.size() - 1);
    }
    return s.file.AddNode(parent, n);
}

// A spawn box of full sizes `size` about c, turned by `yaw`.
ExtentSpawn SpawnBox(VectorPos c, VectorXYZ size, float yaw = 0.0f)
{
    ExtentSpawn e;
    std::memset(static_cast<void*>(&e), 0, sizeof e);
    e.mat = Matrix(true);
    e.mat.x = Vector(cosf(yaw), 0.0f, -sinf(yaw), 0.0f);
    e.mat.z = Vector(sinf(yaw), 0.0f, cosf(yaw), 0.0f);
    e.mat.w = Vector(c[0], c[1], c[2], 1.0f);
    e.ext = Vector(size[0], size[1], size[2], 0.0f);
    return e;
}

// The front strip of a room, `depth` deep from its front wall, as a zone.
Extent FrontStrip(const RoomDesign& r, float depth)
{
    return Zone(VectorPos((r.x0 + r.x1) * 0.5f, 0.0f, r.z0 + depth * 0.5f),
                VectorXYZ((r.x1 - r.x0) * 0.5f, 1.0f, depth * 0.5f));
}

// A camera placeholder high in the front corner looking into the room.
int CameraNode(SetupFile& s, const RoomDesign& r)
{
    const int n = s.AddPlaceholder(-1, 0, VectorPos(r.x0 + 0.6f, -r.height * 0.85f, r.z0 + 0.4f),
                                   VectorXYZ(0.35f, 0.5f, 0));
    s.file.nodes[size_t(n)].ang[3] = 1.6f;
    return n;
}

// The sewer's first stretch is a tunnel seen along its length, a grate
// rolling down it behind the player from the way in; past the tunnel the
// foul water lies in its basin with steam rising beside it, drips echo,
// and mutants crouch by the water.
void Sewer(SetupFile& s, const RoomDesign& r, float tunnel)
{
    constexpr s16 kGrate = 4300;
    const float y = -r.height * 0.5f;
    const int path = s.AddSpline(Line(VectorPos(0, y, r.z0 + 0.1f), VectorPos(0, y, r.z0 + tunnel - 0.3f)));
    const int grate = BoxNode(s, -1, VectorPos(0, y, r.z0 + 0.1f), VectorXYZ((r.x1 - r.x0) * 0.5f - 0.05f, -y - 0.02f, 0.04f),
                              Colour(90, 95, 100, 128), 0, true);
    auto g = ZeroRecord<TunnelGrate_params>();
    g.id = kGrate;
    g.speed = 6.0f;
    g.damage = 10.0f;
    s.SetSpline(s.AddRecord(grate, ENT_TUNNELGRATE, g), offsetof(TunnelGrate_params, move_path), path);
    const int rail = s.AddSpline(Line(VectorPos(0, -r.height * 0.6f, r.z0 + 0.2f),
                                      VectorPos(0, -r.height * 0.6f, r.z0 + tunnel + 1.0f)));
    auto c = ZeroRecord<TunnelCamera_params>();
    c.distance_param = 4.0f;
    c.grate_id = kGrate;
    const int cam = s.AddPlaceholder(-1, 0, VectorPos(0, -r.height * 0.6f, r.z0 + 0.2f), VectorXYZ(0.3f, 0, 0));
    s.file.nodes[size_t(cam)].ang[3] = 1.6f;
    s.SetSpline(s.AddRecord(cam, ENT_TUNNELCAMERA, c), offsetof(TunnelCamera_params, cam_path), rail);

    // The basin's water: the pool of the room (Sewer()), 3 by 1.6 at z 3.5.
    const VectorPos basin(0.0f, -0.02f, 3.5f);
    auto w = ZeroRecord<WaterPatch_params>();
    w.boundRect = Zone(basin, VectorXYZ(1.5f, 0.5f, 0.8f));
    w.width = 3.0f;
    w.waveHeight = 0.02f;
    w.sizeX = 40;
    w.sizeY = 80;
    const int water = s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(0, 0, 0)), ENT_WATERPATCH, w);
    s.SetSpline(water, offsetof(WaterPatch_params, boundSpline),
                s.AddSpline(Line(VectorPos(0, basin[1], 2.7f), VectorPos(0, basin[1], 4.3f))));

    auto steam = ZeroRecord<SteamGenerator_params>();
    steam.rect = SpawnBox(VectorPos(2.0f, -0.02f, 2.2f), VectorXYZ(0.4f, 0.04f, 0.4f));
    steam.puffsPerSec = 6.0f;
    steam.size = 1.0f;
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(2.0f, 0, 2.2f)), ENT_STEAMGENERATOR, steam);

    SoundAmbient_params drip{0, 2.0f, 6.0f, 2.0f, 5.0f};
    s.AddRecord(s.AddPlaceholder(-1, 0, basin), ENT_SOUNDAMBIENT, drip);

    for (int k = 0; k < 2; k++) {
        auto m = ZeroRecord<EnemyGenMutant_params>();
        m.character = 0;
        m.id = s16(-170 - k);
        m.first_init = 1;
        m.init_wave = 1;
        m.trigger_init = Zone(VectorPos(0, 0, 1.5f), VectorXYZ((r.x1 - r.x0) * 0.5f, 1.0f, 3.0f));
        m.spawn_num = 1;
        m.path_arrive.offset = -1;
        m.path_move.offset = -1;
        m.diverge_m = 2.0f;
        m.init_strength = 30;
        m.badass = 0.5f;
        s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(k ? 1.9f : -1.9f, 0, 3.5f), VectorXYZ(0, kQuarterTurn * 2.0f, 0)),
                    ENT_ENEMYGENMUTANT, m);
    }
}

// The first gunman comes in through a door in the back wall, which swings
// open before him, a steam pipe by it blowing as he passes.
void BackDoor(SetupFile& s, const RoomDesign& r, s16 firstId)
{
    const float x = -1.2f, z = r.z1 - 0.08f;
    auto o = ZeroRecord<ObjectInfo_params>();
    o.type = OBJT_STATIC;
    o.id = u16(4000 - firstId);
    const int door = BoxNode(s, -1, VectorPos(x, -0.35f, z), VectorXYZ(0.2f, 0.35f, 0.02f), Colour(110, 80, 50, 128), 0, true);
    s.AddRecord(door, ENT_OBJECTINFO, o);
    auto b = ZeroRecord<SteamBurst_params>();
    b.rect = SpawnBox(VectorPos(x + 0.45f, -0.8f, z - 0.1f), VectorXYZ(0.1f, 0.1f, 0.1f));
    b.puffsPerSec = 20.0f;
    b.timer = 1.5f;
    b.speed = 2.0f;
    b.id = u16(4100 - firstId);
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(x + 0.45f, -0.8f, z - 0.1f), VectorXYZ(0, kQuarterTurn * 2.0f, 0)),
                ENT_STEAMBURST, b);
    // His way in, from the doorway to his place.
    for (size_t i = 0; i < s.records.size(); i++) {
        const SetupFile::Record& rec = s.records[i];
        s16 id;
        std::memcpy(&id, rec.bytes.data() + offsetof(EnemyGenShooter_params, id), sizeof id);
        if (rec.kind != ENT_ENEMYGENSHOOTER || id != firstId)
            continue;
        const Vector& spot = s.file.nodes[size_t(rec.node)].pos;
        s.SetSpline(int(i), offsetof(EnemyGenShooter_params, path_arrive),
                    s.AddSpline(Line(VectorPos(x, 0, z - 0.3f), VectorPos(spot[0], 0, spot[2]))));
    }
}

// Carcasses ride a hook rail across the back of the butcher's cold room,
// now and then one carrying a gunman.
void HookRail(SetupFile& s, const RoomDesign& r)
{
    auto m = ZeroRecord<SplineObjectMover_params>();
    m.speed = 1.5f;
    m.density = 3.0f;
    m.init_distrib = 1;
    m.trigger1 = Zone(VectorPos(0, 0, 0), VectorXYZ((r.x1 - r.x0) * 0.5f, 1.0f, (r.z1 - r.z0) * 0.5f));
    m.enemy_chance = 30.0f;
    m.enemy_stren = 30;
    m.enemy_badass = 0.5f;
    m.enemy_count = 1;
    m.enemy_char = 0;
    m.enemy_weapon = 0;
    m.enemy_vo_bank = 255;
    const int rec = s.AddRecord(s.AddPlaceholder(-1, 0), ENT_SPLINEOBJECTMOVER, m);
    s.SetSpline(rec, offsetof(SplineObjectMover_params, move_path),
                s.AddSpline(Line(VectorPos(r.x0 + 0.5f, 0, 2.3f), VectorPos(r.x1 - 0.9f, 0, 2.3f))));
}

// The cameras of the sneak-ins' front strips, `depth` deep: one glides
// along the front wall, one circles the strip, one frames the guards and
// the way out.  A camera tests its zones on its own timer, which lapses
// while the row's opening scene plays; the step a pace inside the door
// sets the player a pace further in and has every camera test its zones
// at once.
void StepIn(SetupFile& s, const RoomDesign& r)
{
    auto t = ZeroRecord<DaceModeTrigger_params>();
    t.trigger1 = Zone(VectorPos(0, 0, r.z0 + 1.2f), VectorXYZ(0.8f, 1.0f, 0.25f));
    t.teleport_to.index = -1;
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(0, 0, r.z0 + 1.75f)), ENT_DACEMODETRIGGER, t);
}

// A camera record that takes the view in the front strip, turning and
// tilting to follow the player and keeping 3 units from him.
template <class T>
T StripCamera(const RoomDesign& r, float depth)
{
    auto c = ZeroRecord<T>();
    c.trigger1 = FrontStrip(r, depth);
    c.yaw_range = 60.0f;
    c.pitch_range = 30.0f;
    c.tracking = 1;
    c.distance = 3.0f;
    return c;
}

void PathCameraStrip(SetupFile& s, const RoomDesign& r, float depth)
{
    auto c = StripCamera<PathCamera_params>(r, depth);
    c.mount_distance = 3.0f;
    const float y = -r.height * 0.85f;
    const int rec = s.AddRecord(CameraNode(s, r), ENT_PATHCAMERA, c);
    s.SetSpline(rec, offsetof(PathCamera_params, cam_path),
                s.AddSpline(Line(VectorPos(r.x0 + 0.5f, y, r.z0 + 0.3f), VectorPos(r.x1 - 0.5f, y, r.z0 + 0.3f))));
}

void OrbitCameraStrip(SetupFile& s, const RoomDesign& r, float depth)
{
    const auto c = StripCamera<OrbitingCamera_params>(r, depth);
    const int rec = s.AddRecord(CameraNode(s, r), ENT_ORBITINGCAMERA, c);
    s.SetSpline(rec, offsetof(OrbitingCamera_params, cam_orbit),
                s.AddSpline(Loop(VectorPos(0, -r.height * 0.85f, r.z0 + depth * 0.5f), depth * 0.5f)));
}

void GroupCameraStrip(SetupFile& s, const RoomDesign& r, float depth)
{
    // The guards' generators and the way out are the nodes framed.
    std::vector<int> framed;
    for (size_t i = 0; i < s.records.size(); i++)
        if (s.records[i].kind == ENT_ENEMYGENGUARD || s.records[i].kind == ENT_DACEMODETRIGGER)
            framed.push_back(s.records[i].node);
    auto c = StripCamera<GroupCamera_params>(r, depth);
    ObjectRef* links[4] = {&c.link1, &c.link2, &c.link3, &c.link4};
    for (size_t k = 0; k < 4; k++)
        links[k]->index = k < framed.size() ? s32(framed[k]) : -1;
    s.AddRecord(CameraNode(s, r), ENT_GROUPCAMERA, c);
}

// The gun course's mannequins: their figure (a stand, a body that folds
// and an arm with its muzzle) and the ball they throw, out of sight behind
// the back wall, and two that glide in from the side walls while the
// player is at the firing line.
void Mannequins(SetupFile& s, const RoomDesign& r)
{
    const int figure = s.file.AddNode(-1, MakeNode(MDL_NOGEOM, VectorPos(2.0f, 0, r.z1 + 4.0f), VectorXYZ(0, 0, 0), 6000));
    const int body = BoxNode(s, figure, VectorPos(0, -0.4f, 0), VectorXYZ(0.15f, 0.3f, 0.06f), Colour(220, 210, 190, 128), 1, true);
    const int arm = BoxNode(s, body, VectorPos(0.2f, -0.2f, 0), VectorXYZ(0.03f, 0.03f, 0.15f), Colour(220, 210, 190, 128), 2, false);
    s.file.AddNode(arm, MakeNode(MDL_NOGEOM, VectorPos(0, 0, 0.16f), VectorXYZ(0, 0, 0), 0x8000));
    BoxNode(s, -1, VectorPos(2.5f, -0.4f, r.z1 + 4.0f), VectorXYZ(0.03f, 0.03f, 0.03f), Colour(200, 230, 60, 128), 6003, false);
    for (int k = 0; k < 2; k++) {
        const float side = k ? 1.0f : -1.0f, z = r.z1 - 3.0f;
        auto m = ZeroRecord<MannequinShooter_params>();
        m.id = s16(-175 - k);
        m.trigger_init = Zone(VectorPos(0, 0, r.z0 + 2.4f), VectorXYZ((r.x1 - r.x0) * 0.5f, 1.0f, 1.2f));
        m.fire = 1;
        m.badass = 0.5f;
        m.init_strength = 1;
        const int rec = s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(side * 1.8f, 0, z), VectorXYZ(0, kQuarterTurn * 2.0f, 0)),
                                    ENT_MANNEQUINSHOOTER, m);
        s.SetSpline(rec, offsetof(MannequinShooter_params, path_arrive),
                    s.AddSpline(Line(VectorPos(side * (r.x1 - 0.2f), 0, z), VectorPos(side * 1.8f, 0, z))));
    }
}

// Torches on stands either side of the altar.
void Torches(SetupFile& s, const RoomDesign& r)
{
    for (float x : {-1.4f, 1.4f}) {
        const VectorPos at(x, 0, r.z1 - 0.9f);
        BoxNode(s, -1, VectorPos(x, -0.3f, at[2]), VectorXYZ(0.03f, 0.3f, 0.03f), Colour(60, 50, 40, 128), 0x1000, false);
        s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(x, -0.64f, at[2])), ENT_TORCH, Torch_params{0.6f, 1, {}});
    }
}

// A street corner in the yard: a street light on its pole, a freeway
// sign, a squad car and a bin by the kerb, a passer-by, a flickering
// sign's sparks and the spot where a scene may start.
void StreetCorner(SetupFile& s, const RoomDesign& r)
{
    const float x = r.x1 - 0.8f, z = r.z0 + 1.5f;
    auto l = ZeroRecord<ExteriorSpecific_params>();
    l.exttype = 2;
    l.color[0] = 128;
    l.color[1] = 160;
    l.color[2] = 220;
    l.color[3] = 255;
    l.radius = 4.0f;
    l.size = 1.0f;
    l.strength = 0x5555;
    const int pole = BoxNode(s, -1, VectorPos(x, -0.7f, z), VectorXYZ(0.03f, 0.7f, 0.03f), Colour(70, 70, 75, 128), 0, true);
    BoxNode(s, pole, VectorPos(-0.15f, -0.7f, 0), VectorXYZ(0.12f, 0.03f, 0.06f), Colour(250, 240, 200, 128), u16(LAMP_RED_ID), false);
    s.AddRecord(pole, ENT_EXTERIORSPECIFIC, l);
    s.AddRecord(BoxNode(s, -1, VectorPos(x, -1.0f, z + 2.0f), VectorXYZ(0.5f, 0.15f, 0.02f), Colour(40, 110, 60, 128), 0, false),
                ENT_FREEWAYSIGN, FreewaySign_params{0});
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(r.x0 + 1.5f, 0, z), VectorXYZ(0, kQuarterTurn, 0)), ENT_EXTCROWNVIC,
                ExtCrownVic_params{1});
    s.AddRecord(BoxNode(s, -1, VectorPos(x - 0.4f, -0.15f, z + 0.6f), VectorXYZ(0.12f, 0.15f, 0.12f), Colour(60, 90, 60, 128), 0, true),
                ENT_EXTERIORINTERACTIVEOBJECT, ExteriorInteractiveObject_params{40});
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(x - 1.0f, 0, z + 1.0f)), ENT_GENERICCHARACTER, GenericCharacter_params{0, {}, -180});
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(x - 0.15f, -1.4f, z)), ENT_GENERICPARTICLE, GenericParticle_params{{0}});
    auto c = ZeroRecord<CinemaTrigger_params>();
    c.Trigger = Volume(VectorPos(0, 0, 0), 1.0f);
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(0, 0, 0)), ENT_CINEMATRIGGER, c);
}

// The yard's gun on the ground by the way in, the outline the radar draws
// round it and the line cars keep off round the crates.
void GunYard(SetupFile& s, const RoomDesign& r)
{
    s.AddRecord(s.AddPlaceholder(-1, 0, VectorPos(r.x0 + 1.2f, -0.03f, r.z0 + 1.2f)), ENT_GUNPICKUP, GunPickup_params{20, {}, 0});
    const float y = 0.0f;
    const int outline = s.AddSpline({VectorPos(r.x0, y, r.z0), VectorPos(r.x0, y, r.z1), VectorPos(r.x0, y, r.z1),
                                     VectorPos(r.x1, y, r.z1), VectorPos(r.x1, y, r.z1), VectorPos(r.x1, y, r.z0),
                                     VectorPos(r.x1, y, r.z0), VectorPos(r.x0, y, r.z0), VectorPos(r.x0, y, r.z0),
                                     VectorPos(r.x0, y, r.z0)});
    const int radar = s.AddRecord(s.AddPlaceholder(-1, 0), ENT_RADARSPLINE, RadarSpline_params{{-1}});
    s.SetSpline(radar, 0, outline);
    const float z = (r.z0 + r.z1) * 0.5f + 0.6f;
    const int keepOff = s.AddRecord(s.AddPlaceholder(-1, 0), ENT_AVOIDOBSTACLE, AvoidObstacle_params{{-1}, {-1}});
    s.SetSpline(keepOff, 0, s.AddSpline(Line(VectorPos(-1.6f, 0, z - 0.4f), VectorPos(1.6f, 0, z - 0.4f))));
}

// A light aircraft parked at the back of the hangar, its way out to the
// door ahead of it.
void ParkedPlane(SetupFile& s, const RoomDesign& r)
{
    const VectorPos at(0.0f, -0.15f, r.z1 - 1.3f);
    const int plane = BoxNode(s, -1, at, VectorXYZ(0.15f, 0.12f, 0.9f), Colour(220, 220, 230, 128), 0, false,
                              VectorXYZ(0, kQuarterTurn * 2.0f, 0));
    BoxNode(s, plane, VectorPos(0, -0.05f, 0.1f), VectorXYZ(1.2f, 0.02f, 0.2f), Colour(200, 60, 50, 128), 0, false);
    auto a = ZeroRecord<Airplane_params>();
    a.id = 4310;
    a.planetype = 1;
    a.init_strength = 100;
    a.taxispeed = 4.0f;
    a.takeoffspeed = 30.0f;
    a.accel = 1.0f;
    const int rec = s.AddRecord(plane, ENT_AIRPLANE, a);
    s.SetSpline(rec, offsetof(Airplane_params, move_path),
                s.AddSpline(Line(VectorPos(at[0], at[1], at[2]), VectorPos(0, at[1], r.z0 + 0.5f))));
}

// What a set holds beyond its game, by its path; how deep a strip at the
// front of the room it keeps for a camera of its own (0 for none).
float Extras(SetupFile& s, const StorySet& set, s16 firstId)
{
    const std::string path = set.path;
    const RoomDesign& r = set.design;
    constexpr float kStrip = 2.0f;
    if (path == "Int/LEVEL6/SEWERG8.P2B") {
        Sewer(s, r, 4.0f);
        return 4.0f;
    }
    if (path == "Int/LEVEL6/HALLG2.P2B") {
        PathCameraStrip(s, r, kStrip);
        StepIn(s, r);
        return kStrip;
    }
    if (path == "Int/LEVEL7/MVSTRGG6.P2B") {
        OrbitCameraStrip(s, r, kStrip);
        StepIn(s, r);
        return kStrip;
    }
    if (path == "Int/LEVEL2/WARE_STL.P2B") {
        GroupCameraStrip(s, r, kStrip);
        StepIn(s, r);
        return kStrip;
    }
    if (path == "Int/LEVEL7/MVSTRGG7.P2B")
        BackDoor(s, r, firstId);
    else if (path == "Int/LEVEL5/BSHOPBG6.P2B")
        HookRail(s, r);
    else if (path == "Int/BONUS/GUNCRSE3.P2B") {
        // The course ends at the door past the mannequins.
        Mannequins(s, r);
        TaskExit(s, r);
    }
    else if (path == "Int/LEVEL6/ALTARG5.P2B")
        Torches(s, r);
    else if (path == "Int/LEVEL7/MG8.P2B")
        StreetCorner(s, r);
    else if (path == "Int/LEVEL10/G4.P2B")
        GunYard(s, r);
    else if (path == "Int/LEVEL8/AHANGG5.P2B")
        ParkedPlane(s, r);
    return 0.0f;
}

// A path of straight runs through the way points, as the Bezier segments a
// spline holds (the inner control points at a third and two thirds of each
// run, so the speed along a run is even).
std::vector<VectorPos> Runs(const std::vector<VectorPos>& way)
{
    std::vector<VectorPos> pts = {way[0]};
    for (size_t i = 1; i < way.size(); i++) {
        const VectorPos a = way[i - 1], b = way[i];
        for (float t : {1.0f / 3.0f, 2.0f / 3.0f})
            pts.push_back(VectorPos(a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t));
        pts.push_back(b);
    }
    return pts;
}

// An aircraft's boxes, nose along +z, its origin on the ground under it;
// it stands turned by `heading` about the vertical.
struct AircraftBox
{
    VectorXYZ half;
    VectorPos at;
    Colour c;
};

int AddAircraft(SetupFile& s, VectorPos at, float heading, const std::vector<AircraftBox>& parts)
{
    const int node = s.file.AddNode(-1, MakeNode(MDL_NOGEOM, at, VectorXYZ(0, heading, 0)));
    for (const AircraftBox& p : parts) {
        s.file.models.push_back(BoxModel(p.half[0], p.half[1], p.half[2], TEXID_NONE, false, p.c));
        s.file.AddNode(node, MakeNode(u16(s.file.models.size() - 1), p.at));
    }
    return node;
}

// The jet (-167) taxis east across the south end and round onto the
// runway's head, where the volume it enters starts its roll
// and sends the nearer light aircraft (-169) rolling after it; half way up
// it sends the other (-168).  Its path leaves the ground two thirds of the
// way up and climbs out over the north wall.  The light aircraft wait on
// their own runs north up the west side.
void Aircraft(SetupFile& s, const RoomDesign& r)
{
    const float south = r.z1 - 3.0f, runway = r.x1 - 4.0f, head = south - 5.0f;
    const Colour white(225, 228, 232, 128), grey(120, 125, 135, 128), blue(40, 60, 150, 128),
        dark(30, 30, 35, 128);
    const std::vector<AircraftBox> jet = {
        {VectorXYZ(0.22f, 0.22f, 1.7f), VectorPos(0, -0.5f, 0), white},          // fuselage
        {VectorXYZ(0.16f, 0.12f, 0.2f), VectorPos(0, -0.62f, 1.5f), dark},       // cockpit glazing
        {VectorXYZ(1.7f, 0.03f, 0.35f), VectorPos(0, -0.4f, 0.1f), grey},        // wings
        {VectorXYZ(0.12f, 0.12f, 0.35f), VectorPos(0.36f, -0.72f, -1.0f), grey}, // engines
        {VectorXYZ(0.12f, 0.12f, 0.35f), VectorPos(-0.36f, -0.72f, -1.0f), grey},
        {VectorXYZ(0.03f, 0.35f, 0.28f), VectorPos(0, -1.0f, -1.45f), blue},     // fin
        {VectorXYZ(0.6f, 0.03f, 0.18f), VectorPos(0, -1.3f, -1.55f), white},     // tailplane
        {VectorXYZ(0.03f, 0.14f, 0.03f), VectorPos(0, -0.14f, 1.2f), dark},      // wheels
        {VectorXYZ(0.03f, 0.14f, 0.03f), VectorPos(0.5f, -0.14f, 0), dark},
        {VectorXYZ(0.03f, 0.14f, 0.03f), VectorPos(-0.5f, -0.14f, 0), dark},
    };
    const VectorPos start(r.x0 + 10.0f, 0, south);
    const int path = s.AddSpline(Runs({start, VectorPos(runway - 2.0f, 0, south), VectorPos(runway, 0, south - 2.0f),
                                       VectorPos(runway, 0, r.z0 + 16.0f), VectorPos(runway, -2.0f, r.z0 + 6.0f),
                                       VectorPos(runway, -8.0f, r.z0 - 8.0f), VectorPos(runway, -20.0f, r.z0 - 40.0f)}));
    auto a = ZeroRecord<Airplane_params>();
    a.id = -167;
    a.move_path.offset = -1;
    a.planetype = 0;
    a.init_strength = 30;
    a.trigger2 = Zone(VectorPos(runway, 0, head), VectorXYZ(1.5f, 1.5f, 1.5f));
    a.trigger3 = Zone(VectorPos(runway, 0, (head + r.z0) * 0.5f), VectorXYZ(1.5f, 1.5f, 1.5f));
    a.taxispeed = 15.0f;
    a.takeoffspeed = 110.0f;
    a.accel = 50.0f;
    const int rec = s.AddRecord(AddAircraft(s, start, 0.0f, jet), ENT_AIRPLANE, a);
    s.SetSpline(rec, offsetof(Airplane_params, move_path), path);

    const Colour red(190, 40, 35, 128), yellow(230, 200, 60, 128);
    const struct
    {
        s16 id;
        float x, z;
        Colour body;
    } light[] = {{-169, -3.0f, 12.0f, red}, {-168, r.x0 + 1.5f, 14.0f, yellow}};
    for (const auto& l : light) {
        const std::vector<AircraftBox> plane = {
            {VectorXYZ(0.12f, 0.12f, 0.7f), VectorPos(0, -0.3f, 0), l.body},
            {VectorXYZ(1.0f, 0.02f, 0.18f), VectorPos(0, -0.4f, 0.15f), white},
            {VectorXYZ(0.02f, 0.2f, 0.14f), VectorPos(0, -0.55f, -0.6f), l.body},
            {VectorXYZ(0.35f, 0.02f, 0.1f), VectorPos(0, -0.35f, -0.6f), white},
            {VectorXYZ(0.15f, 0.15f, 0.02f), VectorPos(0, -0.3f, 0.72f), dark},   // propeller
        };
        const VectorPos at(l.x, 0, l.z);
        const int run = s.AddSpline(Runs({at, VectorPos(l.x, 0, r.z0 + 12.0f), VectorPos(l.x, -3.0f, r.z0 + 2.0f),
                                          VectorPos(l.x, -10.0f, r.z0 - 18.0f), VectorPos(l.x, -20.0f, r.z0 - 48.0f)}));
        auto f = ZeroRecord<Airplane_params>();
        f.id = l.id;
        f.move_path.offset = -1;
        f.planetype = 1;
        f.init_strength = 20;
        f.takeoffspeed = 90.0f;
        f.accel = 40.0f;
        const int frec = s.AddRecord(AddAircraft(s, at, kPi, plane), ENT_AIRPLANE, f);
        s.SetSpline(frec, offsetof(Airplane_params, move_path), run);
    }
}

SetupFile Build(const StorySet& set, s16 firstId)
{
    SetupFile s;
    const RoomDesign& r = set.design;
    const BuiltRoom built = AddRoom(s, r);
    switch (set.game) {
    case Game::kScene: break;
    case Game::kFight: Fighters(s, r, set.foes, set.style, firstId); break;
    case Game::kShootout: Shooters(s, r, set.foes, firstId); break;
    case Game::kSneak: Guards(s, r, set.foes, firstId); break;
    case Game::kRange: Targets(s, r); break;
    case Game::kImpound: CarPlaces(s, r, built.main); break;
    case Game::kAirfield: Aircraft(s, r); break;
    }
    // The player's camera has the floor but for a strip at the front that
    // a camera of the set's own takes.
    const float front = r.z0 + Extras(s, set, firstId);
    PlayerCameraZone(s, VectorPos((r.x0 + r.x1) * 0.5f, 0.0f, (front + r.z1) * 0.5f),
                     VectorXYZ((r.x1 - r.x0) * 0.5f, 1.0f, (r.z1 - front) * 0.5f));
    return s;
}

// A closed loop from `start`, which lies on the edge into the first corner,
// round the corners and back: straight runs, each corner rounded off by a
// quarter circle of radius `round` (as a Bezier segment).
std::vector<VectorPos> Loop(VectorPos start, const std::vector<VectorPos>& corners, float round)
{
    constexpr float kArc = 0.5523f;   // a quarter circle's control points, as a fraction of its radius
    auto lerp = [](VectorPos a, VectorPos b, float t) {
        return VectorPos(a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t);
    };
    auto toward = [](VectorPos from, VectorPos to, float d) {
        VectorPos v(to[0] - from[0], to[1] - from[1], to[2] - from[2]);
        const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        return VectorPos(from[0] + v[0] * d / len, from[1] + v[1] * d / len, from[2] + v[2] * d / len);
    };
    std::vector<VectorPos> pts = {start};
    auto straight = [&](VectorPos b) {
        const VectorPos a = pts.back();
        pts.push_back(lerp(a, b, 1.0f / 3.0f));
        pts.push_back(lerp(a, b, 2.0f / 3.0f));
        pts.push_back(b);
    };
    for (size_t i = 0; i < corners.size(); i++) {
        const VectorPos c = corners[i], prev = i == 0 ? start : corners[i - 1],
                        next = i + 1 < corners.size() ? corners[i + 1] : start;
        const VectorPos in = toward(c, prev, round), out = toward(c, next, round);
        straight(in);
        pts.push_back(lerp(in, c, kArc));
        pts.push_back(lerp(out, c, kArc));
        pts.push_back(out);
    }
    straight(start);
    return pts;
}

// Episode 9's street race, laid on the city's streets about the spot where
// both cars start (Elm Street's eastbound lane half way between Mill and
// Queen Avenues, facing east): the loop the race counts its laps on, and
// the rival drives, runs clockwise round the block south of Elm Street in
// its inner lanes, east along Elm, south down Queen, west along Harbour,
// north up Mill and east again to the start line, where a banner spans the
// street.  Its frame is the city's, shifted to the start.
SetupFile StreetRace()
{
    SetupFile s;
    constexpr float kEast = 29.0f, kSouth = 58.0f, kWest = -29.0f;   // the loop's corners from the start
    s.file.models = {Bounds(90.0f),
                     BoxModel(0.08f, 1.6f, 0.08f, TEXID_NONE, false, Colour(150, 150, 155, 128)),
                     BoxModel(0.05f, 0.3f, 8.0f, TEXID_NONE, false, Colour(235, 235, 235, 128)),
                     BoxModel(0.06f, 0.15f, 0.5f, TEXID_NONE, false, Colour(20, 20, 20, 128))};
    const int main = s.file.AddNode(-1, MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 0x8001));
    // The banner over the start line, on posts at the street's edges (its
    // middle 3 north of the lane).
    for (float z : {-11.0f, 5.0f})
        s.file.AddNode(main, MakeNode(1, VectorPos(0, -1.6f, z)));
    s.file.AddNode(main, MakeNode(2, VectorPos(0, -3.0f, -3.0f)));
    for (int k = 0; k < 8; k++)
        s.file.AddNode(main, MakeNode(3, VectorPos(0, k % 2 ? -3.15f : -2.85f, -10.5f + 2.0f * float(k) + 0.5f)));
    const int loop = s.AddSpline(Loop(VectorPos(0, 0, 0),
                                      {VectorPos(kEast, 0, 0), VectorPos(kEast, 0, kSouth), VectorPos(kWest, 0, kSouth),
                                       VectorPos(kWest, 0, 0)},
                                      6.0f));
    const int course = s.AddRecord(s.AddPlaceholder(-1, ENT_MISSIONSPLINE), ENT_MISSIONSPLINE, MissionSpline_params{{-1}});
    s.SetSpline(course, 0, loop);
    return s;
}

}  // namespace

std::vector<NamedSetup> StoryCourses()
{
    return {{"Int/LEVEL9/MG9.P2B", StreetRace()}};
}

std::vector<NamedRoom> StoryRooms()
{
    std::vector<NamedRoom> out;
    for (const StorySet& set : Sets())
        out.push_back({set.path, set.design});
    return out;
}

std::vector<NamedSetup> StorySetups()
{
    // The foes' ids run down from -140, clear of the cast's -1 to -6 and
    // of the demo's rooms.
    std::vector<NamedSetup> out;
    for (const StorySet& set : Sets())
        out.push_back({set.path, Build(set, -140)});
    return out;
}

}  // namespace tools
