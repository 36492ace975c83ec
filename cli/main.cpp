// tovra-cli: reads and writes a Tovra device's BR1/BR2 from a script, with
// the window's Modbus core, communication log and port search.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/version.h"
#include "cli/cli.h"
#include "log/log.h"
#include "platform/ui.h"

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tovra-cli %s\n", caTovra_Version);
        return 0;
    }
    CliArgs args;
    char error[ciCli_PathSize + 256];
    if (mf_Tovra_CLI__Parse(argc, argv, &args, error, sizeof error) != 0)
        return mf_Tovra_CLI__Fail(&args, nullptr, ciResultUsage, error, nullptr, 0.0);
    if (args.help) {
        mf_Tovra_CLI__Usage(args.command, stdout);
        return 0;
    }
    UiInit(&argc, argv);
    // Without --log nothing is logged, and no switch file appears in the current folder.
    if (int r = mf_Tovra_Log__To(args.log); r < 0) {
        std::snprintf(error, sizeof error, "cannot write the log %s: %s%s", args.log, std::strerror(-r),
                      r == -ENXIO ? " (a FIFO with no reader: start its reader first)" : "");
        return mf_Tovra_CLI__Fail(&args, nullptr, ciResultUsage, error, nullptr, 0.0);
    }
    if (args.verbose)
        mf_Tovra_CLI__Trace_on();
    int status = args.command->run(&args);
    mf_Tovra_Log__Close();
    // The command has run; a log that failed on the way misses its end.
    if (int failed = mf_Tovra_Log__Failed()) {
        std::fprintf(stderr, "tovra-cli: the log %s could not be written from some point on: %s; "
                             "its lines stop there\n",
                     args.log, std::strerror(failed));
        return status ? status : ciExitUsage;
    }
    return status;
}
