// Support of the targets that run the game's own users of a file: a model
// file in a registry slot as the registry loads one, and the world emptied
// after each input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ZevEngine2/modelfile.h"

class GameController;

namespace fuzz {

// The input as a model file in registry slot `slot`, checked and fixed up
// (with shared textures when given) as the registry does with a file that
// has arrived; the slot is emptied again at the end.
class SlotModel
{
public:
    SlotModel(int slot, const uint8_t* data, size_t size, Texture* shared = nullptr, int nShared = 0);
    ~SlotModel();
    SlotModel(const SlotModel&) = delete;
    SlotModel& operator=(const SlotModel&) = delete;

    bool Ok() const { return ok; }
    MDLFILE* mf() const;

private:
    int slot;
    bool ok = false;
};

// The game controller the set-ups are built by.
GameController* Controller();

// Frames of the world, as the game's loop runs them.
void Frames(int n);

// Everything the input made goes: drivers out of their cars, then the
// world's objects, placeholders, timers and lists; no camera, no player.
void ClearWorld();

}  // namespace fuzz
