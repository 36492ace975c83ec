// The device simulator, driven by libmodbus as the master over the
// pseudo-terminal that the simulator links into the port map.
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>
#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include "devsim.h"
#include "master.h"
#include "platform/serial.h"
#include "scratch.h"

namespace fs = std::filesystem;

namespace {

// What a read of register 0 gets back within 0.3 s through the program's
// own serial layer, opened at `line`.
std::string AskThroughSerialLayer(const DevSim &sim, Line line)
{
    constexpr int kPort = 222;
    int parity = int(std::string("NOEMS").find(line.parity));
    if (OpenComConfig(kPort, sim.comName().c_str(), line.baud, parity, 8, line.stop, 0, 0) != 0)
        return "cannot open";
    SetComTime(kPort, 0.3);
    ComWrt(kPort, "\x01\x03\x00\x00\x00\x01\x84\x0a", 8);
    char reply[16];
    int n = ComRd(kPort, reply, 7);
    CloseCom(kPort);
    return std::string(reply, size_t(std::max(n, 0)));
}

const std::vector<uint8_t> kReadBR{0x01, 0x03, 0x11, 0x01, 0x00, 0x02};
const std::vector<int> kTimeout{-ETIMEDOUT};

} // namespace

class DevSimTest : public ScratchDirTest {};

TEST_F(DevSimTest, ReadsItsThreeRegistersAndTracesEveryFrame)
{
    DevSim sim({"--br1", "5", "--br2", "7", "--ident", "0x1234"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    EXPECT_EQ(sim.com(), 200); // the documented default
    Master m = Connect(sim);

    EXPECT_EQ(Read(m.get(), 0x1101, 2), (std::vector<int>{5, 7}));
    EXPECT_EQ(Read(m.get(), 0x1102, 1), (std::vector<int>{7}));
    EXPECT_EQ(Read(m.get(), 0, 1), (std::vector<int>{0x1234}));
    EXPECT_EQ(Read(m.get(), 0x1101, 2, 4), (std::vector<int>{5, 7}));
    ASSERT_TRUE(sim.waitForOutput("tx ", 4));
    EXPECT_NE(sim.output().find("rx 01 03 11 01 00 02 90 f7\ntx 01 03 04 00 05 00 07 "),
              std::string::npos)
        << sim.output();
}

TEST_F(DevSimTest, AddressesTheDeviceLacksAnswerExceptionTwo)
{
    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    Master m = Connect(sim);
    const std::vector<int> kIllegalAddress{-EMBXILADD};
    EXPECT_EQ(Read(m.get(), 0x1100, 2), kIllegalAddress);
    EXPECT_EQ(Read(m.get(), 0x1102, 2), kIllegalAddress);
    EXPECT_EQ(Read(m.get(), 0, 2), kIllegalAddress);
    EXPECT_EQ(Read(m.get(), 1, 1), kIllegalAddress);
    EXPECT_EQ(Write(m.get(), 0, 1), -EMBXILADD); // the identification is read-only
    EXPECT_EQ(modbus_write_bit(m.get(), 1, 1), -1);
    EXPECT_EQ(errno, EMBXILADD);
}

TEST_F(DevSimTest, FunctionsOtherThanReadAndWriteAnswerExceptionOne)
{
    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    Master m = Connect(sim);
    uint8_t bits[1];
    EXPECT_EQ(modbus_read_bits(m.get(), 0, 1, bits), -1);
    EXPECT_EQ(errno, EMBXILFUN);
    uint16_t regs[2] = {1, 2};
    EXPECT_EQ(modbus_write_registers(m.get(), 0x1101, 2, regs), -1);
    EXPECT_EQ(errno, EMBXILFUN);
    EXPECT_EQ(Read(m.get(), 0x1101, 2), (std::vector<int>{3, 3})) << "nothing was written";
}

TEST_F(DevSimTest, WritesChangeTheSettingsButOnlyToItemsOfTheBaudTable)
{
    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    Master m = Connect(sim);
    EXPECT_EQ(Write(m.get(), 0x1101, 5), 0);
    EXPECT_EQ(Write(m.get(), 0x1102, 7), 0);
    EXPECT_EQ(Write(m.get(), 0x1102, 8), -EMBXILVAL);
    EXPECT_EQ(Read(m.get(), 0x1101, 2), (std::vector<int>{5, 7}));
    EXPECT_NE(sim.output().find("note: BR1 = 5 (38400 baud)"), std::string::npos);
    EXPECT_NE(sim.output().find("note: BR2 = 7 (115200 baud)"), std::string::npos);
}

TEST_F(DevSimTest, TheEepromCommandStoresTheSettingsThatTheNextStartLoads)
{
    {
        DevSim sim;
        ASSERT_TRUE(sim.ready()) << sim.output();
        Master m = Connect(sim);
        EXPECT_EQ(Write(m.get(), 0x1101, 6), 0);
        EXPECT_EQ(Write(m.get(), 0x1102, 2), 0);
        EXPECT_FALSE(FileExists(sim.statePath())) << "a write alone is not stored";
        EXPECT_EQ(StoreEeprom(m.get()), 0);
        EXPECT_EQ(ReadFileBytes(sim.statePath()), "BR1=6\nBR2=2\n");
        EXPECT_EQ(Write(m.get(), 0x1101, 1), 0); // lost: never stored
    }
    DevSim again({"--br1", "0"}); // initial values give way to the stored ones
    ASSERT_TRUE(again.ready()) << again.output();
    Master m = Connect(again);
    EXPECT_EQ(Read(m.get(), 0x1101, 2), (std::vector<int>{6, 2}));
}

TEST_F(DevSimTest, BroadcastsActWithoutReplyAndOtherSlavesAreNotAnswered)
{
    DevSim sim({"--id", "7"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    Master m = Connect(sim, 7);
    EXPECT_TRUE(RawExchange(m.get(), {0x00, 0x06, 0x11, 0x01, 0x00, 0x04}).empty());
    EXPECT_TRUE(RawExchange(m.get(), {0x01, 0x03, 0x11, 0x01, 0x00, 0x02}).empty());
    EXPECT_EQ(Read(m.get(), 0x1101, 2), (std::vector<int>{4, 3}))
        << "the request after a foreign one is served";
}

TEST_F(DevSimTest, EachFaultReachesTheMaster)
{
    {
        DevSim sim({"--fault", "no-reply"});
        ASSERT_TRUE(sim.ready()) << sim.output();
        Master m = Connect(sim);
        EXPECT_EQ(Write(m.get(), 0x1101, 4), -ETIMEDOUT);
        EXPECT_TRUE(sim.waitForOutput("note: fault no-reply"));
        EXPECT_EQ(sim.output().find("tx "), std::string::npos);
    }
    {
        DevSim sim({"--fault", "bad-crc"});
        ASSERT_TRUE(sim.ready()) << sim.output();
        Master m = Connect(sim);
        EXPECT_EQ(Read(m.get(), 0x1101, 2), std::vector<int>{-EMBBADCRC});
    }
    {
        DevSim good, cut({"--com", "201", "--fault", "short"}), cut3({"--com", "202",
                                                                      "--fault", "short=3"});
        ASSERT_TRUE(good.ready() && cut.ready() && cut3.ready()) << cut.output();
        std::vector<uint8_t> reply = RawExchange(Connect(good).get(), kReadBR);
        ASSERT_EQ(reply.size(), 9u);
        EXPECT_EQ(RawExchange(Connect(cut).get(), kReadBR),
                  std::vector<uint8_t>(reply.begin(), reply.begin() + 7));
        EXPECT_EQ(RawExchange(Connect(cut3).get(), kReadBR),
                  std::vector<uint8_t>(reply.begin(), reply.begin() + 3));
    }
    {
        DevSim sim({"--fault", "exception=4"});
        ASSERT_TRUE(sim.ready()) << sim.output();
        Master m = Connect(sim);
        EXPECT_EQ(StoreEeprom(m.get()), -EMBXSFAIL);
        EXPECT_FALSE(FileExists(sim.statePath())) << "a refused command does nothing";
    }
    {
        DevSim sim({"--fault", "delay=300"});
        ASSERT_TRUE(sim.ready()) << sim.output();
        EXPECT_EQ(Read(Connect(sim, 1, 1000).get(), 0x1101, 1), (std::vector<int>{3}));
        EXPECT_EQ(Read(Connect(sim, 1, 100).get(), 0x1101, 1), kTimeout);
    }
}

TEST_F(DevSimTest, AFaultCanBeLimitedToAnAddressAFunctionAndTheNthRequest)
{
    DevSim sim({"--fault", "no-reply", "--fault-addr", "0x1102", "--fault-fc", "6",
                "--fault-nth", "2"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    Master m = Connect(sim);
    EXPECT_EQ(Write(m.get(), 0x1101, 1), 0);
    EXPECT_EQ(Write(m.get(), 0x1102, 1), 0);
    EXPECT_EQ(Read(m.get(), 0x1102, 1), (std::vector<int>{1}));
    EXPECT_EQ(Write(m.get(), 0x1102, 5), -ETIMEDOUT) << "the second write of 0x1102";
    EXPECT_EQ(Write(m.get(), 0x1102, 6), 0);

    DevSim ranged({"--com", "201", "--fault", "bad-crc", "--fault-addr", "0x1102"});
    ASSERT_TRUE(ranged.ready()) << ranged.output();
    Master r = Connect(ranged);
    EXPECT_EQ(Read(r.get(), 0x1101, 1), (std::vector<int>{3}));
    EXPECT_EQ(Read(r.get(), 0x1101, 2), std::vector<int>{-EMBBADCRC}) << "covers 0x1102";
    EXPECT_EQ(StoreEeprom(r.get()), 0);
}

TEST_F(DevSimTest, ANoReplyFaultStillActs)
{
    DevSim sim({"--fault", "no-reply", "--fault-nth", "1"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    Master m = Connect(sim);
    EXPECT_EQ(StoreEeprom(m.get()), -ETIMEDOUT);
    EXPECT_EQ(ReadFileBytes(sim.statePath()), "BR1=3\nBR2=3\n");
}

TEST_F(DevSimTest, TheLinkLivesExactlyAsLongAsTheSimulator)
{
    DevSim sim({"--com", "210"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    EXPECT_EQ(sim.linkPath(), DevSim::portsDir() + "/COM210");
    EXPECT_EQ(fs::read_symlink(sim.linkPath()), sim.ptyPath());

    DevSim rival({"--com", "210"});
    EXPECT_FALSE(rival.ready());
    EXPECT_EQ(rival.stop(), 1);
    EXPECT_NE(rival.output().find("COM210 already points to " + sim.ptyPath()),
              std::string::npos)
        << rival.output();
    EXPECT_EQ(fs::read_symlink(sim.linkPath()), sim.ptyPath());

    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(sim.linkPath())));
}

TEST_F(DevSimTest, AStopDuringADelayedReplyEndsItCleanly)
{
    DevSim sim({"--fault", "delay=20000"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    EXPECT_TRUE(RawExchange(Connect(sim).get(), kReadBR).empty());
    ASSERT_TRUE(sim.waitForOutput("note: fault delay"));
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(sim.linkPath())));
    EXPECT_EQ(sim.output().find("tx "), std::string::npos);
}

TEST_F(DevSimTest, ADanglingLinkIsReplacedButALinkToAnotherDeviceIsKept)
{
    std::string dir = DevSim::portsDir();
    fs::create_symlink("/dev/null", dir + "/COM211");
    fs::create_symlink(dir + "/gone", dir + "/COM212");

    DevSim kept({"--com", "211"});
    EXPECT_EQ(kept.stop(), 1);
    EXPECT_EQ(fs::read_symlink(dir + "/COM211"), "/dev/null");

    DevSim replaced({"--com", "212"});
    ASSERT_TRUE(replaced.ready()) << replaced.output();
    EXPECT_EQ(fs::read_symlink(dir + "/COM212"), replaced.ptyPath());
    fs::remove(dir + "/COM211");
}

TEST_F(DevSimTest, BadOptionsAndABrokenStateFileStopItWithAMessage)
{
    DevSim badCom({"--com", "257"});
    EXPECT_EQ(badCom.stop(), 2);
    EXPECT_NE(badCom.output().find("--com"), std::string::npos);
    DevSim badFault({"--fault", "exception=12"});
    EXPECT_EQ(badFault.stop(), 2);
    DevSim lonelyFilter({"--fault-nth", "2"});
    EXPECT_EQ(lonelyFilter.stop(), 2);

    WriteFileBytes("tovra-devsim-state.txt", "BR1=3\nBR2=x\n");
    DevSim broken;
    EXPECT_EQ(broken.stop(), 1);
    EXPECT_NE(broken.output().find("BR2=x"), std::string::npos) << broken.output();
}

TEST_F(DevSimTest, ADeviceWithALineAnswersOnlyAMasterAtThatLine)
{
    struct Probe {
        Line line;
        bool viaLibmodbus;
        bool answered;
    };
    struct Case {
        std::vector<std::string> args;
        std::vector<Probe> probes;
    } cases[] = {
        {{"--line", "38400,E,1"},
         {{{38400, 'E', 1}, false, true},
          {{19200, 'E', 1}, false, false},
          {{38400, 'E', 2}, false, false},
          {{38400, 'N', 1}, false, false},
          {{38400, 'O', 1}, false, false},
          {{38400, 'M', 1}, false, false},
          {{38400, 'E', 1}, true, true},
          {{38400, 'N', 1}, true, false}}},
        {{"--line", "9600,o,2"},
         {{{9600, 'O', 2}, false, true},
          {{9600, 'N', 2}, false, false},
          {{9600, 'E', 2}, false, false}}},
        {{"--line", "115200"}, // 8N1
         {{{115200, 'N', 1}, false, true},
          {{115200, 'O', 1}, false, false},
          {{115200, 'E', 1}, false, true}, // Qt's none and even look alike (README)
          {{115200, 'E', 1}, true, false}}},
        {{"--line", "9600,M,1"},
         {{{9600, 'M', 1}, false, true},
          {{9600, 'O', 1}, false, false}}},
        {{"--apply-on-commit", "--br1", "5"}, // listens at BR1 from the start
         {{{38400, 'N', 1}, false, true},
          {{9600, 'N', 1}, false, false}}},
        {{}, {{{1200, 'S', 2}, false, true}}}, // no line: any settings
    };
    for (const Case &c : cases) {
        DevSim sim(c.args);
        ASSERT_TRUE(sim.ready()) << sim.output();
        for (const Probe &p : c.probes) {
            bool answered = p.viaLibmodbus
                                ? Read(Connect(sim, 1, 300, p.line).get(), 0, 1) ==
                                      std::vector<int>{0x5456}
                                : AskThroughSerialLayer(sim, p.line).size() == 7;
            EXPECT_EQ(answered, p.answered)
                << c.args.size() << " args, master " << p.line.baud << " " << p.line.parity
                << p.line.stop << (p.viaLibmodbus ? " (libmodbus)" : "") << "\n"
                << sim.output();
        }
    }
}

TEST_F(DevSimTest, AtOtherSettingsAGarblingDeviceSendsAFewBytesAndDoesNotAct)
{
    DevSim sim({"--line", "19200", "--mismatch", "garble"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    size_t noise = AskThroughSerialLayer(sim, {9600, 'N', 1}).size();
    EXPECT_GE(noise, 1u);
    EXPECT_LE(noise, 4u) << "shorter than any reply of the device";
    EXPECT_LT(Write(Connect(sim).get(), 0x1101, 5), 0);
    EXPECT_EQ(Read(Connect(sim, 1, 200, {19200, 'N', 1}).get(), 0x1101, 1),
              (std::vector<int>{3}));
}

TEST_F(DevSimTest, ApplyOnCommitMovesTheLineToBr1AfterTheReplyToTheCommit)
{
    DevSim sim({"--line", "9600,E,2", "--apply-on-commit"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    {
        Master m = Connect(sim, 1, 200, {9600, 'E', 2});
        EXPECT_EQ(Write(m.get(), 0x1101, 4), 0);
        EXPECT_EQ(StoreEeprom(m.get()), 0) << "the reply still goes out at 9600";
    }
    ASSERT_TRUE(sim.waitForOutput("note: line now 19200 8E2")) << sim.output();
    EXPECT_EQ(AskThroughSerialLayer(sim, {9600, 'E', 2}).size(), 0u);
    EXPECT_EQ(AskThroughSerialLayer(sim, {19200, 'E', 2}).size(), 7u);
}

TEST_F(DevSimTest, BadLineOptionsStopItWithAMessage)
{
    const std::vector<std::string> kBad[] = {
        {"--line", "12345"}, {"--line", "9600,E"}, {"--line", "9600,X,1"},
        {"--line", "9600,N,3"}, {"--mismatch", "loud"}, {"--apply-on-commit=1"},
        {"--slave", "0"}, {"--slave", "1,delay=x"}, {"--slave", "1,line=9600:X:1"},
        {"--slave", "1,speed=9600"}, {"--slave", "1", "--slave", "1"},
        {"--id", "1", "--slave", "2"}, {"--noise", "1.5"}, {"--noise", "x%"},
    };
    for (const std::vector<std::string> &args : kBad) {
        DevSim sim(args);
        EXPECT_EQ(sim.stop(), 2) << args.back();
        EXPECT_NE(sim.output().find(args.front().substr(0, 10)), std::string::npos)
            << sim.output();
    }
}
