// The launcher's run hook: test programs that run the game in their own
// process see each run's start, each script record it enters and each
// hand-back, on the game's thread at the moment the game tells the launcher,
// so they can read the game's own state there (its heap, its lists).  The
// same points go to the "demo" trace.
#pragma once

#include <cstdint>
#include <functional>

namespace console::demo {

enum class RunPoint { kStart, kRecord, kHandBack };

struct RunEvent {
    RunPoint point;
    int run;           // 1 for the first run
    int episode;       // kStart and kRecord: where the run starts or is
    int record;
    uint64_t field;    // fields passed since the video timing started
};

using RunHook = std::function<void(const RunEvent&)>;
// One hook; an empty function clears it.
void SetRunHook(RunHook hook);

}  // namespace console::demo
