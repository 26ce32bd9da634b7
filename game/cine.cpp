// The cinematics' globals and their abort.
#include "ZevEngine2/Utilities.h"
#include "game/cine.h"

#include "game/Camera.h"

ActorObject* pActor = nullptr;
int isCinemaRunning = 0;
Camera CinemaCamera;

void AbortCinematic()
{
    // The scene player replaces this with the skip to the final poses; no
    // scene can run before it exists.
    if (pActor == nullptr) {
        static bool said;
        if (!said) {
            said = true;
            printf("cinematics: AbortCinematic is not built yet (no scene runs)\n");
        }
    }
}
