// What the two crime-group units share: the row builder of their tables and
// the creator body of every group.
#pragma once

#include "game/RandCrimesGenerator.h"

namespace randcrimerows {

// The flags of a row.
enum : unsigned {
    kPlain = 0,
    kEmergent = 1,
    kGunfight = 2,
    kPolicechase = 4,
    kCarchase = 8,
    kGetaway = 16,
    kDriveby = 32,
    kTail = 64,
};

// A row: every group waits 300 frames before a generated crime loads, and
// carries the same unread radii (93.75 and 218.75).
constexpr RandMissParams Row(int index, int difficulty, unsigned flags, float responsedist, int timetodo,
                             AssetLoadParams* palp, const char* startmsg, const char* goodcopmsg,
                             const char* badcopmsg, float maxradius = 218.75f)
{
    return RandMissParams{index,
                          difficulty,
                          (flags & kEmergent) != 0,
                          (flags & kGunfight) != 0,
                          (flags & kPolicechase) != 0,
                          responsedist,
                          (flags & kCarchase) != 0,
                          (flags & kGetaway) != 0,
                          (flags & kDriveby) != 0,
                          (flags & kTail) != 0,
                          0,
                          palp,
                          93.75f,
                          maxradius,
                          300,
                          300,
                          timetodo,
                          startmsg,
                          goodcopmsg,
                          badcopmsg};
}

}  // namespace randcrimerows

// The crime of row `difficulty` of crime index `index` under `parent` (not
// yet in the world); the groups built around handed-over objects start with
// empty hand-over lists.  Null without memory or a group.
Object* CreateGroupCrime(Object* parent, int index, int difficulty, bool emergentLists);
