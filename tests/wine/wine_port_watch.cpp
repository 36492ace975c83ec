// Following ports on Windows: the message-only window registered for the
// COM-port notifications, and what its window procedure makes of the
// messages the thread's dispatch delivers. Wine announces no COM port of
// its own, so the messages are sent to the window here.
#include "platform/port_watch.h"
#include "tests/wine/wine_check.h"

#include <windows.h>
#include <dbt.h>

namespace {

int giNotes = 0;

void Note()
{
    ++giNotes;
}

HWND Window()
{
    return FindWindowExW(HWND_MESSAGE, nullptr, L"TovraPortWatch", nullptr);
}

// Sends the message as the system sends it (these carry a pointer, so they
// are sent, never posted), with the record of the COM-port interface.
int NotesAfter(WPARAM event)
{
    giNotes = 0;
    DEV_BROADCAST_DEVICEINTERFACE_W record = {};
    record.dbcc_size = sizeof record;
    record.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    SendMessageW(Window(), WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&record));
    return giNotes;
}

} // namespace

int main()
{
    WineCheck(WatchPortNotifications(Note) == 0 && Window() != nullptr,
              "port events: a message-only window registers for the COM-port notifications");
    WineCheck(NotesAfter(DBT_DEVICEARRIVAL) == 1, "port events: an arrival calls back once");
    WineCheck(NotesAfter(DBT_DEVICEREMOVECOMPLETE) == 1, "port events: a removal calls back once");
    WineCheck(NotesAfter(DBT_DEVNODES_CHANGED) == 0, "port events: other device messages call nothing");
    WineCheck(WatchPortNotifications(Note) == 0 && Window() != nullptr,
              "port events: a second start replaces the first");
    UnwatchPortNotifications();
    WineCheck(Window() == nullptr, "port events: stopping removes the window");
    return giWineFailed ? 1 : 0;
}
