// The music and voice players: `bgm` plays the mission music and switches
// between an on-foot and an in-car piece as the player gets in or out of a
// car; `DaceVO` plays the player's voice lines, drawn at random from a pool
// per situation, and the police-radio dispatcher's calls with their radio
// lead-in and tail; `JBNPCVO` plays the other characters' lines, their file
// named by a voice bank and a line kind.  All three stream from the disc and
// are advanced once per displayed frame after the sound system.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/Utilities/SoundStream2.h"

// ---------------------------------------------------------------------------
// Music

// Music events.  Only 0, 8 and 9 change anything with the songs there are.
enum KVJukeboxEvents {
    SoundEvent_FadedOut = 0,
    SoundEvent_FadedIn = 1,
    SoundEvent_HeatUp = 2,
    SoundEvent_CoolDown = 3,
    SoundEvent_DaceKnockdown = 4,
    SoundEvent_EnemyKnockdown = 5,
    SoundEvent_DaceKnockedOut = 6,
    SoundEvent_LastEnemyKnockedOut = 7,
    SoundEvent_EnterCar = 8,
    SoundEvent_ExitCar = 9,
    SoundEvent_StartFastDriving = 10,
    SoundEvent_StopFastDriving = 11,
    SoundEvent_StartSlowDriving = 12,
    SoundEvent_StopSlowDriving = 13,
    SoundEvent_DroveToDestination = 14,
    SoundEvent_DaceShotDead = 15,
    SoundEvent_LastEnemyNeutralized = 16,
};

// Music tracks: five of each mission kind, then the special pieces.
enum MissionBGM {
    BGM_DriveTo_1 = 0,
    BGM_Tail_1 = 5,
    BGM_RaceTo_1 = 10,
    BGM_Escape_1 = 15,
    BGM_Pursue_1 = 20,
    BGM_Combat_1 = 25,
    BGM_Shootout_1 = 30,
    BGM_Stealth_1 = 35,
    BGM_Special_M2G1 = 40,
    BGM_Special_M2G6,
    BGM_Special_M3G1,
    BGM_Special_M3G2,
    BGM_Special_M3G4,
    BGM_Special_M4G1,
    BGM_Special_M4G2,
    BGM_Special_M4G3,
    BGM_Special_M4G4,
    BGM_Special_M4G5,
    BGM_Special_M4G6,
    BGM_Special_M4G7,
    BGM_Special_M4G8,
    BGM_Special_M4G9,
    BGM_Special_M5G3,
    BGM_Special_Demo,
    BGM_Special_DemoDriveTo,
    BGM_NumTracks,
};
static_assert(BGM_NumTracks == 57);

// The pieces, "KORVALIS\DemoData\Vags\" + name + ".VB".
enum {
    SONG_DRIVETO, SONG_DRIVE, SONG_RACE, SONG_CHASEGO, SONG_CHASE, SONG_GUNDOWN, SONG_STEALTH, SONG_INTSHT,
    SONG_CITYBUSY, SONG_M2G1, SONG_M2G6, SONG_M3G1, SONG_M3G2, SONG_M3G4, SONG_M4G1, SONG_M4G4, SONG_M5G3,
    SONG_M4G2, SONG_M4G3, SONG_M4G5, SONG_M4G6, SONG_M4G7, SONG_M4G8, SONG_M4G9, SONG_DEMO,
    NUM_SONGSAMPLES,
};
extern DynamicSoundStream::Sample songsamples[NUM_SONGSAMPLES];

class KVJukebox : public ScriptJukebox
{
public:
    // A song: its pieces and which follows which.  Built in place in the
    // jukebox's song buffer.
    class Song
    {
    public:
        // The piece to play after `current` (-1: at the start).
        virtual int GetNextSample(int current) = 0;
        // Whether the event calls for a transition, to the piece in *sample.
        virtual bool GetEventSample(int event, int* sample) = 0;
        // The next-piece callback of the scripted stream.
        static int DispatchNextSampleFunc(int current, void* song);

        DynamicSoundStream::Sample* samples;
        u16 pitch;
        KVJukebox* jukebox;

    protected:
        ~Song() = default;
    };

    KVJukebox(u32 banksize, float volumefactor, unsigned frequency);

    // Stops what plays and starts the track's song; 57 and up: silence.
    void PlayTrack(int track, float volume, int looplen);
    void PlayTrack(int track, int looplen, float volume) = delete;
    // Drops the song and stops the stream (the bank is kept).
    void Stop();
    // Hands the event to the song; a transition it calls for starts the
    // piece at once once the jukebox is stopped.  Always false.
    bool Event(int event);
    // Runs the fades; a fade-in that has ended sends event 1, a fade-out
    // event 0.
    void Update();

    Song* cursong;
    int streamNum;
    alignas(8) u8 songbuf[128];

    static int numtracks;
};

// One piece looped for ever.
class Song_Generic : public KVJukebox::Song
{
public:
    int GetNextSample(int current) override;
    bool GetEventSample(int event, int* sample) override;
};

// The on-foot piece (0) and the in-car piece (1).
class Song_OnFootInCar : public KVJukebox::Song
{
public:
    int GetNextSample(int current) override;
    bool GetEventSample(int event, int* sample) override;

    int nextsample;
    DynamicSoundStream::Sample samplearray[2];

    static const int FadeOutLen = 40;
    static const int FadeInLen = 30;
};

extern KVJukebox bgm;

// ---------------------------------------------------------------------------
// The player's voice

enum DaceVOType {
    DaceVO_None = 0,
    DaceVO_CopWarning,
    DaceVO_GunWarning,
    DaceVO_Random_Female,
    DaceVO_Random_Male,
    DaceVO_Inspect_Female,
    DaceVO_Inspect_Male,
    DaceVO_Release_Female,
    DaceVO_Release_Male,
    DaceVO_Arrest_Female,
    DaceVO_Arrest_Male,
    DaceVO_CarCommandeerStart,
    DaceVO_CarCommandeerFinish,
    DaceVO_CarCommandeerFinish_Junk,
    DaceVO_CarCommandeerFinish_Bike,
    DaceVO_CarCrash,
    DaceVO_CarCityDamage,
    DaceVO_CarHitPerson,
    DaceVO_CarZooming,
    DaceVO_DriveToStart,
    DaceVO_DriveToFinish,
    DaceVO_CombatStart,
    DaceVO_CombatTaunt,
    DaceVO_CombatOops,
    DaceVO_CombatNoGuns,
    DaceVO_CombatFinish,
    DaceVO_GunsStart,
    DaceVO_GunsRage,
    DaceVO_GunsCover,
    DaceVO_GunsOops,
    DaceVO_GunsPrecisionAim,
    DaceVO_GunsKilledBystander,
    DaceVO_GunsFinish,
    DaceVO_PursuitStart,
    DaceVO_PursuitTaunt,
    DaceVO_PursuitOops,
    DaceVO_PursuitFinish,
    DaceVO_PursuitAbort,
    DaceVO_RaceToStart,
    DaceVO_RaceToOops,
    DaceVO_RaceToFinish,
    DaceVO_RaceToAbort,
    DaceVO_TailStart,
    DaceVO_TailOops_Close,
    DaceVO_TailOops_Far,
    DaceVO_TailAbort_Spotted,
    DaceVO_TailAbort_Failure,
    DaceVO_TailFinish,
    DaceVO_InfiltrateStart,
    DaceVO_InfiltrateVisible,
    DaceVO_InfiltrateTakedown,
    DaceVO_InfiltrateFinish,
    DaceVO_InfiltrateAbort,
    DaceVO_EscapeStart,
    DaceVO_EscapeOops,
    DaceVO_EscapeFinish,
    DaceVO_Death,
    DaceVO_Swear,
    DaceVO_TotalNumTypes,
};
static_assert(DaceVO_TotalNumTypes == 58);

// Track rows: 1..13 mission lines, 14..85 the dispatcher's lines in pairs,
// 86..89 the radio lead-ins, 90..93 the radio tails, 94..330 the player's
// pools by voice type.
constexpr int NUM_DACEVOTRAX = 331;
constexpr int DACEVO_RADIO_FIRST = 14;
constexpr int DACEVO_RADIO_LAST = 85;
constexpr int DACEVO_LEADIN_FIRST = 86;
constexpr int DACEVO_TAIL_FIRST = 90;
extern NumberedFileJukebox::Track DaceVOTrax[NUM_DACEVOTRAX];

constexpr int NEVER = 0x7FFFFFFF;

class DaceVOJukebox : public NumberedFileJukebox
{
public:
    DaceVOJukebox(u32 banksize, float volumefactor, unsigned frequency, Track* tracks, u32 numtracks);

    // Plays (delay 0) or cues, to start `delay` world frames later, a line
    // of the type drawn from its pool: never the file the type played last,
    // and with three or more lines never the line playing now.  False when
    // the type has no lines or the line cannot be had.
    bool Play(int type, int delay);
    // A numbered line, now.
    void PlayVOTrack(int track);
    // A dispatcher's line: lead-in, the line, then a tail, driven by Update.
    void PlayDispatcherVOTrack(int track);
    void Stop();
    // Forgets every line played and stops.
    void Restart();
    // Once per displayed frame.
    void Update();

    // The first track of a type (0: none); a type's pool runs up to the
    // next type's first track.
    static int GetTrack(int type);
    // World frames since the type last played, NEVER when it never did.
    int GetTimeSincePlayed(int type) const;
    int GetTimeSinceLastStop() const;

    int GetCurrentType() const { return votype; }
    int GetCurrentTrack() const { return votrack; }
    bool IsStopped() const { return state == STOPPED; }

    int lastsampleplayed[DaceVO_TotalNumTypes];
    int lastplaytime[DaceVO_TotalNumTypes];
    int votype;
    int votrack;
    int laststoptime;
    int delaytime;
    bool needworlddelaytime;
    float volume;

    // Redraws of one Play at most: a pool whose every file is the one last
    // played must still end its draw.
    static const int MaxRedraws = 32;

private:
    void PlayNow(int track);
};

extern DaceVOJukebox DaceVO;

// ---------------------------------------------------------------------------
// Other characters' voices

enum NPCVOBank {
    NPCVOBank_Male_A,
    NPCVOBank_Male_B,
    NPCVOBank_Male_C,
    NPCVOBank_Female_A,
    NPCVOBank_Female_B,
    NPCVOBank_Female_C,
    NPCVOBank_Asian,
    NPCVOBank_Homie,
    NPCVOBank_Punk,
    NPCVOBank_Hobo,
    NPCVOBank_Hooker,
    NPCVOBank_Pimp,
    NPCVOBank_Hispanic,
    NPCVOBank_Chinese_A,
    NPCVOBank_Chinese_B,
    NPCVOBank_Russian_A,
    NPCVOBank_Russian_B,
    NPCVOBank_Pell,
    NPCVOBank_Tirsa,
    NPCVOBank_TheVarnel,
    NPCVOBank_Brask,
    NPCVOBank_Tovin,
    NPCVOBank_Concubine,
    NPCVOBank_Dominatrix,
    NPCVOBank_Gimp,
    NPCVOBank_LAST = NPCVOBank_Gimp,
};

constexpr int NPCVO_NOBANK = 255;
constexpr int NUM_NPCVOSUFFIXES = 53;
extern const char* NPCVOPrefixes[NPCVOBank_LAST + 1];
extern const char* NPCVOSuffixes[NUM_NPCVOSUFFIXES];

// Positions a jukebox's line: at a fixed point, or following an object.
// Nothing happens when the channel handle is not valid.
void PositionJukeboxChannel(int chan, const VectorPos& position);
void PositionJukeboxChannel(int chan, Object* source);

// Lines numbered by bank: track = bank x banksize + track.
class BankedJukebox : public NumberedFileJukebox
{
public:
    BankedJukebox(int banksize, u32 ringsize, float volumefactor, unsigned frequency, Track* tracks, u32 numtracks);

    bool PlayBankTrack(int bank, int track, float volume, int looplen);
    bool PlayBankTrack(int bank, int track, VectorPos position, float volume);
    bool PlayBankTrack(int bank, int track, Object* source, float volume);

    int banksize;
};

// Lines by file name: directory + the bank's prefix + the kind's suffix.
class BankedVBJukebox : public NumberedFileJukebox
{
public:
    BankedVBJukebox(const char* basename, const char** prefixes, const char** suffixes, u32 banksize,
                    float volumefactor, unsigned frequency);

    // Bank 255 plays nothing (false).  A new line replaces the one playing.
    bool PlayBankTrack(int bank, int kind, float volume, int looplen);
    bool PlayBankTrack(int bank, int kind, VectorPos position, float volume);
    bool PlayBankTrack(int bank, int kind, Object* source, float volume);
    int GetCurrentBank() const { return curbank; }
    int GetCurrentTrack() const { return curtrack; }

    Track shelltrack;
    char shellfile[256];
    char filebasename[256];
    const char** prefixes;
    const char** suffixes;
    int curbank;
    int curtrack;
};

extern BankedVBJukebox JBNPCVO;
