#include "ee/demo.h"

#include <cstdio>
#include <string>

#include "core/config.h"
#include "core/diag.h"
#include "ee/console_out.h"

namespace {

int g_runs_ended = 0;

u16 Param(const char* option, int64_t fallback)
{
    return static_cast<u16>(console::GetInt(option, fallback));
}

}  // namespace

void sceeDemoStart(int, char**, u16* language, u16* aspect, u16* playmode, u16* inactive_timeout,
                   u16* total_timeout)
{
    if (language)
        *language = Param("demo-language", 0);
    if (aspect)
        *aspect = Param("demo-aspect", 0);
    if (playmode)
        *playmode = Param("demo-playmode", 0);
    // No time-outs: the stand-in's launcher never cuts a run short.
    if (inactive_timeout)
        *inactive_timeout = 0;
    if (total_timeout)
        *total_timeout = 0;
}

void sceeDemoStartPoint(u16* episode, u16* record)
{
    const std::string start = console::GetString("start", "");
    if (start.empty())
        return;
    int ep = 0, rec = 0;
    char tail = 0;
    if (std::sscanf(start.c_str(), "%d,%d%c", &ep, &rec, &tail) != 2 || ep < 0 || rec < 0 || ep > 0xFFFF ||
        rec > 0xFFFF) {
        console::ConsoleWrite("--start " + start + ": expected EPISODE,RECORD; the run starts at " +
                            std::to_string(episode ? *episode : 0) + "," + std::to_string(record ? *record : 0) +
                            "\n");
        return;
    }
    if (episode)
        *episode = static_cast<u16>(ep);
    if (record)
        *record = static_cast<u16>(rec);
}

void sceeDemoEnd()
{
    ++g_runs_ended;
    console::Trace("demo", "run %d handed back", g_runs_ended);
    int64_t limit = console::GetInt("exit-after-runs", 0);
    if (limit > 0 && g_runs_ended >= limit) {
        console::FlushConsole();
        console::Terminate(0);
    }
}
