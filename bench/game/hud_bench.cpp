// HUD frames per second: one busy frame of the HUD written into a 2-D packet
// over the sample city (radar with its streets, markers and places, street
// names, timer, distance meter, strength bar and head, eight screen texts
// typing, twelve enemies listed with their strength bars), without the GS.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/game/citybench_support.h"

#include "ZevEngine2/PS2/Font.h"
#include "game/GameFlow.h"
#include "game/Guy.h"
#include "game/HUD.h"
#include "game/MAIN.h"
#include "game/Player.h"

namespace {

void BusyHudFrame(benchmark::State& state)
{
    if (!citybench::LoadSampleCity(state))
        return;
    for (int i = 0; i < 200 && !world.SyncTo(VectorPos(0.0f, -1.0f, 32.0f)); i++) {
    }
    static Font gui(Font_GUI_text), medium(Font_UI_Medium), large(Font_UI_Large), helv(Font_HelveticaBlack),
        sign(Font_StreetSign);
    g_pGUIFont = &gui;
    g_pfontUIMedium = &medium;
    g_pfontUILarge = &large;
    g_pfontHelveticaB = &helv;
    g_pfontStreetSign = &sign;
    rc.scrw = 640.0f;
    rc.scrh = 512.0f;
    rc.ax = 1.0f;
    // Resident without the texture manager: only the packet is measured.
    Texture* textures[] = {&HUDNewTexture(), &Font_GUI_text, &Font_UI_Medium, &Font_UI_Large, &Font_HelveticaBlack,
                           &Font_StreetSign};
    for (Texture* t : textures)
        t->refcount = 1000;
    if (g_pgcTest == nullptr)
        g_pgcTest = new GameController;
    g_pgcTest->bHUDOn = true;
    g_pgcTest->bInterior = false;
    g_pgcTest->iTimeDisplayOutput = 3600;

    Dace player;
    player.mat.SetTrans(VectorPos(-40.0f, -1.0f, 32.0f));
    dace = &player;
    MapDisplay md(&player, nullptr);
    md.flags |= HUDF_TIMER | HUDF_STATICTARGET | HUDF_SUBTARGETS;
    md.SetStaticTarget(VectorPos(60.0f, -1.0f, -30.0f));
    for (int i = 0; i < 8; i++)
        md.AddScreenText("THE SUSPECT IS HEADING FOR THE HARBOUR", SCREEN_TEXT_POS(i + 1), 8, 1 << 30);

    // Twelve enemies about the player, the first his target.
    std::vector<Guy> guys(12);
    for (size_t i = 0; i < guys.size(); i++) {
        guys[i].id = -101 - int(i);
        guys[i].type = OBJT_CHARACTER;
        guys[i].mat.SetTrans(VectorPos(-36.0f + float(i), -1.0f, 36.0f));
        guys[i].strength = 10.0f * float(i);
        world.framecalllist.AddTail(&guys[i]);
    }
    player.target = &guys[0];
    md.flags |= HUDF_ENEMIES;

    std::vector<u64> buf(1 << 18);
    Render2D r;
    long qwords = 0;
    for (auto _ : state) {
        r.InitState(buf.data(), buf.data() + buf.size() - 16);
        r.texture = &HUDNewTexture();
        for (ScreenText& st : md.screentext)
            st.nTimer = 60;
        md.DrawHUD(r);
        qwords += (r.p - buf.data()) / 2;
        benchmark::DoNotOptimize(r.p);
    }
    state.counters["qwords/frame"] = double(qwords) / double(state.iterations());
    for (Texture* t : textures)
        t->refcount = 0;
    md.Reset(nullptr, nullptr);
    player.target = nullptr;
    for (Guy& g : guys)
        world.framecalllist.Remove(&g);
    dace = nullptr;
    citybench::FreeSampleCity();
}
BENCHMARK(BusyHudFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
