// tovra-devsim entry: the pseudo-terminal, the libmodbus slave on its master
// side, the request loop with the device's line and fault injection, and an
// orderly stop.
#include "devsim.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <modbus.h>

namespace {

modbus_t *gpCtx = nullptr;
modbus_mapping_t *gpMap = nullptr;
int giMaster = -1;
int giSlave = -1; // held open; its terminal settings are the master's
int gaPipe[2] = {-1, -1}; // replies are captured here before they go out
DevOptions gvOpt;
std::string gvStatePath;
int giFaultCount = 0; // requests that passed the fault filters so far
DevLine gvLine;        // the line the device listens on now
bool gvStored = false; // the request just served stored the settings into the EEPROM
std::mt19937 gvRandom{std::random_device{}()};
constexpr int ciDev_RESTART_MS = 500;
volatile sig_atomic_t gvStop = 0;

sigset_t gvWaitMask; // the signal mask while waiting: stop signals let through

void fn_on_signal(int) { gvStop = 1; }

// Waits, but gives way to a stop signal; false when stopped.
bool fn_sleep_ms(int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!gvStop) {
        auto left = end - std::chrono::steady_clock::now();
        if (left <= left.zero())
            return true;
        long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec t{time_t(ns / 1000000000), long(ns % 1000000000)};
        ppoll(nullptr, 0, &t, &gvWaitMask);
    }
    return false;
}

int fn_fail(const std::string &message, int status)
{
    std::fprintf(stderr, "tovra-devsim: %s\n", message.c_str());
    return status;
}

void fn_print(const char *prefix, const std::vector<uint8_t> &bytes)
{
    std::printf("%s %s\n", prefix, mf_Hex(bytes.data(), int(bytes.size())).c_str());
}

uint16_t &fn_reg(int address) { return gpMap->tab_registers[address]; }

// Function 4 reads the same registers as function 3.
void fn_mirror_input_registers()
{
    for (int a : {ciDev_REG_IDENT, ciDev_REG_BR1, ciDev_REG_BR2})
        gpMap->tab_input_registers[a] = fn_reg(a);
}

// libmodbus writes its reply straight to the context's socket. Pointing the
// socket at a pipe while it replies hands us the exact frame, to print and,
// when a fault is asked for, to alter before it goes out.
template <class Reply> std::vector<uint8_t> fn_capture(Reply reply)
{
    modbus_set_socket(gpCtx, gaPipe[1]);
    reply();
    modbus_set_socket(gpCtx, giMaster);
    std::vector<uint8_t> bytes;
    uint8_t buf[MODBUS_RTU_MAX_ADU_LENGTH];
    for (ssize_t n; (n = read(gaPipe[0], buf, sizeof buf)) > 0;)
        bytes.insert(bytes.end(), buf, buf + n);
    return bytes;
}

std::vector<uint8_t> fn_exception(const uint8_t *req, int code)
{
    return fn_capture([&] { modbus_reply_exception(gpCtx, req, unsigned(code)); });
}

// Carries out the request and returns the reply the device would send.
std::vector<uint8_t> fn_act(const uint8_t *req, int len)
{
    if (int code = mf_Dev_Request__exception(req, len))
        return fn_exception(req, code);
    int fc = req[1];
    int address = req[2] << 8 | req[3];
    int value = req[4] << 8 | req[5];
    if (fc == 5 && value == 0xFF00) {
        DevState state{fn_reg(ciDev_REG_IDENT), fn_reg(ciDev_REG_BR1), fn_reg(ciDev_REG_BR2)};
        std::string error;
        if (mf_Dev_State__save(gvStatePath, state, error) != 0) {
            std::printf("note: EEPROM store failed: %s\n", error.c_str());
            return fn_exception(req, MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
        }
        std::printf("note: EEPROM store BR1=%d BR2=%d into %s\n", state.br1, state.br2,
                    gvStatePath.c_str());
        gvStored = true;
    }
    std::vector<uint8_t> reply =
        fn_capture([&] { modbus_reply(gpCtx, req, len, gpMap); });
    gpMap->tab_bits[ciDev_COIL_EEPROM] = 0; // the store is a command, not a setting
    if (fc == 6 && reply.size() > 1 && reply[1] == 6) {
        fn_mirror_input_registers();
        std::printf("note: %s = %d (%s)\n", address == ciDev_REG_BR1 ? "BR1" : "BR2", value,
                    mf_Dev_BR__text(value).c_str());
    }
    return reply;
}

void fn_send(const std::vector<uint8_t> &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(giMaster, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            std::printf("note: write to the pseudo-terminal failed: %s\n", std::strerror(errno));
            return;
        }
        done += size_t(n);
    }
}

void fn_serve(const uint8_t *req, int len)
{
    fn_print("rx", std::vector<uint8_t>(req, req + len));
    const Fault &fault = gvOpt.fault;
    bool faulted = false;
    if (fault.kind != FaultKind::None && mf_Fault__matches(fault, req, len)) {
        giFaultCount++;
        faulted = fault.nth == 0 || giFaultCount == fault.nth;
    }
    // An exception reply means the device refused, so it does not act. An
    // ignored write is acknowledged as done: the echo of the request is the
    // reply to functions 5 and 6.
    bool ignored = faulted && fault.kind == FaultKind::Ignore && (req[1] == 5 || req[1] == 6);
    std::vector<uint8_t> reply = faulted && fault.kind == FaultKind::Exception
                                     ? fn_exception(req, fault.arg)
                                 : ignored ? std::vector<uint8_t>(req, req + len)
                                           : fn_act(req, len);
    if (req[0] == MODBUS_BROADCAST_ADDRESS) {
        std::printf("note: broadcast, no reply\n");
        return;
    }
    if (faulted) {
        std::printf("note: fault %s\n", mf_Fault__describe(fault).c_str());
        if (fault.kind == FaultKind::NoReply)
            return;
        if (fault.kind == FaultKind::Delay && !fn_sleep_ms(fault.arg))
            return;
        reply = mf_Fault__mangle(fault, reply);
    }
    fn_print("tx", reply);
    fn_send(reply);
}

// True when the device understands a request sent with the master's
// settings of this moment; `seen` is what they look like from here.
bool fn_hears(DevSeen &seen)
{
    termios tio;
    if (!gvLine.baud)
        return true;
    if (tcgetattr(giSlave, &tio) != 0)
        return false;
    seen = mf_Dev_Seen__of(tio, gvLine);
    return mf_Dev_Line__hears(gvLine, seen);
}

// At other settings the device's UART makes no sense of the request, so the
// device does not act; with garble the master gets a few bytes of noise,
// too short for any reply of the device.
void fn_not_understood(const DevSeen &seen)
{
    std::printf("note: request at %s, the device's line is %s: not understood, %s\n",
                mf_Dev_Seen__text(seen).c_str(), mf_Dev_Line__text(gvLine).c_str(),
                gvOpt.garble ? "garbled reply" : "no reply");
    if (!gvOpt.garble)
        return;
    std::uniform_int_distribution<int> count(1, 4), byte(0, 255);
    std::vector<uint8_t> noise(size_t(count(gvRandom)));
    for (uint8_t &b : noise)
        b = uint8_t(byte(gvRandom));
    fn_print("tx", noise);
    fn_send(noise);
}

// After the EEPROM command a device that applies its settings on restart
// has replied at the old line; it is deaf for the restart and then listens
// at BR1's baud rate with the same parity and stop bits.
void fn_restart()
{
    std::printf("note: restart, %d ms without listening\n", ciDev_RESTART_MS);
    if (!fn_sleep_ms(ciDev_RESTART_MS))
        return;
    size_t dropped = 0;
    uint8_t buf[256];
    pollfd p{giMaster, POLLIN, 0};
    for (ssize_t n; poll(&p, 1, 0) > 0 && (n = read(giMaster, buf, sizeof buf)) > 0;)
        dropped += size_t(n);
    if (dropped)
        std::printf("note: %zu bytes arrived during the restart, not heard\n", dropped);
    int br1 = fn_reg(ciDev_REG_BR1);
    if (long baud = mf_Dev_BR__baud(br1))
        gvLine.baud = baud;
    else
        std::printf("note: BR1 = %d is no baud rate, the line is kept\n", br1);
    std::printf("note: line now %s\n", mf_Dev_Line__text(gvLine).c_str());
}

int fn_open_pty(std::string &slavePath)
{
    giMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (giMaster < 0 || grantpt(giMaster) != 0 || unlockpt(giMaster) != 0)
        return -1;
    const char *name = ptsname(giMaster);
    if (!name)
        return -1;
    slavePath = name;
    // Held open for the whole run: without it every client close hangs up
    // the master side and later reads fail with I/O errors.
    giSlave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (giSlave < 0)
        return -1;
    // A fresh pseudo-terminal echoes, maps CR/LF and eats XON/XOFF bytes.
    // Masters restore the settings they found when they close, so the
    // resting parity bits are back before the next master opens.
    for (int fd : {giMaster, giSlave}) {
        termios tio;
        if (tcgetattr(fd, &tio) != 0)
            return -1;
        cfmakeraw(&tio);
        if (fd == giSlave)
            mf_Dev_Line__rest(tio, gvLine);
        if (tcsetattr(fd, TCSANOW, &tio) != 0)
            return -1;
    }
    return 0;
}

void fn_report_receive_error()
{
    if (errno == EMBBADCRC)
        std::printf("note: request with a bad CRC ignored\n");
    else if (errno == ETIMEDOUT)
        std::printf("note: incomplete request ignored\n");
    else
        std::printf("note: request ignored: %s\n", modbus_strerror(errno));
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tovra-devsim %s\n", TOVRA_VERSION);
        return 0;
    }
    std::string error;
    if (!mf_Dev_Options__parse(std::vector<std::string>(argv + 1, argv + argc), gvOpt, error))
        return fn_fail(error, 2);
    if (gvOpt.help) {
        std::fputs(caDev_USAGE, stdout);
        return 0;
    }

    std::error_code ec;
    gvStatePath = std::filesystem::absolute(gvOpt.statePath, ec).string();
    DevState state = gvOpt.initial;
    int loaded = mf_Dev_State__load(gvStatePath, state, error);
    if (loaded < 0)
        return fn_fail("state file " + error, 1);
    std::printf("tovra-devsim: %s %s: BR1=%d (%s), BR2=%d (%s), ident 0x%04X\n",
                loaded ? "state loaded from" : "no state file yet at", gvStatePath.c_str(),
                state.br1, mf_Dev_BR__text(state.br1).c_str(), state.br2,
                mf_Dev_BR__text(state.br2).c_str(), state.ident);
    if (gvOpt.fault.kind != FaultKind::None)
        std::printf("tovra-devsim: fault %s\n", mf_Fault__describe(gvOpt.fault).c_str());
    // A device that applies BR1 on restart listened at BR1 since its last start.
    gvLine = gvOpt.line;
    if (gvOpt.applyOnCommit && !gvLine.baud)
        gvLine.baud = mf_Dev_BR__baud(state.br1);
    std::printf("tovra-devsim: line %s%s%s\n", mf_Dev_Line__text(gvLine).c_str(),
                !gvLine.baud ? ""
                : gvOpt.garble ? ", garbled reply at other settings"
                               : ", no reply at other settings",
                gvOpt.applyOnCommit ? ", BR1 applied after each EEPROM command" : "");

    // Signals are taken only while waiting for a request, so a stop never
    // cuts a reply in half.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stopSignals, s);
        struct sigaction sa {};
        sa.sa_handler = fn_on_signal;
        sigaction(s, &sa, nullptr);
    }
    sigprocmask(SIG_BLOCK, &stopSignals, &gvWaitMask);
    signal(SIGPIPE, SIG_IGN);

    std::string ptyPath;
    if (fn_open_pty(ptyPath) != 0)
        return fn_fail(std::string("cannot open a pseudo-terminal: ") + std::strerror(errno), 1);
    if (pipe2(gaPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return fn_fail(std::string("cannot make a pipe: ") + std::strerror(errno), 1);

    // The path is not opened: the context serves the pseudo-terminal's master.
    gpCtx = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
    gpMap = modbus_mapping_new_start_address(0, 1, 0, 0, 0, ciDev_REG_BR2 + 1, 0,
                                             ciDev_REG_BR2 + 1);
    if (!gpCtx || !gpMap || modbus_set_slave(gpCtx, gvOpt.slave) != 0)
        return fn_fail(std::string("cannot set up libmodbus: ") + modbus_strerror(errno), 1);
    modbus_set_socket(gpCtx, giMaster);
    // After a request for another slave libmodbus waits this long for that
    // slave's reply; kept short so it cannot swallow our next request.
    modbus_set_response_timeout(gpCtx, 0, 50000);
    fn_reg(ciDev_REG_IDENT) = state.ident;
    fn_reg(ciDev_REG_BR1) = state.br1;
    fn_reg(ciDev_REG_BR2) = state.br2;
    fn_mirror_input_registers();

    std::string portsDir = gvOpt.portsDir.empty() ? mf_Dev_PortsDir__default() : gvOpt.portsDir;
    std::string linkPath;
    if (!mf_Dev_Link__make(portsDir, gvOpt.com, ptyPath, linkPath, error))
        return fn_fail(error, 1);
    std::printf("tovra-devsim: ready COM%d %s slave=%d link=%s\n", gvOpt.com, ptyPath.c_str(),
                gvOpt.slave, linkPath.c_str());

    int status = 0;
    bool ignoreConfirmation = false;
    uint8_t req[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!gvStop) {
        if (!ignoreConfirmation) {
            pollfd p{giMaster, POLLIN, 0};
            if (ppoll(&p, 1, nullptr, &gvWaitMask) < 0) {
                if (errno == EINTR)
                    continue;
                status = fn_fail(std::string("poll failed: ") + std::strerror(errno), 1);
                break;
            }
        }
        DevSeen seen{};
        bool heard = fn_hears(seen); // the master's settings as the request arrives
        int len = modbus_receive(gpCtx, req);
        if (ignoreConfirmation) {
            ignoreConfirmation = false; // the other slave's reply, or nothing
            continue;
        }
        ignoreConfirmation = len == 0; // libmodbus now waits for the other slave's reply
        if (!heard) {
            fn_not_understood(seen);
        } else if (len == 0) {
            std::printf("note: request for slave %d, not answered\n", req[0]);
        } else if (len < 0) {
            fn_report_receive_error();
        } else {
            gvStored = false;
            fn_serve(req, len);
            if (gvStored && gvOpt.applyOnCommit)
                fn_restart();
        }
    }

    mf_Dev_Link__remove(linkPath, ptyPath);
    std::printf("tovra-devsim: stopped, %s removed\n", linkPath.c_str());
    modbus_mapping_free(gpMap);
    modbus_free(gpCtx);
    close(giSlave);
    close(giMaster);
    return status;
}
