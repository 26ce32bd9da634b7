// The player driving, getting in and out of cars, and driven through a
// cinematic.  Until the driving code lands, each entry says once that it
// stood in: frames animate him where he sits, loops and events are not
// answered, getting in is refused, and a put-in seats him at the car's
// origin.
#include "game/Player.h"

#include "game/StandIns.h"
#include "game/Vehicle.h"

void Dace::Frame_DriverMode(PlayerController&)
{
    StandInUsed("the player's driving frame");
    Animate();
}

void Dace::Frame_TransitionMode(PlayerController&)
{
    StandInUsed("the player's car-door frame");
    Animate();
}

void Dace::Frame_CineDriverMode(PlayerController&)
{
    StandInUsed("the player's cinematic drive");
    Animate();
}

int Dace::Loop_DriverMode(Object*, int)
{
    StandInUsed("the player's driving animation loops");
    return 0;
}

int Dace::Loop_TransitionMode(Object*, int)
{
    StandInUsed("the player's car-door animation loops");
    return 0;
}

int Dace::AnimEvent_DriverMode(Object*, int, int)
{
    StandInUsed("the player's driving animation events");
    return 0;
}

int Dace::AnimEvent_TransitionMode(Object*, int, int)
{
    StandInUsed("the player's car-door animation events");
    return 0;
}

void Dace::PutIn(Vehicle* v, int)
{
    StandInUsed("the player's seating in a car");
    if (v == nullptr)
        return;
    car = v;
    if (parent != v) {
        Detach();
        mat = Matrix(true);
        v->Attach(this);
    }
    SwitchToMode(DACEMODE_DRIVING, true);
}

void Dace::CancelGetIn() { StandInUsed("the player's cancelled car entry"); }

void Dace::GetOut()
{
    StandInUsed("the player's getting out of a car");
    if (parent != nullptr)
        DetachW();
    SwitchToMode(DACEMODE_ONFOOT, true);
}

bool Dace::TryGettingIn()
{
    StandInUsed("the player's car entry");
    return false;
}
