// COM naming on Windows: the system's own names, no port map; the name
// reaches the simulator's pseudo-terminal, which the script registered as COM5.
#include "platform/serial_map.h"
#include "tests/wine/wine_check.h"

#include <cstring>
#include <string>

#include <windows.h>

namespace {

ComLink EveryLinkExists(const char *)
{
    return ciComLinkLive;
}

// One Modbus read of holding register 0 (the identification) on an opened
// COM name, at 9600 8N1; the simulator answers 01 03 02 54 56 and a CRC.
bool ReadIdentification(const char *name)
{
    std::string device = std::string("\\\\.\\") + name;
    HANDLE port = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return false;
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    GetCommState(port, &dcb);
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    COMMTIMEOUTS timeouts = {0, 0, 2000, 0, 2000};
    const unsigned char request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    unsigned char reply[7] = {};
    DWORD written = 0;
    DWORD read = 0;
    bool ok = SetCommState(port, &dcb) && SetCommTimeouts(port, &timeouts) &&
              WriteFile(port, request, sizeof request, &written, nullptr) &&
              written == sizeof request && ReadFile(port, reply, sizeof reply, &read, nullptr);
    CloseHandle(port);
    const unsigned char expected[] = {0x01, 0x03, 0x02, 0x54, 0x56};
    return ok && read == sizeof reply && std::memcmp(reply, expected, sizeof expected) == 0;
}

} // namespace

int main()
{
    const char *const caNames[] = {"COM5", "COM10", "COM256"};
    bool own = true;
    for (const char *name : caNames) {
        char out[64] = "";
        own = own && ComResolveName(name, "C:\\ports", EveryLinkExists, out, sizeof out) &&
              std::strcmp(out, name) == 0;
    }
    WineCheck(own && ComLinkState("C:\\windows") == ciComLinkNone,
              "a COM name is the system's own: no port map, COM10 and above unchanged");

    char name[64] = "";
    WineCheck(ComResolveName("COM5", nullptr, ComLinkState, name, sizeof name) &&
                  ReadIdentification(name),
              "COM5 reaches the simulator: a read of register 0 at 9600 8N1 is answered");
    return giWineFailed ? 1 : 0;
}
