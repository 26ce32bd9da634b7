// Game pads through the pad library.
#include "ZevEngine2/PS2/Controller.h"

Controller controller[2];

void Controller::Init()
{
    scePadInit(0);
    for (int i = 0; i < 2; i++) {
        controller[i].Open(i, 0);
        controller[i].InitActuators();
    }
}

void Controller::Open(int p, int s)
{
    port = (u8)p;
    slot = (u8)s;
    pad_type = PADT_DISCONNECTED;
    cont_init_mode = CONM_DISCONNECTED;
    scePadPortOpen(port, slot, (u_long128*)pad_dma_buf);
    memset(rdata, 0, sizeof rdata);
    rdata[4 + ANA_RX] = rdata[4 + ANA_RY] = rdata[4 + ANA_LX] = rdata[4 + ANA_LY] = 0x80;
    Sync();
}

int Controller::Sync()
{
    int state;
    // The pad is busy for a few fields after a command; each poll lets time
    // pass.
    while ((state = scePadGetState(port, 0)) == PAD_STATE_EXECUTING)
        ee_spin(10000);
    return state;
}

void Controller::Update()
{
    controller[0].Read();
    controller[1].Read();
    UpdateActuators();
}

void Controller::Read()
{
    int state = scePadGetState(port, slot);
    u32 previous = pad;
    pad = 0;
    bool ready = state == PAD_STATE_FOUND || state == PAD_STATE_STABLE;

    if (ready && scePadRead(port, slot, rdata) > 0) {
        switch (cont_init_mode) {
        case CONM_DISCONNECTED:
            scePadSetMainMode(port, slot, analogOn, 3);
            cont_init_mode = CONM_SETANALOG;
            pad_type = PADT_DISCONNECTED;
            break;
        case CONM_SETANALOG:
            if (pressureOn)
                scePadEnterPressMode(port, slot);
            else
                scePadExitPressMode(port, slot);
            cont_init_mode = CONM_SETPRESSURE;
            break;
        case CONM_SETPRESSURE:
            cont_init_mode = CONM_READING;
            [[fallthrough]];
        case CONM_READING:
        default:
            pad_type = (ContType)(rdata[1] >> 4);
            pad = (((u32)rdata[2] << 8) | rdata[3]) ^ 0xFFFF;
            break;
        }
    } else if (ready || state == PAD_STATE_DISCONNECTED) {
        // No pad, or a pad that gave no data: its set-up runs again when it
        // answers.
        pad_type = PADT_DISCONNECTED;
        cont_init_mode = CONM_DISCONNECTED;
    } else {
        pad_type = PADT_DISCONNECTED;
    }

    pad |= ((pad ^ previous) & pad) << 16;

    if (pad_type == PADT_DISCONNECTED)
        rdata[4 + ANA_RX] = rdata[4 + ANA_RY] = rdata[4 + ANA_LX] = rdata[4 + ANA_LY] = 0x80;
}

void Controller::UpdateActuators()
{
    controller[0].UpdateActuator();
    controller[1].UpdateActuator();
}

void Controller::UpdateActuator()
{
    int state = scePadGetState(port, slot);
    if (state != PAD_STATE_FOUND && state != PAD_STATE_STABLE)
        return;
    actuator.rucDirect[0] = (u8)actuator.u32Value0;
    actuator.rucDirect[1] = (u8)actuator.u32Value1;
    if (memcmp(actuator.rucDirect, actuator.rucPrevDirect, 4) != 0) {
        scePadSetActDirect(port, slot, actuator.rucDirect);
        memcpy(actuator.rucPrevDirect, actuator.rucDirect, 4);
    }
}

void Controller::InitActuators()
{
    int n = scePadInfoAct(port, slot, -1, 0);
    memset(actuator.rucAlignment, 0xFF, sizeof actuator.rucAlignment);
    memset(actuator.rucDirect, 0, sizeof actuator.rucDirect);
    memset(actuator.rucPrevDirect, 0, sizeof actuator.rucPrevDirect);
    if (n != 0) {
        actuator.enabled = 1;
        for (int i = 0; i < n && i < 6; i++)
            actuator.rucAlignment[i] = (u8)i;
        scePadSetActAlign(port, slot, actuator.rucAlignment);
    }
}
