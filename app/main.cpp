// Tovra COMM: configures the baud-rate settings of a Tovra device over Modbus RTU.
#include <cstdio>
#include <cstring>

#include "app/Tovra_main.h"
#include "app/version.h"
#include "platform/devices.h"
#include "platform/signals.h"

namespace {

// What `--help` prints (and the manual page tovra-comm(1) shows).
constexpr const char *caUsage =
    "Usage: tovra-comm [--help | --version]\n"
    "\n"
    "Reads and writes the two baud rates of a Tovra device, BR1 and BR2, over its\n"
    "serial line (Modbus RTU) in a window, and stores them in the device's EEPROM.\n"
    "It keeps its files in the current folder: the communication log\n"
    "log___main.txt, the log switch YN_log_main.txt, the language lang.txt.\n"
    "\n"
    "Options:\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Environment:\n"
    "  TOVRA_PORTS_DIR   the port map, links named COMn (default ~/.config/tovra/ports)\n"
    "  TOVRA_PORTS_ONLY  1: the port search lists the port map's links only\n"
    "  TOVRA_VIEWER      the program F3 shows the log with (default xdg-open)\n"
    "  DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM\n"
    "                    where the window shows; without any, the program ends\n";

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(caUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tovra-comm %s\n", caTovra_Version);
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
