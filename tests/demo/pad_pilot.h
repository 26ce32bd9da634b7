// The pad pilot: plays the demo's winning branch by looking at the game as it
// runs, field by field, instead of pressing buttons at fixed fields.  Cross on
// each continue prompt; L1 into the car; the drive steered along the city's
// roads from wherever the car is to the drive's marker, slowing before the
// corners and stopping at the marker; in the bar fight the player walks up
// to the nearest thug, guards against his blows, strikes at the height his
// stance leaves open and, once he is open, blow on blow until he is dazed
// and can be finished.  Given a plan (loop_script.h), it plays runs one after
// another, each as the plan says: to its end, won or lost, or left with
// SELECT at a stage, with Cross on the prompts and the closing screens.
// Run in the game's own process with its input
// recorded (PadRecorder), it writes a pad script that replays the same play
// in any later run of the same game: a script that follows the game as the
// city, its traffic and the figures change, where a hand-timed one would
// steer blind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ee/demo_hook.h"
#include "host/host.h"
#include "tests/demo/loop_script.h"

class Enemy;

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
    // What each run does, from the first; runs past the plan's end are won.
    void Follow(std::vector<Loop> plan) { plan_ = std::move(plan); }
    // At each of these fields, prints how many rows of the screen the
    // player and the nearest foe cover in the picture last drawn:
    // "Pilot: field F: the player P rows tall, his foe Q rows tall".
    void Measure(std::vector<uint32_t> fields) { measure_ = std::move(fields); }
    // For a story row's game of any episode: in a drive to a marker the
    // car is driven there, in a fist fight the player fights (until
    // kFightFields pass with no foe hurt, falling or coming, then stands and
    // takes his beating), in a task that ends at a door he walks to it (in
    // an infiltration up to the guards while no door shows), in an escape
    // he drives away from the car after him, in a chase on foot he runs off
    // and lets the runner get away, in a free drive he leaves the
    // run, in the impound lot he takes a car, and the dojo's and the
    // ranges' round screens are closed; true
    // when the game is one of those (the pad then holds the presses).
    bool PlayGame(uint32_t vblank, console::host::PadInput& pad);
    static constexpr uint32_t kFightFields = 3000;

private:
    // Where a run is, as the plan names its stages.
    enum class Stage { kOther, kPrompt, kDrive, kBarScene, kFight, kSpaScene, kShootOut, kClosing };
    Stage Where() const;
    Loop ThisRun() const;
    // The plan's presses for this field: true when it holds the pad.
    bool FollowPlan(console::host::PadInput& pad);
    void Drive(console::host::PadInput& pad);
    void Fight(console::host::PadInput& pad);
    // The blow a foe's stance does not guard against.
    static uint16_t StrikeButton(const Enemy& foe);
    // Fields between blows thrown at a foe on his guard.
    static constexpr uint32_t kGuardedStrikeFields = 24;
    void Flee(console::host::PadInput& pad);
    // A chase on foot: the player runs off away from the runner; false for
    // a chase in cars.
    bool LetRunnerGo(console::host::PadInput& pad);
    // The speeds the motorbike is driven at on the straight and in turns,
    // and the share of its steering lock the pilot uses.
    static void BikePace(float& cruise, float& corner, float& lock);
    void WalkToCar(console::host::PadInput& pad);
    // A side game's round or result screen, the world paused under it:
    // Cross closes it.  True while one shows.
    bool CloseRoundScreen(console::host::PadInput& pad);
    // A task that ends at a doorway (the level's mode trigger that ends
    // the task): the player walks to it.
    void WalkToExit(console::host::PadInput& pad);
    // The impound lot: the player walks to the nearest car and gets in.
    void TakeACar(console::host::PadInput& pad);
    // A button pressed every other few fields, so that each press is new.
    void Pulse(console::host::PadInput& pad, uint16_t bit);
    // A free drive, which no game mode ends: after a few seconds at the
    // wheel the player leaves the run with SELECT, then skips the closing
    // screens.
    void LeaveFreeDrive(console::host::PadInput& pad);
    // An infiltration with no door in sight: the player walks up to the
    // nearest guard, or into the set while none is out.
    void WalkToGuard(console::host::PadInput& pad);

    uint32_t field_ = 0;
    int record_ = -1;
    int plan_field_ = -1000;   // when the route was last planned
    bool cut_scenes_ = false;
    bool stand_in_fights_ = false;
    float steer_ = 0;
    int still_ = 0;
    int reverse_until_ = 0;
    float reverse_steer_ = 0;
    int stucks_ = 0;
    float cruise_speed_ = 0.45f;
    float turn_speed_ = 0.2f;
    bool fleeing_ = false;          // driving away in an escape, for:
    float flee_x_ = 0, flee_z_ = 0;
    uint32_t strike_from_ = 0;   // when the last blow's button went down
    uint32_t finish_from_ = 0;   // when a finishing window was first seen open
    uint16_t strike_button_ = 0;   // the button of the last blow
    uint32_t fight_from_ = 0;    // the field a foe was last hurt, fell or came
    int fight_foes_ = -1;        // the foes in the fight then
    float fight_strength_ = 0;   // their strength left at the last field
    uint32_t free_from_ = 0;     // the field the free drive began

    std::vector<Loop> plan_;
    std::vector<uint32_t> measure_;
    int run_ = 0;                 // the run under way, 1 for the first
    Stage stage_ = Stage::kOther;
    uint32_t stage_from_ = 0;     // the field the stage began
    int screen_ = -1;             // the closing screen showing
    uint32_t screen_from_ = 0;
    bool left_ = false;           // this run was left with SELECT
    uint16_t hold_ = 0;           // buttons held until hold_until_
    uint32_t hold_until_ = 0;
};

}  // namespace demo_test
