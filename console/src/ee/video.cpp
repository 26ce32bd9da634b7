#include "ee/video.h"

#include <cstdio>
#include <string>

#include <ee/graph.h>

#include "core/diag.h"
#include "ee/intc.h"
#include "ee/regs_internal.h"

namespace console {
namespace {

// NTSC and 480p fields last 147,456,000 × 1,001 / 60,000 = 2,460,057.6 bus
// cycles; boundaries are rounded down from the exact fraction, so ten fields
// take exactly 24,600,576 cycles and no error accumulates.
constexpr Cycles kNtscTenFields = 24'600'576;

struct VideoState {
    VideoMode mode = VideoMode::kPal;
    bool interlaced = true;
    bool change_pending = false;
    VideoMode next_mode = VideoMode::kPal;
    bool next_interlaced = true;

    bool started = false;
    Cycles epoch = 0;       // boundary 0 of the current mode's timing
    uint64_t since_epoch = 0;
    uint64_t fields = 0;    // boundaries since the timing started
    uint32_t field_bit = 0;
    Cycles next = 0;        // time of the next boundary
    EventId event = 0;

    FieldHook present;
    FieldHook pad_latch;
    FieldHook mixer;
};

VideoState& S()
{
    static VideoState state;
    return state;
}

bool Progressive(VideoMode mode, bool interlaced)
{
    return mode == VideoMode::k480p || !interlaced;
}

const char* ModeName(VideoMode mode)
{
    switch (mode) {
    case VideoMode::kNtsc: return "NTSC";
    case VideoMode::kPal: return "PAL";
    case VideoMode::k480p: return "480p";
    }
    return "?";
}

void OnBoundary();

void ScheduleNext()
{
    VideoState& s = S();
    s.next = s.epoch + FieldBoundaryOffset(s.mode, s.since_epoch + 1);
    s.event = ScheduleTickAt(s.next, "field boundary", OnBoundary);
}

void OnBoundary()
{
    VideoState& s = S();
    Cycles boundary = s.next;
    ++s.since_epoch;
    uint64_t field = ++s.fields;
    if (s.present)
        s.present(field, boundary);
    if (s.pad_latch)
        s.pad_latch(field, boundary);
    if (s.mixer)
        s.mixer(field, boundary);
    if (!Progressive(s.mode, s.interlaced))
        s.field_bit ^= 1;
    RaiseIntc(kIntcVblankStart);
    if (s.change_pending) {
        s.change_pending = false;
        s.mode = s.next_mode;
        s.interlaced = s.next_interlaced;
        s.epoch = boundary;
        s.since_epoch = 0;
        if (Progressive(s.mode, s.interlaced))
            s.field_bit = 0;
        Trace("gs", "video mode %s%s from field %llu", ModeName(s.mode), s.interlaced ? " interlaced" : "",
              static_cast<unsigned long long>(field));
    }
    ScheduleNext();
}

std::string Report()
{
    const VideoState& s = S();
    char text[200];
    if (!s.started)
        return std::string("video timing not started, mode ") + ModeName(s.mode);
    std::snprintf(text, sizeof text, "mode %s%s, field %llu, CSR.FIELD %u, next boundary at cycle %llu%s",
                  ModeName(s.mode), s.interlaced && s.mode != VideoMode::k480p ? " interlaced" : "",
                  static_cast<unsigned long long>(s.fields), s.field_bit, static_cast<unsigned long long>(s.next),
                  s.change_pending ? ", mode change pending" : "");
    return text;
}

const bool g_registered = [] {
    RegisterStateReporter("video", Report);
    RegisterResetHook("video", ResetVideo);
    // CSR's FIELD bit (13) comes from the video timing; the GS register file
    // takes the register over once it models CSR's other bits.
    SetRegisterOwner(EeReg::kGsCsr, "video", [] { return uint64_t{CsrField()} << 13; }, nullptr);
    return true;
}();

}  // namespace

Cycles FieldBoundaryOffset(VideoMode mode, uint64_t k)
{
    if (mode == VideoMode::kPal)
        return k * kPalField;
    return (k / 10) * kNtscTenFields + (k % 10) * kNtscTenFields / 10;
}

void SetVideoMode(VideoMode mode, bool interlaced)
{
    VideoState& s = S();
    if (mode == VideoMode::k480p)
        interlaced = false;
    if (!s.started) {
        s.mode = mode;
        s.interlaced = interlaced;
        StartVideoTiming();
        return;
    }
    s.next_mode = mode;
    s.next_interlaced = interlaced;
    s.change_pending = mode != s.mode || interlaced != s.interlaced;
}

VideoMode CurrentVideoMode()
{
    return S().mode;
}

bool CurrentInterlaced()
{
    return !Progressive(S().mode, S().interlaced);
}

void StartVideoTiming()
{
    VideoState& s = S();
    if (s.started)
        return;
    s.started = true;
    s.epoch = Now();
    s.since_epoch = 0;
    ScheduleNext();
}

bool VideoTimingStarted()
{
    return S().started;
}

uint64_t FieldCount()
{
    return S().fields;
}

uint32_t CsrField()
{
    return S().field_bit;
}

Cycles NextFieldBoundary()
{
    return S().started ? S().next : 0;
}

void SetPresentHook(FieldHook hook)
{
    S().present = std::move(hook);
}

void SetPadLatchHook(FieldHook hook)
{
    S().pad_latch = std::move(hook);
}

void SetMixerHook(FieldHook hook)
{
    S().mixer = std::move(hook);
}

void ResetVideo()
{
    VideoState& s = S();
    if (s.started)
        Cancel(s.event);  // a no-op after ResetScheduler has emptied the queue
    FieldHook present = std::move(s.present), pad = std::move(s.pad_latch), mixer = std::move(s.mixer);
    s = VideoState{};
    // The hooks are the front end's wiring, not video state.
    s.present = std::move(present);
    s.pad_latch = std::move(pad);
    s.mixer = std::move(mixer);
}

}  // namespace console

int sceGsSyncV(int mode)
{
    if (mode != 0)
        console::Diag(console::Level::kWarning, "gs", "sceGsSyncV: mode %d treated as 0", mode);
    console::StartVideoTiming();
    console::SafePoint(0);
    uint64_t target = console::FieldCount() + 1;
    console::WaitUntil("the next vertical blank (sceGsSyncV)", [&] { return console::FieldCount() >= target; });
    return static_cast<int>(console::CsrField());
}
