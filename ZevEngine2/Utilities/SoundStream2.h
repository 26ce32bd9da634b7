// Streamed music and jukeboxes.
//
// Music is made of pieces ("samples": separate files on the disc) played back
// to back without a gap through one stream bank.  The next piece comes from a
// fixed note table (SequencedSoundStream) or from a callback the game
// supplies (ScriptedSoundStream).  Jukeboxes wrap a StreamingSoundBank and a
// stream with a small play state machine, a volume and linear fades:
// FileJukebox (one file), NumberedFileJukebox (a numbered track table),
// SequenceJukebox (tracks of sequenced pieces) and ScriptJukebox (a scripted
// stream).  All of it runs on the main thread, once per displayed frame.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/SoundStream.h"

// Pieces read one after the other from separate files.  Streams whose
// transfers may still be running when the next piece opens are kept open
// (at most 8) until their last transfer has landed.
class DynamicSoundStream : public SoundStream
{
public:
    struct Sample
    {
        const char* file;  // disc path
        u32 offset;        // start of the piece's data in the file
        const char* beat;  // not read here
    };

    DynamicSoundStream();

    int TransferSound(void* addr, unsigned size, int markerflags) override;
    bool ReTransferSound(void* addr, unsigned backupoff, unsigned size, int markerflags,
                         int* transfervalue) override;
    // Bytes still on their way over every stream, old and current.
    int BytesPending(bool sync) const override;
    // Waits for and closes every stream.
    void Close() override;

    // The sample after the current one, -1 when the piece is the last.
    virtual int GetNextSample() const = 0;
    // Non-zero while a transition is pending.
    virtual int GetTransition() const = 0;
    // Moves on to the next sample and opens it.
    virtual void AdvanceSample() = 0;
    virtual int GetStreamNum() const { return curstream; }

    void Stop() { cursample = -1; }
    int GetCurStream() const { return curstream; }

    static constexpr int MAX_OLD_STREAMS = 8;

    Sample* samples;
    int curstream;   // streamer descriptor of the current sample, -1 none
    int cursample;   // -1 none
    int oldstreams[MAX_OLD_STREAMS];
    int numoldstreams;
    u32 streampos;   // bytes of the current sample already transferred
    u32 streamlen;   // bytes of the current sample from its offset to the end

protected:
    // Makes sample n (-1: none) the current one, the stream before it kept
    // among the old ones.
    void LoadSample(int n);
    // Closes the old streams whose transfers are done, oldest first; with
    // wait, waits for each.
    void TryToCloseOldStreams(bool wait);

private:
    int Send(u32 addr, u32 size, int markerflags, bool first);
    void AdvanceToPlayable();
};

// Pieces chosen by a note table.
class SequencedSoundStream : public DynamicSoundStream
{
public:
    struct Note
    {
        s16 sample;  // index into the sample table
        s16 next;    // index of the next note, -1: the end
    };
    static_assert(sizeof(Note) == 4, "note table record");

    // Sample 0 repeated.
    static const Note defaultnote;

    explicit SequencedSoundStream(unsigned frequency);

    // Starts at the table's first note; freq 0 means the default rate.
    void Start(const Note* seq, Sample* samples, unsigned freq);
    // From the current piece's end on, go to note (-1: end there) instead.
    void Transition(int note, int mask);
    // Jumps to note now.
    void ChangeNote(int note);
    int GetCurrentNote() const { return curnote ? int(curnote - seq) : -1; }
    int GetNextNote() const { return nextnote ? int(nextnote - seq) : -1; }

    unsigned GetFrequency() const override { return curfreq; }
    int GetNextSample() const override { return nextnote ? nextnote->sample : -1; }
    int GetTransition() const override { return transitionmask; }
    void AdvanceSample() override;
    int GetStreamNum() const override { return -1; }

    const Note* seq;
    const Note* curnote;
    const Note* nextnote;
    int transitionmask;
    unsigned deffreq;
    unsigned curfreq;

private:
    const Note* NoteAt(int index) const { return index >= 0 && seq ? seq + index : nullptr; }
};

// Pieces chosen by a callback: given the sample that is starting (-1 at the
// very start) it answers the sample to play after it (-1: the end).
class ScriptedSoundStream : public DynamicSoundStream
{
public:
    typedef int (*Script)(int cursample, void* extra);

    // Always sample 0.
    static int defaultsong(int cursample, void* extra);

    explicit ScriptedSoundStream(unsigned frequency);

    void Start(Script script, void* extra, Sample* samples, unsigned freq);
    // Go to sample from the current piece's end on; with no piece current,
    // at once.
    void Transition(int sample, int mask);
    int GetCurrentSample() const { return cursample; }

    unsigned GetFrequency() const override { return curfreq; }
    int GetNextSample() const override { return nextsample; }
    int GetTransition() const override { return transitionmask; }
    void AdvanceSample() override;

    Script script;
    void* extra;
    int nextsample;
    int transitionmask;
    unsigned deffreq;
    unsigned curfreq;
};

// What the four jukeboxes share: the ring buffer, the play state, the volume
// and the fades.  Volumes are 0..1 before the jukebox's fixed factor; fade
// lengths and times count vertical blanks (Platform::Count).
class StreamJukebox
{
public:
    enum JukeboxState {
        STOPPED = 0,
        STARTING = 1,  // asked to play before the buffer was loaded
        CUEING = 2,    // the buffer is loading
        CUED = 3,      // loaded, waiting for Play
        PLAYING = 4,
    };

    StreamJukebox(u32 banksize, float volumefactor);

    // Plays a cued sound now; one still loading starts when loaded.  The
    // volume and looplen are kept (looplen >= 0: when the sound ends, Play is
    // asked again).
    bool Play(float volume, int looplen);
    // flushbank forgets the bank number (all banks are about to go).
    void Stop(bool flushbank);
    void SetVolume(float v);
    // From silence to the current volume over len blanks; 0: at once.
    void FadeIn(int len);
    // From the current volume to silence over len blanks; 0: at once.
    void FadeOut(int len);
    // Once per displayed frame, after the sound system's update.
    void Update();

    int GetChannel() const { return bank.GetChannel(); }

    StreamingSoundBank bank;
    JukeboxState state;
    float curvolume;
    float volumefactor;
    int curlooplen;
    int curfadeinlen;   // running fade-in, 0 none
    int curfadeoutlen;  // running fade-out, 0 none
    u32 curfadeintime;
    u32 curfadeouttime;
    float curfademaxvol;
    int stoptime;

protected:
    float ChannelVolume() const;
    void SetChannelVolume(float v);
    void RunFades();
};

class FileJukebox : public StreamJukebox
{
public:
    FileJukebox(u32 banksize, float volumefactor, unsigned frequency);

    // Stops what plays, opens the file and starts loading it; false when
    // the file cannot be opened or the buffer or channel cannot be had.
    bool Cue(const char* file, u32 offset, unsigned pitch);

    SoundFileStream stream;
};

class NumberedFileJukebox : public FileJukebox
{
public:
    struct Track
    {
        const char* file;
        u32 offset;
        unsigned pitch;
    };

    NumberedFileJukebox(u32 banksize, float volumefactor, unsigned frequency, Track* tracks, u32 numtracks);

    bool Cue(int n);
    // Plays track n; the track already on goes on undisturbed.
    bool PlayTrack(int n, float volume, int looplen);
    // The volume and the loop length are told apart by type only: a call
    // with them the other way round does not compile.
    bool PlayTrack(int n, int looplen, float volume) = delete;
    int GetCurrentTrack() const { return curtracknum; }

    Track* tracks;
    u32 numtracks;
    int curtracknum;
};

class SequenceJukebox : public StreamJukebox
{
public:
    struct Track
    {
        DynamicSoundStream::Sample* samples;
        const SequencedSoundStream::Note* seq;  // null: sample 0 repeated
        unsigned pitch;                         // 0: the stream's own rate
    };

    SequenceJukebox(u32 banksize, float volumefactor, unsigned frequency, Track* tracks, u32 numtracks);

    bool Cue(int n);
    // Plays track n; false while the same track is still loading.  The track
    // already on goes on undisturbed.
    bool PlayTrack(int n, float volume, int looplen);
    bool PlayTrack(int n, int looplen, float volume) = delete;
    // While playing: the piece after the current one becomes note.
    void Transition(int note);
    int GetCurrentNote() const { return state == PLAYING ? stream.GetCurrentNote() : -1; }
    int GetNextNote() const { return state == PLAYING ? stream.GetNextNote() : -1; }
    int GetCurrentTrack() const { return curtracknum; }

    SequencedSoundStream stream;
    Track* tracks;
    int curtracknum;
    u32 numtracks;
};

class ScriptJukebox : public StreamJukebox
{
public:
    ScriptJukebox(u32 banksize, float volumefactor, unsigned frequency);

    // Stops what plays and starts loading the scripted stream (the built-in
    // script when script is null).
    bool Cue(DynamicSoundStream::Sample* samples, ScriptedSoundStream::Script script, void* extra, unsigned pitch);
    void Stop(bool flushbank);
    // Only when stopped: starts sample at once.
    void Transition(int sample);
    int GetCurrentSample() const { return state == PLAYING ? stream.GetCurrentSample() : -1; }
    int GetNextSample() const { return state == PLAYING ? stream.GetNextSample() : -1; }

    ScriptedSoundStream stream;
    unsigned curpitch;
};
