// The pad library calls.  Thin: argument checks, costs and traces here, the
// pad's behaviour in PadPort.
#include <ee/pad.h>

#include <cstdint>
#include <string>

#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/video.h"
#include "host/host.h"
#include "pad/pad.h"

namespace console::pad {
namespace {

struct Library {
    bool manager_loaded = false;
    bool started = false;
    host::PadInput last[2];
    PadPort ports[2];
};

Library& L()
{
    static Library library;
    return library;
}

const char* StateName(PadState state)
{
    switch (state) {
    case PadState::kDisconnected: return "disconnected";
    case PadState::kFinding: return "finding";
    case PadState::kFound: return "found";
    case PadState::kExecuting: return "executing";
    case PadState::kStable: return "stable";
    }
    return "?";
}

void StopMotors(int port)
{
    PadPort& p = L().ports[port];
    p.small_on = false;
    p.large_level = 0;
    host::Rumble().Set(port, false, 0);
}

// At every field boundary: the host's input for both ports, then the timers.
void LatchField(uint64_t field, Cycles)
{
    Library& lib = L();
    host::PadInput input[2];
    host::Input().Poll(static_cast<uint32_t>(field), input);
    for (int port = 0; port < 2; ++port) {
        lib.last[port] = input[port];
        PadPort& p = lib.ports[port];
        PadState before = p.State();
        bool motors_running = p.small_on || p.large_level != 0;
        if (p.Latch(input[port]) && motors_running)
            StopMotors(port);
        if (p.State() != before && TraceOn("pad"))
            Trace("pad", "field %llu: port %d %s -> %s", static_cast<unsigned long long>(field), port,
                  StateName(before), StateName(p.State()));
    }
}

std::string Report()
{
    const Library& lib = L();
    std::string text = lib.started ? "started" : "not started";
    for (int port = 0; port < 2; ++port) {
        const PadPort& p = lib.ports[port];
        text += "; port " + std::to_string(port) + ": ";
        if (!p.IsOpen()) {
            text += "closed";
            continue;
        }
        text += StateName(p.State());
        text += p.Analog() ? ", analogue" : ", digital";
        if (p.PressureMode())
            text += ", pressure";
    }
    return text;
}

const bool g_registered = [] {
    SetPadLatchHook(LatchField);
    RegisterStateReporter("pad", Report);
    RegisterResetHook("pad", ResetPads);
    return true;
}();

// The port a call names, or null (with a diagnostic) when the call is not
// allowed: library not started, no such port or slot, port not open.
PadPort* Lookup(const char* call, int port, int slot, bool must_be_open = true)
{
    Library& lib = L();
    if (!lib.started) {
        Diag(Level::kError, "pad", "%s: the pad library is not started (scePadInit)", call);
        return nullptr;
    }
    if (port < 0 || port > 1 || slot != 0) {
        Diag(Level::kError, "pad", "%s: no port %d slot %d (ports 0 and 1, slot 0)", call, port, slot);
        return nullptr;
    }
    PadPort* p = &lib.ports[port];
    if (must_be_open && !p->IsOpen()) {
        Diag(Level::kError, "pad", "%s: port %d is not open", call, port);
        return nullptr;
    }
    return p;
}

int RunCommand(const char* call, int port, int slot, Command command, int argument = 0)
{
    SafePoint(0);
    PadPort* p = Lookup(call, port, slot);
    if (!p)
        return 0;
    bool accepted = p->StartCommand(command, GetCosts().pad_cmd_fields, argument);
    Trace("pad", "%s(%d, %d, %d): %s", call, port, slot, argument, accepted ? "started" : "refused, pad not ready");
    return accepted ? 1 : 0;
}

}  // namespace

void SetManagerLoaded(bool loaded)
{
    L().manager_loaded = loaded;
}

bool ManagerLoaded()
{
    return L().manager_loaded;
}

const PadPort& Port(int port)
{
    return L().ports[port & 1];
}

void ResetPads()
{
    (void)g_registered;
    L() = Library{};
    SetPadLatchHook(LatchField);
}

}  // namespace console::pad

using console::Diag;
using console::Level;
using console::pad::L;
using console::pad::Lookup;
using console::pad::PadPort;
using console::pad::PadState;

int scePadInit(int mode)
{
    console::SafePoint(0);
    if (mode != 0)
        Diag(Level::kWarning, "pad", "scePadInit: mode %d treated as 0", mode);
    if (!L().manager_loaded) {
        Diag(Level::kError, "pad", "scePadInit: the pad manager module (padman) is not loaded");
        return 0;
    }
    L().started = true;
    return 1;
}

int scePadPortOpen(int port, int slot, u_long128* dma_buf)
{
    console::SafePoint(0);
    PadPort* p = Lookup("scePadPortOpen", port, slot, false);
    if (!p)
        return 0;
    if (!dma_buf || reinterpret_cast<uintptr_t>(dma_buf) % 64 != 0) {
        Diag(Level::kError, "pad", "scePadPortOpen: port %d: the DMA area %p is not 64-byte aligned", port,
             static_cast<void*>(dma_buf));
        return 0;
    }
    if (p->IsOpen()) {
        Diag(Level::kError, "pad", "scePadPortOpen: port %d is already open", port);
        return 0;
    }
    p->Open(L().last[port]);
    return 1;
}

int scePadPortClose(int port, int slot)
{
    console::SafePoint(0);
    PadPort* p = Lookup("scePadPortClose", port, slot);
    if (!p)
        return 0;
    if (p->small_on || p->large_level != 0)
        console::pad::StopMotors(port);
    p->Close();
    return 1;
}

int scePadGetState(int port, int slot)
{
    console::SafePoint(console::GetCosts().poll_call);
    PadPort* p = Lookup("scePadGetState", port, slot);
    return p ? static_cast<int>(p->State()) : PAD_STATE_DISCONNECTED;
}

int scePadRead(int port, int slot, unsigned char* rdata)
{
    console::SafePoint(console::GetCosts().poll_call);
    PadPort* p = Lookup("scePadRead", port, slot);
    if (!p)
        return 0;
    if (!rdata) {
        Diag(Level::kError, "pad", "scePadRead: port %d: null buffer", port);
        return 0;
    }
    return p->Read(rdata);
}

int scePadInfoMode(int port, int slot, int term, int offs)
{
    console::SafePoint(0);
    PadPort* p = Lookup("scePadInfoMode", port, slot);
    if (!p || !p->Ready())
        return 0;
    // Two modes: digital (id 4) and analogue (id 7).
    switch (term) {
    case PAD_INFO_CURRENT_ID: return p->Analog() ? 7 : 4;
    case PAD_INFO_CURRENT_EXID: return 0;
    case PAD_INFO_CURRENT_OFFS: return p->Analog() ? 1 : 0;
    case PAD_INFO_ID_TABLE:
        if (offs == -1)
            return 2;
        if (offs == 0 || offs == 1)
            return offs == 0 ? 4 : 7;
        return 0;
    default:
        Diag(Level::kWarning, "pad", "scePadInfoMode: unknown term %d", term);
        return 0;
    }
}

int scePadSetMainMode(int port, int slot, int offs, int lock)
{
    if (offs != 0 && offs != 1) {
        Diag(Level::kError, "pad", "scePadSetMainMode: mode offset %d (0 digital, 1 analogue)", offs);
        return 0;
    }
    (void)lock;  // the pad's own mode button is never pressed here
    return console::pad::RunCommand("scePadSetMainMode", port, slot, console::pad::Command::kSetMainMode, offs);
}

int scePadInfoPressMode(int port, int slot)
{
    console::SafePoint(0);
    PadPort* p = Lookup("scePadInfoPressMode", port, slot);
    return p && p->Ready() ? 1 : 0;
}

int scePadEnterPressMode(int port, int slot)
{
    return console::pad::RunCommand("scePadEnterPressMode", port, slot, console::pad::Command::kEnterPressMode);
}

int scePadExitPressMode(int port, int slot)
{
    return console::pad::RunCommand("scePadExitPressMode", port, slot, console::pad::Command::kExitPressMode);
}

int scePadInfoAct(int port, int slot, int actno, int term)
{
    console::SafePoint(0);
    (void)term;
    PadPort* p = Lookup("scePadInfoAct", port, slot);
    if (!p)
        return 0;
    if (actno == -1)
        return 2;
    return actno == 0 || actno == 1 ? 1 : 0;
}

int scePadSetActAlign(int port, int slot, const unsigned char* align)
{
    console::SafePoint(0);
    PadPort* p = Lookup("scePadSetActAlign", port, slot);
    if (!p)
        return 0;
    if (!align) {
        Diag(Level::kError, "pad", "scePadSetActAlign: port %d: null alignment", port);
        return 0;
    }
    for (int i = 0; i < 6; ++i)
        p->alignment[i] = align[i];
    // A pad that is not ready takes the alignment when it is identified.
    p->StartCommand(console::pad::Command::kSetActAlign, console::GetCosts().pad_align_fields);
    console::Trace("pad", "scePadSetActAlign(%d): %02X %02X %02X %02X %02X %02X", port, align[0], align[1], align[2],
                   align[3], align[4], align[5]);
    return 1;
}

int scePadSetActDirect(int port, int slot, const unsigned char* data)
{
    console::SafePoint(0);
    PadPort* p = Lookup("scePadSetActDirect", port, slot);
    if (!p)
        return 0;
    if (!data) {
        Diag(Level::kError, "pad", "scePadSetActDirect: port %d: null data", port);
        return 0;
    }
    if (!p->Connected())
        return 0;
    bool small_on = false;
    uint8_t large = 0;
    for (int i = 0; i < 6; ++i) {
        if (p->alignment[i] == 0)
            small_on = data[i] != 0;
        else if (p->alignment[i] == 1)
            large = data[i];
    }
    p->small_on = small_on;
    p->large_level = large;
    console::Trace("pad", "scePadSetActDirect(%d): small %s, large %u", port, small_on ? "on" : "off", large);
    console::host::Rumble().Set(port, small_on, large);
    return 1;
}
