// Sound streams: long sounds (music, voice lines, cinematic audio) played
// from a small ring buffer in a stream bank of sound RAM that is refilled
// from the disc while the voice plays.
//
// A SoundStream supplies the data; StreamingSoundBank owns the ring buffer,
// one held sound channel and the refill state machine.  The ring is two
// halves: the first block of the buffer carries the start marker (the voice's
// loop point) and the last block the end marker (back to the start), so the
// voice circles the buffer while each half is rewritten behind it; the
// stop-at-end-of-file marker ends the voice after the stream's last byte.
#pragma once

#include "ZevEngine2/Zev.h"

// The data source of a streamed sound.
class SoundStream
{
public:
    // Sample rate in Hz; 0 while not yet known.
    virtual unsigned GetFrequency() const = 0;
    // Queues the next size bytes to sound-RAM address addr with the streamer's
    // marker flags.  -1 while data remains after this transfer; a value >= 0
    // when the stream ends inside it.
    virtual int TransferSound(void* addr, unsigned size, int markerflags) = 0;
    // Replaces data already in the buffer (a transition); false when nothing
    // was done.  *transfervalue then reads as TransferSound's result.
    virtual bool ReTransferSound(void* addr, unsigned backupoff, unsigned size, int markerflags,
                                 int* transfervalue) = 0;
    // Bytes of earlier transfers still on their way; 0 or less when none.
    virtual int BytesPending(bool sync) const = 0;
    // Releases the disc stream(s).
    virtual void Close() = 0;

    // Waits until every transfer queued so far has arrived.
    void Sync() { BytesPending(true); }

protected:
    ~SoundStream() = default;
};

// Opens sound data on the disc: the file at offset, whose data up to the end
// of the file must be a whole number of 16-byte ADPCM blocks (else the
// streamer's end markers would land inside blocks and the voice would run on
// past them).  The descriptor, with the data's length in *length, or -1 (with
// a message when the file was there but unfit).
int OpenSoundData(const char* filename, u32 offset, u32* length);

// One file: a .VB file (headerless SPU2 ADPCM, mono) at the rate the owner
// gives.
class SoundFileStream : public SoundStream
{
public:
    explicit SoundFileStream(unsigned frequency);

    // Opens the file at offset with OpenSoundData; a stream still open is
    // closed first.
    bool Open(const char* filename, u32 offset);
    bool IsValid() const { return streamnum >= 0; }

    unsigned GetFrequency() const override { return curfreq; }
    int TransferSound(void* addr, unsigned size, int markerflags) override;
    bool ReTransferSound(void* addr, unsigned backupoff, unsigned size, int markerflags,
                         int* transfervalue) override;
    int BytesPending(bool sync) const override;
    void Close() override;

    int streamnum;   // streamer descriptor, -1 none
    u32 streamptr;   // bytes requested so far
    u32 streamlen;   // bytes from the start offset to the end of the file
    unsigned curfreq;
    unsigned deffreq;
};

// StreamingSoundBank::bufstate.  "FULL": the whole stream fitted into the
// buffer.
enum BufferState {
    BANK_STOPPED = 0,
    BANK_NEW_OPENING = 1,
    BANK_OPENING = 2,
    BANK_OPENING_FULL = 3,
    BANK_OPENED = 4,
    BANK_OPENED_FULL = 5,
    BANK_NEW = 6,
    BANK_NEW_TRANSFER = 7,
    BANK_NEW_TRANSFER_OPENING = 8,
    BANK_NEW_LOADING = 9,
    BANK_NEW_LOADING_FULL = 10,
    BANK_LOADING_1 = 11,   // first half on its way; the voice is in the second
    BANK_PLAYING_1 = 12,   // the voice in the first half, the second loaded
    BANK_LOADING_2 = 13,   // second half on its way; the voice is in the first
    BANK_PLAYING_2 = 14,   // the voice in the second half, the first loaded
    BANK_ENDING = 15,      // the stream's last data is queued
};

// StreamingSoundBank::flags
enum {
    STREAMBANK_PAUSED = 0x01,  // Update does nothing
};

class StreamingSoundBank
{
public:
    // size is rounded down to a multiple of 128 (two halves of whole blocks).
    explicit StreamingSoundBank(u32 size);
    // Stops the voice, frees the channel and gives the bank back.
    ~StreamingSoundBank();
    StreamingSoundBank(const StreamingSoundBank&) = delete;
    StreamingSoundBank& operator=(const StreamingSoundBank&) = delete;

    // Takes playstream and prepares to fill the buffer from it in the next
    // Update; with playwhenready the voice starts as soon as the buffer is
    // full, else the bank waits in BANK_OPENED(_FULL) for PlayLoadedStream.
    // pitch 1..5499 is an 8.8 factor on the stream's own rate; 0 means the
    // stream's rate and any larger value a rate in Hz.  The bank and a held
    // channel are made when missing; false when either cannot be had.
    bool LoadStream(SoundStream* playstream, bool playwhenready, unsigned pitch);
    // Starts a stream waiting in BANK_OPENED or BANK_OPENED_FULL.
    bool PlayLoadedStream();
    // Stops the voice and closes the stream.  freechannel frees the channel
    // (else it is kept, following no object); invalidatebank forgets the bank
    // number without releasing the bank (all banks are about to go).
    void StopStream(bool freechannel, bool invalidatebank);
    // Once per frame, after the sound system's update: refills the halves
    // the voice has left.
    void Update();
    // Rewrites what follows the play position after a stream's transition
    // was requested, leaving a margin ahead of the voice.
    void ReloadSound();

    int GetChannel() const { return channel; }
    BufferState GetState() const { return bufstate; }
    bool IsLoaded() const { return bufstate == BANK_OPENED || bufstate == BANK_OPENED_FULL; }

    u16 banknumber;     // stream bank, 0xFFFF none
    int channel;        // held channel handle, -1 none
    u32 baseaddr;       // sound-RAM address of the bank
    u32 banksize;
    u32 pauseaddr;
    SoundStream* streamer;
    unsigned basefreq;  // Hz; 0: ask the stream
    u16 pitchfactor;    // 8.8
    BufferState bufstate;
    u8 flags;
    // The end-of-stream watch: vblank count at the last look and the voice's
    // progress since the last data was queued, in pitch units times vblanks.
    u32 endcount;
    u64 endprogress;

private:
    void StartVoice();
    u16 VoicePitch() const;
    void Fill(BufferState from);
    void BeginEnding();
    bool EndingOverdue();
    bool VoiceLost();
    void DropObject();
};
