// Runs of the demo one after another, and what each run does: played to its
// end (won or lost), or left with SELECT at one of its stages.  The pad pilot
// (pad_pilot.h) plays any such plan by watching where each run is; the runs
// whose presses fall at fixed fields (those left on the continue prompt, in
// the drive and on the closing screens) can also be written as a pad script
// from the lengths below (fields of the sample disc), with margins: the
// continue prompt waits 20 seconds for its Cross, the drive 3600 ticks for
// its SELECT, and the closing screens are each skipped by a Cross of their
// own.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace demo_test {

enum class Loop {
    kWin,                // the drive to the bar, its scene and fight to their end
    kLoss,               // the drive's clock runs out, the spa's scene and shoot-out to their end
    kSelectAtPrompt,     // SELECT on the drive's continue prompt
    kSelectInDrive,      // Cross on the prompt, SELECT while the player stands at the car
    kSelectInBarScene,   // the drive won, SELECT in the bar's scene
    kSelectInFight,      // the drive won, SELECT in the bar fight
    kSelectInSpaScene,   // the drive's clock runs out, SELECT in the spa's scene
    kSelectInShootOut,   // the drive's clock runs out, SELECT in the shoot-out
    kSelectOnClosing,    // SELECT in the drive, then again on the closing screens
};

const char* LoopName(Loop loop);
// The short name a plan is written with ("win", "fight", "closing").
const char* LoopWord(Loop loop);

// A plan written as short names with commas ("win,prompt,drive"); nothing
// when a name is not known.
std::optional<std::vector<Loop>> ParsePlan(const std::string& text);
std::string PlanText(const std::vector<Loop>& loops);

// Whether the run drives to the bar (the winning branch).
bool Wins(Loop loop);
// Whether the run leaves a cinematic scene with SELECT (exit value 2; SELECT
// elsewhere gives 1, a run played to its end -1).
bool LeavesAScene(Loop loop);
// The records the run enters, "2,5 2,6".
std::string Records(Loop loop);

// A field at which a still shows, by its name ("DEMOSCR1", "DEMOEND3").
struct StillMark {
    int field;
    const char* still;
};

// The pad script for `loops` one after another from the program's start,
// for the kinds whose presses fall at fixed fields (SELECT at the prompt, in
// the drive and on the closing screens; any other kind is an error); Cross
// skips the closing screens of every run but one left on them with SELECT.
// `marks`, when given, gets the fields just before each Cross on a continue
// prompt or a closing screen.
std::string LoopScript(const std::vector<Loop>& loops, std::vector<StillMark>* marks = nullptr);

// The mix of `count` loops that the long test plays: every kind, whole wins
// and losses among them, the rest mostly the short runs left early; a fixed
// sequence, so that the test plays the same runs every time.
std::vector<Loop> LoopMix(int count);

}  // namespace demo_test
