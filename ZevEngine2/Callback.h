// Callbacks: polymorphic hooks kept in singly linked lists.  The vertical
// blank, the end of drawing, file loading and the heap's movable blocks all
// call their clients through them.
#pragma once

#include "ZevEngine2/Zev.h"

// A hook with one operation.  The owner derives from it and implements
// operator(); what the argument and the reply mean belongs to the list that
// runs it (a list run stops at the first non-zero reply).
class Callback {
public:
    Callback* next = nullptr;   // the next callback of the list this one is on

    virtual int operator()(void* p) = 0;

protected:
    // Callbacks are owned and destroyed as their derived types, never through
    // this base.
    ~Callback() = default;
};

// A singly linked list of callbacks, newest first.
class Callbacks {
public:
    Callback* first = nullptr;

    // Puts cb at the front of the list.  A callback already on the list stays
    // where it is: linking it twice would close the list into a loop.
    void Add(Callback* cb);

    // Unlinks cb; true when it was on the list, false (and no change) when not.
    bool Remove(Callback* cb);

    Callback* First() const { return first; }

    // Forgets every callback (the callbacks themselves are left alone).
    void Clear() { first = nullptr; }

    // Calls each callback in list order with p, stopping at the first one that
    // replies non-zero; returns that reply, or 0 when every callback ran.  A
    // callback may remove itself while it runs.
    int DoCallbacks(void* p);
};
