// Tovra COMM: configures the baud-rate settings of a Tovra device over Modbus RTU.
#include "app/Tovra_main.h"
#include "platform/signals.h"

int main(int argc, char **argv)
{
    UiInit(&argc, argv);
    CloseOnTerminationSignal(); // SIGTERM, SIGINT, SIGHUP end the program as the close box does
    if (mf_APP_Tovra__init() < 0)
        return 1;
    RunUserInterface();
    return 0;
}
