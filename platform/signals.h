// Termination signals end the program in order: SIGTERM, SIGINT and SIGHUP
// close its windows as their close boxes do, from the event loop, so the
// program's own close handling runs and main returns normally.
#pragma once

// Arms the handlers (call after UiInit; call again to re-arm). A signal that
// comes before the event loop runs is acted on once it runs. A second signal
// of the same kind ends the process at once, should the program not close.
int CloseOnTerminationSignal(void);
