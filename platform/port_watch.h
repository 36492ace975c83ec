// Following serial ports that come and go, without polling: on Linux udev's
// events for the tty subsystem and the links that appear in or leave the
// port-map folder; on Windows the system's device notifications for the
// ports class. Nothing here opens, closes or probes a port.
#pragma once

// Called from the event loop, never inside a handler, once a burst of
// events has settled: within ciPortWatchSettleMs of the first event, then at
// most once per ciPortWatchSpacingMs while events keep coming. A call that
// is still waiting for a running handler takes the later events with it.
typedef void (*PortsChangedPtr)(void *data);

constexpr int ciPortWatchSettleMs = 50;   // the events of one plug come together
constexpr int ciPortWatchSpacingMs = 250; // the most a burst of events costs

// Starts following (again, with a new callback, when called again);
// TOVRA_PORT_EVENTS=0 in the environment turns it off. With
// TOVRA_PORTS_ONLY=1 only the port-map folder is followed: the computer's
// own ports are not listed, so their events change nothing. Returns 0, or
// -1 when no source of events could be followed (the list then changes only
// when searched).
int WatchPorts(PortsChangedPtr fn, void *data);
// Stops following; harmless when not following.
void UnwatchPorts(void);

// The Windows source, free of Qt (checked under Wine on its own): a
// message-only window registered for the ports class's device
// notifications; `note` is called from the thread's message dispatch for
// every arrival and removal. 0, or -1 when the window or the registration
// failed.
typedef void (*PortNotePtr)(void);
int WatchPortNotifications(PortNotePtr note);
void UnwatchPortNotifications(void);
