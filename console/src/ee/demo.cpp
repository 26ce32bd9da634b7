#include "ee/demo.h"

#include <cstdio>
#include <string>

#include "core/config.h"
#include "core/diag.h"
#include "ee/console_out.h"
#include "ee/demo_hook.h"
#include "ee/video.h"

namespace {

int g_runs_started = 0;
int g_runs_ended = 0;
bool g_start_refused = false;
console::demo::RunHook g_hook;

// Each point of a run goes to the trace and to the hook a test has set.
void Tell(console::demo::RunPoint point, int episode, int record)
{
    const uint64_t field = console::FieldCount();
    const int run = g_runs_started;
    switch (point) {
    case console::demo::RunPoint::kStart:
        console::Trace("demo", "run %d starts at %d,%d (field %llu)", run, episode, record,
                       static_cast<unsigned long long>(field));
        break;
    case console::demo::RunPoint::kRecord:
        console::Trace("demo", "run %d enters record %d,%d (field %llu)", run, episode, record,
                       static_cast<unsigned long long>(field));
        break;
    case console::demo::RunPoint::kHandBack:
        console::Trace("demo", "run %d handed back (field %llu)", run, static_cast<unsigned long long>(field));
        break;
    }
    if (g_hook)
        g_hook(console::demo::RunEvent{point, run, episode, record, field});
}

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
    ++g_runs_started;
    const std::string start = console::GetString("start", "");
    int ep = 0, rec = 0;
    char tail = 0;
    if (start.empty()) {
        // The game's own start point stands.
    } else if (std::sscanf(start.c_str(), "%d,%d%c", &ep, &rec, &tail) != 2 || ep < 0 || rec < 0 ||
               ep > 0xFFFF || rec > 0xFFFF) {
        // Said once, not at every run.
        if (!g_start_refused)
            console::ConsoleWrite("--start " + start + ": expected EPISODE,RECORD; the run starts at " +
                                  std::to_string(episode ? *episode : 0) + "," +
                                  std::to_string(record ? *record : 0) + "\n");
        g_start_refused = true;
    } else {
        if (episode)
            *episode = static_cast<u16>(ep);
        if (record)
            *record = static_cast<u16>(rec);
    }
    Tell(console::demo::RunPoint::kStart, episode ? *episode : -1, record ? *record : -1);
}

void sceeDemoRecord(u16 episode, u16 record)
{
    Tell(console::demo::RunPoint::kRecord, episode, record);
}

void sceeDemoEnd()
{
    ++g_runs_ended;
    Tell(console::demo::RunPoint::kHandBack, -1, -1);
    int64_t limit = console::GetInt("exit-after-runs", 0);
    if (limit > 0 && g_runs_ended >= limit) {
        console::FlushConsole();
        console::Terminate(0);
    }
}

void console::demo::SetRunHook(RunHook hook)
{
    g_hook = std::move(hook);
}
