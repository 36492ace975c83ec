// The command line: one table of commands, one of options, the parser and
// the usage texts made from them. A command added to the table (with its
// options) is parsed, checked and documented like the others.
#include "cli/cli.h"

#include <charconv>
#include <iterator>
#include <cstring>

#include "log/log.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "serial/UMB_port.h"

namespace {

// One bit per option; a command's mask says which it takes.
enum : unsigned {
    ciOptCom = 1u << 0,
    ciOptBaud = 1u << 1,
    ciOptParity = 1u << 2,
    ciOptData = 1u << 3,
    ciOptStop = 1u << 4,
    ciOptId = 1u << 5,
    ciOptRaw = 1u << 6,
    ciOptBR1 = 1u << 7,
    ciOptBR2 = 1u << 8,
    ciOptNoCommit = 1u << 9,
    ciOptFiles = 1u << 10,
    ciOptJson = 1u << 11,
    ciOptLog = 1u << 12,
    ciOptHelp = 1u << 13,
    ciOptFull = 1u << 14,
    ciOptPort = 1u << 15,
    ciOptTimeout = 1u << 16,
    ciOptRetries = 1u << 17,
    ciOptEcho = 1u << 18,
    ciOptRS485 = 1u << 19,
    ciOptVerbose = 1u << 20,
    ciOptRegister = 1u << 21,
    ciOptCount = 1u << 22,
    ciOptLimit = 1u << 23,
    ciOptWatch = 1u << 24,
};
constexpr unsigned ciOptAll = ciOptJson | ciOptLog | ciOptHelp;
// The port and line settings, and how exchanges go on it.
constexpr unsigned ciOptLine = ciOptCom | ciOptPort | ciOptBaud | ciOptParity | ciOptData | ciOptStop |
                               ciOptId | ciOptTimeout | ciOptRetries | ciOptEcho | ciOptRS485 |
                               ciOptVerbose;

// Sets an option from its value (nullptr for a flag); 0, or -1 with the
// reason in error.
typedef int (*CliSetPtr)(CliArgs *a, const char *value, char *error, size_t size);

struct CliOption {
    const char *name;
    const char *meta; // the value's placeholder; nullptr for a flag
    unsigned bit;
    CliSetPtr set;
    const char *help;
};

// Parity letters in the order of the parity codes 0..4.
constexpr char caParity[] = "NOEMS";

// A whole number: decimal, or hexadecimal after "0x".
bool fn_number(const char *text, long min, long max, long *value)
{
    int base = text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 16 : 10;
    const char *first = base == 16 ? text + 2 : text;
    const char *end = text + std::strlen(text);
    auto [last, ec] = std::from_chars(first, end, *value, base);
    return ec == std::errc() && last == end && last != first && *value >= min && *value <= max;
}

int fn_bad(char *error, size_t size, const char *name, const char *value, const char *expected)
{
    std::snprintf(error, size, "%s '%s': expected %s", name, value, expected);
    return -1;
}

// A baud rate of the device's table, else the reason with the valid ones.
int fn_baud(const char *name, const char *value, long *baud, char *error, size_t size)
{
    long v = 0;
    if (fn_number(value, 1, 10000000, &v) && mf_Tovra_BR__Index(v) >= 0) {
        *baud = v;
        return 0;
    }
    int n = std::snprintf(error, size, "%s '%s' is not a baud rate of the device; valid:", name, value);
    for (int i = 0; i < ciBR_dev_count && n > 0 && static_cast<size_t>(n) < size; ++i)
        n += std::snprintf(error + n, size - static_cast<size_t>(n), " %ld", caBR_dev[i]);
    return -1;
}

int fn_set_com(CliArgs *a, const char *value, char *error, size_t size)
{
    long v = 0;
    if (!fn_number(value, 1, 256, &v))
        return fn_bad(error, size, "--com", value, "a COM port number, 1..256");
    a->line.COMx = static_cast<int32_t>(v);
    return 0;
}

// Made absolute now, byte for byte: the port-map folder and the current
// folder play no part in a device path.
int fn_set_port(CliArgs *a, const char *value, char *error, size_t size)
{
    if (!*value)
        return fn_bad(error, size, "--port", value, "a device path");
    if (GetFullPathFromCurrentDir(value, a->port, sizeof a->port) != 0) {
        std::snprintf(error, size, "--port: the path is too long");
        return -1;
    }
    return 0;
}

int fn_set_baud(CliArgs *a, const char *value, char *error, size_t size)
{
    long v = 0;
    if (fn_baud("--baud", value, &v, error, size) < 0)
        return -1;
    a->line.BR = static_cast<int32_t>(v);
    return 0;
}

int fn_set_parity(CliArgs *a, const char *value, char *error, size_t size)
{
    const char *p = value[0] && !value[1] ? std::strchr(caParity, value[0] & ~0x20) : nullptr;
    if (!p || !*p)
        return fn_bad(error, size, "--parity", value, "N, O, E, M or S");
    a->line.PARITY = static_cast<int32_t>(p - caParity);
    return 0;
}

int fn_set_data(CliArgs *a, const char *value, char *error, size_t size)
{
    long v = 0;
    if (!fn_number(value, 7, 8, &v))
        return fn_bad(error, size, "--data", value, "7 or 8");
    a->line.DATA = static_cast<int32_t>(v);
    return 0;
}

int fn_set_stop(CliArgs *a, const char *value, char *error, size_t size)
{
    long v = 0;
    if (!fn_number(value, 1, 2, &v))
        return fn_bad(error, size, "--stop", value, "1 or 2");
    a->line.STOP = static_cast<int32_t>(v);
    return 0;
}

int fn_set_id(CliArgs *a, const char *value, char *error, size_t size)
{
    long v = 0;
    if (!fn_number(value, 1, 247, &v))
        return fn_bad(error, size, "--id", value, "a slave ID, 1..247");
    a->line.ID = static_cast<int32_t>(v);
    return 0;
}

int fn_set_br1(CliArgs *a, const char *value, char *error, size_t size)
{
    return fn_baud("--br1", value, &a->br[0], error, size);
}

int fn_set_br2(CliArgs *a, const char *value, char *error, size_t size)
{
    return fn_baud("--br2", value, &a->br[1], error, size);
}

int fn_set_timeout(CliArgs *a, const char *value, char *error, size_t size)
{
    const char *end = value + std::strlen(value);
    double v = 0.0;
    auto [last, ec] = std::from_chars(value, end, v);
    if (ec != std::errc() || last != end || last == value || !(v >= 0.001 && v <= 60.0))
        return fn_bad(error, size, "--timeout", value, "seconds, 0.001..60");
    a->timeout = v;
    return 0;
}

int fn_set_retries(CliArgs *a, const char *value, char *error, size_t size)
{
    long v = 0;
    if (!fn_number(value, 0, 100, &v))
        return fn_bad(error, size, "--retries", value, "0..100");
    a->retries = static_cast<int>(v);
    return 0;
}

int fn_set_register(CliArgs *a, const char *value, char *error, size_t size)
{
    if (!fn_number(value, 0, 0xFFFF, &a->address))
        return fn_bad(error, size, "--register", value, "an address, 0..65535 or 0x0000..0xffff");
    return 0;
}

int fn_set_count(CliArgs *a, const char *value, char *error, size_t size)
{
    long v = 0;
    if (!fn_number(value, 1, ciCli_RegisterMax, &v))
        return fn_bad(error, size, "--count", value, "1..125");
    a->count = static_cast<int>(v);
    return 0;
}

constexpr CliOption caOptions[] = {
    {"--com", "N", ciOptCom, fn_set_com, "the COM port of the device, 1..256"},
    {"--port", "PATH", ciOptPort, fn_set_port,
     "the device by its path instead (/dev/serial/by-id/..., /dev/ttyUSB0)"},
    {"--baud", "B", ciOptBaud, fn_set_baud, "line speed, a baud rate of the table below (default 9600)"},
    {"--parity", "P", ciOptParity, fn_set_parity, "N none, O odd, E even, M mark, S space (default N)"},
    {"--data", "D", ciOptData, fn_set_data, "data bits, 7 or 8 (default 8)"},
    {"--stop", "S", ciOptStop, fn_set_stop, "stop bits, 1 or 2 (default 1)"},
    {"--id", "ID", ciOptId, fn_set_id, "Modbus slave ID, 1..247 (default 1)"},
    {"--timeout", "SECONDS", ciOptTimeout, fn_set_timeout,
     "how long the device may take to answer (default 0.2), beyond\n"
     "                     both frames' time on the wire; the EEPROM command is\n"
     "                     given 0.5 s more, as the device stores first"},
    {"--retries", "N", ciOptRetries, fn_set_retries,
     "send a request again after a lost or garbled reply, up to N\n"
     "                     times (default 0); each retry is logged"},
    {"--echo", nullptr, ciOptEcho,
     [](CliArgs *a, const char *, char *, size_t) { return a->echo = 1, 0; },
     "the adapter echoes what it sends (two-wire RS-485 without\n"
     "                     echo suppression): read the echo and drop it"},
    {"--rs485", nullptr, ciOptRS485,
     [](CliArgs *a, const char *, char *, size_t) { return a->rs485 = 1, 0; },
     "turn on the driver's RS-485 mode (RTS high while sending)"},
    {"-v", nullptr, ciOptVerbose,
     [](CliArgs *a, const char *, char *, size_t) { return a->verbose = 1, 0; },
     "trace every frame sent and received on stderr, with the time"},
    {"--raw", nullptr, ciOptRaw,
     [](CliArgs *a, const char *, char *, size_t) { return a->raw = 1, 0; },
     "also print the register values (BR1_raw=5)"},
    {"--register", "ADDR", ciOptRegister, fn_set_register,
     "read holding registers from ADDR (decimal, or hex with 0x)\n"
     "                     instead of BR1 and BR2: one ADDR=VALUE line each"},
    {"--count", "N", ciOptCount, fn_set_count, "with --register: how many, 1..125 (default 1)"},
    {"--br1", "B", ciOptBR1, fn_set_br1, "the new BR1, a baud rate of the table below"},
    {"--br2", "B", ciOptBR2, fn_set_br2, "the new BR2, a baud rate of the table below"},
    {"--no-commit", nullptr, ciOptNoCommit,
     [](CliArgs *a, const char *, char *, size_t) { return a->commit = 0, 0; },
     "write and verify, but send no EEPROM command: the device\n"
     "                     forgets the values at its next start"},
    {"--full", nullptr, ciOptFull,
     [](CliArgs *a, const char *, char *, size_t) { return a->full = 1, 0; },
     "when nothing answers, try every slave ID 1..247 at the line\n"
     "                     settings given and where something garbled answered\n"
     "                     (slow: about 20 s per setting)"},
    {"--limit", "MS", ciOptLimit,
     [](CliArgs *a, const char *v, char *e, size_t n) {
         long ms = 0;
         if (!fn_number(v, 1, 5000, &ms))
             return fn_bad(e, n, "--limit", v, "milliseconds, 1..5000");
         return a->limit = static_cast<int>(ms), 0;
     },
     "how long a probe waits for the device beyond the frames'\n"
     "                     time on the wire (default 80): raise it for a slow device"},
    {"--files", "DIR", ciOptFiles,
     [](CliArgs *a, const char *v, char *, size_t) { return a->files = v, 0; },
     "write the search's files into DIR and keep them (default: a\n"
     "                     private temporary folder, removed afterwards)"},
    {"--watch", nullptr, ciOptWatch,
     [](CliArgs *a, const char *, char *, size_t) { return a->watch = 1, 0; },
     "after the list, one line per port that comes (+) or goes (-), until\n"
     "                     interrupted (exit 0 on SIGINT or SIGTERM)"},
    {"--json", nullptr, ciOptJson,
     [](CliArgs *a, const char *, char *, size_t) { return a->json = 1, 0; },
     "print one JSON object on stdout instead of text"},
    {"--log", "FILE", ciOptLog,
     [](CliArgs *a, const char *v, char *, size_t) { return a->log = v, 0; },
     "append the communication log (frame trace, diagnosis) to FILE;\n"
     "                     - for standard output"},
    {"--help", nullptr, ciOptHelp,
     [](CliArgs *a, const char *, char *, size_t) { return a->help = 1, 0; },
     "show this text"},
};

// Options that exclude each other, and options that need another.
struct CliClash {
    unsigned given;
    unsigned with;    // a clash when given too; when absent for needsOne
    bool needsOne;
    const char *text;
};

constexpr CliClash caClashes[] = {
    {ciOptCom, ciOptPort, false, "--com and --port both name the port: give one"},
    {ciOptCount, ciOptRegister, true, "--count needs --register"},
    {ciOptRaw, ciOptRegister, false, "--raw is for BR1 and BR2, not for --register"},
};

// What each exit status means, for the usage texts (the README lists the same).
constexpr const char *caExitText =
    "Exit status: 0 done; 1 local failure; 2 bad arguments or a log that cannot be\n"
    "written; 3 port failure (absent, busy, no permission, lost, no RS-485 mode);\n"
    "4 no reply; 5 bad reply (checksum, length, echo, or from another slave,\n"
    "function or byte count); 6 the device refused (Modbus exception); 7 write:\n"
    "the read-back differs.\n"
    "find: 4 when nothing or only late replies answered, 5 when garbled replies,\n"
    "replies of another slave ID or replies a second read did not confirm came.\n";

const CliOption *fn_option(const char *name, size_t length)
{
    for (const CliOption &o : caOptions)
        if (std::strlen(o.name) == length && std::strncmp(o.name, name, length) == 0)
            return &o;
    return nullptr;
}

const CliCommand *fn_command(const char *name)
{
    for (int i = 0; i < ciCli_CommandCount; ++i)
        if (std::strcmp(caCli_Commands[i].name, name) == 0)
            return &caCli_Commands[i];
    return nullptr;
}

// The names of the options of `mask`, as "--br1 or --br2".
void fn_names(unsigned mask, char *text, size_t size)
{
    text[0] = '\0';
    size_t n = 0;
    for (const CliOption &o : caOptions)
        if ((mask & o.bit) && n < size)
            n += static_cast<size_t>(std::snprintf(text + n, size - n, "%s%s", n ? " or " : "", o.name));
}

// Checks what was given against the command's needs and the clashes.
int fn_check(const CliArgs *a, unsigned given, char *error, size_t size)
{
    for (unsigned need : a->command->needs)
        if (need && !(given & need)) {
            char names[128];
            fn_names(need, names, sizeof names);
            std::snprintf(error, size, "%s needs %s", a->command->name, names);
            return ciExitUsage;
        }
    for (const CliClash &c : caClashes)
        if ((given & c.given) && (c.needsOne ? !(given & c.with) : (given & c.with) != 0)) {
            std::snprintf(error, size, "%s", c.text);
            return ciExitUsage;
        }
    if (a->address + a->count - 1 > 0xFFFF) {
        std::snprintf(error, size, "--register 0x%04lx --count %d runs past register 0xffff",
                      a->address, a->count);
        return ciExitUsage;
    }
    if (a->json && a->log && mf_Tovra_Log__Standard(a->log) == stdout) {
        std::snprintf(error, size, "--log %s and --json both write to standard output", a->log);
        return ciExitUsage;
    }
    return 0;
}

} // namespace

const CliCommand caCli_Commands[] = {
    {"ports", "ports [--watch] [--files DIR] [--json] [--log FILE]",
     "Searches the serial ports as the window's port list does (Prolific adapters\n"
     "first, ports held by another program left out) and prints one line per\n"
     "free port: COM number, device path, friendly name, separated by tabs. Ports\n"
     "you may not open follow, marked \"no permission\" (JSON: \"permission\":false).\n"
     "No port: nothing on stdout, a hint on stderr, exit 0.\n"
     "--watch then follows the ports as the window's list does, opening none:\n"
     "+ COM33 Prolific USB-Serial Controller [ttyUSB0] (COM33)   when one comes,\n"
     "- COM33 Prolific USB-Serial Controller [ttyUSB0] (COM33)   when it goes\n"
     "(JSON: one object a line, \"event\":\"add\" or \"remove\").\n"
     "TOVRA_PORTS_ONLY=1 lists the port map's links only.",
     ciOptFiles | ciOptWatch | ciOptAll, {0, 0}, mf_Tovra_CLI__Ports},
    {"read", "read --com N|--port PATH [--raw | --register ADDR [--count N]]\n"
             "                 [--baud B --parity P --data D --stop S --id ID]\n"
             "                 [--timeout SECONDS --retries N --echo --rs485 -v]",
     "Reads BR1 and BR2 from the device and prints them: BR1=38400 BR2=115200\n"
     "With --register, reads holding registers: 0x1101=3, one line each.",
     ciOptLine | ciOptRaw | ciOptRegister | ciOptCount | ciOptAll, {ciOptCom | ciOptPort, 0},
     mf_Tovra_CLI__Read},
    {"test-read", "test-read --com N|--port PATH [line settings as read]",
     "Reads holding register 0, as the window's Test read does, and prints it as\n"
     "the window shows it: addr=0x0000, data=21590",
     ciOptLine | ciOptAll, {ciOptCom | ciOptPort, 0}, mf_Tovra_CLI__Test_Read},
    {"write", "write --com N|--port PATH [--br1 B] [--br2 B] [--no-commit]\n"
              "                 [line settings as read]",
     "Writes BR1 and/or BR2, stores them with the EEPROM command, reads them back\n"
     "and checks them; prints the values read back, as read does. Exit 0 only\n"
     "when the read-back matches. A failed step sends nothing after it.",
     ciOptLine | ciOptBR1 | ciOptBR2 | ciOptNoCommit | ciOptAll,
     {ciOptCom | ciOptPort, ciOptBR1 | ciOptBR2}, mf_Tovra_CLI__Write},
    {"find", "find --com N|--port PATH [--full] [--baud B --parity P --stop S --id ID]\n"
             "                 [--limit MS --echo]",
     "Finds the line settings and slave ID at which the device answers: the 48\n"
     "settings of every baud rate of the table below, parity N/E/O, 1 or 2 stop\n"
     "bits (8 data bits), the ones given first, each with the slave ID given and\n"
     "ID 1. An answer counts once a second read after a quiet line, of BR1 and\n"
     "BR2, is answered normally by the same slave. An echoing adapter is found\n"
     "at the first probe and the search goes on without the echo (--echo: known).\n"
     "Prints what answered: COM=5 BAUD=38400 PARITY=E DATA=8 STOP=1 ID=7\n"
     "(and ECHO=1 when the adapter echoes: give --echo to the other commands)",
     ciOptCom | ciOptPort | ciOptBaud | ciOptParity | ciOptStop | ciOptId | ciOptFull | ciOptLimit |
         ciOptEcho | ciOptAll,
     {ciOptCom | ciOptPort, 0}, mf_Tovra_CLI__Find},
};
const int ciCli_CommandCount = sizeof caCli_Commands / sizeof caCli_Commands[0];

int mf_Tovra_CLI__Parse(int argc, char **argv, CliArgs *a, char *error, size_t size)
{
    *a = {};
    a->line = {0, 9600, 8, kParityNone, 1, 1};
    a->commit = 1;
    a->address = -1;
    a->count = 1;
    a->timeout = cdComTime;
    error[0] = '\0';
    // Known before anything can fail, so that every failure is one JSON object.
    bool help = false;
    for (int i = 1; i < argc; ++i) {
        a->json |= std::strcmp(argv[i], "--json") == 0;
        help |= std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0;
    }
    // The command is the first word that is neither an option nor an
    // option's value, so options may stand before it as well as after.
    int at = 1;
    while (at < argc && argv[at][0] == '-') {
        const char *equals = std::strchr(argv[at], '=');
        size_t length = equals ? static_cast<size_t>(equals - argv[at]) : std::strlen(argv[at]);
        const CliOption *o = fn_option(argv[at], length);
        at += o && o->meta && !equals ? 2 : 1;
    }
    if (at >= argc) {
        if (help) {
            a->help = 1;
            return 0;
        }
        std::snprintf(error, size, "no command given");
        return ciExitUsage;
    }
    a->command = fn_command(argv[at]);
    if (!a->command) {
        std::snprintf(error, size, "unknown command '%s'", argv[at]);
        return ciExitUsage;
    }
    unsigned given = 0;
    for (int i = 1; i < argc; ++i) {
        if (i == at)
            continue;
        const char *arg = argv[i];
        const char *equals = arg[0] == '-' && arg[1] == '-' ? std::strchr(arg, '=') : nullptr;
        size_t length = equals ? static_cast<size_t>(equals - arg) : std::strlen(arg);
        const CliOption *o = arg[0] == '-' ? fn_option(arg, length) : nullptr;
        if (!o) {
            std::snprintf(error, size, "unknown argument '%.*s'", static_cast<int>(length), arg);
            return ciExitUsage;
        }
        if (!(a->command->options & o->bit)) {
            std::snprintf(error, size, "%s is no option of %s", o->name, a->command->name);
            return ciExitUsage;
        }
        const char *value = equals ? equals + 1 : nullptr;
        if (o->meta && !value) {
            if (i + 1 >= argc) {
                std::snprintf(error, size, "%s needs a value (%s)", o->name, o->meta);
                return ciExitUsage;
            }
            value = argv[++i];
        } else if (!o->meta && value) {
            std::snprintf(error, size, "%s takes no value", o->name);
            return ciExitUsage;
        }
        if (o->set(a, value, error, size) < 0)
            return ciExitUsage;
        given |= o->bit;
    }
    return a->help ? 0 : fn_check(a, given, error, size);
}

const char *mf_Tovra_CLI__Option_name(int i)
{
    return i >= 0 && i < static_cast<int>(std::size(caOptions)) ? caOptions[i].name : nullptr;
}

void mf_Tovra_CLI__Synopsis(const CliCommand *command, FILE *out)
{
    if (command) {
        std::fprintf(out, "usage: tovra-cli %s\n", command->synopsis);
        return;
    }
    for (int i = 0; i < ciCli_CommandCount; ++i)
        std::fprintf(out, "%s tovra-cli %s\n", i ? "      " : "usage:", caCli_Commands[i].synopsis);
}

void mf_Tovra_CLI__Usage(const CliCommand *command, FILE *out)
{
    if (!command) {
        // GNU's layout, which help2man turns into the manual page tovra-cli(1).
        std::fprintf(out, "Usage: tovra-cli COMMAND [OPTION]...\n"
                          "The Tovra device's own jobs from a script, one command per run. Every\n"
                          "command takes --json, --log FILE and --help, which shows its usage and\n"
                          "options (tovra-cli read --help); tovra-cli --version shows the version.\n"
                          "\nCommands:\n");
        for (int i = 0; i < ciCli_CommandCount; ++i) {
            std::fprintf(out, "  %-10s ", caCli_Commands[i].name);
            for (const char *c = caCli_Commands[i].summary; *c; ++c)
                *c == '\n' ? std::fputs("\n             ", out) : std::fputc(*c, out);
            std::fprintf(out, "\n");
        }
        std::fprintf(out, "\nOptions (a command's --help lists the ones it takes):\n");
    } else {
        mf_Tovra_CLI__Synopsis(command, out);
        std::fprintf(out, "\n%s\n\n", command->summary);
    }
    for (const CliOption &o : caOptions)
        if (!command || (command->options & o.bit)) {
            char head[32];
            std::snprintf(head, sizeof head, "%s%s%s", o.name, o.meta ? " " : "", o.meta ? o.meta : "");
            std::fprintf(out, "  %-18s %s\n", head, o.help);
        }
    std::fprintf(out, "\nBaud rates of the device:");
    for (int i = 0; i < ciBR_dev_count; ++i)
        std::fprintf(out, " %ld", caBR_dev[i]);
    std::fprintf(out, "\n\n%s", caExitText);
}
