// The bus: bytes from the master are cut into frames by silence, as an RTU
// slave does; each slave that hears the frame at its line serves it, and its
// reply goes out when due while the bus keeps listening. The adapter's echo
// and the noise between frames are added here too.
#include "devsim_run.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int ciDev_RESTART_MS = 500;
constexpr int ciDev_NOISE_MAX = 8; // bytes in one burst of noise
constexpr size_t ciDev_HEARD_MAX = 4096; // a master that never pauses: kept this much

std::vector<uint8_t> gvHeard;    // bytes since the last silence
DevClock::time_point gvLastByte; // when the last of them was heard
DevSeen gvSeen{};                // the master's settings as the first of them came
DevLine gvMasterLine;            // one line that gvSeen stands for
std::chrono::microseconds gvSilence{0}; // the silence that ends the frame at gvSeen
std::vector<DevReply> gvReplies; // scheduled, not yet sent

// The master's settings of this moment, as seen from the simulator's side.
DevSeen fn_seen()
{
    termios tio;
    if (tcgetattr(giSlave, &tio) != 0)
        return DevSeen{0, 0, 0}; // matches no line of a device
    return mf_Dev_Seen__of(tio, gvRestLine);
}

std::vector<uint8_t> fn_random_bytes(int min, int max)
{
    std::uniform_int_distribution<int> count(min, max), byte(0, 255);
    std::vector<uint8_t> bytes(size_t(count(gvRandom)));
    for (uint8_t &b : bytes)
        b = uint8_t(byte(gvRandom));
    return bytes;
}

// The line a device sends at: its own, or the master's for a device that
// answers any settings.
DevLine fn_device_line(const DevSlave &slave)
{
    return slave.line.baud ? slave.line : gvMasterLine;
}

// At other settings the device's UART makes no sense of the frame, so the
// device does not act; with garble the master gets a few bytes of noise,
// too short for any reply of the device.
void fn_not_understood(const DevSlave &slave)
{
    mf_Sim_Note(&slave, "request at %s, the device's line is %s: not understood, %s",
                mf_Dev_Seen__text(gvSeen).c_str(), mf_Dev_Line__text(slave.line).c_str(),
                gvOpt.garble ? "garbled reply" : "no reply");
    if (!gvOpt.garble)
        return;
    std::vector<uint8_t> noise = fn_random_bytes(1, 4);
    mf_Sim_Print("tx", noise);
    mf_Wire__send(noise, DevClock::now(), mf_Wire__char(fn_device_line(slave)));
}

// A complete frame for the slaves that heard it: to each one it addresses.
void fn_serve_frame(const std::vector<DevSlave *> &hearing, DevClock::time_point replyFrom)
{
    const uint8_t *bytes = gvHeard.data();
    int len = int(gvHeard.size());
    mf_Sim_Print("rx", gvHeard);
    if (const char *fault = mf_Dev_Frame__fault(bytes, len)) {
        mf_Sim_Note(nullptr, "%d byte%s dropped: %s", len, len == 1 ? "" : "s", fault);
        return;
    }
    int id = bytes[0];
    for (DevSlave *slave : hearing) {
        if (id != MODBUS_BROADCAST_ADDRESS && id != slave->id)
            continue;
        DevReply reply{replyFrom, slave, {}, false};
        mf_Sim_Serve(*slave, bytes, len, reply);
        if (!reply.bytes.empty() || reply.restart)
            gvReplies.push_back(reply);
    }
    bool known = id == MODBUS_BROADCAST_ADDRESS;
    for (const DevSlave &slave : gvSlaves)
        known = known || slave.id == id;
    if (!known)
        mf_Sim_Note(nullptr, "request for slave %d, not answered", id);
}

// The line has been silent long enough: what came before is one frame.
void fn_end_of_frame()
{
    if (gvOpt.echo)
        mf_Sim_Print("echo", gvHeard);
    std::vector<DevSlave *> hearing;
    for (DevSlave &slave : gvSlaves) {
        if (slave.restarting)
            slave.restartBytes += gvHeard.size();
        else if (!mf_Dev_Line__hears(slave.line, gvSeen))
            fn_not_understood(slave);
        else
            hearing.push_back(&slave);
    }
    // A device answers once it has taken the frame's end and its turnaround
    // has passed since the frame's last byte.
    DevClock::time_point now = DevClock::now();
    DevClock::time_point replyFrom =
        std::max(now, gvLastByte + std::chrono::milliseconds(gvOpt.turnaroundMs));
    // Noise comes between frames: after the master's, a silence before any reply.
    if (gvOpt.noise > 0 && std::uniform_real_distribution<double>(0, 1)(gvRandom) < gvOpt.noise) {
        std::vector<uint8_t> noise = fn_random_bytes(1, ciDev_NOISE_MAX);
        mf_Sim_Print("noise", noise);
        DevClock::time_point end = mf_Wire__send(noise, now, mf_Wire__char(gvMasterLine));
        replyFrom = std::max(replyFrom, end + gvSilence);
    }
    if (!hearing.empty())
        fn_serve_frame(hearing, replyFrom);
    gvHeard.clear();
}

void fn_start_restart(DevSlave &slave, DevClock::time_point now)
{
    mf_Sim_Note(&slave, "restart, %d ms without listening", ciDev_RESTART_MS);
    slave.restarting = true;
    slave.restartEnd = now + std::chrono::milliseconds(ciDev_RESTART_MS);
    slave.restartBytes = 0;
}

// After the EEPROM command a device that applies its settings on restart
// has replied at the old line; it is deaf for the restart and then listens
// at BR1's baud rate with the same parity and stop bits.
void fn_end_restart(DevSlave &slave)
{
    slave.restarting = false;
    if (slave.restartBytes)
        mf_Sim_Note(&slave, "%zu bytes arrived during the restart, not heard",
                    slave.restartBytes);
    int br1 = slave.map->tab_registers[ciDev_REG_BR1];
    if (long baud = mf_Dev_BR__baud(br1))
        slave.line.baud = baud;
    else
        mf_Sim_Note(&slave, "BR1 = %d is no baud rate, the line is kept", br1);
    mf_Sim_Note(&slave, "line now %s", mf_Dev_Line__text(slave.line).c_str());
}

// Sends the replies that are due, earliest first, and ends finished restarts.
void fn_run_timers(DevClock::time_point now)
{
    for (;;) {
        auto next = gvReplies.end();
        for (auto r = gvReplies.begin(); r != gvReplies.end(); ++r)
            if (r->due <= now && (next == gvReplies.end() || r->due < next->due))
                next = r;
        if (next == gvReplies.end())
            break;
        DevReply reply = *next;
        gvReplies.erase(next);
        DevClock::time_point sent = now;
        if (!reply.bytes.empty()) {
            mf_Sim_Print("tx", reply.bytes);
            sent = mf_Wire__send(reply.bytes, now, mf_Wire__char(fn_device_line(*reply.slave)));
        }
        if (reply.restart) // once the reply has left the line
            fn_start_restart(*reply.slave, std::max(now, sent));
    }
    for (DevSlave &slave : gvSlaves)
        if (slave.restarting && slave.restartEnd <= now)
            fn_end_restart(slave);
}

// The next moment something is due: a frame's end, a reply, a restart's end.
DevClock::time_point fn_next_timer()
{
    DevClock::time_point next = mf_Wire__next();
    if (!gvHeard.empty())
        next = std::min(next, gvLastByte + gvSilence);
    for (const DevReply &reply : gvReplies)
        next = std::min(next, reply.due);
    for (const DevSlave &slave : gvSlaves)
        if (slave.restarting)
            next = std::min(next, slave.restartEnd);
    return next;
}

} // namespace

void mf_Sim_Note(const DevSlave *slave, const char *format, ...)
{
    std::string text = "note: ";
    if (slave && gvSlaves.size() > 1)
        text += "slave " + std::to_string(slave->id) + ": ";
    char buf[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    std::printf("%s%s\n", text.c_str(), buf);
}

void mf_Sim_Print(const char *prefix, const std::vector<uint8_t> &bytes)
{
    std::printf("%s %s\n", prefix, mf_Hex(bytes.data(), int(bytes.size())).c_str());
}

int mf_Sim_Bus__run()
{
    uint8_t buf[512];
    while (!gvStop) {
        DevClock::time_point next = fn_next_timer();
        timespec wait{}, *timeout = nullptr;
        if (next != DevClock::time_point::max()) {
            auto left = std::max(next - DevClock::now(), DevClock::duration::zero());
            long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait = timespec{time_t(ns / 1000000000), long(ns % 1000000000)};
            timeout = &wait;
        }
        pollfd p{giMaster, POLLIN, 0};
        int ready = ppoll(&p, 1, timeout, &gvWaitMask);
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "tovra-devsim: poll failed: %s\n", std::strerror(errno));
            return 1;
        }
        if (ready > 0 && (p.revents & POLLIN)) {
            ssize_t n = read(giMaster, buf, sizeof buf);
            if (n > 0) {
                DevClock::time_point now = DevClock::now();
                if (gvHeard.empty()) { // the master's settings as its frame begins
                    gvSeen = fn_seen();
                    gvMasterLine = mf_Dev_Seen__line(gvSeen, gvRestLine);
                    gvSilence = std::chrono::microseconds(mf_Dev_Silence__us(gvSeen.baud));
                    mf_Wire__check_silence(now, gvMasterLine);
                }
                if (gvHeard.size() < ciDev_HEARD_MAX)
                    gvHeard.insert(gvHeard.end(), buf, buf + n);
                gvLastByte = mf_Wire__hear(buf, int(n), now, mf_Wire__char(gvMasterLine));
            }
        }
        DevClock::time_point now = DevClock::now();
        if (!gvHeard.empty() && now - gvLastByte >= gvSilence)
            fn_end_of_frame();
        fn_run_timers(now);
        mf_Wire__deliver(DevClock::now());
    }
    return 0;
}
