// A level's set-up file: a model file whose placeholder nodes stand for the
// level's entities, each with its record in the file.  Loaded into a
// registry slot as the registry loads one, then built as an interior and as
// an exterior (every entity by its kind and record, the main objects and
// their props), the world run a few frames, and everything cleared.
// Accepted when the model file check took it.
#include "fuzz_target.h"

#include "fuzz_game.h"

#include "game/GameFlow.h"

FUZZ_TARGET(setup)
{
    GameController* gc = fuzz::Controller();
    const fuzz::SlotModel file(195, data, size);
    if (!file.Ok())
        return false;
    for (const bool interior : {true, false}) {
        gc->bCinematicOnly = false;
        gc->LoadIntExtSetup(0, file.mf(), interior);
        fuzz::Frames(3);
        fuzz::ClearWorld();
    }
    return true;
}
