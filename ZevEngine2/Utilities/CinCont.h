// Cinema files (".CIN") and the controller that streams one while its scene
// plays.
//
// A cinema file holds, after a 16-byte header, a table of blocks and a
// table of start locations.  Each block is an animation group laid out as an
// animation file (ZevEngine2/AnimFile.h), entry i animating start location i;
// the blocks follow each other in time, and the last one holds every start
// location's final pose.  The controller reads the file block by block
// through the disc streamer into two alternating buffers: one is played
// while the next one arrives.
//
// Everything read is checked against the file before it is used: tables and
// blocks that do not lie in the file, and blocks the animation check
// refuses, stop the controller (Failed), and the scene ends.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/PS2/SoundStream.h"
#include "ZevEngine2/PS2/Vector.h"

class Object;

struct CinemaFile
{
    u32 numBlock;      // blocks, the last being the final poses
    u32 numObj;        // start locations
    u32 startOffset;   // file offset of the start-location table
    u32 block;         // file offset of the block table
};
static_assert(sizeof(CinemaFile) == 16);

struct CinemaFileBlock
{
    u32 offset;
    u32 size;
};
static_assert(sizeof(CinemaFileBlock) == 8);

struct CinemaStartLoc
{
    float posX, posY, posZ;
    s32 ID;            // the object it animates; 5000 and 12345 the scene camera
    float quatX, quatY, quatZ, quatW;
};
static_assert(sizeof(CinemaStartLoc) == 32);

enum CIN_STAGE_ENUM {
    CIN_STAGE_START,
    CIN_STAGE_LOADHEADER,
    CIN_STAGE_LOADSTARTLOC,
    CIN_STAGE_LOADBLOCKOFF,
    CIN_STAGE_PRELOAD,
    CIN_STAGE_RUNNING,
    CIN_STAGE_LOADFINALLOC,
};

// The disc services the controller reads its file through: the streamer's
// (RealCinemaIO), or others that stand in for the disc.
struct CinemaIO
{
    int (*Open)(const char* filename, int offset);
    int (*TotalLength)(int streamnum);
    int (*Transfer)(int streamnum, void* addr, int size);
    int (*Seek)(int streamnum, int offset, int seekmode);
    int (*BytesPending)(int streamnum, bool sync);
    int (*Stop)(int streamnum);
    int (*Close)(int streamnum);
};
extern CinemaIO cinemaio;
CinemaIO RealCinemaIO();

// The most blocks and start locations a scene may have.
constexpr u32 CIN_MAX_BLOCKS = 4096;
constexpr u32 CIN_MAX_STARTLOCS = 256;

class CinemaController
{
public:
    CinemaController();

    // Opens the file and asks for its header; false (and Failed) when it
    // cannot be opened or is too short for one.
    bool LoadHeader(const char* name);
    // Opens the sound file and starts filling the bank; false without it.
    bool LoadSound(const char* name);
    void StartSound();
    // Polls the transfers and moves the loading on a stage.
    void Update();
    // Moves on to the next block at frame; false while a transfer is
    // pending or frame was reached before.
    bool Advance(int frame);
    // The first start location with this id, -1 none.
    int FindID(int id) const;
    // Places obj at start location i (rotation, then position).
    void GetStartLoc(Object* obj, int i) const;
    // Asks for the final-pose block.
    void LoadFinalPose();
    // Poses obj's hierarchy at the end of its final pose; 1 when obj has
    // nothing to pose.
    int GetFinalPose(Object* obj, int i);
    // Closes the files, frees the tables and buffers, stops the sound.
    void CloseUp();

    // Entry i of the buffer being played, null when it has none.
    AnimChar* Entry(int i) const;
    bool Failed() const { return failed; }
    // The scene ended because its file is on the disc but could not be used
    // (a file the disc does not have is only missing).
    bool Refused() const { return failed && !missing; }
    // Gives the scene up, saying why.
    void Abandon(const char* why) { Fail(why); }
    // The sound is loaded (or there is none).
    bool SoundReady() const;

    CIN_STAGE_ENUM stage;
    int file;            // streamer handle, -1 none
    int curBuff;         // the buffer being filled; the other one is played
    int curBlock;        // the block now loading
    int lastFrame;       // frame of the last advance, -1 at rest
    bool newBuff;        // a transfer into buffer[curBuff] not yet fixed up
    CinemaFile* header;
    CinemaStartLoc* startLoc;
    CinemaFileBlock* block;
    AnimGroup* buffer[2];
    u32 bufSize[2];
    SoundFileStream sndstream;
    StreamingSoundBank sndBank;
    bool hasSound;
    u32 fileLength;
    bool failed;         // the file was refused: the scene ends
    bool missing;        // the file cannot be opened
    char fileName[64];   // the scene's file, for messages

private:
    bool StreamReady() const;
    bool LoadBlockOffsets();
    bool LoadStartLoc();
    void LoadFirstBuffer();
    bool LoadNextBuffer();
    void LoadBuffer();
    // Checks and fixes up the buffer just filled; false refuses the file.
    bool FixBuffer();
    void Fail(const char* why);
};

extern CinemaController g_CinCont;
