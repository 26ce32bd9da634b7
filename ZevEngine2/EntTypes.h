// The registry of object kinds by name, and the loading callbacks.
//
// Level files, mission scripts and generators name the kinds of object they
// want ("Bullet", "CarDriver"); the registry maps each name to the kind's
// message handler, which builds an instance when sent OM_CREATE.  Every module
// that defines kinds registers them with one static Name per kind, so the
// registry is complete before main runs.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Callback.h"

class Name
{
public:
    // Pushes the entry on the front of the registry: an entry registered later
    // shadows an earlier one of the same name.  The name is kept by pointer.
    Name(const char* name, int value);

    // The value (a kind's message handler) of the first entry named name, or 0
    // when the name is unknown or null.
    static int Find(const char* name);

    Name* link;    // next entry
    char* name;
    int value;     // the kind's OBJMESSAGEHANDLER, as an int

    static Name* first;
};

// A callback run while the main thread waits for a file from the disc: the
// loading screen registers one so it keeps animating during long reads.
class LoadingCallback : public Callback
{
public:
    // Registers / unregisters this callback in cbs; RemoveCallback is false
    // when it was not registered.
    void AddCallback();
    bool RemoveCallback();

    // Runs the registered callbacks round after round until the stream fd has
    // nothing pending (defined with file loading).
    static void Wait(int fd);

    static Callbacks cbs;   // the registered loading callbacks
    static int fd;          // the stream handle being waited on
    static int bytes;       // bytes still pending at the last poll
};

// Reads a whole file of the disc archive into a new 64-byte-aligned heap
// buffer of whole 64-byte lines plus one, which the caller frees; the length
// goes to *filelength when given.  Null when the file cannot be opened or the
// buffer cannot be allocated (reported with the heap's free totals).  The
// loading callbacks run while the file arrives.
void* FileLoad(const char* filename, unsigned* filelength);

// Reads a whole file into buffer, which must hold it; returns buffer, or null
// when the file cannot be opened.
void* FileLoadAt(const char* filename, void* buffer);
