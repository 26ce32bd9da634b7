// The whole program run inside a test program on the sample disc: the
// machine from power-on, the player's own kind (this test program registers
// a stand-in under the name), the program's start-up and its frames; and
// afterwards the machine, the streamer client, the model and animation
// registries and the game controller as they were, so that tests run after
// it in the same process find no trace of the run.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZevEngine2/PS2/platform_support.h"
#include "ZevEngine2/PS2/stream_disc.h"
#include "tools/lib/sampledisc.h"

#include "ZevEngine2/EntTypes.h"
#include "game/Backdrop.h"
#include "game/Camera.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Weapons.h"
#include "tests/ZevEngine2/PS2/fresh_sound.h"
#include "tests/game/animtables_support.h"
#include "tests/game/controller_support.h"

namespace discrun {

// The fonts the start-up makes on the game's heap: freed and forgotten, so
// that a later start-up makes them afresh.
inline void FreeFonts()
{
    Font** fonts[] = {&g_pfont,          &g_pGUIFont,        &g_pGUIHead,
                      &g_pfontHelveticaB, &g_pfontStreetSign, &g_pfontUILarge,
                      &g_pfontUIMedium,   &g_pfontUISmall,    &g_pfontLicPlate};
    for (Font** font : fonts) {
        free(*font);
        *font = nullptr;
    }
}

// The vehicles' model group the start-up reads (its directory, its member
// table and the group record): freed and forgotten, so that a later start-up
// reads it afresh.
inline void FreeVehicleGroup()
{
    if (MdlFileGroup* g = g_GlobalMFI.pmfgVehicles) {
        free(g->rmfai);
        free(g->file);
        free(g);
        g_GlobalMFI.pmfgVehicles = nullptr;
    }
}

// Ends a program started in this process (StartUp) as the game ends a run:
// its level, game mode and objects go; then what the start-up made for the
// whole program (the controller, the sky, the city, the models, the vehicle
// group and the animations, the fonts) goes too, the machine is powered off,
// and the streamer client, the registries and the sound system start over,
// so that the game's heap is as the test found it.  `before` is the
// controller in use before the start-up, put back afterwards.
inline void EndStartedProgram(GameController* before)
{
    GameController* gc = g_pgcTest;
    if (gc != nullptr && gc != before) {
        sound.StopAll();
        gc->CleanupLevel();
        gc->pMission = nullptr;
        gc->prms = nullptr;
    }
    SetCurrentCam(nullptr);
    // The cameras' target went with the program's objects.
    g_DefaultCamera.target = nullptr;
    bd.Free();
    world.Reset();
    world.rawobjPostList.RemoveAll();
    world.FreeCity();
    gametest::ForgetEpisodePlacements();
    if (gc != nullptr && gc != before)
        delete gc;
    for (int slot = 0; slot < MFI_NUMSLOTS; slot++)
        if (g_GlobalMFI.rgmfi[slot].i16Id >= 0)
            g_GlobalMFI.DeleteMF(slot, true);
    FreeVehicleGroup();
    for (int i = 0; i < AGI_NUMSLOTS; i++)
        g_GlobalAGI.DeleteAG(i);
    gametest::ForgetClassAnimTables();
    FreeFonts();
    platform_test::PowerOff();
    // The streamer's server and the sound module went with the machine:
    // the client starts over, and the registries hold nothing it loaded.
    irxloaded = 0;
    initialized = 0;
    for (int slot = 0; slot < MFI_NUMSLOTS; slot++) {
        g_GlobalMFI.rgmfi[slot] = MdlFileInfo{};
        g_GlobalMFI.rgmfi[slot].i16Id = -1;
        g_GlobalMFI.rgmfi[slot].i16Mirror = -1;
    }
    for (int i = 0; i < AGI_NUMSLOTS; i++)
        g_GlobalAGI.rgagi[i] = {nullptr, 0, 0, -1, false};
    soundtest::FreshSoundSystem();
    // The banks the start-up loaded went with the machine: their handles
    // would name banks a later test never loaded.
    sndbank_ui = sndbank_comb = sndbank_dest = sndbank_vo = sndbank_car = 0xFFFF;
    sndbank_gun = -1;
    g_pgcTest = before;
    dace = nullptr;
}

class DiscRun : public streamtest::StreamerTest
{
protected:
    Name kind{"Dace", int(reinterpret_cast<intptr_t>(&Dace::Dace_mh))};

    // onSampleDisc: the tests start the program on the sample disc put on
    // the machine's disc (StartOnSampleDisc); a fixture that writes a disc
    // of its own says no, and no archive is built for it.
    // The random numbers start as a new test program finds them, whatever
    // earlier tests drew (a fixture's own set-up may draw before the
    // machine starts).
    explicit DiscRun(bool onSampleDisc = true) : onSampleDisc(onSampleDisc) { srand(1); }

    void SetUp() override
    {
        // The archive is built on the host before the machine starts, so
        // its watchdog never times that work.
        if (onSampleDisc)
            SampleArchive();
        StreamerTest::SetUp();
        platform_test::PowerOff();
        savedGC = g_pgcTest;
    }
    void TearDown() override
    {
        if (Name::first == &kind)
            Name::first = kind.link;
        EndStartedProgram(savedGC);
        StreamerTest::TearDown();
    }
    // Puts the sample disc's archive on the disc and starts the program on it.
    void StartOnSampleDisc()
    {
        ASSERT_TRUE(onSampleDisc);
        ASSERT_FALSE(SampleArchive().empty());
        ASSERT_NO_FATAL_FAILURE(WritePak(SampleArchive()));
        StartUp(0, nullptr);
        ASSERT_NE(g_pgcTest, nullptr);
    }
    // Ends the program StartOnSampleDisc started, as the tear-down does.
    void EndProgram() { EndStartedProgram(savedGC); }
    // Frames until done() holds, at most n; whether it came.
    template <class F>
    static bool FramesUntil(int n, F done)
    {
        for (int i = 0; i < n; i++) {
            if (done())
                return true;
            MainLoopFrame();
        }
        return done();
    }

private:
    // The sample disc's archive, built once per process (empty, with the
    // writer's message, when a writer refuses).
    static const std::vector<u8>& SampleArchive()
    {
        static const std::vector<u8> archive = [] {
            std::vector<u8> a;
            std::string error;
            EXPECT_TRUE(tools::BuildSampleDisc(a, error)) << error;
            return a;
        }();
        return archive;
    }

    const bool onSampleDisc;
    GameController* savedGC = nullptr;
};

}  // namespace discrun
