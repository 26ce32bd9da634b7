// A member of the vehicle group: a car's model file, checked and fixed up
// with the sample group's shared textures as the registry streams it into
// its slot, then made a car, a police cruiser and a motorbike as the
// generators make them (body, wheels, doors, parts), driven a few frames
// and deleted.  Accepted when the model file check took it.
#include "fuzz_target.h"

#include "fuzz_game.h"
#include "fuzz_vehicles.h"

#include "game/QuadTree.h"
#include "game/Vehicle.h"

FUZZ_TARGET(vehicle)
{
    MdlFileGroup& group = fuzz::SampleVehicleGroup();
    const fuzz::SlotModel file(1, data, size, group.textures, group.i16NumTextures);
    if (!file.Ok())
        return false;
    for (const int type : {1, 27, 14}) {
        Vehicle* v = CreateVehicle(file.mf(), -1, -1, VectorPos(0.0f, 0.0f, 0.0f), type);
        if (v == nullptr)
            continue;
        world.AddObject(v, nullptr);
        fuzz::Frames(3);
        fuzz::ClearWorld();
    }
    return true;
}
