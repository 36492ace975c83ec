// The port search on the real panel: device names handed in through the
// device-list seam, tovra-devsim behind the port map as the ports.
#include <QAccessible>
#include <QListWidget>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/Tovra_main.h"
#include "devsim.h"
#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "model/model.h"
#include "panel_fixture.h"
#include "plain_user.h"
#include "platform/devices.h"
#include "platform/port_watch.h"
#include "platform/serial.h"
#include "platform/serial_map.h"
#include "platform/ui.h"
#include "serial/ComList.h"
#include "serial/UART_MB.h"

namespace {

constexpr int kSearch = 10;
constexpr int kComList = 21;

using Items = std::vector<std::pair<std::string, int>>;

class ComListTest : public PanelTest {
protected:
    static Items ListItems()
    {
        Items items;
        auto *list = qobject_cast<QListWidget *>(Ctrl(kComList));
        for (int i = 0; list && i < list->count(); ++i)
            items.emplace_back(list->item(i)->text().toStdString(), list->item(i)->data(Qt::UserRole).toInt());
        return items;
    }
    static void HandIn(const std::vector<const char *> &names)
    {
        static std::vector<const char *> kept;
        kept = names;
        SetDeviceListHook(kept.data(), static_cast<int>(kept.size()));
    }
};

std::string Lines(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &l : lines)
        text += l + "\n";
    return text;
}

} // namespace

TEST(ComNumber, IsTheNumberAfterParenthesisCOMUpToTheClosingParenthesisWithinOneTo256)
{
    // (COM0), (COM257), (LPT1): see the search, where they never reach file 01.
    const std::pair<const char *, int> rows[] = {
        {"Communications Port (COM1)", 1}, {"USB Serial Port (COM12)", 12}, {"x (COM256)", 256},
        {"Standard port (xCyOzM5)", 5},    // other characters between the letters
        {"Port (A) (COM3)", 3},            // a parenthesis that leads nowhere is not taken back
        {"Port (COM1a2)", 12},             // non-digits among the digits are skipped
        {"Port (COM300)", 0}, {"Port (COM)", 0}, {"Port (COM5", 0}, {"Port COM5)", 0},
        {"Port (com5)", 0},                // case-sensitive
        {"Port (COM0005)", 0}, {"Port (COM99999999999999999999)", 0}, // more than three digits
    };
    for (auto [text, com] : rows)
        EXPECT_EQ(fn_find_COMx_number(text), com) << text;
}

TEST_F(ComListTest, TheSearchListsFreePortsProlificFirstAndWritesAllSixFiles)
{
    DevSim com7({"--com", "7"}), com5({"--com", "5"}), com1({"--com", "1"}), com8({"--com", "8"});
    for (DevSim *sim : {&com7, &com5, &com1, &com8})
        ASSERT_TRUE(sim->ready()) << sim->output();
    QProcess holder; // another program holds COM8
    holder.start(PORT_HOLDER, {"COM8"});
    ASSERT_TRUE(holder.waitForReadyRead(5000));
    ASSERT_EQ(holder.readAll().trimmed().toStdString(), "held");

    const std::vector<const char *> names = {
        "USB Serial Port (COM7)", "ECP Printer Port (LPT1)", "Prolific USB-to-Serial Comm Port (COM5)",
        "USB Root Hub", "Communications Port (COM1)", "Held Serial Port (COM8)",
        "prolific lookalike (COM240)", "Modem (COM0)", "Bridge (COM257)", "Old Modem (COM0012)", ""};
    HandIn(names);
    EnableLog();
    Click(kSearch);
    holder.closeWriteChannel();
    holder.waitForFinished(5000);

    const std::string prolific = "Prolific USB-to-Serial Comm Port (COM5)\n";
    const std::string others = Lines({"USB Serial Port (COM7)", "Communications Port (COM1)",
                                      "Held Serial Port (COM8)", "prolific lookalike (COM240)"});
    EXPECT_EQ(ReadFileBytes(caDevMng_All_DEV), Lines({names.begin(), names.end()}));
    EXPECT_EQ(ReadFileBytes(caDevMng_All_COM),
              Lines({"USB Serial Port (COM7)", "Prolific USB-to-Serial Comm Port (COM5)",
                     "Communications Port (COM1)", "Held Serial Port (COM8)", "prolific lookalike (COM240)"}));
    EXPECT_EQ(ReadFileBytes(caDevMng_COM_IS_Prolific), prolific);
    EXPECT_EQ(ReadFileBytes(caDevMng_COM_NOT_Prolific), others);
    EXPECT_EQ(ReadFileBytes(caDevMng_COM_Prolific_First), prolific + others);
    EXPECT_EQ(ReadFileBytes(caCOM_Exist), "5\n7\n1\n") << "held COM8 and absent COM240 are left out";
    EXPECT_EQ(ListItems(), (Items{{"Prolific USB-to-Serial Comm Port (COM5)", 5},
                                  {"USB Serial Port (COM7)", 7},
                                  {"Communications Port (COM1)", 1}}));
    EXPECT_EQ(Log(), "Prolific\n");
    EXPECT_EQ(GetActiveCtrl(gvTovra_COMM), kComList);
}

TEST_F(ComListTest, LinesLongerThan255CharactersAreSkippedWholeHeadAndTail)
{
    const std::string fits = std::string(247, 'a') + "(COM240)"; // 255 characters
    const std::string over = std::string(248, 'b') + "(COM241)"; // 256
    const std::string tail = std::string(256, 'c') + "(COM242)"; // its tail alone would name a port
    HandIn({fits.c_str(), over.c_str(), tail.c_str(), "Short (COM243)"});
    mf_Tovra_ComList__Search_WIN32API_Prolific();
    EXPECT_EQ(ReadFileBytes(caDevMng_All_COM), Lines({fits, "Short (COM243)"}));
}

TEST_F(ComListTest, AListThatCannotBeClearedLogsTheCodeAndKeepsTheLastResult)
{
    InsertListItem(gvTovra_COMM, kComList, -1, "Old (COM9)", 9);
    WriteFileBytes(caCOM_Exist, "9\n");
    HandIn({"USB Serial Port (COM7)"});
    EnableLog();
    const int panel = gvTovra_COMM;
    gvTovra_COMM = panel + 1000; // no such panel
    int code = mf_Tovra_ComList__Search_WIN32API_Prolific();
    gvTovra_COMM = panel;
    EXPECT_LT(code, 0);
    EXPECT_EQ(Log(), "clear COM list NG " + std::to_string(code) + " \n");
    EXPECT_EQ(ReadFileBytes(caCOM_Exist), "9\n");
    EXPECT_EQ(ListItems(), (Items{{"Old (COM9)", 9}}));
}

// Every probe closes the logical port, so a toggle left on would claim an
// open port: the search shows the close instead, and logs no close of its own.
TEST_F(ComListTest, ASearchThatProbedWhileThePortWasOpenSwitchesTheToggleOff)
{
    DevSim sim({"--com", "7"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    struct Row {
        std::vector<const char *> names;
        int toggle;
        bool closeShown;
    };
    for (const Row &row : {Row{{"USB Serial Port (COM7)"}, 0, true}, Row{{"USB Root Hub"}, 1, false}}) {
        mf_Tovra_TIS32_X__SV(0, 7);
        mf_Tovra_TGBT_X__SV(0, 1);
        mf_Tovra_UMB_dev_TG_ComP__Button();
        const std::string opened = StatusText();
        HandIn(row.names);
        EnableLog();
        mf_Tovra_ComList__Search_WIN32API_Prolific();
        EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), row.toggle) << row.names[0];
        EXPECT_EQ(StatusText(), row.closeShown ? "Close COM P222 OK" : opened);
        EXPECT_EQ(StatusColour(), row.closeShown ? ciMsgBlack : ciMsgGreen);
        EXPECT_EQ(Log(), "");
        mf_Tovra_Log__Close();
    }
}

TEST_F(ComListTest, AtStartUpTheListShowsASimulatorStartedBeforeAmongThisMachinesPorts)
{
    DevSim sim({"--com", "221"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    SetDeviceListHook(nullptr, 0);
    DiscardPanel(gvTovra_COMM);
    ASSERT_EQ(mf_Tovra_Form_COMM__init(), 0);

    const Items items = ListItems();
    std::string exist;
    for (const auto &[label, com] : items)
        exist += std::to_string(com) + "\n";
    EXPECT_EQ(ReadFileBytes(caCOM_Exist), exist) << "the search ran to its end";
    const std::string simName = "Virtual serial port [" + sim.ptyPath().substr(5) + "] (COM221)";
    EXPECT_NE(std::find(items.begin(), items.end(), std::make_pair(simName, 221)), items.end())
        << ReadFileBytes(caDevMng_All_DEV);
}

namespace {

// A link COM<com> to `device` in the test process's port map, removed again.
struct MapLink {
    MapLink(const std::string &device, int com) : path(DevSim::portsDir() + "/COM" + std::to_string(com))
    {
        std::filesystem::create_symlink(device, path);
    }
    ~MapLink() { std::filesystem::remove(path); }
    std::string path;
};

// A pseudo-terminal that this process holds open, linked as COM<com>: a free port.
struct FreePort {
    explicit FreePort(int com)
        : master(posix_openpt(O_RDWR | O_NOCTTY)),
          path(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : ""),
          link(path, com)
    {
    }
    ~FreePort() { close(master); }
    int master;
    std::string path;
    MapLink link;
};

std::string GroupOf(const std::string &path)
{
    struct stat st;
    const group *g = stat(path.c_str(), &st) == 0 ? getgrgid(st.st_gid) : nullptr;
    return g ? g->gr_name : "?";
}

} // namespace

TEST(ComNumber, OfANameMadeFromVendorStringsWithParenthesesIsThePortsOwn)
{
    const DeviceFacts rows[] = {
        {"(C) 2009 Option", "Globe Option Modem", "ttyUSB12", -1, 45}, // "(C" then O, M of "Option Modem"
        {"Acme", "Adapter (COM9 edition)", "ttyUSB0", -1, 33},
        {"", "Bridge (C)(O)(M)", "ttyACM1", 0x067b, 98},
        {"", "Modem (COM3)", "", -1, 0}, // a USB product, not a port
    };
    for (const DeviceFacts &facts : rows) {
        char name[ciFriendlyNameMax + 1];
        DeviceFriendlyName(&facts, name, sizeof name);
        EXPECT_EQ(fn_find_COMx_number(name), facts.com) << name;
    }
}

TEST_F(ComListTest, APortThePlainUserMayNotOpenIsListedLastWithTheGroupToJoinAndChoosingItExplains)
{
    RefusedPort refused;
    if (!AsPlainUser())
        return;
    ASSERT_TRUE(refused.refused()) << refused.path() << " opens for this user";
    FreePort free(231);
    MapLink link(refused.path(), 230);
    setenv("TOVRA_PORTS_ONLY", "1", 1);
    SetDeviceListHook(nullptr, 0);
    Click(kSearch);

    const std::string group = GroupOf(refused.path());
    const std::string marked = "Virtual serial port [" + refused.path().substr(5) + "] (COM230) \u2014 no permission: join the group " + group;
    EXPECT_EQ(ListItems(), (Items{{"Virtual serial port [" + free.path.substr(5) + "] (COM231)", 231}, {marked, 230}}));
    EXPECT_EQ(ReadFileBytes(caCOM_Exist), "231\n");

    auto *list = qobject_cast<QListWidget *>(Ctrl(kComList));
    recorder_.expect();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_EQ(popups[0].second, "No permission for this port: COM230 (" + link.path + ")\n"
                                "Join group, then re-login: " + group + "\nsudo usermod -aG " + group + " $USER");
    EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), 0) << "nothing opened";
}

TEST_F(ComListTest, AFileTheSearchCannotWriteIsNamedOnceAndNoNameOfAnEarlierSearchIsListed)
{
    if (!AsPlainUser())
        return;
    FreePort free(231);
    HandIn({"Virtual serial port (COM231)"});
    struct Row {
        const char *name;
        bool folderReadOnly; // else only COM__Exist.txt is read-only
        const char *unwritable;
        Items listed;
    };
    const Row rows[] = {
        {"read-only folder", true, caDevMng_All_DEV, {}},
        {"read-only COM__Exist.txt", false, caCOM_Exist, {{"Virtual serial port (COM231)", 231}}},
    };
    for (const Row &row : rows) {
        for (const char *file : {caDevMng_All_DEV, caDevMng_All_COM, caDevMng_COM_IS_Prolific, caDevMng_COM_NOT_Prolific})
            std::filesystem::remove(file);
        WriteFileBytes(caDevMng_COM_Prolific_First, "Stale Port (COM231)\n");
        WriteFileBytes(caCOM_Exist, "231\n");
        EnableLog();
        chmod(caCOM_Exist, 0444);
        if (row.folderReadOnly)
            chmod(".", 0555);
        Click(kSearch);
        chmod(".", 0755);
        chmod(caCOM_Exist, 0644);
        const std::string path = dir_ + "/" + row.unwritable;
        EXPECT_EQ(ListItems(), row.listed) << row.name;
        EXPECT_EQ(StatusText(), "Cannot write in this folder: " + path) << row.name;
        EXPECT_EQ(StatusColour(), ciMsgRed) << row.name;
        EXPECT_EQ(Log(), LOG_MARK " cannot write in this folder :: " + path + " \n") << row.name;
        mf_Tovra_Log__Close();
    }
}

TEST_F(ComListTest, ALinkOfASimulatorThatIsGoneIsNoPortAndTheNextSimulatorOnItsNumberReplacesIt)
{
    // COM128 also has a fixed device (ttyACM31): a stale link must not fall back to it.
    std::string link;
    for (const char *com : {"128", "232"}) {
        DevSim killed({"--com", com});
        ASSERT_TRUE(killed.ready()) << killed.output();
        link = killed.linkPath();
        kill(std::stoi(ReadFileBytes(link + ".pid")), SIGKILL);
        killed.stop();
    }
    // The pseudo-terminal number now belongs to another program.
    FreePort other(233);
    std::filesystem::remove(link);
    std::filesystem::create_symlink(other.path, link);
    setenv("TOVRA_PORTS_ONLY", "1", 1);
    SetDeviceListHook(nullptr, 0);
    Click(kSearch);
    EXPECT_EQ(ReadFileBytes(caCOM_Exist), "233\n");
    std::string devices = ReadFileBytes(caDevMng_All_DEV);
    for (std::string gone : {"COM128", "COM232"}) {
        EXPECT_EQ(devices.find("(" + gone + ")"), std::string::npos) << gone << " listed:\n"
                                                                      << devices;
        EXPECT_EQ(OpenCom(ciPORT_umb, gone.c_str()), kComErrNotMapped)
            << gone << ": Read sends nothing into it";
    }

    DevSim next({"--com", "232"});
    ASSERT_TRUE(next.ready()) << next.output();
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), next.ptyPath());
    Click(kSearch);
    EXPECT_EQ(ReadFileBytes(caCOM_Exist), "232\n233\n");
}

// ============================================================ port events

namespace {

// The list as a screen reader hears it: the name of each item, and of the
// selected one ("" when none is).
std::vector<std::string> Heard(QWidget *list, std::string *selected = nullptr)
{
    // The offscreen platform has no accessibility bridge, so Qt tells no one
    // of the list's changes and a cached interface keeps the old items: read
    // a fresh one, as a screen reader that is told of the change does.
    if (QAccessibleInterface *cached = QAccessible::queryAccessibleInterface(list))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(cached));
    std::vector<std::string> names;
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(list);
    for (int i = 0; a && i < a->childCount(); ++i) {
        QAccessibleInterface *item = a->child(i);
        const std::string name = item ? item->text(QAccessible::Name).toStdString() : "";
        if (name.empty())
            continue;
        names.push_back(name);
        if (selected && item->state().selected)
            *selected = name;
    }
    return names;
}

bool Lists(QWidget *list, int com)
{
    const std::string tail = "(COM" + std::to_string(com) + ")";
    for (const std::string &name : Heard(list))
        if (name.size() >= tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
            return true;
    return false;
}

// Waits for the list to follow an event: well beyond the second it takes
// (the benchmark times it), as the machine may be loaded.
constexpr int kFollowMs = 5000;

// Whether anything opened the watched devices since the last call.
struct OpenWatch {
    OpenWatch() : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~OpenWatch() { close(fd); }
    void add(const std::string &path) { inotify_add_watch(fd, path.c_str(), IN_OPEN); }
    int opens()
    {
        char buffer[4096];
        int n = 0;
        for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
            n += static_cast<int>(got / static_cast<ssize_t>(sizeof(inotify_event)));
        return n;
    }
    int fd;
};

class PortEventsTest : public ComListTest {
protected:
    void SetUp() override
    {
        ComListTest::SetUp();
        SetDeviceListHook(nullptr, 0); // the port map, as TOVRA_PORTS_ONLY=1 keeps it
        DevSim::portsDir();            // the program's port map from its start
        ASSERT_EQ(mf_Tovra_ComList__Follow(), 0);
    }
    void TearDown() override
    {
        UnwatchPorts();
        ComListTest::TearDown();
    }
    QWidget *list() { return Ctrl(kComList); }
    void Pick(int index)
    {
        auto *w = qobject_cast<QListWidget *>(list());
        QTest::mouseClick(w->viewport(), Qt::LeftButton, {}, w->visualItemRect(w->item(index)).center());
    }
};

} // namespace

TEST_F(PortEventsTest, APortThatComesOrGoesIsListedOrDroppedWithoutAPress)
{
    struct Row {
        const char *name;
        bool simulator; // else a link to a pseudo-terminal this test holds
        bool openInWindow;
    };
    const Row rows[] = {
        {"simulator", true, false},
        {"simulator open in the window", true, true},
        {"port-map link", false, false},
    };
    const std::string empty = "no serial ports: plug in an adapter, or start tovra-devsim";
    int com = 236;
    for (const Row &row : rows) {
        ++com;
        std::unique_ptr<DevSim> sim;
        std::unique_ptr<FreePort> link;
        if (row.simulator)
            sim = std::make_unique<DevSim>(std::vector<std::string>{"--com", std::to_string(com)});
        else
            link = std::make_unique<FreePort>(com);
        ASSERT_TRUE(!sim || sim->ready()) << sim->output();
        EXPECT_TRUE(QTest::qWaitFor([&] { return Lists(list(), com); }, kFollowMs)) << row.name;
        EXPECT_EQ(QAccessible::queryAccessibleInterface(list())->text(QAccessible::Description).toStdString(),
                  "Serial ports found on this computer: double-click one to open it") << row.name;
        if (row.openInWindow) {
            Pick(0);
            ASSERT_EQ(mf_Tovra_TGBT_X__GV(0), 1) << StatusText();
        }
        sim.reset();
        link.reset();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !Lists(list(), com); }, kFollowMs)) << row.name;
        EXPECT_EQ(QAccessible::queryAccessibleInterface(list())->text(QAccessible::Description).toStdString(),
                  empty) << row.name;
        if (row.openInWindow) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return StatusText().rfind("COM" + std::to_string(com) + " lost", 0) == 0; },
                                        kFollowMs)) << StatusText();
            EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), 0);
        }
    }
}

TEST_F(PortEventsTest, AnEventOpensNoPortAndKeepsTheSelectionAndTheOpenPort)
{
    FreePort chosen(240);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Lists(list(), 240); }, kFollowMs));
    Pick(0);
    ASSERT_EQ(mf_Tovra_TGBT_X__GV(0), 1) << StatusText();
    const std::string status = StatusText();
    std::string before;
    Heard(list(), &before);

    OpenWatch opened;
    opened.add(chosen.path);
    FreePort arriving(239); // listed before the chosen one
    opened.add(arriving.path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Lists(list(), 239); }, kFollowMs));
    std::string after;
    EXPECT_EQ(Heard(list(), &after).size(), 2u);
    EXPECT_EQ(after, before);
    EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), 1);
    EXPECT_EQ(StatusText(), status);
    EXPECT_EQ(opened.opens(), 0) << "an event opened a port";

    Click(kSearch);
    EXPECT_GT(opened.opens(), 0) << "the button's probe opens them: the watch sees opens";
}

TEST_F(PortEventsTest, AfterAnEventTheListFilesAndLogAreThoseOfAPressOnTheSamePorts)
{
    DevSim com7({"--com", "7"}), com5({"--com", "5"});
    ASSERT_TRUE(com7.ready() && com5.ready());
    HandIn({"USB Serial Port (COM7)", "Prolific USB-to-Serial Comm Port (COM5)", "USB Root Hub",
            "Gone Serial Port (COM241)"});
    const char *const files[] = {caDevMng_All_DEV, caDevMng_All_COM, caDevMng_COM_IS_Prolific,
                                 caDevMng_COM_NOT_Prolific, caDevMng_COM_Prolific_First, caCOM_Exist};
    auto seen = [&] {
        std::vector<std::string> what = Heard(list());
        for (const char *file : files)
            what.push_back(ReadFileBytes(file));
        what.push_back(Log());
        return what;
    };
    QTest::qWait(2 * ciPortWatchSpacingMs); // the simulators' own links have been followed
    EnableLog();
    std::filesystem::remove(caCOM_Exist);
    WriteFileBytes(DevSim::portsDir() + "/COM250.pid", "1"); // a change of the map
    ASSERT_TRUE(QTest::qWaitFor([] { return std::filesystem::exists(caCOM_Exist); }, kFollowMs));
    const std::vector<std::string> afterEvent = seen();
    EnableLog();
    Click(kSearch);
    EXPECT_EQ(seen(), afterEvent);
    EXPECT_EQ(afterEvent.back(), "Prolific\n");
    std::filesystem::remove(DevSim::portsDir() + "/COM250.pid");
}

TEST_F(PortEventsTest, TwentyEventsIn100msRunAtMostTwoSearchesAndOtherFilesNone)
{
    HandIn({"Prolific USB-to-Serial Comm Port (COM5)"}); // each search logs "Prolific" once
    QTest::qWait(2 * ciPortWatchSpacingMs);
    EnableLog();
    const std::string dir = DevSim::portsDir();
    WriteFileBytes(dir + "/Dev_Mng_00_All_DEV.txt", ""); // no port: a map that is the working folder
    QTest::qWait(2 * ciPortWatchSpacingMs);
    std::filesystem::remove(dir + "/Dev_Mng_00_All_DEV.txt");
    EXPECT_EQ(Log(), "") << "a file that makes no port started a search";
    for (int i = 0; i < 20; ++i) {
        WriteFileBytes(dir + "/COM" + std::to_string(200 + i) + ".pid", "1");
        QTest::qWait(5);
    }
    QTest::qWait(1000);
    for (int i = 0; i < 20; ++i)
        std::filesystem::remove(dir + "/COM" + std::to_string(200 + i) + ".pid");
    const std::string log = Log();
    size_t searches = 0;
    for (size_t at = 0; (at = log.find("Prolific\n", at)) != std::string::npos; at += 9)
        ++searches;
    EXPECT_GE(searches, 1u);
    EXPECT_LE(searches, 2u);
}
