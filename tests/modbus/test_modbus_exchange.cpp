// Whole exchanges over a real pseudo-terminal against the device simulator:
// the register access calls, every failure the simulator can inject, and the
// exact text each exchange adds to the communication log.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "devsim.h"
#include "log_texts.h"
#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"
#include "platform/serial.h"
#include "popups.h"
#include "scratch.h"

namespace {

constexpr short kGuard = 0x5A5A;

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A simulated device on its COM link, port 222 open on it as the program
// opens it, and the communication log captured in memory.
class DeviceExchange : public ScratchDirTest {
protected:
    void Start(std::vector<std::string> args = {})
    {
        args.insert(args.end(), {"--br1", "3", "--br2", "1"});
        sim_ = std::make_unique<DevSim>(args);
        ASSERT_TRUE(sim_->ready()) << sim_->output();
        ASSERT_EQ(OpenComConfig(ciPORT_umb, sim_->comName().c_str(), 9600, 0, 8, 1, 0, 0), 0);
        ASSERT_EQ(SetComTime(ciPORT_umb, 0.2), 0);
        log_ = open_memstream(&logText_, &logSize_);
        ASSERT_NE(log_, nullptr);
        gpLog = log_;
        gvIDd = 1;
    }
    void TearDown() override
    {
        CloseCom(ciPORT_umb);
        gpLog = nullptr;
        if (log_ != nullptr)
            fclose(log_);
        free(logText_);
        sim_.reset();
        ScratchDirTest::TearDown();
    }
    // What the log gained since the last call.
    std::string Added()
    {
        fflush(log_);
        std::string text(logText_ + seen_, logSize_ - seen_);
        seen_ = logSize_;
        return text;
    }
    // The requests the simulator saw, as it printed them.
    int RequestsSeen() const
    {
        int count = 0;
        std::string out = sim_->output();
        for (size_t at = out.find("rx "); at != std::string::npos; at = out.find("rx ", at + 1))
            count += (at == 0 || out[at - 1] == '\n');
        return count;
    }

    std::unique_ptr<DevSim> sim_;
    FILE *log_ = nullptr;
    char *logText_ = nullptr;
    size_t logSize_ = 0;
    size_t seen_ = 0;
};

// ---------------------------------------------------------------- good replies

TEST_F(DeviceExchange, AReadOfTwoRegistersFillsBothValuesAndTracesRequestAndReply)
{
    Start();
    short values[3] = {kGuard, kGuard, kGuard};
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), 0);
    EXPECT_EQ(gr, 0);
    EXPECT_EQ(values[0], 3);
    EXPECT_EQ(values[1], 1);
    EXPECT_EQ(values[2], kGuard);
    EXPECT_EQ(Added(), kReadBRTx + "\tP222\tMB.Rx\t#01.03 (04)   [0003][0001]  {cbf3}\tRead\n\n");
}

TEST_F(DeviceExchange, ARegisterWriteIsEchoedAndReadsBack)
{
    Start();
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(6, 0x1102, 5, nullptr), 0);
    EXPECT_EQ(Added(), "\tP222\tMB.Tx\t#01.06 <1102> [0005] {ed35}\tWrite word\n"
                       "\tP222\tMB.Rx\t#01.06 <1102> [0005] {ed35}\tWrite word\n\n");
    short values[2] = {kGuard, kGuard};
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), 0);
    EXPECT_EQ(values[1], 5);
}

TEST_F(DeviceExchange, TheEepromCommandWaitsHalfASecondAndTheDeviceStoresItsSettings)
{
    Start();
    ASSERT_EQ(mf_Tovra_Modbus_dev_RW_16(6, 0x1101, 4, nullptr), 0);
    Added();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16_delay(5, 0, (short)0xFF00, nullptr, 0.5), 0);
    EXPECT_GE(SecondsSince(start), 0.5);
    EXPECT_EQ(Added(), "\tP222\tMB.Tx\t#01.05 <0000> [ff00] {8c3a}\tWrite bit\n"
                       "\tP222\tMB.Rx\t#01.05 <0000> [ff00] {8c3a}\tWrite bit\n\n");
    ASSERT_TRUE(sim_->waitForOutput("EEPROM store")) << sim_->output();
    EXPECT_NE(ReadFileBytes(sim_->statePath()).find("BR1=4"), std::string::npos);
}

TEST_F(DeviceExchange, WithoutALogStreamTheResultsAreTheSameAndNothingIsWritten)
{
    Start();
    gpLog = nullptr;
    short values[2] = {kGuard, kGuard};
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), 0);
    EXPECT_EQ(values[0], 3);
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x2000, 1, values), -3002);
    EXPECT_EQ(Added(), "");
}

// ---------------------------------------------------------------- failures

TEST_F(DeviceExchange, NoReplyTimesOutWithMinus2002AfterSettleTimeLimitAndPause)
{
    Start({"--fault", "no-reply"});
    short values[2] = {kGuard, kGuard};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), ciMB_ERR_TIMEOUT);
    EXPECT_GE(SecondsSince(start), 0.05 + 0.2 + 0.1);
    EXPECT_EQ(gr, ciMB_ERR_TIMEOUT);
    EXPECT_EQ(values[0], kGuard);
    EXPECT_EQ(Added(), kReadBRTx + "\tP222\tMB.Rx\t" LOG_MARK " COM read Time-out\n\n");
}

TEST_F(DeviceExchange, AReplyWithABadCrcYieldsMinus2004WithItsBytesAndAMarkedLineNoTrace)
{
    Start({"--fault", "bad-crc"});
    short values[2] = {kGuard, kGuard};
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), ciMB_ERR_CRC);
    EXPECT_EQ(values[0], kGuard);
    EXPECT_EQ(Added(), kReadBRTx + "\tP222\tMB.Rx\t01 03 04 00 03 00 01 34 0c \n"
                                 "\t" LOG_MARK " Modbus.core: wrong checksum (9 bytes): another baud "
                                 "rate or parity, or noise on the line\n\n");
}

TEST_F(DeviceExchange, AShortReplyYieldsMinus2003WithItsBytesAndThe0930Block)
{
    Start({"--fault", "short"});
    short values[2] = {kGuard, kGuard};
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), ciMB_ERR_LENGTH);
    EXPECT_EQ(values[0], kGuard);
    EXPECT_EQ(Added(), kReadBRTx +
                           "\tP222\tMB.Rx\t01 03 04 00 03 00 01 \n"
                           "\t" LOG_MARK " Modbus.core: Exception 0930 occured after COM read, n=7\n"
                           "\tPossibility :: If BAUD changed\n"
                           "\tPossibility :: If using [Ro] to read [R] memory\n"
                           "\tPossibility :: If using [Wram] or [Wee] to write [Ro] memory\n"
                           "\tReturn value of ComRd() is num of byte it received.\n"
                           "\n");
}

TEST_F(DeviceExchange, AnExceptionReplyYieldsMinus3000LessItsCodeAndShowsItsBytes)
{
    Start({"--fault", "exception=4", "--fault-nth", "2"});
    short values[2] = {kGuard, kGuard};
    // An address the device does not have: a real exception 2.
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x2000, 1, values), -3002);
    EXPECT_EQ(Added(), "\tP222\tMB.Tx\t#01.03 <2000> (0001) {8fca}\tRead\n"
                       "\tP222\tMB.Rx\t01 83 02 c0 f1 \n"
                       "\t" LOG_MARK " Modbus.core: exception 2: illegal data address\n\n");
    // Exception code 4 (injected) is a failure of its own.
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), -3004);
    EXPECT_EQ(Added(), kReadBRTx + "\tP222\tMB.Rx\t01 83 04 40 f3 \n"
                                 "\t" LOG_MARK " Modbus.core: exception 4: server device failure\n\n");
    EXPECT_EQ(values[0], kGuard);
}

TEST_F(DeviceExchange, ALateReplyOfATimedOutExchangeDoesNotSpoilTheNext)
{
    Start({"--fault", "delay=270", "--fault-nth", "1"});
    short values[2] = {kGuard, kGuard};
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), ciMB_ERR_TIMEOUT);
    ASSERT_TRUE(sim_->waitForOutput("tx 01 03 04")) << sim_->output();
    Delay(0.1); // the late reply is queued on our side now
    // Another request, whose 7-byte reply the stale 9 bytes would corrupt.
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0, 1, values), 0);
    EXPECT_EQ(values[0], 0x5456);
}

TEST_F(DeviceExchange, ABroadcastIsSentAndWaitedForButNobodyAnswers)
{
    Start();
    gvIDd = 0;
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(6, 0x1101, 5, nullptr), ciMB_ERR_TIMEOUT);
    EXPECT_EQ(Added(), "\tP222\tMB.Tx\t#00.06 <1101> [0005] {1ce4}\t---Broadcast--- Write word\n"
                       "\tP222\tMB.Rx\t" LOG_MARK " COM read Time-out\n\n");
    gvIDd = 1;
    short values[2];
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), 0);
    EXPECT_EQ(values[0], 5); // the device acted on it
}

// ---------------------------------------------------------------- refused before sending

TEST_F(DeviceExchange, Code16IsTracedThenRefusedWithAMessageBoxAndNothingIsSent)
{
    Start();
    PopupRecorder popups(PopupRecorder::kExpected);
    short values[2] = {kGuard, kGuard};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(16, 0x1101, 2, values), ciMB_ERR_OP);
    EXPECT_GE(SecondsSince(start), 0.1);
    EXPECT_EQ(Added(), "\tP222\tMB.Tx\t#01.10 <1101> (0002) {1534}\tWrite n Words\n");
    ASSERT_EQ(popups.popups().size(), 1u);
    EXPECT_EQ(popups.popups()[0], std::make_pair(std::string("Modbus_core"),
                                                 std::string("104.6963 Un-defined Modbus OP")));
    EXPECT_EQ(values[0], kGuard);
    // The next request is the first the device sees.
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), 0);
    ASSERT_TRUE(sim_->waitForOutput("tx 01 03")) << sim_->output();
    EXPECT_EQ(RequestsSeen(), 1) << sim_->output();
}

TEST_F(DeviceExchange, ACodeTheTraceDoesNotKnowShowsBothMessageBoxes)
{
    Start();
    PopupRecorder popups(PopupRecorder::kExpected);
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(7, 0, 0, nullptr), ciMB_ERR_OP);
    EXPECT_EQ(Added(), "\tP222\tMB.Tx\t#01.07 \n");
    ASSERT_EQ(popups.popups().size(), 2u);
    EXPECT_EQ(popups.popups()[0].first, "log Tx[] exception");
    EXPECT_EQ(popups.popups()[1].first, "Modbus_core");
}

TEST_F(DeviceExchange, AReadOfMoreThan125RegistersIsRefusedBeforeSending)
{
    Start();
    PopupRecorder popups(PopupRecorder::kExpected);
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0, 126, nullptr), ciMB_ERR_RANGE);
    EXPECT_EQ(Added(), "\tP222\tMB.Tx\t#01.03 <0000> (007e) {c5ea}\tRead\n");
    ASSERT_EQ(popups.popups().size(), 1u);
    EXPECT_EQ(popups.popups()[0].first, "mf_Tovra_Send_MB_MSG_16_A ()");
    EXPECT_EQ(RequestsSeen(), 0);
}

TEST_F(DeviceExchange, AFrameLengthOutsideTheLayoutIsRefusedUntouched)
{
    Start();
    PopupRecorder popups(PopupRecorder::kExpected);
    unsigned char frame[8] = {0x01, 0x03, 0x11, 0x01, 0x00, 0x02, 0xAA, 0xBB};
    EXPECT_EQ(mf_Tovra_Send_MB_MSG_16_A(ciPORT_umb, frame, 7, nullptr, log_, 0.05), ciMB_ERR_RANGE);
    EXPECT_EQ(mf_Tovra_Send_MB_MSG_16_A(ciPORT_umb, frame, 258, nullptr, log_, 0.05),
              ciMB_ERR_RANGE);
    EXPECT_EQ(frame[6], 0xAA);
    EXPECT_EQ(Added(), "");
    EXPECT_EQ(popups.popups().size(), 2u);
}

TEST_F(DeviceExchange, APortThatIsNotOpenFailsWithTheSerialCodeAndLogsTheRefusalOnly)
{
    Start();
    CloseCom(ciPORT_umb);
    short values[2] = {kGuard, kGuard};
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), kComErrNotOpen);
    EXPECT_EQ(Added(), "\t" LOG_MARK " request not sent: the port refused it, err=-7\n"
                       "\tcheck Help of LW.CVI : FlushOutQ, err=-7\n");
    EXPECT_EQ(values[0], kGuard);
}

TEST_F(DeviceExchange, AWriteThatCannotGoOutIsAFailureNotASuccess)
{
    Start();
    // A second descriptor on the line, taken before the port holds it for
    // itself (TIOCEXCL, which only root may pass).
    CloseCom(ciPORT_umb);
    int tty = open(sim_->ptyPath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(tty, 0);
    ASSERT_EQ(OpenComConfig(ciPORT_umb, sim_->comName().c_str(), 9600, 0, 8, 1, 0, 0), 0);
    ASSERT_EQ(SetComTime(ciPORT_umb, 0.2), 0);
    // Output suspended on the line (as by a peer's XOFF): the port takes nothing.
    ASSERT_EQ(tcflow(tty, TCOOFF), 0);
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, nullptr), ciMB_ERR_WRITE);
    EXPECT_EQ(Added(), kReadBRTx + "\t" LOG_MARK " COM write NG, err code: 0\n\n"
                                 "\tcheck Help of LW.CVI : ComWrt \n");
    ASSERT_EQ(tcflow(tty, TCOON), 0);
    close(tty);
    short values[2];
    EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), 0);
}

} // namespace

namespace {

// ---------------------------------------------------------------- on a bus

// Ends one device of a table-driven test, so the next can start.
class BusExchange : public DeviceExchange {
protected:
    void Stop()
    {
        CloseCom(ciPORT_umb);
        gpLog = nullptr;
        fclose(log_);
        free(logText_);
        log_ = nullptr;
        logText_ = nullptr;
        logSize_ = 0;
        seen_ = 0;
        sim_.reset();
    }
};

TEST_F(BusExchange, OnABusALateReplyIsHeardOutBeforeTheNextRequestAndNeverTakenForItsReply)
{
    // Slave 1 answers 300 or 400 ms late, within the grace after its limit
    // (0.218 s); slave 2 at once, slave 7 not at all. The late reply is
    // logged before the next request goes out, and answers nothing.
    const struct {
        const char *late;
        int nextId;
        int result; // of the next request
    } cases[] = {
        {"1,delay=300", 2, 0},
        {"1,delay=400", 2, 0},
        {"1,delay=400", 7, ciMB_ERR_TIMEOUT},
    };
    for (auto c : cases) {
        Start({"--slave", c.late, "--slave", "2"});
        short values[2] = {kGuard, kGuard};
        EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), ciMB_ERR_TIMEOUT);
        Added();
        gvIDd = c.nextId;
        EXPECT_EQ(mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values), c.result) << c.late << " then " << c.nextId;
        EXPECT_EQ(giMB_LateCount, 9) << c.late;
        EXPECT_EQ(values[0], c.result == 0 ? 3 : kGuard);
        std::string added = Added();
        EXPECT_EQ(added.find("\tP222\tMB.Rx\t01 03 04 00 03 00 01 cb f3 \n\t" LOG_MARK
                             " Modbus.core: a reply came "),
                  0u) << added;
        EXPECT_NE(added.find(" ms late: the device is slower than the limit\n\n\tP222\tMB.Tx\t"),
                  std::string::npos) << added;
        Stop();
    }
}

TEST_F(BusExchange, EveryFaultOfTheSimulatorLeavesAMarkedLine)
{
    const std::vector<std::vector<std::string>> faults = {
        {"--fault", "no-reply"},    {"--fault", "bad-crc"},      {"--fault", "short"},
        {"--fault", "short=3"},     {"--fault", "short=5"},      {"--fault", "exception=2"},
        {"--fault", "exception=4"}, {"--fault", "delay=300"},    {"--noise", "1"},
        {"--echo"},                 {"--line", "19200"},         {"--line", "19200", "--mismatch", "garble"},
    };
    for (const auto &fault : faults) {
        Start(fault);
        short values[2] = {kGuard, kGuard};
        int result = mf_Tovra_Modbus_dev_RW_16(3, 0x1101, 2, values);
        std::string added = Added();
        std::string name;
        for (const std::string &word : fault)
            name += word + " ";
        EXPECT_LT(result, 0) << name;
        std::string rx = added.substr(kReadBRTx.size());
        EXPECT_NE(rx.find(LOG_MARK), std::string::npos) << name << ":\n" << added;
        Stop();
    }
}

} // namespace
