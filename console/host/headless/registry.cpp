#include "host/headless/registry.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/config.h"

namespace console::host {
namespace {

std::vector<FrontEnd>& FrontEnds()
{
    static std::vector<FrontEnd> list;
    return list;
}

const FrontEnd* Find(const char* name)
{
    for (const FrontEnd& f : FrontEnds())
        if (std::string(f.name) == name)
            return &f;
    return nullptr;
}

bool Install(const FrontEnd& f)
{
    std::string error;
    if (f.install(&error))
        return true;
    std::fprintf(stderr, "console: the %s front end could not start: %s\n", f.name, error.c_str());
    return false;
}

}  // namespace

void RegisterFrontEnd(const FrontEnd& front_end)
{
    for (FrontEnd& f : FrontEnds()) {
        if (std::string(f.name) == front_end.name) {
            f = front_end;
            return;
        }
    }
    FrontEnds().push_back(front_end);
}

bool HostHasDisplay()
{
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(var);
        if (value && *value)
            return true;
    }
    return false;
}

const char* StartFrontEnd()
{
    if (!GetFlag("headless") && HostHasDisplay()) {
        const FrontEnd* best = nullptr;
        for (const FrontEnd& f : FrontEnds())
            if (f.windowed && (!best || f.priority > best->priority))
                best = &f;
        if (best && Install(*best))
            return best->name;
        if (!best)
            std::fprintf(stderr, "console: this build has no window front end; running headless\n");
    }
    const FrontEnd* headless = Find("headless");
    if (!headless) {
        std::fprintf(stderr, "console: no headless front end registered\n");
        return nullptr;
    }
    return Install(*headless) ? headless->name : nullptr;
}

}  // namespace console::host
