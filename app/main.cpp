// Tovra COMM: configures the baud-rate settings of a Tovra device over Modbus RTU.
#include "app/Tovra_main.h"
#include "platform/devices.h"
#include "platform/signals.h"

int main(int argc, char **argv)
{
    UiInit(&argc, argv);
    PrefetchPresentDevices(); // the port search's slowest part overlaps loading the window
    CloseOnTerminationSignal(); // SIGTERM, SIGINT, SIGHUP end the program as the close box does
    if (mf_APP_Tovra__init() < 0)
        return 1;
    RunUserInterface();
    return 0;
}
