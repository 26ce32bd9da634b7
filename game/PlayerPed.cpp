// The player on foot, fighting and walking a cinematic script.  Until the
// movement code lands, each entry says once that it stood in: the player
// animates where he stands, loops and events are not answered, and the
// mode's set-up and tear-down do nothing.
#include "game/Player.h"

#include "game/StandIns.h"

namespace {

// Standing where he is: his feet on the ground found just above them, which
// also keeps his ground cache (and with it his street) up to date.
void StandOnGround(Dace& d)
{
    const VectorPos at = d.mat.GetTrans();
    const float h = d.UpdateGroundAndLandableHeight(VectorPos(at[0], at[1] - 0.1f, at[2]), nullptr, &d.ghc);
    if (h != 0.0f && d.parent == nullptr)
        d.mat.SetTrans(VectorPos(at[0], h, at[2]));
}

}  // namespace

void Dace::Frame_PedestrianMode(PlayerController&)
{
    StandInUsed("the player's on-foot frame");
    StandOnGround(*this);
    Animate();
}

void Dace::Frame_CineWalkMode(PlayerController&)
{
    StandInUsed("the player's cinematic walk");
    Animate();
}

int Dace::Loop_PedestrianMode(Object*, int, bool)
{
    StandInUsed("the player's on-foot animation loops");
    return 0;
}

int Dace::AnimEvent_PedestrianMode(Object*, int, int)
{
    StandInUsed("the player's on-foot animation events");
    return 0;
}

int Dace::Collision_Pedestrian(CollisionRecord*)
{
    StandInUsed("the player's on-foot collisions");
    return 0;
}

void Dace::LeaveCurrentMode() { StandInUsed("the player's mode tear-down"); }

void Dace::InitGunsPedestrian() { StandInUsed("the player's on-foot guns"); }

void Dace::BreakFinishing()
{
    StandInUsed("the player's finishing-move break");
    finishingstartcount = Never;
}

void Dace::VictimUpdate(PlayerController&) { StandInUsed("the grappled player's frame"); }

void Dace::PedestrianCheckForFall() { StandInUsed("the player's fall check"); }

void Dace::CombatKnockdownCheckGroundContact() { StandInUsed("the player's knock-down landing"); }
