// The main panel's own events: the close box, the grave accent key, the
// log key and its menu item; termination signals; a second start in the
// same folder.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QAction>
#include <QApplication>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/Tovra_main.h"
#include "log/log.h"
#include "model/model.h"
#include "panel_fixture.h"
#include "platform/signals.h"
#include "platform/ui.h"
#include "platform/ui_qt.h"

namespace {

class ShellTest : public PanelTest {};

} // namespace

TEST_F(ShellTest, StartUpShowsThePanelWithTheEmptyPortListFocusedWhenTheSearchFindsNothing)
{
    DiscardPanel(gvTovra_COMM);
    ASSERT_EQ(mf_APP_Tovra__init(), 0) << "the fixture hands the search no devices";
    int ports = -1;
    GetNumListItems(gvTovra_COMM, 21, &ports);
    EXPECT_EQ(ports, 0);
    EXPECT_TRUE(UiPanelWidget(gvTovra_COMM)->isVisible());
    EXPECT_EQ(GetActiveCtrl(gvTovra_COMM), 21);
}

// One window per folder, as the operator sees it: a second start in the
// folder (a real tovra-comm) brings this window to the front, restored from
// minimised and active, and ends with status 0.
TEST_F(ShellTest, ASecondStartInTheFolderBringsTheWindowToTheFrontRestoredAndActive)
{
    DiscardPanel(gvTovra_COMM);
    ASSERT_EQ(mf_APP_Tovra__init(), 0);
    QWidget *window = UiPanelWidget(gvTovra_COMM);
    QWidget other; // another program's window, in front
    other.show();
    other.activateWindow();
    window->showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isMinimized() && !window->isActiveWindow(); }));

    pid_t second = fork();
    if (second == 0) {
        int out = open("second.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(out, 2);
        execl(TOVRA_COMM_PATH, TOVRA_COMM_PATH, static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = -1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return waitpid(second, &status, WNOHANG) == second; }, 60000));
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << ReadFileBytes("second.txt");
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(window)->state().active);
}

TEST_F(ShellTest, TheCloseBoxDiscardsThePanelClosesTheLogAndEndsTheEventLoop)
{
    EnableLog();
    QTimer::singleShot(0, [] { UiPanelWidget(gvTovra_COMM)->close(); });
    EXPECT_EQ(RunUserInterface(), 1);
    EXPECT_EQ(UiPanelWidget(gvTovra_COMM), nullptr);
    EXPECT_EQ(gpLog, nullptr);
}

TEST_F(ShellTest, TheGraveAccentKeyEndsTheProgramAsTheCloseBoxDoes)
{
    QTest::keyClick(Ctrl(15), '`');
    EXPECT_EQ(UiPanelWidget(gvTovra_COMM), nullptr);
    EXPECT_EQ(RunUserInterface(), 1) << "the loop ends at once";
}

TEST_F(ShellTest, OtherKeysChangeNothing)
{
    QTest::keyClick(Ctrl(15), 'x');
    QTest::keyClick(Ctrl(15), Qt::Key_F2);
    EXPECT_NE(UiPanelWidget(gvTovra_COMM), nullptr);
}

// The two ways an operator opens the log: the F3 key, and the Log menu's
// item, which shows "F3" beside its name but leaves the key to the panel.
struct OpenLogCase {
    const char *way;
    void (*open)();
};

class OpenLogTest : public PanelTest, public ::testing::WithParamInterface<OpenLogCase> {};

// True while a process started from `program` runs. A viewer is started
// detached, so it is no child of the test to wait for.
bool Runs(const std::string &program)
{
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        std::string cmdline = ReadFileBytes((entry.path() / "cmdline").string());
        if (cmdline.find(program + '\0') != std::string::npos)
            return true;
    }
    return false;
}

TEST_P(OpenLogTest, ShowsTheLogInTheViewerAndKeepsLogging)
{
    EnableLog();
    const std::string viewer = dir_ + "/viewer.sh";
    WriteFileBytes("viewer.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> viewer-args\n");
    std::filesystem::permissions("viewer.sh", std::filesystem::perms::owner_all);
    setenv("TOVRA_VIEWER", viewer.c_str(), 1);
    GetParam().open();
    unsetenv("TOVRA_VIEWER");
    // Every viewer is started by the time the handler returns: once none
    // runs, each has written its line.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Runs(viewer); }, 5000));
    EXPECT_EQ(ReadFileBytes("viewer-args"), dir_ + "/log___main.txt\n") << "shown once";
    EXPECT_NE(gpLog, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, OpenLogTest,
    ::testing::Values(OpenLogCase{"F3", [] { QTest::keyClick(UiCtrlWidget(gvTovra_COMM, 15), Qt::Key_F3); }},
                      OpenLogCase{"LogMenu",
                                  [] {
                                      auto *item = UiPanelWidget(gvTovra_COMM)->findChild<QAction *>("actionOpenLog");
                                      ASSERT_NE(item, nullptr);
                                      EXPECT_TRUE(item->shortcut().isEmpty()) << "F3 belongs to the panel";
                                      item->trigger();
                                  }}),
    [](const auto &info) { return std::string(info.param.way); });

// SIGTERM, SIGINT and SIGHUP close the window as its close box does, also
// while a message box is open (the box goes first).
struct SignalCase {
    const char *name;
    int signo;
    bool boxOpen;
};

class TerminationTest : public PanelTest, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(TerminationTest, DiscardsThePanelClosesTheLogAndEndsTheEventLoop)
{
    EnableLog();
    QTimer watchdog; // a signal that closes nothing fails instead of hanging
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
        QuitUserInterface(-1);
    });
    watchdog.start(10000);
    ASSERT_EQ(CloseOnTerminationSignal(), 0);
    std::raise(GetParam().signo);
    if (GetParam().boxOpen) {
        SetMessagePopupHook(nullptr);
        MessagePopup("Tovra COMM", "a box the operator has not dismissed");
    }
    EXPECT_EQ(RunUserInterface(), 1);
    EXPECT_EQ(UiPanelWidget(gvTovra_COMM), nullptr);
    EXPECT_EQ(gpLog, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationTest,
                         ::testing::Values(SignalCase{"SIGTERM", SIGTERM, false},
                                           SignalCase{"SIGINT", SIGINT, false},
                                           SignalCase{"SIGHUP", SIGHUP, false},
                                           SignalCase{"SIGTERMWithABoxOpen", SIGTERM, true}),
                         [](const auto &info) { return std::string(info.param.name); });
