// The music and voice jukeboxes.
#include "game/GameAudio.h"

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/QuadTree.h"

// ---------------------------------------------------------------------------
// Music

#define VAGS "KORVALIS\\DemoData\\Vags\\"

DynamicSoundStream::Sample songsamples[NUM_SONGSAMPLES] = {
    {VAGS "DRIVETO.VB", 0, nullptr}, {VAGS "DRIVE.VB", 0, nullptr},    {VAGS "RACE.VB", 0, nullptr},
    {VAGS "CHASEGO.VB", 0, nullptr}, {VAGS "CHASE.VB", 0, nullptr},    {VAGS "GUNDOWN.VB", 0, nullptr},
    {VAGS "STEALTH.VB", 0, nullptr}, {VAGS "INTSHT.VB", 0, nullptr},   {VAGS "CITYBUSY.VB", 0, nullptr},
    {VAGS "M2G1.VB", 0, nullptr},    {VAGS "M2G6.VB", 0, nullptr},     {VAGS "M3G1.VB", 0, nullptr},
    {VAGS "M3G2.VB", 0, nullptr},    {VAGS "M3G4.VB", 0, nullptr},     {VAGS "M4G1.VB", 0, nullptr},
    {VAGS "M4G4.VB", 0, nullptr},    {VAGS "M5G3.VB", 0, nullptr},     {VAGS "M4G2.VB", 0, nullptr},
    {VAGS "M4G3.VB", 0, nullptr},    {VAGS "M4G5.VB", 0, nullptr},     {VAGS "M4G6.VB", 0, nullptr},
    {VAGS "M4G7.VB", 0, nullptr},    {VAGS "M4G8.VB", 0, nullptr},     {VAGS "M4G9.VB", 0, nullptr},
    {VAGS "DEMO.VB", 0, nullptr},
};

namespace {

// The song of a track: its piece, and whether "CITYBUSY" is played on foot
// with the piece in a car.
struct TrackSong
{
    u8 piece;
    bool onfootincar;
};

constexpr TrackSong kTrackSongs[BGM_NumTracks] = {
    {SONG_DRIVETO, true},  {SONG_DRIVETO, true},  {SONG_DRIVETO, true},  {SONG_DRIVETO, true},
    {SONG_DRIVETO, true},  {SONG_DRIVE, false},   {SONG_DRIVE, false},   {SONG_DRIVE, false},
    {SONG_DRIVE, false},   {SONG_DRIVE, false},   {SONG_RACE, false},    {SONG_RACE, false},
    {SONG_RACE, false},    {SONG_RACE, false},    {SONG_RACE, false},    {SONG_CHASEGO, false},
    {SONG_CHASEGO, false}, {SONG_CHASEGO, false}, {SONG_CHASEGO, false}, {SONG_CHASEGO, false},
    {SONG_CHASE, false},   {SONG_CHASE, false},   {SONG_CHASE, false},   {SONG_CHASE, false},
    {SONG_CHASE, false},   {SONG_GUNDOWN, false}, {SONG_GUNDOWN, false}, {SONG_GUNDOWN, false},
    {SONG_GUNDOWN, false}, {SONG_GUNDOWN, false}, {SONG_INTSHT, false},  {SONG_INTSHT, false},
    {SONG_INTSHT, false},  {SONG_INTSHT, false},  {SONG_INTSHT, false},  {SONG_STEALTH, false},
    {SONG_STEALTH, false}, {SONG_STEALTH, false}, {SONG_STEALTH, false}, {SONG_STEALTH, false},
    {SONG_M2G1, true},     {SONG_M2G6, true},     {SONG_M3G1, true},     {SONG_M3G2, true},
    {SONG_M3G4, true},     {SONG_M4G1, true},     {SONG_M4G2, false},    {SONG_M4G3, false},
    {SONG_M4G4, true},     {SONG_M4G5, false},    {SONG_M4G6, false},    {SONG_M4G7, false},
    {SONG_M4G8, false},    {SONG_M4G9, false},    {SONG_M5G3, true},     {SONG_DEMO, false},
    {SONG_DEMO, true},
};

constexpr unsigned kMusicPitch = 44100;   // Hz: every piece is recorded at this rate

// The player drives, gets in or out of a car, or drives in a cinematic:
// the player object's modes 5, 6 and 7.
bool PlayerInCar()
{
    const Object* player = world.Find(-1);
    return player != nullptr && player->mode >= 5 && player->mode <= 7;
}

}  // namespace

int KVJukebox::numtracks = BGM_NumTracks;

KVJukebox bgm(0x18000, 1.0f, 44100);

static_assert(sizeof(Song_OnFootInCar) <= sizeof(KVJukebox::songbuf) && sizeof(Song_Generic) <= 128);

int KVJukebox::Song::DispatchNextSampleFunc(int current, void* song)
{
    return song != nullptr ? static_cast<Song*>(song)->GetNextSample(current) : current;
}

int Song_Generic::GetNextSample(int)
{
    return 0;
}

bool Song_Generic::GetEventSample(int, int*)
{
    return false;
}

int Song_OnFootInCar::GetNextSample(int current)
{
    if (current != -1)
        return current;   // the piece loops
    return PlayerInCar() ? 1 : 0;
}

bool Song_OnFootInCar::GetEventSample(int event, int* out)
{
    if (out == nullptr || jukebox->state == StreamJukebox::STOPPED)
        return false;
    switch (event) {
    case SoundEvent_EnterCar:
        nextsample = 1;
        jukebox->FadeOut(FadeOutLen);
        return false;
    case SoundEvent_ExitCar:
        nextsample = 0;
        jukebox->FadeOut(FadeOutLen);
        return false;
    case SoundEvent_FadedOut:
        // The piece has faded out: the next starts, the on-foot piece
        // fading in, the in-car piece at once.
        *out = nextsample;
        jukebox->ScriptJukebox::Stop(false);
        if (nextsample == 0)
            jukebox->FadeIn(FadeInLen);
        return true;
    default:
        return false;
    }
}

KVJukebox::KVJukebox(u32 banksize, float volumefactor, unsigned frequency)
    : ScriptJukebox(banksize, volumefactor, frequency), cursong(nullptr), streamNum(-1), songbuf{}
{
}

void KVJukebox::PlayTrack(int track, float volume, int looplen)
{
    Stop();
    if (track < 0 || track >= numtracks)
        return;   // silence
    const TrackSong& ts = kTrackSongs[track];
    Song* song;
    if (ts.onfootincar) {
        Song_OnFootInCar* s = new (songbuf) Song_OnFootInCar;
        s->samplearray[0] = songsamples[SONG_CITYBUSY];
        s->samplearray[1] = songsamples[ts.piece];
        s->nextsample = 0;
        s->samples = s->samplearray;
        song = s;
    } else {
        Song_Generic* s = new (songbuf) Song_Generic;
        s->samples = &songsamples[ts.piece];
        song = s;
    }
    song->pitch = kMusicPitch;
    song->jukebox = this;
    cursong = song;
    if (ScriptJukebox::Cue(song->samples, Song::DispatchNextSampleFunc, song, song->pitch))
        ScriptJukebox::Play(volume, looplen);
}

void KVJukebox::Stop()
{
    cursong = nullptr;
    ScriptJukebox::Stop(false);
}

bool KVJukebox::Event(int event)
{
    if (cursong == nullptr)
        return false;
    int sample;
    if (cursong->GetEventSample(event, &sample))
        ScriptJukebox::Transition(sample);
    return false;
}

void KVJukebox::Update()
{
    const bool fadingIn = state == PLAYING && curfadeinlen > 0;
    const bool fadingOut = state == PLAYING && curfadeoutlen > 0;
    ScriptJukebox::Update();
    if (fadingIn && curfadeinlen == 0)
        Event(SoundEvent_FadedIn);
    if (fadingOut && curfadeoutlen == 0)
        Event(SoundEvent_FadedOut);
}

// ---------------------------------------------------------------------------
// The player's voice

NumberedFileJukebox::Track DaceVOTrax[NUM_DACEVOTRAX];

namespace {

char daceVOFiles[NUM_DACEVOTRAX][40];

// Rows 1..13 and the pools are "DVnnn" by row; the dispatcher's lines are
// "CB_101A", "CB_101B" .. "CB_136B", then the lead-ins and the tails.
bool BuildDaceVOTrax()
{
    for (int row = 1; row < NUM_DACEVOTRAX; row++) {
        char* f = daceVOFiles[row];
        if (row >= DACEVO_RADIO_FIRST && row <= DACEVO_RADIO_LAST)
            sprintf(f, VAGS "CB_%03d%c.VB", 101 + (row - DACEVO_RADIO_FIRST) / 2, "AB"[(row - DACEVO_RADIO_FIRST) % 2]);
        else if (row >= DACEVO_LEADIN_FIRST && row < DACEVO_TAIL_FIRST)
            sprintf(f, VAGS "CB_OP_%02d.VB", row - DACEVO_LEADIN_FIRST + 1);
        else if (row >= DACEVO_TAIL_FIRST && row < DACEVO_TAIL_FIRST + 4)
            sprintf(f, VAGS "CB_GE_%02d.VB", row - DACEVO_TAIL_FIRST + 1);
        else
            sprintf(f, VAGS "DV%03d.VB", row);
        DaceVOTrax[row] = {f, 0, 0};
    }
    DaceVOTrax[0] = {nullptr, 0, 0};
    return true;
}

const bool daceVOTraxBuilt = BuildDaceVOTrax();

// The first track of each type; type 58 ends the last pool.
constexpr short kFirstTrack[DaceVO_TotalNumTypes + 1] = {
    0,   94,  97,  100, 102, 104, 108, 112, 112, 115, 121, 127, 136, 141, 142, 145, 152, 156, 161, 165,
    168, 171, 176, 181, 186, 188, 206, 209, 212, 217, 220, 223, 226, 244, 249, 253, 256, 259, 262, 267,
    270, 275, 278, 280, 283, 287, 289, 292, 294, 296, 298, 304, 307, 312, 316, 321, 326, 328, 331,
};

bool IsRadioLine(int track)
{
    return track >= DACEVO_RADIO_FIRST && track <= DACEVO_RADIO_LAST;
}

// One of n at random, n x rand() / 2^31.
int Draw(int n)
{
    return int((s64(n) * rand()) >> 31);
}

}  // namespace

DaceVOJukebox DaceVO(0x18000, 1.0f, 22050, DaceVOTrax, NUM_DACEVOTRAX);

DaceVOJukebox::DaceVOJukebox(u32 banksize, float volumefactor, unsigned frequency, Track* tracks_, u32 numtracks_)
    : NumberedFileJukebox(banksize, volumefactor, frequency, tracks_, numtracks_), votype(0), votrack(-1),
      laststoptime(NEVER), delaytime(NEVER), needworlddelaytime(false), volume(1.0f)
{
    (void)daceVOTraxBuilt;
    // Restart without its Stop: the jukebox is stopped already, and the
    // sound system may not exist yet.
    for (int t = 0; t < DaceVO_TotalNumTypes; t++) {
        lastsampleplayed[t] = 0;
        lastplaytime[t] = NEVER;
    }
}

int DaceVOJukebox::GetTrack(int type)
{
    return type >= 0 && type <= DaceVO_TotalNumTypes ? kFirstTrack[type] : 0;
}

bool DaceVOJukebox::Play(int type, int delay)
{
    if (type <= DaceVO_None || type >= DaceVO_TotalNumTypes)
        return false;
    const int first = GetTrack(type), end = GetTrack(type + 1);
    if (first == 0)
        return false;
    int pick = first;
    if (end > first + 1) {
        auto sameFile = [&](int a, int b) {
            return a >= 0 && b >= 0 && u32(a) < numtracks && u32(b) < numtracks && tracks[a].file != nullptr &&
                   tracks[b].file != nullptr && strcmp(tracks[a].file, tracks[b].file) == 0;
        };
        for (int redraws = 0;; redraws++) {
            pick = first + Draw(end - first);
            const bool again = (end > first + 2 && pick == votrack) ||
                               (lastsampleplayed[type] != 0 && sameFile(lastsampleplayed[type], pick));
            if (!again || redraws == MaxRedraws)
                break;
        }
    }
    lastsampleplayed[type] = pick;
    lastplaytime[type] = world.time;
    votype = type;
    votrack = pick;
    if (delay != 0) {
        delaytime = delay;
        needworlddelaytime = true;
        return Cue(pick);
    }
    delaytime = NEVER;
    return PlayTrack(pick, volume, -1);
}

void DaceVOJukebox::PlayNow(int track)
{
    PlayTrack(track, volume, -1);
}

void DaceVOJukebox::PlayVOTrack(int track)
{
    votrack = track;
    delaytime = NEVER;
    votype = 0;
    Stop();
    PlayNow(track);
}

void DaceVOJukebox::PlayDispatcherVOTrack(int track)
{
    votrack = track;
    delaytime = NEVER;
    votype = 0;
    Stop();
    PlayNow(DACEVO_LEADIN_FIRST + Draw(4));
}

void DaceVOJukebox::Stop()
{
    if (state != STOPPED)
        laststoptime = world.time;
    FileJukebox::Stop(false);
}

void DaceVOJukebox::Restart()
{
    delaytime = NEVER;
    laststoptime = NEVER;
    votrack = -1;
    votype = 0;
    for (int t = 0; t < DaceVO_TotalNumTypes; t++) {
        lastsampleplayed[t] = 0;
        lastplaytime[t] = NEVER;
    }
    Stop();
}

void DaceVOJukebox::Update()
{
    const bool was = state != STOPPED;
    if (needworlddelaytime) {
        if (delaytime != NEVER)
            delaytime = world.time + delaytime;
        needworlddelaytime = false;
    }
    // A type counts as played until its line ends.
    if (state != STOPPED && votype != 0)
        lastplaytime[votype] = world.time;
    // A cued line starts once its frame has passed.
    if (delaytime != NEVER && delaytime < world.time && state != STOPPED && state != PLAYING) {
        delaytime = NEVER;
        FileJukebox::Play(volume, -1);
    }
    FileJukebox::Update();
    if (was && state == STOPPED) {
        // A radio call runs lead-in, line, tail; only its end counts as the
        // stop.
        const int ended = curtracknum;
        if (IsRadioLine(votrack) && ended >= DACEVO_LEADIN_FIRST && ended < DACEVO_TAIL_FIRST)
            PlayNow(votrack);
        else if (IsRadioLine(votrack) && IsRadioLine(ended))
            PlayNow(DACEVO_TAIL_FIRST + Draw(4));
        else
            laststoptime = world.time;
    }
}

int DaceVOJukebox::GetTimeSincePlayed(int type) const
{
    if (type < 0 || type >= DaceVO_TotalNumTypes || lastplaytime[type] == NEVER)
        return NEVER;
    return world.time - lastplaytime[type];
}

int DaceVOJukebox::GetTimeSinceLastStop() const
{
    return laststoptime == NEVER ? NEVER : world.time - laststoptime;
}

// ---------------------------------------------------------------------------
// Other characters' voices

const char* NPCVOPrefixes[NPCVOBank_LAST + 1] = {
    "MaA", "MaB", "MaC", "FeA", "FeB", "FeC", "Asn", "Hom", "Pnk", "Bum", "Hkr", "Pmp", "Hsp",
    "ChA", "ChB", "RsA", "RsB", "Pll", "Trs", "Vrn", "Brk", "Tvn", "Ccb", "Dom", "Gmp",
};

const char* NPCVOSuffixes[NUM_NPCVOSUFFIXES] = {
    "BCRY1", "BCRY2", "BCRY3", "TAUNT", "KATA",  "CHEER", "HURT1", "HURT2", "HURT3", "KNOCK", "DIE",
    "CHOKE", "NOTC",  "SPOTD", "BORE1", "BORE2", "TRQD",  "TRQS",  "BUMP1", "BUMP2", "CHIT1", "CHIT2",
    "CARJ1", "CARJ2", "COMD1", "COMD2", "WHIN1", "WHIN2", "RSST1", "RSST2", "CLEAN", "WEAPN", "DRUGS",
    "GUNFR", "SCRM",  "COOL",  "BUMMR", "SRPRS", "MUGGR", "VICTM", "STRGL", "SEXA",  "ESCTT", "HSTGT",
    "GREET", "CHAT1", "CHAT2", "CHAT3", "CHAT4", "RUDE1", "RUDE2", "FIGHT", "CARJK",
};

void PositionJukeboxChannel(int chan, const VectorPos& position)
{
    if (chan >= 0 && sound.ChannelValid(chan))
        sound.SetPosition(chan, position);
}

void PositionJukeboxChannel(int chan, Object* source)
{
    if (chan >= 0 && sound.ChannelValid(chan))
        sound.SetPosition(chan, source);
}

namespace {

// A line played once (loop length -1), then placed.
template <class Jukebox, class Where>
bool PlayPositioned(Jukebox& jb, int bank, int track, Where where, float volume)
{
    if (!jb.PlayBankTrack(bank, track, volume, -1))
        return false;
    PositionJukeboxChannel(jb.GetChannel(), where);
    return true;
}

}  // namespace

BankedJukebox::BankedJukebox(int banksize_, u32 ringsize, float volumefactor, unsigned frequency, Track* tracks_,
                             u32 numtracks_)
    : NumberedFileJukebox(ringsize, volumefactor, frequency, tracks_, numtracks_), banksize(banksize_)
{
}

bool BankedJukebox::PlayBankTrack(int bank, int track, float volume, int looplen)
{
    if (bank == NPCVO_NOBANK)
        return false;
    return PlayTrack(bank * banksize + track, volume, looplen);
}

bool BankedJukebox::PlayBankTrack(int bank, int track, VectorPos position, float volume)
{
    return PlayPositioned(*this, bank, track, position, volume);
}

bool BankedJukebox::PlayBankTrack(int bank, int track, Object* source, float volume)
{
    return PlayPositioned(*this, bank, track, source, volume);
}

BankedVBJukebox JBNPCVO("KORVALIS\\DemoData\\NPCVO\\", NPCVOPrefixes, NPCVOSuffixes, 0x18000, 1.0f, 22050);

BankedVBJukebox::BankedVBJukebox(const char* basename, const char** prefixes_, const char** suffixes_, u32 banksize,
                                 float volumefactor, unsigned frequency)
    : NumberedFileJukebox(banksize, volumefactor, frequency, &shelltrack, 1), shelltrack{shellfile, 0, 0},
      shellfile{}, filebasename{}, prefixes(prefixes_), suffixes(suffixes_), curbank(-1), curtrack(-1)
{
    strncpy(filebasename, basename, sizeof filebasename - 1);
}

bool BankedVBJukebox::PlayBankTrack(int bank, int kind, float volume, int looplen)
{
    if (bank == NPCVO_NOBANK)
        return false;
    // The NPC tables are the only ones there are: a bank or kind outside
    // them names no file.
    if (prefixes == NPCVOPrefixes && suffixes == NPCVOSuffixes &&
        (bank < 0 || bank > NPCVOBank_LAST || kind < 0 || kind >= NUM_NPCVOSUFFIXES))
        return false;
    if (strlen(filebasename) + strlen(prefixes[bank]) + strlen(suffixes[kind]) + 4 >= sizeof shellfile)
        return false;
    sprintf(shellfile, "%s%s%s.VB", filebasename, prefixes[bank], suffixes[kind]);
    curbank = bank;
    curtrack = kind;
    // Always the one shell track: cued afresh, so a new line replaces the
    // one playing even though the track number is the same.
    return Cue(0) && Play(volume, looplen);
}

bool BankedVBJukebox::PlayBankTrack(int bank, int kind, VectorPos position, float volume)
{
    return PlayPositioned(*this, bank, kind, position, volume);
}

bool BankedVBJukebox::PlayBankTrack(int bank, int kind, Object* source, float volume)
{
    return PlayPositioned(*this, bank, kind, source, volume);
}
