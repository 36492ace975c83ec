// tovra-cli: reads and writes a Tovra device's BR1/BR2 from a script, with
// the window's Modbus core, communication log and port search.
#include <cerrno>
#include <cstring>

#include "cli/cli.h"
#include "log/log.h"
#include "platform/ui.h"

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tovra-cli %s\n", TOVRA_VERSION);
        return 0;
    }
    CliArgs args;
    char error[256];
    int status = mf_Tovra_CLI__Parse(argc, argv, &args, error, sizeof error);
    if (status != 0) {
        std::fprintf(stderr, "tovra-cli: %s\n", error);
        mf_Tovra_CLI__Synopsis(args.command, stderr);
        std::fprintf(stderr, "Try 'tovra-cli %s%s--help'.\n", args.command ? args.command->name : "",
                     args.command ? " " : "");
        return status;
    }
    if (args.help) {
        mf_Tovra_CLI__Usage(args.command, stdout);
        return 0;
    }
    UiInit(&argc, argv);
    // Without --log nothing is logged, and no switch file appears in the current folder.
    if (mf_Tovra_Log__To(args.log) < 0) {
        std::fprintf(stderr, "tovra-cli: cannot write the log %s: %s\n", args.log, std::strerror(errno));
        return ciExitUsage;
    }
    status = args.command->run(&args);
    mf_Tovra_Log__Close();
    return status;
}
