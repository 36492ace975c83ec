// Port events on Windows: a message-only window registered for the device
// notifications of the COM-port interface class. The system sends it
// WM_DEVICECHANGE when a port arrives or is removed; the thread's message
// dispatch (Qt's event loop) delivers it to the window procedure here.
#include "platform/port_watch.h"

#ifdef _WIN32

#include <windows.h>
#include <dbt.h>

namespace {

// GUID_DEVINTERFACE_COMPORT, the interface every COM port registers (its
// header, ntddser.h, needs the driver kit's types).
constexpr GUID caComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0,
                                     {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

constexpr const wchar_t *caWindowClass = L"TovraPortWatch";

HWND gvWindow = nullptr;
HDEVNOTIFY gvNotify = nullptr;
PortNotePtr gpNote = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE &&
        (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) && gpNote) {
        gpNote();
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WatchPortNotifications(PortNotePtr note)
{
    UnwatchPortNotifications();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW cls = {};
    cls.lpfnWndProc = WindowProc;
    cls.hInstance = instance;
    cls.lpszClassName = caWindowClass;
    // A second registration fails with ERROR_CLASS_ALREADY_EXISTS: the class stays valid.
    if (!RegisterClassW(&cls) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return -1;
    gvWindow = CreateWindowExW(0, caWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               instance, nullptr);
    if (!gvWindow)
        return -1;
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = caComPortInterface;
    gvNotify = RegisterDeviceNotificationW(gvWindow, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!gvNotify) {
        UnwatchPortNotifications();
        return -1;
    }
    gpNote = note;
    return 0;
}

void UnwatchPortNotifications(void)
{
    if (gvNotify)
        UnregisterDeviceNotification(gvNotify);
    if (gvWindow)
        DestroyWindow(gvWindow);
    gvNotify = nullptr;
    gvWindow = nullptr;
    gpNote = nullptr;
}

#endif
