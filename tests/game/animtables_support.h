// The characters' class-wide animation tables point into the groups they
// were built from.  A test that frees groups empties them, so that the next
// test's characters build them afresh, as at a program's start, instead of
// keeping rows of groups that are gone.
#pragma once

#include <algorithm>
#include <iterator>

#include "game/BadGuy.h"
#include "game/Bystander.h"
#include "game/PlayerAnim.h"

namespace gametest {

inline void ForgetClassAnimTables()
{
    std::fill(std::begin(Enemy::Anims), std::end(Enemy::Anims), nullptr);
    std::fill(std::begin(Bystander::Anims), std::end(Bystander::Anims), nullptr);
    std::fill(std::begin(DaceAnim::Anims), std::end(DaceAnim::Anims), nullptr);
}

}  // namespace gametest
