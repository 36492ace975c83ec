// The baud-rate read and write sequence on the real panel against
// tovra-devsim, and the start-up that prepares the panel.
#include <QAccessible>
#include <QComboBox>
#include <QTest>

#include <filesystem>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/Tovra_main.h"
#include "app/device_baud.h"
#include "devsim.h"
#include "log_texts.h"
#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"
#include "model/model.h"
#include "panel_fixture.h"
#include "scratch.h"
#include "panel_ids.h"
#include "serial/UART_MB.h"

namespace {

// A slave that answers one request with bytes that no real device sends,
// from a pseudo-terminal linked into the port map as COMn.
class ScriptedSlave {
public:
    ScriptedSlave(int com, std::vector<unsigned char> reply)
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        termios t;
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
        link_ = DevSim::portsDir() + "/COM" + std::to_string(com);
        std::filesystem::remove(link_);
        std::filesystem::create_symlink(ptsname(master_), link_);
        thread_ = std::thread([this, reply] {
            unsigned char request[8];
            size_t got = 0;
            while (got < sizeof request) {
                pollfd p{master_, POLLIN, 0};
                if (poll(&p, 1, 5000) <= 0)
                    return;
                ssize_t n = read(master_, request + got, sizeof request - got);
                if (n <= 0)
                    return;
                got += static_cast<size_t>(n);
            }
            if (write(master_, reply.data(), reply.size()) < 0)
                return;
        });
    }
    ~ScriptedSlave()
    {
        thread_.join();
        std::filesystem::remove(link_);
        close(master_);
    }

private:
    int master_ = -1;
    std::string link_;
    std::thread thread_;
};


class SequenceTest : public PanelTest {
protected:
    // The timers tick only when a test says so, unless it restores them.
    void SetUp() override
    {
        PanelTest::SetUp();
        mf_Tovra_Timer_X__set_interval(0, 3600);
        mf_Tovra_Timer_X__set_interval(1, 3600);
    }

    // Ticks the write timer once and returns the status it leaves.
    std::pair<std::string, int> Step()
    {
        Tick(kWriteTimer);
        return {StatusText(), StatusColour()};
    }
};

using Shown = std::pair<std::string, int>;

const std::string kWriteList = "--------------\n1101 5\n1102 7\n0000 ff00\n\n";
const std::string kTraceBR2 = "w BR2\n"
                              "\tP222\tMB.Tx\t#01.06 <1102> [0007] {6cf4}\tWrite word\n"
                              "\tP222\tMB.Rx\t#01.06 <1102> [0007] {6cf4}\tWrite word\n\n";

} // namespace

// The device takes 0.3 s to store into its EEPROM before it replies: the
// command waits its half second, where a register write waits 0.05 s.
TEST_F(SequenceTest, AWriteCountsOneTwoThreeThenOKAndTheDeviceStoresTheValues)
{
    DevSim sim({"--com", "210", "--fault", "delay=300", "--fault-fc", "5"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(210);
    EnableLog();
    Choose(kBR1, 5);
    Choose(kBR2, 7);
    Click(kWrite);
    EXPECT_EQ(TimerRunning(kWriteTimer), 1);
    EXPECT_EQ(Step(), Shown("1", ciMsgGreen));
    EXPECT_EQ(Step(), Shown("2", ciMsgGreen));
    EXPECT_EQ(Step(), Shown("3", ciMsgGreen));
    EXPECT_EQ(Step(), Shown("OK", ciMsgGreen));
    EXPECT_EQ(TimerRunning(kWriteTimer), 0);

    EXPECT_EQ(Log(), kWriteList + kWriteBR1_5 + kTraceBR2 + kWriteEeprom);
    EXPECT_EQ(ReadFileBytes(sim.statePath()), "BR1=5\nBR2=7\n");
}

TEST_F(SequenceTest, TheRealTimerPacesAWholeWriteToItsEnd)
{
    DevSim sim({"--com", "211"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(211);
    Click(kRead);
    mf_Tovra_Timer_X__set_interval(1, 0.2);
    Choose(kBR1, 0);
    Click(kWrite);
    EXPECT_TRUE(QTest::qWaitFor([] { return StatusText() == "OK"; }, 10000)) << StatusText();
    EXPECT_EQ(TimerRunning(kWriteTimer), 0);
    EXPECT_EQ(ReadFileBytes(sim.statePath()), "BR1=0\nBR2=3\n");
}

TEST_F(SequenceTest, AFailedBR2WriteStopsTheSequenceBeforeTheCommit)
{
    DevSim sim({"--com", "212", "--fault", "exception=2", "--fault-addr", "0x1102"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(212);
    Choose(kBR1, 3);
    Choose(kBR2, 3);
    Click(kWrite);
    EXPECT_EQ(Step(), Shown("1", ciMsgGreen));
    EXPECT_EQ(Step(), Shown("NG", ciMsgRed));
    EXPECT_EQ(Step(), Shown("NG", ciMsgRed)) << "no OK after a failure";
    EXPECT_EQ(TimerRunning(kWriteTimer), 0);
    EXPECT_EQ(sim.output().find("rx 01 05"), std::string::npos) << "the commit was sent";
    EXPECT_FALSE(FileExists(sim.statePath()));
}

TEST_F(SequenceTest, AFailedCommitShowsWriteEepromNG)
{
    DevSim sim({"--com", "213", "--fault", "no-reply", "--fault-fc", "5"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(213);
    Click(kRead);
    EnableLog();
    Click(kWrite);
    EXPECT_EQ(Step(), Shown("1", ciMsgGreen));
    EXPECT_EQ(Step(), Shown("2", ciMsgGreen));
    EXPECT_EQ(Step(), Shown("Write EEPROM NG", ciMsgRed));
    EXPECT_EQ(Step(), Shown("Write EEPROM NG", ciMsgRed));
    EXPECT_NE(Log().find(kWriteEeprom.substr(0, kWriteEeprom.find("\tP222\tMB.Rx")) +
                         "\tP222\tMB.Rx\t" LOG_MARK " COM read Time-out\n\n"),
              std::string::npos)
        << Log();
}

TEST_F(SequenceTest, AReadSelectsTheItemsAndShowsOKAtTheNextTick)
{
    DevSim sim({"--com", "214", "--br1", "5", "--br2", "7"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(214);
    EnableLog();
    Click(kRead);
    EXPECT_EQ(StatusText(), "") << "shown at the next tick";
    EXPECT_EQ(mf_Tovra_Ring_X__GI(4), 5);
    EXPECT_EQ(mf_Tovra_Ring_X__GI(5), 7);
    EXPECT_EQ(TimerRunning(kReadTimer), 1);
    Tick(kReadTimer);
    EXPECT_EQ(StatusText(), "OK");
    EXPECT_EQ(StatusColour(), ciMsgGreen);
    EXPECT_EQ(TimerRunning(kReadTimer), 0);
    EXPECT_EQ(Log(), "r BR1, BR2\n" + kReadBRTx +
                     "\tP222\tMB.Rx\t#01.03 (04)   [0005][0007]  {abf0}\tRead\n\n");
}

TEST_F(SequenceTest, ValuesThatAreNoItemSelectTheFirstItemInGrey)
{
    DevSim sim({"--com", "215", "--br1", "32768", "--br2", "8"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(215);
    Choose(kBR1, 4);
    Choose(kBR2, 4);
    Click(kRead);
    EXPECT_EQ(mf_Tovra_Ring_X__GI(4), 0);
    EXPECT_EQ(mf_Tovra_Ring_X__GI(5), 0);
    EXPECT_EQ(BgColour(kBR1), ciColourInvalidItem);
    EXPECT_EQ(BgColour(kBR2), ciColourInvalidItem);
}

TEST_F(SequenceTest, AReplyWithFewerValuesThanAskedIsNGAndLeavesTheSelectors)
{
    // Nine bytes with a right CRC, but a byte count of 2: BR1 only.
    ScriptedSlave slave(218, {0x01, 0x03, 0x02, 0x00, 0x05, 0x00, 0x00, 0x62, 0x32});
    OpenPort(218);
    Choose(kBR2, 4);
    Click(kRead);
    Tick(kReadTimer);
    EXPECT_EQ(StatusText(), "NG");
    EXPECT_EQ(BgColour(kBR1), ciColourInvalidItem) << "still unknown";
    EXPECT_EQ(mf_Tovra_Ring_X__GI(5), 4) << "BR2 keeps the operator's pick";
}

TEST_F(SequenceTest, AWriteWithAGreySelectorSendsNothingUntilAnItemIsPicked)
{
    DevSim sim({"--com", "219", "--br2", "8"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(219);
    Click(kRead);
    ASSERT_EQ(BgColour(kBR2), ciColourInvalidItem);
    EnableLog();
    Click(kWrite);
    EXPECT_EQ(StatusText(), "Write NG : BR2 unknown, pick a value");
    EXPECT_EQ(StatusColour(), ciMsgRed);
    EXPECT_EQ(Log(), "Write NG : BR2 unknown, pick a value\n");
    EXPECT_EQ(TimerRunning(kWriteTimer), 0);
    EXPECT_EQ(sim.output().find("rx 01 06"), std::string::npos) << sim.output();

    Choose(kBR2, 3);
    EXPECT_EQ(BgColour(kBR2), ciColourIndicator);
    Click(kWrite);
    for (const char *shown : {"1", "2", "3", "OK"})
        EXPECT_EQ(Step().first, shown);
    EXPECT_EQ(ReadFileBytes(sim.statePath()), "BR1=3\nBR2=3\n");
}

TEST_F(SequenceTest, EveryLineOfThirtyReadsIsOnDiskAtOnceAsAKillWouldLeaveIt)
{
    DevSim sim({"--com", "220"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(220);
    EnableLog();
    for (int i = 0; i < 30; ++i)
        Click(kRead);
    std::string onDisk = ReadFileBytes(caLogFile); // no flush, no close
    auto count = [&](const std::string &text) {
        int n = 0;
        for (size_t at = onDisk.find(text); at != std::string::npos; at = onDisk.find(text, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("r BR1, BR2\n"), 30);
    EXPECT_EQ(count("\tMB.Rx\t#01.03 (04)"), 30);
}

TEST_F(SequenceTest, AFailedReadShowsNGAndLeavesTheSelectors)
{
    DevSim sim({"--com", "216", "--fault", "bad-crc"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(216);
    Choose(kBR1, 6);
    EXPECT_LT(evTovra_Read_usr(gvTovra_COMM, kRead, EVENT_COMMIT, nullptr, 0, 0), 0);
    Tick(kReadTimer);
    EXPECT_EQ(StatusText(), "NG");
    EXPECT_EQ(StatusColour(), ciMsgRed);
    EXPECT_EQ(mf_Tovra_Ring_X__GI(4), 6);
}

TEST_F(SequenceTest, WithThePortClosedEveryStepFails)
{
    Click(kRead);
    Tick(kReadTimer);
    EXPECT_EQ(StatusText(), "NG");
    Choose(kBR1, 3);
    Choose(kBR2, 3);
    Click(kWrite);
    EXPECT_EQ(Step(), Shown("NG", ciMsgRed));
}

TEST_F(SequenceTest, TicksWithNothingToDoFinishQuietly)
{
    mf_Tovra_Timer_X__toggle(1, 1);
    EXPECT_EQ(Step(), Shown("OK", ciMsgGreen)) << "an empty write list is done";
    EXPECT_EQ(TimerRunning(kWriteTimer), 0);

    mf_Tovra_msg_comm__SCV(ciMsgBlack, "before");
    mf_Tovra_Timer_X__toggle(0, 1);
    Tick(kReadTimer);
    EXPECT_EQ(StatusText(), "before") << "no outcome yet: the read timer waits";
    EXPECT_EQ(TimerRunning(kReadTimer), 1);
}

TEST_F(SequenceTest, ChangingASelectorClearsTheStatusInBlue)
{
    mf_Tovra_msg_comm__SCV(ciMsgGreen, "OK");
    Choose(kBR2, 2);
    EXPECT_EQ(StatusText(), "");
    EXPECT_EQ(StatusColour(), ciMsgBlue);
}

TEST_F(SequenceTest, WriteAgainMidwayRestartsFromTheSelectorsCurrentItems)
{
    DevSim sim({"--com", "217"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(217);
    Click(kRead);
    Choose(kBR1, 1);
    Click(kWrite);
    EXPECT_EQ(Step(), Shown("1", ciMsgGreen));
    Choose(kBR1, 2);
    Click(kWrite);
    for (const char *shown : {"1", "2", "3", "OK"})
        EXPECT_EQ(Step().first, shown);
    EXPECT_EQ(ReadFileBytes(sim.statePath()), "BR1=2\nBR2=3\n");
}

TEST_F(SequenceTest, TheSelectorsOfferTheDeviceBaudTableAndShowFiveItemsAtOnce)
{
    for (int control : {kBR1, kBR2}) {
        auto *ring = qobject_cast<QComboBox *>(Ctrl(control));
        ASSERT_EQ(ring->count(), ciBR_dev_count);
        for (int i = 0; i < ciBR_dev_count; ++i)
            EXPECT_EQ(ring->itemText(i).toLong(), caBR_dev[i]);
        EXPECT_EQ(ring->maxVisibleItems(), 5);
    }
    EXPECT_EQ(gvIDd, 1);
}

TEST_F(SequenceTest, AReplyThatDoesNotAnswerTheReadIsNGWithItsMarkedLine)
{
    auto frame = [](std::vector<unsigned char> covered) {
        covered.resize(covered.size() + 2);
        mf_Tovra_Get_CRC(covered.data(), static_cast<int>(covered.size()));
        return covered;
    };
    const struct {
        const char *what;
        std::vector<unsigned char> reply;
        const char *line;
    } cases[] = {
        {"another function code", frame({0x01, 0x04, 0x04, 0x00, 0x05, 0x00, 0x07}),
         "reply with function code 4, not 3"},
        {"a short byte count", frame({0x01, 0x03, 0x02, 0x00, 0x05}), "reply with 2 data bytes for 2 registers, not 4"},
        {"an exception with a bad CRC", {0x01, 0x83, 0x02, 0x00, 0x00}, "wrong checksum (5 bytes)"},
    };
    for (const auto &c : cases) {
        ScriptedSlave slave(221, c.reply);
        OpenPort(221);
        EnableLog();
        Click(kRead);
        Tick(kReadTimer);
        EXPECT_EQ(StatusText(), "NG") << c.what;
        EXPECT_NE(Log().find(std::string("\t" LOG_MARK " Modbus.core: ") + c.line), std::string::npos)
            << c.what << "\n" << Log();
        EXPECT_EQ(BgColour(kBR1), ciColourInvalidItem) << c.what << ": nothing taken from it";
    }
}

// A write's acknowledgement must echo its register and value: one that does
// not is NG with its marked line, and nothing is sent after it.
TEST_F(SequenceTest, AWriteAcknowledgedForAnotherRegisterOrValueIsNGAndNothingFollows)
{
    auto frame = [](std::vector<unsigned char> covered) {
        covered.resize(covered.size() + 2);
        mf_Tovra_Get_CRC(covered.data(), static_cast<int>(covered.size()));
        return covered;
    };
    const struct {
        std::vector<unsigned char> ack; // to the BR1 write 01 06 11 01 00 05
        const char *line;
    } cases[] = {
        {frame({0x01, 0x06, 0x11, 0x02, 0x00, 0x07}), "acknowledgement of 1102=0007, not 1101=0005"},
        {frame({0x01, 0x06, 0x11, 0x01, 0x00, 0x04}), "acknowledgement of 1101=0004, not 1101=0005"},
    };
    for (const auto &c : cases) {
        ScriptedSlave slave(222, c.ack);
        OpenPort(222);
        EnableLog();
        Choose(kBR1, 5);
        Choose(kBR2, 7);
        Click(kWrite);
        EXPECT_EQ(Step(), Shown("NG", ciMsgRed)) << c.line;
        EXPECT_EQ(Step(), Shown("NG", ciMsgRed)) << c.line;
        EXPECT_EQ(QAccessible::queryAccessibleInterface(Ctrl(kReasonLine))->text(QAccessible::Name).toStdString(),
                  "acknowledgement of another address or value: a late reply to an earlier request");
        EXPECT_NE(Log().find(std::string("\t" LOG_MARK " Modbus.core: ") + c.line +
                             ": a late reply to an earlier request\n\n"),
                  std::string::npos)
            << Log();
        EXPECT_EQ(Log().find("w BR2"), std::string::npos) << Log();
        EXPECT_EQ(Log().find("cmd Write EEPROM"), std::string::npos) << Log();
    }
}

// At 1200 8E2 a register write's two frames take 160 ms on the wire; the
// device's 70 ms turnaround comes on top, within the 0.2 s it is given.
TEST_F(SequenceTest, AtTwelveHundredBaudEvenParityTwoStopBitsAWholeWriteSucceedsOnTheWire)
{
    DevSim sim({"--com", "223", "--wire", "--line", "1200,E,2", "--turnaround", "70"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(223);
    Choose(kBaud, 0);
    Choose(kParity, 2);
    Choose(kStop, 1);
    Click(kRead);
    Tick(kReadTimer);
    EXPECT_EQ(StatusText(), "OK");
    Choose(kBR1, 5);
    Choose(kBR2, 7);
    Click(kWrite);
    EXPECT_EQ(Step(), Shown("1", ciMsgGreen));
    EXPECT_EQ(Step(), Shown("2", ciMsgGreen));
    EXPECT_EQ(Step(), Shown("3", ciMsgGreen));
    EXPECT_EQ(Step(), Shown("OK", ciMsgGreen));
    ASSERT_TRUE(sim.waitForOutput("EEPROM store")) << sim.output();
    EXPECT_NE(ReadFileBytes(sim.statePath()).find("BR1=5"), std::string::npos);
    EXPECT_EQ(sim.output().find("silence too short"), std::string::npos) << sim.output();
}
