// The GIF: the graphics synthesizer's one input, fed by three paths.  PATH1
// carries what VU1 microprograms kick (XGKICK), PATH2 what VIF1 passes on with
// DIRECT/DIRECTHL, PATH3 what the GIF DMA channel (channel 2) sends.  Each
// path keeps its own tag state, so a packet may arrive in any number of
// pieces; the GIF turns PACKED, REGLIST and IMAGE data into GS register
// writes and image data as it arrives (the hardware is eager: nothing is
// queued).  GIF_CTRL, GIF_MODE and GIF_STAT are owned here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <ee/types.h>

namespace console::gif {

enum class Path : uint8_t { kPath1 = 1, kPath2 = 2, kPath3 = 3 };

// Where the GIF's output goes.  The default sink is the GS stand-in
// (console::gs); tests replace it to observe exactly what the GIF emits.
class GsSink {
public:
    virtual ~GsSink() = default;
    // A general register write (address 0x00..0x7F), already converted from
    // the PACKED layout when the data came in PACKED mode.
    virtual void WriteRegister(u32 address, u64 value) = 0;
    // IMAGE-mode data; returns the quadwords the current host->local transfer
    // took.
    virtual size_t WriteImageData(const u128* data, size_t qwc) = 0;
};

GsSink& DefaultSink();
// Installs `sink` (null: the default sink again).
void SetSink(GsSink* sink);
GsSink& CurrentSink();

// Installs a sink for the lifetime of the object, then restores the previous.
class ScopedSink {
public:
    explicit ScopedSink(GsSink& sink);
    ~ScopedSink();
    ScopedSink(const ScopedSink&) = delete;
    ScopedSink& operator=(const ScopedSink&) = delete;

private:
    GsSink* previous_;
};

// Hands `qwc` quadwords of `path` to the GIF.  Everything is taken: the GS
// never holds the GIF back, and data the GS refuses (IMAGE data without an
// active transfer) is discarded with a diagnostic so that the path stays in
// step with its tags.
void Feed(Path path, const u128* data, size_t qwc);

// True while `path` is inside a packet: a tag was read and the packet has not
// ended with EOP after its last data.
bool PacketOpen(Path path);
// True when no path is inside a packet.
bool Idle();

// GIF_STAT as the register reads: M3R (0), IMT (2), PSE (3), P3Q (6), P2Q (7),
// P1Q (8), OPH (9), APATH (10-11, the path last fed while its packet is open;
// 0 idle); the FIFO count is always 0 (nothing is queued).
uint32_t Stat();

// Q of RGBAQ as the PACKED conversion carries it (set by ST, 1.0 at each tag).
float CurrentQ();

// Counters for tests and traces.
struct PathCounters {
    uint64_t tags = 0;
    uint64_t packets = 0;  // packets ended with EOP
    uint64_t quadwords = 0;
};
PathCounters Counters(Path path);

// One line per path for deadlock reports.
std::string StateText();

// GIF reset (GIF_CTRL RST, power-on): every path forgets its half-received
// packet; GIF_MODE and the PSE flag are cleared.  The sink stays installed.
void ResetGif();

// Installs the register owners, the channel 2 peripheral (PATH3), the state
// reporter and the reset hook.  Idempotent; runs before main.
void EnsureRegistered();

}  // namespace console::gif
