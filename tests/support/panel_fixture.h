// The main panel from gui/Tovra_COMM.ui with the program's own handlers,
// on the offscreen platform, in a scratch folder, with popups recorded.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "popups.h"
#include "scratch.h"

class QWidget;

class PanelTest : public ScratchDirTest {
protected:
    PopupRecorder recorder_;
    // Popups shown since the test began: (title, message).
    const std::vector<std::pair<std::string, std::string>> &popups = recorder_.popups();

    void SetUp() override;
    void TearDown() override;

    // Logging on from here (switch file 1, log emptied and opened).
    static void EnableLog();
    // The log as written so far.
    static std::string Log();

    static std::string StatusText();
    static int StatusColour();
    static int BgColour(int control); // as painted on the screen
    static QWidget *Ctrl(int control);

    // Operator actions on real widgets.
    static void Click(int control);
    static void Enter(int control, int value);          // type into a numeric field, press Enter
    static void Choose(int control, int index);         // pick a ring item
    static void Tick(int timerControl);                 // one tick of a timer
    static int TimerRunning(int timerControl);
    // Opens the port on the given COM number through the panel, as an operator would.
    static void OpenPort(int com);
};
