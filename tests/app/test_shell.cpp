// The main panel's own events: the close box, the grave accent key and the
// log key.
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "log/log.h"
#include "model/model.h"
#include "panel_fixture.h"
#include "platform/ui.h"
#include "platform/ui_qt.h"

namespace {

class ShellTest : public PanelTest {};

} // namespace

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
    EXPECT_TRUE(popups.empty());
}

TEST_F(ShellTest, F3ShowsTheLogAndKeepsLogging)
{
    EnableLog();
    WriteFileBytes("viewer.sh", "#!/bin/sh\nprintf '%s' \"$1\" > viewer-args\n");
    std::filesystem::permissions("viewer.sh", std::filesystem::perms::owner_all);
    setenv("TOVRA_VIEWER", (dir_ + "/viewer.sh").c_str(), 1);
    QTest::keyClick(Ctrl(15), Qt::Key_F3);
    unsetenv("TOVRA_VIEWER");
    EXPECT_TRUE(QTest::qWaitFor([] { return FileExists("viewer-args"); }, 5000));
    EXPECT_EQ(ReadFileBytes("viewer-args"), dir_ + "/log___main.txt");
    EXPECT_NE(gpLog, nullptr);
}

TEST_F(ShellTest, EveryControlHasAnAccessibleNameThatSaysWhatItIs)
{
    const std::pair<int, const char *> named[] = {
        {46, "BR1"},     {45, "BR2"},       {26, "Port open"}, {12, "Status"},
        {15, "COM Port"}, {27, "Slave ID"}, {24, "Read"},      {38, "Write"},
    };
    for (auto [control, name] : named)
        EXPECT_EQ(Ctrl(control)->accessibleName().toStdString(), name) << control;
    for (QWidget *w : UiPanelWidget(gvTovra_COMM)->findChildren<QWidget *>()) {
        bool control = w->property("ctrlId").isValid() && !w->inherits("TimerControl");
        if (control && !w->inherits("QLabel")) {
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        }
    }
}
