#include "tests/demo/run_state.h"

// First: the test framework before the game's headers rename the C library.
#include "ZevEngine2/heap_check.h"

#include <cstdio>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"

namespace demo_test {
namespace {

int LockedTextures()
{
    int n = 0;
    for (const TexManagerRec* r = texman.locked.next; r != nullptr && r != &texman.locked; r = r->next)
        n++;
    return n;
}

}  // namespace

std::string RunLine(const console::demo::RunEvent& e)
{
    char line[256];
    using console::demo::RunPoint;
    switch (e.point) {
    case RunPoint::kStart:
        std::snprintf(line, sizeof line, "start run=%d ep=%d rec=%d field=%llu free=%u", e.run, e.episode, e.record,
                      static_cast<unsigned long long>(e.field), heaptest::GameHeapFree());
        break;
    case RunPoint::kRecord:
        std::snprintf(line, sizeof line, "record run=%d ep=%d rec=%d field=%llu free=%u", e.run, e.episode, e.record,
                      static_cast<unsigned long long>(e.field), heaptest::GameHeapFree());
        break;
    case RunPoint::kHandBack:
        std::snprintf(line, sizeof line,
                      "handback run=%d field=%llu exit=%d free=%u objects=%d postdraw=%d channels=%d locked=%d",
                      e.run, static_cast<unsigned long long>(e.field),
                      g_pgcTest != nullptr ? g_pgcTest->iMainExitVal : 0, heaptest::GameHeapFree(),
                      world.objectlist.Count(), world.rawobjPostList.Count(), sound.numvchannelsallocated,
                      LockedTextures());
        break;
    }
    return line;
}

}  // namespace demo_test
