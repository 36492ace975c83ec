// tovra-cli: the device's own jobs from a script. One command per run:
// `ports`, `read`, `write` or `find`, each through the window's own modules (the
// port search, the Modbus core, the BR1/BR2 steps, the communication log).
#pragma once

#include <cstddef>
#include <cstdio>

#include "app/Tovra_BR.h"
#include "serial/UART_MB.h"

// Exit statuses, one per class of failure; the README lists them.
enum {
    ciExitOK = 0,
    ciExitOther = 1,     // a local failure: no temporary folder, ...
    ciExitUsage = 2,     // bad arguments: a usage message on stderr
    ciExitPort = 3,      // the port could not be opened, or failed
    ciExitNoReply = 4,   // the device did not answer
    ciExitBadReply = 5,  // an answer with a wrong checksum or length, or not to the request
    ciExitException = 6, // the device refused the request
    ciExitVerify = 7,    // write: the read-back differs from what was written
};

struct CliCommand;

// Everything the command line says, checked against the command's options.
struct CliArgs {
    const CliCommand *command;
    UMB_dev line;          // the port and line settings; COMx 0 until --com
    long br[ciBR_count];   // write: the new baud rates, 0 when not given
    int commit;            // write: send the EEPROM command
    int raw;               // read: also the register values
    int full;              // find: the slave-ID sweep when nothing answers
    int limit;             // find: a probe's wait beyond the frames, ms; 0 the default
    int json;              // one JSON object on stdout instead of text
    int help;
    const char *log;       // --log FILE, or nullptr
    const char *files;     // ports: --files DIR, or nullptr
};

typedef int (*CliRunPtr)(const CliArgs *args);

// One command: its name, what it does, its options (a mask of option bits),
// the options it cannot do without, and those of which it needs one.
struct CliCommand {
    const char *name;
    const char *synopsis; // after "usage: tovra-cli "
    const char *summary;
    unsigned options;
    unsigned required;
    unsigned oneOf;
    CliRunPtr run;
};

extern const CliCommand caCli_Commands[];
extern const int ciCli_CommandCount;

// Parses argv[1..argc-1]. 0, or ciExitUsage with the reason in error. The
// command is set as soon as it is known, also on failure (for its usage).
int mf_Tovra_CLI__Parse(int argc, char **argv, CliArgs *args, char *error, size_t size);
// The usage text of a command, or of the program for nullptr.
void mf_Tovra_CLI__Usage(const CliCommand *command, FILE *out);
// The synopsis line alone ("usage: tovra-cli read --com N [options]").
void mf_Tovra_CLI__Synopsis(const CliCommand *command, FILE *out);

// The commands.
int mf_Tovra_CLI__Ports(const CliArgs *args);
int mf_Tovra_CLI__Read(const CliArgs *args);
int mf_Tovra_CLI__Write(const CliArgs *args);
int mf_Tovra_CLI__Find(const CliArgs *args);
