// Test and tool access to the Qt objects behind panel and control numbers.
// Only tests and platform code include this; the logic never sees Qt.
#pragma once

class QWidget;

QWidget *UiPanelWidget(int panel);
QWidget *UiCtrlWidget(int panel, int control);
// Deliver one timer tick now, as if the timer's interval had passed (the
// control must be a timer; it ticks whether it is enabled or not).
int UiFireTimer(int panel, int control);
