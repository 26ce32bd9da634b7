// What the launcher's run hook reads of the game at each point of a run, as
// one line of text, and those lines read back by the tests.
#pragma once

#include <string>
#include <vector>

#include "ee/demo_hook.h"

namespace demo_test {

// "start run=1 ep=2 rec=5 field=812 free=1234",
// "record run=1 ep=2 rec=6 field=4100 free=1200",
// "handback run=1 field=9000 exit=-1 free=1234 objects=3 postdraw=1 channels=0 locked=0".
// free is the game heap's free total: both free lists and the middle block.
std::string RunLine(const console::demo::RunEvent& e);

struct RunPoint {
    std::string kind;   // "start", "record", "handback"
    int run = 0, episode = -1, record = -1, exit = 0;
    long long field = 0, free = -1;
    int objects = -1, postdraw = -1, channels = -1, locked = -1;
};

// The lines of a run log; lines that do not parse are left out.
std::vector<RunPoint> ReadRunLog(const std::string& path);

}  // namespace demo_test
