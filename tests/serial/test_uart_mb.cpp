// The serial link on the real panel, with tovra-devsim as the device.
#include <QAbstractButton>
#include <QListWidget>
#include <QTest>

#include <memory>

#include <gtest/gtest.h>

#include "devsim.h"
#include "log_texts.h"
#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "model/model.h"
#include "panel_fixture.h"
#include "panel_ids.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "serial/ComList.h"
#include "serial/UART_MB.h"

namespace {

const std::string kMark = "\xA1\xB9\xA1\xB9\xA1\xB9";

class SerialLinkTest : public PanelTest {};

} // namespace

TEST_F(SerialLinkTest, OpeningThroughTheComFieldReportsTheSettingsParityFirst)
{
    DevSim sim({"--com", "201"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    EnableLog();
    OpenPort(201);
    EXPECT_EQ(StatusText(), OpenReport(201, "0-8-1"));
    EXPECT_EQ(StatusColour(), ciMsgGreen);
    EXPECT_EQ(Log(), "Close COM P222 OK\n" + OpenReport(201, "0-8-1") + "\n");

    // 7 data bits, even parity, 2 stop bits: parity code, data bits, stop bits.
    Choose(kData, 0);
    Choose(kStop, 1);
    Choose(kParity, 2);
    EXPECT_EQ(StatusText(), OpenReport(201, "2-7-2"));
    EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), 1);
}

TEST_F(SerialLinkTest, AFailedOpenTurnsTheToggleOffAndShowsWhyInRed)
{
    EnableLog();
    Enter(kComField, 300);
    EXPECT_EQ(BgColour(kComField), ciColourRed) << "highlighted but still tried";
    EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), 0);
    EXPECT_EQ(StatusText(), "Open COM300 NG : COM name not mapped to a device");
    EXPECT_EQ(StatusColour(), ciMsgRed);
    EXPECT_EQ(Log(), "Close COM P222 OK\n" + kMark + " UART_MB :: 882839 \n" + kMark +
                         " Open COM NG :: err code : " + std::to_string(kComErrNotMapped) + " \n\n");
}

TEST_F(SerialLinkTest, APortHeldByAnotherProgramIsReportedBusy)
{
    DevSim sim({"--com", "202"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    ASSERT_EQ(OpenCom(ciPORT_umb + 1, "COM202"), 0); // the other program
    Enter(kComField, 202);
    CloseCom(ciPORT_umb + 1);
    EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), 0);
    EXPECT_EQ(StatusText(), "Open COM202 NG : serial device busy: another program holds it");
}

TEST_F(SerialLinkTest, TheToggleClosesAndReopensThePort)
{
    DevSim sim({"--com", "203"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(203);
    EnableLog();
    Click(kToggle);
    EXPECT_EQ(StatusText(), "Close COM P222 OK");
    EXPECT_EQ(StatusColour(), ciMsgBlack);
    char buf[1];
    EXPECT_EQ(ComRd(ciPORT_umb, buf, 1), kComErrNotOpen);
    Click(kToggle);
    EXPECT_EQ(StatusText(), OpenReport(203, "0-8-1"));
    EXPECT_EQ(Log(), "Close COM P222 OK\nClose COM P222 OK\n" + OpenReport(203, "0-8-1") + "\n");
}

TEST_F(SerialLinkTest, ANewBaudRateReopensAnOpenPortAndOnlyClosesAClosedOne)
{
    DevSim sim({"--com", "204"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    EnableLog();
    Choose(kBaud, 4); // 19200
    EXPECT_EQ(StatusText(), "Close COM P222 OK");
    EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), 0);
    OpenPort(204);
    Choose(kBaud, 7); // 115200
    EXPECT_EQ(StatusText(), OpenReport(204, "0-8-1", 115200));
    EXPECT_EQ(Log(), "Close COM P222 OK\n"
                     "Close COM P222 OK\n" + OpenReport(204, "0-8-1", 19200) + "\n"
                     "Close COM P222 OK\n" + OpenReport(204, "0-8-1", 115200) + "\n");
}

TEST_F(SerialLinkTest, NewDataBitsApplyAtOnceToAnOpenPortAndAtTheNextOpenOtherwise)
{
    DevSim sim({"--com", "205"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    Choose(kData, 0);
    EXPECT_EQ(StatusText(), "") << "a closed port stays closed";
    OpenPort(205);
    EXPECT_EQ(StatusText(), OpenReport(205, "0-7-1"));
    Choose(kData, 1);
    EXPECT_EQ(StatusText(), OpenReport(205, "0-8-1"));
}

TEST_F(SerialLinkTest, SlaveIdsOutsideTheRangeAreClampedAndBecomeTheRequestId)
{
    for (auto [typed, kept] : {std::pair{0, 1}, {300, 255}, {17, 17}}) {
        Enter(kIdField, typed);
        EXPECT_EQ(mf_Tovra_TIS32_X__GV(1), kept);
        EXPECT_EQ(gvIDd, kept);
        EXPECT_EQ(BgColour(kIdField), ciColourField);
    }
}

TEST_F(SerialLinkTest, TheTestReadShowsRegisterZeroAsASignedNumber)
{
    DevSim sim({"--com", "206", "--ident", "32768"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(206);
    Click(kTestRead);
    EXPECT_EQ(StatusText(), "addr=0x0000, data=-32768");
    EXPECT_EQ(StatusColour(), ciMsgGreen);
}

TEST_F(SerialLinkTest, ATestReadWithoutAnAnswerShowsReadNG)
{
    DevSim sim({"--com", "207", "--id", "9"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    OpenPort(207);
    Click(kTestRead);
    EXPECT_EQ(StatusText(), "Read NG") << "slave 1 is not on this line";
    EXPECT_EQ(StatusColour(), ciMsgRed);
    Enter(kIdField, 9);
    Click(kTestRead);
    EXPECT_EQ(StatusText(), "addr=0x0000, data=21590");
}

TEST_F(SerialLinkTest, TableSettersSelectByValueAndRefuseOthersWithAPopup)
{
    recorder_.expect();
    mf_Tovra_UMB_dev_BR__SV(38400);
    EXPECT_EQ(mf_Tovra_UMB_dev_BR__GV(), 38400);
    mf_Tovra_UMB_dev_BR__SV(300);
    EXPECT_EQ(mf_Tovra_UMB_dev_BR__GV(), 38400) << "the ring keeps its selection";
    mf_Tovra_UMB_dev_DATA__SV(7);
    mf_Tovra_UMB_dev_STOP__SV(2);
    mf_Tovra_TIS32_X__SV(0, 12);
    mf_Tovra_TIS32_X__SV(1, 3);
    mf_Tovra_Ring_X__SI(2, 4);
    UMB_dev dev;
    mf_Tovra_UMB_dev__GV(&dev);
    EXPECT_EQ(dev.COMx, 12);
    EXPECT_EQ(dev.BR, 38400);
    EXPECT_EQ(dev.DATA, 7);
    EXPECT_EQ(dev.PARITY, 4);
    EXPECT_EQ(dev.STOP, 2);
    EXPECT_EQ(dev.ID, 3);
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_EQ(popups[0], std::make_pair(std::string("mf_Tovra_UMB_dev_BR__SV ()"),
                                        std::string("error : value out of array")));
}

TEST_F(SerialLinkTest, ClickingAListedPortCopiesItsNumberAndOpensIt)
{
    DevSim sim({"--com", "208"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    ClearListCtrl(gvTovra_COMM, kComList);
    InsertListItem(gvTovra_COMM, kComList, -1, "Virtual serial port [pts] (COM208)", 208);
    auto *list = qobject_cast<QListWidget *>(Ctrl(kComList));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(mf_Tovra_TIS32_X__GV(0), 208);
    EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), 1);
    EXPECT_EQ(StatusText(), OpenReport(208, "0-8-1"));
}

TEST_F(SerialLinkTest, EnterOnTheSameComNumberRetriesAnOpenThatFailed)
{
    Enter(kComField, 209);
    EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), 0) << "nothing on COM209 yet";
    DevSim sim({"--com", "209"}); // the adapter is plugged in
    ASSERT_TRUE(sim.ready()) << sim.output();
    Enter(kComField, 209);
    EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), 1);
    EXPECT_EQ(StatusText(), OpenReport(209, "0-8-1"));
}

TEST_F(SerialLinkTest, ThePortToggleTurnedByAScreenReaderOpensThePort)
{
    DevSim sim({"--com", "211"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    mf_Tovra_TIS32_X__SV(0, 211);
    qobject_cast<QAbstractButton *>(Ctrl(kToggle))->toggle();
    EXPECT_EQ(StatusText(), OpenReport(211, "0-8-1"));
}

TEST_F(SerialLinkTest, ADeviceThatGoesAwayTurnsTheToggleOffAndSaysWhyInRedAndTheLog)
{
    auto sim = std::make_unique<DevSim>(std::vector<std::string>{"--com", "212"});
    ASSERT_TRUE(sim->ready()) << sim->output();
    OpenPort(212);
    EnableLog();
    sim.reset(); // the adapter is pulled out
    EXPECT_TRUE(QTest::qWaitFor([] { return mf_Tovra_TGBT_X__GV(0) == 0; }, 5000));
    EXPECT_EQ(StatusText(), "COM212 lost: the device was disconnected");
    EXPECT_EQ(StatusColour(), ciMsgRed);
    EXPECT_EQ(Log(), kMark + " UART_MB :: 882840 \n" + kMark + " COM212 lost :: err code : -9 \n\n");

    DevSim again({"--com", "212"}); // plugged in again
    ASSERT_TRUE(again.ready()) << again.output();
    Click(kToggle);
    EXPECT_EQ(StatusText(), OpenReport(212, "0-8-1"));
}
