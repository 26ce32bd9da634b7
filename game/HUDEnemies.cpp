// The strength bars of the enemies about the player: the player's target in
// the large first slot, the others smaller in a column under it; entries
// slide when the target changes or an enemy goes, and a leaving enemy
// balloons out over the first slot.  And the target car's damage icon.
#include <algorithm>

#include "game/HUD.h"

#include "game/Guy.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

using namespace hudlayout;

namespace {

// Entry flags: moving to the first slot arcing right (2), down from it
// arcing left (4), up one slot (8), leaving (16); not seen this frame (128).
constexpr u16 EN_TOFIRST = 2, EN_FROMFIRST = 4, EN_UP = 8, EN_LEAVE = 16, EN_UNSEEN = 128;
constexpr u16 EN_MOVES = EN_TOFIRST | EN_FROMFIRST | EN_UP | EN_LEAVE;
constexpr int kMoveFrames = 18;

// The enemies' ids.
constexpr int kFirstEnemyId = -150, kLastEnemyId = -101;

// Objects out of play: held, dying or beaten.
constexpr u32 kOutOfPlay = 0x70000000;

struct Slot
{
    ScreenPoint pos;
    float scale;
    s32 alpha;
};

Slot SlotOf(int k)
{
    if (k == 0)
        return Slot{ScreenPoint{-80, 32, SCRPOS_RIGHT | SCRPOS_TOP}, 1.0f, 128};
    return Slot{ScreenPoint{-56, 60 + 32 * k, SCRPOS_RIGHT | SCRPOS_TOP}, 0.5f, 64};
}

using Entry = HUD_Enemies::Enemy;

// Ends a running move where it was going.
void Stop(Entry& e)
{
    e.flags &= u16(~EN_MOVES);
    e.curPos = e.endPos;
    e.curScale = e.endScale;
    e.curAlpha = e.endAlpha;
}

void MoveTo(Entry& e, u16 how, const ScreenPoint& pos, float scale, s32 alpha)
{
    e.flags |= how;
    e.startTime = world.time;
    e.startPos = e.curPos;
    e.startScale = e.curScale;
    e.startAlpha = e.curAlpha;
    e.endPos = pos;
    e.endScale = scale;
    e.endAlpha = alpha;
}

// Moves the entries after index i up by one over it (i's entry is lost:
// the caller has kept or released it).
void Close(int i)
{
    for (int k = i; k + 1 < enemies.num; k++)
        enemies.enemies[k] = enemies.enemies[k + 1];
    enemies.num -= 1;
    enemies.enemies[enemies.num].enemy = nullptr;
}

void Find()
{
    for (ObjectIterator it = world.framecalllist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->id < kFirstEnemyId || o->id > kLastEnemyId || !dace->IsTargetValid(o, 1.0e38f))
            continue;
        int k = 0;
        while (k < enemies.num && enemies.enemies[k].enemy.p != o)
            k++;
        if (k == enemies.num) {
            // A thirteenth enemy is not shown.
            if (enemies.num == 12)
                continue;
            Entry& e = enemies.enemies[enemies.num++];
            e.enemy = o;
            e.flags = 0;
            e.startTime = 0;
            continue;
        }
        Entry& e = enemies.enemies[k];
        e.flags &= u16(~EN_UNSEEN);
        if (o != dace->target.p || k == 0)
            continue;
        // The target takes the first slot: the two cross.
        Entry& first = enemies.enemies[0];
        Stop(first);
        Stop(e);
        const Entry was0 = first, wasK = e;
        MoveTo(first, EN_FROMFIRST, wasK.curPos, 0.5f, wasK.curAlpha);
        MoveTo(e, EN_TOFIRST, was0.curPos, 1.0f, was0.curAlpha);
        std::swap(first, e);
    }
}

void Leave()
{
    const Rect icon = srectEnemyIcon.MapRect();
    const int w = icon.w, h = icon.h;
    for (int i = 0; i < enemies.num; i++) {
        Entry& e = enemies.enemies[i];
        if (!(e.flags & EN_UNSEEN) || (e.flags & EN_LEAVE))
            continue;
        int end = i + 1;
        while (end < enemies.num && !(enemies.enemies[end].flags & EN_UNSEEN))
            end++;
        Entry gone = e;
        // Each seen entry behind it takes the place the one above it had.
        ScreenPoint pos = gone.curPos;
        float scale = gone.curScale;
        s32 alpha = gone.curAlpha;
        for (int k = i + 1; k < end; k++) {
            Entry& next = enemies.enemies[k];
            Stop(next);
            const ScreenPoint p = next.curPos;
            const float s = next.curScale;
            const s32 a = next.curAlpha;
            MoveTo(next, EN_UP, pos, scale, alpha);
            pos = p, scale = s, alpha = a;
            enemies.enemies[k - 1] = next;
        }
        gone.flags = EN_LEAVE | EN_UNSEEN;
        gone.startTime = world.time;
        gone.startPos = SlotOf(0).pos;
        gone.endPos = ScreenPoint{-80 + w / 2 - (5 * w) / 2, 32 + h / 2 - (5 * h) / 2, SCRPOS_RIGHT | SCRPOS_TOP};
        gone.startScale = 1.0f;
        gone.endScale = 5.0f;
        gone.startAlpha = 128;
        gone.endAlpha = 0;
        enemies.enemies[end - 1] = gone;
    }
}

void Animate()
{
    for (int i = 0; i < enemies.num; i++) {
        Entry& e = enemies.enemies[i];
        if (!(e.flags & EN_MOVES)) {
            // Straight onto its slot.
            const Slot s = SlotOf(i);
            e.curPos = e.endPos = s.pos;
            e.curScale = e.endScale = s.scale;
            e.curAlpha = e.endAlpha = s.alpha;
            continue;
        }
        const int t = world.time - e.startTime;
        if (t < kMoveFrames) {
            const float f = float(t) / float(kMoveFrames);
            float x = float(e.startPos.x) + float(e.endPos.x - e.startPos.x) * f;
            const float bump = (1.0f - (2.0f * f - 1.0f) * (2.0f * f - 1.0f)) * 30.0f;
            if (e.flags & EN_TOFIRST)
                x += bump;
            else if (e.flags & EN_FROMFIRST)
                x -= bump;
            e.curPos = ScreenPoint{int(x), int(float(e.startPos.y) + float(e.endPos.y - e.startPos.y) * f),
                                   e.startPos.flags};
            e.curScale = e.startScale + (e.endScale - e.startScale) * f;
            e.curAlpha = e.startAlpha + int(float(e.endAlpha - e.startAlpha) * f);
            continue;
        }
        if ((e.flags & EN_LEAVE) || (e.enemy.p != nullptr && e.enemy->IsDead())) {
            e.enemy = nullptr;
            Close(i);
            // The entry now here stands on its slot from the next frame.
            if (i < enemies.num)
                enemies.enemies[i].flags &= u16(~EN_MOVES);
            continue;
        }
        Stop(e);
    }
}

void DrawList(Render2D& r)
{
    const Rect icon = srectEnemyIcon.MapRect();
    const int w = icon.w, h = icon.h;
    for (int i = 0; i < enemies.num; i++) {
        Entry& e = enemies.enemies[i];
        Object* o = e.enemy.p;
        if (o == nullptr)
            continue;
        const int x = e.curPos.MapX(), y = e.curPos.MapY();
        const bool character = o->type == OBJT_CHARACTER;
        if (!(o->flags & kOutOfPlay)) {
            const Guy* g = character ? static_cast<const Guy*>(o) : nullptr;
            DispNewStrengthInfoEnemy(r, Point{x + int(float(w) * e.curScale), y}, e.curScale,
                                     g != nullptr ? g->strength : 100.0f, g != nullptr ? g->initialstrength : 100.0f,
                                     e.curAlpha, e.fdi);
        }
        Object* root = o->GetRoot();
        if (character && (root == nullptr || root->type != OBJT_VEHICLE)) {
            Texture* portrait = static_cast<const Guy*>(o)->ptexIcon;
            if (portrait == nullptr)
                continue;
            SetHUDSpriteState(r, *portrait, e.curAlpha);
            const Rect at{s16(x), s16(y), s16(int(float(w) * e.curScale)), s16(int(float(h) * e.curScale))};
            DrawHUDSprite(r, at, rectEnemyIconTI);
        }
    }
}

}  // namespace

void MapDisplay::DrawEnemies(Render2D& r)
{
    if (dace == nullptr)
        return;
    Find();
    Leave();
    Animate();
    DrawList(r);
    for (int i = 0; i < enemies.num; i++)
        enemies.enemies[i].flags |= EN_UNSEEN;
}

bool MapDisplay::DrawTargetCar(Render2D& r)
{
    if (!(flags & HUDF_TARGETCAR) || dace == nullptr || rcoMain.p != dace || dace->target.p == nullptr)
        return false;
    Object* root = dace->target->GetRoot();
    if (root == nullptr || root->type != OBJT_VEHICLE)
        return false;
    DispCarStrengthInfo(r, srectEnemyVehicleIcon.MapRect(), static_cast<Vehicle*>(root), fdiEnemyV, fdiEnemyVFlash);
    return true;
}
