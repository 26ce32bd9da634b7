// The row watcher: plays one script row from where the run starts with
// nobody at the pad but for Cross on each continue prompt, and writes a
// line to its log at each thing a row does: its scene starting, its game
// starting, the game's result, the run entering another row, the hand-back.
// Once the row is over (a result, another row or the hand-back) it ends the
// process, so that a run lasts no longer than its row; so it does when the
// row has not ended within its bound of fields from the run's start
// ("bound"): kRowFields, or once its game runs on a clock, the clock's
// ticks (each at least a field) and a margin, up to kClockFields, so that a
// game against the clock can run out of time.  A drive to a marker, which no
// clock ends, a fist fight, which a player left standing may never lose,
// an infiltration or a task that ends at a door, an escape, the impound
// lot, the side games whose round screens pause them, and a free drive,
// which nothing ends but the player leaving, are played by the pad pilot
// (pad_pilot.h) with the longer bound ("pilot").  A game the player loses
// by being left alone has the longer bound too ("alone"): a tail, a chase
// or a race, which their own rules end once the target or the rival has got
// away, and a boss (the demons, the dragon), lost once its blows have worn
// him down; either takes longer than kRowFields.
//
//   start 2,5 field=160
//   scene field=170
//   game field=900 mode=10
//   result 2 field=4100
//   record 2,6 field=4300
//   handback field=9000
//   bound field=1660
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ee/demo_hook.h"
#include "host/host.h"
#include "tests/demo/pad_pilot.h"

namespace demo_test {

// Fields a row may take from the run's start before it counts as not
// ending; a row whose game runs on a clock may take up to the longer bound.
constexpr uint32_t kRowFields = 1500;
constexpr uint32_t kClockFields = 8000;
constexpr uint32_t kClockMargin = 600;

class RowWatch final : public console::host::InputSource {
public:
    explicit RowWatch(std::FILE* log) : log_(log) {}
    void Tell(const console::demo::RunEvent& e);
    void Poll(uint32_t vblank, console::host::PadInput pads[2]) override;

private:
    void Line(const std::string& text);
    void End();

    std::FILE* log_;
    PadPilot pilot_;
    uint32_t field_ = 0, start_ = 0, deadline_ = 0;
    bool started_ = false, scene_ = false, game_ = false, clockSeen_ = false, piloted_ = false;
    void LongerLeftAlone(int mode);
    int episode_ = -1, record_ = -1;
};

// What a row's log says.
struct RowOutcome {
    bool started = false, scene = false, game = false;
    int mode = -1;            // the game's mode number (-1: no game)
    int result = 0;           // the game's result (0: none)
    bool next = false;        // the run entered another row
    bool handback = false;    // the run ended
    bool clock = false;       // the game ran on a clock (a longer bound)
    bool piloted = false;     // the pad pilot played the game
    bool alone = false;       // a game left to itself (a longer bound)
    long long startField = -1, endField = -1, boundField = -1;
    bool Ended() const { return result != 0 || next || handback; }
};
RowOutcome ReadRowLog(const std::string& path);

}  // namespace demo_test
