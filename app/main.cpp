// Tovra COMM: configures the baud-rate settings of a Tovra device over Modbus RTU.
#include <cstdio>
#include <cstring>

#include "app/Tovra_main.h"
#include "platform/devices.h"
#include "platform/signals.h"

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tovra-comm %s\n", TOVRA_VERSION);
        return 0;
    }
    // Qt would abort with its own message and status 134.
    if (const char *why = UiNoDisplay()) {
        std::fprintf(stderr, "tovra-comm: %s\n", why);
        return 1;
    }
    UiInit(&argc, argv);
    PrefetchPresentDevices(); // the port search's slowest part overlaps loading the window
    CloseOnTerminationSignal(); // SIGTERM, SIGINT, SIGHUP end the program as the close box does
    if (int r = mf_APP_Tovra__init(); r != 0)
        return r == ciAPP_Forwarded ? 0 : 1;
    RunUserInterface();
    return 0;
}
