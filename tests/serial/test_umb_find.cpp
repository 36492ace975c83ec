// Find device: the pure parts of the search, then the search through the
// real window against the simulator listening on a line of its own.
#include <QCoreApplication>
#include <QProgressBar>
#include <QTest>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devsim.h"
#include "log_texts.h"
#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"
#include "model/model.h"
#include "panel_fixture.h"
#include "panel_ids.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "serial/UART_MB.h"
#include "serial/UMB_find.h"

namespace {

std::string LineText(const UMB_Line &line)
{
    char text[32];
    mf_Tovra_UMB_Find__Line_text(&line, text, sizeof text);
    return text;
}

} // namespace

// ------------------------------------------------------------ pure parts

TEST(FindOrder, TriesTheCurrentSettingsThen9600_8N1ThenTheRestEachOnce)
{
    struct Case {
        UMB_dev current; // COMx, BR, DATA, PARITY, STOP, ID
        std::vector<std::string> first;
        int count;
    };
    const Case cases[] = {
        {{5, 38400, 8, kParityEven, 2, 1}, {"38400 8E2", "9600 8N1", "9600 8E1", "9600 8O1", "9600 8N2"}, ciFind_GRID},
        {{5, 9600, 8, kParityNone, 1, 1}, {"9600 8N1", "9600 8E1", "9600 8O1", "9600 8N2", "9600 8E2"}, ciFind_GRID},
        {{5, 38400, 7, kParityEven, 1, 1}, {"9600 8N1", "9600 8E1"}, ciFind_GRID},  // 7 data bits: not searched
        {{5, 57600, 8, kParityMark, 1, 1}, {"57600 8M1", "9600 8N1", "9600 8E1"}, ciFind_GRID + 1},
    };
    for (const Case &c : cases) {
        UMB_Line order[ciFind_LINES];
        ASSERT_EQ(mf_Tovra_UMB_Find__Order(&c.current, order), c.count);
        std::set<std::string> distinct;
        for (int i = 0; i < c.count; ++i)
            distinct.insert(LineText(order[i]));
        EXPECT_EQ(distinct.size(), size_t(c.count));
        for (size_t i = 0; i < c.first.size(); ++i)
            EXPECT_EQ(LineText(order[i]), c.first[i]) << i;
    }
}

TEST(FindSort, AProbeIsAnAnswerAGarbleSilenceOrAPortFailure)
{
    const struct {
        int result;
        unsigned char replyId;
        int asked;
        int outcome;
    } cases[] = {
        {0, 7, 7, ciFind_ANSWERED},
        {ciMB_ERR_EXCEPTION - 2, 7, 7, ciFind_ANSWERED}, // refused, but there
        {ciMB_ERR_SLAVE, 3, 7, ciFind_ANSWERED},         // another slave: to be confirmed
        {ciMB_ERR_SLAVE, 0, 7, ciFind_GARBLED},          // a good CRC from no slave ID
        {ciMB_ERR_SLAVE, 248, 7, ciFind_GARBLED},
        {ciMB_ERR_SLAVE, 250, 250, ciFind_ANSWERED},     // beyond 247, but asked for
        {ciMB_ERR_FUNCTION, 7, 7, ciFind_GARBLED},
        {ciMB_ERR_COUNT, 7, 7, ciFind_LATE},             // a whole reply to another read
        {ciMB_ERR_TIMEOUT, 0, 7, ciFind_SILENT},
        {ciMB_ERR_CRC, 7, 7, ciFind_GARBLED},
        {ciMB_ERR_LENGTH, 7, 7, ciFind_GARBLED},
        {kComErrLost, 0, 7, ciFind_PORT_NG},
        {kComErrIo, 0, 7, ciFind_PORT_NG},
    };
    for (auto c : cases) {
        unsigned char reply[7] = {c.replyId, 3};
        EXPECT_EQ(mf_Tovra_UMB_Find__Sort(c.result, reply, c.asked), c.outcome) << c.result;
    }
}

TEST(FindTexts, NameTheSettingTheSlaveIdsAndWhatCameOfThem)
{
    // What the window tests do not show: runs of IDs, a garble, a port failure, the offer.
    char text[512];
    const int run[] = {7, 1, 2, 3, 4};
    mf_Tovra_UMB_Find__Ids_text(run, 5, text, sizeof text);
    EXPECT_STREQ(text, "7, 1-4");

    const UMB_Line line = {19200, kParityEven, 1};
    mf_Tovra_UMB_Find__Note_text(5, &line, run, 1, ciFind_GARBLED, 3, text, sizeof text);
    EXPECT_STREQ(text, "Find COM5 19200 8E1, ID 7 : garbled reply (3 bytes): something is there at a near setting");

    const UMB_Find_End failed = {ciFind_FAILED, 5, {}, 0, kComErrBusy, 0, 48, 0, 0, 0, 0, 0};
    mf_Tovra_UMB_Find__End_text(&failed, text, sizeof text);
    EXPECT_STREQ(text, "Find COM5 NG : the serial port failed: serial device busy: another program holds it");

    const UMB_Line sweep[] = {{9600, kParityNone, 1}, line};
    mf_Tovra_UMB_Find__Offer_text(5, run, 2, sweep, 2, text, sizeof text);
    EXPECT_STREQ(text, "No device answered on COM5 with slave ID 7, 1.\n\nTry every slave ID from 1 to "
                       "247 at 9600 8N1, 19200 8E1? This takes about 46 s; Cancel stops it.");
}

TEST(FindTexts, APartialWriteAndALateDeviceAreNamedAsSuch)
{
    char text[512];
    const UMB_Find_End partial = {ciFind_FAILED, 5, {}, 0, ciMB_ERR_WRITE, 3, 48, 0, 0, 0, 0, 0};
    mf_Tovra_UMB_Find__End_text(&partial, text, sizeof text);
    EXPECT_STREQ(text, "Find COM5 NG : the port took only part of the request: check the adapter");
    const UMB_Find_End slow = {ciFind_NOT_FOUND, 5, {}, 0, 0, 48, 48, 0, 2, 0, 0, 0};
    mf_Tovra_UMB_Find__End_text(&slow, text, sizeof text);
    EXPECT_STREQ(text, "Not found on COM5: a reply came later than the probe's limit (80 ms after the "
                       "frames); for a slower device raise the limit (tovra-cli find --limit MS)");
    const UMB_Line line = {1200, kParityOdd, 2};
    const int ids[] = {1};
    mf_Tovra_UMB_Find__Note_text(5, &line, ids, 1, ciFind_REFUSED, 0, text, sizeof text);
    EXPECT_STREQ(text, "Find COM5 1200 8O2 : the adapter refused this setting");
}

// ------------------------------------------------------- through the window

namespace {

class FindDeviceTest : public PanelTest {
protected:
    // The panel's COM number and slave ID, without opening the port.
    static void Aim(int com, int id)
    {
        mf_Tovra_TIS32_X__SV(0, com);
        mf_Tovra_TIS32_X__SV(1, id);
    }
    // Runs the event loop, one pass at a time, until `done` or 60 s.
    static bool RunUntil(const std::function<bool()> &done)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done() && std::chrono::steady_clock::now() < end)
            QCoreApplication::processEvents();
        return done();
    }
    static void FindDevice()
    {
        Click(kFind);
        ASSERT_TRUE(RunUntil([] { return !mf_Tovra_UMB_Find__Running(); }));
    }
    static std::string LineSettings()
    {
        UMB_dev d;
        mf_Tovra_UMB_dev__GV(&d);
        return std::to_string(d.BR) + " " + std::to_string(d.DATA) + "-" + std::to_string(d.PARITY) +
               "-" + std::to_string(d.STOP) + " ID " + std::to_string(d.ID);
    }
    static int Count(const std::string &text, const std::string &part)
    {
        int n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    }
};

} // namespace

TEST_F(FindDeviceTest, ADeviceIsFoundSetIntoThePanelAndOpenedTheOrdinaryWay)
{
    struct Case {
        const char *how;
        int device; // the simulator's slave ID
        int field;  // in the slave-ID field
        int parity; // of the panel, at 38400 8-x-1
        int answer; // to the offer of the slave-ID sweep
        int settingsTried;
    };
    const Case cases[] = {
        {"the quick search, with the highest slave ID in the field", 247, 247, kParityNone, 0, 13},
        {"the slave-ID sweep at the current settings", 7, 1, kParityEven, 1, ciFind_GRID},
    };
    recorder_.expect();
    for (const Case &c : cases) {
        const std::string id = std::to_string(c.device);
        DevSim sim({"--com", "230", "--line", "38400,E,1", "--id", id});
        ASSERT_TRUE(sim.ready()) << sim.output();
        EnableLog();
        Aim(230, c.field);
        mf_Tovra_UMB_dev_BR__SV(38400);
        mf_Tovra_Ring_X__SI(2, c.parity);
        recorder_.answerQuestions(c.answer);
        FindDevice();
        EXPECT_EQ(StatusText(), "Found: 38400 8E1, ID " + id) << c.how;
        EXPECT_EQ(StatusColour(), ciMsgGreen);
        EXPECT_EQ(LineSettings(), "38400 8-2-1 ID " + id);
        EXPECT_EQ(gvIDd, c.device);
        std::string log = Log();
        EXPECT_EQ(Count(log, "Find COM230 "), c.settingsTried) << log;
        EXPECT_EQ(Count(log, "MB.Tx"), 0) << "no probe is traced";
        EXPECT_EQ(log.substr(log.find("Found:")), "Found: 38400 8E1, ID " + id + "\nClose COM P222 OK\n" +
                                                      OpenReport(230, "2-8-1", 38400) + "\n");
        CloseCom(ciPORT_umb);
        mf_Tovra_TGBT_X__SV(0, 0);
    }
}

TEST_F(FindDeviceTest, NotFoundChangesNothingAndSaysWhetherSomethingGarbledAnswered)
{
    struct Case {
        std::vector<std::string> sim;
        std::string status;
    };
    const Case cases[] = {
        {{"--com", "231", "--line", "600"}, "Not found on COM231: no reply"},
        {{"--com", "231", "--line", "600", "--mismatch", "garble"},
         "Not found on COM231: something garbled answered at 48 settings"},
    };
    recorder_.expect(); // the offer of the slave-ID sweep
    for (const Case &c : cases) {
        DevSim sim(c.sim);
        ASSERT_TRUE(sim.ready()) << sim.output();
        OpenPort(231);
        Choose(kStop, 1);
        EnableLog();
        std::string before = LineSettings();
        size_t asked = popups.size();
        FindDevice();
        EXPECT_EQ(StatusText(), c.status);
        EXPECT_EQ(StatusColour(), ciMsgRed);
        EXPECT_EQ(LineSettings(), before);
        EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), 1) << "the port is open again, as before";
        ASSERT_EQ(popups.size(), asked + 1) << "the sweep was offered";
        std::string log = Log();
        EXPECT_EQ(Count(log, "Find COM231 "), ciFind_GRID);
        EXPECT_EQ(log.substr(log.find("Not found")),
                  c.status + "\nClose COM P222 OK\n" + OpenReport(231, "0-8-2") + "\n");
    }
}

TEST_F(FindDeviceTest, CancelStopsBeforeTheNextProbeAndLeavesThePanelAsItWas)
{
    DevSim sim({"--com", "232", "--line", "57600"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    Aim(232, 7);
    EnableLog();
    std::string before = LineSettings();
    EXPECT_FALSE(Ctrl(kCancel)->isVisible()) << "hidden while no search runs";
    Click(kFind);
    auto *bar = qobject_cast<QProgressBar *>(Ctrl(kProgress));
    EXPECT_FALSE(Ctrl(kSerialGroup)->isEnabled()) << "nothing else uses the port meanwhile";
    EXPECT_TRUE(Ctrl(kCancel)->isVisible());
    ASSERT_TRUE(RunUntil([] { return StatusText().find("(3/96)") != std::string::npos; }));
    EXPECT_EQ(bar->value(), 3 * 100 / 96);
    Click(kCancel);
    ASSERT_TRUE(RunUntil([] { return !mf_Tovra_UMB_Find__Running(); }));
    EXPECT_EQ(StatusText(), "Find cancelled after 3 of 96 probes");
    EXPECT_EQ(LineSettings(), before);
    EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), 0);
    EXPECT_EQ(Log(), "Find COM232 9600 8N1, ID 7, 1 : no reply\n"
                     "Find COM232 9600 8E1, ID 7 : no reply\n"
                     "Find cancelled after 3 of 96 probes\n");
    EXPECT_TRUE(Ctrl(kSerialGroup)->isEnabled());
    EXPECT_FALSE(Ctrl(kCancel)->isVisible());
    EXPECT_FALSE(bar->isVisible());
}

TEST_F(FindDeviceTest, ADeviceThatTookANewBaudRateAtTheCommitIsFoundThere)
{
    DevSim sim({"--com", "233", "--apply-on-commit"}); // listens at BR1 = 9600 8N1
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(233);
    Click(kRead);
    Choose(kBR1, 4); // 19200
    Click(kWrite);
    for (int tick = 0; tick < 4; ++tick)
        Tick(kWriteTimer);
    ASSERT_EQ(StatusText(), "OK");
    ASSERT_TRUE(sim.waitForOutput("note: line now 19200 8N1", 1, 3000)) << sim.output();
    Click(kTestRead);
    EXPECT_EQ(StatusText(), "Read NG") << "the device no longer answers at 9600";
    EnableLog();
    FindDevice();
    EXPECT_EQ(StatusText(), "Found: 19200 8N1, ID 1");
    EXPECT_EQ(Log().rfind("Find COM233 9600 8N1, ID 1 : no reply\n", 0), 0u) << Log();
}

TEST_F(FindDeviceTest, FindPressedWhileAWriteRunsStartsNoSearchAndTheWriteGoesOn)
{
    DevSim sim({"--com", "235"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(235);
    mf_Tovra_Timer_X__set_interval(1, 3600); // the write ticks when the test says
    Choose(kBR1, 4);
    Choose(kBR2, 3);
    Click(kWrite);
    Tick(kWriteTimer);
    Click(kFind);
    EXPECT_FALSE(mf_Tovra_UMB_Find__Running());
    EXPECT_TRUE(Ctrl(kSerialGroup)->isEnabled());
    for (const char *shown : {"2", "3", "OK"}) {
        Tick(kWriteTimer);
        EXPECT_EQ(StatusText(), shown);
    }
    EXPECT_EQ(ReadFileBytes(sim.statePath()), "BR1=4\nBR2=3\n");
}

TEST_F(FindDeviceTest, TheStatusTooltipNamesTheCauseOfTheLastFailure)
{
    struct Case {
        std::vector<std::string> fault;
        std::function<void(std::unique_ptr<DevSim> &)> act;
        const char *tooltip;
    };
    auto press = [](int control) { return [control](std::unique_ptr<DevSim> &) { Click(control); }; };
    const Case cases[] = {
        {{"--fault", "no-reply"}, press(kTestRead),
         "Last failure: no reply within 0.216 s: check the cable, the slave ID and the line settings"},
        {{"--fault", "bad-crc"}, press(kRead),
         "Last failure: reply with a wrong checksum (9 bytes): check parity and baud rate, termination"},
        {{"--fault", "exception=2"}, press(kTestRead),
         "Last failure: the device refused: exception 2, illegal data address"},
        {{},
         [](std::unique_ptr<DevSim> &sim) {
             sim.reset(); // the adapter is pulled out
             ASSERT_TRUE(QTest::qWaitFor([] { return mf_Tovra_TGBT_X__GV(0) == 0; }, 5000));
         },
         "Last failure: the port was lost: the adapter was disconnected"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = {"--com", "234"};
        args.insert(args.end(), c.fault.begin(), c.fault.end());
        auto sim = std::make_unique<DevSim>(args);
        ASSERT_TRUE(sim->ready()) << sim->output();
        OpenPort(234);
        c.act(sim);
        QWidget *status = Ctrl(kStatus);
        EXPECT_EQ(status->toolTip().toStdString(), c.tooltip);
        EXPECT_EQ(status->accessibleDescription(), status->toolTip());
        CloseCom(ciPORT_umb);
    }
}

// ------------------------------------------------- never a wrong setting

TEST_F(FindDeviceTest, ADeviceAtASpeedBeyondTheFourCommonOnesIsFoundAndOpenedThere)
{
    DevSim sim({"--com", "235", "--line", "57600,E,1"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    Aim(235, 1);
    EnableLog();
    FindDevice();
    EXPECT_EQ(StatusText(), "Found: 57600 8E1, ID 1");
    EXPECT_EQ(LineSettings(), "57600 8-2-1 ID 1");
    std::string log = Log();
    EXPECT_EQ(log.substr(log.find("Found:")),
              "Found: 57600 8E1, ID 1\nClose COM P222 OK\n" + OpenReport(235, "2-8-1", 57600) + "\n");
}

TEST_F(FindDeviceTest, ADeviceSlowerThanTheProbeIsNotFoundAtAWrongSettingButNamedSlow)
{
    const std::vector<std::string> rows[] = {
        // At 9600 8E1 only, later than a probe there waits (97 ms): its reply
        // lands in the window of the next probe or the one after.
        {"--line", "9600,E,1", "--fault", "delay=100"},
        {"--line", "9600,E,1", "--fault", "delay=200"},
        // At every setting, every reply 250 ms late: late replies of probes
        // and of second reads land in later windows all through the search.
        {"--delay", "250"},
        // Only the second read is late: its reply would confirm the next one.
        {"--fault", "delay=250", "--fault-addr", "0x1101"},
    };
    for (const std::vector<std::string> &late : rows) {
        std::vector<std::string> args = {"--com", "236"};
        args.insert(args.end(), late.begin(), late.end());
        DevSim sim(args);
        ASSERT_TRUE(sim.ready()) << sim.output();
        Aim(236, 1);
        EnableLog();
        recorder_.expect(); // the offer of the slave-ID sweep, declined
        FindDevice();
        EXPECT_EQ(StatusText().rfind("Not found on COM236: a reply came later than the probe's limit", 0),
                  0u)
            << late.back() << ": " << StatusText();
        EXPECT_NE(StatusText().find("raise the limit"), std::string::npos);
        EXPECT_EQ(Log().find("Found:"), std::string::npos) << Log();
    }
}

TEST_F(FindDeviceTest, APortLostDuringTheSearchKeepsItsLostStatus)
{
    auto sim = std::make_unique<DevSim>(std::vector<std::string>{"--com", "237", "--line", "600"});
    ASSERT_TRUE(sim->ready()) << sim->output();
    OpenPort(237);
    Click(kFind);
    ASSERT_TRUE(RunUntil([] { return StatusText().find("(3/48)") != std::string::npos; }));
    sim.reset(); // the adapter is pulled out
    ASSERT_TRUE(RunUntil([] { return !mf_Tovra_UMB_Find__Running(); }));
    EXPECT_EQ(StatusText(), std::string("COM237 lost: ") + GetRS232ErrorString(kComErrLost));
    EXPECT_EQ(StatusColour(), ciMsgRed);
}
