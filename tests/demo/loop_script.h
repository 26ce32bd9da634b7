// Pad scripts for runs of the demo one after another.  The demo's runs take
// their time from the game (loading, the clock of the drive, a fight), so a
// script for many runs places each run's presses where that run is, from the
// lengths below (fields of the sample disc), with margins: the continue
// prompt waits 20 seconds for its Cross, the drive 3600 ticks for its SELECT,
// and the closing screens are each skipped by a Cross of their own.
#pragma once

#include <string>
#include <vector>

namespace demo_test {

enum class Loop {
    kSelectAtPrompt,     // SELECT on the drive's continue prompt
    kSelectInDrive,      // Cross on the prompt, SELECT while the player stands at the car
    kSelectInSpa,        // the drive's clock runs out; SELECT in the spa's scene
    kSelectOnClosing,    // SELECT in the drive, then again on the first closing screen
};

const char* LoopName(Loop loop);

// A field at which a still shows, by its name ("DEMOSCR1", "DEMOEND3").
struct StillMark {
    int field;
    const char* still;
};

// The pad script for `loops` one after another from the program's start;
// Cross skips the closing screens of every run but one left on them with
// SELECT.  `marks`, when given, gets
// the fields just before each Cross on a continue prompt or a closing screen.
std::string LoopScript(const std::vector<Loop>& loops, std::vector<StillMark>* marks = nullptr);

// The mix of `count` loops that the long test plays: every kind in turn,
// from a fixed seed.
std::vector<Loop> LoopMix(int count);

}  // namespace demo_test
