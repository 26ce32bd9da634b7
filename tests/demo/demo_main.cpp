// Entry of the demo's end-to-end tests.  Run as "demo_tests --play LOG
// <game options>" the program plays the game in its own process, as
// korvalis does, with the launcher's run hook writing one line per run
// start, script record and hand-back to LOG: the game heap's free total at
// each run start and hand-back, and at each hand-back the run's exit value and
// the counts of what a run may leave behind.  "demo_tests --pilot SCRIPT LOG
// <game options>" plays as --play does with the pad pilot at the pad
// (pad_pilot.h), its input written to SCRIPT as a pad script; with
// PAD_PILOT_CUT_SCENES set in the environment it cuts each scene short, with
// PAD_PILOT_STAND it leaves the player idle in a fist fight, with
// PAD_PILOT_MEASURE ("F,F,...") it prints how tall the fighters stand on the
// screen at those fields, and PAD_PILOT_PLAN ("win,prompt,fight,...",
// loop_script.h's names) says what each run does.  "demo_tests --row LOG
// <game options>" plays one script row with the row watcher (row_watch.h)
// at the pad.  "demo_tests --loop-plan N" prints the plan of the long
// test's N runs.  "demo_tests --damage-trial DIR ..." runs the damaged-disc
// trial (damage_trial.h), "--damaged-disc DIR NAME DAMAGE" writes one of its
// discs.  Otherwise it runs its tests, which start it that way.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/diag.h"
#include "ee/console_out.h"
#include "ee/crt0.h"
#include "ee/demo_hook.h"
#include "headless/pad_record.h"
#include "headless/registry.h"
#include "host/host.h"
#include "tests/demo/damage_trial.h"
#include "tests/demo/pad_pilot.h"
#include "tests/demo/loop_script.h"
#include "tests/demo/row_watch.h"
#include "tests/demo/run_state.h"

namespace {

std::FILE* g_log = nullptr;
demo_test::PadPilot* g_pilot = nullptr;

void WriteRunLine(const console::demo::RunEvent& e)
{
    if (g_pilot != nullptr)
        g_pilot->Tell(e);
    const std::string line = demo_test::RunLine(e);
    std::fputs(line.c_str(), g_log);
    std::fputc('\n', g_log);
    std::fflush(g_log);
}

// `input`, when given, takes the place of the front end's pad input.
int Play(int argc, char** argv, console::host::InputSource* input = nullptr)
{
    g_log = std::fopen(argv[0], "w");
    if (g_log == nullptr) {
        std::fprintf(stderr, "demo_tests: cannot write %s\n", argv[0]);
        return 2;
    }
    // The game's own entry takes the arguments after the log's name.
    argv[0] = const_cast<char*>("korvalis");
    console::Configure(argc, argv);
    if (!console::host::StartFrontEnd())
        return 2;
    if (input != nullptr) {
        console::host::Backend backend = console::host::GetBackend();
        backend.input = input;
        console::host::SetBackend(backend);
    }
    console::demo::SetRunHook(&WriteRunLine);
    const int status = ee_main(argc, argv);
    console::FlushConsole();
    console::Terminate(status);
}

// "--row LOG <game options>": the game with the row watcher at the pad,
// its lines in LOG.
demo_test::RowWatch* g_watch = nullptr;

void TellWatch(const console::demo::RunEvent& e)
{
    g_watch->Tell(e);
}

int Row(int argc, char** argv)
{
    std::FILE* log = std::fopen(argv[0], "w");
    if (log == nullptr) {
        std::fprintf(stderr, "demo_tests: cannot write %s\n", argv[0]);
        return 2;
    }
    static demo_test::RowWatch watch(log);
    g_watch = &watch;
    argv[0] = const_cast<char*>("korvalis");
    console::Configure(argc, argv);
    if (!console::host::StartFrontEnd())
        return 2;
    console::host::Backend backend = console::host::GetBackend();
    backend.input = &watch;
    console::host::SetBackend(backend);
    console::demo::SetRunHook(&TellWatch);
    const int status = ee_main(argc, argv);
    console::FlushConsole();
    console::Terminate(status);
}

int Pilot(int argc, char** argv)
{
    static demo_test::PadPilot pilot;
    if (std::getenv("PAD_PILOT_CUT_SCENES"))
        pilot.CutScenes();
    if (std::getenv("PAD_PILOT_STAND"))
        pilot.StandInFights();
    if (const char* text = std::getenv("PAD_PILOT_MEASURE")) {
        std::vector<uint32_t> fields;
        for (const char* p = text; *p != 0;) {
            char* end = nullptr;
            fields.push_back(uint32_t(std::strtoul(p, &end, 10)));
            if (end == p)
                break;
            p = *end == ',' ? end + 1 : end;
        }
        pilot.Measure(fields);
    }
    if (const char* text = std::getenv("PAD_PILOT_PLAN")) {
        const std::optional<std::vector<demo_test::Loop>> plan = demo_test::ParsePlan(text);
        if (!plan) {
            std::fprintf(stderr, "demo_tests: PAD_PILOT_PLAN: not a list of run kinds: %s\n", text);
            return 2;
        }
        pilot.Follow(*plan);
    }
    std::string error;
    static std::unique_ptr<console::host::PadRecorder> recorder;
    recorder = console::host::PadRecorder::Open(pilot, argv[0], &error);
    if (!recorder) {
        std::fprintf(stderr, "demo_tests: %s\n", error.c_str());
        return 2;
    }
    g_pilot = &pilot;
    return Play(argc - 1, argv + 1, recorder.get());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--play") == 0)
        return Play(argc - 2, argv + 2);
    if (argc >= 3 && std::strcmp(argv[1], "--row") == 0)
        return Row(argc - 2, argv + 2);
    if (argc >= 4 && std::strcmp(argv[1], "--pilot") == 0)
        return Pilot(argc - 2, argv + 2);
    if (argc >= 3 && std::strcmp(argv[1], "--damage-trial") == 0)
        return demo_test::RunDamageTrial(argc - 2, argv + 2);
    if (argc >= 3 && std::strcmp(argv[1], "--damaged-disc") == 0)
        return demo_test::WriteDamagedDisc(argc - 2, argv + 2);
    if (argc == 3 && std::strcmp(argv[1], "--loop-plan") == 0) {
        std::printf("%s\n", demo_test::PlanText(demo_test::LoopMix(std::atoi(argv[2]))).c_str());
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    console::Configure(argc, argv, console::ConfigureMode::kTest);
    return RUN_ALL_TESTS();
}
