#include "modbus/Modbus_API.h"

#include <cstdio>

#include "log/log.h"
#include "modbus/Modbus_core.h"
#include "platform/ui.h"

int gvIDd = 1;
int gr = 0;
MB_Access gvMB_Access = {0, 0.0, cdMB_FAIL_PAUSE, 0, 0, nullptr};

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

// Results that no second attempt changes: nothing was sent, the port
// failed, the device refused, or the adapter echoes every request.
static const int caNoRetry[] = {ciMB_ERR_OP, ciMB_ERR_RANGE, ciMB_ERR_WRITE, ciMB_ERR_ECHO};

bool mf_Tovra_MB_Result__Retry(int result)
{
    if (result > ciMB_ERR_OP || result <= ciMB_ERR_EXCEPTION)
        return false;
    for (int r : caNoRetry)
        if (r == result)
            return false;
    return true;
}

// One register operation; `delay` is the window's settle time, and with
// byReply the time the device is given beyond the timeout (`grace`).
static int fn_access(unsigned char code, unsigned short address, short value, short *values,
                     double delay, double grace)
{
    const MB_Access &a = gvMB_Access;
    const MB_Timing timing = a.byReply ? MB_Timing{0.0, a.timeout + grace, 1, a.echo, a.raise}
                                       : MB_Timing{delay, 0.0, 0, 0, a.raise};
    unsigned char request[8];
    mf_Tovra_MB_Request__Build(request, gvIDd, code, address, value);
    gr = mf_Tovra_MB_Exchange(ciPORT_umb, request, 8, values, gpLog, &timing);
    for (int attempt = 1; attempt <= a.retries && mf_Tovra_MB_Result__Retry(gr); ++attempt) {
        char text[64];
        std::snprintf(text, sizeof text, "retry %d of %d", attempt, a.retries);
        logs("%s\n", text);
        gr = mf_Tovra_MB_Exchange(ciPORT_umb, request, 8, values, gpLog, &timing);
    }
    if (gr != 0)
        Delay(a.failPause);
    return gr;
}

int mf_Tovra_Modbus_dev_RW_16(unsigned char code, unsigned short address, short value,
                              short *values)
{
    return fn_access(code, address, value, values, cdMB_SETTLE, 0.0);
}

int mf_Tovra_Modbus_dev_RW_16_delay(unsigned char code, unsigned short address, short value,
                                    short *values, double delay)
{
    return fn_access(code, address, value, values, delay, delay);
}
