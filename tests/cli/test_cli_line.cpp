// tovra-cli on the line: how long an exchange waits, what it does with a
// late or lost reply and with an adapter's echo, the live trace, and a port
// named by its device path. Against the simulator, and a scripted slave for
// a reply the simulator never sends.
#include <QJsonObject>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "cli_run.h"
#include "devsim.h"
#include "scratch.h"

namespace fs = std::filesystem;

namespace {

using CliLineTest = ScratchDirTest;

const std::string kReadRequest = "01 03 11 01 00 02 90 f7";

// A slave on a pseudo-terminal that answers each 8-byte request with fixed
// bytes, for a reply the simulator never sends.
class ScriptedSlave {
public:
    // `only`: answers only a master at that speed (B0: at any).
    explicit ScriptedSlave(std::string reply, speed_t only = B0) : reply_(std::move(reply)), only_(only)
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        path_ = ptsname(master_);
        // Held open, so the master's close does not hang the line up; raw both ways.
        slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
        termios t = {};
        tcgetattr(slave_, &t);
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedSlave()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        close(slave_);
        close(master_);
    }
    const std::string &path() const { return path_; }

private:
    void Serve()
    {
        std::string pending;
        while (!stop_) {
            pollfd p = {master_, POLLIN, 0};
            char buffer[256];
            ssize_t n = poll(&p, 1, 20) == 1 && (p.revents & POLLIN) ? read(master_, buffer, sizeof buffer) : 0;
            pending.append(buffer, static_cast<size_t>(n > 0 ? n : 0));
            while (pending.size() >= 8) {
                pending.erase(0, 8);
                termios t = {};
                tcgetattr(slave_, &t);
                if (only_ != B0 && cfgetospeed(&t) != only_)
                    continue;
                if (write(master_, reply_.data(), reply_.size()) < 0)
                    return;
            }
        }
    }
    std::string reply_;
    speed_t only_;
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

// The trace's lines of one kind ("tx", "rx", "echo"): their time of day in
// milliseconds and their bytes (and what was wrong, after two blanks).
struct TraceLine {
    long ms;
    std::string kind;
    std::string rest;
};

std::vector<TraceLine> Trace(const std::string &err)
{
    static const std::regex line(R"((\d\d):(\d\d):(\d\d)\.(\d\d\d) (tx|rx|echo)((?: [0-9a-f]{2})*(?:  \(.*\))?)\n)");
    std::vector<TraceLine> lines;
    for (std::sregex_iterator it(err.begin(), err.end(), line), end; it != end; ++it) {
        const std::smatch &m = *it;
        long ms = ((std::stol(m[1]) * 60 + std::stol(m[2])) * 60 + std::stol(m[3])) * 1000 + std::stol(m[4]);
        lines.push_back({ms, m[5], m[6].str().empty() ? "" : m[6].str().substr(1)});
    }
    return lines;
}

// The time from each request to the end of its reply, in milliseconds.
std::vector<long> ReplyTimes(const std::string &err)
{
    std::vector<long> times;
    long sent = -1;
    for (const TraceLine &l : Trace(err)) {
        if (l.kind == "tx")
            sent = l.ms;
        else if (l.kind == "rx" && sent >= 0)
            times.push_back((l.ms - sent + 86400000) % 86400000);
    }
    return times;
}

} // namespace

TEST_F(CliLineTest, AnExchangeEndsWithTheLastByteOfItsReplyNotAfterAFixedWait)
{
    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    // The window waits 50 ms before it reads, and 500 ms after the EEPROM
    // command; the line itself takes a millisecond. The fastest of three
    // reads shows the wait is gone, whatever else the machine is doing.
    std::vector<long> reads;
    for (int i = 0; i < 3; ++i) {
        Outcome run = Cli(sim, "read", {"-v"});
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<long> times = ReplyTimes(run.err);
        ASSERT_EQ(times.size(), 1u) << run.err;
        reads.push_back(times[0]);
    }
    EXPECT_LT(*std::min_element(reads.begin(), reads.end()), 40) << "read replies after " << reads[0] << ", "
                                                                 << reads[1] << ", " << reads[2] << " ms";
    Outcome write = Cli(sim, "write", {"--br1", "19200", "-v"});
    ASSERT_EQ(write.status, 0) << write.err;
    // BR2 checked first (the EEPROM command stores it too), BR1, EEPROM command, read-back
    std::vector<long> times = ReplyTimes(write.err);
    ASSERT_EQ(times.size(), 4u) << write.err;
    EXPECT_LT(times[2], 400) << "the EEPROM command's reply ends its wait";
}

TEST_F(CliLineTest, TimeoutAndRetriesDecideWhatALateOrLostReplyDoes)
{
    const struct {
        Args device;
        Args cli; // the command, then its options
        int status;
        const char *err; // in stderr
        const char *log; // in the log
        int stores;      // EEPROM stores the device made
    } rows[] = {
        {{"--delay", "600"}, {"read"}, 4, "read BR1, BR2: no reply within 0.218 s", "", 0},
        {{"--delay", "600"}, {"read", "--timeout", "1"}, 0, "", "", 0},
        {{"--fault", "no-reply", "--fault-nth", "1"}, {"read"}, 4, "no reply within 0.218 s", "", 0},
        {{"--fault", "no-reply", "--fault-nth", "1"}, {"read", "--retries", "2"}, 0, "",
         "retry 1 of 2\n", 0},
        {{"--fault", "no-reply"}, {"read", "--retries", "2", "--timeout", "0.05"}, 4,
         "no reply within 0.0677 s: check the cable, the slave ID and the line settings (3 attempts)",
         "retry 2 of 2\n", 0},
        // Heard out before the program ends, and named.
        {{"--delay", "250"}, {"read"}, 4, "no reply within 0.218 s",
         " ms late: the device is slower than the limit; raise --timeout\n", 0},
        // The limit counts both frames' time on the wire: 170 ms at 1200 8E2.
        {{"--wire", "--line", "1200,E,2", "--turnaround", "70"},
         {"read", "--baud", "1200", "--parity", "E", "--stop", "2"}, 0, "", "", 0},
        // The EEPROM command goes again only when no reply came: a garbled
        // one shows that the device heard it, and may have stored.
        {{"--fault", "no-reply", "--fault-fc", "5", "--fault-nth", "1"},
         {"write", "--br1", "19200", "--retries", "2"}, 0, "", "\nretry 1 of 2\ncmd Write EEPROM\n", 2},
        {{"--fault", "bad-crc", "--fault-fc", "5"}, {"write", "--br1", "19200", "--retries", "2"}, 5,
         "EEPROM command: reply with a wrong checksum", "", 1},
    };
    for (const auto &row : rows) {
        DevSim sim(row.device);
        ASSERT_TRUE(sim.ready()) << sim.output();
        Args cli = row.cli;
        cli.insert(cli.end(), {"--log", "run.log"});
        Outcome run = Cli(sim, cli[0], Args(cli.begin() + 1, cli.end()));
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_TRUE(Contains(run.err, row.err)) << run.err;
        EXPECT_TRUE(Contains(ReadFileBytes("run.log"), row.log)) << ReadFileBytes("run.log");
        sim.stop();
        int stores = 0;
        for (size_t at = 0; (at = sim.output().find("note: EEPROM store", at)) != std::string::npos; ++at)
            ++stores;
        EXPECT_EQ(stores, row.stores) << sim.output();
        EXPECT_FALSE(Contains(sim.output(), "silence too short")) << sim.output();
        fs::remove("run.log");
        fs::remove(sim.statePath());
    }
}

// A reply that comes after its limit is heard out and thrown away before
// the next request, also the next program's: never the answer to it.
TEST_F(CliLineTest, ALateReplyIsNeverTakenForTheAnswerToALaterRequest)
{
    const struct {
        Args device;
        std::vector<Args> commands; // run one after the other
        const char *never;          // in the last command's output
    } rows[] = {
        // The first BR1 write is acknowledged just after its limit, on the
        // wire; its acknowledgement must not pass for BR2's.
        {{"--wire", "--fault", "delay=203", "--fault-nth", "1"},
         {{"write", "--br1", "38400", "--br2", "19200", "--retries", "2"}}, ""},
        // Register 0 (21590) is answered after the first program's limit.
        {{"--delay", "250"}, {{"test-read"}, {"read", "--register", "0x1101"}}, "21590"},
    };
    for (const auto &row : rows) {
        DevSim sim(row.device);
        ASSERT_TRUE(sim.ready()) << sim.output();
        Outcome run;
        for (const Args &command : row.commands)
            run = Cli(sim, command[0], Args(command.begin() + 1, command.end()));
        if (*row.never) {
            EXPECT_FALSE(Contains(run.out, row.never)) << run.out;
        }
        // Both or neither: never a half write.
        std::string state = fs::exists(sim.statePath()) ? ReadFileBytes(sim.statePath()) : "";
        EXPECT_EQ(Contains(state, "BR1=5"), Contains(state, "BR2=4")) << state << run.err;
        EXPECT_FALSE(Contains(sim.output(), "silence too short")) << sim.output();
    }
}

TEST_F(CliLineTest, AnAdapterThatEchoesIsNamedAndEchoDropsTheEcho)
{
    DevSim sim({"--echo"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    Outcome echo = Cli(sim, "write", {"--br1", "19200", "--echo", "-v"});
    EXPECT_EQ(echo.status, 0) << echo.err << sim.output();
    EXPECT_EQ(echo.out, "BR1=19200 BR2=9600\n");
    std::vector<TraceLine> trace = Trace(echo.err);
    // The read first, BR1, EEPROM command, read-back: each tx, echo, rx
    ASSERT_EQ(trace.size(), 12u) << echo.err;
    EXPECT_EQ(trace[10].kind + " " + trace[10].rest, "echo " + kReadRequest + "  (dropped)");
    EXPECT_EQ(trace[11].kind + " " + trace[11].rest, "rx 01 03 04 00 04 00 03 fb f3");

    // Last: the echo ends the exchange at once, and the device's reply is
    // still on its way when the program exits.
    Outcome plain = Cli(sim, "read", {"--log", "run.log"});
    EXPECT_EQ(plain.status, 5);
    EXPECT_TRUE(Contains(plain.err, "read BR1, BR2: the adapter echoes what it sends (two-wire RS-485): use --echo"))
        << plain.err;
    EXPECT_TRUE(Contains(ReadFileBytes("run.log"), "\tP222\tMB.Rx\t" + kReadRequest +
                                                       " \n\t\xA1\xB9\xA1\xB9\xA1\xB9 Modbus.core: the request came "
                                                       "back: the adapter echoes what it sends (two-wire RS-485)\n"))
        << ReadFileBytes("run.log");
}

TEST_F(CliLineTest, AnExceptionWithCodeZeroIsARefusalToo)
{
    ScriptedSlave slave(std::string("\x01\x83\x00\x41\x30", 5));
    Outcome run = Cli({"read", "--port", slave.path()});
    EXPECT_EQ(run.status, 6);
    EXPECT_TRUE(Contains(run.err, "the device refused: exception 0")) << run.err;
}

// A slave that gives one reply to every request at 9600 baud: it answers
// the probe, and then the second read of BR1 and BR2 with something that is
// no normal reply to it. The search must go on to its end and say what came.
TEST_F(CliLineTest, FindIsConfirmedOnlyByANormalReplyOfAnotherShapeFromTheSlaveItNamed)
{
    const struct {
        std::string reply;
        const char *says;
    } rows[] = {
        {std::string("\x01\x83\x02\xc0\xf1", 5),
         "Not found on COM210: a device answered at 6 settings, but not a second read (BR1, BR2)"},
        {std::string("\x01\x03\x02\x54\x56\x06\xba", 7), // the probe's size
         "Not found on COM210: a device answered at 6 settings, but not a second read (BR1, BR2)"},
        {std::string("\x03\x03\x02\x54\x56\x7f\x7a", 7),
         "Not found on COM210: a reply came from another slave ID (3), which did not answer a read of its own"},
    };
    const std::string link = DevSim::portsDir() + "/COM210";
    for (const auto &row : rows) {
        ScriptedSlave slave(row.reply, B9600);
        fs::create_symlink(slave.path(), link);
        Outcome run = Cli({"find", "--com", "210", "--limit", "50"});
        fs::remove(link);
        EXPECT_EQ(run.status, 5) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(Contains(run.err, row.says)) << run.err;
    }
}

TEST_F(CliLineTest, TheTraceShowsEveryFrameWithItsTimeAlsoAFailedOne)
{
    const struct {
        Args device;
        const char *rx;
    } rows[] = {
        {{}, "01 03 04 00 03 00 03 4a 32"},
        {{"--fault", "bad-crc"}, "01 03 04 00 03 00 03 b5 cd  (wrong checksum)"},
        {{"--fault", "exception=2"}, "01 83 02 c0 f1  (exception 2)"},
        {{"--fault", "no-reply"}, " (nothing)"},
    };
    for (const auto &row : rows) {
        DevSim sim(row.device);
        ASSERT_TRUE(sim.ready()) << sim.output();
        Outcome run = Cli(sim, "read", {"-v"});
        std::vector<TraceLine> trace = Trace(run.err);
        ASSERT_EQ(trace.size(), 2u) << run.err;
        EXPECT_EQ(trace[0].kind + " " + trace[0].rest, "tx " + kReadRequest);
        EXPECT_EQ(trace[1].kind + " " + trace[1].rest, std::string("rx ") + row.rx);
    }
}

TEST_F(CliLineTest, APortIsReachedByItsDevicePathAsGivenByteForByte)
{
    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    fs::create_directories("serial/by-id");
    const std::string names[] = {
        "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
        "serial/by-id/usb-\xff\xfe-if00-port0", // not UTF-8
    };
    for (const std::string &name : names) {
        fs::create_symlink(sim.ptyPath(), name);
        Outcome run = Cli({"read", "--port", name, "--json"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(QString::fromUtf8(run.out).toUtf8().toStdString() == run.out) << "valid UTF-8: " << run.out;
        QJsonObject json = Json(run);
        EXPECT_EQ(json["BR1"].toInt(), 9600);
        // A byte that is no UTF-8 comes back as U+DC00 plus the byte.
        QString expected;
        for (unsigned char c : dir_ + "/" + name)
            expected += c < 0x80 ? QChar(c) : QChar(0xDC00 + c);
        EXPECT_EQ(json["port"].toString(), expected);
    }
    EXPECT_EQ(Cli({"read", "--port", "serial/by-id/none"}).status, 3);

    // The search goes by COM number: the one that names the same device.
    Outcome found = Cli({"find", "--port", names[0]});
    EXPECT_EQ(found.out, "COM=200 BAUD=9600 PARITY=N DATA=8 STOP=1 ID=1\n") << found.err;
    ScriptedSlave unmapped("");
    Outcome refused = Cli({"find", "--port", unmapped.path()});
    EXPECT_EQ(refused.status, 3);
    EXPECT_TRUE(Contains(refused.err, unmapped.path() + " has no COM number")) << refused.err;
}

TEST_F(CliLineTest, Rs485ModeIsRefusedInWordsWhereTheDriverHasNone)
{
    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    Outcome run = Cli(sim, "read", {"--rs485"});
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(Contains(run.err, "tovra-cli: --rs485: the driver of COM" + std::to_string(sim.com()) +
                                      " has no RS-485 mode"))
        << run.err;
    EXPECT_EQ(run.out, "");
}
