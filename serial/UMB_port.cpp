#include "serial/UMB_port.h"

#include <cstdio>

#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "platform/serial.h"
#include "platform/ui.h"

namespace {

constexpr int ciOpenComLine = 882839; // locates the open failure in the log

} // namespace

int mf_Tovra_UMB_Port__Close_Text(int port, char *text, size_t size)
{
    std::snprintf(text, size, "Close COM P%d OK", port);
    return 0;
}

int mf_Tovra_UMB_Port__Close(int port, char *text, size_t size)
{
    CloseCom(port);
    mf_Tovra_UMB_Port__Close_Text(port, text, size);
    logs("%s\n", text);
    return 0;
}

int mf_Tovra_UMB_Port__Open(int port, const UMB_dev *dev, char *text, size_t size)
{
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", dev->COMx);
    return mf_Tovra_UMB_Port__Open_Device(port, name, dev, text, size);
}

int mf_Tovra_UMB_Port__Open_Device(int port, const char *name, const UMB_dev *dev, char *text,
                                   size_t size)
{
    gr = OpenComConfig(port, name, dev->BR, dev->PARITY, dev->DATA, dev->STOP, 0, 0);
    if (gr < 0) {
        int code = gr;
        mf_Tovra_Log__err_Open_COM("UART_MB", ciOpenComLine, code);
        std::snprintf(text, size, "Open %s NG : %s", name, GetRS232ErrorString(code));
        return code;
    }
    gr = SetComTime(port, cdComTime);
    if (gr < 0)
        MessagePopup("1929", "SetComTime err");
    std::snprintf(text, size, "Open Com ( P%d, %s, %d, %d-%d-%d ), SetComTime : %.1f", port, name,
                  dev->BR, dev->PARITY, dev->DATA, dev->STOP, cdComTime);
    logs("%s\n", text);
    return 0;
}
