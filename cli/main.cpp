// tovra-cli: reads and writes a Tovra device's BR1/BR2 from a script, with
// the window's Modbus core, communication log and port search.
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
        std::snprintf(error, sizeof error, "cannot write the log %s: %s", args.log, std::strerror(-r));
        return mf_Tovra_CLI__Fail(&args, nullptr, ciResultUsage, error, nullptr, 0.0);
    }
    if (args.verbose)
        mf_Tovra_CLI__Trace_on();
    int status = args.command->run(&args);
    mf_Tovra_Log__Close();
    return status;
}
