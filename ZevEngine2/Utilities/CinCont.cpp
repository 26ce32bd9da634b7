// The cinema controller: the cinema file streamed block by block.
#include "ZevEngine2/Utilities/CinCont.h"

#include <cstring>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Streamer.h"

CinemaController g_CinCont;

CinemaIO RealCinemaIO()
{
    return CinemaIO{StreamerOpen, StreamerTotalLength, StreamerTransfer, StreamerSeek,
                    StreamerBytesPending, StreamerStop, StreamerClose};
}

CinemaIO cinemaio = RealCinemaIO();

namespace {

constexpr u32 kSoundRate = 44100;
constexpr u32 kSoundBankSize = 0x18000;
constexpr unsigned kSoundPitch = 256;

// The streamer moves whole quadword lines: a buffer is made of whole 64-byte
// lines so that a rounded-up transfer stays inside it.
void* Alloc(u32 size)
{
    return size != 0 ? malloc_align((size + 63) & ~63u, 64) : nullptr;
}

// A record read into main memory is asked for in whole quadwords, as the
// streamer delivers there; the bytes past its end are the file's next ones
// (none at the file's end, where the streamer stops) and land inside the
// buffer's last line.
void Read(int file, void* to, u32 bytes)
{
    cinemaio.Transfer(file, to, int((bytes + 15) & ~15u));
}

}  // namespace

CinemaController::CinemaController()
    : stage(CIN_STAGE_START), file(-1), curBuff(0), curBlock(0), lastFrame(-1), newBuff(false), header(nullptr),
      startLoc(nullptr), block(nullptr), buffer{nullptr, nullptr}, bufSize{0, 0}, sndstream(kSoundRate),
      sndBank(kSoundBankSize), hasSound(false), fileLength(0), failed(false), missing(false), fileName{}
{
}

void CinemaController::Fail(const char* why)
{
    if (!failed)
        printf("cinema: %s: %s; the scene ends\n", fileName, why);
    failed = true;
    if (file >= 0)
        cinemaio.Stop(file);
}

bool CinemaController::LoadHeader(const char* name)
{
    free(header);
    header = nullptr;
    failed = false;
    missing = false;
    snprintf(fileName, sizeof fileName, "%s", name);
    if (file >= 0)
        cinemaio.Close(file);
    file = cinemaio.Open(name, 0);
    if (file < 0) {
        printf("cinema: %s cannot be opened\n", name);
        failed = true;
        missing = true;
        return false;
    }
    const int length = cinemaio.TotalLength(file);
    fileLength = length > 0 ? u32(length) : 0;
    if (fileLength < sizeof(CinemaFile)) {
        Fail("the file is too short for its header");
        return false;
    }
    header = static_cast<CinemaFile*>(Alloc(sizeof(CinemaFile)));
    if (header == nullptr) {
        Fail("no memory for the header");
        return false;
    }
    Read(file, header, sizeof(CinemaFile));
    stage = CIN_STAGE_LOADHEADER;
    return true;
}

bool CinemaController::LoadSound(const char* name)
{
    if (sndstream.IsValid())
        sndstream.Close();
    hasSound = false;
    if (name == nullptr || !sndstream.Open(name, 0))
        return false;
    hasSound = sndBank.LoadStream(&sndstream, false, kSoundPitch);
    return hasSound;
}

void CinemaController::StartSound()
{
    if (hasSound)
        sndBank.PlayLoadedStream();
}

bool CinemaController::SoundReady() const
{
    return !hasSound || sndBank.IsLoaded();
}

bool CinemaController::StreamReady() const
{
    return file < 0 || cinemaio.BytesPending(file, false) <= 0;
}

void CinemaController::Update()
{
    if (hasSound)
        sndBank.Update();
    if (failed || !StreamReady())
        return;
    switch (stage) {
    case CIN_STAGE_LOADHEADER:
        if (LoadBlockOffsets())
            stage = CIN_STAGE_LOADSTARTLOC;
        break;
    case CIN_STAGE_LOADSTARTLOC:
        if (LoadStartLoc())
            stage = CIN_STAGE_LOADBLOCKOFF;
        break;
    case CIN_STAGE_LOADBLOCKOFF:
        LoadFirstBuffer();
        if (!failed)
            stage = CIN_STAGE_PRELOAD;
        break;
    case CIN_STAGE_PRELOAD:
        LoadNextBuffer();
        if (!failed)
            stage = CIN_STAGE_RUNNING;
        break;
    default:
        break;
    }
}

bool CinemaController::LoadBlockOffsets()
{
    // A scene has at least one block of animation and the final poses.
    const CinemaFile& h = *header;
    if (h.numBlock < 2 || h.numBlock > CIN_MAX_BLOCKS || h.numObj > CIN_MAX_STARTLOCS ||
        u64(h.block) + u64(h.numBlock) * sizeof(CinemaFileBlock) > fileLength ||
        u64(h.startOffset) + u64(h.numObj) * sizeof(CinemaStartLoc) > fileLength) {
        Fail("the header's tables do not lie in the file");
        return false;
    }
    free(block);
    block = static_cast<CinemaFileBlock*>(Alloc(h.numBlock * sizeof(CinemaFileBlock)));
    if (block == nullptr) {
        Fail("no memory for the block table");
        return false;
    }
    cinemaio.Seek(file, int(h.block), STREAMER_SEEK_SET);
    Read(file, block, h.numBlock * u32(sizeof(CinemaFileBlock)));
    return true;
}

bool CinemaController::LoadStartLoc()
{
    for (u32 i = 0; i < header->numBlock; i++)
        if (block[i].size < sizeof(AnimGroup) || u64(block[i].offset) + block[i].size > fileLength) {
            Fail("a block does not lie in the file");
            return false;
        }
    free(startLoc);
    startLoc = nullptr;
    if (header->numObj == 0)
        return true;
    startLoc = static_cast<CinemaStartLoc*>(Alloc(header->numObj * sizeof(CinemaStartLoc)));
    if (startLoc == nullptr) {
        Fail("no memory for the start locations");
        return false;
    }
    cinemaio.Seek(file, int(header->startOffset), STREAMER_SEEK_SET);
    Read(file, startLoc, header->numObj * u32(sizeof(CinemaStartLoc)));
    return true;
}

void CinemaController::LoadFirstBuffer()
{
    curBlock = 0;
    LoadBuffer();
}

void CinemaController::LoadBuffer()
{
    free(buffer[curBuff]);
    const CinemaFileBlock& b = block[curBlock];
    buffer[curBuff] = static_cast<AnimGroup*>(Alloc(b.size));
    bufSize[curBuff] = buffer[curBuff] != nullptr ? b.size : 0;
    if (buffer[curBuff] == nullptr) {
        Fail("no memory for a block");
        return;
    }
    cinemaio.Seek(file, int(b.offset), STREAMER_SEEK_SET);
    Read(file, buffer[curBuff], b.size);
    newBuff = true;
}

bool CinemaController::FixBuffer()
{
    newBuff = false;
    char why[256] = "";
    char said[320];
    const char* fault = nullptr;
    if (buffer[curBuff] == nullptr)
        fault = "a block is missing";
    else if (!AnimGroup::Check(buffer[curBuff], bufSize[curBuff], why)) {
        snprintf(said, sizeof said, "a block is not a sound animation group (%s)", why);
        fault = said;
    }
    // Every start location's object plays entry i of each block: one
    // without it would go on playing the block before, which is freed.
    else if (header != nullptr && u32(buffer[curBuff]->count) < header->numObj)
        fault = "a block has fewer entries than the scene has start locations";
    if (fault != nullptr) {
        Fail(fault);
        free(buffer[curBuff]);
        buffer[curBuff] = nullptr;
        return false;
    }
    buffer[curBuff]->FixUp();
    return true;
}

bool CinemaController::LoadNextBuffer()
{
    if (newBuff && !FixBuffer())
        return false;
    curBuff = 1 - curBuff;
    curBlock++;
    if (curBlock >= int(header->numBlock) - 1)
        return false;
    LoadBuffer();
    return true;
}

bool CinemaController::Advance(int frame)
{
    if (failed || !StreamReady() || lastFrame >= frame)
        return false;
    lastFrame = frame;
    LoadNextBuffer();
    return true;
}

int CinemaController::FindID(int id) const
{
    if (header == nullptr || startLoc == nullptr)
        return -1;
    for (u32 i = 0; i < header->numObj; i++)
        if (startLoc[i].ID == id)
            return int(i);
    return -1;
}

void CinemaController::GetStartLoc(Object* obj, int i) const
{
    if (startLoc == nullptr || i < 0 || u32(i) >= header->numObj)
        return;
    const CinemaStartLoc& s = startLoc[i];
    obj->mat = Matrix(Quaternion(Vector(s.quatX, s.quatY, s.quatZ, s.quatW)));
    obj->mat.w = Vector(s.posX, s.posY, s.posZ, 1.0f);
}

void CinemaController::LoadFinalPose()
{
    stage = CIN_STAGE_LOADFINALLOC;
    if (file >= 0)
        cinemaio.Stop(file);
    if (header == nullptr || block == nullptr || failed)
        return;
    curBlock = int(header->numBlock) - 1;
    LoadBuffer();
}

AnimChar* CinemaController::Entry(int i) const
{
    const AnimGroup* g = buffer[1 - curBuff];
    if (g == nullptr || i < 0 || i >= g->count)
        return nullptr;
    return g->pChars[i];
}

int CinemaController::GetFinalPose(Object* obj, int i)
{
    if (newBuff) {
        if (!FixBuffer())
            return 1;
        curBuff = 1 - curBuff;
    }
    if (obj == nullptr || obj->blendAnim == nullptr)
        return 1;
    AnimChar* a = Entry(i);
    if (a == nullptr)
        return 1;
    obj->SetAnimFileHierarchy(a, 0, true, 1.0f, -1);
    obj->PoseAnimHierarchyToFrame(a, float(a->length & ANIM_LEN_MASK), true, 1.0f);
    return 0;
}

void CinemaController::CloseUp()
{
    if (file >= 0)
        cinemaio.Close(file);
    if (sndstream.IsValid())
        sndstream.Close();
    free(header);
    free(startLoc);
    free(block);
    free(buffer[0]);
    free(buffer[1]);
    header = nullptr;
    startLoc = nullptr;
    block = nullptr;
    buffer[0] = buffer[1] = nullptr;
    bufSize[0] = bufSize[1] = 0;
    if (hasSound)
        sndBank.StopStream(true, false);
    hasSound = false;
    stage = CIN_STAGE_START;
    file = -1;
    curBuff = 0;
    curBlock = 0;
    lastFrame = -1;
    newBuff = false;
}
