// The pad pilot: plays the demo's winning branch by looking at the game as it
// runs, field by field, instead of pressing buttons at fixed fields.  Cross on
// each continue prompt; L1 into the car; the drive steered along the city's
// roads from wherever the car is to the drive's marker, slowing before the
// corners and stopping at the marker; in the bar fight the player walks up
// to the nearest thug, guards against his blows and strikes whenever the
// thug is open.  Run in the game's own process with its input
// recorded (PadRecorder), it writes a pad script that replays the same play
// in any later run of the same game: a script that follows the game as the
// city, its traffic and the figures change, where a hand-timed one would
// steer blind.
#pragma once

#include <cstdint>
#include <string>

#include "ee/demo_hook.h"
#include "host/host.h"

namespace demo_test {

class PadPilot final : public console::host::InputSource {
public:
    // Where the run is (from the launcher's run hook).
    void Tell(const console::demo::RunEvent& e);
    void Poll(uint32_t vblank, console::host::PadInput pads[2]) override;
    // Cuts each scene short with Cross a second after it starts.
    void CutScenes() { cut_scenes_ = true; }
    // Leaves the player standing idle in a fist fight.
    void StandInFights() { stand_in_fights_ = true; }

private:
    void Drive(console::host::PadInput& pad);
    void Fight(console::host::PadInput& pad);
    // A button pressed every other few fields, so that each press is new.
    void Pulse(console::host::PadInput& pad, uint16_t bit);

    uint32_t field_ = 0;
    int record_ = -1;
    int plan_field_ = -1000;   // when the route was last planned
    bool prompt_ = false;
    bool cut_scenes_ = false;
    bool stand_in_fights_ = false;
    uint32_t cinema_from_ = 0;
    uint32_t cross_until_ = 0;
    float steer_ = 0;
    int still_ = 0;
    int reverse_until_ = 0;
    float cruise_speed_ = 0.45f;
    float turn_speed_ = 0.2f;
    uint32_t strike_from_ = 0;   // when the last blow's button went down
    uint32_t finish_from_ = 0;   // when a finishing window was first seen open
    int strikes_ = 0;
};

}  // namespace demo_test
