// The running simulator: its slaves, the replies they have scheduled and the
// bus loop that serves them. Shared by the files of tovra-devsim only.
#pragma once

#include "devsim.h"

#include <chrono>
#include <csignal>
#include <random>

#include <modbus.h>

using DevClock = std::chrono::steady_clock;

struct DevSlave {
    int id = 1;
    DevLine line;        // the line it listens on now (baud 0: any settings)
    int delayMs = 0;     // before each reply
    std::string statePath;
    modbus_mapping_t *map = nullptr;
    bool restarting = false; // deaf until restartEnd, then at BR1's baud rate
    DevClock::time_point restartEnd;
    size_t restartBytes = 0; // bytes it did not hear while restarting
};

// A reply of one slave, sent when it is due; then, for a device that
// applies BR1 on restart, its restart.
struct DevReply {
    DevClock::time_point due;
    DevSlave *slave;
    std::vector<uint8_t> bytes; // may be empty: nothing to send
    bool restart = false;
};

extern DevOptions gvOpt;
extern std::vector<DevSlave> gvSlaves;
extern int giMaster;       // the simulator's side of the pseudo-terminal
extern int giSlave;        // held open; its terminal settings are the master's
extern std::mt19937 gvRandom; // noise and garble, seeded by --seed
extern volatile sig_atomic_t gvStop;
extern sigset_t gvWaitMask; // the signal mask while waiting: stop signals let through
// The line whose parity the simulator's side of the pseudo-terminal rests
// at: the masters' settings are read against it.
extern DevLine gvRestLine;

// "note: ..." on stdout; "note: slave N: ..." on a bus of several slaves.
void mf_Sim_Note(const DevSlave *slave, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
// "<prefix> 01 03 ..." on stdout.
void mf_Sim_Print(const char *prefix, const std::vector<uint8_t> &bytes);

// devsim_wire.cpp: the line between the master's adapter and the devices.
// Without --wire a character takes no time and the bytes go at once.
// The time one character takes on `line`, 0 without --wire.
DevClock::duration mf_Wire__char(const DevLine &line);
// The master wrote `n` bytes, seen at `now`: each is heard one character
// after the one before (echoed to the master at that moment with --echo).
// Returns when the last of them has been heard.
DevClock::time_point mf_Wire__hear(const uint8_t *bytes, int n, DevClock::time_point now,
                                   DevClock::duration charTime);
// A request begins at `now`: prints a note when it follows the last byte on
// the line (from either side) by less than the silence `master` owes it.
void mf_Wire__check_silence(DevClock::time_point now, const DevLine &master);
// A device puts the bytes on the line, the first at `from` or once the line
// is free; returns when the last has left it.
DevClock::time_point mf_Wire__send(const std::vector<uint8_t> &bytes, DevClock::time_point from,
                                   DevClock::duration charTime);
// Hands the master every byte that has reached it by `now`, in one write.
void mf_Wire__deliver(DevClock::time_point now);
// When the next byte reaches the master; time_point::max() when none is on its way.
DevClock::time_point mf_Wire__next();

// devsim_serve.cpp: one libmodbus context builds the replies of every slave.
bool mf_Sim_Serve__init(std::string &error);
void mf_Sim_Serve__close();
// Sets up a slave's registers from its state file; false with `error` set.
bool mf_Sim_Slave__init(DevSlave &slave, std::string &error);
// Carries out a frame addressed to the slave (or a broadcast) and fills in
// the reply it sends (none: no bytes), its delay and whether a restart follows.
void mf_Sim_Serve(DevSlave &slave, const uint8_t *req, int len, DevReply &reply);

// devsim_bus.cpp: serves the bus until a stop signal; the exit status.
int mf_Sim_Bus__run();
