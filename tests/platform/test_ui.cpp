// The user-interface services over real widgets on the offscreen platform,
// driven through a small Designer file.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui.h"
#include "platform/ui_qt.h"
#include "popups.h"
#include "scratch.h"

namespace {

struct Event {
    int control; // 0 for panel events, the item ID for menu events
    int event;
    int data1;
};

std::vector<Event> gEvents;
// What the handler of the button (control 4) does while it runs.
void (*gOnButton)(int panel) = nullptr;

int onCtrl(int panel, int control, int event, void *, int data1, int)
{
    gEvents.push_back({control, event, data1});
    if (control == 4 && gOnButton) {
        gOnButton(panel);
        gEvents.push_back({-4, 0, 0}); // the button's handler returns
    }
    return 0;
}

int onPanel(int, int event, void *, int data1, int)
{
    gEvents.push_back({0, event, data1});
    return 0;
}

void onMenu(int, int item, void *, int)
{
    gEvents.push_back({item, EVENT_COMMIT, 0});
}

const UiCallback caFixtureCallbacks[] = {
    {"onCtrl", onCtrl, nullptr, nullptr},
    {"onPanel", nullptr, onPanel, nullptr},
    {"onMenu", nullptr, nullptr, onMenu},
};

int Count(int control, int event)
{
    int n = 0;
    for (const Event &e : gEvents)
        n += e.control == control && e.event == event;
    return n;
}

class UiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gEvents.clear();
        UiSetCallbackTable(caFixtureCallbacks, 3);
        panel_ = LoadPanel(0, FIXTURE_UI, 1);
        ASSERT_GT(panel_, 0) << UiLastErrorDetail();
        DisplayPanel(panel_);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(UiPanelWidget(panel_)));
    }
    void TearDown() override
    {
        gOnButton = nullptr;
        DiscardPanel(panel_);
        ProcessSystemEvents();
    }
    template <class W> W *Widget(int control) { return qobject_cast<W *>(UiCtrlWidget(panel_, control)); }
    int panel_ = 0;
};

} // namespace

TEST_F(UiTest, ClickingAButtonOrAToggleCommitsOnceAndTheToggleReadsItsState)
{
    QTest::mouseClick(Widget<QPushButton>(4), Qt::LeftButton);
    QTest::mouseClick(Widget<QPushButton>(3), Qt::LeftButton);
    EXPECT_EQ(Count(4, EVENT_COMMIT), 1);
    EXPECT_EQ(Count(3, EVENT_COMMIT), 1);
    int on = 0;
    GetCtrlVal(panel_, 3, &on);
    EXPECT_EQ(on, 1);
}

TEST_F(UiTest, AToggleTurnedByItsAccessibilityActionCommitsAndOneSetByTheProgramDoesNot)
{
    Widget<QPushButton>(3)->toggle(); // what a screen reader's "toggle" action does
    EXPECT_EQ(Count(3, EVENT_COMMIT), 1);
    SetCtrlVal(panel_, 3, 0);
    EXPECT_EQ(Count(3, EVENT_COMMIT), 1);
}

TEST_F(UiTest, ANumericFieldCommitsOnEveryEnterAndOnAFocusOutOrStepThatChangesIt)
{
    QSpinBox *num = Widget<QSpinBox>(1);
    struct Step {
        const char *action;
        int commits; // in all, after the action
    } steps[] = {{"type 42", 0}, {"enter", 1},  {"focus out", 1}, {"enter", 2},
                 {"type 43", 2}, {"focus out", 3}, {"up", 4},      {"focus out", 4}};
    for (const Step &step : steps) {
        std::string a = step.action;
        if (a.rfind("type ", 0) == 0) {
            num->setFocus();
            num->selectAll();
            QTest::keyClicks(num, QString::fromStdString(a.substr(5)));
        } else if (a == "enter") {
            num->setFocus();
            QTest::keyClick(num, Qt::Key_Return);
        } else if (a == "up") {
            num->setFocus();
            QTest::keyClick(num, Qt::Key_Up);
        } else {
            Widget<QPushButton>(4)->setFocus();
        }
        EXPECT_EQ(Count(1, EVENT_COMMIT), step.commits) << "after " << a;
    }
    int v = 0;
    GetCtrlVal(panel_, 1, &v);
    EXPECT_EQ(v, 44);
}

TEST_F(UiTest, ValuesSetByTheProgramDoNotCommit)
{
    SetCtrlVal(panel_, 1, 7);
    SetCtrlVal(panel_, 3, 1);
    SetCtrlIndex(panel_, 2, 2);
    EXPECT_TRUE(gEvents.empty());
    int v = 0;
    GetCtrlVal(panel_, 1, &v);
    EXPECT_EQ(v, 7);
    GetCtrlIndex(panel_, 2, &v);
    EXPECT_EQ(v, 2);
}

TEST_F(UiTest, ChoosingARingItemCommitsAndTheIndexFollows)
{
    QComboBox *ring = Widget<QComboBox>(2);
    ring->setFocus();
    QTest::keyClick(ring, Qt::Key_Down);
    EXPECT_EQ(Count(2, EVENT_COMMIT), 1);
    int index = -1, n = 0;
    GetCtrlIndex(panel_, 2, &index);
    GetNumListItems(panel_, 2, &n);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(SetCtrlIndex(panel_, 2, 3), UIE_BAD_INDEX);
}

TEST_F(UiTest, AListDeliversASingleClickAs34AndEnterAsCommitWithTheItemValue)
{
    ClearListCtrl(panel_, 5);
    InsertListItem(panel_, 5, -1, "Virtual serial port [pts/3] (COM200)", 200);
    InsertListItem(panel_, 5, -1, "Communications Port [ttyS0] (COM1)", 1);
    QListWidget *list = Widget<QListWidget>(5);
    QRect r = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(Count(5, EVENT_LIST_CLICK), 1);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(Count(5, EVENT_COMMIT), 1);
    int value = 0;
    GetCtrlVal(panel_, 5, &value);
    EXPECT_EQ(value, 1);
    char label[64];
    GetCtrlVal(panel_, 5, label, sizeof label);
    EXPECT_STREQ(label, "Communications Port [ttyS0] (COM1)");
}

TEST_F(UiTest, AKeyPressReachesThePanelOnceWithItsCode)
{
    QSpinBox *num = Widget<QSpinBox>(1);
    num->setFocus();
    QTest::keyClick(num, '`');
    QTest::keyClick(num, Qt::Key_Return);
    QTest::keyClick(UiPanelWidget(panel_), Qt::Key_F2, Qt::ControlModifier);
    ASSERT_EQ(Count(0, EVENT_KEYPRESS), 3);
    std::vector<int> codes;
    for (const Event &e : gEvents)
        if (e.event == EVENT_KEYPRESS)
            codes.push_back(e.data1);
    EXPECT_EQ(codes, (std::vector<int>{96, VAL_ENTER_VKEY, (VAL_F1_VKEY + 0x100) | VAL_MENUKEY_MODIFIER}));
}

TEST_F(UiTest, TheCloseBoxReachesThePanelAndLeavesTheWindowToTheProgram)
{
    UiPanelWidget(panel_)->close();
    EXPECT_EQ(Count(0, EVENT_CLOSE), 1);
    EXPECT_TRUE(UiPanelWidget(panel_)->isVisible());
}

TEST_F(UiTest, ATimerTicksWhileEnabledAndStopsWhenDisabled)
{
    QWidget *timer = UiCtrlWidget(panel_, 8);
    ASSERT_TRUE(timer->inherits("TimerControl")) << "the loader must not put a plain widget in its place";
    EXPECT_FALSE(timer->isVisible());
    int enabled = -1;
    GetCtrlAttribute(panel_, 8, ATTR_ENABLED, &enabled);
    EXPECT_EQ(enabled, 0);

    SetCtrlAttribute(panel_, 8, ATTR_INTERVAL, 0.02);
    SetCtrlAttribute(panel_, 8, ATTR_ENABLED, 1);
    EXPECT_TRUE(QTest::qWaitFor([] { return Count(8, EVENT_TIMER_TICK) >= 3; }, 5000));
    SetCtrlAttribute(panel_, 8, ATTR_ENABLED, 0);
    int ticks = Count(8, EVENT_TIMER_TICK);
    QTest::qWait(100);
    EXPECT_EQ(Count(8, EVENT_TIMER_TICK), ticks);
    double interval = 0;
    GetCtrlAttribute(panel_, 8, ATTR_INTERVAL, &interval);
    EXPECT_DOUBLE_EQ(interval, 0.02);
}

TEST_F(UiTest, AttributesReadBackWhatWasSet)
{
    int v = 0;
    SetCtrlAttribute(panel_, 6, ATTR_TEXT_COLOR, 0x008000);
    GetCtrlAttribute(panel_, 6, ATTR_TEXT_COLOR, &v);
    EXPECT_EQ(v, 0x008000);
    EXPECT_EQ(Widget<QLineEdit>(6)->palette().color(QPalette::Text), QColor(0, 0x80, 0));
    SetCtrlAttribute(panel_, 2, ATTR_TEXT_BGCOLOR, 0xA0A0A0);
    GetCtrlAttribute(panel_, 2, ATTR_TEXT_BGCOLOR, &v);
    EXPECT_EQ(v, 0xA0A0A0);

    GetCtrlAttribute(panel_, 6, ATTR_CTRL_MODE, &v);
    EXPECT_EQ(v, 0) << "a read-only field is an indicator";
    GetCtrlAttribute(panel_, 1, ATTR_CTRL_MODE, &v);
    EXPECT_NE(v, 0);

    SetCtrlAttribute(panel_, 2, ATTR_MAX_VISIBLE, 5);
    GetCtrlAttribute(panel_, 2, ATTR_MAX_VISIBLE, &v);
    EXPECT_EQ(v, 5);

    char text[64];
    SetCtrlAttribute(panel_, 1, ATTR_LABEL_TEXT, "COM __Port");
    GetCtrlAttribute(panel_, 1, ATTR_LABEL_TEXT, text, sizeof text);
    EXPECT_STREQ(text, "COM __Port");
    SetCtrlAttribute(panel_, 4, ATTR_LABEL_TEXT, "Read & write");
    EXPECT_EQ(Widget<QPushButton>(4)->text(), "Read && write");
    EXPECT_EQ(GetCtrlAttribute(panel_, 4, ATTR_LABEL_TEXT, text, 4), UIE_TOO_LONG);

    SetCtrlVal(panel_, 7, "鮑率設定\nline two");
    GetCtrlVal(panel_, 7, text, sizeof text);
    EXPECT_STREQ(text, "鮑率設定\nline two");

    SetPanelAttribute(panel_, ATTR_TITLE, "Baud Rate Setting");
    GetPanelAttribute(panel_, ATTR_TITLE, text, sizeof text);
    EXPECT_STREQ(text, "Baud Rate Setting");
    SetPanelAttribute(panel_, ATTR_SIZABLE, 1);
    GetPanelAttribute(panel_, ATTR_SIZABLE, &v);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(SetCtrlAttribute(panel_, 99, ATTR_TEXT_COLOR, 0), UIE_CTRL_NOT_FOUND);
}

TEST_F(UiTest, MenusCarryCheckMarksAndCaptionsAndCallTheirHandlers)
{
    int bar = GetPanelMenuBar(panel_);
    ASSERT_GT(bar, 0);
    int checked = -1;
    SetMenuBarAttribute(bar, 4, ATTR_CHECKED, 1);
    GetMenuBarAttribute(bar, 4, ATTR_CHECKED, &checked);
    EXPECT_EQ(checked, 1);
    GetMenuBarAttribute(bar, 3, ATTR_CHECKED, &checked);
    EXPECT_EQ(checked, 0);

    char text[64];
    SetMenuBarAttribute(bar, 2, ATTR_MENU_NAME, "語言(__L)");
    GetMenuBarAttribute(bar, 2, ATTR_MENU_NAME, text, sizeof text);
    EXPECT_STREQ(text, "語言(__L)");
    SetMenuBarAttribute(bar, 3, ATTR_ITEM_NAME, "__English");
    GetMenuBarAttribute(bar, 3, ATTR_ITEM_NAME, text, sizeof text);
    EXPECT_STREQ(text, "__English");
    EXPECT_EQ(SetMenuBarAttribute(bar, 9, ATTR_CHECKED, 1), UIE_CTRL_NOT_FOUND);

    UiPanelWidget(panel_)->findChild<QAction *>("actTc")->trigger();
    EXPECT_EQ(Count(4, EVENT_COMMIT), 1);
}

// The events as seen by the handlers: control, event; -4 marks the return
// of the button's handler.
std::vector<std::pair<int, int>> Seen()
{
    std::vector<std::pair<int, int>> seen;
    for (const Event &e : gEvents)
        seen.emplace_back(e.control, e.event);
    return seen;
}

TEST_F(UiTest, EventsArrivingWhileAHandlerRunsAreDeliveredAfterItInOrderWithTicksMerged)
{
    gOnButton = [](int panel) {
        UiFireTimer(panel, 8);
        QTest::mouseClick(UiCtrlWidget(panel, 3), Qt::LeftButton);
        UiFireTimer(panel, 8);
    };
    QTest::mouseClick(Widget<QPushButton>(4), Qt::LeftButton);
    using S = std::vector<std::pair<int, int>>;
    EXPECT_EQ(Seen(), (S{{4, EVENT_COMMIT}, {-4, 0}, {8, EVENT_TIMER_TICK}, {3, EVENT_COMMIT}}));
}

TEST_F(UiTest, WhatTheOperatorDoesWhileAPopupIsOpenIsDeliveredAfterTheHandlerThatOpenedIt)
{
    SetMessagePopupHook(nullptr); // a real box, closed by the operator below
    gOnButton = [](int panel) {
        QTimer::singleShot(0, [panel] {
            QTest::mouseClick(UiCtrlWidget(panel, 3), Qt::LeftButton);
            QApplication::activeModalWidget()->close();
        });
        MessagePopup("title", "message");
    };
    QTest::mouseClick(Widget<QPushButton>(4), Qt::LeftButton);
    using S = std::vector<std::pair<int, int>>;
    EXPECT_EQ(Seen(), (S{{4, EVENT_COMMIT}, {-4, 0}, {3, EVENT_COMMIT}}));
    PopupRecorder::FailOnPopups();
}

TEST_F(UiTest, ADeferredCallRunsFromTheEventLoopAfterTheRunningHandler)
{
    gOnButton = [](int) { PostDeferredCall([](void *) { gEvents.push_back({99, 0, 0}); }, nullptr); };
    QTest::mouseClick(Widget<QPushButton>(4), Qt::LeftButton);
    ProcessSystemEvents();
    using S = std::vector<std::pair<int, int>>;
    EXPECT_EQ(Seen(), (S{{4, EVENT_COMMIT}, {-4, 0}, {99, 0}}));
}

TEST_F(UiTest, ADelayPaintsWhatChangedBeforeItBlocks)
{
    struct PaintedText : QObject {
        std::vector<std::string> seen;
        bool eventFilter(QObject *o, QEvent *e) override
        {
            if (e->type() == QEvent::Paint)
                seen.push_back(qobject_cast<QLineEdit *>(o)->text().toStdString());
            return false;
        }
    } painted;
    QTest::qWait(50); // the first paint of the window is done
    Widget<QLineEdit>(6)->installEventFilter(&painted);
    SetCtrlVal(panel_, 6, "---");
    Delay(0.01);
    EXPECT_EQ(painted.seen, std::vector<std::string>{"---"});
}

TEST_F(UiTest, TheEventLoopRunsUntilAHandlerQuitsIt)
{
    SetCtrlAttribute(panel_, 8, ATTR_INTERVAL, 0.01);
    SetCtrlAttribute(panel_, 8, ATTR_ENABLED, 1);
    QTimer::singleShot(50, [] { QuitUserInterface(7); });
    EXPECT_EQ(RunUserInterface(), 7);
    EXPECT_GT(Count(8, EVENT_TIMER_TICK), 0) << "events were dispatched meanwhile";
}

TEST_F(UiTest, PopupsGoToTheRecorderWhileOneIsInstalled)
{
    PopupRecorder recorder(PopupRecorder::kExpected);
    MessagePopup("mf_Tovra_Ring_X__init", "unknown");
    ASSERT_EQ(recorder.popups().size(), 1u);
    EXPECT_EQ(recorder.popups()[0].first, "mf_Tovra_Ring_X__init");
    EXPECT_EQ(recorder.popups()[0].second, "unknown");
}

class UiLoadTest : public ScratchDirTest {};

TEST_F(UiLoadTest, AHandlerNameMissingFromTheTableIsALoadErrorThatNamesIt)
{
    std::ifstream in(FIXTURE_UI);
    std::string ui((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ui.replace(ui.find("<string>onCtrl</string>"), 23, "<string>evNoSuch</string>");
    WriteFileBytes("bad.ui", ui);
    UiSetCallbackTable(caFixtureCallbacks, 3);
    char path[1024];
    GetFullPathFromCurrentDir("bad.ui", path, sizeof path);
    EXPECT_EQ(LoadPanel(0, path, 1), UIE_UNKNOWN_CALLBACK);
    EXPECT_NE(std::string(UiLastErrorDetail()).find("evNoSuch"), std::string::npos);
}

TEST_F(UiLoadTest, AMissingFileOrPanelIsALoadError)
{
    UiSetCallbackTable(caFixtureCallbacks, 3);
    EXPECT_EQ(LoadPanel(0, "/nonexistent/Tovra_COMM.ui", 1), UIE_FILE_NOT_FOUND);
    EXPECT_EQ(LoadPanel(0, FIXTURE_UI, 2), UIE_PANEL_NOT_FOUND);
}

TEST_F(UiLoadTest, AProgramIsStartedFromItsArgumentsWithoutAShell)
{
    WriteFileBytes("source", "payload");
    const char *target = "copy with blanks; $(touch injected) `x`";
    const char *argv[] = {"cp", "source", target};
    ASSERT_EQ(LaunchExecutable(3, argv), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return FileExists(target); }, 5000));
    EXPECT_FALSE(FileExists("injected"));
    const char *missing[] = {"/nonexistent/viewer", "x"};
    EXPECT_LT(LaunchExecutable(2, missing), 0);
}

TEST_F(UiLoadTest, FullPathsAreBoundedByTheCallersBuffer)
{
    char path[4096];
    ASSERT_EQ(GetFullPathFromCurrentDir("log___main.txt", path, sizeof path), 0);
    EXPECT_EQ(std::string(path), dir_ + "/log___main.txt");
    ASSERT_EQ(GetFullPathFromProject("x.txt", path, sizeof path), 0);
    EXPECT_EQ(std::string(path), QCoreApplication::applicationDirPath().toStdString() + "/x.txt");
    char small[8] = "keep";
    EXPECT_EQ(GetFullPathFromCurrentDir("log___main.txt", small, sizeof small), UIE_TOO_LONG);
    EXPECT_STREQ(small, "");
}
