// Command-line options of tovra-devsim.
#include "devsim.h"

#include <charconv>
#include <climits>

const char *const caDev_USAGE =
    "Usage: tovra-devsim [options]\n"
    "\n"
    "A Tovra device, or an RS-485 bus of several, as Modbus RTU slaves on a\n"
    "pseudo-terminal, linked into the COM-port map as COMn. Stop it with Ctrl+C\n"
    "or SIGTERM; the link is removed.\n"
    "\n"
    "Options:\n"
    "  --com N          COM number of the link, 1..256 (default 200)\n"
    "  --id N           Modbus slave ID, 1..247 (default 1): one slave alone\n"
    "  --slave ID[,delay=MS][,line=BAUD:PARITY:STOP]\n"
    "                   one slave of a bus; give it once per slave (not with\n"
    "                   --id). Each has its own registers and its own state\n"
    "                   file, --state with \"-ID\" before the extension; delay\n"
    "                   and line default to --delay and --line\n"
    "  --delay MS       wait MS milliseconds (0..60000) before each reply; the\n"
    "                   next request is heard meanwhile (default 0)\n"
    "  --echo           the adapter echoes every byte of the master back to it,\n"
    "                   before any reply (two-wire RS-485 without echo\n"
    "                   suppression)\n"
    "  --noise RATE     after that share of the master's frames (0..1, or a\n"
    "                   percentage as 20%), a burst of 1..8 random bytes goes to\n"
    "                   the master before any reply, 3.5 characters apart\n"
    "  --seed N         seed of the noise and garble bytes (default 1, so a run\n"
    "                   repeats)\n"
    "  --ports-dir DIR  port-map folder (default $TOVRA_PORTS_DIR,\n"
    "                   else ~/.config/tovra/ports)\n"
    "  --state FILE     the device's EEPROM (default ./tovra-devsim-state.txt);\n"
    "                   holds \"BR1=n\" and \"BR2=n\" lines, loaded at start,\n"
    "                   written when coil 0 is set to 0xFF00\n"
    "  --br1 N, --br2 N\n"
    "                   values when the state file does not exist, 0..65535\n"
    "                   (default 3 = 9600 baud)\n"
    "  --ident N        value of holding register 0 (default 0x5456)\n"
    "  --fault KIND     answer requests wrongly, KIND being one of: no-reply (act,\n"
    "                   but send nothing); bad-crc (the reply with both CRC bytes\n"
    "                   inverted); short[=N] (only the first N bytes of the reply,\n"
    "                   by default all but the two CRC bytes); exception=N (do\n"
    "                   not act, answer exception code N, 1..11); delay=MS (act,\n"
    "                   wait MS milliseconds, then reply); ignore (acknowledge a\n"
    "                   write, function 5 or 6, without acting on it)\n"
    "  --fault-addr A   fault only requests whose address range covers A\n"
    "  --fault-fc F     fault only requests with function code F\n"
    "  --fault-nth N    fault only the Nth request that passes the filters\n"
    "                   above, counting from 1\n"
    "  --line BAUD[,PARITY,STOP]\n"
    "                   the device's own line, 8 data bits: BAUD alone is 8N1;\n"
    "                   PARITY N, E, O, M or S; STOP 1 or 2 (default: answer\n"
    "                   whatever the master's settings)\n"
    "  --mismatch none|garble\n"
    "                   a request at other settings than the device's line gets\n"
    "                   no reply (none, the default) or 1..4 random bytes\n"
    "                   (garble); either way the device does not act on it\n"
    "  --wire           each byte takes its character time on the line (start\n"
    "                   bit, 8 data bits, parity, stop bits at the baud rate):\n"
    "                   the device's line, or the master's settings for a\n"
    "                   device without --line (default: bytes go at once)\n"
    "  --turnaround MS  the device answers MS milliseconds (0..60000) after a\n"
    "                   request's last byte, at the earliest once the request's\n"
    "                   frame has ended (default 0)\n"
    "  --latency MS     the master's adapter hands received bytes over in chunks,\n"
    "                   on a tick every MS milliseconds (1..1000), as a USB\n"
    "                   adapter's latency timer does (default: at once)\n"
    "  --apply-on-commit\n"
    "                   the device listens at the baud rate of BR1: at start\n"
    "                   unless --line is given, and after each EEPROM command,\n"
    "                   once it has replied and restarted (0.5 s, deaf); parity\n"
    "                   and stop bits stay\n"
    "  -h, --help       show this text\n"
    "  --version        show the version\n"
    "Numbers may be decimal or hexadecimal with 0x.\n"
    "\n"
    "Exit status: 0 stopped by Ctrl+C or SIGTERM; 1 could not start (no\n"
    "pseudo-terminal, the link or the state file); 2 bad options.\n";

namespace {

bool fn_number(const std::string &text, long min, long max, long &value)
{
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char *first = text.data() + (hex ? 2 : 0), *last = text.data() + text.size();
    auto [end, ec] = std::from_chars(first, last, value, hex ? 16 : 10);
    return ec == std::errc() && end == last && first != last && value >= min && value <= max;
}

struct NumberOption {
    const char *name;
    long min;
    long max;
    void (*set)(DevOptions &, long);
};

constexpr NumberOption caNUMBER_OPTIONS[] = {
    {"--com", 1, 256, [](DevOptions &o, long v) { o.com = int(v); }},
    {"--id", 1, 247, [](DevOptions &o, long v) { o.slave = int(v), o.slaveGiven = true; }},
    {"--delay", 0, 60000, [](DevOptions &o, long v) { o.delayMs = int(v); }},
    {"--seed", 0, 0xFFFFFFFF, [](DevOptions &o, long v) { o.seed = unsigned(v); }},
    {"--br1", 0, 0xFFFF, [](DevOptions &o, long v) { o.initial.br1 = uint16_t(v); }},
    {"--br2", 0, 0xFFFF, [](DevOptions &o, long v) { o.initial.br2 = uint16_t(v); }},
    {"--ident", 0, 0xFFFF, [](DevOptions &o, long v) { o.initial.ident = uint16_t(v); }},
    {"--fault-addr", 0, 0xFFFF, [](DevOptions &o, long v) { o.fault.addr = int(v); }},
    {"--fault-fc", 1, 127, [](DevOptions &o, long v) { o.fault.fc = int(v); }},
    {"--fault-nth", 1, INT_MAX, [](DevOptions &o, long v) { o.fault.nth = int(v); }},
    {"--turnaround", 0, 60000, [](DevOptions &o, long v) { o.turnaroundMs = int(v); }},
    {"--latency", 1, 1000, [](DevOptions &o, long v) { o.latencyMs = int(v); }},
};

struct TextOption {
    const char *name;
    std::string DevOptions::*target;
};

constexpr TextOption caTEXT_OPTIONS[] = {
    {"--ports-dir", &DevOptions::portsDir},
    {"--state", &DevOptions::statePath},
};

bool fn_mismatch(const std::string &value, DevOptions &o, std::string &error)
{
    if (value != "none" && value != "garble") {
        error = "option --mismatch: \"" + value + "\" is neither none nor garble";
        return false;
    }
    o.garble = value == "garble";
    return true;
}

// "0.2" or "20%"
bool fn_noise(const std::string &value, DevOptions &o, std::string &error)
{
    bool percent = !value.empty() && value.back() == '%';
    const char *first = value.data(), *last = value.data() + value.size() - (percent ? 1 : 0);
    double rate = -1;
    auto [end, ec] = std::from_chars(first, last, rate);
    rate /= percent ? 100 : 1;
    if (ec != std::errc() || end != last || first == last || rate < 0 || rate > 1) {
        error = "option --noise: \"" + value + "\" is no share in 0..1 or 0%..100%";
        return false;
    }
    o.noise = rate;
    return true;
}

struct ParsedOption {
    const char *name;
    bool (*parse)(const std::string &value, DevOptions &o, std::string &error);
};

constexpr ParsedOption caPARSED_OPTIONS[] = {
    {"--fault", [](const std::string &v, DevOptions &o, std::string &e) {
         return mf_Fault__parse(v, o.fault, e);
     }},
    {"--line", [](const std::string &v, DevOptions &o, std::string &e) {
         return mf_Dev_Line__parse(v, o.line, e);
     }},
    {"--mismatch", fn_mismatch},
    {"--noise", fn_noise},
    {"--slave", [](const std::string &v, DevOptions &o, std::string &e) {
         DevSlaveOption slave;
         if (!mf_Dev_Slave__parse(v, slave, e))
             return false;
         o.slaves.push_back(slave);
         return true;
     }},
};

struct FlagOption {
    const char *name;
    bool DevOptions::*target;
};

constexpr FlagOption caFLAG_OPTIONS[] = {
    {"--apply-on-commit", &DevOptions::applyOnCommit},
    {"--echo", &DevOptions::echo},
    {"--wire", &DevOptions::wire},
    {"--help", &DevOptions::help},
    {"-h", &DevOptions::help},
};

} // namespace

std::vector<std::string> mf_Dev_Options__names()
{
    std::vector<std::string> names;
    for (const FlagOption &o : caFLAG_OPTIONS)
        names.push_back(o.name);
    for (const NumberOption &o : caNUMBER_OPTIONS)
        names.push_back(o.name);
    for (const TextOption &o : caTEXT_OPTIONS)
        names.push_back(o.name);
    for (const ParsedOption &o : caPARSED_OPTIONS)
        names.push_back(o.name);
    return names;
}

bool mf_Dev_Options__parse(const std::vector<std::string> &args, DevOptions &options,
                           std::string &error)
{
    for (size_t i = 0; i < args.size(); i++) {
        std::string name = args[i], value;
        bool inlineValue = false;
        if (size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        auto takeValue = [&]() {
            if (inlineValue)
                return true;
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        bool known = false;
        for (const FlagOption &o : caFLAG_OPTIONS) {
            if (name != o.name)
                continue;
            if (inlineValue) {
                error = "option " + name + " takes no value";
                return false;
            }
            options.*o.target = true;
            known = true;
        }
        for (const NumberOption &o : caNUMBER_OPTIONS) {
            if (name != o.name)
                continue;
            long n = 0;
            if (!takeValue())
                return false;
            if (!fn_number(value, o.min, o.max, n)) {
                error = "option " + name + ": \"" + value + "\" is not a number in " +
                        std::to_string(o.min) + ".." + std::to_string(o.max);
                return false;
            }
            o.set(options, n);
            known = true;
        }
        for (const TextOption &o : caTEXT_OPTIONS) {
            if (name != o.name)
                continue;
            if (!takeValue())
                return false;
            if (value.empty()) {
                error = "option " + name + " needs a non-empty value";
                return false;
            }
            options.*o.target = value;
            known = true;
        }
        for (const ParsedOption &o : caPARSED_OPTIONS) {
            if (name != o.name)
                continue;
            if (!takeValue() || !o.parse(value, options, error))
                return false;
            known = true;
        }
        if (!known) {
            error = "unknown option \"" + args[i] + "\" (see --help)";
            return false;
        }
    }
    const Fault &f = options.fault;
    if (f.kind == FaultKind::None && (f.addr >= 0 || f.fc >= 0 || f.nth > 0)) {
        error = "--fault-addr, --fault-fc and --fault-nth need --fault";
        return false;
    }
    if (options.slaveGiven && !options.slaves.empty()) {
        error = "--id is the one-slave form: give either --id or --slave";
        return false;
    }
    for (size_t i = 0; i < options.slaves.size(); i++)
        for (size_t j = 0; j < i; j++)
            if (options.slaves[i].id == options.slaves[j].id) {
                error = "--slave " + std::to_string(options.slaves[i].id) + " is given twice";
                return false;
            }
    return true;
}
