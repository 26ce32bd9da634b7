#include "ee/intc.h"

#include <cstdio>
#include <string>
#include <vector>

#include <ee/kernel.h>

#include "core/instance.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/regs_internal.h"
#include "ee/video.h"

namespace console {
namespace {

constexpr uint32_t kAllCauses = (1u << kIntcCauseCount) - 1;

struct Handler {
    int id;
    std::function<int(int)> fn;
};

struct IntcState {
    uint32_t pending = 0;
    uint32_t mask = 0;
    bool enabled = true;
    bool in_handler = false;
    int next_id = 1;
    std::vector<Handler> lists[kIntcCauseCount];
};

Instance<IntcState> g_state;

IntcState& S()
{
    return g_state.Get();
}

bool ValidCause(int cause, const char* call)
{
    if (cause >= 0 && cause < kIntcCauseCount)
        return true;
    Diag(Level::kError, "intc", "%s: cause %d is not an interrupt cause (0 to 14)", call, cause);
    return false;
}

int Add(int cause, std::function<int(int)> fn, int next, const char* call)
{
    if (!ValidCause(cause, call))
        return -1;
    if (!fn) {
        Diag(Level::kError, "intc", "%s: no handler for cause %d", call, cause);
        return -1;
    }
    if (next != 0 && next != -1) {
        Diag(Level::kError, "intc", "%s: position %d for cause %d (0 is the head, -1 the tail)", call, next, cause);
        return -1;
    }
    IntcState& s = S();
    int id = s.next_id++;
    auto& list = s.lists[cause];
    if (next == 0)
        list.insert(list.begin(), Handler{id, std::move(fn)});
    else
        list.push_back(Handler{id, std::move(fn)});
    Trace("intc", "handler %d for cause %d at the %s", id, cause, next == 0 ? "head" : "tail");
    return id;
}

bool Registered(int cause, int id)
{
    for (const Handler& h : S().lists[cause])
        if (h.id == id)
            return true;
    return false;
}

std::string Report()
{
    const IntcState& s = S();
    char line[160];
    std::snprintf(line, sizeof line, "interrupts %s%s, pending 0x%04x, mask 0x%04x, handlers",
                  s.enabled ? "enabled" : "disabled", s.in_handler ? " (in a handler)" : "", s.pending, s.mask);
    std::string text = line;
    bool any = false;
    for (int c = 0; c < kIntcCauseCount; ++c) {
        if (s.lists[c].empty())
            continue;
        std::snprintf(line, sizeof line, " %d:%zu", c, s.lists[c].size());
        text += line;
        any = true;
    }
    if (!any)
        text += " none";
    return text;
}

const bool g_registered = [] {
    RegisterStateReporter("intc", Report);
    RegisterResetHook("intc", ResetIntc);
    SetRegisterOwner(
        EeReg::kIntcStat, "intc", [] { return uint64_t{IntcStat()}; },
        [](uint64_t value) { IntcWriteStat(static_cast<uint32_t>(value)); });
    SetRegisterOwner(
        EeReg::kIntcMask, "intc", [] { return uint64_t{IntcMask()}; },
        [](uint64_t value) { IntcWriteMask(static_cast<uint32_t>(value)); });
    return true;
}();

}  // namespace

void RaiseIntc(int cause)
{
    if (!ValidCause(cause, "interrupt request"))
        return;
    S().pending |= 1u << cause;
    HardwareMayHaveWork();
}

int AddInternalIntcHandler(int cause, std::function<int(int)> handler, int next)
{
    return Add(cause, std::move(handler), next, "internal handler");
}

uint32_t IntcStat()
{
    return S().pending;
}

uint32_t IntcMask()
{
    return S().mask;
}

void IntcWriteStat(uint32_t value)
{
    S().pending &= ~(value & kAllCauses);
}

void IntcWriteMask(uint32_t value)
{
    S().mask ^= value & kAllCauses;
    HardwareMayHaveWork();
}

bool IntcEnabled()
{
    return S().enabled;
}

bool InInterrupt()
{
    return S().in_handler;
}

bool InterruptReady()
{
    const IntcState& s = S();
    return (s.pending & s.mask) != 0 && s.enabled && !s.in_handler;
}

bool DispatchPendingInterrupt()
{
    IntcState& s = S();
    uint32_t ready = s.pending & s.mask;
    if (ready == 0)
        return false;
    if (CurrentContext() != Context::kMain || s.in_handler || !s.enabled)
        return false;
    int cause = __builtin_ctz(ready);
    s.pending &= ~(1u << cause);
    Trace("intc", "cause %d at cycle %llu", cause, static_cast<unsigned long long>(Now()));

    // The chain as it stood when the interrupt was taken; a handler removed by
    // an earlier one in the chain is skipped.
    std::vector<Handler> chain = s.lists[cause];
    s.in_handler = true;
    s.enabled = false;
    {
        ScopedContext ctx(Context::kInterrupt);
        for (const Handler& h : chain) {
            if (!Registered(cause, h.id))
                continue;
            if (h.fn(cause) == 0)
                break;
        }
    }
    // Returning from the interrupt restores the state it was taken in, whatever
    // the handlers did with DIntr/EIntr meanwhile.
    s.enabled = true;
    s.in_handler = false;
    return true;
}

void ResetIntc()
{
    IntcState& s = S();
    s.pending = 0;
    s.mask = 0;
    s.enabled = true;
    s.in_handler = false;
    s.next_id = 1;
    HardwareMayHaveWork();
    for (auto& list : s.lists)
        list.clear();
}

}  // namespace console

using console::S;

int AddIntcHandler(int cause, int (*handler)(int), int next)
{
    console::SafePoint(0);
    if (!handler) {
        console::Diag(console::Level::kError, "intc", "AddIntcHandler: null handler for cause %d", cause);
        return -1;
    }
    int id = console::Add(cause, handler, next, "AddIntcHandler");
    // The vertical-blank interrupt is the first thing the game sets up, so
    // installing its handler starts the field timing: the game's field
    // counter then agrees with the stand-in's.
    if (id > 0 && cause == console::kIntcVblankStart)
        console::StartVideoTiming();
    return id;
}

int RemoveIntcHandler(int cause, int handler_id)
{
    console::SafePoint(0);
    if (!console::ValidCause(cause, "RemoveIntcHandler"))
        return -1;
    auto& list = S().lists[cause];
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->id == handler_id) {
            list.erase(it);
            return 0;
        }
    }
    console::Diag(console::Level::kError, "intc", "RemoveIntcHandler: cause %d has no handler %d", cause, handler_id);
    return -1;
}

int EnableIntc(int cause)
{
    if (!console::ValidCause(cause, "EnableIntc"))
        return -1;
    uint32_t bit = 1u << cause;
    int changed = (S().mask & bit) == 0;
    S().mask |= bit;
    console::HardwareMayHaveWork();
    console::SafePoint(0);  // a cause pending while masked is delivered now
    return changed;
}

int DisableIntc(int cause)
{
    if (!console::ValidCause(cause, "DisableIntc"))
        return -1;
    uint32_t bit = 1u << cause;
    int changed = (S().mask & bit) != 0;
    S().mask &= ~bit;
    console::SafePoint(0);
    return changed;
}

int DIntr()
{
    console::SafePoint(0);
    int previous = S().enabled;
    S().enabled = false;
    return previous;
}

int EIntr()
{
    int previous = S().enabled;
    S().enabled = true;
    console::HardwareMayHaveWork();
    console::SafePoint(0);  // whatever became pending meanwhile runs before EIntr returns
    return previous;
}
