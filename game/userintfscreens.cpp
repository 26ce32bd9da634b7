// The screens' tables and callbacks: the pause menu (level select and option
// switches) and the dojo and firing-range result screens.
#include "game/userintf.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/LightSets.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/fbfx.h"

int g_iUIMissionSel;
int g_iUITask;
bool g_bAspect;
int SFX_ON = 1;

// ---------------------------------------------------------------- pause menu

const char* const MissionNames[NUM_UI_MISSIONS + 1] = {
    "Mission1", "Mission2", "Mission3", "Mission4",  "Mission5",  "Mission6", "Mission7",
    "Mission8", "Mission9", "Mission10", "Mission11", "Mission12", "Bonus13", nullptr,
};

namespace {

// The story's steps by mission, in script order (a label may repeat: the
// position is what the level select sends).
const char* const TaskNames1[] = {"M1_S1G1", "M1_S2G2", "M1_S3a", "M1_S3b", "M1_G3", "M1_S4a", "M1_S4b",
                                  "M1_S4a2G4", "M1_S5G5", "M1_S6a", "M1_S6a2G6", "M1_S6bG6", "BonusDT", nullptr};
const char* const TaskNames2[] = {"M2_S1A", "M2_G1", "M2_S2G2", "M2_G2Repeat", "M2_S3", "M2_G3", "M2_S4G4",
                                  "M2_S5", "M2_G5", "M2_G6A", "M2_G6B", "M2_S7A", "M2_S8", "M2_S9", "M2_S9",
                                  "M2_JumpTo24", "M2_JumpTo25", "M2_GXDojo", "M2_S1B", "BonusDT", "M2_S7B", nullptr};
const char* const TaskNames3[] = {"M3_S1A", "M3_S1B", "M3_G1", "M3_S2_01", "M3_S2G2_02", "M3_S3G3",
                                  "M3_S4AG4", "M3_S4BG4", "M3_S4CG4", "M3_S5", "M3_G5", "M3_S6G6", "M3_S7G7",
                                  "M3_S8_01", "M3_S8_02G8", "BonusDT", nullptr};
const char* const TaskNames4[] = {"M4_S1a", "M4_G1", "M4_G1", "M4_S201", "M4_S202G2", "M4_S3G3", "M4_S4a",
                                  "M4_G4b", "M4_G4", "M4_S5G5", "M4_S6G6", "M4_S7a", "M4_S7b", "M4_G7",
                                  "M4_S8G8", "M4_S9G9", "BonusDT", nullptr};
const char* const TaskNames5[] = {"M5_S1aG1", "M5_S1b", "M5_G1", "M5_S201", "M5_S202G2", "M5_S3aG3",
                                  "M5_S3bG3", "M5_S401", "M5_S402", "M5_G4", "M5_S5G5", "M5_S6G6", "M5_S701",
                                  "M5_S702G7", "M5_S8", "M5_G8", "BonusDT", nullptr};
const char* const TaskNames6[] = {"M6_S1a", "M6_S1b", "M6_G1", "M6_S202G2", "M6_S202G2", "M6_S3G3", "M6_S4G4",
                                  "M6_S5G5", "M6_S6AG6", "M6_S7G7", "M6_S8G8", "M6_S6BG6", "BonusDT", nullptr};
const char* const TaskNames7[] = {"M7_S1aG1", "M7_S1b", "M7_G1", "M7_S2G2", "M7_S3G3", "M7_G4", "M7_S5G5",
                                  "M7_S6a01", "M7_S6a02G6", "M7_S6b01", "M7_S6b02", "M7_S701", "M7_S702G7",
                                  "M7_S8G8", "BonusDT", nullptr};
const char* const TaskNames8[] = {"M8_S1a01", "M8_S1a02G1", "M8_S1b02G1", "M8_S2", "M8_G2", "M8_S3G3",
                                  "M8_S4a", "M8_G4", "M8_S4bG4", "M8_S501", "M8_S502G5", "M8_S601",
                                  "M8_S602G6", "M8_S7G7", "M8_S8a", "M8_S8b", "M8_S9G9", "M8_S2B", nullptr};
const char* const TaskNames9[] = {"M9_S101", "M9_S102G1", "M9_S2G2", "M9_S3", "M9_G3", "M9_S401", "M9_S402G4",
                                  "M9_S5G5", "M9_S6G6", "M9_S7G7", "M9_S8G8", "M9_S9aG9", "M9_S9bG9", "BonusDT",
                                  nullptr};
const char* const TaskNames10[] = {"M10_S1a", "M10_S1bG1", "M10_G1", "M10_S2G2", "M10_S3G3", "M10_S4G4",
                                   "M10_S5aG5", "M10_S6G6", "M10_S7G7", "M10_S8a", "M10_S8b", "M10_S901",
                                   "M10_S902G9", nullptr};
const char* const TaskNames11[] = {"M11_S1G1", "M11_S2G2", "M11_S3G3", "M11_S4a", "M11_S4bG4", "M11_S4c",
                                   "M11_G4", "M11_S5aG5", "M11_S5bG5", "M11_S6", "M11_G6", "M11_S7B01",
                                   "M11_S7B02G7", "M11_S8G8", "M11_S7AG7", "BonusDT", nullptr};
const char* const TaskNames12[] = {"M12_S1a", "M12_S1bG1", "M12_G1", "M12_S2G2", "M12_S3aG3", "M12_S3bG3",
                                   "M12_S4a", "M12_S4b", "M12_G4", "M12_S5G5", "M12_S6G6", "M12_S7G7",
                                   "M12_S8a", "M12_S8b", nullptr};
const char* const TaskNames13[] = {"Impound Garage", "24/7 Dojo", "24/7 Range", "24/7 Race",
                                   "Bonus Race", "Bonus Shoot", "Bonus Dojo", nullptr};

}  // namespace

const char* const* const rgppcTaskNames[NUM_UI_MISSIONS + 1] = {
    TaskNames1, TaskNames2, TaskNames3,  TaskNames4,  TaskNames5,  TaskNames6,  TaskNames7,
    TaskNames8, TaskNames9, TaskNames10, TaskNames11, TaskNames12, TaskNames13, nullptr,
};

namespace {

// Title, blanks and value of a pause-menu line fill this many characters.
constexpr int kPauseLineWidth = 18;
constexpr float kPauseX = 56.0f, kPauseY = 160.0f, kPausePitch = 24.0f;

const UISetup PauseItems[] = {
    {"mission:", UI_StringList, MissionNames, UI_Mission, 0, 0, 0},
    {"task:", UI_StringListList, rgppcTaskNames, UI_Task, 0, 0, 0},
    {"music:", UI_Bool, nullptr, UI_MusicOn, 0, 0, 0},
    {"sfx:", UI_Bool, &SFX_ON, UI_NoID, 0, 0, 0},
    {"hud:", UI_Bool, nullptr, UI_HUD, 0, 0, 0},
    {"reticle:", UI_Bool, nullptr, UI_RETICLE, 0, 0, 0},
    {"night:", UI_Bool, nullptr, UI_Night, 0, 0, 0},
    {"invincible:", UI_Bool, nullptr, UI_Invincibility, 0, 0, 0},
    {"16:9:", UI_Bool, nullptr, UI_AspectRatio, 0, 0, 0},
    {"Progressive:", UI_Bool, nullptr, UI_Progressive, 0, 0, 0},
};
const UISetup PauseTitleItems[] = {{"KORVALIS", UI_NoData, nullptr, UI_NoID, 0, 0, 0}};
const UISetup PauseFootItems[] = {{"press START to continue", UI_NoData, nullptr, UI_NoID, 0, 0, 0}};
const UIColSetup PauseColumns[] = {
    {kPauseX, kPauseY, kPausePitch, 10, PauseItems},
    {56.0f, 48.0f, 0.0f, 1, PauseTitleItems},
    {56.0f, 392.0f, 0.0f, 1, PauseFootItems},
};
const UIMenuSetup PauseMenuColumns[] = {{&PauseColumns[0], true}, {&PauseColumns[1], false}, {&PauseColumns[2], false}};

// The loading screen's caption screen (no screen mode builds it).
char MissionNumber[64];
const UISetup LoadScreenMission[] = {{MissionNumber, UI_NoData, nullptr, UI_CurrentMission, 0, 0, 0}};
const UISetup LoadScreenFoot[] = {{"press START to continue", UI_NoData, nullptr, UI_NoID, 0, 0, 0}};
const UIColSetup LoadScreenColumns[] = {{56.0f, 48.0f, 0.0f, 1, LoadScreenMission},
                                        {56.0f, 392.0f, 0.0f, 1, LoadScreenFoot}};
const UIMenuSetup LoadScreenMenuColumns[] = {{&LoadScreenColumns[0], false}, {&LoadScreenColumns[1], false}};

constexpr u32 kNoonFrames = 2592000;

}  // namespace

const UIScreenSetup PauseMenu = {::PauseMenuCode, "[P A U S E D]", 192.0f, 72.0f, 3, PauseMenuColumns};
const UIScreenSetup LoadScreen = {::LoadScreenCode, "[KORVALIS]", 96.0f, 72.0f, 2, LoadScreenMenuColumns};

void PauseMenuCode(UIMenu* menu, UIItem* item, UIAction action, void* data)
{
    UI.PauseMenuCode(menu, item, action, data);
}

void LoadScreenCode(UIMenu*, UIItem*, UIAction, void*) {}

void UserInterface::PauseMenuCode(UIMenu* menu, UIItem* item, UIAction action, void* data)
{
    GameController* gc = g_pgcTest;
    if (item == nullptr) {
        if (action == UI_Update) {
            if (g_pGUIFont != nullptr) {
                Render2D r2d;
                r2d.Open(therenderer);
                r2d.SetColour(Colour(128, 32, 32, u8(menu->Alpha * 128.0f)));
                g_pGUIFont->Print(r2d, kPauseX + menu->OffsX, kPauseY + kPausePitch * float(menu->nUserRow) + menu->OffsY,
                                  0.0f, "\\                  \\", -1);
                r2d.Close(therenderer);
            }
            if (menu->HitPad & UIPAD_START)
                menu->Exit = true;
        } else if (action == UI_Exit) {
            CloseScreen();
        }
        return;
    }

    switch (action) {
    case UI_Init:
        switch (item->ID) {
        case UI_Mission:
            g_iUIMissionSel = std::clamp(gc != nullptr ? gc->i16CurrMission - 1 : 0, 0, NUM_UI_MISSIONS - 1);
            item->nValue = g_iUIMissionSel;
            break;
        case UI_Task:
            SetupStringListList(item, g_iUIMissionSel);
            // A task past the mission's list shows its first.
            g_iUITask = gc != nullptr ? gc->i16CurrTask : 0;
            if (g_iUITask < 0 || g_iUITask > item->MaxVal)
                g_iUITask = 0;
            item->nValue = g_iUITask;
            break;
        case UI_MusicOn: item->nValue = bgm.volumefactor != 0.0f; break;
        case UI_HUD: item->nValue = gc != nullptr && gc->bHUDOn; break;
        case UI_RETICLE: item->nValue = gc != nullptr && gc->bReticleOn; break;
        case UI_Night: item->nValue = streetLight != 0; break;
        case UI_Invincibility: item->nValue = gc != nullptr && gc->bSuperDace; break;
        case UI_AspectRatio: item->nValue = g_bAspect; break;
        case UI_Progressive: item->nValue = Platform::GetGraphicsMode() == GM_480P; break;
        case UI_CurrentMission:
            snprintf(MissionNumber, sizeof MissionNumber, "mission %d", gc != nullptr ? gc->i16CurrMission : 0);
            break;
        default: break;
        }
        break;
    case UI_Inc:
    case UI_Dec: {
        const bool on = item->nValue != 0;
        switch (item->ID) {
        case UI_HUD:
            if (gc != nullptr)
                gc->bHUDOn = on;
            break;
        case UI_RETICLE:
            if (gc != nullptr)
                gc->bReticleOn = on;
            break;
        case UI_Invincibility:
            if (gc != nullptr)
                gc->bSuperDace = on;
            break;
        case UI_Night: world.time_of_day = on ? 0 : kNoonFrames; break;
        case UI_MusicOn: {
            const float factor = on ? 1.0f : 0.0f;
            if (bgm.volumefactor != factor) {
                bgm.volumefactor = factor;
                bgm.SetVolume(bgm.curvolume);
            }
            break;
        }
        case UI_AspectRatio:
            g_bAspect = !g_bAspect;
            rc.SetAspectRatio(g_bAspect ? 0.75f : 1.0f, 0.94f);
            break;
        case UI_Progressive:
            Platform::InitGraphics(Platform::GetGraphicsMode() == GM_480P ? GM_NTSC : GM_480P, 640, 512);
            break;
        default: break;
        }
        break;
    }
    case UI_Select:
        if (item->ID == UI_Mission || item->ID == UI_Task) {
            if (gc != nullptr) {
                SpecialMessage m(SMSG_GC_FORCE_LEVEL, nullptr, g_iUIMissionSel, g_iUITask);
                gc->SendMessage(OM_SPECIAL, &m);
            }
            menu->Exit = true;
        }
        break;
    case UI_Format: {
        UIForm& form = *static_cast<UIForm*>(data);
        const int used = int(strlen(form.zsTitle) + strlen(form.zsText));
        const int blanks = std::max(0, kPauseLineWidth - used);
        snprintf(form.Result, sizeof form.Result, "%c%s%*s%s%c", form.Mark, form.zsTitle, blanks, "", form.zsText,
                 form.Mark);
        break;
    }
    default: break;
    }
}

// ---------------------------------------------------------------- result screens

const char DojoChallengeName[NUM_DOJO_CHALLENGES][25] = {
    "RUNNING ATTACKS",     "BACK ATTACKS",          "GROUND ATTACKS",   "GRAPPLE ATTACKS",
    "SWEEP-KICK FINISH",   "SPIN UPPERCUT FINISH",  "SPIN JUMP-KICK FINISH", "DROP-KICK FINISH",
    "DOUBLE PUNCH FINISH", "WINDMILL KICK FINISH",  "ARMTWIST THROW",   "ARMBREAK KICK",
    "DIRTY BOXER",
};
const char DojoChallengeDesc1[NUM_DOJO_CHALLENGES][64] = {
    "Run Towards a Target, then Press", "Enemy Behind You Press", "Enemy is on Ground Press",
    "Enemy is in Front Press",          "Enemy is in Front Press", "Enemy is in Front Press",
    "Enemy is in Front Press",          "Enemy is in Front Press", "Enemy is in Front Press",
    "Enemy is in Front Press",          "Enemy is in Front Press", "Enemy is in Front Press",
    "Enemy is in Front Press",
};
const char DojoChallengeDesc2[NUM_DOJO_CHALLENGES][64] = {
    "KICK or PUNCH or JUMP-KICK Button",
    "KICK or PUNCH or JUMP-KICK Button",
    "KICK or PUNCH Button",
    "GRAPPLE Button",
    "KICK + JUMP-KICK + KICK Combo",
    "PUNCH + KICK + JUMP-KICK Combo",
    "JUMP-KICK + PUNCH + KICK Combo",
    "KICK + JUMP-KICK + KICK + JUMP-KICK Combo",
    "PUNCH + KICK + JUMP-KICK + PUNCH  Combo",
    "JUMP-KICK + PUNCH + KICK + JUMP-KICK  Combo",
    "GRAPPLE + PUNCH + JUMP-KICK  Combo",
    "GRAPPLE + PUNCH + KICK Combo",
    "GRAPPLE + KICK + PUNCH Combo",
};

char DojoRoundName[64], DojoRoundStatsHit[64], DojoRoundDesc1[64], DojoRoundDesc2[64];
char ShootingRoundName[64], ShootingRoundStatsTargetHit[64], ShootingRoundStatsCasualties[64],
    ShootingRoundStatsBullseye[64], ShootingRoundStatsShots[64], ShootingRoundStatsHits[64],
    ShootingRoundStatsMisses[64], ShootingRoundStatsAccuracy[64], ShootingRoundPressXToCont[64],
    ShootingRoundPressTToRetry[64];

namespace {

const char kSeparator[] = "--------------------------";

const UISetup DojoRoundItems[] = {
    {DojoRoundName, UI_NoData, nullptr, UI_DojoRoundTitle, 0, 0, 0},
    {"", UI_NoData, nullptr, UI_DojoSummaryFiller, 0, 0, 0},
    {DojoRoundDesc1, UI_NoData, nullptr, UI_DojoRoundDesc1, 0, 0, 0},
    {DojoRoundDesc2, UI_NoData, nullptr, UI_DojoRoundDesc2, 0, 0, 0},
    {"", UI_NoData, nullptr, UI_DojoSummaryFiller, 0, 0, 0},
    {DojoRoundStatsHit, UI_NoData, nullptr, UI_DojoRoundHits, 0, 0, 0},
    {"Press X to Begin", UI_NoData, nullptr, UI_DojoSummaryFiller, 0, 0, 0},
};
const UISetup DojoSummaryItems[] = {
    {DojoRoundName, UI_NoData, nullptr, UI_DojoRoundTitle, 0, 0, 0},
    {"", UI_NoData, nullptr, UI_DojoSummaryFiller, 0, 0, 0},
    {"", UI_NoData, nullptr, UI_DojoSummaryFiller, 0, 0, 0},
    {DojoRoundStatsHit, UI_NoData, nullptr, UI_DojoRoundHits, 0, 0, 0},
    {"Press X to Exit", UI_NoData, nullptr, UI_DojoSummaryFiller, 0, 0, 0},
    {"Press T to Try again", UI_NoData, nullptr, UI_DojoSummaryFiller, 0, 0, 0},
};
const UISetup ShootingRoundItems[] = {
    {ShootingRoundName, UI_NoData, nullptr, UI_ShootRoundTitle, 0, 0, 0},
    {kSeparator, UI_NoData, nullptr, UI_ShootRoundFiller, 0, 0, 0},
    {ShootingRoundStatsTargetHit, UI_NoData, nullptr, UI_ShootRoundTargetHits, 0, 0, 0},
    {"", UI_NoData, nullptr, UI_ShootRoundFiller, 0, 0, 0},
    {ShootingRoundStatsCasualties, UI_NoData, nullptr, UI_ShootRoundCasualties, 0, 0, 0},
    {ShootingRoundStatsBullseye, UI_NoData, nullptr, UI_ShootRoundBullseyes, 0, 0, 0},
    {"", UI_NoData, nullptr, UI_ShootRoundFiller, 0, 0, 0},
    {ShootingRoundStatsShots, UI_NoData, nullptr, UI_ShootRoundShots, 0, 0, 0},
    {ShootingRoundStatsHits, UI_NoData, nullptr, UI_ShootRoundHits, 0, 0, 0},
    {ShootingRoundStatsMisses, UI_NoData, nullptr, UI_ShootRoundMisses, 0, 0, 0},
    {kSeparator, UI_NoData, nullptr, UI_ShootRoundFiller, 0, 0, 0},
    {ShootingRoundStatsAccuracy, UI_NoData, nullptr, UI_ShootRoundAccuracy, 0, 0, 0},
    {"", UI_NoData, nullptr, UI_ShootRoundFiller, 0, 0, 0},
    {ShootingRoundPressXToCont, UI_NoData, nullptr, UI_ShootRoundNext, 0, 0, 0},
    {ShootingRoundPressTToRetry, UI_NoData, nullptr, UI_ShootRoundRetry, 0, 0, 0},
};
constexpr float kResultX = 56.0f, kResultY = 48.0f, kResultPitch = 24.0f;
const UIColSetup DojoRoundColumn = {kResultX, kResultY, kResultPitch, 7, DojoRoundItems};
const UIColSetup DojoSummaryColumn = {kResultX, kResultY, kResultPitch, 6, DojoSummaryItems};
const UIColSetup ShootingRoundColumn = {kResultX, kResultY, kResultPitch, 15, ShootingRoundItems};
const UIMenuSetup DojoRoundColumns[] = {{&DojoRoundColumn, false}};
const UIMenuSetup DojoSummaryColumns[] = {{&DojoSummaryColumn, false}};
const UIMenuSetup ShootingRoundColumns[] = {{&ShootingRoundColumn, false}};

// The challenge's row; a goal outside the table gives blank captions.
const char* ChallengeText(const char (*table)[64], int g)
{
    return g >= 0 && g < NUM_DOJO_CHALLENGES ? table[g] : "";
}
const char* ChallengeName(int g)
{
    return g >= 0 && g < NUM_DOJO_CHALLENGES ? DojoChallengeName[g] : "";
}

}  // namespace

const UIScreenSetup DojoRoundMenu = {::DojoRoundCode, "", 192.0f, 72.0f, 1, DojoRoundColumns};
const UIScreenSetup DojoSummaryMenu = {::DojoSummaryCode, "", 192.0f, 72.0f, 1, DojoSummaryColumns};
const UIScreenSetup ShootingRoundMenu = {::ShootingRoundCode, "", 192.0f, 72.0f, 1, ShootingRoundColumns};

void SetDojoRoundStats(sDojoRoundStats* stats)
{
    UI.DojoRoundStats = *stats;
}

void SetShootingRoundStats(sShootingRoundStats* stats)
{
    UI.ShootingRoundStats = *stats;
}

void DojoRoundCode(UIMenu* menu, UIItem* item, UIAction action, void* data)
{
    UI.DojoRoundCode(menu, item, action, data);
}
void DojoSummaryCode(UIMenu* menu, UIItem* item, UIAction action, void* data)
{
    UI.DojoSummaryCode(menu, item, action, data);
}
void ShootingRoundCode(UIMenu* menu, UIItem* item, UIAction action, void* data)
{
    UI.ShootingRoundCode(menu, item, action, data);
}

// What the three result screens do alike at menu level: the screen runs at
// one blank a frame, only Cross acts, and closing returns to the game.
void UserInterface::ScreenSetup(UIMenu* menu)
{
    save_vsyncperdraw = vsyncperdraw;
    vsyncperdraw = 1;
    menu->AnalogDZone = 40;
}

void UserInterface::ResultMenuLevel(UIMenu* menu, UIAction action)
{
    if (action == UI_Init) {
        ScreenSetup(menu);
    } else if (action == UI_Update) {
        if (menu->HitPad & UIPAD_CROSS)
            menu->Exit = true;
    } else if (action == UI_Exit) {
        vsyncperdraw = save_vsyncperdraw;
        CloseScreen();
    }
}

void UserInterface::DojoRoundCode(UIMenu* menu, UIItem* item, UIAction action, void*)
{
    const int g = DojoRoundStats.goalType;
    if (item == nullptr) {
        ResultMenuLevel(menu, action);
        return;
    }
    if (action != UI_Init)
        return;
    item->DrawBars = false;
    switch (item->ID) {
    case UI_DojoRoundTitle: snprintf(DojoRoundName, sizeof DojoRoundName, "%s", ChallengeName(g)); break;
    case UI_DojoRoundDesc1:
        snprintf(DojoRoundDesc1, sizeof DojoRoundDesc1, "%s", ChallengeText(DojoChallengeDesc1, g));
        break;
    case UI_DojoRoundDesc2:
        snprintf(DojoRoundDesc2, sizeof DojoRoundDesc2, "%s", ChallengeText(DojoChallengeDesc2, g));
        break;
    case UI_DojoRoundHits:
        if (g >= 0 && g < NUM_DOJO_CHALLENGES)
            snprintf(DojoRoundStatsHit, sizeof DojoRoundStatsHit, "Strike %d %s", DojoRoundStats.numGoal,
                     ChallengeName(g));
        else
            DojoRoundStatsHit[0] = 0;
        break;
    default: break;
    }
}

void UserInterface::DojoSummaryCode(UIMenu* menu, UIItem* item, UIAction action, void*)
{
    const int g = DojoRoundStats.goalType;
    if (item == nullptr) {
        ResultMenuLevel(menu, action);
        return;
    }
    if (action != UI_Init)
        return;
    item->DrawBars = false;
    switch (item->ID) {
    case UI_DojoRoundTitle:
        if (g < 0 || g >= NUM_DOJO_CHALLENGES)
            DojoRoundName[0] = 0;
        else if (DojoRoundStats.numHits >= DojoRoundStats.numGoal)
            snprintf(DojoRoundName, sizeof DojoRoundName, "%s EARNED!", ChallengeName(g));
        else
            snprintf(DojoRoundName, sizeof DojoRoundName, "%s UNEARNED\x85", ChallengeName(g));
        break;
    case UI_DojoRoundHits:
        snprintf(DojoRoundStatsHit, sizeof DojoRoundStatsHit, "%d Hits", DojoRoundStats.numHits);
        break;
    default: break;
    }
}

void UserInterface::ShootingRoundCode(UIMenu* menu, UIItem* item, UIAction action, void*)
{
    const sShootingRoundStats& s = ShootingRoundStats;
    if (item == nullptr) {
        ResultMenuLevel(menu, action);
        return;
    }
    if (action != UI_Init)
        return;
    item->DrawBars = false;
    switch (item->ID) {
    case UI_ShootRoundTitle:
        // The name is handed over without a promise of its end.
        {
            const size_t n = strnlen(s.name, std::min(sizeof s.name, sizeof ShootingRoundName - 1));
            memcpy(ShootingRoundName, s.name, n);
            ShootingRoundName[n] = 0;
        }
        break;
    case UI_ShootRoundTargetHits:
        snprintf(ShootingRoundStatsTargetHit, 64, "TARGETS SHOT:      %2d", s.numTargetsHit);
        break;
    case UI_ShootRoundCasualties:
        if (s.numFriendlies != 0)
            snprintf(ShootingRoundStatsCasualties, 64, "CASUALTIES:        %2d", s.numFriendlies);
        else
            ShootingRoundStatsCasualties[0] = 0;
        break;
    case UI_ShootRoundBullseyes:
        if (s.numBullseyes != 0)
            snprintf(ShootingRoundStatsBullseye, 64, "HEADSHOTS:         %2d", s.numBullseyes);
        else
            ShootingRoundStatsBullseye[0] = 0;
        break;
    case UI_ShootRoundShots:
        snprintf(ShootingRoundStatsShots, 64, "BULLETS FIRED :    %2d", s.numBulletsShot);
        break;
    case UI_ShootRoundHits: snprintf(ShootingRoundStatsHits, 64, "HITS:              %2d", s.numHits); break;
    case UI_ShootRoundMisses:
        snprintf(ShootingRoundStatsMisses, 64, "MISSES:            %2d", s.numBulletsShot - s.numHits);
        break;
    case UI_ShootRoundAccuracy: {
        const int accuracy = s.numBulletsShot != 0 ? (s.numHits - s.numFriendlies) * 100 / s.numBulletsShot : 0;
        snprintf(ShootingRoundStatsAccuracy, 64, "ACCURACY:          %3d%%", accuracy);
        break;
    }
    case UI_ShootRoundNext: snprintf(ShootingRoundPressXToCont, 64, "Press X to Exit"); break;
    case UI_ShootRoundRetry: ShootingRoundPressTToRetry[0] = 0; break;
    default: break;
    }
}
