// A random crime's set-up file: level groups (a top node per difficulty
// bit) of runner generators and cars.  Loaded into the crimes' environment
// slot as the registry loads one, then each level's group built by a crime
// as it builds its cast, the world run a few frames, and everything cleared.
// Accepted when the model file check took it.
#include "fuzz_target.h"

#include "fuzz_game.h"

#include "game/RandCrimesGenerator.h"
#include "game/RandomCrimes.h"

FUZZ_TARGET(crimes)
{
    // Crimes build their set-ups through the game controller, as in the game:
    // without one they would build nothing.
    fuzz::Controller();
    const fuzz::SlotModel file(193, data, size);
    if (!file.Ok())
        return false;
    for (int level = 0; level < 3; level++) {
        RandomMissionController* c = NewRandomMissionController(nullptr, RandMissRow(26, level));
        if (c == nullptr)
            break;
        RCptr<Object> hold(c);
        Matrix at = TransMatrix(10.0f, 0.0f, 20.0f);
        c->SetupInfoTables(at, 193, level);
        fuzz::Frames(3);
        c->Delete();
        fuzz::ClearWorld();
    }
    return true;
}
