// Cinematics: scenes of animated actors played from cinema files with their
// sound, the scene camera taking over the view.
//
// What is here so far is what the main loop and the cameras look at: the
// running scene's first actor, the flag the camera actor raises, the scene
// camera and the abort.  The scene player itself comes with the cinematics;
// until then no scene starts, and AbortCinematic says once that it was asked
// for while there is nothing to abort.
#pragma once

#include "ZevEngine2/Zev.h"

class ActorObject;
class Camera;

// The first actor of the running scene, null when none.
extern ActorObject* pActor;
// Set while the camera actor of a scene runs.
extern int isCinemaRunning;
// The scene camera: the camera handler, zoom 1.6.
extern Camera CinemaCamera;

// Skips the running scene to its final poses; twice aborts once.
void AbortCinematic();
