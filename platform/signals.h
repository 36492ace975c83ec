// Termination signals end the program in order: SIGTERM, SIGINT and SIGHUP
// run the program's own ending from the event loop, so main returns normally.
#pragma once

// Arms the handlers: each of the signals calls `action` from the event loop
// (call after UiInit; call again to re-arm or to change the action). A
// signal that comes before the event loop runs is acted on once it runs. A
// second signal of the same kind ends the process at once, should the
// program not end.
typedef void (*SignalActionPtr)(void);
int OnTerminationSignal(SignalActionPtr action);

// The window's action: close its windows as their close boxes do, so the
// program's own close handling runs.
int CloseOnTerminationSignal(void);
