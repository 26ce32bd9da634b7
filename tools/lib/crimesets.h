// The random crimes' set-up files and their low-detail cast.
//
// A crime's set-up file ("RCRIMES/GENG1nn.P2B" below the disc's DemoData)
// holds three level groups, one top node per difficulty level whose extra
// word is that level's bit (1, 2, 4).  Under each group stand the crime's
// runner generators and its car, placed around the crime's location; the
// crime builds the group of its level.  A runner's character, and the car's
// vehicle, are positions in the crime's character (vehicle) entries of its
// asset list, so each suspect is drawn from the character group the list
// names at that place.  The ids are the roles the group's commands address:
// -101.. and -126.. the two bands of suspects, -151.. officers at the scene,
// -176 the victim, -200 the crime's car.
#pragma once

#include <vector>

#include "tools/lib/humanoid.h"
#include "tools/lib/setupfile.h"

namespace tools {

// One member of a crime's cast in its set-up file.
struct CrimeCastMember
{
    s16 id;
    u8 character;   // runners: character entry; the car: vehicle entry
    u8 weapon;      // runners: 0 bare hands, else a gun
    float x, z;     // from the crime's location
    u8 levels;      // bit n: present at level n
    bool car;       // the crime's car rather than a runner
};

// The cast of crime group `group` (101..139) as its set-up file places it;
// empty for a group without a set-up file.
std::vector<CrimeCastMember> CrimeCast(int group);

// Whether the group has a set-up file: every group whose asset list names
// its environment file.
bool CrimeHasSetup(int group);

// The set-up file of a group that has one.
SetupFile CrimeSetup(int group);

// Every crime set-up file of the disc, path "RCRIMES/GENG1nn.P2B".
std::vector<NamedSetup> CrimeSetupFiles();

// The low-detail characters a crime can draw, under DemoData/Lreschar/:
// every member of the crime character groups, the commando (model 102) and
// the officers a police call sends.  Those the pedestrians already bring
// (`have`, paths as HumanoidCharacter::path) are left out.
std::vector<HumanoidCharacter> CrimeCastHumanoids(const std::vector<HumanoidCharacter>& have);

}  // namespace tools
