#include "modbus/Modbus_API.h"

#include "log/log.h"
#include "modbus/Modbus_core.h"
#include "platform/ui.h"

int gvIDd = 1;
int gr = 0;

void mf_Tovra_MB_Request__Build(unsigned char frame[8], int id, unsigned char code,
                                unsigned short address, short value)
{
    unsigned short v = (unsigned short)value;
    frame[0] = (unsigned char)(id & 0xFF);
    frame[1] = code;
    frame[2] = (unsigned char)(address >> 8);
    frame[3] = (unsigned char)(address & 0xFF);
    frame[4] = (unsigned char)(v >> 8);
    frame[5] = (unsigned char)(v & 0xFF);
    frame[6] = 0;
    frame[7] = 0;
}

int mf_Tovra_Modbus_dev_RW_16(unsigned char code, unsigned short address, short value,
                              short *values)
{
    return mf_Tovra_Modbus_dev_RW_16_delay(code, address, value, values, cdMB_SETTLE);
}

int mf_Tovra_Modbus_dev_RW_16_delay(unsigned char code, unsigned short address, short value,
                                    short *values, double delay)
{
    unsigned char request[8];
    mf_Tovra_MB_Request__Build(request, gvIDd, code, address, value);
    // One attempt only; the caller decides what follows a failure.
    gr = mf_Tovra_Send_MB_MSG_16_A(ciPORT_umb, request, 8, values, gpLog, delay);
    if (gr != 0)
        Delay(cdMB_FAIL_PAUSE);
    return gr;
}
