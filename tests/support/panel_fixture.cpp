#include "panel_fixture.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QImage>
#include <QSpinBox>
#include <QTest>

#include <map>

#include "app/Tovra_main.h"
#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "model/model.h"
#include "platform/devices.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "platform/ui_qt.h"

namespace {

constexpr int ciComNumber = 15;
constexpr int ciPortToggle = 26;
constexpr int ciStatus = 12;
const char *const caNoDevices[] = {""};

} // namespace

void PanelTest::SetUp()
{
    ScratchDirTest::SetUp();
    // Start-up searches the ports: with no devices handed in, tests never
    // probe this machine's own ports unless they mean to.
    SetDeviceListHook(caNoDevices, 0);
    ASSERT_EQ(mf_Tovra_Form_COMM__init(), 0) << UiLastErrorDetail();
    DisplayPanel(gvTovra_COMM);
    gvIDd = 1;
    giMsg = 0;
    gvNo_WT = 0;
    giWT = 0;
}

void PanelTest::TearDown()
{
    CloseCom(ciPORT_umb);
    SetDeviceListHook(nullptr, 0);
    mf_Tovra_Log__Close();
    DiscardPanel(gvTovra_COMM);
    ProcessSystemEvents();
    ScratchDirTest::TearDown();
}

void PanelTest::EnableLog()
{
    WriteFileBytes(caLogSwitchFile, "1");
    mf_Tovra_Log__Clear();
    mf_Tovra_Log__Append();
}

std::string PanelTest::Log()
{
    if (gpLog)
        std::fflush(gpLog);
    return ReadFileBytes(caLogFile);
}

std::string PanelTest::StatusText()
{
    char text[512];
    GetCtrlVal(gvTovra_COMM, ciStatus, text, sizeof text);
    return text;
}

int PanelTest::StatusColour()
{
    int colour = -1;
    GetCtrlAttribute(gvTovra_COMM, ciStatus, ATTR_TEXT_COLOR, &colour);
    return colour;
}

// What the operator sees, read from the rendered pixels rather than from the
// attribute stored for the control. A field is filled with its background
// colour: the colour most of its pixels have. A drop-down is drawn as a
// shaded button over its background: its corner, outside the rounded frame,
// shows that background bare.
int PanelTest::BgColour(int control)
{
    const QImage image = Ctrl(control)->grab().toImage();
    if (qobject_cast<QComboBox *>(Ctrl(control)))
        return static_cast<int>(image.pixel(0, 0) & 0xFFFFFF);
    std::map<int, int> count;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++count[static_cast<int>(image.pixel(x, y) & 0xFFFFFF)];
    int colour = -1, most = 0;
    for (auto [rgb, n] : count)
        if (n > most)
            colour = rgb, most = n;
    return colour;
}

QWidget *PanelTest::Ctrl(int control)
{
    return UiCtrlWidget(gvTovra_COMM, control);
}

void PanelTest::Click(int control)
{
    QTest::mouseClick(Ctrl(control), Qt::LeftButton);
}

void PanelTest::Enter(int control, int value)
{
    auto *spin = qobject_cast<QSpinBox *>(Ctrl(control));
    ASSERT_NE(spin, nullptr);
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, QString::number(value));
    QTest::keyClick(spin, Qt::Key_Return);
}

// The operator opens the drop-down and clicks the item.
void PanelTest::Choose(int control, int index)
{
    auto *ring = qobject_cast<QComboBox *>(Ctrl(control));
    ASSERT_NE(ring, nullptr);
    ring->showPopup();
    QAbstractItemView *view = ring->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    const QModelIndex item = view->model()->index(index, 0);
    view->scrollTo(item);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->window()->isVisible(); }, 2000));
    ASSERT_EQ(ring->currentIndex(), index);
}

void PanelTest::Tick(int timerControl)
{
    UiFireTimer(gvTovra_COMM, timerControl);
}

int PanelTest::TimerRunning(int timerControl)
{
    int on = -1;
    GetCtrlAttribute(gvTovra_COMM, timerControl, ATTR_ENABLED, &on);
    return on;
}

void PanelTest::OpenPort(int com)
{
    Enter(ciComNumber, com);
    int toggle = 0;
    GetCtrlVal(gvTovra_COMM, ciPortToggle, &toggle);
    ASSERT_EQ(toggle, 1) << StatusText();
}
