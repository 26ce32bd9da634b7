// Cinema file (".CIN") writer and the sample disc's scenes.
//
// A scene is its start locations (the objects it animates, by id, where
// they start) and its blocks: animation groups in which entry i animates
// start location i, one after another in time, the last holding every start
// location's final pose.  WriteCinema lays the file out as the game's
// cinema controller reads it: the header, the block table, the start
// locations, then each block written by the animation writer, every part
// starting on a 16-byte boundary with zero padding: the same scene always
// gives the same bytes.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/aniwrite.h"

#include "ZevEngine2/PS2/Vector.h"

namespace tools {

struct CineStart
{
    int id;              // the object's id; 5000 the scene camera
    VectorPos pos;
    Quaternion rot;
};

struct CineScene
{
    std::vector<CineStart> starts;
    std::vector<AniGroup> blocks;   // at least one block and the final poses
};

// False with a message for a scene of fewer than two blocks, a block with
// fewer entries than start locations, or an animation the writer refuses.
bool WriteCinema(const CineScene& scene, std::vector<u8>& out, std::string& error);

// A scene of the sample disc with its sound, named by the path under
// "KORVALIS\DemoData\Cine\" without the extension.
struct NamedScene
{
    std::string path;        // "M2/M2_S4"
    CineScene scene;
    std::vector<int16_t> sound;   // 44,100 Hz
};

// M2/M2_S4: the scene camera in three shots (one block each), the player
// (-1) walking up to a cast member (-2) who turns to him; M3/M3_S7: the
// camera and the player, one block.
std::vector<NamedScene> SampleScenes();

}  // namespace tools
