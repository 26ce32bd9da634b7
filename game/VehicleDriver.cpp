// Who sits in a car: the mesh driver a traffic car shows, the character that
// drives it, throwing either out, and a door made to swing free.
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/modelfile.h"
#include "game/Bystander.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/Player.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"
#include "game/explosn.h"

namespace {

// The mesh driver's id among the car's children.
constexpr s16 kMeshDriverId = 129;
// The seat locator under the car's body node.
constexpr u16 kDriverSeat = 0x8074;
// Node kind of a character model's seated copy.
constexpr int kSeatedKind = 13;
// The put-in message's attach point for a driver thrown out.
constexpr int kKickOutSeat = 116;
// A pedestrian made from a mesh driver.
constexpr s16 kKickedOutId = 100;
constexpr unsigned kKickedOutFlag = 0x20000;

}  // namespace

Object* Vehicle::AttachDriver(MDLFILE* drivermodel)
{
    if (drivermodel == nullptr || drivermodel->nodes == nullptr || drivermodel->nNodes == 0)
        return nullptr;
    // 1.
    const int seated = drivermodel->FindSpecialIndex(0, kSeatedKind);
    if (seated == 0)
        return nullptr;
    // 2.  The seated node itself is only a holder: the driver is the copy
    // below it.  The object keeps node 0 of the character as its own node,
    // so whoever takes the driver's body later builds the whole character.
    Object* mesh = new Object();
    if (mesh == nullptr)
        return nullptr;
    mesh->mdlfile = drivermodel;
    mesh->mat = drivermodel->nodes[seated].GetMatrix();
    const u16 first = drivermodel->nodes[seated].child;
    if (first != 0xFFFF) {
        if (Object* c = drivermodel->GetHierarchy(first, sizeof(Object), GH_SIBLINGS)) {
            for (Object* s = c; s != nullptr;) {
                Object* next = s->sibling;
                s->sibling = nullptr;
                mesh->Attach(s);
                s = next;
            }
        }
    }
    mesh->mode = 0;
    mesh->id = kMeshDriverId;
    // 3.  At the seat, unmoved by a shifted centre of gravity.
    Matrix at(true);
    if (mdlfile != nullptr && mdlfile->nodes != nullptr && i16OrigIndex >= 0 && i16OrigIndex < mdlfile->nNodes) {
        if (NODE* n = mdlfile->FindNode1(mdlfile->nodes[i16OrigIndex].child, kDriverSeat)) {
            at = n->GetMatrix();
            at.w[0] -= vdCOGOffset[0];
            at.w[1] -= vdCOGOffset[1];
            at.w[2] -= vdCOGOffset[2];
        }
    }
    mesh->mat = at;
    // 4.
    Attach(mesh);
    mesh->SetLowresGeomHierarchy(true);
    mesh->CalcRadius();
    return mesh;
}

Object* Vehicle::FindMeshDriver()
{
    for (Object* c = child; c != nullptr; c = c->sibling)
        if (c->id == kMeshDriverId)
            return c;
    return nullptr;
}

Object* Vehicle::FindCharacterDriver(Object* except)
{
    for (Object* c = child; c != nullptr; c = c->sibling)
        if (c->type == OBJT_CHARACTER && c != except)
            return c;
    return nullptr;
}

Object* Vehicle::KickOutMeshDriver(KickOutMode kmode, bool flag, Object* jacker)
{
    // 1.
    Object* mesh = FindMeshDriver();
    if (mesh == nullptr || mesh->messagehandler == &Bystander::Bystander_mh)
        return nullptr;
    // 2.
    const auto make = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("Bystander")));
    if (make == nullptr)
        return nullptr;
    Bystander* ped = reinterpret_cast<Bystander*>(intptr_t(make(nullptr, OM_CREATE, nullptr)));
    if (ped == nullptr)
        return nullptr;
    // 3.
    MDLFILE* dm = mesh->mdlfile;
    if (dm != nullptr && dm->nodes != nullptr)
        dm->GetHierarchyTo(ped, mesh->index, 0x88);
    ped->AllocBlendAnimHierarchy(0x88);
    ped->mat = mesh->GetWorldMatrix();
    ped->id = kKickedOutId;
    // 4.  A slot about to go, or an empty one that mirrors nothing, names no
    // character.
    const int slot = dm != nullptr ? g_GlobalMFI.GetIndex(dm) : -1;
    s16 charid = -1;
    if (slot >= 0) {
        const MdlFileInfo& mfi = g_GlobalMFI.GetMFI(slot);
        const bool gone = (mfi.i16Flags & MFI_DELETEABLE) || (mfi.i16Id < 0 && mfi.i16Mirror < 0);
        if (!gone)
            charid = s16(mfi.i16Id & ~0x100);
    }
    ped->charid = charid;
    // 5.
    ped->fScale = 1.0f;
    // 6.
    world.SetTimer(ped, AnimTime(u32(30 + (rand() >> 28)) << 8), nullptr);
    // 7.
    SetTintSet(ped, mesh->mode, true);
    // 8.
    world.AddObject(ped, nullptr);
    // 9.
    SpecialMessage put(SMSG_PUT_IN_VEHICLE, this, kKickOutSeat);
    ped->SendMessage(OM_SPECIAL, &put);
    // 10.
    ped->LeaveCar(kmode, flag);
    ped->flags |= kKickedOutFlag;
    ped->ReactToCarjacker(jacker);
    // 11.  The driver's model count passes to the pedestrian with the body.
    mesh->Detach();
    mesh->Delete();
    return ped;
}

Object* Vehicle::KickOutCharacterDriver(KickOutMode, bool, Object* jacker)
{
    if (jacker == nullptr || jacker->id == -1)
        return nullptr;
    Object* d = FindCharacterDriver(jacker);
    if (d == nullptr)
        return nullptr;
    if (d->id == -1 && d == dace)
        dace->GetOut();
    return d;
}

Object* Vehicle::KickOutDriver(KickOutMode kmode, bool flag, Object* jacker)
{
    Object* out = KickOutMeshDriver(kmode, flag, jacker);
    if (out == nullptr)
        return KickOutCharacterDriver(kmode, flag, jacker);
    if (HasDriver()) {
        SpecialMessage left(SMSG_CD_DRIVER_LEFT, this);
        rcoDriver->SendMessage(OM_SPECIAL, &left);
    }
    return out;
}

Object* Vehicle::MakeDoor(int doorId)
{
    // A door already swinging keeps the id of the part it replaced, but is
    // not made again.
    Object* part = FindSubObject(doorId);
    if (part == nullptr || part->messagehandler == &CarDoor::CarDoor_mh)
        return nullptr;
    return CarDoor_Create(part);
}
