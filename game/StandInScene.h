// A small scene that stands in for the city and the game flow until they
// exist: the sample cube from the disc, turning slowly under a light, seen
// from a fixed camera, and the interface bank's chime played once at start.
// MAIN's loop calls the three functions below at the places where the game
// flow will later set up its level, move its camera and draw its world.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/Vector.h"

// The sample model's path on the disc.
constexpr const char STANDIN_MODEL[] = "KORVALIS\\DemoData\\Sample\\CUBE.P2B";

// The camera's zoom: the game's default camera has 1.6.
constexpr float STANDIN_ZOOM = 1.6f;

// The stand-in's own program arguments (words without dashes): "rain" turns
// the rain on at full strength.
void StandInOptions(int argc, char** argv);

// Plays sample 0 of `chimebank` (when the bank loaded), loads the sample
// model, builds its object tree and adds it to the world with its own point
// light, a dim ambient light and a light from the upper left, and a flamer
// burning on its top face.  Without the
// model (no disc, or a disc without it) it prints one line saying so and the
// frames stay empty.  Returns whether the model is in the world.
bool StandInSceneStart(unsigned short chimebank);

// Once per displayed frame, before drawing: turns the model to the angle of
// `frame` and returns the camera's world matrix (also the sound listener).
const Matrix& StandInSceneFrame(int frame);

// The mission whose placeholders the stand-in drive runs between.
constexpr const char STANDIN_MISSION[] = "KORVALIS\\DemoData\\Missions\\MISSION2.EXM";

// Loads the stand-in mission and waits until the city around its start
// placeholder (-4) is complete; a geyser and a sparkler play beside that
// placeholder.  Without a city or the mission it says so
// once and the drive below walks nothing.
void StandInCityStart();

// Once per displayed frame: the stand-in's driving camera (from the start
// placeholder east along the road, south, east again toward placeholder -5,
// two units a frame, 1.5 units above the ground it finds under the route)
// walks the visible city, moving the window and streaming under the time
// budget; the window's moves and completions are printed, and the first
// place where the drive finds no ground it remembers.
// Returns the driving camera's world matrix.
const Matrix& StandInCityFrame(const RenderContext& view, int frame);

// Whether the stand-in drives through a city (its start found one).
bool StandInCityDriving();

// The world's drawing as the city's will do it, for what the world holds:
// the view's lights and microcode, the transparencies list, the city seen by
// the last visibility walk (its roads, then its instances and ground
// patches) when driving, every live top-level object with the local lights
// best for it, the transparent models far to near, then the particles and
// the rain.
void StandInDrawWorld(RenderContext& rc);
