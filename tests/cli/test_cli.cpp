// tovra-cli as a whole process against tovra-devsim: what it prints, its
// exit status for each outcome, and what the device holds afterwards.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <csignal>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "cli_run.h"
#include "devsim.h"
#include "log_texts.h"
#include "plain_user.h"
#include "scratch.h"

namespace fs = std::filesystem;

namespace {

using CliTest = ScratchDirTest;

// Waits for the watch to follow an event: well beyond the second it takes.
constexpr int kWatchMs = 5000;

} // namespace

TEST_F(CliTest, ReadPrintsBothBaudRatesAndOnRequestTheRegisterValues)
{
    const struct {
        Args device;
        Args cli;
        const char *out;
    } rows[] = {
        {{"--br1", "5", "--br2", "7"}, {}, "BR1=38400 BR2=115200\n"},
        {{"--br1", "5", "--br2", "7"}, {"--raw"}, "BR1=38400 BR2=115200 BR1_raw=5 BR2_raw=7\n"},
        {{"--br1", "9"}, {}, "BR1=unknown BR2=9600\n"}, // a value outside the table has no baud rate
    };
    for (const auto &row : rows) {
        DevSim sim(row.device);
        ASSERT_TRUE(sim.ready()) << sim.output();
        Outcome run = Cli(sim, "read", row.cli);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, row.out);
    }
}

TEST_F(CliTest, ReadReachesADeviceOnlyAtItsOwnLineAndSlaveId)
{
    DevSim sim({"--line", "38400,E,1", "--id", "7"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    const struct {
        Args cli;
        int status;
    } rows[] = {
        {{"--baud", "38400", "--parity", "E", "--id", "7"}, 0},
        {{"--baud", "38400", "--parity", "e"}, 4}, // slave ID 1
        {{"--id", "7"}, 4},                         // 9600 8N1
    };
    for (const auto &row : rows)
        EXPECT_EQ(Cli(sim, "read", row.cli).status, row.status) << row.cli[1];
}

TEST_F(CliTest, EachFailureHasItsExitStatusAndIsPutInWords)
{
    const struct {
        Args device; // empty: no device at all
        int status;
        const char *words;
    } rows[] = {
        {{"--fault", "no-reply"}, 4, "read BR1, BR2: no reply within 0.218 s: check the cable"},
        {{"--fault", "bad-crc"}, 5, "reply with a wrong checksum"},
        {{"--fault", "short"}, 5, "reply of the wrong length"},
        {{"--fault", "exception=2"}, 6, "the device refused: exception 2, illegal data address"},
        {{}, 3, "Open COM250 NG : COM name not mapped to a device"},
    };
    for (const auto &row : rows) {
        std::unique_ptr<DevSim> sim;
        if (!row.device.empty()) {
            sim = std::make_unique<DevSim>(row.device);
            ASSERT_TRUE(sim->ready()) << sim->output();
        }
        Outcome run = sim ? Cli(*sim, "read") : Cli({"read", "--com", "250"});
        EXPECT_EQ(run.status, row.status) << row.words;
        EXPECT_TRUE(Contains(run.err, row.words)) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(CliTest, WriteStoresTheValuesAndPrintsWhatTheDeviceReadsBack)
{
    const struct {
        Args cli;
        const char *out;
        const char *stored; // the state file, nullptr when nothing was stored
    } rows[] = {
        {{"--br1", "38400", "--br2", "115200"}, "BR1=38400 BR2=115200\n", "BR1=5\nBR2=7\n"},
        {{"--br2", "1200"}, "BR1=9600 BR2=1200\n", "BR1=3\nBR2=0\n"},
        {{"--br1", "19200", "--no-commit"}, "BR1=19200 BR2=9600\n", nullptr},
    };
    for (const auto &row : rows) {
        DevSim sim;
        ASSERT_TRUE(sim.ready()) << sim.output();
        Outcome run = Cli(sim, "write", row.cli);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(ReadFileBytes(sim.statePath()), row.stored ? row.stored : kNoFile);
        fs::remove(sim.statePath());
    }
}

TEST_F(CliTest, AFailedWriteStoresNothingAndSaysHowFarItGot)
{
    const struct {
        Args device;
        Args cli;
        int status;
        const char *words;
    } rows[] = {
        {{"--fault", "exception=2", "--fault-addr", "0x1102", "--fault-fc", "6"},
         {"--br1", "38400", "--br2", "57600"}, 6, "write BR2: the device refused: exception 2, "
                                                  "illegal data address (BR1 written, nothing stored)"},
        {{"--fault", "exception=4", "--fault-fc", "5"}, {"--br1", "38400"}, 6,
         "EEPROM command: the device refused: exception 4, server device failure (BR1 written, not stored)"},
        // A device that acknowledges the writes without acting on them.
        {{"--fault", "ignore"}, {"--br1", "38400"}, 7, "read-back differs: BR1 reads 9600, 38400 was written"},
        {{}, {"--br1", "38401"}, 2,
         "--br1 '38401' is not a baud rate of the device; valid: 1200 2400 4800 9600 19200 38400 57600 115200"},
        // The EEPROM command would store the BR1 that no selector can show.
        {{"--br1", "9"}, {"--br2", "19200"}, 2,
         "write: BR1 holds 9, no baud rate of the device: the EEPROM command would store it again; "
         "give --br1 too (nothing written)"},
    };
    for (const auto &row : rows) {
        DevSim sim(row.device);
        ASSERT_TRUE(sim.ready()) << sim.output();
        Outcome run = Cli(sim, "write", row.cli);
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_TRUE(Contains(run.err, row.words)) << run.err;
        EXPECT_FALSE(fs::exists(sim.statePath())) << row.words;
        if (row.status == 2) {
            EXPECT_FALSE(Contains(sim.output(), "rx 01 06")) << "a refused value writes nothing";
        }
    }
}

TEST_F(CliTest, JsonIsOneObjectOnStdoutAlsoForAFailure)
{
    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    // Options may stand before the command too.
    QJsonObject read = Json(Cli({"--json", "read", "--com", std::to_string(sim.com())}));
    EXPECT_EQ(read["ok"].toBool(), true);
    EXPECT_EQ(read["BR1"].toInt(), 9600);
    EXPECT_EQ(read["BR2_raw"].toInt(), 3);
    QJsonObject write = Json(Cli(sim, "write", {"--br2", "57600", "--json"}));
    EXPECT_EQ(write["BR2"].toInt(), 57600);
    EXPECT_EQ(write["stored"].toBool(), true);
    QJsonObject failed = Json(Cli({"read", "--com", "250", "--json"}));
    EXPECT_EQ(failed["ok"].toBool(), false);
    EXPECT_EQ(failed["error"].toString(), "port");
    EXPECT_EQ(failed["exit"].toInt(), 3);

    QJsonArray ports = Json(Cli({"ports", "--json"}))["ports"].toArray();
    auto simulator = std::find_if(ports.begin(), ports.end(), [&](const QJsonValue &p) {
        return p.toObject()["com"].toInt() == sim.com();
    });
    ASSERT_NE(simulator, ports.end());
    QJsonObject port = simulator->toObject();
    EXPECT_EQ(port["path"].toString().toStdString(), sim.linkPath());
    EXPECT_TRUE(port["name"].toString().endsWith("(COM200)"));
}

TEST_F(CliTest, PortsPrintsTheFreePortsAndKeepsTheSearchFilesOnlyWhereAsked)
{
    fs::create_directory("no-ports");
    Outcome none = Cli({"ports"}, {"TOVRA_PORTS_DIR=no-ports"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "") << "scripts read an empty list";
    EXPECT_EQ(none.err, "no serial ports: plug in an adapter, or start tovra-devsim\n");
    fs::remove("no-ports");

    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    std::string line = "200\t" + sim.linkPath() + "\tVirtual serial port [" +
                       sim.ptyPath().substr(5) + "] (COM200)\n";
    Outcome run = Cli({"ports"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, line)) << run.out;
    EXPECT_TRUE(fs::is_empty(".")) << "the search's files went to a temporary folder";

    const std::string kept = "kept-\xe9"; // not UTF-8: used as it is
    fs::create_directory(kept);
    EXPECT_EQ(Cli({"ports", "--files", kept}).status, 0);
    EXPECT_TRUE(Contains(ReadFileBytes(kept + "/Dev_Mng_04_COM_Prolific_First.txt"), line.substr(line.rfind('\t') + 1)));
    EXPECT_TRUE(Contains(ReadFileBytes(kept + "/COM__Exist.txt"), "200\n"));
}

TEST_F(CliTest, LogFileGetsTheWindowsOpenTraceAndDiagnosisLines)
{
    {
        DevSim sim;
        ASSERT_TRUE(sim.ready()) << sim.output();
        Cli(sim, "read", {"--log", "run.log"});
        Cli(sim, "read"); // no --log: nothing logged, no switch file made
    }
    DevSim silent({"--fault", "no-reply"});
    ASSERT_TRUE(silent.ready()) << silent.output();
    Cli(silent, "read", {"--log", "run.log"});
    std::string log = ReadFileBytes("run.log");
    for (const std::string &line : {
             "Close COM P222 OK\n" + OpenReport(200, "0-8-1") + "\nr BR1, BR2\n",
             kReadBRTx,
             std::string("\tP222\tMB.Rx\t#01.03 (04)   [0003][0003]  {"),
             std::string("\tP222\tMB.Rx\t\xA1\xB9\xA1\xB9\xA1\xB9 COM read Time-out\n\n"),
         })
        EXPECT_TRUE(Contains(log, line)) << line << "\nin\n" << log;
    EXPECT_FALSE(fs::exists("YN_log_main.txt"));
    EXPECT_FALSE(fs::exists("log___main.txt"));
}

TEST_F(CliTest, FindPrintsTheSettingsThatAnsweredOrExitsAsNoReply)
{
    const struct {
        Args sim;
        Args find;
        const char *out;
    } rows[] = {
        {{"--line", "38400,E,1", "--id", "7"}, {"--id", "7"}, "BAUD=38400 PARITY=E DATA=8 STOP=1 ID=7\n"},
        // An echoing adapter: found at the first probe, or known beforehand.
        {{"--echo"}, {}, "BAUD=9600 PARITY=N DATA=8 STOP=1 ID=1 ECHO=1\n"},
        {{"--echo", "--line", "19200,O,2"}, {"--echo"}, "BAUD=19200 PARITY=O DATA=8 STOP=2 ID=1 ECHO=1\n"},
        // On a wire as slow as a real one: the second read's longer reply
        // has its own wire time within the limit.
        {{"--wire", "--line", "1200,E,2", "--turnaround", "70"},
         {"--baud", "1200", "--parity", "E", "--stop", "2"},
         "BAUD=1200 PARITY=E DATA=8 STOP=2 ID=1\n"},
    };
    for (const auto &row : rows) {
        DevSim sim(row.sim);
        ASSERT_TRUE(sim.ready()) << sim.output();
        Outcome run = Cli(sim, "find", row.find);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "COM=" + std::to_string(sim.com()) + " " + row.out);
    }

    Outcome run;
    DevSim at600({"--com", "201", "--line", "600"}); // a speed the device cannot store
    ASSERT_TRUE(at600.ready()) << at600.output();
    run = Cli(at600, "find", {"--json"});
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_EQ(Json(run)["error"].toString().toStdString(), "no-reply");
}

TEST(CliArguments, BadOnesGiveTheUsageAndExitStatus2)
{
    const struct {
        Args args;
        const char *words;
    } rows[] = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"read"}, "read needs --com or --port"},
        {{"write", "--com", "5"}, "write needs --br1 or --br2"},
        {{"read", "--com", "257"}, "--com '257': expected a COM port number, 1..256"},
        {{"read", "--com", "5", "--parity", "X"}, "--parity 'X': expected N, O, E, M or S"},
        {{"read", "--com"}, "--com needs a value (N)"},
        {{"read", "--com", "5", "--br1", "9600"}, "--br1 is no option of read"},
        {{"ports", "--json=1"}, "--json takes no value"},
        {{"read", "5"}, "unknown argument '5'"},
    };
    for (const auto &row : rows) {
        Outcome run = Cli(row.args);
        EXPECT_EQ(run.status, 2) << row.words;
        EXPECT_TRUE(Contains(run.err, std::string("tovra-cli: ") + row.words + "\nusage: tovra-cli "))
            << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(CliArguments, HelpShowsTheUsageOfTheProgramOrOfOneCommand)
{
    const struct {
        Args args;
        const char *start;
    } rows[] = {
        {{"--help"}, "Usage: tovra-cli COMMAND [OPTION]..."},
        {{"write", "--help"}, "usage: tovra-cli write --com N"},
        {{"read", "--com", "5", "--help"}, "usage: tovra-cli read --com N"},
    };
    for (const auto &row : rows) {
        Outcome run = Cli(row.args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind(row.start, 0), 0u) << run.out;
        EXPECT_TRUE(Contains(run.out, "Exit status: 0 done"));
    }
}

TEST_F(CliTest, AnyRegisterAndTheTestReadPrintTheirValues)
{
    DevSim sim({"--br1", "5", "--ident", "0x8001"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    const struct {
        const char *command;
        Args cli;
        const char *out;
    } rows[] = {
        {"read", {"--register", "0x1101", "--count", "2"}, "0x1101=5\n0x1102=3\n"},
        {"read", {"--register", "0"}, "0x0000=32769\n"}, // as the device holds it, unsigned
        {"read", {"--register", "4353", "--json"}, "{\"command\":\"read\",\"ok\":true,\"com\":200,\"register\":4353,\"values\":[5]}\n"},
        // As the window shows it, signed.
        {"test-read", {}, "addr=0x0000, data=-32767\n"},
        {"test-read", {"--json"}, "{\"command\":\"test-read\",\"ok\":true,\"com\":200,\"register\":0,\"value\":-32767}\n"},
    };
    for (const auto &row : rows) {
        Outcome run = Cli(sim, row.command, row.cli);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, row.out);
    }
    Outcome missing = Cli(sim, "read", {"--register", "0x2000"});
    EXPECT_EQ(missing.status, 6);
    EXPECT_TRUE(Contains(missing.err, "read register 0x2000: the device refused: exception 2")) << missing.err;
}

TEST_F(CliTest, TheLogGoesToAnyWritablePathAndDashIsStandardOutput)
{
    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    const std::string tx = "\tP222\tMB.Tx\t#01.03 <1101> (0002) {90f7}\tRead\n";
    Outcome out = Cli(sim, "read", {"--log", "-"});
    EXPECT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(out.out.rfind("Close COM P222 OK\n", 0), 0u) << out.out;
    EXPECT_TRUE(Contains(out.out, tx + "\tP222\tMB.Rx\t#01.03 (04)   [0003][0003]  {"));
    EXPECT_TRUE(Contains(out.out, "BR1=9600 BR2=9600\n"));
    EXPECT_FALSE(fs::exists("-"));

    Outcome err = Cli(sim, "read", {"--log", "/dev/stderr"});
    EXPECT_EQ(err.status, 0) << err.err;
    EXPECT_EQ(err.out, "BR1=9600 BR2=9600\n");
    EXPECT_TRUE(Contains(err.err, tx));

    const std::string latin1 = "site-\xe9t\xe9.log"; // not UTF-8: used as it is
    EXPECT_EQ(Cli(sim, "read", {"--log", latin1}).status, 0);
    EXPECT_TRUE(Contains(ReadFileBytes(latin1), tx));
}

namespace {

enum class Reader { None, ToTheEnd, Leaves };

// The reader of a FIFO, opened before the program starts (`fd`): it reads
// until the writer closes (ToTheEnd) or closes after its first bytes (Leaves).
std::string ReadFifo(int fd, Reader how)
{
    std::string got;
    char buf[4096];
    for (int idle = 0; idle < 2000; ++idle) {
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, 10);
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0)
            got.append(buf, size_t(n)), idle = 0;
        if ((n > 0 && how == Reader::Leaves) || (n == 0 && !got.empty()))
            break;
    }
    close(fd);
    return got;
}

} // namespace

TEST_F(CliTest, ALogOnAFifoNeverHoldsTheProgram)
{
    const struct {
        Reader reader;
        Args device;
        Args cli;
        int status;
        const char *err; // in stderr
        const char *got; // what the reader got, at its end
    } rows[] = {
        {Reader::None, {}, {"read"}, 2,
         "cannot write the log log.fifo: No such device or address (a FIFO with no reader: start "
         "its reader first)",
         ""},
        // More than 50 counted lines: the log is not closed and reopened.
        {Reader::ToTheEnd, {"--fault", "no-reply"}, {"read", "--timeout", "0.001", "--retries", "60"},
         4, "(61 attempts)", "retry 60 of 60\n"},
        // The reply's trace comes after the reader has gone.
        {Reader::Leaves, {"--delay", "300"}, {"read", "--timeout", "1"}, 2,
         "the log log.fifo could not be written from some point on: Broken pipe; its lines stop "
         "there", "Close COM P222 OK\n"},
    };
    for (const auto &row : rows) {
        ASSERT_EQ(mkfifo("log.fifo", 0600), 0);
        DevSim sim(row.device);
        ASSERT_TRUE(sim.ready()) << sim.output();
        std::string got;
        std::thread reader;
        if (row.reader != Reader::None) {
            int fd = open("log.fifo", O_RDONLY | O_NONBLOCK | O_CLOEXEC); // not the child's
            ASSERT_GE(fd, 0);
            reader = std::thread([&got, fd, &row] { got = ReadFifo(fd, row.reader); });
        }
        Args cli = row.cli;
        cli.insert(cli.begin() + 1, {"--com", std::to_string(sim.com()), "--log", "log.fifo"});
        Outcome run = Cli(cli);
        if (reader.joinable())
            reader.join();
        EXPECT_EQ(run.status, row.status) << row.err << "\n" << run.err;
        EXPECT_TRUE(Contains(run.err, row.err)) << run.err;
        EXPECT_TRUE(Contains(got, row.got)) << got;
        if (row.reader == Reader::None) {
            EXPECT_FALSE(Contains(sim.output(), "rx ")) << "the port is not touched";
        }
        fs::remove("log.fifo");
    }
}

TEST(CliArguments, EveryUsageFailureExits2WithTheUsageAndWithJsonOneObject)
{
    const struct {
        Args args;
        const char *words;
    } rows[] = {
        {{"read", "--com", "250", "--log", "/nonexistent/run.log"},
         "cannot write the log /nonexistent/run.log: No such file or directory"},
        {{"read", "--com", "250", "--log", "/"}, "cannot write the log /: Is a directory"},
        {{"read", "--com", "250", "--log", "-"}, "--log - and --json both write to standard output"},
        {{"read", "--com", "250", "--port", "/dev/null"}, "--com and --port both name the port: give one"},
        {{"read", "--com", "250", "--count", "2"}, "--count needs --register"},
        {{"read", "--com", "250", "--register", "0xffff", "--count", "2"},
         "--register 0xffff --count 2 runs past register 0xffff"},
        {{"read", "--com", "250", "--timeout", "0"}, "--timeout '0': expected seconds, 0.001..60"},
        {{"read", "--com", "250", "--retries", "-1"}, "--retries '-1': expected 0..100"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
    };
    for (const auto &row : rows) {
        Args args = row.args;
        args.push_back("--json");
        Outcome run = Cli(args);
        EXPECT_EQ(run.status, 2) << row.words;
        EXPECT_TRUE(Contains(run.err, std::string("tovra-cli: ") + row.words + "\nusage: tovra-cli "))
            << run.err;
        QJsonObject json = Json(run);
        EXPECT_EQ(json["error"].toString(), "usage");
        EXPECT_EQ(json["exit"].toInt(), 2);
        EXPECT_EQ(json["message"].toString().toStdString(), row.words);
    }
}

TEST_F(CliTest, PortsFindsTheSimulatorThroughARelativePortMapFolder)
{
    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    fs::create_symlink(DevSim::portsDir(), "map");
    Outcome run = Cli({"ports"}, {"TOVRA_PORTS_DIR=map", "TOVRA_PORTS_ONLY=1"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "200\t" + dir_ + "/map/COM200\t")) << run.out;
}

TEST_F(CliTest, FindReachesEveryStorableSpeedAndTriesTheGivenSettingsFirst)
{
    DevSim sim({"--line", "57600,E,1"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    const std::string found = "COM=" + std::to_string(sim.com()) + " BAUD=57600 PARITY=E DATA=8 STOP=1 ID=1\n";
    Outcome run = Cli(sim, "find", {"--log", "searched.txt"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, found);
    run = Cli(sim, "find", {"--baud", "57600", "--parity", "E", "--log", "given.txt"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, found);
    std::string given = ReadFileBytes("given.txt");
    EXPECT_FALSE(Contains(given, "Find COM")) << "found at the first setting tried:\n" << given;
    EXPECT_TRUE(Contains(ReadFileBytes("searched.txt"), "Find COM" + std::to_string(sim.com()) + " 9600 8N1"));
}

TEST_F(CliTest, AnEepromCommandWithoutAReplyIsReportedAsNotConfirmed)
{
    DevSim sim({"--fault", "no-reply", "--fault-fc", "5"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    Outcome run = Cli(sim, "write", {"--br1", "19200"});
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_TRUE(Contains(run.err, "storing not confirmed: the device may have stored the values; read them back"))
        << run.err;
    EXPECT_FALSE(Contains(run.err, "not stored")) << run.err;
}

TEST_F(CliTest, FindNamesADeviceSlowerThanTheProbeAndFindsItWithARaisedLimit)
{
    DevSim sim({"--line", "9600,E,1", "--fault", "delay=150"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    Outcome run = Cli(sim, "find");
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(Contains(run.err, "raise the limit (tovra-cli find --limit MS)")) << run.err;
    run = Cli(sim, "find", {"--limit", "300"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "COM=" + std::to_string(sim.com()) + " BAUD=9600 PARITY=E DATA=8 STOP=1 ID=1\n");
}

TEST_F(CliTest, PortsListsAPortThePlainUserMayNotOpenAfterTheFreeOnesInTheWindowsWords)
{
    RefusedPort refused;
    if (!AsPlainUser())
        return;
    ASSERT_TRUE(refused.refused()) << refused.path() << " opens for this user";
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const std::string map = DevSim::portsDir();
    const std::string free = ptsname(master);
    fs::create_symlink(free, map + "/COM231");
    fs::create_symlink(refused.path(), map + "/COM230");
    setenv("TOVRA_PORTS_ONLY", "1", 1);
    struct stat st;
    ASSERT_EQ(stat(refused.path().c_str(), &st), 0);
    const std::string refusedName = "Virtual serial port [" + refused.path().substr(5) +
                                    "] (COM230) \u2014 no permission: join the group " + getgrgid(st.st_gid)->gr_name;

    Outcome text = Cli({"ports"});
    Outcome json = Cli({"ports", "--json"});
    fs::remove(map + "/COM231");
    fs::remove(map + "/COM230");
    close(master);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, "231\t" + map + "/COM231\tVirtual serial port [" + free.substr(5) +
                            "] (COM231)\n230\t" + map + "/COM230\t" + refusedName + "\n");
    QJsonArray ports = Json(json)["ports"].toArray();
    ASSERT_EQ(ports.size(), 2);
    EXPECT_EQ(ports[0].toObject()["permission"].toBool(), true);
    EXPECT_EQ(ports[1].toObject()["com"].toInt(), 230);
    EXPECT_EQ(ports[1].toObject()["permission"].toBool(), false);
    EXPECT_EQ(ports[1].toObject()["name"].toString().toStdString(), refusedName);
}

// The list first, then a line for the simulator that comes and one when it
// goes; either signal ends the watch with status 0.
TEST_F(CliTest, PortsWatchPrintsAPortThatComesAndGoesUntilInterrupted)
{
    struct Row {
        bool json;
        int signal;
        std::string added, removed; // the start of each line
    };
    const Row rows[] = {
        {true, SIGINT, "{\"event\":\"add\",\"com\":203,", "{\"event\":\"remove\",\"com\":203,"},
        {false, SIGTERM, "+ COM203 Virtual serial port [", "- COM203 Virtual serial port ["},
    };
    DevSim::portsDir(); // in the environment the watch inherits
    for (const Row &row : rows) {
        // The list is made once the watch follows events: its files tell when.
        const std::string files = row.json ? "json" : "text";
        fs::create_directory(files);
        QProcess watch;
        watch.setProgram(TOVRA_CLI);
        watch.setArguments({"ports", "--watch", "--files", QString::fromStdString(files)});
        if (row.json)
            watch.setArguments(watch.arguments() << "--json");
        watch.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(files + "/COM__Exist.txt"); }, kWatchMs));
        if (row.json) {
            ASSERT_TRUE(watch.canReadLine() || watch.waitForReadyRead(kWatchMs));
            EXPECT_EQ(watch.readLine().toStdString(), "{\"command\":\"ports\",\"ok\":true,\"ports\":[]}\n");
        }
        auto next = [&] {
            while (!watch.canReadLine() && watch.waitForReadyRead(kWatchMs)) {
            }
            return watch.readLine().toStdString();
        };
        std::string added, removed;
        {
            DevSim sim({"--com", "203"});
            ASSERT_TRUE(sim.ready()) << sim.output();
            added = next();
        }
        removed = next();
        EXPECT_EQ(added.rfind(row.added, 0), 0u) << added;
        EXPECT_EQ(removed.rfind(row.removed, 0), 0u) << removed;
        if (row.json) {
            EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(added)).object()["permission"].toBool(), true);
        }
        kill(static_cast<pid_t>(watch.processId()), row.signal);
        ASSERT_TRUE(watch.waitForFinished(kWatchMs));
        EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(watch.exitCode(), 0);
        EXPECT_EQ(watch.readAllStandardError().toStdString(),
                  "no serial ports: plug in an adapter, or start tovra-devsim\n");
    }
}
