// User-interface services: panels loaded from a Qt Designer file, controls
// addressed by number, menus, timers, popups and the event loop.
// Implemented over Qt Widgets; callers see plain functions and numbers only.
#pragma once

#include <cstddef>

// Event numbers delivered to callbacks.
enum {
    EVENT_COMMIT = 1,      // button clicked, ring item chosen, numeric confirmed, toggle, list item chosen
    EVENT_KEYPRESS = 7,    // event data 1 = key code with modifier bits
    EVENT_CLOSE = 11,      // the window's close box
    EVENT_TIMER_TICK = 15,
    EVENT_LIST_CLICK = 34, // a list item chosen by a single click
};

// Attribute numbers (colours are 0xRRGGBB).
enum {
    ATTR_DIMMED = 500,         // 1: greyed out, takes no input (a group: all it holds)
    ATTR_VISIBLE = 530,
    ATTR_TITLE = 573,          // panel title
    ATTR_SIZABLE = 618,        // panel: the operator may resize the window
    ATTR_CTRL_MODE = 620,      // reads 0 for a read-only indicator, 1 otherwise
    ATTR_LABEL_TEXT = 641,     // button text, else the text of the label whose buddy the control is
    ATTR_TEXT_COLOR = 680,
    ATTR_TEXT_BGCOLOR = 690,
    ATTR_MAX_VISIBLE = 744,    // ring: items visible in the drop-down
    ATTR_INTERVAL = 1270,      // timer interval in seconds (double)
    ATTR_ENABLED = 1271,       // timer running 1 / stopped 0
    ATTR_CHECKED = 1040,       // menu item check mark
    ATTR_ITEM_NAME = 1042,     // menu item caption
    ATTR_MENU_NAME = 1060,     // menu title
    ATTR_TOOLTIP_TEXT = 1470,  // a control's tooltip, also read out as its accessible description
    ATTR_ACCESSIBLE_NAME = 1480, // the name a screen reader gives a control that has no caption
};

// Character sets for SetPanelCharacterSet.
enum { CHARSET_DEFAULT = -1, CHARSET_GB2312 = 134, CHARSET_BIG5 = 136 };

// Key codes of EVENT_KEYPRESS: a character key reports its character code;
// function keys report 0x100 times their number (F3 = 0x0300); the other
// keys below report these codes; modifiers are added as bits.
enum {
    VAL_F1_VKEY = 0x0100, // F1..F12 follow at steps of 0x100
    VAL_BACKSPACE_VKEY = 0x1000,
    VAL_TAB_VKEY = 0x1100,
    VAL_ENTER_VKEY = 0x1200,
    VAL_UP_ARROW_VKEY = 0x1300,
    VAL_DOWN_ARROW_VKEY = 0x1400,
    VAL_LEFT_ARROW_VKEY = 0x1500,
    VAL_RIGHT_ARROW_VKEY = 0x1600,
    VAL_ESC_VKEY = 0x1700,
    VAL_PAGE_UP_VKEY = 0x1800,
    VAL_PAGE_DOWN_VKEY = 0x1900,
    VAL_INSERT_VKEY = 0x1A00,
    VAL_DELETE_VKEY = 0x1B00,
    VAL_HOME_VKEY = 0x1C00,
    VAL_END_VKEY = 0x1D00,
    VAL_SHIFT_MODIFIER = 0x10000,
    VAL_MENUKEY_MODIFIER = 0x20000, // Ctrl
};

// Error codes of the user-interface services.
enum {
    UIE_FILE_NOT_FOUND = -1,
    UIE_BAD_FILE = -2,         // not a loadable Designer file
    UIE_PANEL_NOT_FOUND = -3,  // no panel with the requested resource ID
    UIE_UNKNOWN_CALLBACK = -4, // a handler name that the callback table lacks
    UIE_BAD_HANDLE = -5,
    UIE_CTRL_NOT_FOUND = -6,
    UIE_BAD_ATTRIBUTE = -7,    // attribute not supported by that control
    UIE_BAD_INDEX = -8,
    UIE_NOT_INITIALIZED = -9,  // UiInit was not called
    UIE_TOO_LONG = -10,        // a text does not fit its buffer
};

typedef int (*CtrlCallbackPtr)(int panel, int control, int event, void *callbackData,
                               int eventData1, int eventData2);
typedef int (*PanelCallbackPtr)(int panel, int event, void *callbackData,
                                int eventData1, int eventData2);
typedef void (*MenuCallbackPtr)(int menuBar, int menuItem, void *callbackData, int panel);

// One entry of the handler table: a name used in the resource file and the
// function it stands for (exactly one of the three pointers is set).
struct UiCallback {
    const char *name;
    CtrlCallbackPtr ctrl;
    PanelCallbackPtr panel;
    MenuCallbackPtr menu;
};

// Why the window cannot be shown (no display to show it on, and no
// platform that needs none), or nullptr when it can.
const char *UiNoDisplay(void);
// Start the toolkit (once, before any other call). Safe to call again.
void UiInit(int *argc, char **argv);
// The handler table that LoadPanel binds names against.
void UiSetCallbackTable(const UiCallback *table, int count);
// Text for a UIE_ code; after a failed LoadPanel, the detail of the last failure.
const char *GetUILErrorString(int code);
const char *UiLastErrorDetail(void);

// Panels. A relative path is taken relative to the executable's folder.
int LoadPanel(int parent, const char *path, int panelId);
int DisplayPanel(int panel);
int DiscardPanel(int panel);
int SetPanelAttribute(int panel, int attribute, int value);
int SetPanelAttribute(int panel, int attribute, const char *value);
int GetPanelAttribute(int panel, int attribute, int *value);
int GetPanelAttribute(int panel, int attribute, char *value, size_t size);
int SetPanelCharacterSet(int panel, int charset);

// Event loop.
int RunUserInterface(void);
int QuitUserInterface(int code);
// Handle the events that are waiting, then return (for tests and long work).
// Called inside a handler, the handlers of those events wait until it returns.
void ProcessSystemEvents(void);
// Calls fn(data) from the event loop, after the running handler returns and
// in order with the operator's events.
typedef void (*DeferredCallbackPtr)(void *callbackData);
int PostDeferredCall(DeferredCallbackPtr fn, void *data);

// One window per folder. The program that holds the folder's lock serves,
// on a local socket named from the current folder, a later start's request
// to bring its window to the front (restored when minimised): 0, or -1 when
// no socket can be made (the program runs on without). A later start asks:
// 0 when the running program brought its window forward, -1 when none
// answered within 3 s (none listens, or it hangs).
int UiServeRaiseRequests(void);
int UiRequestRaise(void);

// Control values. A progress bar takes an int, its percentage done.
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char *value);
int GetCtrlVal(int panel, int control, int *value);
int GetCtrlVal(int panel, int control, double *value);
int GetCtrlVal(int panel, int control, char *value, size_t size);

// Control attributes.
int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, double value);
int SetCtrlAttribute(int panel, int control, int attribute, const char *value);
int GetCtrlAttribute(int panel, int control, int attribute, int *value);
int GetCtrlAttribute(int panel, int control, int attribute, double *value);
int GetCtrlAttribute(int panel, int control, int attribute, char *value, size_t size);

// Lists and rings.
int ClearListCtrl(int panel, int control);
int InsertListItem(int panel, int control, int index, const char *label, int value);
// Gives item `index` a new label; its value stays.
int ReplaceListItem(int panel, int control, int index, const char *label);
int GetNumListItems(int panel, int control, int *count);
int SetCtrlIndex(int panel, int control, int index);
int GetCtrlIndex(int panel, int control, int *index);
int SetActiveCtrl(int panel, int control);
int GetActiveCtrl(int panel);

// Menus. The menu bar handle addresses menus and items by their IDs.
int GetPanelMenuBar(int panel);
int SetMenuBarAttribute(int menuBar, int id, int attribute, int value);
int SetMenuBarAttribute(int menuBar, int id, int attribute, const char *value);
int GetMenuBarAttribute(int menuBar, int id, int attribute, int *value);
int GetMenuBarAttribute(int menuBar, int id, int attribute, char *value, size_t size);

// A modal message box; returns when dismissed. What the operator does while
// it is open is delivered after the running handler returns.
int MessagePopup(const char *title, const char *message);
// Test hook: while set, MessagePopup calls it instead of showing a box.
typedef void (*PopupHook)(const char *title, const char *message);
void SetMessagePopupHook(PopupHook hook);
// A modal question with Yes and No: 1 for Yes, 0 for No or a closed box.
int ConfirmPopup(const char *title, const char *question);
// Test hook: while set, ConfirmPopup returns its answer instead of asking.
typedef int (*ConfirmHook)(const char *title, const char *question);
void SetConfirmPopupHook(ConfirmHook hook);
// The captions of ConfirmPopup's two answers (default "Yes" and "No").
void SetConfirmPopupAnswers(const char *yes, const char *no);

// Blocks the calling thread, and with it the interface; what changed on the
// panels is painted first.
void Delay(double seconds);
// Starts argv[0] with the arguments argv[1..argc-1], no shell, without waiting.
// Returns 0, or a negative code when the program could not be started.
int LaunchExecutable(int argc, const char *const argv[]);
// Full path of a file beside the executable, bounded by size.
int GetFullPathFromProject(const char *fileName, char *path, size_t size);
// Full path of a file in the current directory, bounded by size.
int GetFullPathFromCurrentDir(const char *fileName, char *path, size_t size);
// The program that shows a text file: $TOVRA_VIEWER if set, else the platform's default.
const char *TextViewerProgram(void);
