// tovra-devsim: Tovra devices on a pseudo-terminal, one RS-485 bus with one
// or several slaves whose replies libmodbus builds, linked into the COM-port map.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---- Device model --------------------------------------------------------

constexpr int ciDev_REG_IDENT = 0x0000; // device identification
constexpr int ciDev_REG_BR1 = 0x1101;
constexpr int ciDev_REG_BR2 = 0x1102;
constexpr int ciDev_COIL_EEPROM = 0x0000; // written with 0xFF00: store BR1/BR2
constexpr int ciDev_IDENT_DEFAULT = 0x5456; // "TV" in ASCII
constexpr int ciDev_BR_DEFAULT = 3;         // item 3 of the baud table: 9600

struct DevState {
    uint16_t ident;
    uint16_t br1;
    uint16_t br2;
};

// True when every register of start .. start+count-1 exists on the device.
bool mf_Dev_Registers__exist(int start, int count);
// The exception code the device answers a request with, or 0 when the
// request is one libmodbus may serve from the register map.
int mf_Dev_Request__exception(const uint8_t *request, int length);
// The baud rate a BR value stands for, or 0 when it is no item of the table.
long mf_Dev_BR__baud(int value);
// "9600 baud", or "no baud rate" for a value outside the table.
std::string mf_Dev_BR__text(int value);

// The state file holds "BR1=<n>\nBR2=<n>\n". Returns 1 when loaded, 0 when
// the file does not exist, -1 with `error` set when it is unreadable or bad.
int mf_Dev_State__load(const std::string &path, DevState &state, std::string &error);
// Written through a temporary file and a rename, so a stop never leaves half a file.
int mf_Dev_State__save(const std::string &path, const DevState &state, std::string &error);

// ---- Fault injection -----------------------------------------------------

enum class FaultKind { None, NoReply, BadCrc, Short, Exception, Delay, Ignore };

struct Fault {
    FaultKind kind = FaultKind::None;
    int arg = 0;   // short: bytes kept (0 = all but the CRC); exception: code; delay: ms
    int addr = -1; // only requests whose address range covers this address
    int fc = -1;   // only requests with this function code
    int nth = 0;   // only the nth request that passes the filters above (from 1)
};

// Parses "no-reply", "bad-crc", "short[=N]", "exception=N", "delay=MS", "ignore".
bool mf_Fault__parse(const std::string &text, Fault &fault, std::string &error);
std::string mf_Fault__describe(const Fault &fault);
// True when the request frame passes the address and function filters.
bool mf_Fault__matches(const Fault &fault, const uint8_t *request, int length);
// Applies a fault that alters the bytes of a reply (bad CRC, short reply).
std::vector<uint8_t> mf_Fault__mangle(const Fault &fault, const std::vector<uint8_t> &reply);

// "01 03 11 01" for the given bytes.
std::string mf_Hex(const uint8_t *bytes, int length);

// ---- Line ----------------------------------------------------------------

// Parities as a set, so settings that cannot be told apart stand for all of them.
enum : unsigned { ciPAR_N = 1, ciPAR_E = 2, ciPAR_O = 4, ciPAR_M = 8, ciPAR_S = 16 };

// The device's own serial line, always 8 data bits. Baud 0: the device
// answers whatever the master's settings.
struct DevLine {
    long baud = 0;
    unsigned parity = ciPAR_N; // exactly one parity
    int stop = 1;
};

// The master's settings as the simulator sees them on its own side.
struct DevSeen {
    long baud;         // 0: a rate outside the table of standard rates
    unsigned parities; // every parity the settings may stand for
    int stop;
};

// "BAUD" (8N1) or "BAUD,PARITY,STOP", PARITY one of N E O M S, STOP 1 or 2.
bool mf_Dev_Line__parse(const std::string &text, DevLine &line, std::string &error);
// "38400 8E1", or "any settings".
std::string mf_Dev_Line__text(const DevLine &line);
// "9600 8E1", or "9600 8N1 or 8E1" when the parity cannot be told.
std::string mf_Dev_Seen__text(const DevSeen &seen);
// One line that `seen` stands for: the parity of `rest` (the line the
// settings were read against) when it is among the possible ones, else the
// first of them, N before E, O, M, S.
DevLine mf_Dev_Seen__line(const DevSeen &seen, const DevLine &rest);
// True when a device on `line` understands a master at `seen`.
bool mf_Dev_Line__hears(const DevLine &line, const DevSeen &seen);

struct termios;
// Sets the parity bits of the simulator's own side that masters' settings
// are read against; set once, before any master opens the line.
void mf_Dev_Line__rest(termios &t, const DevLine &line);
// What the terminal settings say of the master's line; `line` is the one
// the settings were rested for.
DevSeen mf_Dev_Seen__of(const termios &t, const DevLine &line);

// ---- Frames on the bus ---------------------------------------------------

// The silence that ends an RTU frame, in microseconds: 3.5 characters of
// 11 bits at `baud`, 1750 above 19200 baud and for an unknown rate (0).
long mf_Dev_Silence__us(long baud);
// The time one character takes on `line`, in nanoseconds: start bit, 8 data
// bits, the parity bit if any and the stop bits; 0 for baud 0.
long long mf_Dev_Char__ns(const DevLine &line);
// The silence a master owes the line before a request, in nanoseconds: 3.5
// characters of `line`, 1.75 ms above 19200 baud and for an unknown rate.
long long mf_Dev_Gap__ns(const DevLine &line);
// Modbus CRC-16 of the bytes, low byte first on the wire.
uint16_t mf_Dev_Crc16(const uint8_t *bytes, int length);
// Why the bytes heard between two silences are no frame, or nullptr for a
// frame: at least 4 bytes (ID, function, CRC) with a good CRC.
const char *mf_Dev_Frame__fault(const uint8_t *bytes, int length);
// A state file for each slave of a bus: "dir/name.txt" becomes "dir/name-ID.txt".
std::string mf_Dev_State__path_for(const std::string &statePath, int slave);

// ---- Options -------------------------------------------------------------

// One slave of a bus. delayMs -1 and a line of baud -1 take the bus's defaults.
struct DevSlaveOption {
    int id = 1;
    int delayMs = -1;
    DevLine line{-1, ciPAR_N, 1};
};

// "ID[,delay=MS][,line=BAUD:PARITY:STOP]"
bool mf_Dev_Slave__parse(const std::string &text, DevSlaveOption &slave, std::string &error);

struct DevOptions {
    int com = 200;
    int slave = 1;                        // --id: the one-slave form
    bool slaveGiven = false;              // --id was given
    std::vector<DevSlaveOption> slaves;   // --slave, each time it is given
    int delayMs = 0;                      // --delay: before every reply
    bool echo = false;                    // --echo: the adapter echoes every byte
    double noise = 0;                     // --noise: share of frames followed by noise
    unsigned seed = 1;                    // --seed of noise and garble
    std::string portsDir; // empty: $TOVRA_PORTS_DIR, else ~/.config/tovra/ports
    std::string statePath = "tovra-devsim-state.txt";
    DevState initial{ciDev_IDENT_DEFAULT, ciDev_BR_DEFAULT, ciDev_BR_DEFAULT};
    Fault fault;
    DevLine line;               // --line; baud 0 when not given
    bool garble = false;        // --mismatch garble
    bool applyOnCommit = false; // --apply-on-commit
    bool wire = false;          // --wire: each byte takes its character time
    int turnaroundMs = 0;       // --turnaround: from a request's last byte to the reply
    int latencyMs = 0;          // --latency: the adapter hands bytes over on this tick
    bool help = false;
};

// Returns false with `error` set for a bad option.
bool mf_Dev_Options__parse(const std::vector<std::string> &args, DevOptions &options,
                           std::string &error);
// Every option the parser knows, as given on the command line ("--com").
std::vector<std::string> mf_Dev_Options__names();
extern const char *const caDev_USAGE;

// ---- Port map link -------------------------------------------------------

std::string mf_Dev_PortsDir__default();
// Links dir/COMn to `target`, marked by dir/COMn.pid. An existing link may be
// replaced only when it dangles, already points to `target`, or is the mark
// of a simulator that is gone. Returns false with `error` set.
bool mf_Dev_Link__make(const std::string &dir, int com, const std::string &target,
                       std::string &linkPath, std::string &error);
// Removes the link and its mark when it still points to `target`.
void mf_Dev_Link__remove(const std::string &linkPath, const std::string &target);
