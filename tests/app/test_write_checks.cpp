// What a Write may claim: nothing is sent before the selectors hold known
// values, an opted-in Verify reads both registers back before the EEPROM
// command, a missing EEPROM reply is "not confirmed" rather than "not
// stored", and a Write cut short by the program's end says how far it got.
#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleInterface>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/Tovra_main.h"
#include "devsim.h"
#include "lang/Lang_API.h"
#include "lang/Lang_DB.h"
#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "model/model.h"
#include "panel_fixture.h"
#include "panel_ids.h"
#include "platform/serial.h"
#include "serial/UART_MB.h"

namespace {

class WriteChecksTest : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        mf_Tovra_Timer_X__set_interval(0, 3600);
        mf_Tovra_Timer_X__set_interval(1, 3600);
    }
    // Ticks the write timer until it stops (at most `ticks`); the statuses shown.
    std::vector<std::string> RunWrite(int ticks = 8)
    {
        std::vector<std::string> shown;
        for (int i = 0; i < ticks && TimerRunning(kWriteTimer); ++i) {
            Tick(kWriteTimer);
            shown.push_back(StatusText());
        }
        return shown;
    }
    static bool Checked(int control)
    {
        return static_cast<QAbstractButton *>(Ctrl(control))->isChecked();
    }
    static std::string Tooltip() { return Ctrl(kStatus)->toolTip().toStdString(); }
};

using Shown = std::vector<std::string>;

} // namespace

// What the operator and a screen reader meet in the selectors: no speed and
// "not read yet" until a Read gives one (a failed Read gives none), and
// meanwhile a Write that sends nothing.
TEST_F(WriteChecksTest, TheSelectorsHoldNoSpeedUntilAReadAndAWriteSendsNothingMeanwhile)
{
    struct Case {
        const char *when;
        std::vector<std::string> sim; // the simulator's options
        bool read;                    // a Read before the checks
        int lang;
        const char *value; // BR1 as a screen reader reads it
        const char *tip;
    };
    const Case cases[] = {
        {"at start-up", {}, false, ciLang_EN, "", "BR1, register 0x1101: not read yet"},
        {"after a failed Read", {"--fault", "no-reply"}, true, ciLang_TC, "", "BR1，暫存器 0x1101：尚未讀取"},
        {"after a Read", {"--br1", "5"}, true, ciLang_SC, "38400", "BR1，寄存器 0x1101"},
    };
    for (const Case &c : cases) { // one session: each row goes on from the one before
        mf_Tovra_Lang__SV(c.lang);
        mf_Tovra_Lang__Refresh();
        std::vector<std::string> args = {"--com", "250"};
        args.insert(args.end(), c.sim.begin(), c.sim.end());
        DevSim sim(args);
        ASSERT_TRUE(sim.ready()) << sim.output();
        OpenPort(250);
        if (c.read)
            Click(kRead);
        QAccessibleInterface *br1 = QAccessible::queryAccessibleInterface(Ctrl(kBR1));
        EXPECT_EQ(br1->text(QAccessible::Value).toStdString(), c.value) << c.when;
        EXPECT_EQ(br1->text(QAccessible::Description).toStdString(), c.tip) << c.when;
        const bool known = *c.value != '\0';
        EXPECT_EQ(BgColour(kBR2), known ? ciColourIndicator : ciColourInvalidItem) << c.when;
        Click(kWrite);
        EXPECT_EQ(TimerRunning(kWriteTimer), known ? 1 : 0) << c.when << ": " << StatusText();
        mf_Tovra_Timer_X__toggle(1, 0);
        EXPECT_EQ(sim.output().find("rx 01 06"), std::string::npos) << sim.output();
        CloseCom(ciPORT_umb);
    }
    mf_Tovra_Lang__SV(ciLang_EN);
}

TEST_F(WriteChecksTest, VerifyReadsBothBackBeforeTheEepromCommandAndStopsOnADifference)
{
    struct Case {
        const char *device;
        std::vector<std::string> fault;
        Shown shown;
        bool committed;
    };
    const Case cases[] = {
        {"one that takes the values", {}, {"1", "2", "2", "3", "OK"}, true},
        {"one that acknowledges and ignores", {"--fault", "ignore"},
         {"1", "2", "Write NG : BR1 reads back 3, not 5", "Write NG : BR1 reads back 3, not 5"},
         false},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = {"--com", "251", "--br1", "3", "--br2", "3", "--state",
                                         std::string(c.committed ? "takes" : "ignores") + ".txt"};
        args.insert(args.end(), c.fault.begin(), c.fault.end());
        DevSim sim(args);
        ASSERT_TRUE(sim.ready()) << sim.output();
        OpenPort(251);
        Click(kRead);
        if (!Checked(kVerify))
            Click(kVerify);
        EnableLog();
        Choose(kBR1, 5);
        Choose(kBR2, 6);
        Click(kWrite);
        EXPECT_EQ(RunWrite(), c.shown) << c.device;
        EXPECT_EQ(StatusColour(), c.committed ? ciMsgGreen : ciMsgRed) << c.device;
        EXPECT_EQ(sim.output().find("rx 01 05") != std::string::npos, c.committed) << c.device;
        std::string log = Log();
        EXPECT_NE(log.find("w BR2\n"), std::string::npos) << c.device;
        EXPECT_NE(log.find("r BR1, BR2\n"), std::string::npos) << "the read-back is logged";
        EXPECT_EQ(log.find("Write NG : BR1 reads back 3, not 5\n") != std::string::npos, !c.committed)
            << log;
        CloseCom(ciPORT_umb);
    }
}

TEST_F(WriteChecksTest, TheVerifySwitchIsRememberedBesideLangTxt)
{
    EXPECT_FALSE(Checked(kVerify)) << "off unless chosen";
    Click(kVerify);
    EXPECT_EQ(ReadFileBytes(caVerifyFile), "1");
    DiscardPanel(gvTovra_COMM);
    ASSERT_EQ(mf_Tovra_Form_COMM__init(), 0);
    EXPECT_TRUE(Checked(kVerify)) << "on again at the next start";
    Click(kVerify);
    EXPECT_EQ(ReadFileBytes(caVerifyFile), "0");
}

TEST_F(WriteChecksTest, AnEepromCommandWithoutItsReplyIsNotConfirmedARefusalIsNotStored)
{
    const std::string unconfirmed =
        "storing not confirmed: the device may have stored the values; read them back";
    struct Case {
        const char *fault;
        bool mayHaveStored;
    };
    for (Case c : {Case{"no-reply", true}, Case{"exception=4", false}}) {
        DevSim sim({"--com", "252", "--fault", c.fault, "--fault-fc", "5"});
        ASSERT_TRUE(sim.ready()) << sim.output();
        OpenPort(252);
        Click(kRead);
        EnableLog();
        Click(kWrite);
        // Without a reply the timer runs on while the late reply may come.
        Shown shown = RunWrite();
        shown.resize(4);
        EXPECT_EQ(shown, (Shown{"1", "2", "Write EEPROM NG", "Write EEPROM NG"})) << c.fault;
        EXPECT_EQ(Tooltip().find(unconfirmed) != std::string::npos, c.mayHaveStored) << Tooltip();
        EXPECT_EQ(Log().find("\t" LOG_MARK " " + unconfirmed + "\n") != std::string::npos,
                  c.mayHaveStored)
            << Log();
        CloseCom(ciPORT_umb);
    }
}

TEST_F(WriteChecksTest, FindPressedDuringAWriteSaysSoAndTheWriteGoesOn)
{
    DevSim sim({"--com", "253"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(253);
    Click(kRead);
    Click(kWrite);
    Tick(kWriteTimer);
    Click(kFind);
    EXPECT_EQ(StatusText(), "Find not started: a Write is under way");
    EXPECT_EQ(RunWrite(), (Shown{"2", "3", "OK"}));
}

TEST_F(WriteChecksTest, ClosingTheWindowMidWriteLogsWhatWasWrittenAndWhatWasNotSent)
{
    DevSim sim({"--com", "254"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(254);
    Click(kRead);
    EnableLog();
    Click(kWrite);
    Tick(kWriteTimer);
    evTovra_COMM(gvTovra_COMM, EVENT_CLOSE, nullptr, 0, 0); // as a termination signal does
    std::string log = ReadFileBytes(caLogFile);
    EXPECT_NE(log.find("Write stopped: BR1 written; BR2, the EEPROM command not sent\n"),
              std::string::npos)
        << log;
}
