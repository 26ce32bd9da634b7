// Streamed music: pieces back to back through one ring buffer, and the
// jukeboxes that play them.
#include "ZevEngine2/Utilities/SoundStream2.h"

#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/Streamer.h"
#include "ZevEngine2/Utilities.h"

namespace {

// Pieces with no data met in a row before a stream is taken to have nothing
// left to play (a table that loops over empty files would spin for ever).
constexpr int MAX_EMPTY_SAMPLES = 64;

// Marker flags of the pieces of one transfer.  A piece inside the buffer
// carries "no start" and "no end", so that the markers in a sample file's
// own first and last blocks never loop or stop the voice.
constexpr int PIECE_START = STREAMER_SNDMARKER_START | STREAMER_SNDMARKER_NOEND;                      // 17
constexpr int PIECE_MIDDLE = STREAMER_SNDMARKER_NOSTART | STREAMER_SNDMARKER_NOEND;                   // 24
constexpr int PIECE_START_END = STREAMER_SNDMARKER_START | STREAMER_SNDMARKER_END;                    // 3
constexpr int PIECE_MIDDLE_END = STREAMER_SNDMARKER_NOSTART | STREAMER_SNDMARKER_END;                 // 10

}  // namespace

// ------------------------------------------------------------ dynamic streams

DynamicSoundStream::DynamicSoundStream()
    : samples(nullptr), curstream(-1), cursample(-1), numoldstreams(0), streampos(0), streamlen(0)
{
    for (int& fd : oldstreams)
        fd = -1;
}

void DynamicSoundStream::LoadSample(int n)
{
    if (curstream >= 0) {
        if (numoldstreams == MAX_OLD_STREAMS) {
            StreamerBytesPending(oldstreams[0], true);
            StreamerClose(oldstreams[0]);
            for (int i = 1; i < MAX_OLD_STREAMS; i++)
                oldstreams[i - 1] = oldstreams[i];
            numoldstreams--;
        }
        oldstreams[numoldstreams++] = curstream;
    }
    curstream = -1;
    streamlen = 0;
    if (n >= 0 && samples)
        curstream = OpenSoundData(samples[n].file, samples[n].offset, &streamlen);
    cursample = n;
    streampos = 0;
}

void DynamicSoundStream::TryToCloseOldStreams(bool wait)
{
    int closed = 0;
    while (closed < numoldstreams) {
        int fd = oldstreams[closed];
        if (wait)
            StreamerBytesPending(fd, true);
        else if (StreamerBytesPending(fd, false) > 0)
            break;
        StreamerClose(fd);
        closed++;
    }
    for (int i = closed; i < numoldstreams; i++)
        oldstreams[i - closed] = oldstreams[i];
    numoldstreams -= closed;
    for (int i = numoldstreams; i < MAX_OLD_STREAMS; i++)
        oldstreams[i] = -1;
}

int DynamicSoundStream::BytesPending(bool sync) const
{
    // A stream at its end answers -1; only bytes really on their way count,
    // or a finished old stream would hide a current one still loading.
    int total = 0;
    for (int i = 0; i < numoldstreams; i++)
        total += std::max(StreamerBytesPending(oldstreams[i], sync), 0);
    if (curstream >= 0)
        total += std::max(StreamerBytesPending(curstream, sync), 0);
    return total;
}

void DynamicSoundStream::Close()
{
    TryToCloseOldStreams(true);
    if (curstream >= 0) {
        StreamerBytesPending(curstream, true);
        StreamerClose(curstream);
    }
    curstream = -1;
    streampos = 0;
    streamlen = 0;
}

// Moves to the next sample that has data, so that the piece before it knows
// whether anything follows it.
void DynamicSoundStream::AdvanceToPlayable()
{
    AdvanceSample();
    for (int empty = 0; cursample >= 0 && curstream >= 0 && streamlen == 0; empty++) {
        if (empty == MAX_EMPTY_SAMPLES) {
            printf("Sound stream: no data in %d samples in a row (sample %d)\n", MAX_EMPTY_SAMPLES, cursample);
            LoadSample(-1);
            return;
        }
        AdvanceSample();
    }
}

// Fills size bytes at addr from the current sample on.  first: this is the
// first piece of the window, which takes the start marker when asked for.
int DynamicSoundStream::Send(u32 addr, u32 size, int markerflags, bool first)
{
    if (cursample < 0 || curstream < 0)
        return 0;
    int last = 0;
    u32 remaining = size;
    while (remaining > 0) {
        const u32 avail = streamlen - streampos;
        const bool start = first && (markerflags & STREAMER_SNDMARKER_START);
        if (avail >= remaining) {
            // The window ends inside this sample.
            int flags;
            if (markerflags & STREAMER_SNDMARKER_END)
                flags = start ? PIECE_START_END : PIECE_MIDDLE_END;
            else
                flags = start ? PIECE_START : PIECE_MIDDLE;
            if (GetNextSample() < 0)
                flags |= STREAMER_SNDMARKER_STOPATEOF;
            StreamerTransferSound(curstream, addr, int(remaining), flags);
            streampos += remaining;
            last = int(avail);
            break;
        }
        // The sample ends inside the window.  What follows is opened before
        // its tail is sent: when nothing playable follows (the table ends, a
        // file is missing or empty) the tail carries the stop marker, and
        // the voice ends there instead of running on into old data.
        const int from = curstream;
        AdvanceToPlayable();
        const bool more = cursample >= 0 && curstream >= 0;
        if (avail > 0) {
            int flags = start ? PIECE_START : PIECE_MIDDLE;
            if (!more)
                flags |= STREAMER_SNDMARKER_STOPATEOF;
            StreamerTransferSound(from, addr, int(avail), flags);
            addr += avail;
            remaining -= avail;
            first = false;
            last = int(avail);
        }
        if (!more)
            break;
    }
    TryToCloseOldStreams(false);
    return cursample >= 0 && curstream >= 0 ? -1 : last;
}

int DynamicSoundStream::TransferSound(void* addr, unsigned size, int markerflags)
{
    return Send(u32(uintptr_t(addr)), size, markerflags, true);
}

bool DynamicSoundStream::ReTransferSound(void* addr, unsigned backupoff, unsigned size, int markerflags,
                                         int* transfervalue)
{
    int ignored;
    if (!transfervalue)
        transfervalue = &ignored;
    *transfervalue = 0;
    if (cursample < 0 || curstream < 0 || !GetTransition() || GetNextSample() < 0)
        return false;
    // The part of the window, counted from addr, that stays: the rest of
    // the current sample when it began before addr, else what lies before it.
    u32 keep = streampos > backupoff ? streamlen - (streampos - backupoff) : backupoff - streampos;
    if (keep >= size)
        return false;
    // The pending transition replaces what was loaded for the current
    // sample.
    AdvanceSample();
    if (cursample < 0 || curstream < 0)
        return false;
    *transfervalue = Send(u32(uintptr_t(addr)) + keep, size - keep, markerflags, keep == 0);
    return true;
}

// ---------------------------------------------------------- sequenced stream

const SequencedSoundStream::Note SequencedSoundStream::defaultnote = {0, 0};

SequencedSoundStream::SequencedSoundStream(unsigned frequency)
    : seq(nullptr), curnote(nullptr), nextnote(nullptr), transitionmask(0), deffreq(frequency), curfreq(frequency)
{
}

void SequencedSoundStream::Start(const Note* seq_, Sample* samples_, unsigned freq)
{
    samples = samples_;
    seq = seq_;
    curfreq = freq ? freq : deffreq;
    curnote = seq;
    nextnote = curnote ? NoteAt(curnote->next) : nullptr;
    transitionmask = 0;
    LoadSample(curnote ? curnote->sample : -1);
}

void SequencedSoundStream::AdvanceSample()
{
    curnote = nextnote;
    nextnote = curnote ? NoteAt(curnote->next) : nullptr;
    transitionmask = 0;
    LoadSample(curnote ? curnote->sample : -1);
}

void SequencedSoundStream::Transition(int note, int mask)
{
    if (curstream < 0)
        return;
    transitionmask = mask;
    nextnote = NoteAt(note);
}

void SequencedSoundStream::ChangeNote(int note)
{
    curnote = NoteAt(note);
    nextnote = curnote ? NoteAt(curnote->next) : nullptr;
    transitionmask = 0;
    LoadSample(curnote ? curnote->sample : -1);
}

// ---------------------------------------------------------- scripted stream

int ScriptedSoundStream::defaultsong(int, void*)
{
    return 0;
}

ScriptedSoundStream::ScriptedSoundStream(unsigned frequency)
    : script(nullptr), extra(nullptr), nextsample(-1), transitionmask(0), deffreq(frequency), curfreq(frequency)
{
}

void ScriptedSoundStream::Start(Script script_, void* extra_, Sample* samples_, unsigned freq)
{
    script = script_;
    extra = extra_;
    samples = samples_;
    curfreq = freq ? freq : deffreq;
    transitionmask = 0;
    int first = script ? script(-1, extra) : -1;
    nextsample = script ? script(first, extra) : -1;
    LoadSample(first);
}

void ScriptedSoundStream::AdvanceSample()
{
    cursample = nextsample;
    // Past the end the script is not asked again: -1 means "at the start"
    // to it.
    nextsample = script && cursample >= 0 ? script(cursample, extra) : -1;
    transitionmask = 0;
    LoadSample(cursample);
}

void ScriptedSoundStream::Transition(int sample, int mask)
{
    if (nextsample >= 0 && cursample >= 0) {
        transitionmask = mask;
        nextsample = sample;
    } else {
        nextsample = sample;
        AdvanceSample();
    }
}

// ---------------------------------------------------------------- jukeboxes

StreamJukebox::StreamJukebox(u32 banksize, float volumefactor_)
    : bank(banksize), state(STOPPED), curvolume(1.0f), volumefactor(volumefactor_), curlooplen(-1),
      curfadeinlen(0), curfadeoutlen(0), curfadeintime(0), curfadeouttime(0), curfademaxvol(0.0f), stoptime(0)
{
}

float StreamJukebox::ChannelVolume() const
{
    int c = bank.GetChannel();
    return sound.ChannelValid(c) ? sound.GetChannel(c)->volume : 0.0f;
}

void StreamJukebox::SetChannelVolume(float v)
{
    sound.SetVolume(bank.GetChannel(), v, 0.0f);
}

bool StreamJukebox::Play(float volume, int looplen)
{
    if (state == CUEING && bank.IsLoaded())
        state = CUED;
    curlooplen = looplen;
    curvolume = volume;
    if (state == CUED) {
        bank.PlayLoadedStream();
        state = PLAYING;
        SetChannelVolume(curvolume * volumefactor);
    } else if (state == PLAYING) {
        // Already sounding: only the volume changes.
        SetChannelVolume(curvolume * volumefactor);
    } else {
        state = STARTING;
    }
    return true;
}

void StreamJukebox::Stop(bool flushbank)
{
    bank.StopStream(true, flushbank);
    state = STOPPED;
    // A fade-out is over once its sound is: left running it would silence
    // the next sound played.
    curfadeoutlen = 0;
}

void StreamJukebox::SetVolume(float v)
{
    if (state == PLAYING) {
        curvolume = v;
        SetChannelVolume(v * volumefactor);
    } else if (state == STARTING) {
        curvolume = v;
    }
}

void StreamJukebox::FadeIn(int len)
{
    // The fades exclude each other: the one asked for last wins.
    curfadeoutlen = 0;
    if (len == 0) {
        curfadeinlen = 0;
        SetChannelVolume(curvolume * volumefactor);
        return;
    }
    if (ChannelVolume() != 0.0f)
        SetChannelVolume(0.0f);
    curfadeinlen = len;
    curfademaxvol = curvolume;
    curfadeintime = Platform::Count();
}

void StreamJukebox::FadeOut(int len)
{
    if (state == STOPPED)
        return;
    curfadeinlen = 0;
    if (len == 0) {
        curfadeoutlen = 0;
        SetChannelVolume(0.0f);
        return;
    }
    if (ChannelVolume() != 0.0f) {
        curfadeoutlen = len;
        curfadeouttime = Platform::Count();
        curfademaxvol = curvolume;
    }
}

void StreamJukebox::RunFades()
{
    u32 now = Platform::Count();
    if (curfadeinlen > 0) {
        u32 t = now - curfadeintime;
        if (t < u32(curfadeinlen)) {
            SetChannelVolume(volumefactor * curfademaxvol * float(t) / float(curfadeinlen));
        } else {
            SetChannelVolume(volumefactor * curfademaxvol);
            curfadeinlen = 0;
        }
    } else if (curfadeoutlen > 0 && ChannelVolume() != 0.0f) {
        u32 t = now - curfadeouttime;
        if (t < u32(curfadeoutlen)) {
            SetChannelVolume(volumefactor * curfademaxvol * float(u32(curfadeoutlen) - t) / float(curfadeoutlen));
        } else {
            SetChannelVolume(0.0f);
            curfadeoutlen = 0;
        }
    }
}

void StreamJukebox::Update()
{
    bank.Update();
    if (state == CUEING && bank.IsLoaded())
        state = CUED;
    if (state == STARTING) {
        if (bank.IsLoaded()) {
            bank.PlayLoadedStream();
            state = PLAYING;
            SetChannelVolume(curvolume * volumefactor);
        } else if (bank.GetState() == BANK_STOPPED) {
            state = STOPPED;
        }
    }
    if (state != PLAYING)
        return;
    // A sound that starts with a fade-in running starts at the fade's level,
    // not for one frame at full volume.
    RunFades();
    if (bank.GetState() == BANK_STOPPED) {
        state = STOPPED;
        curfadeoutlen = 0;
        if (curlooplen >= 0)
            Play(curvolume, curlooplen);
    }
}

// ---------------------------------------------------------------- file jukebox

FileJukebox::FileJukebox(u32 banksize, float volumefactor, unsigned frequency)
    : StreamJukebox(banksize, volumefactor), stream(frequency)
{
}

bool FileJukebox::Cue(const char* file, u32 offset, unsigned pitch)
{
    if (state != STOPPED)
        Stop(false);
    if (!StreamerInit())
        return false;
    if (!stream.Open(file, offset))
        return false;
    if (!bank.LoadStream(&stream, false, pitch)) {
        stream.Close();
        return false;
    }
    state = CUEING;
    return true;
}

NumberedFileJukebox::NumberedFileJukebox(u32 banksize, float volumefactor, unsigned frequency, Track* tracks_,
                                         u32 numtracks_)
    : FileJukebox(banksize, volumefactor, frequency), tracks(tracks_), numtracks(numtracks_), curtracknum(-1)
{
}

bool NumberedFileJukebox::Cue(int n)
{
    if (n < 0 || u32(n) >= numtracks || !tracks)
        return false;
    curtracknum = n;
    const Track& t = tracks[n];
    return FileJukebox::Cue(t.file, t.offset, t.pitch);
}

bool NumberedFileJukebox::PlayTrack(int n, float volume, int looplen)
{
    if (n < 0 || u32(n) >= numtracks || !tracks)
        return false;
    if (n == curtracknum && (state == CUEING || state == CUED))
        return Play(volume, looplen);
    if (n == curtracknum && state != STOPPED)
        return true;
    if (!Cue(n))
        return false;
    return Play(volume, looplen);
}

// ------------------------------------------------------------ sequence jukebox

SequenceJukebox::SequenceJukebox(u32 banksize, float volumefactor, unsigned frequency, Track* tracks_,
                                 u32 numtracks_)
    : StreamJukebox(banksize, volumefactor), stream(frequency), tracks(tracks_), curtracknum(-1),
      numtracks(numtracks_)
{
}

bool SequenceJukebox::Cue(int n)
{
    if (n < 0 || u32(n) >= numtracks || !tracks)
        return false;
    if (state != STOPPED)
        Stop(false);
    if (!StreamerInit())
        return false;
    const Track& t = tracks[n];
    stream.Start(t.seq ? t.seq : &SequencedSoundStream::defaultnote, t.samples, 0);
    if (!bank.LoadStream(&stream, false, t.pitch ? t.pitch : 256)) {
        stream.Close();
        return false;
    }
    curtracknum = n;
    state = CUEING;
    return true;
}

bool SequenceJukebox::PlayTrack(int n, float volume, int looplen)
{
    if (n < 0 || u32(n) >= numtracks || !tracks)
        return false;
    if (n == curtracknum && state == CUEING) {
        if (!bank.IsLoaded())
            return false;
        state = CUED;
    }
    if (n == curtracknum && (state == PLAYING || state == STARTING))
        return true;
    curlooplen = looplen;
    curvolume = volume;
    if (n == curtracknum && state == CUED)
        return Play(volume, looplen);
    if (!Cue(n))
        return false;
    state = STARTING;
    return true;
}

void SequenceJukebox::Transition(int note)
{
    if (state != PLAYING)
        return;
    stream.Transition(note, 1);
    bank.ReloadSound();
}

// -------------------------------------------------------------- script jukebox

ScriptJukebox::ScriptJukebox(u32 banksize, float volumefactor, unsigned frequency)
    : StreamJukebox(banksize, volumefactor), stream(frequency), curpitch(0)
{
}

bool ScriptJukebox::Cue(DynamicSoundStream::Sample* samples, ScriptedSoundStream::Script script, void* extra,
                        unsigned pitch)
{
    if (state != STOPPED)
        Stop(false);
    if (!StreamerInit())
        return false;
    stream.Start(script ? script : ScriptedSoundStream::defaultsong, extra, samples, 0);
    if (!bank.LoadStream(&stream, false, pitch)) {
        stream.Close();
        return false;
    }
    curpitch = pitch;
    state = CUEING;
    return true;
}

void ScriptJukebox::Stop(bool flushbank)
{
    StreamJukebox::Stop(flushbank);
    stream.Stop();
}

void ScriptJukebox::Transition(int sample)
{
    if (state != STOPPED)
        return;
    stream.Transition(sample, 1);
    if (bank.LoadStream(&stream, false, curpitch))
        state = STARTING;
    else
        stream.Close();
}
