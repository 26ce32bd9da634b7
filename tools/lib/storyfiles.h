// The files the story's script rows ask for by the game's own tables, made
// for the sample disc: every music piece of the music table, every line of
// the player's voice table, every character model of the model table in
// full detail with every line of its voice bank, every scene of the scene
// table with its sound, and the props and side-game rooms the steps and
// modes load by name.  Each list is read from the game's table itself, so
// a row added there is a file made here.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/cinefile.h"
#include "tools/lib/pak.h"
#include "tools/lib/p2b.h"

namespace tools {

// The disc's path of a file the game names: "KORVALIS\DemoData\Vags\X.VB"
// is "DemoData/Vags/X.VB".
std::string DiscPathOf(const char* gamePath);

// One scene of the scene table: who it animates (object ids as the step
// that plays it creates them; 5000 the camera) and how many frames it runs.
struct SceneCast
{
    int scene;                 // row of the scene table
    std::vector<int> actors;   // character ids; the player is -1
};
// The cast of every scene a story row plays, by row of the table; a scene
// no row plays has the player alone.
const std::vector<SceneCast>& StorySceneCasts();
// Frames each story scene runs: one block of this length, then the final
// poses.
constexpr int kStorySceneFrames = 120;
// The scene of a row of the table: the characters standing in a row before
// the camera, the player in the middle raising a hand, while the camera
// closes in on him; its cast ids are the scene's start locations after the
// camera's.
CineScene StoryScene(const SceneCast& cast);

// Appends to `files` every file of the tables above that `files` does not
// hold yet, in a fixed order.  False with a message when a writer refuses.
bool AddStoryFiles(std::vector<PakInputFile>& files, std::string& error);

}  // namespace tools
