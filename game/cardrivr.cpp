// The car driver's creation and the messages that seat, hold and command it.
#include "ZevEngine2/Utilities.h"
#include "game/cardrivr.h"

#include "ZevEngine2/EntTypes.h"
#include "game/Vehicle.h"

static Name nameCarDriver("CarDriver", int(reinterpret_cast<intptr_t>(&CarDriver::CarDriver_mh)));

int CarDriver::CarDriver_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE) {
        CarDriver* d = new CarDriver();
        if (d == nullptr)
            return 0;
        d->messagehandler = CarDriver_mh;
        d->mat = Matrix(true);
        return int(reinterpret_cast<intptr_t>(d));
    }
    return static_cast<CarDriver*>(o)->mh(msg, data);
}

int CarDriver::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_SPECIAL: {
        const SpecialMessage* m = static_cast<const SpecialMessage*>(data);
        if (m == nullptr)
            return 0;
        Vehicle* car = parent != nullptr && parent->type == OBJT_VEHICLE ? static_cast<Vehicle*>(parent) : nullptr;
        switch (m->submsg) {
        case SMSG_PUT_IN_VEHICLE:
            if (m->obj == nullptr || m->obj->type != OBJT_VEHICLE)
                return 0;
            if (parent != nullptr)
                Detach();
            SetPos(VectorPos(0.0f, 0.0f, 0.0f));
            m->obj->Attach(this);
            static_cast<Vehicle*>(m->obj)->rcoDriver = this;
            iCDFlags &= ~CDF_UNSEATED;
            return 0;
        case SMSG_CD_SET_DRIVE: {
            i16DriveMode = s16(int(m->param[0]));
            pobjTarget = m->obj;
            const VectorPos* at = m->param[1];
            if (at != nullptr)
                vpTarget = *at;
            static bool said;
            if (!said) {
                said = true;
                printf("car driver: driving is not built yet (drive mode %d kept)\n", int(i16DriveMode));
            }
            return 0;
        }
        case SMSG_CD_HOLD:
            if (int(m->param[0]) == 0)
                iCDFlags |= CDF_HELD;
            else
                iCDFlags &= ~CDF_HELD;
            return 0;
        case SMSG_CD_SEAT_TAKEN:
            if (iCDFlags & CDF_HELD)
                return 0;
            iRefCount = 0;
            if (car != nullptr)
                car->rcoDriver = m->obj;
            iCDFlags |= CDF_SEATTAKEN | CDF_HELD;
            return 0;
        case SMSG_CD_LOCK:
            if (iCDFlags & CDF_HELD)
                return 0;
            iRefCount = 0;
            iCDFlags = (iCDFlags & ~CDF_UNSEATED) | CDF_HELD;
            return 0;
        default:
            return 0;
        }
    }
    case OM_DIE: {
        Vehicle* car = parent != nullptr && parent->type == OBJT_VEHICLE ? static_cast<Vehicle*>(parent) : nullptr;
        if (car != nullptr && car->rcoDriver == this)
            car->rcoDriver = nullptr;
        delete this;
        return -1;
    }
    default:
        return 0;
    }
}
