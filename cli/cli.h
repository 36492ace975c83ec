// tovra-cli: the device's own jobs from a script. One command per run:
// `ports`, `read`, `test-read`, `write` or `find`, each through the window's
// own modules (the port search, the Modbus core, the BR1/BR2 steps, the
// communication log).
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

// Failures of tovra-cli itself, numbered apart from the results of the
// port and the exchange (0 or negative).
constexpr int ciResultLocal = 1;  // a folder of its own could not be used
constexpr int ciResultVerify = 2; // the read-back differs
constexpr int ciResultUsage = 3;  // bad arguments, or a log that cannot be written

constexpr int ciCli_PathSize = 4096;
constexpr int ciCli_RegisterMax = 125; // the Modbus limit of one read

struct CliCommand;

// Everything the command line says, checked against the command's options.
struct CliArgs {
    const CliCommand *command;
    UMB_dev line;          // the COM port and line settings; COMx 0 without --com
    char port[ciCli_PathSize]; // --port: the device path made absolute, "" without
    long br[ciBR_count];   // write: the new baud rates, 0 when not given
    int commit;            // write: send the EEPROM command
    int raw;               // read: also the register values
    long address;          // read --register: the first register, -1 without
    int count;             // read --register: how many
    int full;              // find: the slave-ID sweep when nothing answers
    double timeout;        // reply time limit, seconds
    int retries;           // further attempts after a lost or garbled reply
    int echo;              // the adapter echoes each request
    int rs485;             // the kernel's RS-485 direction control
    int verbose;           // -v: every frame on stderr as it goes
    int limit;             // find: a probe's wait beyond the frames, ms; 0 the default
    int json;              // one JSON object on stdout instead of text
    int help;
    const char *log;       // --log FILE, or nullptr
    const char *files;     // ports: --files DIR, or nullptr
    int watch;             // ports: follow the ports after the list
};

typedef int (*CliRunPtr)(const CliArgs *args);

constexpr int ciCli_Needs = 2;

// One command: its name, what it does, its options (a mask of option bits),
// and groups of options of which it needs one each.
struct CliCommand {
    const char *name;
    const char *synopsis; // after "usage: tovra-cli "
    const char *summary;
    unsigned options;
    unsigned needs[ciCli_Needs];
    CliRunPtr run;
};

extern const CliCommand caCli_Commands[];
extern const int ciCli_CommandCount;

// Parses argv[1..argc-1]. 0, or ciExitUsage with the reason in error. The
// command is set as soon as it is known, also on failure (for its usage),
// and json as soon as --json is among the arguments.
int mf_Tovra_CLI__Parse(int argc, char **argv, CliArgs *args, char *error, size_t size);
// The name of the parser's i-th option ("--com"), nullptr past the last.
const char *mf_Tovra_CLI__Option_name(int i);
// The usage text of a command, or of the program for nullptr.
void mf_Tovra_CLI__Usage(const CliCommand *command, FILE *out);
// The synopsis line alone ("usage: tovra-cli read --com N [options]").
void mf_Tovra_CLI__Synopsis(const CliCommand *command, FILE *out);

// ---- Output (cli_out.cpp)
// A JSON string: quotes, backslashes and control characters escaped; UTF-8
// as it is; a byte that is not UTF-8 as the escape \udcXX (Python's
// surrogateescape), so the output is valid UTF-8 and the bytes can be had back.
void mf_Tovra_CLI__Json_string(FILE *out, const char *text);
// The opening of every JSON object: {"command":"read","ok":true,"com":200
void mf_Tovra_CLI__Json_head(const CliArgs *args, bool ok);
// Reports a failure ("read BR1, BR2: no reply within ...", then `more` when
// given): in words on stderr, and with --json as the object on stdout. `text`
// replaces the words of the result's class (and is needed for tovra-cli's own
// failures); `limit` is the reply time limit the words name. A usage failure
// adds the command's synopsis. Returns the exit status.
int mf_Tovra_CLI__Fail(const CliArgs *args, const char *step, int result, const char *text,
                       const char *more, double limit);
// One frame of the live trace: "12:04:31.207 rx 01 03 04 00 03 00 03 4a 32",
// with what was wrong with a failed reply. `msOfDay` is the local time in
// milliseconds since midnight. Bounded by size.
void mf_Tovra_CLI__Trace_text(long msOfDay, int kind, const unsigned char *bytes, int n,
                              int result, char *text, size_t size);
// Sends every frame of the exchanges to stderr from now on (-v).
void mf_Tovra_CLI__Trace_on(void);

// ---- The commands (cli_cmd.cpp)
int mf_Tovra_CLI__Ports(const CliArgs *args);
int mf_Tovra_CLI__Read(const CliArgs *args);
int mf_Tovra_CLI__Test_Read(const CliArgs *args);
int mf_Tovra_CLI__Write(const CliArgs *args);
int mf_Tovra_CLI__Find(const CliArgs *args);
