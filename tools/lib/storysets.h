// The sets of the story's episodes and of the 24/7 rooms: each interior or
// yard a step loads, built by the room generator (rooms.h) and holding what the
// step's game places and looks for.
//
// Every set is a furnished room with its own lights, its entry point and a
// zone over its floor that gives the view to the player's camera.  Beyond
// that a set carries what its game plays with:
//   a fist fight    fighter generators (the step's first cast member, two
//                   at a time) and the fight's combat record
//   a shoot-out     shooter generators in two waves, the trigger of the
//                   second, a cover wall in front of a row of crates and
//                   cover points behind them for the gunmen
//   a sneak-in      guards walking their rounds and the doorway out that
//                   ends the task
//   the range       the target figures' templates, standing, moving and
//                   innocent targets down the far end
//   a scene or a    the room alone: the scene's actors, or the boss the
//   boss fight      step makes, fill it
// and some sets more of their own:
//   the sewer       a tunnel camera over its first stretch and a grate
//                   rolling down it, the basin's water, steam, dripping,
//                   mutants by the water
//   sneak-ins       a path, an orbiting or a group camera over the strip
//                   inside the door (the hall, the movie studio, the
//                   warehouse)
//   the studio's    a back door the first gunman opens and a steam pipe
//   shoot-out       that blows as he comes through
//   the butcher's   carcasses riding a hook rail, some carrying a gunman
//   back room
//   the gun course  mannequins that glide in and throw balls back, with
//                   their figure and ball
//   the altar       torches on stands
//   a yard          a street corner: a street light, a freeway sign, a
//                   squad car, a bin, a passer-by, sparks, a scene's spot
//   another yard    a gun to pick up, the radar's outline of the yard and a
//                   line cars keep off
//   the hangar      a light aircraft parked at the back
#pragma once

#include <vector>

#include "tools/lib/rooms.h"
#include "tools/lib/setupfile.h"

namespace tools {

// Each set's path under "KORVALIS\DemoData\" and its room.
std::vector<NamedRoom> StoryRooms();

// Each set's path and its whole set-up, in StoryRooms' order.
std::vector<NamedSetup> StorySetups();

// The sets laid on the city's streets rather than built as rooms: episode
// 9's street race.
std::vector<NamedSetup> StoryCourses();

}  // namespace tools
