// Objects, their messages and their lifetime.
//
// Everything in the game world is an Object: a node of a transform tree with
// an optional model, collision chain and animation state, and an optional
// behaviour.  Objects have no virtual functions; behaviour is one message
// handler per object.  A class of behaviour derives from Object and installs a
// static handler, named after the class with the suffix _mh, that forwards to
// its member mh:
//
//     int LaserSight::LaserSight_mh(Object* o, OBJMESSAGE msg, void* data)
//     { return ((LaserSight*)o)->mh(msg, data); }
//
// Lifetime: lists and timers hold counted references (RCptr<Object>).  A
// deleted object is marked dead at once, but its storage is freed only when
// the last counted reference goes, so a list never holds a pointer to freed
// memory and every walk can still read a dead object's flags.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/List.h"
#include "ZevEngine2/PS2/Vector.h"

struct MDLFILE;
struct NODE;
struct AnimChar;
struct AnimNode;
struct GEOMETRY;
struct COLLISION;
class BlendAnimation;
class RenderContext;
struct Cuboid;

enum OBJMESSAGE
{
    OM_FRAME,           // every tick to frame-call objects; data: the World
    OM_INIT,            // from World::AddObject; a negative reply rejects the object
    OM_TIMER,           // a due timer; data: its extra; reply -2 ends the tick's sweep
    OM_COLLISION,       // data: CollisionRecord*
    OM_DIE,             // the handler must destroy its object
    OM_ANIMLOOP,
    OM_ANIMEVENT,
    OM_GETSIZE,
    OM_CREATE,          // creation request to a kind's handler (see Name)
    OM_DAMAGE,
    OM_EXPLODED,
    OM_SPECIAL,         // data: SpecialMessage*
    OM_TRIGGER,
    OM_POSTCOLL,
    OM_PASSEDCOLL,
    OM_WASDRAWN,
    OM_ATTACH,
    OM_DETACH,
    OM_SELECT,
    OM_USE,
    OM_EFFICACY,
    OM_SHOOTINFO,
    OM_BADGEWARNING,
    OM_GUNWARNING,
    OM_SHOTWARNING,
    OM_RENDER,
    OM_DESTROYED,
    OM_SPITCAR,
    OM_VISIBLE,
    OM_CINEMASTART,
    OM_CINEMAOVER,
    OM_CINEMACANCEL,
    OM_SETANIM,
    OM_FINISHED,
    OM_CUSTOM,
};
static_assert(OM_CUSTOM == 34);

enum OBJTYPE
{
    OBJT_STATIC,
    OBJT_CHARACTER,
    OBJT_VEHICLE,
    OBJT_ICON,
    OBJT_BONE,
    OBJT_PLACEHOLDER,
    OBJT_LIGHT,
    OBJT_DEBRIS,
    OBJT_PROJECTILE,
    OBJT_DYNAMIC,
    OBJT_CAMERA,
    OBJT_AVAILABLE_1,
    OBJT_PARTICLE,
    OBJT_NUMBER_OF_TYPES,
};

enum SPECIAL_MSG
{
    SPECIAL_MSG_QUADNODE,
    SPECIAL_MSG_CUSTOM,
};

// Object flag bits the engine core sets or reads; all other bits belong to the
// subsystems that own the objects.
enum : unsigned int
{
    OBJF_HIDDEN = 0x1,              // the object and its sub-tree are not drawn
    OBJF_NOCOLLISION = 0x2,         // takes part in no collision
    OBJF_CHILDCOLLISION = 0x8,      // some descendant has a collision chain
    OBJF_DRAWSELF = 0x40,           // asked with OM_RENDER before being drawn
    OBJF_SHADOW = 0x80,             // it or a descendant has a shadow node
    OBJF_NORELMOTION = 0x100,       // relative-motion animation leaves its matrix alone
    OBJF_FRAMECALL = 0x10000,       // receives OM_FRAME every tick
    OBJF_SELFANIMATING = 0x20000,   // the world animates its hierarchy
    OBJF_CINEMAFRAME = 0x400000,    // receives OM_FRAME in cinema mode too
    OBJF_DEAD = 0x80000000,         // destroyed; storage kept while references remain
};

class Object;
typedef int (*OBJMESSAGEHANDLER)(Object*, OBJMESSAGE, void*);

// One 4-byte parameter of a special message: an int, a float or a pointer.
union Variant
{
    int i;
    float f;
    void* p;

    Variant() : i(0) {}
    Variant(int v) : i(v) {}
    Variant(unsigned v) : i((int)v) {}
    Variant(float v) : f(v) {}
    Variant(double v) : f((float)v) {}
    Variant(const void* v) : p(const_cast<void*>(v)) {}
    Variant(std::nullptr_t) : p(nullptr) {}

    operator int() const { return i; }
    operator float() const { return f; }
    template <class T>
    operator T*() const { return (T*)p; }
};
static_assert(sizeof(Variant) == 4);

// The payload of OM_SPECIAL: a game event code, the sender or subject, and
// six parameters.  Parameters a message does not carry are 0.
struct SpecialMessage
{
    int submsg;
    Object* obj;
    Variant param[6];

    SpecialMessage() : submsg(0), obj(nullptr) {}
    SpecialMessage(int code, Object* o, Variant p0 = 0, Variant p1 = 0, Variant p2 = 0, Variant p3 = 0,
                   Variant p4 = 0, Variant p5 = 0)
        : submsg(code), obj(o), param{p0, p1, p2, p3, p4, p5}
    {
    }
};
static_assert(sizeof(SpecialMessage) == 32);

// A screen-level object without a transform (HUD items, fades): only a
// handler, driven by the city world's post-draw list.
enum RAWOBJMESSAGE
{
    ROM_FRAME,
    ROM_DRAW,
    ROM_SPECIAL,
    ROM_PREDRAW,
    ROM_DESTROY,
};

struct RawObj;
typedef int (*RAWOBJMESSAGEHANDLER)(RawObj*, RAWOBJMESSAGE, void*, void*, void*);

struct RawObj
{
    RAWOBJMESSAGEHANDLER messagehandler;

    RawObj() : messagehandler(nullptr) {}
    explicit RawObj(RAWOBJMESSAGEHANDLER mh) : messagehandler(mh) {}
};

// The object whose destructor ran last: the storage release that follows a
// destructor finds its object through it (see Object::operator delete).
extern Object* deletingobject;

class Object
{
public:
    Object() { Clear(nullptr); }
    explicit Object(OBJMESSAGEHANDLER mh) { Clear(mh); }
    ~Object();

    // Objects live zero-filled on the game heap.  A failed allocation gives
    // null and no object is constructed.
    static void* operator new(size_t size) noexcept;
    static void* operator new(size_t, void* where) noexcept { return where; }
    // Storage release after a destructor: the storage's address goes into the
    // geom field of deletingobject and one count is taken off; it is freed now
    // only when no counted reference remains, otherwise by the last release.
    static void operator delete(void* p);

    // Messages.  Replies are 0 when there is no handler.
    int SendMessage(OBJMESSAGE msg, void* data) { return messagehandler ? messagehandler(this, msg, data) : 0; }
    // The first object from this one up the parent chain that has a handler
    // answers, with itself as the object.
    int SendMessageUp(OBJMESSAGE msg, void* data);

    // Destroys the object: its handler is sent OM_DIE; a handler-less object
    // runs Object's own deleting destructor.
    void Delete();

    bool IsDead() const { return (flags & OBJF_DEAD) != 0; }

    // Tree links.  Attach only detached objects: obj2's sibling and matrix are
    // not touched.
    void Attach(Object* obj2);    // as the last child
    void AttachQ(Object* obj2);   // as the first child
    Object* Detach();     // a dead object or a root is left alone; mat is unchanged
    Object* DetachW();    // mat becomes the world matrix first
    Object* GetRoot();

    // Transforms: mat is relative to the parent, rows x, y, z, w.
    Matrix GetWorldMatrix() const;
    VectorPos GetWorldPos() const;
    Matrix GetRelativeMatrix(const Object* obj2) const;
    VectorPos GetRelativePos(const Object* obj2) const;
    VectorPos Pos() const { return mat.GetTrans(); }
    void SetPos(VectorPos pos) { mat.SetTrans(pos); }

    // Searches.  FindSubObject looks at the descendants only, never this one.
    Object* FindSubObject(int id);
    Object* _FindSubObject(int id);
    bool HasAnimation() const;

    // Operations on model nodes, defined with them (model nodes and object
    // creation).  Attach with a node sets obj2.mat to the node's matrix first.
    void Attach(Object* obj2, NODE* node);
    void AttachQ(Object* obj2, NODE* node);
    NODE* GetNode() const;
    NODE* FindNode(int type);
    NODE* FindNodeById(int id);
    Object* FindNodeHierarchy(int type, NODE*& node);
    int FindSpecialIndex(int type);
    bool FindShadows();

    // Model file and collision.  collision below 4096 is a 1-based index into
    // the model file's collision table.
    MDLFILE* GetMF() const { return mdlfile; }
    bool HasCollision() const { return GetCollision() != nullptr; }
    COLLISION* GetCollision() const;
    void SetCollision(COLLISION* c) { collision = c; }

    // Whole-tree updates.
    void ModifyFlagsHierarchy(unsigned setmask, unsigned clearmask);
    bool InitialiseChildCollisions();
    u16 GetCollisionMask();
    u16 ModifyCollisionMask(u16 setmask, u16 clearmask);
    void ModifyCollisionMaskHierarchy(u16 setmask, u16 clearmask);
    float CalcRadius();
    // The ground y under pos from every registered ground checker (the most
    // recently registered first); 0.0 with the upward normal (0, -1, 0) when
    // none knows the ground there.  normal may be null.  Defined with the
    // collision queries.
    float GroundHeight(VectorPos pos, VectorDir* normal) const;

    // Boxes and levels of detail, defined with the model nodes.  GetRawBox is
    // in the object's frame: the model's sphere centre ± its box half extents,
    // else the chain's first box, else ± radius; GetBox is the world-aligned
    // box of that under the world matrix (the world position ± radius without
    // model or box).
    Cuboid GetRawBox() const;
    Cuboid GetBox() const;
    // Builds the geometry's level-of-detail chain from its node (false
    // without geometry); on the whole tree with one override distance; or
    // with the defaults, the children taking this geometry's first switch
    // distance when asked and it has lower levels.
    bool SetLowresGeom(float fOverrideDist);
    void SetLowresGeomHierarchy(float fDist);
    void SetLowresGeomHierarchy(bool bPropogateParentDist);

    // Turns the object's z axis toward facedir in the XZ plane by at most
    // maxturnspeed radians; true when it got there (snapped exactly).
    bool TurnToward(VectorDir facedir, float maxturnspeed);

    // Animation set-up over the hierarchy (ObjectAnim.cpp).  The walks visit
    // this object, then its descendants depth first, children before later
    // siblings, and pass over every sub-tree whose root animates itself
    // (flag 0x20000).  The bundles of an animation file are matched to the
    // nodes in that order (see SetAnimFile).
    //
    // Gives every object of the tree that has none a BlendAnimation without
    // a bundle, starting at the animation clock; the children get flags
    // without 0x80.  Self-animating sub-trees are included.
    void AllocBlendAnimHierarchy(int flags);
    // Starts an animation file on this object (unless it animates itself)
    // and on the descendants of the same model file; clearStream empties
    // their slots first.
    void SetAnimFileHierarchy(AnimChar* animHeader, int animoffset, bool clearStream, float blendAmount, short sndBank);
    // Cross-fades to an animation file over nframes frames; without a
    // running animation it simply starts it.  morphXFade holds the new
    // animation at its start while the fade runs.
    void XFadeAnimFileHierarchy(AnimChar* animHeader, int nframes, int animoffset, short sndBank, bool morphXFade);
    // Adds a slot playing entry (node animation index + offset) of the model
    // file's animation table, looping, on the object and the descendants of
    // the same model file.
    void AddBlendAnimHierarchy(int offset, int animoffset, float blendAmount);
    // Sets slot 0 to entry (node animation index + offset) of the model
    // file's animation table on the object and the descendants of the same
    // model file.
    void SetAnimHierarchy(int offset, int animoffset);
    // Empties every slot of the visited objects.
    void ClearBlendAnimHierarchy();
    // Moves the start of the visited objects' slot 0 by time frames.
    void OffsetAnimation(int time);
    // Sets the pose weight of the descendants of the same model file, and of
    // this object when poseroot.
    void SetPoseBlendHierarchy(float amount, bool poseroot);
    // Evaluates the animation file's positions and rotations at frameoffset
    // into the pose keys of the descendants of the same model file (and of
    // this object when poseroot): replacing them when blendAmount is 1.0,
    // else moving them toward the evaluated key by blendAmount.
    void PoseAnimHierarchyToFrame(AnimChar* animHeader, float frameoffset, bool poseroot, float blendAmount);
    // mat with the first position key and the first rotation key of this
    // object's bundle of animChar in place of its translation and rotation
    // rows; mat itself without such a bundle.
    Matrix GetAnimStartMatrix(const AnimChar* animChar) const;
    // Entry (node animation index + offset) of the model file's animation
    // table; null without a model file, without a node animation index, or
    // past either end of the table.
    AnimNode* GetAnimRec(int offset) const;

    OBJMESSAGEHANDLER messagehandler;
    unsigned int flags;
    u8 type;          // OBJTYPE
    s8 mode;          // state byte of the owning class
    u16 refcount;     // counted references (RCptr<Object>)
    s16 id;
    u16 index;        // the object's node in its model file
    Matrix mat;
    Object* sibling;
    Object* child;
    Object* parent;
    GEOMETRY* geom;   // after destruction: the address of the object's storage
    float radius;
    BlendAnimation* blendAnim;
    MDLFILE* mdlfile;
    COLLISION* collision;

private:
    void Clear(OBJMESSAGEHANDLER mh);
};
static_assert(sizeof(Object) == 112);
static_assert(offsetof(Object, mat) == 16 && offsetof(Object, sibling) == 80 && offsetof(Object, collision) == 108);

// A bone of a skinned model: its matrix palette entry is its world matrix
// times the inverse of its rest matrix.
class BoneObject : public Object
{
public:
    Matrix invinitmat;
};
static_assert(sizeof(BoneObject) == 176);

// For obj and its later siblings: a bone gets the inverse of its rest matrix
// (its node's matrix times mat) and its children are set up under it; other
// objects restart the chain below them with the identity.  Defined with the
// model nodes.
void FixBones(Object* obj, const Matrix& mat);

// One step of an animation file's walk over a hierarchy (ObjectAnim.cpp).
// *nodeNum is the walk's running bundle index into animHeader: bundles whose
// id is below the node's animation id are passed over; the bundle there is
// the object's when its id is the node's animation id (an object without a
// model file takes the next bundle in walk order), and the index then moves
// past it.  With clearStream the object's slots are emptied first.  A slot is
// added either way, playing the object's bundle or nothing, so that every
// object of the walk has the same slots.  True when a bundle was added; false
// without a bundle for the object or without a blend animation, when both
// slots are in use, or without an animation file.
bool SetAnimFile(Object* obj, AnimChar* animHeader, int animoffset, int* nodeNum, bool clearStream,
                 float blendAmount, short sndBank);

// Sets (id | setmask) & ~clearmask on every box and sphere of a chain,
// descending into nested chains; returns the OR of the top-level ids.
u16 ModifyCollisionMask(COLLISION* pcol, u16 setmask, u16 clearmask);

// A counted reference.  The object's storage outlives its destruction for as
// long as any counted reference to it remains.
void ReleaseObjectRef(Object* obj);

template <class T>
class RCptr
{
public:
    RCptr() : p(nullptr) {}
    RCptr(T* obj) : p(obj) { Hold(); }
    RCptr(const RCptr& r) : p(r.p) { Hold(); }
    ~RCptr() { Release(); }

    RCptr& operator=(T* obj)
    {
        if (obj != nullptr)
            obj->refcount++;
        Release();
        p = obj;
        return *this;
    }
    RCptr& operator=(const RCptr& r) { return *this = r.p; }

    operator T*() const { return p; }
    T& operator*() const { return *p; }
    T* operator->() const { return p; }

    T* p;

private:
    void Hold()
    {
        if (p != nullptr)
            p->refcount++;
    }
    void Release()
    {
        if (p != nullptr)
            ReleaseObjectRef(p);
        p = nullptr;
    }
};

// Calls into the modules that own an object's parts; each is defined by its
// module (model nodes, animation, model files, the model drawer).
void DeleteGeometry(GEOMETRY* geom);                    // model nodes: ~GEOMETRY and its pool
void DeleteBlendAnimation(BlendAnimation* anim);        // blend animation
float GetGeometryRadius(const GEOMETRY* geom);          // model nodes: GEOMETRY::Radius
COLLISION* GetModelCollision(const MDLFILE* mf, int i); // entry i of the file's collision table, or null
// The model drawer: obj and its descendants at world matrix mat.
void Draw(RenderContext& rc, Object* obj, const Matrix& mat);

// A depth-first walk over an object's descendants (not the object itself) that
// never recurses or allocates: the later siblings still to be walked wait on a
// stack of 32 entries.  Children come before later siblings.  Self-animating
// objects (flag 0x20000) are passed over in one of two ways: the hierarchy
// walkers skip the whole sub-tree (SKIP_SUBTREE), the animation-slot editors
// skip only the object and still visit its children (SKIP_OBJECT).  A pending
// chain that would overflow the stack is reported and left unwalked.
class ObjectHierarchyIterator
{
public:
    enum WALK
    {
        SKIP_SUBTREE,
        SKIP_OBJECT,
    };

    explicit ObjectHierarchyIterator(Object* root, WALK how = SKIP_SUBTREE);

    // The next descendant to visit, or null at the end.
    Object* Next();

    Object* stack[32];
    Object** sp;
    Object* obj;    // the next candidate

private:
    void Push(Object* o);

    WALK mode;
    bool overflowed;
};

// ---------------------------------------------------------------------------
// Object lists.  Every link holds a counted reference, so a listed object that
// is destroyed stays readable as dead until the list drops its link: walks
// skip dead objects or drop their links on the spot.

class ObjectLink : public Small<ELink<ObjectLink>>
{
public:
    explicit ObjectLink(Object* obj) : data(obj) {}

    // Unlinks the link, releases its reference (freeing the storage of a dead
    // object held by nothing else), returns the link to its pool, and returns
    // the object pointer it held.
    Object* Remove();

    RCptr<Object> data;
};
static_assert(sizeof(ObjectLink) == 12);

class ObjectIterator
{
public:
    ObjectIterator(ObjectLink* l = nullptr) : link(l) {}

    ObjectIterator& operator++()
    {
        link = link->Next();
        return *this;
    }
    ObjectIterator& operator--()
    {
        link = link->Prev();
        return *this;
    }
    Object* operator*() const { return link->data; }
    Object* operator->() const { return link->data; }
    operator Object*() const { return link->data; }
    bool IsEOList() const { return link->IsEOList(); }
    bool IsSOList() const { return link->IsSOList(); }
    bool operator==(const ObjectIterator& o) const { return link == o.link; }
    bool operator!=(const ObjectIterator& o) const { return link != o.link; }

    ObjectLink* link;
};

class ObjectList : public EList<ObjectLink>
{
public:
    // A new link holding obj at the head / tail (the list does not check
    // whether obj is already in it); null when no link could be had.
    ObjectLink* AddHead(Object* obj);
    ObjectLink* AddTail(Object* obj);

    // Removes the first link holding obj, dead or alive; false if none.
    bool Remove(Object* obj);
    // Drops every link; the objects are not deleted.
    void RemoveAll();
    // Deletes every listed object not yet dead and drops every link.  Listed
    // objects are detached from their parents first.
    void DeleteAll();
    // Drops the links of dead objects.
    void Clean();

    // Searches over live objects; dead links are passed over, not removed, so
    // these may run inside another walk of the same list.
    Object* Find(int id) const;
    Object* Find(OBJTYPE type) const;
    // Of the live objects with that type (or id), the one whose local
    // translation (not the world position) is nearest pos; the first of equals.
    Object* Find(OBJTYPE type, VectorPos pos) const;
    Object* Find(short id, VectorPos pos) const;
    // The link holding obj, dead or alive.
    ObjectLink* Find(Object* obj) const;

    // The first id from startid toward endid (both included) that no live
    // object of the list uses; notfoundid when all are taken.
    int FindUnusedID(int startid, int endid, int notfoundid) const;

    // Draws every live top-level object whose type bit (1 << type) is set in
    // filter, at its own matrix; drops the links of dead objects.  Objects
    // with a parent are drawn as part of their root.
    void Draw(RenderContext& rc, int filter);

    ObjectIterator Begin() const { return ObjectIterator(Head()); }

    // A walk in progress (the world's frame calls) keeps the link it goes on
    // to here; removing that link through the list moves the walk past it, so
    // a handler called by the walk may remove or delete any listed object or
    // empty the list.
    ObjectLink* cursor = nullptr;

    // Drops one link, keeping a walk in progress safe.
    Object* RemoveLink(ObjectLink* link);
};
