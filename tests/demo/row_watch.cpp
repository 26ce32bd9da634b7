#include "tests/demo/row_watch.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/diag.h"
#include "ee/console_out.h"
#include "host/headless/pad_script.h"

#include "ZevEngine2/World.h"
#include "game/QuadTree.h"
#include "game/GameFlow.h"
#include "game/userintf.h"

namespace demo_test {

namespace {

constexpr uint16_t kCross = 0x0040;
constexpr int kFreeDriveMode = 99;

}  // namespace

void RowWatch::Line(const std::string& text)
{
    std::fprintf(log_, "%s field=%u\n", text.c_str(), field_);
    std::fflush(log_);
}

void RowWatch::End()
{
    console::FlushConsole();
    console::Terminate(0);
}

// A tail (mode 1), a pursuit in cars or on foot (2, 5), an escape (12), a
// race (16) or a boss (6): each ends by its own rules once the target, the
// pursuer or the rival has got away, or the player is worn down, which
// takes some thousands of fields.
void RowWatch::LongerLeftAlone(int mode)
{
    if (mode != 1 && mode != 2 && mode != 5 && mode != 6 && mode != 12 && mode != 16)
        return;
    deadline_ = std::max(deadline_, start_ + kClockFields);
    Line("alone");
}

void RowWatch::Tell(const console::demo::RunEvent& e)
{
    field_ = uint32_t(e.field);
    pilot_.Tell(e);
    switch (e.point) {
    case console::demo::RunPoint::kStart:
        started_ = true;
        start_ = field_;
        deadline_ = field_ + kRowFields;
        episode_ = e.episode;
        record_ = e.record;
        Line("start " + std::to_string(e.episode) + "," + std::to_string(e.record));
        break;
    case console::demo::RunPoint::kRecord:
        if (started_ && (e.episode != episode_ || e.record != record_)) {
            Line("record " + std::to_string(e.episode) + "," + std::to_string(e.record));
            End();
        }
        break;
    case console::demo::RunPoint::kHandBack:
        Line("handback");
        End();
        break;
    }
}

void RowWatch::Poll(uint32_t vblank, console::host::PadInput pads[2])
{
    field_ = vblank;
    console::host::DefaultPadInputs(pads);
    const GameController* gc = g_pgcTest;
    if (gc == nullptr || !started_)
        return;
    // Cross on the continue prompt only: a Cross in a scene would cut it.
    if (gc->iUILoading && iDemoLoadingScreenState == 2 && (vblank / 3) % 2 == 0)
        pads[0].buttons |= kCross;
    // A drive or a fist fight played by the pilot, with the longer bound.
    if (game_ && world.mode != WORLD_MODE_CINEMA && pilot_.PlayGame(vblank, pads[0]) && !piloted_) {
        piloted_ = true;
        deadline_ = std::max(deadline_, start_ + kClockFields);
        Line("pilot");
    }
    // A pressed button at full pressure, as a press in a script gives.
    for (const console::host::PadButton& b : console::host::PadButtons())
        if (b.pressure_index >= 0)
            pads[0].pressure[b.pressure_index] = (pads[0].buttons & b.bit) ? 0xFF : 0;
    if (!scene_ && world.mode == WORLD_MODE_CINEMA) {
        scene_ = true;
        Line("scene");
    }
    if (!game_ && gc->pMission != nullptr && gc->iMissionRet == 0) {
        game_ = true;
        Line("game mode=" + std::to_string(int(gc->mode)));
        LongerLeftAlone(int(gc->mode));
    }
    // A free drive has no mode controller: the controller's mode is its game.
    if (!game_ && gc->pMission == nullptr && gc->mode == kFreeDriveMode && !gc->iUILoading) {
        game_ = true;
        Line("game mode=" + std::to_string(int(gc->mode)));
    }
    if (game_ && gc->iMissionRet != 0) {
        Line("result " + std::to_string(gc->iMissionRet));
        End();
    }
    // A clock counting down from beyond the bound: the row may run it out.
    if (game_ && !clockSeen_ && gc->pMission != nullptr) {
        clockSeen_ = true;
        const uint32_t limit = start_ + kClockFields;
        const uint32_t out = std::min(vblank + uint32_t(std::max(gc->iTimeDisplay, 0)) + kClockMargin, limit);
        if (!(gc->iFlags & GCF_NOTIMELIMIT) && out > deadline_) {
            deadline_ = out;
            Line("clock " + std::to_string(gc->iTimeDisplay));
        }
    }
    if (vblank > deadline_) {
        Line("bound");
        End();
    }
}

RowOutcome ReadRowLog(const std::string& path)
{
    RowOutcome o;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        long long field = -1;
        const size_t at = line.find("field=");
        if (at != std::string::npos)
            field = std::stoll(line.substr(at + 6));
        if (kind == "start") {
            o.started = true;
            o.startField = field;
        } else if (kind == "scene") {
            o.scene = true;
        } else if (kind == "game") {
            o.game = true;
            const size_t m = line.find("mode=");
            if (m != std::string::npos)
                o.mode = std::stoi(line.substr(m + 5));
        } else if (kind == "result") {
            words >> o.result;
            o.endField = field;
        } else if (kind == "record") {
            o.next = true;
            o.endField = field;
        } else if (kind == "bound") {
            o.boundField = field;
        } else if (kind == "clock") {
            o.clock = true;
        } else if (kind == "alone") {
            o.alone = true;
        } else if (kind == "pilot") {
            o.piloted = true;
        } else if (kind == "handback") {
            o.handback = true;
            o.endField = field;
        }
    }
    return o;
}

}  // namespace demo_test
