// tovra-devsim entry: the slaves and their state files, the pseudo-terminal,
// the link into the port map, the bus loop, and an orderly stop.
#include "devsim_run.h"
#include "app/version.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

DevOptions gvOpt;
std::vector<DevSlave> gvSlaves;
int giMaster = -1;
int giSlave = -1;
std::mt19937 gvRandom;
volatile sig_atomic_t gvStop = 0;
sigset_t gvWaitMask;
DevLine gvRestLine;

namespace {

void fn_on_signal(int) { gvStop = 1; }

int fn_fail(const std::string &message, int status)
{
    std::fprintf(stderr, "tovra-devsim: %s\n", message.c_str());
    return status;
}

// The one-slave form (--id) keeps --state as it is; on a bus of --slave
// options every slave has its own file beside it.
void fn_make_slaves()
{
    std::error_code ec;
    std::string state = std::filesystem::absolute(gvOpt.statePath, ec).string();
    std::vector<DevSlaveOption> options = gvOpt.slaves;
    if (options.empty())
        options.push_back(DevSlaveOption{gvOpt.slave, -1, DevLine{-1, ciPAR_N, 1}});
    for (const DevSlaveOption &o : options) {
        DevSlave slave;
        slave.id = o.id;
        slave.delayMs = o.delayMs >= 0 ? o.delayMs : gvOpt.delayMs;
        slave.line = o.line.baud >= 0 ? o.line : gvOpt.line;
        slave.statePath = gvOpt.slaves.empty() ? state : mf_Dev_State__path_for(state, o.id);
        gvSlaves.push_back(slave);
    }
}

void fn_print_line(const DevSlave &slave)
{
    std::string who = gvSlaves.size() > 1 ? "slave " + std::to_string(slave.id) + ": " : "";
    std::printf("tovra-devsim: %sline %s%s%s\n", who.c_str(),
                mf_Dev_Line__text(slave.line).c_str(),
                !slave.line.baud ? ""
                : gvOpt.garble   ? ", garbled reply at other settings"
                                 : ", no reply at other settings",
                gvOpt.applyOnCommit ? ", BR1 applied after each EEPROM command" : "");
    if (slave.delayMs)
        std::printf("tovra-devsim: %sreplies %d ms after each request\n", who.c_str(),
                    slave.delayMs);
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
            mf_Dev_Line__rest(tio, gvRestLine);
        if (tcsetattr(fd, TCSANOW, &tio) != 0)
            return -1;
    }
    return 0;
}

// The side of the pseudo-terminal rests at one parity; a bus whose slaves
// differ in parity is read against the first slave with a line.
DevLine fn_rest_line()
{
    for (const DevSlave &slave : gvSlaves)
        if (slave.line.baud)
            return slave.line;
    return gvSlaves.front().line;
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tovra-devsim %s\n", caTovra_Version);
        return 0;
    }
    std::string error;
    if (!mf_Dev_Options__parse(std::vector<std::string>(argv + 1, argv + argc), gvOpt, error))
        return fn_fail(error, 2);
    if (gvOpt.help) {
        std::fputs(caDev_USAGE, stdout);
        return 0;
    }
    gvRandom.seed(gvOpt.seed);
    fn_make_slaves();
    if (!mf_Sim_Serve__init(error))
        return fn_fail(error, 1);
    for (DevSlave &slave : gvSlaves)
        if (!mf_Sim_Slave__init(slave, error))
            return fn_fail(error, 1);
    if (gvOpt.fault.kind != FaultKind::None)
        std::printf("tovra-devsim: fault %s\n", mf_Fault__describe(gvOpt.fault).c_str());
    for (const DevSlave &slave : gvSlaves)
        fn_print_line(slave);
    if (gvOpt.echo)
        std::printf("tovra-devsim: echo: the master gets every byte it sends back\n");
    if (gvOpt.wire || gvOpt.turnaroundMs || gvOpt.latencyMs)
        std::printf("tovra-devsim: wire: %s; the device answers %d ms after a request; the "
                    "adapter hands bytes over %s\n",
                    gvOpt.wire ? "each byte takes its character time" : "bytes take no time",
                    gvOpt.turnaroundMs,
                    gvOpt.latencyMs ? ("every " + std::to_string(gvOpt.latencyMs) + " ms").c_str()
                                    : "at once");
    if (gvOpt.noise > 0)
        std::printf("tovra-devsim: noise after %g%% of the master's frames, seed %u\n",
                    gvOpt.noise * 100, gvOpt.seed);
    gvRestLine = fn_rest_line();

    // Signals are taken only while waiting for the line, so a stop never
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

    std::string portsDir = gvOpt.portsDir.empty() ? mf_Dev_PortsDir__default() : gvOpt.portsDir;
    std::string linkPath;
    if (!mf_Dev_Link__make(portsDir, gvOpt.com, ptyPath, linkPath, error))
        return fn_fail(error, 1);
    std::string ids;
    for (const DevSlave &slave : gvSlaves)
        ids += (ids.empty() ? "" : ",") + std::to_string(slave.id);
    std::printf("tovra-devsim: ready COM%d %s slave=%s link=%s\n", gvOpt.com, ptyPath.c_str(),
                ids.c_str(), linkPath.c_str());

    int status = mf_Sim_Bus__run();

    mf_Dev_Link__remove(linkPath, ptyPath);
    std::printf("tovra-devsim: stopped, %s removed\n", linkPath.c_str());
    mf_Sim_Serve__close();
    close(giSlave);
    close(giMaster);
    return status;
}
