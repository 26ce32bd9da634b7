// The in-game HUD: one post-draw object, MapDisplay, that paints the radar,
// street names, timer, points counter, distance meter, the player's strength,
// head and car, the tail and spook meters, the gun gauges and the screen
// texts over the finished frame,
// and the drawing pieces it is built from (fades and flashes, slanted gauges,
// primitives written straight into the open 2-D packet, the radar's roads).
//
// The game flow makes the one MapDisplay with the game controller (pmd) and
// puts it at the front of the post-draw list while a game mode runs; game
// code steers it only through its flags, its targets and the setters.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/Vector.h"
#include "game/Road.h"
#include "game/ScreenRect.h"

class Bezier;
class Enemy;
class Spline;

// Where a screen text shows; STP_NONE marks a free slot.
enum SCREEN_TEXT_POS : int
{
    STP_NONE = 0,
    STP_BRIEFING = 1,
    STP_ALT_BRIEFING = 2,
    STP_CENTER = 3,
    STP_MISSION = 4,
};

// Posts a text into the game controller's HUD with the usual timing (typing
// after 8 frames, gone after 300).  1 taken, 0 refused (no HUD, the place is
// showing a text, or every slot is busy).
int AddScreenText(const char* text, SCREEN_TEXT_POS pos);

// The fade, flash or blink state of one HUD element.
struct FadeDispInfo
{
    u32 flags;       // 1 rising, 2 falling, 32 steady, 0 idle (8 blink, 16 pop for the combat meters)
    s32 iFadeTime;   // world.time at which the current phase began
    s32 iRate;       // phase length for elements whose phase varies
    s32 iCount;      // a count some elements keep
};
static_assert(sizeof(FadeDispInfo) == 16);

// Phase bits of FadeDispInfo::flags.
constexpr u32 FDI_RISING = 1, FDI_FALLING = 2, FDI_STEADY = 32;

// One typewriter text slot.
struct ScreenText
{
    char cText[256];   // at most 255 characters and the terminator
    s16 stPos;         // SCREEN_TEXT_POS; 0 free
    u16 flags;
    s32 nTimer;        // frames since posted
    s32 nPrevChar;     // characters shown in the last drawn frame
    s32 nStartDelay;   // frames before typing starts
    s32 nPlayLength;   // frames after which the slot frees
};

// The text anchors.
extern ScreenPoint BriefingTextPos, CenterTextPos, ObjectiveTextPos, MissionObjectiveTextPos;

class MapDisplay : public RawObj
{
public:
    enum IconType
    {
        MIT_NONE = 0,
        MIT_DOT = 1,
        MIT_TARGET = 2,
        MIT_UTENSILS = 3,
        MIT_GAS = 4,
        MIT_PARKING = 5,
        MIT_CAR = 6,
        MIT_BARBELL = 7,
        MIT_CROSSHAIR = 8,
    };

    // Handler installed, flags, references and fades cleared, no reset.
    MapDisplay();
    // The same, then Reset(main, target).
    MapDisplay(Object* main, Object* target);
    ~MapDisplay();
    MapDisplay(const MapDisplay&) = delete;
    MapDisplay& operator=(const MapDisplay&) = delete;

    static int staticmh(RawObj* ro, RAWOBJMESSAGE msg, void* a, void* b, void* c);
    // Draws on ROM_DRAW while the game controller's HUD is on; answers 0 to
    // everything, so a general destroy request leaves it in place.
    int mh(RAWOBJMESSAGE msg, void* a, void* b, void* c);

    // The whole HUD of one frame into an open 2-D context.
    void DrawHUD(Render2D& r);

    // Rebinds the HUD to the player and a target and puts every element back
    // to its start; the screen texts run on.
    void Reset(Object* main, Object* target);

    // Screen texts.
    int AddScreenText(const char* text, SCREEN_TEXT_POS pos, int startDelay, int playLength);
    void ProcessText(Render2D& r);

    // Map markers: one marker at a screen position, and the city's places.
    int DrawMapTarget(Render2D& r2d, VectorPos& vpTarget, Colour col, int iSize, int iFlags, IconType iconType);
    void DrawSubTargets(Render2D& r2d, const Cuboid& cuboid, const Matrix& matMap);

    // Setters for mission code.
    void SetStaticTarget(const VectorPos& p)
    {
        vpStaticTarget = p;
        flags |= 1;
    }
    void SetOtherStaticTarget(const Vector& v, int i)
    {
        if (i >= 0 && i < 3)
            rvOtherStaticTarget[i] = v;
    }
    void SetTarget(Object* target) { rcoTarget = target; }
    // The main target's position: the static one under flag bit 0, else the
    // target object's, else the origin.
    VectorPos GetCurrTargetPos() const;
    // The gun gauges are rebuilt from the player's guns at the next draw.
    void ResetGuns();
    void NotifyGunsSwapped();
    void NotifyNewLeftGun() {}
    // Drops every enemy of the strength list.
    void ResetEnemies();
    void SetSpookMaxValue(int v) { spookMaxValue = v; }
    // The spook count; icons newly lit flash once.  Above the maximum: ignored.
    void SetSpookValue(int n);
    // The points counter's total and badges (the pop-ups queued stay).
    void InitPoints(int pnts, int shlds);
    // Queues a score pop-up rising from the world position pos; the 21st
    // waiting is dropped.
    void AddPoints(int val, const VectorPos& pos);

    u32 flags;
    RCptr<Object> rcoMain;
    RCptr<Object> rcoTarget;
    VectorPos vpStaticTarget;
    Vector rvOtherStaticTarget[3];   // w: 0 none, 1 car, 2 crosshair, other barbell
    RoadInfo riCross;
    RoadInfo riCurr;
    bool timerDrawn;
    bool ammoDrawnLeft, ammoDrawnRight;
    bool near247;
    float initialTargetDist;
    s32 spookMaxValue, spookValue, spookLastValue;
    s32 prev_city;
    FadeDispInfo fdiStreet, fdiXStreet;
    FadeDispInfo fdiPlayer, fdiPlayerH, fdiPlayerV, fdiPlayerVFlash;
    FadeDispInfo fdiTail;
    FadeDispInfo fdiEnemy, fdiEnemyV, fdiEnemyVFlash;
    FadeDispInfo fdiKDFade, rfdiKDIcon[5], rfdiEnemyCombo[5];
    FadeDispInfo fdiAmmoFlash, fdiAmmoFade;
    FadeDispInfo fdiTimer;
    FadeDispInfo fdiTailBlink;
    FadeDispInfo fdiPoints;
    FadeDispInfo rfdiSpookIcon[5], fdiSpook;
    FadeDispInfo fdiFinishing, rfdiFinishingIcon[8], fdiStreak;
    ScreenText screentext[8];
    bool tailDrawn;   // the tail meter was up in the last frame

private:
    void Draw();
    void DrawMap(Render2D& r, const Matrix& matMain);
    void DrawStreetNames(Render2D& r, const Matrix& matMain, const Rect& rectName, const Rect& rectXName);
    void DrawTimer(Render2D& r);
    void DrawDistanceMeter(Render2D& r);
    void DrawPlayer(Render2D& r);
    void DrawPoints(Render2D& r);
    void DrawGuns(Render2D& r);
    // The tail and spook meters, or in a fist fight the knockdown and
    // finishing meters.
    void DrawTail(Render2D& r);
    Enemy* FighterTarget() const;
    void DrawCombat(Render2D& r, Enemy* fighter);
    // The player's target car; false when there is none to show.
    bool DrawTargetCar(Render2D& r);
    void DrawEnemies(Render2D& r);
};

// HUD flag bits the draw tests.
constexpr u32 HUDF_STATICTARGET = 0x1, HUDF_TIMER = 0x2, HUDF_OTHERTARGETS = 0x10, HUDF_MAP = 0x10000,
              HUDF_TIMERON = 0x80000, HUDF_PLAYER = 0x200000, HUDF_ENEMIES = 0x800000,
              HUDF_TARGETCAR = 0x1000000, HUDF_TAIL = 0x2000000, HUDF_SUBTARGETS = 0x4000000,
              HUDF_COMPACTMAP = 0x10000000;

// The layout, set once at start-up (ScreenRects on the 640 x 512 screen,
// TI rectangles in the HUD image).
namespace hudlayout {
extern ScreenRect srectMapFrame, srectMapUse, srectPhonePanel, srectStreetNameFrame, srectStreetNameInner,
    srectXStreetNameFrame, srectPlayerHealth, srectPlayerIcon, srectAmmo, srectPlayerVehicleIcon,
    srectEnemyVehicleIcon, srectDistMeter, srectEnemyHealth, srectEnemyIcon, srectKnockdownMeterRight,
    srectTailMeter, srectShield;
extern ScreenPoint spntShieldMultiplier, spntPoints, spntTimer, spntFinishing;
extern Rect rectPlayerHealthGrayTI, rectPlayerHealthRedTI, rectPlayerHealthWhiteTI, rectPlayerHealthFlashTI,
    rectPlayerIconTI[4], rectAmmoGrayTI, rectAmmoWhiteTI, rectAmmoFlashTI, rectEnemyHealthGrayTI,
    rectEnemyHealthRedTI, rectEnemyHealthWhiteTI, rectEnemyHealthFlashTI, rectEnemyIconTI, rectCarIconTI,
    rectCarDamagedIconTI, rectShieldTI, rectShieldFlashTI, rectSpookIconGrayTI, rectSpookIconWhiteTI,
    rectSpookIconFlashTI, rectTailMeterTI;
extern Rect rectMapTI, rectPhonePanelTI, rectStreetNameTI, rectXStreetNameTI, rectMapCarArrow, rectMapCarArrowTI,
    rectDistMeterTI, rectDistArrowTI, rectDistFlashTI, rectMapEdgeArrowLeftTI, rectMapEdgeArrowRightTI,
    rectMapEdgeArrowTopTI, rectMapEdgeArrowBottomTI, rectUtensilsTI, rectGasTI, rectParkingTI, rectCarTI,
    rectBarbellTI, rectCrosshairTI, rectTargetTI;
// The knockdown segments (HUD image) and the finishing moves (combat icons).
extern Rect rectKnockdownMeterWhiteTI, rectKnockdownMeterGrayTI, rectKnockdownMeterFlashTI, rectKickTI, rectPunchTI,
    rectHighTI, rectKickFlashTI, rectPunchFlashTI, rectHighFlashTI, rectStreakTI, rectStreakRightTI, rectStreakLeftTI;
}  // namespace hudlayout

// Prints text with font f at (x, y) scaled by (sx, sy) in the context's
// colour, leaving the font's own scale as it was.
void HUDPrint(Render2D& r, Font& f, float x, float y, float sx, float sy, const char* text, int n = -1);

// The HUD's picture (every sprite of the HUD) and the combat icons.
Texture& HUDNewTexture();
Texture& IconsCombatTexture();
Texture& IconsMapTexture();
Texture& IconsButtonsTexture();

// ---------------------------------------------------------------------------
// Drawing primitives, written straight into the open packet of r2d.

// A flat additive rectangle.
void DrawDot(Render2D& r2d, const Rect& drect, const Colour& colour);
// A flat additive triangle (the edged one is the same).
void DrawTri(Render2D& r2d, Vector* rv, const Colour& colour);
void DrawEdgedTri(Render2D& r2d, Vector* rv, const Colour& colour);
// An additive outline: a closed line strip through three points.
void DrawHollowTri(Render2D& r2d, VectorXY* rvxy, const Colour& colour);
// An additive line strip through eight points.
void DrawArrow(Render2D& r2d, VectorXY* rvxy, const Colour& colour);
// The source's top-left quarter mirrored four ways over drect, then the
// phone panel.
void DrawRectTopLeft(Render2D& r2d, const Rect& drect, const Rect& srect);
// The source's left half mirrored two ways over drect.
void DrawRectLeft(Render2D& r2d, const Rect& drect, const Rect& srect);
// The source turned a quarter counter-clockwise.
void DrawSpriteRot90CCW(Render2D& r2d, const Rect& drect, const Rect& srect);
// A textured quad of drect's size turned by mat2 about vxyTrans.
void DrawCarArrow(Render2D& r2d, const Matrix2& mat2, const VectorXY& vxyTrans, const Rect& drect,
                  const Rect& srect);

// ---------------------------------------------------------------------------
// Fades, flashes and gauges.

// The 15-frame fade of the car icons (integer) and of the head (float):
// the element's alpha now, moving the record on when its phase ends.
int FadeAlpha(FadeDispInfo& fdi);
int FadeAlphaF(FadeDispInfo& fdi);
// The blink of the strength and ammunition gauges (half period 7.5 frames).
int BlinkAlpha(FadeDispInfo& fdi);
// The sprite state of the HUD's element drawers: texture t, alpha blending,
// modulated texels in texel coordinates, depth always passing, colour
// (128, 128, 128, alpha).
void SetHUDSpriteState(Render2D& r2d, Texture& t, int alpha);
// Texture rectangle T drawn over screen rectangle S.
void DrawHUDSprite(Render2D& r2d, const Rect& S, const Rect& T);
// The old image under a rising flash, then the new one under a falling flash.
void FlashSprite(Render2D& r2d, float halfDuration, const Rect& scrn, const Rect& start, const Rect& end,
                 const Rect& flash, FadeDispInfo& fdi);
Rect blend(const Rect& a, const Rect& b, float w);
void DrawGauge2(Render2D& r2d, bool isRight, float value1, const Rect& drect, const Rect& srect1,
                const Rect& srect2, const Rect& srect3, int alpha);
void DrawGauge3(Render2D& r2d, bool isRight, float value1, float value2, const Rect& drect, const Rect& srect1,
                const Rect& srect2, const Rect& srect3, const Rect& srect4, int alpha);

// ---------------------------------------------------------------------------
// Strength, head, ammunition and car damage.

class Vehicle;

// A screen position.
struct Point
{
    int x, y;
};

// The gun gauges: one per gun the player holds, rebuilt from his guns when
// num falls to 0.
struct HUD_GunGauges
{
    struct Gauge
    {
        u16 gunType, curAmmo, lastAmmo, maxAmmo;
        Object* gun;
        s32 startTime;
        u16 flags;
        ScreenPoint curPos, startPos, endPos;
        float curScale, startScale, endScale;
        s32 curAlpha, startAlpha, endAlpha;
        FadeDispInfo fdi;
    };
    Gauge gauges[3];
    s32 num;
};

// The enemies shown with strength bars (at most 12).
struct HUD_Enemies
{
    struct Enemy
    {
        RCptr<Object> enemy;
        s32 startTime;
        u16 flags;
        ScreenPoint curPos, startPos, endPos;
        float curScale, startScale, endScale;
        s32 curAlpha, startAlpha, endAlpha;
        FadeDispInfo fdi;
    };
    Enemy enemies[12];
    s32 num;
};

// The points counter, its badges and the pop-ups on their way to it.
struct HUD_Points
{
    struct Points
    {
        s32 startTime;
        VectorXY scrPos;   // pixels; the projected depth and w in lanes 2 and 3
        s32 points;
    };
    s32 nPoints, nShields;
    Points newPoints[20];
    s32 nNewPoints;
    FadeDispInfo fdiPoints, fdiAddShield, fdiSubShield;
    s32 prevTime;
};

// What the player reports of his guns when asked (SMSG_Q_HUD_PLAYER): one
// entry per hand; a gun type below 4 is his own pistol or an upgrade of it.
struct sDaceGunInfo
{
    u16 gunType[2];
    u16 curAmmo[2];
    u16 maxAmmo[2];
    s32 bAreActive[2];   // non-zero: the hand holds the gun
    Object* gun[2];
};
static_assert(sizeof(sDaceGunInfo) == 28, "the player fills it as laid out");

extern HUD_Points hudPoints;
extern HUD_GunGauges gunGauges;
extern HUD_Enemies enemies;

// The player's head (badness 0..1 picks one of four faces) at its fade.
void DispDaceHead(Render2D& r2d, float badness, FadeDispInfo& fdiFade);
// The player's health bar (100 full), blinking below 15.
void DispNewStrengthInfoDace(Render2D& r2d, float fStrength, FadeDispInfo& fdi);
// One ammunition bar at pos and scale (32 shots full), flashing on a gain
// of shots and blinking below 5.  The caller selects the texture and colour.
void DispAmmoInfo(Render2D& r2d, const Point& pos, float scale, float strength, float lastStrength, int fadeAlpha,
                  FadeDispInfo& fdi);
// One enemy's health bar; an enemy that started below full strength shows
// the health it never had as a third part.
void DispNewStrengthInfoEnemy(Render2D& r2d, const Point& _pos, float scale, float fStrength, float fInitialStrength,
                              int fadeAlpha, FadeDispInfo& fdi);
// A car's top-view icon with its four damage marks (pulsing when the car is
// nearly wrecked); nothing for a null car.
void DispCarStrengthInfo(Render2D& r2d, const Rect& screenRect, const Vehicle* car, FadeDispInfo& fdiFade,
                         FadeDispInfo& fdiFlash);
void DispCarSectionDamage(Render2D& r2d, const Rect& iconRect, float sectionStrength, const Rect& minDam,
                          const Rect& maxDam);

// The spook meter: iSegments icons (at most 5), the first iCurrSegments lit.
void DispSpookInfo(Render2D& r2d, int iCurrSegments, int iSegments, FadeDispInfo& fdiFade, FadeDispInfo* fdiIcon);
// The tail meter for the distance to the tailed car, blinking when too close.
void DispTailDistInfo(Render2D& r2d, float fDist, FadeDispInfo& fdiFade, FadeDispInfo& fdiBlink);

// The knockdown meter: iSegments segments (at most 5), the first
// iCurrSegments lit; a segment going out flashes from lit to dark.
void DispKnockdownMeter(Render2D& r2d, int iCurrSegments, int iSegments, FadeDispInfo& fdiFade, FadeDispInfo* fdiIcon);
// The finishing row of count moves (at most 8) at the bottom centre, with
// the streak over the matched moves.
void DispFinishingAttackInfo(Render2D& r2d, int count, FadeDispInfo& fdiFade, FadeDispInfo* fdiIcon,
                             FadeDispInfo& fdiStreak);
// One move's icon (1 punch, 2 kick, 4 high attack; others draw nothing) in
// the combat icons, which must be current, with its flash over it.
void DrawFinishingIcon(Render2D& r2d, unsigned int iconType, const Rect& drect, int alpha, int flashAlpha);

// ---------------------------------------------------------------------------
// The radar.

struct MapRoadTypeInfo
{
    u32 colour;
    float lineWidth;
};
extern const MapRoadTypeInfo MapRoadTypeInfos[20];

// A road's curve with its end points moved onto its junctions.
Bezier RoadCurve(const RoadSeg& rs);

// A polyline turned into a ribbon: each point completes the vertex pair of
// the point before it.
struct ThickLine
{
    float thickness;   // half the width, pixels
    VectorXYZ prevPos1, prevPos2;
    int nPnts;

    void SetVertex(Render2D& r2d, const VectorXYZ& pos);
};

Matrix CalcMapMatrix(const Rect& rectMap, const Matrix& matfCenter, const VectorDir& vdExtents);
void Draw2DRoads(Render2D& r2d, const Rect& rectMap, const Cuboid& cuboid, const Matrix& mat, int iMapFlags);
void DrawThickLineSpline(Render2D& r2d, const Matrix& mat, const Matrix& mat2DRoadClip, Spline* pSpl, float lineWidth,
                         unsigned colour);
void DrawThickLineRoad(Render2D& r2d, const Matrix& mat, const RoadSeg& rs);
void DrawThickLineBezier(Render2D& r2d, const Matrix& mat, const Bezier& bz, float lineWidth, unsigned colour);
bool Bezier2DClip(const Bezier& bz, const Matrix& matClip);
