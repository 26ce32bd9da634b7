// The 24/7 side activities' files on the sample disc:
//
//   DemoData/Missions/MISION99.EXM   the activities' placeholders: -1 the
//                                    rooms' spot (out of town, a sixteenth
//                                    over the bare ground), -900 the
//                                    lap race's start (Elm Street's eastbound
//                                    lane, facing east), -401 .. -404 the
//                                    bonus street race's start, two spots on
//                                    the way and its finish along the same
//                                    street
//   DemoData/Int/DRV24/COURSE1.P2B   the first lap-race course (a set-up
//                                    file, placed at -900 without turning)
//
// The course, in its own axes (x east, z south, y down; the origin is where
// the player's car stands): a closed loop whose end, 12 ahead of the car, is
// the start line, crossed eastward; the start gate on the line (its barrier
// arm sub-object 1, three lamps that the gate's animation frames 2, 4 and 6
// light one more each), whose trigger holds the car's spot; two pop-up
// pedestrians that cross the loop's far side; two barrels and a barrier that
// break (each with its explosion record); one drone car with its path.
#pragma once

#include <vector>

#include "tools/lib/city.h"
#include "tools/lib/setupfile.h"

namespace tools {

// Where the course's objects stand, in its own axes.
extern const VectorPos kCourseStartLine;   // the loop's end: the start line
extern const VectorPos kCourseGate;
extern const float kCourseGateDelay;       // seconds from the trigger to the start signal

// A model with no materials: only its bounds (a sphere of radius r about
// its origin) matter; the main object of a set laid on the city's streets.
P2BModel Bounds(float r);

SetupFile CourseSetup();
std::vector<MissionPlaceholder> SampleMission99();

}  // namespace tools
