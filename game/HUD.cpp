// The HUD object: its layout, its life cycle and the per-frame draw.
#include "game/HUD.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ZevEngine2/Utilities.h"
#include "game/CityLights.h"
#include "game/GameFlow.h"
#include "game/Guy.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/ProgramImages.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

namespace hudlayout {
ScreenRect srectMapFrame{24, -146, 121, 121, 9};
ScreenRect srectMapUse{29, -142, 113, 114, 9};
ScreenRect srectPhonePanel{46, -25, 80, 17, 9};
ScreenRect srectStreetNameFrame{-96, 32, 192, 28, 20};
ScreenRect srectStreetNameInner{-91, 35, 182, 22, 20};
ScreenRect srectXStreetNameFrame{-96, 60, 192, 21, 20};
ScreenRect srectPlayerHealth{24, 24, 16, 63, 5};
ScreenRect srectPlayerIcon{40, 24, 40, 64, 5};
ScreenRect srectAmmo{80, 24, 16, 63, 5};
ScreenRect srectPlayerVehicleIcon{40, 24, 40, 64, 5};
ScreenRect srectEnemyVehicleIcon{-80, 24, 40, 64, 6};
ScreenRect srectDistMeter{52, 92, 16, 116, 5};
ScreenRect srectEnemyHealth{-40, 24, 16, 63, 6};
ScreenRect srectEnemyIcon{-80, 32, 40, 48, 6};
ScreenRect srectKnockdownMeterRight{-92, 32, 12, 18, 6};
ScreenRect srectTailMeter{-68, 92, 16, 128, 6};
ScreenRect srectShield{-56, -80, 32, 35, 10};
ScreenPoint spntShieldMultiplier{-40, -96, 10};
ScreenPoint spntPoints{-52, -40, 10};
ScreenPoint spntTimer{0, -30, 24};
ScreenPoint spntFinishing{0, -72, 24};
Rect rectMapTI{0, 0, 61, 61};
Rect rectPhonePanelTI{0, 128, 80, 17};
Rect rectStreetNameTI{0, 64, 95, 28};
Rect rectXStreetNameTI{0, 92, 95, 21};
Rect rectMapCarArrow{0, 0, 16, 16};
Rect rectMapCarArrowTI{96, 232, 16, 16};
Rect rectDistMeterTI{144, 0, 16, 116};
Rect rectDistArrowTI{160, 232, 10, 19};
Rect rectDistFlashTI{160, 208, 10, 19};
Rect rectMapEdgeArrowLeftTI{122, 232, -10, 19};
Rect rectMapEdgeArrowRightTI{112, 232, 10, 19};
Rect rectMapEdgeArrowTopTI{112, 232, 10, 19};
Rect rectMapEdgeArrowBottomTI{122, 232, -10, 19};
Rect rectUtensilsTI{0, 152, 16, 16};
Rect rectGasTI{16, 152, 16, 16};
Rect rectParkingTI{32, 152, 16, 16};
Rect rectCarTI{48, 152, 16, 16};
Rect rectBarbellTI{64, 152, 16, 16};
Rect rectCrosshairTI{80, 152, 16, 16};
Rect rectTargetTI{96, 152, 16, 16};
}  // namespace hudlayout

using namespace hudlayout;

ScreenPoint BriefingTextPos{32, -73, 9};
ScreenPoint CenterTextPos{-180, -24, 48};
ScreenPoint ObjectiveTextPos{0, -54, 48};
ScreenPoint MissionObjectiveTextPos{0, -32, 48};

Texture& HUDNewTexture()
{
    FixProgramImages();   // the HUD may draw before the start-up fixed the images
    return HUD_New;
}

Texture& IconsCombatTexture()
{
    FixProgramImages();
    return Icons_Combat;
}

Texture& IconsMapTexture()
{
    FixProgramImages();
    return Icons_Map;
}

Texture& IconsButtonsTexture()
{
    FixProgramImages();
    return Icons_Buttons;
}

namespace {

constexpr u32 kFarZ = 0xFFFFFF;
constexpr float kTextZ = 16777215.0f;

// Makes the HUD image current, blending on, colour white: the start of
// every group of HUD sprites.
void TextureSwitch(Render2D& r)
{
    if (r.texture != &HUDNewTexture())
        r.SetTexture(&HUDNewTexture(), TEXMODE_MODULATE);
    r.prim_reg |= PRIM_TME | PRIM_FST;
    r.SetAlpha(ALPHA_BLEND);
    r.SetColour(Colour(128, 128, 128, 128));
}

// The 15-frame fade of a street name's record: alpha by its phase.
int NameAlpha(const FadeDispInfo& fdi)
{
    const int t = world.time - fdi.iFadeTime;
    if (fdi.flags & FDI_RISING)
        return t * 128 / 15;
    if (fdi.flags & FDI_FALLING)
        return (15 - t) * 128 / 15;
    return 128;
}

// Moves a name's record on: a fade that has run its 15 frames ends (a faded
// out name is forgotten); a steady name starts to go when another road is
// found, and a road found with none shown fades in.
void UpdateName(RoadInfo& shown, FadeDispInfo& fdi, const RoadSeg* found)
{
    const int t = world.time - fdi.iFadeTime;
    if (fdi.flags & FDI_FALLING) {
        if (t >= 15) {
            shown.Invalidate();
            fdi.flags &= ~FDI_FALLING;
        }
    } else if (fdi.flags & FDI_RISING) {
        if (t >= 15)
            fdi.flags &= ~FDI_RISING;
    } else if (found != nullptr) {
        if (shown.id == -1) {
            shown = found;
            fdi.flags |= FDI_RISING;
            fdi.iFadeTime = world.time;
        } else if (shown != found) {
            fdi.flags |= FDI_FALLING;
            fdi.iFadeTime = world.time;
        }
    }
}

}  // namespace

void HUDPrint(Render2D& r, Font& f, float x, float y, float sx, float sy, const char* text, int n)
{
    const Matrix2 saved = f.mat;
    const u8 savedFlags = f.flags;
    if (sx != 1.0f || sy != 1.0f)
        f.SetMat(Matrix2{sx, 0.0f, 0.0f, sy});
    else
        f.ClearMat();
    f.Print(r, x, y, kTextZ, text, n);
    f.mat = saved;
    f.flags = savedFlags;
}

// ------------------------------------------------------------------- object

MapDisplay::MapDisplay()
{
    // Zero-filled like the controller's storage, so every field the
    // constructors leave alone starts at 0.
    std::memset(static_cast<void*>(this), 0, sizeof *this);
    messagehandler = reinterpret_cast<RAWOBJMESSAGEHANDLER>(&MapDisplay::staticmh);
}

MapDisplay::MapDisplay(Object* main, Object* target) : MapDisplay()
{
    Reset(main, target);
}

MapDisplay::~MapDisplay()
{
    rcoMain = nullptr;
    rcoTarget = nullptr;
}

int MapDisplay::staticmh(RawObj* ro, RAWOBJMESSAGE msg, void* a, void* b, void* c)
{
    return static_cast<MapDisplay*>(ro)->mh(msg, a, b, c);
}

int MapDisplay::mh(RAWOBJMESSAGE msg, void*, void*, void*)
{
    if (msg == ROM_DRAW && g_pgcTest != nullptr && g_pgcTest->bHUDOn)
        Draw();
    return 0;
}

void MapDisplay::Reset(Object* main, Object* target)
{
    if (rcoMain.p != main)
        rcoMain = main;
    if (rcoTarget.p != target)
        rcoTarget = target;
    flags = 0x01EB0000;
    timerDrawn = ammoDrawnLeft = ammoDrawnRight = near247 = false;
    spookValue = spookLastValue = 0;
    spookMaxValue = 5;
    initialTargetDist = 0.0f;
    riCurr.Invalidate();
    riCross.Invalidate();
    prev_city = -1;
    // Entry 2 keeps its kind: the mission code sets it for the whole run.
    rvOtherStaticTarget[0][3] = 0.0f;
    rvOtherStaticTarget[1][3] = 0.0f;
    fdiTimer.flags = 0;
    fdiFinishing.flags = 0;
    for (FadeDispInfo& f : rfdiFinishingIcon)
        f.flags = 0;
    fdiStreak.flags = 0;
    fdiPoints.flags = 0;
    hudPoints.fdiPoints.flags = 0;
    ResetEnemies();
    ResetGuns();
}

VectorPos MapDisplay::GetCurrTargetPos() const
{
    if (flags & HUDF_STATICTARGET)
        return vpStaticTarget;
    if (rcoTarget.p != nullptr)
        return rcoTarget->GetWorldPos();
    return VectorPos(0.0f, 0.0f, 0.0f);
}

// ------------------------------------------------------------- screen texts

int AddScreenText(const char* text, SCREEN_TEXT_POS pos)
{
    if (g_pgcTest == nullptr || g_pgcTest->pmd == nullptr)
        return 0;
    return g_pgcTest->pmd->AddScreenText(text, pos, 8, 300);
}

int MapDisplay::AddScreenText(const char* text, SCREEN_TEXT_POS pos, int startDelay, int playLength)
{
    ScreenText* slot = nullptr;
    for (ScreenText& st : screentext) {
        if (st.stPos == pos)
            return 0;
        if (st.stPos == STP_NONE && slot == nullptr)
            slot = &st;
    }
    if (slot == nullptr || pos == STP_NONE)
        return 0;
    // A longer text keeps its first 255 characters rather than running over
    // the slot.
    const char* from = text != nullptr ? text : "";
    std::strncpy(slot->cText, from, sizeof slot->cText - 1);
    slot->cText[sizeof slot->cText - 1] = '\0';
    slot->stPos = s16(pos);
    slot->nStartDelay = pos == STP_MISSION ? 30 : startDelay;
    slot->nPlayLength = playLength;
    slot->nTimer = 0;
    slot->nPrevChar = 0;
    return 1;
}

void MapDisplay::ProcessText(Render2D& r)
{
    for (ScreenText& st : screentext) {
        if (st.stPos == STP_NONE)
            continue;
        st.nTimer += 1;
        if (st.nTimer >= st.nPlayLength) {
            st.stPos = STP_NONE;
            continue;
        }
        if (st.nTimer <= st.nStartDelay)
            continue;
        int n = (st.nTimer - st.nStartDelay) / 2;
        const int len = int(std::strlen(st.cText));
        if (len <= n) {
            n = len;
            if (st.stPos == STP_MISSION) {
                if (st.nPlayLength - st.nTimer > 60)
                    st.nPlayLength = st.nTimer + 60;
            } else if (st.nTimer < 255) {
                st.nTimer = 255;
            }
        }
        st.nPrevChar = n;
        const int left = st.nPlayLength - st.nTimer;
        const int alpha = left < 30 ? left * 128 / 30 : 128;
        char shown[256];
        std::memcpy(shown, st.cText, size_t(n));
        shown[n] = '\0';
        if (st.stPos == STP_MISSION) {
            if (g_pfontUIMedium != nullptr) {
                Font& f = *g_pfontUIMedium;
                const float x = float(ObjectiveTextPos.MapX() - f.Len2("OBJECTIVE") / 2);
                const float y = float(ObjectiveTextPos.MapY());
                r.SetColour(Colour(0, 0, 0, u8(alpha * 3 / 4)));
                HUDPrint(r, f, x + 4.0f, y + 4.0f, 1.0f, 1.0f, "OBJECTIVE");
                r.SetColour(Colour(24, 64, 0, u8(alpha)));
                HUDPrint(r, f, x, y, 1.0f, 1.0f, "OBJECTIVE");
            }
            if (g_pfontUILarge != nullptr) {
                Font& f = *g_pfontUILarge;
                const float x = float(MissionObjectiveTextPos.MapX() - f.Len2(shown) / 2);
                const float y = float(MissionObjectiveTextPos.MapY());
                r.SetColour(Colour(0, 0, 0, u8(alpha * 3 / 4)));
                HUDPrint(r, f, x + 4.0f, y + 4.0f, 1.0f, 1.0f, shown);
                r.SetColour(Colour(128, 128, 128, u8(alpha)));
                HUDPrint(r, f, x, y, 1.0f, 1.0f, shown);
            }
            continue;
        }
        if (g_pGUIFont == nullptr)
            continue;
        Font& f = *g_pGUIFont;
        const ScreenPoint& at = st.stPos == STP_CENTER ? CenterTextPos : BriefingTextPos;
        const float x = float(at.MapX()), y = float(at.MapY());
        r.SetColour(Colour(0, 0, 0, u8(alpha * 3 / 4)));
        HUDPrint(r, f, x + 4.0f, y + 4.0f, 1.0f, 1.0f, shown);
        r.SetColour(Colour(128, 128, 128, u8(alpha)));
        HUDPrint(r, f, x, y, 1.0f, 1.0f, shown);
        // The typing cursor blinks with a period of 16 frames.
        const int k = std::abs(8 - st.nTimer % 16) - 2;
        if (k > 0) {
            const float w = float(f.Len2(shown));
            r.SetAlpha(ALPHA_BLEND);
            r.DrawRect(PixelX(x + w + 5.0f).v, PixelY(y + 5.0f).v, PixelX(x + w + 19.0f).v, PixelY(y + 19.0f).v,
                       Colour(255, 255, 255, u8(std::min(k, 3) * alpha / 4)), kFarZ);
        }
    }
}

// --------------------------------------------------------------------- draw

void MapDisplay::Draw()
{
    Render2D r;
    r.Open(therenderer);
    DrawHUD(r);
    r.Close(therenderer);
}

void MapDisplay::DrawHUD(Render2D& r)
{
    r.SetZTest(ZTEST_ALWAYS);
    ProcessText(r);

    const Matrix matMain = rcoMain.p != nullptr ? rcoMain->GetWorldMatrix() : Matrix(true);
    if ((flags & HUDF_MAP) && !g_pgcTest->bInterior)
        DrawMap(r, matMain);
    DrawTimer(r);
    DrawPoints(r);
    DrawPlayer(r);
    DrawDistanceMeter(r);
    DrawTail(r);
    DrawGuns(r);
    // The target car takes the place of the enemies' bars.
    if (!DrawTargetCar(r) && (flags & HUDF_ENEMIES)) {
        Object* target = dace != nullptr && rcoMain.p == dace ? dace->target.p : nullptr;
        if ((target != nullptr && target->type == OBJT_CHARACTER) || enemies.num != 0)
            DrawEnemies(r);
    }
}

void MapDisplay::DrawPlayer(Render2D& r)
{
    if (!(flags & HUDF_PLAYER))
        return;
    Object* main = rcoMain.p;
    const float strength = main != nullptr && main->type == OBJT_CHARACTER ? static_cast<Guy*>(main)->strength : 100.0f;
    DispNewStrengthInfoDace(r, strength, fdiPlayerH);
    // The head on foot, the car icon at the wheel: the one wanted fades in as
    // the other fades out.
    // At the wheel: the player rides in his car; another main object counts
    // as in a car when a vehicle carries it.
    Object* root = main != nullptr ? main->GetRoot() : nullptr;
    Vehicle* car = nullptr;
    if (main != nullptr && main == dace)
        car = dace->car != nullptr && root == dace->car ? dace->car : nullptr;
    else if (root != nullptr && root->type == OBJT_VEHICLE)
        car = static_cast<Vehicle*>(root);
    FadeDispInfo& want = car != nullptr ? fdiPlayerV : fdiPlayer;
    FadeDispInfo& other = car != nullptr ? fdiPlayer : fdiPlayerV;
    if (want.flags == 0 && other.flags == 0) {
        want.flags = FDI_STEADY;
    } else if (want.flags == 0 || (want.flags & FDI_FALLING)) {
        want.flags = FDI_RISING;
        want.iFadeTime = world.time;
        other.flags = FDI_FALLING;
        other.iFadeTime = world.time;
    }
    if (fdiPlayer.flags != 0)
        DispDaceHead(r, 0.0f, fdiPlayer);
    if (fdiPlayerV.flags != 0)
        DispCarStrengthInfo(r, srectPlayerVehicleIcon.MapRect(), car, fdiPlayerV, fdiPlayerVFlash);
}

void MapDisplay::DrawMap(Render2D& r, const Matrix& matMain)
{
    const Rect rectMap = srectMapUse.MapRect();
    const Rect rectFrame = srectMapFrame.MapRect();
    const Rect rectName = srectStreetNameFrame.MapRect();
    const Rect rectXName = srectXStreetNameFrame.MapRect();
    const bool compact = (flags & HUDF_COMPACTMAP) != 0;

    // The map turns with the player: his heading points up.
    const float s = compact ? 25.0f : 50.0f;
    VectorDir heading(matMain.z[0], 0.0f, matMain.z[2]);
    const float hl = std::sqrt(heading[0] * heading[0] + heading[2] * heading[2]);
    heading = hl > 0.0f ? VectorDir(heading[0] / hl, 0.0f, heading[2] / hl) : VectorDir(0.0f, 0.0f, 1.0f);
    // The map matrix draws the frame's x row to the left of the radar's
    // centre, so that row is the player's left, heading x up with up
    // (0, 1, 0) (y points down), not up x heading, his right: with his right
    // there the radar would be the mirror of the view, showing on its left
    // the street the view has on its right.
    const VectorDir right(-heading[2], 0.0f, heading[0]);
    const VectorPos pos = matMain.GetTrans();
    const Matrix frame(Vector(right, 0.0f), Vector(0.0f, 1.0f, 0.0f, 0.0f), Vector(heading, 0.0f), Vector(pos, 1.0f));
    const Matrix matMap = CalcMapMatrix(rectMap, frame, VectorDir(s, 0.0f, s));
    // The world box: the axis-aligned bound of the turned square.
    const float ex = std::max(std::fabs(s * (right[0] + heading[0])), std::fabs(s * (heading[0] - right[0])));
    const float ez = std::max(std::fabs(s * (right[2] + heading[2])), std::fabs(s * (heading[2] - right[2])));
    const Cuboid box(VectorPos(pos[0] - ex, pos[1] - 1.0f, pos[2] - ez), VectorPos(pos[0] + ex, pos[1] + 1.0f, pos[2] + ez));

    if (!compact) {
        r.SetAlpha(ALPHA_BLEND);
        r.DrawRect(srectStreetNameInner.MapRect(), Colour(0, 60, 20, 64), kFarZ);
    }
    TextureSwitch(r);
    DrawRectTopLeft(r, rectFrame, rectMapTI);
    if (!compact)
        DrawRectLeft(r, rectName, rectStreetNameTI);
    // The map window: nothing visible (alpha 0 over blending), only depth 0
    // under the radar.
    r.DrawRect(rectMap, Colour(0, 0, 0, 0), 0);

    Draw2DRoads(r, rectMap, box, matMap, int(flags));

    TextureSwitch(r);
    if (flags & HUDF_SUBTARGETS)
        DrawSubTargets(r, box, matMap);
    const int a = std::min(127, std::abs(32 - world.time % 64) * 8);
    if (rcoTarget.p != nullptr || (flags & HUDF_STATICTARGET)) {
        const bool fixed = (flags & HUDF_STATICTARGET) != 0;
        VectorPos p = matMap * (fixed ? vpStaticTarget : rcoTarget->GetWorldPos());
        DrawMapTarget(r, p, fixed ? Colour(0, 128, 0, u8(a)) : Colour(128, 0, 0, u8(a)), 8, 0, MIT_TARGET);
    }
    if (flags & HUDF_OTHERTARGETS)
        for (const Vector& t : rvOtherStaticTarget) {
            const float kind = t[3];
            if (kind == 0.0f)
                continue;
            VectorPos p = matMap * VectorPos(t[0], t[1], t[2]);
            const IconType icon = kind == 1.0f ? MIT_CAR : kind == 2.0f ? MIT_CROSSHAIR : MIT_BARBELL;
            DrawMapTarget(r, p, Colour(0, 128, 0, u8(a)), 8, 0, icon);
        }
    for (int i = 0; i < 8; i++) {
        Object* o = g_pgcTest->rvpSubMissionTargets[i];
        if (o == nullptr)
            continue;
        VectorPos p = matMap * o->GetWorldPos();
        DrawMapTarget(r, p, Colour(128, 0, 0, u8(a)), 8, 0, MIT_DOT);
    }

    TextureSwitch(r);
    const Matrix2 identity{1.0f, 0.0f, 0.0f, 1.0f};
    DrawCarArrow(r, identity, VectorXY(float(rectMap.x + rectMap.w / 2), float(rectMap.y + rectMap.h / 2)),
                 rectMapCarArrow, rectMapCarArrowTI);

    if (!compact)
        DrawStreetNames(r, matMain, rectName, rectXName);
}

void MapDisplay::DrawStreetNames(Render2D& r, const Matrix& matMain, const Rect& rectName, const Rect& rectXName)
{
    const RoadSeg* rs = dace != nullptr ? dace->GetCurrentRS() : nullptr;
    if (rs != nullptr && rs->type != nullptr && rs->type->type == 6)
        rs = nullptr;
    const RoadSeg* cross = nullptr;
    if (rs != nullptr) {
        const VectorPos pos = matMain.GetTrans();
        const VectorDir heading(matMain.z[0], matMain.z[1], matMain.z[2]);
        for (const Junction* j : rs->jtn) {
            if (j == nullptr || j->nRoadsegs < 3)
                continue;
            const VectorDir off(j->pos - pos);
            if (off.LengthSq() >= 295.41f || Dot(off, heading) <= 0.0f)
                continue;
            cross = j->Next(rs);
            if (cross != nullptr && cross->id == rs->id) {
                cross = j->Prev(rs);
                if (cross != nullptr && cross->id == rs->id)
                    cross = nullptr;
            }
            break;
        }
        if (rs->id == 0)
            rs = nullptr;
    }
    if (cross != nullptr && cross->id == 0)
        cross = nullptr;

    UpdateName(riCurr, fdiStreet, rs);
    UpdateName(riCross, fdiXStreet, cross);

    char name[300];
    if (riCurr.id != -1 && g_pfontStreetSign != nullptr) {
        Font& f = *g_pfontStreetSign;
        const int alpha = NameAlpha(fdiStreet);
        GetRoadName(name + 1, riCurr);
        name[0] = 5;
        const int width = f.Len2(name + 1);
        const float sx = width > 180 ? 180.0f / float(width) : 0.8f;
        r.SetColour(Colour(128, 128, 128, u8(alpha)));
        HUDPrint(r, f, float(rectName.x + rectName.w / 2), float(rectName.y), sx, 0.8f, name);
    }
    if (riCross.id != -1 && g_pfontStreetSign != nullptr) {
        Font& f = *g_pfontStreetSign;
        const int alpha = NameAlpha(fdiXStreet);
        TextureSwitch(r);
        r.SetColour(Colour(128, 128, 128, u8(alpha / 2)));
        DrawRectLeft(r, rectXName, rectXStreetNameTI);
        GetRoadName(name + 1, riCross);
        name[0] = 5;
        const float scale = 64.0f / 95.0f;
        const float width = float(f.Len2(name + 1));
        const float sx = width * scale > 146.0f ? 146.0f / width : scale;
        r.SetColour(Colour(128, 128, 128, u8(alpha)));
        HUDPrint(r, f, float(rectXName.x + rectXName.w / 2), float(rectXName.y - 3), sx, scale, name);
    }
}

void MapDisplay::DrawTimer(Render2D& r)
{
    if ((flags & (HUDF_TIMER | HUDF_TIMERON)) != (HUDF_TIMER | HUDF_TIMERON) || g_pfontHelveticaB == nullptr)
        return;
    const int time = g_pgcTest->iTimeDisplayOutput;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d", time / 3600, time % 3600 / 60);
    int x = spntTimer.MapX() - 35, y = spntTimer.MapY() - 13;
    float scale = 1.0f;
    int alpha = 128;
    if (time != 0) {
        timerDrawn = true;
    } else if (timerDrawn) {
        // Time is up: the figures grow to six times their size and fade.
        if (fdiTimer.flags == 0) {
            fdiTimer.flags = FDI_FALLING;
            fdiTimer.iFadeTime = world.time;
        }
        const int t = world.time - fdiTimer.iFadeTime;
        if (t < 60) {
            scale = 1.0f + float(t) / 12.0f;
            alpha = (60 - t) * 128 / 60;
        } else {
            flags &= ~HUDF_TIMER;
            scale = 6.0f;
            alpha = 0;
        }
        x += int(-35.0f * scale);
        y += int(-13.0f * scale);
    }
    if ((g_pgcTest->iFlags & 4) && world.time % 32 < 10)
        return;
    Font& f = *g_pfontHelveticaB;
    r.SetColour(Colour(0, 0, 0, u8(alpha)));
    HUDPrint(r, f, float(x + 2), float(y + 2), scale, scale, text);
    r.SetColour(Colour(128, 128, 128, u8(alpha)));
    HUDPrint(r, f, float(x), float(y), scale, scale, text);
}

void MapDisplay::DrawDistanceMeter(Render2D& r)
{
    if (!(flags & (HUDF_STATICTARGET | HUDF_OTHERTARGETS)))
        return;
    float d = 1.0e38f, last = -1.0f;
    const VectorPos me = dace != nullptr ? dace->GetWorldPos() : VectorPos(0.0f, 0.0f, 0.0f);
    auto flat = [&me](float x, float z) {
        const float dx = x - me[0], dz = z - me[2];
        return std::sqrt(dx * dx + dz * dz);
    };
    if (flags & HUDF_STATICTARGET)
        d = flat(vpStaticTarget[0], vpStaticTarget[2]);
    if (flags & HUDF_OTHERTARGETS)
        for (const Vector& t : rvOtherStaticTarget) {
            if (t[3] == 0.0f)
                continue;
            last = flat(t[0], t[2]);
            d = std::min(d, last);
        }
    if (initialTargetDist == 0.0f)
        initialTargetDist = last >= 0.0f ? last : d;
    TextureSwitch(r);
    const Rect meter = srectDistMeter.MapRect();
    DrawHUDSprite(r, meter, rectDistMeterTI);
    const float frac = initialTargetDist > 0.0f ? std::min(1.0f, d / initialTargetDist) : 1.0f;
    const Rect arrow{s16(meter.x - 5), s16(int(float(meter.y) + float(meter.h - 6) * frac) - 6), 10, 19};
    DrawHUDSprite(r, arrow, rectDistArrowTI);
}
