// The run hook's lines read back; kept apart from the game's headers, whose
// heap renames the C library's free.
#include <cstdio>
#include <fstream>

#include "tests/demo/run_state.h"

namespace demo_test {

std::vector<RunPoint> ReadRunLog(const std::string& path)
{
    std::vector<RunPoint> points;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        RunPoint p;
        char kind[16] = {};
        if (std::sscanf(line.c_str(), "%15s", kind) != 1)
            continue;
        p.kind = kind;
        int got = 0;
        if (p.kind == "start")
            got = std::sscanf(line.c_str(), "start run=%d ep=%d rec=%d field=%lld free=%lld", &p.run, &p.episode,
                              &p.record, &p.field, &p.free) == 5;
        else if (p.kind == "record")
            got = std::sscanf(line.c_str(), "record run=%d ep=%d rec=%d field=%lld free=%lld", &p.run, &p.episode,
                              &p.record, &p.field, &p.free) == 5;
        else if (p.kind == "handback")
            got = std::sscanf(line.c_str(),
                              "handback run=%d field=%lld exit=%d free=%lld objects=%d postdraw=%d channels=%d "
                              "locked=%d",
                              &p.run, &p.field, &p.exit, &p.free, &p.objects, &p.postdraw, &p.channels,
                              &p.locked) == 8;
        if (got)
            points.push_back(p);
    }
    return points;
}

}  // namespace demo_test
