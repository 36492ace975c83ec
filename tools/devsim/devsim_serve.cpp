// What a slave does with a frame addressed to it: checks it against the
// device's registers, lets libmodbus carry it out and build the reply, and
// applies the injected fault.
#include "devsim_run.h"

#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

modbus_t *gpCtx = nullptr;
int gaPipe[2] = {-1, -1}; // replies are captured here before they go out
int giFaultCount = 0;     // requests that passed the fault filters so far

constexpr int ciDev_REQUEST_LENGTH = 8; // every request of functions 3 to 6

uint16_t &fn_reg(DevSlave &slave, int address) { return slave.map->tab_registers[address]; }

// Function 4 reads the same registers as function 3.
void fn_mirror_input_registers(DevSlave &slave)
{
    for (int a : {ciDev_REG_IDENT, ciDev_REG_BR1, ciDev_REG_BR2})
        slave.map->tab_input_registers[a] = fn_reg(slave, a);
}

// libmodbus writes its reply straight to the context's socket. Pointing the
// socket at a pipe while it replies hands us the exact frame, to print,
// alter when a fault is asked for, and send when it is due.
template <class Reply> std::vector<uint8_t> fn_capture(Reply reply)
{
    reply();
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

// Carries out the request and returns the reply the device would send;
// `stored` tells that the settings went into the EEPROM.
std::vector<uint8_t> fn_act(DevSlave &slave, const uint8_t *req, int len, bool &stored)
{
    if (int code = mf_Dev_Request__exception(req, len))
        return fn_exception(req, code);
    int fc = req[1];
    int address = req[2] << 8 | req[3];
    int value = req[4] << 8 | req[5];
    if (fc == 5 && value == 0xFF00) {
        DevState state{fn_reg(slave, ciDev_REG_IDENT), fn_reg(slave, ciDev_REG_BR1),
                       fn_reg(slave, ciDev_REG_BR2)};
        std::string error;
        if (mf_Dev_State__save(slave.statePath, state, error) != 0) {
            mf_Sim_Note(&slave, "EEPROM store failed: %s", error.c_str());
            return fn_exception(req, MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
        }
        mf_Sim_Note(&slave, "EEPROM store BR1=%d BR2=%d into %s", state.br1, state.br2,
                    slave.statePath.c_str());
        stored = true;
    }
    std::vector<uint8_t> reply =
        fn_capture([&] { modbus_reply(gpCtx, req, len, slave.map); });
    slave.map->tab_bits[ciDev_COIL_EEPROM] = 0; // the store is a command, not a setting
    if (fc == 6 && reply.size() > 1 && reply[1] == 6) {
        fn_mirror_input_registers(slave);
        mf_Sim_Note(&slave, "%s = %d (%s)", address == ciDev_REG_BR1 ? "BR1" : "BR2", value,
                    mf_Dev_BR__text(value).c_str());
    }
    return reply;
}

} // namespace

bool mf_Sim_Serve__init(std::string &error)
{
    if (pipe2(gaPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    // The path is never opened: replies go to the pipe, and the frames
    // libmodbus serves are the ones the bus loop cut out of the line.
    gpCtx = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
    if (!gpCtx) {
        error = std::string("cannot set up libmodbus: ") + modbus_strerror(errno);
        return false;
    }
    modbus_set_socket(gpCtx, gaPipe[1]);
    return true;
}

void mf_Sim_Serve__close()
{
    for (DevSlave &slave : gvSlaves)
        modbus_mapping_free(slave.map);
    modbus_free(gpCtx);
}

bool mf_Sim_Slave__init(DevSlave &slave, std::string &error)
{
    DevState state = gvOpt.initial;
    int loaded = mf_Dev_State__load(slave.statePath, state, error);
    if (loaded < 0) {
        error = "state file " + error;
        return false;
    }
    std::string who = gvSlaves.size() > 1 ? "slave " + std::to_string(slave.id) + ": " : "";
    std::printf("tovra-devsim: %s%s %s: BR1=%d (%s), BR2=%d (%s), ident 0x%04X\n", who.c_str(),
                loaded ? "state loaded from" : "no state file yet at", slave.statePath.c_str(),
                state.br1, mf_Dev_BR__text(state.br1).c_str(), state.br2,
                mf_Dev_BR__text(state.br2).c_str(), state.ident);
    slave.map = modbus_mapping_new_start_address(0, 1, 0, 0, 0, ciDev_REG_BR2 + 1, 0,
                                                 ciDev_REG_BR2 + 1);
    if (!slave.map) {
        error = std::string("cannot set up libmodbus: ") + modbus_strerror(errno);
        return false;
    }
    fn_reg(slave, ciDev_REG_IDENT) = state.ident;
    fn_reg(slave, ciDev_REG_BR1) = state.br1;
    fn_reg(slave, ciDev_REG_BR2) = state.br2;
    fn_mirror_input_registers(slave);
    // A device that applies BR1 on restart listened at BR1 since its last start.
    if (gvOpt.applyOnCommit && !slave.line.baud)
        slave.line.baud = mf_Dev_BR__baud(state.br1);
    return true;
}

void mf_Sim_Serve(DevSlave &slave, const uint8_t *req, int len, DevReply &reply)
{
    int fc = req[1];
    if (fc == 0 || fc >= 0x80) {
        mf_Sim_Note(&slave, "function 0x%02x is no request, not answered", fc);
        return;
    }
    if (fc >= 3 && fc <= 6 && len != ciDev_REQUEST_LENGTH) {
        mf_Sim_Note(&slave, "function %d in %d bytes instead of %d, not answered", fc, len,
                    ciDev_REQUEST_LENGTH);
        return;
    }
    const Fault &fault = gvOpt.fault;
    bool faulted = false;
    if (fault.kind != FaultKind::None && mf_Fault__matches(fault, req, len)) {
        giFaultCount++;
        faulted = fault.nth == 0 || giFaultCount == fault.nth;
    }
    // An exception reply means the device refused, so it does not act. An
    // ignored write is acknowledged as done: the echo of the request is the
    // reply to functions 5 and 6.
    bool ignored = faulted && fault.kind == FaultKind::Ignore && (fc == 5 || fc == 6);
    bool stored = false;
    std::vector<uint8_t> bytes = faulted && fault.kind == FaultKind::Exception
                                     ? fn_exception(req, fault.arg)
                                 : ignored ? std::vector<uint8_t>(req, req + len)
                                           : fn_act(slave, req, len, stored);
    reply.restart = stored && gvOpt.applyOnCommit;
    if (req[0] == MODBUS_BROADCAST_ADDRESS) {
        mf_Sim_Note(&slave, "broadcast, no reply");
        return;
    }
    int delayMs = slave.delayMs;
    if (faulted) {
        mf_Sim_Note(&slave, "fault %s", mf_Fault__describe(fault).c_str());
        if (fault.kind == FaultKind::NoReply)
            return;
        if (fault.kind == FaultKind::Delay)
            delayMs += fault.arg;
        bytes = mf_Fault__mangle(fault, bytes);
    }
    if (slave.delayMs > 0)
        mf_Sim_Note(&slave, "reply in %d ms", delayMs);
    reply.due += std::chrono::milliseconds(delayMs);
    reply.bytes = bytes;
}
