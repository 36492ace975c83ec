// The list of present devices on Windows: the friendly name of every device
// of every class in the current hardware profile, from SetupAPI, in
// SetupAPI's enumeration order. Names are read with the wide API and written
// as UTF-8, so a Chinese Windows's "通訊連接埠 (COM1)" reaches the list intact.
#include "platform/devices.h"
#include "platform/files.h"
#include "platform/win_text.h"

#include <cstdio>
#include <cwchar>

#include <windows.h>
#include <setupapi.h>

// SetupAPI is asked when the search runs.
int PrefetchPresentDevices(void)
{
    return 0;
}

int DumpSystemDevices(const char *fileName)
{
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE);
    if (set == INVALID_HANDLE_VALUE)
        return 0; // the previous dump, if any, stays as it was
    FILE *f = FileOpenRegular(fileName, "w");
    HANDLE heap = GetProcessHeap();
    SP_DEVINFO_DATA device;
    // The size of this build's record: 28 bytes on 32-bit Windows, 32 on 64-bit.
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        BYTE *buffer = nullptr;
        DWORD size = 0;
        DWORD type = 0;
        BOOL named = FALSE;
        // Ask with the buffer we have; grow it to the size SetupAPI reports.
        while (!(named = SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, &type,
                                                           buffer, size, &size)) &&
               GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            if (buffer)
                HeapFree(heap, 0, buffer);
            buffer = static_cast<BYTE *>(HeapAlloc(heap, 0, size));
            if (!buffer)
                break;
        }
        // A device without a friendly name gets an empty line, which names
        // no COM port. The registry text need not end in NUL: bound it.
        const wchar_t *name = named && buffer ? reinterpret_cast<const wchar_t *>(buffer) : L"";
        size_t units = named && buffer ? wcsnlen(name, size / sizeof(wchar_t)) : 0;
        if (f)
            std::fprintf(f, "%s\n", WinUtf8OfWide(name, static_cast<int>(units)).c_str());
        if (buffer)
            HeapFree(heap, 0, buffer);
    }
    if (f)
        std::fclose(f);
    // Released whatever GetLastError says: keeping it would leak one set per search.
    SetupDiDestroyDeviceInfoList(set);
    return 0;
}
