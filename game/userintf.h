// The user interface: table-driven full-screen menus (the pause menu and the
// dojo and firing-range result screens), the one `UI` object that draws them
// over a frozen game frame with the old-film look, and the loading screen
// (a still picture kept alive while loads wait, with a pulsing "loading..."
// or the continue prompt).
//
// A game mode opens a screen by handing over its figures, choosing the
// screen with SetPauseScreenMode and setting the world's mode to
// WORLD_MODE_PAUSED; after 15 frames of dimming the interface freezes the
// world, saves its last frame and builds the screen's menu.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Vector.h"

struct Cuboid;
class Font;
class IPUBitmap;
class Render2D;

// ---------------------------------------------------------------- menus

// Item kinds; the tables store them as 32-bit integers.
enum UITyp : s32 {
    UI_String = 0,           // fixed text from Source; never selectable
    UI_StringList = 1,       // Source: null-terminated string array indexed by the value
    UI_StringListList = 2,   // Source: array of such arrays; one is current
    UI_Bool = 3,             // Source: optional int mirror
    UI_Number = 4,           // MinVal..MaxVal, "%d"; Source: optional int mirror
    UI_User = 5,             // owned by the callback
    UI_NoData = 6,           // a caption line only
};

enum UIAction : s32 {
    UI_Nop = 0, UI_Init = 1, UI_Free = 2, UI_Exit = 3, UI_Update = 4,
    UI_Select = 5, UI_Inc = 6, UI_Dec = 7, UI_Format = 8,
};

// What an item is to its screen's callback; UI_NoID items get no UI_Init,
// UI_Inc or UI_Dec.
enum UIID : s32 {
    UI_NoID = 0, UI_CurrentMission = 1, UI_Mission = 2, UI_MusicOn = 3, UI_SFXOn = 4, UI_GPSInfo = 5,
    UI_GPSZoom = 6, UI_GPSGuide = 7, UI_HUD = 8, UI_RETICLE = 9, UI_Night = 10, UI_Invincibility = 11,
    UI_AspectRatio = 12, UI_Progressive = 13, UI_Task = 14, UI_ShootRoundFiller = 15, UI_ShootRoundTitle = 16,
    UI_ShootRoundTargetHits = 17, UI_ShootRoundCasualties = 18, UI_ShootRoundBullseyes = 19,
    UI_ShootRoundShots = 20, UI_ShootRoundHits = 21, UI_ShootRoundMisses = 22, UI_ShootRoundAccuracy = 23,
    UI_ShootRoundNext = 24, UI_ShootRoundRetry = 25, UI_DojoRoundTitle = 26, UI_DojoSummaryFiller = 27,
    UI_DojoRoundHits = 28, UI_DojoRoundNext = 29, UI_DojoRoundDesc1 = 30, UI_DojoRoundDesc2 = 31,
    UI_DojoTotalHits = 32, UI_DojoTotalTime = 33,
};

struct UIMenu;
struct UIItem;

// A screen's callback: menu-level calls pass a null item; data is a UIForm
// with UI_Format, else null.
typedef void (*MenuHandler)(UIMenu* menu, UIItem* item, UIAction action, void* data);

// Setup records: constant tables describing a screen.
struct UISetup
{
    const char* zsTitle;
    UITyp eType;
    const void* Source;   // meaning by kind
    UIID ID;
    int Value, MinVal, MaxVal;   // UI_Number and UI_User only
};
struct UIColSetup
{
    float x, y, dy;   // first line and line pitch
    int nItems;
    const UISetup* pSetup;
};
struct UIMenuSetup
{
    const UIColSetup* pColumn;
    bool UserSelection;   // the cursor may live in this column
};
struct UIScreenSetup
{
    MenuHandler pCode;
    const char* zsTitle;
    float TitleX, TitleY;
    int nColumns;
    const UIMenuSetup* pColumns;
};

struct UIItem
{
    UIID ID;
    const char* zsTitle;
    float Alpha;       // 1.0 selectable, 0.75 otherwise
    UITyp nType;
    bool Selection;
    bool DrawBars;     // frame the line with marker characters
    int nValue, MinVal, MaxVal;
    const char* zsString;              // the value text
    const char* const* Strings;        // the current string array
    const char* const* const* pStringList;
    int iCurrStringList;
    const void* Source;
};

struct UIColumn
{
    UIColumn* pNext;
    float x0, y0, dy;
    int nItems;
    UIItem* aItems;   // nItems items, right after the column in its own block

    // Applies the frame's action to the column and prints its lines; row is
    // the cursor row in the cursor column, -1 elsewhere.
    void Draw(UIMenu* menu, Font* font, int row, UIAction action);
};

struct UIMenu
{
    MenuHandler pCode;
    bool Exit;          // close on the next draw
    bool isAnalogPad;   // the stick was outside its dead zone this frame
    u16 Pad;            // held this frame
    u16 HitPad;         // newly pressed this frame
    u8 AnalogDZone;
    float AnalogX, AnalogY;
    float Alpha;        // the whole menu's opacity, 0..1
    float TitleX, TitleY;
    float OffsX, OffsY;
    const char* zsTitle;
    int nUserCol, nUserRow;   // the cursor; column -1: none
    u32 PrevPad;        // 0xFFFFFFFF before the first frame
    u32 Counter;        // frames drawn
    int nCol;
    UIColumn* pCol;

    // One frame: input, callbacks, drawing.  True when the menu has closed
    // and been freed; the caller then drops its pointer.
    bool Draw(float alpha, float offsX, float offsY);
    void Free();
};

// The line a screen's callback formats for a selectable item.
struct UIForm
{
    const char* zsTitle;
    const char* zsText;
    char Mark;
    char Result[118];
};

// Pad bits of the held-button word the menus read.
enum : u16 {
    UIPAD_CIRCLE = 0x0020, UIPAD_CROSS = 0x0040, UIPAD_SQUARE = 0x0080, UIPAD_SELECT = 0x0100,
    UIPAD_START = 0x0800, UIPAD_UP = 0x1000, UIPAD_RIGHT = 0x2000, UIPAD_DOWN = 0x4000, UIPAD_LEFT = 0x8000,
};

extern const char* const OffOnText[2];

// A new menu built from its tables and initialised through its callback;
// null when a record cannot be allocated (nothing is left behind).
UIMenu* CreateMenuFromUISetup(const UIScreenSetup* setup);
// Makes string array `list` of the item's lists current.
UIItem* SetupStringListList(UIItem* item, int list);
// Plays interface sample n on a fresh channel (nothing when none is free).
void PlayUISample(int n);

// ---------------------------------------------------------------- the interface

enum UIPauseScreenMode : s32 {
    UI_None = 0, UI_NoScreen = 1, UI_PauseScreen = 2, UI_MapScreen = 3, UI_ShootingRoundScreen = 4,
    UI_ShootingSummaryScreen = 5, UI_DojoRoundScreen = 6, UI_DojoSummaryScreen = 7,
};

struct FilmScratch
{
    u8 nTime;    // frames left
    u8 nStart;   // life length
    u8 nAlpha;
    u8 nWid;
    s16 nXPos;   // 1/20 pixel
};

struct sDojoRoundStats
{
    int numHits;
    int numGoal;
    u16 goalType;   // challenge 0..12
};

struct sShootingRoundStats
{
    char name[80];
    int bEarned;
    int wave;
    int numTargetsHit, numHits, numBulletsShot, numHeadshots, numFriendlies, numTargets, numBullseyes;
};

class UserInterface : public LoadingCallback
{
public:
    UserInterface();

    // The loading callback: a loading frame when one is due; always 1.
    int operator()(void* p) override;
    // A loading frame when at least two blanks passed since the last.
    void Loading_UI(int unused);
    void Loading_UIDraw();

    void Run_UI();
    void CreatePauseMenu();
    void RunPauseMenu(float alpha, float offsX, float offsY);
    // The old-film look over the saved frame (overFrame) or a grey screen.
    void DrawPauseMenu(bool overFrame, int frames);
    void SaveFrameBuffer(bool fromDisplay);
    void FreeSaveBuffer();
    // Closes an open screen through its exit path.
    void Stop_UI();
    void DrawScratches(Render2D& r2d, int w, int h);
    void RandomScreenRolling();
    // Redraws the picture in the draw buffer as a rolled and scaled film frame.
    void ScreenRoll(float vRoll, float vScale);
    u16 chrnd();
    float fchrnd();

    void PauseMenuCode(UIMenu* menu, UIItem* item, UIAction action, void* data);
    void DojoRoundCode(UIMenu* menu, UIItem* item, UIAction action, void* data);
    void DojoSummaryCode(UIMenu* menu, UIItem* item, UIAction action, void* data);
    void ShootingRoundCode(UIMenu* menu, UIItem* item, UIAction action, void* data);
    void GPSMenuCode(UIMenu* menu, UIItem* item, UIAction action, void* data);

    // The GPS screen's parts: the street and help lines, the map of the
    // loaded cells (scale and centre come back limited to them), the symbols
    // over a map showing MapExt in DrawRect, one turned symbol of the map
    // icons, and pad-button glyphs.
    void MapInfoText(UIMenu* menu);
    void DrawMapScreenMap(Render2D& r2d, float* scale, float aspect, VectorPos* centre, Rectf& rect);
    void DrawMapIcons(Cuboid& MapExt, Rectf& DrawRect, int Counter);
    void DrawSpriteRot(Render2D& r2d, VectorXY Pos, VectorXY Dir, VectorXY Ctr, const Rectf& Icon, Colour col);
    void DrawButtonIcons(float xOffs, float yOffs, float* Pos, char* Buttons, int nButtons);

    UIMenu* pCurrMenu = nullptr;
    bool FrameBufSaved = false;
    bool useLoadScrnBuffer = false;
    u32 rd = 0;
    u32 nScreenRollCountDown = 0;
    float vScreenRoll = 0.0f;
    u32 nScreenScaleCountDown = 0;
    float vScreenScale = 0.0f;
    float vScreenScaleMid = 1.0f;
    s32 nTimeToSmallJump = 0, nTimeToBigJump = 0;
    Surface FrameSaveBuffer{};
    Surface LoadScrnBuffer{};
    UIPauseScreenMode PauseScreenMode = UI_None;
    VectorPos CurseWorld{0.0f, 0.0f, 0.0f};
    VectorXY CurseScreen{0.0f, 0.0f};
    Vector MapCursor{0.0f, 0.0f, 0.0f, 0.0f};
    float TargetDist = 0.0f;
    char* zsTargetInfo = nullptr;
    float CurseDist = 0.0f;
    float vFadeOutTimer = 0.0f;
    int save_vsyncperdraw = 0;
    u32 last_vsync_ctr = 0;
    int LoadTimer = 0;
    int nBriefingTimer = 0, nPrevBriefChar = 0, nPrevLevel = 0;
    VectorPos MapCenter{0.0f, 0.0f, 0.0f};
    float MapScale = 0.0f, AutoZoomAdd = 0.0f;
    s8 ZoomDir = 0;
    u8 ZoomLevel = 0, ZoomLeft = 0;
    int LastStreetID = -1;
    s16 PrevBright = 128, PrevOffsX = 0, PrevOffsY = 0;
    float PrevBlur = 0.0f;
    FilmScratch aScratch[3]{};
    u32 PauseTimer = 0;
    bool isLoading = false, startLoading = false, wasLoading = false;
    bool bEnableAutoBlurFade = true;
    IPUBitmap* pipubmOverride = nullptr;
    u32 overrideSize = 0;
    char overrideName[64] = "";   // its file, for the line that refuses it
    sShootingRoundStats ShootingRoundStats{};
    sDojoRoundStats DojoRoundStats{};

private:
    void CloseScreen();
    void ScreenSetup(UIMenu* menu);
    void ResultMenuLevel(UIMenu* menu, UIAction action);
    void PlayNoise(int sample);
};

extern UserInterface UI;

// Pause-menu state: the mission and task chosen (from 0), wide screen, sound
// effects on.
extern int g_iUIMissionSel;
extern int g_iUITask;
extern bool g_bAspect;
extern int SFX_ON;

// The pause menu's level select: 13 missions and their task lists.
constexpr int NUM_UI_MISSIONS = 13;
extern const char* const MissionNames[NUM_UI_MISSIONS + 1];
extern const char* const* const rgppcTaskNames[NUM_UI_MISSIONS + 1];

// The screens' tables.
extern const UIScreenSetup PauseMenu;
extern const UIScreenSetup DojoRoundMenu;
extern const UIScreenSetup DojoSummaryMenu;
extern const UIScreenSetup ShootingRoundMenu;
extern const UIScreenSetup LoadScreen;
extern const UIScreenSetup GPSMenu;

// ---------------------------------------------------------------- GPS map

// World units across the map by zoom level.
constexpr int NUM_MAP_ZOOMS = 6;
extern const float aMapScalePresets[NUM_MAP_ZOOMS];

// A story mission's map target: its colour and labels.
struct LevInfo
{
    int nLevel;   // -1 ends the table
    int TargetR, TargetG, TargetB;
    const char* zsLevelTask;
    const char* zsTargetInfo;
};
extern const LevInfo aLevels[12];

// The map symbols' rectangles in the map icon texture.
extern const Rect Map_Triangle, Map_Square, Map_Fist, Map_Wheel, Map_Gun, Map_Cursor;

class Matrix;
class RoadSeg;
// The bands of the roads whose half-width lies in minWidth..maxWidth.
void Draw2DRoadStrips(Render2D& r2d, const Cuboid& area, const Matrix& map, float minWidth, float maxWidth,
                      float pixelsPerUnit, Colour colour);
void DrawStripRoad(Render2D& r2d, const Matrix& map, const RoadSeg& seg, float minWidth, float maxWidth,
                   float pixelsPerUnit, Colour colour);
// The zoom level a zoom-in or zoom-out press aims at from a scale.
int NextZoomLevel(float scale, bool zoomIn);
// What the target's pulse adds to its colour at a frame count.
int TargetPulse(int Counter);
// The player symbol's size on a map box `width` world units wide.
float MapSymbolScale(float width);
// The glyph row of a pad-button letter in the button texture.
int ButtonGlyphRow(char letter);

// The dojo challenges by goalType.
constexpr int NUM_DOJO_CHALLENGES = 13;
extern const char DojoChallengeName[NUM_DOJO_CHALLENGES][25];
extern const char DojoChallengeDesc1[NUM_DOJO_CHALLENGES][64];
extern const char DojoChallengeDesc2[NUM_DOJO_CHALLENGES][64];

// The result screens' caption buffers, written when a screen is built.
extern char DojoRoundName[64], DojoRoundStatsHit[64], DojoRoundDesc1[64], DojoRoundDesc2[64];
extern char ShootingRoundName[64], ShootingRoundStatsTargetHit[64], ShootingRoundStatsCasualties[64],
    ShootingRoundStatsBullseye[64], ShootingRoundStatsShots[64], ShootingRoundStatsHits[64],
    ShootingRoundStatsMisses[64], ShootingRoundStatsAccuracy[64], ShootingRoundPressXToCont[64],
    ShootingRoundPressTToRetry[64];

void Run_UI();
void SetPauseScreenMode(UIPauseScreenMode mode);
UIPauseScreenMode GetPauseScreenMode();
void UI_FadeOut(float frames);
void UI_EnableDisableAutoBlurFade(bool enable);
void SetDojoRoundStats(sDojoRoundStats* stats);
void SetShootingRoundStats(sShootingRoundStats* stats);

void PauseMenuCode(UIMenu* menu, UIItem* item, UIAction action, void* data);
void DojoRoundCode(UIMenu* menu, UIItem* item, UIAction action, void* data);
void DojoSummaryCode(UIMenu* menu, UIItem* item, UIAction action, void* data);
void ShootingRoundCode(UIMenu* menu, UIItem* item, UIAction action, void* data);
void GPSMenuCode(UIMenu* menu, UIItem* item, UIAction action, void* data);
void LoadScreenCode(UIMenu* menu, UIItem* item, UIAction action, void* data);

// ---------------------------------------------------------------- loading

// 0 "loading...", 2 the continue prompt, other values no text.
extern int iDemoLoadingScreenState;

// The replacement pictures by the controller's iDemoLoadScreenOverride,
// under "KORVALIS\DemoData\"; entry 0 none.
constexpr int NUM_DEMOLOADSCREENS = 11;
extern const char* const DemoLoadScreenNames[NUM_DEMOLOADSCREENS];

void StartUILoadScreen();
void StopUILoadScreen();
void Loading_UI(int unused);
// One loading frame, between the scene's begin and end.
void Loading_UIDraw();
void SetDemoLoadState(int state);
