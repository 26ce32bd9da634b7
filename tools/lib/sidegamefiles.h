// Models of the side games for the sample disc (loaded off the demo's path,
// by the modes that use them):
//
//   Int/DOJO24/DOJO1.P2B   the dojo: node 512 a board dummy, 513 a wooden
//                          dummy, placement nodes 0x8001..0x8005 (roots, at
//                          their places on the floor), node 6000 a
//                          mannequin whose sub-objects 1 (torso), 2 (gun arm,
//                          with the muzzle, a special node 0x8000) and 20 (aim point) are its
//                          children, node 6003 the tennis ball
//   Char/Demon.P2B         the demon: node 0 a dark body with the glow
//                          sprites 50 and 51 among its children
//   Misc/FIREBALL.P2B      node 0: the dragon's fireball, with its collision box
//   Char/DRAGON.P2B        the dragon: node 0 its body, the head (sub-object
//                          85) with the jaw (86), the nostrils (special nodes
//                          0x8064, 0x8065) and the mouth (0x8066)
//   Char/MUTANT.P2B        the mutant: the humanoid figure its animation
//                          group is made for, in its own colours, so it has
//                          the torso (sub-object 20) it sights the player
//                          from and the grab point on the ground (31) its
//                          leaps take off from and land on
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/lib/humanoid.h"
#include "tools/lib/p2b.h"
#include "tools/lib/motion.h"
#include "tools/lib/setupfile.h"

namespace tools {

// Placement-node positions of the dojo, by node id - 0x8001.
extern const VectorPos kDojoSpots[5];

P2BFile DojoInteriorFile();
P2BFile DemonFile();
P2BFile FireballFile();
P2BFile DragonFile();
HumanoidLook MutantLook();
P2BFile MutantFile();
constexpr char kMutantFilePath[] = "DemoData/Char/MUTANT.P2B";

// The files by their path under the archive root ("DemoData/..."); the
// mutant's body is not among them (it lies at the archive's end).
std::vector<std::pair<std::string, P2BFile>> SideGameFiles();

// The firing range, Int/FRANGE24/FRANGE1.P2B (a set-up file): its room,
// the target templates (node id 0x200 the figure, 0x201 the no-shoot
// figure, each with its aim point 20), three pop-up targets in wave 1, two
// moving targets in wave 2 along one path, and a no-shoot figure beside the
// first pop-up.
SetupFile FiringRangeSetup();

// The mutant's animation group, Char/MUTANT.ANI and its bank Vags/MUTANT.SND:
// 13 clips by the group's animation numbers (0 and 1 the swipes and 10 the
// jump attack's strike, each with the strike events 29/30; 8 the take-off,
// 9 the flight, 11 the death).  The take-off's root moves forward
// kMutantLeapSpeed a frame.
constexpr float kMutantLeapSpeed = 0.02f;
bool BuildMutantGroup(AnimGroupFiles& out, std::string& error);
std::vector<NamedSetup> SideGameSetups();

}  // namespace tools
