// The interface's menus, pause flow, film look, result screens and the
// film roll, drawn by the stand-in's GS into a 640 x 512 frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/platform_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "game/controller_support.h"
#include "game/disc_run_support.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/LightSets.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/fbfx.h"
#include "game/userintf.h"
#include "tools/lib/ipuenc.h"
#include "tools/lib/stillcards.h"
#include "ZevEngine2/PS2/IPUBitmap.h"
#include <cmath>

namespace {

constexpr int kW = 640, kH = 512;
// The draw buffer, a 16-bit Z buffer after it, textures above.
constexpr int kDrawBlocks = kW * kH * 4 / 256, kZBlocks = kW * kH * 2 / 256;
constexpr int kTexStart = kDrawBlocks + kZBlocks;
constexpr unsigned short kUiBank = 3;

// The interface samples started since the last look, in order; their
// channels are given back.
std::vector<int> TakeUISamples()
{
    std::vector<std::pair<int, int>> started;   // slot, sample
    for (int i = 0; i < sound.numvchannelsallocated; i++) {
        const int slot = sound.vchannelsallocated[i];
        const vchannel& c = sound.vchannels[slot];
        if ((c.flags & VCHAN_START) && c.curbank == kUiBank)
            started.push_back({slot, c.bankindex});
    }
    // Channels are handed out from a stack: the later the start, the higher
    // the slot's place in the used list; keep the order of allocation.
    std::vector<int> samples;
    for (auto& s : started) {
        samples.push_back(s.second);
        sound.FreeChannel(s.first | int(sound.vchannels[s.first].curcount) << 12);
    }
    return samples;
}

// What the test screen's callback was told.
std::vector<std::string> g_calls;
bool g_exitOnSquare = false;

const char* IdName(const UIItem* item)
{
    if (item == nullptr)
        return "menu";
    switch (item->ID) {
    case UI_Mission: return "mission";
    case UI_Task: return "task";
    case UI_HUD: return "flag";
    case UI_Night: return "number";
    default: return "noid";
    }
}

void Record(UIMenu* menu, UIItem* item, UIAction action, void*)
{
    static const char* const names[] = {"nop", "init", "free", "exit", "update", "select", "inc", "dec", "format"};
    if (action == UI_Format)
        return;
    g_calls.push_back(std::string(names[action]) + ":" + IdName(item));
    if (action == UI_Update && g_exitOnSquare && (menu->HitPad & UIPAD_SQUARE))
        menu->Exit = true;
}

int g_mirror = 0;
const UISetup TestItems[] = {
    {"mission:", UI_StringList, MissionNames, UI_Mission, 0, 0, 0},
    {"task:", UI_StringListList, rgppcTaskNames, UI_Task, 0, 0, 0},
    {"flag:", UI_Bool, &g_mirror, UI_HUD, 0, 0, 0},
    {"number:", UI_Number, nullptr, UI_Night, 1, 0, 2},
};
const UISetup TestCaption[] = {{"caption", UI_NoData, nullptr, UI_NoID, 0, 0, 0}};
const UIColSetup TestColumns[] = {{56, 160, 24, 4, TestItems}, {56, 48, 0, 1, TestCaption}};
const UIMenuSetup TestMenuColumns[] = {{&TestColumns[1], true}, {&TestColumns[0], true}};
const UIScreenSetup TestScreen = {Record, "[TEST]", 192, 72, 2, TestMenuColumns};
const UIMenuSetup CaptionOnlyColumns[] = {{&TestColumns[1], true}, {&TestColumns[0], false}};
const UIScreenSetup CaptionScreen = {Record, "[TEST]", 192, 72, 2, CaptionOnlyColumns};

// Messages the game controller was sent.
std::vector<SpecialMessage> g_messages;
int RecordMessages(Object*, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL)
        g_messages.push_back(*static_cast<SpecialMessage*>(data));
    return 0;
}

Font* NewFont(FONTFILE& ff)
{
    return new (malloc_align(sizeof(Font), 16)) Font(ff);
}

class Interface : public ::testing::Test
{
protected:
    Surface draw, zbuf, savedDraw;
    Font* fonts[3] = {};
    int frameNo = 0;

    void SetUp() override
    {
        gsframe::ResetForFrames(kTexStart, 16384 - kTexStart);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH, 0x832);
        savedDraw = Platform::GetDrawBuffer();
        Platform::GetDrawBuffer() = draw;
        fonts[0] = g_pGUIFont = NewFont(Font_GUI_text);
        fonts[1] = g_pGUIHead = NewFont(Font_GUI_heading);
        fonts[2] = g_pfontUILarge = NewFont(Font_UI_Large);
        sndbank_ui = kUiBank;
        world.mode = WORLD_MODE_NORMAL;
        srand(1234);
        UI = UserInterface();
        controller[0].pad = 0;
        controller[0].rdata[6] = controller[0].rdata[7] = 128;
        gametest::Controller()->messagehandler = RecordMessages;
        g_messages.clear();
        g_calls.clear();
        g_exitOnSquare = false;
        TakeUISamples();
        SoundSystem::paused = false;
        vsyncperdraw = 2;
    }
    void TearDown() override
    {
        g_pgcTest->messagehandler = GameController::staticmh;
        world.mode = WORLD_MODE_NORMAL;
        if (UI.pCurrMenu != nullptr)
            UI.pCurrMenu->Free();
        UI.pCurrMenu = nullptr;
        UI.FreeSaveBuffer();
        g_pGUIFont = g_pGUIHead = g_pfontUILarge = nullptr;
        for (Font* f : fonts)
            free(f);
        TakeUISamples();
        SoundSystem::paused = false;
        gMotionBlurSmoothBrighten.level = 0.0f;
        therenderer.ClearTexture();
        TexManOff();
        Platform::GetDrawBuffer() = savedDraw;
    }

    // One frame: cleared to a dark blue, then `body`, drawn to the end.
    void Frame(const std::function<void()>& body, bool clear = true)
    {
        therenderer.BeginScene(dmabuff[frameNo & 1], gifbuff[frameNo & 1], frameNo == 0);
        if (clear) {
            Render2D r;
            r.Open(therenderer);
            gsframe::ClearBuffers(r, draw, zbuf, kW, kH, Colour(30, 40, 90, 128));
            r.Close(therenderer);
        }
        body();
        gsframe::SendFrame();
        frameNo++;
    }

    // A frame of the game: a picture with a few shapes, then the interface.
    void GameFrame()
    {
        Frame([] {
            Render2D r;
            r.Open(therenderer);
            r.DrawRect(PixelX(100).v, PixelY(300).v, PixelX(540).v, PixelY(512).v, Colour(90, 80, 60, 128), 1);
            r.DrawRect(PixelX(280).v, PixelY(120).v, PixelX(360).v, PixelY(300).v, Colour(200, 60, 40, 128), 1);
            r.Close(therenderer);
            Run_UI();
        });
    }

    // A menu frame with the pad word (held | newly pressed << 16).
    bool MenuFrame(UIMenu* menu, u16 held, u16 pressed = 0)
    {
        controller[0].pad = u32(held) | u32(pressed) << 16;
        bool closed = false;
        Frame([&] { closed = menu->Draw(1.0f, 0.0f, 0.0f); });
        return closed;
    }

    static UIItem& Item(UIMenu* menu, int col, int row)
    {
        UIColumn* c = menu->pCol;
        for (int i = 0; i < col; i++)
            c = c->pNext;
        return c->aItems[row];
    }
};

}  // namespace

// The generic menu under a scripted pad: presses count from the second
// frame, the cursor stops at the column's ends, values wrap or stop, the
// mission line resets the task line, Cross selects only from rows 0 and 1,
// and the callback hears init, the frame's actions, update, and exit last.
TEST_F(Interface, MenuNavigationByPad)
{
    g_mirror = 1;
    UIMenu* m = CreateMenuFromUISetup(&TestScreen);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"init:menu", "init:mission", "init:task", "init:flag",
                                                  "init:number"}));
    // The first selectable line takes the cursor: column 1, row 0.
    EXPECT_EQ(m->nUserCol, 1);
    EXPECT_EQ(m->nUserRow, 0);
    EXPECT_STREQ(Item(m, 1, 2).zsString, "on");
    EXPECT_EQ(Item(m, 0, 0).Alpha, 0.75f);
    EXPECT_EQ(Item(m, 1, 0).Alpha, 1.0f);
    EXPECT_EQ(Item(m, 1, 1).MaxVal, 12);   // mission 1 has 13 tasks

    // Cross held as the menu opens: nothing in the first frame, nor while held.
    g_calls.clear();
    EXPECT_FALSE(MenuFrame(m, UIPAD_CROSS, UIPAD_CROSS));
    EXPECT_FALSE(MenuFrame(m, UIPAD_CROSS));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"update:menu", "update:menu"}));
    EXPECT_EQ(m->HitPad, 0);

    // Up on row 0: no move, no sound.
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_UP);
    EXPECT_EQ(m->nUserRow, 0);
    EXPECT_TRUE(TakeUISamples().empty());
    // Down: row 1, the cursor sound.
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_DOWN);
    EXPECT_EQ(m->nUserRow, 1);
    EXPECT_EQ(TakeUISamples(), std::vector<int>{0});
    // Left on the task list's first string gives its last.
    g_calls.clear();
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_LEFT);
    EXPECT_STREQ(Item(m, 1, 1).zsString, "BonusDT");
    EXPECT_EQ(g_iUITask, 12);
    EXPECT_EQ(TakeUISamples(), std::vector<int>{1});
    EXPECT_EQ(g_calls, (std::vector<std::string>{"update:menu", "dec:task", "update:menu"}));

    // Cross on row 1: every line of the column hears the select, in order.
    g_calls.clear();
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_CROSS);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"update:menu", "select:mission", "select:task", "select:flag",
                                                  "select:number", "update:menu"}));

    // Row 2, the switch: Right on "on" gives "off" and writes the mirror.
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_DOWN);
    TakeUISamples();
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_RIGHT);
    EXPECT_STREQ(Item(m, 1, 2).zsString, "off");
    EXPECT_EQ(g_mirror, 0);
    // Cross here selects nothing.
    g_calls.clear();
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_CROSS);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"update:menu", "update:menu"}));

    // Row 3, the number (1 of 0..2): up to 2, then it stops without a sound
    // (the callback still hears the press).
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_DOWN);
    TakeUISamples();
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_RIGHT);
    EXPECT_EQ(Item(m, 1, 3).nValue, 2);
    EXPECT_EQ(TakeUISamples(), std::vector<int>{1});
    g_calls.clear();
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_RIGHT);
    EXPECT_EQ(Item(m, 1, 3).nValue, 2);
    EXPECT_TRUE(TakeUISamples().empty());
    EXPECT_EQ(g_calls, (std::vector<std::string>{"update:menu", "inc:number", "update:menu"}));
    // Down on the last row: no move, no sound.
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_DOWN);
    EXPECT_EQ(m->nUserRow, 3);
    EXPECT_TRUE(TakeUISamples().empty());

    // The stick: 79 from the centre counts nothing; 100 counts 20 and
    // presses the direction.
    controller[0].rdata[7] = 128 - 79;
    MenuFrame(m, 0);
    EXPECT_FALSE(m->isAnalogPad);
    EXPECT_EQ(m->nUserRow, 3);
    controller[0].rdata[7] = 128;
    MenuFrame(m, 0);
    controller[0].rdata[7] = 128 - 100;
    MenuFrame(m, 0);
    EXPECT_TRUE(m->isAnalogPad);
    EXPECT_FLOAT_EQ(m->AnalogY, 20.0f / 128.0f);
    EXPECT_EQ(m->Pad & UIPAD_UP, UIPAD_UP);
    EXPECT_EQ(m->nUserRow, 2);
    controller[0].rdata[7] = 128;

    // Back to the mission line: Right chooses Mission2 and the task line
    // starts again at its first task.
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_UP);
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_UP);
    MenuFrame(m, 0);
    MenuFrame(m, UIPAD_RIGHT);
    EXPECT_STREQ(Item(m, 1, 0).zsString, "Mission2");
    EXPECT_STREQ(Item(m, 1, 1).zsString, "M2_S1A");
    EXPECT_EQ(Item(m, 1, 1).nValue, 0);
    EXPECT_EQ(Item(m, 1, 1).MaxVal, 20);
    EXPECT_EQ(g_iUIMissionSel, 1);
    EXPECT_EQ(g_iUITask, 0);

    // The callback closes it: exit comes last, with the closing sound.
    g_exitOnSquare = true;
    TakeUISamples();
    MenuFrame(m, 0);
    EXPECT_FALSE(MenuFrame(m, UIPAD_SQUARE));
    g_calls.clear();
    EXPECT_TRUE(MenuFrame(m, 0));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"exit:menu"}));
    EXPECT_EQ(TakeUISamples(), std::vector<int>{2});
}

// A menu whose columns have no selectable line has no cursor: the pad
// reaches no line.
TEST_F(Interface, MenuWithoutSelectableLinesHasNoCursor)
{
    UIMenu* m = CreateMenuFromUISetup(&CaptionScreen);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->nUserCol, -1);
    g_calls.clear();
    for (int b : {0, int(UIPAD_CROSS), 0, int(UIPAD_RIGHT), 0, int(UIPAD_DOWN)})
        MenuFrame(m, u16(b));
    EXPECT_EQ(g_calls, std::vector<std::string>(6, "update:menu"));
    EXPECT_TRUE(TakeUISamples().empty());
    m->Free();
}

// The firing-range screen through the whole pause: 15 frames of dimming
// (sound paused at the second with the pause sound), the frame saved and
// the screen built at the 16th, Cross closes it and the game plays on.
TEST_F(Interface, FiringRangeScreenFromPauseToClose)
{
    sShootingRoundStats stats{};
    std::strcpy(stats.name, "ROUND 1");
    stats.numHits = 10;
    stats.numFriendlies = 2;
    stats.numBulletsShot = 16;
    stats.numTargetsHit = 9;
    SetShootingRoundStats(&stats);
    SetPauseScreenMode(UI_ShootingRoundScreen);
    world.mode = WORLD_MODE_PAUSED;

    for (int f = 1; f <= 15; f++) {
        GameFrame();
        EXPECT_EQ(gMotionBlurSmoothBrighten.level, 0.885f);
        EXPECT_EQ(SoundSystem::IsPaused(), f >= 2) << f;
        if (f == 2) {
            EXPECT_EQ(TakeUISamples(), std::vector<int>{3});
        }
        EXPECT_EQ(world.mode, WORLD_MODE_PAUSED);
        EXPECT_FALSE(UI.FrameBufSaved);
        EXPECT_EQ(UI.pCurrMenu, nullptr);
    }
    GameFrame();
    EXPECT_EQ(world.mode, WORLD_MODE_PAUSED_NODRAW);
    EXPECT_TRUE(UI.FrameBufSaved);
    EXPECT_TRUE(UIUsesVRAM());
    ASSERT_NE(UI.pCurrMenu, nullptr);
    EXPECT_EQ(vsyncperdraw, 1);
    EXPECT_EQ(UI.pCurrMenu->AnalogDZone, 40);
    EXPECT_STREQ(ShootingRoundName, "ROUND 1");
    EXPECT_STREQ(ShootingRoundStatsTargetHit, "TARGETS SHOT:       9");
    EXPECT_STREQ(ShootingRoundStatsCasualties, "CASUALTIES:         2");
    EXPECT_STREQ(ShootingRoundStatsBullseye, "");
    EXPECT_STREQ(ShootingRoundStatsShots, "BULLETS FIRED :    16");
    EXPECT_STREQ(ShootingRoundStatsHits, "HITS:              10");
    EXPECT_STREQ(ShootingRoundStatsMisses, "MISSES:             6");
    EXPECT_STREQ(ShootingRoundStatsAccuracy, "ACCURACY:           50%");
    EXPECT_STREQ(ShootingRoundPressXToCont, "Press X to Exit");
    EXPECT_STREQ(ShootingRoundPressTToRetry, "");
    // No cursor and no marker characters on a result screen.
    EXPECT_EQ(UI.pCurrMenu->nUserCol, -1);
    EXPECT_FALSE(Item(UI.pCurrMenu, 0, 2).DrawBars);

    controller[0].pad = 0;
    GameFrame();
    for (u32 pad : {u32(UIPAD_START) * 0x10001u, u32(UIPAD_SQUARE) * 0x10001u, 0u}) {
        controller[0].pad = pad;
        GameFrame();
        EXPECT_NE(UI.pCurrMenu, nullptr);
    }
    controller[0].pad = UIPAD_CROSS | UIPAD_CROSS << 16;
    GameFrame();
    TakeUISamples();
    controller[0].pad = 0;
    GameFrame();
    EXPECT_EQ(UI.pCurrMenu, nullptr);
    EXPECT_EQ(world.mode, WORLD_MODE_NORMAL);
    EXPECT_EQ(GetPauseScreenMode(), UI_None);
    EXPECT_EQ(gMotionBlurSmoothBrighten.level, 0.885f);
    EXPECT_FALSE(UI.FrameBufSaved);
    EXPECT_EQ(UI.FrameSaveBuffer.refcount, 0);
    EXPECT_FALSE(UIUsesVRAM());
    EXPECT_EQ(vsyncperdraw, 2);
    EXPECT_FALSE(SoundSystem::IsPaused());
    EXPECT_EQ(TakeUISamples(), std::vector<int>{2});
}

// A pause of 15 frames or less saves nothing and builds nothing; with the
// pause ignored (UI_NoScreen) nothing dims.
TEST_F(Interface, ShortPausesBuildNothing)
{
    SetPauseScreenMode(UI_DojoRoundScreen);
    world.mode = WORLD_MODE_PAUSED;
    for (int f = 0; f < 15; f++)
        GameFrame();
    world.mode = WORLD_MODE_NORMAL;
    GameFrame();
    EXPECT_FALSE(UI.FrameBufSaved);
    EXPECT_EQ(UI.pCurrMenu, nullptr);
    EXPECT_EQ(UI.PauseTimer, 0u);

    gMotionBlurSmoothBrighten.level = 0.3f;
    SetPauseScreenMode(UI_NoScreen);
    world.mode = WORLD_MODE_PAUSED;
    for (int f = 0; f < 20; f++)
        GameFrame();
    EXPECT_EQ(gMotionBlurSmoothBrighten.level, 0.3f);
    EXPECT_EQ(world.mode, WORLD_MODE_PAUSED);
    EXPECT_EQ(UI.PauseTimer, 0u);
}

// The dojo screens' captions: the challenge by goalType, EARNED at exactly
// the goal, UNEARNED with the interface font's mark one hit short, blank
// captions for a goal outside the table; no bullet fired is 0% accuracy.
TEST_F(Interface, ResultScreenCaptions)
{
    sDojoRoundStats dojo{7, 7, 9};
    SetDojoRoundStats(&dojo);
    SetPauseScreenMode(UI_DojoRoundScreen);
    UI.CreatePauseMenu();
    ASSERT_NE(UI.pCurrMenu, nullptr);
    EXPECT_STREQ(DojoRoundName, "WINDMILL KICK FINISH");
    EXPECT_STREQ(DojoRoundDesc1, "Enemy is in Front Press");
    EXPECT_STREQ(DojoRoundDesc2, "JUMP-KICK + PUNCH + KICK + JUMP-KICK  Combo");
    EXPECT_STREQ(DojoRoundStatsHit, "Strike 7 WINDMILL KICK FINISH");
    UI.pCurrMenu->Free();

    SetPauseScreenMode(UI_DojoSummaryScreen);
    UI.CreatePauseMenu();
    EXPECT_STREQ(DojoRoundName, "WINDMILL KICK FINISH EARNED!");
    EXPECT_STREQ(DojoRoundStatsHit, "7 Hits");
    UI.pCurrMenu->Free();
    dojo.numHits = 6;
    SetDojoRoundStats(&dojo);
    UI.CreatePauseMenu();
    EXPECT_STREQ(DojoRoundName, "WINDMILL KICK FINISH UNEARNED\x85");
    UI.pCurrMenu->Free();
    dojo.goalType = 13;
    SetDojoRoundStats(&dojo);
    SetPauseScreenMode(UI_DojoRoundScreen);
    UI.CreatePauseMenu();
    EXPECT_STREQ(DojoRoundName, "");
    EXPECT_STREQ(DojoRoundDesc2, "");
    UI.pCurrMenu->Free();

    sShootingRoundStats none{};
    SetShootingRoundStats(&none);
    SetPauseScreenMode(UI_ShootingRoundScreen);
    UI.CreatePauseMenu();
    EXPECT_STREQ(ShootingRoundStatsAccuracy, "ACCURACY:            0%");
    EXPECT_STREQ(ShootingRoundStatsCasualties, "");
    // The blank lines keep their places: the misses stay on row 9.
    EXPECT_EQ(Item(UI.pCurrMenu, 0, 9).zsTitle, ShootingRoundStatsMisses);
    UI.pCurrMenu->Free();
    UI.pCurrMenu = nullptr;
    vsyncperdraw = 2;

    // The table's texts, the two blanks of rows 8 to 10 included.
    EXPECT_STREQ(DojoChallengeDesc2[10], "GRAPPLE + PUNCH + JUMP-KICK  Combo");
    EXPECT_STREQ(DojoChallengeDesc1[0], "Run Towards a Target, then Press");
    EXPECT_STREQ(DojoChallengeName[12], "DIRTY BOXER");
}

// The pause menu opened by a test on mission 3, task 12: its lines, the
// level select (sent twice, for the mission and the task line), the switches
// that act at once, and Start closing it.
TEST_F(Interface, PauseMenuLinesSwitchesAndLevelSelect)
{
    GameController* gc = g_pgcTest;
    gc->i16CurrMission = 3;
    gc->i16CurrTask = 12;
    gc->bHUDOn = true;
    gc->bReticleOn = false;
    g_bAspect = false;
    const u32 timeBefore = world.time_of_day;

    const int counts[] = {13, 21, 16, 17, 17, 13, 15, 18, 14, 13, 16, 14, 7};
    for (int m = 0; m < NUM_UI_MISSIONS; m++) {
        int n = 0;
        while (rgppcTaskNames[m][n] != nullptr)
            n++;
        EXPECT_EQ(n, counts[m]) << MissionNames[m];
    }

    SetPauseScreenMode(UI_PauseScreen);
    world.mode = WORLD_MODE_PAUSED;
    for (int f = 0; f < 16; f++)
        GameFrame();
    UIMenu* m = UI.pCurrMenu;
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(Item(m, 0, 0).zsString, "Mission3");
    EXPECT_STREQ(Item(m, 0, 1).zsString, "M3_S7G7");
    UIForm form{Item(m, 0, 1).zsTitle, Item(m, 0, 1).zsString, '|', {}};
    PauseMenuCode(m, &Item(m, 0, 1), UI_Format, &form);
    EXPECT_STREQ(form.Result, "|task:      M3_S7G7|");
    EXPECT_STREQ(Item(m, 0, 4).zsString, "on");    // hud
    EXPECT_STREQ(Item(m, 0, 5).zsString, "off");   // reticle

    auto press = [&](u16 b) {
        controller[0].pad = 0;
        GameFrame();
        controller[0].pad = u32(b) | u32(b) << 16;
        GameFrame();
    };
    press(UIPAD_DOWN);
    press(UIPAD_DOWN);
    press(UIPAD_DOWN);
    press(UIPAD_DOWN);   // hud
    press(UIPAD_RIGHT);
    EXPECT_FALSE(gc->bHUDOn);
    press(UIPAD_DOWN);   // reticle
    press(UIPAD_LEFT);
    EXPECT_TRUE(gc->bReticleOn);
    press(UIPAD_DOWN);   // night
    const bool night = Item(m, 0, 6).nValue != 0;
    press(UIPAD_RIGHT);
    EXPECT_EQ(world.time_of_day, night ? 2592000u : 0u);
    press(UIPAD_RIGHT);
    EXPECT_EQ(world.time_of_day, night ? 0u : 2592000u);
    press(UIPAD_DOWN);
    press(UIPAD_DOWN);   // 16:9: Left and Right both flip it
    press(UIPAD_RIGHT);
    EXPECT_TRUE(g_bAspect);
    EXPECT_FLOAT_EQ(rc.ax, 0.75f);
    EXPECT_FLOAT_EQ(rc.ay, 0.94f);
    press(UIPAD_LEFT);
    EXPECT_FALSE(g_bAspect);
    EXPECT_FLOAT_EQ(rc.ax, 1.0f);
    press(UIPAD_LEFT);
    EXPECT_TRUE(g_bAspect);

    // Up to the mission line; Cross selects mission 3 (index 2), task 12.
    for (int i = 0; i < 8; i++)
        press(UIPAD_UP);
    EXPECT_EQ(m->nUserRow, 0);
    g_messages.clear();
    press(UIPAD_CROSS);
    ASSERT_EQ(g_messages.size(), 2u);
    for (const SpecialMessage& sm : g_messages) {
        EXPECT_EQ(sm.submsg, SMSG_GC_FORCE_LEVEL);
        EXPECT_EQ(int(sm.param[0]), 2);
        EXPECT_EQ(int(sm.param[1]), 12);
    }
    controller[0].pad = 0;
    GameFrame();
    EXPECT_EQ(UI.pCurrMenu, nullptr);
    EXPECT_EQ(world.mode, WORLD_MODE_NORMAL);

    // Start closes it too.
    SetPauseScreenMode(UI_PauseScreen);
    world.mode = WORLD_MODE_PAUSED;
    for (int f = 0; f < 16; f++)
        GameFrame();
    ASSERT_NE(UI.pCurrMenu, nullptr);
    press(UIPAD_START);
    controller[0].pad = 0;
    GameFrame();
    EXPECT_EQ(UI.pCurrMenu, nullptr);
    EXPECT_EQ(world.mode, WORLD_MODE_NORMAL);
    EXPECT_FALSE(UI.FrameBufSaved);
    world.time_of_day = timeBefore;
    g_bAspect = false;
    rc.SetAspectRatio(1.0f, 1.0f);
}

// The last line, "Progressive:", shows whether the display runs at 480
// progressive lines and switches it at once: Right or Left restarts the
// display at 640 x 512, in GM_480P from any other mode and back in GM_NTSC
// from GM_480P; the restart itself waits for the next scene.
TEST_F(Interface, TheProgressiveLineSwitchesTheDisplayMode)
{
    const GRAPHICS_MODE was = platformps2.graphics_mode;
    const int wasW = platformps2.scrn_width, wasH = platformps2.scrn_height;
    platformps2.graphics_mode = GM_PAL;   // as the game starts
    auto open = [&] {
        SetPauseScreenMode(UI_PauseScreen);
        world.mode = WORLD_MODE_PAUSED;
        for (int f = 0; f < 16; f++)
            GameFrame();
        return UI.pCurrMenu;
    };
    auto press = [&](u16 b) {
        controller[0].pad = 0;
        GameFrame();
        controller[0].pad = u32(b) | u32(b) << 16;
        GameFrame();
    };
    UIMenu* m = open();
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(Item(m, 0, 9).zsTitle, "Progressive:");
    EXPECT_EQ(Item(m, 0, 9).nValue, 0);
    for (int i = 0; i < 10; i++)
        press(UIPAD_DOWN);
    EXPECT_EQ(m->nUserRow, 9);
    press(UIPAD_RIGHT);
    EXPECT_EQ(Platform::GetGraphicsMode(), GM_480P);
    EXPECT_TRUE(platformps2.init_graphics);
    EXPECT_EQ(platformps2.scrn_width, 640);
    EXPECT_EQ(platformps2.scrn_height, 512);
    press(UIPAD_LEFT);
    EXPECT_EQ(Platform::GetGraphicsMode(), GM_NTSC);
    press(UIPAD_LEFT);
    EXPECT_EQ(Platform::GetGraphicsMode(), GM_480P);
    press(UIPAD_START);
    controller[0].pad = 0;
    GameFrame();
    EXPECT_EQ(UI.pCurrMenu, nullptr);
    // Opened again in 480P the line reads on.
    m = open();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(Item(m, 0, 9).nValue, 1);
    press(UIPAD_START);
    controller[0].pad = 0;
    GameFrame();
    platformps2.graphics_mode = was;
    platformps2.scrn_width = wasW;
    platformps2.scrn_height = wasH;
    platformps2.init_graphics = false;
}

// The film look over the pause menu with a seeded generator: the frame 40
// frames into the screen; the veil is full (80) from t = 40 and the menu
// opaque from t = 16.
TEST_F(Interface, PauseMenuFilmLookMatchesTheGoldenPicture)
{
    g_pgcTest->i16CurrMission = 2;
    g_pgcTest->i16CurrTask = 5;
    g_pgcTest->bHUDOn = g_pgcTest->bReticleOn = true;
    SetPauseScreenMode(UI_PauseScreen);
    world.mode = WORLD_MODE_PAUSED;
    for (int f = 0; f < 16; f++)
        GameFrame();
    ASSERT_NE(UI.pCurrMenu, nullptr);
    while (UI.PauseTimer - 15 < 40) {
        GameFrame();
        if (UI.PauseTimer - 15 == 15) {
            EXPECT_FLOAT_EQ(UI.pCurrMenu->Alpha, 120.0f / 128.0f);
        }
        if (UI.PauseTimer - 15 == 16) {
            EXPECT_FLOAT_EQ(UI.pCurrMenu->Alpha, 1.0f);
        }
    }
    golden::ExpectFrameBuffer("ui_pause_menu", kW, kH);
}

// The firing-range result screen 40 frames in.
TEST_F(Interface, FiringRangeResultMatchesTheGoldenPicture)
{
    sShootingRoundStats stats{};
    std::strcpy(stats.name, "FIRING RANGE: ROUND 2");
    stats.numHits = 12;
    stats.numFriendlies = 1;
    stats.numBulletsShot = 20;
    stats.numTargetsHit = 11;
    stats.numBullseyes = 3;
    SetShootingRoundStats(&stats);
    SetPauseScreenMode(UI_ShootingRoundScreen);
    world.mode = WORLD_MODE_PAUSED;
    while (UI.PauseTimer < 15 + 40)
        GameFrame();
    golden::ExpectFrameBuffer("ui_firing_range_result", kW, kH);
    vsyncperdraw = 2;
}

// Over 1,000 frames of the film look the brightness stays within 0.15..0.9
// (0.75 on the map screen); with nothing over the frame the screen is the
// veil's grey, 80 from t = 40; the pause counter stops at its top.
TEST_F(Interface, FilmLookBrightnessVeilAndPauseCounter)
{
    for (UIPauseScreenMode mode : {UI_PauseScreen, UI_MapScreen}) {
        UI.PauseScreenMode = mode;
        const float top = mode == UI_MapScreen ? 0.75f : 0.9f;
        float lo = 1.0f, hi = 0.0f;
        for (int t = 1; t <= 1000; t++) {
            therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
            UI.DrawPauseMenu(false, t);
            therenderer.EndScene();
            lo = std::min(lo, gMotionBlurSmoothBrighten.level);
            hi = std::max(hi, gMotionBlurSmoothBrighten.level);
        }
        EXPECT_GE(lo, 0.15f);
        EXPECT_LE(hi, top);
        EXPECT_EQ(hi, top);   // the walk reaches its ceiling in 1,000 steps
        EXPECT_EQ(lo, 0.15f);
    }
    for (int t : {20, 40, 1000}) {
        Frame([&] { UI.DrawPauseMenu(false, t); });
        std::map<u32, int> counts;
        for (u32 p : golden::FramePicture(kW, kH))
            counts[p & 0xFFFFFF]++;
        const auto most = std::max_element(counts.begin(), counts.end(),
                                           [](auto& a, auto& b) { return a.second < b.second; });
        const u32 grey = u32(std::min(80, 2 * t));
        EXPECT_EQ(most->first, grey | grey << 8 | grey << 16) << t;
    }

    world.mode = WORLD_MODE_PAUSED_NODRAW;
    UI.PauseTimer = 0xFFFFFFFE;
    GameFrame();
    GameFrame();
    EXPECT_EQ(UI.PauseTimer, 0xFFFFFFFFu);
}

// The film roll: a roll of 0, of H or within half a pixel of either draws
// the picture in place (brightened twice by 135/128); -H/4 draws as 3H/4,
// the picture moved down by 3H/4 and wrapped; the work surface's memory is
// given back each time.
TEST_F(Interface, ScreenRollInPlaceAndWrapped)
{
    auto rolled = [&](float roll) {
        Frame([&] {
            Render2D r;
            r.Open(therenderer);
            for (int band = 0; band < 8; band++)
                r.DrawRect(PixelX(0).v, PixelY(band * 64).v, PixelX(kW).v, PixelY(band * 64 + 64).v,
                           Colour(u8(20 + band * 25), u8(100 - band * 10), u8(band * 8), 128), 1);
            r.DrawRect(PixelX(300).v, PixelY(10).v, PixelX(340).v, PixelY(30).v, Colour(255, 255, 255, 128), 1);
            r.Close(therenderer);
            if (roll == roll)
                UI.ScreenRoll(roll, 1.0f);
        });
        return golden::FramePicture(kW, kH);
    };
    const std::vector<u32> plain = rolled(NAN);
    const std::vector<u32> still = rolled(0.0f);
    EXPECT_NE(still, plain);
    // Brighter by about (135/128)^2 on a mid grey band.
    const int before = int(plain[size_t(200) * kW + 10] & 0xFF), after = int(still[size_t(200) * kW + 10] & 0xFF);
    EXPECT_NEAR(after, before * 135 * 135 / (128 * 128), 8);
    for (float r : {float(kH), 0.4f, float(kH) - 0.4f, float(kH) * 7})
        EXPECT_EQ(rolled(r), still) << r;

    const std::vector<u32> quarter = rolled(-float(kH) / 4);
    EXPECT_EQ(rolled(3.0f * kH / 4), quarter);
    for (int y = 0; y < kH; y++)
        for (int x : {5, 320})
            ASSERT_EQ(quarter[size_t(y) * kW + x], still[size_t((y + kH / 4) % kH) * kW + x]) << x << "," << y;
    // Twenty more rolls still draw: nothing of the work surfaces was kept.
    for (int i = 0; i < 20; i++)
        rolled(100.0f);
    EXPECT_EQ(rolled(0.0f), still);
}

namespace {

// The loading screen's chosen picture: DEMOSCR1 as the disc holds it.
void ChooseDemoScreen1()
{
    std::vector<u8> file;
    std::string error;
    ASSERT_TRUE(tools::EncodeIpu(tools::DiscStill("DEMOSCR1", 640, 512), tools::IpuEncodeOptions{}, file, error))
        << error;
    UI.pipubmOverride = static_cast<IPUBitmap*>(malloc_align(u32(file.size()), 64));
    std::memcpy(UI.pipubmOverride, file.data(), file.size());
    UI.overrideSize = u32(file.size());
}

}  // namespace

// The loading screen: the first frame is the flickering white screen and the
// text only, the picture texture is set up at the second; the white veil is
// gone at the 16th; with the continue prompt a DEMOSCR1 frame matches its
// golden picture.
TEST_F(Interface, LoadingFramesAndTheContinuePromptOverDemoScreen1)
{
    ASSERT_NO_FATAL_FAILURE(ChooseDemoScreen1());
    UI.LoadTimer = 0;
    SetDemoLoadState(2);

    Frame([] { Loading_UIDraw(); });
    EXPECT_EQ(UI.LoadScrnBuffer.refcount, 0);
    EXPECT_FALSE(UIUsesVRAM());
    // White but for the prompt at the bottom.
    const std::vector<u32> first = golden::FramePicture(kW, kH);
    int white = 0;
    for (int y = 0; y < 448; y++)
        for (int x = 0; x < kW; x++)
            white += (first[size_t(y) * kW + x] & 0xFFFFFF) == 0xFFFFFF;
    EXPECT_EQ(white, kW * 448);
    Frame([] { Loading_UIDraw(); });
    EXPECT_EQ(UI.LoadScrnBuffer.refcount, 1);
    EXPECT_TRUE(UIUsesVRAM());
    // The picture is decoded again on frames 2 to 5 only: a texel spoilt
    // before frame 5 comes back, one spoilt after it stays.
    const u32 base = u32(UI.LoadScrnBuffer.tex0 & 0x3FFF);
    auto texel = [&] { return console::gs::Vram().ReadPixel(console::gs::Psm::kCT16S, base, 10, 3, 3); };
    const u32 good = texel();
    auto spoil = [&] { console::gs::Vram().WritePixel(console::gs::Psm::kCT16S, base, 10, 3, 3, good ^ 0x7FFF); };
    while (UI.LoadTimer < 20) {
        if (UI.LoadTimer == 4)
            spoil();
        Frame([] { Loading_UIDraw(); });
        if (UI.LoadTimer == 5) {
            EXPECT_EQ(texel(), good);
        }
        // The veil is gone from frame 16: the picture's top row is no
        // longer whitened.
        if (UI.LoadTimer == 16) {
            EXPECT_NE(golden::FramePixel(10, 10, kW) & 0xFFFFFF, 0xFFFFFFu);
        }
    }
    golden::ExpectFrameBuffer("ui_loading_demoscr1", kW, kH);
    spoil();
    Frame([] { Loading_UIDraw(); });
    EXPECT_EQ(texel(), good ^ 0x7FFF);

    StopUILoadScreen();
    EXPECT_EQ(UI.LoadScrnBuffer.refcount, 0);
    EXPECT_EQ(UI.pipubmOverride, nullptr);
    EXPECT_FALSE(UIUsesVRAM());
    SetDemoLoadState(0);
}

// A chosen picture whose stream breaks off mid-way is refused in one line
// naming its file; the built-in picture shows in its place, texel for texel
// as when none was chosen, and the heap is as it was.
TEST_F(Interface, LoadingScreenPictureCutMidStreamGivesWayToTheBuiltInOne)
{
    auto texels = [] {
        const int w = UI.LoadScrnBuffer.width, h = UI.LoadScrnBuffer.height;
        const u32 base = u32(UI.LoadScrnBuffer.tex0 & 0x3FFF);
        std::vector<u32> t;
        for (int y = 0; y < h; y += 5)
            for (int x = 0; x < w; x += 3)
                t.push_back(console::gs::Vram().ReadPixel(console::gs::Psm::kCT16S, base, (w + 63) / 64, x, y));
        return t;
    };
    // The built-in picture, none chosen.
    UI.LoadTimer = 0;
    SetDemoLoadState(0);
    Frame([] { Loading_UIDraw(); });
    Frame([] { Loading_UIDraw(); });
    ASSERT_EQ(UI.LoadScrnBuffer.refcount, 1);
    const int builtInW = UI.LoadScrnBuffer.width, builtInH = UI.LoadScrnBuffer.height;
    const std::vector<u32> builtIn = texels();
    // Spoilt, so that only a new decode brings the built-in picture back.
    const u32 base = u32(UI.LoadScrnBuffer.tex0 & 0x3FFF);
    for (int y = 0; y < builtInH; y++)
        for (int x = 0; x < builtInW; x++)
            console::gs::Vram().WritePixel(console::gs::Psm::kCT16S, base, (builtInW + 63) / 64, x, y, 0x1234);
    StopUILoadScreen();
    const unsigned heapBefore = TotalHeapFree();

    ASSERT_NO_FATAL_FAILURE(ChooseDemoScreen1());
    UI.pipubmOverride->length = (UI.pipubmOverride->length / 3) & ~15u;   // cut a third of the way in
    std::snprintf(UI.overrideName, sizeof UI.overrideName, "KORVALIS\\DemoData\\DEMOSCR1.IPU");
    UI.LoadTimer = 0;
    console::ClearConsoleText();
    for (int f = 0; f < 8; f++)
        Frame([] { Loading_UIDraw(); });
    const std::string& said = console::ConsoleText();
    const std::string line =
        "IPUBitmap::KORVALIS\\DemoData\\DEMOSCR1.IPU: the picture's stream breaks off after ";
    const size_t at = said.find(line);
    EXPECT_NE(at, std::string::npos) << said;
    EXPECT_EQ(said.find(line, at + 1), std::string::npos) << said;
    EXPECT_EQ(said.find("breaks off", said.find("breaks off") + 1), std::string::npos) << said;
    EXPECT_NE(said.find("loading screen: the built-in picture shows\n"), std::string::npos) << said;
    EXPECT_EQ(UI.pipubmOverride, nullptr);
    ASSERT_EQ(UI.LoadScrnBuffer.refcount, 1);
    EXPECT_EQ(UI.LoadScrnBuffer.width, builtInW);
    EXPECT_EQ(UI.LoadScrnBuffer.height, builtInH);
    EXPECT_EQ(texels(), builtIn);
    StopUILoadScreen();
    EXPECT_EQ(TotalHeapFree(), heapBefore);
    SetDemoLoadState(0);
}

// Loads that wait call the loading screen back as often as they like: it
// draws at most one frame per two vertical blanks, the first at once.  The
// picture chosen for a loading screen is used once; the first frame of the
// game after loading is at full brightness and gives the picture back.
TEST(LoadingScreen, AtMostOneFramePerTwoBlanksAndTheOverrideOnce)
{
    platform_test::PowerOff();
    GameController* const before = g_pgcTest;
    StartUp(0, nullptr);
    GameController* gc = g_pgcTest;
    gc->iDemoLoadScreenOverride = 3;
    gc->StartLoading();
    EXPECT_EQ(gc->iDemoLoadScreenOverride, 0);
    EXPECT_EQ(UI.LoadTimer, 0);
    UI.Loading_UI(0);
    EXPECT_EQ(UI.LoadTimer, 1);
    for (int round = 0; round < 10; round++)
        LoadingCallback::cbs.DoCallbacks(nullptr);
    EXPECT_EQ(UI.LoadTimer, 1);
    Platform::Sync();
    UI.Loading_UI(0);
    EXPECT_EQ(UI.LoadTimer, 1);
    Platform::Sync();
    for (int round = 0; round < 10; round++)
        UI.Loading_UI(0);
    EXPECT_EQ(UI.LoadTimer, 2);
    EXPECT_EQ(UI.LoadScrnBuffer.refcount, 1);
    gc->EndLoading();
    EXPECT_EQ(UI.LoadScrnBuffer.refcount, 0);

    // The next loading screen shows the built-in picture.
    gc->StartLoading();
    EXPECT_EQ(UI.pipubmOverride, nullptr);
    for (int f = 0; f < 3; f++) {
        Platform::Sync();
        Platform::Sync();
        UI.Loading_UI(0);
    }
    EXPECT_EQ(UI.LoadTimer, 3);
    gMotionBlurSmoothBrighten.level = 0.4f;
    gc->EndLoading();
    UI.isLoading = true;
    world.mode = WORLD_MODE_NORMAL;
    UI.vFadeOutTimer = 0.0f;
    UI.bEnableAutoBlurFade = false;
    Run_UI();
    EXPECT_EQ(gMotionBlurSmoothBrighten.level, 1.0f);
    EXPECT_FALSE(UI.isLoading);
    EXPECT_TRUE(UI.wasLoading);
    EXPECT_FALSE(UIUsesVRAM());
    UI.bEnableAutoBlurFade = true;
    gMotionBlurSmoothBrighten.level = 0.0f;
    discrun::EndStartedProgram(before);
}

// With room for the menu record but not its lines, building a screen gives
// back what it took and yields none; the paused game then plays on as if
// the screen had closed.
TEST_F(Interface, AScreenWithoutMemoryIsNotShownAndTheGamePlaysOn)
{
    void* room = malloc(sizeof(UIMenu));
    std::vector<void*> held;
    for (size_t size = size_t(1) << 24; size >= 16; size /= 2)
        for (void* p; (p = malloc(size)) != nullptr;)
            held.push_back(p);
    free(room);
    const u32 before = TotalFree();
    EXPECT_EQ(CreateMenuFromUISetup(&TestScreen), nullptr);
    EXPECT_EQ(TotalFree(), before);

    SetPauseScreenMode(UI_ShootingRoundScreen);
    world.mode = WORLD_MODE_PAUSED;
    for (int f = 0; f < 16; f++)
        GameFrame();
    EXPECT_EQ(UI.pCurrMenu, nullptr);
    EXPECT_EQ(world.mode, WORLD_MODE_NORMAL);
    EXPECT_EQ(GetPauseScreenMode(), UI_None);
    EXPECT_FALSE(UI.FrameBufSaved);
    EXPECT_FALSE(SoundSystem::IsPaused());
    EXPECT_EQ(TotalFree(), before);
    for (void* p : held)
        free(p);
}

