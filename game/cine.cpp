// Cinematics: the scene table, the actors and the scene's start and end.
#include "game/cine.h"

#include <algorithm>
#include <cstring>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/FogBlur.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Streamer.h"
#include "game/Camera.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/objblur.h"

void (*CineLoadWait)() = [] { Platform::Sync(); };
ActorObject* pActor = nullptr;
ActorObject* pCurrActor = nullptr;
int isCinemaRunning = 0;
Camera CinemaCamera;

const sCineInfo CineNames[NUM_CINEMATICS] = {
    {"M1\\M1_S1.CIN", "M1\\M1_S1.VB"},
    {"M1\\M1_S2.CIN", "M1\\M1_S2.VB"},
    {"M1\\M1_S3A.CIN", "M1\\M1_S3A.VB"},
    {"M1\\M1_S3B.CIN", "M1\\M1_S3B.VB"},
    {"M1\\M1_S4A01.CIN", "M1\\M1_S4A01.VB"},
    {"M1\\M1_S4B.CIN", "M1\\M1_S4B.VB"},
    {"M1\\M1_S4A02.CIN", "M1\\M1_S4A02.VB"},
    {"M1\\M1_S5.CIN", "M1\\M1_S5.VB"},
    {"M1\\M1_S6A01.CIN", "M1\\M1_S6A01.VB"},
    {"M1\\M1_S6A02.CIN", "M1\\M1_S6A02.VB"},
    {"M1\\M1_S6B.CIN", "M1\\M1_S6B.VB"},
    {"M2\\M2_S1A.CIN", "M2\\M2_S1A.VB"},
    {"M2\\M2_S1B.CIN", "M2\\M2_S1B.VB"},
    {"M2\\M2_S2.CIN", "M2\\M2_S2.VB"},
    {"M2\\M2_S3.CIN", "M2\\M2_S3.VB"},
    {"M2\\M2_S4.CIN", "M2\\M2_S4.VB"},
    {"M2\\M2_S5.CIN", "M2\\M2_S5.VB"},
    {"M2\\M2_S6A.CIN", "M2\\M2_S6A.VB"},
    {"M2\\M2_S6B.CIN", "M2\\M2_S6B.VB"},
    {"M2\\M2_S7A.CIN", "M2\\M2_S7A.VB"},
    {"M2\\M2_S7B.CIN", "M2\\M2_S7B.VB"},
    {"M2\\M2_S8.CIN", "M2\\M2_S8.VB"},
    {"M2\\M2_S9.CIN", "M2\\M2_S9.VB"},
    {"M3\\M3_S1A.CIN", "M3\\M3_S1A.VB"},
    {"M3\\M3_S1B.CIN", "M3\\M3_S1B.VB"},
    {"M3\\M3_S201.CIN", "M3\\M3_S201.VB"},
    {"M3\\M3_S202.CIN", "M3\\M3_S202.VB"},
    {"M3\\M3_S3.CIN", "M3\\M3_S3.VB"},
    {"M3\\M3_S4A.CIN", "M3\\M3_S4A.VB"},
    {"M3\\M3_S4B.CIN", "M3\\M3_S4B.VB"},
    {"M3\\M3_S4C.CIN", "M3\\M3_S4C.VB"},
    {"M3\\M3_S5.CIN", "M3\\M3_S5.VB"},
    {"M3\\M3_S6.CIN", "M3\\M3_S6.VB"},
    {"M3\\M3_S7.CIN", "M3\\M3_S7.VB"},
    {"M3\\M3_S801.CIN", "M3\\M3_S801.VB"},
    {"M3\\M3_S802.CIN", "M3\\M3_S802.VB"},
    {"M4\\M4_S1A.CIN", "M4\\M4_S1A.VB"},
    {"M4\\M4_S1B.CIN", "M4\\M4_S1B.VB"},
    {"M4\\M4_S201.CIN", "M4\\M4_S201.VB"},
    {"M4\\M4_S202.CIN", "M4\\M4_S202.VB"},
    {"M4\\M4_S3.CIN", "M4\\M4_S3.VB"},
    {"M4\\M4_S4A.CIN", "M4\\M4_S4A.VB"},
    {"M4\\M4_S4B.CIN", "M4\\M4_S4B.VB"},
    {"M4\\M4_S5.CIN", "M4\\M4_S5.VB"},
    {"M4\\M4_S6.CIN", "M4\\M4_S6.VB"},
    {"M4\\M4_S7A.CIN", "M4\\M4_S7A.VB"},
    {"M4\\M4_S7B.CIN", "M4\\M4_S7B.VB"},
    {"M4\\M4_S8.CIN", "M4\\M4_S8.VB"},
    {"M4\\M4_S9.CIN", "M4\\M4_S9.VB"},
    {"M5\\M5_S1A.CIN", "M5\\M5_S1A.VB"},
    {"M5\\M5_S1B.CIN", "M5\\M5_S1B.VB"},
    {"M5\\M5_S201.CIN", "M5\\M5_S201.VB"},
    {"M5\\M5_S202.CIN", "M5\\M5_S202.VB"},
    {"M5\\M5_S3A.CIN", "M5\\M5_S3A.VB"},
    {"M5\\M5_S3B.CIN", "M5\\M5_S3B.VB"},
    {"M5\\M5_S401.CIN", "M5\\M5_S401.VB"},
    {"M5\\M5_S402.CIN", "M5\\M5_S402.VB"},
    {"M5\\M5_S5.CIN", "M5\\M5_S5.VB"},
    {"M5\\M5_S6.CIN", "M5\\M5_S6.VB"},
    {"M5\\M5_S701.CIN", "M5\\M5_S701.VB"},
    {"M5\\M5_S702.CIN", "M5\\M5_S702.VB"},
    {"M5\\M5_S8.CIN", "M5\\M5_S8.VB"},
    {"M6\\M6_S1A.CIN", "M6\\M6_S1A.VB"},
    {"M6\\M6_S1B.CIN", "M6\\M6_S1B.VB"},
    {"M6\\M6_S201.CIN", "M6\\M6_S201.VB"},
    {"M6\\M6_S202.CIN", "M6\\M6_S202.VB"},
    {"M6\\M6_S3.CIN", "M6\\M6_S3.VB"},
    {"M6\\M6_S4.CIN", "M6\\M6_S4.VB"},
    {"M6\\M6_S5.CIN", "M6\\M6_S5.VB"},
    {"M6\\M6_S6A.CIN", "M6\\M6_S6A.VB"},
    {"M6\\M6_S6B.CIN", "M6\\M6_S6B.VB"},
    {"M6\\M6_S7.CIN", "M6\\M6_S7.VB"},
    {"M6\\M6_S8.CIN", "M6\\M6_S8.VB"},
    {"M7\\M7_S1A.CIN", "M7\\M7_S1A.VB"},
    {"M7\\M7_S1B.CIN", "M7\\M7_S1B.VB"},
    {"M7\\M7_S2.CIN", "M7\\M7_S2.VB"},
    {"M7\\M7_S3.CIN", "M7\\M7_S3.VB"},
    {"M7\\M7_S4.CIN", "M7\\M7_S4.VB"},
    {"M7\\M7_S5.CIN", "M7\\M7_S5.VB"},
    {"M7\\M7_S6A01.CIN", "M7\\M7_S6A01.VB"},
    {"M7\\M7_S6A02.CIN", "M7\\M7_S6A02.VB"},
    {"M7\\M7_S6B01.CIN", "M7\\M7_S6B01.VB"},
    {"M7\\M7_S6B02.CIN", "M7\\M7_S6B02.VB"},
    {"M7\\M7_S701.CIN", "M7\\M7_S701.VB"},
    {"M7\\M7_S702.CIN", "M7\\M7_S702.VB"},
    {"M7\\M7_S8.CIN", "M7\\M7_S8.VB"},
    {"M8\\M8_S1A01.CIN", "M8\\M8_S1A01.VB"},
    {"M8\\M8_S1A02.CIN", "M8\\M8_S1A02.VB"},
    {"M8\\M8_S1B.CIN", "M8\\M8_S1B.VB"},
    {"M8\\M8_S2.CIN", "M8\\M8_S2.VB"},
    {"M8\\M8_S2B.CIN", "M8\\M8_S2B.VB"},
    {"M8\\M8_S3.CIN", "M8\\M8_S3.VB"},
    {"M8\\M8_S4A.CIN", "M8\\M8_S4A.VB"},
    {"M8\\M8_S4B.CIN", "M8\\M8_S4B.VB"},
    {"M8\\M8_S501.CIN", "M8\\M8_S501.VB"},
    {"M8\\M8_S502.CIN", "M8\\M8_S502.VB"},
    {"M8\\M8_S601.CIN", "M8\\M8_S601.VB"},
    {"M8\\M8_S602.CIN", "M8\\M8_S602.VB"},
    {"M8\\M8_S7.CIN", "M8\\M8_S7.VB"},
    {"M8\\M8_S8A.CIN", "M8\\M8_S8A.VB"},
    {"M8\\M8_S8B.CIN", "M8\\M8_S8B.VB"},
    {"M8\\M8_S9.CIN", "M8\\M8_S9.VB"},
    {"M9\\M9_S101.CIN", "M9\\M9_S101.VB"},
    {"M9\\M9_S102.CIN", "M9\\M9_S102.VB"},
    {"M9\\M9_S2.CIN", "M9\\M9_S2.VB"},
    {"M9\\M9_S3.CIN", "M9\\M9_S3.VB"},
    {"M9\\M9_S401.CIN", "M9\\M9_S401.VB"},
    {"M9\\M9_S402.CIN", "M9\\M9_S402.VB"},
    {"M9\\M9_S5.CIN", "M9\\M9_S5.VB"},
    {"M9\\M9_S6.CIN", "M9\\M9_S6.VB"},
    {"M9\\M9_S7.CIN", "M9\\M9_S7.VB"},
    {"M9\\M9_S8.CIN", "M9\\M9_S8.VB"},
    {"M9\\M9_S9A.CIN", "M9\\M9_S9A.VB"},
    {"M9\\M9_S9B.CIN", "M9\\M9_S9B.VB"},
    {"M10\\M10_S1A.CIN", "M10\\M10_S1A.VB"},
    {"M10\\M10_S1B.CIN", "M10\\M10_S1B.VB"},
    {"M10\\M10_S2.CIN", "M10\\M10_S2.VB"},
    {"M10\\M10_S3.CIN", "M10\\M10_S3.VB"},
    {"M10\\M10_S4.CIN", "M10\\M10_S4.VB"},
    {"M10\\M10_S5.CIN", "M10\\M10_S5.VB"},
    {"M10\\M10_S6.CIN", "M10\\M10_S6.VB"},
    {"M10\\M10_S7.CIN", "M10\\M10_S7.VB"},
    {"M10\\M10_S8A.CIN", "M10\\M10_S8A.VB"},
    {"M10\\M10_S8B.CIN", "M10\\M10_S8B.VB"},
    {"M10\\M10_S901.CIN", "M10\\M10_S901.VB"},
    {"M10\\M10_S902.CIN", "M10\\M10_S902.VB"},
    {"M11\\M11_S1.CIN", "M11\\M11_S1.VB"},
    {"M11\\M11_S2.CIN", "M11\\M11_S2.VB"},
    {"M11\\M11_S3.CIN", "M11\\M11_S3.VB"},
    {"M11\\M11_S4A.CIN", "M11\\M11_S4A.VB"},
    {"M11\\M11_S4B.CIN", "M11\\M11_S4B.VB"},
    {"M11\\M11_S4C.CIN", "M11\\M11_S4C.VB"},
    {"M11\\M11_S5A.CIN", "M11\\M11_S5A.VB"},
    {"M11\\M11_S5B.CIN", "M11\\M11_S5B.VB"},
    {"M11\\M11_S6.CIN", "M11\\M11_S6.VB"},
    {"M11\\M11_S7A.CIN", "M11\\M11_S7A.VB"},
    {"M11\\M11_S7B01.CIN", "M11\\M11_S7B01.VB"},
    {"M11\\M11_S7B02.CIN", "M11\\M11_S7B02.VB"},
    {"M11\\M11_S8.CIN", "M11\\M11_S8.VB"},
    {"M12\\M12_S1A.CIN", "M12\\M12_S1A.VB"},
    {"M12\\M12_S1B.CIN", "M12\\M12_S1B.VB"},
    {"M12\\M12_S2.CIN", "M12\\M12_S2.VB"},
    {"M12\\M12_S3A.CIN", "M12\\M12_S3A.VB"},
    {"M12\\M12_S3B.CIN", "M12\\M12_S3B.VB"},
    {"M12\\M12_S4A.CIN", "M12\\M12_S4A.VB"},
    {"M12\\M12_S4B.CIN", "M12\\M12_S4B.VB"},
    {"M12\\M12_S5.CIN", "M12\\M12_S5.VB"},
    {"M12\\M12_S6.CIN", "M12\\M12_S6.VB"},
    {"M12\\M12_S7.CIN", "M12\\M12_S7.VB"},
    {"M12\\M12_S8A.CIN", "M12\\M12_S8A.VB"},
    {"M12\\M12_S8B.CIN", "M12\\M12_S8B.VB"},
};

namespace {

const char kCineDir[] = "KORVALIS\\DemoData\\Cine\\";
constexpr u8 OBJT_ACTOR = 9;
constexpr u32 kActorFlags = OBJF_CINEMAFRAME | OBJF_NOCOLLISION | OBJF_HIDDEN;
constexpr u32 kCrossHit = 0x400000;
constexpr float kCityHalfBox = 500.0f;
constexpr int kBlendSlots = GH_RELMOTION | GH_ANIMATE;
constexpr int kFakeParentNode = 20;
constexpr int kMaxLoadWaits = 600;   // ten seconds of vertical blanks

// Animation events of the scenes.
enum {
    CINE_EV_QUERY_HOTTIE = 86,
    CINE_EV_FAKE_PARENT = 128,
    CINE_EV_RELEASE_PARENT = 129,
    CINE_EV_LGUN_OFF = 130,
    CINE_EV_RGUN_OFF = 131,
    CINE_EV_LGUN_ON = 132,
    CINE_EV_RGUN_ON = 133,
    CINE_EV_GUNS_OFF = 134,
    CINE_EV_GUNS_ON = 135,
};

// What the first actor is added to the world with.
struct ActorParams
{
    Matrix* placement;
    CinemaController* cc;
};

ActorObject* NewActor()
{
    return reinterpret_cast<ActorObject*>(intptr_t(ActorObject::ActorObject_mh(nullptr, OM_CREATE, nullptr)));
}

ActorObject* FirstOf(ActorObject* a)
{
    return a->First != nullptr ? a->First : a;
}

// The actor that took obj over, null when none.
ActorObject* ActorOf(Object* obj)
{
    for (ActorObject* a = pActor; a != nullptr; a = a->NextActor)
        if (a->Animator == obj)
            return a;
    return nullptr;
}

// Starts entry i of the played block on obj's hierarchy at clock frame at.
// A block without the entry leaves the hierarchy still: its keys were in the
// block before, which the controller frees as it streams the next one in.
void StartEntry(CinemaController* cc, Object* obj, int i, float at)
{
    if (obj->blendAnim == nullptr)
        return;
    if (AnimChar* a = cc->Entry(i))
        obj->SetAnimFileHierarchy(a, int(at), true, 1.0f, -1);
    else
        obj->ClearBlendAnimHierarchy();
}

// `refused`: the scene ended because its file is on the disc but could not
// be used.
void TellController(int code, bool refused = false)
{
    if (g_pgcTest != nullptr) {
        SpecialMessage m(code, nullptr, int(refused));
        g_pgcTest->SendMessage(OM_SPECIAL, &m);
    }
}

}  // namespace

static Name nameActorObject("ActorObject", int(reinterpret_cast<intptr_t>(&ActorObject::ActorObject_mh)));

// ---------------------------------------------------------------------------
// Set-up

void ActorObject::InitAO(ActorObject* first, ActorObject* prev, Matrix* m, CinemaController* cc)
{
    First = first;
    if (prev != nullptr)
        prev->NextActor = this;
    flags |= kActorFlags;
    StartMatrix = m != nullptr ? *m : Matrix(true);
    pCinCon = cc;
    nCinemaIndex = -1;
    LastBufFrame = -1.0f;
    Animator = nullptr;
    NextActor = nullptr;
    OldCam = TempCam = nullptr;
    ObjBlurController = nullptr;
    nObjectIndex = 0;
    frame = 0.0f;
    NextID = 0;
    CountDownToFinish = 0;
    LoadedStartLoc = LoadedAnim = Finished = Cleaned = Aborted = DoneFinalPose = Hold = SettingFinalPose = false;
    save_mh = nullptr;
    save_flags = save_anim_flags = 0;
    save_rad = 0.0f;
}

void ActorObject::SetAnimator(Object* obj, int id, int index)
{
    Animator = obj;
    nObjectIndex = id;
    nCinemaIndex = index;
    if (obj != nullptr)
        obj->AllocBlendAnimHierarchy(kBlendSlots);
}

void ActorObject::GrabActorCinemaInfo()
{
    ActorObject* prev = nullptr;
    const u32 n = pCinCon->header != nullptr ? pCinCon->header->numObj : 0;
    for (u32 i = 0; i < n; i++) {
        const CinemaStartLoc& s = pCinCon->startLoc[i];
        const bool camera = s.ID == CINE_CAMERA_ID || s.ID == CINE_CAMERA_ID2;
        Object* obj = nullptr;
        if (!camera) {
            obj = world.objectlist.Find(s.ID);
            if (obj == nullptr && (g_pgcTest == nullptr || !g_pgcTest->bInterior)) {
                const VectorPos at = StartMatrix * VectorPos(s.posX, s.posY, s.posZ);
                obj = world.FindCityObject(s.ID, Cuboid(at, kCityHalfBox));
                if (obj != nullptr)
                    obj = EnsureReal(obj);
            }
            if (obj == nullptr)
                continue;
            // An object is played by one actor: a start location that names
            // one already played, or an actor itself, is left out.
            if (obj->messagehandler == TakeOver_mh || obj->messagehandler == ActorObject_mh) {
                printf("cinema: %s: start location %u names object %d, which the scene plays already; "
                       "it is left out\n", pCinCon->fileName, i, s.ID);
                continue;
            }
            if (obj->type == OBJT_VEHICLE)
                obj->messagehandler = Vehicle::staticcinemh;
        }
        ActorObject* a = this;
        if (prev != nullptr) {
            a = NewActor();
            if (a == nullptr)
                break;
            a->InitAO(this, prev, &StartMatrix, pCinCon);
        }
        a->SetAnimator(obj, s.ID, int(i));
        a->SetStartLoc();
        prev = a;
    }
    LoadedStartLoc = true;
    free(pCinCon->startLoc);
    pCinCon->startLoc = nullptr;
}

void ActorObject::SetStartLoc()
{
    pCinCon->GetStartLoc(this, nCinemaIndex);
    Object* obj = Animator;
    if (obj == nullptr)
        return;
    LocalMatrix = obj->mat;
    obj->ClearBlendAnimHierarchy();
    if (obj->blendAnim != nullptr) {
        obj->blendAnim->sndBank = -1;
        save_anim_flags = obj->blendAnim->flags;
        obj->blendAnim->flags &= ~1u;
    }
    save_mh = obj->messagehandler;
    save_flags = obj->flags;
    save_rad = obj->radius;
    mdlfile = obj->mdlfile;
    obj->messagehandler = TakeOver_mh;
    obj->flags = (obj->flags | OBJF_NOCOLLISION) & ~(OBJF_FRAMECALL | OBJF_SELFANIMATING);
    obj->radius = 1000.0f;
}

void ActorObject::SetActorAnim()
{
    frame = 0.0f;
    if (Animator == nullptr) {
        OldCam = GetCurrentCam();
        TempCam = &CinemaCamera;
        CinemaCamera.mode = CAMMODE_ANIMCONTROLLED;
        SetCurrentCam(TempCam);
        // The camera's keys place it outright: no relative motion.
        AllocBlendAnimHierarchy(GH_ANIMATE);
        StartEntry(pCinCon, this, nCinemaIndex, 0.0f);
        isCinemaRunning = 1;
    } else {
        StartEntry(pCinCon, Animator, nCinemaIndex, 0.0f);
    }
    LoadedAnim = true;
}

// ---------------------------------------------------------------------------
// Playing

ActorObject* ActorObject::Cinemate(float time)
{
    float times[2] = {time, time};
    const float dt = world.playbackSpeed;
    unsigned short alpha = 0, count = 0;
    if (Object* obj = Animator) {
        obj->mat = LocalMatrix;
        BlendAnimateHierarchy(obj, times, dt);
        obj->mat = obj->mat * StartMatrix;
        if (save_mh == Vehicle::staticcinemh)
            save_mh(obj, OM_FRAME, &world);
        if (obj->blendAnim != nullptr && obj->blendAnim->GetBlur(&alpha, &count)) {
            const int n = std::min<int>(count, 16);
            const float strength = float(alpha) * (1.0f / 128.0f);
            if (ObjBlurController != nullptr)
                ObjBlurController = ChangeObjectBlur(ObjBlurController, n, strength);
            else if (n > 0 && strength > 0.08f)
                ObjBlurController = MakeObjectBlur(obj, n, strength);
        }
    } else {
        BlendAnimateHierarchy(this, times, dt);
        if (blendAnim != nullptr) {
            if (blendAnim->GetBlur(&alpha, &count) && (alpha != 0 || count != 0)) {
                gMotionBlur.level = float(alpha) * (1.0f / 128.0f);
                gMotionBlur.reset_count = 2;
            }
            if (TempCam != nullptr) {
                TempCam->mat = mat * StartMatrix;
                TempCam->zoom = blendAnim->GetZoom(1.6f);
                TempCam->nearz = blendAnim->GetNearZ(TempCam->nearz);
            }
        }
    }
    return NextActor;
}

bool ActorObject::Advance()
{
    ActorObject* f = FirstOf(this);
    if (!f->pCinCon->Advance(int(f->frame)))
        return false;
    for (ActorObject* a = f; a != nullptr; a = a->NextActor)
        StartEntry(f->pCinCon, a->Animator != nullptr ? a->Animator : a, a->nCinemaIndex, float(int(f->frame)));
    f->LastBufFrame = f->frame;
    return true;
}

int ActorObject::AnimLoop(Object*)
{
    ActorObject* f = FirstOf(this);
    for (ActorObject* a = f; a != nullptr; a = a->NextActor)
        if (a->SettingFinalPose)
            return 0;
    if (f->Aborted) {
        f->Hold = true;
        return -1;
    }
    if (f->frame == f->LastBufFrame || f->Finished)
        return -1;
    CinemaController* cc = f->pCinCon;
    if (cc->stage != CIN_STAGE_RUNNING) {
        f->Hold = true;
        return -1;
    }
    if (cc->header == nullptr || cc->curBlock >= int(cc->header->numBlock) - 1) {
        f->Finished = true;
        return -1;
    }
    if (!f->Advance()) {
        // The next block is late: the scene holds its pose until it is in.
        f->Hold = true;
        return -1;
    }
    return 0;
}

void ActorObject::SpecMsg(int code)
{
    ActorObject* a = pCurrActor;
    if (a == nullptr || a->Animator == nullptr || a->save_mh == nullptr)
        return;
    SpecialMessage m(code, nullptr);
    a->save_mh(a->Animator, OM_SPECIAL, &m);
}

void ActorObject::SetFakeParentVehicle()
{
    if (Animator == nullptr)
        return;
    Object* from = Animator->FindSubObject(kFakeParentNode);
    const VectorPos at = (from != nullptr ? from : Animator)->GetWorldPos();
    Object* best = nullptr;
    float bestD = 0.0f;
    for (ActorObject* a = FirstOf(this); a != nullptr; a = a->NextActor) {
        Object* o = a->Animator;
        if (o == nullptr || o->type != OBJT_VEHICLE)
            continue;
        const float d = Length(VectorDir(o->GetWorldPos() - at));
        if (best == nullptr || d < bestD) {
            best = o;
            bestD = d;
        }
    }
    rcoFakeParent = best;
    if (best != nullptr)
        vpFakeParentLast = best->GetWorldPos();
}

void ActorObject::ReleaseFakeParent()
{
    rcoFakeParent = nullptr;
}

void ActorObject::AdjustForFakeParent()
{
    Object* v = rcoFakeParent.p;
    if (v == nullptr || Animator == nullptr)
        return;
    // Carried along with the car's movement since the last frame.
    const VectorPos now = v->GetWorldPos();
    const Vector moved = now - vpFakeParentLast;
    Animator->mat.w = Animator->mat.w + Vector(moved[0], moved[1], moved[2], 0.0f);
    LocalMatrix.w = LocalMatrix.w + Vector(moved[0], moved[1], moved[2], 0.0f);
    vpFakeParentLast = now;
}

void ActorObject::Frame()
{
    if (CountDownToFinish > 0 && --CountDownToFinish == 0)
        Finished = true;
    if (Finished) {
        CleanUp();
        return;
    }
    pCinCon->Update();
    if (pCinCon->Failed()) {
        // A block that cannot be played ends the scene where it is.
        Finished = true;
        CleanUp();
        return;
    }
    if (!LoadedStartLoc && pCinCon->stage >= CIN_STAGE_PRELOAD && pCinCon->startLoc != nullptr)
        GrabActorCinemaInfo();
    else if (!LoadedStartLoc && pCinCon->stage >= CIN_STAGE_PRELOAD && pCinCon->header != nullptr &&
             pCinCon->header->numObj == 0)
        LoadedStartLoc = true;
    if (LoadedStartLoc && !LoadedAnim && !Aborted && pCinCon->stage == CIN_STAGE_RUNNING && pCinCon->SoundReady()) {
        for (ActorObject* a = this; a != nullptr; a = a->NextActor)
            a->SetActorAnim();
        pCinCon->StartSound();
    }

    if (Aborted && !DoneFinalPose) {
        if (pCinCon->stage >= CIN_STAGE_LOADFINALLOC &&
            (pCinCon->file < 0 || StreamerBytesPending(pCinCon->file, false) <= 0)) {
            for (ActorObject* a = this; a != nullptr; a = a->NextActor) {
                a->SettingFinalPose = true;
                pCurrActor = a;
                // The root takes its last key as the scene's own frames
                // place it (keyed in the scene's frame, then put where the
                // scene stands): a scene cut short hands its actors back
                // where the played scene would, not where the cut found
                // them.
                if (Object* obj = a->Animator) {
                    if (pCinCon->GetFinalPose(obj, a->nCinemaIndex) == 0 && obj->blendAnim != nullptr) {
                        Matrix m = a->LocalMatrix;
                        obj->blendAnim->pose.Evaluate(m);
                        obj->mat = m * a->StartMatrix;
                    }
                } else {
                    pCinCon->GetFinalPose(a, a->nCinemaIndex);
                }
                if (a->Animator == nullptr && a->TempCam != nullptr && a->blendAnim != nullptr) {
                    a->TempCam->mat = a->mat * StartMatrix;
                    a->TempCam->zoom = a->blendAnim->GetZoom(1.6f);
                    a->TempCam->nearz = a->blendAnim->GetNearZ(a->TempCam->nearz);
                }
            }
            Hold = false;
            CountDownToFinish = 1;
            DoneFinalPose = true;
        }
    } else if (LoadedAnim && !Hold && !Aborted) {
        for (ActorObject* a = this; a != nullptr && !Finished;) {
            pCurrActor = a;
            a = a->Cinemate(frame);
        }
        frame += world.playbackSpeed;
        if (!Finished)
            for (ActorObject* a = this; a != nullptr; a = a->NextActor)
                a->AdjustForFakeParent();
        if (controller[0].pad & kCrossHit)
            AbortCinematic();
    } else if (Hold && !Aborted && pCinCon->stage == CIN_STAGE_RUNNING) {
        if (Advance())
            Hold = false;
    }
    pCurrActor = nullptr;
}

// ---------------------------------------------------------------------------
// The end

void ActorObject::FreeObject()
{
    if (Object* obj = Animator) {
        obj->ClearBlendAnimHierarchy();
        obj->messagehandler = save_mh;
        obj->radius = save_rad;
        obj->flags = save_flags;
        // The world dropped the object's animate and frame-call links while
        // the scene held it; it gets them back (once: a scene that never ran
        // a world step left the old ones in place).
        if ((save_flags & OBJF_SELFANIMATING) && world.animlist.Find(obj) == nullptr)
            world.StartAnimating(obj);
        if ((save_flags & OBJF_FRAMECALL) && world.framecalllist.Find(obj) == nullptr)
            world.StartFrameCall(obj);
        if (obj->blendAnim != nullptr)
            obj->blendAnim->flags = save_anim_flags;
        if (ObjBlurController != nullptr) {
            ObjBlurController->SendMessage(OM_DIE, nullptr);
            ObjBlurController = nullptr;
        }
        obj->SendMessage(OM_CINEMAOVER, nullptr);
        Animator = nullptr;
    } else if (TempCam != nullptr) {
        Camera* old = OldCam != nullptr ? OldCam : GetCurrentCam();
        old->mat = TempCam->mat;
        SetCurrentCam(old);
        TempCam = nullptr;
    }
    ReleaseFakeParent();
}

void ActorObject::FreeSiblings()
{
    for (ActorObject* a = this; a != nullptr;) {
        ActorObject* next = a->NextActor;
        a->FreeObject();
        if (a != this)
            delete a;
        a = next;
    }
    NextActor = nullptr;
    BlendAnimation::animateFace = false;
    world.mode = WORLD_MODE_NORMAL;
}

void ActorObject::CleanUp()
{
    if (Cleaned)
        return;
    Cleaned = true;
    FreeSiblings();
    pCinCon->CloseUp();
    flags &= ~OBJF_FRAMECALL;
    isCinemaRunning = 0;
    if (pActor == this)
        pActor = nullptr;
    pCurrActor = nullptr;
    gMotionBlur.level = 0.0f;
    Delete();
    TellController(SMSG_GC_CINEMATIC_DONE, pCinCon->Refused());
}

int ActorObject::TakeOver_mh(Object* o, OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_ANIMLOOP:
        return pCurrActor != nullptr ? pCurrActor->AnimLoop(o) : 0;
    case OM_DIE: {
        ActorObject* a = ActorOf(o);
        const OBJMESSAGEHANDLER own = a != nullptr ? a->save_mh : nullptr;
        if (a != nullptr)
            a->Animator = nullptr;   // nothing to hand back
        if (pActor != nullptr)
            pActor->SendMessage(OM_DIE, nullptr);
        return own != nullptr ? own(o, OM_DIE, data) : 0;
    }
    case OM_ANIMEVENT: {
        if (data == nullptr || pCurrActor == nullptr)
            return 0;
        const int ev = static_cast<AnimEventMessage*>(data)->event;
        switch (ev) {
        case CINE_EV_QUERY_HOTTIE:
            pCurrActor->SpecMsg(ev);
            break;
        case CINE_EV_FAKE_PARENT:
            pCurrActor->SetFakeParentVehicle();
            break;
        case CINE_EV_RELEASE_PARENT:
            pCurrActor->ReleaseFakeParent();
            break;
        case CINE_EV_LGUN_OFF:
        case CINE_EV_RGUN_OFF:
        case CINE_EV_LGUN_ON:
        case CINE_EV_RGUN_ON:
            pCurrActor->SpecMsg(ev);
            break;
        case CINE_EV_GUNS_OFF:
            pCurrActor->SpecMsg(CINE_EV_LGUN_OFF);
            pCurrActor->SpecMsg(CINE_EV_RGUN_OFF);
            break;
        case CINE_EV_GUNS_ON:
            pCurrActor->SpecMsg(CINE_EV_LGUN_ON);
            pCurrActor->SpecMsg(CINE_EV_RGUN_ON);
            break;
        default:
            break;
        }
        return 0;
    }
    default:
        return 0;
    }
}

int ActorObject::ActorObject_mh(Object* o, OBJMESSAGE msg, void* data)
{
    auto* self = static_cast<ActorObject*>(o);
    switch (msg) {
    case OM_CREATE: {
        auto* a = static_cast<ActorObject*>(Object::operator new(sizeof(ActorObject)));
        if (a == nullptr)
            return 0;
        a->messagehandler = ActorObject_mh;
        a->StartMatrix = Matrix(true);
        a->LocalMatrix = Matrix(true);
        return int(reinterpret_cast<intptr_t>(a));
    }
    case OM_INIT: {
        const ActorParams* p = static_cast<const ActorParams*>(data);
        self->type = OBJT_ACTOR;
        pCurrActor = nullptr;
        self->InitAO(nullptr, nullptr, p != nullptr ? p->placement : nullptr,
                     p != nullptr ? p->cc : &g_CinCont);
        self->flags |= OBJF_FRAMECALL;
        return 0;
    }
    case OM_FRAME:
        if (self->First == nullptr)
            self->Frame();
        return 0;
    case OM_ANIMLOOP:
        return self->AnimLoop(nullptr);
    case OM_DIE:
        self->ReleaseFakeParent();
        if (self->First != nullptr)
            return self->First->SendMessage(OM_DIE, nullptr);
        if (!self->Cleaned) {
            // Ended from outside: hand everything back first.
            self->Cleaned = true;
            self->FreeSiblings();
            self->pCinCon->CloseUp();
            isCinemaRunning = 0;
            if (pActor == self)
                pActor = nullptr;
            TellController(SMSG_GC_CINEMATIC_DONE, self->pCinCon->Refused());
        }
        delete self;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Starting and skipping

void ParseActorScript(int n, Matrix* placement)
{
    if (n < 0 || n >= NUM_CINEMATICS)
        return;
    char cin[128], vag[128];
    const sCineInfo& row = CineNames[n];
    snprintf(cin, sizeof cin, "%s%s", kCineDir, row.CINFile);
    snprintf(vag, sizeof vag, "%s%s", kCineDir, row.VAGFile);
    g_CinCont.LoadSound(vag);
    if (!g_CinCont.LoadHeader(cin)) {
        g_CinCont.CloseUp();
        TellController(SMSG_GC_CINEMATIC_DONE, g_CinCont.Refused());
        return;
    }
    ActorObject* a = NewActor();
    if (a == nullptr) {
        g_CinCont.CloseUp();
        TellController(SMSG_GC_CINEMATIC_DONE);
        return;
    }
    ActorParams params{placement, &g_CinCont};
    world.AddObject(a, &params);
    pActor = a;
    world.mode = WORLD_MODE_CINEMA;
    BlendAnimation::animateFace = true;
    // The first block and the sound are in before the scene's first frame;
    // a file refused on the way ends the scene at once.
    for (int waits = 0; !g_CinCont.Failed() && !(g_CinCont.stage == CIN_STAGE_RUNNING && g_CinCont.SoundReady());
         waits++) {
        // A disc that stops answering ends the scene rather than the game.
        if (waits == kMaxLoadWaits) {
            g_CinCont.Abandon("the scene did not arrive from the disc");
            break;
        }
        g_CinCont.Update();
        CineLoadWait();
    }
    if (g_CinCont.Failed())
        a->Frame();
}

void AbortCinematic()
{
    if (pActor == nullptr || pActor->Aborted)
        return;
    pActor->pCinCon->LoadFinalPose();
    pActor->DoneFinalPose = false;
    pActor->Aborted = true;
}
