// Doubly linked lists with two sentinel links built into the list header.
//
// EList<T> is intrusive: each T derives from ELink<T> and carries its own
// links.  List<T> is a list of pointers: its links (Link<T>) are small nodes
// holding a T* and come from the one shared pool, linkpool, never from the
// heap.
//
// An empty list is head.next = &tail, tail.prev = &head; the head sentinel is
// the only link whose prev is null and the tail sentinel the only one whose
// next is null.  A walk starts at Head() and stops at the first link whose
// IsEOList() is true:
//     for (T* p = list.Head(); !p->IsEOList(); p = p->Next()) ...
// so Head() of an empty list is the tail sentinel.  A walk that may delete the
// current element reads its Next() first.  Nothing keeps a count: Count, Item
// and GetIndex walk the list.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Allocator.h"

class _Link {
public:
    _Link* next = nullptr;
    _Link* prev = nullptr;

    bool IsEOList() const { return next == nullptr; }   // the tail sentinel
    bool IsSOList() const { return prev == nullptr; }   // the head sentinel

    // Puts this link just before / just after the given one.
    void InsertBefore(_Link* link)
    {
        next = link;
        prev = link->prev;
        prev->next = this;
        link->prev = this;
    }
    void InsertAfter(_Link* link)
    {
        prev = link;
        next = link->next;
        next->prev = this;
        link->next = this;
    }

    // Takes this link out of its list and returns it; its own fields keep
    // their values.
    _Link* UnLink()
    {
        prev->next = next;
        next->prev = prev;
        return this;
    }
};

class _List {
public:
    _Link head;
    _Link tail;

    _List() { InitList(); }
    // A copied header would point at the original's links.
    _List(const _List&) = delete;
    _List& operator=(const _List&) = delete;

    void InitList()
    {
        head.next = &tail;
        head.prev = nullptr;
        tail.next = nullptr;
        tail.prev = &head;
    }

    bool IsEmpty() const { return head.next == &tail; }

    // First / last element; on an empty list the tail / head sentinel, which
    // ends a walk at once.
    _Link* Head() const { return head.next; }
    _Link* Tail() const { return tail.prev; }

    _Link* AddHead(_Link* link)
    {
        link->InsertAfter(&head);
        return link;
    }
    _Link* AddTail(_Link* link)
    {
        link->InsertBefore(&tail);
        return link;
    }

    // Unlink and return the first / last element; null when empty.
    _Link* RemoveHead() { return IsEmpty() ? nullptr : head.next->UnLink(); }
    _Link* RemoveTail() { return IsEmpty() ? nullptr : tail.prev->UnLink(); }

    int Count() const;
    // The element of 0-based index i; null when i is negative or not below
    // the count.
    _Link* Item(int i) const;
    _Link* operator[](int i) const { return Item(i); }
    // 0-based index of the link; -1 when it is not in the list.
    int GetIndex(const _Link* link) const;
    // Inserts the link so that it gets index i; i at or beyond the count, and
    // any negative i, append.
    _Link* InsertAt(int i, _Link* link);
};

// The link embedded at the start of an element of type T.
template <class T>
class ELink : public _Link {
public:
    T* Next() const { return static_cast<T*>(next); }
    T* Prev() const { return static_cast<T*>(prev); }

    // Unlinks the element and deletes it (its class's operator delete returns
    // it to its pool).
    void Remove()
    {
        UnLink();
        delete static_cast<T*>(this);
    }
};

// A list of T, each T deriving from ELink<T> (directly or through
// Small<ELink<T>>).
template <class T>
class EList : public _List {
public:
    T* Head() const { return static_cast<T*>(head.next); }
    T* Tail() const { return static_cast<T*>(tail.prev); }

    T* AddHead(T* t) { return static_cast<T*>(_List::AddHead(t)); }
    T* AddTail(T* t) { return static_cast<T*>(_List::AddTail(t)); }
    T* RemoveHead() { return static_cast<T*>(_List::RemoveHead()); }
    T* RemoveTail() { return static_cast<T*>(_List::RemoveTail()); }

    T* Item(int i) const { return static_cast<T*>(_List::Item(i)); }
    T* operator[](int i) const { return Item(i); }
    int GetIndex(const T* t) const { return _List::GetIndex(t); }
    T* InsertAt(int i, T* t) { return static_cast<T*>(_List::InsertAt(i, t)); }

    // Unlinks and deletes every element, first to last.
    void DeleteAll()
    {
        while (!IsEmpty())
            delete static_cast<T*>(head.next->UnLink());
    }
};

// The shared pool behind every pointer-list link (defined in List.cpp).  Alloc
// takes the first free link of linkpool; when the pool is used up (or not yet
// built) the link comes from the small-block pool instead, and the first such
// case is reported.  Free gives a link back to where it came from.
void* LinkAlloc();
void LinkFree(void* p);

// A pointer-list node: 12 bytes, from linkpool.
template <class T>
class Link : public ELink<Link<T>> {
public:
    T* data = nullptr;

    Link() = default;
    explicit Link(T* p) : data(p) {}

    // Null when no link can be had at all (the constructor is then not run).
    static void* operator new(size_t) noexcept { return LinkAlloc(); }
    static void operator delete(void* p) { LinkFree(p); }

    // Unlinks the link, returns it to the pool (at the tail of the free list)
    // and returns the pointer it held.
    T* Remove()
    {
        T* p = data;
        this->UnLink();
        delete this;
        return p;
    }
};
static_assert(sizeof(Link<void>) == 12, "a pool link is next, prev and data");

// A list of pointers to T; the pointed-to elements live elsewhere and are
// left alone unless Delete/DeleteAll is asked for.
template <class T>
class List : public EList<Link<T>> {
    using Base = EList<Link<T>>;

public:
    using Base::AddHead;
    using Base::AddTail;
    using Base::InsertAt;
    using Base::GetIndex;

    // A new pool link holding p, at the head / tail; null (nothing added)
    // when no link can be had.
    Link<T>* AddHead(T* p)
    {
        Link<T>* l = new Link<T>(p);
        return l ? Base::AddHead(l) : nullptr;
    }
    Link<T>* AddTail(T* p)
    {
        Link<T>* l = new Link<T>(p);
        return l ? Base::AddTail(l) : nullptr;
    }
    Link<T>* InsertAt(int i, T* p)
    {
        Link<T>* l = new Link<T>(p);
        return l ? Base::InsertAt(i, l) : nullptr;
    }

    // The first / last pointer, its link given back to the pool; null when
    // the list is empty.
    T* RemoveHead() { return this->IsEmpty() ? nullptr : Base::Head()->Remove(); }
    T* RemoveTail() { return this->IsEmpty() ? nullptr : Base::Tail()->Remove(); }

    // The first link holding p, else null.
    Link<T>* Find(const T* p) const
    {
        for (Link<T>* l = Base::Head(); !l->IsEOList(); l = l->Next()) {
            if (l->data == p)
                return l;
        }
        return nullptr;
    }

    // Removes the first link holding p; true if p was listed.
    bool Remove(const T* p)
    {
        Link<T>* l = Find(p);
        if (!l)
            return false;
        l->Remove();
        return true;
    }

    // Gives every link back to the pool; the elements are left alone.
    void RemoveAll()
    {
        while (!this->IsEmpty())
            Base::Head()->Remove();
    }

    // The pointer of index i; null when i is negative or not below the count.
    T* Item(int i) const
    {
        Link<T>* l = Base::Item(i);
        return l ? l->data : nullptr;
    }
    T* operator[](int i) const { return Item(i); }

    // Index of the first link holding p; -1 when p is not listed.
    int GetIndex(const T* p) const
    {
        int i = 0;
        for (Link<T>* l = Base::Head(); !l->IsEOList(); l = l->Next(), i++) {
            if (l->data == p)
                return i;
        }
        return -1;
    }

    // Removes p (its first link) and deletes the element; true if p was listed.
    bool Delete(T* p)
    {
        if (!Remove(p))
            return false;
        DeleteElement(p);
        return true;
    }

    // Empties the list, deleting every element in list order.
    void DeleteAll()
    {
        while (!this->IsEmpty())
            DeleteElement(RemoveHead());
    }

private:
    // Game objects end their lives through their own Delete (which tells
    // their behaviour); anything else is deleted.
    static void DeleteElement(T* p)
    {
        if constexpr (requires { p->Delete(); }) {
            if (p)
                p->Delete();
        } else {
            delete p;
        }
    }
};

// A pool of N pointer-list links; the list part holds the free links, n counts
// them.  Links are taken at the head and returned at the tail.
template <int N>
class LinkPool : public List<void> {
public:
    Link<void> pool[N];
    int n;

    LinkPool()
    {
        InitList();
        n = N;
        for (int i = 0; i < N; i++)
            _List::AddTail(&pool[i]);
    }

    bool Owns(const void* p) const { return p >= (const void*)pool && p < (const void*)(pool + N); }

    // The first free link, or null when none is left.
    void* Take()
    {
        _Link* l = _List::RemoveHead();
        if (l)
            n--;
        return l;
    }

    // Appends a link of this pool to the free list.
    void Give(void* p)
    {
        _List::AddTail(static_cast<_Link*>(static_cast<Link<void>*>(p)));
        n++;
    }
};

// The one link pool of the program, built by the main module's static
// initialiser before main.
extern LinkPool<1024> linkpool;
